// tests/extras/Autorun_wintest.cpp
#include "extras/AutorunPage.h"
#include "extras/AutorunPage.rh"
#include "extras/ExtrasTest.h"
#include "extras/frmAutorunNew.h"
#include "extras/frmAutorunNew.rh"
#include "core/win/Menu.h"
#include "registry/clsKeyFunc.h"
#include "files/clsFiles.h"
#include "support/MessageBoxes.h"
#include <set>

namespace {
const std::wstring kRun = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const std::wstring kRunOnce = L"Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
const std::wstring kRun32 = L"Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Run";
const std::wstring kApproved = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\Run";

class AutorunTest : public ExtrasTest {
protected:
    AutorunPage& Page(frmExtraScan& w) { return *w.Find<AutorunPage>(); }
    static std::vector<std::wstring> Column(const ListView& list, int column) {
        std::vector<std::wstring> out;
        for (int i = 0; i < list.Count(); ++i) out.push_back(list.Cell(i, column));
        return out;
    }
    static int RowOf(const ListView& list, const std::wstring& name) {
        for (int i = 0; i < list.Count(); ++i)
            if (list.Cell(i, 0) == name) return i;
        return -1;
    }
    static void SelectOnly(const ListView& list, std::initializer_list<int> rows) {
        for (int i = 0; i < list.Count(); ++i) list.Select(i, false);
        for (int r : rows) list.Select(r, true);
    }
    static bool ValueThere(HKEY root, const std::wstring& key, const std::wstring& name) {
        HKEY h = nullptr;
        if (RegOpenKeyExW(root, key.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS) return false;
        const bool there = RegQueryValueExW(h, name.c_str(), nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
        RegCloseKey(h);
        return there;
    }
    static RegValue Read(RootKey root, const std::wstring& key, const std::wstring& name) {
        RegValue v;
        ClassHandler().KeyFunc().ReadValueRaw(root, key, name, v);
        return v;
    }
    std::wstring Notepad() { return AppEnvironment.WinDir + L"system32\\notepad.exe"; }
};

std::vector<std::wstring> Sorted(std::vector<std::wstring> v) {
    std::sort(v.begin(), v.end());
    return v;
}
}  // namespace

TEST_F(AutorunTest, ListsBothRootsAndViewsAndSetsTheMenus) {
    PutSz(HKEY_LOCAL_MACHINE, kRun, L"Alpha", L"\"" + Notepad() + L"\" /min");
    PutSz(HKEY_LOCAL_MACHINE, kRun, L"Beta", L"%windir%\\system32\\notepad.exe", REG_EXPAND_SZ);
    PutSz(HKEY_LOCAL_MACHINE, kRun, L"Gamma", L"C:\\Fehlt\\nicht da.exe -q");
    PutSz(HKEY_LOCAL_MACHINE, kRun32, L"Old32", L"C:\\Windows\\system32\\notepad.exe");
    PutSz(HKEY_LOCAL_MACHINE, kRunOnce, L"Once", L"setup.exe /finish");
    PutSz(HKEY_CURRENT_USER, kRun, L"Mine", L"notepad.exe");
    frmExtraScan& w = Open();
    AutorunPage& p = Page(w);
    EXPECT_EQ(Wnd(w.Frame()).Text(), L"Erweiterte Registry Funktionen");
    EXPECT_TRUE(IsZoomed(w.Frame()));
    ASSERT_EQ(w.PageCount(), 4);
    EXPECT_EQ(w.CurrentPage(), 0);
    EXPECT_TRUE(IsWindowVisible(p.hwnd()));
    wchar_t caption[64] = L"";
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = caption;
    item.cchTextMax = 64;
    const wchar_t* captions[] = {L"Autostart-Programme", L"Verläufe", L"Dateierweiterungen", L"Defragmentieren"};
    for (int i = 0; i < 4; ++i) {
        TabCtrl_GetItem(w.Tab(), i, &item);
        EXPECT_STREQ(caption, captions[i]);
    }

    // The machine's entries of both views, each row saying where it lives; the program file's state.
    EXPECT_EQ(Sorted(Column(p.Permanent(), 0)), (std::vector<std::wstring>{L"Alpha", L"Beta", L"Gamma", L"Old32"}));
    const int old32 = RowOf(p.Permanent(), L"Old32");
    EXPECT_EQ(p.Permanent().Cell(old32, 3), kRun32);
    EXPECT_EQ(p.Permanent().Cell(old32, 2), L"-2147483646");
    EXPECT_EQ(p.Permanent().Cell(RowOf(p.Permanent(), L"Alpha"), 4), L"vorhanden");
    EXPECT_EQ(p.Permanent().Cell(RowOf(p.Permanent(), L"Beta"), 4), L"vorhanden");
    EXPECT_EQ(p.Permanent().Cell(RowOf(p.Permanent(), L"Gamma"), 4), L"fehlt");
    EXPECT_EQ(p.Permanent().Cell(RowOf(p.Permanent(), L"Beta"), 1), L"%windir%\\system32\\notepad.exe");
    EXPECT_EQ(Column(p.Single(), 0), (std::vector<std::wstring>{L"Once"}));
    EXPECT_EQ(p.Permanent().SelectedCount(), 1);
    EXPECT_TRUE(Logged(L"GlobalRun: 3 Einträge gelesen"));
    EXPECT_TRUE(Logged(L"GlobalRunOnce: 1 Einträge in Liste eingetragen"));

    // "Extra Scan" is the enabled sub-menu; in it "Autostart Programme", not "Dateierweiterungen".
    frmMDI& mdi = WindowHandler().Get<frmMDI>();
    HMENU extra = mdi.WindowEditMenu(WindowNo::ExtraScan);
    ASSERT_NE(extra, nullptr);
    EXPECT_TRUE(MenuItem::PopupEnabled(extra, 0));
    EXPECT_FALSE(MenuItem::PopupEnabled(extra, 1));
    EXPECT_EQ(mdi.Status().Panel(1), L"Status");

    // The user's entries; the machine's keys have a second view, the user's have not.
    Click(p.hwnd(), IDC_optUser);
    EXPECT_EQ(Column(p.Permanent(), 0), (std::vector<std::wstring>{L"Mine"}));
    EXPECT_EQ(p.Single().Count(), 0);
    EXPECT_EQ(p.Permanent().Cell(0, 2), L"-2147483647");

    // The history page switches both menus off; back on the first page the global entries show again.
    w.SelectPage(1);
    EXPECT_FALSE(IsWindowVisible(p.hwnd()));
    EXPECT_FALSE(MenuItem::PopupEnabled(extra, 0));
    EXPECT_FALSE(MenuItem::PopupEnabled(extra, 1));
    EXPECT_TRUE(Logged(L"TabExtras; Verläufe aktiviert"));
    w.SelectPage(0);
    EXPECT_TRUE(MenuItem::PopupEnabled(extra, 0));
    EXPECT_EQ(IsDlgButtonChecked(p.hwnd(), IDC_optGlobal), BST_CHECKED);
    EXPECT_EQ(p.Permanent().Count(), 4);
}

TEST_F(AutorunTest, DeletesOnlyTheChosenValueAfterSavingItExactly) {
    PutSz(HKEY_CURRENT_USER, kRun, L"Eins", L"\"C:\\Program Files\\Eins\\eins.exe\" /min");
    PutSz(HKEY_CURRENT_USER, kRun, L"Zwei", L"%windir%\\zwei.exe \"x y\"", REG_EXPAND_SZ);
    PutSz(HKEY_CURRENT_USER, kRun, L"Drei", L"drei.exe");
    // The system's start-up list knows "Zwei" as switched off.
    const BYTE off[12] = {3, 0, 0, 0, 0x10, 0x20, 0x30, 0x40, 0x50, 0x60, 0x70, 0x01};
    Put(HKEY_CURRENT_USER, kApproved, L"Zwei", REG_BINARY, off, sizeof off);
    Put(HKEY_CURRENT_USER, kApproved, L"Drei", REG_BINARY, off, sizeof off);
    AppEnvironment.UndoFileHeader = L"REGEDIT4\r\n\r\n";
    frmExtraScan& w = Open();
    AutorunPage& p = Page(w);
    Click(p.hwnd(), IDC_optUser);
    ASSERT_EQ(p.Permanent().Count(), 3);
    const std::wstring zwei = ClassHandler().KeyFunc().ExportValue(kHKCU, kRun, L"Zwei", false);
    const std::wstring state = ClassHandler().KeyFunc().ExportValue(kHKCU, kApproved, L"Zwei", false);

    // The Delete key in the list, as the user presses it.
    SelectOnly(p.Permanent(), {RowOf(p.Permanent(), L"Zwei")});
    SendMessageW(p.Permanent(), WM_KEYDOWN, VK_DELETE, 0);
    EXPECT_EQ(Sorted(Column(p.Permanent(), 0)), (std::vector<std::wstring>{L"Drei", L"Eins"}));
    EXPECT_EQ(p.Permanent().SelectedCount(), 0);
    EXPECT_FALSE(ValueThere(HKEY_CURRENT_USER, kRun, L"Zwei"));
    EXPECT_TRUE(ValueThere(HKEY_CURRENT_USER, kRun, L"Eins"));
    EXPECT_TRUE(ValueThere(HKEY_CURRENT_USER, kRun, L"Drei"));
    EXPECT_FALSE(ValueThere(HKEY_CURRENT_USER, kApproved, L"Zwei"));
    EXPECT_TRUE(ValueThere(HKEY_CURRENT_USER, kApproved, L"Drei"));

    // The undo file holds the value typed and whole, and its start-up state.
    const std::wstring undo = p.LastUndoFile();
    ASSERT_FALSE(undo.empty());
    EXPECT_NE(undo.find(L"\\Backup\\Rückgängig_AutoRun_"), std::wstring::npos);
    const std::wstring text = FileText(undo);
    EXPECT_EQ(text.find(L"REGEDIT4\r\n"), 0u);
    EXPECT_NE(text.find(zwei), std::wstring::npos) << ToUtf8(text);
    EXPECT_NE(text.find(L"\"Zwei\"=hex(2):"), std::wstring::npos);
    EXPECT_NE(text.find(state), std::wstring::npos);
    EXPECT_EQ(text.find(L"Eins"), std::wstring::npos);
    EXPECT_TRUE(Logged(undo + L" angelegt"));

    // Two more through the main window's menu command, in the same file (appended, one header).
    SelectOnly(p.Permanent(), {0, 1});
    const std::wstring eins = ClassHandler().KeyFunc().ExportValue(kHKCU, kRun, L"Eins", false);
    WindowHandler().Get<frmMDI>().Command(IDM_mnuExtraScanAutostartDel);
    EXPECT_EQ(p.Permanent().Count(), 0);
    EXPECT_TRUE(Exists(HKEY_CURRENT_USER, kRun));  // the key stays: other programs' entries live there
    if (p.LastUndoFile() == undo) {
        const std::wstring all = FileText(undo);
        EXPECT_NE(all.find(zwei), std::wstring::npos);
        EXPECT_EQ(all.find(L"REGEDIT4"), all.rfind(L"REGEDIT4"));
    }
    EXPECT_NE(FileText(p.LastUndoFile()).find(eins), std::wstring::npos);
    EXPECT_NE(FileText(p.LastUndoFile()).find(L"\"Eins\"=\"\\\"C:\\\\Program Files\\\\Eins\\\\eins.exe\\\" /min\""),
              std::wstring::npos);
}

TEST_F(AutorunTest, NothingIsDeletedWithoutAnUndoFile) {
    PutSz(HKEY_CURRENT_USER, kRun, L"Bleibt", L"bleibt.exe");
    BlockBackupFolder();
    frmExtraScan& w = Open();
    AutorunPage& p = Page(w);
    Click(p.hwnd(), IDC_optUser);
    ASSERT_EQ(p.Permanent().Count(), 1);
    SelectOnly(p.Permanent(), {0});
    MessageBoxes boxes(AppEnvironment.AppTitle, {IDOK});
    p.cmdAutorunLoeschen_Click();
    ASSERT_TRUE(WaitFor([&] { return !boxes.Texts().empty(); }));
    EXPECT_NE(boxes.Texts()[0].find(L"konnte nicht angelegt werden"), std::wstring::npos);
    EXPECT_NE(boxes.Texts()[0].find(L"Es wurde kein Eintrag gelöscht."), std::wstring::npos);
    EXPECT_TRUE(ValueThere(HKEY_CURRENT_USER, kRun, L"Bleibt"));
    EXPECT_EQ(p.Permanent().Count(), 1);
    EXPECT_TRUE(p.LastUndoFile().empty());
}

TEST_F(AutorunTest, EditingSplitsTheCommandAndARenameLeavesNoDuplicate) {
    const std::wstring data = L"\"%windir%\\system32\\notepad.exe\" /min";
    PutSz(HKEY_CURRENT_USER, kRun, L"Editor", data, REG_EXPAND_SZ);
    frmExtraScan& w = Open();
    AutorunPage& p = Page(w);
    Click(p.hwnd(), IDC_optUser);
    ASSERT_EQ(p.Permanent().Count(), 1);
    SelectOnly(p.Permanent(), {0});
    SendMessageW(p.Permanent(), WM_KEYDOWN, VK_EXECUTE, 0);
    frmAutorunNew& d = WindowHandler().Get<frmAutorunNew>();
    ASSERT_TRUE(WaitFor([&] { return IsWindowVisible(d.hwnd()) != FALSE; }));
    EXPECT_EQ(Wnd(d.hwnd()).Text(), L"Autostart-Eintrag bearbeiten");
    EXPECT_EQ(d.Item(IDC_txtProgName).Text(), L"Editor");
    EXPECT_EQ(d.Item(IDC_txtProgPfad).Text(), L"\"%windir%\\system32\\notepad.exe\"");
    EXPECT_EQ(d.Item(IDC_txtProgParameter).Text(), L" /min");
    EXPECT_EQ(IsDlgButtonChecked(d.hwnd(), IDC_optCurrentUser), BST_CHECKED);
    EXPECT_EQ(IsDlgButtonChecked(d.hwnd(), IDC_ckbPermanent), BST_CHECKED);

    d.Item(IDC_txtProgName).SetText(L"Editor neu");
    const size_t reads = Count(L"ReadAutorunEntries; endet");
    Click(d.hwnd(), IDC_cmdOK);
    ASSERT_TRUE(WaitFor([&] { return !IsWindowVisible(d.hwnd()); }));
    // Same data, same type; the old name is gone; the list was read again.
    const RegValue v = Read(kHKCU, kRun, L"Editor neu");
    EXPECT_EQ(v.type, static_cast<DWORD>(REG_EXPAND_SZ));
    EXPECT_EQ(std::wstring(v.data.c_str()), data);
    EXPECT_FALSE(ValueThere(HKEY_CURRENT_USER, kRun, L"Editor"));
    EXPECT_GT(Count(L"ReadAutorunEntries; endet"), reads);
    EXPECT_EQ(Column(p.Permanent(), 0), (std::vector<std::wstring>{L"Editor neu"}));
    EXPECT_TRUE(Logged(L"Autorun für diesen Benutzer: Editor neu=\"%windir%\\system32\\notepad.exe\" Rückgabewert="));
    // The undo file brings the old entry back and takes the new one away.
    std::vector<std::wstring> files(1);
    ClassHandler().Files().FindFilesAPI(AppEnvironment.BackupDir, L"Rückgängig_AutoRun_*.reg", false, files);
    ASSERT_EQ(files.size(), 2u);
    const std::wstring text = FileText(files[1]);
    EXPECT_NE(text.find(L"\"Editor\"=hex(2):"), std::wstring::npos) << ToUtf8(text);
    EXPECT_NE(text.find(L"\"Editor neu\"=-"), std::wstring::npos);
}

TEST_F(AutorunTest, NewEntryDialogChecksItsFieldsAndWritesWhatWasTyped) {
    frmExtraScan& w = Open();
    AutorunPage& p = Page(w);
    WindowHandler().Get<frmMDI>().Command(IDM_mnuExtraScanAutostartNew);
    frmAutorunNew& d = WindowHandler().Get<frmAutorunNew>();
    ASSERT_TRUE(WaitFor([&] { return IsWindowVisible(d.hwnd()) != FALSE; }));
    EXPECT_EQ(Wnd(d.hwnd()).Text(), L"Autostart-Eintrag hinzufügen");
    EXPECT_EQ(IsDlgButtonChecked(d.hwnd(), IDC_ckbPermanent), BST_CHECKED);
    EXPECT_EQ(IsDlgButtonChecked(d.hwnd(), IDC_optCurrentUser), BST_CHECKED);
    // OK only with a name and a path.
    EXPECT_FALSE(d.Item(IDC_cmdOK).Enabled());
    d.Item(IDC_txtProgName).SetText(L"Neu");
    EXPECT_FALSE(d.Item(IDC_cmdOK).Enabled());
    d.Item(IDC_txtProgPfad).SetText(L"C:\\gibt\\es\\nicht.exe");
    EXPECT_TRUE(d.Item(IDC_cmdOK).Enabled());
    // The start options always hold opposite values.
    Click(d.hwnd(), IDC_ckbOnlyNextStart);
    EXPECT_EQ(IsDlgButtonChecked(d.hwnd(), IDC_ckbPermanent), BST_UNCHECKED);
    Click(d.hwnd(), IDC_ckbOnlyNextStart);
    EXPECT_EQ(IsDlgButtonChecked(d.hwnd(), IDC_ckbPermanent), BST_CHECKED);
    {
        MessageBoxes boxes(AppEnvironment.AppTitle, {IDOK});
        EXPECT_FALSE(d.cmdOK_Click());
        ASSERT_TRUE(WaitFor([&] { return !boxes.Texts().empty(); }));
        EXPECT_EQ(boxes.Texts()[0], L"Der Pfad c:\\gibt\\es\\nicht.exe ist ungültig.");
        d.Item(IDC_txtProgName).SetText(L" ");
        EXPECT_FALSE(d.cmdOK_Click());
        ASSERT_TRUE(WaitFor([&] { return boxes.Texts().size() == 2; }));
        EXPECT_EQ(boxes.Texts()[1], L"Sie müssen der Programmbezeichnung einen Namen geben.");
    }
    EXPECT_FALSE(ValueThere(HKEY_CURRENT_USER, kRun, L"Neu"));
    // Placeholders and quotes stay as typed; parameters with a leading blank get no second one.
    d.Item(IDC_txtProgName).SetText(L"Neu");
    d.Item(IDC_txtProgPfad).SetText(L"\"%windir%\\system32\\notepad.exe\"");
    d.Item(IDC_txtProgParameter).SetText(L" -x");
    EXPECT_TRUE(d.cmdOK_Click());
    RegValue v = Read(kHKCU, kRun, L"Neu");
    EXPECT_EQ(std::wstring(v.data.c_str()), L"\"%windir%\\system32\\notepad.exe\" -x");
    EXPECT_EQ(v.type, static_cast<DWORD>(REG_EXPAND_SZ));
    EXPECT_FALSE(IsWindowVisible(d.hwnd()));
    // Once, for the machine: the RunOnce key of the machine, the parameters after one blank.
    d.ShowNew(nullptr);
    d.Item(IDC_txtProgName).SetText(L"Einmal");
    d.Item(IDC_txtProgPfad).SetText(Notepad());
    d.Item(IDC_txtProgParameter).SetText(L"/a");
    Click(d.hwnd(), IDC_ckbOnlyNextStart);
    Click(d.hwnd(), IDC_optAllUser);
    EXPECT_TRUE(d.cmdOK_Click());
    v = Read(kHKLM, kRunOnce, L"Einmal");
    EXPECT_EQ(std::wstring(v.data.c_str()), Notepad() + L" /a");
    EXPECT_EQ(v.type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(Column(p.Single(), 0), (std::vector<std::wstring>{}));  // nobody asked to read again
    // An unquoted path with blanks is written quoted, so no other program can start in its place.
    const std::wstring spaced = folder.Write(L"Mein Programm\\tool.exe");
    d.ShowNew(nullptr);
    d.Item(IDC_txtProgName).SetText(L"Leer");
    d.Item(IDC_txtProgPfad).SetText(spaced);
    d.Item(IDC_txtProgParameter).SetText(L"-q");
    EXPECT_TRUE(d.cmdOK_Click());
    EXPECT_EQ(std::wstring(Read(kHKCU, kRun, L"Leer").data.c_str()), L"\"" + spaced + L"\" -q");
}
