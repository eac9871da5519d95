// tests/support/Browser.cpp
#include "support/Browser.h"
#include "support/Sandbox.h"
#include "support/Wait.h"
#include <sstream>

namespace {
const wchar_t kKey[] = L"Software\\Wine\\WineBrowser";
const wchar_t kValue[] = L"Browsers";

void SetBrowsers(const std::wstring& value) {
    RegSetKeyValueW(HKEY_CURRENT_USER, kKey, kValue, REG_SZ, value.c_str(), static_cast<DWORD>((value.size() + 1) * 2));
}
}  // namespace

void InstallHelp(const std::wstring& folder) {
    const std::wstring bin = BinFolder();
    CopyFileW((bin + L"Torvane.chm").c_str(), (folder + L"Torvane.chm").c_str(), FALSE);
    CreateDirectoryW((folder + L"html").c_str(), nullptr);
    WIN32_FIND_DATAW fd;
    HANDLE find = FindFirstFileW((bin + L"html\\*").c_str(), &fd);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
        if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            CopyFileW((bin + L"html\\" + fd.cFileName).c_str(), (folder + L"html\\" + fd.cFileName).c_str(), FALSE);
    } while (FindNextFileW(find, &fd));
    FindClose(find);
}

std::string UnixPath(const std::wstring& path) {
    using Fn = char*(CDECL*)(const wchar_t*);
    auto fn = reinterpret_cast<Fn>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name"));
    char* unix = fn ? fn(path.c_str()) : nullptr;
    if (!unix) return "";
    std::string result = unix;
    HeapFree(GetProcessHeap(), 0, unix);
    return result;
}

FakeBrowser::FakeBrowser(std::wstring installDir) : log_(std::move(installDir) + L"browser.log") {
    wchar_t buf[1024] = L"";
    DWORD size = sizeof buf;
    if (RegGetValueW(HKEY_CURRENT_USER, kKey, kValue, RRF_RT_REG_SZ, nullptr, buf, &size) == ERROR_SUCCESS) previous_ = buf;
    const std::string script = UnixPath(BinFolder() + L"stubs\\browser.sh");
    SetBrowsers(std::wstring(script.begin(), script.end()));
}

FakeBrowser::~FakeBrowser() {
    if (previous_) SetBrowsers(*previous_);
    else RegDeleteKeyValueW(HKEY_CURRENT_USER, kKey, kValue);
}

std::vector<std::string> FakeBrowser::Pages() const {
    std::vector<std::string> pages;
    std::istringstream lines(ReadBytes(log_));
    for (std::string line; std::getline(lines, line);)
        if (!line.empty()) pages.push_back(line);
    return pages;
}

std::string FakeBrowser::WaitForPage(size_t count, DWORD timeoutMs) const {
    WaitFor([&] { return Pages().size() > count; }, timeoutMs);
    const auto pages = Pages();
    return pages.size() > count ? pages.back() : "";
}
