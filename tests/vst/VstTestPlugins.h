// Paths of the test effect plug-ins built beside the tests, and access to
// the state a loaded one records.
#pragma once
#include <dlfcn.h>

#include <cstdlib>
#include <string>

#include "tests/vst/plugins/TestEffect.h"

namespace vsttest {

inline std::string PluginPath(const char* name)
{
    const char* dir = getenv("KIV_TEST_BINARY_DIR");
    return std::string(dir ? dir : ".") + "/testplugins/" + name + ".so";
}

// The state of a library that is loaded already (null when it is not).
inline TestEffectState* StateOf(const std::string& path)
{
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (!handle)
        return nullptr;
    auto get = reinterpret_cast<TestEffectGetStateProc>(dlsym(handle, "TestEffectGetState"));
    TestEffectState* state = get ? get() : nullptr;
    dlclose(handle);  // drops only the reference taken here
    return state;
}

inline bool IsLoaded(const std::string& path)
{
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (handle)
        dlclose(handle);
    return handle != nullptr;
}

inline intptr_t AskHost(const std::string& path, int32_t opcode, intptr_t value = 0, void* ptr = nullptr,
                        float opt = 0.0f)
{
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (!handle)
        return -1;
    auto ask = reinterpret_cast<TestEffectAskHostProc>(dlsym(handle, "TestEffectAskHost"));
    intptr_t answer = ask ? ask(opcode, value, ptr, opt) : -1;
    dlclose(handle);
    return answer;
}

}  // namespace vsttest
