// tests/support/LayoutCheck.h
// Finds what a person would see wrong in a window without a person looking: text cut off by its
// control, controls on top of each other, controls outside their parent, a column caption wider
// than its column. Each fault is one line: the window, the control and what is wrong.
#pragma once
#include <windows.h>
#include <string>
#include <vector>

// The child frames inside an MDI client are passed over: check each of them on its own.
std::vector<std::wstring> LayoutFaults(HWND window, const std::wstring& name);

