// GigaSampleReader: reads a sample's data from its file and decodes it to
// 16-bit integers (the memory preload) or to floats (disk streams): plain 16-
// and 24-bit PCM, or the compressed format of frames with difference coding.
// Successive calls continue where the last one ended. It reads with pread on
// the file's descriptor, so a bank's preloading reader (loader thread) and its
// streams' readers (disk thread) never share a file position; each reader is
// used by one thread. Scratch memory is allocated once, at construction.
#pragma once
#include <cstdint>
#include <memory>

class FastFile;
class GigaSample;

class GigaSampleReader {
public:
    GigaSampleReader();
    ~GigaSampleReader();
    GigaSampleReader(const GigaSampleReader&) = delete;
    GigaSampleReader& operator=(const GigaSampleReader&) = delete;

    // Reads sample through file from position (a file offset inside the
    // sample's data, at a compressed frame start). frameOffset is the number
    // of frames before position. False when the sample's format is unusable.
    bool SetUp(const GigaSample* sample, const FastFile* file, int64_t position,
               int64_t frameOffset = 0);
    // Both return the frames decoded; fewer than asked at the end of the
    // data or on malformed data (the reader then stays failed).
    // right is null for one channel (and may be null to drop a right channel).
    int64_t Decode16(int16_t* left, int16_t* right, int64_t frames);
    int64_t DecodeFloat(float* left, float* right, int64_t frames);

    // File offset of the next read: after a preload, where the streamed part
    // starts (a frame boundary for compressed data when the head is a whole
    // number of frames).
    int64_t GetPosition() const { return m_position; }
    int64_t GetFramesDone() const { return m_framesDone; }
    // The sample's frames: its header's count, until a compressed sample's
    // short last frame is met, which ends it there.
    int64_t GetFramesTotal() const { return m_framesTotal; }
    bool HasFailed() const { return m_failed; }
    // The float scale of compressed 24-bit data for truncated bits t.
    static float Scale24(int truncatedBits);

private:
    template <typename T> int64_t Decode(T* left, T* right, int64_t frames);
    template <typename T> int64_t DecodePlain(T* left, T* right, int64_t frames);
    template <typename T> int64_t DecodeCompressed(T* left, T* right, int64_t frames);
    bool ReadFrameHeader();
    // Data bytes of a frame of the current modes holding `samples` samples.
    int64_t FrameBytes(int samples) const;
    // The samples of a short last frame whose data are `bytes`; 0 when no
    // count fills them exactly.
    int ShortFrameSamples(int64_t bytes) const;
    template <typename T> void DecodeChannel(int ch, T* out, int64_t n);
    template <int Mode, typename T> void DecodeRun(int ch, T* out, int64_t n);

    const GigaSample* m_sample = nullptr;
    const FastFile* m_file = nullptr;
    int64_t m_position = 0;
    int64_t m_dataEnd = 0;
    bool m_dataWhole = false;   // the file holds the whole 'data' chunk
    int64_t m_framesDone = 0;
    int64_t m_framesTotal = 0;
    bool m_failed = true;
    int m_channels = 0;
    int m_bits = 0;
    int m_truncated = 0;
    float m_scale = 0.0f;

    // Compressed state.
    int m_frameSize = 0;
    int m_frameLeft = 0;        // samples per channel left in the current frame
    int m_framePos = 0;         // samples per channel taken from the current frame
    int m_mode[2] = {};
    int32_t m_y[2] = {}, m_dy[2] = {}, m_ddy[2] = {}, m_dddy[2] = {};
    int m_cursor[2] = {};       // byte offset of each channel's next data in the frame buffer
    int32_t m_pending[2] = {};  // second 12-bit value of a started mode-4 pair

    std::unique_ptr<uint8_t[]> m_buffer;  // compressed read-ahead and plain-data scratch
    int64_t m_bufferStart = 0;            // file offset of the read-ahead's first byte
    int64_t m_bufferLength = 0;           // bytes read ahead (0: none)
};
