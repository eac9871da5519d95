// app/main/modMain.cpp
#include "main/modMain.h"
#include "core/AppEnvironment.h"
#include "main/ClassHandler.h"
#include "errors/clsError.h"
#include "core/DoEvents.h"
#include "core/HtmlHelp.h"
#include "core/Text.h"
#include "core/Trap.h"
#include "core/UniqueHandle.h"
#include "main/WindowHandler.h"
#include "core/clsTimer.h"
#include "core/modCheckOS.h"
#include "disk/AutoFileDel.h"
#include "disk/modHDD.h"
#include "extras/RegistryCompaction.h"
#include "registry/clsKeyFunc.h"
#include "files/clsFiles.h"
#include "components/clsLibRegister.h"
#include "ui/frmLogin.h"
#include "main/frmMDI.h"
#include "errors/frmError.h"
#include <windows.h>
#include <algorithm>
#include <shlobj.h>
#include <commctrl.h>
#include <shellapi.h>

namespace {
const wchar_t* kModule = L"modMain";

void Log(const std::wstring& message, const wchar_t* procedure = L"Main") { Trace(kModule, procedure, message); }

// A reader that fails leaves its value empty and logs a warning.
template <class Read>
std::wstring Reader(const wchar_t* name, Read read) {
    std::wstring value;
    Trap(kModule, name, [&] { value = read(); });
    return value;
}

std::wstring BufferCall(DWORD (*call)(wchar_t*, DWORD)) {
    std::wstring buf(MAX_PATH, L'\0');
    DWORD n = call(buf.data(), static_cast<DWORD>(buf.size()));
    if (n >= buf.size()) {
        buf.resize(n + 1);
        n = call(buf.data(), static_cast<DWORD>(buf.size()));
    }
    if (n == 0) RaiseWin32(GetLastError());
    buf.resize(n);
    return buf;
}
}  // namespace

std::wstring ReadComputerName() {
    return Reader(L"ReadComputerName", [] {
        wchar_t buf[MAX_COMPUTERNAME_LENGTH + 1];
        DWORD n = MAX_COMPUTERNAME_LENGTH + 1;
        if (!GetComputerNameW(buf, &n)) RaiseWin32(GetLastError());
        return std::wstring(buf, n);
    });
}

std::wstring ReadUserName() {
    return Reader(L"ReadUserName", [] {
        wchar_t buf[257];
        DWORD n = 257;
        if (!GetUserNameW(buf, &n)) RaiseWin32(GetLastError());
        return std::wstring(buf);
    });
}

std::wstring ReadWinDir() {
    return Reader(L"ReadWinDir", [] {
        return WithBackslash(BufferCall([](wchar_t* b, DWORD n) -> DWORD { return GetWindowsDirectoryW(b, n); }));
    });
}

std::wstring ReadSysDir() {
    return Reader(L"ReadSysDir", [] {
        return WithBackslash(BufferCall([](wchar_t* b, DWORD n) -> DWORD { return GetSystemDirectoryW(b, n); }));
    });
}

std::wstring ReadTmpDir() {
    return Reader(L"ReadTmpDir", [] {
        return WithBackslash(BufferCall([](wchar_t* b, DWORD n) -> DWORD { return GetTempPathW(n, b); }));
    });
}

std::wstring ReadSpecialFolder(int id) {
    UniqueCoTaskMem<PIDLIST_ABSOLUTE> pidl;
    if (FAILED(SHGetSpecialFolderLocation(nullptr, id, pidl.put())) || !pidl) return L"";
    wchar_t path[MAX_PATH] = L"";
    const BOOL ok = SHGetPathFromIDListW(pidl.get(), path);
    return ok ? WithBackslash(path) : L"";
}

bool IsTempFilesMode(const std::wstring& commandLine) { return ToLower(commandLine) == L"/d"; }

std::vector<std::wstring> ReadTmpDirs(const std::wstring& file) {
    UniqueHFile f(CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!f) RaiseWin32(GetLastError());
    std::string bytes;
    char buf[4096];
    DWORD n = 0;
    while (ReadFile(f.get(), buf, sizeof buf, &n, nullptr) && n) bytes.append(buf, n);
    f.reset();
    std::vector<std::wstring> folders;
    std::wstring text = FromAnsi(bytes);
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(L'\n', start);
        std::wstring line = text.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start);
        if (!line.empty() && line.back() == L'\r') line.pop_back();
        line = Trim(line);
        if (!line.empty()) folders.push_back(WithBackslash(line));
        if (end == std::wstring::npos) break;
        start = end + 1;
    }
    return folders;
}

