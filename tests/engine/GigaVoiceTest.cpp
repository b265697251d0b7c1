// GigaVoice's note-on arithmetic: velocity curves, crossfade, filter
// coefficients, level, pan, pitch and the stream hand-over threshold.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "GigaVoiceTestRig.h"
#include "engine/GigaSample.h"
#include "engine/GigaVoiceStages.h"
#include "engine/GigaVoiceWide.h"
#include "engine/GigaZone.h"

using namespace voicetest;

TEST(GigaVoice, VelocityCurveKeepsTheTellingRowsAndCapsAtOne)
{
    // Full scale, curve 1, depth 0 (depth index 4): 1 everywhere.
    for (int v : {1, 40, 127})
        EXPECT_FLOAT_EQ(GigaVoice::VelocityCurve(1, 1.0f, 0.0f, v), 1.0f);
    // Full scale, curve 0, depth 1: from 0.0527 up, capped at 1.
    EXPECT_NEAR(GigaVoice::VelocityCurve(0, 1.0f, 1.0f, 1), 0.0527f, 1e-4);
    EXPECT_FLOAT_EQ(GigaVoice::VelocityCurve(0, 1.0f, 1.0f, 127), 1.0f);
    // Zero scale, curve 0, depth 1: flat near 0.014 to step 24, 1 at the top.
    EXPECT_NEAR(GigaVoice::VelocityCurve(0, 0.0f, 1.0f, 1), 0.014f, 1e-4);
    EXPECT_NEAR(GigaVoice::VelocityCurve(0, 0.0f, 1.0f, 73), 0.014f, 1e-4);
    EXPECT_NEAR(GigaVoice::VelocityCurve(0, 0.0f, 1.0f, 127), 1.0f, 1e-6);
    // Between steps: a quarter of the way per velocity.
    const float a = GigaVoice::VelocityCurve(1, 0.5f, 1.0f, 4);
    const float b = GigaVoice::VelocityCurve(1, 0.5f, 1.0f, 7);
    EXPECT_NEAR(GigaVoice::VelocityCurve(1, 0.5f, 1.0f, 5), 0.75f * a + 0.25f * b, 1e-6);
    // A scale above 1 is softened below velocity 34.
    EXPECT_NEAR(GigaVoice::VelocityCurve(1, 2.0f, 1.0f, 4),
                std::min(1.0f, GigaVoice::VelocityCurve(1, 1.0f, 1.0f, 4) * 2.0f * (1.0f - 30.0f / 120.0f)),
                1e-6);
    // Hostile arguments stay within 0..1.
    const float nan = std::numeric_limits<float>::quiet_NaN();
    for (float v : {GigaVoice::VelocityCurve(7, nan, nan, 0), GigaVoice::VelocityCurve(-3, -9.0f, 40.0f, 500)}) {
        EXPECT_TRUE(std::isfinite(v));
        EXPECT_GE(v, 0.0f);
        EXPECT_LE(v, 1.0f);
    }
}

TEST(GigaVoice, CrossfadeFollowsTheCosineShape)
{
    EXPECT_NEAR(GigaVoice::CrossfadeGain(127, false), 0.9994f, 1e-4);
    EXPECT_NEAR(GigaVoice::CrossfadeGain(0, false), 0.0f, 1e-3);
    EXPECT_NEAR(GigaVoice::CrossfadeGain(0, true), 0.9994f, 1e-4);
    EXPECT_NEAR(GigaVoice::CrossfadeGain(64, false), std::cos(64.0 / 127 * M_PI / 2 - M_PI / 2), 2e-3);
    EXPECT_EQ(GigaVoice::CrossfadeGain(-50, false), GigaVoice::CrossfadeGain(0, false));
}

