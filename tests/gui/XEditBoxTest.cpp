// The edit box: typing through the filter, caret and selection moves,
// deleting, pasting from the clipboard, the end of an edit and what it
// reports, note names, the caret's blink, drawing, and keys arriving
// through a window.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gui/GuiTestControls.h"
#include "gui/GuiTestLeaks.h"
#include "kiv/gui/HeadlessBackend.h"
#include "kiv/gui/XEdit.h"
#include "kiv/gui/XGraphic.h"
#include "kiv/gui/XInput.h"
#include "kiv/gui/XListener.h"
#include "kiv/gui/XView.h"
#include "kiv/gui/XWindow.h"

namespace {

struct Recorder : XListener {
    int Notify(XControl*, int code, int value) override
    {
        calls.push_back({code, value});
        return 0;
    }
    std::vector<std::pair<int, int>> calls;
};

class EditTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        XBackend::Install(&backend);
        root.SetSize(300, 100);
        edit = new XEdit(&root, 10, 10, 200, 24);
        edit->SetListener(&recorder);
    }
    void TearDown() override { XBackend::Install(nullptr); }

    bool Key(int code, int character = 0)
    {
        XKeyEvent key;
        key.code = code;
        key.character = character;
        return edit->OnKey(key);
    }
    void Type(const char* text)
    {
        for (; *text; ++text)
            Key(0, static_cast<unsigned char>(*text));
    }
    std::string Text() const { return edit->GetText() ? edit->GetText() : ""; }
    // Presses at local x, drags to toX and releases.
    void Select(int fromX, int toX)
    {
        XMouse mouse;
        mouse.SetPress(fromX, 5, 0);
        edit->OnMouseDown(mouse);
        mouse.SetCurrent(toX, 5);
        edit->OnMouseDrag(mouse);
        edit->OnMouseUp(mouse);
    }

    HeadlessBackend backend;
    XControl root;
    XEdit* edit = nullptr;
    Recorder recorder;
};

TEST_F(EditTest, KeysAreIgnoredUntilTheEditBegins)
{
    EXPECT_FALSE(Key(0, 'a'));
    EXPECT_EQ(edit->GetText(), nullptr);
    EXPECT_FALSE(edit->EndEdit(true));
    EXPECT_TRUE(recorder.calls.empty());
}

TEST_F(EditTest, BackspaceAtTheStartAndDeleteAtTheEndChangeNothing)
{
    edit->BeginEdit();
    Type("abc");
    EXPECT_EQ(edit->GetCaret(), 3);
    EXPECT_TRUE(Key(xconst::kKeyDelete));
    EXPECT_EQ(Text(), "abc");
    edit->SetCaret(0);
    EXPECT_TRUE(Key(xconst::kKeyBackspace));
    EXPECT_EQ(Text(), "abc");
    EXPECT_EQ(edit->GetCaret(), 0);

    Key(xconst::kKeyDelete);
    EXPECT_EQ(Text(), "bc");
    Key(xconst::kKeyRight);
    Key(xconst::kKeyBackspace);
    EXPECT_EQ(Text(), "c");
    EXPECT_EQ(edit->GetCaret(), 0);
    // A caret outside the text is refused.
    edit->SetCaret(5);
    EXPECT_EQ(edit->GetCaret(), 0);
}

TEST_F(EditTest, MouseSelectionIsCollapsedByLeftAndRightAndReplacedByTyping)
{
    edit->BeginEdit();
    Type("hello");
    Select(0, 190);
    EXPECT_EQ(edit->GetCaret(), 0);
    EXPECT_EQ(edit->GetSelectionLength(), 5);
    Key(xconst::kKeyRight);
    EXPECT_EQ(edit->GetCaret(), 5);
    EXPECT_EQ(edit->GetSelectionLength(), 0);

    Select(0, 190);
    Key(xconst::kKeyLeft);
    EXPECT_EQ(edit->GetCaret(), 0);
    EXPECT_EQ(edit->GetSelectionLength(), 0);
    Key(xconst::kKeyLeft);
    EXPECT_EQ(edit->GetCaret(), 0);

    Select(190, 0);  // dragged leftwards selects the same
    EXPECT_EQ(edit->GetSelectionLength(), 5);
    Type("x");
    EXPECT_EQ(Text(), "x");
    Select(0, 190);
    Key(xconst::kKeyBackspace);
    EXPECT_EQ(edit->GetText(), nullptr);
}

