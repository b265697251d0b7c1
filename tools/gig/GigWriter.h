// The .gig test-file writer (test tooling, not part of the product).
//
// Two layers:
// - RiffNode / ByteWriter: a RIFF tree builder that emits exact chunk sizes and
//   pad bytes, with overrides for writing deliberately broken files.
// - GigBuilder: a description of samples and instruments that becomes a RIFF
//   "DLS " tree in the layout the bank reader expects ('vers', 'colh', 'ptbl',
//   'lins', 'wvpl', 'xfil' with .gx01... extension files), with velocity,
//   round-robin, layer, release-trigger and key-switch dimensions, mono or
//   stereo, 16 or 24 bits, plain or compressed sample data.
//
// Typical use:
//   GigBuilder b;
//   int s = b.AddSample(GigSample::Tone("C4", 1, 16, 44100, 60, 8000));
//   GigInstrument ins("Piano");
//   ins.regions.push_back(GigRegion::Single(0, 127, s));
//   b.AddInstrument(ins);
//   b.Write("/tmp/x/Piano.gig");          // or b.Build() for the bytes
// For malformed files: BuildTree(), change nodes (Find/sizeOverride/...), then
// RiffNode::Serialize().
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "gig/GigFormat.h"

namespace gigtools {

using Bytes = std::vector<uint8_t>;

// Little-endian byte appender.
class ByteWriter {
public:
    ByteWriter& U8(uint32_t v);
    ByteWriter& U16(uint32_t v);
    ByteWriter& U24(uint32_t v);
    ByteWriter& U32(uint32_t v);
    ByteWriter& Id(const char* fourChars);        // four bytes in file order
    ByteWriter& Zero(size_t count);
    ByteWriter& Raw(const void* p, size_t count);
    ByteWriter& Append(const Bytes& b) { return Raw(b.data(), b.size()); }
    // Text in a field of exactly `width` bytes (cut, then NUL-filled).
    ByteWriter& Text(const std::string& s, size_t width);
    const Bytes& Data() const { return m_bytes; }
    Bytes Take() { return std::move(m_bytes); }
    size_t Size() const { return m_bytes.size(); }

private:
    Bytes m_bytes;
};

// One RIFF chunk: a plain chunk with data, or a container ('RIFF'/'LIST') with
// a form/list type and children. Ids are four characters in file order.
class RiffNode {
public:
    static RiffNode Chunk(const std::string& id, Bytes data = {});
    static RiffNode List(const std::string& type, std::vector<RiffNode> children = {});
    static RiffNode Riff(const std::string& form, std::vector<RiffNode> children = {});

    bool IsContainer() const { return m_container; }
    const std::string& Id() const { return m_id; }
    const std::string& Type() const { return m_type; }
    Bytes& Data() { return m_data; }
    const Bytes& Data() const { return m_data; }
    std::vector<RiffNode>& Children() { return m_children; }
    const std::vector<RiffNode>& Children() const { return m_children; }
    RiffNode& Add(RiffNode child);

    // First node of this subtree (this node included, depth first) whose id
    // matches and, when `type` is given, whose list type matches; null when none.
    RiffNode* Find(const std::string& id, const std::string& type = "");
    // Every such node, in file order.
    std::vector<RiffNode*> FindAll(const std::string& id, const std::string& type = "");

    // Size field value: data bytes, or 4 + children for a container.
    uint32_t PayloadSize() const;
    // Bytes the node takes in the file: header, payload and pad byte.
    uint64_t FileSize() const;
    // Appends the node's bytes; Serialize() returns them.
    void SerializeTo(Bytes& out) const;
    Bytes Serialize() const;
    // File offset of `target`'s header when this node starts at `base`; -1 when
    // target is not in this subtree.
    int64_t OffsetOf(const RiffNode* target, int64_t base = 0) const;

