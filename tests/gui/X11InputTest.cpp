// Real input on a real X server: a private Xvfb, the X11 back end, and
// pointer and key events made by the server itself (XTEST) at screen
// positions. Keys and Control+V into an edit box, the clipboard reader
// against another client that owns the clipboard, popup menus with their
// grab (a menu taller than the screen, choosing by key and by pointer,
// a click outside), the drag window, and repaints through shared memory.
// Screenshots go to <build>/screenshots.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "gui/GuiTestLeaks.h"
#include "kiv/gui/X11Backend.h"
#include "kiv/gui/XDragger.h"
#include "kiv/gui/XEdit.h"
#include "kiv/gui/XGraphic.h"
#include "kiv/gui/XMenu.h"
#include "kiv/gui/XView.h"
#include "kiv/gui/XWindow.h"
#include "support/TestSupport.h"
#include "support/X11ServerTest.h"
#include "support/xtest/XTestInput.h"

// Xlib's XPoint, XRectangle, XEvent and XKeyEvent are renamed so they do not
// meet the toolkit's types of those names.
#define XKeyEvent Xlib_XKeyEvent
#define XPoint Xlib_XPoint
#define XRectangle Xlib_XRectangle
#define XEvent Xlib_XEvent
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#undef XKeyEvent
#undef XPoint
#undef XRectangle
#undef XEvent

namespace {

constexpr int kScreenW = 1024;
constexpr int kScreenH = 760;

// Pointer and keys made by the server (XTEST), on a connection of its own.
// Also reads the screen and the server's windows for the checks.
class FakeInput : public kivtest::XTestInput {
public:
    FakeInput() : m_display(Dpy()) {}

    void ClickAt(int x, int y)
    {
        Move(x, y);
        Button(1, true);
        Button(1, false);
    }

