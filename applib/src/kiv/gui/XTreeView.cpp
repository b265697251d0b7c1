#include "kiv/gui/XTreeView.h"

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <new>

#include "kiv/gui/XGraphic.h"
#include "kiv/gui/XInput.h"

using namespace xconst;

namespace {
constexpr int kFirstIndent = 4;
constexpr int kExpanderWidth = 9;  // pixels of the expander from a node's indent
constexpr char kSeparator = '/';
}  // namespace

XTreeView::XTreeView(XControl* parent, int x, int y, int w, int h) : XScrollView(parent, x, y, w, h)
{
    SetColour(0, XColour::Make(50, 60, 80));
    SetColour(1, XColour::Make(50, 60, 180));
    SetColour(2, XColour::Make(220, 220, 190));
    SetColour(3, XColour::Make(50, 60, 80));
    SetScrollBars(false, true);
}

XTreeView::~XTreeView() { DeleteNodes(m_root.firstChild); }

XTreeView::Node* XTreeView::CreateNode(Node* parent, const char* name, int value, int flags)
{
    if (!name)
        name = "";
    size_t length = std::strlen(name);
    void* memory = ::operator new(offsetof(Node, name) + length + 1);
    Node* node = static_cast<Node*>(memory);
    node->next = nullptr;
    node->parent = parent ? parent : &m_root;
    node->firstChild = nullptr;
    node->flags = flags;
    node->value = value;
    std::memcpy(node->name, name, length + 1);
    return node;
}

void XTreeView::DeleteNodes(Node* first)
{
    while (first) {
        Node* next = first->next;
        DeleteNodes(first->firstChild);
        ::operator delete(first);
        first = next;
    }
}

XTreeView::Node* XTreeView::AddFolder(Node* parent, const char* name, int value)
{
    Node* node = CreateNode(parent, name, value, kFolder);
    InsertNode(node->parent, node);
    return node;
}

XTreeView::Node* XTreeView::AddItem(Node* parent, const char* name, int value)
{
    Node* node = CreateNode(parent, name, value, kLeaf);
    InsertNode(node->parent, node);
    return node;
}

int XTreeView::CompareNames(const char* a, const char* b)
{
    for (;; ++a, ++b) {
        signed char ca = static_cast<signed char>(*a), cb = static_cast<signed char>(*b);
        if (ca >= 'A' && ca <= 'Z')
            ca = static_cast<signed char>(ca + ('a' - 'A'));
        if (cb >= 'A' && cb <= 'Z')
            cb = static_cast<signed char>(cb + ('a' - 'A'));
        if (ca != cb)
            return ca < cb ? -1 : 1;
        if (ca == 0)
            return 0;
    }
}

void XTreeView::InsertNode(Node* parent, Node* node)
{
    Node** slot = &parent->firstChild;
    if (m_sorted) {
        // After the last child that sorts before or with it.
        Node** after = nullptr;
        for (Node** s = &parent->firstChild; *s; s = &(*s)->next) {
            if (CompareNames((*s)->name, node->name) <= 0)
                after = &(*s)->next;
        }
        slot = after ? after : &parent->firstChild;
    } else {
        while (*slot)
            slot = &(*slot)->next;
    }
    node->next = *slot;
    *slot = node;
    ResizeToRows();
}

void XTreeView::Clear()
{
    DeleteNodes(m_root.firstChild);
    m_root.firstChild = nullptr;
    m_current = nullptr;
    m_pressed = nullptr;
    m_pressedFlag = 0;
    m_firstVisible = 0;
    m_rows = 0;
    ++m_clears;
    ResizeToRows();
    Repaint();
}

int XTreeView::CountRows(const Node* node)
{
    int rows = 1;
    if (node->Has(kExpanded)) {
        for (const Node* c = node->firstChild; c; c = c->next)
            rows += CountRows(c);
    }
    return rows;
}

void XTreeView::ResizeToRows()
{
    // Counted afresh: a node added inside a closed folder adds no row.
    m_rows = 0;
    for (const Node* n = m_root.firstChild; n; n = n->next)
        m_rows += CountRows(n);
    int h = m_rows * kRowHeight + kRowTop;
    // Never shorter than the clip view, so clicks below the rows still reach the view.
    if (XControl* clip = GetParent())
        h = std::max(h, clip->GetHeight());
    SetSize(GetWidth(), h);
}

void XTreeView::Repaint()
{
    if (m_port)
        m_port->Invalidate();
    else
        Invalidate();
}

bool XTreeView::SetRootPath(const char* text)
{
    if (!text)
        text = "";
    size_t length = std::strlen(text);
    if (length >= sizeof m_rootPath)
        return false;
    std::memcpy(m_rootPath, text, length + 1);
    return true;
}

