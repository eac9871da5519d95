// tests/fennick/MenuBottomLineSite_test.cpp
// A Torvane window hosting the registered control through MenuBottomLineSite.
#include "FennickTest.h"
#include "core/win/MenuBottomLineSite.h"
#include "support/Sandbox.h"
#include <gtest/gtest.h>

namespace {
class MenuBottomLineSiteTest : public testing::Test {
protected:
    static void SetUpTestSuite() { library_ = new RegisteredLibrary(); }
    static void TearDownTestSuite() {
        delete library_;
        library_ = nullptr;
    }
    static RegisteredLibrary* library_;
};
RegisteredLibrary* MenuBottomLineSiteTest::library_ = nullptr;

RECT ChildRect(HWND child) {
    RECT r;
    GetWindowRect(child, &r);
    MapWindowPoints(nullptr, GetParent(child), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

void SetProperty(IDispatch* control, const wchar_t* property, VARIANT value) {
    LPOLESTR name = const_cast<LPOLESTR>(property);
    DISPID id = 0;
    ASSERT_EQ(control->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id), S_OK);
    DISPID put = DISPID_PROPERTYPUT;
    DISPPARAMS args{&value, &put, 1, 1};
    ASSERT_EQ(control->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYPUT, &args, nullptr, nullptr, nullptr),
              S_OK);
}
VARIANT Long(LONG n) {
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = VT_I4;
    V_I4(&v) = n;
    return v;
}
}  // namespace

TEST_F(MenuBottomLineSiteTest, SitsAtTheTopEdgeAcrossTheWindowAndFollowsItsSize) {
    HostWindow host(320, 200);
    auto line = MenuBottomLineSite::Create(host.hwnd(), L"frmTest");
    ASSERT_TRUE(line);
    HWND w = line->Window();
    ASSERT_TRUE(w);
    EXPECT_EQ(GetParent(w), host.hwnd());
    EXPECT_TRUE(IsWindowVisible(w));
    // The window placed it without alignment; the control's first layout made it "top".
    EXPECT_EQ(line->Align(), 1);
    RECT r = ChildRect(w);
    EXPECT_EQ(r.left, 0);
    EXPECT_EQ(r.top, 0);
    EXPECT_EQ(r.right, 320);
    EXPECT_EQ(r.bottom, 2);

    SetWindowPos(host.hwnd(), nullptr, 0, 0, 500, 300, SWP_NOMOVE | SWP_NOZORDER);
    RECT client;
    GetClientRect(host.hwnd(), &client);
    r = ChildRect(w);
    EXPECT_EQ(r.top, 0);
    EXPECT_EQ(r.right, client.right);

    // Bottom stays bottom, left becomes top.
    line->SetAlign(2);
    line->Resize();
    r = ChildRect(w);
    EXPECT_EQ(line->Align(), 2);
    EXPECT_EQ(r.bottom, client.bottom);
    EXPECT_EQ(r.bottom - r.top, 2);
    line->SetAlign(3);
    line->Resize();
    EXPECT_EQ(line->Align(), 1);
    EXPECT_EQ(ChildRect(w).top, 0);
}

TEST_F(MenuBottomLineSiteTest, FollowsTheContainersBackColourOnlyWhileAutoBackColorIsOn) {
    HostWindow host(200, 80);
    auto line = MenuBottomLineSite::Create(host.hwnd(), L"frmTest");
    ASSERT_TRUE(line);
    SetProperty(line->Control(), L"SpaceTop", Long(2));  // two rows of background above the line
    line->SetBackColor(RGB(200, 0, 0));
    EXPECT_TRUE(ShowsPixels(host.hwnd(), {{10, 0, RGB(200, 0, 0)}}));
    EXPECT_EQ(PixelAt(host.hwnd(), 10, 0), RGB(200, 0, 0));
    EXPECT_EQ(PixelAt(host.hwnd(), 10, 2), GetSysColor(COLOR_BTNSHADOW));
    EXPECT_EQ(PixelAt(host.hwnd(), 10, 3), GetSysColor(COLOR_3DHIGHLIGHT));

    VARIANT off;
    VariantInit(&off);
    V_VT(&off) = VT_BOOL;
    V_BOOL(&off) = VARIANT_FALSE;
    SetProperty(line->Control(), L"AutoBackColor", off);
    line->SetBackColor(RGB(0, 0, 200));
    // Nothing to wait for when it stays: the new colour must not show even after a while.
    RedrawWindow(host.hwnd(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    EXPECT_FALSE(ShowsPixels(host.hwnd(), {{10, 0, RGB(0, 0, 200)}}, 2000));
    EXPECT_EQ(PixelAt(host.hwnd(), 10, 0), RGB(200, 0, 0));
}

TEST_F(MenuBottomLineSiteTest, GoesWithItsWindowAndLeavesNoControlBehind) {
    auto host = std::make_unique<HostWindow>(200, 80);
    auto line = MenuBottomLineSite::Create(host->hwnd(), L"frmTest");
    ASSERT_TRUE(line);
    HWND w = line->Window();
    HMODULE fennick = GetModuleHandleW(L"fennick.ocx");
    ASSERT_TRUE(fennick);
    auto canUnload = reinterpret_cast<HRESULT(WINAPI*)()>(GetProcAddress(fennick, "DllCanUnloadNow"));
    EXPECT_EQ(canUnload(), S_FALSE);
    host.reset();  // destroys the window
    EXPECT_FALSE(IsWindow(w));
    EXPECT_EQ(line->Window(), nullptr);
    EXPECT_EQ(canUnload(), S_OK) << "the window's control is still alive";
    line.reset();

    // The owner may also drop the line while the window stays.
    HostWindow other(200, 80);
    line = MenuBottomLineSite::Create(other.hwnd(), L"frmTest");
    ASSERT_TRUE(line);
    w = line->Window();
    line.reset();
    EXPECT_FALSE(IsWindow(w));
    EXPECT_EQ(canUnload(), S_OK);
    SendMessageW(other.hwnd(), WM_SIZE, 0, MAKELPARAM(100, 100));  // no site left to call
}

TEST_F(MenuBottomLineSiteTest, AWindowWithoutTheLibraryOpensAndTheLogSaysWhy) {
    RegistrySandbox sandbox;
    TempFolder folder;
    PrepareEnvironment(folder.Path());
    HostWindow host(200, 80);
    auto line = MenuBottomLineSite::Create(host.hwnd(), L"frmTest", L"Fennick.NichtRegistriert");
    EXPECT_FALSE(line);
    EXPECT_TRUE(IsWindow(host.hwnd()));
    std::string log = ReadBytes(folder.Path() + L"torvane.log");
    EXPECT_NE(log.find("frmTest; Form_Load"), std::string::npos) << log;
    EXPECT_NE(log.find("429"), std::string::npos) << log;
    EXPECT_NE(log.find("Fennick.NichtRegistriert"), std::string::npos) << log;
}
