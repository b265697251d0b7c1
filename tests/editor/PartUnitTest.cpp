// ctest-label: thread
// The part unit and its rack on a loaded .gig player: the loaded tone
// selects its unit and turns green, stacked tones show the stacked panel,
// the rack's load rule, tuning modes, drops that are refused, mute and solo
// through the rack's group, knobs writing part offsets, and notifications
// from another thread that only store values until the GUI tick.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "editor/PartUnitConst.h"
#include "editor/XDimList.h"
#include "editor/XGigaName.h"
#include "editor/XGigaRack.h"
#include "editor/XGigaView.h"
#include "editor/XStackView.h"
#include "editor/XTogLed.h"
#include "editor/XValTop.h"
#include "editor/XViewNav.h"
#include "engine/GigaVoiceTestRig.h"
#include "gui/GuiTestLeaks.h"
#include "kiv/gui/XGraphic.h"
#include "kiv/gui/XSlider.h"
#include "kiv/gui/XView.h"

using namespace voicetest;
using namespace partunit;

namespace {

struct Recorder : XListener {
    int Notify(XControl* sender, int code, int value) override
    {
        (void)sender;
        (void)value;
        codes.push_back(code);
        return 0;
    }
    int Count(int code) const
    {
        int n = 0;
        for (int c : codes)
            n += c == code;
        return n;
    }
    std::vector<int> codes;
};

// A rack of the rig's player inside a root view; the editor pointer stays
// null, as the rack needs none for these paths.
struct RackRig {
    Rig rig;
    XView root;
    XGigaRack* rack;
    Recorder editor;

    RackRig()
    {
        root.SetBounds(0, 0, 864, 560);
        root.SetVisible(true);
        rack = new XGigaRack(&root, 0, 52, 0, kRackHeight);
        rack->Populate(&rig.deck, nullptr);
        rack->SetListener(&editor);
    }
    ~RackRig()
    {
        rig.manager.WaitIdle(10000);
    }
    // Has the loader load what the units queued and runs the GUI tick.
    void Settle()
    {
        ASSERT_TRUE(rig.manager.WaitIdle(10000));
        rig.Render();
        rack->Poll();
    }
};

}  // namespace

TEST(PartUnit, RackHoldsOneUnitPerToneStackedOneBelowTheOther)
{
    RackRig r;
    ASSERT_EQ(r.rack->GetUnitCount(), 16);
    EXPECT_EQ(r.rack->GetHeight(), 1 + 16 * (kTopHeight + 1));
    XGigaView* third = r.rack->GetUnit(2);
    EXPECT_STREQ(third->GetNumber()->GetText(), "3");
    EXPECT_STREQ(third->GetOutputBox()->GetText(), "5|6");
    EXPECT_STREQ(third->GetNameBox()->GetText(), "No instrument");
    EXPECT_EQ(r.rack->GetMemberCount(), 16);
    EXPECT_EQ(r.rack->GetMember(2), third);
}

TEST(PartUnit, LoadedToneSelectsItsUnitAndShowsGreenWithItsProgram)
{
    RackRig r;
    const std::string piano = r.rig.Write(gigtools::DemoPianoFixture());
    ASSERT_TRUE(r.rack->GetUnit(0)->LoadIntoUnit(piano.c_str(), 0));
    r.Settle();
    XGigaView* unit = r.rack->GetUnit(0);
    GigaTone* tone = unit->GetGigaTone();
    EXPECT_EQ(tone->GetState(), giga::kToneShown);
    EXPECT_EQ(r.editor.Count(kCodeSelect), 1);
    EXPECT_EQ(unit->GetNameBox()->GetNameColour(), kTextLoaded);
    EXPECT_STREQ(unit->GetNameBox()->GetText(), tone->GetDisplayName().CStr());
    EXPECT_EQ(unit->GetNameBox()->GetProgress(), editor::kNoProgress);
    // The single part fills the panel: information lines and enabled knobs.
    EXPECT_STRNE(unit->GetProgInfo()->GetLine(1), "");
    EXPECT_TRUE(unit->GetKnob(kKnobAttack)->IsEnabled());
    EXPECT_EQ(unit->GetPanelInUse(), unit->GetPlainPanel());
    // A second poll does not select it again.
    r.rack->Poll();
    EXPECT_EQ(r.editor.Count(kCodeSelect), 1);
}

