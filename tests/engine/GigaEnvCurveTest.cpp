#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "engine/GigaEnvCurve.h"
#include "engine/GigaPart.h"
#include "engine/GigaZone.h"
#include "engine/OvEngine.h"
#include "support/TestSupport.h"

using namespace gigaenv;

namespace {

// An output rate of 8000 Hz gives 1000 control steps per second.
class GigaEnvCurveTest : public ::testing::Test {
protected:
    void SetUp() override { OvEngine::SetOutputRate(8000.0f); }
    void TearDown() override { OvEngine::SetOutputRate(44100.0f); }

    static GigaEnvBlock Block(float attack, float decay, float sustain, float release)
    {
        GigaEnvBlock b;
        b.attack = attack;
        b.decay = decay;
        b.sustain = sustain;
        b.release = release;
        return b;
    }

    // Renders until the envelope ends (or max steps); the values written.
    static std::vector<float> RenderAll(GigaEnvCurve& env, int block = 64, int max = 1000000)
    {
        std::vector<float> all;
        std::vector<float> out(static_cast<size_t>(block));
        while (static_cast<int>(all.size()) < max) {
            const int n = env.Render(out.data(), block, 1.0f);
            if (n == 0)
                break;
            EXPECT_EQ(n, block);
            all.insert(all.end(), out.begin(), out.end());
        }
        return all;
    }
};

}  // namespace

TEST_F(GigaEnvCurveTest, ZeroAttackStartsAtDecayWithFullLevelAndSustainOfOneSkipsDecay)
{
    GigaEnvCurve env;
    env.Setup(Block(0.0f, 1.0f, 0.5f, 1.0f), {}, -1, kControlDivider);
    EXPECT_EQ(env.GetStage(), kDecay);
    EXPECT_FLOAT_EQ(env.GetLevel(), 1.0f);
    float v[4];
    ASSERT_EQ(env.Render(v, 4, 1.0f), 4);
    EXPECT_LT(v[0], 1.0f);
    EXPECT_GT(v[0], 0.99f);
    EXPECT_LT(v[3], v[0]);

    env.Setup(Block(0.0f, 1.0f, 1.0f, 1.0f), {}, -1, kControlDivider);
    EXPECT_EQ(env.GetStage(), kSustain);
    ASSERT_EQ(env.Render(v, 4, 0.5f), 4);
    for (float x : v)
        EXPECT_FLOAT_EQ(x, 0.5f);
    // A gain ramp reaches its target on the last step.
    ASSERT_EQ(env.RenderRamp(v, 4, 0.0f, 1.0f), 4);
    EXPECT_FLOAT_EQ(v[0], 0.25f);
    EXPECT_FLOAT_EQ(v[1], 0.5f);
    EXPECT_FLOAT_EQ(v[3], 1.0f);
}

TEST_F(GigaEnvCurveTest, AttackRisesLinearlyThenDecaysOntoTheSustainLevel)
{
    GigaEnvCurve env;
    env.Setup(Block(0.2f, 0.5f, 0.25f, 1.0f), {}, -1, kControlDivider);
    EXPECT_FLOAT_EQ(env.GetControlRate(), 1000.0f);
    EXPECT_FLOAT_EQ(env.GetAttackTime(), 0.2f * kAttackScale);
    EXPECT_FLOAT_EQ(env.GetDecayTime(), 0.5f * kDecayScale);
    const int attackSteps = static_cast<int>(static_cast<double>(env.GetAttackTime()) * env.GetControlRate());
    const int decaySteps = static_cast<int>(static_cast<double>(env.GetDecayTime()) * env.GetControlRate());
    EXPECT_EQ(env.GetStage(), kAttack);

    std::vector<float> v(static_cast<size_t>(attackSteps + decaySteps + 100));
    ASSERT_EQ(env.Render(v.data(), static_cast<int>(v.size()), 1.0f), static_cast<int>(v.size()));
    const float inc = 1.0f / static_cast<float>(attackSteps);
    EXPECT_NEAR(v[0], inc, 1e-6);
    for (int i = 1; i < attackSteps; ++i)
        EXPECT_NEAR(v[static_cast<size_t>(i)] - v[static_cast<size_t>(i - 1)], inc, 1e-5) << i;
    EXPECT_NEAR(v[static_cast<size_t>(attackSteps - 1)], 1.0f, 1e-4);
    for (int i = attackSteps + 1; i < attackSteps + decaySteps; ++i)
        EXPECT_LT(v[static_cast<size_t>(i)], v[static_cast<size_t>(i - 1)]) << i;
    // The first-order decay ends near the sustain level, which then holds.
    EXPECT_NEAR(v[static_cast<size_t>(attackSteps + decaySteps - 1)], 0.25f, 0.01f);
    EXPECT_EQ(env.GetStage(), kSustain);
    EXPECT_FLOAT_EQ(v.back(), 0.25f);
}

