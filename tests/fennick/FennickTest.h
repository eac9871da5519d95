// tests/fennick/FennickTest.h
#pragma once
#include "support/Wait.h"
#include <windows.h>
#include <ole2.h>
#include <olectl.h>
#include <initializer_list>
#include <map>
#include <string>
#include <vector>
#include "fennick.h"

// fennick.ocx beside the test program.
std::wstring FennickPath();
// regsvr32 /s (or /u /s) on fennick.ocx in the test prefix; returns its exit code.
DWORD Regsvr32(bool unregister);
// Whether HKEY_CLASSES_ROOT has the control's class key.
bool ClassRegistered();

// Registers the library for the tests of one suite and restores the earlier state afterwards.
class RegisteredLibrary {
public:
    RegisteredLibrary();
    ~RegisteredLibrary();

private:
    bool wasRegistered_;
};

// A control made straight from the library's class factory, without any registration.
IMenuBottomLine* NewControl();

// A property bag as a container keeps one: name to value.
class PropertyBag : public IPropertyBag {
public:
    ~PropertyBag();
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override { return 1; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP Read(LPCOLESTR name, VARIANT* value, IErrorLog*) override;
    STDMETHODIMP Write(LPCOLESTR name, VARIANT* value) override;
    std::map<std::wstring, VARIANT> values;
};

// Counts the change reports of a control (IPropertyNotifySink::OnChanged).
class ChangeCounter : public IPropertyNotifySink {
public:
    explicit ChangeCounter(IUnknown* control);
    ~ChangeCounter();
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override { return 1; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP OnChanged(DISPID id) override {
        changes.push_back(id);
        return S_OK;
    }
    STDMETHODIMP OnRequestEdit(DISPID) override { return S_OK; }
    std::vector<DISPID> changes;

private:
    IConnectionPoint* point_ = nullptr;
    DWORD cookie_ = 0;
};

// A visible top-level window with a plain client area for hosting the control.
class HostWindow {
public:
    HostWindow(int width, int height);
    ~HostWindow();
    HWND hwnd() const { return h_; }
    void Release() { h_ = nullptr; }  // after the window was destroyed by the test

private:
    HWND h_ = nullptr;
};

// Reads a pixel of a window's client area from the screen.
COLORREF PixelAt(HWND window, int x, int y);
struct Pixel {
    int x, y;
    COLORREF colour;
};
// Waits until each pixel of the window's client area shows its colour on screen (what a paint
// draws reaches the screen a little after WM_PAINT); false when they do not within the time.
bool ShowsPixels(HWND window, std::initializer_list<Pixel> pixels, DWORD timeoutMs = 30000);
int ScreenDpiY();
