// Runs on the loader thread (preload) and the disk thread (streams); each
// reader belongs to one of them. No allocation after construction.
#include "engine/GigaSampleReader.h"

#include <algorithm>
#include <cstring>
#include <type_traits>

#include "engine/FastFile.h"
#include "engine/GigaConstants.h"
#include "engine/GigaSample.h"

namespace {

constexpr int kMaxParamBytes = 12;
constexpr int kFrameBufferBytes = 2 + 2 * kMaxParamBytes + giga::kMaxCompressedFrame * 3 * 2;
// Compressed data is read ahead in pieces of this size (at least one largest
// frame), so small frames cost no system call each.
constexpr int kReadAheadBytes = 65536;
constexpr int kBufferBytes = kFrameBufferBytes > kReadAheadBytes ? kFrameBufferBytes : kReadAheadBytes;
// Plain data is read in batches that fill the buffer.
constexpr int kPlainBatchBytes = kBufferBytes;

int32_t S16(const uint8_t* p)
{
    return static_cast<int16_t>(static_cast<uint16_t>(p[0] | (p[1] << 8)));
}

int32_t S24(const uint8_t* p)
{
    uint32_t v = static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
                 (static_cast<uint32_t>(p[2]) << 16);
    return static_cast<int32_t>(v << 8) >> 8;
}

int32_t S12(uint32_t v)
{
    return static_cast<int32_t>(v << 20) >> 20;
}

// Wrapping arithmetic: malformed data must not overflow a signed integer.
int32_t Add(int32_t a, int32_t b)
{
    return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}

int32_t Sub(int32_t a, int32_t b)
{
    return static_cast<int32_t>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b));
}

// One channel of a batch of plain little-endian frames, as a loop of fixed
// stride the compiler can vectorise. 16-bit output of 24-bit data keeps the
// upper two bytes.
template <int Bits, int Channels, typename T>
void PlainChannel(const uint8_t* src, int ch, T* out, int64_t n)
{
    constexpr int kBytes = Bits / 8;
    constexpr int kStride = Channels * kBytes;
    const uint8_t* p = src + ch * kBytes;
    for (int64_t i = 0; i < n; ++i) {
        const uint8_t* q = p + i * kStride;
        if constexpr (Bits == 16) {
            int16_t v;
            std::memcpy(&v, q, 2);
            if constexpr (std::is_same_v<T, float>)
                out[i] = static_cast<float>(v) * giga::kInt16StreamScale;
            else
                out[i] = v;
        } else if constexpr (std::is_same_v<T, float>) {
            out[i] = static_cast<float>(S24(q)) * giga::kPlain24Scale;
        } else {
            int16_t v;
            std::memcpy(&v, q + 1, 2);
            out[i] = v;
        }
    }
}

template <int Bits, int Channels, typename T>
void PlainBatch(const uint8_t* src, T* left, T* right, int64_t n)
{
    if (left)
        PlainChannel<Bits, Channels>(src, 0, left, n);
    if (Channels == 2 && right)
        PlainChannel<Bits, Channels>(src, 1, right, n);
}

int ParamBytes(int mode)
{
    if (mode == 1)
        return 4;
    if (mode >= 3)
        return kMaxParamBytes;
    return 0;
}

// Data bytes of n samples of one channel of a compressed frame in `mode`
// (mode 4 packs two samples in three bytes).
int64_t ChannelBytes(int bits, int mode, int64_t n)
{
    if (bits == 16)
        return mode == 1 ? n : 2 * n;
    switch (mode) {
    case 3:
        return 2 * n;
    case 4:
        return 3 * ((n + 1) / 2);
    case 5:
        return n;
    default:
        return 3 * n;
    }
}

}  // namespace

GigaSampleReader::GigaSampleReader() : m_buffer(new uint8_t[kBufferBytes]) {}

GigaSampleReader::~GigaSampleReader() = default;

float GigaSampleReader::Scale24(int truncatedBits)
{
    if (truncatedBits >= 1 && truncatedBits <= giga::kMaxTruncatedBits)
        return 1.0f / static_cast<float>((1 << (23 - truncatedBits)) - 1);
    return giga::kPlain24Scale;
}

