// tests/journal/UndoFile_test.cpp
#include "backup/RegFileReader.h"
#include "core/AppEnvironment.h"
#include "main/ClassHandler.h"
#include "core/RuntimeError.h"
#include "core/Text.h"
#include "registry/clsKeyFunc.h"
#include "journal/UndoFile.h"
#include "journal/RegistryTree.h"
#include "support/Sandbox.h"
#include <gtest/gtest.h>
#include <sddl.h>
#include <algorithm>
#include <functional>
#include <map>
#include <tuple>
#include <utility>
#include <vector>

using namespace regtree;

namespace {
class ExportKey : public ::testing::Test {
protected:
    void SetUp() override { PrepareEnvironment(folder.Path()); }
    RegistrySandbox sandbox;
    TempFolder folder;
};

}  // namespace

TEST_F(ExportKey, WritesEveryTypeInRegeditSyntax) {
    const std::wstring key = L"Software\\T\\E";
    const HKEY lm = HKEY_LOCAL_MACHINE;
    SetText(lm, key, L"", REG_SZ, L"");
    SetText(lm, key, L"quo\"te\\[x]=y", REG_SZ, L"a \"b\" C:\\d [e] = f");
    SetText(lm, key, L"Grüße", REG_SZ, L"Привет 日本");
    SetText(lm, key, L"Path", REG_EXPAND_SZ, L"%SystemRoot%\\x");
    SetData(lm, key, L"Multi", REG_MULTI_SZ, Utf16(std::wstring(L"a\0\0b\0\0", 6)));
    SetData(lm, key, L"Dw", REG_DWORD, Bytes({0x2a, 0, 0, 0x80}));
    SetData(lm, key, L"Qw", REG_QWORD, Bytes({1, 2, 3, 4, 5, 6, 7, 8}));
    SetData(lm, key, L"NoneData", REG_NONE, Bytes({1, 0xff}));
    SetData(lm, key, L"NoData", REG_NONE, "");
    SetData(lm, key, L"SzNoData", REG_SZ, "");
    SetText(lm, key, L"Lines", REG_SZ, L"x\r\ny");
    SetData(lm, key, L"Odd", 0x100, Bytes({9}));
    SetText(lm, key + L"\\a[b]=c", L"", REG_SZ, L"sub");

    std::wstring text = KF().ExportKey(kHKLM, key, true);
    auto lines = Lines(text);
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(lines[0], L"[HKEY_LOCAL_MACHINE\\Software\\T\\E]");
    auto has = [&](const std::wstring& l) { return std::find(lines.begin(), lines.end(), l) != lines.end(); };
    EXPECT_TRUE(has(L"@=\"\""));
    EXPECT_TRUE(has(L"\"quo\\\"te\\\\[x]=y\"=\"a \\\"b\\\" C:\\\\d [e] = f\""));
    EXPECT_TRUE(has(L"\"Grüße\"=\"Привет 日本\""));
    // "Path"=hex(2): takes 14 columns, so 21 bytes reach the limit.
    EXPECT_TRUE(has(L"\"Path\"=hex(2):25,00,53,00,79,00,73,00,74,00,65,00,6d,00,52,00,6f,00,6f,00,74,\\"));
    EXPECT_TRUE(has(L"  00,25,00,5c,00,78,00,00,00"));
    EXPECT_TRUE(has(L"\"Multi\"=hex(7):61,00,00,00,00,00,62,00,00,00,00,00"));
    EXPECT_TRUE(has(L"\"Dw\"=dword:8000002a"));
    EXPECT_TRUE(has(L"\"Qw\"=hex(b):01,02,03,04,05,06,07,08"));
    EXPECT_TRUE(has(L"\"NoneData\"=hex(0):01,ff"));
    EXPECT_TRUE(has(L"\"NoData\"=hex(0):"));
    // Strings the quoted form would change are written byte for byte.
    EXPECT_TRUE(has(L"\"SzNoData\"=hex(1):"));
    EXPECT_TRUE(has(L"\"Lines\"=hex(1):78,00,0d,00,0a,00,79,00,00,00"));
    EXPECT_TRUE(has(L"\"Odd\"=hex(100):09"));
    // Sub-key after its parent, every section closed by an empty line, only CR LF line ends.
    auto sub = std::find(lines.begin(), lines.end(), L"[HKEY_LOCAL_MACHINE\\Software\\T\\E\\a[b]=c]");
    ASSERT_NE(sub, lines.end());
    EXPECT_EQ(*(sub - 1), L"");
    EXPECT_EQ(*(sub + 1), L"@=\"sub\"");
    EXPECT_EQ(*(sub + 2), L"");
    EXPECT_EQ(sub + 3, lines.end());
    EXPECT_EQ(std::count(text.begin(), text.end(), L'\n'), std::count(text.begin(), text.end(), L'\r'));

    // REGEDIT4: string data in ANSI. A string ANSI cannot hold would come back as another one:
    // the export refuses it (the journal keeps the key).
    try {
        KF().ExportKey(kHKLM, key, false);
        ADD_FAILURE() << "a text REGEDIT4 cannot hold was exported";
    } catch (const RuntimeError& e) {
        EXPECT_NE(e.description.find(L"\"Grüße\" ist ein Text, den das Format REGEDIT4 nicht unverändert hält"),
                  std::wstring::npos)
            << ToUtf8(e.description);
    }
    RegDeleteKeyValueW(lm, key.c_str(), L"Grüße");
    text = KF().ExportKey(kHKLM, key, false);
    lines = Lines(text);
    EXPECT_TRUE(has(L"\"Path\"=hex(2):25,53,79,73,74,65,6d,52,6f,6f,74,25,5c,78,00"));
    EXPECT_TRUE(has(L"\"Multi\"=hex(7):61,00,00,62,00,00"));
    EXPECT_TRUE(has(L"\"Lines\"=hex(1):78,0d,0a,79,00"));
    EXPECT_TRUE(has(L"\"quo\\\"te\\\\[x]=y\"=\"a \\\"b\\\" C:\\\\d [e] = f\""));
}

