// app/core/win/ListView.cpp
#include "core/win/ListView.h"

namespace {
struct SortContext {
    const std::vector<std::wstring>* texts;
    bool ascending;
};
int CALLBACK CompareRows(LPARAM a, LPARAM b, LPARAM ctx) {
    auto* c = reinterpret_cast<SortContext*>(ctx);
    int r = (*c->texts)[static_cast<size_t>(a)].compare((*c->texts)[static_cast<size_t>(b)]);
    return c->ascending ? r : -r;
}
void SetData(HWND h, int row, LPARAM data) {
    LVITEMW it{};
    it.mask = LVIF_PARAM;
    it.iItem = row;
    it.lParam = data;
    ListView_SetItem(h, &it);
}
}  // namespace

void ListView::SortByColumn(int column, bool ascending) const {
    // The texts are read before the sort and the rows numbered in their data for it: row indexes
    // handed to a comparison during the sort (LVM_SORTITEMSEX) are not reliable on every platform
    // once the rows have begun to move. Afterwards each row gets its own data back.
    const int n = Count();
    std::vector<std::wstring> texts(n);
    std::vector<LPARAM> data(n);
    for (int i = 0; i < n; ++i) {
        texts[i] = Cell(i, column);
        data[i] = Data(i);
        SetData(h_, i, i);
    }
    SortContext ctx{&texts, ascending};
    SendMessageW(h_, LVM_SORTITEMS, reinterpret_cast<WPARAM>(&ctx), reinterpret_cast<LPARAM>(CompareRows));
    for (int i = 0; i < n; ++i) SetData(h_, i, data[static_cast<size_t>(Data(i))]);
}
