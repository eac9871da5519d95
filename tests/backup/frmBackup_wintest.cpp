// tests/backup/frmBackup_wintest.cpp
#include "backup/frmBackup.h"
#include "backup/frmBackup.rh"
#include "backup/RestorePlan.h"
#include "backup/frmRestorePreview.h"
#include "backup/frmRestorePreview.rh"
#include "core/AppEnvironment.h"
#include "main/ClassHandler.h"
#include "core/DoEvents.h"
#include "core/Text.h"
#include "main/WindowHandler.h"
#include "core/win/Menu.h"
#include "errors/clsError.h"
#include "journal/ChangeJournal.h"
#include "scan/ScanEngine.h"
#include "scan/ScanTestRegistry.h"
#include "support/MessageBoxes.h"
#include "support/Sandbox.h"
#include "support/ListNotify.h"
#include "support/Wait.h"
#include "main/frmMDI.h"
#include "main/frmMDI.rh"
#include <gtest/gtest.h>
#include <algorithm>
#include <functional>
#include <optional>

namespace {
std::wstring Unique() { return std::to_wstring(GetCurrentProcessId()) + L"_" + std::to_wstring(GetTickCount64()); }

std::wstring DecimalSeparator() {
    wchar_t buf[8] = L"";
    GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_SDECIMAL, buf, 8);
    return buf;
}

// The write-back preview of this process that is on screen: the dialog with its row list.
HWND PreviewDialog() {
    for (HWND w = nullptr; (w = FindWindowExW(nullptr, w, L"#32770", nullptr));) {
        DWORD pid = 0;
        GetWindowThreadProcessId(w, &pid);
        if (pid == GetCurrentProcessId() && IsWindowVisible(w) && GetDlgItem(w, IDC_lvwRestore)) return w;
    }
    return nullptr;
}

std::wstring TextOf(HWND w) { return Wnd(w).Text(); }

// What one preview showed when it came up.
struct PreviewSeen {
    std::wstring caption, info, summary;
    HWND owner = nullptr;
    std::vector<std::vector<std::wstring>> cells;
    std::vector<bool> checked;
    std::vector<COLORREF> colours;  // each row's text colour as the list is told to draw it
    bool writeChosenEnabled = false, writeAllEnabled = false;
};

// The text colour the dialog gives a row when the list asks before drawing it.
COLORREF RowColour(HWND dialog, int row) {
    HWND list = GetDlgItem(dialog, IDC_lvwRestore);
    NMLVCUSTOMDRAW draw{};
    draw.nmcd.hdr.code = NM_CUSTOMDRAW;
    draw.nmcd.dwDrawStage = CDDS_ITEMPREPAINT;
    draw.nmcd.dwItemSpec = row;
    draw.nmcd.lItemlParam = ListView(list).Data(row);
    draw.clrText = CLR_DEFAULT;
    SendListNotify(list, draw.nmcd.hdr);
    return draw.clrText;
}

std::vector<bool> Checks(HWND dialog) {
    ListView list(GetDlgItem(dialog, IDC_lvwRestore));
    std::vector<bool> out;
    for (int i = 0; i < list.Count(); ++i) out.push_back(ListView_GetCheckState(list.hwnd(), i) != FALSE);
    return out;
}

PreviewSeen ReadPreview(HWND d) {
    PreviewSeen s;
    s.caption = TextOf(d);
    s.owner = GetWindow(d, GW_OWNER);
    s.info = TextOf(GetDlgItem(d, IDC_lblRestoreInfo));
    s.summary = TextOf(GetDlgItem(d, IDC_lblRestoreSummary));
    ListView list(GetDlgItem(d, IDC_lvwRestore));
    for (int i = 0; i < list.Count(); ++i) {
        std::vector<std::wstring> row;
        for (int c = 0; c < 6; ++c) row.push_back(list.Cell(i, c));
        s.cells.push_back(row);
        s.colours.push_back(RowColour(d, i));
    }
    s.checked = Checks(d);
    s.writeChosenEnabled = IsWindowEnabled(GetDlgItem(d, IDOK)) != FALSE;
    s.writeAllEnabled = IsWindowEnabled(GetDlgItem(d, IDC_cmdAlleZurueck)) != FALSE;
    return s;
}

