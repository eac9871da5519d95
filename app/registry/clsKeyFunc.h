// app/registry/clsKeyFunc.h
#pragma once
#include "registry/RegKey.h"
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>


// Result of the typed read: nothing, text, or a 16-bit integer.
using KeyValue = std::variant<std::monostate, std::wstring, int16_t>;

// Creates, tests, reads, writes and deletes registry keys and values; the program's one way
// into the registry besides clsSearch. Every key it opens is closed before it returns.
class clsKeyFunc {
public:

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

    // Export of a key and all its sub-keys in the registry editor's format: one section per key
    // ("[HKEY_...\\path]"), every value with its type and exact data. `unicode` selects the
    // "Windows Registry Editor Version 5.00" syntax (hex(2)/hex(7) data as UTF-16), else REGEDIT4.
    // Raises when the key cannot be opened for reading. (Implemented in clsKeyFunc_Export.cpp.)
    std::wstring ExportKey(RootKey root, const std::wstring& key, bool unicode);
    // Export of one value in the same format: its key's section line and the value's line, typed
    // and exact; a value that is not there gives its removal line ("name"=-), so that writing the
    // text back also removes a value made later. Raises when the key exists but cannot be read.
    std::wstring ExportValue(RootKey root, const std::wstring& key, const std::wstring& name, bool unicode);
    // One value's line of such an export (typed and exact, ending in CR LF), for exports of
    // registry content that is not the running system's.
    // Raises, with the reason, for a value the registry editor would read back as another one (a
    // NUL in its name, a text without its terminating zero, a text REGEDIT4 cannot hold).
    static void AppendExportLine(std::wstring& out, const RegValue& value, bool unicode);
    // A section line ("[path]" and CR LF). Raises for a key name that a line break or NUL would cut.
    static void AppendSectionLine(std::wstring& out, std::wstring_view path);
    // The line that removes a value on import ("name"=- or @=-), ending in CR LF.
    static void AppendRemovalLine(std::wstring& out, const std::wstring& name);
    // Deletes a key with its whole subtree, deepest keys first. Returns true when the key is gone;
    // false when anything of it remains (e.g. access denied), in which case nothing outside it was touched.
    bool DelKeyTree(RootKey root, const std::wstring& key);
    // Type and exact bytes of one value, for checking a write-back against its file; false when
    // the key or the value does not exist. (Implemented in clsKeyFunc_Verify.cpp.)
    bool ReadValueRaw(RootKey root, const std::wstring& key, const std::wstring& name, RegValue& out);
    // Writes one value with its type and exact bytes, creating its key when it is missing.
    // Returns the platform's result. (clsKeyFunc_Verify.cpp.)
    LSTATUS SetValueRaw(RootKey root, const std::wstring& key, const RegValue& value);

    // Writes a key and everything below it into a file in the system's newest hive format
    // (RegSaveKeyExW); the file must not exist yet. Needs the backup privilege. Returns the
    // platform's result. (Implemented in clsKeyFunc_Hive.cpp, as the next one.)
    LSTATUS SaveKeyCopy(RootKey root, const std::wstring& key, const std::wstring& file);
    // Has the system load the hive that holds the key from `newFile` at its next start and keep the
    // file it used so far as `oldFile` (RegReplaceKeyW). Needs the backup and restore privileges.
    LSTATUS ReplaceKeyFile(RootKey root, const std::wstring& key, const std::wstring& newFile,
                           const std::wstring& oldFile);

    // Settings store: HKCU\Software\<AppTitle>\<section>, every value REG_SZ.
    std::wstring GetSetting(const std::wstring& section, const std::wstring& key, const std::wstring& def);
    void SaveSetting(const std::wstring& section, const std::wstring& key, const std::wstring& value);
    // Loads AppSwitches from the settings store.
    void ReadAppSwitch();

private:
    void TraceCall(const wchar_t* proc, const std::wstring& info);
};

// The installed service pack as the system names it ("" when none), read as every registry read is.
std::wstring ReadServicePack();
