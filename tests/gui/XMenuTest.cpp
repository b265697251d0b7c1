// Popup menus: commands and values, sub-menus, choosing with the mouse and
// the keys, dismissing, placement on the screen, and the life of a menu that
// never waits: it opens and returns, its answer comes with the next view
// tick, and it goes with its waiter or its window. All through the headless
// back end.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "gui/GuiTestLeaks.h"
#include "kiv/gui/HeadlessBackend.h"
#include "kiv/gui/XConst.h"
#include "kiv/gui/XControl.h"
#include "kiv/gui/XMenu.h"
#include "kiv/gui/XView.h"

namespace {

constexpr int kItem = 20;  // entry height
constexpr int kSeparator = 7;

// A view on the screen with one control that waits for menus; the answers
// its tick delivers are recorded.
class MenuTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        XBackend::Install(&backend);
        view = std::make_unique<XView>();
        view->SetBounds(300, 200, 400, 300);  // a root's position is on the screen
        waiter = new XControl(view.get(), 50, 40, 100, 100);
    }
    void TearDown() override
    {
        view.reset();  // its menu goes with it, while the back end lives
        XBackend::Install(nullptr);
    }
    XMenu* Build(std::vector<std::pair<const char*, int>> items)
    {
        menu = std::make_unique<XMenu>();
        for (auto& [text, value] : items)
            menu->AddItem(text, value);
        return menu.get();
    }
    bool Open(int x, int y)
    {
        return XMenu::Open(std::move(menu), waiter, x, y, [this](int id, int value) {
            answers.push_back({id, value});
        });
    }
    HeadlessWindow* Menu() const { return backend.FindByClass("KivMenu"); }
    void Tick() { view->Tick(1); }

    HeadlessBackend backend;
    std::unique_ptr<XView> view;
    XControl* waiter = nullptr;
    std::unique_ptr<XMenu> menu;
    std::vector<std::pair<int, int>> answers;
};

}  // namespace

TEST_F(MenuTest, ItemsWithoutValuesAnswerTheirIndexAndTheSubMenusIdAtTheNextTick)
{
    menu = std::make_unique<XMenu>();
    menu->AddItem("First");
    menu->AddItem("Second");
    XMenu* more = menu->AddSubMenu("More");
    more->AddItem("Deep one");
    more->AddItem("Deep two");
    ASSERT_TRUE(Open(100, 100));  // returns while the menu shows
    HeadlessWindow* top = Menu();
    ASSERT_NE(top, nullptr);
    EXPECT_EQ(top->GetX(), 100);
    EXPECT_EQ(top->GetY(), 100);
    EXPECT_TRUE(XMenu::IsAnyOpen());
    const int topW = top->GetWidth();
    backend.MouseMove(top, 20, 1 + 2 * kItem + 5);  // rests on "More": it opens
    EXPECT_EQ(backend.CountWindows(), 2);
    // The sub-menu opens beside "More"; its second item.
    backend.MouseMove(top, topW + 10, 2 * kItem + 1 + kItem + 5);
    backend.MouseUp(top, topW + 10, 2 * kItem + 1 + kItem + 5, 0);
    EXPECT_EQ(backend.CountWindows(), 0);
    EXPECT_EQ(backend.m_capture, nullptr);
    EXPECT_FALSE(XMenu::IsAnyOpen());
    EXPECT_TRUE(answers.empty()) << "answered inside the menu's own input";
    Tick();
    EXPECT_EQ(answers, (std::vector<std::pair<int, int>>{{1, 1}}));
    Tick();
    EXPECT_EQ(answers.size(), 1u) << "answered once";
}

TEST_F(MenuTest, KeysChooseAndValuesAreAnswered)
{
    struct Case {
        std::vector<int> keys;
        int value;
    };
    // Ten, a separator, an item without a value, Minus.
    const Case cases[] = {
        {{xconst::kKeyDown, xconst::kKeyDown, xconst::kKeyReturn}, 1},  // the separator is skipped; the index
        {{xconst::kKeyUp, xconst::kKeyReturn}, -7},                     // up wraps to the last
        {{xconst::kKeyDown, xconst::kKeyReturn}, 10},
    };
    for (const Case& c : cases) {
        menu = std::make_unique<XMenu>();
        menu->AddItem("Ten", 10);
        menu->AddSeparator();
        menu->AddItem("No value");
        menu->AddItem("Minus", -7);
        answers.clear();
        ASSERT_TRUE(Open(10, 10));
        for (int key : c.keys)
            backend.KeyDown(Menu(), key);
        Tick();
        ASSERT_EQ(answers.size(), 1u) << c.value;
        EXPECT_EQ(answers[0].first, 0);
        EXPECT_EQ(answers[0].second, c.value);
    }
    (void)kSeparator;

    // A key the host passes to the editor reaches the shown menu.
    Build({{"Only", 5}});
    answers.clear();
    ASSERT_TRUE(Open(10, 10));
    EXPECT_TRUE(XMenu::HandleKey(xconst::kKeyDown));
    EXPECT_TRUE(XMenu::HandleKey(xconst::kKeyReturn));
    EXPECT_FALSE(XMenu::HandleKey(xconst::kKeyEscape)) << "no menu is shown";
    Tick();
    EXPECT_EQ(answers, (std::vector<std::pair<int, int>>{{0, 5}}));
}

