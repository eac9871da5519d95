// tests/support/Wait.cpp
#include "support/Wait.h"
#include <algorithm>

void PumpPending() {
    MSG m;
    while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&m);
        DispatchMessageW(&m);
    }
}

bool WaitFor(const std::function<bool()>& condition, DWORD timeoutMs) {
    const ULONGLONG until = GetTickCount64() + timeoutMs;
    for (;;) {
        PumpPending();
        if (condition()) return true;
        const ULONGLONG now = GetTickCount64();
        if (now >= until) return false;
        // Wakes at once for a new message, else polls again (the condition may be another process's).
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(std::min<ULONGLONG>(until - now, 20)),
                                  QS_ALLINPUT);
    }
}

HWND VisibleWindowOf(DWORD processId, const wchar_t* windowClass) {
    HWND w = nullptr;
    while ((w = FindWindowExW(nullptr, w, windowClass, nullptr))) {
        DWORD owner = 0;
        GetWindowThreadProcessId(w, &owner);
        if (owner == processId && IsWindowVisible(w)) return w;
    }
    return nullptr;
}

void WaitForNextSecond() {
    SYSTEMTIME start;
    GetLocalTime(&start);
    for (;;) {
        SYSTEMTIME now;
        GetLocalTime(&now);
        if (now.wSecond != start.wSecond || now.wMinute != start.wMinute || now.wHour != start.wHour) return;
        Sleep(1000 - now.wMilliseconds + 1);
    }
}

DWORD RunAndWait(std::wstring commandLine, DWORD timeoutMs) {
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &si,
                        &pi))
        return 0xFFFFFFFF;
    DWORD code = 0xFFFFFFFF;
    if (WaitForSingleObject(pi.hProcess, timeoutMs) == WAIT_OBJECT_0) GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return code;
}

std::wstring BinFolder() {
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    const std::wstring exe = self;
    return exe.substr(0, exe.find_last_of(L'\\') + 1);
}

DWORD RunConsoleTool(const std::wstring& args, const std::wstring& out, const std::wstring& err) {
    const std::wstring exe = BinFolder() + L"torvane-scan.exe";
    return RunAndWait(L"cmd.exe /c \"\"" + exe + L"\" " + args + L" > \"" + out + L"\" 2> \"" + err + L"\"\"");
}
