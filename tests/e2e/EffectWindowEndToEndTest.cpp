// Hosted effects' own windows as a user meets them on a desktop: tessivo.so
// through its VST face, its editor in a host window framed by a real window
// manager (openbox) on a private X server, effects chosen in the mixer with
// real pointer input. Checked with X queries on the managed windows: their
// size, size hints and owner; that none stays on screen once the host closes
// the editor; and that a change made in an effect's own window is unsaved
// work. Screens of each effect window beside the editor go to
// <build>/e2e-screens. Skipped when no X server or no openbox can start.
#include <gtest/gtest.h>

// Xlib's XEvent, XPoint and XRectangle renamed: the toolkit has its own.
#define XEvent Xlib_XEvent
#define XPoint Xlib_XPoint
#define XRectangle Xlib_XRectangle
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#undef XEvent
#undef XPoint
#undef XRectangle
#include <sys/stat.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "e2e/EditorSession.h"
#include "editor/GigaEditorConst.h"
#include "gig/GigFixtures.h"
#include "support/TestSupport.h"
#include "tests/vst/VstTestPlugins.h"
#include "vst/OvVstConstants.h"
#include "vst/PlugInfo.h"
#include "vst/PlugInfoList.h"

using e2e::EditorSession;
using e2e::Point;
using e2e::ViewTree;

namespace {

using kivtest::Exists;

const char* const kHall = "/usr/lib/lxvst/DragonflyHallReverb-vst.so";
const char* const kZamComp = "/usr/lib/vst/ZamComp-vst.so";

// An effect to open, and the client size its window must have.
struct Effect {
    const char* what;
    std::string source;  // the library, copied into the plug-in folder
    int w, h;
};

// The managed window's size hints and owner, as the window manager reads them.
struct Hints {
    int minW = 0, minH = 0, maxW = 0, maxH = 0;
    unsigned long transientFor = 0;
};

class EffectWindowEndToEnd : public ::testing::Test {
protected:
    // Lists the effects for the plug-in (a scan of a folder holding them,
    // written where the plug-in reads its list) and starts the session
    // under the window manager.
    void Start(const std::vector<Effect>& effects)
    {
        m_folder = s.Scratch() + "/plugins";
        std::filesystem::create_directories(m_folder);
        for (const Effect& e : effects)
            std::filesystem::copy_file(e.source, m_folder + "/" + FileName(e));
        {
            e2e::KeptForProcess probedLibrariesOwn;
            m_list = std::make_unique<PlugInfoList>();
            m_list->Load(ovvst::kMakerFolder, ovvst::kProductBaseName);
            ASSERT_TRUE(m_list->SetFolder(m_folder.c_str()));
            ASSERT_TRUE(m_list->StartScan(nullptr, nullptr));
            ASSERT_TRUE(kivtest::WaitFor(60000, [&] { return !m_list->IsScanning(); }));
        }
        s.UseWindowManager();
        if (!s.Start()) {
            if (!s.Error().empty())
                FAIL() << s.Error();
            GTEST_SKIP() << s.SkipReason();
        }
        m_started = true;
    }
    static std::string FileName(const Effect& e) { return std::filesystem::path(e.source).filename().string(); }

    void Toolbar(int n)
    {
        ViewTree tree = s.Tree();
        int button = tree.Find("XButtonPic", n, tree.Roots().at(0));
        ASSERT_GE(button, 0) << "no toolbar button " << n;
        s.Click(s.ScreenCentre(tree, button));
    }
    bool ClickText(const char* cls, const char* text)
    {
        ViewTree tree = s.Tree();
        int node = tree.FindText(cls, text);
        if (node < 0)
            return false;
        s.Click(s.ScreenCentre(tree, node));
        return true;
    }
    bool Showing(const std::string& cls)
    {
        ViewTree tree = s.Tree();
        for (int root : tree.Roots())
            if (tree[root].cls == cls)
                return true;
        return false;
    }

