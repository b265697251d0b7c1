// ctest-label: thread
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <thread>
#include <vector>

#include "engine/OvEffect.h"
#include "kiv/file/Archive.h"
#include "support/TestSupport.h"

using namespace ovfx;

namespace {

// The studio stores each effect as a nested object of this tag.
constexpr uint32_t kArchiveType = fourcc("effx");

std::vector<float> Sine(int frames, double hz, float amplitude, double rate = 44100.0)
{
    std::vector<float> v(static_cast<size_t>(frames));
    for (int i = 0; i < frames; ++i)
        v[static_cast<size_t>(i)] = amplitude * static_cast<float>(std::sin(2.0 * M_PI * hz * i / rate));
    return v;
}

std::vector<float> Noise(int frames, float amplitude, unsigned seed)
{
    std::mt19937 gen(seed);
    std::uniform_real_distribution<float> d(-amplitude, amplitude);
    std::vector<float> v(static_cast<size_t>(frames));
    for (float& x : v)
        x = d(gen);
    return v;
}

float Peak(const std::vector<float>& v, size_t from)
{
    float p = 0.0f;
    for (size_t i = from; i < v.size(); ++i)
        p = std::max(p, std::fabs(v[i]));
    return p;
}

bool AllFinite(const std::vector<float>& v)
{
    for (float x : v)
        if (!std::isfinite(x))
            return false;
    return true;
}

// Writes float values under the given codes, as a stored effect would hold them.
struct StoredValues : Archivable {
    std::vector<std::pair<uint32_t, float>> values;
    void Archive(ArchiFile* a) override
    {
        for (auto& [code, v] : values)
            a->ExchangeFloat(v, code);
    }
};

kiv::data Save(Archivable& object)
{
    kiv::data block;
    ArchiSave save;
    EXPECT_TRUE(save.SaveMemory(&object, kArchiveType, block));
    return block;
}

// The tag numbers of the float values in a saved archive, in order.
std::vector<uint32_t> StoredTags(const kiv::data& block)
{
    std::vector<uint32_t> tags;
    const auto* p = block.GetBytes();
    size_t at = archi::kHeadBytes;
    while (at + 4 <= static_cast<size_t>(block.GetSize())) {
        uint32_t word;
        std::memcpy(&word, p + at, 4);
        const uint32_t type = word & archi::kTypeMask;
        if (type != archi::kTypeReal && type != archi::kTypeBegin)
            break;
        if (type == archi::kTypeReal)
            tags.push_back(word >> archi::kTagShift);
        at += 4 + (word & archi::kLengthMask);
    }
    return tags;
}

}  // namespace

TEST(OvEffect, ParametersStartAtTheirBuiltValuesAndArchiveLastAddedFirst)
{
    OvEffectComp comp;
    EXPECT_EQ(comp.GetTypeId(), fourcc("xdyn"));
    EXPECT_FLOAT_EQ(comp.GetParam(kThreshold, 99.0f), -12.0f);
    EXPECT_FLOAT_EQ(comp.GetParam(kRatio, 99.0f), 4.0f);
    EXPECT_FLOAT_EQ(comp.GetParam(kAttack, 99.0f), 0.2f);
    EXPECT_FLOAT_EQ(comp.GetParam(kRelease, 99.0f), 1.0f);
    EXPECT_FLOAT_EQ(comp.GetParam(kMakeUp, 99.0f), 0.0f);
    EXPECT_FLOAT_EQ(comp.GetParam(kLowGain, 99.0f), 99.0f);
    EXPECT_FALSE(comp.HasParam(kLowGain));
    const std::vector<uint32_t> compOrder = {ArchiFile::TagNumber(kMakeUp), ArchiFile::TagNumber(kRelease),
                                             ArchiFile::TagNumber(kAttack), ArchiFile::TagNumber(kRatio),
                                             ArchiFile::TagNumber(kThreshold)};
    EXPECT_EQ(StoredTags(Save(comp)), compOrder);

    OvEffectEQ3 eq;
    EXPECT_EQ(eq.GetTypeId(), fourcc("xeq3"));
    const std::vector<uint32_t> eqOrder = {ArchiFile::TagNumber(kHighGain), ArchiFile::TagNumber(kMidGain),
                                           ArchiFile::TagNumber(kLowGain)};
    EXPECT_EQ(StoredTags(Save(eq)), eqOrder);
    EXPECT_FLOAT_EQ(eq.GetLowGain(), 1.0f);
}

