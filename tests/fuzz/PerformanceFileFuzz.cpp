// Reads arbitrary bytes from disk as a performance (".tv2", the studio's
// archive), an older performance (".tvp", the RIFF form) and a preset
// (".tvpreset", one tone), through the entries the editor's Open and the
// part menu use. Every load must end cleanly and leave a studio that saves.
// fuzz-runs: 3000
#include "fuzz/FuzzFiles.h"
#include "fuzz/FuzzSeeds.h"
#include "fuzz/FuzzStudio.h"

#include <cstdlib>
#include <memory>
#include <string>

#include "engine/GigaBankManager.h"
#include "engine/GigaDeck.h"
#include "engine/GigaDiskThread.h"
#include "engine/GigaPrefs.h"
#include "engine/GigaStudio.h"
#include "engine/GigaTone.h"

namespace {

std::unique_ptr<kivfuzz::StudioWorld> g_world;
std::unique_ptr<kivfuzz::InputFile> g_input;

// The process-wide objects go before the folder they may write into.
void AtExit()
{
    g_world.reset();
    g_input.reset();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    static kivfuzz::TempFolder home("kivfuzz-perf-", true);
    if (!home.Ok())
        abort();
    kivfuzz::UseAsHome(home.Path());
    g_world = std::make_unique<kivfuzz::StudioWorld>();
    g_input = std::make_unique<kivfuzz::InputFile>("kivfuzz-perf-in-", "input", true);
    atexit(AtExit);

    kivfuzz::SeedCorpus seeds(argc, argv);
    // Layered parts of banks that do not exist, mixer settings and both
    // built-in effects, saved in each form.
    auto studio = GigaStudio::Create();
    GigaTone* tone = studio->GetDeck(0)->GetGigaTone(3);
    tone->SetName("Seed");
    GigaPart* part = tone->AddPart((home.Path() + "/none.gig").c_str(), 1);
    part->keyLow = 30;
    part->keyHigh = 90;
    part->bus = 2;
    tone->AddPart("C:\\Libs\\Other.gig", 0);
    studio->SetMixerParam(3, kOvMixOutput, 3.0f);
    studio->EnableEffect(3, kOvSlotComp, true);
    const std::string tv2 = home.File("seed.tv2"), tvp = home.File("seed.tvp"), preset = home.File("seed.tvpreset");
    if (!studio->SaveFile(tv2.c_str()) || !studio->GetDeck(0)->SaveRiff(tvp.c_str()) || !tone->SavePreset(preset.c_str()))
        abort();
    seeds.Add("performance", kivfuzz::ReadBytes(tv2));
    seeds.Add("older-performance", kivfuzz::ReadBytes(tvp));
    seeds.Add("preset", kivfuzz::ReadBytes(preset));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > (1 << 20) || !g_input->Write(data, size))
        return 0;
    GigaStudio& studio = *g_world->studio;
    GigaDeck* deck = studio.GetDeck(0);
    const char* path = g_input->Path();
    // Each load's request is served before the next load, as between two
    // choices of the user.
    auto serve = [&] {
        g_world->manager.QueuePlayer(deck);
        g_world->manager.RunNow(false);
    };
    studio.LoadFile(path);
    serve();
    studio.LoadV1Performance(path);
    serve();
    if (deck->GetGigaTone(5)->LoadPreset(path))
        serve();
    kiv::data saved;
    if (!studio.GetState(saved))
        abort();  // whatever was loaded must still save
    return 0;
}
