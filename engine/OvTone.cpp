// Audio-thread code in this file (TakeStart, Render, TakeEvents,
// HandleEvents, the queueing operations, ReclaimRetired) is noexcept,
// allocates nothing, takes no lock and never waits. OvStart, OvStop and
// Release run on the loader or host thread.
#include "engine/OvTone.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "engine/OvPlayer.h"
#include "engine/OvView.h"

namespace {

bool ValidKey(int key) { return key >= 0 && key < kOvKeyCount; }
bool ValidController(int number) { return number >= 0 && number < kOvControllerCount; }

}  // namespace

OvTone::OvTone()
{
    for (int k = 0; k < kOvKeyCount; ++k)
        m_allOff[k] = OvMidiEvent{kOvEventNoteOff, k, 0, 0};
    Reset();
}

OvTone::~OvTone()
{
    // Voices belong to the pool: give back what is still here.
    if (m_pool) {
        KillVoices();
        ReclaimRetired();
        return;
    }
    OvVoice* v = m_retired.exchange(nullptr, std::memory_order_acquire);
    while (v) {
        OvVoice* next = v->m_next;
        delete v;
        v = next;
    }
}

void OvTone::Attach(OvPlayer* player, OvVoiceList* pool)
{
    m_player = player;
    m_pool = pool;
}

// ---------------------------------------------------------------- queueing

bool OvTone::AcceptsEvents() const noexcept
{
    // A tone armed to start keeps what arrives before the render that takes
    // the start: a host sends its first notes right after a state chunk
    // loaded, before the next block.
    return m_started.load(std::memory_order_acquire) ||
           m_command.load(std::memory_order_acquire) == kOvCmdStart;
}

bool OvTone::QueueEvent(int type, int data1, int data2, int deltaFrames) noexcept
{
    if (!AcceptsEvents())
        return false;
    return m_ring.Write(OvMidiEvent{type, data1, data2, deltaFrames});
}

void OvTone::NoteOn(int key, int velocity, int deltaFrames) noexcept
{
    if (!ValidKey(key))
        return;
    m_keyDown[key].store(1, std::memory_order_relaxed);
    QueueEvent(kOvEventNoteOn, key, velocity, deltaFrames);
}

void OvTone::NoteOff(int key, int velocity, int deltaFrames) noexcept
{
    if (!ValidKey(key))
        return;
    m_keyDown[key].store(0, std::memory_order_relaxed);
    QueueEvent(kOvEventNoteOff, key, velocity, deltaFrames);
}

void OvTone::Controller(int controller, int value, int deltaFrames) noexcept
{
    QueueEvent(kOvEventController, controller, value, deltaFrames);
}

void OvTone::PitchBend(int lsb, int msb, int deltaFrames) noexcept
{
    QueueEvent(kOvEventPitchBend, lsb, msb, deltaFrames);
}

void OvTone::ProgramChange(int program) noexcept { QueueEvent(kOvEventProgramChange, program, 0, 0); }

void OvTone::AllNotesOff() noexcept
{
    if (!AcceptsEvents())
        return;
    // One entry stands for the 128 note-offs; when even that finds the ring
    // full, the flag makes the next block release every key after the
    // waiting events.
    if (!m_ring.Write(OvMidiEvent{kOvEventAllNotesOff, 0, 0, 0}))
        m_allNotesOffPending.store(true, std::memory_order_release);
}

// ---------------------------------------------------------------- start and stop

void OvTone::OvStart()
{
    Print("OvTone::OvStart()");
    if (IsStarted())
        return;
    m_heldNotes.store(0, std::memory_order_relaxed);
    if (CanStart())
        ArmStart();
}

void OvTone::ArmStart()
{
    m_command.store(kOvCmdStart, std::memory_order_release);
}

bool OvTone::WaitCommandClear(int polls)
{
    for (int i = 0; i < polls; ++i) {
        if (m_command.load(std::memory_order_acquire) == kOvCmdNone)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(kOvHandshakePollMs));
    }
    return m_command.load(std::memory_order_acquire) == kOvCmdNone;
}

