#include "kiv/file/Log.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

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
