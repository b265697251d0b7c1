// The saved forms of the .gig player's state: the tagged archive of the
// studio ('gstd': host chunks and ".tv2" performances), of one player
// ('gdck'), of one tone ('tone': ".tvpreset" presets) with its parts, and
// the older RIFF form 'OvGm' (".tvp" performances and older host chunks).
//
// Loading goes through plain records first: an archive or RIFF file is read
// whole into records, and only a read that succeeded is applied to the live
// objects, so a malformed or truncated chunk leaves what was loaded as it
// was. Saving fills the records from the objects and writes them.
//
// Host, GUI or loader thread; never the audio thread.
#pragma once
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "engine/GigaPart.h"
#include "engine/OvMixerConstants.h"
#include "kiv/data/Data.h"
#include "kiv/data/FourCC.h"
#include "kiv/data/String.h"
#include "kiv/file/Archive.h"

class CImpRiff;
class CRiffWriter;
class GigaDeck;
class GigaStudio;
class GigaTone;
class OvEffect;

namespace giga {

// Archive types and nested object tags.
constexpr uint32_t kStudioArchive = fourcc("gstd");
constexpr uint32_t kDeckArchive = fourcc("gdck");
constexpr uint32_t kToneArchive = fourcc("tone");
constexpr uint32_t kPartObject = fourcc("part");
constexpr uint32_t kEffectObject = fourcc("effx");

// Version triples (current, older, oldest). Part sections 1, 2 and 2.1 are
// numbered 10, 20 and 21.
constexpr int kStudioVersion[3] = {2, 1, 1};
constexpr int kDeckVersion[3] = {1, 1, 1};
constexpr int kToneVersion[3] = {2, 1, 1};
constexpr int kPartVersion[3] = {21, 20, 10};

// Tone and part value bounds applied to stored values.
constexpr int kMidiMax = 127;
constexpr int kMaxTuneCents = 12700;  // +-, semitones x 100 + cents
constexpr int kMaxBend = 127;
constexpr int kMaxStoredCount = 1 << 20;  // counts beyond this are malformed
constexpr int kMaxRiffText = 4096;        // 'name' and 'bank' texts of the older form

// The older RIFF form.
constexpr char kRiffForm[] = "OvGm";

}  // namespace giga

// Holds tones stopped while saved records are applied to them: the audio
// thread reads the parts and part settings of a started tone, so the records
// only go to tones stopped with the start/stop handshake. On leaving, a
// player (or tone) that still has a tone waiting to be loaded stays stopped
// for the loader's pass, which starts it after loading, as after any load
// (the caller queues it and runs or starts the pass); with nothing to load,
// or no loader, what was playing starts again at once.
//
// The hold also keeps the bank manager's passes out for its whole life: a
// pass stops the player itself, so a stopped player alone does not mean
// that nothing reads its parts. The lock is taken before the stop and let go
// after the restart decision; callers run or start the pass after the hold.
class GigaApplyHold {
public:
    explicit GigaApplyHold(GigaDeck& deck);  // every tone of the player
    explicit GigaApplyHold(GigaTone& tone);  // one tone; the others play on
    ~GigaApplyHold();
    GigaApplyHold(const GigaApplyHold&) = delete;
    GigaApplyHold& operator=(const GigaApplyHold&) = delete;

private:
    std::unique_lock<std::recursive_mutex> m_passes;  // first: held around the rest
    GigaDeck* m_deck = nullptr;
    GigaTone* m_tone = nullptr;
    bool m_restart = false;  // it was playing (or about to) before the hold
};

// One part as saved.
struct GigaPartRecord : public Archivable {
    bool hasProgram = false;
    kiv::string path;
    int index = -1;
    int keyLow = 0, keyHigh = 0, keyOffset = 0;
    int level = 127, pan = 64, tuning = 0, bend = 0;
    float amp[6] = {};
    float filter[6] = {};
    int filterUse = 0;
    bool mute = false;
    int bus = 0;
    bool complete = false;  // every value of the first section was there

    void From(const GigaPart& part);
    // Sets program and settings of the part (no reset of its key range).
    void ApplyTo(GigaPart& part) const;
    void Archive(ArchiFile* archive) override;
    // The older form: the chunks inside a 'part' chunk (or, for files that
    // put them in the tone, one chunk at a time).
    bool ReadChunk(CImpRiff& riff);
    void WriteRiff(CRiffWriter& riff) const;
};

// One tone as saved.
struct GigaToneRecord : public Archivable {
    int channel = 0, bus = 0, level = 90, pan = 64, tuning = 0;
    int cents = 0, semitones = 0;
    bool splitTune = false;  // the second section gave cents and semitones
    int mute = 0, solo = 0;
    kiv::string name;
    int stackMode = 0, keySwitchLow = 0;
    std::vector<GigaPartRecord> parts;
    bool complete = false;
    bool present = false;  // the older form named this tone

    void From(const GigaTone& tone);
    // Resets the tone, empties its parts and gives it the saved ones.
    void ApplyTo(GigaTone& tone) const;
    void Archive(ArchiFile* archive) override;
    // The children of an 'ovtn' chunk at level; false when malformed.
    bool ReadRiff(CImpRiff& riff, int level);
    bool WriteRiff(CRiffWriter& riff) const;
};

// One player as saved.
struct GigaDeckRecord : public Archivable {
    std::vector<GigaToneRecord> tones;
    bool complete = false;

    explicit GigaDeckRecord(int toneCount = 0) : tones(toneCount) {}
    void From(const GigaDeck& deck);
    // Applies the tones; true when a tone waits to be loaded (the player is
    // then queued with the bank manager and its loading flag set).
    bool ApplyTo(GigaDeck& deck) const;
    void Archive(ArchiFile* archive) override;
    // The older form, from the file's first chunk on.
    bool ReadRiff(CImpRiff& riff);
};

// One mixer channel as saved.
struct GigaChannelRecord {
    int output = 0;
    float level = 1.0f, pan = 0.0f, leftPan = -1.0f, rightPan = 1.0f;
    bool effectOn[2] = {};
    uint32_t effectId[2] = {};
    // The channel's effect (saving) or a loaded copy of its values (loading).
    OvEffect* effect[2] = {};
    std::unique_ptr<OvEffect> loaded[2];
    bool insertOn[2] = {};
    int insertId[2] = {};
    kiv::string insertName[2];
    kiv::data insertChunk[2];
    std::vector<float> insertValues[2];
};

// The studio as saved.
struct GigaStudioRecord : public Archivable {
    std::vector<GigaDeckRecord> players;
    bool hasMixer = false;
    GigaChannelRecord channels[kOvMixerChannels];
    bool complete = false;

    void From(GigaStudio& studio);
    void ApplyTo(GigaStudio& studio) const;
    void Archive(ArchiFile* archive) override;
};
