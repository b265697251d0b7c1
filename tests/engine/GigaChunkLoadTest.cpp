// ctest-label: thread
// Host chunks, performances and presets loaded on one thread while the audio
// thread renders the studio and plays notes, as hosts and the editor do: the
// loads never touch a tone the audio thread is playing, and the instrument
// plays again after every load (or goes on playing when a load fails).
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <functional>
#include <string>
#include <thread>

#include "engine/AudioBuffers.h"
#include "engine/GigaArchive.h"
#include "engine/GigaBankManager.h"
#include "engine/GigaDeck.h"
#include "engine/GigaDiskThread.h"
#include "engine/GigaPrefs.h"
#include "engine/GigaStudio.h"
#include "engine/GigaTone.h"
#include "engine/OvEngine.h"
#include "engine/OvMixerConstants.h"
#include "GigaLoaderTestBanks.h"
#include "support/TestSupport.h"

namespace {

constexpr int kFrames = 512;
constexpr int kKey = 40;           // inside the first sample's region
constexpr int kNoteEvery = 6;      // blocks between note-ons
constexpr int kWaitMs = 60000;

struct Env {
    GigaPrefs prefs;
    GigaBankManager manager;
    GigaDiskThread disk;
    kivtest::TempDir dir;
    std::string bank;
    std::unique_ptr<GigaStudio> studio;
    GigaDeck* deck = nullptr;

    Env()
    {
        OvEngine::SetOutputRate(44100.0f);
        bank = dir.File("Keys.gig");
        EXPECT_TRUE(loadertest::WriteBank(bank, 2, 2, 2000));
        studio = GigaStudio::Create();
        studio->SetBlockSize(kFrames);
        deck = studio->GetDeck(0);
    }
    ~Env()
    {
        for (int i = 0; i < deck->GetToneCount(); ++i)
            deck->GetGigaTone(i)->Clear();
        manager.QueuePlayer(deck);
        manager.RunNow(false);
    }
    GigaTone* tone(int i) { return deck->GetGigaTone(i); }
    void Pass()
    {
        manager.QueuePlayer(deck);
        manager.RunNow(false);
    }
    // The editor's way: the loader thread takes the queued player.
    bool PassOnLoaderThread()
    {
        manager.QueuePlayer(deck);
        manager.StartLoading(false);
        return manager.WaitIdle(kWaitMs);
    }
    kiv::data State()
    {
        kiv::data chunk;
        EXPECT_TRUE(studio->GetState(chunk));
        return chunk;
    }
};

// The host's audio thread: a note on channel 0 every few blocks (events
// first, then the render, as processEvents and processReplacing), counting
// the blocks that sound.
class HostAudio {
public:
    explicit HostAudio(GigaStudio& studio) : m_studio(studio)
    {
        m_outputs.Resize(kOvMixerOutputs, 2, kFrames);
        m_thread = std::thread([this] { Run(); });
    }
    ~HostAudio() { Stop(); }
    void Stop()
    {
        m_stop.store(true, std::memory_order_release);
        if (m_thread.joinable())
            m_thread.join();
    }
    int Sounding() const { return m_sounding.load(std::memory_order_acquire); }
    // True once two more blocks sounded (one may still be a note from before).
    bool SoundsAgain(int since) const
    {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWaitMs);
        while (Sounding() < since + 2) {
            if (std::chrono::steady_clock::now() > end)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return true;
    }

private:
    void Run()
    {
        GigaDeck* deck = m_studio.GetDeck(0);
        for (int block = 0; !m_stop.load(std::memory_order_acquire); ++block) {
            if (block % kNoteEvery == 0) {
                deck->NoteOff(0, kKey, 0, 0);
                deck->NoteOn(0, kKey, 100, 0);
            }
            m_outputs.ClearActive();
            m_studio.Render(&m_outputs, kFrames);
            if (Peak() > 1e-3f)
                m_sounding.fetch_add(1, std::memory_order_acq_rel);
        }
    }
    float Peak()
    {
        float peak = 0.0f;
        for (int bus = 0; bus < kOvMixerOutputs; ++bus) {
            if (!m_outputs.HasSignal(bus))
                continue;
            for (int ch = 0; ch < 2; ++ch) {
                const float* data = m_outputs.GetChannel(bus, ch);
                for (int i = 0; data && i < kFrames; ++i)
                    peak = std::max(peak, std::fabs(data[i]));
            }
        }
        return peak;
    }

    GigaStudio& m_studio;
    audio::Buffers m_outputs;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_sounding{0};
    std::thread m_thread;
};

}  // namespace

