// tests/fennick/MenuBottomLine_test.cpp
// The control on its own: property rules, persistence, size and drawing.
#include "FennickTest.h"
#include <gtest/gtest.h>

namespace {
const HRESULT kError380 = CTL_E_INVALIDPROPERTYVALUE;

struct Control {
    IMenuBottomLine* p = NewControl();
    ~Control() {
        if (p) p->Release();
    }
    IMenuBottomLine* operator->() const { return p; }
    template <class I> I* As(REFIID iid) const {
        I* i = nullptr;
        p->QueryInterface(iid, reinterpret_cast<void**>(&i));
        return i;
    }
};

std::wstring LastErrorDescription() {
    IErrorInfo* info = nullptr;
    if (GetErrorInfo(0, &info) != S_OK || !info) return L"";
    BSTR d = nullptr;
    info->GetDescription(&d);
    std::wstring text = d ? d : L"";
    SysFreeString(d);
    info->Release();
    return text;
}

struct Props {
    VARIANT_BOOL autoBack;
    LONG top, bottom;
    MenuBottomLineStyle style;
};
Props Read(IMenuBottomLine* c) {
    Props p{};
    c->get_AutoBackColor(&p.autoBack);
    c->get_SpaceTop(&p.top);
    c->get_SpaceBottom(&p.bottom);
    c->get_Style(&p.style);
    return p;
}

// Activates the control in a host window without a client site; returns its window.
HWND Activate(IMenuBottomLine* c, HWND host) {
    IOleObject* o = nullptr;
    c->QueryInterface(IID_IOleObject, reinterpret_cast<void**>(&o));
    RECT area;
    GetClientRect(host, &area);
    o->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, nullptr, 0, host, &area);
    HWND h = nullptr;
    IOleInPlaceObject* ip = nullptr;
    o->QueryInterface(IID_IOleInPlaceObject, reinterpret_cast<void**>(&ip));
    ip->GetWindow(&h);
    ip->Release();
    o->Release();
    return h;
}

void Deactivate(IMenuBottomLine* c) {
    IOleObject* o = nullptr;
    c->QueryInterface(IID_IOleObject, reinterpret_cast<void**>(&o));
    o->Close(OLECLOSE_NOSAVE);
    o->Release();
}

RECT ChildRect(HWND child) {
    RECT r;
    GetWindowRect(child, &r);
    MapWindowPoints(nullptr, GetParent(child), reinterpret_cast<POINT*>(&r), 2);
    return r;
}
}  // namespace

TEST(MenuBottomLine, PropertiesKeepTheirRulesAndReportOnlyRealChanges) {
    Control c;
    ASSERT_TRUE(c.p) << "fennick.ocx not loadable";
    Props d = Read(c.p);
    EXPECT_EQ(d.autoBack, VARIANT_TRUE);
    EXPECT_EQ(d.top, 0);
    EXPECT_EQ(d.bottom, 0);
    EXPECT_EQ(d.style, mblSunken);

    ChangeCounter changes(c.p);
    // The value it already has: nothing happens, nothing is reported.
    EXPECT_EQ(c->put_SpaceTop(0), S_OK);
    EXPECT_EQ(c->put_Style(mblSunken), S_OK);
    EXPECT_TRUE(changes.changes.empty());

    EXPECT_EQ(c->put_SpaceTop(3), S_OK);
    EXPECT_EQ(c->put_SpaceTop(3), S_OK);
    EXPECT_EQ(c->put_SpaceBottom(1), S_OK);
    EXPECT_EQ(c->put_Style(mblSingle), S_OK);
    EXPECT_EQ(c->put_AutoBackColor(VARIANT_FALSE), S_OK);
    EXPECT_EQ(changes.changes, (std::vector<DISPID>{3, 2, 4, 1}));

    // Invalid values: error 380 with its text, the control unchanged, no report.
    changes.changes.clear();
    EXPECT_EQ(c->put_SpaceTop(-1), kError380);
    EXPECT_EQ(LastErrorDescription(), L"Unzulässiger Eigenschaftswert");
    EXPECT_EQ(c->put_SpaceBottom(-20), kError380);
    EXPECT_EQ(c->put_Style(static_cast<MenuBottomLineStyle>(3)), kError380);
    EXPECT_EQ(c->put_Style(static_cast<MenuBottomLineStyle>(-1)), kError380);
    Props after = Read(c.p);
    EXPECT_EQ(after.top, 3);
    EXPECT_EQ(after.bottom, 1);
    EXPECT_EQ(after.style, mblSingle);
    EXPECT_TRUE(changes.changes.empty());

    // Late-bound, as a script or form designer sets it: the same error as an exception.
    IDispatch* disp = c.As<IDispatch>(IID_IDispatch);
    ASSERT_TRUE(disp);
    LPOLESTR name = const_cast<LPOLESTR>(L"Style");
    DISPID id = 0;
    ASSERT_EQ(disp->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id), S_OK);
    EXPECT_EQ(id, 4);
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = VT_I4;
    V_I4(&v) = 3;
    DISPID put = DISPID_PROPERTYPUT;
    DISPPARAMS args{&v, &put, 1, 1};
    EXCEPINFO ex{};
    HRESULT hr = disp->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYPUT, &args, nullptr, &ex, nullptr);
    EXPECT_EQ(hr, DISP_E_EXCEPTION);
    EXPECT_EQ(ex.scode, kError380);
    EXPECT_STREQ(ex.bstrDescription ? ex.bstrDescription : L"", L"Unzulässiger Eigenschaftswert");
    SysFreeString(ex.bstrDescription);
    SysFreeString(ex.bstrSource);
    SysFreeString(ex.bstrHelpFile);
    V_I4(&v) = mblRaised;
    EXPECT_EQ(disp->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYPUT, &args, nullptr, nullptr, nullptr),
              S_OK);
    EXPECT_EQ(Read(c.p).style, mblRaised);
    disp->Release();
}

