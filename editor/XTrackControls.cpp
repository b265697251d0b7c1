#include "editor/XTrackControls.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "editor/MixerConst.h"
#include "kiv/gui/XConst.h"
#include "kiv/gui/XGraphic.h"

namespace {

constexpr XColourValue kBlack = XColour::Make(0, 0, 0);
constexpr const char* kEllipsis = "...";
constexpr int kSelectorArrowX = 9;     // from the right edge: the arrow's centre
constexpr int kSelectorArrowRoom = 15; // pixels at the right the caption leaves to the arrow

// As much of the text as `room` pixels hold in the current font; a text cut
// short ends in "..." so it is not read as whole. Cut between characters.
std::string FitWithEllipsis(XGraphic& graphic, const char* text, int room)
{
    std::string shown = text;
    if (graphic.GetTextSize(shown.c_str()).width <= room)
        return shown;
    while (shown.size() > 1 && graphic.GetTextSize((shown + kEllipsis).c_str()).width > room) {
        // The last character goes whole: a UTF-8 one's continuation bytes,
        // then its first byte.
        while (shown.size() > 1 && (static_cast<unsigned char>(shown.back()) & 0xC0) == 0x80)
            shown.pop_back();
        shown.pop_back();
    }
    while (!shown.empty() && shown.back() == ' ')
        shown.pop_back();
    return shown + kEllipsis;
}

// A selector box of the strip: fill, caption at (1, 3) ending before the
// down arrow, arrow, frame.
void DrawSelectorBox(XGraphic& graphic, XControl& box, const char* text, bool rounded, bool framed)
{
    int w = box.GetWidth(), h = box.GetHeight();
    graphic.SetBrush(box.GetColour(0));
    if (rounded)
        graphic.FillRoundRect(0, 0, w, h);
    else
        graphic.FillRect(0, 0, w, h);
    box.ApplyFont(graphic);
    if (text) {
        graphic.SetTextColour(box.GetColour(2));
        graphic.DrawString(FitWithEllipsis(graphic, text, w - kSelectorArrowRoom).c_str(), 1, 3);
    }
    graphic.SetPen(box.GetColour(1));
    graphic.DrawArrow(w - kSelectorArrowX, 6, 6);
    if (framed && box.HasColour(3)) {
        graphic.SetPen(box.GetColour(3));
        graphic.DrawFrame(0, 0, w, h);
    }
}

}  // namespace

// --- XRoundedPane ---

XRoundedPane::XRoundedPane(XControl* parent, int x, int y, int w, int h) : XControl(parent, x, y, w, h) {}

void XRoundedPane::Draw(XGraphic& graphic)
{
    int w = GetWidth(), h = GetHeight();
    if (HasColour(3)) {
        graphic.SetBrush(GetColour(3));
        graphic.FillRoundRect(0, 0, w, h);
        graphic.SetBrush(GetColour(0));
        graphic.FillRoundRect(1, 1, w - 2, h - 2);
        return;
    }
    graphic.SetBrush(GetColour(0));
    graphic.FillRoundRect(0, 0, w, h);
}

// --- XTrackBalance ---

XTrackBalance::XTrackBalance(XControl* parent, int x, int y, int w, int h) : XSlider(parent, x, y, w, h)
{
    SetColour(0, XColour::Make(6, 48, 72));
    SetColour(1, XColour::Make(160, 160, 160));
    SetColour(2, XColour::Make(200, 200, 200));
    SetColour(3, kBlack);
    SetHorizontalDrag(GetWidth() - 1);
}

void XTrackBalance::OnGeometryChanged() { SetHorizontalDrag(GetWidth() - 1); }

