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
#include <random>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <tuple>
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

    // A file's instruments as "name@position*rating", in file order.
    std::vector<std::string> Instruments(const std::string& relative)
    {
        std::vector<std::string> out;
        std::string sql = "SELECT iname, position, rating FROM inst JOIN file ON file_id = file.id JOIN path ON "
                          "path_id = path.id WHERE pname || fname = '" + m_root + relative + "' ORDER BY position;";
        for (auto& row : m_reader.Rows(sql.c_str()))
            out.push_back(row[0] + "@" + row[1] + "*" + row[2]);
        return out;
    }
    std::string InstrumentId(const std::string& name)
    {
        return m_reader.Value(("SELECT id FROM inst WHERE iname = '" + name + "';").c_str());
    }
    void Rate(const std::string& name, int position, int rating)
    {
        ASSERT_TRUE(m_reader.Exec("UPDATE inst SET rating = %d WHERE iname = '%s' AND position = %d;", rating,
                                  name.c_str(), position));
        ASSERT_EQ(m_reader.Changes(), 1) << name;
    }
    // Writes a new version of the file: a later time than the old one's,
    // whatever the file system's clock does.
    void Replace(const std::string& relative, const std::vector<std::string>& names, const char* bankName)
    {
        std::string path = m_root + relative;
        auto before = fs::last_write_time(path);
        gigtools::GigBuilder bank = NamedBank(names);
        bank.bankName = bankName;
        ASSERT_TRUE(bank.Write(path));
        fs::last_write_time(path, before + std::chrono::seconds(10));
    }

    std::string Count(const char* table)
    {
        return m_reader.Value((std::string("SELECT COUNT() FROM ") + table + ";").c_str());
    }

    // A tree of banks whose instrument names say which file they belong to.
    std::vector<std::string> Library(int folders, int files, int instruments, int firstFolder = 0)
    {
        std::vector<std::string> names;
        for (int f = firstFolder; f < firstFolder + folders; ++f) {
            for (int n = 0; n < files; ++n) {
                std::string name = kivtest::Numbered("f", f) + kivtest::Numbered("/b", n) + ".gig";
                std::vector<std::string> insts;
                for (int i = 0; i < instruments; ++i)
                    insts.push_back(name + " #" + std::to_string(i) + std::string(40, '.'));
                Gig(name, insts);
                names.push_back(name);
            }
        }
        return names;
    }

    // The database as a scan must leave it at any moment: sound, every row
    // under an existing parent, no folder or file twice, and each file
    // listed with all of its own instruments and no other. Gives the number
    // of files listed.
    int CheckConsistent(int instruments)
    {
        CheckSound();
        auto counts = m_reader.Rows("SELECT pname || fname, COUNT(inst.id) FROM file JOIN path ON path_id = path.id "
                                    "LEFT JOIN inst ON file_id = file.id GROUP BY file.id;");
        for (auto& row : counts)
            EXPECT_EQ(row[1], std::to_string(instruments)) << row[0];
        auto names = m_reader.Rows("SELECT pname || fname, position, iname FROM inst JOIN file ON file_id = file.id "
                                   "JOIN path ON path_id = path.id;");
        for (auto& row : names)
            EXPECT_EQ(row[2].substr(0, row[2].find('.', row[2].find(" #"))), row[0].substr(m_root.size()) + " #" + row[1]);
        return static_cast<int>(counts.size());
    }
    // Sound, every row under an existing parent, no folder or file twice.
    void CheckSound()
    {
        EXPECT_EQ(m_reader.Value("PRAGMA integrity_check;"), "ok");
        EXPECT_EQ(m_reader.Value("SELECT COUNT() FROM filestamp WHERE file_id NOT IN (SELECT id FROM file);"), "0");
        EXPECT_EQ(m_reader.Value("SELECT COUNT() FROM inst WHERE file_id NOT IN (SELECT id FROM file);"), "0");
        EXPECT_EQ(m_reader.Value("SELECT COUNT() FROM file WHERE path_id NOT IN (SELECT id FROM path);"), "0");
        EXPECT_EQ(m_reader.Value("SELECT COUNT() FROM (SELECT 1 FROM path GROUP BY pname HAVING COUNT() > 1);"), "0");
        EXPECT_EQ(m_reader.Value("SELECT COUNT() FROM (SELECT 1 FROM file GROUP BY path_id, fname "
                                 "HAVING COUNT() > 1);"),
                  "0");
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

TEST_F(GigaScanTest, RescansFollowTheDiskAndRatingsStayWithTheirInstruments)
{
    Gig("a/keep.gig", {"Piano", "Strings"});
    Gig("a/replace.gig", {"Grand", "Upright", "Dup", "Dup", "Pad"});
    Gig("a/gone.gig", {"Gone"});
    Gig("a/old.gig", {"Lead", "Bass"});
    Gig("c/only.gig", {"Only"});
    ScanAll();
    EXPECT_EQ(Count("file"), "5");
    Rate("Strings", 1, 2);
    for (auto [name, position, rating] : std::vector<std::tuple<const char*, int, int>>{
             {"Grand", 0, 5}, {"Upright", 1, 4}, {"Dup", 2, 3}, {"Dup", 3, 2}, {"Pad", 4, 1}})
        Rate(name, position, rating);
    Rate("Gone", 0, 5);
    Rate("Lead", 0, 4);
    const std::string grand = InstrumentId("Grand"), strings = InstrumentId("Strings");

    // The library as the musician changed it: a new version of one file,
    // one file deleted, one renamed into another folder, a folder emptied,
    // a file added, and one file only touched.
    Replace("a/replace.gig", {"Bright", "Grand", "Dup", "Pad 2", "Pad", "Dup"}, "Test Bank v2");
    fs::remove(m_root + "a/gone.gig");
    fs::create_directories(m_root + "b");
    fs::rename(m_root + "a/old.gig", m_root + "b/new name.gig");
    fs::remove(m_root + "c/only.gig");
    Gig("d/added.gig", {"Added"});
    fs::last_write_time(m_root + "a/keep.gig", fs::last_write_time(m_root + "a/keep.gig") + std::chrono::seconds(5));
    ScanAll();

    EXPECT_EQ(FilePaths(), (std::vector<std::string>{m_root + "a/keep.gig", m_root + "a/replace.gig",
                                                     m_root + "b/new name.gig", m_root + "d/added.gig"}));
    EXPECT_EQ(m_reader.Value("SELECT COUNT() FROM path WHERE pname LIKE '%/c/';"), "0") << "an emptied folder goes";
    // Moved instruments keep their row and stars; a name listed twice keeps
    // them where it can be told apart (same place, or one left on each
    // side); renamed and new instruments start unrated; a gone one is gone.
    EXPECT_EQ(Instruments("a/replace.gig"), (std::vector<std::string>{"Bright@0*0", "Grand@1*5", "Dup@2*3",
                                                                      "Pad 2@3*0", "Pad@4*1", "Dup@5*2"}));
    EXPECT_EQ(InstrumentId("Grand"), grand);
    EXPECT_EQ(InstrumentId("Upright"), "");
    EXPECT_EQ(Instruments("a/keep.gig"), (std::vector<std::string>{"Piano@0*0", "Strings@1*2"}));
    EXPECT_EQ(InstrumentId("Strings"), strings);
    EXPECT_EQ(Instruments("b/new name.gig"), (std::vector<std::string>{"Lead@0*4", "Bass@1*0"}));
    EXPECT_EQ(InstrumentId("Gone"), "");
    const ScanTally& tally = m_scan.GetTally();
    EXPECT_EQ(tally.removed, 3);
    EXPECT_EQ(tally.updated, 2);
    EXPECT_EQ(tally.rootFiles, 4);
    EXPECT_EQ(m_events.NewFiles(), 5 + 2);
    CheckSound();

    // A file listed by a build that kept no stamps is read once more; its
    // rows stay as they are when its instruments did.
    ASSERT_TRUE(m_reader.Exec("DELETE FROM filestamp;"));
    ScanAll();
    EXPECT_EQ(m_scan.GetTally().updated, 4);
    EXPECT_EQ(InstrumentId("Strings"), strings);
    EXPECT_EQ(Instruments("a/keep.gig"), (std::vector<std::string>{"Piano@0*0", "Strings@1*2"}));
    ScanAll();
    EXPECT_EQ(m_scan.GetTally().updated, 0);
    EXPECT_EQ(m_scan.GetTally().removed, 0);
    EXPECT_EQ(m_events.NewFiles(), 7);
    EXPECT_EQ(Count("inst"), "11");
}

TEST_F(GigaScanTest, ARootReachedThroughALinkIsListedOnceUnderItsRealPlace)
{
    Gig("real/lib/x.gig", {"Linked"});
    std::string real = m_root + "real/lib/", link = m_root + "link";
    fs::create_directory_symlink(real, link);
    // Rows an earlier scan made through the link, one of them rated, and a
    // second row of one file under its real name.
    {
        GigaBase& base = m_scan.GetBase();
        ASSERT_TRUE(base.UseRoot((link + "/").c_str()));
        int file = base.InsertFile(base.InsertPath((link + "/").c_str()), "x.gig");
        ASSERT_GE(base.InsertInstrument(file, "Linked", 0), 0);
        Rate("Linked", 0, 4);
    }
    ScanAll();
    {
        GigaBase& base = m_scan.GetBase();
        ASSERT_TRUE(base.UseRoot(real.c_str()));
        int twice = base.InsertFile(base.FindPath(real.c_str()), "x.gig");
        ASSERT_GE(base.InsertInstrument(twice, "Linked", 0), 0);
    }
    for (const std::string& root : {link, real, link + "/./"}) {
        int before = m_events.Done();
        ASSERT_TRUE(m_scan.Start(root.c_str(), &m_events));
        ASSERT_TRUE(m_events.WaitDone(before + 1));
    }
    EXPECT_EQ(FilePaths(), (std::vector<std::string>{real + "x.gig"}));
    EXPECT_EQ(m_reader.Rows("SELECT iname, rating FROM inst;"), (std::vector<std::vector<std::string>>{{"Linked", "4"}}));
    EXPECT_EQ(Count("path"), "1");
    GigaBase& base = m_scan.GetBase();
    EXPECT_EQ(base.CountRootFiles(base.FindRoot(link.c_str())), 1);
    EXPECT_EQ(base.CountRootFiles(base.FindRoot(real.c_str())), 1);
}

TEST_F(GigaScanTest, HostileAndLongFolderAndFileNamesFindTheFileAgain)
{
    // A folder path far longer than a formatted statement could hold.
    std::string longFolder;
    for (int level = 0; level < 12; ++level)
        longFolder += std::string(200, 'a' + level) + "/";
    Gig(longFolder + "long.gig", {"Far Down"});
    const std::string folder = "it's \"odd\" 100%_x/";
    const std::string name = "o'neil\"); DROP TABLE file; --.gig";
    Gig(folder + name, {"Don\xB4t \"quote\""});
    Gig(folder + "o_neil.gig");
    ScanAll();
    EXPECT_EQ(FilePaths(), (std::vector<std::string>{m_root + longFolder + "long.gig", m_root + folder + name,
                                                     m_root + folder + "o_neil.gig"}));
    EXPECT_EQ(m_reader.Value("SELECT iname FROM inst JOIN file ON file_id = file.id "
                             "WHERE fname LIKE 'o''neil%';"),
              "Don't \"quote\"");
    // Read like any other: the path is long, the system takes it.
    EXPECT_EQ(m_reader.Value("SELECT iname FROM inst JOIN file ON file_id = file.id WHERE fname = 'long.gig';"),
              "Far Down");
    EXPECT_EQ(m_scan.GetTally().unreadable, 0);
    EXPECT_EQ(m_scan.GetTally().notStored, 0);
    ScanAll();
    EXPECT_EQ(Count("file"), "3");
    EXPECT_EQ(m_scan.GetTally().updated, 0) << "nothing changed, nothing is read again";
}

TEST_F(GigaScanTest, OverlappingRootsListEveryFolderAndFileOnce)
{
    Gig("a/one.gig");
    Gig("a/deep/two.gig");
    Gig("b/three.gig");
    std::string a = m_root + "a", b = m_root + "b/";
    auto scanRoot = [&](const std::string& root) {
        int before = m_events.Done();
        ASSERT_TRUE(m_scan.Start(root.c_str(), &m_events));
        ASSERT_TRUE(m_events.WaitDone(before + 1));
    };
    scanRoot(a);  // a folder first, then its parent, then a folder inside that
    ScanAll();
    scanRoot(b);
    EXPECT_EQ(Count("root"), "3");
    EXPECT_EQ(Count("path"), "3");
    EXPECT_EQ(FilePaths(), (std::vector<std::string>{m_root + "a/deep/two.gig", m_root + "a/one.gig",
                                                     m_root + "b/three.gig"}));
    EXPECT_EQ(m_events.NewFiles(), 3);
    // Each listed folder counts the files inside it, whichever scan found them.
    GigaBase& base = m_scan.GetBase();
    EXPECT_EQ(base.CountRootFiles(base.FindRoot(a.c_str())), 2);
    EXPECT_EQ(base.CountRootFiles(base.FindRoot(m_root.c_str())), 3);
    EXPECT_EQ(base.CountRootFiles(base.FindRoot(b.c_str())), 1);
}

TEST_F(GigaScanTest, AScanKilledAtAnyMomentLeavesAConsistentDatabaseTheNextScanCompletes)
{
    const int kInstruments = 3;
    auto files = Library(4, 100, kInstruments);
    ScanAll();
    // Stars on every first instrument: they must outlive every kill.
    ASSERT_TRUE(m_reader.Exec("UPDATE inst SET rating = 3 WHERE position = 0;"));
    m_reader.Close();
    std::mt19937 random(20261209);
    for (int round = 0; round < 8; ++round) {
        // Every round has files to add, to read again and to take out, a
        // walk of the known ones first.
        auto more = Library(1, 100, kInstruments, 4 + round);
        files.insert(files.end(), more.begin(), more.end());
        for (int n = 0; n < 10; ++n) {
            size_t pick = random() % (files.size() - 100);
            std::vector<std::string> names;
            for (int i = 0; i < kInstruments; ++i)
                names.push_back(files[pick] + " #" + std::to_string(i) + std::string(40, '.'));
            Replace(files[pick], names, ("Test Bank " + std::to_string(round)).c_str());
        }
        for (int n = 0; n < 5; ++n) {
            size_t pick = random() % (files.size() - 100);
            fs::remove(m_root + files[pick]);
            files.erase(files.begin() + static_cast<long>(pick));
        }
        // A scanning process of its own, killed without warning.
        pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            GigaScan scan;
            EventLog events;
            if (scan.GetBase().OpenAt(m_dbPath.c_str()) && scan.Start(m_root.c_str(), &events))
                events.WaitDone();
            _exit(0);
        }
        std::this_thread::sleep_for(std::chrono::microseconds(3000 + random() % 25000));
        kill(child, SIGKILL);
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(m_reader.OpenFile(m_dbPath.c_str(), false));
        CheckConsistent(kInstruments);
        m_reader.Close();
        if (HasFailure())
            return;
    }
    ASSERT_TRUE(m_reader.OpenFile(m_dbPath.c_str(), false));
    EXPECT_EQ(m_reader.Value("PRAGMA journal_mode;"), "wal");
    ScanAll();
    EXPECT_EQ(m_scan.GetTally().notStored, 0);
    EXPECT_EQ(CheckConsistent(kInstruments), static_cast<int>(files.size()));
    // The files of the first scan (folders f0 to f3) that are still there
    // kept their stars, read again or not.
    EXPECT_EQ(m_reader.Value("SELECT COUNT() FROM inst WHERE rating = 3;"),
              m_reader.Value("SELECT COUNT() FROM inst JOIN file ON file_id = file.id JOIN path ON path_id = path.id "
                             "WHERE position = 0 AND substr(pname, -4) IN ('/f0/', '/f1/', '/f2/', '/f3/');"));
    EXPECT_NE(m_reader.Value("SELECT COUNT() FROM inst WHERE rating = 3;"), "0");
    ScanAll();
    EXPECT_EQ(m_scan.GetTally().updated, 0);
    EXPECT_EQ(m_scan.GetTally().removed, 0);
}

