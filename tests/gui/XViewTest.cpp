// ctest-label: thread
// Root views: the event queue, modal children, mouse and key routing,
// hover, ticks and painting.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "gui/GuiTestLeaks.h"
#include "kiv/gui/XGraphic.h"
#include "kiv/gui/XView.h"

namespace {

using Log = std::vector<std::string>;

class ProbeView : public XView {
public:
    explicit ProbeView(Log* log, const char* name = "view") : m_log(log), m_name(name) {}
    ~ProbeView() override { Record("deleted"); }
    void OnEvent(XEvent& e) override { events.push_back(e); }
    void OnModalClosed(XView* child, int result) override
    {
        Record("modalClosed " + std::to_string(result) + " tag " +
               std::to_string(static_cast<XView*>(child)->GetModalTag() == fourcc("NPrf")));
    }
    void OnShow() override { Record("show"); }
    void Record(const std::string& what)
    {
        if (m_log)
            m_log->push_back(m_name + " " + what);
    }
    std::vector<XEvent> events;

private:
    Log* m_log;
    std::string m_name;
};

class ProbeControl : public XControl {
public:
    ProbeControl(XControl* parent, int x, int y, int w, int h, Log* log, const char* name, bool captures = true,
                 bool wantsMoves = false)
        : XControl(parent, x, y, w, h), m_log(log), m_name(name), m_captures(captures), m_wantsMoves(wantsMoves)
    {
    }
    bool OnMouseDown(XMouse& m) override
    {
        Record("down " + std::to_string(m.LocalX()) + "," + std::to_string(m.LocalY()));
        return m_captures;
    }
    void OnMouseDrag(XMouse& m) override { Record("drag " + std::to_string(m.DragX())); }
    void OnMouseUp(XMouse& m) override { Record("up " + std::to_string(m.currentX)); }
    void OnCaptureLost() override { Record("captureLost"); }
    bool OnDoubleClick(int x, int y) override
    {
        Record("double " + std::to_string(x) + "," + std::to_string(y));
        return true;
    }
    bool OnWheel(int, int, int, int dy) override
    {
        Record("wheel " + std::to_string(dy));
        return true;
    }
    bool OnMouseEnter() override
    {
        Record("enter");
        return m_wantsMoves;
    }
    void OnMouseHover(int x, int y) override { Record("hover " + std::to_string(x) + "," + std::to_string(y)); }
    void OnMouseLeave() override { Record("leave"); }
    bool OnKey(XKeyEvent& key) override
    {
        Record("key " + std::to_string(key.code));
        return keyHandled;
    }
    void OnTick() override { Record("tick"); }
    void OnHoverHold(int, int) override { Record("hold"); }
    void Record(const std::string& what) { m_log->push_back(m_name + " " + what); }
    bool keyHandled = false;

private:
    Log* m_log;
    std::string m_name;
    bool m_captures;
    bool m_wantsMoves;
};

class RecordingLabel : public HLabel {
public:
    void OnTextChanged() override { ++changes; }
    int changes = 0;
};

}  // namespace

TEST(XView, NewViewIsHiddenAndNotPaintedByItsParent)
{
    Log log;
    XControl parent;
    parent.SetBounds(0, 0, 100, 100);
    auto* view = new ProbeView(&log);
    parent.AddChild(view, 0, 0, 50, 50);
    EXPECT_FALSE(view->IsVisible());
    EXPECT_EQ(view->GetFlags() & 0xF, 0xFu);
    XGraphic g;
    g.BeginPaint(nullptr, 100, 100);
    g.FillRectangleColour(XRectangle(0, 0, 100, 100), XColour::Make(255, 255, 255));
    parent.SetColour(0, 0);
    parent.Paint(g, true, XRectangle(0, 0, 100, 100));
    EXPECT_EQ(g.GetPixel(10, 10), XColour::Make(255, 255, 255));
}

