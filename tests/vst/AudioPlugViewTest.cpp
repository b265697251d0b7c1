// Views of hosted effects: the generic parameter view of our own test
// plug-in and the popup around a plug-in's own editor, on the headless back
// end; a real Debian plug-in's editor in the popup on a private Xvfb
// (skipped when Xvfb or the plug-ins are not installed).
#include "vst/AudioPlugVstView.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "gui/GuiTestLeaks.h"
#include "kiv/file/Dir.h"
#include "kiv/gui/HeadlessBackend.h"
#include "kiv/gui/X11Backend.h"
#include "kiv/gui/XLabel.h"
#include "kiv/gui/XSlider.h"
#include "kiv/gui/XWindow.h"
#include "support/X11ServerTest.h"
#include "tests/vst/VstTestHost.h"
#include "vst/AudioPlugVst.h"
#include "vst/PlugInfo.h"

namespace {

using vsttest::LoadedPlug;

class HeadlessViewTest : public ::testing::Test {
protected:
    void SetUp() override { XBackend::Install(&backend); }
    void TearDown() override { XBackend::Install(nullptr); }
    void Tick(int times = 1) { backend.Advance(50 * times); }

    HeadlessBackend backend;
};

// An effect record with an editor, answering like the plug-ins we meet: a
// rectangle always, only once the editor is open, or never.
struct FakeEditor {
    enum RectMode { kAlways, kOnlyWhenOpen, kNever };

    explicit FakeEditor(RectMode mode = kAlways, int w = 320, int h = 200) : rectMode(mode)
    {
        memset(&effect, 0, sizeof effect);
        effect.magic = vst::kEffectMagic;
        effect.flags = vst::effFlagsHasEditor;
        effect.object = this;
        effect.dispatcher = Dispatch;
        rect.right = static_cast<int16_t>(w);
        rect.bottom = static_cast<int16_t>(h);
    }
    static vst::intptr Dispatch(vst::AEffect* e, vst::int32 opcode, vst::int32, vst::intptr, void* ptr, float)
    {
        auto* self = static_cast<FakeEditor*>(e->object);
        self->calls.push_back(opcode);
        switch (opcode) {
        case vst::effEditGetRect:
            if (self->rectMode == kAlways || (self->rectMode == kOnlyWhenOpen && self->open)) {
                *static_cast<vst::ERect**>(ptr) = &self->rect;
                return 1;
            }
            return 0;
        case vst::effEditOpen:
            self->open = true;
            self->parent = reinterpret_cast<uintptr_t>(ptr);
            return 1;
        case vst::effEditClose:
            self->open = false;
            return 0;
        default:
            return 0;
        }
    }
    int Count(int opcode) const
    {
        int n = 0;
        for (int c : calls)
            n += c == opcode;
        return n;
    }
    // Position of an opcode's first call, -1 when never called.
    int First(int opcode) const
    {
        for (size_t i = 0; i < calls.size(); ++i)
            if (calls[i] == opcode)
                return static_cast<int>(i);
        return -1;
    }

    vst::AEffect effect;
    vst::ERect rect = {};
    RectMode rectMode;
    bool open = false;
    uintptr_t parent = 0;
    std::vector<int> calls;
};

// A generic-view plug-in whose numbers and texts are hostile.
struct FakeParams {
    explicit FakeParams(int count)
    {
        memset(&effect, 0, sizeof effect);
        effect.magic = vst::kEffectMagic;
        effect.numParams = count;
        effect.dispatcher = Dispatch;
        effect.getParameter = [](vst::AEffect*, vst::int32 index) {
            return index % 2 ? std::nanf("") : 7.5f;
        };
    }
    static vst::intptr Dispatch(vst::AEffect*, vst::int32 opcode, vst::int32, vst::intptr, void* ptr, float)
    {
        // Far longer than the interface's 8 characters, unterminated.
        if (opcode == vst::effGetParamName || opcode == vst::effGetParamDisplay || opcode == vst::effGetProductString)
            memset(ptr, 'y', 256);
        return 0;
    }
    vst::AEffect effect;
};

}  // namespace

