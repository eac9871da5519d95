// tests/support/Sandbox.cpp
#include "support/Sandbox.h"
#include "core/AppEnvironment.h"
#include "main/ClassHandler.h"
#include "main/modMain.h"
#include "registry/clsKeyFunc.h"
#include "main/frmMDI.h"
#include <atomic>
#include <fstream>

namespace {
std::atomic<int> g_counter{0};
std::wstring Unique() {
    return std::to_wstring(GetCurrentProcessId()) + L"_" + std::to_wstring(GetTickCount64()) + L"_" +
           std::to_wstring(++g_counter);
}
}  // namespace

RegistrySandbox::RegistrySandbox() {
    path_ = L"Software\\TorvaneTest\\" + Unique();
    // Open the real keys before any override is in place.
    RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
    RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
    RegCreateKeyExW(HKEY_CURRENT_USER, (path_ + L"\\HKLM").c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &hklm_, nullptr);
    RegCreateKeyExW(HKEY_CURRENT_USER, (path_ + L"\\HKCU").c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &hkcu_, nullptr);
    RegOverridePredefKey(HKEY_LOCAL_MACHINE, hklm_);
    RegOverridePredefKey(HKEY_CURRENT_USER, hkcu_);
}

RegistrySandbox::~RegistrySandbox() {
    RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
    RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
    RegCloseKey(hklm_);
    RegCloseKey(hkcu_);
    RegDeleteTreeW(HKEY_CURRENT_USER, path_.c_str());
    RegDeleteKeyW(HKEY_CURRENT_USER, path_.c_str());
}

static void RemoveTree(const std::wstring& dir) {
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW((dir + L"*").c_str(), &fd);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            std::wstring n = fd.cFileName;
            if (n == L"." || n == L"..") continue;
            std::wstring p = dir + n;
            SetFileAttributesW(p.c_str(), FILE_ATTRIBUTE_NORMAL);
            if ((fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && !(fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
                RemoveTree(p + L"\\");
            else if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveDirectoryW(p.c_str());
            else
                DeleteFileW(p.c_str());
        } while (FindNextFileW(h, &fd));
        FindClose(h);
    }
    RemoveDirectoryW(dir.c_str());
}

TempFolder::TempFolder() {
    wchar_t tmp[MAX_PATH];
    GetTempPathW(MAX_PATH, tmp);
    path_ = std::wstring(tmp) + L"torvane_test_" + Unique() + L"\\";
    CreateDirectoryW(path_.c_str(), nullptr);
}
TempFolder::~TempFolder() { RemoveTree(path_); }

std::wstring TempFolder::Write(const std::wstring& relative, const std::string& bytes) const {
    std::wstring full = path_ + relative;
    for (size_t p = path_.size(); (p = full.find(L'\\', p)) != std::wstring::npos; ++p)
        CreateDirectoryW(full.substr(0, p).c_str(), nullptr);
    HANDLE f = CreateFileW(full.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD w = 0;
    WriteFile(f, bytes.data(), (DWORD)bytes.size(), &w, nullptr);
    CloseHandle(f);
    return full;
}

void PrepareEnvironment(const std::wstring& installDir) {
    ClassHandler().Reset();
    AppEnvironment = AppEnvironmentRecord{};
    ReadProgramVersion();
    AppEnvironment.InstallDir = installDir;
    AppEnvironment.BackupDir = installDir + L"Backup\\";
    wchar_t win[MAX_PATH];
    GetWindowsDirectoryW(win, MAX_PATH);
    AppEnvironment.WinDir = std::wstring(win) + L"\\";
    AppEnvironment.SysWow64Dir = ReadSysWow64Dir();
    // The sandbox hides the machine's own keys: the program folders come from the environment.
    auto folderVar = [](const wchar_t* name) {
        wchar_t buf[MAX_PATH] = L"";
        const DWORD n = GetEnvironmentVariableW(name, buf, MAX_PATH);
        return n > 0 && n < MAX_PATH ? std::wstring(buf) + L"\\" : std::wstring();
    };
    AppEnvironment.ProgramFilesDir = folderVar(L"ProgramW6432");
    if (AppEnvironment.ProgramFilesDir.empty()) AppEnvironment.ProgramFilesDir = folderVar(L"ProgramFiles");
    AppEnvironment.ProgramFilesX86Dir = folderVar(L"ProgramFiles(x86)");
    AppSwitches = AppSwitchesRecord{};
    ClassHandler().KeyFunc().ReadAppSwitch();
}

void PumpMessages(DWORD ms) {
    const ULONGLONG until = GetTickCount64() + ms;
    do {
        MSG m;
        while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&m);
            DispatchMessageW(&m);
        }
        Sleep(10);
    } while (GetTickCount64() < until);
}

KeepProcessOnFrameExit::KeepProcessOnFrameExit() {
    frmMDI::ExitAction() = [this](int code) { exitCode = code; };
}
KeepProcessOnFrameExit::~KeepProcessOnFrameExit() {
    frmMDI::ExitAction() = [](int code) { ExitProcess(code); };
}

std::string ReadBytes(const std::wstring& path) {
    HANDLE f = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE) return "";
    std::string out;
    char buf[65536];
    DWORD n = 0;
    while (ReadFile(f, buf, sizeof buf, &n, nullptr) && n) out.append(buf, n);
    CloseHandle(f);
    return out;
}
bool FileExists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

AutoAnswer::AutoAnswer(std::wstring caption, int buttonId, DWORD timeoutMs)
    : caption_(std::move(caption)), button_(buttonId), timeout_(timeoutMs) {
    thread_ = CreateThread(nullptr, 0, Run, this, 0, nullptr);
}
AutoAnswer::~AutoAnswer() { Wait(); }

bool AutoAnswer::Wait() {
    if (thread_) {
        // Keep this thread's windows alive while the helper waits (the box may be ours).
        while (MsgWaitForMultipleObjects(1, &thread_, FALSE, INFINITE, QS_ALLINPUT) == WAIT_OBJECT_0 + 1) {
            MSG m;
            while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) { TranslateMessage(&m); DispatchMessageW(&m); }
        }
        CloseHandle(thread_);
        thread_ = nullptr;
    }
    return answered_;
}

DWORD WINAPI AutoAnswer::Run(void* p) {
    auto* self = static_cast<AutoAnswer*>(p);
    const ULONGLONG until = GetTickCount64() + self->timeout_;
    while (GetTickCount64() < until) {
        // The dialog with this caption that has the button (a wait window of the same title has none).
        HWND w = nullptr;
        while ((w = FindWindowExW(nullptr, w, L"#32770", self->caption_.c_str())))
            if (IsWindowVisible(w) && (self->button_ == 0 || GetDlgItem(w, self->button_))) break;
        if (w) {
            for (HWND c = GetWindow(w, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
                wchar_t cls[32], text[4096];
                GetClassNameW(c, cls, 32);
                if (lstrcmpiW(cls, L"Static") == 0 && GetWindowTextW(c, text, 4096) > 0) self->text_ += text;
            }
            PostMessageW(w, WM_COMMAND, MAKEWPARAM(self->button_, BN_CLICKED), 0);
            self->answered_ = true;
            return 0;
        }
        Sleep(20);
    }
    return 0;
}
