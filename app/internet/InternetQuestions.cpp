// app/internet/InternetQuestions.cpp
#include "internet/InternetQuestions.h"
#include "core/Trap.h"

bool RetryAfterNoConnection(InternetQuestions& user, const wchar_t* module, const wchar_t* procedure, int errorNumber,
                            const std::wstring& reason, const std::wstring& text, const std::wstring& retryQuestion,
                            int attempt) {
    ReportError(module, procedure, RuntimeError{errorNumber, kNoConnectionText}, Style::Warning, false, reason);
    user.Say(procedure, text);
    if (attempt < clsInternet::kMaxAttempts &&
        user.Ask(text + L"\r\n\r\n" + retryQuestion, InternetQuestions::Tone::Warning)) {
        Trace(module, procedure, L"wiederholt");
        return true;
    }
    if (attempt == clsInternet::kMaxAttempts) user.Tell(text, InternetQuestions::Tone::Warning);
    return false;
}
