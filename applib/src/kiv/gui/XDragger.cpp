#include "kiv/gui/XDragger.h"

#include <algorithm>

#include "kiv/gui/XControl.h"
#include "kiv/gui/XGraphic.h"
#include "kiv/gui/XPopup.h"

namespace {

constexpr const char* kDraggerClass = "KivDragger";
constexpr double kDragOpacity = 0.7;
const XColourValue kDragBackground = XColour::Make(235, 235, 240);
const XColourValue kDragFrame = XColour::Make(120, 120, 130);
constexpr int kImagePad = 2;     // background kept around the drawn things
// The image sits below and right of the pointer's hot spot, clear of the
// arrow, so the target under the pointer and its highlight stay in view.
constexpr int kPointerGapX = 16;
constexpr int kPointerGapY = 4;

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
    m_root = source->GetRoot();
    m_sourceX = source->GetScreenX() - m_root->GetX();
    m_sourceY = source->GetScreenY() - m_root->GetY();
    if (!m_image)
        m_image = std::make_unique<XGraphic>();
    // Only the dragged things are shown: their image is cut out of the
    // source's visible part.
    XRect visible = source->GetScreenRect();
    if (visible.Width() <= 0 || visible.Height() <= 0)
        return;
    m_imageRect = FindImageRect(visible);
    xpopup::Layout desc;
    desc.className = kDraggerClass;
    PlaceWindow(x, y);
    desc.x = m_windowRect.left;
    desc.y = m_windowRect.top;
    desc.w = m_windowRect.Width();
    desc.h = m_windowRect.Height();
    desc.passThrough = true;
    desc.opacity = kDragOpacity;
    m_window = xpopup::Create(backend, desc);
    if (!m_window)
        return;
    m_window->SetSink(this);
    PaintImage();
    m_window->Show();
}

XRect XDragger::FindImageRect(const XRect& visible)
{
    // The source draws in its own coordinates; (dx, dy) is its content
    // origin within the visible part.
    int w = visible.Width(), h = visible.Height();
    int dx = m_source->GetScreenX() - visible.left;
    int dy = m_source->GetScreenY() - visible.top;
    m_image->BeginPaint(nullptr, w, h);
    m_image->FillRectangleColour(XRectangle(0, 0, w, h), kDragBackground);
    m_image->OffsetOrigin(dx, dy);
    DrawDragImage(*m_image);
    m_image->OffsetOrigin(-dx, -dy);
    XRect ink(w, h, -1, -1);
    for (int py = 0; py < h; ++py)
        for (int px = 0; px < w; ++px)
            if (m_image->GetPixel(px, py) != kDragBackground) {
                ink.left = std::min(ink.left, px);
                ink.right = std::max(ink.right, px);
                ink.top = std::min(ink.top, py);
                ink.bottom = std::max(ink.bottom, py);
            }
    if (ink.right < ink.left)
        return XRect(-dx, -dy, -dx, -dy);  // nothing drawn: a one-pixel mark
    // In the source's content coordinates, with a little room around.
    return XRect(ink.left - dx - kImagePad, ink.top - dy - kImagePad, ink.right - dx + kImagePad,
                 ink.bottom - dy + kImagePad);
}

void XDragger::PlaceWindow(int x, int y)
{
    int left = m_root->GetX() + m_sourceX + x + kPointerGapX;
    int top = m_root->GetY() + m_sourceY + y + kPointerGapY;
    m_windowRect = XRect(left, top, left + m_imageRect.Width() - 1, top + m_imageRect.Height() - 1);
}

void XDragger::PaintImage()
{
    int w = m_imageRect.Width(), h = m_imageRect.Height();
    m_image->BeginPaint(m_window.get(), w, h);
    m_image->FillRectangleColour(XRectangle(0, 0, w, h), kDragBackground);
    m_image->OffsetOrigin(-m_imageRect.left, -m_imageRect.top);
    DrawDragImage(*m_image);
    m_image->OffsetOrigin(m_imageRect.left, m_imageRect.top);
    m_image->SetPen(kDragFrame);
    m_image->DrawFrame(0, 0, w, h);
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
    PlaceWindow(x, y);
    m_window->MoveResize(m_windowRect.left, m_windowRect.top, m_windowRect.Width(), m_windowRect.Height());
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

XControl* XDragger::LeaveTarget()
{
    m_window.reset();
    if (m_image)
        m_image->Detach();
    XControl* target = m_target;
    m_target = nullptr;
    if (target)
        target->OnDragLeave(m_source, m_kind);
    return target;
}

void XDragger::EndDrag(int x, int y)
{
    if (!IsDragging())
        return;
    if (XControl* target = LeaveTarget())
        target->OnDrop(m_source, m_kind);
    OnDragEnd(x, y);
}

void XDragger::CancelDrag()
{
    if (IsDragging())
        LeaveTarget();
}
