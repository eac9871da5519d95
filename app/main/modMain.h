// app/main/modMain.h
#pragma once
#include "core/Trap.h"
#include "components/clsLibRegister.h"
#include <string>
#include <vector>

// Start-up: fills AppEnvironment and AppSwitches, writes the start entry, and either runs the
// temporary-files mode ("/d") or shows the main window. Returns true when the main window is open
// and the message loop should run.
bool Main(const std::wstring& commandLine);
// The start-up preparation shared by the program and the console scan: AppEnvironment and
// AppSwitches filled, the operating system detected, the backup folder created when missing.
// `writeStartEntry`: the protocol log gets the program's start entry.
void PrepareAppEnvironment(bool writeStartEntry);
// The window program's error sink: logs through clsError and shows the error dialog (critical,
// warning) or a message box (information, question) when the entry asks to be shown.
void WindowErrorSink(const ErrorEntry& entry);
// What the window program installs before anything else runs: the services and the error sink
// (the test programs, too).
void InstallWindowProgram();
// Main plus the message loop; the process's exit code.
int RunProgram();

// The start-up's wait window (frmLogin) while the component check registers a component.
class LoginWait : public RegistrationWait {
public:
    void Show(const std::wstring& message) override;
    void Close() override;
};

// The temporary-files mode: empties the folders of tmpdirs.txt (and the recycle bin when so set).
void Tempfiledelete();
void CheckFirstRun();
// Deletes the undo files of the backup folder older than "DelAfterDays" days (at start, when so set);
// a file that stays although old enough is named in a message box.
void AutoFileDel();

// Environment readers.
std::wstring ReadComputerName();
std::wstring ReadUserName();
std::wstring ReadWinDir();
std::wstring ReadSysDir();
std::wstring ReadTmpDir();
std::wstring ReadSpecialFolder(int id);
// The system folder of 32-bit programs on 64-bit Windows ("" where there is none).
std::wstring ReadSysWow64Dir();

// True when the command line selects the temporary-files mode ("/d" in any case, nothing else).
bool IsTempFilesMode(const std::wstring& commandLine);
// The folders listed in tmpdirs.txt: blank lines skipped, each ending with "\".
std::vector<std::wstring> ReadTmpDirs(const std::wstring& file);
