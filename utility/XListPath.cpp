#include "utility/XListPath.h"

#include "kiv/gui/XGraphic.h"
#include "utility/CorvaneWindowConst.h"

using namespace corvane;

XListPath::XListPath(XControl* parent, int x, int y, int w, int h) : XListView(parent, x, y, w, h) {}

XListPathItem* XListPath::AddPath(const char* folder, int count)
{
    XListPathItem* item = new XListPathItem;
    item->path = folder;
    item->count = count;
    item->countText.Format("%d", count);
    AddItem(item);
    return item;
}

void XListPath::DrawItem(XListItem* item, XGraphic& graphic, int y)
{
    XListPathItem* row = static_cast<XListPathItem*>(item);
    if (row->selected) {
        graphic.FillRectangleColour(XRectangle(0, y, GetWidth(), kPathRowH), XColour::Make(0, 60, 160));
        graphic.SetTextColour(XColour::Make(255, 255, 0));
    } else {
        graphic.SetTextColour(GetColour(2));
    }
    graphic.DrawString(row->path.CStr(), kTextInset, y);
    graphic.DrawString(row->countText.CStr(), GetWidth() - kCountColumn + kTextInset, y);
}

void XListPath::OnSelectionChanged(XListItem* item)
{
    (void)item;
    Notify(0, 1);
}

void XListPath::SelectRow(int row) { Select(row); }

void XListPath::DeselectAll()
{
    for (XListItem* item = GetItem(0); item; item = item->next)
        item->selected = 0;
    Repaint();
}

int XListPath::GetSelectedRow() const
{
    XListItem* current = GetCurrent();
    return current && current->selected ? IndexOf(current) : -1;
}

void XListPath::AddFilesToRow(int row, int files)
{
    XListPathItem* item = GetPathItem(row);
    if (!item || files <= 0)
        return;
    item->count += files;
    item->countText.Format("%d", item->count);
    Repaint();
}

const char* XListPath::GetPath(int row) const
{
    XListPathItem* item = GetPathItem(row);
    return item ? item->path.CStr() : nullptr;
}

int XListPath::GetFileCount(int row) const
{
    XListPathItem* item = GetPathItem(row);
    return item ? item->count : 0;
}
