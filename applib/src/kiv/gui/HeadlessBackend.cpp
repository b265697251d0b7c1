#include "kiv/gui/HeadlessBackend.h"

#include <algorithm>
#include <cstring>

#include "kiv/gui/XPic.h"

HeadlessWindow::HeadlessWindow(HeadlessBackend* backend, uintptr_t handle, uintptr_t parent, const char* className)
    : m_backend(backend), m_handle(handle), m_parent(parent), m_className(className ? className : "")
{
    m_backend->Register(this);
}

HeadlessWindow::~HeadlessWindow() { m_backend->Unregister(this); }

void HeadlessWindow::Show()
{
    m_mapped = true;
    m_needsPaint = true;
}

void HeadlessWindow::MoveResize(int x, int y, int w, int h)
{
    bool moved = x != m_x || y != m_y;
    bool resized = w != m_w || h != m_h;
    m_x = x;
    m_y = y;
    m_w = std::max(w, 0);
    m_h = std::max(h, 0);
    if (resized) {
        m_pixels.assign(static_cast<size_t>(m_w) * m_h, 0);
        m_needsPaint = true;
        XNativeMessage message;
        message.kind = XNativeMessage::kSize;
        message.value = m_w;
        message.value2 = m_h;
        Deliver(message);
    } else if (moved) {
        XNativeMessage message;
        message.kind = XNativeMessage::kMove;
        message.x = x;
        message.y = y;
        Deliver(message);
    }
}

void HeadlessWindow::GetScreenRect(int& x, int& y, int& w, int& h)
{
    x = m_x;
    y = m_y;
    // A child's position is in its parent; the screen position adds up.
    for (HeadlessWindow* p = m_backend->Find(m_parent); p; p = m_backend->Find(p->m_parent)) {
        x += p->m_x;
        y += p->m_y;
    }
    w = m_w;
    h = m_h;
}

void HeadlessWindow::SetSizeLimits(bool resizable, int minW, int minH, int maxW, int maxH)
{
    m_resizable = resizable;
    m_minW = minW;
    m_minH = minH;
    m_maxW = maxW;
    m_maxH = maxH;
}

void HeadlessWindow::SetIcon(const XPic& pic) { m_iconWidth = pic.GetWidth(); }

void HeadlessWindow::SetFocus() { m_backend->m_focus = this; }
void HeadlessWindow::CaptureMouse() { m_backend->m_capture = this; }
void HeadlessWindow::ReleaseMouse()
{
    if (m_backend->m_capture == this)
        m_backend->m_capture = nullptr;
}
bool HeadlessWindow::HasCapture() const { return m_backend->m_capture == this; }

void HeadlessWindow::Present(const uint8_t* pixels, int stride, int x, int y, int w, int h)
{
    ++m_presents;
    m_presentedPixels += static_cast<int64_t>(std::max(w, 0)) * std::max(h, 0);
    for (int row = 0; row < h; ++row) {
        int ty = y + row;
        if (ty < 0 || ty >= m_h)
            continue;
        const auto* source = reinterpret_cast<const uint32_t*>(pixels + static_cast<size_t>(row) * stride);
        for (int col = 0; col < w; ++col) {
            int tx = x + col;
            if (tx >= 0 && tx < m_w)
                m_pixels[static_cast<size_t>(ty) * m_w + tx] = source[col] | 0xFF000000u;
        }
    }
}

XColourValue HeadlessWindow::Pixel(int x, int y) const
{
    if (x < 0 || y < 0 || x >= m_w || y >= m_h)
        return 0;
    uint32_t word = m_pixels[static_cast<size_t>(y) * m_w + x];
    if (!word)
        return 0;
    return XColour::Make((word >> 16) & 0xFF, (word >> 8) & 0xFF, word & 0xFF);
}

void HeadlessWindow::Deliver(const XNativeMessage& message)
{
    // The sink may destroy this window: nothing here touches it afterwards.
    if (m_sink)
        m_sink->OnNativeMessage(this, message);
}

HeadlessBackend::HeadlessBackend() = default;

