// tests/scan/frmRegScan_wintest.cpp
#include "core/AppEnvironment.h"
#include "main/ClassHandler.h"
#include "main/WindowHandler.h"
#include "core/win/ListView.h"
#include "core/Text.h"
#include "core/win/Menu.h"
#include "registry/clsKeyFunc.h"
#include "registry/clsSearch.h"
#include "scan/ScanTestRegistry.h"
#include "scan/frmRegScan.h"
#include "scan/frmRegScan.rh"
#include "support/Sandbox.h"
#include "support/ListNotify.h"
#include "support/Wait.h"
#include "main/frmMDI.h"
#include "main/frmMDI.rh"
#include <gtest/gtest.h>
#include <cstdio>
#include <map>
#include <regex>

namespace {
const std::wstring kUninstall = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
const std::wstring kClsid = L"Software\\Classes\\CLSID\\";

class RegScanTest : public ::testing::Test {
protected:
    void SetUp() override {
        PrepareEnvironment(folder.Path());
    }
    void TearDown() override { WindowHandler().CloseWindow(WindowNo::All); }
    // Opens the program's frame; its first activation shows the scan window, which maximises
    // itself once it hears of its activation.
    frmRegScan& Open() {
        frame = &WindowHandler().Get<frmMDI>();
        frame->Show();
        EXPECT_TRUE(WaitFor([] {
            return WindowHandler().IsLoaded(WindowNo::RegScan) && IsZoomed(WindowHandler().Get<frmRegScan>().Frame());
        }));
        return WindowHandler().Get<frmRegScan>();
    }
    HWND ActiveChild() const { return reinterpret_cast<HWND>(SendMessageW(frame->MdiClient(), WM_MDIGETACTIVE, 0, 0)); }
    void Setting(const wchar_t* key, const wchar_t* value) {
        ClassHandler().KeyFunc().SaveSetting(L"Optionen", key, value);
        ClassHandler().KeyFunc().ReadAppSwitch();
    }
    // Uninstall entries without anything to uninstall: one result row each.
    static void PlantUninstall(std::initializer_list<const wchar_t*> names) {
        for (const wchar_t* n : names) PutSz(HKEY_CURRENT_USER, kUninstall + n, L"DisplayName", n);
    }
    static std::wstring Text(const frmRegScan& w, int id) { return Wnd(w.hwnd()).Item(id).Text(); }
    static bool Enabled(const frmRegScan& w, int id) { return Wnd(w.hwnd()).Item(id).Enabled(); }
    static bool Visible(const frmRegScan& w, int id) { return Wnd(w.hwnd()).Item(id).Visible(); }
    static ListView List(const frmRegScan& w) { return ListView(Wnd(w.hwnd()).Item(IDC_lvwRegKeys)); }
    static bool Checked(const frmRegScan& w, int id) { return IsDlgButtonChecked(w.hwnd(), id) == BST_CHECKED; }
    static void Click(const frmRegScan& w, int id) { SendMessageW(Wnd(w.hwnd()).Item(id), BM_CLICK, 0, 0); }
    // Runs a scan and ticks "Ergebnis anzeigen".
    static ListView ScanAndShowList(const frmRegScan& w) {
        Click(w, IDC_cmdStart);
        Click(w, IDC_chbRegKeysShow);
        return List(w);
    }
    // "Bearbeiten", wherever the maximised child's system menu has moved it.
    HMENU EditMenu() const {
        HMENU bar = frame->MenuBar();
        for (int p = 0; p < GetMenuItemCount(bar); ++p)
            if (HMENU sub = GetSubMenu(bar, p); sub && GetSubMenu(sub, 0) &&
                                                GetMenuItemID(GetSubMenu(sub, 0), 0) == IDM_mnuRegScanStart)
                return sub;
        return nullptr;
    }
    bool MenuOn(int id) const { return MenuItem::Enabled(frame->MenuBar(), id); }
    std::wstring Panel(int n) const { return frame->Status().Panel(n); }
    std::vector<std::wstring> UndoFiles() const {
        std::vector<std::wstring> out;
        WIN32_FIND_DATAW fd;
        HANDLE h = FindFirstFileW((AppEnvironment.BackupDir + L"Rückgängig_RegScan_*.reg").c_str(), &fd);
        if (h == INVALID_HANDLE_VALUE) return out;
        do out.push_back(AppEnvironment.BackupDir + fd.cFileName);
        while (FindNextFileW(h, &fd));
        FindClose(h);
        return out;
    }
    // With REGSCAN_SHOW set, a state stays on screen for that many seconds (for a look or a screenshot).
    static void ShowState(const char* name) {
        const char* secs = getenv("REGSCAN_SHOW");
        if (!secs) return;
        printf("STATE %s\n", name);
        fflush(stdout);
        PumpMessages(static_cast<DWORD>(atoi(secs) * 1000));
    }
    static HWND ListOf(const frmRegScan& w) { return Wnd(w.hwnd()).Item(IDC_lvwRegKeys); }
    void SendNotify(const frmRegScan& w, NMHDR& hdr) const { SendListNotify(ListOf(w), hdr); }
    void ClickColumn(const frmRegScan& w, int column) const { ClickListHeader(ListOf(w), column); }
    void Key(const frmRegScan& w, WORD vk) const { SendListKey(ListOf(w), vk); }
    std::vector<std::wstring> Column(const frmRegScan& w, int column) const {
        std::vector<std::wstring> out;
        for (int i = 0; i < List(w).Count(); ++i) out.push_back(List(w).Cell(i, column));
        return out;
    }

