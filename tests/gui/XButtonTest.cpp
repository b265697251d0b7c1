// Buttons, links, labels, number displays, toggles, radio groups, selectors,
// tabs and panes: notifications through a root view's mouse routing, and the
// pixels their drawing gives for known geometry and colours.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "gui/GuiTestControls.h"
#include "gui/GuiTestLeaks.h"
#include "kiv/gui/XButton.h"
#include "kiv/gui/XGraphic.h"
#include "kiv/gui/XLabel.h"
#include "kiv/gui/XPane.h"
#include "kiv/gui/XSelect.h"
#include "kiv/gui/XSlider.h"
#include "kiv/gui/XTabs.h"
#include "kiv/gui/XToggle.h"
#include "kiv/gui/XView.h"
#include "kiv/gui/XWidgetConst.h"

namespace {

using guitest::kBackground;
using guitest::PaintAlone;
using guitest::Recorder;
using guitest::Root;

// A solid picture registered under `name`, made with the toolkit's own
// drawing and PNG writer.
void RegisterPicture(const char* name, int w, int h, XColourValue colour)
{
    static std::vector<std::string> pngs;
    static std::vector<XPicResource> tables;
    XGraphic g;
    g.BeginPaint(nullptr, w, h);
    g.FillRectangleColour(XRectangle(0, 0, w, h), colour);
    std::string png;
    ASSERT_TRUE(g.WritePng(png));
    pngs.reserve(16);
    tables.reserve(16);
    pngs.push_back(png);
    tables.push_back({name, reinterpret_cast<const uint8_t*>(pngs.back().data()), pngs.back().size()});
    ASSERT_TRUE(XPic::AddResources(&tables.back(), 1));
}

}  // namespace

TEST(XButton, PushButtonReleasedInsideSendsMoUpOnce)
{
    Root root(200, 100);
    Recorder rec;
    auto* button = new XButton(&root, 10, 10, 60, 20);
    button->SetListener(&rec);
    EXPECT_TRUE(root.HandleMouseDown(20, 15, 0, false, false));
    EXPECT_EQ(button->GetPressed(), 1);
    EXPECT_TRUE(rec.notes.empty());
    root.HandleMouseUp(20, 15, 0);
    ASSERT_EQ(rec.notes.size(), 1u);
    EXPECT_EQ(rec.notes[0].sender, button);
    EXPECT_EQ(rec.notes[0].code, xwidget::kCodeMouseUp);
    EXPECT_EQ(rec.notes[0].value, 1);
    EXPECT_EQ(button->GetPressed(), 0);
}

TEST(XButton, DraggedOutShowsReleasedAndSendsNothingDraggedBackShowsPressed)
{
    Root root(200, 100);
    Recorder rec;
    auto* button = new XButton(&root, 10, 10, 60, 20);
    button->SetListener(&rec);
    root.HandleMouseDown(20, 15, 0, false, false);
    root.HandleMouseMove(150, 80, false, false);
    EXPECT_EQ(button->GetPressed(), 0);
    root.HandleMouseMove(69, 29, false, false);  // last pixel of the button
    EXPECT_EQ(button->GetPressed(), 1);
    root.HandleMouseMove(70, 29, false, false);
    EXPECT_EQ(button->GetPressed(), 0);
    root.HandleMouseUp(70, 29, 0);
    EXPECT_TRUE(rec.notes.empty());
}

TEST(XButton, ToggleModeFlipsOnEachPressWithoutCapture)
{
    Root root(200, 100);
    Recorder rec;
    auto* button = new XButton(&root, 10, 10, 60, 20);
    button->SetToggleMode(true);
    button->SetListener(&rec);
    EXPECT_FALSE(root.HandleMouseDown(20, 15, 0, false, false));
    root.HandleMouseUp(20, 15, 0);
    root.Click(20, 15);
    ASSERT_EQ(rec.notes.size(), 2u);
    EXPECT_EQ(rec.notes[0].code, xwidget::kCodeMouseDown);
    EXPECT_EQ(rec.notes[0].value, 1);
    EXPECT_EQ(rec.notes[1].value, 0);
}

