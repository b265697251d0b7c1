#include "kiv/gui/XView.h"

#include "kiv/gui/XBackend.h"
#include "kiv/gui/XFileNav.h"
#include "kiv/gui/XGraphic.h"
#include "kiv/gui/XMenu.h"
#include "kiv/gui/XWindow.h"

using namespace xconst;

XView::XView()
{
    SetPosition(100, 100);
    SetResizeMode(true, true, true, true);
    SetVisible(false);
}

XView::~XView()
{
    if (m_window) {
        // The listener is often the derived view itself, already destroyed
        // here: a dying view tells nobody that its window closed.
        SetListener(nullptr);
        m_window->Close(true);
        m_window.reset();
    }
    XView* waiting = m_waitingChild;
    XView* modal = m_modalChild;
    m_waitingChild = nullptr;
    m_modalChild = nullptr;
    delete waiting;
    delete modal;
}

void XView::ForgetControl(XControl* control)
{
    if (m_captured == control) {
        m_captured = nullptr;
        m_capturedFlag = 0;
    }
    if (m_hover == control) {
        m_hover = nullptr;
        m_hoverWantsMoves = 0;
    }
    if (m_lastPressed == control)
        m_lastPressed = nullptr;
    if (m_defaultButton == control)
        m_defaultButton = nullptr;
    if (m_cancelButton == control)
        m_cancelButton = nullptr;
}

bool XView::OpenWindow()
{
    m_closeRequested = 0;
    if (!m_window)
        m_window = std::make_unique<XWindow>(this);
    return m_window->Show();
}

void XView::Close(int result)
{
    m_closeResult = result;
    m_closeRequested = 1;
}

bool XView::TakeCloseRequest()
{
    if (!m_closeRequested)
        return false;
    m_closeRequested = 0;
    return true;
}

void XView::RequestSize(int w, int h)
{
    if (GetWidth() == 0 && GetHeight() == 0) {
        SetSize(w, h);
        return;
    }
    m_requestedW = w;
    m_requestedH = h;
    m_sizeRequested = 1;
}

void XView::TakeRequestedSize(int& dw, int& dh)
{
    dw = dh = 0;
    if (!m_sizeRequested)
        return;
    m_sizeRequested = 0;
    dw = m_requestedW - GetWidth();
    dh = m_requestedH - GetHeight();
    SetSize(m_requestedW, m_requestedH);
}

bool XView::TakeRaiseRequest()
{
    if (!m_raiseRequested)
        return false;
    m_raiseRequested = 0;
    return true;
}

void XView::SetSizeLimits(int minW, int maxW, int minH, int maxH)
{
    m_minW = minW;
    m_maxW = maxW;
    m_minH = minH;
    m_maxH = maxH;
}

void XView::GetSizeLimits(int& minW, int& maxW, int& minH, int& maxH) const
{
    if (m_minW && m_maxW) {
        minW = m_minW;
        maxW = m_maxW;
    } else {
        minW = maxW = GetWidth();
    }
    if (m_minH && m_maxH) {
        minH = m_minH;
        maxH = m_maxH;
    } else {
        minH = maxH = GetHeight();
    }
}

bool XView::ShellOpen(const char* path) { return XBackend::OpenDocument(path); }

void XView::PlaceModal()
{
    XView* child = m_modalChild;
    if (!child)
        return;
    int x = (GetWidth() - child->GetWidth()) / 2;
    int y;
    uint32_t vertical = child->GetFlags() & (kStretchHeight | kFollowV);
    if (vertical == kStretchHeight)
        y = 0;
    else if (vertical == kFollowV)
        y = GetHeight() - child->GetHeight();
    else
        y = (GetHeight() - child->GetHeight()) / 2;
    child->SetPosition(x, y);
}

void XView::OpenModal(XView* child, uint32_t tag)
{
    if (!child || child == this)
        return;
    if (tag)
        child->m_modalTag = tag;
    child->SetParentOnly(this);
    child->SetVisible(true);
    if (m_modalChild) {
        // One child waits; a child already waiting is closed in its favour.
        if (m_waitingChild) {
            XView* old = m_waitingChild;
            m_waitingChild = nullptr;
            OnModalClosed(old, 0);
            delete old;
        }
        m_waitingChild = child;
        m_modalChild->Close(0);
    } else {
        m_modalChild = child;
        PlaceModal();
    }
    child->OnShow();
}

void XView::OnWindowResized(int w, int h)
{
    int dw = w - GetWidth(), dh = h - GetHeight();
    if (dw == 0 && dh == 0)
        return;
    OnParentResized(dw, dh);
    PlaceModal();
    Invalidate();
}

XView* XView::Redirect(int& x, int& y, bool* aboveTop)
{
    XView* view = this;
    while (view->m_modalChild) {
        XView* child = view->m_modalChild;
        x -= child->GetX() - child->GetScrollX();
        y -= child->GetY() - child->GetScrollY();
        if (y < 0 && aboveTop)
            *aboveTop = true;
        view = child;
    }
    return view;
}

