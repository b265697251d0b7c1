// ctest-label: thread
// The control tree: geometry, layout on resize, hit tests, painting order,
// redraw marks, visibility and themes.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "gui/GuiTestLeaks.h"
#include "kiv/gui/XControl.h"
#include "kiv/gui/XGraphic.h"
#include "kiv/gui/XInput.h"
#include "kiv/gui/XListener.h"

namespace {

// Records the calls a test looks for.
class Probe : public XControl {
public:
    Probe(XControl* parent, int x, int y, int w, int h, std::vector<std::string>* log = nullptr,
          const char* name = "")
        : XControl(parent, x, y, w, h), m_log(log), m_name(name)
    {
    }
    ~Probe() override { Record("deleted"); }
    void Draw(XGraphic& g) override
    {
        XControl::Draw(g);
        Record("draw");
    }
    void OnShow() override { Record("show"); }
    void OnHide() override { Record("hide"); }
    void OnGeometryChanged() override { Record("geometry"); }
    void OnChildResized() override { Record("childResized"); }
    bool OnMouseDown(XMouse& m) override
    {
        Record("down " + std::to_string(m.LocalX()) + "," + std::to_string(m.LocalY()));
        return true;
    }
    void OnMouseUp(XMouse&) override { Record("up"); }
    void Record(const std::string& what)
    {
        if (m_log)
            m_log->push_back(m_name + " " + what);
    }

private:
    std::vector<std::string>* m_log;
    std::string m_name;
};

struct RecordingListener : XListener {
    int Notify(XControl* sender, int code, int value) override
    {
        lastSender = sender;
        lastCode = code;
        lastValue = value;
        return 42;
    }
    XControl* lastSender = nullptr;
    int lastCode = 0;
    int lastValue = 0;
};

const XColourValue kRed = XColour::Make(255, 0, 0);
const XColourValue kBlue = XColour::Make(0, 0, 255);

}  // namespace

TEST(XControl, GeometryResolvesAgainstTheParent)
{
    XControl root;
    root.SetBounds(0, 0, 300, 200);
    XControl* c = new XControl(&root, -50, 10, 0, -10);
    EXPECT_EQ(c->GetX(), 250);
    EXPECT_EQ(c->GetY(), 10);
    EXPECT_EQ(c->GetWidth(), 50);
    EXPECT_EQ(c->GetHeight(), 180);
    EXPECT_EQ(c->GetFlags(), xconst::kDefaultFlags);
    EXPECT_EQ(c->GetColour(0), 0u);
    EXPECT_EQ(root.GetColour(0), XColour::Make(140, 140, 150));
    EXPECT_TRUE(c->IsDirty());
    EXPECT_TRUE(root.IsChildDirty());
}

TEST(XControl, ChildrenAreOrderedFoundByIndexAndDeletedWithTheParent)
{
    std::vector<std::string> log;
    auto* root = new XControl();
    root->SetBounds(0, 0, 100, 100);
    EXPECT_EQ(root->GetChild(-1), nullptr);
    auto* a = new Probe(root, 0, 0, 10, 10, &log, "a");
    EXPECT_EQ(root->GetChild(-1), a);
    auto* b = new Probe(root, 0, 0, 10, 10, &log, "b");
    EXPECT_EQ(root->GetChild(0), a);
    EXPECT_EQ(root->GetChild(1), b);
    EXPECT_EQ(root->GetChild(-1), b);
    EXPECT_EQ(root->GetChild(2), nullptr);
    EXPECT_EQ(root->GetChild(-2), nullptr);
    EXPECT_EQ(root->CountChildren(), 2);

    auto* c = new Probe(nullptr, 0, 0, 0, 0, &log, "c");
    root->AddChild(c, 5, 6, 7, 8);
    EXPECT_EQ(root->GetChild(2), c);
    EXPECT_EQ(c->GetParent(), root);
    EXPECT_EQ(c->GetWidth(), 7);

    delete root;
    EXPECT_EQ(log, (std::vector<std::string>{"c geometry", "a deleted", "b deleted", "c deleted"}));
}

