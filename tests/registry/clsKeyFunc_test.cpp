// tests/registry/clsKeyFunc_test.cpp
#include "core/AppEnvironment.h"
#include "main/ClassHandler.h"
#include "registry/clsKeyFunc.h"
#include "core/RuntimeError.h"
#include "support/Sandbox.h"
#include <gtest/gtest.h>

namespace {
class KeyFunc : public ::testing::Test {
protected:
    void SetUp() override { PrepareEnvironment(folder.Path()); }
    clsKeyFunc& k() { return ClassHandler().KeyFunc(); }
    void SetRaw(const std::wstring& key, const std::wstring& name, DWORD type, const void* data, DWORD bytes) {
        RegKey h;
        ASSERT_EQ(h.Create(HKEY_LOCAL_MACHINE, key), ERROR_SUCCESS);
        ASSERT_EQ(RegSetValueExW(h.get(), name.c_str(), 0, type, static_cast<const BYTE*>(data), bytes), ERROR_SUCCESS);
    }
    void SetString(const std::wstring& key, const std::wstring& name, const std::wstring& text) {
        SetRaw(key, name, REG_SZ, text.c_str(), static_cast<DWORD>((text.size() + 1) * 2));
    }
    RegistrySandbox sandbox;
    TempFolder folder;
};
}  // namespace

TEST_F(KeyFunc, KeyExistCreateAndDelete) {
    EXPECT_EQ(k().KeyExist(kHKLM, L"Software\\T\\Missing", KEY_READ), 0);
    k().CreateKey(kHKLM, L"Software\\T\\A\\B");
    EXPECT_NE(k().KeyExist(kHKLM, L"Software\\T\\A\\B", KEY_READ), 0);
    // DelKey removes a leaf; a key with sub-keys stays (callers delete deepest first).
    k().DelKey(kHKLM, L"Software\\T\\A", KEY_ALL_ACCESS);
    EXPECT_NE(k().KeyExist(kHKLM, L"Software\\T\\A", KEY_READ), 0);
    k().DelKey(kHKLM, L"Software\\T\\A\\B", KEY_ALL_ACCESS);
    EXPECT_EQ(k().KeyExist(kHKLM, L"Software\\T\\A\\B", KEY_READ), 0);
    k().DelKey(kHKLM, L"Software\\T\\A", KEY_ALL_ACCESS);
    EXPECT_EQ(k().KeyExist(kHKLM, L"Software\\T\\A", KEY_READ), 0);
    // The key handle is closed again: the key can be deleted by someone else right away.
    k().CreateKey(kHKLM, L"Software\\T\\C");
    k().KeyExist(kHKLM, L"Software\\T\\C", KEY_READ);
    EXPECT_EQ(RegDeleteKeyW(HKEY_LOCAL_MACHINE, L"Software\\T\\C"), ERROR_SUCCESS);
}

TEST_F(KeyFunc, ReadKeyValueMatchesExactlyAndReadsAnyLength) {
    const std::wstring key = L"Software\\T\\Read";
    SetString(key, L"", L"C:\\Default.dll");
    SetString(key, L"InprocServer32", L"%SystemRoot%\\x.dll");
    EXPECT_EQ(k().ReadKeyValue(kHKLM, key, L""), L"C:\\Default.dll");
    EXPECT_EQ(k().ReadKeyValue(kHKLM, key, L"InprocServer32"), L"%SystemRoot%\\x.dll");  // not expanded
    EXPECT_EQ(k().ReadKeyValue(kHKLM, key, L"inprocserver32"), L"");                      // case-sensitive
    EXPECT_EQ(k().ReadKeyValue(kHKLM, L"Software\\T\\Missing", L""), L"");

    // Long data and a long value name before the wanted one must not end the search early.
    std::wstring longData(3000, L'x'), longName(400, L'n');
    SetString(key, longName, longData);
    SetString(key, L"After", L"found");
    EXPECT_EQ(k().ReadKeyValue(kHKLM, key, longName), longData);
    EXPECT_EQ(k().ReadKeyValue(kHKLM, key, L"After"), L"found");

    // Names outside the ANSI code page stay themselves.
    SetString(key, L"Ключ鍵", L"Wert ü");
    EXPECT_EQ(k().ReadKeyValue(kHKLM, key, L"Ключ鍵"), L"Wert ü");
    EXPECT_EQ(k().ReadKeyValue(kHKLM, key, L"????"), L"");
}

