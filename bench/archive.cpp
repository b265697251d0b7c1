// Measure, save and load of a large archive in memory: 1000 nested objects
// of 100 values each (ints of every width, floats, doubles, short texts).
#include "kiv/file/Archive.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace {

constexpr int kChildren = 1000;
constexpr int kValuesPerChild = 100;

struct Child : Archivable {
    int ints[40];
    float floats[30];
    double doubles[20];
    kiv::string names[10];

    explicit Child(int seed = 0)
    {
        for (int i = 0; i < 40; ++i)
            ints[i] = (seed * 131 + i * 977) % 70000 - 35000;
        for (int i = 0; i < 30; ++i)
            floats[i] = static_cast<float>(seed) * 0.25f + static_cast<float>(i);
        for (int i = 0; i < 20; ++i)
            doubles[i] = seed / 3.0 + i;
        for (kiv::string& name : names)
            name = "instrument name of a part";
    }
    void Archive(ArchiFile* a) override
    {
        if (!a->ExchangeVersion(1, 0, 0))
            return;
        for (int& v : ints)
            a->ExchangeInt(v, fourcc("intv"));
        for (float& v : floats)
            a->ExchangeFloat(v, fourcc("flot"));
        for (double& v : doubles)
            a->ExchangeDouble(v, fourcc("dubl"));
        for (kiv::string& s : names)
            a->ExchangeString(s, fourcc("name"));
    }
};
static_assert(40 + 30 + 20 + 10 == kValuesPerChild);

struct Root : Archivable {
    std::vector<Child> children;
    void Archive(ArchiFile* a) override
    {
        int count = static_cast<int>(children.size());
        a->ExchangeInt(count, fourcc("cnts"));
        for (Child& c : children)
            a->ExchangeObject(&c, fourcc("chld"));
    }
};

Root MakeRoot()
{
    Root root;
    for (int i = 0; i < kChildren; ++i)
        root.children.emplace_back(i);
    return root;
}

void BM_ArchiveMeasure(benchmark::State& state)
{
    Root root = MakeRoot();
    int64_t size = 0;
    for (auto _ : state) {
        size = ArchiSave().Measure(&root, fourcc("bnch"));
        benchmark::DoNotOptimize(size);
    }
    state.SetBytesProcessed(state.iterations() * size);
    state.counters["values"] = kChildren * kValuesPerChild;
}
BENCHMARK(BM_ArchiveMeasure)->Unit(benchmark::kMillisecond);

void BM_ArchiveSaveMemory(benchmark::State& state)
{
    Root root = MakeRoot();
    int64_t size = 0;
    for (auto _ : state) {
        kiv::data block;
        ArchiSave().SaveMemory(&root, fourcc("bnch"), block);
        size = block.GetSize();
        benchmark::DoNotOptimize(block.GetBytes());
    }
    state.SetBytesProcessed(state.iterations() * size);
}
BENCHMARK(BM_ArchiveSaveMemory)->Unit(benchmark::kMillisecond);

void BM_ArchiveLoadMemory(benchmark::State& state)
{
    Root root = MakeRoot();
    kiv::data block;
    ArchiSave().SaveMemory(&root, fourcc("bnch"), block);
    Root loaded = MakeRoot();
    for (auto _ : state) {
        bool ok = ArchiLoad().LoadMemory(&loaded, fourcc("bnch"), block);
        benchmark::DoNotOptimize(ok);
        if (!ok)
            state.SkipWithError("load failed");
    }
    state.SetBytesProcessed(state.iterations() * block.GetSize());
}
BENCHMARK(BM_ArchiveLoadMemory)->Unit(benchmark::kMillisecond);

}  // namespace
