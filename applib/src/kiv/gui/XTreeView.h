// XTreeView: a scrolling tree of named nodes (folders and items) in rows of
// 18 pixels. Folders open and close by a click on their expander or their
// name and are filled on demand by the subclass (FillFolder) the first time
// they open; nodes can be selected (one, or several siblings) and dragged
// (XDragger; drag kind 0 = no drag source). GetPath builds a node's path
// with the root path in front, so the editor's file browser can show
// drives and folders. The view owns its nodes. GUI thread only.
#pragma once
#include <cstdint>

#include "kiv/gui/XDragger.h"
#include "kiv/gui/XPic.h"
#include "kiv/gui/XViewPort.h"

class XTreeView : public XScrollView, public XPicTable, public XDragger {
public:
    // Node flags.
    static constexpr int kLeaf = 1;  // an item, or a folder found empty
    static constexpr int kExpanded = 2;
    static constexpr int kSelected = 4;
    static constexpr int kFolder = 8;

    // One allocation: the links and values, then the name.
    struct Node {
        Node* next;
        Node* parent;  // the view's root record for top-level nodes
        Node* firstChild;
        int32_t flags;
        int32_t value;  // the key of the node's picture; free for the owner
        char name[1];

        bool Has(int flag) const { return (flags & flag) != 0; }
    };

    XTreeView(XControl* parent, int x, int y, int w, int h);
    ~XTreeView() override;

    void Draw(XGraphic& graphic) override;
    bool OnMouseDown(XMouse& mouse) override;
    void OnMouseDrag(XMouse& mouse) override;
    void OnMouseUp(XMouse& mouse) override;
    // A drag in progress ends without a drop.
    void OnCaptureLost() override;
    bool OnDoubleClick(int x, int y) override;
    bool OnKey(XKeyEvent& key) override;

    virtual void DrawNodeLabel(XGraphic& graphic, Node* node, int x, int y);
    // Adds the children of a folder opened for the first time.
    virtual void FillFolder(Node* node) = 0;
    // A node (or null: nothing) was chosen by a click.
    virtual void OnNodeChosen(Node* node) = 0;
    virtual void OnNodeActivated(Node* node) { (void)node; }
    void DrawDragImage(XGraphic& graphic) override;

    // Null parent: a top-level node.
    Node* AddFolder(Node* parent, const char* name, int value);
    Node* AddItem(Node* parent, const char* name, int value);
    void Clear();
    bool SetOpenFolderPicture(const char* name) { return m_openPic.Load(name); }
    bool SetClosedFolderPicture(const char* name) { return m_closedPic.Load(name); }
    // False (and the old root path kept) for a text longer than 511 bytes.
    bool SetRootPath(const char* text);
    void SetSorted(bool on) { m_sorted = on ? 1 : 0; }
    void SetMultiSelection(bool on) { m_multi = on ? 1 : 0; }

    Node* GetSelected() const { return m_current; }
    int GetSelectedCount() const;
    Node* GetSelectedAt(int n) const;
    Node* GetFirstNode() const { return m_root.firstChild; }
    // The node's path in the view's buffer (valid until the next call): the
    // root path, the names from the top level down separated by '/', and a
    // trailing '/' for a folder. Empty for null or a path that does not fit.
    const char* GetPath(Node* node);

    // A-Z folded to a-z, bytes compared as signed values: -1, 0 or 1.
    static int CompareNames(const char* a, const char* b);
    static int CountRows(const Node* node);
    // The node of a row, depth-first over expanded nodes, and its indent.
    Node* NodeAtRow(int row, int* indent = nullptr) const;
    int GetRowCount() const { return m_rows; }

protected:
    void ResizeToRows();
    void Repaint();

private:
    Node* CreateNode(Node* parent, const char* name, int value, int flags);
    void InsertNode(Node* parent, Node* node);
    static void DeleteNodes(Node* first);
    void DrawNode(XGraphic& graphic, Node* node, int indent);
    void ClearSelection();
    static void ClearSelection(Node* first);
    // The node under a y of the view's own coordinates and its indent.
    Node* NodeAtY(int y, int* indent) const;

    Node m_root{};
    uint8_t m_sorted = 0;
    uint8_t m_multi = 0;
    Node* m_current = nullptr;
    Node* m_pressed = nullptr;
    uint8_t m_pressedFlag = 0;
    XPic m_openPic;
    XPic m_closedPic;
    uint8_t m_dragImage = 0;
    int32_t m_rows = 0;
    int32_t m_firstVisible = 0;
    int32_t m_lastVisible = 0;
    int32_t m_drawRow = 0;
    int32_t m_drawY = 0;
    uint32_t m_clears = 0;  // counts Clear calls, so callbacks that clear are noticed
    char m_path[xconst::kTreePathSize] = {};
    char m_rootPath[xconst::kTreePathSize] = {};
};
