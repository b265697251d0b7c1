// The editor's small modal dialogs: the save-changes question and its three
// answers (buttons, Return and Escape) reaching the opener with its tag, the
// about box's link opening the product page, and the popup frame's drawing.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <vector>

#include "editor/EditorConst.h"
#include "editor/WAbout.h"
#include "editor/WConfirm.h"
#include "editor/WPopup.h"
#include "gui/GuiTestLeaks.h"
#include "kiv/gui/XButton.h"
#include "kiv/gui/XGraphic.h"
#include "kiv/gui/XInput.h"
#include "support/TestSupport.h"

namespace {

// An editor-like opener that records what its modal children close with.
class Opener : public XView {
public:
    Opener()
    {
        SetBounds(0, 0, 833, 400);
        SetVisible(true);
    }
    void OnModalClosed(XView* child, int result) override
    {
        tags.push_back(child->GetModalTag());
        results.push_back(result);
    }
    void Key(int code)
    {
        XKeyEvent key;
        key.code = code;
        HandleKey(key);
    }
    std::vector<uint32_t> tags;
    std::vector<int> results;
};

std::string Question(const char* path)
{
    char text[editor::kConfirmTextSize];
    WConfirm::FormatQuestion(path, text, sizeof text);
    return text;
}

}  // namespace

TEST(WConfirm, QuestionNamesTheFileOfThePath)
{
    EXPECT_EQ(Question("C:\\Music\\Sets\\set.tv2"), "Save changes to set.tv2?");
    EXPECT_EQ(Question("/home/me/sets/live.tv2"), "Save changes to live.tv2?");
    EXPECT_EQ(Question("plain.tv2"), "Save changes to plain.tv2?");
    EXPECT_EQ(Question(""), "Save changes to Untitled?");
    EXPECT_EQ(Question(nullptr), "Save changes to Untitled?");
}

TEST(WConfirm, LongNamesAreCutToFitWithAnEllipsis)
{
    std::string path = "/x/" + std::string(500, 'n') + ".tv2";
    std::string question = Question(path.c_str());
    EXPECT_EQ(question.size(), static_cast<size_t>(editor::kConfirmTextSize - 1));
    EXPECT_EQ(question.rfind("...?"), question.size() - 4);
    EXPECT_EQ(question.rfind("Save changes to nnn", 0), 0u);

    // A cut never splits a UTF-8 character.
    std::string wide;
    for (int i = 0; i < 200; ++i)
        wide += "\xC3\xA9";
    question = Question(wide.c_str());
    size_t end = question.size() - 4;
    EXPECT_NE(static_cast<unsigned char>(question[end - 1]), 0xC3);
}

TEST(WConfirm, LayoutFollowsTheDialogsEdges)
{
    WConfirm confirm("C:\\a\\set.tv2");
    EXPECT_EQ(confirm.GetWidth(), 401);
    EXPECT_EQ(confirm.GetHeight(), 66);
    EXPECT_STREQ(confirm.GetQuestion(), "Save changes to set.tv2?");
    EXPECT_EQ(confirm.GetYesButton()->GetX(), 401 - 90);
    EXPECT_EQ(confirm.GetNoButton()->GetX(), 401 - 180);
    EXPECT_EQ(confirm.GetCancelButton()->GetX(), 401 - 270);
    EXPECT_EQ(confirm.GetYesButton()->GetY(), 66 - 30);
    EXPECT_EQ(confirm.GetYesButton()->GetWidth(), 80);
    EXPECT_EQ(confirm.GetYesButton()->GetHeight(), 22);

    XGraphic g;
    g.BeginPaint(nullptr, 401, 66);
    confirm.SetPosition(0, 0);
    confirm.PaintTree(g, true);
    EXPECT_EQ(g.GetPixel(0, 30), XColour::Make(255, 255, 255));
    EXPECT_EQ(g.GetPixel(5, 40), XColour::Make(250, 250, 250));
}

