// app/core/Console.h
#pragma once
#include <string>

// One of the process's standard handles as lines of text: a console gets the wide text as it is,
// a file or pipe UTF-8.
class ConsoleOutput {
public:
    explicit ConsoleOutput(unsigned long whichStdHandle);
    void Line(const std::wstring& text);

private:
    void* h_;
    bool console_ = false;
};

// One line to the process's stderr (nowhere when it has none, as a window program).
void StdErrLine(const std::wstring& text);
