#include "kiv/gui/XPane.h"

#include "kiv/gui/XGraphic.h"

XPane::XPane(XControl* parent, int x, int y, int w, int h) : XControl(parent, x, y, w, h)
{
    SetColour(0, XColour::Make(240, 240, 245));
    SetColour(3, XColour::Make(80, 80, 80));
}

bool XPane::LoadPicture(const char* name)
{
    bool loaded = m_background.Load(name);
    Invalidate();
    return loaded;
}

void XPane::Draw(XGraphic& graphic)
{
    int picW = m_background.GetWidth();
    if (m_background.IsLoaded() && picW > 0) {
        // Tiles are cut at the pane's edges so nothing lands on neighbours.
        int picH = m_background.GetHeight();
        int h = picH < GetHeight() ? picH : GetHeight();
        for (int x = 0; x < GetWidth(); x += picW) {
            int w = GetWidth() - x < picW ? GetWidth() - x : picW;
            if (w == picW && h == picH)
                graphic.DrawPic(m_background, x, 0);
            else
                graphic.DrawPicPart(m_background, x, 0, w, h, 0, 0);
        }
        return;
    }
    if (HasColour(0))
        graphic.FillRectangleColour(XRectangle(0, 0, GetWidth(), GetHeight()), GetColour(0));
    if (HasColour(3)) {
        graphic.SetPen(GetColour(3));
        graphic.DrawFrame(0, 0, GetWidth(), GetHeight());
    }
}
