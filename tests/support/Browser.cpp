// tests/support/Browser.cpp
#include "support/Browser.h"
#include "support/Wait.h"
#include <sstream>

namespace {
const wchar_t kKey[] = L"Software\\Wine\\WineBrowser";
const wchar_t kValue[] = L"Browsers";

std::wstring BinFolder() {
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring exe = self;
    return exe.substr(0, exe.find_last_of(L'\\') + 1);
}
void SetBrowsers(const std::wstring& value) {
    RegSetKeyValueW(HKEY_CURRENT_USER, kKey, kValue, REG_SZ, value.c_str(), static_cast<DWORD>((value.size() + 1) * 2));
}
}  // namespace

std::string UnixPath(const std::wstring& path) {
    using Fn = char*(CDECL*)(const wchar_t*);
    auto fn = reinterpret_cast<Fn>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name"));
    char* unix = fn ? fn(path.c_str()) : nullptr;
    if (!unix) return "";
    std::string result = unix;
    HeapFree(GetProcessHeap(), 0, unix);
    return result;
}

FakeBrowser::FakeBrowser() : log_(folder_.Path() + L"browser.log") {
    wchar_t buf[1024] = L"";
    DWORD size = sizeof buf;
    if (RegGetValueW(HKEY_CURRENT_USER, kKey, kValue, RRF_RT_REG_SZ, nullptr, buf, &size) == ERROR_SUCCESS) previous_ = buf;
    const std::string script = UnixPath(BinFolder() + L"stubs\\browser.sh");
    SetBrowsers(std::wstring(script.begin(), script.end()));
    // Inherited by every program started from here on, down to the script.
    folder_.Write(L"browser.log", "");
    const std::string log = UnixPath(log_);
    SetEnvironmentVariableW(L"TORVANE_BROWSER_LOG", std::wstring(log.begin(), log.end()).c_str());
}

FakeBrowser::~FakeBrowser() {
    SetEnvironmentVariableW(L"TORVANE_BROWSER_LOG", nullptr);
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
