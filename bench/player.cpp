// One player render: 16 tones taking 1023 queued events between them, and
// one render of a full pool of 256 sounding voices.
#include <benchmark/benchmark.h>

#include "engine/OvTestDoubles.h"

using namespace ovtest;

namespace {

std::unique_ptr<TestPlayer> RunningPlayer()
{
    auto p = std::make_unique<TestPlayer>(kOvMaxTones, kOvVoicesPerPlayer);
    p->OnInit();
    p->OvStart();
    auto buses = MakeBuses(64);
    p->Render(buses.get(), 64);
    return p;
}

void QueueBlock(TestPlayer& p)
{
    int queued = 0;
    for (int t = 0; t < kOvMaxTones && queued < 1023; ++t) {
        OvTone* tone = p.GetTone(t);
        for (int i = 0; i < 64 && queued < 1023; ++i, ++queued) {
            if (i < 16)
                tone->QueueEvent(i % 2 ? kOvEventNoteOff : kOvEventNoteOn, 40 + i / 2, 100, 0);
            else
                tone->QueueEvent(kOvEventController, 1 + i % 100, i, 0);
        }
    }
}

void BM_PlayerRender1023Events(benchmark::State& state)
{
    auto p = RunningPlayer();
    auto buses = MakeBuses(256);
    for (auto _ : state) {
        state.PauseTiming();
        QueueBlock(*p);
        buses->ClearActive();
        state.ResumeTiming();
        p->Render(buses.get(), 256);
    }
    state.SetItemsProcessed(state.iterations() * 1023);
}
BENCHMARK(BM_PlayerRender1023Events);

void BM_PlayerRender256Voices(benchmark::State& state)
{
    auto p = RunningPlayer();
    auto buses = MakeBuses(256);
    for (int t = 0; t < kOvMaxTones; ++t)
        for (int k = 0; k < 16; ++k)
            p->NoteOn(t, 30 + k, 100, 0);
    p->Render(buses.get(), 256);
    for (auto _ : state) {
        buses->ClearActive();
        p->Render(buses.get(), 256);
    }
    state.SetItemsProcessed(state.iterations() * 256);
}
BENCHMARK(BM_PlayerRender256Voices);

}  // namespace
