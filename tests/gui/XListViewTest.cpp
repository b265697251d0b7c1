// Scroll bars, viewports and list views: bar parts and their repeats, the
// viewport's layout and clamped scrolling, list sizing, selection by mouse
// (single, Shift and Control), queries, sorting, activation and dragging.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "gui/GuiTestLeaks.h"
#include "kiv/gui/HeadlessBackend.h"
#include "kiv/gui/XGraphic.h"
#include "kiv/gui/XInput.h"
#include "kiv/gui/XListView.h"
#include "kiv/gui/XListener.h"
#include "kiv/gui/XScrollBar.h"
#include "kiv/gui/XView.h"
#include "kiv/gui/XWindow.h"

namespace {

struct Recorder : XListener {
    int Notify(XControl*, int code, int value) override
    {
        calls.push_back({code, value});
        return 0;
    }
    std::vector<std::pair<int, int>> calls;
};

XMouse Press(int x, int y, bool shift = false, bool control = false)
{
    XMouse m;
    m.SetPress(x, y, 0);
    m.shift = shift;
    m.control = control;
    return m;
}

// Rows start at y 4 and are 18 pixels high.
int RowY(int row) { return 4 + row * 18 + 9; }

TEST(XScrollBar, HeldStepButtonRepeatsAfterTenTicksThenEveryTick)
{
    XControl root;
    root.SetSize(100, 200);
    XScrollBar* bar = new XScrollBar(&root, 0, 0, 17, 200);
    Recorder r;
    bar->SetListener(&r);
    XMouse m = Press(8, 195);  // the forward button at the bottom
    EXPECT_TRUE(bar->OnMouseDown(m));
    ASSERT_EQ(r.calls.size(), 1u);
    EXPECT_EQ(r.calls[0].first, static_cast<int>(xconst::kScrollStepInc));
    for (int i = 0; i < 9; ++i)
        bar->OnTick();
    EXPECT_EQ(r.calls.size(), 1u);
    bar->OnTick();
    EXPECT_EQ(r.calls.size(), 2u);
    bar->OnTick();
    bar->OnTick();
    EXPECT_EQ(r.calls.size(), 4u);
    bar->OnMouseUp(m);
    bar->OnTick();
    EXPECT_EQ(r.calls.size(), 4u);

    m = Press(8, 5);
    bar->OnMouseDown(m);
    EXPECT_EQ(r.calls.back().first, static_cast<int>(xconst::kScrollStepDec));
}

TEST(XScrollBar, TrackAroundTheThumbPagesAndTheThumbDragsByTheContentScale)
{
    XControl root;
    root.SetSize(100, 200);
    XScrollBar* bar = new XScrollBar(&root, 0, 0, 17, 200);
    bar->SetRange(800);
    bar->SetPosition(200);
    Recorder r;
    bar->SetListener(&r);
    // Room 168, thumb 200/800 x 168 = 42 long from 16 + 42.
    XGraphic g;
    g.BeginPaint(nullptr, 100, 200);
    root.Paint(g, true, XRectangle(0, 0, 100, 200));
    EXPECT_EQ(bar->GetThumb().top, 58);
    EXPECT_EQ(bar->GetThumb().bottom, 100);
    EXPECT_EQ(bar->HitPart(8, 30), xconst::kScrollPagePrev);
    EXPECT_EQ(bar->HitPart(8, 150), xconst::kScrollPageNext);
    EXPECT_EQ(bar->HitPart(8, 80), xconst::kScrollThumb);

    XMouse m = Press(8, 80);
    bar->OnMouseDown(m);
    EXPECT_TRUE(r.calls.empty());  // the thumb reports only when moved
    m.SetCurrent(8, 90);
    bar->OnMouseDrag(m);
    ASSERT_EQ(r.calls.size(), 1u);
    EXPECT_EQ(r.calls[0].first, static_cast<int>(xconst::kScrollThumb));
    EXPECT_EQ(r.calls[0].second, 200 + static_cast<int>(800.0 / 165 * 10));
    bar->OnMouseUp(m);

    // A bar shorter than its scale reserve and an empty range do not divide by zero.
    bar->SetBounds(0, 0, 17, 30);
    bar->SetRange(0);
    root.Paint(g, true, XRectangle(0, 0, 100, 200));
    m = Press(8, 15);
    bar->OnMouseDown(m);
    m.SetCurrent(8, 20);
    bar->OnMouseDrag(m);
}

class PortTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        root.SetSize(400, 300);
        port = new XViewPort(&root, 0, 0, 200, 100);
        port->CreateScrollBars(true, true);
        content = new XControl(&root, 0, 0, 10, 10);
        port->SetContent(content);
    }
    XControl root;
    XViewPort* port = nullptr;
    XControl* content = nullptr;
};