TEST_F(MenuTest, PressOutsideEscapeOrTheOpeningReleaseChooseNothing)
{
    Build({{"Only", 5}});
    ASSERT_TRUE(Open(300, 300));
    backend.MouseDown(Menu(), -30, 200, 0);
    EXPECT_EQ(backend.CountWindows(), 0);

    Build({{"Only", 5}});
    ASSERT_TRUE(Open(300, 300));
    backend.KeyDown(Menu(), xconst::kKeyEscape);
    EXPECT_EQ(backend.CountWindows(), 0);

    // The right button that opened the menu is let go over the first item
    // without the pointer moving: no choice; Escape then closes.
    Build({{"Only", 5}});
    ASSERT_TRUE(Open(300, 300));
    backend.MouseUp(Menu(), 2, 2, 1);
    EXPECT_EQ(backend.CountWindows(), 1);
    Tick();
    backend.KeyDown(Menu(), xconst::kKeyEscape);
    EXPECT_EQ(backend.CountWindows(), 0);
    Tick();
    EXPECT_TRUE(answers.empty());
}

TEST_F(MenuTest, EmptyMenuNoWaiterOrNoWindowSystemShowsNothing)
{
    menu = std::make_unique<XMenu>();
    EXPECT_FALSE(Open(0, 0));
    EXPECT_FALSE(XMenu::Open(std::make_unique<XMenu>(), nullptr, 0, 0, nullptr));
    Build({{"Only", 5}});
    EXPECT_FALSE(XMenu::Open(std::move(menu), nullptr, 0, 0, nullptr));
    EXPECT_EQ(backend.CountWindows(), 0);
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

TEST_F(MenuTest, MenuStaysOnTheScreenAndPopupMenuStartsAtTheControlsPoint)
{
    Build({{"A rather long item text", 1}, {"B", 2}});
    ASSERT_TRUE(Open(1910, 1075));
    HeadlessWindow* w = Menu();
    EXPECT_LE(w->GetX() + w->GetWidth(), 1920);
    EXPECT_LE(w->GetY() + w->GetHeight(), 1080);
    backend.KeyDown(w, xconst::kKeyEscape);

    Build({{"A rather long item text", 1}, {"B", 2}});
    int chosen = -1;
    ASSERT_TRUE(waiter->PopupMenu(std::move(menu), 5, 6, [&](int, int value) { chosen = value; }));
    w = Menu();
    EXPECT_EQ(w->GetX(), 300 + 50 + 5);
    EXPECT_EQ(w->GetY(), 200 + 40 + 6);
    backend.MouseMove(w, 10, 1 + kItem + 5);
    backend.MouseUp(w, 10, 1 + kItem + 5, 0);
    Tick();
    EXPECT_EQ(chosen, 2);
}

// A sub-menu without room on the right opens to the left, and the entry's
// arrow points that way.
TEST_F(MenuTest, SubMenuArrowPointsWhereTheSubMenuOpens)
{
    auto arrowColumns = [&](HeadlessWindow* w, int entryTop, int& left, int& right) {
        // The arrow's flat side is a 7-pixel column, its tip one pixel.
        auto dark = [&](int x) {
            int n = 0;
            for (int y = entryTop; y < entryTop + kItem; ++y)
                n += w->Pixel(x, y) == XColour::Make(0, 0, 0);
            return n;
        };
        left = dark(w->GetWidth() - 12);
        right = dark(w->GetWidth() - 9);
    };
    for (int x : {100, 1840}) {
        menu = std::make_unique<XMenu>();
        menu->AddItem("First", 1);
        XMenu* sub = menu->AddSubMenu("More");
        sub->AddItem("A sub-menu item of some width", 2);
        ASSERT_TRUE(Open(x, 100));
        HeadlessWindow* top = Menu();
        int left = 0, right = 0;
        arrowColumns(top, 1 + kItem, left, right);
        backend.MouseMove(top, 20, 1 + kItem + 5);
        ASSERT_EQ(backend.CountWindows(), 2);
        // Windows are numbered in the order they are made.
        HeadlessWindow* opened = nullptr;
        for (uintptr_t h = top->GetHandle() + 1; h < top->GetHandle() + 16 && !opened; ++h)
            opened = backend.Find(h);
        ASSERT_NE(opened, nullptr);
        const bool leftward = opened->GetX() < top->GetX();
        EXPECT_EQ(leftward, x > 1000) << x;
        if (leftward) {
            EXPECT_EQ(right, 7) << "a left arrow's flat side is on the right";
            EXPECT_EQ(left, 1);
        } else {
            EXPECT_EQ(left, 7);
            EXPECT_EQ(right, 1);
        }
        backend.KeyDown(top, xconst::kKeyEscape);
        backend.KeyDown(top, xconst::kKeyEscape);
        EXPECT_EQ(backend.CountWindows(), 0);
    }
}

TEST_F(MenuTest, MenuTallerThanTheWorkAreaScrollsAndKeysStayOnShownItems)
{
    backend.SetScreenSize(1024, 760);
    backend.SetWorkArea(0, 24, 1024, 736);  // a panel along the top
    auto build = [&] {
        menu = std::make_unique<XMenu>();
        for (int i = 0; i < 120; ++i)
            menu->AddItem(("Plug-in " + std::to_string(i)).c_str(), 1000 + i);
    };
    const XColourValue lit = XColour::Make(51, 120, 215);
    // Whether an item's highlight is drawn on a row of the window.
    auto litRowShown = [&](HeadlessWindow* w) {
        for (int y = 0; y < w->GetHeight(); ++y)
            if (w->Pixel(w->GetWidth() / 2, y) == lit)
                return true;
        return false;
    };
    build();
    ASSERT_TRUE(Open(200, 0));
    HeadlessWindow* w = Menu();
    ASSERT_NE(w, nullptr);
    EXPECT_GE(w->GetY(), 24);
    EXPECT_LE(w->GetY() + w->GetHeight(), 760);
    EXPECT_EQ(w->GetHeight(), 2 + 2 * 14 + 35 * kItem);  // whole rows between the arrow bands
    backend.KeyDown(w, xconst::kKeyUp);                  // wraps to the last item
    backend.Pump(0);
    EXPECT_TRUE(litRowShown(w)) << "the last item is scrolled into view";
    backend.KeyDown(w, xconst::kKeyReturn);
    Tick();
    ASSERT_EQ(answers.size(), 1u);
    EXPECT_EQ(answers[0].second, 1119);

    // The pointer resting on the lower arrow band scrolls; an item that came
    // into view is chosen where it is drawn. The wheel scrolls back.
    build();
    ASSERT_TRUE(Open(200, 300));
    w = Menu();
    backend.MouseMove(w, 20, w->GetHeight() - 5);
    backend.Advance(50 * 10);                 // ten steps of one item
    const int rowY = 1 + 14 + 4 * kItem + 5;  // the fifth row shown
    backend.MouseMove(w, 20, rowY);
    EXPECT_TRUE(litRowShown(w));
    backend.Wheel(w, 20, rowY, 120);  // three items back
    backend.MouseUp(w, 20, rowY, 0);
    Tick();
    ASSERT_EQ(answers.size(), 2u);
    EXPECT_EQ(answers[1].second, 1000 + 10 + 4 - 3);
}

// A menu goes with its waiter, with its waiter's window, or with the next
// menu; none of them answers, and nothing is left on the screen or grabbed.
TEST_F(MenuTest, MenuGoesWithItsWaiterItsWindowOrTheNextMenu)
{
    auto* other = new XControl(view.get(), 200, 40, 100, 100);
    struct Case {
        const char* what;
        bool choose;  // an item was chosen and waits for the tick
        std::function<void()> end;
        int left;  // menu windows still shown: another window's, or the next menu
    };
    auto dropWaiter = [&] {
        delete waiter;
        waiter = nullptr;
    };
    auto openNext = [&] {
        auto next = std::make_unique<XMenu>();
        next->AddItem("Next", 9);
        ASSERT_TRUE(other->PopupMenu(std::move(next), 0, 0, nullptr));
    };
    const Case cases[] = {
        {"the waiter deleted", false, dropWaiter, 0},
        {"the waiter deleted after the choice", true, dropWaiter, 0},
        {"the waiter's window closed", false, [&] { XMenu::CloseWithin(view.get()); }, 0},
        {"another window closed", false, [&] { XMenu::CloseWithin(other); }, 1},
        {"a press reached the window", false, [&] { XMenu::Dismiss(); }, 0},
        {"another menu opened", false, openNext, 1},
    };
    for (const Case& c : cases) {
        if (!waiter)
            waiter = new XControl(view.get(), 50, 40, 100, 100);
        Build({{"One", 1}, {"Two", 2}});
        answers.clear();
        ASSERT_TRUE(Open(100, 100)) << c.what;
        if (c.choose)
            backend.KeyDown(Menu(), xconst::kKeyReturn);
        c.end();
        EXPECT_EQ(backend.CountWindows(), c.left) << c.what;
        Tick();
        if (c.left)
            backend.KeyDown(Menu(), xconst::kKeyEscape);
        Tick();
        EXPECT_EQ(backend.CountWindows(), 0) << c.what;
        EXPECT_EQ(backend.m_capture, nullptr) << c.what;
        EXPECT_TRUE(answers.empty()) << c.what;
    }
}
