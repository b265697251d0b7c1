#include "kiv/gui/XListView.h"

#include <algorithm>
#include <cstdlib>

#include "kiv/gui/XGraphic.h"
#include "kiv/gui/XInput.h"

using namespace xconst;

XListView::XListView(XControl* parent, int x, int y, int w, int h) : XScrollView(parent, x, y, w, h)
{
    SetColour(0, XColour::Make(255, 255, 255));
    SetColour(1, XColour::Make(0, 0, 120));
    SetColour(2, XColour::Make(0, 0, 0));
    SetColour(3, XColour::Make(40, 40, 40));
    SetScrollBars(false, true);
}

XListView::~XListView()
{
    XListItem* item = m_first;
    while (item) {
        XListItem* next = item->next;
        delete item;
        item = next;
    }
}

bool XListView::OnItemClick(XListItem* item, int x, int y)
{
    (void)item;
    (void)x;
    (void)y;
    return false;
}

bool XListView::OnItemActivated(XListItem* item, int x, int y)
{
    (void)item;
    (void)x;
    (void)y;
    return false;
}

int XListView::CompareItems(XListItem* a, XListItem* b, int column)
{
    (void)a;
    (void)b;
    (void)column;
    return 0;
}

void XListView::Repaint()
{
    if (m_port)
        m_port->Invalidate();
    else
        Invalidate();
}

int XListView::RowAtY(int y)
{
    // Rows are drawn from y 4 on; the strip above them holds no row.
    if (y < kRowTop)
        return -1;
    return (y - kRowTop) / kRowHeight;
}

XRect XListView::GetVisibleRect() const
{
    XControl* clip = GetParent();
    int w = clip ? clip->GetWidth() : GetWidth();
    int h = clip ? clip->GetHeight() : GetHeight();
    return XRect(GetScrollX(), GetScrollY(), GetScrollX() + w - 1, GetScrollY() + h - 1);
}

void XListView::ResizeToFit(int w, int h)
{
    if (XControl* clip = GetParent()) {
        w = std::max(w, clip->GetWidth());
        h = std::max(h, clip->GetHeight());
    }
    SetSize(w, h);
}

void XListView::AddItem(XListItem* item)
{
    if (!item)
        return;
    item->next = nullptr;
    XListItem** slot = &m_first;
    while (*slot)
        slot = &(*slot)->next;
    *slot = item;
    ++m_count;
    ResizeToFit(GetWidth(), m_count * kRowHeight + kRowTop);
}

void XListView::RemoveItem(XListItem* item)
{
    for (XListItem** slot = &m_first; *slot; slot = &(*slot)->next) {
        if (*slot != item)
            continue;
        *slot = item->next;
        if (m_current == item)
            m_current = nullptr;
        if (m_pressed == item)
            m_pressed = nullptr;
        delete item;
        --m_count;
        Repaint();
        return;
    }
}

void XListView::Clear()
{
    if (!m_first)
        return;
    m_current = nullptr;
    m_pressed = nullptr;
    XListItem* item = m_first;
    m_first = nullptr;
    while (item) {
        XListItem* next = item->next;
        delete item;
        item = next;
    }
    m_firstVisible = 0;
    m_count = 0;
    ResizeToFit(GetWidth(), 10);
    Repaint();
}

XListItem* XListView::GetItem(int index) const
{
    if (index < 0)
        return nullptr;
    XListItem* item = m_first;
    while (item && index-- > 0)
        item = item->next;
    return item;
}

int XListView::IndexOf(const XListItem* item) const
{
    int i = 0;
    for (XListItem* it = m_first; it; it = it->next, ++i) {
        if (it == item)
            return i;
    }
    return -1;
}

int XListView::GetSelectedCount() const
{
    if (!m_multi)
        return m_current ? 1 : 0;
    int n = 0;
    for (XListItem* it = m_first; it; it = it->next)
        n += it->selected ? 1 : 0;
    return n;
}

