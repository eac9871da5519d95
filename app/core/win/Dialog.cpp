// app/core/win/Dialog.cpp
#include "core/win/Dialog.h"
#include <algorithm>
#include "core/DoEvents.h"
#include "core/HtmlHelp.h"
#include "core/Trap.h"
#include <cstring>

int TwipsPerPixelX() {
    HDC dc = GetDC(nullptr);
    int dpi = GetDeviceCaps(dc, LOGPIXELSX);
    ReleaseDC(nullptr, dc);
    return dpi > 0 ? 1440 / dpi : 15;
}
int TwipsPerPixelY() {
    HDC dc = GetDC(nullptr);
    int dpi = GetDeviceCaps(dc, LOGPIXELSY);
    ReleaseDC(nullptr, dc);
    return dpi > 0 ? 1440 / dpi : 15;
}

Dialog::~Dialog() {
    Destroy();
    // A modal dialog ends only when its loop returns, which may be after this object is gone:
    // its last messages must not reach it.
    if (h_ && IsWindow(h_)) SetWindowLongPtrW(h_, DWLP_USER, 0);
}

HWND Dialog::CreateModeless(HWND parent, int templateId) {
    modal_ = false;
    templateId_ = templateId;
    HWND h = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(templateId), parent, Proc,
                                reinterpret_cast<LPARAM>(this));
    if (h) RegisterModeless(h);
    return h;
}

INT_PTR Dialog::DoModal(HWND parent, int templateId) {
    modal_ = true;
    templateId_ = templateId;
    return DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(templateId), parent, Proc,
                           reinterpret_cast<LPARAM>(this));
}

SIZE Dialog::DesignedClientSize() const {
    RECT client{};
    GetClientRect(h_, &client);
    const SIZE own{client.right, client.bottom};
    HRSRC found = templateId_ ? FindResourceW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(templateId_), RT_DIALOG) : nullptr;
    const auto* bytes = found ? static_cast<const BYTE*>(LockResource(LoadResource(GetModuleHandleW(nullptr), found))) : nullptr;
    if (!bytes) return own;
    // DLGTEMPLATEEX (its second WORD is 0xFFFF) or DLGTEMPLATE: x, y, cx, cy follow the header.
    WORD second = 0;
    memcpy(&second, bytes + 2, sizeof second);
    short box[4] = {};
    memcpy(box, bytes + (second == 0xFFFF ? 18 : 10), sizeof box);
    RECT designed{0, 0, box[2], box[3]};
    if (!MapDialogRect(h_, &designed)) return own;
    return {designed.right, designed.bottom};
}

void Dialog::Destroy() {
    if (h_ && IsWindow(h_)) {
        HWND h = h_;
        if (modal_) EndDialog(h, 0);
        else DestroyWindow(h);
    }
}

INT_PTR CALLBACK Dialog::Proc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    Dialog* self = nullptr;
    if (msg == WM_INITDIALOG) {
        self = reinterpret_cast<Dialog*>(lp);
        self->h_ = h;
        SetWindowLongPtrW(h, DWLP_USER, lp);
    } else {
        self = reinterpret_cast<Dialog*>(GetWindowLongPtrW(h, DWLP_USER));
    }
    if (!self) return FALSE;
    INT_PTR r = FALSE;
    try {
        r = self->Dispatch(msg, wp, lp);
    } catch (...) {
        ReportError(self->Name(), L"WindowProc", CurrentError(), Style::Warning);
    }
    if (msg == WM_NCDESTROY) {
        SetWindowLongPtrW(h, DWLP_USER, 0);
        UnregisterModeless(h);
        self->h_ = nullptr;
    }
    return r;
}

