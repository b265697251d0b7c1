// The sample decoder: plain and compressed data round-tripped through the
// test writer's encoder, odd request lengths, and malformed input.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "engine/GigaBank.h"
#include "engine/GigaSampleReader.h"
#include "gig/GigWriter.h"
#include "support/TestSupport.h"

using namespace gigtools;

namespace {

struct Case {
    int channels;
    int bits;
    bool compressed;
    int mode;  // -1: the encoder's choice
    int truncated;
    uint32_t frames = 2048 * 3 + 517;  // long samples run across the decoder's read-ahead
    bool shortLast = false;            // the last compressed frame holds only the sample's frames
};

std::string Describe(const Case& c)
{
    return std::to_string(c.channels) + "ch " + std::to_string(c.bits) + "bit " +
           (c.compressed ? "mode " + std::to_string(c.mode) : std::string("plain")) + " t" + std::to_string(c.truncated) +
           " " + std::to_string(c.frames) + (c.shortLast ? " short last frame" : "");
}

// Decodes the whole sample in requests of varying (odd) lengths.
template <typename T>
void DecodeAll(GigaSampleReader& reader, int64_t frames, std::vector<T>& left, std::vector<T>& right)
{
    left.assign(frames, 0);
    right.assign(frames, 0);
    const int steps[] = {1, 7, 333, 2047, 1, 4096, 3};
    int64_t at = 0;
    for (int i = 0; at < frames; ++i) {
        const int64_t n = std::min<int64_t>(steps[i % 7], frames - at);
        int64_t got;
        if constexpr (std::is_same_v<T, float>)
            got = reader.DecodeFloat(left.data() + at, right.data() + at, n);
        else
            got = reader.Decode16(left.data() + at, right.data() + at, n);
        ASSERT_EQ(got, n) << "at frame " << at;
        at += n;
    }
}

class GigaSampleDecode : public ::testing::TestWithParam<Case> {
protected:
    kivtest::TempDir dir;
};

}  // namespace

TEST_P(GigaSampleDecode, RoundTripsThroughTheWriter)
{
    const Case c = GetParam();
    GigBuilder b;
    // Quiet enough for the forced mode's differences.
    const double levels[] = {0.5, 0.02, 0.5, 0.05, 0.003, 0.0002};
    const double level = c.mode < 0 ? 0.5 : levels[c.mode];
    GigSample s = GigSample::Tone("t", c.channels, c.bits, 44100, 60, c.frames, 1.5, level);
    s.compressed = c.compressed;
    s.forcedMode = c.mode;
    s.truncatedBits = c.truncated;
    s.shortLastFrame = c.shortLast;
    b.AddSample(s);
    GigInstrument ins("i");
    ins.regions.push_back(GigRegion::Single(0, 127, 0));
    b.AddInstrument(ins);
    const std::string path = dir.File("s.gig");
    ASSERT_TRUE(b.Write(path)) << Describe(c);

    GigaBank bank;
    ASSERT_TRUE(bank.Open(path.c_str()));
    ASSERT_TRUE(bank.LoadSampleList());
    const GigaSample& gs = *bank.GetSample(0);
    ASSERT_TRUE(gs.IsUsable()) << Describe(c);
    const int64_t frames = s.Frames();
    ASSERT_GE(gs.frames, frames);

    GigaSampleReader reader;
    ASSERT_TRUE(reader.SetUp(&gs, &gs.file->GetFile(), gs.dataOffset));
    std::vector<int16_t> l16, r16;
    DecodeAll(reader, frames, l16, r16);
    if (c.shortLast) {
        // The header counts whole frames; the short last frame ends the
        // sample at its own length, without a failure.
        int16_t more[4];
        EXPECT_EQ(reader.Decode16(more, more, 4), 0) << Describe(c);
        EXPECT_EQ(reader.GetFramesTotal(), frames) << Describe(c);
        EXPECT_FALSE(reader.HasFailed()) << Describe(c);
    }
    ASSERT_TRUE(reader.SetUp(&gs, &gs.file->GetFile(), gs.dataOffset));
    std::vector<float> lf, rf;
    DecodeAll(reader, frames, lf, rf);

    if (c.channels == 2) {
        // A dropped right channel leaves the left one as it was.
        ASSERT_TRUE(reader.SetUp(&gs, &gs.file->GetFile(), gs.dataOffset));
        std::vector<int16_t> leftOnly(frames, 0);
        ASSERT_EQ(reader.Decode16(leftOnly.data(), nullptr, frames), frames);
        ASSERT_EQ(leftOnly, l16) << Describe(c);
    }

    const int t = c.compressed ? c.truncated : 0;
    const float scale24 = c.compressed ? GigaSampleReader::Scale24(t) : 1.1920930e-07f;
    for (int64_t i = 0; i < frames; ++i) {
        for (int ch = 0; ch < c.channels; ++ch) {
            const int32_t v = s.values[i * c.channels + ch];
            const int16_t got16 = ch == 0 ? l16[i] : r16[i];
            const float gotF = ch == 0 ? lf[i] : rf[i];
            if (c.bits == 16) {
                ASSERT_EQ(got16, v) << Describe(c) << " frame " << i << " ch " << ch;
                ASSERT_FLOAT_EQ(gotF, static_cast<float>(v) * 32769.0f / 1073741824.0f);
            } else {
                ASSERT_EQ(got16, static_cast<int16_t>(v >> 8)) << Describe(c) << " frame " << i << " ch " << ch;
                ASSERT_FLOAT_EQ(gotF, static_cast<float>(v >> t) * scale24) << Describe(c) << " frame " << i;
            }
        }
    }

    // Loaded whole, the sample has its own length, and nothing of it is lost.
    GigaProgram* program = bank.LoadProgram(0, nullptr);
    ASSERT_NE(program, nullptr);
    EXPECT_EQ(gs.frames, c.shortLast || !c.compressed ? frames : gs.frames) << Describe(c);
    EXPECT_FALSE(gs.damaged) << Describe(c);
    EXPECT_EQ(program->unusableSamples, 0) << Describe(c);
    program->Release();
}

