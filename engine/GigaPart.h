// GigaPart: one layer of a GigaTone: which instrument of which .gig file, its
// key range and offset, level, pan, tuning, bend, envelope and filter
// offsets, and its load state. Owned by its tone. The GUI thread edits the
// settings (relaxed atomics); the loader thread loads it (Load) while its
// player is stopped; the audio thread reads the settings and the loaded
// program.
#pragma once
#include <atomic>
#include <cstdint>

#include "engine/GigaStreamConstants.h"
#include "engine/OvRelaxed.h"
#include "kiv/data/String.h"
#include "kiv/file/Archive.h"

class CImpRiff;
class CRiffWriter;
class GigaBank;
class GigaBankManager;
class GigaProgram;
class GigaTone;

class GigaPart : public Archivable {
public:
    // Places in the 13-float envelope blocks.
    enum Envelope { kLevel = 0, kVelocity, kAttack, kDecay, kSustain, kRelease, kEnvelopeFloats = 13 };

    explicit GigaPart(GigaTone* tone);
    ~GigaPart() override;  // releases the program and the bank
    GigaPart(const GigaPart&) = delete;
    GigaPart& operator=(const GigaPart&) = delete;

    // New path (none when null) and program index, state 1; reset also
    // clears the key range and the key offset.
    void SetProgram(const char* path, int index, bool reset);
    // A missing file found elsewhere: new path, state 1.
    void SetPath(const char* path);
    // Program index -1, state 1: the next load releases it and removes the part.
    void Clear();

    // Null without a path.
    const char* GetPath() const;
    // The path's last element (after '/' or '\'); null without a path.
    const char* GetFileName() const;
    // Null without a loaded program.
    const char* GetProgramName() const;

    // Loader thread: loads the part (see GigaTone::LoadParts). False when the
    // part is missing (state 3), or its file or instrument cannot be read
    // (state 5: not a bank, no such instrument, a damaged one, no memory);
    // an emptied part is left in state 4, to be removed by its tone. A
    // loaded part may still have silent samples (below).
    bool Load(GigaBankManager& manager);
    // Persistence (GigaArchive*.cpp): the nested 'part' object and the
    // older form's 'part' chunk.
    void Archive(ArchiFile* archive) override;
    bool ReadRiff(CImpRiff& riff);
    void WriteRiff(CRiffWriter& riff) const;

    // Recomputes the display averages from the loaded program's zones.
    void ComputeAverages();

    int GetState() const { return m_state.load(std::memory_order_acquire); }
    void SetState(int state) { m_state.store(state, std::memory_order_release); }
    GigaTone* GetTone() const { return m_tone; }
    GigaBank* GetBank() const { return m_bank; }
    GigaProgram* GetProgram() const { return m_program.load(std::memory_order_acquire); }
    int GetProgramIndex() const { return m_programIndex; }

    // What a load left out (under the tone's parts lock for the GUI): the
    // number of samples its instrument names that cannot be played, and the
    // extension file of its bank that was not found (null when none).
    int GetUnusableCount() const { return m_unusable; }
    const char* GetMissingExtension() const;
    // The file the missing-files window looks for: the part's own file in
    // state 3, else a missing extension file; null when nothing is missing.
    const char* GetMissingPath() const;
    // The user chose to go on without the missing extension file: it is no
    // longer asked for (its samples stay silent) until the part loads again.
    void IgnoreMissingExtension() { m_missingExtension.Clear(); }

    // Settings. The GUI edits them while the audio thread starts and renders
    // notes with them: each is a relaxed atomic. The averages are display
    // values of the GUI and the loader.
    OvRelaxed<int> bus{0};
    OvRelaxed<int> level{127};
    OvRelaxed<int> pan{64};
    OvRelaxed<int> tuning{0};
    OvRelaxed<bool> mute{false};
    OvRelaxed<int> keyLow{0};       // 0..0: not set
    OvRelaxed<int> keyHigh{0};
    OvRelaxed<int> keyOffset{0};
    OvRelaxed<int> programBend{0};  // the program's pitch-bend range
    OvRelaxed<int> bend{0};         // 0: the program's
    OvRelaxed<int> filterUse{0};
    float ampAverage[kEnvelopeFloats] = {};
    OvRelaxed<float> ampSettings[kEnvelopeFloats];
    float filterAverage[kEnvelopeFloats] = {};
    OvRelaxed<float> filterSettings[kEnvelopeFloats];

private:
    void ReleaseProgram();
    void ReleaseBank();

    std::atomic<int> m_state{giga::kPartNone};
    GigaTone* m_tone;
    kiv::string m_path;
    GigaBank* m_bank = nullptr;
    int m_programIndex = -1;
    std::atomic<GigaProgram*> m_program{nullptr};
    int m_unusable = 0;
    kiv::string m_missingExtension;
};
