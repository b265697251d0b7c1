// File dialogs: filters, the answers of the dialog program (scripted or a
// stand-in program run as a child process), several files at once, cancel,
// save with the default extension, the folder browser, and a window that
// keeps running while a dialog is open.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "gui/GuiTestLeaks.h"
#include "kiv/gui/HeadlessBackend.h"
#include "kiv/gui/XFileNav.h"
#include "kiv/gui/XView.h"
#include "support/TestSupport.h"
#include "support/XvfbServer.h"

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

enum Request { kOpen, kOpenMany, kSave, kFolder };

// Runs one request to its answer (no waiting view: the answer is handed
// over as soon as it is known); true when the user chose.
bool Ask(XFileNav& nav, Request request)
{
    int answers = 0;
    bool chose = false;
    auto answer = [&](XFileNav&, bool chosen) {
        ++answers;
        chose = chosen;
    };
    bool started = request == kSave     ? nav.SaveFile(nullptr, "Save", answer)
                   : request == kFolder ? nav.BrowseFolder(nullptr, "Folder", answer)
                                        : nav.OpenFile(nullptr, "Open", request == kOpenMany, answer);
    if (!started)
        return false;
    EXPECT_TRUE(kivtest::WaitFor(5000, [&] {
        XFileNav::Poll();
        return answers > 0;
    }));
    EXPECT_EQ(answers, 1);
    return chose;
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
    ASSERT_TRUE(Ask(nav, kOpenMany));
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
    ASSERT_TRUE(Ask(nav, kOpenMany));
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
    ASSERT_TRUE(Ask(nav, kOpenMany));
    EXPECT_EQ(nav.GetCount(), XFileNav::kMaxNames);
    EXPECT_STREQ(nav.GetName(63), "f63.gig");

    // A name from another folder and a path too long to hold are dropped,
    // never cut into another name.
    ScopedEnv mixed("KIV_DIALOG_ANSWER", "/lib/a.gig\n/other/b.gig\n/lib/sub/c.gig\n/lib/" +
                                             std::string(XFileNav::kMaxPath, 'y') + "\n");
    ASSERT_TRUE(Ask(nav, kOpenMany));
    ASSERT_EQ(nav.GetCount(), 1);
    EXPECT_STREQ(nav.GetName(0), "a.gig");
}

TEST(XFileNav, CancelOrAnUnusableAnswerChoosesNothing)
{
    XFileNav nav;
    {
        ScopedEnv answer("KIV_DIALOG_ANSWER", "");
        EXPECT_FALSE(Ask(nav, kOpen));
        EXPECT_EQ(nav.GetCount(), 0);
        EXPECT_FALSE(Ask(nav, kFolder));
    }
    {
        ScopedEnv answer("KIV_DIALOG_ANSWER", "/lib/\n");
        EXPECT_FALSE(Ask(nav, kOpen));
        EXPECT_STREQ(nav.GetFolder(), "");
    }
    {
        ScopedEnv program("KIV_DIALOG_PROGRAM", "/nonexistent/dialog");
        EXPECT_FALSE(Ask(nav, kSave));
    }
}

TEST(XFileNav, SaveTakesTheFirstFiltersExtensionWhenTheNameHasNone)
{
    XFileNav nav;
    nav.AddFilter("tvpreset", "Preset");
    {
        ScopedEnv answer("KIV_DIALOG_ANSWER", "/home/u/strings\n");
        ASSERT_TRUE(Ask(nav, kSave));
        EXPECT_STREQ(nav.GetPath(0), "/home/u/strings.tvpreset");
    }
    {
        ScopedEnv answer("KIV_DIALOG_ANSWER", "/home/u/strings.tvpreset\n");
        ASSERT_TRUE(Ask(nav, kSave));
        EXPECT_STREQ(nav.GetPath(0), "/home/u/strings.tvpreset");
    }
}

