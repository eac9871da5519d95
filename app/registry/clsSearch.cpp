// app/registry/clsSearch.cpp
#include "registry/clsSearch.h"
#include "core/DoEvents.h"
#include "core/Trap.h"
#include "registry/ValueText.h"
#include <algorithm>
#include <cstring>

namespace {
const wchar_t kModule[] = L"clsSearch";

std::wstring Upper(std::wstring s) {
    if (!s.empty()) CharUpperBuffW(s.data(), static_cast<DWORD>(s.size()));
    return s;
}

// "Contains" as the search defines it: the empty text is found in every non-empty text only.
bool Contains(const std::wstring& haystack, const std::wstring& needle) {
    return !haystack.empty() && haystack.find(needle) != std::wstring::npos;
}

// Keeps KeyPath as the caller gave it, whatever happens below.
struct KeyPathGuard {
    SearchQuery& query;
    std::wstring saved;
    explicit KeyPathGuard(SearchQuery& s) : query(s), saved(s.KeyPath) {}
    ~KeyPathGuard() { query.KeyPath = std::move(saved); }
};
}  // namespace

std::wstring ScanHit::KeyText() const {
    std::wstring k = key;
    if (k.find(L'\\') == std::wstring::npos) k += L'\\';
    return k + L']';
}

std::wstring ScanHit::Line() const {
    std::wstring k = key;
    if (k.find(L'\\') == std::wstring::npos) k += L'\\';
    return std::to_wstring(root) + L"[" + k + L"]" + (name.empty() ? std::wstring(L"@") : name) + L"=" + data;
}

std::wstring ScanHit::DisplayData() const {
    if (IsTextType(type)) return data;
    std::wstring text = ValueDisplayText(type, raw.data(), raw.size());
    // Binary data is cut long before; only the strings of a multi-string can have been cut here.
    if (type == REG_MULTI_SZ && bytes > raw.size()) text += L" …";
    return text;
}

std::wstring clsSearch::DataText(DWORD type, const BYTE* data, size_t bytes) {
    if (IsTextType(type)) return ValueDisplayText(type, data, bytes);  // up to the first zero
    if (type == REG_BINARY) {
        // The first two bytes as a signed little-endian number (missing bytes count as zero).
        uint16_t lo = bytes > 0 ? data[0] : 0, hi = bytes > 1 ? data[1] : 0;
        return std::to_wstring(static_cast<int16_t>(lo | (hi << 8)));
    }
    return L"";
}

std::vector<std::wstring> clsSearch::Get_KeyValues(RootKey root, const std::wstring& key) {
    std::vector<std::wstring> names;
    Trap(kModule, L"Get_KeyValues", [&] {
        RegKey k;
        lastResult_ = k.Open(ToHkey(root), key, KEY_QUERY_VALUE);
        if (lastResult_ != ERROR_SUCCESS) return;
        RegValue v;
        for (DWORD i = 0; (lastResult_ = EnumValue(k.get(), i, v)) == ERROR_SUCCESS; ++i) names.push_back(v.name);
    });
    if (names.empty()) names.emplace_back();
    return names;
}

std::vector<std::wstring> clsSearch::Get_SubFolders(RootKey root, const std::wstring& key) {
    std::vector<std::wstring> names;
    Trap(kModule, L"Get_SubFolders", [&] {
        RegKey k;
        lastResult_ = k.Open(ToHkey(root), key, KEY_ENUMERATE_SUB_KEYS);
        if (lastResult_ != ERROR_SUCCESS) return;
        std::wstring name;
        for (DWORD i = 0; (lastResult_ = EnumKey(k.get(), i, name)) == ERROR_SUCCESS; ++i) names.push_back(name);
    });
    if (names.empty()) names.emplace_back();
    return names;
}

std::wstring clsSearch::Get_ValueData(RootKey root, const std::wstring& key, const std::wstring& name) {
    std::wstring text;
    Trap(kModule, L"RegCloseKey", [&] {
        RegKey k;
        lastResult_ = k.Open(ToHkey(root), key, KEY_QUERY_VALUE);
        if (lastResult_ != ERROR_SUCCESS) return;
        // Data of any length: paths longer than a fixed buffer are still read whole.
        DWORD type = 0, size = 0;
        lastResult_ = RegQueryValueExW(k.get(), name.c_str(), nullptr, &type, nullptr, &size);
        if (lastResult_ != ERROR_SUCCESS) return;
        std::vector<BYTE> buf;
        do {
            buf.resize(size + 2);
            DWORD got = size;
            lastResult_ = RegQueryValueExW(k.get(), name.c_str(), nullptr, &type, buf.data(), &got);
            if (lastResult_ == ERROR_SUCCESS) size = got;
            else if (lastResult_ == ERROR_MORE_DATA) size = got > size ? got : size * 2;
        } while (lastResult_ == ERROR_MORE_DATA);
        if (lastResult_ == ERROR_SUCCESS) text = DataText(type, buf.data(), size);
    });
    return text;
}

LSTATUS clsSearch::KeyStatus(RootKey root, const std::wstring& key, REGSAM access) {
    RegKey k;
    return k.Open(ToHkey(root), key, access);
}

void clsSearch::FindString(SearchQuery& query, std::vector<ScanHit>& result) {
    if (result.empty()) result.emplace_back();
    try {
        Walk(query, result);
    } catch (...) {
        result.assign(1, ScanHit{});
        ReportError(kModule, L"FindString", CurrentError());
    }
}