TEST(GigaVoice, FilterCoefficientsAndTheirLowerBound)
{
    float c[5] = {9, 9, 9, 9, 9};
    EXPECT_FALSE(GigaVoice::FilterCoefficients(0.0004f, c));
    EXPECT_FALSE(GigaVoice::FilterCoefficients(std::numeric_limits<float>::quiet_NaN(), c));
    EXPECT_EQ(c[0], 9.0f);
    ASSERT_TRUE(GigaVoice::FilterCoefficients(0.5f, c));
    const float a = std::pow(0.5f, 1.5f) * 0.55f + 0.005f;
    const float g = std::pow(a, 1.8f);
    EXPECT_FLOAT_EQ(c[0], g);
    EXPECT_FLOAT_EQ(c[1], 2 * g);
    EXPECT_FLOAT_EQ(c[2], g);
    EXPECT_FLOAT_EQ(c[3], 4 * a - 2);
    EXPECT_FLOAT_EQ(c[4], std::pow(std::fabs(1 - 2 * a), 2.4f) * 0.8284f + 0.1716f);
    ASSERT_TRUE(GigaVoice::FilterCoefficients(50.0f, c));  // a stops at 0.6
    EXPECT_FLOAT_EQ(c[3], 4 * 0.6f - 2);
}

TEST(GigaVoice, StartWorksOutLevelPanPitchAndStreaming)
{
    Rig rig;
    GigaPart* part = rig.Load(0, rig.Write(gigtools::DemoPianoFixture()), 0);
    GigaTone* tone = rig.Tone(0);
    GigaRegion* region = part->GetProgram()->GetRegionForKey(60);
    GigaZone* zone = region->GetZone(3);
    GigaVoice voice;

    voice.Setup(60, 127, 0, zone, tone, part);
    const float curve = GigaVoice::VelocityCurve(zone->velocityCurve, zone->velocityScale, zone->velocityDepth, 127);
    EXPECT_FLOAT_EQ(voice.GetAmplitude(), curve * zone->m_gain * 0.8f);
    EXPECT_EQ(voice.GetPanPosition(), 0);
    EXPECT_DOUBLE_EQ(voice.GetRatio(), 1.0);  // key 60 is the zone's unity note
    EXPECT_FALSE(voice.IsStreaming());

    // Pan: tone 64 + zone 64 + part 127 - 192 = 63: the left falls away.
    part->pan = 127;
    voice.Setup(60, 127, 0, zone, tone, part);
    EXPECT_EQ(voice.GetPanPosition(), 63);
    EXPECT_FLOAT_EQ(voice.GetLeftGain(), 1.0f / 64.0f);
    EXPECT_FLOAT_EQ(voice.GetRightGain(), 1.0f);
    part->pan = 64;

    // Pitch: a semitone up with the part's tuning, the sample rate against the output rate.
    part->tuning = 100;
    voice.Setup(60, 127, 0, zone, tone, part);
    EXPECT_NEAR(voice.GetRatio(), 1.059463094359, 1e-12);
    part->tuning = 0;
    OvEngine::SetOutputRate(88200.0f);
    voice.Setup(60, 127, 0, zone, tone, part);
    EXPECT_NEAR(voice.GetRatio(), 0.5, 1e-12);
    OvEngine::SetOutputRate(kRate);
    // Keys far above the unity note play their pitch too.
    voice.Setup(60 + 12, 127, 0, zone, tone, part);
    EXPECT_NEAR(voice.GetRatio(), 2.0, 1e-9);
    voice.Setup(60 + 37, 127, 0, zone, tone, part);
    EXPECT_NEAR(voice.GetRatio(), std::pow(2.0, 37.0 / 12.0), 1e-9);
    voice.Setup(127, 127, 0, zone, tone, part);
    EXPECT_NEAR(voice.GetRatio(), std::pow(2.0, 67.0 / 12.0), 1e-9);

    // A zone without a sample plays nothing: its first render ends it.
    GigaZone empty;
    voice.Setup(60, 100, 0, &empty, tone, part);
    EXPECT_EQ(voice.RenderStep(nullptr, kBlock), 0);
    EXPECT_EQ(voice.GetState(), kOvVoiceFinished);
}

