// Arbitrary bytes as a bank's extension file: a valid .gig whose second
// sample lies in "fuzz.gx01", and the input as that file. Reading the pools,
// loading the instruments and decoding every sample must end cleanly.
// fuzz-runs: 6000
#include <cstdint>
#include <cstdlib>

#include "engine/GigaBank.h"
#include "fuzz/FuzzFiles.h"
#include "fuzz/FuzzSeeds.h"
#include "fuzz/GigFuzzBank.h"

namespace {

struct ExtensionWorkspace {
    kivfuzz::InputFile extension{"gx01fuzz", "fuzz.gx01", true};
    std::string bank;
    ExtensionWorkspace()
    {
        if (!extension.Ok())
            abort();
        bank = extension.Folder().File("fuzz.gig");
        if (!gigtools::WriteBytes(bank, gigfuzz::SeedBank(2)))
            abort();
    }
};

ExtensionWorkspace& Workspace()
{
    static ExtensionWorkspace w;
    return w;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    Workspace();
    kivfuzz::SeedCorpus seeds(argc, argv);
    gigtools::Bytes extension;
    gigfuzz::SeedBank(2, &extension);
    seeds.Add("extension", extension);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    ExtensionWorkspace& ws = Workspace();
    if (!ws.extension.Write(data, size))
        return 0;
    GigaBank bank;
    if (!bank.Open(ws.bank.c_str()))
        abort();  // the .gig itself never changes
    for (int i = 0; i < bank.GetProgramCount(); ++i)
        if (GigaProgram* p = bank.LoadProgram(i, nullptr))
            p->Release();
    GigaSampleReader reader;
    float left[700];
    float right[700];
    for (int i = 0; i < bank.GetSampleCount(); ++i) {
        // None when the loads failed: a failed load keeps no sample list.
        const GigaSample* s = bank.GetSample(i);
        if (s && s->file && reader.SetUp(s, &s->file->GetFile(), s->dataOffset))
            while (reader.DecodeFloat(left, right, 700) == 700) {
            }
    }
    return 0;
}
