// PlugLibrary: one loaded plug-in library (dlopen with RTLD_NOW | RTLD_LOCAL,
// so its symbols never mix with the host's or another plug-in's) and the
// lookup of its VST entry. Owns the handle; the library is unloaded when the
// object is freed. GUI, host or scan thread; one thread at a time.
#pragma once
#include "vst/VstAbi.h"

class PlugLibrary {
public:
    PlugLibrary() = default;
    ~PlugLibrary();
    PlugLibrary(const PlugLibrary&) = delete;
    PlugLibrary& operator=(const PlugLibrary&) = delete;

    // Unloads an earlier library first; false when the path does not load.
    bool Load(const char* path);
    void Free();
    bool IsLoaded() const { return m_handle != nullptr; }
    // The first of "VSTPluginMain", "main", "MAIN", "main_plugin" the
    // library exports; null when none.
    vst::EntryProc FindEntry() const;
    // Calls the entry and checks the effect record: null when the entry
    // returns none or a record without the 'VstP' magic.
    static vst::AEffect* CallEntry(vst::EntryProc entry, vst::HostCallbackProc host);

private:
    void* m_handle = nullptr;
};
