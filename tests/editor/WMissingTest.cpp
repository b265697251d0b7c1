// ctest-label: thread
// The missing-files window: its rows, the names the search looks at, the
// search thread walking a folder tree (exact names, early stop, cancel, links
// and hidden folders), the window's result, and searches that add up.
#include "editor/WMissing.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "engine/GigaPrefs.h"
#include "gui/GuiTestLeaks.h"
#include "support/TestSupport.h"

namespace {

void Touch(const std::string& path)
{
    ASSERT_TRUE(kivtest::WriteFile(path, "x", 1));
}

void MakeDir(const std::string& path)
{
    ASSERT_EQ(mkdir(path.c_str(), 0755), 0);
}

void Click(XView& view, XControl* c)
{
    XRect r = c->GetWindowRect();
    view.HandleMouseDown(r.left + 5, r.top + 5, 0, false, false);
    view.HandleMouseUp(r.left + 5, r.top + 5, 0);
}

// Ticks until the search has ended and the window took its results.
bool TickUntilIdle(WMissing& window)
{
    for (int i = 0; i < 60000; ++i) {
        window.Tick(i);
        if (!window.IsSearching())
            return true;
        usleep(1000);
    }
    return false;
}

}  // namespace

TEST(WMissing, RowsAreListedOncePerExactText)
{
    WMissing window(nullptr);
    EXPECT_EQ(window.GetWidth(), 640);
    EXPECT_EQ(window.GetHeight(), 184);
    window.AddMissing("C:\\Lib\\Piano.gig");
    window.AddMissing("C:\\Lib\\Piano.gig");  // a second part on the same file
    window.AddMissing("C:\\Lib\\piano.gig");  // another text
    window.AddMissing("");
    window.AddMissing(nullptr);
    EXPECT_EQ(window.GetMissingCount(), 2);
    EXPECT_EQ(window.GetList()->GetCount(), 2);
    EXPECT_STREQ(window.GetList()->GetText(1), "C:\\Lib\\piano.gig");
    EXPECT_EQ(window.GetFoundPath("C:\\Lib\\Piano.gig"), nullptr);
    EXPECT_EQ(window.GetFoundPath("unknown"), nullptr);
    EXPECT_STREQ(window.GetScanButton()->GetText(), "Select folder to scan");
}

TEST(WMissing, OnlyBankNamesOfFiveCharactersOrMoreAreExamined)
{
    struct Case {
        const char* name;
        bool gig;
    };
    const Case cases[] = {{"a.gig", true}, {"x.GIG", true}, {"x.Gig", true}, {".gig", false},
                          {"xgig", false}, {"x.gigx", false}, {"x,gig", false}, {"", false},
                          {"a.gx01", true}, {"a.GX12", true}, {".gx01", false}, {"a.gx1", false},
                          {"a.gxa1", false}, {"a.gx012", false}};
    for (const Case& c : cases)
        EXPECT_EQ(WMissing::IsBankFileName(c.name), c.gig) << c.name;
    EXPECT_STREQ(WMissing::FileNameOf("C:\\a/b\\c.gig"), "c.gig");
    EXPECT_STREQ(WMissing::FileNameOf("/lib/d.gig"), "d.gig");
    EXPECT_STREQ(WMissing::FileNameOf("plain.gig"), "plain.gig");
}

TEST(WMissing, SearchFindsEveryFileBySubFoldersAndClosesWithOne)
{
    kivtest::TempDir dir;
    MakeDir(dir.File("a"));
    MakeDir(dir.File("a/b"));
    Touch(dir.File("a/b/Strings.gig"));
    Touch(dir.File("a/Piano.GIG"));
    Touch(dir.File("a/b/piano.gig"));  // differs in case from the wanted name

    WMissing window(nullptr);
    window.AddMissing("D:\\Old\\Strings.gig");
    window.AddMissing("/old/Piano.GIG");
    window.AddMissing("/elsewhere/Strings.gig");  // one file satisfies both
    ASSERT_TRUE(window.StartSearch(dir.Path().c_str()));
    EXPECT_STREQ(window.GetScanButton()->GetText(), "Cancel");
    EXPECT_FALSE(window.GetIgnoreButton()->IsEnabled());
    EXPECT_FALSE(window.StartSearch(dir.Path().c_str()));  // one at a time
    ASSERT_TRUE(TickUntilIdle(window));

    EXPECT_TRUE(window.IsCloseRequested());
    EXPECT_EQ(window.GetCloseResult(), 1);
    EXPECT_EQ(std::string(window.GetFoundPath("D:\\Old\\Strings.gig")), dir.File("a/b/Strings.gig"));
    EXPECT_EQ(std::string(window.GetFoundPath("/elsewhere/Strings.gig")), dir.File("a/b/Strings.gig"));
    EXPECT_EQ(std::string(window.GetFoundPath("/old/Piano.GIG")), dir.File("a/Piano.GIG"));
}

