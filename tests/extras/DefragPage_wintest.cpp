// tests/extras/DefragPage_wintest.cpp
#include "core/AppEnvironment.h"
#include "core/Text.h"
#include "core/win/Menu.h"
#include "errors/clsError.h"
#include "extras/AutorunPage.rh"
#include "extras/DefragPage.h"
#include "extras/DefragPage.rh"
#include "extras/ExtrasMenu.h"
#include "extras/ExtrasTest.h"
#include "extras/FileTypesPage.rh"
#include "extras/HistoryPage.rh"
#include "extras/PageHost.h"
#include "extras/RegistryCompaction.h"
#include "registry/RegKey.h"
#include "registry/clsKeyFunc.h"
#include "scan/ScanTestRegistry.h"
#include "support/MessageBoxes.h"
#include "support/Sandbox.h"
#include "main/frmMDI.rh"
#include <gtest/gtest.h>
#include <cwctype>
#include <map>

namespace {
using RegistryCompaction::Hive;

const std::wstring kQuestion =
    L"Zum Defragmentieren der Registry ist ein Neustart notwendig.\r\n"
    L"Sollte der Rechner nicht neu booten, drücken Sie die Reset-Taste\r\n"
    L"oder die Tastenkombination Alt + Strg + Entf.\r\n\r\nWollen Sie den Rechner jetzt neu starten?";
const std::wstring kNotPrepared =
    L"Die Registry wird nur zusammen mit einem Neustart defragmentiert, den Sie bestätigen.\r\n"
    L"Es wurde nichts vorbereitet.";
const std::wstring kSessionManager = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager";

void WriteBytes(const std::wstring& path, const std::string& bytes) {
    HANDLE f = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD n = 0;
    ::WriteFile(f, bytes.data(), static_cast<DWORD>(bytes.size()), &n, nullptr);
    CloseHandle(f);
}

bool UnderWine() { return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr; }

// The system as far as the compaction sees it: one hive whose file lies in a private folder, copies
// in the system's format, a replacement that renames the files as Windows does, a clock of starts,
// the shutdown order and a restart that only counts.
struct FakeSystem {
    RegistryCompaction::Platform saved = RegistryCompaction::System();
    long long boot = 1700000000, now = 1700003600;
    int restarts = 0, saves = 0, replaces = 0;
    bool restartAccepted = true;
    unsigned long level = RegistryCompaction::kLevelDefault;
    std::wstring hiveFile;

    explicit FakeSystem(const TempFolder& folder) {
        hiveFile = folder.Write(L"config\\SOFTWARE", std::string(3 * 104858, 'x'));  // 0,3 MB
        RegistryCompaction::Platform& p = RegistryCompaction::System();
        p.hives = [this] {
            return std::vector<Hive>{{kHKLM, L"SOFTWARE", L"HKEY_LOCAL_MACHINE\\SOFTWARE", L"SOFTWARE", hiveFile}};
        };
        p.saveCopy = [this](const Hive&, const std::wstring& copy) {
            ++saves;
            WriteBytes(copy, "regf" + std::string(104858, '\0'));  // 0,1 MB
            return 0L;
        };
        p.replace = [this](const Hive& h, const std::wstring& newFile, const std::wstring& oldFile) {
            ++replaces;
            MoveFileW(h.file.c_str(), oldFile.c_str());
            MoveFileW(newFile.c_str(), h.file.c_str());
            return 0L;
        };
        p.privileges = [](std::wstring&) { return true; };
        p.freeBytes = [](const std::wstring&) { return 1ull << 40; };
        p.bootTime = [this] { return boot; };
        p.now = [this] { return now; };
        p.shutdownLevel = [this](unsigned long l) { level = l; };
        p.restart = [this] {
            ++restarts;
            return restartAccepted;
        };
    }
    ~FakeSystem() {
        RegistryCompaction::SetMode(L"-n");
        RegistryCompaction::System() = saved;
    }
};

// What the hidden window hears when the session ends; `ending` false: the end was called off.
void EndSession(bool ending, LPARAM flags = 0) {
    HWND w = RegistryCompaction::WatchWindow();
    ASSERT_TRUE(w);
    EXPECT_EQ(SendMessageW(w, WM_QUERYENDSESSION, 0, flags), TRUE);
    SendMessageW(w, WM_ENDSESSION, ending, flags);
}

std::wstring LogText() { return FromAnsi(ReadBytes(clsError::LogPath())); }

struct Defrag : ::testing::Test {
    RegistrySandbox sandbox;
    TempFolder folder;
    DefragPage page;
    std::unique_ptr<FakeSystem> sys;

