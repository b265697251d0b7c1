// Mixer strips and the editor's mixer view: value readings, what each
// control writes into the studio, refreshing from the studio, the effect
// switches and panels, the plug-in and output menus, mute and solo through
// the group, the layout after a strip widens and the meters.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "editor/GMixer.h"
#include "editor/MixerConst.h"
#include "editor/XTrack.h"
#include "editor/XTrackControls.h"
#include "editor/XTrackPan.h"
#include "editor/XViewEffect.h"
#include "editor/gvalue.h"
#include "engine/GigaBankManager.h"
#include "engine/GigaDeck.h"
#include "engine/GigaDiskThread.h"
#include "engine/GigaPrefs.h"
#include "engine/GigaStudio.h"
#include "engine/GigaTone.h"
#include "engine/OvMixerConstants.h"
#include "engine/OvPlayer.h"
#include "engine/OvStudio.h"
#include "engine/GigaLoaderTestBanks.h"
#include "gui/GuiTestLeaks.h"
#include "kiv/file/Dir.h"
#include "kiv/gui/XMenu.h"
#include "kiv/gui/XView.h"
#include "support/TestSupport.h"
#include "vst/PlugCacheWriter.h"
#include "vst/PlugInfoList.h"

namespace {

struct Root : XView {
    Root(int w, int h) { SetBounds(0, 0, w, h); }
};

// A strip on its own in a root view, driving a plain studio.
struct StripRig {
    Root root{200, 420};
    OvStudio studio;
    XTrack* track;
    explicit StripRig(int channel = 2)
    {
        track = new XTrack(&root, 0, 0, mixer::kStripWidth, mixer::kStripHeight, channel);
        track->SetStudio(&studio);
    }
    float Param(int number) const { return studio.GetMixerParam(track->GetChannel(), number); }
};

// An insert that only has a name.
class NamedInsert : public OvInsert {
public:
    explicit NamedInsert(const char* name) : m_name(name) {}
    void Process(float*, float*, int) noexcept override {}
    const char* GetName() const override { return m_name.c_str(); }
    int GetChunk(kiv::data&) override { return 0; }
    void SetChunk(const void*, int) override {}
    void SetSampleRate(int) override {}
    void SetBlockSize(int) override {}
    void CloseView() override {}

private:
    std::string m_name;
};

// Opens a NamedInsert for every entry except one named "broken.so".
class NamedFactory : public OvInsertFactory {
public:
    NamedFactory() { OvStudio::SetInsertFactory(this); }
    ~NamedFactory() override { OvStudio::SetInsertFactory(nullptr); }
    std::unique_ptr<OvInsert> Open(PlugInfo* info) override
    {
        ++opened;
        if (!info || std::strcmp(info->GetName(), "broken.so") == 0)
            return nullptr;
        return std::make_unique<NamedInsert>(info->GetName());
    }
    std::unique_ptr<OvInsert> OpenByName(const char* name) override { return std::make_unique<NamedInsert>(name); }
    int opened = 0;
};

// The process-wide plug-in list, read from an older cache of three vendors.
struct ListScope {
    PlugInfoList list;
    ListScope()
    {
        file::Dir common(file::kCommonAppData);
        EXPECT_TRUE(common.EnterOrCreate("Quillane"));
        std::string cache = common.GetFilePath("mixertest64", "cache");
        EXPECT_TRUE(vsttest::WritePlugCache(cache, "/plugins/",
                                            {{"/plugins/verb.so", "Zed", "verb.so", 1},
                                             {"/plugins/synth.so", "Acme", "synth.so", 2},
                                             {"/plugins/delay.so", "Bolt", "delay.so", 1},
                                             {"/plugins/broken.so", "Bolt", "broken.so", 1}}));
        EXPECT_TRUE(list.Load("Quillane", "mixertest"));
        PlugInfoList::SetProcessList(&list);
    }
    ~ListScope() { PlugInfoList::SetProcessList(nullptr); }
};

// A player that writes constants into chosen channel buses.
class SignalPlayer : public OvPlayer {
public:
    bool OnInit() override { return true; }
    int Render(audio::Buffers* buses, int frames) noexcept override
    {
        for (int bus = 0; bus < kOvMixerChannels; ++bus) {
            float v = level[bus].load(std::memory_order_relaxed);
            if (v == 0.0f)
                continue;
            for (int c = 0; c < 2; ++c) {
                float* out = buses->GetChannel(bus, c);
                for (int i = 0; i < frames; ++i)
                    out[i] = v;
            }
            buses->SetHasSignal(bus, true);
        }
        return frames;
    }
    std::atomic<float> level[kOvMixerChannels] = {};
};

std::vector<std::string> Items(const XMenu& menu)
{
    std::vector<std::string> out;
    for (int i = 0; i < menu.CountEntries(); ++i)
        out.push_back(menu.GetEntry(i).text.GetText());
    return out;
}

std::string Shown(const gvalue& v) { return v.GetText() ? v.GetText() : ""; }

}  // namespace

