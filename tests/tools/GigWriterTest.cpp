// The .gig test-file writer: exact RIFF bytes, the bank layout the reader
// expects, the compressed-frame encoder against a reference decoder, and the
// written files checked by Debian's gigdump and rifftree as black boxes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "gig/GigEncoder.h"
#include "gig/GigFixtures.h"
#include "gig/GigWriter.h"
#include "support/TestSupport.h"

using namespace gigtools;

namespace {

uint32_t U32At(const Bytes& b, size_t at)
{
    return static_cast<uint32_t>(b[at]) | static_cast<uint32_t>(b[at + 1]) << 8 |
           static_cast<uint32_t>(b[at + 2]) << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

uint32_t U16At(const Bytes& b, size_t at)
{
    return static_cast<uint32_t>(b[at]) | static_cast<uint32_t>(b[at + 1]) << 8;
}

// A parsed chunk of a serialized file, with its file offsets.
struct Parsed {
    std::string id, type;
    size_t header = 0;   // offset of the id
    size_t data = 0;     // first payload byte (after the list type for containers)
    uint32_t size = 0;
    std::vector<Parsed> children;

    const Parsed* Child(const std::string& cid, const std::string& ctype = "") const
    {
        for (const Parsed& c : children)
            if (c.id == cid && (ctype.empty() || c.type == ctype))
                return &c;
        return nullptr;
    }
};

// Walks the chunks of [begin, end); fails the test on a chunk that overruns.
std::vector<Parsed> ParseRange(const Bytes& b, size_t begin, size_t end)
{
    std::vector<Parsed> out;
    size_t pos = begin;
    while (pos + 8 <= end) {
        Parsed p;
        p.id.assign(reinterpret_cast<const char*>(&b[pos]), 4);
        p.size = U32At(b, pos + 4);
        p.header = pos;
        p.data = pos + 8;
        const size_t stop = pos + 8 + p.size;
        EXPECT_LE(stop, end) << "chunk " << p.id << " at " << pos << " overruns its parent";
        if (stop > end)
            break;
        if (p.id == "RIFF" || p.id == "LIST") {
            p.type.assign(reinterpret_cast<const char*>(&b[pos + 8]), 4);
            p.data = pos + 12;
            p.children = ParseRange(b, pos + 12, stop);
        }
        out.push_back(p);
        pos = stop + (p.size & 1);
    }
    EXPECT_EQ(pos, end) << "chunks do not fill their parent exactly";
    return out;
}

Parsed ParseFile(const Bytes& b)
{
    std::vector<Parsed> top = ParseRange(b, 0, b.size());
    return top.empty() ? Parsed{} : top[0];
}

// ---- a reference decoder, straight from the documented recurrences --------

int32_t SignExtend(uint32_t v, int bits)
{
    const uint32_t m = 1u << (bits - 1);
    v &= (1u << bits) - 1;
    return static_cast<int32_t>((v ^ m) - m);
}

// Decodes `frames` frames of compressed data into interleaved y values.
std::vector<int32_t> ReferenceDecode(const Bytes& d, int channels, int bits, uint32_t F, size_t frames)
{
    std::vector<int32_t> out(frames * static_cast<size_t>(channels));
    size_t pos = 0;
    for (size_t f0 = 0; f0 < frames; f0 += F) {
        int mode[2] = {0, 0};
        int32_t y[2] = {}, dy[2] = {}, ddy[2] = {}, dddy[2] = {};
        for (int c = 0; c < channels; ++c)
            mode[c] = d.at(pos++);
        for (int c = 0; c < channels; ++c) {
            if (mode[c] == 1) {
                y[c] = SignExtend(U16At(d, pos), 16);
                dy[c] = SignExtend(U16At(d, pos + 2), 16);
                pos += 4;
            } else if (mode[c] >= 3) {
                auto p24 = [&](size_t at) { return SignExtend(U32At(d, at) & 0xFFFFFF, 24); };
                const int32_t p0 = p24(pos), p1 = p24(pos + 3);
                y[c] = p0;
                dy[c] = p0 - p1;
                ddy[c] = p24(pos + 6);
                dddy[c] = p24(pos + 9);
                pos += 12;
            }
        }
        auto step = [&](int c, int32_t v) -> int32_t {
            switch (mode[c]) {
            case 0:
            case 2:
                return v;
            case 1:
                dy[c] -= v;
                y[c] -= dy[c];
                return y[c];
            default:
                dddy[c] -= v;
                ddy[c] -= dddy[c];
                dy[c] = -dy[c] - ddy[c];
                y[c] += dy[c];
                return y[c];
            }
        };
        const size_t n = std::min<size_t>(F, frames - f0);
        if (bits == 16) {
            for (uint32_t i = 0; i < F; ++i)
                for (int c = 0; c < channels; ++c) {
                    int32_t v;
                    if (mode[c] == 0) {
                        v = SignExtend(U16At(d, pos), 16);
                        pos += 2;
                    } else {
                        v = SignExtend(d.at(pos), 8);
                        pos += 1;
                    }
                    const int32_t s = step(c, v);
                    if (i < n)
                        out[(f0 + i) * channels + c] = static_cast<int16_t>(s);
                }
        } else {
            for (int c = 0; c < channels; ++c) {
                for (uint32_t i = 0; i < F; ++i) {
                    int32_t v = 0;
                    switch (mode[c]) {
                    case 2: v = SignExtend(U32At(d, pos) & 0xFFFFFF, 24); pos += 3; break;
                    case 3: v = SignExtend(U16At(d, pos), 16); pos += 2; break;
                    case 5: v = SignExtend(d.at(pos), 8); pos += 1; break;
                    case 4:
                        if (i % 2 == 0) {
                            v = SignExtend(d.at(pos) | (d.at(pos + 1) & 0xF) << 8, 12);
                        } else {
                            v = SignExtend(d.at(pos + 1) >> 4 | d.at(pos + 2) << 4, 12);
                            pos += 3;
                        }
                        break;
                    }
                    const int32_t s = step(c, v);
                    if (i < n)
                        out[(f0 + i) * channels + c] = s;
                }
            }
        }
    }
    EXPECT_EQ(pos, d.size()) << "decoder did not consume the stream exactly";
    return out;
}

// A smooth signal whose differences fit every mode at the given amplitude.
std::vector<int32_t> Smooth(size_t frames, int channels, double amplitude, double cycles)
{
    std::vector<int32_t> v(frames * channels);
    for (size_t i = 0; i < frames; ++i)
        for (int c = 0; c < channels; ++c)
            v[i * channels + c] = static_cast<int32_t>(
                std::lround(amplitude * std::sin(6.283185307 * cycles * i / frames + c)));
    return v;
}

// Runs a command; returns its exit status and fills `output` with stdout+stderr.
int RunCommand(const std::string& command, std::string& output)
{
    output.clear();
    FILE* p = popen((command + " 2>&1").c_str(), "r");
    if (!p)
        return -1;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0)
        output.append(buf, n);
    const int status = pclose(p);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool HasProgram(const char* name)
{
    std::string out;
    return RunCommand(std::string("command -v ") + name, out) == 0;
}

bool MentionsTrouble(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text.find("error") != std::string::npos || text.find("warning") != std::string::npos ||
           text.find("exception") != std::string::npos || text.find("no_valid") != std::string::npos;
}

size_t Count(const std::string& text, const std::string& word)
{
    size_t n = 0;
    for (size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1))
        ++n;
    return n;
}

}  // namespace