TEST(OvEffectComp, DerivedFactorsFollowParametersAndSampleRateAndIgnoreBadValues)
{
    OvEffectComp comp;
    EXPECT_NEAR(comp.GetThresholdFactor(), std::pow(10.0, -1.2), 1e-6);
    EXPECT_FLOAT_EQ(comp.GetMakeUpFactor(), 1.0f);
    EXPECT_NEAR(comp.GetAttackFactor(), std::exp(-std::log(0.001) / (44100.0 * 0.2 + 0.5)), 1e-6);
    EXPECT_NEAR(comp.GetReleaseFactor(), std::exp(std::log(0.001) / (44100.0 * 1.0 + 0.5)), 1e-7);
    EXPECT_GT(comp.GetAttackFactor(), 1.0f);
    EXPECT_LT(comp.GetReleaseFactor(), 1.0f);

    comp.SetParam(kMakeUp, 6.0f);
    comp.SetParam(kThreshold, -20.0f);
    comp.SetParam(kRatio, 2.0f);
    EXPECT_NEAR(comp.GetMakeUpFactor(), std::pow(10.0, 0.3), 1e-5);
    EXPECT_NEAR(comp.GetThresholdFactor(), 0.01, 1e-7);
    EXPECT_FLOAT_EQ(comp.GetRatio(), 2.0f);

    comp.SetSampleRate(96000.0f);
    EXPECT_NEAR(comp.GetAttackFactor(), std::exp(-std::log(0.001) / (96000.0 * 0.2 + 0.5)), 1e-6);
    EXPECT_NEAR(comp.GetReleaseFactor(), std::exp(std::log(0.001) / (96000.0 * 1.0 + 0.5)), 1e-7);
    comp.SetSampleRate(-1.0f);
    comp.SetSampleRate(std::numeric_limits<float>::quiet_NaN());
    EXPECT_NEAR(comp.GetReleaseFactor(), std::exp(std::log(0.001) / (96000.0 * 1.0 + 0.5)), 1e-7);

    // Unknown codes and values that are not numbers change nothing.
    comp.SetParam(kLowGain, 5.0f);
    EXPECT_FALSE(comp.HasParam(kLowGain));
    comp.SetParam(kMakeUp, std::numeric_limits<float>::quiet_NaN());
    comp.SetParam(kMakeUp, std::numeric_limits<float>::infinity());
    EXPECT_FLOAT_EQ(comp.GetParam(kMakeUp, 0.0f), 6.0f);
    EXPECT_NEAR(comp.GetMakeUpFactor(), std::pow(10.0, 0.3), 1e-5);
}

TEST(OvEffectComp, ThresholdAboveTheSignalAppliesOnlyTheMakeUpGain)
{
    OvEffectComp comp;
    comp.SetParam(kThreshold, 0.0f);  // factor 1, above a 0.5 sine
    comp.SetParam(kMakeUp, 6.0f);
    auto l = Sine(4096, 440.0, 0.5f);
    auto r = Sine(4096, 660.0, 0.5f);
    const auto l0 = l, r0 = r;
    comp.Process(l.data(), r.data(), 4096);
    const float g = comp.GetMakeUpFactor();
    for (size_t i = 0; i < l.size(); ++i) {
        ASSERT_FLOAT_EQ(l[i], l0[i] * g);
        ASSERT_FLOAT_EQ(r[i], r0[i] * g);
    }
}

TEST(OvEffectComp, LoudSignalSettlesAtTheRatioGain)
{
    OvEffectComp comp;  // -12 dB (factor 0.063), ratio 4
    std::vector<float> l(20000, 1.0f), r(20000, 1.0f);
    comp.Process(l.data(), r.data(), 20000);
    const float expect = std::pow(comp.GetThresholdFactor() / 1.0f, 0.25f);
    EXPECT_NEAR(l.back(), expect, 1e-4);
    EXPECT_NEAR(r.back(), expect, 1e-4);
}

TEST(OvEffectComp, AttackLooksBackOverEarlierFramesOfTheBlock)
{
    OvEffectComp comp;
    const int step = 2000;
    std::vector<float> l(4000, 0.01f), r(4000, 0.01f);
    for (int i = step; i < 4000; ++i)
        l[static_cast<size_t>(i)] = r[static_cast<size_t>(i)] = 1.0f;
    comp.Process(l.data(), r.data(), 4000);
    EXPECT_FLOAT_EQ(l[step - 100], 0.01f);             // quiet, below threshold: make-up only
    EXPECT_LT(l[step - 1], 0.01f * 0.95f);            // lowered ahead of the loud frame
    EXPECT_LT(l[step - 30], 0.01f);
    EXPECT_FLOAT_EQ(l[step - kLookBackFrames - 2], 0.01f);  // not further back
}

