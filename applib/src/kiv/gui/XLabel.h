// Static text (XLabel) and a number display (XValue) that can follow a
// slider. GUI thread.
#pragma once
#include <memory>

#include "kiv/gui/HLabel.h"
#include "kiv/gui/XControl.h"
#include "kiv/gui/XListener.h"
#include "kiv/gui/XWidgetConst.h"

// Text in the control's own font, aligned left (-1), centred (0) or right
// (1), on an optional background and frame.
class XLabel : public XControl, public HLabel {
public:
    XLabel(XControl* parent, int x, int y, int w, int h);

    void Draw(XGraphic& graphic) override;
    void OnTextChanged() override;
    void OnGeometryChanged() override;

    void SetAlignment(int alignment);
    int GetAlignment() const { return m_alignment; }
    // A text wider than the label gives up its middle ("...") rather than
    // its end, where a message says why.
    void SetCutInMiddle(bool on);

protected:
    int m_alignment = xwidget::kAlignLeft;
    bool m_cutInMiddle = false;
    XPoint m_textPos;  // unset until drawn after a text change
};

// A number printed with a fixed number of decimals and an optional unit, or
// the text of a named value equal to it. As a listener of an XSlider it shows
// the slider's value.
class XValue : public XLabel, public XListener {
public:
    XValue(XControl* parent, int x, int y, int w, int h);
    ~XValue() override;

    int Notify(XControl* sender, int code, int value) override { return OnNotify(sender, code, value); }
    int OnNotify(XControl* sender, int code, int value);
    using XControl::Notify;

    void SetValue(double value);
    double GetValue() const { return m_value; }
    // Decimals above 9 are taken as 9; a unit longer than the text has room
    // for is cut.
    void SetFormat(unsigned decimals, const char* unit);
    // Shows `text` instead of the number whenever the value equals `value`.
    void AddNamedValue(double value, const char* text);
    const char* GetShownText() const { return m_shown; }

protected:
    struct Named {
        double value;
        kiv::string text;
        std::unique_ptr<Named> next;
    };
    void Print();

    unsigned m_decimals = 0;
    double m_value = 0.0;
    char m_format[xwidget::kValueTextSize] = {};
    char m_shown[xwidget::kValueTextSize] = {};
    std::unique_ptr<Named> m_named;
};
