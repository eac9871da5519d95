// tests/journal/UndoCarry_test.cpp
// What an undo file cannot carry exactly is not removed: names with line breaks or NUL, texts
// the registry editor would change on import, and registry links, which are never followed.
#include "core/AppEnvironment.h"
#include "journal/Areas.h"
#include "journal/ChangeJournal.h"
#include "journal/RegistryTree.h"
#include <winternl.h>

using namespace regtree;

namespace {
const HKEY cu = HKEY_CURRENT_USER;

struct UndoCarry : ::testing::Test {
    TempFolder folder;
    std::wstring base;
    void SetUp() override {
        PrepareEnvironment(folder.Path());
        AppEnvironment.UndoFileHeader = kHeader5;
        base = L"Software\\TorvaneTest\\Carry_" + std::to_wstring(GetCurrentProcessId());
    }
    void TearDown() override {
        RegDeleteTreeW(cu, base.c_str());
        RegDeleteKeyW(cu, base.c_str());
    }
    JournalResult Remove(std::vector<RegChange> changes) {
        ChangeJournal journal(L"RegScan", L"test", L"test");
        return journal.Apply(changes);
    }
};
}  // namespace

// A tree with a key named with a line break, a text without its end, a text of odd length: each
// stays whole with its reason; the same tree without them goes and comes back exactly.
TEST_F(UndoCarry, WhatAFileCannotCarryStaysWithItsReason) {
    struct Case {
        const wchar_t* what;
        std::function<void(const std::wstring&)> make;
        const wchar_t* reason;
    } cases[] = {
        {L"key name with CR LF", [](const std::wstring& k) { SetText(cu, k + L"\\a\r\n]b", L"v", REG_SZ, L"1"); },
         L"der Schlüsselname"},
        {L"key name with LF", [](const std::wstring& k) { SetText(cu, k + L"\\zeile\nzwei", L"", REG_SZ, L"1"); },
         L"enthält einen Zeilenumbruch"},
        {L"REG_SZ without its zero", [](const std::wstring& k) { SetRaw(cu, k, L"s", REG_SZ, L"abcd", 6); },
         L"ohne abschließendes NUL-Zeichen"},
        {L"REG_EXPAND_SZ of odd size", [](const std::wstring& k) { SetData(cu, k, L"e", REG_EXPAND_SZ, Bytes({0x41, 0, 0})); },
         L"ohne abschließendes NUL-Zeichen"},
        {L"REG_MULTI_SZ without its zero", [](const std::wstring& k) { SetRaw(cu, k + L"\\u", L"m", REG_MULTI_SZ, L"a\0bc", 6); },
         L"ohne abschließendes NUL-Zeichen"},
    };
    for (const Case& c : cases) {
        const std::wstring tree = base + L"\\Baum";
        SetText(cu, tree, L"gut", REG_SZ, L"bleibt");
        c.make(tree);
        const Tree before = Snapshot(cu, tree);
        const JournalResult r = Remove({RegChange::DeleteTree(kHKCU, tree)});
        ASSERT_EQ(r.items.size(), 1u);
        EXPECT_FALSE(r.items[0].done) << ToUtf8(c.what);
        EXPECT_NE(r.items[0].reason.find(c.reason), std::wstring::npos) << ToUtf8(c.what) << ": " << ToUtf8(r.items[0].reason);
        EXPECT_NE(r.items[0].reason.find(L"lässt sich nicht unverändert sichern"), std::wstring::npos);
        ASSERT_TRUE(KeyThere(cu, tree)) << ToUtf8(c.what);
        EXPECT_EQ(Differences(before, Snapshot(cu, tree)), "") << ToUtf8(c.what);
        RegDeleteTreeW(cu, tree.c_str());
        RegDeleteKeyW(cu, tree.c_str());
    }
    // A single value the editor would read back otherwise stays too.
    SetRaw(cu, base, L"roh", REG_SZ, L"abcd", 6);  // (the API adds the zero where the next character is one)
    const JournalResult single = Remove({RegChange::DeleteValue(kHKCU, base, L"roh")});
    EXPECT_FALSE(single.items[0].done);
    RegValue v;
    EXPECT_TRUE(KF().ReadValueRaw(kHKCU, base, L"roh", v));

    // "]" in names is carried (the section name ends at its last "]"), and so are line breaks in
    // value names (written as \r \n): removed and written back, the tree is as it was.
    const std::wstring tree = base + L"\\Klammer]";
    SetText(cu, tree + L"\\x]y[z]", L"wert\r\nmit]zeile", REG_SZ, L"a]b");
    SetData(cu, tree, L"leer", REG_EXPAND_SZ, "");
    const Tree before = Snapshot(cu, tree);
    ChangeJournal journal(L"RegScan", L"test", L"test");
    ASSERT_TRUE(journal.Apply({RegChange::DeleteTree(kHKCU, tree)}).items[0].done);
    EXPECT_FALSE(KeyThere(cu, tree));
    ASSERT_EQ(RunRegedit(journal.UndoPath()), 0u);
    ASSERT_TRUE(KeyThere(cu, tree));
    EXPECT_EQ(Differences(before, Snapshot(cu, tree)), "");
}

