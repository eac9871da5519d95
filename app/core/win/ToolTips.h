// app/core/win/ToolTips.h
#pragma once
#include <windows.h>
#include <commctrl.h>
#include <string>

// Gives a control of a dialog its tooltip. The dialog keeps one tooltip window, made on first
// use; the dialog owns it, so it goes with the dialog.
inline void AddToolTip(HWND dialog, int controlId, const wchar_t* text) {
    HWND tips = static_cast<HWND>(GetPropW(dialog, L"TorvaneToolTips"));
    if (!tips) {
        tips = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
                               CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, dialog, nullptr,
                               GetModuleHandleW(nullptr), nullptr);
        if (!tips) return;
        SendMessageW(tips, TTM_SETMAXTIPWIDTH, 0, 400);
        SetPropW(dialog, L"TorvaneToolTips", tips);
    }
    TTTOOLINFOW ti{};
    ti.cbSize = sizeof ti;
    ti.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    ti.hwnd = dialog;
    ti.uId = reinterpret_cast<UINT_PTR>(GetDlgItem(dialog, controlId));
    ti.lpszText = const_cast<wchar_t*>(text);
    SendMessageW(tips, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&ti));
}

// The tooltip text of a control ("" when it has none).
inline std::wstring ToolTipText(HWND dialog, int controlId) {
    wchar_t buf[512] = L"";
    HWND tips = static_cast<HWND>(GetPropW(dialog, L"TorvaneToolTips"));
    TTTOOLINFOW ti{};
    ti.cbSize = sizeof ti;
    ti.hwnd = dialog;
    ti.uId = reinterpret_cast<UINT_PTR>(GetDlgItem(dialog, controlId));
    ti.lpszText = buf;
    if (tips) SendMessageW(tips, TTM_GETTEXTW, 512, reinterpret_cast<LPARAM>(&ti));
    return buf;
}
