// The engine against Debian's gigtools, independent readers run as black
// boxes: our dump tool and gigdump agree on every test bank; the zones the
// engine walks to follow the velocity limits gigdump reads; compressed samples decode exactly as gigextract writes
// them. Each test is skipped when its Debian tool is not installed.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "engine/GigaBank.h"
#include "engine/GigaBankHooks.h"
#include "engine/GigaFile.h"
#include "engine/GigaProgram.h"
#include "engine/GigaSampleReader.h"
#include "engine/GigaStream.h"
#include "engine/GigaStreamConstants.h"
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

// Frames of a decoded sample comparable with gigextract's: it reads the right
// block of a short 24-bit stereo frame where a whole frame's would stand, so
// only the frames before that one agree.
int64_t Compared(int channels, int bits, bool shortLast, int64_t frames)
{
    return shortLast && bits == 24 && channels == 2 ? frames / 256 * 256 : frames;
}

// Our float and 16-bit decodings against gigextract's value v.
bool SameFloat(int bits, float ours, int32_t v)
{
    const int32_t back = bits == 16 ? static_cast<int32_t>(std::lround(ours * 1073741824.0 / 32769.0))
                                    : static_cast<int32_t>(std::lround(ours / GigaSampleReader::Scale24(0)));
    return back == v;
}

