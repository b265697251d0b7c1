// XSetValue: a captioned integer box with a down and an up arrow (the
// keyboard pane's "channel" and "transpo"). A press on an arrow moves the
// value by one within the range and tells the listener 'setv' with the value.
// GUI thread.
#pragma once
#include "kiv/gui/HLabel.h"
#include "kiv/gui/XControl.h"

class XValTop;

class XSetValue : public XControl, public HLabel {
public:
    static constexpr int kNoSide = -1;
    static constexpr int kLeftSide = 0;
    static constexpr int kRightSide = 1;

    XSetValue(XControl* parent, int x, int y, int w, int h);

    void Draw(XGraphic& graphic) override;
    bool OnMouseDown(XMouse& mouse) override;
    void OnMouseUp(XMouse& mouse) override;
    void OnCaptureLost() override;
    void OnTextChanged() override { Invalidate(); }

    // Also sets the value to the minimum; a maximum below the minimum is
    // taken as the minimum.
    void SetRange(int min, int max);
    // Clamped to the range.
    void SetValue(int value);
    int GetValue() const { return m_value; }
    int GetMin() const { return m_min; }
    int GetMax() const { return m_max; }
    // The highlighted arrow, the last pressed one (kNoSide after a release).
    int GetPressedSide() const { return m_pressedSide; }
    XValTop* GetValueBox() const { return m_box; }

private:
    void DrawArrowButton(XGraphic& graphic, int x, int side);

    int m_min = 0;
    int m_max = 1;
    int m_value = 0;
    int m_pressedSide = kNoSide;
    XValTop* m_box = nullptr;  // owned as a child
};
