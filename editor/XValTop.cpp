#include "editor/XValTop.h"

#include <cmath>
#include <cstdio>

#include "kiv/gui/XGraphic.h"
#include "kiv/gui/XSlider.h"

namespace {
constexpr int kPanCentre = 64;
constexpr int kFontSize = 10;
const XColourValue kGreen = XColour::Make(0, 203, 31);
const XColourValue kAbove = XColour::Make(0, 203, 31);
const XColourValue kBelow = XColour::Make(255, 180, 31);
const XColourValue kEqual = XColour::Make(200, 200, 210);
const XColourValue kStrip = XColour::Make(37, 37, 37);
const XColourValue kBlack = XColour::Make(0, 0, 0);

void InvalidateWithParent(XControl* control)
{
    control->Invalidate();
    if (XControl* parent = control->GetParent())
        parent->Invalidate();
}

// Text centred across the control at row y.
void DrawCentred(XGraphic& graphic, const char* text, int width, int y)
{
    int textW = graphic.GetTextSize(text).width;
    graphic.DrawString(text, (width - textW) / 2, y);
}
}  // namespace

// --- XValTop ---

XValTop::XValTop(XControl* parent, int x, int y, int w, int h) : XControl(parent, x, y, w, h)
{
    SetColour(2, kGreen);
}

void XValTop::FormatValue(int value, bool pan, char* out, int size)
{
    if (!pan)
        std::snprintf(out, size, "%d", value);
    else if (value == kPanCentre)
        std::snprintf(out, size, "<C>");
    else if (value < kPanCentre)
        std::snprintf(out, size, "L%d", kPanCentre - value);
    else
        std::snprintf(out, size, "R%d", value - kPanCentre);
}

int XValTop::Notify(XControl* sender, int code, int value)
{
    (void)sender;
    (void)code;
    SetValue(value);
    return 0;
}

void XValTop::SetPanForm(bool pan)
{
    if (m_pan.exchange(pan, std::memory_order_relaxed) != pan)
        InvalidateWithParent(this);
}

void XValTop::SetValue(int value)
{
    const int old = m_value.exchange(value, std::memory_order_relaxed);
    const bool had = m_hasValue.exchange(true, std::memory_order_relaxed);
    // The caption has no face of its own: new digits drawn alone would land
    // on the old ones, so the parent repaints what lies under the text.
    if (!had || old != value)
        InvalidateWithParent(this);
}

void XValTop::Clear()
{
    m_hasValue.store(false, std::memory_order_relaxed);
    // Nothing is drawn without a value: the parent repaints what was under
    // the old text.
    InvalidateWithParent(this);
}

const char* XValTop::GetText()
{
    m_text[0] = '\0';
    if (m_hasValue.load(std::memory_order_relaxed))
        FormatValue(m_value.load(std::memory_order_relaxed), m_pan.load(std::memory_order_relaxed), m_text,
                    sizeof m_text);
    return m_text;
}

void XValTop::Draw(XGraphic& graphic)
{
    XControl::Draw(graphic);
    const char* text = GetText();
    if (!IsEnabled() || !*text)
        return;
    graphic.SetFont(kFontSize, 0);
    graphic.SetTextColour(GetColour(2));
    DrawCentred(graphic, text, GetWidth(), 3);
}

// --- XValBot ---

XValBot::XValBot(XControl* parent, int x, int y, int w, int h) : XControl(parent, x, y, w, h) {}

void XValBot::FormatValue(double value, int mode, char* out, int size)
{
    if (!std::isfinite(value))
        value = 0.0;
    if (mode != 0)
        std::snprintf(out, size, "%.2f", value);
    else
        std::snprintf(out, size, "%d", static_cast<int>(std::trunc(std::fmax(-1e9, std::fmin(1e9, value)))));
}

int XValBot::Notify(XControl* sender, int code, int value)
{
    (void)code;
    if (auto* knob = dynamic_cast<XSlider*>(sender))
        SetValue(knob->GetValue(), knob->GetDefault());
    else
        SetValue(value, m_default.load(std::memory_order_relaxed));
    return 0;
}

void XValBot::SetKnob(XSlider* knob)
{
    if (!knob)
        return;
    knob->SetValueListener(this);
    SetValue(knob->GetValue(), knob->GetDefault());
}

void XValBot::SetMode(int mode)
{
    m_mode.store(mode, std::memory_order_relaxed);
    Invalidate();
}

void XValBot::SetValue(double value, double defaultValue)
{
    m_value.store(value, std::memory_order_relaxed);
    m_default.store(defaultValue, std::memory_order_relaxed);
    m_hasValue.store(true, std::memory_order_relaxed);
    Invalidate();
}

void XValBot::Clear()
{
    m_hasValue.store(false, std::memory_order_relaxed);
    // Nothing is drawn without a value: the parent repaints what was under
    // the old text.
    InvalidateWithParent(this);
}

const char* XValBot::GetText()
{
    m_text[0] = '\0';
    if (m_hasValue.load(std::memory_order_relaxed))
        FormatValue(m_value.load(std::memory_order_relaxed), m_mode.load(std::memory_order_relaxed), m_text,
                    sizeof m_text);
    return m_text;
}

XColourValue XValBot::GetValueColour() const
{
    double value = m_value.load(std::memory_order_relaxed);
    double reference = m_default.load(std::memory_order_relaxed);
    // Knob values are quantised; a difference this small is the same value.
    constexpr double kSame = 1e-9;
    if (value > reference + kSame)
        return kAbove;
    if (value < reference - kSame)
        return kBelow;
    return kEqual;
}

void XValBot::Draw(XGraphic& graphic)
{
    const char* text = GetText();
    if (!IsEnabled() || !*text)
        return;
    int w = GetWidth();
    graphic.FillRectangleColour(XRectangle(0, 0, w, GetHeight()), kBlack);
    graphic.FillRectangleColour(XRectangle(2, 1, w - 4, 4), kStrip);
    graphic.SetFont(kFontSize, 0);
    graphic.SetTextColour(GetValueColour());
    DrawCentred(graphic, text, w, 1);
}
