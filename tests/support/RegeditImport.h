// tests/support/RegeditImport.h
#pragma once
// The system's registry editor importing a file, checked against the registry: proves that the
// undo files still import as their introduction promises (a double-click in the Explorer).
#include "backup/RegFileImport.h"
#include <string>

struct WriteBackResult {
    bool started = false;       // the registry editor ran to its end
    unsigned long exitCode = 0; // proves nothing: the editor returns 0 even for a missing file
    bool applied = false;       // the registry now holds the file's content
    std::wstring problem;       // why not
};

// Writes a file back with the registry editor of the Windows folder ("regedit.exe /s"), waits for
// it while processing window events, and checks the registry against the file.
WriteBackResult WriteBackRegFile(const std::wstring& path);
