#include "support/XvfbServer.h"

#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "support/TestSupport.h"

extern char** environ;

namespace kivtest {

namespace {

// Ends a child that has not been reaped yet: SIGTERM, then SIGKILL if it is
// still there after two seconds.
void StopChild(pid_t pid)
{
    kill(pid, SIGTERM);
    WaitExit(pid, 2000);
}

}  // namespace

bool HaveProgram(const char* name)
{
    std::string command = std::string("command -v ") + name + " >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
}

std::string RunCommand(const std::string& command)
{
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return out;
    char buffer[256];
    while (fgets(buffer, sizeof buffer, pipe))
        out += buffer;
    pclose(pipe);
    return out;
}

pid_t Spawn(std::vector<std::string> args)
{
    if (args.empty())
        return 0;
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0)
        return 0;
    return pid;
}

int WaitExit(pid_t pid, int timeoutMs)
{
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) != pid) {
        if (std::chrono::steady_clock::now() > until) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

XvfbServer::XvfbServer(std::string screen) : m_screen(std::move(screen)) {}

XvfbServer::~XvfbServer()
{
    Stop();
}

bool XvfbServer::Start()
{
    if (m_pid)
        return true;
    if (!HaveProgram("Xvfb")) {
        m_skipReason = "Xvfb is not installed";
        return false;
    }
    // Spread parallel test programs over different numbers from the start.
    const int first = 100 + getpid() % 200;
    for (int n = first; n < first + 200; ++n) {
        Attempt attempt = TryDisplay(n);
        if (attempt == Attempt::Up) {
            const char* old = getenv("DISPLAY");
            m_hadDisplay = old != nullptr;
            m_oldDisplay = old ? old : "";
            setenv("DISPLAY", m_display.c_str(), 1);
            m_skipReason.clear();
            return true;
        }
        if (attempt == Attempt::GiveUp) {
            m_skipReason = "Xvfb could not be run";
            return false;
        }
    }
    m_skipReason = "no X server could be started";
    return false;
}

XvfbServer::Attempt XvfbServer::TryDisplay(int number)
{
    const std::string lock = "/tmp/.X" + std::to_string(number) + "-lock";
    const std::string socket = "/tmp/.X11-unix/X" + std::to_string(number);
    if (Exists(lock) || Exists(socket))
        return Attempt::Taken;
    const std::string display = Numbered(":", number);
    // -noreset: a server resets whenever its last client leaves, and a client
    // connecting meanwhile (a program starting while a helper like xdotool
    // polls and quits) is refused.
    pid_t pid = Spawn({"Xvfb", display, "-screen", "0", m_screen, "-nolisten", "tcp", "-noreset"});
    if (!pid)
        return Attempt::GiveUp;
    // Bounded wait for the socket. Another program may take the same number
    // at the same moment: the server that lost exits, and the socket counts
    // only while ours is alive and holds the lock.
    bool died = false;
    bool up = WaitFor(5000, [&] {
        int status;
        if (waitpid(pid, &status, WNOHANG) == pid) {
            died = true;
            return true;
        }
        if (!Exists(socket))
            return false;
        std::string owner = ReadFile(lock);
        return std::atol(owner.c_str()) == pid;
    });
    if (up && !died) {
        m_pid = pid;
        m_display = display;
        return Attempt::Up;
    }
    if (!died)
        StopChild(pid);
    return Attempt::Taken;
}

void XvfbServer::Stop()
{
    if (!m_pid)
        return;
    StopChild(m_pid);
    m_pid = 0;
    m_display.clear();
    if (m_hadDisplay)
        setenv("DISPLAY", m_oldDisplay.c_str(), 1);
    else
        unsetenv("DISPLAY");
    m_skipReason = "the X server was stopped";
}

}  // namespace kivtest