// Posts a click on one of the preview's buttons; its loop handles it once the step returns.
void Click(HWND dialog, int id) {
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}
// Posts a key to the preview's list, as if typed there.
void Type(HWND dialog, WORD key) { PostMessageW(GetDlgItem(dialog, IDC_lvwRestore), WM_KEYDOWN, key, 0); }

// Handles each preview that comes up, in turn, inside its own modal loop: records what it shows
// and runs the next step, which ends it. Without a step left, a preview is cancelled.
class Previews {
public:
    using Step = std::function<void(HWND)>;
    explicit Previews(std::vector<Step> steps) : steps_(std::move(steps)) {
        current_ = this;
        timer_ = SetTimer(nullptr, 0, 20, Tick);
    }
    ~Previews() {
        KillTimer(nullptr, timer_);
        current_ = nullptr;
    }
    std::vector<PreviewSeen> seen;

private:
    static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
        Previews* self = current_;
        if (!self || self->inStep_) return;
        HWND d = PreviewDialog();
        if (!d || GetPropW(d, L"TorvaneTestSeen")) return;
        SetPropW(d, L"TorvaneTestSeen", reinterpret_cast<HANDLE>(1));
        self->inStep_ = true;
        self->seen.push_back(ReadPreview(d));
        const size_t n = self->seen.size();
        if (n <= self->steps_.size()) self->steps_[n - 1](d);
        else Click(d, IDCANCEL);
        self->inStep_ = false;
    }
    static inline Previews* current_ = nullptr;
    std::vector<Step> steps_;
    UINT_PTR timer_ = 0;
    bool inStep_ = false;
};

std::optional<std::wstring> Sz(HKEY root, const std::wstring& key, const std::wstring& name) {
    wchar_t buf[512];
    DWORD size = sizeof buf;
    if (RegGetValueW(root, key.c_str(), name.c_str(), RRF_RT_REG_SZ, nullptr, buf, &size) != ERROR_SUCCESS)
        return std::nullopt;
    return std::wstring(buf);
}

std::optional<DWORD> Dword(HKEY root, const std::wstring& key, const std::wstring& name) {
    DWORD v = 0, size = sizeof v;
    if (RegGetValueW(root, key.c_str(), name.c_str(), RRF_RT_REG_DWORD, nullptr, &v, &size) != ERROR_SUCCESS)
        return std::nullopt;
    return v;
}

bool StartsWithRestoreUndo(const std::wstring& name) { return StartsWith(name, L"Rückgängig_Wiederherstellung_"); }

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
    static void HeaderClick(frmBackup& b, int column) { ClickListHeader(b.List(), column); }
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