TEST_F(EditTest, FilterUpperCaseAndFullTextRefuseOrChangeCharacters)
{
    edit->BeginEdit();
    EXPECT_FALSE(Key(0, 9));     // tab character
    EXPECT_FALSE(Key(0, 127));
    EXPECT_FALSE(Key(0, 0xE9));  // above 127
    EXPECT_FALSE(Key(xconst::kKeyCopy));
    EXPECT_EQ(edit->GetText(), nullptr);

    edit->SetFilter(XEdit::kDigits);
    EXPECT_FALSE(Key(0, 'a'));
    EXPECT_TRUE(Key(0, '7'));
    edit->SetFilter(XEdit::kNoteName);
    edit->SetUpperCase(true);
    Type("c#-+.");
    EXPECT_EQ(Text(), "7C#-+");
    edit->SetFilter(XEdit::kPathMarks | XEdit::kDot);
    EXPECT_TRUE(Key(0, '\\'));
    EXPECT_TRUE(Key(0, ':'));
    EXPECT_TRUE(Key(0, '.'));

    edit->SetFilter(0);
    for (int i = 0; i < 2000; ++i)
        Key(0, 'z');
    EXPECT_EQ(edit->GetLength(), xconst::kEditTextSize - 1);
    EXPECT_FALSE(Key(0, 'z'));
}

TEST_F(EditTest, PasteTakesTheFirstLineOfAShortClipboardTextThroughTheFilter)
{
    edit->BeginEdit();
    Type("ab");
    edit->SetCaret(1);
    backend.SetClipboardText("XY\r\nsecond line");
    EXPECT_TRUE(Key(xconst::kKeyPaste));
    EXPECT_EQ(Text(), "aXYb");
    EXPECT_EQ(edit->GetCaret(), 3);

    // 98 characters and the terminator fit the block; 99 do not.
    backend.SetClipboardText(std::string(99, 'q'));
    Key(xconst::kKeyPaste);
    EXPECT_EQ(Text(), "aXYb");
    backend.SetClipboardText(std::string(98, 'q'));
    Key(xconst::kKeyPaste);
    EXPECT_EQ(edit->GetLength(), 4 + 98);

    // A numeric field keeps only the digits of what is pasted, and a
    // selection is replaced.
    edit->EndEdit(false);
    edit->SetFilter(XEdit::kNumeric);
    edit->SetValue(5);
    edit->BeginEdit();
    Select(0, 190);
    backend.SetClipboardText("1a2\t3");
    Key(xconst::kKeyPaste);
    EXPECT_EQ(Text(), "123");

    backend.ClearClipboard();
    Key(xconst::kKeyPaste);
    EXPECT_EQ(Text(), "123");
}

TEST_F(EditTest, EndOfAnEditIsReportedByFilter)
{
    edit->BeginEdit();
    Key(xconst::kKeyReturn);
    edit->BeginEdit();
    Key(xconst::kKeyEscape);
    EXPECT_EQ(recorder.calls, (std::vector<std::pair<int, int>>{{0, 1}, {0, 0}}));
    EXPECT_FALSE(edit->IsEditing());

    recorder.calls.clear();
    edit->SetFilter(XEdit::kNumeric);
    edit->BeginEdit();
    Type("42");
    Key(xconst::kKeyEscape);
    EXPECT_TRUE(recorder.calls.empty());  // a cancelled number says nothing
    edit->BeginEdit();
    Key(xconst::kKeyReturn);
    EXPECT_EQ(recorder.calls, (std::vector<std::pair<int, int>>{{0, 42}}));

    recorder.calls.clear();
    edit->SetFilter(XEdit::kNoteName);
    edit->BeginEdit();
    EXPECT_TRUE(edit->EndEdit(true));
    EXPECT_TRUE(recorder.calls.empty());

    // Losing the capture ends the edit with the commit-on-leave flag.
    edit->SetFilter(0);
    edit->SetCommitOnLeave(true);
    edit->BeginEdit();
    edit->OnCaptureLost();
    edit->OnCaptureLost();  // not editing any more: nothing
    EXPECT_EQ(recorder.calls, (std::vector<std::pair<int, int>>{{0, 1}}));
}

