#include "engine/OvGroup.h"

void OvGroupMember::Init(bool muted, bool soloed)
{
    m_state = soloed ? kSoloed : (muted ? kMuted : kNormal);
    m_request = m_state;
}

void OvGroup::ApplyRequests()
{
    const int count = GetMemberCount();
    int soloed = 0;
    for (int i = 0; i < count; ++i) {
        OvGroupMember* m = GetMember(i);
        if (m && m->m_state == OvGroupMember::kSoloed)
            ++soloed;
    }
    for (int i = 0; i < count; ++i) {
        OvGroupMember* m = GetMember(i);
        if (!m || m->m_request == m->m_state)
            continue;
        switch (m->m_request) {
        case OvGroupMember::kRequestMute:
            m->m_state = OvGroupMember::kMuted;
            break;
        case OvGroupMember::kRequestUnmute:
            // Unmuted during a solo: joins the soloed members.
            m->m_state = soloed > 0 ? OvGroupMember::kSoloed : OvGroupMember::kNormal;
            break;
        case OvGroupMember::kRequestSolo:
            if (soloed == 0)
                SaveStates();
            m->m_state = OvGroupMember::kSoloed;
            ++soloed;
            break;
        case OvGroupMember::kRequestUnsolo:
            m->m_state = OvGroupMember::kMuted;
            if (soloed == 1)
                RestoreStates();
            --soloed;
            break;
        default:
            break;
        }
        m->m_request = m->m_state;
    }
    for (int i = 0; i < count; ++i) {
        OvGroupMember* m = GetMember(i);
        if (!m)
            continue;
        m->OnMute(m->m_state == OvGroupMember::kMuted);
        m->OnSolo(m->m_state == OvGroupMember::kSoloed);
    }
}

void OvGroup::SaveStates()
{
    const int count = GetMemberCount();
    for (int i = 0; i < count; ++i) {
        OvGroupMember* m = GetMember(i);
        if (!m)
            continue;
        m->m_savedState = m->m_state;
        if (m->m_request != OvGroupMember::kRequestSolo)
            m->m_state = OvGroupMember::kMuted;
    }
}

void OvGroup::RestoreStates()
{
    const int count = GetMemberCount();
    for (int i = 0; i < count; ++i) {
        OvGroupMember* m = GetMember(i);
        if (!m)
            continue;
        m->m_state = m->m_savedState;
        m->m_request = m->m_savedState;
    }
}
