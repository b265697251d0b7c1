// Seed inputs for the fuzz targets. A target's LLVMFuzzerInitialize makes a
// SeedCorpus and adds its seeds: under libFuzzer they are written into the
// corpus folder named on the command line, under the replay driver they are
// kept in memory and mutated.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace kivfuzz {

class SeedCorpus {
public:
    SeedCorpus(int* argc, char*** argv);
    void Add(const std::string& name, const std::vector<uint8_t>& bytes);
    void Add(const std::string& name, const void* bytes, size_t size);

private:
    std::string m_dir;  // empty: keep seeds in memory
};

// The seeds kept by the replay driver.
std::vector<std::vector<uint8_t>>& MemorySeeds();
// True while the replay driver runs (set before LLVMFuzzerInitialize).
extern bool g_replayMode;

}  // namespace kivfuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv);
