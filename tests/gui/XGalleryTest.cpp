// Every kind of control of the toolkit, in the states a user sees (pressed,
// selected, scrolled, editing a text longer than the field): none paints
// outside its rectangle, and the whole gallery is written as a screenshot
// (screenshots/gallery.png in the build folder) for a person to look at.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "gui/GuiTestControls.h"
#include "gui/GuiTestLeaks.h"
#include "kiv/gui/HMeter.h"
#include "kiv/gui/HeadlessBackend.h"
#include "kiv/gui/XButton.h"
#include "kiv/gui/XEdit.h"
#include "kiv/gui/XInput.h"
#include "kiv/gui/XKeyboard88.h"
#include "kiv/gui/XKeyboard88Geometry.h"
#include "kiv/gui/XLabel.h"
#include "kiv/gui/XListView.h"
#include "kiv/gui/XPane.h"
#include "kiv/gui/XScrollBar.h"
#include "kiv/gui/XSelect.h"
#include "kiv/gui/XSlider.h"
#include "kiv/gui/XTabs.h"
#include "kiv/gui/XToggle.h"
#include "kiv/gui/XTreeView.h"
#include "kiv/gui/XView.h"
#include "support/TestSupport.h"

namespace {

class Tree : public XTreeView {
public:
    Tree(XControl* parent, int x, int y, int w, int h) : XTreeView(parent, x, y, w, h) {}
    void FillFolder(Node* node) override
    {
        for (const char* name : {"Grand piano.gig", "Upright.gig", "Harpsichord.gig"})
            AddItem(node, name, 0);
    }
    void OnNodeChosen(Node*) override {}
};

void Press(XControl* c, int x, int y, int toX, int toY)
{
    XMouse mouse;
    mouse.SetPress(x, y, 0);
    c->OnMouseDown(mouse);
    mouse.SetCurrent(toX, toY);
    c->OnMouseDrag(mouse);
    c->OnMouseUp(mouse);
}

// The control a gallery entry shows; for scroll views that is the viewport
// that XScrollView places in the parent.
struct Entry {
    const char* name;
    int w, h;
    std::function<void(XControl* parent, int x, int y)> make;
};

std::vector<Entry> Entries()
{
    return {
        {"XButton", 90, 22, [](XControl* p, int x, int y) { (new XButton(p, x, y, 90, 22))->SetText("Button"); }},
        {"XButton pressed", 90, 22,
         [](XControl* p, int x, int y) {
             auto* b = new XButton(p, x, y, 90, 22);
             b->SetText("Pressed");
             b->SetPressed(true);
         }},
        {"XButton disabled", 90, 22,
         [](XControl* p, int x, int y) {
             auto* b = new XButton(p, x, y, 90, 22);
             b->SetText("Disabled");
             b->SetEnabled(false);
         }},
        {"XLink", 90, 18, [](XControl* p, int x, int y) { (new XLink(p, x, y, 90, 18))->SetText("A link text"); }},
        {"XLabel", 110, 18,
         [](XControl* p, int x, int y) {
             auto* l = new XLabel(p, x, y, 110, 18);
             l->SetColour(0, XColour::Make(30, 30, 30));
             l->SetColour(3, XColour::Make(90, 90, 90));
             l->SetText("Label text");
         }},
        {"XValue", 90, 18,
         [](XControl* p, int x, int y) {
             auto* v = new XValue(p, x, y, 90, 18);
             v->SetColour(0, XColour::Make(30, 30, 30));
             v->SetFormat(1, "dB");
             v->SetValue(-3.5);
         }},
        {"XToggle", 90, 18,
         [](XControl* p, int x, int y) {
             auto* t = new XToggle(p, x, y, 90, 18);
             t->SetText("Toggle on");
             t->SetState(1);
         }},
        {"XRadioGroup", 100, 62,
         [](XControl* p, int x, int y) {
             auto* g = new XRadioGroup(p, x, y, 100, 62);
             g->AddOption(4, 4, 92, 18, "First");
             g->AddOption(4, 22, 92, 18, "Second");
             g->AddOption(4, 40, 92, 18, "Third");
         }},
        {"XSelect", 110, 20,
         [](XControl* p, int x, int y) { (new XSelect(p, x, y, 110, 20))->SetText("Choice"); }},
        {"XTabs", 200, 24,
         [](XControl* p, int x, int y) {
             auto* t = new XTabs(p, x, y, 200, 24);
             for (const char* name : {"Main", "Mixer", "Browser"})
                 t->AddTab(name);
             t->Select(1);
         }},
        {"XTabs scrolled", 150, 28,
         [](XControl* p, int x, int y) {
             auto* t = new XTabs(p, x, y, 150, 28);
             for (int i = 1; i <= 10; ++i)
                 t->AddTab(("Part " + std::to_string(i)).c_str());
             XGraphic scratch;
             scratch.BeginPaint(nullptr, 150, 28);
             t->Draw(scratch);  // measures the row, so the strip exists
             Press(t, 5, 26, 60, 26);
         }},
        {"XTabs centred", 130, 22,
         [](XControl* p, int x, int y) {
             auto* t = new XTabs(p, x, y, 130, 22);
             t->SetCentred(true);
             for (const char* name : {"Instrument", "Region", "Dimension", "Sample"})
                 t->AddTab(name);
         }},
        {"XPane", 80, 50, [](XControl* p, int x, int y) { new XPane(p, x, y, 80, 50); }},
        {"XEdit", 120, 20, [](XControl* p, int x, int y) { (new XEdit(p, x, y, 120, 20))->SetValue(12345); }},
        {"XEdit hint", 120, 20, [](XControl* p, int x, int y) { (new XEdit(p, x, y, 120, 20))->SetHint("Search"); }},
        {"XEdit editing", 120, 20,
         [](XControl* p, int x, int y) {
             auto* e = new XEdit(p, x, y, 120, 20);
             e->BeginEdit();
             XKeyEvent key;
             for (const char* c = "A text much longer than its field"; *c; ++c) {
                 key.character = *c;
                 e->OnKey(key);
             }
         }},
        {"XFader", 120, 18,
         [](XControl* p, int x, int y) {
             auto* f = new XFader(p, x, y, 120, 18);
             f->SetRange(0, 127, 1, 1);
             f->SetValue(90);
         }},
        {"XFaderValue", 120, 18,
         [](XControl* p, int x, int y) {
             auto* f = new XFaderValue(p, x, y, 120, 18);
             f->SetRange(-64, 63, 1, 1);
             f->SetValue(20);
         }},
        {"XKnob", 32, 32,
         [](XControl* p, int x, int y) {
             auto* k = new XKnob(p, x, y, 32, 32);
             k->SetRange(0, 127, 1, 1);
             k->SetValue(100);
         }},
        {"XMeterStereo", 14, 80,
         [](XControl* p, int x, int y) { (new XMeterStereo(p, x, y, 14, 80))->SetLevels(0.7f, 0.95f); }},
        {"XScrollBar", 17, 100,
         [](XControl* p, int x, int y) {
             auto* b = new XScrollBar(p, x, y, 17, 100);
             b->SetRange(400);
             b->SetPosition(150);
         }},
        {"XScrollBar horizontal", 120, 17,
         [](XControl* p, int x, int y) {
             auto* b = new XScrollBar(p, x, y, 120, 17);
             b->SetRange(300);
             b->SetPosition(40);
         }},
        {"XListText", 150, 100,
         [](XControl* p, int x, int y) {
             auto* l = new XListText(p, x, y, 150, 100);
             for (const char* t : {"Acoustic Grand", "Bright Piano", "Electric Grand", "Honky-tonk",
                                   "Rhodes", "Chorused Piano", "Harpsichord with a long name", "Clavinet"})
                 l->AddText(t);
             l->Select(2);
         }},
        {"XListString", 150, 100,
         [](XControl* p, int x, int y) {
             auto* l = new XListString(p, x, y, 150, 100);
             for (const char* t : {"Strings", "Brass", "Woodwinds"})
                 l->AddString(t, 0);
             l->Select(1);
         }},
        {"XTreeView", 160, 110,
         [](XControl* p, int x, int y) {
             auto* t = new Tree(p, x, y, 160, 110);
             t->SetColour(3, XColour::Make(80, 80, 80));
             t->AddFolder(nullptr, "Libraries", 0);
             t->AddFolder(nullptr, "Samples with a long folder name", 0);
             Press(t, 10, 4 + 9, 10, 4 + 9);  // opens the first folder
         }},
        {"XKeyboard88", keys88::kWidth, keys88::kHeight,
         [](XControl* p, int x, int y) {
             auto* k = new XKeyboard88(p, x, y, keys88::kWidth, keys88::kHeight);
             k->SetPlayRange(36, 96);
         }},
    };
}

class GalleryTest : public ::testing::Test {
protected:
    void SetUp() override { XBackend::Install(&backend); }
    void TearDown() override { XBackend::Install(nullptr); }
    void WriteScreenshot(const XGraphic& g, const char* name)
    {
        std::string png;
        ASSERT_TRUE(g.WritePng(png));
        const char* build = std::getenv("KIV_TEST_BINARY_DIR");
        ASSERT_NE(build, nullptr);
        std::string folder = std::string(build) + "/screenshots";
        std::system(("mkdir -p '" + folder + "'").c_str());
        EXPECT_TRUE(kivtest::WriteFile(folder + "/" + name, png.data(), png.size()));
    }
    HeadlessBackend backend;
};

}  // namespace