TEST(OvEffectComp, LongBlocksRunInPiecesLikeSuccessiveShortBlocks)
{
    const auto src = Noise(20000, 0.8f, 7);
    OvEffectComp one, many;
    auto l1 = src, r1 = src, l2 = src, r2 = src;
    one.Process(l1.data(), r1.data(), 20000);
    int at = 0;
    for (int n : {6000, 6000, 6000, 2000}) {
        many.Process(l2.data() + at, r2.data() + at, n);
        at += n;
    }
    EXPECT_EQ(l1, l2);
    EXPECT_EQ(r1, r2);
}

TEST(OvEffectComp, SavedAndReloadedCompressorAppliesTheLoadedValuesAtOnce)
{
    OvEffectComp saved;
    saved.SetParam(kThreshold, -24.0f);
    saved.SetParam(kRatio, 8.0f);
    saved.SetParam(kAttack, 0.01f);
    saved.SetParam(kRelease, 0.3f);
    saved.SetParam(kMakeUp, 3.0f);
    const kiv::data block = Save(saved);

    OvEffectComp loaded;
    ArchiLoad load;
    ASSERT_TRUE(load.LoadMemory(&loaded, kArchiveType, block));
    EXPECT_FLOAT_EQ(loaded.GetParam(kRatio, 0.0f), 8.0f);
    EXPECT_FLOAT_EQ(loaded.GetRatio(), 8.0f);
    EXPECT_FLOAT_EQ(loaded.GetThresholdFactor(), saved.GetThresholdFactor());
    EXPECT_FLOAT_EQ(loaded.GetMakeUpFactor(), saved.GetMakeUpFactor());
    EXPECT_FLOAT_EQ(loaded.GetAttackFactor(), saved.GetAttackFactor());
    EXPECT_FLOAT_EQ(loaded.GetReleaseFactor(), saved.GetReleaseFactor());

    const auto src = Noise(3000, 0.9f, 3);
    auto a = src, b = src, c = src, d = src;
    saved.Process(a.data(), b.data(), 3000);
    loaded.Process(c.data(), d.data(), 3000);
    EXPECT_EQ(a, c);
}

TEST(OvEffectComp, HostileStoredValuesAreClampedAndTheOutputStaysFinite)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const std::vector<std::vector<float>> cases = {
        // gain, dcay, atak, rtio, thrs (the stored order)
        {0.0f, 1.0f, 0.2f, 0.0f, -12.0f},
        {0.0f, -5.0f, -5.0f, -3.0f, -12.0f},
        {1e30f, 1e30f, 1e30f, 1e30f, 1e30f},
        {-1e30f, 0.0f, 0.0f, 1e-30f, -1e30f},
        {nan, nan, nan, nan, nan},
        {inf, -inf, inf, -inf, inf},
    };
    for (const auto& c : cases) {
        StoredValues stored;
        const uint32_t codes[] = {kMakeUp, kRelease, kAttack, kRatio, kThreshold};
        for (int i = 0; i < 5; ++i)
            stored.values.push_back({codes[i], c[static_cast<size_t>(i)]});
        OvEffectComp comp;
        ArchiLoad load;
        ASSERT_TRUE(load.LoadMemory(&comp, kArchiveType, Save(stored)));
        EXPECT_GE(comp.GetRatio(), 1.0f);
        auto l = Noise(8000, 1.0f, 11);
        auto r = Noise(8000, 1.0f, 12);
        comp.Process(l.data(), r.data(), 8000);
        EXPECT_TRUE(AllFinite(l) && AllFinite(r)) << c[0] << " " << c[3];
    }
}

TEST(OvEffect, BadInputSamplesDoNotPoisonLaterBlocks)
{
    OvEffectComp comp;
    OvEffectEQ3 eq;
    eq.SetParam(kHighGain, 6.0f);
    for (OvEffect* fx : {static_cast<OvEffect*>(&comp), static_cast<OvEffect*>(&eq)}) {
        auto l = Noise(512, 1.0f, 1);
        auto r = Noise(512, 1.0f, 2);
        l[100] = std::numeric_limits<float>::quiet_NaN();
        r[200] = std::numeric_limits<float>::infinity();
        fx->Process(l.data(), r.data(), 512);
        // Loud noise, then a long silence: the compressor's running sum must
        // not drift below 0, the equaliser's filters must start again.
        for (int block = 0; block < 400; ++block) {
            auto a = Noise(512, block < 100 ? 1.0f : 0.0f, static_cast<unsigned>(block));
            auto b = a;
            fx->Process(a.data(), b.data(), 512);
            ASSERT_TRUE(AllFinite(a) && AllFinite(b)) << block;
        }
    }
    const auto quiet = Sine(512, 440.0, 0.01f);
    auto q = quiet, q2 = quiet;
    comp.Process(q.data(), q2.data(), 512);
    EXPECT_FLOAT_EQ(q[300], quiet[300]);  // below the threshold again
}

