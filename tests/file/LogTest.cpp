// ctest-label: thread
#include "kiv/file/Log.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

int* volatile g_sink = nullptr;

struct Logged : file::Log {
    void Step(int a) const { Print("Logged::Step(%d)", a); }
};

TEST(Log, PrintIsSilentWhileNoLogFileIsOpen)
{
    kivtest::TempDir dir;
    Logged obj;
    obj.Step(1);
    EXPECT_FALSE(file::Log::IsLogOpen());
    EXPECT_TRUE(kivtest::ReadFile(dir.File("log.txt")).empty());
}

TEST(Log, OpenLogGetsIndentedFlushedLinesAndClosesWithLastLog)
{
    kivtest::TempDir dir;
    {
        Logged obj;
        ASSERT_TRUE(file::Log::OpenLogFile(dir.File("log.txt").c_str()));
        obj.Step(1);
        file::Log::Indent(2);
        obj.Step(2);
        file::Log::Indent(20);  // clamped to 12 blanks
        obj.Step(3);
        file::Log::Indent(-100);
        // Flushed per line: readable while still open.
        EXPECT_EQ(kivtest::ReadFile(dir.File("log.txt")),
                  "Logged::Step(1)\n  Logged::Step(2)\n            Logged::Step(3)\n");
    }
    EXPECT_FALSE(file::Log::IsLogOpen());
}

// Lines printed from several threads while another opens and closes the
// log file over and over: no line goes to a file being closed (the
// sanitizers see any such write), and every line that reached a file is
// whole.
TEST(Log, ThreadsPrintWhileTheLogFileIsClosedAndOpenedAgain)
{
    kivtest::TempDir dir;
    const std::string path = dir.File("log.txt");
    Logged obj;
    std::atomic<bool> stop{false};
    std::vector<std::thread> printers;
    for (int t = 0; t < 3; ++t)
        printers.emplace_back([&] {
            while (!stop.load(std::memory_order_acquire))
                obj.Step(123456);
        });
    for (int round = 0; round < 300; ++round) {
        ASSERT_TRUE(file::Log::OpenLogFile(path.c_str()));
        std::this_thread::sleep_for(std::chrono::microseconds(round % 3 == 0 ? 200 : 0));
        file::Log::CloseLogFile();
    }
    stop.store(true, std::memory_order_release);
    for (std::thread& t : printers)
        t.join();
    EXPECT_FALSE(file::Log::IsLogOpen());
    std::istringstream lines(kivtest::ReadFile(path));
    std::string line;
    int count = 0;
    while (std::getline(lines, line)) {
        ASSERT_EQ(line, "Logged::Step(123456)");
        ++count;
    }
    EXPECT_GT(count, 0) << "no line was written while the log was open";
}

TEST(AllocCounter, CountsAllocationsOfTheArmedThreadOnly)
{
    kivtest::AllocCounter counter;
    EXPECT_EQ(counter.Count(), 0);
    int* volatile p = new int(3);
    g_sink = p;
    delete p;
    EXPECT_EQ(counter.Count(), 1);
}

}  // namespace