TEST(PartUnit, TwoPartsShowTheStackedPanelWithTheToggleOnAndDisabled)
{
    RackRig r;
    const std::string piano = r.rig.Write(gigtools::DemoPianoFixture());
    GigaTone* tone = r.rig.Tone(1);
    tone->AddPart(piano.c_str(), 0);
    tone->AddPart(piano.c_str(), 1);
    r.rig.manager.QueueTone(tone);
    r.rig.manager.StartLoading(false);
    r.Settle();
    XGigaView* unit = r.rack->GetUnit(1);
    ASSERT_NE(unit->GetStackView(), nullptr);
    EXPECT_TRUE(tone->IsStacked());
    EXPECT_EQ(unit->GetStackToggle()->GetState(), 1);
    EXPECT_FALSE(unit->GetStackToggle()->IsEnabled());
    EXPECT_EQ(unit->GetPanelInUse(), unit->GetStackView());
    EXPECT_EQ(unit->GetStackView()->GetHeight(), 22 * 2 + 24);
    // Opening the unit shows the stacked panel and the slot follows.
    unit->SetExpanded(true);
    EXPECT_EQ(unit->GetHeight(), 68 + kTopHeight);
    EXPECT_EQ(unit->GetParent()->GetHeight(), 68 + kTopHeight);
    r.rack->StackUnits();
    EXPECT_EQ(r.rack->GetHeight(), 1 + 16 * (kTopHeight + 1) + 68);
}

TEST(PartUnit, RackLoadTakesTheFirstEmptyUnitAndNothingWhenAllAreOccupied)
{
    RackRig r;
    const std::string piano = r.rig.Write(gigtools::DemoPianoFixture());
    for (int i = 0; i < 16; ++i)
        if (i != 5)
            r.rig.Tone(i)->AddPart(piano.c_str(), 0);
    r.rig.manager.QueuePlayer(&r.rig.deck);
    r.rig.manager.StartLoading(false);
    r.Settle();
    r.rack->SelectUnit(0);
    ASSERT_TRUE(r.rack->LoadIntoRack(piano.c_str(), 1));
    r.Settle();
    EXPECT_EQ(r.rig.Tone(5)->GetPartCount(), 1);
    EXPECT_EQ(r.rig.Tone(5)->GetPart(0)->GetProgramIndex(), 1);
    // Every unit occupied and the selected tone not stacked: nothing.
    EXPECT_FALSE(r.rack->LoadIntoRack(piano.c_str(), 0));
    EXPECT_EQ(r.rig.Tone(0)->GetPartCount(), 1);
    // A stacked selected tone takes another layer.
    r.rig.Tone(0)->SetStacked(true);
    ASSERT_TRUE(r.rack->LoadIntoRack(piano.c_str(), 1));
    r.Settle();
    EXPECT_EQ(r.rig.Tone(0)->GetPartCount(), 2);
}

TEST(PartUnit, TuningModeSwitchesTheFaderRangeAndShowsThatTune)
{
    RackRig r;
    XGigaView* unit = r.rack->GetUnit(0);
    GigaTone* tone = unit->GetGigaTone();
    tone->SetFineTune(40);
    tone->SetCoarseTune(-7);
    unit->Refresh();
    EXPECT_EQ(unit->GetTuningFader()->GetMax(), 99);
    EXPECT_EQ(unit->GetTuningFader()->GetValue(), 40);
    unit->GetTuningMode()->ChooseMode(XSelFader::kCoarse);
    EXPECT_EQ(unit->GetTuningFader()->GetMin(), -24);
    EXPECT_EQ(unit->GetTuningFader()->GetMax(), 24);
    EXPECT_EQ(unit->GetTuningFader()->GetValue(), -7);
    // Switching wrote neither tune back.
    EXPECT_EQ(tone->GetFineTune(), 40);
    EXPECT_EQ(tone->GetCoarseTune(), -7);
    unit->GetTuningFader()->SetValue(12);
    EXPECT_EQ(tone->GetCoarseTune(), 12);
    EXPECT_EQ(tone->GetFineTune(), 40);
}

