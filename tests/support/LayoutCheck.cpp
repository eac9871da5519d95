// tests/support/LayoutCheck.cpp
#include "support/LayoutCheck.h"
#include "core/Text.h"
#include "support/Browser.h"
#include "support/Sandbox.h"
#include "support/Wait.h"
#include <commctrl.h>
#include <algorithm>
#include <cstdio>

namespace {
std::wstring ClassOf(HWND h) {
    wchar_t c[64] = L"";
    GetClassNameW(h, c, 64);
    return c;
}

std::wstring TextOf(HWND h) {
    std::wstring t(static_cast<size_t>(GetWindowTextLengthW(h)) + 1, L'\0');
    t.resize(static_cast<size_t>(GetWindowTextW(h, t.data(), static_cast<int>(t.size()))));
    return t;
}

// The text as it is drawn: "&&" is one "&", a single "&" marks the access key and takes no room.
std::wstring Shown(const std::wstring& text) {
    std::wstring s;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'&' && i + 1 < text.size()) ++i;
        s += text[i];
    }
    return s;
}

std::wstring Describe(HWND h) {
    const std::wstring text = TextOf(h);
    return ClassOf(h) + L" " + std::to_wstring(GetDlgCtrlID(h)) + (text.empty() ? L"" : L" \"" + text.substr(0, 40) + L"\"");
}

// Width and height of a text in the control's font; `wrapWidth` > 0 wraps it at that width.
SIZE Measure(HWND control, const std::wstring& text, int wrapWidth = 0) {
    HDC dc = GetDC(control);
    const HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)));
    RECT r{0, 0, wrapWidth > 0 ? wrapWidth : 100000, 0};
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &r,
              DT_CALCRECT | DT_NOPREFIX | (wrapWidth > 0 ? DT_WORDBREAK : DT_SINGLELINE));
    SelectObject(dc, old);
    ReleaseDC(control, dc);
    return {r.right - r.left, r.bottom - r.top};
}

void CheckText(HWND h, std::vector<std::wstring>& faults, const std::wstring& name, const LayoutCheckOptions& options) {
    const std::wstring cls = ClassOf(h), text = Shown(TextOf(h));
    RECT c{};
    GetClientRect(h, &c);
    const int width = c.right - c.left, height = c.bottom - c.top;
    if (width <= 0 || height <= 0) return;
    const LONG style = GetWindowLongW(h, GWL_STYLE);
    auto fault = [&](const std::wstring& what) { faults.push_back(name + L": " + Describe(h) + L": " + what); };
    if (lstrcmpiW(cls.c_str(), L"Button") == 0 && !text.empty()) {
        const LONG type = style & BS_TYPEMASK;
        if (type == BS_GROUPBOX) {
            if (Measure(h, text).cx + 16 > width) fault(L"Beschriftung breiter als der Rahmen");
            return;
        }
        if (type == BS_OWNERDRAW) return;
        const bool box = type == BS_CHECKBOX || type == BS_AUTOCHECKBOX || type == BS_RADIOBUTTON ||
                         type == BS_AUTORADIOBUTTON || type == BS_3STATE || type == BS_AUTO3STATE;
        const int room = width - (box ? GetSystemMetrics(SM_CXMENUCHECK) + 4 : 6);
        if (style & BS_MULTILINE) {
            if (Measure(h, text, room).cy > height) fault(L"Text höher als der Knopf");
        } else if (Measure(h, text).cx > room) {
            fault(L"Text abgeschnitten (" + std::to_wstring(Measure(h, text).cx) + L" > " + std::to_wstring(room) + L" px)");
        } else if (Measure(h, text).cy > height) {
            fault(L"Text höher als der Knopf (" + std::to_wstring(Measure(h, text).cy) + L" > " + std::to_wstring(height) + L" px)");
        }
        return;
    }
    if (lstrcmpiW(cls.c_str(), L"Static") == 0 && !text.empty()) {
        const LONG type = style & SS_TYPEMASK;
        if (style & (SS_ENDELLIPSIS | SS_PATHELLIPSIS | SS_WORDELLIPSIS)) return;  // shortened on purpose
        if (type == SS_LEFT || type == SS_CENTER || type == SS_RIGHT) {
            const SIZE s = Measure(h, text, width);
            if (s.cx > width) fault(L"ein Wort breiter als das Feld");
            else if (s.cy > height) fault(L"Text höher als das Feld (" + std::to_wstring(s.cy) + L" > " + std::to_wstring(height) + L" px)");
        } else if (type == SS_LEFTNOWORDWRAP || type == SS_SIMPLE) {
            const SIZE s = Measure(h, text);
            if (s.cx > width) fault(L"Text abgeschnitten");
            else if (s.cy > height) fault(L"Text höher als das Feld (" + std::to_wstring(s.cy) + L" > " + std::to_wstring(height) + L" px)");
        }
        return;
    }
    if (lstrcmpiW(cls.c_str(), WC_LISTVIEWW) == 0 && (style & LVS_TYPEMASK) == LVS_REPORT && !(style & LVS_NOCOLUMNHEADER)) {
        const HWND header = ListView_GetHeader(h);
        for (int i = 0; i < Header_GetItemCount(header); ++i) {
            wchar_t caption[256] = L"";
            HDITEMW item{};
            item.mask = HDI_TEXT | HDI_WIDTH;
            item.pszText = caption;
            item.cchTextMax = 256;
            Header_GetItem(header, i, &item);
            if (item.cxy > 0 && Measure(header, caption).cx + 12 > item.cxy)
                fault(L"Spaltenüberschrift \"" + std::wstring(caption) + L"\" abgeschnitten");
        }
        if (const std::wstring cut = FirstCellFault(h, options); !cut.empty()) fault(cut);
    }
}

