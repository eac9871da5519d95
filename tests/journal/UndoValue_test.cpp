// tests/journal/UndoValue_test.cpp
#include "core/AppEnvironment.h"
#include "main/ClassHandler.h"
#include "core/RuntimeError.h"
#include "core/Text.h"
#include "registry/clsKeyFunc.h"
#include "journal/UndoFile.h"
#include "backup/RegFileImport.h"
#include "support/Sandbox.h"
#include "support/Wait.h"
#include <gtest/gtest.h>
#include <map>

namespace {

// The registry editor runs outside any sandbox of this process, so these tests work below a
// private key of the prefix's real HKEY_CURRENT_USER and remove it afterwards.
class UndoValue : public ::testing::Test {
protected:
    void SetUp() override {
        PrepareEnvironment(folder.Path());
        key = L"Software\\TorvaneTest\\UndoValue_" + std::to_wstring(GetCurrentProcessId()) + L"_" +
              std::to_wstring(GetTickCount64());
    }
    void TearDown() override {
        RegDeleteTreeW(HKEY_CURRENT_USER, key.c_str());
        RegDeleteKeyW(HKEY_CURRENT_USER, key.c_str());
    }
    void Set(const std::wstring& name, DWORD type, const std::string& bytes) {
        RegKey h;
        ASSERT_EQ(h.Create(HKEY_CURRENT_USER, key), ERROR_SUCCESS);
        ASSERT_EQ(RegSetValueExW(h.get(), name.empty() ? nullptr : name.c_str(), 0, type,
                                 reinterpret_cast<const BYTE*>(bytes.data()), static_cast<DWORD>(bytes.size())),
                  ERROR_SUCCESS);
    }
    static std::string Sz(const std::wstring& s) {
        return std::string(reinterpret_cast<const char*>(s.c_str()), (s.size() + 1) * sizeof(wchar_t));
    }
    // Every value of the key: name -> type and bytes.
    std::map<std::wstring, std::pair<DWORD, std::string>> Values() {
        std::map<std::wstring, std::pair<DWORD, std::string>> out;
        RegKey h;
        if (h.Open(HKEY_CURRENT_USER, key, KEY_READ) != ERROR_SUCCESS) return out;
        RegValue v;
        for (DWORD i = 0; EnumValue(h.get(), i, v) == ERROR_SUCCESS; ++i)
            out[v.name] = {v.type, std::string(reinterpret_cast<const char*>(v.data.data()), v.bytes)};
        return out;
    }
    void Delete(const std::wstring& name) {
        RegKey h;
        ASSERT_EQ(h.Open(HKEY_CURRENT_USER, key, KEY_SET_VALUE), ERROR_SUCCESS);
        ASSERT_EQ(RegDeleteValueW(h.get(), name.c_str()), ERROR_SUCCESS);
    }
    static DWORD Regedit(const std::wstring& file) {
        wchar_t win[MAX_PATH];
        GetWindowsDirectoryW(win, MAX_PATH);
        return RunAndWait(L"\"" + std::wstring(win) + L"\\regedit.exe\" /s \"" + file + L"\"");
    }
    TempFolder folder;
    std::wstring key;
};

}  // namespace

