#include "kiv/gui/XControl.h"

#include <algorithm>

#include "kiv/gui/XGraphic.h"
#include "kiv/gui/XInput.h"
#include "kiv/gui/XListener.h"
#include "kiv/gui/XMenu.h"

using namespace xconst;

XControl::XControl()
{
    m_colours[0] = XColour::Make(140, 140, 150, 255);
}

XControl::XControl(XControl* parent, int x, int y, int w, int h)
{
    if (parent) {
        LinkChild(parent);
        // Negative positions count from the parent's right and bottom edges,
        // sizes of 0 or less from the parent's size.
        if (x < 0)
            x += parent->m_w;
        if (y < 0)
            y += parent->m_h;
        if (w <= 0)
            w += parent->m_w - x;
        if (h <= 0)
            h += parent->m_h - y;
    }
    m_x = x;
    m_y = y;
    m_w = w;
    m_h = h;
    Invalidate();
}

XControl::~XControl()
{
    // Views up the tree keep plain pointers to controls (capture, hover,
    // default and cancel buttons): they must not outlive the control.
    for (XControl* p = m_parent; p; p = p->m_parent)
        p->ForgetControl(this);
    // A menu waiting to answer this control goes with it.
    XMenu::ForgetWaiter(this);
    XControl* child = m_firstChild;
    m_firstChild = nullptr;
    while (child) {
        XControl* next = child->m_next;
        child->m_next = nullptr;
        delete child;
        child = next;
    }
    if (m_parent)
        m_parent->UnlinkChild(this);
}

void XControl::LinkChild(XControl* parent)
{
    m_parent = parent;
    m_next = nullptr;
    XControl** slot = &parent->m_firstChild;
    while (*slot)
        slot = &(*slot)->m_next;
    *slot = this;
    parent->OnChildAdded(this);
}

void XControl::UnlinkChild(XControl* child)
{
    for (XControl** slot = &m_firstChild; *slot; slot = &(*slot)->m_next) {
        if (*slot == child) {
            *slot = child->m_next;
            child->m_next = nullptr;
            return;
        }
    }
}

XControl* XControl::AddChild(XControl* control, int x, int y, int w, int h)
{
    if (!control || control == this)
        return control;
    if (control->m_parent)
        control->m_parent->UnlinkChild(control);
    control->m_parent = this;
    control->m_next = nullptr;
    XControl** slot = &m_firstChild;
    while (*slot)
        slot = &(*slot)->m_next;
    *slot = control;
    if (w != 0 && h != 0) {
        control->SetBounds(x, y, w, h);
        control->OnPlaced();
    }
    return control;
}

XControl* XControl::GetChild(int n) const
{
    if (n == -1) {
        XControl* last = m_firstChild;
        while (last && last->m_next)
            last = last->m_next;
        return last;
    }
    if (n < 0)
        return nullptr;
    XControl* child = m_firstChild;
    while (child && n-- > 0)
        child = child->m_next;
    return child;
}

int XControl::CountChildren() const
{
    int n = 0;
    for (XControl* c = m_firstChild; c; c = c->m_next)
        ++n;
    return n;
}

XControl* XControl::GetRoot()
{
    XControl* c = this;
    while (c->m_parent)
        c = c->m_parent;
    return c;
}

int XControl::Notify(int code, int value)
{
    if (!m_listener || !HasFlag(kNotifies))
        return 0;
    return m_listener->Notify(this, code, value);
}

void XControl::NotifyFrom(XControl* sender, int code, int value)
{
    if (m_listener && HasFlag(kNotifies))
        m_listener->Notify(sender, code, value);
}

uintptr_t XControl::GetWindowHandle()
{
    XControl* root = GetRoot();
    return root == this ? 0 : root->GetWindowHandle();
}

void XControl::StartMouseTracking()
{
    XControl* root = GetRoot();
    if (root != this)
        root->StartMouseTracking();
}

void XControl::Draw(XGraphic& graphic)
{
    if (m_colours[0])
        graphic.FillRectangleColour(GetLocalRectangle(), m_colours[0]);
    ApplyFont(graphic);
}

void XControl::OnParentResized(int dx, int dy)
{
    uint32_t flags = GetFlags();
    int dw = 0, dh = 0;
    if (flags & kFollowH) {
        if (flags & kStretchWidth) {
            m_w += dx;
            dw = dx;
        } else {
            m_x += dx;
        }
    }
    if (flags & kFollowV) {
        if (flags & kStretchHeight) {
            m_h += dy;
            dh = dy;
        } else {
            m_y += dy;
        }
    }
    if (dw == 0 && dh == 0)
        return;
    OnGeometryChanged();
    for (XControl* c = m_firstChild; c; c = c->m_next)
        c->OnParentResized(dw, dh);
}

