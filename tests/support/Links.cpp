// tests/support/Links.cpp
#include "support/Links.h"
#include "core/Text.h"
#include "support/Sandbox.h"
#include "support/Wait.h"
#include <windows.h>

namespace {
using UnixName = char*(CDECL*)(const wchar_t*);
UnixName WineUnixName() {
    return reinterpret_cast<UnixName>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name"));
}
std::wstring Quoted(const std::wstring& path) {
    char* name = WineUnixName()(path.c_str());
    if (!name) return L"\"\"";
    std::wstring out = L"\"" + FromUtf8(name) + L"\"";
    HeapFree(GetProcessHeap(), 0, name);
    return out;
}
}  // namespace

bool WineRunsUnix() { return WineUnixName() != nullptr; }

// Wine cannot wait for a Unix process: the caller watches for the command's effect instead.
bool RunUnix(std::wstring cmd, const std::wstring& path, bool shouldExist) {
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return false;
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return WaitFor([&] { return FileExists(path) == shouldExist; }, 60000);
}

bool MakeLink(const std::wstring& link, const std::wstring& target, bool folder) {
    if (CreateSymbolicLinkW(link.c_str(), target.c_str(),
                            (folder ? SYMBOLIC_LINK_FLAG_DIRECTORY : 0) | SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE) &&
        FileExists(link))
        return true;
    if (!WineUnixName()) return false;
    return RunUnix(L"/bin/ln -s " + Quoted(target) + L" " + Quoted(link), link, true);
}

void RemoveLink(const std::wstring& link) {
    if (!FileExists(link)) return;
    if (WineUnixName()) RunUnix(L"/bin/rm -f " + Quoted(link), link, false);
    else if (!DeleteFileW(link.c_str())) RemoveDirectoryW(link.c_str());
}
