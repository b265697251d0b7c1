// ctest-label: thread
// Fixture instruments loaded through the bank manager into a player and
// played with MIDI: pitch, loops, streaming, releases, the pedal, bends,
// hostile zone values and the real-time rules of the render path.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <limits>
#include <thread>

#include <unistd.h>

#include "GigaVoiceTestRig.h"
#include "engine/GigaBank.h"
#include "engine/GigaProgram.h"
#include "engine/GigaRegion.h"
#include "engine/GigaSample.h"
#include "engine/GigaStream.h"
#include "engine/OvEngine.h"
#include "engine/GigaZone.h"
#include "support/TestSupport.h"
#include "support/XvfbServer.h"

using namespace voicetest;

namespace {

// Normalised correlation of two equally long runs.
double Correlation(const std::vector<double>& a, const std::vector<double>& b)
{
    double ab = 0, aa = 0, bb = 0;
    for (size_t i = 0; i < a.size(); ++i) {
        ab += a[i] * b[i];
        aa += a[i] * a[i];
        bb += b[i] * b[i];
    }
    return (aa > 0 && bb > 0) ? ab / std::sqrt(aa * bb) : 0.0;
}

// Channel 0 of a sample at position p (linear interpolation), looping over
// [loopStart, loopEnd] when given.
double SampleAt(const gigtools::GigSample& s, double p, int64_t loopStart = -1, int64_t loopEnd = -1)
{
    auto at = [&](int64_t i) {
        if (loopStart >= 0 && i > loopEnd)
            i = loopStart + (i - loopStart) % (loopEnd - loopStart + 1);
        return static_cast<double>(s.values[static_cast<size_t>(i) * s.channels]);
    };
    const int64_t k = static_cast<int64_t>(p);
    const double f = p - k;
    return at(k) + (at(k + 1) - at(k)) * f;
}

std::vector<double> Reference(const gigtools::GigSample& s, int from, int count, double ratio,
                              int64_t loopStart = -1, int64_t loopEnd = -1)
{
    std::vector<double> out;
    for (int n = from; n < from + count; ++n)
        out.push_back(SampleAt(s, n * ratio, loopStart, loopEnd));
    return out;
}

std::vector<double> Slice(const std::vector<float>& v, int from, int count)
{
    return std::vector<double>(v.begin() + from, v.begin() + from + count);
}

int ZeroCrossings(const std::vector<float>& v, int from, int count)
{
    int n = 0;
    for (int i = from + 1; i < from + count; ++i)
        if ((v[i - 1] < 0.0f) != (v[i] < 0.0f))
            ++n;
    return n;
}

// One instrument playing one mono 16-bit sample of distinct values, unity 60.
gigtools::GigFixture RampFixture(uint32_t frames, int start = 0)
{
    gigtools::GigFixture f{"Ramp", "distinct values", {}};
    gigtools::GigSample s;
    s.name = "Ramp";
    s.values.resize(frames);
    for (uint32_t i = 0; i < frames; ++i)
        s.values[i] = static_cast<int32_t>((i * 37) % 60000) - 30000;
    const int h = f.bank.AddSample(s);
    gigtools::GigInstrument ins("Ramp");
    ins.regions.push_back(gigtools::GigRegion::Single(0, 127, h));
    ins.regions.back().zones[0].unityNote = 60;
    ins.regions.back().zones[0].art.sampleStart = start;
    f.bank.AddInstrument(ins);
    return f;
}

float Peak(const std::vector<float>& v, int from, int count)
{
    float p = 0.0f;
    for (int i = from; i < from + count && i < static_cast<int>(v.size()); ++i)
        p = std::max(p, std::fabs(v[i]));
    return p;
}

// One region from the root key up five octaves playing one mono sine at the
// root's pitch (level 0.5), `frames` long.
gigtools::GigFixture SineFixture(int root, uint32_t frames)
{
    gigtools::GigFixture f{"Sine", "a sine at its root", {}};
    gigtools::GigSample s;
    s.name = "Sine";
    s.unityNote = root;
    s.values.resize(frames);
    const double hz = 440.0 * std::pow(2.0, (root - 69) / 12.0);
    for (uint32_t i = 0; i < frames; ++i)
        s.values[i] = static_cast<int32_t>(std::lround(16383.0 * std::sin(2.0 * M_PI * hz * i / kRate)));
    const int h = f.bank.AddSample(s);
    gigtools::GigInstrument ins("Sine");
    ins.regions.push_back(gigtools::GigRegion::Single(root, root + 60, h));
    ins.regions.back().zones[0].unityNote = root;
    f.bank.AddInstrument(ins);
    return f;
}

// The frequency of a steady tone from its rising zero crossings, each placed
// between its two frames.
double MeasureHz(const std::vector<float>& v, int from, int count)
{
    double first = -1.0, last = -1.0;
    int cycles = -1;
    for (int i = from + 1; i < from + count; ++i) {
        if (v[i - 1] < 0.0f && v[i] >= 0.0f) {
            const double t = i - 1 + v[i - 1] / static_cast<double>(v[i - 1] - v[i]);
            if (first < 0.0)
                first = t;
            last = t;
            ++cycles;
        }
    }
    return cycles > 0 ? cycles * static_cast<double>(kRate) / (last - first) : 0.0;
}

double Rms(const std::vector<float>& v, int from, int count)
{
    double sum = 0.0;
    for (int i = from; i < from + count; ++i)
        sum += static_cast<double>(v[i]) * v[i];
    return std::sqrt(sum / count);
}

// Frames of a run where the output stops dead: two frames in a row of exact
// silence inside a sounding tone.
int Gaps(const std::vector<float>& v, int from, int count)
{
    int gaps = 0;
    for (int i = from + 1; i < from + count; ++i)
        gaps += v[i] == 0.0f && v[i - 1] == 0.0f;
    return gaps;
}

}  // namespace

