// Shared by the .gig fuzz targets: the file the engine reads each input from,
// with an extension file "fuzz.gx01" beside it for inputs whose 'xfil' names
// it; and the seed banks.
#pragma once
#include <cstdint>

#include "fuzz/FuzzFiles.h"
#include "fuzz/FuzzSeeds.h"
#include "gig/GigWriter.h"

namespace gigfuzz {

// variant 0: plain samples; 1: compressed samples; 2: one sample in the
// extension file "fuzz.gx01" (its bytes in *extension when given); 3:
// compressed samples that end with a short frame.
inline gigtools::Bytes SeedBank(int variant, gigtools::Bytes* extension = nullptr)
{
    using namespace gigtools;
    GigBuilder b;
    b.minFileSize = 3000;
    GigSample mono = GigSample::Tone("m", 1, 16, 44100, 60, 300);
    GigSample stereo = GigSample::Tone("s", 2, 24, 44100, 60, 300);
    stereo.loop = {true, 10, 200};
    if (variant == 1 || variant == 3) {
        mono.compressed = true;
        stereo.compressed = true;
        mono.shortLastFrame = variant == 3;
        stereo.shortLastFrame = variant == 3;
    }
    if (variant == 2)
        stereo.file = 1;
    b.AddSample(mono);
    b.AddSample(stereo);
    GigInstrument ins("Seed");
    GigRegion vel;
    vel.low = 0;
    vel.high = 63;
    vel.dims.push_back({0x82, 1, {}});
    GigZone z0;
    z0.sample = 0;
    GigZone z1;
    z1.sample = 1;
    z1.loop = {true, 20, 100};
    vel.zones = {z0, z1};
    ins.regions.push_back(vel);
    GigRegion st = GigRegion::Single(64, 127, 1, true);
    st.dims.push_back({0x86, 1, {}});
    st.zones.push_back(st.zones[0]);
    ins.regions.push_back(st);
    b.AddInstrument(ins);
    GigInstrument one("One");
    one.regions.push_back(GigRegion::Single(12, 12, 0));
    b.AddInstrument(one);
    if (extension && b.ExtensionCount() > 0)
        *extension = b.BuildExtensionTree(1).Serialize();
    return b.Build("fuzz");
}

// The seed banks, for a target's starting corpus.
inline void AddSeedBanks(kivfuzz::SeedCorpus& seeds)
{
    seeds.Add("plain", SeedBank(0));
    seeds.Add("compressed", SeedBank(1));
    seeds.Add("extension", SeedBank(2));
    seeds.Add("shortframes", SeedBank(3));
}

// The input file "fuzz.gig" in a folder on a memory file system when there is
// one, beside the extension file; removed when the process exits.
class Workspace {
public:
    static Workspace& Get()
    {
        static Workspace w;
        return w;
    }
    bool Write(const uint8_t* data, size_t size) { return m_input.Write(data, size); }
    const char* Path() const { return m_input.Path(); }
    // Writes one input; the path of the file, or null when it could not be
    // written.
    static const char* Input(const uint8_t* data, size_t size)
    {
        Workspace& w = Get();
        return w.Write(data, size) ? w.Path() : nullptr;
    }

private:
    Workspace()
    {
        if (!m_input.Folder().Ok())
            return;
        gigtools::Bytes extension;
        SeedBank(2, &extension);
        gigtools::WriteBytes(m_input.Folder().File("fuzz.gx01"), extension);
    }

    kivfuzz::InputFile m_input{"gigfuzz", "fuzz.gig", true};
};

}  // namespace gigfuzz