TEST_F(GigaEnvCurveTest, ReleaseFallsLinearlyToTheTailThenFinishes)
{
    GigaEnvCurve env;
    env.Setup(Block(0.0f, 0.0f, 1.0f, 0.4f), {}, -1, kControlDivider);
    ASSERT_TRUE(env.StartRelease());
    EXPECT_EQ(env.GetStage(), kRelease);
    const float tr = env.GetReleaseTime() * env.GetControlRate();  // 220 steps
    const auto v = RenderAll(env);
    ASSERT_FALSE(v.empty());
    EXPECT_TRUE(env.IsFinished());

    const float dec = (1.0f - kTailLevel) / (tr + 1.0f);
    EXPECT_NEAR(v[0], 1.0f - dec, 1e-5);
    int linear = 0;
    while (linear + 1 < static_cast<int>(v.size()) && v[static_cast<size_t>(linear)] >= kTailLevel)
        ++linear;
    EXPECT_NEAR(linear, tr + 1.0f, 2.0f);  // the linear part lasts the release time
    for (size_t i = 1; i < v.size(); ++i) {
        EXPECT_LE(v[i], v[i - 1]) << i;
        EXPECT_GE(v[i], 0.0f);
    }
    // The exponential tail: constant ratio between values.
    const size_t a = static_cast<size_t>(linear) + 5;
    EXPECT_NEAR(v[a + 1] / v[a], v[a + 21] / v[a + 20], 1e-4);
    EXPECT_LT(v.back(), kFinishLevel * 1.5f);
    float out[8];
    EXPECT_EQ(env.Render(out, 8, 1.0f), 0);
    EXPECT_FALSE(env.StartRelease());
}

TEST_F(GigaEnvCurveTest, ReleaseFromLevelAtOrBelowTailLevelGoesStraightToTheTail)
{
    for (float sustain : {0.1f, kTailLevel}) {
        GigaEnvCurve env;
        env.Setup(Block(0.0f, 0.0f, sustain, 0.4f), {}, -1, kControlDivider);
        ASSERT_EQ(env.GetStage(), kDecay);
        const auto held = RenderAll(env, 64, 2000);  // through the decay into the sustain
        ASSERT_EQ(env.GetStage(), kSustain);
        ASSERT_TRUE(env.StartRelease());
        EXPECT_EQ(env.GetStage(), kTail) << sustain;
        float v[2];
        env.Render(v, 2, 1.0f);
        EXPECT_LT(v[1], v[0]);
        EXPECT_LT(v[0], sustain);
    }
}

