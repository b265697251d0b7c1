// Audio-thread functions here are noexcept, allocate nothing and take no lock.
#include "engine/GigaVoice.h"

#include "engine/GigaDiskThread.h"
#include "engine/GigaStream.h"

GigaVoice::~GigaVoice()
{
    LeaveStream();
}

void GigaVoice::Stop() noexcept
{
    LeaveStream();
}

bool GigaVoice::OfferToDisk(GigaSample* sample) noexcept
{
    uintptr_t slot = m_streamSlot.load(std::memory_order_acquire);
    if (slot != 0 && (slot & 1u) == 0)
        return true;  // a stream is attached already
    uint32_t generation;
    if (slot == 0) {
        generation = ++m_generation;
        if (generation == 0)
            generation = ++m_generation;
        m_streamSlot.store(WaitingValue(generation), std::memory_order_release);
    } else {
        generation = static_cast<uint32_t>(slot >> 1);
    }
    GigaDiskThread* disk = GigaDiskThread::Get();
    return disk && disk->PushVoice(this, sample, generation);
}

GigaStream* GigaVoice::GetStream() const noexcept
{
    uintptr_t slot = m_streamSlot.load(std::memory_order_acquire);
    return (slot & 1u) ? nullptr : reinterpret_cast<GigaStream*>(slot);
}

void GigaVoice::LeaveStream() noexcept
{
    uintptr_t old = m_streamSlot.exchange(0, std::memory_order_acq_rel);
    if (old != 0 && (old & 1u) == 0)
        reinterpret_cast<GigaStream*>(old)->SetFinished();
}

bool GigaVoice::IsWaiting() const noexcept
{
    return (m_streamSlot.load(std::memory_order_acquire) & 1u) != 0;
}

bool GigaVoice::IsWaitingForStream(uint32_t generation) const noexcept
{
    return m_streamSlot.load(std::memory_order_acquire) == WaitingValue(generation);
}

bool GigaVoice::AttachStream(GigaStream* stream, uint32_t generation) noexcept
{
    uintptr_t expected = WaitingValue(generation);
    return m_streamSlot.compare_exchange_strong(expected, reinterpret_cast<uintptr_t>(stream),
                                                std::memory_order_acq_rel);
}

int GigaVoice::Render(audio::Buffers*, int) noexcept
{
    // Rendering comes with the voice renderer; until then a voice ends at once.
    return 0;
}
