#include "kiv/gui/X11Backend.h"

#include "kiv/gui/XPic.h"

// Xlib has its own XPoint, XRectangle and XEvent: renamed here so they do
// not meet the toolkit's types of those names (C functions link by name
// alone, so the renaming changes nothing else).
#define XPoint Xlib_XPoint
#define XRectangle Xlib_XRectangle
#define XEvent Xlib_XEvent
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <X11/extensions/XShm.h>
#undef XPoint
#undef XRectangle
#undef XEvent

#include <poll.h>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <time.h>

#include <algorithm>
#include <cstring>
#include <string>

namespace {

// Swaps in a counting error handler for the requests made while it lives,
// then syncs and puts the previous handler back.
class X11ErrorTrap {
public:
    explicit X11ErrorTrap(Display* display) : m_display(display)
    {
        XSync(m_display, False);
        s_errors = 0;
        m_previous = XSetErrorHandler(Count);
    }
    ~X11ErrorTrap()
    {
        XSync(m_display, False);
        XSetErrorHandler(m_previous);
    }
    X11ErrorTrap(const X11ErrorTrap&) = delete;
    X11ErrorTrap& operator=(const X11ErrorTrap&) = delete;
    bool Failed()
    {
        XSync(m_display, False);
        return s_errors != 0;
    }

private:
    static int Count(Display*, XErrorEvent*)
    {
        ++s_errors;
        return 0;
    }
    Display* m_display;
    XErrorHandler m_previous;
    static int s_errors;
};
int X11ErrorTrap::s_errors = 0;

// A plain pointer, so it stays valid while other static objects of a library
// are destroyed in whatever order their files were linked: Shutdown may run
// from any of them, before or after the reaper below.
X11Backend* g_backend = nullptr;

// Closes the connection at exit or unload when nobody called Shutdown.
struct BackendReaper {
    ~BackendReaper() { X11Backend::Shutdown(); }
} g_backendReaper;

int KeyCodeOf(KeySym sym)
{
    switch (sym) {
    case XK_Up:
    case XK_KP_Up:
        return xconst::kKeyUp;
    case XK_Down:
    case XK_KP_Down:
        return xconst::kKeyDown;
    case XK_Left:
    case XK_KP_Left:
        return xconst::kKeyLeft;
    case XK_Right:
    case XK_KP_Right:
        return xconst::kKeyRight;
    case XK_Delete:
    case XK_KP_Delete:
        return xconst::kKeyDelete;
    case XK_BackSpace:
        return xconst::kKeyBackspace;
    case XK_Tab:
        return xconst::kKeyTab;
    case XK_Return:
    case XK_KP_Enter:
        return xconst::kKeyReturn;
    case XK_Escape:
        return xconst::kKeyEscape;
    default:
        return 0;
    }
}

}  // namespace

class X11Window : public XNativeWindow {
public:
    X11Window(X11Backend* backend, Window window, Window parent, bool topLevel)
        : m_backend(backend), m_window(window), m_parent(parent), m_topLevel(topLevel)
    {
        m_backend->Register(this);
    }
    ~X11Window() override
    {
        m_backend->Unregister(this);
        DropSharedImage();
        Display* d = m_backend->m_display;
        // A host may already have destroyed its window and ours with it.
        X11ErrorTrap trap(d);
        XDestroyWindow(d, m_window);
    }

    uintptr_t GetHandle() const override { return m_window; }
    void SetSink(XNativeSink* sink) override { m_sink = sink; }
    XNativeSink* GetSink() const { return m_sink; }
    bool IsTopLevel() const { return m_topLevel; }
    Window GetParent() const { return m_parent; }
    bool m_wantMapped = false;
    bool m_minimised = false;
    int m_w = 0, m_h = 0;

