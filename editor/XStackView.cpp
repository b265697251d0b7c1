#include "editor/XStackView.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "editor/XDimList.h"
#include "editor/XGigaName.h"
#include "engine/GigaBank.h"
#include "engine/GigaPart.h"
#include "engine/GigaProgram.h"
#include "engine/GigaTone.h"
#include "engine/OvConstants.h"
#include "engine/OvPlayer.h"
#include "kiv/gui/NoteNames.h"
#include "kiv/gui/XFileNav.h"
#include "kiv/gui/XGraphic.h"
#include "kiv/gui/XInput.h"
#include "kiv/gui/XMenu.h"

using namespace partunit;

// Shared with the part unit (XGigaView.cpp).
bool PartFilterForced(const GigaPart& part);
void AddBankMenus(GigaTone* tone, XMenu& menu, std::vector<std::string>& paths);
std::string PartNote(const GigaPart& part);

namespace {

constexpr XColourValue kLabel = XColour::Make(220, 220, 220);
constexpr XColourValue kPageFace = XColour::Make(30, 36, 48);     // page selector, off
constexpr XColourValue kPageFaceOn = XColour::Make(50, 70, 130);  // page selector, on
constexpr XColourValue kPageFrame = XColour::Make(90, 100, 130);
constexpr int kBarWidth = 80;
constexpr int kBarPitch = 123;
constexpr int kBarX = 250;
constexpr int kBarColumn = 10;  // drag columns of the "vca"/"vcf" bars: 10 + bar
constexpr int kLayerMenuWidth = 40;

const int kWhiteKeys[7] = {0, 2, 4, 5, 7, 9, 11};

bool IsWhite(int key)
{
    const int k = ((key % 12) + 12) % 12;
    return k != 1 && k != 3 && k != 6 && k != 8 && k != 10;
}

int WhitesBelow(int key)
{
    const int k = ((key % 12) + 12) % 12;
    int n = 0;
    for (int w : kWhiteKeys)
        if (w < k)
            ++n;
    return n;
}

// A bar's value block and index ("vca": bars 0..4, "vcf": bars 1..4).
struct BarRef {
    OvRelaxed<float>* offset;
    float base;
    double scale;  // 1 for 0..1 values, 10 for 0..10
};

BarRef BarOf(GigaPart& part, int page, int bar)
{
    if (page == XGigaViewStack::kPageVca) {
        static const int kSlots[5] = {GigaPart::kVelocity, GigaPart::kAttack, GigaPart::kDecay, GigaPart::kSustain,
                                      GigaPart::kRelease};
        static const double kScales[5] = {1, 10, 10, 1, 10};
        const int s = kSlots[bar];
        return {&part.ampSettings[s], part.ampAverage[s], kScales[bar]};
    }
    static const int kSlots[5] = {0, GigaPart::kLevel, GigaPart::kVelocity, GigaPart::kAttack, GigaPart::kRelease};
    static const double kScales[5] = {1, 1, 1, 10, 10};
    const int s = kSlots[bar];
    return {&part.filterSettings[s], part.filterAverage[s], kScales[bar]};
}

}  // namespace

// --- XSelStack ---

XSelStack::XSelStack(XControl* parent, int x, int y, int w, int h) : XControl(parent, x, y, w, h) {}

void XSelStack::Draw(XGraphic& graphic)
{
    const int w = GetWidth();
    const int h = GetHeight();
    graphic.FillRectangleColour(XRectangle(0, 0, w, h), XColour::Make(6, 48, 72));
    graphic.SetBrush(XColour::Make(40, 90, 130));
    graphic.FillEllipse(w - 11, (h - 8) / 2, 8, 8);
    if (const char* text = GetText()) {
        graphic.SetFont(10, 0);
        graphic.SetTextColour(XColour::Make(200, 220, 250));
        graphic.DrawString(text, 6, 3);
    }
}

bool XSelStack::OnMouseDown(XMouse& mouse)
{
    (void)mouse;
    XControl::Notify(0, 0);
    return true;
}

// --- XTogStack ---

XTogStack::XTogStack(XControl* parent, int x, int y, int w, int h) : XToggle(parent, x, y, w, h) {}

void XTogStack::Draw(XGraphic& graphic)
{
    const int w = GetWidth();
    const int h = GetHeight();
    graphic.FillRectangleColour(XRectangle(0, 0, w, h), XColour::Make(20, 50, 100));
    graphic.SetPen(GetState() ? XColour::Make(80, 255, 80) : XColour::Make(40, 100, 40));
    for (int y : {4, 7, 10})
        graphic.DrawLine(4, y, w - 5, y);
    graphic.SetPen(XColour::Make(30, 30, 30));
    graphic.DrawFrame(0, 0, w, h);
}

// --- XStackMap ---

XStackMap::XStackMap(XControl* parent, int x, int y, int w, int h) : XControl(parent, x, y, w, h)
{
    // Ranges reach past the scale's ends (key 0 starts left of it, key 127
    // ends right of it): drawing stays inside the map.
    SetClips(true);
}