// A failed file says why and stays; a file the registry holds again goes, and something written
// asks for the restart.
TEST_F(BackupWindow, WriteBackIsCheckedKeepsFailedFilesAndRestartsAfterSuccess) {
    const std::wstring base = L"Software\\TorvaneTest\\Backup";
    File(L"gut.reg", ToAnsi(L"REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\" + base + L"\\gut]\r\n\"v\"=\"1\"\r\n\r\n"));
    File(L"bad.reg", ToAnsi(L"REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\" + base + L"\\" + std::wstring(300, L'k') +
                            L"]\r\n\"v\"=\"2\"\r\n\r\n"));
    AppSwitches.AutoFileDelAfterReentry = 1;
    AppSwitches.RebootAfterEntry = 1;
    frmBackup& b = Open();
    ASSERT_EQ(Column(b, 0), (std::vector<std::wstring>{L"bad.reg", L"gut.reg"}));
    SelectOnly(b, {0, 1});
    Previews previews({[](HWND d) { Click(d, IDOK); }, [](HWND d) { Click(d, IDOK); }});
    std::vector<std::wstring> texts;
    {
        MessageBoxes boxes(L"Torvane", {IDOK});
        Key(b, VK_F8);
        texts = boxes.Texts();
    }
    // One preview per file, in the list's order, over the main window.
    ASSERT_EQ(previews.seen.size(), 2u);
    EXPECT_EQ(previews.seen[0].caption, L"Zurückschreiben: bad.reg");
    EXPECT_EQ(previews.seen[1].caption, L"Zurückschreiben: gut.reg");
    EXPECT_EQ(previews.seen[1].owner, WindowHandler().Get<frmMDI>().hwnd());
    ASSERT_EQ(texts.size(), 1u);
    const std::wstring failed = L"Die Sicherungdatei bad.reg konnte nicht in die Registry eingetragen.\r\r";
    EXPECT_EQ(texts[0].substr(0, failed.size()), failed);
    EXPECT_GT(texts[0].size(), failed.size());  // and why
    EXPECT_EQ(Sz(HKEY_CURRENT_USER, base + L"\\gut", L"v"), L"1");
    // Only the file that is back in the registry goes; the list was read again and shows the
    // state before the write-back as a file of its own.
    EXPECT_FALSE(FileExists(AppEnvironment.BackupDir + L"gut.reg"));
    EXPECT_TRUE(FileExists(AppEnvironment.BackupDir + L"bad.reg"));
    const std::vector<std::wstring> names = Column(b, 0);
    EXPECT_NE(std::find(names.begin(), names.end(), L"bad.reg"), names.end());
    EXPECT_EQ(std::find(names.begin(), names.end(), L"gut.reg"), names.end());
    EXPECT_NE(std::find_if(names.begin(), names.end(), StartsWithRestoreUndo), names.end());
    EXPECT_EQ(reboots, 1);
    const std::wstring log = Log();
    EXPECT_NE(log.find(L"Die Sicherungdatei gut.reg wurde erfolgreich in die Registry eingetragen."), std::wstring::npos);
    EXPECT_NE(log.find(L"Die Sicherungdatei bad.reg konnte nicht in die Registry eingetragen. ("), std::wstring::npos);
    EXPECT_NE(log.find(L"Reboot nach eintragen wird ausgeführt"), std::wstring::npos);
}

TEST_F(BackupWindow, NoRestartWhenEveryPreviewIsCancelled) {
    const std::wstring base = L"Software\\TorvaneTest\\Backup";
    File(L"gut.reg", ToAnsi(L"REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\" + base + L"]\r\n\"v\"=\"1\"\r\n\r\n"));
    File(L"zwei.reg", ToAnsi(L"REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\" + base + L"]\r\n\"w\"=\"1\"\r\n\r\n"));
    AppSwitches.RebootAfterEntry = 1;
    AppSwitches.AutoFileDelAfterReentry = 1;
    frmBackup& b = Open();
    SelectOnly(b, {0, 1});
    // "Abbrechen" on the first, Escape on the second.
    Previews previews({[](HWND d) { Click(d, IDCANCEL); }, [](HWND d) { Type(d, VK_ESCAPE); }});
    {
        MessageBoxes boxes(L"Torvane", {IDOK});
        WindowHandler().Get<frmMDI>().Command(IDM_mnuBackupEinfuegen);
        EXPECT_TRUE(boxes.Texts().empty());
    }
    ASSERT_EQ(previews.seen.size(), 2u);
    EXPECT_EQ(previews.seen[1].caption, L"Zurückschreiben: zwei.reg");
    EXPECT_FALSE(Exists(HKEY_CURRENT_USER, base));
    EXPECT_EQ(reboots, 0);
    EXPECT_EQ(Column(b, 0), (std::vector<std::wstring>{L"gut.reg", L"zwei.reg"}));
    EXPECT_EQ(Log().find(L"Reboot nach eintragen"), std::wstring::npos);
}

