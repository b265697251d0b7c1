#include <gtest/gtest.h>

#include <cstdint>

#include "engine/AudioBuffers.h"

using audio::Buffers;

namespace {

bool AllZero(const float* p, int n)
{
    for (int i = 0; i < n; ++i)
        if (p[i] != 0.0f)
            return false;
    return true;
}

}  // namespace

TEST(Buffers, NewBuffersAreAlignedZeroedAndPaddedPastTheBlock)
{
    Buffers b;
    b.Resize(16, 2, 300);
    EXPECT_EQ(b.GetBusCount(), 16);
    EXPECT_EQ(b.GetBlockSize(), 300);
    for (int bus = 0; bus < 16; ++bus) {
        for (int c = 0; c < 2; ++c) {
            float* p = b.GetChannel(bus, c);
            ASSERT_NE(p, nullptr);
            EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % 16, 0u);
            // 300 frames round up to 304, plus 8 floats of padding.
            EXPECT_TRUE(AllZero(p, 312));
        }
        EXPECT_FLOAT_EQ(b.GetBus(bus).level.load(), 1.0f);
        EXPECT_FLOAT_EQ(b.GetBus(bus).leftPan.load(), -1.0f);
        EXPECT_FLOAT_EQ(b.GetBus(bus).rightPan.load(), 1.0f);
    }
    EXPECT_EQ(b.GetChannel(16, 0), nullptr);
    EXPECT_EQ(b.GetChannel(0, 2), nullptr);
    EXPECT_EQ(b.GetChannel(-1, 0), nullptr);
}

TEST(Buffers, PaddingCoversWholeGroupsOfEightPlusEightFloats)
{
    EXPECT_EQ(Buffers::PaddedLength(0), 8);
    EXPECT_EQ(Buffers::PaddedLength(1), 16);
    EXPECT_EQ(Buffers::PaddedLength(8), 16);
    EXPECT_EQ(Buffers::PaddedLength(2048), 2056);
    EXPECT_EQ(Buffers::PaddedLength(2049), 2064);
}

TEST(Buffers, ResizeToSmallerBlockKeepsBuffersAndChannelCount)
{
    Buffers b;
    b.Resize(4, 2, 1024);
    float* before = b.GetChannel(3, 1);
    before[5] = 0.5f;
    b.Resize(4, 1, 256);  // smaller and with another channel count
    EXPECT_EQ(b.GetBlockSize(), 256);
    EXPECT_EQ(b.GetChannel(3, 1), before);
    EXPECT_EQ(b.GetBus(3).channelCount, 2);
    EXPECT_EQ(b.GetBus(3).capacity, 1024);
    EXPECT_FLOAT_EQ(before[5], 0.5f);
}

TEST(Buffers, ResizeLargerKeepsPanButResetsLevelAndPanPositions)
{
    Buffers b;
    b.Resize(2, 2, 64);
    b.GetBus(0).pan.store(0.25f);
    b.GetBus(0).level.store(0.5f);
    b.Resize(2, 2, 128);
    EXPECT_FLOAT_EQ(b.GetBus(0).pan.load(), 0.25f);
    EXPECT_FLOAT_EQ(b.GetBus(0).level.load(), 1.0f);
    EXPECT_EQ(b.GetBus(0).capacity, 128);
}

TEST(Buffers, SetBlockSizeGrowsBuffersButKeepsLevelPanAndChannels)
{
    Buffers b;
    b.Resize(16, 2, 64);
    b.GetBus(7).level.store(0.3f);
    b.GetBus(7).pan.store(-0.5f);
    b.GetBus(7).leftPan.store(-0.2f);
    b.SetBlockSize(4096);
    EXPECT_EQ(b.GetBlockSize(), 4096);
    EXPECT_EQ(b.GetBus(7).capacity, 4096);
    EXPECT_EQ(b.GetBus(7).channelCount, 2);
    EXPECT_FLOAT_EQ(b.GetBus(7).level.load(), 0.3f);
    EXPECT_FLOAT_EQ(b.GetBus(7).pan.load(), -0.5f);
    EXPECT_FLOAT_EQ(b.GetBus(7).leftPan.load(), -0.2f);
    EXPECT_TRUE(AllZero(b.GetChannel(7, 1), 4104));
    // Smaller: nothing changes but the block size.
    float* p = b.GetChannel(7, 0);
    b.SetBlockSize(32);
    EXPECT_EQ(b.GetChannel(7, 0), p);
    EXPECT_EQ(b.GetBlockSize(), 32);
}

TEST(Buffers, ClearActiveSilencesEveryBusAndClearFreesAll)
{
    Buffers b;
    b.Resize(16, 2, 64);
    b.SetHasSignal(3, true);
    b.SetBusOff(4, true);
    b.ClearActive();
    EXPECT_FALSE(b.HasSignal(3));
    EXPECT_TRUE(b.IsBusOff(4));  // the mixer's mute is not a per-block flag
    b.Clear();
    EXPECT_EQ(b.GetBusCount(), 0);
    EXPECT_EQ(b.GetBlockSize(), 0);
    EXPECT_FALSE(b.IsBusOff(4));
    EXPECT_EQ(b.GetChannel(0, 0), nullptr);
    // Usable again after a clear.
    b.Resize(1, 2, 16);
    EXPECT_NE(b.GetChannel(0, 1), nullptr);
}

TEST(Buffers, BusCountIsCappedAtTheTable)
{
    Buffers b;
    b.Resize(500, 1, 8);
    EXPECT_EQ(b.GetBusCount(), kOvMaxBuses);
    EXPECT_NE(b.GetChannel(kOvMaxBuses - 1, 0), nullptr);
}

TEST(Buffers, FlagsOfBusNumbersOutsideTheTableReadOffAndIgnoreWrites)
{
    Buffers b;
    b.Resize(2, 2, 16);
    for (int bus : {-1, kOvMaxBuses, 100000}) {
        b.SetHasSignal(bus, true);
        b.SetBusOff(bus, true);
        EXPECT_FALSE(b.HasSignal(bus));
        EXPECT_FALSE(b.IsBusOff(bus));
        EXPECT_EQ(b.GetChannel(bus, 0), nullptr);
    }
    EXPECT_FALSE(b.HasSignal(0));
    EXPECT_FALSE(b.IsBusOff(kOvMaxBuses - 1));
}
