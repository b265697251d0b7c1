// GigaStudio: the studio of the .gig player: one GigaDeck, the mixer of
// OvStudio, and the persistence of both: the 'gstd' archive (host chunk and
// ".tv2" performance files) and the older RIFF form ('OvGm', ".tvp" files and
// older host chunks). Made by the plug-in shell (GigaStudio::Create).
//
// Threads: everything here runs on the host's or the GUI thread. A state
// chunk is applied and its instruments loaded (GigaBankManager::RunNow)
// before SetState returns.
#pragma once
#include <memory>

#include "engine/OvStudio.h"
#include "kiv/file/Archive.h"

class GigaDeck;

class GigaStudio : public OvStudio, public Archivable {
public:
    GigaStudio();
    // Deletes the players before the mixer goes.
    ~GigaStudio() override;

    // A studio with one initialised GigaDeck. The first studio of the process
    // lets the insert factory load the plug-in list.
    static std::unique_ptr<GigaStudio> Create();

    GigaDeck* GetDeck(int index) const;

    // The 'gstd' archive. Loading applies the values only when the whole
    // first section was read; the staged loads below apply nothing unless
    // the whole archive read cleanly.
    void Archive(ArchiFile* archive) override;

    // The host chunk: the 'gstd' archive in memory.
    bool GetState(kiv::data& chunk) override;
    // "RIFF" → SetStateFromRiff; the archive magic → SetStateFromArchive and
    // the loader's pass on this thread; anything else is refused.
    bool SetState(const kiv::data& chunk) override;
    bool SetStateFromArchive(const kiv::data& chunk);
    // Player 0 takes the older form; each tone's mixer channel of the tone's
    // bus number is routed to that bus.
    bool SetStateFromRiff(const kiv::data& chunk);

    // ".tv2" performance files; a load that fails leaves the studio as it was.
    bool SaveFile(const char* path);
    bool LoadFile(const char* path);
    // ".tvp" performance files: player 0 reads the older form; on success the
    // mixer channels are routed and the player is queued for the loader.
    bool LoadV1Performance(const char* path);

    // After a 'gstd' archive was applied: the editor hears 'mixr'.
    void NotifyMixerLoaded();
    // Routes mixer channel n to bus n for each tone of player 0 on bus n < 16.
    void RouteTonesToOutputs();
};