// ---------------------------------------------------------------- RIFF tree

TEST(RiffNode, OddChunkGetsPadByteAndListSizesCountIt)
{
    RiffNode riff = RiffNode::Riff("TEST", {RiffNode::Chunk("abc ", {1, 2, 3}),
                                            RiffNode::List("sub ", {RiffNode::Chunk("emty")})});
    const Bytes b = riff.Serialize();
    const Bytes expected = {
        'R', 'I', 'F', 'F', 36, 0, 0, 0, 'T', 'E', 'S', 'T',
        'a', 'b', 'c', ' ', 3, 0, 0, 0, 1, 2, 3, 0,
        'L', 'I', 'S', 'T', 12, 0, 0, 0, 's', 'u', 'b', ' ',
        'e', 'm', 't', 'y', 0, 0, 0, 0,
    };
    EXPECT_EQ(b, expected);
    EXPECT_EQ(riff.FileSize(), b.size());
    EXPECT_EQ(riff.OffsetOf(riff.Find("emty")), 36);
    EXPECT_EQ(riff.OffsetOf(riff.Find("LIST", "sub ")), 24);
}

TEST(RiffNode, DeliberateFaultsChangeOnlyWhatTheyName)
{
    RiffNode riff = RiffNode::Riff("TEST", {RiffNode::Chunk("odd1", {9}), RiffNode::Chunk("next", {7, 7})});
    RiffNode* odd = riff.Find("odd1");
    odd->omitPad = true;
    odd->rawId = "od-1";
    riff.Find("next")->hasSizeOverride = true;
    riff.Find("next")->sizeOverride = 0xFFFFFFF0u;
    const Bytes b = riff.Serialize();
    // The parent counts the missing pad byte out, and pads its own odd size.
    ASSERT_EQ(b.size(), 12u + 9u + 10u + 1u);
    EXPECT_EQ(U32At(b, 4), 4u + 9u + 10u);
    EXPECT_EQ(std::string(b.begin() + 12, b.begin() + 16), "od-1");
    EXPECT_EQ(std::string(b.begin() + 21, b.begin() + 25), "next");
    EXPECT_EQ(U32At(b, 25), 0xFFFFFFF0u);
}

