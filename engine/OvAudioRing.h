// OvAudioRing: the byte ring through which a voice's disk stream hands
// decoded sample data from the disk thread (the one writer) to the audio
// thread (the one reader). Indices run modulo twice the size so that a full
// ring and an empty one differ; each side publishes only its own index, with
// a release store after copying.
//
// Read is audio-thread safe: it allocates nothing; only while the engine is
// offline it waits for data, in 2 ms sleeps for at most 2 s. Init and Reset
// run while neither side uses the ring.
#pragma once
#include <atomic>
#include <cstdint>
#include <memory>

class OvAudioRing {
public:
    OvAudioRing() = default;
    OvAudioRing(const OvAudioRing&) = delete;
    OvAudioRing& operator=(const OvAudioRing&) = delete;

    // False (and the ring unusable) unless size is a power of two >= 2;
    // frees a previous buffer.
    bool Init(int size);
    void Reset() noexcept;

    // Writer: copies min(n, free) bytes; returns the count.
    int Write(const void* data, int n) noexcept;
    // Reader: copies min(n, used) bytes; offline it first waits (bounded)
    // until n bytes are there or the ring is full, or until writerDone (when
    // given) says that the writer will write nothing more. Returns the count.
    int Read(void* dst, int n, const std::atomic<bool>* writerDone = nullptr) noexcept;

    int GetSize() const { return m_size; }
    int GetUsed() const noexcept;
    int GetFree() const noexcept { return m_size - GetUsed(); }

private:
    int Copy(void* dst, int n) noexcept;

    int m_size = 0;
    uint32_t m_mask2 = 0;  // 2 x size - 1
    uint32_t m_mask = 0;   // size - 1
    std::unique_ptr<uint8_t[]> m_buffer;
    alignas(64) std::atomic<uint32_t> m_write{0};
    alignas(64) std::atomic<uint32_t> m_read{0};
};