TEST(GigaRender, OctaveAboveUnityPlaysTheSampleAtTwiceItsRate)
{
    Rig rig;
    const gigtools::GigFixture pad = gigtools::StereoPadFixture();
    rig.Load(0, rig.Write(pad), 0);
    const gigtools::GigSample& s = pad.bank.Sample(1);  // the pad of note 72

    rig.deck.NoteOn(0, 72, 100, 0);
    const std::vector<float> unity = rig.Capture(0, 20000);
    rig.deck.AllNotesOff(-1);
    rig.Capture(0, 3 * 44100);
    ASSERT_EQ(rig.VoicesInUse(), 0);
    rig.deck.NoteOn(0, 84, 100, 0);
    const std::vector<float> octave = rig.Capture(0, 20000);

    // Past the attack, where the envelope holds still.
    const int from = 13230, count = 4096;
    EXPECT_GT(Correlation(Slice(unity, from, count), Reference(s, from, count, 1.0)), 0.999);
    EXPECT_GT(Correlation(Slice(octave, from, count), Reference(s, from, count, 2.0)), 0.999);
    EXPECT_LT(Correlation(Slice(octave, from, count), Reference(s, from, count, 1.5)), 0.5);
    const double crossings = ZeroCrossings(octave, from, count) / double(ZeroCrossings(unity, from, count));
    EXPECT_NEAR(crossings, 2.0, 0.05);
    EXPECT_GT(Peak(octave, from, count), 0.01f);
}

TEST(GigaRender, LoopedSampleKeepsPlayingFromMemoryAcrossItsLoop)
{
    Rig rig;
    const gigtools::GigFixture pad = gigtools::StereoPadFixture();
    rig.Load(0, rig.Write(pad), 0);
    const gigtools::GigSample& s = pad.bank.Sample(1);
    rig.deck.NoteOn(0, 72, 100, 0);
    // Three seconds of a 1.5 s sample: it wraps twice.
    const std::vector<float> out = rig.Capture(0, 3 * 44100);
    ASSERT_EQ(rig.VoicesInUse(), 1);
    EXPECT_FALSE(rig.Voice(0)->IsStreaming());
    for (int from : {64000, 66150 + 40000, 120000}) {
        EXPECT_GT(Correlation(Slice(out, from, 4096), Reference(s, from, 4096, 1.0, 22050, 66149)), 0.999)
            << "at " << from;
    }
    EXPECT_GT(Peak(out, 120000, 4096), 0.01f);
    rig.deck.NoteOff(0, 72, 0, 0);
    rig.Capture(0, 3 * 44100);
    EXPECT_EQ(rig.VoicesInUse(), 0);  // its release ends it
}

TEST(GigaRender, StreamedSampleJoinsItsMemoryHeadBitExact)
{
    Rig rig;
    const gigtools::GigFixture ramp = RampFixture(44100);
    rig.Load(0, rig.Write(ramp, "Streamed"), 0, 0.2f, 0.2f);  // 8820 frames in memory
    rig.Load(1, rig.Write(ramp, "Whole"), 0);                 // kept whole
    ASSERT_TRUE(rig.Tone(0)->GetPart(0)->GetProgram()->streaming);
    ASSERT_FALSE(rig.Tone(1)->GetPart(0)->GetProgram()->streaming);
    static_assert(giga::kInt16MemoryScale == giga::kInt16StreamScale, "memory and stream scales agree");

    OvEngine::SetOffline(true);  // every stream read waits for its data
    rig.deck.NoteOn(0, 60, 127, 0);
    rig.deck.NoteOn(1, 60, 127, 0);
    rig.Render();
    ASSERT_TRUE(rig.Voice(0)->IsStreaming());
    std::vector<float> streamed, whole;
    for (int block = 0; block < 44100 / kBlock + 2; ++block) {
        rig.Render();
        for (int i = 0; i < kBlock; ++i) {
            streamed.push_back(rig.buses.HasSignal(0) ? rig.buses.GetChannel(0, 0)[i] : 0.0f);
            whole.push_back(rig.buses.HasSignal(1) ? rig.buses.GetChannel(1, 0)[i] : 0.0f);
        }
    }
    OvEngine::SetOffline(false);
    int differing = 0, sounding = 0;
    for (size_t i = 0; i < whole.size(); ++i) {
        differing += streamed[i] != whole[i];
        sounding += whole[i] != 0.0f;
    }
    EXPECT_EQ(differing, 0);
    EXPECT_GT(sounding, 40000);
    EXPECT_EQ(rig.VoicesInUse(), 0);  // both ended at the sample's end
}

