#include "engine/GigaBankManager.h"

#include <chrono>
#include <cstring>
#include <thread>

#include "engine/GigaBank.h"
#include "engine/GigaDeck.h"
#include "engine/GigaDiskThread.h"
#include "engine/GigaPrefs.h"
#include "engine/GigaTone.h"
#include "kiv/data/FourCC.h"
#include "kiv/file/Dir.h"
#include "kiv/file/Path.h"
#include "kiv/file/Scan.h"

namespace {

std::atomic<GigaBankManager*> g_manager{nullptr};

constexpr int kStartRetries = 1000;  // 1 ms apart: a finishing thread ends by then

void SleepMs(int ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

bool IsSeparator(char c)
{
    return c == '/' || c == '\\';
}

}  // namespace

GigaBankManager::GigaBankManager()
{
    SetName("GigaBankManager");
    GigaBankManager* none = nullptr;
    g_manager.compare_exchange_strong(none, this, std::memory_order_acq_rel);
}

GigaBankManager::~GigaBankManager()
{
    GigaBankManager* self = this;
    g_manager.compare_exchange_strong(self, nullptr, std::memory_order_acq_rel);
    // Library unload: a thread left running in an unloaded library crashes
    // the host, so the pass in progress ends first.
    while (IsRunning())
        SleepMs(giga::kWaitStepMs);
    std::lock_guard<std::recursive_mutex> pass(m_passLock);
    std::lock_guard<std::mutex> cache(m_cacheLock);
    for (int i = 0; i < m_bankCount; ++i) {
        delete m_banks[i];
        m_banks[i] = nullptr;
    }
    m_bankCount = 0;
}

GigaBankManager* GigaBankManager::Get()
{
    return g_manager.load(std::memory_order_acquire);
}

GigaBank* GigaBankManager::GetBank(const char* path)
{
    if (!path || !path[0])
        return nullptr;
    {
        std::lock_guard<std::mutex> cache(m_cacheLock);
        for (int i = 0; i < m_bankCount; ++i) {
            if (strcmp(m_banks[i]->GetPath(), path) == 0) {
                int count = m_banks[i]->Retain();
                Print("GigaBank::Retain(%s) -> %d", path, count);
                return m_banks[i];
            }
        }
        if (m_bankCount >= giga::kBankCacheSize)
            return nullptr;
    }
    // Opening reads the file: outside the cache lock so GetStats never waits on it.
    GigaBank* bank = new GigaBank;
    if (!bank->Open(path)) {
        delete bank;
        return nullptr;
    }
    std::lock_guard<std::mutex> cache(m_cacheLock);
    m_banks[m_bankCount++] = bank;
    int count = bank->Retain();
    Print("GigaBank::Retain(%s) -> %d", path, count);
    return bank;
}

void GigaBankManager::ReleaseBank(GigaBank* bank)
{
    if (!bank)
        return;
    int count = bank->Release();
    bank->Print("GigaBank::Release(%s) -> %d", bank->GetPath(), count);
}

void GigaBankManager::QueuePlayer(GigaDeck* player)
{
    if (!player)
        return;
    std::lock_guard<std::mutex> queue(m_queueLock);
    for (int i = 0, at = m_read; i < m_queued; ++i) {
        at = (at + 1) % giga::kPlayerQueueSize;
        if (m_queue[at] == player)
            return;  // it waits already: its next load takes every request
    }
    if (m_queued >= giga::kPlayerQueueSize - 1) {
        Print("*** GigaBankManager::QueuePlayer() queue full ***");
        return;
    }
    m_write = (m_write + 1) % giga::kPlayerQueueSize;
    m_queue[m_write] = player;
    ++m_queued;
}

void GigaBankManager::QueueTone(GigaTone* tone)
{
    if (tone)
        QueuePlayer(dynamic_cast<GigaDeck*>(tone->GetPlayer()));
}

GigaDeck* GigaBankManager::Dequeue()
{
    std::lock_guard<std::mutex> queue(m_queueLock);
    if (m_queued <= 0)
        return nullptr;
    m_read = (m_read + 1) % giga::kPlayerQueueSize;
    GigaDeck* player = m_queue[m_read];
    m_queue[m_read] = nullptr;
    --m_queued;
    return player;
}

void GigaBankManager::StartLoading(bool search)
{
    {
        std::lock_guard<std::mutex> queue(m_queueLock);
        if (m_queued == 0)
            return;
        if (search)
            m_search = true;
        // The running thread checks the queue again under this lock before it
        // ends, so the request is served.
        if (m_threadBusy)
            return;
        m_threadBusy = true;
    }
    // A thread that has just given up the queue may still be ending, and a
    // start from another thread may still be handing over the thread handle
    // of a pass that has already ended: starts go one at a time.
    std::lock_guard<std::mutex> start(m_startLock);
    for (int i = 0; i < kStartRetries; ++i) {
        if (Start(fourcc("load"), 0))
            return;
        SleepMs(1);
    }
    Print("*** GigaBankManager::StartLoading() thread did not start ***");
    std::lock_guard<std::mutex> queue(m_queueLock);
    m_threadBusy = false;
}

void GigaBankManager::Run()
{
    for (;;) {
        bool search;
        {
            std::lock_guard<std::mutex> queue(m_queueLock);
            search = m_search;
            m_search = false;
        }
        Pass(search);
        std::lock_guard<std::mutex> queue(m_queueLock);
        if (m_queued == 0) {
            m_threadBusy = false;
            return;
        }
    }
}

void GigaBankManager::RunNow(bool search)
{
    Pass(search);
}

std::unique_lock<std::recursive_mutex> GigaBankManager::HoldPasses()
{
    return std::unique_lock<std::recursive_mutex>(m_passLock);
}

bool GigaBankManager::WaitIdle(int timeoutMs)
{
    for (int waited = 0;; waited += giga::kWaitStepMs) {
        {
            std::lock_guard<std::mutex> queue(m_queueLock);
            if (!m_threadBusy && m_queued == 0)
                break;
        }
        if (waited >= timeoutMs)
            return false;
        SleepMs(giga::kWaitStepMs);
    }
    // A RunNow pass may still hold the pass lock.
    std::lock_guard<std::recursive_mutex> pass(m_passLock);
    return true;
}

void GigaBankManager::ForgetPlayer(GigaDeck* player)
{
    {
        std::lock_guard<std::mutex> queue(m_queueLock);
        // Compact the queue without the player, keeping the order.
        GigaDeck* keep[giga::kPlayerQueueSize];
        int kept = 0;
        for (int i = 0, at = m_read; i < m_queued; ++i) {
            at = (at + 1) % giga::kPlayerQueueSize;
            if (m_queue[at] != player)
                keep[kept++] = m_queue[at];
            m_queue[at] = nullptr;
        }
        m_write = m_read;
        m_queued = 0;
        for (int i = 0; i < kept; ++i) {
            m_write = (m_write + 1) % giga::kPlayerQueueSize;
            m_queue[m_write] = keep[i];
            ++m_queued;
        }
    }
    // A pass that took the player before it left the queue finishes first.
    std::lock_guard<std::recursive_mutex> pass(m_passLock);
}

void GigaBankManager::Pass(bool search)
{
    std::lock_guard<std::recursive_mutex> pass(m_passLock);
    Print("GigaBankManager::Pass(%d)", search ? 1 : 0);
    GigaPrefs* prefs = GigaPrefs::Get();
    // A copy: the missing-files window may change the folder meanwhile.
    const std::string folder = search && prefs ? prefs->GetMissingFolder() : std::string();
    if (!folder.empty() && file::FolderExists(folder.c_str()) && !CheckMissingFiles()) {
        m_allFound.store(false, std::memory_order_release);
        SearchFolder(folder.c_str());
    }
    // Requests that arrive while players load are taken in the same pass.
    while (GigaDeck* player = Dequeue())
        player->LoadTones(*this);
    DeleteUnusedBanks();
}

void GigaBankManager::DeleteUnusedBanks()
{
    GigaDiskThread* disk = GigaDiskThread::Get();
    std::unique_lock<std::mutex> streams;
    if (disk)
        streams = disk->LockStreams();
    std::lock_guard<std::mutex> cache(m_cacheLock);
    for (int i = 0; i < m_bankCount;) {
        GigaBank* bank = m_banks[i];
        bool busy = bank->GetRefCount() > 0;
        // A stream still reading one of its files keeps the bank for a later pass.
        for (int f = 0; !busy && disk && f < bank->GetFileCount(); ++f)
            busy = disk->UsesFile(bank->GetGigaFile(f));
        if (busy) {
            ++i;
            continue;
        }
        Print("GigaBankManager delete bank %s", bank->GetPath());
        delete bank;
        for (int j = i; j + 1 < m_bankCount; ++j)
            m_banks[j] = m_banks[j + 1];
        m_banks[--m_bankCount] = nullptr;
    }
}

void GigaBankManager::GetStats(Stats& stats)
{
    stats = Stats();
    std::lock_guard<std::mutex> cache(m_cacheLock);
    stats.banks = m_bankCount;
    for (int i = 0; i < m_bankCount; ++i) {
        GigaBank* bank = m_banks[i];
        for (int p = 0; p < bank->GetProgramCount(); ++p) {
            GigaProgram* program = bank->GetProgram(p);
            if (program && program->GetUseCount() > 0)
                ++stats.programs;
        }
        if (!bank->HasSampleList())
            continue;
        for (int s = 0; s < bank->GetSampleCount(); ++s) {
            GigaSample* sample = bank->GetSample(s);
            if (sample && sample->memory)
                ++stats.samples;
        }
    }
}

int GigaBankManager::GetBankCount()
{
    std::lock_guard<std::mutex> cache(m_cacheLock);
    return m_bankCount;
}

int GigaBankManager::GetQueuedCount()
{
    std::lock_guard<std::mutex> queue(m_queueLock);
    return m_queued;
}

template <typename F>
void GigaBankManager::ForQueuedParts(F&& call)
{
    GigaDeck* players[giga::kPlayerQueueSize];
    int count = 0;
    {
        std::lock_guard<std::mutex> queue(m_queueLock);
        for (int i = 0, at = m_read; i < m_queued; ++i) {
            at = (at + 1) % giga::kPlayerQueueSize;
            if (m_queue[at])
                players[count++] = m_queue[at];
        }
    }
    for (int p = 0; p < count; ++p)
        for (int t = 0; t < giga::kDeckTones; ++t) {
            GigaTone* tone = players[p]->GetGigaTone(t);
            if (!tone)
                continue;
            GigaTone::PartsLock lock = tone->LockParts();
            for (int i = 0; i < tone->GetPartCount(); ++i)
                call(*tone->GetPart(i));
        }
}

bool GigaBankManager::CheckMissingFiles()
{
    bool noneMissing = true;
    ForQueuedParts([&](GigaPart& part) {
        if (part.GetState() != giga::kPartToLoad || part.GetProgramIndex() < 0)
            return;
        const char* path = part.GetPath();
        if (path && file::FileExists(path))
            return;
        part.SetState(giga::kPartMissing);
        noneMissing = false;
    });
    return noneMissing;
}

// Offers every file under the searched folder to MatchFile until all parts
// are found.
class GigaBankManager::FolderWalk : public file::Scan {
public:
    explicit FolderWalk(GigaBankManager& manager) : m_manager(manager) {}

protected:
    void EnterDirectory(const char*, const char*, const char* fullPath) override
    {
        if (Depth() < kMaxSearchDepth)
            Walk(fullPath);
    }
    void OnFile(const char*, const char* name, const char* fullPath) override { m_manager.MatchFile(name, fullPath); }
    bool StopWalk() override { return m_manager.m_allFound.load(std::memory_order_acquire); }

private:
    GigaBankManager& m_manager;
};

void GigaBankManager::SearchFolder(const char* folder)
{
    if (!folder || !folder[0])
        return;
    std::string path(folder);
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    if (path != "/")
        path += '/';
    FolderWalk walk(*this);
    walk.Walk(path.c_str());
}

int GigaBankManager::MatchFile(const char* name, const char* fullPath)
{
    if (!name || !fullPath || !file::IsGigName(name))
        return -1;
    size_t nameLength = strlen(name);
    int stillMissing = 0;
    ForQueuedParts([&](GigaPart& part) {
        if (part.GetState() != giga::kPartMissing)
            return;
        const char* path = part.GetPath();
        size_t length = path ? strlen(path) : 0;
        if (length > nameLength && strcmp(path + length - nameLength, name) == 0 &&
            IsSeparator(path[length - nameLength - 1])) {
            part.SetPath(fullPath);
            return;
        }
        ++stillMissing;
    });
    if (stillMissing == 0)
        m_allFound.store(true, std::memory_order_release);
    return stillMissing;
}
