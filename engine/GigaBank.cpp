#include "engine/GigaBank.h"

#include <algorithm>
#include <functional>
#include <thread>
#include <cmath>
#include <cstring>

#include "engine/GigaDecodePool.h"
#include "engine/GigaStreamConstants.h"
#include "kiv/data/Thread.h"

namespace giga {

float TimeToSeconds(int32_t t)
{
    if (t == kTimeZero)
        return 0.0f;
    return std::pow(2.0f, static_cast<float>(t / kTimeDivisor));
}

float GainFromDb(float db)
{
    if (db >= 0.0f)
        return 1.0f;
    if (db >= -2.0f)
        return 1.0f + 0.01f * db;
    return std::pow(10.0f, db / 20.0f) * kGainFloorScale;
}

int MapController(int code)
{
    static const int kMap[23] = {64, 1, 2, 4, 67, 5, 12, 13, 16, 17, 18, 19,
                                 65, 66, 80, 81, 82, 83, 91, 92, 93, 94, 95};
    if (code >= 0 && code < 23)
        return kMap[code];
    if (code == 127)
        return 130;
    return 0;
}

int ControllerFromByte(uint8_t b)
{
    if ((b & 1) == 0)
        return 0;
    return MapController((b - 1) / 2);
}

void CleanName(char* name, int length)
{
    for (int i = 0; i < length; ++i) {
        const auto c = static_cast<unsigned char>(name[i]);
        if (c == 0)
            return;
        if (c == 0xB4)
            name[i] = '\'';
        else if (c >= 0x80)
            name[i] = ' ';
    }
}

}  // namespace giga

namespace {

// Every list or chunk takes at least 12 bytes of the file.
constexpr int64_t kSmallestEntry = 12;
constexpr int64_t kExtRecordBytes = giga::kExtNameBytes + giga::kExtRecordSkip;

int Clamp127(int v)
{
    return std::clamp(v, 0, 127);
}

}  // namespace

GigaBank::GigaBank() = default;

GigaBank::~GigaBank()
{
    Reset();
}

void GigaBank::Reset()
{
    // Programs first: their zones release samples, which release memory.
    m_programs.clear();
    m_samples.reset();
    m_memories.clear();
    m_files.clear();
    Close();
    m_path.clear();
    m_fileNameAt = 0;
    m_version = 1;
    m_sampleCount = 0;
    m_wavePool = 0;
    m_extensionList = 0;
}

int GigaBank::Retain()
{
    const int n = m_refCount.fetch_add(1, std::memory_order_acq_rel) + 1;
    Print("GigaBank::Retain(%s) -> %d", m_path.c_str(), n);
    return n;
}

int GigaBank::Release()
{
    const int n = m_refCount.fetch_sub(1, std::memory_order_acq_rel) - 1;
    Print("GigaBank::Release(%s) -> %d", m_path.c_str(), n);
    return n;
}

GigaProgram* GigaBank::GetProgram(int i) const
{
    return (i >= 0 && i < GetProgramCount()) ? m_programs[i].get() : nullptr;
}

GigaMemory* GigaBank::GetMemory(int i) const
{
    return (i >= 0 && i < static_cast<int>(m_memories.size())) ? m_memories[i].get() : nullptr;
}

GigaSample* GigaBank::GetSample(int i) const
{
    return (m_samples && i >= 0 && i < m_sampleCount) ? &m_samples[i] : nullptr;
}

GigaFile* GigaBank::GetGigaFile(int i) const
{
    return (i >= 0 && i < GetFileCount()) ? m_files[i].get() : nullptr;
}

bool GigaBank::Open(const char* path)
{
    Reset();
    try {
        return OpenGigaFile(path);
    } catch (...) {
        Print("*** catch error ***");
        return m_wavePool != 0 && m_sampleCount > 0;
    }
}

