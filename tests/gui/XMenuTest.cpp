// Popup menus: commands and values, sub-menus, choosing with the mouse and
// the keys, dismissing, placement on the screen, all through the headless
// back end while Track waits.
#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "gui/GuiTestLeaks.h"
#include "kiv/gui/HeadlessBackend.h"
#include "kiv/gui/XConst.h"
#include "kiv/gui/XControl.h"
#include "kiv/gui/XMenu.h"

namespace {

// Plays one scripted step per pump while Track waits; a menu left open too
// long is dismissed so a failing test cannot hang.
class ScriptedBackend : public HeadlessBackend {
public:
    ScriptedBackend() { XBackend::Install(this); }
    int Pump(int timeoutMs) override
    {
        ++pumps;
        if (next < steps.size())
            steps[next++]();
        else if (pumps > 200)
            KeyDown(Menu(), xconst::kKeyEscape);
        return HeadlessBackend::Pump(timeoutMs);
    }
    HeadlessWindow* Menu() const { return FindByClass("KivMenu"); }
    std::vector<std::function<void()>> steps;
    size_t next = 0;
    int pumps = 0;
};

constexpr int kItem = 20;  // entry height
constexpr int kSeparator = 7;

}  // namespace

TEST(XMenu, ItemsWithoutValuesAnswerTheirIndexAndTheSubMenusId)
{
    ScriptedBackend backend;
    XMenu menu;
    menu.AddItem("First");
    menu.AddItem("Second");
    XMenu* more = menu.AddSubMenu("More");
    more->AddItem("Deep one");
    more->AddItem("Deep two");
    int topW = 0;
    backend.steps = {
        [&] {
            HeadlessWindow* top = backend.Menu();
            ASSERT_NE(top, nullptr);
            EXPECT_EQ(top->GetX(), 100);
            EXPECT_EQ(top->GetY(), 100);
            topW = top->GetWidth();
            backend.MouseMove(top, 20, 1 + 2 * kItem + 5);  // rests on "More": it opens
        },
        [&] {
            EXPECT_EQ(backend.CountWindows(), 2);
            // The sub-menu opens beside "More"; its second item.
            backend.MouseMove(backend.Menu(), topW + 10, 2 * kItem + 1 + kItem + 5);
        },
        [&] { backend.MouseUp(backend.Menu(), topW + 10, 2 * kItem + 1 + kItem + 5, 0); },
    };
    ASSERT_TRUE(menu.Track(100, 100));
    EXPECT_EQ(menu.GetChosenMenu(), 1);
    EXPECT_EQ(menu.GetChosenValue(), 1);
    EXPECT_EQ(backend.CountWindows(), 0);
    EXPECT_EQ(backend.m_capture, nullptr);
}

TEST(XMenu, KeysChooseAndValuesAreAnswered)
{
    ScriptedBackend backend;
    XMenu menu;
    menu.AddItem("Ten", 10);
    menu.AddSeparator();
    menu.AddItem("No value");
    menu.AddItem("Minus", -7);
    backend.steps = {
        [&] { backend.KeyDown(backend.Menu(), xconst::kKeyDown); },
        [&] { backend.KeyDown(backend.Menu(), xconst::kKeyDown); },  // the separator is skipped
        [&] { backend.KeyDown(backend.Menu(), xconst::kKeyReturn); },
    };
    ASSERT_TRUE(menu.Track(10, 10));
    EXPECT_EQ(menu.GetChosenMenu(), 0);
    EXPECT_EQ(menu.GetChosenValue(), 1);  // the second item has no value: its index

    backend.steps = {[&] { backend.KeyDown(backend.Menu(), xconst::kKeyUp); },
                     [&] { backend.KeyDown(backend.Menu(), xconst::kKeyReturn); }};
    backend.next = 0;
    ASSERT_TRUE(menu.Track(10, 10));
    EXPECT_EQ(menu.GetChosenValue(), -7);

    // The mouse on the first item, below the separator rows.
    backend.steps = {[&] { backend.MouseMove(backend.Menu(), 15, 1 + 5); },
                     [&] { backend.MouseUp(backend.Menu(), 15, 1 + 5, 0); }};
    backend.next = 0;
    ASSERT_TRUE(menu.Track(10, 10));
    EXPECT_EQ(menu.GetChosenValue(), 10);
    (void)kSeparator;
}

TEST(XMenu, PressOutsideEscapeOrTheOpeningReleaseChooseNothing)
{
    ScriptedBackend backend;
    XMenu menu;
    menu.AddItem("Only", 5);
    backend.steps = {[&] { backend.MouseDown(backend.Menu(), -30, 200, 0); }};
    EXPECT_FALSE(menu.Track(300, 300));
    EXPECT_EQ(backend.CountWindows(), 0);

    backend.steps = {[&] { backend.KeyDown(backend.Menu(), xconst::kKeyEscape); }};
    backend.next = 0;
    EXPECT_FALSE(menu.Track(300, 300));

    // The right button that opened the menu is let go over the first item
    // without the pointer moving: no choice; Escape then closes.
    backend.steps = {[&] { backend.MouseUp(backend.Menu(), 2, 2, 1); },
                     [&] { EXPECT_EQ(backend.CountWindows(), 1); },
                     [&] { backend.KeyDown(backend.Menu(), xconst::kKeyEscape); }};
    backend.next = 0;
    EXPECT_FALSE(menu.Track(300, 300));
    EXPECT_EQ(backend.CountWindows(), 0);
}

TEST(XMenu, EmptyMenuOrNoWindowSystemShowsNothing)
{
    XMenu empty;
    ScriptedBackend backend;
    EXPECT_FALSE(empty.Track(0, 0));
    EXPECT_EQ(backend.pumps, 0);
}