int XStackMap::KeyLeft(int key) { return (key / 12) * 105 - 114 + 15 * WhitesBelow(key); }

int XStackMap::KeyRight(int key) { return (key / 12) * 105 - 99 + 15 * WhitesBelow(key); }

int XStackMap::KeyAt(int x)
{
    const int pos = x + 114;
    const int octave = pos >= 0 ? pos / 105 : -((-pos + 104) / 105);
    const int inOctave = pos - octave * 105;
    const int white = std::min(inOctave / 15, 6);
    int key = octave * 12 + kWhiteKeys[white];
    const int within = inOctave - white * 15;
    // Black keys take the 7 pixels around the boundary of their white neighbours.
    if (within < 4 && key > 0 && !IsWhite(key - 1))
        key -= 1;
    else if (within >= 12 && !IsWhite(key + 1))
        key += 1;
    return std::clamp(key, 0, 127);
}

void XStackMap::Fill(GigaTone* tone)
{
    m_tone = tone;
    m_row = -1;
    if (!tone)
        return;
    GigaTone::PartsLock lock = tone->LockParts();
    for (int i = 0; i < std::min(tone->GetPartCount(), kMapRows); ++i)
        ComputeEdges(i);
    Invalidate();
}

void XStackMap::ComputeEdges(int row)
{
    GigaTone::PartsLock lock = LockParts();
    GigaPart* part = m_tone ? m_tone->GetPart(row) : nullptr;
    if (!part || row < 0 || row >= kMapRows)
        return;
    m_left[row] = KeyLeft(std::clamp(part->keyLow + part->keyOffset, 0, 127));
    m_right[row] = KeyRight(std::clamp(part->keyHigh + part->keyOffset, 0, 127));
}

void XStackMap::Recompute(int row)
{
    ComputeEdges(row);
    if (m_tone)
        m_tone->Notify(kOvNotifyKeys, 0);
    Invalidate();
}

int XStackMap::GetLeftEdge(int row) const { return row >= 0 && row < kMapRows ? m_left[row] : 0; }
int XStackMap::GetRightEdge(int row) const { return row >= 0 && row < kMapRows ? m_right[row] : 0; }

void XStackMap::Draw(XGraphic& graphic)
{
    const int w = GetWidth();
    const int h = GetHeight();
    graphic.FillRectangleColour(XRectangle(0, 0, w, h), XColour::Make(0, 0, 30));
    for (int x = 81; x < w; x += 210)
        graphic.FillRectangleColour(XRectangle(x, 0, 105, h), XColour::Make(40, 40, 60));
    graphic.SetPen(XColour::Make(60, 60, 100));
    for (int x = 6; x < w; x += 15)
        graphic.DrawLine(x, 0, x, h - 1);
    for (int y = 22; y < h; y += 22)
        graphic.DrawLine(0, y, w - 1, y);
    GigaTone::PartsLock lock = LockParts();
    const int parts = m_tone ? std::min(m_tone->GetPartCount(), kMapRows) : 0;
    graphic.SetFontPreset(fourcc("xfsm"));
    for (int i = 0; i < parts; ++i) {
        GigaPart* part = m_tone->GetPart(i);
        if (!part || part->GetState() != giga::kPartLoaded)
            continue;
        const XRect box(m_left[i], 1 + 22 * i, m_right[i], 1 + 22 * i + 19);
        graphic.GradientRect(box, XColour::Make(70, 80, 140), XColour::Make(20, 40, 80));
        graphic.SetPen(i == m_row ? XColour::Make(255, 220, 80) : XColour::Make(120, 120, 150));
        graphic.DrawFrame(box.left, box.top, box.right - box.left + 1, 20);
        graphic.SetTextColour(XColour::Make(255, 255, 255));
        if (const char* name = part->GetProgramName())
            graphic.DrawString(name, std::max(box.left, 0) + 4, box.top + 4);
        if (i == m_row) {
            char text[16];
            std::snprintf(text, sizeof text, "%+d", part->keyOffset.Load());
            graphic.SetTextColour(XColour::Make(255, 220, 100));
            graphic.DrawString(text, box.right + 4, box.top + 4);
        }
    }
    graphic.SetPen(XColour::Make(100, 100, 140));
    graphic.DrawFrame(0, 0, w, h);
}

bool XStackMap::OnMouseDown(XMouse& mouse)
{
    const int x = mouse.LocalX();
    const int y = mouse.LocalY();
    const int row = (y - 2) / 22;
    GigaTone::PartsLock lock = LockParts();
    GigaPart* part = m_tone && y >= 2 && row < std::min(m_tone->GetPartCount(), kMapRows) ? m_tone->GetPart(row) : nullptr;
    if (!part || x < m_left[row] || x > m_right[row]) {
        m_row = -1;
        Invalidate();
        XControl::Notify(0, -1);
        return true;
    }
    m_row = row;
    m_pressY = y;
    m_tone->SetModified(true);  // the range is moved, resized or reset
    m_fine = mouse.shift != 0;
    if (x <= m_left[row] + 8) {
        m_edge = kEdgeLeft;
        m_startValue = part->keyLow + part->keyOffset;
    } else if (x >= m_right[row] - 8) {
        m_edge = kEdgeRight;
        m_startValue = part->keyHigh + part->keyOffset;
    } else {
        m_edge = kEdgeWhole;
        m_startValue = part->keyOffset;
    }
    m_startKey = KeyAt(x);
    if (mouse.control) {
        part->keyOffset = 0;
        if (GigaProgram* program = part->GetProgram()) {
            part->keyLow = program->lowestKey;
            part->keyHigh = program->highestKey;
        }
        Recompute(row);
    }
    Invalidate();
    XControl::Notify(0, row);
    return true;
}

