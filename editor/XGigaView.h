// The part unit: the editor's row for one tone of a player. XToneView adds
// the expanded flag to the tone view base; XGigaView is the unit itself: a
// 25-pixel top bar (number, activity LED, stack toggle, name with load
// progress, output pair, mute, solo, volume, tuning and pan) and a bottom
// panel (the plain XGigaViewBot with the instrument's information and eleven
// knobs, or the stacked-instrument view when the tone layers parts). What
// the user changes is written straight into the tone and its first part.
//
// Threads: GUI thread, except OnToneEvent, which the loader and audio
// threads call: it stores values into atomics of the controls (name colour,
// status text, progress, LED) and raises pending flags. Everything that
// rebuilds controls or tells the editor (a refresh after a load, 'keyb',
// controller moves shown on the faders) waits for Poll, which the rack runs
// on the GUI thread's tick.
#pragma once
#include <atomic>
#include <cstdint>
#include <memory>

#include "editor/OvView.h"
#include "editor/PartUnitConst.h"
#include "kiv/file/Log.h"
#include "kiv/gui/XFileNav.h"
#include "kiv/gui/XListener.h"
#include "kiv/gui/XPic.h"

class GigaPart;
class GigaTone;
class XDimList;
class XFader;
class XGigaName;
class XGigaViewStack;
class XKnob;
class XMenu;
class XMyLed;
class XProgInfo;
class XSelFader;
class XSelectLcd;
class XTogLed;
class XTogStack;
class XToggle;
class XValBot;
class XValTop;
class XLabel;

class XToneView : public OvView {
public:
    XToneView(OvEditor* editor, OvTone* tone) : OvView(editor, tone) {}

    // Nothing when unchanged; else stores the flag and runs OnExpand.
    void SetExpanded(bool expanded);
    bool IsExpanded() const { return m_expanded != 0; }

protected:
    virtual void OnExpand(bool expanded) { (void)expanded; }

private:
    uint8_t m_expanded = 0;
};

// The top bar's background and its fixed texts.
class XGigaViewTop : public XControl {
public:
    XGigaViewTop(XControl* parent, int x, int y, int w, int h);
    void Draw(XGraphic& graphic) override;
    void SetExpanded(bool expanded);

private:
    bool m_expanded = false;
};

// The plain bottom panel.
class XGigaViewBot : public XControl {
public:
    XGigaViewBot(XControl* parent, int x, int y, int w, int h);
    void Draw(XGraphic& graphic) override;
    // 0, 1 or 2: colours of the side bars and the bottom edge.
    void SetHighlight(int state);
    int GetHighlight() const { return m_highlight; }

private:
    XPic m_pic;  // "view_bot.png"
    int m_highlight = 0;
};

class XGigaView : public XToneView, public XListener, public file::Log {
public:
    // Builds the controls, shows the display name and becomes the tone's view.
    XGigaView(OvEditor* editor, GigaTone* tone, int index);
    ~XGigaView() override;

    void Draw(XGraphic& graphic) override;
    bool OnMouseDown(XMouse& mouse) override;
    bool OnDragOver(XControl* source, uint32_t kind) override;
    bool OnDragEnter(XControl* source, uint32_t kind) override;
    void OnDragLeave(XControl* source, uint32_t kind) override;
    void OnDrop(XControl* source, uint32_t kind) override;

    // Loader and audio threads: stores values, raises pending flags.
    void OnToneEvent(OvTone* tone, uint32_t code, int value) override;
    // GUI thread, every tick: carries out what the notifications left.
    void Poll();

    int Notify(XControl* sender, int code, int value) override;
    using XControl::Notify;

    // OvGroupMember: LEDs and the tone's mute and solo flags.
    void OnMute(bool muted) override;
    void OnSolo(bool soloed) override;

    // Re-reads everything from the tone.
    void Refresh();
    void Select(bool selected);
    bool IsSelected() const { return (m_selection & partunit::kSelected) != 0; }
    int GetSelectionState() const { return m_selection; }

    // False without a tone. Clears an unstacked tone first, adds the part and
    // has the loader load it.
    bool LoadIntoUnit(const char* path, int index);
    // Loads a preset into the tone and has it loaded; false when it fails.
    bool LoadPresetIntoUnit(const char* path);
    // Saves the tone as a preset; a failure is shown to the user (file and
    // reason) and gives false.
    bool SavePresetOfUnit(const char* path);