// ---------------------------------------------------------------- generic view

TEST_F(HeadlessViewTest, GenericViewShowsEveryParameterWithThePluginsOwnTexts)
{
    LoadedPlug p("testeffect");
    ASSERT_TRUE(p.opened);
    p.state->params[1] = 0.503f;  // off the fader's grid
    auto* view = dynamic_cast<AudioPlugViewGeneric*>(p.plug.GetView());
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(p.plug.GetView(), view);  // made once and kept
    EXPECT_EQ(view->GetInfo(), &p.info);
    EXPECT_STREQ(view->GetText(), kTestEffectProduct);
    ASSERT_EQ(view->CountParams(), 2);
    // Building the view changes no parameter.
    EXPECT_EQ(p.state->opcodeCalls[vst::effEditGetRect], 0);
    EXPECT_EQ(p.state->params[1], 0.503f);

    const char* names[] = {"Gain", "Other"};
    const char* texts[] = {"0.50", "0.50"};
    for (int i = 0; i < 2; ++i) {
        AudioPlugViewParam* row = view->GetRow(i);
        ASSERT_NE(row, nullptr);
        EXPECT_EQ(row->GetY(), 5 + 18 * i);
        EXPECT_EQ(row->GetHeight(), 16);
        EXPECT_STREQ(row->GetNameLabel()->GetText(), names[i]);
        EXPECT_STREQ(row->GetValueLabel()->GetText(), texts[i]);
        EXPECT_EQ(row->GetColour(0), XColour::Make(220, 220, 240));
    }
    EXPECT_NEAR(view->GetRow(0)->GetFader()->GetValue(), 0.5, 1e-9);

    // Shown in its own window at the size the rows need, titled with the
    // plug-in's display name; rows keep 5 pixels from the right edge.
    view->Open(nullptr);
    EXPECT_TRUE(view->IsShown());
    HeadlessWindow* frame = backend.FindByClass("KivWindow");
    ASSERT_NE(frame, nullptr);
    EXPECT_TRUE(frame->IsMapped());
    Tick();
    EXPECT_EQ(frame->GetWidth(), 480);
    EXPECT_EQ(frame->GetHeight(), 18 * 2 + 10);
    AudioPlugViewParam* row = view->GetRow(1);
    EXPECT_EQ(row->GetWidth(), 470);
    EXPECT_EQ(row->GetFader()->GetX() + row->GetFader()->GetWidth(), 470 - 92);
    EXPECT_EQ(row->GetValueLabel()->GetX(), 470 - 90);
    EXPECT_STREQ(view->GetText(), p.info.GetDisplayName());
}

TEST_F(HeadlessViewTest, FaderDragReachesThePluginBeforeItsTextIsRead)
{
    LoadedPlug p("testeffect");
    ASSERT_TRUE(p.opened);
    auto* view = dynamic_cast<AudioPlugViewGeneric*>(p.plug.GetView());
    ASSERT_NE(view, nullptr);
    view->Open(nullptr);
    Tick();
    HeadlessWindow* client = backend.FindByClass("KivControl");
    ASSERT_NE(client, nullptr);
    int displays = p.state->opcodeCalls[vst::effGetParamDisplay];

    // Drag the first row's fader to the right, through the window.
    backend.MouseDown(client, 250, 12, 0);
    backend.MouseMove(client, 300, 12, true);
    backend.MouseUp(client, 300, 12, 0);
    XFader* fader = view->GetRow(0)->GetFader();
    EXPECT_GT(fader->GetValue(), 0.5);
    EXPECT_FLOAT_EQ(p.state->params[0], static_cast<float>(fader->GetValue()));
    EXPECT_GT(p.state->opcodeCalls[vst::effGetParamDisplay], displays);
    // The label shows what the plug-in says for the new value.
    char expected[16];
    snprintf(expected, sizeof expected, "%.2f", p.state->params[0]);
    EXPECT_STREQ(view->GetRow(0)->GetValueLabel()->GetText(), expected);
    EXPECT_EQ(p.state->params[1], 0.0f);  // the other row is untouched

    // A value set on the fader by code goes the same way.
    view->GetRow(1)->GetFader()->SetValue(0.25);
    EXPECT_FLOAT_EQ(p.state->params[1], 0.25f);
    EXPECT_STREQ(view->GetRow(1)->GetValueLabel()->GetText(), "0.25");
}

