// app/core/Trap.cpp
#include "core/Trap.h"
#include "core/AppEnvironment.h"
#include "main/ClassHandler.h"
#include "errors/clsError.h"
#include <exception>
#include <system_error>

void Trace(const wchar_t* module, const wchar_t* procedure, const std::wstring& message) {
    if (Logging()) ClassHandler().Error().HandleError(module, procedure, message, 0, L"", Style::Information, false);
}

void ReportError(const wchar_t* module, const wchar_t* procedure, const RuntimeError& e, int style, bool show,
                 const std::wstring& message) {
    ClassHandler().Error().HandleError(module, procedure, message, e.number, e.description, style, show);
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
