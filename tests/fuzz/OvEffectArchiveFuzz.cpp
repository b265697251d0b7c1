// fuzz-runs: 5000
// Loads arbitrary bytes as a stored compressor and equaliser, then processes
// a loud block through each: whatever the stored values, the output must be
// finite and nothing may read or write out of bounds.
#include "fuzz/FuzzSeeds.h"
#include "engine/OvEffect.h"
#include "kiv/file/Archive.h"

#include <cmath>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace {

// The studio stores each effect as a nested object of this tag.
constexpr uint32_t kType = fourcc("effx");

void Block(float* l, float* r, int frames)
{
    for (int i = 0; i < frames; ++i) {
        l[i] = (i % 37) / 18.0f - 1.0f;
        r[i] = (i % 23) / 11.0f - 1.0f;
    }
}

void Check(OvEffect& effect)
{
    static float l[7000], r[7000];
    Block(l, r, 7000);
    effect.Process(l, r, 7000);  // more than one piece
    for (int i = 0; i < 7000; ++i)
        if (!std::isfinite(l[i]) || !std::isfinite(r[i]))
            std::abort();
}

kiv::data Saved(OvEffect& effect, uint32_t type)
{
    kiv::data block;
    ArchiSave save;
    save.SaveMemory(&effect, type, block);
    return block;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    kivfuzz::SeedCorpus seeds(argc, argv);
    OvEffectComp comp;
    comp.SetParam(ovfx::kRatio, 8.0f);
    comp.SetParam(ovfx::kAttack, 0.001f);
    kiv::data c = Saved(comp, kType);
    seeds.Add("comp", c.GetBytes(), static_cast<size_t>(c.GetSize()));
    OvEffectEQ3 eq;
    eq.SetParam(ovfx::kLowGain, 6.0f);
    kiv::data e = Saved(eq, kType);
    seeds.Add("eq3", e.GetBytes(), static_cast<size_t>(e.GetSize()));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    kiv::data block;
    if (size > 0 && size < INT_MAX && block.Alloc(static_cast<int>(size)) && block.GetBytes())
        std::memcpy(block.GetBytes(), data, size);
    OvEffectComp comp;
    OvEffectEQ3 eq;
    ArchiLoad a, b;
    a.LoadMemory(&comp, kType, block);
    b.LoadMemory(&eq, kType, block);
    Check(comp);
    Check(eq);
    return 0;
}
