// ctest-label: thread
// The stacked tone's note handling: stack modes, dimension walks, release
// triggers, controllers and the voice pool, played through a loaded player.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <map>
#include <set>
#include <thread>
#include <utility>

#include "GigaVoiceTestRig.h"
#include "engine/GigaZone.h"

using namespace voicetest;

namespace {

// Loads parts (path, program) into tone 0 in one pass.
void LoadParts(Rig& rig, const std::vector<std::pair<std::string, int>>& parts)
{
    for (const auto& p : parts)
        rig.Tone(0)->AddPart(p.first.c_str(), p.second);
    rig.manager.QueuePlayer(&rig.deck);
    rig.manager.RunNow(false);
    ASSERT_EQ(rig.Tone(0)->GetState(), giga::kToneLoaded);
    rig.Render();
}

// Plays key on channel 0 and returns the voices it started (after one block).
std::vector<GigaVoice*> Play(Rig& rig, int key, int velocity)
{
    std::set<OvVoice*> before;
    for (OvVoice* v = rig.Tone(0)->GetVoices().Head(); v; v = v->GetNext())
        before.insert(v);
    rig.deck.NoteOn(0, key, velocity, 0);
    rig.Render();
    std::vector<GigaVoice*> started;
    for (OvVoice* v = rig.Tone(0)->GetVoices().Head(); v; v = v->GetNext())
        if (!before.count(v))
            started.push_back(static_cast<GigaVoice*>(v));
    return started;
}

int PartIndex(Rig& rig, const GigaVoice* v)
{
    for (int i = 0; i < rig.Tone(0)->GetPartCount(); ++i)
        if (rig.Tone(0)->GetPart(i) == v->GetPart())
            return i;
    return -1;
}

int ZoneIndex(const GigaVoice* v, const GigaRegion* region)
{
    for (int i = 0; i < region->GetZoneCount(); ++i)
        if (region->GetZone(i) == v->GetZone())
            return i;
    return -1;
}

void Silence(Rig& rig)
{
    rig.deck.AllNotesOff(-1);
    for (int i = 0; i < 400 && rig.VoicesInUse() > 0; ++i)
        rig.Render();
    ASSERT_EQ(rig.VoicesInUse(), 0);
}

}  // namespace

TEST(GigaTone, AllPartsModePlaysEveryPartAndOnePartIsSelected)
{
    Rig rig;
    const std::string piano = rig.Write(gigtools::DemoPianoFixture());
    LoadParts(rig, {{piano, 0}, {piano, 1}});
    EXPECT_EQ(rig.Tone(0)->GetSelectedPart(), nullptr);
    auto voices = Play(rig, 60, 100);
    ASSERT_EQ(voices.size(), 2u);
    EXPECT_EQ(PartIndex(rig, voices[0]), 0);
    EXPECT_EQ(PartIndex(rig, voices[1]), 1);
    // Hosts send Bank Select (controller 0, then its LSB 32) with a program
    // change: mode 0 has no choosing controller, every part still sounds.
    for (int value : {0, 1, 127}) {
        rig.deck.Controller(0, 0, value, 0);
        rig.deck.Controller(0, 32, value, 0);
        rig.deck.ProgramChange(0, 1);
        EXPECT_EQ(Play(rig, 62, 100).size(), 2u) << value;
        EXPECT_EQ(rig.Tone(0)->GetSelectedPart(), nullptr);
    }

    Rig single;
    LoadParts(single, {{single.Write(gigtools::DemoPianoFixture()), 0}});
    EXPECT_EQ(single.Tone(0)->GetSelectedPart(), single.Tone(0)->GetPart(0));
    EXPECT_EQ(Play(single, 60, 100).size(), 1u);
}

TEST(GigaTone, VelocityModeChoosesThePartAndStopsAtTheLast)
{
    Rig rig;
    const std::string piano = rig.Write(gigtools::DemoPianoFixture());
    LoadParts(rig, {{piano, 0}, {piano, 1}, {piano, 0}});
    rig.Tone(0)->SetStackMode(130);
    const std::pair<int, int> cases[] = {{10, 0}, {41, 0}, {42, 1}, {100, 2}, {126, 2}, {127, 2}};
    for (const auto& [velocity, part] : cases) {
        auto voices = Play(rig, 60, velocity);
        ASSERT_EQ(voices.size(), 1u) << velocity;
        EXPECT_EQ(PartIndex(rig, voices[0]), part) << velocity;
    }
}