TEST(WMissing, PartlyFoundStaysOpenAndALaterSearchCompletesIt)
{
    kivtest::TempDir first;
    kivtest::TempDir second;
    Touch(first.File("One.gig"));
    Touch(first.File("two.gig"));  // wanted "Two.gig": letter case differs
    Touch(second.File("Two.gig"));
    MakeDir(first.File(".hidden"));
    Touch(first.File(".hidden/Two.gig"));  // hidden folders are skipped

    WMissing window(nullptr);
    window.AddMissing("/x/One.gig");
    window.AddMissing("/x/Two.gig");
    ASSERT_TRUE(window.StartSearch(first.Path().c_str()));
    ASSERT_TRUE(TickUntilIdle(window));
    EXPECT_FALSE(window.IsCloseRequested());
    EXPECT_EQ(window.GetFoundCount(), 1);
    EXPECT_EQ(window.GetFoundPath("/x/Two.gig"), nullptr);
    EXPECT_STREQ(window.GetScanButton()->GetText(), "Select folder to scan");
    EXPECT_TRUE(window.GetIgnoreButton()->IsEnabled());
    EXPECT_TRUE(window.GetScanButton()->IsEnabled());

    // The earlier find counts: with the second file every row has a path.
    ASSERT_TRUE(window.StartSearch(second.Path().c_str()));
    ASSERT_TRUE(TickUntilIdle(window));
    EXPECT_TRUE(window.IsCloseRequested());
    EXPECT_EQ(window.GetCloseResult(), 1);
    EXPECT_EQ(std::string(window.GetFoundPath("/x/One.gig")), first.File("One.gig"));
    EXPECT_EQ(std::string(window.GetFoundPath("/x/Two.gig")), second.File("Two.gig"));
}

TEST(WMissing, UnreadableOrLoopingFoldersEndTheSearchCleanly)
{
    kivtest::TempDir dir;
    MakeDir(dir.File("sub"));
    ASSERT_EQ(symlink(dir.Path().c_str(), dir.File("sub/loop").c_str()), 0);  // never followed
    Touch(dir.File("target.gig"));
    ASSERT_EQ(symlink(dir.File("target.gig").c_str(), dir.File("sub/Linked.gig").c_str()), 0);

    WMissing window(nullptr);
    window.AddMissing("/x/Absent.gig");
    window.AddMissing("/x/Linked.gig");
    ASSERT_TRUE(window.StartSearch(dir.File("does-not-exist").c_str()));
    ASSERT_TRUE(TickUntilIdle(window));
    EXPECT_FALSE(window.IsCloseRequested());
    EXPECT_EQ(window.GetFoundCount(), 0);

    ASSERT_TRUE(window.StartSearch(dir.Path().c_str()));
    ASSERT_TRUE(TickUntilIdle(window));
    EXPECT_FALSE(window.IsCloseRequested());
    // A link to a file counts as the file.
    EXPECT_EQ(std::string(window.GetFoundPath("/x/Linked.gig")), dir.File("sub/Linked.gig"));
    EXPECT_EQ(window.GetFoundPath("/x/Absent.gig"), nullptr);
    // The progress line shows a folder the walk went through.
    ASSERT_NE(window.GetProgressLine()->GetText(), nullptr);
    EXPECT_EQ(std::string(window.GetProgressLine()->GetText()).rfind(dir.Path(), 0), 0u);
}

TEST(WMissing, CancelEndsTheWalkAndTheWindowStaysOpen)
{
    kivtest::TempDir dir;
    std::string deep = dir.Path();
    for (int i = 0; i < 20; ++i) {
        deep += "/d" + std::to_string(i);
        MakeDir(deep);
        for (int j = 0; j < 20; ++j)
            MakeDir(deep + "_" + std::to_string(j));
    }
    WMissing window(nullptr);
    window.AddMissing("/x/Never.gig");
    ASSERT_TRUE(window.StartSearch(dir.Path().c_str()));
    Click(window, window.GetScanButton());  // "Cancel"
    EXPECT_FALSE(window.GetScanButton()->IsEnabled());
    ASSERT_TRUE(TickUntilIdle(window));
    EXPECT_FALSE(window.IsCloseRequested());
    EXPECT_TRUE(window.GetScanButton()->IsEnabled());
    EXPECT_STREQ(window.GetScanButton()->GetText(), "Select folder to scan");
    EXPECT_TRUE(window.GetIgnoreButton()->IsEnabled());

    Click(window, window.GetIgnoreButton());
    EXPECT_TRUE(window.IsCloseRequested());
    EXPECT_EQ(window.GetCloseResult(), 0);
}