const char* XTreeView::GetPath(Node* node)
{
    std::memset(m_path, 0, sizeof m_path);
    if (!node || node == &m_root)
        return m_path;
    // Built from the end of the buffer backwards.
    size_t end = sizeof m_path - 1;
    size_t at = end;
    auto put = [&](const char* text, size_t length) {
        if (length > at)
            return false;
        at -= length;
        std::memcpy(m_path + at, text, length);
        return true;
    };
    bool fits = true;
    if (node->Has(kFolder) && !(node->name[0] && node->name[std::strlen(node->name) - 1] == kSeparator))
        fits = put(&kSeparator, 1);
    for (Node* n = node; fits && n && n != &m_root; n = n->parent) {
        fits = put(n->name, std::strlen(n->name));
        Node* up = n->parent;
        if (fits && up && up != &m_root) {
            size_t upLength = std::strlen(up->name);
            // A parent whose name ends in the separator (the drive "/") needs no other.
            if (upLength == 0 || up->name[upLength - 1] != kSeparator)
                fits = put(&kSeparator, 1);
        }
    }
    if (fits)
        fits = put(m_rootPath, std::strlen(m_rootPath));
    if (!fits) {
        std::memset(m_path, 0, sizeof m_path);
        return m_path;
    }
    std::memmove(m_path, m_path + at, end - at);
    std::memset(m_path + (end - at), 0, sizeof m_path - (end - at));
    return m_path;
}

int XTreeView::GetSelectedCount() const
{
    if (!m_current)
        return 0;
    if (!m_multi)
        return 1;
    int n = 0;
    for (const Node* s = m_current->parent->firstChild; s; s = s->next)
        n += s->Has(kSelected) ? 1 : 0;
    return n;
}

XTreeView::Node* XTreeView::GetSelectedAt(int n) const
{
    if (!m_current || !m_multi)
        return m_current;
    for (Node* s = m_current->parent->firstChild; s; s = s->next) {
        if (s->Has(kSelected) && n-- == 0)
            return s;
    }
    return nullptr;
}

XTreeView::Node* XTreeView::NodeAtRow(int row, int* indent) const
{
    if (row < 0)
        return nullptr;
    // Depth-first without recursion: the links lead back up.
    int level = 0;
    Node* n = m_root.firstChild;
    while (n) {
        if (row-- == 0) {
            if (indent)
                *indent = kFirstIndent + kTreeIndent * level;
            return n;
        }
        if (n->Has(kExpanded) && n->firstChild) {
            n = n->firstChild;
            ++level;
            continue;
        }
        while (n && !n->next && n->parent != &m_root) {
            n = n->parent;
            --level;
        }
        n = n ? n->next : nullptr;
    }
    return nullptr;
}

XTreeView::Node* XTreeView::NodeAtY(int y, int* indent) const
{
    if (y < kRowTop)
        return nullptr;
    return NodeAtRow((y - kRowTop) / kRowHeight, indent);
}

void XTreeView::ClearSelection(Node* first)
{
    for (Node* n = first; n; n = n->next) {
        n->flags &= ~kSelected;
        ClearSelection(n->firstChild);
    }
}

void XTreeView::ClearSelection()
{
    if (m_multi)
        ClearSelection(m_root.firstChild);
    else if (m_current)
        m_current->flags &= ~kSelected;
}

void XTreeView::Draw(XGraphic& graphic)
{
    XControl::Draw(graphic);
    graphic.SetFont(11, 0);
    XControl* clip = GetParent();
    int top = GetScrollY();
    int bottom = top + (clip ? clip->GetHeight() : GetHeight()) - 1;
    m_firstVisible = std::max(0, (top - kRowTop) / kRowHeight);
    m_lastVisible = (bottom - kRowTop) / kRowHeight;
    m_drawY = kRowTop;
    m_drawRow = 0;
    m_dragImage = 0;
    for (Node* n = m_root.firstChild; n; n = n->next)
        DrawNode(graphic, n, kFirstIndent);
    if (HasColour(3)) {
        graphic.SetPen(GetColour(3));
        graphic.DrawFrame(GetScrollX(), top, clip ? clip->GetWidth() : GetWidth(), bottom - top + 1);
    }
}

void XTreeView::DrawNode(XGraphic& graphic, Node* node, int indent)
{
    if (m_drawRow >= m_firstVisible && m_drawRow <= m_lastVisible) {
        if (!m_dragImage && node->Has(kFolder) && !node->Has(kLeaf)) {
            const XPic& pic = node->Has(kExpanded) ? m_openPic : m_closedPic;
            if (pic.IsLoaded())
                graphic.DrawPic(pic, indent, m_drawY + 2);
        }
        if (!m_dragImage || node->Has(kSelected))
            DrawNodeLabel(graphic, node, indent, m_drawY);
    }
    ++m_drawRow;
    m_drawY += kRowHeight;
    if (node->Has(kExpanded)) {
        for (Node* c = node->firstChild; c; c = c->next)
            DrawNode(graphic, c, indent + kTreeIndent);
    }
}

