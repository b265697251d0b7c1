#include "engine/GigaMemory.h"

#include <sys/mman.h>

#include <cstdio>
#include <cstdlib>

#include "kiv/file/FileOpen.h"

namespace {

constexpr int64_t kBytesPerMB = 1048576;
constexpr size_t kHugePageBytes = 2 * 1048576;

// Blocks come straight from the kernel: fresh anonymous pages read as zero,
// so the room no sample fills is silence without a pass over the block, and
// huge pages (where the system grants them) make the first write of a block
// cost a few page faults instead of one per 4 KB. The pages are left to
// fault in as the samples are decoded into them: a pool of decoders then
// shares the kernel's zeroing of fresh pages instead of waiting for one pass.
// Blocks smaller than a huge page come from the heap, zeroed, so programs
// with little memory do not each take a mapping.
int16_t* MapBlock(size_t bytes)
{
    if (bytes < kHugePageBytes)
        return static_cast<int16_t*>(std::calloc(bytes, 1));
    void* p = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED)
        return nullptr;
#ifdef MADV_HUGEPAGE
    ::madvise(p, bytes, MADV_HUGEPAGE);
#endif
    return static_cast<int16_t*>(p);
}

// Bytes mapped for a block of n samples: whole huge pages once it is that
// large, so the kernel places it on a huge-page boundary.
size_t BlockBytes(int64_t samples)
{
    size_t bytes = static_cast<size_t>(samples) * 2;
    if (bytes >= kHugePageBytes)
        bytes = (bytes + kHugePageBytes - 1) / kHugePageBytes * kHugePageBytes;
    return bytes;
}

void UnmapBlock(int16_t* data, size_t bytes)
{
    if (bytes < kHugePageBytes)
        std::free(data);
    else if (data)
        ::munmap(data, bytes);
}

int64_t CeilMB(int64_t samples)
{
    return (samples * 2 + kBytesPerMB - 1) / kBytesPerMB;
}

}  // namespace

GigaMemory::~GigaMemory()
{
    FreeAll();
}

int GigaMemory::FindBlock(int64_t index) const
{
    for (int i = 0; i < m_blockCount; ++i) {
        const Block& b = m_blocks[i];
        if (index >= b.start && index < b.start + b.capacity)
            return i;
    }
    return -1;
}

int64_t GigaMemory::Reserve(int64_t n)
{
    if (n < 0)
        return -1;
    if (m_blockCount > 0) {
        Block& last = m_blocks[m_blockCount - 1];
        if (!last.closed && last.used + n <= last.capacity) {
            int64_t index = last.start + last.used;
            last.used += n;
            return index;
        }
        // The current block is full (or allocated): it is kept as it is.
        if (!last.closed) {
            last.closed = true;
            last.chargedMB = giga::kBlockMB;
        }
    }
    if (m_blockCount >= giga::kMaxBlocks)
        return -1;
    if (m_blocks.size() <= static_cast<size_t>(m_blockCount))
        m_blocks.resize(m_blockCount + 1);
    Block& b = m_blocks[m_blockCount++];
    b = Block{};
    b.start = m_nextStart;
    if (n > giga::kBlockSamples) {
        // A sample larger than a block gets a block of its own size.
        b.capacity = n;
        b.used = n;
        b.closed = true;
        b.chargedMB = CeilMB(n);
    } else {
        b.capacity = giga::kBlockSamples;
        b.used = n;
    }
    m_nextStart = b.start + b.capacity;
    return b.start;
}

