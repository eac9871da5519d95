// app/journal/Protected.h
#pragma once
#include "registry/RegKey.h"
#include <string>

// The places this program never empties or deletes, each with the German reason it gives. Every
// tool that deletes files or registry keys asks here first; the tables are data in Protected.cpp.

// ---- Folders ----------------------------------------------------------------------------------

// Why the file or folder must never be deleted or emptied, as the rest of a German sentence that
// begins with the path ("ist der Windows-Ordner"); "" when nothing stands against it. Refused:
// relative paths; drive and share roots; the Windows folder and all below it but its Temp folder;
// the program folders and all below them; ProgramData and its direct sub-folders; the user
// profile; the user's known folders (the personal ones with all below them); this program's own
// folder and backup folder; every folder that holds one of these; and a path that leads through
// a link, which is never followed.
std::wstring WhyPathProtected(const std::wstring& path);
// Why the folder must never be emptied: WhyPathProtected, or it does not exist, or it is itself a link
// to another folder; "" when it may be emptied.
std::wstring WhyNotEmptied(const std::wstring& folder);
// True when one part of the path is exactly "Temp" or "Tmp" (any case) and the folder is not
// protected: such folders are taken into the disk cleanup's list without asking.
bool IsTempFolderPath(const std::wstring& folder);

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