TEST(OvEffectEQ3, AllGainsAtZeroLeaveTheSignalUntouchedNotEvenDelayed)
{
    OvEffectEQ3 eq;
    eq.SetSampleRate(96000.0f);
    auto l = Noise(1000, 1.0f, 5);
    auto r = Noise(1000, 1.0f, 6);
    const auto l0 = l, r0 = r;
    eq.Process(l.data(), r.data(), 1000);
    EXPECT_EQ(l, l0);
    EXPECT_EQ(r, r0);

    eq.SetParam(kMidGain, 3.0f);
    eq.SetParam(kMidGain, 0.0f);  // back to exactly 1
    eq.Process(l.data(), r.data(), 1000);
    EXPECT_EQ(l, l0);
}

TEST(OvEffectEQ3, EqualGainsScaleTheSignalDelayedByThreeSamples)
{
    OvEffectEQ3 eq;
    for (uint32_t code : {kLowGain, kMidGain, kHighGain})
        eq.SetParam(code, 6.0f);
    const float g = eq.GetLowGain();
    auto l = Noise(2000, 1.0f, 8);
    auto r = Noise(2000, 1.0f, 9);
    const auto l0 = l, r0 = r;
    eq.Process(l.data(), r.data(), 1000);
    eq.Process(l.data() + 1000, r.data() + 1000, 1000);  // the delay runs across blocks
    for (size_t i = 0; i < 3; ++i)
        EXPECT_NEAR(l[i], 0.0f, 1e-6);
    for (size_t i = 3; i < l.size(); ++i) {
        ASSERT_NEAR(l[i], g * l0[i - 3], 1e-5) << i;
        ASSERT_NEAR(r[i], g * r0[i - 3], 1e-5) << i;
    }
}

TEST(OvEffectEQ3, BandGainsActOnTheirOwnFrequencies)
{
    struct Case {
        uint32_t cut;
        double hz;
        bool reduced;
    };
    const Case cases[] = {
        {kLowGain, 100.0, true}, {kLowGain, 12000.0, false},
        {kHighGain, 12000.0, true}, {kHighGain, 100.0, false},
    };
    for (const Case& c : cases) {
        OvEffectEQ3 eq;
        eq.SetParam(c.cut, -60.0f);
        auto l = Sine(8820, c.hz, 1.0f);
        auto r = l;
        eq.Process(l.data(), r.data(), 8820);
        const float peak = Peak(l, 4410);
        if (c.reduced)
            EXPECT_LT(peak, 0.5f) << c.hz;
        else
            EXPECT_GT(peak, 0.9f) << c.hz;
    }
}

TEST(OvEffect, AudioThreadOperationsAllocateNothing)
{
    OvEffectComp comp;
    OvEffectEQ3 eq;
    eq.SetParam(kLowGain, 3.0f);
    auto l = Noise(7000, 1.0f, 1), r = Noise(7000, 1.0f, 2);
    kivtest::AllocCounter counter;
    for (int i = 0; i < 10; ++i) {
        comp.SetParam(kThreshold, -20.0f + i);
        comp.SetParam(kAttack, 0.01f * i);
        comp.SetSampleRate(48000.0f);
        eq.SetParam(kHighGain, static_cast<float>(i));
        comp.Process(l.data(), r.data(), 7000);
        eq.Process(l.data(), r.data(), 7000);
    }
    EXPECT_EQ(counter.Count(), 0);
}

TEST(OvEffect, ParametersChangeWhileTheAudioThreadProcesses)
{
    OvEffectComp comp;
    OvEffectEQ3 eq;
    std::atomic<bool> done{false};
    std::thread audio([&] {
        auto l = Noise(512, 1.0f, 1), r = Noise(512, 1.0f, 2);
        for (int block = 0; block < 400; ++block) {
            comp.Process(l.data(), r.data(), 512);
            eq.Process(l.data(), r.data(), 512);
            for (float& x : l)
                x = std::clamp(x, -1.0f, 1.0f);
            for (float& x : r)
                x = std::clamp(x, -1.0f, 1.0f);
        }
        EXPECT_TRUE(AllFinite(l) && AllFinite(r));
        done.store(true, std::memory_order_release);
    });
    for (int i = 0; !done.load(std::memory_order_acquire); ++i) {
        comp.SetParam(kThreshold, -30.0f + static_cast<float>(i % 30));
        comp.SetParam(kRatio, 1.0f + static_cast<float>(i % 10));
        comp.SetSampleRate(i % 2 ? 44100.0f : 48000.0f);
        eq.SetParam(kMidGain, static_cast<float>(i % 12) - 6.0f);
        (void)comp.GetParam(kRatio, 0.0f);
        std::this_thread::yield();
    }
    audio.join();
}
