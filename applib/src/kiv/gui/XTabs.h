// A row of tabs with one selected. Tabs are sized to their labels, can be
// stretched to fill the row or shown as one centred bar, and a row wider than
// the control scrolls with a thin strip along its bottom edge. GUI thread.
#pragma once
#include "kiv/data/String.h"
#include "kiv/gui/XControl.h"
#include "kiv/gui/XWidgetConst.h"

class XTabs : public XControl {
public:
    XTabs(XControl* parent, int x, int y, int w, int h);

    void Draw(XGraphic& graphic) override;
    bool OnMouseDown(XMouse& mouse) override;
    void OnMouseDrag(XMouse& mouse) override;
    // The number of tabs and the label of tab i; subclasses may show other
    // labels than the table's.
    virtual int GetCount() { return m_count; }
    virtual const char* GetLabel(int i);

    void Clear();
    // The new tab's index, or -1 when the table is full.
    int AddTab(const char* label);
    // Notifies (0, index) when the selection changes; an index out of range
    // or already selected does nothing.
    void Select(int index);
    int GetSelected() const { return m_selected; }
    void SetTabEnabled(int index, bool enabled);
    void SetStretch(bool stretch);
    void SetCentred(bool centred);
    bool IsScrollable() const { return m_scrollable; }
    int GetScrollOffset() const { return m_scroll; }
    int GetMaxScroll() const { return m_maxScroll; }
    // Where tab i lies along the row (before scrolling), as of the last draw.
    int GetTabStart(int i) const { return i >= 0 && i < xwidget::kMaxTabs ? m_tabs[i].start : 0; }
    int GetTabWidth(int i) const { return i >= 0 && i < xwidget::kMaxTabs ? m_tabs[i].width : 0; }

protected:
    struct Tab {
        kiv::string label;
        int width = 0;
        int start = 0;
        bool disabled = false;
    };
    int VisibleCount();
    void MeasureTabs(XGraphic& graphic, int count);
    void DrawTab(XGraphic& graphic, int x, int i, bool selected);
    void DrawCentredBar(XGraphic& graphic, int count);
    void PlaceScrollPart();

    Tab m_tabs[xwidget::kMaxTabs];
    int m_count = 0;
    int m_selected = 0;
    int m_total = 0;
    int m_scroll = 0;
    int m_dragStartScroll = 0;
    int m_maxScroll = 0;
    XRect m_track;
    XRect m_thumb;
    bool m_centred = false;
    bool m_stretch = false;
    bool m_scrollable = false;
};
