// Audio-thread functions here (Start, Render and everything they call, the
// stream hand-over) are noexcept, allocate nothing and take no lock; only
// offline rendering waits, in bounded 2 ms steps, for a stream.
#include "engine/GigaVoice.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <thread>

#include "engine/AudioBuffers.h"
#include "engine/GigaDiskThread.h"
#include "engine/GigaPart.h"
#include "engine/GigaSample.h"
#include "engine/GigaStream.h"
#include "engine/GigaStreamConstants.h"
#include "engine/GigaTone.h"
#include "engine/GigaVoiceStages.h"
#include "engine/GigaVoiceWide.h"
#include "engine/GigaZone.h"
#include "engine/OvEngine.h"

using namespace gigavoice;

namespace {

// How far into the block's gain (and cutoff) ramp control step `step` is.
float StepShare(int step, int blockSteps) noexcept
{
    return static_cast<float>(std::min(step, blockSteps)) / blockSteps;
}

// The two velocity-curve tables: F at full scale, Z at zero scale. Index =
// (curve x 5 + depthIndex) x 43 + step; depth index 0 is full velocity
// response, 4 none (every value 1).
struct VelocityTables {
    float full[kCurves * kDepths * kCurveSteps];
    float zero[kCurves * kDepths * kCurveSteps];

    static double FullCurve(int curve, double x)
    {
        switch (curve) {
        case 0:
            return 0.0527 * std::pow(1.34 / 0.0527, x);  // steep, above 1 at the top
        case 1:
            return 0.05 + 0.95 * x;
        default:
            return 0.05 + 0.95 * std::sqrt(x);
        }
    }

    static double ZeroCurve(int curve, double x)
    {
        switch (curve) {
        case 0: {
            // Flat up to step 24, then rising to 1.
            const double knee = 24.0 / 42.0;
            const double t = x <= knee ? 0.0 : (x - knee) / (1.0 - knee);
            return 0.014 + 0.986 * t * t;
        }
        case 1:
            return 0.014 + 0.986 * x * x;
        default:
            return 0.014 + 0.986 * x;
        }
    }

    VelocityTables()
    {
        for (int c = 0; c < kCurves; ++c) {
            for (int d = 0; d < kDepths; ++d) {
                const double depth = 1.0 - d / 4.0;
                for (int s = 0; s < kCurveSteps; ++s) {
                    const double x = s / static_cast<double>(kCurveSteps - 1);
                    const int i = (c * kDepths + d) * kCurveSteps + s;
                    full[i] = static_cast<float>((1.0 - depth) + depth * FullCurve(c, x));
                    zero[i] = static_cast<float>((1.0 - depth) + depth * ZeroCurve(c, x));
                }
            }
        }
    }
};

const VelocityTables g_velocity;

// A value from a file or a stored setting: NaN and infinities count as 0.
float Sane(float v) noexcept { return std::isfinite(v) ? v : 0.0f; }

float Clamp01(float v) noexcept { return std::clamp(Sane(v), 0.0f, 1.0f); }

int ClampController(int v) noexcept { return std::clamp(v, 0, kControllerMax); }

// The bus a voice writes to, or -1 when none can take it.
int PickBus(const audio::Buffers* buses, int toneBus, int wanted) noexcept
{
    if (!buses)
        return -1;
    const int count = buses->GetBusCount();
    if (wanted >= 0 && wanted < count)
        return wanted;
    return (toneBus >= 0 && toneBus < count) ? toneBus : -1;
}

}  // namespace

// ---------------------------------------------------------------- curves

float GigaVoice::VelocityCurve(int curve, float scale, float depth, int velocity) noexcept
{
    const int v = std::clamp(velocity, 1, 127);
    curve = std::clamp(curve, 0, kCurves - 1);
    depth = Clamp01(depth);
    const int depthIndex = std::min(static_cast<int>((1.0f - depth) * 4.0f + 0.5f), kDepths - 1);
    const int step = (v - 1) / 3;
    const int r = (v - 1) % 3;
    const float w = r * 0.25f;
    const int base = (curve * kDepths + depthIndex) * kCurveSteps + step;
    auto read = [&](const float* table) {
        return r == 0 ? table[base] : (1.0f - w) * table[base] + w * table[base + 1];
    };
    if (!std::isfinite(scale) || scale < 0.0f)
        scale = 1.0f;
    float g;
    if (scale >= 1.0f) {
        if (scale > 1.0f && v < kVelocityScaleKnee)
            scale *= 1.0f - static_cast<float>(kVelocityScaleKnee - v) / kVelocityScaleSoftening;
        g = read(g_velocity.full) * scale;
    } else {
        g = (1.0f - scale) * read(g_velocity.zero) + scale * read(g_velocity.full);
    }
    return std::clamp(g, 0.0f, 1.0f);
}

