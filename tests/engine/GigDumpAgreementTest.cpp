// The engine against Debian's gigtools, independent readers run as black
// boxes: our dump tool and gigdump agree on every test bank; the zones the
// engine walks to follow the velocity limits gigdump reads; compressed samples decode exactly as gigextract writes
// them. Each test is skipped when its Debian tool is not installed.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "engine/GigaBank.h"
#include "engine/GigaSampleReader.h"
#include "gig/GigFixtures.h"
#include "gig/GigWriter.h"
#include "support/TestSupport.h"

namespace {

struct Summary {
    int samples = -1;
    std::vector<std::string> names;
    std::vector<int> regions;
};

std::string RunCommand(const std::string& command)
{
    std::string out;
    FILE* p = ::popen(command.c_str(), "r");
    if (!p)
        return out;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof(buf), p)) > 0)
        out.append(buf, n);
    ::pclose(p);
    return out;
}

std::string Quote(const std::string& s)
{
    return "'" + s + "'";
}

Summary ParseGigdump(const std::string& text)
{
    Summary s;
    s.samples = 0;
    std::istringstream in(text);
    std::string line;
    const std::regex sample(R"re(^    Sample \d+\) )re");
    const std::regex instrument(R"re(^    Instrument \d+\) "(.*)",)re");
    const std::regex region(R"re(^        Region \d+\) )re");
    std::smatch m;
    while (std::getline(in, line)) {
        if (std::regex_search(line, sample)) {
            ++s.samples;
        } else if (std::regex_search(line, m, instrument)) {
            s.names.push_back(m[1]);
            s.regions.push_back(0);
        } else if (std::regex_search(line, region) && !s.regions.empty()) {
            ++s.regions.back();
        }
    }
    return s;
}

Summary ParseGigprint(const std::string& text)
{
    Summary s;
    std::istringstream in(text);
    std::string line;
    const std::regex samples(R"re(^Samples: (\d+))re");
    const std::regex instrument(R"re(^Instrument \d+\) "(.*)" regions=(\d+))re");
    std::smatch m;
    while (std::getline(in, line)) {
        if (std::regex_search(line, m, samples))
            s.samples = std::stoi(m[1]);
        else if (std::regex_search(line, m, instrument)) {
            s.names.push_back(m[1]);
            s.regions.push_back(std::stoi(m[2]));
        }
    }
    return s;
}

// The build folder: from the environment, else two levels above this program.
std::string BuildFolder()
{
    if (const char* bin = std::getenv("KIV_TEST_BINARY_DIR"))
        return bin;
    std::string build;
    char self[4096] = {};
    if (::readlink("/proc/self/exe", self, sizeof(self) - 1) > 0) {
        build = self;
        build = build.substr(0, build.rfind('/'));
        build = build.substr(0, build.rfind('/'));
    }
    return build;
}

bool Installed(const char* tool)
{
    return std::system(("command -v " + std::string(tool) + " >/dev/null 2>&1").c_str()) == 0;
}

// One dimension region as gigdump lists it.
struct DumpZone {
    std::string sample;
    std::vector<int> limits;
};

// gigdump's view of a one-region instrument: sample names in pool order,
// the dimension types in order and the dimension regions.
struct DumpRegion {
    std::vector<std::string> samples;
    std::vector<std::string> dimensions;
    std::vector<DumpZone> zones;
};

DumpRegion ParseRegion(const std::string& text)
{
    DumpRegion r;
    std::istringstream in(text);
    std::string line;
    const std::regex sample(R"re(^    Sample \d+\) "(.*)",)re");
    const std::regex dimension(R"re(^            Dimension\[\d+\]: Type=(\w+))re");
    const std::regex zoneSample(R"re(^                Sample: "(.*)",)re");
    const std::regex limits(R"re(DimensionUpperLimits\[\]=\{(.*)\})re");
    const std::regex limit(R"re(\[\d+\]=(\d+))re");
    std::smatch m;
    while (std::getline(in, line)) {
        if (std::regex_search(line, m, sample)) {
            r.samples.push_back(m[1]);
        } else if (std::regex_search(line, m, dimension)) {
            r.dimensions.push_back(m[1]);
        } else if (std::regex_search(line, m, zoneSample)) {
            r.zones.push_back({m[1], {}});
        } else if (std::regex_search(line, m, limits) && !r.zones.empty()) {
            const std::string list = m[1];
            for (std::sregex_iterator it(list.begin(), list.end(), limit), end; it != end; ++it)
                r.zones.back().limits.push_back(std::stoi((*it)[1]));
        }
    }
    return r;
}

}  // namespace