    RegistrySandbox sandbox;
    TempFolder folder;
    frmMDI* frame = nullptr;
    KeepProcessOnFrameExit frameExit;
    int& exitCode = frameExit.exitCode;
};
}  // namespace

TEST_F(RegScanTest, ScanShowsRowsAndRatingThenRemovalWritesTheUndoFileAndEmptiesTheList) {
    PlantUninstall({L"Alt1", L"Alt2"});
    const std::wstring cls = kClsid + L"{B2B2B2B2-0000-0000-0000-000000000000}";
    PutSz(HKEY_CURRENT_USER, cls, L"", L"Verwaiste Klasse");
    PutSz(HKEY_CURRENT_USER, cls + L"\\InprocServer32", L"", folder.Path() + L"fehlt\\weg.dll");
    PutSz(HKEY_LOCAL_MACHINE, kUninstall + L"Gut", L"UninstallString", L"x.exe");  // read, not a problem

    frmRegScan& w = Open();
    EXPECT_EQ(Wnd(w.Frame()).Text(), L"Registry Scan");
    EXPECT_TRUE(IsZoomed(w.Frame()));
    const std::wstring intro = Text(w, IDC_lblStartText);
    EXPECT_EQ(intro.rfind(L"Der Torvane ist ein Programm, das nach Fehlern in der Windows Registrierungs- Datenbank "
                          L"sucht und diese behebt.\r\n\r\nSollten Fehler",
                          0),
              0u);
    EXPECT_EQ(Text(w, IDC_cmdStart), L"&Start");
    EXPECT_FALSE(Enabled(w, IDC_cmdAbbrechen));
    EXPECT_FALSE(Visible(w, IDC_lvwRegKeys));
    ASSERT_EQ(List(w).ColumnCount(), 6);
    // The scan's menu is the enabled one of "Bearbeiten"; only "Starten" works before a scan.
    ASSERT_TRUE(EditMenu());
    EXPECT_TRUE(MenuItem::PopupEnabled(EditMenu(), 0));
    EXPECT_FALSE(MenuItem::PopupEnabled(EditMenu(), 1));
    EXPECT_TRUE(MenuOn(IDM_mnuRegScanStart));
    for (int id : {IDM_mnuRegScanCurrent, IDM_mnuRegScanAll, IDM_mnuRegScanAbbrechen}) EXPECT_FALSE(MenuOn(id)) << id;
    ShowState("idle");

    frame->Command(IDM_mnuRegScanStart);
    EXPECT_FALSE(ClassHandler().Search().ScanRun);
    EXPECT_EQ(Text(w, IDC_cmdStart), L"&Entfernen");
    EXPECT_EQ(Text(w, IDC_lblScanProzent), L"100% fertig");
    EXPECT_FALSE(Visible(w, IDC_ProgressBar));
    const size_t rows = w.Engine().Rows().size();
    ASSERT_GE(rows, 3u);
    ASSERT_EQ(List(w).Count(), static_cast<int>(rows));
    std::wsmatch m;
    const std::wstring bericht = Text(w, IDC_lblScanBericht);
    ASSERT_TRUE(std::regex_match(bericht, m, std::wregex(L"Sehr viele Fehler gefunden\\. \\(([0-9]+) von ([0-9]+) Einträgen = [0-9,]+%\\)")))
        << bericht;
    EXPECT_EQ(m[1].str(), std::to_wstring(rows));
    EXPECT_EQ(m[2].str(), std::to_wstring(w.Engine().Total()));
    EXPECT_EQ(Panel(1), L"Status");
    EXPECT_EQ(Panel(2), L"Gefundene Fehler: " + std::to_wstring(rows));
    bool sawAlt1 = false;
    for (int i = 0; i < List(w).Count(); ++i)
        if (List(w).Cell(i, 0) == L"[HKEY_CURRENT_USER\\" + kUninstall + L"Alt1]") {
            sawAlt1 = true;
            EXPECT_EQ(List(w).Cell(i, 1), L"\"DisplayName\"");
            EXPECT_EQ(List(w).Cell(i, 2), L"Alt1");
            EXPECT_EQ(List(w).Cell(i, 3), L"-2147483647");
        }
    EXPECT_TRUE(sawAlt1);
    // Waiting for the removal: the result can be shown, the removal commands work, a new start does not.
    EXPECT_TRUE(Enabled(w, IDC_chbRegKeysShow));
    EXPECT_FALSE(Visible(w, IDC_lvwRegKeys));
    EXPECT_FALSE(Enabled(w, IDC_chbMarkierteKeysEntfernen));
    EXPECT_TRUE(MenuOn(IDM_mnuRegScanAll));
    EXPECT_TRUE(MenuOn(IDM_mnuRegScanCurrent));
    EXPECT_FALSE(MenuOn(IDM_mnuRegScanStart));
    Click(w, IDC_chbRegKeysShow);
    EXPECT_TRUE(Visible(w, IDC_lvwRegKeys));
    EXPECT_TRUE(Enabled(w, IDC_chbMarkierteKeysEntfernen));
    ShowState("found");

    // The tray's "Scan starten" never runs the removal that waits here.
    frame->Command(IDM_mnuPopUpStartScan);
    EXPECT_TRUE(UndoFiles().empty());
    EXPECT_TRUE(Exists(HKEY_CURRENT_USER, kUninstall + L"Alt1"));
    EXPECT_EQ(List(w).Count(), static_cast<int>(rows));

    Click(w, IDC_cmdStart);
    const auto files = UndoFiles();
    ASSERT_EQ(files.size(), 1u);
    const std::string undo = ReadBytes(files[0]);
    EXPECT_NE(undo.find("Alt1"), std::string::npos);
    EXPECT_NE(undo.find("{B2B2B2B2-0000-0000-0000-000000000000}"), std::string::npos);
    EXPECT_FALSE(Exists(HKEY_CURRENT_USER, kUninstall + L"Alt1"));
    EXPECT_FALSE(Exists(HKEY_CURRENT_USER, cls));
    EXPECT_TRUE(Exists(HKEY_LOCAL_MACHINE, kUninstall + L"Gut"));
    EXPECT_EQ(List(w).Count(), 0);
    EXPECT_FALSE(Visible(w, IDC_lvwRegKeys));
    EXPECT_EQ(Text(w, IDC_lblScanBericht), L"Die erkannten Fehler wurden erfolgreich entfernt und gesichert.");
    EXPECT_EQ(Text(w, IDC_cmdStart), L"&Start");
    EXPECT_FALSE(Checked(w, IDC_chbRegKeysShow));
    EXPECT_FALSE(Enabled(w, IDC_chbRegKeysShow));
    EXPECT_FALSE(Enabled(w, IDC_cmdAbbrechen));
    EXPECT_FALSE(Visible(w, IDC_lblScanProzent));
    EXPECT_EQ(Panel(1), L"Status");
    EXPECT_EQ(Panel(2), L"Version " + AppEnvironment.AppVersion);
    EXPECT_TRUE(MenuOn(IDM_mnuRegScanStart));
    for (int id : {IDM_mnuRegScanCurrent, IDM_mnuRegScanAll, IDM_mnuRegScanAbbrechen}) EXPECT_FALSE(MenuOn(id)) << id;
    EXPECT_FALSE(ClassHandler().Search().ScanRun);
    ShowState("removed");
}

