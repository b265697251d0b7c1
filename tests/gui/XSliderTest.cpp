// ctest-label: thread
// Sliders, faders, value bars, knobs and meters: quantising, notifications,
// mouse drags, handle geometry, the meter's scale, fall and redraws, and
// peaks posted from another thread.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include "gui/GuiTestControls.h"
#include "gui/GuiTestLeaks.h"
#include "kiv/gui/HMeter.h"
#include "kiv/gui/XGraphic.h"
#include "kiv/gui/XSlider.h"
#include "kiv/gui/XView.h"
#include "kiv/gui/XWidgetConst.h"
#include "support/TestSupport.h"

namespace {

using guitest::kBackground;
using guitest::PaintAlone;
using guitest::Recorder;
using guitest::Root;

}  // namespace

TEST(XSlider, RangesAndStepsDefaultToHundredthsAndFifths)
{
    XSlider s(nullptr, 0, 0, 100, 10);
    s.SetValue(0.123);
    EXPECT_NEAR(s.GetValue(), 0.12, 1e-9);
    s.SetValue(0.126);
    EXPECT_NEAR(s.GetValue(), 0.13, 1e-9);
    EXPECT_DOUBLE_EQ(s.SetRange(0, 10, 0, 0), 0.2);
    EXPECT_DOUBLE_EQ(s.GetStep(), 0.1);
    EXPECT_DOUBLE_EQ(s.GetFineStep(), 0.02);
    s.SetValue(42);
    EXPECT_DOUBLE_EQ(s.GetValue(), 10.0);
    s.SetValue(-3);
    EXPECT_DOUBLE_EQ(s.GetValue(), 0.0);
}

TEST(XSlider, EmptyRangesAndOffGridMaximaKeepTheValueInRange)
{
    XSlider s(nullptr, 0, 0, 100, 10);
    EXPECT_DOUBLE_EQ(s.SetRange(5, 5, 0, 0), 1.0);
    s.SetValue(7);
    EXPECT_DOUBLE_EQ(s.GetValue(), 5.0);
    EXPECT_DOUBLE_EQ(s.GetNormalised(), 0.0);
    s.SetNormalised(0.7);
    EXPECT_DOUBLE_EQ(s.GetValue(), 5.0);

    s.SetRange(0, 1, 0.4, 0);
    s.SetValue(1.0);
    EXPECT_LE(s.GetValue(), 1.0);
    EXPECT_LE(s.GetNormalised(), 1.0);
    s.SetValue(std::numeric_limits<double>::quiet_NaN());
    EXPECT_FALSE(std::isnan(s.GetValue()));
    s.SetValue(std::numeric_limits<double>::infinity());
    EXPECT_LE(s.GetValue(), 1.0);
}

TEST(XSlider, ChangesNotifyValueListenerThenListenerAndRepeatsOnlyWhenForced)
{
    XSlider s(nullptr, 0, 0, 100, 10);
    s.SetRange(0, 100, 1, 0);
    Recorder rec;
    s.SetValueListener(&rec);
    s.SetListener(&rec);
    s.SetValue(42.4);
    ASSERT_EQ(rec.notes.size(), 2u);
    EXPECT_EQ(rec.notes[0].code, xwidget::kCodeSlide);
    EXPECT_EQ(rec.notes[0].value, 42);
    EXPECT_EQ(rec.notes[0].sender, &s);
    EXPECT_EQ(rec.notes[1].code, 0);
    EXPECT_EQ(rec.notes[1].value, 0);
    s.SetValue(42.0);
    EXPECT_EQ(rec.notes.size(), 2u);

    s.SetDefault(50.2);  // no notification now...
    EXPECT_DOUBLE_EQ(s.GetValue(), 50.0);
    EXPECT_EQ(rec.notes.size(), 2u);
    s.SetValue(50);      // ...but the next set reports even without a change
    EXPECT_EQ(rec.notes.size(), 4u);
    s.SetValue(50);
    EXPECT_EQ(rec.notes.size(), 4u);

    // The first set after construction reports too.
    XSlider fresh(nullptr, 0, 0, 10, 10);
    Recorder first;
    fresh.SetValueListener(&first);
    fresh.SetDefault(0.0);
    fresh.SetValue(0.0);
    EXPECT_EQ(first.notes.size(), 1u);
}

