// tests/backup/RegFileReader_test.cpp
// The reader reads a registry file row by row as the registry editor does: what the editor
// rejects is rejected with its line, what it writes is read with the same bytes. The cases are
// tried against the editor itself (regedit /s) from the same state.
#include "backup/RegFileReader.h"
#include "backup/RestorePlan.h"
#include "core/AppEnvironment.h"
#include "journal/RegistryTree.h"
#include "support/RegFuzz.h"
#include "support/Sandbox.h"
#include <gtest/gtest.h>
#include <functional>
#include <iterator>

using namespace regtree;

namespace {
const std::wstring kKey = L"HKEY_CURRENT_USER\\Software\\TorvaneTest\\Lesen";

std::wstring Expand(std::wstring text) {
    for (size_t p; (p = text.find(L"@K@")) != std::wstring::npos;) text.replace(p, 3, kKey);
    return text;
}

// The one value row of the file's first section (there must be exactly one).
const RegFileValue& Only(const RegFile& f) {
    static const RegFileValue none;
    for (const RegFileKey& k : f.keys)
        if (!k.values.empty()) return k.values.front();
    ADD_FAILURE() << "no value";
    return none;
}

std::string Sz(const std::wstring& s) { return Utf16(s) + std::string(2, '\0'); }
}  // namespace

// Each rule of the editor on one value line of a version 5 file.
TEST(RegFileRules, OneValueLineAsTheEditorReadsIt) {
    struct Case {
        const wchar_t* line;
        DWORD type;           // REG_NONE with empty bytes and !remove: rejected
        std::string bytes;
        const wchar_t* why;   // the start of the reason where rejected
    } cases[] = {
        {L"\"a\"=\"foo\"bar\"", 0, "", L"Zeile 4: nach dem schließenden Anführungszeichen"},
        {L"\"b\"=\"Value3\"  #comment", 0, "", L"Zeile 4: nach dem schließenden Anführungszeichen"},
        {L"\"c\"=\"Value3\" ;comment", REG_SZ, Sz(L"Value3"), nullptr},
        {L"\"d\" \t= \t\"x\"", REG_SZ, Sz(L"x"), nullptr},
        {L"\"e\"=dword:  00000008", REG_DWORD, Bytes({8, 0, 0, 0}), nullptr},
        {L"\"f\"=dword:;leer", REG_DWORD, Bytes({0, 0, 0, 0}), nullptr},
        {L"\"g\"=dword:123456789", 0, "", L"Zeile 4: nach dword:"},
        {L"\"h\"=DWORD:1", 0, "", L"Zeile 4: unbekannte Art von Daten"},
        {L"\"i\"=hex: 0x1f, 2", REG_BINARY, Bytes({0x1f, 2}), nullptr},
        {L"\"j\"=hex:01 ,02", 0, "", L"Zeile 4: kein Hexadezimalwert"},
        {L"\"k\"=hex:01,100", 0, "", L"Zeile 4: kein Hexadezimalwert"},
        {L"\"l\"=hex:01,,02", 0, "", L"Zeile 4: kein Hexadezimalwert"},
        {L"\"m\"=hex:01,02,", REG_BINARY, Bytes({1, 2}), nullptr},
        {L"\"n\"=hex(0x2):41,00", 0, "", L"Zeile 4: unlesbarer Datentyp"},
        {L"\"o\"=hex():07", REG_NONE, Bytes({7}), nullptr},
        {L"\"p\"=hex(2 ):41,00", 0, "", L"Zeile 4: unlesbarer Datentyp"},
        {L"\"q\"=hex(100000000):00", 0, "", L"Zeile 4: unlesbarer Datentyp"},
        {L"\"r\"=hex(2):4c,00,69,00", REG_EXPAND_SZ, Sz(L"Li"), nullptr},  // the editor ends the text
        {L"\"s\"=hex(7):41,00,00,00,00,00", REG_MULTI_SZ, Bytes({0x41, 0, 0, 0, 0, 0}), nullptr},
        {L"\"t\"=hex(1):41,00,42", 0, "", L"Zeile 4: ein Text aus einer ungeraden Zahl"},
        {L"\"u\"=hex(2):", REG_EXPAND_SZ, "", nullptr},
        {L"\"v\\0\"=\"1\"", 0, "", L"Zeile 4: der Wertname enthält \"\\0\""},
        {L"\"w\\q\"=\"x\\ty\\nz\"", REG_SZ, Sz(L"xty\nz"), nullptr},
        {L"\"x\"=\"a\\0b\"", 0, "", L"Zeile 4: der Text enthält \"\\0\""},
        {L"@foo=\"x\"", 0, "", L"Zeile 4: nach dem Wertnamen fehlt \"=\""},
        {L"@ = \"std\"", REG_SZ, Sz(L"std"), nullptr},
        {L"\"y\"=str:\"x\"", 0, "", L"Zeile 4: unbekannte Art von Daten"},
        {L"\"z\"=- ;weg", REG_NONE, "", nullptr},
        {L"\"z2\"=- x", 0, "", L"Zeile 4: nach dem Minuszeichen"},
    };
    for (const Case& c : cases) {
        const RegFile f = ParseRegText(Expand(L"Windows Registry Editor Version 5.00\r\n\r\n[@K@]\r\n") + c.line + L"\r\n", true);
        ASSERT_TRUE(f.Readable()) << ToUtf8(c.line);
        const RegFileValue& v = Only(f);
        if (c.why) {
            EXPECT_TRUE(v.rejected.starts_with(c.why)) << ToUtf8(c.line) << " -> " << ToUtf8(v.rejected);
            EXPECT_EQ(f.badLines, 1) << ToUtf8(c.line);
            continue;
        }
        EXPECT_EQ(v.rejected, L"") << ToUtf8(c.line);
        EXPECT_EQ(f.badLines, 0) << ToUtf8(c.line);
        if (std::wstring(c.line).find(L"=-") != std::wstring::npos) {
            EXPECT_TRUE(v.remove);
            continue;
        }
        EXPECT_EQ(v.type, c.type) << ToUtf8(c.line);
        EXPECT_EQ(Hex(v.bytes), Hex(c.bytes)) << ToUtf8(c.line);
    }
}