TEST_F(ExportKey, WrapsHexDataLikeRegedit) {
    std::string big;
    for (int i = 0; i < 300; ++i) big += static_cast<char>(i * 7);
    SetData(HKEY_LOCAL_MACHINE, L"Software\\T\\W", L"Bin", REG_BINARY, big);
    auto lines = Lines(KF().ExportKey(kHKLM, L"Software\\T\\W", true));
    // "Bin"=hex: + 23 bytes fills the first line to 79 characters and the backslash; every
    // continuation line holds 25 bytes after two blanks.
    ASSERT_GE(lines.size(), 14u);
    EXPECT_EQ(lines[1].size(), 80u);
    EXPECT_EQ(lines[1].substr(0, 13), L"\"Bin\"=hex:00,");
    std::string back;
    size_t i = 1;
    for (;; ++i) {
        std::wstring l = lines[i];
        bool more = !l.empty() && l.back() == L'\\';
        if (i > 1) {
            EXPECT_EQ(l.substr(0, 2), L"  ");
            if (more) { EXPECT_EQ(l.size(), 78u); }
        }
        l = l.substr(i == 1 ? 10 : 2);
        for (size_t p = 0; p + 1 < l.size(); p += 3) back += static_cast<char>(std::stoi(l.substr(p, 2), nullptr, 16));
        if (!more) break;
    }
    EXPECT_EQ(back, big);
    EXPECT_EQ(lines[i + 1], L"");
}

