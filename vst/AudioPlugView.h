// AudioPlugView: how a hosted plug-in is shown to the user: its own editor
// in a popup window, or a generic view of its parameters. The hosted plug-in
// makes the right one on first request and owns it; the view must not
// outlive the plug-in's effect record, so unloading deletes it. GUI thread.
#pragma once
#include "kiv/file/Log.h"

class PlugInfo;

class AudioPlugView : public file::Log {
public:
    AudioPlugView() = default;
    ~AudioPlugView() override = default;
    AudioPlugView(const AudioPlugView&) = delete;
    AudioPlugView& operator=(const AudioPlugView&) = delete;

    // parent: the native parent window (an X11 window id), or null.
    virtual void Open(void* parent) = 0;
    virtual void Close() = 0;

    void SetInfo(PlugInfo* info) { m_info = info; }
    PlugInfo* GetInfo() const { return m_info; }
    // The plug-in's display name; null without an entry.
    const char* GetTitle() const;

private:
    PlugInfo* m_info = nullptr;  // belongs to the process-wide list
};