// ------------------------------------------------------------- bank layout

TEST(GigBuilder, TopLevelChunksCarryVersionCountsAndPoolOffsets)
{
    GigBuilder g;
    const int a = g.AddSample(GigSample::Tone("A", 1, 16, 44100, 60, 301));  // odd data size
    const int b2 = g.AddSample(GigSample::Tone("B", 2, 24, 48000, 64, 200));
    GigInstrument ins("Two");
    ins.regions.push_back(GigRegion::Single(0, 63, a));
    ins.regions.push_back(GigRegion::Single(64, 127, b2, true));
    g.AddInstrument(ins);
    const Bytes bytes = g.Build();
    const Parsed riff = ParseFile(bytes);
    ASSERT_EQ(riff.id, "RIFF");
    EXPECT_EQ(riff.type, "DLS ");
    EXPECT_GE(bytes.size(), kMinBankBytes);

    const Parsed* vers = riff.Child("vers");
    ASSERT_TRUE(vers);
    EXPECT_EQ(U16At(bytes, vers->data + 2), 3u);
    EXPECT_EQ(U32At(bytes, riff.Child("colh")->data), 1u);
    const Parsed* ptbl = riff.Child("ptbl");
    ASSERT_TRUE(ptbl);
    EXPECT_EQ(U32At(bytes, ptbl->data + 4), 2u);

    // Each pool entry (file number, offset) points at its 'LIST' 'wave'.
    const Parsed* pool = riff.Child("LIST", "wvpl");
    ASSERT_TRUE(pool);
    ASSERT_EQ(pool->children.size(), 2u);
    for (size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(U32At(bytes, ptbl->data + 8 + 8 * i), 0u);
        EXPECT_EQ(pool->data + U32At(bytes, ptbl->data + 12 + 8 * i), pool->children[i].header);
    }
    const Parsed& stereo = pool->children[1];
    const Parsed* fmt = stereo.Child("fmt ");
    EXPECT_EQ(U16At(bytes, fmt->data + 2), 2u);
    EXPECT_EQ(U32At(bytes, fmt->data + 4), 48000u);
    EXPECT_EQ(U16At(bytes, fmt->data + 14), 24u);
    EXPECT_EQ(stereo.Child("data")->size, 200u * 2 * 3);
    EXPECT_EQ(pool->children[0].Child("data")->size, 602u);
    EXPECT_FALSE(stereo.Child("ewav"));
}

