// XListView: a scroll view showing a singly linked list of XListItem rows of
// 18 pixels, with single or multiple selection, sorting through a
// comparison hook, double-click activation and dragging of the selected
// items (XDragger; a list with drag kind 0 is no drag source). It owns its
// items. XListString (text and a picture per row) and XListText (plain
// text) are the two concrete lists; both notify their listener with
// (0, 1) when the selection changes. GUI thread only.
#pragma once
#include <cstdint>

#include "kiv/data/String.h"
#include "kiv/gui/HLabel.h"
#include "kiv/gui/XDragger.h"
#include "kiv/gui/XPic.h"
#include "kiv/gui/XViewPort.h"

class XListItem {
public:
    virtual ~XListItem() = default;
    XListItem* next = nullptr;
    uint8_t selected = 0;
};

class XListStringItem : public XListItem {
public:
    kiv::string text;
    int32_t value = 0;  // the key of the row's picture
};

class XListTextItem : public XListItem {
public:
    kiv::string text;
};

class XListView : public XScrollView, public XDragger, public HLabel {
public:
    XListView(XControl* parent, int x, int y, int w, int h);
    ~XListView() override;

    void Draw(XGraphic& graphic) override;
    bool OnMouseDown(XMouse& mouse) override;
    void OnMouseDrag(XMouse& mouse) override;
    void OnMouseUp(XMouse& mouse) override;
    // A drag in progress ends without a drop.
    void OnCaptureLost() override;
    bool OnDoubleClick(int x, int y) override;

    // True stops the mouse-down handling.
    virtual bool OnItemClick(XListItem* item, int x, int y);
    virtual bool OnItemActivated(XListItem* item, int x, int y);
    virtual void DrawItem(XListItem* item, XGraphic& graphic, int y) = 0;
    virtual void DrawItemForDrag(XListItem* item, XGraphic& graphic, int y) { DrawItem(item, graphic, y); }
    virtual void OnSelectionChanged(XListItem* item) = 0;
    // -1, 0 or 1.
    virtual int CompareItems(XListItem* a, XListItem* b, int column);
    void DrawDragImage(XGraphic& graphic) override;

    // Takes ownership; appends at the end.
    void AddItem(XListItem* item);
    // Unlinks and deletes an item of this list (others are left alone).
    void RemoveItem(XListItem* item);
    void Clear();
    int GetCount() const { return m_count; }
    int GetSelectedCount() const;
    XListItem* GetItem(int index) const;
    XListItem* GetSelected(int n) const;
    int IndexOf(const XListItem* item) const;
    int GetIndex(const XListItem* item) const { return IndexOf(item); }
    void Select(int index);
    // Direction 1 ascending, -1 descending; equal items keep their order.
    void Sort(int direction, int column);
    // The item of the row at y in the list's own coordinates, or null.
    XListItem* ItemAtY(int y) const;
    // Resizes, never smaller than the clip view that shows the list.
    void ResizeToFit(int w, int h);

    void SetMultiSelection(bool on) { m_multi = on ? 1 : 0; }
    bool IsMultiSelection() const { return m_multi != 0; }
    XListItem* GetCurrent() const { return m_current; }
    int GetFirstVisibleRow() const { return m_firstVisible; }
    int GetLastVisibleRow() const { return m_lastVisible; }

protected:
    // The row under a y of the list's own coordinates; -1 above the rows.
    static int RowAtY(int y);
    // The area the clip view shows, in the list's own coordinates.
    XRect GetVisibleRect() const;
    void Repaint();

private:
    void UnselectAll();

    XListItem* m_first = nullptr;
    int32_t m_count = 0;
    XListItem* m_pressed = nullptr;
    int32_t m_pressedRow = -1;
    XListItem* m_current = nullptr;
    int32_t m_currentRow = -1;
    uint8_t m_multi = 0;
    int32_t m_firstVisible = 0;
    int32_t m_lastVisible = 0;
};

// Rows of a picture (by the item's value, from the list's picture table)
// and a text.
class XListString : public XListView {
public:
    XListString(XControl* parent, int x, int y, int w, int h) : XListView(parent, x, y, w, h) {}
    void DrawItem(XListItem* item, XGraphic& graphic, int y) override;
    void OnSelectionChanged(XListItem* item) override;
    XListStringItem* AddString(const char* text, int value);
    XPicTable& GetPictures() { return m_pictures; }

private:
    XPicTable m_pictures;
};

// Rows of plain text.
class XListText : public XListView {
public:
    XListText(XControl* parent, int x, int y, int w, int h) : XListView(parent, x, y, w, h) {}
    void DrawItem(XListItem* item, XGraphic& graphic, int y) override;
    void OnSelectionChanged(XListItem* item) override;
    XListTextItem* AddText(const char* text);
    // Null when there is no such item.
    const char* GetText(int index) const;
};
