#include "kiv/gui/XLabel.h"

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "kiv/gui/XGraphic.h"
#include "kiv/gui/XSlider.h"

namespace {

// The text with its middle given up for "..." so that it fits `room`
// pixels, never cut inside a UTF-8 sequence; empty when it fits whole.
std::string CutInMiddle(XGraphic& graphic, const char* text, int room)
{
    if (graphic.GetTextSize(text).width <= room)
        return {};
    const std::string whole(text);
    auto continues = [&](size_t at) { return (static_cast<unsigned char>(whole[at]) & 0xC0) == 0x80; };
    // What a message is about stands at its start, why at its end.
    auto keeping = [&](size_t keep) {
        size_t head = keep / 2;
        while (head > 0 && continues(head))
            --head;
        size_t from = whole.size() - (keep - keep / 2);
        while (from < whole.size() && continues(from))
            ++from;
        return whole.substr(0, head) + "..." + whole.substr(from);
    };
    size_t fits = 0, wide = whole.size();
    while (wide - fits > 1) {
        const size_t keep = fits + (wide - fits) / 2;
        if (graphic.GetTextSize(keeping(keep).c_str()).width <= room)
            fits = keep;
        else
            wide = keep;
    }
    return keeping(fits);
}

}  // namespace

XLabel::XLabel(XControl* parent, int x, int y, int w, int h) : XControl(parent, x, y, w, h)
{
    SetColour(2, XColour::Make(255, 255, 255));
    SetFont(11, 0);
}

void XLabel::SetAlignment(int alignment)
{
    if (alignment == m_alignment)
        return;
    m_alignment = alignment;
    m_textPos = XPoint();
    Invalidate();
}

void XLabel::SetCutInMiddle(bool on)
{
    m_cutInMiddle = on;
    m_textPos = XPoint();
    Invalidate();
}

void XLabel::OnTextChanged()
{
    m_textPos = XPoint();
    Invalidate();
}

void XLabel::OnGeometryChanged()
{
    // The aligned position depends on the size as much as on the text.
    m_textPos = XPoint();
}

void XLabel::Draw(XGraphic& graphic)
{
    if (HasColour(0)) {
        graphic.SetBrush(GetColour(0));
        graphic.FillRoundRect(0, 0, GetWidth(), GetHeight());
    }
    if (const char* text = GetText()) {
        ApplyFont(graphic);
        graphic.SetTextColour(GetColour(2));
        const std::string cut = m_cutInMiddle ? CutInMiddle(graphic, text, GetWidth() - 4) : std::string();
        if (!cut.empty())
            text = cut.c_str();
        if (!m_textPos.IsSet()) {
            XRectangle at = graphic.AlignText(text, XRectangle(0, 0, GetWidth(), GetHeight()), m_alignment);
            m_textPos = XPoint(at.x, at.y);
        }
        graphic.DrawText(text, m_textPos);
    }
    if (HasColour(3)) {
        graphic.SetPen(GetColour(3));
        graphic.DrawFrame(0, 0, GetWidth(), GetHeight());
    }
}

XValue::XValue(XControl* parent, int x, int y, int w, int h) : XLabel(parent, x, y, w, h)
{
    SetFormat(0, nullptr);
}

XValue::~XValue()
{
    // Unlinked one by one: a long list must not recurse through destructors.
    while (m_named)
        m_named = std::move(m_named->next);
}

void XValue::AddNamedValue(double value, const char* text)
{
    auto named = std::make_unique<Named>();
    named->value = value;
    named->text = text ? text : "";
    named->next = std::move(m_named);
    m_named = std::move(named);
    if (value == m_value)
        Print();
}

void XValue::SetFormat(unsigned decimals, const char* unit)
{
    m_decimals = decimals > 9 ? 9 : decimals;
    if (m_decimals > 0)
        std::snprintf(m_format, sizeof m_format, "%%.%uf", m_decimals);
    else
        std::snprintf(m_format, sizeof m_format, "%%d");
    if (unit && *unit) {
        // The unit is text, not format: a '%' in it is doubled, and what does
        // not fit is left out.
        size_t len = std::strlen(m_format);
        if (len + 1 < sizeof m_format)
            m_format[len++] = ' ';
        for (const char* p = unit; *p && len + 1 < sizeof m_format; ++p) {
            if (*p == '%') {
                if (len + 2 >= sizeof m_format)
                    break;
                m_format[len++] = '%';
            }
            m_format[len++] = *p;
        }
        m_format[len] = '\0';
    }
    // The current value is shown again in the new format, fraction and all.
    Print();
}

void XValue::SetValue(double value)
{
    if (value == m_value || std::isnan(value))
        return;
    m_value = value;
    Print();
}

void XValue::Print()
{
    const char* text = nullptr;
    for (const Named* n = m_named.get(); n; n = n->next.get()) {
        if (n->value == m_value) {
            text = n->text.CStr();
            break;
        }
    }
    if (text) {
        std::snprintf(m_shown, sizeof m_shown, "%s", text);
    } else if (m_decimals > 0) {
        std::snprintf(m_shown, sizeof m_shown, m_format, m_value);
    } else {
        // Converting a double beyond the int range is undefined: clamp first.
        double v = m_value;
        int i = v >= static_cast<double>(INT_MAX) ? INT_MAX
              : v <= static_cast<double>(INT_MIN) ? INT_MIN
                                                   : static_cast<int>(v);
        std::snprintf(m_shown, sizeof m_shown, m_format, i);
    }
    SetText(m_shown);
}

int XValue::OnNotify(XControl* sender, int code, int value)
{
    (void)code;
    (void)value;
    if (auto* slider = dynamic_cast<XSlider*>(sender))
        SetValue(slider->GetValue());
    return 0;
}
