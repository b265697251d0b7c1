// GigaMemory: the sample memory of one program: 16-bit data of the samples (or
// sample heads) kept in memory, in blocks of 64 MB. Samples reserve room
// first, then Allocate charges the budget and allocates every block reserved
// so far. A block is never grown once allocated: a later reservation opens a
// new block. The loader thread reserves, allocates and releases; the audio
// thread only reads the data of allocated blocks through a sample's pointers.
//
// GigaSystemBudget: the default process-wide budget: available physical memory
// (from /proc/meminfo) when built, at most 16384 MB; KIV_TEST_MEMORY_MB forces
// it for tests.
#pragma once
#include <atomic>
#include <cstdint>
#include <vector>

#include "engine/GigaBankHooks.h"
#include "engine/GigaConstants.h"
#include "kiv/file/Log.h"

class GigaMemory : public file::Log {
public:
    GigaMemory() = default;
    ~GigaMemory() override;
    GigaMemory(const GigaMemory&) = delete;
    GigaMemory& operator=(const GigaMemory&) = delete;

    void SetProgramIndex(int index) { m_programIndex = index; }
    int GetProgramIndex() const { return m_programIndex; }

    // Start index of n 16-bit samples, or -1 when the block table is full.
    // n never straddles a block; a sample larger than a block gets a block of
    // its own size.
    int64_t Reserve(int64_t n);
    // Charges the budget and allocates every reserved block not yet
    // allocated. False (nothing charged, nothing allocated) when the budget
    // refuses ("Error:  Not enough memory" on stdout) or memory runs out.
    bool Allocate();
    // Forgets reservations that were never allocated (after a failed load).
    void DropPending();
    // True when index lies in an allocated block.
    bool Holds(int64_t index) const;
    // The data at index (inside an allocated block), else null.
    int16_t* At(int64_t index) const;
    bool HasBlocks() const { return m_allocatedBlocks > 0; }

    // Samples attached to this memory (a sample counts once, on its first use).
    void Retain();
    void Release();  // the last release frees every block and the charge
    int GetUserCount() const { return m_users.load(std::memory_order_acquire); }
    int64_t GetChargedMB() const { return m_chargedMB; }
    int GetBlockCount() const { return m_blockCount; }

    // Whether Allocate makes a mapped block's pages present in one call or
    // leaves them to fault in as the samples are decoded into them.
    // Process-wide; the load benchmark measures both.
    static void SetPagesPresentAtAllocation(bool present);
    static bool GetPagesPresentAtAllocation();

private:
    struct Block {
        int16_t* data = nullptr;  // mapped pages, zero until written
        size_t bytes = 0;         // bytes mapped
        int64_t start = 0;     // first index of the block
        int64_t capacity = 0;  // samples the block may hold
        int64_t used = 0;      // samples reserved in it
        int64_t chargedMB = 0;
        bool closed = false;   // no further reservations (full, own-size or allocated)
    };
    void FreeAll();
    int FindBlock(int64_t index) const;

    int m_programIndex = -1;
    std::atomic<int> m_users{0};
    // Grown on the first reservation (at most kMaxBlocks), so the records of
    // a bank's unloaded programs stay small.
    std::vector<Block> m_blocks;
    int m_blockCount = 0;
    int m_allocatedBlocks = 0;
    int64_t m_nextStart = 0;   // start index of the next new block
    int64_t m_chargedMB = 0;
};

class GigaSystemBudget : public GigaMemoryBudget {
public:
    GigaSystemBudget();  // reads /proc/meminfo (or KIV_TEST_MEMORY_MB)

    bool Reserve(int64_t mb) override;
    void Release(int64_t mb) override;

    int64_t GetTotalMB() const { return m_totalMB; }
    int64_t GetBudgetMB() const { return m_budgetMB.load(std::memory_order_relaxed); }
    int64_t GetUsedMB() const { return m_usedMB.load(std::memory_order_relaxed); }
    void SetBudgetMB(int64_t mb) { m_budgetMB.store(mb, std::memory_order_relaxed); }

    // Total and available physical memory in MB from /proc/meminfo; false when
    // it cannot be read.
    static bool ReadMemInfo(int64_t& totalMB, int64_t& availableMB);

private:
    int64_t m_totalMB = 0;
    std::atomic<int64_t> m_budgetMB{0};
    std::atomic<int64_t> m_usedMB{0};
};
