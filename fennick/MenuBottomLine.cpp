// fennick/MenuBottomLine.cpp
#include "MenuBottomLine.h"
#include <cmath>

namespace {
const wchar_t* kWindowClass = L"FennickMenuBottomLine";
const wchar_t* kInvalidValue = L"Unzulässiger Eigenschaftswert";
constexpr int kAlignNone = 0, kAlignTop = 1, kAlignBottom = 2;
constexpr DISPID kDispAutoBackColor = 1, kDispSpaceBottom = 2, kDispSpaceTop = 3, kDispStyle = 4;

// Screen twips per pixel, vertically: the unit the margins are kept in.
float TwipsPerPixelY() {
    HDC dc = GetDC(nullptr);
    int dpi = dc ? GetDeviceCaps(dc, LOGPIXELSY) : 96;
    if (dc) ReleaseDC(nullptr, dc);
    return 1440.0f / (dpi > 0 ? dpi : 96);
}

// Whole pixels of a twips value, as the property read gives them.
LONG ToPixels(float twips) { return lroundf(twips) / lroundf(TwipsPerPixelY()); }

// Error 380 to the caller, with its description in the thread's error object.
HRESULT InvalidPropertyValue() {
    ICreateErrorInfo* create = nullptr;
    if (SUCCEEDED(CreateErrorInfo(&create))) {
        create->SetGUID(IID_IMenuBottomLine);
        create->SetSource(const_cast<LPOLESTR>(L"Fennick.MenuBottomLine"));
        create->SetDescription(const_cast<LPOLESTR>(kInvalidValue));
        IErrorInfo* info = nullptr;
        if (SUCCEEDED(create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info)))) {
            SetErrorInfo(0, info);
            info->Release();
        }
        create->Release();
    }
    return CTL_E_INVALIDPROPERTYVALUE;
}

// The type information of IMenuBottomLine from the library embedded in this module, loaded once.
ITypeInfo* InterfaceTypeInfo() {
    static ITypeInfo* info = [] {
        ITypeInfo* result = nullptr;
        wchar_t path[MAX_PATH];
        GetModuleFileNameW(g_module, path, MAX_PATH);
        ITypeLib* lib = nullptr;
        if (FAILED(LoadTypeLibEx(path, REGKIND_NONE, &lib))) return result;
        ITypeInfo* dispatch = nullptr;
        if (SUCCEEDED(lib->GetTypeInfoOfGuid(IID_IMenuBottomLine, &dispatch))) {
            // Dual interface: invoke through the vtable part.
            HREFTYPE ref = 0;
            if (FAILED(dispatch->GetRefTypeOfImplType(-1, &ref)) || FAILED(dispatch->GetRefTypeInfo(ref, &result))) {
                result = dispatch;
                dispatch = nullptr;
            }
            if (dispatch) dispatch->Release();
        }
        lib->Release();
        return result;
    }();
    return info;
}

bool RegisterWindowClass(WNDPROC proc) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    if (GetClassInfoExW(g_module, kWindowClass, &wc)) return true;
    wc.lpfnWndProc = proc;
    wc.hInstance = g_module;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = kWindowClass;
    return RegisterClassExW(&wc) != 0;
}

// Reads one value of a property bag converted to `type`; false when missing or not convertible.
bool ReadBag(IPropertyBag* bag, IErrorLog* log, const wchar_t* name, VARTYPE type, VARIANT& out) {
    VariantInit(&out);
    if (FAILED(bag->Read(name, &out, log))) return false;
    if (FAILED(VariantChangeType(&out, &out, 0, type))) {
        VariantClear(&out);
        return false;
    }
    return true;
}
}  // namespace

MenuBottomLine::MenuBottomLine() { InterlockedIncrement(&g_objects); }

MenuBottomLine::~MenuBottomLine() {
    InPlaceDeactivate();
    for (auto* sink : notify_.sinks)
        if (sink) sink->Release();
    if (site_) site_->Release();
    InterlockedDecrement(&g_objects);
}

// ---- IUnknown

STDMETHODIMP MenuBottomLine::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID_IMenuBottomLine)
        *ppv = static_cast<IMenuBottomLine*>(this);
    else if (riid == IID_ISupportErrorInfo) *ppv = static_cast<ISupportErrorInfo*>(this);
    else if (riid == IID_IPersist || riid == IID_IPersistPropertyBag) *ppv = static_cast<IPersistPropertyBag*>(this);
    else if (riid == IID_IOleObject) *ppv = static_cast<IOleObject*>(this);
    else if (riid == IID_IOleWindow || riid == IID_IOleInPlaceObject) *ppv = static_cast<IOleInPlaceObject*>(this);
    else if (riid == IID_IOleControl) *ppv = static_cast<IOleControl*>(this);
    else if (riid == IID_IConnectionPointContainer) *ppv = static_cast<IConnectionPointContainer*>(this);
    else return E_NOINTERFACE;
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) MenuBottomLine::AddRef() { return InterlockedIncrement(&refs_); }

