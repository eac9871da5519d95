// tests/support/LayoutCheck.h
// Finds what a person would see wrong in a window without a person looking: text cut off by its
// control, controls on top of each other, controls outside their parent, a column caption wider
// than its column, a list's first cell cut off at its end. Each fault is one line: the window,
// the control and what is wrong.
#pragma once
#include <windows.h>
#include <functional>
#include <string>
#include <vector>

struct LayoutCheckOptions {
    // Whether this column of this list shows the end of a cell that is too wide for it (a path
    // drawn shortened in its middle): its first cell is then never "cut at its end". Unset: none.
    std::function<bool(HWND list, int column)> keepsEnd;
};

// The child frames inside an MDI client are passed over: check each of them on its own.
std::vector<std::wstring> LayoutFaults(HWND window, const std::wstring& name, const LayoutCheckOptions& options = {});

// A list in report view that has rows: its first row's text in the first column, whole in sight or
// the fault ("" when there is none, or no row to judge).
std::wstring FirstCellFault(HWND list, const LayoutCheckOptions& options = {});

// Pictures the top-level window that holds `window`, as the X server shows it, into
// build/screens/<name>.png (beside build/bin), with ImageMagick's `import` started on the Linux side,
// and waits for the file. False when the picture did not come; `why` says what was missing.
bool Screenshot(HWND window, const std::wstring& name, std::wstring& why);

// The folder the pictures go to, as Windows names it ("…\build\screens\").
std::wstring ScreensFolder();
