#include "kiv/gui/XWinGui.h"

#include "kiv/gui/XFileNav.h"
#include "kiv/gui/XMenu.h"
#include "kiv/gui/XView.h"

using namespace xconst;

XWinGui::XWinGui() : m_toolTip(std::make_unique<XToolTip>()) {}

XGraphic& XWinGui::GetGraphic()
{
    // Made on first use: a plug-in object whose editor never opens starts
    // no font or drawing library.
    if (!m_graphic)
        m_graphic = std::make_unique<XGraphic>();
    return *m_graphic;
}

XWinGui::~XWinGui()
{
    StopTimer();
    DestroyClientWindow();
}

void XWinGui::SetView(XView* view)
{
    m_root = view;
    if (m_root && m_frame)
        m_root->SetNativeWindow(m_frame);
}

void XWinGui::SetFrameWindow(uintptr_t handle)
{
    m_frame = handle;
    if (m_root && handle)
        m_root->SetNativeWindow(handle);
}

void XWinGui::SetClientWindow(XNativeWindow* window)
{
    m_client = window;
    if (window)
        UpdateScreenPosition();
}

XNativeWindow* XWinGui::CreateClientWindow(uintptr_t parent, const char* className, int w, int h)
{
    DestroyClientWindow();
    XBackend* backend = XBackend::Get();
    if (!backend)
        return nullptr;
    m_ownedClient = backend->CreateChild(parent, className, 0, 0, w, h);
    if (!m_ownedClient)
        return nullptr;
    m_ownedClient->SetSink(this);
    m_ownedClient->Show();
    SetClientWindow(m_ownedClient.get());
    return m_ownedClient.get();
}

void XWinGui::DestroyClientWindow()
{
    if (!m_ownedClient)
        return;
    if (m_client == m_ownedClient.get())
        m_client = nullptr;
    m_ownedClient.reset();
}

void XWinGui::UpdateScreenPosition()
{
    if (!m_client)
        return;
    int x, y, w, h;
    m_client->GetScreenRect(x, y, w, h);
    m_screenLeft = x;
    m_screenTop = y;
    if (m_root)
        m_root->SetPosition(x + m_clientOffsetX, y + m_clientOffsetY);
}

void XWinGui::ForwardResize(int w, int h)
{
    if (m_root)
        m_root->OnWindowResized(w, h);
}

void XWinGui::StartTimer()
{
    if (m_timer)
        return;
    XBackend* backend = XBackend::Get();
    if (!backend)
        return;
    m_running = 1;
    m_tickCount = 0;
    backend->SetTimer(this, kTickMs);
    m_timerBackend = backend;
    m_timer = 1;
}

void XWinGui::StopTimer()
{
    if (!m_timer)
        return;
    // A menu opened from this window goes with it.
    XMenu::CloseWithin(m_root);
    if (m_timerBackend)
        m_timerBackend->KillTimer(this);
    m_timerBackend = nullptr;
    m_timer = 0;
    if (m_root) {
        m_root->Invalidate();
        m_root->OnHide();
    }
}

void XWinGui::OnTick()
{
    if (!m_running || !m_root)
        return;
    ++m_tickCount;
    // An open file dialog's answer is queued before the view drains.
    XFileNav::Poll();
    bool repaint = m_root->Tick(m_tickCount);
    if (m_root->TakeCloseRequest()) {
        OnCloseRequest();
        return;
    }
    if (m_root->TakeRaiseRequest())
        RaiseFrame();
    if (m_root->HasRequestedSize()) {
        m_running = 0;
        int dw, dh;
        m_root->TakeRequestedSize(dw, dh);
        ResizeFrameBy(dw, dh);
        m_running = 1;
    }
    if (repaint)
        Repaint();
}

void XWinGui::ResizeFrameBy(int dw, int dh)
{
    if (!m_client || (dw == 0 && dh == 0))
        return;
    int x, y, w, h;
    m_client->GetScreenRect(x, y, w, h);
    m_client->Resize(w + dw, h + dh);
}