TEST(XMenu, CommandsDecodeThroughTheWholeTree)
{
    XMenu menu;
    for (int i = 0; i < 40; ++i)
        menu.AddItem("item", 1000 + i);  // the value table grows past 32
    XMenu* first = menu.AddSubMenu("first");
    XMenu* deep = first->AddSubMenu("deep");
    XMenu* second = menu.AddSubMenu("second");
    first->AddItem("f");
    deep->AddItem("d0");
    deep->AddItem("d1", 77);
    second->AddItem("s");
    EXPECT_EQ(first->GetMenuId(), 1);
    EXPECT_EQ(deep->GetMenuId(), 2);  // deeper menus never repeat an id
    EXPECT_EQ(second->GetMenuId(), 3);

    ASSERT_TRUE(menu.DecodeCommand(40));
    EXPECT_EQ(menu.GetChosenValue(), 1039);
    ASSERT_TRUE(menu.DecodeCommand((2u << 16) + 2));
    EXPECT_EQ(menu.GetChosenMenu(), 2);
    EXPECT_EQ(menu.GetChosenValue(), 77);
    ASSERT_TRUE(menu.DecodeCommand((3u << 16) + 1));
    EXPECT_EQ(menu.GetChosenValue(), 0);
    EXPECT_FALSE(menu.DecodeCommand(41));
    EXPECT_FALSE(menu.DecodeCommand((9u << 16) + 1));
    EXPECT_FALSE(menu.DecodeCommand(0));
    EXPECT_EQ(deep->GetEntry(1).command, (2u << 16) + 2);
}

TEST(XMenu, MenuStaysOnTheScreenAndPopupMenuStartsAtTheControlsPoint)
{
    ScriptedBackend backend;
    XMenu menu;
    menu.AddItem("A rather long item text", 1);
    menu.AddItem("B", 2);
    backend.steps = {[&] {
        HeadlessWindow* w = backend.Menu();
        EXPECT_LE(w->GetX() + w->GetWidth(), 1920);
        EXPECT_LE(w->GetY() + w->GetHeight(), 1080);
        backend.KeyDown(w, xconst::kKeyEscape);
    }};
    EXPECT_FALSE(menu.Track(1910, 1075));

    XControl root;
    root.SetBounds(300, 200, 400, 300);  // a root's position is on the screen
    XControl* child = new XControl(&root, 50, 40, 100, 100);
    backend.steps = {[&] {
        HeadlessWindow* w = backend.Menu();
        EXPECT_EQ(w->GetX(), 300 + 50 + 5);
        EXPECT_EQ(w->GetY(), 200 + 40 + 6);
        backend.MouseMove(w, 10, 1 + kItem + 5);
        backend.MouseUp(w, 10, 1 + kItem + 5, 0);
    }};
    backend.next = 0;
    EXPECT_TRUE(child->PopupMenu(menu, 5, 6));
    EXPECT_EQ(menu.GetChosenValue(), 2);
}

TEST(XMenu, MenuTallerThanTheWorkAreaScrollsAndKeysStayOnShownItems)
{
    ScriptedBackend backend;
    backend.SetScreenSize(1024, 760);
    backend.SetWorkArea(0, 24, 1024, 736);  // a panel along the top
    XMenu menu;
    for (int i = 0; i < 120; ++i)
        menu.AddItem(("Plug-in " + std::to_string(i)).c_str(), 1000 + i);
    const XColourValue lit = XColour::Make(51, 120, 215);
    // Whether an item's highlight is drawn on a row of the window.
    auto litRowShown = [&](HeadlessWindow* w) {
        for (int y = 0; y < w->GetHeight(); ++y)
            if (w->Pixel(w->GetWidth() / 2, y) == lit)
                return true;
        return false;
    };
    int height = 0;
    backend.steps = {
        [&] {
            HeadlessWindow* w = backend.Menu();
            ASSERT_NE(w, nullptr);
            EXPECT_GE(w->GetY(), 24);
            EXPECT_LE(w->GetY() + w->GetHeight(), 760);
            height = w->GetHeight();
            backend.KeyDown(w, xconst::kKeyUp);  // wraps to the last item
        },
        [&] {
            EXPECT_TRUE(litRowShown(backend.Menu())) << "the last item is scrolled into view";
            backend.KeyDown(backend.Menu(), xconst::kKeyReturn);
        },
    };
    ASSERT_TRUE(menu.Track(200, 0));
    EXPECT_EQ(menu.GetChosenValue(), 1119);
    EXPECT_EQ(height, 2 + 2 * 14 + 35 * kItem);  // whole rows between the arrow bands

    // The pointer resting on the lower arrow band scrolls; an item that came
    // into view is chosen where it is drawn. The wheel scrolls back.
    backend.next = 0;
    backend.pumps = 0;
    int rowY = 0;
    backend.steps = {
        [&] {
            HeadlessWindow* w = backend.Menu();
            backend.MouseMove(w, 20, w->GetHeight() - 5);
            backend.Advance(50 * 10);  // ten steps of one item
        },
        [&] {
            HeadlessWindow* w = backend.Menu();
            rowY = 1 + 14 + 4 * kItem + 5;  // the fifth row shown
            backend.MouseMove(w, 20, rowY);
            EXPECT_TRUE(litRowShown(w));
            backend.Wheel(w, 20, rowY, 120);  // three items back
        },
        [&] { backend.MouseUp(backend.Menu(), 20, rowY, 0); },
    };
    ASSERT_TRUE(menu.Track(200, 300));
    EXPECT_EQ(menu.GetChosenValue(), 1000 + 10 + 4 - 3);
}
