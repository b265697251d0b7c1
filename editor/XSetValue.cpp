#include "editor/XSetValue.h"

#include <algorithm>

#include "editor/EditorConst.h"
#include "editor/XValTop.h"
#include "kiv/gui/XGraphic.h"
#include "kiv/gui/XInput.h"

namespace {
const XColourValue kFace = XColour::Make(80, 80, 90);
const XColourValue kFrame = XColour::Make(0, 0, 0);
const XColourValue kCaption = XColour::Make(250, 245, 240);
constexpr int kCaptionFont = 9;
constexpr int kArrowW = 11;
constexpr int kArrowH = 16;
constexpr int kRowFromBottom = 20;  // the arrows' and value box's top, from the bottom
constexpr int kRowEndFromBottom = 4;
}  // namespace

XSetValue::XSetValue(XControl* parent, int x, int y, int w, int h) : XControl(parent, x, y, w, h)
{
    SetColour(0, kFace);
    SetColour(2, kCaption);
    SetColour(3, kFrame);
    m_box = new XValTop(this, 16, h - kRowFromBottom, std::max(1, w - 32), 16);
    m_box->SetValue(m_value);
}

void XSetValue::SetRange(int min, int max)
{
    m_min = min;
    m_max = std::max(min, max);
    SetValue(m_min);
}

void XSetValue::SetValue(int value)
{
    m_value = std::clamp(value, m_min, m_max);
    m_box->SetValue(m_value);
    Invalidate();
}

bool XSetValue::OnMouseDown(XMouse& mouse)
{
    int x = mouse.LocalX(), y = mouse.LocalY();
    int w = GetWidth(), h = GetHeight();
    if (y < h - kRowFromBottom || y > h - kRowEndFromBottom)
        return false;
    int side = kNoSide;
    if (x >= 5 && x <= 14) {
        side = kLeftSide;
        if (m_value > m_min)
            SetValue(m_value - 1);
    } else if (x >= w - 15 && x <= w - 4) {
        side = kRightSide;
        if (m_value < m_max)
            SetValue(m_value + 1);
    }
    if (side != kNoSide) {
        m_pressedSide = side;
        Invalidate();
    }
    // Reported even when the value stays at its bound: the owner re-applies it.
    XControl::Notify(editor::kCodeSetValue, m_value);
    return side != kNoSide;
}

void XSetValue::OnMouseUp(XMouse& mouse)
{
    (void)mouse;
    OnCaptureLost();
}

void XSetValue::OnCaptureLost()
{
    if (m_pressedSide == kNoSide)
        return;
    m_pressedSide = kNoSide;
    Invalidate();
}

void XSetValue::DrawArrowButton(XGraphic& graphic, int x, int side)
{
    int y = GetHeight() - kRowFromBottom;
    XColourValue face = GetColour(0);
    graphic.FillRectangleColour(XRectangle(x, y, kArrowW, kArrowH), XColour::Scale(face, 0.4f));
    graphic.FillRectangleColour(XRectangle(x + 1, y + 1, kArrowW - 2, kArrowH - 2), XColour::Scale(face, 0.6f));
    graphic.SetPen(XColour::Scale(face, m_pressedSide == side ? 1.8f : 1.2f));
    int cy = y + kArrowH / 2;
    if (side == kLeftSide)
        graphic.DrawArrow(x + 4, cy, 9);
    else
        graphic.DrawArrow(x + 6, cy, 3);
}

void XSetValue::Draw(XGraphic& graphic)
{
    int w = GetWidth(), h = GetHeight();
    graphic.FillRectangleColour(XRectangle(0, 0, w, h), GetColour(3));
    graphic.FillRectangleColour(XRectangle(1, 1, w - 2, h - 2), GetColour(0));
    if (const char* caption = GetText()) {
        graphic.SetFont(kCaptionFont, 0);
        graphic.SetTextColour(GetColour(2));
        graphic.DrawString(caption, 10, 3);
    }
    DrawArrowButton(graphic, 4, kLeftSide);
    DrawArrowButton(graphic, w - 15, kRightSide);
}
