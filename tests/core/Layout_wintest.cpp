// tests/core/Layout_wintest.cpp
#include "core/win/Layout.h"
#include <gtest/gtest.h>
#include <ostream>

inline bool operator==(const RECT& a, const RECT& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}
inline std::ostream& operator<<(std::ostream& os, const RECT& r) {
    return os << '{' << r.left << ',' << r.top << ',' << r.right << ',' << r.bottom << '}';
}

namespace {
enum : int { kFixed = 101, kWide, kFill, kRight, kCorner, kFooter, kOutside, kMissing };

// A borderless window whose client area is its whole size, with one static control per row of
// the table below, applying its layout on WM_SIZE as the dialog base does.
class LayoutWindow {
public:
    explicit LayoutWindow(bool startIsMinimum = false) {
        static const wchar_t* kClass = L"TorvaneLayoutTest";
        static bool registered = false;
        if (!registered) {
            WNDCLASSW wc{};
            wc.lpfnWndProc = Proc;
            wc.hInstance = GetModuleHandleW(nullptr);
            wc.lpszClassName = kClass;
            RegisterClassW(&wc);
            registered = true;
        }
        h_ = CreateWindowExW(0, kClass, L"", WS_POPUP, 0, 0, 300, 200, nullptr, nullptr, GetModuleHandleW(nullptr), this);
        child(kFixed, {10, 10, 60, 30});
        child(kWide, {10, 40, 290, 60});
        child(kFill, {10, 70, 290, 150});
        child(kRight, {240, 10, 290, 30});
        child(kCorner, {240, 160, 290, 190});
        child(kFooter, {10, 160, 230, 190});
        child(kOutside, {70, 10, 90, 30});
        static constexpr Anchor kTable[] = {
            {kFixed, 0},           {kWide, kSizeX},           {kFill, kSizeX | kSizeY},
            {kRight, kMoveX},      {kCorner, kMoveX | kMoveY}, {kFooter, kMoveY | kSizeX},
            {kMissing, kMoveX},
        };
        layout_.Start(h_, {kTable, startIsMinimum});
    }
    ~LayoutWindow() { DestroyWindow(h_); }

    void Resize(int width, int height) {
        SetWindowPos(h_, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    RECT At(int id) const {
        RECT r{};
        GetWindowRect(GetDlgItem(h_, id), &r);
        MapWindowPoints(nullptr, h_, reinterpret_cast<POINT*>(&r), 2);
        return r;
    }
    Layout& layout() { return layout_; }
    HWND hwnd() const { return h_; }

private:
    void child(int id, RECT r) {
        CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE, r.left, r.top, r.right - r.left, r.bottom - r.top, h_,
                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
    }
    static LRESULT CALLBACK Proc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
        if (msg == WM_NCCREATE)
            SetWindowLongPtrW(h, GWLP_USERDATA,
                              reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams));
        auto* self = reinterpret_cast<LayoutWindow*>(GetWindowLongPtrW(h, GWLP_USERDATA));
        if (msg == WM_SIZE && self) self->layout_.Apply(LOWORD(lp), HIWORD(lp));
        return DefWindowProcW(h, msg, wp, lp);
    }
    HWND h_ = nullptr;
    Layout layout_;
};
}  // namespace

TEST(Layout, ControlsFollowTheirEdgesWhenTheWindowGrowsAndShrinks) {
    LayoutWindow w;
    ASSERT_TRUE(w.layout().Started());
    EXPECT_EQ(w.layout().StartSize().cx, 300);
    EXPECT_EQ(w.layout().StartSize().cy, 200);

    w.Resize(400, 260);  // 100 wider, 60 taller
    EXPECT_EQ(w.At(kFixed), (RECT{10, 10, 60, 30}));
    EXPECT_EQ(w.At(kWide), (RECT{10, 40, 390, 60}));
    EXPECT_EQ(w.At(kFill), (RECT{10, 70, 390, 210}));
    EXPECT_EQ(w.At(kRight), (RECT{340, 10, 390, 30}));
    EXPECT_EQ(w.At(kCorner), (RECT{340, 220, 390, 250}));
    EXPECT_EQ(w.At(kFooter), (RECT{10, 220, 330, 250}));
    EXPECT_EQ(w.At(kOutside), (RECT{70, 10, 90, 30}));  // not in the table: left alone

    w.Resize(260, 170);  // smaller than at the start
    EXPECT_EQ(w.At(kFixed), (RECT{10, 10, 60, 30}));
    EXPECT_EQ(w.At(kWide), (RECT{10, 40, 250, 60}));
    EXPECT_EQ(w.At(kFill), (RECT{10, 70, 250, 120}));
    EXPECT_EQ(w.At(kRight), (RECT{200, 10, 250, 30}));
    EXPECT_EQ(w.At(kCorner), (RECT{200, 130, 250, 160}));
    EXPECT_EQ(w.At(kFooter), (RECT{10, 130, 190, 160}));

    // Back at the start size every control stands where it started: no drift from the way there.
    w.Resize(300, 200);
    EXPECT_EQ(w.At(kWide), (RECT{10, 40, 290, 60}));
    EXPECT_EQ(w.At(kCorner), (RECT{240, 160, 290, 190}));
    EXPECT_EQ(w.At(kFooter), (RECT{10, 160, 230, 190}));
}

