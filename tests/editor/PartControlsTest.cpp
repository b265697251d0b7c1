// The part unit's and toolbar's controls: value captions and their forms,
// the name box's progress and status, the tuning mode menu, the arrow box's
// bounds and reports, LEDs, the dimension cells and program lines filled from
// a program, the logo and the port LEDs of the tab bar.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "editor/EditorConst.h"
#include "editor/XDimList.h"
#include "editor/XGigaName.h"
#include "editor/XLogo.h"
#include "editor/XSetValue.h"
#include "editor/XTabPorts.h"
#include "editor/XTogLed.h"
#include "editor/XValTop.h"
#include "engine/GigaProgram.h"
#include "gui/GuiTestLeaks.h"
#include "kiv/gui/HeadlessBackend.h"
#include "kiv/gui/XGraphic.h"
#include "kiv/gui/XSlider.h"
#include "kiv/gui/XView.h"
#include "kiv/gui/XWidgetConst.h"

namespace {

struct Note {
    XControl* sender;
    int code;
    int value;
};

struct Recorder : XListener {
    int Notify(XControl* sender, int code, int value) override
    {
        notes.push_back({sender, code, value});
        return 0;
    }
    std::vector<Note> notes;
};

struct Root : XView {
    Root(int w, int h)
    {
        SetBounds(0, 0, w, h);
        SetVisible(true);
    }
    void Click(int x, int y)
    {
        HandleMouseDown(x, y, 0, false, false);
        HandleMouseUp(x, y, 0);
    }
};

// Paints one control on a fresh surface of its size over a known colour.
const XColourValue kBackground = XColour::Make(1, 2, 3);
void PaintAlone(XControl& c, XGraphic& g)
{
    g.BeginPaint(nullptr, c.GetWidth(), c.GetHeight());
    g.FillRectangleColour(XRectangle(0, 0, c.GetWidth(), c.GetHeight()), kBackground);
    c.SetPosition(0, 0);
    c.Paint(g, true, XRectangle(0, 0, c.GetWidth(), c.GetHeight()));
}

// Any pixel of the colour, give or take the shading of antialiased text
// strokes too thin to cover a whole pixel.
bool AnyPixel(const XGraphic& g, int x0, int y0, int w, int h, XColourValue colour)
{
    auto near = [colour](XColourValue p) {
        return std::abs(XColour::Red(p) - XColour::Red(colour)) <= 24 &&
               std::abs(XColour::Green(p) - XColour::Green(colour)) <= 24 &&
               std::abs(XColour::Blue(p) - XColour::Blue(colour)) <= 24;
    };
    for (int y = y0; y < y0 + h; ++y)
        for (int x = x0; x < x0 + w; ++x)
            if (near(g.GetPixel(x, y)))
                return true;
    return false;
}

// The headless back end, installed while it lives; the shown menu is its
// window of class "KivMenu".
class MenuBackend : public HeadlessBackend {
public:
    MenuBackend() { XBackend::Install(this); }
    ~MenuBackend() override { XBackend::Install(nullptr); }
    HeadlessWindow* Menu() const { return FindByClass("KivMenu"); }
};

}  // namespace

// --- Value captions ---

TEST(XValTop, PanFormShowsCentreLeftAndRight)
{
    struct Case {
        int value;
        const char* text;
    };
    const Case cases[] = {{64, "<C>"}, {0, "L64"}, {127, "R63"}, {63, "L1"}, {65, "R1"}};
    XValTop caption(nullptr, 0, 0, 30, 16);
    caption.SetPanForm(true);
    for (const Case& c : cases) {
        caption.SetValue(c.value);
        EXPECT_STREQ(caption.GetText(), c.text) << c.value;
    }
    caption.SetPanForm(false);
    caption.SetValue(-24);
    EXPECT_STREQ(caption.GetText(), "-24");
    caption.Clear();
    EXPECT_STREQ(caption.GetText(), "");
}

TEST(XValTop, FollowsTheSliderItListensToAndDrawsOnlyWhileEnabled)
{
    Root root(100, 40);
    auto* fader = new XFader(&root, 0, 0, 92, 18);
    fader->SetRange(0, 127, 1, 1);
    auto* caption = new XValTop(&root, 0, 20, 30, 16);
    fader->SetValueListener(caption);
    fader->SetValue(90);
    EXPECT_STREQ(caption->GetText(), "90");

    XGraphic g;
    PaintAlone(*caption, g);
    EXPECT_TRUE(AnyPixel(g, 0, 0, 30, 16, XColour::Make(0, 203, 31)));
    caption->SetEnabled(false);
    PaintAlone(*caption, g);
    EXPECT_FALSE(AnyPixel(g, 0, 0, 30, 16, XColour::Make(0, 203, 31)));
}

