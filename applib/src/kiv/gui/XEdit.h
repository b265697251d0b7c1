// XEdit: the toolkit's one-line text field. A click (or BeginEdit) starts an
// edit: characters pass a filter, a caret blinks (the owner calls
// OnBlinkTick on every tick), the mouse selects, Control+V pastes the first
// line of a short clipboard text. Return commits, Escape cancels, losing the
// mouse capture ends the edit with the commit-on-leave flag; the end of an
// edit is reported to the listener (code 0). While idle it shows its text,
// or its dimmed hint when empty. Text and caret stay inside the frame; a text
// longer than the field scrolls so the caret remains in view. GUI thread only.
#pragma once
#include <cstdint>
#include <memory>

#include "kiv/data/String.h"
#include "kiv/gui/XControl.h"

class XEdit : public XControl {
public:
    // Character filter bits; 0 admits every printable character.
    static constexpr int kLetters = 0x01;
    static constexpr int kDigits = 0x02;
    static constexpr int kSigns = 0x04;
    static constexpr int kDot = 0x08;
    static constexpr int kHash = 0x20;
    static constexpr int kPathMarks = 0x40;
    static constexpr int kNumeric = kDigits;                              // notifies its value
    static constexpr int kNoteName = kLetters | kDigits | kSigns | kHash;  // SetValue writes note names

    XEdit(XControl* parent, int x, int y, int w, int h);
    ~XEdit() override;

    // The capture moved to another control: the field lost the focus.
    void OnCaptureLost() override { OnFocusLost(); }
    void OnFocusLost();
    void Draw(XGraphic& graphic) override;
    bool OnMouseDown(XMouse& mouse) override;
    void OnMouseDrag(XMouse& mouse) override;
    void OnMouseUp(XMouse& mouse) override;
    bool OnMouseEnter() override { return true; }
    bool OnKey(XKeyEvent& key) override;
    // Writes n as the text: a decimal number, or with the note-name filter
    // a note name ("C#3" for 61).
    virtual void SetValue(int n);
    // Called by the owner on every timer tick.
    virtual void OnBlinkTick();

    void SetHint(const char* text) { m_hint = text ? text : ""; }
    // Null when the text is empty.
    const char* GetText() const { return m_length > 0 ? m_text : nullptr; }
    int GetLength() const { return m_length; }
    void SetFilter(int filter) { m_filter = filter; }
    int GetFilter() const { return m_filter; }
    void SetUpperCase(bool on) { m_upperCase = on ? 1 : 0; }
    void SetCommitOnLeave(bool commit) { m_commitOnLeave = commit ? 1 : 0; }

    void BeginEdit();
    // False when the field was not editing; else ends the edit.
    bool EndEdit(bool commit);
    bool IsEditing() const { return m_editing != 0; }
    int GetCaret() const { return m_caret; }
    int GetSelectionLength() const { return m_selection; }
    bool IsCaretVisible() const { return m_caretVisible != 0; }

    // Moves the caret and clears the selection when 0 <= i <= length.
    void SetCaret(int i);
    // Removes up to n characters after the caret.
    void DeleteAtCaret(int n);
    // False when the text is full.
    bool InsertChar(int c);
    void Paste();

    // Whether the filter admits the character.
    static bool Accepts(int filter, int c);
    // The decimal value of a text: an optional '-', then digits up to the
    // first other character; capped at the int range.
    static int ParseInt(const char* text);

private:
    void FinishEdit(bool commit);
    void ResetBlink();
    // Measures where each character starts (text drawn at x 2); returns the
    // number of boundaries stored.
    int MeasureBoundaries(XGraphic& graphic);
    // The caret and selection from the mouse anchors.
    void ApplyAnchors();
    int BoundaryAt(int i) const;
    // Where character i starts (text drawn at x 2), measured past the
    // stored boundaries too.
    int TextX(XGraphic& graphic, int i) const;
    // Scrolls the text so the caret stays inside the field.
    void KeepCaretVisible(XGraphic& graphic);

    kiv::string m_hint;
    uint8_t m_commitOnLeave = 0;
    int32_t m_filter = 0;
    char m_text[xconst::kEditTextSize] = {};
    int32_t m_length = 0;
    int32_t m_anchorStart = -1;
    int32_t m_anchorNow = -1;
    uint8_t m_editing = 0;
    uint8_t m_upperCase = 0;
    int32_t m_caret = 0;
    uint8_t m_caretVisible = 0;
    int32_t m_blink = 0;
    int32_t m_selection = 0;
    int32_t m_bounds[xconst::kEditBoundaries] = {};
    int32_t m_boundCount = 0;
    int32_t m_scroll = 0;  // pixels of text scrolled out at the left while editing
    // Measures text for mouse selection between paints.
    std::unique_ptr<XGraphic> m_measure;
};
