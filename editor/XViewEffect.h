// The effect panels of a mixer strip: the common framed box (XViewEffect),
// the compressor (XViewEffectDyn) and equaliser (XViewEffectEQ3) panels with
// one value bar per mixer parameter, the insert panel (XViewEffectPlug) with
// its plug-in box and editor mark, and XTrackMore, the strip's area that
// holds the four panels. The strip listens to the bars and boxes and writes
// the studio. GUI thread only.
#pragma once
#include "editor/XTrackControls.h"
#include "kiv/gui/HLabel.h"
#include "kiv/gui/XControl.h"
#include "kiv/gui/XPic.h"
#include "kiv/gui/XSlider.h"

// A rounded framed box with the caption (the label text) in colour slot 2.
class XViewEffect : public XControl, public HLabel {
public:
    XViewEffect(XControl* parent, int x, int y, int w, int h, const char* caption);
    void Draw(XGraphic& graphic) override;
    void OnTextChanged() override { Invalidate(); }
};

// A panel of value bars, one per mixer parameter, over its picture.
class XViewEffectBars : public XViewEffect {
public:
    struct Row {
        int y;
        const char* format;
        double min, max, step, initial;
        int parameter;  // the mixer parameter number
    };

    XViewEffectBars(XControl* parent, int x, int y, int w, int h, const char* caption, const char* picture,
                    const Row* rows, int count);
    void Draw(XGraphic& graphic) override;

    int CountRows() const { return m_count; }
    XFaderValue* GetBar(int row) const { return row >= 0 && row < m_count ? m_bars[row] : nullptr; }
    int GetParameter(int row) const { return row >= 0 && row < m_count ? m_rows[row].parameter : -1; }
    // The row of a bar; -1 for any other control.
    int FindRow(const XControl* bar) const;
    // The bar of a parameter; null when the panel has none.
    XFaderValue* FindBar(int parameter) const;
    void SetBarListener(XListener* listener);

    static constexpr int kMaxRows = 5;

protected:
    XPic m_picture;
    const Row* m_rows;
    int m_count;
    XFaderValue* m_bars[kMaxRows] = {};
};

// Threshold, ratio, attack, release and make-up gain, with the transfer curve.
class XViewEffectDyn : public XViewEffectBars {
public:
    XViewEffectDyn(XControl* parent, int x, int y, int w, int h);
    void Draw(XGraphic& graphic) override;
    // The curve's three corners: bottom-left, threshold point, right end.
    void GetCurve(float* xs, float* ys) const;
};

// High, mid and low gain, with the response curve.
class XViewEffectEQ3 : public XViewEffectBars {
public:
    XViewEffectEQ3(XControl* parent, int x, int y, int w, int h);
    void Draw(XGraphic& graphic) override;
};

// An insert slot: the plug-in box and, while a plug-in is set, the "e" mark
// that opens the plug-in's editor (the panel notifies (0, 0) when pressed).
class XViewEffectPlug : public XViewEffect {
public:
    XViewEffectPlug(XControl* parent, int x, int y, int w, int h, const char* caption);
    void Draw(XGraphic& graphic) override;
    bool OnMouseDown(XMouse& mouse) override;
    void OnMouseUp(XMouse& mouse) override;
    void OnCaptureLost() override;

    // The hosted plug-in's name; null or "" shows "No effect".
    void SetPluginName(const char* name);
    // A saved plug-in that did not open: its name, marked as failed.
    void SetFailedName(const char* name);
    bool HasPlugin() const { return m_hasPlugin; }
    bool IsPressed() const { return m_pressed; }
    XSelectPlugin* GetSelector() const { return m_selector; }

private:
    XSelectPlugin* m_selector;
    bool m_hasPlugin = false;
    bool m_pressed = false;
};

// The strip's effect area: a box and caption behind each shown panel.
class XTrackMore : public XControl {
public:
    XTrackMore(XControl* parent, int x, int y, int w, int h);
    void Draw(XGraphic& graphic) override;

    XViewEffectDyn* GetDyn() const { return m_dyn; }
    XViewEffectEQ3* GetEQ() const { return m_eq; }
    XViewEffectPlug* GetPlug(int slot) const { return slot == 0 ? m_plug[0] : (slot == 1 ? m_plug[1] : nullptr); }
    // The panel of effect slot 0..3 (compressor, equaliser, insert 1, 2).
    XControl* GetPanel(int slot) const;

private:
    XViewEffectDyn* m_dyn;
    XViewEffectEQ3* m_eq;
    XViewEffectPlug* m_plug[2];
};