TEST(XValBot, FormsAndColoursCompareTheKnobWithItsDefault)
{
    char text[16];
    XValBot::FormatValue(0.5, 1, text, sizeof text);
    EXPECT_STREQ(text, "0.50");
    XValBot::FormatValue(-7.9, 0, text, sizeof text);
    EXPECT_STREQ(text, "-7");
    XValBot::FormatValue(1e300, 1, text, sizeof text);  // never overruns the caption
    EXPECT_LT(std::string(text).size(), sizeof text);

    Root root(100, 60);
    auto* knob = new XKnob(&root, 0, 0, 33, 33);
    knob->SetRange(0, 10, 0.1, 0.02);
    knob->SetDefault(2.0);
    auto* caption = new XValBot(&root, 2, 40, 29, 11);
    caption->SetMode(1);
    caption->SetKnob(knob);
    EXPECT_STREQ(caption->GetText(), "2.00");
    EXPECT_EQ(caption->GetValueColour(), XColour::Make(200, 200, 210));
    knob->SetValue(3.0);
    EXPECT_STREQ(caption->GetText(), "3.00");
    EXPECT_EQ(caption->GetValueColour(), XColour::Make(0, 203, 31));
    knob->SetValue(1.0);
    EXPECT_EQ(caption->GetValueColour(), XColour::Make(255, 180, 31));

    XGraphic g;
    PaintAlone(*caption, g);
    EXPECT_EQ(g.GetPixel(0, 8), XColour::Make(0, 0, 0));
    EXPECT_TRUE(AnyPixel(g, 2, 1, 25, 4, XColour::Make(37, 37, 37)));
    caption->Clear();
    PaintAlone(*caption, g);
    EXPECT_EQ(g.GetPixel(0, 8), kBackground);  // empty: nothing drawn
}

// --- Selector boxes ---

TEST(XGigaName, ProgressIsClampedAndRepaintsOnlyOnChange)
{
    Root root(200, 30);
    auto* name = new XGigaName(&root, 0, 0, 176, 16);
    name->SetText("Grand Piano");
    EXPECT_EQ(name->GetProgress(), editor::kNoProgress);
    XGraphic g;
    g.BeginPaint(nullptr, 200, 30);
    root.PaintTree(g, true);
    name->SetProgress(150);
    EXPECT_EQ(name->GetProgress(), 100);
    EXPECT_TRUE(name->IsDirty());
    root.PaintTree(g, false);
    name->SetProgress(100);
    EXPECT_FALSE(name->IsDirty());
    name->SetProgress(-5);
    EXPECT_EQ(name->GetProgress(), editor::kNoProgress);
}

TEST(XGigaName, ProgressBarReplacesTheArrowAndStatusReplacesTheName)
{
    XGigaName name(nullptr, 0, 0, 176, 16);
    name.SetText("Strings");
    XGraphic g;
    PaintAlone(name, g);
    EXPECT_EQ(g.GetPixel(175, 8), XColour::Make(0, 0, 0));  // the arrow's strip
    EXPECT_FALSE(AnyPixel(g, 0, 0, 176, 16, XColour::Make(200, 0, 0)));

    name.SetProgress(50);
    PaintAlone(name, g);
    EXPECT_EQ(g.GetPixel(60, 12), XColour::Make(200, 0, 0));  // bar of (176 - 3) / 2 pixels
    EXPECT_EQ(g.GetPixel(60, 4), XColour::Make(200, 50, 50));
    EXPECT_NE(g.GetPixel(100, 12), XColour::Make(200, 0, 0));

    EXPECT_STREQ(name.GetShownText(), "Strings");
    name.ShowStatus("Loading File...");
    EXPECT_STREQ(name.GetShownText(), "Loading File...");
    name.ShowStatus(nullptr);
    EXPECT_STREQ(name.GetShownText(), "Strings");
    EXPECT_EQ(name.GetNameColour(), XColour::Make(0, 203, 31));
    name.SetNameColour(XColour::Make(250, 250, 200));
    EXPECT_EQ(name.GetNameColour(), XColour::Make(250, 250, 200));
}

