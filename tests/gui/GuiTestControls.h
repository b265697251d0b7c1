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

}  // namespace guitest
