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
namespace {
void ExpectSplit(const std::wstring& line, const std::wstring& program, const std::wstring& arguments) {
    const SplitCommand p = SplitCommandLine(line);
    const std::wstring arguments_ = p.arguments.substr(std::min(p.arguments.find_first_not_of(L" \t"), p.arguments.size()));
    EXPECT_EQ(p.program, program) << "line: " << testing::PrintToString(line);
    EXPECT_EQ(arguments_, arguments) << "line: " << testing::PrintToString(line);
}
}  // namespace

TEST(CommandLine, SplitsLikeCreateProcessTryingEachBlankOfAnUnquotedPath) {
    TempFolder t;
    const std::wstring app = t.Write(L"Mein Programm\\Un Install.exe");
    const std::wstring plain = t.Write(L"Mein Programm\\setup.exe");
    const std::wstring noExt = t.Write(L"Mein Programm\\tool.exe");
    t.Write(L"Mein Programm\\Sub Dir\\x.dat");

    // Quoted: to the closing quote, blanks after it skipped; an unclosed quote takes the rest.
    ExpectSplit(L"  \"" + app + L"\"   /S /D=\"C:\\x y\"", app, L"/S /D=\"C:\\x y\"");
    ExpectSplit(L"\"" + app + L"\"", app, L"");
    ExpectSplit(L"\"" + app, app, L"");
    // Unquoted with blanks in the path: the first prefix that is an existing file wins; a folder
    // of the same name ("...\Mein Programm") is no program.
    ExpectSplit(app + L" /uninstall  /quiet", app, L"/uninstall  /quiet");
    ExpectSplit(app, app, L"");
    ExpectSplit(app + L"\t-x", app, L"-x");
    ExpectSplit(plain + L" a b", plain, L"a b");
    // Without extension, ".exe" is tried as CreateProcess does.
    const std::wstring bare = noExt.substr(0, noExt.size() - 4);
    ExpectSplit(bare + L" --remove", bare, L"--remove");
    EXPECT_EQ(FindProgramFile(bare), noExt);
    // A bare name is searched like CreateProcess searches it (system folder, PATH).
    ExpectSplit(L"notepad.exe /p x.txt", L"notepad.exe", L"/p x.txt");
    EXPECT_FALSE(FindProgramFile(L"notepad").empty());
    EXPECT_TRUE(FindProgramFile(t.Path() + L"Mein Programm").empty());  // a folder
    EXPECT_TRUE(FindProgramFile(L"").empty());

    // Nothing exists: the first candidate that names a program file, else the first word.
    const std::wstring gone = t.Path() + L"Weg Damit\\Un Inst.exe";
    ExpectSplit(gone + L" /S /x", gone, L"/S /x");
    ExpectSplit(L"C:\\Nicht Da\\prog -a", L"C:\\Nicht", L"Da\\prog -a");
    ExpectSplit(L"   ", L"", L"");
    ExpectSplit(L"", L"", L"");

    // The test can be the caller's own (both file-system views, say).
    const SplitCommand p = SplitCommandLine(L"C:\\A B\\c d.exe e", [](const std::wstring& c) {
        return c == L"C:\\A B\\c";
    });
    EXPECT_EQ(p.program, L"C:\\A B\\c");
    EXPECT_EQ(p.arguments, L" d.exe e");

    EXPECT_EQ(QuotedCommandLine(app, L"/S"), L"\"" + app + L"\" /S");
    EXPECT_EQ(QuotedCommandLine(app, L""), L"\"" + app + L"\"");
}
