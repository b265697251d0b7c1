// Value controls. XSlider holds a double value in a range with a step and a
// fine step and turns mouse drags into values; XFader (a linear fader with a
// handle), XFaderValue (a horizontal value bar with its number) and XKnob (a
// rotary knob) are sliders with their own drawing. GUI thread.
//
// Every change of value tells the value listener (sender, 'slid', integer
// part of the value), then the control's own listener (0, 0).
#pragma once
#include "kiv/gui/XControl.h"
#include "kiv/gui/XListener.h"
#include "kiv/gui/XPic.h"
#include "kiv/gui/XWidgetConst.h"

class XSlider : public XControl {
public:
    XSlider(XControl* parent, int x, int y, int w, int h);

    bool OnMouseDown(XMouse& mouse) override;
    void OnMouseDrag(XMouse& mouse) override;
    bool OnDoubleClick(int x, int y) override;
    // Called after every change of value, before the notifications.
    virtual void OnValueChanged(double value, bool fine) { (void)value; (void)fine; }

    // A step that is not above 0 becomes a hundredth of the range, a fine
    // step that is not above 0 a fifth of the step. Returns the fine ratio.
    double SetRange(double min, double max, double step, double fineStep);
    // Clamped and quantised; becomes the current value too, and the next
    // SetValue reports even when it keeps the value.
    void SetDefault(double value);
    // Clamped to the range and quantised to the step (the fine step when
    // `fine`). NaN is ignored.
    void SetValue(double value, bool fine = false);
    double GetValue() const { return m_value; }
    double GetMin() const { return m_min; }
    double GetMax() const { return m_max; }
    double GetStep() const { return m_step; }
    double GetFineStep() const { return m_fineStep; }
    double GetDefault() const { return m_default; }
    void SetNormalised(double x, bool fine = false);
    // 0 for an empty range.
    double GetNormalised() const;
    // Pixels the pointer travels for the whole range; 0 or less switches
    // dragging off. Setting one axis switches the other off.
    void SetHorizontalDrag(int pixels);
    void SetVerticalDrag(int pixels);
    void SetValueListener(XListener* listener) { m_valueListener = listener; }

protected:
    XListener* m_valueListener = nullptr;
    double m_value = 0.123456;
    double m_min = 0.0;
    double m_max = 1.0;
    double m_step = 0.01;
    double m_fineStep = 0.01;
    double m_fineRatio = 1.0;
    double m_default = 0.0;
    int m_dragPixelsH = 0;
    int m_dragPixelsV = 0;
    bool m_dragShift = false;
    double m_dragStart = 0.0;  // normalised value where the drag (re)started
    bool m_force = true;       // the first SetValue reports even without a change
};

// A linear fader: vertical when taller than wide. Background picture,
// gradient or flat track, an optional centre groove and value bar, and a
// handle (picture or drawn grip).
class XFader : public XSlider {
public:
    XFader(XControl* parent, int x, int y, int w, int h);

    void Draw(XGraphic& graphic) override;
    void OnGeometryChanged() override;

    // Track colour (slot 0) with the centre groove on.
    void SetTrackColour(XColourValue colour);
    void SetGroove(bool on);
    void SetGradient(XColourValue top, XColourValue bottom);
    bool LoadBackgroundPicture(const char* name);
    // The handle's length becomes the picture's (height when vertical).
    bool LoadHandlePicture(const char* name);
    // Horizontal faders: a flat bar in `rect` up to the value, from the
    // rectangle's left or its centre.
    void SetValueBar(XColourValue colour, const XRect& rect, bool fromCentre);
    bool IsVertical() const { return m_vertical; }
    // The handle as last drawn.
    const XRect& GetHandleRect() const { return m_handle; }
    int GetHandleLength() const { return m_handleLength; }

protected:
    void UpdateDragAxis();

    XPic m_background;
    XPic m_handlePic;
    bool m_vertical = false;
    XColourValue m_gradientTop = 0;
    XColourValue m_gradientBottom = 0;
    bool m_barOn = false;
    bool m_barFromCentre = false;
    XColourValue m_barColour = 0;
    XRect m_barRect;
    bool m_groove = false;
    XRect m_handle;
    int m_handleLength = xwidget::kFaderHandleLength;
};

// A horizontal bar up to the value with the value's number at its right.
class XFaderValue : public XSlider {
public:
    XFaderValue(XControl* parent, int x, int y, int w, int h);

    void Draw(XGraphic& graphic) override;
    void OnValueChanged(double value, bool fine) override;
    void OnGeometryChanged() override;

    // One floating-point conversion (%f, %e, %g or %a with flags, width and
    // precision) and any text; false, keeping the format, otherwise. Text
    // longer than the buffer is cut.
    bool SetFormat(const char* format);
    const char* GetValueText() const { return m_text; }
    // True when format may be handed to snprintf with one double: exactly
    // one floating-point conversion (optional flags, up to two width and two
    // precision digits and an 'l'), otherwise only text and "%%".
    static bool IsSingleFloatFormat(const char* format);

protected:
    void PrintValue(double value);

    char m_format[xwidget::kFaderTextSize] = "%.0f";
    char m_text[xwidget::kFaderTextSize] = {};
    int m_textX = -1;  // -1: measure at the next draw
};

// A rotary knob sweeping 270 degrees: 0 points down-left, the middle up, the
// top of the range down-right. Dragged vertically.
class XKnob : public XSlider {
public:
    XKnob(XControl* parent, int x, int y, int w, int h);

    void Draw(XGraphic& graphic) override;

    bool LoadPicture(const char* name);
    // A line pointer from 0.4 of the radius to the tip.
    void SetPointer(float x, float y, float radius);
    // 0 a line, otherwise a dot at the tip.
    void SetPointerStyle(int style) { m_pointerStyle = style; Invalidate(); }
    // The pointer's tip for the current value.
    void GetPointerTip(float& x, float& y) const;

protected:
    XPic m_background;
    int m_pointerStyle = 0;
    float m_pointerX = 0.0f;
    float m_pointerY = 0.0f;
    float m_radius = 0.0f;
    float m_sweep = xwidget::kKnobSweep;
};
