// tests/scan/RemovalBatch_test.cpp
#include "core/AppEnvironment.h"
#include "main/ClassHandler.h"
#include "core/Text.h"
#include "registry/clsKeyFunc.h"
#include "scan/ScanEngine.h"
#include "scan/ScanTestRegistry.h"
#include "journal/RegistryTree.h"
#include "journal/UndoFile.h"
#include "support/Sandbox.h"
#include <gtest/gtest.h>
#include <cwchar>

namespace {
const std::wstring kUninstall = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
const std::wstring kHeader5 = L"Windows Registry Editor Version 5.00\r\n\r\n";

std::wstring Utf16File(const std::wstring& path) {
    const std::string b = ReadBytes(path);
    if (b.size() < 2) return L"";
    return std::wstring(reinterpret_cast<const wchar_t*>(b.data() + 2), (b.size() - 2) / 2);
}

std::wstring Program(int i) {
    wchar_t name[32];
    swprintf(name, 32, L"Programm%03d", i);
    return kUninstall + name;
}

struct BatchTest : ::testing::Test {
    RegistrySandbox sandbox;
    TempFolder folder;
    void SetUp() override {
        PrepareEnvironment(folder.Path());
        AppEnvironment.UndoFileHeader = kHeader5;
    }
};
}  // namespace

TEST_F(BatchTest, CollectedKeysReachTheFileOnlyWithFlush) {
    PutSz(HKEY_CURRENT_USER, L"Software\\T\\A\\Sub", L"v", L"1");
    PutSz(HKEY_CURRENT_USER, L"Software\\T\\B", L"v", L"2");
    const std::wstring path = folder.Path() + L"u.reg";
    UndoFile f(path, kHeader5);
    const std::string header = ReadBytes(path);
    EXPECT_TRUE(f.CollectKey(kHKCU, L"Software\\T\\A\\Sub"));
    EXPECT_TRUE(f.CollectKey(kHKCU, L"Software\\T\\B"));
    EXPECT_FALSE(f.CollectKey(kHKCU, L"software\\t\\b"));  // held already, though not yet written
    EXPECT_EQ(f.Collected(), 2u);
    EXPECT_EQ(ReadBytes(path), header);
    EXPECT_TRUE(f.HoldsBelow(kHKCU, L"Software\\T\\A"));
    EXPECT_TRUE(f.HoldsBelow(kHKCU, L"SOFTWARE\\T"));
    EXPECT_FALSE(f.HoldsBelow(kHKCU, L"Software\\T\\A\\Sub"));  // the key itself is not below
    EXPECT_FALSE(f.HoldsBelow(kHKCU, L"Software\\T\\A\\Su"));
    EXPECT_FALSE(f.HoldsBelow(kHKLM, L"Software\\T"));
    f.Flush();
    EXPECT_EQ(f.Collected(), 0u);
    EXPECT_EQ(Utf16File(path), kHeader5 + L"[HKEY_CURRENT_USER\\Software\\T\\A\\Sub]\r\n\"v\"=\"1\"\r\n\r\n"
                                          L"[HKEY_CURRENT_USER\\Software\\T\\B]\r\n\"v\"=\"2\"\r\n\r\n");
    // AddKey writes at once, as before.
    PutSz(HKEY_CURRENT_USER, L"Software\\T\\C", L"v", L"3");
    EXPECT_TRUE(f.AddKey(kHKCU, L"Software\\T\\C"));
    EXPECT_NE(Utf16File(path).find(L"[HKEY_CURRENT_USER\\Software\\T\\C]"), std::wstring::npos);
}