// A value name with a NUL, as the native API can make it: the tree that holds it stays.
TEST_F(UndoCarry, ValueNameWithNulKeepsItsTree) {
    using SetValueFn = LONG(NTAPI*)(HANDLE, UNICODE_STRING*, ULONG, ULONG, const void*, ULONG);
    const auto setValue = reinterpret_cast<SetValueFn>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtSetValueKey"));
    ASSERT_NE(setValue, nullptr);
    const std::wstring tree = base + L"\\Nul";
    RegKey k;
    ASSERT_EQ(k.Create(cu, tree), ERROR_SUCCESS);
    wchar_t name[] = L"Run\0x";
    UNICODE_STRING u{10, 10, name};
    const DWORD data = 1;
    ASSERT_EQ(setValue(k.get(), &u, 0, REG_DWORD, &data, sizeof data), 0);
    RegValue v;
    ASSERT_EQ(EnumValue(k.get(), 0, v), ERROR_SUCCESS);
    ASSERT_EQ(v.name, std::wstring(name, 5)) << "the registry keeps the whole name";
    k.Close();
    const JournalResult r = Remove({RegChange::DeleteTree(kHKCU, tree)});
    EXPECT_FALSE(r.items[0].done);
    EXPECT_NE(r.items[0].reason.find(L"NUL-Zeichen im Namen"), std::wstring::npos) << ToUtf8(r.items[0].reason);
    EXPECT_TRUE(KeyThere(cu, tree));
}

// A link key is never followed: neither a tree that holds one nor the link itself is saved or
// deleted, and what it points at stays untouched.
TEST_F(UndoCarry, RegistryLinksAreNeverFollowed) {
    const std::wstring target = base + L"\\Ziel", tree = base + L"\\Baum", link = tree + L"\\Link";
    SetText(cu, target, L"wichtig", REG_SZ, L"bleibt");
    SetText(cu, tree, L"x", REG_SZ, L"1");
    HKEY h = nullptr;
    ASSERT_EQ(RegCreateKeyExW(cu, link.c_str(), 0, nullptr, REG_OPTION_CREATE_LINK, KEY_ALL_ACCESS | KEY_CREATE_LINK,
                              nullptr, &h, nullptr),
              ERROR_SUCCESS);
    const std::wstring where = L"\\Registry\\User\\" + OwnSid() + L"\\" + target;
    ASSERT_EQ(RegSetValueExW(h, L"SymbolicLinkValue", 0, REG_LINK, reinterpret_cast<const BYTE*>(where.data()),
                             static_cast<DWORD>(where.size() * sizeof(wchar_t))),
              ERROR_SUCCESS);
    RegCloseKey(h);
    // The link leads where it says.
    RegValue seen;
    ASSERT_TRUE(KF().ReadValueRaw(kHKCU, link, L"wichtig", seen)) << "the link does not lead to its target";

    const Tree targetBefore = Snapshot(cu, target);
    const JournalResult r = Remove({RegChange::DeleteTree(kHKCU, tree), RegChange::DeleteTree(kHKCU, link),
                                    RegChange::DeleteValue(kHKCU, link, L"wichtig")});
    ASSERT_EQ(r.items.size(), 3u);
    for (const ChangeOutcome& o : r.items) {
        EXPECT_FALSE(o.done);
        EXPECT_NE(o.reason.find(L"Verknüpfung"), std::wstring::npos) << ToUtf8(o.reason);
    }
    EXPECT_TRUE(KeyThere(cu, tree));
    EXPECT_EQ(Differences(targetBefore, Snapshot(cu, target)), "");
    // The link itself is deleted as a link, never its target's keys.
    HKEY linkKey = nullptr;
    ASSERT_EQ(RegOpenKeyExW(cu, link.c_str(), REG_OPTION_OPEN_LINK, DELETE, &linkKey), ERROR_SUCCESS);
    RegDeleteKeyW(linkKey, L"");
    RegCloseKey(linkKey);
}