void Tempfiledelete() {
    const AppEnvironmentRecord& env = AppEnvironment;
    Log(L"Tempfiledelete startet");
    frmLogin& wait = WindowHandler().Get<frmLogin>();
    wait.SetMessage(env.AppTitle + L" " + env.AppVersion + L"\r\nDie temporären Dateien werden gelöscht. Bitte warten...");
    wait.ShowWindowNow();
    ClassHandler().Timer().Pause(0);

    const std::wstring list = env.InstallDir + L"tmpdirs.txt";
    std::vector<std::wstring> folders;
    for (;;) {
        try {
            folders = ReadTmpDirs(list);
            break;
        } catch (const RuntimeError& e) {
            if (e.number != Err::FileNotFound && e.number != Err::BadFileName) throw;
            // A missing list is created empty and the mode goes on with nothing to delete.
            HandleError(kModule, L"Main", list + L" musste angelegt werden.", e.number, e.description, Style::Warning,
                        false);
            if (!UniqueHFile(CreateFileW(list.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr)))
                RaiseWin32(GetLastError());
        }
    }
    Log(L"Tempfiledelete: " + ProgramFolder() + L"tmpdirs.txt geöffnet");
    // Each line is refused on its own when it names a folder that must never be emptied.
    size_t emptied = 0, refused = 0;
    DeleteCount total;
    for (const std::wstring& folder : folders) {
        const EmptyResult r = EmptyListedFolder(folder, kModule, L"Main");
        if (!r.reason.empty()) {
            ++refused;
            continue;
        }
        ++emptied;
        total.deleted += r.count.deleted;
        total.kept += r.count.kept;
    }
    ClassHandler().Error().WriteLog(kModule, L"Main",
                                    L"Tempfiledelete: " + std::to_wstring(emptied) + L" Ordner geleert, " +
                                        std::to_wstring(total.deleted) + L" Einträge gelöscht, " +
                                        std::to_wstring(total.kept) + L" übergangen, " + std::to_wstring(refused) +
                                        L" Ordner abgelehnt",
                                    0, L"");
    Log(L"Tempfiledelete: Dateien und Ordner gelöscht");
    Log(L"Tempfiledelete endet");

    if (AppSwitches.RecyclerAutoClean == 1) {
        Log(L"Papierkorb leeren startet");
        wait.SetMessage(env.AppTitle + L" " + env.AppVersion + L"\r\nDer Papierkorb wird geleert. Bitte warten...");
        ClassHandler().Files().EmptyRecycler(wait.hwnd());
        Log(L"Papierkorb leeren endet");
    }
    WindowHandler().CloseWindow(WindowNo::Login);
}

void CheckFirstRun() {
    Log(L"started", L"CheckFirstRun");
    // Asking for the main window's handle loads it (tray icon, greeting) before the help opens.
    Trap(kModule, L"CheckFirstRun", [] { OpenHelp(WindowHandler().Get<frmMDI>().hwnd()); }, Style::Warning, true);
    Trap(kModule, L"CheckFirstRun", [] { ClassHandler().KeyFunc().SaveSetting(L"Optionen", L"1stRun", L"0"); });
    Log(L"endet", L"CheckFirstRun");
}

std::wstring ReadSysWow64Dir() {
    wchar_t buf[MAX_PATH] = L"";
    const UINT n = GetSystemWow64DirectoryW(buf, MAX_PATH);
    return n > 0 && n < MAX_PATH ? WithBackslash(buf) : L"";
}

void PrepareAppEnvironment(bool writeStartEntry) {
    AppEnvironmentRecord& env = AppEnvironment;
    env.AppTitle = L"Torvane";
    ReadProgramVersion();
    clsKeyFunc& keys = ClassHandler().KeyFunc();
    env.InstallDir = WithBackslash(keys.GetSetting(L"Optionen", L"InstallDir", ProgramFolder()));
    if (writeStartEntry) ClassHandler().Error().WriteStartEntry();
    keys.ReadAppSwitch();
    Log(env.InstallDir);
    // Each value is logged as it is set.
    auto set = [](std::wstring& field, std::wstring value) {
        field = std::move(value);
        Log(field);
    };
    set(env.BackupDir, env.InstallDir + L"Backup\\");
    set(env.ComputerName, ReadComputerName());
    set(env.UserName, ReadUserName());
    set(env.WinDir, ReadWinDir());
    env.AgentCharsDir = env.WinDir + L"msagent\\chars\\";
    set(env.AgentDir, env.WinDir + L"msagent\\");
    set(env.SysDir, ReadSysDir());
    set(env.TmpDir, ReadTmpDir());
    set(env.RecentDir, ReadSpecialFolder(CSIDL_RECENT));
    auto folderValue = [&](const wchar_t* name) {
        KeyValue v = keys.QueryKeyValue(kHKLM, L"Software\\Microsoft\\Windows\\CurrentVersion", name);
        return WithBackslash(std::holds_alternative<std::wstring>(v) ? std::get<std::wstring>(v) : L"");
    };
    set(env.ProgramFilesDir, folderValue(L"ProgramFilesDir"));
    // The 32-bit registrations of a 64-bit system name their files as 32-bit programs see them.
    env.ProgramFilesX86Dir = folderValue(L"ProgramFilesDir (x86)");
    env.SysWow64Dir = ReadSysWow64Dir();
    OS();
    env.OSServicePack = ReadServicePack();
    Log(env.OSName + L" " + env.OSServicePack + L" Build: " + env.OSBuild);
    // Undo files are written into the backup folder by the window program and the console
    // scan alike: it exists from the start.
    if (!env.InstallDir.empty() && GetFileAttributesW(env.BackupDir.c_str()) == INVALID_FILE_ATTRIBUTES) {
        Trap(kModule, L"Main", [&] {
            if (const int rc = SHCreateDirectoryExW(nullptr, env.BackupDir.c_str(), nullptr); rc != ERROR_SUCCESS)
                RaiseWin32(rc);
            Log(L"Ordner " + env.BackupDir + L" musste angelegt werden");
        }, Style::Warning, false, env.BackupDir);
    }
}

