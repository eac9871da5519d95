// app/core/win/Layout.h
#pragma once
#include <windows.h>
#include <span>
#include <vector>

// Which edges of a control follow the dialog's right and bottom edges when the dialog is
// resized; a control without any stays where the template put it.
enum Follow : unsigned {
    kMoveX = 1,     // both side edges follow the right edge
    kMoveY = 2,     // top and bottom follow the bottom edge
    kSizeX = 4,     // the right edge follows, the left stays
    kSizeY = 8,     // the bottom edge follows, the top stays
};

// One row of a window's layout table.
struct Anchor {
    int id;
    unsigned follow;
};

// A window's layout table and how it treats a dialog smaller than it started.
struct LayoutTable {
    std::span<const Anchor> anchors;
    // The start size is the smallest: below it every control stays at its start rectangle, and
    // a window of its own (no child) cannot be dragged smaller than it started.
    bool startIsMinimum = false;
};

// Applies a layout table to a dialog's controls. The first Start records every control's
// rectangle and the dialog's client size; each Apply moves and sizes the controls by the change
// since then, all in one deferred move, and draws the dialog and its controls anew.
class Layout {
public:
    // `designed` is the client size the controls' rectangles were laid out for; where the window
    // got less (the screen is too small for it), the table is applied at once, and that size is
    // the smallest a window whose start size is its smallest takes. Without it: the size it has.
    void Start(HWND dialog, const LayoutTable& table, SIZE designed = {});
    bool Started() const { return dialog_ != nullptr; }
    // The dialog's client size when the layout started.
    SIZE StartSize() const { return start_; }
    void Apply(int width, int height) const;
    // Answers WM_GETMINMAXINFO for a window whose start size is its smallest; false otherwise.
    bool LimitTracking(MINMAXINFO* info) const;

    // The rectangle a control that started at `start` takes when the dialog grew by dw, dh.
    static RECT Place(const RECT& start, unsigned follow, int dw, int dh);

private:
    struct Placed {
        HWND control;
        RECT start;
        unsigned follow;
    };
    HWND dialog_ = nullptr;
    SIZE start_{};
    SIZE least_{};  // the smallest client size a window whose start is its smallest takes
    SIZE startWindow_{};  // the whole window, frame included, when the layout started
    bool startIsMinimum_ = false;
    std::vector<Placed> controls_;
};
