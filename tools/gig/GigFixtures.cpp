// The named test banks: see GigFixtures.h.
#include "gig/GigFixtures.h"

namespace gigtools {

namespace {

constexpr uint32_t kRate = 44100;
// The demo piano's notes: 1.5 s, the last 0.6 s fading out.
constexpr uint32_t kPianoFrames = 66150;
constexpr double kPianoFadeSeconds = 0.6;

GigDimension Dim(uint8_t code, uint8_t bits, std::vector<uint8_t> limits = {})
{
    GigDimension d;
    d.code = code;
    d.bits = bits;
    d.upperLimits = std::move(limits);
    return d;
}

GigZone ZoneFor(int sample, int unity)
{
    GigZone z;
    z.sample = sample;
    z.unityNote = unity;
    return z;
}

}  // namespace

GigFixture DemoPianoFixture()
{
    GigFixture f{"Demo Piano", "four regions x four velocity layers of tones that decay to silence, two instruments", {}};
    const int notes[] = {48, 60, 72, 84};
    const int keyLow[] = {0, 54, 66, 78};
    const int keyHigh[] = {53, 65, 77, 127};
    const double levels[] = {0.18, 0.3, 0.48, 0.75};
    const char* layerNames[] = {"pp", "mp", "mf", "ff"};
    GigInstrument piano("Demo Piano");
    GigInstrument bright("Demo Piano Bright");
    for (int r = 0; r < 4; ++r) {
        GigRegion region;
        region.low = keyLow[r];
        region.high = keyHigh[r];
        region.dims.push_back(Dim(kDimVelocity, 2, {40, 70, 100, 127}));
        for (int v = 0; v < 4; ++v) {
            const std::string name = "Piano " + std::to_string(notes[r]) + " " + layerNames[v];
            // A note held longer than its sample dies away with it, as a
            // recorded piano note does, instead of stopping dead.
            GigSample tone = GigSample::Tone(name, 1, 16, kRate, notes[r], kPianoFrames, 1.2 + 0.3 * v, levels[v]);
            tone.FadeOut(kPianoFadeSeconds);
            const int s = f.bank.AddSample(std::move(tone));
            GigZone z = ZoneFor(s, notes[r]);
            z.art.release = 0.4;
            region.zones.push_back(z);
        }
        piano.regions.push_back(region);
        for (GigZone& z : region.zones) {
            z.art.release = 0.15;
            z.art.filterOn = true;
            z.art.cutoff = 110;
        }
        bright.regions.push_back(region);
    }
    f.bank.AddInstrument(piano);
    f.bank.AddInstrument(bright);
    return f;
}

GigFixture RoundRobinDrumFixture()
{
    GigFixture f{"Round Robin Drum", "one kick region with four round-robin hits", {}};
    GigInstrument kit("RR Kick");
    GigRegion region;
    region.low = 35;
    region.high = 37;
    region.dims.push_back(Dim(kDimRoundRobin, 2));
    for (int v = 0; v < 4; ++v) {
        const int s = f.bank.AddSample(GigSample::Drum("Kick " + std::to_string(v + 1), 1, 16, kRate, 17640, v));
        GigZone z = ZoneFor(s, 36);
        z.art.fixedPitch = true;
        z.art.release = 0.05;
        region.zones.push_back(z);
    }
    kit.regions.push_back(region);
    f.bank.AddInstrument(kit);
    return f;
}

GigFixture StereoPadFixture()
{
    GigFixture f{"Stereo Pad", "24-bit stereo tones with sustain loops", {}};
    GigInstrument pad("Warm Pad");
    const int notes[] = {48, 72};
    for (int r = 0; r < 2; ++r) {
        GigSample s = GigSample::Tone("Pad " + std::to_string(notes[r]), 2, 24, kRate, notes[r], 66150, 30.0, 0.4);
        s.loop = {true, 22050, 66149};
        const int h = f.bank.AddSample(s);
        GigRegion region = GigRegion::Single(r == 0 ? 0 : 60, r == 0 ? 59 : 127, h, true);
        GigZone& z = region.zones[0];
        z.unityNote = notes[r];
        z.loop = s.loop;
        z.art.attack = 0.25;
        z.art.release = 1.5;
        pad.regions.push_back(region);
    }
    f.bank.AddInstrument(pad);
    return f;
}

GigFixture CompressedFixture()
{
    GigFixture f{"Compressed Bank", "compressed samples, mono and stereo, 16 and 24 bits", {}};
    const struct {
        const char* name;
        int channels, bits, note;
    } kinds[] = {
        {"Compressed Mono 16", 1, 16, 57},
        {"Compressed Stereo 16", 2, 16, 60},
        {"Compressed Mono 24", 1, 24, 64},
        {"Compressed Stereo 24", 2, 24, 67},
    };
    for (const auto& k : kinds) {
        // Whole compressed frames: 10 x 2048 frames.
        GigSample s = GigSample::Tone(k.name, k.channels, k.bits, kRate, k.note, 20480, 0.8, 0.3);
        s.compressed = true;
        const int h = f.bank.AddSample(s);
        GigInstrument ins(k.name);
        ins.regions.push_back(GigRegion::Single(0, 127, h, k.channels == 2));
        ins.regions.back().zones[0].unityNote = k.note;
        f.bank.AddInstrument(ins);
    }
    return f;
}

GigFixture ExtensionFixture()
{
    GigFixture f{"Extension Bank", "samples split over the .gig and one .gx01 extension file", {}};
    GigInstrument ins("Extended Strings");
    const int notes[] = {55, 67, 79};
    const int low[] = {0, 61, 73};
    const int high[] = {60, 72, 127};
    for (int r = 0; r < 3; ++r) {
        GigSample s = GigSample::Tone("Strings " + std::to_string(notes[r]), 1, 16, kRate, notes[r], 26460, 3.0, 0.4);
        s.file = r == 0 ? 0 : 1;
        const int h = f.bank.AddSample(s);
        GigRegion region = GigRegion::Single(low[r], high[r], h);
        region.zones[0].unityNote = notes[r];
        region.zones[0].art.attack = 0.08;
        ins.regions.push_back(region);
    }
    f.bank.AddInstrument(ins);
    return f;
}

GigFixture DimensionsFixture()
{
    GigFixture f{"Dimensions", "layer, release-trigger, key-switch and mod-wheel dimensions", {}};
    const int low = f.bank.AddSample(GigSample::Tone("Layer Low", 1, 16, kRate, 48, 22050, 1.0, 0.35));
    const int high = f.bank.AddSample(GigSample::Tone("Layer High", 1, 16, kRate, 60, 22050, 1.0, 0.35));
    const int body = f.bank.AddSample(GigSample::Tone("Body", 1, 16, kRate, 60, 22050, 1.0, 0.5));
    const int tail = f.bank.AddSample(GigSample::Drum("Release Click", 1, 16, kRate, 4410, 3));
    const int ks[] = {
        f.bank.AddSample(GigSample::Tone("Switch A", 1, 16, kRate, 60, 11025, 0.6, 0.5)),
        f.bank.AddSample(GigSample::Tone("Switch B", 1, 16, kRate, 64, 11025, 0.6, 0.5)),
        f.bank.AddSample(GigSample::Tone("Switch C", 1, 16, kRate, 67, 11025, 0.6, 0.5)),
        f.bank.AddSample(GigSample::Tone("Switch D", 1, 16, kRate, 71, 11025, 0.6, 0.5)),
    };

    GigInstrument layered("Layered");
    GigRegion lr;
    lr.dims.push_back(Dim(kDimLayer, 1));
    lr.zones = {ZoneFor(low, 48), ZoneFor(high, 60)};
    layered.regions.push_back(lr);
    f.bank.AddInstrument(layered);

    GigInstrument release("Release Trigger");
    GigRegion rr;
    rr.dims.push_back(Dim(kDimReleaseTrigger, 1));
    rr.zones = {ZoneFor(body, 60), ZoneFor(tail, 60)};
    release.regions.push_back(rr);
    f.bank.AddInstrument(release);

    GigInstrument keys("Key Switch");
    keys.keySwitchLow = 24;
    keys.keySwitchHigh = 27;
    GigRegion kr;
    kr.low = 36;
    kr.dims.push_back(Dim(kDimKeySwitch, 2));
    for (int i = 0; i < 4; ++i)
        kr.zones.push_back(ZoneFor(ks[i], 60));
    keys.regions.push_back(kr);
    f.bank.AddInstrument(keys);

    GigInstrument wheel("Mod Wheel");
    GigRegion wr;
    wr.dims.push_back(Dim(kDimModWheel, 1));
    wr.dims.push_back(Dim(kDimVelocity, 1));
    wr.zones = {ZoneFor(low, 48), ZoneFor(high, 60), ZoneFor(body, 60), ZoneFor(ks[1], 64)};
    wheel.regions.push_back(wr);
    f.bank.AddInstrument(wheel);
    return f;
}

std::vector<GigFixture> AllFixtures()
{
    std::vector<GigFixture> all;
    all.push_back(DemoPianoFixture());
    all.push_back(RoundRobinDrumFixture());
    all.push_back(StereoPadFixture());
    all.push_back(CompressedFixture());
    all.push_back(ExtensionFixture());
    all.push_back(DimensionsFixture());
    return all;
}

std::vector<std::string> WriteAllFixtures(const std::string& folder)
{
    std::vector<std::string> paths;
    for (const GigFixture& f : AllFixtures()) {
        const std::string path = folder + "/" + f.stem + ".gig";
        if (!f.bank.Write(path))
            return {};
        paths.push_back(path);
    }
    return paths;
}

}  // namespace gigtools
