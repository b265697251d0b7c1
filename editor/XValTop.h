// Value captions of the part unit. XValTop shows a slider's integer value
// (optionally as a pan position) above or beside it; XValBot shows a knob's
// value under it, coloured by how the value compares with the knob's
// default. Both follow their control as its value listener.
//
// Threads: built and drawn on the GUI thread. The value setters only store
// atomics and mark the caption for repainting (no formatting), so they may
// also run where a tone's notification moves a control; the text is formed
// when the caption is drawn.
#pragma once
#include <atomic>

#include "editor/EditorConst.h"
#include "kiv/gui/XControl.h"
#include "kiv/gui/XListener.h"

class XSlider;

class XValTop : public XControl, public XListener {
public:
    XValTop(XControl* parent, int x, int y, int w, int h);

    void Draw(XGraphic& graphic) override;
    // As a value listener: takes the slider's integer value.
    int Notify(XControl* sender, int code, int value) override;
    using XControl::Notify;

    // Pan form: 64 "<C>", below "L%d" (64 - v), above "R%d" (v - 64).
    void SetPanForm(bool pan);
    void SetValue(int value);
    // Empties the text.
    void Clear();
    // The text as it is drawn (empty when cleared). GUI thread.
    const char* GetText();

    static void FormatValue(int value, bool pan, char* out, int size);

private:
    std::atomic<int> m_value{0};
    std::atomic<bool> m_hasValue{false};
    std::atomic<bool> m_pan{false};
    char m_text[editor::kValueTextSize] = {};
};

class XValBot : public XControl, public XListener {
public:
    XValBot(XControl* parent, int x, int y, int w, int h);

    void Draw(XGraphic& graphic) override;
    // As the knob's value listener: takes the knob's value and default.
    int Notify(XControl* sender, int code, int value) override;
    using XControl::Notify;

    // Makes the caption the knob's value listener and shows its value.
    void SetKnob(XSlider* knob);
    // Non-zero: two decimals; zero: the integer part.
    void SetMode(int mode);
    // The default is what the value's colour compares with.
    void SetValue(double value, double defaultValue);
    void Clear();
    const char* GetText();
    XColourValue GetValueColour() const;

    static void FormatValue(double value, int mode, char* out, int size);

private:
    std::atomic<double> m_value{0.0};
    std::atomic<double> m_default{0.0};
    std::atomic<bool> m_hasValue{false};
    std::atomic<int> m_mode{0};
    char m_text[editor::kValueTextSize] = {};
};
