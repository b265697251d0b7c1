// ClearActive and GetChannel run on the audio thread; the rest on the host's
// thread while no render runs.
#include "engine/AudioBuffers.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace audio {

Buffers::Buffers() = default;

Buffers::~Buffers() { Clear(); }

int Buffers::PaddedLength(int frames)
{
    const int rounded = (std::max(frames, 0) + 7) & ~7;
    return rounded + kOvBusPadFloats;
}

float* Buffers::AllocateChannel(int frames)
{
    const size_t count = static_cast<size_t>(PaddedLength(frames));
    auto* buffer = static_cast<float*>(
        ::operator new[](count * sizeof(float), std::align_val_t(kOvBusAlignBytes)));
    std::memset(buffer, 0, count * sizeof(float));
    return buffer;
}

void Buffers::FreeChannel(float* buffer)
{
    if (buffer)
        ::operator delete[](buffer, std::align_val_t(kOvBusAlignBytes));
}

void Buffers::FreeBus(Bus& bus, bool keepArray)
{
    if (bus.channels) {
        for (int c = 0; c < bus.channelCount; ++c) {
            FreeChannel(bus.channels[c]);
            bus.channels[c] = nullptr;
        }
        if (!keepArray) {
            delete[] bus.channels;
            bus.channels = nullptr;
        }
    }
    bus.capacity = 0;
}

void Buffers::AllocateBus(Bus& bus, int frames)
{
    if (!bus.channels && bus.channelCount > 0)
        bus.channels = new float*[static_cast<size_t>(bus.channelCount)]();
    for (int c = 0; c < bus.channelCount; ++c)
        bus.channels[c] = AllocateChannel(frames);
    bus.capacity = frames;
}

void Buffers::Resize(int count, int channels, int frames)
{
    count = std::clamp(count, 0, kOvMaxBuses);
    channels = std::max(channels, 0);
    frames = std::max(frames, 0);
    for (int i = 0; i < count; ++i) {
        Bus& bus = m_buses[i];
        if (bus.channels && bus.capacity >= frames)
            continue;
        FreeBus(bus, false);
        bus.channelCount = channels;
        AllocateBus(bus, frames);
        bus.level.store(1.0f, std::memory_order_relaxed);
        bus.leftPan.store(-1.0f, std::memory_order_relaxed);
        bus.rightPan.store(1.0f, std::memory_order_relaxed);
    }
    m_count = count;
    m_blockSize = frames;
}

void Buffers::SetBlockSize(int frames)
{
    frames = std::max(frames, 0);
    for (int i = 0; i < m_count; ++i) {
        Bus& bus = m_buses[i];
        if (bus.capacity >= frames)
            continue;
        FreeBus(bus, true);
        AllocateBus(bus, frames);
    }
    m_blockSize = frames;
}

void Buffers::ClearActive() noexcept { std::memset(m_hasSignal, 0, sizeof(m_hasSignal)); }

void Buffers::Clear()
{
    for (Bus& bus : m_buses) {
        FreeBus(bus, false);
        bus.channelCount = 0;
        bus.level.store(0.0f, std::memory_order_relaxed);
        bus.pan.store(0.0f, std::memory_order_relaxed);
        bus.leftPan.store(0.0f, std::memory_order_relaxed);
        bus.rightPan.store(0.0f, std::memory_order_relaxed);
    }
    std::memset(m_hasSignal, 0, sizeof(m_hasSignal));
    for (auto& off : m_busOff)
        off.store(0, std::memory_order_relaxed);
    m_count = 0;
    m_blockSize = 0;
}

float* Buffers::GetChannel(int bus, int channel) noexcept
{
    if (bus < 0 || bus >= m_count)
        return nullptr;
    const Bus& b = m_buses[bus];
    if (!b.channels || channel < 0 || channel >= b.channelCount)
        return nullptr;
    return b.channels[channel];
}

}  // namespace audio
