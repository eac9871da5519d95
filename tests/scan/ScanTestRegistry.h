// tests/scan/ScanTestRegistry.h
#pragma once
#include <windows.h>
#include <string>
#include <vector>

// Small writers for planting registry content in the test sandbox.
inline void Put(HKEY root, const std::wstring& key, const std::wstring& name, DWORD type, const void* data, DWORD bytes) {
    HKEY h = nullptr;
    RegCreateKeyExW(root, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h, nullptr);
    if (data) RegSetValueExW(h, name.empty() ? nullptr : name.c_str(), 0, type, static_cast<const BYTE*>(data), bytes);
    RegCloseKey(h);
}
inline void PutSz(HKEY root, const std::wstring& key, const std::wstring& name, const std::wstring& text,
                  DWORD type = REG_SZ) {
    Put(root, key, name, type, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}
inline void PutKey(HKEY root, const std::wstring& key) { Put(root, key, L"", REG_NONE, nullptr, 0); }
inline void PutDword(HKEY root, const std::wstring& key, const std::wstring& name, DWORD v) {
    Put(root, key, name, REG_DWORD, &v, sizeof v);
}
inline bool Exists(HKEY root, const std::wstring& key) {
    HKEY h = nullptr;
    if (RegOpenKeyExW(root, key.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS) return false;
    RegCloseKey(h);
    return true;
}
