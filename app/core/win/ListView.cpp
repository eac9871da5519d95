// app/core/win/ListView.cpp
#include "core/win/ListView.h"

namespace {
struct SortContext {
    const ListView* view;
    int column;
    bool ascending;
};
int CALLBACK CompareRows(LPARAM a, LPARAM b, LPARAM ctx) {
    auto* c = reinterpret_cast<SortContext*>(ctx);
    std::wstring ta = c->view->Cell(static_cast<int>(a), c->column), tb = c->view->Cell(static_cast<int>(b), c->column);
    int r = ta.compare(tb);
    return c->ascending ? r : -r;
}
}  // namespace

void ListView::SortByColumn(int column, bool ascending) const {
    SortContext ctx{this, column, ascending};
    // LVM_SORTITEMSEX hands row indexes to the comparison, so the texts can be read directly.
    SendMessageW(h_, LVM_SORTITEMSEX, reinterpret_cast<WPARAM>(&ctx), reinterpret_cast<LPARAM>(CompareRows));
}