TEST(GigBuilder, InstrumentChunksCarryNameKeysSwitchRangeAndRegions)
{
    GigBuilder g;
    const int s = g.AddSample(GigSample::Tone("S", 1, 16, 44100, 60, 1000));
    GigInstrument ins(std::string("It\xB4s"));
    ins.keySwitchLow = 24;
    ins.keySwitchHigh = 27;
    ins.bendRange = 12;
    ins.regions.push_back(GigRegion::Single(12, 12, s));
    g.AddInstrument(ins);
    const Bytes bytes = g.Build();
    const Parsed riff = ParseFile(bytes);
    const Parsed* list = riff.Child("LIST", "lins")->Child("LIST", "ins ");
    ASSERT_TRUE(list);
    // insh comes before lrgn: the reader takes the region count from it first.
    ASSERT_GE(list->children.size(), 2u);
    EXPECT_EQ(list->children[0].id, "insh");
    EXPECT_EQ(list->children[1].type, "lrgn");
    EXPECT_EQ(U32At(bytes, list->children[0].data), 1u);
    const Parsed* g3 = list->Child("LIST", "lart")->Child("3ewg");
    EXPECT_EQ(U16At(bytes, g3->data + 8), 12u);
    EXPECT_EQ(bytes[g3->data + 10] >> 1, 24);
    EXPECT_EQ(bytes[g3->data + 11], 27);
    const Parsed* info = list->Child("LIST", "INFO");
    ASSERT_EQ(info->children[0].id, "INAM");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&bytes[info->children[0].data]), 4), "It\xB4s");
    const Parsed* rgnh = list->Child("LIST", "lrgn")->Child("LIST", "rgn ")->Child("rgnh");
    EXPECT_EQ(U16At(bytes, rgnh->data), 12u);
    EXPECT_EQ(U16At(bytes, rgnh->data + 2), 12u);
}

TEST(GigBuilder, StereoVelocityRegionLinksEveryRecordAndWritesLimitsPerPath)
{
    GigBuilder g;
    std::vector<int> s;
    for (int i = 0; i < 3; ++i)
        s.push_back(g.AddSample(GigSample::Tone("V" + std::to_string(i), 2, 16, 44100, 60, 400)));
    GigRegion r;
    r.stereo = true;
    GigDimension vel;
    vel.code = kDimVelocity;
    vel.bits = 2;
    vel.upperLimits = {20, 60, 100, 127};
    r.dims.push_back(vel);
    for (int z = 0; z < 4; ++z) {
        GigZone zone;
        zone.sample = s[z % 3];
        zone.art.pan = -64;
        zone.loop = {true, 10, 109};
        r.zones.push_back(zone);
    }
    GigInstrument ins("Vel");
    ins.regions.push_back(r);
    g.AddInstrument(ins);
    const Bytes bytes = g.Build();
    const Parsed riff = ParseFile(bytes);
    const Parsed* rgn = riff.Child("LIST", "lins")->Child("LIST", "ins ")->Child("LIST", "lrgn")->Child("LIST", "rgn ");
    const Parsed* lnk = rgn->Child("3lnk");
    ASSERT_TRUE(lnk);
    EXPECT_EQ(lnk->size, 4u + 8u * kDimSlotsV3 + 8u * 4u);
    EXPECT_EQ(U32At(bytes, lnk->data), 8u);                  // 4 zones x left/right
    EXPECT_EQ(bytes[lnk->data + 4], kDimSampleChannel);      // slot 0
    EXPECT_EQ(bytes[lnk->data + 12], kDimVelocity);          // slot 1
    EXPECT_EQ(bytes[lnk->data + 13], 2);
    const size_t table = lnk->data + 4 + 8 * kDimSlotsV3;
    for (uint32_t rec = 0; rec < 8; ++rec)
        EXPECT_EQ(U32At(bytes, table + 4 * rec), static_cast<uint32_t>(s[(rec / 2) % 3])) << rec;

    const Parsed* prg = rgn->Child("LIST", "3prg");
    ASSERT_EQ(prg->children.size(), 8u);
    for (size_t rec = 0; rec < 8; ++rec) {
        const Parsed* ewa = prg->children[rec].Child("3ewa");
        ASSERT_TRUE(ewa);
        const size_t f = ewa->data + 4;  // fields count from after the size field
        EXPECT_EQ(U32At(bytes, ewa->data), ewa->size);
        EXPECT_EQ(ewa->size, k3ewaBytesV3);
        EXPECT_EQ(bytes[f + 137], vel.upperLimits[rec / 2]) << "velocity slot byte of record " << rec;
        EXPECT_EQ(bytes[f + 136], 0);
        EXPECT_EQ(bytes[f + 120], vel.upperLimits[rec / 2]);
        EXPECT_EQ(bytes[f + 105], 127);                       // pan -64
        const Parsed* wsmp = prg->children[rec].Child("wsmp");
        EXPECT_EQ(U32At(bytes, wsmp->data + 16), 1u);         // one loop
        EXPECT_EQ(U32At(bytes, wsmp->data + 28), 10u);
        EXPECT_EQ(U32At(bytes, wsmp->data + 32), 100u);       // length
    }
}

