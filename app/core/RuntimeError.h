// app/core/RuntimeError.h
#pragma once
#include <string>

// A run-time error: a number from the program's catalogue and a German description.
struct RuntimeError {
    int number = 0;
    std::wstring description;
};

// Catalogue numbers used across the program.
namespace Err {
constexpr int TypeMismatch = 13, Overflow = 6, Subscript = 9, OutOfMemory = 7;
constexpr int BadFileName = 52, FileNotFound = 53, FileAlreadyOpen = 55, FileExists = 58;
constexpr int PermissionDenied = 70, PathFileAccess = 75, PathNotFound = 76;
constexpr int InvalidProperty = 380, IndexOutOfBounds = 35600;
}

// The catalogue's German text of a number ("" for numbers it does not know).
std::wstring ErrorDescription(int number);

[[noreturn]] void Raise(int number);
[[noreturn]] void Raise(int number, const std::wstring& description);
// Raises the catalogue error that matches a Win32 error code (53 for a missing file, 70 for
// access denied, ...); unknown codes keep the system's own message.
[[noreturn]] void RaiseWin32(unsigned long win32Error);
int ErrorNumberFromWin32(unsigned long win32Error);