TEST(XView, EventsPostedBetweenTicksArriveInOrderAtTheNextTick)
{
    ProbeView view(nullptr);
    EXPECT_TRUE(view.Post(XEvent{5, 1, 2}));
    EXPECT_TRUE(view.Post(XEvent{static_cast<int32_t>(fourcc("OvTL")), 1, 0}));
    EXPECT_TRUE(view.Post(XEvent{7, 3, 4}));
    EXPECT_TRUE(view.events.empty());
    view.Tick(1);
    ASSERT_EQ(view.events.size(), 3u);
    EXPECT_EQ(view.events[0].kind, 5);
    EXPECT_EQ(view.events[1].kind, static_cast<int32_t>(fourcc("OvTL")));
    EXPECT_EQ(view.events[2].b, 4);
    EXPECT_TRUE(view.IsEmpty());
}

TEST(XView, FullQueueRefusesNewEventsAndKeepsTheWaitingOnes)
{
    ProbeView view(nullptr);
    for (int i = 0; i < xconst::kEventQueueCapacity; ++i)
        ASSERT_TRUE(view.Post(XEvent{i, 0, 0}));
    EXPECT_FALSE(view.Post(XEvent{999, 0, 0}));
    view.Tick(1);
    ASSERT_EQ(view.events.size(), static_cast<size_t>(xconst::kEventQueueCapacity));
    for (int i = 0; i < xconst::kEventQueueCapacity; ++i)
        EXPECT_EQ(view.events[i].kind, i);
    EXPECT_TRUE(view.Post(XEvent{1000, 0, 0}));
}

TEST(XView, PostsFromManyThreadsWhileTheTickDrainsAreNeitherLostNorTorn)
{
    ProbeView view(nullptr);
    constexpr int kThreads = 4;
    constexpr int kPerThread = 2000;
    std::atomic<int> refused{0};
    std::atomic<int> running{kThreads};
    std::vector<std::thread> posters;
    for (int t = 0; t < kThreads; ++t) {
        posters.emplace_back([&, t] {
            for (int i = 0; i < kPerThread; ++i) {
                while (!view.Post(XEvent{t, i, t * 1000000 + i}))
                    refused.fetch_add(1, std::memory_order_relaxed);
            }
            running.fetch_sub(1, std::memory_order_release);
        });
    }
    int tick = 0;
    while (running.load(std::memory_order_acquire) > 0 || !view.IsEmpty())
        view.Tick(++tick);
    for (auto& p : posters)
        p.join();
    view.Tick(++tick);
    ASSERT_EQ(view.events.size(), static_cast<size_t>(kThreads * kPerThread));
    std::vector<int> next(kThreads, 0);
    for (const XEvent& e : view.events) {
        ASSERT_GE(e.kind, 0);
        ASSERT_LT(e.kind, kThreads);
        EXPECT_EQ(e.a, next[e.kind]);  // each poster's events stay in its order
        EXPECT_EQ(e.b, e.kind * 1000000 + e.a);
        next[e.kind] = e.a + 1;
    }
}

TEST(XView, ClosedModalChildIsReportedThenDeletedAtTheNextTick)
{
    Log log;
    ProbeView view(&log, "parent");
    view.SetSize(400, 300);
    auto* child = new ProbeView(&log, "child");
    child->SetSize(100, 50);
    view.OpenModal(child, fourcc("NPrf"));
    EXPECT_EQ(view.GetModalChild(), child);
    EXPECT_EQ(child->GetX(), 150);
    EXPECT_EQ(child->GetY(), 125);
    EXPECT_EQ(log, (Log{"child show"}));

    child->Close(1);
    EXPECT_EQ(view.GetModalChild(), child);  // only recorded
    EXPECT_TRUE(view.Tick(1));
    EXPECT_EQ(log, (Log{"child show", "parent modalClosed 1 tag 1", "child deleted"}));
    EXPECT_EQ(view.GetModalChild(), nullptr);
}

