// XListPath: the utility's list of root folders to scan, each row with the
// number of .gig files the database holds for it. GUI thread only.
#pragma once
#include <cstdint>
#include <string>

#include "kiv/data/String.h"
#include "kiv/gui/XListView.h"

class XListPathItem : public XListItem {
public:
    kiv::string path;
    int32_t count = 0;      // -1 while not known
    kiv::string countText;  // "%d" of the count, empty while not known
    // The path as drawn, cut to fit beside the count column.
    std::string shown;
    int shownFor = -1;  // the room it was cut for
};

class XListPath : public XListView {
public:
    XListPath(XControl* parent, int x, int y, int w, int h);

    void DrawItem(XListItem* item, XGraphic& graphic, int y) override;
    void OnSelectionChanged(XListItem* item) override;

    // A count of -1 shows nothing until SetRowCount gives it.
    XListPathItem* AddPath(const char* folder, int count);
    void SetRowCount(int row, int count);
    // Selects the row and makes it the current one.
    void SelectRow(int row);
    // Clears every row's selection.
    void DeselectAll();
    // The selected row, or -1.
    int GetSelectedRow() const;
    // Adds files to the row's count; its text is rebuilt and the list
    // redrawn. The row is named by the caller, not taken from the selection,
    // so a click into the list during a scan cannot move the counts to
    // another folder.
    void AddFilesToRow(int row, int files);

    // Null past the end.
    XListPathItem* GetPathItem(int row) const { return static_cast<XListPathItem*>(GetItem(row)); }
    const char* GetPath(int row) const;
    int GetFileCount(int row) const;

    // The text that fits in `room` pixels: the text itself, or its start and
    // its end with "..." between (whole characters only).
    static std::string FitText(XGraphic& graphic, const std::string& text, int room);
};