TEST(GigaTone, KeySwitchModeSelectsAPartAndTheSwitchKeySoundsNothing)
{
    Rig rig;
    const std::string piano = rig.Write(gigtools::DemoPianoFixture());
    LoadParts(rig, {{piano, 0}, {piano, 1}});
    GigaTone* tone = rig.Tone(0);
    for (int i = 0; i < 2; ++i) {
        tone->GetPart(i)->keyLow = 36;
        tone->GetPart(i)->keyHigh = 96;
    }
    tone->SetStackMode(133);
    ASSERT_TRUE(tone->PlaceKeySwitches(-1));
    EXPECT_EQ(tone->GetKeySwitchLow(), 34);
    EXPECT_EQ(tone->GetKeySwitchHigh(), 35);
    EXPECT_TRUE(Play(rig, 35, 100).empty());
    auto voices = Play(rig, 60, 100);
    ASSERT_EQ(voices.size(), 1u);
    EXPECT_EQ(PartIndex(rig, voices[0]), 1);
    EXPECT_TRUE(Play(rig, 34, 100).empty());
    voices = Play(rig, 60, 100);
    ASSERT_EQ(voices.size(), 1u);
    EXPECT_EQ(PartIndex(rig, voices[0]), 0);
}

TEST(GigaTone, ControllerAndProgramModesSelectTheirPart)
{
    Rig rig;
    const std::string piano = rig.Write(gigtools::DemoPianoFixture());
    LoadParts(rig, {{piano, 0}, {piano, 1}, {piano, 0}, {piano, 1}});
    GigaTone* tone = rig.Tone(0);
    tone->SetStackMode(1);
    EXPECT_EQ(tone->GetSelectedPart(), tone->GetPart(0));
    rig.deck.Controller(0, 1, 127, 0);
    rig.Render();
    EXPECT_EQ(tone->GetSelectedPart(), tone->GetPart(3));
    rig.deck.Controller(0, 1, 64, 0);
    rig.Render();
    EXPECT_EQ(tone->GetSelectedPart(), tone->GetPart(2));

    tone->SetStackMode(199);
    rig.deck.ProgramChange(0, 1);
    rig.Render();
    EXPECT_EQ(tone->GetSelectedPart(), tone->GetPart(1));
    rig.deck.ProgramChange(0, 9);  // past the parts: unchanged
    rig.Render();
    EXPECT_EQ(tone->GetSelectedPart(), tone->GetPart(1));
    auto voices = Play(rig, 60, 100);
    ASSERT_EQ(voices.size(), 1u);
    EXPECT_EQ(PartIndex(rig, voices[0]), 1);

    // A stored round-robin mode chooses nothing: the selected part sounds on.
    tone->SetStackMode(134);
    for (int i = 0; i < 3; ++i) {
        voices = Play(rig, 60 + i, 100);
        ASSERT_EQ(voices.size(), 1u);
        EXPECT_EQ(PartIndex(rig, voices[0]), 0);
    }
}

TEST(GigaTone, RandomModeChoosesAmongTheParts)
{
    Rig rig;
    const std::string piano = rig.Write(gigtools::DemoPianoFixture());
    LoadParts(rig, {{piano, 0}, {piano, 1}, {piano, 0}});
    rig.Tone(0)->SetStackMode(135);
    std::set<int> seen;
    for (int i = 0; i < 40; ++i) {
        auto voices = Play(rig, 40 + i, 100);
        ASSERT_EQ(voices.size(), 1u);
        seen.insert(PartIndex(rig, voices[0]));
    }
    EXPECT_EQ(seen.size(), 3u);
}