TEST(XView, SecondModalChildWaitsUntilTheFirstIsRemoved)
{
    Log log;
    ProbeView view(&log, "parent");
    view.SetSize(400, 300);
    auto* first = new ProbeView(&log, "first");
    auto* second = new ProbeView(&log, "second");
    first->SetSize(100, 100);
    second->SetSize(100, 100);
    second->SetResizeMode(false, false, false, true);  // placed at the bottom
    view.OpenModal(first, 0);
    view.OpenModal(second, 0);
    EXPECT_EQ(view.GetModalChild(), first);
    EXPECT_EQ(view.GetWaitingModalChild(), second);
    EXPECT_TRUE(first->IsCloseRequested());
    EXPECT_EQ(first->GetCloseResult(), 0);

    view.Tick(1);
    EXPECT_EQ(view.GetModalChild(), second);
    EXPECT_EQ(second->GetY(), 200);
    EXPECT_EQ(log, (Log{"first show", "second show", "parent modalClosed 0 tag 0", "first deleted"}));
}

TEST(XView, ReturnAndEscapeCloseADialogOrClickItsButtons)
{
    Log log;
    ProbeView dialog(&log);
    dialog.SetSize(200, 100);
    dialog.SetDialog(true);
    XKeyEvent ret;
    ret.code = xconst::kKeyReturn;
    XKeyEvent esc;
    esc.code = xconst::kKeyEscape;
    EXPECT_TRUE(dialog.HandleKey(ret));
    EXPECT_TRUE(dialog.TakeCloseRequest());
    EXPECT_EQ(dialog.GetCloseResult(), 1);
    EXPECT_TRUE(dialog.HandleKey(esc));
    EXPECT_TRUE(dialog.TakeCloseRequest());
    EXPECT_EQ(dialog.GetCloseResult(), 0);

    auto* ok = new ProbeControl(&dialog, 10, 10, 50, 20, &log, "ok");
    auto* cancel = new ProbeControl(&dialog, 70, 10, 50, 20, &log, "cancel");
    dialog.SetDefaultButton(ok);
    dialog.SetCancelButton(cancel);
    dialog.HandleKey(ret);
    dialog.HandleKey(esc);
    EXPECT_FALSE(dialog.TakeCloseRequest());
    EXPECT_EQ(log, (Log{"ok down 0,0", "ok up 0", "cancel down 0,0", "cancel up 0"}));

    // Keys reach the last modal child.
    auto* modal = new ProbeView(&log, "modal");
    modal->SetSize(50, 50);
    modal->SetDialog(true);
    dialog.OpenModal(modal, 0);
    dialog.HandleKey(ret);
    EXPECT_TRUE(modal->IsCloseRequested());
}

TEST(XView, MouseDownCapturesTheFirstControlThatWantsItAndMovesCaptureAway)
{
    Log log;
    ProbeView view(&log);
    view.SetSize(200, 200);
    auto* box = new ProbeControl(&view, 10, 10, 100, 100, &log, "box", false);
    auto* button = new ProbeControl(box, 20, 20, 30, 30, &log, "button");
    (void)button;
    EXPECT_TRUE(view.HandleMouseDown(35, 35, 0, false, false));
    EXPECT_EQ(log, (Log{"box down 25,25", "button down 5,5"}));
    view.HandleMouseMove(45, 35, false, false);
    view.HandleMouseUp(50, 35, 0);
    EXPECT_EQ(log.back(), "button up 50");
    EXPECT_EQ(view.GetCapturedControl(), button);  // kept for key routing
    EXPECT_FALSE(view.HasCapture());

    log.clear();
    EXPECT_FALSE(view.HandleMouseDown(150, 150, 0, false, false));
    EXPECT_EQ(log, (Log{"button captureLost"}));
    EXPECT_EQ(view.GetCapturedControl(), nullptr);
}

