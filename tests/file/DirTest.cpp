// ctest-label: thread
#include "kiv/file/Dir.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <set>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

std::string Env(const char* name) { return getenv(name) ? getenv(name) : ""; }

TEST(Dir, SpecialFoldersComeFromTheProgramAndTheXdgFolders)
{
    file::Dir program(file::kProgramFolder);
    char exe[512] = {};
    ASSERT_GT(readlink("/proc/self/exe", exe, sizeof exe - 1), 0);
    std::string exePath = exe;
    EXPECT_EQ(program.GetPath(), exePath.substr(0, exePath.rfind('/') + 1));

    EXPECT_EQ(std::string(file::Dir(file::kCommonAppData).GetPath()), Env("XDG_DATA_HOME") + "/");
    EXPECT_EQ(std::string(file::Dir(file::kUserAppData).GetPath()), Env("XDG_CONFIG_HOME") + "/");
    EXPECT_EQ(std::string(file::Dir(file::kDesktopFolder).GetPath()), Env("XDG_DESKTOP_DIR") + "/");
    EXPECT_TRUE(file::FolderExists(Env("XDG_CONFIG_HOME").c_str()));  // created when missing

    file::Dir other;
    other.SetPath("/keep");
    EXPECT_TRUE(other.SetSpecialFolder(7));
    EXPECT_STREQ(other.GetPath(), "/keep/");
}

TEST(Dir, XdgFoldersFallBackToHomeAndFailWhenTooLong)
{
    std::string data = Env("XDG_DATA_HOME"), config = Env("XDG_CONFIG_HOME");
    unsetenv("XDG_DATA_HOME");
    setenv("XDG_CONFIG_HOME", "relative/ignored", 1);
    EXPECT_EQ(std::string(file::Dir(file::kCommonAppData).GetPath()), Env("HOME") + "/.local/share/");
    EXPECT_EQ(std::string(file::Dir(file::kUserAppData).GetPath()), Env("HOME") + "/.config/");
    setenv("XDG_DATA_HOME", ("/" + std::string(400, 'd')).c_str(), 1);
    file::Dir dir;
    dir.SetPath("/before");
    EXPECT_FALSE(dir.SetSpecialFolder(file::kCommonAppData));
    EXPECT_STREQ(dir.GetPath(), "/before/");
    setenv("XDG_DATA_HOME", data.c_str(), 1);
    setenv("XDG_CONFIG_HOME", config.c_str(), 1);
}

TEST(Dir, SetPathTrimsBlanksAndEndsWithOneSeparator)
{
    file::Dir dir;
    EXPECT_STREQ(dir.GetPath(), "");
    dir.SetPath("/tmp/folder  ");
    EXPECT_STREQ(dir.GetPath(), "/tmp/folder/");
    dir.SetPath("/tmp/folder/");
    EXPECT_STREQ(dir.GetPath(), "/tmp/folder/");
    dir.SetPath("");
    EXPECT_STREQ(dir.GetPath(), "");
    dir.SetPath("/a/b/c/");
    dir.Up();
    EXPECT_STREQ(dir.GetPath(), "/a/b/");
    dir.Up();
    dir.Up();
    EXPECT_STREQ(dir.GetPath(), "/");
    dir.Up();
    EXPECT_STREQ(dir.GetPath(), "/");
}

TEST(Dir, OverlongPathsFailAndLeaveThePathAsItWas)
{
    file::Dir dir;
    std::string fits(298, 'p');  // 298 + separator = 299 characters
    ASSERT_TRUE(dir.SetPath(("/" + fits.substr(1)).c_str()));
    EXPECT_EQ(strlen(dir.GetPath()), 299u);
    EXPECT_FALSE(dir.SetPath(("/" + std::string(299, 'q')).c_str()));
    EXPECT_EQ(strlen(dir.GetPath()), 299u);
    EXPECT_FALSE(dir.Enter("x"));
    EXPECT_FALSE(dir.EnterOrCreate("x"));
    EXPECT_EQ(strlen(dir.GetPath()), 299u);
    EXPECT_STREQ(dir.GetFilePath("name", "txt"), "");
    EXPECT_STREQ(dir.GetTempFilePath(".tmp"), "");
}

TEST(Dir, EnterCreatesOnlyWhenAskedAndRestoresOnFailure)
{
    kivtest::TempDir tmp;
    file::Dir dir;
    dir.SetPath(tmp.Path().c_str());
    std::string base = dir.GetPath();
    EXPECT_FALSE(dir.Enter("missing"));
    EXPECT_EQ(dir.GetPath(), base);
    EXPECT_FALSE(dir.Enter(""));
    EXPECT_TRUE(dir.EnterOrCreate("made"));
    EXPECT_EQ(dir.GetPath(), base + "made/");
    EXPECT_TRUE(file::FolderExists(dir.GetPath()));
    dir.Up();
    EXPECT_TRUE(dir.Enter("made"));
    dir.Up();
    ASSERT_TRUE(kivtest::WriteFile(tmp.File("plain"), "x", 1));
    EXPECT_FALSE(dir.EnterOrCreate("plain"));  // a file of that name is no folder
    EXPECT_EQ(dir.GetPath(), base);
}

