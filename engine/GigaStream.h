// GigaStream: the disk stream of one voice whose sample is kept in memory only
// in part. The disk thread starts it on the sample and refills its two float
// rings from the sample's file; the audio thread reads from them through the
// voice (Read is the only audio-thread operation). Streams are owned by the
// idle pool of their GigaFile (GigaStreamPool) while idle, and by the disk
// thread while active.
#pragma once
#include <atomic>
#include <cstdint>
#include <memory>

class GigaFile;
class GigaSample;
class GigaSampleReader;
class OvAudioRing;

class GigaStream {
public:
    explicit GigaStream(GigaFile* file);
    ~GigaStream();
    GigaStream(const GigaStream&) = delete;
    GigaStream& operator=(const GigaStream&) = delete;

    // Disk thread: a stream for sample from the idle pool of the sample's file
    // (a new one when the pool is empty); null when the sample has no file.
    static GigaStream* TakeFor(GigaSample* sample);
    // The file that holds the sample's data (null when none).
    static GigaFile* FileOf(const GigaSample* sample);

    // Disk thread: prepares the stream for the part of the sample that is not
    // in memory, from startFrame on when that lies further (the frames before
    // it are decoded and dropped by the refills). The rings hold what the
    // voice reads in two blocks of blockFrames frames each (many times its
    // output far above the root), within a bound, and never less than the
    // usual size. False when the sample cannot be streamed (its rings stay
    // empty).
    bool Start(GigaSample* sample, int64_t startFrame = 0, int64_t blockFrames = 0);
    // Disk thread: while 4096 bytes are free in the left ring, decodes up to
    // 1024 frames into it. left/right are scratch buffers of at least 1024
    // floats.
    void Refill(float* left, float* right);
    // Audio thread: takes frames floats from the left ring (and the right ring
    // when right is given); true only when all of them were there (`got`,
    // when given, receives how many were). Offline it waits for them
    // (bounded) only while more data can still come.
    bool Read(float* left, float* right, int frames, int* got = nullptr) noexcept;
    // Disk thread: empties the rings and gives the stream back to its file's pool.
    void Recycle();

    // The voice sets it when it no longer needs the stream; the disk thread
    // then recycles the stream.
    void SetFinished() noexcept { m_finished.store(true, std::memory_order_release); }
    bool IsFinished() const noexcept { return m_finished.load(std::memory_order_acquire); }

    GigaFile* GetFile() const { return m_file; }
    GigaSample* GetSample() const { return m_sample; }
    int64_t GetFramesLeft() const { return m_framesLeft; }
    int GetChannels() const { return m_channels; }
    int BytesQueued() const noexcept;  // decoded bytes waiting in the left ring
    int RingBytes() const noexcept;    // what each ring holds
    // Every frame it will ever give is in its rings: the end of the sample,
    // or data that could not be read or decoded.
    bool IsDrained() const noexcept { return m_drained.load(std::memory_order_acquire); }

    // List membership (idle pool or the disk thread's active list).
    GigaStream* next = nullptr;

private:
    // Disk thread, while no voice reads: rings of bytes each (the right one
    // only for stereo); the rings stay as they are when that fails.
    void SizeRings(int bytes, bool stereo);

    GigaFile* m_file;
    GigaSample* m_sample = nullptr;
    std::unique_ptr<GigaSampleReader> m_reader;
    std::unique_ptr<OvAudioRing> m_left;
    std::unique_ptr<OvAudioRing> m_right;
    int64_t m_framesLeft = 0;
    int64_t m_skip = 0;  // frames still to drop before the first one queued
    int m_channels = 0;
    std::atomic<bool> m_finished{true};
    std::atomic<bool> m_drained{true};
};

// The idle streams of one GigaFile. Streams are taken and given back by the
// disk thread only; the loader fills the pool when it reads the file's wave
// pool, before any stream of the file can be active. Deleting the pool
// deletes the idle streams (active ones belong to the disk thread).
class GigaStreamPool {
public:
    GigaStreamPool() = default;
    ~GigaStreamPool();
    GigaStreamPool(const GigaStreamPool&) = delete;
    GigaStreamPool& operator=(const GigaStreamPool&) = delete;

    // Makes count idle streams for file.
    void Fill(GigaFile* file, int count);
    // The head of the idle list, or a new stream for the pool's file.
    GigaStream* Take();
    // Appends an idle stream.
    void Recycle(GigaStream* stream);

    int Made() const { return m_made; }
    int Idle() const { return m_idle; }

private:
    GigaFile* m_file = nullptr;
    GigaStream* m_head = nullptr;
    GigaStream* m_tail = nullptr;
    int m_made = 0;
    int m_idle = 0;
};
