// ctest-label: thread
#include "kiv/data/Thread.h"

#include "kiv/data/FourCC.h"

#include <gtest/gtest.h>
#include <pthread.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>

#include "support/TestSupport.h"

namespace {

int CurrentNice()
{
    return getpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)));
}

// Waits (bounded) until the worker has finished.
bool WaitIdle(const kiv::thread& t)
{
    for (int i = 0; i < 60000 && t.IsRunning(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return !t.IsRunning();
}

class Worker : public kiv::thread {
public:
    std::atomic<bool> release{true};
    std::atomic<bool> entered{false};
    std::atomic<int> runs{0};
    std::atomic<int> starts{0};
    std::atomic<int> nice{0};
    std::string threadName;
    bool throwInRun = false;

protected:
    void OnStart(uint32_t, int) override { starts.fetch_add(1, std::memory_order_relaxed); }
    void Run() override
    {
        char name[16] = {};
        pthread_getname_np(pthread_self(), name, sizeof(name));
        threadName = name;
        nice.store(CurrentNice(), std::memory_order_relaxed);
        entered.store(true, std::memory_order_release);
        while (!release.load(std::memory_order_acquire))
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        runs.fetch_add(1, std::memory_order_relaxed);
        if (throwInRun)
            throw std::runtime_error("worker failed");
    }
};

}  // namespace

TEST(Thread, StartWhileRunningFailsWithoutCallingOnStart)
{
    Worker w;
    w.release = false;
    ASSERT_TRUE(w.Start(fourcc("load"), 0));
    EXPECT_TRUE(w.IsRunning());
    EXPECT_EQ(w.GetCode(), fourcc("load"));
    EXPECT_FALSE(w.Start(fourcc("disk"), 0));
    EXPECT_EQ(w.starts.load(), 1);
    EXPECT_EQ(w.GetCode(), fourcc("load"));
    w.release = true;
    EXPECT_TRUE(WaitIdle(w));
    EXPECT_EQ(w.runs.load(), 1);
}

TEST(Thread, ThreadThatEndsAtOnceLeavesItIdleAndCanStartAgain)
{
    Worker w;
    for (int i = 0; i < 50; ++i) {
        ASSERT_TRUE(w.Start(fourcc("scan"), 0)) << i;
        ASSERT_TRUE(WaitIdle(w)) << i;
    }
    EXPECT_EQ(w.runs.load(), 50);
    EXPECT_EQ(w.starts.load(), 50);
}

TEST(Thread, ExceptionInRunEndsOnlyTheRun)
{
    Worker w;
    w.throwInRun = true;
    ASSERT_TRUE(w.Start(fourcc("plug"), 0));
    EXPECT_TRUE(WaitIdle(w));
    w.throwInRun = false;
    ASSERT_TRUE(w.Start(fourcc("plug"), 0));
    EXPECT_TRUE(WaitIdle(w));
    EXPECT_EQ(w.runs.load(), 2);
}

TEST(Thread, NameIsKeptToThirtyOneAndGivenToTheSystemThread)
{
    Worker w;
    std::string longName(60, 'n');
    longName.replace(0, 6, "loader");
    w.SetName(longName.c_str());
    EXPECT_EQ(std::string(w.GetName()), longName.substr(0, 31));
    ASSERT_TRUE(w.Start(fourcc("load"), 0));
    ASSERT_TRUE(WaitIdle(w));
    EXPECT_EQ(w.threadName, longName.substr(0, 15));
    w.SetName(nullptr);
    EXPECT_STREQ(w.GetName(), "");
}

TEST(Thread, PriorityStepsChangeNiceValueAtBestEffort)
{
    int base = CurrentNice();
    Worker w;
    for (int priority : {0, 3}) {
        ASSERT_TRUE(w.Start(fourcc("disk"), priority));
        ASSERT_TRUE(WaitIdle(w));
        EXPECT_EQ(w.nice.load(), base) << priority;
        EXPECT_EQ(w.GetPriority(), priority);
    }
    // Lowering is always allowed.
    ASSERT_TRUE(w.Start(fourcc("disk"), -2));
    ASSERT_TRUE(WaitIdle(w));
    EXPECT_GT(w.nice.load(), base < 19 ? base : 18);
    EXPECT_EQ(w.GetPriority(), -2);
    // Raising needs privileges; without them the thread still runs.
    ASSERT_TRUE(w.Start(fourcc("disk"), 2));
    ASSERT_TRUE(WaitIdle(w));
    EXPECT_LE(w.nice.load(), base);
    EXPECT_EQ(w.GetPriority(), 2);
    EXPECT_EQ(w.runs.load(), 4);
}

TEST(Thread, UsableProcessorsAreThoseOfTheThreadsAffinity)
{
    const int all = kiv::thread::UsableProcessors();
    EXPECT_GE(all, 1);
    EXPECT_LE(all, static_cast<int>(std::max(1u, std::thread::hardware_concurrency())));
    {
        kivtest::PinnedThread pin(1);
        ASSERT_TRUE(pin.Pinned());
        EXPECT_EQ(kiv::thread::UsableProcessors(), 1);
        // A thread started from it inherits the set.
        int inherited = 0;
        std::thread([&] { inherited = kiv::thread::UsableProcessors(); }).join();
        EXPECT_EQ(inherited, 1);
    }
    EXPECT_EQ(kiv::thread::UsableProcessors(), all);
}
