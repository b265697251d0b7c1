// ctest-label: thread
// The decode pool: as many decoders as the loading thread may run at once
// beside the host's audio thread, a pool that is destroyed while a load uses
// it, and decoding work that throws.
#include "engine/GigaDecodePool.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <new>
#include <thread>
#include <vector>

#include "engine/GigaBank.h"
#include "kiv/data/Thread.h"
#include "support/TestSupport.h"

TEST(GigaDecodePool, DecodersFollowTheProcessorsTheLoaderMayUse)
{
    const int usable = kiv::thread::UsableProcessors();
    ASSERT_GE(usable, 1);
    EXPECT_EQ(GigaBank::GetDecodeThreads(), std::max(usable - 1, 1));
    // Pinned as taskset pins a process: one decoder for one or two
    // processors (the other is the audio thread's), three for four.
    for (int pinned : {1, 2, 4}) {
        kivtest::PinnedThread pin(pinned);
        if (!pin.Pinned())
            continue;
        EXPECT_EQ(kiv::thread::UsableProcessors(), pinned);
        EXPECT_EQ(GigaBank::GetDecodeThreads(), std::max(pinned - 1, 1)) << pinned;
    }
    EXPECT_EQ(kiv::thread::UsableProcessors(), usable);
}

// A load is decoding on the pool when the pool is destroyed (the library
// unloads): the destruction waits for the load, whose progress report is
// still running, and the load ends normally. Items whose work throws (a
// decoder out of memory) end neither the process nor the job.
TEST(GigaDecodePool, DestructionWaitsForTheLoadUsingItAndThrowingWorkEndsNothing)
{
    constexpr size_t kItems = 12;
    auto* pool = new GigaDecodePool;
    std::vector<std::atomic<int>> finished(kItems);
    std::atomic<int> started{0};
    const std::function<void(size_t)> work = [&](size_t i) {
        started.fetch_add(1, std::memory_order_acq_rel);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        if (i % 5 == 0)
            throw std::bad_alloc();
        finished[i].store(1, std::memory_order_release);
    };
    std::atomic<size_t> reported{0};
    const std::function<void(size_t)> progress = [&](size_t done) {
        // The last report is slow: the pool's threads are done by then.
        if (done == kItems)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        reported.store(done, std::memory_order_release);
    };
    std::atomic<bool> ran{false};
    std::thread loader([&, pool] { ran.store(pool->Run(kItems, 3, work, progress), std::memory_order_release); });
    while (started.load(std::memory_order_acquire) == 0)
        std::this_thread::yield();
    delete pool;
    // The load's last report, made before it lets go of the pool, is in;
    // whether its thread has stored what Run returned is the scheduler's
    // business.
    EXPECT_EQ(reported.load(std::memory_order_acquire), kItems) << "the pool went while its load still used it";
    loader.join();
    EXPECT_TRUE(ran.load());
    for (size_t i = 0; i < kItems; ++i)
        EXPECT_EQ(finished[i].load(), i % 5 == 0 ? 0 : 1) << i;
}