TEST_F(RegScanTest, ScanWithoutProblemsEndsIdleAndCanStartAgain) {
    PutSz(HKEY_LOCAL_MACHINE, kUninstall + L"Gut", L"UninstallString", L"x.exe");
    frmRegScan& w = Open();
    Click(w, IDC_cmdStart);
    EXPECT_EQ(Text(w, IDC_lblScanBericht).rfind(L"Hervorragend, keine Fehler gefunden. (0 von ", 0), 0u);
    EXPECT_EQ(Text(w, IDC_cmdStart), L"&Start");
    EXPECT_TRUE(Enabled(w, IDC_cmdStart));
    EXPECT_FALSE(Enabled(w, IDC_cmdAbbrechen));
    EXPECT_FALSE(Enabled(w, IDC_chbRegKeysShow));
    EXPECT_EQ(Panel(2), L"");
    EXPECT_TRUE(MenuOn(IDM_mnuRegScanStart));
    EXPECT_FALSE(MenuOn(IDM_mnuRegScanAbbrechen));
    EXPECT_TRUE(UndoFiles().empty());
    // The history-deletion notice follows its setting at each start.
    ClassHandler().KeyFunc().SaveSetting(L"Optionen\\ExtraScan", L"AutoRegistryVerlaufDel", L"1");
    frame->Command(IDM_mnuRegScanStart);
    EXPECT_TRUE(Visible(w, IDC_lblExtraScan));
    EXPECT_EQ(Text(w, IDC_lblExtraScan), L"Das Löschen der Registry Verläufe ist eingeschalten.");
    EXPECT_EQ(Text(w, IDC_lblScanTxt), L"Scanvorgang erfolgreich abgeschlossen.");
}

