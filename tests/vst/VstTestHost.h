// Hosting plug-ins in tests: one of our test effects opened as a mixer slot
// opens it, and a guard that keeps the leak checker off what third-party
// plug-ins allocate (they keep a few allocations after they are unloaded).
#pragma once
#include <string>

#include "tests/vst/VstTestPlugins.h"
#include "vst/AudioPlugVst.h"
#include "vst/PlugInfo.h"

#if defined(__SANITIZE_ADDRESS__)
#define KIV_HAS_LSAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KIV_HAS_LSAN 1
#endif
#endif
#ifdef KIV_HAS_LSAN
#include <sanitizer/lsan_interface.h>
#endif

namespace vsttest {

// A test plug-in built beside the tests ("testeffect", "testsynth", ...),
// opened at once; state is what the loaded library records.
struct LoadedPlug {
    explicit LoadedPlug(const char* name) : path(PluginPath(name))
    {
        info.SetPath(path.c_str());
        info.SetName((std::string(name) + ".so").c_str());
        opened = plug.Open(&info);
        state = StateOf(path);
    }
    std::string path;
    PlugInfo info;
    AudioPlugVst plug;
    bool opened = false;
    TestEffectState* state = nullptr;
};

// The leak checker ignores what is allocated while this lives, so it checks
// what we allocate, not what a third-party plug-in does. Without a leak
// checker it is empty, hence maybe unused.
struct [[maybe_unused]] ForeignLeaksIgnored {
#ifdef KIV_HAS_LSAN
    ForeignLeaksIgnored() { __lsan_disable(); }
    ~ForeignLeaksIgnored() { __lsan_enable(); }
#endif
};

}  // namespace vsttest
