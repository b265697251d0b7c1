// OvVstWindow: the plug-in's VST editor. It puts one child window of class
// "KivControlVst" into the window the host gives it and lets the toolkit's
// window binding run the studio's editor view (the GigaEditor) in it. The
// host's idle calls pump the toolkit: its X events and its 50 ms tick run
// on the host's GUI thread, as every other editor call does.
//
// Threads: the host's GUI thread only.
#pragma once
#include <cstdint>

#include "kiv/gui/XWinGui.h"
#include "vst/AudioEffect.h"

class OvStudio;

class OvVstWindow : public AEffEditor, public XWinGui {
public:
    // Registers itself as the effect's editor (the has-editor flag).
    OvVstWindow(OvStudio* engine, AudioEffect* effect);
    // Closes the window; the editor view stays with the studio.
    ~OvVstWindow() override;

    bool getRect(vst::ERect** rect) override;
    bool open(void* ptr) override;
    void close() override;
    bool isOpen() override { return systemWindow != nullptr; }
    // Delivers the toolkit's waiting input, paints and due ticks.
    void idle() override;
    bool onKeyDown(vst::VstKeyCode& key) override;
    // Swallowed: the host must not act on a key the editor may have used.
    bool onKeyUp(vst::VstKeyCode&) override { return true; }
    bool onWheel(float) override { return false; }
    bool setKnobMode(vst::int32) override { return false; }

    // The toolkit key code and modifier set of a host key record.
    static int ToolkitKeyCode(int vstVirtualKey);
    static int ToolkitModifiers(int vstModifiers);

    static constexpr const char* kClassName = "KivControlVst";

private:
    OvStudio* m_engine;
    uintptr_t m_parent = 0;
};