TEST_F(ExportKey, DeepTreesAndManyValues) {
    // 200 levels: exported parents first, then deleted completely.
    std::wstring path = L"Software\\T\\Deep";
    {
        RegKey h;
        ASSERT_EQ(h.Create(HKEY_LOCAL_MACHINE, path), ERROR_SUCCESS);
        for (int i = 0; i < 200; ++i) {
            RegKey c;
            ASSERT_EQ(c.Create(h.get(), L"L" + std::to_wstring(i)), ERROR_SUCCESS) << i;
            DWORD d = i;
            RegSetValueExW(c.get(), L"n", 0, REG_DWORD, reinterpret_cast<BYTE*>(&d), 4);
            h = std::move(c);
        }
    }
    auto lines = Lines(KF().ExportKey(kHKLM, path, true));
    std::vector<std::wstring> sections;
    for (auto& l : lines)
        if (!l.empty() && l[0] == L'[') sections.push_back(l);
    ASSERT_EQ(sections.size(), 201u);
    EXPECT_EQ(sections[200].size(), sections[199].size() + 5);  // one level ("\\L199") deeper
    EXPECT_NE(sections[200].find(L"\\L198\\L199]"), std::wstring::npos);
    EXPECT_TRUE(KF().DelKeyTree(kHKLM, path));
    EXPECT_FALSE(KeyThere(HKEY_LOCAL_MACHINE, path));
    EXPECT_TRUE(KeyThere(HKEY_LOCAL_MACHINE, L"Software\\T"));

    // 50,000 values (names in ascending order keep the registry's inserts cheap).
    const std::wstring many = L"Software\\T\\Many";
    {
        RegKey h;
        ASSERT_EQ(h.Create(HKEY_LOCAL_MACHINE, many), ERROR_SUCCESS);
        wchar_t name[16];
        for (DWORD i = 0; i < 50000; ++i) {
            swprintf(name, 16, L"v%05u", static_cast<unsigned>(i));
            ASSERT_EQ(RegSetValueExW(h.get(), name, 0, REG_DWORD, reinterpret_cast<BYTE*>(&i), 4), ERROR_SUCCESS);
        }
    }
    lines = Lines(KF().ExportKey(kHKLM, many, false));
    ASSERT_EQ(lines.size(), 50002u);
    EXPECT_EQ(lines[50000], L"\"v49999\"=dword:0000c34f");
    EXPECT_TRUE(KF().DelKeyTree(kHKLM, many));
    EXPECT_FALSE(KeyThere(HKEY_LOCAL_MACHINE, many));
}

TEST_F(ExportKey, DelKeyTreeTouchesNothingOutside) {
    SetText(HKEY_LOCAL_MACHINE, L"Software\\T\\A\\x\\y", L"v", REG_SZ, L"1");
    SetText(HKEY_LOCAL_MACHINE, L"Software\\T\\AB", L"v", REG_SZ, L"2");
    SetText(HKEY_LOCAL_MACHINE, L"Software\\T", L"v", REG_SZ, L"3");
    EXPECT_TRUE(KF().DelKeyTree(kHKLM, L"Software\\T\\A"));
    EXPECT_FALSE(KeyThere(HKEY_LOCAL_MACHINE, L"Software\\T\\A"));
    EXPECT_EQ(KF().ReadKeyValue(kHKLM, L"Software\\T\\AB", L"v"), L"2");
    EXPECT_EQ(KF().ReadKeyValue(kHKLM, L"Software\\T", L"v"), L"3");
    // A missing key is gone already; a whole root is never deleted.
    EXPECT_TRUE(KF().DelKeyTree(kHKLM, L"Software\\T\\Missing"));
    EXPECT_FALSE(KF().DelKeyTree(kHKLM, L""));
    EXPECT_TRUE(KeyThere(HKEY_LOCAL_MACHINE, L"Software\\T\\AB"));
    // Export of a missing key raises.
    EXPECT_THROW(KF().ExportKey(kHKLM, L"Software\\T\\Missing", true), RuntimeError);
}

