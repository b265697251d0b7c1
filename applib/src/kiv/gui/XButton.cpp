#include "kiv/gui/XButton.h"

#include <algorithm>

#include "kiv/gui/XGraphic.h"
#include "kiv/gui/XInput.h"
#include "kiv/gui/XWidgetConst.h"

namespace {
const XColourValue kDisabledText = XColour::Make(160, 160, 160);
}

XButton::XButton(XControl* parent, int x, int y, int w, int h) : XControl(parent, x, y, w, h)
{
    SetColour(0, XColour::Make(200, 205, 220));
    SetColour(1, XColour::Make(170, 180, 255));
    SetColour(3, XColour::Make(140, 140, 140));
    SetColour(2, XColour::Make(40, 40, 40));
    SetFont(11, 0);
}

void XButton::SetStyle(int style)
{
    if (style == 0)
        SetColour(1, XColour::Make(180, 180, 200));
    else if (style == 1)
        SetColour(1, XColour::Make(124, 168, 255));
}

void XButton::SetPressed(bool pressed)
{
    int state = pressed ? 1 : 0;
    if (state == m_pressed)
        return;
    m_pressed = state;
    Invalidate();
}

void XButton::ForgetLabelPlace()
{
    m_labelSize.Clear();
    m_labelPos = XPoint();
}

void XButton::Draw(XGraphic& graphic)
{
    graphic.FillButtonFace(XRectangle(0, 0, GetWidth(), GetHeight()), GetColour(m_pressed ? 1 : 0), GetColour(3));
    const char* text = GetText();
    if (!text)
        return;
    graphic.SetTextColour(IsEnabled() || m_pressed ? GetColour(2) : kDisabledText);
    graphic.SetFont(11, xconst::kFontBold);
    if (!m_labelPos.IsSet()) {
        m_labelSize = graphic.GetTextSize(text);
        m_labelPos = XPoint((GetWidth() - m_labelSize.width) / 2 - 1, (GetHeight() - m_labelSize.height + 2) / 2);
    }
    graphic.DrawString(text, m_labelPos.x, m_labelPos.y);
}

bool XButton::OnMouseDown(XMouse& mouse)
{
    (void)mouse;
    if (m_toggleMode) {
        m_pressed = 1 - m_pressed;
        Invalidate();
        // No capture: a toggle press is complete, no OnMouseUp follows.
        Notify(xwidget::kCodeMouseDown, m_pressed);
        return false;
    }
    m_pressed = 1;
    Invalidate();
    return true;
}

void XButton::OnMouseDrag(XMouse& mouse)
{
    if (m_toggleMode)
        return;
    int inside = Contains(mouse.LocalX(), mouse.LocalY()) ? 1 : 0;
    if (inside != m_pressed) {
        m_pressed = inside;
        Invalidate();
    }
}

void XButton::OnMouseUp(XMouse& mouse)
{
    (void)mouse;
    if (!m_pressed || m_toggleMode)
        return;
    // The state is settled before the listener hears of it: the listener may
    // close the window or delete this button.
    m_pressed = 0;
    Invalidate();
    Notify(xwidget::kCodeMouseUp, 1);
}

bool XButton::OnMouseEnter()
{
    m_hover = true;
    Invalidate();
    return true;
}

void XButton::OnMouseLeave()
{
    m_hover = false;
    Invalidate();
}

bool XButtonPic::LoadPicture(const char* name)
{
    if (!m_plain.Load(name))
        return false;
    // The variants are copies of the plain picture, changed once here.
    if (m_pressedPic.Load(name))
        m_pressedPic.Desaturate(2.0f);
    if (m_faded.Load(name))
        m_faded.Desaturate(0.4f);
    Invalidate();
    return true;
}

void XButtonPic::Draw(XGraphic& graphic)
{
    if (!m_plain.IsLoaded()) {
        XButton::Draw(graphic);
        return;
    }
    if (m_pressed && m_pressedPic.IsLoaded())
        graphic.DrawPic(m_pressedPic, 0, 0);
    else if (m_hover || !m_faded.IsLoaded())
        graphic.DrawPic(m_plain, 0, 0);
    else
        graphic.DrawPic(m_faded, 0, 0);
}

XLink::XLink(XControl* parent, int x, int y, int w, int h) : XControl(parent, x, y, w, h)
{
    SetColour(2, XColour::Make(0, 0, 180));
    SetColour(3, 0);
}

void XLink::Draw(XGraphic& graphic)
{
    XControl::Draw(graphic);
    if (const char* text = GetText()) {
        graphic.SetFont(12, xconst::kFontBold);
        // The text colour is slot 2, so a link reads on the face it sits on,
        // hovered too: the hover underlines it instead of paling it.
        graphic.SetTextColour(GetColour(2));
        graphic.DrawString(text, 1, 1);
        if (m_hover) {
            const int under = std::min(GetHeight() - 1, 14);
            graphic.SetPen(GetColour(2));
            graphic.DrawLine(1, under, 1 + graphic.GetTextSize(text).width, under);
        }
    }
    if (HasColour(3)) {
        graphic.SetPen(GetColour(3));
        graphic.DrawFrame(0, 0, GetWidth(), GetHeight());
    }
}

bool XLink::OnMouseDown(XMouse& mouse)
{
    (void)mouse;
    Notify(xwidget::kCodeClick, 0);
    return false;
}

bool XLink::OnMouseEnter()
{
    m_hover = true;
    Invalidate();
    return true;
}

void XLink::OnMouseLeave()
{
    m_hover = false;
    Invalidate();
}
