// app/core/win/ListView.cpp
#include "core/win/ListView.h"
#include "core/UniqueHandle.h"
#include "core/win/IdBases.h"
#include <shellapi.h>

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

HIMAGELIST ShellIconList(const wchar_t* fileName, DWORD attributes, bool programIconOtherwise) {
    HIMAGELIST list = ImageList_Create(GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON),
                                       ILC_COLOR32 | ILC_MASK, 1, 0);
    SHFILEINFOW sfi{};
    if (SHGetFileInfoW(fileName, attributes, &sfi, sizeof sfi, SHGFI_USEFILEATTRIBUTES | SHGFI_ICON | SHGFI_SMALLICON) &&
        sfi.hIcon) {
        const UniqueHIcon icon(sfi.hIcon);  // the list keeps its own copy
        ImageList_AddIcon(list, icon.get());
    } else if (programIconOtherwise) {
        ImageList_AddIcon(list, LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_PROGRAM)));
    }
    return list;
}