TEST(XFileNav, FolderBrowserAnswersTheFolderWithATrailingSeparator)
{
    ScopedEnv answer("KIV_DIALOG_ANSWER", "/srv/libraries\n");
    XFileNav nav;
    ASSERT_TRUE(Ask(nav, kFolder));
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
        ASSERT_TRUE(Ask(nav, kOpenMany));
        ASSERT_EQ(nav.GetCount(), 2);
        EXPECT_EQ(nav.FindFilter(nav.GetPath(1)), 1);
        std::string args = kivtest::ReadFile(dir.File("args.txt"));
        EXPECT_NE(args.find("--file-selection\n"), std::string::npos);
        EXPECT_NE(args.find("--title=Open\n"), std::string::npos);
        EXPECT_NE(args.find("--multiple\n"), std::string::npos);
        EXPECT_NE(args.find("--attach=4660\n"), std::string::npos);
        EXPECT_NE(args.find("--file-filter=Performance (*.tv2) | *.tv2\n"), std::string::npos);
        EXPECT_LT(args.find("*.tv2\n"), args.find("*.tvp\n"));  // filters in the order added
    }
    {
        ScopedEnv program("KIV_DIALOG_PROGRAM", WriteProgram(dir, "/perf/new.tv2\\n", 0));
        ASSERT_TRUE(Ask(nav, kSave));
        EXPECT_NE(kivtest::ReadFile(dir.File("args.txt")).find("--save\n"), std::string::npos);
        ASSERT_TRUE(Ask(nav, kFolder));
        EXPECT_NE(kivtest::ReadFile(dir.File("args.txt")).find("--directory\n"), std::string::npos);
    }
    {
        // The user cancelled: the program ends with status 1.
        ScopedEnv program("KIV_DIALOG_PROGRAM", WriteProgram(dir, "", 1));
        EXPECT_FALSE(Ask(nav, kOpen));
        EXPECT_EQ(nav.GetCount(), 0);
    }
}

TEST(XFileNav, WindowKeepsTickingWhileTheDialogIsOpenAndTheAnswerComesAsAnEvent)
{
    HeadlessBackend backend;
    XBackend::Install(&backend);
    struct Counting : XView {
        int idles = 0;
        int events = 0;
        void OnIdle() override { ++idles; }
        void OnEvent(XEvent&) override { ++events; }
    } view;
    view.SetSize(100, 50);
    ASSERT_TRUE(view.OpenWindow());
    backend.Pump(0);

    // A stand-in dialog that stays open until the test lets it answer.
    kivtest::TempDir dir;
    std::string program = dir.File("slow.sh");
    std::string script = "#!/bin/sh\necho $$ > '" + dir.File("pid") + "'\nwhile [ ! -e '" + dir.File("go") +
                         "' ]; do sleep 0.02; done\nprintf '/perf/song.tv2\\n'\n";
    ASSERT_TRUE(kivtest::WriteFile(program, script.data(), script.size()));
    chmod(program.c_str(), 0755);
    ScopedEnv env("KIV_DIALOG_PROGRAM", program);

    XFileNav nav;
    std::string chosenPath;
    int answers = 0;
    ASSERT_TRUE(nav.OpenFile(&view, "Open", false, [&](XFileNav& n, bool chosen) {
        ++answers;
        if (chosen)
            chosenPath = n.GetPath(0);
    }));
    EXPECT_TRUE(nav.IsOpen());
    backend.Advance(500);
    EXPECT_GE(view.idles, 10) << "the window ticks while the dialog is open";
    EXPECT_EQ(answers, 0);

    // One dialog at a time: a second request is refused and never answers.
    XFileNav other;
    int otherAnswers = 0;
    EXPECT_FALSE(other.BrowseFolder(&view, "Folder", [&](XFileNav&, bool) { ++otherAnswers; }));

    ASSERT_TRUE(kivtest::WriteFile(dir.File("go"), "", 0));
    EXPECT_TRUE(kivtest::WaitFor(5000, [&] {
        backend.Advance(50);
        return answers > 0;
    }));
    EXPECT_EQ(chosenPath, "/perf/song.tv2");
    EXPECT_FALSE(XFileNav::IsAnyOpen());
    EXPECT_EQ(otherAnswers, 0);
    EXPECT_EQ(view.events, 0) << "the answer's event went to the dialog's caller only";

    // A dialog whose owner goes away is ended with it and never answers.
    unlink(dir.File("go").c_str());
    unlink(dir.File("pid").c_str());
    {
        XFileNav gone;
        ASSERT_TRUE(gone.SaveFile(&view, "Save", [&](XFileNav&, bool) { ++answers; }));
        ASSERT_TRUE(kivtest::WaitFor(5000, [&] { return !kivtest::ReadFile(dir.File("pid")).empty(); }));
    }
    pid_t pid = static_cast<pid_t>(std::atoi(kivtest::ReadFile(dir.File("pid")).c_str()));
    ASSERT_GT(pid, 0);
    EXPECT_NE(kill(pid, 0), 0) << "the dialog program was ended and reaped";
    EXPECT_FALSE(XFileNav::IsAnyOpen());
    backend.Advance(200);
    EXPECT_EQ(answers, 1);
    view.Close(0);
    backend.Advance(50);
    XBackend::Install(nullptr);
}