    void Show() override
    {
        m_wantMapped = true;
        XMapWindow(m_backend->m_display, m_window);
        XFlush(m_backend->m_display);
    }
    void Hide() override
    {
        m_wantMapped = false;
        XUnmapWindow(m_backend->m_display, m_window);
        XFlush(m_backend->m_display);
    }
    void MoveResize(int x, int y, int w, int h) override
    {
        XMoveResizeWindow(m_backend->m_display, m_window, x, y, std::max(w, 1), std::max(h, 1));
        if (!m_topLevel)
            ResizedByUs(w, h);
        XFlush(m_backend->m_display);
    }
    void Resize(int w, int h) override
    {
        XResizeWindow(m_backend->m_display, m_window, std::max(w, 1), std::max(h, 1));
        if (!m_topLevel)
            ResizedByUs(w, h);
        XFlush(m_backend->m_display);
    }
    void GetScreenRect(int& x, int& y, int& w, int& h) override
    {
        Display* d = m_backend->m_display;
        X11ErrorTrap trap(d);
        Window child;
        x = y = 0;
        XTranslateCoordinates(d, m_window, DefaultRootWindow(d), 0, 0, &x, &y, &child);
        Window root;
        int gx, gy;
        unsigned gw = 0, gh = 0, border, depth;
        if (XGetGeometry(d, m_window, &root, &gx, &gy, &gw, &gh, &border, &depth)) {
            w = static_cast<int>(gw);
            h = static_cast<int>(gh);
        } else {
            w = m_w;
            h = m_h;
        }
    }
    void GetBorderSize(int& w, int& h) override { w = h = 0; }  // the window manager frames outside
    void SetSizeLimits(bool resizable, int minW, int minH, int maxW, int maxH) override
    {
        XSizeHints* hints = XAllocSizeHints();
        if (!hints)
            return;
        hints->flags = PMinSize | PMaxSize | PPosition;
        hints->min_width = std::max(minW, 1);
        hints->min_height = std::max(minH, 1);
        hints->max_width = std::max(resizable ? maxW : minW, 1);
        hints->max_height = std::max(resizable ? maxH : minH, 1);
        XSetWMNormalHints(m_backend->m_display, m_window, hints);
        XFree(hints);
    }
    void SetIcon(const XPic& pic) override
    {
        int w = pic.GetWidth(), h = pic.GetHeight();
        if (w <= 0 || h <= 0)
            return;
        std::vector<unsigned long> data(2 + static_cast<size_t>(w) * h);
        data[0] = static_cast<unsigned long>(w);
        data[1] = static_cast<unsigned long>(h);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                XColourValue c = pic.GetPixel(x, y);
                data[2 + static_cast<size_t>(y) * w + x] =
                    0xFF000000ul | (static_cast<unsigned long>(XColour::Red(c)) << 16) |
                    (static_cast<unsigned long>(XColour::Green(c)) << 8) | static_cast<unsigned long>(XColour::Blue(c));
            }
        Display* d = m_backend->m_display;
        Atom icon = XInternAtom(d, "_NET_WM_ICON", False);
        XChangeProperty(d, m_window, icon, XA_CARDINAL, 32, PropModeReplace,
                        reinterpret_cast<unsigned char*>(data.data()), static_cast<int>(data.size()));
    }
    void Raise() override
    {
        XRaiseWindow(m_backend->m_display, m_window);
        XFlush(m_backend->m_display);
    }
    void SetFocus() override
    {
        Display* d = m_backend->m_display;
        X11ErrorTrap trap(d);  // refused while the window is not viewable
        XSetInputFocus(d, m_window, RevertToParent, CurrentTime);
    }
    // The pointer stays with the pressed window while a button is held (the
    // server's implicit grab), so capture only needs recording.
    void CaptureMouse() override { m_captured = true; }
    void ReleaseMouse() override { m_captured = false; }
    bool HasCapture() const override { return m_captured; }

    void Present(const uint8_t* pixels, int stride, int x, int y, int w, int h) override
    {
        Display* d = m_backend->m_display;
        if (!pixels || w <= 0 || h <= 0)
            return;
        int screen = DefaultScreen(d);
        int depth = DefaultDepth(d, screen);
        if (depth != 24 && depth != 32)
            return;
        GC gc = DefaultGC(d, screen);
        m_backend->m_presentedBytes += static_cast<uint64_t>(w) * static_cast<uint64_t>(h) * 4u;
        if (x >= 0 && y >= 0 && SharedImageCovers(x + w, y + h)) {
            // The segment mirrors the window pixel for pixel, so a put still
            // in flight can only ever read the same or newer pixels: no
            // round trip is needed between frames.
            auto* target = reinterpret_cast<uint8_t*>(m_shmImage->data);
            size_t line = static_cast<size_t>(m_shmImage->bytes_per_line);
            for (int row = 0; row < h; ++row)
                std::memcpy(target + static_cast<size_t>(y + row) * line + static_cast<size_t>(x) * 4u,
                            pixels + static_cast<size_t>(row) * static_cast<size_t>(stride), static_cast<size_t>(w) * 4u);
            XShmPutImage(d, m_window, gc, m_shmImage, x, y, x, y, static_cast<unsigned>(w), static_cast<unsigned>(h),
                         False);
            XFlush(d);
            return;
        }
        Visual* visual = DefaultVisual(d, screen);
        XImage* image = XCreateImage(d, visual, static_cast<unsigned>(depth), ZPixmap, 0,
                                     const_cast<char*>(reinterpret_cast<const char*>(pixels)),
                                     static_cast<unsigned>(w), static_cast<unsigned>(h), 32, stride);
        if (!image)
            return;
        // The pixels are 32-bit words in this machine's byte order.
        uint32_t probe = 1;
        image->byte_order = *reinterpret_cast<uint8_t*>(&probe) ? LSBFirst : MSBFirst;
        XPutImage(d, m_window, gc, image, 0, 0, x, y, static_cast<unsigned>(w), static_cast<unsigned>(h));
        image->data = nullptr;  // the pixels belong to the caller
        XDestroyImage(image);
        m_backend->m_socketBytes += static_cast<uint64_t>(w) * static_cast<uint64_t>(h) * 4u;
        XFlush(d);
    }
    bool UsesSharedImage() const { return m_shmImage != nullptr; }

    void Deliver(const XNativeMessage& message)
    {
        if (m_sink)
            m_sink->OnNativeMessage(this, message);
    }

