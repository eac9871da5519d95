// tests/scan/ScanExclusions_test.cpp
#include "core/AppEnvironment.h"
#include "main/ClassHandler.h"
#include "core/Text.h"
#include "registry/clsKeyFunc.h"
#include "scan/ScanEngine.h"
#include "scan/ScanExclusions.h"
#include "scan/ScanReport.h"
#include "scan/ScanTestRegistry.h"
#include "support/Sandbox.h"
#include <gtest/gtest.h>
#include <algorithm>
#include <map>
#include <set>

namespace {
const std::wstring kClsid = L"Software\\Classes\\CLSID\\";
const std::wstring kUninstall = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
const std::wstring kExclusions = L"Software\\Torvane\\Ausnahmen";

struct ExclusionTest : ::testing::Test {
    RegistrySandbox sandbox;
    TempFolder folder;
    ScanEngine engine;
    void SetUp() override { PrepareEnvironment(folder.Path()); }
    std::set<std::wstring> Keys() const {
        std::set<std::wstring> out;
        for (const ResultRow& r : engine.Rows()) out.insert(r.item);
        return out;
    }
    // A class whose server file is missing: two rows, the class key and its InprocServer32.
    void PlantClass(const std::wstring& guid) {
        PutSz(HKEY_LOCAL_MACHINE, kClsid + guid, L"", L"Klasse " + guid);
        PutSz(HKEY_LOCAL_MACHINE, kClsid + guid + L"\\InprocServer32", L"", folder.Path() + L"weg\\" + guid + L".dll");
    }
    static std::wstring Item(const std::wstring& key) { return L"[HKEY_LOCAL_MACHINE\\" + key + L"]"; }
};
}  // namespace

TEST(ScanExclusionsParse, KeyTextsAndWhatIsNone) {
    RootKey root = 0;
    std::wstring key;
    ASSERT_TRUE(ScanExclusions::Parse(L"[HKEY_LOCAL_MACHINE\\Software\\Classes\\CLSID\\{A}]", root, key));
    EXPECT_EQ(root, kHKLM);
    EXPECT_EQ(key, L"Software\\Classes\\CLSID\\{A}");
    ASSERT_TRUE(ScanExclusions::Parse(L"[hkey_current_user\\Software\\X\\]", root, key));
    EXPECT_EQ(root, kHKCU);
    EXPECT_EQ(key, L"Software\\X");
    for (const wchar_t* bad : {L"", L"[]", L"HKEY_LOCAL_MACHINE\\Software", L"[HKEY_LOCAL_MACHINE\\Software",
                               L"[HKEY_LOCAL_MACHINE]", L"[HKEY_LOCAL_MACHINE\\]", L"[HKEY_NIRGENDWO\\Software]",
                               L"[HKLM\\Software]", L"[\\Software]", L"[HKEY_LOCAL_MACHINE\\\\Software]"})
        EXPECT_FALSE(ScanExclusions::Parse(bad, root, key)) << bad;
}

TEST_F(ExclusionTest, AnExcludedKeyAndWhatIsBelowItAreNotReportedButASiblingWithTheSamePrefixIs) {
    PlantClass(L"{A}");
    PlantClass(L"{AB}");
    PutSz(HKEY_LOCAL_MACHINE, kUninstall + L"Alt", L"DisplayName", L"Alt");
    ASSERT_TRUE(engine.Scan());
    ASSERT_EQ(Keys(), (std::set<std::wstring>{Item(kClsid + L"{A}"), Item(kClsid + L"{A}\\InprocServer32"),
                                              Item(kClsid + L"{AB}"), Item(kClsid + L"{AB}\\InprocServer32"),
                                              Item(kUninstall + L"Alt")}));
    const size_t total = engine.Total();

    // Stored as the first column writes it, in another case than the registry's.
    ASSERT_TRUE(ScanExclusions::Add(L"[HKEY_LOCAL_MACHINE\\software\\classes\\clsid\\{a}]"));
    ASSERT_TRUE(ScanExclusions::Add(Item(kUninstall + L"Alt")));
    EXPECT_EQ(ClassHandler().KeyFunc().GetSetting(L"Ausnahmen", Item(kUninstall + L"Alt"), L""), Item(kUninstall + L"Alt"));
    ASSERT_TRUE(engine.Scan());
    EXPECT_EQ(Keys(), (std::set<std::wstring>{Item(kClsid + L"{AB}"), Item(kClsid + L"{AB}\\InprocServer32")}));
    // Everything is still read; only the report leaves them out.
    EXPECT_EQ(engine.Total(), total);
    EXPECT_EQ(engine.Errors(), 2u);

    // The same key under the other root is another key.
    PutSz(HKEY_CURRENT_USER, kUninstall + L"Alt", L"DisplayName", L"Alt");
    ASSERT_TRUE(engine.Scan());
    EXPECT_EQ(Keys().count(L"[HKEY_CURRENT_USER\\" + kUninstall + L"Alt]"), 1u);

    // Switched off, the scan reports everything again.
    engine.SetUseExclusions(false);
    ASSERT_TRUE(engine.Scan());
    EXPECT_EQ(Keys().size(), 6u);
}

