// Sizes, limits, codes and scales of .gig reading, the instrument model and
// sample memory. Disk-streaming and loader constants are in GigaStreamConstants.h.
#pragma once
#include <cstdint>

namespace giga {

// Buffered file and RIFF walking.
constexpr int kFastCacheBytes = 4096;      // one cached block
constexpr int64_t kRiffMinFileBytes = 3000; // shorter files are not banks
constexpr int kRiffLevels = 40;             // nesting levels of the chunk stack
constexpr const char* kRiffError = "Error in file";  // thrown on a malformed chunk

// Bank reading.
constexpr int kNameBytes = 200;             // instrument name buffer, NUL included
constexpr int kExtNameBytes = 128;          // extension-file name record
constexpr int kExtRecordSkip = 16;          // bytes after each extension name
constexpr int kDimSlotsOld = 5;             // dimension slots before version 3
constexpr int kDimSlots = 8;
constexpr int kDimMaxBits = 8;              // split bits of a region, all slots
constexpr int kMaxZones = 1 << kDimMaxBits; // zones of one region
constexpr int k3ewaBytes = 256;             // articulation bytes kept
constexpr int kKeys = 128;
constexpr int kDimCodes = 256;

// Dimension codes.
constexpr int kDimNone = 0x00;
constexpr int kDimSampleChannel = 0x80;
constexpr int kDimLayer = 0x81;
constexpr int kDimVelocity = 0x82;
constexpr int kDimReleaseTrigger = 0x84;
constexpr int kDimKeySwitch = 0x85;
constexpr int kDimRoundRobin = 0x86;
constexpr int kDimRandom = 0x87;

// The single-region rule: a one-region instrument on key 12 alone.
constexpr int kSingleRegionKey = 12;

// Samples.
constexpr int64_t kMinPlayFrames = 128;     // shorter samples are silent
// No recording is made at a lower rate: a header that gives one is damaged,
// and the sample would keep no head in memory (0 or 1 Hz) and play nothing.
constexpr int kMinSampleRate = 1000;        // Hz
constexpr int kMaxCompressedFrame = 8192;   // samples per channel per frame
constexpr int kMaxTruncatedBits = 8;
constexpr int kPlainBatch16Stereo = 8192;   // frames per plain read
constexpr int kPlainBatch24Mono = 10922;
constexpr int kPlainBatch24Stereo = 5461;

// Zone defaults.
constexpr float kZoneGain = 0.9f;
constexpr float kZoneVelocityDepth = 0.8f;
constexpr float kZoneReleaseSeconds = 80.0f;
constexpr int kZonePan = 64;
constexpr int kSampleUnityNote = 60;
constexpr float kMaxEnvelopeSeconds = 10.0f; // decay and release caps

// Conversions.
constexpr double kTimeDivisor = 78643200.0;
constexpr int32_t kTimeZero = INT32_MIN;     // time value meaning 0 s
constexpr float kGainFloorScale = 1.234f;

// Sample scales.
constexpr float kInt16MemoryScale = 1.0f / 32767.0f;               // memory data
constexpr float kInt16StreamScale = 32769.0f / 1073741824.0f;      // streamed data
constexpr float kPlain24Scale = 1.1920930e-07f;                    // 24-bit data

// Sample memory.
constexpr int64_t kBlockSamples = 0x2000000;  // 16-bit samples per 64 MB block
constexpr int kBlockMB = 64;
constexpr int kMaxBlocks = 256;
constexpr int64_t kTailRoundSamples = 2048;   // last block size rounding
constexpr int64_t kMaxBudgetMB = 16384;
constexpr const char* kBudgetEnv = "KIV_TEST_MEMORY_MB";  // tests: force the budget

}  // namespace giga
