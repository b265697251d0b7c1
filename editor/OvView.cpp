#include "editor/OvView.h"

#include "editor/OvEditor.h"
#include "engine/OvConstants.h"
#include "engine/OvPlayer.h"
#include "engine/OvTone.h"

OvView::OvView(OvEditor* editor, OvTone* tone) : m_editor(editor), m_tone(tone) {}

OvView::~OvView() { DetachFromTone(); }

void OvView::DetachFromTone()
{
    if (!m_tone || (m_editor && !m_editor->IsEngineAlive()))
        return;
    if (m_tone->GetView() != this)
        return;
    // The tone must not call a view that is gone. The audio thread may have
    // read the pointer just before it was cleared: let that render end.
    m_tone->SetView(nullptr);
    if (OvPlayer* player = m_tone->GetPlayer())
        player->WaitRenderIdle(kOvRenderWaitMs);
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
