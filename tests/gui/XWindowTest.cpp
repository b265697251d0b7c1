// Native windows on the headless back end: creation, painting, the tick,
// input translation, minimising, closing and the plug-in editor's child
// window.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "gui/GuiTestLeaks.h"
#include "kiv/gui/HMeter.h"
#include "kiv/gui/HeadlessBackend.h"
#include "kiv/gui/XButton.h"
#include "kiv/gui/XListener.h"
#include "kiv/gui/XMenu.h"
#include "kiv/gui/XView.h"
#include "kiv/gui/XWindow.h"

namespace {

using Log = std::vector<std::string>;

class TestView : public XView, public XListener {
public:
    explicit TestView(Log* log) : m_log(log)
    {
        SetSize(200, 100);
        SetColour(0, XColour::Make(10, 20, 30));
        SetListener(this);
    }
    void OnEvent(XEvent& e) override { m_log->push_back("event " + std::to_string(e.kind)); }
    bool OnKey(XKeyEvent& key) override
    {
        m_log->push_back("key " + std::to_string(key.character) + "/" + std::to_string(key.code));
        return true;
    }
    void OnClosing() override { m_log->push_back("closing"); }
    int Notify(XControl*, int code, int value) override
    {
        m_log->push_back("notify " + std::to_string(code == static_cast<int>(fourcc("wcls"))) + " " +
                         std::to_string(value));
        return 0;
    }

private:
    Log* m_log;
};

class Clicker : public XControl {
public:
    Clicker(XControl* parent, Log* log) : XControl(parent, 10, 10, 50, 50), m_log(log)
    {
        SetColour(0, XColour::Make(200, 0, 0));
    }
    bool OnMouseDown(XMouse& m) override
    {
        m_log->push_back("down " + std::to_string(m.LocalX()));
        return true;
    }
    void OnMouseUp(XMouse& m) override { m_log->push_back("up " + std::to_string(m.currentX)); }
    bool OnDoubleClick(int, int) override
    {
        m_log->push_back("double");
        return true;
    }
    bool OnWheel(int, int, int, int dy) override
    {
        m_log->push_back("wheel " + std::to_string(dy));
        return true;
    }

private:
    Log* m_log;
};

// Opens a menu at a press, as the part unit's name box does.
class MenuOpener : public XControl {
public:
    MenuOpener(XControl* parent, Log* log) : XControl(parent, 130, 10, 50, 50), m_log(log) {}
    bool OnMouseDown(XMouse&) override
    {
        auto menu = std::make_unique<XMenu>();
        menu->AddItem("Item", 1);
        if (PopupMenu(std::move(menu), 0, GetHeight(), nullptr))
            m_log->push_back("menu");
        return false;
    }
    bool OnDoubleClick(int, int) override
    {
        m_log->push_back("double on the opener");
        return true;
    }

private:
    Log* m_log;
};

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override { XBackend::Install(&backend); }
    void TearDown() override { XBackend::Install(nullptr); }
    HeadlessWindow* Frame() { return backend.FindByClass("KivWindow"); }
    HeadlessWindow* Client() { return backend.FindByClass("KivControl"); }

    HeadlessBackend backend;
    Log log;
};

}  // namespace

TEST_F(WindowTest, OpenedWindowHasFrameAndClientAndShowsTheView)
{
    TestView view(&log);
    view.SetText("Title");
    ASSERT_TRUE(view.OpenWindow());
    ASSERT_NE(Frame(), nullptr);
    ASSERT_NE(Client(), nullptr);
    EXPECT_EQ(Client()->GetParentHandle(), Frame()->GetHandle());
    EXPECT_EQ(view.GetWindowHandle(), Frame()->GetHandle());
    EXPECT_EQ(Frame()->m_title, "Title");
    EXPECT_EQ(Frame()->GetX(), 100);
    EXPECT_EQ(Client()->GetWidth(), 200);
    EXPECT_TRUE(view.IsVisible());
    EXPECT_TRUE(Frame()->IsMapped());
    // Without size limits the window keeps its size.
    EXPECT_FALSE(Frame()->IsResizable());
    EXPECT_EQ(Frame()->GetMinW(), 200);
    EXPECT_EQ(Frame()->GetMaxW(), 200);

    // The first paint draws the whole tree and starts the timer.
    EXPECT_FALSE(backend.HasTimer(view.GetWindow()));
    backend.Pump(0);
    EXPECT_TRUE(backend.HasTimer(view.GetWindow()));
    EXPECT_EQ(Client()->Pixel(199, 99), XColour::Make(10, 20, 30));
}

