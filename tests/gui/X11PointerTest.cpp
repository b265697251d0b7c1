// Pointer and key sequences a user makes, sent through a private Xvfb with
// XTEST into a real toolkit window: a quick click from an edit box onto a
// list row, and a second button pressed in the middle of a drag (from a list
// and from a tree). Skipped when Xvfb is not installed or does not start.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "gui/GuiTestControls.h"
#include "gui/GuiTestLeaks.h"
#include "kiv/gui/X11Backend.h"
#include "kiv/gui/XEdit.h"
#include "kiv/gui/XListView.h"
#include "kiv/gui/XTreeView.h"
#include "kiv/gui/XView.h"
#include "kiv/gui/XWindow.h"
#include "support/X11ServerTest.h"
#include "support/xtest/XTestInput.h"

namespace {

using Log = std::vector<std::string>;
const uint32_t kKind = fourcc("test");

class ActivatedList : public XListText {
public:
    ActivatedList(XControl* parent, Log* log) : XListText(parent, 10, 40, 150, 120), m_log(log)
    {
        for (const char* t : {"Alpha", "Beta", "Gamma", "Delta"})
            AddText(t);
    }
    bool OnItemActivated(XListItem* item, int, int) override
    {
        m_log->push_back("activated " + std::to_string(IndexOf(item)));
        return true;
    }

private:
    Log* m_log;
};

class Tree : public XTreeView {
public:
    Tree(XControl* parent) : XTreeView(parent, 10, 40, 150, 120)
    {
        for (const char* t : {"Alpha", "Beta", "Gamma"})
            AddItem(nullptr, t, 0);
    }
    void FillFolder(Node*) override {}
    void OnNodeChosen(Node*) override {}
};

class DropTarget : public XControl {
public:
    DropTarget(XControl* parent, Log* log) : XControl(parent, 200, 40, 90, 120), m_log(log)
    {
        SetColour(0, XColour::Make(90, 90, 120));
    }
    bool OnDragOver(XControl*, uint32_t kind) override { return kind == kKind; }
    bool OnDragEnter(XControl*, uint32_t) override
    {
        m_log->push_back("enter");
        return true;
    }
    void OnDragLeave(XControl*, uint32_t) override { m_log->push_back("leave"); }
    void OnDrop(XControl*, uint32_t) override { m_log->push_back("drop"); }

private:
    Log* m_log;
};

class X11PointerTest : public kivtest::X11ServerTest<800, 600> {
protected:
    void SetUp() override
    {
        X11ServerTest::SetUp();
        if (IsSkipped())
            return;
        ASSERT_TRUE(input.Usable());
        view.SetSize(300, 200);
        view.SetColour(0, XColour::Make(40, 40, 40));
    }
    void TearDown() override
    {
        if (view.GetWindow() && view.GetWindow()->GetFrame()) {
            view.Close(0);
            PumpUntil([&] { return view.GetWindow()->GetFrame() == nullptr; });
        }
    }
    // Opens the view's window and waits for its first paint; the client's
    // screen position is kept for the fake input.
    void Open()
    {
        ASSERT_TRUE(view.OpenWindow());
        XWindow* window = view.GetWindow();
        ASSERT_TRUE(PumpUntil([&] { return window->IsTimerRunning(); }));
        int w, h;
        window->GetClientWindow()->GetScreenRect(left, top, w, h);
    }
    void Pump(int times)
    {
        for (int i = 0; i < times; ++i)
            backend->Pump(10);
    }
    XColourValue Pixel(int x, int y)
    {
        XColourValue pixel = 0;
        backend->ReadPixel(view.GetWindow()->GetClientWindow()->GetHandle(), x, y, pixel);
        return pixel;
    }
    void Click(int x, int y, unsigned button = 1)
    {
        input.Move(left + x, top + y);
        input.Button(button, true);
        input.Button(button, false);
    }
    // A left drag from (x0, y0) to (x1, y1) in steps, with the right button
    // pressed and released over the end point before the left is let go.
    void DragWithRightClick(int x0, int y0, int x1, int y1, XDragger& source)
    {
        input.Move(left + x0, top + y0);
        input.Button(1, true);
        Pump(3);
        for (int i = 1; i <= 8; ++i) {
            input.Move(left + x0 + (x1 - x0) * i / 8, top + y0 + (y1 - y0) * i / 8);
            Pump(2);
        }
        EXPECT_TRUE(source.IsDragging());
        // The image shows the dragged row only, beside the pointer.
        if (XNativeWindow* image = source.GetDragWindow()) {
            int ix, iy, iw, ih;
            image->GetScreenRect(ix, iy, iw, ih);
            EXPECT_GT(ix, left + x1);
            EXPECT_GE(iy, top + y1);
            EXPECT_LT(iw, 140);
            EXPECT_LE(ih, 24);
        }
        input.Button(3, true);
        Pump(3);
        input.Button(3, false);
        Pump(3);
        input.Move(left + x1 + 5, top + y1 + 5);
        input.Button(1, false);
        Pump(10);
    }

