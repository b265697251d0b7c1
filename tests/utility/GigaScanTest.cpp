// The folder scan on its thread over temporary trees: which entries it takes,
// the rows and events it makes, repeated scans, stopping and depth.
// ctest-label: thread
#include "utility/GigaScan.h"

#include "support/TestSupport.h"
#include "utility/CorvaneLimits.h"
#include "utility/UtilityTestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;
using utiltest::NamedBank;
using utiltest::RowReader;

// The window's queue: counts the events and lets the test wait for 'done'.
class EventLog : public ScanEventTarget {
public:
    bool PostEvent(const XEvent& event) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (static_cast<uint32_t>(event.kind) == corvane::kEventNewFile)
            ++m_newFiles;
        else if (static_cast<uint32_t>(event.kind) == corvane::kEventDone)
            ++m_done;
        m_changed.notify_all();
        return true;
    }
    // Waits (at most 60 s) until `count` 'done' events have come.
    bool WaitDone(int count = 1)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_changed.wait_for(lock, std::chrono::seconds(60), [&] { return m_done >= count; });
    }
    int NewFiles()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_newFiles;
    }
    int Done()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_done;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    int m_newFiles = 0;
    int m_done = 0;
};

class GigaScanTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_root = m_dir.File("lib") + "/";
        fs::create_directories(m_root);
        m_dbPath = m_dir.File("scan.db");
        ASSERT_TRUE(m_scan.GetBase().OpenAt(m_dbPath.c_str()));
        ASSERT_TRUE(m_reader.OpenFile(m_dbPath.c_str(), false));
    }

    void Gig(const std::string& relative, const std::vector<std::string>& names = {"Piano"})
    {
        fs::create_directories(fs::path(m_root + relative).parent_path());
        ASSERT_TRUE(NamedBank(names).Write(m_root + relative)) << relative;
    }

    // Scans the root to the end.
    void ScanAll()
    {
        int before = m_events.Done();
        ASSERT_TRUE(m_scan.Start(m_root.c_str(), &m_events));
        ASSERT_TRUE(m_events.WaitDone(before + 1));
    }

    // Every file row as folder + name, sorted.
    std::vector<std::string> FilePaths()
    {
        std::vector<std::string> paths;
        for (auto& row : m_reader.Rows("SELECT pname || fname FROM file JOIN path ON path_id = path.id ORDER BY 1;"))
            paths.push_back(row[0]);
        return paths;
    }

    std::string Count(const char* table)
    {
        return m_reader.Value((std::string("SELECT COUNT() FROM ") + table + ";").c_str());
    }

    kivtest::TempDir m_dir;
    std::string m_root;
    std::string m_dbPath;
    EventLog m_events;
    GigaScan m_scan;
    RowReader m_reader;
};

TEST_F(GigaScanTest, TakesGigFilesByNameAndPassesOverHiddenLinkedAndSpecialEntries)
{
    Gig("x.GIG", {"Upper", "Case"});
    Gig("sub/deep/y.gig", {"Deep"});
    Gig(".gig");
    Gig("a.gigx");
    Gig(".hidden/h.gig");
    Gig("sub/.dot/d.gig");
    ASSERT_EQ(mkfifo((m_root + "pipe.gig").c_str(), 0600), 0);  // opening it would block
    fs::create_directory_symlink("..", m_root + "sub/loop");      // a loop back up
    fs::create_directory_symlink(m_root + "sub", m_root + "linked");
    fs::create_symlink(m_root + "sub/deep/y.gig", m_root + "alias.gig");

    ScanAll();
    EXPECT_EQ(FilePaths(), (std::vector<std::string>{m_root + "alias.gig", m_root + "sub/deep/y.gig",
                                                     m_root + "x.GIG"}));
    EXPECT_EQ(m_events.NewFiles(), 3);
    EXPECT_EQ(m_events.Done(), 1);
    EXPECT_EQ(m_reader.Rows("SELECT iname, position FROM inst JOIN file ON file_id = file.id "
                            "WHERE fname = 'x.GIG' ORDER BY position;"),
              (std::vector<std::vector<std::string>>{{"Upper", "0"}, {"Case", "1"}}));
    EXPECT_EQ(m_reader.Value("SELECT rname FROM root;"), m_root);
    EXPECT_EQ(m_scan.GetBase().CountRootFiles(m_scan.GetBase().FindRoot(m_root.c_str())), 3);
}

TEST_F(GigaScanTest, RescanInsertsNothingAndANewFileJoinsItsKnownFolder)
{
    Gig("a/one.gig");
    Gig("a/two.gig");
    ScanAll();
    EXPECT_EQ(Count("file"), "2");
    EXPECT_EQ(Count("path"), "1");
    EXPECT_EQ(Count("inst"), "2");

    ScanAll();
    EXPECT_EQ(Count("root"), "1");
    EXPECT_EQ(Count("path"), "1");
    EXPECT_EQ(Count("file"), "2");
    EXPECT_EQ(Count("inst"), "2");
    EXPECT_EQ(m_events.NewFiles(), 2);

    Gig("a/three.gig");
    ScanAll();
    EXPECT_EQ(Count("path"), "1");
    EXPECT_EQ(Count("file"), "3");
    EXPECT_EQ(m_reader.Value("SELECT COUNT(DISTINCT path_id) FROM file;"), "1");
    EXPECT_EQ(m_events.NewFiles(), 3);
}

