// app/core/win/WindowThunk.h
#pragma once
#include <windows.h>

// The procedure of a window class of our own whose object is CreateWindowExW's last parameter:
// from WM_NCCREATE on every message goes to (object->*Handle)(window, msg, wp, lp), which answers
// what it does not handle with the default procedure it needs. Before WM_NCCREATE, and once the
// object has let go of the window (GWLP_USERDATA set to 0), DefWindowProc answers.
template <class T, LRESULT (T::*Handle)(HWND, UINT, WPARAM, LPARAM)>
LRESULT CALLBACK WindowThunk(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_NCCREATE)
        SetWindowLongPtrW(h, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(reinterpret_cast<const CREATESTRUCTW*>(lp)->lpCreateParams));
    auto* self = reinterpret_cast<T*>(GetWindowLongPtrW(h, GWLP_USERDATA));
    if (msg == WM_NCDESTROY) SetWindowLongPtrW(h, GWLP_USERDATA, 0);
    return self ? (self->*Handle)(h, msg, wp, lp) : DefWindowProcW(h, msg, wp, lp);
}
