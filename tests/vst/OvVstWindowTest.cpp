// The plug-in's editor window in the built tessivo.so, opened the way a host
// opens it: the size request, a child of the host's window on a private
// Xvfb, idle calls that pump the toolkit, host keys, close, and an unload
// that leaves no thread and no window behind. Skipped when no X server can
// be started.
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <dirent.h>
#include <dlfcn.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "gui/GuiTestLeaks.h"
#include "support/TestSupport.h"
#include "vst/VstAbi.h"

namespace {

constexpr vst::int32 kKeyDown = 59;
constexpr vst::int32 kKeyUp = 60;

std::string TessivoPath()
{
    const char* dir = getenv("KIV_TEST_BINARY_DIR");
    return std::string(dir ? dir : ".") + "/vst/tessivo.so";
}

int ThreadCount()
{
    int count = 0;
    if (DIR* dir = opendir("/proc/self/task")) {
        while (dirent* entry = readdir(dir))
            if (entry->d_name[0] != '.')
                ++count;
        closedir(dir);
    }
    return count;
}

vst::intptr HostCallback(vst::AEffect*, vst::int32 opcode, vst::int32, vst::intptr, void*, float)
{
    return opcode == vst::audioMasterVersion ? 2400 : 0;
}

// The children of a window with their class names.
std::vector<std::pair<Window, std::string>> Children(Display* display, Window parent)
{
    std::vector<std::pair<Window, std::string>> out;
    Window root = 0, up = 0;
    Window* kids = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(display, parent, &root, &up, &kids, &count))
        return out;
    for (unsigned int i = 0; i < count; ++i) {
        XClassHint hint{};
        std::string name;
        if (XGetClassHint(display, kids[i], &hint)) {
            name = hint.res_class ? hint.res_class : "";
            XFree(hint.res_name);
            XFree(hint.res_class);
        }
        out.emplace_back(kids[i], name);
    }
    if (kids)
        XFree(kids);
    return out;
}

class OvVstWindowTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        for (int n = 420 + getpid() % 50; n < 600 && !s_server; ++n) {
            struct stat st;
            if (stat(("/tmp/.X" + std::to_string(n) + "-lock").c_str(), &st) == 0 ||
                stat(("/tmp/.X11-unix/X" + std::to_string(n)).c_str(), &st) == 0)
                continue;
            std::string display = kivtest::Numbered(":", n);
            std::vector<std::string> args = {"Xvfb", display, "-screen", "0", "1024x768x24", "-nolisten", "tcp"};
            std::vector<char*> argv;
            for (auto& a : args)
                argv.push_back(a.data());
            argv.push_back(nullptr);
            pid_t pid;
            if (posix_spawnp(&pid, "Xvfb", nullptr, nullptr, argv.data(), environ) != 0)
                return;  // no Xvfb: every test skips
            // Bounded wait for the server to answer.
            for (int i = 0; i < 1200 && !s_display; ++i) {
                if (waitpid(pid, nullptr, WNOHANG) == pid)
                    break;
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
                s_display = XOpenDisplay(display.c_str());
            }
            if (s_display) {
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
        if (s_display)
            XCloseDisplay(s_display);
        s_display = nullptr;
        if (s_server) {
            kill(s_server, SIGTERM);
            waitpid(s_server, nullptr, 0);
        }
        s_server = 0;
    }
    void SetUp() override
    {
        if (!s_server)
            GTEST_SKIP() << "no X server could be started";
        m_threadsBefore = ThreadCount();
        m_library = dlopen(TessivoPath().c_str(), RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(m_library, nullptr) << dlerror();
        auto entry = reinterpret_cast<vst::EntryProc>(dlsym(m_library, "VSTPluginMain"));
        ASSERT_NE(entry, nullptr);
        m_effect = entry(HostCallback);
        ASSERT_NE(m_effect, nullptr);
        Call(vst::effOpen);
        m_host = XCreateSimpleWindow(s_display, DefaultRootWindow(s_display), 0, 0, 900, 600, 0, 0, 0);
        XMapWindow(s_display, m_host);
        XSync(s_display, False);
    }
    void TearDown() override
    {
        if (m_effect)
            Call(vst::effClose);
        m_effect = nullptr;
        if (m_library)
            dlclose(m_library);
        m_library = nullptr;
        if (m_host)
            XDestroyWindow(s_display, m_host);
        m_host = 0;
        if (s_display)
            XSync(s_display, False);
    }
    vst::intptr Call(vst::int32 opcode, vst::int32 index = 0, vst::intptr value = 0, void* ptr = nullptr,
                     float opt = 0.0f)
    {
        return m_effect->dispatcher(m_effect, opcode, index, value, ptr, opt);
    }
    // Idle calls as a host makes them, about every 20 ms.
    void Idle(int ms)
    {
        for (int waited = 0; waited < ms; waited += 20) {
            Call(vst::effEditIdle);
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
    void* HostWindow() { return reinterpret_cast<void*>(static_cast<uintptr_t>(m_host)); }

    static pid_t s_server;
    static Display* s_display;
    void* m_library = nullptr;
    vst::AEffect* m_effect = nullptr;
    Window m_host = 0;
    int m_threadsBefore = 0;
};

pid_t OvVstWindowTest::s_server = 0;
Display* OvVstWindowTest::s_display = nullptr;

}  // namespace

TEST_F(OvVstWindowTest, SizeRequestGivesTheEditorSizeAndTheHasEditorFlag)
{
    EXPECT_NE(m_effect->flags & vst::effFlagsHasEditor, 0);
    vst::ERect* rect = nullptr;
    ASSERT_EQ(Call(vst::effEditGetRect, 0, 0, &rect), 1);
    ASSERT_NE(rect, nullptr);
    EXPECT_EQ(rect->top, 0);
    EXPECT_EQ(rect->left, 0);
    EXPECT_EQ(rect->right, 864);
    EXPECT_EQ(rect->bottom, 560);
}

TEST_F(OvVstWindowTest, OpenMakesOneKivControlVstChildThatIdleAndCloseLeaveClean)
{
    vst::ERect* rect = nullptr;
    ASSERT_EQ(Call(vst::effEditGetRect, 0, 0, &rect), 1);
    ASSERT_EQ(Call(vst::effEditOpen, 0, 0, HostWindow()), 1);
    XSync(s_display, False);
    auto children = Children(s_display, m_host);
    ASSERT_EQ(children.size(), 1u);
    EXPECT_EQ(children[0].second, "KivControlVst");
    XWindowAttributes attributes{};
    ASSERT_TRUE(XGetWindowAttributes(s_display, children[0].first, &attributes));
    EXPECT_EQ(attributes.width, 864);
    EXPECT_EQ(attributes.height, 560);
    EXPECT_EQ(attributes.map_state, IsViewable);

    Idle(300);  // paints, ticks and the editor's first events
    // Keys the host forwards are taken, so the host does not act on them too.
    EXPECT_EQ(Call(kKeyDown, 'a', 0, nullptr, 0.0f), 1);
    EXPECT_EQ(Call(kKeyDown, 0, 12, nullptr, 1.0f), 1);
    EXPECT_EQ(Call(kKeyUp, 'a', 0, nullptr, 0.0f), 1);

    Call(vst::effEditClose);
    XSync(s_display, False);
    EXPECT_TRUE(Children(s_display, m_host).empty());
    Idle(60);  // idle while closed does nothing

    // Open and close repeat with the same editor view.
    ASSERT_EQ(Call(vst::effEditOpen, 0, 0, HostWindow()), 1);
    XSync(s_display, False);
    EXPECT_EQ(Children(s_display, m_host).size(), 1u);
    Idle(100);
    Call(vst::effEditClose);
    XSync(s_display, False);
    EXPECT_TRUE(Children(s_display, m_host).empty());
}

TEST_F(OvVstWindowTest, ClosingTheEffectWithItsWindowOpenAndUnloadingLeaveNoThreadOrWindow)
{
    ASSERT_EQ(Call(vst::effEditOpen, 0, 0, HostWindow()), 1);
    Idle(200);
    Call(vst::effClose);  // the host forgets to close the editor first
    m_effect = nullptr;
    XSync(s_display, False);
    EXPECT_TRUE(Children(s_display, m_host).empty());
    dlclose(m_library);
    m_library = nullptr;
    EXPECT_EQ(dlopen(TessivoPath().c_str(), RTLD_NOW | RTLD_NOLOAD), nullptr) << "the library stays loaded";
    for (int i = 0; i < 3000 && ThreadCount() > m_threadsBefore; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(ThreadCount(), m_threadsBefore);
}

TEST_F(OvVstWindowTest, OpenWithoutAParentFails)
{
    EXPECT_EQ(Call(vst::effEditOpen, 0, 0, nullptr), 0);
    EXPECT_TRUE(Children(s_display, m_host).empty());
}
