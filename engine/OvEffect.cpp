// Process, SetParam, ApplyParam and SetSampleRate run on the audio thread or
// alongside it: noexcept, no allocation, no lock. Only the constructors
// (building the parameter list) and Archive allocate.
#include "engine/OvEffect.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <numbers>

#include "engine/OvEngine.h"

using namespace ovfx;

namespace {

bool IsFinite(float v) noexcept { return v - v == 0.0f; }

float DbToFactor(float db, float maxDb, float divisor) noexcept
{
    return static_cast<float>(std::pow(10.0, std::clamp(db, -maxDb, maxDb) / divisor));
}

float Seconds(float t) noexcept { return std::clamp(t, 0.0f, kMaxSeconds); }

// The detector's input: NaN and infinity count as silence, so one bad sample
// does not poison the running sum for good.
double Detect(float l, float r) noexcept
{
    float x = std::max(std::fabs(l), std::fabs(r));
    if (!(x <= FLT_MAX))
        x = 0.0f;
    return static_cast<double>(x) * x;
}

// A one-pole coefficient of the equaliser: 2 sin(pi f / 44100).
float Coefficient(double hz) noexcept
{
    return static_cast<float>(2.0 * std::sin(std::numbers::pi * hz / static_cast<double>(kStartRate)));
}

}  // namespace

// ---------------------------------------------------------------- OvEffect

OvEffect::~OvEffect()
{
    // Unlink iteratively: no recursion through the chain of owners.
    while (m_head)
        m_head = std::move(m_head->next);
}

void OvEffect::AddParam(uint32_t code, float value)
{
    auto node = std::make_unique<Param>();
    node->code = code;
    node->value.store(value, std::memory_order_relaxed);
    node->start = value;
    node->next = std::move(m_head);
    m_head = std::move(node);
}

OvEffect::Param* OvEffect::Find(uint32_t code) const noexcept
{
    for (Param* p = m_head.get(); p; p = p->next.get())
        if (p->code == code)
            return p;
    return nullptr;
}

void OvEffect::SetParam(uint32_t code, float value) noexcept
{
    Param* p = Find(code);
    if (!p || !IsFinite(value))
        return;
    p->value.store(value, std::memory_order_relaxed);
    ApplyParam(code, value);
}

float OvEffect::GetParam(uint32_t code, float absent) const noexcept
{
    const Param* p = Find(code);
    return p ? p->value.load(std::memory_order_relaxed) : absent;
}

bool OvEffect::HasParam(uint32_t code) const noexcept { return Find(code) != nullptr; }

void OvEffect::Archive(ArchiFile* archive)
{
    if (!archive)
        return;
    for (Param* p = m_head.get(); p; p = p->next.get()) {
        float v = p->value.load(std::memory_order_relaxed);
        if (archive->ExchangeFloat(v, p->code) && archive->IsLoading())
            SetParam(p->code, v);
    }
}

// ------------------------------------------------------------ OvEffectComp

OvEffectComp::OvEffectComp()
{
    AddParam(kThreshold, kThresholdStart);
    AddParam(kRatio, kRatioStart);
    AddParam(kAttack, kAttackStart);
    AddParam(kRelease, kReleaseStart);
    AddParam(kMakeUp, kMakeUpStart);
    ApplyParam(kThreshold, kThresholdStart);
    ApplyParam(kRatio, kRatioStart);
    ApplyParam(kAttack, kAttackStart);
    ApplyParam(kRelease, kReleaseStart);
    ApplyParam(kMakeUp, kMakeUpStart);
}

OvEffectComp::~OvEffectComp() = default;

void OvEffectComp::UpdateAttack(float seconds) noexcept
{
    const double rate = m_rate.load(std::memory_order_relaxed);
    const double f = std::exp(-kTimeLog / (rate * Seconds(seconds) + 0.5));
    m_attackFactor.store(static_cast<float>(std::min(f, static_cast<double>(FLT_MAX))), std::memory_order_relaxed);
}