bool GigaBank::OpenGigaFile(const char* path)
{
    Print("GigaBank::OpenGigaFile(%s)", path ? path : "");
    if (!path || !OpenRiff(path)) {
        Print("Error OpenRiff() failed");
        return false;
    }
    m_path = path;
    m_fileNameAt = static_cast<int>(m_path.find_last_of("/\\") + 1);
    m_version = 1;

    Rewind();
    if (!NextChunk(0) || !IsChunk("RIFF", "DLS "))
        return false;
    const int64_t fileSize = GetFileSize();
    while (NextChunk(1)) {
        if (IsChunk("vers", nullptr)) {
            ReadU16();
            m_version = ReadU16();
        }
        if (IsChunk("colh", nullptr)) {
            if (!m_programs.empty() || !m_memories.empty())
                return false;  // a second 'colh'
            const uint32_t count = ReadU32();
            if (count > static_cast<uint64_t>(fileSize / kSmallestEntry))
                return false;
            Print("Programs:%d", static_cast<int>(count));
            for (uint32_t i = 0; i < count; ++i) {
                m_programs.push_back(std::make_unique<GigaProgram>());
                m_memories.push_back(std::make_unique<GigaMemory>());
            }
            // A 'colh' of 0 still counts as read.
            if (count == 0)
                m_memories.reserve(1);
        }
        if (IsChunk("LIST", "lins")) {
            if (m_memories.capacity() == 0)
                return false;  // instruments before 'colh'
            ReadInstruments();
        }
        if (IsChunk("ptbl", nullptr)) {
            ReadU32();
            const uint32_t count = ReadU32();
            if (count > static_cast<uint64_t>(fileSize / kSmallestEntry))
                return false;
            m_sampleCount = static_cast<int>(count);
        }
        if (IsChunk("LIST", "wvpl"))
            m_wavePool = GetPosition() - 12;
        if (IsChunk("xfil", nullptr))
            m_extensionList = GetPosition();
    }
    if (m_sampleCount <= 0)
        return false;
    Print("GigaBank::OpenGigaFile() Done!");
    return true;
}

void GigaBank::ReadInstruments()
{
    int seen = 0;
    while (NextChunk(2)) {
        if (!IsChunk("LIST", "ins "))
            continue;
        // More instruments than 'colh' announced are not read.
        if (seen >= GetProgramCount())
            continue;
        GigaProgram& program = *m_programs[seen];
        program.dataOffset = GetPosition();
        program.dataEnd = GetChunkEnd();
        program.index = seen;
        ReadInstrument(program);
        ++seen;
    }
}

void GigaBank::ReadInstrument(GigaProgram& program)
{
    int64_t regions = 0;
    while (NextChunk(3)) {
        if (IsChunk("LIST", "INFO")) {
            if (NextChunk(4) && IsChunk("INAM", nullptr)) {
                char name[giga::kNameBytes] = {};
                ReadField(name, std::min<int64_t>(GetChunkSize(), giga::kNameBytes - 1));
                giga::CleanName(name, giga::kNameBytes);
                program.SetName(name);
            }
        } else if (IsChunk("LIST", "lart")) {
            if (NextChunk(4) && IsChunk("3ewg", nullptr)) {
                uint8_t b[12];
                ReadField(b, sizeof(b));
                program.fineTune = static_cast<int16_t>(b[6] | (b[7] << 8));
                program.bendRange = static_cast<int16_t>(b[8] | (b[9] << 8));
                program.keySwitchLow = b[10] >> 1;
                program.keySwitchHigh = b[11];
            }
        } else if (IsChunk("insh", nullptr)) {
            regions = ReadU32();
            program.fileRegionCount = static_cast<int>(std::min<int64_t>(regions, INT32_MAX));
        } else if (regions == 1 && IsChunk("LIST", "lrgn")) {
            if (NextChunk(4) && IsChunk("LIST", "rgn ") && NextChunk(5) && IsChunk("rgnh", nullptr)) {
                const int low = ReadU16();
                const int high = ReadU16();
                if (low == giga::kSingleRegionKey && high == giga::kSingleRegionKey && GetProgramCount() > 1)
                    program.singleRegion = true;
            }
        }
    }
}

