#include <gtest/gtest.h>

#include "engine/GigaBank.h"
#include "engine/GigaBankManager.h"
#include "engine/GigaDeck.h"
#include "engine/GigaDiskThread.h"
#include "engine/GigaPart.h"
#include "engine/GigaPrefs.h"
#include "engine/GigaTone.h"
#include "GigaLoaderTestBanks.h"
#include "support/TestSupport.h"

TEST(GigaPart, FileNameIsTheLastElementForBothSeparators)
{
    GigaPart part(nullptr);
    EXPECT_EQ(part.GetPath(), nullptr);
    EXPECT_EQ(part.GetFileName(), nullptr);
    struct Case {
        const char* path;
        const char* name;
    };
    const Case cases[] = {
        {"C:\\Libs\\Piano.gig", "Piano.gig"},
        {"/home/me/Strings.gig", "Strings.gig"},
        {"Solo.gig", "Solo.gig"},
        {"ab", "ab"},          // shorter than the search start: stays inside
        {"/x/.gig", ".gig"},   // the separator four characters before the end is not searched
    };
    for (const Case& c : cases) {
        part.SetProgram(c.path, 0, false);
        ASSERT_NE(part.GetFileName(), nullptr) << c.path;
        EXPECT_STREQ(part.GetFileName(), c.name) << c.path;
    }
}

TEST(GigaPart, SetProgramClearAndSetPathSetStateToLoad)
{
    GigaPart part(nullptr);
    part.keyLow = 10;
    part.keyHigh = 20;
    part.keyOffset = 3;
    part.SetProgram("/a.gig", 2, false);
    EXPECT_EQ(part.GetState(), giga::kPartToLoad);
    EXPECT_EQ(part.keyHigh, 20);
    part.SetProgram("/b.gig", 1, true);
    EXPECT_EQ(part.keyLow, 0);
    EXPECT_EQ(part.keyHigh, 0);
    EXPECT_EQ(part.keyOffset, 0);
    part.SetState(giga::kPartMissing);
    part.SetPath("/found/b.gig");
    EXPECT_EQ(part.GetState(), giga::kPartToLoad);
    EXPECT_STREQ(part.GetPath(), "/found/b.gig");
    part.Clear();
    EXPECT_EQ(part.GetProgramIndex(), -1);
    EXPECT_EQ(part.GetState(), giga::kPartToLoad);
}

TEST(GigaPart, LoadFollowsTheStates)
{
    GigaBankManager manager;
    GigaPart part(nullptr);
    part.SetState(giga::kPartMissing);
    EXPECT_FALSE(part.Load(manager));  // still missing
    part.SetState(giga::kPartLoaded);
    EXPECT_TRUE(part.Load(manager));   // nothing to do
    part.SetProgram(nullptr, -1, false);
    EXPECT_TRUE(part.Load(manager));   // emptied: to be removed
    EXPECT_EQ(part.GetState(), giga::kPartLoading);
    part.SetProgram(nullptr, 3, false);
    EXPECT_FALSE(part.Load(manager));  // an index without a file is missing
    EXPECT_EQ(part.GetState(), giga::kPartMissing);
}

TEST(GigaPart, LoadTakesProgramRangeBendAndAverages)
{
    GigaPrefs prefs;
    GigaBankManager manager;
    GigaDiskThread disk;
    kivtest::TempDir dir;
    std::string path = dir.File("Bend.gig");
    ASSERT_TRUE(loadertest::WriteBank(path, 1, 2, 2000, 7));
    GigaDeck deck;
    deck.OnInit();
    GigaTone* tone = deck.GetGigaTone(0);
    GigaPart* unset = tone->AddPart(path.c_str(), 0);
    GigaPart* twelve = tone->AddPart(path.c_str(), 0);
    twelve->keyLow = twelve->keyHigh = 12;
    GigaPart* own = tone->AddPart(path.c_str(), 0);
    own->keyLow = 40;
    own->keyHigh = 50;
    own->bend = 3;
    manager.QueuePlayer(&deck);
    manager.RunNow(false);
    ASSERT_EQ(tone->GetState(), giga::kToneLoaded);
    for (GigaPart* p : {unset, twelve}) {
        EXPECT_EQ(p->keyLow, 36);  // the regions cover 36..59
        EXPECT_EQ(p->keyHigh, 59);
        EXPECT_EQ(p->bend, 7);
    }
    EXPECT_EQ(own->keyLow, 40);
    EXPECT_EQ(own->bend, 3);
    EXPECT_EQ(own->programBend, 7);
    EXPECT_STREQ(own->GetProgramName(), "Instrument 0");
    EXPECT_EQ(tone->GetLowestKey(), 36);
    EXPECT_EQ(tone->GetHighestKey(), 59);
    // Every zone has the writer's release of 0.3 s and no filter.
    EXPECT_NEAR(own->ampAverage[GigaPart::kRelease], 0.3f, 0.01f);
    EXPECT_EQ(own->filterAverage[GigaPart::kLevel], 0.0f);
    EXPECT_EQ(tone->GetSelectedPart(), nullptr);  // mode 0 with several parts
    tone->Clear();
    manager.QueuePlayer(&deck);
    manager.RunNow(false);
    EXPECT_EQ(tone->GetPartCount(), 0);
}
