// The corvane program on a private Xvfb server started by the test (skipped
// when Xvfb or the program is missing): it opens its window, closes cleanly
// when asked, and scans a folder chosen through its + button when driven by
// xdotool, ending with exit code 0 on Quit.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "support/TestSupport.h"
#include "support/XvfbServer.h"
#include "utility/CorvaneLimits.h"
#include "utility/CorvaneWindowConst.h"
#include "utility/UtilityTestSupport.h"

namespace {

namespace fs = std::filesystem;
using namespace corvane;
using kivtest::HaveProgram;
using kivtest::RunCommand;
using kivtest::Spawn;
using kivtest::WaitExit;
using kivtest::WaitFor;

class CorvaneProgram : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_server = new kivtest::XvfbServer("800x600x24");
        s_server->Start();
    }
    static void TearDownTestSuite()
    {
        delete s_server;
        s_server = nullptr;
    }
    void SetUp() override
    {
        const char* build = getenv("KIV_TEST_BINARY_DIR");
        m_program = std::string(build ? build : ".") + "/utility/corvane";
        if (!fs::exists(m_program))
            GTEST_SKIP() << "the corvane program is not built";
        if (!s_server->Running())
            GTEST_SKIP() << s_server->SkipReason();
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

    static kivtest::XvfbServer* s_server;
    std::string m_program;
    std::string m_maker;
    kivtest::TempDir m_dir;
};
kivtest::XvfbServer* CorvaneProgram::s_server = nullptr;

}  // namespace

TEST_F(CorvaneProgram, OpensItsDatabaseAndExitsCleanlyWhenItsWindowCloses)
{
    setenv("CORVANE_CLOSE_AFTER_MS", "500", 1);
    pid_t pid = Spawn({m_program});
    ASSERT_NE(pid, 0);
    EXPECT_EQ(WaitExit(pid, kivtest::kPatientMs), 0);
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
    EXPECT_EQ(WaitExit(pid, kivtest::kPatientMs), 0);
}
