// bench/fuzz_hive.cpp
// The hive fuzzer at length: damaged copies of the hives in a folder (and of their logs), each read
// whole or refused by our reader, none allowed to crash or to hold more than twice its files and a
// few MB. Prints the figures; a crash prints the seed file and number of its input and ends with
// exit code 3, a fault (anything but a refusal thrown, or over the bound) gives exit code 1.
// Usage: bench_fuzz_hive [inputs (1000000)] [folder of hives (build\testhives)] [largest seed in KB (1024)]
#define TORVANE_ALLOCATION_METER
#include "support/AllocationMeter.h"
#include "Bench.h"
#include "support/HiveFuzz.h"
#include <windows.h>
#include <psapi.h>
#include <algorithm>
#include <cwchar>
#include <string>
#include <vector>

namespace {
// Every file below the folder that is a hive (not a log): "regf" and file type 0.
void FindHives(const std::wstring& folder, std::vector<std::wstring>& out) {
    WIN32_FIND_DATAW d;
    HANDLE h = FindFirstFileW((folder + L"\\*").c_str(), &d);
    if (h == INVALID_HANDLE_VALUE) return;
    do {
        const std::wstring name = d.cFileName;
        if (name == L"." || name == L"..") continue;
        const std::wstring path = folder + L"\\" + name;
        if (d.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) continue;  // links are not followed
        if (d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) FindHives(path, out);
        else out.push_back(path);
    } while (FindNextFileW(h, &d));
    FindClose(h);
}
}  // namespace

int wmain(int argc, wchar_t** argv) {
    ReportFuzzCrashes();
    const unsigned long long inputs = argc > 1 ? wcstoull(argv[1], nullptr, 10) : 1000000ull;
    std::wstring folder = argc > 2 ? argv[2] : L"";
    const size_t largest = (argc > 3 ? std::max(1, _wtoi(argv[3])) : 1024) * size_t{1024};
    if (folder.empty()) {
        wchar_t exe[MAX_PATH];
        GetModuleFileNameW(nullptr, exe, MAX_PATH);
        folder = exe;
        folder.resize(folder.find_last_of(L'\\'));
        folder += L"\\..\\testhives";  // build\bin\ -> build\testhives
    }
    std::vector<std::wstring> files;
    FindHives(folder, files);
    std::sort(files.begin(), files.end());
    std::vector<HiveSeed> seeds;
    size_t unread = 0, large = 0;
    for (const std::wstring& f : files) {
        HiveSeed seed = LoadHiveSeed(f);
        const std::string& h = seed.hive;
        if (h.size() < 512 || h.compare(0, 4, "regf") != 0 || hive_fuzz::Get32(h, 28) != 0) continue;
        if (h.size() + seed.log1.size() + seed.log2.size() > largest) {
            ++large;
            continue;
        }
        if (RunHiveInput(seed).outcome != HiveOutcome::Read) {
            ++unread;  // a damaged sample: its copies would all be refused for the same reason
            continue;
        }
        seeds.push_back(std::move(seed));
    }
    if (seeds.empty()) {
        Line(L"no hive to start from in " + folder);
        return 2;
    }
    Line(L"seeds: " + std::to_wstring(seeds.size()) + L" hives from " + folder + L" (left out: " + std::to_wstring(unread) +
         L" not readable, " + std::to_wstring(large) + L" larger than " + std::to_wstring(largest / 1024) + L" KB)");
    for (const HiveSeed& s : seeds)
        Line(L"  " + s.path + L" (" + std::to_wstring(s.hive.size()) + L" bytes" +
             (s.log1.empty() ? L"" : L", .LOG1 " + std::to_wstring(s.log1.size())) +
             (s.log2.empty() ? L"" : L", .LOG2 " + std::to_wstring(s.log2.size())) + L")");

    const double start = Now();
    unsigned long long read = 0, refused = 0, faults = 0;
    size_t peak = 0;
    for (unsigned long long i = 0; i < inputs; ++i) {
        const HiveSeed& seed = seeds[i % seeds.size()];
        const uint64_t number = i / seeds.size();
        hive_fuzz::current = {seed.path.c_str(), number};
        const HiveRun run = RunHiveInput(MakeHiveInput(seed, number));
        peak = std::max(peak, run.peak);
        if (run.outcome == HiveOutcome::Read) ++read;
        else if (run.outcome == HiveOutcome::Refused) ++refused;
        if (run.outcome == HiveOutcome::Failed || run.peak > run.Bound()) {
            if (++faults <= 20)
                Line(L"fault: input " + std::to_wstring(number) + L" of " + seed.path + L": " + run.message + L" (held " +
                     std::to_wstring(run.peak) + L" bytes, bound " + std::to_wstring(run.Bound()) + L")");
        }
        if ((i + 1) % 100000 == 0)
            Line(L"  " + std::to_wstring(i + 1) + L" inputs, " + std::to_wstring(static_cast<long long>(Now() - start)) + L" s");
    }
    const double seconds = Now() - start;
    PROCESS_MEMORY_COUNTERS pmc{};
    pmc.cb = sizeof pmc;
    GetProcessMemoryInfo(GetCurrentProcess(), &pmc, sizeof pmc);
    wchar_t rate[64];
    swprintf(rate, 64, L"%.0f", seconds > 0 ? inputs / seconds : 0.0);
    Line(L"inputs: " + std::to_wstring(inputs) + L" in " + std::to_wstring(static_cast<long long>(seconds)) + L" s (" +
         rate + L" per second)");
    Line(L"read: " + std::to_wstring(read));
    Line(L"refused: " + std::to_wstring(refused));
    Line(L"crashes: 0");
    Line(L"faults (thrown otherwise, or over the bound): " + std::to_wstring(faults));
    Line(L"peak held while reading one input (allocation meter): " + Mb(peak));
    Line(L"process peak: working set " + Mb(pmc.PeakWorkingSetSize) + L", committed " + Mb(pmc.PeakPagefileUsage));
    return faults ? 1 : 0;
}
