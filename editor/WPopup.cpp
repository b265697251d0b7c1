#include "editor/WPopup.h"

#include "kiv/gui/XGraphic.h"

void WPopup::Draw(XGraphic& graphic)
{
    int w = GetWidth(), h = GetHeight();
    graphic.FillRectangleColour(XRectangle(0, 0, w, h), GetColour(3));
    graphic.GradientRectangle(XRectangle(3, 3, w - 6, h - 6), XColour::Make(40, 47, 59), XColour::Make(20, 20, 20));
}