    void SetUp() override {
        PrepareEnvironment(folder.Path());
        AppEnvironment.WinDir = folder.Path() + L"Windows\\";
        AppSwitches.Protokoll = 1;
        sys = std::make_unique<FakeSystem>(folder);
    }
    void TearDown() override { sys.reset(); }
    void Apply(const std::wstring& mode) {
        page.Choose(mode);
        SendMessageW(page.hwnd(), WM_COMMAND, MAKEWPARAM(IDC_cmdRegistryDefrag, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(page.hwnd(), IDC_cmdRegistryDefrag)));
    }
    std::vector<std::wstring> ApplyAnswering(const std::wstring& mode, int answer) {
        MessageBoxes boxes(AppEnvironment.AppTitle, {answer});
        Apply(mode);
        return boxes.Texts();
    }
    void AutoRestart(bool on) { CheckDlgButton(page.hwnd(), IDC_ckbRegistryDefragAutoStart, on ? BST_CHECKED : BST_UNCHECKED); }
    // Any file of a copy left beside the program or in the temporary folder.
    bool CopiesLeft() {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        for (const std::wstring& pattern : {RegistryCompaction::Folder() + L"*.kompakt", std::wstring(temp) + L"Torvane-*.groesse"}) {
            WIN32_FIND_DATAW fd;
            HANDLE h = FindFirstFileW(pattern.c_str(), &fd);
            if (h != INVALID_HANDLE_VALUE) {
                FindClose(h);
                return true;
            }
        }
        return false;
    }
};
}  // namespace

TEST_F(Defrag, ARestartConfirmedNowTakesTheCopiesOnlyWhenTheSessionEnds) {
    PageHost host(page);
    // Neither extras sub-menu belongs to this page.
    HMENU extra = ExtraScanMenu();
    ASSERT_TRUE(extra);
    EXPECT_FALSE(MenuItem::PopupEnabled(extra, kMenuExtraScanFileExt));
    EXPECT_FALSE(MenuItem::PopupEnabled(extra, kMenuExtraScanAutostart));
    EXPECT_EQ(page.ChosenMode(), L"-n");
    EXPECT_FALSE(page.StartedVisible());
    // The size a compaction reaches is measured with a copy that is deleted again.
    ASSERT_EQ(page.Files().Count(), 1);
    EXPECT_EQ(page.Files().Cell(0, 0), L"HKEY_LOCAL_MACHINE\\SOFTWARE");
    EXPECT_EQ(page.Files().Cell(0, 1), RegistryCompaction::SizeText(3 * 104858));
    EXPECT_EQ(page.Files().Cell(0, 2), RegistryCompaction::SizeText(104862));
    EXPECT_EQ(sys->saves, 1);
    EXPECT_FALSE(CopiesLeft());
    EXPECT_FALSE(RegistryCompaction::WatchWindow());

    // The restart declined: "once" belongs to a restart confirmed now, so nothing is prepared.
    EXPECT_EQ(ApplyAnswering(L"-o", IDNO), (std::vector<std::wstring>{kQuestion, kNotPrepared}));
    EXPECT_EQ(sys->restarts, 0);
    EXPECT_EQ(RegistryCompaction::DfrgType(), L"-n");
    EXPECT_EQ(page.ChosenMode(), L"-n");
    EXPECT_FALSE(page.StartedVisible());
    EXPECT_FALSE(RegistryCompaction::WatchWindow());
    EXPECT_EQ(sys->level, RegistryCompaction::kLevelDefault);

    // Confirmed: the restart is asked for, but nothing is copied while the system runs on.
    EXPECT_EQ(ApplyAnswering(L"-o", IDYES), std::vector<std::wstring>{kQuestion});
    EXPECT_EQ(sys->restarts, 1);
    EXPECT_EQ(sys->saves, 3);  // two measurements
    EXPECT_EQ(sys->replaces, 0);
    EXPECT_FALSE(CopiesLeft());
    EXPECT_EQ(sys->level, RegistryCompaction::kLevelLast);
    EXPECT_EQ(RegistryCompaction::DfrgType(), L"-o");
    EXPECT_TRUE(page.StartedVisible());

    // Another program called the restart off: the wish went with it.
    EndSession(false);
    EXPECT_EQ(sys->saves, 3);
    EXPECT_EQ(RegistryCompaction::DfrgType(), L"-n");

    // Confirmed, but the restart was called off without a word to this program: a session that
    // ends much later ends in another restart or shutdown, and takes no copy.
    AutoRestart(true);
    EXPECT_TRUE(ApplyAnswering(L"-o", IDNO).empty());  // restart ticked: no question
    EXPECT_EQ(sys->restarts, 2);
    sys->now += RegistryCompaction::kOwnRestart + 1;
    EndSession(true);
    EXPECT_EQ(sys->saves, 4);
    EXPECT_EQ(sys->replaces, 0);
    EXPECT_EQ(RegistryCompaction::DfrgType(), L"-n");

    // Confirmed again, and this time the session ends: now the copy is taken and armed.
    EXPECT_TRUE(ApplyAnswering(L"-o", IDNO).empty());
    EXPECT_EQ(sys->restarts, 3);
    EXPECT_EQ(sys->replaces, 0);
    sys->now += RegistryCompaction::kOwnRestart - 1;
    EndSession(true);
    EXPECT_EQ(sys->saves, 6);
    EXPECT_EQ(sys->replaces, 1);
    EXPECT_TRUE(FileExists(RegistryCompaction::Folder() + L"SOFTWARE.alt"));
    EXPECT_EQ(ReadBytes(sys->hiveFile).substr(0, 4), "regf");
    // Still the same start of the system: nothing to report yet.
    EXPECT_EQ(RegistryCompaction::AtStart(), L"");

    // After the restart the system runs on the copy; that is said once.
    sys->boot += 3600;
    const std::wstring report = RegistryCompaction::AtStart();
    EXPECT_NE(report.find(L"Die Registry wurde beim letzten Windows-Start defragmentiert:\r\nHKEY_LOCAL_MACHINE\\SOFTWARE: "
                          L"defragmentiert (vorher " + RegistryCompaction::SizeText(3 * 104858) + L", jetzt " +
                          RegistryCompaction::SizeText(104862) + L")"),
              std::wstring::npos)
        << ToUtf8(report);
    EXPECT_EQ(RegistryCompaction::AtStart(), L"");
    page.PageActivate();
    EXPECT_NE(page.ResultText().find(report), std::wstring::npos) << ToUtf8(page.ResultText());
}