// Lines, continuations, sections and headers as the editor takes them.
TEST(RegFileRules, LinesSectionsAndHeaders) {
    // A comment after the continuation mark, blank and comment lines inside a value, CR-only breaks.
    RegFile f = ParseRegText(Expand(L"REGEDIT4\r[@K@]\r\"h\"=hex:01,\\ ;mehr\r\r\n  ; dazwischen\r\n\r\n  02\r\"e\"=hex(2):41,42\r"),
                             false);
    ASSERT_TRUE(f.Readable());
    EXPECT_EQ(f.badLines, 0) << ToUtf8(f.damage);
    ASSERT_EQ(f.keys.size(), 1u);
    ASSERT_EQ(f.keys[0].values.size(), 2u);
    EXPECT_EQ(f.keys[0].values[0].bytes, Bytes({1, 2}));
    EXPECT_EQ(f.keys[0].values[1].bytes, Sz(L"AB"));  // ANSI text, ended by the editor, stored as UTF-16
    EXPECT_EQ(f.keys[0].values[1].line, 8);

    // The offending line is named, not the first line of the value.
    f = ParseRegText(Expand(L"REGEDIT4\r\n[@K@]\r\n\"h\"=hex:01,\\\r\n  02,\\\r\n  \\\r\n\"i\"=\"1\"\r\n"), false);
    ASSERT_EQ(f.keys[0].values.size(), 2u);
    EXPECT_EQ(f.keys[0].values[0].line, 3);
    EXPECT_TRUE(f.keys[0].values[0].rejected.starts_with(L"Zeile 5: setzt den Wert aus Zeile 3 nicht fort"))
        << ToUtf8(f.keys[0].values[0].rejected);
    EXPECT_EQ(f.keys[0].values[1].rejected, L"");
    f = ParseRegText(Expand(L"REGEDIT4\r\n[@K@]\r\n\"h\"=hex:01,\\\r\n  5c\\\r\n"), false);
    EXPECT_TRUE(f.keys[0].values[0].rejected.starts_with(L"Zeile 4: kein Hexadezimalwert")) << ToUtf8(f.damage);

    // After a key line the editor cannot read, it would write into the key before: rejected.
    f = ParseRegText(Expand(L"REGEDIT4\r\n[@K@]\r\n\"a\"=\"1\"\r\n[ @K@\\Unter]\r\n\"b\"=\"2\"\r\n[@K@\\Da]\r\n\"c\"=\"3\"\r\n"), false);
    EXPECT_EQ(f.badLines, 2);
    EXPECT_EQ(f.damage, L"Zeile 4: nach \"[\" steht ein Leerzeichen; der Registrierungs-Editor liest hier keinen Schlüssel");
    ASSERT_EQ(f.keys.size(), 3u);
    ASSERT_EQ(f.keys[1].values.size(), 1u);
    EXPECT_NE(f.keys[1].values[0].rejected.find(L"er schriebe den Wert in den Schlüssel davor"), std::wstring::npos);
    EXPECT_EQ(f.keys[2].values[0].rejected, L"");  // a good key line ends it
    // A key line swallowed as the end of a broken value: the same.
    f = ParseRegText(Expand(L"REGEDIT4\r\n[@K@]\r\n\"h\"=hex:01,\\\r\n[@K@\\Unter]\r\n\"z\"=\"1\"\r\n"), false);
    EXPECT_EQ(f.badLines, 2);
    ASSERT_EQ(f.keys.size(), 2u);
    EXPECT_NE(f.keys[1].values[0].rejected.find(L"als Fortsetzung eines Werts verwirft"), std::wstring::npos);

    // An unknown root to remove stops the editor: nothing after it is read.
    f = ParseRegText(Expand(L"REGEDIT4\r\n[@K@]\r\n\"a\"=\"1\"\r\n[-HKEY_NIRGENDS\\x]\r\n[@K@]\r\n\"b\"=\"2\"\r\n"), false);
    ASSERT_EQ(f.keys.size(), 2u);
    EXPECT_EQ(f.keys[1].rejected, L"Zeile 4: unbekannter Hauptschlüssel \"HKEY_NIRGENDS\"; der Registrierungs-Editor "
                                  L"bricht hier ab und liest den Rest der Datei nicht");
    f = ParseRegText(L"REGEDIT4\r\n[-HKEY_CURRENT_USER]\r\n[-HKEY_CURRENT_USER\\x]\r\n", false);
    ASSERT_EQ(f.keys.size(), 1u);
    EXPECT_FALSE(f.keys[0].rejected.empty());
    // "[-" without a name removes nothing, and the values after it stand under no key.
    f = ParseRegText(Expand(L"REGEDIT4\r\n[-]\r\n\"a\"=\"1\"\r\n"), false);
    EXPECT_EQ(f.badLines, 2);

    // Headers: blanks before it count for nothing, after it they make it another header; a NUL
    // anywhere in a line rejects it.
    EXPECT_TRUE(ParseRegText(L"  REGEDIT4\r\n", false).Readable());
    EXPECT_FALSE(ParseRegText(L"REGEDIT4 \r\n", false).Readable());
    EXPECT_FALSE(ParseRegText(L"Windows Registry Editor Version 5.00 \r\n", true).Readable());
    EXPECT_NE(ParseRegText(L"REGEDIT\r\nHKEY_CLASSES_ROOT\\x = y\r\n", false).problem.find(L"Windows 3.1"), std::wstring::npos);
    const wchar_t nul[] = L"REGEDIT4\r\n[@K@]\r\n\"a\"=\"1\0\"\r\n";
    f = ParseRegText(Expand(std::wstring(nul, std::size(nul) - 1)), false);
    EXPECT_EQ(f.badLines, 1);
    // A header and half a character (found by the fuzzer): the cut is on the header's line.
    f = ParseRegBytes(reg_fuzz::Utf16File(L"REGEDIT4") + "x");
    ASSERT_TRUE(f.Readable());
    ASSERT_EQ(f.keys.size(), 1u);
    EXPECT_EQ(f.keys[0].rejected, L"Zeile 1: die Datei endet mitten in einem Zeichen (sie ist abgeschnitten)");
}