TEST(GigaChunkLoad, EveryLoadWhilePlayingStopsTheTonesAndPlaysAgainAfter)
{
    Env env;
    // Two states that differ in the part settings the audio thread reads.
    env.tone(0)->AddPart(env.bank.c_str(), 0);
    env.Pass();
    const kiv::data first = env.State();
    GigaPart* part = env.tone(0)->GetPart(0);
    ASSERT_NE(part, nullptr);
    part->level = 100;
    part->pan = 30;
    part->tuning = 7;
    env.tone(1)->AddPart(env.bank.c_str(), 1);
    env.Pass();
    const kiv::data second = env.State();
    kiv::data player;
    ASSERT_TRUE(env.deck->GetState(player));
    const std::string tvp = env.dir.File("song.tvp");
    const std::string tv2 = env.dir.File("song.tv2");
    const std::string preset = env.dir.File("keys.tvpreset");
    ASSERT_TRUE(env.deck->SaveRiff(tvp.c_str()));
    ASSERT_TRUE(env.studio->SaveFile(tv2.c_str()));
    ASSERT_TRUE(env.tone(0)->SavePreset(preset.c_str()));
    const std::string riffBytes = kivtest::ReadFile(tvp);
    kiv::data riff;
    ASSERT_TRUE(riff.Alloc(static_cast<int>(riffBytes.size())));
    std::copy(riffBytes.begin(), riffBytes.end(), reinterpret_cast<char*>(riff.GetBytes()));
    kiv::data truncated;
    ASSERT_TRUE(truncated.Alloc(first.GetSize() / 2));
    std::copy(first.GetBytes(), first.GetBytes() + first.GetSize() / 2, truncated.GetBytes());

    HostAudio audio(*env.studio);
    ASSERT_TRUE(audio.SoundsAgain(0));

    const std::pair<const char*, std::function<bool()>> loads[] = {
        {"state chunk", [&] { return env.studio->SetState(first); }},
        {"another state chunk", [&] { return env.studio->SetState(second); }},
        {"older-form state chunk", [&] { return env.studio->SetState(riff); }},
        {"player state chunk", [&] { return env.deck->SetState(player); }},
        {"performance", [&] { return env.studio->LoadFile(tv2.c_str()) && env.PassOnLoaderThread(); }},
        {"older performance",
         [&] { return env.studio->LoadV1Performance(tvp.c_str()) && env.PassOnLoaderThread(); }},
        {"preset", [&] { return env.tone(0)->LoadPreset(preset.c_str()) && env.PassOnLoaderThread(); }},
        {"truncated chunk (fails)", [&] { return !env.studio->SetState(truncated); }},
        {"missing preset (fails)", [&] { return !env.tone(0)->LoadPreset(env.dir.File("none").c_str()); }},
    };
    for (int round = 0; round < 3; ++round) {
        for (const auto& [what, load] : loads) {
            SCOPED_TRACE(std::string(what) + ", round " + std::to_string(round));
            ASSERT_TRUE(load());
            const int sounding = audio.Sounding();
            EXPECT_TRUE(env.deck->IsRunning());
            EXPECT_EQ(env.tone(0)->GetState(), giga::kToneLoaded);
            EXPECT_TRUE(audio.SoundsAgain(sounding));
        }
    }
    audio.Stop();
    EXPECT_EQ(env.tone(0)->GetPartCount(), 1);
    EXPECT_EQ(env.tone(1)->GetPartCount(), 1);  // the last full state had it
}

TEST(GigaChunkLoad, ALoadThatLeavesNothingForTheLoaderStartsThePlayerAgainAtOnce)
{
    {
        Env env;
        const kiv::data empty = env.State();
        env.tone(0)->AddPart(env.bank.c_str(), 0);
        env.Pass();
        env.tone(0)->Clear();
        env.Pass();
        ASSERT_EQ(env.tone(0)->GetPartCount(), 0);
        ASSERT_TRUE(env.deck->IsRunning());
        // No tone has or gets parts: the loader's pass starts nothing.
        ASSERT_TRUE(env.studio->SetState(empty));
        EXPECT_TRUE(env.deck->IsRunning());
    }

    // Without a loader nothing would start a stopped player or tone again.
    GigaPrefs prefs;
    GigaDiskThread disk;
    kivtest::TempDir dir;
    ASSERT_EQ(GigaBankManager::Get(), nullptr);
    auto studio = GigaStudio::Create();
    GigaDeck* deck = studio->GetDeck(0);
    GigaTone* tone = deck->GetGigaTone(0);
    tone->AddPart(dir.File("Keys.gig").c_str(), 0);
    kiv::data state;
    ASSERT_TRUE(studio->GetState(state));
    const std::string preset = dir.File("keys.tvpreset");
    ASSERT_TRUE(tone->SavePreset(preset.c_str()));
    audio::Buffers outputs;
    outputs.Resize(kOvMixerOutputs, 2, kFrames);
    const auto render = [&] {
        outputs.ClearActive();
        studio->Render(&outputs, kFrames);
    };
    deck->OvStart();
    render();
    ASSERT_TRUE(tone->IsStarted());

    ASSERT_TRUE(tone->LoadPreset(preset.c_str()));
    EXPECT_EQ(tone->GetState(), giga::kToneToLoad);
    render();
    EXPECT_TRUE(tone->IsStarted());

    ASSERT_TRUE(studio->SetStateFromArchive(state));
    EXPECT_TRUE(deck->IsRunning());
    render();
    EXPECT_TRUE(tone->IsStarted());
}

