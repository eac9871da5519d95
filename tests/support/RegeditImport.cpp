// tests/support/RegeditImport.cpp
#include "support/RegeditImport.h"
#include "core/AppEnvironment.h"
#include "core/Trap.h"
#include "core/modWaitForProcess.h"

WriteBackResult WriteBackRegFile(const std::wstring& path) {
    WriteBackResult result;
    RegFile file;
    // Read before the import: the check needs what the file says, whatever happens to it.
    try {
        file = ReadRegFile(path);
    } catch (...) {
        result.problem = L"Datei nicht lesbar: " + CurrentError().description;
        return result;
    }
    if (!file.valid) {
        result.problem = L"keine Registrierungsdatei (Kopfzeile fehlt)";
        return result;
    }
    try {
        const std::wstring command = AppEnvironment.WinDir + L"regedit.exe /s \"" + path + L"\"";
        result.started = ShelledApp(command, result.exitCode);
    } catch (...) {
        result.problem = L"Registrierungs-Editor nicht gestartet: " + CurrentError().description;
        return result;
    }
    result.applied = RegFileApplied(file, result.problem);
    return result;
}
