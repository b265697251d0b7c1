#include "kiv/gui/XScrollBar.h"

#include <algorithm>

#include "kiv/gui/XGraphic.h"
#include "kiv/gui/XInput.h"

using namespace xconst;

namespace {
constexpr int kButtonSpan = 13;    // pixels of a step button along the axis
constexpr int kThumbMargin = 16;   // pixels kept clear at each end for the buttons
constexpr int kTrackReserve = 32;  // track length minus the room the thumb moves in
constexpr int kDragReserve = 35;   // divisor offset of the thumb drag scale
}  // namespace

XScrollBar::XScrollBar(XControl* parent, int x, int y, int w, int h)
    : XControl(parent, x, y, w, h), m_pressed(kScrollNone)
{
    m_vertical = GetHeight() >= GetWidth() ? 1 : 0;
    m_track = m_vertical ? GetHeight() : GetWidth();
    m_range = std::max(GetWidth(), GetHeight());
    SetColour(0, XColour::Make(0, 0, 0));
    SetColour(1, XColour::Make(100, 120, 160));
    SetColour(3, XColour::Make(80, 80, 80));
}

void XScrollBar::OnGeometryChanged() { m_track = m_vertical ? GetHeight() : GetWidth(); }

void XScrollBar::SetRange(int length)
{
    m_range = length;
    Invalidate();
}

void XScrollBar::SetPosition(int position)
{
    m_position = position;
    Invalidate();
}

void XScrollBar::Layout()
{
    XRect local = GetLocalRect();
    m_vertical = GetWidth() < GetHeight() ? 1 : 0;
    m_back = local;
    m_back.Inflate(-2);
    m_forward = m_back;
    if (m_vertical) {
        m_forward.top = m_forward.bottom - (kButtonSpan - 1);
        m_back.bottom = m_back.top + (kButtonSpan - 1);
    } else {
        m_forward.left = m_forward.right - (kButtonSpan - 1);
        m_back.right = m_back.left + (kButtonSpan - 1);
    }

    // An empty range would divide by zero: treat it as content that fits.
    double range = m_range > 0 ? m_range : std::max(1, m_track);
    double room = m_track - kTrackReserve;
    double len = m_track / range * room;
    double start, length;
    if (len >= kScrollThumbMin) {
        length = len;
        start = m_position / range * room;
    } else {
        length = kScrollThumbMin;
        start = m_position / range * (room + len - kScrollThumbMin);
    }
    int last = (m_vertical ? local.bottom : local.right) - kThumbMargin;
    int from = static_cast<int>(kThumbMargin + start);
    int to = std::min(static_cast<int>(kThumbMargin + start + length), last);
    m_thumb = local;
    m_thumb.Inflate(-2);
    if (m_vertical) {
        m_thumb.top = from;
        m_thumb.bottom = to;
    } else {
        m_thumb.left = from;
        m_thumb.right = to;
    }
}

void XScrollBar::DrawButton(XGraphic& graphic, const XRect& r)
{
    XColourValue face = GetColour(1);
    graphic.SetBrush(face);
    graphic.FillRect(r.left + 1, r.top + 1, r.Width() - 2, r.Height() - 2);
    graphic.SetPen(XColour::Scale(face, 0.7f));
    graphic.DrawFrame(r.left, r.top, r.Width(), r.Height());
}

void XScrollBar::Draw(XGraphic& graphic)
{
    XControl::Draw(graphic);
    Layout();
    DrawButton(graphic, m_forward);
    DrawButton(graphic, m_back);
    graphic.SetPen(XColour::Make(240, 240, 240));
    if (m_vertical) {
        graphic.DrawArrow(m_forward.left + 3, m_forward.top + 5, 6);
        graphic.DrawArrow(m_back.left + 3, m_back.top + 7, 0);
    } else {
        graphic.DrawArrow(m_forward.left + 5, m_forward.top + 2, 3);
        graphic.DrawArrow(m_back.left + 7, m_back.top + 2, 9);
    }
    if (m_thumb.right >= m_thumb.left && m_thumb.bottom >= m_thumb.top)
        DrawButton(graphic, m_thumb);
    graphic.SetPen(GetColour(3));
    graphic.DrawFrame(0, 0, GetWidth(), GetHeight());
}

uint32_t XScrollBar::HitPart(int x, int y)
{
    // Computed afresh: the range or position may have changed since the
    // last draw.
    Layout();
    if (m_back.Contains(x, y))
        return kScrollStepDec;
    if (m_forward.Contains(x, y))
        return kScrollStepInc;
    int along = m_vertical ? y : x;
    int from = m_vertical ? m_thumb.top : m_thumb.left;
    int to = m_vertical ? m_thumb.bottom : m_thumb.right;
    if (along < from)
        return kScrollPagePrev;
    if (along > to)
        return kScrollPageNext;
    return kScrollThumb;
}

bool XScrollBar::OnMouseDown(XMouse& mouse)
{
    m_repeat = kScrollRepeatTicks;
    m_pressed = HitPart(mouse.LocalX(), mouse.LocalY());
    if (m_pressed == kScrollThumb)
        m_dragStart = m_position;
    else
        Notify(static_cast<int>(m_pressed), 0);
    return true;
}

void XScrollBar::OnMouseDrag(XMouse& mouse)
{
    if (m_pressed != kScrollThumb)
        return;
    int d = m_vertical ? mouse.DragY() : mouse.DragX();
    // A bar too short for the scale moves one pixel of content per pixel.
    double scale = m_track - kDragReserve > 0 ? static_cast<double>(m_range) / (m_track - kDragReserve) : 1.0;
    double to = std::clamp(m_dragStart + scale * d, -1e9, 1e9);
    Notify(static_cast<int>(kScrollThumb), static_cast<int>(to));
}

void XScrollBar::OnMouseUp(XMouse& mouse)
{
    (void)mouse;
    bool step = m_pressed == kScrollStepInc || m_pressed == kScrollStepDec;
    m_pressed = kScrollNone;
    if (step)
        Invalidate();
}

void XScrollBar::OnTick()
{
    if (m_pressed == kScrollNone || m_pressed == kScrollThumb)
        return;
    if (m_repeat > 1) {
        --m_repeat;
        return;
    }
    Notify(static_cast<int>(m_pressed), 0);
}
