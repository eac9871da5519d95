// app/scan/ScanExclusions.h
#pragma once
#include "registry/RegKey.h"
#include <string>
#include <vector>


// Keys the user never wants reported again, each with everything below it. They are kept in the
// settings store, section "Ausnahmen": one REG_SZ value per key, named and filled with the key as
// the result list's first column writes it ("[HKEY_LOCAL_MACHINE\Software\...\{A}]").
class ScanExclusions {
public:
    static const wchar_t* const kSection;  // "Ausnahmen"

    struct Entry {
        std::wstring valueName;  // the stored value's name (to remove it)
        std::wstring text;       // "[HKEY_...\path]"
        RootKey root = 0;
        std::wstring lowerKey;   // the path below the root, lower case, no trailing backslash
    };

    // Splits a key text "[HKEY_...\path]" into root and path; false for anything else (an
    // unknown root, no path, no brackets).
    static bool Parse(const std::wstring& text, RootKey& root, std::wstring& key);

    // Reads the stored keys. An entry that is no key text is left out with a log entry.
    void Load();
    void Clear() { entries_.clear(); }
    const std::vector<Entry>& Entries() const { return entries_; }
    // Whether a key is an excluded one or lies below one, by whole key names, ignoring case.
    bool Excludes(RootKey root, const std::wstring& key) const;

    // Stores a key text (raises when the settings store cannot be written); false when the
    // text is no key text, and then nothing is stored.
    static bool Add(const std::wstring& text);
    // Deletes one stored value (the value only, never the section's key).
    static void Remove(const std::wstring& valueName);

private:
    std::vector<Entry> entries_;
};
