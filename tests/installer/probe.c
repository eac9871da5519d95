/* tests/installer/probe.c: small window remote for the install check, run under Wine beside the program.
 *   probe wait CLASS SECONDS          waits for a top-level window of CLASS, prints its title
 *   probe command CLASS ID            posts WM_COMMAND ID to it
 *   probe close CLASS                 posts WM_CLOSE to it
 *   probe gone CLASS SECONDS          waits until no window of CLASS is left
 *   probe create PROGID               creates the in-process object PROGID names, prints its CLSID
 *   probe run "COMMAND LINE"          runs a command line exactly as given (NSIS wants /D= and _?=
 *                                     unquoted), waits and exits with its exit code
 * Exit code 0 on success, 1 when the window did not (dis)appear in time, 2 on bad arguments. */
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <wchar.h>
#include <objbase.h>

static HWND find_window(const wchar_t* cls) { return FindWindowW(cls, NULL); }

static HWND wait_window(const wchar_t* cls, int seconds) {
    for (int i = 0; i < seconds * 10; ++i) {
        HWND h = find_window(cls);
        if (h && IsWindowVisible(h)) return h;
        Sleep(100);
    }
    return NULL;
}

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) return 2;
    const wchar_t* verb = argv[1];
    const wchar_t* cls = argv[2];
    if (!wcscmp(verb, L"wait") && argc == 4) {
        HWND h = wait_window(cls, _wtoi(argv[3]));
        if (!h) return 1;
        wchar_t title[256] = L"";
        GetWindowTextW(h, title, 256);
        char utf8[1024];
        WideCharToMultiByte(CP_UTF8, 0, title, -1, utf8, sizeof utf8, NULL, NULL);
        printf("%s\n", utf8);
        return 0;
    }
    if (!wcscmp(verb, L"command") && argc == 4) {
        HWND h = find_window(cls);
        return h && PostMessageW(h, WM_COMMAND, MAKEWPARAM(_wtoi(argv[3]), 0), 0) ? 0 : 1;
    }
    if (!wcscmp(verb, L"close") && argc == 3) {
        HWND h = find_window(cls);
        return h && PostMessageW(h, WM_CLOSE, 0, 0) ? 0 : 1;
    }
    if (!wcscmp(verb, L"gone") && argc == 4) {
        for (int i = 0; i < _wtoi(argv[3]) * 10; ++i) {
            if (!find_window(cls)) return 0;
            Sleep(100);
        }
        return 1;
    }
    if (!wcscmp(verb, L"run") && argc == 3) {
        STARTUPINFOW si = {sizeof si};
        PROCESS_INFORMATION pi;
        wchar_t* line = _wcsdup(argv[2]);
        if (!CreateProcessW(NULL, line, NULL, NULL, FALSE, 0, NULL, NULL, &si, &pi)) return 2;
        WaitForSingleObject(pi.hProcess, INFINITE);
        DWORD code = 2;
        GetExitCodeProcess(pi.hProcess, &code);
        printf("%lu\n", code);
        return (int)code;
    }
    if (!wcscmp(verb, L"create") && argc == 3) {
        CoInitializeEx(NULL, COINIT_APARTMENTTHREADED);
        CLSID clsid;
        IUnknown* obj = NULL;
        if (FAILED(CLSIDFromProgID(cls, &clsid))) return 1;
        if (FAILED(CoCreateInstance(&clsid, NULL, CLSCTX_INPROC_SERVER, &IID_IUnknown, (void**)&obj))) return 1;
        obj->lpVtbl->Release(obj);
        wchar_t text[64];
        StringFromGUID2(&clsid, text, 64);
        printf("%ls\n", text);
        CoUninitialize();
        return 0;
    }
    return 2;
}