    // The viewable top-level window of a WM_CLASS; false when there is none.
    bool FindWindow(const char* className, int& x, int& y, int& w, int& h)
    {
        for (const ShownWindow& s : ShownWindows()) {
            if (s.cls == className) {
                x = s.x;
                y = s.y;
                w = s.w;
                h = s.h;
                return true;
            }
        }
        return false;
    }
    bool HasWindow(const char* className)
    {
        int x, y, w, h;
        return FindWindow(className, x, y, w, h);
    }
    // Holds the pointer as another program may for a moment.
    bool HoldPointer()
    {
        bool held = XGrabPointer(m_display, DefaultRootWindow(m_display), False, ButtonPressMask, GrabModeAsync,
                                 GrabModeAsync, None, None, CurrentTime) == GrabSuccess;
        XSync(m_display, False);
        return held;
    }
    void ReleasePointer()
    {
        XUngrabPointer(m_display, CurrentTime);
        XSync(m_display, False);
    }
    // Whether another client holds the pointer grab (ours is then refused).
    bool PointerGrabbedElsewhere()
    {
        int result = XGrabPointer(m_display, DefaultRootWindow(m_display), False, ButtonPressMask, GrabModeAsync,
                                  GrabModeAsync, None, None, CurrentTime);
        if (result == GrabSuccess)
            XUngrabPointer(m_display, CurrentTime);
        XSync(m_display, False);
        return result == AlreadyGrabbed;
    }
    XColourValue ScreenPixel(int x, int y)
    {
        XImage* image = XGetImage(m_display, DefaultRootWindow(m_display), x, y, 1, 1, AllPlanes, ZPixmap);
        if (!image)
            return 0;
        unsigned long p = XGetPixel(image, 0, 0);
        XDestroyImage(image);
        return XColour::Make((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
    }
    // The whole screen as <build>/screenshots/<name>.png.
    void Screenshot(const std::string& name)
    {
        XImage* image = XGetImage(m_display, DefaultRootWindow(m_display), 0, 0, kScreenW, kScreenH, AllPlanes,
                                  ZPixmap);
        ASSERT_NE(image, nullptr);
        XGraphic g;
        g.BeginPaint(nullptr, kScreenW, kScreenH);
        for (int y = 0; y < kScreenH; ++y) {
            int x = 0;
            while (x < kScreenW) {
                unsigned long p = XGetPixel(image, x, y);
                int end = x + 1;
                while (end < kScreenW && XGetPixel(image, end, y) == p)
                    ++end;
                g.SetBrush(XColour::Make((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF));
                g.FillRect(x, y, end - x, 1);
                x = end;
            }
        }
        XDestroyImage(image);
        std::string png;
        ASSERT_TRUE(g.WritePng(png));
        const char* build = std::getenv("KIV_TEST_BINARY_DIR");
        std::string folder = std::string(build ? build : ".") + "/screenshots";
        mkdir(folder.c_str(), 0755);
        EXPECT_TRUE(kivtest::WriteFile(folder + "/" + name + ".png", png.data(), png.size()));
    }

private:
    Display* m_display;
};

// Another client that owns the clipboard and answers requests for its text
// from a thread of its own, in the forms it is told to give.
class ClipboardOwner {
public:
    ClipboardOwner(std::string text, bool utf8, bool answers) : m_text(std::move(text))
    {
        m_display = XOpenDisplay(nullptr);
        if (!m_display)
            return;
        m_window = XCreateSimpleWindow(m_display, DefaultRootWindow(m_display), 0, 0, 1, 1, 0, 0, 0);
        Atom clipboard = XInternAtom(m_display, "CLIPBOARD", False);
        XSetSelectionOwner(m_display, clipboard, m_window, CurrentTime);
        XSync(m_display, False);
        Atom utf8Atom = XInternAtom(m_display, "UTF8_STRING", False);
        m_thread = std::thread([this, utf8, answers, utf8Atom] {
            while (!m_stop.load()) {
                pollfd fd{ConnectionNumber(m_display), POLLIN, 0};
                if (XPending(m_display) == 0) {
                    poll(&fd, 1, 20);
                    continue;
                }
                Xlib_XEvent event;
                XNextEvent(m_display, &event);
                if (event.type != SelectionRequest || !answers)
                    continue;
                XSelectionRequestEvent& request = event.xselectionrequest;
                Xlib_XEvent reply{};
                reply.xselection.type = SelectionNotify;
                reply.xselection.requestor = request.requestor;
                reply.xselection.selection = request.selection;
                reply.xselection.target = request.target;
                reply.xselection.time = request.time;
                reply.xselection.property = None;
                if ((request.target == utf8Atom && utf8) || request.target == XA_STRING) {
                    XChangeProperty(m_display, request.requestor, request.property, request.target, 8,
                                    PropModeReplace, reinterpret_cast<const unsigned char*>(m_text.data()),
                                    static_cast<int>(m_text.size()));
                    reply.xselection.property = request.property;
                }
                XSendEvent(m_display, request.requestor, False, 0, &reply);
                XFlush(m_display);
            }
        });
    }
    ~ClipboardOwner()
    {
        m_stop.store(true);
        if (m_thread.joinable())
            m_thread.join();
        if (m_display)
            XCloseDisplay(m_display);
    }

private:
    std::string m_text;
    Display* m_display = nullptr;
    Window m_window = 0;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

class X11InputTest : public kivtest::X11ServerTest<kScreenW, kScreenH> {
protected:
    void SetUp() override
    {
        X11ServerTest::SetUp();
        if (IsSkipped())
            return;
        input = std::make_unique<FakeInput>();
        if (!input->Usable())
            GTEST_SKIP() << "the X server has no XTEST extension";
    }
    void TearDown() override { input.reset(); }
    // Opens the view's window at its position and waits for its first picture.
    void Open(XView& view)
    {
        ASSERT_TRUE(view.OpenWindow());
        ASSERT_TRUE(PumpUntil([&] { return view.GetWindow()->IsTimerRunning(); }));
        backend->Sync();
    }
    void CloseWindow(XView& view)
    {
        view.Close(0);
        PumpUntil([&] { return view.GetWindow()->GetFrame() == nullptr; });
    }

    std::unique_ptr<FakeInput> input;
};

struct KeyLog : XView {
    std::vector<int> codes;
    bool OnKey(XKeyEvent& key) override
    {
        codes.push_back(key.code ? key.code : 1000 + key.character);
        return true;
    }
};

}  // namespace

TEST_F(X11InputTest, KeysAndControlVReachTheEditBoxAndTheClipboardReaderHandlesItsOwners)
{
    KeyLog view;
    view.SetBounds(100, 100, 300, 80);
    view.SetColour(0, XColour::Make(200, 200, 200));
    auto* edit = new XEdit(&view, 10, 10, 200, 24);
    Open(view);
    {
        ClipboardOwner owner("!", true, true);
        input->ClickAt(100 + 50, 100 + 20);
        ASSERT_TRUE(PumpUntil([&] { return edit->IsEditing(); }));
        input->Key("o");
        input->Key("k");
        input->Key("v", "Control_L");
        EXPECT_TRUE(PumpUntil([&] { return std::string(edit->GetText() ? edit->GetText() : "") == "ok!"; }))
            << (edit->GetText() ? edit->GetText() : "");
        input->Key("Return");
        EXPECT_TRUE(PumpUntil([&] { return !edit->IsEditing(); }));
        view.codes.clear();  // Return's own character follows its key, as typed characters do
    }
    // With the edit done, keys go to the view with their toolkit codes.
    input->Key("Up");
    input->Key("Delete");
    input->Key("a");
    EXPECT_TRUE(PumpUntil([&] { return view.codes.size() >= 3; }));
    EXPECT_EQ(view.codes, (std::vector<int>{xconst::kKeyUp, xconst::kKeyDelete, 1000 + 'a'}));
    CloseWindow(view);

    // The reader: UTF-8 text as it is, the plain form from an owner that has
    // only that, nothing longer than asked for, and a bounded wait for an
    // owner that never answers.
    struct Case {
        const char* text;
        bool utf8;
        bool answers;
        size_t maxBytes;
        bool read;
    } cases[] = {
        {"Gr\xC3\xBC\xC3\x9F" "e", true, true, 64, true},
        {"plain", false, true, 64, true},
        {"far too long", true, true, 4, false},
        {"silent", true, false, 64, false},
    };
    for (const Case& c : cases) {
        ClipboardOwner owner(c.text, c.utf8, c.answers);
        std::string out;
        // A silent owner is given up: the call returns.
        EXPECT_EQ(backend->GetClipboardText(out, c.maxBytes), c.read) << c.text;
        if (c.read) {
            EXPECT_EQ(out, c.text);
        }
    }
    std::string out;
    EXPECT_FALSE(backend->GetClipboardText(out, 64)) << "the owner has gone";
}

namespace {

// Opens its menu at the press, as the editor's controls do; the answer
// comes with a later tick of its window.
struct MenuButton : XControl {
    explicit MenuButton(XControl* parent) : XControl(parent, 10, 10, 60, 20)
    {
        SetColour(0, XColour::Make(90, 90, 160));
    }
    bool OnMouseDown(XMouse&) override
    {
        Open();
        return false;
    }
    bool Open()
    {
        auto menu = std::make_unique<XMenu>();
        for (int i = 0; i < 120; ++i)
            menu->AddItem(("Plug-in number " + std::to_string(i)).c_str(), 1000 + i);
        chosen = -1;
        ++opened;
        return PopupMenu(std::move(menu), 0, 20, [this](int, int value) { chosen = value; });
    }
    int chosen = -1;
    int opened = 0;
};

struct PressCounter : XControl {
    explicit PressCounter(XControl* parent) : XControl(parent, 250, 100, 140, 100)
    {
        SetColour(0, XColour::Make(0, 120, 0));
    }
    bool OnMouseDown(XMouse&) override
    {
        ++presses;
        return true;
    }
    int presses = 0;
};

}  // namespace

TEST_F(X11InputTest, LongMenuFitsTheScreenKeysStayOnShownItemsAndTheGrabTakesEveryClick)
{
    XView view;
    view.SetBounds(300, 40, 400, 240);
    view.SetColour(0, XColour::Make(60, 60, 70));
    auto* button = new MenuButton(&view);
    auto* under = new PressCounter(&view);
    Open(view);
    const XColourValue lit = XColour::Make(51, 120, 215);
    int mx = 0, my = 0, mw = 0, mh = 0;
    // Opens the menu with a click on the button; false when it did not show
    // with the pointer grabbed.
    auto open = [&] {
        const int before = button->opened;
        input->ClickAt(300 + 30, 40 + 20);
        return PumpUntil([&] {
            return button->opened > before && input->PointerGrabbedElsewhere() &&
                   input->FindWindow("KivMenu", mx, my, mw, mh);
        });
    };
    auto closed = [&] { return PumpUntil([&] { return !input->HasWindow("KivMenu"); }); };

    // Up from the top wraps to the last item, which is scrolled into view
    // and chosen with Return.
    ASSERT_TRUE(open());
    input->Key("Up");
    bool litShown = false;
    PumpUntil([&] {
        for (int y = my; y < my + mh && !litShown; ++y)
            litShown = input->ScreenPixel(mx + mw / 2, y) == lit;
        return litShown;
    });
    input->Screenshot("menu_long_last_item");
    input->Key("Return");
    ASSERT_TRUE(PumpUntil([&] { return button->chosen >= 0; }));
    EXPECT_TRUE(litShown) << "the highlighted last item is on the screen";
    EXPECT_EQ(button->chosen, 1119);
    EXPECT_GE(my, 0);
    EXPECT_LE(my + mh, kScreenH);
    EXPECT_GT(mh, kScreenH / 2);
    EXPECT_FALSE(input->PointerGrabbedElsewhere()) << "the grab ends with the menu";
    EXPECT_FALSE(input->HasWindow("KivMenu"));

    // The pointer resting on the lower arrow band scrolls the list; an item
    // that came into view is chosen where it is drawn.
    ASSERT_TRUE(open());
    input->Move(mx + 20, my + mh - 5);
    int waited = 0;
    PumpUntil([&] { return ++waited == 15; });  // about 300 ms of scrolling
    const int itemY = my + mh / 2;
    input->Move(mx + 20, itemY);
    PumpUntil([&] { return ++waited == 18; });
    input->Screenshot("menu_long_scrolled");
    input->Button(1, true);
    input->Button(1, false);
    ASSERT_TRUE(PumpUntil([&] { return button->chosen >= 0; }));
    // Rows are 20 px below a 1 px frame and a 14 px band; without the scroll
    // the middle row would show this item.
    int unscrolled = 1000 + (itemY - my - 1 - 14) / 20;
    EXPECT_GT(button->chosen, unscrolled) << "the list had scrolled";
    EXPECT_LE(button->chosen, 1119);

    // A click outside the menu closes it and reaches nothing below: the grab
    // takes it.
    ASSERT_TRUE(open());
    input->ClickAt(300 + 300, 40 + 150);  // over the press counter, right of the menu
    EXPECT_TRUE(closed());
    PumpTimes(10);  // the press that closed the menu was read with any that came along
    EXPECT_EQ(button->chosen, -1);
    EXPECT_EQ(under->presses, 0);
    EXPECT_FALSE(input->PointerGrabbedElsewhere());

    // Closing the window takes its open menu along.
    ASSERT_TRUE(open());
    CloseWindow(view);
    EXPECT_TRUE(closed());
    EXPECT_FALSE(input->PointerGrabbedElsewhere());
}

// Another program holding the pointer: the menu shows while it is still
// held (nothing in between could free it), and takes the grab once it is
// free; held for good, the menu gives up after a while.
TEST_F(X11InputTest, MenuDoesNotWaitForAPointerHeldElsewhere)
{
    XView view;
    view.SetBounds(300, 40, 400, 240);
    auto* button = new MenuButton(&view);
    Open(view);
    for (bool freed : {true, false}) {
        ASSERT_TRUE(input->HoldPointer());
        ASSERT_TRUE(button->Open());
        EXPECT_TRUE(input->HasWindow("KivMenu")) << "the menu waited for the pointer";
        if (freed) {
            input->ReleasePointer();
            EXPECT_TRUE(PumpUntil([&] { return input->PointerGrabbedElsewhere(); })) << "the menu took no grab";
            input->Key("Escape");
        }
        EXPECT_TRUE(PumpUntil([&] { return !input->HasWindow("KivMenu"); }));
        input->ReleasePointer();
        EXPECT_EQ(button->chosen, -1);
    }
    CloseWindow(view);
}

namespace {

const uint32_t kDragKind = fourcc("inst");

// A drag source as the list views are: the drag starts once the pointer has
// moved and ends at the release.
struct DragSource : XControl, XDragger {
    explicit DragSource(XControl* parent) : XControl(parent, 10, 10, 120, 80)
    {
        SetColour(0, XColour::Make(200, 200, 230));
        SetDragKind(kDragKind);
    }
    bool OnMouseDown(XMouse&) override { return true; }
    void OnMouseDrag(XMouse& m) override
    {
        if (!IsDragging())
            StartDrag(this, m.pressX - m.originX, m.pressY - m.originY);
        MoveDrag(m.LocalX(), m.LocalY());
    }
    void OnMouseUp(XMouse& m) override { EndDrag(m.LocalX(), m.LocalY()); }
    void DrawDragImage(XGraphic& g) override
    {
        g.FillRectangleColour(XRectangle(0, 0, 40, 16), XColour::Make(200, 0, 0));
    }
};

struct DropTarget : XControl {
    explicit DropTarget(XControl* parent) : XControl(parent, 200, 10, 120, 120)
    {
        SetColour(0, XColour::Make(0, 100, 0));
    }
    bool OnDragOver(XControl*, uint32_t kind) override { return kind == kDragKind; }
    bool OnDragEnter(XControl*, uint32_t) override
    {
        ++enters;
        return true;
    }
    void OnDrop(XControl*, uint32_t) override { ++drops; }
    int enters = 0;
    int drops = 0;
};

}  // namespace

TEST_F(X11InputTest, DragWindowFollowsThePointerAndGoesAtTheDrop)
{
    XView view;
    view.SetBounds(100, 300, 360, 160);
    view.SetColour(0, XColour::Make(40, 40, 40));
    auto* source = new DragSource(&view);
    auto* target = new DropTarget(&view);
    Open(view);
    input->Move(100 + 30, 300 + 30);
    input->Button(1, true);
    int x0 = 0, y0 = 0, w = 0, h = 0;
    for (int step = 1; step <= 5; ++step)
        input->Move(100 + 30 + step * 10, 300 + 30 + step * 4);
    ASSERT_TRUE(PumpUntil([&] { return source->IsDragging() && input->HasWindow("KivDragger"); }));
    // Every motion handled, the window where the last one put it.
    auto settle = [&] {
        for (int i = 0; i < 10; ++i)
            backend->Pump(10);
        backend->Sync();
    };
    settle();
    ASSERT_TRUE(input->FindWindow("KivDragger", x0, y0, w, h));
    input->Move(100 + 260, 300 + 60);
    settle();
    int x1 = 0, y1 = 0;
    ASSERT_TRUE(input->FindWindow("KivDragger", x1, y1, w, h));
    // The window travels as far as the pointer did.
    EXPECT_EQ(x1 - x0, 260 - (30 + 50));
    EXPECT_EQ(y1 - y0, 60 - (30 + 20));
    EXPECT_TRUE(PumpUntil([&] { return target->enters == 1; }));
    input->Screenshot("drag_over_target");
    input->Button(1, false);
    EXPECT_TRUE(PumpUntil([&] { return target->drops == 1 && !source->IsDragging(); }));
    backend->Sync();
    EXPECT_FALSE(input->HasWindow("KivDragger"));
    CloseWindow(view);
}

TEST_F(X11InputTest, RepaintsReachTheServerThroughSharedMemoryAndOnlyWhereDrawn)
{
    XView view;
    view.SetBounds(50, 50, 300, 200);
    view.SetColour(0, XColour::Make(10, 20, 30));
    auto* box = new XControl(&view, 20, 20, 40, 30);
    box->SetColour(0, XColour::Make(200, 0, 0));
    Open(view);
    uintptr_t client = view.GetWindow()->GetClientWindow()->GetHandle();
    EXPECT_TRUE(PumpUntil([&] { return input->ScreenPixel(50 + 25, 50 + 25) == XColour::Make(200, 0, 0); }));
    EXPECT_TRUE(backend->HasSharedMemory()) << "Xvfb offers MIT-SHM";
    EXPECT_TRUE(backend->UsesSharedImage(client));

    uint64_t before = backend->GetPresentedBytes();
    box->SetColour(0, XColour::Make(0, 0, 220));
    box->Invalidate();
    EXPECT_TRUE(PumpUntil([&] { return input->ScreenPixel(50 + 25, 50 + 25) == XColour::Make(0, 0, 220); }));
    EXPECT_EQ(input->ScreenPixel(50 + 150, 50 + 150), XColour::Make(10, 20, 30));
    EXPECT_EQ(backend->GetPresentedBytes() - before, 40u * 30u * 4u) << "only the changed control is sent";
    CloseWindow(view);
}
