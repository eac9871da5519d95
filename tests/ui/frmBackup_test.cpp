// tests/ui/frmBackup_test.cpp
#include "backup/frmBackup.h"
#include "backup/frmBackup.rh"
#include "core/AppEnvironment.h"
#include "core/ClassHandler.h"
#include "core/DoEvents.h"
#include "core/Text.h"
#include "core/WindowHandler.h"
#include "core/win/Menu.h"
#include "errors/clsError.h"
#include "scan/ScanEngine.h"
#include "scan/ScanTestRegistry.h"
#include "support/MessageBoxes.h"
#include "support/Sandbox.h"
#include "support/Wait.h"
#include "ui/frmMDI.h"
#include "ui/frmMDI.rh"
#include <gtest/gtest.h>

namespace {
std::wstring Unique() { return std::to_wstring(GetCurrentProcessId()) + L"_" + std::to_wstring(GetTickCount64()); }

std::wstring DecimalSeparator() {
    wchar_t buf[8] = L"";
    GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_SDECIMAL, buf, 8);
    return buf;
}

class BackupWindow : public ::testing::Test {
protected:
    void SetUp() override {
        PrepareEnvironment(folder.Path());
        AppSwitches.Recycler = 0;
        AppSwitches.Protokoll = 1;
        frmBackup::RebootAction() = [this] { ++reboots; };
    }
    void TearDown() override { WindowHandler().CloseWindow(WindowNo::All); }
    KeepProcessOnFrameExit frameExit;
    frmBackup& Open() {
        frmMDI& f = WindowHandler().Get<frmMDI>();
        f.Show();
        f.Command(IDM_mnuBackupShow);
        DoEvents();
        return WindowHandler().Get<frmBackup>();
    }
    std::wstring File(const std::wstring& name, const std::string& bytes = "REGEDIT4\r\n") {
        return folder.Write(L"Backup\\" + name, bytes);
    }
    static std::vector<std::wstring> Column(frmBackup& b, int column) {
        std::vector<std::wstring> out;
        for (int i = 0; i < b.List().Count(); ++i) out.push_back(b.List().Cell(i, column));
        return out;
    }
    static void SelectOnly(frmBackup& b, std::initializer_list<int> rows) {
        for (int i = 0; i < b.List().Count(); ++i) b.List().Select(i, false);
        for (int r : rows) b.List().Select(r, true);
    }
    static void Key(frmBackup& b, WORD key) { SendMessageW(b.List(), WM_KEYDOWN, key, 0); }
    static void HeaderClick(frmBackup& b, int column) {
        NMLISTVIEW nm{};
        nm.hdr.hwndFrom = b.List();
        nm.hdr.idFrom = IDC_lvwBackup;
        nm.hdr.code = LVN_COLUMNCLICK;
        nm.iSubItem = column;
        SendMessageW(b.hwnd(), WM_NOTIFY, IDC_lvwBackup, reinterpret_cast<LPARAM>(&nm));
    }
    std::wstring Log() { return FromAnsi(ReadBytes(clsError::LogPath())); }

    RegistrySandbox sandbox;
    TempFolder folder;
    int reboots = 0;
};
}  // namespace