XListItem* XListView::GetSelected(int n) const
{
    if (!m_multi)
        return m_current;
    for (XListItem* it = m_first; it; it = it->next) {
        if (it->selected && n-- == 0)
            return it;
    }
    return m_current;
}

XListItem* XListView::ItemAtY(int y) const
{
    int row = RowAtY(y);
    return row < 0 ? nullptr : GetItem(row);
}

void XListView::UnselectAll()
{
    for (XListItem* it = m_first; it; it = it->next)
        it->selected = 0;
}

void XListView::Select(int index)
{
    XListItem* item = GetItem(index);
    if (!item)
        return;
    if (m_multi)
        UnselectAll();
    else if (m_current)
        m_current->selected = 0;
    m_current = item;
    m_currentRow = index;
    item->selected = 1;

    // Bring the row into view when it lies outside the shown rows.
    XRect visible = GetVisibleRect();
    int rows = visible.Height() / kRowHeight;
    m_firstVisible = std::max(0, (visible.top - kRowTop) / kRowHeight);
    m_lastVisible = rows + m_firstVisible;
    if (m_lastVisible < index)
        m_firstVisible = index - rows + 1;
    if (m_port) {
        int top = index * kRowHeight + kRowTop;
        if (top < visible.top)
            m_port->ScrollToY(top - kRowTop);
        else if (top + kRowHeight > visible.bottom + 1)
            m_port->ScrollToY(top + kRowHeight - visible.Height());
    }
    Repaint();
}

void XListView::Sort(int direction, int column)
{
    if (m_count < 2)
        return;
    XListItem* sorted = nullptr;
    XListItem* item = m_first;
    while (item) {
        XListItem* next = item->next;
        XListItem** slot = &sorted;
        while (*slot && CompareItems(item, *slot, column) != -direction)
            slot = &(*slot)->next;
        item->next = *slot;
        *slot = item;
        item = next;
    }
    m_first = sorted;
    Repaint();
}

void XListView::Draw(XGraphic& graphic)
{
    XControl::Draw(graphic);
    XRect visible = GetVisibleRect();
    m_firstVisible = std::max(0, (visible.top - kRowTop) / kRowHeight);
    m_lastVisible = (visible.bottom - kRowTop) / kRowHeight;
    graphic.SetTextColour(GetColour(2));
    graphic.SetFont(11, 0);
    int row = 0;
    for (XListItem* it = m_first; it && row <= m_lastVisible; it = it->next, ++row) {
        if (row >= m_firstVisible)
            DrawItem(it, graphic, row * kRowHeight + kRowTop);
    }
    graphic.SetPen(GetColour(3));
    graphic.DrawFrame(0, 0, GetWidth(), GetHeight());
}

bool XListView::OnMouseDown(XMouse& mouse)
{
    // Another button pressed during a drag abandons it.
    CancelDrag();
    int x = mouse.LocalX(), y = mouse.LocalY();
    int row = RowAtY(y);
    XListItem* item = row < 0 ? nullptr : GetItem(row);
    m_pressed = item;
    m_pressedRow = item ? row : -1;
    if (!item) {
        if (m_current)
            m_current->selected = 0;
        m_current = nullptr;
        Repaint();
        OnSelectionChanged(nullptr);
        return false;
    }
    if (OnItemClick(item, x, y))
        return false;
    // A click handler may have emptied the list.
    if (IndexOf(item) < 0) {
        m_pressed = nullptr;
        return false;
    }
    bool dragSource = GetDragKind() != 0;
    if (m_multi && m_current) {
        int currentRow = IndexOf(m_current);
        if (mouse.shift) {
            int lo = std::min(row, currentRow), hi = std::max(row, currentRow);
            int i = 0;
            for (XListItem* it = m_first; it; it = it->next, ++i)
                it->selected = i >= lo && i <= hi ? 1 : 0;
        } else if (mouse.control) {
            item->selected = item->selected ? 0 : 1;
        } else if (item->selected) {
            if (dragSource)
                StartDrag(this, x, y);
        } else {
            UnselectAll();
            item->selected = 1;
            m_current = item;
            m_currentRow = row;
            if (!dragSource)
                OnSelectionChanged(item);
        }
    } else {
        if (m_current)
            m_current->selected = 0;
        item->selected = 1;
        m_current = item;
        m_currentRow = row;
        OnSelectionChanged(item);
    }
    Repaint();
    return dragSource;
}

