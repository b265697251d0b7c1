#include "utility/GigaScan.h"

#include "kiv/file/Dir.h"
#include "utility/GigaNameReader.h"

#include <chrono>
#include <cstring>
#include <strings.h>
#include <thread>

namespace {

// A name of at least one character before ".gig", the letters in any case.
bool IsGigName(const char* name)
{
    size_t n = strlen(name);
    return n >= 5 && name[n - 4] == '.' && strcasecmp(name + n - 3, "gig") == 0;
}

}  // namespace

// Hands what the name reader finds to the current file row.
class GigaScan::Reader : public GigaNameReader {
public:
    explicit Reader(GigaScan& scan) : m_scan(scan) {}

protected:
    void OnKeyword(const char* keyword) override { m_scan.m_base.SetKeyword(m_scan.m_fileId, keyword); }
    void OnInstrument(const char* name, int position) override
    {
        m_scan.m_base.InsertInstrument(m_scan.m_fileId, name, position);
    }

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
    m_fileId = -1;
    try {
        Walk(m_root.c_str());
    } catch (...) {
        // The walk ends; 'done' is still posted.
    }
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
    // Every walked level has its own path id; deeper folders are left out.
    if (m_depth >= corvane::kPathIdDepth)
        return;
    m_pathIds[m_depth++] = -1;
    Walk(fullPath);
    --m_depth;
}

int GigaScan::CurrentPathId(const char* folder)
{
    int& pathId = m_pathIds[m_depth - 1];
    if (pathId >= 0)
        return pathId;
    pathId = m_base.FindPath(folder);
    // After a failed lookup an insert could list the folder twice.
    if (pathId < 0 && !m_base.LookupFailed())
        pathId = m_base.InsertPath(folder);
    return pathId;
}

void GigaScan::OnFile(const char* folder, const char* name, const char* fullPath)
{
    if (IsStopping() || !IsGigName(name))
        return;
    // Rows under a folder or file row that could not be written would hang
    // under the id -1 where no search finds them.
    int pathId = CurrentPathId(folder);
    if (pathId < 0)
        return;
    if (m_base.FindFile(pathId, name) >= 0 || m_base.LookupFailed())
        return;
    if (!m_base.Begin())
        return;
    m_fileId = m_base.InsertFile(pathId, name);
    if (m_fileId < 0) {
        m_base.RollBack();
        return;
    }
    ScanGigaFile(fullPath);
    // Counted once its rows are in the database.
    if (m_base.Commit() && m_queue)
        m_queue->PostEvent(XEvent{static_cast<int32_t>(corvane::kEventNewFile), 0, 0});
}

bool GigaScan::ScanGigaFile(const char* path)
{
    Reader reader(*this);
    try {
        return reader.ReadGigaFile(path) == GigaNameReader::kRead;
    } catch (...) {
        return false;
    }
}