TEST_F(BackupWindow, ListsUndoFilesWithSizesAndSortsByHeaderAndKeys) {
    frmBackup& b = Open();
    // A missing folder is created and the list stays empty.
    EXPECT_TRUE(b.Loaded());
    EXPECT_EQ(Wnd(b.Frame()).Text(), L"Backup-Bereich");
    EXPECT_TRUE(FileExists(AppEnvironment.BackupDir));
    EXPECT_EQ(b.List().Count(), 0);
    EXPECT_TRUE(IsZoomed(b.Frame()));
    EXPECT_EQ(WindowHandler().Get<frmMDI>().Status().Panel(1), L"Status");
    EXPECT_EQ(b.RecyclerText(), L"Zu löschende Dateien werden unwiederbringlich gelöscht.");
    EXPECT_EQ(b.RecyclerColour(), RGB(255, 0, 0));
    // "Bearbeiten" > "Backup-Bereich" is the one enabled; the maximised child's system menu stands first.
    HMENU bar = WindowHandler().Get<frmMDI>().MenuBar();
    const int first = GetMenuItemCount(bar) > 6 ? 1 : 0;
    HMENU edit = GetSubMenu(bar, first + 1);
    EXPECT_TRUE(MenuItem::PopupEnabled(edit, 1));
    EXPECT_FALSE(MenuItem::PopupEnabled(edit, 0));
    EXPECT_NE(Log().find(AppEnvironment.BackupDir + L" musste angelegt werden"), std::wstring::npos);

    File(L"b.reg", std::string(1234, 'x'));
    const std::wstring a = File(L"a.reg", "");
    File(L"c.reg", std::string(2048, 'x'));
    File(L"d.reg", std::string(1500000, 'x'));
    File(L"e.txt");
    File(L"sub\\f.reg");
    HANDLE h = CreateFileW(a.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    SYSTEMTIME local{2004, 2, 2, 3, 9, 5, 7, 0}, utc;
    TzSpecificLocalTimeToSystemTime(nullptr, &local, &utc);
    FILETIME ft;
    SystemTimeToFileTime(&utc, &ft);
    SetFileTime(h, nullptr, nullptr, &ft);
    CloseHandle(h);

    Key(b, VK_F5);
    const std::wstring sep = DecimalSeparator();
    EXPECT_EQ(Column(b, 0), (std::vector<std::wstring>{L"a.reg", L"b.reg", L"c.reg", L"d.reg"}));
    EXPECT_EQ(Column(b, 1), (std::vector<std::wstring>{L"0 KB", L"1" + sep + L"205 KB", L"2 KB", L"1464" + sep + L" KB"}));
    const std::wstring created = b.List().Cell(0, 2);
    EXPECT_NE(created.find(L"2004"), std::wstring::npos) << ToUtf8(created);
    EXPECT_NE(created.find(L"05:07"), std::wstring::npos) << ToUtf8(created);

    // Every header click flips the direction, also on another column; the function keys click.
    HeaderClick(b, 1);
    EXPECT_EQ(Column(b, 0), (std::vector<std::wstring>{L"c.reg", L"d.reg", L"b.reg", L"a.reg"}));
    Key(b, VK_F4);
    EXPECT_EQ(Column(b, 0), (std::vector<std::wstring>{L"a.reg", L"b.reg", L"c.reg", L"d.reg"}));
    Key(b, VK_F4);
    EXPECT_EQ(Column(b, 0), (std::vector<std::wstring>{L"d.reg", L"c.reg", L"b.reg", L"a.reg"}));
    Key(b, VK_F6);
    EXPECT_EQ(Column(b, 0), (std::vector<std::wstring>{L"a.reg", L"b.reg", L"d.reg", L"c.reg"}));
    Key(b, VK_F7);
    EXPECT_EQ(b.SortColumn(), 2);
    EXPECT_FALSE(b.SortAscending());
    // Re-reading keeps the sort the user chose.
    Key(b, VK_F6);
    Key(b, VK_F5);
    EXPECT_EQ(Column(b, 0), (std::vector<std::wstring>{L"a.reg", L"b.reg", L"d.reg", L"c.reg"}));
}

TEST_F(BackupWindow, DeletesSelectedRowsAskingOnlyWhenFilesGoForGood) {
    for (int i = 1; i <= 5; ++i) File(L"r" + std::to_wstring(i) + L".reg");
    frmBackup& b = Open();
    ASSERT_EQ(b.List().Count(), 5);
    frmMDI& mdi = WindowHandler().Get<frmMDI>();

    // Three adjacent rows, each asked for: all three go.
    SelectOnly(b, {1, 2, 3});
    std::vector<std::wstring> texts;
    {
        MessageBoxes boxes(L"Torvane", {IDYES});
        mdi.Command(IDM_mnuBackupLoeschen);
        texts = boxes.Texts();
    }
    ASSERT_EQ(texts.size(), 3u);
    EXPECT_EQ(texts[0], L"Sind Sie sicher, dass Sie die Datei r2.reg löschen wollen?");
    EXPECT_EQ(texts[2], L"Sind Sie sicher, dass Sie die Datei r4.reg löschen wollen?");
    EXPECT_EQ(Column(b, 0), (std::vector<std::wstring>{L"r1.reg", L"r5.reg"}));
    for (const wchar_t* gone : {L"r2.reg", L"r3.reg", L"r4.reg"}) EXPECT_FALSE(FileExists(AppEnvironment.BackupDir + gone));
    EXPECT_FALSE(b.List().Selected(0));

    // No keeps the file and its row.
    SelectOnly(b, {1});
    {
        MessageBoxes boxes(L"Torvane", {IDNO});
        Key(b, VK_DELETE);
        EXPECT_EQ(boxes.Texts().size(), 1u);
    }
    EXPECT_TRUE(FileExists(AppEnvironment.BackupDir + L"r5.reg"));
    EXPECT_EQ(b.List().Count(), 2);

    // "Löschsicherheit" on: no question. A file that cannot go keeps its row and says so.
    AppSwitches.Loeschsicherheit = 1;
    SetFileAttributesW((AppEnvironment.BackupDir + L"r1.reg").c_str(), FILE_ATTRIBUTE_READONLY);
    SelectOnly(b, {0, 1});
    {
        MessageBoxes boxes(L"Torvane", {IDOK});
        b.cmdLoeschen_Click();
        texts = boxes.Texts();
    }
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0], L"Das Löschen der Sicherungsdatei r1.reg ist fehlgeschlagen.");
    EXPECT_EQ(Column(b, 0), (std::vector<std::wstring>{L"r1.reg"}));
    EXPECT_FALSE(FileExists(AppEnvironment.BackupDir + L"r5.reg"));
    SetFileAttributesW((AppEnvironment.BackupDir + L"r1.reg").c_str(), FILE_ATTRIBUTE_NORMAL);

    // Nothing selected: nothing happens but a log line.
    SelectOnly(b, {});
    b.cmdLoeschen_Click();
    EXPECT_EQ(b.List().Count(), 1);
    EXPECT_NE(Log().find(L"Es wurde keine Datei gewählt."), std::wstring::npos);
}