bool GigaSampleReader::SetUp(const GigaSample* sample, const FastFile* file, int64_t position,
                             int64_t frameOffset)
{
    m_sample = sample;
    m_file = file;
    m_failed = !sample || !file || !sample->IsUsable();
    m_frameLeft = 0;
    m_framePos = 0;
    m_pending[0] = m_pending[1] = 0;
    m_bufferStart = 0;
    m_bufferLength = 0;
    if (m_failed)
        return false;
    m_channels = sample->channels;
    m_bits = sample->bits;
    m_frameSize = sample->frameSize;
    m_truncated = sample->frameSize ? sample->truncatedBits : 0;
    m_scale = Scale24(m_truncated);
    const int64_t declaredEnd = sample->dataOffset + std::max<int64_t>(sample->dataSize, 0);
    m_dataEnd = std::min(declaredEnd, file->GetSize());
    m_dataWhole = declaredEnd <= file->GetSize();
    m_position = std::clamp(position, sample->dataOffset, std::max(sample->dataOffset, m_dataEnd));
    m_framesTotal = sample->frames;
    m_framesDone = std::clamp<int64_t>(frameOffset, 0, m_framesTotal);
    return true;
}

int64_t GigaSampleReader::Decode16(int16_t* left, int16_t* right, int64_t frames)
{
    return Decode(left, right, frames);
}

int64_t GigaSampleReader::DecodeFloat(float* left, float* right, int64_t frames)
{
    return Decode(left, right, frames);
}

template <typename T>
int64_t GigaSampleReader::Decode(T* left, T* right, int64_t frames)
{
    if (m_failed || frames <= 0)
        return 0;
    if (m_channels == 1)
        right = nullptr;
    frames = std::min(frames, m_framesTotal - m_framesDone);
    if (frames <= 0)
        return 0;
    int64_t done = m_frameSize ? DecodeCompressed(left, right, frames) : DecodePlain(left, right, frames);
    m_framesDone += done;
    // Short of the frames asked for and of the sample's end (a short last
    // frame moves that end): the data ended early or is malformed.
    if (done < frames && m_framesDone < m_framesTotal)
        m_failed = true;
    return done;
}

template <typename T>
int64_t GigaSampleReader::DecodePlain(T* left, T* right, int64_t frames)
{
    const int bpf = m_channels * m_bits / 8;
    if constexpr (std::is_same_v<T, int16_t>) {
        // Mono 16-bit data is the output already: read it straight in.
        if (m_channels == 1 && m_bits == 16 && left) {
            const int64_t want = std::min(frames, (m_dataEnd - m_position) / 2);
            const int64_t got = want > 0 ? m_file->ReadAt(m_position, left, want * 2) / 2 : 0;
            m_position += got * 2;
            return got;
        }
    }
    const int64_t batch = kPlainBatchBytes / bpf;
    uint8_t* buf = m_buffer.get();
    m_bufferLength = 0;  // the scratch replaces any read-ahead
    int64_t done = 0;
    while (done < frames) {
        int64_t want = std::min(batch, frames - done);
        want = std::min(want, (m_dataEnd - m_position) / bpf);
        if (want <= 0)
            break;
        const int64_t got = m_file->ReadAt(m_position, buf, want * bpf) / bpf;
        if (got <= 0)
            break;
        m_position += got * bpf;
        T* l = left ? left + done : nullptr;
        T* r = right ? right + done : nullptr;
        if (m_bits == 16)
            m_channels == 2 ? PlainBatch<16, 2>(buf, l, r, got) : PlainBatch<16, 1>(buf, l, r, got);
        else
            m_channels == 2 ? PlainBatch<24, 2>(buf, l, r, got) : PlainBatch<24, 1>(buf, l, r, got);
        done += got;
        if (got < want)
            break;
    }
    return done;
}

