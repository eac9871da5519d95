// app/core/win/MenuBottomLineSite.cpp
#include "core/win/MenuBottomLineSite.h"
#include "core/Trap.h"
#include <ole2.h>
#include <olectl.h>
#include <commctrl.h>
#include <cstdio>

namespace {
constexpr DISPID kDispAlign = 1;
constexpr UINT_PTR kSubclassId = 0x4D424C31;  // "MBL1"

std::wstring HResultText(HRESULT hr) {
    wchar_t text[16];
    swprintf(text, 16, L"0x%08lX", static_cast<unsigned long>(hr));
    return text;
}
}  // namespace

// The client site: ambient properties (BackColor) and the extended control (Align) through one
// IDispatch, because the container keeps nothing else for the control.
class MenuBottomLineSite::Site final : public IOleClientSite, public IOleControlSite, public IDispatch {
public:
    COLORREF backColor = GetSysColor(COLOR_BTNFACE);
    int align = 0;

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (riid == IID_IUnknown || riid == IID_IOleClientSite) *ppv = static_cast<IOleClientSite*>(this);
        else if (riid == IID_IOleControlSite) *ppv = static_cast<IOleControlSite*>(this);
        else if (riid == IID_IDispatch) *ppv = static_cast<IDispatch*>(this);
        else return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
    STDMETHODIMP_(ULONG) Release() override {
        ULONG n = --refs_;
        if (n == 0) delete this;
        return n;
    }

    // IOleClientSite
    STDMETHODIMP SaveObject() override { return E_NOTIMPL; }
    STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker**) override { return E_NOTIMPL; }
    STDMETHODIMP GetContainer(IOleContainer** c) override {
        if (c) *c = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP ShowObject() override { return S_OK; }
    STDMETHODIMP OnShowWindow(BOOL) override { return S_OK; }
    STDMETHODIMP RequestNewObjectLayout() override { return E_NOTIMPL; }

    // IOleControlSite
    STDMETHODIMP OnControlInfoChanged() override { return S_OK; }
    STDMETHODIMP LockInPlaceActive(BOOL) override { return S_OK; }
    STDMETHODIMP GetExtendedControl(IDispatch** d) override { return QueryInterface(IID_IDispatch, (void**)d); }
    STDMETHODIMP TransformCoords(POINTL*, POINTF*, DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP TranslateAccelerator(MSG*, DWORD) override { return S_FALSE; }
    STDMETHODIMP OnFocus(BOOL) override { return S_OK; }
    STDMETHODIMP ShowPropertyFrame() override { return E_NOTIMPL; }

    // IDispatch
    STDMETHODIMP GetTypeInfoCount(UINT* n) override {
        if (n) *n = 0;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
        HRESULT hr = S_OK;
        for (UINT i = 0; i < count; ++i) {
            if (lstrcmpiW(names[i], L"Align") == 0) ids[i] = kDispAlign;
            else if (lstrcmpiW(names[i], L"BackColor") == 0) ids[i] = DISPID_AMBIENT_BACKCOLOR;
            else ids[i] = DISPID_UNKNOWN, hr = DISP_E_UNKNOWNNAME;
        }
        return hr;
    }
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO*,
                        UINT*) override {
        if (id == DISPID_AMBIENT_BACKCOLOR && (flags & DISPATCH_PROPERTYGET) && result) {
            VariantInit(result);
            V_VT(result) = VT_I4;
            V_I4(result) = static_cast<LONG>(backColor);
            return S_OK;
        }
        if (id == kDispAlign && (flags & DISPATCH_PROPERTYGET) && result) {
            VariantInit(result);
            V_VT(result) = VT_I2;
            V_I2(result) = static_cast<SHORT>(align);
            return S_OK;
        }
        if (id == kDispAlign && (flags & DISPATCH_PROPERTYPUT) && params && params->cArgs == 1) {
            VARIANT v;
            VariantInit(&v);
            if (FAILED(VariantChangeType(&v, &params->rgvarg[0], 0, VT_I2))) return DISP_E_TYPEMISMATCH;
            align = V_I2(&v);
            return S_OK;
        }
        return DISP_E_MEMBERNOTFOUND;
    }

private:
    ~Site() = default;
    ULONG refs_ = 1;
};