private:
    // A shared-memory image of at least the window's size, made when the
    // server offers MIT-SHM on this machine; false to send pixels through
    // the socket instead.
    bool SharedImageCovers(int right, int bottom)
    {
        if (m_shmImage && m_shmImage->width >= right && m_shmImage->height >= bottom)
            return true;
        if (!m_backend->HasSharedMemory())
            return false;
        int w = std::max({right, m_w, 1}), h = std::max({bottom, m_h, 1});
        if (static_cast<int64_t>(w) * h > 16384 * 4096)
            return false;
        DropSharedImage();
        Display* d = m_backend->m_display;
        int screen = DefaultScreen(d);
        XImage* image = XShmCreateImage(d, DefaultVisual(d, screen), static_cast<unsigned>(DefaultDepth(d, screen)),
                                        ZPixmap, nullptr, &m_shmInfo, static_cast<unsigned>(w), static_cast<unsigned>(h));
        if (!image)
            return false;
        uint32_t probe = 1;
        int ours = *reinterpret_cast<uint8_t*>(&probe) ? LSBFirst : MSBFirst;
        if (image->bits_per_pixel != 32 || image->byte_order != ours) {
            XDestroyImage(image);
            return false;
        }
        m_shmInfo.shmid = shmget(IPC_PRIVATE, static_cast<size_t>(image->bytes_per_line) * static_cast<size_t>(h),
                                 IPC_CREAT | 0600);
        if (m_shmInfo.shmid < 0) {
            XDestroyImage(image);
            return false;
        }
        void* memory = shmat(m_shmInfo.shmid, nullptr, 0);
        if (memory == reinterpret_cast<void*>(-1)) {
            shmctl(m_shmInfo.shmid, IPC_RMID, nullptr);
            XDestroyImage(image);
            return false;
        }
        m_shmInfo.shmaddr = image->data = static_cast<char*>(memory);
        m_shmInfo.readOnly = True;
        bool attached;
        {
            // A server on another machine refuses the segment.
            X11ErrorTrap trap(d);
            attached = XShmAttach(d, &m_shmInfo) && !trap.Failed();
        }
        // Freed by the system once both sides have let go.
        shmctl(m_shmInfo.shmid, IPC_RMID, nullptr);
        if (!attached) {
            shmdt(m_shmInfo.shmaddr);
            XDestroyImage(image);
            m_backend->m_shmRefused = true;
            return false;
        }
        m_shmImage = image;
        return true;
    }
    void DropSharedImage()
    {
        if (!m_shmImage)
            return;
        Display* d = m_backend->m_display;
        XShmDetach(d, &m_shmInfo);
        XSync(d, False);  // the server is done with the segment
        shmdt(m_shmInfo.shmaddr);
        m_shmImage->data = nullptr;
        XDestroyImage(m_shmImage);
        m_shmImage = nullptr;
    }

    void ResizedByUs(int w, int h)
    {
        if (w == m_w && h == m_h)
            return;
        m_w = w;
        m_h = h;
        XNativeMessage message;
        message.kind = XNativeMessage::kSize;
        message.value = w;
        message.value2 = h;
        Deliver(message);
    }

    X11Backend* m_backend;
    Window m_window;
    Window m_parent;
    bool m_topLevel;
    bool m_captured = false;
    XNativeSink* m_sink = nullptr;
    XShmSegmentInfo m_shmInfo{};
    XImage* m_shmImage = nullptr;
};

