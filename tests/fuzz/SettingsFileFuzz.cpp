// Reads arbitrary bytes as the engine's settings file "tessivo.settings"
// (and, in the same run, as its controller map "tessivo.prefs") through the
// engine's preferences object, as the plug-in does at load. Whatever is read
// must come out in range, and what is written back at the end must read
// back the same.
// fuzz-runs: 4000
#include "fuzz/FuzzFiles.h"
#include "fuzz/FuzzSeeds.h"

#include <cstdlib>
#include <cstring>
#include <string>

#include "engine/GigaConstants.h"
#include "engine/GigaPrefs.h"

namespace {

std::string g_settings;
std::string g_prefs;

struct Values {
    float lmin, lmax;
    int cvol;
    std::string misp;
    int map[giga::kControllerCount];
};

Values Read(GigaPrefs& p)
{
    Values v{p.GetLmin(), p.GetLmax(), p.GetCvol(), p.GetMissingFolder(), {}};
    for (int i = 0; i < giga::kControllerCount; ++i)
        v.map[i] = p.controllerMap[i];
    return v;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    static kivfuzz::TempFolder home("kivfuzz-settings-", true);
    if (!home.Ok())
        abort();
    kivfuzz::UseAsHome(home.Path());
    kivfuzz::SeedCorpus seeds(argc, argv);
    {
        // What the plug-in writes: changed settings and a changed map.
        GigaPrefs p;
        p.LoadSettings();
        p.SetLmin(0.5f);
        p.SetLmax(2.5f);
        p.SetCvol(11);
        p.SetMissingFolder("/home/user/Samples/Giga Libraries\nsecond line");
        p.controllerMap[7] = 11;
        p.controllerMap[64] = 66;
    }
    g_settings = home.Path() + "/config/Quillane/tessivo.settings";
    g_prefs = home.Path() + "/share/Quillane/tessivo.prefs";
    // The first byte chooses the file an input stands for.
    std::vector<uint8_t> settings = kivfuzz::ReadBytes(g_settings);
    std::vector<uint8_t> prefs = kivfuzz::ReadBytes(g_prefs);
    if (settings.empty() || prefs.empty())
        abort();
    settings.insert(settings.begin(), 0);
    prefs.insert(prefs.begin(), 1);
    seeds.Add("settings", settings);
    seeds.Add("prefs", prefs);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1 || size > (1 << 16))
        return 0;
    const bool archive = data[0] & 1;
    // The other file is left out: each input stands alone.
    unlink((archive ? g_settings : g_prefs).c_str());
    if (!kivfuzz::WriteBytes(archive ? g_prefs : g_settings, data + 1, size - 1))
        return 0;
    Values loaded;
    {
        GigaPrefs p;  // reads the map
        p.LoadSettings();
        loaded = Read(p);
        if (!(loaded.lmin >= 0.2f && loaded.lmin <= 4.0f) || !(loaded.lmax >= loaded.lmin && loaded.lmax <= 4.0f))
            abort();
        if (loaded.cvol != 7 && loaded.cvol != 11)
            abort();
        for (int i = 0; i < giga::kControllerCount; ++i)
            if (loaded.map[i] < -1 || loaded.map[i] > 255)  // the tone's controller table
                abort();
    }  // writes both files back
    GigaPrefs again;
    again.LoadSettings();
    const Values back = Read(again);
    if (back.lmin != loaded.lmin || back.lmax != loaded.lmax || back.cvol != loaded.cvol || back.misp != loaded.misp ||
        memcmp(back.map, loaded.map, sizeof back.map) != 0)
        abort();
    return 0;
}
