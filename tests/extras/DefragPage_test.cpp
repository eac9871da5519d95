// tests/extras/DefragPage_test.cpp
#include "core/AppEnvironment.h"
#include "core/Text.h"
#include "core/modReboot.h"
#include "core/win/Menu.h"
#include "extras/DefragPage.h"
#include "extras/DefragPage.rh"
#include "extras/ExtrasMenu.h"
#include "extras/PageHost.h"
#include "extras/RegistryCompaction.h"
#include "registry/RegKey.h"
#include "scan/ScanTestRegistry.h"
#include "support/MessageBoxes.h"
#include "support/Sandbox.h"
#include "ui/frmMDI.rh"
#include <gtest/gtest.h>

namespace {
using RegistryCompaction::Hive;

const std::wstring kQuestion =
    L"Zum Defragmentieren der Registry ist ein Neustart notwendig.\r\n"
    L"Sollte der Rechner nicht neu booten, drücken Sie die Reset-Taste\r\n"
    L"oder die Tastenkombination Alt + Strg + Entf.\r\n\r\nWollen Sie den Rechner jetzt neu starten?";

void WriteBytes(const std::wstring& path, const std::string& bytes) {
    HANDLE f = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD n = 0;
    ::WriteFile(f, bytes.data(), static_cast<DWORD>(bytes.size()), &n, nullptr);
    CloseHandle(f);
}

// The system as far as the page sees it: one hive whose file lies in the temporary folder, copies
// in the system's format, a replacement that renames the files as Windows does, and a clock of starts.
struct Defrag : ::testing::Test {
    RegistrySandbox sandbox;
    TempFolder folder;
    DefragPage page;
    RegistryCompaction::Platform saved = RegistryCompaction::System();
    long long boot = 1700000000;
    int reboots = 0, saves = 0, replaces = 0;
    std::wstring hiveFile;

    void SetUp() override {
        PrepareEnvironment(folder.Path());
        AppSwitches.Protokoll = 1;
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
        DefragPage::RebootAction() = [this] {
            ++reboots;
            return true;
        };
    }
    void TearDown() override {
        RegistryCompaction::System() = saved;
        DefragPage::RebootAction() = [] { return RebootSystem(); };
    }
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
    bool Copies() {
        WIN32_FIND_DATAW fd;
        HANDLE h = FindFirstFileW((RegistryCompaction::Folder() + L"*.kompakt").c_str(), &fd);
        if (h == INVALID_HANDLE_VALUE) return false;
        FindClose(h);
        return true;
    }
};

bool UnderWine() { return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr; }
}  // namespace

TEST_F(Defrag, TheNextStartIsArmedAskedForAndReportedOnceAfterTheRestart) {
    PageHost host(page);
    // Neither extras sub-menu belongs to this page.
    HMENU extra = ExtraScanMenu();
    ASSERT_TRUE(extra);
    EXPECT_FALSE(MenuItem::PopupEnabled(extra, kMenuExtraScanFileExt));
    EXPECT_FALSE(MenuItem::PopupEnabled(extra, kMenuExtraScanAutostart));
    EXPECT_EQ(page.ChosenMode(), L"-n");
    EXPECT_FALSE(page.StartedVisible());
    ASSERT_EQ(page.Files().Count(), 1);
    EXPECT_EQ(page.Files().Cell(0, 0), L"HKEY_LOCAL_MACHINE\\SOFTWARE");
    EXPECT_EQ(page.Files().Cell(0, 1), RegistryCompaction::SizeText(3 * 104858));
    EXPECT_EQ(page.Files().Cell(0, 2), L"");

    // Armed, the restart declined: the label says it is pending, the mode reads back "-o".
    EXPECT_EQ(ApplyAnswering(L"-o", IDNO), std::vector<std::wstring>{kQuestion});
    EXPECT_EQ(reboots, 0);
    EXPECT_EQ(saves, 1);
    EXPECT_EQ(replaces, 1);
    EXPECT_TRUE(page.StartedVisible());
    EXPECT_EQ(RegistryCompaction::DfrgType(), L"-o");
    page.PageActivate();
    EXPECT_EQ(page.ChosenMode(), L"-o");
    EXPECT_TRUE(page.StartedVisible());
    EXPECT_EQ(page.Files().Cell(0, 2), RegistryCompaction::SizeText(104862));
    EXPECT_TRUE(FileExists(RegistryCompaction::Folder() + L"SOFTWARE.alt"));

    // Applied again before the restart: nothing is copied twice; the restart accepted.
    EXPECT_EQ(ApplyAnswering(L"-o", IDYES), std::vector<std::wstring>{kQuestion});
    EXPECT_EQ(saves, 1);
    EXPECT_EQ(reboots, 1);
    // Still the same start of the system: nothing to report yet.
    EXPECT_EQ(RegistryCompaction::AtStart(), L"");

    // After the restart the system runs on the copy; that is said once, and the mode is "-n" again.
    boot += 3600;
    const std::wstring report = RegistryCompaction::AtStart();
    EXPECT_NE(report.find(L"Die Registry wurde beim letzten Windows-Start defragmentiert:"), std::wstring::npos)
        << ToUtf8(report);
    EXPECT_NE(report.find(L"HKEY_LOCAL_MACHINE\\SOFTWARE: defragmentiert (vorher " + RegistryCompaction::SizeText(3 * 104858) +
                          L", jetzt " + RegistryCompaction::SizeText(104862) + L")"),
              std::wstring::npos)
        << ToUtf8(report);
    EXPECT_EQ(RegistryCompaction::AtStart(), L"");
    EXPECT_EQ(RegistryCompaction::DfrgType(), L"-n");
    page.PageActivate();
    EXPECT_EQ(page.ChosenMode(), L"-n");
    EXPECT_FALSE(page.StartedVisible());
    EXPECT_EQ(page.ResultText(), report);
    EXPECT_EQ(saves, 1);
}