TEST_F(RegScanTest, CancelWhileReadingLeavesAnEmptyIdleWindow) {
    PlantUninstall({L"Alt1", L"Alt2"});
    frmRegScan& w = Open();
    // Arrives at the scan's first look at the message queue, as a click on "Abbrechen" would.
    PostMessageW(w.hwnd(), WM_COMMAND, MAKEWPARAM(IDC_cmdAbbrechen, BN_CLICKED),
                 reinterpret_cast<LPARAM>(Wnd(w.hwnd()).Item(IDC_cmdAbbrechen).hwnd()));
    Click(w, IDC_cmdStart);
    EXPECT_EQ(List(w).Count(), 0);
    EXPECT_EQ(Text(w, IDC_cmdStart), L"Start");
    EXPECT_TRUE(Enabled(w, IDC_cmdStart));
    EXPECT_FALSE(Enabled(w, IDC_cmdAbbrechen));
    for (int id : {IDC_lblScanTxt, IDC_lblScanProzent, IDC_lblScanBericht}) EXPECT_EQ(Text(w, id), L"") << id;
    EXPECT_FALSE(Visible(w, IDC_ProgressBar));
    EXPECT_EQ(Panel(1), L"Status");
    EXPECT_EQ(Panel(2), L"Version " + AppEnvironment.AppVersion);
    EXPECT_EQ(Panel(3), L"");
    EXPECT_TRUE(MenuOn(IDM_mnuRegScanStart));
    EXPECT_FALSE(MenuOn(IDM_mnuRegScanAbbrechen));
    EXPECT_FALSE(ClassHandler().Search().ScanRun);
    EXPECT_TRUE(Exists(HKEY_CURRENT_USER, kUninstall + L"Alt1"));
    // "Start" without its accelerator still starts a scan, not a removal.
    Click(w, IDC_cmdStart);
    EXPECT_EQ(Text(w, IDC_cmdStart), L"&Entfernen");
    EXPECT_EQ(List(w).Count(), 2);
}

TEST_F(RegScanTest, MarkedRowsGoAfterSortingAndTheRestWaits) {
    PlantUninstall({L"Bravo", L"Alpha", L"Delta", L"Charlie"});
    frmRegScan& w = Open();
    Click(w, IDC_cmdStart);
    ASSERT_EQ(List(w).Count(), 4);
    Click(w, IDC_chbRegKeysShow);
    // Each click flips the order; F6 sorts by the second column.
    ClickColumn(w, 2);
    EXPECT_EQ(Column(w, 2), (std::vector<std::wstring>{L"Delta", L"Charlie", L"Bravo", L"Alpha"}));
    ClickColumn(w, 2);
    EXPECT_EQ(Column(w, 2), (std::vector<std::wstring>{L"Alpha", L"Bravo", L"Charlie", L"Delta"}));
    Key(w, VK_F7);
    EXPECT_EQ(Column(w, 2), (std::vector<std::wstring>{L"Delta", L"Charlie", L"Bravo", L"Alpha"}));

    // The pop-up's caption follows the number of selected rows.
    List(w).Select(0);
    List(w).Select(1);
    NMHDR click{};
    click.code = NM_CLICK;
    SendNotify(w, click);
    EXPECT_EQ(MenuItem::Caption(frame->MenuBar(), IDM_mnuRegScanCurrent), L"&markierte Einträge entfernen");
    List(w).Select(0, false);
    SendNotify(w, click);
    EXPECT_EQ(MenuItem::Caption(frame->MenuBar(), IDM_mnuRegScanCurrent), L"&markierten Eintrag entfernen");

    // Only the selected row (Charlie, second after sorting) goes; the menu unticks its box again.
    frame->Command(IDM_mnuRegScanCurrent);
    EXPECT_FALSE(Exists(HKEY_CURRENT_USER, kUninstall + L"Charlie"));
    for (const wchar_t* n : {L"Alpha", L"Bravo", L"Delta"}) EXPECT_TRUE(Exists(HKEY_CURRENT_USER, kUninstall + n)) << n;
    EXPECT_EQ(Column(w, 2), (std::vector<std::wstring>{L"Alpha", L"Bravo", L"Delta"}));
    EXPECT_EQ(Text(w, IDC_lblScanBericht), L"Die markierten Fehler wurden erfolgreich entfernt und gesichert.");
    EXPECT_EQ(Text(w, IDC_cmdStart), L"&Entfernen");
    EXPECT_TRUE(Visible(w, IDC_lvwRegKeys));
    EXPECT_FALSE(Checked(w, IDC_chbMarkierteKeysEntfernen));
    EXPECT_TRUE(MenuOn(IDM_mnuRegScanAll));
    EXPECT_EQ(UndoFiles().size(), 1u);

    // "Alle Einträge entfernen" takes the rest.
    WaitForNextSecond();  // a new second, a new file name
    frame->Command(IDM_mnuRegScanAll);
    EXPECT_EQ(List(w).Count(), 0);
    for (const wchar_t* n : {L"Alpha", L"Bravo", L"Delta"}) EXPECT_FALSE(Exists(HKEY_CURRENT_USER, kUninstall + n)) << n;
    EXPECT_EQ(Text(w, IDC_cmdStart), L"&Start");
    EXPECT_EQ(UndoFiles().size(), 2u);
}

