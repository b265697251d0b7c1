#include "kiv/gui/XDragger.h"

#include "kiv/gui/XControl.h"
#include "kiv/gui/XGraphic.h"
#include "kiv/gui/XPopup.h"

namespace {

constexpr const char* kDraggerClass = "KivDragger";
constexpr double kDragOpacity = 0.7;
const XColourValue kDragBackground = XColour::Make(235, 235, 240);

}  // namespace

XDragger::~XDragger()
{
    m_window.reset();
}

void XDragger::StartDrag(XControl* source, int x, int y)
{
    if (m_kind == 0 || !source || IsDragging())
        return;
    XBackend* backend = XBackend::Get();
    if (!backend)
        return;
    m_source = source;
    m_target = nullptr;
    m_grabX = m_currentX = x;
    m_grabY = m_currentY = y;
    m_windowRect = source->GetScreenRect();
    m_root = source->GetRoot();
    m_sourceX = source->GetScreenX() - m_root->GetX();
    m_sourceY = source->GetScreenY() - m_root->GetY();
    int w = m_windowRect.Width(), h = m_windowRect.Height();
    if (w <= 0 || h <= 0)
        return;
    xpopup::Spec desc;
    desc.className = kDraggerClass;
    desc.x = m_windowRect.left;
    desc.y = m_windowRect.top;
    desc.w = w;
    desc.h = h;
    desc.passThrough = true;
    desc.opacity = kDragOpacity;
    m_window = xpopup::Create(backend, desc);
    if (!m_window)
        return;
    m_window->SetSink(this);
    if (!m_image)
        m_image = std::make_unique<XGraphic>();
    PaintImage();
    m_window->Show();
}

void XDragger::PaintImage()
{
    int w = m_windowRect.Width(), h = m_windowRect.Height();
    m_image->BeginPaint(m_window.get(), w, h);
    m_image->FillRectangleColour(XRectangle(0, 0, w, h), kDragBackground);
    // The source draws in its own coordinates; the window shows the part of
    // it that was visible.
    int dx = m_source->GetScreenX() - m_windowRect.left;
    int dy = m_source->GetScreenY() - m_windowRect.top;
    m_image->OffsetOrigin(dx, dy);
    DrawDragImage(*m_image);
    m_image->OffsetOrigin(-dx, -dy);
    m_image->Blit();
}

void XDragger::OnNativeMessage(XNativeWindow* from, const XNativeMessage& message)
{
    if (from && from == m_window.get() && message.kind == XNativeMessage::kPaint && m_image)
        m_image->Blit();
}

void XDragger::MoveDrag(int x, int y)
{
    if (!IsDragging())
        return;
    m_currentX = x;
    m_currentY = y;
    m_window->MoveResize(m_windowRect.left + x - m_grabX, m_windowRect.top + y - m_grabY, m_windowRect.Width(),
                         m_windowRect.Height());
    int wx = m_sourceX + x, wy = m_sourceY + y;
    if (m_target && m_targetRect.Contains(wx, wy))
        return;
    // The first control under the point, from the root down, that takes
    // this kind of drag.
    XControl* found = nullptr;
    XControl* level = m_root;
    int px = wx, py = wy;
    while (level) {
        XControl* child = level->FindChildAt(px, py);
        if (!child)
            break;
        px -= child->GetX() - child->GetScrollX();
        py -= child->GetY() - child->GetScrollY();
        if (child->OnDragOver(m_source, m_kind)) {
            found = child;
            break;
        }
        level = child;
    }
    if (found == m_target)
        return;
    if (m_target)
        m_target->OnDragLeave(m_source, m_kind);
    m_target = found;
    if (m_target) {
        m_target->OnDragEnter(m_source, m_kind);
        m_targetRect = m_target->GetWindowRect();
    }
}

void XDragger::EndDrag(int x, int y)
{
    if (!IsDragging())
        return;
    m_window.reset();
    if (m_image)
        m_image->Detach();
    XControl* target = m_target;
    m_target = nullptr;
    if (target) {
        target->OnDragLeave(m_source, m_kind);
        target->OnDrop(m_source, m_kind);
    }
    OnDragEnd(x, y);
}

void XDragger::CancelDrag()
{
    if (!IsDragging())
        return;
    m_window.reset();
    if (m_image)
        m_image->Detach();
    XControl* target = m_target;
    m_target = nullptr;
    if (target)
        target->OnDragLeave(m_source, m_kind);
}