void XStackMap::OnMouseDrag(XMouse& mouse)
{
    if (m_row < 0 || !m_tone)
        return;
    GigaTone::PartsLock lock = LockParts();
    GigaPart* part = m_tone->GetPart(m_row);
    if (!part)
        return;
    const int key = KeyAt(mouse.LocalX());
    const int moved = key - m_startKey;
    bool changed = false;
    if (m_edge == kEdgeWhole) {
        int offset = m_startValue + moved;
        offset = std::max(offset, -part->keyLow);
        offset = std::min(offset, 127 - part->keyHigh);
        if (!m_fine)
            offset = (offset / 12) * 12;  // whole octaves, toward zero
        if (offset != part->keyOffset) {
            part->keyOffset = offset;
            changed = true;
        }
        // Rows moved vertically reorder the layers; the drag follows the layer.
        const int rows = (mouse.LocalY() - m_pressY) / 22;
        if (rows != 0) {
            const int to = std::clamp(m_row + rows, 0, std::min(m_tone->GetPartCount(), kMapRows) - 1);
            if (to != m_row && m_tone->MovePart(m_row, to)) {
                const int from = m_row;
                m_pressY += (to - from) * 22;
                m_row = to;
                for (int r = std::min(from, to); r <= std::max(from, to); ++r)
                    ComputeEdges(r);
                Recompute(to);
                XControl::Notify(0, m_row);
                return;
            }
        }
    } else if (m_edge == kEdgeLeft) {
        const int low = std::clamp(m_startValue + moved - part->keyOffset, 0, part->keyHigh - 1);
        if (low != part->keyLow) {
            part->keyLow = low;
            changed = true;
        }
    } else {
        const int high = std::clamp(m_startValue + moved - part->keyOffset, part->keyLow + 1, 127);
        if (high != part->keyHigh) {
            part->keyHigh = high;
            changed = true;
        }
    }
    if (changed) {
        Recompute(m_row);
        XControl::Notify(0, m_row);
    }
}

void XStackMap::OnMouseUp(XMouse& mouse)
{
    (void)mouse;
    Invalidate();
}

// --- XGigaViewStack ---

const XGigaViewStack::ColumnSpan XGigaViewStack::kColumns[kColumnCount] = {
    {10, 200}, {216, 54}, {278, 16}, {344, 76}, {520, 76}, {696, 76},
};

XGigaViewStack::XGigaViewStack(XControl* parent, int x, int y, int w, int h) : XControl(parent, x, y, w, h)
{
    SetColour(0, XColour::Make(54, 63, 77));
    m_modeBox = new XSelStack(this, 272, 4, 110, 14);
    m_modeBox->SetText("Play all parts");
    m_modeBox->SetListener(this);
    m_controllerBox = new XSelStack(this, 530, 4, 130, 14);
    m_controllerBox->SetVisible(false);
    m_controllerBox->SetListener(this);
    m_keySwitchBox = new XSelStack(this, 530, 4, 120, 14);
    m_keySwitchBox->SetVisible(false);
    m_keySwitchBox->SetListener(this);
    m_pages = new XRadioGroup(this, 10, 3, 145, 16);
    m_pages->SetColour(0, XColour::Make(40, 40, 40));
    static const char* kPageNames[4] = {"mix", "vca", "vcf", "map"};
    for (int i = 0; i < 4; ++i) {
        XToggle* option = m_pages->AddOption(1 + 36 * i, 0, 35, 16, kPageNames[i]);
        // Dark faces: the light-blue captions must stand out from them.
        option->SetColour(0, kPageFace);
        option->SetColour(1, kPageFaceOn);
        option->SetColour(3, kPageFrame);
        option->SetColour(2, XColour::Make(170, 180, 255));
    }
    m_pages->SetListener(this);
    m_map = new XStackMap(this, 2, 21, w - 4, 47);
    m_map->SetResizeMode(true, true, false, false);
    m_map->SetVisible(false);
    m_map->SetListener(this);
    m_handle.Load("fad_cur.png");
}

GigaPart* XGigaViewStack::GetPart(int row) const
{
    return m_tone && row >= 0 && row < m_tone->GetPartCount() ? m_tone->GetPart(row) : nullptr;
}