    // Chooses the effect for the first strip's first insert slot through
    // the slot's menu: its vendor's sub-menu, then its entry, placed as
    // the plug-in list sorts them.
    void Choose(const Effect& e)
    {
        int group = -1, item = -1;
        for (int g = 0, shown = 0; g < m_list->GetManufCount() && item < 0; ++g) {
            PlugManuf* manuf = m_list->GetManuf(g);
            if (!manuf->HasType(1))
                continue;
            for (int n = 0; PlugInfo* info = manuf->GetItemOfType(1, n); ++n)
                if (std::string(info->GetName()) == FileName(e)) {
                    group = shown;
                    item = n;
                }
            ++shown;
        }
        ASSERT_GE(item, 0) << e.what << " was not listed by the scan";
        ViewTree tree = s.Tree();
        if (tree.Find("XSelectPlugin") < 0) {
            Toolbar(editor::kMixer);
            ASSERT_TRUE(ClickText("XToggle", "FX1"));
            tree = s.Tree();
        }
        const int selector = tree.Find("XSelectPlugin");
        ASSERT_GE(selector, 0) << tree.Text();
        s.Click(s.ScreenCentre(tree, selector));
        // What a real effect keeps for the life of the process is its own.
        e2e::KeptForProcess effectsOwn;
        ASSERT_TRUE(s.PickMenuItems({EditorSession::MenuItemTop(1 + group), EditorSession::MenuItemTop(item)}))
            << "the effect menu did not open for " << e.what;
    }

    // The effect's shown window (the window manager's client), 0 when none.
    unsigned long EffectWindow()
    {
        for (const auto& w : s.PopupWindows())
            if (w.cls == "KivPluginWindow")
                return w.id;
        return 0;
    }
    bool ClientSize(unsigned long window, int& w, int& h)
    {
        Window root = 0;
        int x = 0, y = 0;
        unsigned width = 0, height = 0, border = 0, depth = 0;
        if (!XGetGeometry(s.Dpy(), window, &root, &x, &y, &width, &height, &border, &depth))
            return false;
        w = static_cast<int>(width);
        h = static_cast<int>(height);
        return true;
    }
    Hints HintsOf(unsigned long window)
    {
        Hints hints;
        XSizeHints size{};
        long supplied = 0;
        if (XGetWMNormalHints(s.Dpy(), window, &size, &supplied)) {
            if (size.flags & PMinSize) {
                hints.minW = size.min_width;
                hints.minH = size.min_height;
            }
            if (size.flags & PMaxSize) {
                hints.maxW = size.max_width;
                hints.maxH = size.max_height;
            }
        }
        Window owner = 0;
        if (XGetTransientForHint(s.Dpy(), window, &owner))
            hints.transientFor = owner;
        return hints;
    }

    // Opens the effect, checks its managed window and writes a screen of
    // it beside the editor; closes it with its close box.
    void OpenAndCheck(const Effect& e)
    {
        SCOPED_TRACE(e.what);
        Choose(e);
        unsigned long window = 0;
        ASSERT_TRUE(s.IdleUntil(10000, [&] { return (window = EffectWindow()) != 0; }))
            << "no effect window was shown";
        // The late one is sized once it asks; the others from the start.
        int w = 0, h = 0;
        EXPECT_TRUE(s.IdleUntil(5000, [&] { return ClientSize(window, w, h) && w == e.w && h == e.h; }))
            << "the window's client area is " << w << "x" << h << ", the effect's " << e.w << "x" << e.h;
        const Hints hints = HintsOf(window);
        EXPECT_EQ(hints.minW, e.w);
        EXPECT_EQ(hints.minH, e.h);
        EXPECT_EQ(hints.maxW, e.w);
        EXPECT_EQ(hints.maxH, e.h);
        EXPECT_EQ(hints.transientFor, s.HostWindow()) << "not kept with the editor's window";
        // Managed: framed by the window manager, which left it its size.
        const unsigned long frame = kivtest::WindowManager::FrameOf(s.Dpy(), window);
        EXPECT_NE(frame, window) << "the window manager did not frame the effect's window";
        int fw = 0, fh = 0;
        ASSERT_TRUE(ClientSize(frame, fw, fh));
        EXPECT_GE(fw, e.w);
        EXPECT_GE(fh, e.h);

        // Beside the editor (below it) for the picture.
        s.MoveWindow(window, 40, 620);
        s.Idle(600);
        std::string name = std::string("effect-window-") + e.what;
        for (char& c : name)
            if (c == ' ')
                c = '-';
        s.Screenshot(name, true);

        s.CloseWindow(window);
        EXPECT_TRUE(s.IdleUntil(3000, [&] { return EffectWindow() == 0; })) << "the close box left the window";
    }

    EditorSession s;
    std::string m_folder;
    std::unique_ptr<PlugInfoList> m_list;
    bool m_started = false;
};

}  // namespace

