#include "editor/XViewEffect.h"

#include <algorithm>
#include <cmath>

#include "editor/MixerConst.h"
#include "engine/OvMixerConstants.h"
#include "kiv/gui/XConst.h"
#include "kiv/gui/XGraphic.h"
#include "kiv/gui/XInput.h"

namespace {

// Value bars start right of their captions, which the panel picture holds.
constexpr int kBarX = 44;
constexpr int kBarHeight = 12;
// The curve box: from y 10, 65 high, inset 4.
constexpr int kCurveTop = 10;
constexpr int kCurveHeight = 65;
constexpr int kCurveInset = 4;
// The editor mark: the top 12 px and rightmost 14 px of an insert panel.
constexpr int kMarkHeight = 12;
constexpr int kMarkWidth = 14;

const XViewEffectBars::Row kDynRows[] = {
    {82, "%+.1f", -48.0, -6.0, 1.0, -18.0, kOvMixCompThreshold},
    {104, "1:%.0f", 1.0, 8.0, 1.0, 1.0, kOvMixCompRatio},
    {126, "%.1f", 0.1, 2.0, 0.01, 0.2, kOvMixCompAttack},
    {148, "%.1f", 0.1, 2.0, 0.01, 0.8, kOvMixCompRelease},
    {170, "%+.1f", 0.0, 6.0, 0.2, 0.0, kOvMixCompMakeUp},
};
const XViewEffectBars::Row kEQRows[] = {
    {82, "%+.1f", -6.0, 6.0, 0.1, 0.0, kOvMixEQHigh},
    {104, "%+.1f", -6.0, 6.0, 0.1, 0.0, kOvMixEQMid},
    {126, "%+.1f", -6.0, 6.0, 0.1, 0.0, kOvMixEQLow},
};

void DrawCaption(XGraphic& graphic, const char* text, XColourValue colour)
{
    if (!text)
        return;
    graphic.SetFont(mixer::kFontCaption, xconst::kFontBold);
    graphic.SetTextColour(colour);
    graphic.DrawString(text, 4, 3);
}

}  // namespace

// --- XViewEffect ---

XViewEffect::XViewEffect(XControl* parent, int x, int y, int w, int h, const char* caption)
    : XControl(parent, x, y, w, h)
{
    SetColour(0, mixer::kPanelBox);
    SetColour(2, mixer::kPanelTitle);
    SetColour(3, mixer::kPanelFrame);
    SetText(caption);
}

void XViewEffect::Draw(XGraphic& graphic)
{
    int w = GetWidth(), h = GetHeight();
    graphic.SetBrush(GetColour(3));
    graphic.FillRoundRect(0, 0, w, h);
    graphic.SetBrush(GetColour(0));
    graphic.FillRoundRect(1, 1, w - 2, h - 2);
    DrawCaption(graphic, GetText(), GetColour(2));
}

// --- XViewEffectBars ---

XViewEffectBars::XViewEffectBars(XControl* parent, int x, int y, int w, int h, const char* caption,
                                 const char* picture, const Row* rows, int count)
    : XViewEffect(parent, x, y, w, h, caption), m_rows(rows), m_count(std::min(count, kMaxRows))
{
    m_picture.Load(picture);
    for (int i = 0; i < m_count; ++i) {
        auto* bar = new XFaderValue(this, kBarX, rows[i].y, -kCurveInset, kBarHeight);
        bar->SetFormat(rows[i].format);
        bar->SetRange(rows[i].min, rows[i].max, rows[i].step, 0.0);
        bar->SetDefault(rows[i].initial);
        m_bars[i] = bar;
    }
}

void XViewEffectBars::Draw(XGraphic& graphic)
{
    XViewEffect::Draw(graphic);
    if (m_picture.IsLoaded())
        graphic.DrawPic(m_picture, 1, 1);
    DrawCaption(graphic, GetText(), GetColour(2));
}