TEST_F(HeadlessViewTest, GenericViewOpenTogglesAndTheCloseBoxHidesIt)
{
    LoadedPlug p("testeffect");
    ASSERT_TRUE(p.opened);
    AudioPlugView* view = p.plug.GetView();
    auto* generic = dynamic_cast<AudioPlugViewGeneric*>(view);
    ASSERT_NE(generic, nullptr);

    view->Open(nullptr);
    ASSERT_TRUE(generic->IsShown());
    view->Open(nullptr);  // a second Open closes, at once
    EXPECT_FALSE(generic->IsShown());
    EXPECT_EQ(backend.FindByClass("KivWindow"), nullptr);

    view->Open(nullptr);
    ASSERT_TRUE(generic->IsShown());
    backend.RequestClose(backend.FindByClass("KivWindow"));
    EXPECT_FALSE(generic->IsShown());
    view->Open(nullptr);
    EXPECT_TRUE(generic->IsShown());

    // Closing the plug-in takes its open view with it.
    p.plug.Close();
    EXPECT_EQ(backend.FindByClass("KivWindow"), nullptr);
    EXPECT_EQ(p.plug.GetView(), nullptr);
}

TEST_F(HeadlessViewTest, HostileParameterCountsAndTextsStayBounded)
{
    {
        FakeParams none(0);
        AudioPlugViewGeneric view;
        view.Build(&none.effect);
        EXPECT_EQ(view.CountParams(), 0);
        ASSERT_TRUE(view.OpenWindow());
        Tick();
        EXPECT_EQ(view.GetWidth(), 480);
        EXPECT_EQ(view.GetHeight(), 10);
    }
    {
        FakeParams negative(-7);
        AudioPlugViewGeneric view;
        view.Build(&negative.effect);
        EXPECT_EQ(view.CountParams(), 0);
    }
    {
        FakeParams huge(1 << 30);
        AudioPlugViewGeneric view;
        view.Build(&huge.effect);
        EXPECT_EQ(view.CountParams(), plugview::kMaxGenericParams);
        AudioPlugViewParam* row = view.GetRow(1);
        ASSERT_NE(row, nullptr);
        // Texts end inside our buffer; values outside 0..1 or NaN are held
        // in range.
        EXPECT_EQ(strlen(row->GetNameLabel()->GetText()), 255u);
        EXPECT_EQ(row->GetFader()->GetValue(), 0.0);
        EXPECT_EQ(view.GetRow(0)->GetFader()->GetValue(), 1.0);
        // Without setParameter a fader change only updates the text.
        row->GetFader()->SetValue(0.3);
        EXPECT_EQ(strlen(row->GetValueLabel()->GetText()), 255u);
    }
}

// ---------------------------------------------------------------- editor popup

