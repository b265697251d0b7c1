// OvView: the base of a tone's view (the part unit). It is a control of the
// editor's tree and a member of the rack's mute and solo group, and it is
// what the tone notifies ('stat', 'load', 'ovcc', 'ovma', 'keyb') once
// AttachToTone made it the tone's view.
//
// Threads: built, attached and deleted on the GUI thread. OnToneEvent is
// called on the audio thread and on the loader thread: an implementation only
// stores values into controls (atomics) and marks them for repainting; it
// never allocates, locks or waits.
#pragma once
#include <cstdint>

#include "engine/OvGroup.h"
#include "engine/OvView.h"
#include "kiv/gui/XControl.h"

class OvEditor;
class OvTone;

class OvView : public XControl, public OvGroupMember, public OvToneView {
public:
    // Neither the editor nor the tone is owned; either may be null.
    OvView(OvEditor* editor, OvTone* tone);
    // DetachFromTone. Without an editor the tone must outlive the view.
    ~OvView() override;

    // The tone's notifications; the base ignores them.
    void OnToneEvent(OvTone* tone, uint32_t code, int value) override;

    // With the flag set and a tone, the view becomes the tone's notification
    // target. A cleared flag changes nothing: views are detached only when
    // they are deleted.
    void AttachToTone(bool attach);

    // Stops being the tone's view (when it still is) and waits, bounded, for
    // a notification that may be inside OnToneEvent on the audio or loader
    // thread. A derived view calls it first
    // in its destructor, so no notification reaches a half-destroyed view;
    // the base destructor calls it too. Nothing when the engine went first.
    void DetachFromTone();

    OvEditor* GetEditor() const { return m_editor; }
    OvTone* GetTone() const { return m_tone; }

private:
    OvEditor* m_editor = nullptr;
    OvTone* m_tone = nullptr;
};
