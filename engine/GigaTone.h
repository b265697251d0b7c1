// GigaTone: the tone of the .gig player: an OvTone that stacks up to 24
// parts. It holds the parts, the load state and its reports, the stack mode,
// key ranges and switches, the name and LoadParts for the loader, and the
// note handling: per note it chooses the parts that sound (the stack mode),
// finds the region of the key, walks its dimension tree to the zones and
// starts a GigaVoice for each; note offs start release-trigger zones.
//
// Threads: the GUI thread adds, clears and moves parts and sets the stack
// mode; the loader thread runs LoadParts while the player is stopped (and
// reports state and progress to the view from there); the audio thread reads
// the parts of a started tone and runs HandleEvents (noexcept, no allocation,
// no lock). The part list's structure (add, remove, move, clear, delete) and
// the loader's publication of a part's program, bank and loaded fields are
// made under the tone's parts lock; GUI code that reads or edits parts holds
// it (LockParts) while it uses them, so a loader pass never deletes a part
// under it. The audio thread never takes it: it reads parts only while the
// tone is started, and loads run with the tone stopped.
#pragma once
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

#include "engine/GigaBankHooks.h"
#include "engine/GigaPart.h"
#include "engine/GigaRegion.h"
#include "engine/GigaStreamConstants.h"
#include "engine/OvTone.h"
#include "kiv/data/String.h"
#include "kiv/file/Archive.h"

class CImpRiff;
class CRiffWriter;
class GigaBankManager;
class GigaVoice;

class GigaTone : public OvTone, public GigaLoadSink, public Archivable {
public:
    GigaTone();
    ~GigaTone() override;  // deletes the parts that remain

    bool CanStart() override { return GetPartCount() > 0; }
    // The player is being destroyed: lets the disk thread drop the parts'
    // streams, then deletes every part.
    void OnRelease() override;

    // --- Parts ---
    // Held by GUI code while it reads or edits parts, and by every change of
    // the part list. Recursive: GUI code that holds it may call the tone's
    // part operations. Never held across a modal loop or a wait for the
    // loader; never taken on the audio thread.
    using PartsLock = std::unique_lock<std::recursive_mutex>;
    PartsLock LockParts() const { return PartsLock(m_partsLock); }
    // The first empty part (negative program index) or a new one while there
    // are fewer than 24; null when full. Sets file and program; state 1.
    GigaPart* AddPart(const char* path, int program);
    GigaPart* GetPart(int index) const;
    int GetPartCount() const { return m_partCount.load(std::memory_order_acquire); }
    // Moves a part and shifts those between; false when to is outside the
    // parts or equals from, or when a playing tone's ring is full (the move
    // is then not made). A playing tone's audio thread takes the move from
    // the ring, whole.
    bool MovePart(int from, int to);
    // Empties every part; state 1 when there were parts; clears the name.
    void Clear();

    // Loader thread: loads every part; true when every part loaded.
    bool LoadParts(GigaBankManager& manager);

    // --- Load state ---
    void SetState(int state) override;  // reports 'stat' when it changes
    int GetState() const { return m_state.load(std::memory_order_acquire); }
    void ReportProgress(int done, int total) override;  // reports 'load'
    int GetPercent() const { return m_percent.load(std::memory_order_acquire); }
    void MarkShown();
    bool IsEmpty() const;
    bool IsModified() const { return m_modified.load(std::memory_order_acquire); }
    void SetModified(bool modified) { m_modified.store(modified, std::memory_order_release); }
    // The parts waiting to load are those of a performance just read: their
    // load leaves the tone as saved. Any other load marks it modified.
    void MarkRestored() { m_restored.store(true, std::memory_order_release); }

    // --- Stacking ---
    void SetStackMode(int mode);
    int GetStackMode() const { return m_stackMode.load(std::memory_order_acquire); }
    GigaPart* GetSelectedPart() const { return m_selected.load(std::memory_order_acquire); }
    int GetKeySwitchLow() const { return m_keySwitchLow.load(std::memory_order_acquire); }
    int GetKeySwitchHigh() const { return m_keySwitchHigh.load(std::memory_order_acquire); }
    void SetKeySwitchRange(int low, int high);
    // Lowest low key plus offset over the parts (127 when none) / highest
    // high key plus offset (0 when none).
    int GetLowestKey() const;
    int GetHighestKey() const;
    // Places the key-switch range (one key per part) below the played keys
    // (start < 0: just below, or just above when no room is below) or at
    // start; false with fewer than 2 parts or no room. Reports 'keyb'.
    bool PlaceKeySwitches(int start);
    // Set by the GUI, cleared by the loader's reset of an emptied tone.
    bool IsStacked() const { return m_stacked.load(std::memory_order_relaxed); }
    void SetStacked(bool stacked) { m_stacked.store(stacked, std::memory_order_relaxed); }