TEST(XSlider, ControlClickAndDoubleClickGoBackToTheDefaultWithoutADrag)
{
    Root root(200, 50);
    auto* s = new XSlider(&root, 0, 0, 100, 10);
    s->SetDefault(0.25);
    s->SetValue(0.8);
    EXPECT_FALSE(root.HandleMouseDown(10, 5, 0, false, true));
    EXPECT_FALSE(root.HasCapture());
    EXPECT_DOUBLE_EQ(s->GetValue(), 0.25);
    s->SetValue(0.8);
    EXPECT_TRUE(root.HandleDoubleClick(10, 5));
    EXPECT_DOUBLE_EQ(s->GetValue(), 0.25);
}

TEST(XSlider, DragsMapPixelsToTheRangeAndShiftRestartsAFineDrag)
{
    Root root(300, 300);
    auto* h = new XSlider(&root, 0, 0, 100, 10);
    h->SetHorizontalDrag(100);
    h->SetValue(0.5);
    EXPECT_TRUE(root.HandleMouseDown(50, 5, 0, false, false));
    root.HandleMouseMove(70, 5, false, false);
    EXPECT_NEAR(h->GetValue(), 0.7, 1e-9);
    root.HandleMouseMove(70, 90, false, false);  // across the axis: no change
    EXPECT_NEAR(h->GetValue(), 0.7, 1e-9);
    root.HandleMouseUp(70, 90, 0);

    auto* v = new XSlider(&root, 0, 100, 10, 100);
    v->SetRange(0, 1, 0.1, 0.01);
    v->SetVerticalDrag(100);
    v->SetValue(0.5);
    EXPECT_TRUE(root.HandleMouseDown(5, 150, 0, false, false));
    root.HandleMouseMove(5, 140, false, false);  // up increases
    EXPECT_NEAR(v->GetValue(), 0.6, 1e-9);
    root.HandleMouseMove(5, 130, true, false);   // shift: restarts here, no jump
    EXPECT_NEAR(v->GetValue(), 0.6, 1e-9);
    root.HandleMouseMove(5, 120, true, false);   // 10 px at a tenth of the scale
    EXPECT_NEAR(v->GetValue(), 0.61, 1e-9);
    root.HandleMouseMove(5, 110, false, false);  // shift released: restarts, coarse steps again
    EXPECT_NEAR(v->GetValue(), 0.6, 1e-6);
    root.HandleMouseMove(5, 100, false, false);
    EXPECT_NEAR(v->GetValue(), 0.7, 1e-6);
    root.HandleMouseUp(5, 100, 0);

    auto* off = new XSlider(&root, 200, 0, 50, 10);
    off->SetHorizontalDrag(0);
    off->SetValue(0.3);
    root.HandleMouseDown(210, 5, 0, false, false);
    root.HandleMouseMove(240, 5, false, false);
    EXPECT_NEAR(off->GetValue(), 0.3, 1e-9);
}

TEST(XFader, VerticalHandleTravelsTheTrackWithGrip)
{
    XFader f(nullptr, 0, 0, 20, 100);
    EXPECT_TRUE(f.IsVertical());
    XGraphic g;
    f.SetValue(0);
    PaintAlone(f, g);
    EXPECT_EQ(f.GetHandleRect().bottom, 98);
    EXPECT_EQ(f.GetHandleRect().top, 87);
    EXPECT_EQ(g.GetPixel(4, 88), XColour::Make(160, 160, 220));
    EXPECT_EQ(g.GetPixel(4, 90), XColour::Scale(XColour::Make(160, 160, 220), 0.8f));  // grip
    EXPECT_EQ(g.GetPixel(4, 50), XColour::Make(200, 200, 200));  // no groove by default
    f.SetValue(1);
    PaintAlone(f, g);
    EXPECT_EQ(f.GetHandleRect().top, 2);
    EXPECT_EQ(g.GetPixel(4, 95), XColour::Make(200, 200, 200));

    f.SetTrackColour(XColour::Make(100, 100, 100));
    PaintAlone(f, g);
    EXPECT_EQ(g.GetPixel(9, 50), XColour::Make(60, 60, 60));
    EXPECT_EQ(g.GetPixel(10, 50), XColour::Make(20, 20, 20));
    EXPECT_EQ(g.GetPixel(11, 50), XColour::Make(130, 130, 130));
}