void XTrackBalance::Draw(XGraphic& graphic)
{
    int w = GetWidth(), h = GetHeight();
    const int band = 7;
    graphic.FillRectangleColour(XRectangle(0, 0, w, h - band), XColour::Make(45, 50, 55));
    graphic.FillRectangleColour(XRectangle(0, h - band, w, band), XColour::Make(55, 60, 65));
    double b = GetValue();
    int p = static_cast<int>(GetNormalised() * (w - 4));
    int centre = w / 2;
    XColourValue upper, lower;
    int x0, width;
    if (b < 0.0) {
        x0 = p + 1;
        width = std::max(2, centre - x0);
        upper = XColour::Make(120, 120, 220);
        lower = XColour::Make(100, 100, 160);
    } else if (b == 0.0) {
        x0 = p + 1;
        width = 2;
        upper = XColour::Make(160, 160, 160);
        lower = XColour::Make(120, 120, 120);
    } else {
        x0 = centre;
        width = std::max(2, p - w / 2 + 3);
        upper = XColour::Make(200, 120, 120);
        lower = XColour::Make(140, 100, 100);
    }
    graphic.FillRectangleColour(XRectangle(x0, 1, width, h - band - 1), upper);
    graphic.FillRectangleColour(XRectangle(x0, h - band, width, band - 1), lower);
    graphic.SetPen(GetColour(3));
    graphic.DrawFrame(0, 0, w, h);
}

// --- XTrackInput ---

XTrackInput::XTrackInput(XControl* parent, int x, int y, int w, int h) : XSelect(parent, x, y, w, h)
{
    SetColour(0, mixer::kBoxFace);
    SetColour(1, XColour::Make(40, 90, 130));
    SetColour(2, mixer::kChannelText);
    SetColour(3, mixer::kBoxFrame);
    SetFont(mixer::kFontSmall, 0);
}

void XTrackInput::SetName(const char* name)
{
    size_t n = name ? strnlen(name, mixer::kInputNameChars) : 0;
    if (n == std::strlen(m_name) && std::memcmp(m_name, name ? name : "", n) == 0)
        return;
    std::memcpy(m_name, name ? name : "", n);
    m_name[n] = '\0';
    Invalidate();
}

void XTrackInput::Draw(XGraphic& graphic)
{
    // The parent's background shows through while nothing plays here.
    if (!m_name[0])
        return;
    int w = GetWidth(), h = GetHeight();
    graphic.SetBrush(GetColour(0));
    graphic.FillRect(0, 0, w, h);
    ApplyFont(graphic);
    graphic.SetTextColour(GetColour(2));
    // As much of the name as the box holds, a size smaller when that makes
    // it whole; a name cut short ends in "..." so it is not read as whole.
    const int room = w - 3;
    if (graphic.GetTextSize(m_name).width > room)
        graphic.SetFont(mixer::kFontSmall - 1, 0);
    const std::string shown = FitWithEllipsis(graphic, m_name, room);
    const bool clipped = graphic.PushClip(XRectangle(1, 1, w - 2, h - 2));
    graphic.DrawString(shown.c_str(), 1, 3);
    if (clipped)
        graphic.PopClip();
    graphic.SetPen(GetColour(3));
    graphic.DrawFrame(0, 0, w, h);
}

// --- XTrackFader ---

XTrackFader::XTrackFader(XControl* parent, int x, int y, int w, int h) : XFader(parent, x, y, w, h)
{
    SetTrackColour(XColour::Make(80, 90, 120));
    LoadHandlePicture("cur_mix15.png");
    SetRange(0.0, 1.0, 0.01, 0.0);
    SetDefault(1.0);
}

int XTrackFader::ScaleLines(int height, int* ys, int capacity)
{
    // Each spacing is 0.88 of the one above; a floor of 2 px keeps the loop
    // finite on a tall fader, where the spacing would reach 0.
    int count = 0;
    int spacing = 24;
    for (int y = 14; y < height - 14 && count < capacity; ++count) {
        ys[count] = y;
        y += spacing;
        spacing = std::max(2, static_cast<int>(spacing * 0.88));
    }
    return count;
}

