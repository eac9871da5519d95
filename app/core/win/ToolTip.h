// app/core/win/ToolTip.h
#pragma once
#include <windows.h>
#include <commctrl.h>
#include <string>

// The tooltips of one dialog: one tooltip window, a text per control.
class ToolTips {
public:
    ToolTips() = default;
    ToolTips(const ToolTips&) = delete;
    ToolTips& operator=(const ToolTips&) = delete;
    ~ToolTips() { if (tip_ && IsWindow(tip_)) DestroyWindow(tip_); }

    void Add(HWND dialog, int controlId, const std::wstring& text) {
        if (!tip_)
            tip_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
                                   CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, dialog, nullptr,
                                   GetModuleHandleW(nullptr), nullptr);
        TTTOOLINFOW ti{};
        ti.cbSize = sizeof ti;
        ti.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
        ti.hwnd = dialog;
        ti.uId = reinterpret_cast<UINT_PTR>(GetDlgItem(dialog, controlId));
        ti.lpszText = const_cast<wchar_t*>(text.c_str());
        SendMessageW(tip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&ti));
    }
    // The text shown for a control ("" when it has none).
    std::wstring Text(HWND dialog, int controlId) const {
        wchar_t buf[512] = L"";
        TTTOOLINFOW ti{};
        ti.cbSize = sizeof ti;
        ti.hwnd = dialog;
        ti.uId = reinterpret_cast<UINT_PTR>(GetDlgItem(dialog, controlId));
        ti.lpszText = buf;
        if (tip_) SendMessageW(tip_, TTM_GETTEXTW, 512, reinterpret_cast<LPARAM>(&ti));
        return buf;
    }

private:
    HWND tip_ = nullptr;
};
