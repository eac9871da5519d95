// app/core/AppEnvironment.h
#pragma once
#include <cstdint>
#include <string>

// Values fixed once at start-up and read everywhere. Every folder ends with "\".
struct AppEnvironmentRecord {
    std::wstring AppTitle = L"Torvane";
    std::wstring AppVersion;       // "2.0"
    std::wstring AppBuild;         // "Build 12"
    int Revision = 0;              // last part of the file version
    std::wstring InstallDir, BackupDir;
    std::wstring ComputerName, UserName;
    std::wstring WinDir, AgentDir, AgentCharsDir, SysDir, TmpDir, RecentDir, ProgramFilesDir;
    // Where a 32-bit program finds "system32" and "Program Files" on 64-bit Windows ("" elsewhere).
    std::wstring SysWow64Dir, ProgramFilesX86Dir;
    std::wstring OSName, OSServicePack, OSBuild;
    std::wstring UndoFileHeader = L"REGEDIT4\r\n\r\n";  // set by OS()
};

// The settings of "Optionen" and "Screen" (InstallDir goes to AppEnvironment).
struct AppSwitchesRecord {
    int16_t AgentLoad = 0;
    std::wstring AgentType, AgentFile;
    int16_t FirstRun = 0;   // "1stRun"
    int16_t AutoClose = 0, AutoEntfernen = 0, AutoFileDelAfterReentry = 0, AutoRegFileDel = 0, AutoScan = 0;
    int16_t DelAfterDays = 0;
    std::wstring EMail;
    int16_t Form_Height = 0, Form_Width = 0;
    int16_t Protokoll = 0, Proxy = 0;
    std::wstring ProxyAdresse;
    int ProxyPort = 0;  // 0-65535: a port does not fit the 16-bit settings
    int16_t RebootAfterDelete = 0, RebootAfterEntry = 0;
    int16_t ScreenSave = 0, ScreenX = 0, ScreenY = 0;
    int16_t Recycler = 0, Loeschsicherheit = 0, RecyclerSecurity = 0, RecyclerAutoClean = 0;
};

extern AppEnvironmentRecord AppEnvironment;
extern AppSwitchesRecord AppSwitches;

// True while the setting "Protokoll" is 1: trace entries of style 64 and 32 are written.
inline bool Logging() { return AppSwitches.Protokoll == 1; }

// File version of the running program: fills AppVersion, AppBuild and Revision.
void ReadProgramVersion();
// Folder of the running program file, with trailing backslash.
std::wstring ProgramFolder();
