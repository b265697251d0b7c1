// Sample memory: block placement, the budget and the default budget's figures.
#include <gtest/gtest.h>

#include <cstdlib>

#include "engine/GigaMemory.h"

namespace {

class FixedBudget : public GigaMemoryBudget {
public:
    bool Reserve(int64_t mb) override
    {
        if (used + mb > budget)
            return false;
        used += mb;
        return true;
    }
    void Release(int64_t mb) override { used -= mb; }
    int64_t budget = 1000;
    int64_t used = 0;
};

class GigaMemoryBlocks : public ::testing::Test {
protected:
    void SetUp() override { GigaHooks::SetBudget(&budget); }
    void TearDown() override { GigaHooks::SetBudget(nullptr); }
    FixedBudget budget;
};

}  // namespace

TEST_F(GigaMemoryBlocks, ReservationsNeverStraddleABlock)
{
    GigaMemory m;
    EXPECT_EQ(m.Reserve(20000000), 0);
    EXPECT_EQ(m.Reserve(20000000), 33554432);
    ASSERT_TRUE(m.Allocate());
    EXPECT_EQ(m.GetChargedMB(), 64 + 20000000 * 2 / 1048576);
    EXPECT_EQ(budget.used, m.GetChargedMB());
    EXPECT_NE(m.At(33554432 + 19999999), nullptr);
    EXPECT_EQ(m.At(33554432 + 20000000 + 4096), nullptr);
    m.Retain();
    m.Release();
    EXPECT_EQ(budget.used, 0);
    EXPECT_FALSE(m.HasBlocks());
}

TEST_F(GigaMemoryBlocks, BudgetRefusalPrintsAndChargesNothing)
{
    budget.used = 990;
    GigaMemory m;
    m.Reserve(20 * 1048576 / 2);
    testing::internal::CaptureStdout();
    EXPECT_FALSE(m.Allocate());
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Error:  Not enough memory\r\n");
    EXPECT_EQ(budget.used, 990);
    EXPECT_EQ(m.GetChargedMB(), 0);
    EXPECT_FALSE(m.HasBlocks());
}

TEST_F(GigaMemoryBlocks, SampleLargerThanABlockGetsABlockOfItsOwn)
{
    budget.budget = 100000;
    GigaMemory m;
    EXPECT_EQ(m.Reserve(1000), 0);
    const int64_t big = 33554432 + 1000;
    const int64_t at = m.Reserve(big);
    EXPECT_EQ(at, 33554432);
    const int64_t after = m.Reserve(10);
    EXPECT_EQ(after, at + big);
    ASSERT_TRUE(m.Allocate());
    ASSERT_NE(m.At(at + big - 1), nullptr);
    m.At(at + big - 1)[0] = 7;  // the whole sample is writable
    // The first block as a full one, the large sample's own block rounded up
    // to whole MB, and the 10 samples after it as whole MB (none).
    EXPECT_EQ(budget.used, 64 + 65);
    EXPECT_EQ(m.GetChargedMB(), 64 + 65);
    m.Retain();
    m.Release();
    EXPECT_EQ(budget.used, 0);
}

TEST_F(GigaMemoryBlocks, ReservationAfterAllocationIsAllocatedToo)
{
    GigaMemory m;
    m.Reserve(5000);
    ASSERT_TRUE(m.Allocate());
    const int64_t later = m.Reserve(5000);
    EXPECT_FALSE(m.Holds(later));
    ASSERT_TRUE(m.Allocate());
    EXPECT_TRUE(m.Holds(later));
    EXPECT_NE(m.At(later + 4999), nullptr);
    EXPECT_NE(m.At(later), m.At(0));

    // A failed load's pending reservation is dropped.
    const int64_t pending = m.Reserve(100);
    m.DropPending();
    EXPECT_FALSE(m.Holds(pending));
    EXPECT_TRUE(m.Holds(later));
}

TEST_F(GigaMemoryBlocks, RoomNoSampleFillsIsSilenceAndTheRoundedTailIsWritable)
{
    GigaMemory m;
    const int64_t a = m.Reserve(3000);
    const int64_t b = m.Reserve(1001);
    ASSERT_TRUE(m.Allocate());
    int16_t* first = m.At(a);
    ASSERT_NE(first, nullptr);
    first[0] = 5;
    first[2999] = -5;
    // The last block is rounded up to 2048 samples; all of it is zero until written.
    ASSERT_NE(m.At(4095), nullptr);
    EXPECT_EQ(m.At(4096), nullptr);
    for (int64_t i = 1; i < 4096; ++i) {
        if (i != 2999) {
            ASSERT_EQ(m.At(0)[i], 0) << i;
        }
    }
    m.At(b + 1000)[0] = 9;
    m.At(4095)[0] = 1;
    EXPECT_EQ(m.At(b + 1000)[0], 9);
    EXPECT_EQ(first[2999], -5);
}

TEST(GigaSystemBudget, EnvironmentForcesTheBudgetAndTheCapHolds)
{
    int64_t total = 0;
    int64_t available = 0;
    EXPECT_TRUE(GigaSystemBudget::ReadMemInfo(total, available));
    EXPECT_GT(total, 0);
    ::setenv("KIV_TEST_MEMORY_MB", "50", 1);
    GigaSystemBudget small;
    EXPECT_EQ(small.GetBudgetMB(), 50);
    EXPECT_TRUE(small.Reserve(50));
    EXPECT_FALSE(small.Reserve(1));
    small.Release(50);
    EXPECT_EQ(small.GetUsedMB(), 0);
    ::setenv("KIV_TEST_MEMORY_MB", "20000", 1);
    GigaSystemBudget capped;
    EXPECT_EQ(capped.GetBudgetMB(), 16384);
    ::unsetenv("KIV_TEST_MEMORY_MB");
}