float GigaVoice::CrossfadeGain(int value, bool invert) noexcept
{
    float x = ClampController(value) / static_cast<float>(kControllerMax);
    if (!invert)
        x = 1.0f - x;
    const float a = x * kHalfPi;
    const float a2 = a * a;
    return std::clamp((a2 * kCosC4 + kCosC2) * a2 + kCosC0, 0.0f, 1.0f);
}

bool GigaVoice::FilterCoefficients(float cutoff, float out[5]) noexcept
{
    if (!(cutoff >= kFilterMinCutoff))
        return false;
    const float a = std::min(std::pow(cutoff, 1.5f) * 0.55f + 0.005f, kFilterMaxA);
    const float g = std::pow(a, 1.8f);
    out[0] = g;
    out[1] = 2.0f * g;
    out[2] = g;
    out[3] = 4.0f * a - 2.0f;
    out[4] = std::pow(std::fabs(1.0f - 2.0f * a), 2.4f) * 0.8284f + 0.1716f;
    return true;
}

// ---------------------------------------------------------------- start

void GigaVoice::ScaleAmplitude(float gain) noexcept
{
    m_amplitude *= Clamp01(gain);
}

void GigaVoice::ShortenReleaseOnce() noexcept
{
    if (m_shortened)
        return;
    m_shortened = true;
    m_env.ShortenRelease();
}

float GigaVoice::LevelProduct() const noexcept
{
    const float tone = std::clamp(Sane(m_gigaTone->GetLevel()), 0.0f, kLevelMax);
    const GigaPart* part = GetPart();
    const float level = part ? static_cast<float>(std::clamp(part->level.Load(), 0, 127)) : kLevelMax;
    return tone * level;
}

int GigaVoice::CrossfadeValue() const noexcept
{
    const int value = m_xfadeController == kCtrlVelocity ? GetVelocity()
                                                         : m_gigaTone->GetController(m_xfadeController);
    return ClampController(std::max(value, m_gigaZone->attenuationThreshold));
}

void GigaVoice::ComputePan(int busShift) noexcept
{
    m_panPosition = std::clamp(m_basePan + busShift, -kPanRange, kPanRange);
    const float range = static_cast<float>(kPanRange);
    m_leftGain = m_panPosition > 0 ? (kPanRange - m_panPosition) / range : 1.0f;
    m_rightGain = m_panPosition < 0 ? (m_panPosition + kPanRange) / range : 1.0f;
}

void GigaVoice::ComputeRatio(int bend) noexcept
{
    const GigaPart* part = GetPart();
    const int bendRange = part ? part->bend : 0;
    double ratio = m_baseRatio;
    if (bend != 0 && bendRange != 0)
        ratio *= std::pow(kSemitone, static_cast<double>(bend) * bendRange / kBendCentre);
    if (!std::isfinite(ratio))
        ratio = ratio > 0.0 ? kMaxRatio : 1.0;
    m_ratio = std::clamp(ratio, kMinRatio, kMaxRatio);
    m_bendApplied = bend;
}

void GigaVoice::SetupFilter() noexcept
{
    const GigaZone& zone = *m_gigaZone;
    const GigaPart* part = GetPart();
    for (auto& channel : m_filterState)
        std::fill(std::begin(channel), std::end(channel), 0.0f);
    FilterCoefficients(kFilterStartCutoff, m_coef);
    m_filterOn = zone.filterOn || (part && part->filterUse != 0);
    const float partVelocity = part ? Sane(part->filterSettings[GigaPart::kVelocity]) : 0.0f;
    m_cutoffVelocity = VelocityCurve(zone.filterVelocityCurve, 1.0f,
                                     partVelocity + Sane(zone.filterVelocityDepth), GetVelocity());
    m_cutoffController = (zone.cutoffController > 0 && zone.cutoffController <= kControllerMax)
                             ? zone.cutoffController
                             : 0;
    if (m_cutoffController) {
        m_cutoffValue = ClampController(m_gigaTone->GetController(m_cutoffController));
        float c = m_cutoffValue / static_cast<float>(kControllerMax);
        if (zone.cutoffControllerInvert)
            c = 1.0f - c;
        m_cutoff = m_cutoffVelocity * c;
    } else {
        const float partCutoff = part ? Sane(part->filterSettings[GigaPart::kLevel]) : 0.0f;
        m_cutoff = m_cutoffVelocity * (partCutoff + Sane(zone.filterCutoff));
    }
    m_cutoff = Sane(m_cutoff);
    if (m_filterOn)
        FilterCoefficients(m_cutoff, m_coef);
}

