// Real windows on an X server: a private Xvfb started by the test (skipped
// when Xvfb is not installed or does not start). Checks what the headless
// tests cannot: WM_CLASS, pixels on the server, clicks through the server,
// and that a bad parent window fails cleanly instead of ending the process.
#include <gtest/gtest.h>

#include <string>

#include "gui/GuiTestLeaks.h"
#include "kiv/gui/X11Backend.h"
#include "kiv/gui/XView.h"
#include "kiv/gui/XWindow.h"
#include "support/X11ServerTest.h"

namespace {

class Clicks : public XControl {
public:
    Clicks(XControl* parent, int* count) : XControl(parent, 10, 10, 40, 40), m_count(count)
    {
        SetColour(0, XColour::Make(0, 160, 0));
    }
    bool OnMouseDown(XMouse&) override
    {
        ++*m_count;
        return true;
    }

private:
    int* m_count;
};

class X11WindowTest : public kivtest::X11ServerTest<800, 600> {
protected:
    void SetUp() override
    {
        X11ServerTest::SetUp();
        if (IsSkipped())
            return;
        ASSERT_EQ(XBackend::Get(), backend);
    }

};

}  // namespace

TEST_F(X11WindowTest, WindowCarriesItsClassPaintsAndTakesClicks)
{
    int clicks = 0;
    XView view;
    view.SetSize(120, 80);
    view.SetColour(0, XColour::Make(30, 60, 90));
    view.SetText("Tessivo test");
    new Clicks(&view, &clicks);
    ASSERT_TRUE(view.OpenWindow());
    XWindow* window = view.GetWindow();
    uintptr_t frame = view.GetWindowHandle();
    uintptr_t client = window->GetClientWindow()->GetHandle();
    ASSERT_NE(frame, 0u);

    XColourValue pixel = 0;
    EXPECT_TRUE(PumpUntil([&] {
        return window->IsTimerRunning() && backend->ReadPixel(client, 100, 70, pixel) &&
               pixel == XColour::Make(30, 60, 90);
    }));
    ASSERT_TRUE(backend->ReadPixel(client, 20, 20, pixel));
    EXPECT_EQ(pixel, XColour::Make(0, 160, 0));

    if (kivtest::HaveProgram("xprop")) {
        std::string wmClass = kivtest::RunCommand("xprop -id " + std::to_string(frame) + " WM_CLASS");
        EXPECT_NE(wmClass.find("\"KivWindow\""), std::string::npos) << wmClass;
    }
    if (kivtest::HaveProgram("xdotool")) {
        std::string found = kivtest::RunCommand("xdotool search --class KivWindow");
        EXPECT_NE(found.find(std::to_string(frame)), std::string::npos) << found;
        kivtest::RunCommand("xdotool mousemove --window " + std::to_string(client) + " 20 20 click 1");
        EXPECT_TRUE(PumpUntil([&] { return clicks == 1; }));
    }

    view.Close(0);
    EXPECT_TRUE(PumpUntil([&] { return view.GetWindow()->GetFrame() == nullptr; }));
}

TEST_F(X11WindowTest, ChildOfAMissingWindowFailsWithoutEndingTheProcess)
{
    // Xlib's default error handler would exit the process on BadWindow.
    auto child = backend->CreateChild(0x3FFFFFF, "KivControlVst", 0, 0, 10, 10);
    EXPECT_EQ(child, nullptr);

    // A host that destroys its window before our child goes: the child's
    // destruction must not end the process either.
    XWindowDesc desc;
    desc.className = "HostWindow";
    desc.w = 50;
    desc.h = 50;
    auto host = backend->CreateTopLevel(desc);
    ASSERT_NE(host, nullptr);
    auto editor = backend->CreateChild(host->GetHandle(), "KivControlVst", 0, 0, 20, 20);
    ASSERT_NE(editor, nullptr);
    host.reset();
    editor.reset();
    backend->Sync();
    SUCCEED();
}
