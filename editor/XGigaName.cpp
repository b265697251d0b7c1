#include "editor/XGigaName.h"

#include <cstring>

#include "kiv/gui/XGraphic.h"
#include "kiv/gui/XMenu.h"

namespace {
constexpr int kFontSize = 10;
constexpr int kArrowWidth = 13;  // the selector arrow at the right edge
constexpr int kSmallestNoteFont = 8;
constexpr int kArrowRoom = 16;  // the selector arrow and a gap
const XColourValue kBlack = XColour::Make(0, 0, 0);
const XColourValue kGreen = XColour::Make(0, 203, 31);
const XColourValue kBar = XColour::Make(200, 0, 0);
const XColourValue kBarBand = XColour::Make(200, 50, 50);
const XColourValue kBarText = XColour::Make(250, 250, 220);
const XColourValue kTuneText = XColour::Make(240, 240, 240);
const XColourValue kTuneFace = XColour::Make(60, 80, 100);
const XColourValue kTuneFrame = XColour::Make(40, 50, 60);

// Frame in slot 3, face in slot 0 inside it.
void DrawBox(XGraphic& graphic, const XControl& box)
{
    int w = box.GetWidth(), h = box.GetHeight();
    graphic.SetBrush(box.GetColour(3));
    graphic.FillRect(0, 0, w, h);
    graphic.SetBrush(box.GetColour(0));
    graphic.FillRect(1, 1, w - 2, h - 2);
}
}  // namespace

void DrawSelectorArrow(XGraphic& graphic, int width, int height)
{
    graphic.FillRectangleColour(XRectangle(width - 3, 0, 3, height), kBlack);
    graphic.SetPen(XColour::Make(37, 37, 37));
    graphic.DrawLine(width - 4, 1, width - 4, height - 1);
    graphic.FillRectangleColour(XRectangle(width - 13, 2, 7, 7), XColour::Make(36, 51, 34));
    graphic.FillRectangleColour(XRectangle(width - 12, 3, 7, 7), XColour::Make(6, 20, 0));
    graphic.DrawDot(width - 9, 6, XColour::Make(0, 140, 31));
}

// --- XGigaName ---

XGigaName::XGigaName(XControl* parent, int x, int y, int w, int h) : XSelect(parent, x, y, w, h)
{
    SetColour(2, kGreen);
    SetColour(3, kBlack);
}

void XGigaName::SetProgress(int percent)
{
    if (percent > 100)
        percent = 100;
    if (percent < 0)
        percent = editor::kNoProgress;
    if (m_progress.exchange(percent, std::memory_order_relaxed) != percent)
        Invalidate();
}

void XGigaName::ShowStatus(const char* text)
{
    if (m_status.exchange(text, std::memory_order_acq_rel) != text)
        Invalidate();
}

void XGigaName::SetNameColour(XColourValue colour)
{
    if (m_nameColour.exchange(colour, std::memory_order_relaxed) != colour)
        Invalidate();
}

XColourValue XGigaName::GetNameColour() const
{
    XColourValue colour = m_nameColour.load(std::memory_order_relaxed);
    return colour ? colour : GetColour(2);
}

void XGigaName::SetNote(const std::string& note)
{
    if (note == m_note)
        return;
    m_note = note;
    // The note shows under the pointer: the view must report its moves.
    if (!m_note.empty())
        StartMouseTracking();
    Invalidate();
}

bool XGigaName::OnMouseEnter()
{
    m_hovered = true;
    if (!m_note.empty())
        Invalidate();
    return false;
}

void XGigaName::OnMouseLeave()
{
    m_hovered = false;
    if (!m_note.empty())
        Invalidate();
}

const char* XGigaName::GetShownText() const
{
    if (const char* status = GetStatus())
        return status;
    if (m_hovered && !m_note.empty())
        return m_note.c_str();
    return GetText();
}

void XGigaName::OnTextChanged()
{
    const char* text = GetText();
    m_longName = text && std::strlen(text) > static_cast<size_t>(editor::kLongNameLength);
    Invalidate();
}

bool XGigaName::OnDoubleClick(int x, int y)
{
    (void)x;
    (void)y;
    XControl::Notify(editor::kCodeBrowse, 0);
    return true;
}

