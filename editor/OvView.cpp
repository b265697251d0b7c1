#include "editor/OvView.h"

#include "editor/OvEditor.h"
#include "engine/OvConstants.h"
#include "engine/OvTone.h"

OvView::OvView(OvEditor* editor, OvTone* tone) : m_editor(editor), m_tone(tone) {}

OvView::~OvView() { DetachFromTone(); }

void OvView::DetachFromTone()
{
    if (!m_tone || (m_editor && !m_editor->IsEngineAlive()))
        return;
    // The tone must not call a view that is gone. The audio or the loader
    // thread may have read the pointer just before it was cleared: the tone
    // waits until no such notification is still running.
    if (!m_tone->DetachView(this, kOvRenderWaitMs))
        m_tone->Print("*** OvView::DetachFromTone() notification still running ***");
}

void OvView::OnToneEvent(OvTone* tone, uint32_t code, int value)
{
    (void)tone;
    (void)code;
    (void)value;
}

void OvView::AttachToTone(bool attach)
{
    if (attach && m_tone)
        m_tone->SetView(this);
}
