// The large mixer window and the strip parts it shows: the pan arc's
// geometry, dragging and drawing, the balance bar, the input display, the
// rows of strips with their layout, numbering, meters and mute.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <memory>

#include "editor/MixerConst.h"
#include "editor/WBigMixer.h"
#include "editor/XTrack.h"
#include "editor/XTrackControls.h"
#include "editor/XTrackPan.h"
#include "engine/OvMixerConstants.h"
#include "engine/OvPlayer.h"
#include "engine/OvStudio.h"
#include "gui/GuiTestLeaks.h"
#include "kiv/gui/HMeter.h"
#include "kiv/gui/XGraphic.h"
#include "kiv/gui/XInput.h"
#include "kiv/gui/XView.h"

namespace {

struct Root : XView {
    Root(int w, int h) { SetBounds(0, 0, w, h); }
};

const XColourValue kBackground = XColour::Make(1, 2, 3);

void PaintAlone(XControl& c, XGraphic& g)
{
    g.BeginPaint(nullptr, c.GetWidth(), c.GetHeight());
    g.FillRectangleColour(XRectangle(0, 0, c.GetWidth(), c.GetHeight()), kBackground);
    c.Paint(g, true, XRectangle(c.GetX(), c.GetY(), c.GetWidth(), c.GetHeight()));
}

int CountColour(const XGraphic& g, int w, int h, XColourValue colour)
{
    int n = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            n += g.GetPixel(x, y) == colour;
    return n;
}

struct Counter : XListener {
    int count = 0;
    int Notify(XControl*, int, int) override
    {
        ++count;
        return 0;
    }
};

// Presses at a handle of the pan control and drags by dx.
void DragHandle(XTrackPan& pan, int handle, int dx, bool shift = false)
{
    float x, y;
    pan.GetHandlePosition(handle, x, y);
    XMouse mouse;
    mouse.SetPress(static_cast<int>(std::lround(x)), static_cast<int>(std::lround(y)), 0);
    ASSERT_TRUE(pan.OnMouseDown(mouse));
    EXPECT_EQ(pan.GetDragged(), handle);
    mouse.shift = shift ? 1 : 0;
    mouse.SetCurrent(mouse.pressX + dx, mouse.pressY);
    pan.OnMouseDrag(mouse);
    pan.OnMouseUp(mouse);
    EXPECT_EQ(pan.GetDragged(), XTrackPan::kNone);
}

// A player that writes a constant into every channel bus.
class SignalPlayer : public OvPlayer {
public:
    bool OnInit() override { return true; }
    int Render(audio::Buffers* buses, int frames) noexcept override
    {
        for (int bus = 0; bus < kOvMixerChannels; ++bus) {
            for (int c = 0; c < 2; ++c) {
                float* out = buses->GetChannel(bus, c);
                for (int i = 0; i < frames; ++i)
                    out[i] = 0.5f;
            }
            buses->SetHasSignal(bus, true);
        }
        return frames;
    }
};

}  // namespace

TEST(XTrackPan, ValuesLieOnTheArcFromLeftOverTheTopToRight)
{
    EXPECT_FLOAT_EQ(XTrackPan::AngleOf(-1.0f), 147.6f);
    EXPECT_FLOAT_EQ(XTrackPan::AngleOf(0.0f), 90.0f);
    EXPECT_FLOAT_EQ(XTrackPan::AngleOf(1.0f), 32.4f);
    XTrackPan pan(nullptr, 0, 0, 53, 52);
    float x, y;
    pan.GetHandlePosition(XTrackPan::kCentre, x, y);  // (L + R) / 2 = 0: the top
    EXPECT_NEAR(x, 26.5f, 1e-4);
    EXPECT_NEAR(y, 4.0f, 1e-4);
    pan.GetHandlePosition(XTrackPan::kLeft, x, y);
    EXPECT_NEAR(x, 26.5f + 26.0f * std::cos(147.6f * 3.14159265f / 180.0f), 1e-3);
    EXPECT_NEAR(y, 30.0f - 26.0f * std::sin(147.6f * 3.14159265f / 180.0f), 1e-3);
    pan.SetPositions(-3.0f, NAN);  // stored values stay on the arc
    EXPECT_EQ(pan.GetLeft(), -1.0f);
    EXPECT_EQ(pan.GetRight(), 0.0f);
}

