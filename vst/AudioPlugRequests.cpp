#include "vst/AudioPlugRequests.h"

static_assert(std::atomic<uint64_t>::is_always_lock_free, "the audio thread may set a size");

bool AudioPlugRequests::RequestSize(int w, int h, int maxSize)
{
    if (w <= 0 || h <= 0 || w > maxSize || h > maxSize)
        return false;
    m_size.store(static_cast<uint64_t>(w) << 32 | static_cast<uint32_t>(h), std::memory_order_release);
    return true;
}

bool AudioPlugRequests::TakeSize(int& w, int& h)
{
    uint64_t size = m_size.exchange(0, std::memory_order_acq_rel);
    if (!size)
        return false;
    w = static_cast<int>(size >> 32);
    h = static_cast<int>(size & 0xFFFFFFFFu);
    return true;
}