TEST_F(EditTest, ValuesAreWrittenAsNumbersOrNoteNames)
{
    edit->SetValue(-17);
    EXPECT_EQ(Text(), "-17");
    edit->SetFilter(XEdit::kNoteName);
    const std::pair<int, const char*> cases[] = {{61, "C#3"}, {60, "C3"}, {0, "C-2"}, {127, "G8"}, {-1, "B-3"}};
    for (const auto& [n, name] : cases) {
        edit->SetValue(n);
        EXPECT_EQ(Text(), name) << n;
    }
    // A caret left past a shorter new text is pulled back into it.
    edit->SetFilter(0);
    edit->BeginEdit();
    Type("abcdefgh");
    edit->SetValue(7);
    EXPECT_EQ(edit->GetCaret(), 1);
    Type("x");
    EXPECT_EQ(Text(), "7x");
}

TEST_F(EditTest, NumbersAreReadUpToTheFirstOtherCharacterAndCapped)
{
    EXPECT_EQ(XEdit::ParseInt("123"), 123);
    EXPECT_EQ(XEdit::ParseInt("-45"), -45);
    EXPECT_EQ(XEdit::ParseInt("12ab"), 12);
    EXPECT_EQ(XEdit::ParseInt(""), 0);
    EXPECT_EQ(XEdit::ParseInt(nullptr), 0);
    EXPECT_EQ(XEdit::ParseInt("99999999999999999999"), 2147483647);
    EXPECT_EQ(XEdit::ParseInt("-99999999999999999999"), -2147483647 - 1);
}

TEST_F(EditTest, CaretStaysOnAfterAnActionThenBlinks)
{
    edit->BeginEdit();
    std::vector<bool> seen;
    for (int i = 0; i < 40; ++i) {
        edit->OnBlinkTick();
        seen.push_back(edit->IsCaretVisible());
    }
    for (int i = 0; i < 19; ++i)
        EXPECT_TRUE(seen[i]) << i;
    for (int i = 19; i < 29; ++i)
        EXPECT_FALSE(seen[i]) << i;
    for (int i = 29; i < 39; ++i)
        EXPECT_TRUE(seen[i]) << i;
    Type("a");  // any action restarts the hold
    for (int i = 0; i < 19; ++i)
        edit->OnBlinkTick();
    EXPECT_TRUE(edit->IsCaretVisible());
}

TEST_F(EditTest, DrawsSunkenWhenIdleAndARedFrameWhileEditing)
{
    XGraphic g;
    g.BeginPaint(nullptr, 300, 100);
    root.Paint(g, true, XRectangle(0, 0, 300, 100));
    EXPECT_EQ(g.GetPixel(10, 10), XColour::Make(60, 60, 60));
    EXPECT_EQ(g.GetPixel(11, 20), XColour::Scale(XColour::Make(255, 255, 250), 0.5f));
    EXPECT_EQ(g.GetPixel(208, 20), XColour::Scale(XColour::Make(255, 255, 250), 0.8f));

    edit->BeginEdit();
    root.Paint(g, true, XRectangle(0, 0, 300, 100));
    EXPECT_EQ(g.GetPixel(10, 10), XColour::Make(255, 120, 120));
    EXPECT_EQ(g.GetPixel(15, 20), XColour::Make(0, 0, 0));  // the caret of an empty text at x 5

    Type("abc");
    Select(0, 190);
    root.Paint(g, true, XRectangle(0, 0, 300, 100));
    EXPECT_EQ(g.GetPixel(13, 12), XColour::Make(180, 180, 250));  // selection box from x 2, y 2

    edit->SetEnabled(false);
    edit->EndEdit(false);
    root.Paint(g, true, XRectangle(0, 0, 300, 100));
    EXPECT_EQ(g.GetPixel(100, 30), XColour::Make(200, 200, 200));
}

