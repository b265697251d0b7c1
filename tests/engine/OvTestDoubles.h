// Small derived tones, voices and players that run the engine's base
// classes without any sample format: every key has a zone, a voice renders
// a constant 1.0 and ends a set number of blocks after its release starts.
#pragma once
#include <array>
#include <atomic>
#include <memory>

#include "engine/AudioBuffers.h"
#include "engine/OvPlayer.h"
#include "engine/OvTone.h"
#include "engine/OvView.h"
#include "engine/OvVoice.h"
#include "engine/OvZone.h"

namespace ovtest {

class TestVoice : public OvVoice {
public:
    // Blocks a release (state 2 -> 4) and a fast release (3 -> 4) last.
    int releaseBlocks = 3;
    int fastReleaseBlocks = 1;
    int stops = 0;

protected:
    void Start() noexcept override { m_left = -1; }
    int Render(audio::Buffers* buses, int frames) noexcept override
    {
        if (GetState() == kOvVoiceReleased) {
            SetState(kOvVoiceReleasing);
            m_left = releaseBlocks;
        } else if (GetState() == kOvVoiceFastRelease) {
            SetState(kOvVoiceReleasing);
            m_left = fastReleaseBlocks;
        }
        if (m_left == 0)
            return 0;
        if (m_left > 0)
            --m_left;
        if (buses) {
            const int bus = GetTone()->GetBus();
            if (float* left = buses->GetChannel(bus, 0)) {
                if (!buses->HasSignal(bus)) {
                    for (int i = 0; i < frames; ++i)
                        left[i] = 0.0f;
                    buses->SetHasSignal(bus, true);
                }
                for (int i = 0; i < frames; ++i)
                    left[i] += 1.0f;
            }
        }
        return frames;
    }

public:
    void Stop() noexcept override { ++stops; }

private:
    int m_left = -1;
};

class TestTone : public OvTone {
public:
    bool canStart = true;
    std::atomic<int> handled{0};
    std::array<OvMidiEvent, 8192> events{};

    bool CanStart() override { return canStart; }
    OvZone* FindZone(int, int) noexcept override { return &m_zone; }
    void HandleEvents(const OvMidiEvent* list, int count) noexcept override
    {
        for (int i = 0; i < count; ++i) {
            const int n = handled.load(std::memory_order_relaxed);
            if (n < static_cast<int>(events.size()))
                events[static_cast<size_t>(n)] = list[i];
            handled.store(n + 1, std::memory_order_relaxed);
            if (list[i].type == kOvEventNoteOn)
                AddHeldNotes(1);
            else if (list[i].type == kOvEventNoteOff && GetHeldNotes() > 0)
                AddHeldNotes(-1);
        }
        OvTone::HandleEvents(list, count);
    }

private:
    OvZone m_zone;
};

class TestPlayer : public OvPlayer {
public:
    explicit TestPlayer(int tones = kOvMaxTones, int voices = kOvVoicesPerPlayer)
        : m_toneCount(tones), m_voiceCount(voices)
    {
    }
    bool OnInit() override
    {
        for (int i = 0; i < m_voiceCount; ++i)
            AddVoice(std::make_unique<TestVoice>());
        for (int i = 0; i < m_toneCount; ++i) {
            OvTone* t = AddTone(std::make_unique<TestTone>());
            t->SetChannel(i);
            t->SetBus(i);
        }
        return true;
    }
    TestTone* Tone(int i) const { return static_cast<TestTone*>(GetTone(i)); }

private:
    int m_toneCount;
    int m_voiceCount;
};

// Records the tone's notifications (audio or loader thread).
class RecordingView : public OvToneView {
public:
    std::atomic<int> count{0};
    std::array<uint32_t, 64> codes{};
    std::array<int, 64> values{};
    void OnToneEvent(OvTone*, uint32_t code, int value) override
    {
        const int n = count.load();
        if (n < 64) {
            codes[static_cast<size_t>(n)] = code;
            values[static_cast<size_t>(n)] = value;
        }
        count.store(n + 1);
    }
};

// A bus set like the studio's: 16 stereo buses.
inline std::unique_ptr<audio::Buffers> MakeBuses(int frames = 256)
{
    auto buses = std::make_unique<audio::Buffers>();
    buses->Resize(16, 2, frames);
    return buses;
}

// A player with the given number of tones, initialised, started and past its
// first block.
inline std::unique_ptr<TestPlayer> RunningPlayer(int tones)
{
    auto p = std::make_unique<TestPlayer>(tones);
    p->OnInit();
    p->OvStart();
    auto buses = MakeBuses(64);
    p->Render(buses.get(), 64);
    return p;
}

}  // namespace ovtest
