// tests/core/Services_test.cpp
#include "core/AppEnvironment.h"
#include "main/ClassHandler.h"
#include "core/Text.h"
#include "core/clsSort.h"
#include "core/modCheckOS.h"
#include "main/modMain.h"
#include "core/RuntimeError.h"
#include "core/Trap.h"
#include "support/Sandbox.h"
#include <gtest/gtest.h>
#include <algorithm>

using List = std::vector<std::wstring>;

TEST(Sortiere, DescendingKeepsFirstElementAndAscendingSortsAll) {
    clsSort& s = ClassHandler().Sort();
    List a{L"", L"a", L"b"};
    EXPECT_EQ(s.Sortiere(a, 1), (List{L"", L"b", L"a"}));
    List b{L"a", L"b", L"c"};
    EXPECT_EQ(s.Sortiere(b, 1), (List{L"a", L"c", L"b"}));
    List c{L"c", L"a", L"b"};
    EXPECT_EQ(s.Sortiere(c, 0), (List{L"a", L"b", L"c"}));
    // Binary comparison: capitals first; any direction other than 1 is ascending.
    List d{L"a", L"A", L"b", L"B"};
    EXPECT_EQ(s.Sortiere(d, 7), (List{L"A", L"B", L"a", L"b"}));
    List one{L"x"}, none;
    EXPECT_EQ(s.Sortiere(one, 1), List{L"x"});
    EXPECT_TRUE(s.Sortiere(none, 0).empty());
}

TEST(Sortiere, DescendingPutsChildPathsBeforeTheirParents) {
    List paths{L"", L"C:\\t\\a", L"C:\\t\\a\\x.txt", L"C:\\t\\b.txt", L"C:\\t\\a\\sub", L"C:\\t\\a\\sub\\y"};
    ClassHandler().Sort().Sortiere(paths, 1);
    auto pos = [&](const std::wstring& p) { return std::find(paths.begin(), paths.end(), p) - paths.begin(); };
    EXPECT_LT(pos(L"C:\\t\\a\\sub\\y"), pos(L"C:\\t\\a\\sub"));
    EXPECT_LT(pos(L"C:\\t\\a\\sub"), pos(L"C:\\t\\a"));
    EXPECT_LT(pos(L"C:\\t\\a\\x.txt"), pos(L"C:\\t\\a"));
    EXPECT_EQ(paths[0], L"");
}

TEST(OperatingSystem, NamesHeadersAndFamily) {
    struct Case { uint32_t platform, major, minor, build; const wchar_t* name; bool v5; };
    const Case cases[] = {
        {2, 4, 0, 1381, L"Windows NT4", false},       {2, 5, 0, 2195, L"Windows 2000", true},
        {2, 5, 1, 2600, L"Windows XP", true},         {2, 6, 0, 6002, L"Windows Vista", true},
        {2, 6, 1, 7601, L"Windows 7", true},          {2, 6, 2, 9200, L"Windows 8", true},
        {2, 6, 3, 9600, L"Windows 8.1", true},        {2, 10, 0, 19045, L"Windows 10", true},
        {2, 10, 0, 22000, L"Windows 11", true},       {2, 10, 0, 26100, L"Windows 11", true},
        {2, 11, 0, 1, L"Unbekanntes Betriebssystem", false},
        {1, 4, 0, 950, L"Windows 95", false},         {1, 4, 10, 1998, L"Windows 98", false},
        {1, 4, 10, 2222, L"Windows 98 SE", false},    {1, 4, 90, 3000, L"Windows ME", false},
        {0, 1, 0, 0, L"Windows 32s", false},
    };
    for (const Case& c : cases) {
        OSNaming n = NameOS({c.platform, c.major, c.minor, c.build});
        EXPECT_EQ(n.name, c.name) << c.major << "." << c.minor << " build " << c.build;
        EXPECT_EQ(n.undoHeader, c.v5 ? L"Windows Registry Editor Version 5.00\r\n\r\n" : L"REGEDIT4\r\n\r\n") << n.name;
        AppEnvironment.OSName = n.name;
        EXPECT_EQ(IsNTFamily(), c.platform == 2 && n.name != L"Unbekanntes Betriebssystem") << n.name;
    }
    EXPECT_EQ(NameOS({2, 10, 0, 22631}).build, L"22631");
    EXPECT_EQ(NameOS({1, 4, 10, 0x040A07CE}).build, L"1998");
}

TEST(OperatingSystem, TheRunningSystemIsRecognised) {
    // Wine reports a current Windows version; it must not be "unknown" or outside the NT family.
    OS();
    EXPECT_NE(AppEnvironment.OSName, L"Unbekanntes Betriebssystem");
    EXPECT_TRUE(IsNTFamily());
    EXPECT_EQ(AppEnvironment.UndoFileHeader, L"Windows Registry Editor Version 5.00\r\n\r\n");
}

TEST(Text, ConversionsAndCommandLine) {
    EXPECT_EQ(WithBackslash(L"C:\\Torvane"), L"C:\\Torvane\\");
    EXPECT_EQ(WithBackslash(L"C:\\Torvane\\"), L"C:\\Torvane\\");
    EXPECT_EQ(ToInt16(L" 12 "), 12);
    EXPECT_EQ(ToInt16(L"-32768"), -32768);
    EXPECT_THROW(ToInt16(L"32768"), RuntimeError);
    EXPECT_THROW(ToInt16(L"abc"), RuntimeError);
    EXPECT_THROW(ToInt16(L""), RuntimeError);
    EXPECT_TRUE(IsTempFilesMode(L"/d"));
    EXPECT_TRUE(IsTempFilesMode(L"/D"));
    EXPECT_FALSE(IsTempFilesMode(L"/d "));
    EXPECT_FALSE(IsTempFilesMode(L"/d /x"));
    EXPECT_FALSE(IsTempFilesMode(L""));
    EXPECT_EQ(FromUtf8(ToUtf8(L"Rückgängig ключ 鍵")), L"Rückgängig ключ 鍵");
}

TEST(EnvironmentReaders, FoldersEndWithOneBackslash) {
    for (const std::wstring& dir : {ReadWinDir(), ReadSysDir(), ReadTmpDir()}) {
        ASSERT_GE(dir.size(), 4u);
        EXPECT_EQ(dir.back(), L'\\');
        EXPECT_NE(dir[dir.size() - 2], L'\\');
    }
    EXPECT_FALSE(ReadComputerName().empty());
    EXPECT_FALSE(ReadUserName().empty());
}

TEST(Trap, AFailedStepsMessageTellsWhatTheStepHadReached) {
    RegistrySandbox sandbox;
    TempFolder folder;
    PrepareEnvironment(folder.Path());
    int reached = 0;
    auto message = [&] { return L"erreicht=" + std::to_wstring(reached); };
    EXPECT_FALSE(Trap(L"modX", L"Failing", [&] { reached = 7; Raise(Err::FileNotFound); }, Style::Warning, false, message));
    EXPECT_TRUE(Trap(L"modX", L"Passing", [&] { reached = 8; }, Style::Warning, false, message));
    const std::string log = ReadBytes(folder.Path() + L"torvane.log");
    EXPECT_NE(log.find("; modX; Failing; erreicht=7; 53; "), std::string::npos) << log;
    EXPECT_EQ(log.find("Passing"), std::string::npos) << log;
}
