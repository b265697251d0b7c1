// The two ways a hosted VST 2 effect is shown (AudioPlugVst::CreateView makes
// one, its AudioPlug owns it and deletes it before the effect goes away):
//
// AudioPlugViewWindows: the plug-in's own editor in a popup window of ours
// ("KivPluginWindow") whose X11 id the plug-in gets with effEditOpen. The
// window is made at the editor's size and fixed to it; it follows the sizes
// the plug-in asks for later (audioMasterSizeWindow). While the editor is
// open the window's timer sends effEditIdle, as Linux plug-ins expect of
// their host; the display updates and sizes a plug-in asks for are served
// there too, on the GUI thread.
//
// AudioPlugViewGeneric: a toolkit view with one fader row per parameter, for
// plug-ins without an editor. Rows are AudioPlugViewParam controls over
// AudioPlugParam records.
//
// GUI thread only (the plug-in's parameter calls included).
#pragma once
#include <cstdint>
#include <memory>
#include <vector>

#include "kiv/data/String.h"
#include "kiv/gui/XBackend.h"
#include "kiv/gui/XControl.h"
#include "kiv/gui/XListener.h"
#include "kiv/gui/XView.h"
#include "vst/AudioPlugRequests.h"
#include "vst/AudioPlugView.h"
#include "vst/AudioPlugVstViewConst.h"
#include "vst/VstAbi.h"

class XFader;
class XLabel;

class AudioPlugViewWindows : public AudioPlugView, public XNativeSink {
public:
    // requests: what the hosted plug-in asks of its host (set on any
    // thread, taken by the popup's timer); may be null.
    explicit AudioPlugViewWindows(vst::AEffect* effect, AudioPlugRequests* requests = nullptr);
    // Closes an open editor (the plug-in must not keep drawing into a
    // window that is gone).
    ~AudioPlugViewWindows() override;

    // Opens the editor in the popup, kept with the top-level window of
    // `parent` (an X11 window id or null). Does nothing without a display or
    // when the editor is open.
    void Open(void* parent) override;
    // Remembers where the popup was, closes the editor and the popup.
    void Close() override;

    // The popup's messages: its close box closes the editor, its timer
    // idles it; the plug-in paints everything else itself.
    void OnNativeMessage(XNativeWindow* from, const XNativeMessage& message) override;

    bool IsOpen() const { return m_shown; }
    // The popup's native window; null while none exists.
    XNativeWindow* GetWindow() const { return m_window.get(); }
    int GetPositionX() const { return m_x; }
    int GetPositionY() const { return m_y; }

private:
    bool MakeWindow(uintptr_t parent);
    // The plug-in's editor size; false when it gives none.
    bool AskEditorSize(int& w, int& h);
    // Gives the open popup the editor size the plug-in gave last, if any.
    void FollowEditorSize(bool askRect);
    // Fixes the popup's client area at w x h.
    void SetClientSize(int w, int h);
    void DestroyWindow();

    vst::AEffect* m_effect;                  // belongs to the hosted plug-in
    AudioPlugRequests* m_requests;           // belongs to the hosted plug-in
    std::unique_ptr<XNativeWindow> m_window;
    XBackend* m_backend = nullptr;           // that made the window (and runs its timer)
    bool m_shown = false;
    int32_t m_x = plugview::kFirstWindowX;   // top-left corner on the screen
    int32_t m_y = plugview::kFirstWindowY;
};

// One parameter of the generic view.
struct AudioPlugParam {
    int index = 0;
    kiv::string name;
    float min = 0.0f;
    float max = 1.0f;
    float value = 0.0f;
    int group = plugview::kParamGroupNone;
};

// One row: name, fader and the plug-in's text for the value. Tells its
// listener (the view) 'setv' when the fader moves.
class AudioPlugViewParam : public XControl, public XListener {
public:
    AudioPlugViewParam(XControl* parent, int x, int y, int w, int h);

    void SetUp(AudioPlugParam* param);
    void SetValueText(const char* text);

    int Notify(XControl* sender, int code, int value) override;
    using XControl::Notify;

    AudioPlugParam* GetParam() const { return m_param; }
    XFader* GetFader() const { return m_fader; }
    XLabel* GetNameLabel() const { return m_name; }
    XLabel* GetValueLabel() const { return m_valueLabel; }

private:
    AudioPlugParam* m_param = nullptr;  // belongs to the view
    XLabel* m_name = nullptr;           // children, owned by the tree
    XFader* m_fader = nullptr;
    XLabel* m_valueLabel = nullptr;
};

class AudioPlugViewGeneric : public AudioPlugView, public XView, public XListener {
public:
    AudioPlugViewGeneric();
    ~AudioPlugViewGeneric() override;

    // Reads the plug-in's parameters and lays out one row for each; once,
    // right after construction.
    void Build(vst::AEffect* effect);

    // Shows the view in its window; when it is shown already, closes it.
    void Open(void* parent) override;
    // Closes the window at once.
    void Close() override;
    void OnClosing() override;

    // 'setv' from a row: the plug-in takes the fader's value, then the row
    // shows the plug-in's own text for it.
    int Notify(XControl* sender, int code, int value) override;
    using XControl::Notify;

    bool IsShown() const { return m_shown; }
    int CountParams() const { return static_cast<int>(m_params.size()); }
    AudioPlugViewParam* GetRow(int n) const;

private:
    void ShowDisplayText(AudioPlugViewParam* row);

    bool m_shown = false;
    vst::AEffect* m_effect = nullptr;  // belongs to the hosted plug-in
    std::vector<std::unique_ptr<AudioPlugParam>> m_params;
    std::vector<AudioPlugViewParam*> m_rows;  // children, owned by the tree
};