TEST(gvalue, DecibelAndPanReadings)
{
    struct Case {
        int mode;
        double x;
        const char* text;
    } cases[] = {
        {mixer::kValueDecibel, 0.0, "-oo"},     {mixer::kValueDecibel, 1.0, "0.0"},
        {mixer::kValueDecibel, 0.5, "-18.1"},   {mixer::kValueDecibel, 0.00001, "-oo"},
        {mixer::kValueDecibel, 0.0001, "-oo"},  // -240 dB is below what is shown
        {mixer::kValueDecibel, -0.5, "-oo"},    {mixer::kValuePan, 0.0, "<C>"},
        {mixer::kValuePan, -0.25, "L25"},       {mixer::kValuePan, 0.004, "<C>"},
        {mixer::kValuePan, -0.004, "<C>"},      {mixer::kValuePan, 1.0, "R100"},
        {mixer::kValuePan, -1.0 + 129 * 0.01, "R29"},  // a stepped slider value
        {mixer::kValuePan, 1e30, "R1000"},      {mixer::kValueFormat, 2.5, "2"},
    };
    for (const Case& c : cases) {
        char text[32];
        gvalue::Format(c.mode, "%.0f", c.x, text, sizeof text);
        EXPECT_STREQ(text, c.text) << "mode " << c.mode << " x " << c.x;
    }
}

TEST(gvalue, FollowsItsSliderColouredBySideOfTheDefault)
{
    Root root(100, 100);
    auto* slider = new XSlider(&root, 0, 0, 50, 10);
    slider->SetRange(-6, 6, 0.1, 0);
    slider->SetDefault(0);
    auto* value = new gvalue(&root, 0, 20, 40, 14);
    EXPECT_FALSE(value->SetFormat("%s"));
    EXPECT_FALSE(value->SetFormat("%f %f"));
    EXPECT_FALSE(value->SetFormat("%d"));
    ASSERT_TRUE(value->SetFormat("%+.1f dB"));
    value->SetSignColour(true);
    slider->SetValueListener(value);

    slider->SetValue(-2);
    EXPECT_EQ(Shown(*value), "-2.0 dB");
    EXPECT_EQ(value->GetColour(2), mixer::kValueBelow);
    slider->SetValue(3);
    EXPECT_EQ(Shown(*value), "+3.0 dB");
    EXPECT_EQ(value->GetColour(2), mixer::kValueAbove);
    slider->SetValue(0);
    EXPECT_EQ(value->GetColour(2), mixer::kValueText);
}

TEST(XTrackFader, ScaleLinesNarrowDownwardsAndEndOnTallFaders)
{
    int ys[64];
    int n = XTrackFader::ScaleLines(150, ys, 64);
    std::vector<int> lines(ys, ys + n);
    EXPECT_EQ(lines, (std::vector<int>{14, 38, 59, 77, 92, 105, 116, 125, 132}));
    // The spacing would reach 0 on a very tall fader; the lines still end.
    EXPECT_EQ(XTrackFader::ScaleLines(100000, ys, 64), 64);
    EXPECT_EQ(XTrackFader::ScaleLines(20, ys, 64), 0);
}

