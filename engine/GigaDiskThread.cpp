// PushVoice runs on the audio thread: it never allocates, locks or waits.
#include "engine/GigaDiskThread.h"

#include <chrono>
#include <thread>

#include "engine/GigaBankManager.h"
#include "engine/GigaStream.h"
#include "engine/GigaVoice.h"
#include "kiv/data/FourCC.h"

namespace {

std::atomic<GigaDiskThread*> g_diskThread{nullptr};

constexpr uint32_t kRingMask = giga::kDiskRingEntries - 1;
constexpr int kUnloadWaitMs = 10000;  // for a loader pass at library unload

void SleepMs(int ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

}  // namespace

GigaDiskThread::GigaDiskThread()
{
    SetName("GigaDiskThread");
    GigaDiskThread* none = nullptr;
    if (g_diskThread.compare_exchange_strong(none, this, std::memory_order_acq_rel))
        GigaHooks::SetDiskUsers(this);
}

GigaDiskThread::~GigaDiskThread()
{
    // Library unload destroys this object before the bank manager: a loader
    // pass still running (it takes this object's stream lock and user count)
    // ends first, and nothing finds this object afterwards.
    if (GigaBankManager* manager = GigaBankManager::Get())
        if (!manager->WaitIdle(kUnloadWaitMs))
            Print("*** GigaDiskThread::~GigaDiskThread() loader still busy ***");
    GigaDiskThread* self = this;
    if (g_diskThread.compare_exchange_strong(self, nullptr, std::memory_order_acq_rel))
        GigaHooks::SetDiskUsers(nullptr);
    m_quit.store(true, std::memory_order_release);
    WaitStopped();
    {
        std::lock_guard<std::mutex> guard(m_lock);
        EmptyActiveList();
    }
}

GigaDiskThread* GigaDiskThread::Get()
{
    return g_diskThread.load(std::memory_order_acquire);
}

void GigaDiskThread::AddUser()
{
    std::lock_guard<std::mutex> guard(m_userLock);
    if (m_users.fetch_add(1, std::memory_order_acq_rel) != 0)
        return;
    // A previous run always ended before its last user went (RemoveUser waits).
    WaitStopped();
    m_quit.store(false, std::memory_order_release);
    // Voices may offer themselves as soon as the program is in use.
    m_accepting.store(true, std::memory_order_seq_cst);
    Print("GigaDiskThread::Start()");
    if (!Start(fourcc("disk"), 0))
        StopAccepting();
}

void GigaDiskThread::RemoveUser()
{
    std::lock_guard<std::mutex> guard(m_userLock);
    int was = m_users.load(std::memory_order_acquire);
    if (was <= 0)
        return;  // unbalanced release: nothing to stop
    m_users.store(was - 1, std::memory_order_release);
    if (was == 1)
        WaitStopped();
}

void GigaDiskThread::WaitPasses(int n)
{
    if (!IsRunning())
        return;
    m_passes.store(n, std::memory_order_release);
    while (IsRunning() && m_passes.load(std::memory_order_acquire) > 0)
        SleepMs(giga::kWaitStepMs);
}

void GigaDiskThread::WaitStopped()
{
    while (IsRunning())
        SleepMs(giga::kWaitStepMs);
}

bool GigaDiskThread::PushVoice(GigaVoice* voice, GigaSample* sample, uint32_t generation, int64_t startFrame,
                               int64_t blockFrames) noexcept
{
    if (!voice || !sample)
        return false;
    // The busy flag serialises the audio threads of all plug-in instances; a
    // producer that finds it set gives up and tries on its next block.
    if (m_busy.exchange(true, std::memory_order_seq_cst))
        return false;
    bool pushed = false;
    if (m_accepting.load(std::memory_order_seq_cst)) {
        uint32_t w = m_write.load(std::memory_order_relaxed);
        uint32_t r = m_read.load(std::memory_order_acquire);
        if (((w - r) & kRingMask) != kRingMask) {
            m_ring[w] = Request{voice, sample, generation, startFrame, blockFrames};
            m_write.store((w + 1) & kRingMask, std::memory_order_release);
            pushed = true;
        }
    }
    m_busy.store(false, std::memory_order_release);
    return pushed;
}

bool GigaDiskThread::UsesFile(const GigaFile* file) const
{
    for (GigaStream* s = m_head; s; s = s->next)
        if (s->GetFile() == file)
            return true;
    uint32_t r = m_read.load(std::memory_order_acquire);
    uint32_t w = m_write.load(std::memory_order_acquire);
    for (; r != w; r = (r + 1) & kRingMask)
        if (GigaStream::FileOf(m_ring[r].sample) == file)
            return true;
    return false;
}

void GigaDiskThread::Run()
{
    Print("GigaDiskThread::Run()");
    while (m_users.load(std::memory_order_acquire) > 0 && !m_quit.load(std::memory_order_acquire)) {
        int passes = m_passes.load(std::memory_order_acquire);
        while (passes > 0 &&
               !m_passes.compare_exchange_weak(passes, passes - 1, std::memory_order_acq_rel)) {
        }
        bool hadStreams;
        {
            std::lock_guard<std::mutex> guard(m_lock);
            TakeVoices();
            hadStreams = WalkStreams();
        }
        SleepMs(hadStreams ? giga::kDiskSleepBusyMs : giga::kDiskSleepIdleMs);
    }
    StopAccepting();
    {
        std::lock_guard<std::mutex> guard(m_lock);
        EmptyActiveList();
    }
    m_passes.store(0, std::memory_order_release);
    Print("GigaDiskThread::Run() done");
}

void GigaDiskThread::TakeVoices()
{
    uint32_t r = m_read.load(std::memory_order_relaxed);
    uint32_t w = m_write.load(std::memory_order_acquire);
    while (r != w) {
        Request q = m_ring[r];
        r = (r + 1) & kRingMask;
        // A voice that ended (or started another note) since its push no
        // longer waits with this generation: no stream for it.
        if (!q.voice->IsWaitingForStream(q.generation))
            continue;
        GigaStream* stream = GigaStream::TakeFor(q.sample);
        if (!stream) {
            q.voice->DeclineStream(q.generation);
            continue;
        }
        if (!stream->Start(q.sample, q.startFrame, q.blockFrames)) {
            stream->Recycle();
            q.voice->DeclineStream(q.generation);
            continue;
        }
        if (!q.voice->AttachStream(stream, q.generation)) {
            stream->Recycle();
            continue;
        }
        Append(stream);
    }
    m_read.store(r, std::memory_order_release);
}

bool GigaDiskThread::WalkStreams()
{
    bool hadStreams = m_head != nullptr;
    GigaStream* prev = nullptr;
    GigaStream* s = m_head;
    while (s) {
        GigaStream* next = s->next;
        if (s->IsFinished()) {
            if (prev)
                prev->next = next;
            else
                m_head = next;
            if (m_tail == s)
                m_tail = prev;
            s->next = nullptr;
            s->Recycle();
            m_activeCount.fetch_sub(1, std::memory_order_acq_rel);
        } else {
            s->Refill(m_left, m_right);
            prev = s;
        }
        s = next;
    }
    return hadStreams;
}

void GigaDiskThread::StopAccepting()
{
    m_accepting.store(false, std::memory_order_seq_cst);
    // A producer that saw the flag still set finishes its push first.
    while (m_busy.load(std::memory_order_seq_cst))
        std::this_thread::yield();
    // Voices left waiting get no stream; their fetch ends them.
    m_read.store(m_write.load(std::memory_order_acquire), std::memory_order_release);
}

void GigaDiskThread::EmptyActiveList()
{
    GigaStream* s = m_head;
    m_head = m_tail = nullptr;
    while (s) {
        GigaStream* next = s->next;
        s->next = nullptr;
        s->SetFinished();
        s->Recycle();
        s = next;
    }
    m_activeCount.store(0, std::memory_order_release);
}

void GigaDiskThread::Append(GigaStream* stream)
{
    stream->next = nullptr;
    if (m_tail)
        m_tail->next = stream;
    else
        m_head = stream;
    m_tail = stream;
    m_activeCount.fetch_add(1, std::memory_order_acq_rel);
}
