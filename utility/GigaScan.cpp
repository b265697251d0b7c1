#include "utility/GigaScan.h"

#include "kiv/file/Dir.h"
#include "kiv/file/Path.h"
#include "utility/GigaNameReader.h"

#include <algorithm>
#include <chrono>
#include <cstring>
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

GigaScan::GigaScan()
{
    SetName("corvane scan");
    // Every wait for another program's lock ends when the scan is stopped.
    m_base.SetBusyWait(kiv::kDbBusyTimeoutMs, &m_stop);
}

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
    // The database and the walk's state belong to a running job.
    if (IsWalking() || !WaitFinished(corvane::kFinishWaitMs))
        return false;
    m_job = Job::kWalk;
    // The path as given (blanks at its end belong to the folder's name).
    m_listed = rootFolder;
    m_tally = ScanTally();
    return Launch(queue);
}

bool GigaScan::Launch(ScanEventTarget* queue)
{
    m_queue = queue;
    m_stop.store(0, std::memory_order_release);
    m_walking.store(true, std::memory_order_release);
    if (!kiv::thread::Start(corvane::kScanThreadCode, 0)) {
        m_walking.store(false, std::memory_order_release);
        return false;
    }
    return true;
}

bool GigaScan::StartCount(const std::vector<std::string>& folders, ScanEventTarget* queue)
{
    if (IsWalking() || !WaitFinished(corvane::kFinishWaitMs))
        return false;
    m_job = Job::kCount;
    m_countFolders = folders;
    m_counts.clear();
    m_countProblem = GigaBase::Problem::kNone;
    m_countProblemText.clear();
    return Launch(queue);
}

void GigaScan::Run()
{
    try {
        if (m_job == Job::kCount)
            RunCount();
        else
            RunWalk();
    } catch (...) {
        // The job ends; what it committed is kept and 'done' still posted.
        m_base.RollBack();
        m_pending.clear();
    }
    ScanEventTarget* queue = m_queue;
    // Cleared first, so the window's next Start, run from this 'done', does
    // not see a job in progress.
    m_walking.store(false, std::memory_order_release);
    if (queue)
        queue->PostEvent(XEvent{static_cast<int32_t>(corvane::kEventDone), 0, 0});
}

bool GigaScan::OpenBase() { return m_base.IsOpen() || m_base.Open(); }

void GigaScan::Refuse()
{
    m_tally.refused = m_base.GetProblem();
    if (m_tally.refused == GigaBase::Problem::kNone)
        m_tally.refused = GigaBase::Problem::kOther;
    m_tally.problem = m_base.GetProblemText();
}

void GigaScan::RunCount()
{
    if (!OpenBase()) {
        m_countProblem = m_base.GetProblem();
        m_countProblemText = m_base.GetProblemText();
        return;
    }
    for (const std::string& folder : m_countFolders) {
        // Once the database would not answer, the others would only wait
        // as long again.
        if (IsStopping() || m_countProblem != GigaBase::Problem::kNone) {
            m_counts.push_back({folder, -1});
            continue;
        }
        int root = m_base.FindRoot(folder.c_str());
        int files = m_base.LookupFailed() ? -1 : m_base.CountRootFiles(root);
        if (files < 0) {
            m_countProblem = m_base.GetProblem();
            m_countProblemText = m_base.GetProblemText();
        }
        m_counts.push_back({folder, files});
    }
}

void GigaScan::RunWalk()
{
    if (!OpenBase()) {
        Refuse();
        return;
    }
    // A root reached through a link is walked where it really is, so two
    // names of one folder list its files once.
    m_root = file::RealFolder(m_listed.c_str());
    if (m_root.empty()) {
        ++m_tally.foldersSkipped;
        return;
    }
    if (!m_base.CheckWritable() || !m_base.MakeAdditions() || !m_base.UseRoot(m_listed.c_str(), m_root.c_str())) {
        Refuse();
        return;
    }
    m_listed = GigaBase::FolderPrefix(m_listed.c_str());
    m_depth = 1;
    m_pathIds[0] = -1;
    m_pending.clear();
    m_writeRefused = false;
    m_folderIds.clear();
    m_batchFolders.clear();
    m_seen.clear();
    m_added.clear();
    if (!Walk(m_root.c_str()))
        ++m_tally.foldersSkipped;
    Flush();
    // Only a walk of the whole tree knows which listed files it missed.
    if (!IsStopping() && !m_writeRefused)
        Sweep();
    if (!IsStopping())
        m_tally.rootFiles = m_base.CountFilesInside(m_root.c_str());
}

