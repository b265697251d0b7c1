#include "kiv/gui/XSelect.h"

#include "kiv/gui/XGraphic.h"

namespace {
constexpr int kArrowRoom = 16;  // pixels at the right kept for the arrow
}

XSelect::XSelect()
{
    SetDefaultColours();
}

XSelect::XSelect(XControl* parent, int x, int y, int w, int h) : XControl(parent, x, y, w, h)
{
    SetDefaultColours();
}

void XSelect::SetDefaultColours()
{
    SetColour(0, XColour::Make(0, 30, 0));
    SetColour(1, XColour::Make(0, 203, 31));
    SetColour(2, XColour::Make(0, 203, 31));
    SetColour(3, XColour::Make(60, 60, 80));
}

void XSelect::Draw(XGraphic& graphic)
{
    int w = GetWidth();
    int h = GetHeight();
    graphic.SetBrush(GetColour(3));
    graphic.FillRoundRect(0, 0, w, h);
    graphic.SetBrush(GetColour(0));
    graphic.FillRect(1, 1, w - 2, h - 2);
    if (const char* text = GetText()) {
        // A text too long for the box ends before the arrow.
        const bool clipped = graphic.PushClip(XRectangle(1, 1, w - kArrowRoom, h - 2));
        graphic.SetFont(10, xconst::kFontBold);
        graphic.SetTextColour(GetColour(2));
        graphic.DrawString(text, 3, 3);
        if (clipped)
            graphic.PopClip();
    }
    graphic.SetPen(XColour::Scale(GetColour(0), 2.0f));
    graphic.DrawArrow(w - 10, 6, 6);
}

bool XSelect::OnMouseDown(XMouse& mouse)
{
    (void)mouse;
    if (!OpenChoice())
        Notify(0, 0);
    return false;
}
