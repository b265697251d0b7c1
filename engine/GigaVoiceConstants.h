// Numbers of note handling and voice rendering of the .gig player: layer
// selection codes, level and pan scales, pitch limits, the filter, the
// crossfade curve and the work-buffer layout.
#pragma once
#include <cstdint>

namespace gigavoice {

// Stack modes of a tone (1..127: that controller chooses).
constexpr int kStackAll = 0;
constexpr int kStackVelocity = 130;
constexpr int kStackKeySwitch = 133;
constexpr int kStackRoundRobin = 134;   // stored by older views; chooses nothing
constexpr int kStackRandom = 135;
constexpr int kStackProgram = 199;

// Controllers with a meaning in the stacked tone.
constexpr int kCtrlAllSoundOff = 120;
constexpr int kCtrlResetAll = 121;
constexpr int kCtrlAllNotesOff = 123;
constexpr int kCtrlVelocity = 130;      // pseudo-controller: the note's velocity
constexpr int kCtrlReleaseTrigger = 132;
constexpr int kCtrlKeySwitch = 133;
constexpr int kCtrlGate94 = 94;         // zones bypassed by these sound only at >= 64
constexpr int kCtrlGate95 = 95;
constexpr int kGateThreshold = 64;
constexpr int kControllerMax = 127;

// Release triggers.
constexpr int kReleaseTriggerValue = 127;   // the 0x84 value of the release walk
constexpr float kReleaseDecayBase = 9.0f;
constexpr float kReleaseDecayScale = 0.125f;
constexpr float kReleaseMinGain = 0.1f;     // on the single path

// Pitch bend.
constexpr int kBendCentre = 8192;

// Velocity curves: 3 curves x 5 depths x 43 steps.
constexpr int kCurves = 3;
constexpr int kDepths = 5;
constexpr int kCurveSteps = 43;
constexpr int kVelocityScaleKnee = 34;      // below it a scale above 1 is softened
constexpr float kVelocityScaleSoftening = 120.0f;

// Level, amplitude and pan.
constexpr float kAmplitudeScale = 0.8f;
constexpr float kLevelGainScale = 3.02735e-9f;  // (tone level x part level)^2 to gain
constexpr float kLevelMax = 127.0f;             // tone level and part level are 0..127
constexpr int kPanCentreSum = 192;              // tone + zone + part pan at centre
constexpr int kPanRange = 64;

// Crossfade: c(x) approximates cos(x * pi / 2).
constexpr float kHalfPi = 1.5707964f;
constexpr float kCosC4 = 0.03679168f;
constexpr float kCosC2 = -0.49558073f;
constexpr float kCosC0 = 0.99940306f;
constexpr float kSilentGain = 0.0005f;  // crossfade gains and cutoffs below it are silence

// Pitch.
constexpr double kSemitone = 1.059463094359;
constexpr double kCentsPerSemitone = 100.0;
// Bounds of the playback ratio: hostile tunings, bends or sample rates must
// not make positions overflow or a block read more than the work buffer.
constexpr double kMinRatio = 1.0 / 1024.0;
constexpr double kMaxRatio = 64.0;

// Streaming: the voice offers itself this long before its memory runs out.
constexpr double kStreamLeadSeconds = 0.5;
constexpr int kStreamMinThreshold = 512;  // frames
// A voice whose memory lasts fewer blocks than this (a high note plays
// through its head fast) offers itself at once.
constexpr int kStreamLeadBlocks = 4;
constexpr int kOfflineWaitStepMs = 2;
constexpr int kOfflineWaitMs = 2000;
constexpr int kStartWaitQueuedFrames = 4096;  // a start in the streamed part waits for this much
constexpr double kStartWaitSeconds = 0.25;    // and at most this long

// Filter.
constexpr float kFilterStartCutoff = 0.1f;
constexpr float kFilterMinCutoff = 0.0005f;  // below it the coefficients stay
constexpr float kFilterMaxA = 0.6f;
// The filter runs four frames at a time over spans of at least
// kFilterBlockFrames while its DC denominator 1 + a1 + a2 is at least
// kFilterBlockMargin: there the changed rounding stays below -100 dB of the
// output; closer to a closed cutoff it filters frame by frame.
constexpr int kFilterBlockFrames = 16;
constexpr float kFilterBlockMargin = 0.01f;

// Envelope control rate: output frames per envelope value.
constexpr int kControlFrames = 8;

// Work buffers: the player's two scratch blocks hold the fetched input frames
// of one chunk; a chunk produces at most kChunkFrames output frames.
constexpr int kChunkFrames = 512;
constexpr int kInterpolationGuard = 2;   // frames past the last position
constexpr int kStreamCarry = 4;          // stream frames kept between chunks

}  // namespace gigavoice