TEST(XGigaName, RecordsLongNamesAndDoubleClickAsksToBrowse)
{
    Root root(200, 30);
    Recorder rec;
    auto* name = new XGigaName(&root, 0, 0, 176, 16);
    name->SetListener(&rec);
    name->SetText("12345678901234567890");
    EXPECT_FALSE(name->IsLongName());
    name->SetText("123456789012345678901");
    EXPECT_TRUE(name->IsLongName());
    root.HandleDoubleClick(10, 5);
    ASSERT_FALSE(rec.notes.empty());
    EXPECT_EQ(rec.notes.back().code, editor::kCodeBrowse);
    EXPECT_EQ(rec.notes.back().sender, name);
}

TEST(XSelectLcd, PressAsksTheOwnerAndTextIsCentred)
{
    Root root(100, 30);
    Recorder rec;
    auto* box = new XSelectLcd(&root, 0, 0, 44, 16);
    box->SetListener(&rec);
    box->SetText("1|2");
    root.Click(10, 8);
    ASSERT_EQ(rec.notes.size(), 1u);
    EXPECT_EQ(rec.notes[0].code, 0);
    XGraphic g;
    PaintAlone(*box, g);
    EXPECT_TRUE(AnyPixel(g, 8, 0, 20, 16, XColour::Make(0, 203, 31)));
    EXPECT_FALSE(AnyPixel(g, 0, 0, 6, 16, XColour::Make(0, 203, 31)));
}

TEST(XSelFader, MenuChoiceSetsTheModeAndTellsTheListener)
{
    MenuBackend backend;
    Root root(100, 30);
    Recorder rec;
    auto* mode = new XSelFader(&root, 0, 0, 32, 16);
    mode->SetListener(&rec);
    EXPECT_EQ(mode->GetMode(), XSelFader::kFine);
    root.Click(5, 5);
    ASSERT_NE(backend.Menu(), nullptr);
    for (int key : {xconst::kKeyDown, xconst::kKeyDown, xconst::kKeyReturn})
        backend.KeyDown(backend.Menu(), key);
    root.Tick(1);
    EXPECT_EQ(mode->GetMode(), XSelFader::kCoarse);
    ASSERT_EQ(rec.notes.size(), 1u);
    EXPECT_EQ(rec.notes[0].value, XSelFader::kCoarse);

    // Dismissed: nothing changes and nobody is told.
    root.Click(5, 5);
    backend.KeyDown(backend.Menu(), xconst::kKeyEscape);
    root.Tick(1);
    EXPECT_EQ(mode->GetMode(), XSelFader::kCoarse);
    EXPECT_EQ(rec.notes.size(), 1u);
}

TEST(XSelFader, WithoutAWindowSystemAPressTellsNothing)
{
    Root root(100, 30);
    Recorder rec;
    auto* mode = new XSelFader(&root, 0, 0, 32, 16);
    mode->SetListener(&rec);
    root.Click(5, 5);
    EXPECT_TRUE(rec.notes.empty());
    mode->ChooseMode(7);  // anything but coarse is fine
    EXPECT_EQ(mode->GetMode(), XSelFader::kFine);
}

// --- Arrow box ---

TEST(XSetValue, ArrowsStepWithinTheRangeAndAlwaysReport)
{
    Root root(100, 60);
    Recorder rec;
    auto* box = new XSetValue(&root, 0, 0, 80, 40);  // arrows on rows 20..36
    box->SetListener(&rec);
    box->SetRange(1, 3);
    EXPECT_EQ(box->GetValue(), 1);
    root.Click(75 - 4, 28);  // right arrow
    root.Click(75 - 4, 28);
    EXPECT_EQ(box->GetValue(), 3);
    root.Click(75 - 4, 28);  // at the maximum: unchanged but reported
    ASSERT_EQ(rec.notes.size(), 3u);
    EXPECT_EQ(rec.notes[2].code, editor::kCodeSetValue);
    EXPECT_EQ(rec.notes[2].value, 3);
    root.Click(10, 28);  // left arrow
    EXPECT_EQ(box->GetValue(), 2);
    EXPECT_STREQ(box->GetValueBox()->GetText(), "2");
    root.Click(10, 10);  // above the arrow row: nothing
    EXPECT_EQ(rec.notes.size(), 4u);

    box->SetRange(5, 2);  // an upside-down range collapses to its minimum
    EXPECT_EQ(box->GetValue(), 5);
    EXPECT_EQ(box->GetMax(), 5);
}