TEST(GigDumpAgreement, NamesRegionsAndSamplesAgreeOnEveryFixture)
{
    if (!Installed("gigdump"))
        GTEST_SKIP() << "gigdump is not installed";
    const std::string build = BuildFolder();
    const std::string gigprint = build + "/tools/gigprint";
    if (std::system(("test -x " + Quote(gigprint)).c_str()) != 0)
        GTEST_SKIP() << "gigprint is not built";

    kivtest::TempDir dir;
    const std::vector<std::string> files = gigtools::WriteAllFixtures(dir.Path());
    ASSERT_FALSE(files.empty());
    for (const std::string& path : files) {
        const Summary theirs = ParseGigdump(RunCommand("gigdump " + Quote(path) + " 2>&1"));
        const Summary ours = ParseGigprint(RunCommand(Quote(gigprint) + " " + Quote(path) + " --toc"));
        ASSERT_FALSE(ours.names.empty()) << path;
        EXPECT_EQ(ours.samples, theirs.samples) << path;
        EXPECT_EQ(ours.names, theirs.names) << path;
        EXPECT_EQ(ours.regions, theirs.regions) << path;
        // Every instrument also loads.
        EXPECT_EQ(std::system((Quote(gigprint) + " " + Quote(path) + " >/dev/null").c_str()), 0) << path;
    }
}

// A stereo region split by velocity at uneven limits: the zones the engine
// walks to follow the limits gigdump reads, one velocity after the other.
TEST(GigDumpAgreement, VelocityZonesFollowGigdumpsLimits)
{
    if (!Installed("gigdump"))
        GTEST_SKIP() << "gigdump is not installed";
    gigtools::GigBuilder g;
    gigtools::GigRegion r;
    r.stereo = true;
    gigtools::GigDimension vel;
    vel.code = gigtools::kDimVelocity;
    vel.bits = 2;
    vel.upperLimits = {20, 50, 90, 127};
    r.dims.push_back(vel);
    for (int z = 0; z < 4; ++z) {
        gigtools::GigZone zone;
        zone.sample = g.AddSample(gigtools::GigSample::Tone("Vel" + std::to_string(z), 2, 16, 44100, 60, 4000));
        r.zones.push_back(zone);
    }
    gigtools::GigInstrument ins("Velocity");
    ins.regions.push_back(r);
    g.AddInstrument(ins);
    kivtest::TempDir dir;
    const std::string path = dir.File("velocity.gig");
    ASSERT_TRUE(g.Write(path));

    const DumpRegion dump = ParseRegion(RunCommand("gigdump " + Quote(path) + " 2>&1"));
    int velocityDim = -1;
    for (size_t d = 0; d < dump.dimensions.size(); ++d)
        if (dump.dimensions[d] == "VELOCITY")
            velocityDim = static_cast<int>(d);
    ASSERT_GE(velocityDim, 0);
    ASSERT_GE(dump.zones.size(), 4u);

    GigaBank bank;
    ASSERT_TRUE(bank.Open(path.c_str()));
    GigaProgram* program = bank.LoadProgram(0, nullptr);
    ASSERT_NE(program, nullptr);
    GigaRegion* region = program->GetRegionForKey(60);
    ASSERT_NE(region, nullptr);
    int checked = 0;
    for (int velocity = 1; velocity <= 127; ++velocity) {
        // gigdump's answer: the sample of the zone with the lowest velocity
        // limit at or above the velocity.
        int best = -1;
        for (size_t z = 0; z < dump.zones.size(); ++z) {
            const int l = dump.zones[z].limits[static_cast<size_t>(velocityDim)];
            if (l >= velocity && (best < 0 || l < dump.zones[static_cast<size_t>(best)].limits[velocityDim]))
                best = static_cast<int>(z);
        }
        ASSERT_GE(best, 0) << velocity;
        GigaWalkInput in;
        in.velocity = velocity;
        GigaWalkResult result;
        region->Walk(in, result);
        ASSERT_EQ(result.count, 1) << velocity;
        const GigaSample* got = result.zones[0]->GetSample();
        std::string name;
        for (size_t i = 0; i < dump.samples.size(); ++i)
            if (bank.GetSample(static_cast<int>(i)) == got)
                name = dump.samples[i];
        EXPECT_EQ(name, dump.zones[static_cast<size_t>(best)].sample) << "velocity " << velocity;
        ++checked;
    }
    EXPECT_EQ(checked, 127);
    program->Release();
}