TEST(GigaTone, DimensionsChooseZonesByVelocityRoundRobinControllerAndLayer)
{
    Rig rig;
    const std::string piano = rig.Write(gigtools::DemoPianoFixture());
    const std::string drum = rig.Write(gigtools::RoundRobinDrumFixture());
    const std::string dims = rig.Write(gigtools::DimensionsFixture());

    LoadParts(rig, {{piano, 0}});
    const GigaRegion* region = rig.Tone(0)->GetPart(0)->GetProgram()->GetRegionForKey(60);
    for (const auto& [velocity, zone] : std::vector<std::pair<int, int>>{{30, 0}, {50, 1}, {90, 2}, {127, 3}}) {
        auto voices = Play(rig, 60, velocity);
        ASSERT_EQ(voices.size(), 1u);
        EXPECT_EQ(ZoneIndex(voices[0], region), zone) << velocity;
        EXPECT_EQ(voices[0]->GetRegion(), region);
    }

    Rig rr;
    LoadParts(rr, {{drum, 0}});
    region = rr.Tone(0)->GetPart(0)->GetProgram()->GetRegionForKey(36);
    for (int expected : {0, 1, 2, 3, 0}) {
        auto voices = Play(rr, 36, 100);
        ASSERT_EQ(voices.size(), 1u);
        EXPECT_EQ(ZoneIndex(voices[0], region), expected);
    }

    Rig wheel;
    LoadParts(wheel, {{dims, 3}});
    region = wheel.Tone(0)->GetPart(0)->GetProgram()->GetRegionForKey(60);
    const struct {
        int cc1, velocity, zone;
    } cases[] = {{0, 30, 0}, {127, 30, 1}, {0, 100, 2}, {127, 100, 3}};
    for (const auto& c : cases) {
        wheel.deck.Controller(0, 1, c.cc1, 0);
        auto voices = Play(wheel, 60, c.velocity);
        ASSERT_EQ(voices.size(), 1u);
        EXPECT_EQ(ZoneIndex(voices[0], region), c.zone);
    }

    Rig layer;
    LoadParts(layer, {{dims, 0}});
    region = layer.Tone(0)->GetPart(0)->GetProgram()->GetRegionForKey(60);
    auto voices = Play(layer, 60, 100);
    ASSERT_EQ(voices.size(), 2u);
    EXPECT_EQ(ZoneIndex(voices[0], region), 0);
    EXPECT_EQ(ZoneIndex(voices[1], region), 1);
}

TEST(GigaTone, ProgramKeySwitchChoosesTheZoneAndSoundsNothing)
{
    Rig rig;
    LoadParts(rig, {{rig.Write(gigtools::DimensionsFixture()), 2}});
    const GigaRegion* region = rig.Tone(0)->GetPart(0)->GetProgram()->GetRegionForKey(60);
    for (int zone : {1, 3, 0, 2}) {
        EXPECT_TRUE(Play(rig, 24 + zone, 100).empty());
        auto voices = Play(rig, 60, 100);
        ASSERT_EQ(voices.size(), 1u);
        EXPECT_EQ(ZoneIndex(voices[0], region), zone);
    }
}

TEST(GigaTone, ReleaseTriggerSoundsOnlyAfterAShortHold)
{
    Rig rig;
    LoadParts(rig, {{rig.Write(gigtools::DimensionsFixture()), 1}});
    const GigaRegion* region = rig.Tone(0)->GetPart(0)->GetProgram()->GetRegionForKey(60);
    auto voices = Play(rig, 60, 100);
    ASSERT_EQ(voices.size(), 1u);
    EXPECT_EQ(ZoneIndex(voices[0], region), 0);
    const float bodyAmplitude = voices[0]->GetAmplitude();
    for (int i = 0; i < 16; ++i)
        rig.Render();  // 17 blocks held: about 0.2 s
    const float held = voices[0]->GetFramesRendered() / kRate;
    rig.deck.NoteOff(0, 60, 0, 0);
    rig.Render();
    GigaVoice* trigger = nullptr;
    for (OvVoice* v = rig.Tone(0)->GetVoices().Head(); v; v = v->GetNext())
        if (!static_cast<GigaVoice*>(v)->GetRegion())
            trigger = static_cast<GigaVoice*>(v);
    ASSERT_NE(trigger, nullptr);
    EXPECT_EQ(ZoneIndex(trigger, region), 1);
    // Both zones have velocity curve defaults, so the gain is the ratio.
    EXPECT_NEAR(trigger->GetAmplitude() / bodyAmplitude, 1.0f - 9.0f * held * 0.125f, 1e-3);
    Silence(rig);

    voices = Play(rig, 60, 100);
    for (int i = 0; i < 80; ++i)
        rig.Render();  // about 0.9 s: the gain would be below 0.1
    rig.deck.NoteOff(0, 60, 0, 0);
    rig.Render();
    for (OvVoice* v = rig.Tone(0)->GetVoices().Head(); v; v = v->GetNext())
        EXPECT_NE(static_cast<GigaVoice*>(v)->GetRegion(), nullptr);
    Silence(rig);

    // With the pedal down the note off releases nothing yet and triggers nothing.
    rig.deck.Controller(0, 64, 127, 0);
    Play(rig, 60, 100);
    rig.deck.NoteOff(0, 60, 0, 0);
    rig.Render();
    EXPECT_EQ(rig.VoicesInUse(), 1);
}

