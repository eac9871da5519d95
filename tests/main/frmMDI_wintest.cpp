// tests/main/frmMDI_wintest.cpp
#include "core/AppEnvironment.h"
#include "main/ClassHandler.h"
#include "main/WindowHandler.h"
#include "core/RuntimeError.h"
#include "core/Text.h"
#include "core/win/MdiChild.h"
#include "core/win/Menu.h"
#include "core/win/Window.h"
#include "extras/frmExtraScan.h"
#include "registry/clsKeyFunc.h"
#include "registry/clsSearch.h"
#include "support/Sandbox.h"
#include "support/Wait.h"
#include "main/frmMDI.h"
#include "main/frmMDI.rh"
#include "ui/frmPopUp.h"
#include <gtest/gtest.h>
#include <algorithm>
#include <atomic>
#include <set>

namespace {
class MainWindow : public ::testing::Test {
protected:
    void SetUp() override {
        PrepareEnvironment(folder.Path());
    }
    void TearDown() override { WindowHandler().CloseWindow(WindowNo::All); }
    frmMDI& Open() {
        frmMDI& f = WindowHandler().Get<frmMDI>();
        f.Show();
        return f;
    }
    static std::wstring TopCaption(HMENU m, int pos) {
        wchar_t buf[128] = L"";
        GetMenuStringW(m, pos, buf, 128, MF_BYPOSITION);
        return buf;
    }
    static SIZE SizeTwips(HWND h) {
        RECT r{};
        GetWindowRect(h, &r);
        return {(r.right - r.left) * TwipsPerPixelX(), (r.bottom - r.top) * TwipsPerPixelY()};
    }
    RegistrySandbox sandbox;
    TempFolder folder;
    KeepProcessOnFrameExit frameExit;
    int& exitCode = frameExit.exitCode;
};
}  // namespace

TEST_F(MainWindow, MenuTreeToolbarAndStatusBar) {
    frmMDI& f = Open();
    EXPECT_EQ(Wnd(f.hwnd()).Text(), L"Torvane");
    HMENU bar = f.MenuBar();
    const wchar_t* tops[] = {L"Datei", L"Bearbeiten", L"Ansicht", L"Extras", L"Service", L"?"};
    ASSERT_EQ(GetMenuItemCount(bar), 6);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(TopCaption(bar, i), tops[i]);
    // The "Bearbeiten" sub-menus follow the child window shown: the frame's first activation
    // shows the scan window.
    HMENU edit = GetSubMenu(bar, 1);
    const wchar_t* edits[] = {L"Registry Scan", L"Backup-Bereich", L"Installierte Programme", L"Festplatte bereinigen",
                              L"Microsoft &Office", L"Extra Scan"};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(TopCaption(edit, i), edits[i]);
        EXPECT_EQ(MenuItem::PopupEnabled(edit, i), i == 0) << i;
    }
    EXPECT_EQ(MenuItem::Caption(bar, IDM_mnuProtokollDel), L"Protokoll l&öschen");
    EXPECT_EQ(MenuItem::Caption(bar, IDM_mnuInfo), L"&Über");
    EXPECT_TRUE(MenuItem::Enabled(bar, IDM_mnuAnsichtRegeditShow));
    EXPECT_TRUE(MenuItem::Enabled(bar, IDM_mnuProtokollShow));
    EXPECT_TRUE(MenuItem::Enabled(bar, IDM_mnuHelp));
    // Commands whose window the program does not have yet never pretend to work.
    for (int id : {IDM_mnuBackupShow, IDM_mnuOptionenShow, IDM_mnuBugReportShow, IDM_mnuLiveUpdate})
        EXPECT_EQ(MenuItem::Enabled(bar, id), clsWindowHandler::Available(id == IDM_mnuBackupShow ? WindowNo::Backup
                                                                           : id == IDM_mnuOptionenShow ? WindowNo::Optionen
                                                                                                        : WindowNo::BugReport))
            << id;
    EXPECT_TRUE(MenuItem::Enabled(f.TrayMenu(), IDM_mnuPopUpShowForm));
    EXPECT_EQ(MenuItem::Caption(f.TrayMenu(), IDM_mnuPopUpDeinstall), L"Programme &deinstallieren");

    // Tool bar: ten entries, separators at 1, 5 and 9 (counted from 1).
    HWND tb = f.Toolbar();
    ASSERT_EQ(SendMessageW(tb, TB_BUTTONCOUNT, 0, 0), 10);
    const wchar_t* captions[] = {nullptr, L"Registry Scan", L"Backup", L"Programme", nullptr, L"Festplatte", L"Office",
                                 L"Extra Scan", nullptr, L"Hilfe"};
    for (int i = 0; i < 10; ++i) {
        TBBUTTON b{};
        SendMessageW(tb, TB_GETBUTTON, i, reinterpret_cast<LPARAM>(&b));
        EXPECT_EQ((b.fsStyle & BTNS_SEP) != 0, captions[i] == nullptr) << i;
        if (!captions[i]) continue;
        wchar_t text[64] = L"";
        SendMessageW(tb, TB_GETBUTTONTEXTW, b.idCommand, reinterpret_cast<LPARAM>(text));
        EXPECT_STREQ(text, captions[i]);
    }
    EXPECT_TRUE(SendMessageW(tb, TB_ISBUTTONENABLED, IDM_mnuHelp, 0));

    StatusBar s = f.Status();
    EXPECT_EQ(s.Panel(1), L"Status");
    EXPECT_EQ(s.Panel(2), L"Version " + AppEnvironment.AppVersion);
    EXPECT_EQ(s.Panel(3), L"");
    EXPECT_EQ(AppEnvironment.AppVersion, L"2.0");
}