    kivtest::XTestInput input;
    XView view;
    int left = 0, top = 0;
    Log log;
};

}  // namespace

// A click on a list row soon after the click into an edit box is a single
// click: two presses are a double click only on the same control. The edit
// box ends its edit and reports it, so it neither stays red nor swallows the
// next typing.
TEST_F(X11PointerTest, QuickClickFromEditOntoListEndsTheEdit)
{
    guitest::Recorder edits;
    auto* edit = new XEdit(&view, 10, 10, 120, 20);
    edit->SetListener(&edits);
    edit->SetCommitOnLeave(true);
    new ActivatedList(&view, &log);
    Open();

    // Both clicks queue before either is handled: well inside 400 ms.
    Click(30, 20);
    Click(40, 40 + 4 + 18 + 8);  // the second row
    ASSERT_TRUE(PumpUntil([&] { return !edit->IsEditing(); }));
    Pump(10);
    EXPECT_TRUE(log.empty()) << "the list took the two presses as a double click";
    ASSERT_EQ(edits.notes.size(), 1u);
    EXPECT_EQ(edits.notes[0].value, 1);  // committed on leaving
    Pump(10);
    EXPECT_NE(Pixel(10, 10), XColour::Make(255, 120, 120));  // the frame is no longer red

    // Clicked again later, it edits and takes the keys.
    std::this_thread::sleep_for(std::chrono::milliseconds(450));
    Click(30, 20);
    ASSERT_TRUE(PumpUntil([&] { return edit->IsEditing(); }));
    input.Key("k");
    EXPECT_TRUE(PumpUntil([&] { return edit->GetText() && std::string(edit->GetText()) == "k"; }));
}

TEST_F(X11PointerTest, RightClickDuringAListDragCancelsItWithoutADrop)
{
    auto* list = new ActivatedList(&view, &log);
    list->SetDragKind(kKind);
    new DropTarget(&view, &log);
    Open();

    DragWithRightClick(40, 40 + 4 + 9, 240, 100, *list);
    EXPECT_FALSE(list->IsDragging());
    EXPECT_EQ(list->GetDragWindow(), nullptr);
    EXPECT_EQ(log, (Log{"enter", "leave"}));

    // The next drag (not a double click) starts afresh and drops.
    log.clear();
    std::this_thread::sleep_for(std::chrono::milliseconds(450));
    input.Move(left + 40, top + 40 + 4 + 9);
    input.Button(1, true);
    Pump(3);
    for (int i = 1; i <= 8; ++i) {
        input.Move(left + 40 + 25 * i, top + 53 + 6 * i);
        Pump(2);
    }
    input.Button(1, false);
    EXPECT_TRUE(PumpUntil([&] { return !list->IsDragging(); }));
    EXPECT_EQ(log, (Log{"enter", "leave", "drop"}));
}

TEST_F(X11PointerTest, RightClickDuringATreeDragCancelsIt)
{
    auto* tree = new Tree(&view);
    tree->SetDragKind(kKind);
    new DropTarget(&view, &log);
    Open();

    DragWithRightClick(40, 40 + 4 + 9, 240, 100, *tree);
    EXPECT_FALSE(tree->IsDragging());
    EXPECT_EQ(log, (Log{"enter", "leave"}));
}
