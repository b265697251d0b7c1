// Push and toggle buttons (XButton), buttons drawn from a picture
// (XButtonPic) and hyperlink-style text (XLink). Created and used on the GUI
// thread; editor views build and subclass them.
#pragma once
#include "kiv/gui/HLabel.h"
#include "kiv/gui/XControl.h"
#include "kiv/gui/XPic.h"

// A labelled button. Push mode captures the mouse and sends 'MoUp' (1) when
// released inside; toggle mode flips on each press and sends 'MoDo' with the
// new state.
class XButton : public XControl, public HLabel {
public:
    XButton(XControl* parent, int x, int y, int w, int h);

    void Draw(XGraphic& graphic) override;
    bool OnMouseDown(XMouse& mouse) override;
    void OnMouseDrag(XMouse& mouse) override;
    void OnMouseUp(XMouse& mouse) override;
    bool OnMouseEnter() override;
    void OnMouseLeave() override;
    void OnGeometryChanged() override { ForgetLabelPlace(); }
    void OnTextChanged() override { ForgetLabelPlace(); }

    // 0: pressed face (180,180,200); 1: (124,168,255); others ignored.
    void SetStyle(int style);
    void SetToggleMode(bool toggle) { m_toggleMode = toggle; }
    bool IsToggleMode() const { return m_toggleMode; }
    // Sets the pressed (toggle) state without notifying.
    void SetPressed(bool pressed);
    int GetPressed() const { return m_pressed; }
    bool IsHovered() const { return m_hover; }

protected:
    void ForgetLabelPlace();

    bool m_toggleMode = false;
    bool m_hover = false;
    int m_pressed = 0;
    XSize m_labelSize;
    XPoint m_labelPos;
};

// A button shown by its picture: the plain picture when hovered, a faded
// copy at rest and a copy with stronger colours while pressed. Draws as an
// XButton while no picture is loaded.
class XButtonPic : public XButton {
public:
    XButtonPic(XControl* parent, int x, int y, int w, int h) : XButton(parent, x, y, w, h) {}

    void Draw(XGraphic& graphic) override;
    // False, and nothing more loaded, when the plain picture fails.
    bool LoadPicture(const char* name);

protected:
    XPic m_plain;
    XPic m_pressedPic;
    XPic m_faded;
};

// Text that reacts like a link: highlighted while hovered, 'clic' when
// pressed.
class XLink : public XControl, public HLabel {
public:
    XLink(XControl* parent, int x, int y, int w, int h);

    void Draw(XGraphic& graphic) override;
    bool OnMouseDown(XMouse& mouse) override;
    bool OnMouseEnter() override;
    void OnMouseLeave() override;
    void OnTextChanged() override { Invalidate(); }
    bool IsHovered() const { return m_hover; }

protected:
    bool m_hover = false;
};