TEST_F(MainWindow, NormalStateHasAMinimumSizeAndMaximisedIsLeftAlone) {
    frmMDI& f = Open();
    SetWindowPos(f.hwnd(), nullptr, 0, 0, 9000 / TwipsPerPixelX(), 8000 / TwipsPerPixelY(), SWP_NOMOVE | SWP_NOZORDER);
    SIZE t = SizeTwips(f.hwnd());
    EXPECT_GE(t.cx, frmMDI::kMinWidthTwips - TwipsPerPixelX());
    EXPECT_GE(t.cy, frmMDI::kMinHeightTwips - TwipsPerPixelY());
    EXPECT_LE(t.cx, frmMDI::kMinWidthTwips + TwipsPerPixelX());
    ShowWindow(f.hwnd(), SW_MAXIMIZE);
    EXPECT_TRUE(IsZoomed(f.hwnd()));
}

TEST_F(MainWindow, PositionIsRestoredAndSavedOnlyWhenAskedAndNotMinimised) {
    clsKeyFunc& k = ClassHandler().KeyFunc();
    k.SaveSetting(L"Screen", L"ScreenSave", L"1");
    k.SaveSetting(L"Screen", L"ScreenX", std::to_wstring(100 * TwipsPerPixelY()));   // top edge
    k.SaveSetting(L"Screen", L"ScreenY", std::to_wstring(40 * TwipsPerPixelX()));    // left edge
    k.SaveSetting(L"Screen", L"Form_Width", std::to_wstring(800 * TwipsPerPixelX()));
    k.SaveSetting(L"Screen", L"Form_Height", L"100");  // smaller than designed: ignored
    k.ReadAppSwitch();
    frmMDI& f = Open();
    RECT r{};
    GetWindowRect(f.hwnd(), &r);
    EXPECT_EQ(r.top, 100);
    EXPECT_EQ(r.left, 40);
    EXPECT_EQ(r.right - r.left, 800);
    EXPECT_EQ(r.bottom - r.top, frmMDI::kDesignHeightTwips / TwipsPerPixelY());

    SetWindowPos(f.hwnd(), nullptr, 30, 20, 700, 560, SWP_NOZORDER);
    WindowHandler().CloseWindow(WindowNo::All);
    EXPECT_EQ(exitCode, 0);
    EXPECT_EQ(k.GetSetting(L"Screen", L"ScreenX", L""), std::to_wstring(20 * TwipsPerPixelY()));
    EXPECT_EQ(k.GetSetting(L"Screen", L"ScreenY", L""), std::to_wstring(30 * TwipsPerPixelX()));
    EXPECT_EQ(k.GetSetting(L"Screen", L"Form_Width", L""), std::to_wstring(700 * TwipsPerPixelX()));
    EXPECT_FALSE(WindowHandler().IsLoaded(WindowNo::MDI));

    // A minimised frame at exit keeps what was saved.
    frmMDI& g = Open();
    ShowWindow(g.hwnd(), SW_MINIMIZE);
    WindowHandler().CloseWindow(WindowNo::All);
    EXPECT_EQ(k.GetSetting(L"Screen", L"ScreenY", L""), std::to_wstring(30 * TwipsPerPixelX()));
}

