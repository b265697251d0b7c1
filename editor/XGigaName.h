// Selector boxes of the part unit: the instrument name with its load
// progress (XGigaName), the output pair box (XSelectLcd) and the tuning mode
// box (XSelFader). A press opens the owner's menu (the base XSelect tells the
// listener), except XSelFader, which offers its own two-item menu.
//
// Threads: GUI thread, except XGigaName's SetProgress, ShowStatus and
// SetNameColour, which the loader and audio threads call from a tone's
// notifications: they only store atomics and mark the box for repainting.
#pragma once
#include <atomic>
#include <string>

#include "editor/EditorConst.h"
#include "kiv/gui/XSelect.h"

class XGigaName : public XSelect {
public:
    XGigaName(XControl* parent, int x, int y, int w, int h);

    void Draw(XGraphic& graphic) override;
    // Tells the listener 'brow'.
    bool OnDoubleClick(int x, int y) override;
    void OnTextChanged() override;

    // Percent, clamped to 100; below 0 means no progress bar. Repaints only
    // when the shown value changes. Any thread.
    void SetProgress(int percent);
    int GetProgress() const { return m_progress.load(std::memory_order_relaxed); }
    // Shows `text` (a string that lives for the whole process, such as a
    // literal) in place of the name; null shows the name again. Any thread.
    void ShowStatus(const char* text);
    const char* GetStatus() const { return m_status.load(std::memory_order_acquire); }
    // The name's colour (0: colour slot 2). Any thread.
    void SetNameColour(XColourValue colour);
    XColourValue GetNameColour() const;
    // True when the text is longer than 20 characters.
    bool IsLongName() const { return m_longName; }
    // What went wrong with the instrument's load, named in full (empty:
    // nothing): the box shows it in place of the name while the pointer is
    // over it. GUI thread.
    void SetNote(const std::string& note);
    const std::string& GetNote() const { return m_note; }
    bool OnMouseEnter() override;
    void OnMouseLeave() override;
    // The text the box shows: the status, else the note under the pointer,
    // else the name (null when none).
    const char* GetShownText() const;

private:
    std::atomic<int> m_progress{editor::kNoProgress};
    std::atomic<const char*> m_status{nullptr};
    std::atomic<XColourValue> m_nameColour{0};
    bool m_longName = false;
    void DrawNote(XGraphic& graphic, int w, int h);

    std::string m_note;
    bool m_hovered = false;
};

// A text centred in the box (less the arrow) in colour slot 2.
class XSelectLcd : public XSelect {
public:
    XSelectLcd(XControl* parent, int x, int y, int w, int h);
    void Draw(XGraphic& graphic) override;
};

// The tuning mode: 0 fine ("F.Tun"), 1 coarse ("C.Tun"). A press offers
// "Fine tuning" and "Coarse tuning"; a choice tells the listener (0, mode).
class XSelFader : public XSelect {
public:
    static constexpr int kFine = 0;
    static constexpr int kCoarse = 1;

    XSelFader(XControl* parent, int x, int y, int w, int h);
    void Draw(XGraphic& graphic) override;
    bool OpenChoice() override;

    // Stores the mode and repaints; no notification.
    void SetMode(int mode);
    int GetMode() const { return m_mode; }
    // A choice from the menu: stores it and tells the listener.
    void ChooseMode(int mode);

private:
    int m_mode = kFine;
};

// The selector arrow at the right edge of a box `width` x `height`, shared by
// the name and output boxes.
void DrawSelectorArrow(XGraphic& graphic, int width, int height);
// A load note drawn whole within box (font size 10 in `style`, smaller for a
// longer note, its middle cut at the smallest), in the current text colour;
// shared by the name box and the stacked view's layer rows.
void DrawNoteText(XGraphic& graphic, const std::string& note, const XRectangle& box, uint32_t style);