void XControl::SetSize(int w, int h)
{
    if (w == 0)
        w = m_w;
    if (h == 0)
        h = m_h;
    if (w == m_w && h == m_h)
        return;
    int dw = w - m_w, dh = h - m_h;
    m_w = w;
    m_h = h;
    OnGeometryChanged();
    Invalidate();
    if (m_parent)
        m_parent->OnChildResized();
    for (XControl* c = m_firstChild; c; c = c->m_next)
        c->OnParentResized(dw, dh);
}

void XControl::SetBounds(int x, int y, int w, int h)
{
    m_x = x;
    m_y = y;
    SetSize(w, h);
}

void XControl::MoveResizeBy(int dx, int dy, int dw, int dh)
{
    m_x += dx;
    m_y += dy;
    if (dw == 0 && dh == 0)
        return;
    m_w += dw;
    m_h += dh;
    for (XControl* c = m_firstChild; c; c = c->m_next)
        c->OnParentResized(dw, dh);
    OnGeometryChanged();
}

void XControl::SetResizeMode(bool stretchW, bool stretchH, bool followH, bool followV)
{
    SetFlag(kStretchWidth, stretchW);
    SetFlag(kStretchHeight, stretchH);
    SetFlag(kFollowH, followH);
    SetFlag(kFollowV, followV);
}

XRectangle XControl::GetLocalRectangle() const
{
    XRectangle r(0, 0, m_w, m_h);
    if (m_scrollX || m_scrollY)
        r.Offset(m_scrollX, m_scrollY);
    return r;
}

int XControl::GetScreenX() const
{
    int x = 0;
    const XControl* c = this;
    for (; c->m_parent; c = c->m_parent)
        x += c->m_x - c->m_scrollX;
    return x + c->m_x;
}

int XControl::GetScreenY() const
{
    int y = 0;
    const XControl* c = this;
    for (; c->m_parent; c = c->m_parent)
        y += c->m_y - c->m_scrollY;
    return y + c->m_y;
}

XRect XControl::GetWindowRect() const
{
    int left = m_x - m_scrollX, top = m_y - m_scrollY;
    XRect r(std::max(left, 0), std::max(top, 0), left + m_w - 1, top + m_h - 1);
    for (const XControl* a = m_parent; a; a = a->m_parent) {
        r.right = std::min(r.right, a->m_w - 1);
        r.bottom = std::min(r.bottom, a->m_h - 1);
        if (a->m_parent)
            r.Offset(a->m_x - a->m_scrollX, a->m_y - a->m_scrollY);
    }
    return r;
}

XRect XControl::GetScreenRect() const
{
    XRect r = GetWindowRect();
    const XControl* root = this;
    while (root->m_parent)
        root = root->m_parent;
    r.Offset(root->m_x, root->m_y);
    return r;
}

void XControl::SetFlag(uint32_t bits, bool on)
{
    if (on)
        m_flags.fetch_or(bits, std::memory_order_relaxed);
    else
        m_flags.fetch_and(~bits, std::memory_order_relaxed);
}

void XControl::Show(bool show)
{
    if (IsVisible() == show)
        return;
    if (show) {
        OnShow();
        SetFlag(kVisible, true);
        Invalidate();
    } else {
        OnHide();
        SetFlag(kVisible, false);
        if (m_parent)
            m_parent->Invalidate();
    }
    PropagateVisible(show);
}

void XControl::SetEnabled(bool enabled)
{
    if (IsEnabled() == enabled)
        return;
    SetFlag(kEnabled, enabled);
    Invalidate();
}

void XControl::PropagateVisible(bool shown)
{
    SetFlag(kShown, shown);
    OnVisibilityChanged(shown);
    for (XControl* c = m_firstChild; c; c = c->m_next)
        c->PropagateVisible(shown);
}

void XControl::Invalidate()
{
    // Release stores: a tick that sees an ancestor's mark also sees the
    // control's own mark and the values stored before it.
    m_dirty.store(1, std::memory_order_release);
    for (XControl* p = m_parent; p; p = p->m_parent)
        p->m_childDirty.store(1, std::memory_order_release);
}

bool XControl::NeedsFullRedraw() const
{
    return HasFlag(kFullRedraw) || (m_parent && m_parent->WasDrawn());
}

void XControl::SetColour(int slot, XColourValue colour)
{
    if (slot >= 0 && slot < 4)
        m_colours[slot] = colour;
}

void XControl::ApplyFont(XGraphic& graphic)
{
    if (m_fontSize != 0)
        graphic.SetFont(m_fontSize, m_fontStyle);
}