TEST_F(RegScanTest, AutoScanStartsOnceAndALaterActivationNeverRemoves) {
    PlantUninstall({L"Alt1"});
    Setting(L"AutoScan", L"1");
    frmRegScan& w = Open();
    ASSERT_TRUE(WaitFor([&] { return Text(w, IDC_cmdStart) == L"&Entfernen"; }));
    ASSERT_EQ(List(w).Count(), 1);

    // Another child takes the focus, then the scan window is activated again.
    WNDCLASSW wc{};
    wc.lpfnWndProc = DefMDIChildProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"RegScanTestChild";
    RegisterClassW(&wc);
    HWND other = CreateMDIWindowW(L"RegScanTestChild", L"Andere", WS_CHILD | WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200,
                                  100, frame->MdiClient(), GetModuleHandleW(nullptr), 0);
    ASSERT_TRUE(other);
    EXPECT_TRUE(WaitFor([&] { return ActiveChild() == other; }));
    // The activation's own step is a posted message: handled once the queue is empty.
    w.ShowChild();
    EXPECT_TRUE(WaitFor([&] { return ActiveChild() == w.Frame(); }));
    PumpPending();
    EXPECT_TRUE(Exists(HKEY_CURRENT_USER, kUninstall + L"Alt1"));
    EXPECT_TRUE(UndoFiles().empty());
    EXPECT_EQ(Text(w, IDC_cmdStart), L"&Entfernen");
    EXPECT_EQ(List(w).Count(), 1);

    // After a removal by hand, activations start no new scan either.
    Click(w, IDC_cmdStart);
    ASSERT_EQ(UndoFiles().size(), 1u);
    const std::wstring report = Text(w, IDC_lblScanBericht);
    SendMessageW(frame->MdiClient(), WM_MDIACTIVATE, reinterpret_cast<WPARAM>(other), 0);
    w.ShowChild();
    EXPECT_TRUE(WaitFor([&] { return ActiveChild() == w.Frame(); }));
    PumpPending();
    EXPECT_EQ(Text(w, IDC_lblScanBericht), report);
    EXPECT_EQ(Text(w, IDC_cmdStart), L"&Start");
    DestroyWindow(other);
}

TEST_F(RegScanTest, AutoEntfernenWithRestartAsksFirstAndClosesTheProgram) {
    PlantUninstall({L"Alt1", L"Alt2"});
    Setting(L"AutoEntfernen", L"1");
    Setting(L"RebootAfterDelete", L"1");
    frmRegScan& w = Open();
    AutoAnswer no(L"Torvane", IDNO);
    w.cmdStart_Click();  // the window is gone afterwards
    EXPECT_TRUE(no.Wait());
    EXPECT_NE(no.Text().find(L"neu gestartet"), std::wstring::npos) << no.Text();
    EXPECT_EQ(UndoFiles().size(), 1u);
    EXPECT_FALSE(Exists(HKEY_CURRENT_USER, kUninstall + L"Alt1"));
    EXPECT_FALSE(Exists(HKEY_CURRENT_USER, kUninstall + L"Alt2"));
    EXPECT_EQ(exitCode, 0);
    EXPECT_FALSE(WindowHandler().IsLoaded(WindowNo::RegScan));
    EXPECT_FALSE(WindowHandler().IsLoaded(WindowNo::MDI));
}

TEST_F(RegScanTest, AutoEntfernenWithoutProblemsWritesNoFileAndAutoCloseEndsTheProgram) {
    Setting(L"AutoEntfernen", L"1");
    frmRegScan& w = Open();
    w.cmdStart_Click();
    EXPECT_TRUE(UndoFiles().empty());
    EXPECT_EQ(exitCode, -1);  // without AutoClose the window stays, idle
    EXPECT_EQ(Text(w, IDC_cmdStart), L"&Start");
    EXPECT_TRUE(MenuOn(IDM_mnuRegScanStart));

    Setting(L"AutoClose", L"1");
    w.cmdStart_Click();
    EXPECT_TRUE(UndoFiles().empty());
    EXPECT_EQ(exitCode, 0);
    EXPECT_FALSE(WindowHandler().IsLoaded(WindowNo::MDI));
}

TEST_F(RegScanTest, UnknownDriveIsAskedAboutWithYesAndNo) {
    const std::wstring cls = kClsid + L"{C3C3C3C3-0000-0000-0000-000000000000}";
    PutSz(HKEY_CURRENT_USER, cls + L"\\InprocServer32", L"", L"Q:\\Programme\\weg.dll");
    frmRegScan& w = Open();
    {
        AutoAnswer no(L"Torvane", IDNO);
        Click(w, IDC_cmdStart);
        ASSERT_TRUE(no.Wait());
        EXPECT_NE(no.Text().find(L"Q:\\"), std::wstring::npos) << no.Text();
    }
    EXPECT_EQ(List(w).Count(), 0);
    // The answer holds for one scan only: the next one asks again.
    AutoAnswer yes(L"Torvane", IDYES);
    Click(w, IDC_cmdStart);
    EXPECT_TRUE(yes.Wait());
    EXPECT_GT(List(w).Count(), 0);
    EXPECT_EQ(Text(w, IDC_cmdStart), L"&Entfernen");
}

TEST_F(RegScanTest, RemovalWithoutUndoFileSaysSoAndKeepsEverything) {
    PlantUninstall({L"Alt1"});
    frmRegScan& w = Open();
    Click(w, IDC_cmdStart);
    ASSERT_EQ(List(w).Count(), 1);
    folder.Write(L"blockiert", "x");
    AppEnvironment.BackupDir = folder.Path() + L"blockiert\\Backup\\";
    AutoAnswer ok(L"Torvane", IDOK);
    Click(w, IDC_cmdStart);
    EXPECT_TRUE(ok.Wait());
    EXPECT_NE(ok.Text().find(L"Es wurde nichts entfernt."), std::wstring::npos) << ok.Text();
    EXPECT_TRUE(Exists(HKEY_CURRENT_USER, kUninstall + L"Alt1"));
    EXPECT_EQ(List(w).Count(), 1);
    EXPECT_EQ(Text(w, IDC_cmdStart), L"&Entfernen");
    EXPECT_NE(Text(w, IDC_lblScanBericht).find(L"nicht"), std::wstring::npos);
}