TEST(MenuBottomLine, PropertyBagRoundTripKeepsAllFourKeys) {
    const float twipsPerPixel = 1440.0f / ScreenDpiY();
    PropertyBag bag;
    {
        Control c;
        ASSERT_TRUE(c.p);
        c->put_AutoBackColor(VARIANT_FALSE);
        c->put_SpaceTop(4);
        c->put_SpaceBottom(1);
        c->put_Style(mblRaised);
        IPersistPropertyBag* persist = c.As<IPersistPropertyBag>(IID_IPersistPropertyBag);
        ASSERT_TRUE(persist);
        CLSID clsid{};
        persist->GetClassID(&clsid);
        EXPECT_TRUE(IsEqualCLSID(clsid, CLSID_MenuBottomLine));
        ASSERT_EQ(persist->Save(&bag, TRUE, TRUE), S_OK);
        persist->Release();
    }
    ASSERT_EQ(bag.values.size(), 4u);
    EXPECT_EQ(V_VT(&bag.values[L"AutoBackColor"]), VT_BOOL);
    EXPECT_EQ(V_BOOL(&bag.values[L"AutoBackColor"]), VARIANT_FALSE);
    // The margins are stored in twips as singles.
    EXPECT_EQ(V_VT(&bag.values[L"SpaceTop"]), VT_R4);
    EXPECT_FLOAT_EQ(V_R4(&bag.values[L"SpaceTop"]), 4 * twipsPerPixel);
    EXPECT_FLOAT_EQ(V_R4(&bag.values[L"SpaceBottom"]), 1 * twipsPerPixel);
    EXPECT_EQ(V_VT(&bag.values[L"Style"]), VT_I4);
    EXPECT_EQ(V_I4(&bag.values[L"Style"]), 1);

    Control loaded;
    IPersistPropertyBag* persist = loaded.As<IPersistPropertyBag>(IID_IPersistPropertyBag);
    ASSERT_EQ(persist->Load(&bag, nullptr), S_OK);
    Props p = Read(loaded.p);
    EXPECT_EQ(p.autoBack, VARIANT_FALSE);
    EXPECT_EQ(p.top, 4);
    EXPECT_EQ(p.bottom, 1);
    EXPECT_EQ(p.style, mblRaised);

    // An empty store gives the defaults; values no control could have are not taken.
    PropertyBag empty;
    ASSERT_EQ(persist->Load(&empty, nullptr), S_OK);
    p = Read(loaded.p);
    EXPECT_EQ(p.autoBack, VARIANT_TRUE);
    EXPECT_EQ(p.top, 0);
    EXPECT_EQ(p.style, mblSunken);
    PropertyBag bad;
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = VT_I4;
    V_I4(&v) = 7;
    bad.Write(L"Style", &v);
    V_VT(&v) = VT_R4;
    V_R4(&v) = -30.0f;
    bad.Write(L"SpaceTop", &v);
    V_VT(&v) = VT_BSTR;
    V_BSTR(&v) = SysAllocString(L"kein Wert");
    bad.Write(L"AutoBackColor", &v);
    VariantClear(&v);
    ASSERT_EQ(persist->Load(&bad, nullptr), S_OK);
    p = Read(loaded.p);
    EXPECT_EQ(p.autoBack, VARIANT_TRUE);
    EXPECT_EQ(p.top, 0);
    EXPECT_EQ(p.style, mblSunken);
    persist->Release();
}

