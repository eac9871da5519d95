// app/scan/FolderListing.cpp
#include "scan/FolderListing.h"
#include "core/UniqueHandle.h"
#include <windows.h>
#include <algorithm>

namespace {
// Ordinal comparison without regard to case: the file system's own upper-case table.
int Compare(const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE) -
           CSTR_EQUAL;
}

// Names Windows opens as a device in any folder ("nul", "com1.txt", "con .dll").
bool DeviceName(const std::wstring& name) {
    std::wstring stem = name.substr(0, name.find(L'.'));
    while (!stem.empty() && (stem.back() == L' ' || stem.back() == L':')) stem.pop_back();
    if (stem.empty()) return false;
    for (const wchar_t* device : {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$", L"CLOCK$"})
        if (CompareStringOrdinal(stem.c_str(), -1, device, -1, TRUE) == CSTR_EQUAL) return true;
    if (stem.size() != 4) return false;
    const std::wstring three = stem.substr(0, 3);
    const wchar_t digit = stem[3];
    const bool port = CompareStringOrdinal(three.c_str(), -1, L"COM", -1, TRUE) == CSTR_EQUAL ||
                      CompareStringOrdinal(three.c_str(), -1, L"LPT", -1, TRUE) == CSTR_EQUAL;
    return port && ((digit >= L'0' && digit <= L'9') || digit == L'\u00B9' || digit == L'\u00B2' || digit == L'\u00B3');
}
}  // namespace

bool FolderListing::Listable(const std::wstring& path, std::wstring& folder, std::wstring& name) {
    // Short of the length limit, so that the folder's listing and the single check see the same names.
    if (path.size() < 4 || path.size() >= MAX_PATH - 12) return false;
    const wchar_t drive = path[0];
    if (!((drive >= L'a' && drive <= L'z') || (drive >= L'A' && drive <= L'Z')) || path[1] != L':' || path[2] != L'\\')
        return false;
    // Only the drive's colon; no forward slashes (the file system reads them as separators).
    if (path.find_first_of(L":/", 2) != std::wstring::npos) return false;
    const size_t last = path.find_last_of(L'\\');
    name = path.substr(last + 1);
    if (name.empty() || name == L"." || name == L"..") return false;
    // Trailing dots and blanks are trimmed, wildcards and '~' (short names) are resolved by the
    // file system itself.
    if (name.back() == L'.' || name.back() == L' ') return false;
    for (wchar_t c : name)
        if (c < 32 || wcschr(L"<>\"|?*~", c)) return false;
    if (DeviceName(name)) return false;
    folder = last == 2 ? path.substr(0, 3) : path.substr(0, last);
    return true;
}

void FolderListing::Clear() {
    folders_.clear();
    answers_.clear();
    listed_ = single_ = 0;
}

bool FolderListing::Single(const std::wstring& path) {
    ++single_;
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

const FolderListing::Folder& FolderListing::Listing(const std::wstring& folder) {
    auto [it, added] = folders_.try_emplace(folder);
    Folder& f = it->second;
    if (!added) return f;
    const std::wstring pattern = folder + (folder.back() == L'\\' ? L"*" : L"\\*");
    WIN32_FIND_DATAW d;
    UniqueHFind h(FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &d, FindExSearchNameMatch, nullptr,
                                   FIND_FIRST_EX_LARGE_FETCH));
    if (!h) return f;  // not listed: its paths get the single check
    do {
        f.names.emplace_back(d.cFileName);
    } while (FindNextFileW(h.get(), &d));
    const DWORD end = GetLastError();
    h.reset();
    if (end != ERROR_NO_MORE_FILES) {  // an incomplete listing answers nothing
        f.names.clear();
        return f;
    }
    std::sort(f.names.begin(), f.names.end(), [](const std::wstring& a, const std::wstring& b) { return Compare(a, b) < 0; });
    f.listed = true;
    ++listed_;
    return f;
}

bool FolderListing::Exists(const std::wstring& path) {
    auto [it, added] = answers_.try_emplace(path, false);
    if (!added) return it->second;
    std::wstring folder, name;
    bool there;
    if (!Listable(path, folder, name)) {
        there = Single(path);
    } else if (const Folder& f = Listing(folder); !f.listed) {
        there = Single(path);
    } else {
        auto at = std::lower_bound(f.names.begin(), f.names.end(), name,
                                   [](const std::wstring& a, const std::wstring& b) { return Compare(a, b) < 0; });
        there = at != f.names.end() && Compare(*at, name) == 0;
    }
    it->second = there;
    return there;
}