TEST_F(WindowTest, WindowWithLimitsIsResizableWithinThem)
{
    TestView view(&log);
    view.SetSizeLimits(150, 400, 80, 300);
    ASSERT_TRUE(view.OpenWindow());
    EXPECT_TRUE(Frame()->IsResizable());
    EXPECT_EQ(Frame()->GetMinW(), 150);
    EXPECT_EQ(Frame()->GetMaxH(), 300);

    backend.UserResize(Frame(), 300, 200);
    EXPECT_EQ(view.GetWidth(), 300);
    EXPECT_EQ(Client()->GetHeight(), 200);
}

TEST_F(WindowTest, CentredWindowSitsInTheMiddleOfTheScreen)
{
    TestView view(&log);
    view.SetCentred(true);
    ASSERT_TRUE(view.OpenWindow());
    EXPECT_EQ(Frame()->GetX(), 1920 / 2 - 100);
    EXPECT_EQ(Frame()->GetY(), 1080 / 2 - 50);
}

TEST_F(WindowTest, TickDrainsEventsAndRepaintsMarkedControls)
{
    TestView view(&log);
    auto* clicker = new Clicker(&view, &log);
    auto* meter = new XMeterStereo(&view, 150, 10, 12, 80);
    ASSERT_TRUE(view.OpenWindow());
    backend.Pump(0);
    EXPECT_EQ(Client()->Pixel(20, 20), XColour::Make(200, 0, 0));

    view.Post(XEvent{5, 0, 0});
    clicker->SetColour(0, XColour::Make(0, 200, 0));
    clicker->Invalidate();
    int64_t presented = Client()->GetPresentedPixels();
    backend.Advance(49);
    EXPECT_TRUE(log.empty());
    backend.Advance(1);
    EXPECT_EQ(log, (Log{"event 5"}));
    EXPECT_EQ(Client()->Pixel(20, 20), XColour::Make(0, 200, 0));
    EXPECT_EQ(view.GetWindow()->GetTickCount(), 1);
    // The tick sends the changed control's pixels only; a window that lost
    // its picture gets all of it.
    EXPECT_EQ(Client()->GetPresentedPixels() - presented, 50 * 50);
    presented = Client()->GetPresentedPixels();
    backend.Advance(50);
    EXPECT_EQ(Client()->GetPresentedPixels(), presented) << "an idle tick sends nothing";
    Client()->m_needsPaint = true;
    backend.Pump(0);
    EXPECT_EQ(Client()->GetPresentedPixels() - presented, 200 * 100);

    // A meter's step sends the segments it changed, and the window shows
    // what the surface holds.
    presented = Client()->GetPresentedPixels();
    meter->SetLevels(0.5f, 0.25f);
    backend.Advance(50);
    int64_t sent = Client()->GetPresentedPixels() - presented;
    EXPECT_GT(sent, 0);
    EXPECT_LT(sent, 12 * 80 / 2);
    const XGraphic& surface = view.GetWindow()->GetGraphic();
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 200; ++x)
            ASSERT_EQ(Client()->Pixel(x, y), surface.GetPixel(x, y)) << x << "," << y;
}