bool XView::HandleMouseDown(int x, int y, int button, bool shift, bool control)
{
    bool above = false;
    XView* target = Redirect(x, y, &above);
    if (above || !target->IsEnabled())
        return false;
    XMouse& mouse = target->m_mouse;
    mouse.Clear();
    mouse.SetPress(x, y, button);
    mouse.shift = shift;
    mouse.control = control;
    target->OnMouseDown(mouse);

    XControl* capturer = nullptr;
    XControl* current = target;
    int lx = x, ly = y;
    while (XControl* c = current->FindChildAt(lx, ly)) {
        int ox = c->GetX() - c->GetScrollX(), oy = c->GetY() - c->GetScrollY();
        mouse.Offset(ox, oy);
        if (c->OnMouseDown(mouse)) {
            capturer = c;
            break;
        }
        lx -= ox;
        ly -= oy;
        current = c;
    }
    if (capturer != target->m_captured && target->m_captured)
        target->m_captured->OnCaptureLost();
    target->m_captured = capturer;
    target->m_capturedFlag = capturer != nullptr;
    return capturer != nullptr;
}

void XView::HandleMouseMove(int x, int y, bool shift, bool control)
{
    XView* target = Redirect(x, y, nullptr);
    if (x == target->m_lastX && y == target->m_lastY)
        return;
    target->m_lastX = x;
    target->m_lastY = y;
    if (target->m_capturedFlag) {
        target->m_mouse.SetCurrent(x, y);
        target->m_mouse.shift = shift;
        target->m_mouse.control = control;
        if (target->m_captured)
            target->m_captured->OnMouseDrag(target->m_mouse);
        return;
    }
    target->UpdateHover(x, y, false);
}

void XView::HandleHover(int x, int y)
{
    for (XView* v = this; v; v = v->m_modalChild) {
        if (!v->m_hoverTracking)
            return;
    }
    XView* target = Redirect(x, y, nullptr);
    if (x == target->m_lastX && y == target->m_lastY)
        return;
    target->m_lastX = x;
    target->m_lastY = y;
    target->UpdateHover(x, y, true);
}

void XView::HandlePointerLeave()
{
    for (XView* v = this; v; v = v->m_modalChild) {
        v->m_lastX = v->m_lastY = xconst::kUnset;
        XControl* left = v->m_hover;
        if (!left)
            continue;
        v->m_hover = nullptr;
        v->m_hoverWantsMoves = 0;
        left->OnMouseLeave();
    }
}

void XView::UpdateHover(int x, int y, bool moves)
{
    XControl* candidate;
    int rx = x - m_hoverX, ry = y - m_hoverY;
    if (m_hover && m_hover->Contains(rx, ry))
        candidate = m_hover->FindControlAt(rx, ry);
    else
        candidate = FindControlAt(x, y);
    if (candidate != m_hover) {
        if (m_hover)
            m_hover->OnMouseLeave();
        m_hover = candidate;
        m_hoverWantsMoves = candidate && candidate->OnMouseEnter();
        m_hoverX = m_hoverY = 0;
        for (XControl* c = candidate; c && c != this; c = c->GetParent()) {
            m_hoverX += c->GetX() - c->GetScrollX();
            m_hoverY += c->GetY() - c->GetScrollY();
        }
    }
    if (moves && m_hover && m_hoverWantsMoves)
        m_hover->OnMouseHover(x - m_hoverX, y - m_hoverY);
}

void XView::HandleMouseUp(int x, int y, int button)
{
    (void)button;
    XView* target = Redirect(x, y, nullptr);
    target->m_capturedFlag = 0;
    target->m_mouse.SetCurrent(x, y);
    if (target->m_captured)
        target->m_captured->OnMouseUp(target->m_mouse);
}

bool XView::HandleDoubleClick(int x, int y)
{
    XView* target = Redirect(x, y, nullptr);
    XControl* current = target;
    while (XControl* c = current->FindChildAt(x, y)) {
        x -= c->GetX() - c->GetScrollX();
        y -= c->GetY() - c->GetScrollY();
        if (c->OnDoubleClick(x, y)) {
            // The capture moves to the handler: the control that held it
            // (an edit box being edited) must hear that it lost it.
            XControl* previous = target->m_captured;
            target->m_captured = c;
            if (previous && previous != c)
                previous->OnCaptureLost();
            return true;
        }
        current = c;
    }
    // Not a double click after all: the press that follows as a plain
    // mouse-down moves the capture (and tells the old holder).
    return false;
}

bool XView::TakeLeftPress(int x, int y, uint32_t timeMs)
{
    // The deepest control under the point, found as presses find it.
    XControl* at = Redirect(x, y, nullptr);
    while (XControl* c = at->FindChildAt(x, y)) {
        x -= c->GetX() - c->GetScrollX();
        y -= c->GetY() - c->GetScrollY();
        at = c;
    }
    // Two quick presses on different controls (the stack toggle, then the
    // name box beside it) are two single presses.
    bool quick =
        m_hadPress && at && at == m_lastPressed && timeMs - m_lastPressTime < static_cast<uint32_t>(kDoubleClickMs);
    m_hadPress = 1;
    m_lastPressTime = timeMs;
    m_lastPressed = at;
    return quick;
}