void XGigaViewStack::Fill(GigaTone* tone)
{
    m_tone = tone;
    m_dragRow = -1;
    m_dragColumn = -1;
    m_map->Fill(tone);
    SetHeader();
    // A layer whose load left something out names it under the pointer.
    GigaTone::PartsLock lock = LockParts();
    for (int i = 0; tone && i < tone->GetPartCount(); ++i)
        if (!PartNote(*tone->GetPart(i)).empty())
            StartMouseTracking();
    Invalidate();
}

bool XGigaViewStack::OnMouseEnter()
{
    return true;  // the row under the pointer
}

void XGigaViewStack::OnMouseHover(int x, int y)
{
    const ColumnSpan& name = kColumns[kColName];
    const int row = m_page != kPageMap && x >= name.x && x < name.x + name.width ? RowAt(y) : -1;
    if (row != m_noteRow) {
        m_noteRow = row;
        Invalidate();
    }
}

void XGigaViewStack::OnMouseLeave()
{
    if (m_noteRow >= 0) {
        m_noteRow = -1;
        Invalidate();
    }
}

const char* XGigaViewStack::StackModeName(int mode)
{
    if (mode >= 1 && mode <= 127)
        return "Control Change";
    switch (mode) {
    case kModeVelocity: return "Velocity";
    case kModeKeySwitch: return "Key Switch";
    case kModeRoundRobin: return "Round Robin";
    case kModeRandom: return "Random";
    case kModeProgram: return "Program Change";
    default: return "Play all parts";
    }
}

void XGigaViewStack::ControllerName(int controller, char* out, int size)
{
    const char* name = nullptr;
    switch (controller) {
    case 1: name = " 1: Modwheel"; break;
    case 2: name = " 2: Breath Control"; break;
    case 12: name = "12: Effect Control 1"; break;
    case 13: name = "13: Effect Control 2"; break;
    case 16: name = "16: General Purpose 1"; break;
    case 17: name = "17: General Purpose 2"; break;
    case 18: name = "18: General Purpose 3"; break;
    case 19: name = "19: General Purpose 4"; break;
    default: break;
    }
    if (name)
        std::snprintf(out, size, "%s", name);
    else
        std::snprintf(out, size, "CC%d", controller);
}

void XGigaViewStack::FormatKeyRange(int low, int high, char* out, int size)
{
    low = std::clamp(low, 0, 127);
    high = std::clamp(high, 0, 127);
    std::snprintf(out, size, "%s%d  %s%d", kiv::kNoteNames[low % 12], low / 12 - 2, kiv::kNoteNames[high % 12], high / 12 - 2);
}

void XGigaViewStack::SetHeader()
{
    if (!m_tone)
        return;
    const int mode = m_tone->GetStackMode();
    m_modeBox->SetText(StackModeName(mode));
    m_controllerBox->SetVisible(false);
    m_keySwitchBox->SetVisible(false);
    char text[32];
    if (mode >= 1 && mode <= 127) {
        ControllerName(mode, text, sizeof text);
        m_controllerBox->SetText(text);
        m_controllerBox->SetVisible(true);
    } else if (mode == kModeKeySwitch) {
        if (m_tone->GetKeySwitchHigh() == 0) {
            int start = m_tone->GetLowestKey() - m_tone->GetPartCount();
            if (start < 0)
                start = m_tone->GetHighestKey() + 1;
            m_tone->PlaceKeySwitches(start);
        }
        FormatKeyRange(m_tone->GetKeySwitchLow(), m_tone->GetKeySwitchHigh(), text, sizeof text);
        m_keySwitchBox->SetText(text);
        m_keySwitchBox->SetVisible(true);
    }
    Invalidate();
}

const char* XGigaViewStack::GetStackModeText() const
{
    const char* t = m_modeBox->GetText();
    return t ? t : "";
}
const char* XGigaViewStack::GetControllerText() const
{
    const char* t = m_controllerBox->GetText();
    return t ? t : "";
}
const char* XGigaViewStack::GetKeySwitchText() const
{
    const char* t = m_keySwitchBox->GetText();
    return t ? t : "";
}
bool XGigaViewStack::IsControllerBoxShown() const { return m_controllerBox->IsVisible(); }
bool XGigaViewStack::IsKeySwitchBoxShown() const { return m_keySwitchBox->IsVisible(); }

void XGigaViewStack::SetPage(int page)
{
    if (page < kPageMix || page > kPageMap)
        return;
    m_page = page;
    m_map->SetVisible(page == kPageMap);
    m_map->Invalidate();
    RequestFullRedraw();
    Invalidate();
}

void XGigaViewStack::ChooseStackMode(int mode)
{
    if (!m_tone)
        return;
    m_tone->SetStackMode(mode);
    SetHeader();
}

void XGigaViewStack::ChooseController(int controller)
{
    if (!m_tone || controller < 1 || controller > 127)
        return;
    m_tone->SetStackMode(controller);
    SetHeader();
}

