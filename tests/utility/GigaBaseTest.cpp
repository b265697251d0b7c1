// The instrument database: schema, lookups and the writer's quoting of
// names that hold quotes, wildcards, SQL or bytes that are not UTF-8.
#include "utility/GigaBase.h"

#include "kiv/file/Dir.h"
#include "support/TestSupport.h"
#include "utility/CorvaneLimits.h"
#include "utility/UtilityTestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <sys/stat.h>

namespace {

using utiltest::RowReader;

std::string DefaultDatabasePath()
{
    return std::string(getenv("XDG_DATA_HOME")) + "/Quillane/corvane.db";
}

class GigaBaseTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_path = m_dir.File("test.db");
        ASSERT_TRUE(m_base.OpenAt(m_path.c_str()));
        ASSERT_TRUE(m_reader.OpenFile(m_path.c_str(), false));
    }

    kivtest::TempDir m_dir;
    std::string m_path;
    GigaBase m_base;
    RowReader m_reader;
};

TEST(GigaBaseOpen, CreatesMakerFolderFileAndTheTablesOnce)
{
    file::RemoveFile(DefaultDatabasePath().c_str());
    std::string tabs7(7, '\t'), tabs8(8, '\t'), tabs9(9, '\t');
    const std::vector<std::vector<std::string>> expected = {
        {"root", "CREATE TABLE root (" + tabs8 + " id INTEGER PRIMARY KEY," + tabs7 + " rname VARCHAR(255) )"},
        {"path", "CREATE TABLE path (" + tabs8 + " id INTEGER PRIMARY KEY," + tabs7 + " root_id INTEGER," + tabs9 +
                     " pname VARCHAR(255) )"},
        {"file", "CREATE TABLE file (" + tabs8 + "  id INTEGER PRIMARY KEY," + tabs7 + "  path_id INTEGER," +
                     tabs9 + "  version INTEGER," + tabs9 + "  fname VARCHAR(255)," + tabs8 +
                     "  keyword VARCHAR(128) )"},
        {"inst", "CREATE TABLE inst (" + tabs8 + " id INTEGER PRIMARY KEY," + tabs7 + " file_id INTEGER," + tabs9 +
                     " position INTEGER," + tabs9 + " iname VARCHAR(64)," + tabs9 + " rating INTEGER )"},
        // Added beside them, read by no earlier build.
        {"filestamp", "CREATE TABLE filestamp (file_id INTEGER PRIMARY KEY, size INTEGER, mtime INTEGER)"},
        {"rootplace", "CREATE TABLE rootplace (root_id INTEGER PRIMARY KEY, walked TEXT)"},
    };
    {
        GigaBase base;
        ASSERT_TRUE(base.Open());
        EXPECT_TRUE(base.UseRoot("/music"));
    }
    struct stat info;
    ASSERT_EQ(stat(DefaultDatabasePath().c_str(), &info), 0);

    GigaBase again;
    ASSERT_TRUE(again.Open());
    EXPECT_TRUE(again.UseRoot("/music"));
    EXPECT_FALSE(again.IsNewRoot()) << "the second open kept the rows of the first";

    RowReader reader;
    ASSERT_TRUE(reader.OpenFile(DefaultDatabasePath().c_str(), false));
    EXPECT_EQ(reader.Rows("SELECT name, sql FROM sqlite_master WHERE type = 'table' ORDER BY rowid;"), expected);
    EXPECT_EQ(reader.Value("PRAGMA journal_mode;"), "wal");
}

