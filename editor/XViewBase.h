// The editor's database search view (XViewBase): a message line, a search
// field with its button, three sortable column headers (XColumn) and the
// list of hits (XListResult). A double click on a hit keeps its path and
// position and asks the editor (the view's listener, code 0, value 'load')
// to load it into the selected part. The message line counts the hits, or
// says why there are none: no database yet, or what is wrong with the file
// that is there, in the words of the Corvane utility's status line.
//
// Threads: GUI thread only.
#pragma once
#include <cstdint>

#include "kiv/data/String.h"
#include "kiv/gui/HLabel.h"
#include "kiv/gui/XControl.h"
#include "kiv/gui/XListener.h"

class XButton;
class XEdit;
class XLabel;
class XListResult;

// A column header: a click sorts by the column, flipping the direction, or
// starting with the default direction when unsorted; it tells the listener
// (0, new state). State 0 is unsorted, +1 or -1 the direction.
class XColumn : public XControl, public HLabel {
public:
    XColumn(XControl* parent, int x, int y, int w, int h, const char* caption, int direction = 1);

    void Draw(XGraphic& graphic) override;
    bool OnMouseDown(XMouse& mouse) override;

    int GetState() const { return m_state; }
    void SetState(int state);
    int GetDefaultDirection() const { return m_default; }

private:
    int32_t m_state = 0;
    int32_t m_default = 1;
};

class XViewBase : public XControl, public XListener {
public:
    XViewBase(XControl* parent, int x, int y, int w, int h);

    void Draw(XGraphic& graphic) override;
    int Notify(XControl* sender, int code, int value) override { return OnNotify(sender, code, value); }
    int OnNotify(XControl* sender, int code, int value);
    using XControl::Notify;

    // Runs the search as a commit of the field with `text` would.
    void RunSearch(const char* text);
    // The editor's timer: ratings that wait for the database are tried again.
    void Poll();
    // Sorts by the column of `header` with its state; the other headers
    // lose theirs.
    void SortBy(XColumn* header);

    // The last loaded hit, read by the editor on 'load'.
    const kiv::string& GetHitPath() const { return m_hitPath; }
    int GetHitPosition() const { return m_hitPosition; }

    XLabel* GetMessageLine() const { return m_message; }
    XEdit* GetField() const { return m_field; }
    XButton* GetSearchButton() const { return m_button; }
    XColumn* GetHeader(int column) const { return column >= 0 && column < 3 ? m_headers[column] : nullptr; }
    XListResult* GetList() const { return m_list; }

private:
    void ShowCount(const char* text);

    XLabel* m_message = nullptr;
    XEdit* m_field = nullptr;
    XButton* m_button = nullptr;
    XColumn* m_headers[3] = {};
    XListResult* m_list = nullptr;
    kiv::string m_hitPath;
    int32_t m_hitPosition = 0;
};
