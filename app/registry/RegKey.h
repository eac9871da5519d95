// app/registry/RegKey.h
#pragma once
#include "core/UniqueHandle.h"
#include <windows.h>
#include <cstdint>
#include <string>

// Root handles as the program keeps them: signed 32-bit values of the predefined keys.
using RootKey = int32_t;
constexpr RootKey kHKCR = static_cast<RootKey>(0x80000000u);
constexpr RootKey kHKCU = static_cast<RootKey>(0x80000001u);
constexpr RootKey kHKLM = static_cast<RootKey>(0x80000002u);
constexpr RootKey kHKU = static_cast<RootKey>(0x80000003u);
constexpr RootKey kHKPD = static_cast<RootKey>(0x80000004u);
constexpr RootKey kHKCC = static_cast<RootKey>(0x80000005u);
constexpr RootKey kHKDD = static_cast<RootKey>(0x80000006u);

// The predefined HKEY of a root value (sign-extended as the platform defines them).
inline HKEY ToHkey(RootKey root) { return reinterpret_cast<HKEY>(static_cast<LONG_PTR>(root)); }

// Owns one open registry key; closes it when it goes out of scope.
class RegKey {
public:
    RegKey() = default;
    explicit RegKey(HKEY h) : h_(h) {}

    LSTATUS Open(HKEY parent, const std::wstring& path, REGSAM access) {
        return RegOpenKeyExW(parent, path.c_str(), 0, access, h_.put());
    }
    LSTATUS Create(HKEY parent, const std::wstring& path, REGSAM access = KEY_ALL_ACCESS) {
        return RegCreateKeyExW(parent, path.c_str(), 0, nullptr, 0, access, nullptr, h_.put(), nullptr);
    }
    void Close() { h_.reset(); }
    HKEY get() const { return h_.get(); }
    explicit operator bool() const { return static_cast<bool>(h_); }

private:
    UniqueHKey h_;
};

// One value as the platform stores it.
struct RegValue {
    std::wstring name;
    DWORD type = REG_NONE;
    std::wstring data;  // raw bytes, two per wchar_t; an odd last byte is kept in the high half zero
    size_t bytes = 0;   // exact size of the data in bytes
};

// Reads value i of an open key, names and data of any length. Returns ERROR_NO_MORE_ITEMS at the end.
LSTATUS EnumValue(HKEY key, DWORD index, RegValue& out);
// Reads sub-key name i of an open key, any length.
LSTATUS EnumKey(HKEY key, DWORD index, std::wstring& name);
// The value's data as the program's text: string types without their terminating zero,
// other types one character per byte.
std::wstring ValueText(const RegValue& v);
