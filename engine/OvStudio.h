// OvStudio: the top engine object. It owns up to 8 players and a 16-channel
// mixer: each tone renders into one of the studio's 16 channel buses; the
// mixer runs every channel through its compressor, equaliser and two insert
// slots of hosted effects, applies the channel's balance and adds it into
// the output bus it is routed to. GigaStudio derives from it (persistence).
//
// The engine library knows hosted effects and the editor only through the
// small interfaces below; the plug-in shell registers the factories that
// make the real objects (OvStudio::SetInsertFactory, SetViewFactory).
//
// Threads:
// - Render: the host's audio thread; noexcept, no allocation, no lock.
// - SetMixerParam, EnableEffect, SetInsertPlugin, TakePeakLevels: the GUI
//   thread, while the audio thread renders. Values are atomics; an insert
//   swap clears the slot's enable flag and waits (bounded) for a render that
//   may still hold the old plug-in before deleting it.
// - Building, rate, block size, start/stop and state: the host's thread.
#pragma once
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "engine/AudioBuffers.h"
#include "engine/AudioSource.h"
#include "engine/OvMixerConstants.h"
#include "engine/OvRenderSeq.h"
#include "engine/OvView.h"
#include "kiv/data/Data.h"
#include "kiv/data/String.h"
#include "kiv/file/Log.h"

class OvEffect;
class OvEffectComp;
class OvEffectEQ3;
class OvPlayer;
class OvStudio;
class PlugInfo;  // the shell's plug-in list entry; opaque to the engine

// A hosted effect in an insert slot. The destructor closes the plug-in.
class OvInsert {
public:
    virtual ~OvInsert() = default;
    // Audio thread: processes the channel in place (at most
    // kOvInsertMaxFrames frames per call).
    virtual void Process(float* left, float* right, int frames) noexcept = 0;
    // The plug-in's name as the plug-in list knows it.
    virtual const char* GetName() const = 0;
    // The plug-in's own state; the block may borrow the plug-in's bytes.
    virtual int GetChunk(kiv::data& chunk) = 0;
    virtual void SetChunk(const void* bytes, int size) = 0;
    virtual void SetSampleRate(int rate) = 0;
    virtual void SetBlockSize(int frames) = 0;
    // Closes the plug-in's editor view, if one is open.
    virtual void CloseView() = 0;
    // GUI thread: whether the user changed the plug-in in its own window
    // since the last call.
    virtual bool TakeEdited() { return false; }
    // The plug-in's parameter values when it keeps its settings in them
    // rather than in its chunk; empty otherwise. Set back after the chunk:
    // a stored value outside 0..1 (or no number at all) is not applied, and
    // the plug-in keeps the value it has.
    virtual std::vector<float> GetParamValues() { return {}; }
    virtual void SetParamValues(const std::vector<float>& /*values*/) {}
};

// A saved insert whose plug-in did not open (not listed, known to fail, or
// failing now): the slot shows it as failed and a save writes it back as it
// was loaded, so the setting is not lost.
struct OvFailedInsert {
    kiv::string name;
    kiv::data chunk;
    std::vector<float> values;
};

// Made by the plug-in shell: opens hosted effects for the insert slots.
class OvInsertFactory {
public:
    virtual ~OvInsertFactory() = default;
    // Null when the plug-in fails to open.
    virtual std::unique_ptr<OvInsert> Open(PlugInfo* info) = 0;
    // The plug-in of that name in the process-wide list; null when it is not
    // listed or fails to open.
    virtual std::unique_ptr<OvInsert> OpenByName(const char* name) = 0;
    // Once per process, when the first studio is made (loads the list).
    virtual void OnFirstStudio() {}
};

// What the studio sees of its editor view: the queue the 'mixr' event goes
// to, and a close call before it is deleted.
class OvStudioView : public OvEventTarget {
public:
    virtual void CloseView() {}
};
using OvStudioViewFactory = std::unique_ptr<OvStudioView> (*)(OvStudio* studio);

class OvStudio : public audio::Source, public file::Log {
public:
    OvStudio();
    // Deletes the effects, the inserts, the players that remain and the
    // editor view (closed first).
    ~OvStudio() override;
    OvStudio(const OvStudio&) = delete;
    OvStudio& operator=(const OvStudio&) = delete;

    // Process-wide factories, set by the shell at library load (null: none).
    static void SetInsertFactory(OvInsertFactory* factory);
    static OvInsertFactory* GetInsertFactory();
    static void SetViewFactory(OvStudioViewFactory factory);

    // --- Players ---
    // Appends while there are fewer than 8 (false: the player is deleted).
    bool AddPlayer(std::unique_ptr<OvPlayer> player);
    OvPlayer* GetPlayer(int index) const;
    int GetPlayerCount() const { return m_playerCount.load(std::memory_order_acquire); }
    void InitPlayers();
    virtual void StartPlayers();
    void Suspend();
    void Resume();
    void Close();

    // The editor view, made on first use; null without a view factory.
    OvStudioView* GetEditor();
    OvStudioView* PeekEditor() const { return m_editor.get(); }

