#include "support/xtest/XTestInput.h"

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

namespace kivtest {

namespace {
Display* Dpy(void* d) { return static_cast<Display*>(d); }
}  // namespace

XTestInput::XTestInput() : m_display(XOpenDisplay(nullptr)) {}

XTestInput::~XTestInput()
{
    if (m_display)
        XCloseDisplay(Dpy(m_display));
}

bool XTestInput::Usable() const
{
    int event, error, major, minor;
    return m_display && XTestQueryExtension(Dpy(m_display), &event, &error, &major, &minor);
}

void XTestInput::Move(int x, int y)
{
    XTestFakeMotionEvent(Dpy(m_display), -1, x, y, CurrentTime);
    XSync(Dpy(m_display), False);
}

void XTestInput::Button(unsigned button, bool press)
{
    XTestFakeButtonEvent(Dpy(m_display), button, press ? True : False, CurrentTime);
    XSync(Dpy(m_display), False);
}

void XTestInput::Key(const char* keysymName)
{
    KeyCode code = XKeysymToKeycode(Dpy(m_display), XStringToKeysym(keysymName));
    if (code == 0)
        return;
    XTestFakeKeyEvent(Dpy(m_display), code, True, CurrentTime);
    XTestFakeKeyEvent(Dpy(m_display), code, False, CurrentTime);
    XSync(Dpy(m_display), False);
}

}  // namespace kivtest
