// app/core/Trap.h
#pragma once
#include "core/RuntimeError.h"
#include <concepts>
#include <functional>
#include <new>
#include <stdexcept>
#include <string>

// Entry styles: the platform's message-box icon codes, which is what the dialog and the message
// box show for them.
enum class Style { Critical = 16, Question = 32, Warning = 48, Information = 64 };

// One entry for the error handler: where it happened, what failed, and whether the user is to see it.
struct ErrorEntry {
    std::wstring module, procedure, message;
    int number = 0;
    std::wstring description;
    Style style = Style::Warning;
    bool show = false;
};

// Where entries go. Start-up installs it once: the window program's sink logs and shows the error
// dialog or a message box, the console's logs and prints. Errors travel down to it, never up.
using ErrorSink = std::function<void(const ErrorEntry&)>;
void SetErrorSink(ErrorSink sink);

// Hands one entry to the installed sink. With none installed (a program that skipped start-up)
// the entry still reaches the protocol log and stderr, as the console's sink writes it.
void HandleError(const ErrorEntry& entry);
void HandleError(const std::wstring& module, const std::wstring& procedure, const std::wstring& message, int number,
                 const std::wstring& description, Style style, bool show);

// The one way a procedure reports to the error handler:
// Trace writes an information entry (only while logging is on),
// ReportError writes an error entry and shows the dialog when asked.
void Trace(const wchar_t* module, const wchar_t* procedure, const std::wstring& message);
void ReportError(const wchar_t* module, const wchar_t* procedure, const RuntimeError& e,
                 Style style = Style::Warning, bool show = false, const std::wstring& message = L"");

// Turns whatever a step threw into a RuntimeError (C++ failures get the nearest catalogue number).
RuntimeError CurrentError();

// Runs one fallible step. A run-time error is handed to the error handler and the caller goes on
// with its next statement ("resume next"); returns whether the step completed.
template <class Step>
bool Trap(const wchar_t* module, const wchar_t* procedure, Step&& step, Style style = Style::Warning,
          bool show = false, const std::wstring& message = L"") {
    try {
        step();
        return true;
    } catch (...) {
        ReportError(module, procedure, CurrentError(), style, show, message);
        return false;
    }
}

// As above, with the entry's message made only when the step failed, so it can tell how far the
// step got (a value the step produced before the error).
template <class Step, std::invocable Message>
bool Trap(const wchar_t* module, const wchar_t* procedure, Step&& step, Style style, bool show, Message&& message) {
    try {
        step();
        return true;
    } catch (...) {
        RuntimeError e = CurrentError();
        ReportError(module, procedure, e, style, show, message());
        return false;
    }
}
