/* tests/office/stubs/officestub.c: stands in for winword.exe and excel.exe in the Office window's
 * tests. Copied under the program's name; appends to the file named by TORVANE_STUB_LOG one line
 * when it begins and one when it ends (its own file name, the command line as it arrived), and
 * ends with the code given in TORVANE_STUB_EXIT (default 0). */
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>

static void Append(const wchar_t* log, const wchar_t* what, const wchar_t* self, const wchar_t* cmd) {
    wchar_t line[4096];
    _snwprintf(line, 4096, L"%ls %ls %ls\r\n", self, what, cmd);
    line[4095] = 0;
    char bytes[8192];
    int n = WideCharToMultiByte(CP_UTF8, 0, line, -1, bytes, sizeof bytes, NULL, NULL);
    if (n <= 1) return;
    /* Two stubs may write at once: each line goes in as one append. */
    HANDLE f = CreateFileW(log, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, NULL);
    if (f == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(f, bytes, (DWORD)(n - 1), &written, NULL);
    CloseHandle(f);
}

int wmain(void) {
    wchar_t log[MAX_PATH], code[32], path[MAX_PATH];
    const wchar_t* cmd = GetCommandLineW();
    GetModuleFileNameW(NULL, path, MAX_PATH);
    const wchar_t* self = wcsrchr(path, L'\\') ? wcsrchr(path, L'\\') + 1 : path;
    if (!GetEnvironmentVariableW(L"TORVANE_STUB_LOG", log, MAX_PATH)) return 3;
    Append(log, L"begin", self, cmd);
    /* Long enough that a second start without waiting would begin before this one ends. */
    Sleep(300);
    Append(log, L"end", self, cmd);
    return GetEnvironmentVariableW(L"TORVANE_STUB_EXIT", code, 32) ? _wtoi(code) : 0;
}