// Two left presses closer than 400 ms on the same control are a double
// click, also when the first opened a menu that took the second.
TEST_F(WindowTest, TwoPressesCloserThan400MsOnOneControlAreADoubleClick)
{
    TestView view(&log);
    new Clicker(&view, &log);                // 10..60
    auto* other = new Clicker(&view, &log);  // 70..120
    other->SetPosition(70, 10);
    auto* opener = new MenuOpener(&view, &log);  // 130..180
    ASSERT_TRUE(view.OpenWindow());
    backend.Pump(0);
    struct Case {
        int firstX, secondX, gapMs;
        Log log;
    };
    const Case cases[] = {
        {20, 20, 399, {"down 10", "up 20", "double"}},
        {20, 20, 400, {"down 10", "up 20", "down 10"}},
        {20, 80, 100, {"down 10", "up 20", "down 10"}},  // another control
        {140, 140, 399, {"menu", "double on the opener"}},
        {140, 140, 400, {"menu"}},  // it only closes the menu
        {140, 20, 100, {"menu"}},
    };
    for (const Case& c : cases) {
        backend.Advance(1000);
        log.clear();
        backend.MouseDown(Client(), c.firstX, 20, 0);
        backend.MouseUp(Client(), c.firstX, 20, 0);
        backend.Advance(c.gapMs);
        backend.MouseDown(Client(), c.secondX, 20, 0);
        backend.Advance(50);  // the tick hands the menu's press on
        EXPECT_EQ(log, c.log) << c.firstX << " then " << c.secondX << " after " << c.gapMs << " ms";
        EXPECT_EQ(backend.FindByClass("KivMenu"), nullptr);
        (void)opener;
    }
}

TEST_F(WindowTest, ReleaseLeftOfTheWindowDuringCaptureReportsNegativeX)
{
    TestView view(&log);
    new Clicker(&view, &log);
    ASSERT_TRUE(view.OpenWindow());
    backend.MouseDown(Client(), 20, 20, 0);
    EXPECT_TRUE(Client()->HasCapture());
    backend.MouseUp(Client(), -15, 20, 0);
    EXPECT_EQ(log.back(), "up -15");
    EXPECT_FALSE(Client()->HasCapture());
}

// The pointer leaving the window straight from a control ends its hover
// (a button no longer shows hovered); coming back to the same point finds
// it again, and the tick holds no hover on a control the pointer left.
TEST_F(WindowTest, PointerLeavingTheWindowEndsTheHover)
{
    TestView view(&log);
    auto* button = new XButton(&view, 10, 10, 50, 20);
    view.StartMouseTracking();
    ASSERT_TRUE(view.OpenWindow());
    for (int round = 0; round < 2; ++round) {
        backend.MouseMove(Client(), 20, 20);
        EXPECT_TRUE(button->IsHovered()) << round;
        EXPECT_EQ(view.GetHoverControl(), button);
        backend.MouseLeave(Client());
        EXPECT_FALSE(button->IsHovered()) << round;
        EXPECT_EQ(view.GetHoverControl(), nullptr);
        backend.Advance(2000);  // past the hover-hold ticks
    }
}

TEST_F(WindowTest, WheelNotchScrollsByTwentyPixels)
{
    TestView view(&log);
    new Clicker(&view, &log);
    ASSERT_TRUE(view.OpenWindow());
    backend.Wheel(Client(), 20, 20, 120);
    backend.Wheel(Client(), 20, 20, -120);
    backend.Wheel(Client(), 20, 20, 5);  // less than a sixth: no movement
    EXPECT_EQ(log, (Log{"wheel 20", "wheel -20", "wheel 0"}));
}

TEST_F(WindowTest, KeysBecomeToolkitCodesAndControlShortcuts)
{
    TestView view(&log);
    ASSERT_TRUE(view.OpenWindow());
    backend.KeyDown(Client(), xconst::kKeyUp);
    backend.Char(Client(), 'a');
    backend.Char(Client(), 24, true);  // Control and X typed: nothing
    backend.Char(Client(), 3, true);   // Control and C
    backend.Char(Client(), 22, true);  // Control and V
    EXPECT_EQ(log, (Log{"key 0/1", "key 97/0", "key 0/10", "key 0/11"}));
    log.clear();
    view.GetWindow()->KeyDown('x', xconst::kModControl, 0);
    view.GetWindow()->KeyDown('x', 0, 0);
    EXPECT_EQ(log, (Log{"key 0/12", "key 120/0"}));
}