TEST(XControl, SetSizeIgnoresZeroAndUnchangedAndTellsTheFamily)
{
    std::vector<std::string> log;
    Probe parent(nullptr, 0, 0, 200, 100, &log, "p");
    auto* child = new Probe(&parent, 0, 0, 50, 40, &log, "c");
    log.clear();
    child->SetSize(0, 0);
    child->SetSize(50, 40);
    EXPECT_TRUE(log.empty());
    child->SetSize(60, 0);
    EXPECT_EQ(child->GetHeight(), 40);
    EXPECT_EQ(child->GetWidth(), 60);
    EXPECT_EQ(log, (std::vector<std::string>{"c geometry", "p childResized"}));
}

TEST(XControl, LayoutFlagsStretchOrMoveOnParentResize)
{
    XControl root;
    root.SetBounds(0, 0, 300, 200);
    XControl* stretch = new XControl(&root, 10, 10, 100, 50);
    stretch->SetResizeMode(true, true, true, true);
    XControl* mover = new XControl(&root, 200, 150, 50, 20);
    mover->SetResizeMode(false, false, true, true);
    XControl* moverChild = new XControl(mover, 0, 0, 10, 10);
    moverChild->SetResizeMode(true, true, true, true);
    XControl* fixed = new XControl(&root, 0, 0, 30, 30);
    XControl* stretchChild = new XControl(stretch, 0, 0, 20, 20);
    stretchChild->SetResizeMode(true, false, true, false);

    root.SetSize(340, 210);
    EXPECT_EQ(stretch->GetWidth(), 140);
    EXPECT_EQ(stretch->GetHeight(), 60);
    EXPECT_EQ(mover->GetX(), 240);
    EXPECT_EQ(mover->GetY(), 160);
    EXPECT_EQ(mover->GetWidth(), 50);
    EXPECT_EQ(moverChild->GetWidth(), 10);  // a moved parent passes no change on
    EXPECT_EQ(fixed->GetX(), 0);
    EXPECT_EQ(fixed->GetWidth(), 30);
    EXPECT_EQ(stretchChild->GetWidth(), 60);
    EXPECT_EQ(stretchChild->GetHeight(), 20);
}

TEST(XControl, HitTestsAgreeOnEdgesAndTheEarlierSiblingWins)
{
    XControl root;
    root.SetBounds(0, 0, 100, 100);
    XControl* first = new XControl(&root, 10, 10, 30, 30);
    XControl* second = new XControl(&root, 20, 20, 30, 30);
    XControl* inner = new XControl(second, 25, 25, 5, 5);

    EXPECT_EQ(root.FindChildAt(25, 25), first);
    EXPECT_EQ(root.FindControlAt(25, 25), first);
    EXPECT_EQ(root.FindChildAt(45, 45), second);
    EXPECT_EQ(root.FindControlAt(46, 46), inner);
    // x + w is outside for all three tests.
    EXPECT_EQ(root.FindChildAt(40, 15), nullptr);
    EXPECT_EQ(root.FindControlAt(40, 15), &root);
    EXPECT_EQ(first->FindDeepestAt(40, 15), nullptr);
    EXPECT_EQ(first->FindDeepestAt(39, 15), first);
    EXPECT_EQ(root.FindControlAt(100, 5), nullptr);

    // Disabled, hidden and delete-pending controls are not hit.
    first->Disable();
    EXPECT_EQ(root.FindChildAt(25, 25), second);
    second->SetVisible(false);
    EXPECT_EQ(root.FindChildAt(25, 25), nullptr);
    second->SetVisible(true);
    second->DeleteLater();
    EXPECT_EQ(root.FindControlAt(25, 25), &root);
}

TEST(XControl, ScrollOffsetMovesContentForHitsAndScreenPosition)
{
    XControl root;
    root.SetBounds(100, 50, 300, 300);
    XControl* view = new XControl(&root, 10, 10, 100, 100);
    XControl* item = new XControl(view, 0, 0, 100, 20);
    item->SetScrollOffset(0, 0);
    view->SetScrollOffset(0, 40);
    EXPECT_EQ(view->GetScreenY(), 50 + 10 - 40);
    EXPECT_EQ(item->GetScreenX(), 100 + 10);
    EXPECT_EQ(view->GetLocalRectangle().y, 40);

    XRect r = item->GetWindowRect();
    EXPECT_EQ(r.left, 10);
    EXPECT_EQ(r.top, -30);
    XRect s = item->GetScreenRect();
    EXPECT_EQ(s.left, 110);
}

