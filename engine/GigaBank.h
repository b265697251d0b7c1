// GigaBank: one opened .gig file with its extension files. Open reads only the
// table of contents (version, instruments with their names and a few values,
// the sample count, where the wave pool and the extension list lie); the
// sample headers of all files are read on the first program load, and one
// instrument's regions when it is loaded. Banks are reference-counted by the
// bank manager's users and deleted by the loader when unused.
// Threads: Open and LoadProgram run on the loader thread (or the host's thread
// for a state chunk, or the GUI thread for the browser's own bank object);
// the audio thread only reads loaded programs and their samples. LoadProgram
// decodes compressed samples on a pool of threads it starts and joins; they
// write only the samples of that load, none of which plays yet.
#pragma once
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/FastRiff.h"
#include "engine/GigaBankHooks.h"
#include "engine/GigaFile.h"
#include "engine/GigaMemory.h"
#include "engine/GigaProgram.h"
#include "engine/GigaSample.h"
#include "engine/GigaSampleReader.h"
#include "kiv/file/Log.h"

class GigaBank : public FastRiff, public file::Log {
public:
    GigaBank();
    ~GigaBank() override;

    // Reads the table of contents; every field is reset first, so one object
    // can open many files in turn. False for a file that is not a usable bank.
    bool Open(const char* path);
    // Reads every file's wave pool once (nothing when already read). False
    // when it failed (the sample list then stays unread).
    bool LoadSampleList();
    // Loads program index (its regions, zones and sample memory) and returns
    // it retained, or null; reports state and progress to tone (may be null).
    GigaProgram* LoadProgram(int index, GigaLoadSink* tone);

    // Users of the bank (the bank manager); a bank is not deleted at 0.
    int Retain();
    int Release();
    int GetRefCount() const { return m_refCount.load(std::memory_order_acquire); }

    const char* GetPath() const { return m_path.c_str(); }
    const char* GetFileName() const { return m_path.c_str() + m_fileNameAt; }
    int GetVersion() const { return m_version; }
    int GetProgramCount() const { return static_cast<int>(m_programs.size()); }
    GigaProgram* GetProgram(int i) const;
    GigaMemory* GetMemory(int i) const;
    int GetSampleCount() const { return m_sampleCount; }
    bool HasSampleList() const { return m_samples != nullptr; }
    GigaSample* GetSample(int i) const;
    int GetFileCount() const { return static_cast<int>(m_files.size()); }
    GigaFile* GetGigaFile(int i) const;
    int64_t GetWavePoolOffset() const { return m_wavePool; }
    // The path where the first extension file that could not be opened was
    // looked for; null when every file opened (or the list is unread).
    const char* GetMissingFile() const;

    // Threads that decode a program's compressed samples during a load: 0
    // (the default) is the hardware threads minus one, at least one.
    static void SetDecodeThreads(int threads) { s_decodeThreads.store(threads, std::memory_order_relaxed); }
    static int GetDecodeThreads();

private:
    static inline std::atomic<int> s_decodeThreads{0};
    // Decodes the memory head of a sample whose memory is bound.
    static void DecodeHead(GigaSampleReader& reader, GigaSample& sample);
    // Decodes the queued samples on a pool of threads; returns when all are.
    void DecodeOnPool(const std::vector<GigaSample*>& queue, int done, int considered, GigaLoadSink* tone);
    void Reset();
    bool OpenGigaFile(const char* path);
    void ReadInstruments();
    void ReadInstrument(GigaProgram& program);
    void ReadExtensionFiles();
    // Opens files missing until now (found meanwhile, GigaHooks::FindMovedFile)
    // and reads their pools and those after them.
    void ReopenMissingFiles();
    bool OpenExtension(GigaFile& file, const std::string& path);
    void ReadPools(size_t from);
    void DeleteSampleList();
    GigaProgram* LoadRegions(int index, GigaLoadSink* tone);

    bool ReadRegion(GigaProgram& program, GigaRegion& region);
    void ReadZone(GigaZone& zone);
    bool PlaceSamples(int index, GigaProgram& program, GigaMemory& memory, GigaRegion& region,
                      int& considered, int64_t& total);
    void DecodeSamples(GigaProgram& program, int considered, GigaLoadSink* tone);
    int CountUnusable(const GigaProgram& program) const;
    void FailLoad(GigaProgram& program, GigaMemory& memory);

    std::string m_path;  // set by the open, before the bank is shared
    int m_fileNameAt = 0;
    int m_version = 1;
    int m_sampleCount = 0;
    int64_t m_wavePool = 0;
    int64_t m_extensionList = 0;
    std::atomic<int> m_refCount{0};
    std::vector<std::unique_ptr<GigaProgram>> m_programs;
    std::vector<std::unique_ptr<GigaMemory>> m_memories;
    std::vector<std::unique_ptr<GigaFile>> m_files;
    std::vector<std::string> m_filePaths;  // where each extension file belongs (empty: no name)
    size_t m_filesRead = 0;                // files whose pools were read, in order
    int m_samplesRead = 0;                 // samples those pools gave
    std::unique_ptr<GigaSample[]> m_samples;
    GigaSampleReader m_reader;
};

// Conversions of .gig values, shared by the region reader and the tools.
namespace giga {
// Seconds of a 3ewa time value (0x80000000 is 0 s).
float TimeToSeconds(int32_t t);
// Linear gain of a level in dB.
float GainFromDb(float db);
// MIDI controller number of a .gig controller code (0 when none).
int MapController(int code);
// A 3ewa controller byte: used only when bit 0 is set; 0 when not used.
int ControllerFromByte(uint8_t b);
// The name rule: 0xB4 -> apostrophe, other bytes >= 0x80 -> space, ends at NUL.
void CleanName(char* name, int length);
}  // namespace giga
