// File dialogs: filters, the answers of the dialog program (scripted or a
// stand-in program run as a child process), several files at once, cancel,
// save with the default extension, and the folder browser.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <string>

#include "gui/GuiTestLeaks.h"
#include "kiv/gui/XFileNav.h"
#include "support/TestSupport.h"

namespace {

// Sets an environment variable for one test and takes it away afterwards.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value) : m_name(name) { setenv(name, value.c_str(), 1); }
    ~ScopedEnv() { unsetenv(m_name); }

private:
    const char* m_name;
};

// A stand-in dialog program: writes its arguments, one a line, to a file
// and prints the answer, then ends with the given status.
std::string WriteProgram(const kivtest::TempDir& dir, const std::string& answer, int status)
{
    std::string path = dir.File("dialog.sh");
    std::string script = "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > '" + dir.File("args.txt") +
                         "'\nprintf '" + answer + "'\nexit " + std::to_string(status) + "\n";
    EXPECT_TRUE(kivtest::WriteFile(path, script.data(), script.size()));
    chmod(path.c_str(), 0755);
    return path;
}

}  // namespace

TEST(XFileNav, FindFilterMatchesTheLastExtensionCaseInsensitively)
{
    XFileNav nav;
    EXPECT_EQ(nav.FindFilter("anything"), 0);  // no filters
    nav.AddFilter("tv2", "Performance");
    nav.AddFilter("tvp", "Older performance");
    struct Case {
        const char* path;
        int index;
    } cases[] = {
        {"/home/u/song.tv2", 0}, {"/home/u/SONG.TVP", 1}, {"C:\\Perf\\old.Tvp", 1}, {"a.b.tv2", 0},
        {"/home/u/song.wav", -1}, {"/home/u/song", -1},   {"/my.tv2/song", -1},     {".tv2", -1},
        {"song.", -1},            {"", -1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(nav.FindFilter(c.path), c.index) << c.path;
    EXPECT_EQ(nav.FindFilter(nullptr), -1);
}

TEST(XFileNav, SeveralChosenFilesGiveTheFolderAndEachName)
{
    ScopedEnv answer("KIV_DIALOG_ANSWER", "/lib/gig/a.gig\n/lib/gig/b c.gig\n");
    XFileNav nav;
    ASSERT_TRUE(nav.OpenFile("Open", true));
    EXPECT_STREQ(nav.GetFolder(), "/lib/gig/");
    ASSERT_EQ(nav.GetCount(), 2);
    EXPECT_STREQ(nav.GetName(0), "a.gig");
    EXPECT_STREQ(nav.GetPath(1), "/lib/gig/b c.gig");
    EXPECT_EQ(nav.GetPath(2), nullptr);
    EXPECT_EQ(nav.GetPath(-1), nullptr);
}

TEST(XFileNav, OneFileWithMultiSelectionIsTheSingleName)
{
    ScopedEnv answer("KIV_DIALOG_ANSWER", "/lib/one.gig\n");
    XFileNav nav;
    ASSERT_TRUE(nav.OpenFile("Open", true));
    EXPECT_STREQ(nav.GetFolder(), "/lib/");
    ASSERT_EQ(nav.GetCount(), 1);
    EXPECT_STREQ(nav.GetPath(0), "/lib/one.gig");
}

TEST(XFileNav, LongSelectionsKeepSixtyFourNamesAndDropWhatTheyCannotHold)
{
    std::string answer;
    for (int i = 0; i < 70; ++i)
        answer += "/lib/f" + std::to_string(i) + ".gig\n";
    answer += "/lib/" + std::string(XFileNav::kMaxPath, 'x') + "\n";
    ScopedEnv env("KIV_DIALOG_ANSWER", answer);
    XFileNav nav;
    ASSERT_TRUE(nav.OpenFile("Open", true));
    EXPECT_EQ(nav.GetCount(), XFileNav::kMaxNames);
    EXPECT_STREQ(nav.GetName(63), "f63.gig");

    // A name from another folder and a path too long to hold are dropped,
    // never cut into another name.
    ScopedEnv mixed("KIV_DIALOG_ANSWER", "/lib/a.gig\n/other/b.gig\n/lib/sub/c.gig\n/lib/" +
                                             std::string(XFileNav::kMaxPath, 'y') + "\n");
    ASSERT_TRUE(nav.OpenFile("Open", true));
    ASSERT_EQ(nav.GetCount(), 1);
    EXPECT_STREQ(nav.GetName(0), "a.gig");
}

TEST(XFileNav, CancelOrAnUnusableAnswerChoosesNothing)
{
    XFileNav nav;
    {
        ScopedEnv answer("KIV_DIALOG_ANSWER", "");
        EXPECT_FALSE(nav.OpenFile("Open", false));
        EXPECT_EQ(nav.GetCount(), 0);
        EXPECT_FALSE(nav.BrowseFolder("Folder"));
    }
    {
        ScopedEnv answer("KIV_DIALOG_ANSWER", "/lib/\n");
        EXPECT_FALSE(nav.OpenFile("Open", false));
        EXPECT_STREQ(nav.GetFolder(), "");
    }
    {
        ScopedEnv program("KIV_DIALOG_PROGRAM", "/nonexistent/dialog");
        EXPECT_FALSE(nav.SaveFile("Save"));
    }
}

TEST(XFileNav, SaveTakesTheFirstFiltersExtensionWhenTheNameHasNone)
{
    XFileNav nav;
    nav.AddFilter("tvpreset", "Preset");
    {
        ScopedEnv answer("KIV_DIALOG_ANSWER", "/home/u/strings\n");
        ASSERT_TRUE(nav.SaveFile("Save preset"));
        EXPECT_STREQ(nav.GetPath(0), "/home/u/strings.tvpreset");
    }
    {
        ScopedEnv answer("KIV_DIALOG_ANSWER", "/home/u/strings.tvpreset\n");
        ASSERT_TRUE(nav.SaveFile("Save preset"));
        EXPECT_STREQ(nav.GetPath(0), "/home/u/strings.tvpreset");
    }
}

TEST(XFileNav, FolderBrowserAnswersTheFolderWithATrailingSeparator)
{
    ScopedEnv answer("KIV_DIALOG_ANSWER", "/srv/libraries\n");
    XFileNav nav;
    ASSERT_TRUE(nav.BrowseFolder("Select a folder to scan"));
    EXPECT_STREQ(nav.GetFolder(), "/srv/libraries/");
    EXPECT_EQ(nav.GetCount(), 0);
}

TEST(XFileNav, DialogProgramGetsZenitysArgumentsAndItsStatusDecides)
{
    kivtest::TempDir dir;
    XFileNav nav(0x1234);
    nav.AddFilter("tv2", "Performance");
    nav.AddFilter("tvp", "Older performance");
    {
        ScopedEnv program("KIV_DIALOG_PROGRAM", WriteProgram(dir, "/perf/a.tv2\\n/perf/b.tvp\\n", 0));
        ASSERT_TRUE(nav.OpenFile("Open performance", true));
        ASSERT_EQ(nav.GetCount(), 2);
        EXPECT_EQ(nav.FindFilter(nav.GetPath(1)), 1);
        std::string args = kivtest::ReadFile(dir.File("args.txt"));
        EXPECT_NE(args.find("--file-selection\n"), std::string::npos);
        EXPECT_NE(args.find("--title=Open performance\n"), std::string::npos);
        EXPECT_NE(args.find("--multiple\n"), std::string::npos);
        EXPECT_NE(args.find("--attach=4660\n"), std::string::npos);
        EXPECT_NE(args.find("--file-filter=Performance (*.tv2) | *.tv2\n"), std::string::npos);
        EXPECT_LT(args.find("*.tv2\n"), args.find("*.tvp\n"));  // filters in the order added
    }
    {
        ScopedEnv program("KIV_DIALOG_PROGRAM", WriteProgram(dir, "/perf/new.tv2\\n", 0));
        ASSERT_TRUE(nav.SaveFile("Save performance"));
        EXPECT_NE(kivtest::ReadFile(dir.File("args.txt")).find("--save\n"), std::string::npos);
        ASSERT_TRUE(nav.BrowseFolder("Folder"));
        EXPECT_NE(kivtest::ReadFile(dir.File("args.txt")).find("--directory\n"), std::string::npos);
    }
    {
        // The user cancelled: the program ends with status 1.
        ScopedEnv program("KIV_DIALOG_PROGRAM", WriteProgram(dir, "", 1));
        EXPECT_FALSE(nav.OpenFile("Open", false));
        EXPECT_EQ(nav.GetCount(), 0);
    }
}
