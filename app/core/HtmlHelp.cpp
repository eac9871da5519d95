// app/core/HtmlHelp.cpp
#include "core/HtmlHelp.h"
#include "core/AppEnvironment.h"
#include "core/RuntimeError.h"
#include "core/UniqueHandle.h"
#include <cctype>
#include <cstring>
#include <objbase.h>
#include <shellapi.h>
#include <shlwapi.h>
#include <string>

namespace {
using HtmlHelpFn = HWND(WINAPI*)(HWND, LPCWSTR, UINT, DWORD_PTR);
constexpr UINT kDisplayTopic = 0x0000, kCloseAll = 0x0012;
constexpr wchar_t kStartPage[] = L"start.html";
// CLSID_HTMLDocument: the document object of the system's HTML engine (MSHTML).
constexpr CLSID kHtmlDocument = {0x25336920, 0x03F9, 0x11CF, {0x8F, 0xD0, 0x00, 0xAA, 0x00, 0x68, 0x6F, 0x13}};

// The viewer is loaded on first use only, so a missing hhctrl.ocx costs nothing at start.
HtmlHelpFn Viewer() {
    static HtmlHelpFn fn = [] {
        HMODULE lib = LoadLibraryW(L"hhctrl.ocx");
        return lib ? reinterpret_cast<HtmlHelpFn>(GetProcAddress(lib, "HtmlHelpW")) : nullptr;
    }();
    return fn;
}

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool OpenInViewer(HWND owner, const wchar_t* page) {
    std::wstring file = AppEnvironment.InstallDir + L"Torvane.chm";
    // A file the viewer would open and then refuse to show leaves the user an empty window.
    if (!Exists(file) || HelpFileBlocked(file)) return false;
    if (page) file += std::wstring(L"::/html/") + page;
    return HelpViewerAction()(owner, file);
}

// The page as a file:// address, so the shell hands it to the program that shows web pages.
bool OpenInBrowser(HWND owner, const wchar_t* page) {
    const std::wstring path = AppEnvironment.InstallDir + L"html\\" + (page ? page : kStartPage);
    if (!Exists(path)) return false;
    wchar_t url[4 * MAX_PATH];
    DWORD length = 4 * MAX_PATH;
    if (FAILED(UrlCreateFromPathW(path.c_str(), url, &length, 0))) return false;
    SHELLEXECUTEINFOW sei{};
    sei.cbSize = sizeof sei;
    // No "open with" question: without a browser the user gets the error instead.
    sei.fMask = SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
    sei.hwnd = owner;
    sei.lpVerb = L"open";
    sei.lpFile = url;
    sei.nShow = SW_SHOWNORMAL;
    return ShellExecuteExW(&sei) != FALSE;
}
}  // namespace

std::function<bool(HWND, const std::wstring&)>& HelpViewerAction() {
    static std::function<bool(HWND, const std::wstring&)> action = [](HWND owner, const std::wstring& fileAndTopic) {
        HtmlHelpFn fn = HelpViewerCanRender() ? Viewer() : nullptr;
        return fn && fn(owner, fileAndTopic.c_str(), kDisplayTopic, 0);
    };
    return action;
}

bool HelpFileBlocked(const std::wstring& file) {
    // The mark a download leaves: the stream "Zone.Identifier" with "ZoneId=<zone>".
    UniqueHFile mark(CreateFileW((file + L":Zone.Identifier").c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 nullptr, OPEN_EXISTING, 0, nullptr));
    if (mark) {
        char text[1024];
        DWORD n = 0;
        if (ReadFile(mark.get(), text, sizeof text - 1, &n, nullptr)) {
            text[n] = '\0';
            for (char* c = text; *c; ++c) *c = static_cast<char>(tolower(static_cast<unsigned char>(*c)));
            if (const char* zone = strstr(text, "zoneid=")) {
                zone += 7;
                while (*zone == ' ' || *zone == '\t') ++zone;
                if (*zone >= '1' && *zone <= '9') return true;
            }
        }
    }
    // A network path: a share, or a drive that stands for one.
    std::wstring path = file;
    if (path.rfind(L"\\\\?\\UNC\\", 0) == 0) return true;
    if (path.rfind(L"\\\\?\\", 0) == 0 || path.rfind(L"\\\\.\\", 0) == 0) path = path.substr(4);
    if (path.rfind(L"\\\\", 0) == 0) return true;
    if (path.size() >= 3 && path[1] == L':') return GetDriveTypeW(path.substr(0, 3).c_str()) == DRIVE_REMOTE;
    return false;
}

bool HelpViewerCanRender() {
    // Asked once: under Wine a missing engine may first offer its own installation.
    static const bool can = [] {
        IUnknown* document = nullptr;
        const HRESULT hr = CoCreateInstance(kHtmlDocument, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                            reinterpret_cast<void**>(&document));
        if (document) document->Release();
        return SUCCEEDED(hr);
    }();
    return can;
}

void OpenHelp(HWND owner, const wchar_t* page) {
    if (OpenInViewer(owner, page) || OpenInBrowser(owner, page)) return;
    Raise(10002, L"Die Hilfedatei zum Programm wurde nicht gefunden.\r\nInstallieren Sie das Programm erneut.");
}

void CloseAllHelp() {
    static bool loaded = false;
    // Only a viewer that was loaded can have windows open.
    if (!loaded && !GetModuleHandleW(L"hhctrl.ocx")) return;
    loaded = true;
    if (HtmlHelpFn fn = Viewer()) fn(nullptr, nullptr, kCloseAll, 0);
}
