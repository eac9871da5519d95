// app/backup/RegFileImport.h
#pragma once
#include "backup/RegFileReader.h"
#include <string>

// Whether the registry holds what the file writes: every key it writes exists with the file's
// values (type and bytes), every key or value it deletes is gone. Sections are applied in file
// order, as the editor does. On a difference `problem` names the first one.
bool RegFileApplied(const RegFile& file, std::wstring& problem);