STDMETHODIMP_(ULONG) MenuBottomLine::Release() {
    ULONG n = InterlockedDecrement(&refs_);
    if (n == 0) delete this;
    return n;
}

// ---- IDispatch

STDMETHODIMP MenuBottomLine::GetTypeInfoCount(UINT* count) {
    if (!count) return E_POINTER;
    *count = InterfaceTypeInfo() ? 1 : 0;
    return S_OK;
}

STDMETHODIMP MenuBottomLine::GetTypeInfo(UINT index, LCID, ITypeInfo** info) {
    if (!info) return E_POINTER;
    *info = nullptr;
    if (index != 0) return DISP_E_BADINDEX;
    ITypeInfo* ti = InterfaceTypeInfo();
    if (!ti) return E_FAIL;
    ti->AddRef();
    *info = ti;
    return S_OK;
}

STDMETHODIMP MenuBottomLine::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
    ITypeInfo* ti = InterfaceTypeInfo();
    return ti ? DispGetIDsOfNames(ti, names, count, ids) : E_FAIL;
}

STDMETHODIMP MenuBottomLine::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                    EXCEPINFO* excep, UINT* argErr) {
    ITypeInfo* ti = InterfaceTypeInfo();
    if (!ti) return E_FAIL;
    return DispInvoke(static_cast<IMenuBottomLine*>(this), ti, id, flags, params, result, excep, argErr);
}

// ---- IMenuBottomLine

STDMETHODIMP MenuBottomLine::get_AutoBackColor(VARIANT_BOOL* value) {
    if (!value) return E_POINTER;
    *value = autoBackColor_;
    return S_OK;
}

STDMETHODIMP MenuBottomLine::put_AutoBackColor(VARIANT_BOOL value) {
    autoBackColor_ = value ? VARIANT_TRUE : VARIANT_FALSE;
    PropertyChanged(kDispAutoBackColor);
    return S_OK;
}

STDMETHODIMP MenuBottomLine::get_SpaceBottom(LONG* value) {
    if (!value) return E_POINTER;
    *value = ToPixels(spaceBottom_);
    return S_OK;
}

STDMETHODIMP MenuBottomLine::put_SpaceBottom(LONG New_SpaceBottom) {
    if (New_SpaceBottom == ToPixels(spaceBottom_)) return S_OK;
    if (New_SpaceBottom < 0) return InvalidPropertyValue();
    spaceBottom_ = New_SpaceBottom * TwipsPerPixelY();
    Layout();
    PropertyChanged(kDispSpaceBottom);
    return S_OK;
}

STDMETHODIMP MenuBottomLine::get_SpaceTop(LONG* value) {
    if (!value) return E_POINTER;
    *value = ToPixels(spaceTop_);
    return S_OK;
}

STDMETHODIMP MenuBottomLine::put_SpaceTop(LONG New_SpaceTop) {
    if (New_SpaceTop == ToPixels(spaceTop_)) return S_OK;
    if (New_SpaceTop < 0) return InvalidPropertyValue();
    spaceTop_ = New_SpaceTop * TwipsPerPixelY();
    Layout();
    PropertyChanged(kDispSpaceTop);
    return S_OK;
}

STDMETHODIMP MenuBottomLine::get_Style(MenuBottomLineStyle* value) {
    if (!value) return E_POINTER;
    *value = style_;
    return S_OK;
}

STDMETHODIMP MenuBottomLine::put_Style(MenuBottomLineStyle New_Style) {
    if (New_Style == style_) return S_OK;
    if (New_Style != mblSunken && New_Style != mblRaised && New_Style != mblSingle) return InvalidPropertyValue();
    style_ = New_Style;
    Layout();
    PropertyChanged(kDispStyle);
    return S_OK;
}

STDMETHODIMP MenuBottomLine::InterfaceSupportsErrorInfo(REFIID riid) {
    return riid == IID_IMenuBottomLine ? S_OK : S_FALSE;
}

// ---- IPersistPropertyBag

STDMETHODIMP MenuBottomLine::GetClassID(CLSID* clsid) {
    if (!clsid) return E_POINTER;
    *clsid = CLSID_MenuBottomLine;
    return S_OK;
}

