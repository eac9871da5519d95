// tests/registry/ValueText_test.cpp
#include "registry/ValueText.h"
#include <gtest/gtest.h>
#include <cstdint>
#include <string>

namespace {
template <class T>
std::wstring Show(DWORD type, const T& v) {
    return ValueDisplayText(type, reinterpret_cast<const BYTE*>(&v), sizeof v);
}
std::wstring ShowText(DWORD type, const std::wstring& s) {
    return ValueDisplayText(type, reinterpret_cast<const BYTE*>(s.data()), s.size() * sizeof(wchar_t));
}
}  // namespace

TEST(ValueDisplayText, NumbersAsTheRegistryEditorShowsThem) {
    EXPECT_EQ(Show(REG_DWORD, uint32_t{258}), L"0x00000102 (258)");
    EXPECT_EQ(Show(REG_DWORD, uint32_t{0}), L"0x00000000 (0)");
    // Unsigned: the top bit set is no negative number.
    EXPECT_EQ(Show(REG_DWORD, uint32_t{0xDEADBEEF}), L"0xdeadbeef (3735928559)");
    EXPECT_EQ(Show(REG_QWORD, uint64_t{0x1122334455667788ull}), L"0x1122334455667788 (1234605616436508552)");
    EXPECT_EQ(Show(REG_QWORD, uint64_t{258}), L"0x0000000000000102 (258)");
    const BYTE big[4] = {0x00, 0x00, 0x01, 0x02};
    EXPECT_EQ(ValueDisplayText(REG_DWORD_BIG_ENDIAN, big, 4), L"0x00000102 (258)");
    // A number of the wrong size is shown as the bytes it has.
    const BYTE three[3] = {1, 2, 3};
    EXPECT_EQ(ValueDisplayText(REG_DWORD, three, 3), L"01 02 03");
    EXPECT_EQ(ValueDisplayText(REG_QWORD, big, 4), L"00 00 01 02");
}

TEST(ValueDisplayText, TextsAsStored) {
    EXPECT_EQ(ShowText(REG_SZ, std::wstring(L"C:\\Programme\\a.exe", 19) + L'\0'), L"C:\\Programme\\a.exe");
    // Placeholders stay as they are stored.
    EXPECT_EQ(ShowText(REG_EXPAND_SZ, std::wstring(L"%SystemRoot%\\x.dll") + L'\0'), L"%SystemRoot%\\x.dll");
    // Without its terminating zero, and what follows a zero is not shown.
    EXPECT_EQ(ShowText(REG_SZ, L"ohne Ende"), L"ohne Ende");
    EXPECT_EQ(ShowText(REG_SZ, std::wstring(L"a\0b", 3)), L"a");
    EXPECT_EQ(ShowText(REG_MULTI_SZ, std::wstring(L"eins\0zwei\0drei\0\0", 16)), L"eins | zwei | drei");
    EXPECT_EQ(ShowText(REG_MULTI_SZ, std::wstring(L"allein\0\0", 8)), L"allein");
    EXPECT_EQ(ShowText(REG_MULTI_SZ, std::wstring(L"\0", 1)), L"");
    // The first empty string ends the list; an unterminated last string still counts.
    EXPECT_EQ(ShowText(REG_MULTI_SZ, std::wstring(L"a\0\0b\0\0", 6)), L"a");
    EXPECT_EQ(ShowText(REG_MULTI_SZ, std::wstring(L"a\0b", 3)), L"a | b");
}

TEST(ValueDisplayText, BinaryAsHexBytesCutAfterSixtyFourBytes) {
    const BYTE beef[4] = {0xde, 0xad, 0xbe, 0xef};
    EXPECT_EQ(ValueDisplayText(REG_BINARY, beef, 4), L"de ad be ef");
    // Types without a text form (REG_NONE with data, resource lists) show their bytes too.
    EXPECT_EQ(ValueDisplayText(REG_NONE, beef, 2), L"de ad");
    EXPECT_EQ(ValueDisplayText(REG_RESOURCE_LIST, beef, 1), L"de");

    std::basic_string<BYTE> big(4096, 0);
    for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<BYTE>(i);
    const std::wstring shown = ValueDisplayText(REG_BINARY, big.data(), big.size());
    EXPECT_EQ(shown.substr(0, 12), L"00 01 02 03 ");
    EXPECT_TRUE(shown.ends_with(L"3e 3f …")) << shown;
    EXPECT_EQ(shown.size(), kDisplayBytes * 3 - 1 + 2);
    // Exactly 64 bytes are not cut.
    EXPECT_TRUE(ValueDisplayText(REG_BINARY, big.data(), kDisplayBytes).ends_with(L"3e 3f"));
}

TEST(ValueDisplayText, NoDataIsAnEmptyText) {
    for (DWORD type : {REG_NONE, REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ, REG_BINARY, REG_DWORD, REG_QWORD})
        EXPECT_EQ(ValueDisplayText(type, nullptr, 0), L"") << type;
    const BYTE one = 7;
    EXPECT_EQ(ValueDisplayText(REG_BINARY, &one, 0), L"");
}