TEST_F(RegScanTest, ChildWindowsStayWhileAScanRunsAndClosingDuringAScanIsSafe) {
    PlantUninstall({L"Alt1", L"Alt2"});
    frmRegScan& w = Open();
    // While a scan or search runs, the frame shows no other child (here: not even the scan window anew).
    w.CloseChild();
    PumpPending();
    ClassHandler().Search().ScanRun = true;
    frame->Command(IDM_mnuRegScanShow);
    EXPECT_FALSE(WindowHandler().IsLoaded(WindowNo::RegScan));
    ClassHandler().Search().ScanRun = false;
    frame->Command(IDM_mnuRegScanShow);
    ASSERT_TRUE(WindowHandler().IsLoaded(WindowNo::RegScan));

    // The scan window closed by its close box in the middle of a scan: the scan stops.
    frmRegScan& v = WindowHandler().Get<frmRegScan>();
    PostMessageW(v.Frame(), WM_CLOSE, 0, 0);
    v.cmdStart_Click();
    EXPECT_FALSE(ClassHandler().Search().ScanRun);
    EXPECT_FALSE(v.Loaded());
    EXPECT_TRUE(Exists(HKEY_CURRENT_USER, kUninstall + L"Alt1"));

    // The whole program closed in the middle of a scan: the window object goes while its scan runs.
    frmRegScan& u = WindowHandler().Get<frmRegScan>();
    u.ShowChild();
    PostMessageW(frame->hwnd(), WM_CLOSE, 0, 0);
    u.cmdStart_Click();
    EXPECT_EQ(exitCode, 0);
    EXPECT_FALSE(WindowHandler().IsLoaded(WindowNo::RegScan));
    EXPECT_FALSE(ClassHandler().Search().ScanRun);
    EXPECT_TRUE(UndoFiles().empty());
}

TEST_F(RegScanTest, TrayStartOpensTheScanWindowAndScansAndPopUpChoicesReachIt) {
    PlantUninstall({L"Alt1", L"Alt2"});
    Open();
    WindowHandler().CloseWindow(WindowNo::RegScan);
    PumpPending();
    ASSERT_FALSE(WindowHandler().IsLoaded(WindowNo::RegScan));
    // Commands of a window that is not open open nothing.
    frame->Command(IDM_mnuRegScanStart);
    EXPECT_FALSE(WindowHandler().IsLoaded(WindowNo::RegScan));

    // From idle the tray's "Scan starten" shows the window and starts a scan.
    frame->Command(IDM_mnuPopUpStartScan);
    ASSERT_TRUE(WindowHandler().IsLoaded(WindowNo::RegScan));
    frmRegScan& w = WindowHandler().Get<frmRegScan>();
    EXPECT_TRUE(IsWindowVisible(w.Frame()));
    EXPECT_EQ(Text(w, IDC_cmdStart), L"&Entfernen");
    EXPECT_EQ(List(w).Count(), 2);

    // A choice of the list's pop-up menu arrives at the frame as WM_COMMAND and reaches the window.
    SendMessageW(frame->hwnd(), WM_COMMAND, MAKEWPARAM(IDM_mnuRegScanAll, 0), 0);
    EXPECT_EQ(List(w).Count(), 0);
    EXPECT_FALSE(Exists(HKEY_CURRENT_USER, kUninstall + L"Alt1"));
    EXPECT_EQ(UndoFiles().size(), 1u);
}

namespace {
std::wstring Caption(HWND list, int column) { return ListView(list).Caption(column); }
int RowOf(const ListView& list, const std::wstring& item) {
    for (int i = 0; i < list.Count(); ++i)
        if (list.Cell(i, 0) == item) return i;
    return -1;
}
}  // namespace