TEST_F(ExclusionTest, ExcludingAfterTheScanDropsTheRowsAtOrBelowTheKey) {
    PlantClass(L"{A}");
    PlantClass(L"{AB}");
    ASSERT_TRUE(engine.Scan());
    ASSERT_EQ(engine.Rows().size(), 4u);
    EXPECT_EQ(engine.DropExcludedRows(), 0u);
    ASSERT_TRUE(ScanExclusions::Add(Item(kClsid + L"{A}")));
    EXPECT_EQ(engine.DropExcludedRows(), 2u);
    EXPECT_EQ(Keys(), (std::set<std::wstring>{Item(kClsid + L"{AB}"), Item(kClsid + L"{AB}\\InprocServer32")}));
    // Removing the exclusion deletes its value only; the next scan reports the key again.
    ScanExclusions stored;
    stored.Load();
    ASSERT_EQ(stored.Entries().size(), 1u);
    ScanExclusions::Remove(stored.Entries()[0].valueName);
    EXPECT_TRUE(Exists(HKEY_CURRENT_USER, kExclusions));
    ASSERT_TRUE(engine.Scan());
    EXPECT_EQ(engine.Rows().size(), 4u);
}

TEST_F(ExclusionTest, BadEntriesAreLeftOutAndTheGoodOnesStillWork) {
    PlantClass(L"{A}");
    PlantClass(L"{B}");
    PutSz(HKEY_CURRENT_USER, kExclusions, L"1", L"kein Schlüssel");
    PutSz(HKEY_CURRENT_USER, kExclusions, L"2", L"[HKEY_LOCAL_MACHINE]");
    PutSz(HKEY_CURRENT_USER, kExclusions, L"3", L"");
    PutDword(HKEY_CURRENT_USER, kExclusions, L"4", 7);
    const BYTE bin[3] = {0x5b, 0, 0x5d};
    Put(HKEY_CURRENT_USER, kExclusions, L"5", REG_BINARY, bin, 3);
    PutSz(HKEY_CURRENT_USER, kExclusions, L"", L"[HKEY_NIRGENDWO\\x]");
    PutSz(HKEY_CURRENT_USER, kExclusions, L"6", Item(kClsid + L"{B}"));
    // Not a key text, so not stored at all.
    EXPECT_FALSE(ScanExclusions::Add(L"Software\\Classes"));

    ScanExclusions stored;
    stored.Load();
    ASSERT_EQ(stored.Entries().size(), 1u);
    EXPECT_EQ(stored.Entries()[0].valueName, L"6");
    EXPECT_TRUE(stored.Excludes(kHKLM, kClsid + L"{b}\\InprocServer32"));
    EXPECT_FALSE(stored.Excludes(kHKLM, kClsid + L"{B}x"));
    EXPECT_FALSE(stored.Excludes(kHKLM, L"Software\\Classes\\CLSID"));

    ASSERT_TRUE(engine.Scan());
    EXPECT_EQ(Keys(), (std::set<std::wstring>{Item(kClsid + L"{A}"), Item(kClsid + L"{A}\\InprocServer32")}));
}

