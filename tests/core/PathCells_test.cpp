// tests/core/PathCells_test.cpp
#include "core/win/PathCells.h"
#include <gtest/gtest.h>

namespace {
// Every character 1 wide: widths are lengths.
int Length(std::wstring_view s) { return static_cast<int>(s.size()); }
const std::wstring kServer =
    L"[HKEY_LOCAL_MACHINE\\Software\\Classes\\CLSID\\{7E000001-0000-0000-0000-000000000000}\\InprocServer32]";
}  // namespace

// The end that tells one path from another stays; the root goes short first, then the middle.
TEST(FitPath, KeepsTheDistinguishingEnd) {
    EXPECT_EQ(FitPath(kServer, 200, Length), kServer);  // fits: as it stands
    const std::wstring shortRoot = L"[HKLM\\Software\\Classes\\CLSID\\{7E000001-0000-0000-0000-000000000000}\\InprocServer32]";
    EXPECT_EQ(FitPath(kServer, static_cast<int>(shortRoot.size()), Length), shortRoot);
    EXPECT_EQ(FitPath(kServer, 75, Length), L"[HKLM\\\u2026\\CLSID\\{7E000001-0000-0000-0000-000000000000}\\InprocServer32]");
    EXPECT_EQ(FitPath(kServer, 62, Length), L"[HKLM\\\u2026\\{7E000001-0000-0000-0000-000000000000}\\InprocServer32]");
    EXPECT_EQ(FitPath(kServer, 40, Length), L"[HKLM\\\u2026\\{7E000001-\u2026}\\InprocServer32]");
    EXPECT_EQ(FitPath(kServer, 30, Length), L"\u2026\\{7E000001-\u2026}\\InprocServer32]");
    EXPECT_EQ(FitPath(kServer, 17, Length), L"\u2026\\InprocServer32]");
    EXPECT_EQ(FitPath(kServer, 8, Length), L"\u2026rver32]");
    EXPECT_EQ(FitPath(kServer, 0, Length), L"\u2026");
    // A class's own key: its number shortened, the end still in sight.
    const std::wstring cls = L"[HKEY_CURRENT_USER\\Software\\Classes\\CLSID\\{D4D4D4D4-0000-0000-0000-000000000000}]";
    EXPECT_EQ(FitPath(cls, 22, Length), L"[HKCU\\\u2026\\{D4D4D4D4-\u2026}]");
    EXPECT_EQ(FitPath(cls, 15, Length), L"\u2026\\{D4D4D4D4-\u2026}]");
    // Files, and a root that only starts like one.
    EXPECT_EQ(FitPath(L"C:\\Program Files\\Gone\\gone.dll", 20, Length), L"C:\\\u2026\\Gone\\gone.dll");
    EXPECT_EQ(FitPath(L"HKEY_CURRENT_USERS\\x\\y", 12, Length), L"\u2026\\x\\y");
    // Every result fits, whatever the width.
    for (int w = 0; w < 120; ++w) EXPECT_LE(Length(FitPath(kServer, w, Length)), std::max(w, 1)) << w;
}