TEST(XFader, HorizontalValueBarRunsFromLeftOrCentre)
{
    Root root(200, 50);
    auto* f = new XFader(&root, 0, 0, 100, 20);
    EXPECT_FALSE(f->IsVertical());
    const XColourValue red = XColour::Make(255, 0, 0);
    f->SetValueBar(red, XRect(0, 15, 99, 17), false);
    f->SetValue(0.5);
    XGraphic g;
    PaintAlone(*f, g);
    EXPECT_EQ(g.GetPixel(30, 16), red);
    EXPECT_EQ(g.GetPixel(70, 16), XColour::Make(200, 200, 200));
    EXPECT_EQ(f->GetHandleRect().left, 1 + static_cast<int>(0.5 * 86));

    f->SetValueBar(red, XRect(0, 15, 99, 17), true);
    f->SetValue(0.2);
    PaintAlone(*f, g);
    EXPECT_EQ(g.GetPixel(30, 16), red);
    EXPECT_EQ(g.GetPixel(10, 16), XColour::Make(200, 200, 200));

    // 88 pixels of drag cover the range.
    f->SetValue(0);
    root.HandleMouseDown(5, 5, 0, false, false);
    root.HandleMouseMove(5 + 44, 5, false, false);
    EXPECT_NEAR(f->GetValue(), 0.5, 1e-9);
    root.HandleMouseUp(49, 5, 0);
}

TEST(XFaderValue, FormatMustTakeOneNumberAndTextIsCutToFit)
{
    XFaderValue v(nullptr, 0, 0, 80, 14);
    EXPECT_STREQ(v.GetValueText(), "0");
    EXPECT_FALSE(v.SetFormat("%s"));
    EXPECT_FALSE(v.SetFormat("%f %f"));
    EXPECT_FALSE(v.SetFormat("%n"));
    EXPECT_FALSE(v.SetFormat("no number"));
    EXPECT_FALSE(v.SetFormat("%.1f and far too long"));
    EXPECT_FALSE(v.SetFormat(nullptr));
    v.SetRange(0, 1e20, 0, 0);
    ASSERT_TRUE(v.SetFormat("%.1f%%"));
    v.SetValue(0.5e20);
    EXPECT_LT(std::string(v.GetValueText()).size(), static_cast<size_t>(xwidget::kFaderTextSize));
    v.SetRange(0, 10, 0.5, 0);
    ASSERT_TRUE(v.SetFormat("%.1f dB"));
    v.SetValue(2.5);
    EXPECT_STREQ(v.GetValueText(), "2.5 dB");
}

TEST(XFaderValue, BarGrowsWithTheValueInsideTheFrame)
{
    XFaderValue v(nullptr, 0, 0, 80, 14);
    v.SetValue(0);
    XGraphic g;
    PaintAlone(v, g);
    EXPECT_EQ(g.GetPixel(0, 0), XColour::Make(0, 20, 50));
    EXPECT_EQ(g.GetPixel(40, 12), XColour::Make(6, 48, 72));
    v.SetValue(1);
    PaintAlone(v, g);
    EXPECT_NE(g.GetPixel(40, 12), XColour::Make(6, 48, 72));
}

TEST(XKnob, PointerSweepsFromDownLeftThroughUpToDownRight)
{
    XKnob k(nullptr, 0, 0, 40, 40);
    k.SetPointer(20, 20, 10);
    float x, y;
    k.SetValue(0);
    k.GetPointerTip(x, y);
    EXPECT_NEAR(x, 20 - 7.071f, 0.01f);
    EXPECT_NEAR(y, 20 + 7.071f, 0.01f);
    k.SetValue(0.5);
    k.GetPointerTip(x, y);
    EXPECT_NEAR(x, 20.0f, 0.01f);
    EXPECT_NEAR(y, 10.0f, 0.01f);
    XGraphic g;
    PaintAlone(k, g);
    EXPECT_EQ(g.GetPixel(20, 12), XColour::Make(220, 220, 220));
    EXPECT_EQ(g.GetPixel(20, 30), XColour::Make(200, 220, 220));
    k.SetValue(1);
    k.GetPointerTip(x, y);
    EXPECT_NEAR(x, 20 + 7.071f, 0.01f);
    EXPECT_NEAR(y, 20 + 7.071f, 0.01f);
    k.SetPointerStyle(1);
    PaintAlone(k, g);
    EXPECT_EQ(g.GetPixel(27, 27), XColour::Make(220, 220, 220));
}

