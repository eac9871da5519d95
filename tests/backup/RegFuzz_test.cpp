// tests/backup/RegFuzz_test.cpp
// The registry-file reader and the restore plan survive any file: damaged copies of real-form
// files, and files made to be large, each read in bounded memory with the plan's promises kept.
#define TORVANE_ALLOCATION_METER
#include "support/AllocationMeter.h"
#include "core/AppEnvironment.h"
#include "support/RegFuzz.h"
#include "support/Sandbox.h"
#include <gtest/gtest.h>

namespace {
struct RegFuzz : ::testing::Test {
    RegistrySandbox sandbox;
    TempFolder folder;
    void SetUp() override { PrepareEnvironment(folder.Path()); }
};
}  // namespace

TEST_F(RegFuzz, SeedsAreReadWhole) {
    for (const std::string& seed : reg_fuzz::Seeds()) {
        const RegRun run = RunRegInput(seed);
        EXPECT_EQ(run.outcome, RegOutcome::Read) << ToUtf8(run.message);
        EXPECT_EQ(run.rows, 16u);
    }
}

TEST_F(RegFuzz, ThousandsOfDamagedFilesNeitherFailNorGrow) {
    const std::vector<std::string> seeds = reg_fuzz::Seeds();
    size_t counts[4] = {};
    for (uint64_t i = 0; i < 3000; ++i) {
        const std::string& seed = seeds[i % seeds.size()];
        const std::string input = reg_fuzz::MakeInput(seed, i / seeds.size());
        const RegRun run = RunRegInput(input);
        ++counts[static_cast<int>(run.outcome)];
        ASSERT_NE(run.outcome, RegOutcome::Failed) << "input " << i / seeds.size() << " of seed " << i % seeds.size() << ": "
                                                   << ToUtf8(run.message);
        ASSERT_LE(run.peak, run.Bound()) << "input " << i / seeds.size() << " of seed " << i % seeds.size();
    }
    // The damage reaches every outcome, so the test tries each path.
    EXPECT_GT(counts[static_cast<int>(RegOutcome::Read)], 100u);
    EXPECT_GT(counts[static_cast<int>(RegOutcome::Damaged)], 100u);
    EXPECT_GT(counts[static_cast<int>(RegOutcome::Refused)], 10u);
}

// Large files made to cost: one value of 4 MB of bytes, a string of 2 M characters, 100,000 rows
// of a few characters each. Each is held in about twice its text plus what its rows need.
TEST_F(RegFuzz, LargeFilesStayWithinTheirBound) {
    const std::wstring head = L"Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\TorvaneTest\\Gross]\r\n";
    std::wstring hex = head + L"\"bin\"=hex:";
    for (int i = 0; i < 4 << 20; ++i) hex += (i % 25 == 24) ? L"ab,\\\r\n  " : L"ab,";
    hex += L"00\r\n";
    std::wstring text = head + L"\"s\"=\"" + std::wstring(2 << 20, L'x') + L"\"\r\n";
    std::wstring rows = head;
    for (int i = 0; i < 100000; ++i) rows += L"\"" + std::to_wstring(i % 10) + L"\"=-\r\n";
    for (const std::wstring* t : {&hex, &text, &rows}) {
        const std::string bytes = reg_fuzz::Utf16File(*t);
        const RegRun run = RunRegInput(bytes);
        EXPECT_NE(run.outcome, RegOutcome::Failed) << ToUtf8(run.message);
        EXPECT_LE(run.peak, 2 * bytes.size() + 256 * run.lines + (4u << 20))
            << "held " << run.peak << " for " << bytes.size() << " bytes and " << run.lines << " lines";
    }
    // A file larger than the reader takes is refused by its size, before it is read.
    const std::wstring huge = folder.Path() + L"gross.reg";
    {
        HANDLE h = CreateFileW(huge.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        LARGE_INTEGER size;
        size.QuadPart = static_cast<LONGLONG>(kMaxRegFileBytes) + 1;
        SetFilePointerEx(h, size, nullptr, FILE_BEGIN);
        SetEndOfFile(h);
        CloseHandle(h);
    }
    const size_t begin = allocation_meter::Begin();
    const RestorePlan plan = PlanRestore(huge);
    EXPECT_FALSE(plan.readable);
    EXPECT_NE(plan.problem.find(L"größer als 256 MB"), std::wstring::npos) << ToUtf8(plan.problem);
    EXPECT_LT(allocation_meter::PeakSince(begin), 1u << 20);
}