TEST(GigaTone, ControllersSetLevelPanSustainAndQueueAllNotesOff)
{
    Rig rig;
    LoadParts(rig, {{rig.Write(gigtools::StereoPadFixture()), 0}});
    GigaTone* tone = rig.Tone(0);
    rig.deck.Controller(0, 7, 100, 0);
    rig.deck.Controller(0, 11, 64, 0);
    rig.deck.Controller(0, 10, 20, 0);
    rig.Render();
    EXPECT_FLOAT_EQ(tone->GetLevel(), 100.0f * 64.0f / 127.0f);
    EXPECT_EQ(tone->GetPan(), 20);

    auto voices = Play(rig, 72, 100);
    ASSERT_EQ(voices.size(), 1u);
    rig.deck.Controller(0, 123, 0, 0);
    rig.Render();  // handled here: the all-notes-off waits in the ring
    EXPECT_EQ(voices[0]->GetState(), kOvVoicePlaying);
    rig.Render();
    EXPECT_EQ(voices[0]->GetState(), kOvVoiceReleasing);

    rig.deck.Controller(0, 64, 127, 0);
    rig.deck.Controller(0, 1, 90, 0);
    rig.Render();
    EXPECT_TRUE(tone->IsSustain());
    rig.deck.Controller(0, 121, 0, 0);
    rig.Render();
    EXPECT_FALSE(tone->IsSustain());
    EXPECT_EQ(tone->GetController(1), 0);
    EXPECT_EQ(tone->GetController(94), 127);
}

TEST(GigaTone, MutesGatesAndVelocityZeroStartNothing)
{
    Rig rig;
    LoadParts(rig, {{rig.Write(gigtools::DemoPianoFixture()), 0}});
    GigaTone* tone = rig.Tone(0);
    tone->SetMuted(true);
    EXPECT_TRUE(Play(rig, 60, 100).empty());
    EXPECT_EQ(tone->GetHeldNotes(), 0);
    tone->SetMuted(false);
    tone->GetPart(0)->mute = true;
    EXPECT_TRUE(Play(rig, 60, 100).empty());
    tone->GetPart(0)->mute = false;

    GigaRegion* region = tone->GetPart(0)->GetProgram()->GetRegionForKey(60);
    for (int z = 0; z < region->GetZoneCount(); ++z)
        region->GetZone(z)->bypassCC94 = true;
    rig.deck.Controller(0, 94, 10, 0);
    EXPECT_TRUE(Play(rig, 60, 100).empty());
    rig.deck.Controller(0, 94, 64, 0);
    auto voices = Play(rig, 60, 100);
    ASSERT_EQ(voices.size(), 1u);

    rig.deck.NoteOn(0, 60, 0, 0);  // a note on of velocity 0 is a note off
    rig.Render();
    EXPECT_EQ(voices[0]->GetState(), kOvVoiceReleasing);
}

