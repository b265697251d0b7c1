#include "editor/XLogo.h"

#include "kiv/gui/XGraphic.h"

XLogo::XLogo(XControl* parent, int x, int y, int w, int h) : XButton(parent, x, y, w, h)
{
    if (m_pic.Load("tb_tessivo.png"))
        SetSize(m_pic.GetWidth(), m_pic.GetHeight());
}

void XLogo::Draw(XGraphic& graphic)
{
    if (!m_pic.IsLoaded()) {
        XButton::Draw(graphic);
        return;
    }
    graphic.DrawPic(m_pic, 0, 0);
    if (GetPressed()) {
        graphic.SetPen(XColour::Make(0, 0, 255));
        graphic.DrawFrame(0, 0, GetWidth(), GetHeight());
    }
}