TEST_F(BackupWindow, RecycleBinDeletionAsksNothing) {
    AppSwitches.Recycler = 1;
    const std::wstring path = File(L"papierkorb_" + Unique() + L".reg");
    frmBackup& b = Open();
    EXPECT_EQ(b.RecyclerText(), L"Zu löschende Dateien werden in den Papierkorb verschoben.");
    EXPECT_EQ(b.RecyclerColour(), RGB(0, 128, 0));
    SelectOnly(b, {0});
    {
        MessageBoxes boxes(L"Torvane", {IDNO});
        Key(b, VK_DELETE);
        EXPECT_TRUE(boxes.Texts().empty());
    }
    EXPECT_FALSE(FileExists(path));
    EXPECT_EQ(b.List().Count(), 0);
}

// The registry editor writes into the real registry of the prefix: these work below real keys.
TEST_F(BackupWindow, WriteBackIsCheckedKeepsFailedFilesAndRestartsAfterSuccess) {
    RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
    const std::wstring base = L"Software\\TorvaneTest\\Backup_" + Unique();
    File(L"gut.reg", ToAnsi(L"REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\" + base + L"\\gut]\r\n\"v\"=\"1\"\r\n\r\n"));
    File(L"bad.reg", ToAnsi(L"REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\" + base + L"\\" + std::wstring(300, L'k') +
                            L"]\r\n\"v\"=\"2\"\r\n\r\n"));
    AppSwitches.AutoFileDelAfterReentry = 1;
    AppSwitches.RebootAfterEntry = 1;
    frmBackup& b = Open();
    ASSERT_EQ(Column(b, 0), (std::vector<std::wstring>{L"bad.reg", L"gut.reg"}));
    SelectOnly(b, {0, 1});
    std::vector<std::wstring> texts;
    {
        MessageBoxes boxes(L"Torvane", {IDYES, IDOK, IDYES});
        Key(b, VK_F8);
        texts = boxes.Texts();
    }
    const bool written = Exists(HKEY_CURRENT_USER, base + L"\\gut");
    RegDeleteTreeW(HKEY_CURRENT_USER, base.c_str());
    RegDeleteKeyW(HKEY_CURRENT_USER, base.c_str());
    ASSERT_EQ(texts.size(), 3u);
    EXPECT_EQ(texts[0], L"Sind Sie sicher, dass Sie die Datei bad.reg\rin die Registry eintragen wollen?\r\rHinweis!\r"
                        L"Nach dem Bestätigen des Fensters mit Ja, folgen zwei weitere Dialoge. \r"
                        L"Bestätigen Sie die erste Aufforderung mit Ja und die zweite mit OK.");
    EXPECT_EQ(texts[1], L"Die Sicherungdatei bad.reg konnte nicht in die Registry eingetragen.");
    EXPECT_EQ(texts[2].substr(0, 44), L"Sind Sie sicher, dass Sie die Datei gut.reg\r");
    EXPECT_TRUE(written);
    // Only the file that is back in the registry goes; the list was read again.
    EXPECT_FALSE(FileExists(AppEnvironment.BackupDir + L"gut.reg"));
    EXPECT_TRUE(FileExists(AppEnvironment.BackupDir + L"bad.reg"));
    EXPECT_EQ(Column(b, 0), (std::vector<std::wstring>{L"bad.reg"}));
    EXPECT_EQ(reboots, 1);
    const std::wstring log = Log();
    EXPECT_NE(log.find(L"Die Sicherungdatei gut.reg wurde erfolgreich in die Registry eingetragen."), std::wstring::npos);
    EXPECT_NE(log.find(L"Reboot nach eintragen wird ausgeführt"), std::wstring::npos);
}

