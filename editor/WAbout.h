// WAbout: the about box the logo opens modally: a titled frame with a link
// to the product's web page (opened in the desktop's browser). Return or
// Escape closes it. GUI thread.
#pragma once
#include "kiv/gui/XListener.h"
#include "kiv/gui/XView.h"

class XLink;

class WAbout : public XViewPop, public XListener {
public:
    static constexpr int kWidth = 460;
    static constexpr int kHeight = 80;

    WAbout();

    int Notify(XControl* sender, int code, int value) override;
    using XControl::Notify;

    XLink* GetLink() const { return m_link; }

private:
    XLink* m_link = nullptr;  // child, owned by the tree
};
