// tests/extras/History_wintest.cpp
#include "extras/ExtrasTest.h"
#include "extras/HistoryPage.h"
#include "extras/HistoryPage.rh"
#include "disk/frmHDD.h"
#include "disk/frmHDD.rh"
#include "registry/clsKeyFunc.h"
#include "ui/frmOptionen.h"
#include "ui/frmOptionen.rh"
#include "registry/clsSearch.h"
#include "support/Links.h"
#include "support/MessageBoxes.h"
#include <map>

namespace {
const std::wstring kExplorer = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\";

class HistoryTest : public ExtrasTest {
protected:
    HistoryPage& OpenHistory() {
        frmExtraScan& w = Open();
        w.SelectPage(1);
        return *w.Find<HistoryPage>();
    }
    static std::wstring Setting(const wchar_t* name) {
        return ClassHandler().KeyFunc().GetSetting(L"Optionen\\ExtraScan", name, L"");
    }
    static bool On(HistoryPage& p, int id) { return IsDlgButtonChecked(p.hwnd(), id) == BST_CHECKED; }
    static std::string Bin(size_t n, int seed) {
        std::string s;
        for (size_t i = 0; i < n; ++i) s += static_cast<char>(i * seed + 7);
        return s;
    }
    static void PutBin(const std::wstring& key, const std::wstring& name, const std::string& b) {
        Put(HKEY_CURRENT_USER, key, name, REG_BINARY, b.data(), static_cast<DWORD>(b.size()));
    }
    static int Values(const std::wstring& key) {
        HKEY h = nullptr;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS) return -1;
        DWORD values = 0, subKeys = 0;
        RegQueryInfoKeyW(h, nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, &values, nullptr, nullptr, nullptr,
                         nullptr);
        RegCloseKey(h);
        return static_cast<int>(values + subKeys);
    }
};

}  // namespace

TEST_F(HistoryTest, BoxesStoreTheirSettingsAndTheScanBoxFollowsTheRegistryBoxes) {
    HistoryPage& p = OpenHistory();
    EXPECT_FALSE(p.Item(IDC_ckbVerlaufRegistryAutoDel).Enabled());
    EXPECT_EQ(p.RecyclerText(), L"Zu löschende Dateien werden unwiederbringlich gelöscht.");
    Click(p.hwnd(), IDC_ckbRegistryAllVerlaeufe);
    for (const wchar_t* s : {L"VerlaufRegistryExplorerFiles", L"VerlaufRegistryLastOpen", L"VerlaufRegistryLastSave",
                             L"VerlaufRegistryRecentDocs", L"VerlaufRegistryProgrammHistory", L"VerlaufRegistryNetwork",
                             L"VerlaufRegistrySelectedFiles"})
        EXPECT_EQ(Setting(s), L"1") << ToUtf8(s);
    EXPECT_EQ(Setting(L"VerlaufExplorerLastOpenFiles"), L"");
    EXPECT_TRUE(On(p, IDC_ckbVerlaufRegistryNetwork));
    EXPECT_TRUE(Logged(L"ckbVerlaufRegistryNetworkClick; 1 gesetzt"));
    EXPECT_TRUE(p.Item(IDC_ckbVerlaufRegistryAutoDel).Enabled());
    Click(p.hwnd(), IDC_ckbVerlaufRegistryAutoDel);
    EXPECT_EQ(Setting(L"AutoRegistryVerlaufDel"), L"1");
    // Clearing the last registry box switches the scan box off, setting included.
    Click(p.hwnd(), IDC_ckbRegistryAllVerlaeufe);
    EXPECT_EQ(Setting(L"VerlaufRegistryRecentDocs"), L"0");
    EXPECT_FALSE(On(p, IDC_ckbVerlaufRegistryAutoDel));
    EXPECT_FALSE(p.Item(IDC_ckbVerlaufRegistryAutoDel).Enabled());
    EXPECT_EQ(Setting(L"AutoRegistryVerlaufDel"), L"0");
    // The page shows the stored state when it is opened again.
    Click(p.hwnd(), IDC_ckbVerlaufRegistryProgrammHistory);
    Click(p.hwnd(), IDC_ckbVerlaufExplorerLastOpenFiles);
    WindowHandler().Get<frmExtraScan>().SelectPage(0);
    CheckDlgButton(p.hwnd(), IDC_ckbVerlaufRegistryProgrammHistory, BST_UNCHECKED);
    WindowHandler().Get<frmExtraScan>().SelectPage(1);
    EXPECT_TRUE(On(p, IDC_ckbVerlaufRegistryProgrammHistory));
    EXPECT_TRUE(On(p, IDC_ckbVerlaufExplorerLastOpenFiles));
    EXPECT_FALSE(On(p, IDC_ckbVerlaufRegistryLastOpen));
}