// A key that was removed and has come back with other data: the preview shows every row of the
// plan, the conflict red and not chosen; only "Alle zurückschreiben", after asking, overwrites it.
TEST_F(BackupWindow, PreviewShowsThePlanAndOverwritesConflictsOnlyWhenAsked) {
    const std::wstring weg = L"Software\\TorvaneTest\\Weg", neu = L"Software\\TorvaneTest\\Neu";
    PutSz(HKEY_CURRENT_USER, weg, L"a", L"1");
    PutDword(HKEY_CURRENT_USER, weg, L"b", 2);
    PutSz(HKEY_CURRENT_USER, neu, L"c", L"3");
    std::wstring path;
    {
        ChangeJournal removal(L"RegScan", L"test", L"test");
        ASSERT_EQ(removal.Apply({RegChange::DeleteTree(kHKCU, weg), RegChange::DeleteTree(kHKCU, neu)}).Done(), 2u);
        path = removal.UndoPath();
    }
    const std::wstring name = path.substr(path.find_last_of(L'\\') + 1);
    // Another program has made the key again, with other data.
    PutSz(HKEY_CURRENT_USER, weg, L"a", L"anders");
    const RestorePlan plan = PlanRestore(path);
    ASSERT_TRUE(plan.readable) << ToUtf8(plan.problem);
    ASSERT_GT(plan.Conflicts(), 0u);
    AppSwitches.AutoFileDelAfterReentry = 1;
    AppSwitches.RebootAfterEntry = 1;
    frmBackup& b = Open();
    SelectOnly(b, {0});

    // First look; Space toggles the focused row both ways; Escape leaves.
    int spaceRow = -1;
    std::vector<bool> afterSpace, afterSecondSpace;
    std::wstring summaryAfterSpace;
    Previews first({[&](HWND d) {
        HWND list = GetDlgItem(d, IDC_lvwRestore);
        for (size_t i = 0; i < plan.rows.size() && spaceRow < 0; ++i)
            if (plan.rows[i].ChosenByDefault()) spaceRow = static_cast<int>(i);
        ListView_SetItemState(list, spaceRow, LVIS_FOCUSED | LVIS_SELECTED, LVIS_FOCUSED | LVIS_SELECTED);
        SendMessageW(list, WM_KEYDOWN, VK_SPACE, 0);
        afterSpace = Checks(d);
        summaryAfterSpace = TextOf(GetDlgItem(d, IDC_lblRestoreSummary));
        SendMessageW(list, WM_KEYDOWN, VK_SPACE, 0);
        afterSecondSpace = Checks(d);
        Type(d, VK_ESCAPE);
    }});
    {
        MessageBoxes boxes(L"Torvane", {IDOK});
        Key(b, VK_F8);
        EXPECT_TRUE(boxes.Texts().empty());
    }
    ASSERT_EQ(first.seen.size(), 1u);
    const PreviewSeen& seen = first.seen[0];
    EXPECT_EQ(seen.caption, L"Zurückschreiben: " + name);
    EXPECT_EQ(seen.owner, WindowHandler().Get<frmMDI>().hwnd());
    ASSERT_EQ(seen.cells.size(), plan.rows.size());
    for (size_t i = 0; i < plan.rows.size(); ++i) {
        const RestoreRow& row = plan.rows[i];
        EXPECT_EQ(seen.cells[i], (std::vector<std::wstring>{row.KeyText(), row.ValueText(), row.ChangeText(),
                                                            row.now.value_or(L""), row.after.value_or(L""),
                                                            row.conflictReason}))
            << i;
        EXPECT_EQ(seen.checked[i], row.ChosenByDefault()) << i;
        const COLORREF expected = row.conflict ? RGB(255, 0, 0)
                                  : row.change == RestoreRow::Change::Same ? GetSysColor(COLOR_GRAYTEXT)
                                                                           : CLR_DEFAULT;
        EXPECT_EQ(seen.colours[i], expected) << i;
    }
    // The key is there again: its rows are conflicts, the value with other data among them.
    size_t wegRows = 0;
    for (size_t i = 0; i < plan.rows.size(); ++i) {
        if (plan.rows[i].key != weg) continue;
        ++wegRows;
        EXPECT_TRUE(plan.rows[i].conflict) << i;
        EXPECT_FALSE(seen.checked[i]) << i;
        EXPECT_NE(seen.cells[i][5], L"") << i;
    }
    EXPECT_EQ(wegRows, 3u);  // the key, "a" and "b"
    const auto a = std::find_if(plan.rows.begin(), plan.rows.end(), [](const RestoreRow& r) { return r.valueName == L"a"; });
    ASSERT_NE(a, plan.rows.end());
    EXPECT_TRUE(a->conflict);
    EXPECT_FALSE(a->conflictReason.empty());
    EXPECT_FALSE(seen.checked[a - plan.rows.begin()]);
    EXPECT_EQ(seen.cells[a - plan.rows.begin()][3], L"anders");
    EXPECT_EQ(seen.cells[a - plan.rows.begin()][4], L"1");
    EXPECT_NE(seen.info.find(L"Rote Zeilen sind Konflikte"), std::wstring::npos);
    EXPECT_NE(seen.summary.find(std::to_wstring(plan.rows.size()) + L" Zeilen"), std::wstring::npos) << ToUtf8(seen.summary);
    EXPECT_NE(seen.summary.find(L"Konflikt"), std::wstring::npos);
    EXPECT_TRUE(seen.writeChosenEnabled);
    EXPECT_TRUE(seen.writeAllEnabled);
    ASSERT_GE(spaceRow, 0);
    EXPECT_FALSE(afterSpace[spaceRow]);
    EXPECT_NE(summaryAfterSpace, seen.summary);
    EXPECT_EQ(afterSecondSpace, seen.checked);
    // Escape wrote nothing and kept everything.
    EXPECT_EQ(Sz(HKEY_CURRENT_USER, weg, L"a"), L"anders");
    EXPECT_FALSE(Exists(HKEY_CURRENT_USER, neu));
    EXPECT_EQ(Column(b, 0), (std::vector<std::wstring>{name}));
    EXPECT_EQ(reboots, 0);

    // "Alle zurückschreiben" asks first, No being the default: No stays in the preview, Yes writes every row.
    bool stayed = false;
    Previews second({[&](HWND d) {
        SendMessageW(d, WM_COMMAND, MAKEWPARAM(IDC_cmdAlleZurueck, BN_CLICKED), 0);
        stayed = IsWindowVisible(d) != FALSE;
        SendMessageW(d, WM_COMMAND, MAKEWPARAM(IDC_cmdAlleZurueck, BN_CLICKED), 0);
    }});
    std::vector<std::wstring> questions;
    std::vector<int> defaults;
    {
        MessageBoxes answers(L"Torvane", {IDNO, IDYES, IDOK});
        SelectOnly(b, {0});
        Key(b, VK_F8);
        questions = answers.Texts();
        defaults = answers.DefaultButtons();
    }
    ASSERT_EQ(second.seen.size(), 1u);
    ASSERT_EQ(questions.size(), 2u);
    // The key made again is a conflict that is already so: only the rows it would overwrite count.
    size_t overwritten = 0;
    for (const RestoreRow& r : plan.rows) overwritten += r.conflict && r.change != RestoreRow::Change::Same;
    ASSERT_LT(overwritten, plan.Conflicts());
    EXPECT_EQ(questions[0], frmRestorePreview::OverwriteQuestion(overwritten));
    EXPECT_NE(questions[0].find(L"überschrieben"), std::wstring::npos) << ToUtf8(questions[0]);
    EXPECT_EQ(defaults[0], IDNO);
    EXPECT_TRUE(stayed);
    EXPECT_EQ(Sz(HKEY_CURRENT_USER, weg, L"a"), L"1");
    EXPECT_EQ(Dword(HKEY_CURRENT_USER, weg, L"b"), 2u);
    EXPECT_EQ(Sz(HKEY_CURRENT_USER, neu, L"c"), L"3");
    // All of it is back: the file goes. What it overwrote is the new file in the list.
    EXPECT_FALSE(FileExists(path));
    const std::vector<std::wstring> names = Column(b, 0);
    ASSERT_EQ(names.size(), 1u);
    EXPECT_TRUE(StartsWithRestoreUndo(names[0])) << ToUtf8(names[0]);
    EXPECT_EQ(reboots, 1);
    const std::wstring log = Log();
    EXPECT_NE(log.find(L"Die Sicherungdatei " + name + L" wurde erfolgreich in die Registry eingetragen."), std::wstring::npos);
    EXPECT_NE(log.find(L"Der vorherige Zustand steht in " + names[0] + L"."), std::wstring::npos);

    // That file undoes the write-back from the same list.
    Previews undo({[](HWND d) { Click(d, IDOK); }});
    {
        MessageBoxes boxes(L"Torvane", {IDOK});
        SelectOnly(b, {0});
        Key(b, VK_F8);
        EXPECT_TRUE(boxes.Texts().empty());
    }
    ASSERT_EQ(undo.seen.size(), 1u);
    EXPECT_EQ(Sz(HKEY_CURRENT_USER, weg, L"a"), L"anders");
    EXPECT_FALSE(Dword(HKEY_CURRENT_USER, weg, L"b").has_value());
    EXPECT_FALSE(Exists(HKEY_CURRENT_USER, neu));
}

