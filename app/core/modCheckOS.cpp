// app/core/modCheckOS.cpp
#include "core/modCheckOS.h"
#include "core/AppEnvironment.h"
#include "core/Trap.h"
#include <windows.h>

OSVersionInfo QueryOSVersion() {
    OSVersionInfo v;
    RTL_OSVERSIONINFOW info{sizeof info};
    using Fn = LONG(WINAPI*)(RTL_OSVERSIONINFOW*);
    auto rtlGetVersion = reinterpret_cast<Fn>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "RtlGetVersion"));
    if (rtlGetVersion && rtlGetVersion(&info) == 0) {
        v.platformId = info.dwPlatformId;
        v.major = info.dwMajorVersion;
        v.minor = info.dwMinorVersion;
        v.build = info.dwBuildNumber;
    }
    return v;
}

OSNaming NameOS(const OSVersionInfo& v) {
    const std::wstring regedit4 = L"REGEDIT4\r\n\r\n", regedit5 = L"Windows Registry Editor Version 5.00\r\n\r\n";
    OSNaming n{L"Unbekanntes Betriebssystem", std::to_wstring(static_cast<int16_t>(v.build & 0xFFFF)), regedit4};
    if (v.platformId == 2) {
        if (v.major == 4) n.name = L"Windows NT4";
        else if (v.major == 5 && v.minor == 0) n.name = L"Windows 2000";
        else if (v.major == 5 && v.minor == 1) n.name = L"Windows XP";
        else if (v.major == 5 && v.minor == 2) n.name = L"Windows XP";  // x64 edition and Server 2003
        else if (v.major == 6 && v.minor == 0) n.name = L"Windows Vista";
        else if (v.major == 6 && v.minor == 1) n.name = L"Windows 7";
        else if (v.major == 6 && v.minor == 2) n.name = L"Windows 8";
        else if (v.major == 6 && v.minor == 3) n.name = L"Windows 8.1";
        else if (v.major == 10 && v.minor == 0) n.name = v.build >= 22000 ? L"Windows 11" : L"Windows 10";
        if (n.name != L"Unbekanntes Betriebssystem" && n.name != L"Windows NT4") n.undoHeader = regedit5;
        // Builds above 32767 would turn negative in 16 bits; show them as they are.
        n.build = std::to_wstring(v.build);
    } else if (v.platformId == 1) {
        const int16_t build = static_cast<int16_t>(v.build & 0xFFFF);
        if (v.major > 4 || (v.major == 4 && v.minor == 10)) n.name = build == 1998 ? L"Windows 98" : L"Windows 98 SE";
        else if (v.major == 4 && v.minor == 0) n.name = L"Windows 95";
        else if (v.major == 4 && v.minor == 90) n.name = L"Windows ME";
    } else if (v.platformId == 0) {
        n.name = L"Windows 32s";
    }
    return n;
}

void OS() {
    Trap(L"modMain", L"OS", [] {
        OSNaming n = NameOS(QueryOSVersion());
        AppEnvironment.OSName = n.name;
        AppEnvironment.OSBuild = n.build;
        AppEnvironment.UndoFileHeader = n.undoHeader;
    });
}

bool IsNTFamily() {
    const std::wstring& n = AppEnvironment.OSName;
    return n == L"Windows 2000" || n == L"Windows NT4" || n == L"Windows XP" || n == L"Windows Vista" ||
           n == L"Windows 7" || n == L"Windows 8" || n == L"Windows 8.1" || n == L"Windows 10" || n == L"Windows 11";
}
