// bench/hive.cpp
// Reads a hive file with our reader: opening (the whole file read and checked), then every key
// and value once, as the offline scan does. Prints the figures on one line each.
// Usage: bench_hive <hive file> [rounds]
#include "Bench.h"
#include "core/RuntimeError.h"
#include "core/Text.h"
#include "registry/HiveFile.h"
#include <windows.h>
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {
void Out(const std::wstring& s) { Write(s + L"\n"); }
std::wstring Fixed(double v, int digits) {
    wchar_t b[64];
    swprintf(b, 64, L"%.*f", digits, v);
    return b;
}
}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        Out(L"Aufruf: bench_hive <Registrierungsdatei> [Runden]");
        return 2;
    }
    const int rounds = argc > 2 ? std::max(1, _wtoi(argv[2])) : 3;
    std::vector<double> opens, walks;
    size_t values = 0, keys = 0, bytes = 0;
    for (int r = 0; r < rounds; ++r) {
        try {
            const double t0 = Now();
            HiveFile hive(argv[1]);
            const double t1 = Now();
            values = keys = bytes = 0;
            std::vector<HiveFile::Key> stack{hive.Root()};
            while (!stack.empty()) {
                const HiveFile::Key k = stack.back();
                stack.pop_back();
                ++keys;
                for (const RegValue& v : hive.Values(k)) {
                    ++values;
                    bytes += v.bytes;
                }
                for (HiveFile::Key sub : hive.SubKeys(k)) stack.push_back(sub);
            }
            opens.push_back(t1 - t0);
            walks.push_back(Now() - t1);
        } catch (const RuntimeError& e) {
            Out(e.description);
            return 2;
        }
    }
    std::sort(opens.begin(), opens.end());
    std::sort(walks.begin(), walks.end());
    const double open = opens[opens.size() / 2], walk = walks[walks.size() / 2];
    Out(L"keys " + std::to_wstring(keys) + L", values " + std::to_wstring(values) + L", data bytes " + std::to_wstring(bytes));
    Out(L"open and check: " + Fixed(open, 3) + L" s (median of " + std::to_wstring(rounds) + L")");
    Out(L"walk: " + Fixed(walk, 3) + L" s");
    Out(L"torvane reader: " + Fixed(values / (open + walk), 0) + L" values/s (open, check and walk)");
    return 0;
}