// Effects of our own: one gives its size before its editor opens, one only
// asks for it once open (audioMasterSizeWindow). Each window is made or
// follows to exactly the effect's size, held there by its hints, and is
// kept with the editor's window; the effect's own window fills it.
TEST_F(EffectWindowEndToEnd, OwnEffectsWindowsTakeTheEffectsSizeUnderAWindowManager)
{
    const std::vector<Effect> effects = {
        {"test editor", vsttest::PluginPath("testeditor"), kTestEditorWidth, kTestEditorHeight},
        {"test late editor", vsttest::PluginPath("testlateeditor"), kTestLateEditorWidth, kTestLateEditorHeight},
    };
    Start(effects);
    if (!m_started)
        return;
    for (const Effect& e : effects) {
        OpenAndCheck(e);
        TestEffectState* state = vsttest::StateOf(m_folder + "/" + FileName(e));
        ASSERT_NE(state, nullptr) << e.what << " is not loaded";
        EXPECT_EQ(state->canDoSizeWindow, 1) << e.what;
        EXPECT_EQ(state->opcodeCalls[vst::effEditOpen], 1) << e.what;
        EXPECT_EQ(state->opcodeCalls[vst::effEditClose], 1) << e.what << ": the close box did not close the editor";
        EXPECT_EQ(state->editorWindow, 0u) << e.what;
    }
    TestEffectState* late = vsttest::StateOf(m_folder + "/testlateeditor.so");
    ASSERT_NE(late, nullptr);
    EXPECT_EQ(late->sizeWindowAnswer, 1) << "the host refused the size the effect asked for";
}

// Debian's effects as users reported them: the Dragonfly reverbs and the
// Zam effects (DPF plug-ins, which give their rectangle before the open).
TEST_F(EffectWindowEndToEnd, RealEffectsWindowsTakeTheEffectsSizeUnderAWindowManager)
{
    if (!Exists(kHall))
        GTEST_SKIP() << "dragonfly-reverb-vst not installed";
    if (!Exists(kZamComp))
        GTEST_SKIP() << "zam-plugins not installed";
    const std::vector<Effect> effects = {
        {"Dragonfly Hall", kHall, 920, 345},
        {"ZamComp", kZamComp, 800, 107},
    };
    Start(effects);
    if (!m_started)
        return;
    for (const Effect& e : effects)
        OpenAndCheck(e);
}

// A change made in the effect's own window (a press, reported as begin,
// automate, end) makes the saved performance unsaved: New asks. When the
// host closes the editor, the effect's window closes with it (the effect
// hears effEditClose) and nothing of the plug-in stays on screen; it does
// not come back with the editor, only through the slot's "e" mark.
TEST_F(EffectWindowEndToEnd, EffectWindowEditIsUnsavedAndTheWindowClosesWithTheEditor)
{
    const Effect effect{"test editor", vsttest::PluginPath("testeditor"), kTestEditorWidth, kTestEditorHeight};
    Start({effect});
    if (!m_started)
        return;
    auto paths = gigtools::WriteAllFixtures(s.Scratch());
    ASSERT_FALSE(paths.empty());
    ASSERT_TRUE(s.SetChunk(EditorSession::ChunkFor(paths.front(), 0)));
    s.Idle(300);
    Choose(effect);
    unsigned long window = 0;
    ASSERT_TRUE(s.IdleUntil(10000, [&] { return (window = EffectWindow()) != 0; })) << "no effect window";
    TestEffectState* state = vsttest::StateOf(m_folder + "/testeditor.so");
    ASSERT_NE(state, nullptr);

    // Saved: nothing to ask.
    const std::string saved = s.Scratch() + "/Effect.tv2";
    setenv("KIV_DIALOG_ANSWER", (saved + "\n").c_str(), 1);
    Toolbar(editor::kSaveAs);
    ASSERT_TRUE(s.IdleUntil(3000, [&] { return Exists(saved); }));
    // Open (its file dialog cancelled) has nothing to ask first.
    setenv("KIV_DIALOG_ANSWER", "\n", 1);
    Toolbar(editor::kOpen);
    s.Idle(300);
    unsetenv("KIV_DIALOG_ANSWER");
    ASSERT_FALSE(Showing("WConfirm")) << "a performance just saved counts as modified";

    // A press in the effect's own window, where the effect draws it.
    const float before = state->params[0];
    Window child = 0;
    int x = 0, y = 0;
    XTranslateCoordinates(s.Dpy(), window, DefaultRootWindow(s.Dpy()), effect.w / 2, effect.h / 2, &x, &y, &child);
    s.Click(Point{x, y});
    ASSERT_TRUE(s.IdleUntil(2000, [&] { return state->editorClicks == 1; })) << "the effect took no press";
    EXPECT_NE(state->params[0], before);
    EXPECT_EQ(state->beginEditAnswer, 1);
    EXPECT_EQ(state->endEditAnswer, 1);
    s.Idle(200);
    Toolbar(editor::kNew);
    EXPECT_TRUE(s.IdleUntil(3000, [&] { return Showing("WConfirm"); }))
        << "New does not ask after a change made in the effect's window";
    s.Screenshot("effect-edit-new-asks");
    if (Showing("WConfirm")) {
        ViewTree tree = s.Tree();
        int root = -1;
        for (int r : tree.Roots())
            if (tree[r].cls == "WConfirm")
                root = r;
        int cancel = tree.Find("XButton", 2, root);
        ASSERT_GE(cancel, 0) << tree.Text();
        s.Click(s.ScreenCentre(tree, cancel));
    }

    // The host closes the editor: the effect's window goes with it.
    const int opens = state->opcodeCalls[vst::effEditOpen];
    s.CloseEditor();
    XSync(s.Dpy(), False);
    EXPECT_EQ(state->opcodeCalls[vst::effEditClose], 1) << "the effect's editor was not closed";
    EXPECT_EQ(state->editorWindow, 0u);
    // Every mapped window on the screen is the host's (openbox keeps one
    // of its own mapped off the screen).
    for (const auto& w : s.PopupWindows())
        if (w.x + w.w > 0 && w.y + w.h > 0)
            ADD_FAILURE() << "still on screen after the editor closed: window " << w.id << " (" << w.cls << ") "
                          << w.w << "x" << w.h << " at " << w.x << "," << w.y;

    // The editor again: the effect's window stays closed until its mark.
    s.OpenEditor();
    s.Idle(500);
    EXPECT_EQ(EffectWindow(), 0u) << "the effect's window came back with the editor";
    EXPECT_EQ(state->opcodeCalls[vst::effEditOpen], opens);
    ViewTree tree = s.Tree();
    const int panel = tree.Find("XViewEffectPlug");
    ASSERT_GE(panel, 0) << tree.Text();
    s.Click(s.Screen(tree, panel, tree[panel].At(tree[panel].w - 7, 6)));
    EXPECT_TRUE(s.IdleUntil(5000, [&] { return EffectWindow() != 0; })) << "the \"e\" mark did not open it";
}