TEST_F(ExportKey, UndoFileEncodingsAndHeldKeys) {
    SetText(HKEY_LOCAL_MACHINE, L"Software\\T\\A\\Sub", L"v", REG_SZ, L"ä");
    SetText(HKEY_LOCAL_MACHINE, L"Software\\T\\AB", L"v", REG_SZ, L"b");
    const std::wstring comments = L"; Kommentar äöü\r\n\r\n";

    const std::wstring p5 = folder.Path() + L"Neu\\Backup\\" + UndoFileName(L"RegScan");
    {
        UndoFile f(p5, kHeader5 + comments);
        EXPECT_TRUE(f.AddKey(kHKLM, L"Software\\T\\A"));
        const std::string once = ReadBytes(p5);  // flushed before AddKey returned
        EXPECT_FALSE(f.AddKey(kHKLM, L"Software\\T\\A"));
        EXPECT_FALSE(f.AddKey(kHKLM, L"software\\t\\a\\SUB"));
        EXPECT_EQ(ReadBytes(p5), once);
        EXPECT_TRUE(f.Holds(kHKLM, L"Software\\T\\A\\Sub\\Deeper"));
        EXPECT_FALSE(f.Holds(kHKLM, L"Software\\T\\AB"));
        EXPECT_FALSE(f.Holds(kHKCU, L"Software\\T\\A"));
        EXPECT_TRUE(f.AddKey(kHKLM, L"Software\\T\\AB"));
    }
    std::string b5 = ReadBytes(p5);
    ASSERT_GE(b5.size(), 4u);
    EXPECT_EQ(b5.substr(0, 2), "\xFF\xFE");
    EXPECT_EQ(FileText(p5), kHeader5 + comments +
                                L"[HKEY_LOCAL_MACHINE\\Software\\T\\A]\r\n\r\n"
                                L"[HKEY_LOCAL_MACHINE\\Software\\T\\A\\Sub]\r\n\"v\"=\"ä\"\r\n\r\n"
                                L"[HKEY_LOCAL_MACHINE\\Software\\T\\AB]\r\n\"v\"=\"b\"\r\n\r\n");

    const std::wstring p4 = folder.Path() + L"r4.reg";
    {
        UndoFile f(p4, kHeader4 + comments);
        EXPECT_TRUE(f.AddKey(kHKLM, L"Software\\T\\A\\Sub"));
        // A key name ANSI cannot hold would be restored as another key: refused, nothing written.
        SetText(HKEY_LOCAL_MACHINE, L"Software\\T\\Ж", L"v", REG_SZ, L"1");
        const std::string before = ReadBytes(p4);
        EXPECT_THROW(f.AddKey(kHKLM, L"Software\\T\\Ж"), RuntimeError);
        EXPECT_EQ(ReadBytes(p4), before);
        EXPECT_FALSE(f.Holds(kHKLM, L"Software\\T\\Ж"));
    }
    EXPECT_EQ(ReadBytes(p4), ToAnsi(kHeader4 + comments + L"[HKEY_LOCAL_MACHINE\\Software\\T\\A\\Sub]\r\n\"v\"=\"ä\"\r\n\r\n"));
}

TEST_F(ExportKey, UndoFileNameAndFailures) {
    SYSTEMTIME t;
    GetLocalTime(&t);
    const std::wstring name = UndoFileName(L"AutoRun");
    wchar_t date[16];
    swprintf(date, 16, L"%02u%02u%04u_", t.wDay, t.wMonth, t.wYear);
    ASSERT_EQ(name.size(), std::wstring(L"Rückgängig_AutoRun_01022004_090507.reg").size());
    EXPECT_EQ(name.substr(0, 19), L"Rückgängig_AutoRun_");
    EXPECT_EQ(name.substr(19, 9), date);
    EXPECT_EQ(name.substr(34), L".reg");

    try {
        UndoFile f(L"Q:\\Torvane\\Backup\\x.reg", kHeader5);
        ADD_FAILURE() << "no error for a missing drive";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.number, Err::PathNotFound);
    }
    // A folder where the file should go cannot be overwritten.
    CreateDirectoryW((folder.Path() + L"busy.reg").c_str(), nullptr);
    EXPECT_THROW(UndoFile(folder.Path() + L"busy.reg", kHeader4), RuntimeError);
}

