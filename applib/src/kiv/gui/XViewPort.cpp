#include "kiv/gui/XViewPort.h"

#include <algorithm>

#include "kiv/gui/XScrollBar.h"

using namespace xconst;

XClipView::XClipView()
{
    SetColour(0, XColour::Make(0, 0, 0));
    SetColour(3, XColour::Make(80, 80, 80));
    SetClips(true);
}

void XClipView::OnChildResized()
{
    if (m_port)
        m_port->UpdateLayout();
}

XViewPort::XViewPort(XControl* parent, int x, int y, int w, int h) : XControl(parent, x, y, w, h)
{
    SetColour(0, XColour::Make(0, 0, 0));
}

void XViewPort::SetContent(XControl* content)
{
    if (!content || m_content)
        return;
    m_clip = new XClipView();
    m_clip->m_port = this;
    AddChild(m_clip, 0, 0, GetWidth(), GetHeight());
    m_content = content;
    content->SetSize(GetWidth(), GetHeight());
    m_clip->AddChild(content, 0, 0, GetWidth(), GetHeight());
    UpdateLayout();
}

void XViewPort::CreateScrollBars(bool horizontal, bool vertical)
{
    int w = GetWidth(), h = GetHeight();
    auto make = [this](int x, int y, int bw, int bh) {
        XScrollBar* bar = new XScrollBar(this, x, y, bw, bh);
        bar->SetColour(0, GetColour(0));
        bar->SetColour(3, GetColour(3));
        bar->SetListener(this);
        bar->SetVisible(false);
        return bar;
    };
    if (horizontal && !m_hbar)
        m_hbar = make(0, h - kScrollBarSize, w, kScrollBarSize);
    if (vertical && !m_vbar)
        m_vbar = make(w - kScrollBarSize, 0, kScrollBarSize, h);
    UpdateLayout();
}

void XViewPort::SetSize(int w, int h)
{
    XControl::SetSize(w, h);
    UpdateLayout();
}

void XViewPort::OnGeometryChanged() { UpdateLayout(); }

void XViewPort::UpdateLayout()
{
    if (!m_content || !m_clip)
        return;
    int cw = m_content->GetWidth(), ch = m_content->GetHeight();
    int w = GetWidth(), h = GetHeight();
    bool needV = m_vbar && h < ch;
    bool needH = m_hbar && w < cw;
    // One bar takes room from the other axis, which may then need its bar too.
    if (needV != needH) {
        if (needH)
            needV = m_vbar && h - (kScrollBarSize - 1) < ch;
        else
            needH = m_hbar && w - (kScrollBarSize - 1) < cw;
    }
    int clipW = needV ? w - kScrollBarSize : w;
    int clipH = needH ? h - kScrollBarSize : h;
    m_clip->SetBounds(0, 0, clipW, clipH);

    if (m_hbar) {
        if (needH) {
            if (!m_hbar->IsVisible())
                m_hbar->Show(true);
            m_hbar->SetBounds(0, h - kScrollBarSize, clipW, kScrollBarSize);
            ScrollToX(m_content->GetScrollX());
        } else {
            m_hbar->Show(false);
            ScrollToX(0);
        }
        m_hbar->SetRange(cw);
    }
    if (m_vbar) {
        if (needV) {
            if (!m_vbar->IsVisible())
                m_vbar->Show(true);
            m_vbar->SetBounds(w - kScrollBarSize, 0, kScrollBarSize, clipH);
            ScrollToY(m_content->GetScrollY());
        } else {
            m_vbar->Show(false);
            ScrollToY(0);
        }
        m_vbar->SetRange(ch);
    }
    Invalidate();
}

void XViewPort::ScrollToX(int position)
{
    if (!m_hbar || !m_content || !m_clip)
        return;
    int limit = std::max(0, m_content->GetWidth() - m_clip->GetWidth());
    position = std::clamp(position, 0, limit);
    if (position == m_scrollPosX)
        return;
    m_scrollPosX = position;
    m_content->SetScrollOffset(m_scrollPosX, m_scrollPosY);
    m_hbar->SetPosition(position);
    Invalidate();
}

void XViewPort::ScrollToY(int position)
{
    if (!m_vbar || !m_content || !m_clip)
        return;
    int limit = std::max(0, m_content->GetHeight() - m_clip->GetHeight());
    position = std::clamp(position, 0, limit);
    if (position == m_scrollPosY)
        return;
    m_scrollPosY = position;
    m_content->SetScrollOffset(m_scrollPosX, m_scrollPosY);
    m_vbar->SetPosition(position);
    Invalidate();
}

int XViewPort::Notify(XControl* sender, int code, int value)
{
    if (!m_clip || (sender != m_hbar && sender != m_vbar) || !sender)
        return 0;
    bool horizontal = sender == m_hbar;
    int position = horizontal ? m_scrollPosX : m_scrollPosY;
    int page = horizontal ? m_clip->GetWidth() : m_clip->GetHeight();
    int step = horizontal ? m_stepX : m_stepY;
    int to;
    switch (static_cast<uint32_t>(code)) {
    case kScrollThumb:
        to = value;
        break;
    case kScrollPageNext:
        to = position + page;
        break;
    case kScrollPagePrev:
        to = position - page;
        break;
    case kScrollStepInc:
        to = position + step;
        break;
    case kScrollStepDec:
        to = position - step;
        break;
    default:
        to = 0;
        break;
    }
    if (horizontal)
        ScrollToX(to);
    else
        ScrollToY(to);
    return 0;
}

bool XViewPort::OnWheel(int x, int y, int dx, int dy)
{
    (void)x;
    (void)y;
    if (dx != 0)
        ScrollToX(m_scrollPosX - dx);
    if (dy != 0)
        ScrollToY(m_scrollPosY - dy);
    return true;
}

void XViewPort::ForgetControl(XControl* control)
{
    // A part deleted on its own (rather than with the viewport) must not be
    // used afterwards.
    if (control == m_content)
        m_content = nullptr;
    else if (control == m_clip)
        m_clip = nullptr;
    else if (control == m_hbar)
        m_hbar = nullptr;
    else if (control == m_vbar)
        m_vbar = nullptr;
}

XScrollView::XScrollView(XControl* parent, int x, int y, int w, int h) : XControl(parent, x, y, w, h)
{
    // The viewport takes this control's place in the parent; moving this
    // control into the viewport's clip view takes it out of the parent's list.
    m_port = new XViewPort(parent, x, y, w, h);
    m_port->SetContent(this);
}

void XScrollView::SetScrollBars(bool horizontal, bool vertical)
{
    if (m_port)
        m_port->CreateScrollBars(horizontal, vertical);
}
