#include "editor/gvalue.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "editor/MixerConst.h"
#include "kiv/gui/XSlider.h"
#include "kiv/gui/XWidgetConst.h"

gvalue::gvalue(XControl* parent, int x, int y, int w, int h) : XLabel(parent, x, y, w, h)
{
    SetColour(0, XColour::Make(0, 0, 0));
    SetColour(2, mixer::kValueText);
    SetFont(mixer::kFontLabel, 0);
    SetAlignment(xwidget::kAlignCentre);
}

bool gvalue::SetFormat(const char* format)
{
    if (!format || std::strlen(format) >= sizeof m_format || !XFaderValue::IsSingleFloatFormat(format))
        return false;
    std::memcpy(m_format, format, std::strlen(format) + 1);
    return true;
}

void gvalue::Format(int mode, const char* format, double x, char* out, int size)
{
    if (size <= 0)
        return;
    if (mode == mixer::kValueDecibel) {
        if (!(x > mixer::kDecibelFloor)) {
            std::snprintf(out, size, "-oo");
            return;
        }
        float d = static_cast<float>(20.0 * std::log10(x * x * x));
        if (d > mixer::kDecibelShown)
            std::snprintf(out, size, "%.1f", d);
        else
            std::snprintf(out, size, "-oo");
        return;
    }
    if (mode == mixer::kValuePan) {
        // The integer part of 100x; a millionth towards the far side keeps
        // slider values such as 0.29 (stored as 0.28999...) from reading one
        // less. NaN and values far outside the range cannot reach the
        // conversion.
        double scaled = 100.0 * x;
        scaled += scaled < 0.0 ? -1e-6 : 1e-6;
        int p = std::isnan(scaled) ? 0 : static_cast<int>(std::fmax(-1000.0, std::fmin(1000.0, scaled)));
        if (p == 0)
            std::snprintf(out, size, "<C>");
        else if (p < 0)
            std::snprintf(out, size, "L%d", -p);
        else
            std::snprintf(out, size, "R%d", p);
        return;
    }
    const char* f = format && XFaderValue::IsSingleFloatFormat(format) ? format : "%.0f";
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    std::snprintf(out, size, f, x);
#pragma GCC diagnostic pop
}

void gvalue::SetValue(double x)
{
    char text[32];
    Format(m_mode, m_format, x, text, sizeof text);
    SetText(text);
}

int gvalue::Notify(XControl* sender, int code, int value)
{
    (void)code;
    (void)value;
    auto* slider = dynamic_cast<XSlider*>(sender);
    if (!slider)
        return 0;
    double x = slider->GetValue();
    if (m_signColour) {
        double diff = x - slider->GetDefault();
        int sign = diff > 0.0 ? 1 : (diff < 0.0 ? -1 : 0);
        if (sign != m_lastSign) {
            m_lastSign = sign;
            SetColour(2, sign == 0 ? mixer::kValueText : (sign < 0 ? mixer::kValueBelow : mixer::kValueAbove));
            Invalidate();
        }
    }
    SetValue(x);
    return 0;
}