TEST(XView, CapturedControlDeletedByThePaintWalkIsForgotten)
{
    Log log;
    ProbeView view(&log);
    view.SetSize(200, 200);
    auto* button = new ProbeControl(&view, 0, 0, 30, 30, &log, "button");
    view.SetVisible(true);
    view.StartMouseTracking();
    view.HandleHover(6, 6);
    view.HandleMouseDown(5, 5, 0, false, false);
    ASSERT_EQ(view.GetHoverControl(), button);
    ASSERT_EQ(view.GetCapturedControl(), button);
    view.SetDefaultButton(button);
    button->DeleteLater();
    XGraphic g;
    g.BeginPaint(nullptr, 200, 200);
    view.PaintTree(g, true);
    EXPECT_EQ(view.GetCapturedControl(), nullptr);
    EXPECT_EQ(view.GetHoverControl(), nullptr);
    XKeyEvent key;
    key.code = xconst::kKeyReturn;
    EXPECT_TRUE(view.HandleKey(key));  // no default button any more
    view.HandleMouseUp(5, 5, 0);
    view.Tick(50);
}

TEST(XView, HoverCallsNeedTrackingAndMovesNeedAWillingControl)
{
    Log log;
    ProbeView view(&log);
    view.SetSize(200, 200);
    view.SetVisible(true);  // as its window shows it
    new ProbeControl(&view, 0, 0, 50, 50, &log, "shy");
    new ProbeControl(&view, 100, 0, 50, 50, &log, "keen", true, true);
    view.HandleHover(10, 10);
    EXPECT_TRUE(log.empty());  // tracking off

    view.StartMouseTracking();
    view.HandleHover(10, 10);
    view.HandleHover(12, 10);
    view.HandleHover(110, 20);
    view.HandleHover(111, 20);
    view.HandleHover(111, 20);  // same point: nothing
    EXPECT_EQ(log, (Log{"shy enter", "shy leave", "keen enter", "keen hover 10,20", "keen hover 11,20"}));

    // After 30 ticks the hover control is told the pointer rests on it.
    log.clear();
    view.Tick(30);
    EXPECT_TRUE(log.empty());
    view.Tick(31);
    EXPECT_EQ(log, (Log{"keen hold"}));
}

TEST(XView, DoubleClickAndWheelGoDownToTheFirstTaker)
{
    Log log;
    ProbeView view(&log);
    view.SetSize(200, 200);
    auto* list = new ProbeControl(&view, 10, 10, 100, 100, &log, "list");
    (void)list;
    EXPECT_TRUE(view.HandleDoubleClick(15, 20));
    EXPECT_EQ(view.GetCapturedControl(), list);
    view.HandleWheel(15, 20, 0, 20);
    EXPECT_EQ(log, (Log{"list double 5,10", "list wheel 20"}));
    EXPECT_FALSE(view.HandleDoubleClick(150, 150));
}

TEST(XView, InputIsRedirectedIntoTheModalChildAndIgnoredAboveIt)
{
    Log log;
    ProbeView view(&log, "parent");
    view.SetSize(400, 300);
    new ProbeControl(&view, 0, 0, 400, 300, &log, "behind");
    auto* child = new ProbeView(&log, "child");
    child->SetSize(100, 100);
    new ProbeControl(child, 0, 0, 100, 100, &log, "inside");
    view.OpenModal(child, 0);  // at (150, 100)
    log.clear();
    EXPECT_FALSE(view.HandleMouseDown(160, 50, 0, false, false));
    EXPECT_TRUE(log.empty());
    EXPECT_TRUE(view.HandleMouseDown(160, 110, 0, false, false));
    EXPECT_EQ(log, (Log{"inside down 10,10"}));
}

