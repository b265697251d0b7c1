// X11Backend: real windows on an X display through Xlib. One connection per
// process, opened on first use; windows, input, timers and painting all run
// on the GUI thread that pumps it (the utility's own loop, or the editor's
// idle calls inside a host). Xlib error handlers are only ever swapped in
// around a request that may fail (a host's window that is already gone) and
// put back at once: the process-wide handler belongs to the host.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "kiv/gui/XBackend.h"

struct _XDisplay;
class X11Window;

class X11Backend : public XBackend {
public:
    // The process's X11 back end; null when no display can be opened.
    static X11Backend* Instance();
    // Closes the connection (when the library is unloaded, or before a
    // test's server goes away). Every window must be gone by then.
    static void Shutdown();
    ~X11Backend() override;

    std::unique_ptr<XNativeWindow> CreateTopLevel(const XWindowDesc& desc) override;
    std::unique_ptr<XNativeWindow> CreateChild(uintptr_t parent, const char* className, int x, int y, int w,
                                               int h) override;
    void GetScreenSize(int& w, int& h) override;
    void GetWorkArea(int& x, int& y, int& w, int& h) override;
    uint32_t NowMs() override;
    void SetTimer(XNativeSink* sink, int periodMs) override;
    void KillTimer(XNativeSink* sink) override;
    int Pump(int timeoutMs) override;
    bool GetClipboardText(std::string& out, size_t maxBytes) override;

    // Reads one pixel of a window back from the server (for tests).
    bool ReadPixel(uintptr_t window, int x, int y, XColourValue& out);
    // Waits until the server has handled every request made so far.
    void Sync();
    // Pictures go through MIT-SHM when the server offers it on this machine
    // (else through the socket). What tests and benchmarks read: whether a
    // window's pictures went through shared memory, pixel bytes presented
    // and the pixel bytes of those that went through the socket.
    bool HasSharedMemory();
    bool UsesSharedImage(uintptr_t window) const;
    uint64_t GetPresentedBytes() const { return m_presentedBytes; }
    uint64_t GetSocketBytes() const { return m_socketBytes; }

    _XDisplay* GetDisplay() const { return m_display; }
    void Register(X11Window* window);
    void Unregister(X11Window* window);

private:
    explicit X11Backend(_XDisplay* display);
    void Dispatch(void* event);
    // The top-level window a window lies in (a window manager's client, or
    // the child of the root); the window itself when it cannot be told.
    unsigned long TopLevelOf(unsigned long window);
    int FireTimers();
    X11Window* Find(uintptr_t handle) const;

    struct Timer {
        XNativeSink* sink;
        int period;
        uint32_t due;
    };
    _XDisplay* m_display;
    std::vector<X11Window*> m_windows;
    std::vector<Timer> m_timers;
    unsigned long m_wmProtocols = 0;
    unsigned long m_wmDelete = 0;
    unsigned long m_clipWindow = 0;  // receives the clipboard's text, made on first paste
    bool m_shmChecked = false;
    bool m_shmAvailable = false;
    bool m_shmRefused = false;  // the server would not attach a segment (not on this machine)
    uint64_t m_presentedBytes = 0;
    uint64_t m_socketBytes = 0;
    friend class X11Window;
};