// The registry editor runs in its own process and sees the real registry, so these work below
// the real HKEY_CURRENT_USER and remove their key at the end.
class UndoRoundTrip : public ::testing::Test {
protected:
    void SetUp() override {
        RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
        RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
        PrepareEnvironment(folder.Path());
        base = L"Software\\TorvaneTest\\RoundTrip_" + std::to_wstring(GetCurrentProcessId()) + L"_" +
               std::to_wstring(GetTickCount64());
    }
    void TearDown() override { RegDeleteTreeW(HKEY_CURRENT_USER, base.c_str()); RegDeleteKeyW(HKEY_CURRENT_USER, base.c_str()); }

    // Values that every format holds: ANSI names and text.
    void FillCommon(const std::wstring& tree) {
        const HKEY cu = HKEY_CURRENT_USER;
        std::string big;
        for (int i = 0; i < 300; ++i) big += static_cast<char>(255 - i);
        SetText(cu, tree, L"", REG_SZ, L"");
        SetText(cu, tree, L"quo\"te\\[x]=y", REG_SZ, L"a \"b\" C:\\d [e] = f äöüß");
        SetText(cu, tree, L"Path", REG_EXPAND_SZ, L"%SystemRoot%\\system32\\x.dll");
        SetData(cu, tree, L"Multi", REG_MULTI_SZ, Utf16(std::wstring(L"eins\0\0zwei\0\0", 12)));
        SetData(cu, tree, L"Dw", REG_DWORD, Bytes({0x2a, 0, 0, 0x80}));
        SetData(cu, tree, L"Qw", REG_QWORD, Bytes({1, 2, 3, 4, 5, 6, 7, 0xff}));
        SetData(cu, tree, L"Bin", REG_BINARY, big);
        SetData(cu, tree, L"NoneData", REG_NONE, Bytes({1, 0, 0xff}));
        SetData(cu, tree, L"NoData", REG_NONE, "");
        SetData(cu, tree, L"BinNoData", REG_BINARY, "");
        SetData(cu, tree, L"SzNoData", REG_SZ, "");
        SetData(cu, tree, L"ShortDw", REG_DWORD, Bytes({7, 0}));
        SetData(cu, tree, L"Custom", 0x100, Bytes({9, 8}));
        SetText(cu, tree, L"Lines", REG_SZ, L"x\r\ny\n");
        SetText(cu, tree, L"Name\nline\rcr\x01\t", REG_SZ, L"\x01\t x");
        SetData(cu, tree, L"Embedded", REG_SZ, Utf16(std::wstring(L"a\0b\0", 4)));
        SetText(cu, tree, std::wstring(300, L'n'), REG_SZ, std::wstring(5000, L'd'));
        SetText(cu, tree + L"\\a[b]=c", L"", REG_SZ, L"sub");
        SetText(cu, tree + L"\\a[b]=c\\]", L"v", REG_SZ, L"deeper");
        SetText(cu, tree + L"\\empty", L"", REG_SZ, L"");
        RegKey h;
        h.Create(cu, tree + L"\\bare");
    }