    // The part menu's choices (the menu itself is OpenPartMenu).
    enum MenuItem { kItemLoad = 1, kItemUnload, kItemLoadPreset, kItemSavePreset };
    void ChooseMenuItem(int item);
    // An instrument of an open bank chosen from the part menu.
    void ChooseBankInstrument(const char* bankPath, int index);
    // An output pair chosen from the output menu.
    void ChooseOutput(int bus);
    // Switches on or off the stacked layout, as the stack toggle does.
    void ChooseStacked(bool on);

    GigaTone* GetGigaTone() const { return m_gigaTone; }
    int GetIndex() const { return m_index; }
    XGigaName* GetNameBox() const { return m_name; }
    XSelectLcd* GetOutputBox() const { return m_output; }
    XTogLed* GetMuteLed() const { return m_mute; }
    XTogLed* GetSoloLed() const { return m_solo; }
    XMyLed* GetActivityLed() const { return m_led; }
    XTogStack* GetStackToggle() const { return m_stack; }
    XFader* GetVolumeFader() const { return m_volume; }
    XFader* GetTuningFader() const { return m_tuning; }
    XFader* GetPanFader() const { return m_pan; }
    XSelFader* GetTuningMode() const { return m_tuneMode; }
    XValTop* GetVolumeCaption() const { return m_volumeCaption; }
    XValTop* GetTuningCaption() const { return m_tuningCaption; }
    XValTop* GetPanCaption() const { return m_panCaption; }
    XLabel* GetNumber() const { return m_number; }
    XKnob* GetKnob(int n) const { return n >= 0 && n < partunit::kKnobCount ? m_knobs[n] : nullptr; }
    XValBot* GetKnobCaption(int n) const { return n >= 0 && n < partunit::kKnobCount ? m_knobCaptions[n] : nullptr; }
    XToggle* GetFilterToggle() const { return m_filter; }
    XProgInfo* GetProgInfo() const { return m_progInfo; }
    XDimList* GetDimList() const { return m_dimList; }
    XGigaViewBot* GetPlainPanel() const { return m_plain; }
    XGigaViewStack* GetStackView() const { return m_stackView; }
    XControl* GetPanelInUse() const { return m_panel; }

protected:
    void OnExpand(bool expanded) override;

private:
    void BuildTopBar();
    void BuildBottomPanel();
    void SetTextColours(XColourValue colour);
    void SetTuningMode(int mode);
    void FillKnobs(GigaPart* part);
    void ClearKnobs();
    void KnobChanged(int knob);
    void FilterToggled();
    void OpenPartMenu();
    void OpenOutputMenu();
    void QueueAndLoad();
    void ResizeTo(int height);
    void ShowOutput(int bus);
    GigaPart* GetFirstPart() const;
    // The display name, and in the name box's note what its parts' loads
    // left out; true when something was.
    bool ShowName();
    // The name box's look for a tone load state ('stat'). Any thread.
    void ShowLoadState(int state);

    GigaTone* m_gigaTone = nullptr;
    std::unique_ptr<XFileNav> m_nav;  // the last file dialog, kept until it answers
    int m_index = 0;
    int m_selection = 0;
    bool m_filling = false;  // control values set by a refresh write nothing back

    XGigaViewTop* m_top = nullptr;
    XLabel* m_number = nullptr;
    XMyLed* m_led = nullptr;
    XTogStack* m_stack = nullptr;
    XGigaName* m_name = nullptr;
    XSelectLcd* m_output = nullptr;
    XTogLed* m_mute = nullptr;
    XTogLed* m_solo = nullptr;
    XFader* m_volume = nullptr;
    XValTop* m_volumeCaption = nullptr;
    XSelFader* m_tuneMode = nullptr;
    XFader* m_tuning = nullptr;
    XValTop* m_tuningCaption = nullptr;
    XFader* m_pan = nullptr;
    XValTop* m_panCaption = nullptr;
    XGigaViewBot* m_plain = nullptr;
    XGigaViewStack* m_stackView = nullptr;
    XControl* m_panel = nullptr;
    XProgInfo* m_progInfo = nullptr;
    XDimList* m_dimList = nullptr;
    XKnob* m_knobs[partunit::kKnobCount] = {};
    XValBot* m_knobCaptions[partunit::kKnobCount] = {};
    XToggle* m_filter = nullptr;

    // Raised by OnToneEvent, taken by Poll.
    std::atomic<bool> m_refreshPending{false};
    std::atomic<bool> m_namePending{false};
    std::atomic<bool> m_keysPending{false};
    std::atomic<bool> m_controllersPending{false};
};
