// OvRenderSeq: tells a control thread whether the audio thread is inside a
// render, so it can wait for that render to end before it deletes what the
// render may still use. The audio thread marks the start and the end of each
// render (never waiting); control threads wait.
#pragma once
#include <atomic>
#include <cstdint>

class OvRenderSeq {
public:
    // Audio thread: around each render. The start is marked before the
    // render looks at any switch, so a thread that switched one off either
    // sees this render or is seen by it.
    void Enter() noexcept { m_seq.fetch_add(1, std::memory_order_seq_cst); }
    void Leave() noexcept { m_seq.fetch_add(1, std::memory_order_seq_cst); }

    // Control thread: true once no render is running, or the one running now
    // has ended; false when that takes longer than timeoutMs.
    bool WaitIdle(int timeoutMs) const;

private:
    // Odd while a render runs; every render adds 2.
    std::atomic<uint32_t> m_seq{0};
};