INSTANTIATE_TEST_SUITE_P(
    AllFormats, GigaSampleDecode,
    ::testing::Values(Case{1, 16, false, -1, 0}, Case{2, 16, false, -1, 0}, Case{1, 24, false, -1, 0},
                      Case{2, 24, false, -1, 0}, Case{1, 16, true, 0, 0}, Case{2, 16, true, 0, 0},
                      Case{1, 16, true, 1, 0}, Case{2, 16, true, 1, 0}, Case{2, 16, true, -1, 0},
                      Case{1, 24, true, 2, 0}, Case{2, 24, true, 2, 0}, Case{1, 24, true, 3, 0},
                      Case{2, 24, true, 3, 0}, Case{1, 24, true, 4, 0}, Case{2, 24, true, 4, 0},
                      Case{2, 24, true, 4, 3}, Case{1, 24, true, 5, 0}, Case{2, 24, true, 5, 0},
                      Case{2, 24, true, -1, 2}, Case{2, 16, true, -1, 0, 40000},
                      Case{1, 24, true, 2, 0, 40000}, Case{2, 24, true, 4, 1, 60001},
                      // Plain data longer than one read batch.
                      Case{2, 16, false, -1, 0, 40001}, Case{1, 24, false, -1, 0, 40001},
                      Case{2, 24, false, -1, 0, 40001},
                      // A short last frame of 517 (16-bit) or 5 or 6 (24-bit) frames.
                      Case{1, 16, true, 0, 0, 2048 * 3 + 517, true}, Case{2, 16, true, 1, 0, 2048 * 3 + 517, true},
                      Case{2, 16, true, -1, 0, 2048 * 3 + 517, true}, Case{1, 24, true, 2, 0, 6661, true},
                      Case{2, 24, true, 3, 0, 6661, true}, Case{1, 24, true, 4, 0, 6662, true},
                      Case{2, 24, true, 5, 0, 6661, true}, Case{2, 24, true, -1, 2, 6661, true}));

namespace {

// A one-sample file of raw compressed bytes.
struct RawSample {
    explicit RawSample(const std::vector<uint8_t>& bytes, int channels, int bits, int frameSize, int64_t frames)
    {
        path = dir.File("raw.bin");
        EXPECT_TRUE(kivtest::WriteFile(path, bytes.data(), bytes.size()));
        EXPECT_TRUE(file.Open(path.c_str()));
        sample.channels = channels;
        sample.bits = bits;
        sample.frameSize = frameSize;
        sample.frames = frames;
        sample.dataOffset = 0;
        sample.dataSize = static_cast<int64_t>(bytes.size());
    }
    kivtest::TempDir dir;
    std::string path;
    FastFile file;
    GigaSample sample;
};

}  // namespace

