// app/core/modCheckOS.h
#pragma once
#include <cstdint>
#include <string>

// What the platform reports about itself.
struct OSVersionInfo {
    uint32_t platformId = 2;  // 0 Win32s, 1 Windows 9x, 2 NT
    uint32_t major = 0, minor = 0, build = 0;
};

// The real version of the running system (RtlGetVersion: no compatibility answer).
OSVersionInfo QueryOSVersion();
// Names the system and picks the undo-file header for a version record.
struct OSNaming {
    std::wstring name, build, undoHeader;
};
OSNaming NameOS(const OSVersionInfo& v);

// Sets OSName, OSBuild and the undo-file header in AppEnvironment.
void OS();
bool IsNTFamily();
