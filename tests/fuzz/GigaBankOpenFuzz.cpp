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
    gigfuzz::Workspace& ws = gigfuzz::Workspace::Get();
    if (!ws.Write(data, size))
        return 0;
    GigaBank bank;
    if (bank.Open(ws.Path())) {
        for (int i = 0; i < bank.GetProgramCount(); ++i)
            (void)bank.GetProgram(i)->GetName();
    }
    bank.Open(ws.Path());  // reopening the same object resets it
    return 0;
}