TEST(GigaBaseOpen, LookupsUseIndexesAddedToAFileMadeWithoutThem)
{
    kivtest::TempDir dir;
    std::string path = dir.File("old.db");
    {
        // A file as an earlier utility left it: the four tables only, rows
        // in them, rollback journal.
        GigaBase made;
        ASSERT_TRUE(made.OpenAt(path.c_str()));
        RowReader old;
        ASSERT_TRUE(old.OpenFile(path.c_str(), false));
        for (const char* index : {"root_rname", "path_pname", "file_path_fname", "inst_file"})
            ASSERT_TRUE(old.Exec("DROP INDEX %s;", index));
        ASSERT_TRUE(old.Exec("DROP TABLE filestamp;"));
        ASSERT_TRUE(made.UseRoot("/r/"));
        ASSERT_GE(made.InsertFile(made.InsertPath("/r/a/"), "x.gig"), 0);
    }
    {
        RowReader old;
        ASSERT_TRUE(old.OpenFile(path.c_str(), false));
        ASSERT_EQ(old.Value("PRAGMA journal_mode = DELETE;"), "delete");
        ASSERT_EQ(old.Value("SELECT COUNT() FROM sqlite_master WHERE type = 'index';"), "0");
    }
    GigaBase base;
    ASSERT_TRUE(base.OpenAt(path.c_str()));
    RowReader reader;
    ASSERT_TRUE(reader.OpenFile(path.c_str(), false));
    // Each lookup of a scan is a search of an index, not a walk of the table.
    const std::pair<const char*, const char*> plans[] = {
        {"SELECT id FROM root WHERE rname = 'x';", "root_rname"},
        {"SELECT id FROM path WHERE pname = 'x';", "path_pname"},
        {"SELECT id, version FROM file WHERE path_id = 1 AND fname = 'x';", "file_path_fname"},
        {"SELECT id FROM path WHERE pname >= '/a/' AND pname < '/a0' LIMIT 1;", "path_pname"},
        {"SELECT id FROM inst WHERE file_id = 1;", "inst_file"},
    };
    for (const auto& [statement, index] : plans) {
        std::string plan;
        for (auto& row : reader.Rows((std::string("EXPLAIN QUERY PLAN ") + statement).c_str()))
            plan += row.back() + "\n";
        EXPECT_NE(plan.find("INDEX " + std::string(index) + " ("), std::string::npos) << statement << "\n" << plan;
    }
    // The rows are still there and still found; the file has no stamp yet.
    ASSERT_TRUE(base.UseRoot("/r/"));
    GigaKnownFile known;
    EXPECT_EQ(base.FindFile(base.FindPath("/r/a/"), "x.gig", &known), 1);
    EXPECT_FALSE(known.stamped);
    EXPECT_EQ(reader.Value("PRAGMA journal_mode;"), "wal");
}

TEST(GigaBaseOpen, LeavesAFileThatIsNotADatabaseUntouched)
{
    kivtest::TempDir dir;
    std::string path = dir.File("corvane.db");
    const std::string garbage(3000, 'x');
    ASSERT_TRUE(kivtest::WriteFile(path, garbage.data(), garbage.size()));
    GigaBase base;
    EXPECT_FALSE(base.OpenAt(path.c_str()));
    EXPECT_FALSE(base.IsOpen());
    EXPECT_EQ(kivtest::ReadFile(path), garbage);
    // Without a database nothing is found and nothing inserted.
    EXPECT_FALSE(base.UseRoot("/music"));
    EXPECT_EQ(base.InsertFile(1, "a.gig"), -1);
}

TEST_F(GigaBaseTest, NewRootSkipsLookupsAndAKnownRootFindsItsRows)
{
    EXPECT_EQ(m_base.FindRoot("/music/"), -1);
    ASSERT_TRUE(m_base.UseRoot("/music/"));
    EXPECT_TRUE(m_base.IsNewRoot());
    int rootId = m_base.GetRootId();
    int pathId = m_base.InsertPath("/music/strings/");
    ASSERT_GE(pathId, 0);
    ASSERT_GE(m_base.InsertFile(pathId, "violin.gig"), 0);
    // A new root holds no rows yet: no query is even made.
    EXPECT_EQ(m_base.FindPath("/music/strings/"), -1);
    EXPECT_EQ(m_base.FindFile(pathId, "violin.gig"), -1);

    GigaBase second;
    ASSERT_TRUE(second.OpenAt(m_path.c_str()));
    ASSERT_TRUE(second.UseRoot("/music/"));
    EXPECT_FALSE(second.IsNewRoot());
    EXPECT_EQ(second.GetRootId(), rootId);
    EXPECT_EQ(second.FindPath("/music/strings/"), pathId);
    EXPECT_GE(second.FindFile(pathId, "violin.gig"), 0);
    EXPECT_EQ(second.FindFile(pathId, "viola.gig"), -1);
    EXPECT_EQ(second.CountRootFiles(rootId), 1);
    EXPECT_EQ(second.CountRootFiles(-1), 0);
    EXPECT_EQ(m_reader.Value("SELECT version FROM file;"), "3");
}