bool GigaSampleReader::ReadFrameHeader()
{
    const int F = m_frameSize;
    const int64_t largest = m_channels * (1 + kMaxParamBytes + (m_bits / 8) * static_cast<int64_t>(F));
    const int64_t want = std::min<int64_t>(largest, m_dataEnd - m_position);
    if (want < m_channels)
        return false;
    // Refill when the frame may run past the bytes read ahead.
    if (m_position < m_bufferStart || m_position + want > m_bufferStart + m_bufferLength) {
        const int64_t ahead = std::min<int64_t>(kBufferBytes, m_dataEnd - m_position);
        m_bufferStart = m_position;
        m_bufferLength = m_file->ReadAt(m_position, m_buffer.get(), ahead);
    }
    const int64_t at = m_position - m_bufferStart;
    const uint8_t* buf = m_buffer.get() + at;
    const int64_t got = m_bufferLength - at;
    if (got < m_channels)
        return false;

    int params = 0;
    for (int ch = 0; ch < m_channels; ++ch) {
        const int mode = buf[ch];
        if (m_bits == 16 ? mode > 1 : (mode < 2 || mode > 5))
            return false;
        m_mode[ch] = mode;
        params += ParamBytes(mode);
    }
    // A sample whose length is no whole number of frames ends with a short
    // frame: its data, the same layout for fewer samples, ends the chunk.
    int samples = F;
    int64_t total = m_channels + params + FrameBytes(F);
    if (total > m_dataEnd - m_position) {
        samples = ShortFrameSamples(m_dataEnd - m_position - m_channels - params);
        if (samples <= 0)
            return false;
        total = m_channels + params + FrameBytes(samples);
    }
    if (total > got)
        return false;

    const uint8_t* p = buf + m_channels;
    for (int ch = 0; ch < m_channels; ++ch) {
        const int mode = m_mode[ch];
        m_y[ch] = m_dy[ch] = m_ddy[ch] = m_dddy[ch] = 0;
        if (mode == 1) {
            m_y[ch] = S16(p);
            m_dy[ch] = S16(p + 2);
        } else if (mode >= 3) {
            const int32_t p0 = S24(p), p1 = S24(p + 3), p2 = S24(p + 6), p3 = S24(p + 9);
            m_y[ch] = p0;
            m_dy[ch] = Sub(p0, p1);
            m_ddy[ch] = p2;
            m_dddy[ch] = p3;
        }
        p += ParamBytes(mode);
    }
    const int start = static_cast<int>(at) + m_channels + params;
    m_cursor[0] = start;
    if (m_channels == 2) {
        if (m_bits == 16)
            m_cursor[1] = start + (m_mode[0] == 1 ? 1 : 2);  // interleaved
        else
            m_cursor[1] = start + static_cast<int>(ChannelBytes(24, m_mode[0], samples));
    }
    m_position += total;
    m_frameLeft = samples;
    m_framePos = 0;
    return true;
}

int64_t GigaSampleReader::FrameBytes(int samples) const
{
    int64_t bytes = 0;
    for (int ch = 0; ch < m_channels; ++ch)
        bytes += ChannelBytes(m_bits, m_mode[ch], samples);
    return bytes;
}

int GigaSampleReader::ShortFrameSamples(int64_t bytes) const
{
    // Only the data of a whole chunk ends a sample: a file cut short is
    // damaged, not short.
    if (!m_dataWhole || bytes <= 0)
        return 0;
    const int64_t perTwo = FrameBytes(2);
    const int64_t guess = std::min<int64_t>(bytes * 2 / perTwo, m_frameSize - 1);
    // The data must hold that many samples exactly (a mode-4 pair's bytes
    // count as two samples); a writer that rounded the chunk's size up to
    // even leaves one spare byte, which is no sample.
    const int64_t spares = (m_sample->dataSize & 1) == 0 ? 1 : 0;
    for (int64_t spare = 0; spare <= spares; ++spare) {
        for (int64_t n = std::min<int64_t>(guess + 1, m_frameSize - 1); n >= std::max<int64_t>(guess - 1, 1); --n) {
            if (FrameBytes(static_cast<int>(n)) == bytes - spare)
                return static_cast<int>(n);
        }
    }
    return 0;
}

