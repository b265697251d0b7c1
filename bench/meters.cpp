// Meter polling as the editor's 50 ms timer does it: 16 stereo meters fed a
// moving level and redrawn step-wise (only changed segments), next to full
// redraws of the same meters, and the cost of posting a peak from the audio
// thread.
#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <vector>

#include "kiv/gui/HMeter.h"
#include "kiv/gui/XGraphic.h"

namespace {

constexpr int kMeters = 16;
constexpr int kMeterW = 12;
constexpr int kMeterH = 120;

float LevelAt(int tick, int meter)
{
    return 0.5f + 0.5f * std::sin(0.3f * static_cast<float>(tick) + static_cast<float>(meter));
}

void PollMeters(benchmark::State& state, bool full)
{
    XControl root;
    root.SetBounds(0, 0, kMeters * (kMeterW + 2), kMeterH);
    std::vector<XMeterStereo*> meters;
    for (int i = 0; i < kMeters; ++i)
        meters.push_back(new XMeterStereo(&root, i * (kMeterW + 2), 0, kMeterW, kMeterH));
    XGraphic g;
    g.BeginPaint(nullptr, root.GetWidth(), root.GetHeight());
    int tick = 0;
    for (auto _ : state) {
        ++tick;
        for (int i = 0; i < kMeters; ++i) {
            meters[i]->SetLevels(LevelAt(tick, i), LevelAt(tick, i + 1));
            g.OffsetOrigin(meters[i]->GetX(), 0);
            if (full) {
                meters[i]->GetLeft().Draw(g, true);
                meters[i]->GetRight().Draw(g, true);
            } else {
                meters[i]->GetLeft().Draw(g, false);
                meters[i]->GetRight().Draw(g, false);
            }
            g.OffsetOrigin(-meters[i]->GetX(), 0);
        }
    }
    state.SetItemsProcessed(state.iterations() * kMeters);
}

void BM_MetersStepwise(benchmark::State& state) { PollMeters(state, false); }
void BM_MetersFull(benchmark::State& state) { PollMeters(state, true); }

void BM_PostPeak(benchmark::State& state)
{
    XMeterStereo meter(nullptr, 0, 0, kMeterW, kMeterH);
    float level = 0.0f;
    for (auto _ : state) {
        level = level > 1.0f ? 0.0f : level + 0.001f;
        meter.PostPeaks(level, level * 0.5f);
    }
    benchmark::DoNotOptimize(meter.TakePostedPeaks());
}

}  // namespace

BENCHMARK(BM_MetersStepwise);
BENCHMARK(BM_MetersFull);
BENCHMARK(BM_PostPeak);