TEST_F(GalleryTest, NoControlPaintsOutsideItsRectangle)
{
    std::vector<Entry> entries = Entries();
    // Texts far too long for their controls.
    const char* const kLong = "A label much longer than the small control that has to show it";
    auto labelled = [&](const char* name, std::function<HLabel*(XControl*)> make) {
        entries.push_back({name, 60, 18, [make, kLong](XControl* p, int, int) { make(p)->SetText(kLong); }});
    };
    labelled("long XButton", [](XControl* p) { return new XButton(p, 0, 0, 60, 18); });
    labelled("long XLink", [](XControl* p) { return new XLink(p, 0, 0, 60, 18); });
    labelled("long XLabel", [](XControl* p) { return new XLabel(p, 0, 0, 60, 18); });
    labelled("long XToggle", [](XControl* p) { return new XToggle(p, 0, 0, 60, 18); });
    labelled("long XSelect", [](XControl* p) { return new XSelect(p, 0, 0, 60, 18); });
    entries.push_back({"long XValue", 60, 18, [](XControl* p, int, int) {
                           auto* v = new XValue(p, 0, 0, 60, 18);
                           v->SetFormat(3, "units of something long");
                           v->SetValue(-12345.678);
                       }});

    for (const Entry& entry : entries) {
        SCOPED_TRACE(entry.name);
        XControl holder;
        holder.SetSize(entry.w + 200, entry.h + 200);
        entry.make(&holder, 0, 0);
        XControl* shown = holder.GetChild(0);
        ASSERT_NE(shown, nullptr);
        XGraphic g;
        EXPECT_EQ(guitest::PaintWithMargin(*shown, g, 40), 0);
    }
}