TEST(MenuBottomLine, HeightFollowsStyleAndMarginsAndTheLineStaysOutOfTheWay) {
    ASSERT_EQ(ScreenDpiY(), 96) << "heights below are for 96 DPI";
    HostWindow host(300, 120);
    Control c;
    HWND line = Activate(c.p, host.hwnd());
    ASSERT_TRUE(line);
    EXPECT_EQ(GetParent(line), host.hwnd());
    RECT r = ChildRect(line);
    EXPECT_EQ(r.top, 0);
    EXPECT_EQ(r.left, 0);
    EXPECT_EQ(r.right, 300);
    EXPECT_EQ(r.bottom - r.top, 2);

    c->put_Style(mblSingle);
    r = ChildRect(line);
    EXPECT_EQ(r.bottom - r.top, 1);
    c->put_Style(mblRaised);
    c->put_SpaceTop(3);
    c->put_SpaceBottom(2);
    r = ChildRect(line);
    EXPECT_EQ(r.top, 0);
    EXPECT_EQ(r.bottom - r.top, 7);

    // Never the focus, never the mouse: the window is disabled and transparent to hits.
    EXPECT_FALSE(IsWindowEnabled(line));
    EXPECT_EQ(SendMessageW(line, WM_NCHITTEST, 0, MAKELPARAM(10, 10)), HTTRANSPARENT);

    Deactivate(c.p);
    EXPECT_FALSE(IsWindow(line));
}

TEST(MenuBottomLine, DrawsTwoRowsInTheSystemColours) {
    HostWindow host(200, 60);
    Control c;
    HWND line = Activate(c.p, host.hwnd());
    ASSERT_TRUE(line);
    const COLORREF shadow = GetSysColor(COLOR_BTNSHADOW), light = GetSysColor(COLOR_3DHIGHLIGHT),
                   frame = GetSysColor(COLOR_WINDOWFRAME), face = GetSysColor(COLOR_BTNFACE);
    EXPECT_TRUE(ShowsPixels(host.hwnd(), {{0, 0, shadow}, {199, 1, light}}));
    for (int x : {0, 100, 199}) {
        EXPECT_EQ(PixelAt(host.hwnd(), x, 0), shadow) << "x=" << x;
        EXPECT_EQ(PixelAt(host.hwnd(), x, 1), light) << "x=" << x;
        EXPECT_EQ(PixelAt(host.hwnd(), x, 2), face) << "x=" << x;
    }
    c->put_Style(mblRaised);
    EXPECT_TRUE(ShowsPixels(host.hwnd(), {{50, 0, light}, {50, 1, shadow}}));
    EXPECT_EQ(PixelAt(host.hwnd(), 50, 0), light);
    EXPECT_EQ(PixelAt(host.hwnd(), 50, 1), shadow);
    c->put_Style(mblSingle);
    c->put_SpaceTop(2);
    EXPECT_TRUE(ShowsPixels(host.hwnd(), {{50, 2, frame}, {50, 0, face}}));
    EXPECT_EQ(PixelAt(host.hwnd(), 50, 0), face);
    EXPECT_EQ(PixelAt(host.hwnd(), 50, 1), face);
    EXPECT_EQ(PixelAt(host.hwnd(), 50, 2), frame);
    EXPECT_EQ(PixelAt(host.hwnd(), 50, 3), face);
    Deactivate(c.p);
}