void GigaVoice::Start() noexcept
{
    LeaveStream();
    m_playable = false;
    m_offered = false;
    m_region = nullptr;
    m_shortened = false;
    m_firstBlock = true;
    m_envLeft = 0;
    m_envValue = 0.0f;
    m_busLevel = -1.0f;
    m_busPan = -2.0f;
    m_carryCount = 0;
    m_amplitude = 0.0f;
    m_gigaTone = static_cast<GigaTone*>(GetTone());
    m_gigaZone = static_cast<GigaZone*>(GetZone());
    m_sample = m_gigaZone ? m_gigaZone->GetSample() : nullptr;
    if (!m_gigaTone || !m_sample || !m_sample->IsUsable() || !m_sample->GetLeft())
        return;
    if (!m_gigaTone->GetScratchLeft() || !m_gigaTone->GetScratchRight())
        return;
    const GigaZone& zone = *m_gigaZone;
    const GigaSample& sample = *m_sample;
    const GigaPart* part = GetPart();
    const int velocity = GetVelocity();
    SetIgnoresSustain(zone.m_aux != 0);

    // Amplitude from the velocity curve.
    const float partVelocity = part ? Sane(part->ampSettings[GigaPart::kVelocity]) : 0.0f;
    const float curve = VelocityCurve(zone.velocityCurve, zone.velocityScale,
                                      Sane(zone.velocityDepth) + partVelocity, velocity);
    m_amplitude = std::max(Sane(curve * zone.m_gain * kAmplitudeScale), 0.0f);

    // Level.
    m_levelProduct = LevelProduct();
    m_levelGain = m_levelProduct * m_levelProduct * kLevelGainScale;

    // Pan.
    const int tonePan = std::clamp(m_gigaTone->GetPan(), 0, kControllerMax);
    const int partPan = part ? std::clamp(part->pan.Load(), 0, kControllerMax) : kPanRange;
    m_basePan = tonePan + std::clamp(zone.pan, 0, kControllerMax) + partPan - kPanCentreSum;
    ComputePan(0);

    // Crossfade.
    m_xfadeController = zone.attenuationController;
    if (m_xfadeController != kCtrlVelocity && (m_xfadeController <= 0 || m_xfadeController > kControllerMax))
        m_xfadeController = 0;
    m_xfadeGain = 1.0f;
    m_xfadeValue = -1;
    if (m_xfadeController) {
        m_xfadeValue = CrossfadeValue();
        m_xfadeGain = CrossfadeGain(m_xfadeValue, zone.attenuationControllerInvert);
    }

    // Envelope.
    int envController = -1;
    if (zone.ampController == kCtrlVelocity)
        envController = velocity;
    else if (zone.ampController > 0 && zone.ampController <= kControllerMax)
        envController = ClampController(m_gigaTone->GetController(zone.ampController));
    m_envController = envController;
    m_env.Setup(zone, part, envController, kControlFrames);

    // Sample.
    m_memLeft = sample.GetLeft();
    m_stereo = sample.channels == 2 && sample.GetRight();
    m_memRight = m_stereo ? sample.GetRight() : nullptr;
    m_memFrames = std::min(sample.framesInMemory, sample.frames);
    m_looped = sample.LoopsFromMemory();
    m_loopStart = sample.loopStart;
    m_loopEnd = sample.loopEnd;
    if (m_looped && (m_loopStart < 0 || m_loopEnd >= m_memFrames))
        m_looped = false;
    m_streams = !m_looped && m_memFrames < sample.frames;
    m_lastIndex = (m_streams ? sample.frames : m_memFrames) - 1;
    if (m_memFrames < 2 || m_lastIndex < 1)
        return;
    // A start offset inside the streamed part plays from there: the stream
    // then begins at the offset instead of after the memory head.
    m_index = std::clamp<int64_t>(zone.sampleStart, 0, m_streams ? m_lastIndex - 1 : m_memFrames - 2);
    m_startWait = m_streams && m_index >= m_memFrames;
    m_startWaited = 0;
    m_frac = 0.0;
    m_streamNext = m_startWait ? m_index : m_memFrames;

    // Pitch.
    const int unity = zone.unityNote >= 0 ? zone.unityNote : sample.unityNote;
    const int fine = zone.fineTune != 0 ? zone.fineTune : sample.fineTune;
    int key = GetKey();
    if (!zone.keyTracking)
        key = unity;
    const int partTune = part ? part->tuning : 0;
    const double cents = static_cast<double>(fine) + m_gigaTone->GetTotalTune() + partTune;
    double ratio = std::pow(kSemitone, (key - unity) + cents / kCentsPerSemitone);
    const float outRate = OvEngine::GetOutputRate();
    if (sample.sampleRate > 0 && outRate > 0.0f && sample.sampleRate != outRate)
        ratio *= sample.sampleRate / static_cast<double>(outRate);
    m_baseRatio = std::isfinite(ratio) ? std::clamp(ratio, kMinRatio, kMaxRatio) : 1.0;
    ComputeRatio(m_gigaTone->GetBend());

    // Streaming: offer the voice to the disk thread well before memory runs out.
    m_threshold = 0;
    if (m_streams) {
        m_threshold = static_cast<int64_t>(m_memFrames / m_ratio) -
                      static_cast<int64_t>(outRate * kStreamLeadSeconds);
        if (m_threshold <= 0)
            m_threshold = kStreamMinThreshold;
    }

    SetupFilter();
    m_playable = true;
}

