// app/registry/clsSearch.h
#pragma once
#include "registry/RegKey.h"
#include <cstdint>
#include <string>
#include <vector>


// One value found by the registry walk. The record is what the program acts on; its text line
// (root "[" key "]" name "=" data) is only derived for display and the protocol log, never parsed
// back to find a key.
struct ScanHit {
    RootKey root = 0;
    std::wstring key;       // key path below the root, no leading or trailing backslash
    std::wstring name;      // value name, "" for the default value
    DWORD type = REG_NONE;  // the value's type (REG_NONE for a key that holds no values)
    DWORD bytes = 0;        // size of the value's data in bytes
    DWORD subKeys = 0;      // number of sub-keys of the hit's key when it was read
    uint16_t part = 0;      // whose user keys these are, when a registry source holds several users
    std::wstring data;      // the value's data as the search reads it (text types and REG_BINARY only)
    // The first bytes (up to kRawKept) of a value that is no single text, for its display; empty
    // for REG_SZ and REG_EXPAND_SZ, whose `data` says it all.
    std::vector<BYTE> raw;
    static constexpr size_t kRawKept = 1024;

    // The data as the lists show it (ValueDisplayText); a multi-string longer than kRawKept
    // bytes ends in " …".
    std::wstring DisplayData() const;

    // The hit's text line: root in signed decimal "[" key "]" name ("@" for the default) "=" data.
    std::wstring Line() const;
    // The key as the checks see it: the key path ("\" appended when it has no backslash) + "]".
    std::wstring KeyText() const;
};

// What FindString looks for. KeyPath is changed during the walk and restored afterwards.
struct SearchQuery {
    std::wstring SearchText;
    std::wstring KeyPath;
    RootKey Root = 0;
    int32_t Reserved = 0;
    int32_t CompareMode = 0;  // 0 exact (case-sensitive), 1 contains (case-insensitive)
    bool Recurse = false;
    bool MatchKeyName = false;
    bool MatchValueName = false;
    bool MatchValueData = false;
};

// Lists the values and sub-keys of a key, reads a value as text, and runs the recursive search
// that the scan and the tools use. The walk keeps the windows alive and stops when StopSearch is set.
class clsSearch {
public:

    bool StopSearch = false;  // set from outside to stop a running FindString
    bool ScanRun = false;     // a scan or search is under way

    // Appends one hit per matching value to `result` (element 0 is the caller's and stays empty).
    void FindString(SearchQuery& query, std::vector<ScanHit>& result);
    // Value names of a key (one empty name when it holds none or cannot be opened).
    std::vector<std::wstring> Get_KeyValues(RootKey root, const std::wstring& key);
    // Sub-key names of a key (one empty name when it has none or cannot be opened).
    std::vector<std::wstring> Get_SubFolders(RootKey root, const std::wstring& key);
    // A value as text: strings up to their first zero (placeholders not expanded), REG_BINARY its
    // first two bytes as a signed 16-bit number, every other type or a missing value "".
    std::wstring Get_ValueData(RootKey root, const std::wstring& key, const std::wstring& name);
    // The platform's answer to opening a key (ERROR_SUCCESS, ERROR_FILE_NOT_FOUND, ERROR_ACCESS_DENIED ...).
    LSTATUS KeyStatus(RootKey root, const std::wstring& key, REGSAM access);
    // Result code of the last platform call of the three readers (0 = success).
    LSTATUS LastResult() const { return lastResult_; }

    // The data text of a value as the readers produce it.
    static std::wstring DataText(DWORD type, const BYTE* data, size_t bytes);

private:
    void Walk(SearchQuery& query, std::vector<ScanHit>& result);
    // One key's matching values; `names` receives its sub-keys when the walk goes on below it.
    void Visit(SearchQuery& query, std::vector<ScanHit>& result, std::vector<std::wstring>& names);
    LSTATUS lastResult_ = 0;
};