TEST_F(Defrag, EveryStartIsArmedAgainAfterEachRestartUntilItIsSwitchedOff) {
    PageHost host(page);
    AutoRestart(true);
    // Restart ticked: no question.
    EXPECT_TRUE(ApplyAnswering(L"-e", IDNO).empty());
    EXPECT_EQ(reboots, 1);
    EXPECT_EQ(RegistryCompaction::DfrgType(), L"-e");
    // Starting the program again in the same start of the system arms nothing new.
    EXPECT_EQ(RegistryCompaction::AtStart(), L"");
    EXPECT_EQ(saves, 1);

    boot += 3600;
    EXPECT_NE(RegistryCompaction::AtStart().find(L"defragmentiert"), std::wstring::npos);
    EXPECT_EQ(saves, 2);
    EXPECT_EQ(replaces, 2);
    EXPECT_TRUE(RegistryCompaction::Pending());
    EXPECT_EQ(RegistryCompaction::DfrgType(), L"-e");

    // Switched off while a compaction is armed: it cannot be withdrawn, and the page says so.
    AutoRestart(false);
    const std::vector<std::wstring> texts = ApplyAnswering(L"-n", IDOK);
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_NE(texts[0].find(L"lässt sich nicht mehr zurücknehmen"), std::wstring::npos) << ToUtf8(texts[0]);
    EXPECT_EQ(reboots, 1);
    EXPECT_EQ(RegistryCompaction::DfrgType(), L"-o");
    EXPECT_EQ(page.ChosenMode(), L"-o");
    EXPECT_TRUE(page.StartedVisible());

    // A replacement the system did not carry out is reported as such; nothing is armed again.
    boot += 3600;
    RegistryCompaction::System().hives = [this] {
        return std::vector<Hive>{{kHKLM, L"SOFTWARE", L"HKEY_LOCAL_MACHINE\\SOFTWARE", L"SOFTWARE",
                                  folder.Write(L"config\\ANDERE", "regf")}};
    };
    const std::wstring report = RegistryCompaction::AtStart();
    EXPECT_NE(report.find(L"nicht vollständig ausgeführt:\r\nHKEY_LOCAL_MACHINE\\SOFTWARE: nicht ersetzt"), std::wstring::npos)
        << ToUtf8(report);
    EXPECT_EQ(saves, 2);
    EXPECT_EQ(RegistryCompaction::DfrgType(), L"-n");
    // Nothing armed: switching off needs no message and no restart.
    EXPECT_TRUE(ApplyAnswering(L"-n", IDOK).empty());
    EXPECT_FALSE(page.StartedVisible());

    // Every start again, but the program later starts without the rights to arm it: the page says so.
    AutoRestart(true);
    EXPECT_TRUE(ApplyAnswering(L"-e", IDNO).empty());
    EXPECT_EQ(reboots, 2);
    boot += 3600;
    RegistryCompaction::System().privileges = [](std::wstring& why) {
        why = L"Zum Defragmentieren der Registry werden Administratorrechte benötigt.";
        return false;
    };
    EXPECT_NE(RegistryCompaction::AtStart().find(L"konnte nicht vorbereitet werden:\r\nZum Defragmentieren"),
              std::wstring::npos);
    EXPECT_FALSE(RegistryCompaction::Pending());
    page.PageActivate();
    EXPECT_EQ(page.ChosenMode(), L"-e");
    EXPECT_FALSE(page.StartedVisible());
    EXPECT_EQ(page.ResultText().rfind(L"Für den nächsten Windows-Start ist noch keine Defragmentierung vorbereitet.", 0), 0u)
        << ToUtf8(page.ResultText());
}