STDMETHODIMP MenuBottomLine::InitNew() {
    autoBackColor_ = VARIANT_TRUE;
    spaceTop_ = spaceBottom_ = 0;
    style_ = mblSunken;
    Layout();
    return S_OK;
}

STDMETHODIMP MenuBottomLine::Load(IPropertyBag* bag, IErrorLog* log) {
    if (!bag) return E_POINTER;
    InitNew();
    // A value the bag does not hold, or one out of range, keeps its default.
    VARIANT v;
    if (ReadBag(bag, log, L"AutoBackColor", VT_BOOL, v)) autoBackColor_ = V_BOOL(&v) ? VARIANT_TRUE : VARIANT_FALSE;
    if (ReadBag(bag, log, L"SpaceBottom", VT_R4, v) && V_R4(&v) >= 0) spaceBottom_ = V_R4(&v);
    if (ReadBag(bag, log, L"SpaceTop", VT_R4, v) && V_R4(&v) >= 0) spaceTop_ = V_R4(&v);
    if (ReadBag(bag, log, L"Style", VT_I4, v) && V_I4(&v) >= mblSunken && V_I4(&v) <= mblSingle)
        style_ = static_cast<MenuBottomLineStyle>(V_I4(&v));
    Layout();
    return S_OK;
}

STDMETHODIMP MenuBottomLine::Save(IPropertyBag* bag, BOOL, BOOL) {
    if (!bag) return E_POINTER;
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = VT_BOOL;
    V_BOOL(&v) = autoBackColor_;
    HRESULT hr = bag->Write(L"AutoBackColor", &v);
    V_VT(&v) = VT_R4;
    V_R4(&v) = spaceBottom_;
    if (SUCCEEDED(hr)) hr = bag->Write(L"SpaceBottom", &v);
    V_R4(&v) = spaceTop_;
    if (SUCCEEDED(hr)) hr = bag->Write(L"SpaceTop", &v);
    V_VT(&v) = VT_I4;
    V_I4(&v) = style_;
    if (SUCCEEDED(hr)) hr = bag->Write(L"Style", &v);
    return hr;
}

// ---- IOleObject

STDMETHODIMP MenuBottomLine::SetClientSite(IOleClientSite* site) {
    if (site) site->AddRef();
    if (site_) site_->Release();
    site_ = site;
    return S_OK;
}

STDMETHODIMP MenuBottomLine::GetClientSite(IOleClientSite** site) {
    if (!site) return E_POINTER;
    *site = site_;
    if (site_) site_->AddRef();
    return S_OK;
}

STDMETHODIMP MenuBottomLine::Close(DWORD) { return InPlaceDeactivate(); }

STDMETHODIMP MenuBottomLine::DoVerb(LONG verb, LPMSG, IOleClientSite*, LONG, HWND parent, LPCRECT area) {
    if (verb == OLEIVERB_HIDE) {
        if (hwnd_) ShowWindow(hwnd_, SW_HIDE);
        return S_OK;
    }
    if (verb != OLEIVERB_PRIMARY && verb != OLEIVERB_SHOW && verb != OLEIVERB_INPLACEACTIVATE &&
        verb != OLEIVERB_UIACTIVATE)
        return OLEOBJ_S_INVALIDVERB;
    if (!hwnd_) {
        if (!parent || !IsWindow(parent) || !RegisterWindowClass(WndProc)) return E_INVALIDARG;
        if (area) area_ = *area;
        else GetClientRect(parent, &area_);
        // Disabled from the start: the line never takes the focus or the mouse.
        hwnd_ = CreateWindowExW(WS_EX_NOPARENTNOTIFY, kWindowClass, L"", WS_CHILD | WS_DISABLED | WS_CLIPSIBLINGS,
                                area_.left, area_.top, area_.right - area_.left, HeightInPixels(), parent, nullptr,
                                g_module, this);
        if (!hwnd_) return HRESULT_FROM_WIN32(GetLastError());
    }
    Layout();
    ShowWindow(hwnd_, SW_SHOWNA);
    return S_OK;
}

STDMETHODIMP MenuBottomLine::GetMiscStatus(DWORD, DWORD* status) {
    if (!status) return E_POINTER;
    *status = OLEMISC_SETCLIENTSITEFIRST | OLEMISC_ACTIVATEWHENVISIBLE | OLEMISC_INSIDEOUT |
              OLEMISC_RECOMPOSEONRESIZE | OLEMISC_NOUIACTIVATE | OLEMISC_ALIGNABLE;
    return S_OK;
}