TEST(XButton, FaceFrameAndPressedColours)
{
    XButton button(nullptr, 0, 0, 40, 20);
    XGraphic g;
    PaintAlone(button, g);
    EXPECT_EQ(g.GetPixel(0, 0), kBackground);  // cut corner
    EXPECT_EQ(g.GetPixel(20, 0), XColour::Make(140, 140, 140));
    EXPECT_EQ(g.GetPixel(20, 3), XColour::Make(200, 205, 220));
    button.SetPressed(true);
    PaintAlone(button, g);
    EXPECT_EQ(g.GetPixel(20, 3), XColour::Make(170, 180, 255));
    button.SetStyle(1);
    PaintAlone(button, g);
    EXPECT_EQ(g.GetPixel(20, 3), XColour::Make(124, 168, 255));
    button.SetStyle(7);
    EXPECT_EQ(button.GetColour(1), XColour::Make(124, 168, 255));
}

TEST(XButton, PictureButtonFadesAtRestAndShowsThePlainPictureOnHover)
{
    RegisterPicture("btn_test.png", 16, 16, XColour::Make(200, 100, 0));
    XButtonPic button(nullptr, 0, 0, 16, 16);
    EXPECT_FALSE(button.LoadPicture("no_such_picture.png"));
    ASSERT_TRUE(button.LoadPicture("btn_test.png"));
    XGraphic g;
    PaintAlone(button, g);
    XColourValue faded = g.GetPixel(8, 8);
    EXPECT_NE(faded, XColour::Make(200, 100, 0));
    button.OnMouseEnter();
    PaintAlone(button, g);
    EXPECT_EQ(g.GetPixel(8, 8), XColour::Make(200, 100, 0));
    button.SetPressed(true);
    PaintAlone(button, g);
    XColourValue pressed = g.GetPixel(8, 8);
    EXPECT_GT(XColour::Red(pressed) - XColour::Blue(pressed), 200 - 0);  // further from grey
}

TEST(XLink, PressSendsClicAndHoverChangesColour)
{
    Root root(200, 100);
    Recorder rec;
    auto* link = new XLink(&root, 0, 0, 100, 20);
    link->SetListener(&rec);
    EXPECT_FALSE(root.HandleMouseDown(5, 5, 0, false, false));
    ASSERT_EQ(rec.notes.size(), 1u);
    EXPECT_EQ(rec.notes[0].code, xwidget::kCodeClick);
    EXPECT_EQ(rec.notes[0].value, 0);
    EXPECT_TRUE(link->OnMouseEnter());
    EXPECT_TRUE(link->IsHovered());
    link->OnMouseLeave();
    EXPECT_FALSE(link->IsHovered());
}

TEST(XLabel, BackgroundLeavesCornersAndFrameIsDrawnWhenSet)
{
    XLabel label(nullptr, 0, 0, 30, 12);
    label.SetColour(0, XColour::Make(10, 20, 30));
    XGraphic g;
    PaintAlone(label, g);
    EXPECT_EQ(g.GetPixel(0, 0), kBackground);
    EXPECT_EQ(g.GetPixel(1, 0), XColour::Make(10, 20, 30));
    label.SetColour(3, XColour::Make(90, 90, 90));
    PaintAlone(label, g);
    EXPECT_EQ(g.GetPixel(0, 0), XColour::Make(90, 90, 90));
    EXPECT_EQ(g.GetPixel(29, 11), XColour::Make(90, 90, 90));
}

namespace {
struct CountingValue : XValue {
    CountingValue() : XValue(nullptr, 0, 0, 60, 16) {}
    void OnTextChanged() override
    {
        XValue::OnTextChanged();
        ++changes;
    }
    int changes = 0;
};
}  // namespace

TEST(XValue, PrintsDecimalsAndUnitAndDoesNotReprintTheSameValue)
{
    CountingValue v;
    EXPECT_STREQ(v.GetText(), "0");
    v.SetFormat(2, "dB");
    EXPECT_STREQ(v.GetText(), "0.00 dB");
    v.SetValue(-3.5);
    EXPECT_STREQ(v.GetText(), "-3.50 dB");
    int changes = v.changes;
    v.SetValue(-3.5);
    EXPECT_EQ(v.changes, changes);
    // A new format shows the value as it is, not only its integer part.
    v.SetFormat(1, nullptr);
    EXPECT_STREQ(v.GetText(), "-3.5");
    v.SetFormat(0, nullptr);
    EXPECT_STREQ(v.GetText(), "-3");
}

