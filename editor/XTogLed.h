// LEDs of the part unit. XTogLed is a captioned LED switch (mute, solo);
// XMyLed shows one of two pictures, the note-activity LED that the audio
// thread lights through the tone's 'ovma' notification.
//
// Threads: GUI thread, except XMyLed::SetState (any thread: an atomic store
// and a repaint mark).
#pragma once
#include <atomic>

#include "kiv/gui/XControl.h"
#include "kiv/gui/XPic.h"
#include "kiv/gui/XToggle.h"

// Filled in colour slot 0 when off, slot 1 when on; black caption.
class XTogLed : public XToggle {
public:
    XTogLed(XControl* parent, int x, int y, int w, int h);
    void Draw(XGraphic& graphic) override;
};

class XMyLed : public XControl {
public:
    XMyLed(XControl* parent, int x, int y, int w, int h);

    void Draw(XGraphic& graphic) override;
    // 0 off, anything else on; repaints only on a change. Any thread.
    void SetState(int state);
    int GetState() const { return m_state.load(std::memory_order_relaxed); }
    bool HasPictures() const { return m_pics[0].IsLoaded() && m_pics[1].IsLoaded(); }

private:
    std::atomic<int> m_state{0};
    XPic m_pics[2];  // "led_off.png", "led_on.png"
};