X11Backend* X11Backend::Instance()
{
    if (!g_backend) {
        Display* display = XOpenDisplay(nullptr);
        if (!display)
            return nullptr;
        g_backend = new X11Backend(display);
    }
    return g_backend;
}

void X11Backend::Shutdown()
{
    X11Backend* backend = g_backend;
    g_backend = nullptr;
    delete backend;
}

X11Backend::X11Backend(_XDisplay* display) : m_display(display)
{
    m_wmProtocols = XInternAtom(m_display, "WM_PROTOCOLS", False);
    m_wmDelete = XInternAtom(m_display, "WM_DELETE_WINDOW", False);
}

X11Backend::~X11Backend()
{
    if (m_display && m_clipWindow)
        XDestroyWindow(m_display, m_clipWindow);
    if (m_display)
        XCloseDisplay(m_display);
}

void X11Backend::Register(X11Window* window) { m_windows.push_back(window); }

void X11Backend::Unregister(X11Window* window)
{
    m_windows.erase(std::remove(m_windows.begin(), m_windows.end(), window), m_windows.end());
}

X11Window* X11Backend::Find(uintptr_t handle) const
{
    for (X11Window* w : m_windows) {
        if (w->GetHandle() == handle)
            return w;
    }
    return nullptr;
}

unsigned long X11Backend::TopLevelOf(unsigned long window)
{
    // The window managers keep a pop-up with the window they manage, which
    // bears WM_STATE: a host's editor window, not the child window inside
    // it that a control lives in. Without a window manager no window bears
    // it, and the one just below the root is the top level.
    Display* d = m_display;
    Atom wmState = XInternAtom(d, "WM_STATE", False);
    Window w = static_cast<Window>(window);
    for (int depth = 0; depth < 64; ++depth) {
        Atom type = None;
        int format = 0;
        unsigned long items = 0, after = 0;
        unsigned char* data = nullptr;
        if (XGetWindowProperty(d, w, wmState, 0, 0, False, AnyPropertyType, &type, &format, &items, &after, &data) ==
            Success) {
            if (data)
                XFree(data);
            if (type != None)
                return w;
        }
        Window root = 0, up = 0;
        Window* kids = nullptr;
        unsigned int count = 0;
        if (!XQueryTree(d, w, &root, &up, &kids, &count))
            return window;
        if (kids)
            XFree(kids);
        if (up == root || up == 0)
            return w;
        w = up;
    }
    return window;
}

