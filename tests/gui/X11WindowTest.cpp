// Real windows on an X server: a private Xvfb started by the test (skipped
// when Xvfb is not installed or does not start). Checks what the headless
// tests cannot: WM_CLASS, pixels on the server, clicks through the server,
// and that a bad parent window fails cleanly instead of ending the process.
#include <gtest/gtest.h>

#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "gui/GuiTestLeaks.h"
#include "kiv/gui/X11Backend.h"
#include "kiv/gui/XView.h"
#include "kiv/gui/XWindow.h"

extern char** environ;

namespace {

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

class Clicks : public XControl {
public:
    Clicks(XControl* parent, int* count) : XControl(parent, 10, 10, 40, 40), m_count(count)
    {
        SetColour(0, XColour::Make(0, 160, 0));
    }
    bool OnMouseDown(XMouse&) override
    {
        ++*m_count;
        return true;
    }

private:
    int* m_count;
};

class X11WindowTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        if (!HaveProgram("Xvfb"))
            return;
        // A display number nobody uses.
        for (int n = 90 + getpid() % 50; n < 400 && !s_server; ++n) {
            std::string lock = "/tmp/.X" + std::to_string(n) + "-lock";
            std::string socket = "/tmp/.X11-unix/X" + std::to_string(n);
            struct stat st;
            if (stat(lock.c_str(), &st) == 0 || stat(socket.c_str(), &st) == 0)
                continue;
            std::string display = ":" + std::to_string(n);
            std::vector<std::string> args = {"Xvfb", display, "-screen", "0", "800x600x24", "-nolisten", "tcp"};
            std::vector<char*> argv;
            for (auto& a : args)
                argv.push_back(a.data());
            argv.push_back(nullptr);
            pid_t pid;
            if (posix_spawnp(&pid, "Xvfb", nullptr, nullptr, argv.data(), environ) != 0)
                return;
            setenv("DISPLAY", display.c_str(), 1);
            // Bounded wait for the server to accept connections.
            for (int i = 0; i < 100 && !X11Backend::Instance(); ++i) {
                int status;
                if (waitpid(pid, &status, WNOHANG) == pid)
                    break;  // it died (display taken after all): try the next one
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            }
            if (X11Backend::Instance()) {
                s_server = pid;
            } else {
                kill(pid, SIGTERM);
                waitpid(pid, nullptr, 0);
            }
        }
    }
    static void TearDownTestSuite()
    {
        if (s_server) {
            X11Backend::Shutdown();
            kill(s_server, SIGTERM);
            waitpid(s_server, nullptr, 0);
        }
    }
    void SetUp() override
    {
        if (!s_server)
            GTEST_SKIP() << "no X server could be started";
        backend = X11Backend::Instance();
        XBackend::Install(nullptr);
        ASSERT_EQ(XBackend::Get(), backend);
    }
    // Pumps until done() or about three seconds pass.
    template <class Done>
    bool PumpUntil(Done done)
    {
        for (int i = 0; i < 150; ++i) {
            backend->Pump(20);
            if (done())
                return true;
        }
        return false;
    }

    static pid_t s_server;
    X11Backend* backend = nullptr;
};
pid_t X11WindowTest::s_server = 0;

}  // namespace

TEST_F(X11WindowTest, WindowCarriesItsClassPaintsAndTakesClicks)
{
    int clicks = 0;
    XView view;
    view.SetSize(120, 80);
    view.SetColour(0, XColour::Make(30, 60, 90));
    view.SetText("Tessivo test");
    new Clicks(&view, &clicks);
    ASSERT_TRUE(view.OpenWindow());
    XWindow* window = view.GetWindow();
    uintptr_t frame = view.GetWindowHandle();
    uintptr_t client = window->GetClientWindow()->GetHandle();
    ASSERT_NE(frame, 0u);

    XColourValue pixel = 0;
    EXPECT_TRUE(PumpUntil([&] {
        return window->IsTimerRunning() && backend->ReadPixel(client, 100, 70, pixel) &&
               pixel == XColour::Make(30, 60, 90);
    }));
    ASSERT_TRUE(backend->ReadPixel(client, 20, 20, pixel));
    EXPECT_EQ(pixel, XColour::Make(0, 160, 0));

    if (HaveProgram("xprop")) {
        std::string wmClass = RunCommand("xprop -id " + std::to_string(frame) + " WM_CLASS");
        EXPECT_NE(wmClass.find("\"KivWindow\""), std::string::npos) << wmClass;
    }
    if (HaveProgram("xdotool")) {
        std::string found = RunCommand("xdotool search --class KivWindow");
        EXPECT_NE(found.find(std::to_string(frame)), std::string::npos) << found;
        RunCommand("xdotool mousemove --window " + std::to_string(client) + " 20 20 click 1");
        EXPECT_TRUE(PumpUntil([&] { return clicks == 1; }));
    }

    view.Close(0);
    EXPECT_TRUE(PumpUntil([&] { return view.GetWindow()->GetFrame() == nullptr; }));
}

TEST_F(X11WindowTest, ChildOfAMissingWindowFailsWithoutEndingTheProcess)
{
    // Xlib's default error handler would exit the process on BadWindow.
    auto child = backend->CreateChild(0x3FFFFFF, "KivControlVst", 0, 0, 10, 10);
    EXPECT_EQ(child, nullptr);

    // A host that destroys its window before our child goes: the child's
    // destruction must not end the process either.
    XWindowSpec spec;
    spec.className = "HostWindow";
    spec.w = 50;
    spec.h = 50;
    auto host = backend->CreateTopLevel(spec);
    ASSERT_NE(host, nullptr);
    auto editor = backend->CreateChild(host->GetHandle(), "KivControlVst", 0, 0, 20, 20);
    ASSERT_NE(editor, nullptr);
    host.reset();
    editor.reset();
    backend->Sync();
    SUCCEED();
}
