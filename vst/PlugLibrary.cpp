#include "vst/PlugLibrary.h"

#include <dlfcn.h>

#include "kiv/file/FileOpen.h"
#include "vst/VstConstants.h"

PlugLibrary::~PlugLibrary()
{
    Free();
}

bool PlugLibrary::Load(const char* path)
{
    Free();
    // dlopen waits on a named pipe like any open: only a regular file is
    // given to it.
    if (!path || !path[0] || !file::IsReadableFile(path))
        return false;
    m_handle = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    return m_handle != nullptr;
}

void PlugLibrary::Free()
{
    if (!m_handle)
        return;
    dlclose(m_handle);
    m_handle = nullptr;
}

vst::EntryProc PlugLibrary::FindEntry() const
{
    if (!m_handle)
        return nullptr;
    for (const char* name : plug::kEntryNames) {
        if (void* symbol = dlsym(m_handle, name))
            return reinterpret_cast<vst::EntryProc>(symbol);
    }
    return nullptr;
}

vst::AEffect* PlugLibrary::CallEntry(vst::EntryProc entry, vst::HostCallbackProc host)
{
    if (!entry)
        return nullptr;
    vst::AEffect* effect = entry(host);
    if (!effect || effect->magic != vst::kEffectMagic)
        return nullptr;
    return effect;
}