    // Deliberate faults for malformed-file tests.
    bool hasSizeOverride = false;
    uint32_t sizeOverride = 0;   // written as the size field instead of PayloadSize()
    bool omitPad = false;        // leave out the pad byte after an odd payload
    std::string rawId;           // when 4 bytes, written instead of the id

private:
    bool m_container = false;
    std::string m_id;
    std::string m_type;
    Bytes m_data;
    std::vector<RiffNode> m_children;
};

// Loop of a sample ('smpl') or of a zone ('wsmp'): frames start..end inclusive.
struct GigLoop {
    bool on = false;
    uint32_t start = 0;
    uint32_t end = 0;
};

// One wave of the pool. Values are interleaved frames (left, right); 16-bit
// samples hold -32768..32767, 24-bit samples -8388608..8388607.
struct GigSample {
    std::string name;
    int channels = 1;
    int bits = 16;
    uint32_t rate = 44100;
    int unityNote = 60;
    uint32_t pitchFraction = 0;      // 'smpl' fine tune: cents x 2^31 / 50
    GigLoop loop;                    // written to 'smpl'
    std::vector<int32_t> values;
    int file = 0;                    // 0 = the .gig itself, k = extension file .gx0k
    // Compressed data: frames of CompressedFrameFor(bits) samples per channel.
    bool compressed = false;
    int truncatedBits = 0;           // 24-bit compressed only (ewav version 3)
    int forcedMode = -1;             // -1 picks the smallest mode per frame
    int forcedModeRight = -2;        // stereo: the right channel's; -2 = as forcedMode
    bool shortLastFrame = false;     // the last frame holds only the sample's frames (GigEncoder)
    bool writeSmpl = true;

    uint32_t Frames() const { return channels > 0 ? static_cast<uint32_t>(values.size() / channels) : 0; }

    // A decaying tone of a few partials at the pitch of `note` (A4 = 69 = 440 Hz),
    // `frames` frames long, peak about -6 dBFS; both channels slightly detuned.
    static GigSample Tone(const std::string& name, int channels, int bits, uint32_t rate,
                          int note, uint32_t frames, double decaySeconds = 1.5,
                          double level = 0.5);
    // A short noisy drum hit with a pitched body; `variant` changes its colour.
    static GigSample Drum(const std::string& name, int channels, int bits, uint32_t rate,
                          uint32_t frames, int variant);

    // Fades the last `seconds` out along half a cosine, so the sample ends in
    // silence as a recorded note does instead of stopping dead.
    void FadeOut(double seconds);
};

// 3ewa articulation of one zone, in engineering units; Encode() lays it out.
struct GigArticulation {
    double attack = 0.0;             // seconds, 0 = the zero-time code
    double decay = 0.0;
    double sustain = 1.0;            // 0..1
    double release = 0.3;
    double filterAttack = 0.0;
    double filterDecay = 0.0;
    double filterSustain = 1.0;
    double filterRelease = 0.0;
    int velocityCurveCode = 0;       // byte 92
    int velocityScale = 20;          // byte 94, 20 = neutral
    int sampleStart = 0;             // frames, byte 100
    bool fixedPitch = false;         // byte 104 bit 0
    int pan = 0;                     // -64..63, byte 105
    bool selfMask = false;           // byte 106 bit 0
    int channelOffset = 0;           // byte 116 bits 2..5
    bool sustainDefeat = false;      // byte 117 bit 1
    int velocityUpperLimit = 0;      // byte 120, 0 = none
    int releaseTriggerDecay = 0;     // byte 124
    bool filterOn = false;
    int cutoff = 127;                // 0..127
    int cutoffController = 0;        // byte 129: MIDI controller that sets the cutoff, 0 = none
    std::array<uint8_t, 8> dimUpperLimits{};  // bytes 136..143, per '3lnk' slot
    uint32_t size = 0;               // chunk size; 0 = by file version (140 / 148)

