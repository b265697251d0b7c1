// The stacked-instrument view: the bottom panel of a part unit whose tone
// layers several instruments. A header chooses the stack mode (how a note
// picks its layers) with its controller or key-switch range; one 22-pixel
// row per layer shows one of four pages: "mix" (name, output pair, mute,
// volume, tuning, pan), "vca" (amplitude envelope), "vcf" (filter) and
// "map" (XStackMap: the layers' key ranges on a keyboard scale, moved,
// resized and reordered by dragging). Edits go straight into the tone's
// parts; the view tells its listener 'Load' when a layer's instrument
// changed and 'keyb' when key ranges or switches changed.
//
// The reset modifier is the mouse record's control flag, the fine modifier
// its shift flag. GUI thread only.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "editor/PartUnitConst.h"
#include "engine/GigaTone.h"
#include "kiv/gui/HLabel.h"
#include "kiv/gui/XControl.h"
#include "kiv/gui/XFileNav.h"
#include "kiv/gui/XListener.h"
#include "kiv/gui/XPic.h"
#include "kiv/gui/XToggle.h"

class GigaPart;
class XRadioGroup;

// A header box: a text and a small circle; a press tells the listener (0, 0).
class XSelStack : public XControl, public HLabel {
public:
    XSelStack(XControl* parent, int x, int y, int w, int h);
    void Draw(XGraphic& graphic) override;
    bool OnMouseDown(XMouse& mouse) override;
    void OnTextChanged() override { Invalidate(); }
};

// The part unit's stack toggle: a box with three lines, green when on.
class XTogStack : public XToggle {
public:
    XTogStack(XControl* parent, int x, int y, int w, int h);
    void Draw(XGraphic& graphic) override;
};

// The "map" page.
class XStackMap : public XControl {
public:
    static constexpr int kEdgeLeft = -1;
    static constexpr int kEdgeWhole = 0;
    static constexpr int kEdgeRight = 1;
    static constexpr int kMapRows = 24;  // a tone's most parts

    XStackMap(XControl* parent, int x, int y, int w, int h);

    void Draw(XGraphic& graphic) override;
    bool OnMouseDown(XMouse& mouse) override;
    void OnMouseDrag(XMouse& mouse) override;
    void OnMouseUp(XMouse& mouse) override;

    void Fill(GigaTone* tone);
    // Both pixel edges of row i from its layer, then tells the tone that
    // the key ranges changed.
    void Recompute(int row);

    int GetRow() const { return m_row; }
    int GetEdge() const { return m_edge; }
    int GetLeftEdge(int row) const;
    int GetRightEdge(int row) const;

    // The keyboard scale: 15 pixels a white key, 105 an octave.
    static int KeyLeft(int key);
    static int KeyRight(int key);
    // The key under pixel x (black keys take the 7 pixels around the
    // boundary of their white neighbours), clamped to 0..127.
    static int KeyAt(int x);

private:
    void ComputeEdges(int row);

    // The tone's parts lock (none without a tone): held while parts are read
    // or edited, so a loader pass cannot delete one meanwhile.
    GigaTone::PartsLock LockParts() const { return m_tone ? m_tone->LockParts() : GigaTone::PartsLock(); }
    GigaTone* m_tone = nullptr;
    int m_left[kMapRows] = {};
    int m_right[kMapRows] = {};
    int m_row = -1;
    int m_edge = kEdgeWhole;
    int m_startValue = 0;  // offset, low + offset or high + offset at the press
    int m_startKey = 0;    // the key under the pointer at the press
    int m_pressY = 0;
    bool m_fine = false;
};

class XGigaViewStack : public XControl, public XListener {
public:
    enum Page { kPageMix = 0, kPageVca, kPageVcf, kPageMap };
    // Columns of the "mix" page.
    enum Column { kColName = 0, kColOutput, kColMute, kColVolume, kColTuning, kColPan, kColumnCount };
    struct ColumnSpan {
        int x;
        int width;
    };

    XGigaViewStack(XControl* parent, int x, int y, int w, int h);

