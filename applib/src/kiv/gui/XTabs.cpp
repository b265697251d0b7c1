#include "kiv/gui/XTabs.h"

#include <algorithm>

#include "kiv/gui/XGraphic.h"
#include "kiv/gui/XInput.h"

namespace {
const XColourValue kBlack = XColour::Make(0, 0, 0);
const XColourValue kDisabledLabel = XColour::Make(180, 180, 180);
}  // namespace

XTabs::XTabs(XControl* parent, int x, int y, int w, int h) : XControl(parent, x, y, w, h)
{
    SetColour(0, 0);
    SetColour(1, XColour::Make(60, 60, 180));
    SetColour(2, XColour::Make(0, 0, 0));
}

const char* XTabs::GetLabel(int i)
{
    if (i < 0 || i >= m_count)
        return nullptr;
    return m_tabs[i].label.IsEmpty() ? nullptr : m_tabs[i].label.GetText();
}

int XTabs::VisibleCount()
{
    // Widths live in the table, so no more tabs than it holds are laid out.
    return std::clamp(GetCount(), 0, xwidget::kMaxTabs);
}

void XTabs::Clear()
{
    for (int i = 0; i < m_count; ++i)
        m_tabs[i] = Tab();
    m_count = 0;
    m_selected = 0;
    m_scroll = 0;
    m_total = 0;
    Invalidate();
}

int XTabs::AddTab(const char* label)
{
    if (m_count >= xwidget::kMaxTabs)
        return -1;
    Tab& tab = m_tabs[m_count];
    tab = Tab();
    tab.label = label ? label : "";
    Invalidate();
    return m_count++;
}

void XTabs::Select(int index)
{
    if (index < 0 || index >= GetCount() || index == m_selected)
        return;
    m_selected = index;
    Invalidate();
    Notify(0, index);
}

void XTabs::SetTabEnabled(int index, bool enabled)
{
    if (index < 0 || index >= xwidget::kMaxTabs)
        return;
    m_tabs[index].disabled = !enabled;
    Invalidate();
}

void XTabs::SetStretch(bool stretch)
{
    m_stretch = stretch;
    Invalidate();
}

void XTabs::SetCentred(bool centred)
{
    m_centred = centred;
    Invalidate();
}

void XTabs::MeasureTabs(XGraphic& graphic, int count)
{
    m_total = 0;
    for (int i = 0; i < count; ++i) {
        m_tabs[i].width = graphic.GetTextSize(GetLabel(i)).width + xwidget::kTabPadding;
        m_total += m_tabs[i].width;
    }
    if (m_stretch && count > 0) {
        int extra = GetWidth() - m_total - 1;
        if (extra > 0) {
            for (int i = 0; i < count; ++i)
                m_tabs[i].width += extra / count + (i < extra % count ? 1 : 0);
            m_total += extra;
        }
    }
    // The centred bar starts at its left edge, the plain row one pixel left
    // of the control so the first tab's outline sits outside.
    int start = m_centred ? 0 : -1;
    for (int i = 0; i < count; ++i) {
        m_tabs[i].start = start;
        start += m_tabs[i].width;
    }
}

void XTabs::PlaceScrollPart()
{
    int w = GetWidth();
    int h = GetHeight();
    m_maxScroll = m_scrollable ? m_total - w : 0;
    m_scroll = std::clamp(m_scroll, 0, std::max(m_maxScroll, 0));
    m_track = XRect(0, h - xwidget::kTabScrollHeight, w - 1, h - 1);
    if (!m_scrollable || m_total <= 0) {
        m_thumb = XRect();
        return;
    }
    int thumbW = std::max(1, static_cast<int>(static_cast<long long>(w) * w / m_total));
    int thumbX = static_cast<int>(static_cast<long long>(m_scroll) * w / m_total);
    m_thumb = XRect(thumbX, m_track.top, thumbX + thumbW - 1, m_track.bottom);
}

void XTabs::Draw(XGraphic& graphic)
{
    int w = GetWidth();
    int h = GetHeight();
    if (HasColour(0))
        graphic.FillRectangleColour(XRectangle(0, 0, w, h), GetColour(0));
    int count = VisibleCount();
    if (count == 0)
        return;
    graphic.SetFontPreset(fourcc("xfdf"));
    MeasureTabs(graphic, count);
    if (m_centred) {
        m_scrollable = false;
        m_scroll = -((w - m_total) / 2);
        DrawCentredBar(graphic, count);
        return;
    }
    m_scrollable = w < m_total;
    if (!m_scrollable)
        m_scroll = 0;
    PlaceScrollPart();
    for (int i = 0; i < count; ++i) {
        int x = m_tabs[i].start - m_scroll;
        if (x > w - 1)
            break;
        DrawTab(graphic, x, i, i == m_selected && IsEnabled());
    }
    if (m_scrollable) {
        graphic.FillRectangleColour(XRectangle(m_track.left, m_track.top, m_track.Width(), m_track.Height()),
                                    XColour::Scale(GetColour(1), 0.5f));
        graphic.FillRectangleColour(XRectangle(m_thumb.left, m_thumb.top, m_thumb.Width(), m_thumb.Height()),
                                    GetColour(1));
    }
}

