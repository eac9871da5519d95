// app/core/Console.cpp
#include "core/Console.h"
#include "core/Text.h"
#include <windows.h>

ConsoleOutput::ConsoleOutput(unsigned long which) : h_(GetStdHandle(which)) {
    DWORD mode;
    console_ = GetConsoleMode(h_, &mode) != FALSE;
}

void ConsoleOutput::Line(const std::wstring& text) {
    if (!h_ || h_ == INVALID_HANDLE_VALUE) return;
    std::wstring s = text + L"\r\n";
    DWORD n = 0;
    if (console_) {
        WriteConsoleW(h_, s.data(), static_cast<DWORD>(s.size()), &n, nullptr);
    } else {
        std::string u = ToUtf8(s);
        WriteFile(h_, u.data(), static_cast<DWORD>(u.size()), &n, nullptr);
    }
}

void StdErrLine(const std::wstring& text) { ConsoleOutput(STD_ERROR_HANDLE).Line(text); }