TEST(XTrack, ControlsWriteTheirMixerParameters)
{
    StripRig rig;
    EXPECT_STREQ(rig.track->GetLabel()->GetText(), "5-6");
    rig.track->GetFader()->SetValue(0.5);
    EXPECT_FLOAT_EQ(rig.Param(kOvMixLevel), 0.5f);
    EXPECT_STREQ(rig.track->GetFaderValue()->GetText(), "-18.1");
    rig.track->GetBalance()->SetValue(-0.3);
    EXPECT_NEAR(rig.Param(kOvMixPan), -0.3f, 1e-6);

    XMouse mouse;
    XTrackPan* pan = rig.track->GetPan();
    float hx, hy;
    pan->GetHandlePosition(XTrackPan::kRight, hx, hy);
    mouse.SetPress(static_cast<int>(hx), static_cast<int>(hy), 0);
    ASSERT_TRUE(pan->OnMouseDown(mouse));
    mouse.SetCurrent(static_cast<int>(hx) - 60, static_cast<int>(hy));
    pan->OnMouseDrag(mouse);
    pan->OnMouseUp(mouse);
    EXPECT_FLOAT_EQ(rig.Param(kOvMixLeftPan), -1.0f);
    EXPECT_FLOAT_EQ(rig.Param(kOvMixRightPan), 0.5f);

    XTrackMore* more = rig.track->GetMore();
    rig.studio.EnableEffect(2, kOvSlotComp, true);
    rig.studio.EnableEffect(2, kOvSlotEQ, true);
    more->GetDyn()->FindBar(kOvMixCompThreshold)->SetValue(-30);
    more->GetDyn()->FindBar(kOvMixCompRatio)->SetValue(4);
    more->GetEQ()->FindBar(kOvMixEQLow)->SetValue(2.5);
    EXPECT_FLOAT_EQ(rig.Param(kOvMixCompThreshold), -30.0f);
    EXPECT_FLOAT_EQ(rig.Param(kOvMixCompRatio), 4.0f);
    EXPECT_NEAR(rig.Param(kOvMixEQLow), 2.5f, 1e-5);

    rig.track->ChooseOutput(3);
    EXPECT_EQ(rig.Param(kOvMixOutput), 3.0f);
    EXPECT_STREQ(rig.track->GetOutput()->GetText(), "7:8");
    rig.track->ChooseOutput(16);  // no such pair: nothing changes
    EXPECT_EQ(rig.Param(kOvMixOutput), 3.0f);
    // Another channel was never touched.
    EXPECT_EQ(rig.studio.GetMixerParam(3, kOvMixOutput), 0.0f);
}

TEST(XTrack, RefreshShowsTheStudioAndWritesNothingBack)
{
    StripRig rig;
    rig.studio.SetMixerParam(2, kOvMixLevel, 0.503f);  // between two fader steps
    rig.studio.SetMixerParam(2, kOvMixPan, 0.25f);
    rig.studio.SetMixerParam(2, kOvMixLeftPan, -0.5f);
    rig.studio.SetMixerParam(2, kOvMixRightPan, 0.75f);
    rig.studio.SetMixerParam(2, kOvMixOutput, 5.0f);
    rig.studio.SetMixerParam(2, kOvMixMute, 1.0f);
    rig.studio.EnableEffect(2, kOvSlotEQ, true);
    rig.studio.SetMixerParam(2, kOvMixEQHigh, -3.33f);
    NamedFactory factory;
    PlugInfo info;
    info.SetName("verb.so");
    info.SetPath("/plugins/verb.so");
    ASSERT_TRUE(rig.studio.SetInsertPlugin(2, 1, &info));
    rig.studio.SetFailedInsert(2, 0, {"crash.so", {}, {}});  // a saved plug-in that did not open

    rig.track->Refresh();
    EXPECT_FLOAT_EQ(rig.Param(kOvMixLevel), 0.503f);
    EXPECT_NEAR(rig.Param(kOvMixEQHigh), -3.33f, 1e-5);
    EXPECT_NEAR(rig.track->GetFader()->GetValue(), 0.5, 1e-9);
    EXPECT_NEAR(rig.track->GetBalance()->GetValue(), 0.25, 1e-9);
    EXPECT_FLOAT_EQ(rig.track->GetPan()->GetLeft(), -0.5f);
    EXPECT_FLOAT_EQ(rig.track->GetPan()->GetRight(), 0.75f);
    EXPECT_STREQ(rig.track->GetOutput()->GetText(), "11:12");
    EXPECT_EQ(rig.track->GetMute()->GetState(), 1);
    EXPECT_EQ(rig.track->GetEffectToggle(kOvSlotEQ)->GetState(), 1);
    EXPECT_EQ(rig.track->GetEffectToggle(kOvSlotComp)->GetState(), 0);
    EXPECT_TRUE(rig.track->GetMore()->GetEQ()->IsVisible());
    EXPECT_FALSE(rig.track->GetMore()->GetDyn()->IsVisible());
    EXPECT_STREQ(rig.track->GetMore()->GetPlug(1)->GetSelector()->GetText(), "verb.so");
    EXPECT_TRUE(rig.track->GetMore()->GetPlug(1)->HasPlugin());
    EXPECT_STREQ(rig.track->GetMore()->GetPlug(0)->GetSelector()->GetText(), "Failed: crash.so");
    EXPECT_FALSE(rig.track->GetMore()->GetPlug(0)->HasPlugin());
    // Compressor values read the studio's defaults on a channel without one.
    EXPECT_EQ(rig.track->GetMore()->GetDyn()->FindBar(kOvMixCompThreshold)->GetValue(), -18.0);
    rig.studio.SetInsertPlugin(2, 1, nullptr);
    // Emptying the slot forgets what failed.
    rig.studio.SetInsertPlugin(2, 0, nullptr);
    rig.track->Refresh();
    EXPECT_STREQ(rig.track->GetMore()->GetPlug(0)->GetSelector()->GetText(), "No effect");
}

