// The rack: the part units of one player stacked in a vertical scroll view.
// Each unit sits in a rack slot (XRackUnit) whose left edge carries the
// open/close arrow of the unit's bottom panel. The rack is the units' mute
// and solo group and passes their other notifications to its listener (the
// editor).
//
// Threads: GUI thread only. Poll must run on every tick of the editor (its
// OnIdle): it carries out what the tones' notifications left for the GUI
// thread (a refresh after a load, 'keyb', controller moves).
#pragma once
#include "editor/PartUnitConst.h"
#include "engine/OvGroup.h"
#include "kiv/gui/XListener.h"
#include "kiv/gui/XPic.h"
#include "kiv/gui/XViewPort.h"

class GigaDeck;
class GigaTone;
class OvEditor;
class XGigaView;

class XRackUnit : public XControl {
public:
    XRackUnit(XControl* parent, int x, int y, int w, int h);
    void Draw(XGraphic& graphic) override;
    bool OnMouseDown(XMouse& mouse) override;
    // Takes the unit's height.
    void OnChildResized() override;
    XGigaView* GetUnit() const;

private:
    XPic m_open;   // "tog_open.png"
    XPic m_close;  // "tog_close.png"
};

class XGigaRack : public XScrollView, public XListener, public OvGroup {
public:
    XGigaRack(XControl* parent, int x, int y, int w, int h);

    // One unit per tone of the player, then stacks them.
    void Populate(GigaDeck* player, OvEditor* editor);
    // Places the slots one below the other; the content takes their height.
    void StackUnits();
    // Tick work of every unit (see above).
    void Poll();

    void SelectUnit(XGigaView* unit);
    void SelectUnit(int index);
    XGigaView* GetSelectedUnit() const;
    int GetSelectedIndex() const { return m_selected; }
    GigaTone* GetSelectedTone() const;
    // The selected unit's tone when it is stacked, else the first unit whose
    // tone is empty; false when no unit takes it.
    bool LoadIntoRack(const char* path, int index);
    void ExpandAll(bool expand);
    void RefreshLoadedUnits();

    GigaDeck* GetPlayer() const { return m_player; }
    int GetUnitCount() const { return m_count; }
    XGigaView* GetUnit(int index) const;

    int Notify(XControl* sender, int code, int value) override;
    using XControl::Notify;

    // OvGroup
    int GetMemberCount() override { return m_count; }
    OvGroupMember* GetMember(int index) override;

private:
    GigaDeck* m_player = nullptr;
    int m_count = 0;
    XGigaView* m_units[partunit::kMaxUnits] = {};
    XRackUnit* m_slots[partunit::kMaxUnits] = {};
    int m_selected = -1;
};
