// Hands arbitrary bytes to the host-chunk loader of a studio (both the
// archive and the older RIFF form) and to a player's and a tone's loaders.
// Every load must end cleanly; a failed one must leave the studio able to
// save its state. The process-wide objects exist as in a host, and every
// file lives in a temporary folder made the application-data home.
// fuzz-runs: 5000
#include "fuzz/FuzzFiles.h"
#include "fuzz/FuzzSeeds.h"
#include "fuzz/FuzzStudio.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "engine/GigaArchive.h"
#include "engine/GigaBankManager.h"
#include "engine/GigaDeck.h"
#include "engine/GigaDiskThread.h"
#include "engine/GigaPrefs.h"
#include "engine/GigaStudio.h"
#include "engine/GigaTone.h"

namespace {

std::string g_home;

std::unique_ptr<kivfuzz::StudioWorld> g_world;

// The process-wide objects go before the folder they may write into.
void AtExit()
{
    g_world.reset();
}

std::vector<uint8_t> Bytes(const kiv::data& d) { return std::vector<uint8_t>(d.GetBytes(), d.GetBytes() + d.GetSize()); }

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    static kivfuzz::TempFolder home("kivfuzz-state-");
    if (!home.Ok())
        abort();
    g_home = home.Path();
    kivfuzz::UseAsHome(g_home);
    g_world = std::make_unique<kivfuzz::StudioWorld>();
    atexit(AtExit);

    kivfuzz::SeedCorpus seeds(argc, argv);
    // A studio with layered parts of a bank that does not exist, mixer
    // settings and both built-in effects.
    auto studio = GigaStudio::Create();
    GigaTone* tone = studio->GetDeck(0)->GetGigaTone(2);
    tone->SetName("Seed");
    GigaPart* part = tone->AddPart((g_home + "/none.gig").c_str(), 1);
    part->keyLow = 30;
    part->keyHigh = 90;
    tone->AddPart("C:\\Libs\\Other.gig", 0);
    tone->SetStackMode(133);
    studio->SetMixerParam(2, kOvMixOutput, 3.0f);
    studio->SetMixerParam(2, kOvMixLeftPan, -0.25f);
    studio->EnableEffect(2, kOvSlotComp, true);
    studio->EnableEffect(2, kOvSlotEQ, true);
    kiv::data chunk;
    if (studio->GetState(chunk))
        seeds.Add("studio-archive", Bytes(chunk));
    if (studio->GetDeck(0)->GetState(chunk))
        seeds.Add("player-archive", Bytes(chunk));
    const std::string riff = g_home + "/seed.tvp";
    if (studio->GetDeck(0)->SaveRiff(riff.c_str())) {
        const std::vector<uint8_t> older = kivfuzz::ReadBytes(riff);
        seeds.Add("older-riff", older);
        // Read from memory: a chunk cut inside a tone must end at the bytes.
        seeds.Add("older-riff-cut", std::vector<uint8_t>(older.begin(), older.begin() + older.size() * 2 / 3));
    }
    // A bank that is a named pipe: refused at once, in both forms.
    const std::string pipe = g_home + "/pipe.gig";
    if (mkfifo(pipe.c_str(), 0600) == 0) {
        auto piped = GigaStudio::Create();
        piped->GetDeck(0)->GetGigaTone(0)->AddPart(pipe.c_str(), 0);
        if (piped->GetState(chunk))
            seeds.Add("pipe-archive", Bytes(chunk));
        if (piped->GetDeck(0)->SaveRiff(riff.c_str()))
            seeds.Add("pipe-older-riff", kivfuzz::ReadBytes(riff));
    }
    unlink(riff.c_str());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > (1 << 20))
        return 0;
    GigaStudio& studio = *g_world->studio;
    kiv::data bytes(const_cast<uint8_t*>(data), static_cast<int>(size));
    studio.SetState(bytes);
    studio.GetDeck(0)->SetStateFromArchive(bytes);
    ArchiLoad loader;
    loader.LoadMemory(studio.GetDeck(0)->GetGigaTone(0), giga::kToneArchive, bytes);
    kiv::data saved;
    if (!studio.GetState(saved))
        abort();  // whatever was loaded must still save
    g_world->manager.QueuePlayer(studio.GetDeck(0));
    g_world->manager.RunNow(false);
    return 0;
}