bool GigaBank::LoadSampleList()
{
    try {
        ReadExtensionFiles();
        return m_samples != nullptr;
    } catch (...) {
        Print("*** catch error ***");
        DeleteSampleList();
        return false;
    }
}

void GigaBank::ReadExtensionFiles()
{
    Print("GigaBank::LoadSampleList()");
    if (m_samples)
        return;
    m_files.clear();
    m_filePaths.clear();
    int count = 0;
    if (m_extensionList > 0) {
        Rewind();
        Seek(m_extensionList);
        uint8_t b[4] = {};
        if (Read(b, 4) == 4) {
            const int64_t n = static_cast<int64_t>(b[0] | (b[1] << 8) | (b[2] << 16)) | (static_cast<int64_t>(b[3]) << 24);
            // No more names than the file holds.
            const int64_t fit = std::max<int64_t>(0, (GetFileSize() - GetPosition()) / kExtRecordBytes);
            count = static_cast<int>(std::min(n, fit));
        }
    }
    m_files.push_back(std::make_unique<GigaFile>());
    m_filePaths.emplace_back(m_path);
    if (count > 0) {
        const size_t folderEnd = static_cast<size_t>(m_fileNameAt);
        for (int k = 1; k <= count; ++k) {
            char name[giga::kExtNameBytes];
            const int64_t got = Read(name, sizeof(name));
            Skip(giga::kExtRecordSkip);
            auto file = std::make_unique<GigaFile>();
            std::string full;
            const void* nul = std::memchr(name, 0, sizeof(name));
            if (got == static_cast<int64_t>(sizeof(name)) && nul && name[0] != 0) {
                const size_t nameLength = static_cast<const char*>(nul) - name;
                full.assign(m_path, 0, folderEnd);
                full.append(name, nameLength);
                OpenExtension(*file, full);
            }
            m_files.push_back(std::move(file));
            m_filePaths.push_back(std::move(full));
        }
    }
    m_files[0]->Open(m_path.c_str(), m_wavePool);

    m_samples.reset(new GigaSample[m_sampleCount]);
    m_filesRead = 0;
    m_samplesRead = 0;
    ReadPools(0);
    Print("GigaBank::LoadSampleList() Done");
}

bool GigaBank::OpenExtension(GigaFile& file, const std::string& path)
{
    if (file.Open(path.c_str(), 0))
        return true;
    std::string moved = GigaHooks::FindMovedFile(path.c_str());
    if (!moved.empty() && file.Open(moved.c_str(), 0))
        return true;
    Print("Error: extension file %s", path.c_str());
    return false;
}

void GigaBank::ReadPools(size_t from)
{
    // A sample's index is its place over all pools: past a file that is not
    // there, the indices of the later files are unknown, so they wait for it.
    for (size_t k = from; k < m_files.size() && m_samplesRead < m_sampleCount; ++k) {
        if (!m_files[k]->IsOpen())
            break;
        m_samplesRead += m_files[k]->ReadWavePool(&m_samples[m_samplesRead], m_sampleCount - m_samplesRead);
        m_filesRead = k + 1;
    }
}

void GigaBank::ReopenMissingFiles()
{
    if (!m_samples || m_filesRead == 0 || m_filesRead >= m_files.size() || m_samplesRead >= m_sampleCount)
        return;
    GigaFile& file = *m_files[m_filesRead];
    const std::string& path = m_filePaths[m_filesRead];
    if (path.empty() || !OpenExtension(file, path))
        return;
    // These samples were never placed (no file): no zone or voice holds them,
    // but a zone's loop may have been noted on them.
    for (int i = m_samplesRead; i < m_sampleCount; ++i) {
        m_samples[i].looped = false;
        m_samples[i].loopStart = 0;
        m_samples[i].loopEnd = 0;
    }
    ReadPools(m_filesRead);
}

