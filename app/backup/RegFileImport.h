// app/backup/RegFileImport.h
#pragma once
#include "backup/RegFileReader.h"
#include <string>

// Whether the registry holds what the file writes: every key it writes exists with the file's
// values (type and bytes), every key or value it deletes is gone. Sections are applied in file
// order, as the editor does. On a difference `problem` names the first one.
bool RegFileApplied(const RegFile& file, std::wstring& problem);

struct WriteBackResult {
    bool started = false;       // the registry editor ran to its end
    unsigned long exitCode = 0; // proves nothing: the editor returns 0 even for a missing file
    bool applied = false;       // the registry now holds the file's content
    std::wstring problem;       // why not, for the protocol log
};

// Writes a file back with the registry editor of the Windows folder ("regedit.exe /s"), waits for
// it while processing window events, and checks the registry against the file.
WriteBackResult WriteBackRegFile(const std::wstring& path);
