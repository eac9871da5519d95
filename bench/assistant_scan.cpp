// bench/assistant_scan.cpp
// Times the registry scan with the assistant character switched off and with it on, playing
// "Searching" and speaking the scan's start line as the scan window has it do. The scan pumps
// window messages between its steps, so the character animates meanwhile; the difference is
// what the character costs the scan. Runs in a private registry key; needs a display.
#include "Bench.h"
#include "assistant/clsAgent.h"
#include "core/AppEnvironment.h"
#include "main/ClassHandler.h"
#include "scan/ScanEngine.h"
#include <windows.h>
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

void Sz(const std::wstring& key, const wchar_t* name, const std::wstring& text) {
    HKEY h = nullptr;
    RegCreateKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h, nullptr);
    RegSetValueExW(h, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()), static_cast<DWORD>((text.size() + 1) * 2));
    RegCloseKey(h);
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}
}  // namespace

int wmain(int argc, wchar_t** argv) {
    InstallServices();
    const int classes = argc > 1 ? std::max(100, _wtoi(argv[1])) : 20000;
    const int rounds = 5;
    wchar_t tmp[MAX_PATH], win[MAX_PATH], self[MAX_PATH];
    GetTempPathW(MAX_PATH, tmp);
    GetWindowsDirectoryW(win, MAX_PATH);
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    const std::wstring dir = std::wstring(tmp) + L"torvane_agentbench_" + std::to_wstring(GetCurrentProcessId()) + L"\\";
    CreateDirectoryW(dir.c_str(), nullptr);
    const std::wstring good = dir + L"server.dll";
    CloseHandle(CreateFileW(good.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    AppEnvironment.InstallDir = dir;
    AppEnvironment.BackupDir = dir + L"Backup\\";
    AppEnvironment.WinDir = std::wstring(win) + L"\\";
    std::wstring exeDir = self;
    AppEnvironment.AgentCharsDir = exeDir.substr(0, exeDir.find_last_of(L'\\') + 1) + L"chars\\";
    AppSwitches = AppSwitchesRecord{};
    AppSwitches.AgentFile = L"Merlin.acs";

    const std::wstring box = L"Software\\TorvaneAgentBench\\" + std::to_wstring(GetCurrentProcessId());
    HKEY boxLm = nullptr, boxCu = nullptr;
    RegCreateKeyExW(HKEY_CURRENT_USER, (box + L"\\HKLM").c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &boxLm, nullptr);
    RegCreateKeyExW(HKEY_CURRENT_USER, (box + L"\\HKCU").c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &boxCu, nullptr);
    RegOverridePredefKey(HKEY_LOCAL_MACHINE, boxLm);
    RegOverridePredefKey(HKEY_CURRENT_USER, boxCu);
    for (int i = 0; i < classes; ++i) {
        wchar_t g[64];
        swprintf(g, 64, L"{%08X-0000-4000-8000-000000000000}", i);
        const std::wstring k = std::wstring(L"Software\\Classes\\CLSID\\") + g;
        Sz(k, nullptr, L"Bench Class " + std::to_wstring(i));
        Sz(k + L"\\InprocServer32", nullptr, i % 10 == 0 ? dir + L"missing\\c.dll" : good);
        Sz(k + L"\\InprocServer32", L"ThreadingModel", L"Apartment");
    }

    clsAgent& agent = ClassHandler().Agent();
    // Off, the character only playing "Searching", and as the scan window has it: the start line
    // in the balloon, then "Searching".
    const wchar_t* const modes[] = {L"without character", L"playing Searching", L"speaking, then Searching"};
    std::vector<double> times[3];
    size_t total = 0;
    for (int r = 0; r < 3 * rounds; ++r) {
        const int mode = r % 3;
        AppSwitches.AgentLoad = mode == 0 ? 0 : 1;
        if (mode == 2) agent.Speak(L"Der Registry-Scan wurde gestartet.");
        if (mode != 0) agent.Play(L"Searching");
        ScanEngine engine;
        const double t0 = Now();
        engine.Scan();
        times[mode].push_back(Now() - t0);
        if (mode != 0) agent.Stop();
        total = engine.Total();
    }
    const bool shown = agent.Loaded() && agent.Character() && agent.Character()->Visible();
    wprintf(L"scan of %zu values, %d rounds each, character %ls\n", total, rounds,
            shown ? L"on screen" : L"NOT LOADED (chars folder missing?)");
    const double base = Median(times[0]);
    for (int m = 0; m < 3; ++m)
        wprintf(L"%-26ls median %.3f s (best %.3f s)  %+.1f %%\n", modes[m], Median(times[m]),
                *std::min_element(times[m].begin(), times[m].end()), 100.0 * (Median(times[m]) - base) / base);

    agent.AgentUnload();
    RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
    RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
    RegCloseKey(boxLm);
    RegCloseKey(boxCu);
    RegDeleteTreeW(HKEY_CURRENT_USER, box.c_str());
    DeleteFileW(good.c_str());
    RemoveDirectoryW(dir.c_str());
    return shown ? 0 : 1;
}
