// tests/support/Wait.h
#pragma once
#include <windows.h>
#include <functional>
#include <string>

// Waiting for a condition, never for a time: every machine has 2 cores and may be slow.

// Polls `condition` until it holds or `timeoutMs` passed, handling this thread's messages in
// between (our windows paint, run timers and answer posted messages). Returns whether it held.
bool WaitFor(const std::function<bool()>& condition, DWORD timeoutMs = 30000);

// Handles every message already waiting in this thread's queue (posted messages, paints) and returns.
void PumpPending();

// The visible top-level window of this class that belongs to the process; nullptr when there is none.
HWND VisibleWindowOf(DWORD processId, const wchar_t* windowClass);

// Runs a command line without a window and waits for it to end; its exit code, or 0xFFFFFFFF when
// it could not be started or did not end within `timeoutMs`.
DWORD RunAndWait(std::wstring commandLine, DWORD timeoutMs = 120000);

// The folder of the running test program ("...\\bin\\"), where the build lays the programs, stubs
// and characters the tests use.
std::wstring BinFolder();

// Runs torvane-scan.exe (built beside the tests) with these arguments, its standard output and error
// in the two files; its exit code.
DWORD RunConsoleTool(const std::wstring& args, const std::wstring& out, const std::wstring& err);

// Returns once the clock shows another second than at the call (file names carry the second).
void WaitForNextSecond();
