// app/core/Trap.h
#pragma once
#include "core/RuntimeError.h"
#include <concepts>
#include <new>
#include <stdexcept>
#include <string>

// The one way a procedure reports to the error handler:
// Trace writes an information entry (only while logging is on),
// ReportError writes an error entry and shows the dialog when asked.
void Trace(const wchar_t* module, const wchar_t* procedure, const std::wstring& message);
void ReportError(const wchar_t* module, const wchar_t* procedure, const RuntimeError& e,
                 int style = 48, bool show = false, const std::wstring& message = L"");

// Turns whatever a step threw into a RuntimeError (C++ failures get the nearest catalogue number).
RuntimeError CurrentError();

// Runs one fallible step. A run-time error is handed to the error handler and the caller goes on
// with its next statement ("resume next"); returns whether the step completed.
template <class Step>
bool Trap(const wchar_t* module, const wchar_t* procedure, Step&& step, int style = 48, bool show = false,
          const std::wstring& message = L"") {
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
bool Trap(const wchar_t* module, const wchar_t* procedure, Step&& step, int style, bool show, Message&& message) {
    try {
        step();
        return true;
    } catch (...) {
        RuntimeError e = CurrentError();
        ReportError(module, procedure, e, style, show, message());
        return false;
    }
}
