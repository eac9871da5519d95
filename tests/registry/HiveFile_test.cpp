// tests/registry/HiveFile_test.cpp
// Our hive reader against hivex, an implementation of the format that is not ours: the hives are
// built by hivexregedit --merge (tests/support/hives/make_hives.sh) and our view of each must be
// what hivexregedit --export wrote of the same file.
#include "core/RuntimeError.h"
#include "core/Text.h"
#include "registry/HiveFile.h"
#include "support/Hives.h"
#include "support/Sandbox.h"
#include <gtest/gtest.h>
#include <memory>
#include <windows.h>

namespace {
HiveView ReaderView(const HiveFile& hive) {
    HiveView view;
    struct Item {
        HiveFile::Key key;
        std::wstring path;
    };
    std::vector<Item> stack{{hive.Root(), L""}};
    while (!stack.empty()) {
        Item it = stack.back();
        stack.pop_back();
        auto& values = view[ToLower(it.path)];
        for (const RegValue& v : hive.Values(it.key)) {
            RegFileValue& out = values[ToLower(v.name)];
            out.name = v.name;
            out.type = v.type;
            out.bytes.assign(reinterpret_cast<const char*>(v.data.data()), v.bytes);
        }
        for (HiveFile::Key sub : hive.SubKeys(it.key))
            stack.push_back({sub, (it.path.empty() ? L"" : it.path + L"\\") + hive.Name(sub)});
    }
    return view;
}

void ExpectSameView(const HiveView& ours, const HiveView& theirs) {
    ASSERT_EQ(ours.size(), theirs.size());
    for (const auto& [key, values] : theirs) {
        auto it = ours.find(key);
        ASSERT_NE(it, ours.end()) << ToUtf8(key);
        ASSERT_EQ(it->second.size(), values.size()) << ToUtf8(key);
        for (const auto& [name, v] : values) {
            auto o = it->second.find(name);
            ASSERT_NE(o, it->second.end()) << ToUtf8(key) << " " << ToUtf8(name);
            EXPECT_EQ(o->second.type, v.type) << ToUtf8(key) << " " << ToUtf8(name);
            EXPECT_EQ(o->second.bytes, v.bytes) << ToUtf8(key) << " " << ToUtf8(name);
        }
    }
}

// A hive that must open; its refusal is the test's failure message.
std::unique_ptr<HiveFile> Open(const std::wstring& path) {
    try {
        return std::make_unique<HiveFile>(path);
    } catch (const RuntimeError& e) {
        ADD_FAILURE() << ToUtf8(e.description);
        return nullptr;
    }
}

// The message a refused file raises.
std::wstring Refusal(const std::wstring& path) {
    try {
        HiveFile hive(path);
    } catch (const RuntimeError& e) {
        return e.description;
    }
    return L"";
}
}  // namespace

