// tests/scan/frmAusnahmen_wintest.cpp
#include "main/ClassHandler.h"
#include "main/WindowHandler.h"
#include "core/win/Menu.h"
#include "registry/clsKeyFunc.h"
#include "scan/ScanExclusions.h"
#include "scan/ScanTestRegistry.h"
#include "scan/frmAusnahmen.h"
#include "scan/frmAusnahmen.rh"
#include "support/Sandbox.h"
#include "support/Wait.h"
#include "main/frmMDI.h"
#include "main/frmMDI.rh"
#include <gtest/gtest.h>
#include <functional>
#include <vector>

namespace {
const std::wstring kKeyA = L"[HKEY_LOCAL_MACHINE\\Software\\Classes\\CLSID\\{A}]";
const std::wstring kKeyB = L"[HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Alt]";

// Runs `step` once inside the modal dialog's own message loop, when the dialog is on screen.
std::function<void(HWND)> g_step;
UINT_PTR g_timer = 0;
void CALLBACK OnTimer(HWND, UINT, UINT_PTR, DWORD) {
    HWND dialog = VisibleWindowOf(GetCurrentProcessId(), L"#32770");
    if (!dialog || !g_step) return;
    KillTimer(nullptr, g_timer);
    auto step = std::move(g_step);
    g_step = nullptr;
    step(dialog);
}
void WhenShown(std::function<void(HWND)> step) {
    g_step = std::move(step);
    g_timer = SetTimer(nullptr, 0, 20, OnTimer);
}

std::vector<std::wstring> Entries(HWND dialog) {
    HWND list = GetDlgItem(dialog, IDC_lstAusnahmen);
    std::vector<std::wstring> out;
    const int n = static_cast<int>(SendMessageW(list, LB_GETCOUNT, 0, 0));
    for (int i = 0; i < n; ++i) {
        std::wstring s(SendMessageW(list, LB_GETTEXTLEN, i, 0) + 1, L'\0');
        s.resize(SendMessageW(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(s.data())));
        out.push_back(s);
    }
    return out;
}
std::wstring TextOf(HWND w) {
    wchar_t buf[256] = L"";
    GetWindowTextW(w, buf, 256);
    return buf;
}

struct AusnahmenTest : ::testing::Test {
    RegistrySandbox sandbox;
    TempFolder folder;
    KeepProcessOnFrameExit frameExit;
    frmMDI* frame = nullptr;
    void SetUp() override {
        PrepareEnvironment(folder.Path());
        ASSERT_TRUE(ScanExclusions::Add(kKeyA));
        ASSERT_TRUE(ScanExclusions::Add(kKeyB));
        PutSz(HKEY_CURRENT_USER, L"Software\\Torvane\\Ausnahmen", L"kaputt", L"kein Schlüssel");
        frame = &WindowHandler().Get<frmMDI>();
        frame->Show();
    }
    void TearDown() override { WindowHandler().CloseWindow(WindowNo::All); }
};
}  // namespace

TEST_F(AusnahmenTest, ListsTheExcludedKeysAndRemovesTheChosenOnes) {
    EXPECT_TRUE(MenuItem::Enabled(frame->MenuBar(), IDM_mnuAusnahmenShow));
    EXPECT_EQ(MenuItem::Caption(frame->MenuBar(), IDM_mnuAusnahmenShow), L"Ausnahmen...");
    bool ran = false;
    std::vector<std::wstring> before, after;
    bool removeEnabledAtFirst = true, removeEnabledOnChoice = false;
    std::wstring caption, remove, close;
    WhenShown([&](HWND d) {
        ran = true;
        caption = TextOf(d);
        remove = TextOf(GetDlgItem(d, IDC_cmdEntfernen));
        close = TextOf(GetDlgItem(d, IDC_cmdSchliessenAusnahmen));
        before = Entries(d);
        removeEnabledAtFirst = IsWindowEnabled(GetDlgItem(d, IDC_cmdEntfernen));
        HWND list = GetDlgItem(d, IDC_lstAusnahmen);
        const int at = static_cast<int>(SendMessageW(list, LB_FINDSTRINGEXACT, -1, reinterpret_cast<LPARAM>(kKeyA.c_str())));
        SendMessageW(list, LB_SETSEL, TRUE, at);
        SendMessageW(d, WM_COMMAND, MAKEWPARAM(IDC_lstAusnahmen, LBN_SELCHANGE), reinterpret_cast<LPARAM>(list));
        removeEnabledOnChoice = IsWindowEnabled(GetDlgItem(d, IDC_cmdEntfernen));
        SendMessageW(GetDlgItem(d, IDC_cmdEntfernen), BM_CLICK, 0, 0);
        after = Entries(d);
        SendMessageW(GetDlgItem(d, IDC_cmdSchliessenAusnahmen), BM_CLICK, 0, 0);
    });
    frame->Command(IDM_mnuAusnahmenShow);  // returns when the dialog is closed
    ASSERT_TRUE(ran);
    EXPECT_EQ(caption, L"Ausnahmen");
    EXPECT_EQ(remove, L"Entfernen");
    EXPECT_EQ(close, L"Schließen");
    // The bad entry is not offered; the two keys are.
    EXPECT_EQ(before.size(), 2u);
    EXPECT_NE(std::find(before.begin(), before.end(), kKeyA), before.end());
    EXPECT_NE(std::find(before.begin(), before.end(), kKeyB), before.end());
    EXPECT_FALSE(removeEnabledAtFirst);
    EXPECT_TRUE(removeEnabledOnChoice);
    EXPECT_EQ(after, std::vector<std::wstring>{kKeyB});
    EXPECT_EQ(ClassHandler().KeyFunc().GetSetting(L"Ausnahmen", kKeyA, L"weg"), L"weg");
    EXPECT_EQ(ClassHandler().KeyFunc().GetSetting(L"Ausnahmen", kKeyB, L""), kKeyB);
    // Values go, the key and the bad entry stay.
    EXPECT_TRUE(Exists(HKEY_CURRENT_USER, L"Software\\Torvane\\Ausnahmen"));
    EXPECT_EQ(ClassHandler().KeyFunc().GetSetting(L"Ausnahmen", L"kaputt", L""), L"kein Schlüssel");
    EXPECT_EQ(VisibleWindowOf(GetCurrentProcessId(), L"#32770"), nullptr);
}

TEST_F(AusnahmenTest, ClosingAllWindowsClosesTheDialogToo) {
    HWND seen = nullptr;
    WhenShown([&](HWND d) {
        seen = d;
        WindowHandler().CloseWindow(WindowNo::All);
    });
    WindowHandler().Window(WindowNo::Ausnahmen).ShowForm();
    ASSERT_NE(seen, nullptr);
    EXPECT_FALSE(IsWindow(seen));
    EXPECT_EQ(frameExit.exitCode, 0);
    EXPECT_FALSE(WindowHandler().IsLoaded(WindowNo::MDI));
    EXPECT_FALSE(WindowHandler().IsLoaded(WindowNo::Ausnahmen));
}