TEST_F(GigaScanTest, AFullDiskStoresWholeFilesOnlyAndTheNextScanAddsTheRest)
{
    const int kInstruments = 40;
    auto files = Library(3, 10, kInstruments);
    // Room for the tables and a few files only.
    GigaBase& base = m_scan.GetBase();
    ASSERT_TRUE(base.Exec("PRAGMA max_page_count = 16;"));
    ScanAll();
    const ScanTally& tally = m_scan.GetTally();
    EXPECT_GT(tally.notStored, 0);
    EXPECT_NE(tally.problem.find("full"), std::string::npos) << tally.problem;
    int listed = CheckConsistent(kInstruments);
    EXPECT_EQ(listed + tally.notStored, static_cast<int>(files.size()));
    EXPECT_EQ(m_events.NewFiles(), listed);

    // Space again: the files left out are added, each with its own names.
    ASSERT_TRUE(base.Exec("PRAGMA max_page_count = 1000000;"));
    ScanAll();
    EXPECT_EQ(m_scan.GetTally().notStored, 0);
    EXPECT_EQ(CheckConsistent(kInstruments), static_cast<int>(files.size()));
    EXPECT_EQ(m_events.NewFiles(), static_cast<int>(files.size()));
}

TEST_F(GigaScanTest, AFileThatCannotBeReadIsRecordedAndReadAgainByTheNextScan)
{
    Gig("a/whole.gig", {"Whole"});
    Gig("a/copying.gig", {"Late", "Later"});
    // Still being copied: shorter than its RIFF header says.
    std::string copying = m_root + "a/copying.gig";
    std::string bytes = kivtest::ReadFile(copying);
    ASSERT_TRUE(kivtest::WriteFile(copying, bytes.data(), bytes.size() / 2));
    ScanAll();
    EXPECT_EQ(m_scan.GetTally().unreadable, 1);
    EXPECT_EQ(Count("file"), "2");
    EXPECT_EQ(Count("inst"), "1");
    std::string id = m_reader.Value("SELECT id FROM file WHERE fname = 'copying.gig';");

    ASSERT_TRUE(kivtest::WriteFile(copying, bytes.data(), bytes.size()));
    ScanAll();
    EXPECT_EQ(m_scan.GetTally().unreadable, 0);
    EXPECT_EQ(Count("file"), "2");
    EXPECT_EQ(m_reader.Rows("SELECT file.id, version, iname FROM inst JOIN file ON file_id = file.id "
                            "WHERE fname = 'copying.gig' ORDER BY position;"),
              (std::vector<std::vector<std::string>>{{id, "3", "Late"}, {id, "3", "Later"}}));
    // Read now: the next scan leaves it alone.
    ScanAll();
    EXPECT_EQ(Count("inst"), "3");
    EXPECT_EQ(m_events.NewFiles(), 2);

    // A new version being copied over it: until it can be read, the file
    // keeps what it listed, stars included.
    Rate("Later", 1, 5);
    Replace("a/copying.gig", {"Late", "Later", "Latest"}, "Test Bank v2");
    std::string newer = kivtest::ReadFile(copying);
    auto time = fs::last_write_time(copying);
    ASSERT_TRUE(kivtest::WriteFile(copying, newer.data(), newer.size() / 2));
    fs::last_write_time(copying, time);
    ScanAll();
    EXPECT_EQ(m_scan.GetTally().unreadable, 1);
    EXPECT_EQ(Instruments("a/copying.gig"), (std::vector<std::string>{"Late@0*0", "Later@1*5"}));
    ASSERT_TRUE(kivtest::WriteFile(copying, newer.data(), newer.size()));
    ScanAll();
    EXPECT_EQ(m_scan.GetTally().unreadable, 0);
    EXPECT_EQ(Instruments("a/copying.gig"), (std::vector<std::string>{"Late@0*0", "Later@1*5", "Latest@2*0"}));
}