// ---- IOleInPlaceObject

STDMETHODIMP MenuBottomLine::GetWindow(HWND* hwnd) {
    if (!hwnd) return E_POINTER;
    *hwnd = hwnd_;
    return hwnd_ ? S_OK : E_FAIL;
}

STDMETHODIMP MenuBottomLine::InPlaceDeactivate() {
    if (hwnd_) {
        HWND h = hwnd_;
        hwnd_ = nullptr;
        SetWindowLongPtrW(h, GWLP_USERDATA, 0);
        DestroyWindow(h);
    }
    return S_OK;
}

STDMETHODIMP MenuBottomLine::SetObjectRects(LPCRECT area, LPCRECT) {
    if (!area) return E_POINTER;
    area_ = *area;
    Layout();
    return S_OK;
}

// ---- IOleControl

STDMETHODIMP MenuBottomLine::OnAmbientPropertyChange(DISPID id) {
    // DISPID_UNKNOWN: several ambient properties changed at once, BackColor maybe among them.
    if (!autoBackColor_ || (id != DISPID_AMBIENT_BACKCOLOR && id != DISPID_UNKNOWN) || !site_) return S_OK;
    IDispatch* ambient = nullptr;
    if (FAILED(site_->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&ambient)))) return S_OK;
    DISPPARAMS none{};
    VARIANT v;
    VariantInit(&v);
    if (SUCCEEDED(ambient->Invoke(DISPID_AMBIENT_BACKCOLOR, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET,
                                  &none, &v, nullptr, nullptr)) &&
        SUCCEEDED(VariantChangeType(&v, &v, 0, VT_UI4))) {
        backColor_ = V_UI4(&v);
        if (hwnd_) InvalidateRect(hwnd_, nullptr, TRUE);
    }
    VariantClear(&v);
    ambient->Release();
    return S_OK;
}

// ---- IConnectionPointContainer

STDMETHODIMP MenuBottomLine::FindConnectionPoint(REFIID riid, IConnectionPoint** point) {
    if (!point) return E_POINTER;
    *point = nullptr;
    if (riid != IID_IPropertyNotifySink) return CONNECT_E_NOCONNECTION;
    *point = &notify_;
    notify_.AddRef();
    return S_OK;
}

STDMETHODIMP MenuBottomLine::NotifyPoint::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (riid != IID_IUnknown && riid != IID_IConnectionPoint) return E_NOINTERFACE;
    *ppv = static_cast<IConnectionPoint*>(this);
    AddRef();
    return S_OK;
}

STDMETHODIMP MenuBottomLine::NotifyPoint::GetConnectionInterface(IID* iid) {
    if (!iid) return E_POINTER;
    *iid = IID_IPropertyNotifySink;
    return S_OK;
}

STDMETHODIMP MenuBottomLine::NotifyPoint::GetConnectionPointContainer(IConnectionPointContainer** container) {
    if (!container) return E_POINTER;
    *container = &owner_;
    owner_.AddRef();
    return S_OK;
}

STDMETHODIMP MenuBottomLine::NotifyPoint::Advise(IUnknown* sink, DWORD* cookie) {
    if (!sink || !cookie) return E_POINTER;
    *cookie = 0;
    IPropertyNotifySink* s = nullptr;
    if (FAILED(sink->QueryInterface(IID_IPropertyNotifySink, reinterpret_cast<void**>(&s)))) return CONNECT_E_CANNOTCONNECT;
    try {
        sinks.push_back(s);
    } catch (...) {
        s->Release();
        return E_OUTOFMEMORY;
    }
    *cookie = static_cast<DWORD>(sinks.size());
    return S_OK;
}

STDMETHODIMP MenuBottomLine::NotifyPoint::Unadvise(DWORD cookie) {
    if (cookie == 0 || cookie > sinks.size() || !sinks[cookie - 1]) return CONNECT_E_NOCONNECTION;
    IPropertyNotifySink* s = sinks[cookie - 1];
    sinks[cookie - 1] = nullptr;
    s->Release();
    return S_OK;
}

// ---- drawing and layout

void MenuBottomLine::PropertyChanged(DISPID id) {
    // A copy: a sink may unadvise while it is told.
    std::vector<IPropertyNotifySink*> sinks = notify_.sinks;
    for (auto* s : sinks)
        if (s) s->OnChanged(id);
}