void OvTone::OvStop()
{
    Print("OvTone::OvStop()");
    if (!IsStarted()) {
        // An armed start not yet taken is withdrawn, with the events queued
        // for it: the audio thread can no longer take the start, so this
        // side holds the reader's role.
        uint32_t expected = kOvCmdStart;
        if (m_command.compare_exchange_strong(expected, kOvCmdNone, std::memory_order_acq_rel)) {
            ResetRing();
            return;
        }
        // Lost to the audio thread's start: stop the tone it started.
        if (!IsStarted())
            return;
    }
    m_heldNotes.store(0, std::memory_order_relaxed);
    // Phase 1: the audio thread empties the ring.
    m_command.store(kOvCmdResetRing, std::memory_order_release);
    WaitCommandClear(kOvHandshakePolls);
    // Phase 2: the voices fade by fast release; the audio thread clears the
    // word once none is left.
    m_command.store(kOvCmdReleaseVoices, std::memory_order_release);
    WaitCommandClear(kOvHandshakePolls);
    // Clear only what this side left there (the audio thread may not have
    // answered); a word someone else wrote meanwhile stays.
    for (uint32_t expected : {kOvCmdReleaseVoices, kOvCmdReleasing}) {
        uint32_t e = expected;
        if (m_command.compare_exchange_strong(e, kOvCmdNone, std::memory_order_acq_rel))
            break;
    }
    m_started.store(false, std::memory_order_seq_cst);
    // A stopped tone renders no more: nothing is held now, whatever the
    // render last told.
    ShowNotesHeld(false);

    // No render may still be working on this tone before its voices go.
    if (m_player && !m_player->WaitRenderIdle(kOvRenderWaitMs)) {
        Print("*** OvTone::OvStop() render did not end; voices left to the next start ***");
        return;
    }
    ResetRing();
    // Other tones of the player may be rendering and taking voices from the
    // pool: stopped voices go back through the retired chain, which the
    // audio thread (or the player while idle) moves into the pool.
    for (OvVoice* v = m_voices.Head(); v; v = v->GetNext())
        Retire(v);
    OvVoice* head = m_voices.TakeAll();
    if (!head)
        return;
    if (!m_player) {
        // A tone of no player has no renders to race with.
        while (head) {
            OvVoice* next = head->m_next;
            if (m_pool)
                m_pool->Append(head);
            else
                delete head;
            head = next;
        }
        return;
    }
    OvVoice* tail = head;
    while (tail->m_next)
        tail = tail->m_next;
    OvVoice* old = m_retired.load(std::memory_order_relaxed);
    do {
        tail->m_next = old;
    } while (!m_retired.compare_exchange_weak(old, head, std::memory_order_release,
                                              std::memory_order_relaxed));
}

bool OvTone::TakeStart() noexcept
{
    if (m_started.load(std::memory_order_seq_cst))
        return true;
    uint32_t expected = kOvCmdStart;
    if (!m_command.compare_exchange_strong(expected, kOvCmdNone, std::memory_order_acq_rel))
        return false;
    m_started.store(true, std::memory_order_seq_cst);
    return true;
}

void OvTone::ResetRing() noexcept
{
    m_ring.Discard();
    m_allNotesOffPending.store(false, std::memory_order_relaxed);
}

void OvTone::Retire(OvVoice* voice) noexcept
{
    voice->Stop();
    // A voice cut short (the stop's fallback, a suspend) never reached its
    // own end: it is over all the same, and the pool holds finished voices.
    voice->SetState(kOvVoiceFinished);
}

void OvTone::ReturnVoice(OvVoice* voice) noexcept
{
    Retire(voice);
    if (m_pool)
        m_pool->Append(voice);
}

void OvTone::KillVoices() noexcept
{
    while (OvVoice* v = m_voices.PopFront())
        ReturnVoice(v);
}

void OvTone::FastReleaseAll() noexcept
{
    for (OvVoice* v = m_voices.Head(); v; v = v->GetNext())
        v->SetState(kOvVoiceFastRelease);
}

void OvTone::ReclaimRetired() noexcept
{
    if (!m_pool || !m_retired.load(std::memory_order_relaxed))
        return;
    OvVoice* v = m_retired.exchange(nullptr, std::memory_order_acquire);
    while (v) {
        OvVoice* next = v->m_next;
        m_pool->Append(v);
        v = next;
    }
}

void OvTone::Release()
{
    KillVoices();
    ReclaimRetired();
    m_started.store(false, std::memory_order_seq_cst);
    m_command.store(kOvCmdNone, std::memory_order_release);
    OnRelease();
}

