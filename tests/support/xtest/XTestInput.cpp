#include "support/xtest/XTestInput.h"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include "support/xtest/WindowManager.h"

namespace kivtest {

XTestInput::XTestInput(const char* displayName) : m_display(XOpenDisplay(displayName)) {}

XTestInput::~XTestInput()
{
    if (m_display)
        XCloseDisplay(m_display);
}

bool XTestInput::Usable() const
{
    int event, error, major, minor;
    return m_display && XTestQueryExtension(m_display, &event, &error, &major, &minor);
}

void XTestInput::Move(int x, int y)
{
    XTestFakeMotionEvent(m_display, -1, x, y, CurrentTime);
    XSync(m_display, False);
}

void XTestInput::Button(unsigned button, bool press)
{
    XTestFakeButtonEvent(m_display, button, press ? True : False, CurrentTime);
    XSync(m_display, False);
}

bool XTestInput::Key(const char* keysymName, const char* heldName)
{
    KeySym sym = XStringToKeysym(keysymName);
    KeyCode code = XKeysymToKeycode(m_display, sym);
    if (code == 0)
        return false;
    KeyCode held = heldName ? XKeysymToKeycode(m_display, XStringToKeysym(heldName)) : 0;
    KeyCode shift = XkbKeycodeToKeysym(m_display, code, 0, 0) != sym ? XKeysymToKeycode(m_display, XK_Shift_L) : 0;
    if (held)
        XTestFakeKeyEvent(m_display, held, True, CurrentTime);
    if (shift)
        XTestFakeKeyEvent(m_display, shift, True, CurrentTime);
    XTestFakeKeyEvent(m_display, code, True, CurrentTime);
    XTestFakeKeyEvent(m_display, code, False, CurrentTime);
    if (shift)
        XTestFakeKeyEvent(m_display, shift, False, CurrentTime);
    if (held)
        XTestFakeKeyEvent(m_display, held, False, CurrentTime);
    XSync(m_display, False);
    return true;
}

std::vector<XTestInput::ShownWindow> XTestInput::ShownWindows() const
{
    std::vector<ShownWindow> out;
    Window root = 0, up = 0;
    Window* kids = nullptr;
    unsigned int count = 0;
    if (!m_display || !XQueryTree(m_display, DefaultRootWindow(m_display), &root, &up, &kids, &count))
        return out;
    for (unsigned int i = 0; i < count; ++i) {
        XWindowAttributes a{};
        if (!XGetWindowAttributes(m_display, kids[i], &a) || a.map_state != IsViewable)
            continue;
        ShownWindow w{kids[i], a.x, a.y, a.width, a.height, {}, {}};
        // Under a window manager a frame stands here: the window within it
        // is the one shown.
        Window client = kids[i];
        XClassHint hint{};
        if (!XGetClassHint(m_display, client, &hint)) {
            client = static_cast<Window>(WindowManager::ClientIn(m_display, kids[i]));
            Window child = 0;
            XWindowAttributes c{};
            if (client && XGetWindowAttributes(m_display, client, &c) && c.map_state == IsViewable) {
                w.id = client;
                w.w = c.width;
                w.h = c.height;
                XTranslateCoordinates(m_display, client, root, 0, 0, &w.x, &w.y, &child);
            }
        }
        if (client && XGetClassHint(m_display, client, &hint)) {
            w.name = hint.res_name ? hint.res_name : "";
            w.cls = hint.res_class ? hint.res_class : "";
            XFree(hint.res_name);
            XFree(hint.res_class);
        }
        out.push_back(w);
    }
    if (kids)
        XFree(kids);
    return out;
}

}  // namespace kivtest
