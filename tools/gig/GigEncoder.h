// Compressed-frame encoder for .gig sample data (test tooling): the exact
// inverse of the bank reader's frame decoder, so round-trip tests can check
// the decoder bit for bit.
//
// Stream layout written (per compressed frame of F samples per channel):
//   1. one mode byte per channel (left, right);
//   2. the parameters of each channel in channel order:
//        mode 0, 2: none
//        mode 1:    y, dy as signed 16-bit
//        mode 3-5:  p0..p3 as signed 24-bit, with y = p0, dy = p0 - p1,
//                   ddy = p2, dddy = p3
//   3. the data: 16-bit samples interleave the channels sample by sample;
//      24-bit samples put the whole left block before the right block.
//      Bytes per sample: mode 0: 2, 1: 1, 2: 3, 3: 2, 4: 1.5 (two 12-bit values
//      in three bytes: b0 | (b1 & 0xF) << 8, then b1 >> 4 | b2 << 4), 5: 1.
// The decoder recurrences being inverted:
//   mode 1:    dy -= d; y -= dy;                               out y
//   mode 3-5:  dddy -= d; ddy -= dddy; dy = -dy - ddy; y += dy; out y
// Input values are the decoder's y: 16-bit samples as they are; 24-bit samples
// as stored, i.e. the 24-bit value already shifted right by the truncated
// bits (the decoder gives y >> (8 - t) as 16-bit and y / (2^(23 - t) - 1) as
// float).
// The last frame is filled up to F samples (the last value repeated in plain
// modes; in difference modes a tail steered towards a flat line within the
// mode's range), so every frame is whole; the reader's frame count comes from
// FrameCountField(). Whole frames of signal avoid the filled tail. With
// SetShortLastFrame the last frame holds only the signal's samples instead,
// as recorded files have it: its header and parameters, then the same data
// layout for fewer samples (24-bit stereo: the left block, then the right),
// ending the data; FrameCountField() still counts it as a whole frame.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "gig/GigFormat.h"

namespace gigtools {

class GigEncoder {
public:
    // channels 1 or 2; bits 16 (modes 0-1) or 24 (modes 2-5); frameSize 0
    // takes the format's usual frame (CompressedFrameFor(bits)).
    GigEncoder(int channels, int bits, uint32_t frameSize = 0);
    uint32_t FrameSize() const { return m_frameSize; }

    // Forces the mode of a channel (0 left, 1 right) for every frame; -1 (the
    // default) picks the smallest mode whose differences fit, per frame.
    void ForceMode(int channel, int mode);
    void ForceMode(int mode) { ForceMode(0, mode); ForceMode(1, mode); }
    // Ends the data with a short last frame (see above) instead of a filled one.
    void SetShortLastFrame(bool on) { m_shortLast = on; }

    // Encodes interleaved values (frames x channels). False, with Error() set,
    // when a value is out of range, a forced mode cannot hold a frame or the
    // format is not one of mono/stereo x 16/24 bits.
    bool Encode(const std::vector<int32_t>& interleaved, std::vector<uint8_t>& out);

    // Modes chosen for each frame by the last Encode: {left, right}.
    const std::vector<std::array<int, 2>>& Modes() const { return m_modes; }
    const std::string& Error() const { return m_error; }

    // The 'ewav' frame-count field from which the reader computes `frames`
    // (F x (field - 2 when above 5) / channels rounds up to whole F / channels).
    static uint32_t FrameCountField(uint32_t frames, int channels, uint32_t frameSize);
    // Data bytes of one frame (without header and parameters) for the modes.
    static uint32_t FrameDataBytes(int channels, int bits, const int* modes, uint32_t frameSize);
    // Parameter bytes of one channel in `mode`.
    static uint32_t ParamBytes(int mode);

private:
    struct ChannelFrame {
        int mode = 0;
        std::vector<uint8_t> params;
        std::vector<int32_t> codes;    // per sample: raw value or difference
    };
    bool EncodeChannel(const int32_t* s, uint32_t real, int mode, ChannelFrame& out) const;
    static void PutData(const ChannelFrame& cf, uint32_t index, std::vector<uint8_t>& out);
    static void PutBlock(const ChannelFrame& cf, uint32_t count, std::vector<uint8_t>& out);

    int m_channels;
    int m_bits;
    uint32_t m_frameSize;
    int m_forced[2] = {-1, -1};
    bool m_shortLast = false;
    std::vector<std::array<int, 2>> m_modes;
    std::string m_error;
};

}  // namespace gigtools