TEST_F(HeadlessViewTest, EditorOpensInAPopupOfThePluginsSizeAndIsIdled)
{
    FakeEditor editor(FakeEditor::kAlways, 320, 200);
    AudioPlugRequests requests;
    requests.RequestDisplayUpdate();  // asked for by the plug-in
    AudioPlugViewWindows view(&editor.effect, &requests);
    view.Open(reinterpret_cast<void*>(uintptr_t{0x4242}));
    ASSERT_TRUE(view.IsOpen());
    HeadlessWindow* popup = backend.FindByClass("KivPluginWindow");
    ASSERT_NE(popup, nullptr);
    EXPECT_TRUE(popup->IsMapped());
    EXPECT_EQ(popup->GetWidth(), 320);
    EXPECT_EQ(popup->GetHeight(), 200);
    EXPECT_EQ(popup->GetX(), 600);
    EXPECT_EQ(popup->GetY(), 60);
    // Asked for its size before the window is made, then given the window.
    ASSERT_GE(editor.First(vst::effEditGetRect), 0);
    EXPECT_LT(editor.First(vst::effEditGetRect), editor.First(vst::effEditOpen));
    EXPECT_EQ(editor.parent, popup->GetHandle());

    view.Open(nullptr);  // open already: nothing more
    EXPECT_EQ(editor.Count(vst::effEditOpen), 1);
    EXPECT_EQ(backend.CountWindows(), 1);

    Tick(3);
    EXPECT_EQ(editor.Count(vst::effEditIdle), 3);
    EXPECT_FALSE(requests.TakeDisplayUpdate());  // served by the ticks

    view.Close();
    EXPECT_FALSE(view.IsOpen());
    EXPECT_FALSE(editor.open);
    EXPECT_EQ(backend.FindByClass("KivPluginWindow"), nullptr);
    Tick(3);
    EXPECT_EQ(editor.Count(vst::effEditIdle), 3);  // no idling while closed
    view.Close();
    EXPECT_EQ(editor.Count(vst::effEditClose), 1);
}

TEST_F(HeadlessViewTest, CloseBoxClosesTheEditorAndReopensWhereItWas)
{
    FakeEditor editor;
    AudioPlugViewWindows view(&editor.effect);
    view.Open(nullptr);
    HeadlessWindow* popup = backend.FindByClass("KivPluginWindow");
    ASSERT_NE(popup, nullptr);
    popup->MoveResize(150, 240, popup->GetWidth(), popup->GetHeight());  // the user moved it

    backend.RequestClose(popup);
    EXPECT_FALSE(view.IsOpen());
    EXPECT_EQ(editor.Count(vst::effEditClose), 1);
    EXPECT_EQ(backend.FindByClass("KivPluginWindow"), nullptr);
    EXPECT_EQ(view.GetWindow(), nullptr);

    view.Open(nullptr);
    popup = backend.FindByClass("KivPluginWindow");
    ASSERT_NE(popup, nullptr);
    EXPECT_EQ(popup->GetX(), 150);
    EXPECT_EQ(popup->GetY(), 240);
    EXPECT_EQ(editor.Count(vst::effEditOpen), 2);
    EXPECT_EQ(editor.parent, popup->GetHandle());
}

TEST_F(HeadlessViewTest, EditorGivingItsSizeOnlyWhenOpenGetsThatSizeThen)
{
    FakeEditor late(FakeEditor::kOnlyWhenOpen, 500, 260);
    AudioPlugViewWindows view(&late.effect);
    view.Open(nullptr);
    HeadlessWindow* popup = backend.FindByClass("KivPluginWindow");
    ASSERT_NE(popup, nullptr);
    EXPECT_EQ(popup->GetWidth(), 500);
    EXPECT_EQ(popup->GetHeight(), 260);

    FakeEditor never(FakeEditor::kNever);
    AudioPlugViewWindows other(&never.effect);
    other.Open(nullptr);
    ASSERT_TRUE(other.IsOpen());
    ASSERT_NE(other.GetWindow(), nullptr);
    int x, y, w, h;
    other.GetWindow()->GetScreenRect(x, y, w, h);
    EXPECT_EQ(w, plugview::kDefaultEditorWidth);
    EXPECT_EQ(h, plugview::kDefaultEditorHeight);
}

