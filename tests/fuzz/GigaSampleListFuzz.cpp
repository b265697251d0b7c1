// Sample-list reading and sample decoding on arbitrary file bytes.
// fuzz-runs: 80000
#include <cstdint>

#include "engine/GigaBank.h"
#include "fuzz/FuzzSeeds.h"
#include "fuzz/GigFuzzBank.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    kivfuzz::SeedCorpus seeds(argc, argv);
    gigfuzz::AddSeedBanks(seeds);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const char* path = gigfuzz::Workspace::Input(data, size);
    if (!path)
        return 0;
    GigaBank bank;
    if (bank.Open(path) && bank.LoadSampleList()) {
        GigaSampleReader reader;
        int16_t left[512];
        int16_t right[512];
        float fl[333];
        float fr[333];
        for (int i = 0; i < bank.GetSampleCount() && i < 8; ++i) {
            const GigaSample* s = bank.GetSample(i);
            if (!s->file)
                continue;
            // Both outputs, in requests of odd lengths (a mode-4 pair split across them).
            if (reader.SetUp(s, &s->file->GetFile(), s->dataOffset)) {
                reader.Decode16(left, right, 511);
                reader.Decode16(left, right, 512);
            }
            if (reader.SetUp(s, &s->file->GetFile(), s->dataOffset)) {
                reader.DecodeFloat(fl, fr, 333);
                reader.DecodeFloat(fl, nullptr, 333);
            }
        }
    }
    return 0;
}