TEST_F(WindowTest, MinimisedWindowDoesNotTickUntilRestored)
{
    TestView view(&log);
    ASSERT_TRUE(view.OpenWindow());
    backend.Pump(0);
    backend.Minimise(Frame());
    view.Post(XEvent{9, 0, 0});
    backend.Advance(500);
    EXPECT_TRUE(log.empty());
    backend.Restore(Frame());
    backend.Advance(50);
    EXPECT_EQ(log, (Log{"event 9"}));
}

TEST_F(WindowTest, ClosingTheWindowStopsTheTimerAndTellsTheListener)
{
    TestView view(&log);
    ASSERT_TRUE(view.OpenWindow());
    backend.Pump(0);
    XWindow* window = view.GetWindow();
    backend.RequestClose(Frame());
    EXPECT_EQ(log, (Log{"closing", "notify 1 0"}));
    EXPECT_EQ(backend.CountWindows(), 0);
    EXPECT_FALSE(backend.HasTimer(window));
    EXPECT_FALSE(view.IsVisible());

    // It opens again.
    log.clear();
    ASSERT_TRUE(view.OpenWindow());
    EXPECT_EQ(backend.CountWindows(), 2);
}

TEST_F(WindowTest, CloseRequestAndResizeRequestAreCarriedOutByTheTick)
{
    TestView view(&log);
    ASSERT_TRUE(view.OpenWindow());
    backend.Pump(0);
    view.RequestSize(260, 120);
    backend.Advance(50);
    EXPECT_EQ(Frame()->GetWidth(), 260);
    EXPECT_EQ(Client()->GetHeight(), 120);
    EXPECT_EQ(view.GetWidth(), 260);
    EXPECT_TRUE(view.GetWindow()->IsRunning());

    view.RequestRaise();
    backend.Advance(50);
    EXPECT_GE(Frame()->GetRaises(), 2);

    view.Close(1);
    backend.Advance(50);
    EXPECT_EQ(backend.CountWindows(), 0);
    EXPECT_EQ(log.back(), "notify 1 0");
}

TEST_F(WindowTest, EditorWindowLivesInsideAHostWindow)
{
    // A host's window, and the editor's binding inside it.
    XWindowDesc desc;
    desc.className = "HostWindow";
    desc.w = 400;
    desc.h = 300;
    auto host = backend.CreateTopLevel(desc);
    TestView view(&log);
    XWinGui editor;
    editor.SetFrameWindow(host->GetHandle());
    editor.SetView(&view);
    EXPECT_EQ(view.GetWindowHandle(), host->GetHandle());
    XNativeWindow* client = editor.CreateClientWindow(host->GetHandle(), "KivControlVst", 200, 100);
    ASSERT_NE(client, nullptr);
    EXPECT_EQ(backend.Find(client->GetHandle())->GetParentHandle(), host->GetHandle());
    view.SetVisible(true);
    backend.Pump(0);
    EXPECT_TRUE(editor.IsTimerRunning());
    EXPECT_EQ(backend.Find(client->GetHandle())->Pixel(5, 5), XColour::Make(10, 20, 30));

    editor.StopTimer();
    EXPECT_FALSE(backend.HasTimer(&editor));
    editor.DestroyClientWindow();
    EXPECT_EQ(backend.CountWindows(), 1);

    // A parent that does not exist gives no window.
    EXPECT_EQ(editor.CreateClientWindow(0xDEAD, "KivControlVst", 10, 10), nullptr);

    // The binding's tool tip owns its window and text; they go with it.
    {
        XWinGui other;
        XToolTip& tip = other.GetToolTip();
        tip.SetWindow(backend.CreateChild(host->GetHandle(), "KivToolTip", 0, 0, 60, 16));
        tip.SetFont(9, 0);
        tip.SetText("Volume");
        EXPECT_EQ(backend.CountWindows(), 2);
    }
    EXPECT_EQ(backend.CountWindows(), 1);
}
