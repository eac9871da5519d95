// tests/ui/frmOptionen_wintest.cpp
#include "assistant/clsAgent.h"
#include "assistant/AgentTestSupport.h"
#include "core/AppEnvironment.h"
#include "main/ClassHandler.h"
#include "main/WindowHandler.h"
#include "registry/clsKeyFunc.h"
#include "support/MessageBoxes.h"
#include "support/Sandbox.h"
#include "support/Wait.h"
#include "ui/frmOptionen.h"
#include "ui/frmOptionen.rh"
#include <gtest/gtest.h>
#include <cstdio>
#include <cstdlib>
#include <map>

namespace {
const wchar_t* const kKeys[] = {L"DelAfterDays", L"AutoClose", L"AutoEntfernen", L"AutoFileDelAfterReentry",
                                L"AutoRegFileDel", L"AutoScan", L"AgentLoad", L"AgentType", L"Protokoll",
                                L"RebootAfterDelete", L"RebootAfterEntry", L"Proxy", L"ProxyAdresse", L"ProxyPort",
                                L"Recycler", L"Löschsicherheit", L"RecyclerSecurity"};

class OptionenTest : public ::testing::Test {
protected:
    void SetUp() override {
        PrepareEnvironment(folder.Path());
        AppEnvironment.AgentCharsDir = folder.Path() + L"chars\\";
        CreateDirectoryW(AppEnvironment.AgentCharsDir.c_str(), nullptr);
    }
    void TearDown() override {
        WindowHandler().CloseWindow(WindowNo::All);
        ClassHandler().Reset();
    }
    void Store(const wchar_t* key, const wchar_t* value, const wchar_t* section = L"Optionen") {
        ClassHandler().KeyFunc().SaveSetting(section, key, value);
        ClassHandler().KeyFunc().ReadAppSwitch();
    }
    static std::wstring Stored(const wchar_t* key, const wchar_t* section = L"Optionen") {
        return ClassHandler().KeyFunc().GetSetting(section, key, L"<fehlt>");
    }
    static std::map<std::wstring, std::wstring> AllStored() {
        std::map<std::wstring, std::wstring> m;
        for (const wchar_t* k : kKeys) m[k] = Stored(k);
        m[L"ScreenSave"] = Stored(L"ScreenSave", L"Screen");
        return m;
    }
    void Install(const wchar_t* from, const wchar_t* as) {
        ASSERT_TRUE(CopyFileW((agenttest::ShippedCharsDir() + from).c_str(), (AppEnvironment.AgentCharsDir + as).c_str(),
                              FALSE));
    }
    HWND Open() {
        WindowHandler().Window(WindowNo::Optionen).ShowForm();
        HWND h = WindowHandler().Get<frmOptionen>().hwnd();
        EXPECT_TRUE(WaitFor([&] { return IsWindowVisible(h) != FALSE; }));
        return h;
    }
    static bool Checked(HWND d, int id) { return IsDlgButtonChecked(d, id) == BST_CHECKED; }
    static bool Enabled(HWND d, int id) { return IsWindowEnabled(GetDlgItem(d, id)) != FALSE; }
    static void Click(HWND d, int id) { SendMessageW(GetDlgItem(d, id), BM_CLICK, 0, 0); }
    static void Type(HWND d, int id, const wchar_t* text) { SetWindowTextW(GetDlgItem(d, id), text); }
    static std::wstring Text(HWND d, int id) {
        wchar_t buf[256] = L"";
        GetWindowTextW(GetDlgItem(d, id), buf, 256);
        return buf;
    }
    static void Choose(HWND d, const wchar_t* entry) {
        HWND list = GetDlgItem(d, IDC_cboAgentType);
        SendMessageW(list, CB_SETCURSEL, SendMessageW(list, CB_FINDSTRINGEXACT, -1, reinterpret_cast<LPARAM>(entry)), 0);
        SendMessageW(d, WM_COMMAND, MAKEWPARAM(IDC_cboAgentType, CBN_SELCHANGE), reinterpret_cast<LPARAM>(list));
    }
    static bool Open_() { return WindowHandler().IsLoaded(WindowNo::Optionen); }
    static bool BalloonSays(const std::wstring& text) {
        HWND b = VisibleWindowOf(GetCurrentProcessId(), AgentCharacter::kBalloonClass);
        wchar_t buf[512] = L"";
        if (b) GetWindowTextW(b, buf, 512);
        return b && text == buf;
    }

    // With OPTIONEN_SHOW set, a state stays on screen for that many seconds (for a look or a screenshot).
    static void ShowState(const char* name) {
        const char* secs = getenv("OPTIONEN_SHOW");
        if (!secs) return;
        printf("STATE %s\n", name);
        fflush(stdout);
        PumpMessages(static_cast<DWORD>(atoi(secs) * 1000));
    }