namespace {
// The same file written by the editor and by the write-back, each from an empty key.
struct EditorAgreement : ::testing::Test {
    TempFolder folder;
    const std::wstring base = L"Software\\TorvaneTest\\Lesen";
    void SetUp() override { PrepareEnvironment(folder.Path()); }
    void TearDown() override { Clear(); }
    void Clear() {
        RegDeleteTreeW(HKEY_CURRENT_USER, base.c_str());
        RegDeleteKeyW(HKEY_CURRENT_USER, base.c_str());
    }
    Tree After(const std::function<void()>& write) {
        Clear();
        RegKey k;
        k.Create(HKEY_CURRENT_USER, base);
        write();
        return Snapshot(HKEY_CURRENT_USER, base);
    }
};
}  // namespace

TEST_F(EditorAgreement, TheWriteBackWritesWhatTheEditorWrites) {
    struct Case {
        const wchar_t* text;
        bool less = false;  // the editor would write values under another key than the file shows: we write fewer
    } cases[] = {
        {L"[@K@]\r\n\"a\"=\"foo\"bar\"\r\n\"b\"=\"ok\"\r\n\"c\"=\"V\"  #c\r\n\"d\"=\"V\" ;c\r\n"},
        {L"[@K@]\r\n\"h\"=hex:01,02,\\\r\n\\\r\n\"i\"=dword:1\r\n"},
        {L"[@K@]\r\n\"h\"=hex:01,5c\\\r\n  02\r\n\"i\"=dword:2\r\n"},
        {L"[@K@]\r\n\"h\"=hex:01,\\ ;mehr\r\n\r\n ;x\r\n  02\r\n\"j\"=hex(7):41,00,00,00\r\n"},
        {L"[@K@]\r\n\"a\" = \"1\"\r\n\"b\"\t=\tdword:  00000008\r\n@ = \"d\"\r\n@foo=\"x\"\r\n"},
        {L"[@K@]\r\n\"x\"=\"1\"\r\n\"y\"=\"2\"\r\n[@K@]\r\n\"x\"=- ;weg\r\n\"y\"=- x\r\n"},
        {L"[@K@]\r\n\"e\"=hex(2):4c,00,69,00\r\n\"f\"=hex(1):41,00,00,00\r\n\"g\"=hex(2):\r\n"},
        {L"[@K@]\r\n\"x\"=hex(0x2):01\r\n\"y\"=hex():01\r\n\"z\"=hex(2 ):41,00\r\n\"w\"=hex(B):01,02\r\n"},
        {L"[@K@]\r\n\"x\"=hex: 0x1f, 2\r\n\"y\"=hex:01 ,02\r\n\"w\"=hex:-0\r\n\"v\"=hex:+a\r\n"},
        {L"[@K@]\r\n\"d\"=dword:;c\r\n\"e\"=dword:123456789\r\n\"f\"=dword:fFfFfFfF\r\n\"g\"=dword:\r\n"},
        {L"[@K@]\r\n\"n\\0\"=\"1\"\r\n\"o\\q\"=\"2\"\r\n\"p\"=\"x\\ty\\nz\\r\"\r\n\"q\"=\"a\\\"\"\"\r\n"},
        {L"[@K@]\r\n\"a\"=\"1\"\r\n[-HKEY_NIRGENDS\\x]\r\n\"b\"=\"2\"\r\n"},
        {L"[@K@]\r\n\"a\"=\"1\"\r\n[HKEY_NIRGENDS\\x]\r\n\"b\"=\"2\"\r\n[@K@]\r\n\"c\"=\"3\"\r\n"},
        {L"\"a\"=\"1\"\r\n[@K@]\r\n\"b\"=\"2\"\r\nirgendwas\r\n\"c\"=str:\"3\"\r\n"},
        {L"  [@K@\\Unter]\r\n\"a\"=\"1\"\r\n[@K@\\Unter]  ;c\r\n\"b\"=\"2\"\r\n[hkey_current_user\\Software\\TorvaneTest\\Lesen\\x]y]\r\n"},
        {L"[@K@\\Weg]\r\n\"a\"=\"1\"\r\n[-@K@\\Weg]\r\n\"b\"=\"2\"\r\n[-@K@\\Nie]\r\n"},
        {L"[@K@]\r\n\"a\"=\"1\"\r\n[ @K@\\Unter]\r\n\"b\"=\"2\"\r\n", true},
        {L"[@K@]\r\n\"h\"=hex:01,\\\r\n[@K@\\Unter]\r\n\"z\"=\"1\"\r\n", true},
        {L"[@K@]\r\n\"h\"=hex:01,02,\\\r\n", true},  // the file lost its end: the editor writes what it has
    };
    int n = 0;
    for (const Case& c : cases) {
        ++n;
        for (const bool unicode : {true, false}) {
            const std::wstring text = Expand((unicode ? L"Windows Registry Editor Version 5.00\r\n\r\n" : L"REGEDIT4\r\n\r\n") +
                                             std::wstring(c.text));
            const std::wstring path = folder.Write(L"f" + std::to_wstring(n) + (unicode ? L"u" : L"a") + L".reg",
                                                   unicode ? "\xFF\xFE" + Utf16(text) : ToAnsi(text));
            const Tree editor = After([&] { RunRegedit(path); });
            const Tree ours = After([&] {
                const RestorePlan plan = PlanRestore(path);
                ASSERT_TRUE(plan.readable) << ToUtf8(plan.problem);
                WriteBack(plan, std::vector<bool>(plan.rows.size(), true));
            });
            if (!c.less) {
                EXPECT_EQ(Differences(editor, ours), "") << "case " << n << (unicode ? " (UTF-16)" : " (ANSI)");
                continue;
            }
            // Where the editor goes astray, the write-back writes a part of what it writes, never more.
            for (const auto& [key, values] : ours)
                for (const auto& [name, value] : values) {
                    const auto k = editor.find(key);
                    EXPECT_TRUE(k != editor.end() && k->second.count(name) && k->second.at(name) == value)
                        << "case " << n << ": " << ToUtf8(key) << " " << ToUtf8(name);
                }
        }
    }
}
