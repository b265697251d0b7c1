// audio::Buffers: a bus set of up to 128 buses of aligned float channel
// buffers with per-bus activity and mute flags. Owned by the plug-in shell
// and by the studio; sized on the host's thread (Resize, SetBlockSize) and
// written by the audio thread while it renders.
//
// The writing rule: the first writer of a bus in a block copies into it (or
// clears then adds) and sets hasSignal; later writers add. A bus whose
// hasSignal is clear is silent whatever its buffer holds.
#pragma once
#include <atomic>
#include <cstdint>

#include "engine/OvConstants.h"

namespace audio {

struct Bus {
    float** channels = nullptr;  // owned array of owned channel buffers
    int channelCount = 0;
    int capacity = 0;            // frames; each buffer has kOvBusPadFloats more
    // Mixer parameters: written by the GUI thread, read by the audio thread.
    std::atomic<float> level{0.0f};
    std::atomic<float> pan{0.0f};
    std::atomic<float> leftPan{0.0f};
    std::atomic<float> rightPan{0.0f};
};

class Buffers {
public:
    Buffers();
    ~Buffers();
    Buffers(const Buffers&) = delete;
    Buffers& operator=(const Buffers&) = delete;

    // Grows the first count buses to at least frames (a bus that is already
    // large enough keeps its buffers and channel count); new buses get level
    // 1, leftPan -1, rightPan 1 and keep their pan. Count is capped at 128.
    void Resize(int count, int channels, int frames);
    // Grows every bus in use to at least frames, keeping its channel count,
    // level and pan.
    void SetBlockSize(int frames);
    // Start of every render (audio thread).
    void ClearActive() noexcept;
    // Frees everything and zeroes the records and flags.
    void Clear();

    int GetBusCount() const { return m_count; }
    int GetBlockSize() const { return m_blockSize; }
    Bus& GetBus(int index) { return m_buses[index]; }
    const Bus& GetBus(int index) const { return m_buses[index]; }
    // Channel buffer, or null when the bus or channel does not exist.
    float* GetChannel(int bus, int channel) noexcept;

    // Bus numbers come from stored tone and part settings: outside the
    // table a bus reads as silent and off, and setting it does nothing.
    bool HasSignal(int bus) const noexcept { return InTable(bus) && m_hasSignal[bus] != 0; }
    void SetHasSignal(int bus, bool on) noexcept
    {
        if (InTable(bus))
            m_hasSignal[bus] = on ? 1 : 0;
    }
    // The studio's mute of a mixer channel (GUI thread writes, audio reads).
    bool IsBusOff(int bus) const noexcept
    {
        return InTable(bus) && m_busOff[bus].load(std::memory_order_relaxed) != 0;
    }
    void SetBusOff(int bus, bool off) noexcept
    {
        if (InTable(bus))
            m_busOff[bus].store(off ? 1 : 0, std::memory_order_relaxed);
    }

    // Channel buffer allocation: aligned, zeroed, rounded up to whole groups
    // of 8 frames plus kOvBusPadFloats floats. Exposed for the tests.
    static float* AllocateChannel(int frames);
    static void FreeChannel(float* buffer);
    static int PaddedLength(int frames);

private:
    static bool InTable(int bus) noexcept { return bus >= 0 && bus < kOvMaxBuses; }
    void FreeBus(Bus& bus, bool keepArray);
    void AllocateBus(Bus& bus, int frames);

    int m_count = 0;
    Bus m_buses[kOvMaxBuses];
    uint8_t m_hasSignal[kOvMaxBuses] = {};
    std::atomic<uint8_t> m_busOff[kOvMaxBuses] = {};
    int m_blockSize = 0;
};

}  // namespace audio