TEST(GigBuilder, VersionTwoWritesFiveSlotsAndShorterArticulation)
{
    GigBuilder g;
    g.version = 2;
    const int s = g.AddSample(GigSample::Tone("S", 1, 16, 44100, 60, 500));
    GigInstrument ins("Old");
    ins.regions.push_back(GigRegion::Single(0, 127, s));
    g.AddInstrument(ins);
    RiffNode tree = g.BuildTree();
    EXPECT_EQ(tree.Find("3lnk")->Data().size(), 4u + 8u * kDimSlotsV2 + 4u);
    EXPECT_EQ(tree.Find("3ewa")->Data().size(), k3ewaBytesV2);
}

TEST(GigBuilder, SampleLoopsAndTimesAreWrittenAsTheReaderTakesThem)
{
    GigSample s = GigSample::Tone("L", 1, 16, 44100, 62, 1000);
    s.loop = {true, 100, 899};
    GigBuilder g;
    g.AddSample(s);
    const Bytes smpl = g.BuildTree().Find("smpl")->Data();
    ASSERT_EQ(smpl.size(), kSmplHeaderBytes + kSmplLoopBytes);
    EXPECT_EQ(U32At(smpl, 12), 62u);
    EXPECT_EQ(U32At(smpl, 28), 1u);
    EXPECT_EQ(U32At(smpl, 44), 100u);
    EXPECT_EQ(U32At(smpl, 48), 899u);

    EXPECT_EQ(GigArticulation::TimeCode(0.0), kTimeZero);
    EXPECT_EQ(GigArticulation::TimeCode(1.0), 0);
    EXPECT_EQ(GigArticulation::TimeCode(2.0), static_cast<int32_t>(kTimeUnit));
}

TEST(GigBuilder, SmallBankIsPaddedToTheReadersMinimumSize)
{
    GigBuilder g;
    g.AddSample(GigSample::Tone("S", 1, 16, 44100, 60, 10));
    EXPECT_GE(g.Build().size(), kMinBankBytes);
    g.minFileSize = 0;
    EXPECT_LT(g.Build().size(), kMinBankBytes);
    EXPECT_FALSE(g.BuildTree().Find("JUNK"));
}

TEST(GigBuilder, ExtensionSamplesGoToGx01AndCountAfterTheMainPool)
{
    GigBuilder g;
    GigSample ext = GigSample::Tone("E", 1, 16, 44100, 60, 300);
    ext.file = 1;
    const int e = g.AddSample(ext);                       // added first, pooled second
    const int m = g.AddSample(GigSample::Tone("M", 1, 16, 44100, 60, 300));
    EXPECT_EQ(g.PoolIndex(m), 0);
    EXPECT_EQ(g.PoolIndex(e), 1);
    GigInstrument ins("X");
    ins.regions.push_back(GigRegion::Single(0, 127, e));
    g.AddInstrument(ins);

    const std::vector<GigBuilder::File> files = g.BuildFiles("Bank");
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(files[1].name, "Bank.gx01");
    const Parsed main = ParseFile(files[0].bytes);
    const Parsed* xfil = main.Child("xfil");
    ASSERT_TRUE(xfil);
    EXPECT_EQ(xfil->size, 4u + kXfilEntryBytes);
    EXPECT_EQ(U32At(files[0].bytes, xfil->data), 1u);
    EXPECT_STREQ(reinterpret_cast<const char*>(&files[0].bytes[xfil->data + 4]), "Bank.gx01");
    const Parsed* ptbl = main.Child("ptbl");
    EXPECT_EQ(U32At(files[0].bytes, ptbl->data + 16), 1u);    // second entry: file 1
    EXPECT_EQ(U32At(files[0].bytes, ptbl->data + 20), 0u);    // first wave of that pool
    const Parsed gx = ParseFile(files[1].bytes);
    ASSERT_TRUE(gx.Child("LIST", "wvpl"));
    EXPECT_EQ(gx.Child("LIST", "wvpl")->children.size(), 1u);
    EXPECT_EQ(main.Child("LIST", "wvpl")->children.size(), 1u);
    EXPECT_GE(files[1].bytes.size(), kMinBankBytes);
}