TEST_F(HistoryTest, EveryListGoesOnlyAfterItsUndoFileHoldsIt) {
    const std::wstring e = kExplorer;
    PutSz(HKEY_CURRENT_USER, e + L"FileExts\\.txt\\OpenWithList", L"a", L"notepad.exe");
    PutSz(HKEY_CURRENT_USER, e + L"FileExts\\.txt\\OpenWithList", L"MRUList", L"a");
    PutSz(HKEY_CURRENT_USER, e + L"FileExts\\.txt\\UserChoice", L"ProgId", L"txtfile");
    PutSz(HKEY_CURRENT_USER, e + L"FileExts\\.txt\\OpenWithProgids", L"txtfile", L"");
    PutSz(HKEY_CURRENT_USER, e + L"FileExts\\Ohne Punkt", L"x", L"bleibt");
    PutBin(e + L"ComDlg32\\LastVisitedMRU", L"MRUListEx", Bin(8, 3));
    PutBin(e + L"ComDlg32\\LastVisitedMRU", L"0", Bin(400, 5));
    PutSz(HKEY_CURRENT_USER, e + L"ComDlg32\\OpenSaveMRU\\*", L"a", L"C:\\\"x\".txt");
    PutSz(HKEY_CURRENT_USER, e + L"ComDlg32\\OpenSaveMRU\\*", L"MRUList", L"a");
    PutBin(e + L"RecentDocs", L"MRUListEx", Bin(8, 1));
    PutBin(e + L"RecentDocs", L"0", Bin(700, 11));
    PutBin(e + L"RecentDocs\\.txt", L"0", Bin(90, 13));
    PutSz(HKEY_CURRENT_USER, e + L"RunMRU", L"a", L"cmd\\1");
    PutSz(HKEY_CURRENT_USER, e + L"RunMRU", L"b", L"%windir%\\regedit.exe\\1", REG_EXPAND_SZ);
    PutSz(HKEY_CURRENT_USER, e + L"RunMRU", L"MRUList", L"ba");
    PutSz(HKEY_CURRENT_USER, e + L"Map Network Drive MRU", L"a", L"\\\\srv\\share");
    PutBin(e + L"Streams\\0", L"ViewView2", Bin(300, 17));
    PutBin(e + L"StreamMRU", L"0", Bin(60, 19));
    PutSz(HKEY_CURRENT_USER, e + L"Advanced", L"Hidden", L"bleibt");
    clsKeyFunc& kf = ClassHandler().KeyFunc();
    std::map<std::wstring, std::wstring> before;
    for (const wchar_t* k : {L"FileExts\\.txt\\OpenWithList", L"ComDlg32\\LastVisitedMRU", L"ComDlg32\\OpenSaveMRU", L"RecentDocs",
                             L"RunMRU", L"Map Network Drive MRU", L"Streams", L"StreamMRU"})
        before[k] = kf.ExportKey(kHKCU, e + k, false);

    HistoryPage& p = OpenHistory();
    Click(p.hwnd(), IDC_ckbRegistryAllVerlaeufe);
    ClassHandler().Search().StopSearch = true;  // as a cancelled scan leaves it
    p.cmdVerlaufClean_Click();
    // Values, not order lists nor empty keys, of what is gone: 1 + 1 + 1 + 2 + 2 + 1 + 1 + 1.
    EXPECT_EQ(p.RegistryResult(), L"10 Einträge gelöscht");
    EXPECT_EQ(p.FilesResult(), L"Keine Dateien gefunden");
    // Of a type's keys only the list of programs it was opened with goes: the user's choice of
    // program and the programs the type offers stay, untouched.
    EXPECT_FALSE(Exists(HKEY_CURRENT_USER, e + L"FileExts\\.txt\\OpenWithList"));
    EXPECT_EQ(ClassHandler().KeyFunc().ReadKeyValue(kHKCU, e + L"FileExts\\.txt\\UserChoice", L"ProgId"), L"txtfile");
    EXPECT_TRUE(Exists(HKEY_CURRENT_USER, e + L"FileExts\\.txt\\OpenWithProgids"));
    EXPECT_EQ(Values(e + L"FileExts"), 2);  // the key without a dot stays
    EXPECT_FALSE(Exists(HKEY_CURRENT_USER, e + L"ComDlg32\\LastVisitedMRU"));
    EXPECT_FALSE(Exists(HKEY_CURRENT_USER, e + L"ComDlg32\\OpenSaveMRU"));
    EXPECT_EQ(Values(e + L"RecentDocs"), 0);  // made again, empty
    EXPECT_EQ(Values(e + L"RunMRU"), 0);
    EXPECT_FALSE(Exists(HKEY_CURRENT_USER, e + L"Map Network Drive MRU"));
    EXPECT_FALSE(Exists(HKEY_CURRENT_USER, e + L"Streams"));
    EXPECT_FALSE(Exists(HKEY_CURRENT_USER, e + L"StreamMRU"));
    EXPECT_EQ(Values(e + L"Advanced"), 1);
    // Each tree is in the undo file exactly as the registry held it (binary data, quotes, long data).
    ASSERT_FALSE(p.LastUndoFile().empty());
    EXPECT_NE(p.LastUndoFile().find(L"Rückgängig_Verlauf_"), std::wstring::npos);
    const std::wstring text = FileText(p.LastUndoFile());
    for (const auto& [k, exported] : before) EXPECT_NE(text.find(exported), std::wstring::npos) << ToUtf8(k);
    EXPECT_TRUE(IsWindowEnabled(p.Item(IDC_cmdVerlaufClean)));
    EXPECT_FALSE(IsWindowEnabled(p.Item(IDC_cmdVerlaufAbbrechen)));
    EXPECT_FALSE(IsWindowVisible(p.Item(IDC_ProgressBarVerlauf)));
}

