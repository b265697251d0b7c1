// OvVoice: one sounding sample of one note, the format-independent base of
// GigaVoice; OvVoiceList: the intrusive singly linked list that holds a
// player's pool of free voices and each tone's active voices.
//
// A player builds its voices once; a tone takes one from the pool on a note
// on and gives it back when it has ended. Voices and lists are used on the
// audio thread only, except while their tone is stopped and no render is in
// progress (see OvTone). Audio-thread functions are noexcept and allocate
// nothing.
#pragma once
#include <cstdint>

#include "engine/OvConstants.h"
#include "kiv/file/Log.h"

namespace audio {
class Buffers;
}
class OvTone;
class OvZone;
class GigaPart;

class OvVoice {
public:
    OvVoice() = default;
    OvVoice(const OvVoice&) = delete;
    OvVoice& operator=(const OvVoice&) = delete;

    // Leaves whatever the voice holds outside itself (GigaVoice: its disk
    // stream). Called when the voice goes back to the pool.
    virtual void Stop() noexcept {}
    virtual ~OvVoice() = default;

    // Audio thread (or a thread that owns the stopped tone). Stores the note,
    // takes the tone's current level, state 0, then Start.
    void Setup(int key, int velocity, int deltaFrames, OvZone* zone, OvTone* tone,
               GigaPart* part) noexcept;
    // A note off: handled at the voice's next render step.
    void RequestRelease() noexcept { m_releaseRequested = true; }
    // Applies a pending release and the sustain pedal, renders, counts the
    // frames; fewer frames than asked mean the voice has ended (state 5).
    int RenderStep(audio::Buffers* buses, int frames) noexcept;

    int GetKey() const { return m_key; }
    int GetVelocity() const { return m_velocity; }
    int GetKeyOffset() const { return m_keyOffset; }
    void SetKeyOffset(int offset) { m_keyOffset = offset; }
    int GetDeltaFrames() const { return m_deltaFrames; }
    int GetState() const { return m_state; }
    void SetState(int state) { m_state = state; }
    bool IgnoresSustain() const { return m_ignoresSustain; }
    void SetIgnoresSustain(bool on) { m_ignoresSustain = on; }
    int64_t GetFramesRendered() const { return m_framesRendered; }
    float GetStartLevel() const { return m_startLevel; }
    bool IsReleaseRequested() const { return m_releaseRequested; }
    OvTone* GetTone() const { return m_tone; }
    OvZone* GetZone() const { return m_zone; }
    GigaPart* GetPart() const { return m_part; }
    OvVoice* GetNext() const { return m_next; }

protected:
    // Called by Setup once the fields are stored.
    virtual void Start() noexcept {}
    // Renders into the bus set (null: advance silently). Returns the frames
    // produced; fewer than asked mean the voice has ended.
    virtual int Render(audio::Buffers* buses, int frames) noexcept = 0;

private:
    friend class OvVoiceList;
    friend class OvTone;  // chains stopped voices for their return to the pool

    OvTone* m_tone = nullptr;
    OvZone* m_zone = nullptr;
    GigaPart* m_part = nullptr;  // null for the base tone
    int m_key = 0;
    int m_velocity = 0;
    int m_keyOffset = 0;
    int m_deltaFrames = 0;
    int m_state = kOvVoiceFinished;
    bool m_ignoresSustain = false;
    bool m_releaseRequested = false;
    int64_t m_framesRendered = 0;
    float m_startLevel = 0.0f;
    OvVoice* m_next = nullptr;
};

class OvVoiceList : public file::Log {
public:
    OvVoiceList() = default;
    ~OvVoiceList() override;  // deletes every voice still in the list
    OvVoiceList(const OvVoiceList&) = delete;
    OvVoiceList& operator=(const OvVoiceList&) = delete;

    void Append(OvVoice* voice) noexcept;          // at the tail
    bool Remove(OvVoice* voice) noexcept;          // searching from the head
    void RemoveAfter(OvVoice* prev, OvVoice* voice) noexcept;  // prev null: voice is the head
    OvVoice* PopFront() noexcept;                  // null when empty
    // Empties the list; returns its voices still chained through their links.
    OvVoice* TakeAll() noexcept;
    int Count() const noexcept { return m_count; }
    bool IsEmpty() const noexcept { return m_head == nullptr; }
    OvVoice* Head() const noexcept { return m_head; }

    void FastReleaseKey(int key) noexcept;  // state 3 for every voice of that key
    void ReleaseKey(int key) noexcept;      // a release request for every voice of that key

private:
    OvVoice* m_head = nullptr;
    OvVoice* m_tail = nullptr;
    int m_count = 0;
};
