// GigaEnvCurve: the amplitude envelope of a GigaVoice. Five stages (attack,
// decay, sustain, release, tail) computed at a control rate of one value per
// `divider` output frames; the voice multiplies its samples by the values and
// ends when the envelope has finished. Owned by its voice.
//
// Threads: Setup runs at note on and everything else per block, all on the
// audio thread: noexcept, no allocation, no lock. The values it is set up with
// come from a loaded file and a part's stored offsets, so every time, level,
// depth and controller value is bounded before use: no step count overflows,
// no step divides by zero and no level turns into NaN.
#pragma once
#include <cstdint>

class GigaPart;
class GigaZone;

namespace gigaenv {

// Stages.
constexpr int kFinished = 0;
constexpr int kAttack = 1;
constexpr int kDecay = 2;
constexpr int kSustain = 3;
constexpr int kRelease = 4;
constexpr int kTail = 5;

constexpr int kControlDivider = 8;          // output frames per control step

// Setup: limits, then the time scales of the curve shapes.
constexpr float kMinSustain = 0.001f;
constexpr float kMinDecaySeconds = 0.01f;   // when sustain < 1
constexpr float kMinReleaseSeconds = 0.02f;
constexpr float kMaxSeconds = 3600.0f;      // hostile values only; keeps step counts in range
constexpr float kAttackScale = 0.69f;
constexpr float kDecayScale = 1.18f;
constexpr float kReleaseScale = 0.55f;
constexpr float kControllerMax = 127.0f;
constexpr int kMaxDepth = 3;                // controller depths 0..3
constexpr float kDepthFactor[kMaxDepth + 1] = {1.0f, 3.0f, 5.0f, 10.0f};

// Stage levels.
constexpr float kDecayMinSeconds = 0.01f;   // the decay stage runs above this
constexpr float kTailLevel = 0.2f;          // the linear release ends here
constexpr float kEndLevel = 0.005f;         // a tail from below this is skipped
constexpr float kTailTarget = 0.001f;       // the tail aims here
constexpr float kFinishLevel = 0.002f;      // a block that fell below this is the last
constexpr float kReleaseStepsScale = 2.2f;  // bound on the linear release's steps

// Release shortcuts.
constexpr float kFastReleaseSeconds = 0.1f;
constexpr float kShortenFactor = 0.33f;
constexpr float kShortenMaxSeconds = 1.2f;

}  // namespace gigaenv

// The zone's amplitude envelope block: times in seconds, sustain 0..1, the
// controller-inversion flag and the attack, decay and release controller
// depths (0 none, 1..3).
struct GigaEnvBlock {
    float attack = 0.0f;
    float decay = 0.0f;
    float sustain = 1.0f;
    float release = 0.0f;
    bool invert = false;
    int attackDepth = 0;
    int decayDepth = 0;
    int releaseDepth = 0;

    static GigaEnvBlock OfZone(const GigaZone& zone) noexcept;
};

// A part's amplitude offsets, added to the zone's block.
struct GigaEnvOffsets {
    float attack = 0.0f;
    float decay = 0.0f;
    float sustain = 0.0f;
    float release = 0.0f;

    static GigaEnvOffsets OfPart(const GigaPart& part) noexcept;
};

class GigaEnvCurve {
public:
    GigaEnvCurve() = default;

    // Note on: takes the block with the offsets added; a controllerValue of
    // 0..127 scales the times that have a controller depth (-1: none). The
    // control rate is the engine's output rate / divider. Starts the attack.
    void Setup(const GigaEnvBlock& zone, const GigaEnvOffsets& part, int controllerValue,
               int divider) noexcept;
    void Setup(const GigaZone& zone, const GigaPart* part, int controllerValue, int divider) noexcept;

    // Enters the release; false when the envelope has already finished.
    bool StartRelease() noexcept;
    // A 0.1 s tail from the current level; false when nothing is left to play.
    bool FastRelease() noexcept;
    // A shorter release time (a newer, louder note on the same key); a running
    // release or tail continues from its level at the new speed.
    void ShortenRelease() noexcept;
    // The envelope controller moved: the release time follows its depth.
    void ControllerChanged(int value) noexcept;

    // One value per control step: level x gain. 0 when the envelope had
    // already finished, else steps (the block is filled).
    int Render(float* out, int steps, float gain) noexcept;
    // The same with the gain moving linearly from gainFrom to gainTo, reaching
    // gainTo on the last step.
    int RenderRamp(float* out, int steps, float gainFrom, float gainTo) noexcept;
    // One value per control step with its own gain, gains[i]; stops after
    // the step that finishes the envelope. The steps written: fewer than
    // asked once the envelope finished (0 when it already had).
    int Shape(float* out, int steps, const float* gains) noexcept;

    int GetStage() const noexcept { return m_stage; }
    bool IsFinished() const noexcept { return m_stage == gigaenv::kFinished; }
    float GetLevel() const noexcept { return m_level; }
    float GetControlRate() const noexcept { return m_rate; }
    // Working times in seconds (after offsets, controller and shape scales).
    float GetAttackTime() const noexcept { return m_block.attack; }
    float GetDecayTime() const noexcept { return m_block.decay; }
    float GetSustain() const noexcept { return m_block.sustain; }
    float GetReleaseTime() const noexcept { return m_block.release; }

private:
    int Fill(float* out, int steps, float gain, float gainStep) noexcept;
    template <class Gain> int Walk(float* out, int steps, Gain gain, bool stopAtEnd) noexcept;
    void EnterAttack() noexcept;
    void EnterDecay() noexcept;
    void EnterSustain() noexcept;
    void EnterRelease() noexcept;
    void EnterTail() noexcept;
    void ReleaseStep() noexcept;   // decrement and step bound from the level
    void TailStep() noexcept;      // factor from the level
    float ControllerScale(int depth, int value) const noexcept;
    int Steps(double count) const noexcept;

    int m_stage = gigaenv::kFinished;
    float m_level = 0.0f;
    int m_steps = 0;            // left in the stage
    float m_delta = 0.0f;       // increment, decrement or factor of the stage
    float m_rate = 0.0f;        // control steps per second
    GigaEnvBlock m_block;       // working times
    float m_keptRelease = gigaenv::kMinReleaseSeconds;  // before controller scaling
    int m_controller = -1;
};