TEST_F(Defrag, EveryRestartOrShutdownWhileTheProgramRunsButNoLogOffAndNoFastStartup) {
    PageHost host(page);
    // Declining the restart keeps "every start": it waits for the end of the session.
    EXPECT_EQ(ApplyAnswering(L"-e", IDNO), std::vector<std::wstring>{kQuestion});
    EXPECT_EQ(sys->restarts, 0);
    EXPECT_EQ(RegistryCompaction::DfrgType(), L"-e");
    EXPECT_EQ(page.ChosenMode(), L"-e");
    EXPECT_TRUE(page.StartedVisible());
    EXPECT_EQ(page.ResultText().rfind(L"Die Registry wird bei jedem Neustart und jedem Herunterfahren defragmentiert", 0), 0u)
        << ToUtf8(page.ResultText());
    EXPECT_EQ(sys->level, RegistryCompaction::kLevelLast);
    const int measured = sys->saves;

    // A log-off is no restart: the running registry stays in use.
    EndSession(true, ENDSESSION_LOGOFF);
    EXPECT_EQ(sys->saves, measured);
    // A restart or shutdown the user started elsewhere.
    EndSession(true);
    EXPECT_EQ(sys->saves, measured + 1);
    EXPECT_EQ(sys->replaces, 1);

    // The program's next start after that: the report, and "every start" is watched for again.
    sys->boot += 3600;
    EXPECT_NE(RegistryCompaction::AtStart().find(L"SOFTWARE: defragmentiert"), std::wstring::npos);
    EXPECT_TRUE(RegistryCompaction::WatchWindow());
    EXPECT_EQ(RegistryCompaction::DfrgType(), L"-e");

    // Fast startup on: a shutdown would keep the running registry, so one the user started arms nothing ...
    PutDword(HKEY_LOCAL_MACHINE, kSessionManager + L"\\Power", L"HiberbootEnabled", 1);
    page.PageActivate();
    EXPECT_NE(page.ResultText().find(L"Der Windows-Schnellstart ist eingeschaltet"), std::wstring::npos);
    EndSession(true);
    EXPECT_EQ(sys->replaces, 1);
    EXPECT_NE(LogText().find(L"Registry nicht defragmentiert: Der Windows-Schnellstart"), std::wstring::npos);
    // ... but the restart confirmed here does.
    AutoRestart(true);
    EXPECT_TRUE(ApplyAnswering(L"-e", IDNO).empty());
    EXPECT_EQ(sys->restarts, 1);
    EndSession(true);
    EXPECT_EQ(sys->replaces, 2);

    // Switched off: no question, nothing watched, the shutdown order as before.
    EXPECT_TRUE(ApplyAnswering(L"-n", IDNO).empty());
    EXPECT_EQ(RegistryCompaction::DfrgType(), L"-n");
    EXPECT_FALSE(RegistryCompaction::WatchWindow());
    EXPECT_EQ(sys->level, RegistryCompaction::kLevelDefault);
    EXPECT_FALSE(page.StartedVisible());
    EXPECT_EQ(sys->restarts, 1);
}

