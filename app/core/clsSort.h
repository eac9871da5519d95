// app/core/clsSort.h
#pragma once
#include <string>
#include <vector>


class clsSort {
public:
    // Sorts in place by character code and returns the list. Direction 1 sorts descending and
    // leaves the first element where it is; any other value sorts ascending. Stable.
    std::vector<std::wstring>& Sortiere(std::vector<std::wstring>& list, int direction);

private:
};