TEST(XTrack, EffectSwitchOpensACollapsedStripAndSwitchesItsSlot)
{
    StripRig rig;
    XTrack* t = rig.track;
    std::vector<int> expands;
    struct Listener : XListener {
        std::vector<int>* log;
        int Notify(XControl*, int code, int value) override
        {
            if (code == mixer::kCodeExpand)
                log->push_back(value);
            return 0;
        }
    } listener;
    listener.log = &expands;
    t->SetListener(&listener);

    t->GetEffectToggle(kOvSlotComp)->SimulateClick(2, 2);
    EXPECT_TRUE(t->IsExpanded());
    EXPECT_EQ(t->GetWidth(), mixer::kStripWidth + mixer::kExpandWidth);
    EXPECT_TRUE(t->GetMore()->IsVisible());
    EXPECT_TRUE(t->GetMore()->GetDyn()->IsVisible());
    EXPECT_TRUE(rig.studio.IsEffectEnabled(2, kOvSlotComp));
    EXPECT_NE(rig.studio.GetEffect(2, kOvSlotComp), nullptr);
    EXPECT_EQ(expands, std::vector<int>{1});

    // A second switch on an open strip does not widen it again.
    t->GetEffectToggle(kOvSlotInsert0)->SimulateClick(2, 2);
    EXPECT_EQ(t->GetWidth(), mixer::kStripWidth + mixer::kExpandWidth);
    EXPECT_TRUE(rig.studio.IsEffectEnabled(2, kOvSlotInsert0));
    EXPECT_TRUE(t->GetMore()->GetPlug(0)->IsVisible());

    t->GetEffectToggle(kOvSlotComp)->SimulateClick(2, 2);
    EXPECT_FALSE(rig.studio.IsEffectEnabled(2, kOvSlotComp));
    EXPECT_FALSE(t->GetMore()->GetDyn()->IsVisible());
    EXPECT_TRUE(t->IsExpanded());  // switching off leaves the strip open

    t->GetExpand()->SimulateClick(2, 2);
    EXPECT_FALSE(t->IsExpanded());
    EXPECT_EQ(t->GetWidth(), mixer::kStripWidth);
    EXPECT_FALSE(t->GetMore()->IsVisible());
    EXPECT_EQ(expands, (std::vector<int>{1, 0}));
    t->SetListener(nullptr);
}

