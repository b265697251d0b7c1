// Shared by the control tests: a listener that records every notification, a
// root view that routes the mouse to its controls, and painting one control
// alone on a fresh surface.
#pragma once
#include <vector>

#include "kiv/gui/XGraphic.h"
#include "kiv/gui/XListener.h"
#include "kiv/gui/XView.h"

namespace guitest {

struct Note {
    XControl* sender;
    int code;
    int value;
};

struct Recorder : XListener {
    int Notify(XControl* sender, int code, int value) override
    {
        notes.push_back({sender, code, value});
        return 0;
    }
    std::vector<Note> notes;
};

// A root view of the given size with the controls' mouse routing.
struct Root : XView {
    Root(int w, int h) { SetBounds(0, 0, w, h); }
    void Click(int x, int y)
    {
        HandleMouseDown(x, y, 0, false, false);
        HandleMouseUp(x, y, 0);
    }
};

// The colour PaintAlone clears the surface with.
const XColourValue kBackground = XColour::Make(1, 2, 3);

// Paints one control (and its subtree) at the origin of a fresh surface of
// its size.
inline void PaintAlone(XControl& c, XGraphic& g)
{
    g.BeginPaint(nullptr, c.GetWidth(), c.GetHeight());
    g.FillRectangleColour(XRectangle(0, 0, c.GetWidth(), c.GetHeight()), kBackground);
    c.SetPosition(0, 0);
    c.Paint(g, true, XRectangle(0, 0, c.GetWidth(), c.GetHeight()));
}

// The colour around a control painted by PaintWithMargin.
const XColourValue kOutside = XColour::Make(7, 250, 9);

// Paints one control (and its subtree) through the paint walk at (margin,
// margin) on a surface larger by margin on every side, cleared to
// kOutside; returns how many pixels outside the control were painted over.
inline int PaintWithMargin(XControl& c, XGraphic& g, int margin)
{
    const int w = c.GetWidth(), h = c.GetHeight();
    const int sw = w + 2 * margin, sh = h + 2 * margin;
    g.BeginPaint(nullptr, sw, sh);
    g.FillRectangleColour(XRectangle(0, 0, sw, sh), kOutside);
    c.SetPosition(margin, margin);
    c.Paint(g, true, XRectangle(0, 0, sw, sh));
    int spilled = 0;
    for (int y = 0; y < sh; ++y)
        for (int x = 0; x < sw; ++x) {
            bool inside = x >= margin && x < margin + w && y >= margin && y < margin + h;
            spilled += !inside && g.GetPixel(x, y) != kOutside;
        }
    return spilled;
}

}  // namespace guitest
