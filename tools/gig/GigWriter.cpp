// The .gig test-file writer: RIFF tree builder and bank layout.
#include "gig/GigWriter.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "gig/GigEncoder.h"

namespace gigtools {

// ---------------------------------------------------------------- ByteWriter

ByteWriter& ByteWriter::U8(uint32_t v)
{
    m_bytes.push_back(static_cast<uint8_t>(v));
    return *this;
}

ByteWriter& ByteWriter::U16(uint32_t v)
{
    U8(v & 0xFF);
    return U8((v >> 8) & 0xFF);
}

ByteWriter& ByteWriter::U24(uint32_t v)
{
    U16(v & 0xFFFF);
    return U8((v >> 16) & 0xFF);
}

ByteWriter& ByteWriter::U32(uint32_t v)
{
    U16(v & 0xFFFF);
    return U16(v >> 16);
}

ByteWriter& ByteWriter::Id(const char* fourChars)
{
    return Raw(fourChars, 4);
}

ByteWriter& ByteWriter::Zero(size_t count)
{
    m_bytes.insert(m_bytes.end(), count, 0);
    return *this;
}

ByteWriter& ByteWriter::Raw(const void* p, size_t count)
{
    const auto* b = static_cast<const uint8_t*>(p);
    m_bytes.insert(m_bytes.end(), b, b + count);
    return *this;
}

ByteWriter& ByteWriter::Text(const std::string& s, size_t width)
{
    const size_t n = std::min(s.size(), width);
    Raw(s.data(), n);
    return Zero(width - n);
}

// ------------------------------------------------------------------ RiffNode

namespace {

std::string FourChars(const std::string& s)
{
    std::string r = s.substr(0, 4);
    r.resize(4, ' ');
    return r;
}

void PutU32(Bytes& out, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

}  // namespace

RiffNode RiffNode::Chunk(const std::string& id, Bytes data)
{
    RiffNode n;
    n.m_id = FourChars(id);
    n.m_data = std::move(data);
    return n;
}

RiffNode RiffNode::List(const std::string& type, std::vector<RiffNode> children)
{
    RiffNode n;
    n.m_container = true;
    n.m_id = "LIST";
    n.m_type = FourChars(type);
    n.m_children = std::move(children);
    return n;
}

RiffNode RiffNode::Riff(const std::string& form, std::vector<RiffNode> children)
{
    RiffNode n = List(form, std::move(children));
    n.m_id = "RIFF";
    return n;
}

RiffNode& RiffNode::Add(RiffNode child)
{
    m_children.push_back(std::move(child));
    return m_children.back();
}

RiffNode* RiffNode::Find(const std::string& id, const std::string& type)
{
    if (m_id == FourChars(id) && (type.empty() || m_type == FourChars(type)))
        return this;
    for (RiffNode& c : m_children)
        if (RiffNode* hit = c.Find(id, type))
            return hit;
    return nullptr;
}

std::vector<RiffNode*> RiffNode::FindAll(const std::string& id, const std::string& type)
{
    std::vector<RiffNode*> hits;
    if (m_id == FourChars(id) && (type.empty() || m_type == FourChars(type)))
        hits.push_back(this);
    for (RiffNode& c : m_children) {
        std::vector<RiffNode*> sub = c.FindAll(id, type);
        hits.insert(hits.end(), sub.begin(), sub.end());
    }
    return hits;
}

uint32_t RiffNode::PayloadSize() const
{
    if (!m_container)
        return static_cast<uint32_t>(m_data.size());
    uint64_t total = 4;
    for (const RiffNode& c : m_children)
        total += c.FileSize();
    return static_cast<uint32_t>(total);
}

uint64_t RiffNode::FileSize() const
{
    const uint64_t payload = PayloadSize();
    const uint64_t pad = (payload & 1) && !omitPad ? 1 : 0;
    return 8 + payload + pad;
}

void RiffNode::SerializeTo(Bytes& out) const
{
    const std::string& id = rawId.size() == 4 ? rawId : m_id;
    out.insert(out.end(), id.begin(), id.end());
    const uint32_t payload = PayloadSize();
    PutU32(out, hasSizeOverride ? sizeOverride : payload);
    if (m_container) {
        out.insert(out.end(), m_type.begin(), m_type.end());
        for (const RiffNode& c : m_children)
            c.SerializeTo(out);
    } else {
        out.insert(out.end(), m_data.begin(), m_data.end());
    }
    if ((payload & 1) && !omitPad)
        out.push_back(0);
}

Bytes RiffNode::Serialize() const
{
    Bytes out;
    out.reserve(static_cast<size_t>(FileSize()));
    SerializeTo(out);
    return out;
}

int64_t RiffNode::OffsetOf(const RiffNode* target, int64_t base) const
{
    if (target == this)
        return base;
    int64_t pos = base + 12;
    for (const RiffNode& c : m_children) {
        const int64_t hit = c.OffsetOf(target, pos);
        if (hit >= 0)
            return hit;
        pos += static_cast<int64_t>(c.FileSize());
    }
    return -1;
}

// ----------------------------------------------------------------- GigSample

namespace {

constexpr double kTwoPi = 6.283185307179586;

double NoteHz(int note)
{
    return 440.0 * std::pow(2.0, (note - 69) / 12.0);
}

int32_t FullScale(int bits)
{
    return bits == 24 ? 8388607 : 32767;
}

int32_t Quantise(double v, int bits)
{
    const double full = FullScale(bits);
    const double q = std::round(std::clamp(v, -1.0, 1.0) * full);
    return static_cast<int32_t>(q);
}

// A compressed sample's data through enc, in the sample's forced modes.
bool Encode(const GigSample& s, GigEncoder& enc, Bytes& out)
{
    if (s.forcedMode >= 0)
        enc.ForceMode(s.forcedMode);
    if (s.forcedModeRight >= -1)
        enc.ForceMode(1, s.forcedModeRight);
    enc.SetShortLastFrame(s.shortLastFrame);
    std::vector<int32_t> coded = s.values;
    if (s.bits == 24 && s.truncatedBits > 0)
        for (int32_t& v : coded)
            v >>= s.truncatedBits;
    return enc.Encode(coded, out);
}

}  // namespace

GigSample GigSample::Tone(const std::string& name, int channels, int bits, uint32_t rate,
                          int note, uint32_t frames, double decaySeconds, double level)
{
    GigSample s;
    s.name = name;
    s.channels = channels;
    s.bits = bits;
    s.rate = rate;
    s.unityNote = note;
    s.values.resize(static_cast<size_t>(frames) * static_cast<size_t>(channels));
    const double f0 = NoteHz(note);
    const double amps[] = {1.0, 0.45, 0.22, 0.1};
    const double attack = 0.004 * rate;
    for (int c = 0; c < channels; ++c) {
        const double detune = c == 0 ? 1.0 : 1.0015;
        for (uint32_t i = 0; i < frames; ++i) {
            const double t = static_cast<double>(i) / rate;
            double v = 0.0;
            for (int p = 0; p < 4; ++p) {
                const double f = f0 * (p + 1) * detune;
                if (f >= rate / 2.0)
                    break;
                v += amps[p] * std::exp(-t * (p + 1) / decaySeconds) * std::sin(kTwoPi * f * t);
            }
            const double env = i < attack ? i / attack : 1.0;
            s.values[static_cast<size_t>(i) * channels + c] = Quantise(level * env * v / 1.77, bits);
        }
    }
    return s;
}

GigSample GigSample::Drum(const std::string& name, int channels, int bits, uint32_t rate,
                          uint32_t frames, int variant)
{
    GigSample s;
    s.name = name;
    s.channels = channels;
    s.bits = bits;
    s.rate = rate;
    s.unityNote = 36;
    s.values.resize(static_cast<size_t>(frames) * static_cast<size_t>(channels));
    uint32_t noise = 0x1234567u + static_cast<uint32_t>(variant) * 7919u;
    const double body = 55.0 + 12.0 * (variant % 4);
    const double noiseMix = 0.15 + 0.1 * (variant % 3);
    double phase = 0.0;
    for (uint32_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / rate;
        const double f = body * (1.0 + 2.5 * std::exp(-t * 40.0));
        phase += kTwoPi * f / rate;
        noise = noise * 1664525u + 1013904223u;
        const double n = (static_cast<double>(noise >> 8) / 8388608.0) - 1.0;
        const double v = 0.8 * std::exp(-t * 9.0) * std::sin(phase) + noiseMix * std::exp(-t * 30.0) * n;
        for (int c = 0; c < channels; ++c)
            s.values[static_cast<size_t>(i) * channels + c] = Quantise(0.7 * v, bits);
    }
    return s;
}

void GigSample::FadeOut(double seconds)
{
    const uint32_t frames = Frames();
    const uint32_t n = std::min(frames, static_cast<uint32_t>(std::max(0.0, seconds) * rate));
    for (uint32_t i = 0; i < n; ++i) {
        // From 1 at the fade's first frame to 0 at the sample's last.
        const double gain = 0.5 + 0.5 * std::cos(kTwoPi / 2.0 * (i + 1) / n);
        const size_t frame = frames - n + i;
        for (int c = 0; c < channels; ++c) {
            int32_t& v = values[frame * static_cast<size_t>(channels) + static_cast<size_t>(c)];
            v = static_cast<int32_t>(std::lround(v * gain));
        }
    }
}

// ----------------------------------------------------------- GigArticulation

int32_t GigArticulation::TimeCode(double seconds)
{
    if (seconds <= 0.0)
        return kTimeZero;
    const double code = std::round(std::log2(seconds) * kTimeUnit);
    return static_cast<int32_t>(std::clamp(code, -2147483647.0, 2147483647.0));
}

Bytes GigArticulation::Encode(int version) const
{
    const uint32_t total = size != 0 ? size : (version >= 3 ? k3ewaBytesV3 : k3ewaBytesV2);
    // Fields stand at offsets counted after the size field.
    Bytes buf(std::max<uint32_t>(total, 4) - 4 + 256, 0);
    auto put8 = [&](size_t off, uint32_t v) { buf[off] = static_cast<uint8_t>(v); };
    auto put16 = [&](size_t off, uint32_t v) {
        put8(off, v & 0xFF);
        put8(off + 1, (v >> 8) & 0xFF);
    };
    auto put32 = [&](size_t off, uint32_t v) {
        put16(off, v & 0xFFFF);
        put16(off + 2, v >> 16);
    };
    auto level = [](double v) { return static_cast<uint32_t>(std::lround(std::clamp(v, 0.0, 1.0) * 1000.0)); };
    put32(24, static_cast<uint32_t>(TimeCode(attack)));
    put32(28, static_cast<uint32_t>(TimeCode(decay)));
    put16(34, level(sustain));
    put32(36, static_cast<uint32_t>(TimeCode(release)));
    put32(48, static_cast<uint32_t>(TimeCode(filterAttack)));
    put32(52, static_cast<uint32_t>(TimeCode(filterDecay)));
    put16(58, level(filterSustain));
    put32(60, static_cast<uint32_t>(TimeCode(filterRelease)));
    put8(92, static_cast<uint32_t>(velocityCurveCode));
    put8(94, static_cast<uint32_t>(velocityScale));
    put16(100, static_cast<uint32_t>(sampleStart));
    put8(104, fixedPitch ? 1 : 0);
    const int p = std::clamp(pan, -64, 63);
    put8(105, static_cast<uint32_t>(p >= 0 ? p : 63 - p));
    put8(106, selfMask ? 1 : 0);
    put8(116, static_cast<uint32_t>((channelOffset & 0xF) << 2));
    put8(117, sustainDefeat ? 2 : 0);
    put8(120, static_cast<uint32_t>(velocityUpperLimit));
    put8(124, static_cast<uint32_t>(releaseTriggerDecay & 0xF));
    put8(128, static_cast<uint32_t>((cutoff & 0x7F) | (filterOn ? 0x80 : 0)));
    if (cutoffController > 0)
        put8(129, static_cast<uint32_t>(0x80 | (cutoffController & 0x7F)));
    for (size_t k = 0; k < 8; ++k)
        put8(136 + k, dimUpperLimits[k]);
    ByteWriter w;
    w.U32(total);
    w.Raw(buf.data(), total >= 4 ? total - 4 : 0);
    return w.Take();
}

// ----------------------------------------------------------------- GigRegion

int GigRegion::ZoneCount() const
{
    int n = 1;
    for (const GigDimension& d : dims)
        n <<= std::min<int>(d.bits, kMaxDimBits);
    return n;
}

GigRegion GigRegion::Single(int low, int high, int sample, bool stereo)
{
    GigRegion r;
    r.low = low;
    r.high = high;
    r.stereo = stereo;
    GigZone z;
    z.sample = sample;
    r.zones.push_back(z);
    return r;
}

// ---------------------------------------------------------------- GigBuilder

int GigBuilder::AddSample(GigSample sample)
{
    m_samples.push_back(std::move(sample));
    return static_cast<int>(m_samples.size()) - 1;
}

int GigBuilder::AddInstrument(GigInstrument instrument)
{
    m_instruments.push_back(std::move(instrument));
    return static_cast<int>(m_instruments.size()) - 1;
}

int GigBuilder::ExtensionCount() const
{
    int n = 0;
    for (const GigSample& s : m_samples)
        n = std::max(n, s.file);
    return n;
}

int GigBuilder::PoolIndex(int handle) const
{
    if (handle < 0 || handle >= SampleCount())
        return -1;
    const int file = m_samples[handle].file;
    int index = 0;
    for (int i = 0; i < SampleCount(); ++i) {
        const int f = m_samples[i].file;
        if (f < file || (f == file && i < handle))
            ++index;
    }
    return index;
}

RiffNode GigBuilder::BuildWave(const GigSample& s) const
{
    RiffNode wave = RiffNode::List("wave");
    const uint32_t frames = s.Frames();
    const uint32_t blockAlign = static_cast<uint32_t>(s.channels * s.bits / 8);
    ByteWriter fmt;
    fmt.U16(1).U16(static_cast<uint32_t>(s.channels)).U32(s.rate).U32(s.rate * blockAlign)
        .U16(blockAlign).U16(static_cast<uint32_t>(s.bits));
    wave.Add(RiffNode::Chunk("fmt ", fmt.Take()));

    ByteWriter name;
    name.Raw(s.name.data(), s.name.size()).U8(0);
    wave.Add(RiffNode::List("INFO", {RiffNode::Chunk("INAM", name.Take())}));

    if (s.writeSmpl) {
        ByteWriter smpl;
        const uint32_t period = s.rate ? 1000000000u / s.rate : 0;
        smpl.U32(0).U32(0).U32(period).U32(static_cast<uint32_t>(s.unityNote)).U32(s.pitchFraction)
            .U32(0).U32(0).U32(s.loop.on ? 1 : 0).U32(0);
        // The loop record is always present; the loop count says whether it holds.
        smpl.U32(0).U32(0).U32(s.loop.start).U32(s.loop.end).U32(0).U32(0);
        wave.Add(RiffNode::Chunk("smpl", smpl.Take()));
    }

    Bytes data;
    if (s.compressed) {
        GigEncoder enc(s.channels, s.bits);
        if (!Encode(s, enc, data))
            std::fprintf(stderr, "GigBuilder: sample '%s' not encoded: %s\n", s.name.c_str(), enc.Error().c_str());
        ByteWriter ewav;
        ewav.U32(s.bits == 24 ? 3 : 2).U32(0).U32(enc.FrameSize())
            .U32(GigEncoder::FrameCountField(frames, s.channels, enc.FrameSize()));
        ewav.Zero(kEwavBytes - ewav.Size());
        Bytes e = ewav.Take();
        const uint32_t at = s.channels == 2 ? kEwavTruncStereo : kEwavTruncMono;
        e[at] = static_cast<uint8_t>(s.truncatedBits);
        wave.Add(RiffNode::Chunk("ewav", std::move(e)));
    } else {
        ByteWriter d;
        for (int32_t v : s.values) {
            if (s.bits == 24)
                d.U24(static_cast<uint32_t>(v));
            else
                d.U16(static_cast<uint32_t>(v));
        }
        data = d.Take();
    }
    wave.Add(RiffNode::Chunk("data", std::move(data)));
    return wave;
}

// The wave pool of one file; `offsets` gets each wave's offset from the
// start of the pool's data (the first byte after the list type).
RiffNode GigBuilder::BuildWavePool(int file, std::vector<uint32_t>* offsets) const
{
    RiffNode pool = RiffNode::List("wvpl");
    uint64_t at = 0;
    for (const GigSample& s : m_samples) {
        if (s.file != file)
            continue;
        RiffNode& w = pool.Add(BuildWave(s));
        if (offsets)
            offsets->push_back(static_cast<uint32_t>(at));
        at += w.FileSize();
    }
    return pool;
}

RiffNode GigBuilder::BuildRegion(const GigRegion& r) const
{
    RiffNode rgn = RiffNode::List("rgn ");
    ByteWriter rgnh;
    rgnh.U16(static_cast<uint32_t>(r.low)).U16(static_cast<uint32_t>(r.high))
        .U16(static_cast<uint32_t>(r.velLow)).U16(static_cast<uint32_t>(r.velHigh)).U16(0).U16(0).U16(0);
    rgn.Add(RiffNode::Chunk("rgnh", rgnh.Take()));

    const int zones = r.ZoneCount();
    const int step = r.stereo ? 2 : 1;
    const int records = zones * step;
    auto zoneAt = [&](int z) -> const GigZone* {
        if (z < static_cast<int>(r.zones.size()))
            return &r.zones[static_cast<size_t>(z)];
        return r.zones.empty() ? nullptr : &r.zones.back();
    };
    auto poolOf = [&](int z) -> uint32_t {
        const GigZone* zone = zoneAt(z);
        const int pi = zone ? PoolIndex(zone->sample) : -1;
        return pi < 0 ? 0xFFFFFFFFu : static_cast<uint32_t>(pi);
    };

    ByteWriter wlnk;
    wlnk.U16(0).U16(0).U32(1).U32(poolOf(0) == 0xFFFFFFFFu ? 0 : poolOf(0));
    rgn.Add(RiffNode::Chunk("wlnk", wlnk.Take()));

    // Dimension slots: the sample-channel slot first for stereo.
    struct Slot {
        uint8_t code, bits;
    };
    std::vector<Slot> slots;
    if (r.stereo)
        slots.push_back({kDimSampleChannel, 1});
    for (const GigDimension& d : r.dims)
        slots.push_back({d.code, d.bits});
    const int slotCount = version >= 3 ? kDimSlotsV3 : kDimSlotsV2;
    ByteWriter lnk;
    lnk.U32(static_cast<uint32_t>(records));
    int bitPos = 0;
    for (int i = 0; i < slotCount; ++i) {
        if (i < static_cast<int>(slots.size())) {
            const Slot& s = slots[static_cast<size_t>(i)];
            lnk.U8(s.code).U8(s.bits).U8(static_cast<uint32_t>(bitPos)).U8(0)
                .U8(1u << std::min<int>(s.bits, 8)).U8(0).U8(0).U8(0);
            bitPos += s.bits;
        } else {
            lnk.Zero(kDimSlotBytes);
        }
    }
    for (int rec = 0; rec < records; ++rec)
        lnk.U32(poolOf(rec / step));
    rgn.Add(RiffNode::Chunk("3lnk", lnk.Take()));

    RiffNode prg = RiffNode::List("3prg");
    for (int rec = 0; rec < records; ++rec) {
        const int z = rec / step;
        const GigZone* zone = zoneAt(z);
        GigZone blank;
        if (!zone)
            zone = &blank;
        ByteWriter wsmp;
        wsmp.U32(kWsmpHeaderBytes).U16(static_cast<uint32_t>(zone->unityNote))
            .U16(static_cast<uint32_t>(zone->fineTune)).U16(0).U16(static_cast<uint32_t>(zone->attenuation))
            .U32(0).U32(zone->loop.on ? 1 : 0);
        if (zone->loop.on)
            wsmp.U32(kWsmpLoopBytes).U32(0).U32(zone->loop.start)
                .U32(zone->loop.end >= zone->loop.start ? zone->loop.end - zone->loop.start + 1 : 0);

        // Per-dimension upper limits of this zone's path.
        GigArticulation art = zone->art;
        int rest = z;
        for (size_t d = 0; d < r.dims.size(); ++d) {
            const GigDimension& dim = r.dims[d];
            const int count = 1 << std::min<int>(dim.bits, 8);
            const int digit = rest % count;
            rest /= count;
            if (dim.upperLimits.size() < static_cast<size_t>(count))
                continue;
            const uint8_t limit = dim.upperLimits[static_cast<size_t>(digit)];
            const size_t slot = d + (r.stereo ? 1 : 0);
            if (slot < art.dimUpperLimits.size())
                art.dimUpperLimits[slot] = limit;
            if (dim.code == kDimVelocity)
                art.velocityUpperLimit = limit;
        }
        prg.Add(RiffNode::List("3ewl", {RiffNode::Chunk("wsmp", wsmp.Take()),
                                        RiffNode::Chunk("3ewa", art.Encode(version))}));
    }
    rgn.Add(std::move(prg));
    return rgn;
}

RiffNode GigBuilder::BuildInstrument(const GigInstrument& ins) const
{
    RiffNode list = RiffNode::List("ins ");
    ByteWriter insh;
    insh.U32(static_cast<uint32_t>(ins.regions.size())).U32(0).U32(0);
    list.Add(RiffNode::Chunk("insh", insh.Take()));
    RiffNode lrgn = RiffNode::List("lrgn");
    for (const GigRegion& r : ins.regions)
        lrgn.Add(BuildRegion(r));
    list.Add(std::move(lrgn));
    if (ins.writeLart) {
        ByteWriter g;
        g.U16(0).U32(0).U16(static_cast<uint32_t>(ins.fineTune)).U16(static_cast<uint32_t>(ins.bendRange))
            .U8(static_cast<uint32_t>(ins.keySwitchLow << 1)).U8(static_cast<uint32_t>(ins.keySwitchHigh));
        list.Add(RiffNode::List("lart", {RiffNode::Chunk("3ewg", g.Take())}));
    }
    ByteWriter name;
    name.Raw(ins.name.data(), ins.name.size()).U8(0);
    list.Add(RiffNode::List("INFO", {RiffNode::Chunk("INAM", name.Take())}));
    return list;
}

void GigBuilder::PadTo(RiffNode& riff, uint64_t size)
{
    const uint64_t now = riff.FileSize();
    if (now >= size)
        return;
    const uint64_t need = size - now;
    riff.Add(RiffNode::Chunk("JUNK", Bytes(static_cast<size_t>(need > 8 ? need - 8 : 0), 0)));
}

RiffNode GigBuilder::BuildTree(const std::string& stem) const
{
    RiffNode riff = RiffNode::Riff("DLS ");
    if (writeVers) {
        ByteWriter v;
        v.U16(0).U16(static_cast<uint32_t>(version)).U16(0).U16(0);
        riff.Add(RiffNode::Chunk("vers", v.Take()));
    }
    ByteWriter colh;
    colh.U32(static_cast<uint32_t>(m_instruments.size()));
    riff.Add(RiffNode::Chunk("colh", colh.Take()));

    // Wave offsets of every file, in pool order, with their file numbers.
    std::vector<uint32_t> offsets, fileNumbers;
    RiffNode pool = BuildWavePool(0, &offsets);
    fileNumbers.assign(offsets.size(), 0);
    const int ext = ExtensionCount();
    for (int k = 1; k <= ext; ++k) {
        const size_t before = offsets.size();
        BuildWavePool(k, &offsets);
        fileNumbers.resize(offsets.size(), static_cast<uint32_t>(k));
        (void)before;
    }
    ByteWriter ptbl;
    ptbl.U32(8).U32(static_cast<uint32_t>(offsets.size()));
    for (size_t i = 0; i < offsets.size(); ++i)
        ptbl.U32(fileNumbers[i]).U32(offsets[i]);
    riff.Add(RiffNode::Chunk("ptbl", ptbl.Take()));

    RiffNode lins = RiffNode::List("lins");
    for (const GigInstrument& ins : m_instruments)
        lins.Add(BuildInstrument(ins));
    riff.Add(std::move(lins));
    riff.Add(std::move(pool));

    if (ext > 0) {
        ByteWriter x;
        x.U32(static_cast<uint32_t>(ext));
        for (int k = 1; k <= ext; ++k) {
            char name[16];
            std::snprintf(name, sizeof name, ".gx%02d", k);
            x.Text(stem + name, kXfilNameBytes).Zero(kXfilEntryBytes - kXfilNameBytes);
        }
        riff.Add(RiffNode::Chunk("xfil", x.Take()));
    }
    ByteWriter bank;
    bank.Raw(bankName.data(), bankName.size()).U8(0);
    riff.Add(RiffNode::List("INFO", {RiffNode::Chunk("INAM", bank.Take())}));
    PadTo(riff, minFileSize);
    return riff;
}

RiffNode GigBuilder::BuildExtensionTree(int k) const
{
    RiffNode riff = RiffNode::Riff("DLS ");
    if (writeVers) {
        ByteWriter v;
        v.U16(0).U16(static_cast<uint32_t>(version)).U16(0).U16(0);
        riff.Add(RiffNode::Chunk("vers", v.Take()));
    }
    riff.Add(BuildWavePool(k, nullptr));
    PadTo(riff, minFileSize);
    return riff;
}

Bytes GigBuilder::Build(const std::string& stem) const
{
    return BuildTree(stem).Serialize();
}

std::vector<GigBuilder::File> GigBuilder::BuildFiles(const std::string& stem) const
{
    std::vector<File> files;
    files.push_back({stem + ".gig", Build(stem)});
    for (int k = 1; k <= ExtensionCount(); ++k) {
        char name[16];
        std::snprintf(name, sizeof name, ".gx%02d", k);
        files.push_back({stem + name, BuildExtensionTree(k).Serialize()});
    }
    return files;
}

bool WriteBytes(const std::string& path, const Bytes& bytes)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

bool GigBuilder::CanEncode(std::string* error) const
{
    for (const GigSample& s : m_samples) {
        if (!s.compressed)
            continue;
        GigEncoder enc(s.channels, s.bits);
        Bytes scratch;
        if (!Encode(s, enc, scratch)) {
            if (error)
                *error = s.name + ": " + enc.Error();
            return false;
        }
    }
    return true;
}

bool GigBuilder::Write(const std::string& path) const
{
    if (!CanEncode())
        return false;
    const size_t slash = path.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    std::string stem = slash == std::string::npos ? path : path.substr(slash + 1);
    const size_t dot = stem.find_last_of('.');
    if (dot != std::string::npos)
        stem.resize(dot);
    std::vector<File> files = BuildFiles(stem);
    files[0].name = path.substr(folder.size());
    for (const File& f : files)
        if (!WriteBytes(folder + f.name, f.bytes))
            return false;
    return true;
}

}  // namespace gigtools