TEST_F(GalleryTest, GalleryScreenshotShowsEveryControl)
{
    const int width = 820, gap = 12, captionH = 14;
    XView view;
    view.SetBounds(0, 0, width, 10);
    view.SetColour(0, XColour::Make(45, 50, 60));
    int x = gap, y = gap, rowH = 0;
    for (const Entry& entry : Entries()) {
        int cellW = std::max(entry.w, 100);
        if (x + cellW > width - gap) {
            x = gap;
            y += rowH + gap;
            rowH = 0;
        }
        auto* caption = new XLabel(&view, x, y, cellW, captionH);
        caption->SetColour(2, XColour::Make(200, 210, 230));
        caption->SetFont(9, 0);
        caption->SetText(entry.name);
        entry.make(&view, x, y + captionH + 2);
        x += cellW + gap;
        rowH = std::max(rowH, entry.h + captionH + 2);
    }
    int height = y + rowH + gap;
    view.SetSize(width, height);

    XGraphic g;
    g.BeginPaint(nullptr, width, height);
    view.PaintTree(g, true);
    WriteScreenshot(g, "gallery.png");
}

// Dragging the selected row of a list shows that row alone, not the list.
TEST_F(GalleryTest, DragImageOfAListRowScreenshot)
{
    guitest::Root root(300, 200);
    root.SetBounds(100, 100, 300, 200);
    auto* list = new XListText(&root, 10, 10, 150, 120);
    for (const char* t : {"Acoustic Grand", "Bright Piano", "Electric Grand"})
        list->AddText(t);
    list->SetDragKind(fourcc("inst"));
    root.HandleMouseDown(30, 10 + 4 + 18 + 8, 0, false, false);
    root.HandleMouseMove(60, 80, false, false);
    ASSERT_TRUE(list->IsDragging());
    HeadlessWindow* window = backend.FindByClass("KivDragger");
    ASSERT_NE(window, nullptr);
    const int w = window->GetWidth(), h = window->GetHeight();
    EXPECT_LE(h, 22);
    EXPECT_LT(w, 120);
    XGraphic g;
    g.BeginPaint(nullptr, w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            g.FillRectangleColour(XRectangle(x, y, 1, 1), window->Pixel(x, y));
    WriteScreenshot(g, "drag-image.png");
    root.HandleMouseUp(60, 80, 0);
}
