// app/journal/Protected.h
#pragma once
#include "registry/RegKey.h"
#include <string>

// The places this program never empties or deletes, each with the German reason it gives. Every
// tool that deletes files or registry keys asks here first; the tables are data in Protected.cpp.

// ---- Folders ----------------------------------------------------------------------------------

// ---- Registry places --------------------------------------------------------------------------

// Why the key may not be deleted, changed below or emptied, as a whole German sentence naming it;
// "" when it may. A key counts as protected when it is a protected place or holds one.
std::wstring WhyKeyProtected(RootKey root, const std::wstring& key);
// Why the value may not be deleted or written; "" when it may (a value under a protected key).
std::wstring WhyValueProtected(RootKey root, const std::wstring& key, const std::wstring& name);
