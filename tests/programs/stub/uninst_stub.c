/* tests/programs/stub/uninst_stub.c: an uninstaller for the tests. It writes what it was started
   with to a file beside itself (its own path + ".args", UTF-8): the command line as it arrived,
   then each argument on a line of its own. */
#include <windows.h>

static void put(HANDLE f, const wchar_t* text) {
    char buf[8192];
    int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, buf, sizeof buf, NULL, NULL);
    DWORD written;
    if (n > 1) WriteFile(f, buf, (DWORD)(n - 1), &written, NULL);
    WriteFile(f, "\r\n", 2, &written, NULL);
}

int wmain(int argc, wchar_t** argv) {
    wchar_t path[MAX_PATH + 8];
    DWORD n = GetModuleFileNameW(NULL, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return 2;
    lstrcatW(path, L".args");
    /* Written under another name first: a reader never sees half a file. */
    wchar_t part[MAX_PATH + 16];
    lstrcpyW(part, path);
    lstrcatW(part, L".part");
    HANDLE f = CreateFileW(part, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (f == INVALID_HANDLE_VALUE) return 3;
    put(f, GetCommandLineW());
    for (int i = 1; i < argc; ++i) put(f, argv[i]);
    CloseHandle(f);
    return MoveFileExW(part, path, MOVEFILE_REPLACE_EXISTING) ? 0 : 4;
}
