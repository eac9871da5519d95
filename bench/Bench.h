// bench/Bench.h
// What every benchmark needs: a clock in seconds and output that reads well on a console and in a file.
#pragma once
#include "core/Text.h"
#include <windows.h>
#include <cstdarg>
#include <cwchar>
#include <string>

// Seconds on the performance counter.
inline double Now() {
    LARGE_INTEGER c, f;
    QueryPerformanceCounter(&c);
    QueryPerformanceFrequency(&f);
    return double(c.QuadPart) / double(f.QuadPart);
}

// Standard output: wide text to a console, UTF-8 to a file or pipe.
inline void Write(const std::wstring& text) {
    HANDLE h = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode, n;
    if (GetConsoleMode(h, &mode)) {
        WriteConsoleW(h, text.data(), static_cast<DWORD>(text.size()), &n, nullptr);
    } else {
        const std::string u = ToUtf8(text);
        WriteFile(h, u.data(), static_cast<DWORD>(u.size()), &n, nullptr);
    }
}

inline void Line(const std::wstring& s) { Write(s + L"\n"); }

// "12.3 MB"
inline std::wstring Mb(size_t bytes) {
    wchar_t b[32];
    swprintf(b, 32, L"%.1f MB", bytes / 1048576.0);
    return b;
}

inline void Out(const wchar_t* format, ...) {
    wchar_t buf[2048];
    va_list args;
    va_start(args, format);
    vswprintf(buf, 2048, format, args);
    va_end(args);
    Write(buf);
}