void XListView::OnMouseDrag(XMouse& mouse)
{
    int x = mouse.LocalX(), y = mouse.LocalY();
    if (IsDragging()) {
        MoveDrag(x, y);
        return;
    }
    if (!m_pressed || GetDragKind() == 0)
        return;
    if (std::abs(mouse.DragX()) > kListDragDistance || std::abs(mouse.DragY()) > kListDragDistance)
        StartDrag(this, x, y);
}

void XListView::OnMouseUp(XMouse& mouse)
{
    if (IsDragging())
        EndDrag(mouse.LocalX(), mouse.LocalY());
    m_pressed = nullptr;
}

void XListView::OnCaptureLost()
{
    CancelDrag();
    m_pressed = nullptr;
}

bool XListView::OnDoubleClick(int x, int y)
{
    XListItem* item = ItemAtY(y);
    if (!item)
        return false;
    return OnItemActivated(item, x, y);
}

void XListView::DrawDragImage(XGraphic& graphic)
{
    graphic.SetFontPreset(fourcc("xfdf"));
    graphic.SetTextColour(GetColour(2));
    int y = kRowTop;
    for (XListItem* it = m_first; it; it = it->next, y += kRowHeight) {
        if (!it->selected)
            continue;
        // Shown unselected in the image.
        it->selected = 0;
        DrawItemForDrag(it, graphic, y);
        it->selected = 1;
    }
}

void XListString::DrawItem(XListItem* item, XGraphic& graphic, int y)
{
    XListStringItem* row = static_cast<XListStringItem*>(item);
    m_pictures.Draw(graphic, row->value, 2, y);
    const char* text = row->text.GetText();
    if (row->selected) {
        XSize size = graphic.GetTextSize(text);
        graphic.FillRectangleColour(XRectangle(20, y + 1, size.width + 5, size.height + 4), GetColour(1));
        graphic.SetTextColour(XColour::Invert(GetColour(1)));
    } else {
        graphic.SetTextColour(GetColour(2));
    }
    graphic.DrawString(text, 22, y + 2);
}

void XListString::OnSelectionChanged(XListItem* item)
{
    (void)item;
    Notify(0, 1);
}

XListStringItem* XListString::AddString(const char* text, int value)
{
    XListStringItem* item = new XListStringItem();
    item->text = text ? text : "";
    item->value = value;
    AddItem(item);
    return item;
}

void XListText::DrawItem(XListItem* item, XGraphic& graphic, int y)
{
    XListTextItem* row = static_cast<XListTextItem*>(item);
    const char* text = row->text.GetText();
    if (row->selected) {
        graphic.FillRectangleColour(XRectangle(0, y - 2, GetWidth(), kRowHeight), XColour::Make(200, 210, 230));
        graphic.SetTextColour(XColour::Make(0, 0, 220));
        graphic.SetFont(11, kFontBold);
        graphic.DrawString(text, 4, y + 1);
        graphic.SetFont(11, 0);
    } else {
        graphic.SetTextColour(GetColour(2));
        graphic.DrawString(text, 4, y + 1);
    }
}

void XListText::OnSelectionChanged(XListItem* item)
{
    (void)item;
    Notify(0, 1);
}

XListTextItem* XListText::AddText(const char* text)
{
    XListTextItem* item = new XListTextItem();
    item->text = text ? text : "";
    AddItem(item);
    return item;
}

const char* XListText::GetText(int index) const
{
    XListTextItem* item = static_cast<XListTextItem*>(GetItem(index));
    return item ? item->text.GetText() : nullptr;
}