TEST(XSetValue, PressHighlightsItsArrowUntilReleased)
{
    Root root(100, 60);
    auto* box = new XSetValue(&root, 0, 0, 80, 40);
    box->SetRange(0, 10);
    root.HandleMouseDown(10, 28, 0, false, false);
    EXPECT_EQ(box->GetPressedSide(), XSetValue::kLeftSide);
    XGraphic g;
    PaintAlone(*box, g);
    XColourValue face = XColour::Make(80, 80, 90);
    EXPECT_TRUE(AnyPixel(g, 4, 20, 11, 16, XColour::Scale(face, 1.8f)));
    EXPECT_FALSE(AnyPixel(g, 65, 20, 11, 16, XColour::Scale(face, 1.8f)));
    EXPECT_TRUE(AnyPixel(g, 65, 20, 11, 16, XColour::Scale(face, 1.2f)));
    root.HandleMouseUp(10, 28, 0);
    EXPECT_EQ(box->GetPressedSide(), XSetValue::kNoSide);
}

// --- LEDs ---

TEST(XTogLed, TogglesAndFillsWithTheStateColour)
{
    Root root(40, 30);
    Recorder rec;
    auto* mute = new XTogLed(&root, 0, 0, 14, 14);
    mute->SetListener(&rec);
    mute->SetColour(1, XColour::Make(250, 220, 80));
    XGraphic g;
    PaintAlone(*mute, g);
    EXPECT_EQ(g.GetPixel(2, 2), XColour::Make(150, 150, 150));
    root.Click(5, 5);
    EXPECT_EQ(mute->GetState(), 1);
    ASSERT_EQ(rec.notes.size(), 1u);
    EXPECT_EQ(rec.notes[0].value, 1);
    PaintAlone(*mute, g);
    EXPECT_EQ(g.GetPixel(2, 2), XColour::Make(250, 220, 80));
}

TEST(XMyLed, ShowsItsPicturesAndMarksOnlyChanges)
{
    XMyLed led(nullptr, 0, 0, 15, 16);
    EXPECT_TRUE(led.HasPictures());
    XGraphic g;
    PaintAlone(led, g);
    XColourValue off = g.GetPixel(7, 8);
    led.SetState(5);
    EXPECT_EQ(led.GetState(), 1);
    EXPECT_TRUE(led.IsDirty());
    PaintAlone(led, g);
    EXPECT_NE(g.GetPixel(7, 8), off);
    EXPECT_FALSE(led.IsDirty());
    led.SetState(1);
    EXPECT_FALSE(led.IsDirty());
}

// --- Program information ---

namespace {

GigaProgram& SampleProgram()
{
    static GigaProgram program;
    program.lowestKey = 36;
    program.highestKey = 96;
    program.sampleCount = 42;
    program.bitDepth = 24;
    program.streaming = true;
    program.MarkDimension(130);  // velocity
    program.MarkDimension(1);    // modulation wheel
    program.MarkDimension(67);   // soft pedal
    return program;
}

}  // namespace

TEST(XProgInfo, LinesDescribeTheProgramAndClearWithoutOne)
{
    XProgInfo info(nullptr, 0, 0, 64, 46);
    info.SetProgram(&SampleProgram());
    EXPECT_STREQ(info.GetLine(0), "C1 : C6");
    EXPECT_STREQ(info.GetLine(1), "Samp: 42");
    EXPECT_STREQ(info.GetLine(2), "Bits: 24");
    EXPECT_STREQ(info.GetLine(3), "Disk: on");
    info.SetProgram(nullptr);
    for (int n = 0; n < XProgInfo::kLineCount; ++n)
        EXPECT_STREQ(info.GetLine(n), "");

    GigaProgram empty;  // no regions: no key range
    info.SetProgram(&empty);
    EXPECT_STREQ(info.GetLine(0), "");
    EXPECT_STREQ(info.GetLine(3), "Disk: off");
}

TEST(XProgInfo, KeyNamesFollowMiddleCThree)
{
    char text[8];
    XProgInfo::FormatKey(60, text, sizeof text);
    EXPECT_STREQ(text, "C3");
    XProgInfo::FormatKey(0, text, sizeof text);
    EXPECT_STREQ(text, "C-2");
    XProgInfo::FormatKey(127, text, sizeof text);
    EXPECT_STREQ(text, "G8");
    XProgInfo::FormatKey(61, text, sizeof text);
    EXPECT_STREQ(text, "C#3");
    XProgInfo::FormatKey(999, text, sizeof text);
    EXPECT_STREQ(text, "G8");
}