std::unique_ptr<XNativeWindow> X11Backend::CreateTopLevel(const XWindowDesc& desc)
{
    Display* d = m_display;
    int screen = DefaultScreen(d);
    XSetWindowAttributes attributes;
    attributes.background_pixmap = None;
    attributes.event_mask = StructureNotifyMask | KeyPressMask | FocusChangeMask;
    Window window = XCreateWindow(d, RootWindow(d, screen), desc.x, desc.y, std::max(desc.w, 1),
                                  std::max(desc.h, 1), 0, CopyFromParent, InputOutput, CopyFromParent,
                                  CWBackPixmap | CWEventMask, &attributes);
    if (!window)
        return nullptr;
    std::string name = desc.className ? desc.className : "KivWindow";
    XClassHint* hint = XAllocClassHint();
    if (hint) {
        hint->res_name = name.data();
        hint->res_class = name.data();
        XSetClassHint(d, window, hint);
        XFree(hint);
    }
    std::string title = XGraphic::ToUtf8(desc.title ? desc.title : "");
    XStoreName(d, window, title.c_str());
    XChangeProperty(d, window, XInternAtom(d, "_NET_WM_NAME", False), XInternAtom(d, "UTF8_STRING", False), 8,
                    PropModeReplace, reinterpret_cast<const unsigned char*>(title.data()),
                    static_cast<int>(title.size()));
    Atom protocols[1] = {static_cast<Atom>(m_wmDelete)};
    XSetWMProtocols(d, window, protocols, 1);
    if (desc.owner) {
        X11ErrorTrap trap(d);  // the owner may be gone
        XSetTransientForHint(d, window, TopLevelOf(static_cast<Window>(desc.owner)));
    }
    auto result = std::make_unique<X11Window>(this, window, RootWindow(d, screen), true);
    result->m_w = desc.w;
    result->m_h = desc.h;
    // A fixed window given no limits is fixed at the size it is made with.
    if (!desc.resizable && desc.minW <= 0 && desc.minH <= 0)
        result->SetSizeLimits(false, desc.w, desc.h, desc.w, desc.h);
    else
        result->SetSizeLimits(desc.resizable, desc.minW, desc.minH, desc.maxW, desc.maxH);
    XFlush(d);
    return result;
}

std::unique_ptr<XNativeWindow> X11Backend::CreateChild(uintptr_t parent, const char* className, int x, int y, int w,
                                                       int h)
{
    Display* d = m_display;
    if (!parent)
        return nullptr;
    XSetWindowAttributes attributes;
    attributes.background_pixmap = None;
    attributes.event_mask =
        ExposureMask | ButtonPressMask | ButtonReleaseMask | PointerMotionMask | LeaveWindowMask | KeyPressMask;
    Window window;
    {
        // The parent may be a host's window that no longer exists.
        X11ErrorTrap trap(d);
        window = XCreateWindow(d, static_cast<Window>(parent), x, y, std::max(w, 1), std::max(h, 1), 0,
                               CopyFromParent, InputOutput, CopyFromParent, CWBackPixmap | CWEventMask, &attributes);
        if (trap.Failed() || !window)
            return nullptr;
        XClassHint* hint = XAllocClassHint();
        if (hint) {
            std::string name = className ? className : "KivControl";
            hint->res_name = name.data();
            hint->res_class = name.data();
            XSetClassHint(d, window, hint);
            XFree(hint);
        }
    }
    auto result = std::make_unique<X11Window>(this, window, static_cast<Window>(parent), false);
    result->m_w = w;
    result->m_h = h;
    return result;
}