// A list this Windows does not keep is named, not counted as cleaned.
TEST_F(HistoryTest, AListThatIsNotThereIsNamed) {
    PutSz(HKEY_CURRENT_USER, kExplorer + L"RunMRU", L"a", L"cmd\\1");
    HistoryPage& p = OpenHistory();
    Click(p.hwnd(), IDC_ckbVerlaufRegistryProgrammHistory);
    Click(p.hwnd(), IDC_ckbVerlaufRegistryLastOpen);
    Click(p.hwnd(), IDC_ckbVerlaufRegistrySelectedFiles);
    p.cmdVerlaufClean_Click();
    const std::wstring text = p.RegistryResult();
    EXPECT_EQ(text.rfind(L"Einen Eintrag gelöscht; nicht vorhanden: ", 0), 0u) << ToUtf8(text);
    EXPECT_NE(text.find(p.Item(IDC_ckbVerlaufRegistryLastOpen).Text()), std::wstring::npos) << ToUtf8(text);
    EXPECT_EQ(text.find(p.Item(IDC_ckbVerlaufRegistryProgrammHistory).Text()), std::wstring::npos) << ToUtf8(text);
    // Streams and StreamMRU belong to one box: named once.
    PutSz(HKEY_CURRENT_USER, kExplorer + L"StreamMRU", L"a", L"x");
    p.cmdVerlaufClean_Click();
    EXPECT_EQ(p.RegistryResult().find(p.Item(IDC_ckbVerlaufRegistrySelectedFiles).Text()), std::wstring::npos);
}