TEST_F(Defrag, NothingIsArmedWhileWindowsWaitsForARestartOfItsOwn) {
    PageHost host(page);
    EXPECT_EQ(ApplyAnswering(L"-e", IDNO), std::vector<std::wstring>{kQuestion});
    const HKEY hklm = HKEY_LOCAL_MACHINE;
    const std::wstring cbs = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Component Based Servicing\\RebootPending",
                       wu = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\WindowsUpdate\\Auto Update\\RebootRequired",
                       pendingXml = AppEnvironment.WinDir + L"WinSxS\\pending.xml";
    const wchar_t renames[] = L"\\??\\C:\\alt.dll\0\0";
    struct Case {
        const wchar_t* reason;
        std::function<void()> set, clear;
    };
    const Case cases[] = {
        {L"(RebootPending)", [&] { PutKey(hklm, cbs); }, [&] { RegDeleteTreeW(hklm, cbs.c_str()); }},
        {L"(RebootRequired)", [&] { PutKey(hklm, wu); }, [&] { RegDeleteTreeW(hklm, wu.c_str()); }},
        {L"(PendingFileRenameOperations)",
         [&] { Put(hklm, kSessionManager, L"PendingFileRenameOperations", REG_MULTI_SZ, renames, sizeof renames); },
         [&] { RegDeleteKeyValueW(hklm, kSessionManager.c_str(), L"PendingFileRenameOperations"); }},
        {L"(WinSxS\\pending.xml)", [&] { folder.Write(L"Windows\\WinSxS\\pending.xml", "<xml/>"); },
         [&] { DeleteFileW(pendingXml.c_str()); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(ToUtf8(c.reason));
        c.set();
        page.PageActivate();
        EXPECT_FALSE(page.StartedVisible());
        EXPECT_NE(page.ResultText().find(c.reason), std::wstring::npos) << ToUtf8(page.ResultText());
        // A restart confirmed now is refused with the reason ...
        const std::vector<std::wstring> texts = ApplyAnswering(L"-o", IDOK);
        ASSERT_EQ(texts.size(), 1u);
        EXPECT_EQ(texts[0].rfind(L"Windows wartet auf einen Neustart für:\r\n– ", 0), 0u) << ToUtf8(texts[0]);
        EXPECT_NE(texts[0].find(c.reason), std::wstring::npos) << ToUtf8(texts[0]);
        EXPECT_NE(texts[0].find(L"Es wurde nichts geändert."), std::wstring::npos);
        EXPECT_EQ(sys->restarts, 0);
        EXPECT_EQ(RegistryCompaction::DfrgType(), L"-e");
        // ... and at the end of the session "every start" takes no copy.
        const int saves = sys->saves;
        EndSession(true);
        EXPECT_EQ(sys->saves, saves);
        EXPECT_EQ(sys->replaces, 0);
        c.clear();
    }
    EXPECT_NE(LogText().find(L"Registry nicht defragmentiert: Windows wartet auf einen Neustart"), std::wstring::npos);
    // An empty list of renames is nothing pending.
    Put(hklm, kSessionManager, L"PendingFileRenameOperations", REG_MULTI_SZ, L"\0", 2 * sizeof(wchar_t));
    page.PageActivate();
    EXPECT_TRUE(page.StartedVisible());
    EndSession(true);
    EXPECT_EQ(sys->replaces, 1);
}

TEST_F(Defrag, WithoutRightsSpaceOrTheSystemsHelpNothingIsPrepared) {
    PageHost host(page);
    auto refused = [&](const wchar_t* part) {
        const std::vector<std::wstring> texts = ApplyAnswering(L"-o", IDOK);
        ASSERT_EQ(texts.size(), 1u);
        EXPECT_NE(texts[0].find(part), std::wstring::npos) << ToUtf8(texts[0]);
        EXPECT_NE(texts[0].find(L"Es wurde nichts geändert."), std::wstring::npos) << ToUtf8(texts[0]);
        EXPECT_EQ(RegistryCompaction::DfrgType(), L"-n");
        EXPECT_FALSE(page.StartedVisible());
        EXPECT_FALSE(RegistryCompaction::WatchWindow());
        EXPECT_FALSE(CopiesLeft());
        EXPECT_EQ(sys->replaces, 0);
        EXPECT_EQ(sys->restarts, 0);
    };
    RegistryCompaction::Platform& p = RegistryCompaction::System();
    p.privileges = [](std::wstring& why) {
        why = L"Zum Defragmentieren der Registry werden Administratorrechte benötigt.";
        return false;
    };
    refused(L"Administratorrechte benötigt.");
    // The page says it too, and shows no size it could not measure.
    EXPECT_NE(page.ResultText().find(L"Administratorrechte benötigt."), std::wstring::npos);
    EXPECT_EQ(page.Files().Cell(0, 2), L"unbekannt");
    p.privileges = [](std::wstring&) { return true; };

    p.freeBytes = [](const std::wstring&) { return 1ull << 20; };
    refused(L"freier Platz benötigt");
    p.freeBytes = [](const std::wstring&) { return 1ull << 40; };

    p.saveCopy = [](const Hive&, const std::wstring& copy) {
        WriteBytes(copy, "halb");
        return static_cast<long>(ERROR_ACCESS_DENIED);
    };
    refused(L"Von HKEY_LOCAL_MACHINE\\SOFTWARE konnte keine kompakte Kopie geschrieben werden");
    p.saveCopy = [](const Hive&, const std::wstring& copy) {
        WriteBytes(copy, "WINE REGISTRY Version 2\n");
        return 0L;
    };
    refused(L"wird auf diesem System nicht unterstützt");
    EXPECT_TRUE(FileExists(sys->hiveFile));
}

TEST_F(Defrag, ACopyThatFailsAtTheEndOfTheSessionLeavesNothingArmed) {
    PageHost host(page);
    EXPECT_EQ(ApplyAnswering(L"-e", IDNO), std::vector<std::wstring>{kQuestion});
    RegistryCompaction::Platform& p = RegistryCompaction::System();
    p.saveCopy = [](const Hive&, const std::wstring& copy) {
        WriteBytes(copy, "regf");
        return static_cast<long>(ERROR_DISK_FULL);
    };
    EndSession(true);
    p.replace = [](const Hive&, const std::wstring&, const std::wstring&) { return static_cast<long>(ERROR_ACCESS_DENIED); };
    p.saveCopy = [](const Hive&, const std::wstring& copy) {
        WriteBytes(copy, "regf");
        return 0L;
    };
    EndSession(true);
    EXPECT_FALSE(CopiesLeft());
    EXPECT_EQ(ReadBytes(sys->hiveFile).substr(0, 4), "xxxx");
    const std::wstring log = LogText();
    EXPECT_NE(log.find(L"konnte keine kompakte Kopie geschrieben werden"), std::wstring::npos);
    EXPECT_NE(log.find(L"Ersetzen der Registrierungsdateien abgelehnt"), std::wstring::npos);
    // Nothing recorded as armed: the next start has nothing to report.
    sys->boot += 3600;
    EXPECT_EQ(RegistryCompaction::AtStart(), L"");
}

TEST_F(Defrag, UnderWineTheSystemsOwnCopyIsNoHiveAndNothingIsPrepared) {
    if (!UnderWine()) GTEST_SKIP() << "only Wine writes its own registry format";
    // Everything real but the hive (a key of the sandbox) and the restart.
    RegistryCompaction::Platform& p = RegistryCompaction::System();
    p.privileges = sys->saved.privileges;
    p.hives = [] { return std::vector<Hive>{{kHKCU, L"Software\\Probe", L"HKEY_CURRENT_USER\\Software\\Probe", L"PROBE", L""}}; };
    long saveResult = -1;
    std::string head;
    p.saveCopy = [&](const Hive& h, const std::wstring& copy) {
        saveResult = sys->saved.saveCopy(h, copy);
        head = ReadBytes(copy).substr(0, 4);
        return saveResult;
    };
    PutSz(HKEY_CURRENT_USER, L"Software\\Probe", L"Wert", L"Daten");
    std::wstring why;
    EXPECT_TRUE(sys->saved.privileges(why)) << ToUtf8(why);  // Wine's user is an administrator
    PageHost host(page);
    EXPECT_EQ(saveResult, 0L);  // RegSaveKeyExW writes a file ...
    EXPECT_NE(head, "regf");    // ... but in Wine's own text format
    EXPECT_NE(page.ResultText().find(L"wird auf diesem System nicht unterstützt"), std::wstring::npos);
    EXPECT_EQ(page.Files().Cell(0, 2), L"unbekannt");
    const std::vector<std::wstring> texts = ApplyAnswering(L"-o", IDOK);
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_NE(texts[0].find(L"wird auf diesem System nicht unterstützt"), std::wstring::npos) << ToUtf8(texts[0]);
    EXPECT_EQ(sys->restarts, 0);
    EXPECT_FALSE(CopiesLeft());
    EXPECT_EQ(RegistryCompaction::DfrgType(), L"-n");
}

// Alt plus a letter reaches one control of a page, never two.
TEST(ExtrasPages, NoTwoControlsOfAPageShareAnAccessKey) {
    HWND host = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 800, 600, nullptr, nullptr, nullptr, nullptr);
    for (int id : {IDD_extrasAutorun, IDD_extrasHistory, IDD_extrasFileTypes, IDD_extrasDefrag}) {
        HWND page = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id), host,
                                       [](HWND, UINT, WPARAM, LPARAM) -> INT_PTR { return FALSE; }, 0);
        ASSERT_TRUE(page) << id;
        std::map<wchar_t, std::wstring> keys;
        for (HWND c = GetWindow(page, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
            wchar_t cls[16] = L"";
            GetClassNameW(c, cls, 16);
            // A label that shows "&" as it is has no access key.
            if (lstrcmpiW(cls, L"Static") == 0 && (GetWindowLongW(c, GWL_STYLE) & SS_NOPREFIX)) continue;
            wchar_t text[512] = L"";
            GetWindowTextW(c, text, 512);
            const std::wstring t = text;
            for (size_t i = 0; i + 1 < t.size(); ++i) {
                if (t[i] != L'&') continue;
                if (t[i + 1] == L'&') {
                    ++i;
                    continue;
                }
                const auto [it, added] = keys.emplace(std::towupper(t[i + 1]), t);
                EXPECT_TRUE(added) << id << ": \"" << ToUtf8(t) << "\" and \"" << ToUtf8(it->second) << "\"";
                break;
            }
        }
        DestroyWindow(page);
    }
    DestroyWindow(host);
}

