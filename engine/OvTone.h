// OvTone: one instrument slot of a player, listening to one MIDI channel;
// the format-independent base of GigaTone.
//
// Threads:
// - Queueing (NoteOn .. AllNotesOff, QueueEvent): any thread. Events go into
//   the tone's multi-writer ring and are handled on the audio thread at the
//   start of the next block (deltaFrames is not applied).
// - OvStart / OvStop: the loader or the host's thread; they reach the audio
//   thread through the command word, and OvStop waits (bounded) for the
//   audio thread's answers and for a render in progress to end.
// - TakeStart, Render, HandleEvents, FindZone: the audio thread, called by
//   the player; noexcept, no allocation, no lock.
// - Settings (tune, mute, view): any thread, atomics.
#pragma once
#include <atomic>
#include <cstdint>

#include "engine/OvConstants.h"
#include "engine/OvGroup.h"
#include "engine/OvRingBuffer.h"
#include "engine/OvVoice.h"
#include "kiv/file/Log.h"

namespace audio {
class Buffers;
}
class OvPlayer;
class OvToneView;
class OvZone;

class OvTone : public OvGroupMember, public file::Log {
public:
    OvTone();
    ~OvTone() override;
    OvTone(const OvTone&) = delete;
    OvTone& operator=(const OvTone&) = delete;

    // --- Operations the format's tone fills ---
    // Loader thread: true when the tone has something to play.
    virtual bool CanStart() = 0;
    // Audio thread, before each render of a started tone.
    virtual void SetPosition(uint64_t /*position*/) noexcept {}
    // Queueing, any thread.
    virtual void NoteOn(int key, int velocity, int deltaFrames) noexcept;
    virtual void NoteOff(int key, int velocity, int deltaFrames) noexcept;
    virtual void Controller(int controller, int value, int deltaFrames) noexcept;
    virtual void PitchBend(int lsb, int msb, int deltaFrames) noexcept;
    virtual void ProgramChange(int program) noexcept;
    // Note-offs of all 128 keys, taking one ring entry; never lost, even
    // when the ring is full (then it runs after the waiting events).
    virtual void AllNotesOff() noexcept;
    // Audio thread: the block's events in queue order.
    virtual void HandleEvents(const OvMidiEvent* events, int count) noexcept;
    // Audio thread: the zone a note plays (null: nothing).
    virtual OvZone* FindZone(int /*key*/, int /*velocity*/) noexcept { return nullptr; }
    // Called by OvPlayer::AddTone after the tone recorded its player and pool.
    virtual void OnAttach(OvPlayer* /*player*/, OvVoiceList* /*pool*/) {}
    // Called by Release (the player is being destroyed).
    virtual void OnRelease() {}

    // Any thread. Dropped (false) while the tone is neither started nor
    // armed to start, or the ring is full.
    bool QueueEvent(int type, int data1, int data2, int deltaFrames) noexcept;
    // Started or armed to start: the audio thread will take queued events.
    bool AcceptsEvents() const noexcept;

    // --- Start and stop ---
    void OvStart();
    void OvStop();
    bool TakeStart() noexcept;                           // audio thread
    void Render(audio::Buffers* buses, int frames) noexcept;  // audio thread
    bool IsStarted() const noexcept { return m_started.load(std::memory_order_seq_cst); }
    uint32_t GetCommand() const noexcept { return m_command.load(std::memory_order_acquire); }

    // Used by the player while no render can touch the tone (its own
    // render-in-progress wait), or by the audio thread itself.
    void ResetRing() noexcept;
    void KillVoices() noexcept;
    void FastReleaseAll() noexcept;
    // Voices that OvStop took out of the tone go back to the pool here.
    void ReclaimRetired() noexcept;
    // The player is being destroyed: kill the voices, stop, OnRelease.
    void Release();

    // Records the player and its voice pool (OvPlayer::AddTone).
    void Attach(OvPlayer* player, OvVoiceList* pool);
    OvPlayer* GetPlayer() const { return m_player; }
    OvVoiceList* GetPool() const { return m_pool; }
    OvVoiceList& GetVoices() { return m_voices; }

    // --- Settings ---
    // Defaults: volume 90, expression 127, level 90, pan 64, tune 0, bend 0,
    // sustain and mute off, key-down flags cleared.
    void Reset() noexcept;
    int GetVolume() const noexcept { return m_volume.load(std::memory_order_relaxed); }
    int GetExpression() const noexcept { return m_expression.load(std::memory_order_relaxed); }
    void SetVolume(int volume) noexcept;          // also recomputes the level
    void SetExpression(int expression) noexcept;  // also recomputes the level
    // volume x expression / 127
    float GetLevel() const noexcept { return m_level.load(std::memory_order_relaxed); }
    int GetPan() const noexcept { return m_pan.load(std::memory_order_relaxed); }
    void SetPan(int pan) noexcept { m_pan.store(pan, std::memory_order_relaxed); }
    virtual void SetFineTune(int cents) noexcept;
    virtual int GetFineTune() const noexcept { return m_fineTune.load(std::memory_order_relaxed); }
    virtual void SetCoarseTune(int semitones) noexcept;
    virtual int GetCoarseTune() const noexcept { return m_coarseTune.load(std::memory_order_relaxed); }
    int GetTotalTune() const noexcept { return m_totalTune.load(std::memory_order_relaxed); }
    int GetBend() const noexcept { return m_bend.load(std::memory_order_relaxed); }
    void SetBend(int bend) noexcept { m_bend.store(bend, std::memory_order_relaxed); }
    bool IsSustain() const noexcept { return m_sustain.load(std::memory_order_relaxed); }
    void SetSustain(bool on) noexcept { m_sustain.store(on, std::memory_order_relaxed); }
    int GetChannel() const noexcept { return m_channel.load(std::memory_order_relaxed); }
    void SetChannel(int channel) noexcept { m_channel.store(channel, std::memory_order_relaxed); }
    int GetBus() const noexcept { return m_bus.load(std::memory_order_relaxed); }
    void SetBus(int bus) noexcept { m_bus.store(bus, std::memory_order_relaxed); }
    bool IsToneMuted() const noexcept { return m_muted.load(std::memory_order_acquire); }
    void SetMuted(bool muted) noexcept { m_muted.store(muted, std::memory_order_release); }
    bool IsKeyDown(int key) const noexcept;