TEST(GigBuilder, CompressedSampleHasEwavWithFrameSizeCountAndTruncatedBits)
{
    GigSample s = GigSample::Tone("C", 2, 24, 44100, 60, 2048, 0.8, 0.2);
    s.compressed = true;
    s.truncatedBits = 4;
    GigBuilder g;
    g.AddSample(s);
    const Bytes ewav = g.BuildTree().Find("ewav")->Data();
    ASSERT_GE(ewav.size(), kEwavTruncStereo + 4);
    EXPECT_EQ(U32At(ewav, 0), 3u);
    EXPECT_EQ(U32At(ewav, 8), kCompressedFrame24);
    EXPECT_EQ(U32At(ewav, 12), GigEncoder::FrameCountField(2048, 2, kCompressedFrame24));
    EXPECT_EQ(U32At(ewav, kEwavTruncStereo), 4u);
}

// ----------------------------------------------------------------- encoder

TEST(GigEncoder, EveryModeRoundTripsThroughTheReferenceDecoder)
{
    struct Case {
        int channels, bits, mode;
        double amplitude;
    };
    const Case cases[] = {
        {1, 16, 0, 30000}, {1, 16, 1, 3000}, {2, 16, 0, 30000}, {2, 16, 1, 3000},
        {1, 24, 2, 8000000}, {1, 24, 3, 2000000}, {1, 24, 4, 300000}, {1, 24, 5, 20000},
        {2, 24, 2, 8000000}, {2, 24, 3, 2000000}, {2, 24, 4, 300000}, {2, 24, 5, 20000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("channels " + std::to_string(c.channels) + " bits " + std::to_string(c.bits) +
                     " mode " + std::to_string(c.mode));
        GigEncoder enc(c.channels, c.bits);
        enc.ForceMode(c.mode);
        const size_t frames = enc.FrameSize() * 3 + 77;  // a partial last frame
        const std::vector<int32_t> in = Smooth(frames, c.channels, c.amplitude, 1.0);
        Bytes data;
        ASSERT_TRUE(enc.Encode(in, data)) << enc.Error();
        ASSERT_EQ(enc.Modes().size(), 4u);
        EXPECT_EQ(enc.Modes()[0][0], c.mode);
        const int modes[2] = {c.mode, c.mode};
        const size_t perFrame = static_cast<size_t>(c.channels) * (1 + GigEncoder::ParamBytes(c.mode)) +
                                GigEncoder::FrameDataBytes(c.channels, c.bits, modes, enc.FrameSize());
        EXPECT_EQ(data.size(), 4 * perFrame);
        EXPECT_EQ(ReferenceDecode(data, c.channels, c.bits, enc.FrameSize(), frames), in);
    }
}

TEST(GigEncoder, AutomaticModesPickTheSmallestThatHoldsEachFrameAndStillRoundTrip)
{
    // Quiet first frame, then a loud noisy one: small modes first, plain after.
    std::vector<int32_t> in = Smooth(256, 2, 500, 1.0);
    uint32_t noise = 1;
    for (int i = 0; i < 512; ++i) {
        noise = noise * 1664525u + 1013904223u;
        in.push_back(static_cast<int32_t>(noise >> 8) - 8388608);
    }
    GigEncoder enc(2, 24);
    Bytes data;
    ASSERT_TRUE(enc.Encode(in, data)) << enc.Error();
    ASSERT_EQ(enc.Modes().size(), 2u);
    EXPECT_EQ(enc.Modes()[0][0], 5);
    EXPECT_EQ(enc.Modes()[1][0], 2);
    EXPECT_EQ(ReferenceDecode(data, 2, 24, 256, 512), in);
}

TEST(GigEncoder, StereoModesFiveAndThreeGiveTheDocumentedFrameLength)
{
    std::vector<int32_t> in = Smooth(2048, 2, 20000, 1.0);
    GigEncoder enc(2, 24, 2048);
    enc.ForceMode(0, 5);
    enc.ForceMode(1, 3);
    Bytes data;
    ASSERT_TRUE(enc.Encode(in, data)) << enc.Error();
    EXPECT_EQ(data.size(), 2u + 12u + 12u + (3u * 2048u * 2u - 1024u * 4u - 1024u * 2u));
    EXPECT_EQ(data[0], 5);
    EXPECT_EQ(data[1], 3);
    EXPECT_EQ(ReferenceDecode(data, 2, 24, 2048, 2048), in);
}

TEST(GigEncoder, RefusesWhatTheFormatCannotHold)
{
    Bytes data;
    GigEncoder loud(1, 16);
    loud.ForceMode(1);
    std::vector<int32_t> jumps(2048, 0);
    jumps[100] = 30000;
    EXPECT_FALSE(loud.Encode(jumps, data));
    EXPECT_FALSE(loud.Error().empty());

    GigEncoder wrongMode(1, 16);
    wrongMode.ForceMode(3);
    EXPECT_FALSE(wrongMode.Encode(std::vector<int32_t>(10, 0), data));

    GigEncoder range(1, 16);
    EXPECT_FALSE(range.Encode({40000}, data));
    GigEncoder odd(2, 16);
    EXPECT_FALSE(odd.Encode({1, 2, 3}, data));
    GigEncoder threeChannels(3, 16);
    EXPECT_FALSE(threeChannels.Encode({1, 2, 3}, data));
    // Mode 4 packs pairs: a short last frame of an odd count cannot be told
    // from one sample longer. Of an even count, it takes 3 bytes a pair.
    GigEncoder pairs(1, 24);
    pairs.ForceMode(4);
    pairs.SetShortLastFrame(true);
    EXPECT_FALSE(pairs.Encode(std::vector<int32_t>(256 + 7, 0), data));
    data.clear();
    ASSERT_TRUE(pairs.Encode(std::vector<int32_t>(256 + 8, 0), data));
    EXPECT_EQ(data.size(), 2 * (1 + 12) + 256 / 2 * 3 + 8 / 2 * 3);

    // The bank writer refuses to write a sample it cannot encode.
    GigBuilder g;
    GigSample s = GigSample::Drum("Loud", 1, 16, 44100, 4096, 0);
    s.compressed = true;
    s.forcedMode = 1;
    g.AddSample(s);
    std::string why;
    EXPECT_FALSE(g.CanEncode(&why));
    EXPECT_NE(why.find("Loud"), std::string::npos);
    kivtest::TempDir dir;
    EXPECT_FALSE(g.Write(dir.File("loud.gig")));
}

TEST(GigEncoder, FrameCountFieldGivesTheReaderTheFrameCount)
{
    // The reader: frames = F x (field, less 2 when above 5) / channels.
    auto readerFrames = [](uint32_t field, int channels, uint32_t F) {
        return F * (field > 5 ? field - 2 : field) / static_cast<uint32_t>(channels);
    };
    for (uint32_t frames : {2048u, 4096u, 6144u, 8192u, 10240u, 20480u})
        for (int channels : {1, 2})
            EXPECT_EQ(readerFrames(GigEncoder::FrameCountField(frames, channels, 2048), channels, 2048), frames);
    EXPECT_EQ(readerFrames(GigEncoder::FrameCountField(1000, 1, 256), 1, 256), 1024u);
}

// -------------------------------------------------- black-box file checkers

namespace {

// Writes a bank and runs gigdump and rifftree on it; returns gigdump's text.
std::string CheckWithGigtools(const GigBuilder& bank, const std::string& path)
{
    EXPECT_TRUE(bank.Write(path));
    std::string out;
    EXPECT_EQ(RunCommand("rifftree '" + path + "'", out), 0) << out;
    EXPECT_FALSE(MentionsTrouble(out)) << out;
    EXPECT_EQ(RunCommand("gigdump '" + path + "'", out), 0) << out;
    EXPECT_FALSE(MentionsTrouble(out)) << out.substr(0, 4000);
    return out;
}

}  // namespace

TEST(GigtoolsCheck, EveryFixtureIsReadWithoutComplaintAndAgreesOnCounts)
{
    if (!HasProgram("gigdump") || !HasProgram("rifftree"))
        GTEST_SKIP() << "gigdump/rifftree (Debian gigtools) not installed";
    kivtest::TempDir dir;
    for (const GigFixture& f : AllFixtures()) {
        SCOPED_TRACE(f.stem);
        const std::string out = CheckWithGigtools(f.bank, dir.File(f.stem + ".gig"));
        EXPECT_NE(out.find("Total instruments: " + std::to_string(f.bank.InstrumentCount())), std::string::npos);
        size_t regions = 0;
        for (int i = 0; i < f.bank.InstrumentCount(); ++i) {
            EXPECT_NE(out.find("\"" + f.bank.Instrument(i).name + "\""), std::string::npos);
            regions += f.bank.Instrument(i).regions.size();
        }
        EXPECT_EQ(Count(out, "        Region "), regions);
        // One line per sample in the sample list, whichever file holds it.
        size_t samples = 0;
        for (int i = 1; i <= f.bank.SampleCount(); ++i)
            samples += out.find("    Sample " + std::to_string(i) + ") \"") != std::string::npos;
        EXPECT_EQ(samples, static_cast<size_t>(f.bank.SampleCount()));
        EXPECT_EQ(out.find("    Sample " + std::to_string(f.bank.SampleCount() + 1) + ") \""), std::string::npos);
    }
}

TEST(GigtoolsCheck, WriterVariantsAreReadWithoutComplaint)
{
    if (!HasProgram("gigdump") || !HasProgram("rifftree"))
        GTEST_SKIP() << "gigdump/rifftree (Debian gigtools) not installed";
    kivtest::TempDir dir;
    // Version 2, every compressed mode forced, odd lengths, many dimensions.
    GigBuilder g;
    g.version = 2;
    const int a = g.AddSample(GigSample::Tone("Odd", 1, 16, 22050, 60, 1001));
    GigInstrument ins("Version Two");
    GigRegion r = GigRegion::Single(0, 127, a);
    r.dims.push_back({kDimVelocity, 1, {}});
    r.dims.push_back({kDimRoundRobin, 1, {}});
    r.dims.push_back({kDimRandom, 1, {}});
    ins.regions.push_back(r);
    g.AddInstrument(ins);
    CheckWithGigtools(g, dir.File("v2.gig"));

    GigBuilder c;
    const struct {
        int channels, bits, mode;
        double level;
    } modes[] = {{1, 16, 0, 0.5}, {2, 16, 1, 0.05}, {1, 24, 2, 0.5}, {2, 24, 3, 0.2},
                 {1, 24, 4, 0.02}, {2, 24, 5, 0.001}};
    for (const auto& m : modes) {
        GigSample s = GigSample::Tone("Mode " + std::to_string(m.mode), m.channels, m.bits, 44100, 40, 3000, 0.5, m.level);
        s.compressed = true;
        s.forcedMode = m.mode;
        GigEncoder probe(m.channels, m.bits);
        probe.ForceMode(m.mode);
        Bytes scratch;
        ASSERT_TRUE(probe.Encode(s.values, scratch)) << "mode " << m.mode << ": " << probe.Error();
        const int h = c.AddSample(s);
        GigInstrument i("Mode " + std::to_string(m.mode));
        i.regions.push_back(GigRegion::Single(0, 127, h, m.channels == 2));
        c.AddInstrument(i);
    }
    const std::string out = CheckWithGigtools(c, dir.File("modes.gig"));
    EXPECT_EQ(Count(out, "Compressed=true"), 6u);
}

TEST(GigFixtures, ProgramWritesEveryBankIntoTheFolder)
{
    // Built next to the tests: <build>/tools/gigfixtures, <build>/tests/test_...
    std::string program;
    if (const char* bin = std::getenv("KIV_TEST_BINARY_DIR")) {
        program = std::string(bin) + "/tools/gigfixtures";
    } else {
        char self[4096] = {};
        const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
        std::string exe(self, n > 0 ? static_cast<size_t>(n) : 0);
        exe = exe.substr(0, exe.find_last_of('/'));
        program = exe.substr(0, exe.find_last_of('/')) + "/tools/gigfixtures";
    }
    struct stat st {};
    if (stat(program.c_str(), &st) != 0)
        GTEST_SKIP() << "gigfixtures not built";
    kivtest::TempDir dir;
    std::string out;
    ASSERT_EQ(RunCommand("'" + program + "' '" + dir.Path() + "/banks'", out), 0) << out;
    for (const GigFixture& f : AllFixtures())
        EXPECT_EQ(stat((dir.Path() + "/banks/" + f.stem + ".gig").c_str(), &st), 0) << f.stem;
    EXPECT_EQ(stat((dir.Path() + "/banks/Extension Bank.gx01").c_str(), &st), 0);
    EXPECT_NE(RunCommand("'" + program + "'", out), 0);
}
