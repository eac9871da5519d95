// app/core/HtmlHelp.cpp
#include "core/HtmlHelp.h"
#include "core/AppEnvironment.h"
#include <string>

namespace {
using HtmlHelpFn = HWND(WINAPI*)(HWND, LPCWSTR, UINT, DWORD_PTR);
constexpr UINT kDisplayTopic = 0x0000, kCloseAll = 0x0012;

// The viewer is loaded on first use only, so a missing hhctrl.ocx costs nothing at start.
HtmlHelpFn Viewer() {
    static HtmlHelpFn fn = [] {
        HMODULE lib = LoadLibraryW(L"hhctrl.ocx");
        return lib ? reinterpret_cast<HtmlHelpFn>(GetProcAddress(lib, "HtmlHelpW")) : nullptr;
    }();
    return fn;
}
}  // namespace

HWND OpenHelp(HWND owner, const wchar_t* topic) {
    std::wstring file = AppEnvironment.InstallDir + L"Torvane.chm";
    if (GetFileAttributesW(file.c_str()) == INVALID_FILE_ATTRIBUTES) return nullptr;
    if (topic) file += std::wstring(L"::/") + topic;
    HtmlHelpFn fn = Viewer();
    return fn ? fn(owner, file.c_str(), kDisplayTopic, 0) : nullptr;
}

void CloseAllHelp() {
    static bool loaded = false;
    // Only a viewer that was loaded can have windows open.
    if (!loaded && !GetModuleHandleW(L"hhctrl.ocx")) return;
    loaded = true;
    if (HtmlHelpFn fn = Viewer()) fn(nullptr, nullptr, kCloseAll, 0);
}
