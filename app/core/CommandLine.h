// app/core/CommandLine.h
#pragma once
#include <functional>
#include <string>

// A command line split as CreateProcess reads it: the program file and the arguments after it.
struct CommandLineParts {
    std::wstring program;    // as the line names it, without quotes
    std::wstring arguments;  // everything after the program, leading blanks removed
};

// The existing file (not a folder) a program name stands for, as CreateProcess looks for it: the
// name as given or with ".exe" appended when it has no extension; a name without a folder is
// searched in the program's folder, the current folder, the system folders and PATH.
// "" when there is none.
std::wstring FindProgramFile(const std::wstring& program);

// Splits a command line as CreateProcess does. A quoted program runs to the closing quote. An
// unquoted one is tried at each blank, left to right, as the end of the program: the first text
// that names an existing file (`exists`, FindProgramFile by default) is the program, so
// C:\Program Files\App\un.exe /S works without quotes. When no candidate exists, the first one
// ending in .exe, .com, .bat or .cmd is taken, else the text up to the first blank.
CommandLineParts SplitCommandLine(const std::wstring& line,
                                  const std::function<bool(const std::wstring&)>& exists = {});

// "program" arguments: the form in which a split line is handed to CreateProcess.
std::wstring QuotedCommandLine(const std::wstring& program, const std::wstring& arguments);
