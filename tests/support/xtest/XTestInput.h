// Real pointer and key input for tests on a private X server, sent through
// the XTEST extension on a connection of its own (to $DISPLAY). Kept apart
// from the toolkit's headers, whose names Xlib's would clash with.
#pragma once

namespace kivtest {

class XTestInput {
public:
    XTestInput();
    ~XTestInput();
    XTestInput(const XTestInput&) = delete;
    XTestInput& operator=(const XTestInput&) = delete;

    // The server is reachable and has the extension.
    bool Usable() const;
    // Screen coordinates; each call waits until the server has the event.
    void Move(int x, int y);
    void Button(unsigned button, bool press);
    // A key by its X keysym name ("k", "Return", "BackSpace"), pressed and released.
    void Key(const char* keysymName);

private:
    void* m_display;
};

}  // namespace kivtest
