// Real pointer and key input for tests on a private X server, sent through
// the XTEST extension on a connection of its own. Kept apart from the
// toolkit's headers, whose names Xlib's would clash with.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

struct _XDisplay;

namespace kivtest {

// A part of the display's screen as 0xRRGGBB pixels, row by row; false when
// the server would not give it.
bool ReadScreen(_XDisplay* display, int x, int y, int w, int h, std::vector<uint32_t>& pixels);
// The same part of the screen written to a PNG file; false on failure.
bool WriteScreenPng(_XDisplay* display, int x, int y, int w, int h, const std::string& path);

class XTestInput {
public:
    // On the server of displayName, or of $DISPLAY when null.
    explicit XTestInput(const char* displayName = nullptr);
    ~XTestInput();
    XTestInput(const XTestInput&) = delete;
    XTestInput& operator=(const XTestInput&) = delete;

    // The server is reachable and has the extension.
    bool Usable() const;
    // The connection, for the checks a test makes on the server's windows
    // and screen; null when the server did not answer.
    _XDisplay* Dpy() const { return m_display; }
    // Screen coordinates; each call waits until the server has the event.
    void Move(int x, int y);
    void Button(unsigned button, bool press);
    // A key by its X keysym name ("k", "Return", "BackSpace"), pressed and
    // released, with Shift where the keysym needs it and with another key
    // held around it when heldName ("Control_L") is given. False when the
    // server has no key for the name.
    bool Key(const char* keysymName, const char* heldName = nullptr);

    // A viewable top-level window: its screen rectangle and WM_CLASS.
    struct ShownWindow {
        unsigned long id;
        int x, y, w, h;
        std::string name, cls;
    };
    // The viewable top-level windows, in stacking order (newest last).
    std::vector<ShownWindow> ShownWindows() const;

private:
    _XDisplay* m_display;
};

}  // namespace kivtest
