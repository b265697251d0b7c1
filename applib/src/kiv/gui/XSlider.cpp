#include "kiv/gui/XSlider.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "kiv/gui/XGraphic.h"
#include "kiv/gui/XInput.h"

namespace {

// The integer part of a value as notifications carry it; values beyond the
// int range are clamped (the conversion itself would be undefined).
int IntegerPart(double v)
{
    if (v >= static_cast<double>(INT_MAX))
        return INT_MAX;
    if (v <= static_cast<double>(INT_MIN))
        return INT_MIN;
    return static_cast<int>(v);
}

int Round(double v) { return static_cast<int>(std::lround(v)); }

}  // namespace

// ---------------------------------------------------------------- XSlider

XSlider::XSlider(XControl* parent, int x, int y, int w, int h) : XControl(parent, x, y, w, h) {}

double XSlider::SetRange(double min, double max, double step, double fineStep)
{
    m_min = min;
    m_max = max;
    m_step = step > 0.0 ? step : (max - min) / 100.0;
    m_fineStep = fineStep > 0.0 ? fineStep : m_step / 5.0;
    // An empty range leaves no step to divide by.
    m_fineRatio = m_step > 0.0 ? m_fineStep / m_step : 1.0;
    return m_fineRatio;
}

void XSlider::SetDefault(double value)
{
    if (std::isnan(value))
        return;
    double v = std::min(std::max(value, m_min), m_max);
    if (m_step > 0.0) {
        float sum = static_cast<float>(v - m_min + m_step / 2.0);
        float k = static_cast<float>(std::trunc(sum / m_step));
        v = std::min(m_min + static_cast<double>(k) * m_step, m_max);
    } else {
        v = m_min;
    }
    m_default = v;
    m_value = v;
    m_force = true;
    Invalidate();
}

void XSlider::SetValue(double value, bool fine)
{
    if (std::isnan(value))
        return;
    double s = fine ? m_fineStep : m_step;
    double v = std::min(std::max(value, m_min), m_max);
    if (s > 0.0) {
        // The sum goes through single precision before the division, and k
        // after it, as the stored values were always quantised.
        float sum = static_cast<float>(v - m_min + s / 2.0);
        float k = static_cast<float>(std::trunc(sum / s));
        // Rounding to the nearest step may land above a maximum that is not
        // on the grid: the value stays in its range.
        v = std::min(m_min + static_cast<double>(k) * s, m_max);
    } else {
        v = m_min;
    }
    if (v == m_value && !m_force)
        return;
    m_value = v;
    m_force = false;
    OnValueChanged(v, fine);
    Invalidate();
    if (m_valueListener)
        m_valueListener->Notify(this, xwidget::kCodeSlide, IntegerPart(v));
    Notify(0, 0);
}

void XSlider::SetNormalised(double x, bool fine)
{
    if (std::isnan(x))
        return;
    x = std::min(std::max(x, 0.0), 1.0);
    SetValue(m_min + x * (m_max - m_min), fine);
}

double XSlider::GetNormalised() const
{
    double range = m_max - m_min;
    if (!(range != 0.0) || !std::isfinite(range))
        return 0.0;
    return (m_value - m_min) / range;
}

void XSlider::SetHorizontalDrag(int pixels)
{
    m_dragPixelsH = pixels;
    m_dragPixelsV = 0;
}

void XSlider::SetVerticalDrag(int pixels)
{
    m_dragPixelsV = pixels;
    m_dragPixelsH = 0;
}

bool XSlider::OnMouseDown(XMouse& mouse)
{
    if (mouse.control) {
        SetValue(m_default, false);
        return false;
    }
    m_dragStart = GetNormalised();
    m_dragShift = mouse.shift != 0;
    return true;
}

void XSlider::OnMouseDrag(XMouse& mouse)
{
    bool shift = mouse.shift != 0;
    if (shift != m_dragShift) {
        // A new modifier state starts a new drag from here, so the value does
        // not jump when the scale changes.
        mouse.RestartDrag();
        m_dragStart = GetNormalised();
        m_dragShift = shift;
    }
    double d;
    if (m_dragPixelsH > 0)
        d = static_cast<double>(mouse.currentX - mouse.pressX) / m_dragPixelsH;
    else if (m_dragPixelsV > 0)
        d = static_cast<double>(mouse.pressY - mouse.currentY) / m_dragPixelsV;
    else
        return;
    if (shift)
        d *= m_fineRatio;
    SetNormalised(m_dragStart + d, shift);
}

bool XSlider::OnDoubleClick(int x, int y)
{
    (void)x;
    (void)y;
    SetValue(m_default, false);
    return true;
}

// ---------------------------------------------------------------- XFader