const char* GigaBank::GetMissingFile() const
{
    for (size_t k = 1; k < m_files.size() && k < m_filePaths.size(); ++k)
        if (!m_files[k]->IsOpen() && !m_filePaths[k].empty())
            return m_filePaths[k].c_str();
    return nullptr;
}

void GigaBank::DeleteSampleList()
{
    for (auto& program : m_programs)
        program->Unload();
    m_samples.reset();
    m_files.clear();
    m_filePaths.clear();
    m_filesRead = 0;
    m_samplesRead = 0;
}

GigaProgram* GigaBank::LoadProgram(int index, GigaLoadSink* tone)
{
    Print("GigaBank::LoadProgram(%d)", index);
    if (index < 0 || index >= GetProgramCount())
        return nullptr;
    bool listReadNow = false;
    GigaProgram* program = nullptr;
    GigaMemory* memory = nullptr;
    try {
        if (!m_samples) {
            if (tone)
                tone->SetState(giga::kToneReadingSamples);
            // Marked before the reading: a list that fails half-way must go,
            // or the next load would take the half as the bank's samples.
            listReadNow = true;
            ReadExtensionFiles();
        } else {
            ReopenMissingFiles();
        }
        int a = index;
        // A one-region instrument on key 12 stands for the next one.
        if (m_programs[a]->singleRegion && a + 1 < GetProgramCount())
            ++a;
        program = m_programs[a].get();
        memory = m_memories[a].get();
        if (program->GetRegionCount() <= 0 && !LoadRegions(a, tone)) {
            FailLoad(*program, *memory);
            return nullptr;
        }
        program->Retain();
        return program;
    } catch (...) {
        Print("*** catch error ***");
        if (program && memory)
            FailLoad(*program, *memory);
        if (listReadNow && (!program || program->GetUseCount() == 0))
            DeleteSampleList();
        return nullptr;
    }
}

void GigaBank::FailLoad(GigaProgram& program, GigaMemory& memory)
{
    // Unload before anything else goes, so the next load reads afresh.
    if (program.GetUseCount() == 0)
        program.Unload();
    memory.DropPending();
    for (int i = 0; m_samples && i < m_sampleCount; ++i) {
        GigaSample& s = m_samples[i];
        if (s.memory == &memory && !memory.Holds(s.memoryStart) && s.GetUseCount() == 0)
            s.DropMemory();
    }
}

GigaProgram* GigaBank::LoadRegions(int a, GigaLoadSink* tone)
{
    GigaProgram& program = *m_programs[a];
    GigaMemory& memory = *m_memories[a];
    memory.SetProgramIndex(a);

    EnterList(program.dataOffset, program.dataEnd);
    int64_t n = 0;
    bool haveRegions = false;
    while (NextChunk(0)) {
        if (IsChunk("insh", nullptr))
            n = ReadU32();
        if (IsChunk("LIST", "lrgn")) {
            haveRegions = true;
            break;
        }
    }
    if (n > (program.dataEnd - program.dataOffset) / kSmallestEntry)
        return nullptr;
    if (n > 0 && !haveRegions)
        return nullptr;

    // Samples whose memory is gone lose their link.
    for (int i = 0; i < m_sampleCount; ++i) {
        GigaSample& s = m_samples[i];
        if (s.memory && !s.memory->Holds(s.memoryStart))
            s.DropMemory();
    }
    program.SetRegionCount(static_cast<int>(n));
    program.sampleCount = 0;
    program.bitDepth = 16;
    program.streaming = false;
    int considered = 0;
    int64_t total = 0;
    for (int i = 0; i < n; ++i) {
        GigaRegion& region = *program.GetRegion(i);
        if (!ReadRegion(program, region))
            return nullptr;
        if (!PlaceSamples(a, program, memory, region, considered, total)) {
            if (tone)
                tone->SetState(giga::kToneNoMemory);
            return nullptr;
        }
    }
    Print("Memory samples= %d MB", static_cast<int>(total * 2 / 1048576));
    if (!memory.Allocate()) {
        Print("Error: Not enough memory");
        if (tone)
            tone->SetState(giga::kToneNoMemory);
        return nullptr;
    }
    DecodeSamples(program, considered, tone);
    program.unusableSamples = CountUnusable(program);
    if (!program.HasDimension(giga::kDimKeySwitch)) {
        program.keySwitchLow = 0;
        program.keySwitchHigh = 0;
    }
    return &program;
}