// One key: its values (read in one pass over the open key, data included), then its sub-keys.
// The tree below the query's key, depth first: a stack of the levels above (each the names of its
// sub-keys and how far it got) instead of recursion, so no tree is too deep for the stack.
void clsSearch::Walk(SearchQuery& query, std::vector<ScanHit>& result) {
    struct Level {
        std::vector<std::wstring> names;
        size_t next;
        std::wstring path;
    };
    KeyPathGuard guard(query);
    std::vector<Level> levels;
    std::vector<std::wstring> names;
    Visit(query, result, names);
    levels.push_back({std::move(names), 0, guard.saved});
    while (!levels.empty()) {
        Level& level = levels.back();
        if (StopSearch) return;
        if (level.next == level.names.size()) {
            levels.pop_back();
            continue;
        }
        DoEventsIfDue();
        const std::wstring& sub = level.names[level.next++];
        std::wstring path = level.path.empty() ? sub : level.path + L"\\" + sub;
        query.KeyPath = path;
        names.clear();
        Visit(query, result, names);
        levels.push_back({std::move(names), 0, std::move(path)});
        names = {};
    }
}

void clsSearch::Visit(SearchQuery& query, std::vector<ScanHit>& result, std::vector<std::wstring>& names) {
    if (query.CompareMode != 0 && query.CompareMode != 1) return;  // matches nothing
    RegKey k;
    bool valuesReadable = true;
    if (k.Open(ToHkey(query.Root), query.KeyPath, KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS) != ERROR_SUCCESS) {
        // An unreadable key contributes nothing; its sub-keys may still be reachable.
        valuesReadable = false;
        if (k.Open(ToHkey(query.Root), query.KeyPath, KEY_ENUMERATE_SUB_KEYS) != ERROR_SUCCESS) return;
    }
    DWORD subKeys = 0, values = 0, maxName = 0, maxData = 0;
    // With the counts known, the walk needs no call that only reports the end of a list.
    const bool counted = RegQueryInfoKeyW(k.get(), nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, &values,
                                          &maxName, &maxData, nullptr, nullptr) == ERROR_SUCCESS;
    if (!counted) values = MAXDWORD;

    const bool contains = query.CompareMode == 1;
    const std::wstring& text = query.SearchText;
    const bool emptyContains = contains && text.empty();
    std::wstring keyText = query.KeyPath;
    if (keyText.find(L'\\') == std::wstring::npos) keyText += L'\\';
    const std::wstring needle = contains ? Upper(text) : text;
    const std::wstring keyCmp = contains && !emptyContains ? Upper(keyText) : keyText;
    const size_t slash = keyText.find_last_of(L'\\');
    const std::wstring lastPart = slash == std::wstring::npos ? keyText : keyText.substr(slash + 1);

    auto matches = [&](const std::wstring& name, const std::wstring& data) {
        if (!contains) {
            if (query.MatchValueData && data == text) return true;
            if (query.MatchValueName && name == text) return true;
            return keyText == text || (query.MatchKeyName && lastPart == text);
        }
        if (emptyContains)
            return (query.MatchValueData && !data.empty()) || (query.MatchValueName && !name.empty()) ||
                   query.MatchKeyName;
        return (query.MatchValueData && Contains(Upper(data), needle)) ||
               (query.MatchValueName && Contains(Upper(name), needle)) || (query.MatchKeyName && Contains(keyCmp, needle));
    };
    auto add = [&](const std::wstring& name, DWORD type, DWORD bytes, std::wstring&& data, const BYTE* raw) {
        ScanHit h;
        h.root = query.Root;
        h.key = query.KeyPath;
        h.name = name;
        h.type = type;
        h.bytes = bytes;
        h.subKeys = subKeys;
        h.data = std::move(data);
        if (raw && !IsTextType(type)) h.raw.assign(raw, raw + std::min<size_t>(bytes, ScanHit::kRawKept));
        result.push_back(std::move(h));
    };

    bool stopped = false;
    if (valuesReadable) {
        std::vector<wchar_t> name(maxName + 2);
        std::vector<BYTE> data(maxData + 2);
        DWORD index = 0;
        for (;; ++index) {
            if (StopSearch) { stopped = true; break; }
            if (index >= values) break;
            DoEventsIfDue();
            DWORD nameLen = static_cast<DWORD>(name.size()), dataLen = static_cast<DWORD>(data.size() - 2), type = 0;
            LSTATUS rc = RegEnumValueW(k.get(), index, name.data(), &nameLen, nullptr, &type, data.data(), &dataLen);
            if (rc == ERROR_MORE_DATA) {
                // The key changed under us or the platform under-reported: grow both and retry.
                RegQueryInfoKeyW(k.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &maxName,
                                 &maxData, nullptr, nullptr);
                name.resize(std::max<size_t>(name.size() * 2, maxName + 2));
                data.resize(std::max<size_t>(data.size() * 2, std::max<size_t>(maxData, dataLen) + 2));
                --index;
                continue;
            }
            if (rc != ERROR_SUCCESS) break;
            std::wstring n(name.data(), nameLen);
            std::wstring d = DataText(type, data.data(), dataLen);
            if (matches(n, d)) add(n, type, dataLen, std::move(d), data.data());
        }
        // A key without values stands for its (absent) default value.
        if (index == 0 && !stopped && matches(L"", L"")) add(L"", REG_NONE, 0, L"", nullptr);
    }
    if (stopped || !query.Recurse || subKeys == 0) return;

    names.reserve(subKeys);
    std::wstring n;
    for (DWORD i = 0; i < subKeys && EnumKey(k.get(), i, n) == ERROR_SUCCESS; ++i) names.push_back(n);
    // The key is closed on return: deep trees must not hold one handle per level.
}
