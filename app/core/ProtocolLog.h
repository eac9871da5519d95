// app/core/ProtocolLog.h
#pragma once
#include "core/Trap.h"
#include <functional>
#include <string>

// The protocol log torvane.log in InstallDir: one ANSI line per entry.
namespace ProtocolLog {
std::wstring Path();  // InstallDir + "torvane.log"
std::wstring Stamp();  // date and time, as every line starts
std::wstring Line(const std::wstring& module, const std::wstring& procedure, const std::wstring& message, int number,
                  const std::wstring& description);
// Open, append, close: a log that cannot be written loses this line and nothing else.
void Append(const std::wstring& line);
void Write(const std::wstring& module, const std::wstring& procedure, const std::wstring& message, int number,
           const std::wstring& description);
// Writes an entry as its style asks: errors (critical, warning) always, information and questions
// only while logging is on, anything else never.
void Write(const ErrorEntry& entry);
}  // namespace ProtocolLog

// The sink of a program without windows: it logs every entry as the window program does and
// prints, through `print`, what the window program would have shown (error dialog or message
// box); entries nobody would see stay in the log only, so the console's output stays its own.
ErrorSink ConsoleErrorSink(std::function<void(const std::wstring&)> print);
// The printed line of an entry the user is to see.
std::wstring ConsoleErrorText(const ErrorEntry& entry);