TEST(Dir, FilePathsComposeNameAndExtension)
{
    file::Dir dir;
    dir.SetPath("/data");
    EXPECT_STREQ(dir.GetFilePath("prefs", "txt"), "/data/prefs.txt");
    EXPECT_STREQ(dir.GetFilePath("prefs", ".txt"), "/data/prefs.txt");
    EXPECT_STREQ(dir.GetFilePath("prefs"), "/data/prefs");
    EXPECT_STREQ(dir.GetFilePath("prefs", ""), "/data/prefs");
}

TEST(Dir, TempFilesAreNewFilesWithTwelveLettersAndTheSuffix)
{
    kivtest::TempDir tmp;
    file::Dir dir;
    dir.SetPath(tmp.Path().c_str());
    std::set<std::string> names;
    for (int i = 0; i < 50; ++i) {
        std::string path = dir.GetTempFilePath(".tmp");
        ASSERT_EQ(path.substr(0, strlen(dir.GetPath())), dir.GetPath());
        std::string name = path.substr(strlen(dir.GetPath()));
        ASSERT_EQ(name.size(), 16u) << name;
        EXPECT_EQ(name.substr(12), ".tmp");
        for (int k = 0; k < 12; ++k)
            EXPECT_TRUE(islower(static_cast<unsigned char>(name[k]))) << name;
        EXPECT_TRUE(file::FileExists(path.c_str()));  // created, so nobody else takes it
        names.insert(name);
    }
    EXPECT_EQ(names.size(), 50u);
    EXPECT_EQ(strlen(dir.GetTempFilePath()), strlen(dir.GetPath()) + 12);

    file::Dir gone;
    gone.SetPath(tmp.File("no/such").c_str());
    EXPECT_STREQ(gone.GetTempFilePath(".tmp"), "");
}

TEST(Dir, TempFilesOfParallelThreadsNeverShareAName)
{
    kivtest::TempDir tmp;
    constexpr int kThreads = 4, kEach = 40;
    std::vector<std::vector<std::string>> made(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            file::Dir dir;
            dir.SetPath(tmp.Path().c_str());
            for (int i = 0; i < kEach; ++i)
                made[t].push_back(dir.GetTempFilePath(".part"));
        });
    }
    for (auto& thread : threads)
        thread.join();
    std::set<std::string> names;
    for (const auto& list : made) {
        for (const auto& path : list) {
            EXPECT_TRUE(file::FileExists(path.c_str())) << path;
            names.insert(path);
        }
    }
    EXPECT_EQ(names.size(), static_cast<size_t>(kThreads * kEach));
}

TEST(Dir, ChecksTellFilesFromFoldersWithoutChangingTheWorkingFolder)
{
    kivtest::TempDir tmp;
    char before[512];
    ASSERT_TRUE(getcwd(before, sizeof before));
    std::string file = tmp.File("f.txt");
    ASSERT_TRUE(kivtest::WriteFile(file, "abc", 3));

    EXPECT_TRUE(file::FolderExists(tmp.Path().c_str()));
    EXPECT_TRUE(file::FolderExists("/"));
    EXPECT_FALSE(file::FolderExists(file.c_str()));
    EXPECT_FALSE(file::FolderExists("."));
    EXPECT_FALSE(file::FolderExists(nullptr));
    EXPECT_TRUE(file::FileExists(file.c_str()));
    EXPECT_FALSE(file::FileExists(tmp.Path().c_str()));
    EXPECT_FALSE(file::FileExists(tmp.File("none").c_str()));
    EXPECT_FALSE(file::FileExists("a"));
    char after[512];
    ASSERT_TRUE(getcwd(after, sizeof after));
    EXPECT_STREQ(before, after);

    EXPECT_FALSE(file::RemoveFile(tmp.Path().c_str()));
    EXPECT_TRUE(file::FolderExists(tmp.Path().c_str()));
    EXPECT_TRUE(file::RemoveFile(file.c_str()));
    EXPECT_FALSE(file::FileExists(file.c_str()));
    EXPECT_FALSE(file::RemoveFile(file.c_str()));
}

TEST(AppFolder, OpensTheMakerFolderUnderApplicationData)
{
    app::folder user;
    EXPECT_EQ(user.GetFilePath("x"), nullptr);
    ASSERT_TRUE(user.Open(0, file::kMakerFolder));
    std::string expect = Env("XDG_CONFIG_HOME") + "/Quillane/";
    EXPECT_TRUE(file::FolderExists(expect.c_str()));
    EXPECT_EQ(std::string(user.GetFilePath("tessivo64", "pil")), expect + "tessivo64.pil");

    app::folder common;
    ASSERT_TRUE(common.Open(1, file::kMakerFolder));
    EXPECT_EQ(std::string(common.GetFilePath("corvane.db")), Env("XDG_DATA_HOME") + "/Quillane/corvane.db");

    app::folder unset;  // no base folder: never a folder relative to the working one
    EXPECT_FALSE(unset.Open(5, "Quillane"));
    EXPECT_EQ(unset.GetFilePath("x"), nullptr);
}

}  // namespace