TEST(XValue, NamedValueWinsOverTheFormat)
{
    XValue v(nullptr, 0, 0, 60, 16);
    v.SetFormat(0, "%");
    v.AddNamedValue(-100.0, "-inf");
    v.SetValue(-100.0);
    EXPECT_STREQ(v.GetText(), "-inf");
    v.SetValue(5.0);
    EXPECT_STREQ(v.GetText(), "5 %");
}

TEST(XValue, HostileUnitsAndHugeValuesStayInsideTheText)
{
    XValue v(nullptr, 0, 0, 60, 16);
    v.SetFormat(0, "%s%s%n%n and a unit far longer than the display holds");
    v.SetValue(1e300);
    ASSERT_NE(v.GetText(), nullptr);
    EXPECT_LT(std::string(v.GetText()).size(), static_cast<size_t>(xwidget::kValueTextSize));
    EXPECT_EQ(std::string(v.GetText()).rfind("2147483647 %s%s", 0), 0u);
    v.SetFormat(40, nullptr);  // decimals are capped, the text cut
    v.SetValue(-1e300);
    EXPECT_LT(std::string(v.GetText()).size(), static_cast<size_t>(xwidget::kValueTextSize));
    v.SetValue(std::nan(""));
    EXPECT_EQ(v.GetValue(), -1e300);
}

TEST(XValue, ShowsTheValueOfASliderItListensTo)
{
    XValue v(nullptr, 0, 0, 60, 16);
    v.SetFormat(1, nullptr);
    XSlider slider(nullptr, 0, 0, 100, 10);
    slider.SetRange(0, 10, 0.5, 0);
    slider.SetListener(&v);
    slider.SetValue(2.5);
    EXPECT_STREQ(v.GetText(), "2.5");
    Recorder rec;
    v.Notify(nullptr, 0, 0);  // not a slider: ignored
    EXPECT_STREQ(v.GetText(), "2.5");
}

TEST(XToggle, ClickFlipsAndNotifiesLatchedOnIgnoresClicks)
{
    Root root(200, 100);
    Recorder rec;
    auto* toggle = new XToggle(&root, 0, 0, 40, 20);
    toggle->SetListener(&rec);
    EXPECT_FALSE(root.HandleMouseDown(5, 5, 0, false, false));
    ASSERT_EQ(rec.notes.size(), 1u);
    EXPECT_EQ(rec.notes[0].code, 0);
    EXPECT_EQ(rec.notes[0].value, 1);
    toggle->SetLatch(true);
    root.Click(5, 5);
    EXPECT_EQ(toggle->GetState(), 1);
    EXPECT_EQ(rec.notes.size(), 1u);
    toggle->SetState(0);  // the owner switches it off: no notification
    EXPECT_EQ(rec.notes.size(), 1u);
    root.Click(5, 5);
    EXPECT_EQ(toggle->GetState(), 1);
    EXPECT_EQ(rec.notes.size(), 2u);
}

TEST(XToggle, FaceShowsTheStateAndDisabledOnUsesTheOffFace)
{
    XToggle toggle(nullptr, 0, 0, 30, 16);
    XGraphic g;
    PaintAlone(toggle, g);
    EXPECT_EQ(g.GetPixel(15, 3), XColour::Make(200, 200, 200));
    toggle.SetState(1);
    PaintAlone(toggle, g);
    EXPECT_EQ(g.GetPixel(15, 3), XColour::Make(150, 180, 250));
    toggle.Disable();
    PaintAlone(toggle, g);
    EXPECT_EQ(g.GetPixel(15, 3), XColour::Make(200, 200, 200));
}

TEST(XToggle, PicturesSizeTheControlAndTheOffPictureIsGrey)
{
    RegisterPicture("tog_test_on.png", 12, 9, XColour::Make(255, 0, 0));
    XToggle toggle(nullptr, 0, 0, 30, 16);
    EXPECT_FALSE(toggle.SetPictures("no_such_picture.png", nullptr));
    EXPECT_EQ(toggle.GetWidth(), 30);  // a failed load keeps the control usable
    ASSERT_TRUE(toggle.SetPictures("tog_test_on.png", nullptr));
    EXPECT_EQ(toggle.GetWidth(), 12);
    EXPECT_EQ(toggle.GetHeight(), 9);
    XGraphic g;
    PaintAlone(toggle, g);
    EXPECT_EQ(g.GetPixel(5, 5), XColour::Make(85, 85, 85));
    toggle.SetState(1);
    PaintAlone(toggle, g);
    EXPECT_EQ(g.GetPixel(5, 5), XColour::Make(255, 0, 0));
}

