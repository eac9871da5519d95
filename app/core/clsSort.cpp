// app/core/clsSort.cpp
#include "core/clsSort.h"
#include "core/Trap.h"
#include <algorithm>

std::vector<std::wstring>& clsSort::Sortiere(std::vector<std::wstring>& list, int direction) {
    Trap(L"clsSort", L"Sortiere", [&] {
        if (list.size() < 2) return;
        const bool descending = direction == 1;
        // Descending leaves the element at the lower bound in place and sorts the rest.
        const size_t from = descending ? 1 : 0;
        // Stable sort by character code: equal texts keep their order, as a bubble sort would
        // leave them, without its quadratic cost on long file lists.
        std::stable_sort(list.begin() + from, list.end(), [&](const std::wstring& a, const std::wstring& b) {
            return descending ? b < a : a < b;
        });
    });
    return list;
}
