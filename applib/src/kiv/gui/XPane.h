// A background panel: a picture tiled across its width, or a plain fill with
// a frame. GUI thread.
#pragma once
#include "kiv/gui/XControl.h"
#include "kiv/gui/XPic.h"

class XPane : public XControl {
public:
    XPane(XControl* parent, int x, int y, int w, int h);

    void Draw(XGraphic& graphic) override;
    // False (the pane stays a plain fill) when the picture cannot be loaded.
    bool LoadPicture(const char* name);

protected:
    XPic m_background;
};
