// tests/support/ListNotify.h
#pragma once
#include <windows.h>
#include <commctrl.h>

// Sends a list view's notification to the list's parent as the list itself does: the header
// names the list and its id; returns the parent's answer.
inline LRESULT SendListNotify(HWND list, NMHDR& hdr) {
    hdr.hwndFrom = list;
    hdr.idFrom = static_cast<UINT_PTR>(GetDlgCtrlID(list));
    return SendMessageW(GetParent(list), WM_NOTIFY, hdr.idFrom, reinterpret_cast<LPARAM>(&hdr));
}
// A notification that carries nothing but its code (NM_CLICK, NM_RCLICK, ...).
inline LRESULT SendListNotify(HWND list, UINT code) {
    NMHDR hdr{};
    hdr.code = code;
    return SendListNotify(list, hdr);
}
// A click on the header of a column.
inline void ClickListHeader(HWND list, int column) {
    NMLISTVIEW nm{};
    nm.hdr.code = LVN_COLUMNCLICK;
    nm.iSubItem = column;
    SendListNotify(list, nm.hdr);
}
// A key as the list reports it (LVN_KEYDOWN), without the list's own reaction to it.
inline void SendListKey(HWND list, WORD key) {
    NMLVKEYDOWN nm{};
    nm.hdr.code = LVN_KEYDOWN;
    nm.wVKey = key;
    SendListNotify(list, nm.hdr);
}
