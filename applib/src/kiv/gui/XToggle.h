// A two-state switch (XToggle) and a group of switches with exactly one
// selected (XRadioGroup). GUI thread.
#pragma once
#include "kiv/gui/HLabel.h"
#include "kiv/gui/XControl.h"
#include "kiv/gui/XListener.h"
#include "kiv/gui/XPic.h"

// Flips on each click and notifies (0, new state). A latched toggle that is
// on ignores clicks (the owner switches it off).
class XToggle : public XControl, public HLabel {
public:
    XToggle(XControl* parent, int x, int y, int w, int h);

    void Draw(XGraphic& graphic) override;
    bool OnMouseDown(XMouse& mouse) override;
    void OnTextChanged() override;
    void OnGeometryChanged() override { m_labelPos = XPoint(); }

    // Stores and repaints when the state differs; no notification.
    void SetState(int state);
    int GetState() const { return m_state; }
    void SetLatch(bool latch) { m_latch = latch; }
    bool IsLatched() const { return m_latch; }
    // Loads the on picture and takes its size; the off picture is `offName`
    // or, without one, a grey copy of the on picture. False (the control
    // keeps its size and draws without pictures) when the on picture fails.
    bool SetPictures(const char* onName, const char* offName);

protected:
    int m_state = 0;
    bool m_latch = false;
    XPic m_pics[2];  // by state: 0 off, 1 on
    XPoint m_labelPos;
};

// Its options are its XToggle children in child order; choosing one switches
// the others off and notifies (0, index). The selection cannot be emptied.
class XRadioGroup : public XControl, public XListener {
public:
    XRadioGroup(XControl* parent, int x, int y, int w, int h);

    void Draw(XGraphic& graphic) override;
    int Notify(XControl* sender, int code, int value) override { return OnNotify(sender, code, value); }
    int OnNotify(XControl* sender, int code, int value);

    // The first option added starts switched on.
    XToggle* AddOption(int x, int y, int w, int h, const char* label);
    int GetSelected() const { return m_selected; }

    using XControl::Notify;

protected:
    int m_selected = 0;
};
