#include "utility/GigaScan.h"

#include "kiv/file/Dir.h"
#include "kiv/file/Path.h"
#include "utility/GigaNameReader.h"

#include <chrono>
#include <cstring>
#include <strings.h>
#include <thread>

// Collects what the name reader finds for the file being read.
class GigaScan::Reader : public GigaNameReader {
public:
    explicit Reader(GigaScan& scan) : m_scan(scan) {}

protected:
    void OnKeyword(const char* keyword) override { m_scan.m_keyword = keyword; }
    void OnInstrument(const char* name, int position) override { m_scan.m_names.push_back({name, position}); }

private:
    GigaScan& m_scan;
};

GigaScan::GigaScan() { SetName("corvane scan"); }

GigaScan::~GigaScan()
{
    Stop();
    // The thread uses this object to its last step, so it must end first.
    while (!WaitFinished(corvane::kFinishWaitMs)) {
    }
}

bool GigaScan::WaitFinished(int timeoutMs)
{
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (IsRunning()) {
        if (std::chrono::steady_clock::now() >= until)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

bool GigaScan::Start(const char* rootFolder, ScanEventTarget* queue)
{
    if (!rootFolder || !file::FolderExists(rootFolder))
        return false;
    // The database and the walk's state belong to a running walk.
    if (IsWalking() || !WaitFinished(corvane::kFinishWaitMs))
        return false;
    // The path as given (blanks at its end belong to the folder's name),
    // ended with the separator.
    m_root = rootFolder;
    if (m_root.back() != '/')
        m_root += '/';
    m_queue = queue;
    if (!m_base.UseRoot(rootFolder))
        return false;
    m_tally = ScanTally();
    m_writeRefused = false;
    m_batchOpen = false;
    m_batchFiles = m_batchNew = m_batchUnread = 0;
    m_stop.store(0, std::memory_order_release);
    m_walking.store(true, std::memory_order_release);
    if (!kiv::thread::Start(corvane::kScanThreadCode, 0)) {
        m_walking.store(false, std::memory_order_release);
        return false;
    }
    return true;
}

void GigaScan::Run()
{
    m_depth = 1;
    m_pathIds[0] = -1;
    try {
        if (!Walk(m_root.c_str()))
            ++m_tally.foldersSkipped;
    } catch (...) {
        // The walk ends; what it found is still committed and 'done' posted.
    }
    CommitBatch();
    ScanEventTarget* queue = m_queue;
    // Cleared first, so the window's next Start, run from this 'done', does
    // not see a walk in progress.
    m_walking.store(false, std::memory_order_release);
    if (queue)
        queue->PostEvent(XEvent{static_cast<int32_t>(corvane::kEventDone), 0, 0});
}

void GigaScan::EnterDirectory(const char*, const char*, const char* fullPath)
{
    if (IsStopping())
        return;
    CommitIfDue();
    // Every walked level has its own path id; deeper folders are left out.
    if (m_depth >= corvane::kPathIdDepth) {
        ++m_tally.foldersSkipped;
        return;
    }
    m_pathIds[m_depth++] = -1;
    if (!Walk(fullPath))
        ++m_tally.foldersSkipped;
    --m_depth;
}

int GigaScan::CurrentPathId(const char* folder)
{
    int& pathId = m_pathIds[m_depth - 1];
    if (pathId >= 0)
        return pathId;
    pathId = m_base.FindPath(folder);
    if (pathId >= 0)
        return pathId;
    // After a failed lookup an insert could list the folder twice.
    if (m_base.LookupFailed()) {
        KeepProblem();
        return -1;
    }
    if (!OpenBatch())
        return -1;
    int inserted = m_base.InsertPath(folder);
    if (inserted < 0) {
        KeepProblem();
        if (!m_base.InTransaction())
            LoseBatch();
        return -1;
    }
    pathId = inserted;
    return pathId;
}

void GigaScan::OnFile(const char* folder, const char* name, const char* fullPath)
{
    if (IsStopping() || !file::IsGigName(name))
        return;
    CommitIfDue();
    // Rows under a folder or file row that could not be written would hang
    // under the id -1 where no search finds them.
    int pathId = CurrentPathId(folder);
    if (pathId < 0) {
        ++m_tally.notStored;
        return;
    }
    int version = -1;
    int knownId = m_base.FindFile(pathId, name, &version);
    if (m_base.LookupFailed()) {
        KeepProblem();
        ++m_tally.notStored;
        return;
    }
    // A file read before is left alone; one that could not be read is read
    // again into its row (which holds no instruments: an unreadable file
    // gives none).
    bool again = knownId >= 0;
    if (again && version != corvane::kFileVersionUnread)
        return;
    if (!OpenBatch()) {
        ++m_tally.notStored;
        return;
    }
    // Read first, then written in a few statements.
    int result = ReadFile(fullPath);
    bool unread = result == GigaNameReader::kCannotOpen || result == GigaNameReader::kTruncated;
    if (!m_base.BeginFile()) {
        KeepProblem();
        ++m_tally.notStored;
        return;
    }
    if (!StoreFile(pathId, name, knownId, unread)) {
        KeepProblem();
        m_base.EndFile(false);
        ++m_tally.notStored;
        if (!m_base.InTransaction())
            LoseBatch();
        return;
    }
    ++m_batchFiles;
    m_batchNew += again ? 0 : 1;
    m_batchUnread += unread ? 1 : 0;
    CommitIfDue();
}

bool GigaScan::StoreFile(int pathId, const char* name, int knownId, bool unread)
{
    int version = unread ? corvane::kFileVersionUnread : corvane::kFileVersion;
    int fileId = knownId;
    if (knownId < 0)
        fileId = m_base.InsertFile(pathId, name, version, m_keyword.c_str());
    else if (!m_base.UpdateFile(knownId, version, m_keyword.c_str()))
        return false;
    // The file's rows stop at the first failure and are all taken back.
    return fileId >= 0 && m_base.InsertInstruments(fileId, m_names) && m_base.EndFile(true);
}

void GigaScan::KeepProblem()
{
    if (m_tally.problem.empty() && m_base.GetError()[0])
        m_tally.problem = m_base.GetError();
}

bool GigaScan::OpenBatch()
{
    if (m_batchOpen)
        return true;
    if (m_writeRefused)
        return false;
    // Begin waits the busy timeout for another program's write lock.
    for (int attempt = 0; attempt < corvane::kWriteAttempts; ++attempt) {
        if (m_base.Begin()) {
            m_batchOpen = true;
            m_batchFiles = m_batchNew = m_batchUnread = 0;
            m_batchStart = std::chrono::steady_clock::now();
            return true;
        }
        if (!m_base.IsBusyError())
            break;
    }
    // Every further file would wait as long again: this walk stores no
    // more, and the window says how many files were left for the next.
    KeepProblem();
    m_writeRefused = true;
    return false;
}

void GigaScan::CommitIfDue()
{
    if (!m_batchOpen)
        return;
    if (m_batchFiles >= corvane::kBatchFiles ||
        std::chrono::steady_clock::now() - m_batchStart >= std::chrono::milliseconds(corvane::kBatchMs))
        CommitBatch();
}

void GigaScan::CommitBatch()
{
    if (!m_batchOpen)
        return;
    if (!m_base.Commit()) {
        KeepProblem();
        LoseBatch();
        return;
    }
    m_batchOpen = false;
    m_tally.unreadable += m_batchUnread;
    // Counted once their rows are in the database.
    for (int i = 0; i < m_batchNew && m_queue; ++i)
        m_queue->PostEvent(XEvent{static_cast<int32_t>(corvane::kEventNewFile), 0, 0});
    m_batchFiles = m_batchNew = m_batchUnread = 0;
}

void GigaScan::LoseBatch()
{
    m_base.RollBack();
    m_batchOpen = false;
    m_tally.notStored += m_batchFiles;
    m_batchFiles = m_batchNew = m_batchUnread = 0;
    for (int level = 0; level < m_depth; ++level)
        m_pathIds[level] = -1;
    // Folders of earlier batches keep their rows: finding them again takes
    // a lookup, even under a new root.
    m_base.LookEveryRowUp();
}

bool GigaScan::ScanGigaFile(const char* path) { return ReadFile(path) == GigaNameReader::kRead; }

int GigaScan::ReadFile(const char* path)
{
    m_keyword.clear();
    m_names.clear();
    Reader reader(*this);
    try {
        return reader.ReadGigaFile(path);
    } catch (...) {
        return GigaNameReader::kMalformed;
    }
}