void X11Backend::GetScreenSize(int& w, int& h)
{
    int screen = DefaultScreen(m_display);
    w = DisplayWidth(m_display, screen);
    h = DisplayHeight(m_display, screen);
}

void X11Backend::GetWorkArea(int& x, int& y, int& w, int& h)
{
    x = y = 0;
    GetScreenSize(w, h);
    // The window manager's _NET_WORKAREA: x, y, w, h for each desktop.
    Display* d = m_display;
    Window root = DefaultRootWindow(d);
    auto readCardinals = [&](const char* name, long count, std::vector<long>& out) {
        Atom type = None;
        int format = 0;
        unsigned long items = 0, after = 0;
        unsigned char* data = nullptr;
        out.clear();
        if (XGetWindowProperty(d, root, XInternAtom(d, name, False), 0, count, False, XA_CARDINAL, &type, &format,
                               &items, &after, &data) == Success &&
            data && format == 32) {
            const long* values = reinterpret_cast<const long*>(data);
            out.assign(values, values + items);
        }
        if (data)
            XFree(data);
    };
    std::vector<long> desktop, area;
    readCardinals("_NET_CURRENT_DESKTOP", 1, desktop);
    readCardinals("_NET_WORKAREA", 4 * 64, area);
    size_t n = desktop.empty() ? 0 : static_cast<size_t>(desktop[0]);
    if (area.size() < 4 * (n + 1))
        n = 0;
    if (area.size() < 4)
        return;
    long ax = area[4 * n], ay = area[4 * n + 1], aw = area[4 * n + 2], ah = area[4 * n + 3];
    // A work area that does not lie on the screen is not believed.
    if (ax < 0 || ay < 0 || aw <= 0 || ah <= 0 || ax + aw > w || ay + ah > h)
        return;
    x = static_cast<int>(ax);
    y = static_cast<int>(ay);
    w = static_cast<int>(aw);
    h = static_cast<int>(ah);
}

uint32_t X11Backend::NowMs()
{
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint32_t>(static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1000000u);
}

void X11Backend::SetTimer(XNativeSink* sink, int periodMs)
{
    KillTimer(sink);
    int period = std::max(periodMs, 1);
    m_timers.push_back(Timer{sink, period, NowMs() + static_cast<uint32_t>(period)});
}

void X11Backend::KillTimer(XNativeSink* sink)
{
    m_timers.erase(std::remove_if(m_timers.begin(), m_timers.end(), [sink](const Timer& t) { return t.sink == sink; }),
                   m_timers.end());
}

int X11Backend::FireTimers()
{
    int fired = 0;
    uint32_t now = NowMs();
    // Timers may be set or killed by the sinks: look each up again by index.
    for (size_t i = 0; i < m_timers.size(); ++i) {
        Timer& timer = m_timers[i];
        if (static_cast<int32_t>(now - timer.due) < 0)
            continue;
        // A late timer fires once and starts over rather than catching up.
        timer.due = static_cast<int32_t>(now - timer.due) >= timer.period ? now + timer.period
                                                                         : timer.due + timer.period;
        XNativeSink* sink = timer.sink;
        XNativeMessage message;
        message.kind = XNativeMessage::kTimer;
        sink->OnNativeMessage(nullptr, message);
        ++fired;
    }
    return fired;
}

int X11Backend::Pump(int timeoutMs)
{
    int count = 0;
    if (XPending(m_display) == 0 && timeoutMs > 0) {
        int wait = timeoutMs;
        uint32_t now = NowMs();
        for (const Timer& t : m_timers)
            wait = std::min(wait, std::max(0, static_cast<int32_t>(t.due - now)));
        if (wait > 0) {
            pollfd fd{ConnectionNumber(m_display), POLLIN, 0};
            poll(&fd, 1, wait);
        }
    }
    while (XPending(m_display) > 0) {
        Xlib_XEvent event;
        XNextEvent(m_display, &event);
        Dispatch(&event);
        ++count;
    }
    count += FireTimers();
    XFlush(m_display);
    return count;
}