HeadlessBackend::~HeadlessBackend()
{
    if (XBackend::Get() == this)
        XBackend::Install(nullptr);
}

void HeadlessBackend::Register(HeadlessWindow* window) { m_windows.push_back(window); }

void HeadlessBackend::Unregister(HeadlessWindow* window)
{
    m_windows.erase(std::remove(m_windows.begin(), m_windows.end(), window), m_windows.end());
    if (m_capture == window)
        m_capture = nullptr;
    if (m_focus == window)
        m_focus = nullptr;
}

std::unique_ptr<XNativeWindow> HeadlessBackend::CreateTopLevel(const XWindowDesc& desc)
{
    auto window = std::make_unique<HeadlessWindow>(this, m_nextHandle++, 0, desc.className);
    window->m_title = desc.title ? desc.title : "";
    window->MoveResize(desc.x, desc.y, desc.w, desc.h);
    window->SetSizeLimits(desc.resizable, desc.minW, desc.minH, desc.maxW, desc.maxH);
    return window;
}

std::unique_ptr<XNativeWindow> HeadlessBackend::CreateChild(uintptr_t parent, const char* className, int x, int y,
                                                            int w, int h)
{
    if (!Find(parent))
        return nullptr;
    auto window = std::make_unique<HeadlessWindow>(this, m_nextHandle++, parent, className);
    window->MoveResize(x, y, w, h);
    return window;
}

HeadlessWindow* HeadlessBackend::Find(uintptr_t handle) const
{
    if (!handle)
        return nullptr;
    for (HeadlessWindow* w : m_windows) {
        if (w->GetHandle() == handle)
            return w;
    }
    return nullptr;
}

HeadlessWindow* HeadlessBackend::FindByClass(const char* className) const
{
    for (HeadlessWindow* w : m_windows) {
        if (w->GetClassName() == className)
            return w;
    }
    return nullptr;
}

void HeadlessBackend::SetTimer(XNativeSink* sink, int periodMs)
{
    KillTimer(sink);
    m_timers.push_back(Timer{sink, std::max(periodMs, 1), m_now + static_cast<uint32_t>(std::max(periodMs, 1))});
}

void HeadlessBackend::KillTimer(XNativeSink* sink)
{
    m_timers.erase(std::remove_if(m_timers.begin(), m_timers.end(), [sink](const Timer& t) { return t.sink == sink; }),
                   m_timers.end());
}

bool HeadlessBackend::HasTimer(XNativeSink* sink) const
{
    return std::any_of(m_timers.begin(), m_timers.end(), [sink](const Timer& t) { return t.sink == sink; });
}

int HeadlessBackend::DeliverPaints()
{
    int count = 0;
    // Windows may be made or destroyed by the paint: look each one up again.
    for (size_t i = 0; i < m_windows.size(); ++i) {
        HeadlessWindow* w = m_windows[i];
        if (!w->m_needsPaint || !w->IsMapped())
            continue;
        w->m_needsPaint = false;
        XNativeMessage message;
        message.kind = XNativeMessage::kPaint;
        w->Deliver(message);
        ++count;
    }
    return count;
}

int HeadlessBackend::Pump(int timeoutMs)
{
    (void)timeoutMs;
    return DeliverPaints();
}

void HeadlessBackend::Advance(int ms)
{
    uint32_t end = m_now + static_cast<uint32_t>(std::max(ms, 0));
    DeliverPaints();
    for (;;) {
        // The earliest timer due by the end.
        int next = -1;
        for (size_t i = 0; i < m_timers.size(); ++i) {
            if (static_cast<int32_t>(m_timers[i].due - end) <= 0 &&
                (next < 0 || static_cast<int32_t>(m_timers[i].due - m_timers[next].due) < 0))
                next = static_cast<int>(i);
        }
        if (next < 0)
            break;
        Timer& timer = m_timers[next];
        m_now = timer.due;
        timer.due += static_cast<uint32_t>(timer.period);
        XNativeSink* sink = timer.sink;
        XNativeMessage message;
        message.kind = XNativeMessage::kTimer;
        sink->OnNativeMessage(nullptr, message);
        DeliverPaints();
    }
    m_now = end;
}