TEST(WConfirm, AnswersReachTheOpenerWithTheTag)
{
    struct Case {
        const char* how;
        int result;
    };
    const Case cases[] = {{"yes", 1}, {"no", 0}, {"cancel", -1}, {"return", 1}, {"escape", -1}};
    for (const Case& c : cases) {
        Opener opener;
        auto* confirm = new WConfirm("C:\\sets\\set.tv2");
        opener.OpenModal(confirm, fourcc("NPrf"));
        ASSERT_EQ(opener.GetModalChild(), confirm);
        int x = confirm->GetX(), y = confirm->GetY();
        std::string how = c.how;
        XButton* button = how == "yes" ? confirm->GetYesButton()
                          : how == "no" ? confirm->GetNoButton()
                          : how == "cancel" ? confirm->GetCancelButton()
                                            : nullptr;
        if (button) {
            int bx = x + button->GetX() + 10, by = y + button->GetY() + 10;
            opener.HandleMouseDown(bx, by, 0, false, false);
            opener.HandleMouseUp(bx, by, 0);
        } else {
            opener.Key(how == "return" ? xconst::kKeyReturn : xconst::kKeyEscape);
        }
        opener.Tick(1);
        ASSERT_EQ(opener.results.size(), 1u) << c.how;
        EXPECT_EQ(opener.results[0], c.result) << c.how;
        EXPECT_EQ(opener.tags[0], fourcc("NPrf"));
        EXPECT_EQ(opener.GetModalChild(), nullptr);
    }
}

TEST(WAbout, TitleSizeAndLinkOpenTheProductPage)
{
    kivtest::TempDir dir;
    std::string record = dir.File("opened.txt");
    std::string script = dir.File("opener.sh");
    std::string body = "#!/bin/sh\nprintf '%s' \"$1\" > '" + record + "'\n";
    ASSERT_TRUE(kivtest::WriteFile(script, body.data(), body.size()));
    ASSERT_EQ(chmod(script.c_str(), 0755), 0);
    setenv("KIV_OPEN_COMMAND", script.c_str(), 1);

    Opener opener;
    auto* about = new WAbout();
    EXPECT_EQ(about->GetWidth(), 460);
    EXPECT_EQ(about->GetHeight(), 80);
    EXPECT_STREQ(about->GetText(), "About Tessivo");
    EXPECT_STREQ(about->GetLink()->GetText(), editor::kWebHost);
    EXPECT_EQ(about->GetLink()->GetX(), 20);
    EXPECT_EQ(about->GetLink()->GetY(), 80 - 30);
    opener.OpenModal(about, 0);
    int lx = about->GetX() + 25, ly = about->GetY() + 80 - 30 + 5;
    opener.HandleMouseDown(lx, ly, 0, false, false);
    opener.HandleMouseUp(lx, ly, 0);
    std::string opened;
    for (int i = 0; i < 6000 && opened.empty(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        opened = kivtest::ReadFile(record);
    }
    unsetenv("KIV_OPEN_COMMAND");
    EXPECT_EQ(opened, editor::kProductPage);

    opener.Key(xconst::kKeyEscape);
    opener.Tick(1);
    ASSERT_EQ(opener.results.size(), 1u);
    EXPECT_EQ(opener.GetModalChild(), nullptr);
}

TEST(WPopup, FrameAroundADarkGradient)
{
    WPopup popup;
    popup.SetBounds(0, 0, 100, 60);
    popup.SetColour(3, XColour::Make(200, 10, 10));
    XGraphic g;
    g.BeginPaint(nullptr, 100, 60);
    popup.PaintTree(g, true);
    EXPECT_EQ(g.GetPixel(1, 30), XColour::Make(200, 10, 10));
    EXPECT_EQ(g.GetPixel(98, 58), XColour::Make(200, 10, 10));
    XColourValue top = g.GetPixel(50, 3);
    XColourValue bottom = g.GetPixel(50, 56);
    EXPECT_NEAR(XColour::Red(top), 40, 2);
    EXPECT_NEAR(XColour::Blue(top), 59, 2);
    EXPECT_NEAR(XColour::Red(bottom), 20, 2);
    EXPECT_LT(XColour::Blue(bottom), XColour::Blue(top));
}