void XTreeView::DrawNodeLabel(XGraphic& graphic, Node* node, int x, int y)
{
    if (GetCount() > 0) {
        XPicTable::Draw(graphic, node->value, x + 14, y);
        x += 20;
    }
    XColourValue text = GetColour(2);
    if (node->Has(kSelected)) {
        XSize size = graphic.GetTextSize(node->name);
        graphic.FillRectangleColour(XRectangle(x + 18, y + 1, size.width + 5, size.height + 4), GetColour(1));
        text = XColour::Invert(GetColour(1));
    }
    if (m_dragImage)
        text = XColour::Make(127, 127, 96);
    graphic.SetTextColour(text);
    graphic.DrawString(node->name, x + 16, y + 2);
}

void XTreeView::DrawDragImage(XGraphic& graphic)
{
    m_dragImage = 1;
    m_drawY = kRowTop;
    m_drawRow = 0;
    for (Node* n = m_root.firstChild; n; n = n->next)
        DrawNode(graphic, n, kFirstIndent);
    m_dragImage = 0;
}

bool XTreeView::OnMouseDown(XMouse& mouse)
{
    // Another button pressed during a drag abandons it.
    CancelDrag();
    int indent = 0;
    Node* node = NodeAtY(mouse.LocalY(), &indent);
    m_pressed = node;
    m_pressedFlag = 0;
    bool dragSource = GetDragKind() != 0;
    bool modified = mouse.shift || mouse.control;

    if (!node) {
        if (!m_current || (m_multi && modified))
            return false;
        ClearSelection();
        m_current = nullptr;
        Repaint();
        OnNodeChosen(nullptr);
        return false;
    }

    int x = mouse.LocalX();
    if (x >= indent && x <= indent + kExpanderWidth && node->Has(kFolder) && !node->Has(kLeaf)) {
        if (node->Has(kExpanded)) {
            node->flags &= ~kExpanded;
        } else {
            node->flags |= kExpanded;
            if (!node->firstChild) {
                uint32_t clears = m_clears;
                FillFolder(node);
                if (clears != m_clears)
                    return false;  // the fill emptied the tree
                // Found empty: shown as a leaf and never filled again.
                if (!node->firstChild)
                    node->flags |= kLeaf;
            }
        }
        m_pressed = nullptr;
        ResizeToRows();
        Repaint();
        return false;
    }

    if (node->Has(kSelected) && !modified)
        return dragSource;

    if (m_multi && modified && m_current) {
        if (node->parent != m_current->parent)
            return false;  // only siblings are selected together
        if (mouse.shift) {
            bool inside = false;
            for (Node* s = node->parent->firstChild; s; s = s->next) {
                bool end = s == node || s == m_current;
                bool select = inside || end;
                if (end && node != m_current)
                    inside = !inside;
                if (select)
                    s->flags |= kSelected;
                else
                    s->flags &= ~kSelected;
            }
        } else {
            node->flags ^= kSelected;
        }
        Repaint();
        return dragSource;
    }

    ClearSelection();
    m_current = node;
    node->flags |= kSelected;
    Repaint();
    m_pressedFlag = 1;
    return dragSource;
}

void XTreeView::OnMouseDrag(XMouse& mouse)
{
    int x = mouse.LocalX(), y = mouse.LocalY();
    if (IsDragging()) {
        MoveDrag(x, y);
        return;
    }
    if (!m_pressed || GetDragKind() == 0)
        return;
    if (std::abs(mouse.DragX()) > kTreeDragDistance || std::abs(mouse.DragY()) > kTreeDragDistance)
        StartDrag(this, x, y);
}

void XTreeView::OnCaptureLost()
{
    CancelDrag();
    m_pressed = nullptr;
    m_pressedFlag = 0;
}

void XTreeView::OnMouseUp(XMouse& mouse)
{
    if (IsDragging()) {
        EndDrag(mouse.LocalX(), mouse.LocalY());
        m_pressedFlag = 0;
        return;
    }
    if (!m_pressedFlag || !m_pressed) {
        m_pressedFlag = 0;
        return;
    }
    m_pressedFlag = 0;
    Node* node = m_pressed;
    uint32_t clears = m_clears;
    if (!node->Has(kLeaf) && !node->firstChild) {
        FillFolder(node);
        if (clears != m_clears)
            return;
        if (!node->firstChild)
            node->flags |= kLeaf;
    }
    node->flags |= kExpanded;
    OnNodeChosen(node);
    if (clears == m_clears)
        ResizeToRows();
    Repaint();
}

bool XTreeView::OnDoubleClick(int x, int y)
{
    (void)x;
    m_pressed = NodeAtY(y, nullptr);
    OnNodeActivated(m_pressed);
    return true;
}

bool XTreeView::OnKey(XKeyEvent& key)
{
    if (!m_current || (key.code != kKeyUp && key.code != kKeyDown))
        return false;
    ClearSelection();
    m_current = nullptr;
    Repaint();
    return true;
}
