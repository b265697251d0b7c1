// gvalue: the number under a mixer slider. It listens to the slider and
// prints its value as a plain number (a one-number printf format), as
// decibels of a level (x cubed) or as a pan position ("L25", "<C>", "R40");
// it can colour the text by the value's side of the slider's default. GUI
// thread only.
#pragma once
#include "kiv/gui/XLabel.h"
#include "kiv/gui/XListener.h"

class gvalue : public XLabel, public XListener {
public:
    gvalue(XControl* parent, int x, int y, int w, int h);

    // mixer::kValueFormat, kValueDecibel or kValuePan.
    void SetMode(int mode) { m_mode = mode; }
    int GetMode() const { return m_mode; }
    // One floating-point conversion and plain text; false (keeping the
    // format) otherwise.
    bool SetFormat(const char* format);
    // Colours the text by the sign of value - default.
    void SetSignColour(bool on) { m_signColour = on; }

    // Prints x in the current mode.
    void SetValue(double x);
    // The text of x in a mode (the format is used in mode 0).
    static void Format(int mode, const char* format, double x, char* out, int size);

    // From the slider it listens to: colour by sign, then the value.
    int Notify(XControl* sender, int code, int value) override;
    using XControl::Notify;

private:
    int m_mode = 0;
    char m_format[16] = "%.0f";
    bool m_signColour = false;
    int m_lastSign = 0;
};