TEST(XTrack, PluginChoicesKeepTheSlotsEnableFlag)
{
    ListScope scope;
    NamedFactory factory;
    StripRig rig;
    XTrack* t = rig.track;
    XViewEffectPlug* panel = t->GetMore()->GetPlug(0);

    // "No Plugin" on an empty slot changes nothing.
    rig.studio.SetEffectFlag(2, kOvSlotInsert0, true);
    EXPECT_FALSE(t->ChoosePlugin(0, mixer::kNoPlugin));
    EXPECT_TRUE(rig.studio.IsEffectEnabled(2, kOvSlotInsert0));
    EXPECT_EQ(rig.studio.GetInsert(2, 0), nullptr);
    EXPECT_EQ(factory.opened, 0);

    // Vendor groups with effects: Bolt (delay.so, broken.so), Zed (verb.so).
    XMenu menu;
    t->BuildPluginMenu(menu);
    EXPECT_EQ(Items(menu), (std::vector<std::string>{"No Plugin", "Bolt", "Zed"}));
    ASSERT_EQ(menu.GetEntry(2).kind, XMenu::Kind::kSubMenu);
    EXPECT_EQ(Items(*menu.GetEntry(1).subMenu), (std::vector<std::string>{"broken.so", "delay.so"}));
    EXPECT_EQ(Items(*menu.GetEntry(2).subMenu), (std::vector<std::string>{"verb.so"}));

    ASSERT_TRUE(t->ChoosePlugin(0, 1 * mixer::kVendorStride + 0));
    ASSERT_NE(rig.studio.GetInsert(2, 0), nullptr);
    EXPECT_STREQ(rig.studio.GetInsert(2, 0)->GetName(), "verb.so");
    EXPECT_TRUE(panel->HasPlugin());
    EXPECT_STREQ(panel->GetSelector()->GetText(), "verb.so");
    EXPECT_TRUE(rig.studio.IsEffectEnabled(2, kOvSlotInsert0));

    // Off stays off through a swap.
    rig.studio.SetEffectFlag(2, kOvSlotInsert0, false);
    ASSERT_TRUE(t->ChoosePlugin(0, 0 * mixer::kVendorStride + 1));
    EXPECT_STREQ(rig.studio.GetInsert(2, 0)->GetName(), "delay.so");
    EXPECT_FALSE(rig.studio.IsEffectEnabled(2, kOvSlotInsert0));

    // A plug-in that fails to open leaves the slot empty, flag unchanged.
    rig.studio.SetEffectFlag(2, kOvSlotInsert0, true);
    EXPECT_FALSE(t->ChoosePlugin(0, 0));
    EXPECT_EQ(rig.studio.GetInsert(2, 0), nullptr);
    EXPECT_FALSE(panel->HasPlugin());
    EXPECT_STREQ(panel->GetSelector()->GetText(), "No effect");
    EXPECT_TRUE(rig.studio.IsEffectEnabled(2, kOvSlotInsert0));

    // Places the list does not have choose nothing.
    EXPECT_FALSE(t->ChoosePlugin(0, 7 * mixer::kVendorStride));
    EXPECT_FALSE(t->ChoosePlugin(0, -5));
    EXPECT_FALSE(t->ChoosePlugin(2, 0));

    // "No Plugin" removes a plug-in.
    ASSERT_TRUE(t->ChoosePlugin(1, mixer::kVendorStride));
    EXPECT_FALSE(t->ChoosePlugin(1, mixer::kNoPlugin));
    EXPECT_EQ(rig.studio.GetInsert(2, 1), nullptr);
    EXPECT_STREQ(t->GetMore()->GetPlug(1)->GetSelector()->GetText(), "No effect");
}

TEST(XTrack, PluginMenuWithoutAListOffersOnlyNoPlugin)
{
    StripRig rig;
    XMenu menu;
    rig.track->BuildPluginMenu(menu);
    EXPECT_EQ(Items(menu), std::vector<std::string>{"No Plugin"});
}

bool ThreePairs(int pair, kiv::string& name)
{
    if (pair < 0 || pair >= 3)
        return false;
    name.Format("Pair %d", pair);
    return true;
}

bool EndlessPairs(int pair, kiv::string& name)
{
    name.Format("Out %d", pair);
    return true;
}

TEST(XTrack, OutputMenuNamesThePairsUntilTheNamesRunOut)
{
    StripRig rig;
    XMenu none;
    rig.track->BuildOutputMenu(none);  // no namer and no player: nothing
    EXPECT_EQ(none.CountEntries(), 0);

    XTrack::SetOutputNamer(ThreePairs);
    XMenu menu;
    rig.track->BuildOutputMenu(menu);
    EXPECT_EQ(Items(menu), (std::vector<std::string>{"Pair 0", "Pair 1", "Pair 2"}));
    // A namer that never fails still offers only pairs the mixer routes to.
    XTrack::SetOutputNamer(EndlessPairs);
    XMenu all;
    rig.track->BuildOutputMenu(all);
    EXPECT_EQ(all.CountEntries(), kOvMixerOutputs);
    XTrack::SetOutputNamer(nullptr);
}