    // The chunk data: the size field, then the fields at their offsets.
    Bytes Encode(int version) const;
    static int32_t TimeCode(double seconds);
};

// One zone record: its sample (a GigBuilder sample handle, -1 = none), the
// 'wsmp' values and the articulation.
struct GigZone {
    int sample = -1;
    int unityNote = 60;
    int fineTune = 0;
    int attenuation = 0;             // tenths of dB, written to the upper half
    GigLoop loop;                    // 'wsmp' loop (start, length = end - start + 1)
    GigArticulation art;
};

// One split dimension of a region; upperLimits, when given (one per zone),
// go to each zone's 3ewa limit bytes (and the velocity limit byte for 0x82).
struct GigDimension {
    uint8_t code = 0;
    uint8_t bits = 1;
    std::vector<uint8_t> upperLimits;
};

// One region: key range and dimensions. Zones are listed in the order of
// their mixed-radix index (first dimension = lowest digit), one per
// combination; a stereo region gets the sample-channel slot first and two
// zone records (left, right) per zone.
struct GigRegion {
    int low = 0;
    int high = 127;
    int velLow = 0;
    int velHigh = 127;
    bool stereo = false;
    std::vector<GigDimension> dims;
    std::vector<GigZone> zones;

    int ZoneCount() const;
    // One key range, one zone playing `sample`.
    static GigRegion Single(int low, int high, int sample, bool stereo = false);
};

struct GigInstrument {
    std::string name;
    int fineTune = 0;
    int bendRange = 2;
    int keySwitchLow = 0;
    int keySwitchHigh = 0;
    std::vector<GigRegion> regions;
    bool writeLart = true;

    GigInstrument() = default;
    explicit GigInstrument(std::string n) : name(std::move(n)) {}
};

// Builds a whole bank: the .gig and its extension files.
class GigBuilder {
public:
    struct File {
        std::string name;            // file name (".gig" or ".gxNN" of the stem)
        Bytes bytes;
    };

    int version = 3;                 // 'vers' major version; 5 dimension slots below 3
    bool writeVers = true;
    uint64_t minFileSize = kMinBankBytes;  // each file padded with 'JUNK' up to this
    std::string bankName = "Test Bank";    // top-level INFO INAM

    // Returns the sample's handle (its position in adding order).
    int AddSample(GigSample sample);
    int AddInstrument(GigInstrument instrument);
    GigSample& Sample(int handle) { return m_samples.at(handle); }
    GigInstrument& Instrument(int index) { return m_instruments.at(index); }
    const GigSample& Sample(int handle) const { return m_samples.at(handle); }
    const GigInstrument& Instrument(int index) const { return m_instruments.at(index); }
    int SampleCount() const { return static_cast<int>(m_samples.size()); }
    int InstrumentCount() const { return static_cast<int>(m_instruments.size()); }
    // Index of the sample in the pools as a reader counts them (the .gig's pool
    // first, then .gx01, .gx02 ...).
    int PoolIndex(int handle) const;
    int ExtensionCount() const;

    // The tree of the .gig file (stem names the extension files in 'xfil').
    RiffNode BuildTree(const std::string& stem = "bank") const;
    // The tree of extension file k (1-based).
    RiffNode BuildExtensionTree(int k) const;
    // Bytes of the .gig file.
    Bytes Build(const std::string& stem = "bank") const;
    // The .gig and every extension file, named after `stem`.
    std::vector<File> BuildFiles(const std::string& stem) const;
    // Writes the .gig to `path` and the extension files next to it; false when
    // a file cannot be written or a compressed sample cannot be encoded.
    bool Write(const std::string& path) const;
    // True when every compressed sample encodes (else `error` says which not).
    bool CanEncode(std::string* error = nullptr) const;

private:
    RiffNode BuildWave(const GigSample& s) const;
    RiffNode BuildWavePool(int file, std::vector<uint32_t>* offsets) const;
    RiffNode BuildInstrument(const GigInstrument& ins) const;
    RiffNode BuildRegion(const GigRegion& r) const;
    static void PadTo(RiffNode& riff, uint64_t size);

    std::vector<GigSample> m_samples;
    std::vector<GigInstrument> m_instruments;
};

// Writes bytes to a file; false on failure.
bool WriteBytes(const std::string& path, const Bytes& bytes);

}  // namespace gigtools
