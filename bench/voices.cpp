// Voice rendering figures: the time to render one 512-frame block at 44.1 kHz
// with N voices of a loaded instrument, and from it how many such voices fit
// in real time (counter "voices_realtime" = N x block duration / block time):
// - "Memory": a looped 24-bit stereo pad played from sample memory, at the
//   unity pitch and resampled;
// - "Streamed": a long mono sample whose tail the disk thread streams;
// - "Filtered": the looped stereo pad with its filter on, every voice about
//   5.5 semitones above the unity key (a pitch ratio near 1.37), counting
//   ns per voice-frame and the percent of one core at 44.1 kHz.
#include <benchmark/benchmark.h>

#include <chrono>
#include <string>
#include <thread>

#include "bench/BenchSupport.h"
#include "engine/AudioBuffers.h"
#include "engine/GigaBankHooks.h"
#include "engine/GigaBankManager.h"
#include "engine/GigaDeck.h"
#include "engine/GigaDiskThread.h"
#include "engine/GigaTone.h"
#include "engine/OvEngine.h"
#include "gig/GigFixtures.h"

namespace {

using kivbench::kBlock;
using kivbench::kRate;

gigtools::GigFixture LongFixture()
{
    gigtools::GigFixture f{"Long", "a 20 s tone", {}};
    const int h = f.bank.AddSample(gigtools::GigSample::Tone("Long", 1, 16, 44100, 60, 20 * 44100, 30.0));
    gigtools::GigInstrument ins("Long");
    ins.regions.push_back(gigtools::GigRegion::Single(0, 127, h));
    ins.regions.back().zones[0].unityNote = 60;
    f.bank.AddInstrument(ins);
    return f;
}

// The stereo pad with the filter on at a middle cutoff.
gigtools::GigFixture FilteredFixture()
{
    gigtools::GigFixture f = gigtools::StereoPadFixture();
    for (int i = 0; i < f.bank.InstrumentCount(); ++i)
        for (auto& region : f.bank.Instrument(i).regions)
            for (auto& zone : region.zones) {
                zone.art.filterOn = true;
                zone.art.cutoff = 90;
            }
    return f;
}

struct Player {
    kivbench::BenchDir dir{"kivvoices"};
    GigaBankManager manager;
    GigaDiskThread disk;
    GigaDeck deck;
    audio::Buffers buses;

    explicit Player(const gigtools::GigFixture& f)
    {
        OvEngine::SetOutputRate(static_cast<float>(kRate));
        deck.OnInit();
        buses.Resize(16, 2, kBlock);
        const std::string path = dir.File(f.stem + ".gig");
        f.bank.Write(path);
        GigaHooks::SetPreloadSeconds(1.0f, 3.0f);
        deck.GetGigaTone(0)->AddPart(path.c_str(), 0);
        manager.QueuePlayer(&deck);
        manager.RunNow(false);
        Render();
    }
    void Render()
    {
        buses.ClearActive();
        deck.Render(&buses, kBlock);
    }
    int Voices() { return giga::kDeckVoices - deck.GetVoicePool().Count(); }
    // Tops the voices up to n, keys spread over the keyboard (pitched = off:
    // every voice at the unity key).
    void Fill(int n, int unity, bool pitched)
    {
        for (int k = 0; Voices() < n && k < 2 * n; ++k) {
            deck.NoteOn(0, pitched ? 40 + (k * 7) % 60 : unity, 100, 0);
            Render();
        }
    }
};

void Run(benchmark::State& state, Player& player, int unity, bool pitched, bool pace)
{
    const int n = static_cast<int>(state.range(0));
    player.Fill(n, unity, pitched);
    double voices = 0;
    int64_t blocks = 0;
    for (auto _ : state) {
        player.Render();
        state.PauseTiming();
        voices += player.Voices();
        ++blocks;
        if (player.Voices() < n)
            player.Fill(n, unity, pitched);
        if (pace)
            std::this_thread::sleep_for(std::chrono::microseconds(500));  // lets the disk thread refill
        state.ResumeTiming();
    }
    const double average = blocks ? voices / blocks : 0;
    state.counters["voices"] = average;
    state.counters["voices_realtime"] = benchmark::Counter(
        average * blocks * (kBlock / kRate), benchmark::Counter::kIsRate);
    // Per voice-frame and as a share of one core at the block's real-time rate.
    state.counters["ns_voice_frame"] = benchmark::Counter(
        average * blocks * kBlock / 1e9, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["core_pct"] = benchmark::Counter(
        kBlock / (100.0 * kRate), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_MemoryUnity(benchmark::State& state)
{
    static Player player(gigtools::StereoPadFixture());
    Run(state, player, 72, false, false);
}

void BM_MemoryResampled(benchmark::State& state)
{
    static Player player(gigtools::StereoPadFixture());
    Run(state, player, 72, true, false);
}

void BM_Filtered(benchmark::State& state)
{
    static Player player(FilteredFixture());
    // Key 77 on the upper region (unity key 72): a pitch ratio of 1.33.
    Run(state, player, 77, false, false);
}

void BM_Streamed(benchmark::State& state)
{
    static Player player(LongFixture());
    Run(state, player, 60, true, true);
}

}  // namespace

BENCHMARK(BM_MemoryUnity)->Arg(16)->Arg(64)->Arg(128)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MemoryResampled)->Arg(16)->Arg(64)->Arg(128)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Filtered)->Arg(16)->Arg(64)->Arg(128)->Arg(256)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Streamed)->Arg(16)->Arg(64)->Unit(benchmark::kMicrosecond);
