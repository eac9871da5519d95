// tests/registry/clsSearch_test.cpp
#include "main/ClassHandler.h"
#include "registry/clsSearch.h"
#include "scan/ScanTestRegistry.h"
#include "support/Sandbox.h"
#include <gtest/gtest.h>
#include <map>

namespace {
const std::wstring kBase = L"Software\\SearchTest";

SearchQuery MakeSearch(const std::wstring& text, const std::wstring& key, int mode, bool recurse, bool keyName,
                bool valueName, bool valueData) {
    SearchQuery s;
    s.SearchText = text;
    s.KeyPath = key;
    s.Root = kHKCU;
    s.CompareMode = mode;
    s.Recurse = recurse;
    s.MatchKeyName = keyName;
    s.MatchValueName = valueName;
    s.MatchValueData = valueData;
    return s;
}

std::vector<ScanHit> Find(SearchQuery s) {
    std::vector<ScanHit> hits(1);
    ClassHandler().Search().StopSearch = false;
    ClassHandler().Search().FindString(s, hits);
    return hits;
}

std::wstring HitLines(const std::vector<ScanHit>& hits) {
    std::wstring all;
    for (size_t i = 1; i < hits.size(); ++i) all += hits[i].Line() + L"\n";
    return all;
}

struct SearchTest : ::testing::Test {
    RegistrySandbox sandbox;
    TempFolder folder;
    void SetUp() override { PrepareEnvironment(folder.Path()); }
};
}  // namespace

TEST_F(SearchTest, ExactModeMatchesKeyNamesAndWholeKeyText) {
    PutKey(HKEY_CURRENT_USER, kBase + L"\\Leer");
    PutSz(HKEY_CURRENT_USER, kBase + L"\\Zwei", L"a", L"x");
    PutSz(HKEY_CURRENT_USER, kBase + L"\\Zwei", L"b", L"y");

    // An empty key found by its own name gives one hit for its (absent) default value.
    auto hits = Find(MakeSearch(L"Leer", kBase, 0, true, true, false, false));
    ASSERT_EQ(hits.size(), 2u) << HitLines(hits);
    EXPECT_TRUE(hits[0].key.empty());  // element 0 stays the caller's
    EXPECT_EQ(hits[1].Line(), L"-2147483647[" + kBase + L"\\Leer]@=");

    // The whole key text matches every value of the key even without MatchKeyName.
    hits = Find(MakeSearch(kBase + L"\\Zwei", kBase, 0, true, false, false, false));
    ASSERT_EQ(hits.size(), 3u) << HitLines(hits);
    EXPECT_EQ(hits[1].name, L"a");
    EXPECT_EQ(hits[2].name, L"b");

    // Exact mode is case-sensitive on data.
    EXPECT_EQ(Find(MakeSearch(L"X", kBase, 0, true, false, false, true)).size(), 1u);
    EXPECT_EQ(Find(MakeSearch(L"x", kBase, 0, true, false, false, true)).size(), 2u);
    // Any other mode matches nothing.
    EXPECT_EQ(Find(MakeSearch(L"", kBase, 7, true, true, true, true)).size(), 1u);
}

TEST_F(SearchTest, ContainsModeDataTypesAndRecursion) {
    const std::wstring k = kBase + L"\\Typen";
    PutSz(HKEY_CURRENT_USER, k, L"sz", L"C:\\PROGRAMME\\WERT.EXE");
    PutSz(HKEY_CURRENT_USER, k, L"exp", L"%SystemRoot%\\x.dll", REG_EXPAND_SZ);
    PutDword(HKEY_CURRENT_USER, k, L"dw", 1);
    const unsigned char bin[] = {0xFE, 0xFF, 7};
    Put(HKEY_CURRENT_USER, k, L"bin", REG_BINARY, bin, 3);
    const wchar_t multi[] = L"eins\0zwei\0";
    Put(HKEY_CURRENT_USER, k, L"multi", REG_MULTI_SZ, multi, sizeof multi);
    const std::wstring longText(300, L'L');  // 602 bytes
    PutSz(HKEY_CURRENT_USER, k, L"lang", longText);
    PutSz(HKEY_CURRENT_USER, k + L"\\Unten", L"tief", L"wert");

    // Lower-case text found in data written in capitals.
    auto hits = Find(MakeSearch(L"wert.exe", k, 1, false, false, false, true));
    ASSERT_EQ(hits.size(), 2u);
    EXPECT_EQ(hits[1].name, L"sz");

    // Every value with all flags and an empty text; data text by type.
    hits = Find(MakeSearch(L"", k, 1, true, true, true, true));
    std::map<std::wstring, std::wstring> data;
    for (size_t i = 1; i < hits.size(); ++i) data[hits[i].name] = hits[i].data;
    EXPECT_EQ(hits.size(), 8u) << HitLines(hits);
    EXPECT_EQ(data[L"exp"], L"%SystemRoot%\\x.dll");  // placeholders stay
    EXPECT_EQ(data[L"dw"], L"");
    EXPECT_EQ(data[L"bin"], L"-2");
    EXPECT_EQ(data[L"multi"], L"");
    EXPECT_EQ(data[L"lang"], longText);  // no fixed buffer cuts it
    EXPECT_EQ(data[L"tief"], L"wert");

    // A DWORD never matches on its data; without recursion the sub-key is not visited.
    EXPECT_EQ(Find(MakeSearch(L"1", k, 0, true, false, false, true)).size(), 1u);
    EXPECT_EQ(Find(MakeSearch(L"wert", k, 0, false, false, false, true)).size(), 1u);
    EXPECT_EQ(Find(MakeSearch(L"wert", k, 0, true, false, false, true)).size(), 2u);
    EXPECT_EQ(ClassHandler().Search().Get_ValueData(kHKCU, k, L"bin"), L"-2");
    EXPECT_EQ(ClassHandler().Search().Get_ValueData(kHKCU, k, L"fehlt"), L"");
}