TEST(XTrackPan, CentreHandleAtALimitMovesNeitherEnd)
{
    XTrackPan pan(nullptr, 0, 0, 53, 52);
    Counter counter;
    pan.SetListener(&counter);
    pan.SetPositions(-0.8f, 1.0f);
    DragHandle(pan, XTrackPan::kCentre, 60);
    EXPECT_FLOAT_EQ(pan.GetLeft(), -0.8f);
    EXPECT_FLOAT_EQ(pan.GetRight(), 1.0f);
    // Leftwards both ends move together, as far as the left end allows.
    DragHandle(pan, XTrackPan::kCentre, -60);
    EXPECT_NEAR(pan.GetLeft(), -1.0f, 1e-6);
    EXPECT_NEAR(pan.GetRight(), 0.8f, 1e-6);
    EXPECT_EQ(counter.count, 2);
}

TEST(XTrackPan, EndsMoveAloneOrMirroredWithShift)
{
    XTrackPan pan(nullptr, 0, 0, 53, 52);
    DragHandle(pan, XTrackPan::kRight, -60);
    EXPECT_FLOAT_EQ(pan.GetLeft(), -1.0f);
    EXPECT_FLOAT_EQ(pan.GetRight(), 0.5f);
    DragHandle(pan, XTrackPan::kLeft, 300);  // limited at the right end of the range
    EXPECT_FLOAT_EQ(pan.GetLeft(), 1.0f);
    EXPECT_FLOAT_EQ(pan.GetRight(), 0.5f);

    pan.SetPositions(-1.0f, 1.0f);
    DragHandle(pan, XTrackPan::kLeft, 24, true);
    EXPECT_FLOAT_EQ(pan.GetLeft(), -0.8f);
    EXPECT_FLOAT_EQ(pan.GetRight(), 0.8f);
    DragHandle(pan, XTrackPan::kRight, -48, true);
    EXPECT_FLOAT_EQ(pan.GetRight(), 0.4f);
    EXPECT_FLOAT_EQ(pan.GetLeft(), -0.4f);

    // A press away from every handle is not taken.
    XMouse mouse;
    mouse.SetPress(2, 48, 0);
    EXPECT_FALSE(pan.OnMouseDown(mouse));
    EXPECT_EQ(pan.GetDragged(), XTrackPan::kNone);
}

TEST(XTrackPan, DoubleClickRestoresFullWidth)
{
    XTrackPan pan(nullptr, 0, 0, 53, 52);
    Counter counter;
    pan.SetListener(&counter);
    pan.SetPositions(0.3f, -0.2f);
    EXPECT_TRUE(pan.OnDoubleClick(10, 10));
    EXPECT_EQ(pan.GetLeft(), -1.0f);
    EXPECT_EQ(pan.GetRight(), 1.0f);
    EXPECT_EQ(counter.count, 1);
}

TEST(XTrackPan, ActiveArcIsOrangeWhenTheEndsCross)
{
    XTrackPan pan(nullptr, 0, 0, 53, 52);
    XGraphic g;
    pan.SetPositions(-0.5f, 0.6f);
    PaintAlone(pan, g);
    EXPECT_GT(CountColour(g, 53, 52, mixer::kArcActive), 0);
    EXPECT_EQ(CountColour(g, 53, 52, mixer::kArcReversed), 0);
    EXPECT_EQ(g.GetPixel(10, 45), mixer::kStripBase);  // below the arc

    pan.SetPositions(0.6f, -0.5f);
    PaintAlone(pan, g);
    EXPECT_GT(CountColour(g, 53, 52, mixer::kArcReversed), 0);
    EXPECT_EQ(CountColour(g, 53, 52, mixer::kArcActive), 0);
}

