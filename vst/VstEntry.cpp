// The library's entry and its process-wide objects.
//
// Loading the library binds the editor's view factory, then builds, in this
// order, the preferences, the bank manager, the disk-streaming thread object,
// the effect plug-in list and the favourites list; unloading destroys them in
// the reverse order. They are static objects of
// this one file, so the order is that of their definitions. No thread starts
// at load; each object's destructor stops and joins its own thread (the
// plug-in scan, the disk thread, a loader pass) before the library's code
// goes away.
#include <new>

#include "editor/FavList.h"
#include "editor/GigaEditor.h"
#include "editor/XTrack.h"
#include "engine/GigaBankManager.h"
#include "engine/GigaDiskThread.h"
#include "engine/GigaPrefs.h"
#include "engine/OvStudio.h"
#include "kiv/gui/X11Backend.h"
#include "kiv/gui/XGraphic.h"
#include "vst/OvVstAudio.h"
#include "vst/AudioPlugVst.h"
#include "vst/AudioPlugView.h"
#include "vst/OvVstInsert.h"
#include "vst/PlugInfoList.h"

namespace {

// Defined first, so destroyed last: the studio's editor view is made through
// the factory, and the X connection the editor windows used is closed at
// unload, after every other object of the library.
struct EditorBinding {
    EditorBinding()
    {
        OvStudio::SetViewFactory(&GigaEditor::Create);
        // Hosts load and unload plug-ins again and again (a rescan, a
        // project reload): the drawing libraries stay, so each load does not
        // leave their set-up behind.
        XGraphic::KeepLibrariesLoaded();
    }
    ~EditorBinding()
    {
        OvStudio::SetViewFactory(nullptr);
        X11Backend::Shutdown();
    }
} g_editorBinding;

GigaPrefs g_prefs;
GigaBankManager g_bankManager;
GigaDiskThread g_diskThread;
PlugInfoList g_plugList;
FavList g_favList;

OvVstInsertFactory g_insertFactory(&g_plugList);

// Makes the plug-in list the one hosted effects are restored from and lets
// the mixer open effects through it; both are withdrawn before the list is
// destroyed.
struct PlugListBinding {
    PlugListBinding()
    {
        PlugInfoList::SetProcessList(&g_plugList);
        OvStudio::SetInsertFactory(&g_insertFactory);
    }
    ~PlugListBinding()
    {
        OvStudio::SetInsertFactory(nullptr);
        PlugInfoList::SetProcessList(nullptr);
    }
} g_plugListBinding;

// Opens a hosted effect's own editor from a mixer strip.
void OpenInsertEditor(OvInsert* insert, void* parentWindow)
{
    auto* plugInsert = static_cast<OvVstInsert*>(insert);
    if (!plugInsert || !plugInsert->GetPlug())
        return;
    if (AudioPlugView* view = plugInsert->GetPlug()->GetView())
        view->Open(parentWindow);
}

// The editor's services that live in this library: the favourites list the
// browser shows (written back at unload when it changed), the output names of
// the mixer's routing menu and the effect editors of its insert slots.
struct EditorServices {
    EditorServices()
    {
        FavList::SetProcessList(&g_favList);
        XTrack::SetOutputNamer(&OvVstAudio::GetOutputName);
        XTrack::SetInsertEditorOpener(&OpenInsertEditor);
    }
    ~EditorServices()
    {
        XTrack::SetInsertEditorOpener(nullptr);
        XTrack::SetOutputNamer(nullptr);
        FavList::SetProcessList(nullptr);
    }
} g_editorServices;

vst::AEffect* CreateEffect(vst::HostCallbackProc host)
{
    if (!host)
        return nullptr;
    if (host(nullptr, vst::audioMasterVersion, 0, 0, nullptr, 0.0f) == 0)
        return nullptr;
    // Nothing may leave into the host: a failed construction is a null effect.
    try {
        auto* effect = new OvVstAudio(host);
        return effect->getAeffect();
    } catch (...) {
        return nullptr;
    }
}

}  // namespace

// One function under the two names hosts look for.
extern "C" __attribute__((visibility("default"))) vst::AEffect* VSTPluginMain(vst::HostCallbackProc host)
{
    return CreateEffect(host);
}

extern "C" __attribute__((visibility("default"), alias("VSTPluginMain"))) vst::AEffect* VstMainAlias(
    vst::HostCallbackProc host) __asm__("main");