TEST(GigaVoice, StreamedVoiceOffersItselfHalfASecondBeforeItsMemoryEnds)
{
    Rig rig;
    gigtools::GigFixture f{"Long", "", {}};
    const int h = f.bank.AddSample(gigtools::GigSample::Tone("Long", 1, 16, 44100, 60, 5 * 44100));
    gigtools::GigInstrument ins("Long");
    ins.regions.push_back(gigtools::GigRegion::Single(0, 127, h));
    ins.regions.back().zones[0].unityNote = 60;
    f.bank.AddInstrument(ins);
    GigaPart* part = rig.Load(0, rig.Write(f), 0, 1.0f, 3.0f);
    GigaZone* zone = part->GetProgram()->GetRegionForKey(60)->GetZone(0);
    ASSERT_EQ(zone->GetSample()->framesInMemory, 44100);
    GigaVoice voice;
    voice.Setup(60, 100, 0, zone, rig.Tone(0), part);
    EXPECT_TRUE(voice.IsStreaming());
    EXPECT_EQ(voice.GetStreamThreshold(), 44100 - 22050);
    voice.Setup(72, 100, 0, zone, rig.Tone(0), part);  // twice as fast: 0 or less gives 512
    EXPECT_EQ(voice.GetStreamThreshold(), 512);
    voice.Stop();
}

