// XLogo: the toolbar's product logo, a push button drawn from the picture
// "tb_tessivo.png" at the picture's size, framed blue while pressed. Its
// release tells the owner ('MoUp'), which opens the about window. GUI thread.
#pragma once
#include "kiv/gui/XButton.h"
#include "kiv/gui/XPic.h"

class XLogo : public XButton {
public:
    // Takes the picture's size when the picture loads.
    XLogo(XControl* parent, int x, int y, int w, int h);
    void Draw(XGraphic& graphic) override;
    bool HasPicture() const { return m_pic.IsLoaded(); }

private:
    XPic m_pic;
};
