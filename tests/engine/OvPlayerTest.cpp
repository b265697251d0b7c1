// ctest-label: thread
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "OvTestDoubles.h"
#include "support/TestSupport.h"
#include "engine/OvEngine.h"

using namespace ovtest;

namespace {

class Listener : public midi::Input {
public:
    int notes = 0;
    void NoteOn(int, int, int, int) override { ++notes; }
    void NoteOff(int, int, int, int) override { ++notes; }
    void Controller(int, int, int, int) override {}
    void PitchBend(int, int, int, int) override {}
    void ProgramChange(int, int) override {}
    void AllNotesOff(int) override {}
};

class Queue : public OvEventTarget {
public:
    XEvent last{};
    bool PostEvent(const XEvent& e) override
    {
        last = e;
        return true;
    }
};

}  // namespace

TEST(OvPlayer, SingleTonePlaysEveryChannelSeveralTonesOnlyTheirOwn)
{
    auto one = RunningPlayer(1);
    one->NoteOn(9, 60, 100, 0);
    auto buses = MakeBuses(64);
    one->Render(buses.get(), 64);
    EXPECT_EQ(one->Tone(0)->GetVoices().Count(), 1);

    auto many = RunningPlayer(3);
    buses->ClearActive();
    many->NoteOn(1, 60, 100, 0);
    many->NoteOn(9, 61, 100, 0);  // no tone on channel 9
    many->Render(buses.get(), 64);
    EXPECT_EQ(many->Tone(0)->GetVoices().Count(), 0);
    EXPECT_EQ(many->Tone(1)->GetVoices().Count(), 1);
    EXPECT_EQ(many->Tone(2)->GetVoices().Count(), 0);
    // Tone 1 renders on its bus; tone 0's bus stays silent.
    EXPECT_TRUE(buses->HasSignal(1));
    EXPECT_FALSE(buses->HasSignal(0));
}

TEST(OvPlayer, NoteListenerHearsItsChannelOnly)
{
    auto p = RunningPlayer(2);
    Listener l;
    p->SetNoteListener(&l, 1);
    p->NoteOn(1, 60, 100, 0);
    p->NoteOff(1, 60, 0, 0);
    p->NoteOn(0, 60, 100, 0);
    EXPECT_EQ(l.notes, 2);
}

TEST(OvPlayer, ControllerMapRenumbersAndNegativeEntryDrops)
{
    auto p = RunningPlayer(1);
    int map[128];
    for (int i = 0; i < 128; ++i)
        map[i] = i;
    map[1] = 11;
    map[2] = -1;
    p->SetControllerMap(map);
    p->Controller(0, 1, 50, 0);
    p->Controller(0, 2, 70, 0);
    p->Controller(0, 200, 70, 0);  // outside the map
    auto buses = MakeBuses(64);
    p->Render(buses.get(), 64);
    TestTone* t = p->Tone(0);
    EXPECT_EQ(t->GetController(11), 50);
    EXPECT_EQ(t->GetController(1), 0);
    EXPECT_EQ(t->GetController(2), 0);
    EXPECT_EQ(t->handled.load(), 1);

    p->SetControllerMap(nullptr);
    p->Controller(0, 2, 70, 0);
    p->Render(buses.get(), 64);
    EXPECT_EQ(t->GetController(2), 70);
}

TEST(OvPlayer, ControllerMapEditedByTheSettingsWindowWhileMidiArrives)
{
    auto p = RunningPlayer(1);
    int map[128];
    for (int i = 0; i < 128; ++i)
        map[i] = i;
    map[1] = 11;
    p->SetControllerMap(map);
    auto buses = MakeBuses(64);
    p->Controller(0, 1, 5, 0);
    p->Render(buses.get(), 64);
    std::atomic<bool> quit{false};
    // The settings window's edits: relaxed stores through atomic_ref, as it
    // makes them; controller 1 goes to 11 or is dropped, never through as 1.
    std::thread gui([&] {
        for (int n = 0; !quit.load(std::memory_order_relaxed); ++n)
            std::atomic_ref<int>(map[1]).store(n % 2 ? -1 : 11, std::memory_order_relaxed);
    });
    for (int block = 0; block < 300; ++block) {
        p->Controller(0, 1, 1 + block % 100, 0);
        p->Render(buses.get(), 64);
    }
    quit.store(true);
    gui.join();
    TestTone* t = p->Tone(0);
    EXPECT_EQ(t->GetController(1), 0);
    EXPECT_GT(t->GetController(11), 0);
}