GigaVoice::~GigaVoice()
{
    LeaveStream();
}

void GigaVoice::Stop() noexcept
{
    LeaveStream();
    m_playable = false;
    m_offered = false;
}

bool GigaVoice::OfferToDisk(GigaSample* sample) noexcept
{
    uintptr_t slot = m_streamSlot.load(std::memory_order_acquire);
    if (slot != 0 && (slot & 1u) == 0)
        return true;  // a stream is attached already, or none will come
    uint32_t generation;
    if (slot == 0) {
        generation = ++m_generation;
        if (generation == 0)
            generation = ++m_generation;
        m_streamSlot.store(WaitingValue(generation), std::memory_order_release);
    } else {
        generation = static_cast<uint32_t>(slot >> 1);
    }
    GigaDiskThread* disk = GigaDiskThread::Get();
    return disk && disk->PushVoice(this, sample, generation, m_streamNext, ReadPerBlock());
}

int64_t GigaVoice::ReadPerBlock() const noexcept
{
    const GigaPart* part = GetPart();
    const double bendRange = part ? std::fabs(static_cast<double>(part->bend.Load())) : 0.0;
    double top = m_baseRatio * std::pow(kSemitone, bendRange);
    top = std::isfinite(top) ? std::clamp(top, kMinRatio, kMaxRatio) : kMaxRatio;
    const int block = m_blockFrames > 0 ? m_blockFrames : kChunkFrames;
    return static_cast<int64_t>(std::ceil(block * top)) + kInterpolationGuard + 1;
}

GigaStream* GigaVoice::GetStream() const noexcept
{
    uintptr_t slot = m_streamSlot.load(std::memory_order_acquire);
    return IsStreamAddress(slot) ? reinterpret_cast<GigaStream*>(slot) : nullptr;
}

void GigaVoice::LeaveStream() noexcept
{
    uintptr_t old = m_streamSlot.exchange(0, std::memory_order_acq_rel);
    if (IsStreamAddress(old))
        reinterpret_cast<GigaStream*>(old)->SetFinished();
}

bool GigaVoice::IsWaiting() const noexcept
{
    return (m_streamSlot.load(std::memory_order_acquire) & 1u) != 0;
}

bool GigaVoice::IsWaitingForStream(uint32_t generation) const noexcept
{
    return m_streamSlot.load(std::memory_order_acquire) == WaitingValue(generation);
}

bool GigaVoice::AttachStream(GigaStream* stream, uint32_t generation) noexcept
{
    uintptr_t expected = WaitingValue(generation);
    return m_streamSlot.compare_exchange_strong(expected, reinterpret_cast<uintptr_t>(stream),
                                                std::memory_order_acq_rel);
}

