// tests/registry/HiveLimits_test.cpp
// Whatever a hive file or its logs hold, the reader answers (reads or refuses with the file and the
// reason) without crashing and within twice the files plus a few MB: the forms that once cost
// gigabytes or the stack, hand-made damage to lists, and thousands of fuzzed inputs.
#define TORVANE_ALLOCATION_METER  // the one file of the registry tests that counts what operator new holds
#include "support/AllocationMeter.h"
#include "core/Text.h"
#include "support/HiveFuzz.h"
#include "support/Hives.h"
#include <gtest/gtest.h>
#include <cstdio>

namespace {
// Opens a hive from disk and measures it; the files' sizes make the bound.
HiveRun Measure(const std::wstring& path) { return RunHiveInput(LoadHiveSeed(path)); }

void ExpectRefusedWithin(const HiveRun& run, const std::wstring& path, const std::wstring& reason) {
    EXPECT_EQ(run.outcome, HiveOutcome::Refused) << ToUtf8(run.message);
    EXPECT_NE(run.message.find(path), std::wstring::npos) << ToUtf8(run.message);
    EXPECT_NE(run.message.find(reason), std::wstring::npos) << ToUtf8(run.message);
    EXPECT_LE(run.peak, run.Bound()) << "held " << run.peak << " bytes for " << run.inputBytes << " bytes of files";
}

// The file offset of the "nk" of the key with this name.
size_t KeyAt(const std::string& hive, const std::string& name) {
    for (size_t at = hive.find("nk"); at != std::string::npos; at = hive.find("nk", at + 1))
        if (at + 76 + name.size() <= hive.size() && hive_fuzz::Get32(hive, at + 72) % 65536 == name.size() &&
            hive.compare(at + 76, name.size(), name) == 0)
            return at;
    return std::string::npos;
}

const std::vector<std::wstring>& FuzzSeeds() {
    static const std::vector<std::wstring> seeds = [] {
        const std::wstring h = TestHives();
        return std::vector<std::wstring>{h + L"fuzz\\small.hive",
                                         h + L"fuzz\\dirty.hive",
                                         h + L"fuzz\\dirtyold.hive",
                                         h + L"drive\\Windows\\System32\\config\\SOFTWARE",
                                         h + L"drive\\Users\\Anna\\NTUSER.DAT",
                                         h + L"drive\\Users\\Anna\\AppData\\Local\\Microsoft\\Windows\\UsrClass.dat"};
    }();
    return seeds;
}
}  // namespace

TEST(HiveLimits, KeysDeeperThanWindowsGoesAreRefused) {
    const std::wstring l = TestHives() + L"limits\\";
    // A chain to 512 levels below the root is read ...
    const HiveRun deepest = Measure(l + L"deep512.hive");
    ASSERT_EQ(deepest.outcome, HiveOutcome::Read) << ToUtf8(deepest.message);
    HiveFile hive(l + L"deep512.hive");
    std::wstring path = L"Microsoft\\Windows\\CurrentVersion\\Uninstall\\Alt";
    for (int i = 0; i < 507; ++i) path += L"\\Ebene";
    HiveFile::Key k;
    EXPECT_TRUE(hive.Find(path, k));
    EXPECT_TRUE(hive.SubKeys(k).empty());
    // ... one level more is not.
    ExpectRefusedWithin(Measure(l + L"deep513.hive"), l + L"deep513.hive", L"liegt mehr als 512 Ebenen tief");
    // 30,000 levels once ran the offline scan out of stack; the reader refuses them on opening.
    const std::wstring software = TestHives() + L"deep\\Windows\\System32\\config\\SOFTWARE";
    ExpectRefusedWithin(Measure(software), software, L"liegt mehr als 512 Ebenen tief");
}

TEST(HiveLimits, AnIndexRootThatRepeatsOneLeafIsRefusedBeforeItCostsMemory) {
    // 65,535 references to one leaf of 350 keys once gathered 23 million entries (290 MB).
    const std::wstring path = TestHives() + L"limits\\ripeat.hive";
    ExpectRefusedWithin(Measure(path), path, L"ist mehrfach verknüpft");
}

TEST(HiveLimits, ALogThatClaimsMoreThanItCarriesIsNotApplied) {
    // A 1 KB log whose one sound entry says the hive is 1 GiB once had the reader set aside 1 GiB.
    const std::wstring path = TestHives() + L"limits\\biglog.hive";
    const HiveRun run = Measure(path);
    ExpectRefusedWithin(run, path, L"nicht vollständig zurückgeschrieben");
    EXPECT_NE(run.message.find(L"das Protokoll " + path + L".LOG1 nennt 1073741824 Bytes Daten, mehr als es und die Datei "
                               L"zusammen enthalten"),
              std::wstring::npos) << ToUtf8(run.message);
}

