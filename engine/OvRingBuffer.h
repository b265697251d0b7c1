// OvMidiEvent, the 16-byte event record of a tone's ring, and OvRingBuffer,
// the power-of-two ring with one reader that carries it (and voice pointers
// to the disk thread).
//
// Writers may be on several threads at once (host MIDI on the audio thread,
// the on-screen keyboard on the GUI thread, the loader): a writer claims a
// slot with a compare-and-swap on the write counter and publishes the entry
// with a release store of the slot's sequence number. The reader takes
// entries in claim order up to the first one not yet published, and
// publishes its read counter with a release store. A full ring (capacity - 1
// entries waiting) drops the new entry. Audio-thread safe: no allocation,
// no lock, no wait.
#pragma once
#include <atomic>
#include <cstdint>

struct OvMidiEvent {
    int32_t type = 0;         // kOvEventNoteOn .. kOvEventProgramChange
    int32_t data1 = 0;        // key, lsb, controller or program
    int32_t data2 = 0;        // velocity, msb or value
    int32_t deltaFrames = 0;
};
static_assert(sizeof(OvMidiEvent) == 16, "OvMidiEvent is four 32-bit values");

template <typename T, int kCapacity>
class OvRingBuffer {
    static_assert(kCapacity >= 2 && (kCapacity & (kCapacity - 1)) == 0, "power of two");

public:
    static constexpr int kMask = kCapacity - 1;

    OvRingBuffer()
    {
        for (int i = 0; i < kCapacity; ++i)
            m_slots[i].seq.store(static_cast<uint32_t>(i), std::memory_order_relaxed);
    }
    OvRingBuffer(const OvRingBuffer&) = delete;
    OvRingBuffer& operator=(const OvRingBuffer&) = delete;

    static constexpr int Capacity() { return kCapacity; }

    // Any thread. False when capacity - 1 entries wait: the item is dropped.
    bool Write(const T& item) noexcept
    {
        uint32_t pos = m_write.load(std::memory_order_relaxed);
        for (;;) {
            const uint32_t read = m_read.load(std::memory_order_acquire);
            if (pos - read >= static_cast<uint32_t>(kMask))
                return false;
            if (m_write.compare_exchange_weak(pos, pos + 1, std::memory_order_acq_rel,
                                              std::memory_order_relaxed))
                break;
        }
        Slot& slot = m_slots[pos & kMask];
        slot.item = item;
        slot.seq.store(pos + 1, std::memory_order_release);
        return true;
    }

    // Entries claimed by writers and not yet taken (some may still be being
    // written). Any thread; exact only for the reader.
    int Pending() const noexcept
    {
        // Read first: the read counter never passes the write counter.
        const uint32_t read = m_read.load(std::memory_order_acquire);
        const uint32_t write = m_write.load(std::memory_order_acquire);
        const uint32_t n = write - read;
        return n > static_cast<uint32_t>(kMask) ? kMask : static_cast<int>(n);
    }

    // Reader only. Takes the next published entry; false when there is none.
    bool Read(T& out) noexcept
    {
        const uint32_t pos = m_read.load(std::memory_order_relaxed);
        Slot& slot = m_slots[pos & kMask];
        if (slot.seq.load(std::memory_order_acquire) != pos + 1)
            return false;
        out = slot.item;
        m_read.store(pos + 1, std::memory_order_release);
        return true;
    }

    // Reader only (or a thread that holds the reader's role while the reader
    // is known to be idle). Drops every published entry; an entry a writer
    // is still writing stays and is taken or dropped later.
    int Discard() noexcept
    {
        T item;
        int n = 0;
        while (Read(item))
            ++n;
        return n;
    }

private:
    struct Slot {
        T item{};
        std::atomic<uint32_t> seq{0};
    };

    Slot m_slots[kCapacity];
    alignas(64) std::atomic<uint32_t> m_write{0};
    alignas(64) std::atomic<uint32_t> m_read{0};
};

using OvMidiRing = OvRingBuffer<OvMidiEvent, 1024>;
