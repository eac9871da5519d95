// tests/support/Hives.h
#pragma once
#include "backup/RegFileReader.h"
#include <map>
#include <string>

// The folder the hive files of tests/support/hives/make_hives.sh lie in (build\testhives\,
// built by the "hives" test before the registry and scan tests), ending in "\".
std::wstring TestHives();

// Key path (lower case, below the hive's root) -> its values by name (lower case), as a hive holds them.
using HiveView = std::map<std::wstring, std::map<std::wstring, RegFileValue>>;
// What "hivexregedit --export" of a hive wrote (UTF-8), every section below `prefix` ("HKEY_LOCAL_MACHINE\SOFTWARE").
HiveView ExportView(const std::wstring& exportFile, const std::wstring& prefix);
