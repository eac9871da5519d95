// app/core/win/Layout.cpp
#include "core/win/Layout.h"
#include <algorithm>

void Layout::Start(HWND dialog, const LayoutTable& table, SIZE designed) {
    if (Started() || table.anchors.empty()) return;
    RECT client{};
    GetClientRect(dialog, &client);
    if (designed.cx <= 0 || designed.cy <= 0) designed = {client.right, client.bottom};
    least_ = {std::min(client.right, designed.cx), std::min(client.bottom, designed.cy)};
    start_ = {std::max(client.right, designed.cx), std::max(client.bottom, designed.cy)};
    RECT window{};
    GetWindowRect(dialog, &window);
    startWindow_ = {window.right - window.left, window.bottom - window.top};
    startIsMinimum_ = table.startIsMinimum;
    for (const Anchor& a : table.anchors) {
        HWND control = GetDlgItem(dialog, a.id);
        if (!control) continue;
        RECT r{};
        GetWindowRect(control, &r);
        MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
        controls_.push_back({control, r, a.follow});
    }
    dialog_ = dialog;
    if (client.right != start_.cx || client.bottom != start_.cy) Apply(client.right, client.bottom);
}

RECT Layout::Place(const RECT& start, unsigned follow, int dw, int dh) {
    RECT r = start;
    if (follow & kMoveX) OffsetRect(&r, dw, 0);
    if (follow & kMoveY) OffsetRect(&r, 0, dh);
    if (follow & kSizeX) r.right = std::max(r.left, r.right + dw);
    if (follow & kSizeY) r.bottom = std::max(r.top, r.bottom + dh);
    return r;
}

void Layout::Apply(int width, int height) const {
    if (!Started()) return;
    int dw = width - start_.cx, dh = height - start_.cy;
    if (startIsMinimum_) {
        dw = std::max<int>(least_.cx - start_.cx, dw);
        dh = std::max<int>(least_.cy - start_.cy, dh);
    }
    HDWP moves = BeginDeferWindowPos(static_cast<int>(controls_.size()));
    for (const Placed& c : controls_) {
        if (!moves) break;
        const RECT r = Place(c.start, c.follow, dw, dh);
        moves = DeferWindowPos(moves, c.control, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
                               SWP_NOZORDER | SWP_NOACTIVATE);
    }
    if (moves) EndDeferWindowPos(moves);
    // Everything is drawn anew, the dialog before its controls: a label wraps its text again,
    // and a dialog that does not clip its controls (it paints the inside of its group boxes)
    // cannot paint over a control that was drawn before it.
    RedrawWindow(dialog_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

bool Layout::LimitTracking(MINMAXINFO* info) const {
    if (!Started() || !startIsMinimum_ || (GetWindowLongW(dialog_, GWL_STYLE) & WS_CHILD)) return false;
    // Never more than the screen holds: at a large scale a designed size can be larger.
    MONITORINFO m{};
    m.cbSize = sizeof m;
    LONG width = startWindow_.cx, height = startWindow_.cy;
    if (GetMonitorInfoW(MonitorFromWindow(dialog_, MONITOR_DEFAULTTONEAREST), &m)) {
        width = std::min(width, m.rcWork.right - m.rcWork.left);
        height = std::min(height, m.rcWork.bottom - m.rcWork.top);
    }
    info->ptMinTrackSize = {width, height};
    return true;
}
