// app/core/modReboot.cpp
#include "core/modReboot.h"
#include "core/modCheckOS.h"
#include "core/UniqueHandle.h"
#include <windows.h>

bool RebootSystem() {
    if (QueryOSVersion().platformId == VER_PLATFORM_WIN32_NT) {
        UniqueKernelHandle token;
        if (OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, token.put())) {
            TOKEN_PRIVILEGES tp{};
            tp.PrivilegeCount = 1;
            if (LookupPrivilegeValueW(nullptr, L"SeShutdownPrivilege", &tp.Privileges[0].Luid)) {
                tp.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
                AdjustTokenPrivileges(token.get(), FALSE, &tp, 0, nullptr, nullptr);
            }
        }
    }
    // EWX_FORCEIFHUNG instead of EWX_FORCE: programs with unsaved work get to ask.
    return ExitWindowsEx(EWX_REBOOT | EWX_FORCEIFHUNG, SHTDN_REASON_MAJOR_APPLICATION | SHTDN_REASON_FLAG_PLANNED) != 0;
}