void XTrackFader::Draw(XGraphic& graphic)
{
    XFader::Draw(graphic);
    int ys[64];
    int n = ScaleLines(GetHeight(), ys, 64);
    const XRect& handle = GetHandleRect();
    graphic.SetPen(XColour::Make(70, 70, 76));
    for (int i = 0; i < n; ++i) {
        if (ys[i] >= handle.top && ys[i] <= handle.bottom)
            continue;  // the handle lies over the scale
        graphic.DrawLine(0, ys[i], GetWidth() - 1, ys[i]);
    }
}

// --- XTrackExpand ---

XTrackExpand::XTrackExpand(XControl* parent, int x, int y, int w, int h) : XToggle(parent, x, y, w, h)
{
    SetColour(0, mixer::kStripBase);
    SetColour(1, XColour::Make(255, 240, 100));
}

void XTrackExpand::Draw(XGraphic& graphic)
{
    graphic.FillRectangleColour(GetLocalRectangle(), GetColour(0));
    graphic.SetPen(GetColour(1));
    int y = GetHeight() / 2;
    if (GetState())
        graphic.DrawArrow(5, y, 9);
    else
        graphic.DrawArrow(2, y, 3);
}

// --- XTogSolo ---

XTogSolo::XTogSolo(XControl* parent, int x, int y, int w, int h) : XToggle(parent, x, y, w, h)
{
    SetColour(0, XColour::Make(80, 90, 110));
    SetColour(2, XColour::Make(200, 200, 200));
    SetColour(3, XColour::Make(50, 60, 70));
    SetFont(mixer::kFontCaption, xconst::kFontBold);
}

void XTogSolo::Draw(XGraphic& graphic)
{
    int w = GetWidth(), h = GetHeight();
    graphic.SetBrush(XColour::Make(80, 80, 80));
    graphic.FillRoundRect(0, 0, w, h);
    graphic.SetBrush(GetColour(0));
    graphic.FillRoundRect(1, 1, w - 2, h - 2);
    XRectangle lamp(3, 3, w - 6, 7);
    if (GetState() && m_onColour) {
        graphic.FillRectangleColour(lamp, XColour::Scale(m_onColour, 0.8f));
        graphic.FillRectangleColour(XRectangle(lamp.x + 1, lamp.y + 1, lamp.width - 2, lamp.height - 2), m_onColour);
    } else {
        graphic.FillRectangleColour(lamp, XColour::Make(60, 60, 60));
    }
    const char* caption = GetText();
    if (!caption)
        return;
    ApplyFont(graphic);
    if (m_captionX < 0)
        m_captionX = std::max(0, (w - graphic.GetTextSize(caption).width) / 2);
    graphic.SetTextColour(GetColour(2));
    graphic.DrawString(caption, m_captionX, 13);
}

// --- XSelectOut ---

XSelectOut::XSelectOut(XControl* parent, int x, int y, int w, int h) : XSelect(parent, x, y, w, h)
{
    SetColour(0, XColour::Make(6, 48, 72));
    SetColour(1, XColour::Make(40, 90, 130));
    SetColour(2, XColour::Make(250, 250, 240));
    SetColour(3, XColour::Make(0, 20, 50));
    SetFont(mixer::kFontLabel, 0);
}

void XSelectOut::Draw(XGraphic& graphic) { DrawSelectorBox(graphic, *this, GetText(), false, true); }

// --- XSelectPlugin ---

XSelectPlugin::XSelectPlugin(XControl* parent, int x, int y, int w, int h) : XSelect(parent, x, y, w, h)
{
    SetColour(0, XColour::Make(24, 25, 27));
    SetColour(1, XColour::Make(40, 90, 130));
    SetColour(2, mixer::kNameText);
    SetColour(3, XColour::Make(0, 20, 50));
    SetFont(mixer::kFontCaption, 0);
}

void XSelectPlugin::Draw(XGraphic& graphic) { DrawSelectorBox(graphic, *this, GetText(), true, false); }