TEST(XControl, WindowRectIsCutByEveryAncestor)
{
    XControl root;
    root.SetBounds(0, 0, 200, 200);
    XControl* box = new XControl(&root, 50, 60, 40, 40);
    XControl* wide = new XControl(box, 0, 0, 1, 1);
    wide->SetBounds(-10, 5, 100, 10);
    XRect r = wide->GetWindowRect();
    EXPECT_EQ(r.left, 50);    // left raised to the parent's edge
    EXPECT_EQ(r.right, 89);   // right cut to the parent's width
    EXPECT_EQ(r.top, 65);
    EXPECT_EQ(r.bottom, 74);
}

TEST(XControl, PaintDrawsDirtyControlsInOrderAndForcesChildren)
{
    std::vector<std::string> log;
    XGraphic g;
    g.BeginPaint(nullptr, 100, 100);
    XControl root;
    root.SetBounds(0, 0, 100, 100);
    auto* a = new Probe(&root, 0, 0, 50, 50, &log, "a");
    a->SetColour(0, kRed);
    auto* b = new Probe(&root, 25, 25, 50, 50, &log, "b");
    b->SetColour(0, kBlue);
    auto* bChild = new Probe(b, 0, 0, 10, 10, &log, "bc");
    (void)bChild;

    root.Paint(g, false, XRectangle(0, 0, 100, 100));
    EXPECT_EQ(log, (std::vector<std::string>{"a draw", "b draw", "bc draw"}));
    // The later sibling is drawn on top.
    EXPECT_EQ(g.GetPixel(30, 30), kBlue);
    EXPECT_EQ(g.GetPixel(10, 10), kRed);
    EXPECT_FALSE(root.IsChildDirty());

    // Nothing marked: nothing drawn.
    log.clear();
    root.Paint(g, false, XRectangle(0, 0, 100, 100));
    EXPECT_TRUE(log.empty());

    // A marked parent redraws its children; a marked child alone is drawn alone.
    b->Invalidate();
    root.Paint(g, false, XRectangle(0, 0, 100, 100));
    EXPECT_EQ(log, (std::vector<std::string>{"b draw", "bc draw"}));
    EXPECT_TRUE(b->WasDrawn());
    EXPECT_TRUE(static_cast<XControl*>(bChild)->NeedsFullRedraw());
    log.clear();
    bChild->Invalidate();
    root.Paint(g, false, XRectangle(0, 0, 100, 100));
    EXPECT_EQ(log, (std::vector<std::string>{"bc draw"}));
    EXPECT_FALSE(static_cast<XControl*>(bChild)->NeedsFullRedraw());

    // Hidden and zero-sized controls are skipped.
    log.clear();
    a->SetVisible(false);
    a->Invalidate();
    root.Paint(g, false, XRectangle(0, 0, 100, 100));
    EXPECT_TRUE(log.empty());
}

TEST(XControl, PaintWalkDeletesControlsMarkedForDeletion)
{
    std::vector<std::string> log;
    XGraphic g;
    g.BeginPaint(nullptr, 100, 100);
    XControl root;
    root.SetBounds(0, 0, 100, 100);
    new Probe(&root, 0, 0, 10, 10, &log, "a");
    auto* b = new Probe(&root, 0, 0, 10, 10, &log, "b");
    new Probe(&root, 0, 0, 10, 10, &log, "c");
    b->DeleteLater();
    root.Invalidate();
    root.Paint(g, true, XRectangle(0, 0, 100, 100));
    EXPECT_EQ(log, (std::vector<std::string>{"a draw", "b deleted", "c draw"}));
    EXPECT_EQ(root.CountChildren(), 2);
}