TEST(XTrackBalance, ZeroShowsOnlyTheCentreMark)
{
    XTrackBalance balance(nullptr, 0, 0, 49, 14);
    balance.SetRange(-1, 1, 0.01, 0);
    balance.SetDefault(0);
    XGraphic g;
    PaintAlone(balance, g);
    const int mark = static_cast<int>(0.5 * (49 - 4)) + 1;  // p + 1
    EXPECT_EQ(g.GetPixel(mark, 3), XColour::Make(160, 160, 160));
    EXPECT_EQ(g.GetPixel(mark + 1, 3), XColour::Make(160, 160, 160));
    EXPECT_EQ(g.GetPixel(mark, 10), XColour::Make(120, 120, 120));
    EXPECT_EQ(g.GetPixel(mark + 2, 3), XColour::Make(45, 50, 55));
    EXPECT_EQ(g.GetPixel(mark - 1, 3), XColour::Make(45, 50, 55));
    EXPECT_EQ(g.GetPixel(0, 0), XColour::Make(0, 0, 0));  // frame
    EXPECT_EQ(CountColour(g, 49, 14, XColour::Make(120, 120, 220)), 0);
    EXPECT_EQ(CountColour(g, 49, 14, XColour::Make(200, 120, 120)), 0);

    balance.SetValue(-0.5);
    PaintAlone(balance, g);
    EXPECT_EQ(g.GetPixel(20, 3), XColour::Make(120, 120, 220));
    EXPECT_EQ(g.GetPixel(20, 10), XColour::Make(100, 100, 160));
    EXPECT_EQ(g.GetPixel(30, 3), XColour::Make(45, 50, 55));
    balance.SetValue(0.5);
    PaintAlone(balance, g);
    EXPECT_EQ(g.GetPixel(30, 3), XColour::Make(200, 120, 120));
    EXPECT_EQ(g.GetPixel(18, 3), XColour::Make(45, 50, 55));
}

TEST(XTrackInput, KeepsTheWholeNameAndShowsNothingWithoutOne)
{
    XTrackInput input(nullptr, 0, 0, 47, 14);
    input.SetName("Strings");
    EXPECT_STREQ(input.GetName(), "Strings");
    input.SetName("Grand Piano Bright");
    EXPECT_STREQ(input.GetName(), "Grand Piano Bright");  // drawn shortened
    XGraphic g;
    PaintAlone(input, g);
    EXPECT_EQ(g.GetPixel(0, 0), mixer::kBoxFrame);
    input.SetName(nullptr);
    EXPECT_STREQ(input.GetName(), "");
    PaintAlone(input, g);
    EXPECT_EQ(CountColour(g, 47, 14, kBackground), 47 * 14);
}

TEST(WBigMixer, RowsHoldChannelsOfTheWindowAndOnlyStudioChannelsAreLive)
{
    WBigMixer window;
    EXPECT_EQ(window.GetWidth(), mixer::kBigMixerWidth);
    EXPECT_EQ(window.GetHeight(), mixer::kBigMixerHeight);
    EXPECT_EQ(window.GetRow(0)->GetWidth(), mixer::kRowWidth);
    EXPECT_EQ(window.GetRow(0)->GetTrack(0)->GetChannel(), 0);
    EXPECT_EQ(window.GetRow(0)->GetTrack(31)->GetChannel(), 31);
    EXPECT_EQ(window.GetRow(1)->GetTrack(0)->GetChannel(), 32);
    EXPECT_EQ(window.GetRow(1)->GetTrack(31)->GetChannel(), 63);
    EXPECT_STREQ(window.GetRow(1)->GetTrack(31)->GetLabel()->GetText(), "127-128");
    // A second window numbers its strips the same way.
    WBigMixer second;
    EXPECT_EQ(second.GetRow(0)->GetTrack(0)->GetChannel(), 0);

    OvStudio studio;
    window.SetStudio(&studio);
    window.OnIdle();  // no peaks yet
    XTrack* live = window.GetRow(0)->GetTrack(15);
    XTrack* beyond = window.GetRow(0)->GetTrack(16);
    EXPECT_TRUE(live->IsEnabled());
    EXPECT_FALSE(beyond->IsEnabled());
    live->GetFader()->SetValue(0.25);
    EXPECT_FLOAT_EQ(studio.GetMixerParam(15, kOvMixLevel), 0.25f);
    beyond->GetFader()->SetValue(0.25);
    beyond->Refresh();
    beyond->ChooseOutput(2);
    EXPECT_FALSE(beyond->ChoosePlugin(0, mixer::kNoPlugin));

    // Peaks reach the strips of the studio's channels only.
    auto player = std::make_unique<SignalPlayer>();
    ASSERT_TRUE(studio.AddPlayer(std::move(player)));
    studio.SetBlockSize(128);
    audio::Buffers outputs;
    outputs.Resize(kOvMixerOutputs, 2, 128);
    outputs.ClearActive();
    studio.Render(&outputs, 128);
    window.OnIdle();
    EXPECT_GT(window.GetRow(0)->GetTrack(0)->GetMeter()->GetLeft().GetPending(), 0);
    EXPECT_GT(live->GetMeter()->GetRight().GetPending(), 0);
    EXPECT_EQ(beyond->GetMeter()->GetLeft().GetPending(), 0);
    EXPECT_EQ(window.GetRow(1)->GetTrack(0)->GetMeter()->GetLeft().GetPending(), 0);
}

