// The stacked-instrument view on a tone of loaded layers: the header by
// stack mode, key-switch placement and its menu's starts, the key map's
// scale, octave moves and their limits, edge drags, reordering by dragging
// a layer down, and bar drags writing offsets from the instrument's values.
#include <gtest/gtest.h>

#include <string>

#include "editor/PartUnitConst.h"
#include "editor/XStackView.h"
#include "engine/GigaVoiceTestRig.h"
#include "gui/GuiTestLeaks.h"
#include "kiv/gui/XGraphic.h"
#include "kiv/gui/XInput.h"
#include "kiv/gui/XView.h"

using namespace voicetest;
using namespace partunit;

namespace {

struct StackRig {
    Rig rig;
    XView root;
    XGigaViewStack* view;
    GigaTone* tone;

    explicit StackRig(int layers)
    {
        const std::string piano = rig.Write(gigtools::DemoPianoFixture());
        tone = rig.Tone(0);
        for (int i = 0; i < layers; ++i)
            tone->AddPart(piano.c_str(), i % 2);
        rig.manager.QueuePlayer(&rig.deck);
        rig.manager.RunNow(false);
        // Two octaves in the middle, so ranges can move and switches fit below.
        for (int i = 0; i < tone->GetPartCount(); ++i) {
            tone->GetPart(i)->keyLow = 48;
            tone->GetPart(i)->keyHigh = 72;
        }
        root.SetBounds(0, 0, 864, 600);
        root.SetVisible(true);
        view = new XGigaViewStack(&root, 0, 0, 833, 22 * layers + 24);
        view->Fill(tone);
    }

    // A press, a drag to (x + dx, y + dy) and a release on the key map.
    void DragMap(int x, int y, int dx, int dy, bool fine = false, bool reset = false)
    {
        XStackMap* map = view->GetMap();
        XMouse m;
        m.Clear();
        m.SetPress(x, y, 0);
        m.shift = fine ? 1 : 0;
        m.control = reset ? 1 : 0;
        map->OnMouseDown(m);
        m.SetCurrent(x + dx, y + dy);
        map->OnMouseDrag(m);
        map->OnMouseUp(m);
    }
    // The middle of a layer's box on the map.
    int MidX(int row) const { return (view->GetMap()->GetLeftEdge(row) + view->GetMap()->GetRightEdge(row)) / 2; }
    int RowY(int row) const { return 2 + 22 * row + 10; }
};

}  // namespace

TEST(StackView, HeaderFollowsTheStackMode)
{
    StackRig s(2);
    EXPECT_STREQ(s.view->GetStackModeText(), "Play all parts");
    s.view->ChooseController(7);
    EXPECT_STREQ(s.view->GetStackModeText(), "Control Change");
    EXPECT_TRUE(s.view->IsControllerBoxShown());
    EXPECT_STREQ(s.view->GetControllerText(), "CC7");
    s.view->ChooseController(17);
    EXPECT_STREQ(s.view->GetControllerText(), "17: General Purpose 2");
    s.view->ChooseStackMode(kModeVelocity);
    EXPECT_STREQ(s.view->GetStackModeText(), "Velocity");
    EXPECT_FALSE(s.view->IsControllerBoxShown());
    s.tone->SetStackMode(kModeRoundRobin);
    s.view->SetHeader();
    EXPECT_STREQ(s.view->GetStackModeText(), "Round Robin");
}

