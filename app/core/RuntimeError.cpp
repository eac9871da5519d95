// app/core/RuntimeError.cpp
#include "core/RuntimeError.h"
#include "core/UniqueHandle.h"
#include <windows.h>

std::wstring ErrorDescription(int number) {
    switch (number) {
    case 6: return L"Überlauf";
    case 7: return L"Nicht genügend Speicher";
    case 9: return L"Index außerhalb des gültigen Bereichs";
    case 13: return L"Typen unverträglich";
    case 52: return L"Dateiname oder -nummer falsch";
    case 53: return L"Datei nicht gefunden";
    case 55: return L"Datei bereits geöffnet";
    case 58: return L"Datei existiert bereits";
    case 70: return L"Zugriff verweigert";
    case 75: return L"Fehler beim Zugriff auf Pfad/Datei";
    case 76: return L"Pfad nicht gefunden";
    case 380: return L"Unzulässiger Eigenschaftswert";
    case 35600: return L"Index außerhalb des gültigen Bereichs";
    default: return L"";
    }
}

void Raise(int number) { throw RuntimeError{number, ErrorDescription(number)}; }
void Raise(int number, const std::wstring& description) { throw RuntimeError{number, description}; }

int ErrorNumberFromWin32(unsigned long e) {
    switch (e) {
    case ERROR_FILE_NOT_FOUND: return Err::FileNotFound;
    case ERROR_PATH_NOT_FOUND: case ERROR_BAD_NETPATH: case ERROR_INVALID_DRIVE: return Err::PathNotFound;
    case ERROR_ACCESS_DENIED: case ERROR_WRITE_PROTECT: return Err::PermissionDenied;
    case ERROR_SHARING_VIOLATION: case ERROR_LOCK_VIOLATION: return Err::PathFileAccess;
    case ERROR_INVALID_NAME: case ERROR_BAD_PATHNAME: return Err::BadFileName;
    case ERROR_FILE_EXISTS: case ERROR_ALREADY_EXISTS: return Err::FileExists;
    case ERROR_NOT_ENOUGH_MEMORY: case ERROR_OUTOFMEMORY: return Err::OutOfMemory;
    default: return 0;
    }
}

void RaiseWin32(unsigned long e) {
    if (int n = ErrorNumberFromWin32(e)) Raise(n);
    UniqueLocalMem<wchar_t*> text;
    FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                   nullptr, e, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<wchar_t*>(text.put()), 0, nullptr);
    std::wstring d = text ? text.get() : L"";
    while (!d.empty() && (d.back() == L'\n' || d.back() == L'\r' || d.back() == L' ')) d.pop_back();
    if (d.empty()) d = L"Systemfehler " + std::to_wstring(e);
    throw RuntimeError{static_cast<int>(e), d};
}
