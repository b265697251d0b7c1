// What the engine sees of the views that it notifies. The toolkit's classes
// implement these (the part unit's OvView, the editor's event queue), so the
// engine library links no toolkit code.
#pragma once
#include <cstdint>

#include "kiv/data/XEvent.h"

class OvTone;

// A tone's view. OnToneEvent is called on the audio and loader threads with
// the tone's four-character codes ('stat', 'load', 'ovcc', 'ovma', 'keyb');
// an implementation only stores values and marks controls for repainting.
class OvToneView {
public:
    virtual ~OvToneView() = default;
    virtual void OnToneEvent(OvTone* tone, uint32_t code, int value) = 0;
};

// The editor's event queue as seen by a player ('OvTL' from the loader,
// 'mixr' from the studio). Called on the loader or host thread; drained on
// the GUI thread's tick. False when the event could not be queued.
class OvEventTarget {
public:
    virtual ~OvEventTarget() = default;
    virtual bool PostEvent(const XEvent& event) = 0;
};