TEST(HiveLimits, ListsThatNameMoreThanTheirKeyOrOneCellTwiceAreRefused) {
    const HiveSeed sample = LoadHiveSeed(TestHives() + L"reader\\sample.hive");
    ASSERT_FALSE(sample.hive.empty()) << "hives not built";
    const size_t viele = KeyAt(sample.hive, "Viele"), typen = KeyAt(sample.hive, "Typen");
    ASSERT_NE(viele, std::string::npos);
    ASSERT_NE(typen, std::string::npos);
    auto refusal = [&](auto change) {
        HiveSeed in = sample;
        change(in.hive);
        const HiveRun run = RunHiveInput(in);
        EXPECT_LE(run.peak, run.Bound()) << run.peak;
        EXPECT_EQ(run.outcome, HiveOutcome::Refused) << ToUtf8(run.message);
        EXPECT_NE(run.message.find(sample.path), std::wstring::npos) << ToUtf8(run.message);
        return run.message;
    };
    // The key says 699 sub-keys, its lists name 700: refused at the 700th.
    std::wstring text = refusal([&](std::string& h) { hive_fuzz::Put32(h, viele + 20, 699); });
    EXPECT_NE(text.find(L"nennt mehr als die 699 Unterschlüssel ihres Schlüssels"), std::wstring::npos) << ToUtf8(text);
    // A count no file of this size can hold is not believed (nor set aside).
    text = refusal([&](std::string& h) { hive_fuzz::Put32(h, viele + 20, 0xFFFFFFFF); });
    EXPECT_NE(text.find(L"nennt 4294967295 Unterschlüssel, mehr als die Datei fassen kann"), std::wstring::npos) << ToUtf8(text);
    // A value list that names one value twice.
    text = refusal([&](std::string& h) {
        const size_t list = 4096 + hive_fuzz::Get32(h, typen + 40) + 4;
        hive_fuzz::Put32(h, list + 4, hive_fuzz::Get32(h, list));
    });
    EXPECT_NE(text.find(L"ist mehrfach verknüpft"), std::wstring::npos) << ToUtf8(text);
    // Two keys sharing one sub-key list.
    text = refusal([&](std::string& h) { hive_fuzz::Put32(h, typen + 28, hive_fuzz::Get32(h, viele + 28)); hive_fuzz::Put32(h, typen + 20, 700); });
    EXPECT_NE(text.find(L"ist mehrfach verknüpft"), std::wstring::npos) << ToUtf8(text);
}

// Thousands of damaged copies of the small hives and logs of the fixture: each is read or refused,
// none crashes or holds more than twice its files and a few MB. The inputs are the same on every
// run; a fault names its seed and number, so it can be made again (MakeHiveInput).
TEST(HiveFuzz, EveryDamagedInputIsReadOrRefusedWithinTheBound) {
    ReportFuzzCrashes();
    constexpr uint64_t kPerSeed = 5000;
    size_t read = 0, refused = 0, failures = 0, worst = 0;
    for (const std::wstring& path : FuzzSeeds()) {
        const HiveSeed seed = LoadHiveSeed(path);
        ASSERT_FALSE(seed.hive.empty()) << ToUtf8(path) << ": hives not built";
        // The seed itself reads.
        ASSERT_EQ(RunHiveInput(seed).outcome, HiveOutcome::Read) << ToUtf8(path);
        for (uint64_t n = 0; n < kPerSeed && failures < 10; ++n) {
            hive_fuzz::current = {path.c_str(), n};
            const HiveRun run = RunHiveInput(MakeHiveInput(seed, n));
            worst = std::max(worst, run.peak);
            const bool fault = run.outcome == HiveOutcome::Failed || run.peak > run.Bound();
            if (fault) {
                ++failures;
                ADD_FAILURE() << ToUtf8(path) << " number " << n << ": " << ToUtf8(run.message) << " (held " << run.peak
                              << " bytes, bound " << run.Bound() << ")";
            }
            (run.outcome == HiveOutcome::Read ? read : refused)++;
        }
    }
    printf("fuzzed hives: %zu read, %zu refused, at most %zu bytes held\n", read, refused, worst);
    // Both answers occur: the damage reaches past the first checks.
    EXPECT_GT(read, 100u);
    EXPECT_GT(refused, 100u);
}
