#include <gtest/gtest.h>

#include <vector>

#include "engine/GigaFile.h"
#include "engine/GigaStream.h"
#include "engine/GigaStreamConstants.h"
#include "GigaStreamTestBank.h"
#include "support/TestSupport.h"

namespace {

constexpr int kFloat = static_cast<int>(sizeof(float));

struct Fixture {
    kivtest::TempDir dir;
    streamtest::StreamBank bank;
    std::vector<float> left = std::vector<float>(giga::kStreamRefillFrames);
    std::vector<float> right = std::vector<float>(giga::kStreamRefillFrames);

    explicit Fixture(int channels, uint32_t frames = 60000)
    {
        EXPECT_TRUE(bank.Make(dir.File("Ramp.gig"), channels, frames));
    }
    void Refill(GigaStream* s) { s->Refill(left.data(), right.data()); }
};

}  // namespace

TEST(GigaStream, StartsAfterTheFramesInMemory)
{
    Fixture f(1);
    GigaSample* sample = f.bank.Sample();
    ASSERT_TRUE(sample->IsStreamed());
    ASSERT_EQ(sample->framesInMemory, 8820);
    GigaStream* s = GigaStream::TakeFor(sample);
    ASSERT_NE(s, nullptr);
    ASSERT_TRUE(s->Start(sample));
    EXPECT_EQ(s->GetFramesLeft(), 60000 - 8820);
    EXPECT_EQ(s->GetChannels(), 1);
    f.Refill(s);
    std::vector<float> out(1024);
    ASSERT_TRUE(s->Read(out.data(), nullptr, 1024));
    for (int i = 0; i < 1024; ++i)
        ASSERT_EQ(out[i], streamtest::Expected(8820 + i, 0)) << i;
    s->Recycle();
}

TEST(GigaStream, RefillsToAFullRing_OnlyWhenEnoughIsFree)
{
    Fixture f(1);
    GigaStream* s = GigaStream::TakeFor(f.bank.Sample());
    ASSERT_TRUE(s->Start(f.bank.Sample()));
    f.Refill(s);
    EXPECT_EQ(s->BytesQueued(), giga::kStreamRingBytes);
    std::vector<float> out(1024);
    ASSERT_TRUE(s->Read(out.data(), nullptr, 512));
    f.Refill(s);  // 2048 bytes free: not enough
    EXPECT_EQ(s->BytesQueued(), giga::kStreamRingBytes - 512 * kFloat);
    ASSERT_TRUE(s->Read(out.data(), nullptr, 512));
    f.Refill(s);
    EXPECT_EQ(s->BytesQueued(), giga::kStreamRingBytes);

    // A voice five octaves up reads 32 x 512 frames a block: rings for two
    // such blocks, filled in one pass; bounded for a hostile read; the usual
    // size again for the next ordinary voice.
    s->SetFinished();
    ASSERT_TRUE(s->Start(f.bank.Sample(), 0, 32 * 512 + 3));
    EXPECT_EQ(s->RingBytes(), 262144);
    f.Refill(s);
    EXPECT_EQ(s->BytesQueued(), (60000 - 8820) * kFloat);
    EXPECT_TRUE(s->IsDrained());
    std::vector<float> all(60000 - 8820);
    ASSERT_TRUE(s->Read(all.data(), nullptr, 60000 - 8820));
    EXPECT_EQ(all.back(), streamtest::Expected(59999, 0));
    ASSERT_TRUE(s->Start(f.bank.Sample(), 0, int64_t{1} << 40));
    EXPECT_EQ(s->RingBytes(), giga::kMaxStreamRingBytes);
    ASSERT_TRUE(s->Start(f.bank.Sample(), 0, 512 + 3));
    EXPECT_EQ(s->RingBytes(), giga::kStreamRingBytes);
    s->Recycle();
}

TEST(GigaStream, StereoFillsBothRingsAndEndsWithAShortRead)
{
    Fixture f(2, 8820 + 1500);
    GigaStream* s = GigaStream::TakeFor(f.bank.Sample());
    ASSERT_TRUE(s->Start(f.bank.Sample()));
    EXPECT_EQ(s->GetChannels(), 2);
    f.Refill(s);
    f.Refill(s);
    EXPECT_EQ(s->GetFramesLeft(), 0);
    EXPECT_EQ(s->BytesQueued(), 1500 * kFloat);
    f.Refill(s);  // nothing left to stream: no refill
    EXPECT_EQ(s->BytesQueued(), 1500 * kFloat);
    std::vector<float> l(2000), r(2000);
    EXPECT_FALSE(s->Read(l.data(), r.data(), 2000));  // the voice sees the end
    for (int i = 0; i < 1500; ++i) {
        ASSERT_EQ(l[i], streamtest::Expected(8820 + i, 0)) << i;
        ASSERT_EQ(r[i], streamtest::Expected(8820 + i, 1)) << i;
    }
    s->Recycle();
}

TEST(GigaStream, PoolMakesStreamsOnDemandAndTakesThemBack)
{
    Fixture f(1);
    GigaStreamPool* pool = f.bank.Sample()->file->GetStreamPool();
    ASSERT_NE(pool, nullptr);
    EXPECT_EQ(pool->Made(), giga::kStreamsPerFile);
    std::vector<GigaStream*> taken;
    for (int i = 0; i < giga::kStreamsPerFile + 2; ++i)
        taken.push_back(pool->Take());
    EXPECT_EQ(pool->Made(), giga::kStreamsPerFile + 2);
    EXPECT_EQ(pool->Idle(), 0);
    for (GigaStream* s : taken)
        s->Recycle();
    EXPECT_EQ(pool->Idle(), giga::kStreamsPerFile + 2);
}
