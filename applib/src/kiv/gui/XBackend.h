// The platform below the toolkit: native windows, input, timers and the
// clock. XBackend is implemented by the X11 back end (real windows) and the
// headless back end (in-memory windows with injectable input and a virtual
// clock, for tests). Everything here runs on the GUI thread.
//
// Native windows report to their sink in toolkit terms (XNativeMessage):
// the back end has already turned its own events into presses, moves, keys
// with toolkit key codes, characters, wheel notches, sizes and closes.
#pragma once
#include <cstdint>
#include <cstddef>
#include <memory>
#include <string>

#include "kiv/gui/XGraphic.h"

class XNativeWindow;

struct XNativeMessage {
    enum Kind {
        kPaint,        // the window needs its picture
        kKeyDown,      // value = toolkit key code (1..9)
        kChar,         // value = character; control = Control held
        kMouseMove,    // x, y; leftHeld/rightHeld
        kMouseLeave,   // the pointer left the window
        kLButtonDown,  // x, y (client coordinates, negative outside)
        kLButtonUp,
        kRButtonDown,
        kRButtonUp,
        kWheel,        // x, y on the screen; value = delta, 120 per notch
        kTimer,        // the sink's timer
        kSize,         // value = width, value2 = height of the client area
        kMove,         // x, y = new screen position
        kMinimised,
        kRestored,
        kClose,        // the user asked to close the window
    };
    Kind kind = kPaint;
    int x = 0;
    int y = 0;
    int value = 0;
    int value2 = 0;
    bool shift = false;
    bool control = false;
    bool leftHeld = false;
    bool rightHeld = false;
};

class XNativeSink {
public:
    virtual ~XNativeSink() = default;
    // `from` is null for timer messages.
    virtual void OnNativeMessage(XNativeWindow* from, const XNativeMessage& message) = 0;
};

// What a top-level window is made with.
struct XWindowDesc {
    const char* className = "KivWindow";
    const char* title = nullptr;
    int x = 0, y = 0, w = 1, h = 1;
    uintptr_t owner = 0;     // pop-up over this window
    bool resizable = false;  // else fixed at its size
    int minW = 0, minH = 0, maxW = 0, maxH = 0;
};

// A native window, destroyed with the object. Pictures reach it through
// XPaintTarget::Present.
class XNativeWindow : public XPaintTarget {
public:
    ~XNativeWindow() override = default;
    virtual uintptr_t GetHandle() const = 0;
    virtual void SetSink(XNativeSink* sink) = 0;
    virtual void Show() = 0;
    virtual void Hide() = 0;
    virtual void MoveResize(int x, int y, int w, int h) = 0;
    virtual void Resize(int w, int h) = 0;
    // Position on the screen and size of the window.
    virtual void GetScreenRect(int& x, int& y, int& w, int& h) = 0;
    // Outer size minus client size (0 where the window manager draws the
    // frame outside the window).
    virtual void GetBorderSize(int& w, int& h) = 0;
    virtual void SetSizeLimits(bool resizable, int minW, int minH, int maxW, int maxH) = 0;
    virtual void SetIcon(const XPic& pic) = 0;
    virtual void Raise() = 0;
    virtual void SetFocus() = 0;
    virtual void CaptureMouse() = 0;
    virtual void ReleaseMouse() = 0;
    virtual bool HasCapture() const = 0;
};

class XBackend {
public:
    virtual ~XBackend() = default;

    // The back end in use: the installed one, else the X11 back end (null
    // when no X display can be opened).
    static XBackend* Get();
    // Installs a back end (not owned; null returns to the default).
    static void Install(XBackend* backend);

    // Opens a document or address with the desktop's opener ("xdg-open",
    // or the program named by KIV_OPEN_COMMAND) as a detached process.
    static bool OpenDocument(const char* path);

    virtual std::unique_ptr<XNativeWindow> CreateTopLevel(const XWindowDesc& desc) = 0;
    // A child of any native window (ours or a host's); null when the parent
    // does not exist.
    virtual std::unique_ptr<XNativeWindow> CreateChild(uintptr_t parent, const char* className, int x, int y,
                                                       int w, int h) = 0;
    virtual void GetScreenSize(int& w, int& h) = 0;
    // The part of the screen that windows may cover (without the desktop's
    // panels); the whole screen where the desktop does not say.
    virtual void GetWorkArea(int& x, int& y, int& w, int& h)
    {
        x = y = 0;
        GetScreenSize(w, h);
    }
    // Milliseconds of a steady clock.
    virtual uint32_t NowMs() = 0;
    // A repeating timer for a sink (one per sink; setting again replaces it).
    virtual void SetTimer(XNativeSink* sink, int periodMs) = 0;
    virtual void KillTimer(XNativeSink* sink) = 0;
    // Delivers waiting input, paints and due timers, waiting at most
    // timeoutMs for something to arrive. Returns the number of messages.
    virtual int Pump(int timeoutMs) = 0;
    // Reads the text on the clipboard into out; false when there is none or
    // it is longer than maxBytes bytes. Waits a bounded time for the program
    // that holds the clipboard to answer.
    virtual bool GetClipboardText(std::string& out, size_t maxBytes)
    {
        (void)out;
        (void)maxBytes;
        return false;
    }
};
