// The mixer's built-in effects: OvEffect, a small effect base with a list of
// float parameters keyed by four-character codes that archives itself, and
// its two effects, the compressor OvEffectComp ('xdyn') and the three-band
// equaliser OvEffectEQ3 ('xeq3'). Owned by the studio's mixer, one of each
// per channel at most.
//
// Threads: Process runs on the audio thread; SetParam comes from the GUI
// thread (mixer controls), SetSampleRate from the host's thread and Archive
// from whichever thread loads or saves the studio, all while the audio
// thread may be processing. Parameter values and the factors derived from
// them are therefore atomics (relaxed: each is one self-contained number),
// read once per Process call. Process, SetParam, ApplyParam and
// SetSampleRate are noexcept and allocate nothing: the parameter list is
// built by the constructors.
//
// Stored values are not trusted: a parameter that is not a finite number is
// ignored, and the factors are computed from values clamped so that no
// formula divides by zero, overflows or turns the signal into NaN.
#pragma once
#include <array>
#include <atomic>
#include <cstdint>
#include <memory>

#include "kiv/data/FourCC.h"
#include "kiv/file/Archive.h"

namespace ovfx {

constexpr uint32_t kCompId = fourcc("xdyn");
constexpr uint32_t kEQ3Id = fourcc("xeq3");

// Compressor parameters and their values when built.
constexpr uint32_t kThreshold = fourcc("thrs");  // dB
constexpr uint32_t kRatio = fourcc("rtio");
constexpr uint32_t kAttack = fourcc("atak");     // seconds
constexpr uint32_t kRelease = fourcc("dcay");    // seconds
constexpr uint32_t kMakeUp = fourcc("gain");     // dB
constexpr float kThresholdStart = -12.0f;
constexpr float kRatioStart = 4.0f;
constexpr float kAttackStart = 0.2f;
constexpr float kReleaseStart = 1.0f;
constexpr float kMakeUpStart = 0.0f;

// Equaliser parameters (dB, 0 when built) and crossovers (Hz, fixed at the
// 44100 Hz the equaliser is built for).
constexpr uint32_t kLowGain = fourcc("eqlg");
constexpr uint32_t kMidGain = fourcc("eqmg");
constexpr uint32_t kHighGain = fourcc("eqhg");
constexpr double kLowCrossover = 880.0;
constexpr double kHighCrossover = 5000.0;
constexpr int kEQStages = 4;       // one-pole low-pass stages per band split
constexpr int kEQDelay = 3;        // samples

// Compressor state.
constexpr float kStartRate = 44100.0f;
constexpr int kDetectorFrames = 100;   // RMS window
constexpr int kLookBackFrames = 50;    // attack raises this many earlier values
constexpr int kPieceFrames = 6000;     // longer blocks run in pieces
constexpr float kEnvelopeFloor = 0.001f;
constexpr double kTimeLog = -6.907755278982137;  // ln(0.001)

// Bounds on stored values (hostile archives only).
constexpr float kMinRatio = 1.0f;        // below: no compression (0 would divide by zero)
constexpr float kMaxRatio = 1000.0f;
constexpr float kMaxThresholdDb = 200.0f;  // +-, keeps 10^(dB/10) finite
constexpr float kMaxGainDb = 120.0f;       // +-, make-up and band gains
constexpr float kMaxSeconds = 3600.0f;

}  // namespace ovfx

class OvEffect : public Archivable {
public:
    OvEffect() = default;
    ~OvEffect() override;
    OvEffect(const OvEffect&) = delete;
    OvEffect& operator=(const OvEffect&) = delete;

    // Every parameter in list order as a float under its own code; each
    // loaded value is applied at once.
    void Archive(ArchiFile* archive) override;
    virtual uint32_t GetTypeId() const noexcept = 0;
    virtual void SetSampleRate(float rate) noexcept = 0;
    // In place; frames <= 0 or a missing channel does nothing.
    virtual void Process(float* left, float* right, int frames) noexcept = 0;