bool GigaBank::ReadRegion(GigaProgram& program, GigaRegion& region)
{
    if (!NextChunk(1) || !IsChunk("LIST", "rgn "))
        return false;
    const int slots = m_version < 3 ? giga::kDimSlotsOld : giga::kDimSlots;
    int step = 2;
    std::vector<int32_t> waves;
    while (NextChunk(2)) {
        if (IsChunk("rgnh", nullptr)) {
            region.low = Clamp127(ReadU16());
            region.high = Clamp127(ReadU16());
            program.AddKeyRange(&region, region.low, region.high);
        } else if (IsChunk("3lnk", nullptr)) {
            const uint32_t records = ReadU32();
            uint8_t codes[giga::kDimSlots] = {};
            uint8_t bits[giga::kDimSlots] = {};
            for (int s = 0; s < slots; ++s) {
                uint8_t slot[8];
                ReadField(slot, sizeof(slot));
                codes[s] = slot[0];
                bits[s] = slot[1];
                program.MarkDimension(slot[0]);
            }
            if (!region.BuildTree(codes, bits, slots))
                return false;
            step = region.sampleChannelSlot >= 0 ? 2 : 1;
            // At most two records (left, right) per zone, and no more than the chunk holds.
            int64_t n = std::min<int64_t>(records, 2 * region.GetZoneCount());
            n = std::min<int64_t>(n, std::max<int64_t>(0, (GetChunkEnd() - GetPosition()) / 4));
            waves.resize(static_cast<size_t>(n));
            for (auto& w : waves)
                w = static_cast<int32_t>(ReadU32());
        } else if (IsChunk("LIST", "3prg")) {
            const int n = static_cast<int>(waves.size());
            for (int r = 0; r < n; ++r) {
                if (!NextChunk(3))
                    break;
                if (!IsChunk("LIST", "3ewl") || (step != 1 && (r & 1) != 0))
                    continue;
                GigaZone* zone = region.GetZone(r / step);
                if (!zone)
                    continue;
                zone->waveIndex = waves[r];
                ReadZone(*zone);
            }
        }
    }
    for (int r = 0; r < region.GetZoneCount(); ++r) {
        GigaZone& zone = *region.GetZone(r);
        if (zone.selfMask)
            region.selfMask = true;
        region.SetVelocityUpperLimit(r, zone.velocityUpperLimit);
    }
    region.ApplyUpperLimits();
    return true;
}