XFader::XFader(XControl* parent, int x, int y, int w, int h) : XSlider(parent, x, y, w, h)
{
    SetTrackColour(XColour::Make(200, 200, 200));
    m_groove = false;
    SetColour(1, XColour::Make(160, 160, 220));
    UpdateDragAxis();
}

void XFader::UpdateDragAxis()
{
    m_vertical = GetHeight() > GetWidth();
    int length = m_vertical ? GetHeight() : GetWidth();
    if (m_vertical)
        SetVerticalDrag(length - m_handleLength);
    else
        SetHorizontalDrag(length - m_handleLength);
}

void XFader::OnGeometryChanged()
{
    UpdateDragAxis();
}

void XFader::SetTrackColour(XColourValue colour)
{
    SetColour(0, colour);
    m_groove = true;
    Invalidate();
}

void XFader::SetGroove(bool on)
{
    m_groove = on;
    Invalidate();
}

void XFader::SetGradient(XColourValue top, XColourValue bottom)
{
    m_gradientTop = top;
    m_gradientBottom = bottom;
    Invalidate();
}

bool XFader::LoadBackgroundPicture(const char* name)
{
    bool loaded = m_background.Load(name);
    Invalidate();
    return loaded;
}

bool XFader::LoadHandlePicture(const char* name)
{
    if (!m_handlePic.Load(name))
        return false;
    m_handleLength = m_vertical ? m_handlePic.GetHeight() : m_handlePic.GetWidth();
    UpdateDragAxis();
    Invalidate();
    return true;
}

void XFader::SetValueBar(XColourValue colour, const XRect& rect, bool fromCentre)
{
    m_barOn = true;
    m_barColour = colour;
    m_barRect = rect;
    m_barFromCentre = fromCentre;
    Invalidate();
}

void XFader::Draw(XGraphic& graphic)
{
    int w = GetWidth();
    int h = GetHeight();
    XColourValue track = GetColour(0);
    if (m_background.IsLoaded())
        graphic.DrawPic(m_background, 0, 0);
    else if (m_gradientTop || m_gradientBottom)
        graphic.GradientRectangle(XRectangle(0, 0, w, h), m_gradientTop, m_gradientBottom);
    else if (track)
        graphic.FillRectangleColour(XRectangle(0, 0, w, h), track);

    if (m_groove) {
        const XColourValue shades[3] = {XColour::Scale(track, 0.6f), XColour::Scale(track, 0.2f),
                                        XColour::Scale(track, 1.3f)};
        for (int i = 0; i < 3; ++i) {
            graphic.SetPen(shades[i]);
            if (m_vertical)
                graphic.DrawLine(w / 2 - 1 + i, 2, w / 2 - 1 + i, h - 4);
            else
                graphic.DrawLine(2, h / 2 - 2 + i, w - 3, h / 2 - 2 + i);
        }
    }

    double n = GetNormalised();
    if (!m_vertical && m_barOn) {
        int end = m_barRect.left + static_cast<int>(n * m_barRect.Width());
        int start = m_barFromCentre ? (m_barRect.left + m_barRect.right) / 2 : m_barRect.left;
        graphic.FillRectangleColour(
            XRectangle(std::min(start, end), m_barRect.top, std::abs(end - start), m_barRect.Height()), m_barColour);
    }

    XRect inner(1, 1, w - 2, h - 2);
    XColourValue face = GetColour(1);
    XColourValue grip = XColour::Scale(face, 0.8f);
    if (m_vertical) {
        int bottom = inner.bottom - static_cast<int>(n * (h - m_handleLength - 3));
        m_handle = XRect(inner.left, bottom - m_handleLength + 1, inner.right, bottom);
    } else {
        int left = inner.left + static_cast<int>(n * (w - m_handleLength - 2));
        m_handle = XRect(left, inner.top, left + m_handleLength - 1, inner.bottom);
    }
    if (m_handlePic.IsLoaded()) {
        graphic.DrawPic(m_handlePic, m_handle.left, m_handle.top);
        return;
    }
    if (m_vertical) {
        graphic.FillRectangleColour(XRectangle(m_handle.left, m_handle.top, m_handle.Width(), m_handle.Height()), face);
        graphic.SetPen(grip);
        for (int i = 1; i <= 3; ++i)
            graphic.DrawLine(m_handle.left, m_handle.top + 3 * i, m_handle.right, m_handle.top + 3 * i);
    } else {
        graphic.FillBevel(m_handle, face, 2);
        graphic.SetPen(grip);
        for (int i = 1; i <= 3; ++i)
            graphic.DrawLine(m_handle.left + 3 * i, m_handle.top + 2, m_handle.left + 3 * i, m_handle.bottom - 2);
    }
}

// ---------------------------------------------------------------- XFaderValue

