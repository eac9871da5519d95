// tests/assistant/clsAgent_wintest.cpp
#include "assistant/AgentTestSupport.h"
#include "assistant/clsAgent.h"
#include "core/AppEnvironment.h"
#include "main/ClassHandler.h"
#include "core/RuntimeError.h"
#include "support/Sandbox.h"
#include "support/Wait.h"
#include <gtest/gtest.h>

using namespace agenttest;

namespace {
class AgentTest : public ::testing::Test {
protected:
    void SetUp() override {
        PrepareEnvironment(folder.Path());
        AppEnvironment.AgentCharsDir = folder.Path() + L"chars\\";
        CreateDirectoryW(AppEnvironment.AgentCharsDir.c_str(), nullptr);
        AppSwitches.Protokoll = 1;
    }
    void TearDown() override { ClassHandler().Reset(); }
    void Install(const wchar_t* name) {
        ASSERT_TRUE(CopyFileW((ShippedCharsDir() + name).c_str(), (AppEnvironment.AgentCharsDir + name).c_str(), FALSE))
            << "character file missing beside the test program";
    }
    void Switch(bool on, const std::wstring& file) {
        AppSwitches.AgentLoad = on ? 1 : 0;
        AppSwitches.AgentFile = file;
    }
    size_t LoadLines(const std::string& procedure) const {
        const std::string log = ReadBytes(folder.Path() + L"torvane.log");
        const std::string line = "; clsAgent; " + procedure + "; AgentRun laden;";
        size_t n = 0;
        for (size_t p = log.find(line); p != std::string::npos; p = log.find(line, p + 1)) ++n;
        return n;
    }
    static HWND Shown(const wchar_t* cls) { return VisibleWindowOf(GetCurrentProcessId(), cls); }
    static std::wstring Text(HWND h) {
        wchar_t buf[512] = L"";
        GetWindowTextW(h, buf, 512);
        return buf;
    }
    static bool BalloonSays(const std::wstring& text) {
        HWND b = Shown(AgentCharacter::kBalloonClass);
        return b && Text(b) == text;
    }

    RegistrySandbox sandbox;
    TempFolder folder;
};
}  // namespace

TEST_F(AgentTest, SwitchedOffNoOperationTouchesTheCharacter) {
    Install(L"Merlin.acs");
    Switch(false, L"Merlin.acs");
    clsAgent& agent = ClassHandler().Agent();
    agent.Speak(L"Hallo");
    agent.Play(L"Searching");
    agent.AgentMoveTo(L"Merlin.acs", 10, 10);
    agent.Stop();
    EXPECT_EQ(agent.Name(), L"");
    PumpPending();
    EXPECT_FALSE(agent.Loaded());
    EXPECT_EQ(agent.Character(), nullptr);
    EXPECT_EQ(FindWindowW(AgentCharacter::kWindowClass, nullptr), nullptr);
    EXPECT_EQ(LoadLines("AgentSpeak") + LoadLines("AgentName"), 0u);
}

TEST_F(AgentTest, AMissingFileShowsNothingAndEveryLaterOperationTriesAgain) {
    Switch(true, L"Merlin.acs");
    clsAgent& agent = ClassHandler().Agent();
    agent.Speak(L"Hallo");
    EXPECT_EQ(agent.Name(), L"");
    agent.Play(L"Read");
    EXPECT_FALSE(agent.Loaded());
    EXPECT_EQ(Shown(AgentCharacter::kWindowClass), nullptr);
    EXPECT_EQ(LoadLines("AgentSpeak"), 1u);
    EXPECT_EQ(LoadLines("AgentName"), 1u);
    EXPECT_EQ(LoadLines("AgentPlay"), 1u);
    // Once the file is there, the next operation brings the character.
    Install(L"Merlin.acs");
    EXPECT_EQ(agent.Name(), L"Merlin");
    EXPECT_TRUE(agent.Loaded());
    EXPECT_TRUE(WaitFor([] { return Shown(AgentCharacter::kWindowClass) != nullptr; }));
    EXPECT_EQ(LoadLines("AgentName"), 2u);
}

TEST_F(AgentTest, OneLoadLinePerLoadAndAReloadAfterUnload) {
    Install(L"Robby.acs");
    Switch(true, L"Robby.acs");
    clsAgent& agent = ClassHandler().Agent();
    agent.Speak(L"Der Registry-Scan wurde gestartet.");
    agent.Play(L"Searching");
    EXPECT_EQ(agent.Name(), L"Robby");
    EXPECT_TRUE(WaitFor([] { return BalloonSays(L"Der Registry-Scan wurde gestartet."); }));
    EXPECT_EQ(LoadLines("AgentSpeak"), 1u);
    EXPECT_EQ(LoadLines("AgentPlay") + LoadLines("AgentName"), 0u);

    agent.AgentUnload();
    PumpPending();
    EXPECT_FALSE(agent.Loaded());
    EXPECT_EQ(Shown(AgentCharacter::kWindowClass), nullptr);
    EXPECT_EQ(Shown(AgentCharacter::kBalloonClass), nullptr);

    agent.Speak(L"Wieder da.");
    EXPECT_TRUE(agent.Loaded());
    EXPECT_TRUE(WaitFor([] { return Shown(AgentCharacter::kWindowClass) && BalloonSays(L"Wieder da."); }));
    EXPECT_EQ(LoadLines("AgentSpeak"), 2u);
}