void GigaBank::ReadZone(GigaZone& zone)
{
    while (NextChunk(4)) {
        if (IsChunk("wsmp", nullptr)) {
            ReadU32();
            const int unity = ReadU16();
            zone.unityNote = unity < 128 ? unity : -1;
            zone.fineTune = static_cast<int16_t>(ReadU16());
            ReadU16();
            const int16_t attenuation = static_cast<int16_t>(ReadU16());
            zone.m_gain = giga::GainFromDb(-attenuation / 10.0f);
            if (m_version >= 2)
                zone.options = ReadU32();
            else
                Skip(4);
            const uint32_t loops = ReadU32();
            if (loops != 0) {
                ReadU32();
                ReadU32();
                const int64_t start = ReadU32();
                const int64_t length = ReadU32();
                if (length > 1) {
                    zone.looped = true;
                    zone.loopStart = start;
                    zone.loopEnd = start + length - 1;
                }
            }
            GigaSample* s = GetSample(zone.waveIndex);
            // A sample takes a zone's loop only while nobody plays it, so its
            // memory is planned for the loop it is played with.
            if (zone.looped && s && !s->looped && s->GetUseCount() == 0) {
                s->looped = true;
                s->loopStart = zone.loopStart;
                s->loopEnd = std::min(zone.loopEnd, s->frames - 1);
                if (s->loopEnd < s->loopStart)
                    s->looped = false;
                if (s->memory && !s->LoopsFromMemory())
                    s->DropMemory();  // the kept head cannot play the loop
            }
        } else if (IsChunk("3ewa", nullptr)) {
            const uint32_t size = ReadU32();
            uint8_t bytes[giga::k3ewaBytes] = {};
            const int64_t n = std::min<int64_t>(size, giga::k3ewaBytes);
            ReadField(bytes, n);
            zone.ReadArticulation(bytes, size);
        }
    }
}

bool GigaBank::PlaceSamples(int a, GigaProgram& program, GigaMemory& memory, GigaRegion& region,
                            int& considered, int64_t& total)
{
    const float lmin = GigaHooks::GetPreloadMin();
    const float lmax = GigaHooks::GetPreloadMax();
    for (int r = 0; r < region.GetZoneCount(); ++r) {
        GigaZone& zone = *region.GetZone(r);
        GigaSample* s = GetSample(zone.waveIndex);
        if (!s || !s->IsUsable() || !s->file || !s->file->IsOpen())
            continue;
        if (s->frames < giga::kMinPlayFrames)
            continue;
        const bool whole = s->looped || static_cast<double>(s->sampleRate) * lmax >= static_cast<double>(s->frames);
        ++considered;
        if (!s->memory) {
            int64_t keep = s->frames;
            if (!whole) {
                keep = std::clamp<int64_t>(static_cast<int64_t>(static_cast<double>(s->sampleRate) * lmin), 0, s->frames);
                // A streamed head ends on a compressed frame boundary, so the
                // stream starts on a frame header; it holds at least one frame
                // (a slow rate or a short preload time would leave it empty,
                // and an empty head plays nothing).
                if (s->frameSize != 0)
                    keep = std::max(keep / s->frameSize * s->frameSize, std::min<int64_t>(s->frameSize, s->frames));
            }
            const int64_t h = s->channels * keep;
            const int64_t start = memory.Reserve(h);
            if (start < 0)
                return false;
            s->SetMemory(&memory, start, keep);
            total += h;
        }
        zone.SetSample(s);
        if (s->IsStreamed())
            program.streaming = true;
        if (s->programIndex != a) {
            s->programIndex = a;
            ++program.sampleCount;
            if (s->bits == 24)
                program.bitDepth = 24;
        }
    }
    return true;
}

int GigaBank::GetDecodeThreads()
{
    const int wanted = s_decodeThreads.load(std::memory_order_relaxed);
    if (wanted > 0)
        return wanted;
    // One processor is left to the host's audio thread; more threads than
    // the process may run at once only take turns (and CPU time).
    return std::max(kiv::thread::UsableProcessors() - 1, 1);
}

void GigaBank::DecodeHead(GigaSampleReader& reader, GigaSample& s)
{
    auto* left = const_cast<int16_t*>(s.GetLeft());
    auto* right = const_cast<int16_t*>(s.GetRight());
    reader.SetUp(&s, &s.file->GetFile(), s.dataOffset);
    if (left && s.framesInMemory > 0) {
        const int64_t got = reader.Decode16(left, right, s.framesInMemory);
        // The header counts whole compressed frames; a short last frame met
        // here ends the sample (its planes stay where they were placed).
        // Nothing plays the sample before its first decode.
        if (reader.GetFramesTotal() < s.frames)
            s.EndAt(reader.GetFramesTotal());
        s.damaged = got < std::min(s.framesInMemory, s.frames);
    }
    // What could not be decoded stays silent (blocks start zeroed).
    s.streamOffset = reader.GetPosition();
    s.decoded = true;
}