TEST(OvPlayer, AllNotesOffReachesEveryToneOrOneChannel)
{
    auto p = RunningPlayer(3);
    p->AllNotesOff(2);
    auto buses = MakeBuses(64);
    p->Render(buses.get(), 64);
    EXPECT_EQ(p->Tone(0)->handled.load(), 0);
    EXPECT_EQ(p->Tone(2)->handled.load(), 128);
    p->AllNotesOff(-1);
    p->Render(buses.get(), 64);
    EXPECT_EQ(p->Tone(0)->handled.load(), 128);
    EXPECT_EQ(p->Tone(1)->handled.load(), 128);
}

TEST(OvPlayer, SuspendDropsEverythingAndEndsVoices)
{
    auto p = RunningPlayer(1);
    auto buses = MakeBuses(64);
    p->NoteOn(0, 60, 100, 0);
    p->Render(buses.get(), 64);
    ASSERT_EQ(p->Tone(0)->GetVoices().Count(), 1);
    p->NoteOn(0, 62, 100, 0);  // waiting in the ring
    p->Suspend();
    EXPECT_EQ(p->Tone(0)->GetVoices().Count(), 0);
    EXPECT_EQ(p->GetVoicePool().Count(), kOvVoicesPerPlayer);
    p->NoteOn(0, 64, 100, 0);  // dropped while suspended
    const uint64_t frames = p->GetFrameCounter();
    p->Render(buses.get(), 64);
    EXPECT_EQ(p->GetFrameCounter(), frames);  // not rendering
    p->Resume();
    p->Render(buses.get(), 64);
    EXPECT_EQ(p->Tone(0)->GetVoices().Count(), 0);
    EXPECT_TRUE(p->Tone(0)->IsStarted());  // tones keep their state
    p->NoteOn(0, 65, 100, 0);
    p->Render(buses.get(), 64);
    EXPECT_EQ(p->Tone(0)->GetVoices().Count(), 1);
}

TEST(OvPlayer, ResumeBetweenLoaderStopAndStartStillStartsTheTones)
{
    auto p = RunningPlayer(2);
    p->OvStop();  // nobody renders: the handshakes time out
    EXPECT_FALSE(p->IsRunning());
    EXPECT_FALSE(p->Tone(0)->IsStarted());
    p->Suspend();
    p->Resume();
    p->OvStart();
    EXPECT_TRUE(p->IsRunning());
    // A note sent between the start and the next block (a host's first note
    // right after a state chunk loaded) is kept by the armed tone.
    p->NoteOn(0, 60, 100, 0);
    auto buses = MakeBuses(64);
    p->Render(buses.get(), 64);
    EXPECT_TRUE(p->Tone(0)->IsStarted());
    EXPECT_TRUE(p->Tone(1)->IsStarted());
    EXPECT_EQ(p->Tone(0)->GetVoices().Count(), 1);
    p->NoteOn(1, 60, 100, 0);
    p->Render(buses.get(), 64);
    EXPECT_EQ(p->Tone(1)->GetVoices().Count(), 1);

    // A start withdrawn before any block took it drops what was queued for it.
    auto q = RunningPlayer(1);
    q->OvStop();
    q->OvStart();
    q->NoteOn(0, 62, 100, 0);
    q->OvStop();
    q->OvStart();
    q->Render(buses.get(), 64);
    EXPECT_TRUE(q->Tone(0)->IsStarted());
    EXPECT_EQ(q->Tone(0)->GetVoices().Count(), 0);
}

TEST(OvPlayer, StartingARunningPlayerOnlyEnablesMidiAndStoppingAStoppedOneDoesNothing)
{
    auto p = RunningPlayer(1);
    auto buses = MakeBuses(64);
    p->NoteOn(0, 60, 100, 0);
    p->Render(buses.get(), 64);
    p->OvStart();  // already running: its voice keeps sounding
    EXPECT_EQ(p->Tone(0)->GetVoices().Count(), 1);

    TestPlayer q(1);
    q.OnInit();
    q.OvStop();
    EXPECT_FALSE(q.IsRunning());
    EXPECT_FALSE(q.IsMidiEnabled());
}