TEST_F(GigaEnvCurveTest, TimesAreClampedBeforeTheirScales)
{
    GigaEnvCurve env;
    GigaEnvOffsets offsets;
    offsets.release = -5.0f;  // a stored offset below the zone's time
    offsets.decay = -5.0f;
    env.Setup(Block(0.0f, 0.5f, 0.5f, 0.001f), offsets, -1, kControlDivider);
    EXPECT_FLOAT_EQ(env.GetReleaseTime(), kMinReleaseSeconds * kReleaseScale);
    EXPECT_FLOAT_EQ(env.GetDecayTime(), kMinDecaySeconds * kDecayScale);

    env.Setup(Block(0.0f, 0.0f, 1.0f, 0.001f), {}, -1, kControlDivider);
    EXPECT_FLOAT_EQ(env.GetDecayTime(), 0.0f);  // no decay floor at full sustain

    env.Setup(Block(0.0f, 0.0f, -3.0f, 1.0f), {}, -1, kControlDivider);
    EXPECT_FLOAT_EQ(env.GetSustain(), kMinSustain);
    GigaEnvOffsets up;
    up.sustain = 2.0f;
    env.Setup(Block(0.0f, 0.0f, 0.5f, 1.0f), up, -1, kControlDivider);
    EXPECT_FLOAT_EQ(env.GetSustain(), 1.0f);
}

TEST_F(GigaEnvCurveTest, PartOffsetsAndControllerDepthsScaleTheTimes)
{
    GigaZone zone;
    zone.ampAttack = 0.1f;
    zone.ampDecay = 0.5f;
    zone.ampSustain = 0.5f;
    zone.ampRelease = 1.0f;
    zone.ampAttackInfluence = 3;  // x10 at full controller
    zone.ampDecayInfluence = 1;   // x3
    zone.ampReleaseInfluence = 2; // x5
    GigaPart part(nullptr);
    part.ampSettings[GigaPart::kAttack] = 0.1f;
    part.ampSettings[GigaPart::kRelease] = 1.0f;

    GigaEnvCurve env;
    env.Setup(zone, &part, -1, kControlDivider);
    EXPECT_FLOAT_EQ(env.GetAttackTime(), 0.2f * kAttackScale);
    EXPECT_FLOAT_EQ(env.GetReleaseTime(), 2.0f * kReleaseScale);

    env.Setup(zone, &part, 127, kControlDivider);
    EXPECT_NEAR(env.GetAttackTime(), 2.0f * kAttackScale, 1e-5);
    EXPECT_NEAR(env.GetDecayTime(), 1.5f * kDecayScale, 1e-5);
    EXPECT_NEAR(env.GetReleaseTime(), 10.0f * kReleaseScale, 1e-5);

    const float f = 64.0f / 127.0f;
    env.Setup(zone, &part, 64, kControlDivider);
    EXPECT_NEAR(env.GetAttackTime(), 0.2f * (f * 10.0f + 1.0f - f) * kAttackScale, 1e-5);

    zone.ampControllerInvert = true;
    env.Setup(zone, &part, 127, kControlDivider);
    EXPECT_NEAR(env.GetAttackTime(), 0.2f * kAttackScale, 1e-6);
    env.Setup(zone, nullptr, 0, kControlDivider);
    EXPECT_NEAR(env.GetAttackTime(), 1.0f * kAttackScale, 1e-5);
}

TEST_F(GigaEnvCurveTest, ControllerChangeAndShorteningRecomputeARunningRelease)
{
    GigaEnvBlock b = Block(0.0f, 0.0f, 1.0f, 10.0f);
    b.releaseDepth = 3;
    GigaEnvCurve env;
    env.Setup(b, {}, 0, kControlDivider);
    EXPECT_NEAR(env.GetReleaseTime(), 10.0f * kReleaseScale, 1e-4);
    env.ControllerChanged(127);
    EXPECT_NEAR(env.GetReleaseTime(), 100.0f * kReleaseScale, 1e-3);
    ASSERT_TRUE(env.StartRelease());
    float v[2];
    env.Render(v, 2, 1.0f);
    const float slow = v[0] - v[1];
    env.ControllerChanged(0);
    env.Render(v, 2, 1.0f);
    EXPECT_NEAR(v[0] - v[1], slow * 10.0f, slow * 0.1f);
    EXPECT_EQ(env.GetStage(), kRelease);

    env.ShortenRelease();  // min(10 x 0.33, 1.2) x 0.55
    EXPECT_NEAR(env.GetReleaseTime(), kShortenMaxSeconds * kReleaseScale, 1e-6);
    EXPECT_EQ(env.GetStage(), kRelease);
    const float before = env.GetLevel();
    env.Render(v, 2, 1.0f);
    const float expect = (before - kTailLevel) / (env.GetReleaseTime() * env.GetControlRate() + 1.0f);
    EXPECT_NEAR(v[0] - v[1], expect, 1e-5);
}

