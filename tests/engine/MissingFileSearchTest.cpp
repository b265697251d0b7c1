#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "engine/GigaBankManager.h"
#include "engine/GigaDeck.h"
#include "engine/GigaDiskThread.h"
#include "engine/GigaPrefs.h"
#include "engine/GigaTone.h"
#include "GigaLoaderTestBanks.h"
#include "support/TestSupport.h"

namespace {

struct Search {
    GigaPrefs prefs;
    GigaBankManager manager;
    GigaDiskThread disk;
    GigaDeck deck;
    kivtest::TempDir dir;

    Search()
    {
        deck.OnInit();
        mkdir(dir.File("a").c_str(), 0755);
        mkdir(dir.File("a/b").c_str(), 0755);
    }
    ~Search()
    {
        for (int i = 0; i < giga::kDeckTones; ++i)
            deck.GetGigaTone(i)->Clear();
        manager.QueuePlayer(&deck);
        manager.RunNow(false);
    }
    GigaPart* Missing(int tone, const char* storedPath)
    {
        return deck.GetGigaTone(tone)->AddPart(storedPath, 0);
    }
    void Touch(const char* relative)
    {
        ASSERT_TRUE(kivtest::WriteFile(dir.File(relative), "x", 1));
    }
};

}  // namespace

TEST(MissingFileSearch, FindsFileOfExactNameInSubFolderForBothSeparators)
{
    Search s;
    s.Touch("a/b/Piano.gig");
    GigaPart* unix = s.Missing(0, "/nonexistent/x/Piano.gig");
    GigaPart* windows = s.Missing(1, "C:\\Libs\\Piano.gig");
    GigaPart* other = s.Missing(2, "/nonexistent/Organ.gig");
    s.manager.QueuePlayer(&s.deck);

    EXPECT_FALSE(s.manager.CheckMissingFiles());
    EXPECT_EQ(unix->GetState(), giga::kPartMissing);
    s.manager.SearchFolder(s.dir.Path().c_str());

    std::string found = s.dir.File("a/b/Piano.gig");
    EXPECT_EQ(unix->GetState(), giga::kPartToLoad);
    EXPECT_STREQ(unix->GetPath(), found.c_str());
    EXPECT_EQ(windows->GetState(), giga::kPartToLoad);
    EXPECT_STREQ(windows->GetPath(), found.c_str());
    EXPECT_EQ(other->GetState(), giga::kPartMissing);
}

TEST(MissingFileSearch, OtherLetterCaseDoesNotMatch)
{
    Search s;
    s.Touch("a/b/piano.gig");
    GigaPart* part = s.Missing(0, "/nonexistent/x/Piano.gig");
    s.manager.QueuePlayer(&s.deck);
    s.manager.CheckMissingFiles();
    s.manager.SearchFolder(s.dir.Path().c_str());
    EXPECT_EQ(part->GetState(), giga::kPartMissing);
    EXPECT_STREQ(part->GetPath(), "/nonexistent/x/Piano.gig");
}

TEST(MissingFileSearch, MatchNeedsGigNameAndSeparatorBeforeIt)
{
    Search s;
    GigaPart* part = s.Missing(0, "/lib/MyPiano.gig");
    GigaPart* upper = s.Missing(1, "/lib/LOUD.GIG");
    s.manager.QueuePlayer(&s.deck);
    s.manager.CheckMissingFiles();
    EXPECT_EQ(s.manager.MatchFile("Piano.gig", "/found/Piano.gig"), 2);  // no separator before
    EXPECT_EQ(s.manager.MatchFile(".gig", "/found/.gig"), -1);           // too short
    EXPECT_EQ(s.manager.MatchFile("MyPiano.wav", "/found/MyPiano.wav"), -1);
    EXPECT_EQ(s.manager.MatchFile("LOUD.GIG", "/found/LOUD.GIG"), 1);   // ".gig" in any case
    EXPECT_EQ(upper->GetState(), giga::kPartToLoad);
    EXPECT_EQ(s.manager.MatchFile("MyPiano.gig", "/found/MyPiano.gig"), 0);
    EXPECT_EQ(part->GetState(), giga::kPartToLoad);
}

TEST(MissingFileSearch, LinkLoopAndHiddenFoldersAreNotFollowed)
{
    Search s;
    ASSERT_EQ(symlink(s.dir.Path().c_str(), s.dir.File("a/b/loop").c_str()), 0);
    mkdir(s.dir.File(".hidden").c_str(), 0755);
    s.Touch(".hidden/Piano.gig");
    GigaPart* part = s.Missing(0, "/nonexistent/Piano.gig");
    s.manager.QueuePlayer(&s.deck);
    s.manager.CheckMissingFiles();
    s.manager.SearchFolder(s.dir.Path().c_str());  // ends despite the loop
    EXPECT_EQ(part->GetState(), giga::kPartMissing);

    // A link to a file is a file.
    s.Touch("a/real.bin");
    ASSERT_EQ(symlink(s.dir.File("a/real.bin").c_str(), s.dir.File("a/b/Piano.gig").c_str()), 0);
    s.manager.SearchFolder(s.dir.Path().c_str());
    EXPECT_EQ(part->GetState(), giga::kPartToLoad);
}

TEST(MissingFileSearch, PassWithSearchLoadsTheFoundBank)
{
    Search s;
    loadertest::EventLog editor;
    s.deck.SetEditor(&editor);
    ASSERT_TRUE(loadertest::WriteBank(s.dir.File("a/b/Strings.gig")));
    s.prefs.SetMissingFolder(s.dir.Path().c_str());
    GigaPart* part = s.Missing(0, "D:\\Old Drive\\Strings.gig");

    s.manager.QueuePlayer(&s.deck);
    s.manager.RunNow(true);
    EXPECT_EQ(part->GetState(), giga::kPartLoaded);
    EXPECT_EQ(s.deck.GetGigaTone(0)->GetState(), giga::kToneLoaded);
    EXPECT_EQ(editor.CountLoaded(1), 1);

    // Without the search the same stored path stays missing.
    s.deck.GetGigaTone(1)->AddPart("D:\\Old Drive\\Strings.gig", 0);
    s.manager.QueuePlayer(&s.deck);
    s.manager.RunNow(false);
    EXPECT_EQ(s.deck.GetGigaTone(1)->GetPart(0)->GetState(), giga::kPartMissing);
    EXPECT_EQ(editor.CountLoaded(0), 1);
    s.deck.SetEditor(nullptr);
}
