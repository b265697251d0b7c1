// GigaVoice: the .gig player's voice. Owned by its player's pool; played by a
// GigaTone on the audio thread. This file holds what the loader and the disk
// thread need: the stream hand-over between the audio thread and the disk
// thread. Note start and rendering come with the voice renderer.
//
// Stream hand-over: one atomic slot holds either nothing, "waiting with
// generation g" (odd values) or the attached stream (an aligned pointer).
// The audio thread offers the voice with a new generation, the disk thread
// attaches a stream only with a compare-and-swap from that exact waiting
// value, and the audio thread leaves the stream with an exchange. A voice
// that ended or moved to another note before the disk thread got to it is
// therefore never given a stream, and a stream is never lost to a voice that
// has already left.
#pragma once
#include <atomic>
#include <cstdint>

#include "engine/OvVoice.h"

class GigaSample;
class GigaStream;

class GigaVoice : public OvVoice {
public:
    GigaVoice() = default;
    ~GigaVoice() override;

    // Audio thread: the voice goes back to the pool; leaves its stream.
    void Stop() noexcept override;

    // Audio thread: asks the disk thread for a stream of sample. The first
    // offer of a note opens a new generation; a refused offer keeps it and is
    // repeated on the next block. True once the request is queued.
    bool OfferToDisk(GigaSample* sample) noexcept;
    // Audio thread: the attached stream, or null while none is.
    GigaStream* GetStream() const noexcept;
    // Audio thread: gives the stream up (it is marked finished) and stops waiting.
    void LeaveStream() noexcept;
    // True while the voice waits for a stream (offered, none attached yet).
    bool IsWaiting() const noexcept;

    // Disk thread: true while the voice still waits with generation.
    bool IsWaitingForStream(uint32_t generation) const noexcept;
    // Disk thread: attaches stream when the voice still waits with generation.
    bool AttachStream(GigaStream* stream, uint32_t generation) noexcept;

protected:
    int Render(audio::Buffers* buses, int frames) noexcept override;

private:
    static uintptr_t WaitingValue(uint32_t generation) noexcept
    {
        return (static_cast<uintptr_t>(generation) << 1) | 1u;
    }

    std::atomic<uintptr_t> m_streamSlot{0};
    uint32_t m_generation = 0;  // audio thread only
};
