// tests/core/CommandLine_test.cpp
#include "core/CommandLine.h"
#include "support/Sandbox.h"
#include <gtest/gtest.h>

namespace {
void ExpectSplit(const std::wstring& line, const std::wstring& program, const std::wstring& arguments) {
    const CommandLineParts p = SplitCommandLine(line);
    EXPECT_EQ(p.program, program) << "line: " << testing::PrintToString(line);
    EXPECT_EQ(p.arguments, arguments) << "line: " << testing::PrintToString(line);
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
    const CommandLineParts p = SplitCommandLine(L"C:\\A B\\c d.exe e", [](const std::wstring& c) {
        return c == L"C:\\A B\\c";
    });
    EXPECT_EQ(p.program, L"C:\\A B\\c");
    EXPECT_EQ(p.arguments, L"d.exe e");

    EXPECT_EQ(QuotedCommandLine(app, L"/S"), L"\"" + app + L"\" /S");
    EXPECT_EQ(QuotedCommandLine(app, L""), L"\"" + app + L"\"");
}
