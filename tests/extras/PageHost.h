// tests/extras/PageHost.h
#pragma once
#include "main/WindowHandler.h"
#include "extras/ExtrasPage.h"
#include "support/Sandbox.h"
#include "main/frmMDI.h"
#include <windows.h>

// A plain top-level window that holds one extras page as the extras window would: created inside
// it, filling its client area, shown, then activated. The main window is there for the menus.
class PageHost {
public:
    explicit PageHost(ExtrasPage& page, int width = 820, int height = 520) : page_(page) {
        WindowHandler().Get<frmMDI>().Show();
        static const wchar_t* kClass = L"TorvanePageHost";
        WNDCLASSW wc{};
        wc.lpfnWndProc = Proc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
        wc.lpszClassName = kClass;
        wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        RegisterClassW(&wc);
        host_ = CreateWindowExW(0, kClass, page.Caption(), WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 20, 20, width,
                                height, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
        page.CreateModeless(host_, page.TemplateId());
        RECT r{};
        GetClientRect(host_, &r);
        MoveWindow(page.hwnd(), 0, 0, r.right, r.bottom, TRUE);
        ShowWindow(page.hwnd(), SW_SHOW);
        ShowWindow(host_, SW_SHOW);
        UpdateWindow(host_);
        page.PageActivate();
    }
    ~PageHost() {
        page_.Destroy();
        DestroyWindow(host_);
        WindowHandler().CloseWindow(WindowNo::All);
    }
    HWND hwnd() const { return host_; }

private:
    static LRESULT CALLBACK Proc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
        if (msg == WM_SIZE)
            if (HWND page = GetWindow(h, GW_CHILD)) MoveWindow(page, 0, 0, LOWORD(lp), HIWORD(lp), TRUE);
        return DefWindowProcW(h, msg, wp, lp);
    }
    ExtrasPage& page_;
    HWND host_ = nullptr;
    KeepProcessOnFrameExit frameExit_;
};
