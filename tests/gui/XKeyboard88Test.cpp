// ctest-label: thread
// The 88-key keyboard: its picture, hit testing and velocity, ranges,
// octave shift, mouse play with glissando, notes from the engine (audio
// thread) and full and incremental drawing.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "gui/GuiTestLeaks.h"
#include "kiv/gui/XGraphic.h"
#include "kiv/gui/XInput.h"
#include "kiv/gui/XKeyboard88.h"
#include "kiv/gui/XPic.h"
#include "support/TestSupport.h"

namespace {

using Log = std::vector<std::string>;

class NoteSink : public midi::Input {
public:
    void NoteOn(int channel, int key, int velocity, int) override
    {
        log.push_back("on " + std::to_string(channel) + " " + std::to_string(key) + " " + std::to_string(velocity));
    }
    void NoteOff(int channel, int key, int, int) override
    {
        log.push_back("off " + std::to_string(channel) + " " + std::to_string(key));
    }
    void Controller(int, int, int, int) override {}
    void PitchBend(int, int, int, int) override {}
    void ProgramChange(int, int) override {}
    void AllNotesOff(int) override {}
    Log log;
};

struct Keyboard {
    Keyboard()
    {
        root.SetBounds(0, 0, keys88::kWidth, keys88::kHeight);
        keyboard = new XKeyboard88(&root, 0, 0, keys88::kWidth, keys88::kHeight);
        keyboard->SetNoteSink(&sink);
    }
    // A mouse event at a point of the keyboard.
    XMouse& At(int x, int y)
    {
        mouse.SetCurrent(x, y);
        return mouse;
    }
    void Paint(bool forced)
    {
        graphic.BeginPaint(nullptr, keys88::kWidth, keys88::kHeight);
        root.Paint(graphic, forced, XRectangle(0, 0, keys88::kWidth, keys88::kHeight));
    }
    XControl root;
    XKeyboard88* keyboard;
    NoteSink sink;
    XMouse mouse;
    XGraphic graphic;
};

// x in the middle of a key's front (white) or block (black), and a y on it.
int KeyCentreX(int note) { return keys88::KeyX(note - 21) + keys88::KeyWidth(note - 21) / 2; }
int KeyY(int note) { return keys88::IsBlack(note - 21) ? 30 : 70; }

int Brightness(XColourValue c) { return XColour::Red(c) + XColour::Green(c) + XColour::Blue(c); }

}  // namespace

TEST(XKeyboard88, PictureIsEmbeddedWithTheKeyboardsGeometry)
{
    XPic pic;
    ASSERT_TRUE(pic.Load("keys88.png"));
    EXPECT_EQ(pic.GetWidth(), 780);
    EXPECT_EQ(pic.GetHeight(), 79);
    // C1 is white at x 30; C#1 black at 40..47; the last key C8 ends at 779.
    EXPECT_GT(Brightness(pic.GetPixel(35, 70)), 600);
    EXPECT_GT(Brightness(pic.GetPixel(35, 20)), 600);
    EXPECT_LT(Brightness(pic.GetPixel(43, 20)), 200);
    EXPECT_GT(Brightness(pic.GetPixel(49, 20)), 600);
    EXPECT_GT(Brightness(pic.GetPixel(772, 20)), 600);
}

