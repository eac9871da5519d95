// app/core/win/Menu.h
#pragma once
#include <windows.h>
#include <string>

// Menu items addressed by command id (the same id works in the bar and in pop-ups).
namespace MenuItem {
inline void Enable(HMENU m, UINT id, bool on) { EnableMenuItem(m, id, MF_BYCOMMAND | (on ? MF_ENABLED : MF_GRAYED)); }
inline bool Enabled(HMENU m, UINT id) {
    UINT s = GetMenuState(m, id, MF_BYCOMMAND);
    return s != static_cast<UINT>(-1) && !(s & (MF_GRAYED | MF_DISABLED));
}
inline void SetCaption(HMENU m, UINT id, const std::wstring& caption) {
    MENUITEMINFOW mi{sizeof mi};
    mi.fMask = MIIM_STRING;
    mi.dwTypeData = const_cast<wchar_t*>(caption.c_str());
    SetMenuItemInfoW(m, id, FALSE, &mi);
}
inline std::wstring Caption(HMENU m, UINT id) {
    wchar_t buf[256] = L"";
    GetMenuStringW(m, id, buf, 256, MF_BYCOMMAND);
    return buf;
}
// Enables or disables a sub-menu (by its position in the parent).
inline void EnablePopup(HMENU parent, int position, bool on) {
    EnableMenuItem(parent, position, MF_BYPOSITION | (on ? MF_ENABLED : MF_GRAYED));
}
inline bool PopupEnabled(HMENU parent, int position) {
    UINT s = GetMenuState(parent, position, MF_BYPOSITION);
    return s != static_cast<UINT>(-1) && !(s & (MF_GRAYED | MF_DISABLED));
}
}  // namespace MenuItem