void XControl::ApplyTheme(const XTheme& theme)
{
    for (int i = 0;; ++i) {
        const XTheme::Entry* entry = theme.GetEntry(i);
        if (!entry)
            break;
        SetColour(entry->slot, entry->colour);
    }
}

void XControl::SimulateClick(int x, int y)
{
    // As a pointer's press: a control in a disabled parent takes none.
    for (const XControl* c = this; c; c = c->m_parent)
        if (!c->IsEnabled())
            return;
    XMouse mouse;
    mouse.SetPress(x, y, 0);
    OnMouseDown(mouse);
    OnMouseUp(mouse);
}

XControl* XControl::FindChildAt(int x, int y)
{
    for (XControl* c = m_firstChild; c; c = c->m_next) {
        if (!c->IsHittable() || c->IsDeletePending())
            continue;
        int cx = c->m_x - c->m_scrollX, cy = c->m_y - c->m_scrollY;
        if (x >= cx && x < cx + c->m_w && y >= cy && y < cy + c->m_h)
            return c;
    }
    return nullptr;
}

XControl* XControl::FindDeepestAt(int x, int y)
{
    if (!IsHittable() || IsDeletePending())
        return nullptr;
    int lx = x - (m_x - m_scrollX), ly = y - (m_y - m_scrollY);
    if (lx < 0 || ly < 0 || lx >= m_w || ly >= m_h)
        return nullptr;
    for (XControl* c = m_firstChild; c; c = c->m_next) {
        if (XControl* hit = c->FindDeepestAt(lx, ly))
            return hit;
    }
    return this;
}

XControl* XControl::FindControlAt(int x, int y)
{
    if (!IsHittable() || IsDeletePending() || !Contains(x, y))
        return nullptr;
    for (XControl* c = m_firstChild; c; c = c->m_next) {
        if (XControl* hit = c->FindDeepestAt(x, y))
            return hit;
    }
    return this;
}

void XControl::Paint(XGraphic& graphic, bool forced, const XRectangle& clip)
{
    if (!IsVisible() || m_w <= 0 || m_h <= 0)
        return;
    SetFlag(kDrawn, false);
    bool dirty = forced || IsDirty();
    bool childDirty = TakeChildDirty();
    if (!dirty && !childDirty)
        return;

    // The clip in this control's coordinates, cut to its bounds.
    int ox = m_x - m_scrollX, oy = m_y - m_scrollY;
    XRectangle r = clip;
    r.Offset(-ox, -oy);
    if (r.x + r.width < 0 || r.y + r.height < 0 || r.x > m_w || r.y > m_h)
        return;
    if (r.x < 0) {
        r.width += r.x;
        r.x = 0;
    }
    if (r.y < 0) {
        r.height += r.y;
        r.y = 0;
    }
    r.width = std::min(r.width, m_w - r.x);
    r.height = std::min(r.height, m_h - r.y);

    graphic.OffsetOrigin(ox, oy);
    bool pushed = m_clips && graphic.PushClip(r);
    bool forceChildren = false;
    if (dirty) {
        int marks = graphic.GetDamageMarks();
        // Cleared before drawing: a mark made while drawing (another thread
        // storing a value) is drawn at the next pass.
        m_dirty.store(0, std::memory_order_relaxed);
        // No control paints outside its own rectangle (a label too long for
        // it, a scrolled row): what lies there belongs to other controls.
        bool drawClip = !pushed && graphic.PushClip(r);
        Draw(graphic);
        if (drawClip)
            graphic.PopClip();
        SetFlag(kFullRedraw, false);
        SetFlag(kDrawn, true);
        forceChildren = true;
        // A control that told what it changed (a meter's few segments) has
        // given its own damage.
        if (graphic.GetDamageMarks() == marks)
            graphic.AddDamage(r);
    }
    PaintChildren(graphic, forceChildren, r);
    if (pushed)
        graphic.PopClip();
    graphic.OffsetOrigin(-ox, -oy);
}

void XControl::PaintChildren(XGraphic& graphic, bool forced, const XRectangle& clip)
{
    XControl* prev = nullptr;
    XControl* c = m_firstChild;
    while (c) {
        if (c->IsDeletePending()) {
            XControl* next = c->m_next;
            if (prev)
                prev->m_next = next;
            else
                m_firstChild = next;
            c->m_next = nullptr;
            delete c;
            c = next;
            continue;
        }
        c->Paint(graphic, forced, clip);
        prev = c;
        c = c->m_next;
    }
}

bool XControl::PopupMenu(std::unique_ptr<XMenu> menu, int x, int y, std::function<void(int menuId, int value)> answer)
{
    XRect screen = GetScreenRect();
    return XMenu::Open(std::move(menu), this, screen.left + x, screen.top + y, std::move(answer));
}