TEST(PartUnit, FadersAndOutputChoiceWriteTheTone)
{
    RackRig r;
    XGigaView* unit = r.rack->GetUnit(3);
    GigaTone* tone = unit->GetGigaTone();
    unit->GetVolumeFader()->SetValue(100);
    unit->GetPanFader()->SetValue(20);
    EXPECT_EQ(tone->GetVolume(), 100);
    EXPECT_EQ(tone->GetPan(), 20);
    EXPECT_STREQ(unit->GetPanCaption()->GetText(), "L44");
    unit->ChooseOutput(7);
    EXPECT_EQ(tone->GetBus(), 7);
    EXPECT_STREQ(unit->GetOutputBox()->GetText(), "15|16");
    unit->ChooseOutput(16);  // no such pair
    EXPECT_EQ(tone->GetBus(), 7);
}

TEST(PartUnit, MuteAndSoloGoThroughTheRacksGroupToTheTones)
{
    RackRig r;
    XGigaView* a = r.rack->GetUnit(0);
    XGigaView* b = r.rack->GetUnit(1);
    b->GetSoloLed()->SetState(1);
    b->Notify(b->GetSoloLed(), 0, 1);
    EXPECT_TRUE(b->GetGigaTone()->IsSoloed());
    EXPECT_FALSE(b->GetGigaTone()->IsToneMuted());
    EXPECT_TRUE(a->GetGigaTone()->IsToneMuted());
    EXPECT_EQ(a->GetMuteLed()->GetState(), 1);
    b->GetSoloLed()->SetState(0);
    b->Notify(b->GetSoloLed(), 0, 0);
    EXPECT_FALSE(a->GetGigaTone()->IsToneMuted());
    EXPECT_FALSE(b->GetGigaTone()->IsSoloed());
    a->GetMuteLed()->SetState(1);
    a->Notify(a->GetMuteLed(), 0, 1);
    EXPECT_TRUE(a->GetGigaTone()->IsToneMuted());
    EXPECT_EQ(r.editor.Count(kCodeMute), 0);  // the rack handles them
}

TEST(PartUnit, KnobsStoreOffsetsFromTheInstrumentsOwnValues)
{
    RackRig r;
    const std::string piano = r.rig.Write(gigtools::DemoPianoFixture());
    XGigaView* unit = r.rack->GetUnit(0);
    unit->LoadIntoUnit(piano.c_str(), 0);
    r.Settle();
    GigaPart* part = unit->GetGigaTone()->GetPart(0);
    ASSERT_NE(part, nullptr);
    XKnob* attack = unit->GetKnob(kKnobAttack);
    EXPECT_NEAR(attack->GetDefault(), part->ampAverage[GigaPart::kAttack], 0.05);
    attack->SetValue(attack->GetDefault() + 1.0);
    EXPECT_NEAR(part->ampSettings[GigaPart::kAttack], 1.0, 0.06);
    // The key offset is stored negated and tells the editor 'keyb'.
    unit->GetKnob(kKnobKeyOffset)->SetValue(5);
    EXPECT_EQ(part->keyOffset, -5);
    EXPECT_GE(r.editor.Count(kCodeKeys), 1);
    // The filter switched on with a closed cutoff opens it a little.
    if (unit->GetFilterToggle()->IsEnabled()) {
        unit->GetKnob(kKnobCutoff)->SetValue(0);
        unit->GetFilterToggle()->SetState(1);
        unit->Notify(unit->GetFilterToggle(), 0, 1);
        EXPECT_EQ(part->filterUse, 1);
        EXPECT_NEAR(unit->GetKnob(kKnobCutoff)->GetValue(), 0.05, 1e-9);
    }
}

