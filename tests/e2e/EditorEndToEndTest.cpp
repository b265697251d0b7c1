// The editor as a musician uses it: tessivo.so opened through its VST face,
// its editor in a real window on a private X server, pressed with real
// pointer and key input, and the outcome checked in the host's chunk, in
// the audio and on disk. Screens of each main view go to
// <build>/e2e-screens. Skipped (with the reason) when no X server starts.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include <string>

#include "e2e/EditorSession.h"
#include "editor/GigaEditorConst.h"
#include "gig/GigFixtures.h"

using e2e::EditorSession;
using e2e::Point;
using e2e::ViewTree;

namespace {

bool Exists(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

class EditorEndToEnd : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!s.Start()) {
            if (!s.Error().empty())
                FAIL() << s.Error();
            GTEST_SKIP() << s.SkipReason();
        }
    }
    // Writes the demo banks into the session's scratch folder.
    std::string WriteBanks()
    {
        auto paths = gigtools::WriteAllFixtures(s.Scratch());
        return paths.empty() ? std::string() : paths.front();
    }
    // Presses toolbar button n as a person does.
    void Toolbar(int n)
    {
        ViewTree tree = s.Tree();
        int button = tree.Find("XButtonPic", n, tree.Roots().at(0));
        ASSERT_GE(button, 0) << "no toolbar button " << n;
        s.Click(s.ScreenCentre(tree, button));
    }
    // Clicks the shown control of class cls with this text inside the
    // dialog whose root view is of class `dialog`.
    bool ClickText(const char* dialog, const char* cls, const char* text)
    {
        ViewTree tree = s.Tree();
        int root = tree.Find(dialog);
        int node = root >= 0 ? tree.FindText(cls, text, root) : -1;
        if (node < 0)
            return false;
        s.Click(s.ScreenCentre(tree, node));
        return true;
    }
    // Clicks the n-th button of the dialog whose root view is of class
    // `dialog` (WConfirm: 0 Yes, 1 No, 2 Cancel).
    bool ClickButtonText(const char* dialog, int n)
    {
        ViewTree tree = s.Tree();
        int root = tree.Find(dialog);
        int button = root >= 0 ? tree.Find("XButton", n, root) : -1;
        if (button < 0)
            return false;
        s.Click(s.ScreenCentre(tree, button));
        return true;
    }
    bool Shown(const char* cls)
    {
        ViewTree tree = s.Tree();
        return tree.Find(cls) >= 0;
    }

    EditorSession s;
};

}  // namespace

// The rack's units are painted when the editor opens and again when the
// host closes and reopens it (nothing of the hidden mixer covers them).
TEST_F(EditorEndToEnd, RackIsPaintedOnOpenAndReopen)
{
    for (int round = 0; round < 2; ++round) {
        ViewTree tree = s.Tree();
        int unit = tree.Find("XGigaViewTop");
        ASSERT_GE(unit, 0) << tree.Text();
        EXPECT_LT(tree.Find("GMixer"), 0) << "the hidden mixer is listed as shown";
        // The top bar's face, between the number and the name box.
        Point p = s.Screen(tree, unit, tree[unit].At(40, 3));
        EXPECT_NE(s.Pixel(p), 0u) << "round " << round << ": the rack is black";
        if (round == 0) {
            s.Screenshot("rack-open");
            s.CloseEditor();
            s.Idle(60);
            s.OpenEditor();
            s.Idle(200);
        }
    }
}

