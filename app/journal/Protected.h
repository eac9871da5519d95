// app/journal/Protected.h
#pragma once
#include "registry/RegKey.h"
#include <string>

// The places this program never empties or deletes, each with the German reason it gives. Every
// tool that deletes files or registry keys asks here first; the tables are data in Protected.cpp.

// ---- Folders ----------------------------------------------------------------------------------

// ---- Registry places --------------------------------------------------------------------------

// Whether a name below a classes key (HKEY_CLASSES_ROOT, Software\Classes) is one Windows cannot
// work without: the structural keys (CLSID, Interface, Folder, ...) and the file types of
// programs, links, scripts and system files (.exe, exefile, .lnk, ...). Any letter case.
bool IsSystemClass(const std::wstring& name);

// Asks the table about registry places. One instance serves one run of changes: what it learns
// about which ProgIDs are named is read once and checked again for each question.
class RegistryProtection {
public:
    RegistryProtection();
    ~RegistryProtection();
    // Why the key (and everything below it) may not be deleted, as the rest of a German sentence
    // that begins with the key; "" when it may. A key that holds a protected place is protected.
    std::wstring WhyKey(RootKey root, const std::wstring& key);
    // Whether the answer about this key depends on what the registry holds now (a ProgID that may
    // still be named, a type's key that may hold the user's choice), not on its name alone.
    static bool AsksRegistry(RootKey root, const std::wstring& key);
    // Why one value may not be deleted or written; "" when it may.
    std::wstring WhyValue(RootKey root, const std::wstring& key, const std::wstring& name);

private:
    struct Namers;
    std::wstring WhyProgId(RootKey root, const std::wstring& progId);
    Namers* namers_ = nullptr;  // read when the first ProgID is asked about
};
