// Sizes and timings of disk streaming, the loader and the .gig player.
#pragma once
#include <cstdint>

namespace giga {

// Disk streaming.
constexpr int kStreamRingBytes = 32768;      // per channel ring of a stream
// The largest ring, for a voice that reads far more per block (a high note,
// a long block): two blocks of 2048 frames at a 64-fold pitch.
constexpr int kMaxStreamRingBytes = 1 << 20;
constexpr int kStreamRefillFrames = 1024;    // most frames decoded per refill
constexpr int kStreamRefillFreeBytes = 4096; // refill only when this much is free
constexpr int kStreamsPerFile = 24;          // idle streams made with a file's wave pool
constexpr int kDiskRingEntries = 256;        // voices waiting for a stream
constexpr int kDiskSleepBusyMs = 2;          // sleep after a walk over active streams
constexpr int kDiskSleepIdleMs = 10;         // sleep when no stream is active
constexpr int kWaitStepMs = 10;              // polling step of every waiter
constexpr int kLoaderDiskPasses = 5;         // disk passes the loader lets go by

// Bank manager and loader.
constexpr int kBankCacheSize = 1024;     // cached banks
constexpr int kPlayerQueueSize = 512;    // queued players
constexpr int kLoadingWaitSteps = 200;   // 50 ms steps waited for a running load (10 s)

// The .gig player.
constexpr int kDeckVoices = 256;
constexpr int kDeckTones = 16;
constexpr int kDeckScratchFloats = 4096;
constexpr int kMaxParts = 24;
constexpr int kControllerCount = 128;

// Tone load states (shared by the loader, the tones and the part unit).
enum ToneState : int {
    kToneNone = 0,
    kToneToLoad = 1,
    kToneReadingSamples = 2,
    kToneLoadingSamples = 3,
    kToneNoMemory = 5,
    kToneFailed = 6,
    kToneLoaded = 8,
    kToneShown = 9,
};

// A part's own load state.
enum PartState : int {
    kPartNone = 0,
    kPartToLoad = 1,
    kPartLoaded = 2,
    kPartMissing = 3,
    kPartLoading = 4,
    kPartFailed = 5,  // the file is there but it or its instrument cannot be loaded
};

}  // namespace giga