TEST_F(GigaScanTest, AReaderHoldingTheDatabaseDoesNotCostTheScanAFile)
{
    auto files = Library(2, 20, 2);
    // A search that keeps its read transaction longer than a writer would
    // wait for it.
    ASSERT_TRUE(m_reader.Exec("BEGIN;"));
    EXPECT_EQ(Count("file"), "0");
    ASSERT_TRUE(m_scan.Start(m_root.c_str(), &m_events));
    std::this_thread::sleep_for(std::chrono::milliseconds(kiv::kDbBusyTimeoutMs + 500));
    EXPECT_EQ(Count("file"), "0") << "the reader's view stays as it began";
    ASSERT_TRUE(m_reader.Exec("COMMIT;"));
    ASSERT_TRUE(m_events.WaitDone(1));
    EXPECT_EQ(m_scan.GetTally().notStored, 0) << m_scan.GetTally().problem;
    EXPECT_EQ(CheckConsistent(2), static_cast<int>(files.size()));
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
    EXPECT_EQ(m_scan.GetTally().notStored, 1);
    EXPECT_EQ(m_scan.GetTally().problem, "the database is locked by another program");
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
    EXPECT_EQ(m_scan.GetTally().foldersSkipped, 1) << "the folder left out is reported";
}

TEST_F(GigaScanTest, StartRefusesAMissingFolderAndTakesTheFolderAsNamed)
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
}

