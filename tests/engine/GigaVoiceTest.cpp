// GigaVoice's note-on arithmetic: velocity curves, crossfade, filter
// coefficients, level, pan, pitch and the stream hand-over threshold.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "GigaVoiceTestRig.h"
#include "engine/GigaSample.h"
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
    // More than 36 keys above the unity note: played at the unity pitch.
    voice.Setup(60 + 37, 127, 0, zone, tone, part);
    EXPECT_DOUBLE_EQ(voice.GetRatio(), 1.0);
    voice.Setup(60 + 12, 127, 0, zone, tone, part);
    EXPECT_NEAR(voice.GetRatio(), 2.0, 1e-9);

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
