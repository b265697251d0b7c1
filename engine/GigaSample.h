// GigaSample: one wave of a bank's wave pools: where its data lies, its format
// and loop, and where its decoded head (or the whole sample) lies in sample
// memory. Records live in the bank's sample array; zones point to them and
// count their users. Filled by the loader thread; read by voices (audio
// thread) and streams (disk thread) only while a loaded program holds them.
#pragma once
#include <atomic>
#include <cstdint>

#include "engine/GigaConstants.h"

class GigaFile;
class GigaMemory;

class GigaSample {
public:
    GigaSample() = default;
    GigaSample(const GigaSample&) = delete;
    GigaSample& operator=(const GigaSample&) = delete;

    // Format checks of the header: 1 or 2 channels, 16 or 24 bits, a rate a
    // recording can have, a known compression layout. A sample that fails
    // them is never played (and counted as silent by its program).
    bool IsUsable() const;
    bool IsCompressed() const { return frameSize != 0; }
    // Wide enough for any header's values, read before the format checks.
    int BytesPerFrame() const { return static_cast<int>(static_cast<int64_t>(channels) * bits / 8); }

    // Played as a loop from memory: looped, and memory covers the loop end.
    bool LoopsFromMemory() const;
    // Part of it comes from the disk: fewer frames in memory than it has and
    // not played as a loop.
    bool IsStreamed() const;

    // 16-bit data in memory: left plane, and the right one (null for mono).
    const int16_t* GetLeft() const { return m_left; }
    const int16_t* GetRight() const { return m_right; }

    // A zone starts / stops using the sample. The first use retains the
    // memory; the last release releases it.
    void Retain();
    void Release();
    int GetUseCount() const { return m_useCount.load(std::memory_order_acquire); }

    // Loader: places the sample in memory at start (frames per channel).
    void SetMemory(GigaMemory* memory, int64_t start, int64_t frames);
    // Loader: forgets a memory link whose data is gone.
    void DropMemory();
    // Loader: resolves the data pointers once the memory is allocated.
    void BindMemory();
    // Loader, at the first decode: the sample ends after `count` frames
    // (fewer than its header said); a loop past the end is cut to it.
    void EndAt(int64_t count);

    // Header fields (wave pool).
    GigaFile* file = nullptr;
    int64_t dataOffset = 0;   // 'data' chunk data, file offset
    int64_t dataSize = 0;     // bytes
    int channels = 2;
    int sampleRate = 44100;
    int bits = 16;
    int unityNote = giga::kSampleUnityNote;
    int16_t fineTune = 0;     // cents
    bool looped = false;
    int64_t loopStart = 0;    // frames
    int64_t loopEnd = 0;      // frames, inclusive
    int64_t frames = 0;
    int frameSize = 0;        // compressed: samples per channel per frame; 0 plain
    int frameCountField = 0;
    int truncatedBits = 0;

    // Memory and load bookkeeping.
    GigaMemory* memory = nullptr;
    int64_t memoryStart = 0;     // index of the left plane in memory
    int64_t framesInMemory = 0;
    int programIndex = -1;       // program that last counted it
    bool decoded = false;
    bool damaged = false;        // its data could not all be read or decoded
    int64_t streamOffset = 0;    // file offset where the streamed part starts

private:
    std::atomic<int> m_useCount{0};
    const int16_t* m_left = nullptr;
    const int16_t* m_right = nullptr;
};