int XGigaViewStack::CollectKeySwitchStarts(int* starts, int max) const
{
    if (!m_tone || max <= 0)
        return 0;
    const int layers = m_tone->GetPartCount();
    const int lowest = m_tone->GetLowestKey();
    const int highest = m_tone->GetHighestKey();
    int count = 0;
    auto white = [](int key) { return IsWhite(key + 24); };
    for (int s = 21; s + layers - 1 < lowest && count < max; ++s)
        if (white(s))
            starts[count++] = s;
    if (count > 0)
        return count;
    // Ranges ending from 7 keys below up to 1 key below the lowest played key.
    for (int end = lowest - 7; end <= lowest - 1 && count < max; ++end) {
        const int s = end - layers + 1;
        if (s >= 0 && white(s))
            starts[count++] = s;
    }
    if (count > 0)
        return count;
    // No room below: the white starts just above the highest played key.
    for (int s = highest + 1; s + layers - 1 <= 127 && s <= highest + 12 && count < max; ++s)
        if (white(s))
            starts[count++] = s;
    return count;
}

bool XGigaViewStack::ChooseKeySwitchStart(int start)
{
    if (!m_tone || !m_tone->PlaceKeySwitches(start))
        return false;
    char text[32];
    FormatKeyRange(m_tone->GetKeySwitchLow(), m_tone->GetKeySwitchHigh(), text, sizeof text);
    m_keySwitchBox->SetText(text);
    XControl::Notify(kCodeKeys, 0);
    return true;
}

void XGigaViewStack::OpenStackModeMenu()
{
    auto menu = std::make_unique<XMenu>();
    menu->AddItem("Play all parts", kModeAll);
    menu->AddItem("Program Change", kModeProgram);
    menu->AddItem("Control Change", 1);
    menu->AddItem("Key Switch", kModeKeySwitch);
    menu->AddItem("Velocity", kModeVelocity);
    menu->AddItem("Random", kModeRandom);
    m_modeBox->PopupMenu(std::move(menu), 0, m_modeBox->GetHeight(),
                         [this](int, int value) { ChooseStackMode(value); });
}

void XGigaViewStack::OpenControllerMenu()
{
    static const int kControllers[8] = {1, 2, 12, 13, 16, 17, 18, 19};
    auto menu = std::make_unique<XMenu>();
    char text[32];
    for (int c : kControllers) {
        ControllerName(c, text, sizeof text);
        menu->AddItem(text, c);
    }
    m_controllerBox->PopupMenu(std::move(menu), 0, m_controllerBox->GetHeight(),
                               [this](int, int value) { ChooseController(value); });
}

void XGigaViewStack::OpenKeySwitchMenu()
{
    if (!m_tone || m_tone->GetPartCount() < 2)
        return;
    int starts[128];
    const int count = CollectKeySwitchStarts(starts, 128);
    const int layers = m_tone->GetPartCount();
    auto menu = std::make_unique<XMenu>();
    char text[32];
    for (int i = 0; i < count; ++i) {
        FormatKeyRange(starts[i], starts[i] + layers - 1, text, sizeof text);
        menu->AddItem(text, starts[i]);
    }
    // The layers may have changed while the menu was open.
    m_keySwitchBox->PopupMenu(std::move(menu), 0, m_keySwitchBox->GetHeight(), [this](int, int value) {
        if (m_tone && m_tone->GetPartCount() >= 2)
            ChooseKeySwitchStart(value);
    });
}

int XGigaViewStack::Notify(XControl* sender, int code, int value)
{
    if (sender == m_modeBox)
        OpenStackModeMenu();
    else if (sender == m_controllerBox)
        OpenControllerMenu();
    else if (sender == m_keySwitchBox)
        OpenKeySwitchMenu();
    else if (sender == m_pages)
        SetPage(value);
    else if (sender == m_map)
        (void)code;  // a row was pressed or moved: the map redraws itself
    return 0;
}

// --- Layers ---

void XGigaViewStack::TellLoad() { XControl::Notify(kCodeLoad, 0); }

void XGigaViewStack::ChooseLayerInstrument(int row, const char* path, int index)
{
    {
        GigaTone::PartsLock lock = LockParts();
        GigaPart* part = GetPart(row);
        if (!part || !path)
            return;
        part->SetProgram(path, index, true);
    }
    TellLoad();
}

void XGigaViewStack::UnloadLayer(int row)
{
    {
        GigaTone::PartsLock lock = LockParts();
        GigaPart* part = GetPart(row);
        if (!part)
            return;
        part->Clear();
    }
    TellLoad();
}

void XGigaViewStack::ChooseLayerOutput(int row, int pair)
{
    GigaTone::PartsLock lock = LockParts();
    GigaPart* part = GetPart(row);
    if (!part || pair < 0 || pair >= kOvMaxTones)
        return;
    part->bus = pair - m_tone->GetBus();
    Invalidate();
}

namespace {
// The layer menu's own items.
enum { kLayerLoad = 1, kLayerUnload = 2 };
}  // namespace