// Without a saved position the frame opens centred at about three quarters of the work area; a
// saved position on no monitor (a second screen since removed) comes back onto the screen.
TEST_F(MainWindow, FirstStartFitsTheScreenAndALostPositionComesBack) {
    RECT work{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    const int workWidth = work.right - work.left, workHeight = work.bottom - work.top;
    frmMDI& f = Open();
    RECT r{};
    GetWindowRect(f.hwnd(), &r);
    EXPECT_NEAR(r.right - r.left, std::max(workWidth * 3 / 4, frmMDI::kMinWidthTwips / TwipsPerPixelX()), 2);
    EXPECT_NEAR(r.bottom - r.top, std::max(workHeight * 3 / 4, frmMDI::kMinHeightTwips / TwipsPerPixelY()), 2);
    EXPECT_NEAR((r.left + r.right) / 2, (work.left + work.right) / 2, 2);
    EXPECT_NEAR((r.top + r.bottom) / 2, (work.top + work.bottom) / 2, 2);
    WindowHandler().CloseWindow(WindowNo::All);

    clsKeyFunc& k = ClassHandler().KeyFunc();
    k.SaveSetting(L"Screen", L"ScreenSave", L"1");
    k.SaveSetting(L"Screen", L"ScreenX", std::to_wstring(1500 * TwipsPerPixelY()));   // top edge, below the screen
    k.SaveSetting(L"Screen", L"ScreenY", std::to_wstring(-1900 * TwipsPerPixelX()));  // left edge, left of it
    k.SaveSetting(L"Screen", L"Form_Width", std::to_wstring(700 * TwipsPerPixelX()));
    k.ReadAppSwitch();
    frmMDI& g = Open();
    GetWindowRect(g.hwnd(), &r);
    EXPECT_EQ(r.right - r.left, 700);
    EXPECT_GE(r.left, work.left);
    EXPECT_LE(r.right, work.right);
    EXPECT_GE(r.top, work.top);
    EXPECT_LE(r.bottom, work.bottom);
}

// The tool bar's pictures follow the scale: 24 px at 100 %, 36 at 150 %, 48 at 200 % (16, 24 and 32
// on small screens), and the strip of that size is the one loaded, all seven pictures of it.
TEST_F(MainWindow, ToolbarPicturesForEveryScale) {
    const std::pair<UINT, int> large[] = {{96, 24}, {120, 32}, {144, 36}, {168, 36}, {192, 48}, {288, 48}, {0, 24}};
    for (const auto& [dpi, size] : large) EXPECT_EQ(frmMDI::ToolbarImageSize(dpi, false), size) << dpi;
    const std::pair<UINT, int> small[] = {{96, 16}, {120, 20}, {144, 24}, {192, 32}};
    for (const auto& [dpi, size] : small) EXPECT_EQ(frmMDI::ToolbarImageSize(dpi, true), size) << dpi;
    frmMDI& f = Open();
    int cx = 0, cy = 0;
    ASSERT_TRUE(ImageList_GetIconSize(f.ToolbarImages(), &cx, &cy));
    HDC dc = GetDC(f.hwnd());
    const UINT dpi = static_cast<UINT>(GetDeviceCaps(dc, LOGPIXELSY));
    ReleaseDC(f.hwnd(), dc);
    const bool smallScreen = MulDiv(GetSystemMetrics(SM_CYSCREEN), 96, static_cast<int>(dpi)) < 700;
    EXPECT_EQ(cx, frmMDI::ToolbarImageSize(dpi, smallScreen));
    EXPECT_EQ(cy, cx);
    EXPECT_EQ(ImageList_GetImageCount(f.ToolbarImages()), 7);
}

TEST_F(MainWindow, SavedWidthOfTheWholeScreenOpensMaximised) {
    clsKeyFunc& k = ClassHandler().KeyFunc();
    k.SaveSetting(L"Screen", L"ScreenSave", L"1");
    k.SaveSetting(L"Screen", L"Form_Width", std::to_wstring(GetSystemMetrics(SM_CXSCREEN) * TwipsPerPixelX()));
    k.ReadAppSwitch();
    frmMDI& f = Open();
    EXPECT_TRUE(IsZoomed(f.hwnd()));
}

TEST_F(MainWindow, WindowHandlerHandsOutOneInstanceUntilClosed) {
    frmMDI* first = &WindowHandler().Get<frmMDI>();
    EXPECT_EQ(first, &WindowHandler().Get<frmMDI>());
    EXPECT_TRUE(WindowHandler().IsLoaded(WindowNo::MDI));
    WindowHandler().CloseWindow(WindowNo::All);
    EXPECT_FALSE(WindowHandler().IsLoaded(WindowNo::MDI));
    EXPECT_TRUE(WindowHandler().Get<frmMDI>().Loaded());
    WindowHandler().CloseWindow(42);  // unknown numbers do nothing
    EXPECT_TRUE(WindowHandler().IsLoaded(WindowNo::MDI));
}

TEST_F(MainWindow, TrayMenuOpensOnRightButtonReleaseOnly) {
    frmMDI& f = Open();
    // The menu runs inside the tray message: the message returns at once when it opens none.
    struct Watch {
        static DWORD WINAPI Run(void* p) {
            auto* self = static_cast<Watch*>(p);
            const ULONGLONG until = GetTickCount64() + 60000;
            for (; !self->returned && GetTickCount64() < until; Sleep(20)) {
                HWND menu = VisibleWindowOf(GetCurrentProcessId(), L"#32768");
                if (menu) {
                    self->opened = true;
                    // Leave the menu the way a user does.
                    PostMessageW(self->owner, WM_KEYDOWN, VK_ESCAPE, 0);
                    PostMessageW(self->owner, WM_CANCELMODE, 0, 0);
                    return 0;
                }
            }
            return 0;
        }
        HWND owner = nullptr;
        std::atomic<bool> returned{false};
        bool opened = false;
    };
    auto trayEvent = [&](UINT mouse) {
        Watch w;
        w.owner = WindowHandler().Get<frmPopUp>().hwnd();
        HANDLE t = CreateThread(nullptr, 0, Watch::Run, &w, 0, nullptr);
        SendMessageW(f.hwnd(), frmMDI::kTrayMessage, 1, mouse);
        w.returned = true;
        WaitForSingleObject(t, 60000);
        CloseHandle(t);
        return w.opened;
    };
    EXPECT_FALSE(trayEvent(WM_RBUTTONDOWN));
    EXPECT_FALSE(trayEvent(WM_LBUTTONUP));
    EXPECT_TRUE(trayEvent(WM_RBUTTONUP));
    EXPECT_TRUE(IsWindow(f.hwnd()));
}

TEST_F(MainWindow, EveryWindowIsOneRowAndItsEditMenuColumnNamesItsOwnSubMenu) {
    std::set<int> numbers;
    for (const WindowRow& r : clsWindowHandler::Rows()) {
        EXPECT_TRUE(numbers.insert(r.number).second) << "two rows for window " << r.number;
        EXPECT_EQ(r.child != nullptr, r.kind == WindowKind::MdiChild) << r.number;
    }
    for (int n : {42}) EXPECT_FALSE(clsWindowHandler::Available(n));
    EXPECT_THROW(WindowHandler().Window(42), RuntimeError);

    // The class's number and the number reach the same window; only MDI children are children.
    frmMDI& f = Open();
    EXPECT_EQ(&WindowHandler().Window(WindowNo::MDI), static_cast<Form*>(&f));
    EXPECT_EQ(WindowHandler().Child(WindowNo::MDI), nullptr);
    EXPECT_EQ(WindowHandler().Child(WindowNo::Login), nullptr);

    // A child's sub-menu under "Bearbeiten" carries the child's caption, and the frame hands out that one.
    HMENU edit = GetSubMenu(f.MenuBar(), 1);
    int withMenu = 0;
    for (const WindowRow& r : clsWindowHandler::Rows()) {
        if (r.editCommand == 0) continue;
        ++withMenu;
        MdiChildForm* child = WindowHandler().Child(r.number);
        ASSERT_NE(child, nullptr) << r.number;
        HMENU sub = f.WindowEditMenu(r.number);
        int position = -1;
        for (int p = 0; p < GetMenuItemCount(edit); ++p)
            if (GetSubMenu(edit, p) == sub) position = p;
        ASSERT_GE(position, 0) << r.number;
        // The extras window's menu is named after its tool bar button, not its caption; the menu's
        // access key ("Microsoft &Office") is no part of the caption.
        std::wstring caption = TopCaption(edit, position);
        caption.erase(std::remove(caption.begin(), caption.end(), L'&'), caption.end());
        EXPECT_EQ(caption, r.number == WindowNo::ExtraScan ? L"Extra Scan" : Wnd(child->Frame()).Text()) << r.number;
        EXPECT_EQ(f.EditMenu(r.editCommand), sub) << r.number;
    }
    EXPECT_GE(withMenu, 2);
    EXPECT_EQ(f.WindowEditMenu(WindowNo::MDI), nullptr);
}

TEST_F(MainWindow, AWindowWithAGroupBoxPaintsTheInsideOfTheBox) {
    // A group box draws its frame and caption only: a dialog that clips its children never
    // paints the inside, and what stood there before a resize stays on the screen.
    Open();
    std::vector<const Dialog*> dialogs;
    for (const WindowRow& r : clsWindowHandler::Rows()) {
        if (!r.child) continue;
        MdiChildForm* child = WindowHandler().Child(r.number);
        ASSERT_NE(child, nullptr) << r.number;
        dialogs.push_back(child);
        if (auto* extras = dynamic_cast<frmExtraScan*>(child))
            for (int i = 0; i < extras->PageCount(); ++i) dialogs.push_back(&extras->Page(i));
    }
    int withBox = 0;
    for (const Dialog* d : dialogs) {
        bool box = false;
        for (HWND c = GetWindow(d->hwnd(), GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
            wchar_t cls[16] = L"";
            GetClassNameW(c, cls, 16);
            if (lstrcmpiW(cls, L"Button") == 0 && (GetWindowLongW(c, GWL_STYLE) & BS_TYPEMASK) == BS_GROUPBOX) box = true;
        }
        if (!box) continue;
        ++withBox;
        EXPECT_EQ(GetWindowLongW(d->hwnd(), GWL_STYLE) & WS_CLIPCHILDREN, 0) << ToUtf8(d->Name()) << " " << ToUtf8(d->HelpPage() ? d->HelpPage() : L"");
    }
    EXPECT_GE(withBox, 3);
}

TEST_F(MainWindow, UnloadStopsAScanThatIsStillUnderWay) {
    Open();
    // No scan window is left to end it: the frame's own unload has to.
    WindowHandler().CloseWindow(WindowNo::RegScan);
    clsSearch& search = ClassHandler().Search();
    search.ScanRun = true;
    search.StopSearch = false;
    WindowHandler().CloseWindow(WindowNo::All);
    EXPECT_EQ(exitCode, 0);
    EXPECT_TRUE(search.StopSearch);
    EXPECT_FALSE(search.ScanRun);
}