// The render stages against the per-sample loop they replaced: positions
// and interpolation (mono and stereo, four frames at a time and the rest)
// match it exactly and stop where the fetched frames end; the filter, mono
// and stereo, in blocks of odd sizes that carry its state, at cutoffs from
// nearly closed (where any change of rounding grows far above -90 dB) to
// open, matches exactly frame by frame, and four frames at a time stays
// below -100 dB of the output wherever the voice uses it, with the same
// values from its 256-bit form.
TEST(GigaVoice, RenderStagesMatchThePerSampleLoop)
{
    namespace stage = gigavoicestage;
    std::mt19937 random(7);
    std::uniform_real_distribution<float> noise(-1.0f, 1.0f);
    std::vector<float> in(4100), inRight(4100);
    for (float& v : in)
        v = noise(random);
    for (float& v : inRight)
        v = noise(random);

    const struct {
        double frac, ratio;
        int got, n;
    } positions[] = {
        {0.0, 1.0, 514, 512},       {0.3, 1.37, 700, 512}, {0.99, 0.5, 10, 512},   {0.5, 63.9, 4096, 64},
        {0.0, 1.0 / 1024, 2, 512}, {0.7, 2.0, 1, 512},    {0.25, 1.0, 300, 512}, {0.0, 3.0, 1537, 512},
        {0.1, 1.0001, 9, 7},
    };
    for (const auto& c : positions) {
        std::vector<float> want, wantRight;
        for (int j = 0; j < c.n; ++j) {
            const double p = c.frac + j * c.ratio;
            const int k = static_cast<int>(p);
            if (k + 1 >= c.got)
                break;
            const float f = static_cast<float>(p - k);
            want.push_back(in[k] + (in[k + 1] - in[k]) * f);
            wantRight.push_back(inRight[k] + (inRight[k + 1] - inRight[k]) * f);
        }
        const int m = stage::PlayableFrames(c.frac, c.ratio, c.got, c.n);
        ASSERT_EQ(m, static_cast<int>(want.size())) << c.frac << " " << c.ratio << " " << c.got;
        std::vector<float> mono(c.n), left(c.n), right(c.n);
        stage::Resample(in.data(), nullptr, c.frac, c.ratio, mono.data(), nullptr, m);
        stage::Resample(in.data(), inRight.data(), c.frac, c.ratio, left.data(), right.data(), m);
        for (int j = 0; j < m; ++j) {
            ASSERT_EQ(mono[j], want[j]) << j;
            ASSERT_EQ(left[j], want[j]) << j;
            ASSERT_EQ(right[j], wantRight[j]) << j;
        }
    }

    for (float cutoff : {0.0006f, 0.01f, 0.1f, 0.2f, 0.5f, 1.0f}) {
        float coef[5];
        ASSERT_TRUE(GigaVoice::FilterCoefficients(cutoff, coef));
        std::vector<float> want(in.size());
        float s[4] = {};  // x1, x2, y1, y2
        for (size_t j = 0; j < in.size(); ++j) {
            const float y = coef[0] * in[j] + coef[1] * s[0] + coef[2] * s[1] - coef[3] * s[2] - coef[4] * s[3];
            s[1] = s[0];
            s[0] = in[j];
            s[3] = s[2];
            s[2] = y;
            want[j] = y;
        }
        std::vector<float> mono(in), left(in), right(in);
        float monoState[4] = {}, leftState[4] = {}, rightState[4] = {};
        for (size_t at = 0, n = 1; at < in.size(); at += n, n = n * 3 % 517 + 1) {
            n = std::min(n, in.size() - at);
            const int count = static_cast<int>(n);
            stage::Filter(coef, monoState, mono.data() + at, count);
            stage::Filter2(coef, leftState, rightState, left.data() + at, right.data() + at, count);
        }
        for (size_t j = 0; j < in.size(); ++j) {
            ASSERT_EQ(mono[j], want[j]) << "cutoff " << cutoff << " frame " << j;
            ASSERT_EQ(left[j], want[j]);
            ASSERT_EQ(right[j], want[j]);
        }
        if (1.0f + coef[3] + coef[4] < gigavoice::kFilterBlockMargin)
            continue;  // the voice filters frame by frame there
        stage::FilterBlock block;
        stage::MakeFilterBlock(coef, block);
        std::vector<float> fastMono(in), fastLeft(in), fastRight(inRight), wantRight(inRight);
        float s4[4] = {}, fastState[4] = {}, fastL[4] = {}, fastR[4] = {};
        stage::Filter(coef, s4, wantRight.data(), static_cast<int>(wantRight.size()));
        for (size_t at = 0, n = 1; at < in.size(); at += n, n = n * 5 % 519 + 1) {
            n = std::min(n, in.size() - at);
            const int count = static_cast<int>(n);
            stage::FilterFast(coef, block, fastState, fastMono.data() + at, count);
            stage::FilterFast2(coef, block, fastL, fastR, fastLeft.data() + at, fastRight.data() + at, count);
        }
        auto below = [](const std::vector<float>& got, const std::vector<float>& ref) {
            double signal = 0.0, error = 0.0;
            for (size_t j = 0; j < ref.size(); ++j) {
                signal += double(ref[j]) * ref[j];
                error += double(got[j] - ref[j]) * (got[j] - ref[j]);
            }
            return 10.0 * std::log10(error / signal);
        };
        if (stage::HasWide()) {
            // The 256-bit form gives the narrow one's values exactly.
            std::vector<float> wideLeft(in), wideRight(inRight);
            float wideL[4] = {}, wideR[4] = {};
            for (size_t at = 0, n = 1; at < in.size(); at += n, n = n * 5 % 519 + 1) {
                n = std::min(n, in.size() - at);
                stage::FilterFast2Wide(coef, block, wideL, wideR, wideLeft.data() + at, wideRight.data() + at,
                                       static_cast<int>(n));
            }
            EXPECT_TRUE(wideLeft == fastLeft && wideRight == fastRight) << "cutoff " << cutoff;
        }
        EXPECT_LT(below(fastMono, want), -100.0) << "cutoff " << cutoff;
        EXPECT_LT(below(fastLeft, want), -100.0) << "cutoff " << cutoff;
        EXPECT_LT(below(fastRight, wantRight), -100.0) << "cutoff " << cutoff;
    }
}
