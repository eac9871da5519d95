// app/registry/clsKeyFunc.h
#pragma once
#include "registry/RegKey.h"
#include <cstdint>
#include <string>
#include <variant>
#include <vector>

class clsClassHandler;

// Result of the typed read: nothing, text, or a 16-bit integer.
using KeyValue = std::variant<std::monostate, std::wstring, int16_t>;

// Creates, tests, reads, writes and deletes registry keys and values; the program's one way
// into the registry besides clsSearch. Every key it opens is closed before it returns.
class clsKeyFunc {
public:
    explicit clsKeyFunc(clsClassHandler& handler) : handler_(handler) {}

    int32_t CreateKey(RootKey root, const std::wstring& key);
    int32_t KeyExist(RootKey root, const std::wstring& key, REGSAM access);
    KeyValue QueryKeyValue(RootKey root, const std::wstring& key, const std::wstring& name);
    std::wstring ReadKeyValue(RootKey root, const std::wstring& key, const std::wstring& name);
    void DelKey(RootKey root, const std::wstring& key, REGSAM access);
    void DelKeyValue(RootKey root, const std::wstring& key, const std::wstring& name);
    int32_t SetKeyValue(RootKey root, const std::wstring& key, const std::wstring& name,
                        const std::wstring& text, DWORD type, REGSAM access);
    static std::wstring HiveName(RootKey root);
    void FileExtension(std::vector<std::wstring>& extensions, std::vector<std::wstring>& typeNames,
                       std::vector<std::wstring>& openCommands);
    static std::wstring TrimAtNull(const std::wstring& text, size_t length);

    // Settings store: HKCU\Software\<AppTitle>\<section>, every value REG_SZ.
    std::wstring GetSetting(const std::wstring& section, const std::wstring& key, const std::wstring& def);
    void SaveSetting(const std::wstring& section, const std::wstring& key, const std::wstring& value);
    // Loads AppSwitches from the settings store.
    void ReadAppSwitch();

private:
    void TraceCall(const wchar_t* proc, const std::wstring& info);
    clsClassHandler& handler_;
};
