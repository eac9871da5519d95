// app/core/win/ListView.h
#pragma once
#include <algorithm>
#include <initializer_list>
#include "core/win/Window.h"
#include <commctrl.h>
#include <initializer_list>
#include <string>
#include <vector>

// Report-style list view: columns, rows of texts, selection, sorting by a column's text.
class ListView : public Wnd {
public:
    ListView(HWND h = nullptr) : Wnd(h) {}
    void SetFullRowSelect() const {
        ListView_SetExtendedListViewStyle(h_, LVS_EX_FULLROWSELECT | LVS_EX_HEADERDRAGDROP | LVS_EX_DOUBLEBUFFER);
    }
    void AddColumn(const std::wstring& title, int widthPx) const {
        LVCOLUMNW c{};
        c.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
        c.cx = widthPx;
        c.pszText = const_cast<wchar_t*>(title.c_str());
        c.iSubItem = ColumnCount();
        ListView_InsertColumn(h_, c.iSubItem, &c);
    }
    struct Column {
        const wchar_t* title;
        int widthPx;
    };
    // The list's columns from left to right; the widths are those at 100 %, scaled to the list's
    // screen, and never narrower than the caption.
    void AddColumns(std::initializer_list<Column> columns) const {
        const int dpi = static_cast<int>(DpiOf(h_));
        for (const Column& c : columns)
            AddColumn(c.title, std::max(MulDiv(c.widthPx, dpi, 96), ListView_GetStringWidth(h_, c.title) + 16));
    }
    int ColumnCount() const { return Header_GetItemCount(ListView_GetHeader(h_)); }
    std::wstring Caption(int column) const {
        wchar_t caption[256] = L"";
        LVCOLUMNW col{};
        col.mask = LVCF_TEXT;
        col.pszText = caption;
        col.cchTextMax = 256;
        ListView_GetColumn(h_, column, &col);
        return caption;
    }
    int Count() const { return ListView_GetItemCount(h_); }
    // Appends a row; returns its index. `data` is kept with the row (e.g. an index into the caller's records).
    int AddRow(const std::vector<std::wstring>& cells, LPARAM data = 0) const {
        LVITEMW it{};
        it.mask = LVIF_TEXT | LVIF_PARAM;
        it.iItem = Count();
        it.pszText = const_cast<wchar_t*>(cells.empty() ? L"" : cells[0].c_str());
        it.lParam = data;
        int row = ListView_InsertItem(h_, &it);
        for (size_t i = 1; i < cells.size(); ++i)
            ListView_SetItemText(h_, row, static_cast<int>(i), const_cast<wchar_t*>(cells[i].c_str()));
        return row;
    }
    std::wstring Cell(int row, int column) const {
        std::wstring buf(1024, L'\0');
        for (;;) {
            LVITEMW it{};
            it.iSubItem = column;
            it.pszText = buf.data();
            it.cchTextMax = static_cast<int>(buf.size());
            int n = static_cast<int>(SendMessageW(h_, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&it)));
            if (n < static_cast<int>(buf.size()) - 1) { buf.resize(n); return buf; }
            buf.resize(buf.size() * 4);
        }
    }
    LPARAM Data(int row) const {
        LVITEMW it{};
        it.mask = LVIF_PARAM;
        it.iItem = row;
        ListView_GetItem(h_, &it);
        return it.lParam;
    }
    // Each of these columns as wide as its caption and its widest text (of the first rows; a long
    // list is not read whole for it), but no wider than `share` percent of the list: what the
    // list holds is in sight without dragging a divider. Columns not named keep their widths.
    void FitColumns(std::initializer_list<int> columns, int share = 45) const {
        RECT client{};
        GetClientRect(h_, &client);
        const int most = std::max<int>(60, (client.right - client.left) * share / 100);
        const int rows = std::min(Count(), 2000);
        for (int c : columns) {
            int width = ListView_GetStringWidth(h_, Caption(c).c_str()) + 16;
            for (int r = 0; r < rows; ++r) {
                const std::wstring text = Cell(r, c);
                // The first column also holds the row's image or check box.
                width = std::max(width, ListView_GetStringWidth(h_, text.c_str()) + (c == 0 ? 40 : 14));
            }
            ListView_SetColumnWidth(h_, c, std::min(width, most));
        }
    }
    // Where all columns together are wider than the list, these give way, each in proportion to its
    // width (none below 60 pixels or its caption), so that every column is in sight; their cells show
    // their ends.
    void ShareOut(const std::vector<int>& yielding) const {
        RECT client{};
        GetClientRect(h_, &client);
        const int room = client.right - client.left - GetSystemMetrics(SM_CXVSCROLL);
        int total = 0, flexible = 0;
        for (int c = 0; c < ColumnCount(); ++c) total += ListView_GetColumnWidth(h_, c);
        for (int c : yielding) flexible += ListView_GetColumnWidth(h_, c);
        if (total <= room || flexible <= 0) return;
        const int fixed = total - flexible, left = std::max(0, room - fixed);
        for (int c : yielding) {
            const int least = std::max(60, ListView_GetStringWidth(h_, Caption(c).c_str()) + 16);
            ListView_SetColumnWidth(h_, c, std::max(least, ListView_GetColumnWidth(h_, c) * left / flexible));
        }
    }
    void DeleteRow(int row) const { ListView_DeleteItem(h_, row); }
    void Clear() const { ListView_DeleteAllItems(h_); }
    bool Selected(int row) const { return ListView_GetItemState(h_, row, LVIS_SELECTED) != 0; }
    // The selected rows, top to bottom.
    std::vector<int> SelectedRows() const {
        std::vector<int> rows;
        int row = -1;
        while ((row = ListView_GetNextItem(h_, row, LVNI_SELECTED)) >= 0) rows.push_back(row);
        return rows;
    }
    int SelectedCount() const { return ListView_GetSelectedCount(h_); }
    int Focused() const { return ListView_GetNextItem(h_, -1, LVNI_FOCUSED); }
    void Select(int row, bool on = true) const {
        ListView_SetItemState(h_, row, on ? LVIS_SELECTED | LVIS_FOCUSED : 0, LVIS_SELECTED | LVIS_FOCUSED);
    }
    // Sorts the rows by the text of a column, binary comparison; ascending or descending.
    void SortByColumn(int column, bool ascending) const;
};

// How a list is sorted: the column and the direction of the last sort.
struct ListSort {
    int column = 0;
    bool ascending = true;
    // Sorts by a column as a click on its header does: every call flips the direction.
    void By(const ListView& list, int sortColumn) {
        column = sortColumn;
        ascending = !ascending;
        list.SortByColumn(column, ascending);
    }
};

// A list of small icons that holds the shell's picture of a file with this name and these
// attributes (the file need not exist). Where the shell has none it holds the program's icon
// when `programIconOtherwise` is set, and nothing otherwise.
HIMAGELIST ShellIconList(const wchar_t* fileName, DWORD attributes, bool programIconOtherwise);