TEST_F(ExclusionTest, RowsShowTheirDataAsTheRegistryEditorDoesWhileTheChecksSeeWhatTheyDid) {
    const std::wstring cls = kClsid + L"{C}";
    PlantClass(L"{C}");
    PutDword(HKEY_LOCAL_MACHINE, cls + L"\\Werte", L"dword", 258);
    const BYTE beef[4] = {0xde, 0xad, 0xbe, 0xef};
    Put(HKEY_LOCAL_MACHINE, cls + L"\\Werte", L"bin", REG_BINARY, beef, 4);
    std::basic_string<BYTE> big(4096, 0xab);
    Put(HKEY_LOCAL_MACHINE, cls + L"\\Werte", L"gross", REG_BINARY, big.data(), static_cast<DWORD>(big.size()));
    const wchar_t multi[] = L"eins\0zwei\0";
    Put(HKEY_LOCAL_MACHINE, cls + L"\\Werte", L"multi", REG_MULTI_SZ, multi, sizeof multi);
    std::wstring longMulti(3000, L'x');
    longMulti += L'\0';
    longMulti += L'\0';
    Put(HKEY_LOCAL_MACHINE, cls + L"\\Werte", L"lang", REG_MULTI_SZ, longMulti.data(),
        static_cast<DWORD>(longMulti.size() * sizeof(wchar_t)));
    PutSz(HKEY_LOCAL_MACHINE, cls + L"\\Werte", L"exp", L"%SystemRoot%\\a.dll", REG_EXPAND_SZ);
    unsigned long long q = 1;
    Put(HKEY_LOCAL_MACHINE, cls + L"\\Werte", L"qword", REG_QWORD, &q, sizeof q);

    ASSERT_TRUE(engine.Scan());
    std::map<std::wstring, const ResultRow*> byName;
    for (const ResultRow& r : engine.Rows()) byName[r.name] = &r;
    ASSERT_EQ(byName.size(), 8u);  // "@" of both keys and the seven values share two names
    EXPECT_EQ(byName[L"\"dword\""]->data, L"0x00000102 (258)");
    EXPECT_EQ(byName[L"\"bin\""]->data, L"de ad be ef");
    EXPECT_EQ(byName[L"\"multi\""]->data, L"eins | zwei");
    EXPECT_EQ(byName[L"\"qword\""]->data, L"0x0000000000000001 (1)");
    EXPECT_TRUE(byName[L"\"gross\""]->data.ends_with(L"ab ab …"));
    EXPECT_EQ(byName[L"\"gross\""]->data.size(), 64u * 3 + 1);
    EXPECT_TRUE(byName[L"\"lang\""]->data.ends_with(L"xxx …"));
    // The file rule's rows keep their doubled backslashes.
    EXPECT_EQ(byName[L"\"exp\""]->data, L"%SystemRoot%\\\\a.dll");
    // What the checks judged is still the search's text of the value.
    EXPECT_EQ(byName[L"\"bin\""]->hit.data, L"-21026");
    EXPECT_EQ(byName[L"\"dword\""]->hit.data, L"");
    // Strings keep no copy of their bytes; the raw bytes kept for the display stay small.
    EXPECT_TRUE(byName[L"\"exp\""]->hit.raw.empty());
    EXPECT_EQ(byName[L"\"gross\""]->hit.raw.size(), ScanHit::kRawKept);

    // The JSON document: text values as read, the others as the list shows them.
    const std::wstring json = ScanJsonDocument(engine, engine.Rows(), nullptr);
    EXPECT_NE(json.find(L"\"value_name\": \"bin\", \"data\": \"de ad be ef\""), std::wstring::npos) << json;
    EXPECT_NE(json.find(L"\"value_name\": \"exp\", \"data\": \"%SystemRoot%\\\\a.dll\""), std::wstring::npos) << json;
    EXPECT_NE(json.find(L"\"value_name\": \"multi\", \"data\": \"eins | zwei\""), std::wstring::npos) << json;
}
