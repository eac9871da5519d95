// app/core/ProtocolLog.cpp
#include "core/ProtocolLog.h"
#include "core/AppEnvironment.h"
#include "core/Text.h"
#include <windows.h>

namespace ProtocolLog {
std::wstring Stamp() {
    wchar_t date[64] = L"", time[64] = L"";
    GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, nullptr, nullptr, date, 64);
    GetTimeFormatW(LOCALE_USER_DEFAULT, 0, nullptr, nullptr, time, 64);
    return std::wstring(date) + L" " + time;
}
}  // namespace ProtocolLog

namespace {
bool IsError(Style s) { return s == Style::Critical || s == Style::Warning; }
bool IsNote(Style s) { return s == Style::Information || s == Style::Question; }
}  // namespace

namespace ProtocolLog {
std::wstring Path() { return AppEnvironment.InstallDir + L"torvane.log"; }

std::wstring Line(const std::wstring& module, const std::wstring& procedure, const std::wstring& message, int number,
                  const std::wstring& description) {
    return Stamp() + L"; " + module + L"; " + procedure + L"; " + message + L"; " + std::to_wstring(number) + L"; " +
           description;
}

void Append(const std::wstring& line) {
    // Open, append, close for every line: a reader never sees half a line, and a log that cannot
    // be opened (locked, read-only, folder missing) only loses this line.
    HANDLE f = CreateFileW(Path().c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE) return;
    std::string bytes = ToAnsi(line) + "\r\n";
    DWORD written = 0;
    WriteFile(f, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(f);
}

void Write(const std::wstring& module, const std::wstring& procedure, const std::wstring& message, int number,
           const std::wstring& description) {
    Append(Line(module, procedure, message, number, description));
}

void Write(const ErrorEntry& e) {
    if (IsError(e.style) || (IsNote(e.style) && Logging()))
        Write(e.module, e.procedure, e.message, e.number, e.description);
}
}  // namespace ProtocolLog

std::wstring ConsoleErrorText(const ErrorEntry& e) {
    if (IsNote(e.style)) return e.message;
    return L"Laufzeitfehler " + std::to_wstring(e.number) + L" in " + e.module + L", " + e.procedure + L": " +
           e.description + (e.message.empty() ? L"" : L" (" + e.message + L")");
}

ErrorSink ConsoleErrorSink(std::function<void(const std::wstring&)> print) {
    return [print = std::move(print)](const ErrorEntry& e) {
        ProtocolLog::Write(e);
        if (e.show && (IsError(e.style) || IsNote(e.style))) print(ConsoleErrorText(e));
    };
}