HeadlessWindow* HeadlessBackend::MouseTarget(HeadlessWindow* window, int& x, int& y)
{
    if (!m_capture || m_capture == window || !window)
        return window;
    int wx, wy, ww, wh, cx, cy, cw, ch;
    window->GetScreenRect(wx, wy, ww, wh);
    m_capture->GetScreenRect(cx, cy, cw, ch);
    x += wx - cx;
    y += wy - cy;
    return m_capture;
}

void HeadlessBackend::MouseDown(HeadlessWindow* window, int x, int y, int button, bool shift, bool control)
{
    window = MouseTarget(window, x, y);
    if (!window)
        return;
    XNativeMessage message;
    message.kind = button == 0 ? XNativeMessage::kLButtonDown : XNativeMessage::kRButtonDown;
    message.x = x;
    message.y = y;
    message.shift = shift;
    message.control = control;
    message.leftHeld = button == 0;
    message.rightHeld = button != 0;
    window->Deliver(message);
}

void HeadlessBackend::MouseUp(HeadlessWindow* window, int x, int y, int button)
{
    window = MouseTarget(window, x, y);
    if (!window)
        return;
    XNativeMessage message;
    message.kind = button == 0 ? XNativeMessage::kLButtonUp : XNativeMessage::kRButtonUp;
    message.x = x;
    message.y = y;
    window->Deliver(message);
}

void HeadlessBackend::MouseMove(HeadlessWindow* window, int x, int y, bool left, bool right)
{
    window = MouseTarget(window, x, y);
    if (!window)
        return;
    XNativeMessage message;
    message.kind = XNativeMessage::kMouseMove;
    message.x = x;
    message.y = y;
    message.leftHeld = left;
    message.rightHeld = right;
    window->Deliver(message);
}

void HeadlessBackend::MouseLeave(HeadlessWindow* window)
{
    XNativeMessage message;
    message.kind = XNativeMessage::kMouseLeave;
    if (window)
        window->Deliver(message);
}

void HeadlessBackend::Wheel(HeadlessWindow* window, int x, int y, int delta)
{
    if (!window)
        return;
    int sx, sy, sw, sh;
    window->GetScreenRect(sx, sy, sw, sh);
    XNativeMessage message;
    message.kind = XNativeMessage::kWheel;
    message.x = sx + x;
    message.y = sy + y;
    message.value = delta;
    window->Deliver(message);
}

void HeadlessBackend::KeyDown(HeadlessWindow* window, int code)
{
    XNativeMessage message;
    message.kind = XNativeMessage::kKeyDown;
    message.value = code;
    if (window)
        window->Deliver(message);
}

void HeadlessBackend::Char(HeadlessWindow* window, int character, bool control)
{
    XNativeMessage message;
    message.kind = XNativeMessage::kChar;
    message.value = character;
    message.control = control;
    if (window)
        window->Deliver(message);
}

void HeadlessBackend::Minimise(HeadlessWindow* frame)
{
    XNativeMessage message;
    message.kind = XNativeMessage::kMinimised;
    if (frame)
        frame->Deliver(message);
}

void HeadlessBackend::Restore(HeadlessWindow* frame)
{
    XNativeMessage message;
    message.kind = XNativeMessage::kRestored;
    message.value = frame ? frame->GetWidth() : 0;
    message.value2 = frame ? frame->GetHeight() : 0;
    if (frame)
        frame->Deliver(message);
}

void HeadlessBackend::RequestClose(HeadlessWindow* frame)
{
    XNativeMessage message;
    message.kind = XNativeMessage::kClose;
    if (frame)
        frame->Deliver(message);
}

void HeadlessBackend::UserResize(HeadlessWindow* frame, int w, int h)
{
    if (frame)
        frame->Resize(w, h);
}

bool HeadlessBackend::GetClipboardText(std::string& out, size_t maxBytes)
{
    if (!m_hasClipboard || m_clipboard.size() > maxBytes)
        return false;
    out = m_clipboard;
    return true;
}
