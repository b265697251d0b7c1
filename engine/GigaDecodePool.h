// GigaDecodePool: the threads that decode compressed samples while a program
// loads. They are started on the first load that needs them and kept until
// the library is unloaded: starting and ending a thread costs a good part of
// a small program's decode. One load uses the pool at a time; a loader that
// finds it busy decodes on its own thread. Destroying the pool waits for a
// load that is using it. Work that throws ends neither the process nor the
// job (the item counts as done; the work itself records what it left).
#pragma once
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

class GigaDecodePool {
public:
    // The system's name of each pool thread.
    static constexpr const char* kThreadName = "GigaDecoder";

    // The process's pool.
    static GigaDecodePool& Get();

    GigaDecodePool() = default;
    ~GigaDecodePool();
    GigaDecodePool(const GigaDecodePool&) = delete;
    GigaDecodePool& operator=(const GigaDecodePool&) = delete;

    // Runs work(i) for every i in [0, count) on at most `threads` threads of
    // the pool, and progress(finished) on the calling thread as items finish.
    // Returns when every item is done. False, with nothing run, when another
    // load holds the pool or no thread could be started.
    bool Run(size_t count, int threads, const std::function<void(size_t)>& work,
             const std::function<void(size_t)>& progress);

private:
    void Worker();
    bool Grow(int threads);  // under m_mutex

    std::mutex m_mutex;
    std::mutex m_busy;  // held by the load using the pool
    std::condition_variable m_wake;
    std::condition_variable m_finished;
    std::vector<std::thread> m_threads;
    bool m_stop = false;
    // The job: its items, the threads that may join it and those inside it.
    const std::function<void(size_t)>* m_work = nullptr;
    size_t m_count = 0;
    std::atomic<size_t> m_next{0};
    size_t m_done = 0;
    int m_limit = 0;
    int m_joined = 0;
    int m_inside = 0;
    unsigned m_job = 0;  // counts jobs from 1
};
