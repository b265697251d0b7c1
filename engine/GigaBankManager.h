// GigaBankManager: the process-wide cache of opened banks and the loader
// ('load' thread) of queued players. A pass optionally searches the
// missing-files folder, loads every queued player (GigaDeck::LoadTones) until
// the queue is empty, then deletes the banks nobody uses. Passes never
// overlap: the loader thread and RunNow (the host's thread, for a state
// chunk) take the same pass lock, and saved records are applied to a player
// only while that lock is held (HoldPasses), so no pass reads the parts a
// host or GUI load is rewriting. The audio thread never calls in here.
//
// Threads: QueuePlayer/StartLoading from the GUI or host thread; the pass on
// the loader thread or the caller of RunNow; GetBank during a pass; GetStats
// from the GUI thread.
#pragma once
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "engine/GigaStreamConstants.h"
#include "kiv/data/Thread.h"
#include "kiv/file/Log.h"

class GigaBank;
class GigaDeck;
class GigaTone;

class GigaBankManager : public kiv::thread, public file::Log {
public:
    struct Stats {
        int32_t banks = 0;     // cached banks
        int32_t programs = 0;  // programs with a use count above 0
        int32_t samples = 0;   // samples with memory
    };

    GigaBankManager();
    // Waits for a running pass, then deletes every cached bank.
    ~GigaBankManager() override;

    // The process-wide object (the first one built), or null.
    static GigaBankManager* Get();

    // During a pass: the cached bank of exactly this path, retained, or a
    // newly opened one; null when it cannot be opened or the cache is full.
    GigaBank* GetBank(const char* path);
    // Gives up one use of a bank (it stays cached until a pass ends).
    static void ReleaseBank(GigaBank* bank);

    // Queues a player for the next pass (once: a player already waiting is
    // not queued twice). Null is ignored.
    void QueuePlayer(GigaDeck* player);
    void QueueTone(GigaTone* tone);
    // Starts the loader thread when players wait. A request that comes while
    // a pass runs is served by that pass before the thread ends.
    void StartLoading(bool search);
    // Runs a pass on the calling thread (after any running pass).
    void RunNow(bool search);
    // Keeps passes out while the caller rewrites the tones and parts of a
    // player (a state chunk, performance or preset applied): waits for a
    // running pass to end. Never on the audio thread, and never held while
    // waiting for the loader thread (WaitIdle, GigaDeck::WaitWhileLoading):
    // its pass needs the lock to end. The thread that holds it may still run
    // a pass itself (RunNow) or apply records during its own pass.
    std::unique_lock<std::recursive_mutex> HoldPasses();
    // Waits until no pass runs and no player waits (bounded: false on time-out).
    bool WaitIdle(int timeoutMs);
    // A player is being deleted: it leaves the queue, and a pass that is
    // loading it ends before this returns.
    void ForgetPlayer(GigaDeck* player);

    void GetStats(Stats& stats);
    int GetBankCount();
    int GetQueuedCount();

    // Missing-file search (part of a pass; public for the missing-files tools
    // and tests). CheckMissingFiles marks queued parts in state 1 whose file
    // does not exist as missing; true when none was marked.
    bool CheckMissingFiles();
    // Walks folder and its sub-folders (no dot entries, no links to folders,
    // bounded depth) offering every file to MatchFile, until all are found.
    void SearchFolder(const char* folder);
    // A ".gig" file (any letter case) whose name ends a missing part's path
    // after a '/' or '\' gives that part its path. Returns the parts still missing.
    int MatchFile(const char* name, const char* fullPath);

    static constexpr int kMaxSearchDepth = 32;

protected:
    void Run() override;

private:
    void Pass(bool search);
    GigaDeck* Dequeue();
    void DeleteUnusedBanks();
    class FolderWalk;
    template <typename F>
    void ForQueuedParts(F&& call);

    std::recursive_mutex m_passLock;  // one pass at a time; record applies
    std::mutex m_queueLock;   // the queue, the search and busy flags
    std::mutex m_startLock;   // one thread start at a time (never held by the thread)
    std::mutex m_cacheLock;   // the bank cache against GetStats

    GigaBank* m_banks[giga::kBankCacheSize] = {};
    int m_bankCount = 0;

    GigaDeck* m_queue[giga::kPlayerQueueSize] = {};
    int m_read = giga::kPlayerQueueSize - 1;
    int m_write = giga::kPlayerQueueSize - 1;
    int m_queued = 0;
    bool m_search = false;
    bool m_threadBusy = false;       // the loader thread owns the queue's next passes
    std::atomic<bool> m_allFound{false};
};
