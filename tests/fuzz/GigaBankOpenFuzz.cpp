// Bank opening (table of contents) on arbitrary file bytes.
// fuzz-runs: 100000
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
    if (bank.Open(path)) {
        for (int i = 0; i < bank.GetProgramCount(); ++i)
            (void)bank.GetProgram(i)->GetName();
    }
    bank.Open(path);  // reopening the same object resets it
    return 0;
}