TEST_F(PortTest, ContentWiderThanTheViewportGetsABarAndTheOtherAxisIsTestedAgain)
{
    content->SetSize(205, 84);
    EXPECT_TRUE(port->GetHorizontalBar()->IsVisible());
    EXPECT_FALSE(port->GetVerticalBar()->IsVisible());
    EXPECT_EQ(port->GetClipView()->GetHeight(), 83);

    content->SetSize(205, 85);
    EXPECT_TRUE(port->GetVerticalBar()->IsVisible());
    EXPECT_EQ(port->GetClipView()->GetWidth(), 183);
    EXPECT_EQ(port->GetHorizontalBar()->GetWidth(), 183);
    EXPECT_EQ(port->GetVerticalBar()->GetHeight(), 83);

    content->SetSize(150, 90);
    EXPECT_FALSE(port->GetHorizontalBar()->IsVisible());
    EXPECT_FALSE(port->GetVerticalBar()->IsVisible());
    EXPECT_EQ(port->GetClipView()->GetWidth(), 200);
}

TEST_F(PortTest, ScrollingIsClampedToTheContentAndFollowsBarsAndWheel)
{
    content->SetSize(150, 500);
    port->ScrollToY(-30);
    EXPECT_EQ(port->GetScrollYPos(), 0);
    port->ScrollToY(10000);
    EXPECT_EQ(port->GetScrollYPos(), 400);
    EXPECT_EQ(content->GetScrollY(), 400);
    EXPECT_EQ(port->GetVerticalBar()->GetPosition(), 400);

    XScrollBar* bar = port->GetVerticalBar();
    port->Notify(bar, static_cast<int>(xconst::kScrollPagePrev), 0);
    EXPECT_EQ(port->GetScrollYPos(), 300);
    port->Notify(bar, static_cast<int>(xconst::kScrollStepDec), 0);
    EXPECT_EQ(port->GetScrollYPos(), 282);
    port->Notify(bar, static_cast<int>(xconst::kScrollThumb), 50);
    EXPECT_EQ(port->GetScrollYPos(), 50);
    port->Notify(content, static_cast<int>(xconst::kScrollThumb), 90);  // not a bar: ignored
    EXPECT_EQ(port->GetScrollYPos(), 50);

    // One notch away from the user (+20) shows earlier rows.
    EXPECT_TRUE(port->OnWheel(0, 0, 0, 20));
    EXPECT_EQ(port->GetScrollYPos(), 30);

    // Content that shrinks pulls the position back inside it.
    content->SetSize(150, 120);
    EXPECT_EQ(port->GetScrollYPos(), 20);
    content->SetSize(150, 50);
    EXPECT_EQ(port->GetScrollYPos(), 0);
    EXPECT_FALSE(bar->IsVisible());
}

class Texts : public XListText {
public:
    using XListText::XListText;
    int CompareItems(XListItem* a, XListItem* b, int column) override
    {
        if (column == 1)
            return 0;
        int c = std::strcmp(static_cast<XListTextItem*>(a)->text.GetText(), static_cast<XListTextItem*>(b)->text.GetText());
        return c < 0 ? -1 : c > 0 ? 1 : 0;
    }
    bool OnItemActivated(XListItem* item, int, int) override
    {
        activated = item;
        return true;
    }
    XListItem* activated = nullptr;
};

class ListTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        root.SetSize(400, 300);
        list = new Texts(&root, 10, 10, 150, 100);
        list->SetListener(&recorder);
    }
    std::vector<std::string> Order()
    {
        std::vector<std::string> out;
        for (int i = 0; i < list->GetCount(); ++i)
            out.push_back(list->GetText(i));
        return out;
    }
    void Fill(int n)
    {
        for (int i = 0; i < n; ++i)
            list->AddText(("item " + std::to_string(i)).c_str());
    }
    void Click(int row, bool shift = false, bool control = false)
    {
        XMouse m = Press(20, RowY(row), shift, control);
        list->OnMouseDown(m);
        list->OnMouseUp(m);
    }
    std::vector<int> Selected()
    {
        std::vector<int> out;
        for (int i = 0; i < list->GetCount(); ++i)
            if (list->GetItem(i)->selected)
                out.push_back(i);
        return out;
    }

    XControl root;
    Texts* list = nullptr;
    Recorder recorder;
};

TEST_F(ListTest, ListIsNeverShorterThanItsViewAndGrowsABarWithItsRows)
{
    XViewPort* port = list->GetViewPort();
    EXPECT_EQ(root.GetChild(0), port);
    EXPECT_EQ(root.CountChildren(), 1);
    Fill(3);
    EXPECT_EQ(list->GetHeight(), 100);
    EXPECT_FALSE(port->GetVerticalBar()->IsVisible());
    Fill(7);
    EXPECT_EQ(list->GetHeight(), 184);
    EXPECT_TRUE(port->GetVerticalBar()->IsVisible());
    list->Clear();
    EXPECT_EQ(list->GetCount(), 0);
    EXPECT_EQ(list->GetHeight(), 100);
    EXPECT_FALSE(port->GetVerticalBar()->IsVisible());
}

TEST_F(ListTest, ClickSelectsOneRowAndAClickBelowTheRowsClearsIt)
{
    Fill(3);
    Click(1);
    EXPECT_EQ(list->GetCurrent(), list->GetItem(1));
    EXPECT_EQ(Selected(), std::vector<int>{1});
    Click(2);
    EXPECT_EQ(Selected(), std::vector<int>{2});
    EXPECT_EQ(list->GetSelectedCount(), 1);
    Click(4);
    EXPECT_EQ(list->GetCurrent(), nullptr);
    EXPECT_TRUE(Selected().empty());
    EXPECT_EQ(list->GetSelectedCount(), 0);
    EXPECT_EQ(recorder.calls, (std::vector<std::pair<int, int>>{{0, 1}, {0, 1}, {0, 1}}));
}

TEST_F(ListTest, ShiftSelectsTheRangeAndControlTogglesWithoutMovingTheCurrentRow)
{
    list->SetMultiSelection(true);
    Fill(6);
    Click(4);
    Click(1, true);
    EXPECT_EQ(Selected(), (std::vector<int>{1, 2, 3, 4}));
    EXPECT_EQ(list->GetCurrent(), list->GetItem(4));
    Click(5, true);
    EXPECT_EQ(Selected(), (std::vector<int>{4, 5}));
    Click(0, false, true);
    EXPECT_EQ(Selected(), (std::vector<int>{0, 4, 5}));
    Click(4, false, true);
    EXPECT_EQ(Selected(), (std::vector<int>{0, 5}));
    EXPECT_EQ(list->GetCurrent(), list->GetItem(4));
    EXPECT_EQ(list->GetSelectedCount(), 2);
    EXPECT_EQ(list->GetSelected(1), list->GetItem(5));
    EXPECT_EQ(list->GetSelected(7), list->GetCurrent());
    // A plain click on an unselected row starts a new selection.
    Click(2);
    EXPECT_EQ(Selected(), std::vector<int>{2});
}

TEST_F(ListTest, QueriesOutsideTheListGiveNothing)
{
    EXPECT_EQ(list->GetText(0), nullptr);
    EXPECT_EQ(list->GetItem(-1), nullptr);
    Fill(2);
    EXPECT_EQ(list->GetItem(2), nullptr);
    EXPECT_STREQ(list->GetText(1), "item 1");
    XListTextItem stranger;
    EXPECT_EQ(list->IndexOf(&stranger), -1);
    list->RemoveItem(&stranger);  // not ours: left alone
    EXPECT_EQ(list->GetCount(), 2);
    EXPECT_EQ(list->ItemAtY(2), nullptr);
    EXPECT_EQ(list->ItemAtY(RowY(1)), list->GetItem(1));

    Click(1);
    list->RemoveItem(list->GetItem(1));
    EXPECT_EQ(list->GetCurrent(), nullptr);
    EXPECT_EQ(list->GetCount(), 1);
    EXPECT_EQ(list->GetSelectedCount(), 0);
}

