// GigaDiskThread: the process-wide disk-streaming thread ('disk'). It attaches
// a GigaStream to every voice that offers itself and keeps the active streams'
// rings filled from their files. It runs while at least one streaming program
// is loaded.
//
// Threads: PushVoice is called by the audio threads of every plug-in instance
// (lock-free, never waits). AddUser/RemoveUser/WaitPasses/WaitStopped run on
// the loader thread or the host's thread. Run is the disk thread itself.
#pragma once
#include <atomic>
#include <cstdint>
#include <mutex>

#include "engine/GigaBankHooks.h"
#include "engine/GigaStreamConstants.h"
#include "kiv/data/Thread.h"
#include "kiv/file/Log.h"

class GigaFile;
class GigaSample;
class GigaStream;
class GigaVoice;

class GigaDiskThread : public kiv::thread, public file::Log, public GigaDiskUsers {
public:
    // The first one built becomes the engine's disk-user hook.
    GigaDiskThread();
    // Stops the thread, waits for it and deletes the streams still active.
    ~GigaDiskThread() override;

    // The process-wide object (the first one built), or null.
    static GigaDiskThread* Get();

    // A streaming program was retained / released. The first user starts the
    // thread; the last one stops it and waits until it has ended.
    void AddUser() override;
    void RemoveUser() override;
    int GetUserCount() const { return m_users.load(std::memory_order_acquire); }

    // Waits until the thread has made n more passes (at once when it is not running).
    void WaitPasses(int n);
    // Waits while the thread runs.
    void WaitStopped();

    // Audio thread: asks for a stream of sample for voice, which waits with
    // generation; the stream starts at startFrame of the sample, or right
    // after the frames in memory when that is further, and its rings hold
    // what the voice reads in a block (blockFrames). False when the ring is
    // busy (another producer), full, or the thread is not running; the voice
    // tries again on its next block.
    bool PushVoice(GigaVoice* voice, GigaSample* sample, uint32_t generation, int64_t startFrame = 0,
                   int64_t blockFrames = 0) noexcept;

    // Number of streams in the active list.
    int ActiveStreams() const { return m_activeCount.load(std::memory_order_acquire); }

    // Keeps the thread from taking or recycling streams while held, so the
    // caller can check UsesFile and delete a bank without a race.
    std::unique_lock<std::mutex> LockStreams() { return std::unique_lock<std::mutex>(m_lock); }
    // With LockStreams held: true when an active stream or a waiting voice
    // uses the file.
    bool UsesFile(const GigaFile* file) const;

protected:
    void Run() override;

private:
    struct Request {
        GigaVoice* voice;
        GigaSample* sample;
        uint32_t generation;
        int64_t startFrame;
        int64_t blockFrames;
    };

    void TakeVoices();
    bool WalkStreams();
    void StopAccepting();
    void EmptyActiveList();
    void Append(GigaStream* stream);

    std::mutex m_userLock;                 // orders AddUser/RemoveUser
    std::atomic<int> m_users{0};
    std::atomic<int> m_passes{0};
    std::atomic<bool> m_quit{false};       // destructor: leave the loop now

    // The voice ring: several producers serialised by the busy flag, one consumer.
    std::atomic<bool> m_busy{false};
    std::atomic<bool> m_accepting{false};
    Request m_ring[giga::kDiskRingEntries] = {};
    std::atomic<uint32_t> m_read{0};
    std::atomic<uint32_t> m_write{0};

    mutable std::mutex m_lock;             // active list and pools against bank deletion
    GigaStream* m_head = nullptr;
    GigaStream* m_tail = nullptr;
    std::atomic<int> m_activeCount{0};

    float m_left[giga::kStreamRefillFrames];
    float m_right[giga::kStreamRefillFrames];
};