std::unique_ptr<MenuBottomLineSite> MenuBottomLineSite::Create(HWND parent, const wchar_t* module,
                                                               const wchar_t* progId) {
    std::unique_ptr<MenuBottomLineSite> self(new MenuBottomLineSite());
    self->parent_ = parent;
    self->site_ = new Site();
    CLSID clsid{};
    HRESULT hr = CLSIDFromProgID(progId, &clsid);
    if (SUCCEEDED(hr))
        hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject,
                              reinterpret_cast<void**>(&self->object_));
    if (SUCCEEDED(hr)) hr = self->object_->SetClientSite(self->site_);
    if (SUCCEEDED(hr)) {
        RECT area{};
        GetClientRect(parent, &area);
        hr = self->object_->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, self->site_, 0, parent, &area);
    }
    if (SUCCEEDED(hr)) hr = self->object_->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&self->control_));
    if (SUCCEEDED(hr) && !SetWindowSubclass(parent, ParentProc, kSubclassId, reinterpret_cast<DWORD_PTR>(self.get())))
        hr = E_FAIL;
    if (FAILED(hr)) {
        // The window works without its line; the log says why it is missing.
        ReportError(module, L"Form_Load",
                    RuntimeError{429, L"Objekterstellung durch ActiveX-Komponente nicht möglich: " +
                                          std::wstring(progId) + L" (" + HResultText(hr) + L")"},
                    Style::Warning);
        return nullptr;
    }
    // The container's colour, in case the control started with another one.
    self->SetBackColor(self->site_->backColor);
    return self;
}

MenuBottomLineSite::~MenuBottomLineSite() {
    Close();
    if (site_) site_->Release();
}

void MenuBottomLineSite::Close() {
    if (parent_) RemoveWindowSubclass(parent_, ParentProc, kSubclassId);
    parent_ = nullptr;
    if (control_) control_->Release();
    control_ = nullptr;
    if (object_) {
        object_->Close(OLECLOSE_NOSAVE);
        object_->SetClientSite(nullptr);
        object_->Release();
        object_ = nullptr;
    }
}

HWND MenuBottomLineSite::Window() const {
    HWND h = nullptr;
    IOleInPlaceObject* inPlace = nullptr;
    if (object_ && SUCCEEDED(object_->QueryInterface(IID_IOleInPlaceObject, reinterpret_cast<void**>(&inPlace)))) {
        inPlace->GetWindow(&h);
        inPlace->Release();
    }
    return h;
}

COLORREF MenuBottomLineSite::BackColor() const { return site_->backColor; }

void MenuBottomLineSite::SetBackColor(COLORREF color) {
    site_->backColor = color;
    IOleControl* control = nullptr;
    if (object_ && SUCCEEDED(object_->QueryInterface(IID_IOleControl, reinterpret_cast<void**>(&control)))) {
        control->OnAmbientPropertyChange(DISPID_AMBIENT_BACKCOLOR);
        control->Release();
    }
}

int MenuBottomLineSite::Align() const { return site_->align; }

void MenuBottomLineSite::SetAlign(int align) { site_->align = align; }

void MenuBottomLineSite::Resize() {
    IOleInPlaceObject* inPlace = nullptr;
    if (!object_ || FAILED(object_->QueryInterface(IID_IOleInPlaceObject, reinterpret_cast<void**>(&inPlace)))) return;
    RECT area{};
    GetClientRect(parent_, &area);
    inPlace->SetObjectRects(&area, &area);
    inPlace->Release();
}

LRESULT CALLBACK MenuBottomLineSite::ParentProc(HWND h, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR data) {
    auto* self = reinterpret_cast<MenuBottomLineSite*>(data);
    switch (msg) {
    case WM_SIZE: self->Resize(); break;
    case WM_SYSCOLORCHANGE:
        // The line's colours are system colours already; the background follows the window's.
        self->SetBackColor(GetSysColor(COLOR_BTNFACE));
        break;
    case WM_NCDESTROY: {
        LRESULT r = DefSubclassProc(h, msg, wp, lp);
        self->Close();
        return r;
    }
    }
    return DefSubclassProc(h, msg, wp, lp);
}
