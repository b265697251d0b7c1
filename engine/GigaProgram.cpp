#include "engine/GigaProgram.h"

#include <cstring>

#include "engine/GigaBankHooks.h"

GigaProgram::~GigaProgram()
{
    Unload();
}

void GigaProgram::Retain()
{
    m_useCount.fetch_add(1, std::memory_order_acq_rel);
    if (streaming) {
        if (GigaDiskUsers* users = GigaHooks::GetDiskUsers()) {
            users->AddUser();
            ++m_diskUsers;
        }
    }
}

void GigaProgram::Release()
{
    if (m_useCount.load(std::memory_order_acquire) <= 0)
        return;
    if (m_diskUsers > 0) {
        --m_diskUsers;
        if (GigaDiskUsers* users = GigaHooks::GetDiskUsers())
            users->RemoveUser();
    }
    if (m_useCount.fetch_sub(1, std::memory_order_acq_rel) == 1)
        Unload();
}

void GigaProgram::Unload()
{
    // The key table goes first, so it never points at a deleted region.
    std::memset(m_keys, 0, sizeof(m_keys));
    m_regions.clear();
    std::memset(m_usedDims, 0, sizeof(m_usedDims));
    streaming = false;
    sampleCount = 0;
    lowestKey = 127;
    highestKey = 0;
}

void GigaProgram::SetRegionCount(int n)
{
    Unload();
    m_regions.reserve(n > 0 ? n : 0);
    for (int i = 0; i < n; ++i)
        m_regions.push_back(std::make_unique<GigaRegion>(this));
}

void GigaProgram::AddKeyRange(GigaRegion* region, int low, int high)
{
    if (low < 0)
        low = 0;
    if (high > giga::kKeys - 1)
        high = giga::kKeys - 1;
    if (high < low)
        return;
    if (low < lowestKey)
        lowestKey = low;
    if (high > highestKey)
        highestKey = high;
    for (int k = low; k <= high; ++k)
        m_keys[k] = region;
}

void GigaProgram::MarkDimension(int code)
{
    if (code > 0 && code < giga::kDimCodes)
        m_usedDims[code] = static_cast<uint8_t>(code);
}