TEST(GigaTone, FullPoolDropsTheNoteAndDisturbsNoVoice)
{
    Rig rig;
    LoadParts(rig, {{rig.Write(gigtools::StereoPadFixture()), 0}});
    for (int i = 0; i < giga::kDeckVoices; ++i) {
        rig.deck.NoteOn(0, 40 + i % 80, 100, 0);
        if (i % 200 == 199)
            rig.Render();
    }
    rig.Render();
    ASSERT_EQ(rig.VoicesInUse(), giga::kDeckVoices);
    rig.deck.NoteOn(0, 64, 100, 0);
    rig.Render();
    EXPECT_EQ(rig.VoicesInUse(), giga::kDeckVoices);
    int playing = 0;
    for (OvVoice* v = rig.Tone(0)->GetVoices().Head(); v; v = v->GetNext())
        playing += v->GetState() == kOvVoicePlaying;
    EXPECT_EQ(playing, giga::kDeckVoices);
}

TEST(GigaTone, SelfMaskingRegionShortensOlderSofterNotesOnce)
{
    Rig rig;
    LoadParts(rig, {{rig.Write(gigtools::DemoPianoFixture()), 0}});
    rig.Tone(0)->GetPart(0)->GetProgram()->GetRegionForKey(60)->selfMask = true;
    auto soft = Play(rig, 60, 50);
    ASSERT_EQ(soft.size(), 1u);
    const float release = soft[0]->GetEnvelope().GetReleaseTime();
    Play(rig, 60, 100);
    const float shortened = soft[0]->GetEnvelope().GetReleaseTime();
    EXPECT_LT(shortened, release);
    Play(rig, 60, 110);
    EXPECT_FLOAT_EQ(soft[0]->GetEnvelope().GetReleaseTime(), shortened);
    Play(rig, 60, 20);  // softer: nothing is shortened
    EXPECT_FLOAT_EQ(soft[0]->GetEnvelope().GetReleaseTime(), shortened);
}

TEST(GigaTone, KeySwitchPlacementAndDisplayName)
{
    GigaTone tone;
    EXPECT_STREQ(tone.GetDisplayName().CStr(), "No instrument");
    tone.SetStacked(true);
    EXPECT_STREQ(tone.GetDisplayName().CStr(), "No stacked instrument");
    tone.AddPart("/banks/Piano.gig", 0);
    EXPECT_STREQ(tone.GetDisplayName().CStr(), "Piano.gig");
    EXPECT_FALSE(tone.PlaceKeySwitches(-1));  // one part
    tone.AddPart("/banks/Organ.gig", 0);
    tone.AddPart("/banks/Organ.gig", 1);
    EXPECT_STREQ(tone.GetDisplayName().CStr(), "Stacked Instrument");
    tone.SetName("Layers");
    EXPECT_STREQ(tone.GetDisplayName().CStr(), "Layers");

    for (int i = 0; i < 3; ++i) {
        tone.GetPart(i)->keyLow = 1;
        tone.GetPart(i)->keyHigh = 100;
    }
    // No room below 1: just above the highest key.
    ASSERT_TRUE(tone.PlaceKeySwitches(-1));
    EXPECT_EQ(tone.GetKeySwitchLow(), 101);
    EXPECT_EQ(tone.GetKeySwitchHigh(), 103);
    EXPECT_FALSE(tone.PlaceKeySwitches(50));   // inside the played keys
    EXPECT_FALSE(tone.PlaceKeySwitches(126));  // past 127
    EXPECT_TRUE(tone.PlaceKeySwitches(110));
    EXPECT_EQ(tone.GetKeySwitchHigh(), 112);
    for (int i = 0; i < 3; ++i)
        tone.GetPart(i)->keyLow = 40;
    EXPECT_TRUE(tone.PlaceKeySwitches(10));
    EXPECT_EQ(tone.GetKeySwitchLow(), 10);
    ASSERT_TRUE(tone.PlaceKeySwitches(-1));
    EXPECT_EQ(tone.GetKeySwitchLow(), 37);
    EXPECT_EQ(tone.GetKeySwitchHigh(), 39);
}