TEST_F(AgentTest, ActionsQueueAndStopDropsThem) {
    Install(L"Merlin.acs");
    Switch(true, L"Merlin.acs");
    clsAgent& agent = ClassHandler().Agent();
    agent.Speak(L"Eins");
    agent.Play(L"Searching");
    AgentCharacter* c = agent.Character();
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->CurrentAnimation(), L"Speak");
    // The balloon goes after its reading time, then the queued animation plays (and loops).
    EXPECT_TRUE(WaitFor([&] { return c->CurrentAnimation() == L"Searching"; }));
    EXPECT_EQ(Shown(AgentCharacter::kBalloonClass), nullptr);
    PumpMessages(500);
    EXPECT_EQ(c->CurrentAnimation(), L"Searching");
    // A spoken line waits for the round of the loop, then shows.
    agent.Speak(L"Zwei");
    EXPECT_TRUE(WaitFor([] { return BalloonSays(L"Zwei"); }));
    agent.Play(L"Read");
    agent.Stop();
    EXPECT_EQ(c->CurrentAnimation(), L"Idle");
    EXPECT_EQ(Shown(AgentCharacter::kBalloonClass), nullptr);
    PumpMessages(300);
    EXPECT_EQ(c->CurrentAnimation(), L"Idle");
}

TEST_F(AgentTest, ACharacterLackingAnAnimationRaisesToTheCaller) {
    folder.Write(L"chars\\Stumm.acs", Encode(Plain(L"Stumm", {L"Idle", L"Read"})));
    Switch(true, L"Stumm.acs");
    clsAgent& agent = ClassHandler().Agent();
    agent.Play(L"read");  // names are matched without regard to case
    try {
        agent.Speak(L"Hallo");
        ADD_FAILURE() << "a character without \"Speak\" spoke";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.number, Err::InvalidProperty);
        EXPECT_NE(e.description.find(L"Speak"), std::wstring::npos);
    }
    EXPECT_THROW(agent.Play(L"Searching"), RuntimeError);
    // The character itself stays usable.
    EXPECT_TRUE(agent.Loaded());
    EXPECT_EQ(agent.Name(), L"Stumm");
}

TEST_F(AgentTest, TheCharacterNeverTakesTheFocus) {
    Install(L"Merlin.acs");
    Switch(true, L"Merlin.acs");
    HWND owner = CreateWindowExW(0, L"EDIT", L"", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 50, 50, 300, 200, nullptr, nullptr,
                                 GetModuleHandleW(nullptr), nullptr);
    SetForegroundWindow(owner);
    SetFocus(owner);
    ASSERT_TRUE(WaitFor([&] { return GetForegroundWindow() == owner && GetFocus() == owner; }));
    clsAgent& agent = ClassHandler().Agent();
    agent.AgentMoveTo(L"Merlin.acs", 200, 200);
    agent.Speak(L"Ich störe nicht.");
    agent.Play(L"think");
    ASSERT_TRUE(WaitFor([] { return BalloonSays(L"Ich störe nicht."); }));
    HWND character = Shown(AgentCharacter::kWindowClass);
    ASSERT_NE(character, nullptr);
    // A click on the character or the balloon does not activate it either.
    EXPECT_EQ(SendMessageW(character, WM_MOUSEACTIVATE, reinterpret_cast<WPARAM>(character), MAKELPARAM(HTCLIENT, WM_LBUTTONDOWN)),
              MA_NOACTIVATE);
    PumpMessages(200);
    EXPECT_EQ(GetForegroundWindow(), owner);
    EXPECT_EQ(GetFocus(), owner);
    for (HWND h : {character, Shown(AgentCharacter::kBalloonClass)}) {
        const LONG_PTR ex = GetWindowLongPtrW(h, GWL_EXSTYLE);
        EXPECT_TRUE(ex & WS_EX_NOACTIVATE);
        EXPECT_TRUE(ex & WS_EX_TOPMOST);
    }
    RECT r{};
    GetWindowRect(character, &r);
    EXPECT_EQ(r.left, 200);
    EXPECT_EQ(r.top, 200);
    DestroyWindow(owner);
}

TEST_F(AgentTest, TheShippedCharactersAndUnsoundFiles) {
    for (const wchar_t* file : {L"Merlin.acs", L"Robby.acs"}) {
        const AgentCharacterData c = ReadCharacterFile(ShippedCharsDir() + file);
        EXPECT_GE(c.width, 64);
        for (const wchar_t* a : {L"Idle", L"Speak", L"Write", L"Read", L"think", L"Searching"})
            EXPECT_NE(c.Find(a), nullptr) << a;
        for (const auto& f : c.frames) EXPECT_EQ(f.size(), static_cast<size_t>(c.width * c.height));
    }
    const std::string good = Encode(Plain(L"Klein", {L"Idle", L"Speak"}));
    EXPECT_EQ(ParseCharacterFile(good, L"k.acs").name, L"Klein");
    for (size_t cut : {size_t(0), size_t(3), size_t(10), good.size() / 2, good.size() - 1}) {
        try {
            ParseCharacterFile(good.substr(0, cut), L"k.acs");
            ADD_FAILURE() << "a file cut after " << cut << " bytes was read";
        } catch (const RuntimeError& e) {
            EXPECT_EQ(e.number, Err::InvalidProperty);
        }
    }
    // An unsound file is logged by AgentRun and nothing shows.
    folder.Write(L"chars\\Kaputt.acs", good.substr(0, good.size() / 2));
    Switch(true, L"Kaputt.acs");
    EXPECT_EQ(ClassHandler().Agent().Name(), L"");
    EXPECT_FALSE(ClassHandler().Agent().Loaded());
    EXPECT_NE(ReadBytes(folder.Path() + L"torvane.log").find("; clsAgent; AgentRun; ; 380;"), std::string::npos);
    EXPECT_EQ(AgentCharacter::DisplayText(L"C:\\\\Backup\\\\a.reg"), L"C:\\Backup\\a.reg");
}