// ---------------------------------------------------------------- render

void OvTone::Render(audio::Buffers* buses, int frames) noexcept
{
    ReclaimRetired();

    // 1. Commands of the stop handshake.
    if (m_command.load(std::memory_order_acquire) == kOvCmdResetRing) {
        ResetRing();
        uint32_t expected = kOvCmdResetRing;
        m_command.compare_exchange_strong(expected, kOvCmdNone, std::memory_order_acq_rel);
    }
    if (m_command.load(std::memory_order_acquire) == kOvCmdReleaseVoices) {
        FastReleaseAll();
        uint32_t expected = kOvCmdReleaseVoices;
        m_command.compare_exchange_strong(expected, kOvCmdReleasing, std::memory_order_acq_rel);
    }

    // 2. State at the start of the block.
    m_controllerChanged.store(false, std::memory_order_relaxed);
    if (m_heldNotes.load(std::memory_order_relaxed) < 0)
        m_heldNotes.store(0, std::memory_order_relaxed);
    const bool muted = IsToneMuted();

    // 3. The waiting events.
    TakeEvents();

    // 4. Nothing sounding: the releasing phase of a stop is over. A note
    // whose sound ended before its key came up is let go of here.
    if (m_voices.IsEmpty()) {
        uint32_t expected = kOvCmdReleasing;
        m_command.compare_exchange_strong(expected, kOvCmdNone, std::memory_order_acq_rel);
        if (m_controllerChanged.load(std::memory_order_relaxed))
            Notify(kOvNotifyController, 0);
        if (m_heldNotes.load(std::memory_order_relaxed) <= 0)
            ShowNotesHeld(false);
        return;
    }

    // 5. Every voice; one that ended goes back to the pool.
    audio::Buffers* target = muted ? nullptr : buses;
    OvVoice* prev = nullptr;
    OvVoice* v = m_voices.Head();
    while (v) {
        OvVoice* next = v->GetNext();
        if (v->RenderStep(target, frames) < frames) {
            m_voices.RemoveAfter(prev, v);
            ReturnVoice(v);
        } else {
            prev = v;
        }
        v = next;
    }

    // 6. Notifications.
    if (m_controllerChanged.load(std::memory_order_relaxed))
        Notify(kOvNotifyController, 0);
    ShowNotesHeld(m_heldNotes.load(std::memory_order_relaxed) > 0);
}

void OvTone::ShowNotesHeld(bool held) noexcept
{
    // Only a change is told; the flag remembers what the view was told last.
    if (m_heldShown.exchange(held, std::memory_order_relaxed) != held)
        Notify(kOvNotifyNotesHeld, held ? 1 : 0);
}

void OvTone::TakeEvents() noexcept
{
    // The overflowed all-notes-off first: every event queued before it is
    // then counted below and handled ahead of it, so none of those notes
    // can start after it and hang.
    const bool allOff = m_allNotesOffPending.exchange(false, std::memory_order_acq_rel);
    const int n = std::min(m_ring.Pending(), kOvMaxEventsPerBlock);
    int batched = 0;
    OvMidiEvent event;
    for (int i = 0; i < n && m_ring.Read(event); ++i) {
        if (event.type != kOvEventAllNotesOff) {
            m_batch[batched++] = event;
            continue;
        }
        if (batched > 0)
            HandleEvents(m_batch, batched);
        batched = 0;
        HandleEvents(m_allOff, kOvKeyCount);
    }
    if (batched > 0)
        HandleEvents(m_batch, batched);
    if (allOff)
        HandleEvents(m_allOff, kOvKeyCount);
}

void OvTone::HandleEvents(const OvMidiEvent* events, int count) noexcept
{
    for (int i = 0; i < count; ++i) {
        const OvMidiEvent& e = events[i];
        switch (e.type) {
        case kOvEventNoteOn: {
            OvZone* zone = FindZone(e.data1, e.data2);
            if (!zone)
                break;
            OvVoice* voice = m_pool ? m_pool->PopFront() : nullptr;
            if (!voice)
                break;  // no free voice: the note is dropped, nothing is stolen or cut
            m_voices.FastReleaseKey(e.data1);
            voice->Setup(e.data1, e.data2, e.deltaFrames, zone, this, nullptr);
            m_voices.Append(voice);
            break;
        }
        case kOvEventNoteOff:
            m_voices.ReleaseKey(e.data1);
            break;
        case kOvEventController:
            SetController(e.data1, e.data2);
            if (e.data1 == kOvCtrlSustain)
                SetSustain(e.data2 > 0);
            break;
        default:
            break;
        }
    }
}

