#include "support/xtest/WindowManager.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <signal.h>
#include <unistd.h>

#include <string>

#include "support/XvfbServer.h"

namespace kivtest {

namespace {

bool HasProperty(Display* d, Window w, const char* name)
{
    Atom type = None;
    int format = 0;
    unsigned long items = 0, after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(d, w, XInternAtom(d, name, False), 0, 0, False, AnyPropertyType, &type, &format, &items,
                           &after, &data) != Success)
        return false;
    if (data)
        XFree(data);
    return type != None;
}

// The window manager names its check window on the root: the sign that it
// manages the screen.
bool Managing(Display* d)
{
    Atom type = None;
    int format = 0;
    unsigned long items = 0, after = 0;
    unsigned char* data = nullptr;
    Atom check = XInternAtom(d, "_NET_SUPPORTING_WM_CHECK", False);
    if (XGetWindowProperty(d, DefaultRootWindow(d), check, 0, 1, False, XA_WINDOW, &type, &format, &items, &after,
                           &data) != Success)
        return false;
    bool named = data && items == 1 && format == 32 && *reinterpret_cast<unsigned long*>(data) != 0;
    if (data)
        XFree(data);
    return named;
}

}  // namespace

WindowManager::~WindowManager() { Stop(); }

bool WindowManager::Start(_XDisplay* display)
{
    if (!HaveProgram("openbox")) {
        m_skip = "openbox is not installed (scripts/install-deps)";
        return false;
    }
    if (!display) {
        m_error = "no connection to the X server";
        return false;
    }
    // The test's home holds no settings of its: Debian's defaults apply.
    m_pid = Spawn({"openbox", "--sm-disable"});
    if (!m_pid) {
        m_error = "openbox could not be started";
        return false;
    }
    if (!WaitFor(20000, [&] { return Managing(display); })) {
        m_error = "openbox did not take the screen";
        Stop();
        return false;
    }
    return true;
}

void WindowManager::Stop()
{
    if (!m_pid)
        return;
    kill(m_pid, SIGTERM);
    WaitExit(m_pid, 3000);  // kills it when it does not end
    m_pid = 0;
}

unsigned long WindowManager::FrameOf(_XDisplay* display, unsigned long client)
{
    Window w = static_cast<Window>(client);
    for (int depth = 0; depth < 16; ++depth) {
        Window root = 0, up = 0;
        Window* kids = nullptr;
        unsigned int count = 0;
        if (!XQueryTree(display, w, &root, &up, &kids, &count))
            return client;
        if (kids)
            XFree(kids);
        if (up == root || up == 0)
            return w;
        w = up;
    }
    return client;
}

unsigned long WindowManager::ClientIn(_XDisplay* display, unsigned long frame)
{
    Window w = static_cast<Window>(frame);
    if (HasProperty(display, w, "WM_STATE"))
        return w;
    Window root = 0, up = 0;
    Window* kids = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(display, w, &root, &up, &kids, &count))
        return 0;
    unsigned long found = 0;
    for (unsigned int i = 0; i < count && !found; ++i)
        found = ClientIn(display, kids[i]);
    if (kids)
        XFree(kids);
    return found;
}

}  // namespace kivtest