void XGigaViewStack::OpenLayerMenu(int row, int x, int y)
{
    auto menu = std::make_unique<XMenu>();
    menu->AddItem("Load Instrument", kLayerLoad);
    menu->AddItem("Unload Instrument", kLayerUnload);
    std::vector<std::string> paths;
    AddBankMenus(m_tone, *menu, paths);
    PopupMenu(std::move(menu), x, y,
              [this, row, paths = std::move(paths)](int id, int value) { ChooseLayerMenuItem(row, id, value, paths); });
}

void XGigaViewStack::ChooseLayerMenuItem(int row, int id, int value, const std::vector<std::string>& paths)
{
    if (id >= 1 && id <= static_cast<int>(paths.size())) {
        ChooseLayerInstrument(row, paths[id - 1].c_str(), value);
        return;
    }
    if (value == kLayerUnload) {
        UnloadLayer(row);
        return;
    }
    // One dialog at a time: an open one is never replaced.
    if (XFileNav::IsAnyOpen())
        return;
    m_nav = std::make_unique<XFileNav>(GetWindowHandle());
    m_nav->AddFilter("gig", "Giga File");
    m_nav->OpenFile(this, "Open a .gig file", false, [this, row](XFileNav& nav, bool chosen) {
        if (const char* path = chosen ? nav.GetPath(0) : nullptr) {
            const std::string copy(path);
            ChooseLayerInstrument(row, copy.c_str(), 0);
        }
    });
}

void XGigaViewStack::OpenOutputMenu(int row, int x, int y)
{
    auto menu = std::make_unique<XMenu>();
    char text[16];
    for (int n = 0; n < kOvMaxTones; ++n) {
        std::snprintf(text, sizeof text, "%d:%d", 2 * n + 1, 2 * n + 2);
        menu->AddItem(text, n);
    }
    PopupMenu(std::move(menu), x, y, [this, row](int, int value) { ChooseLayerOutput(row, value); });
}

int XGigaViewStack::RowAt(int y)
{
    if (y < 24)
        return -1;
    const int row = (y - 24) / kStackRowPitch;
    return (y - 24) % kStackRowPitch < kStackRowHeight ? row : -1;
}

double XGigaViewStack::GetDragValue(GigaPart* part, int column) const
{
    switch (column) {
    case kColVolume: return part->level / 127.0;
    case kColTuning: return (part->tuning + 100) / 200.0;
    case kColPan: return part->pan / 127.0;
    default: break;
    }
    const int bar = column - kBarColumn;
    if (bar < 0 || bar > 4)
        return 0.0;
    BarRef ref = BarOf(*part, m_page, bar);
    return std::clamp((ref.base + *ref.offset) / ref.scale, 0.0, 1.0);
}

void XGigaViewStack::SetDragValue(GigaPart* part, int column, double v)
{
    v = std::clamp(v, 0.0, 1.0);
    switch (column) {
    case kColVolume: part->level = static_cast<int>(127 * v); return;
    case kColTuning: part->tuning = static_cast<int>(200 * v) - 100; return;
    case kColPan: part->pan = static_cast<int>(127 * v); return;
    default: break;
    }
    const int bar = column - kBarColumn;
    if (bar < 0 || bar > 4)
        return;
    BarRef ref = BarOf(*part, m_page, bar);
    *ref.offset = static_cast<float>(ref.scale * v - ref.base);
}

void XGigaViewStack::ResetBar(GigaPart* part, int column)
{
    const int bar = column - kBarColumn;
    if (bar >= 0 && bar <= 4)
        *BarOf(*part, m_page, bar).offset = 0.0f;
}

bool XGigaViewStack::OnMouseDown(XMouse& mouse)
{
    if (m_page == kPageMap || !m_tone)
        return false;
    const int x = mouse.LocalX();
    const int y = mouse.LocalY();
    const int row = RowAt(y);
    GigaTone::PartsLock lock = LockParts();
    GigaPart* part = GetPart(row);
    if (!part)
        return false;
    // A press on a layer sets or starts to set one of its values: the
    // performance now differs from the one saved.
    m_tone->SetModified(true);
    // The menus run the window system's loop: not while holding the parts.
    const ColumnSpan& name = kColumns[kColName];
    if (x >= name.x + name.width - kLayerMenuWidth && x < name.x + name.width) {
        lock.unlock();
        OpenLayerMenu(row, x, y);
        return true;
    }
    int column = -1;
    if (m_page == kPageMix) {
        for (int c = kColOutput; c < kColumnCount; ++c)
            if (x >= kColumns[c].x && x < kColumns[c].x + kColumns[c].width)
                column = c;
        if (column == kColOutput) {
            lock.unlock();
            OpenOutputMenu(row, x, y);
            return true;
        }
        if (column == kColMute) {
            part->mute = !part->mute;
            Invalidate();
            return true;
        }
    } else {
        const int first = m_page == kPageVcf ? 1 : 0;
        if (m_page == kPageVcf && x >= 240 && x < 320) {
            if (!mouse.control && !PartFilterForced(*part)) {
                part->filterUse = part->filterUse ? 0 : 1;
                Invalidate();
            }
            return true;
        }
        const bool filterOn = m_page != kPageVcf || part->filterUse != 0 || PartFilterForced(*part);
        for (int b = first; b < 5 && filterOn; ++b)
            if (x >= kBarX + kBarPitch * b && x <= kBarX + kBarWidth + kBarPitch * b)
                column = kBarColumn + b;
        if (column >= 0 && mouse.control) {
            ResetBar(part, column);
            Invalidate();
            return true;
        }
    }
    if (column < kColVolume)
        return column >= 0;
    m_dragRow = row;
    m_dragColumn = column;
    m_fineDrag = mouse.shift != 0;
    m_dragStart = GetDragValue(part, column);
    Invalidate();
    return true;
}