bool Visible(HWND h) { return IsWindowVisible(h) != FALSE; }

RECT ScreenRect(HWND h) {
    RECT r{};
    GetWindowRect(h, &r);
    return r;
}

bool Contains(const RECT& outer, const RECT& inner) {
    return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right && inner.bottom <= outer.bottom;
}

// Controls that lie on others by design: a frame around others, pages on their tabs, a status
// bar's grip, the list's own header.
bool Layered(HWND h) {
    const std::wstring cls = ClassOf(h);
    if (lstrcmpiW(cls.c_str(), L"Button") == 0 && (GetWindowLongW(h, GWL_STYLE) & BS_TYPEMASK) == BS_GROUPBOX) return true;
    return lstrcmpiW(cls.c_str(), WC_TABCONTROLW) == 0 || lstrcmpiW(cls.c_str(), L"#32770") == 0 ||
           lstrcmpiW(cls.c_str(), L"MDIClient") == 0;
}

void Walk(HWND parent, const std::wstring& name, std::vector<std::wstring>& faults, const LayoutCheckOptions& options) {
    std::vector<HWND> children;
    for (HWND c = GetWindow(parent, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
        if (Visible(c)) children.push_back(c);
    RECT client{};
    GetClientRect(parent, &client);
    MapWindowPoints(parent, nullptr, reinterpret_cast<POINT*>(&client), 2);
    const bool mdiClient = lstrcmpiW(ClassOf(parent).c_str(), L"MDIClient") == 0;
    for (size_t i = 0; i < children.size(); ++i) {
        const HWND c = children[i];
        const RECT r = ScreenRect(c);
        if (r.right <= r.left || r.bottom <= r.top) continue;
        CheckText(c, faults, name, options);
        // Child frames inside the frame's client area go where the user puts them.
        if (!mdiClient && !Contains(client, r))
            faults.push_back(name + L": " + Describe(c) + L": liegt außerhalb von " + Describe(parent));
        for (size_t j = i + 1; j < children.size(); ++j) {
            const RECT o = ScreenRect(children[j]);
            RECT both{};
            if (mdiClient || !IntersectRect(&both, &r, &o)) continue;
            if ((Layered(c) && Contains(r, o)) || (Layered(children[j]) && Contains(o, r))) continue;
            faults.push_back(name + L": " + Describe(c) + L" und " + Describe(children[j]) + L" überdecken sich");
        }
        // The child frames of the main window are checked each as a window of its own.
        if (!mdiClient) Walk(c, name, faults, options);
    }
}
}  // namespace

std::vector<std::wstring> LayoutFaults(HWND window, const std::wstring& name, const LayoutCheckOptions& options) {
    std::vector<std::wstring> faults;
    Walk(window, name, faults, options);
    return faults;
}

std::wstring FirstCellFault(HWND list, const LayoutCheckOptions& options) {
    if (ListView_GetItemCount(list) == 0 || (options.keepsEnd && options.keepsEnd(list, 0))) return L"";
    std::wstring text(4096, L'\0');
    ListView_GetItemText(list, 0, 0, text.data(), static_cast<int>(text.size()));
    text.resize(wcslen(text.c_str()));
    if (text.empty()) return L"";
    // The list draws a label 2 px in from each side of its room beside the row's image and
    // check box, and ends a text that does not fit with "...".
    RECT label{};
    ListView_GetItemRect(list, 0, &label, LVIR_LABEL);
    const int room = label.right - label.left - 4;
    const int needed = ListView_GetStringWidth(list, text.c_str());
    if (needed <= room) return L"";
    return L"erste Zeile \"" + text.substr(0, 40) + L"\" am Ende abgeschnitten (" + std::to_wstring(needed) + L" > " +
           std::to_wstring(room) + L" px)";
}

std::wstring ScreensFolder() { return BinFolder() + L"..\\screens\\"; }

bool Screenshot(HWND window, const std::wstring& name, std::wstring& why) {
    // Wine keeps the X window of each of its top-level windows as this property.
    const HWND top = GetAncestor(window, GA_ROOT);
    const auto xid = reinterpret_cast<ULONG_PTR>(GetPropW(top, L"__wine_x11_whole_window"));
    if (!xid) {
        why = L"das Fenster hat kein X-Fenster";
        return false;
    }
    if (!FileExists(L"Z:\\usr\\bin\\import")) {
        why = L"ImageMagick (import) fehlt";
        return false;
    }
    CreateDirectoryW(ScreensFolder().c_str(), nullptr);
    const std::wstring file = ScreensFolder() + name + L".png";
    DeleteFileW(file.c_str());
    const std::string folder = UnixPath(ScreensFolder());
    const std::wstring unixFile = FromUtf8(folder) + name + L".png";
    wchar_t id[32];
    swprintf(id, 32, L"0x%llx", static_cast<unsigned long long>(xid));
    // Everything drawn so far reaches the X server before the picture is taken; the file appears
    // under its name only once it is whole.
    RedrawWindow(top, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    PumpPending();
    // Wine starts a Linux program as it starts a Windows one; the handle it returns cannot be
    // waited for, the file can.
    std::wstring command = L"Z:\\bin\\sh -c \"import -window " + std::wstring(id) + L" 'PNG:" + unixFile + L".part' && mv '" +
                           unixFile + L".part' '" + unixFile + L"'\"";
    STARTUPINFOW si{sizeof si};
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
        why = L"import lässt sich nicht starten (" + std::to_wstring(GetLastError()) + L")";
        return false;
    }
    if (pi.hThread) CloseHandle(pi.hThread);
    if (pi.hProcess) CloseHandle(pi.hProcess);
    if (!WaitFor([&] { return FileExists(file); }, 30000)) {
        why = L"kein Bild nach 30 s: " + file;
        return false;
    }
    return true;
}