void X11Backend::Dispatch(void* raw)
{
    Xlib_XEvent& event = *static_cast<Xlib_XEvent*>(raw);
    X11Window* window = Find(event.xany.window);
    if (!window)
        return;
    XNativeMessage message;
    switch (event.type) {
    case Expose:
        if (event.xexpose.count != 0)
            return;
        message.kind = XNativeMessage::kPaint;
        break;
    case ConfigureNotify:
        if (!window->IsTopLevel())
            return;
        if (event.xconfigure.width != window->m_w || event.xconfigure.height != window->m_h) {
            window->m_w = event.xconfigure.width;
            window->m_h = event.xconfigure.height;
            message.kind = XNativeMessage::kSize;
            message.value = window->m_w;
            message.value2 = window->m_h;
        } else {
            message.kind = XNativeMessage::kMove;
            message.x = event.xconfigure.x;
            message.y = event.xconfigure.y;
        }
        break;
    case MapNotify:
        if (!window->IsTopLevel() || !window->m_minimised)
            return;
        window->m_minimised = false;
        message.kind = XNativeMessage::kRestored;
        break;
    case UnmapNotify:
        // Unmapped by the window manager while we want it shown: minimised.
        if (!window->IsTopLevel() || !window->m_wantMapped)
            return;
        window->m_minimised = true;
        message.kind = XNativeMessage::kMinimised;
        break;
    case ClientMessage:
        if (event.xclient.message_type != m_wmProtocols ||
            static_cast<unsigned long>(event.xclient.data.l[0]) != m_wmDelete)
            return;
        message.kind = XNativeMessage::kClose;
        break;
    case ButtonPress:
    case ButtonRelease: {
        bool press = event.type == ButtonPress;
        unsigned button = event.xbutton.button;
        message.x = event.xbutton.x;
        message.y = event.xbutton.y;
        message.shift = event.xbutton.state & ShiftMask;
        message.control = event.xbutton.state & ControlMask;
        if (button == Button1) {
            message.kind = press ? XNativeMessage::kLButtonDown : XNativeMessage::kLButtonUp;
        } else if (button == Button3) {
            message.kind = press ? XNativeMessage::kRButtonDown : XNativeMessage::kRButtonUp;
        } else if ((button == Button4 || button == Button5) && press) {
            message.kind = XNativeMessage::kWheel;
            message.x = event.xbutton.x_root;
            message.y = event.xbutton.y_root;
            message.value = button == Button4 ? xconst::kWheelNotch : -xconst::kWheelNotch;
        } else {
            return;
        }
        break;
    }
    case MotionNotify:
        message.kind = XNativeMessage::kMouseMove;
        message.x = event.xmotion.x;
        message.y = event.xmotion.y;
        message.shift = event.xmotion.state & ShiftMask;
        message.control = event.xmotion.state & ControlMask;
        message.leftHeld = event.xmotion.state & Button1Mask;
        message.rightHeld = event.xmotion.state & Button3Mask;
        break;
    case LeaveNotify:
        // Moves stop at the window's edge: what the pointer was over must
        // hear that it left.
        message.kind = XNativeMessage::kMouseLeave;
        break;
    case KeyPress: {
        // Keys that reach a frame go to its client window.
        if (window->IsTopLevel()) {
            for (X11Window* w : m_windows) {
                if (!w->IsTopLevel() && w->GetParent() == window->GetHandle()) {
                    window = w;
                    break;
                }
            }
        }
        char text[8] = {};
        KeySym sym = NoSymbol;
        int length = XLookupString(&event.xkey, text, sizeof text - 1, &sym, nullptr);
        bool control = event.xkey.state & ControlMask;
        int code = KeyCodeOf(sym);
        uintptr_t handle = window->GetHandle();
        if (code) {
            message.kind = XNativeMessage::kKeyDown;
            message.value = code;
            window->Deliver(message);
            window = Find(handle);  // the key may have closed the window
            if (!window)
                return;
        }
        if (length <= 0 || code == xconst::kKeyDelete || code == xconst::kKeyUp || code == xconst::kKeyDown ||
            code == xconst::kKeyLeft || code == xconst::kKeyRight)
            return;
        message = XNativeMessage();
        message.kind = XNativeMessage::kChar;
        message.value = static_cast<unsigned char>(text[0]);
        message.control = control;
        break;
    }
    default:
        return;
    }
    window->Deliver(message);
}

