// One studio render of a 512-frame block: 16 mixer channels with signal, each
// through its compressor and equaliser, balanced and mixed onto four output
// pairs; and the same render with the effects off, for the mixer's own cost.
#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>

#include "engine/AudioBuffers.h"
#include "engine/OvPlayer.h"
#include "engine/OvStudio.h"

namespace {

constexpr int kFrames = 512;

// Writes a different sine into every channel bus, as sixteen tones would.
class SinePlayer : public OvPlayer {
public:
    bool OnInit() override { return true; }
    int Render(audio::Buffers* buses, int frames) noexcept override
    {
        for (int bus = 0; bus < kOvMixerChannels; ++bus) {
            float* l = buses->GetChannel(bus, 0);
            float* r = buses->GetChannel(bus, 1);
            const float step = 0.01f * static_cast<float>(bus + 1);
            for (int i = 0; i < frames; ++i) {
                l[i] = 0.5f * std::sin(m_phase + step * static_cast<float>(i));
                r[i] = 0.4f * l[i];
            }
            buses->SetHasSignal(bus, true);
        }
        m_phase += 0.3f;
        return frames;
    }

private:
    float m_phase = 0.0f;
};

void StudioRender(benchmark::State& state)
{
    const bool effects = state.range(0) != 0;
    OvStudio studio;
    studio.AddPlayer(std::make_unique<SinePlayer>());
    studio.SetBlockSize(kFrames);
    for (int c = 0; c < kOvMixerChannels; ++c) {
        studio.SetMixerParam(c, kOvMixOutput, static_cast<float>(c % 4));
        studio.SetMixerParam(c, kOvMixLeftPan, -0.5f);
        studio.SetMixerParam(c, kOvMixRightPan, 0.5f);
        studio.EnableEffect(c, kOvSlotComp, effects);
        studio.EnableEffect(c, kOvSlotEQ, effects);
        studio.SetMixerParam(c, kOvMixEQLow, 3.0f);
        studio.SetMixerParam(c, kOvMixCompThreshold, -24.0f);
    }
    audio::Buffers outputs;
    outputs.Resize(kOvMixerOutputs, 2, kFrames);
    for (auto _ : state) {
        outputs.ClearActive();
        benchmark::DoNotOptimize(studio.Render(&outputs, kFrames));
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kFrames);
    // Real-time share of one block at 44.1 kHz.
    state.counters["blocks/s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

}  // namespace

BENCHMARK(StudioRender)->Arg(1)->ArgName("effects")->Unit(benchmark::kMicrosecond);
BENCHMARK(StudioRender)->Arg(0)->ArgName("effects")->Unit(benchmark::kMicrosecond);