TEST_F(KeyFunc, EmptyDefaultValueReadsEmpty) {
    const std::wstring key = L"Software\\T\\Empty";
    SetRaw(key, L"", REG_SZ, nullptr, 0);
    SetString(key, L"x", L"y");
    EXPECT_EQ(k().ReadKeyValue(kHKLM, key, L""), L"");
    EXPECT_EQ(k().ReadKeyValue(kHKLM, key, L"x"), L"y");
}

TEST_F(KeyFunc, QueryKeyValueByType) {
    const std::wstring key = L"Software\\T\\Query";
    DWORD big = 65537;
    SetRaw(key, L"dw", REG_DWORD, &big, 4);
    const BYTE bin[] = {0xFE, 0xFF, 0x12};
    SetRaw(key, L"bin", REG_BINARY, bin, 3);
    SetString(key, L"sz", L"Text");
    const wchar_t multi[] = L"a\0b\0";
    SetRaw(key, L"multi", REG_MULTI_SZ, multi, sizeof multi);
    SetRaw(key, L"exp", REG_EXPAND_SZ, L"%x%", 8);
    EXPECT_EQ(std::get<int16_t>(k().QueryKeyValue(kHKLM, key, L"dw")), 1);
    EXPECT_EQ(std::get<int16_t>(k().QueryKeyValue(kHKLM, key, L"bin")), -2);
    EXPECT_EQ(std::get<std::wstring>(k().QueryKeyValue(kHKLM, key, L"sz")), L"Text");
    std::wstring m = std::get<std::wstring>(k().QueryKeyValue(kHKLM, key, L"multi"));
    EXPECT_EQ(m.substr(0, 4), std::wstring(L"a\0b\0", 4));
    EXPECT_TRUE(std::holds_alternative<std::monostate>(k().QueryKeyValue(kHKLM, key, L"exp")));
    EXPECT_TRUE(std::holds_alternative<std::monostate>(k().QueryKeyValue(kHKLM, key, L"none")));
}