TEST(PartUnit, TreeDropWithoutABankOrPresetIsRefusedAndListDropsAreTaken)
{
    RackRig r;
    XGigaView* unit = r.rack->GetUnit(0);
    auto* tree = new XTreeGiga(&r.root, 0, 300, 200, 200);
    XTreeView::Node* folder = tree->AddFolder(nullptr, "Folder", 2);
    XTreeView::Node* bank = tree->AddItem(nullptr, "a.gig", kTreeTypeBank);
    tree->AddItem(nullptr, "b.tvpreset", kTreeTypePreset);
    (void)folder;
    (void)bank;
    // Nothing selected in the tree: refused.
    EXPECT_FALSE(unit->OnDragEnter(tree, kDragTree));
    EXPECT_EQ(unit->GetSelectionState() & kDragHover, 0);
    EXPECT_TRUE(unit->OnDragEnter(tree, kDragInst));
    EXPECT_NE(unit->GetSelectionState() & kDragHover, 0);
    unit->OnDragLeave(tree, kDragInst);
    EXPECT_EQ(unit->GetSelectionState() & kDragHover, 0);
    EXPECT_FALSE(unit->OnDragEnter(tree, fourcc("link")));
}

TEST(PartUnit, NotificationsFromAnotherThreadWaitForTheTick)
{
    RackRig r;
    XGigaView* unit = r.rack->GetUnit(4);
    GigaTone* tone = unit->GetGigaTone();
    std::atomic<bool> stop{false};
    std::thread engine([&] {
        for (int i = 0; i < 2000 && !stop.load(); ++i) {
            unit->OnToneEvent(tone, kOvNotifyProgress, i % 120);
            unit->OnToneEvent(tone, kOvNotifyNotesHeld, i & 1);
            unit->OnToneEvent(tone, kOvNotifyState, giga::kToneLoadingSamples);
            unit->OnToneEvent(tone, kOvNotifyKeys, 0);
        }
        unit->OnToneEvent(tone, kOvNotifyState, giga::kToneReadingSamples);
    });
    XGraphic g;
    for (int i = 0; i < 20; ++i) {
        g.BeginPaint(nullptr, 864, 560);
        r.root.Paint(g, true, XRectangle(0, 0, 864, 560));
    }
    engine.join();
    EXPECT_STREQ(unit->GetNameBox()->GetShownText(), "Loading File...");
    EXPECT_LE(unit->GetNameBox()->GetProgress(), 100);
    // 'keyb' reached the editor only on the tick, and once.
    EXPECT_EQ(r.editor.Count(kCodeKeys), 0);
    r.rack->Poll();
    EXPECT_EQ(r.editor.Count(kCodeKeys), 1);

    // A finished load is shown on the tick, not on the loader's thread.
    tone->SetState(giga::kToneLoaded);
    EXPECT_EQ(r.editor.Count(kCodeSelect), 0);
    EXPECT_EQ(unit->GetNameBox()->GetNameColour(), kTextLoaded);
    r.rack->Poll();
    EXPECT_EQ(r.editor.Count(kCodeSelect), 1);
}

TEST(PartUnit, ControllerMovesShowOnTheFadersAtTheTick)
{
    RackRig r;
    const std::string piano = r.rig.Write(gigtools::DemoPianoFixture());
    XGigaView* unit = r.rack->GetUnit(0);
    unit->LoadIntoUnit(piano.c_str(), 0);
    r.Settle();
    GigaTone* tone = unit->GetGigaTone();
    tone->SetWatched(kOvCtrlVolume, true);
    tone->SetWatched(kOvCtrlPan, true);
    r.rig.deck.Controller(0, 7, 33, 0);
    r.rig.deck.Controller(0, 10, 100, 0);
    r.rig.Render();
    r.rack->Poll();
    EXPECT_EQ(unit->GetVolumeFader()->GetValue(), 33);
    EXPECT_EQ(unit->GetPanFader()->GetValue(), 100);
}