    // Saves the tree into an undo file, deletes it, writes the file back with the registry
    // editor and returns the differences between the tree before and after.
    std::string RoundTrip(const std::wstring& header, const std::wstring& tree) {
        const Tree before = Snapshot(HKEY_CURRENT_USER, tree);
        EXPECT_GT(before.size(), 3u);
        const std::wstring path = AppEnvironment.BackupDir + UndoFileName(L"RegScan");
        {
            UndoFile f(path, header);
            EXPECT_TRUE(f.AddKey(kHKCU, tree));
        }
        EXPECT_TRUE(KF().DelKeyTree(kHKCU, tree));
        EXPECT_FALSE(KeyThere(HKEY_CURRENT_USER, tree));
        EXPECT_EQ(RunRegedit(path), 0u);
        if (!KeyThere(HKEY_CURRENT_USER, tree)) return "tree not restored";
        return Differences(before, Snapshot(HKEY_CURRENT_USER, tree));
    }

    TempFolder folder;
    std::wstring base;
};

TEST_F(UndoRoundTrip, Unicode) {
    const std::wstring tree = base + L"\\Baum";
    FillCommon(tree);
    const HKEY cu = HKEY_CURRENT_USER;
    SetText(cu, tree, L"Ключ 名前", REG_SZ, L"Привет 日本 \U0001F600");
    SetText(cu, tree, L"ExpandUni", REG_EXPAND_SZ, L"%ProgramFiles%\\Ж");
    SetData(cu, tree, L"MultiUni", REG_MULTI_SZ, Utf16(std::wstring(L"α\0\0β\0\0", 6)));
    SetText(cu, tree + L"\\Ж [日]", L"", REG_SZ, L"Ω");
    EXPECT_EQ(RoundTrip(kHeader5, tree), "");
}

TEST_F(UndoRoundTrip, Regedit4) {
    const std::wstring tree = base + L"\\Baum";
    FillCommon(tree);
    EXPECT_EQ(RoundTrip(kHeader4, tree), "");
}

// A symbolic link inside a deleted tree goes, the key it points at stays.
TEST_F(UndoRoundTrip, DelKeyTreeLeavesLinkTargets) {
    HANDLE token = nullptr;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token));
    BYTE buf[256];
    DWORD len = 0;
    ASSERT_TRUE(GetTokenInformation(token, TokenUser, buf, sizeof buf, &len));
    CloseHandle(token);
    wchar_t* sid = nullptr;
    ASSERT_TRUE(ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buf)->User.Sid, &sid));
    const std::wstring target = L"\\Registry\\User\\" + std::wstring(sid) + L"\\" + base + L"\\Target";
    LocalFree(sid);

    SetText(HKEY_CURRENT_USER, base + L"\\Target\\Child", L"v", REG_SZ, L"keep");
    HKEY link = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, (base + L"\\Tree\\Link").c_str(), 0, nullptr,
                              REG_OPTION_CREATE_LINK | REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr, &link, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExW(link, L"SymbolicLinkValue", 0, REG_LINK, reinterpret_cast<const BYTE*>(target.c_str()),
                             static_cast<DWORD>(target.size() * 2)),
              ERROR_SUCCESS);
    RegCloseKey(link);
    ASSERT_EQ(KF().ReadKeyValue(kHKCU, base + L"\\Tree\\Link\\Child", L"v"), L"keep");  // the link works

    EXPECT_TRUE(KF().DelKeyTree(kHKCU, base + L"\\Tree"));
    EXPECT_FALSE(KeyThere(HKEY_CURRENT_USER, base + L"\\Tree"));
    EXPECT_EQ(KF().ReadKeyValue(kHKCU, base + L"\\Target\\Child", L"v"), L"keep");
}

