// Constants of the .gig file format as the test-file writer emits them: chunk
// sizes, dimension codes and the compressed-frame layout. Test tooling only.
#pragma once
#include <cstdint>

namespace gigtools {

// Dimension codes of a region's '3lnk' slots (codes below 0x80 are MIDI
// controller numbers).
constexpr uint8_t kDimNone = 0x00;
constexpr uint8_t kDimModWheel = 0x01;
constexpr uint8_t kDimSampleChannel = 0x80;
constexpr uint8_t kDimLayer = 0x81;
constexpr uint8_t kDimVelocity = 0x82;
constexpr uint8_t kDimChannelAftertouch = 0x83;
constexpr uint8_t kDimReleaseTrigger = 0x84;
constexpr uint8_t kDimKeySwitch = 0x85;
constexpr uint8_t kDimRoundRobin = 0x86;
constexpr uint8_t kDimRandom = 0x87;

// Dimension slots per region: 5 before version 3, 8 from version 3.
constexpr int kDimSlotsV2 = 5;
constexpr int kDimSlotsV3 = 8;
constexpr int kDimSlotBytes = 8;
// Total split bits of one region (zone records = 2^bits).
constexpr int kMaxDimBits = 8;

// Chunk data sizes written for fixed-layout chunks.
constexpr uint32_t kInshBytes = 12;
constexpr uint32_t kRgnhBytes = 14;
constexpr uint32_t kWlnkBytes = 12;
constexpr uint32_t k3ewgBytes = 12;
constexpr uint32_t kWsmpHeaderBytes = 20;  // without loop records
constexpr uint32_t kWsmpLoopBytes = 16;
constexpr uint32_t k3ewaBytesV2 = 140;     // whole chunk, size field included
constexpr uint32_t k3ewaBytesV3 = 148;
constexpr uint32_t kFmtBytes = 16;
constexpr uint32_t kSmplHeaderBytes = 36;
constexpr uint32_t kSmplLoopBytes = 24;
constexpr uint32_t kEwavBytes = 92;        // covers the 24-bit stereo truncated-bits field
constexpr uint32_t kEwavTruncMono = 64;    // offset of the truncated-bits field
constexpr uint32_t kEwavTruncStereo = 84;
constexpr uint32_t kXfilNameBytes = 128;
constexpr uint32_t kXfilEntryBytes = 144;  // name + 16 bytes the reader skips
constexpr uint32_t kInamBytesMax = 200;

// Time value that stands for 0 seconds in 3ewa fields; 2^(t / kTimeUnit) s otherwise.
constexpr int32_t kTimeZero = INT32_MIN;
constexpr double kTimeUnit = 78643200.0;

// Samples per channel in one compressed frame ('ewav' frame size): 2048 for
// 16-bit samples, 256 for 24-bit samples.
constexpr uint32_t kCompressedFrame16 = 2048;
constexpr uint32_t kCompressedFrame24 = 256;
constexpr uint32_t CompressedFrameFor(int bits) { return bits == 24 ? kCompressedFrame24 : kCompressedFrame16; }

// A bank file shorter than this is refused by the reader.
constexpr uint64_t kMinBankBytes = 3000;

}  // namespace gigtools