void XGigaViewStack::OnMouseDrag(XMouse& mouse)
{
    GigaTone::PartsLock lock = LockParts();
    GigaPart* part = GetPart(m_dragRow);
    if (!part || m_dragColumn < 0)
        return;
    const int width = m_dragColumn < kColumnCount ? kColumns[m_dragColumn].width : kBarWidth;
    const double f = m_fineDrag ? 0.04 : 1.0;
    SetDragValue(part, m_dragColumn, m_dragStart + mouse.DragX() * f / width);
    Invalidate();
}

void XGigaViewStack::OnMouseUp(XMouse& mouse)
{
    (void)mouse;
    m_dragRow = -1;
    m_dragColumn = -1;
    Invalidate();
}

// --- Drawing ---

void XGigaViewStack::DrawBar(XGraphic& graphic, int x, int y, double fraction, const char* text, bool dragged)
{
    fraction = std::clamp(fraction, 0.0, 1.0);
    graphic.FillRectangleColour(XRectangle(x, y, kBarWidth, 14), XColour::Make(0, 20, 50));
    const int filled = static_cast<int>(78 * fraction);
    graphic.FillRectangleColour(XRectangle(x + 1, y + 1, filled, 12),
                                dragged ? XColour::Make(80, 90, 130) : XColour::Make(40, 90, 130));
    graphic.FillRectangleColour(XRectangle(x + 1 + filled, y + 1, 78 - filled, 12),
                                dragged ? XColour::Make(20, 58, 85) : XColour::Make(6, 48, 72));
    graphic.SetTextColour(kLabel);
    graphic.DrawString(text, x + 52, y + 1);
}

void XGigaViewStack::DrawNameCell(XGraphic& graphic, GigaPart* part, int row, int y)
{
    const ColumnSpan& c = kColumns[kColName];
    graphic.FillRectangleColour(XRectangle(c.x, y, c.width, 18), XColour::Make(0, 20, 50));
    graphic.FillRectangleColour(XRectangle(c.x + 1, y + 1, c.width - 2, 16), XColour::Make(6, 48, 72));
    graphic.SetBrush(XColour::Make(40, 90, 130));
    graphic.FillEllipse(c.x + c.width - 9 - 8, y + 5, 8, 8);
    // A layer that failed, or loaded with samples left silent, looks as a
    // part unit does: its colour, and under the pointer what went wrong.
    const std::string note = PartNote(*part);
    const int state = part->GetState();
    XColourValue colour = kLabel;
    if (state == giga::kPartFailed || state == giga::kPartMissing)
        colour = kStatFailed;
    else if (!note.empty())
        colour = kTextPartial;
    graphic.SetTextColour(colour);
    if (row == m_noteRow && !note.empty()) {
        DrawNoteText(graphic, note, XRectangle(c.x + 2, y + 1, c.width - 20, 16), 0);
        graphic.SetFont(10, 0);
        return;
    }
    const char* name = part->GetProgramName();
    if (!name)
        name = part->GetFileName();
    graphic.DrawString(name ? name : "", c.x + 4, y + 3);
}