    // --- Identity ---
    const char* GetName() const { return m_name.CStr(); }
    // One part: its program's name (the file name before it loads); none:
    // "No instrument", or "No stacked instrument" in stack mode (an empty
    // stack is still empty); several: the tone's name or
    // "Stacked Instrument".
    // A copy made under the parts lock: the loader may remove the part or
    // release its program right after.
    kiv::string GetDisplayName() const;
    void SetName(const char* name)
    {
        PartsLock lock = LockParts();
        m_name.Assign(name ? name : "");
    }
    int GetIndex() const { return m_index; }
    void SetIndex(int index) { m_index = index; }
    uint32_t GetType() const { return m_type; }
    // The player's two scratch blocks for the voices (not owned).
    void SetScratch(float* left, float* right)
    {
        m_scratchLeft = left;
        m_scratchRight = right;
    }
    float* GetScratchLeft() const { return m_scratchLeft; }
    float* GetScratchRight() const { return m_scratchRight; }

    // --- Persistence (GigaArchive*.cpp) ---
    void Archive(ArchiFile* archive) override;  // 'tone'
    bool LoadPreset(const char* path);          // keeps the MIDI channel
    bool SavePreset(const char* path);
    bool ReadRiff(CImpRiff& riff);              // the children of an 'ovtn' chunk
    bool WriteRiff(CRiffWriter& riff);          // clears the modified flag

    // The tone defaults, key-switch range 0..0, stacked flag clear.
    void Reset();
    // Controllers 0..119 to 0, then the on-by-default ones to 127.
    void ResetControllers();

    // Audio thread: the block's events in order (notes, bend, controllers,
    // program changes).
    void HandleEvents(const OvMidiEvent* events, int count) noexcept override;

protected:
    // Hands the audio thread the part order, under the parts lock, then arms.
    void ArmStart() override;

private:
    void NoteOnEvent(int key, int velocity, int deltaFrames) noexcept;
    void NoteOffEvent(int key) noexcept;
    void ControllerEvent(int number, int value) noexcept;
    void StartNote(GigaPart* part, int key, int velocity, int deltaFrames) noexcept;
    // Starts a voice on zone; null when the zone is gated or no voice is free.
    GigaVoice* PlayZone(GigaZone* zone, GigaPart* part, int key, int keyOffset, int velocity,
                        int deltaFrames) noexcept;
    void PlayReleaseTrigger(GigaVoice* voice, int key) noexcept;
    // The walk's view of the controller table (refreshed per block).
    void RefreshWalkValues() noexcept;
    void SetWalkController(int number, int value) noexcept;
    int NextRandom() noexcept;
    void SelectPart(int index) noexcept;
    void MovePlayed(int from, int to) noexcept;

    void RemovePart(int index);
    void SelectDefaultPart();
    void DeleteParts();

    mutable std::recursive_mutex m_partsLock;
    std::unique_ptr<GigaPart> m_parts[giga::kMaxParts];
    std::atomic<int> m_partCount{0};
    std::atomic<GigaPart*> m_selected{nullptr};
    std::atomic<int> m_stackMode{0};
    std::atomic<int> m_keySwitchLow{0};
    std::atomic<int> m_keySwitchHigh{0};
    std::atomic<int> m_state{giga::kToneNone};
    std::atomic<int> m_percent{0};
    std::atomic<bool> m_modified{false};
    std::atomic<bool> m_restored{false};
    bool m_sawNoMemory = false;  // a program load reported state 5
    kiv::string m_name;
    std::atomic<bool> m_stacked{false};
    int m_index = 0;
    uint32_t m_type;
    float* m_scratchLeft = nullptr;
    float* m_scratchRight = nullptr;
    int m_lowKey = 127;   // key span of the loaded parts
    int m_highKey = 0;

    // The part order the audio thread plays: copied from the part list while
    // the tone is stopped, just before its start is armed, and then changed
    // only by the moves the audio thread takes from the ring, so it never
    // sees a reorder half done. Parts are deleted only while the tone is
    // stopped.
    GigaPart* m_play[giga::kMaxParts] = {};
    int m_playCount = 0;

    // Audio thread only.
    int32_t m_walkValues[kOvControllerCount] = {};
    GigaWalkResult m_walk;
    uint32_t m_random = 0x9E3779B9u;
};