// Two rows chosen of four: exactly those two are written, and the file stays for the rest.
TEST_F(BackupWindow, PartialWriteBackWritesExactlyTheChosenRows) {
    const std::wstring key = L"Software\\TorvaneTest\\Teil";
    PutKey(HKEY_CURRENT_USER, key);
    const std::wstring path = File(L"teil.reg", ToAnsi(L"REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\" + key + L"]\r\n"
                                                       L"\"v1\"=\"eins\"\r\n\"v2\"=\"zwei\"\r\n\"v3\"=\"drei\"\r\n"
                                                       L"\"v4\"=\"vier\"\r\n\r\n"));
    AppSwitches.AutoFileDelAfterReentry = 1;
    AppSwitches.RebootAfterEntry = 1;
    frmBackup& b = Open();
    SelectOnly(b, {0});
    bool enabledWithNone = true;
    int keyRow = -1;
    std::vector<bool> checks;
    std::wstring summary;
    Previews previews({[&](HWND d) {
        HWND list = GetDlgItem(d, IDC_lvwRestore);
        ListView rows(list);
        for (int i = 0; i < rows.Count(); ++i) ListView_SetCheckState(list, i, FALSE);
        enabledWithNone = IsWindowEnabled(GetDlgItem(d, IDOK)) != FALSE;
        for (int i = 0; i < rows.Count(); ++i) {
            const std::wstring value = rows.Cell(i, 1);
            if (value == L"v2" || value == L"v4") ListView_SetCheckState(list, i, TRUE);
            // The key is there already: its row cannot be chosen.
            if (value.empty()) {
                keyRow = i;
                ListView_SetCheckState(list, i, TRUE);
            }
        }
        checks = Checks(d);
        summary = TextOf(GetDlgItem(d, IDC_lblRestoreSummary));
        Type(d, VK_RETURN);
    }});
    {
        MessageBoxes boxes(L"Torvane", {IDOK});
        Key(b, VK_F8);
        EXPECT_TRUE(boxes.Texts().empty());
    }
    ASSERT_EQ(previews.seen.size(), 1u);
    // Every value to create was chosen at first.
    EXPECT_EQ(std::count(previews.seen[0].checked.begin(), previews.seen[0].checked.end(), true), 4);
    EXPECT_FALSE(enabledWithNone);
    ASSERT_GE(keyRow, 0);
    EXPECT_FALSE(checks[keyRow]);
    EXPECT_NE(summary.find(L"Zum Zurückschreiben ausgewählt: 2."), std::wstring::npos) << ToUtf8(summary);
    EXPECT_EQ(Sz(HKEY_CURRENT_USER, key, L"v2"), L"zwei");
    EXPECT_EQ(Sz(HKEY_CURRENT_USER, key, L"v4"), L"vier");
    EXPECT_FALSE(Sz(HKEY_CURRENT_USER, key, L"v1").has_value());
    EXPECT_FALSE(Sz(HKEY_CURRENT_USER, key, L"v3").has_value());
    // Two rows were left: the file stays; something was written: the restart comes.
    EXPECT_TRUE(FileExists(path));
    EXPECT_EQ(reboots, 1);
    const std::wstring log = Log();
    EXPECT_NE(log.find(L"Die Sicherungdatei teil.reg wurde erfolgreich in die Registry eingetragen. "
                       L"2 Zeilen wurden nicht zurückgeschrieben (nicht ausgewählt)."),
              std::wstring::npos);
    EXPECT_NE(WindowHandler().Get<frmMDI>().Status().Panel(1).find(L"2 Zeilen wurden nicht zurückgeschrieben"),
              std::wstring::npos);
}