TEST(XView, TickRunsTheCapturedControlAndReportsRepaint)
{
    Log log;
    ProbeView view(&log);
    view.SetSize(100, 100);
    new ProbeControl(&view, 0, 0, 10, 10, &log, "c");
    XGraphic g;
    g.BeginPaint(nullptr, 100, 100);
    view.PaintTree(g, true);
    EXPECT_FALSE(view.Tick(1));
    view.HandleMouseDown(1, 1, 0, false, false);
    log.clear();
    view.Tick(2);
    EXPECT_EQ(log, (Log{"c tick"}));
    view.GetChild(0)->Invalidate();
    EXPECT_TRUE(view.Tick(3));
}

TEST(XView, RequestedSizeWaitsForTheTickOnceTheViewHasASize)
{
    XView view;
    view.RequestSize(300, 200);
    EXPECT_EQ(view.GetWidth(), 300);
    EXPECT_FALSE(view.HasRequestedSize());
    view.RequestSize(350, 180);
    EXPECT_EQ(view.GetWidth(), 300);
    int dw, dh;
    view.TakeRequestedSize(dw, dh);
    EXPECT_EQ(dw, 50);
    EXPECT_EQ(dh, -20);
    EXPECT_EQ(view.GetHeight(), 180);

    int minW, maxW, minH, maxH;
    view.GetSizeLimits(minW, maxW, minH, maxH);
    EXPECT_EQ(minW, 350);
    EXPECT_EQ(maxH, 180);
    EXPECT_FALSE(view.HasSizeLimits());
    view.SetSizeLimits(200, 800, 0, 600);
    view.GetSizeLimits(minW, maxW, minH, maxH);
    EXPECT_EQ(maxW, 800);
    EXPECT_EQ(minH, 180);  // a pair with a zero member does not count
    EXPECT_TRUE(view.HasSizeLimits());
}

TEST(XView, WindowResizeStretchesTheViewAndPlacesTheModalChildAgain)
{
    XView view;
    view.SetSize(400, 300);
    auto* panel = new XControl(&view, 0, 0, 400, 300);
    panel->SetResizeMode(true, true, true, true);
    auto* child = new XView;
    child->SetSize(100, 100);
    view.OpenModal(child, 0);
    view.OnWindowResized(500, 400);
    EXPECT_EQ(view.GetWidth(), 500);
    EXPECT_EQ(panel->GetHeight(), 400);
    EXPECT_EQ(child->GetX(), 200);
    EXPECT_EQ(child->GetY(), 150);
}

TEST(XView, PopupViewDrawsFrameAndTitleBand)
{
    XViewPop pop;
    pop.SetSize(120, 80);
    pop.SetText("Title");
    XGraphic g;
    g.BeginPaint(nullptr, 120, 80);
    g.FillRectangleColour(XRectangle(0, 0, 120, 80), XColour::Make(255, 255, 255));
    pop.PaintTree(g, true);
    XColourValue face = XColour::Make(189, 190, 196);
    EXPECT_EQ(g.GetPixel(0, 0), XColour::Make(255, 255, 255));  // cut corner
    EXPECT_EQ(g.GetPixel(1, 0), XColour::Make(0, 0, 0));
    EXPECT_EQ(g.GetPixel(60, 60), face);
    EXPECT_EQ(g.GetPixel(100, 10), XColour::Scale(face, 0.2f));
    EXPECT_EQ(g.GetPixel(60, 20), XColour::Scale(face, 0.1f));
    EXPECT_EQ(g.GetPixel(60, 21), XColour::Scale(face, 1.3f));
}

TEST(HLabel, ClearingAnEmptyLabelChangesNothing)
{
    RecordingLabel label;
    label.SetText(nullptr);
    EXPECT_EQ(label.changes, 0);
    EXPECT_EQ(label.GetText(), nullptr);
    label.SetText("x");
    EXPECT_STREQ(label.GetText(), "x");
    label.SetText(nullptr);
    EXPECT_EQ(label.changes, 2);
    EXPECT_EQ(label.GetText(), nullptr);
}
