#include "engine/OvRenderSeq.h"

#include <chrono>
#include <thread>

bool OvRenderSeq::WaitIdle(int timeoutMs) const
{
    const uint32_t seen = m_seq.load(std::memory_order_seq_cst);
    if ((seen & 1u) == 0)
        return true;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (m_seq.load(std::memory_order_seq_cst) == seen) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return true;
}
