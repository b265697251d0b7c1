// Pop-up windows of our own for menus and the drag image: no frame, placed
// exactly, above every other window (override-redirect on X11), optionally
// translucent and letting input pass through, and a grab that sends all
// pointer and key input to one of them while a menu is open. On the
// headless back end they are ordinary in-memory windows and the grab is its
// mouse capture. GUI thread only.
#pragma once
#include <memory>

#include "kiv/gui/XBackend.h"

namespace xpopup {

struct Layout {
    const char* className = "KivPopup";
    int x = 0, y = 0, w = 1, h = 1;
    bool passThrough = false;  // clicks go to the windows below
    double opacity = 1.0;      // 0..1, shown by a compositing window manager
};

// The window is made hidden; null when it cannot be made.
std::unique_ptr<XNativeWindow> Create(XBackend* backend, const Layout& desc);
// All pointer and key input goes to the window (coordinates relative to it)
// until Release. False when the grab cannot be taken now (another program
// holds it); never waits.
bool Grab(XBackend* backend, XNativeWindow* window);
void Release(XBackend* backend, XNativeWindow* window);

}  // namespace xpopup