template <int Mode, typename T>
void GigaSampleReader::DecodeRun(int ch, T* out, int64_t n)
{
    const uint8_t* buf = m_buffer.get();
    // 16-bit channels interleave sample by sample; 24-bit channels are blocks.
    int stride = 0;
    if (m_bits == 16) {
        stride = m_mode[0] == 1 ? 1 : 2;
        if (m_channels == 2)
            stride += m_mode[1] == 1 ? 1 : 2;
    }
    int cursor = m_cursor[ch];
    int32_t y = m_y[ch], dy = m_dy[ch], ddy = m_ddy[ch], dddy = m_dddy[ch];
    const int shift = 8 - m_truncated;
    const float scale = Mode <= 1 ? giga::kInt16StreamScale : m_scale;
    for (int64_t i = 0; i < n; ++i) {
        int32_t v = 0;  // the value before scaling
        if constexpr (Mode == 0) {
            v = S16(buf + cursor);
            cursor += stride;
        } else if constexpr (Mode == 1) {
            dy = Sub(dy, static_cast<int8_t>(buf[cursor]));
            y = Sub(y, dy);
            v = static_cast<int16_t>(y);
            cursor += stride;
        } else if constexpr (Mode == 2) {
            v = S24(buf + cursor);
            cursor += 3;
        } else {
            int32_t d;
            if constexpr (Mode == 3) {
                d = S16(buf + cursor);
                cursor += 2;
            } else if constexpr (Mode == 5) {
                d = static_cast<int8_t>(buf[cursor]);
                cursor += 1;
            } else if (((m_framePos + static_cast<int>(i)) & 1) == 0) {
                const uint8_t* q = buf + cursor;
                d = S12(q[0] | ((q[1] & 0x0F) << 8));
                m_pending[ch] = S12((q[1] >> 4) | (q[2] << 4));
                cursor += 3;
            } else {
                d = m_pending[ch];  // second value of a pair started earlier
            }
            dddy = Sub(dddy, d);
            ddy = Sub(ddy, dddy);
            dy = Sub(Sub(0, dy), ddy);
            y = Add(y, dy);
            v = y;
        }
        if (!out)
            continue;
        if constexpr (std::is_same_v<T, float>)
            out[i] = static_cast<float>(v) * scale;
        else if constexpr (Mode <= 1)
            out[i] = static_cast<T>(v);
        else
            out[i] = static_cast<T>(static_cast<int16_t>(v >> shift));
    }
    m_cursor[ch] = cursor;
    m_y[ch] = y;
    m_dy[ch] = dy;
    m_ddy[ch] = ddy;
    m_dddy[ch] = dddy;
}

template <typename T>
void GigaSampleReader::DecodeChannel(int ch, T* out, int64_t n)
{
    // One loop per mode: the mode is fixed for the frame.
    switch (m_mode[ch]) {
    case 0:
        DecodeRun<0>(ch, out, n);
        break;
    case 1:
        DecodeRun<1>(ch, out, n);
        break;
    case 2:
        DecodeRun<2>(ch, out, n);
        break;
    case 3:
        DecodeRun<3>(ch, out, n);
        break;
    case 4:
        DecodeRun<4>(ch, out, n);
        break;
    default:
        DecodeRun<5>(ch, out, n);
        break;
    }
}

template <typename T>
int64_t GigaSampleReader::DecodeCompressed(T* left, T* right, int64_t frames)
{
    int64_t done = 0;
    while (done < frames) {
        if (m_frameLeft == 0) {
            if (!ReadFrameHeader())
                break;
            if (m_frameLeft < m_frameSize) {
                // The short last frame: the sample ends with it, whatever
                // its header's whole frames said.
                m_framesTotal = std::min(m_framesTotal, m_framesDone + done + m_frameLeft);
                frames = std::min(frames, done + m_frameLeft);
            }
        }
        const int64_t n = std::min<int64_t>(frames - done, m_frameLeft);
        DecodeChannel(0, left ? left + done : nullptr, n);
        if (m_channels == 2)
            DecodeChannel(1, right ? right + done : nullptr, n);
        m_framePos += static_cast<int>(n);
        m_frameLeft -= static_cast<int>(n);
        done += n;
    }
    return done;
}

template int64_t GigaSampleReader::Decode<int16_t>(int16_t*, int16_t*, int64_t);
template int64_t GigaSampleReader::Decode<float>(float*, float*, int64_t);