    void Draw(XGraphic& graphic) override;
    bool OnMouseDown(XMouse& mouse) override;
    void OnMouseDrag(XMouse& mouse) override;
    void OnMouseUp(XMouse& mouse) override;
    bool OnMouseEnter() override;
    void OnMouseHover(int x, int y) override;
    void OnMouseLeave() override;
    int Notify(XControl* sender, int code, int value) override;
    using XControl::Notify;

    // Stores the tone, fills the key map and sets the header.
    void Fill(GigaTone* tone);
    GigaTone* GetTone() const { return m_tone; }
    // The header from the tone's stack mode.
    void SetHeader();

    void SetPage(int page);
    int GetPage() const { return m_page; }

    // The header menus' choices.
    void ChooseStackMode(int mode);
    void ChooseController(int controller);
    // False when the tone refused the range.
    bool ChooseKeySwitchStart(int start);
    // The starts the key-switch menu offers (at most `max`); their count.
    int CollectKeySwitchStarts(int* starts, int max) const;

    // The layer menu's choices: menu id 0 is the menu's own items (a file
    // dialog or unloading), n the bank paths[n - 1].
    void ChooseLayerMenuItem(int row, int id, int value, const std::vector<std::string>& paths);
    void ChooseLayerInstrument(int row, const char* path, int index);
    void UnloadLayer(int row);
    // The output pair chosen for a layer on the "mix" page.
    void ChooseLayerOutput(int row, int pair);

    const char* GetStackModeText() const;
    const char* GetControllerText() const;
    const char* GetKeySwitchText() const;
    bool IsControllerBoxShown() const;
    bool IsKeySwitchBoxShown() const;
    XStackMap* GetMap() const { return m_map; }
    int GetDragRow() const { return m_dragRow; }
    int GetDragColumn() const { return m_dragColumn; }
    static const ColumnSpan kColumns[kColumnCount];

    // Texts: " 1: Modwheel" .. or "CC%d"; "C3  D#3" for a key range.
    static void ControllerName(int controller, char* out, int size);
    static void FormatKeyRange(int low, int high, char* out, int size);
    static const char* StackModeName(int mode);

    // The row under y (-1 none): rows from y 24, 18 of every 22 pixels.
    static int RowAt(int y);

private:
    void DrawRow(XGraphic& graphic, int row);
    void DrawNameCell(XGraphic& graphic, GigaPart* part, int row, int y);
    void DrawBar(XGraphic& graphic, int x, int y, double fraction, const char* text, bool dragged);
    void OpenStackModeMenu();
    void OpenControllerMenu();
    void OpenKeySwitchMenu();
    void OpenLayerMenu(int row, int x, int y);
    void OpenOutputMenu(int row, int x, int y);

    std::unique_ptr<XFileNav> m_nav;  // the file dialog, kept until it answers
    // A drag's value 0..1 of a row's column or bar, and writing it back.
    double GetDragValue(GigaPart* part, int column) const;
    void SetDragValue(GigaPart* part, int column, double value);
    void ResetBar(GigaPart* part, int column);
    GigaPart* GetPart(int row) const;
    void TellLoad();

    // The tone's parts lock (none without a tone): held while parts are read
    // or edited, so a loader pass cannot delete one meanwhile.
    GigaTone::PartsLock LockParts() const { return m_tone ? m_tone->LockParts() : GigaTone::PartsLock(); }
    GigaTone* m_tone = nullptr;
    XRadioGroup* m_pages = nullptr;
    XSelStack* m_modeBox = nullptr;
    XSelStack* m_controllerBox = nullptr;
    XSelStack* m_keySwitchBox = nullptr;
    XStackMap* m_map = nullptr;
    XPic m_handle;  // "fad_cur.png"
    int m_page = kPageMix;
    int m_dragRow = -1;
    int m_dragColumn = -1;  // "mix": a column; "vca"/"vcf": 10 + bar
    int m_noteRow = -1;     // the row whose name cell is under the pointer
    bool m_fineDrag = false;
    double m_dragStart = 0.0;
};