// Compressed samples in every mode, mono and stereo, decode to exactly the
// values gigextract writes.
TEST(GigDumpAgreement, CompressedSamplesDecodeAsGigextractWritesThem)
{
    if (!Installed("gigextract"))
        GTEST_SKIP() << "gigextract is not installed";
    struct Kind {
        int channels;
        int bits;
        int mode;  // -1: the encoder's choice per frame
    };
    const Kind kinds[] = {{1, 16, 0}, {2, 16, 0}, {1, 16, 1}, {2, 16, 1}, {2, 16, -1}, {1, 24, 2}, {2, 24, 2},
                          {1, 24, 3}, {2, 24, 3}, {1, 24, 4}, {2, 24, 4}, {1, 24, 5}, {2, 24, 5}, {2, 24, -1}};
    // Quiet enough for each forced mode's differences.
    const double levels[] = {0.5, 0.02, 0.5, 0.05, 0.003, 0.0002};
    gigtools::GigBuilder b;
    for (const Kind& k : kinds) {
        gigtools::GigSample s = gigtools::GigSample::Tone(
            "m" + std::to_string(k.mode) + "c" + std::to_string(k.channels), k.channels, k.bits, 44100, 60,
            2048 * 4, 1.5, k.mode < 0 ? 0.5 : levels[k.mode]);  // whole compressed frames
        s.compressed = true;
        s.forcedMode = k.mode;
        b.AddSample(s);
    }
    gigtools::GigInstrument ins("all modes");
    ins.regions.push_back(gigtools::GigRegion::Single(0, 127, 0));
    b.AddInstrument(ins);
    kivtest::TempDir dir;
    const std::string path = dir.File("modes.gig");
    ASSERT_TRUE(b.Write(path));
    const std::string out = dir.File("wav");
    ASSERT_EQ(std::system(("mkdir -p " + Quote(out) + " && gigextract " + Quote(path) + " " + Quote(out) +
                           " >/dev/null 2>&1").c_str()),
              0);

    GigaBank bank;
    ASSERT_TRUE(bank.Open(path.c_str()));
    ASSERT_TRUE(bank.LoadSampleList());
    for (size_t i = 0; i < std::size(kinds); ++i) {
        const Kind& k = kinds[i];
        const std::string what = std::to_string(k.channels) + "ch " + std::to_string(k.bits) + "bit mode " +
                                 std::to_string(k.mode);
        const std::string name = "m" + std::to_string(k.mode) + "c" + std::to_string(k.channels);
        int channels = 0;
        int bits = 0;
        std::vector<int32_t> theirs;
        ASSERT_TRUE(kivtest::ReadWav(out + "/" + std::to_string(i + 1) + "_" + name + ".wav", channels, bits, theirs)) << what;
        ASSERT_EQ(channels, k.channels) << what;
        ASSERT_EQ(bits, k.bits) << what;
        const GigaSample& gs = *bank.GetSample(static_cast<int>(i));
        ASSERT_TRUE(gs.IsUsable()) << what;
        const int64_t frames = static_cast<int64_t>(theirs.size()) / channels;
        ASSERT_EQ(frames, gs.frames) << what;

        GigaSampleReader reader;
        ASSERT_TRUE(reader.SetUp(&gs, &gs.file->GetFile(), gs.dataOffset));
        std::vector<float> left(static_cast<size_t>(frames)), right(static_cast<size_t>(frames));
        ASSERT_EQ(reader.DecodeFloat(left.data(), right.data(), frames), frames) << what;
        ASSERT_TRUE(reader.SetUp(&gs, &gs.file->GetFile(), gs.dataOffset));
        std::vector<int16_t> left16(static_cast<size_t>(frames)), right16(static_cast<size_t>(frames));
        ASSERT_EQ(reader.Decode16(left16.data(), right16.data(), frames), frames) << what;
        int differing = 0;
        for (int64_t f = 0; f < frames; ++f) {
            for (int ch = 0; ch < channels; ++ch) {
                const int32_t v = theirs[static_cast<size_t>(f * channels + ch)];
                const float gotF = (ch == 0 ? left : right)[static_cast<size_t>(f)];
                const int16_t got16 = (ch == 0 ? left16 : right16)[static_cast<size_t>(f)];
                const int32_t ours = k.bits == 16 ? static_cast<int32_t>(std::lround(gotF * 1073741824.0 / 32769.0))
                                                  : static_cast<int32_t>(std::lround(gotF / GigaSampleReader::Scale24(0)));
                differing += ours != v || got16 != (k.bits == 16 ? v : v >> 8);
            }
        }
        EXPECT_EQ(differing, 0) << what;
    }
}