// The part unit reads names and parts on the GUI tick while a loader pass
// removes the parts that were cleared: the GUI's reads under the parts lock
// and the copied display name must never see a part being deleted.
TEST(GigaTone, GuiReadsPartsWhileLoaderRemovesThem)
{
    Rig rig;
    const std::string piano = rig.Write(gigtools::DemoPianoFixture());
    GigaTone* tone = rig.Tone(0);
    std::atomic<bool> done{false};
    std::thread loader([&] {
        while (!done.load(std::memory_order_acquire))
            tone->LoadParts(rig.manager);
    });
    int seen = 0;
    for (int round = 0; round < 60; ++round) {
        tone->AddPart(piano.c_str(), round % 2);
        for (int look = 0; look < 20; ++look) {
            const kiv::string name = tone->GetDisplayName();
            seen += name.GetLength() > 0 ? 1 : 0;
            GigaTone::PartsLock lock = tone->LockParts();
            for (int i = 0; i < tone->GetPartCount(); ++i) {
                GigaPart* part = tone->GetPart(i);
                ASSERT_NE(part, nullptr);
                if (const char* program = part->GetProgramName())
                    seen += program[0] != 0 ? 1 : 0;
                seen += part->keyHigh >= part->keyLow ? 1 : 0;
            }
        }
        tone->Clear();
    }
    done.store(true, std::memory_order_release);
    loader.join();
    EXPECT_GT(seen, 0);
    tone->LoadParts(rig.manager);
    EXPECT_EQ(tone->GetPartCount(), 0);  // every cleared part was removed
}

// The stack view edits layers while the host plays: faders and knobs store
// part settings and the layer list is reordered, while the audio thread
// starts and renders notes with them. In controller mode every note sounds
// exactly one layer, whatever a reorder was doing at the time.
TEST(GigaTone, GuiEditsAndReordersLayersWhileTheyPlay)
{
    Rig rig;
    const std::string piano = rig.Write(gigtools::DemoPianoFixture());
    LoadParts(rig, {{piano, 0}, {piano, 0}, {piano, 0}, {piano, 0}});
    GigaTone* tone = rig.Tone(0);
    tone->SetStackMode(1);
    std::atomic<bool> done{false};
    std::atomic<int> moves{0};
    std::thread gui([&] {
        for (int i = 0; !done.load(std::memory_order_acquire); ++i) {
            if (tone->MovePart(i % 4, (i * 7 + 1) % 4))
                moves.fetch_add(1, std::memory_order_relaxed);
            GigaTone::PartsLock lock = tone->LockParts();
            GigaPart* part = tone->GetPart(i % 4);
            part->level = 90 + i % 37;
            part->pan = 30 + i % 60;
            part->tuning = i % 50 - 25;
            part->keyOffset = i % 2;
            part->bend = 1 + i % 12;
            part->bus = i % 2;
            part->filterUse = i % 2;
            part->ampSettings[GigaPart::kVelocity] = 0.1f * static_cast<float>(i % 5);
            part->ampSettings[GigaPart::kRelease] = 0.05f * static_cast<float>(i % 3);
            part->filterSettings[GigaPart::kLevel] = 0.2f * static_cast<float>(i % 4);
            lock.unlock();
            std::this_thread::sleep_for(std::chrono::microseconds(100));  // a hand on the mouse
        }
    });
    // A GUI write preempted in the ring can hold later events back a block,
    // so a note may start a block late; it still sounds on one layer only.
    int layered = 0;
    int sounded = 0;
    for (int n = 0; n < 300; ++n) {
        rig.deck.Controller(0, 1, (n * 37) % 128, 0);
        const int key = 55 + n % 12;
        std::map<int, int> perKey;
        for (const GigaVoice* v : Play(rig, key, 100)) {
            ++perKey[v->GetKey() + v->GetKeyOffset()];
            ++sounded;
        }
        for (const auto& [k, count] : perKey)
            layered += count > 1;
        rig.deck.NoteOff(0, key, 0, 0);
        rig.Render();
        std::this_thread::sleep_for(std::chrono::microseconds(300));
    }
    done.store(true, std::memory_order_release);
    gui.join();
    EXPECT_EQ(layered, 0);
    EXPECT_GT(sounded, 250);
    EXPECT_GT(moves.load(), 0);
    // The audio thread's order followed every move: in controller mode
    // controller value v chooses the part now at v x 4 / 128.
    for (int i = 0; i < 8; ++i)
        rig.Render();  // the moves still queued
    for (int value : {0, 40, 70, 127}) {
        rig.deck.Controller(0, 1, value, 0);
        rig.Render();
        EXPECT_EQ(tone->GetSelectedPart(), tone->GetPart(value * 4 / 128)) << value;
    }
}