TEST_F(UndoValue, ValuesComeBackByteIdenticalAndValuesMadeLaterGo) {
    std::string mru;
    for (int i = 0; i < 700; ++i) mru += static_cast<char>(i * 37);  // binary MRU data, well over 256 bytes
    Set(L"Quoted", REG_SZ, Sz(L"\"C:\\Program Files\\x.exe\" /min \"a b\""));
    Set(L"Expand", REG_EXPAND_SZ, Sz(L"%windir%\\system32\\ctfmon.exe"));
    Set(L"MRUListEx", REG_BINARY, mru);
    Set(L"", REG_SZ, Sz(L"default"));
    Set(L"Long", REG_SZ, Sz(std::wstring(600, L'z')));
    Set(L"Other", REG_SZ, Sz(L"stays"));
    const auto before = Values();

    for (const std::wstring& header : {std::wstring(L"Windows Registry Editor Version 5.00\r\n\r\n"),
                                       std::wstring(L"REGEDIT4\r\n\r\n")}) {
        SCOPED_TRACE(ToUtf8(header));
        const std::wstring path = folder.Path() + (header[0] == L'R' ? L"a4.reg" : L"a5.reg");
        {
            UndoFile undo(path, header);
            for (const wchar_t* name : {L"Quoted", L"Expand", L"MRUListEx", L"", L"Long", L"Missing"})
                EXPECT_TRUE(undo.AddValue(kHKCU, key, name));
            // Held once: a second call adds nothing.
            EXPECT_FALSE(undo.AddValue(kHKCU, key, L"expand"));
        }
        for (const wchar_t* name : {L"Quoted", L"Expand", L"MRUListEx", L"", L"Long"}) Delete(name);
        // A value made after the file was written goes again when the file is written back.
        Set(L"Missing", REG_SZ, Sz(L"new"));
        // The backup area's check reads the file as the editor does, removal lines included.
        const RegFile file = ReadRegFile(path);
        EXPECT_TRUE(file.valid);
        EXPECT_EQ(file.badLines, 0);
        std::wstring problem;
        EXPECT_FALSE(RegFileApplied(file, problem));
        ASSERT_EQ(Regedit(path), 0u);
        EXPECT_EQ(Values(), before);
        EXPECT_TRUE(RegFileApplied(file, problem)) << ToUtf8(problem);
    }
}

TEST_F(UndoValue, AppendingKeepsTheFirstRunAndItsEncoding) {
    Set(L"A", REG_SZ, Sz(L"eins"));
    Set(L"B", REG_EXPAND_SZ, Sz(L"%ProgramFiles%\\zwei.exe"));
    const std::wstring path = folder.Path() + L"Backup\\Rückgängig_AutoRun_01012020_000000.reg";
    const std::wstring header = L"Windows Registry Editor Version 5.00\r\n\r\n; Kopf\r\n";
    { UndoFile(path, header, UndoFile::Append{}).AddValue(kHKCU, key, L"A"); }
    // The second run in the same second: the first one's record stays, the header stands once;
    // an ANSI header does not change the file's encoding.
    { UndoFile(path, L"REGEDIT4\r\n\r\n; Kopf\r\n", UndoFile::Append{}).AddValue(kHKCU, key, L"B"); }
    const std::string bytes = ReadBytes(path);
    ASSERT_GE(bytes.size(), 2u);
    ASSERT_EQ(static_cast<unsigned char>(bytes[0]), 0xFF);
    const std::wstring text(reinterpret_cast<const wchar_t*>(bytes.data() + 2), (bytes.size() - 2) / 2);
    EXPECT_EQ(text.find(L"Windows Registry Editor Version 5.00"), 0u);
    EXPECT_EQ(text.find(L"; Kopf", 10), text.rfind(L"; Kopf"));
    EXPECT_EQ(text.find(L"REGEDIT4"), std::wstring::npos);
    EXPECT_NE(text.find(L"\"A\"=\"eins\""), std::wstring::npos);
    EXPECT_NE(text.find(L"\"B\"=hex(2):"), std::wstring::npos);
    Delete(L"A");
    Delete(L"B");
    ASSERT_EQ(Regedit(path), 0u);
    const auto after = Values();
    ASSERT_EQ(after.size(), 2u);
    EXPECT_EQ(after.at(L"B"), (std::pair<DWORD, std::string>{REG_EXPAND_SZ, Sz(L"%ProgramFiles%\\zwei.exe")}));
}

TEST_F(UndoValue, UnreadableOrUnwritableMeansARaisedError) {
    Set(L"A", REG_SZ, Sz(L"x"));
    // A file where the backup folder should be: nothing can be created there.
    const std::wstring blocker = folder.Write(L"Backup", "not a folder");
    EXPECT_THROW(UndoFile(blocker + L"\\u.reg", L"REGEDIT4\r\n\r\n", UndoFile::Append{}), RuntimeError);
    // ANSI cannot hold the name: refused rather than written as another value.
    Set(L"\u4e2d", REG_SZ, Sz(L"x"));
    UndoFile undo(folder.Path() + L"u4.reg", L"REGEDIT4\r\n\r\n");
    EXPECT_THROW(undo.AddValue(kHKCU, key, L"\u4e2d"), RuntimeError);
    EXPECT_TRUE(undo.AddValue(kHKCU, key, L"A"));
}