void Dialog::FitOnScreen() {
    // A window of its own that is larger than its screen (a designed size at a large scale) is
    // made to fit and put in the middle of it.
    if (!h_ || (GetWindowLongW(h_, GWL_STYLE) & WS_CHILD)) return;
    RECT r{};
    GetWindowRect(h_, &r);
    MONITORINFO m{};
    m.cbSize = sizeof m;
    if (!GetMonitorInfoW(MonitorFromWindow(h_, MONITOR_DEFAULTTONEAREST), &m)) return;
    const RECT& w = m.rcWork;
    const LONG width = std::min(r.right - r.left, w.right - w.left), height = std::min(r.bottom - r.top, w.bottom - w.top);
    if (width == r.right - r.left && height == r.bottom - r.top) return;
    SetWindowPos(h_, nullptr, w.left + (w.right - w.left - width) / 2, w.top + (w.bottom - w.top - height) / 2, width, height,
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

LRESULT Dialog::DrawPathCells(NMLVCUSTOMDRAW* draw, LRESULT ownResult) {
    for (const PathCells& cells : pathCells_) {
        if (cells.List() != draw->nmcd.hdr.hwndFrom) continue;
        // The colour this window gave the row as it was about to be drawn, for what is drawn over it.
        if (draw->nmcd.dwDrawStage == CDDS_ITEMPREPAINT) rowColour_ = draw->clrText;
        return cells.Draw(draw, ownResult, rowColour_);
    }
    return ownResult;
}

INT_PTR Dialog::Dispatch(UINT msg, WPARAM wp, LPARAM lp) {
    LRESULT result = 0;
    if (msg == WM_GETMINMAXINFO && layout_.LimitTracking(reinterpret_cast<MINMAXINFO*>(lp))) {
        SetWindowLongPtrW(h_, DWLP_MSGRESULT, 0);
        return TRUE;
    }
    switch (msg) {
    case WM_INITDIALOG: {
        const INT_PTR focus = OnInit() ? TRUE : FALSE;
        FitOnScreen();
        return focus;
    }
    case WM_COMMAND:
        if (LOWORD(wp) == IDOK && enterInListIsKey_) {
            HWND focus = GetFocus();
            wchar_t cls[32] = L"";
            if (focus && GetParent(focus) == h_ && GetClassNameW(focus, cls, 32) && lstrcmpiW(cls, WC_LISTVIEWW) == 0) {
                NMLVKEYDOWN enter{{focus, static_cast<UINT_PTR>(GetDlgCtrlID(focus)), static_cast<UINT>(LVN_KEYDOWN)},
                                  VK_RETURN, 0};
                OnNotify(&enter.hdr);
                return TRUE;
            }
        }
        OnCommand(LOWORD(wp), HIWORD(wp), reinterpret_cast<HWND>(lp));
        return TRUE;
    case WM_NOTIFY: {
        NMHDR* hdr = reinterpret_cast<NMHDR*>(lp);
        LRESULT r = OnNotify(hdr);
        if (hdr->code == NM_CUSTOMDRAW && !pathCells_.empty()) r = DrawPathCells(reinterpret_cast<NMLVCUSTOMDRAW*>(lp), r);
        SetWindowLongPtrW(h_, DWLP_MSGRESULT, r);
        return TRUE;
    }
    case WM_SIZE:
        layout_.Apply(LOWORD(lp), HIWORD(lp));
        OnLayout(LOWORD(lp), HIWORD(lp));
        return FALSE;
    case WM_TIMER: OnTimer(wp); return TRUE;
    case WM_CLOSE: OnClose(); return TRUE;
    case WM_DESTROY: OnDestroy(); return FALSE;
    case WM_HELP:
        // F1 reaches the window with the focus first and goes up from there: the innermost window
        // with a page of its own answers.
        if (!HelpPage()) return FALSE;
        Trap(Name(), L"ShowHelp", [&] { OpenHelp(h_, HelpPage()); }, Style::Warning, true);
        return TRUE;
    default:
        if (OnMessage(msg, wp, lp, result)) {
            // Colour messages return their brush directly; all others through DWLP_MSGRESULT.
            if (msg >= WM_CTLCOLORMSGBOX && msg <= WM_CTLCOLORSTATIC) return static_cast<INT_PTR>(result);
            SetWindowLongPtrW(h_, DWLP_MSGRESULT, result);
            return TRUE;
        }
        return FALSE;
    }
}