// A zone's start offset past the memory head plays from the offset, offline
// and in real time (there the voice may wait silently for its stream, then
// plays the same frames).
TEST(GigaRender, StartOffsetInTheStreamedPartPlaysFromThere)
{
    for (const bool offline : {true, false}) {
        Rig rig;
        const gigtools::GigFixture ramp = RampFixture(44100, 20000);
        rig.Load(0, rig.Write(ramp, "Streamed"), 0, 0.2f, 0.2f);  // 8820 frames in memory
        rig.Load(1, rig.Write(ramp, "Whole"), 0);
        OvEngine::SetOffline(offline);
        rig.deck.NoteOn(0, 60, 127, 0);
        rig.deck.NoteOn(1, 60, 127, 0);
        std::vector<float> streamed, whole;
        for (int block = 0; block < 30000 / kBlock; ++block) {
            rig.Render();
            for (int i = 0; i < kBlock; ++i) {
                streamed.push_back(rig.buses.HasSignal(0) ? rig.buses.GetChannel(0, 0)[i] : 0.0f);
                whole.push_back(rig.buses.HasSignal(1) ? rig.buses.GetChannel(1, 0)[i] : 0.0f);
            }
            if (!offline)
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        OvEngine::SetOffline(false);
        auto first = [](const std::vector<float>& v) {
            size_t i = 0;
            while (i < v.size() && v[i] == 0.0f)
                ++i;
            return i;
        };
        const size_t s0 = first(streamed);
        const size_t w0 = first(whole);
        ASSERT_LT(w0, 8u);
        if (offline) {
            EXPECT_EQ(s0, w0);
        }
        ASSERT_LT(s0, 8192u) << offline;
        int differing = 0;
        for (size_t i = 0; i < 20000; ++i)
            differing += streamed[s0 + i] != whole[w0 + i];
        EXPECT_EQ(differing, 0) << (offline ? "offline" : "real time");
    }
}

TEST(GigaRender, StreamedSamplePlaysToItsEndWhileTheDiskThreadKeepsUp)
{
    Rig rig;
    const gigtools::GigFixture ramp = RampFixture(44100);
    rig.Load(0, rig.Write(ramp), 0, 0.5f, 0.5f);
    rig.deck.NoteOn(0, 60, 127, 0);
    int sounding = 0;
    for (int block = 0; block < 100 && (block == 0 || rig.VoicesInUse() > 0); ++block) {
        rig.Render();
        for (int i = 0; i < kBlock; ++i)
            sounding += rig.buses.HasSignal(0) && rig.buses.GetChannel(0, 0)[i] != 0.0f;
        std::this_thread::sleep_for(std::chrono::milliseconds(3));
    }
    EXPECT_GT(sounding, 43000);
    EXPECT_EQ(rig.VoicesInUse(), 0);
}

TEST(GigaRender, StreamNotAttachedInTimeEndsTheVoiceAtItsMemoryEnd)
{
    Rig rig;
    const gigtools::GigFixture ramp = RampFixture(44100);
    rig.Load(0, rig.Write(ramp), 0, 0.2f, 0.2f);
    rig.disk.RemoveUser();  // the disk thread stops: no stream ever comes
    rig.deck.NoteOn(0, 60, 127, 0);
    for (int block = 0; block < 40; ++block)
        rig.Render();
    EXPECT_EQ(rig.VoicesInUse(), 0);
    rig.disk.AddUser();
}

TEST(GigaRender, OfflineStreamThatCannotBeReadEndsItsVoiceWithoutWaiting)
{
    Rig rig;
    const std::string cut = rig.Write(RampFixture(44100), "Cut");
    rig.Load(0, cut, 0, 0.2f, 0.2f);  // 8820 frames in memory, the rest streamed
    GigaSample* sample = rig.Tone(0)->GetPart(0)->GetProgram()->GetRegion(0)->GetZone(0)->GetSample();
    ASSERT_TRUE(sample->IsStreamed());
    // The data ends soon after the memory head: the stream starts, and its
    // decoding fails.
    ASSERT_EQ(truncate(cut.c_str(), sample->streamOffset + 64), 0);

    const int64_t giveUps = OvEngine::GetOfflineGiveUps();
    OvEngine::SetOffline(true);
    rig.deck.NoteOn(0, 60, 127, 0);
    int frames = 0;
    for (int block = 0; block < 44100 / kBlock + 8 && (block == 0 || rig.VoicesInUse() > 0); ++block) {
        rig.Render();
        frames += kBlock;
    }
    OvEngine::SetOffline(false);
    EXPECT_EQ(rig.VoicesInUse(), 0);
    EXPECT_LT(frames, 8820 + 4 * kBlock);  // it ended where its readable data ends
    // No wait ran its whole bound for data that could not come.
    EXPECT_EQ(OvEngine::GetOfflineGiveUps(), giveUps);
}

// Every key of a region from its root up five octaves sounds its own pitch,
// at the level of the root, without gaps: from memory, and streamed after a
// short memory head.
TEST(GigaRender, EveryKeyUpToFiveOctavesAboveTheRootSoundsItsPitch)
{
    constexpr int kRoot = 36;
    const gigtools::GigFixture sine = SineFixture(kRoot, 5 * 44100);
    const double rootHz = 440.0 * std::pow(2.0, (kRoot - 69) / 12.0);
    // Past a 0.05 s memory head even at the root's pitch.
    constexpr int kFrom = 2560, kCount = 4096;
    for (const bool streamed : {false, true}) {
        Rig rig;
        const float seconds = streamed ? 0.05f : 10.0f;
        rig.Load(0, rig.Write(sine), 0, seconds, seconds);
        ASSERT_EQ(rig.Tone(0)->GetPart(0)->GetProgram()->streaming, streamed);
        OvEngine::SetOffline(streamed);  // every stream read waits for its data
        double rootRms = 0.0;
        for (int key = kRoot; key <= kRoot + 60; ++key) {
            const std::string what = (streamed ? "streamed key " : "key ") + std::to_string(key);
            rig.deck.NoteOn(0, key, 100, 0);
            const std::vector<float> out = rig.Capture(0, kFrom + kCount);
            ASSERT_EQ(rig.VoicesInUse(), 1) << what;
            EXPECT_EQ(rig.Voice(0)->GetStream() != nullptr, streamed) << what;
            const double want = rootHz * std::pow(2.0, (key - kRoot) / 12.0);
            EXPECT_NEAR(MeasureHz(out, kFrom, kCount) / want, 1.0, 0.001) << what;  // under 2 cents
            const double rms = Rms(out, kFrom, kCount);
            if (key == kRoot)
                rootRms = rms;
            EXPECT_GT(rms, 0.01) << what;
            EXPECT_NEAR(rms / rootRms, 1.0, 0.03) << what;  // windows of a part cycle more or less
            EXPECT_EQ(Gaps(out, kFrom, kCount), 0) << what;
            rig.deck.AllNotesOff(-1);
            for (int block = 0; block < 200 && rig.VoicesInUse() > 0; ++block)
                rig.Render();
            ASSERT_EQ(rig.VoicesInUse(), 0) << what;
        }
        OvEngine::SetOffline(false);
    }
}

// Five octaves up a streamed sample is read 32 times as fast as it plays. In
// real time, with the disk thread keeping up between blocks as it does in a
// host, the stream holds a whole block's read: the note plays to the
// sample's end at its pitch, without a gap, and the audio thread allocates
// nothing for it. With blocks so long that the first one would read past
// the memory head, the note waits a block for its stream instead of ending.
TEST(GigaRender, StreamedSampleFiveOctavesUpPlaysToItsEndInRealTime)
{
    constexpr int kRoot = 36;
    constexpr uint32_t kFrames = 5 * 44100;
    for (const int block : {kBlock, 4096}) {
        Rig rig;
        rig.buses.Resize(16, 2, block);
        rig.Load(0, rig.Write(SineFixture(kRoot, kFrames)), 0);  // 1 s in memory, the rest streamed
        ASSERT_TRUE(rig.Tone(0)->GetPart(0)->GetProgram()->streaming);
        // A block's read at 32 times the speed and the interpolation's guard,
        // with room for the ratio's rounding: the voice starts once its ring
        // holds what it reckons a block reads.
        const int64_t blockRead = 32 * static_cast<int64_t>(block) + 16;
        // Ready for the next block: still in its memory head and not yet
        // offered, or its stream holds a block's read (or all that is left).
        auto ready = [&] {
            GigaVoice* v = rig.Voice(0);
            if (!v)
                return true;
            const GigaStream* stream = v->GetStream();
            if (!stream)
                return !v->IsWaiting();
            return stream->IsDrained() || stream->BytesQueued() >= blockRead * static_cast<int>(sizeof(float));
        };
        std::vector<float> out;
        out.reserve(kFrames / 32 + 8 * block);
        long allocations = 0;
        rig.deck.NoteOn(0, kRoot + 60, 100, 0);
        for (int b = 0; b < 60 && (b == 0 || rig.VoicesInUse() > 0); ++b) {
            ASSERT_TRUE(kivtest::WaitFor(10000, ready)) << "block " << b;
            kivtest::AllocCounter counter;
            rig.Render(block);
            const float* data = rig.buses.GetChannel(0, 0);
            for (int i = 0; i < block; ++i)
                out.push_back(rig.buses.HasSignal(0) ? data[i] : 0.0f);
            allocations += counter.Count();
        }
        EXPECT_EQ(rig.VoicesInUse(), 0) << block;
        EXPECT_EQ(allocations, 0) << block;
        int first = 0;
        while (first + 1 < static_cast<int>(out.size()) && out[static_cast<size_t>(first) + 1] == 0.0f)
            ++first;
        int last = static_cast<int>(out.size()) - 1;
        while (last > first && out[static_cast<size_t>(last)] == 0.0f)
            --last;
        EXPECT_LE(first, block) << block;
        // The sample's 220500 frames last 6890.6 output frames.
        EXPECT_NEAR(last - first, kFrames / 32.0, 2.0) << block;
        EXPECT_EQ(Gaps(out, first + 1, last - first - 1), 0) << block;
        const double want = 440.0 * std::pow(2.0, (kRoot + 60 - 69) / 12.0);
        EXPECT_NEAR(MeasureHz(out, first, last - first) / want, 1.0, 0.001) << block;
    }
}

// A compressed sample whose data chunk has an odd byte count plays to its
// last frame and no further (its pad byte is no sample), from memory and
// streamed: the voice's output follows the sample and its last frame only
// closes the interpolation.
TEST(GigaRender, CompressedSampleInAnOddDataChunkPlaysToItsLastFrameOnly)
{
    struct Kind {
        int channels, bits, left, right;
    };
    const Kind kinds[] = {{1, 16, 1, 1}, {2, 16, 0, 1}, {1, 24, 5, 5}, {2, 24, 3, 5}};
    constexpr uint32_t kFrames = 7001;
    gigtools::GigFixture f{"Odd", "odd data chunks", {}};
    for (const Kind& k : kinds) {
        gigtools::GigSample s = gigtools::GigSample::Tone("Odd", k.channels, k.bits, 44100, 60, kFrames, 1.5,
                                                          k.bits == 16 ? 0.05 : 0.0002);
        s.compressed = true;
        s.shortLastFrame = true;
        s.forcedMode = k.left;
        s.forcedModeRight = k.right;
        const int h = f.bank.AddSample(s);
        gigtools::GigInstrument ins("Odd");
        ins.regions.push_back(gigtools::GigRegion::Single(0, 127, h, k.channels == 2));
        ins.regions.back().zones[0].unityNote = 60;
        f.bank.AddInstrument(ins);
    }
    for (const bool streamed : {false, true}) {
        Rig rig;
        const std::string path = rig.Write(f);
        OvEngine::SetOffline(streamed);
        for (int i = 0; i < static_cast<int>(std::size(kinds)); ++i) {
            const std::string what = (streamed ? "streamed " : "") + std::to_string(kinds[i].channels) + "ch " +
                                     std::to_string(kinds[i].bits) + "bit";
            const float seconds = streamed ? 0.05f : 10.0f;
            GigaPart* part = rig.Load(i, path, i, seconds, seconds);
            const GigaSample* sample = part->GetProgram()->GetRegion(0)->GetZone(0)->GetSample();
            ASSERT_EQ(sample->dataSize % 2, 1) << what;
            ASSERT_EQ(sample->IsStreamed(), streamed) << what;
            rig.deck.NoteOn(i, 60, 127, 0);
            const std::vector<float> out = rig.Capture(i, 8192);
            EXPECT_EQ(rig.VoicesInUse(), 0) << what;
            const gigtools::GigSample& s = f.bank.Sample(i);
            // The gain past the attack, from the loudest frame.
            int peak = 1000;
            for (int n = 1000; n < static_cast<int>(kFrames) - 1; ++n)
                if (std::fabs(s.values[static_cast<size_t>(n) * s.channels]) >
                    std::fabs(s.values[static_cast<size_t>(peak) * s.channels]))
                    peak = n;
            const double gain = out[static_cast<size_t>(peak)] / s.values[static_cast<size_t>(peak) * s.channels];
            const double full = kinds[i].bits == 16 ? 32767.0 : 8388607.0;
            int differing = 0;
            for (int n = 1000; n < static_cast<int>(kFrames) - 1; ++n)
                differing += std::fabs(out[static_cast<size_t>(n)] - gain * s.values[static_cast<size_t>(n) * s.channels]) >
                             1e-3 * gain * full;
            EXPECT_EQ(differing, 0) << what;
            EXPECT_NE(out[kFrames - 2], 0.0f) << what;
            for (size_t n = kFrames - 1; n < out.size(); ++n)
                ASSERT_EQ(out[n], 0.0f) << what << " frame " << n;
        }
        OvEngine::SetOffline(false);
    }
}

TEST(GigaRender, ReleaseSustainPedalAndEnvelopeEndVoices)
{
    Rig rig;
    rig.Load(0, rig.Write(gigtools::StereoPadFixture()), 0);
    rig.deck.Controller(0, 64, 127, 0);
    rig.deck.NoteOn(0, 72, 100, 0);
    rig.Capture(0, 4096);
    rig.deck.NoteOff(0, 72, 0, 0);
    rig.Capture(0, 3 * 44100);
    EXPECT_EQ(rig.VoicesInUse(), 1);  // held by the pedal, its loop never ends
    EXPECT_EQ(rig.Voice(0)->GetState(), kOvVoiceSustained);
    rig.deck.Controller(0, 64, 0, 0);
    rig.Capture(0, 44100);  // the pad's release is 1.5 s
    EXPECT_EQ(rig.VoicesInUse(), 1);
    rig.Capture(0, 2 * 44100);
    EXPECT_EQ(rig.VoicesInUse(), 0);
}

TEST(GigaRender, PitchBendFollowsThePartsBendRange)
{
    Rig rig;
    const gigtools::GigFixture pad = gigtools::StereoPadFixture();
    GigaPart* part = rig.Load(0, rig.Write(pad), 0);
    ASSERT_EQ(part->bend, 2);  // the instrument's range
    rig.deck.NoteOn(0, 72, 100, 0);
    rig.Render();
    EXPECT_DOUBLE_EQ(rig.Voice(0)->GetRatio(), std::pow(1.059463094359, 0.0));
    rig.deck.PitchBend(0, 0, 0x7F, 0);  // 16256 - 8192 = +8064
    rig.Render();
    EXPECT_NEAR(rig.Voice(0)->GetRatio(), std::pow(1.059463094359, 8064.0 * 2 / 8192), 1e-9);
    rig.deck.PitchBend(0, 0, 0x40, 0);  // centre
    rig.Render();
    EXPECT_NEAR(rig.Voice(0)->GetRatio(), 1.0, 1e-12);
}

TEST(GigaRender, SampleEndStopsTheVoiceWithoutReadingPastIt)
{
    Rig rig;
    rig.Load(0, rig.Write(RampFixture(300)), 0);  // 300 frames, played 5 octaves up: capped
    rig.Tone(0)->SetCoarseTune(60);
    rig.deck.NoteOn(0, 60, 127, 0);
    rig.Render(64);
    EXPECT_EQ(rig.VoicesInUse(), 0);
    rig.Tone(0)->SetCoarseTune(0);
    rig.deck.NoteOn(0, 60, 127, 0);
    const std::vector<float> out = rig.Capture(0, 1024);
    EXPECT_EQ(rig.VoicesInUse(), 0);
    int sounding = 0;
    for (float v : out)
        sounding += v != 0.0f;
    EXPECT_GE(sounding, 290);
    EXPECT_LE(sounding, 299);  // the last frame only closes the interpolation
}

TEST(GigaRender, HostileZoneAndPartValuesRenderFiniteBoundedAudio)
{
    Rig rig;
    GigaPart* part = rig.Load(0, rig.Write(gigtools::DemoPianoFixture()), 0);
    GigaProgram* program = part->GetProgram();
    for (int r = 0; r < program->GetRegionCount(); ++r) {
        GigaRegion* region = program->GetRegion(r);
        for (int z = 0; z < region->GetZoneCount(); ++z) {
            GigaZone* zone = region->GetZone(z);
            zone->m_gain = std::numeric_limits<float>::quiet_NaN();
            zone->velocityDepth = std::numeric_limits<float>::infinity();
            zone->velocityScale = -5.0f;
            zone->fineTune = 32767;
            zone->sampleStart = 1 << 30;
            zone->filterOn = true;
            zone->filterCutoff = std::numeric_limits<float>::quiet_NaN();
            zone->attenuationController = 1;
            zone->attenuationThreshold = 1000;
            zone->pan = -500;
        }
    }
    part->level = 1 << 30;
    part->tuning = -2000000000;
    part->bend = 1 << 20;
    part->ampSettings[GigaPart::kVelocity] = std::numeric_limits<float>::quiet_NaN();
    part->filterSettings[GigaPart::kLevel] = 1e30f;
    for (int key : {30, 60, 90})
        rig.deck.NoteOn(0, key, 100, 0);
    rig.deck.PitchBend(0, 127, 127, 0);
    const std::vector<float> left = rig.Capture(0, 8192);
    for (float v : left) {
        ASSERT_TRUE(std::isfinite(v));
        ASSERT_LE(std::fabs(v), 4.0f);
    }
    for (OvVoice* v = rig.Tone(0)->GetVoices().Head(); v; v = v->GetNext()) {
        const double ratio = static_cast<GigaVoice*>(v)->GetRatio();
        EXPECT_TRUE(ratio >= 1.0 / 1024.0 && ratio <= 64.0) << ratio;
    }
}

TEST(GigaRender, SixtyFourVoicesWithStreamsRenderWithoutAllocating)
{
    Rig rig;
    rig.Load(0, rig.Write(gigtools::DemoPianoFixture()), 0);
    rig.Load(1, rig.Write(RampFixture(88200)), 0, 0.2f, 0.2f);
    gigtools::GigFixture pad = gigtools::StereoPadFixture();
    for (auto& region : pad.bank.Instrument(0).regions)
        for (auto& zone : region.zones) {
            zone.art.filterOn = true;  // the filter's stages too
            zone.art.cutoff = 80;
        }
    rig.Load(2, rig.Write(pad), 0);
    long allocations = 0;
    int streaming = 0;
    int voices = 0;
    {
        kivtest::AllocCounter counter;
        for (int k = 0; k < 40; ++k)
            rig.deck.NoteOn(0, 30 + k, 40 + k, 0);
        for (int k = 0; k < 16; ++k)
            rig.deck.NoteOn(1, 40 + k, 100, 0);
        for (int k = 0; k < 12; ++k)
            rig.deck.NoteOn(2, 50 + k * 2, 90, 0);
        for (int block = 0; block < 60; ++block) {
            rig.Render();
            if (block == 30) {
                voices = rig.VoicesInUse();
                for (OvVoice* v = rig.Tone(1)->GetVoices().Head(); v; v = v->GetNext())
                    streaming += static_cast<GigaVoice*>(v)->GetStream() != nullptr;
                rig.deck.AllNotesOff(-1);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        allocations = counter.Count();
    }
    EXPECT_EQ(allocations, 0);
    EXPECT_GE(voices, 64);
    EXPECT_GT(streaming, 0);
}

// A phrase of filtered stereo pad notes and mono piano notes (ending samples,
// bends, releases, odd block sizes), rendered and summarised per window of
// both channels: the energy and the projection on a fixed waveform. The
// figures were taken from the per-sample renderer the staged one replaced;
// the bounds are what an error 90 dB below each window's signal can change.
TEST(GigaRender, PhraseRendersWithinNinetyDecibelsOfThePerSampleRenderer)
{
    struct Window {
        double energy[2];
        double projection[2];
    };
    static const Window kReference[] = {
#include "PhraseReference.inc"
    };
    Rig rig;
    gigtools::GigFixture pad = gigtools::StereoPadFixture();
    for (auto& region : pad.bank.Instrument(0).regions)
        for (auto& zone : region.zones) {
            zone.art.filterOn = true;
            zone.art.cutoff = 80;
        }
    rig.Load(0, rig.Write(pad), 0);
    // The figures were taken with the demo piano's first samples: the same
    // tones cut off after 30000 frames, ending where they stop dead.
    gigtools::GigFixture piano = gigtools::DemoPianoFixture();
    for (int h = 0; h < piano.bank.SampleCount(); ++h)
        piano.bank.Sample(h).values.resize(30000);
    rig.Load(1, rig.Write(piano), 0);
    constexpr int kWindow = 4096;
    constexpr int kWindows = 24;
    std::vector<float> out[2];
    const int blocks[] = {512, 300, 77, 512, 1};
    for (int b = 0; static_cast<int>(out[0].size()) < kWindow * kWindows; ++b) {
        switch (b) {
        case 0: rig.deck.NoteOn(0, 72, 100, 0); rig.deck.NoteOn(1, 60, 90, 0); break;
        case 20: rig.deck.NoteOn(0, 79, 70, 0); rig.deck.NoteOn(1, 50, 30, 0); break;
        case 40: rig.deck.PitchBend(0, 0, 0x60, 0); rig.deck.NoteOn(1, 85, 127, 0); break;
        case 60: rig.deck.NoteOff(0, 72, 0, 0); rig.deck.NoteOn(0, 55, 110, 0); break;
        case 80: rig.deck.PitchBend(0, 0, 0x30, 0); rig.deck.NoteOff(1, 60, 0, 0); break;
        case 110: rig.deck.NoteOff(0, 79, 0, 0); rig.deck.NoteOff(0, 55, 0, 0); break;
        default: break;
        }
        const int n = blocks[b % 5];
        rig.Render(n);
        for (int ch = 0; ch < 2; ++ch)
            for (int i = 0; i < n; ++i) {
                float v = 0.0f;
                for (int bus = 0; bus < rig.buses.GetBusCount(); ++bus)
                    if (rig.buses.HasSignal(bus))
                        v += rig.buses.GetChannel(bus, ch)[i];
                out[ch].push_back(v);
            }
    }
    const bool print = std::getenv("KIV_PRINT_PHRASE") != nullptr;
    for (int w = 0; w < kWindows; ++w) {
        Window got{};
        double weights = 0.0;
        for (int i = 0; i < kWindow; ++i) {
            const double wave = std::sin(i * 0.0123 + 0.001 * i * i / kWindow);
            weights += wave * wave;
            for (int ch = 0; ch < 2; ++ch) {
                const double x = out[ch][w * kWindow + i];
                got.energy[ch] += x * x;
                got.projection[ch] += x * wave;
            }
        }
        if (print) {
            std::printf("{{%.17g, %.17g}, {%.17g, %.17g}},\n", got.energy[0], got.energy[1],
                        got.projection[0], got.projection[1]);
            continue;
        }
        ASSERT_LT(w, static_cast<int>(std::size(kReference)));
        const double bound = std::pow(10.0, -90.0 / 20.0);
        for (int ch = 0; ch < 2; ++ch) {
            const Window& want = kReference[w];
            const double level = std::sqrt(want.energy[ch]);
            EXPECT_NEAR(got.energy[ch], want.energy[ch], 2.0 * bound * want.energy[ch] + 1e-12)
                << "window " << w << " channel " << ch;
            EXPECT_NEAR(got.projection[ch], want.projection[ch], bound * level * std::sqrt(weights) + 1e-12)
                << "window " << w << " channel " << ch;
        }
    }
}

// A program of many compressed samples (mono and stereo, 16 and 24 bits, one
// streamed) decodes to the same memory on one thread and on the pool, the
// second while another tone renders on an audio thread of its own and
// another player loads the same file on a loader thread of its own.
TEST(GigaRender, CompressedProgramDecodesTheSameOnOneThreadAndOnThePool)
{
    gigtools::GigFixture f{"Many Compressed", "compressed samples", {}};
    gigtools::GigInstrument ins("Many");
    for (int k = 0; k < 12; ++k) {
        const int channels = 1 + k % 2;
        const int bits = k % 4 < 2 ? 16 : 24;
        const uint32_t frames = k == 11 ? 4 * 44100 : 6144 + 2048 * k;  // the last one streams
        gigtools::GigSample s = gigtools::GigSample::Tone(kivtest::Numbered("C", k), channels, bits, 44100,
                                                          40 + 4 * k, frames, 0.8, 0.3);
        s.compressed = true;
        ins.regions.push_back(gigtools::GigRegion::Single(40 + 4 * k, 43 + 4 * k, f.bank.AddSample(s), channels == 2));
    }
    f.bank.AddInstrument(ins);

    struct Head {
        std::vector<int16_t> data;
        bool damaged;
        int64_t streamOffset;
    };
    auto heads = [](GigaPart* part) {
        std::vector<Head> out;
        GigaProgram* program = part->GetProgram();
        for (int i = 0; i < program->GetRegionCount(); ++i) {
            const GigaSample* s = program->GetRegion(i)->GetZone(0)->GetSample();
            Head h{{}, s->damaged, s->streamOffset};
            const int64_t n = s->framesInMemory;
            h.data.assign(s->GetLeft(), s->GetLeft() + n);
            if (s->GetRight())
                h.data.insert(h.data.end(), s->GetRight(), s->GetRight() + n);
            out.push_back(std::move(h));
        }
        return out;
    };

    Rig one;
    GigaBank::SetDecodeThreads(1);
    const std::string path = one.Write(f);
    const std::vector<Head> want = heads(one.Load(0, path, 0, 1.0f, 1.0f));

    Rig pool;
    pool.Load(0, pool.Write(gigtools::StereoPadFixture()), 0);
    pool.deck.NoteOn(0, 72, 100, 0);
    std::atomic<bool> stop{false};
    std::thread audio([&] {
        while (!stop.load())
            pool.Render();
    });
    GigaBank::SetDecodeThreads(4);
    GigaHooks::SetPreloadSeconds(1.0f, 1.0f);
    // A second player loads the same file meanwhile: one load has the pool,
    // the other decodes on its own thread or after it.
    Rig other;
    GigaPart* otherPart = other.Tone(0)->AddPart(path.c_str(), 0);
    other.manager.QueuePlayer(&other.deck);
    std::thread otherLoader([&] { other.manager.RunNow(false); });
    GigaPart* part = pool.Tone(1)->AddPart(path.c_str(), 0);
    pool.manager.QueuePlayer(&pool.deck);
    pool.manager.RunNow(false);
    otherLoader.join();
    stop = true;
    audio.join();
    GigaBank::SetDecodeThreads(0);
    const std::vector<Head> got = heads(part);
    const std::vector<Head> otherGot = heads(otherPart);
    ASSERT_EQ(otherGot.size(), want.size());
    for (size_t i = 0; i < want.size(); ++i)
        EXPECT_TRUE(otherGot[i].data == want[i].data && !otherGot[i].damaged) << i;

    ASSERT_EQ(got.size(), want.size());
    ASSERT_EQ(want.size(), 12u);
    EXPECT_GT(want.back().streamOffset, 0);
    for (size_t i = 0; i < want.size(); ++i) {
        EXPECT_FALSE(got[i].damaged) << i;
        EXPECT_EQ(got[i].damaged, want[i].damaged) << i;
        EXPECT_EQ(got[i].streamOffset, want[i].streamOffset) << i;
        EXPECT_TRUE(got[i].data == want[i].data) << i;
    }

    // The pool's decoders run out of memory for their readers: the loader
    // decodes what they left with its own, to the same bytes.
    Rig starved;
    std::vector<Head> starvedGot;
    long refused = 0;
    {
        GigaBank::SetDecodeThreads(4);
        kivtest::OthersOutOfMemory outOfMemory(65536);
        starvedGot = heads(starved.Load(0, path, 0, 1.0f, 1.0f));
        refused = outOfMemory.Refused();
        GigaBank::SetDecodeThreads(0);
    }
    EXPECT_GT(refused, 0);
    ASSERT_EQ(starvedGot.size(), want.size());
    for (size_t i = 0; i < want.size(); ++i)
        EXPECT_TRUE(starvedGot[i].data == want[i].data && !starvedGot[i].damaged) << i;
}
