#include "editor/XTabPorts.h"

#include "kiv/gui/XGraphic.h"
#include "kiv/gui/XInput.h"

namespace {
const XColourValue kLedOn = XColour::Make(20, 20, 60);
const XColourValue kLedOff = XColour::Make(200, 200, 210);
const XColourValue kDigitOn = XColour::Make(80, 255, 100);
const XColourValue kDigitOff = XColour::Make(140, 140, 140);
constexpr int kLedFromSlotEnd = 20;  // a LED starts this far before its slot's end
constexpr int kLedHitEnd = 4;        // and is pressed up to this far before it
constexpr int kLedTop = 4;
constexpr int kLedBottom = 17;
}  // namespace

XTabPorts::XTabPorts(XControl* parent, int x, int y, int w, int h) : XTabs(parent, x, y, w, h)
{
    for (bool& port : m_ports)
        port = true;
}

bool XTabPorts::IsPortOn(int port) const
{
    return port >= 0 && port < editor::kPortCount && m_ports[port];
}

void XTabPorts::SetPort(int port, bool on)
{
    if (port < 0 || port >= editor::kPortCount)
        return;
    m_ports[port] = on;
    Invalidate();
}

int XTabPorts::FindPortLed(int x, int y) const
{
    int slotW = GetWidth() / editor::kPortCount;
    if (slotW <= 0 || x < 0 || y < kLedTop || y > kLedBottom)
        return -1;
    int port = x / slotW;
    int inSlot = x % slotW;
    if (port >= editor::kPortCount)
        return -1;
    if (inSlot > slotW - kLedFromSlotEnd && inSlot < slotW - kLedHitEnd)
        return port;
    return -1;
}

bool XTabPorts::OnMouseDown(XMouse& mouse)
{
    int port = FindPortLed(mouse.LocalX(), mouse.LocalY());
    if (port < 0)
        return XTabs::OnMouseDown(mouse);
    m_ports[port] = !m_ports[port];
    Invalidate();
    XControl::Notify(editor::kCodeMidiPort, port);
    return false;
}

void XTabPorts::Draw(XGraphic& graphic)
{
    XTabs::Draw(graphic);
    int slotW = GetWidth() / editor::kPortCount;
    if (slotW <= 0)
        return;
    graphic.SetFontPreset(fourcc("xfsm"));
    for (int i = 0; i < editor::kPortCount; ++i) {
        int x = slotW * (i + 1) - kLedFromSlotEnd;
        bool on = m_ports[i];
        XColourValue led = on ? kLedOn : kLedOff;
        graphic.FillRectangleColour(XRectangle(x, 4, 12, 14), led);
        graphic.FillRectangleColour(XRectangle(x - 1, 5, 14, 12), led);
        char digit[2] = {static_cast<char>('1' + i), '\0'};
        graphic.SetTextColour(on ? kDigitOn : kDigitOff);
        graphic.DrawString(digit, x + 3, 6);
    }
}
