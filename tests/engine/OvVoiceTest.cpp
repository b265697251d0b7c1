#include <gtest/gtest.h>

#include "OvTestDoubles.h"

using namespace ovtest;

TEST(OvVoice, The257thNoteIsDroppedAndTheOthersAreUndisturbed)
{
    auto p = RunningPlayer(2);
    auto buses = MakeBuses(64);
    for (int i = 0; i < 128; ++i) {
        p->NoteOn(0, i, 100, 0);
        p->NoteOn(1, i, 100, 0);
    }
    p->Render(buses.get(), 64);
    ASSERT_EQ(p->GetVoicePool().Count(), 0);
    // Same keys again: with no voice free, the sounding ones are not cut.
    p->NoteOn(0, 127, 90, 0);
    p->NoteOn(1, 0, 90, 0);
    p->Render(buses.get(), 64);
    for (int t = 0; t < 2; ++t) {
        EXPECT_EQ(p->Tone(t)->GetVoices().Count(), 128);
        int playing = 0;
        for (OvVoice* v = p->Tone(t)->GetVoices().Head(); v; v = v->GetNext())
            playing += v->GetState() == kOvVoicePlaying;
        EXPECT_EQ(playing, 128);
    }
}

TEST(OvVoice, SustainHoldsReleasedKeysUntilThePedalLifts)
{
    auto p = RunningPlayer(1);
    auto buses = MakeBuses(64);
    p->Controller(0, 64, 127, 0);
    p->NoteOn(0, 60, 100, 0);
    p->Render(buses.get(), 64);
    p->NoteOff(0, 60, 0, 0);
    p->Render(buses.get(), 64);
    p->Render(buses.get(), 64);
    OvVoice* v = p->Tone(0)->GetVoices().Head();
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(v->GetState(), kOvVoiceSustained);
    p->Controller(0, 64, 0, 0);
    p->Render(buses.get(), 64);
    EXPECT_EQ(v->GetState(), kOvVoiceReleasing);
}

TEST(OvVoice, ZoneIgnoringSustainReleasesAtOnce)
{
    TestTone tone;
    tone.SetSustain(true);
    TestVoice v;
    OvZone zone;
    v.Setup(60, 100, 5, &zone, &tone, nullptr);
    v.SetIgnoresSustain(true);
    EXPECT_EQ(v.GetDeltaFrames(), 5);
    EXPECT_FLOAT_EQ(v.GetStartLevel(), 90.0f);
    v.RequestRelease();
    EXPECT_EQ(v.RenderStep(nullptr, 32), 32);
    EXPECT_EQ(v.GetState(), kOvVoiceReleasing);
    EXPECT_EQ(v.GetDeltaFrames(), 0);
    EXPECT_EQ(v.GetFramesRendered(), 32);
}

TEST(OvVoice, NoteOffDoesNotTurnAFastReleaseIntoASlowOne)
{
    TestTone tone;
    TestVoice v;
    v.releaseBlocks = 100;
    v.fastReleaseBlocks = 2;
    OvZone zone;
    v.Setup(60, 100, 0, &zone, &tone, nullptr);
    v.SetState(kOvVoiceFastRelease);
    v.RenderStep(nullptr, 16);
    v.RequestRelease();
    v.RenderStep(nullptr, 16);
    EXPECT_LT(v.RenderStep(nullptr, 16), 16);
    EXPECT_EQ(v.GetState(), kOvVoiceFinished);
}

TEST(OvVoice, VoiceEndingEarlyLeavesTheListInTheSameBlockForTheNextNote)
{
    auto p = std::make_unique<TestPlayer>(1, 1);
    p->OnInit();
    p->OvStart();
    auto buses = MakeBuses(64);
    p->Render(buses.get(), 64);
    p->NoteOn(0, 60, 100, 0);
    p->Render(buses.get(), 64);
    auto* v = static_cast<TestVoice*>(p->Tone(0)->GetVoices().Head());
    ASSERT_NE(v, nullptr);
    v->SetState(kOvVoiceFastRelease);  // ends in its next render
    p->Render(buses.get(), 64);
    p->Render(buses.get(), 64);
    EXPECT_EQ(p->Tone(0)->GetVoices().Count(), 0);
    EXPECT_EQ(p->GetVoicePool().Count(), 1);
    EXPECT_GE(v->stops, 1);
    p->NoteOn(0, 61, 100, 0);
    p->Render(buses.get(), 64);
    EXPECT_EQ(p->Tone(0)->GetVoices().Count(), 1);
}

TEST(OvVoiceList, AppendRemovePopAndKeyOperations)
{
    OvVoiceList list;
    TestVoice* v[3];
    TestTone tone;
    OvZone zone;
    for (int i = 0; i < 3; ++i) {
        v[i] = new TestVoice;
        v[i]->Setup(i == 2 ? 0 : 1, 100, 0, &zone, &tone, nullptr);
        list.Append(v[i]);
    }
    EXPECT_EQ(list.Count(), 3);
    list.FastReleaseKey(1);
    EXPECT_EQ(v[0]->GetState(), kOvVoiceFastRelease);
    EXPECT_EQ(v[2]->GetState(), kOvVoicePlaying);
    list.ReleaseKey(0);
    EXPECT_TRUE(v[2]->IsReleaseRequested());
    EXPECT_TRUE(list.Remove(v[1]));
    EXPECT_FALSE(list.Remove(v[1]));
    EXPECT_EQ(list.Count(), 2);
    EXPECT_EQ(list.PopFront(), v[0]);
    delete v[0];
    delete v[1];
    EXPECT_EQ(list.Head(), v[2]);
    list.Append(new TestVoice);  // the list deletes what it still holds
    EXPECT_EQ(list.Count(), 2);
}
