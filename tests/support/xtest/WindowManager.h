// A real window manager (Debian's openbox) on a test's private X server, so
// a test sees windows as a user's desktop treats them: framed, placed, held
// to their size hints, kept with the windows they are transient for.
// Started with a bounded wait until it manages the screen; stopped with
// the object.
#pragma once
#include <sys/types.h>

#include <string>

struct _XDisplay;

namespace kivtest {

class WindowManager {
public:
    WindowManager() = default;
    ~WindowManager();
    WindowManager(const WindowManager&) = delete;
    WindowManager& operator=(const WindowManager&) = delete;

    // Starts openbox on the server of `display` (a connection the caller
    // keeps) and waits until it has taken the screen. False, with
    // SkipReason() set, when openbox is not installed; false with Error()
    // set when it did not come up.
    bool Start(_XDisplay* display);
    void Stop();
    const std::string& SkipReason() const { return m_skip; }
    const std::string& Error() const { return m_error; }

    // The window manager's frame around a client window (the client itself
    // when it is not framed).
    static unsigned long FrameOf(_XDisplay* display, unsigned long client);
    // The client window inside a frame: the first window down from it that
    // bears WM_STATE; 0 when none does.
    static unsigned long ClientIn(_XDisplay* display, unsigned long frame);

private:
    pid_t m_pid = 0;
    std::string m_skip;
    std::string m_error;
};

}  // namespace kivtest
