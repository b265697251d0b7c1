// OvEditor: the engine-side base of the plug-in's editor view (GigaEditor).
// It binds the editor to a studio (or to a single player), keeps the current
// player, and is the queue the engine posts its events to ('OvTL' from the
// loader through the player, 'mixr' from the studio): PostEvent puts them
// into the view's XEventQueue, which the GUI thread drains on its tick.
//
// Threads: everything on the GUI thread except PostEvent (any thread,
// lock-free, never waits).
#pragma once
#include <cstdint>

#include "engine/OvStudio.h"
#include "kiv/gui/XView.h"

class OvPlayer;

class OvEditor : public XView, public OvStudioView {
public:
    OvEditor();
    // Detaches from the players still listed and deletes the views while the
    // editor can still tell them whether the engine lives. Without a studio
    // the selected player must outlive the editor.
    ~OvEditor() override;

    // --- OvStudioView ---
    // Any thread: false when the queue is full.
    bool PostEvent(const XEvent& event) override { return Post(event); }
    // The studio is going away (it has deleted its players): the editor
    // forgets studio and player, and its views no longer touch their tones.
    void CloseView() override;

    // --- Operations the editor fills ---
    // Opens a performance file; true on success. False in the base.
    virtual bool OpenPerformance(const char* path);
    // The current player changed: the editor rebuilds its views.
    virtual void OnPlayerSelected(OvPlayer* player);

    // Keeps the studio, clears the current player and, when the studio has a
    // player 0, selects it.
    void SetStudio(OvStudio* studio);
    OvStudio* GetStudio() const { return m_studio; }
    // The player becomes current; OnPlayerSelected runs.
    void SelectPlayer(OvPlayer* player);
    OvPlayer* GetCurrentPlayer() const { return m_player; }
    // The studio's player count; without a studio 1 when a player is set.
    int GetPlayerCount() const;
    // Index >= 0 with a studio: the studio's player (null past the end);
    // otherwise the current player.
    OvPlayer* GetPlayer(int index) const;
    // Clears the editor pointer of every player that posts to this editor
    // (the editor's window closed; the editor itself lives on).
    void DetachFromPlayers();
    // False once CloseView ran.
    bool IsEngineAlive() const { return m_engineAlive; }

    // Copies the application's identifier into the process-wide buffer
    // (cut to its size); null clears it. GUI thread.
    static void SetIdentifier(const char* text);
    static const char* GetIdentifier();

private:
    OvStudio* m_studio = nullptr;
    OvPlayer* m_player = nullptr;
    bool m_engineAlive = true;
};