void GigaScan::EnterDirectory(const char*, const char*, const char* fullPath)
{
    if (IsStopping())
        return;
    FlushIfDue();
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

int GigaScan::CurrentPathId(const char* folder, bool& failed)
{
    failed = false;
    int& pathId = m_pathIds[m_depth - 1];
    if (pathId >= 0)
        return pathId;
    auto inserted = m_folderIds.find(folder);
    if (inserted != m_folderIds.end())
        return pathId = inserted->second;
    int found = m_base.FindPath(folder);
    failed = m_base.LookupFailed();
    if (found >= 0)
        pathId = found;
    return found;
}

void GigaScan::OnFile(const char* folder, const char* name, const char* fullPath)
{
    if (IsStopping() || !file::IsGigName(name))
        return;
    FlushIfDue();
    file::FileStamp stamp;
    file::FileState state = file::StampOf(fullPath, stamp);
    if (state == file::FileState::kGone)
        return;  // gone since its folder was listed
    bool failed = false;
    int pathId = CurrentPathId(folder, failed);
    GigaKnownFile known;
    if (!failed && pathId >= 0) {
        m_base.FindFile(pathId, name, &known);
        failed = m_base.LookupFailed();
    }
    // A lookup that failed says nothing about the row: writing then could
    // list the file twice.
    if (failed) {
        KeepProblem();
        ++m_tally.notStored;
        return;
    }
    if (known.id >= 0) {
        m_seen.push_back(known.id);
        // Unchanged since it was read: nothing to do. A file that could not
        // be read, or one listed without a stamp, is read again.
        if (known.version != corvane::kFileVersionUnread && known.stamped && state == file::FileState::kFile &&
            known.stamp == stamp)
            return;
    }
    // Read with no lock held; written with its batch.
    int result = ReadFile(fullPath);
    Pending file;
    file.folder = folder;
    file.pathId = pathId;
    file.name = name;
    file.knownId = known.id;
    file.unread = result == GigaNameReader::kCannotOpen || result == GigaNameReader::kTruncated;
    file.stamped = state == file::FileState::kFile;
    file.stamp = stamp;
    file.keyword = std::move(m_keyword);
    file.names = std::move(m_names);
    if (m_pending.empty())
        m_pendingSince = std::chrono::steady_clock::now();
    m_pending.push_back(std::move(file));
    FlushIfDue();
}

void GigaScan::FlushIfDue()
{
    if (m_pending.empty())
        return;
    if (static_cast<int>(m_pending.size()) >= corvane::kBatchFiles ||
        std::chrono::steady_clock::now() - m_pendingSince >= std::chrono::milliseconds(corvane::kBatchMs))
        Flush();
}

bool GigaScan::OpenBatch()
{
    if (m_writeRefused)
        return false;
    // Begin waits the busy time for another program's write lock.
    for (int attempt = 0; attempt < corvane::kWriteAttempts; ++attempt) {
        if (m_base.Begin())
            return true;
        if (!m_base.IsBusyError() || IsStopping())
            break;
    }
    // Every further batch would wait as long again: this walk stores no
    // more, and the window says how many files were left for the next.
    KeepProblem();
    m_writeRefused = true;
    return false;
}

void GigaScan::Flush()
{
    size_t next = 0;
    while (next < m_pending.size()) {
        if (!OpenBatch()) {
            m_tally.notStored += static_cast<int>(m_pending.size() - next);
            break;
        }
        const size_t first = next;
        bool lost = false;
        for (; next < m_pending.size() && !lost; ++next) {
            Pending& file = m_pending[next];
            size_t folders = m_batchFolders.size();
            if (m_base.BeginFile() && Write(file) && m_base.EndFile(true))
                continue;
            // The file's rows are all taken back, the folder it inserted too.
            KeepProblem();
            m_base.EndFile(false);
            file.fileId = -1;
            for (size_t i = folders; i < m_batchFolders.size(); ++i)
                m_folderIds.erase(m_batchFolders[i]);
            m_batchFolders.resize(folders);
            // SQLite may have ended the whole transaction (a full disk).
            lost = !m_base.InTransaction();
        }
        if (lost || !m_base.Commit()) {
            KeepProblem();
            m_base.RollBack();
            ForgetBatchFolders();
            m_tally.notStored += static_cast<int>(next - first);
            continue;
        }
        m_batchFolders.clear();
        for (size_t i = first; i < next; ++i) {
            const Pending& file = m_pending[i];
            if (file.fileId < 0) {
                ++m_tally.notStored;
                continue;
            }
            m_tally.unreadable += file.unread ? 1 : 0;
            if (file.knownId >= 0) {
                m_tally.updated += file.unread ? 0 : 1;
                continue;
            }
            // Counted once their rows are in the database.
            m_seen.push_back(file.fileId);
            if (file.stamped && !file.unread)
                m_added.push_back({file.fileId, file.stamp});
            if (m_queue)
                m_queue->PostEvent(XEvent{static_cast<int32_t>(corvane::kEventNewFile), 0, 0});
        }
    }
    m_pending.clear();
}

int GigaScan::FolderRow(const std::string& folder)
{
    auto known = m_folderIds.find(folder);
    if (known != m_folderIds.end())
        return known->second;
    int id = m_base.FindPath(folder.c_str());
    if (id < 0 && m_base.LookupFailed())
        return -1;
    if (id < 0) {
        id = m_base.InsertPath(folder.c_str());
        if (id < 0)
            return -1;
        m_batchFolders.push_back(folder);
    }
    m_folderIds[folder] = id;
    return id;
}

bool GigaScan::Write(Pending& file)
{
    int pathId = file.pathId >= 0 ? file.pathId : FolderRow(file.folder);
    if (pathId < 0)
        return false;
    int version = file.unread ? corvane::kFileVersionUnread : corvane::kFileVersion;
    int id = file.knownId;
    if (id < 0) {
        id = m_base.InsertFile(pathId, file.name.c_str(), version, file.keyword.c_str());
        if (id < 0 || !m_base.InsertInstruments(id, file.names))
            return false;
    } else if (file.unread) {
        // Not readable now (being copied?): what it listed stays until the
        // next scan reads it.
        if (!m_base.SetVersion(id, version))
            return false;
    } else if (!m_base.UpdateFile(id, version, file.keyword.c_str()) || !m_base.ReplaceInstruments(id, file.names)) {
        return false;
    }
    if (!file.unread && file.stamped && !m_base.SetStamp(id, file.stamp))
        return false;
    file.fileId = id;
    return true;
}

void GigaScan::ForgetBatchFolders()
{
    for (const std::string& folder : m_batchFolders)
        m_folderIds.erase(folder);
    m_batchFolders.clear();
    for (int level = 0; level < m_depth; ++level)
        m_pathIds[level] = -1;
    // Folders of earlier batches keep their rows: finding them again takes
    // a lookup, even under a new root.
    m_base.LookEveryRowUp();
}

bool GigaScan::EarlierStamp(const Added& a, const Added& b)
{
    return a.stamp.size != b.stamp.size ? a.stamp.size < b.stamp.size : a.stamp.modifiedNs < b.stamp.modifiedNs;
}

bool GigaScan::SameInstruments(const std::vector<GigaName>& gone, int newId, bool& failed)
{
    std::vector<GigaName> names;
    failed = !m_base.ReadNames(newId, names);
    if (failed || names.size() != gone.size())
        return false;
    for (size_t i = 0; i < names.size(); ++i) {
        if (names[i].name != gone[i].name || names[i].position != gone[i].position)
            return false;
    }
    return true;
}

void GigaScan::Sweep()
{
    // The rows of the whole tree: under the folder walked, and under the
    // name it was listed by when that differs (rows an earlier scan made
    // through the link).
    m_base.LookEveryRowUp();
    const bool throughLink = m_listed != m_root;
    const int rootId = m_base.GetRootId();
    // Where the root was walked last: a link pointed elsewhere since then
    // left its old target's rows, which no walk reaches any more. Only the
    // root's own rows there are looked at (another root may still walk them).
    bool failed = false;
    const std::string before = m_base.FindRootPlace(rootId, failed);
    const bool moved = !before.empty() && before != m_root && before != m_listed;
    std::vector<GigaListedFile> rows;
    if (failed || !m_base.ListFilesInside(m_root.c_str(), rows) ||
        (throughLink && !m_base.ListFilesInside(m_listed.c_str(), rows)) ||
        (moved && !m_base.ListFilesInside(before.c_str(), rows, rootId))) {
        KeepProblem();
        return;
    }
    // The places may lie inside one another: each row once.
    std::sort(rows.begin(), rows.end(), [](const GigaListedFile& a, const GigaListedFile& b) { return a.id < b.id; });
    rows.erase(std::unique(rows.begin(), rows.end(),
                           [](const GigaListedFile& a, const GigaListedFile& b) { return a.id == b.id; }),
               rows.end());
    std::sort(m_seen.begin(), m_seen.end());
    std::sort(m_added.begin(), m_added.end(), EarlierStamp);
    struct Removal {
        int id;
        int into;  // the row that takes its ratings, or -1
    };
    std::vector<Removal> removals;
    for (const GigaListedFile& row : rows) {
        if (IsStopping())
            return;
        if (std::binary_search(m_seen.begin(), m_seen.end(), row.id))
            continue;
        // The same file as one the walk found (listed through the link, or
        // a second row an earlier build made): one row is enough.
        std::string walked = row.folder;
        if (throughLink && row.folder.compare(0, m_listed.size(), m_listed) == 0)
            walked = m_root + row.folder.substr(m_listed.size());
        int pathId = m_base.FindPath(walked.c_str());
        int same = pathId >= 0 ? m_base.FindFile(pathId, row.name.c_str()) : -1;
        if (same >= 0 && same != row.id) {
            removals.push_back({row.id, same});
            continue;
        }
        file::FileStamp stamp;
        if (file::StampOf((row.folder + row.name).c_str(), stamp) != file::FileState::kGone)
            continue;  // still there, or the system would not say
        // Renamed or moved in the tree: a file new to this walk with the
        // same size and time and the same instruments, which then take over
        // the ratings. Files unpacked together often share size and time, so
        // these alone would pair two renamed files crosswise.
        int into = -1;
        if (row.stamped) {
            auto match = std::equal_range(m_added.begin(), m_added.end(), Added{-1, row.stamp}, EarlierStamp);
            std::vector<GigaName> names;
            bool named = false;
            for (auto added = match.first; added != match.second && into < 0; ++added) {
                if (added->used)
                    continue;
                bool lost = !named && !m_base.ReadNames(row.id, names);
                named = true;
                if (!lost && SameInstruments(names, added->fileId, lost)) {
                    added->used = true;
                    into = added->fileId;
                }
                // Taken out unmatched, the ratings would be lost for good.
                if (lost) {
                    KeepProblem();
                    return;
                }
            }
        }
        removals.push_back({row.id, into});
    }
    // In batches like the writes, each file's rows all or none.
    for (size_t next = 0; next < removals.size();) {
        if (!OpenBatch())
            return;
        size_t end = std::min(removals.size(), next + static_cast<size_t>(corvane::kBatchFiles));
        size_t first = next;
        bool ok = true;
        for (; next < end && ok; ++next) {
            const Removal& removal = removals[next];
            ok = (removal.into < 0 || m_base.CarryRatings(removal.id, removal.into)) && m_base.RemoveFile(removal.id);
        }
        if (ok && next == removals.size())
            ok = m_base.RemoveEmptyFolders(m_root.c_str()) &&
                 (!throughLink || m_base.RemoveEmptyFolders(m_listed.c_str())) &&
                 (!moved || m_base.RemoveEmptyFolders(before.c_str()));
        if (!ok || !m_base.Commit()) {
            KeepProblem();
            m_base.RollBack();
            return;
        }
        m_tally.removed += static_cast<int>(next - first);
    }
    // The tree is clean: the place walked now is the one to check next time.
    if (before == m_root || !OpenBatch())
        return;
    if (!m_base.SetRootPlace(rootId, m_root.c_str()) || !m_base.Commit()) {
        KeepProblem();
        m_base.RollBack();
    }
}

void GigaScan::KeepProblem()
{
    if (m_tally.problem.empty() && m_base.GetError()[0])
        m_tally.problem = m_base.GetProblemText();
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
