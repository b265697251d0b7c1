#include "kiv/file/SafeFile.h"

#include "file/FileTestHelpers.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

mode_t ModeOf(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

}  // namespace

TEST(SafeFile, CommitReplacesTheTargetAndKeepsItsPermissions)
{
    kivtest::TempDir dir;
    const std::string path = dir.File("bank.prefs");
    ASSERT_TRUE(kivtest::WriteFile(path, "old contents", 12));
    ASSERT_EQ(chmod(path.c_str(), 0640), 0);

    file::SafeFile out;
    ASSERT_TRUE(out.Open(path.c_str()));
    EXPECT_TRUE(out.Write(std::string("new")));
    ASSERT_NE(out.File(), nullptr);
    EXPECT_EQ(fputs(" text", out.File()), 1);
    // Nothing reaches the target before Commit.
    EXPECT_EQ(kivtest::ReadFile(path), "old contents");
    EXPECT_TRUE(out.Commit());
    EXPECT_EQ(out.File(), nullptr);

    EXPECT_EQ(kivtest::ReadFile(path), "new text");
    EXPECT_EQ(ModeOf(path), 0640u);
    EXPECT_EQ(filetest::FolderEntries(dir.Path()), std::vector<std::string>{"bank.prefs"});
    EXPECT_FALSE(out.Commit());  // once only
}

TEST(SafeFile, NewFileIsReadableByAll)
{
    kivtest::TempDir dir;
    const std::string path = dir.File("fresh");
    file::SafeFile out;
    ASSERT_TRUE(out.Open(path.c_str()));
    ASSERT_TRUE(out.Commit());
    EXPECT_EQ(kivtest::ReadFile(path), "");
    EXPECT_EQ(ModeOf(path), 0644u);
}

TEST(SafeFile, UncommittedFileLeavesTargetAndNoTemporary)
{
    kivtest::TempDir dir;
    const std::string path = dir.File("keep");
    ASSERT_TRUE(kivtest::WriteFile(path, "kept", 4));
    {
        file::SafeFile out;
        ASSERT_TRUE(out.Open(path.c_str()));
        EXPECT_TRUE(out.Write(std::string("half written")));
        EXPECT_EQ(filetest::FolderEntries(dir.Path()).size(), 2u);
    }
    EXPECT_EQ(kivtest::ReadFile(path), "kept");
    EXPECT_EQ(filetest::FolderEntries(dir.Path()), std::vector<std::string>{"keep"});

    // Opening again drops the first temporary file.
    file::SafeFile twice;
    ASSERT_TRUE(twice.Open(path.c_str()));
    ASSERT_TRUE(twice.Open(path.c_str()));
    EXPECT_EQ(filetest::FolderEntries(dir.Path()).size(), 2u);
    EXPECT_TRUE(twice.Commit());
    EXPECT_EQ(filetest::FolderEntries(dir.Path()), std::vector<std::string>{"keep"});
}

TEST(SafeFile, SavingRemovesStaleTemporariesOfItsOwnPatternOnly)
{
    kivtest::TempDir dir;
    const std::string path = dir.File("bank.prefs");
    struct Case {
        const char* name;
        bool old;
        bool kept;
    } cases[] = {
        {".bank.prefs.kivtmp-Ab3xYz", true, false},   // left by a save that died
        {".bank.prefs.kivtmp-Qw8eRt", false, true},   // perhaps a save running now
        {".bank.prefs.kivtmp-Ab3xYzz", true, true},   // not six letters
        {".bank.prefs.kivtmp-Ab-xYz", true, true},    // not mkstemp's letters
        {".other.prefs.kivtmp-Ab3xYz", true, true},   // another file's
        {"bank.prefs.kivtmp-Ab3xYz", true, true},     // not hidden: no temporary of ours
        // The user's own files, named as people name their copies.
        {".bank.prefs.backup", true, true},
        {".bank.prefs.Ab3xYz", true, true},
        {"bank.prefs.old001", true, true},
        {"bank.prefs.backup", true, true},
    };
    for (const Case& c : cases) {
        const std::string file = dir.File(c.name);
        ASSERT_TRUE(kivtest::WriteFile(file, "x", 1));
        if (c.old) {
            struct timespec times[2] = {{time(nullptr) - 3600, 0}, {time(nullptr) - 3600, 0}};
            ASSERT_EQ(utimensat(AT_FDCWD, file.c_str(), times, 0), 0);
        }
    }
    file::SafeFile out;
    ASSERT_TRUE(out.Open(path.c_str()));
    // Its own temporary carries the marker too.
    EXPECT_EQ(out.GetTempPath().rfind(file::TemporaryPrefix(path), 0), 0u) << out.GetTempPath();
    ASSERT_TRUE(out.Commit());
    for (const Case& c : cases)
        EXPECT_EQ(access(dir.File(c.name).c_str(), F_OK) == 0, c.kept) << c.name;
}

