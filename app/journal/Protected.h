// app/journal/Protected.h
#pragma once
#include "registry/RegKey.h"
#include <string>
#include <utility>
#include <vector>

// The places this program never empties or deletes, each with the German reason it gives. Every
// tool that deletes files or registry keys asks here first; the tables are data in Protected.cpp.

// ---- Folders ----------------------------------------------------------------------------------

// Why the file or folder must never be deleted or emptied, as the rest of a German sentence that
// begins with the path ("ist der Windows-Ordner"); "" when nothing stands against it. Refused:
// relative paths; drive and share roots; the Windows folder and all below it but its Temp folder;
// the program folders and all below them; ProgramData and its direct sub-folders; the user
// profile; the user's known folders (the personal ones with all below them); this program's own
// folder and backup folder; every folder that holds one of these; and a path that leads through
// a link, which is never followed. The path is judged as the file system finally takes it (an open
// handle's path) and as written, each under its local name: \\localhost\C$, \\127.0.0.1\c$,
// \\<computer name>\C$ and ADMIN$, a subst or mapped drive are the folders they stand for.
std::wstring WhyPathProtected(const std::wstring& path);
// What WhyPathProtected says of the entries directly in one folder, worked out once for the folder,
// so that a listing is judged by name: for deleting many entries of one folder.
class FolderEntries {
public:
    explicit FolderEntries(const std::wstring& folder);
    // Why the entry of that name in the folder must stay (as WhyPathProtected of its path); "" when
    // it may go. A link counts as the entry itself: never followed.
    std::wstring WhyEntry(const std::wstring& name) const;

private:
    std::wstring all_;                                         // said of every entry
    std::vector<std::pair<std::wstring, std::wstring>> named_;  // lower-case name, what is said of it
    bool throughLink_ = false;                                 // the folder is a link or lies in one
};
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
// about which ProgIDs are named is read once and checked again for each question. A ProgID stays,
// with all below it, while an extension (its default value, its OpenWithProgids or the Explorer's
// FileExts\<ext>\OpenWithProgids), a class (ProgID, VersionIndependentProgID), the user's choice
// (UserChoice, UserChoiceLatest of an extension or a protocol) or a registered application's
// Capabilities (FileAssociations, URLAssociations) names it; SystemFileAssociations and the types
// of packaged apps (AppX...) stay always.
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
    // Why a ProgID (itself, or a key below it) stays: something still names it.
    std::wstring WhyProgId(const std::wstring& progId, bool itself);
    Namers* namers_ = nullptr;  // read when the first ProgID is asked about
};
