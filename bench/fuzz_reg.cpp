// bench/fuzz_reg.cpp
// The registry-file fuzzer at length: damaged copies of real-form registry files (UTF-16 and ANSI),
// each read and planned as a write-back would be, none allowed to crash, to break the plan's
// promises or to hold more than its bound. Reads the registry (keys below the tests' own key), never
// writes it. Prints the figures; a crash prints the seed and number of its input and ends with exit
// code 3, a fault gives exit code 1.
// Usage: bench_fuzz_reg [inputs (1000000)]
#define TORVANE_ALLOCATION_METER
#include "support/AllocationMeter.h"
#include "Bench.h"
#include "main/ClassHandler.h"
#include "support/HiveFuzz.h"
#include "support/RegFuzz.h"
#include <windows.h>
#include <psapi.h>
#include <algorithm>
#include <cwchar>
#include <string>

int wmain(int argc, wchar_t** argv) {
    ReportFuzzCrashes();
    InstallServices();
    const unsigned long long inputs = argc > 1 ? wcstoull(argv[1], nullptr, 10) : 1000000ull;
    const std::vector<std::string> seeds = reg_fuzz::Seeds();
    const wchar_t* names[] = {L"UTF-16, version 5", L"ANSI, REGEDIT4", L"UTF-16, REGEDIT4", L"ANSI, version 5"};
    const double start = Now();
    unsigned long long counts[4] = {}, faults = 0;
    size_t peak = 0;
    for (unsigned long long i = 0; i < inputs; ++i) {
        const size_t s = static_cast<size_t>(i % seeds.size());
        const uint64_t number = i / seeds.size();
        hive_fuzz::current = {names[s], number};
        const RegRun run = RunRegInput(reg_fuzz::MakeInput(seeds[s], number));
        peak = std::max(peak, run.peak);
        ++counts[static_cast<int>(run.outcome)];
        if (run.outcome == RegOutcome::Failed || run.peak > run.Bound()) {
            if (++faults <= 20)
                Line(L"fault: input " + std::to_wstring(number) + L" of seed " + names[s] + L": " + run.message + L" (held " +
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
    Line(L"read whole: " + std::to_wstring(counts[static_cast<int>(RegOutcome::Read)]));
    Line(L"damaged (rows refused, nothing chosen): " + std::to_wstring(counts[static_cast<int>(RegOutcome::Damaged)]));
    Line(L"refused as a whole: " + std::to_wstring(counts[static_cast<int>(RegOutcome::Refused)]));
    Line(L"crashes: 0");
    Line(L"faults (promise broken, or over the bound): " + std::to_wstring(faults));
    Line(L"peak held while reading one input (allocation meter): " + Mb(peak));
    Line(L"process peak: working set " + Mb(pmc.PeakWorkingSetSize) + L", committed " + Mb(pmc.PeakPagefileUsage));
    return faults ? 1 : 0;
}
