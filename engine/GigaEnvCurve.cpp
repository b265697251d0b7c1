// Audio thread throughout: noexcept, no allocation, no lock.
#include "engine/GigaEnvCurve.h"

#include <algorithm>
#include <climits>
#include <cmath>

#include "engine/GigaPart.h"
#include "engine/GigaZone.h"
#include "engine/OvEngine.h"

using namespace gigaenv;

namespace {

// A time from a file or a stored offset: NaN and negatives mean none,
// anything huge is cut to a bound the step counts can hold.
float SaneSeconds(float t) noexcept
{
    if (!(t > 0.0f))
        return 0.0f;
    return std::min(t, kMaxSeconds);
}

int SaneDepth(int depth) noexcept { return std::clamp(depth, 0, kMaxDepth); }

}  // namespace

GigaEnvBlock GigaEnvBlock::OfZone(const GigaZone& zone) noexcept
{
    GigaEnvBlock b;
    b.attack = zone.ampAttack;
    b.decay = zone.ampDecay;
    b.sustain = zone.ampSustain;
    b.release = zone.ampRelease;
    b.invert = zone.ampControllerInvert;
    b.attackDepth = zone.ampAttackInfluence;
    b.decayDepth = zone.ampDecayInfluence;
    b.releaseDepth = zone.ampReleaseInfluence;
    return b;
}

GigaEnvOffsets GigaEnvOffsets::OfPart(const GigaPart& part) noexcept
{
    GigaEnvOffsets o;
    o.attack = part.ampSettings[GigaPart::kAttack];
    o.decay = part.ampSettings[GigaPart::kDecay];
    o.sustain = part.ampSettings[GigaPart::kSustain];
    o.release = part.ampSettings[GigaPart::kRelease];
    return o;
}

void GigaEnvCurve::Setup(const GigaZone& zone, const GigaPart* part, int controllerValue,
                         int divider) noexcept
{
    Setup(GigaEnvBlock::OfZone(zone), part ? GigaEnvOffsets::OfPart(*part) : GigaEnvOffsets{},
          controllerValue, divider);
}

void GigaEnvCurve::Setup(const GigaEnvBlock& zone, const GigaEnvOffsets& part, int controllerValue,
                         int divider) noexcept
{
    if (divider <= 0)
        divider = kControlDivider;
    m_rate = OvEngine::GetOutputRate() / static_cast<float>(divider);

    m_block = zone;
    m_block.attackDepth = SaneDepth(zone.attackDepth);
    m_block.decayDepth = SaneDepth(zone.decayDepth);
    m_block.releaseDepth = SaneDepth(zone.releaseDepth);
    m_block.attack = SaneSeconds(zone.attack + part.attack);
    m_block.decay = SaneSeconds(zone.decay + part.decay);
    m_block.sustain = zone.sustain + part.sustain;
    m_block.release = SaneSeconds(zone.release + part.release);
    // Kept at the floor the release is clamped to, so that a controller or a
    // shortening later never makes a release of zero or negative length.
    m_keptRelease = std::max(m_block.release, kMinReleaseSeconds);

    m_controller = controllerValue < 0 ? -1 : std::min(controllerValue, static_cast<int>(kControllerMax));
    if (m_controller >= 0) {
        m_block.attack *= ControllerScale(m_block.attackDepth, m_controller);
        m_block.decay *= ControllerScale(m_block.decayDepth, m_controller);
        m_block.release *= ControllerScale(m_block.releaseDepth, m_controller);
    }

    if (!(m_block.sustain >= kMinSustain))  // NaN too
        m_block.sustain = kMinSustain;
    m_block.sustain = std::min(m_block.sustain, 1.0f);
    if (m_block.sustain < 1.0f)
        m_block.decay = std::max(m_block.decay, kMinDecaySeconds);
    m_block.release = std::max(m_block.release, kMinReleaseSeconds);
    m_block.attack *= kAttackScale;
    m_block.decay *= kDecayScale;
    m_block.release *= kReleaseScale;

    EnterAttack();
}

// f x K(d) + 1 - f, with f the controller's position (inverted when the zone
// says so); 1 when the time has no depth.
float GigaEnvCurve::ControllerScale(int depth, int value) const noexcept
{
    if (depth == 0 || value < 0)
        return 1.0f;
    float f = static_cast<float>(std::min(value, static_cast<int>(kControllerMax))) / kControllerMax;
    if (m_block.invert)
        f = 1.0f - f;
    return f * kDepthFactor[depth] + 1.0f - f;
}

int GigaEnvCurve::Steps(double count) const noexcept
{
    if (!(count > 0.0))
        return 0;
    return static_cast<int>(std::min(count, static_cast<double>(INT_MAX / 2)));
}

void GigaEnvCurve::EnterAttack() noexcept
{
    const float t = m_block.attack;
    m_steps = t > 0.0f ? Steps(static_cast<double>(t) * m_rate) : 0;
    // An attack shorter than one control step is no attack (1 / 0 otherwise).
    if (m_steps < 1) {
        EnterDecay();
        return;
    }
    m_stage = kAttack;
    m_level = 0.0f;
    m_delta = 1.0f / static_cast<float>(m_steps);
}

void GigaEnvCurve::EnterDecay() noexcept
{
    const float t = m_block.decay;
    if (!(t > kDecayMinSeconds) || m_block.sustain >= 1.0f) {
        EnterSustain();
        return;
    }
    const double n = static_cast<double>(t) * m_rate;
    m_steps = Steps(n);
    if (m_steps < 1) {
        EnterSustain();
        return;
    }
    m_stage = kDecay;
    m_level = 1.0f;
    // The first-order factor turns negative when there are fewer steps than
    // the decay has to fall in nepers (a low rate); it never goes below 0.
    const double factor = std::log(static_cast<double>(m_block.sustain)) / (n + 1.0) + 1.0;
    m_delta = static_cast<float>(std::clamp(factor, 0.0, 1.0));
}