TEST(HiveFile, ReadsWhatHivexWrote) {
    const std::wstring path = TestHives() + L"reader\\sample.hive";
    const std::string before = ReadBytes(path);
    ASSERT_FALSE(before.empty()) << "hives not built";
    // Another reader may hold the file open: ours only shares reading.
    HANDLE other = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(other, INVALID_HANDLE_VALUE);
    const auto opened = Open(path);
    CloseHandle(other);
    ASSERT_TRUE(opened);
    const HiveFile& hive = *opened;
    EXPECT_FALSE(hive.Recovered());
    const HiveView ours = ReaderView(hive);
    ExpectSameView(ours, ExportView(path + L".export.reg", L"HKEY_LOCAL_MACHINE\\SOFTWARE"));

    // The cases hivex's export hides in its bulk: names in UTF-16, data kept in the value itself,
    // data in "db" segments, a list of 700 sub-keys in name order.
    HiveFile::Key k;
    ASSERT_TRUE(hive.Find(L"日本", k));
    EXPECT_EQ(hive.Name(k), L"日本");
    ASSERT_TRUE(hive.Find(L"typen", k));
    const auto& typen = ours.at(L"typen");
    EXPECT_EQ(typen.at(L"kurz").bytes, std::string("\x01\x02", 2));
    EXPECT_EQ(typen.at(L"dword").bytes, std::string("\xef\xbe\xad\xde", 4));
    EXPECT_EQ(typen.at(L"eigen").type, 0x1234u);
    const std::string& big = ours.at(L"gross").at(L"binaer").bytes;
    ASSERT_EQ(big.size(), 20000u);
    EXPECT_EQ(static_cast<unsigned char>(big[16344]), 16344 % 251);  // first byte of the second segment
    ASSERT_TRUE(hive.Find(L"Viele", k));
    const std::vector<HiveFile::Key> subs = hive.SubKeys(k);
    ASSERT_EQ(subs.size(), 700u);
    EXPECT_EQ(hive.Name(subs.front()), L"Schluessel0001");
    EXPECT_EQ(hive.Name(subs.back()), L"Schluessel0700");
    EXPECT_FALSE(hive.Find(L"Viele\\Schluessel0701", k));
    EXPECT_TRUE(hive.Find(L"VIELE\\schluessel0700", k));

    // Reading never writes.
    EXPECT_EQ(ReadBytes(path), before);
}

TEST(HiveFile, DamagedAndForeignFilesAreRefusedWithTheReason) {
    const std::wstring r = TestHives() + L"reader\\";
    struct Case {
        const wchar_t* file;
        const wchar_t* reason;
    } cases[] = {
        {L"truncated.hive", L"die Datei endet nach 12288 Bytes"},
        {L"badsum.hive", L"die Prüfsumme des Dateikopfs stimmt nicht"},
        {L"cellpast.hive", L"Bytes lang und reicht über das Ende ihres Blocks hinaus"},
        {L"badref.hive", L"ein Verweis auf 0x7FFFFFF8 zeigt auf keine belegte Zelle"},
        {L"foreign.hive", L"ist keine Registrierungsdatei"},
        {L"fehlt.hive", L"kann nicht gelesen werden"},
    };
    for (const Case& c : cases) {
        const std::wstring text = Refusal(r + c.file);
        EXPECT_NE(text.find(r + c.file), std::wstring::npos) << ToUtf8(text);
        EXPECT_NE(text.find(c.reason), std::wstring::npos) << ToUtf8(text);
    }
}

TEST(HiveFile, DirtyHiveIsReadWithItsLogOrRefused) {
    const std::wstring h = TestHives();
    // With its log the hive reads as the state the log leads to.
    const auto opened = Open(h + L"reader\\dirty.hive");
    ASSERT_TRUE(opened);
    const HiveFile& hive = *opened;
    EXPECT_TRUE(hive.Recovered());
    ExpectSameView(ReaderView(hive), ExportView(h + L"reader\\new.hive.export.reg", L"HKEY_LOCAL_MACHINE\\SOFTWARE"));
    // The same with a log of the older form (dirty pages).
    const auto older = Open(h + L"oldlog\\dirty.hive");
    ASSERT_TRUE(older);
    EXPECT_TRUE(older->Recovered());
    ExpectSameView(ReaderView(*older), ExportView(h + L"reader\\new.hive.export.reg", L"HKEY_LOCAL_MACHINE\\SOFTWARE"));

    // Without a log, or with one whose entry does not check out, nothing is read; the message
    // names the logs it looked for.
    for (const std::wstring& dir : {h + L"nolog\\", h + L"badlog\\"}) {
        const std::wstring text = Refusal(dir + L"dirty.hive");
        EXPECT_NE(text.find(L"nicht vollständig zurückgeschrieben"), std::wstring::npos) << ToUtf8(text);
        EXPECT_NE(text.find(dir + L"dirty.hive.LOG1"), std::wstring::npos) << ToUtf8(text);
        EXPECT_NE(text.find(dir + L"dirty.hive.LOG2"), std::wstring::npos) << ToUtf8(text);
    }
}