TEST(HMeter, ScaleSegmentsAndColourZones)
{
    HMeter m;
    m.SetRect(XRect(0, 0, 5, 59));
    EXPECT_EQ(m.GetSegmentCount(), 20);
    EXPECT_EQ(m.GetYellowStart(), static_cast<int>(20 * 0.7f));
    EXPECT_EQ(m.GetRedStart(), static_cast<int>(20 * 0.9f));
    EXPECT_EQ(m.SegmentColour(0, true), XColour::Make(0, 255, 0));
    EXPECT_EQ(m.SegmentColour(m.GetYellowStart(), true), XColour::Make(255, 255, 0));
    EXPECT_EQ(m.SegmentColour(19, false), XColour::Make(30, 0, 0));
    m.SetBlend(true);
    EXPECT_EQ(m.SegmentColour(10, true), XColour::Make(127, 0, 128));
    EXPECT_EQ(m.SegmentColour(10, false), XColour::Make(32, 32, 32));

    // Full scale at level 1.0; 0.15 of the bar per octave below it.
    EXPECT_TRUE(m.SetLevel(1.0f));
    XGraphic g;
    g.BeginPaint(nullptr, 6, 60);
    m.Draw(g, true);
    EXPECT_EQ(m.GetLitLevel(), 20);
    m.Reset();
    m.SetLevel(0.5f);
    m.Draw(g, true);
    EXPECT_EQ(m.GetLitLevel(), 17);
}

TEST(HMeter, SilenceAfterAPeakFallsFasterEachCallAndALouderLevelJumpsUp)
{
    HMeter m;
    m.SetRect(XRect(0, 0, 5, 59));
    XGraphic g;
    g.BeginPaint(nullptr, 6, 60);
    EXPECT_FALSE(m.SetLevel(0.0f));  // nothing lit, nothing to do
    m.SetLevel(1.0f);
    m.Draw(g, false);
    std::vector<int> levels;
    for (int i = 0; i < 5; ++i) {
        m.SetLevel(0.0f);
        m.Draw(g, false);
        levels.push_back(m.GetLitLevel());
    }
    EXPECT_EQ(levels, (std::vector<int>{20, 19, 17, 14, 10}));
    EXPECT_TRUE(m.SetLevel(1.0f));
    m.Draw(g, false);
    EXPECT_EQ(m.GetLitLevel(), 20);
    for (int i = 0; i < 20; ++i) {
        m.SetLevel(0.0f);
        m.Draw(g, false);
    }
    EXPECT_EQ(m.GetLitLevel(), -1);
    EXPECT_FALSE(m.SetLevel(0.0f));
    m.SetLevel(1.0f);
    m.Reset();
    EXPECT_FALSE(m.SetLevel(0.0f));
}

TEST(HMeter, StepwiseAndFullRedrawsShowTheSameSegmentsInsideTheBar)
{
    const XRect bar(2, 3, 7, 44);
    HMeter stepped, full;
    stepped.SetRect(bar);
    full.SetRect(bar);
    XGraphic a, b;
    a.BeginPaint(nullptr, 12, 50);
    b.BeginPaint(nullptr, 12, 50);
    a.FillRectangleColour(XRectangle(0, 0, 12, 50), kBackground);
    stepped.Draw(a, true);
    const float levels[] = {0.9f, 0.0f, 0.0f, 0.3f, 1e30f, std::numeric_limits<float>::infinity(), -0.7f,
                            std::numeric_limits<float>::quiet_NaN(), 0.0f, 0.0f, 0.001f, 0.0f, 1e-40f};
    for (float level : levels) {
        stepped.SetLevel(level);
        full.SetLevel(level);
        stepped.Draw(a, false);
        b.FillRectangleColour(XRectangle(0, 0, 12, 50), kBackground);
        full.Draw(b, true);
        ASSERT_EQ(stepped.GetLitLevel(), full.GetLitLevel()) << level;
        for (int y = 0; y < 50; ++y) {
            for (int x = 0; x < 12; ++x) {
                ASSERT_EQ(a.GetPixel(x, y), b.GetPixel(x, y)) << level << " at " << x << "," << y;
                if (!bar.Contains(x, y)) {
                    ASSERT_EQ(a.GetPixel(x, y), kBackground) << x << "," << y;
                }
            }
        }
    }
}