TEST_F(SearchTest, NamesWithBracketsQuotesAndNonLatinStayRecords) {
    const std::wstring k = kBase + L"\\a]b=c[\"d\" Ωλ😀";
    PutSz(HKEY_CURRENT_USER, k, L"n]a=m\\e\"", L"da]ta=\"x\"");
    PutSz(HKEY_CURRENT_USER, k, L"", L"");
    auto hits = Find(MakeSearch(L"", k, 1, true, true, true, true));
    ASSERT_EQ(hits.size(), 3u) << HitLines(hits);
    bool sawNamed = false, sawDefault = false;
    for (size_t i = 1; i < hits.size(); ++i) {
        EXPECT_EQ(hits[i].key, k);
        if (hits[i].name == L"n]a=m\\e\"") {
            sawNamed = true;
            EXPECT_EQ(hits[i].data, L"da]ta=\"x\"");
        }
        if (hits[i].name.empty()) {
            sawDefault = true;
            EXPECT_EQ(hits[i].type, static_cast<DWORD>(REG_SZ));
        }
    }
    EXPECT_TRUE(sawNamed && sawDefault);
}

TEST_F(SearchTest, DeepTreesAndWideKeys) {
    std::wstring deep = kBase + L"\\Tief";
    for (int i = 0; i < 200; ++i) deep += L"\\e" + std::to_wstring(i);
    PutSz(HKEY_CURRENT_USER, deep, L"ganz", L"unten");
    auto hits = Find(MakeSearch(L"unten", kBase, 0, true, false, false, true));
    ASSERT_EQ(hits.size(), 2u);
    EXPECT_EQ(hits[1].key, deep);

    const std::wstring wide = kBase + L"\\Breit";
    HKEY h = nullptr;
    RegCreateKeyExW(HKEY_CURRENT_USER, wide.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h, nullptr);
    for (int i = 0; i < 50000; ++i) {
        std::wstring n = L"v" + std::to_wstring(i);
        RegSetValueExW(h, n.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(n.c_str()),
                       static_cast<DWORD>((n.size() + 1) * 2));
    }
    RegCloseKey(h);
    hits = Find(MakeSearch(L"", wide, 1, false, true, true, true));
    EXPECT_EQ(hits.size(), 50001u);
    EXPECT_EQ(hits.back().name, hits.back().data);
}

namespace {
void CALLBACK StopNow(HWND, UINT, UINT_PTR id, DWORD) {
    ClassHandler().Search().StopSearch = true;
    KillTimer(nullptr, id);
}
}  // namespace

TEST_F(SearchTest, StopSearchEndsTheWalkAndKeepsHits) {
    HKEY h = nullptr;
    for (int k = 0; k < 300; ++k) {
        std::wstring key = kBase + L"\\Viele\\k" + std::to_wstring(k);
        RegCreateKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h, nullptr);
        for (int v = 0; v < 40; ++v) {
            std::wstring n = L"v" + std::to_wstring(v);
            RegSetValueExW(h, n.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(L"x"), 4);
        }
        RegCloseKey(h);
    }
    std::vector<ScanHit> hits(1);
    SearchQuery s = MakeSearch(L"", kBase, 1, true, true, true, true);
    clsSearch& search = ClassHandler().Search();
    search.StopSearch = false;
    // The timer fires from the walk's own message pumping.
    SetTimer(nullptr, 0, 20, StopNow);
    search.FindString(s, hits);
    EXPECT_TRUE(search.StopSearch);
    EXPECT_LT(hits.size() - 1, 12000u);
    EXPECT_GT(hits.size(), 1u);
    EXPECT_EQ(s.KeyPath, kBase);  // restored
    // A stopped search keeps stopping until the caller resets the flag.
    std::vector<ScanHit> again(1);
    search.FindString(s, again);
    EXPECT_EQ(again.size(), 1u);
    search.StopSearch = false;
}

TEST_F(SearchTest, UnreadableKeyContributesNothing) {
    // A key whose security lets nobody read it: no hit, no row for an "empty" key later.
    const std::wstring k = kBase + L"\\Gesperrt";
    SECURITY_DESCRIPTOR sd;
    InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION);
    ACL acl;
    InitializeAcl(&acl, sizeof acl, ACL_REVISION);
    SetSecurityDescriptorDacl(&sd, TRUE, &acl, FALSE);  // empty DACL: no access for anyone
    SECURITY_ATTRIBUTES sa{sizeof sa, &sd, FALSE};
    HKEY h = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, k.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, &sa, &h, nullptr), ERROR_SUCCESS);
    RegSetValueExW(h, L"v", 0, REG_SZ, reinterpret_cast<const BYTE*>(L"x"), 4);
    RegCloseKey(h);
    if (Exists(HKEY_CURRENT_USER, k)) GTEST_SKIP() << "the platform does not enforce key security here";
    auto hits = Find(MakeSearch(L"", kBase, 1, true, true, true, true));
    for (size_t i = 1; i < hits.size(); ++i) EXPECT_NE(hits[i].key, k);
}