TEST(WBigMixer, ExpandingAStripLaysOutItsRowOnly)
{
    WBigMixer window;
    XMultiTrack* top = window.GetRow(0);
    top->GetTrack(5)->GetExpand()->SimulateClick(2, 2);
    EXPECT_EQ(top->GetWidth(), mixer::kRowWidth + 120);
    EXPECT_EQ(top->GetTrack(6)->GetX(), 6 * 54 + 120);
    EXPECT_EQ(top->GetTrack(31)->GetX(), 31 * 54 + 120);
    EXPECT_EQ(window.GetRow(1)->GetTrack(6)->GetX(), 6 * 54);
    EXPECT_EQ(window.GetRow(1)->GetWidth(), mixer::kRowWidth);
}

TEST(WBigMixer, MuteAndSoloInTheWindowReachTheStudio)
{
    WBigMixer window;
    OvStudio studio;
    window.SetStudio(&studio);
    window.Refresh();
    window.GetRow(0)->GetTrack(4)->GetMute()->SimulateClick(5, 5);
    EXPECT_EQ(studio.GetMixerParam(4, kOvMixMute), 1.0f);
    window.GetRow(0)->GetTrack(9)->GetSolo()->SimulateClick(5, 5);
    for (int i = 0; i < kOvMixerChannels; ++i)
        EXPECT_EQ(studio.GetMixerParam(i, kOvMixMute), i == 9 ? 0.0f : 1.0f) << i;
    window.GetRow(0)->GetTrack(9)->GetSolo()->SimulateClick(5, 5);
    for (int i = 0; i < kOvMixerChannels; ++i)
        EXPECT_EQ(studio.GetMixerParam(i, kOvMixMute), i == 4 ? 1.0f : 0.0f) << i;
}

TEST(WBigMixer, PaintsItsBackgroundAndStrips)
{
    WBigMixer window;
    OvStudio studio;
    window.SetStudio(&studio);
    window.Refresh();
    window.GetRow(0)->GetTrack(1)->GetExpand()->SimulateClick(2, 2);
    window.GetRow(0)->GetTrack(1)->GetEffectToggle(kOvSlotComp)->SimulateClick(2, 2);
    window.GetRow(0)->GetTrack(1)->GetEffectToggle(kOvSlotEQ)->SimulateClick(2, 2);
    window.GetRow(0)->GetTrack(1)->GetEffectToggle(kOvSlotInsert1)->SimulateClick(2, 2);
    XGraphic g;
    g.BeginPaint(nullptr, window.GetWidth(), window.GetHeight());
    window.PaintTree(g, true);
    EXPECT_EQ(g.GetPixel(0, 0), mixer::kBigMixerBack);
    // Strip 0's background, right of its fader and meter area.
    EXPECT_EQ(g.GetPixel(1 + 50, 130), mixer::kStripBase);
    // The expanded strip's effect area.
    EXPECT_EQ(g.GetPixel(1 + 54 + 53 + 1, 1), mixer::kMoreBack);
}
