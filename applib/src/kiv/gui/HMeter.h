// Level meters. HMeter is a segmented level bar drawn inside a control: a
// logarithmic scale (0.15 of the bar per octave, full at level 1.0), peaks
// shown at once and a fall that speeds up segment by segment. XMeterStereo
// is a control with a left and a right bar.
//
// HMeter and XMeterStereo::SetLevels belong to the GUI thread: the editor's
// 50 ms timer feeds them and the next paint draws only the segments that
// changed. XMeterStereo::PostPeaks may be called from any thread (the audio
// thread): it only raises two atomic peak values, which the GUI timer takes
// with XMeterStereo::TakePostedPeaks.
#pragma once
#include <atomic>

#include "kiv/gui/XControl.h"

class HMeter {
public:
    HMeter() = default;
    virtual ~HMeter() = default;

    // The bar's rectangle in the owner's coordinates; vertical when narrower
    // than tall. One segment per 3 pixels of the long side.
    void SetRect(const XRect& rect);
    const XRect& GetRect() const { return m_rect; }
    // True when something must be redrawn. Negative levels count by their
    // size; NaN counts as silence.
    bool SetLevel(float level);
    void Reset();
    // full: every segment; otherwise only those the pending steps change.
    void Draw(XGraphic& graphic, bool full);
    // What the last Draw changed, in the owner's coordinates (empty when it
    // drew nothing).
    XRectangle GetDrawnArea() const
    {
        return XRectangle(m_drawnX0, m_drawnY0, m_drawnX1 - m_drawnX0, m_drawnY1 - m_drawnY0);
    }
    void SetBlend(bool blend) { m_blend = blend; }

    // The number of lit segments (-1 and 0 both show none; -1 is the idle
    // state in which silence changes nothing).
    int GetLitLevel() const { return m_lit; }
    int GetPending() const { return m_pending; }
    int GetSegmentCount() const { return m_segments; }
    int GetYellowStart() const { return m_yellowStart; }
    int GetRedStart() const { return m_redStart; }
    float GetLastLog() const { return m_lastLog; }
    // The colour segment k has when lit or unlit.
    XColourValue SegmentColour(int k, bool lit) const;

private:
    void DrawSegment(XGraphic& graphic, int k, bool lit);

    XRect m_rect;
    bool m_vertical = true;
    bool m_blend = false;
    float m_lastLog = 0.0f;
    int m_lit = -1;
    int m_fall = 0;
    int m_pending = 0;
    int m_segments = 0;
    int m_yellowStart = 0;
    int m_redStart = 0;
    XColourValue m_lastBrush = XColour::Make(0, 0, 0);
    int m_drawnX0 = 0, m_drawnY0 = 0, m_drawnX1 = 0, m_drawnY1 = 0;  // bounds of the last Draw's segments
};

class XMeterStereo : public XControl {
public:
    XMeterStereo(XControl* parent, int x, int y, int w, int h);

    void Draw(XGraphic& graphic) override;
    void OnGeometryChanged() override { LayoutBars(); }

    // Repaints when either bar changed and returns that. GUI thread.
    bool SetLevels(float left, float right);
    void Reset();
    // Any thread, lock-free, allocation-free: keeps the highest peak posted
    // since the last take.
    void PostPeaks(float left, float right) noexcept;
    // GUI thread: hands the posted peaks to SetLevels and starts over from 0.
    bool TakePostedPeaks();
    HMeter& GetLeft() { return m_left; }
    HMeter& GetRight() { return m_right; }
    void SetBlend(bool blend);

private:
    void LayoutBars();

    HMeter m_left;
    HMeter m_right;
    std::atomic<float> m_postedLeft{0.0f};
    std::atomic<float> m_postedRight{0.0f};
};