TEST_F(GigaScanTest, ADatabaseThatCannotBeUsedRefusesTheWalkAndSaysWhy)
{
    Gig("a/one.gig");
    // The database of the maker folder under a data folder of the test's.
    struct DataHome {
        explicit DataHome(const std::string& path) : old(getenv("XDG_DATA_HOME"))
        {
            fs::create_directories(path);
            setenv("XDG_DATA_HOME", path.c_str(), 1);
        }
        ~DataHome() { setenv("XDG_DATA_HOME", old.c_str(), 1); }
        std::string old;
    };
    auto refused = [&](GigaScan& scan) {
        int before = m_events.Done();
        EXPECT_TRUE(scan.Start(m_root.c_str(), &m_events));
        EXPECT_TRUE(m_events.WaitDone(before + 1));
        EXPECT_EQ(m_events.NewFiles(), 0);
        return scan.GetTally().refused;
    };
    {
        // The maker folder cannot be made: a file holds its name.
        DataHome home(m_dir.File("blocked"));
        ASSERT_TRUE(kivtest::WriteFile(m_dir.File("blocked/Quillane"), "x", 1));
        GigaScan scan;
        EXPECT_EQ(refused(scan), GigaBase::Problem::kCannotOpen);
        EXPECT_EQ(scan.GetBase().GetPath(), m_dir.File("blocked/Quillane/corvane.db"));
    }
    {
        DataHome home(m_dir.File("junk"));
        fs::create_directories(m_dir.File("junk/Quillane"));
        const std::string junk(5000, 'j');
        ASSERT_TRUE(kivtest::WriteFile(m_dir.File("junk/Quillane/corvane.db"), junk.data(), junk.size()));
        GigaScan scan;
        EXPECT_EQ(refused(scan), GigaBase::Problem::kNotDatabase);
        EXPECT_EQ(kivtest::ReadFile(m_dir.File("junk/Quillane/corvane.db")), junk) << "left as it was";
    }
    {
        // Another program holds the write lock past the bounded wait: the
        // new root cannot be listed.
        ASSERT_TRUE(m_reader.Exec("BEGIN EXCLUSIVE;"));
        EXPECT_EQ(refused(m_scan), GigaBase::Problem::kLocked);
        EXPECT_EQ(m_scan.GetTally().problem, "the database is locked by another program");
        ASSERT_TRUE(m_reader.Exec("ROLLBACK;"));
    }
    ScanAll();
    EXPECT_EQ(m_scan.GetTally().refused, GigaBase::Problem::kNone);
    EXPECT_EQ(Count("file"), "1");
}

TEST_F(GigaScanTest, StopUnwindsTheWalkAndStillPostsDone)
{
    for (int f = 0; f < 40; ++f)
        Gig(kivtest::Numbered("f", f) + "/b.gig");
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
        Gig(kivtest::Numbered("f", f) + "/b.gig");
    auto scan = std::make_unique<GigaScan>();
    ASSERT_TRUE(scan->GetBase().OpenAt(m_dbPath.c_str()));
    ASSERT_TRUE(scan->Start(m_root.c_str(), &m_events));
    scan.reset();
    EXPECT_EQ(m_events.Done(), 1);
}

}  // namespace
