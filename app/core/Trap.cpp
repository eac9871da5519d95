// app/core/Trap.cpp
#include "core/Trap.h"
#include "core/AppEnvironment.h"
#include "core/Console.h"
#include "core/ProtocolLog.h"
#include <exception>
#include <system_error>

namespace {
ErrorSink& InstalledSink() {
    static ErrorSink sink;
    return sink;
}
}  // namespace

void SetErrorSink(ErrorSink sink) { InstalledSink() = std::move(sink); }

void HandleError(const ErrorEntry& entry) {
    if (const ErrorSink& sink = InstalledSink()) {
        sink(entry);
        return;
    }
    // No start-up ran (a tool, a test program that did not install one): losing the entry would
    // hide the failure, and a window cannot be assumed, so it goes where the console's would.
    static const ErrorSink fallback = ConsoleErrorSink(StdErrLine);
    fallback(entry);
}

void HandleError(const std::wstring& module, const std::wstring& procedure, const std::wstring& message, int number,
                 const std::wstring& description, Style style, bool show) {
    HandleError(ErrorEntry{module, procedure, message, number, description, style, show});
}

void Trace(const wchar_t* module, const wchar_t* procedure, const std::wstring& message) {
    if (Logging()) HandleError(module, procedure, message, 0, L"", Style::Information, false);
}

void ReportError(const wchar_t* module, const wchar_t* procedure, const RuntimeError& e, Style style, bool show,
                 const std::wstring& message) {
    HandleError(module, procedure, message, e.number, e.description, style, show);
}

RuntimeError CurrentError() {
    try {
        throw;
    } catch (const RuntimeError& e) {
        return e;
    } catch (const std::bad_alloc&) {
        return {Err::OutOfMemory, ErrorDescription(Err::OutOfMemory)};
    } catch (const std::out_of_range&) {
        return {Err::Subscript, ErrorDescription(Err::Subscript)};
    } catch (const std::exception& e) {
        std::string what = e.what();
        return {51, L"Interner Fehler: " + std::wstring(what.begin(), what.end())};
    } catch (...) {
        return {51, L"Interner Fehler"};
    }
}
