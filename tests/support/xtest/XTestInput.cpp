#include "support/xtest/XTestInput.h"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <cairo.h>

#include <cstring>

#include "support/xtest/WindowManager.h"

namespace kivtest {

bool ReadScreen(Display* display, int x, int y, int w, int h, std::vector<uint32_t>& pixels)
{
    if (!display || w <= 0 || h <= 0)
        return false;
    XImage* image = XGetImage(display, DefaultRootWindow(display), x, y, static_cast<unsigned>(w),
                              static_cast<unsigned>(h), AllPlanes, ZPixmap);
    if (!image)
        return false;
    pixels.resize(static_cast<size_t>(w) * h);
    for (int row = 0; row < h; ++row)
        for (int col = 0; col < w; ++col)
            pixels[static_cast<size_t>(row) * w + col] = static_cast<uint32_t>(XGetPixel(image, col, row)) & 0xFFFFFF;
    XDestroyImage(image);
    return true;
}

bool WriteScreenPng(Display* display, int x, int y, int w, int h, const std::string& path)
{
    std::vector<uint32_t> pixels;
    if (!ReadScreen(display, x, y, w, h, pixels))
        return false;
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, w, h);
    unsigned char* data = cairo_image_surface_get_data(surface);
    int stride = cairo_image_surface_get_stride(surface);
    for (int row = 0; row < h; ++row)
        std::memcpy(data + row * stride, &pixels[static_cast<size_t>(row) * w], static_cast<size_t>(w) * 4);
    cairo_surface_mark_dirty(surface);
    bool ok = cairo_surface_write_to_png(surface, path.c_str()) == CAIRO_STATUS_SUCCESS;
    cairo_surface_destroy(surface);
    return ok;
}

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
        const bool named = XGetClassHint(m_display, client, &hint);
        if (named) {
            XFree(hint.res_name);
            XFree(hint.res_class);
            hint = {};
        } else {
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