TEST(XRadioGroup, ChoosingAnOptionSwitchesTheOthersOffAndTheSelectionCannotBeEmptied)
{
    Root root(300, 100);
    Recorder rec;
    auto* group = new XRadioGroup(&root, 0, 0, 300, 30);
    group->SetListener(&rec);
    XToggle* a = group->AddOption(0, 0, 50, 20, "A");
    XToggle* b = group->AddOption(60, 0, 50, 20, "B");
    XToggle* c = group->AddOption(120, 0, 50, 20, "C");
    EXPECT_EQ(a->GetState(), 1);
    EXPECT_EQ(b->GetState(), 0);
    EXPECT_STREQ(c->GetText(), "C");

    root.Click(130, 5);
    EXPECT_EQ(a->GetState(), 0);
    EXPECT_EQ(c->GetState(), 1);
    EXPECT_EQ(group->GetSelected(), 2);
    ASSERT_EQ(rec.notes.size(), 1u);
    EXPECT_EQ(rec.notes[0].sender, group);
    EXPECT_EQ(rec.notes[0].value, 2);

    root.Click(130, 5);  // the selected option again
    EXPECT_EQ(c->GetState(), 1);
    EXPECT_EQ(rec.notes.size(), 1u);

    group->Notify(group, 0, 0);  // not a toggle: ignored
    EXPECT_EQ(rec.notes.size(), 1u);
}

namespace {
struct ChoosingSelect : XSelect {
    ChoosingSelect(XControl* parent) : XSelect(parent, 0, 0, 80, 18) {}
    bool OpenChoice() override
    {
        ++opened;
        return true;
    }
    int opened = 0;
};
}  // namespace

TEST(XSelect, NotifiesOnlyWhenNoChoiceOpens)
{
    Root root(200, 100);
    Recorder rec;
    auto* plain = new XSelect(&root, 0, 40, 80, 18);
    plain->SetListener(&rec);
    auto* choosing = new ChoosingSelect(&root);
    choosing->SetListener(&rec);
    EXPECT_FALSE(root.HandleMouseDown(5, 45, 0, false, false));
    ASSERT_EQ(rec.notes.size(), 1u);
    EXPECT_EQ(rec.notes[0].code, 0);
    EXPECT_EQ(rec.notes[0].value, 0);
    root.Click(5, 5);
    EXPECT_EQ(choosing->opened, 1);
    EXPECT_EQ(rec.notes.size(), 1u);
}

TEST(XSelect, FrameFaceAndArrowColours)
{
    XSelect select;
    select.SetBounds(0, 0, 60, 18);
    XGraphic g;
    PaintAlone(select, g);
    EXPECT_EQ(g.GetPixel(0, 0), kBackground);
    EXPECT_EQ(g.GetPixel(1, 0), XColour::Make(60, 60, 80));
    EXPECT_EQ(g.GetPixel(30, 16), XColour::Make(0, 30, 0));
    EXPECT_EQ(g.GetPixel(50, 6), XColour::Scale(XColour::Make(0, 30, 0), 2.0f));  // arrow, w - 10
}

TEST(XTabs, SelectIgnoresTheCurrentIndexAndIndexesOutOfRange)
{
    XTabs tabs(nullptr, 0, 0, 200, 20);
    Recorder rec;
    tabs.SetListener(&rec);
    tabs.AddTab("One");
    tabs.AddTab("Two");
    tabs.Select(0);
    tabs.Select(-1);
    tabs.Select(2);
    EXPECT_TRUE(rec.notes.empty());
    tabs.Select(1);
    ASSERT_EQ(rec.notes.size(), 1u);
    EXPECT_EQ(rec.notes[0].value, 1);
}

TEST(XTabs, FullTableRefusesMoreTabs)
{
    XTabs tabs(nullptr, 0, 0, 200, 20);
    for (int i = 0; i < xwidget::kMaxTabs; ++i)
        ASSERT_EQ(tabs.AddTab("t"), i);
    EXPECT_EQ(tabs.AddTab("one too many"), -1);
    EXPECT_EQ(tabs.GetCount(), xwidget::kMaxTabs);
    XGraphic g;
    PaintAlone(tabs, g);  // far wider than the control: scrolls
    EXPECT_TRUE(tabs.IsScrollable());
    tabs.Clear();
    EXPECT_EQ(tabs.AddTab("again"), 0);
}

