// A .gig player with its preferences, bank manager, disk thread and a bus
// set, for the tone and voice tests: writes fixture banks, loads them into
// tones and renders blocks.
#pragma once
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/AudioBuffers.h"
#include "engine/GigaBankHooks.h"
#include "engine/GigaBankManager.h"
#include "engine/GigaDeck.h"
#include "engine/GigaDiskThread.h"
#include "engine/GigaPrefs.h"
#include "engine/GigaProgram.h"
#include "engine/GigaTone.h"
#include "engine/GigaVoice.h"
#include "engine/OvEngine.h"
#include "gig/GigFixtures.h"
#include "support/TestSupport.h"

namespace voicetest {

constexpr int kBlock = 512;
constexpr float kRate = 44100.0f;

struct Rig {
    GigaPrefs prefs;
    GigaBankManager manager;
    GigaDiskThread disk;
    kivtest::TempDir dir;
    GigaDeck deck;
    audio::Buffers buses;

    Rig()
    {
        OvEngine::SetOutputRate(kRate);
        OvEngine::SetOffline(false);
        deck.OnInit();
        buses.Resize(16, 2, kBlock);
    }
    ~Rig()
    {
        OvEngine::SetOffline(false);
        GigaHooks::SetPreloadSeconds(1.0f, 3.0f);
    }

    std::string Write(const gigtools::GigFixture& f, const std::string& stem = "")
    {
        const std::string path = dir.File((stem.empty() ? f.stem : stem) + ".gig");
        EXPECT_TRUE(f.bank.Write(path));
        return path;
    }

    GigaTone* Tone(int i) { return deck.GetGigaTone(i); }

    // Adds a part to tone i and loads it (lmin/lmax: seconds kept in memory).
    GigaPart* Load(int tone, const std::string& path, int program, float lmin = 1.0f, float lmax = 3.0f)
    {
        GigaHooks::SetPreloadSeconds(lmin, lmax);
        GigaPart* part = Tone(tone)->AddPart(path.c_str(), program);
        manager.QueuePlayer(&deck);
        manager.RunNow(false);
        GigaHooks::SetPreloadSeconds(1.0f, 3.0f);
        EXPECT_EQ(Tone(tone)->GetState(), giga::kToneLoaded);
        Render();  // the tones take their start
        return part;
    }

    void Render(int frames = kBlock)
    {
        buses.ClearActive();
        deck.Render(&buses, frames);
    }

    // Renders frames (in blocks) and returns channel ch of bus b.
    std::vector<float> Capture(int bus, int frames, int ch = 0, int block = kBlock)
    {
        std::vector<float> out;
        while (static_cast<int>(out.size()) < frames) {
            const int n = std::min(block, frames - static_cast<int>(out.size()));
            Render(n);
            const float* data = buses.GetChannel(bus, ch);
            for (int i = 0; i < n; ++i)
                out.push_back(buses.HasSignal(bus) ? data[i] : 0.0f);
        }
        return out;
    }

    int VoicesInUse() { return giga::kDeckVoices - deck.GetVoicePool().Count(); }
    GigaVoice* Voice(int tone, int index = 0)
    {
        OvVoice* v = Tone(tone)->GetVoices().Head();
        for (int i = 0; v && i < index; ++i)
            v = v->GetNext();
        return static_cast<GigaVoice*>(v);
    }
};

}  // namespace voicetest
