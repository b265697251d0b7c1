// GigaScan: the utility's folder scanner and the one thread that touches its
// database. The window thread starts it either on one root folder (a walk)
// or on the listed folders' file counts; its own thread does every database
// step, so a locked or slow database never holds the window.
//
// A walk makes the database match the tree: a .gig file not yet listed gets
// its folder and file rows and its keyword and instrument names; a listed
// file whose size or modification time changed is read again and its rows
// brought up to date (instruments still there keep their rows and ratings);
// once the whole tree is walked, rows of files no longer on disk are taken
// out (a renamed file's ratings go to the file it became: the new file of
// the same size, time and instruments), also those under the folder a
// listed link pointed to before. It reports each new file
// ('newf') and the end of the job ('done') through the window's queue.
//
// Files are read with no lock held; what they gave is written in short
// batches (see CorvaneLimits.h), each file's rows all or none, so the
// plug-in's ratings find the lock free between batches, and a scan cut
// short at any moment leaves a consistent database that the next scan
// completes. What could not be stored or read is counted for the window.
//
// Threads: Start, StartCount, Stop, WaitFinished, GetTally and GetCounts
// belong to the window thread, GetBase too while no job runs; while one
// runs, its thread alone uses the database. The stop flag is the only field
// both touch; the results are handed over with the job's end.
#pragma once
#include "kiv/data/Thread.h"
#include "kiv/data/XEvent.h"
#include "kiv/file/FileStamp.h"
#include "kiv/file/Scan.h"
#include "utility/CorvaneLimits.h"
#include "utility/GigaBase.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <unordered_map>
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
    int notStored = 0;       // files the database refused; the next scan tries them
    int unreadable = 0;      // files that could not be read; recorded, read again next scan
    int foldersSkipped = 0;  // folders that could not be opened or lie too deep
    int updated = 0;         // listed files read again because they changed
    int removed = 0;         // rows of files no longer on disk, taken out
    int rootFiles = -1;      // the root's files in the database after the walk; -1 unknown
    // The database could not be used at all: nothing was scanned.
    GigaBase::Problem refused = GigaBase::Problem::kNone;
    std::string problem;     // the database's text for the first refusal
};

// A listed folder's file count; -1 when the database could not say.
struct FolderCount {
    std::string folder;
    int files = -1;
};

class GigaScan : public kiv::thread, public file::Scan {
public:
    GigaScan();
    // Stops a running job and waits for its thread: the walk unwinds and a
    // wait for the database's lock ends at once after the stop flag is set.
    ~GigaScan() override;

    // Window thread. Starts a walk of the folder; false when the folder
    // does not exist or a job still runs (no 'done' follows then). A thread
    // that has posted its 'done' and is finishing is waited for.
    bool Start(const char* rootFolder, ScanEventTarget* queue);
    // Window thread. Opens the database when it is not open (making it when
    // missing) and counts the files of each folder; false while a job runs.
    bool StartCount(const std::vector<std::string>& folders, ScanEventTarget* queue);
    // Any thread: every pending folder and file step returns at once, and
    // the job still posts 'done'.
    void Stop() { m_stop.store(1, std::memory_order_release); }
    // True until the job has ended (before 'done' is posted).
    bool IsWalking() const { return m_walking.load(std::memory_order_acquire); }
    // Waits up to timeoutMs for the scan thread to end; true when none runs.
    bool WaitFinished(int timeoutMs);

    // Window thread, while no job runs (tests open a database of their own).
    GigaBase& GetBase() { return m_base; }
    // Window thread, once a walk has ended (after its 'done').
    const ScanTally& GetTally() const { return m_tally; }
    // Window thread, once a count has ended: the folders' counts, and why
    // the database could not be used (kNone when it could).
    const std::vector<FolderCount>& GetCounts() const { return m_counts; }
    GigaBase::Problem GetCountProblem() const { return m_countProblem; }
    const std::string& GetCountProblemText() const { return m_countProblemText; }

    // Reads a file's keyword and instrument names (for the file's rows,
    // written once the reading is done); true when it ended normally.
    bool ScanGigaFile(const char* path);

protected:
    void Run() override;
    void EnterDirectory(const char* folder, const char* name, const char* fullPath) override;
    void OnFile(const char* folder, const char* name, const char* fullPath) override;
    bool StopWalk() override { return IsStopping(); }

private:
    class Reader;
    enum class Job { kWalk, kCount };
    // Starts the thread on the job that Start or StartCount set up.
    bool Launch(ScanEventTarget* queue);

    // A file read, waiting for its batch.
    struct Pending {
        std::string folder;
        int pathId = -1;   // -1: the folder has no row yet
        std::string name;
        int knownId = -1;  // its file row, or -1 for a new file
        bool unread = false;
        bool stamped = false;
        file::FileStamp stamp;
        std::string keyword;
        std::vector<GigaName> names;
        int fileId = -1;  // once written
    };
    // A file that got its row in this walk, for a renamed file's ratings.
    struct Added {
        int fileId;
        file::FileStamp stamp;
        bool used = false;
    };
    static bool EarlierStamp(const Added& a, const Added& b);

    bool IsStopping() const { return m_stop.load(std::memory_order_acquire) != 0; }
    // Opens the database when it is not; false with the problem kept.
    bool OpenBase();
    void RunWalk();
    void RunCount();
    void Refuse();
    // The path row of the folder being walked when it has one (looked up
    // once), else -1; failed is set when the lookup failed.
    int CurrentPathId(const char* folder, bool& failed);
    // The folder's row, inserted when missing; -1 when it cannot be had.
    int FolderRow(const std::string& folder);
    // The reader's result; an exception reads as a malformed file.
    int ReadFile(const char* path);
    // Batches: a transaction taken with the write lock, for as short a time
    // as the writes take.
    bool OpenBatch();
    void FlushIfDue();
    void Flush();
    bool Write(Pending& file);
    // The transaction was lost: the folders it inserted are gone.
    void ForgetBatchFolders();
    // Takes out the rows of files no longer on disk, once the whole tree
    // was walked: inside the root and inside the place it was walked in
    // last time (a link pointed elsewhere since); then records the place.
    void Sweep();
    // The new file's instruments are the gone file's (names, in order).
    bool SameInstruments(const std::vector<GigaName>& gone, int newId, bool& failed);
    void KeepProblem();

    GigaBase m_base;
    Job m_job = Job::kWalk;
    std::string m_listed;  // the root as listed, ends with the separator
    std::string m_root;    // the root walked (links resolved), ends with the separator
    ScanEventTarget* m_queue = nullptr;
    int m_pathIds[corvane::kPathIdDepth] = {};
    int m_depth = 0;
    std::string m_keyword;          // of the file being read
    std::vector<GigaName> m_names;  // of the file being read
    std::vector<Pending> m_pending;
    std::chrono::steady_clock::time_point m_pendingSince;
    bool m_writeRefused = false;  // the write lock was not had: no more tries this walk
    // Folders inserted in this walk (a new root looks none up), and the
    // ones the open batch inserted.
    std::unordered_map<std::string, int> m_folderIds;
    std::vector<std::string> m_batchFolders;
    std::vector<int> m_seen;  // listed file rows whose files the walk found
    std::vector<Added> m_added;
    ScanTally m_tally;
    std::vector<std::string> m_countFolders;
    std::vector<FolderCount> m_counts;
    GigaBase::Problem m_countProblem = GigaBase::Problem::kNone;
    std::string m_countProblemText;
    std::atomic<uint8_t> m_stop{0};
    std::atomic<bool> m_walking{false};
};
