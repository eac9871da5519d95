// tests/fennick/FennickTest.cpp
#include "FennickTest.h"
#include "support/Sandbox.h"
#include "support/Wait.h"
#include "core/AppEnvironment.h"

std::wstring FennickPath() { return ProgramFolder() + L"fennick.ocx"; }

DWORD Regsvr32(bool unregister) {
    return RunAndWait(std::wstring(L"regsvr32.exe ") + (unregister ? L"/u " : L"") + L"/s \"" + FennickPath() + L"\"");
}

bool ClassRegistered() {
    HKEY k = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, L"CLSID\\{8B918202-6B89-4703-9851-8921CE2F7787}\\InprocServer32", 0,
                      KEY_READ, &k) != ERROR_SUCCESS)
        return false;
    RegCloseKey(k);
    return true;
}

RegisteredLibrary::RegisteredLibrary() : wasRegistered_(ClassRegistered()) { Regsvr32(false); }
RegisteredLibrary::~RegisteredLibrary() {
    if (!wasRegistered_) Regsvr32(true);
}

IMenuBottomLine* NewControl() {
    static HMODULE lib = LoadLibraryW(FennickPath().c_str());
    if (!lib) return nullptr;
    auto get = reinterpret_cast<HRESULT(WINAPI*)(REFCLSID, REFIID, void**)>(GetProcAddress(lib, "DllGetClassObject"));
    IClassFactory* factory = nullptr;
    if (!get || FAILED(get(CLSID_MenuBottomLine, IID_IClassFactory, reinterpret_cast<void**>(&factory)))) return nullptr;
    IMenuBottomLine* control = nullptr;
    factory->CreateInstance(nullptr, IID_IMenuBottomLine, reinterpret_cast<void**>(&control));
    factory->Release();
    return control;
}

PropertyBag::~PropertyBag() {
    for (auto& [name, v] : values) VariantClear(&v);
}
STDMETHODIMP PropertyBag::QueryInterface(REFIID riid, void** ppv) {
    *ppv = (riid == IID_IUnknown || riid == IID_IPropertyBag) ? this : nullptr;
    return *ppv ? S_OK : E_NOINTERFACE;
}
STDMETHODIMP PropertyBag::Read(LPCOLESTR name, VARIANT* value, IErrorLog*) {
    auto it = values.find(name);
    if (it == values.end()) return E_INVALIDARG;
    return VariantCopy(value, &it->second);
}
STDMETHODIMP PropertyBag::Write(LPCOLESTR name, VARIANT* value) {
    VARIANT& slot = values[name];
    VariantClear(&slot);
    return VariantCopy(&slot, value);
}

ChangeCounter::ChangeCounter(IUnknown* control) {
    IConnectionPointContainer* c = nullptr;
    if (SUCCEEDED(control->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&c)))) {
        if (SUCCEEDED(c->FindConnectionPoint(IID_IPropertyNotifySink, &point_))) point_->Advise(this, &cookie_);
        c->Release();
    }
}
ChangeCounter::~ChangeCounter() {
    if (point_) {
        point_->Unadvise(cookie_);
        point_->Release();
    }
}
STDMETHODIMP ChangeCounter::QueryInterface(REFIID riid, void** ppv) {
    *ppv = (riid == IID_IUnknown || riid == IID_IPropertyNotifySink) ? this : nullptr;
    return *ppv ? S_OK : E_NOINTERFACE;
}

HostWindow::HostWindow(int width, int height) {
    static ATOM atom = [] {
        WNDCLASSW wc{};
        wc.lpfnWndProc = DefWindowProcW;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
        wc.lpszClassName = L"FennickTestHost";
        return RegisterClassW(&wc);
    }();
    (void)atom;
    RECT r{0, 0, width, height};
    AdjustWindowRect(&r, WS_OVERLAPPEDWINDOW, FALSE);
    h_ = CreateWindowW(L"FennickTestHost", L"Fennick test", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN | WS_VISIBLE, 40, 40,
                       r.right - r.left, r.bottom - r.top, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    UpdateWindow(h_);
    PumpPending();
}
HostWindow::~HostWindow() {
    if (h_ && IsWindow(h_)) DestroyWindow(h_);
}

bool ShowsPixels(HWND window, std::initializer_list<Pixel> pixels, DWORD timeoutMs) {
    return WaitFor([&] {
        for (const Pixel& p : pixels)
            if (PixelAt(window, p.x, p.y) != p.colour) return false;
        return true;
    }, timeoutMs);
}

COLORREF PixelAt(HWND window, int x, int y) {
    POINT p{x, y};
    ClientToScreen(window, &p);
    HDC dc = GetDC(nullptr);
    COLORREF c = GetPixel(dc, p.x, p.y);
    ReleaseDC(nullptr, dc);
    return c;
}

int ScreenDpiY() {
    HDC dc = GetDC(nullptr);
    int dpi = GetDeviceCaps(dc, LOGPIXELSY);
    ReleaseDC(nullptr, dc);
    return dpi;
}
