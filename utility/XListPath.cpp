#include "utility/XListPath.h"

#include "kiv/gui/XGraphic.h"
#include "utility/CorvaneWindowConst.h"

#include <algorithm>

using namespace corvane;

XListPath::XListPath(XControl* parent, int x, int y, int w, int h) : XListView(parent, x, y, w, h) {}

namespace {

void SetCount(XListPathItem* item, int count)
{
    item->count = count < 0 ? -1 : count;
    if (count < 0)
        item->countText.Clear();
    else
        item->countText.Format("%d", count);
}

// The start of the UTF-8 character that holds byte i.
size_t CharStart(const std::string& text, size_t i)
{
    while (i > 0 && i < text.size() && (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80)
        --i;
    return i;
}

}  // namespace

XListPathItem* XListPath::AddPath(const char* folder, int count)
{
    XListPathItem* item = new XListPathItem;
    item->path = folder;
    SetCount(item, count);
    AddItem(item);
    return item;
}

void XListPath::SetRowCount(int row, int count)
{
    XListPathItem* item = GetPathItem(row);
    if (!item)
        return;
    SetCount(item, count);
    Repaint();
}

std::string XListPath::FitText(XGraphic& graphic, const std::string& text, int room)
{
    if (graphic.GetTextSize(text.c_str()).width <= room)
        return text;
    // The longest cut that fits, found by halving: the folder's start says
    // where it is, its end which one it is.
    auto cut = [&](size_t keep) {
        size_t head = CharStart(text, keep - keep / 2);
        size_t tail = CharStart(text, text.size() - keep / 2);
        return text.substr(0, head) + "..." + text.substr(tail);
    };
    size_t low = 0, high = text.size();
    while (low < high) {
        size_t mid = (low + high + 1) / 2;
        if (graphic.GetTextSize(cut(mid).c_str()).width <= room)
            low = mid;
        else
            high = mid - 1;
    }
    return cut(low);
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
    // The path stops short of the count column.
    const int room = GetWidth() - kCountColumn - kTextInset - kPathGap;
    if (row->shownFor != room) {
        row->shown = FitText(graphic, row->path.CStr(), room);
        row->shownFor = room;
    }
    // Text is drawn from kTextRise above the row's top: the clip starts
    // there too, or accents on capitals are cut off.
    const bool clipped = graphic.PushClip(XRectangle(0, y - kTextRise, kTextInset + room, kPathRowH + kTextRise));
    graphic.DrawString(row->shown.c_str(), kTextInset, y);
    if (clipped)
        graphic.PopClip();
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
    SetCount(item, std::max(item->count, 0) + files);
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
