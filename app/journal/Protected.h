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

// Why the key may not be deleted, changed below or emptied, as a whole German sentence naming it;
// "" when it may. A key counts as protected when it is a protected place or holds one.
std::wstring WhyKeyProtected(RootKey root, const std::wstring& key);
// Why the value may not be deleted or written; "" when it may (a value under a protected key).
std::wstring WhyValueProtected(RootKey root, const std::wstring& key, const std::wstring& name);