    // The engine-wide output rate, the players, the compressors and the
    // inserts follow it.
    void SetSampleRate(float rate);
    // Grows the studio's bus set (never shrinks).
    void SetBlockSize(int frames);

    // --- State (the host chunk; GigaStudio fills them) ---
    virtual bool GetState(kiv::data& /*chunk*/) { return false; }
    virtual bool SetState(const kiv::data& /*chunk*/) { return false; }

    // --- Mixer ---
    void SetMixerParam(int channel, int number, float value);
    float GetMixerParam(int channel, int number) const;
    // Set by the editor when the user changes the mixer; cleared when the
    // performance is saved, read or emptied.
    void SetMixerEdited(bool edited) { m_mixerEdited.store(edited, std::memory_order_release); }
    bool IsMixerEdited() const { return m_mixerEdited.load(std::memory_order_acquire); }
    // Slot 0 compressor, 1 equaliser (made when switched on), 2 and 3 inserts.
    void EnableEffect(int channel, int slot, bool on);
    bool IsEffectEnabled(int channel, int slot) const;
    // Stores the flag only, making nothing (a restored studio).
    void SetEffectFlag(int channel, int slot, bool on);
    // The built-in effect of slot 0 or 1, made when missing; null otherwise.
    OvEffect* CreateEffect(int channel, int slot);
    // The built-in effect of slot 0 or 1 when it exists.
    OvEffect* GetEffect(int channel, int slot) const;
    // Replaces the hosted effect of insert slot 0 or 1; null info only
    // empties it. False when the new plug-in fails to open (the slot is then
    // empty and off).
    bool SetInsertPlugin(int channel, int slot, PlugInfo* info);
    // Puts an already opened insert into the slot (null empties it) with the
    // same swap; used when a saved studio is restored. Forgets a failed one.
    void SetInsert(int channel, int slot, std::unique_ptr<OvInsert> insert);
    OvInsert* GetInsert(int channel, int slot) const;
    // GUI thread: closes the editor views of every insert (the host closed
    // ours, and nothing of the plug-in may stay on screen).
    void CloseInsertViews();
    // GUI thread: whether any insert was changed in its own window since
    // the last call.
    bool TakeInsertEdits();
    // The saved insert of an empty slot whose plug-in did not open (an empty
    // name when there is none); a copy, as the host may restore a state
    // while the editor reads.
    void SetFailedInsert(int channel, int slot, const OvFailedInsert& failed);
    OvFailedInsert GetFailedInsert(int channel, int slot) const;
    // Copies the peaks written since the last call into the meter array,
    // zeroes them and returns the array: left of channel c at 2c, right at
    // 2c+1.
    const float* TakePeakLevels();

    // --- audio::Source (audio thread) ---
    int Render(audio::Buffers* outputs, int frames) noexcept override;

    audio::Buffers& GetBuses() { return m_buses; }

protected:
    // Deletes the players (GigaStudio does so before its own members go).
    void DeletePlayers();
    // Posts the event to the editor when one exists.
    bool PostToEditor(const XEvent& event);

private:
    static bool ValidChannel(int channel) { return channel >= 0 && channel < kOvMixerChannels; }
    void MixChannel(int channel, audio::Buffers* outputs, int frames) noexcept;
    void RunInserts(int channel, float* left, float* right, int frames) noexcept;
    bool HasLiveInsert(int channel) const noexcept;
    // Waits (bounded) for a render in progress; true when none holds on.
    bool WaitRenderIdle(int timeoutMs) const;

    std::unique_ptr<OvStudioView> m_editor;
    audio::Buffers m_buses;

    std::atomic<int> m_routing[kOvMixerChannels];
    std::atomic<bool> m_mixerEdited{false};
    float m_meters[2 * kOvMixerChannels] = {};
    std::atomic<float> m_peaks[2 * kOvMixerChannels];
    std::atomic<uint8_t> m_enabled[kOvMixerChannels][kOvEffectSlots];

    // Built-in effects: made on the GUI or host thread, published for the
    // audio thread, deleted with the studio.
    std::unique_ptr<OvEffectComp> m_compOwned[kOvMixerChannels];
    std::unique_ptr<OvEffectEQ3> m_eqOwned[kOvMixerChannels];
    std::atomic<OvEffectComp*> m_comp[kOvMixerChannels];
    std::atomic<OvEffectEQ3*> m_eq[kOvMixerChannels];

    // Inserts: owned through these pointers.
    std::atomic<OvInsert*> m_inserts[kOvMixerChannels][kOvInsertSlots];
    // Inserts a render still held when their swap gave up waiting.
    std::vector<std::unique_ptr<OvInsert>> m_retired;
    // Saved inserts that did not open; never read by the audio thread.
    mutable std::mutex m_failedLock;
    OvFailedInsert m_failed[kOvMixerChannels][kOvInsertSlots];

    std::unique_ptr<OvPlayer> m_players[kOvMaxPlayers];
    std::atomic<int> m_playerCount{0};

    OvRenderSeq m_renderSeq;
    std::atomic<float> m_sampleRate;
    std::atomic<int> m_blockSize{0};
};