void GigaVoice::DeclineStream(uint32_t generation) noexcept
{
    uintptr_t expected = WaitingValue(generation);
    m_streamSlot.compare_exchange_strong(expected, kStreamDeclined, std::memory_order_acq_rel);
}

// ---------------------------------------------------------------- fetch

int GigaVoice::FetchMemory(int64_t from, int count, float* left, float* right) noexcept
{
    const float scale = giga::kInt16MemoryScale;
    int64_t index = from;
    if (m_looped && index > m_loopEnd)
        index = m_loopStart + (index - m_loopStart) % (m_loopEnd - m_loopStart + 1);
    int done = 0;
    while (done < count) {
        const int64_t end = m_looped ? m_loopEnd + 1 : m_memFrames;
        if (index < 0 || index >= end)
            break;
        const int n = static_cast<int>(std::min<int64_t>(count - done, end - index));
        const int16_t* l = m_memLeft + index;
        for (int i = 0; i < n; ++i)
            left[done + i] = l[i] * scale;
        if (right) {
            const int16_t* r = m_memRight + index;
            for (int i = 0; i < n; ++i)
                right[done + i] = r[i] * scale;
        }
        done += n;
        index += n;
        if (m_looped && index > m_loopEnd)
            index = m_loopStart;
    }
    return done;
}

GigaStream* GigaVoice::WaitForStream() noexcept
{
    if (!m_offered && OfferToDisk(m_sample))
        m_offered = true;
    GigaStream* stream = GetStream();
    if (stream || !OvEngine::IsOffline())
        return stream;
    // Offline the host waits for every sample: so does the voice, bounded,
    // and not for a stream the disk thread declined.
    for (int waited = 0; waited < kOfflineWaitMs; waited += kOfflineWaitStepMs) {
        if (m_streamSlot.load(std::memory_order_acquire) == kStreamDeclined)
            return nullptr;
        std::this_thread::sleep_for(std::chrono::milliseconds(kOfflineWaitStepMs));
        if ((stream = GetStream()) != nullptr)
            return stream;
        if (!m_offered && OfferToDisk(m_sample))
            m_offered = true;
    }
    OvEngine::CountOfflineGiveUp();
    return nullptr;
}

int GigaVoice::ReadStream(float* left, float* right, int count) noexcept
{
    GigaStream* stream = GetStream();
    int got = 0;
    // A short read is the sample's end (or data that did not come in time):
    // what came is played, and the stream is left.
    if (!stream || !stream->Read(left, right, count, &got))
        LeaveStream();
    if (got <= 0)
        return 0;
    count = got;
    m_streamNext += count;
    // Keep the last frames: the next chunk's interpolation starts among them.
    if (count >= kStreamCarry) {
        std::copy(left + count - kStreamCarry, left + count, m_carryLeft);
        if (right)
            std::copy(right + count - kStreamCarry, right + count, m_carryRight);
        m_carryCount = kStreamCarry;
        return count;
    }
    const int keep = std::min(m_carryCount, kStreamCarry - count);
    std::copy(m_carryLeft + m_carryCount - keep, m_carryLeft + m_carryCount, m_carryLeft);
    std::copy(left, left + count, m_carryLeft + keep);
    if (right) {
        std::copy(m_carryRight + m_carryCount - keep, m_carryRight + m_carryCount, m_carryRight);
        std::copy(right, right + count, m_carryRight + keep);
    }
    m_carryCount = keep + count;
    return count;
}

int GigaVoice::FetchStream(int64_t from, int count, float* left, float* right) noexcept
{
    if (!WaitForStream())
        return 0;
    int done = 0;
    if (from < m_streamNext) {
        const int64_t carryStart = m_streamNext - m_carryCount;
        if (from < carryStart)
            return 0;  // behind what is kept: cannot happen with forward play
        const int n = static_cast<int>(std::min<int64_t>(count, m_streamNext - from));
        const int at = static_cast<int>(from - carryStart);
        std::copy(m_carryLeft + at, m_carryLeft + at + n, left);
        if (right)
            std::copy(m_carryRight + at, m_carryRight + at + n, right);
        done = n;
    }
    // Frames the play position jumped over (a ratio above 1) are read and dropped.
    while (done < count && from + done > m_streamNext) {
        const int skip = static_cast<int>(std::min<int64_t>(from + done - m_streamNext, count - done));
        if (ReadStream(left + done, right ? right + done : nullptr, skip) < skip)
            return 0;
    }
    if (done < count)
        done += ReadStream(left + done, right ? right + done : nullptr, count - done);
    return done;
}

