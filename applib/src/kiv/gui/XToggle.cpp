#include "kiv/gui/XToggle.h"

#include "kiv/gui/XGraphic.h"
#include "kiv/gui/XWidgetConst.h"

XToggle::XToggle(XControl* parent, int x, int y, int w, int h) : XControl(parent, x, y, w, h)
{
    SetColour(2, XColour::Make(50, 50, 50));
    SetColour(0, XColour::Make(200, 200, 200));
    SetColour(1, XColour::Make(150, 180, 250));
    SetColour(3, XColour::Make(160, 160, 160));
}

void XToggle::SetState(int state)
{
    if (state == m_state)
        return;
    m_state = state ? 1 : 0;
    Invalidate();
}

void XToggle::OnTextChanged()
{
    m_labelPos = XPoint();
    Invalidate();
}

bool XToggle::SetPictures(const char* onName, const char* offName)
{
    if (!m_pics[1].Load(onName)) {
        m_pics[0].Unload();
        return false;
    }
    SetSize(m_pics[1].GetWidth(), m_pics[1].GetHeight());
    if (offName) {
        m_pics[0].Load(offName);
    } else if (m_pics[0].Load(onName)) {
        m_pics[0].Desaturate(0.0f);
    }
    Invalidate();
    return true;
}

bool XToggle::OnMouseDown(XMouse& mouse)
{
    (void)mouse;
    if (m_latch && m_state == 1)
        return false;
    m_state = 1 - m_state;
    Invalidate();
    XControl::Notify(0, m_state);
    return false;
}

void XToggle::Draw(XGraphic& graphic)
{
    const XPic& pic = m_pics[m_state];
    if (pic.IsLoaded())
        graphic.DrawPic(pic, 0, 0);
    else
        graphic.FillButtonFace(XRectangle(0, 0, GetWidth(), GetHeight()),
                               GetColour(m_state == 1 && IsEnabled() ? 1 : 0), GetColour(3));
    const char* text = GetText();
    if (!text)
        return;
    graphic.SetTextColour(IsEnabled() ? GetColour(2) : XColour::Make(160, 160, 160));
    graphic.SetFont(11, xconst::kFontBold);
    if (!m_labelPos.IsSet()) {
        XRectangle at = graphic.AlignText(text, XRectangle(0, 0, GetWidth(), GetHeight()), xwidget::kAlignCentre);
        m_labelPos = XPoint(at.x, at.y);
    }
    graphic.DrawText(text, m_labelPos);
}

XRadioGroup::XRadioGroup(XControl* parent, int x, int y, int w, int h) : XControl(parent, x, y, w, h)
{
    SetColour(0, XColour::Make(240, 240, 245));
    SetColour(3, XColour::Make(80, 80, 80));
}

void XRadioGroup::Draw(XGraphic& graphic)
{
    if (HasColour(0))
        graphic.FillRectangleColour(XRectangle(0, 0, GetWidth(), GetHeight()), GetColour(0));
}

XToggle* XRadioGroup::AddOption(int x, int y, int w, int h, const char* label)
{
    bool first = GetFirstChild() == nullptr;
    auto* option = new XToggle(this, x, y, w, h);
    option->SetText(label);
    option->SetListener(this);
    if (first)
        option->SetState(1);
    return option;
}

int XRadioGroup::OnNotify(XControl* sender, int code, int value)
{
    (void)code;
    (void)value;
    auto* chosen = dynamic_cast<XToggle*>(sender);
    if (!chosen)
        return 0;
    if (chosen->GetState() == 0) {
        // Clicking the selected option switches it back on: nothing changes.
        chosen->SetState(1);
        return 0;
    }
    int index = -1;
    int i = 0;
    for (XControl* c = GetFirstChild(); c; c = c->GetNextSibling(), ++i) {
        if (c == chosen) {
            index = i;
            continue;
        }
        if (auto* other = dynamic_cast<XToggle*>(c))
            other->SetState(0);
    }
    m_selected = index;
    XControl::Notify(0, index);
    return 0;
}
