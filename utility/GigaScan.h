// GigaScan: the utility's folder scanner. The window thread starts it on one
// root folder; its own thread walks the tree, gives every .gig file not yet
// in the database its folder and file rows and reads the file's keyword and
// instrument names into them, and reports each new file ('newf') and the end
// of the walk ('done') through the window's event queue.
//
// Rows are committed in batches (see CorvaneLimits.h) and each file's rows
// all or none, so a scan cut short at any moment leaves a consistent
// database and the next scan adds what the lost batch held. What could not
// be stored or read is counted for the window to report.
//
// Threads: Start, Stop, WaitFinished, GetTally and the database (GetBase)
// belong to the window thread while no scan runs; while one runs, the scan
// thread alone uses the database. The stop flag is the only field both
// touch; the tally is handed over with the walk's end.
#pragma once
#include "kiv/data/Thread.h"
#include "kiv/data/XEvent.h"
#include "utility/CorvaneLimits.h"
#include "utility/GigaBase.h"
#include "kiv/file/Scan.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

// The main window's event queue as the scanner sees it (the window adapts
// its XEventQueue). Called on the scan thread.
class ScanEventTarget {
public:
    virtual ~ScanEventTarget() = default;
    virtual bool PostEvent(const XEvent& event) = 0;
};

// What one walk did, beyond the files it reported.
struct ScanTally {
    int notStored = 0;       // new files the database refused; the next scan tries them
    int unreadable = 0;      // files that could not be read; recorded, read again next scan
    int foldersSkipped = 0;  // folders that could not be opened or lie too deep
    std::string problem;     // the database's text for the first refusal
};

class GigaScan : public kiv::thread, public file::Scan {
public:
    GigaScan();
    // Stops a running scan and waits for its thread: the walk unwinds at
    // once after the stop flag is set.
    ~GigaScan() override;

    // Window thread. False when the folder does not exist, when a scan is
    // still walking, or when the root has no database row (the database is
    // not open or refuses the insert); no 'done' follows then. A thread that
    // has posted its 'done' and is finishing is waited for.
    bool Start(const char* rootFolder, ScanEventTarget* queue);
    // Any thread: every pending folder and file step returns at once, and
    // the walk still posts 'done'.
    void Stop() { m_stop.store(1, std::memory_order_release); }
    // True until the walk has ended (before 'done' is posted).
    bool IsWalking() const { return m_walking.load(std::memory_order_acquire); }
    // Waits up to timeoutMs for the scan thread to end; true when none runs.
    bool WaitFinished(int timeoutMs);

    // Window thread, while no scan runs (the main window's 'load', counts).
    GigaBase& GetBase() { return m_base; }
    // Window thread, once the walk has ended (after its 'done').
    const ScanTally& GetTally() const { return m_tally; }

    // Reads a file's keyword and instrument names (for the file's rows,
    // written once the reading is done); true when it ended normally.
    bool ScanGigaFile(const char* path);

protected:
    void Run() override;
    void EnterDirectory(const char* folder, const char* name, const char* fullPath) override;
    void OnFile(const char* folder, const char* name, const char* fullPath) override;

private:
    class Reader;

    bool IsStopping() const { return m_stop.load(std::memory_order_acquire) != 0; }
    // The path row of the folder being walked, looked up or inserted once.
    int CurrentPathId(const char* folder);
    // The reader's result; an exception reads as a malformed file.
    int ReadFile(const char* path);
    // Batches: opened at the first write, committed when full or old.
    bool OpenBatch();
    void CommitBatch();
    void CommitIfDue();
    // SQLite ended the open batch: its files count as not stored, and the
    // folder rows it inserted are gone.
    void LoseBatch();
    // Writes the file's rows as read; false (the rows taken back) when a
    // statement failed.
    bool StoreFile(int pathId, const char* name, int knownId, bool unread);
    void KeepProblem();

    GigaBase m_base;
    std::string m_root;  // ends with the separator
    ScanEventTarget* m_queue = nullptr;
    int m_pathIds[corvane::kPathIdDepth] = {};
    int m_depth = 0;
    std::string m_keyword;          // of the file being read
    std::vector<GigaName> m_names;  // of the file being read
    bool m_batchOpen = false;
    bool m_writeRefused = false;  // the write lock was not had: no more tries this walk
    int m_batchFiles = 0;         // files in the open batch
    int m_batchNew = 0;           // of them new rows (reported on commit)
    int m_batchUnread = 0;        // of them recorded as unreadable
    std::chrono::steady_clock::time_point m_batchStart;
    ScanTally m_tally;
    std::atomic<uint8_t> m_stop{0};
    std::atomic<bool> m_walking{false};
};