void WindowErrorSink(const ErrorEntry& e) {
    ClassHandler().Error().HandleError(e);
    if (!e.show) return;
    if (e.style == Style::Critical || e.style == Style::Warning) {
        WindowHandler().Get<frmError>().ShowError(e.module, e.procedure, e.number, e.description, e.style);
    } else if (e.style == Style::Information || e.style == Style::Question) {
        MessageBoxW(GetActiveWindow(), e.message.c_str(), AppEnvironment.AppTitle.c_str(),
                    (e.style == Style::Question ? MB_ICONQUESTION : MB_ICONINFORMATION) | MB_OK);
    }
}

void InstallWindowProgram() {
    InstallServices();
    InstallService<FormSource>([]() -> FormSource& { return WindowHandler(); });
    SetErrorSink(WindowErrorSink);
}

void LoginWait::Show(const std::wstring& message) {
    frmLogin& wait = WindowHandler().Get<frmLogin>();
    wait.SetMessage(message);
    wait.ShowWindowNow();
}

void LoginWait::Close() { WindowHandler().CloseWindow(WindowNo::Login); }

void AutoFileDel() {
    DeleteAgedUndoFiles([](const std::wstring& text) {
        MessageBoxW(nullptr, text.c_str(), AppEnvironment.AppTitle.c_str(), MB_ICONEXCLAMATION | MB_OK);
    });
}

bool Main(const std::wstring& commandLine) {
    // One instance only; a second start ends silently.
    // (The handle stays open for the life of the process.)
    HANDLE instance = CreateMutexW(nullptr, FALSE, L"Local\\Torvane.SingleInstance");
    const DWORD created = GetLastError();
    if (!instance || created == ERROR_ALREADY_EXISTS) return false;

    AppEnvironmentRecord& env = AppEnvironment;
    InstallWindowProgram();
    try {
        ClassHandler();
        WindowHandler();
        PrepareAppEnvironment(true);
        if (env.OSName == L"Windows 95") {
            MessageBoxW(nullptr, (env.OSName + L" wird nicht unterstützt.").c_str(), env.AppTitle.c_str(),
                        MB_ICONINFORMATION | MB_OK);
            return false;
        }
        LoginWait wait;
        ClassHandler().LibRegister().CheckLibs(&wait);

        if (IsTempFilesMode(commandLine)) {
            Tempfiledelete();
            return false;
        }
        if (AppSwitches.FirstRun == 1) CheckFirstRun();
        if (AppSwitches.AutoRegFileDel == 1) AutoFileDel();
        if (Logging())
            MessageBoxW(nullptr, L"Die Protokollierung ist aktiviert.", env.AppTitle.c_str(), MB_ICONINFORMATION | MB_OK);
        WindowHandler().Get<frmMDI>().Show();
        if (const std::wstring report = RegistryCompaction::RegistryDefragAtStart(); !report.empty())
            MessageBoxW(nullptr, report.c_str(), env.AppTitle.c_str(), MB_ICONINFORMATION | MB_OK);
        return true;
    } catch (...) {
        ReportError(kModule, L"Main", CurrentError(), Style::Critical, true);
        return false;
    }
}

int RunProgram() {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_WIN95_CLASSES | ICC_BAR_CLASSES | ICC_LISTVIEW_CLASSES | ICC_TAB_CLASSES |
                                             ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&icc);
    // The command line without the program's own name.
    std::wstring args = GetCommandLineW();
    int argc = 0;
    if (const UniqueLocalMem<LPWSTR*> argv{CommandLineToArgvW(GetCommandLineW(), &argc)}) {
        const std::wstring self = argv.get()[0];
        size_t skip = (args.size() && args[0] == L'"') ? self.size() + 2 : self.size();
        args = skip <= args.size() ? args.substr(skip) : L"";
        size_t first = args.find_first_not_of(L' ');
        args = first == std::wstring::npos ? L"" : args.substr(first);
    }
    if (!Main(args)) return 0;
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (RouteMainWindowKeys(msg) || RouteDialogMessage(msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return static_cast<int>(msg.wParam);
}
