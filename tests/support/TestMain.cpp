// tests/support/TestMain.cpp
#include "main/modMain.h"
#include "journal/Areas.h"
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>
#include <cstdio>
#include <utility>

namespace {
// A unit run (TORVANE_TEST_RUN=unit, set by CTest) holds many tests in one process; a test that opens
// the main window belongs in a *_wintest.cpp file, whose tests run one per process.
bool g_frameCreated = false;
bool g_frameInUnitRun = false;

LRESULT CALLBACK WatchCreate(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_CREATEWND) {
        const CREATESTRUCTW* cs = reinterpret_cast<CBT_CREATEWNDW*>(lParam)->lpcs;
        if (!IS_INTRESOURCE(cs->lpszClass) && lstrcmpiW(cs->lpszClass, L"TorvaneMDIFrame") == 0) g_frameCreated = true;
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

class FrameInUnitRun : public testing::EmptyTestEventListener {
    void OnTestEnd(const testing::TestInfo& test) override {
        if (!std::exchange(g_frameCreated, false)) return;
        std::printf("%s.%s opens the main window: move it to a *_wintest.cpp file\n", test.test_suite_name(),
                    test.name());
        g_frameInUnitRun = true;
    }
};
}  // namespace

int wmain(int argc, wchar_t** argv) {
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_WIN95_CLASSES | ICC_BAR_CLASSES | ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&icc);
    // As the program starts: the error tests see the error dialog the window program shows.
    InstallWindowProgram();
    // The keys the tests make to try the journal on: no tool's area, so every kind may change them here.
    for (RootKey root : {kHKCU, kHKLM}) {
        ExtraAreas().push_back({root, L"Software\\TorvaneTest"});
        ExtraAreas().push_back({root, L"Software\\T"});
    }
    testing::InitGoogleTest(&argc, argv);
    wchar_t run[16] = L"";
    HHOOK hook = nullptr;
    if (GetEnvironmentVariableW(L"TORVANE_TEST_RUN", run, 16) && lstrcmpW(run, L"unit") == 0) {
        hook = SetWindowsHookExW(WH_CBT, WatchCreate, nullptr, GetCurrentThreadId());
        testing::UnitTest::GetInstance()->listeners().Append(new FrameInUnitRun);
    }
    int rc = RUN_ALL_TESTS();
    if (hook) UnhookWindowsHookEx(hook);
    if (g_frameInUnitRun) rc = 1;
    CoUninitialize();
    return rc;
}
