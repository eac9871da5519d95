// app/core/AppEnvironment.cpp
#include "core/AppEnvironment.h"
#include "core/Text.h"
#include <windows.h>
#include <vector>

AppEnvironmentRecord AppEnvironment;
AppSwitchesRecord AppSwitches;

std::wstring ProgramFolder() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        DWORD n = GetModuleFileNameW(nullptr, path.data(), (DWORD)path.size());
        if (n < path.size()) { path.resize(n); break; }
        path.resize(path.size() * 2);
    }
    return path.substr(0, path.find_last_of(L'\\') + 1);
}

void ReadProgramVersion() {
    int major = 2, minor = 0, rev = TORVANE_BUILD;
    std::wstring self(MAX_PATH, L'\0');
    self.resize(GetModuleFileNameW(nullptr, self.data(), MAX_PATH));
    DWORD dummy = 0, size = GetFileVersionInfoSizeW(self.c_str(), &dummy);
    std::vector<BYTE> data(size);
    VS_FIXEDFILEINFO* info = nullptr;
    UINT len = 0;
    if (size && GetFileVersionInfoW(self.c_str(), 0, size, data.data()) &&
        VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&info), &len) && info) {
        major = HIWORD(info->dwFileVersionMS);
        minor = LOWORD(info->dwFileVersionMS);
        rev = LOWORD(info->dwFileVersionLS);
    }
    AppEnvironment.AppVersion = std::to_wstring(major) + L"." + std::to_wstring(minor);
    AppEnvironment.Revision = rev;
    AppEnvironment.AppBuild = L"Build " + std::to_wstring(rev);
}