TEST_F(HistoryTest, RecentFolderLosesItsShortcutsOnlyNeverWhatALinkPointsTo) {
    const std::wstring recent = AppEnvironment.RecentDir;
    TempFolder canary;
    const std::wstring kept = canary.Write(L"wichtig.txt", "bleibt");
    for (const wchar_t* f : {L"a.lnk", L"b.lnk", L"Unterordner\\c.lnk", L"versteckt.lnk",
                             L"AutomaticDestinations\\f01b4d95cf55d32a.automaticDestinations-ms",
                             L"CustomDestinations\\x.customDestinations-ms"})
        folder.Write(L"Recent\\" + std::wstring(f), "L");
    SetFileAttributesW((recent + L"versteckt.lnk").c_str(), FILE_ATTRIBUTE_HIDDEN);
    const bool linked = MakeLink(recent + L"Verbindung", canary.Path(), true);
    HistoryPage& p = OpenHistory();
    Click(p.hwnd(), IDC_ckbVerlaufExplorerLastOpenFiles);
    p.cmdVerlaufClean_Click();
    EXPECT_FALSE(FileExists(recent + L"a.lnk"));
    EXPECT_FALSE(FileExists(recent + L"b.lnk"));
    EXPECT_FALSE(FileExists(recent + L"Unterordner\\c.lnk"));
    EXPECT_TRUE(FileExists(recent + L"versteckt.lnk"));
    // Jump lists hold pinned items: left alone.
    EXPECT_TRUE(FileExists(recent + L"AutomaticDestinations\\f01b4d95cf55d32a.automaticDestinations-ms"));
    EXPECT_TRUE(FileExists(recent + L"CustomDestinations\\x.customDestinations-ms"));
    EXPECT_EQ(ReadBytes(kept), "bleibt");
    EXPECT_TRUE(FileExists(canary.Path()));
    // A link that could be removed as a link counts; one the platform kept does not.
    const int removed = 3 + (linked && !FileExists(recent + L"Verbindung") ? 1 : 0);
    EXPECT_EQ(p.RemovedFiles(), removed);
    EXPECT_EQ(p.FilesResult(), std::to_wstring(removed) + L" Dateien gelöscht");
    EXPECT_EQ(p.RegistryResult(), L"Keine Einträge gefunden");
    RemoveLink(recent + L"Verbindung");

    // A Recent folder that lies in a protected place is not emptied, and the log says why.
    const std::wstring moved = AppEnvironment.WinDir + L"TorvaneRecent" + std::to_wstring(GetCurrentProcessId()) + L"\\";
    ASSERT_TRUE(CreateDirectoryW(moved.c_str(), nullptr));
    const std::wstring shortcut = moved + L"d.lnk";
    HANDLE f = CreateFileW(shortcut.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    CloseHandle(f);
    AppEnvironment.RecentDir = moved;
    p.cmdVerlaufClean_Click();
    EXPECT_TRUE(FileExists(shortcut));
    EXPECT_EQ(p.FilesResult(), L"Keine Dateien gelöscht");
    EXPECT_TRUE(Logged(moved + L" liegt im Windows-Ordner und wurde nicht geleert.")) << ToUtf8(Log());
    DeleteFileW(shortcut.c_str());
    RemoveDirectoryW(moved.c_str());
}

TEST_F(HistoryTest, WithoutAnUndoFileNothingIsCleanedAndCancelStopsAtOnce) {
    const std::wstring runMru = kExplorer + L"RunMRU";
    PutSz(HKEY_CURRENT_USER, runMru, L"a", L"cmd\\1");
    for (int i = 0; i < 5; ++i) folder.Write(L"Recent\\" + std::to_wstring(i) + L".lnk", "L");
    BlockBackupFolder();
    HistoryPage& p = OpenHistory();
    Click(p.hwnd(), IDC_ckbVerlaufRegistryProgrammHistory);
    Click(p.hwnd(), IDC_ckbVerlaufExplorerLastOpenFiles);
    {
        MessageBoxes boxes(AppEnvironment.AppTitle, {IDOK});
        p.cmdVerlaufClean_Click();
        ASSERT_TRUE(WaitFor([&] { return !boxes.Texts().empty(); }));
        EXPECT_NE(boxes.Texts()[0].find(L"Es wurde nichts bereinigt."), std::wstring::npos);
    }
    EXPECT_EQ(Values(runMru), 1);
    for (int i = 0; i < 5; ++i) EXPECT_TRUE(FileExists(AppEnvironment.RecentDir + std::to_wstring(i) + L".lnk"));
    EXPECT_TRUE(IsWindowEnabled(p.Item(IDC_cmdVerlaufClean)));

    // With a backup folder: the cancel button, pressed while the run works, stops it at the latest
    // after the file at hand.
    DeleteFileW((folder.Path() + L"Backup").c_str());
    Click(p.hwnd(), IDC_ckbVerlaufRegistryProgrammHistory);
    PostMessageW(p.hwnd(), WM_COMMAND, MAKEWPARAM(IDC_cmdVerlaufAbbrechen, BN_CLICKED),
                 reinterpret_cast<LPARAM>(p.Item(IDC_cmdVerlaufAbbrechen).hwnd()));
    p.cmdVerlaufClean_Click();
    int left = 0;
    for (int i = 0; i < 5; ++i) left += FileExists(AppEnvironment.RecentDir + std::to_wstring(i) + L".lnk") ? 1 : 0;
    EXPECT_GE(left, 4);
    EXPECT_EQ(p.FilesResult(), L"");
    EXPECT_TRUE(IsWindowEnabled(p.Item(IDC_cmdVerlaufClean)));
    EXPECT_FALSE(IsWindowEnabled(p.Item(IDC_cmdVerlaufAbbrechen)));
    EXPECT_FALSE(p.Busy());
}

// Confirmed options reach every open window at once: the history page's notice and the disk
// cleanup's notice and recycle-bin button.
TEST_F(HistoryTest, ConfirmedOptionsShowInEveryOpenWindow) {
    ClassHandler().KeyFunc().SaveSetting(L"Optionen", L"Recycler", L"0");
    ClassHandler().KeyFunc().SaveSetting(L"Optionen", L"RecyclerSecurity", L"0");
    ClassHandler().KeyFunc().SaveSetting(L"Optionen", L"Protokoll", L"1");
    ClassHandler().KeyFunc().ReadAppSwitch();
    HistoryPage& p = OpenHistory();
    WindowHandler().Get<frmMDI>().Command(IDM_mnuHDDShow);
    frmHDD& disk = WindowHandler().Get<frmHDD>();
    ASSERT_TRUE(WaitFor([&] { return IsWindowVisible(disk.Frame()) != FALSE; }));
    EXPECT_EQ(p.RecyclerText(), L"Zu löschende Dateien werden unwiederbringlich gelöscht.");
    EXPECT_EQ(Wnd(GetDlgItem(disk.hwnd(), IDC_cmdEmptyRecycler)).Text(), L"Papierkorb leeren");

    WindowHandler().Window(WindowNo::Optionen).ShowForm();
    HWND options = WindowHandler().Get<frmOptionen>().hwnd();
    ASSERT_TRUE(WaitFor([&] { return IsWindowVisible(options) != FALSE; }));
    Click(options, IDC_chbRecycler);
    Click(options, IDC_chbRecyclerEmptySecurity);
    Click(options, IDC_cmdOK);
    EXPECT_EQ(p.RecyclerText(), L"Zu löschende Dateien werden in den Papierkorb verschoben.");
    EXPECT_EQ(Wnd(GetDlgItem(disk.hwnd(), IDC_lblRecyclerHDD)).Text(), L"Zu löschende Dateien werden in den Papierkorb verschoben.");
    EXPECT_EQ(disk.RecyclerColour(), RGB(0, 128, 0));
    EXPECT_EQ(Wnd(GetDlgItem(disk.hwnd(), IDC_cmdEmptyRecycler)).Text(), L"Papierkorb leeren (keine Abfrage)");
}