// Debian's Dragonfly Hall as the report met it: a hall picked in the
// effect's own window (a bank, then its first preset) is unsaved work; New
// asks, and "Yes" writes the performance with the effect's new state.
TEST_F(EffectWindowEndToEnd, HallPickedInDragonflysWindowIsSavedWhenNewAsks)
{
    if (!Exists(kHall))
        GTEST_SKIP() << "dragonfly-reverb-vst not installed";
    const Effect hall{"Dragonfly Hall", kHall, 920, 345};
    Start({hall});
    if (!m_started)
        return;
    Choose(hall);
    unsigned long window = 0;
    ASSERT_TRUE(s.IdleUntil(10000, [&] { return (window = EffectWindow()) != 0; })) << "no effect window";
    const std::string saved = s.Scratch() + "/Hall.tv2";
    setenv("KIV_DIALOG_ANSWER", (saved + "\n").c_str(), 1);
    Toolbar(editor::kSaveAs);
    ASSERT_TRUE(s.IdleUntil(3000, [&] { return Exists(saved); }));
    unsetenv("KIV_DIALOG_ANSWER");
    const std::string before = kivtest::ReadFile(saved);

    // "Large Halls" in the bank column, then the first hall it lists, where
    // the effect draws them in its 920 x 345 window.
    auto press = [&](int cx, int cy) {
        Window child = 0;
        int x = 0, y = 0;
        XTranslateCoordinates(s.Dpy(), window, DefaultRootWindow(s.Dpy()), cx, cy, &x, &y, &child);
        s.Click(Point{x, y});
        s.Idle(300);
    };
    // Below the editor, where it leaves the editor's question in sight.
    s.MoveWindow(window, 40, 620);
    ASSERT_TRUE(s.IdleUntil(kivtest::kPatientMs, [&] {
        Window child = 0;
        int x = 0, y = 0;
        XTranslateCoordinates(s.Dpy(), window, DefaultRootWindow(s.Dpy()), 0, 0, &x, &y, &child);
        return y >= 620;
    })) << "the effect's window did not move below the editor";
    press(375, 97);
    press(475, 15);
    s.Screenshot("effect-window-Dragonfly-Large-Halls", true);
    Toolbar(editor::kNew);
    ASSERT_TRUE(s.IdleUntil(3000, [&] { return Showing("WConfirm"); }))
        << "New does not ask after a hall was picked in the effect's window";
    ASSERT_TRUE(ClickText("XButton", "Yes"));
    EXPECT_TRUE(s.IdleUntil(10000, [&] { return kivtest::ReadFile(saved) != before; }))
        << "the saved performance does not hold the hall picked";
}
