// tests/backup/RegFileImport_test.cpp
#include "support/RegeditImport.h"
#include "backup/frmBackup.h"
#include "core/AppEnvironment.h"
#include "main/ClassHandler.h"
#include "core/Text.h"
#include "registry/clsKeyFunc.h"
#include "scan/ScanEngine.h"
#include "scan/ScanTestRegistry.h"
#include "journal/UndoFile.h"
#include "support/Sandbox.h"
#include <gtest/gtest.h>

namespace {
std::string U16(const std::wstring& s) { return std::string(reinterpret_cast<const char*>(s.data()), s.size() * 2); }
std::string Dw(DWORD d) { return std::string(reinterpret_cast<const char*>(&d), 4); }

std::wstring Unique() { return std::to_wstring(GetCurrentProcessId()) + L"_" + std::to_wstring(GetTickCount64()); }

void OverridesOff() {
    RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
    RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
}
void DeleteRealKey(const std::wstring& key) {
    RegDeleteTreeW(HKEY_CURRENT_USER, key.c_str());
    RegDeleteKeyW(HKEY_CURRENT_USER, key.c_str());
}
}  // namespace

TEST(RegFileReader, ReadsTheEditorsSyntax) {
    const std::wstring text =
        L"REGEDIT4\r\n\r\n; comment\r\n\r\r\n"
        L"[HKEY_CURRENT_USER\\Software\\A]b=c[d]]\r\n"
        L"@=\"x \\\"q\\\" \\\\ y\"\r\n"
        L"\"n\\\"m\" = dword:0000002a\r\n"
        L"\"bin\"=hex:01,02,\\\r\n  03,ff\r\n"
        L"\"exp\"=hex(2):41,e4,00\r\n"
        L"\"gone\"=-\r\n\r\n"
        L"[-HKEY_LOCAL_MACHINE\\Software\\B\\]\r\n"
        L"[HKEY_BOGUS\\x]\r\n"
        L"\"v\"=\"1\"\r\n"
        L"garbage\r\n"
        L"[hkey_users]\r\n"
        L"\"bad\"=dword:123456789\r\n"
        L"\"open\"=\"no end\r\n";
    const RegFile f = ParseRegText(text, false);
    ASSERT_TRUE(f.valid);
    EXPECT_FALSE(f.unicodeSyntax);
    ASSERT_EQ(f.keys.size(), 5u);
    const RegFileKey& a = f.keys[0];
    EXPECT_EQ(a.root, kHKCU);
    EXPECT_EQ(a.path, L"Software\\A]b=c[d]");  // the name ends at the last "]"
    ASSERT_EQ(a.values.size(), 5u);
    EXPECT_EQ(a.values[0].name, L"");
    EXPECT_EQ(a.values[0].type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(a.values[0].bytes, U16(L"x \"q\" \\ y") + std::string(2, '\0'));
    EXPECT_EQ(a.values[1].name, L"n\"m");
    EXPECT_EQ(a.values[1].bytes, Dw(42));
    EXPECT_EQ(a.values[2].type, static_cast<DWORD>(REG_BINARY));
    EXPECT_EQ(a.values[2].bytes, std::string("\x01\x02\x03\xff", 4));
    // REGEDIT4 keeps expandable strings in ANSI; the editor stores UTF-16.
    EXPECT_EQ(a.values[3].type, static_cast<DWORD>(REG_EXPAND_SZ));
    EXPECT_EQ(a.values[3].bytes, U16(FromAnsi(std::string("A\xe4\0", 3))));
    EXPECT_TRUE(a.values[4].remove);
    EXPECT_TRUE(f.keys[1].remove);
    EXPECT_EQ(f.keys[1].root, kHKLM);
    EXPECT_EQ(f.keys[1].path, L"Software\\B");
    // An unknown root: the key and its value are rejected; so is a line that is nothing.
    EXPECT_EQ(f.keys[2].root, 0);
    EXPECT_EQ(f.keys[2].rejected, L"Zeile 15: unbekannter Hauptschlüssel \"HKEY_BOGUS\"");
    ASSERT_EQ(f.keys[2].values.size(), 1u);
    EXPECT_FALSE(f.keys[2].values[0].rejected.empty());
    EXPECT_EQ(f.keys[3].line, 17);
    EXPECT_FALSE(f.keys[3].rejected.empty());
    EXPECT_EQ(f.keys[4].root, kHKU);
    EXPECT_EQ(f.keys[4].path, L"");
    ASSERT_EQ(f.keys[4].values.size(), 2u);  // a nine-digit dword, an unclosed string: both rejected
    EXPECT_FALSE(f.keys[4].values[0].rejected.empty() || f.keys[4].values[1].rejected.empty());
    EXPECT_EQ(f.badLines, 5);
    EXPECT_EQ(f.damage, f.keys[2].rejected);  // the first of them
    EXPECT_TRUE(f.problem.empty());

    // A UTF-16 file keeps hex(2) as UTF-16; any other first line is no export at all.
    const RegFile five = ParseRegText(L"Windows Registry Editor Version 5.00\r\n[HKEY_CLASSES_ROOT\\x]\r\n\"e\"=hex(2):41,00\r\n", true);
    ASSERT_TRUE(five.valid && five.unicodeSyntax);
    ASSERT_EQ(five.keys.size(), 1u);
    EXPECT_EQ(five.keys[0].values[0].bytes, std::string("A\0\0\0", 4));  // the editor ends the text
    EXPECT_FALSE(ParseRegText(L"REGEDIT5\r\n[HKEY_CLASSES_ROOT\\x]\r\n", false).valid);
    EXPECT_FALSE(ParseRegText(L"", false).valid);
}

TEST(BackupColumns, SizeIsCutToFiveCharacters) {
    EXPECT_EQ(frmBackup::SizeText(0, L","), L"0 KB");
    EXPECT_EQ(frmBackup::SizeText(1234, L","), L"1,205 KB");
    EXPECT_EQ(frmBackup::SizeText(2048, L","), L"2 KB");
    EXPECT_EQ(frmBackup::SizeText(1500000, L","), L"1464, KB");
    EXPECT_EQ(frmBackup::SizeText(1234, L"."), L"1.205 KB");
    EXPECT_EQ(frmBackup::SizeText(5ull << 40, L","), L"53687 KB");  // beyond 4 GB
}

namespace {
struct RegFileCheck : ::testing::Test {
    RegistrySandbox sandbox;
    TempFolder folder;
    void SetUp() override { PrepareEnvironment(folder.Path()); }

    // A tree with every value type and awkward names.
    void Fill(const std::wstring& tree, bool unicodeNames) {
        const HKEY cu = HKEY_CURRENT_USER;
        PutSz(cu, tree, L"", L"Standard \"mit\" C:\\Pfad äöü");
        PutSz(cu, tree, L"quo\"te\\[x]=y", L"");
        PutSz(cu, tree, L"Path", L"%SystemRoot%\\x.dll", REG_EXPAND_SZ);
        const wchar_t multi[] = L"eins\0zwei\0";
        Put(cu, tree, L"Multi", REG_MULTI_SZ, multi, sizeof multi);
        PutDword(cu, tree, L"Dw", 0x8000002a);
        unsigned long long q = 0x1122334455667788ull;
        Put(cu, tree, L"Qw", REG_QWORD, &q, sizeof q);
        std::string big(200, '\x5a');
        Put(cu, tree, L"Bin", REG_BINARY, big.data(), static_cast<DWORD>(big.size()));
        Put(cu, tree, L"None", REG_NONE, "\x01", 1);
        PutSz(cu, tree, L"Zeilen", L"a\r\nb");
        PutSz(cu, tree + L"\\a]b=c[d", L"v", L"tiefer");
        PutKey(cu, tree + L"\\leer");
        if (unicodeNames) PutSz(cu, tree + L"\\Ж", L"名前", L"Привет");
    }
    RegFile Export(const std::wstring& tree, const std::wstring& header) {
        const std::wstring path = folder.Path() + L"x" + std::to_wstring(++files) + L".reg";
        {
            UndoFile f(path, header);
            f.AddKey(kHKCU, tree);
        }
        return ReadRegFile(path);
    }
    int files = 0;
};
}  // namespace

TEST_F(RegFileCheck, AnExportMatchesTheRegistryUntilItChanges) {
    const std::wstring tree = L"Software\\Baum";
    for (bool five : {true, false}) {
        SCOPED_TRACE(five);
        RegDeleteTreeW(HKEY_CURRENT_USER, tree.c_str());
        Fill(tree, five);
        const RegFile f = Export(tree, five ? L"Windows Registry Editor Version 5.00\r\n\r\n" : L"REGEDIT4\r\n\r\n");
        ASSERT_TRUE(f.valid);
        EXPECT_EQ(f.badLines, 0);
        std::wstring problem;
        EXPECT_TRUE(RegFileApplied(f, problem)) << ToUtf8(problem);

        // One value of another type, one value missing, one key missing: each is found.
        PutDword(HKEY_CURRENT_USER, tree, L"Path", 1);
        EXPECT_FALSE(RegFileApplied(f, problem));
        EXPECT_EQ(problem, L"[HKEY_CURRENT_USER\\Software\\Baum] \"Path\" hat einen anderen Wert");
        PutSz(HKEY_CURRENT_USER, tree, L"Path", L"%SystemRoot%\\x.dll", REG_EXPAND_SZ);
        EXPECT_TRUE(RegFileApplied(f, problem)) << ToUtf8(problem);
        RegDeleteKeyValueW(HKEY_CURRENT_USER, tree.c_str(), nullptr);
        EXPECT_FALSE(RegFileApplied(f, problem));
        EXPECT_EQ(problem, L"[HKEY_CURRENT_USER\\Software\\Baum] @ fehlt");
        PutSz(HKEY_CURRENT_USER, tree, L"", L"Standard \"mit\" C:\\Pfad äöü");
        RegDeleteKeyW(HKEY_CURRENT_USER, (tree + L"\\leer").c_str());
        EXPECT_FALSE(RegFileApplied(f, problem));
        EXPECT_EQ(problem, L"[HKEY_CURRENT_USER\\Software\\Baum\\leer] fehlt");
    }
}

TEST_F(RegFileCheck, DeletionsAndRepeatedSectionsFollowTheFileOrder) {
    PutSz(HKEY_CURRENT_USER, L"Software\\Weg\\Unter", L"x", L"1");
    PutSz(HKEY_CURRENT_USER, L"Software\\Da", L"a", L"neu");
    const std::wstring text =
        L"REGEDIT4\r\n\r\n"
        L"[HKEY_CURRENT_USER\\Software\\Da]\r\n\"a\"=\"alt\"\r\n\"b\"=\"x\"\r\n\r\n"
        L"[HKEY_CURRENT_USER\\Software\\Da]\r\n\"A\"=\"neu\"\r\n\"b\"=-\r\n\r\n"
        L"[-HKEY_CURRENT_USER\\Software\\Weg]\r\n";
    std::wstring problem;
    EXPECT_FALSE(RegFileApplied(ParseRegText(text, false), problem));
    EXPECT_EQ(problem, L"[HKEY_CURRENT_USER\\Software\\Weg] ist noch vorhanden");
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Weg");
    RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\Weg");
    EXPECT_TRUE(RegFileApplied(ParseRegText(text, false), problem)) << ToUtf8(problem);
    PutSz(HKEY_CURRENT_USER, L"Software\\Da", L"b", L"x");
    EXPECT_FALSE(RegFileApplied(ParseRegText(text, false), problem));
    EXPECT_EQ(problem, L"[HKEY_CURRENT_USER\\Software\\Da] \"b\" ist noch vorhanden");
    // Nothing to check is no proof either: a file with a line the editor skips, or an unknown root.
    EXPECT_FALSE(RegFileApplied(ParseRegText(L"REGEDIT4\r\n[HKEY_CURRENT_USER\\Software\\Da]\r\nx\r\n", false), problem));
    EXPECT_FALSE(RegFileApplied(ParseRegText(L"REGEDIT4\r\n[HKEY_NIRGENDWO\\Software\\Da]\r\n", false), problem));
    EXPECT_FALSE(RegFileApplied(ParseRegText(L"Hallo\r\n", false), problem));
}

// The registry editor runs in its own process and writes into the real registry of the prefix, so
// these tests work below real keys and remove them at the end.
TEST_F(RegFileCheck, UndoFileOfAScanIsWrittenBackExactly) {
    AppEnvironment.UndoFileHeader = L"Windows Registry Editor Version 5.00\r\n\r\n";
    std::wstring digits = Unique();
    for (wchar_t& c : digits) if (c == L'_') c = L'0';
    digits = (digits + L"000000000000").substr(0, 12);
    const std::wstring cls = L"Software\\Classes\\CLSID\\{B4C4B4C4-0000-0000-0000-" + digits + L"}";
    PutSz(HKEY_CURRENT_USER, cls + L"\\InprocServer32", L"", folder.Path() + L"fehlt\\s.dll");
    Fill(cls + L"\\Werte", true);
    clsKeyFunc& kf = ClassHandler().KeyFunc();
    const std::wstring before = kf.ExportKey(kHKCU, cls, true);

    ScanEngine engine;
    ASSERT_TRUE(engine.Scan());
    ASSERT_FALSE(engine.Rows().empty());
    const RemovalResult removal = engine.ProblemeEntfernen();
    ASSERT_TRUE(removal.completed) << ToUtf8(removal.errorMessage);
    ASSERT_FALSE(Exists(HKEY_CURRENT_USER, cls));

    OverridesOff();
    ASSERT_FALSE(Exists(HKEY_CURRENT_USER, cls));
    std::wstring problem;
    EXPECT_FALSE(RegFileApplied(ReadRegFile(removal.undoFile), problem));  // nothing written back yet
    const WriteBackResult r = WriteBackRegFile(removal.undoFile);
    std::wstring after;
    try {
        after = kf.ExportKey(kHKCU, cls, true);
    } catch (...) {
    }
    DeleteRealKey(cls);
    EXPECT_TRUE(r.started);
    EXPECT_TRUE(r.applied) << ToUtf8(r.problem);
    EXPECT_EQ(after, before);
}

TEST_F(RegFileCheck, PartialOrMissingImportIsAFailure) {
    OverridesOff();
    const std::wstring base = L"Software\\TorvaneTest\\WriteBack_" + Unique();
    // The editor writes the first key and fails on the second (a name longer than 255 characters).
    const std::wstring good = L"[HKEY_CURRENT_USER\\" + base + L"\\gut]\r\n\"v\"=\"1\"\r\n\r\n";
    const std::wstring bad = L"[HKEY_CURRENT_USER\\" + base + L"\\" + std::wstring(300, L'k') + L"]\r\n\"v\"=\"2\"\r\n\r\n";
    const std::wstring path = folder.Write(L"teil.reg", ToAnsi(L"REGEDIT4\r\n\r\n" + good + bad));
    const WriteBackResult partial = WriteBackRegFile(path);
    const bool goodWritten = Exists(HKEY_CURRENT_USER, base + L"\\gut");
    DeleteRealKey(base);
    EXPECT_TRUE(partial.started);
    EXPECT_EQ(partial.exitCode, 0u);  // the editor's word proves nothing
    EXPECT_TRUE(goodWritten);
    EXPECT_FALSE(partial.applied);
    EXPECT_NE(partial.problem.find(L"kkkk] fehlt"), std::wstring::npos) << ToUtf8(partial.problem);

    const WriteBackResult missing = WriteBackRegFile(folder.Path() + L"gibtsnicht.reg");
    EXPECT_FALSE(missing.started);
    EXPECT_FALSE(missing.applied);
    const WriteBackResult noExport = WriteBackRegFile(folder.Write(L"text.reg", "Hallo\r\n"));
    EXPECT_FALSE(noExport.started);
    EXPECT_FALSE(noExport.applied);
}
