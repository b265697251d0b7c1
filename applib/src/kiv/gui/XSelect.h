// A selector box: a label with a down arrow that opens a choice. The choice
// itself belongs to subclasses (XSelect::OpenChoice); the base notifies its
// listener (0, 0) instead. GUI thread.
#pragma once
#include "kiv/gui/HLabel.h"
#include "kiv/gui/XControl.h"

class XSelect : public XControl, public HLabel {
public:
    XSelect();
    XSelect(XControl* parent, int x, int y, int w, int h);

    void Draw(XGraphic& graphic) override;
    bool OnMouseDown(XMouse& mouse) override;
    void OnTextChanged() override { Invalidate(); }
    // Opens the choice; true when it did (then no notification follows).
    virtual bool OpenChoice() { return false; }

private:
    void SetDefaultColours();
};
