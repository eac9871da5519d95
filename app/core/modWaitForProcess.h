// app/core/modWaitForProcess.h
#pragma once
#include <string>

// Runs a command line in a normal window and waits for its end, processing window events
// meanwhile. Returns true when the program has ended. A command line that cannot be started
// raises the platform's error to the caller.
bool ShelledApp(const std::wstring& commandLine);
// Same wait, also handing back the exit code.
bool ShelledApp(const std::wstring& commandLine, unsigned long& exitCode);
// Starts a command line in a normal window without waiting. Raises when it cannot be started.
void StartProgram(const std::wstring& commandLine);