TEST_F(BackupWindow, NoRestartWhenEveryQuestionIsAnsweredNo) {
    RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
    const std::wstring base = L"Software\\TorvaneTest\\Backup_" + Unique();
    File(L"gut.reg", ToAnsi(L"REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\" + base + L"]\r\n\"v\"=\"1\"\r\n\r\n"));
    File(L"zwei.reg", ToAnsi(L"REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\" + base + L"]\r\n\"w\"=\"1\"\r\n\r\n"));
    AppSwitches.RebootAfterEntry = 1;
    AppSwitches.AutoFileDelAfterReentry = 1;
    frmBackup& b = Open();
    SelectOnly(b, {0, 1});
    {
        MessageBoxes boxes(L"Torvane", {IDNO});
        WindowHandler().Get<frmMDI>().Command(IDM_mnuBackupEinfuegen);
        EXPECT_EQ(boxes.Texts().size(), 2u);
    }
    const bool written = Exists(HKEY_CURRENT_USER, base);
    RegDeleteTreeW(HKEY_CURRENT_USER, base.c_str());
    RegDeleteKeyW(HKEY_CURRENT_USER, base.c_str());
    EXPECT_FALSE(written);
    EXPECT_EQ(reboots, 0);
    EXPECT_EQ(b.List().Count(), 2);
    EXPECT_EQ(Log().find(L"Reboot nach eintragen"), std::wstring::npos);
}

