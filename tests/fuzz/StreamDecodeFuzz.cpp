// Disk streaming on arbitrary .gig bytes: each instrument loads with a
// short memory head, and every streamed sample is streamed to its end the way
// the disk thread and a voice do it (start, refill, read), in steps of
// uneven size, with rings of the usual size or grown for a voice five
// octaves up. It must end cleanly, and a stream must end: no more refills
// than its frames need.
// fuzz-runs: 12000
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "engine/GigaBank.h"
#include "engine/GigaBankHooks.h"
#include "engine/GigaRegion.h"
#include "engine/GigaStream.h"
#include "engine/GigaStreamConstants.h"
#include "engine/GigaZone.h"
#include "fuzz/FuzzSeeds.h"
#include "fuzz/GigFuzzBank.h"

namespace {

// blockRead: the frames a voice reads per block (a high note's take larger rings).
void StreamToEnd(GigaSample* s, int64_t blockRead)
{
    GigaStream* stream = GigaStream::TakeFor(s);
    if (!stream)
        return;
    static float scratchLeft[giga::kStreamRefillFrames], scratchRight[giga::kStreamRefillFrames];
    static float left[777], right[777];
    if (stream->Start(s, 0, blockRead)) {
        const int64_t refills = stream->GetFramesLeft() / giga::kStreamRefillFrames + 2;
        for (int64_t i = 0; i < refills && !(stream->IsDrained() && stream->BytesQueued() == 0); ++i) {
            stream->Refill(scratchLeft, scratchRight);
            while (stream->BytesQueued() > 0)
                stream->Read(left, stream->GetChannels() == 2 ? right : nullptr, 1 + static_cast<int>(i % 777));
        }
        if (!stream->IsDrained())
            abort();  // a stream that never ends would keep its voice forever
    }
    stream->SetFinished();
    stream->Recycle();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    kivfuzz::SeedCorpus seeds(argc, argv);
    gigfuzz::AddSeedBanks(seeds);
    // Heads of a few frames: nearly everything streams.
    GigaHooks::SetPreloadSeconds(0.001f, 0.001f);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const char* path = gigfuzz::Workspace::Input(data, size);
    if (!path)
        return 0;
    GigaBank bank;
    if (!bank.Open(path))
        return 0;
    for (int i = 0; i < bank.GetProgramCount() && i < 4; ++i) {
        GigaProgram* p = bank.LoadProgram(i, nullptr);
        if (!p)
            continue;
        for (int r = 0; r < p->GetRegionCount(); ++r) {
            GigaRegion* region = p->GetRegion(r);
            for (int z = 0; region && z < region->GetZoneCount(); ++z) {
                GigaSample* s = region->GetZone(z)->GetSample();
                if (s && s->IsStreamed())
                    StreamToEnd(s, (size % 3 == 0) ? 32 * 512 + 3 : 0);
            }
        }
        p->Release();
    }
    return 0;
}
