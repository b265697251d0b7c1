#include "kiv/data/Thread.h"

#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <new>
#include <system_error>

namespace {

// pthread names hold 15 characters and the NUL.
using ThreadName = std::array<char, 16>;

// The nice value for the thread priority steps -2..2 (lowest to highest),
// relative to the creator's.
// Raising priority needs privileges; without them the thread runs at normal.
int NiceOffset(int priority)
{
    switch (priority) {
    case -2: return 10;
    case -1: return 5;
    case 1: return -5;
    case 2: return -10;
    default: return 0;
    }
}

void ApplyToCurrentThread(const ThreadName& name, int priority)
{
    if (name[0])
        pthread_setname_np(pthread_self(), name.data());
    int offset = NiceOffset(priority);
    if (offset == 0)
        return;
    pid_t tid = static_cast<pid_t>(syscall(SYS_gettid));
    errno = 0;
    int current = getpriority(PRIO_PROCESS, tid);
    if (current == -1 && errno != 0)
        return;
    setpriority(PRIO_PROCESS, tid, current + offset);  // best effort
}

}  // namespace

namespace kiv {

thread::thread() = default;

void thread::NameCurrent(const char* name)
{
    ThreadName shortName{};
    for (size_t i = 0; name && i + 1 < shortName.size() && name[i]; ++i)
        shortName[i] = name[i];
    ApplyToCurrentThread(shortName, 0);
}

int thread::UsableProcessors()
{
    // The set is sized for every processor the system may have.
    const long configured = sysconf(_SC_NPROCESSORS_CONF);
    const int count = configured > 0 ? static_cast<int>(configured) : 1024;
    cpu_set_t* set = CPU_ALLOC(count);
    int usable = 0;
    if (set) {
        const size_t bytes = CPU_ALLOC_SIZE(count);
        CPU_ZERO_S(bytes, set);
        if (sched_getaffinity(0, bytes, set) == 0)
            usable = CPU_COUNT_S(bytes, set);
        CPU_FREE(set);
    }
    if (usable <= 0)
        usable = static_cast<int>(std::thread::hardware_concurrency());
    return usable > 0 ? usable : 1;
}

thread::~thread()
{
    if (!m_handle.joinable())
        return;
    if (!m_running.load(std::memory_order_acquire))
        m_handle.join();  // finished: only its last instructions remain
    else
        m_handle.detach();  // the owner was meant to wait; never block here
}

void thread::SetName(const char* name)
{
    if (!name)
        name = "";
    size_t len = strnlen(name, sizeof(m_name) - 1);
    memcpy(m_name, name, len);
    m_name[len] = 0;
}

void thread::OnStart(uint32_t, int) {}

void thread::OnFinished() {}

bool thread::Start(uint32_t code, int priority)
{
    if (m_running.load(std::memory_order_acquire))
        return false;
    m_code = code;
    OnStart(code, priority);
    if (m_handle.joinable())
        m_handle.join();  // the earlier run has finished
    m_priority = priority;

    // Longer names are cut to what a pthread name holds.
    ThreadName name{};
    memcpy(name.data(), m_name, strnlen(m_name, name.size() - 1));

    // Set before the thread exists, so a thread that ends at once still
    // leaves the flag cleared behind it.
    m_running.store(true, std::memory_order_release);
    try {
        m_handle = std::thread([this, name, priority] {
            ApplyToCurrentThread(name, priority);
            Execute();
        });
    } catch (const std::system_error&) {
        m_running.store(false, std::memory_order_release);
        return false;
    } catch (const std::bad_alloc&) {
        m_running.store(false, std::memory_order_release);
        return false;
    }
    return true;
}

void thread::Execute()
{
    try {
        Run();
    } catch (...) {
        // An exception must not end the process from a worker thread.
    }
    try {
        OnFinished();
    } catch (...) {
    }
    m_running.store(false, std::memory_order_release);
}

}  // namespace kiv
