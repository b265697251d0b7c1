// Voice rendering figures: the time to render one 512-frame block at 44.1 kHz
// with N voices of a loaded instrument, and from it how many such voices fit
// in real time (counter "voices_realtime" = N x block duration / block time):
// - "Memory": a looped 24-bit stereo pad played from sample memory, at the
//   unity pitch and resampled;
// - "Streamed": a long mono sample whose tail the disk thread streams;
// - "Filtered": the looped stereo pad with its filter on, every voice about
//   5.5 semitones above the unity key (a pitch ratio near 1.37), counting
//   ns per voice-frame and the percent of one core at 44.1 kHz;
// - "Stage": each render stage alone over a 512-frame stereo chunk at a pitch
//   ratio of 1.37 (ns per frame): interpolation, the filter frame by frame
//   and four frames at a time (narrow, and "Wide" on 256-bit vector units),
//   pan-and-add.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <string>
#include <thread>
#include <vector>

#include "bench/BenchSupport.h"
#include "engine/AudioBuffers.h"
#include "engine/GigaBankHooks.h"
#include "engine/GigaBankManager.h"
#include "engine/GigaDeck.h"
#include "engine/GigaDiskThread.h"
#include "engine/GigaTone.h"
#include "engine/GigaVoice.h"
#include "engine/GigaVoiceStages.h"
#include "engine/GigaVoiceWide.h"
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

enum class Stage { Resample, Filter, FilterFast, FilterFastWide, Mix };

void BM_Stage(benchmark::State& state, Stage which)
{
    namespace stage = gigavoicestage;
    constexpr double kRatio = 1.37;
    std::vector<float> inL(1024), inR(1024), left(kBlock), right(kBlock);
    std::vector<float> out(kBlock), outRight(kBlock), gain(kBlock, 0.5f);
    for (size_t i = 0; i < inL.size(); ++i) {
        inL[i] = static_cast<float>(std::sin(i * 0.05));
        inR[i] = static_cast<float>(std::cos(i * 0.07));
    }
    float coef[5];
    GigaVoice::FilterCoefficients(0.6f, coef);
    stage::FilterBlock block;
    stage::MakeFilterBlock(coef, block);
    float stateL[4] = {}, stateR[4] = {};
    stage::Resample(inL.data(), inR.data(), 0.25, kRatio, left.data(), right.data(), kBlock);
    for (auto _ : state) {
        switch (which) {
        case Stage::Resample:
            stage::Resample(inL.data(), inR.data(), 0.25, kRatio, left.data(), right.data(), kBlock);
            break;
        case Stage::FilterFastWide:
            if (!stage::HasWide()) {
                state.SkipWithError("no 256-bit vector unit");
                break;
            }
            stage::FilterFast2Wide(coef, block, stateL, stateR, left.data(), right.data(), kBlock);
            break;
        case Stage::Filter:
            stage::Filter2(coef, stateL, stateR, left.data(), right.data(), kBlock);
            break;
        case Stage::FilterFast:
            stage::FilterFast2(coef, block, stateL, stateR, left.data(), right.data(), kBlock);
            break;
        case Stage::Mix:
            stage::Mix2(out.data(), outRight.data(), left.data(), right.data(), gain.data(), 0.7f, 0.6f, kBlock);
            break;
        }
        benchmark::DoNotOptimize(left.data());
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.counters["ns_frame"] = benchmark::Counter(static_cast<double>(kBlock),
                                                    benchmark::Counter::kIsIterationInvariantRate |
                                                        benchmark::Counter::kInvert);
}

}  // namespace

BENCHMARK_CAPTURE(BM_Stage, Resample, Stage::Resample);
BENCHMARK_CAPTURE(BM_Stage, Filter, Stage::Filter);
BENCHMARK_CAPTURE(BM_Stage, FilterFast, Stage::FilterFast);
BENCHMARK_CAPTURE(BM_Stage, FilterFastWide, Stage::FilterFastWide);
BENCHMARK_CAPTURE(BM_Stage, Mix, Stage::Mix);
BENCHMARK(BM_MemoryUnity)->Arg(16)->Arg(64)->Arg(128)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MemoryResampled)->Arg(16)->Arg(64)->Arg(128)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Filtered)->Arg(16)->Arg(64)->Arg(128)->Arg(256)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Streamed)->Arg(16)->Arg(64)->Unit(benchmark::kMicrosecond);