    // Held notes (the audio thread counts them while handling events).
    int GetHeldNotes() const noexcept { return m_heldNotes.load(std::memory_order_relaxed); }
    void AddHeldNotes(int delta) noexcept { m_heldNotes.fetch_add(delta, std::memory_order_relaxed); }

    // Controller table, numbers 0..255 (others are ignored / read 0).
    void SetController(int number, int value) noexcept;
    int GetController(int number) const noexcept;
    void SetWatched(int number, bool watched) noexcept;
    // True once after the value differs from the value last taken.
    virtual bool TakeControllerChange(int number) noexcept;

    // Notifications to the view (none: nothing). Notify runs on the audio
    // and loader threads (and the GUI thread); it counts itself in flight
    // before it reads the view, so DetachView can tell when no call can
    // still reach a view it took away. No lock, no allocation.
    void SetView(OvToneView* view) noexcept { m_view.store(view, std::memory_order_seq_cst); }
    OvToneView* GetView() const noexcept { return m_view.load(std::memory_order_acquire); }
    void Notify(uint32_t code, int value) noexcept;
    // GUI thread, before the view goes away: when view is the tone's view it
    // stops being it; then the call waits up to timeoutMs for notifications
    // in flight on other threads to return (one may still hold the view even
    // when another view replaced it). True when the view can no longer be
    // called; false on timeout. Never call it from inside OnToneEvent.
    bool DetachView(OvToneView* view, int timeoutMs) noexcept;
    // Notifications running right now (any view).
    int GetNotificationsInFlight() const noexcept { return m_notifying.load(std::memory_order_acquire); }

protected:
    // OvStart: arms the start (the command word). A tone that hands the
    // audio thread state of its own does so here, before the arm.
    virtual void ArmStart();

private:
    struct ControllerEntry {
        std::atomic<uint8_t> watched{0};
        std::atomic<int32_t> value{0};
        std::atomic<int32_t> lastSeen{0};
    };

    void TakeEvents() noexcept;
    // Tells the view 'ovma' when the held state differs from what it last
    // heard. Audio thread, and the stopping thread once the tone stopped.
    void ShowNotesHeld(bool held) noexcept;
    // Stops the voice and marks it finished, as the pool keeps its voices.
    static void Retire(OvVoice* voice) noexcept;
    void ReturnVoice(OvVoice* voice) noexcept;
    bool WaitCommandClear(int polls);

    OvPlayer* m_player = nullptr;
    OvVoiceList* m_pool = nullptr;
    OvVoiceList m_voices;

    std::atomic<int> m_volume{90};
    std::atomic<int> m_expression{127};
    std::atomic<float> m_level{90.0f};
    std::atomic<int> m_pan{64};
    std::atomic<int> m_fineTune{0};
    std::atomic<int> m_coarseTune{0};
    std::atomic<int> m_totalTune{0};
    std::atomic<int> m_bend{0};
    std::atomic<bool> m_sustain{false};
    std::atomic<int> m_channel{0};
    std::atomic<int> m_bus{0};
    std::atomic<bool> m_muted{false};

    std::atomic<int> m_heldNotes{0};
    std::atomic<bool> m_heldShown{false};  // the held state the view was last told
    std::atomic<OvToneView*> m_view{nullptr};
    // Notify calls between their count and their return.
    std::atomic<int> m_notifying{0};
    std::atomic<bool> m_started{false};
    std::atomic<uint32_t> m_command{kOvCmdNone};
    std::atomic<uint8_t> m_keyDown[kOvKeyCount] = {};
    ControllerEntry m_controllers[kOvControllerCount];
    std::atomic<bool> m_controllerChanged{false};

    OvMidiRing m_ring;
    // An all-notes-off that found the ring full.
    std::atomic<bool> m_allNotesOffPending{false};
    // Voices taken out by OvStop, waiting to go back to the pool.
    std::atomic<OvVoice*> m_retired{nullptr};
    // Audio thread work space: one block's events and an all-notes-off.
    OvMidiEvent m_batch[kOvMaxEventsPerBlock];
    OvMidiEvent m_allOff[kOvKeyCount];
};