    // The node with that code takes the value and it is applied; unknown
    // codes and values that are not finite numbers are ignored.
    void SetParam(uint32_t code, float value) noexcept;
    // The value of the node with that code, or absent when there is none.
    float GetParam(uint32_t code, float absent) const noexcept;
    bool HasParam(uint32_t code) const noexcept;

protected:
    // Derived state follows a new value (never called with NaN or infinity).
    virtual void ApplyParam(uint32_t code, float value) noexcept = 0;
    // Constructors only: a new node at the head of the list.
    void AddParam(uint32_t code, float value);

private:
    struct Param {
        uint32_t code = 0;
        std::atomic<float> value{0.0f};
        float start = 0.0f;
        std::unique_ptr<Param> next;
    };
    Param* Find(uint32_t code) const noexcept;

    std::unique_ptr<Param> m_head;  // the last added first
};

// Feed-back-free RMS compressor with a look-back attack.
class OvEffectComp : public OvEffect {
public:
    OvEffectComp();
    ~OvEffectComp() override;

    uint32_t GetTypeId() const noexcept override { return ovfx::kCompId; }
    // Recomputes both time factors; rates that are not above 0 are ignored.
    void SetSampleRate(float rate) noexcept override;
    void Process(float* left, float* right, int frames) noexcept override;

    // Derived values, for the views and tests.
    float GetThresholdFactor() const noexcept { return m_thresholdFactor.load(std::memory_order_relaxed); }
    float GetMakeUpFactor() const noexcept { return m_makeUpFactor.load(std::memory_order_relaxed); }
    float GetAttackFactor() const noexcept { return m_attackFactor.load(std::memory_order_relaxed); }
    float GetReleaseFactor() const noexcept { return m_releaseFactor.load(std::memory_order_relaxed); }
    float GetRatio() const noexcept { return m_ratio.load(std::memory_order_relaxed); }

protected:
    void ApplyParam(uint32_t code, float value) noexcept override;

private:
    struct Factors {
        float threshold, invRatio, makeUp, attack, release;
    };
    void ProcessPiece(float* left, float* right, int frames, const Factors& f) noexcept;
    void PrimeDetector(const float* left, const float* right, int frames) noexcept;
    void UpdateAttack(float seconds) noexcept;
    void UpdateRelease(float seconds) noexcept;

    // Shared with the GUI and host threads.
    std::atomic<float> m_rate{ovfx::kStartRate};
    std::atomic<float> m_thresholdFactor{0.0f};
    std::atomic<float> m_ratio{ovfx::kRatioStart};
    std::atomic<float> m_makeUpFactor{1.0f};
    std::atomic<float> m_attackFactor{1.0f};
    std::atomic<float> m_releaseFactor{1.0f};

    // Audio thread only. The running sum is a double, recomputed once per
    // turn of the ring, so that adding and taking away squares never drifts
    // below zero (the square root would give NaN for good).
    std::array<double, ovfx::kDetectorFrames> m_ring{};
    double m_sum = 0.0;
    int m_pos = 0;
    float m_envelope = 0.0f;
    std::array<float, ovfx::kPieceFrames> m_envelopes{};
};

// Three-band equaliser: two four-pole low-pass splits at fixed crossovers
// and a three-sample delay for the reference path.
class OvEffectEQ3 : public OvEffect {
public:
    OvEffectEQ3();
    ~OvEffectEQ3() override;

    uint32_t GetTypeId() const noexcept override { return ovfx::kEQ3Id; }
    // The crossovers stay where they were built.
    void SetSampleRate(float rate) noexcept override;
    // Does nothing while all three gains are exactly 1.
    void Process(float* left, float* right, int frames) noexcept override;

    float GetLowGain() const noexcept { return m_lowGain.load(std::memory_order_relaxed); }
    float GetMidGain() const noexcept { return m_midGain.load(std::memory_order_relaxed); }
    float GetHighGain() const noexcept { return m_highGain.load(std::memory_order_relaxed); }

protected:
    void ApplyParam(uint32_t code, float value) noexcept override;

private:
    struct Channel {
        float low[ovfx::kEQStages] = {};
        float high[ovfx::kEQStages] = {};
        float delay[ovfx::kEQDelay] = {};
    };
    void ProcessChannel(Channel& c, float* samples, int frames, float gLow, float gMid,
                        float gHigh) const noexcept;

    std::atomic<float> m_lowGain{1.0f};
    std::atomic<float> m_midGain{1.0f};
    std::atomic<float> m_highGain{1.0f};
    const float m_kLow;
    const float m_kHigh;
    Channel m_left;   // audio thread only
    Channel m_right;
};