TEST(Layout, AControlNeverGetsANegativeSizeAndTheFirstStartIsTheReference) {
    LayoutWindow w;
    w.Resize(10, 40);  // 290 narrower, 160 lower: more than the fill's own width and height
    EXPECT_EQ(w.At(kFill), (RECT{10, 70, 10, 70}));
    EXPECT_EQ(w.At(kWide), (RECT{10, 40, 10, 60}));
    EXPECT_EQ(w.At(kRight), (RECT{-50, 10, 0, 30}));  // keeps its distance to the right edge

    // A later Start changes nothing: the sizes count from the first.
    w.Resize(350, 200);
    w.layout().Start(nullptr, {});
    EXPECT_EQ(w.layout().StartSize().cx, 300);
    w.Resize(360, 200);
    EXPECT_EQ(w.At(kWide), (RECT{10, 40, 350, 60}));
}

TEST(Layout, StartAsMinimumKeepsEveryControlAtItsStartBelowTheStartSize) {
    LayoutWindow w(true);
    // The window cannot be dragged smaller than it started; without the flag it can.
    MINMAXINFO info{};
    ASSERT_TRUE(w.layout().LimitTracking(&info));
    EXPECT_EQ(info.ptMinTrackSize.x, 300);
    EXPECT_EQ(info.ptMinTrackSize.y, 200);
    EXPECT_FALSE(LayoutWindow().layout().LimitTracking(&info));

    w.Resize(200, 120);
    EXPECT_EQ(w.At(kFill), (RECT{10, 70, 290, 150}));
    EXPECT_EQ(w.At(kCorner), (RECT{240, 160, 290, 190}));
    // Wider but lower: the width counts, the height stays at the start.
    w.Resize(350, 150);
    EXPECT_EQ(w.At(kFill), (RECT{10, 70, 340, 150}));
    EXPECT_EQ(w.At(kCorner), (RECT{290, 160, 340, 190}));
}

TEST(Layout, EveryResizeDrawsTheWindowAndAllItsControlsAnew) {
    // A window that does not clip its controls paints over any control drawn before it: after
    // a resize all are drawn anew, the window first, also a control that did not move.
    LayoutWindow w;
    ShowWindow(w.hwnd(), SW_SHOWNOACTIVATE);
    RedrawWindow(w.hwnd(), nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    auto waiting = [&](int id) { return GetUpdateRect(id ? GetDlgItem(w.hwnd(), id) : w.hwnd(), nullptr, FALSE) != FALSE; };
    ASSERT_FALSE(waiting(0) || waiting(kFixed) || waiting(kOutside));
    w.Resize(310, 200);
    EXPECT_TRUE(waiting(0));
    for (int id : {kFixed, kWide, kRight, kOutside}) EXPECT_TRUE(waiting(id)) << id;
}

TEST(Layout, PlaceMovesAndSizesByTheChange) {
    const RECT start{20, 30, 120, 80};
    EXPECT_EQ(Layout::Place(start, 0, 15, 25), start);
    EXPECT_EQ(Layout::Place(start, kMoveX | kSizeY, 15, 25), (RECT{35, 30, 135, 105}));
    EXPECT_EQ(Layout::Place(start, kMoveY | kSizeX, -15, -25), (RECT{20, 5, 105, 55}));
}