TEST_F(GigaScanTest, HostileFolderAndFileNamesFindTheFileAgain)
{
    const std::string folder = "it's \"odd\" 100%_x/";
    const std::string name = "o'neil\"); DROP TABLE file; --.gig";
    Gig(folder + name, {"Don\xB4t \"quote\""});
    Gig(folder + "o_neil.gig");
    ScanAll();
    EXPECT_EQ(FilePaths(), (std::vector<std::string>{m_root + folder + name, m_root + folder + "o_neil.gig"}));
    EXPECT_EQ(m_reader.Value("SELECT iname FROM inst JOIN file ON file_id = file.id "
                             "WHERE fname LIKE 'o''neil%';"),
              "Don't \"quote\"");
    ScanAll();
    EXPECT_EQ(Count("file"), "2");
}

TEST_F(GigaScanTest, FilesTheDatabaseRefusesAreLeftWholeForTheNextScan)
{
    ScanAll();  // the root row
    Gig("a/one.gig", {"First", "Second"});
    // Another program holds the file's write lock past the bounded wait.
    ASSERT_TRUE(m_reader.Exec("BEGIN IMMEDIATE;"));
    ScanAll();
    ASSERT_TRUE(m_reader.Exec("ROLLBACK;"));
    EXPECT_EQ(m_events.NewFiles(), 0);
    EXPECT_EQ(Count("path"), "0");
    EXPECT_EQ(Count("file"), "0");
    EXPECT_EQ(Count("inst"), "0");

    ScanAll();
    EXPECT_EQ(m_events.NewFiles(), 1);
    EXPECT_EQ(Count("file"), "1");
    EXPECT_EQ(Count("inst"), "2");
    EXPECT_EQ(m_reader.Value("SELECT COUNT() FROM file WHERE path_id < 0;"), "0");
}

TEST_F(GigaScanTest, FoldersBelowThePathStackAreNotWalked)
{
    std::string deep;
    for (int level = 1; level <= corvane::kPathIdDepth; ++level) {
        deep += "d/";
        if (level == corvane::kPathIdDepth - 1)
            Gig(deep + "last.gig");
    }
    Gig(deep + "beyond.gig");
    ScanAll();
    auto paths = FilePaths();
    ASSERT_EQ(paths.size(), 1u);
    EXPECT_NE(paths[0].find("/last.gig"), std::string::npos);
}

TEST_F(GigaScanTest, StartRefusesMissingFolderAndARootWithoutDatabase)
{
    EXPECT_FALSE(m_scan.Start((m_root + "nowhere/").c_str(), &m_events));
    EXPECT_FALSE(m_scan.Start("", &m_events));
    EXPECT_FALSE(m_scan.Start(nullptr, &m_events));
    // A folder whose name ends in a blank is not taken for its neighbour.
    fs::create_directories(m_dir.File("lib "));
    fs::create_directories(m_dir.File("other "));
    EXPECT_FALSE(m_scan.Start(m_dir.File("other").c_str(), &m_events));
    Gig("../lib /x.gig");
    ASSERT_TRUE(m_scan.Start(m_dir.File("lib ").c_str(), &m_events));
    ASSERT_TRUE(m_events.WaitDone(1));
    EXPECT_EQ(m_reader.Value("SELECT rname FROM root;"), m_dir.File("lib "));
    EXPECT_EQ(FilePaths(), (std::vector<std::string>{m_dir.File("lib ") + "/x.gig"}));
    GigaScan noDatabase;
    EXPECT_FALSE(noDatabase.Start(m_root.c_str(), &m_events));
    EXPECT_EQ(m_events.Done(), 1);
}

TEST_F(GigaScanTest, StopUnwindsTheWalkAndStillPostsDone)
{
    for (int f = 0; f < 40; ++f)
        Gig("f" + std::to_string(f) + "/b.gig");
    ASSERT_TRUE(m_scan.Start(m_root.c_str(), &m_events));
    m_scan.Stop();
    ASSERT_TRUE(m_events.WaitDone());
    EXPECT_TRUE(m_scan.WaitFinished(5000));
    EXPECT_EQ(m_events.Done(), 1);
    // Rows of files scanned before the stop stay; the count matches them.
    EXPECT_EQ(std::stoi(Count("file")), m_events.NewFiles());
    // The next folder of the window's sequence starts at once after 'done'.
    ScanAll();
    EXPECT_EQ(Count("file"), "40");
}

TEST_F(GigaScanTest, StartFromTheDoneEventIsNotRefusedByTheFinishingThread)
{
    Gig("one.gig");
    for (int round = 0; round < 20; ++round) {
        ASSERT_TRUE(m_scan.Start(m_root.c_str(), &m_events)) << round;
        ASSERT_TRUE(m_events.WaitDone(round + 1));
    }
    EXPECT_EQ(Count("file"), "1");
}

TEST_F(GigaScanTest, DestroyingARunningScannerStopsAndWaitsForItsThread)
{
    for (int f = 0; f < 30; ++f)
        Gig("f" + std::to_string(f) + "/b.gig");
    auto scan = std::make_unique<GigaScan>();
    ASSERT_TRUE(scan->GetBase().OpenAt(m_dbPath.c_str()));
    ASSERT_TRUE(scan->Start(m_root.c_str(), &m_events));
    scan.reset();
    EXPECT_EQ(m_events.Done(), 1);
}

}  // namespace