TEST(StackView, KeySwitchModePlacesTheRangeBelowThePlayedKeys)
{
    StackRig s(2);
    ASSERT_EQ(s.tone->GetKeySwitchHigh(), 0);
    s.view->ChooseStackMode(kModeKeySwitch);
    EXPECT_TRUE(s.view->IsKeySwitchBoxShown());
    const int lowest = s.tone->GetLowestKey();
    EXPECT_EQ(s.tone->GetKeySwitchLow(), lowest - 2);
    EXPECT_EQ(s.tone->GetKeySwitchHigh(), lowest - 1);
    char text[32];
    XGigaViewStack::FormatKeyRange(lowest - 2, lowest - 1, text, sizeof text);
    EXPECT_STREQ(s.view->GetKeySwitchText(), text);

    // The menu offers white starts from 21 whose range ends below the played keys.
    int starts[128];
    const int count = s.view->CollectKeySwitchStarts(starts, 128);
    ASSERT_GT(count, 0);
    EXPECT_EQ(starts[0], 21);
    for (int i = 0; i < count; ++i)
        EXPECT_LT(starts[i] + 1, lowest) << starts[i];
    ASSERT_TRUE(s.view->ChooseKeySwitchStart(starts[0]));
    EXPECT_EQ(s.tone->GetKeySwitchLow(), 21);
    EXPECT_EQ(s.tone->GetKeySwitchHigh(), 22);
    EXPECT_STREQ(s.view->GetKeySwitchText(), "A-1  A#-1");
}

TEST(StackView, KeyMapScaleMapsPixelsBackToKeys)
{
    for (int key = 0; key < 128; ++key) {
        const int left = XStackMap::KeyLeft(key);
        const int right = XStackMap::KeyRight(key);
        EXPECT_EQ(right - left, 15) << key;
        const int k = key % 12;
        const bool white = k != 1 && k != 3 && k != 6 && k != 8 && k != 10;
        if (white) {
            EXPECT_EQ(XStackMap::KeyAt(left + 7), key) << key;
        }
    }
    EXPECT_EQ(XStackMap::KeyLeft(12) - XStackMap::KeyLeft(0), 105);
    EXPECT_EQ(XStackMap::KeyAt(-100000), 0);
    EXPECT_EQ(XStackMap::KeyAt(100000), 127);
}

TEST(StackView, WholeRangeMovesInOctavesUnlessFine)
{
    StackRig s(2);
    GigaPart* part = s.tone->GetPart(0);
    ASSERT_EQ(part->keyOffset, 0);
    const int x = s.MidX(0);
    // Five white keys right is 8 or 9 semitones: less than an octave.
    s.DragMap(x, s.RowY(0), 5 * 15, 0);
    EXPECT_EQ(part->keyOffset, 0);
    // Eight white keys right: 13 or 14 semitones, one octave.
    s.DragMap(x, s.RowY(0), 8 * 15 + 2, 0);
    EXPECT_EQ(part->keyOffset, 12);
    // Fine: any number of keys.
    const int xNow = s.MidX(0);
    s.DragMap(xNow, s.RowY(0), 15, 0, true);
    EXPECT_GT(part->keyOffset, 12);
    EXPECT_LT(part->keyOffset, 15);
    // The reset modifier puts the instrument's own range back.
    s.DragMap(s.MidX(0), s.RowY(0), 0, 0, false, true);
    EXPECT_EQ(part->keyOffset, 0);
}

TEST(StackView, RangesStayInsideTheKeyboard)
{
    StackRig s(2);
    GigaPart* low = s.tone->GetPart(0);
    low->keyLow = 0;
    low->keyHigh = 10;
    GigaPart* high = s.tone->GetPart(1);
    high->keyLow = 100;
    high->keyHigh = 127;
    s.view->Fill(s.tone);
    s.DragMap(s.MidX(0), s.RowY(0), -300, 0, true);
    EXPECT_EQ(low->keyOffset, 0);
    s.DragMap(s.MidX(1), s.RowY(1), 300, 0, true);
    EXPECT_EQ(high->keyOffset, 0);
}