void XTabs::DrawTab(XGraphic& graphic, int x, int i, bool selected)
{
    int w = m_tabs[i].width;
    int h = GetHeight();
    XColourValue colour = selected ? XColour::Make(124, 168, 255) : XColour::Make(180, 180, 200);
    int half = h / 2;
    graphic.FillRectangleColour(XRectangle(x, half, w, h - half), colour);
    graphic.GradientRectangle(XRectangle(x, 0, w, half), XColour::Scale(colour, 2.0f), XColour::Scale(colour, 1.1f));
    graphic.SetPen(XColour::Scale(colour, 2.2f));
    graphic.DrawLine(x + 2, 1, x + w - 3, 1);
    // Outline with cut corners, open at the bottom.
    graphic.SetPen(selected ? XColour::Make(0, 36, 178) : XColour::Make(123, 123, 123));
    graphic.DrawLine(x + 1, 0, x + w - 2, 0);
    graphic.DrawLine(x, 1, x, h - 1);
    graphic.DrawLine(x + w - 1, 1, x + w - 1, h - 1);
    graphic.SetPen(selected ? XColour::Make(74, 140, 216) : XColour::Make(202, 202, 202));
    graphic.DrawLine(x + 1, 2, x + 1, h - 1);
    if (const char* label = GetLabel(i)) {
        graphic.SetTextColour(m_tabs[i].disabled ? kDisabledLabel : kBlack);
        graphic.DrawString(label, x + 7, (h - 8) / 2);
    }
}

void XTabs::DrawCentredBar(XGraphic& graphic, int count)
{
    int h = GetHeight();
    int half = h / 2;
    int left = -m_scroll;
    for (int i = 0; i < count; ++i) {
        int x = left + m_tabs[i].start;
        int w = m_tabs[i].width;
        bool selected = i == m_selected && IsEnabled();
        if (selected) {
            graphic.GradientRectangle(XRectangle(x, 0, w, half), XColour::Make(203, 223, 244),
                                      XColour::Make(143, 189, 235));
            graphic.GradientRectangle(XRectangle(x, half, w, h - half), XColour::Make(105, 168, 232),
                                      XColour::Make(184, 240, 255));
            graphic.SetPen(XColour::Make(226, 236, 249));
            graphic.DrawLine(x + 1, 1, x + w - 2, 1);
            graphic.SetPen(XColour::Make(180, 236, 255));
            graphic.DrawLine(x + 1, h - 2, x + w - 2, h - 2);
        } else {
            graphic.GradientRectangle(XRectangle(x, 0, w, half), XColour::Make(236, 236, 236),
                                      XColour::Make(229, 229, 229));
            graphic.GradientRectangle(XRectangle(x, half, w, h - half), XColour::Make(217, 217, 217),
                                      XColour::Make(255, 255, 255));
            graphic.SetPen(XColour::Make(252, 252, 252));
            graphic.DrawLine(x + 1, 1, x + w - 2, 1);
        }
        if (i > 0) {
            graphic.SetPen(XColour::Make(100, 100, 100));
            graphic.DrawLine(x - 1, 1, x - 1, h - 2);
            graphic.SetPen(XColour::Make(160, 160, 160));
            graphic.DrawLine(x, 1, x, h - 2);
        }
        if (const char* label = GetLabel(i)) {
            graphic.SetTextColour(m_tabs[i].disabled ? kDisabledLabel : kBlack);
            graphic.DrawString(label, x + 6, (h - 10) / 2);
        }
    }
    graphic.SetPen(kBlack);
    int right = left + m_total - 1;
    graphic.DrawLine(left + 1, 0, right - 1, 0);
    graphic.DrawLine(left + 1, h - 1, right - 1, h - 1);
    graphic.DrawLine(left, 1, left, h - 2);
    graphic.DrawLine(right, 1, right, h - 2);
}

bool XTabs::OnMouseDown(XMouse& mouse)
{
    int x = mouse.LocalX();
    int y = mouse.LocalY();
    if (!m_scrollable || y < m_track.top) {
        int pos = x + m_scroll;
        int count = VisibleCount();
        for (int i = 0; i < count; ++i) {
            const Tab& tab = m_tabs[i];
            if (pos >= tab.start && pos < tab.start + tab.width) {
                if (!tab.disabled)
                    Select(i);
                break;
            }
        }
        return false;
    }
    if (x < m_track.left || x > m_track.right)
        return false;
    m_dragStartScroll = m_scroll;
    return true;
}

void XTabs::OnMouseDrag(XMouse& mouse)
{
    int thumbW = m_thumb.Width();
    if (!m_scrollable || thumbW <= 0)
        return;
    double ratio = static_cast<double>(m_track.Width()) / thumbW;
    int offset = m_dragStartScroll + static_cast<int>(mouse.DragX() * ratio);
    offset = std::clamp(offset, 0, std::max(m_maxScroll, 0));
    if (offset == m_scroll)
        return;
    m_scroll = offset;
    Invalidate();
}
