// AudioPlugRequests: what a hosted plug-in asks of its host through the host
// callback, held for the GUI thread. Plug-ins call from any thread (the
// audio thread too: an automated parameter, a display update), so each
// request is a lock-free atomic set there and taken by the GUI thread's
// tick, which does the work.
#pragma once
#include <atomic>
#include <cstdint>

class AudioPlugRequests {
public:
    // Any thread.
    void RequestDisplayUpdate() { m_displayUpdate.store(true, std::memory_order_release); }
    // The user changed a parameter in the plug-in's own window.
    void MarkEdited() { m_edited.store(true, std::memory_order_release); }
    // The editor's new size; sizes outside 1..maxSize are refused (false).
    bool RequestSize(int w, int h, int maxSize);

    // GUI thread: each request once, cleared by the taking.
    bool TakeDisplayUpdate() { return m_displayUpdate.exchange(false, std::memory_order_acq_rel); }
    bool TakeEdited() { return m_edited.exchange(false, std::memory_order_acq_rel); }
    bool TakeSize(int& w, int& h);

private:
    std::atomic<bool> m_displayUpdate{false};
    std::atomic<bool> m_edited{false};
    // Width in the high half, height in the low; 0 when none is waiting.
    // One word, so a reader never sees the width of one request with the
    // height of another.
    std::atomic<uint64_t> m_size{0};
};
