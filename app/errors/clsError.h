// app/errors/clsError.h
#pragma once
#include "core/Trap.h"
#include <string>

// Writes the protocol log torvane.log in InstallDir. It only logs: what the user sees of an error
// is up to the sink the program installed (core/Trap.h).
class clsError {
public:
    // Writes the entry as its style asks (errors always, information and questions while logging).
    void HandleError(const ErrorEntry& entry);
    void WriteLog(const std::wstring& module, const std::wstring& procedure, const std::wstring& message,
                  int number, const std::wstring& description);
    void WriteStartEntry();

    static std::wstring LogPath();                         // InstallDir + "torvane.log"
    static std::wstring LogLine(const std::wstring& module, const std::wstring& procedure,
                                const std::wstring& message, int number, const std::wstring& description);
    // The e-mail check of the error dialog and the bug report.
    static bool EMailLooksValid(const std::wstring& address);
};