void GigaBank::DecodeSamples(GigaProgram& program, int considered, GigaLoadSink* tone)
{
    if (tone)
        tone->SetState(giga::kToneLoadingSamples);
    // Plain samples are read here; compressed ones, whose decoding costs far
    // more than their reading, are queued for the pool.
    std::vector<GigaSample*> queue;
    int done = 0;
    for (int i = 0; i < program.GetRegionCount(); ++i) {
        GigaRegion& region = *program.GetRegion(i);
        for (int r = 0; r < region.GetZoneCount(); ++r) {
            GigaSample* s = region.GetZone(r)->GetSample();
            if (!s || s->decoded)
                continue;
            if (s->IsCompressed()) {
                queue.push_back(s);
                continue;
            }
            ++done;
            if (tone)
                tone->ReportProgress(done, considered);
            s->BindMemory();
            DecodeHead(m_reader, *s);
        }
    }
    if (queue.empty())
        return;
    // A sample several zones play is decoded once.
    std::sort(queue.begin(), queue.end());
    queue.erase(std::unique(queue.begin(), queue.end()), queue.end());
    for (GigaSample* s : queue)
        s->BindMemory();
    DecodeOnPool(queue, done, considered, tone);
}

void GigaBank::DecodeOnPool(const std::vector<GigaSample*>& queue, int done, int considered, GigaLoadSink* tone)
{
    const size_t count = queue.size();
    // Each thread takes the next sample; the samples share nothing but their
    // files, which are read at offsets. A thread that cannot make its reader
    // (out of memory) leaves the sample to this thread's own reader.
    std::vector<uint8_t> undone(count, 0);
    const std::function<void(size_t)> work = [&](size_t i) {
        try {
            GigaSampleReader reader;
            DecodeHead(reader, *queue[i]);
        } catch (...) {
            undone[i] = 1;
        }
    };
    const std::function<void(size_t)> progress = [&](size_t finished) {
        if (tone)
            tone->ReportProgress(done + static_cast<int>(finished), considered);
    };
    const int threads = static_cast<int>(std::min<size_t>(static_cast<size_t>(GetDecodeThreads()), count));
    if (threads <= 1 || !GigaDecodePool::Get().Run(count, threads, work, progress)) {
        // One sample, one thread wanted, or the pool busy with another load.
        for (size_t i = 0; i < count; ++i) {
            DecodeHead(m_reader, *queue[i]);
            progress(i + 1);
        }
    } else {
        for (size_t i = 0; i < count; ++i)
            if (undone[i])
                DecodeHead(m_reader, *queue[i]);
    }
    if (tone)
        tone->ReportProgress(done + static_cast<int>(count), considered);
}

int GigaBank::CountUnusable(const GigaProgram& program) const
{
    // Each silent sample once, however many zones name it; an index outside
    // the pool once per zone.
    std::vector<uint8_t> seen(static_cast<size_t>(std::max(m_sampleCount, 0)), 0);
    int count = 0;
    for (int i = 0; i < program.GetRegionCount(); ++i) {
        const GigaRegion& region = *program.GetRegion(i);
        for (int r = 0; r < region.GetZoneCount(); ++r) {
            const GigaZone& zone = *region.GetZone(r);
            const GigaSample* s = zone.GetSample();
            if (zone.waveIndex < 0 || (s && !s->damaged))
                continue;
            if (zone.waveIndex >= m_sampleCount) {
                ++count;
            } else if (!seen[zone.waveIndex]) {
                seen[zone.waveIndex] = 1;
                ++count;
            }
        }
    }
    return count;
}