// Every toolbar button and the logo, pressed as a person presses them.
TEST_F(EditorEndToEnd, ToolbarButtonsAndLogoDoTheirJobs)
{
    using namespace editor;
    std::string gig = WriteBanks();
    ASSERT_FALSE(gig.empty());
    ASSERT_TRUE(s.SetChunk(EditorSession::ChunkFor(gig, 0)));
    s.Idle(200);
    s.Screenshot("rack-loaded");

    // Panes: each opens its view and closes it again.
    struct Pane {
        int button;
        const char* view;
        const char* screen;
    };
    for (const Pane& pane : {Pane{kBrowse, "XViewNav", "browser"}, Pane{kSearch, "XViewBase", "search"},
                             Pane{kMixer, "GMixer", "mixer"}, Pane{kExpand, "XGigaViewBot", "rack-expanded"}}) {
        Toolbar(pane.button);
        EXPECT_TRUE(Shown(pane.view)) << pane.view << " did not open";
        s.Screenshot(pane.screen);
        Toolbar(pane.button);
        EXPECT_FALSE(Shown(pane.view)) << pane.view << " did not close";
    }
    EXPECT_TRUE(Shown("XGigaView"));

    // Dialogs: settings and the logo's about box open as windows of their own.
    for (const char* dialog : {"WSettings", "WAbout"}) {
        if (std::string(dialog) == "WSettings") {
            Toolbar(kSettings);
        } else {
            ViewTree tree = s.Tree();
            s.Click(s.ScreenCentre(tree, tree.Find("XLogo")));
        }
        ASSERT_TRUE(s.IdleUntil(2000, [&] { return Shown(dialog); })) << dialog << " did not open";
        s.Screenshot(std::string("dialog-") + dialog, true);
        if (std::string(dialog) == "WSettings")
            ASSERT_TRUE(ClickText(dialog, "XButton", "Ok")) << s.Tree().Text();
        else
            s.Key("Escape");  // the about box has no button of its own
        EXPECT_TRUE(s.IdleUntil(2000, [&] { return !Shown(dialog); })) << dialog << " did not close\n"
                                                                        << s.Tree().Text();
    }

    // Save as asks for a name; Save writes to it again without asking.
    std::string file = s.Scratch() + "/performance.tv2";
    setenv("KIV_DIALOG_ANSWER", file.c_str(), 1);
    Toolbar(kSaveAs);
    EXPECT_TRUE(s.IdleUntil(3000, [&] { return Exists(file); })) << "Save as wrote nothing";
    unsetenv("KIV_DIALOG_ANSWER");
    unlink(file.c_str());
    Toolbar(kSave);
    EXPECT_TRUE(s.IdleUntil(3000, [&] { return Exists(file); })) << "Save wrote nothing";
    EXPECT_NE(kivtest::ReadFile(file).find("Demo Piano"), std::string::npos);

    // Reset empties the units; Open brings the saved performance back.
    Toolbar(kReset);
    EXPECT_TRUE(s.IdleUntil(2000, [&] { return s.UnitPaths().at(0).empty(); })) << "Reset kept the instrument";
    setenv("KIV_DIALOG_ANSWER", file.c_str(), 1);
    Toolbar(kOpen);
    if (s.IdleUntil(500, [&] { return Shown("WConfirm"); }))
        ASSERT_TRUE(ClickButtonText("WConfirm", 1));  // "No": nothing to keep
    EXPECT_TRUE(s.IdleUntil(3000, [&] { return s.UnitPaths().at(0) == gig; })) << "Open did not restore the unit";
    unsetenv("KIV_DIALOG_ANSWER");

    // New, after a change, asks first; "No" empties the units.
    ViewTree tree = s.Tree();
    int volume = tree.Find("XFader", 0);
    ASSERT_GE(volume, 0);
    s.Drag(s.ScreenCentre(tree, volume), s.Screen(tree, volume, tree[volume].At(10, 9)));
    Toolbar(kNew);
    ASSERT_TRUE(s.IdleUntil(2000, [&] { return Shown("WConfirm"); })) << "New did not ask";
    ASSERT_TRUE(ClickButtonText("WConfirm", 1));
    EXPECT_TRUE(s.IdleUntil(2000, [&] { return s.UnitPaths().at(0).empty(); })) << "New kept the instrument";
}
