// A bank copied without its extension file, met the way a user meets it:
// the built tessivo.so takes a host chunk naming "Extension Bank.gig", its
// editor opens in a real window on a private Xvfb, the missing-files window
// lists the ".gx01", a real click on its scan button searches the folder the
// file dialog answers, and the keys whose samples live in the extension file
// sound afterwards. Skipped when no X server or xdotool is there.
#include <gtest/gtest.h>
// Xlib's event type has the toolkit's event type's name.
#define XEvent XlibEvent
#include <X11/Xlib.h>
#undef XEvent
#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "engine/GigaDeck.h"
#include "engine/GigaStudio.h"
#include "engine/GigaTone.h"
#include "gig/GigFixtures.h"
#include "gui/GuiTestLeaks.h"
#include "support/TestSupport.h"
#include "support/XvfbServer.h"
#include "vst/VstAbi.h"

namespace {

std::string TessivoPath()
{
    const char* dir = getenv("KIV_TEST_BINARY_DIR");
    return std::string(dir ? dir : ".") + "/vst/tessivo.so";
}

vst::intptr HostCallback(vst::AEffect*, vst::int32 opcode, vst::int32, vst::intptr, void*, float)
{
    switch (opcode) {
    case vst::audioMasterVersion:
        return 2400;
    case vst::audioMasterGetCurrentProcessLevel:
        return 2;  // real time
    default:
        return 0;
    }
}

// One note on MIDI channel 1: the peak of the first output pair over a few
// blocks of 512 frames, then the note is let go and its release rendered.
float PlayKey(vst::AEffect* effect, int key)
{
    struct Events {
        vst::int32 numEvents = 1;
        vst::intptr reserved = 0;
        vst::VstEvent* events[2] = {};
        vst::VstMidiEvent record{};
    };
    std::vector<std::vector<float>> out(32, std::vector<float>(512));
    float* pointers[32];
    for (int i = 0; i < 32; ++i)
        pointers[i] = out[i].data();
    // The tones take notes from the render after a load started them.
    effect->processReplacing(effect, nullptr, pointers, 512);
    float peak = 0.0f;
    for (int velocity : {110, 0}) {
        Events on;
        on.record.type = vst::kVstMidiType;
        on.record.byteSize = sizeof(vst::VstMidiEvent) - 8;
        on.record.midiData[0] = static_cast<char>(0x90);
        on.record.midiData[1] = static_cast<char>(key);
        on.record.midiData[2] = static_cast<char>(velocity);
        on.events[0] = reinterpret_cast<vst::VstEvent*>(&on.record);
        effect->dispatcher(effect, vst::effProcessEvents, 0, 0, &on, 0.0f);
        for (int block = 0; block < (velocity ? 8 : 200); ++block) {
            effect->processReplacing(effect, nullptr, pointers, 512);
            if (velocity)
                for (int c = 0; c < 2; ++c)
                    for (float s : out[c])
                        peak = std::max(peak, std::fabs(s));
        }
    }
    return peak;
}

}  // namespace