int MenuBottomLine::Align() {
    int align = align_;
    IOleControlSite* controlSite = nullptr;
    if (site_ && SUCCEEDED(site_->QueryInterface(IID_IOleControlSite, reinterpret_cast<void**>(&controlSite)))) {
        IDispatch* extender = nullptr;
        if (SUCCEEDED(controlSite->GetExtendedControl(&extender)) && extender) {
            LPOLESTR name = const_cast<LPOLESTR>(L"Align");
            DISPID id = 0;
            DISPPARAMS none{};
            VARIANT v;
            VariantInit(&v);
            if (SUCCEEDED(extender->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id)) &&
                SUCCEEDED(extender->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none, &v,
                                           nullptr, nullptr)) &&
                SUCCEEDED(VariantChangeType(&v, &v, 0, VT_I4)))
                align = V_I4(&v);
            VariantClear(&v);
            extender->Release();
        }
        controlSite->Release();
    }
    return align;
}

void MenuBottomLine::SetAlign(int align) {
    align_ = align;
    IOleControlSite* controlSite = nullptr;
    if (!site_ || FAILED(site_->QueryInterface(IID_IOleControlSite, reinterpret_cast<void**>(&controlSite)))) return;
    IDispatch* extender = nullptr;
    if (SUCCEEDED(controlSite->GetExtendedControl(&extender)) && extender) {
        LPOLESTR name = const_cast<LPOLESTR>(L"Align");
        DISPID id = 0;
        if (SUCCEEDED(extender->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id))) {
            VARIANT v;
            VariantInit(&v);
            V_VT(&v) = VT_I2;
            V_I2(&v) = static_cast<SHORT>(align);
            DISPID put = DISPID_PROPERTYPUT;
            DISPPARAMS args{&v, &put, 1, 1};
            extender->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYPUT, &args, nullptr, nullptr,
                             nullptr);
        }
        extender->Release();
    }
    controlSite->Release();
}

int MenuBottomLine::HeightInPixels() const {
    const float p = TwipsPerPixelY();
    const float lines = style_ == mblSingle ? p : 2 * p;
    return lroundf((lines + spaceTop_ + spaceBottom_) / p);
}

void MenuBottomLine::Layout() {
    if (busy_) return;
    busy_ = true;
    int align = Align();
    if (align != kAlignTop && align != kAlignBottom) {
        SetAlign(kAlignTop);
        align = kAlignTop;
    }
    if (hwnd_) {
        EnableWindow(hwnd_, FALSE);
        const int height = HeightInPixels();
        const int width = area_.right - area_.left;
        const int top = align == kAlignBottom ? area_.bottom - height : area_.top;
        SetWindowPos(hwnd_, nullptr, area_.left, top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
        InvalidateRect(hwnd_, nullptr, TRUE);
    }
    busy_ = false;
}

void MenuBottomLine::Paint() {
    Layout();
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd_, &ps);
    RECT client;
    GetClientRect(hwnd_, &client);
    COLORREF back = 0;
    if (FAILED(OleTranslateColor(backColor_, nullptr, &back))) back = GetSysColor(COLOR_BTNFACE);
    HBRUSH brush = CreateSolidBrush(back);
    FillRect(dc, &client, brush);
    DeleteObject(brush);

    const float p = TwipsPerPixelY();
    const int y = lroundf(spaceTop_ / p);
    // lnShadow, then lnHighlight one pixel below it.
    int upper = COLOR_BTNSHADOW, lower = COLOR_3DHIGHLIGHT;
    if (style_ == mblRaised) std::swap(upper, lower);
    if (style_ == mblSingle) upper = COLOR_WINDOWFRAME;
    RECT row{0, y, client.right, y + 1};
    FillRect(dc, &row, GetSysColorBrush(upper));
    if (style_ != mblSingle) {
        OffsetRect(&row, 0, 1);
        FillRect(dc, &row, GetSysColorBrush(lower));
    }
    EndPaint(hwnd_, &ps);
}

LRESULT CALLBACK MenuBottomLine::WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_NCCREATE)
        SetWindowLongPtrW(hwnd, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams));
    auto* self = reinterpret_cast<MenuBottomLine*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    switch (msg) {
    case WM_PAINT:
        if (self) {
            self->Paint();
            return 0;
        }
        break;
    case WM_ERASEBKGND: return 1;  // painted in one go
    case WM_SIZE:
        if (self) self->Layout();
        return 0;
    case WM_NCHITTEST: return HTTRANSPARENT;
    case WM_MOUSEACTIVATE: return MA_NOACTIVATE;
    case WM_NCDESTROY:
        if (self && self->hwnd_ == hwnd) self->hwnd_ = nullptr;
        break;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}