bool GigaMemory::Allocate()
{
    // Blocks reserved since the last allocation.
    int first = m_allocatedBlocks;
    if (first >= m_blockCount)
        return true;
    int64_t charge = 0;
    for (int i = first; i < m_blockCount; ++i) {
        Block& b = m_blocks[i];
        if (!b.closed)  // the last open block: what it holds, as whole MB
            b.chargedMB = b.used * 2 / kBytesPerMB;
        charge += b.chargedMB;
    }
    Print("GigaMemory::Allocate(%d MB)", static_cast<int>(m_chargedMB + charge));
    GigaMemoryBudget& budget = GigaHooks::GetBudget();
    if (!budget.Reserve(charge)) {
        std::fputs("Error:  Not enough memory\r\n", stdout);
        std::fflush(stdout);
        return false;
    }
    for (int i = first; i < m_blockCount; ++i) {
        Block& b = m_blocks[i];
        int64_t samples = b.capacity;
        if (!b.closed)
            samples = (b.used + giga::kTailRoundSamples - 1) / giga::kTailRoundSamples * giga::kTailRoundSamples;
        if (samples == 0)
            samples = giga::kTailRoundSamples;
        b.bytes = BlockBytes(samples);
        b.data = MapBlock(b.bytes);
        if (!b.data) {
            for (int j = first; j < i; ++j) {
                UnmapBlock(m_blocks[j].data, m_blocks[j].bytes);
                m_blocks[j].data = nullptr;
                m_blocks[j].bytes = 0;
            }
            b.bytes = 0;
            budget.Release(charge);
            return false;
        }
        b.capacity = samples > b.capacity ? b.capacity : samples;
        b.closed = true;  // never grown once allocated
    }
    m_chargedMB += charge;
    m_allocatedBlocks = m_blockCount;
    return true;
}

void GigaMemory::DropPending()
{
    m_blockCount = m_allocatedBlocks;
    m_nextStart = m_blockCount > 0 ? m_blocks[m_blockCount - 1].start + m_blocks[m_blockCount - 1].capacity : 0;
    if (m_blockCount == 0)
        m_nextStart = 0;
}

bool GigaMemory::Holds(int64_t index) const
{
    int i = FindBlock(index);
    return i >= 0 && m_blocks[i].data != nullptr;
}

int16_t* GigaMemory::At(int64_t index) const
{
    int i = FindBlock(index);
    if (i < 0 || !m_blocks[i].data)
        return nullptr;
    return m_blocks[i].data + (index - m_blocks[i].start);
}

void GigaMemory::Retain()
{
    m_users.fetch_add(1, std::memory_order_acq_rel);
}

void GigaMemory::Release()
{
    if (m_users.fetch_sub(1, std::memory_order_acq_rel) == 1) {
        Print("GigaMemory::Delete(%d)", m_programIndex);
        FreeAll();
    }
}

void GigaMemory::FreeAll()
{
    for (int i = 0; i < m_blockCount; ++i) {
        UnmapBlock(m_blocks[i].data, m_blocks[i].bytes);
        m_blocks[i] = Block{};
    }
    if (m_chargedMB > 0)
        GigaHooks::GetBudget().Release(m_chargedMB);
    m_chargedMB = 0;
    m_blockCount = 0;
    m_allocatedBlocks = 0;
    m_nextStart = 0;
}

GigaSystemBudget::GigaSystemBudget()
{
    int64_t total = 0;
    int64_t available = 0;
    ReadMemInfo(total, available);
    m_totalMB = total;
    if (const char* forced = std::getenv(giga::kBudgetEnv)) {
        char* end = nullptr;
        long long mb = std::strtoll(forced, &end, 10);
        if (end != forced && mb >= 0)
            available = mb;
    }
    m_budgetMB.store(available < giga::kMaxBudgetMB ? available : giga::kMaxBudgetMB,
                     std::memory_order_relaxed);
}

bool GigaSystemBudget::Reserve(int64_t mb)
{
    if (mb < 0)
        return false;
    int64_t used = m_usedMB.load(std::memory_order_relaxed);
    if (used + mb > m_budgetMB.load(std::memory_order_relaxed))
        return false;
    m_usedMB.fetch_add(mb, std::memory_order_relaxed);
    return true;
}

void GigaSystemBudget::Release(int64_t mb)
{
    m_usedMB.fetch_sub(mb, std::memory_order_relaxed);
}

bool GigaSystemBudget::ReadMemInfo(int64_t& totalMB, int64_t& availableMB)
{
    totalMB = 0;
    availableMB = 0;
    FILE* f = file::OpenStreamForReading("/proc/meminfo");
    if (!f)
        return false;
    char line[256];
    bool haveTotal = false;
    bool haveAvailable = false;
    while (std::fgets(line, sizeof(line), f)) {
        long long kb = 0;
        if (std::sscanf(line, "MemTotal: %lld kB", &kb) == 1) {
            totalMB = kb / 1024;
            haveTotal = true;
        } else if (std::sscanf(line, "MemAvailable: %lld kB", &kb) == 1) {
            availableMB = kb / 1024;
            haveAvailable = true;
        }
    }
    std::fclose(f);
    return haveTotal && haveAvailable;
}