    RegistrySandbox sandbox;
    TempFolder folder;
};
}  // namespace

TEST_F(OptionenTest, StoredAutoCloseGreysAutoEntfernenAndOkStoresItTicked) {
    Store(L"AutoClose", L"1");
    Store(L"AutoEntfernen", L"0");
    HWND d = Open();
    EXPECT_TRUE(Checked(d, IDC_chbAutoEntfernen));
    EXPECT_FALSE(Enabled(d, IDC_chbAutoEntfernen));
    EXPECT_FALSE(Enabled(d, IDC_cmdOK)) << "nothing changed yet";
    Click(d, IDC_chbAutoScan);
    EXPECT_TRUE(Enabled(d, IDC_cmdOK));
    Click(d, IDC_cmdOK);
    EXPECT_FALSE(Open_());
    EXPECT_EQ(Stored(L"AutoEntfernen"), L"1");
    EXPECT_EQ(Stored(L"AutoScan"), L"1");
    EXPECT_EQ(AppSwitches.AutoEntfernen, 1) << "settings read again after saving";
    // Every value is stored as text.
    HKEY k = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Torvane\\Optionen", 0, KEY_READ, &k), ERROR_SUCCESS);
    for (const wchar_t* key : kKeys) {
        DWORD type = 0;
        if (RegQueryValueExW(k, key, nullptr, &type, nullptr, nullptr) == ERROR_SUCCESS) {
            EXPECT_EQ(type, DWORD(REG_SZ)) << key;
        }
    }
    RegCloseKey(k);
}

TEST_F(OptionenTest, TheCheckBoxesHoldEachOtherAsTheyShould) {
    HWND d = Open();
    Click(d, IDC_chbRebootAfterDelete);
    EXPECT_TRUE(Checked(d, IDC_chbAutoClose));
    EXPECT_TRUE(Checked(d, IDC_chbAutoEntfernen));
    EXPECT_FALSE(Enabled(d, IDC_chbAutoClose));
    EXPECT_FALSE(Enabled(d, IDC_chbAutoEntfernen));
    Click(d, IDC_chbRebootAfterDelete);
    EXPECT_TRUE(Enabled(d, IDC_chbAutoClose));
    EXPECT_FALSE(Enabled(d, IDC_chbAutoEntfernen)) << "\"Nach Scan Programm beenden\" is still ticked";
    Click(d, IDC_chbAutoClose);
    EXPECT_TRUE(Enabled(d, IDC_chbAutoEntfernen));
    EXPECT_TRUE(Checked(d, IDC_chbAutoEntfernen)) << "its value stays";

    // "Recycler" is 1 by default: the no-question box is unticked and greyed.
    EXPECT_TRUE(Checked(d, IDC_chbRecycler));
    EXPECT_FALSE(Enabled(d, IDC_chbFileDelSecurity));
    Click(d, IDC_chbRecycler);
    EXPECT_FALSE(Checked(d, IDC_chbFileDelSecurity));
    EXPECT_TRUE(Enabled(d, IDC_chbFileDelSecurity));
    Click(d, IDC_chbFileDelSecurity);
    Click(d, IDC_chbRecycler);
    EXPECT_FALSE(Checked(d, IDC_chbFileDelSecurity));
    EXPECT_FALSE(Enabled(d, IDC_chbFileDelSecurity));

    EXPECT_FALSE(Enabled(d, IDC_cboAutoRegFileDel));
    Click(d, IDC_chbAutoRegFileDel);
    EXPECT_TRUE(Enabled(d, IDC_cboAutoRegFileDel));
    EXPECT_TRUE(Enabled(d, IDC_lblAutoRegFileDel2));
    EXPECT_EQ(SendMessageW(GetDlgItem(d, IDC_cboAutoRegFileDel), CB_GETCOUNT, 0, 0), 6);

    EXPECT_FALSE(Enabled(d, IDC_txtProxyAdresse));
    Click(d, IDC_rdoINet2);
    EXPECT_TRUE(Enabled(d, IDC_txtProxyAdresse));
    EXPECT_TRUE(Enabled(d, IDC_txtProxyPort));
    Click(d, IDC_rdoINet1);
    EXPECT_FALSE(Enabled(d, IDC_txtProxyPort));
}

