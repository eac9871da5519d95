// tests/support/Sandbox.h
#pragma once
#include <windows.h>
#include <string>

// Redirects HKEY_LOCAL_MACHINE and HKEY_CURRENT_USER of this process into a private key
// (HKCU\Software\TorvaneTest\<n>) for the lifetime of the object, then deletes it.
class RegistrySandbox {
public:
    RegistrySandbox();
    ~RegistrySandbox();
    RegistrySandbox(const RegistrySandbox&) = delete;
    RegistrySandbox& operator=(const RegistrySandbox&) = delete;
    // Path of the sandbox below the real HKEY_CURRENT_USER (for checks that bypass the override).
    const std::wstring& Path() const { return path_; }

private:
    std::wstring path_;
    HKEY hklm_ = nullptr, hkcu_ = nullptr;
};

// A private folder below the temp folder, removed with everything in it afterwards.
// Path() ends with a backslash.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::wstring& Path() const { return path_; }
    // Writes a file (creating folders on the way) and returns its full path.
    std::wstring Write(const std::wstring& relative, const std::string& bytes = "x") const;

private:
    std::wstring path_;
};

// Sets up AppEnvironment for a test: InstallDir/BackupDir in the given folder, AppTitle,
// version, and the settings defaults (AppSwitches from an empty store). Resets the class handler.
void PrepareEnvironment(const std::wstring& installDir);

// Processes window messages for the given time (at least one round), so windows can paint and
// timers run.
void PumpMessages(DWORD ms);

// While it lives, the main window's unload records its exit code instead of ending the test process.
class KeepProcessOnFrameExit {
public:
    KeepProcessOnFrameExit();
    ~KeepProcessOnFrameExit();
    int exitCode = -1;  // what the unload asked for; -1 while it has not run
};

// Reads a whole file's bytes ("" when missing).
std::string ReadBytes(const std::wstring& path);
bool FileExists(const std::wstring& path);

// Answers the next window with this caption that appears within the timeout by pressing the
// button with the given id (IDYES, IDOK, ...; 0 only reads the window's texts). Runs on its own thread; Wait() returns whether a
// window was answered and the text of its static labels.
class AutoAnswer {
public:
    AutoAnswer(std::wstring caption, int buttonId, DWORD timeoutMs = 60000);
    ~AutoAnswer();
    bool Wait();
    std::wstring Text() const { return text_; }

private:
    static DWORD WINAPI Run(void* self);
    std::wstring caption_;
    int button_;
    DWORD timeout_;
    HANDLE thread_ = nullptr;
    bool answered_ = false;
    std::wstring text_;
};
