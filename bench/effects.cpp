// Built-in mixer effects on 512-frame stereo blocks (compressor above and
// below its threshold, equaliser active and bypassed) and the voice envelope
// rendering one block's control steps.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "engine/GigaEnvCurve.h"
#include "engine/OvEffect.h"

namespace {

constexpr int kFrames = 512;

struct Block {
    std::vector<float> left, right;
    explicit Block(float amplitude)
    {
        std::mt19937 gen(1);
        std::uniform_real_distribution<float> d(-amplitude, amplitude);
        left.resize(kFrames);
        right.resize(kFrames);
        for (int i = 0; i < kFrames; ++i) {
            left[static_cast<size_t>(i)] = d(gen);
            right[static_cast<size_t>(i)] = d(gen);
        }
    }
};

void Throughput(benchmark::State& state)
{
    state.SetItemsProcessed(state.iterations() * kFrames);
}

// Loud noise: the envelope is above the threshold and every frame takes a power.
void BM_CompressorLoud(benchmark::State& state)
{
    OvEffectComp comp;
    Block src(0.9f), work(0.0f);
    for (auto _ : state) {
        work = src;
        comp.Process(work.left.data(), work.right.data(), kFrames);
        benchmark::DoNotOptimize(work.left.data());
    }
    Throughput(state);
}
BENCHMARK(BM_CompressorLoud);

void BM_CompressorQuiet(benchmark::State& state)
{
    OvEffectComp comp;
    Block src(0.01f), work(0.0f);
    for (auto _ : state) {
        work = src;
        comp.Process(work.left.data(), work.right.data(), kFrames);
        benchmark::DoNotOptimize(work.left.data());
    }
    Throughput(state);
}
BENCHMARK(BM_CompressorQuiet);

void BM_EqualiserActive(benchmark::State& state)
{
    OvEffectEQ3 eq;
    eq.SetParam(ovfx::kLowGain, 3.0f);
    eq.SetParam(ovfx::kHighGain, -3.0f);
    Block src(0.5f), work(0.0f);
    for (auto _ : state) {
        work = src;
        eq.Process(work.left.data(), work.right.data(), kFrames);
        benchmark::DoNotOptimize(work.left.data());
    }
    Throughput(state);
}
BENCHMARK(BM_EqualiserActive);

void BM_EqualiserFlat(benchmark::State& state)
{
    OvEffectEQ3 eq;
    Block work(0.5f);
    for (auto _ : state) {
        eq.Process(work.left.data(), work.right.data(), kFrames);
        benchmark::DoNotOptimize(work.left.data());
    }
    Throughput(state);
}
BENCHMARK(BM_EqualiserFlat);

// One 512-frame block of a voice: 64 control steps, through attack, decay,
// sustain and a release that is restarted whenever the envelope ends.
void BM_EnvelopeBlock(benchmark::State& state)
{
    GigaEnvBlock zone;
    zone.attack = 0.01f;
    zone.decay = 0.2f;
    zone.sustain = 0.5f;
    zone.release = 0.3f;
    GigaEnvCurve env;
    env.Setup(zone, {}, -1, gigaenv::kControlDivider);
    float out[kFrames / gigaenv::kControlDivider];
    int blocks = 0;
    for (auto _ : state) {
        if (env.RenderRamp(out, kFrames / gigaenv::kControlDivider, 0.9f, 1.0f) == 0)
            env.Setup(zone, {}, -1, gigaenv::kControlDivider);
        if (++blocks % 200 == 0)
            env.StartRelease();
        benchmark::DoNotOptimize(out);
    }
    Throughput(state);
}
BENCHMARK(BM_EnvelopeBlock);

}  // namespace