TEST_F(OptionenTest, CancelLeavesEverySettingAsItWas) {
    Store(L"DelAfterDays", L"30");
    Store(L"ProxyAdresse", L"10.0.0.1");
    Store(L"ScreenSave", L"1", L"Screen");
    const auto before = AllStored();
    const AppSwitchesRecord was = AppSwitches;
    HWND d = Open();
    EXPECT_EQ(Text(d, IDC_cboAutoRegFileDel), L"30");
    EXPECT_TRUE(Checked(d, IDC_chbScreenSave));
    Click(d, IDC_chbAutoScan);
    Click(d, IDC_chbScreenSave);
    Type(d, IDC_txtProxyAdresse, L"proxy.example");
    Click(d, IDC_cmdClose);
    EXPECT_FALSE(Open_());
    EXPECT_EQ(AllStored(), before);
    EXPECT_EQ(AppSwitches.AutoScan, was.AutoScan);
    EXPECT_EQ(AppSwitches.ProxyAdresse, was.ProxyAdresse);
    d = Open();
    EXPECT_FALSE(Enabled(d, IDC_cmdOK));
}

TEST_F(OptionenTest, BadNumbersAreRefusedWithAMessageAndNothingIsStored) {
    Store(L"DelAfterDays", L"30");
    Store(L"AutoRegFileDel", L"1");
    const auto before = AllStored();
    HWND d = Open();
    MessageBoxes boxes(AppEnvironment.AppTitle, {IDOK});
    Click(d, IDC_chbAutoScan);
    for (const wchar_t* bad : {L"", L"zehn", L"0", L"-5", L"40000"}) {
        Type(d, IDC_cboAutoRegFileDel, bad);
        Click(d, IDC_cmdOK);
        ASSERT_TRUE(Open_()) << "dialog closed on " << testing::PrintToString(std::wstring(bad));
    }
    EXPECT_EQ(AllStored(), before);
    ASSERT_TRUE(WaitFor([&] { return boxes.Texts().size() == 5; }));
    EXPECT_EQ(boxes.Texts()[0], L"Bitte geben Sie an, nach wie vielen Tagen die Sicherungsdateien gelöscht werden sollen.");
    EXPECT_EQ(boxes.Texts()[1], L"Die Anzahl der Tage muss eine ganze Zahl von 1 bis 32767 sein.");
    EXPECT_EQ(boxes.Texts()[4], boxes.Texts()[1]);

    // A proxy needs its address and a port.
    Type(d, IDC_cboAutoRegFileDel, L"45");
    Click(d, IDC_rdoINet2);
    Type(d, IDC_txtProxyAdresse, L"");
    Click(d, IDC_cmdOK);
    Type(d, IDC_txtProxyAdresse, L"proxy.example");
    Type(d, IDC_txtProxyPort, L"80a");
    Click(d, IDC_cmdOK);
    ASSERT_TRUE(WaitFor([&] { return boxes.Texts().size() == 7; }));
    EXPECT_EQ(boxes.Texts()[5], L"Bitte geben Sie die Adresse des Proxyservers ein.");
    EXPECT_EQ(boxes.Texts()[6], L"Der Port des Proxyservers muss eine ganze Zahl von 1 bis 65535 sein.");
    EXPECT_EQ(AllStored(), before);

    Type(d, IDC_txtProxyPort, L"44503");
    Click(d, IDC_cmdOK);
    EXPECT_FALSE(Open_());
    EXPECT_EQ(Stored(L"DelAfterDays"), L"45");
    EXPECT_EQ(Stored(L"Proxy"), L"1");
    EXPECT_EQ(Stored(L"ProxyAdresse"), L"proxy.example");
    EXPECT_EQ(Stored(L"ProxyPort"), L"44503");
    EXPECT_EQ(AppSwitches.ProxyPort, 44503);
}

TEST_F(OptionenTest, AnUnusedBadDayCountKeepsTheStoredOne) {
    Store(L"DelAfterDays", L"30");
    HWND d = Open();
    EXPECT_FALSE(Checked(d, IDC_chbAutoRegFileDel));
    Type(d, IDC_cboAutoRegFileDel, L"");
    Click(d, IDC_chbAutoScan);
    Click(d, IDC_cmdOK);
    EXPECT_FALSE(Open_());
    EXPECT_EQ(Stored(L"DelAfterDays"), L"30");
    EXPECT_EQ(Stored(L"AutoScan"), L"1");
}

TEST_F(OptionenTest, WithoutCharactersTheNoteShowsAndTheBoxUnticksItself) {
    HWND d = Open();
    EXPECT_TRUE(IsWindowVisible(GetDlgItem(d, IDC_lblNoAgents)));
    EXPECT_EQ(Text(d, IDC_lblNoAgents), L"Es ist kein MS Agent installiert.");
    EXPECT_EQ(SendMessageW(GetDlgItem(d, IDC_cboAgentType), CB_GETCOUNT, 0, 0), 0);
    Click(d, IDC_chbLoadAgent);
    EXPECT_FALSE(Checked(d, IDC_chbLoadAgent));
    EXPECT_EQ(AppSwitches.AgentLoad, 0);
}

