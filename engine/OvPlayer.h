// OvPlayer: one instrument rack of up to 16 tones sharing one pool of
// voices; routes MIDI to its tones by channel (midi::Input) and renders them
// (audio::Source). GigaDeck derives from it. Owned by the studio.
//
// Two switches decide whether the player renders: the host's on/off
// (Suspend / Resume) and the loader's stop (OvStop / OvStart). It renders
// while the host has it on and the loader has not stopped it; the loader's
// OvStart always re-arms the tones, whatever the host did in between.
//
// Threads:
// - MIDI operations: the host's audio thread and the GUI thread (on-screen
//   keyboard); they only queue into the tones' rings.
// - Render: the audio thread; noexcept, no allocation, no lock.
// - OvStart, OvStop, Suspend, Resume: the loader or the host's thread; they
//   wait (bounded) for a render in progress before touching tones.
// - AddTone, AddVoice: once, while the player is built (OnInit).
#pragma once
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

#include "engine/AudioSource.h"
#include "kiv/data/MidiInput.h"
#include "engine/OvConstants.h"
#include "engine/OvPlugin.h"
#include "engine/OvRenderSeq.h"
#include "engine/OvVoice.h"
#include "kiv/data/String.h"
#include "kiv/data/XEvent.h"

class OvTone;
class OvEventTarget;

class OvPlayer : public OvPlugin, public midi::Input, public audio::Source {
public:
    OvPlayer();
    ~OvPlayer() override;  // ends and releases every tone, then deletes tones and voices

    // --- Operations the format's player fills ---
    // Called once after construction: creates voices and tones.
    virtual bool OnInit() = 0;
    // Loads a performance file; false in the base.
    virtual bool OnLoad(const char* /*path*/) { return false; }
    // Waits until background work for this player has settled.
    virtual void WaitIdle() {}
    // Prints usage figures to standard output.
    virtual void PrintStats() {}

    // --- Building ---
    // Takes the tone, records this player and the voice pool in it and runs
    // its OnAttach. Null when 16 tones exist (the tone is then deleted).
    OvTone* AddTone(std::unique_ptr<OvTone> tone);
    // Puts a voice into the pool.
    void AddVoice(std::unique_ptr<OvVoice> voice);
    OvVoiceList& GetVoicePool() { return m_voicePool; }
    int GetToneCount() const { return m_toneCount.load(std::memory_order_acquire); }
    OvTone* GetTone(int index) const;

    // --- Start and stop ---
    void OvStart();
    void OvStop();
    void Suspend();
    void Resume();
    bool IsRunning() const { return m_running.load(std::memory_order_seq_cst); }
    bool IsHostOn() const { return m_hostOn.load(std::memory_order_seq_cst); }
    bool IsMidiEnabled() const { return m_midiEnabled.load(std::memory_order_acquire); }
    // The editor's port switch: MIDI stops or resumes reaching the tones.
    void SetMidiEnabled(bool on) { m_midiEnabled.store(on, std::memory_order_release); }
    // Waits up to timeoutMs for the render in progress (if any) to end; true
    // when it did. A render that begins later sees the switches stored
    // before the call, so none touches a stopped tone until it is started
    // again. Renders that follow each other without a pause do not hold it
    // up: it waits for the one it saw, not for a moment without any.
    bool WaitRenderIdle(int timeoutMs) const;

    // --- midi::Input (any thread) ---
    void NoteOn(int channel, int key, int velocity, int deltaFrames) override;
    void NoteOff(int channel, int key, int velocity, int deltaFrames) override;
    void Controller(int channel, int controller, int value, int deltaFrames) override;
    void PitchBend(int channel, int lsb, int msb, int deltaFrames) override;
    void ProgramChange(int channel, int program) override;
    void AllNotesOff(int channel) override;

    // --- audio::Source (audio thread) ---
    int Render(audio::Buffers* buses, int frames) noexcept override;

    // --- Settings ---
    // The note listener gets the notes of its channel (GUI keyboard display).
    void SetNoteListener(midi::Input* listener, int channel);
    // 128 entries: MIDI controller -> engine controller (negative: drop).
    // Not owned; null: controllers pass unchanged. The settings window edits
    // the entries while MIDI arrives: every access to them, on either side,
    // goes through std::atomic_ref<int> (relaxed; each entry stands alone).
    void SetControllerMap(int* map) { m_controllerMap.store(map, std::memory_order_release); }
    void SetEditor(OvEventTarget* editor) { m_editor.store(editor, std::memory_order_release); }
    OvEventTarget* GetEditor() const { return m_editor.load(std::memory_order_acquire); }
    bool PostToEditor(const XEvent& event);
    void SetPath(const char* path);
    // Null when no path is kept.
    const char* GetPath() const { return m_path.IsEmpty() ? nullptr : m_path.GetText(); }
    // A printf format with at most two %d (and %%); other formats are refused.
    bool SetOutputNameFormat(const char* format);
    // Name of stereo pair n, numbered 2n+1 and 2n+2.
    bool GetOutputName(int n, kiv::string& out) const;
    void SetSampleRate(float rate);
    int GetIndex() const { return m_index; }
    uint64_t GetFrameCounter() const { return m_frames.load(std::memory_order_relaxed); }
    uint64_t GetPosition() const { return m_position.load(std::memory_order_relaxed); }
    static int GetLivePlayerCount();

private:
    // Tones a MIDI event of channel goes to: all of them with one tone.
    template <typename F>
    void ForChannel(int channel, F&& call);

    std::atomic<bool> m_midiEnabled{false};
    std::atomic<bool> m_running{false};   // the loader's start
    std::atomic<bool> m_hostOn{true};     // the host's on/off
    OvRenderSeq m_renderSeq;
    // OvStart, OvStop, Suspend and Resume come from the loader and the host's
    // thread; they touch the tones and the pool one at a time.
    std::mutex m_control;
    std::atomic<OvEventTarget*> m_editor{nullptr};
    int m_index = 0;
    kiv::string m_path;
    char m_outputFormat[65] = "Out %d-%d";
    std::atomic<uint64_t> m_position{0};  // written by the audio thread only
    std::atomic<uint64_t> m_frames{0};    // written by the audio thread only
    double m_tempo = kOvDefaultTempo;

    OvVoiceList m_voicePool;
    std::unique_ptr<OvTone> m_tones[kOvMaxTones];
    std::atomic<int> m_toneCount{0};

    std::atomic<midi::Input*> m_noteListener{nullptr};
    std::atomic<int> m_listenerChannel{-1};
    std::atomic<int*> m_controllerMap{nullptr};
};