// A text longer than the field scrolls so the caret stays in view; nothing
// (text, caret, selection) is drawn outside the field.
TEST_F(EditTest, LongTextScrollsToKeepTheCaretInsideTheField)
{
    // The x of a full-height caret line inside the field, or -1.
    auto caretColumn = [](XGraphic& g, int margin, int w, int h) {
        for (int x = margin + 1; x < margin + w - 1; ++x) {
            bool line = true;
            for (int y = margin + 3; y <= margin + h - 4 && line; ++y)
                line = g.GetPixel(x, y) == XColour::Make(0, 0, 0);
            if (line)
                return x - margin;
        }
        return -1;
    };
    const int margin = 30;
    edit->SetSize(60, 20);
    XGraphic g;
    edit->BeginEdit();
    Type("abcdefghijklmnopqrstuvwxyz abcdefghijklmnopqrstuvwxyz");
    EXPECT_EQ(guitest::PaintWithMargin(*edit, g, margin), 0);
    EXPECT_GE(caretColumn(g, margin, 60, 20), 50);  // at the end, near the right edge

    for (int i = 0; i < 60; ++i)
        Key(xconst::kKeyLeft);
    EXPECT_EQ(guitest::PaintWithMargin(*edit, g, margin), 0);
    EXPECT_EQ(caretColumn(g, margin, 60, 20), 3);  // back at the start

    // A selection dragged across the whole field stays inside it too.
    Select(1, 59);
    EXPECT_GT(edit->GetSelectionLength(), 0);
    EXPECT_EQ(guitest::PaintWithMargin(*edit, g, margin), 0);

    // Ended, the field shows the start of its text.
    for (int i = 0; i < 60; ++i)
        Key(xconst::kKeyRight);
    edit->EndEdit(true);
    EXPECT_EQ(guitest::PaintWithMargin(*edit, g, margin), 0);
}

TEST_F(EditTest, HintIsDrawnDimmedOnlyWhileTheTextIsEmpty)
{
    auto darkest = [&](XGraphic& g) {
        int low = 255 * 3;
        for (int y = 13; y < 31; ++y) {
            for (int x = 13; x < 200; ++x) {
                XColourValue c = g.GetPixel(x, y);
                low = std::min(low, XColour::Red(c) + XColour::Green(c) + XColour::Blue(c));
            }
        }
        return low;
    };
    XGraphic g;
    g.BeginPaint(nullptr, 300, 100);
    root.Paint(g, true, XRectangle(0, 0, 300, 100));
    int empty = darkest(g);
    edit->SetHint("Search");
    root.Paint(g, true, XRectangle(0, 0, 300, 100));
    int hint = darkest(g);
    edit->SetValue(88);
    root.Paint(g, true, XRectangle(0, 0, 300, 100));
    int text = darkest(g);
    EXPECT_LT(hint, empty);
    EXPECT_LT(text, hint);
    // No text darker than the hint colour.
    XColourValue dim = XColour::Scale(XColour::Make(255, 255, 250), 0.6f);
    EXPECT_GE(hint, XColour::Red(dim) + XColour::Green(dim) + XColour::Blue(dim) - 3);
}

class EditView : public XView {
public:
    EditView()
    {
        SetSize(300, 100);
        edit = new XEdit(this, 10, 10, 200, 24);
    }
    XEdit* edit;
};

TEST_F(EditTest, ClickTypingAndControlVArriveThroughAWindow)
{
    EditView view;
    ASSERT_TRUE(view.OpenWindow());
    backend.Advance(60);
    HeadlessWindow* client = backend.FindByClass("KivControl");
    ASSERT_NE(client, nullptr);
    backend.MouseDown(client, 50, 20, 0);
    backend.MouseUp(client, 50, 20, 0);
    EXPECT_TRUE(view.edit->IsEditing());
    backend.Char(client, 'o');
    backend.Char(client, 'k');
    backend.SetClipboardText("!");
    backend.Char(client, 22, true);
    EXPECT_STREQ(view.edit->GetText(), "ok!");
    backend.KeyDown(client, xconst::kKeyReturn);
    EXPECT_FALSE(view.edit->IsEditing());
    // A click elsewhere takes the capture away from a field being edited.
    backend.Advance(500);
    backend.MouseDown(client, 50, 20, 0);
    backend.MouseUp(client, 50, 20, 0);
    EXPECT_TRUE(view.edit->IsEditing());
    backend.Advance(500);
    backend.MouseDown(client, 250, 80, 0);
    EXPECT_FALSE(view.edit->IsEditing());
    backend.MouseUp(client, 250, 80, 0);
    view.GetWindow()->Close(true);
}

}  // namespace