int XViewEffectBars::FindRow(const XControl* bar) const
{
    for (int i = 0; i < m_count; ++i) {
        if (m_bars[i] == bar)
            return i;
    }
    return -1;
}

XFaderValue* XViewEffectBars::FindBar(int parameter) const
{
    for (int i = 0; i < m_count; ++i) {
        if (m_rows[i].parameter == parameter)
            return m_bars[i];
    }
    return nullptr;
}

void XViewEffectBars::SetBarListener(XListener* listener)
{
    for (int i = 0; i < m_count; ++i)
        m_bars[i]->SetListener(listener);
}

// --- XViewEffectDyn ---

XViewEffectDyn::XViewEffectDyn(XControl* parent, int x, int y, int w, int h)
    : XViewEffectBars(parent, x, y, w, h, "Compressor", "pandyn.png", kDynRows,
                      static_cast<int>(sizeof kDynRows / sizeof kDynRows[0]))
{
}

void XViewEffectDyn::GetCurve(float* xs, float* ys) const
{
    float left = kCurveInset, width = GetWidth() - 2.0f * kCurveInset;
    float bottom = kCurveTop + kCurveHeight, height = kCurveHeight;
    XFaderValue* thresholdBar = FindBar(kOvMixCompThreshold);
    XFaderValue* ratioBar = FindBar(kOvMixCompRatio);
    float threshold = thresholdBar ? static_cast<float>(thresholdBar->GetValue()) : kOvNoCompThreshold;
    float ratio = ratioBar ? static_cast<float>(ratioBar->GetValue()) : kOvNoCompRatio;
    // A ratio below 1 would draw the curve out of its box.
    ratio = std::max(1.0f, ratio);
    float f = std::min(1.0f, std::max(0.0f, (threshold + 50.0f) / 50.0f));
    xs[0] = left;
    ys[0] = bottom;
    xs[1] = left + f * width;
    ys[1] = bottom - f * height;
    xs[2] = left + width;
    ys[2] = ys[1] - (height - f * height) / ratio;
}

void XViewEffectDyn::Draw(XGraphic& graphic)
{
    XViewEffectBars::Draw(graphic);
    float xs[3], ys[3];
    GetCurve(xs, ys);
    graphic.SetPen(mixer::kCompCurve, 1);
    graphic.BeginPath();
    graphic.PathLineTo(xs[0], ys[0]);
    graphic.PathLineTo(xs[1], ys[1]);
    graphic.PathLineTo(xs[2], ys[2]);
    graphic.StrokePath();
}

// --- XViewEffectEQ3 ---

XViewEffectEQ3::XViewEffectEQ3(XControl* parent, int x, int y, int w, int h)
    : XViewEffectBars(parent, x, y, w, h, "Equalizer", "paneq3.png", kEQRows,
                      static_cast<int>(sizeof kEQRows / sizeof kEQRows[0]))
{
}

void XViewEffectEQ3::Draw(XGraphic& graphic)
{
    XViewEffectBars::Draw(graphic);
    float left = kCurveInset, width = GetWidth() - 2.0f * kCurveInset;
    float bottom = kCurveTop + kCurveHeight;
    auto y = [&](int parameter) {
        XFaderValue* bar = FindBar(parameter);
        double gain = bar ? bar->GetValue() : 0.0;
        return bottom - static_cast<float>((gain + 6.0) / 12.0) * kCurveHeight;
    };
    float low = y(kOvMixEQLow), mid = y(kOvMixEQMid), high = y(kOvMixEQHigh);
    graphic.SetPen(mixer::kEQCurve, 1);
    graphic.BeginPath();
    graphic.PathLineTo(left, low);
    graphic.PathLineTo(left + width / 3.0f, mid);
    graphic.PathLineTo(left + 2.0f * width / 3.0f, mid);
    graphic.PathLineTo(left + width, high);
    graphic.StrokePath();
}