int GigaVoice::Fetch(int64_t from, int count, float* left, float* right) noexcept
{
    if (count <= 0 || from < 0)
        return 0;
    if (m_looped)
        return FetchMemory(from, count, left, right);
    if (from > m_lastIndex)
        return 0;
    count = static_cast<int>(std::min<int64_t>(count, m_lastIndex - from + 1));
    int done = 0;
    if (from < m_memFrames)
        done = FetchMemory(from, static_cast<int>(std::min<int64_t>(count, m_memFrames - from)), left, right);
    if (done < count && m_streams)
        done += FetchStream(from + done, count - done, left + done, right ? right + done : nullptr);
    return done;
}

bool GigaVoice::AwaitsStreamStart(int frames) noexcept
{
    if (!m_startWait)
        return false;
    // Offline every read waits for its data anyway.
    if (OvEngine::IsOffline()) {
        m_startWait = false;
        return false;
    }
    if (!m_offered && OfferToDisk(m_sample))
        m_offered = true;
    // Ready once the ring holds a good part of what the next blocks read
    // (or all that is left of the sample).
    const int64_t want =
        std::min<int64_t>(std::max<int64_t>(kStartWaitQueuedFrames, ReadPerBlock()), m_lastIndex + 1 - m_streamNext);
    GigaStream* stream = GetStream();
    const float rate = OvEngine::GetOutputRate();
    if ((stream && stream->BytesQueued() >= want * static_cast<int64_t>(sizeof(float))) ||
        m_startWaited >= static_cast<int64_t>(rate * kStartWaitSeconds)) {
        // Ready, or waited long enough: from here the fetch rules apply.
        m_startWait = false;
        return false;
    }
    m_startWaited += frames;
    return true;
}

void GigaVoice::OfferIfDue() noexcept
{
    if (!m_streams || m_offered)
        return;
    // Past the threshold, or so fast through its head that only a few
    // blocks are left of it: a later offer would find the stream empty.
    const bool headEnding = static_cast<double>(m_memFrames - m_index) <
                            static_cast<double>(kStreamLeadBlocks) * m_blockFrames * m_ratio;
    if (GetFramesRendered() <= m_threshold && !headEnding)
        return;
    if (OfferToDisk(m_sample)) {
        m_offered = true;
        m_threshold = 0;
    }
}

// ---------------------------------------------------------------- render

