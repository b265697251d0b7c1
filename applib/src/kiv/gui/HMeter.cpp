#include "kiv/gui/HMeter.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "kiv/gui/XGraphic.h"
#include "kiv/gui/XWidgetConst.h"

namespace {

// log2 of a positive float from its bit pattern (exponent plus mantissa as a
// straight line), without a library call: the timer runs this for every bar.
float FastLog2(float x)
{
    uint32_t bits;
    std::memcpy(&bits, &x, sizeof bits);
    return static_cast<float>(bits) * (1.0f / 8388608.0f) - 126.942696f;
}

// Raises `peak` to `value` when higher; lock-free.
void RaisePeak(std::atomic<float>& peak, float value) noexcept
{
    if (std::isnan(value))
        return;
    value = std::fabs(value);
    float current = peak.load(std::memory_order_relaxed);
    while (value > current &&
           !peak.compare_exchange_weak(current, value, std::memory_order_release, std::memory_order_relaxed)) {
    }
}

}  // namespace

// ---------------------------------------------------------------- HMeter

void HMeter::SetRect(const XRect& rect)
{
    m_rect = rect;
    m_vertical = rect.Width() < rect.Height();
    int longSide = m_vertical ? rect.Height() : rect.Width();
    m_segments = std::max(0, longSide / xwidget::kMeterSegmentPitch);
    m_yellowStart = static_cast<int>(static_cast<float>(m_segments) * 0.7f);
    m_redStart = static_cast<int>(static_cast<float>(m_segments) * 0.9f);
    // A smaller bar must not keep segments lit beyond its end.
    m_lit = std::min(m_lit, m_segments);
    m_pending = 0;
}

void HMeter::Reset()
{
    m_lit = -1;
    m_fall = 0;
    m_pending = 0;
    m_lastLog = 0.0f;
}

bool HMeter::SetLevel(float level)
{
    if (std::isnan(level))
        level = 0.0f;
    level = std::fabs(level);
    if (level == 0.0f && m_lit < 0)
        return false;
    float y = FastLog2(level) * 0.15f + 1.0f;
    int target = static_cast<int>(std::trunc(static_cast<float>(m_segments) * y + 0.5f));
    target = std::min(target, m_segments);
    if (target == m_lit)
        return false;
    if (target > m_lit) {
        // A louder peak shows at once.
        m_pending = target - m_lit;
        m_fall = 0;
    } else {
        if (m_lit < 0)
            return false;
        // Each quieter call falls one segment further than the last.
        m_pending = std::max(-m_fall, -1 - m_lit);
        ++m_fall;
    }
    m_lastLog = y;
    return m_pending != 0;
}

XColourValue HMeter::SegmentColour(int k, bool lit) const
{
    if (m_blend) {
        if (!lit)
            return XColour::Make(32, 32, 32);
        int r = m_segments > 0 ? k * 255 / m_segments : 0;
        return XColour::Make(r, 0, 255 - r);
    }
    if (k < m_yellowStart)
        return lit ? XColour::Make(0, 255, 0) : XColour::Make(0, 30, 0);
    if (k < m_redStart)
        return lit ? XColour::Make(255, 255, 0) : XColour::Make(30, 30, 0);
    return lit ? XColour::Make(255, 0, 0) : XColour::Make(30, 0, 0);
}

void HMeter::DrawSegment(XGraphic& graphic, int k, bool lit)
{
    // Only segments of the bar exist; anything else would land outside it.
    if (k < 0 || k >= m_segments)
        return;
    XColourValue colour = SegmentColour(k, lit);
    if (colour != m_lastBrush) {
        graphic.SetBrush(colour);
        m_lastBrush = colour;
    }
    const int pitch = xwidget::kMeterSegmentPitch;
    int x = m_rect.left, y = m_rect.top, w = 2, h = 2;
    if (m_vertical) {
        y = m_rect.bottom - pitch * k - 2;
        w = m_rect.Width();
    } else {
        x = m_rect.left + pitch * k;
        h = m_rect.Height();
    }
    graphic.FillRect(x, y, w, h);
    if (m_drawnX1 <= m_drawnX0) {
        m_drawnX0 = x;
        m_drawnY0 = y;
        m_drawnX1 = x + w;
        m_drawnY1 = y + h;
        return;
    }
    m_drawnX0 = std::min(m_drawnX0, x);
    m_drawnY0 = std::min(m_drawnY0, y);
    m_drawnX1 = std::max(m_drawnX1, x + w);
    m_drawnY1 = std::max(m_drawnY1, y + h);
}