void OvEffectComp::UpdateRelease(float seconds) noexcept
{
    const double rate = m_rate.load(std::memory_order_relaxed);
    const double f = std::exp(kTimeLog / (rate * Seconds(seconds) + 0.5));
    m_releaseFactor.store(static_cast<float>(f), std::memory_order_relaxed);
}

void OvEffectComp::ApplyParam(uint32_t code, float value) noexcept
{
    switch (code) {
    case kAttack:
        UpdateAttack(value);
        break;
    case kRelease:
        UpdateRelease(value);
        break;
    case kMakeUp:
        m_makeUpFactor.store(DbToFactor(value, kMaxGainDb, 20.0f), std::memory_order_relaxed);
        break;
    case kThreshold:
        m_thresholdFactor.store(DbToFactor(value, kMaxThresholdDb, 10.0f), std::memory_order_relaxed);
        break;
    case kRatio:
        // A ratio of 0 would divide by zero, a negative one would amplify
        // loud signals: below 1 means no compression.
        m_ratio.store(std::clamp(value, kMinRatio, kMaxRatio), std::memory_order_relaxed);
        break;
    default:
        break;
    }
}

void OvEffectComp::SetSampleRate(float rate) noexcept
{
    if (!(rate > 0.0f) || !IsFinite(rate))
        return;
    m_rate.store(rate, std::memory_order_relaxed);
    UpdateAttack(GetParam(kAttack, kAttackStart));
    UpdateRelease(GetParam(kRelease, kReleaseStart));
}

void OvEffectComp::Process(float* left, float* right, int frames) noexcept
{
    if (!left || !right || frames <= 0)
        return;
    OvDenormalGuard denormals;
    Factors f;
    f.threshold = m_thresholdFactor.load(std::memory_order_relaxed);
    f.invRatio = 1.0f / m_ratio.load(std::memory_order_relaxed);
    f.makeUp = m_makeUpFactor.load(std::memory_order_relaxed);
    f.attack = m_attackFactor.load(std::memory_order_relaxed);
    f.release = m_releaseFactor.load(std::memory_order_relaxed);
    while (frames > 0) {
        const int n = std::min(frames, kPieceFrames);
        ProcessPiece(left, right, n, f);
        left += n;
        right += n;
        frames -= n;
    }
}

void OvEffectComp::PrimeDetector(const float* left, const float* right, int frames) noexcept
{
    const int n = std::min(frames, kDetectorFrames);
    for (int i = 0; i < n; ++i)
        m_ring[static_cast<size_t>(i)] = Detect(left[i], right[i]);
    m_sum = 0.0;
    for (double v : m_ring)
        m_sum += v;
    m_pos = 0;
}

void OvEffectComp::ProcessPiece(float* left, float* right, int frames, const Factors& f) noexcept
{
    if (m_envelope == 0.0f)
        PrimeDetector(left, right, frames);

    float e = m_envelope;
    for (int i = 0; i < frames; ++i) {
        const double sq = Detect(left[i], right[i]);
        double& slot = m_ring[static_cast<size_t>(m_pos)];
        m_sum += sq - slot;
        slot = sq;
        if (++m_pos == kDetectorFrames) {
            m_pos = 0;
            m_sum = 0.0;
            for (double v : m_ring)
                m_sum += v;
        }
        const float level = static_cast<float>(std::sqrt(std::max(m_sum, 0.0) / kDetectorFrames));

        const float floor = std::max(kEnvelopeFloor, e * f.release);
        if (level < floor) {
            e = floor;
        } else {
            const bool rising = level >= e * f.attack;
            e = level;
            if (rising) {
                // Look back: earlier values of this piece rise towards the
                // new level along the attack slope, as far as they are lower.
                float v = level;
                const int stop = std::max(0, i - kLookBackFrames);
                for (int j = i - 1; j >= stop; --j) {
                    v /= f.attack;
                    if (!(m_envelopes[static_cast<size_t>(j)] < v))
                        break;
                    m_envelopes[static_cast<size_t>(j)] = v;
                }
            }
        }
        m_envelopes[static_cast<size_t>(i)] = e;
    }
    m_envelope = e;

    for (int i = 0; i < frames; ++i) {
        const float env = m_envelopes[static_cast<size_t>(i)];
        float g = f.makeUp;
        if (env > f.threshold)
            g *= std::pow(f.threshold / env, f.invRatio);
        left[i] *= g;
        right[i] *= g;
    }
}