TEST(StackView, RightEdgeNeverReachesTheLowKey)
{
    StackRig s(2);
    GigaPart* part = s.tone->GetPart(0);
    part->keyLow = 60;
    part->keyHigh = 72;
    s.view->Fill(s.tone);
    const int right = s.view->GetMap()->GetRightEdge(0);
    s.DragMap(right - 2, s.RowY(0), -1000, 0);
    EXPECT_EQ(part->keyHigh, 61);
    const int left = s.view->GetMap()->GetLeftEdge(0);
    s.DragMap(left + 2, s.RowY(0), 1000, 0);
    EXPECT_EQ(part->keyLow, 60);
    EXPECT_LT(part->keyLow, part->keyHigh);
}

TEST(StackView, DraggingALayerDownTwoRowsReordersAndKeepsItSelected)
{
    StackRig s(3);
    GigaPart* dragged = s.tone->GetPart(0);
    s.DragMap(s.MidX(0), s.RowY(0), 0, 44);
    EXPECT_EQ(s.tone->GetPart(2), dragged);
    EXPECT_EQ(s.view->GetMap()->GetRow(), 2);
}

TEST(StackView, BarDragsWriteLevelsAndOffsetsFromTheInstrumentsValues)
{
    StackRig s(2);
    GigaPart* part = s.tone->GetPart(1);
    XMouse m;
    m.Clear();
    // Volume on the "mix" page: a whole column's width is the whole range.
    const auto& volume = XGigaViewStack::kColumns[XGigaViewStack::kColVolume];
    const int y = 25 + 22 + 5;
    part->level = 0;
    s.tone->SetModified(false);
    m.SetPress(volume.x + 10, y, 0);
    ASSERT_TRUE(s.view->OnMouseDown(m));
    m.SetCurrent(volume.x + 10 + volume.width / 2, y);
    s.view->OnMouseDrag(m);
    s.view->OnMouseUp(m);
    EXPECT_EQ(part->level, 63);
    EXPECT_TRUE(s.tone->IsModified()) << "an edited layer left the performance as saved";
    // Mute column toggles the layer's mute.
    m.SetPress(XGigaViewStack::kColumns[XGigaViewStack::kColMute].x + 4, y, 0);
    s.view->OnMouseDown(m);
    EXPECT_TRUE(part->mute);

    // Attack on "vca": the value is base + offset and 80 pixels the whole 0..10.
    s.view->SetPage(XGigaViewStack::kPageVca);
    const float base = part->ampAverage[GigaPart::kAttack];
    part->ampSettings[GigaPart::kAttack] = 0.0f;
    m.SetPress(250 + 123 + 5, y, 0);
    ASSERT_TRUE(s.view->OnMouseDown(m));
    m.SetCurrent(250 + 123 + 5 + 8, y);
    s.view->OnMouseDrag(m);
    s.view->OnMouseUp(m);
    EXPECT_NEAR(base + part->ampSettings[GigaPart::kAttack], std::min(base + 1.0f, 10.0f), 1e-4);
    // The reset modifier clears the offset.
    m.SetPress(250 + 123 + 5, y, 0);
    m.control = 1;
    s.view->OnMouseDown(m);
    EXPECT_EQ(part->ampSettings[GigaPart::kAttack], 0.0f);
    // Every page paints.
    XGraphic g;
    for (int page = 0; page < 4; ++page) {
        s.view->SetPage(page);
        g.BeginPaint(nullptr, 864, 600);
        s.root.Paint(g, true, XRectangle(0, 0, 864, 600));
    }
}

TEST(StackView, LayerChoicesTellTheUnitToLoad)
{
    StackRig s(2);
    struct Rec : XListener {
        int Notify(XControl*, int code, int) override
        {
            last = code;
            return 0;
        }
        int last = 0;
    } rec;
    s.view->SetListener(&rec);
    s.view->UnloadLayer(1);
    EXPECT_EQ(rec.last, kCodeLoad);
    EXPECT_EQ(s.tone->GetPart(1)->GetProgramIndex(), -1);
    s.view->ChooseLayerOutput(0, 5);
    EXPECT_EQ(s.tone->GetPart(0)->bus, 5 - s.tone->GetBus());
    s.view->UnloadLayer(7);  // no such layer: nothing
}