TEST(PartUnit, LoadsThatLeaveSamplesOrFilesOutSayWhatIsWrong)
{
    RackRig r;
    // A bank copied without its extension file: it loads, but two of its
    // three samples are not there.
    const std::string bank = r.rig.Write(gigtools::ExtensionFixture());
    const std::string extension = r.rig.dir.File("Extension Bank.gx01");
    const std::string away = r.rig.dir.File("away.gx01");
    ASSERT_EQ(rename(extension.c_str(), away.c_str()), 0);
    // A file that is there but is no bank, and a file that is not there.
    const std::string corrupt = r.rig.dir.File("Corrupt.gig");
    ASSERT_TRUE(kivtest::WriteFile(corrupt, std::string(4096, 'x').data(), 4096));
    const std::string gone = r.rig.dir.File("Gone.gig");
    // A wave without its format: refused, not played as noise.
    gigtools::RiffNode tree = gigtools::DemoPianoFixture().bank.BuildTree("Formatless");
    tree.Find("fmt ")->rawId = "junk";
    const std::string formatless = r.rig.dir.File("Formatless.gig");
    ASSERT_TRUE(gigtools::WriteBytes(formatless, tree.Serialize()));
    // Waves whose format gives a rate of 1 Hz and of 0 Hz: silent, and said so.
    gigtools::RiffNode slowTree = gigtools::DemoPianoFixture().bank.BuildTree("Slow");
    std::vector<gigtools::RiffNode*> formats = slowTree.FindAll("fmt ");
    ASSERT_GE(formats.size(), 2u);
    for (int i = 0; i < 2; ++i)
        for (int b = 0; b < 4; ++b)
            formats[i]->Data()[4 + b] = static_cast<uint8_t>(b == 0 ? 1 - i : 0);
    const std::string slow = r.rig.dir.File("Slow.gig");
    ASSERT_TRUE(gigtools::WriteBytes(slow, slowTree.Serialize()));

    struct Case {
        std::string path;
        int partState;
        int toneState;
        XColourValue colour;
        const char* note;
        const char* missingPath;
    } cases[] = {
        {bank, giga::kPartLoaded, giga::kToneShown, kTextPartial, "Missing: Extension Bank.gx01",
         extension.c_str()},
        {corrupt, giga::kPartFailed, giga::kToneFailed, kStatFailed, "Unreadable: Corrupt.gig", nullptr},
        {gone, giga::kPartMissing, giga::kToneFailed, kStatFailed, "Missing: Gone.gig", gone.c_str()},
        {formatless, giga::kPartLoaded, giga::kToneShown, kTextPartial, "1 sample silent", nullptr},
        {slow, giga::kPartLoaded, giga::kToneShown, kTextPartial, "2 samples silent", nullptr},
    };
    const int count = static_cast<int>(std::size(cases));
    for (int i = 0; i < count; ++i)
        ASSERT_TRUE(r.rack->GetUnit(i)->LoadIntoUnit(cases[i].path.c_str(), 0));
    r.Settle();
    for (int i = 0; i < count; ++i) {
        const Case& c = cases[i];
        XGigaView* unit = r.rack->GetUnit(i);
        GigaPart* part = unit->GetGigaTone()->GetPart(0);
        ASSERT_NE(part, nullptr) << c.path;
        EXPECT_EQ(part->GetState(), c.partState) << c.path;
        EXPECT_EQ(unit->GetGigaTone()->GetState(), c.toneState) << c.path;
        EXPECT_EQ(unit->GetNameBox()->GetNameColour(), c.colour) << c.path;
        EXPECT_EQ(unit->GetNameBox()->GetNote(), c.note) << c.path;
        EXPECT_STREQ(part->GetMissingPath(), c.missingPath) << c.path;
    }
    // The name stays; the note shows while the pointer is over the box.
    XGigaName* name = r.rack->GetUnit(0)->GetNameBox();
    EXPECT_STREQ(name->GetShownText(), "Extended Strings");
    name->OnMouseEnter();
    EXPECT_STREQ(name->GetShownText(), cases[0].note);
    name->OnMouseLeave();

    // The extension file found elsewhere: the part loads again and plays it all.
    GigaHooks::AddMovedFile(extension.c_str(), away.c_str());
    GigaPart* part = r.rack->GetUnit(0)->GetGigaTone()->GetPart(0);
    part->SetPath(bank.c_str());
    r.rack->GetUnit(0)->GetGigaTone()->SetState(giga::kToneToLoad);
    r.rig.manager.QueuePlayer(&r.rig.deck);
    r.rig.manager.StartLoading(false);
    r.Settle();
    EXPECT_EQ(part->GetUnusableCount(), 0);
    EXPECT_EQ(part->GetMissingPath(), nullptr);
    EXPECT_EQ(name->GetNote(), "");
    EXPECT_EQ(name->GetNameColour(), kTextLoaded);
}
