// Read and Write run on the audio and disk threads: no allocation, no lock.
#include "engine/OvAudioRing.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <new>
#include <thread>

#include "engine/OvConstants.h"
#include "engine/OvEngine.h"

bool OvAudioRing::Init(int size)
{
    m_buffer.reset();
    m_size = 0;
    m_mask = m_mask2 = 0;
    m_write.store(0, std::memory_order_relaxed);
    m_read.store(0, std::memory_order_relaxed);
    // 2 x size must still fit the index arithmetic.
    if (size < 2 || size > (1 << 30) || (size & (size - 1)) != 0)
        return false;
    m_buffer.reset(new (std::nothrow) uint8_t[static_cast<size_t>(size)]);
    if (!m_buffer)
        return false;
    m_size = size;
    m_mask = static_cast<uint32_t>(size) - 1;
    m_mask2 = 2u * static_cast<uint32_t>(size) - 1;
    return true;
}

void OvAudioRing::Reset() noexcept
{
    m_write.store(0, std::memory_order_release);
    m_read.store(0, std::memory_order_release);
}

int OvAudioRing::GetUsed() const noexcept
{
    if (m_size == 0)
        return 0;
    const uint32_t write = m_write.load(std::memory_order_acquire);
    const uint32_t read = m_read.load(std::memory_order_acquire);
    return static_cast<int>((write - read) & m_mask2);
}

int OvAudioRing::Write(const void* data, int n) noexcept
{
    if (m_size == 0 || n <= 0 || !data)
        return 0;
    const uint32_t write = m_write.load(std::memory_order_relaxed);
    const uint32_t read = m_read.load(std::memory_order_acquire);
    const int used = static_cast<int>((write - read) & m_mask2);
    const int count = std::min(n, m_size - used);
    if (count <= 0)
        return 0;
    const int at = static_cast<int>(write & m_mask);
    const int first = std::min(count, m_size - at);
    const auto* src = static_cast<const uint8_t*>(data);
    std::memcpy(m_buffer.get() + at, src, static_cast<size_t>(first));
    if (count > first)
        std::memcpy(m_buffer.get(), src + first, static_cast<size_t>(count - first));
    m_write.store((write + static_cast<uint32_t>(count)) & m_mask2, std::memory_order_release);
    return count;
}

int OvAudioRing::Read(void* dst, int n, const std::atomic<bool>* writerDone) noexcept
{
    if (m_size == 0 || n <= 0 || !dst)
        return 0;
    if (!OvEngine::IsOffline())
        return Copy(dst, n);
    // Offline no sample may be missing from the result, but a writer that
    // never comes must not hang the host: the wait is bounded. A request
    // larger than the ring is served in pieces of at most a full ring.
    auto* out = static_cast<uint8_t*>(dst);
    int total = 0;
    int waited = 0;
    while (total < n) {
        const int want = std::min(n - total, m_size);
        bool done = false;
        while (GetUsed() < want && waited < kOvOfflineWaitMs) {
            // The writer's last bytes are in the ring before it says so.
            if (writerDone && writerDone->load(std::memory_order_acquire)) {
                done = true;
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(kOvOfflinePollMs));
            waited += kOvOfflinePollMs;
        }
        const int got = Copy(out + total, n - total);
        total += got;
        if (waited >= kOvOfflineWaitMs) {
            if (total < n)
                OvEngine::CountOfflineGiveUp();
            break;
        }
        if (done && got < want)
            break;
    }
    return total;
}

int OvAudioRing::Copy(void* dst, int n) noexcept
{
    const uint32_t read = m_read.load(std::memory_order_relaxed);
    const uint32_t write = m_write.load(std::memory_order_acquire);
    const int used = static_cast<int>((write - read) & m_mask2);
    const int count = std::min(n, used);
    if (count <= 0)
        return 0;
    const int at = static_cast<int>(read & m_mask);
    const int first = std::min(count, m_size - at);
    auto* out = static_cast<uint8_t*>(dst);
    std::memcpy(out, m_buffer.get() + at, static_cast<size_t>(first));
    if (count > first)
        std::memcpy(out + first, m_buffer.get(), static_cast<size_t>(count - first));
    m_read.store((read + static_cast<uint32_t>(count)) & m_mask2, std::memory_order_release);
    return count;
}