void XWinGui::Paint(XPaintTarget* target)
{
    if (!m_root)
        return;
    if (!m_timer)
        StartTimer();
    XGraphic& graphic = GetGraphic();
    graphic.BeginPaint(target, m_root->GetWidth(), m_root->GetHeight());
    // A new surface holds nothing yet: everything is drawn.
    m_root->PaintTree(graphic, graphic.IsNewSurface());
    graphic.Blit();
}

void XWinGui::Repaint()
{
    if (!m_frame || !m_client || !m_root)
        return;
    // Outside an expose the window still shows its picture: only what this
    // pass draws is sent.
    GetGraphic().SetDamageOnly();
    Paint(m_client);
}

bool XWinGui::KeyDown(int character, int modifiers, int code)
{
    XKeyEvent key;
    key.character = character;
    key.modifiers = modifiers;
    key.code = code;
    // A host that keeps the keyboard passes the keys on: a shown menu takes
    // them.
    if (code && XMenu::HandleKey(code))
        return true;
    if (modifiers & kModControl) {
        int lower = character | 0x20;
        int shortcut = lower == 'c' ? kKeyCopy : lower == 'v' ? kKeyPaste : lower == 'x' ? kKeyCut : 0;
        if (shortcut) {
            key.code = shortcut;
            key.character = 0;
        }
    }
    return m_root ? m_root->HandleKey(key) : false;
}

void XWinGui::OnNativeMessage(XNativeWindow* from, const XNativeMessage& message)
{
    (void)from;
    WindowProc(message);
}

void XWinGui::WindowProc(const XNativeMessage& message)
{
    if (message.kind == XNativeMessage::kTimer) {
        OnTick();
        return;
    }
    if (!m_root)
        return;
    switch (message.kind) {
    case XNativeMessage::kPaint:
        if (m_client)
            Paint(m_client);
        break;
    case XNativeMessage::kKeyDown:
        KeyDown(0, 0, message.value);
        break;
    case XNativeMessage::kChar:
        if (!message.control)
            KeyDown(message.value, 0, 0);
        else if (message.value == 3)
            KeyDown(0, 0, kKeyCopy);
        else if (message.value == 22)
            KeyDown(0, 0, kKeyPaste);
        break;
    case XNativeMessage::kMouseMove:
        if (message.leftHeld || message.rightHeld)
            m_root->HandleMouseMove(message.x, message.y, message.shift, message.control);
        else
            m_root->HandleHover(message.x, message.y);
        break;
    case XNativeMessage::kMouseLeave:
        m_root->HandlePointerLeave();
        break;
    case XNativeMessage::kLButtonDown: {
        UpdateScreenPosition();
        // A press made before a shown menu took the pointer dismisses it.
        XMenu::Dismiss();
        XBackend* backend = XBackend::Get();
        uint32_t now = backend ? backend->NowMs() : 0;
        if (m_root->TakeLeftPress(message.x, message.y, now) && m_root->HandleDoubleClick(message.x, message.y))
            break;
        if (m_root->HandleMouseDown(message.x, message.y, 0, message.shift, message.control) && m_client)
            m_client->CaptureMouse();
        if (m_client)
            m_client->SetFocus();
        break;
    }
    case XNativeMessage::kRButtonDown:
        XMenu::Dismiss();
        if (m_root->HandleMouseDown(message.x, message.y, 1, message.shift, message.control) && m_client)
            m_client->CaptureMouse();
        break;
    case XNativeMessage::kLButtonUp:
    case XNativeMessage::kRButtonUp:
        m_root->HandleMouseUp(message.x, message.y, message.kind == XNativeMessage::kLButtonUp ? 0 : 1);
        if (m_client && m_client->HasCapture())
            m_client->ReleaseMouse();
        break;
    case XNativeMessage::kWheel: {
        if (m_client) {
            int x, y, w, h;
            m_client->GetScreenRect(x, y, w, h);
            m_screenLeft = x;
            m_screenTop = y;
        }
        m_root->HandleWheel(message.x - m_screenLeft, message.y - m_screenTop, 0, message.value / kWheelDivisor);
        break;
    }
    default:
        break;
    }
}