TEST(WMissing, EndOfAnEarlierSearchDoesNotEndTheNextOne)
{
    kivtest::TempDir dir;
    std::string deep = dir.Path();
    for (int i = 0; i < 20; ++i) {
        deep += "/d" + std::to_string(i);
        MakeDir(deep);
        for (int j = 0; j < 20; ++j)
            MakeDir(deep + "_" + std::to_string(j));
    }
    WMissing window(nullptr);
    window.AddMissing("/x/Never.gig");
    // The tick sees the first thread gone before its 'done' event is read.
    ASSERT_TRUE(window.StartSearch(dir.File("absent").c_str()));
    while (window.IsRunning())
        usleep(500);
    window.OnIdle();
    EXPECT_FALSE(window.IsSearching());

    ASSERT_TRUE(window.StartSearch(dir.Path().c_str()));
    window.Tick(0);  // reads the first search's event
    if (!window.IsSearching()) {
        EXPECT_FALSE(window.IsRunning());  // only the second thread's own end may end it
    }
    ASSERT_TRUE(TickUntilIdle(window));
    EXPECT_FALSE(window.IsCloseRequested());
}

TEST(WMissing, ClosingDuringASearchStopsTheThreadFirst)
{
    kivtest::TempDir dir;
    std::string deep = dir.Path();
    for (int i = 0; i < 30; ++i) {
        deep += "/level";
        MakeDir(deep);
    }
    for (int round = 0; round < 20; ++round) {
        auto* window = new WMissing(nullptr);
        window->AddMissing("/x/Never.gig");
        ASSERT_TRUE(window->StartSearch(dir.Path().c_str()));
        if (round % 2)
            usleep(200);
        delete window;  // waits for the walk, which stops at its next entry
    }
}

TEST(WMissing, ChosenFolderIsRememberedForLaterLoadsUnlessTooLong)
{
    kivtest::TempDir dir;
    Touch(dir.File("Found.gig"));
    GigaPrefs prefs;
    prefs.SetMissingFolder("/old/folder/");
    WMissing window(&prefs);
    window.AddMissing("/x/Found.gig");

    setenv("KIV_DIALOG_ANSWER", (dir.Path() + "\n").c_str(), 1);
    Click(window, window.GetScanButton());
    unsetenv("KIV_DIALOG_ANSWER");
    window.Tick(1);  // the browser's answer arrives
    EXPECT_EQ(prefs.GetMissingFolder(), dir.Path() + "/");
    ASSERT_TRUE(TickUntilIdle(window));
    EXPECT_TRUE(window.IsCloseRequested());
    EXPECT_EQ(window.GetCloseResult(), 1);

    // A cancelled browser starts nothing and keeps the setting.
    WMissing other(&prefs);
    other.AddMissing("/x/Found.gig");
    setenv("KIV_DIALOG_ANSWER", "", 1);
    Click(other, other.GetScanButton());
    unsetenv("KIV_DIALOG_ANSWER");
    other.Tick(1);
    EXPECT_FALSE(other.IsSearching());
    EXPECT_EQ(prefs.GetMissingFolder(), dir.Path() + "/");

    // A folder the setting cannot hold whole is searched but not stored.
    std::string longPath = dir.Path();
    for (int i = 0; i < 3; ++i) {
        longPath += "/" + std::string(200, static_cast<char>('a' + i));
        MakeDir(longPath);
    }
    Touch(longPath + "/Found.gig");
    setenv("KIV_DIALOG_ANSWER", (longPath + "\n").c_str(), 1);
    Click(other, other.GetScanButton());
    unsetenv("KIV_DIALOG_ANSWER");
    other.Tick(1);
    ASSERT_TRUE(TickUntilIdle(other));
    // The search may end before any tick sees it running: what it found
    // shows that it ran.
    ASSERT_NE(other.GetFoundPath("/x/Found.gig"), nullptr);
    EXPECT_EQ(std::string(other.GetFoundPath("/x/Found.gig")), longPath + "/Found.gig");
    EXPECT_EQ(prefs.GetMissingFolder(), dir.Path() + "/");
}
