#include "editor/XTogLed.h"

#include "kiv/gui/XGraphic.h"

namespace {
const XColourValue kOff = XColour::Make(150, 150, 150);
const XColourValue kOn = XColour::Make(240, 140, 140);
const XColourValue kBlack = XColour::Make(0, 0, 0);
constexpr int kCaptionFont = 11;
}  // namespace

// --- XTogLed ---

XTogLed::XTogLed(XControl* parent, int x, int y, int w, int h) : XToggle(parent, x, y, w, h)
{
    SetColour(0, kOff);
    SetColour(1, kOn);
    SetColour(2, kBlack);
    SetColour(3, XColour::Make(40, 40, 40));
}

void XTogLed::Draw(XGraphic& graphic)
{
    int w = GetWidth(), h = GetHeight();
    graphic.FillRectangleColour(XRectangle(0, 0, w, h), GetColour(3));
    graphic.FillRectangleColour(XRectangle(1, 1, w - 2, h - 2), GetColour(GetState() ? 1 : 0));
    const char* text = GetText();
    if (!text)
        return;
    graphic.SetFont(kCaptionFont, xconst::kFontBold);
    graphic.SetTextColour(GetColour(2));
    int textW = graphic.GetTextSize(text).width;
    graphic.DrawString(text, (w - textW) / 2, 2);
}

// --- XMyLed ---

XMyLed::XMyLed(XControl* parent, int x, int y, int w, int h) : XControl(parent, x, y, w, h)
{
    m_pics[0].Load("led_off.png");
    m_pics[1].Load("led_on.png");
}

void XMyLed::SetState(int state)
{
    state = state ? 1 : 0;
    if (m_state.exchange(state, std::memory_order_relaxed) == state)
        return;
    // The pictures' soft rims blend with what lies below: drawn alone, the
    // new lamp would blend with the old one, so the parent repaints first.
    Invalidate();
    if (XControl* parent = GetParent())
        parent->Invalidate();
}

void XMyLed::Draw(XGraphic& graphic)
{
    int state = GetState();
    const XPic& pic = m_pics[state];
    if (pic.IsLoaded()) {
        graphic.DrawPic(pic, 0, 0);
        return;
    }
    // Without pictures: a plain lamp.
    graphic.SetBrush(state ? XColour::Make(80, 255, 100) : XColour::Make(30, 60, 35));
    graphic.FillEllipse(2, 2, GetWidth() - 4, GetHeight() - 4);
}
