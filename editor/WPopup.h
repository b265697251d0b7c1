// WPopup: the framed base of the editor's popup windows (opened modally
// inside the editor's window): a frame in colour slot 3 around a dark
// vertical gradient. GUI thread.
#pragma once
#include "kiv/gui/XView.h"

class WPopup : public XView {
public:
    WPopup() = default;
    void Draw(XGraphic& graphic) override;
};
