// app/core/win/PathCells.h
#pragma once
#include <windows.h>
#include <commctrl.h>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// A registry or file path shortened to a width without losing what tells it from its neighbours:
// its end. The root name goes first ("HKEY_LOCAL_MACHINE" -> "HKLM"), then the middle gives way
// ("HKLM\…\{7E000001-…}\InprocServer32"), last of all the start of the last part. `measure`
// gives a text's width. A text that fits is returned as it stands.
std::wstring FitPath(std::wstring_view path, int width, const std::function<int(std::wstring_view)>& measure);

// Cells of a list that hold paths: a cell whose text is wider than its column is drawn shortened by
// FitPath over what the list drew, so its end stays in sight. The cell's text stays whole, for the
// tooltip, copies, saves and exports. A dialog owns one per list and passes its list's custom-draw
// notifications through Draw, after its own handling (whose colours it keeps).
class PathCells {
public:
    PathCells() = default;
    PathCells(HWND list, std::vector<int> columns) : list_(list), columns_(std::move(columns)) {}
    HWND List() const { return list_; }
    // The result of the owner's own handling of the notification, widened so the cells are reached.
    // `textColour` is what the owner chose for the row (CLR_DEFAULT: the list's own).
    LRESULT Draw(NMLVCUSTOMDRAW* draw, LRESULT ownResult, COLORREF textColour) const;

private:
    HWND list_ = nullptr;
    std::vector<int> columns_;
};