TEST_F(GigaBaseTest, HostileNamesAreStoredByteForByteAndInjectNothing)
{
    const std::vector<std::string> names = {
        "it's",
        "say \"hi\"",
        "'); DROP TABLE inst; --",
        "\"); DELETE FROM file; --",
        "100% _wild_ \\ back",
        "fname",  // a column's name, read as a column inside double quotes
        std::string("caf\xE9 \xB4 \xFF\xFE \x80"),  // not UTF-8
        "line\nbreak\ttab",
    };
    ASSERT_TRUE(m_base.UseRoot("/r/"));
    int pathId = m_base.InsertPath("/r/it's \"here\"/");
    ASSERT_GE(pathId, 0);
    for (size_t i = 0; i < names.size(); ++i) {
        int fileId = m_base.InsertFile(pathId, names[i].c_str());
        ASSERT_GE(fileId, 0) << names[i] << ": " << m_base.GetError();
        EXPECT_TRUE(m_base.SetKeyword(fileId, names[i].c_str()));
        EXPECT_GE(m_base.InsertInstrument(fileId, names[i].c_str(), static_cast<int>(i)), 0);
    }
    auto files = m_reader.Rows("SELECT fname, keyword FROM file ORDER BY id;");
    auto insts = m_reader.Rows("SELECT iname, position FROM inst ORDER BY id;");
    ASSERT_EQ(files.size(), names.size());
    ASSERT_EQ(insts.size(), names.size());
    for (size_t i = 0; i < names.size(); ++i) {
        EXPECT_EQ(files[i][0], names[i]);
        EXPECT_EQ(files[i][1], names[i]);
        EXPECT_EQ(insts[i][0], names[i]);
        EXPECT_EQ(insts[i][1], std::to_string(i));
    }
    EXPECT_EQ(m_reader.Value("SELECT pname FROM path;"), "/r/it's \"here\"/");

    // Exact lookups: neither a wildcard nor a column name matches others.
    GigaBase known;
    ASSERT_TRUE(known.OpenAt(m_path.c_str()));
    ASSERT_TRUE(known.UseRoot("/r/"));
    EXPECT_EQ(known.FindPath("/r/it's \"here\"/"), pathId);
    for (const std::string& name : names)
        EXPECT_GE(known.FindFile(pathId, name.c_str()), 0) << name;
    EXPECT_EQ(known.FindFile(pathId, "100x xwildx \\ back"), -1);
    EXPECT_EQ(known.FindFile(pathId, "name"), -1);
    EXPECT_EQ(known.FindFile(pathId, "FNAME"), -1) << "names that differ in case are different files";
}

TEST_F(GigaBaseTest, NamesLongerThanAFormattedStatementAreStoredAndFound)
{
    ASSERT_TRUE(m_base.UseRoot("/r/"));
    std::string longPath = "/r/" + std::string(kiv::kDbStatementBytes, 'a') + "/";
    std::string quotes(kiv::kDbStatementBytes, '\'');
    int pathId = m_base.InsertPath(longPath.c_str());
    ASSERT_GE(pathId, 0) << m_base.GetError();
    int fileId = m_base.InsertFile(pathId, quotes.c_str());
    ASSERT_GE(fileId, 0) << m_base.GetError();
    EXPECT_GE(m_base.InsertInstrument(fileId, quotes.c_str(), 0), 0);
    EXPECT_STREQ(m_base.GetError(), "");

    GigaBase known;
    ASSERT_TRUE(known.OpenAt(m_path.c_str()));
    ASSERT_TRUE(known.UseRoot("/r/"));
    EXPECT_EQ(known.FindPath(longPath.c_str()), pathId);
    EXPECT_EQ(known.FindFile(pathId, quotes.c_str()), fileId);
    EXPECT_EQ(known.CountRootFiles(known.GetRootId()), 1);
}

TEST(Db, FailuresGiveResultsAndAnErrorTextCutToTheBuffer)
{
    kiv::db closed;
    EXPECT_EQ(closed.Insert("INSERT INTO x VALUES (1)"), -1);
    EXPECT_FALSE(closed.Query("SELECT 1;"));
    EXPECT_FALSE(closed.HasTable("root"));

    kivtest::TempDir dir;
    std::string missing = dir.File("none.db");
    kiv::db noCreate;
    EXPECT_FALSE(noCreate.OpenFile(missing.c_str(), false));
    EXPECT_FALSE(noCreate.IsOpen());
    EXPECT_NE(std::string(noCreate.GetError()), "");

    kiv::db base;
    ASSERT_TRUE(base.OpenFile(dir.File("x.db").c_str(), true));
    std::string table(600, 't');
    EXPECT_FALSE(base.Exec("SELECT * FROM %s;", table.c_str()));
    std::string error = base.GetError();
    EXPECT_NE(error.find("no such table"), std::string::npos);
    EXPECT_EQ(error.size(), static_cast<size_t>(kiv::kDbErrorBytes - 1));
    EXPECT_EQ(base.Insert("INSERT INTO nowhere VALUES (1)"), -1);
    EXPECT_TRUE(base.Exec("CREATE TABLE t (v INTEGER)"));
    EXPECT_STREQ(base.GetError(), "");
    EXPECT_TRUE(base.HasTable("t"));
    EXPECT_FALSE(base.HasTable("t' OR '1'='1"));
}

}  // namespace
