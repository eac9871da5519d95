// bench/disk.cpp
// Times emptying a folder tree with the disk cleanup's own deletion (clsFiles::FileDel of a
// folder with a final "\", deleting for good) against a plain FindFirstFileW/DeleteFileW loop
// over an identical tree, and prints the ratio. Checks that both leave only the emptied folder.
// Usage: bench_disk [files] [rounds]      (default 100000 files, 3 rounds)
// Each round builds two trees and empties them part by part (10 folders of 100 sub-folders),
// the two sides taking turns; the ratio is the median of the rounds. So a machine whose load comes
// and goes slows both sides alike.
#include "Bench.h"
#include "core/AppEnvironment.h"
#include "main/ClassHandler.h"
#include "core/Text.h"
#include "files/clsFiles.h"
#include <windows.h>
#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <string>
#include <vector>

namespace {

// A temp folder as programs leave it: 10 folders of 100 sub-folders, the files spread over them.
void BuildTree(const std::wstring& root, int files) {
    CreateDirectoryW(root.c_str(), nullptr);
    std::vector<std::wstring> folders;
    for (int a = 0; a < 10; ++a) {
        const std::wstring top = root + L"cache" + std::to_wstring(a) + L"\\";
        CreateDirectoryW(top.c_str(), nullptr);
        for (int b = 0; b < 100; ++b) {
            folders.push_back(top + L"sub" + std::to_wstring(b) + L"\\");
            CreateDirectoryW(folders.back().c_str(), nullptr);
        }
    }
    const char data[512] = {};
    for (int i = 0; i < files; ++i) {
        const std::wstring name = folders[i % folders.size()] + L"tmp" + std::to_wstring(i) + L".dat";
        HANDLE h = CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        DWORD n;
        WriteFile(h, data, 1 + i % sizeof data, &n, nullptr);
        CloseHandle(h);
    }
}

// The plain way: every file with DeleteFileW, then the emptied folders, children first.
void PlainEmpty(const std::wstring& folder) {
    WIN32_FIND_DATAW fd;
    HANDLE find = FindFirstFileW((folder + L"*").c_str(), &fd);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
        const std::wstring name = fd.cFileName;
        if (name == L"." || name == L"..") continue;
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            PlainEmpty(folder + name + L"\\");
            RemoveDirectoryW((folder + name).c_str());
        } else {
            DeleteFileW((folder + name).c_str());
        }
    } while (FindNextFileW(find, &fd));
    FindClose(find);
}

bool IsEmpty(const std::wstring& folder) {
    WIN32_FIND_DATAW fd;
    HANDLE find = FindFirstFileW((folder + L"*").c_str(), &fd);
    if (find == INVALID_HANDLE_VALUE) return false;
    int entries = 0;
    do entries += std::wstring(fd.cFileName) != L"." && std::wstring(fd.cFileName) != L"..";
    while (FindNextFileW(find, &fd));
    FindClose(find);
    return entries == 0;
}
}  // namespace

int wmain(int argc, wchar_t** argv) {
    InstallServices();
    const int files = argc > 1 && _wtoi(argv[1]) > 0 ? _wtoi(argv[1]) : 100000;
    const int rounds = argc > 2 && _wtoi(argv[2]) > 0 ? _wtoi(argv[2]) : 3;

    wchar_t tmp[MAX_PATH], win[MAX_PATH];
    GetTempPathW(MAX_PATH, tmp);
    GetWindowsDirectoryW(win, MAX_PATH);
    const std::wstring dir = std::wstring(tmp) + L"torvane_bench_disk_" + std::to_wstring(GetCurrentProcessId()) + L"\\";
    CreateDirectoryW(dir.c_str(), nullptr);
    AppEnvironment.InstallDir = dir + L"Torvane\\";
    AppEnvironment.BackupDir = AppEnvironment.InstallDir + L"Backup\\";
    AppEnvironment.WinDir = std::wstring(win) + L"\\";
    CreateDirectoryW(AppEnvironment.InstallDir.c_str(), nullptr);
    AppSwitches = AppSwitchesRecord{};  // logging off
    AppSwitches.Recycler = 0;           // for good, as the plain loop

    Out(L"Emptying a tree of %d files in 1010 folders, %d rounds\n", files, rounds);
    std::vector<double> ratios;
    bool sound = true;
    for (int r = 0; r < rounds; ++r) {
        const std::wstring plainTree = dir + L"plain\\", ownTree = dir + L"Temp\\";
        const double building = Now();
        BuildTree(plainTree, files);
        BuildTree(ownTree, files);
        Out(L"round %d: two trees built in %.0f s\n", r + 1, Now() - building);
        // Part by part, taking turns, so that a load that comes and goes slows both sides alike.
        double plain = 0, own = 0;
        DeleteCount count;
        for (int part = 0; part < 10; ++part) {
            const std::wstring name = L"cache" + std::to_wstring(part) + L"\\";
            for (int side = 0; side < 2; ++side) {
                const double start = Now();
                if ((side + part + r) % 2 == 0) {
                    PlainEmpty(plainTree + name);
                    RemoveDirectoryW((plainTree + name).c_str());
                    plain += Now() - start;
                } else {
                    const DeleteCount c = ClassHandler().Files().FileDel(ownTree + name);
                    RemoveDirectoryW((ownTree + name).c_str());
                    own += Now() - start;
                    count.deleted += c.deleted;
                    count.kept += c.kept;
                }
            }
        }
        const bool ok = IsEmpty(plainTree) && IsEmpty(ownTree) && count.deleted == size_t(files) + 1000 && count.kept == 0;
        sound = sound && ok;
        ratios.push_back(own / plain);
        Out(L"round %d: DeleteFileW loop %.2f s, FileDel %.2f s (%zu deleted, %zu kept), ratio %.2f%ls\n", r + 1, plain,
            own, count.deleted, count.kept, own / plain, ok ? L"" : L"  NOT EMPTIED AS EXPECTED");
        RemoveDirectoryW(plainTree.c_str());
        RemoveDirectoryW(ownTree.c_str());
    }
    std::sort(ratios.begin(), ratios.end());
    const double median = ratios[ratios.size() / 2];
    Out(L"median ratio FileDel / DeleteFileW loop: %.2f (target <= 1.50) %ls\n", median,
        median <= 1.5 ? L"met" : L"MISSED");
    RemoveDirectoryW(AppEnvironment.InstallDir.c_str());
    RemoveDirectoryW(dir.c_str());
    return sound && median <= 1.5 ? 0 : 1;
}
