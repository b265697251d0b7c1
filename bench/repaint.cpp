// What the editor's window costs the X server: the editor (864 x 560 with
// one player) on the headless back end, driven by its 50 ms tick, with the
// mixer shown and a player putting a moving level on every channel. Reports
// the pixel bytes presented per second with meters moving (what goes
// through the X socket when MIT-SHM is not there), the cost of a full
// repaint and of an idle tick.
#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>

#include "editor/GigaEditor.h"
#include "editor/GigaEditorConst.h"
#include "engine/AudioBuffers.h"
#include "engine/GigaBankManager.h"
#include "engine/GigaDiskThread.h"
#include "engine/GigaPrefs.h"
#include "engine/GigaStudio.h"
#include "engine/OvMixerConstants.h"
#include "engine/OvPlayer.h"
#include "kiv/gui/HeadlessBackend.h"
#include "kiv/gui/XButton.h"
#include "kiv/gui/XWinGui.h"
#include "kiv/gui/XWidgetConst.h"

namespace {

constexpr int kTickMs = 50;
constexpr int kTicksPerSecond = 1000 / kTickMs;
constexpr int kFrames = 2205;  // one tick of audio at 44.1 kHz

// Every channel bus carries a level that moves from block to block.
class MovingLevels : public OvPlayer {
public:
    bool OnInit() override { return true; }
    int Render(audio::Buffers* buses, int frames) noexcept override
    {
        ++m_block;
        for (int bus = 0; bus < kOvMixerChannels; ++bus) {
            float level = 0.5f + 0.45f * std::sin(0.7f * static_cast<float>(m_block) + static_cast<float>(bus));
            for (int c = 0; c < 2; ++c) {
                float* out = buses->GetChannel(bus, c);
                for (int i = 0; i < frames; ++i)
                    out[i] = level;
            }
            buses->SetHasSignal(bus, true);
        }
        return frames;
    }

private:
    int m_block = 0;
};

// The engine's process-wide objects, a studio, its editor in a window
// inside a host's window.
struct EditorRig {
    HeadlessBackend backend;
    GigaPrefs prefs;
    GigaBankManager manager;
    GigaDiskThread disk;
    std::unique_ptr<GigaStudio> studio;
    std::unique_ptr<XNativeWindow> host;
    XWinGui gui;
    GigaEditor* editor = nullptr;
    HeadlessWindow* client = nullptr;
    audio::Buffers outputs;

    EditorRig()
    {
        XBackend::Install(&backend);
        OvStudio::SetViewFactory(&GigaEditor::Create);
        studio = GigaStudio::Create();
        editor = dynamic_cast<GigaEditor*>(studio->GetEditor());
        studio->AddPlayer(std::make_unique<MovingLevels>());
        studio->SetBlockSize(kFrames);
        outputs.Resize(kOvMixerOutputs, 2, kFrames);
        XWindowDesc desc;
        desc.className = "HostWindow";
        desc.w = editor->GetWidth();
        desc.h = editor->GetHeight();
        host = backend.CreateTopLevel(desc);
        gui.SetFrameWindow(host->GetHandle());
        gui.SetView(editor);
        XNativeWindow* made = gui.CreateClientWindow(host->GetHandle(), "KivControlVst", desc.w, desc.h);
        client = made ? backend.Find(made->GetHandle()) : nullptr;
        editor->SetVisible(true);
        editor->OnShow();
        backend.Pump(0);
    }
    ~EditorRig()
    {
        gui.StopTimer();
        gui.DestroyClientWindow();
        host.reset();
        studio.reset();
        OvStudio::SetViewFactory(nullptr);
        XBackend::Install(nullptr);
    }
    void ShowMixer()
    {
        XButton* button = editor->GetToolButton(editor::kMixer);
        button->SetPressed(true);
        editor->Notify(button, xwidget::kCodeMouseDown, 1);
        Tick();
    }
    void Render()
    {
        outputs.ClearActive();
        studio->Render(&outputs, kFrames);
    }
    void Tick() { backend.Advance(kTickMs); }
    int64_t Presented() const { return client ? client->GetPresentedPixels() * 4 : 0; }
};

void BM_RepaintMetersMoving(benchmark::State& state)
{
    EditorRig rig;
    rig.ShowMixer();
    for (int i = 0; i < 10; ++i) {
        rig.Render();
        rig.Tick();
    }
    int64_t bytes = 0;
    int64_t ticks = 0;
    for (auto _ : state) {
        rig.Render();
        int64_t before = rig.Presented();
        rig.Tick();
        bytes += rig.Presented() - before;
        ++ticks;
    }
    state.counters["bytes_per_tick"] = static_cast<double>(bytes) / static_cast<double>(ticks);
    state.counters["bytes_per_s"] =
        static_cast<double>(bytes) / static_cast<double>(ticks) * static_cast<double>(kTicksPerSecond);
}

void BM_FullRepaint(benchmark::State& state)
{
    EditorRig rig;
    rig.ShowMixer();
    int64_t bytes = 0;
    int64_t ticks = 0;
    for (auto _ : state) {
        rig.editor->Invalidate();
        int64_t before = rig.Presented();
        rig.Tick();
        bytes += rig.Presented() - before;
        ++ticks;
    }
    state.counters["bytes_per_repaint"] = static_cast<double>(bytes) / static_cast<double>(ticks);
}

void BM_IdleTick(benchmark::State& state)
{
    EditorRig rig;
    for (int i = 0; i < 10; ++i)
        rig.Tick();
    int64_t bytes = 0;
    int64_t ticks = 0;
    for (auto _ : state) {
        int64_t before = rig.Presented();
        rig.Tick();
        bytes += rig.Presented() - before;
        ++ticks;
    }
    state.counters["bytes_per_tick"] = static_cast<double>(bytes) / static_cast<double>(ticks);
}

}  // namespace

BENCHMARK(BM_RepaintMetersMoving)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FullRepaint)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_IdleTick)->Unit(benchmark::kMicrosecond);
