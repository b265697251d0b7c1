// Drag and drop: the drag window and its image, the targets' calls in
// order, moves inside the current target, nested targets and drags that
// find no target.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gui/GuiTestLeaks.h"
#include "kiv/gui/HeadlessBackend.h"
#include "kiv/gui/XControl.h"
#include "kiv/gui/XDragger.h"
#include "kiv/gui/XGraphic.h"

namespace {

using Log = std::vector<std::string>;
const uint32_t kKind = fourcc("inst");

class Source : public XControl, public XDragger {
public:
    Source(XControl* parent, Log* log) : XControl(parent, 10, 10, 100, 60), m_log(log) { SetDragKind(kKind); }
    void DrawDragImage(XGraphic& g) override
    {
        g.FillRectangleColour(XRectangle(5, 5, 20, 10), XColour::Make(200, 0, 0));
    }
    void OnDragEnd(int x, int y) override { m_log->push_back("end " + std::to_string(x) + "," + std::to_string(y)); }

private:
    Log* m_log;
};

class Target : public XControl {
public:
    Target(XControl* parent, int x, int y, int w, int h, Log* log, const char* name, bool accepts)
        : XControl(parent, x, y, w, h), m_log(log), m_name(name), m_accepts(accepts)
    {
    }
    bool OnDragOver(XControl*, uint32_t kind) override
    {
        m_log->push_back(m_name + " over");
        return m_accepts && kind == kKind;
    }
    bool OnDragEnter(XControl*, uint32_t) override
    {
        m_log->push_back(m_name + " enter");
        return true;
    }
    void OnDragLeave(XControl*, uint32_t) override { m_log->push_back(m_name + " leave"); }
    void OnDrop(XControl* source, uint32_t kind) override
    {
        m_log->push_back(m_name + " drop" + (kind == kKind && source ? "" : " wrong"));
    }

private:
    Log* m_log;
    std::string m_name;
    bool m_accepts;
};

struct Scene {
    Scene()
    {
        XBackend::Install(&backend);
        root.SetBounds(100, 100, 400, 300);  // the root's position is on the screen
        source = new Source(&root, &log);
        a = new Target(&root, 200, 10, 50, 50, &log, "a", true);
        b = new Target(&root, 200, 100, 100, 100, &log, "b", false);
        inner = new Target(b, 10, 10, 30, 30, &log, "inner", true);
    }
    HeadlessBackend backend;
    XControl root;
    Log log;
    Source* source;
    Target* a;
    Target* b;
    Target* inner;
};

}  // namespace

// The window shows only what was drawn (a red box at (5, 5) of 20 x 10 in
// the source), with 2 pixels around it, below and right of the pointer so
// the target under it stays visible.
TEST(XDragger, DragWindowShowsOnlyTheDraggedThingsBesideThePointer)
{
    Scene s;
    s.source->StartDrag(s.source, 20, 30);  // the pointer at (130, 140) on the screen
    ASSERT_TRUE(s.source->IsDragging());
    HeadlessWindow* window = s.backend.FindByClass("KivDragger");
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->IsMapped());
    EXPECT_EQ(window->GetX(), 130 + 16);
    EXPECT_EQ(window->GetY(), 140 + 4);
    EXPECT_EQ(window->GetWidth(), 24);
    EXPECT_EQ(window->GetHeight(), 14);
    EXPECT_EQ(window->Pixel(2, 2), XColour::Make(200, 0, 0));
    EXPECT_EQ(window->Pixel(21, 11), XColour::Make(200, 0, 0));
    EXPECT_NE(window->Pixel(0, 0), XColour::Make(200, 0, 0));
    s.source->MoveDrag(25, 20);
    EXPECT_EQ(window->GetX(), 110 + 25 + 16);
    EXPECT_EQ(window->GetY(), 110 + 20 + 4);
    s.source->EndDrag(25, 20);
    EXPECT_FALSE(s.source->IsDragging());
    EXPECT_EQ(s.backend.FindByClass("KivDragger"), nullptr);
    EXPECT_EQ(s.log, (Log{"end 25,20"}));
}

TEST(XDragger, TargetsHearOverEnterLeaveAndDropInOrder)
{
    Scene s;
    s.source->StartDrag(s.source, 5, 5);
    // Over a: its window point (205, 15) is (195, 5) in the source.
    s.source->MoveDrag(195, 5);
    EXPECT_EQ(s.log, (Log{"a over", "a enter"}));
    EXPECT_EQ(s.source->GetDragTarget(), s.a);
    // Moving inside the current target asks nobody again.
    s.source->MoveDrag(200, 20);
    s.source->MoveDrag(239, 49);
    EXPECT_EQ(s.log.size(), 2u);
    // b refuses; its child accepts.
    s.source->MoveDrag(205, 105);
    EXPECT_EQ(s.log, (Log{"a over", "a enter", "b over", "inner over", "a leave", "inner enter"}));
    s.log.clear();
    s.source->EndDrag(205, 105);
    EXPECT_EQ(s.log, (Log{"inner leave", "inner drop", "end 205,105"}));
    EXPECT_EQ(s.source->GetDragTarget(), nullptr);
}

TEST(XDragger, DragOverNoTakerDropsNothing)
{
    Scene s;
    s.source->StartDrag(s.source, 5, 5);
    s.source->MoveDrag(195, 5);  // a
    s.source->MoveDrag(300, 250);  // nothing there
    EXPECT_EQ(s.log, (Log{"a over", "a enter", "a leave"}));
    s.log.clear();
    s.source->MoveDrag(240, 110);  // b refuses, inner not under the point
    EXPECT_EQ(s.log, (Log{"b over"}));
    s.log.clear();
    s.source->EndDrag(240, 110);
    EXPECT_EQ(s.log, (Log{"end 240,110"}));
}

TEST(XDragger, OwnerWithoutDragKindNeverDrags)
{
    Scene s;
    s.source->SetDragKind(0);
    s.source->StartDrag(s.source, 5, 5);
    EXPECT_FALSE(s.source->IsDragging());
    s.source->MoveDrag(195, 5);
    s.source->EndDrag(195, 5);
    EXPECT_TRUE(s.log.empty());
    EXPECT_EQ(s.backend.CountWindows(), 0);
}

TEST(XDragger, DraggerDestroyedDuringADragTakesItsWindowAlong)
{
    HeadlessBackend backend;
    XBackend::Install(&backend);
    {
        XControl root;
        root.SetBounds(0, 0, 200, 200);
        Log log;
        Source* source = new Source(&root, &log);
        source->StartDrag(source, 1, 1);
        EXPECT_EQ(backend.CountWindows(), 1);
    }
    EXPECT_EQ(backend.CountWindows(), 0);
}
