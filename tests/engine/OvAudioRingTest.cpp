// ctest-label: thread
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <thread>
#include <vector>

#include "engine/OvAudioRing.h"
#include "engine/OvEngine.h"

namespace {

std::vector<uint8_t> Bytes(int n, int first)
{
    std::vector<uint8_t> v(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i)
        v[static_cast<size_t>(i)] = static_cast<uint8_t>(first + i);
    return v;
}

// Offline for the life of the object.
struct Offline {
    Offline() { OvEngine::SetOffline(true); }
    ~Offline() { OvEngine::SetOffline(false); }
};

}  // namespace

TEST(OvAudioRing, InitAcceptsOnlyPowersOfTwoAndAFailedInitLeavesItUnusable)
{
    OvAudioRing r;
    EXPECT_FALSE(r.Init(0));
    EXPECT_FALSE(r.Init(1));
    EXPECT_FALSE(r.Init(3000));
    EXPECT_FALSE(r.Init(-4096));
    auto b = Bytes(16, 0);
    EXPECT_EQ(r.Write(b.data(), 16), 0);
    EXPECT_EQ(r.Read(b.data(), 16), 0);
    ASSERT_TRUE(r.Init(2));
    ASSERT_TRUE(r.Init(4096));  // replaces the previous buffer
    EXPECT_EQ(r.GetSize(), 4096);
    EXPECT_FALSE(r.Init(4095));
    EXPECT_EQ(r.Write(b.data(), 16), 0);
}

TEST(OvAudioRing, FullRingHoldsItsSizeAndReportsNoFreeBytes)
{
    OvAudioRing r;
    ASSERT_TRUE(r.Init(4096));
    auto in = Bytes(5000, 1);
    EXPECT_EQ(r.Write(in.data(), 5000), 4096);
    EXPECT_EQ(r.GetUsed(), 4096);
    EXPECT_EQ(r.GetFree(), 0);
    EXPECT_EQ(r.Write(in.data(), 1), 0);
    std::vector<uint8_t> out(4096);
    EXPECT_EQ(r.Read(out.data(), 8000), 4096);
    EXPECT_EQ(out[4095], in[4095]);
    EXPECT_EQ(r.GetUsed(), 0);
}

TEST(OvAudioRing, WrappingWritesAndReadsCopyInTwoPieces)
{
    OvAudioRing r;
    ASSERT_TRUE(r.Init(64));
    auto a = Bytes(50, 0);
    ASSERT_EQ(r.Write(a.data(), 50), 50);
    std::vector<uint8_t> out(64);
    ASSERT_EQ(r.Read(out.data(), 40), 40);
    auto b = Bytes(40, 100);  // 14 bytes to the end, 26 from the start
    ASSERT_EQ(r.Write(b.data(), 40), 40);
    ASSERT_EQ(r.Read(out.data(), 64), 50);
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(out[static_cast<size_t>(i)], static_cast<uint8_t>(40 + i));
    for (int i = 0; i < 40; ++i)
        EXPECT_EQ(out[static_cast<size_t>(10 + i)], static_cast<uint8_t>(100 + i));
    r.Reset();
    EXPECT_EQ(r.GetUsed(), 0);
}

TEST(OvAudioRing, OfflineReadWaitsForTheWriter)
{
    OvAudioRing r;
    ASSERT_TRUE(r.Init(1024));
    Offline offline;
    std::thread writer([&] {
        auto data = Bytes(600, 0);
        for (int i = 0; i < 600; i += 100) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            r.Write(data.data() + i, 100);
        }
    });
    std::vector<uint8_t> out(600);
    EXPECT_EQ(r.Read(out.data(), 600), 600);
    writer.join();
    EXPECT_EQ(out[599], static_cast<uint8_t>(599 & 0xFF));
}

TEST(OvAudioRing, OfflineReadLargerThanTheRingIsServedInPieces)
{
    OvAudioRing r;
    ASSERT_TRUE(r.Init(256));
    Offline offline;
    auto data = Bytes(1000, 7);
    std::thread writer([&] {
        int done = 0;
        while (done < 1000) {
            done += r.Write(data.data() + done, 1000 - done);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    std::vector<uint8_t> out(1000);
    EXPECT_EQ(r.Read(out.data(), 1000), 1000);
    writer.join();
    EXPECT_EQ(out, data);
}

TEST(OvAudioRing, OfflineReadGivesUpAfterItsBoundWithWhatThereIs)
{
    OvAudioRing r;
    ASSERT_TRUE(r.Init(1024));
    auto data = Bytes(10, 0);
    r.Write(data.data(), 10);
    Offline offline;
    std::vector<uint8_t> out(100);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(r.Read(out.data(), 100), 10);
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, std::chrono::milliseconds(1500));
    EXPECT_LT(waited, std::chrono::seconds(30));  // bounded, not a hang
}
