// Program loading (regions, trees, sample memory and decoding) on arbitrary file bytes.
// fuzz-runs: 60000
#include <cstdint>
#include <vector>

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
    if (bank.Open(path)) {
        std::vector<GigaProgram*> loaded;
        for (int i = 0; i < bank.GetProgramCount() && i < 4; ++i) {
            if (GigaProgram* p = bank.LoadProgram(i, nullptr)) {
                GigaWalkResult result;
                int32_t controllers[256] = {};
                GigaWalkInput in;
                in.velocity = 100;
                in.controllers = controllers;
                in.controllerCount = 256;
                for (int k = 0; k < 128; k += 7) {
                    if (GigaRegion* r = p->GetRegionForKey(k))
                        r->Walk(in, result);
                }
                loaded.push_back(p);
            }
        }
        // A second load of a loaded program shares it; then every use is released.
        if (!loaded.empty()) {
            if (GigaProgram* again = bank.LoadProgram(loaded[0]->index, nullptr))
                loaded.push_back(again);
        }
        for (GigaProgram* p : loaded)
            p->Release();
        for (int i = 0; i < bank.GetProgramCount(); ++i) {
            if (bank.GetProgram(i)->IsLoaded() || bank.GetMemory(i)->GetUserCount() != 0)
                __builtin_trap();  // a released program or its memory was left behind
        }
    }
    return 0;
}
