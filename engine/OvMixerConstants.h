// Sizes, parameter numbers and defaults of the studio and its 16-channel mixer.
#pragma once
#include <cstdint>

#include "kiv/data/FourCC.h"

// The studio.
constexpr int kOvMaxPlayers = 8;
constexpr int kOvMixerChannels = 16;
constexpr int kOvMixerOutputs = 16;
constexpr int kOvStudioBusFrames = 2048;  // the studio's own bus set when built
constexpr int kOvStudioBusChannels = 2;

// Effect slots of a channel: the built-in effects, then two inserts.
constexpr int kOvSlotComp = 0;
constexpr int kOvSlotEQ = 1;
constexpr int kOvSlotInsert0 = 2;
constexpr int kOvSlotInsert1 = 3;
constexpr int kOvEffectSlots = 4;
constexpr int kOvInsertSlots = 2;
// Hosted effects keep scratch buffers of this many frames: longer host blocks
// reach them in pieces.
constexpr int kOvInsertMaxFrames = 4096;

// Mixer parameter numbers.
constexpr int kOvMixLevel = 0;
constexpr int kOvMixPan = 1;
constexpr int kOvMixLeftPan = 2;
constexpr int kOvMixRightPan = 3;
constexpr int kOvMixOutput = 4;
constexpr int kOvMixMute = 5;
constexpr int kOvMixEQLow = 7;
constexpr int kOvMixEQMid = 8;
constexpr int kOvMixEQHigh = 9;
constexpr int kOvMixCompThreshold = 10;
constexpr int kOvMixCompRatio = 11;
constexpr int kOvMixCompMakeUp = 12;
constexpr int kOvMixCompAttack = 13;
constexpr int kOvMixCompRelease = 14;

// What the compressor parameters read as on a channel that has none.
constexpr float kOvNoCompThreshold = -18.0f;
constexpr float kOvNoCompRatio = 1.0f;
constexpr float kOvNoCompMakeUp = 0.0f;
constexpr float kOvNoCompAttack = 0.2f;
constexpr float kOvNoCompRelease = 0.8f;

// Peaks are sampled at this frame of every whole group of eight.
constexpr int kOvPeakGroup = 8;
constexpr int kOvPeakOffset = 4;

// A swap waits at most this long for a render that may hold the old insert.
constexpr int kOvInsertSwapWaitMs = 2000;

// The editor's event after a studio archive was loaded.
constexpr uint32_t kOvEventMixer = fourcc("mixr");
