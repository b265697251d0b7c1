// GigaEditor: the root view of the plug-in's editor, one per studio. It
// holds the toolbar, the MIDI-port tabs, one rack of part units per player,
// the channel mixer, the browser and search panes and the keyboard pane; it
// turns toolbar presses into engine calls, opens and saves performances,
// reacts to the engine's events ('OvTL', 'mixr') and to the results of its
// modal dialogs, and plays the on-screen keyboard's notes into the selected
// tone.
//
// Threads: the host's GUI thread, except PostEvent (the engine's threads)
// and the keyboard-display notes the player sends from the audio thread,
// which go to the keyboard control itself.
#pragma once
#include <cstdint>
#include <memory>

#include "editor/GigaEditorConst.h"
#include "editor/OvEditor.h"
#include "kiv/data/MidiInput.h"
#include "kiv/data/String.h"
#include "kiv/file/Log.h"
#include "kiv/gui/XFileNav.h"
#include "kiv/gui/XListener.h"

class GMixer;
class GigaDeck;
class GigaStudio;
class GigaTone;
class WBigMixer;
class XButtonPic;
class XKeyboard88;
class XLogo;
class XGigaRack;
class XPane;
class XSetValue;
class XTabPorts;
class XViewBase;
class XViewNav;

class GigaEditor : public OvEditor, public XListener, public midi::Input, public file::Log {
public:
    GigaEditor();
    ~GigaEditor() override;

    // Makes the editor and binds it to the studio (which builds the views
    // for player 0). The view factory the plug-in registers.
    static std::unique_ptr<OvStudioView> Create(OvStudio* studio);

    // --- OvEditor ---
    void OnPlayerSelected(OvPlayer* player) override;
    bool OpenPerformance(const char* path) override;

    // --- XView ---
    void OnShow() override;
    void OnClosing() override;
    void OnIdle() override;
    void OnEvent(XEvent& event) override;
    void OnModalClosed(XView* child, int result) override;

    // --- XListener ---
    int Notify(XControl* sender, int code, int value) override;
    using XControl::Notify;

    // --- midi::Input: the on-screen keyboard's notes ---
    void NoteOn(int channel, int key, int velocity, int deltaFrames) override;
    void NoteOff(int channel, int key, int velocity, int deltaFrames) override;
    void Controller(int, int, int, int) override {}
    void PitchBend(int, int, int, int) override {}
    void ProgramChange(int, int) override {}
    void AllNotesOff(int) override {}

    // The flows a toolbar press or a confirm dialog's result runs
    // (editor::kFlowAsk asks first when the performance is modified).
    void NewFlow(int result);
    void OpenFlow(int result);
    // Saves the studio to the current path; asks for one when there is none
    // or `as` is set. False when nothing was written now: with a dialog the
    // save happens when its answer comes, and then the flow `then` (the tag
    // of the confirm that asked for the save, 0 = none) goes on without
    // asking again. A save that fails shows the file and the reason, and
    // leaves the path and the modified state as they were.
    bool Save(bool as, uint32_t then = 0);
    // Writes the studio to `path`; on success it becomes the current path.
    bool SaveTo(const char* path);
    void ClearPerformance();
    void ExpandAll(bool expand);
    // Opens the missing-files window for the current player, or remembers
    // to when another dialog is open.
    void OpenMissingFiles();

    const char* GetPerformancePath() const { return m_path.CStr(); }
    bool IsExpanded() const { return m_expand != 0; }

    // Views, for tests and the plug-in window.
    XButtonPic* GetToolButton(int n) const
    {
        return n >= 0 && n < editor::kToolButtonCount ? m_buttons[n] : nullptr;
    }
    XLogo* GetLogo() const { return m_logo; }
    XTabPorts* GetPortTabs() const { return m_ports; }
    XGigaRack* GetRack(int n) const { return n >= 0 && n < editor::kMaxRacks ? m_racks[n] : nullptr; }
    XGigaRack* GetCurrentRack() const { return m_rack; }
    int GetCurrentRackIndex() const { return m_rackIndex; }
    GMixer* GetMixer() const { return m_mixer; }
    XViewNav* GetBrowser() const { return m_browser; }
    XViewBase* GetSearch() const { return m_search; }
    WBigMixer* GetBigMixer() const { return m_bigMixer.get(); }
    XPane* GetKeyboardPane() const { return m_keyPane; }
    XKeyboard88* GetKeyboard() const { return m_keyboard; }
    XSetValue* GetChannelBox() const { return m_channel; }
    XSetValue* GetTransposeBox() const { return m_transpose; }

    // The selected unit of the current rack and its tone.
    int GetSelectedUnit() const;
    GigaTone* GetSelectedTone() const;
    // Makes unit n of the current rack the selected one: the player shows
    // its notes on the keyboard, the channel box shows its channel.
    void SelectUnit(int n);

private:
    void BuildViews();
    void BuildToolbar();
    void BuildKeyboardPane();
    void ClickButton(int n);
    void SetButtonPressed(int n, bool pressed);
    void OnButton(int n, int value);
    void OnPortTabs(int code, int value);
    void SwitchPane(bool search, bool pressed);
    void SwitchMixer(bool pressed);
    void RefreshKeyboardRanges();
    void RefreshLoadedUnits();
    void OpenDialog();
    // The save dialog's answer: saves there, then goes on with the flow.
    void SaveChosen(const kiv::string& path, uint32_t then);
    bool LoadChosen(const char* path);
    void StartLoading(bool search);
    void ResolveMissing(XView* window, int result);
    void MarkSaved();  // every tone of every player counts as saved
    // Tones of the rack's player or the mixer changed since saved or read.
    bool IsPerformanceModified() const;
    GigaStudio* GetGigaStudio() const;
    GigaDeck* GetDeck(int index) const;
    bool HasModal() const { return GetModalChild() || GetWaitingModalChild(); }

    uint8_t m_expand = 0;
    kiv::string m_path;
    bool m_built = false;
    bool m_missingPending = false;  // the missing-files window waits for a dialog to close

    XPane* m_toolbar = nullptr;
    XButtonPic* m_buttons[editor::kToolButtonCount] = {};
    XLogo* m_logo = nullptr;
    XTabPorts* m_ports = nullptr;
    XGigaRack* m_racks[editor::kMaxRacks] = {};
    int m_rackCount = 0;
    XGigaRack* m_rack = nullptr;
    int m_rackIndex = 0;
    GMixer* m_mixer = nullptr;
    XViewNav* m_browser = nullptr;
    XViewBase* m_search = nullptr;
    std::unique_ptr<WBigMixer> m_bigMixer;
    std::unique_ptr<XFileNav> m_openNav;  // the open and save dialogs, kept until they answer
    std::unique_ptr<XFileNav> m_saveNav;
    XPane* m_keyPane = nullptr;
    XKeyboard88* m_keyboard = nullptr;
    XSetValue* m_channel = nullptr;
    XSetValue* m_transpose = nullptr;
};
