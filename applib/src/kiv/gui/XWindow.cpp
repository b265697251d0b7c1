#include "kiv/gui/XWindow.h"

#include "kiv/gui/XPic.h"
#include "kiv/gui/XView.h"

XWindow::XWindow(XView* view) { SetView(view); }

XWindow::~XWindow() { Close(true); }

bool XWindow::Create()
{
    if (!m_root)
        return false;
    if (m_frameWindow)
        return true;
    XBackend* backend = XBackend::Get();
    if (!backend)
        return false;

    XWindowDesc desc;
    desc.className = "KivWindow";
    desc.title = m_root->GetText();
    desc.owner = m_owner ? m_owner->GetWindowHandle() : 0;
    desc.x = m_root->GetX() - m_root->GetScrollX();
    desc.y = m_root->GetY() - m_root->GetScrollY();
    desc.w = m_root->GetWidth();
    desc.h = m_root->GetHeight();
    desc.resizable = m_root->HasSizeLimits();
    m_frameWindow = backend->CreateTopLevel(desc);
    if (!m_frameWindow)
        return false;
    m_frameWindow->SetSink(this);
    if (const char* icon = m_root->GetIcon()) {
        XPic pic;
        if (pic.Load(icon))
            m_frameWindow->SetIcon(pic);
    }
    m_frameWindow->GetBorderSize(m_borderW, m_borderH);
    int w = m_root->GetWidth(), h = m_root->GetHeight();
    // Fixed-size windows keep their size; others are bounded by the limits.
    int minW, maxW, minH, maxH;
    m_root->GetSizeLimits(minW, maxW, minH, maxH);
    if (desc.resizable)
        m_frameWindow->SetSizeLimits(true, minW + m_borderW, minH + m_borderH, maxW + m_borderW, maxH + m_borderH);
    else
        m_frameWindow->SetSizeLimits(false, w + m_borderW, h + m_borderH, w + m_borderW, h + m_borderH);

    int left = desc.x, top = desc.y;
    if (m_root->IsCentred()) {
        if (m_owner) {
            left = m_owner->GetScreenX() + (m_owner->GetWidth() - w) / 2;
            top = m_owner->GetScreenY() + (m_owner->GetHeight() - h) / 2;
        } else {
            int sw, sh;
            backend->GetScreenSize(sw, sh);
            left = sw / 2 - w / 2;
            top = sh / 2 - h / 2;
        }
    }
    m_frameWindow->MoveResize(left, top, w + m_borderW, h + m_borderH);
    SetFrameWindow(m_frameWindow->GetHandle());

    m_clientWindow = backend->CreateChild(m_frameWindow->GetHandle(), "KivControl", 0, 0, w, h);
    if (!m_clientWindow) {
        m_frameWindow.reset();
        SetFrameWindow(0);
        return false;
    }
    m_clientWindow->SetSink(this);
    SetClientWindow(m_clientWindow.get());
    return true;
}

bool XWindow::Show()
{
    if (!Create())
        return false;
    m_root->SetVisible(true);
    m_root->OnShow();
    m_clientWindow->Show();
    m_frameWindow->Show();
    m_frameWindow->Raise();
    return true;
}

void XWindow::Close(bool destroy)
{
    (void)destroy;  // our windows are always destroyed with their objects
    if (!m_frameWindow)
        return;
    StopTimer();
    if (m_root) {
        m_root->OnClosing();
        m_root->SetVisible(false);
    }
    m_clientWindow.reset();
    m_frameWindow.reset();
    SetFrameWindow(0);
    SetClientWindow(nullptr);
    if (m_root)
        m_root->NotifyFrom(m_root, static_cast<int>(xconst::kCodeWindowClosed), 0);
}

void XWindow::OnSize(int w, int h)
{
    ForwardResize(w, h);
    if (m_clientWindow)
        m_clientWindow->MoveResize(0, 0, w, h);
}

void XWindow::OnNativeMessage(XNativeWindow* from, const XNativeMessage& message)
{
    if (from && from == m_frameWindow.get())
        FrameProc(message);
    else
        WindowProc(message);
}

void XWindow::FrameProc(const XNativeMessage& message)
{
    switch (message.kind) {
    case XNativeMessage::kMinimised:
        m_running = 0;
        break;
    case XNativeMessage::kRestored:
        m_running = 1;
        break;
    case XNativeMessage::kSize:
        m_running = 1;
        OnSize(message.value - m_borderW, message.value2 - m_borderH);
        break;
    case XNativeMessage::kMove:
        UpdateScreenPosition();
        break;
    case XNativeMessage::kClose:
        Close(true);
        break;
    default:
        break;
    }
}

void XWindow::RaiseFrame()
{
    if (m_frameWindow)
        m_frameWindow->Raise();
}

void XWindow::ResizeFrameBy(int dw, int dh)
{
    if (!m_frameWindow || (dw == 0 && dh == 0))
        return;
    int x, y, w, h;
    m_frameWindow->GetScreenRect(x, y, w, h);
    if (m_root && !m_root->HasSizeLimits()) {
        // A fixed-size window keeps exactly the view's size.
        int nw = w + dw, nh = h + dh;
        m_frameWindow->SetSizeLimits(false, nw, nh, nw, nh);
    }
    m_frameWindow->Resize(w + dw, h + dh);
}
