// Audio-thread code: Setup, RenderStep and the list operations are noexcept
// and allocate nothing.
#include "engine/OvVoice.h"

#include "engine/OvTone.h"

void OvVoice::Setup(int key, int velocity, int deltaFrames, OvZone* zone, OvTone* tone,
                    GigaPart* part) noexcept
{
    m_key = key;
    m_velocity = velocity;
    m_deltaFrames = deltaFrames;
    m_zone = zone;
    m_tone = tone;
    m_part = part;
    m_keyOffset = 0;
    m_startLevel = tone ? tone->GetLevel() : 0.0f;
    m_state = kOvVoicePlaying;
    m_ignoresSustain = false;
    m_framesRendered = 0;
    m_releaseRequested = false;
    Start();
}

int OvVoice::RenderStep(audio::Buffers* buses, int frames) noexcept
{
    const bool sustain = m_tone && m_tone->IsSustain();
    if (m_releaseRequested) {
        m_releaseRequested = false;
        // A voice already released or fading keeps its own course: a note
        // off must not turn a fast release back into a slow one.
        if (m_state == kOvVoicePlaying || m_state == kOvVoiceSustained)
            m_state = (sustain && !m_ignoresSustain) ? kOvVoiceSustained : kOvVoiceReleased;
    }
    if (m_state == kOvVoiceSustained && !sustain)
        m_state = kOvVoiceReleased;
    int n = Render(buses, frames);
    if (n < 0)
        n = 0;
    m_deltaFrames = 0;
    m_framesRendered += n;
    if (n < frames)
        m_state = kOvVoiceFinished;
    return n;
}

OvVoiceList::~OvVoiceList()
{
    OvVoice* v = m_head;
    while (v) {
        OvVoice* next = v->m_next;
        delete v;
        v = next;
    }
    m_head = m_tail = nullptr;
    m_count = 0;
}

void OvVoiceList::Append(OvVoice* voice) noexcept
{
    if (!voice)
        return;
    voice->m_next = nullptr;
    if (m_tail)
        m_tail->m_next = voice;
    else
        m_head = voice;
    m_tail = voice;
    ++m_count;
}

void OvVoiceList::RemoveAfter(OvVoice* prev, OvVoice* voice) noexcept
{
    if (prev)
        prev->m_next = voice->m_next;
    else
        m_head = voice->m_next;
    if (m_tail == voice)
        m_tail = prev;
    voice->m_next = nullptr;
    --m_count;
}

bool OvVoiceList::Remove(OvVoice* voice) noexcept
{
    OvVoice* prev = nullptr;
    for (OvVoice* v = m_head; v; prev = v, v = v->m_next) {
        if (v == voice) {
            RemoveAfter(prev, v);
            return true;
        }
    }
    return false;
}

OvVoice* OvVoiceList::PopFront() noexcept
{
    OvVoice* v = m_head;
    if (v)
        RemoveAfter(nullptr, v);
    return v;
}

OvVoice* OvVoiceList::TakeAll() noexcept
{
    OvVoice* head = m_head;
    m_head = m_tail = nullptr;
    m_count = 0;
    return head;
}

void OvVoiceList::FastReleaseKey(int key) noexcept
{
    for (OvVoice* v = m_head; v; v = v->m_next)
        if (v->m_key == key)
            v->m_state = kOvVoiceFastRelease;
}

void OvVoiceList::ReleaseKey(int key) noexcept
{
    for (OvVoice* v = m_head; v; v = v->m_next)
        if (v->m_key == key)
            v->m_releaseRequested = true;
}
