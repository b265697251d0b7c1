// Compressed-frame encoder: see GigEncoder.h for the layout it writes.
#include "gig/GigEncoder.h"

#include <algorithm>

namespace gigtools {

namespace {

constexpr int64_t kMin16 = -32768, kMax16 = 32767;
constexpr int64_t kMin24 = -8388608, kMax24 = 8388607;

bool Fits(int64_t v, int bits)
{
    const int64_t lo = -(int64_t{1} << (bits - 1));
    const int64_t hi = (int64_t{1} << (bits - 1)) - 1;
    return v >= lo && v <= hi;
}

// Width in bits of one difference value in a difference mode.
int DiffBits(int mode)
{
    switch (mode) {
    case 1: return 8;
    case 3: return 16;
    case 4: return 12;
    case 5: return 8;
    default: return 0;
    }
}

void Put16(std::vector<uint8_t>& out, int64_t v)
{
    out.push_back(static_cast<uint8_t>(v & 0xFF));
    out.push_back(static_cast<uint8_t>((v >> 8) & 0xFF));
}

void Put24(std::vector<uint8_t>& out, int64_t v)
{
    out.push_back(static_cast<uint8_t>(v & 0xFF));
    out.push_back(static_cast<uint8_t>((v >> 8) & 0xFF));
    out.push_back(static_cast<uint8_t>((v >> 16) & 0xFF));
}

}  // namespace

GigEncoder::GigEncoder(int channels, int bits, uint32_t frameSize)
    : m_channels(channels), m_bits(bits), m_frameSize(frameSize != 0 ? frameSize : CompressedFrameFor(bits))
{
}

void GigEncoder::ForceMode(int channel, int mode)
{
    if (channel == 0 || channel == 1)
        m_forced[channel] = mode;
}

uint32_t GigEncoder::ParamBytes(int mode)
{
    if (mode == 1)
        return 4;
    if (mode >= 3 && mode <= 5)
        return 12;
    return 0;
}

uint32_t GigEncoder::FrameDataBytes(int channels, int bits, const int* modes, uint32_t frameSize)
{
    uint32_t total = 0;
    for (int c = 0; c < channels; ++c) {
        if (bits == 16)
            total += 2 * frameSize - (modes[c] == 1 ? frameSize : 0);
        else
            total += 3 * frameSize - (modes[c] > 2 ? frameSize / 2 * static_cast<uint32_t>(modes[c] - 1) : 0);
    }
    return total;
}

uint32_t GigEncoder::FrameCountField(uint32_t frames, int channels, uint32_t frameSize)
{
    if (frameSize == 0 || channels <= 0)
        return 0;
    const uint64_t units = (uint64_t{frames} * static_cast<uint64_t>(channels) + frameSize - 1) / frameSize;
    // The reader takes 2 off a field above 5.
    return static_cast<uint32_t>(units <= 5 ? units : units + 2);
}

// Fills the parameters and per-sample codes of one channel's frame in `mode`;
// the first `real` values are the signal, the rest fill the frame. False when
// the mode cannot represent the values.
bool GigEncoder::EncodeChannel(const int32_t* s, uint32_t real, int mode, ChannelFrame& out) const
{
    const uint32_t n = m_frameSize;
    out.mode = mode;
    out.params.clear();
    out.codes.assign(n, 0);
    if (mode == 0 || mode == 2) {
        const int width = mode == 0 ? 16 : 24;
        for (uint32_t i = 0; i < n; ++i) {
            const int32_t v = s[i < real ? i : real - 1];
            if (!Fits(v, width))
                return false;
            out.codes[i] = v;
        }
        return true;
    }
    const int dbits = DiffBits(mode);
    if (dbits == 0)
        return false;
    const int outBits = mode == 1 ? 16 : 24;
    const int64_t dMax = (int64_t{1} << (dbits - 1)) - 1;
    const int64_t slope = real > 1 ? int64_t{s[1]} - s[0] : 0;
    // Two starting states: one that continues the first slope backwards (small
    // first differences), and a resting one whose parameters always fit.
    for (int attempt = 0; attempt < 2; ++attempt) {
        const int64_t d0 = attempt == 0 ? slope : 0;
        bool ok = true;
        if (mode == 1) {
            int64_t y = s[0] - d0, dy = -d0;
            if (!Fits(y, 16) || !Fits(dy, 16))
                continue;
            out.params.clear();
            Put16(out.params, y);
            Put16(out.params, dy);
            for (uint32_t i = 0; i < n && ok; ++i) {
                // Past the signal, steer towards a flat line within the difference range.
                const int64_t target = i < real ? s[i] : y;
                int64_t d = dy - (y - target);
                if (i >= real)
                    d = std::clamp(d, -dMax - 1, dMax);
                ok = Fits(d, dbits);
                out.codes[i] = static_cast<int32_t>(d);
                dy -= d;
                y -= dy;
                ok = ok && Fits(y, outBits);
            }
        } else {
            int64_t y = s[0] - d0, dy = d0, ddy = -2 * d0, dddy = 0;
            const int64_t p1 = y - dy;
            if (!Fits(y, 24) || !Fits(p1, 24) || !Fits(ddy, 24))
                continue;
            out.params.clear();
            Put24(out.params, y);
            Put24(out.params, p1);
            Put24(out.params, ddy);
            Put24(out.params, dddy);
            for (uint32_t i = 0; i < n && ok; ++i) {
                const int64_t target = i < real ? s[i] : y;
                const int64_t dyNext = target - y;
                const int64_t ddyNext = -dy - dyNext;
                const int64_t dddyNext = ddy - ddyNext;
                int64_t d = dddy - dddyNext;
                if (i >= real)
                    d = std::clamp(d, -dMax - 1, dMax);
                ok = Fits(d, dbits);
                out.codes[i] = static_cast<int32_t>(d);
                dddy -= d;
                ddy -= dddy;
                dy = -dy - ddy;
                y += dy;
                ok = ok && Fits(y, outBits);
            }
        }
        if (ok)
            return true;
    }
    return false;
}

// One sample of a 16-bit channel, interleaved with the other channel.
void GigEncoder::PutData(const ChannelFrame& cf, uint32_t index, std::vector<uint8_t>& out)
{
    const int32_t v = cf.codes[index];
    if (cf.mode == 0)
        Put16(out, v);
    else
        out.push_back(static_cast<uint8_t>(v & 0xFF));
}

// The first `count` samples of a 24-bit channel's block.
void GigEncoder::PutBlock(const ChannelFrame& cf, uint32_t count, std::vector<uint8_t>& out)
{
    const size_t n = std::min<size_t>(count, cf.codes.size());
    switch (cf.mode) {
    case 2:
        for (size_t i = 0; i < n; ++i)
            Put24(out, cf.codes[i]);
        break;
    case 3:
        for (size_t i = 0; i < n; ++i)
            Put16(out, cf.codes[i]);
        break;
    case 4:
        for (size_t i = 0; i + 1 < n; i += 2) {
            const uint32_t a = static_cast<uint32_t>(cf.codes[i]) & 0xFFF;
            const uint32_t b = static_cast<uint32_t>(cf.codes[i + 1]) & 0xFFF;
            out.push_back(static_cast<uint8_t>(a & 0xFF));
            out.push_back(static_cast<uint8_t>((a >> 8) | ((b & 0xF) << 4)));
            out.push_back(static_cast<uint8_t>(b >> 4));
        }
        break;
    case 5:
        for (size_t i = 0; i < n; ++i)
            out.push_back(static_cast<uint8_t>(cf.codes[i] & 0xFF));
        break;
    default:
        break;
    }
}

bool GigEncoder::Encode(const std::vector<int32_t>& interleaved, std::vector<uint8_t>& out)
{
    m_modes.clear();
    m_error.clear();
    if ((m_channels != 1 && m_channels != 2) || (m_bits != 16 && m_bits != 24)) {
        m_error = "format must be mono or stereo, 16 or 24 bits";
        return false;
    }
    if (m_frameSize == 0 || (m_bits == 24 && m_frameSize % 2 != 0)) {
        m_error = "frame size must be above 0 (and even for 24 bits)";
        return false;
    }
    if (interleaved.size() % static_cast<size_t>(m_channels) != 0) {
        m_error = "value count is not a multiple of the channels";
        return false;
    }
    const int64_t lo = m_bits == 16 ? kMin16 : kMin24;
    const int64_t hi = m_bits == 16 ? kMax16 : kMax24;
    for (int32_t v : interleaved) {
        if (v < lo || v > hi) {
            m_error = "value out of range for the bit depth";
            return false;
        }
    }
    const size_t frames = interleaved.size() / static_cast<size_t>(m_channels);
    const size_t frameCount = (frames + m_frameSize - 1) / m_frameSize;
    const int autoModes16[] = {1, 0};
    const int autoModes24[] = {5, 4, 3, 2};
    std::vector<int32_t> plane(m_frameSize);
    ChannelFrame cf[2];
    for (size_t f = 0; f < frameCount; ++f) {
        for (int c = 0; c < m_channels; ++c) {
            // Gather this channel's samples of the frame; the last frame may be short.
            const size_t first = f * m_frameSize;
            const uint32_t real = static_cast<uint32_t>(std::min<size_t>(m_frameSize, frames - first));
            for (uint32_t i = 0; i < real; ++i)
                plane[i] = interleaved[(first + i) * static_cast<size_t>(m_channels) + static_cast<size_t>(c)];
            // Mode 4 packs pairs: a short frame of an odd count would read
            // as one sample longer.
            const bool oddShort = m_shortLast && real < m_frameSize && (real & 1) != 0;
            bool ok = false;
            if (m_forced[c] >= 0) {
                const bool legal = m_bits == 16 ? m_forced[c] <= 1
                                                : (m_forced[c] >= 2 && m_forced[c] <= 5 && !(oddShort && m_forced[c] == 4));
                ok = legal && EncodeChannel(plane.data(), real, m_forced[c], cf[c]);
                if (!ok) {
                    m_error = "forced mode " + std::to_string(m_forced[c]) + " cannot hold frame " +
                              std::to_string(f) + " of channel " + std::to_string(c);
                    return false;
                }
            } else if (m_bits == 16) {
                for (int mode : autoModes16)
                    if ((ok = EncodeChannel(plane.data(), real, mode, cf[c])))
                        break;
            } else {
                for (int mode : autoModes24)
                    if (!(oddShort && mode == 4) && (ok = EncodeChannel(plane.data(), real, mode, cf[c])))
                        break;
            }
            if (!ok) {
                m_error = "no mode holds frame " + std::to_string(f);
                return false;
            }
        }
        m_modes.push_back({cf[0].mode, m_channels == 2 ? cf[1].mode : -1});
        for (int c = 0; c < m_channels; ++c)
            out.push_back(static_cast<uint8_t>(cf[c].mode));
        for (int c = 0; c < m_channels; ++c)
            out.insert(out.end(), cf[c].params.begin(), cf[c].params.end());
        // A short last frame ends after the signal's samples.
        const uint32_t count =
            m_shortLast ? static_cast<uint32_t>(std::min<size_t>(m_frameSize, frames - f * m_frameSize)) : m_frameSize;
        if (m_bits == 16) {
            for (uint32_t i = 0; i < count; ++i)
                for (int c = 0; c < m_channels; ++c)
                    PutData(cf[c], i, out);
        } else {
            for (int c = 0; c < m_channels; ++c)
                PutBlock(cf[c], count, out);
        }
    }
    return true;
}

}  // namespace gigtools
