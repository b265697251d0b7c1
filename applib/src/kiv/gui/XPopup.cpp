#include "kiv/gui/XPopup.h"

#include "kiv/gui/X11Backend.h"

#define XPoint Xlib_XPoint
#define XRectangle Xlib_XRectangle
#define XEvent Xlib_XEvent
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/shape.h>
#undef XPoint
#undef XRectangle
#undef XEvent

#include <algorithm>

namespace {

X11Backend* AsX11(XBackend* backend) { return dynamic_cast<X11Backend*>(backend); }

}  // namespace

namespace xpopup {

std::unique_ptr<XNativeWindow> Create(XBackend* backend, const Layout& desc)
{
    if (!backend)
        return nullptr;
    XWindowDesc window;
    window.className = desc.className;
    window.title = desc.className;
    window.x = desc.x;
    window.y = desc.y;
    window.w = std::max(desc.w, 1);
    window.h = std::max(desc.h, 1);
    window.minW = window.maxW = window.w;
    window.minH = window.maxH = window.h;
    std::unique_ptr<XNativeWindow> made = backend->CreateTopLevel(window);
    X11Backend* x11 = AsX11(backend);
    if (!made || !x11)
        return made;
    Display* d = x11->GetDisplay();
    Window handle = static_cast<Window>(made->GetHandle());
    // No window manager frame or placement: the window lands where asked.
    XSetWindowAttributes attributes;
    attributes.override_redirect = True;
    attributes.save_under = True;
    XChangeWindowAttributes(d, handle, CWOverrideRedirect | CWSaveUnder, &attributes);
    XSelectInput(d, handle,
                 ExposureMask | ButtonPressMask | ButtonReleaseMask | PointerMotionMask | KeyPressMask |
                     StructureNotifyMask);
    if (desc.passThrough) {
        int event, error;
        if (XShapeQueryExtension(d, &event, &error))
            XShapeCombineRectangles(d, handle, ShapeInput, 0, 0, nullptr, 0, ShapeSet, Unsorted);
    }
    if (desc.opacity < 1.0) {
        unsigned long value = static_cast<unsigned long>(std::clamp(desc.opacity, 0.0, 1.0) * 0xFFFFFFFFu);
        XChangeProperty(d, handle, XInternAtom(d, "_NET_WM_WINDOW_OPACITY", False), XA_CARDINAL, 32,
                        PropModeReplace, reinterpret_cast<unsigned char*>(&value), 1);
    }
    XFlush(d);
    return made;
}

bool Grab(XBackend* backend, XNativeWindow* window)
{
    if (!backend || !window)
        return false;
    X11Backend* x11 = AsX11(backend);
    if (!x11) {
        window->CaptureMouse();
        return true;
    }
    Display* d = x11->GetDisplay();
    Window handle = static_cast<Window>(window->GetHandle());
    // The window is viewable once the server has mapped it.
    XSync(d, False);
    // Every pointer event comes to this window, wherever the pointer is.
    int pointer = XGrabPointer(d, handle, False, ButtonPressMask | ButtonReleaseMask | PointerMotionMask, GrabModeAsync,
                               GrabModeAsync, None, None, CurrentTime);
    if (pointer != GrabSuccess)
        return false;
    XGrabKeyboard(d, handle, False, GrabModeAsync, GrabModeAsync, CurrentTime);
    XFlush(d);
    window->CaptureMouse();
    return true;
}

void Release(XBackend* backend, XNativeWindow* window)
{
    if (!window)
        return;
    window->ReleaseMouse();
    X11Backend* x11 = AsX11(backend);
    if (!x11)
        return;
    Display* d = x11->GetDisplay();
    XUngrabPointer(d, CurrentTime);
    XUngrabKeyboard(d, CurrentTime);
    XFlush(d);
}

}  // namespace xpopup