// More rows than one batch holds, every third one left out: the file holds exactly the chosen
// keys, in the order of the list, each exported as it was before anything was deleted.
TEST_F(BatchTest, ManyRowsAreSavedInOrderBeforeTheyGo) {
    const int n = 200;
    clsKeyFunc& kf = ClassHandler().KeyFunc();
    std::vector<std::wstring> exports(n);
    for (int i = 0; i < n; ++i) {
        PutSz(HKEY_CURRENT_USER, Program(i), L"DisplayName", L"Programm " + std::to_wstring(i));
        if (i % 7 == 0) PutSz(HKEY_CURRENT_USER, Program(i) + L"\\Teil", L"UninstallString", L"x");  // both sound
        else exports[i] = kf.ExportKey(kHKCU, Program(i), true);
    }
    ScanEngine engine;
    ASSERT_TRUE(engine.Scan());
    std::vector<size_t> marked;
    std::wstring expected;
    for (size_t r = 0; r < engine.Rows().size(); ++r) {
        const std::wstring& key = engine.Rows()[r].hit.key;
        const int i = _wtoi(key.c_str() + key.size() - 3);
        if (i % 3 != 0) marked.push_back(r);
    }
    ASSERT_EQ(engine.Rows().size(), size_t(n - (n + 6) / 7));  // the ones with a sub-key are not flagged
    for (int i = 0; i < n; ++i)
        if (i % 7 != 0 && i % 3 != 0) expected += kUndoNote + std::wstring(kNoteKeyRemoved) + L"\r\n" + exports[i];

    const RemovalResult res = engine.ProblemeEntfernen(&marked);
    ASSERT_TRUE(res.completed) << res.errorMessage;
    EXPECT_EQ(res.removed, marked.size());
    EXPECT_EQ(res.failed, 0u);
    const std::wstring text = Utf16File(res.undoFile);
    ASSERT_GE(text.size(), expected.size());
    EXPECT_EQ(text.substr(text.size() - expected.size()), expected);
    EXPECT_EQ(text.find(kUndoNote), text.size() - expected.size());  // nothing else was saved
    for (int i = 0; i < n; ++i)
        EXPECT_EQ(Exists(HKEY_CURRENT_USER, Program(i)), i % 7 == 0 || i % 3 == 0) << i;
    // The rows left out stay, in the order of the list.
    ASSERT_EQ(engine.Rows().size(), size_t(n - (n + 6) / 7) - marked.size());
    for (size_t r = 1; r < engine.Rows().size(); ++r) EXPECT_LT(engine.Rows()[r - 1].item, engine.Rows()[r].item);
}

// The disk fills up while the keys are saved: what was saved is gone, the rest stays, and the
// message names the first key that stayed.
TEST_F(BatchTest, AFullDiskStopsAtTheFirstUnsavedKeyAndNamesIt) {
    for (int i = 0; i < 100; ++i) PutSz(HKEY_CURRENT_USER, Program(i), L"DisplayName", L"Programm " + std::to_wstring(i));
    ScanEngine engine;
    ASSERT_TRUE(engine.Scan());
    ASSERT_EQ(engine.Rows().size(), 100u);
    RemovalResult res;
    {
        regtree::DiskFullAfter full(3);  // the byte-order mark, the header and the first batch reach the disk
        res = engine.ProblemeEntfernen();
    }
    EXPECT_FALSE(res.completed);
    ASSERT_GT(res.removed, 0u);
    ASSERT_LT(res.removed, 100u);
    const std::wstring firstKept = L"HKEY_CURRENT_USER\\" + Program(static_cast<int>(res.removed));
    EXPECT_NE(res.errorMessage.find(L"Der Schlüssel " + firstKept + L" und alle folgenden Einträge wurden nicht entfernt."),
              std::wstring::npos)
        << ToUtf8(res.errorMessage);
    EXPECT_EQ(engine.Rows().size(), 100u - res.removed);
    for (int i = 0; i < 100; ++i) EXPECT_EQ(Exists(HKEY_CURRENT_USER, Program(i)), i >= static_cast<int>(res.removed)) << i;
    // Everything that went is in the file.
    const std::wstring text = Utf16File(res.undoFile);
    for (size_t i = 0; i < res.removed; ++i)
        EXPECT_NE(text.find(L"[HKEY_CURRENT_USER\\" + Program(static_cast<int>(i)) + L"]"), std::wstring::npos) << i;
}