// ---------------------------------------------------------------- settings

void OvTone::Reset() noexcept
{
    m_volume.store(90, std::memory_order_relaxed);
    m_expression.store(127, std::memory_order_relaxed);
    m_level.store(90.0f, std::memory_order_relaxed);
    m_pan.store(64, std::memory_order_relaxed);
    m_fineTune.store(0, std::memory_order_relaxed);
    m_coarseTune.store(0, std::memory_order_relaxed);
    m_totalTune.store(0, std::memory_order_relaxed);
    m_bend.store(0, std::memory_order_relaxed);
    m_sustain.store(false, std::memory_order_relaxed);
    m_muted.store(false, std::memory_order_release);
    for (auto& down : m_keyDown)
        down.store(0, std::memory_order_relaxed);
}

void OvTone::SetVolume(int volume) noexcept
{
    m_volume.store(volume, std::memory_order_relaxed);
    m_level.store(static_cast<float>(volume) * static_cast<float>(GetExpression()) / 127.0f,
                  std::memory_order_relaxed);
}

void OvTone::SetExpression(int expression) noexcept
{
    m_expression.store(expression, std::memory_order_relaxed);
    m_level.store(static_cast<float>(GetVolume()) * static_cast<float>(expression) / 127.0f,
                  std::memory_order_relaxed);
}

void OvTone::SetFineTune(int cents) noexcept
{
    m_fineTune.store(cents, std::memory_order_relaxed);
    m_totalTune.store(GetCoarseTune() * 100 + cents, std::memory_order_relaxed);
}

void OvTone::SetCoarseTune(int semitones) noexcept
{
    m_coarseTune.store(semitones, std::memory_order_relaxed);
    m_totalTune.store(semitones * 100 + GetFineTune(), std::memory_order_relaxed);
}

bool OvTone::IsKeyDown(int key) const noexcept
{
    return ValidKey(key) && m_keyDown[key].load(std::memory_order_relaxed) != 0;
}

void OvTone::SetController(int number, int value) noexcept
{
    if (!ValidController(number))
        return;
    ControllerEntry& entry = m_controllers[number];
    entry.value.store(value, std::memory_order_relaxed);
    if (entry.watched.load(std::memory_order_relaxed))
        m_controllerChanged.store(true, std::memory_order_relaxed);
}

int OvTone::GetController(int number) const noexcept
{
    if (!ValidController(number))
        return 0;
    return m_controllers[number].value.load(std::memory_order_relaxed);
}

void OvTone::SetWatched(int number, bool watched) noexcept
{
    if (ValidController(number))
        m_controllers[number].watched.store(watched ? 1 : 0, std::memory_order_relaxed);
}

bool OvTone::TakeControllerChange(int number) noexcept
{
    if (!ValidController(number))
        return false;
    ControllerEntry& entry = m_controllers[number];
    const int value = entry.value.load(std::memory_order_relaxed);
    if (value == entry.lastSeen.load(std::memory_order_relaxed))
        return false;
    entry.lastSeen.store(value, std::memory_order_relaxed);
    return true;
}

void OvTone::Notify(uint32_t code, int value) noexcept
{
    // Counted before the view is read (both sequentially consistent, paired
    // with DetachView's clear-then-check): either this call sees the cleared
    // pointer, or DetachView sees it in flight and waits for it.
    m_notifying.fetch_add(1, std::memory_order_seq_cst);
    if (OvToneView* view = m_view.load(std::memory_order_seq_cst))
        view->OnToneEvent(this, code, value);
    m_notifying.fetch_sub(1, std::memory_order_release);
}

bool OvTone::DetachView(OvToneView* view, int timeoutMs) noexcept
{
    if (!view)
        return true;
    OvToneView* expected = view;
    m_view.compare_exchange_strong(expected, nullptr, std::memory_order_seq_cst);
    // A call that counts itself from here on cannot read this view any more.
    // One already counted may hold it, even when another view has replaced
    // it since: wait for those. They only store values, so this is brief.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (m_notifying.load(std::memory_order_seq_cst) != 0) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::yield();
    }
    return true;
}
