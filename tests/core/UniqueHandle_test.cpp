// tests/core/UniqueHandle_test.cpp
#include "core/UniqueHandle.h"
#include "support/Sandbox.h"
#include <gtest/gtest.h>
#include <vector>

namespace {
// A handle kind of the test's own: every close is recorded, -1 is no handle.
std::vector<int> g_closed;
struct RecordClose {
    void operator()(int h) const noexcept { g_closed.push_back(h); }
};
struct MinusOneIsNone {
    static int None() noexcept { return -1; }
    static bool Valid(int h) noexcept { return h != -1; }
};
using Fake = UniqueHandle<int, RecordClose, MinusOneIsNone>;
using Closed = std::vector<int>;

class Owner : public ::testing::Test {
protected:
    void SetUp() override { g_closed.clear(); }
};

// Opens a file nobody else may open while the handle lives.
HANDLE OpenAlone(const std::wstring& path) {
    return CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}
}  // namespace

TEST_F(Owner, MoveLeavesTheSourceEmptyAndTheHandleIsClosedOnceByItsLastOwner) {
    {
        Fake a(7);
        Fake b(std::move(a));
        EXPECT_FALSE(a);
        EXPECT_EQ(a.get(), -1);
        EXPECT_EQ(b.get(), 7);
        Fake c(8);
        c = std::move(b);  // 8 goes, 7 moves on
        EXPECT_EQ(g_closed, Closed{8});
        EXPECT_FALSE(b);
        EXPECT_EQ(c.get(), 7);
        Fake& same = c;
        c = std::move(same);  // to itself: nothing happens
        EXPECT_EQ(c.get(), 7);
    }
    EXPECT_EQ(g_closed, (Closed{8, 7}));
}

TEST_F(Owner, ResetClosesTheOldHandleOnceAndReleaseNever) {
    {
        Fake a(1);
        a.reset(2);
        EXPECT_EQ(g_closed, Closed{1});
        a.reset(2);  // the same handle again is not closed under its owner
        EXPECT_EQ(g_closed, Closed{1});
        a.reset();
        EXPECT_EQ(g_closed, (Closed{1, 2}));
        EXPECT_FALSE(a);
        a.reset();  // empty: nothing to close twice
        EXPECT_EQ(g_closed, (Closed{1, 2}));

        Fake b(3);
        EXPECT_EQ(b.release(), 3);
        EXPECT_FALSE(b);
        Fake c(4);
        *c.put() = 5;  // put() gives the old one up first, as an out-parameter expects
        EXPECT_EQ(g_closed, (Closed{1, 2, 4}));
        EXPECT_EQ(c.get(), 5);
    }
    EXPECT_EQ(g_closed, (Closed{1, 2, 4, 5}));  // 3 was released: never closed
}

TEST_F(Owner, TheInvalidValueIsNeverClosed) {
    { Fake none(-1); Fake empty; EXPECT_FALSE(none); EXPECT_FALSE(empty); }
    EXPECT_TRUE(g_closed.empty());
    // Both "none" values of file handles count as no handle; null is none for keys and modules.
    EXPECT_FALSE(UniqueHFile(INVALID_HANDLE_VALUE));
    EXPECT_FALSE(UniqueHFile(nullptr));
    EXPECT_EQ(UniqueHFile().get(), INVALID_HANDLE_VALUE);
    EXPECT_EQ(UniqueHFind().get(), INVALID_HANDLE_VALUE);
    EXPECT_EQ(UniqueHKey().get(), nullptr);
    EXPECT_EQ(UniqueHModule().get(), nullptr);
}

TEST(OwnerOfSystemHandles, TheFileIsClosedWhenItsOwnerGoesOrIsReset) {
    TempFolder folder;
    const std::wstring path = folder.Path() + L"locked.bin";
    {
        UniqueHFile first(OpenAlone(path));
        ASSERT_TRUE(first);
        EXPECT_FALSE(UniqueHFile(OpenAlone(path)));  // still held
        UniqueHFile moved(std::move(first));
        EXPECT_EQ(first.get(), INVALID_HANDLE_VALUE);
        EXPECT_FALSE(UniqueHFile(OpenAlone(path)));  // the move did not close it
        moved.reset(OpenAlone(folder.Path() + L"other.bin"));
        EXPECT_TRUE(UniqueHFile(OpenAlone(path)));  // reset closed the first file
    }
    EXPECT_TRUE(DeleteFileW((folder.Path() + L"other.bin").c_str()));  // the owner's end closed the second
}
