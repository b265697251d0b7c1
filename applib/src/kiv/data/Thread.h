// kiv::thread: the library's worker-thread base. A derived class implements
// Run and starts the thread with a four-character job code; it keeps its own
// stop flags. Start is called from one controlling thread; IsRunning may be
// read from any thread.
#pragma once
#include <atomic>
#include <cstdint>
#include <thread>

namespace kiv {

class thread {
public:
    thread();
    virtual ~thread();  // joins a finished thread; never waits for a running one
    thread(const thread&) = delete;
    thread& operator=(const thread&) = delete;

    void SetName(const char* name);
    const char* GetName() const { return m_name; }
    bool IsRunning() const { return m_running.load(std::memory_order_acquire); }
    // Priority -2, -1, 1, 2: lowest, below normal, above normal, highest;
    // anything else is normal. Best effort on this platform.
    bool Start(uint32_t code, int priority);
    uint32_t GetCode() const { return m_code; }
    int GetPriority() const { return m_priority; }

    // The processors the calling thread may run on (its affinity, which a
    // process pinned to some cores inherits), at least 1.
    static int UsableProcessors();
    // Names the calling thread for the system (first 15 characters), for
    // threads that are no kiv::thread.
    static void NameCurrent(const char* name);

protected:
    virtual void Run() = 0;
    virtual void OnStart(uint32_t code, int priority);
    virtual void OnFinished();

private:
    void Execute();

    uint32_t m_code = 0;
    char m_name[32] = {};
    int m_priority = 0;
    std::atomic<bool> m_running{false};
    std::thread m_handle;
};

}  // namespace kiv
