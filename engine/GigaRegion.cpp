// Walk and NextRoundRobin run on the audio thread: no allocation, no lock.
#include "engine/GigaRegion.h"

#include <cstring>

GigaRegion::GigaRegion(GigaProgram* program)
    : m_program(program), m_zones(new GigaZone[1])
{
}

GigaRegion::~GigaRegion() = default;

bool GigaRegion::BuildTree(const uint8_t* codes, const uint8_t* bits, int slotCount)
{
    int totalBits = 0;
    m_dimCount = 0;
    sampleChannelSlot = -1;
    releaseTrigger = false;
    m_roundRobinStep = 0;
    for (int slot = 0; slot < slotCount && slot < giga::kDimSlots; ++slot) {
        const int code = codes[slot];
        if (code == giga::kDimNone)
            continue;
        totalBits += bits[slot];
        if (totalBits > giga::kDimMaxBits) {
            // Refused: the region is left with one zone and no tree.
            m_dimCount = 0;
            sampleChannelSlot = -1;
            releaseTrigger = false;
            m_roundRobinStep = 0;
            m_zoneCount = 1;
            m_nodeCount = 0;
            m_zones.reset(new GigaZone[1]);
            m_nodes.reset();
            return false;
        }
        if (code == giga::kDimSampleChannel) {
            sampleChannelSlot = slot;
            continue;
        }
        const int z = 1 << bits[slot];
        if (code == giga::kDimReleaseTrigger)
            releaseTrigger = true;
        if (code == giga::kDimRoundRobin)
            m_roundRobinStep = 128 / z;
        m_dimCodes[m_dimCount] = code;
        m_dimZones[m_dimCount] = z;
        m_dimSlot[m_dimCount] = slot;
        ++m_dimCount;
    }

    m_zoneCount = 1;
    m_nodeCount = 0;
    int levelNodes = 1;
    for (int d = 0; d < m_dimCount; ++d) {
        m_zoneCount *= m_dimZones[d];
        levelNodes *= m_dimZones[d];
        m_levelStart[d] = m_nodeCount;
        m_nodeCount += levelNodes;
    }
    m_zones.reset(new GigaZone[m_zoneCount]);
    m_nodes.reset();
    if (m_dimCount == 0)
        return true;

    m_nodes.reset(new GigaDimNode[m_nodeCount]);
    levelNodes = 1;
    for (int d = 0; d < m_dimCount; ++d) {
        const int z = m_dimZones[d];
        levelNodes *= z;
        for (int idx = 0; idx < levelNodes; ++idx) {
            GigaDimNode& node = m_nodes[m_levelStart[d] + idx];
            const int j = idx % z;
            node.code = m_dimCodes[d];
            node.upper = 128 / z * (j + 1) - 1;
            if (d + 1 < m_dimCount) {
                node.child = &m_nodes[m_levelStart[d + 1] + idx * m_dimZones[d + 1]];
                node.childCount = m_dimZones[d + 1];
            }
        }
    }
    // Leaves: the within-level index folds the path with the first dimension
    // as the highest digit; the zone index has it as the lowest digit.
    const int last = m_dimCount - 1;
    for (int r = 0; r < m_zoneCount; ++r)
        NodeOnPath(r, last)->zone = &m_zones[r];
    return true;
}

GigaDimNode* GigaRegion::NodeOnPath(int zone, int level)
{
    if (!m_nodes || level < 0 || level >= m_dimCount || zone < 0 || zone >= m_zoneCount)
        return nullptr;
    int idx = 0;
    int r = zone;
    for (int d = 0; d <= level; ++d) {
        const int j = r % m_dimZones[d];
        r /= m_dimZones[d];
        idx = idx * m_dimZones[d] + j;
    }
    return &m_nodes[m_levelStart[level] + idx];
}

void GigaRegion::SetVelocityUpperLimit(int zone, int value)
{
    if (value <= 0)
        return;
    for (int d = 0; d < m_dimCount; ++d) {
        if (m_dimCodes[d] == giga::kDimVelocity) {
            if (GigaDimNode* node = NodeOnPath(zone, d))
                node->upper = value;
        }
    }
}

