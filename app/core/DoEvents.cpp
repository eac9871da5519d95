// app/core/DoEvents.cpp
#include "core/DoEvents.h"
#include <algorithm>
#include <vector>

namespace {
std::vector<HWND> g_modeless;
HWND g_frame = nullptr, g_client = nullptr;
HACCEL g_accel = nullptr;
ULONGLONG g_lastPump = 0;
}  // namespace

void RegisterModeless(HWND dialog) {
    if (std::find(g_modeless.begin(), g_modeless.end(), dialog) == g_modeless.end()) g_modeless.push_back(dialog);
}
void UnregisterModeless(HWND dialog) {
    g_modeless.erase(std::remove(g_modeless.begin(), g_modeless.end(), dialog), g_modeless.end());
}
void SetMainWindowKeys(HWND frame, HWND mdiClient, HACCEL accelerators) {
    g_frame = frame;
    g_client = mdiClient;
    g_accel = accelerators;
}

bool RouteMainWindowKeys(MSG& msg) {
    if (g_client && TranslateMDISysAccel(g_client, &msg)) return true;
    if (g_frame && g_accel && TranslateAcceleratorW(g_frame, g_accel, &msg)) return true;
    return false;
}

bool RouteDialogMessage(MSG& msg) {
    for (HWND d : g_modeless) {
        if (IsWindow(d) && (msg.hwnd == d || IsChild(d, msg.hwnd))) return IsDialogMessageW(d, &msg) != FALSE;
    }
    return false;
}

void DoEvents() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(msg.wParam));  // leave it for the main loop
            break;
        }
        if (RouteMainWindowKeys(msg) || RouteDialogMessage(msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    g_lastPump = GetTickCount64();
}

void DoEventsIfDue() {
    if (GetTickCount64() - g_lastPump >= 15) DoEvents();
}
