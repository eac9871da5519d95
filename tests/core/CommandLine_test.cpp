// tests/core/CommandLine_test.cpp
#include "core/CommandLine.h"
#include "support/Sandbox.h"
#include <gtest/gtest.h>
#include <set>

namespace {
// A file system that holds exactly these files.
auto Holding(std::set<std::wstring> files) {
    return [files](const std::wstring& p) { return files.count(p) > 0; };
}
}  // namespace

TEST(SplitCommandLine, QuotedProgramKeepsItsQuotesAndTheBlankBeforeTheArguments) {
    SplitCommand s = SplitCommandLine(L"\"C:\\Program Files\\x.exe\" /min", Holding({}));
    EXPECT_TRUE(s.quoted);
    EXPECT_EQ(s.programText, L"\"C:\\Program Files\\x.exe\"");
    EXPECT_EQ(s.program, L"C:\\Program Files\\x.exe");
    EXPECT_EQ(s.arguments, L" /min");
    // No ".exe" inside the quotes, nothing after them, or no closing quote: never cut garbage.
    s = SplitCommandLine(L"\"C:\\Tools\\run\" -a \"b c\"", Holding({}));
    EXPECT_EQ(s.program, L"C:\\Tools\\run");
    EXPECT_EQ(s.arguments, L" -a \"b c\"");
    s = SplitCommandLine(L"\"C:\\a b\\x.exe\"", Holding({}));
    EXPECT_EQ(s.program, L"C:\\a b\\x.exe");
    EXPECT_EQ(s.arguments, L"");
    s = SplitCommandLine(L"\"C:\\a b\\x.exe /q", Holding({}));
    EXPECT_EQ(s.program, L"C:\\a b\\x.exe /q");
    EXPECT_EQ(s.arguments, L"");
    s = SplitCommandLine(L"\"\"", Holding({}));
    EXPECT_EQ(s.program, L"");
    s = SplitCommandLine(L"", Holding({}));
    EXPECT_EQ(s.program, L"");
    EXPECT_EQ(s.arguments, L"");
}

TEST(SplitCommandLine, UnquotedBlanksAreResolvedAsCreateProcessDoes) {
    // The shortest piece that exists wins, with ".exe" tried too.
    const std::wstring line = L"C:\\Program Files\\My App\\app.exe -x";
    SplitCommand s = SplitCommandLine(line, Holding({L"C:\\Program Files\\My App\\app.exe"}));
    EXPECT_EQ(s.program, L"C:\\Program Files\\My App\\app.exe");
    EXPECT_EQ(s.arguments, L" -x");
    s = SplitCommandLine(line, Holding({L"C:\\Program.exe", L"C:\\Program Files\\My App\\app.exe"}));
    EXPECT_EQ(s.program, L"C:\\Program");
    EXPECT_EQ(s.arguments, L" Files\\My App\\app.exe -x");
    s = SplitCommandLine(L"C:\\Tools\\run /a", Holding({L"C:\\Tools\\run.exe"}));
    EXPECT_EQ(s.program, L"C:\\Tools\\run");
    EXPECT_EQ(s.arguments, L" /a");
    // Nothing exists: the end of the first program extension, in any case, then the first blank.
    s = SplitCommandLine(line, Holding({}));
    EXPECT_EQ(s.program, L"C:\\Program Files\\My App\\app.exe");
    EXPECT_EQ(s.arguments, L" -x");
    s = SplitCommandLine(L"C:\\X\\SETUP.EXE /Q", Holding({}));
    EXPECT_EQ(s.program, L"C:\\X\\SETUP.EXE");
    EXPECT_EQ(s.arguments, L" /Q");
    s = SplitCommandLine(L"C:\\x.exe.bak\\y.cmd", Holding({}));
    EXPECT_EQ(s.program, L"C:\\x.exe.bak\\y.cmd");
    s = SplitCommandLine(L"rundll32 shell32.dll,Control_RunDLL", Holding({}));
    EXPECT_EQ(s.program, L"rundll32");
    EXPECT_EQ(s.arguments, L" shell32.dll,Control_RunDLL");
    s = SplitCommandLine(L"C:\\x.exe", Holding({}));
    EXPECT_EQ(s.program, L"C:\\x.exe");
    EXPECT_EQ(s.arguments, L"");
    EXPECT_FALSE(s.quoted);
}

TEST(SplitCommandLine, RealFilesAndJoining) {
    TempFolder dir;
    const std::wstring exe = dir.Write(L"Mein Programm\\tool.exe");
    SplitCommand s = SplitCommandLine(exe + L" --x");
    EXPECT_EQ(s.program, exe);
    EXPECT_EQ(s.arguments, L" --x");
    EXPECT_EQ(JoinCommandLine(exe, L"--x"), L"\"" + exe + L"\" --x");
    EXPECT_EQ(JoinCommandLine(L"C:\\a.exe", L" -x"), L"C:\\a.exe -x");
    EXPECT_EQ(JoinCommandLine(L"\"C:\\a b.exe\"", L""), L"\"C:\\a b.exe\"");
    EXPECT_EQ(JoinCommandLine(L"", L""), L"");
}
