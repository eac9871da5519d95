// tests/support/HiveFuzz.h
// Fuzzing the hive reader: damaged copies of a sound hive or of its transaction logs, read from
// memory through the reader's file seam, each read whole or refused, and what it held at its peak
// measured by the allocation meter. Shared by the registry tests and bench/fuzz_hive.
#pragma once
#include "core/RuntimeError.h"
#include "core/Text.h"
#include "registry/HiveFile.h"
#include "support/AllocationMeter.h"
#include "support/Fuzz.h"
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

// A hive and its logs as bytes (a log "" when there is none), and the path it is read under.
struct HiveSeed {
    std::wstring path;
    std::string hive, log1, log2;
};

inline std::string HiveSeedBytes(const std::wstring& path) {
    std::vector<uint8_t> bytes;
    DWORD error = 0;
    if (!HiveFile::ReadFromDisk(path, bytes, error)) return "";
    return std::string(bytes.begin(), bytes.end());
}

inline HiveSeed LoadHiveSeed(const std::wstring& path) {
    return {path, HiveSeedBytes(path), HiveSeedBytes(path + L".LOG1"), HiveSeedBytes(path + L".LOG2")};
}

namespace hive_fuzz {
inline uint32_t Get32(const std::string& s, size_t at) {
    uint32_t v;
    memcpy(&v, s.data() + at, 4);
    return v;
}
inline void Put32(std::string& s, size_t at, uint32_t v) { memcpy(s.data() + at, &v, 4); }

// The base block's checksum made right again.
inline void FixChecksum(std::string& s) {
    if (s.size() < 512) return;
    uint32_t c = 0;
    for (size_t i = 0; i < 127; ++i) c ^= Get32(s, 4 * i);
    if (c == 0xFFFFFFFF) c = 0xFFFFFFFE;
    if (c == 0) c = 1;
    Put32(s, 508, c);
}

// A log's base block checksum and the two hashes of each of its entries made right again.
inline void FixLog(std::string& s) {
    FixChecksum(s);
    for (size_t at = 512; at + 40 <= s.size();) {
        const uint32_t size = Get32(s, at + 4);
        if (memcmp(s.data() + at, "HvLE", 4) != 0 || size < 40 || size % 512 || size > s.size() - at) break;
        const uint8_t* e = reinterpret_cast<const uint8_t*>(s.data() + at);
        const uint64_t h1 = HiveLogHash(e + 40, size - 40);
        memcpy(s.data() + at + 24, &h1, 8);
        const uint64_t h2 = HiveLogHash(e, 32);
        memcpy(s.data() + at + 32, &h2, 8);
        at += size;
    }
}
}  // namespace hive_fuzz

// Input `number` of a seed: the hive or one of its logs damaged (Mutate), and most of the time
// their checksum and hashes made right again, so the damage reaches the checks behind them.
inline HiveSeed MakeHiveInput(const HiveSeed& seed, uint64_t number) {
    FuzzRandom r(number * 0x9E3779B97F4A7C15ull + 7);
    HiveSeed in = seed;
    const bool logs = !seed.log1.empty() || !seed.log2.empty();
    std::string* target = &in.hive;
    if (logs && r.Below(3))  // the logs twice as often as the hive
        target = seed.log2.empty() || (!seed.log1.empty() && r.OneIn(2)) ? &in.log1 : &in.log2;
    *target = Mutate(*target, number);
    if (!r.OneIn(4)) {
        if (target == &in.hive) hive_fuzz::FixChecksum(*target);
        else hive_fuzz::FixLog(*target);
    }
    return in;
}

enum class HiveOutcome { Read, Refused, Failed };

struct HiveRun {
    HiveOutcome outcome = HiveOutcome::Failed;
    size_t peak = 0;         // the most the reading held at once (allocation meter), in bytes
    size_t inputBytes = 0;   // the hive and its logs together
    std::wstring message;    // the refusal, or what went wrong
    // What the reading may hold at most: twice its files and a few MB.
    size_t Bound() const { return 2 * inputBytes + (4u << 20); }
};

// Reads the input as the offline scan does: opens it (logs applied when it asks for them), then
// every key's name, values and sub-keys and one look-up by path. A refusal (RuntimeError) on
// opening is an answer; anything else thrown, or a refusal after it opened, is a fault.
inline HiveRun RunHiveInput(const HiveSeed& in) {
    HiveRun run;
    run.inputBytes = in.hive.size() + in.log1.size() + in.log2.size();
    const HiveFile::FileReader read = [&in](const std::wstring& path, std::vector<uint8_t>& out, DWORD& error) {
        const std::string* s = path == in.path ? &in.hive : path == in.path + L".LOG1" ? &in.log1
                               : path == in.path + L".LOG2" ? &in.log2 : nullptr;
        if (!s || (s != &in.hive && s->empty())) {
            error = ERROR_FILE_NOT_FOUND;
            return false;
        }
        out.assign(s->begin(), s->end());
        return true;
    };
    const size_t begin = allocation_meter::Begin();
    bool opened = false;
    try {
        HiveFile hive(in.path, read);
        opened = true;
        std::vector<HiveFile::Key> stack{hive.Root()};
        size_t keys = 0;
        while (!stack.empty()) {
            const HiveFile::Key k = stack.back();
            stack.pop_back();
            ++keys;
            hive.Name(k);
            hive.Values(k);
            for (HiveFile::Key sub : hive.SubKeys(k)) stack.push_back(sub);
        }
        HiveFile::Key found;
        hive.Find(L"Microsoft\\Windows\\CurrentVersion", found);
        run.outcome = HiveOutcome::Read;
    } catch (const RuntimeError& e) {
        run.outcome = opened ? HiveOutcome::Failed : HiveOutcome::Refused;
        run.message = (opened ? L"nach dem Öffnen: " : L"") + e.description;
    } catch (const std::exception& e) {
        run.outcome = HiveOutcome::Failed;
        run.message = FromUtf8(e.what());
    }
    run.peak = allocation_meter::PeakSince(begin);
    return run;
}

namespace hive_fuzz {
// The input being read, for the report of a crash.
struct Current {
    const wchar_t* seed = L"";
    uint64_t number = 0;
};
inline Current current;
}  // namespace hive_fuzz

// A crash while an input is read names the input (seed file and number) on standard error and
// ends the process with exit code 3.
inline void ReportFuzzCrashes() {
    SetUnhandledExceptionFilter([](EXCEPTION_POINTERS* e) -> LONG {
        fprintf(stderr, "crash: exception 0x%08lX reading input %llu of %s\n", e->ExceptionRecord->ExceptionCode,
                static_cast<unsigned long long>(hive_fuzz::current.number), ToUtf8(hive_fuzz::current.seed).c_str());
        fflush(stderr);
        ExitProcess(3);
    });
}
