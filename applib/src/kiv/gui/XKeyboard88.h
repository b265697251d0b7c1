// XKeyboard88: the on-screen 88-key piano keyboard of the editor's keyboard
// pane. It shows the selected instrument's play range and key-switch keys,
// lights keys while notes sound and lets the user play notes with the mouse;
// the notes played go to a note sink (another midi::Input) that the editor
// attaches.
//
// Threads: everything runs on the GUI thread except OnNoteEvent (NoteOn and
// NoteOff), which the engine calls from the host's audio thread: it only
// changes the pressed-note masks and the changed flag (atomics, no lock, no
// allocation); the GUI timer calls RefreshIfChanged to show the change.
#pragma once
#include <atomic>
#include <cstdint>

#include "kiv/data/MidiInput.h"
#include "kiv/gui/XControl.h"
#include "kiv/gui/XKeyboard88Geometry.h"
#include "kiv/gui/XPic.h"

class XMouse;

class XKeyboard88 : public XControl, public midi::Input {
public:
    static constexpr int kMaskWords = 12;  // word k holds notes 12k..12k+11 in bits 0..11

    XKeyboard88(XControl* parent, int x, int y, int w, int h);
    ~XKeyboard88() override = default;

    // XControl.
    void Draw(XGraphic& graphic) override;
    bool OnMouseDown(XMouse& mouse) override;
    void OnMouseDrag(XMouse& mouse) override;
    void OnMouseUp(XMouse& mouse) override;

    // midi::Input (audio thread): notes shown as pressed or released.
    void NoteOn(int channel, int key, int velocity, int deltaFrames) noexcept override;
    void NoteOff(int channel, int key, int velocity, int deltaFrames) noexcept override;
    void Controller(int, int, int, int) noexcept override {}
    void PitchBend(int, int, int, int) noexcept override {}
    void ProgramChange(int, int) noexcept override {}
    void AllNotesOff(int) noexcept override {}
    void OnNoteEvent(int key, bool on) noexcept;

    void SetNoteSink(midi::Input* sink) { m_sink = sink; }
    midi::Input* GetNoteSink() const { return m_sink; }

    void SetPlayRange(int low, int high);
    void SetKeySwitchRange(int low, int high);
    void ClearRanges();
    void ClearNotes();
    // Accepts n when the shown notes stay within 0..127 (n = -1, 0, 1).
    bool SetOctaveShift(int n);
    // Only notes inside the play or key-switch range change; true when the
    // note's bit changed.
    bool SetNoteState(int note, bool on) noexcept;
    // Repaints when a note changed since the last draw (every timer tick).
    void RefreshIfChanged();

    // The note under a point and the velocity a press there plays.
    int NoteAtPoint(int x, int y, int* velocity = nullptr) const;
    void PressNote(int note, int velocity);
    void ReleaseNote(int note);

    int GetLowestNote() const { return m_lowest.load(std::memory_order_relaxed); }
    int GetHighestNote() const { return m_highest.load(std::memory_order_relaxed); }
    int GetOctaveShift() const { return m_octaveShift; }
    void GetPlayRange(int& low, int& high) const;
    void GetKeySwitchRange(int& low, int& high) const;
    int GetHeldNote() const { return m_heldNote; }
    bool IsNotePressed(int note) const;
    bool HasChanged() const { return m_changed.load(std::memory_order_acquire); }

private:
    bool InPlayRange(int note) const noexcept;
    bool InSwitchRange(int note) const noexcept;
    void LoadPictures();
    void DrawFull(XGraphic& graphic);
    void DrawChanges(XGraphic& graphic);
    void DrawRange(XGraphic& graphic, int low, int high, const XPic& pic);
    void DrawKey(XGraphic& graphic, int note, const XPic& pic);
    void Changed();

    midi::Input* m_sink = nullptr;
    XPic m_plain;
    XPic m_pressed;
    XPic m_greyed;
    XPic m_switch;
    // Written by the GUI thread, read by the audio thread (relaxed: a note
    // racing a range change may be refused or taken, either is fine).
    std::atomic<int> m_lowest{keys88::kLowestNote};
    std::atomic<int> m_highest{keys88::kHighestNote};
    int m_octaveShift = 0;
    std::atomic<int> m_playLow{0}, m_playHigh{0};
    std::atomic<int> m_switchLow{0}, m_switchHigh{0};
    int m_heldNote = -1;
    std::atomic<bool> m_changed{true};
    std::atomic<uint32_t> m_masks[kMaskWords] = {};
    uint32_t m_drawn[kMaskWords] = {};
};
