// app/components/clsLibRegister.cpp
#include "components/clsLibRegister.h"
#include "core/AppEnvironment.h"
#include "core/Service.h"
#include "core/Text.h"
#include "core/Trap.h"
#include "core/UniqueHandle.h"
#include "core/clsTimer.h"
#include "core/modWaitForProcess.h"
#include "registry/clsKeyFunc.h"
#include <windows.h>
#include <memory>

bool WinInetMissing = false;

namespace {
const wchar_t* kModule = L"clsLibRegister";
constexpr int kWinInetMissing = 10110;
constexpr REGSAM kKeyAccess = 0x20000;
const wchar_t* kReinstall = L" wurde nicht gefunden. Deinstallieren Sie das Programm und installieren Sie es neu.";

// The platform part of type library keys for this build of the program.
const wchar_t* kPlatform = sizeof(void*) == 8 ? L"win64" : L"win32";

std::wstring FolderOf(LibComponent::Folder f) {
    switch (f) {
    case LibComponent::Folder::Sys: return AppEnvironment.SysDir;
    case LibComponent::Folder::Agent: return AppEnvironment.AgentDir;
    case LibComponent::Folder::Install: return AppEnvironment.InstallDir;
    }
    return L"";
}

bool FileThere(const std::wstring& path) {
    DWORD a = GetFileAttributesW(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

// A server key whose registered file no longer exists (the library was moved or reinstalled
// elsewhere) is as good as missing. Bare names are found by the loader's search and pass.
bool ServerFileGone(const std::wstring& key) {
    if (!EndsWith(key, L"\\InprocServer32") && !EndsWith(key, L"\\LocalServer32")) return false;
    std::wstring file = Service<clsKeyFunc>().ReadKeyValue(kHKLM, key, L"");
    if (!file.empty() && file.front() == L'"') file = file.substr(1, file.find(L'"', 1) - 1);
    wchar_t expanded[MAX_PATH * 2] = L"";
    if (ExpandEnvironmentStringsW(file.c_str(), expanded, MAX_PATH * 2) && *expanded) file = expanded;
    const bool absolute = file.size() > 2 && (file[1] == L':' || StartsWith(file, L"\\\\"));
    return absolute && !FileThere(file);
}

}  // namespace

std::wstring ClsidKey(const std::wstring& clsid) { return L"Software\\Classes\\CLSID\\" + clsid + L"\\InprocServer32"; }

std::wstring TypeLibKey(const std::wstring& libid, const std::wstring& version, const std::wstring& platform) {
    return L"Software\\Classes\\TypeLib\\" + libid + L"\\" + version + L"\\" + platform;
}

std::vector<LibComponent> clsLibRegister::Components() {
    using F = LibComponent::Folder;
    using R = LibComponent::Registration;
    // Type libraries are looked for under the platform this program runs as: a 64-bit program
    // loads the 64-bit controls, whose libraries are registered as "win64".
    return {
        {L"hhctrl.ocx", F::Sys,
         // Only the keys the help call needs; the viewer's other classes are not used by the program.
         {ClsidKey(L"{ADB880A6-D8FF-11CF-9377-00AA003B7A11}"),
          TypeLibKey(L"{ADB880A2-D8FF-11CF-9377-00AA003B7A11}", L"4.0\\0", kPlatform)},
         10101, kReinstall, R::Server},
        {L"fennick.ocx", F::Install,
         {ClsidKey(L"{8B918202-6B89-4703-9851-8921CE2F7787}"),
          TypeLibKey(L"{CB53FD89-B29F-43AD-A55F-BA450F1947CB}", L"1.0\\0", kPlatform)},
         10106, kReinstall, R::Server},
        {L"wininet.dll", F::Sys, {}, kWinInetMissing,
         L" wurde nicht gefunden. Es scheint, das kein Microsoft Internet Explorer installiert ist.", R::None},
    };
}

void clsLibRegister::CheckLibs(RegistrationWait* wait) { CheckLibs(Components(), wait); }

void clsLibRegister::CheckLibs(const std::vector<LibComponent>& components, RegistrationWait* wait) {
    Trace(kModule, L"CheckLibs", L"started");
    WinInetMissing = false;
    wait_ = wait;
    for (const auto& c : components) CheckComponent(c);
    if (waitShown_ && wait_) wait_->Close();
    waitShown_ = false;
    wait_ = nullptr;
    Trace(kModule, L"CheckLibs", L"endet");
}

void clsLibRegister::CheckComponent(const LibComponent& c) {
    const std::wstring path = FolderOf(c.folder) + c.file;
    if (!FileThere(path)) {
        try {
            Raise(c.error, L"Die Datei " + c.file + c.text);
        } catch (const RuntimeError& e) {
            if (e.number == kWinInetMissing) {
                // Without the internet library the program still works, only offline.
                ReportError(kModule, L"CheckLibs",
                            RuntimeError{e.number, L"Die Datei wininet.dll wurde nicht gefunden. Es scheint, dass kein "
                                                   L"Microsoft Internet Explorer installiert ist."},
                            Style::Warning, false);
                WinInetMissing = true;
            } else {
                ReportError(kModule, L"CheckLibs", e, Style::Critical, true);
            }
        }
    } else {
        bool missing = false;
        Trap(kModule, L"CheckLibs", [&] {
            for (const auto& key : c.keys) {
                if (Service<clsKeyFunc>().KeyExist(kHKLM, key, kKeyAccess) == 0 || ServerFileGone(key)) {
                    missing = true;
                    break;
                }
            }
        }, Style::Critical, true);
        if (missing && c.registration != LibComponent::Registration::None) {
            if (c.registration == LibComponent::Registration::AgentServer ||
                c.registration == LibComponent::Registration::AgentControl) {
                // The assistant must not start while its component is being registered.
                Trap(kModule, L"CheckLibs", [&] { Service<clsKeyFunc>().SaveSetting(L"Optionen", L"AgentLoad", L"0"); },
                     Style::Critical, true);
                Trap(kModule, L"CheckLibs", [&] { Service<clsKeyFunc>().SaveSetting(L"Optionen", L"AgentType", L""); },
                     Style::Critical, true);
                AppSwitches.AgentLoad = 0;
                AppSwitches.AgentType.clear();
            }
            if (c.registration == LibComponent::Registration::AgentServer)
                RegisterEXE((path.find(L' ') == std::wstring::npos ? path : L"\"" + path + L"\"") + L" /regserver");
            else
                RegisterServer(path, true);
            Service<clsTimer>().Pause(1);
        }
    }
    Trace(kModule, L"CheckLibs", c.file + L" geprüft");
}

void clsLibRegister::ShowWait(const std::wstring& text) {
    Trap(kModule, L"ShowWait", [&] {
        if (!wait_) return;
        wait_->Show(L"Die Komponente " + text + L" wird nachregistriert.");
        waitShown_ = true;
    });
}

void clsLibRegister::RegisterServer(const std::wstring& path, bool registerFlag) {
    try {
        ShowWait(path);
        UniqueHModule lib(LoadLibraryW(path.c_str()));
        if (!lib) RaiseWin32(GetLastError());
        using Entry = HRESULT(WINAPI*)();
        auto entry = reinterpret_cast<Entry>(
            GetProcAddress(lib.get(), registerFlag ? "DllRegisterServer" : "DllUnregisterServer"));
        if (!entry) RaiseWin32(GetLastError());
        const HRESULT result = entry();
        ReportError(kModule, L"RegisterServer", RuntimeError{}, Style::Warning, false,
                    path + L"; Rückgabewert=" + std::to_wstring(static_cast<long>(result)));
    } catch (...) {
        ReportError(kModule, L"RegisterServer", CurrentError(), Style::Critical, false, path);
    }
}

void clsLibRegister::RegisterEXE(const std::wstring& commandLine) {
    try {
        ShowWait(commandLine);
        StartProgram(commandLine);
    } catch (...) {
        ReportError(kModule, L"RegisterEXE", CurrentError(), Style::Warning, false, commandLine);
    }
}
