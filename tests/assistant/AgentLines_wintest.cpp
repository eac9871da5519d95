// tests/assistant/AgentLines_wintest.cpp: what the program's windows have the character say and do.
#include "assistant/AgentTestSupport.h"
#include "assistant/clsAgent.h"
#include "backup/frmBackup.h"
#include "core/AppEnvironment.h"
#include "main/ClassHandler.h"
#include "main/WindowHandler.h"
#include "registry/clsKeyFunc.h"
#include "scan/frmRegScan.h"
#include "scan/frmRegScan.rh"
#include "support/MessageBoxes.h"
#include "support/Sandbox.h"
#include "support/Wait.h"
#include "main/frmMDI.h"
#include "main/frmMDI.rh"
#include <gtest/gtest.h>
#include <algorithm>
#include <vector>

namespace {
// Every text the balloon comes up with, in order, as it happens (also inside a running scan).
std::vector<std::wstring> g_shown;
WNDPROC g_balloonProc = nullptr;
LRESULT CALLBACK Recorder(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_WINDOWPOSCHANGED && (reinterpret_cast<WINDOWPOS*>(lp)->flags & SWP_SHOWWINDOW)) {
        wchar_t buf[512] = L"";
        GetWindowTextW(h, buf, 512);
        g_shown.push_back(buf);
    }
    return CallWindowProcW(g_balloonProc, h, msg, wp, lp);
}

class AgentLines : public ::testing::Test {
protected:
    void SetUp() override {
        PrepareEnvironment(folder.Path());
        AppEnvironment.AgentCharsDir = folder.Path() + L"chars\\";
        CreateDirectoryW(AppEnvironment.AgentCharsDir.c_str(), nullptr);
        ASSERT_TRUE(CopyFileW((agenttest::ShippedCharsDir() + L"Merlin.acs").c_str(),
                              (AppEnvironment.AgentCharsDir + L"Merlin.acs").c_str(), FALSE));
        clsKeyFunc& k = ClassHandler().KeyFunc();
        k.SaveSetting(L"Optionen", L"AgentLoad", L"1");
        k.SaveSetting(L"Optionen", L"AgentType", L"Merlin");
        k.SaveSetting(L"Optionen", L"Protokoll", L"1");
        k.ReadAppSwitch();
        g_shown.clear();
    }
    void TearDown() override { WindowHandler().CloseWindow(WindowNo::All); }
    // The main window loads and greets; from then on the balloon's texts are recorded.
    frmMDI& Frame() {
        frmMDI& f = WindowHandler().Get<frmMDI>();
        AgentCharacter* c = ClassHandler().Agent().Character();
        EXPECT_NE(c, nullptr) << "the greeting loads the character";
        if (c && !g_balloonProc) {
            wchar_t buf[512] = L"";
            GetWindowTextW(c->Balloon(), buf, 512);
            if (IsWindowVisible(c->Balloon())) g_shown.push_back(buf);
            g_balloonProc = reinterpret_cast<WNDPROC>(
                SetWindowLongPtrW(c->Balloon(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(Recorder)));
        }
        return f;
    }
    static bool Said(const std::wstring& text) { return std::count(g_shown.begin(), g_shown.end(), text) > 0; }
    static bool BalloonGone() {
        return VisibleWindowOf(GetCurrentProcessId(), AgentCharacter::kBalloonClass) == nullptr;
    }
    size_t Logged(const std::string& text) const {
        const std::string log = ReadBytes(folder.Path() + L"torvane.log");
        size_t n = 0;
        for (size_t p = log.find(text); p != std::string::npos; p = log.find(text, p + 1)) ++n;
        return n;
    }

    RegistrySandbox sandbox;
    TempFolder folder;
    KeepProcessOnFrameExit frameExit;
};
}  // namespace

TEST_F(AgentLines, TheMainWindowGreetsAndTheScanSaysStartAndEnd) {
    frmMDI& frame = Frame();
    EXPECT_TRUE(Said(L"Hallo mein Name ist Merlin. Ich werde Sie durch das Programm begleiten."));
    EXPECT_EQ(Logged("; clsAgent; AgentName; AgentRun laden;"), 1u);
    // Near the frame's lower right corner.
    RECT f{}, c{};
    GetWindowRect(frame.hwnd(), &f);
    GetWindowRect(ClassHandler().Agent().Character()->Window(), &c);
    EXPECT_EQ(c.left, f.right - 1700 / TwipsPerPixelX());
    EXPECT_EQ(c.top, f.bottom - 2400 / TwipsPerPixelY());

    frame.Show();
    ASSERT_TRUE(WaitFor([] { return WindowHandler().IsLoaded(WindowNo::RegScan); }));
    frmRegScan& scan = WindowHandler().Get<frmRegScan>();
    // The greeting has its time; then the scan's lines follow.
    ASSERT_TRUE(WaitFor(BalloonGone, 30000));
    SendMessageW(GetDlgItem(scan.hwnd(), IDC_cmdStart), BM_CLICK, 0, 0);
    ASSERT_TRUE(WaitFor([] { return Said(L"Der Registry-Scan wurde erfolgreich abgeschlossen."); }));
    auto at = [](const wchar_t* t) { return std::find(g_shown.begin(), g_shown.end(), std::wstring(t)); };
    ASSERT_TRUE(Said(L"Der Registry-Scan wurde gestartet."));
    EXPECT_LT(at(L"Der Registry-Scan wurde gestartet."), at(L"Der Registry-Scan wurde erfolgreich abgeschlossen."));
    EXPECT_EQ(Logged("; clsAgent; AgentRun laden;"), 0u) << "loaded once, by the greeting";
    EXPECT_EQ(Logged("AgentRun laden"), 1u);
}

TEST_F(AgentLines, TheBackupAreaReadsAndThenExplainsItself) {
    frmMDI& frame = Frame();
    frame.Show();
    ClassHandler().Agent().Stop();
    frame.Command(IDM_mnuBackupShow);
    AgentCharacter* c = ClassHandler().Agent().Character();
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->CurrentAnimation(), L"Read");
    EXPECT_TRUE(WaitFor([] {
        return Said(L"Im Backup-Bereich können bereits entfernte Registrykeys zurückgeschrieben, bearbeitet oder gelöscht werden.");
    }));
}

TEST_F(AgentLines, AboutIsSpokenAfterItsMessage) {
    frmMDI& frame = Frame();
    ClassHandler().Agent().Stop();
    {
        MessageBoxes boxes(AppEnvironment.AppTitle, {IDOK});
        frame.Command(IDM_mnuInfo);
        ASSERT_EQ(boxes.Texts().size(), 1u);
    }
    const std::wstring about = L"Torvane V." + AppEnvironment.AppVersion + L" (Build " +
                               std::to_wstring(AppEnvironment.Revision) + L")";
    EXPECT_TRUE(WaitFor([&] { return Said(about); }));
}
