// app/errors/clsError.cpp
#include "errors/clsError.h"
#include "core/AppEnvironment.h"
#include "core/Text.h"
#include "main/WindowHandler.h"
#include "errors/frmError.h"
#include <windows.h>

namespace {
std::wstring Now() {
    wchar_t date[64] = L"", time[64] = L"";
    GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, nullptr, nullptr, date, 64);
    GetTimeFormatW(LOCALE_USER_DEFAULT, 0, nullptr, nullptr, time, 64);
    return std::wstring(date) + L" " + time;
}
}  // namespace

std::wstring clsError::LogPath() { return AppEnvironment.InstallDir + L"torvane.log"; }

std::wstring clsError::LogLine(const std::wstring& module, const std::wstring& procedure, const std::wstring& message,
                               int number, const std::wstring& description) {
    return Now() + L"; " + module + L"; " + procedure + L"; " + message + L"; " + std::to_wstring(number) + L"; " +
           description;
}

void clsError::AppendLine(const std::wstring& line) {
    // Open, append, close for every line: a reader never sees half a line, and a log that cannot
    // be opened (locked, read-only, folder missing) only loses this line.
    HANDLE f = CreateFileW(LogPath().c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE) return;
    std::string bytes = ToAnsi(line) + "\r\n";
    DWORD written = 0;
    WriteFile(f, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(f);
}

void clsError::WriteLog(const std::wstring& module, const std::wstring& procedure, const std::wstring& message,
                        int number, const std::wstring& description) {
    AppendLine(LogLine(module, procedure, message, number, description));
}

void clsError::WriteStartEntry() {
    AppendLine(Now() + L"; started; " + AppEnvironment.AppTitle + L"; " + AppEnvironment.AppVersion + L"; " +
               AppEnvironment.AppBuild);
}

void clsError::HandleError(const std::wstring& module, const std::wstring& procedure, const std::wstring& message,
                           int number, const std::wstring& description, int style, bool show) {
    if (style == Style::Critical || style == Style::Warning) {
        WriteLog(module, procedure, message, number, description);
        if (show) WindowHandler().Get<frmError>().ShowError(module, procedure, number, description, style);
    } else if (style == Style::Information || style == Style::Question) {
        if (Logging()) WriteLog(module, procedure, message, number, description);
        if (show) {
            HWND owner = GetActiveWindow();
            MessageBoxW(owner, message.c_str(), AppEnvironment.AppTitle.c_str(),
                        (style == Style::Question ? MB_ICONQUESTION : MB_ICONINFORMATION) | MB_OK);
        }
    }
}

bool clsError::EMailLooksValid(const std::wstring& a) {
    // Positions are 1-based; a missing character counts as position 0.
    const size_t dot = a.find(L'.') == std::wstring::npos ? 0 : a.find(L'.') + 1;
    const size_t at = a.find(L'@') == std::wstring::npos ? 0 : a.find(L'@') + 1;
    return dot >= 5 && a.size() >= dot + 2 && at >= 2;
}
