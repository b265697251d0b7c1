// A private X server for tests that need real windows: an Xvfb on a display
// number nobody uses, started with a bounded wait and stopped with the object.
// Also the small process helpers such tests share (program lookup, running a
// command for its output, spawning a child, waiting for it or for a condition).
#pragma once
#include <sys/types.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace kivtest {

// True when the program is found on PATH.
bool HaveProgram(const char* name);
// Runs a shell command; its standard output (empty on failure).
std::string RunCommand(const std::string& command);
// Starts args[0] (looked up on PATH) with the current environment; its pid,
// or 0 when it could not be started.
pid_t Spawn(std::vector<std::string> args);
// Waits up to timeoutMs for the child; its exit code, or -1 when it is still
// running (it is then killed) or ended by a signal.
int WaitExit(pid_t pid, int timeoutMs);

// How long a test waits for what must come: far above what the slowest
// plausible machine needs, one loaded by other builds at twice its cores.
// Such a wait ends as soon as its condition holds, so only a failure takes
// this long.
constexpr int kPatientMs = 60000;

// Polls done() every 50 ms until it holds (true) or the deadline passes
// (false): timeoutMs, but never less than kPatientMs.
template <class Done>
bool WaitFor(int timeoutMs, Done done)
{
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(std::max(timeoutMs, kPatientMs));
    while (!done()) {
        if (std::chrono::steady_clock::now() > until)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

class XvfbServer {
public:
    // screen is Xvfb's "WxHxDepth" for screen 0.
    explicit XvfbServer(std::string screen = "800x600x24");
    ~XvfbServer();
    XvfbServer(const XvfbServer&) = delete;
    XvfbServer& operator=(const XvfbServer&) = delete;

    // Starts the server on a free display and points DISPLAY at it. False
    // (with SkipReason() set) when Xvfb is missing or no server came up.
    bool Start();
    // Stops the server and gives DISPLAY its former value.
    void Stop();
    bool Running() const { return m_pid != 0; }
    // ":N" while running.
    const std::string& Display() const { return m_display; }
    // Why Start() failed, for GTEST_SKIP().
    const std::string& SkipReason() const { return m_skipReason; }

private:
    enum class Attempt { Up, Taken, GiveUp };
    Attempt TryDisplay(int number);

    std::string m_screen;
    std::string m_display;
    std::string m_skipReason = "the X server was not started";
    std::string m_oldDisplay;
    bool m_hadDisplay = false;
    pid_t m_pid = 0;
};

}  // namespace kivtest
