#include "editor/XTrackPan.h"

#include <algorithm>
#include <cmath>

#include "editor/MixerConst.h"
#include "kiv/gui/XGraphic.h"
#include "kiv/gui/XInput.h"

namespace {

constexpr float kDegToRad = 3.14159265358979f / 180.0f;

float Clamp1(float v)
{
    if (std::isnan(v))
        return 0.0f;
    return std::min(1.0f, std::max(-1.0f, v));
}

}  // namespace

XTrackPan::XTrackPan(XControl* parent, int x, int y, int w, int h) : XControl(parent, x, y, w, h)
{
    SetColour(0, mixer::kStripBase);
}

float XTrackPan::AngleOf(float value)
{
    return mixer::kArcLeftDeg - (value + 1.0f) * (mixer::kArcLeftDeg - mixer::kArcRightDeg) / 2.0f;
}

float XTrackPan::HandleValue(int handle) const
{
    if (handle == kLeft)
        return m_left;
    if (handle == kRight)
        return m_right;
    return (m_left + m_right) / 2.0f;
}

void XTrackPan::GetHandlePosition(int handle, float& x, float& y) const
{
    float a = AngleOf(HandleValue(handle)) * kDegToRad;
    x = GetWidth() / 2.0f + mixer::kArcRadius * std::cos(a);
    y = mixer::kArcCentreY - mixer::kArcRadius * std::sin(a);
}

void XTrackPan::SetPositions(float left, float right)
{
    m_left = Clamp1(left);
    m_right = Clamp1(right);
    Invalidate();
}

void XTrackPan::Draw(XGraphic& graphic)
{
    int w = GetWidth(), h = GetHeight();
    float cx = w / 2.0f;
    graphic.FillRectangleColour(XRectangle(0, 0, w, std::min(h, mixer::kArcBottom)), GetColour(0));

    graphic.SetPen(mixer::kArcTrack, 2);
    graphic.BeginPath();
    graphic.PathArc(cx, mixer::kArcCentreY, mixer::kArcRadius, mixer::kArcRightDeg * kDegToRad,
                    mixer::kArcLeftDeg * kDegToRad);
    graphic.StrokePath();

    graphic.SetPen(m_right >= m_left ? mixer::kArcActive : mixer::kArcReversed, 2);
    graphic.BeginPath();
    graphic.PathArc(cx, mixer::kArcCentreY, mixer::kArcRadius, AngleOf(m_right) * kDegToRad,
                    AngleOf(m_left) * kDegToRad);
    graphic.PathLineTo(cx, static_cast<float>(mixer::kArcJoinY));
    graphic.EndPath();
    graphic.StrokePath();

    for (int k = kLeft; k <= kRight; ++k) {
        float x, y;
        GetHandlePosition(k, x, y);
        int left = static_cast<int>(std::lround(x)) - mixer::kHandleSize / 2;
        int top = static_cast<int>(std::lround(y)) - mixer::kHandleSize / 2;
        graphic.SetBrush(mixer::kHandleFace);
        graphic.FillEllipse(left, top, mixer::kHandleSize, mixer::kHandleSize);
        graphic.SetPen(k == m_dragged ? mixer::kHandleDragged : XColour::Make(0, 0, 0), 1);
        graphic.DrawCircle(left, top, mixer::kHandleSize, mixer::kHandleSize);
    }
    if (h > mixer::kArcBottom)
        graphic.FillRectangleColour(XRectangle(0, mixer::kArcBottom, w, h - mixer::kArcBottom), mixer::kStripBase);
}

bool XTrackPan::OnMouseDown(XMouse& mouse)
{
    int px = mouse.LocalX(), py = mouse.LocalY();
    for (int k = kLeft; k <= kRight; ++k) {
        float x, y;
        GetHandlePosition(k, x, y);
        if (std::fabs(px - x) <= mixer::kHandleHit && std::fabs(py - y) <= mixer::kHandleHit) {
            m_dragged = k;
            m_pressLeft = m_left;
            m_pressRight = m_right;
            Invalidate();
            return true;
        }
    }
    return false;
}

void XTrackPan::OnMouseDrag(XMouse& mouse)
{
    if (m_dragged == kNone)
        return;
    float d = mouse.DragX() / mixer::kPanDragPixels;
    if (m_dragged == kLeft || m_dragged == kCentre)
        d = std::min(1.0f - m_pressLeft, std::max(-1.0f - m_pressLeft, d));
    if (m_dragged == kCentre || m_dragged == kRight)
        d = std::min(1.0f - m_pressRight, std::max(-1.0f - m_pressRight, d));
    if (m_dragged == kLeft || m_dragged == kCentre)
        m_left = m_pressLeft + d;
    if (m_dragged == kCentre || m_dragged == kRight)
        m_right = m_pressRight + d;
    if (mouse.shift) {
        if (m_dragged == kLeft)
            m_right = -m_left;
        else if (m_dragged == kRight)
            m_left = -m_right;
    }
    Notify(0, 0);
    Invalidate();
}

void XTrackPan::OnMouseUp(XMouse& mouse)
{
    (void)mouse;
    m_dragged = kNone;
    Invalidate();
}

void XTrackPan::OnCaptureLost()
{
    m_dragged = kNone;
    Invalidate();
}

bool XTrackPan::OnDoubleClick(int x, int y)
{
    (void)x;
    (void)y;
    m_left = -1.0f;
    m_right = 1.0f;
    Invalidate();
    Notify(0, 0);
    return true;
}
