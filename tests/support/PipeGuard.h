// Named pipes that the code under test must never wait on, and a watchdog
// that keeps a test from hanging for good when it does: while the guard
// lives, from `seconds` after it was made, a pipe that someone waits to read
// is released (opened for writing and closed again: the waiting open
// returns and reading finds the end). The call that hung then returns, and
// the test fails on Released() instead of hanging CI.
#pragma once
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace kivtest {

// Makes a named pipe; false when it cannot.
inline bool MakePipe(const std::string& path) { return mkfifo(path.c_str(), 0600) == 0; }

class PipeGuard {
public:
    explicit PipeGuard(std::vector<std::string> pipes, int seconds = 10)
        : m_pipes(std::move(pipes)), m_thread([this, seconds] { Watch(seconds); })
    {
    }
    ~PipeGuard()
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_stop = true;
        }
        m_wake.notify_all();
        m_thread.join();
    }
    PipeGuard(const PipeGuard&) = delete;
    PipeGuard& operator=(const PipeGuard&) = delete;

    // True once a waiting reader had to be released.
    bool Released() const { return m_released.load(std::memory_order_acquire); }

private:
    void Watch(int seconds)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        if (m_wake.wait_for(lock, std::chrono::seconds(seconds), [this] { return m_stop; }))
            return;
        while (!m_stop) {
            for (const std::string& pipe : m_pipes) {
                // Succeeds only while someone holds the pipe open for reading.
                const int fd = open(pipe.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
                if (fd >= 0) {
                    m_released.store(true, std::memory_order_release);
                    close(fd);
                }
            }
            m_wake.wait_for(lock, std::chrono::milliseconds(20), [this] { return m_stop; });
        }
    }

    std::vector<std::string> m_pipes;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stop = false;
    std::atomic<bool> m_released{false};
    std::thread m_thread;
};

}  // namespace kivtest