TEST_F(Defrag, WithoutRightsSpaceOrTheSystemsHelpNothingIsChanged) {
    PageHost host(page);
    auto refused = [&](const wchar_t* part) {
        const std::vector<std::wstring> texts = ApplyAnswering(L"-o", IDOK);
        ASSERT_EQ(texts.size(), 1u);
        EXPECT_NE(texts[0].find(part), std::wstring::npos) << ToUtf8(texts[0]);
        EXPECT_EQ(RegistryCompaction::DfrgType(), L"-n");
        EXPECT_EQ(page.ChosenMode(), L"-n");
        EXPECT_FALSE(page.StartedVisible());
        EXPECT_FALSE(Copies());
        EXPECT_EQ(replaces, 0);
        EXPECT_EQ(reboots, 0);
    };
    RegistryCompaction::Platform& p = RegistryCompaction::System();
    p.privileges = [](std::wstring& why) {
        why = L"Zum Defragmentieren der Registry werden Administratorrechte benötigt.";
        return false;
    };
    refused(L"Administratorrechte benötigt.\r\n\r\nEs wurde nichts geändert.");
    EXPECT_EQ(saves, 0);
    p.privileges = [](std::wstring&) { return true; };

    p.freeBytes = [](const std::wstring&) { return 1ull << 20; };
    refused(L"freier Platz benötigt");
    EXPECT_EQ(saves, 0);
    p.freeBytes = [](const std::wstring&) { return 1ull << 40; };

    p.saveCopy = [this](const Hive&, const std::wstring& copy) {
        WriteBytes(copy, "halb");
        return static_cast<long>(ERROR_ACCESS_DENIED);
    };
    refused(L"Von HKEY_LOCAL_MACHINE\\SOFTWARE konnte keine kompakte Kopie geschrieben werden");
    p.saveCopy = [this](const Hive&, const std::wstring& copy) {
        WriteBytes(copy, "WINE REGISTRY Version 2\n");
        return 0L;
    };
    refused(L"wird auf diesem System nicht unterstützt");

    // As above, but the copy written by the system itself: without the backup privilege it refuses.
    p.saveCopy = saved.saveCopy;
    p.hives = [] { return std::vector<Hive>{{kHKCU, L"Software\\Probe", L"HKEY_CURRENT_USER\\Software\\Probe", L"PROBE", L""}}; };
    PutDword(HKEY_CURRENT_USER, L"Software\\Probe", L"x", 1);
    if (UnderWine()) {
        refused(L"konnte keine kompakte Kopie geschrieben werden:\r\n");
        p.privileges = saved.privileges;
        refused(L"wird auf diesem System nicht unterstützt");
    }
    EXPECT_TRUE(FileExists(hiveFile));
}

TEST_F(Defrag, UnderWineTheSystemsOwnFunctionsArmNothing) {
    if (!UnderWine()) GTEST_SKIP() << "only Wine writes its own registry format";
    // Everything real but the hive: a key of the sandbox, its copy in the temporary folder.
    RegistryCompaction::System() = saved;
    RegistryCompaction::Platform& p = RegistryCompaction::System();
    p.hives = [] { return std::vector<Hive>{{kHKCU, L"Software\\Probe", L"HKEY_CURRENT_USER\\Software\\Probe", L"PROBE", L""}}; };
    p.bootTime = [this] { return boot; };
    long saveResult = -1;
    std::string head;
    p.saveCopy = [&](const Hive& h, const std::wstring& copy) {
        saveResult = saved.saveCopy(h, copy);
        head = ReadBytes(copy).substr(0, 4);
        return saveResult;
    };
    p.replace = [&](const Hive& h, const std::wstring& n, const std::wstring& o) {
        ++replaces;
        return saved.replace(h, n, o);
    };
    PutSz(HKEY_CURRENT_USER, L"Software\\Probe", L"Wert", L"Daten");
    std::wstring why;
    EXPECT_TRUE(saved.privileges(why)) << ToUtf8(why);  // Wine's user is an administrator
    PageHost host(page);
    const std::vector<std::wstring> texts = ApplyAnswering(L"-o", IDOK);
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_NE(texts[0].find(L"wird auf diesem System nicht unterstützt"), std::wstring::npos) << ToUtf8(texts[0]);
    EXPECT_EQ(saveResult, 0L);  // RegSaveKeyExW writes a file ...
    EXPECT_NE(head, "regf");    // ... but in Wine's own text format
    EXPECT_EQ(replaces, 0);     // so RegReplaceKeyW (a stub under Wine) is never called
    EXPECT_FALSE(Copies());
    EXPECT_EQ(RegistryCompaction::DfrgType(), L"-n");
}