int GigaVoice::Render(audio::Buffers* buses, int frames) noexcept
{
    if (!m_playable || frames <= 0)
        return 0;
    m_blockFrames = frames;
    // A memory head shorter than what the first block reads (a high note,
    // a long block) would run dry before any stream could come: the note
    // waits for its stream as a start past the head does.
    if (m_streams && !m_offered && GetFramesRendered() == 0 && m_memFrames - m_index < ReadPerBlock())
        m_startWait = true;
    if (AwaitsStreamStart(frames))
        return GetState() == kOvVoicePlaying || GetState() == kOvVoiceSustained ? frames : 0;

    // Releases start here.
    if (GetState() == kOvVoiceReleased) {
        SetState(kOvVoiceReleasing);
        m_env.StartRelease();
    } else if (GetState() == kOvVoiceFastRelease) {
        SetState(kOvVoiceReleasing);
        m_env.FastRelease();
    }
    if (m_env.IsFinished())
        return 0;

    // Pitch bend.
    const GigaPart* part = GetPart();
    if (part && part->bend != 0) {
        const int bend = m_gigaTone->GetBend();
        if (bend != m_bendApplied)
            ComputeRatio(bend);
    }
    OfferIfDue();

    // Level, crossfade and the envelope's controller, followed per block.
    const float product = LevelProduct();
    if (product != m_levelProduct) {
        m_levelProduct = product;
        m_levelGain = product * product * kLevelGainScale;
    }
    bool xfadeChanged = false;
    if (m_xfadeController) {
        const int value = CrossfadeValue();
        if (value != m_xfadeValue) {
            m_xfadeValue = value;
            m_xfadeGain = CrossfadeGain(value, m_gigaZone->attenuationControllerInvert);
            xfadeChanged = true;
        }
    }
    const int envCtl = m_gigaZone->ampController;
    if (envCtl > 0 && envCtl <= kControllerMax && m_gigaZone->ampReleaseInfluence != 0) {
        const int value = ClampController(m_gigaTone->GetController(envCtl));
        if (value != m_envController) {
            m_envController = value;
            m_env.ControllerChanged(value);
        }
    }

    // The output bus, its level and pan.
    const int toneBus = m_gigaTone->GetBus();
    const int bus = PickBus(buses, toneBus, toneBus + (part ? part->bus : 0) + m_gigaZone->channelOffset / 2);
    float busLevel = 1.0f;
    float busPan = 0.0f;
    audio::Bus* target = bus >= 0 ? &buses->GetBus(bus) : nullptr;
    if (target) {
        busLevel = std::max(Sane(target->level.load(std::memory_order_relaxed)), 0.0f);
        busPan = std::clamp(Sane(target->pan.load(std::memory_order_relaxed)), -1.0f, 1.0f);
    }
    if (busPan != m_busPan) {
        m_busPan = busPan;
        ComputePan(static_cast<int>(busPan * kPanRange));
    }
    m_busLevel = busLevel;
    const float gainTo = m_amplitude * m_levelGain * m_xfadeGain * busLevel;
    const float gainFrom = m_firstBlock ? gainTo : m_appliedGain;
    m_firstBlock = false;
    m_appliedGain = gainTo;

    float* outLeft = nullptr;
    float* outRight = nullptr;
    int writeLimit = 0;
    const bool silent = m_xfadeController && m_xfadeGain < kSilentGain && !xfadeChanged;
    if (target && !silent && target->channelCount > 0 && target->channels) {
        outLeft = target->channels[0];
        outRight = target->channelCount > 1 ? target->channels[1] : nullptr;
        writeLimit = std::min(frames, target->capacity);
        if (!buses->HasSignal(bus)) {
            std::fill(outLeft, outLeft + writeLimit, 0.0f);
            if (outRight)
                std::fill(outRight, outRight + writeLimit, 0.0f);
            buses->SetHasSignal(bus, true);
        }
    }

    // A cutoff controller moves the cutoff across the block.
    float cutoffFrom = m_cutoff;
    float cutoffTo = m_cutoff;
    if (m_filterOn && m_cutoffController) {
        const int value = ClampController(m_gigaTone->GetController(m_cutoffController));
        if (value != m_cutoffValue) {
            m_cutoffValue = value;
            float c = value / static_cast<float>(kControllerMax);
            if (m_gigaZone->cutoffControllerInvert)
                c = 1.0f - c;
            cutoffTo = m_cutoffVelocity * c;
        }
    }

    // Fetch, interpolate, filter, shape and add, one chunk at a time,
    // each stage over the whole chunk.
    namespace stage = gigavoicestage;
    float* inLeft = m_gigaTone->GetScratchLeft();
    float* inRight = m_stereo ? m_gigaTone->GetScratchRight() : nullptr;
    float left[kChunkFrames];
    float right[kChunkFrames];
    float gain[kChunkFrames];
    const bool cutoffMoves = m_filterOn && cutoffTo != cutoffFrom;
    // Ramps (gain, cutoff) end on the last control step that starts in this
    // block: the first frames may finish a step the last block started, so
    // with blocks that are not whole steps a ramp over every frame's step
    // would stop one step short of its target.
    const int carried = std::min(m_envLeft, frames);
    const int blockSteps = std::max(1, (frames - carried + kControlFrames - 1) / kControlFrames);
    int step = 0;
    int done = 0;
    bool ended = false;
    while (done < frames && !ended) {
        const double ratio = m_ratio;
        int n = std::min(frames - done, kChunkFrames);
        const int byBuffer =
            static_cast<int>((giga::kDeckScratchFloats - kInterpolationGuard - 1) / ratio);
        n = std::max(1, std::min(n, byBuffer));
        const int need = static_cast<int>(m_frac + (n - 1) * ratio) + kInterpolationGuard;
        const int got = Fetch(m_index, need, inLeft, inRight);
        // Interpolation up to where the sample (or its stream) ends.
        int m = stage::PlayableFrames(m_frac, ratio, got, n);
        ended = m < n;
        stage::Resample(inLeft, inRight, m_frac, ratio, left, right, m);

        // The envelope in control steps: one gain per step, ramping to the
        // block's target. A moving cutoff takes new coefficients per step and
        // filters step by step.
        const int firstStep = step;
        const int stepLeft = m_envLeft;
        m = EnvelopeGains(gain, m, step, blockSteps, gainFrom, gainTo, ended);
        if (cutoffMoves) {
            int j = std::min(stepLeft, m);
            if (j > 0)
                FilterSpan(left, inRight ? right : nullptr, j);
            for (int s = firstStep + 1; j < m; ++s) {
                const int seg = std::min(kControlFrames, m - j);
                m_cutoff = cutoffFrom + (cutoffTo - cutoffFrom) * StepShare(s, blockSteps);
                FilterCoefficients(m_cutoff, m_coef);
                FilterSpan(left + j, inRight ? right + j : nullptr, seg);
                j += seg;
            }
        } else if (m_filterOn) {
            FilterSpan(left, inRight ? right : nullptr, m);
        }

        // Pan and add into the bus.
        const int writable = std::clamp(writeLimit - done, 0, m);
        if (outLeft && outRight)
            stage::Mix2(outLeft + done, outRight + done, left, inRight ? right : left, gain, m_leftGain, m_rightGain,
                        writable);
        else if (outLeft)
            stage::Mix(outLeft + done, left, gain, m_leftGain, writable);

        // Advance the play position by the frames produced.
        const double end = m_frac + m * ratio;
        const int64_t whole = static_cast<int64_t>(end);
        m_index += whole;
        m_frac = end - static_cast<double>(whole);
        if (m_looped && m_index > m_loopEnd)
            m_index = m_loopStart + (m_index - m_loopStart) % (m_loopEnd - m_loopStart + 1);
        done += m;
    }
    // The filter goes on with the target's coefficients, whatever steps the
    // block held (none start in a block shorter than what is left of one).
    if (cutoffMoves) {
        m_cutoff = cutoffTo;
        FilterCoefficients(m_cutoff, m_coef);
    }
    if (m_filterOn && !(std::isfinite(m_filterState[0][2]) && std::isfinite(m_filterState[1][2])))
        for (auto& channel : m_filterState)
            std::fill(std::begin(channel), std::end(channel), 0.0f);
    if (ended)
        m_playable = false;
    return done;
}

