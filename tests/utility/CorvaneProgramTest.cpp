// The corvane program on a private Xvfb server started by the test (skipped
// when Xvfb or the program is missing): it opens its window, closes cleanly
// when asked, and scans a folder chosen through its + button when driven by
// xdotool, ending with exit code 0 on Quit.
#include <gtest/gtest.h>

#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "support/TestSupport.h"
#include "utility/CorvaneLimits.h"
#include "utility/CorvaneWindowConst.h"
#include "utility/UtilityTestSupport.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using namespace corvane;

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
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0)
        return 0;
    return pid;
}

// Waits up to timeoutMs for the child; its exit code, or -1 when it is still
// running (it is then killed) or ended by a signal.
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

template <class Done>
bool WaitFor(int timeoutMs, Done done)
{
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() > until)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

class CorvaneProgram : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        if (!HaveProgram("Xvfb"))
            return;
        for (int n = 150 + getpid() % 100; n < 450 && !s_server; ++n) {
            std::string socket = "/tmp/.X11-unix/X" + std::to_string(n);
            struct stat st;
            if (stat(("/tmp/.X" + std::to_string(n) + "-lock").c_str(), &st) == 0 || stat(socket.c_str(), &st) == 0)
                continue;
            std::string display = ":" + std::to_string(n);
            pid_t pid = Spawn({"Xvfb", display, "-screen", "0", "800x600x24", "-nolisten", "tcp"});
            if (!pid)
                return;
            // Bounded wait for the server's socket.
            bool up = WaitFor(5000, [&] {
                int status;
                return stat(socket.c_str(), &st) == 0 || waitpid(pid, &status, WNOHANG) == pid;
            });
            if (up && stat(socket.c_str(), &st) == 0 && kill(pid, 0) == 0) {
                s_server = pid;
                setenv("DISPLAY", display.c_str(), 1);
            } else {
                kill(pid, SIGTERM);
                waitpid(pid, nullptr, 0);
            }
        }
    }
    static void TearDownTestSuite()
    {
        if (s_server) {
            kill(s_server, SIGTERM);
            waitpid(s_server, nullptr, 0);
            s_server = 0;
        }
    }
    void SetUp() override
    {
        const char* build = getenv("KIV_TEST_BINARY_DIR");
        m_program = std::string(build ? build : ".") + "/utility/corvane";
        if (!fs::exists(m_program))
            GTEST_SKIP() << "the corvane program is not built";
        if (!s_server)
            GTEST_SKIP() << "no X server could be started";
        m_maker = std::string(getenv("XDG_DATA_HOME")) + "/Quillane/";
        std::error_code ec;
        fs::remove(m_maker + kDatabaseFile, ec);
        fs::remove(m_maker + kPrefsFile, ec);
        // A sanitized program reports the font caches that fontconfig and
        // cairo keep for the life of the process (see gui/GuiTestLeaks.h).
        std::string suppressions = m_dir.File("lsan.supp");
        const char kLeaks[] = "leak:libfontconfig.so\nleak:libcairo.so\nleak:libexpat.so\n";
        kivtest::WriteFile(suppressions, kLeaks, sizeof kLeaks - 1);
        setenv("LSAN_OPTIONS", ("suppressions=" + suppressions).c_str(), 1);
    }
    void TearDown() override
    {
        unsetenv("CORVANE_CLOSE_AFTER_MS");
        unsetenv("KIV_DIALOG_ANSWER");
        unsetenv("LSAN_OPTIONS");
    }
    // The program's client window, once it is on the server.
    std::string FindWindow()
    {
        std::string id;
        WaitFor(10000, [&] {
            std::string out = RunCommand("xdotool search --class KivControl 2>/dev/null");
            id = out.substr(0, out.find('\n'));
            return !id.empty();
        });
        return id;
    }
    void ClickAt(const std::string& window, int x, int y)
    {
        RunCommand("xdotool mousemove --window " + window + " " + std::to_string(x) + " " + std::to_string(y) +
                   " click 1");
    }

    static pid_t s_server;
    std::string m_program;
    std::string m_maker;
    kivtest::TempDir m_dir;
};
pid_t CorvaneProgram::s_server = 0;

}  // namespace

TEST_F(CorvaneProgram, OpensItsDatabaseAndExitsCleanlyWhenItsWindowCloses)
{
    setenv("CORVANE_CLOSE_AFTER_MS", "500", 1);
    pid_t pid = Spawn({m_program});
    ASSERT_NE(pid, 0);
    EXPECT_EQ(WaitExit(pid, 20000), 0);
    EXPECT_TRUE(fs::exists(m_maker + kDatabaseFile));
    // No scan began, so no folder list was written.
    EXPECT_FALSE(fs::exists(m_maker + kPrefsFile));
}

TEST_F(CorvaneProgram, ScansAFolderAddedWithThePlusButtonAndQuits)
{
    if (!HaveProgram("xdotool"))
        GTEST_SKIP() << "xdotool is not installed";
    std::string library = m_dir.File("library") + "/";
    fs::create_directories(library + "sub");
    ASSERT_TRUE(utiltest::NamedBank({"Grand", "Upright"}).Write(library + "Pianos.gig"));
    ASSERT_TRUE(utiltest::NamedBank({"Kit"}).Write(library + "sub/Drums.GIG"));
    setenv("KIV_DIALOG_ANSWER", (library + "\n").c_str(), 1);

    pid_t pid = Spawn({m_program});
    ASSERT_NE(pid, 0);
    std::string window = FindWindow();
    if (window.empty()) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        FAIL() << "the window did not appear";
    }
    // Button centres: "+" at (10, h - 30), the scan button at (w - 140, h - 30).
    const int buttonY = kWindowH + kButtonY + kButtonH / 2;
    const int scanX = kWindowW + kScanX + kScanW / 2;
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // the first tick loads the list
    ClickAt(window, kMargin + kSmallButtonW / 2, buttonY);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    ClickAt(window, scanX, buttonY);

    utiltest::RowReader db;
    ASSERT_TRUE(WaitFor(20000, [&] { return fs::exists(m_maker + kPrefsFile); }));
    ASSERT_TRUE(db.OpenFile((m_maker + kDatabaseFile).c_str(), false));
    EXPECT_TRUE(WaitFor(20000, [&] { return db.Value("SELECT COUNT() FROM inst;") == "3"; }));
    EXPECT_EQ(db.Value("SELECT COUNT() FROM file;"), "2");
    EXPECT_EQ(db.Value("SELECT rname FROM root;"), library);

    // The finished scan turns the button into Quit.
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    ClickAt(window, scanX, buttonY);
    EXPECT_EQ(WaitExit(pid, 10000), 0);
}