TEST_F(BackupWindow, ContextMenuCaptionsFollowTheSelection) {
    for (const wchar_t* n : {L"a.reg", L"b.reg", L"c.reg"}) File(n);
    frmBackup& b = Open();
    HMENU bar = WindowHandler().Get<frmMDI>().MenuBar();
    auto popUp = [&] {
        // The pop-up menu runs its own loop; close it as soon as it is open.
        SetTimer(nullptr, 0, 300, [](HWND, UINT, UINT_PTR id, DWORD) {
            KillTimer(nullptr, id);
            EndMenu();
        });
        b.lvwBackup_MouseUp();
    };
    SelectOnly(b, {});
    popUp();
    EXPECT_EQ(MenuItem::Caption(bar, IDM_mnuBackupZeigen), L"markierten Eintrag anzeigen/bearbeiten");
    EXPECT_EQ(MenuItem::Caption(bar, IDM_mnuBackupEinfuegen), L"markierten Eintrag in Registry einfügen");
    EXPECT_EQ(MenuItem::Caption(bar, IDM_mnuBackupLoeschen), L"markierten Eintrag löschen");
    SelectOnly(b, {0, 2});
    popUp();
    EXPECT_EQ(MenuItem::Caption(bar, IDM_mnuBackupZeigen), L"markierte Einträge anzeigen/bearbeiten");
    EXPECT_EQ(MenuItem::Caption(bar, IDM_mnuBackupEinfuegen), L"markierte Einträge in Registry einfügen");
    EXPECT_EQ(MenuItem::Caption(bar, IDM_mnuBackupLoeschen), L"markierte Einträge löschen");
}

TEST_F(BackupWindow, EnterOpensTheFileInAnEditor) {
    const std::wstring name = L"zeigen_" + Unique() + L".reg";
    File(name, "REGEDIT4\r\n\r\n");
    frmBackup& b = Open();
    SelectOnly(b, {0});
    Key(b, VK_RETURN);
    EXPECT_FALSE(b.List().Selected(0));
    // Wine has no editor registered for .reg files: Notepad opens it.
    // Its window shows the file's name once the file is loaded.
    HWND editor = nullptr;
    const bool opened = WaitFor([&] {
        for (HWND w = nullptr; (w = FindWindowExW(nullptr, w, L"Notepad", nullptr));) {
            wchar_t title[512] = L"";
            GetWindowTextW(w, title, 512);
            if (IsWindowVisible(w) && std::wstring(title).find(name) != std::wstring::npos) editor = w;
        }
        return editor != nullptr;
    }, 60000);
    ASSERT_TRUE(opened);
    PostMessageW(editor, WM_CLOSE, 0, 0);
    EXPECT_NE(Log().find(name + L" zum bearbeiten geöffnet"), std::wstring::npos);
}

TEST_F(BackupWindow, ListsTheUndoFilesOfAScan) {
    for (int i = 0; i < 2; ++i) {
        const std::wstring cls = L"Software\\Classes\\CLSID\\{C5C5C5C5-0000-0000-0000-00000000000" + std::to_wstring(i) + L"}";
        PutSz(HKEY_CURRENT_USER, cls + L"\\InprocServer32", L"", folder.Path() + L"fehlt.dll");
        ScanEngine engine(ClassHandler());
        ASSERT_TRUE(engine.Scan());
        ASSERT_TRUE(engine.ProblemeEntfernen().completed);
        WaitForNextSecond();  // the next file gets another second in its name
    }
    frmBackup& b = Open();
    ASSERT_EQ(b.List().Count(), 2);
    for (const std::wstring& name : Column(b, 0)) EXPECT_TRUE(StartsWith(name, L"Rückgängig_RegScan_")) << ToUtf8(name);
    // For a look at the window: TORVANE_SHOW_SECONDS keeps it open that long.
    wchar_t seconds[8] = L"";
    if (GetEnvironmentVariableW(L"TORVANE_SHOW_SECONDS", seconds, 8)) {
        const ULONGLONG until = GetTickCount64() + _wtoi(seconds) * 1000ULL;
        while (GetTickCount64() < until) {
            DoEvents();
            Sleep(20);
        }
    }
}
