// GigaProgram: one instrument of a bank: its table-of-contents values (read
// when the bank opens) and, while loaded, its regions with their dimension
// trees, a key table and the table of dimension codes in use. Owned by its
// bank; reference-counted by the parts that hold it loaded (the last release
// unloads it). Loaded, retained and released on the loader thread (or the
// host's thread for a state chunk); the audio thread reads the key table and
// regions of a loaded program.
#pragma once
#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/GigaConstants.h"
#include "engine/GigaRegion.h"
#include "kiv/data/String.h"

class GigaProgram {
public:
    GigaProgram() = default;
    ~GigaProgram();
    GigaProgram(const GigaProgram&) = delete;
    GigaProgram& operator=(const GigaProgram&) = delete;

    // Use count + 1 (a streaming program also counts one disk-thread user).
    void Retain();
    // Use count - 1; the last release unloads the program.
    void Release();
    int GetUseCount() const { return m_useCount.load(std::memory_order_acquire); }

    // Deletes the regions (their zones release their samples) and clears the
    // tables; the table-of-contents values stay.
    void Unload();
    // Creates n regions; lowest key 127, highest 0, tables cleared.
    void SetRegionCount(int n);
    // Widens the key span and points keys low..high to region.
    void AddKeyRange(GigaRegion* region, int low, int high);
    void SetName(const char* name) { m_name.Assign(name); }
    void MarkDimension(int code);

    const char* GetName() const { return m_name.CStr(); }
    int GetRegionCount() const { return static_cast<int>(m_regions.size()); }
    GigaRegion* GetRegion(int i) const { return m_regions[i].get(); }
    // The region playing key (0..127), or null.
    GigaRegion* GetRegionForKey(int key) const noexcept
    {
        return (key >= 0 && key < giga::kKeys) ? m_keys[key] : nullptr;
    }
    bool HasDimension(int code) const
    {
        return code >= 0 && code < giga::kDimCodes && m_usedDims[code] != 0;
    }
    bool IsLoaded() const { return !m_regions.empty(); }

    // Table of contents.
    int64_t dataOffset = 0;  // the 'ins ' list's data (after its type)
    int64_t dataEnd = 0;     // the end of the 'ins ' list
    int index = -1;
    int16_t fineTune = 0;
    int16_t bendRange = 0;
    int keySwitchLow = 0;
    int keySwitchHigh = 0;
    bool singleRegion = false;
    int fileRegionCount = 0; // 'insh' at open

    // Set by a load.
    bool streaming = false;
    int bitDepth = 16;
    int sampleCount = 0;
    int unusableSamples = 0;  // named by its zones but silent: missing, unreadable or undecodable
    int lowestKey = 127;
    int highestKey = 0;

private:
    kiv::string m_name;
    std::atomic<int> m_useCount{0};
    int m_diskUsers = 0;  // disk-thread users this program counts (one per streaming retain)
    std::vector<std::unique_ptr<GigaRegion>> m_regions;
    GigaRegion* m_keys[giga::kKeys] = {};
    uint8_t m_usedDims[giga::kDimCodes] = {};
};