// The disk fills up in the middle of a save, whether a write stops short or fails after part of
// it: the file goes back to its last whole section and stays a registry file, and the next save
// follows that section. A file whose first lines could not be written does not stay at all.
TEST_F(ExportKey, AWriteThatBreaksOffLeavesTheFileAtItsLastWholeSection) {
    const HKEY lm = HKEY_LOCAL_MACHINE;
    SetText(lm, L"Software\\T\\A", L"v", REG_SZ, L"eins");
    std::string big;
    for (int i = 0; i < 2000; ++i) big += static_cast<char>(i);
    SetData(lm, L"Software\\T\\B", L"Bin", REG_BINARY, big);
    SetText(lm, L"Software\\T\\B\\Unter", L"", REG_SZ, L"zwei");
    using WriteFn = std::function<BOOL(HANDLE, const void*, DWORD, DWORD*)>;
    SeamGuard<WriteFn> guard(UndoFile::WriteAction());
    const WriteFn real = guard.Saved();
    int n = 0;
    for (const std::wstring& header : {kHeader5, kHeader4}) {
        for (const bool shortWrite : {true, false}) {
            const std::string context = (header == kHeader5 ? "UTF-16, " : "ANSI, ") +
                                        std::string(shortWrite ? "short write" : "failed write");
            const std::wstring path = folder.Path() + L"voll" + std::to_wstring(++n) + L".reg";
            UndoFile f(path, header + L"; Kommentar\r\n\r\n");
            ASSERT_TRUE(f.AddKey(kHKLM, L"Software\\T\\A"));
            const std::string saved = ReadBytes(path);
            // A third of the section reaches the disk; a short write is tried again and then fails.
            bool first = true;
            UndoFile::WriteAction() = [&](HANDLE h, const void* d, DWORD size, DWORD* w) {
                if (!std::exchange(first, false)) {
                    SetLastError(ERROR_DISK_FULL);
                    return FALSE;
                }
                const BOOL ok = real(h, d, size / 3, w);
                if (shortWrite) return ok;
                SetLastError(ERROR_DISK_FULL);
                return FALSE;
            };
            EXPECT_THROW(f.AddKey(kHKLM, L"Software\\T\\B"), RuntimeError) << context;
            UndoFile::WriteAction() = real;
            EXPECT_EQ(ReadBytes(path), saved) << context;
            EXPECT_FALSE(f.Holds(kHKLM, L"Software\\T\\B")) << context;
            RegFile read = ReadRegFile(path);
            EXPECT_TRUE(read.Readable() && !read.Damaged()) << context << ToUtf8(read.problem + read.damage);
            ASSERT_EQ(read.keys.size(), 1u) << context;
            EXPECT_EQ(read.keys[0].path, L"Software\\T\\A");

            // With room again the same key is saved whole, right behind the section before.
            EXPECT_TRUE(f.AddKey(kHKLM, L"Software\\T\\B")) << context;
            read = ReadRegFile(path);
            EXPECT_TRUE(read.Readable() && !read.Damaged()) << context << ToUtf8(read.problem + read.damage);
            ASSERT_EQ(read.keys.size(), 3u) << context;
            EXPECT_EQ(read.keys[1].path, L"Software\\T\\B");
            ASSERT_EQ(read.keys[1].values.size(), 1u);
            EXPECT_EQ(read.keys[1].values[0].bytes, big) << context;
            EXPECT_EQ(read.keys[2].path, L"Software\\T\\B\\Unter");
            EXPECT_EQ(ReadBytes(path).substr(0, saved.size()), saved) << context;
        }
        // The first lines break off (the byte-order mark, too, in a UTF-16 file): no file is left.
        for (int failAt = 1; failAt <= (header == kHeader5 ? 2 : 1); ++failAt) {
            const std::wstring path = folder.Path() + L"kopf" + std::to_wstring(++n) + L".reg";
            int calls = 0;
            UndoFile::WriteAction() = [&](HANDLE h, const void* d, DWORD size, DWORD* w) {
                if (++calls < failAt) return real(h, d, size, w);
                real(h, d, size / 2, w);
                SetLastError(ERROR_DISK_FULL);
                return FALSE;
            };
            EXPECT_THROW(UndoFile(path, header + L"; Kommentar\r\n\r\n"), RuntimeError) << failAt;
            UndoFile::WriteAction() = real;
            EXPECT_FALSE(FileExists(path)) << failAt;
        }
    }
}
