// GigaDeck: the .gig player: an OvPlayer with 256 GigaVoices and 16
// GigaTones, loaded by the bank manager. Owned by the studio.
//
// Threads: OnInit on the host's thread once after construction; LoadTones on
// the loader thread (or the host's thread for a state chunk) inside a pass;
// ClearPerformance, HasFailedTone, IsModified on the GUI thread; rendering as
// OvPlayer.
#pragma once
#include <atomic>
#include <memory>

#include "engine/GigaStreamConstants.h"
#include "engine/OvPlayer.h"
#include "kiv/data/Data.h"
#include "kiv/file/Archive.h"

class CImpRiff;
class GigaBankManager;
class GigaTone;

class GigaDeck : public OvPlayer, public Archivable {
public:
    GigaDeck();
    // Leaves the loader's queue (waiting for a pass that loads it) first.
    ~GigaDeck() override;

    // Reads the settings, points the controller map at the preferences,
    // creates the voices and the tones (tone i on channel i, bus i).
    bool OnInit() override;
    // Waits until the disk thread has made a few passes (it has then taken or
    // dropped this player's waiting voices and recycled their finished streams).
    void WaitIdle() override;
    // "Voices: %d\r\n" and "Streams: %d\r\n" on standard output, each only
    // when not 0.
    void PrintStats() override;

    // Loader: loads every tone in state 1; true when every tone loaded.
    bool LoadTones(GigaBankManager& manager);

    GigaTone* GetGigaTone(int index) const;
    bool HasFailedTone() const;
    bool IsModified() const;
    // A performance file just read: nothing is modified, and the loads its
    // tones wait for do not count as changes.
    void MarkRestored();
    // Empties every tone that has parts (started or not) and has them
    // released by the loader; forgets the performance path.
    void ClearPerformance();

    // Set while a load this player asked for waits for the loader.
    bool IsLoading() const { return m_loading.load(std::memory_order_acquire); }
    void SetLoading(bool loading) { m_loading.store(loading, std::memory_order_release); }
    // Waits in 50 ms steps while loading, at most 10 s; false on time-out.
    bool WaitWhileLoading();

    // --- Persistence (GigaArchive*.cpp) ---
    void Archive(ArchiFile* archive) override;  // 'gdck'
    bool LoadArchive(ArchiFile* archive);       // a nested 'gdck'; true: a tone waits
    bool GetState(kiv::data& chunk);
    bool SetState(const kiv::data& chunk);      // then the loader's pass, on success
    bool SetStateFromArchive(const kiv::data& chunk);
    bool SetStateFromRiff(const kiv::data& chunk);
    bool SaveFile(const char* path);
    bool Load(const char* path);                // older form; keeps the path
    bool OnLoad(const char* path) override;     // older form; true: a tone waits
    bool OnLoad(CImpRiff& riff);
    bool SaveRiff(const char* path);

    float* GetScratchLeft() { return m_scratch.get(); }
    float* GetScratchRight() { return m_scratch.get() + giga::kDeckScratchFloats; }

private:
    // OnLoad of an opened reader, away from the loader's passes; true when a
    // tone then waits (the loading flag is set).
    bool LoadWaiting(CImpRiff& riff);

    struct AlignedFree {
        void operator()(float* p) const;
    };
    std::unique_ptr<float, AlignedFree> m_scratch;  // two blocks of 4096 floats
    std::atomic<bool> m_loading{false};
};
