#include "editor/XDimList.h"

#include <algorithm>
#include <cstdio>

#include "engine/GigaProgram.h"
#include "kiv/gui/NoteNames.h"
#include "kiv/gui/XGraphic.h"

namespace {
const XColourValue kDimFill = XColour::Make(100, 160, 240);
const XColourValue kDimUpper = XColour::Make(140, 200, 240);
const XColourValue kCtrlFill = XColour::Make(0, 222, 0);
const XColourValue kCtrlUpper = XColour::Make(120, 222, 120);
const XColourValue kUsedText = XColour::Make(0, 0, 30);
// Dim against the panel's (54, 63, 77) body, yet readable: an unused cell
// still names its controller.
const XColourValue kUnused = XColour::Make(120, 128, 145);
const XColourValue kBlack = XColour::Make(0, 0, 0);
const XColourValue kInfoText = XColour::Make(200, 200, 220);
constexpr int kCellW = 22;
constexpr int kCellH = 13;
constexpr int kLastDimensionCell = 5;  // cells 3..5 are dimensions, 6..17 controllers
}  // namespace

// --- XDimList ---

const XDimList::Cell XDimList::kCells[editor::kDimCellCount] = {
    {"velo", 130}, {"ksw", 133}, {"noff", 132}, {"mod", 1},   {"brth", 2},  {"foot", 4},  {"eff1", 12}, {"eff2", 13},
    {"gp1", 16},   {"gp2", 17},  {"gp3", 18},   {"gp4", 19},  {"sust", 64}, {"sost", 66}, {"soft", 67}};

XDimList::XDimList(XControl* parent, int x, int y, int w, int h) : XControl(parent, x, y, w, h) {}

XRectangle XDimList::GetCellRect(int n)
{
    return XRectangle((n % 6) * 25 + 4, (n / 6) * 16 + 8, kCellW, kCellH);
}

void XDimList::SetProgram(const GigaProgram* program)
{
    uint32_t used = 0;
    if (program) {
        for (int i = 0; i < editor::kDimCellCount; ++i) {
            if (program->HasDimension(kCells[i].code))
                used |= 1u << (editor::kDimFirstCell + i);
        }
    }
    m_used = used;
    Invalidate();
    // Unlit cells draw no background: the parent repaints under them.
    if (XControl* parent = GetParent())
        parent->Invalidate();
}

bool XDimList::IsCellUsed(int n) const
{
    if (n < editor::kDimFirstCell || n >= editor::kDimFirstCell + editor::kDimCellCount)
        return false;
    return (m_used >> n) & 1u;
}

void XDimList::Draw(XGraphic& graphic)
{
    XControl::Draw(graphic);
    graphic.SetFontPreset(fourcc("xfsm"));
    if (const char* title = GetText()) {
        graphic.SetTextColour(GetColour(2) ? GetColour(2) : kInfoText);
        graphic.DrawString(title, 4, 3);
    }
    for (int i = 0; i < editor::kDimCellCount; ++i) {
        int n = editor::kDimFirstCell + i;
        XRectangle r = GetCellRect(n);
        if (IsCellUsed(n)) {
            bool dimension = n <= kLastDimensionCell;
            graphic.FillRectangleColour(r, dimension ? kDimFill : kCtrlFill);
            graphic.FillRectangleColour(XRectangle(r.x, r.y, r.width, r.height / 2),
                                        dimension ? kDimUpper : kCtrlUpper);
            graphic.SetPen(kBlack);
            graphic.DrawFrameRectangle(r);
            graphic.SetTextColour(kUsedText);
        } else {
            graphic.SetPen(kUnused);
            graphic.DrawFrameRectangle(r);
            graphic.SetTextColour(kUnused);
        }
        // Centred: a caption at the cell's left edge runs into its frame.
        const int textW = graphic.GetTextSize(kCells[i].caption).width;
        graphic.DrawString(kCells[i].caption, r.x + std::max(1, (r.width - textW + 1) / 2), r.y + 3);
    }
}

// --- XProgInfo ---

XProgInfo::XProgInfo(XControl* parent, int x, int y, int w, int h) : XControl(parent, x, y, w, h) {}

void XProgInfo::FormatKey(int key, char* out, int size)
{
    key = std::clamp(key, 0, 127);
    std::snprintf(out, size, "%s%d", kiv::kNoteNames[key % 12], key / 12 - 2);
}

void XProgInfo::SetProgram(const GigaProgram* program)
{
    for (auto& line : m_lines)
        line[0] = '\0';
    Invalidate();
    // Lines draw no background: the parent repaints under the old ones.
    if (XControl* parent = GetParent())
        parent->Invalidate();
    if (!program)
        return;
    // A program without regions has no key range to show.
    if (program->lowestKey <= program->highestKey) {
        char low[8], high[8];
        FormatKey(program->lowestKey, low, sizeof low);
        FormatKey(program->highestKey, high, sizeof high);
        std::snprintf(m_lines[0], sizeof m_lines[0], "%s : %s", low, high);
    }
    std::snprintf(m_lines[1], sizeof m_lines[1], "Samp: %d", program->sampleCount);
    std::snprintf(m_lines[2], sizeof m_lines[2], "Bits: %d", program->bitDepth);
    std::snprintf(m_lines[3], sizeof m_lines[3], "Disk: %s", program->streaming ? "on" : "off");
}

void XProgInfo::Draw(XGraphic& graphic)
{
    XControl::Draw(graphic);
    graphic.SetFontPreset(fourcc("xfsm"));
    graphic.SetTextColour(kInfoText);
    // Four lines 11 apart from y 6 run past the box's bottom with this
    // font: the block moves up as far as it must to show the last line whole.
    const int lineH = graphic.GetTextSize("Dg").height;
    const int top = std::clamp(GetHeight() - 11 * (kLineCount - 1) - lineH, 0, 6);
    for (int n = 0; n < kLineCount; ++n) {
        if (m_lines[n][0])
            graphic.DrawString(m_lines[n], 6, top + 11 * n);
    }
}
