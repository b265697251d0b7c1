#include "engine/GigaDecodePool.h"

#include <exception>

#include "kiv/data/Thread.h"

GigaDecodePool& GigaDecodePool::Get()
{
    static GigaDecodePool pool;
    return pool;
}

GigaDecodePool::~GigaDecodePool()
{
    // A load decoding on the pool finishes first: its threads and the job
    // it waits for must outlive it. No load takes the pool after this.
    std::lock_guard<std::mutex> busy(m_busy);
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    for (std::thread& t : m_threads)
        t.join();
}

bool GigaDecodePool::Grow(int threads)
{
    try {
        while (static_cast<int>(m_threads.size()) < threads)
            m_threads.emplace_back([this] { Worker(); });
    } catch (const std::exception&) {
        // Fewer threads (none could start, or no room to keep them): those
        // started do the work.
    }
    return !m_threads.empty();
}

bool GigaDecodePool::Run(size_t count, int threads, const std::function<void(size_t)>& work,
                         const std::function<void(size_t)>& progress)
{
    if (count == 0)
        return true;
    std::unique_lock<std::mutex> busy(m_busy, std::try_to_lock);
    if (!busy.owns_lock())
        return false;
    std::unique_lock<std::mutex> lock(m_mutex);
    if (m_stop || !Grow(threads))
        return false;
    m_work = &work;
    m_count = count;
    m_next.store(0, std::memory_order_relaxed);
    m_done = 0;
    m_limit = threads;
    m_joined = 0;
    if (++m_job == 0)
        m_job = 1;
    m_wake.notify_all();
    size_t reported = 0;
    // Every item done and every thread out of the job: nothing refers to
    // `work` once this returns.
    while (m_done < count || m_inside > 0) {
        m_finished.wait(lock);
        if (m_done != reported) {
            reported = m_done;
            lock.unlock();
            progress(reported);
            lock.lock();
        }
    }
    // The last items may end while a report is being made: the whole count
    // is reported all the same.
    if (m_done != reported) {
        reported = m_done;
        lock.unlock();
        progress(reported);
        lock.lock();
    }
    m_work = nullptr;
    m_count = 0;
    return true;
}

void GigaDecodePool::Worker()
{
    kiv::thread::NameCurrent(kThreadName);
    std::unique_lock<std::mutex> lock(m_mutex);
    // A thread started for a job joins that job too.
    unsigned seen = 0;
    for (;;) {
        m_wake.wait(lock, [&] { return m_stop || (m_job != seen && m_work); });
        if (m_stop)
            return;
        seen = m_job;
        if (m_joined >= m_limit)
            continue;
        ++m_joined;
        ++m_inside;
        const std::function<void(size_t)>& work = *m_work;
        const size_t count = m_count;
        lock.unlock();
        for (size_t i; (i = m_next.fetch_add(1, std::memory_order_relaxed)) < count;) {
            // An exception must not end the process from a worker: the item
            // counts as done, and the job's owner finds it undone.
            try {
                work(i);
            } catch (...) {
            }
            lock.lock();
            ++m_done;
            lock.unlock();
            m_finished.notify_one();
        }
        lock.lock();
        --m_inside;
        m_finished.notify_one();
    }
}