// The menu item from another page of the extras window: the page "Defragmentieren" is shown with
// the mode the program is in, and nothing is applied; on that page it is "Übernehmen".
class DefragMenu : public ExtrasTest {};

TEST_F(DefragMenu, FromAnotherPageItShowsThePageAndAppliesNothing) {
    AppEnvironment.WinDir = folder.Path() + L"Windows\\";
    FakeSystem sys(folder);
    ClassHandler().KeyFunc().SaveSetting(L"Optionen\\ExtraScan", L"RegistryDefrag", L"-e");
    RegistryCompaction::AtStart();
    frmExtraScan& w = Open();
    ASSERT_EQ(w.CurrentPage(), 0);
    auto* defrag = w.Find<DefragPage>();
    ASSERT_TRUE(defrag);
    {
        MessageBoxes boxes(AppEnvironment.AppTitle, {IDNO});
        WindowHandler().Get<frmMDI>().Command(IDM_mnuExtraScanRegistryDefrag);
        EXPECT_EQ(&w.Page(w.CurrentPage()), defrag);
        EXPECT_TRUE(IsWindowVisible(defrag->hwnd()));
        EXPECT_TRUE(boxes.Texts().empty());
    }
    EXPECT_EQ(RegistryCompaction::DfrgType(), L"-e");
    EXPECT_EQ(defrag->ChosenMode(), L"-e");
    EXPECT_TRUE(RegistryCompaction::WatchWindow());
    EXPECT_EQ(sys.restarts, 0);
    // On its own page the item applies the chosen mode.
    MessageBoxes boxes(AppEnvironment.AppTitle, {IDNO});
    WindowHandler().Get<frmMDI>().Command(IDM_mnuExtraScanRegistryDefrag);
    EXPECT_EQ(boxes.Texts(), std::vector<std::wstring>{kQuestion});
    EXPECT_EQ(RegistryCompaction::DfrgType(), L"-e");
}