TEST_F(RegScanTest, ReasonColumnInfoTipAndColumnWidthsThatAreKept) {
    PlantUninstall({L"Alt1"});
    const std::wstring cls = kClsid + L"{D4D4D4D4-0000-0000-0000-000000000000}";
    PutDword(HKEY_CURRENT_USER, cls, L"Zahl", 258);
    const BYTE beef[4] = {0xde, 0xad, 0xbe, 0xef};
    Put(HKEY_CURRENT_USER, cls, L"Bytes", REG_BINARY, beef, 4);
    PutSz(HKEY_CURRENT_USER, cls + L"\\InprocServer32", L"", folder.Path() + L"fehlt\\weg.dll");
    frmRegScan& w = Open();
    const ListView list = ScanAndShowList(w);
    ASSERT_EQ(list.Count(), 4);
    EXPECT_EQ(Caption(list, 4), L"Grund");
    const int alt = RowOf(list, L"[HKEY_CURRENT_USER\\" + kUninstall + L"Alt1]");
    const int server = RowOf(list, L"[HKEY_CURRENT_USER\\" + cls + L"\\InprocServer32]");
    ASSERT_GE(alt, 0);
    ASSERT_GE(server, 0);
    EXPECT_EQ(list.Cell(alt, 4), L"Deinstallationseintrag ohne Programm");
    EXPECT_EQ(list.Cell(server, 4), L"Datei fehlt");
    // The rows of one registration stand together under its name and reason, where the list can
    // show groups (Wine's list cannot: there it stays as it is, every row in it).
    if (ListView_IsGroupViewEnabled(list)) {
        EXPECT_EQ(ListView_GetGroupCount(list), 2);
        auto groupOf = [&](int row) {
            LVITEMW it{};
            it.mask = LVIF_GROUPID;
            it.iItem = row;
            ListView_GetItem(list, &it);
            return it.iGroupId;
        };
        for (int i = 0; i < list.Count(); ++i)
            if (list.Cell(i, 0).find(L"{D4D4D4D4") != std::wstring::npos) EXPECT_EQ(groupOf(i), groupOf(server)) << i;
        EXPECT_NE(groupOf(alt), groupOf(server));
        wchar_t header[512] = L"";
        LVGROUP g{};
        g.cbSize = sizeof g;
        g.mask = LVGF_HEADER;
        g.pszHeader = header;
        g.cchHeader = 512;
        ListView_GetGroupInfo(list, groupOf(server), &g);
        EXPECT_EQ(std::wstring(header), L"HKEY_CURRENT_USER\\" + cls + L": Datei fehlt");
    }
    // The evidence beside the finding: what was looked for.
    EXPECT_EQ(Caption(list, 5), L"Gesucht");
    EXPECT_EQ(ToLower(list.Cell(server, 5)), ToLower(folder.Path() + L"fehlt\\weg.dll"));
    EXPECT_EQ(list.Cell(alt, 5), L"");
    std::map<std::wstring, std::wstring> values;
    for (int i = 0; i < list.Count(); ++i) values[list.Cell(i, 1)] = list.Cell(i, 2);
    EXPECT_EQ(values[L"\"Zahl\""], L"0x00000102 (258)");
    EXPECT_EQ(values[L"\"Bytes\""], L"de ad be ef");

    // The tip names the whole key and the file that was looked for.
    wchar_t buf[INFOTIPSIZE] = L"";
    NMLVGETINFOTIPW tip{};
    tip.hdr.code = LVN_GETINFOTIPW;
    tip.pszText = buf;
    tip.cchTextMax = INFOTIPSIZE;
    tip.iItem = server;
    SendNotify(w, tip.hdr);
    EXPECT_EQ(std::wstring(buf), L"[HKEY_CURRENT_USER\\" + cls + L"\\InprocServer32]\r\nDatei fehlt: " +
                                     ToLower(folder.Path()) + L"fehlt\\weg.dll");

    // The new column sorts as the others do.
    ClickColumn(w, 4);
    EXPECT_EQ(Column(w, 4).front(), L"Deinstallationseintrag ohne Programm");
    ClickColumn(w, 4);
    EXPECT_EQ(Column(w, 4).front(), L"Datei fehlt");
    EXPECT_EQ(Column(w, 4).back(), L"Deinstallationseintrag ohne Programm");
    ShowState("grund");

    // Widths the user gave the columns come back when the window opens again.
    ListView_SetColumnWidth(list, 0, 123);
    ListView_SetColumnWidth(list, 4, 77);
    WindowHandler().CloseWindow(WindowNo::RegScan);
    PumpPending();
    EXPECT_EQ(ClassHandler().KeyFunc().GetSetting(L"Screen", L"RegScanSpalte1", L""), L"123");
    EXPECT_EQ(ClassHandler().KeyFunc().GetSetting(L"Screen", L"RegScanSpalte5", L""), L"77");
    EXPECT_EQ(ClassHandler().KeyFunc().GetSetting(L"Screen", L"RegScanSpalte3", L"nicht gespeichert"), L"nicht gespeichert");
    // A width that is no number is passed over.
    ClassHandler().KeyFunc().SaveSetting(L"Screen", L"RegScanSpalte2", L"breit");
    frame->Command(IDM_mnuRegScanShow);
    ASSERT_TRUE(WindowHandler().IsLoaded(WindowNo::RegScan));
    const ListView again = List(WindowHandler().Get<frmRegScan>());
    EXPECT_EQ(ListView_GetColumnWidth(again, 0), 123);
    EXPECT_EQ(ListView_GetColumnWidth(again, 4), 77);
    // ... as if there were none.
    const int passedOver = ListView_GetColumnWidth(again, 1);
    WindowHandler().CloseWindow(WindowNo::RegScan);
    PumpPending();
    RegDeleteKeyValueW(HKEY_CURRENT_USER, L"Software\\Torvane\\Screen", L"RegScanSpalte2");
    ClassHandler().KeyFunc().SaveSetting(L"Screen", L"RegScanSpalte2", L"");
    frame->Command(IDM_mnuRegScanShow);
    ASSERT_TRUE(WindowHandler().IsLoaded(WindowNo::RegScan));
    EXPECT_EQ(ListView_GetColumnWidth(List(WindowHandler().Get<frmRegScan>()), 1), passedOver);
}