// ------------------------------------------------------------- OvEffectEQ3

OvEffectEQ3::OvEffectEQ3() : m_kLow(Coefficient(kLowCrossover)), m_kHigh(Coefficient(kHighCrossover))
{
    AddParam(kLowGain, 0.0f);
    AddParam(kMidGain, 0.0f);
    AddParam(kHighGain, 0.0f);
}

OvEffectEQ3::~OvEffectEQ3() = default;

void OvEffectEQ3::SetSampleRate(float) noexcept {}

void OvEffectEQ3::ApplyParam(uint32_t code, float value) noexcept
{
    const float g = DbToFactor(value, kMaxGainDb, 20.0f);
    switch (code) {
    case kLowGain:
        m_lowGain.store(g, std::memory_order_relaxed);
        break;
    case kMidGain:
        m_midGain.store(g, std::memory_order_relaxed);
        break;
    case kHighGain:
        m_highGain.store(g, std::memory_order_relaxed);
        break;
    default:
        break;
    }
}

void OvEffectEQ3::Process(float* left, float* right, int frames) noexcept
{
    if (!left || !right || frames <= 0)
        return;
    const float gLow = m_lowGain.load(std::memory_order_relaxed);
    const float gMid = m_midGain.load(std::memory_order_relaxed);
    const float gHigh = m_highGain.load(std::memory_order_relaxed);
    if (gLow == 1.0f && gMid == 1.0f && gHigh == 1.0f)
        return;
    OvDenormalGuard denormals;
    ProcessChannel(m_left, left, frames, gLow, gMid, gHigh);
    ProcessChannel(m_right, right, frames, gLow, gMid, gHigh);
}

void OvEffectEQ3::ProcessChannel(Channel& c, float* samples, int frames, float gLow, float gMid,
                                 float gHigh) const noexcept
{
    float lo[kEQStages], hi[kEQStages], dl[kEQDelay];
    std::copy(std::begin(c.low), std::end(c.low), lo);
    std::copy(std::begin(c.high), std::end(c.high), hi);
    std::copy(std::begin(c.delay), std::end(c.delay), dl);
    const float kL = m_kLow;
    const float kH = m_kHigh;
    for (int i = 0; i < frames; ++i) {
        const float x = samples[i];
        float low = x;
        float lp = x;
        for (int s = 0; s < kEQStages; ++s) {
            lo[s] += (low - lo[s]) * kL;
            low = lo[s];
            hi[s] += (lp - hi[s]) * kH;
            lp = hi[s];
        }
        const float d = dl[kEQDelay - 1];
        for (int k = kEQDelay - 1; k > 0; --k)
            dl[k] = dl[k - 1];
        dl[0] = x;
        const float high = d - lp;
        const float mid = d - high - low;
        samples[i] = gLow * low + gMid * mid + gHigh * high;
    }
    // One NaN or infinity in the input would stay in the filters for good:
    // start them again from silence instead.
    bool finite = true;
    for (int s = 0; s < kEQStages; ++s)
        finite = finite && IsFinite(lo[s]) && IsFinite(hi[s]);
    for (int k = 0; k < kEQDelay; ++k)
        finite = finite && IsFinite(dl[k]);
    if (!finite) {
        c = Channel{};
        return;
    }
    std::copy(lo, lo + kEQStages, c.low);
    std::copy(hi, hi + kEQStages, c.high);
    std::copy(dl, dl + kEQDelay, c.delay);
}