// --- XViewEffectPlug ---

XViewEffectPlug::XViewEffectPlug(XControl* parent, int x, int y, int w, int h, const char* caption)
    : XViewEffect(parent, x, y, w, h, caption)
{
    m_selector = new XSelectPlugin(this, 4, 14, -4, 14);
    SetPluginName(nullptr);
}

void XViewEffectPlug::SetPluginName(const char* name)
{
    m_hasPlugin = name && *name;
    m_selector->SetText(m_hasPlugin ? name : "No effect");
    m_selector->SetColour(2, m_hasPlugin ? mixer::kNameText : mixer::kNoEffectText);
    if (!m_hasPlugin)
        m_pressed = false;
    m_selector->Invalidate();
    Invalidate();
}

void XViewEffectPlug::SetFailedName(const char* name)
{
    SetPluginName(nullptr);
    if (!name || !*name)
        return;
    kiv::string text = mixer::kFailedPrefix;
    text.Append(name);
    m_selector->SetText(text.CStr());
    m_selector->SetColour(2, mixer::kFailedText);
}

void XViewEffectPlug::Draw(XGraphic& graphic)
{
    XViewEffect::Draw(graphic);
    if (!m_hasPlugin)
        return;
    graphic.SetFont(mixer::kFontCaption, xconst::kFontBold);
    graphic.SetTextColour(m_pressed ? mixer::kEditMarkPressed : mixer::kEditMark);
    graphic.DrawString("e", GetWidth() - 10, 3);
}

bool XViewEffectPlug::OnMouseDown(XMouse& mouse)
{
    int x = mouse.LocalX(), y = mouse.LocalY();
    if (!m_hasPlugin || y < 0 || y >= kMarkHeight || x < GetWidth() - kMarkWidth || x >= GetWidth())
        return false;
    m_pressed = true;
    Invalidate();
    Notify(0, 0);
    return true;
}

void XViewEffectPlug::OnMouseUp(XMouse& mouse)
{
    (void)mouse;
    m_pressed = false;
    Invalidate();
}

void XViewEffectPlug::OnCaptureLost()
{
    m_pressed = false;
    Invalidate();
}

// --- XTrackMore ---

XTrackMore::XTrackMore(XControl* parent, int x, int y, int w, int h) : XControl(parent, x, y, w, h)
{
    SetColour(0, mixer::kMoreBack);
    m_dyn = new XViewEffectDyn(this, 3, 3, -1, 183);
    m_eq = new XViewEffectEQ3(this, 3, 194, -1, 139);
    m_plug[0] = new XViewEffectPlug(this, 3, 335, -1, 30, "Effect 1");
    m_plug[1] = new XViewEffectPlug(this, 3, 370, -1, 30, "Effect 2");
    for (int slot = 0; slot < 4; ++slot)
        GetPanel(slot)->Show(false);
}

XControl* XTrackMore::GetPanel(int slot) const
{
    switch (slot) {
    case 0:
        return m_dyn;
    case 1:
        return m_eq;
    case 2:
        return m_plug[0];
    case 3:
        return m_plug[1];
    default:
        return nullptr;
    }
}

void XTrackMore::Draw(XGraphic& graphic)
{
    graphic.FillRectangleColour(GetLocalRectangle(), GetColour(0));
    for (XControl* child = GetFirstChild(); child; child = child->GetNextSibling()) {
        if (!child->IsVisible())
            continue;
        XRectangle box(child->GetX(), child->GetY(), child->GetWidth(), child->GetHeight());
        graphic.FillRectangleColour(box, mixer::kPanelBox);
        if (auto* label = dynamic_cast<HLabel*>(child); label && label->GetText()) {
            graphic.SetFont(mixer::kFontCaption, xconst::kFontBold);
            graphic.SetTextColour(mixer::kPanelCaption);
            graphic.DrawString(label->GetText(), box.x + 4, box.y + 3);
        }
    }
}