TEST(XTabs, ClickSelectsTheTabUnderThePointerButNotADisabledOne)
{
    Root root(300, 40);
    Recorder rec;
    auto* tabs = new XTabs(&root, 0, 0, 300, 20);
    tabs->SetListener(&rec);
    tabs->AddTab("Alpha");
    tabs->AddTab("Beta");
    tabs->AddTab("Gamma");
    tabs->SetTabEnabled(2, false);
    XGraphic g;
    g.BeginPaint(nullptr, 300, 40);
    root.PaintTree(g, true);
    EXPECT_FALSE(tabs->IsScrollable());
    int beta = tabs->GetTabStart(1) + tabs->GetTabWidth(1) / 2;
    root.Click(beta, 10);
    ASSERT_EQ(rec.notes.size(), 1u);
    EXPECT_EQ(rec.notes[0].value, 1);
    root.Click(tabs->GetTabStart(2) + 2, 10);
    EXPECT_EQ(tabs->GetSelected(), 1);
    EXPECT_EQ(rec.notes.size(), 1u);
    // The selected tab's lower half carries the selection colour.
    EXPECT_EQ(g.GetPixel(tabs->GetTabStart(0) + 3, 15), XColour::Make(124, 168, 255));
}

TEST(XTabs, StretchedTabsFillTheRow)
{
    XTabs tabs(nullptr, 0, 0, 203, 20);
    for (int i = 0; i < 3; ++i)
        tabs.AddTab("x");
    tabs.SetStretch(true);
    XGraphic g;
    PaintAlone(tabs, g);
    int total = tabs.GetTabWidth(0) + tabs.GetTabWidth(1) + tabs.GetTabWidth(2);
    EXPECT_EQ(total, 202);
    EXPECT_GE(tabs.GetTabWidth(0), tabs.GetTabWidth(2));
    EXPECT_LE(tabs.GetTabWidth(0) - tabs.GetTabWidth(2), 1);
}

TEST(XTabs, ScrollStripDragIsClampedToTheRow)
{
    Root root(100, 40);
    auto* tabs = new XTabs(&root, 0, 0, 100, 20);
    for (int i = 0; i < 10; ++i)
        tabs->AddTab("Long label");
    XGraphic g;
    g.BeginPaint(nullptr, 100, 40);
    root.PaintTree(g, true);
    ASSERT_TRUE(tabs->IsScrollable());
    EXPECT_TRUE(root.HandleMouseDown(10, 18, 0, false, false));  // in the strip
    root.HandleMouseMove(40, 18, false, false);
    EXPECT_GT(tabs->GetScrollOffset(), 0);
    root.HandleMouseMove(5000, 18, false, false);
    EXPECT_EQ(tabs->GetScrollOffset(), tabs->GetMaxScroll());
    root.HandleMouseMove(-5000, 18, false, false);
    EXPECT_EQ(tabs->GetScrollOffset(), 0);
    root.HandleMouseUp(0, 18, 0);
}

TEST(XPane, PictureIsTiledAndCutAtTheEdgeOtherwiseFillAndFrame)
{
    XPane pane(nullptr, 0, 0, 25, 10);
    XGraphic g;
    PaintAlone(pane, g);
    EXPECT_EQ(g.GetPixel(0, 0), XColour::Make(80, 80, 80));
    EXPECT_EQ(g.GetPixel(5, 5), XColour::Make(240, 240, 245));
    EXPECT_FALSE(pane.LoadPicture("no_such_picture.png"));

    RegisterPicture("pane_test.png", 10, 10, XColour::Make(0, 128, 0));
    ASSERT_TRUE(pane.LoadPicture("pane_test.png"));
    // A pane inside a wider surface: nothing lands right of it.
    g.BeginPaint(nullptr, 40, 10);
    g.FillRectangleColour(XRectangle(0, 0, 40, 10), kBackground);
    pane.Paint(g, true, XRectangle(0, 0, 40, 10));
    EXPECT_EQ(g.GetPixel(0, 0), XColour::Make(0, 128, 0));
    EXPECT_EQ(g.GetPixel(24, 9), XColour::Make(0, 128, 0));
    EXPECT_EQ(g.GetPixel(25, 5), kBackground);
}