void XView::HandleWheel(int x, int y, int dx, int dy)
{
    XView* target = Redirect(x, y, nullptr);
    XControl* current = target;
    while (XControl* c = current->FindChildAt(x, y)) {
        if (c->OnWheel(x, y, dx, dy))
            return;
        x -= c->GetX() - c->GetScrollX();
        y -= c->GetY() - c->GetScrollY();
        current = c;
    }
}

bool XView::HandleKey(XKeyEvent& key)
{
    XView* target = this;
    while (target->m_modalChild)
        target = target->m_modalChild;
    // A disabled view (a window waiting for its work to end) takes no key,
    // as it takes no press: Return must not close it under that work.
    if (!target->IsEnabled())
        return true;
    if (target->m_captured && target->m_captured->OnKey(key))
        return true;
    if (key.code == kKeyReturn) {
        if (target->m_defaultButton)
            target->m_defaultButton->SimulateClick(0, 0);
        else if (target->m_dialog)
            target->Close(1);
        return true;
    }
    if (key.code == kKeyEscape) {
        if (target->m_cancelButton)
            target->m_cancelButton->SimulateClick(0, 0);
        else if (target->m_dialog)
            target->Close(0);
        return true;
    }
    return target->OnKey(key);
}

bool XView::Tick(int tickCount)
{
    // A menu's choice is answered here, outside the menu's own input.
    XMenu::Deliver();
    // At most one ring's worth per tick, so busy posters cannot hold the
    // GUI thread here.
    XEvent event;
    for (int i = 0; i < GetCapacity() && Pop(event); ++i) {
        // A file dialog's answer goes to whoever waits for it.
        if (!XFileNav::Deliver(event))
            OnEvent(event);
    }

    if (m_modalChild) {
        XView* child = m_modalChild;
        if (child->m_closeRequested) {
            child->m_captured = nullptr;
            child->m_hover = nullptr;
            m_modalChild = nullptr;
            Invalidate();
            OnModalClosed(child, child->m_closeResult);
            delete child;
            if (!m_waitingChild)
                return true;
            m_modalChild = m_waitingChild;
            m_waitingChild = nullptr;
            PlaceModal();
        }
        bool repaint = m_modalChild->Tick(tickCount);
        OnIdle();
        return repaint || IsChildDirty();
    }

    if (m_captured)
        m_captured->OnTick();
    OnIdle();
    if (tickCount > kHoverHoldTicks && m_hover) {
        if (m_hover->IsDeletePending())
            m_hover = nullptr;
        else
            m_hover->OnHoverHold(m_lastX, m_lastY);
    }
    return IsChildDirty() || IsDirty();
}

void XView::PaintTree(XGraphic& graphic, bool forced)
{
    TakeChildDirty();
    XRectangle bounds(0, 0, GetWidth(), GetHeight());
    bool pushed = graphic.PushClip(bounds);
    bool dirty = forced || IsDirty();
    SetFlag(kDrawn, dirty);
    if (dirty) {
        TakeDirty();
        Draw(graphic);
        graphic.AddDamage(bounds);
    }
    PaintChildren(graphic, dirty, bounds);
    if (pushed)
        graphic.PopClip();

    if (XView* child = m_modalChild) {
        if (child->HasRequestedSize()) {
            int dw, dh;
            child->TakeRequestedSize(dw, dh);
            PlaceModal();
        }
        int ox = child->GetX() - child->GetScrollX(), oy = child->GetY() - child->GetScrollY();
        graphic.OffsetOrigin(ox, oy);
        child->PaintTree(graphic, true);
        graphic.OffsetOrigin(-ox, -oy);
    }
}

XViewPop::XViewPop()
{
    SetColour(0, XColour::Make(189, 190, 196));
    SetColour(3, XColour::Make(0, 0, 0));
    SetColour(2, XColour::Make(240, 240, 240));
}

void XViewPop::Draw(XGraphic& g)
{
    int w = GetWidth(), h = GetHeight();
    XColourValue face = GetColour(0);
    g.SetBrush(GetColour(3));
    g.FillRoundRect(0, 0, w, h);
    g.SetBrush(XColour::Scale(face, 0.5f));
    g.FillRoundRect(1, 1, w - 2, h - 2);
    g.SetBrush(face);
    g.FillRoundRect(1, 2, w - 2, h - 3);
    const char* title = GetText();
    if (!title)
        return;
    bool pushed = g.PushClip(XRectangle(0, 0, w, 20));
    g.SetBrush(XColour::Scale(face, 0.2f));
    g.FillRoundRect(1, 1, w - 2, h - 2);
    if (pushed)
        g.PopClip();
    g.SetPen(XColour::Scale(face, 0.1f));
    g.DrawLine(1, 20, w - 2, 20);
    g.SetPen(XColour::Scale(face, 1.3f));
    g.DrawLine(1, 21, w - 2, 21);
    g.SetFont(11, kFontBold);
    g.SetTextColour(GetColour(2));
    g.DrawString(title, 7, 6);
}
