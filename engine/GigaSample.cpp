#include "engine/GigaSample.h"

#include <algorithm>

#include "engine/GigaMemory.h"

bool GigaSample::IsUsable() const
{
    if (channels < 1 || channels > 2)
        return false;
    if (bits != 16 && bits != 24)
        return false;
    if (sampleRate < giga::kMinSampleRate)
        return false;
    if (frameSize != 0) {
        // Frames must fit the decoder's frame buffer and split evenly in pairs.
        if (frameSize < 0 || frameSize > giga::kMaxCompressedFrame || (frameSize & 1) != 0)
            return false;
        if (truncatedBits < 0 || truncatedBits > giga::kMaxTruncatedBits)
            return false;
    }
    return frames >= 0;
}

bool GigaSample::LoopsFromMemory() const
{
    return looped && loopEnd < framesInMemory && loopStart <= loopEnd;
}

bool GigaSample::IsStreamed() const
{
    return framesInMemory < frames && !LoopsFromMemory();
}

void GigaSample::Retain()
{
    if (m_useCount.fetch_add(1, std::memory_order_acq_rel) == 0 && memory)
        memory->Retain();
}

void GigaSample::Release()
{
    if (m_useCount.fetch_sub(1, std::memory_order_acq_rel) == 1 && memory)
        memory->Release();
}

void GigaSample::SetMemory(GigaMemory* mem, int64_t start, int64_t framesKept)
{
    memory = mem;
    memoryStart = start;
    framesInMemory = framesKept;
    decoded = false;
    damaged = false;
    m_left = nullptr;
    m_right = nullptr;
}

void GigaSample::DropMemory()
{
    memory = nullptr;
    memoryStart = 0;
    framesInMemory = 0;
    decoded = false;
    damaged = false;
    m_left = nullptr;
    m_right = nullptr;
}

void GigaSample::BindMemory()
{
    m_left = nullptr;
    m_right = nullptr;
    if (!memory)
        return;
    int16_t* left = memory->At(memoryStart);
    if (!left)
        return;
    m_left = left;
    m_right = channels == 2 ? left + framesInMemory : nullptr;
}

void GigaSample::EndAt(int64_t count)
{
    frames = std::max<int64_t>(count, 0);
    if (looped && loopEnd >= frames) {
        loopEnd = frames - 1;
        if (loopEnd < loopStart)
            looped = false;
    }
}
