// GigaRegion: one key range of a program with its dimension tree. The tree's
// nodes lie level by level; the nodes of one group (children of one node) lie
// one after another; a last-level node points to its zone. Built by the
// loader thread; Walk and NextRoundRobin run on the audio thread (noexcept,
// no allocation).
#pragma once
#include <atomic>
#include <cstdint>
#include <memory>

#include "engine/GigaConstants.h"
#include "engine/GigaZone.h"

class GigaProgram;

// The values a note walk chooses by: velocity, a random value 0..127 taken
// once per note, and the tone's controller values by dimension code (codes at
// or past controllerCount read 0; the tone keeps 0x84 and 0x85 there too).
struct GigaWalkInput {
    int velocity = 0;
    int randomValue = 0;
    const int32_t* controllers = nullptr;
    int controllerCount = 0;
};

// The zones a walk reached (only zones with a sample), and whether they came
// through a layer group.
struct GigaWalkResult {
    GigaZone* zones[giga::kMaxZones];
    int count = 0;
    bool layered = false;
};

struct GigaDimNode {
    int code = 0;
    int upper = 127;           // value bound of this split (0: no bound)
    GigaDimNode* child = nullptr;  // first node of the child group (inner levels)
    int childCount = 0;
    GigaZone* zone = nullptr;      // last level
};

class GigaRegion {
public:
    explicit GigaRegion(GigaProgram* program);
    ~GigaRegion();
    GigaRegion(const GigaRegion&) = delete;
    GigaRegion& operator=(const GigaRegion&) = delete;

    // Builds the zones and the tree from the dimension slots: code and split
    // bits per slot. False when the slots ask for more than 8 bits in all.
    bool BuildTree(const uint8_t* codes, const uint8_t* bits, int slotCount);
    // File upper limits for zone: its velocity limit (0 sets nothing), and
    // its eight limit bytes: dimension k (in level order) takes byte k, or
    // byte k + 1 when the region has a sample-channel slot. ApplyUpperLimits
    // takes every zone's bytes once all zones are read; a dimension whose
    // bytes are all 0 keeps its even splits.
    void SetVelocityUpperLimit(int zone, int value);
    void SetUpperLimits(int zone, const uint8_t* limits);
    void ApplyUpperLimits();
    // The round-robin value for this note; the counter moves on by one step.
    int NextRoundRobin() noexcept;

    // Walks the tree for a note; the round-robin counter moves on once when
    // the walk meets a round-robin group.
    void Walk(const GigaWalkInput& input, GigaWalkResult& result) noexcept;

    GigaProgram* GetProgram() const { return m_program; }
    int GetZoneCount() const { return m_zoneCount; }
    GigaZone* GetZone(int index) const;
    int GetDimensionCount() const { return m_dimCount; }
    int GetDimensionCode(int d) const { return m_dimCodes[d]; }
    int GetDimensionZones(int d) const { return m_dimZones[d]; }
    bool HasDimension(int code) const;
    const GigaDimNode* GetRootNodes() const { return m_nodes.get(); }
    int GetRootCount() const { return m_dimCount > 0 ? m_dimZones[0] : 0; }

    int low = 0;
    int high = 127;
    bool selfMask = false;
    bool releaseTrigger = false;
    int sampleChannelSlot = -1;

private:
    GigaDimNode* NodeOnPath(int zone, int level);
    // The limit byte of the dimension at level, or -1 when there is none.
    int LimitByte(int level) const;
    void WalkGroup(const GigaDimNode* group, int count, const GigaWalkInput& in,
                   GigaWalkResult& result, int& roundRobin) noexcept;
    int ValueFor(int code, const GigaWalkInput& in, int& roundRobin) noexcept;

    GigaProgram* m_program;
    int m_dimCount = 0;
    int m_dimCodes[giga::kDimSlots] = {};
    int m_dimZones[giga::kDimSlots] = {};
    int m_dimSlot[giga::kDimSlots] = {};     // '3lnk' slot of each dimension
    int m_levelStart[giga::kDimSlots] = {};  // index of each level's first node
    int m_zoneCount = 1;
    std::unique_ptr<GigaZone[]> m_zones;
    std::unique_ptr<GigaDimNode[]> m_nodes;
    int m_nodeCount = 0;
    int m_roundRobinStep = 0;
    std::atomic<int> m_roundRobin{0};
};
