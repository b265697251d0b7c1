// The built tessivo.so loaded and unloaded the way a host rescanning its
// plug-ins does: dlopen, the entry, effClose, dlclose, a hundred times. The
// process must not grow with each round.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include <unistd.h>

#include "vst/VstAbi.h"

namespace {

std::string TessivoPath()
{
    const char* dir = getenv("KIV_TEST_BINARY_DIR");
    return std::string(dir ? dir : ".") + "/vst/tessivo.so";
}

vst::intptr HostCallback(vst::AEffect*, vst::int32 opcode, vst::int32, vst::intptr, void*, float)
{
    return opcode == vst::audioMasterVersion ? 2400 : 0;
}

long ResidentKb()
{
    std::ifstream statm("/proc/self/statm");
    long size = 0, resident = 0;
    statm >> size >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

int MappingCount()
{
    std::ifstream maps("/proc/self/maps");
    std::string line;
    int count = 0;
    while (std::getline(maps, line))
        ++count;
    return count;
}

bool LoadCreateCloseUnload()
{
    void* library = dlopen(TessivoPath().c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!library)
        return false;
    auto entry = reinterpret_cast<vst::EntryProc>(dlsym(library, "VSTPluginMain"));
    vst::AEffect* effect = entry ? entry(HostCallback) : nullptr;
    if (effect)
        effect->dispatcher(effect, vst::effClose, 0, 0, nullptr, 0.0f);
    return dlclose(library) == 0 && effect != nullptr;
}

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

}  // namespace

TEST(PluginReload, HundredLoadsAndUnloadsKeepMemoryAndMappingsFlat)
{
    // The first rounds load what stays for the process (the libraries the
    // plug-in pins, the allocator's arenas).
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(LoadCreateCloseUnload());
    const long residentBefore = ResidentKb();
    const int mappingsBefore = MappingCount();
    for (int i = 0; i < 100; ++i)
        ASSERT_TRUE(LoadCreateCloseUnload()) << "round " << i << ": " << dlerror();
    if (kSanitized)
        GTEST_SKIP() << "sanitizer allocators keep freed memory and map their own";
    // A leak of what each load sets up grew by a megabyte and several
    // mappings a round; noise is far below that.
    EXPECT_LE(MappingCount(), mappingsBefore + 2);
    EXPECT_LT(ResidentKb() - residentBefore, 2048);
}