TEST(GigaSampleReader, Mode1AppliesSecondDifferences)
{
    // mode 1, y = 100, dy = 0, differences 1, 1.
    RawSample raw({1, 100, 0, 0, 0, 1, 1}, 1, 16, 2, 2);
    GigaSampleReader reader;
    ASSERT_TRUE(reader.SetUp(&raw.sample, &raw.file, 0));
    int16_t out[2];
    ASSERT_EQ(reader.Decode16(out, nullptr, 2), 2);
    EXPECT_EQ(out[0], 101);
    EXPECT_EQ(out[1], 103);
}

TEST(GigaSampleReader, ModesOutsideTheSampleDepthMakeItUnreadable)
{
    for (int mode : {2, 3, 7}) {
        RawSample raw(std::vector<uint8_t>(64, 0), 1, 16, 2, 2);
        raw.sample.dataSize = 64;
        std::vector<uint8_t> bytes(64, 0);
        bytes[0] = static_cast<uint8_t>(mode);
        kivtest::WriteFile(raw.path, bytes.data(), bytes.size());
        GigaSampleReader reader;
        ASSERT_TRUE(reader.SetUp(&raw.sample, &raw.file, 0));
        int16_t out[2];
        EXPECT_EQ(reader.Decode16(out, nullptr, 2), 0) << mode;
        EXPECT_TRUE(reader.HasFailed());
    }
    for (int mode : {0, 1, 6}) {
        std::vector<uint8_t> bytes(64, 0);
        bytes[0] = static_cast<uint8_t>(mode);
        RawSample raw(bytes, 1, 24, 2, 2);
        GigaSampleReader reader;
        ASSERT_TRUE(reader.SetUp(&raw.sample, &raw.file, 0));
        float out[2];
        EXPECT_EQ(reader.DecodeFloat(out, nullptr, 2), 0) << mode;
    }
}

TEST(GigaSampleReader, BadHeadersAreRefusedAndShortDataEndsTheDecode)
{
    GigaSampleReader reader;
    RawSample raw(std::vector<uint8_t>(16, 0), 1, 24, 2, 2);
    raw.sample.truncatedBits = 9;
    EXPECT_FALSE(reader.SetUp(&raw.sample, &raw.file, 0));
    raw.sample.truncatedBits = 0;
    raw.sample.frameSize = 16384;  // past the frame buffer
    EXPECT_FALSE(reader.SetUp(&raw.sample, &raw.file, 0));
    raw.sample.frameSize = 3;  // frames must split in pairs
    EXPECT_FALSE(reader.SetUp(&raw.sample, &raw.file, 0));
    raw.sample.frameSize = 2;
    raw.sample.channels = 3;
    EXPECT_FALSE(reader.SetUp(&raw.sample, &raw.file, 0));

    // A frame whose data the file does not hold (it was cut short), and a
    // short last frame whose data is no whole number of samples.
    std::vector<uint8_t> bytes = {2, 1, 2, 3};
    RawSample cut(bytes, 1, 24, 2048, 2048);
    cut.sample.dataSize = 1 + 3 * 2048;
    ASSERT_TRUE(reader.SetUp(&cut.sample, &cut.file, 0));
    int16_t out[16];
    EXPECT_EQ(reader.Decode16(out, nullptr, 16), 0);
    RawSample uneven({2, 1, 2, 3, 4}, 1, 24, 2048, 2048);
    ASSERT_TRUE(reader.SetUp(&uneven.sample, &uneven.file, 0));
    EXPECT_EQ(reader.Decode16(out, nullptr, 16), 0);
    // A size a writer rounded up to even: one spare byte after two samples.
    RawSample rounded({2, 1, 2, 3, 4, 5, 6, 0}, 1, 24, 2048, 2048);
    ASSERT_TRUE(reader.SetUp(&rounded.sample, &rounded.file, 0));
    EXPECT_EQ(reader.Decode16(out, nullptr, 16), 2);
    EXPECT_EQ(out[1], 0x0605);

    // Plain data that ends before its frame count.
    RawSample plain(std::vector<uint8_t>(10, 1), 1, 16, 0, 100);
    ASSERT_TRUE(reader.SetUp(&plain.sample, &plain.file, 0));
    EXPECT_EQ(reader.Decode16(out, nullptr, 16), 5);
}