std::vector<std::string> g_opened;
void RecordOpen(OvInsert* insert, void*) { g_opened.push_back(insert->GetName()); }

TEST(XTrack, ChosenPluginAndTheEditMarkOpenThePluginsEditor)
{
    ListScope scope;
    NamedFactory factory;
    StripRig rig;
    g_opened.clear();
    XTrack::SetInsertEditorOpener(RecordOpen);
    ASSERT_TRUE(rig.track->ChoosePlugin(1, mixer::kVendorStride));
    EXPECT_EQ(g_opened, std::vector<std::string>{"verb.so"});

    // The "e" mark: the top 12 px and the rightmost 14 px of the panel.
    XViewEffectPlug* panel = rig.track->GetMore()->GetPlug(1);
    XMouse mouse;
    mouse.SetPress(panel->GetWidth() - 20, 5, 0);
    EXPECT_FALSE(panel->OnMouseDown(mouse));
    mouse.SetPress(panel->GetWidth() - 5, 5, 0);
    EXPECT_TRUE(panel->OnMouseDown(mouse));
    EXPECT_TRUE(panel->IsPressed());
    panel->OnMouseUp(mouse);
    EXPECT_FALSE(panel->IsPressed());
    EXPECT_EQ(g_opened, (std::vector<std::string>{"verb.so", "verb.so"}));

    // Without a plug-in the mark is not there.
    rig.track->ChoosePlugin(1, mixer::kNoPlugin);
    EXPECT_FALSE(panel->OnMouseDown(mouse));
    XTrack::SetInsertEditorOpener(nullptr);
    EXPECT_EQ(g_opened.size(), 2u);
}

TEST(XTrack, InputShowsTheFirstActiveToneOnItsChannel)
{
    GigaPrefs prefs;
    GigaBankManager manager;
    GigaDiskThread disk;
    kivtest::TempDir dir;
    std::string bank = dir.File("Strings.gig");
    ASSERT_TRUE(loadertest::WriteBank(bank, 3, 2, 2000));
    std::unique_ptr<GigaStudio> studio = GigaStudio::Create();
    GigaDeck* deck = studio->GetDeck(0);

    Root root(200, 420);
    auto* t = new XTrack(&root, 0, 0, mixer::kStripWidth, mixer::kStripHeight, 4);
    t->SetStudio(studio.get());
    t->RefreshInput();
    EXPECT_EQ(t->GetInput()->GetName()[0], '\0');
    XMenu empty;
    t->BuildInputMenu(empty);
    EXPECT_EQ(empty.CountEntries(), 0);

    deck->GetGigaTone(4)->AddPart(bank.c_str(), 1);
    deck->GetGigaTone(9)->AddPart(bank.c_str(), 2);
    deck->GetGigaTone(9)->SetBus(4);
    deck->GetGigaTone(5)->AddPart(bank.c_str(), 0);  // on its own bus 5
    manager.QueuePlayer(deck);
    manager.RunNow(false);

    t->RefreshInput();
    EXPECT_STREQ(t->GetInput()->GetName(), "Instrument 1");
    XMenu menu;
    t->BuildInputMenu(menu);
    EXPECT_EQ(Items(menu), (std::vector<std::string>{"5: Instrument 1", "10: Instrument 2"}));

    for (int i = 0; i < deck->GetToneCount(); ++i)
        deck->GetGigaTone(i)->Clear();
    manager.QueuePlayer(deck);
    manager.RunNow(false);
    t->RefreshInput();
    EXPECT_EQ(t->GetInput()->GetName()[0], '\0');
}