TEST(OvPlayer, CountersAdvanceOnlyWhileRunning)
{
    TestPlayer p(1);
    p.OnInit();
    auto buses = MakeBuses(512);
    EXPECT_EQ(p.Render(buses.get(), 441), 441);
    EXPECT_EQ(p.GetFrameCounter(), 0u);
    p.OvStart();
    p.Render(buses.get(), 441);
    EXPECT_EQ(p.GetFrameCounter(), 441u);
    EXPECT_EQ(p.GetPosition(), 256u);  // 441 x 256 x 100 / 44100
}

TEST(OvPlayer, OutputNamesEditorPostsPathAndLiveCount)
{
    const int live = OvPlayer::GetLivePlayerCount();
    {
        TestPlayer p(1);
        EXPECT_EQ(OvPlayer::GetLivePlayerCount(), live + 1);
        kiv::string name;
        ASSERT_TRUE(p.GetOutputName(0, name));
        EXPECT_STREQ(name.CStr(), "Out 1-2");
        EXPECT_TRUE(p.SetOutputNameFormat("Bus %d|%d %%"));
        p.GetOutputName(3, name);
        EXPECT_STREQ(name.CStr(), "Bus 7|8 %");
        EXPECT_FALSE(p.SetOutputNameFormat("%s"));
        EXPECT_FALSE(p.SetOutputNameFormat("%d %d %d"));
        p.GetOutputName(0, name);
        EXPECT_STREQ(name.CStr(), "Bus 1|2 %");

        EXPECT_FALSE(p.PostToEditor(XEvent{1, 2, 3}));
        Queue q;
        p.SetEditor(&q);
        EXPECT_TRUE(p.PostToEditor(XEvent{fourcc("OvTL"), 1, 0}));
        EXPECT_EQ(q.last.kind, static_cast<int32_t>(fourcc("OvTL")));

        p.SetPath("/a/b.tv2");
        EXPECT_STREQ(p.GetPath(), "/a/b.tv2");
        p.SetPath(nullptr);
        EXPECT_EQ(p.GetPath(), nullptr);

        p.SetSampleRate(48000.0f);
        EXPECT_FLOAT_EQ(OvEngine::GetOutputRate(), 48000.0f);
        OvEngine::SetOutputRate(44100.0f);
    }
    EXPECT_EQ(OvPlayer::GetLivePlayerCount(), live);
}

TEST(OvPlayer, RenderWithManyVoicesAndFullRingsAllocatesNothing)
{
    auto p = RunningPlayer(16);
    auto buses = MakeBuses(512);
    for (int t = 0; t < 16; ++t)
        for (int k = 0; k < 16; ++k)
            p->NoteOn(t, 20 + k, 100, 0);
    p->Render(buses.get(), 512);
    ASSERT_EQ(p->GetVoicePool().Count(), 0);
    for (int t = 0; t < 16; ++t) {
        for (int i = 0; i < 1022; ++i)
            p->Tone(t)->QueueEvent(kOvEventController, 30, i, 0);
        p->Tone(t)->AllNotesOff();
    }
    long count = 0;
    {
        kivtest::AllocCounter counter;
        p->Render(buses.get(), 512);
        p->Render(buses.get(), 512);
        count = counter.Count();
    }
    EXPECT_EQ(count, 0);
}

TEST(OvPlugin, ProgramChangeSelectsTheParameterSet)
{
    auto p = RunningPlayer(1);
    p->AddParameter(0.0f);
    p->AddParameter(0.0f);
    const float set[2] = {0.25f, 0.75f};
    p->SetParameterSet(5, set, 2);
    p->ProgramChange(0, 5);
    EXPECT_EQ(p->GetCurrentSet(), 5);
    EXPECT_FLOAT_EQ(p->GetParameter(1), 0.75f);
    p->ProgramChange(0, 6);  // no set: an empty set becomes current
    EXPECT_EQ(p->GetCurrentSet(), 6);
    EXPECT_FLOAT_EQ(p->GetParameter(1), 0.75f);
    p->ProgramChange(0, 999);
    EXPECT_EQ(p->GetCurrentSet(), 6);
}