void XGigaViewStack::DrawRow(XGraphic& graphic, int row)
{
    GigaPart* part = GetPart(row);
    if (!part)
        return;
    const int y = kStackFirstRow + kStackRowPitch * row;
    const int w = GetWidth();
    graphic.FillRectangleColour(XRectangle(0, y, w, kStackRowHeight), XColour::Make(54, 63, 77));
    graphic.SetPen(XColour::Make(67, 73, 87));
    graphic.DrawLine(0, y, w - 1, y);
    graphic.SetPen(XColour::Make(34, 43, 57));
    graphic.DrawLine(0, y + kStackRowHeight - 1, w - 1, y + kStackRowHeight - 1);
    graphic.SetFont(10, 0);
    DrawNameCell(graphic, part, row, y);
    char text[32];
    if (m_page == kPageMix) {
        const int g = m_tone->GetBus() + part->bus;
        std::snprintf(text, sizeof text, "%d:%d", 2 * g + 1, 2 * g + 2);
        graphic.SetTextColour(XColour::Make(250, 250, 240));
        graphic.DrawString(text, kColumns[kColOutput].x + 4, y + 3);
        graphic.FillRectangleColour(XRectangle(kColumns[kColMute].x, y + 2, 14, 14),
                                    part->mute ? XColour::Make(250, 220, 80) : XColour::Make(150, 150, 150));
        graphic.SetTextColour(XColour::Make(0, 0, 0));
        graphic.DrawString("M", kColumns[kColMute].x + 3, y + 3);
        graphic.SetTextColour(kLabel);
        graphic.DrawString("Volume", 302, y + 3);
        graphic.DrawString("Tuning", 480, y + 3);
        graphic.DrawString("Panning", 652, y + 3);
        const int values[3] = {part->level, part->tuning, part->pan};
        const XColourValue colours[3] = {XColour::Make(120, 120, 150), XColour::Make(255, 80, 30),
                                         XColour::Make(150, 230, 170)};
        for (int i = 0; i < 3; ++i) {
            const ColumnSpan& c = kColumns[kColVolume + i];
            const double v = GetDragValue(part, kColVolume + i);
            graphic.FillRectangleColour(XRectangle(c.x, y + 7, c.width, 4), XColour::Make(40, 50, 60));
            const int mid = c.x + c.width / 2;
            const int at = c.x + static_cast<int>(v * (c.width - 1));
            if (i == 0)
                graphic.FillRectangleColour(XRectangle(c.x, y + 7, at - c.x, 4), colours[i]);
            else
                graphic.FillRectangleColour(XRectangle(std::min(mid, at), y + 7, std::abs(at - mid), 4), colours[i]);
            if (m_handle.IsLoaded())
                graphic.DrawPic(m_handle, at - m_handle.GetWidth() / 2, y + 1);
            if (i == 0)
                std::snprintf(text, sizeof text, "%d", values[i]);
            else if (i == 1)
                std::snprintf(text, sizeof text, values[i] ? "%+d" : "%d", values[i]);
            else if (values[i] == 64)
                std::snprintf(text, sizeof text, "<C>");
            else if (values[i] < 64)
                std::snprintf(text, sizeof text, "L%d", 64 - values[i]);
            else
                std::snprintf(text, sizeof text, "R%d", values[i] - 64);
            graphic.FillRectangleColour(XRectangle(c.x + c.width + 4, y + 1, 30, 16), XColour::Make(40, 50, 60));
            graphic.SetTextColour(kLabel);
            graphic.DrawString(text, c.x + c.width + 7, y + 3);
        }
        return;
    }
    if (m_page == kPageVca) {
        static const char* kLabels[5] = {"Veloc.", "Attack", "Decay", "Sustn", "Relse"};
        static const int kLabelX[5] = {219, 340, 464, 590, 713};
        for (int b = 0; b < 5; ++b) {
            graphic.SetTextColour(kLabel);
            graphic.DrawString(kLabels[b], kLabelX[b], y + 3);
            BarRef ref = BarOf(*part, m_page, b);
            std::snprintf(text, sizeof text, "%.2f", ref.base + *ref.offset);
            DrawBar(graphic, kBarX + kBarPitch * b, y + 2, GetDragValue(part, kBarColumn + b), text,
                    row == m_dragRow && m_dragColumn == kBarColumn + b);
        }
        return;
    }
    const bool on = part->filterUse != 0 || PartFilterForced(*part);
    graphic.FillRectangleColour(XRectangle(240, y + 1, 80, 16),
                                on ? XColour::Make(120, 140, 240) : XColour::Make(140, 140, 150));
    graphic.SetTextColour(XColour::Make(0, 0, 0));
    graphic.DrawString(on ? "Filter ON" : "Filter OFF", 260, y + 3);
    if (!on)
        return;
    static const char* kLabels[5] = {"", "Cutoff", "Veloc.", "Attack", "Relse"};
    static const int kLabelX[5] = {0, 338, 465, 588, 713};
    for (int b = 1; b < 5; ++b) {
        graphic.SetTextColour(kLabel);
        graphic.DrawString(kLabels[b], kLabelX[b], y + 3);
        BarRef ref = BarOf(*part, m_page, b);
        std::snprintf(text, sizeof text, "%.2f", ref.base + *ref.offset);
        DrawBar(graphic, kBarX + kBarPitch * b, y + 2, GetDragValue(part, kBarColumn + b), text,
                row == m_dragRow && m_dragColumn == kBarColumn + b);
    }
}

void XGigaViewStack::Draw(XGraphic& graphic)
{
    const int w = GetWidth();
    const int h = GetHeight();
    graphic.FillRectangleColour(XRectangle(0, 0, w, h), GetColour(0));
    graphic.SetFont(10, 0);
    graphic.SetTextColour(kLabel);
    graphic.DrawString("Stack mode :", 206, 7);
    if (m_controllerBox->IsVisible())
        graphic.DrawString("MIDI controller :", 444, 7);
    if (m_keySwitchBox->IsVisible())
        graphic.DrawString("Keyswitch range :", 438, 7);
    if (m_page == kPageMap || !m_tone)
        return;
    GigaTone::PartsLock lock = m_tone->LockParts();
    for (int i = 0; i < m_tone->GetPartCount(); ++i)
        DrawRow(graphic, i);
}
