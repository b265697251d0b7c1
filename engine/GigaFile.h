// GigaFile: one physical file of a bank (the .gig itself or an extension
// file) with its own descriptor, its wave-pool place and the idle disk
// streams of the file. Owned by its bank. ReadWavePool runs on the loader
// thread; the disk thread takes and recycles streams and reads sample data
// through GetFile() with pread.
#pragma once
#include <cstdint>
#include <memory>

#include "engine/FastRiff.h"
#include "kiv/data/String.h"

class GigaSample;
class GigaStreamPool;

class GigaFile : public FastRiff {
public:
    GigaFile();
    ~GigaFile() override;

    // Opens path; a non-zero offset is the wave pool's 'LIST' header position,
    // 0 searches the top level for 'LIST' 'wvpl'. False when the file does not
    // open or has no pool (a file that opened stays open either way).
    bool Open(const char* path, int64_t wavePoolOffset);
    // Reads up to count sample headers into samples; returns how many. Then
    // fills the idle stream pool (when it read any). Throws "Error in file" on
    // a malformed chunk.
    int ReadWavePool(GigaSample* samples, int count);

    const char* GetPath() const { return m_path.CStr(); }
    int64_t GetWavePoolOffset() const { return m_wavePool; }
    // The idle streams (null until the wave pool gave samples).
    GigaStreamPool* GetStreamPool() const { return m_streams.get(); }

private:
    void ReadWave(GigaSample& sample);

    kiv::string m_path;
    int64_t m_wavePool = 0;
    std::unique_ptr<GigaStreamPool> m_streams;
};
