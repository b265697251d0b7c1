// XTrack: one channel strip of the mixer: what plays into the channel, the
// four effect switches with their panels, mute and solo, the pan arc, the
// balance, the level fader with its meter and value, and the output pair.
// Every control writes straight into the studio's mixer (OvStudio mixer
// parameters and effect slots); Refresh reads them all back. Mute and solo
// go through the strip's group (its listener, which hears 'mute' and
// 'solo'); widening and narrowing is reported as 'expt'.
//
// GUI thread only. A strip whose channel lies outside the studio's mixer
// shows disabled and never touches the studio.
#pragma once
#include "engine/OvGroup.h"
#include "kiv/data/String.h"
#include "kiv/gui/HMeter.h"
#include "kiv/gui/XControl.h"
#include "kiv/gui/XLabel.h"
#include "kiv/gui/XListener.h"
#include "kiv/gui/XToggle.h"

class OvInsert;
class OvStudio;
class PlugInfo;
class XMenu;
class XRoundedPane;
class XSelectOut;
class XTogSolo;
class XTrackBalance;
class XTrackExpand;
class XTrackFader;
class XTrackInput;
class XTrackMore;
class XTrackPan;
class gvalue;

class XTrack : public XControl, public XListener, public OvGroupMember {
public:
    // Services of the plug-in shell, which the editor library does not link:
    // the names of the plug-in's output pairs (false past the last pair) and
    // opening a hosted effect's own editor on a parent window. The shell sets
    // them once at library load. Without a namer the studio's first player
    // names the pairs; without an opener no editor opens.
    using OutputNamer = bool (*)(int pair, kiv::string& name);
    using InsertEditorOpener = void (*)(OvInsert* insert, void* parentWindow);
    static void SetOutputNamer(OutputNamer namer);
    static void SetInsertEditorOpener(InsertEditorOpener opener);

    XTrack(XControl* parent, int x, int y, int w, int h, int channel);

    void SetStudio(OvStudio* studio);
    OvStudio* GetStudio() const { return m_studio; }
    // The channel index and the label "2i+1-2i+2".
    void SetChannel(int channel);
    int GetChannel() const { return m_channel; }
    // True when the channel is one of the studio's mixer channels.
    bool HasMixerChannel() const;

    // Reloads every control from the studio (nothing is written back).
    void Refresh();
    // The input display: the program name of the first part of the first
    // active tone, over all players, on this channel; none otherwise.
    void RefreshInput();
    // Meter levels (GUI timer).
    void SetMeterLevels(float left, float right);
    void ResetMeter();

    bool IsExpanded() const { return m_expanded; }

    // The menus the strip shows, and what a choice does; the selectors'
    // presses build a menu, track it and apply the choice.
    void BuildInputMenu(XMenu& menu) const;
    void BuildOutputMenu(XMenu& menu) const;
    void BuildPluginMenu(XMenu& menu) const;
    // Routes the channel to output pair c (ignored outside the pairs).
    void ChooseOutput(int pair);
    // A plug-in menu value for insert slot 0 or 1: mixer::kNoPlugin or an
    // entry of the process-wide plug-in list. The slot's enable flag is the
    // same afterwards. False when nothing was put into the slot.
    bool ChoosePlugin(int slot, int value);
    // The same with an entry (null: "No Plugin").
    bool ChoosePluginEntry(int slot, PlugInfo* info);
    // Opens the editor of the insert's hosted plug-in, if it has one.
    void OpenPluginEditor(int slot);

    // OvGroupMember: the group's outcome.
    void OnMute(bool muted) override;
    void OnSolo(bool soloed) override;

    int Notify(XControl* sender, int code, int value) override;
    using XControl::Notify;

    // The children, for the views and for tests.
    XLabel* GetLabel() const { return m_label; }
    XTrackExpand* GetExpand() const { return m_expand; }
    XTrackInput* GetInput() const { return m_input; }
    XToggle* GetEffectToggle(int slot) const { return slot >= 0 && slot < 4 ? m_effects[slot] : nullptr; }
    XTogSolo* GetMute() const { return m_mute; }
    XTogSolo* GetSolo() const { return m_solo; }
    XTrackPan* GetPan() const { return m_pan; }
    XTrackBalance* GetBalance() const { return m_balance; }
    XTrackFader* GetFader() const { return m_fader; }
    gvalue* GetFaderValue() const { return m_faderValue; }
    XMeterStereo* GetMeter() const { return m_meter; }
    XSelectOut* GetOutput() const { return m_output; }
    XTrackMore* GetMore() const { return m_more; }

private:
    void Build();
    void ApplyColours(XColourValue base);
    void SetMixer(int number, float value);
    void Expand(bool on);
    void OnEffectToggle(int slot, int value);
    void ShowOutputText(int pair);
    void ShowInsertName(int slot);

    OvStudio* m_studio = nullptr;
    int m_channel = 0;
    bool m_expanded = false;
    bool m_refreshing = false;  // Refresh sets controls: nothing is written back

    XLabel* m_label = nullptr;
    XTrackExpand* m_expand = nullptr;
    XTrackInput* m_input = nullptr;
    XRoundedPane* m_switches = nullptr;
    XToggle* m_effects[4] = {};
    XTogSolo* m_mute = nullptr;
    XTogSolo* m_solo = nullptr;
    XTrackPan* m_pan = nullptr;
    XTrackBalance* m_balance = nullptr;
    XTrackFader* m_fader = nullptr;
    gvalue* m_faderValue = nullptr;
    XMeterStereo* m_meter = nullptr;
    XSelectOut* m_output = nullptr;
    XTrackMore* m_more = nullptr;
};