TEST_F(GigaEnvCurveTest, FastReleasePlaysAShortTailUnlessNothingIsLeft)
{
    GigaEnvCurve env;
    env.Setup(Block(0.0f, 0.0f, 1.0f, 5.0f), {}, -1, kControlDivider);
    ASSERT_TRUE(env.FastRelease());
    EXPECT_EQ(env.GetStage(), kTail);
    EXPECT_FLOAT_EQ(env.GetReleaseTime(), kFastReleaseSeconds);
    const auto v = RenderAll(env, 8);
    // 0.1 s at 1000 steps per second reaches the target in about 100 steps.
    EXPECT_GT(v.size(), 60u);
    EXPECT_LT(v.size(), 120u);

    env.Setup(Block(1.0f, 0.0f, 1.0f, 5.0f), {}, -1, kControlDivider);
    EXPECT_FLOAT_EQ(env.GetLevel(), 0.0f);  // attack not begun
    EXPECT_FALSE(env.FastRelease());
    EXPECT_TRUE(env.IsFinished());
    float out[4];
    EXPECT_EQ(env.Render(out, 4, 1.0f), 0);
}

TEST_F(GigaEnvCurveTest, HostileValuesGiveBoundedFiniteLevelsAndAnEnd)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const GigaEnvBlock blocks[] = {
        Block(nan, nan, nan, nan), Block(-1.0f, -1.0f, -1.0f, -1.0f), Block(inf, inf, 0.5f, inf),
        Block(1e-6f, 1e-6f, 0.5f, 1e-6f), Block(1e30f, 1e30f, 1e30f, 1e30f),
    };
    for (const GigaEnvBlock& base : blocks) {
        for (int divider : {0, -3, 1, 8}) {
            GigaEnvBlock b = base;
            b.attackDepth = 7;
            b.releaseDepth = -2;
            GigaEnvCurve env;
            env.Setup(b, {}, 500, divider);
            float v[256];
            ASSERT_EQ(env.Render(v, 256, 1.0f), 256);
            for (float x : v) {
                ASSERT_TRUE(std::isfinite(x));
                ASSERT_GE(x, 0.0f);
                ASSERT_LE(x, 1.0001f);
            }
            env.ControllerChanged(1000);
            env.ShortenRelease();
            env.StartRelease();
            env.ControllerChanged(-5);
            // Shortened releases end within (a few times) 1.2 s.
            const auto rest = RenderAll(env, 256, 20000);
            EXPECT_TRUE(env.IsFinished());
            for (float x : rest)
                ASSERT_TRUE(std::isfinite(x) && x >= 0.0f);
        }
    }
}

TEST_F(GigaEnvCurveTest, AudioThreadOperationsAllocateNothing)
{
    GigaEnvBlock b = Block(0.05f, 0.1f, 0.5f, 0.2f);
    b.releaseDepth = 2;
    GigaEnvCurve env;
    float v[64];
    kivtest::AllocCounter counter;
    for (int note = 0; note < 10; ++note) {
        env.Setup(b, {}, note * 10, kControlDivider);
        env.Render(v, 64, 1.0f);
        env.RenderRamp(v, 64, 1.0f, 0.5f);
        env.ControllerChanged(3);
        env.ShortenRelease();
        env.StartRelease();
        while (env.Render(v, 64, 1.0f) > 0) {
        }
        env.FastRelease();
    }
    EXPECT_EQ(counter.Count(), 0);
}