TEST_F(OptionenTest, TheInstalledCharactersAreListedAndActAtOnce) {
    Install(L"Merlin.acs", L"MERLIN.ACS");
    Install(L"Robby.acs", L"robby.acs");
    HWND d = Open();
    EXPECT_FALSE(IsWindowVisible(GetDlgItem(d, IDC_lblNoAgents)));
    HWND list = GetDlgItem(d, IDC_cboAgentType);
    ASSERT_EQ(SendMessageW(list, CB_GETCOUNT, 0, 0), 2);
    EXPECT_FALSE(Enabled(d, IDC_cboAgentType));
    clsAgent& agent = ClassHandler().Agent();

    // Ticking with no character chosen yet picks the first, shows it and greets.
    Click(d, IDC_chbLoadAgent);
    EXPECT_EQ(Text(d, IDC_cboAgentType), L"Merlin");
    EXPECT_EQ(AppSwitches.AgentLoad, 1);
    EXPECT_EQ(AppSwitches.AgentFile, L"Merlin.acs");
    EXPECT_TRUE(agent.Loaded());
    EXPECT_TRUE(WaitFor([] { return BalloonSays(L"Hallo meine Name ist Merlin. Ich werde Sie durch das Programm begleiten."); }));
    EXPECT_EQ(Stored(L"AgentLoad"), L"<fehlt>") << "nothing stored before OK";
    ShowState("greeting");

    // Another entry shows that character at once.
    Choose(d, L"Robby");
    EXPECT_EQ(agent.LoadedFile(), L"Robby.acs");
    EXPECT_TRUE(WaitFor([] { return BalloonSays(L"Hallo. Danke für die Aktivierung."); }));

    // Unticking takes the character away; the setting in memory waits for OK.
    Click(d, IDC_chbLoadAgent);
    EXPECT_FALSE(agent.Loaded());
    EXPECT_EQ(VisibleWindowOf(GetCurrentProcessId(), AgentCharacter::kWindowClass), nullptr);
    EXPECT_EQ(AppSwitches.AgentLoad, 1);
    Click(d, IDC_chbLoadAgent);
    EXPECT_TRUE(agent.Loaded());
    Click(d, IDC_cmdOK);
    EXPECT_EQ(Stored(L"AgentLoad"), L"1");
    EXPECT_EQ(Stored(L"AgentType"), L"Merlin") << "ticked again without a stored character: the first one";
}

TEST_F(OptionenTest, ACharacterThatCannotSpeakIsRefused) {
    Install(L"Merlin.acs", L"Merlin.acs");
    folder.Write(L"chars\\Stumm.acs", agenttest::Encode(agenttest::Plain(L"Stumm", {L"Idle", L"Read"})));
    Store(L"AgentLoad", L"1");
    Store(L"AgentType", L"Merlin");
    HWND d = Open();
    EXPECT_TRUE(Checked(d, IDC_chbLoadAgent));
    EXPECT_EQ(Text(d, IDC_cboAgentType), L"Merlin");
    EXPECT_TRUE(WaitFor([] { return BalloonSays(L"Hier können Einstellungen für das Programm vorgenommen werden."); }));
    MessageBoxes boxes(AppEnvironment.AppTitle, {IDOK});
    Choose(d, L"Stumm");
    ASSERT_TRUE(WaitFor([&] { return boxes.Texts().size() == 1; }));
    EXPECT_EQ(boxes.Texts()[0], L"Der Agent-Charakter Stumm unterstützt nicht die benötigten Eigenschaften und kann deshalb "
                                L"nicht verwendet werden.\r\nVerwenden Sie z.B. Merlin.");
    EXPECT_EQ(Text(d, IDC_cboAgentType), L"");
    EXPECT_EQ(AppSwitches.AgentFile, L"Merlin.acs") << "the refused character is not taken";
    Click(d, IDC_cmdOK);
    EXPECT_NE(Stored(L"AgentType"), L"Stumm");
}

TEST_F(OptionenTest, AStoredCharacterThatIsGoneGivesWayToAnInstalledOne) {
    Install(L"Robby.acs", L"Robby.acs");
    Store(L"AgentLoad", L"1");
    Store(L"AgentType", L"Merlin");
    HWND d = Open();
    EXPECT_TRUE(Checked(d, IDC_chbLoadAgent));
    EXPECT_EQ(Text(d, IDC_cboAgentType), L"Robby");
    EXPECT_EQ(AppSwitches.AgentFile, L"Robby.acs");
    EXPECT_EQ(ClassHandler().Agent().LoadedFile(), L"Robby.acs");
    Click(d, IDC_cmdClose);
    EXPECT_EQ(Stored(L"AgentType"), L"Merlin") << "nothing stored without OK";
}