int GigaVoice::EnvelopeGains(float* gain, int m, int& step, int blockSteps, float gainFrom, float gainTo,
                             bool& ended) noexcept
{
    namespace stage = gigavoicestage;
    // What is left of the current step, then the chunk's further steps in
    // one walk of the envelope.
    int j = std::min(m_envLeft, m);
    stage::Fill(gain, m_envValue, j);
    m_envLeft -= j;
    if (j == m)
        return m;
    const int steps = (m - j + kControlFrames - 1) / kControlFrames;
    float targets[kChunkFrames / kControlFrames + 1];
    float values[kChunkFrames / kControlFrames + 1];
    for (int s = 0; s < steps; ++s)
        targets[s] = gainFrom + (gainTo - gainFrom) * StepShare(step + 1 + s, blockSteps);
    const int got = m_env.Shape(values, steps, targets);
    step += got;
    for (int s = 0; s < got; ++s) {
        const int seg = std::min(kControlFrames, m - j);
        stage::Fill(gain + j, values[s], seg);
        j += seg;
        m_envValue = values[s];
        m_envLeft = kControlFrames - seg;
    }
    if (got < steps)
        ended = true;
    return j;
}

void GigaVoice::FilterSpan(float* left, float* right, int n) noexcept
{
    if (m_cutoff < kFilterMinCutoff) {
        // Closed: silence, and the filter's state stays as it was.
        gigavoicestage::Fill(left, 0.0f, n);
        if (right)
            gigavoicestage::Fill(right, 0.0f, n);
    } else if (n >= kFilterBlockFrames && 1.0f + m_coef[3] + m_coef[4] >= kFilterBlockMargin) {
        gigavoicestage::FilterBlock block;
        gigavoicestage::MakeFilterBlock(m_coef, block);
        if (right && gigavoicestage::HasWide())
            gigavoicestage::FilterFast2Wide(m_coef, block, m_filterState[0], m_filterState[1], left, right, n);
        else if (right)
            gigavoicestage::FilterFast2(m_coef, block, m_filterState[0], m_filterState[1], left, right, n);
        else
            gigavoicestage::FilterFast(m_coef, block, m_filterState[0], left, n);
    } else if (right) {
        gigavoicestage::Filter2(m_coef, m_filterState[0], m_filterState[1], left, right, n);
    } else {
        gigavoicestage::Filter(m_coef, m_filterState[0], left, n);
    }
}