bool Same16(int bits, int16_t ours, int32_t v)
{
    return ours == (bits == 16 ? v : v >> 8);
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
// values gigextract writes; samples whose last frame is short, as recorded
// files have them, end where gigdump says they do, also when their data
// chunk has an odd size (its pad byte is no sample). Loaded as a player
// loads them, with a short memory head and the rest streamed, they give the
// same frames.
TEST(GigDumpAgreement, CompressedSamplesDecodeAsGigextractWritesThem)
{
    if (!Installed("gigextract") || !Installed("gigdump"))
        GTEST_SKIP() << "gigextract or gigdump is not installed";
    struct Kind {
        int channels;
        int bits;
        int mode;  // -1: the encoder's choice per frame
        uint32_t frames = 2048 * 4;  // whole compressed frames
        bool shortLast = false;
        int rightMode = -2;  // -2: as mode
        bool oddChunk = false;
    };
    const Kind kinds[] = {{1, 16, 0}, {2, 16, 0}, {1, 16, 1}, {2, 16, 1}, {2, 16, -1}, {1, 24, 2}, {2, 24, 2},
                          {1, 24, 3}, {2, 24, 3}, {1, 24, 4}, {2, 24, 4}, {1, 24, 5}, {2, 24, 5}, {2, 24, -1},
                          // 7168 frames in three frames and a half; 24-bit: 8 frames and 100 or 7.
                          {1, 16, 0, 7168, true}, {2, 16, -1, 7168, true}, {1, 24, 4, 2148, true, -2, true},
                          {1, 24, -1, 2055, true, -2, true}, {2, 24, 5, 2148, true},
                          // More short last frames in data chunks of an odd byte count.
                          {1, 16, 1, 7001, true, -2, true}, {1, 16, 1, 7003, true, -2, true},
                          {2, 16, 0, 7001, true, 1, true}, {1, 24, 5, 7001, true, -2, true},
                          {2, 24, 3, 7001, true, 5, true}};
    // Quiet enough for each forced mode's differences.
    const double levels[] = {0.5, 0.02, 0.5, 0.05, 0.003, 0.0002};
    gigtools::GigBuilder b;
    gigtools::GigInstrument ins("all modes");
    for (const Kind& k : kinds) {
        const int quietest = std::max(k.mode, k.rightMode);
        gigtools::GigSample s = gigtools::GigSample::Tone(
            "m" + std::to_string(k.mode) + "c" + std::to_string(k.channels), k.channels, k.bits, 44100, 60,
            k.frames, 1.5, k.mode < 0 ? 0.5 : levels[quietest]);
        s.compressed = true;
        s.forcedMode = k.mode;
        s.forcedModeRight = k.rightMode;
        s.shortLastFrame = k.shortLast;
        // One key per sample: a program load takes every one.
        const int key = b.SampleCount();
        ins.regions.push_back(gigtools::GigRegion::Single(key, key, b.AddSample(s)));
    }
    b.AddInstrument(ins);
    kivtest::TempDir dir;
    const std::string path = dir.File("modes.gig");
    ASSERT_TRUE(b.Write(path));
    const std::string out = dir.File("wav");
    ASSERT_EQ(std::system(("mkdir -p " + Quote(out) + " && gigextract " + Quote(path) + " " + Quote(out) +
                           " >/dev/null 2>&1").c_str()),
              0);

    // gigdump's lengths, in pool order.
    std::vector<int64_t> lengths;
    {
        std::istringstream in(RunCommand("gigdump " + Quote(path) + " 2>&1"));
        const std::regex length(R"re(^    Sample \d+\) .*Length=(\d+))re");
        std::smatch m;
        for (std::string line; std::getline(in, line);)
            if (std::regex_search(line, m, length))
                lengths.push_back(std::stoll(m[1]));
    }
    ASSERT_EQ(lengths.size(), std::size(kinds));

    GigaBank bank;
    ASSERT_TRUE(bank.Open(path.c_str()));
    ASSERT_TRUE(bank.LoadSampleList());
    std::vector<std::vector<int32_t>> extracted;
    for (size_t i = 0; i < std::size(kinds); ++i) {
        const Kind& k = kinds[i];
        const std::string what = std::to_string(k.channels) + "ch " + std::to_string(k.bits) + "bit mode " +
                                 std::to_string(k.mode) + " " + std::to_string(k.frames) + " frames";
        const std::string name = "m" + std::to_string(k.mode) + "c" + std::to_string(k.channels);
        int channels = 0;
        int bits = 0;
        std::vector<int32_t>& theirs = extracted.emplace_back();
        ASSERT_TRUE(kivtest::ReadWav(out + "/" + std::to_string(i + 1) + "_" + name + ".wav", channels, bits, theirs)) << what;
        ASSERT_EQ(channels, k.channels) << what;
        ASSERT_EQ(bits, k.bits) << what;
        const GigaSample& gs = *bank.GetSample(static_cast<int>(i));
        ASSERT_TRUE(gs.IsUsable()) << what;
        EXPECT_EQ(gs.dataSize % 2 == 1, k.oddChunk) << what;
        const int64_t frames = static_cast<int64_t>(theirs.size()) / channels;
        ASSERT_EQ(frames, lengths[i]) << what;
        ASSERT_EQ(frames, k.frames) << what;
        // The header counts whole frames: the decoder finds the short last
        // one and ends the sample there.
        if (!k.shortLast) {
            ASSERT_EQ(frames, gs.frames) << what;
        }

        GigaSampleReader reader;
        ASSERT_TRUE(reader.SetUp(&gs, &gs.file->GetFile(), gs.dataOffset));
        std::vector<float> left(static_cast<size_t>(frames) + 1), right(static_cast<size_t>(frames) + 1);
        ASSERT_EQ(reader.DecodeFloat(left.data(), right.data(), frames + 1), frames) << what;
        EXPECT_EQ(reader.GetFramesTotal(), frames) << what;
        EXPECT_EQ(reader.GetPosition(), gs.dataOffset + gs.dataSize) << what;  // the whole data, not a byte past it
        ASSERT_TRUE(reader.SetUp(&gs, &gs.file->GetFile(), gs.dataOffset));
        std::vector<int16_t> left16(static_cast<size_t>(frames)), right16(static_cast<size_t>(frames));
        ASSERT_EQ(reader.Decode16(left16.data(), right16.data(), frames), frames) << what;
        int differing = 0;
        for (int64_t f = 0; f < Compared(k.channels, k.bits, k.shortLast, frames); ++f) {
            for (int ch = 0; ch < channels; ++ch) {
                const int32_t v = theirs[static_cast<size_t>(f * channels + ch)];
                differing += !SameFloat(k.bits, (ch == 0 ? left : right)[static_cast<size_t>(f)], v) ||
                             !Same16(k.bits, (ch == 0 ? left16 : right16)[static_cast<size_t>(f)], v);
            }
        }
        EXPECT_EQ(differing, 0) << what;
    }

    // Loaded with a 0.05 s memory head: the longer samples stream the rest.
    GigaHooks::SetPreloadSeconds(0.05f, 0.05f);
    GigaProgram* program = bank.LoadProgram(0, nullptr);
    GigaHooks::SetPreloadSeconds(1.0f, 3.0f);
    ASSERT_NE(program, nullptr);
    int streamed = 0;
    for (size_t i = 0; i < std::size(kinds); ++i) {
        const Kind& k = kinds[i];
        const std::string what = std::to_string(k.channels) + "ch " + std::to_string(k.bits) + "bit mode " +
                                 std::to_string(k.mode) + " " + std::to_string(k.frames) + " frames, loaded";
        GigaSample& gs = *bank.GetSample(static_cast<int>(i));
        const std::vector<int32_t>& theirs = extracted[i];
        int64_t f = 0;
        int differing = 0;
        const int64_t compared = Compared(k.channels, k.bits, k.shortLast, lengths[i]);
        for (const int64_t head = std::min(gs.framesInMemory, gs.frames); f < head; ++f)
            for (int ch = 0; ch < k.channels && f < compared; ++ch)
                differing += !Same16(k.bits, (ch == 0 ? gs.GetLeft() : gs.GetRight())[f],
                                     theirs[static_cast<size_t>(f * k.channels + ch)]);
        if (gs.IsStreamed()) {
            ++streamed;
            GigaStream* stream = GigaStream::TakeFor(&gs);
            ASSERT_NE(stream, nullptr) << what;
            ASSERT_TRUE(stream->Start(&gs)) << what;
            std::vector<float> scratchLeft(giga::kStreamRefillFrames), scratchRight(giga::kStreamRefillFrames);
            std::vector<float> l(giga::kStreamRingBytes / sizeof(float)), r(l.size());
            for (int refill = 0; refill < 1000 && !(stream->IsDrained() && stream->BytesQueued() == 0); ++refill) {
                stream->Refill(scratchLeft.data(), scratchRight.data());
                const int n = stream->BytesQueued() / static_cast<int>(sizeof(float));
                stream->Read(l.data(), k.channels == 2 ? r.data() : nullptr, n);
                for (int j = 0; j < n; ++j, ++f)
                    for (int ch = 0; ch < k.channels && f < compared; ++ch)
                        differing += !SameFloat(k.bits, (ch == 0 ? l : r)[static_cast<size_t>(j)],
                                                theirs[static_cast<size_t>(f * k.channels + ch)]);
            }
            stream->SetFinished();
            stream->Recycle();
        }
        EXPECT_EQ(f, lengths[i]) << what;
        EXPECT_EQ(differing, 0) << what;
    }
    EXPECT_GE(streamed, 10);
    program->Release();
}
