// The editor as a musician uses it: tessivo.so opened through its VST face,
// its editor in a real window on a private X server, pressed with real
// pointer and key input, and the outcome checked in the host's chunk, in
// the audio and on disk. Screens of each main view go to
// <build>/e2e-screens. Skipped (with the reason) when no X server starts.
#include <gtest/gtest.h>

#include <sys/stat.h>

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
