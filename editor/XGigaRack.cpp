#include "editor/XGigaRack.h"

#include "editor/XGigaView.h"
#include "engine/GigaDeck.h"
#include "engine/GigaTone.h"
#include "kiv/gui/XGraphic.h"
#include "kiv/gui/XInput.h"

using namespace partunit;

// --- XRackUnit ---

XRackUnit::XRackUnit(XControl* parent, int x, int y, int w, int h) : XControl(parent, x, y, w, h)
{
    m_open.Load("tog_open.png");
    m_close.Load("tog_close.png");
}

XGigaView* XRackUnit::GetUnit() const { return dynamic_cast<XGigaView*>(GetFirstChild()); }

void XRackUnit::OnChildResized()
{
    if (XControl* child = GetFirstChild())
        if (child->GetHeight() != GetHeight())
            SetSize(GetWidth(), child->GetHeight());
}

void XRackUnit::Draw(XGraphic& graphic)
{
    XGigaView* unit = GetUnit();
    const bool expanded = unit && unit->IsExpanded();
    const XPic& pic = expanded ? m_close : m_open;
    if (pic.IsLoaded()) {
        if (expanded)
            graphic.DrawPic(pic, 0, 5);
        else
            graphic.DrawPic(pic, 1, 6);
        return;
    }
    // Without the pictures: a small arrow, down when open, right when closed.
    graphic.SetPen(XColour::Make(160, 170, 190));
    if (expanded)
        for (int i = 0; i < 4; ++i)
            graphic.DrawLine(2 + i, 8 + i, 10 - i, 8 + i);
    else
        for (int i = 0; i < 4; ++i)
            graphic.DrawLine(4 + i, 7 + i, 4 + i, 15 - i);
}

bool XRackUnit::OnMouseDown(XMouse& mouse)
{
    const int x = mouse.LocalX();
    const int y = mouse.LocalY();
    XGigaView* unit = GetUnit();
    if (!unit || x > 12 || y < 3 || y > 18)
        return false;
    unit->SetExpanded(!unit->IsExpanded());
    Invalidate();
    if (auto* rack = dynamic_cast<XGigaRack*>(GetParent()))
        rack->StackUnits();
    return true;
}

// --- XGigaRack ---

XGigaRack::XGigaRack(XControl* parent, int x, int y, int w, int h) : XScrollView(parent, x, y, w, h)
{
    SetColour(0, XColour::Make(0, 0, 0));
    SetScrollBars(false, true);
    if (m_port)
        m_port->SetVisible(false);
    else
        SetVisible(false);
}

void XGigaRack::Populate(GigaDeck* player, OvEditor* editor)
{
    m_player = player;
    if (!player)
        return;
    const int tones = player->GetToneCount();
    for (int i = 0; i < tones && m_count < kMaxUnits; ++i) {
        GigaTone* tone = player->GetGigaTone(i);
        if (!tone)
            continue;
        auto* slot = new XRackUnit(this, 0, kRackSlotPitch * m_count + 1, GetWidth(), kTopHeight);
        auto* unit = new XGigaView(editor, tone, i);
        slot->AddChild(unit, kUnitX, 0, kTopWidth, kTopHeight);
        unit->SetListener(this);
        m_slots[m_count] = slot;
        m_units[m_count] = unit;
        ++m_count;
    }
    StackUnits();
}

void XGigaRack::StackUnits()
{
    int y = 1;
    for (int i = 0; i < m_count; ++i) {
        m_slots[i]->SetPosition(0, y);
        y += m_slots[i]->GetHeight() + 1;
    }
    SetSize(GetWidth(), y);
    if (m_port)
        m_port->UpdateLayout();
    RequestFullRedraw();
    Invalidate();
}

void XGigaRack::Poll()
{
    for (int i = 0; i < m_count; ++i)
        m_units[i]->Poll();
}

XGigaView* XGigaRack::GetUnit(int index) const
{
    return index >= 0 && index < m_count ? m_units[index] : nullptr;
}

OvGroupMember* XGigaRack::GetMember(int index) { return GetUnit(index); }

void XGigaRack::SelectUnit(XGigaView* unit)
{
    for (int i = 0; i < m_count; ++i)
        if (m_units[i] == unit) {
            SelectUnit(i);
            return;
        }
}

void XGigaRack::SelectUnit(int index)
{
    if (index < 0 || index >= m_count)
        return;
    if (XGigaView* previous = GetUnit(m_selected))
        previous->Select(false);
    m_units[index]->Select(true);
    m_selected = index;
}

XGigaView* XGigaRack::GetSelectedUnit() const { return GetUnit(m_selected); }

GigaTone* XGigaRack::GetSelectedTone() const
{
    XGigaView* unit = GetSelectedUnit();
    return unit ? unit->GetGigaTone() : nullptr;
}

bool XGigaRack::LoadIntoRack(const char* path, int index)
{
    XGigaView* selected = GetSelectedUnit();
    if (selected && selected->GetGigaTone() && selected->GetGigaTone()->IsStacked())
        return selected->LoadIntoUnit(path, index);
    for (int i = 0; i < m_count; ++i) {
        GigaTone* tone = m_units[i]->GetGigaTone();
        if (tone && tone->IsEmpty())
            return m_units[i]->LoadIntoUnit(path, index);
    }
    return false;
}

void XGigaRack::ExpandAll(bool expand)
{
    for (int i = 0; i < m_count; ++i) {
        GigaTone* tone = m_units[i]->GetGigaTone();
        if (!expand || (tone && !tone->IsEmpty()))
            m_units[i]->SetExpanded(expand);
    }
    StackUnits();
}

void XGigaRack::RefreshLoadedUnits()
{
    for (int i = 0; i < m_count; ++i) {
        GigaTone* tone = m_units[i]->GetGigaTone();
        if (tone && tone->GetState() == giga::kToneLoaded)
            m_units[i]->Refresh();
    }
}

int XGigaRack::Notify(XControl* sender, int code, int value)
{
    if (code == kCodeMute || code == kCodeSolo) {
        ApplyRequests();
        return 0;
    }
    if (code == kCodeSize) {
        StackUnits();
        return 0;
    }
    NotifyFrom(sender, code, value);
    return 0;
}