// The loader thread keeps running passes over the player while the host
// thread loads every saved form into it: a pass and a load never work on the
// same parts at once (the thread sanitizer watches), and after the last load
// the player holds exactly what that load gave, loaded and playing.
TEST(GigaChunkLoad, LoadsWhileTheLoaderThreadRunsPassesOnThePlayerNeverOverlapThem)
{
    Env env;
    env.tone(0)->AddPart(env.bank.c_str(), 0);
    env.Pass();
    const kiv::data first = env.State();
    GigaPart* part = env.tone(0)->GetPart(0);
    ASSERT_NE(part, nullptr);
    part->level = 100;
    part->tuning = 7;
    env.tone(1)->AddPart(env.bank.c_str(), 1);
    env.Pass();
    const kiv::data second = env.State();
    kiv::data player;
    ASSERT_TRUE(env.deck->GetState(player));
    kiv::data partArchive;
    {
        ArchiSave saver;
        ASSERT_TRUE(saver.SaveMemory(env.tone(0)->GetPart(0), giga::kPartObject, partArchive));
    }
    const std::string tvp = env.dir.File("song.tvp");
    const std::string tv2 = env.dir.File("song.tv2");
    const std::string preset = env.dir.File("keys.tvpreset");
    ASSERT_TRUE(env.deck->SaveRiff(tvp.c_str()));
    ASSERT_TRUE(env.studio->SaveFile(tv2.c_str()));
    ASSERT_TRUE(env.tone(0)->SavePreset(preset.c_str()));
    const std::string riffBytes = kivtest::ReadFile(tvp);
    kiv::data riff;
    ASSERT_TRUE(riff.Alloc(static_cast<int>(riffBytes.size())));
    std::copy(riffBytes.begin(), riffBytes.end(), reinterpret_cast<char*>(riff.GetBytes()));

    HostAudio audio(*env.studio);
    std::atomic<bool> stop{false};
    std::atomic<int> passes{0};
    // The editor asks for passes of its own while the host loads.
    std::thread requests;
    const auto join = [&] {
        stop.store(true, std::memory_order_release);
        if (requests.joinable())
            requests.join();
    };
    struct Joiner {
        std::function<void()> call;
        ~Joiner() { call(); }
    } joiner{join};
    requests = std::thread([&] {
        while (!stop.load(std::memory_order_acquire)) {
            env.manager.QueuePlayer(env.deck);
            env.manager.StartLoading(false);
            env.manager.WaitIdle(kWaitMs);
            passes.fetch_add(1, std::memory_order_acq_rel);
        }
    });
    const auto startPass = [&] {
        env.manager.QueuePlayer(env.deck);
        env.manager.StartLoading(false);
        return true;
    };
    const auto loadPart = [&] {
        // A part taken from its tone stays only while no pass may remove it:
        // with every part loaded, none is removed.
        if (!env.manager.WaitIdle(kWaitMs))
            return false;
        GigaPart* target = env.tone(0)->GetPart(0);
        ArchiLoad loader;
        return target && loader.LoadMemory(target, giga::kPartObject, partArchive) && startPass();
    };
    const std::pair<const char*, std::function<bool()>> loads[] = {
        {"state chunk", [&] { return env.studio->SetState(first); }},
        {"performance", [&] { return env.studio->LoadFile(tv2.c_str()) && startPass(); }},
        {"older-form state chunk", [&] { return env.studio->SetState(riff); }},
        {"preset", [&] { return env.tone(0)->LoadPreset(preset.c_str()) && startPass(); }},
        {"player state chunk", [&] { return env.deck->SetState(player); }},
        {"older performance", [&] { return env.studio->LoadV1Performance(tvp.c_str()) && startPass(); }},
        {"part archive", loadPart},
        {"new performance", [&] { env.deck->ClearPerformance(); return true; }},
        {"another state chunk", [&] { return env.studio->SetState(second); }},
    };
    for (int round = 0; round < 6; ++round) {
        for (const auto& [what, load] : loads) {
            SCOPED_TRACE(std::string(what) + ", round " + std::to_string(round));
            ASSERT_TRUE(load());
        }
    }
    join();
    EXPECT_GT(passes.load(), 0);
    ASSERT_TRUE(env.manager.WaitIdle(kWaitMs));

    // The last load was the second state: both tones loaded and playing.
    EXPECT_TRUE(env.deck->IsRunning());
    ASSERT_EQ(env.tone(0)->GetPartCount(), 1);
    ASSERT_EQ(env.tone(1)->GetPartCount(), 1);
    EXPECT_EQ(env.tone(0)->GetState(), giga::kToneLoaded);
    EXPECT_EQ(env.tone(1)->GetState(), giga::kToneLoaded);
    EXPECT_EQ(env.tone(0)->GetPart(0)->GetState(), giga::kPartLoaded);
    EXPECT_EQ(env.tone(0)->GetPart(0)->level, 100);
    EXPECT_EQ(env.tone(1)->GetPart(0)->GetProgramIndex(), 1);
    const int sounding = audio.Sounding();
    EXPECT_TRUE(audio.SoundsAgain(sounding));
}