TEST(XDimList, LightsTheCellsOfUsedCodesAndNothingWithoutAProgram)
{
    XDimList list(nullptr, 0, 0, 160, 56);
    ASSERT_EQ(XDimList::kCells[9].code, 17);
    EXPECT_STREQ(XDimList::kCells[9].caption, "gp2");
    list.SetProgram(&SampleProgram());
    for (int n = 3; n <= 17; ++n)
        EXPECT_EQ(list.IsCellUsed(n), n == 3 || n == 6 || n == 17) << n;

    XGraphic g;
    PaintAlone(list, g);
    XRectangle velo = XDimList::GetCellRect(3);
    EXPECT_EQ(velo.x, 79);
    EXPECT_EQ(velo.y, 8);
    EXPECT_EQ(g.GetPixel(velo.x + 1, velo.y + 10), XColour::Make(100, 160, 240));
    EXPECT_EQ(g.GetPixel(velo.x + 1, velo.y + 1), XColour::Make(140, 200, 240));
    XRectangle mod = XDimList::GetCellRect(6);
    // Above its centred caption: the lit controller's upper half.
    EXPECT_EQ(g.GetPixel(mod.x + 1, mod.y + 2), XColour::Make(120, 222, 120));
    XRectangle ksw = XDimList::GetCellRect(4);
    // Unused, yet readable on the panel's body.
    EXPECT_EQ(g.GetPixel(ksw.x, ksw.y), XColour::Make(120, 128, 145));

    list.Clear();
    for (int n = 3; n <= 17; ++n)
        EXPECT_FALSE(list.IsCellUsed(n));
}

// --- Toolbar ---

TEST(XLogo, TakesThePictureSizeAndIsFramedWhilePressed)
{
    Root root(300, 60);
    Recorder rec;
    auto* logo = new XLogo(&root, 10, 5, 1, 1);
    logo->SetListener(&rec);
    ASSERT_TRUE(logo->HasPicture());
    EXPECT_GT(logo->GetWidth(), 1);
    EXPECT_GT(logo->GetHeight(), 1);
    root.HandleMouseDown(15, 10, 0, false, false);
    XGraphic g;
    PaintAlone(*logo, g);
    EXPECT_EQ(g.GetPixel(0, 5), XColour::Make(0, 0, 255));
    logo->SetPosition(10, 5);
    root.HandleMouseUp(15, 10, 0);
    ASSERT_EQ(rec.notes.size(), 1u);
    EXPECT_EQ(rec.notes[0].code, xwidget::kCodeMouseUp);
}

TEST(XTabPorts, LedPressFlipsAPortOtherPressesSelectTabs)
{
    Root root(400, 30);
    Recorder rec;
    auto* tabs = new XTabPorts(&root, 0, 0, 400, 22);  // slots of 50
    tabs->SetListener(&rec);
    tabs->AddTab("Port 1");
    tabs->AddTab("Port 2");
    for (int i = 0; i < editor::kPortCount; ++i)
        EXPECT_TRUE(tabs->IsPortOn(i));

    root.Click(50 * 3 + 35, 10);  // inside the fourth slot's LED
    EXPECT_FALSE(tabs->IsPortOn(3));
    ASSERT_EQ(rec.notes.size(), 1u);
    EXPECT_EQ(rec.notes[0].code, editor::kCodeMidiPort);
    EXPECT_EQ(rec.notes[0].value, 3);

    EXPECT_EQ(tabs->FindPortLed(50 * 3 + 30, 10), -1);  // slot width - 20: not strictly inside
    EXPECT_EQ(tabs->FindPortLed(50 * 3 + 46, 10), -1);  // slot width - 4
    EXPECT_EQ(tabs->FindPortLed(50 * 3 + 35, 3), -1);
    EXPECT_EQ(tabs->FindPortLed(50 * 3 + 35, 18), -1);
    EXPECT_EQ(tabs->FindPortLed(399 + 50, 10), -1);

    XGraphic g;
    g.BeginPaint(nullptr, 400, 30);
    root.PaintTree(g, true);  // the tabs' widths are measured when drawn
    EXPECT_EQ(g.GetPixel(50 * 4 - 20 + 1, 5), XColour::Make(200, 200, 210));  // port 4 off
    EXPECT_EQ(g.GetPixel(50 * 1 - 20 + 1, 5), XColour::Make(20, 20, 60));
    int secondTab = tabs->GetTabStart(1) + 2;
    ASSERT_EQ(tabs->FindPortLed(secondTab, 10), -1);
    root.Click(secondTab, 10);
    EXPECT_EQ(tabs->GetSelected(), 1);
    EXPECT_TRUE(tabs->IsPortOn(1));
    EXPECT_FALSE(tabs->IsPortOn(-1));
    tabs->SetPort(99, true);
}