bool X11Backend::ReadPixel(uintptr_t window, int x, int y, XColourValue& out)
{
    X11ErrorTrap trap(m_display);
    XImage* image = XGetImage(m_display, static_cast<Window>(window), x, y, 1, 1, AllPlanes, ZPixmap);
    if (trap.Failed() || !image)
        return false;
    unsigned long pixel = XGetPixel(image, 0, 0);
    XDestroyImage(image);
    out = XColour::Make((pixel >> 16) & 0xFF, (pixel >> 8) & 0xFF, pixel & 0xFF);
    return true;
}

void X11Backend::Sync() { XSync(m_display, False); }

bool X11Backend::HasSharedMemory()
{
    if (!m_shmChecked) {
        m_shmChecked = true;
        m_shmAvailable = XShmQueryExtension(m_display);
    }
    return m_shmAvailable && !m_shmRefused;
}

bool X11Backend::UsesSharedImage(uintptr_t window) const
{
    X11Window* found = Find(window);
    return found && found->UsesSharedImage();
}

bool X11Backend::GetClipboardText(std::string& out, size_t maxBytes)
{
    constexpr int kAnswerWaitMs = 500;  // a clipboard owner that does not answer is given up on
    Atom clipboard = XInternAtom(m_display, "CLIPBOARD", False);
    if (XGetSelectionOwner(m_display, clipboard) == None)
        return false;
    if (!m_clipWindow)
        m_clipWindow = XCreateSimpleWindow(m_display, DefaultRootWindow(m_display), 0, 0, 1, 1, 0, 0, 0);
    Atom property = XInternAtom(m_display, "KIV_CLIPBOARD", False);
    Atom incr = XInternAtom(m_display, "INCR", False);
    const Atom targets[2] = {XInternAtom(m_display, "UTF8_STRING", False), XA_STRING};
    for (Atom target : targets) {
        XDeleteProperty(m_display, m_clipWindow, property);
        XConvertSelection(m_display, clipboard, target, property, m_clipWindow, CurrentTime);
        XFlush(m_display);
        // Only the answer is taken from the queue; other events stay for Pump.
        Xlib_XEvent event;
        uint32_t start = NowMs();
        bool answered = false;
        for (;;) {
            if (XCheckTypedWindowEvent(m_display, m_clipWindow, SelectionNotify, &event)) {
                answered = true;
                break;
            }
            int left = kAnswerWaitMs - static_cast<int>(NowMs() - start);
            if (left <= 0)
                break;
            pollfd fd{ConnectionNumber(m_display), POLLIN, 0};
            poll(&fd, 1, std::min(left, 20));
        }
        if (!answered)
            return false;
        if (event.xselection.property == None)
            continue;  // the owner cannot give this form; try the next
        Atom type = None;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char* data = nullptr;
        long words = static_cast<long>(maxBytes / 4 + 1);
        if (XGetWindowProperty(m_display, m_clipWindow, property, 0, words, True, AnyPropertyType, &type, &format,
                               &count, &after, &data) != Success)
            return false;
        bool fits = type != incr && format == 8 && after == 0 && count <= maxBytes;
        if (fits)
            out.assign(reinterpret_cast<const char*>(data), count);
        if (data)
            XFree(data);
        return fits;
    }
    return false;
}