TEST(GMixer, ExpandingAStripMovesTheOnesAfterItAndWidensTheView)
{
    Root root(900, 430);
    auto* mixer = new GMixer(&root, 0, 0, 900, 422);
    EXPECT_EQ(mixer->GetWidth(), mixer::kMixerWidth);
    EXPECT_EQ(mixer->GetHeight(), mixer::kMixerHeight);
    EXPECT_EQ(mixer->GetTrack(15)->GetX(), 15 * 54);

    mixer->GetTrack(3)->GetExpand()->SimulateClick(2, 2);
    EXPECT_EQ(mixer->GetWidth(), mixer::kMixerWidth + 120);
    EXPECT_EQ(mixer->GetTrack(3)->GetX(), 3 * 54);
    for (int i = 4; i < 16; ++i)
        EXPECT_EQ(mixer->GetTrack(i)->GetX(), i * 54 + 120) << i;
    EXPECT_EQ(mixer->GetHeight(), mixer::kMixerHeight);

    mixer->GetTrack(3)->GetExpand()->SimulateClick(2, 2);
    EXPECT_EQ(mixer->GetWidth(), mixer::kMixerWidth);
    EXPECT_EQ(mixer->GetTrack(15)->GetX(), 15 * 54);
}

TEST(GMixer, MuteAndSoloGoThroughTheGroupAndKeepLoadedMutes)
{
    Root root(900, 430);
    OvStudio studio;
    auto* mixer = new GMixer(&root, 0, 0, 900, 422);
    mixer->SetStudio(&studio);
    // A loaded performance muted channel 7; the view learns it on refresh.
    studio.SetMixerParam(7, kOvMixMute, 1.0f);
    mixer->Refresh();

    mixer->GetTrack(2)->GetMute()->SimulateClick(5, 5);
    EXPECT_EQ(studio.GetMixerParam(2, kOvMixMute), 1.0f);
    EXPECT_EQ(mixer->GetTrack(2)->GetMute()->GetState(), 1);
    EXPECT_EQ(studio.GetMixerParam(7, kOvMixMute), 1.0f);  // not undone by the group

    mixer->GetTrack(5)->GetSolo()->SimulateClick(5, 5);
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(studio.GetMixerParam(i, kOvMixMute), i == 5 ? 0.0f : 1.0f) << i;
    EXPECT_EQ(mixer->GetTrack(5)->GetSolo()->GetState(), 1);
    EXPECT_EQ(mixer->GetTrack(9)->GetMute()->GetState(), 1);

    mixer->GetTrack(5)->GetSolo()->SimulateClick(5, 5);
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(studio.GetMixerParam(i, kOvMixMute), (i == 2 || i == 7) ? 1.0f : 0.0f) << i;
    EXPECT_EQ(mixer->GetTrack(5)->GetSolo()->GetState(), 0);

    mixer->GetTrack(2)->GetMute()->SimulateClick(5, 5);
    EXPECT_EQ(studio.GetMixerParam(2, kOvMixMute), 0.0f);
}

TEST(GMixer, MetersTakeTheStudiosPeaksAndFallWhenHidden)
{
    Root root(900, 430);
    auto* mixer = new GMixer(&root, 0, 0, 900, 422);
    mixer->UpdateMeters();  // no studio: nothing

    OvStudio studio;
    auto player = std::make_unique<SignalPlayer>();
    SignalPlayer* signal = player.get();
    ASSERT_TRUE(studio.AddPlayer(std::move(player)));
    studio.SetBlockSize(256);
    audio::Buffers outputs;
    outputs.Resize(kOvMixerOutputs, 2, 256);
    mixer->SetStudio(&studio);
    signal->level[6] = 0.8f;
    outputs.ClearActive();
    studio.Render(&outputs, 256);

    mixer->UpdateMeters();
    // The meter lights the new peak at its next paint.
    EXPECT_GT(mixer->GetTrack(6)->GetMeter()->GetLeft().GetPending(), 0);
    EXPECT_GT(mixer->GetTrack(6)->GetMeter()->GetRight().GetPending(), 0);
    EXPECT_EQ(mixer->GetTrack(5)->GetMeter()->GetLeft().GetPending(), 0);

    // Showing drops what was pending; hiding resets the meters.
    outputs.ClearActive();
    studio.Render(&outputs, 256);
    mixer->OnVisibilityChanged(true);
    EXPECT_EQ(studio.TakePeakLevels()[12], 0.0f);
    mixer->OnVisibilityChanged(false);
    EXPECT_EQ(mixer->GetTrack(6)->GetMeter()->GetLeft().GetPending(), 0);
    EXPECT_LE(mixer->GetTrack(6)->GetMeter()->GetLeft().GetLitLevel(), 0);
}