TEST_F(RegScanTest, IgnoredRowsLeaveTheListForGoodAndTheListIsSavedAsTextAndJson) {
    const std::wstring a = kClsid + L"{A}", ab = kClsid + L"{AB}";
    for (const std::wstring& cls : {a, ab}) {
        PutSz(HKEY_LOCAL_MACHINE, cls, L"", L"Klasse");
        PutSz(HKEY_LOCAL_MACHINE, cls + L"\\InprocServer32", L"", folder.Path() + L"fehlt\\weg.dll");
    }
    frmRegScan& w = Open();
    const ListView list = ScanAndShowList(w);
    ASSERT_EQ(list.Count(), 4);
    EXPECT_TRUE(MenuOn(IDM_mnuRegScanIgnore));
    EXPECT_TRUE(MenuOn(IDM_mnuRegScanSave));
    EXPECT_EQ(MenuItem::Caption(frame->MenuBar(), IDM_mnuRegScanIgnore), L"Eintrag immer ignorieren");
    EXPECT_EQ(MenuItem::Caption(frame->MenuBar(), IDM_mnuRegScanSave), L"Ergebnis speichern...");

    // The class key chosen: it and its sub-key go, the class with the longer name stays.
    const std::wstring itemA = L"[HKEY_LOCAL_MACHINE\\" + a + L"]";
    ASSERT_GE(RowOf(list, itemA), 0);
    list.Select(RowOf(list, itemA));
    frame->Command(IDM_mnuRegScanIgnore);
    EXPECT_EQ(Column(w, 0).size(), 2u);
    EXPECT_EQ(RowOf(list, L"[HKEY_LOCAL_MACHINE\\" + a + L"\\InprocServer32]"), -1);
    EXPECT_GE(RowOf(list, L"[HKEY_LOCAL_MACHINE\\" + ab + L"]"), 0);
    EXPECT_EQ(ClassHandler().KeyFunc().GetSetting(L"Ausnahmen", itemA, L""), itemA);
    EXPECT_EQ(Panel(2), L"Gefundene Fehler: 2");
    EXPECT_EQ(w.Engine().Rows().size(), 2u);

    // Saved as text: a header line, then the rows as listed.
    const std::wstring txt = folder.Path() + L"Ergebnis.txt";
    ASSERT_TRUE(w.SaveResult(txt, false));
    const std::string bytes = ReadBytes(txt);
    ASSERT_GT(bytes.size(), 3u);
    EXPECT_EQ(bytes.substr(0, 3), "\xEF\xBB\xBF");
    const std::wstring text = FromUtf8(bytes.substr(3));
    std::wstring expected = L"Registryschlüssel\tVariable\tWert\tHKey\tGrund\tGesucht\r\n";
    for (int i = 0; i < list.Count(); ++i)
        expected += list.Cell(i, 0) + L"\t" + list.Cell(i, 1) + L"\t" + list.Cell(i, 2) + L"\t" + list.Cell(i, 3) +
                    L"\tDatei fehlt\t" + list.Cell(i, 5) + L"\r\n";
    EXPECT_EQ(text, expected);
    // Saved as JSON: the console scan's document.
    const std::wstring json = folder.Path() + L"Ergebnis.json";
    ASSERT_TRUE(w.SaveResult(json, true));
    const std::wstring doc = FromUtf8(ReadBytes(json));
    EXPECT_EQ(doc.rfind(L"{\n  \"rows\": [\n    {\"item\": \"[HKEY_LOCAL_MACHINE\\\\Software\\\\Classes\\\\CLSID\\\\{AB}", 0), 0u)
        << doc;
    EXPECT_NE(doc.find(L"\"errors\": 2,"), std::wstring::npos) << doc;
    EXPECT_EQ(doc.find(L"{A}"), std::wstring::npos) << doc;
    // A file that cannot be written is told, never passed over.
    {
        AutoAnswer ok(L"Torvane", IDOK);
        EXPECT_FALSE(w.SaveResult(folder.Path() + L"gibt es nicht\\Ergebnis.txt", false));
        ASSERT_TRUE(ok.Wait());
        EXPECT_NE(ok.Text().find(L"konnte nicht"), std::wstring::npos) << ok.Text();
    }

    // A new scan leaves the excluded key out from the start.
    frame->Command(IDM_mnuRegScanAbbrechen);
    Click(w, IDC_cmdStart);
    EXPECT_EQ(List(w).Count(), 2);
    // The last rows ignored: the window is idle again.
    Click(w, IDC_chbRegKeysShow);
    list.Select(0);
    list.Select(1);
    frame->Command(IDM_mnuRegScanIgnore);
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(Text(w, IDC_cmdStart), L"&Start");
    EXPECT_FALSE(MenuOn(IDM_mnuRegScanSave));
    EXPECT_FALSE(MenuOn(IDM_mnuRegScanIgnore));
    EXPECT_TRUE(MenuOn(IDM_mnuRegScanStart));
    EXPECT_TRUE(Exists(HKEY_LOCAL_MACHINE, ab));  // ignoring deletes nothing
}
