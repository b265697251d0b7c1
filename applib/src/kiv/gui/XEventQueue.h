// XEventQueue: the ring of XEvent records through which other threads (the
// engine's loader, searches, the host thread) and the GUI itself post work
// to a view; the view's tick drains it on the GUI thread.
//
// Posting is lock-free and safe from any number of threads at once; it never
// waits or allocates, and a full ring refuses the new event (Post returns
// false) instead of overwriting waiting ones. One reader: the GUI thread.
#pragma once
#include <atomic>
#include <cstdint>
#include <memory>

#include "kiv/gui/XConst.h"
#include "kiv/data/XEvent.h"

class XEventQueue {
public:
    explicit XEventQueue(int capacity = xconst::kEventQueueCapacity);
    XEventQueue(const XEventQueue&) = delete;
    XEventQueue& operator=(const XEventQueue&) = delete;
    virtual ~XEventQueue() = default;

    // Re-allocates the ring (dropping waiting events). Only before other
    // threads post. False for a capacity below 2.
    bool SetCapacity(int capacity);
    int GetCapacity() const { return m_capacity; }
    // Any thread. False when the ring is full.
    bool Post(const XEvent& event);
    // GUI thread. False when nothing is waiting.
    bool Pop(XEvent& out);
    bool IsEmpty() const;

private:
    struct Slot {
        std::atomic<uint64_t> sequence{0};
        XEvent event;
    };
    std::unique_ptr<Slot[]> m_slots;
    int m_capacity = 0;
    std::atomic<uint64_t> m_write{0};
    std::atomic<uint64_t> m_read{0};
};