void HMeter::Draw(XGraphic& graphic, bool full)
{
    m_lastBrush = XColour::Make(0, 0, 0);
    m_drawnX0 = m_drawnY0 = m_drawnX1 = m_drawnY1 = 0;
    // The lit level counts lit segments: segments 0 .. level - 1 are lit, in
    // a full redraw and after the steps alike.
    if (full) {
        m_lit = std::clamp(m_lit + m_pending, -1, m_segments);
        m_pending = 0;
        for (int k = 0; k < m_segments; ++k)
            DrawSegment(graphic, k, k < m_lit);
        return;
    }
    for (; m_pending > 0; --m_pending) {
        if (m_lit >= m_segments)
            break;
        ++m_lit;
        DrawSegment(graphic, m_lit - 1, true);
    }
    for (; m_pending < 0; ++m_pending) {
        if (m_lit < 0)
            break;
        DrawSegment(graphic, m_lit - 1, false);
        --m_lit;
    }
    m_pending = 0;
}

// ---------------------------------------------------------------- XMeterStereo

XMeterStereo::XMeterStereo(XControl* parent, int x, int y, int w, int h) : XControl(parent, x, y, w, h)
{
    SetColour(0, XColour::Make(0, 0, 0));
    LayoutBars();
}

void XMeterStereo::LayoutBars()
{
    // The inner rectangle (1 px less on every side) split along its short
    // side into two bars of equal width with a 1 or 2 px gap.
    int w = GetWidth();
    int h = GetHeight();
    bool sideBySide = h > w;
    int extent = sideBySide ? w - 2 : h - 2;
    int odd = extent & 1;
    int first = (extent + odd - 2) / 2;
    int offset = first + 1 + (odd ? 0 : 1);
    if (sideBySide) {
        m_left.SetRect(XRect(1, 1, first, h - 2));
        m_right.SetRect(XRect(1 + offset, 1, offset + first, h - 2));
    } else {
        m_left.SetRect(XRect(1, 1, w - 2, first));
        m_right.SetRect(XRect(1, 1 + offset, w - 2, offset + first));
    }
    RequestFullRedraw();
    Invalidate();
}

void XMeterStereo::SetBlend(bool blend)
{
    m_left.SetBlend(blend);
    m_right.SetBlend(blend);
    RequestFullRedraw();
    Invalidate();
}

bool XMeterStereo::SetLevels(float left, float right)
{
    bool changed = m_left.SetLevel(left);
    changed = m_right.SetLevel(right) || changed;
    if (changed)
        Invalidate();
    return changed;
}

void XMeterStereo::Reset()
{
    m_left.Reset();
    m_right.Reset();
    // The reset bars have no steps to draw: only a full redraw clears them.
    RequestFullRedraw();
    Invalidate();
}

void XMeterStereo::PostPeaks(float left, float right) noexcept
{
    RaisePeak(m_postedLeft, left);
    RaisePeak(m_postedRight, right);
}

bool XMeterStereo::TakePostedPeaks()
{
    float left = m_postedLeft.exchange(0.0f, std::memory_order_acq_rel);
    float right = m_postedRight.exchange(0.0f, std::memory_order_acq_rel);
    return SetLevels(left, right);
}

void XMeterStereo::Draw(XGraphic& graphic)
{
    bool full = NeedsFullRedraw();
    if (full)
        graphic.FillRectangleColour(XRectangle(0, 0, GetWidth(), GetHeight()), GetColour(0));
    m_left.Draw(graphic, full);
    m_right.Draw(graphic, full);
    if (HasColour(3)) {
        graphic.SetPen(GetColour(3));
        graphic.DrawFrame(0, 0, GetWidth(), GetHeight());
    }
    if (!full) {
        // A step changes a few segments: only those reach the window.
        graphic.AddDamage(m_left.GetDrawnArea());
        graphic.AddDamage(m_right.GetDrawnArea());
    }
}
