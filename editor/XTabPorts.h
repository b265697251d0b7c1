// XTabPorts: the editor's port tabs (one per player) with eight MIDI port
// LEDs. A press on a LED flips that port and tells the listener 'midi' with
// the port's index; other presses select tabs as usual. GUI thread.
#pragma once
#include "editor/EditorConst.h"
#include "kiv/gui/XTabs.h"

class XTabPorts : public XTabs {
public:
    XTabPorts(XControl* parent, int x, int y, int w, int h);

    void Draw(XGraphic& graphic) override;
    bool OnMouseDown(XMouse& mouse) override;

    // All ports start on. Indices outside 0..7 are ignored (off).
    bool IsPortOn(int port) const;
    void SetPort(int port, bool on);
    // The port whose LED lies under (x, y), or -1.
    int FindPortLed(int x, int y) const;

private:
    bool m_ports[editor::kPortCount];
};