int GigaRegion::LimitByte(int level) const
{
    // The bytes follow the dimensions in level order, after one for the
    // sample channel when the region has that slot.
    const int byte = level + (sampleChannelSlot >= 0 ? 1 : 0);
    return byte < giga::kDimSlots ? byte : -1;
}

void GigaRegion::SetUpperLimits(int zone, const uint8_t* limits)
{
    for (int d = 0; d < m_dimCount; ++d) {
        const int byte = LimitByte(d);
        GigaDimNode* node = NodeOnPath(zone, d);
        if (node && byte >= 0)
            node->upper = limits[byte];
    }
}

void GigaRegion::ApplyUpperLimits()
{
    for (int d = 0; d < m_dimCount; ++d) {
        const int byte = LimitByte(d);
        if (byte < 0)
            continue;
        bool any = false;
        for (int r = 0; r < m_zoneCount && !any; ++r)
            any = m_zones[r].dimensionLimits[byte] != 0;
        if (!any)
            continue;  // the file sets no limits for it: keep the even splits
        for (int r = 0; r < m_zoneCount; ++r) {
            if (GigaDimNode* node = NodeOnPath(r, d))
                node->upper = m_zones[r].dimensionLimits[byte];
        }
    }
}

int GigaRegion::NextRoundRobin() noexcept
{
    const int value = m_roundRobin.load(std::memory_order_relaxed);
    int next = value + m_roundRobinStep;
    if (next >= 128)
        next = 0;
    m_roundRobin.store(next, std::memory_order_relaxed);
    return value;
}

GigaZone* GigaRegion::GetZone(int index) const
{
    return (index >= 0 && index < m_zoneCount) ? &m_zones[index] : nullptr;
}

bool GigaRegion::HasDimension(int code) const
{
    for (int d = 0; d < m_dimCount; ++d) {
        if (m_dimCodes[d] == code)
            return true;
    }
    return false;
}

int GigaRegion::ValueFor(int code, const GigaWalkInput& in, int& roundRobin) noexcept
{
    switch (code) {
    case giga::kDimVelocity:
        return in.velocity;
    case giga::kDimRoundRobin:
        if (roundRobin < 0)
            roundRobin = NextRoundRobin();
        return roundRobin;
    case giga::kDimRandom:
        return in.randomValue;
    default:
        return (in.controllers && code >= 0 && code < in.controllerCount) ? in.controllers[code] : 0;
    }
}

void GigaRegion::WalkGroup(const GigaDimNode* group, int count, const GigaWalkInput& in,
                           GigaWalkResult& result, int& roundRobin) noexcept
{
    if (!group || count <= 0)
        return;
    if (group[0].code == giga::kDimLayer) {
        result.layered = true;
        for (int i = 0; i < count; ++i) {
            const GigaDimNode& node = group[i];
            if (node.zone) {
                if (node.zone->GetSample() && result.count < giga::kMaxZones)
                    result.zones[result.count++] = node.zone;
            } else {
                WalkGroup(node.child, node.childCount, in, result, roundRobin);
            }
        }
        return;
    }
    const int value = ValueFor(group[0].code, in, roundRobin);
    // The first node whose bound is 0 or covers the value; never past the
    // group's last node, whatever limits the file set.
    int i = 0;
    while (i + 1 < count && group[i].upper != 0 && group[i].upper < value)
        ++i;
    const GigaDimNode& node = group[i];
    if (node.zone) {
        if (node.zone->GetSample() && result.count < giga::kMaxZones)
            result.zones[result.count++] = node.zone;
        return;
    }
    WalkGroup(node.child, node.childCount, in, result, roundRobin);
}

void GigaRegion::Walk(const GigaWalkInput& input, GigaWalkResult& result) noexcept
{
    result.count = 0;
    result.layered = false;
    if (m_dimCount == 0) {
        if (m_zones[0].GetSample())
            result.zones[result.count++] = &m_zones[0];
        return;
    }
    int roundRobin = -1;
    WalkGroup(m_nodes.get(), m_dimZones[0], input, result, roundRobin);
}
