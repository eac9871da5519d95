// app/errors/clsError.h
#pragma once
#include <string>

class clsClassHandler;

// Entry styles: the platform's message-box icon codes.
namespace Style {
constexpr int Critical = 16, Question = 32, Warning = 48, Information = 64;
}

// Writes the protocol log torvane.log in InstallDir and tells the user about errors.
class clsError {
public:
    explicit clsError(clsClassHandler& handler) : handler_(handler) {}

    void HandleError(const std::wstring& module, const std::wstring& procedure, const std::wstring& message,
                     int number, const std::wstring& description, int style, bool show);
    void WriteLog(const std::wstring& module, const std::wstring& procedure, const std::wstring& message,
                  int number, const std::wstring& description);
    void WriteStartEntry();

    static std::wstring LogPath();                         // InstallDir + "torvane.log"
    static std::wstring LogLine(const std::wstring& module, const std::wstring& procedure,
                                const std::wstring& message, int number, const std::wstring& description);
    // The e-mail check of the error dialog and the bug report.
    static bool EMailLooksValid(const std::wstring& address);

private:
    static void AppendLine(const std::wstring& line);
    clsClassHandler& handler_;
};