TEST(XMeterStereo, BarsSplitTheShortSideWithAGap)
{
    XMeterStereo even(nullptr, 0, 0, 12, 60);
    EXPECT_EQ(even.GetLeft().GetRect().left, 1);
    EXPECT_EQ(even.GetLeft().GetRect().right, 4);
    EXPECT_EQ(even.GetRight().GetRect().left, 7);
    EXPECT_EQ(even.GetRight().GetRect().right, 10);
    XMeterStereo odd(nullptr, 0, 0, 13, 60);
    EXPECT_EQ(odd.GetLeft().GetRect().right, 5);
    EXPECT_EQ(odd.GetRight().GetRect().left, 7);
    EXPECT_EQ(odd.GetRight().GetRect().right, 11);
    XMeterStereo wide(nullptr, 0, 0, 60, 12);
    EXPECT_EQ(wide.GetLeft().GetRect().top, 1);
    EXPECT_EQ(wide.GetLeft().GetRect().bottom, 4);
    EXPECT_EQ(wide.GetRight().GetRect().top, 7);
    EXPECT_EQ(wide.GetLeft().GetSegmentCount(), 58 / 3);
}

TEST(XMeterStereo, LevelsRepaintOnlyOnChangeAndResetClearsTheBars)
{
    Root root(20, 70);
    auto* meter = new XMeterStereo(&root, 0, 0, 12, 60);
    XGraphic g;
    g.BeginPaint(nullptr, 20, 70);
    root.PaintTree(g, true);
    EXPECT_FALSE(meter->SetLevels(0.0f, 0.0f));
    EXPECT_TRUE(meter->SetLevels(1.0f, 0.0f));
    root.PaintTree(g, false);
    EXPECT_EQ(g.GetPixel(2, 57), XColour::Make(0, 255, 0));   // left bar, segment 0
    EXPECT_EQ(g.GetPixel(8, 57), XColour::Make(0, 30, 0));    // right bar unlit
    meter->Reset();
    root.PaintTree(g, false);
    EXPECT_EQ(g.GetPixel(2, 57), XColour::Make(0, 30, 0));
}

TEST(XMeterStereo, PeaksPostedFromAnotherThreadAreTakenByTheTimer)
{
    Root root(20, 70);
    auto* meter = new XMeterStereo(&root, 0, 0, 12, 60);
    XGraphic g;
    g.BeginPaint(nullptr, 20, 70);
    {
        kivtest::AllocCounter allocs;
        meter->PostPeaks(0.25f, -0.5f);
        meter->PostPeaks(0.125f, 0.25f);
        EXPECT_EQ(allocs.Count(), 0);
    }
    EXPECT_TRUE(meter->TakePostedPeaks());
    EXPECT_EQ(meter->GetLeft().GetPending(), 14);   // 0.25: two octaves down
    EXPECT_EQ(meter->GetRight().GetPending(), 17);  // 0.5 by its size

    std::atomic<bool> done{false};
    std::thread audio([&] {
        for (int i = 0; i < 20000; ++i)
            meter->PostPeaks(static_cast<float>(i % 100) / 100.0f, 0.5f);
        done.store(true, std::memory_order_release);
    });
    while (!done.load(std::memory_order_acquire)) {
        meter->TakePostedPeaks();
        root.PaintTree(g, false);
    }
    audio.join();
    meter->PostPeaks(1.0f, 1.0f);
    meter->TakePostedPeaks();
    root.PaintTree(g, false);
    EXPECT_EQ(meter->GetLeft().GetLitLevel(), 19);
    EXPECT_EQ(meter->GetRight().GetLitLevel(), 19);
}
