#include "kiv/gui/XEventQueue.h"

// Each slot's sequence says whose turn it is: equal to a write position, the
// slot is free for that write; one more, it holds that write's event for the
// reader; the reader hands it back with the position one lap later.

XEventQueue::XEventQueue(int capacity) { SetCapacity(capacity); }

bool XEventQueue::SetCapacity(int capacity)
{
    if (capacity < 2)
        return false;
    m_slots.reset(new Slot[capacity]);
    m_capacity = capacity;
    for (int i = 0; i < capacity; ++i)
        m_slots[i].sequence.store(static_cast<uint64_t>(i), std::memory_order_relaxed);
    m_write.store(0, std::memory_order_relaxed);
    m_read.store(0, std::memory_order_release);
    return true;
}

bool XEventQueue::Post(const XEvent& event)
{
    uint64_t pos = m_write.load(std::memory_order_relaxed);
    for (;;) {
        Slot& slot = m_slots[pos % static_cast<uint64_t>(m_capacity)];
        uint64_t sequence = slot.sequence.load(std::memory_order_acquire);
        int64_t lag = static_cast<int64_t>(sequence - pos);
        if (lag == 0) {
            if (m_write.compare_exchange_weak(pos, pos + 1, std::memory_order_relaxed)) {
                slot.event = event;
                slot.sequence.store(pos + 1, std::memory_order_release);
                return true;
            }
        } else if (lag < 0) {
            return false;  // full: the reader has not freed this slot yet
        } else {
            pos = m_write.load(std::memory_order_relaxed);
        }
    }
}

bool XEventQueue::Pop(XEvent& out)
{
    uint64_t pos = m_read.load(std::memory_order_relaxed);
    Slot& slot = m_slots[pos % static_cast<uint64_t>(m_capacity)];
    if (slot.sequence.load(std::memory_order_acquire) != pos + 1)
        return false;
    out = slot.event;
    slot.sequence.store(pos + static_cast<uint64_t>(m_capacity), std::memory_order_release);
    m_read.store(pos + 1, std::memory_order_relaxed);
    return true;
}

bool XEventQueue::IsEmpty() const
{
    uint64_t pos = m_read.load(std::memory_order_relaxed);
    const Slot& slot = m_slots[pos % static_cast<uint64_t>(m_capacity)];
    return slot.sequence.load(std::memory_order_acquire) != pos + 1;
}