TEST_F(ListTest, SortingIsStableAndFollowsTheDirection)
{
    for (const char* t : {"pear", "apple", "fig", "apple"})
        list->AddText(t);
    XListItem* firstApple = list->GetItem(1);
    list->Sort(1, 1);  // every item equal
    EXPECT_EQ(Order(), (std::vector<std::string>{"pear", "apple", "fig", "apple"}));
    list->Sort(1, 0);
    EXPECT_EQ(Order(), (std::vector<std::string>{"apple", "apple", "fig", "pear"}));
    EXPECT_EQ(list->GetItem(0), firstApple);
    list->Sort(-1, 0);
    EXPECT_EQ(Order(), (std::vector<std::string>{"pear", "fig", "apple", "apple"}));
    EXPECT_EQ(list->GetItem(2), firstApple);
}

TEST_F(ListTest, DoubleClickActivatesTheRowAndSelectShowsIt)
{
    Fill(20);
    EXPECT_TRUE(list->OnDoubleClick(10, RowY(3)));
    EXPECT_EQ(list->activated, list->GetItem(3));
    EXPECT_FALSE(list->OnDoubleClick(10, 1));

    list->Select(15);
    EXPECT_EQ(list->GetCurrent(), list->GetItem(15));
    EXPECT_TRUE(list->GetItem(15)->selected);
    // Row 15 (y 274..291) is brought inside the 100 shown pixels.
    int top = list->GetScrollY();
    EXPECT_LE(top, 274);
    EXPECT_GE(top + 100, 292);
    list->Select(99);
    EXPECT_EQ(list->GetCurrent(), list->GetItem(15));
}

TEST_F(ListTest, SelectedRowsAreDrawnInTheSelectionColours)
{
    Fill(3);
    Click(1);
    XGraphic g;
    g.BeginPaint(nullptr, 400, 300);
    root.Paint(g, true, XRectangle(0, 0, 400, 300));
    // The list starts at (10, 10); row 1 at y 22 in it, its box from y 20.
    EXPECT_EQ(g.GetPixel(12, 31), XColour::Make(200, 210, 230));
    EXPECT_EQ(g.GetPixel(12, 60), XColour::Make(255, 255, 255));
    EXPECT_EQ(g.GetPixel(10, 10), XColour::Make(40, 40, 40));
}

// A view with a draggable list and a control that takes 'inst' drops.
class DropTarget : public XControl {
public:
    using XControl::XControl;
    bool OnDragOver(XControl*, uint32_t kind) override { return kind == fourcc("inst"); }
    void OnDrop(XControl* source, uint32_t) override { dropped = source; }
    XControl* dropped = nullptr;
};

class DragView : public XView {
public:
    DragView()
    {
        SetSize(400, 200);
        list = new XListString(this, 0, 0, 150, 200);
        target = new DropTarget(this, 200, 0, 200, 200);
        list->SetDragKind(fourcc("inst"));
        list->SetMultiSelection(true);
        for (int i = 0; i < 5; ++i)
            list->AddString("row", i);
    }
    XListString* list;
    DropTarget* target;
};

TEST(XListViewDrag, SelectedRowsDragOnceThePointerMovesMoreThanThreePixels)
{
    HeadlessBackend backend;
    XBackend::Install(&backend);
    {
        DragView view;
        ASSERT_TRUE(view.OpenWindow());
        backend.Advance(60);
        HeadlessWindow* client = backend.FindByClass("KivControl");
        ASSERT_NE(client, nullptr);
        backend.MouseDown(client, 20, RowY(1), 0);
        EXPECT_TRUE(view.list->GetItem(1)->selected);
        backend.MouseMove(client, 23, RowY(1), true);
        EXPECT_FALSE(view.list->IsDragging());
        backend.MouseMove(client, 24, RowY(1), true);
        EXPECT_TRUE(view.list->IsDragging());
        backend.MouseMove(client, 300, 100, true);
        backend.MouseUp(client, 300, 100, 0);
        EXPECT_FALSE(view.list->IsDragging());
        EXPECT_EQ(view.target->dropped, view.list);
        view.GetWindow()->Close(true);
    }
    XBackend::Install(nullptr);
}

}  // namespace
