// app/core/modWaitForProcess.cpp
#include "core/modWaitForProcess.h"
#include "core/DoEvents.h"
#include "core/RuntimeError.h"
#include "core/Trap.h"
#include "core/UniqueHandle.h"
#include <windows.h>

namespace {
// The started program's process; its first thread is not needed.
UniqueKernelHandle Start(const std::wstring& commandLine) {
    STARTUPINFOW si{sizeof si};
    si.dwFlags = STARTF_USESHOWWINDOW;
    si.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION pi{};
    std::wstring cmd = commandLine;  // CreateProcessW may write into it
    if (!CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        RaiseWin32(GetLastError());
    UniqueKernelHandle{pi.hThread};
    return UniqueKernelHandle(pi.hProcess);
}
}  // namespace

void StartProgram(const std::wstring& commandLine) { Start(commandLine); }

bool ShelledApp(const std::wstring& commandLine, unsigned long& exitCode) {
    UniqueKernelHandle process = Start(commandLine);
    DWORD wait;
    while ((wait = WaitForSingleObject(process.get(), 10)) == WAIT_TIMEOUT) DoEvents();
    exitCode = 0;
    if (wait == WAIT_OBJECT_0) {
        GetExitCodeProcess(process.get(), &exitCode);
        HandleError(L"modWaitForProcess", L"ShelledApp", L"Die Anwendung wurde beendet", 0, L"",
            Style::Warning, false);
    }
    process.reset();
    DoEvents();
    return true;
}

bool ShelledApp(const std::wstring& commandLine) {
    unsigned long code = 0;
    return ShelledApp(commandLine, code);
}