TEST_F(HeadlessViewTest, DeletingAnOpenEditorViewClosesTheEditorFirst)
{
    FakeEditor editor;
    {
        AudioPlugViewWindows view(&editor.effect);
        view.Open(nullptr);
        ASSERT_TRUE(editor.open);
    }
    EXPECT_FALSE(editor.open);
    EXPECT_EQ(editor.Count(vst::effEditClose), 1);
    EXPECT_EQ(backend.CountWindows(), 0);
    Tick(2);  // the window's timer went with it
    EXPECT_EQ(editor.Count(vst::effEditIdle), 0);
}

TEST(AudioPlugViewNoDisplay, EditorIsNeverAskedForItsRectangleWithoutADisplay)
{
    unsetenv("DISPLAY");
    XBackend::Install(nullptr);
    if (XBackend::Get())
        GTEST_SKIP() << "an X display is reachable";
    FakeEditor editor;
    AudioPlugViewWindows view(&editor.effect);
    view.Open(nullptr);
    EXPECT_FALSE(view.IsOpen());
    EXPECT_TRUE(editor.calls.empty());
    view.Close();
    EXPECT_TRUE(editor.calls.empty());
}

// ---------------------------------------------------------------- real editors on Xvfb

namespace {

using vsttest::ForeignLeaksIgnored;

class RealEditorTest : public kivtest::X11ServerTest<1024, 768> {
protected:
    void Pump(int ms)
    {
        for (int waited = 0; waited < ms; waited += 20)
            backend->Pump(20);
    }

};

}  // namespace

TEST_F(RealEditorTest, RealPluginEditorOpensInsideThePopupAndCloses)
{
    // One DISTRHO editor (crashes if asked for its size without a display)
    // and one LSP editor (gives its size only once open).
    const char* const plugins[] = {"/usr/lib/vst/3BandEQ-vst.so", "/usr/lib/vst/lsp-plugins/compressor-stereo.so"};
    int tested = 0;
    for (const char* path : plugins) {
        if (!file::FileExists(path))
            continue;
        SCOPED_TRACE(path);
        [[maybe_unused]] ForeignLeaksIgnored ignored;
        PlugInfo info;
        info.SetPath(path);
        info.SetName("real.so");
        AudioPlugVst plug;
        ASSERT_TRUE(plug.Open(&info));
        if (!plug.HasEditor())
            continue;
        ++tested;
        auto* view = dynamic_cast<AudioPlugViewWindows*>(plug.GetView());
        ASSERT_NE(view, nullptr);
        view->Open(nullptr);
        ASSERT_TRUE(view->IsOpen());
        ASSERT_NE(view->GetWindow(), nullptr);
        uintptr_t popup = view->GetWindow()->GetHandle();
        Pump(600);  // the editor draws while it is idled

        if (kivtest::HaveProgram("xdotool")) {
            std::string found = kivtest::RunCommand("xdotool search --class KivPluginWindow");
            EXPECT_NE(found.find(std::to_string(popup)), std::string::npos) << found;
        }
        if (kivtest::HaveProgram("xwininfo")) {
            // The plug-in's editor is a child of our popup.
            std::string tree = kivtest::RunCommand("xwininfo -children -id " + std::to_string(popup));
            EXPECT_EQ(tree.find(" 0 children"), std::string::npos) << tree;
        }
        int x, y, w, h;
        view->GetWindow()->GetScreenRect(x, y, w, h);
        EXPECT_GT(w, 1);
        EXPECT_GT(h, 1);

        view->Close();
        EXPECT_FALSE(view->IsOpen());
        Pump(100);
        view->Open(nullptr);  // opens again after a close
        EXPECT_TRUE(view->IsOpen());
        Pump(200);
        plug.Close();  // unloading closes the editor first
        Pump(100);
    }
    if (tested == 0)
        GTEST_SKIP() << "no Debian plug-in with an editor is installed";
}
