// app/journal/Areas.h
#pragma once
#include "registry/RegKey.h"
#include <string>
#include <utility>
#include <vector>

// Where each kind of change journal may change the registry: deny by default. A change outside
// the areas of its kind is kept with its reason; a write-back ("Wiederherstellung") may change only
// what some kind may change. The areas are data in Areas.cpp; the protected places still apply
// inside them.

// A key (and a value name) brought into the one form the registry functions act on: the root is
// HKEY_CURRENT_USER or HKEY_LOCAL_MACHINE, the key has no empty part. HKEY_USERS\<own SID> and
// <own SID>_Classes are HKEY_CURRENT_USER and its classes, HKEY_CLASSES_ROOT is the user's classes
// where the key is there and the machine's otherwise (with Wow6432Node the same for the 32-bit
// view), HKEY_CURRENT_CONFIG is the machine's current hardware profile.
struct ResolvedName {
    RootKey root = 0;
    std::wstring key;
    // Why the name cannot be acted on as written (the rest of a German sentence that begins with
    // the place); "" when root and key say where.
    std::wstring why;
};
// `valueName`: the value a change is about, or nullptr for a key.
ResolvedName ResolveRegName(RootKey root, const std::wstring& key, const std::wstring* valueName = nullptr);

// What a change does to its place.
enum class Touch { DeleteKey, MakeKey, Value };
// Why a change of this kind may not touch the place (the rest of a sentence that begins with the
// place); "" when it lies in one of the kind's areas. `key` as ResolveRegName gives it; `value`
// the value's name for Touch::Value.
std::wstring WhyOutsideAreas(const std::wstring& kind, Touch touch, RootKey root, const std::wstring& key,
                             const std::wstring& value = {});

// The SID of the user this program runs as ("S-1-5-21-..."), "" when it cannot be read.
const std::wstring& OwnSid();

// Further areas that every kind may change; empty in the program. Tests add the keys they work
// in, so that the journal's own behaviour can be tried on keys nobody else uses.
std::vector<std::pair<RootKey, std::wstring>>& ExtraAreas();
