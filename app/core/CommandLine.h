// app/core/CommandLine.h
#pragma once
#include <functional>
#include <string>

// A command line as Windows starts it: the program part and the arguments after it.
struct SplitCommand {
    std::wstring programText;  // the program part as written (with its quotes when it had them)
    std::wstring program;      // the program's path without quotes
    std::wstring arguments;    // the rest, with the blanks that separated it from the program
    bool quoted = false;
};

// Splits a command line the way CreateProcess reads it. A quoted program ends at the closing
// quote. An unquoted one with blanks is tried piece by piece, "C:\Program" before
// "C:\Program Files\x.exe", each also with ".exe" appended when it names no extension; the first
// that exists is the program. When none exists, the program ends after the first ".exe", ".com",
// ".bat" or ".cmd" that is followed by a blank, else at the first blank.
// Blanks before the program are skipped. `exists` tells whether a file is there (default:
// FindProgramFile); the caller may pass its own test (both file-system views, say).
SplitCommand SplitCommandLine(const std::wstring& line,
                              const std::function<bool(const std::wstring&)>& exists = nullptr);

// The program part quoted for a command line when it holds a blank, followed by the arguments.
std::wstring JoinCommandLine(const std::wstring& program, const std::wstring& arguments);

// The existing file (not a folder) a program name stands for, as CreateProcess looks for it: the
// name as given or with ".exe" appended when it has no extension; a name without a folder is
// searched in the program's folder, the current folder, the system folders and PATH.
// "" when there is none.
std::wstring FindProgramFile(const std::wstring& program);

// "program" arguments, the program always quoted: the form in which a split line is started.
std::wstring QuotedCommandLine(const std::wstring& program, const std::wstring& arguments);

// The text with its %variables% replaced as the system does for REG_EXPAND_SZ data; the text
// itself when the system cannot expand it.
std::wstring ExpandedEnvironment(const std::wstring& text);
// An existing file, not a folder.
bool IsFile(const std::wstring& path);