void XGigaName::Draw(XGraphic& graphic)
{
    int w = GetWidth(), h = GetHeight();
    DrawBox(graphic, *this);
    int progress = GetProgress();
    const char* text = GetShownText();
    graphic.SetFont(kFontSize, xconst::kFontBold);
    if (progress > 0) {
        int bar = (w - 3) * progress / 100;
        graphic.FillRectangleColour(XRectangle(1, 1, bar, h - 2), kBar);
        graphic.FillRectangleColour(XRectangle(2, 2, bar - 2, 6), kBarBand);
        graphic.SetTextColour(kBarText);
    } else {
        graphic.SetTextColour(GetNameColour());
    }
    if (text && text == m_note.c_str() && !m_note.empty())
        DrawNote(graphic, w, h);
    else if (text)
        graphic.DrawString(text, 3, 3);
    if (progress <= 0)
        DrawSelectorArrow(graphic, w, h);
}

void DrawNoteText(XGraphic& graphic, const std::string& note, const XRectangle& box, uint32_t style)
{
    // The whole note within the box: a smaller font for a longer one, and
    // at the smallest size its middle gives way.
    const int room = box.width - 2;
    int size = kFontSize;
    graphic.SetFont(size, style);
    while (size > kSmallestNoteFont && graphic.GetTextSize(note.c_str()).width > room)
        graphic.SetFont(--size, 0);
    std::string shown = note;
    for (size_t cut = 1; graphic.GetTextSize(shown.c_str()).width > room && cut < note.size(); ++cut) {
        const size_t keep = note.size() - cut;
        shown = note.substr(0, keep - keep / 2) + "..." + note.substr(note.size() - keep / 2);
    }
    const bool clipped = graphic.PushClip(box);
    graphic.DrawString(shown.c_str(), box.x + 2, box.y + 2 + (kFontSize - size) / 2);
    if (clipped)
        graphic.PopClip();
}

void XGigaName::DrawNote(XGraphic& graphic, int w, int h)
{
    // Left of the arrow.
    DrawNoteText(graphic, m_note, XRectangle(1, 1, w - kArrowRoom + 2, h - 2), xconst::kFontBold);
}

// --- XSelectLcd ---

XSelectLcd::XSelectLcd(XControl* parent, int x, int y, int w, int h) : XSelect(parent, x, y, w, h)
{
    SetColour(2, kGreen);
}

void XSelectLcd::Draw(XGraphic& graphic)
{
    int w = GetWidth(), h = GetHeight();
    DrawBox(graphic, *this);
    if (const char* text = GetText()) {
        // Centred in the room the selector arrow leaves; a text too wide in
        // bold (two two-digit numbers) is drawn in the regular weight, and
        // smaller still until the arrow's dot no longer covers its end.
        const int room = w - kArrowWidth - 3;  // a gap before the dot's box
        int size = kFontSize;
        graphic.SetFont(size, xconst::kFontBold);
        int textW = graphic.GetTextSize(text).width;
        if (textW > room) {
            graphic.SetFont(size, 0);
            textW = graphic.GetTextSize(text).width;
        }
        while (textW > room && size > kSmallestNoteFont) {
            graphic.SetFont(--size, 0);
            textW = graphic.GetTextSize(text).width;
        }
        graphic.SetTextColour(GetColour(2));
        graphic.DrawString(text, 1 + (textW < room ? (room - textW) / 2 : 0), 3 + (kFontSize - size) / 2);
    }
    DrawSelectorArrow(graphic, w, h);
}

// --- XSelFader ---

XSelFader::XSelFader(XControl* parent, int x, int y, int w, int h) : XSelect(parent, x, y, w, h)
{
    SetColour(0, kTuneFace);
    SetColour(2, kTuneText);
    SetColour(3, kTuneFrame);
}

void XSelFader::SetMode(int mode)
{
    m_mode = mode == kCoarse ? kCoarse : kFine;
    Invalidate();
}

void XSelFader::ChooseMode(int mode)
{
    SetMode(mode);
    XControl::Notify(0, m_mode);
}

bool XSelFader::OpenChoice()
{
    auto menu = std::make_unique<XMenu>();
    menu->AddItem("Fine tuning", kFine);
    menu->AddItem("Coarse tuning", kCoarse);
    PopupMenu(std::move(menu), 0, GetHeight(), [this](int, int value) { ChooseMode(value); });
    // The choice was offered even when it was dismissed: the base must not
    // tell the listener a mode nobody chose.
    return true;
}

void XSelFader::Draw(XGraphic& graphic)
{
    DrawBox(graphic, *this);
    graphic.SetFont(kFontSize, xconst::kFontBold);
    graphic.SetTextColour(kTuneText);
    graphic.DrawString(m_mode == kCoarse ? "C.Tun" : "F.Tun", 1, 4);
}
