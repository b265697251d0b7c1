#include "engine/GigaFile.h"

#include <algorithm>

#include "engine/GigaSample.h"
#include "engine/GigaStream.h"
#include "engine/GigaStreamConstants.h"

namespace {
constexpr int64_t kFormatBytes = 16;  // the 'fmt ' fields a wave needs
}  // namespace

GigaFile::GigaFile() = default;

GigaFile::~GigaFile() = default;

bool GigaFile::Open(const char* path, int64_t wavePoolOffset)
{
    m_wavePool = 0;
    m_path.Assign(path ? path : "");
    if (!OpenRiff(path))
        return false;
    if (wavePoolOffset != 0) {
        m_wavePool = wavePoolOffset;
        return true;
    }
    try {
        Rewind();
        if (!NextChunk(0) || !IsChunk("RIFF", "DLS "))
            return false;
        while (NextChunk(1)) {
            if (IsChunk("LIST", "wvpl")) {
                m_wavePool = GetPosition() - 12;
                break;
            }
        }
    } catch (...) {
        m_wavePool = 0;
    }
    return m_wavePool != 0;
}

int GigaFile::ReadWavePool(GigaSample* samples, int count)
{
    int read = 0;
    if (IsOpen() && m_wavePool > 0 && count > 0) {
        Rewind();
        Seek(m_wavePool);
        if (NextChunk(0) && IsChunk("LIST", "wvpl")) {
            while (read < count && NextChunk(1)) {
                if (IsChunk("einf", nullptr))
                    break;
                if (!IsChunk("LIST", "wave"))
                    continue;
                GigaSample& s = samples[read++];
                s.file = this;
                s.dataOffset = GetPosition() - 12;
                // A malformed chunk inside a wave spoils that wave alone: its
                // list header still says where the next wave begins, so the
                // walk goes on from there. The wave is unusable, as one
                // without a format is.
                try {
                    ReadWave(s);
                } catch (const char*) {
                    s.channels = 0;
                    s.frames = 0;
                    s.looped = false;
                }
            }
        }
    }
    // Only a file that holds samples is ever streamed from: a bank listing
    // hundreds of extension files that hold nothing makes no streams for them.
    if (!m_streams && read > 0) {
        m_streams = std::make_unique<GigaStreamPool>();
        m_streams->Fill(this, giga::kStreamsPerFile);
    }
    return read;
}

void GigaFile::ReadWave(GigaSample& s)
{
    bool format = false;
    int blockAlign = 0;
    while (NextChunk(2)) {
        if (IsChunk("fmt ", nullptr)) {
            format = GetChunkDataSize() >= kFormatBytes;
            ReadU16();  // format tag
            s.channels = ReadU16();
            s.sampleRate = static_cast<int>(std::min<uint32_t>(ReadU32(), INT32_MAX));
            ReadU32();  // byte rate
            blockAlign = ReadU16();
            s.bits = ReadU16();
        } else if (IsChunk("smpl", nullptr)) {
            ReadU32();
            ReadU32();
            ReadU32();
            const uint32_t unity = ReadU32();
            s.unityNote = unity < 128 ? static_cast<int>(unity) : giga::kSampleUnityNote;
            // Fractions of 2^31 and more are 50..99 cents, not negative ones.
            const uint32_t fraction = ReadU32();
            s.fineTune = static_cast<int16_t>(static_cast<int64_t>(fraction) * 50 / 2147483648LL);
            ReadU32();
            ReadU32();
            const uint32_t loops = ReadU32();
            s.looped = loops > 0;
            if (s.looped) {
                ReadU32();
                ReadU32();
                ReadU32();  // loop type
                s.loopStart = ReadU32();
                s.loopEnd = ReadU32();
            }
        } else if (IsChunk("ewav", nullptr)) {
            const uint32_t version = ReadU32();
            ReadU32();
            s.frameSize = static_cast<int>(std::min<uint32_t>(ReadU32(), INT32_MAX));
            s.frameCountField = static_cast<int>(std::min<uint32_t>(ReadU32(), INT32_MAX));
            if (version == 3 && s.bits == 24) {
                Skip(s.channels == 1 ? 48 : 68);
                s.truncatedBits = static_cast<int>(std::min<uint32_t>(ReadU32(), INT32_MAX));
            }
        } else if (IsChunk("data", nullptr)) {
            // The pad byte of an odd chunk is no data: a compressed
            // sample's short last frame would read it as one more sample.
            s.dataOffset = GetPosition();
            s.dataSize = GetChunkDataSize();
        }
    }
    // Without its format, or with a frame size that contradicts its channels
    // and bits, the data would be read in the wrong shape and play as noise:
    // the sample is unusable. Compressed data has no fixed frame size.
    if (!format || (s.frameSize == 0 && blockAlign != s.BytesPerFrame()))
        s.channels = 0;
    // Frames only for a format the decoder can read: no division by zero.
    s.frames = 0;
    if (s.IsUsable()) {
        if (s.frameSize != 0) {
            int64_t field = s.frameCountField;
            if (field > 5)
                field -= 2;
            s.frames = static_cast<int64_t>(s.frameSize) * field / s.channels;
            // Every compressed sample takes at least a byte: no more frames than that.
            s.frames = std::min(s.frames, s.dataSize / s.channels);
        } else {
            s.frames = s.dataSize / s.BytesPerFrame();
        }
    }
    if (s.looped) {
        if (s.loopEnd >= s.frames)
            s.loopEnd = s.frames - 1;
        if (s.loopEnd < s.loopStart)
            s.looped = false;
    }
}