// A save survives a power cut only when the file's bytes, and then the
// folder holding its new name, reached the disk. The save runs in a child
// of this program under strace, which lists the calls in order.
TEST(SafeFile, CommitSyncsTheFileThenRenamesThenSyncsTheFolder)
{
    if (const char* target = getenv("KIV_SAFEFILE_TARGET")) {
        file::SafeFile out;
        ASSERT_TRUE(out.Open(target));
        ASSERT_TRUE(out.Write(std::string("durable")));
        ASSERT_TRUE(out.Commit());
        return;
    }
    ASSERT_EQ(system("strace -V > /dev/null 2>&1"), 0) << "strace is needed (scripts/install-deps installs it)";
    kivtest::TempDir dir;
    const std::string target = dir.File("song.tv2");
    const std::string log = dir.File("calls.txt");
    ASSERT_TRUE(kivtest::WriteFile(target, "old", 3));
    setenv("KIV_SAFEFILE_TARGET", target.c_str(), 1);
    setenv("KIV_TEST_CHILD", "1", 1);
    // The leak checker cannot run under a tracer: the child runs without it.
    const std::string command = "ASAN_OPTIONS=\"$ASAN_OPTIONS:detect_leaks=0\" strace -f -qq -o '" + log +
                                "' -e trace=openat,fsync,fdatasync,rename,renameat,renameat2 /proc/" +
                                std::to_string(getpid()) +
                                "/exe --gtest_filter=SafeFile.CommitSyncsTheFileThenRenamesThenSyncsTheFolder "
                                "> /dev/null 2>&1";
    const int status = system(command.c_str());
    unsetenv("KIV_SAFEFILE_TARGET");
    unsetenv("KIV_TEST_CHILD");
    ASSERT_EQ(status, 0) << kivtest::ReadFile(log);
    EXPECT_EQ(kivtest::ReadFile(target), "durable");

    // The syncs and the rename, in order; each sync is told by what its
    // descriptor was last opened as.
    std::istringstream lines(kivtest::ReadFile(log));
    std::string line;
    std::map<std::string, std::string> opened;  // descriptor -> "file", "folder" or "other"
    std::vector<std::string> steps;
    const std::string temp = file::TemporaryPrefix(target);
    while (std::getline(lines, line)) {
        const size_t call = line.find_first_not_of("0123456789 ");
        if (call == std::string::npos)
            continue;
        const std::string text = line.substr(call);
        const size_t eq = text.rfind("= ");
        const std::string result = eq == std::string::npos ? "" : text.substr(eq + 2);
        if (text.rfind("openat(", 0) == 0) {
            const bool file = text.find("\"" + temp) != std::string::npos;
            const bool folder = text.find("\"" + dir.Path() + "/\"") != std::string::npos;
            opened[result] = file ? "file" : folder ? "folder" : "other";
        } else if ((text.rfind("fsync(", 0) == 0 || text.rfind("fdatasync(", 0) == 0) && result == "0") {
            const std::string fd = text.substr(text.find('(') + 1, text.find(')') - text.find('(') - 1);
            steps.push_back("sync " + opened[fd]);
        } else if (text.rfind("rename", 0) == 0 && text.find("\"" + temp) != std::string::npos &&
                   text.find("\"" + target + "\"") != std::string::npos && result == "0") {
            steps.push_back("rename");
        }
    }
    EXPECT_EQ(steps, (std::vector<std::string>{"sync file", "rename", "sync folder"}))
        << kivtest::ReadFile(log);
}

TEST(SafeFile, FailedWriteFailsTheCommitAndKeepsTheTarget)
{
    kivtest::TempDir dir;
    const std::string path = dir.File("full");
    ASSERT_TRUE(kivtest::WriteFile(path, "old", 3));
    const std::string big(64 * 1024, 'x');
    bool committed = true;
    {
        filetest::FileSizeLimit diskFull(4096);
        ASSERT_TRUE(diskFull.IsSet());
        file::SafeFile out;
        ASSERT_TRUE(out.Open(path.c_str()));
        // stdio may hold the bytes until the flush: Commit must see the failure.
        fwrite(big.data(), 1, big.size(), out.File());
        committed = out.Commit();
    }
    EXPECT_FALSE(committed);
    EXPECT_EQ(kivtest::ReadFile(path), "old");
    EXPECT_EQ(filetest::FolderEntries(dir.Path()), std::vector<std::string>{"full"});
}

TEST(SafeFile, SymbolicLinkTargetIsFollowed)
{
    kivtest::TempDir dir;
    ASSERT_EQ(mkdir(dir.File("real").c_str(), 0755), 0);
    const std::string real = dir.File("real/settings");
    const std::string link = dir.File("link");
    ASSERT_TRUE(kivtest::WriteFile(real, "old", 3));
    ASSERT_EQ(symlink(real.c_str(), link.c_str()), 0);

    file::SafeFile out;
    ASSERT_TRUE(out.Open(link.c_str()));
    EXPECT_TRUE(out.Write(std::string("through the link")));
    ASSERT_TRUE(out.Commit());

    struct stat st;
    ASSERT_EQ(lstat(link.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(kivtest::ReadFile(real), "through the link");
    EXPECT_EQ(filetest::FolderEntries(dir.File("real")), std::vector<std::string>{"settings"});
}

TEST(SafeFile, FoldersDevicesAndMissingFoldersAreRefused)
{
    kivtest::TempDir dir;
    file::SafeFile out;
    EXPECT_FALSE(out.Open(nullptr));
    EXPECT_FALSE(out.Open(""));
    EXPECT_FALSE(out.Open(dir.Path().c_str()));
    EXPECT_FALSE(out.Open("/dev/null"));
    EXPECT_FALSE(out.Open(dir.File("missing/file").c_str()));
    EXPECT_FALSE(out.IsOpen());
    EXPECT_FALSE(out.Write(std::string("x")));
    EXPECT_FALSE(out.Commit());
    EXPECT_TRUE(filetest::FolderEntries(dir.Path()).empty());
}