XFaderValue::XFaderValue(XControl* parent, int x, int y, int w, int h) : XSlider(parent, x, y, w, h)
{
    SetColour(0, XColour::Make(6, 48, 72));
    SetColour(1, XColour::Make(40, 90, 130));
    SetColour(3, XColour::Make(0, 20, 50));
    SetColour(2, XColour::Make(250, 250, 240));
    SetHorizontalDrag(w - 1);
    PrintValue(0.0);
}

void XFaderValue::OnGeometryChanged()
{
    SetHorizontalDrag(GetWidth() - 1);
    m_textX = -1;
}

bool XFaderValue::IsSingleFloatFormat(const char* format)
{
    int conversions = 0;
    for (const char* p = format; *p; ++p) {
        if (*p != '%')
            continue;
        ++p;
        if (*p == '%')
            continue;
        while (*p && std::strchr("-+ #0", *p))
            ++p;
        for (int i = 0; i < 2 && *p >= '0' && *p <= '9'; ++i)
            ++p;
        if (*p == '.') {
            ++p;
            for (int i = 0; i < 2 && *p >= '0' && *p <= '9'; ++i)
                ++p;
        }
        if (*p == 'l')
            ++p;
        if (!*p || !std::strchr("fFeEgGaA", *p))
            return false;
        ++conversions;
    }
    return conversions == 1;
}

bool XFaderValue::SetFormat(const char* format)
{
    // The format is handed to printf with one double: anything else in it
    // would read arguments that are not there.
    if (!format || std::strlen(format) >= sizeof m_format || !IsSingleFloatFormat(format))
        return false;
    std::memcpy(m_format, format, std::strlen(format) + 1);
    PrintValue(m_value);
    Invalidate();
    return true;
}

void XFaderValue::PrintValue(double value)
{
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    std::snprintf(m_text, sizeof m_text, m_format, value);
#pragma GCC diagnostic pop
    m_textX = -1;
}

void XFaderValue::OnValueChanged(double value, bool fine)
{
    (void)fine;
    PrintValue(value);
}

void XFaderValue::Draw(XGraphic& graphic)
{
    int w = GetWidth();
    int h = GetHeight();
    graphic.FillRectangleColour(XRectangle(0, 0, w, h), GetColour(0));
    int bar = static_cast<int>(GetNormalised() * (w - 2)) + 1;
    graphic.GradientRectangle(XRectangle(0, 0, bar, h), GetColour(1), XColour::Scale(GetColour(1), 0.7f));
    graphic.SetFont(9, 0);
    graphic.SetTextColour(GetColour(2));
    if (m_textX < 0)
        m_textX = w - graphic.GetTextSize(m_text).width - 2;
    graphic.DrawString(m_text, m_textX, 1);
    if (HasColour(3)) {
        graphic.SetPen(GetColour(3));
        graphic.DrawFrame(0, 0, w, h);
    }
}

// ---------------------------------------------------------------- XKnob

XKnob::XKnob(XControl* parent, int x, int y, int w, int h) : XSlider(parent, x, y, w, h)
{
    SetVerticalDrag(xwidget::kKnobDragPixels);
    SetColour(0, XColour::Make(200, 220, 220));
    SetColour(1, XColour::Make(220, 220, 220));
}

bool XKnob::LoadPicture(const char* name)
{
    bool loaded = m_background.Load(name);
    Invalidate();
    return loaded;
}

void XKnob::SetPointer(float x, float y, float radius)
{
    m_pointerX = x;
    m_pointerY = y;
    m_radius = radius;
    m_pointerStyle = 0;
    Invalidate();
}

void XKnob::GetPointerTip(float& x, float& y) const
{
    double a = GetNormalised() * m_sweep - xwidget::kKnobStartAngle;
    x = static_cast<float>(m_pointerX - m_radius * std::cos(a));
    y = static_cast<float>(m_pointerY - m_radius * std::sin(a));
}

void XKnob::Draw(XGraphic& graphic)
{
    if (m_background.IsLoaded())
        graphic.DrawPic(m_background, 0, 0);
    else if (HasColour(0))
        graphic.FillRectangleColour(XRectangle(0, 0, GetWidth(), GetHeight()), GetColour(0));
    if (!(m_radius > 1.0f))
        return;
    float tipX, tipY;
    GetPointerTip(tipX, tipY);
    if (m_pointerStyle == 0) {
        double a = GetNormalised() * m_sweep - xwidget::kKnobStartAngle;
        double baseX = m_pointerX - 0.4 * m_radius * std::cos(a);
        double baseY = m_pointerY - 0.4 * m_radius * std::sin(a);
        graphic.SetPen(GetColour(1));
        graphic.DrawLine(Round(baseX), Round(baseY), Round(tipX), Round(tipY));
    } else {
        graphic.DrawDot(Round(tipX), Round(tipY), GetColour(1));
    }
}