TEST(MissingExtensionInEditor, IsListedFoundByARealClickAndThenPlayed)
{
    if (!kivtest::HaveProgram("xdotool"))
        GTEST_SKIP() << "xdotool is not installed";
    kivtest::XvfbServer server("1024x768x24");
    if (!server.Start())
        GTEST_SKIP() << server.SkipReason();
    Display* display = XOpenDisplay(nullptr);
    ASSERT_NE(display, nullptr);

    // The bank is where the chunk says; its extension file went elsewhere.
    kivtest::TempDir dir;
    const std::string bank = dir.File("Extension Bank.gig");
    ASSERT_TRUE(gigtools::ExtensionFixture().bank.Write(bank));
    const std::string moved = dir.File("moved");
    ASSERT_EQ(mkdir(moved.c_str(), 0755), 0);
    ASSERT_EQ(rename(dir.File("Extension Bank.gx01").c_str(), (moved + "/Extension Bank.gx01").c_str()), 0);
    std::string chunk;
    {
        std::unique_ptr<GigaStudio> studio = GigaStudio::Create();
        ASSERT_NE(studio->GetDeck(0)->GetGigaTone(0)->AddPart(bank.c_str(), 0), nullptr);
        kiv::data bytes;
        ASSERT_TRUE(studio->GetState(bytes));
        chunk.assign(reinterpret_cast<const char*>(bytes.GetBytes()), static_cast<size_t>(bytes.GetSize()));
    }

    void* library = dlopen(TessivoPath().c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
    auto entry = reinterpret_cast<vst::EntryProc>(dlsym(library, "VSTPluginMain"));
    vst::AEffect* effect = entry(HostCallback);
    ASSERT_NE(effect, nullptr);
    auto call = [&](vst::int32 opcode, vst::intptr value = 0, void* ptr = nullptr, float opt = 0.0f) {
        return effect->dispatcher(effect, opcode, 0, value, ptr, opt);
    };
    call(vst::effOpen);
    call(vst::effSetSampleRate, 0, nullptr, 44100.0f);
    call(vst::effSetBlockSize, 512);
    call(vst::effMainsChanged, 1);
    ASSERT_EQ(call(vst::effSetChunk, static_cast<vst::intptr>(chunk.size()), chunk.data()), 1);
    // Keys 0-60 come from the .gig and sound; 61-127 would need the .gx01.
    EXPECT_GT(PlayKey(effect, 55), 0.001f);
    EXPECT_EQ(PlayKey(effect, 67), 0.0f);

    Window host = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 900, 600, 0, 0, 0);
    XMapWindow(display, host);
    XSync(display, False);
    ASSERT_EQ(call(vst::effEditOpen, 0, reinterpret_cast<void*>(static_cast<uintptr_t>(host))), 1);
    auto idle = [&](int ms) {
        for (int waited = 0; waited < ms; waited += 20) {
            call(vst::effEditIdle);
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    };
    // The editor's first ticks open the missing-files window: its view tree,
    // written on a tick when the file is absent, names it.
    kivtest::TempDir scratch;
    const std::string treePath = scratch.File("viewtree.txt");
    setenv("KIV_VIEW_TREE", treePath.c_str(), 1);
    bool shown = false;
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(kivtest::kPatientMs);
    while (!shown && std::chrono::steady_clock::now() < until) {
        idle(20);
        std::ifstream tree(treePath);
        std::stringstream text;
        text << tree.rdbuf();
        shown = text.str().find("WMissing") != std::string::npos;
        unlink(treePath.c_str());
    }
    unsetenv("KIV_VIEW_TREE");
    ASSERT_TRUE(shown) << "the missing-files window did not open";

    // The folder dialog answers with the folder the file went to; the scan
    // button of the 640 x 184 window centred in the 864 x 560 editor is
    // 130 x 22 at 140 and 30 from its right and bottom edges.
    setenv("KIV_DIALOG_ANSWER", (moved + "\n").c_str(), 1);
    const int x = (864 - 640) / 2 + 640 - 140 + 65, y = (560 - 184) / 2 + 184 - 30 + 11;
    kivtest::RunCommand("xdotool mousemove --window " + std::to_string(host) + " " + std::to_string(x) + " " +
                        std::to_string(y) + " click 1");
    // The search, the window closing and the reload run on the editor's ticks
    // and the loader thread.
    float peak = 0.0f;
    for (int i = 0; i < 600 && peak == 0.0f; ++i) {
        idle(100);
        peak = PlayKey(effect, 67);
    }
    unsetenv("KIV_DIALOG_ANSWER");
    EXPECT_GT(peak, 0.001f);

    call(vst::effEditClose);
    call(vst::effClose);
    dlclose(library);
    XDestroyWindow(display, host);
    XCloseDisplay(display);
}
