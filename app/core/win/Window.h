// app/core/win/Window.h
#pragma once
#include <windows.h>
#include <string>

// Non-owning view of a window handle with the few helpers every window needs.
// The scale of the screen a window is on (96 = 100 %).
inline UINT DpiOf(HWND h) {
    using GetDpi = UINT(WINAPI*)(HWND);
    static const auto forWindow =
        reinterpret_cast<GetDpi>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    if (forWindow && h)
        if (const UINT dpi = forWindow(h)) return dpi;
    HDC dc = GetDC(h);
    const int dpi = GetDeviceCaps(dc, LOGPIXELSY);
    ReleaseDC(h, dc);
    return dpi > 0 ? static_cast<UINT>(dpi) : 96;
}

class Wnd {
public:
    Wnd(HWND h = nullptr) : h_(h) {}
    HWND hwnd() const { return h_; }
    operator HWND() const { return h_; }
    explicit operator bool() const { return h_ && IsWindow(h_); }

    std::wstring Text() const {
        int n = GetWindowTextLengthW(h_);
        std::wstring s(n + 1, L'\0');
        s.resize(GetWindowTextW(h_, s.data(), n + 1));
        return s;
    }
    void SetText(const std::wstring& s) const { SetWindowTextW(h_, s.c_str()); }
    void Show(bool show = true) const { ShowWindow(h_, show ? SW_SHOW : SW_HIDE); }
    bool Visible() const { return IsWindowVisible(h_) != FALSE; }
    void Enable(bool on = true) const { EnableWindow(h_, on); }
    bool Enabled() const { return IsWindowEnabled(h_) != FALSE; }
    Wnd Item(int id) const { return GetDlgItem(h_, id); }
    RECT Client() const { RECT r{}; GetClientRect(h_, &r); return r; }
    RECT Bounds() const { RECT r{}; GetWindowRect(h_, &r); return r; }
    void Move(int x, int y, int w, int h) const { MoveWindow(h_, x, y, w, h, TRUE); }

protected:
    HWND h_;
};

// Screen twips per pixel (1440 / DPI), for the sizes the program keeps in twips.
int TwipsPerPixelX();
int TwipsPerPixelY();