TEST(XKeyboard88, NoteAtPointFollowsTheDrawnKeys)
{
    Keyboard k;
    struct Case {
        int x, y, note;
    } cases[] = {
        {0, 70, 21},    {14, 70, 21},  {15, 70, 23},  {12, 20, 22},  {30, 70, 24},  {40, 20, 25},
        {47, 20, 25},   {48, 20, 26},  {40, 60, 24},  {57, 20, 27},  {85, 20, 30},  {101, 20, 32},
        {117, 20, 34},  {135, 20, 36}, {779, 70, 108}, {780, 70, -1}, {-1, 70, -1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(k.keyboard->NoteAtPoint(c.x, c.y), c.note) << "x " << c.x << " y " << c.y;
    ASSERT_TRUE(k.keyboard->SetOctaveShift(1));
    EXPECT_EQ(k.keyboard->NoteAtPoint(30, 70), 36);
    EXPECT_EQ(k.keyboard->NoteAtPoint(779, 70), 120);
}

TEST(XKeyboard88, VelocityRisesFromTheTopOfAKeyToItsFront)
{
    Keyboard k;
    int velocity = -1;
    k.keyboard->NoteAtPoint(35, 0, &velocity);
    EXPECT_EQ(velocity, 0);
    k.keyboard->NoteAtPoint(35, 78, &velocity);
    EXPECT_GT(velocity, 120);
    int mid = 0;
    k.keyboard->NoteAtPoint(35, 40, &mid);
    EXPECT_GT(mid, 0);
    EXPECT_LT(mid, velocity);
    // A black key measures against its own height.
    k.keyboard->NoteAtPoint(43, 48, &velocity);
    EXPECT_GT(velocity, 120);
}

TEST(XKeyboard88, RangesAreClampedToTheShownNotes)
{
    Keyboard k;
    int low, high;
    k.keyboard->SetPlayRange(0, 127);
    k.keyboard->GetPlayRange(low, high);
    EXPECT_EQ(low, 21);
    EXPECT_EQ(high, 108);
    k.keyboard->SetKeySwitchRange(10, 30);
    k.keyboard->GetKeySwitchRange(low, high);
    EXPECT_EQ(low, 21);
    EXPECT_EQ(high, 30);
    k.keyboard->SetKeySwitchRange(110, 120);  // wholly above the keyboard
    k.keyboard->GetKeySwitchRange(low, high);
    EXPECT_EQ(low, 0);
    EXPECT_EQ(high, 0);
    k.keyboard->ClearRanges();
    k.keyboard->GetPlayRange(low, high);
    EXPECT_EQ(high, 0);
}

TEST(XKeyboard88, NotesOutsideBothRangesAreNeverLit)
{
    Keyboard k;
    k.keyboard->SetPlayRange(48, 72);
    k.keyboard->SetKeySwitchRange(36, 40);
    k.keyboard->NoteOn(3, 30, 100, 17);
    EXPECT_FALSE(k.keyboard->IsNotePressed(30));
    k.keyboard->NoteOn(3, 38, 100, 17);
    EXPECT_TRUE(k.keyboard->IsNotePressed(38));
    k.keyboard->NoteOn(3, 200, 100, 0);  // hostile key numbers are ignored
    k.keyboard->NoteOn(3, -5, 100, 0);
    // The mouse on a key outside both ranges lights nothing and plays nothing.
    k.keyboard->OnMouseDown(k.At(KeyCentreX(30), KeyY(30)));
    k.keyboard->OnMouseUp(k.At(KeyCentreX(30), KeyY(30)));
    EXPECT_FALSE(k.keyboard->IsNotePressed(30));
    EXPECT_TRUE(k.sink.log.empty());
}

TEST(XKeyboard88, NoteOnWithVelocityZeroOrNoteOffReleasesAKey)
{
    Keyboard k;
    k.keyboard->SetPlayRange(21, 108);
    k.keyboard->NoteOn(0, 60, 90, 0);
    EXPECT_TRUE(k.keyboard->IsNotePressed(60));
    EXPECT_TRUE(k.keyboard->HasChanged());
    k.keyboard->NoteOn(0, 60, 0, 0);
    EXPECT_FALSE(k.keyboard->IsNotePressed(60));
    k.keyboard->NoteOn(0, 61, 90, 0);
    k.keyboard->NoteOff(0, 61, 0, 0);
    EXPECT_FALSE(k.keyboard->IsNotePressed(61));
    EXPECT_TRUE(k.sink.log.empty());  // engine notes never go back to the sink
}

TEST(XKeyboard88, AKeyLitBeforeItsRangeChangedStillGoesDark)
{
    Keyboard k;
    k.keyboard->SetPlayRange(48, 72);
    k.keyboard->NoteOn(0, 60, 90, 0);
    k.keyboard->SetPlayRange(30, 40);
    k.keyboard->NoteOff(0, 60, 0, 0);
    EXPECT_FALSE(k.keyboard->IsNotePressed(60));
}

TEST(XKeyboard88, OctaveShiftBeyondTheMidiRangeIsRefused)
{
    Keyboard k;
    k.keyboard->SetPlayRange(21, 108);
    k.keyboard->NoteOn(0, 60, 90, 0);
    EXPECT_FALSE(k.keyboard->SetOctaveShift(2));
    EXPECT_FALSE(k.keyboard->SetOctaveShift(-2));
    EXPECT_EQ(k.keyboard->GetLowestNote(), 21);
    EXPECT_TRUE(k.keyboard->IsNotePressed(60));
    EXPECT_TRUE(k.keyboard->SetOctaveShift(-1));
    EXPECT_EQ(k.keyboard->GetLowestNote(), 9);
    EXPECT_EQ(k.keyboard->GetHighestNote(), 96);
    EXPECT_FALSE(k.keyboard->IsNotePressed(60));  // notes are cleared
}

TEST(XKeyboard88, MousePlaysTheKeyUnderThePointerOnChannelZero)
{
    Keyboard k;
    k.keyboard->SetPlayRange(21, 108);
    int velocity = 0;
    k.keyboard->NoteAtPoint(KeyCentreX(60), 70, &velocity);
    EXPECT_TRUE(k.keyboard->OnMouseDown(k.At(KeyCentreX(60), 70)));
    EXPECT_TRUE(k.keyboard->IsNotePressed(60));
    EXPECT_EQ(k.keyboard->GetHeldNote(), 60);
    k.keyboard->OnMouseUp(k.At(KeyCentreX(60), 70));
    EXPECT_FALSE(k.keyboard->IsNotePressed(60));
    EXPECT_EQ(k.keyboard->GetHeldNote(), -1);
    EXPECT_EQ(k.sink.log, (Log{"on 0 60 " + std::to_string(velocity), "off 0 60"}));
}

TEST(XKeyboard88, DragAcrossKeysReleasesTheOldKeyBeforePressingTheNew)
{
    Keyboard k;
    k.keyboard->SetPlayRange(21, 108);
    k.keyboard->OnMouseDown(k.At(KeyCentreX(60), 70));
    k.keyboard->OnMouseDrag(k.At(KeyCentreX(60) + 1, 71));  // same key: nothing
    k.keyboard->OnMouseDrag(k.At(KeyCentreX(62), 70));
    ASSERT_EQ(k.sink.log.size(), 3u);
    EXPECT_EQ(k.sink.log[1], "off 0 60");
    EXPECT_EQ(k.sink.log[2].rfind("on 0 62 ", 0), 0u);
    // Leaving the control releases the held key and holds none.
    k.keyboard->OnMouseDrag(k.At(KeyCentreX(62), 200));
    EXPECT_EQ(k.sink.log.back(), "off 0 62");
    EXPECT_EQ(k.keyboard->GetHeldNote(), -1);
    // Releasing outside releases nothing more, even where a key lies in x.
    k.keyboard->NoteOn(0, 64, 100, 0);  // lit by the engine
    k.keyboard->OnMouseUp(k.At(KeyCentreX(64), 70));
    EXPECT_EQ(k.sink.log.size(), 4u);
    EXPECT_TRUE(k.keyboard->IsNotePressed(64));
}

TEST(XKeyboard88, FullDrawShowsRangesAndPressedKeysIncrementalDrawOnlyChanges)
{
    Keyboard k;
    XPic plain, pressed, greyed;
    ASSERT_TRUE(plain.Load("keys88.png"));
    ASSERT_TRUE(pressed.Load("keys88.png"));
    pressed.Tint(XColour::Make(0, 0, 60), 0.5f);
    ASSERT_TRUE(greyed.Load("keys88.png"));
    greyed.Scale(0.4f);
    k.keyboard->SetPlayRange(48, 72);
    k.keyboard->SetKeySwitchRange(36, 38);
    k.keyboard->NoteOn(0, 60, 100, 0);
    k.Paint(false);
    auto at = [&](int note) {
        int x = KeyCentreX(note), y = KeyY(note);
        return k.graphic.GetPixel(x, y);
    };
    auto from = [&](const XPic& pic, int note) { return pic.GetPixel(KeyCentreX(note), KeyY(note)); };
    EXPECT_EQ(at(30), from(greyed, 30));
    EXPECT_EQ(at(50), from(plain, 50));
    EXPECT_EQ(at(49), from(plain, 49));
    EXPECT_EQ(at(60), from(pressed, 60));
    EXPECT_NE(at(37), from(greyed, 37));  // key-switch colour
    EXPECT_NE(at(37), from(plain, 37));
    EXPECT_FALSE(k.keyboard->HasChanged());

    // The engine releases 60 and presses 61 (black): the next tick redraws
    // only those two keys.
    k.keyboard->NoteOff(0, 60, 0, 0);
    k.keyboard->NoteOn(0, 61, 100, 0);
    k.keyboard->RefreshIfChanged();
    EXPECT_TRUE(k.keyboard->IsDirty());
    k.Paint(false);
    EXPECT_EQ(at(60), from(plain, 60));
    EXPECT_EQ(at(61), from(pressed, 61));
    // The white key's part beside the black key is its own again.
    EXPECT_EQ(k.graphic.GetPixel(keys88::KeyX(60 - 21) + 2, 20), plain.GetPixel(keys88::KeyX(60 - 21) + 2, 20));
    EXPECT_FALSE(k.keyboard->HasChanged());
    k.keyboard->RefreshIfChanged();
    EXPECT_FALSE(k.keyboard->IsDirty());
}

TEST(XKeyboard88, LowestKeysAreDrawnWithTheOctaveShiftedDown)
{
    Keyboard k;
    ASSERT_TRUE(k.keyboard->SetOctaveShift(-1));
    k.keyboard->SetPlayRange(9, 96);
    k.Paint(false);
    XPic pressed;
    ASSERT_TRUE(pressed.Load("keys88.png"));
    pressed.Tint(XColour::Make(0, 0, 60), 0.5f);
    k.keyboard->NoteOn(0, 9, 100, 0);  // the leftmost key, A-1
    k.keyboard->RefreshIfChanged();
    k.Paint(false);
    EXPECT_EQ(k.graphic.GetPixel(7, 70), pressed.GetPixel(7, 70));
}

TEST(XKeyboard88, EngineNotesAllocateNothingAndRaceTheGuiSafely)
{
    Keyboard k;
    k.keyboard->SetPlayRange(21, 108);
    {
        kivtest::AllocCounter counter;
        for (int note = 0; note < 128; ++note) {
            k.keyboard->NoteOn(0, note, 100, 0);
            k.keyboard->NoteOff(0, note, 0, 0);
        }
        EXPECT_EQ(counter.Count(), 0);
    }
    std::atomic<bool> stop{false};
    std::thread audio([&] {
        for (int i = 0; i < 20000; ++i) {
            int note = 21 + i % 88;
            k.keyboard->NoteOn(0, note, 100, 0);
            k.keyboard->NoteOff(0, note - (i % 3), 0, 0);
        }
        stop.store(true, std::memory_order_release);
    });
    int note = 40;
    while (!stop.load(std::memory_order_acquire)) {
        k.keyboard->RefreshIfChanged();
        k.Paint(false);
        k.keyboard->PressNote(note, 90);
        k.keyboard->ReleaseNote(note);
        note = note == 90 ? 40 : note + 1;
    }
    audio.join();
    for (int n = 21; n <= 108; ++n)
        k.keyboard->NoteOff(0, n, 0, 0);
    k.keyboard->RefreshIfChanged();
    k.Paint(false);
    for (int n = 21; n <= 108; ++n)
        ASSERT_FALSE(k.keyboard->IsNotePressed(n));
}