TEST(XControl, ClippingControlKeepsChildrenInsideItsBounds)
{
    XGraphic g;
    g.BeginPaint(nullptr, 100, 100);
    g.FillRectangleColour(XRectangle(0, 0, 100, 100), XColour::Make(255, 255, 255));
    XControl root;
    root.SetBounds(0, 0, 100, 100);
    root.SetColour(0, 0);
    XControl* box = new XControl(&root, 10, 10, 20, 20);
    box->SetClips(true);
    XControl* big = new XControl(box, 0, 0, 1, 1);
    big->SetBounds(-5, -5, 60, 60);
    big->SetColour(0, kRed);
    root.Paint(g, false, XRectangle(0, 0, 100, 100));
    EXPECT_EQ(g.GetPixel(10, 10), kRed);
    EXPECT_EQ(g.GetPixel(29, 29), kRed);
    EXPECT_EQ(g.GetPixel(30, 30), XColour::Make(255, 255, 255));
    EXPECT_EQ(g.GetPixel(9, 9), XColour::Make(255, 255, 255));
}

TEST(XControl, ShowAndHideCallTheirSlotOnlyOnChange)
{
    std::vector<std::string> log;
    XGraphic g;
    g.BeginPaint(nullptr, 10, 10);
    XControl root;
    root.SetBounds(0, 0, 100, 100);
    auto* c = new Probe(&root, 0, 0, 10, 10, &log, "c");
    auto* grandchild = new XControl(c, 0, 0, 5, 5);
    root.Paint(g, true, XRectangle(0, 0, 100, 100));
    log.clear();

    c->Show(true);
    EXPECT_TRUE(log.empty());
    EXPECT_FALSE(c->IsDirty());

    c->Hide();
    EXPECT_EQ(log, (std::vector<std::string>{"c hide"}));
    EXPECT_FALSE(c->IsVisible());
    EXPECT_FALSE(grandchild->HasFlag(xconst::kShown));
    EXPECT_TRUE(root.IsDirty());
    c->Show(true);
    EXPECT_TRUE(c->IsVisible());
    EXPECT_TRUE(grandchild->HasFlag(xconst::kShown));
    EXPECT_TRUE(c->IsDirty());
}

TEST(XControl, ColoursThemesAndNotifications)
{
    XControl c;
    c.SetColour(4, kRed);
    c.SetColour(-1, kRed);
    EXPECT_EQ(c.GetColour(4), 0u);
    EXPECT_FALSE(c.HasColour(1));

    XTheme theme;
    theme.Add(1, kRed);
    theme.Add(2, kBlue);
    theme.Add(1, kBlue);
    EXPECT_EQ(theme.GetCount(), 3);
    EXPECT_EQ(theme.GetEntry(3), nullptr);
    c.ApplyTheme(theme);
    c.ApplyTheme(theme);
    EXPECT_EQ(c.GetColour(1), kBlue);
    EXPECT_EQ(c.GetColour(2), kBlue);

    RecordingListener listener;
    EXPECT_EQ(c.Notify(7, 8), 0);
    c.SetListener(&listener);
    EXPECT_EQ(c.Notify(fourcc("clic"), 3), 42);
    EXPECT_EQ(listener.lastSender, &c);
    EXPECT_EQ(listener.lastValue, 3);
    c.SetFlag(xconst::kNotifies, false);
    EXPECT_EQ(c.Notify(1, 1), 0);
    EXPECT_EQ(listener.lastCode, static_cast<int>(fourcc("clic")));
}

TEST(XControl, SimulateClickPressesAndReleasesWhenEnabled)
{
    std::vector<std::string> log;
    Probe c(nullptr, 0, 0, 20, 20, &log, "c");
    c.SimulateClick(3, 4);
    EXPECT_EQ(log, (std::vector<std::string>{"c down 3,4", "c up"}));
    log.clear();
    c.Disable();
    c.SimulateClick(3, 4);
    EXPECT_TRUE(log.empty());
    log.clear();
}

TEST(XControl, InvalidateFromAnotherThreadIsSeenByTheTick)
{
    XControl root;
    root.SetBounds(0, 0, 10, 10);
    XControl* c = new XControl(&root, 0, 0, 5, 5);
    XGraphic g;
    g.BeginPaint(nullptr, 10, 10);
    root.Paint(g, true, XRectangle(0, 0, 10, 10));
    EXPECT_FALSE(root.IsChildDirty());
    std::thread other([c] { c->Invalidate(); });
    other.join();
    EXPECT_TRUE(root.IsChildDirty());
    EXPECT_TRUE(c->IsDirty());
}
