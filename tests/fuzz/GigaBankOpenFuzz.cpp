// Bank opening (table of contents) on arbitrary file bytes.
// fuzz-runs: 3000
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <string>
#include <vector>

#include "engine/GigaBank.h"
#include "fuzz/FuzzSeeds.h"
#include "gig/GigWriter.h"

namespace {

std::string g_dir;

void RemoveDir()
{
    if (g_dir.empty())
        return;
    ::unlink((g_dir + "/fuzz.gig").c_str());
    ::unlink((g_dir + "/fuzz.gx01").c_str());
    ::rmdir(g_dir.c_str());
}

const std::string& FuzzFile()
{
    static std::string path;
    if (path.empty()) {
        const char* tmp = ::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/gigfuzzXXXXXX";
        std::vector<char> buf(pattern.begin(), pattern.end());
        buf.push_back(0);
        if (::mkdtemp(buf.data())) {
            g_dir = buf.data();
            ::atexit(RemoveDir);
        }
        path = g_dir + "/fuzz.gig";
    }
    return path;
}

gigtools::Bytes Seed(int variant)
{
    using namespace gigtools;
    GigBuilder b;
    b.minFileSize = 3000;
    GigSample mono = GigSample::Tone("m", 1, 16, 44100, 60, 300);
    GigSample stereo = GigSample::Tone("s", 2, 24, 44100, 60, 300);
    stereo.loop = {true, 10, 200};
    if (variant == 1) {
        mono.compressed = true;
        stereo.compressed = true;
    }
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
    return b.Build("fuzz");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    kivfuzz::SeedCorpus seeds(argc, argv);
    seeds.Add("plain", Seed(0));
    seeds.Add("compressed", Seed(1));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string& path = FuzzFile();
    if (g_dir.empty())
        return 0;
    if (!gigtools::WriteBytes(path, gigtools::Bytes(data, data + size)))
        return 0;
    GigaBank bank;
    if (bank.Open(path.c_str())) {
        for (int i = 0; i < bank.GetProgramCount(); ++i)
            (void)bank.GetProgram(i)->GetName();
    }
    bank.Open(path.c_str());  // reopening the same object resets it
    return 0;
}