// A file cut off in the middle is damaged: its preview shows the rejected row with its line and
// reason, nothing is chosen, and the row cannot be chosen; the next file is still previewed.
TEST_F(BackupWindow, DamagedFileShowsTheRejectedRowAndChoosesNothing) {
    const std::wstring halb = File(L"a_halb.reg", "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\TorvaneTest\\Halb]\r\n"
                                                  "\"a\"=\"1\"\r\n\"b\"=hex:01,02,\\");
    File(L"b_ganz.reg", "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\TorvaneTest\\Ganz]\r\n\"a\"=\"1\"\r\n\r\n");
    const RestorePlan plan = PlanRestore(halb);
    ASSERT_TRUE(plan.readable && plan.damaged);
    frmBackup& b = Open();
    SelectOnly(b, {0, 1});
    bool refusedStaysEmpty = false;
    Previews previews({[&](HWND d) {
        // Ticking the rejected row leaves its box empty.
        HWND list = GetDlgItem(d, IDC_lvwRestore);
        ListView_SetCheckState(list, ListView(list).Count() - 1, TRUE);
        refusedStaysEmpty = ListView_GetCheckState(list, ListView(list).Count() - 1) == FALSE;
        Click(d, IDCANCEL);
    }});
    {
        MessageBoxes boxes(L"Torvane", {IDOK});
        Key(b, VK_F8);
        EXPECT_TRUE(boxes.Texts().empty());
    }
    ASSERT_EQ(previews.seen.size(), 2u);
    const PreviewSeen& seen = previews.seen[0];
    EXPECT_EQ(seen.caption, L"Zurückschreiben: a_halb.reg");
    ASSERT_EQ(seen.cells.size(), 3u);  // the key, "a", and "b" that the editor would not write
    EXPECT_EQ(seen.cells[2][1], L"b");
    EXPECT_EQ(seen.cells[2][2], L"wird nicht geschrieben");
    EXPECT_EQ(seen.cells[2][5], L"Zeile 5: die Datei endet mitten im Wert (sie ist abgeschnitten)");
    EXPECT_EQ(seen.checked, (std::vector<bool>{false, false, false}));
    EXPECT_TRUE(refusedStaysEmpty);
    EXPECT_NE(seen.summary.find(L"1 kann nicht geschrieben werden. Die Datei ist beschädigt: nichts ist vorgewählt."),
              std::wstring::npos)
        << ToUtf8(seen.summary);
    EXPECT_FALSE(seen.writeChosenEnabled);
    EXPECT_EQ(previews.seen[1].caption, L"Zurückschreiben: b_ganz.reg");
    EXPECT_FALSE(Exists(HKEY_CURRENT_USER, L"Software\\TorvaneTest\\Halb"));
    EXPECT_FALSE(Exists(HKEY_CURRENT_USER, L"Software\\TorvaneTest\\Ganz"));
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
        ScanEngine engine;
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