void GigaEnvCurve::EnterSustain() noexcept
{
    m_stage = kSustain;
    m_level = m_block.sustain;
    m_steps = 0;
    m_delta = 0.0f;
}

void GigaEnvCurve::EnterRelease() noexcept
{
    // A level at 0.2 has nothing to fall linearly: straight to the tail, not a
    // hold at 0.2 for the whole step bound.
    if (!(m_level > kTailLevel)) {
        EnterTail();
        return;
    }
    m_stage = kRelease;
    ReleaseStep();
    if (m_steps < 1)
        EnterTail();
}

void GigaEnvCurve::ReleaseStep() noexcept
{
    const double tr = static_cast<double>(m_block.release) * m_rate;
    m_steps = Steps(tr * kReleaseStepsScale);
    m_delta = static_cast<float>((m_level - kTailLevel) / (tr + 1.0));
}

void GigaEnvCurve::EnterTail() noexcept
{
    if (!(m_level >= kEndLevel)) {
        m_stage = kFinished;
        m_level = 0.0f;
        return;
    }
    m_stage = kTail;
    m_steps = 0;
    TailStep();
}

void GigaEnvCurve::TailStep() noexcept
{
    const double tr = static_cast<double>(m_block.release) * m_rate;
    const double factor =
        (std::log(static_cast<double>(kTailTarget)) - std::log(static_cast<double>(m_level))) / (tr + 1.0) + 1.0;
    m_delta = static_cast<float>(std::clamp(factor, 0.0, 1.0));
}

bool GigaEnvCurve::StartRelease() noexcept
{
    if (m_stage == kFinished)
        return false;
    EnterRelease();
    return m_stage != kFinished;
}

bool GigaEnvCurve::FastRelease() noexcept
{
    if (m_stage == kFinished)
        return false;
    m_block.release = kFastReleaseSeconds;
    EnterTail();
    return m_stage == kTail;
}

void GigaEnvCurve::ShortenRelease() noexcept
{
    m_block.release = std::min(m_keptRelease * kShortenFactor, kShortenMaxSeconds) * kReleaseScale;
    if (m_stage == kRelease)
        ReleaseStep();
    else if (m_stage == kTail)
        TailStep();
}

void GigaEnvCurve::ControllerChanged(int value) noexcept
{
    if (m_block.releaseDepth == 0 || value < 0)
        return;
    m_block.release = ControllerScale(m_block.releaseDepth, value) * m_keptRelease * kReleaseScale;
    if (m_stage == kRelease)
        ReleaseStep();
}

int GigaEnvCurve::Render(float* out, int steps, float gain) noexcept
{
    return Fill(out, steps, gain, 0.0f);
}

int GigaEnvCurve::RenderRamp(float* out, int steps, float gainFrom, float gainTo) noexcept
{
    if (steps <= 0)
        return Fill(out, steps, gainTo, 0.0f);
    const float step = (gainTo - gainFrom) / static_cast<float>(steps);
    return Fill(out, steps, gainFrom + step, step);
}

namespace {

// The gains the steps' levels are multiplied by: a ramp (each further step
// adds a fixed amount) or one gain per step.
struct RampGain {
    float gain, step;
    float Get() const noexcept { return gain; }
    void Advance() noexcept { gain += step; }
};

struct ListGain {
    const float* at;
    float Get() const noexcept { return *at; }
    void Advance() noexcept { ++at; }
};

}  // namespace

// Walks the envelope over up to `steps` control steps, out[i] = level x gain.
// With stopAtEnd the walk ends after the step that finishes the envelope;
// returns the steps written.
template <class Gain>
int GigaEnvCurve::Walk(float* out, int steps, Gain gain, bool stopAtEnd) noexcept
{
    if (m_stage == kFinished)
        return 0;
    if (!out || steps <= 0)
        return 0;
    bool fellBelow = false;
    int i = 0;
    while (i < steps && !(stopAtEnd && fellBelow)) {
        const float g = gain.Get();
        switch (m_stage) {
        case kAttack:
            m_level += m_delta;
            out[i] = m_level * g;
            if (--m_steps <= 0)
                EnterDecay();
            break;
        case kDecay:
            m_level *= m_delta;
            out[i] = m_level * g;
            if (--m_steps <= 0)
                EnterSustain();
            break;
        case kSustain:
            out[i] = m_level * g;
            break;
        case kRelease: {
            const float next = m_level - m_delta;
            if (next < kTailLevel) {
                // The crossing step writes nothing: the tail takes this slot.
                EnterTail();
                continue;
            }
            m_level = next;
            out[i] = m_level * g;
            if (--m_steps <= 0)
                EnterTail();
            break;
        }
        case kTail:
            m_level *= m_delta;
            out[i] = m_level * g;
            if (m_level < kFinishLevel)
                fellBelow = true;
            break;
        default:
            out[i] = 0.0f;
            break;
        }
        gain.Advance();
        ++i;
    }
    if (fellBelow) {
        m_stage = kFinished;
        m_level = 0.0f;
    }
    return i;
}

int GigaEnvCurve::Fill(float* out, int steps, float gain, float gainStep) noexcept
{
    return Walk(out, steps, RampGain{gain, gainStep}, false);
}

int GigaEnvCurve::Shape(float* out, int steps, const float* gains) noexcept
{
    return gains ? Walk(out, steps, ListGain{gains}, true) : 0;
}
