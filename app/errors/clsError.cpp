// app/errors/clsError.cpp
#include "errors/clsError.h"
#include "core/AppEnvironment.h"
#include "core/ProtocolLog.h"
#include <windows.h>

std::wstring clsError::LogPath() { return ProtocolLog::Path(); }

std::wstring clsError::LogLine(const std::wstring& module, const std::wstring& procedure, const std::wstring& message,
                               int number, const std::wstring& description) {
    return ProtocolLog::Line(module, procedure, message, number, description);
}

void clsError::WriteLog(const std::wstring& module, const std::wstring& procedure, const std::wstring& message,
                        int number, const std::wstring& description) {
    ProtocolLog::Write(module, procedure, message, number, description);
}

void clsError::WriteStartEntry() {
    ProtocolLog::Append(ProtocolLog::Stamp() + L"; started; " + AppEnvironment.AppTitle + L"; " +
                        AppEnvironment.AppVersion + L"; " + AppEnvironment.AppBuild);
}

void clsError::HandleError(const ErrorEntry& entry) { ProtocolLog::Write(entry); }

bool clsError::EMailLooksValid(const std::wstring& a) {
    // Positions are 1-based; a missing character counts as position 0.
    const size_t dot = a.find(L'.') == std::wstring::npos ? 0 : a.find(L'.') + 1;
    const size_t at = a.find(L'@') == std::wstring::npos ? 0 : a.find(L'@') + 1;
    return dot >= 5 && a.size() >= dot + 2 && at >= 2;
}