TEST_F(KeyFunc, SetKeyValueCreatesKeyAndWritesTypes) {
    const std::wstring key = L"Software\\T\\New\\Deep";
    EXPECT_NE(k().SetKeyValue(kHKLM, key, L"flag", L"1", REG_DWORD, KEY_ALL_ACCESS), 0);
    RegKey h;
    ASSERT_EQ(h.Open(HKEY_LOCAL_MACHINE, key, KEY_READ), ERROR_SUCCESS);
    BYTE data[8] = {};
    DWORD type = 0, size = sizeof data;
    ASSERT_EQ(RegQueryValueExW(h.get(), L"flag", nullptr, &type, data, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
    ASSERT_EQ(size, 4u);
    EXPECT_EQ(data[0], 1);
    EXPECT_EQ(data[1] | data[2] | data[3], 0);
    EXPECT_THROW(k().SetKeyValue(kHKLM, key, L"bad", L"256", REG_DWORD, KEY_ALL_ACCESS), RuntimeError);
    EXPECT_THROW(k().SetKeyValue(kHKLM, key, L"bad", L"x", REG_BINARY, KEY_ALL_ACCESS), RuntimeError);
    // Text keeps every character, read back by either reader.
    k().SetKeyValue(kHKLM, key, L"text", L"Wert \"ü\"", REG_SZ, KEY_ALL_ACCESS);
    EXPECT_EQ(k().ReadKeyValue(kHKLM, key, L"text"), L"Wert \"ü\"");
    EXPECT_EQ(std::get<std::wstring>(k().QueryKeyValue(kHKLM, key, L"text")), L"Wert \"ü\"");
    k().DelKeyValue(kHKLM, key, L"text");
    EXPECT_EQ(k().ReadKeyValue(kHKLM, key, L"text"), L"");
    k().DelKeyValue(kHKLM, L"Software\\T\\Nowhere", L"text");  // no key: nothing happens
    EXPECT_EQ(k().KeyExist(kHKLM, L"Software\\T\\Nowhere", KEY_READ), 0);
}

TEST_F(KeyFunc, HiveNamesAndTrimAtNull) {
    EXPECT_EQ(clsKeyFunc::HiveName(static_cast<RootKey>(0x80000002u)), L"HKEY_LOCAL_MACHINE");
    EXPECT_EQ(clsKeyFunc::HiveName(-2147483648), L"HKEY_CLASSES_ROOT");
    EXPECT_EQ(clsKeyFunc::HiveName(-2147483642), L"HKEY_DYN_DATA");
    EXPECT_EQ(clsKeyFunc::HiveName(0), L"");
    EXPECT_EQ(clsKeyFunc::TrimAtNull(std::wstring(L"abc\0", 4), 4), L"abc");
    EXPECT_EQ(clsKeyFunc::TrimAtNull(L"abcdef", 3), L"abc");
}

TEST_F(KeyFunc, FileExtensionListsOnlyDotKeysInStep) {
    SetString(L"Software\\Classes\\.tvx", L"", L"tvxfile");
    SetString(L"Software\\Classes\\tvxfile\\shell\\open\\command", L"", L"C:\\t.exe \"%1\"");
    k().CreateKey(kHKLM, L"Software\\Classes\\.notype");
    SetString(L"Software\\Classes\\\\shell\\open\\command", L"", L"from empty type");
    SetString(L"Software\\Classes\\nodot", L"", L"x");
    std::vector<std::wstring> ext{L"old", L"old2"}, types{L"keep"}, cmds{L"keep"};
    k().FileExtension(ext, types, cmds);
    ASSERT_EQ(ext.size(), 3u);
    ASSERT_EQ(types.size(), 3u);
    ASSERT_EQ(cmds.size(), 3u);
    EXPECT_EQ(ext[0], L"");
    EXPECT_EQ(types[0], L"keep");
    for (size_t i = 1; i < ext.size(); ++i) {
        if (ext[i] == L".tvx") {
            EXPECT_EQ(types[i], L"tvxfile");
            EXPECT_EQ(cmds[i], L"C:\\t.exe \"%1\"");
        } else {
            EXPECT_EQ(ext[i], L".notype");
            EXPECT_EQ(types[i], L"");
            EXPECT_EQ(cmds[i], L"from empty type");
        }
    }
}

TEST_F(KeyFunc, SettingsFirstStartDefaults) {
    AppSwitches = AppSwitchesRecord{};
    k().ReadAppSwitch();
    const AppSwitchesRecord& s = AppSwitches;
    EXPECT_EQ(s.Protokoll, 0);
    EXPECT_EQ(s.FirstRun, 1);
    EXPECT_EQ(s.Recycler, 1);
    EXPECT_EQ(s.Form_Width, 9825);
    EXPECT_EQ(s.Form_Height, 9000);
    EXPECT_EQ(s.ScreenX, 0);
    EXPECT_EQ(s.ScreenY, 0);
    EXPECT_EQ(s.ScreenSave, 0);
    EXPECT_EQ(s.ProxyAdresse, L"0.0.0.0");
    EXPECT_EQ(s.DelAfterDays, 0);
    EXPECT_EQ(s.EMail, L"");
    EXPECT_EQ(s.AgentType, L"");
}

TEST_F(KeyFunc, SettingsBadValuesKeepTheirFieldAndTheRestIsRead) {
    k().SaveSetting(L"Optionen", L"DelAfterDays", L"abc");
    k().SaveSetting(L"Optionen", L"ProxyPort", L"70000");
    k().SaveSetting(L"Optionen", L"Löschsicherheit", L"1");
    k().SaveSetting(L"Optionen", L"AgentType", L"Merlin");
    k().SaveSetting(L"Screen", L"ScreenSave", L"1");
    AppSwitches = AppSwitchesRecord{};
    k().ReadAppSwitch();
    EXPECT_EQ(AppSwitches.DelAfterDays, 0);
    EXPECT_EQ(AppSwitches.ProxyPort, 0);
    EXPECT_EQ(AppSwitches.Loeschsicherheit, 1);
    EXPECT_EQ(AppSwitches.ScreenSave, 1);
    EXPECT_EQ(AppSwitches.AgentFile, L"Merlin.acs");
    // A port above the 16-bit range is a port.
    k().SaveSetting(L"Optionen", L"ProxyPort", L"44503");
    k().ReadAppSwitch();
    EXPECT_EQ(AppSwitches.ProxyPort, 44503);
    // An empty character name leaves the file name as it was.
    k().SaveSetting(L"Optionen", L"AgentType", L"");
    k().ReadAppSwitch();
    EXPECT_EQ(AppSwitches.AgentFile, L"Merlin.acs");
    // Stored as REG_SZ under the program's own key.
    RegKey h;
    ASSERT_EQ(h.Open(HKEY_CURRENT_USER, L"Software\\Torvane\\Optionen", KEY_READ), ERROR_SUCCESS);
    DWORD type = 0;
    ASSERT_EQ(RegQueryValueExW(h.get(), L"DelAfterDays", nullptr, &type, nullptr, nullptr), ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    // The sub-section with a backslash.
    k().SaveSetting(L"Optionen\\ExtraScan", L"VerlaufRegistryLastOpen", L"1");
    EXPECT_EQ(k().GetSetting(L"Optionen\\ExtraScan", L"VerlaufRegistryLastOpen", L"0"), L"1");
}
