// XControl: the base of every widget and view. Controls form a tree: a
// position and size inside the parent, an ordered list of owned children,
// four colour slots (0 face, 1 highlight, 2 text, 3 frame; 0 = none), a font,
// layout flags and an optional listener. Painting, hit testing, layout on
// resize and redraw marking walk the tree.
//
// The tree belongs to the GUI thread. Other threads may only store values
// into controls and call Invalidate (or RequestFullRedraw); the next tick
// draws them.
#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

#include "kiv/gui/XColour.h"
#include "kiv/gui/XConst.h"
#include "kiv/gui/XGeometry.h"

class XGraphic;
class XListener;
class XMouse;
class XKeyEvent;
class XMenu;

class XControl {
public:
    XControl();
    XControl(XControl* parent, int x, int y, int w, int h);
    XControl(const XControl&) = delete;
    XControl& operator=(const XControl&) = delete;
    virtual ~XControl();

    // Virtual operations, in the toolkit's order.
    virtual void OnParentResized(int dx, int dy);
    virtual uintptr_t GetWindowHandle();
    virtual void OnVisibilityChanged(bool shown) { (void)shown; }
    virtual void OnChildAdded(XControl* child) { (void)child; }
    virtual void OnCaptureLost() {}
    virtual void Draw(XGraphic& graphic);
    virtual bool OnMouseDown(XMouse& mouse) { (void)mouse; return false; }
    virtual void OnMouseDrag(XMouse& mouse) { (void)mouse; }
    virtual void OnMouseUp(XMouse& mouse) { (void)mouse; }
    virtual bool OnDoubleClick(int x, int y) { (void)x; (void)y; return false; }
    virtual bool OnWheel(int x, int y, int dx, int dy) { (void)x; (void)y; (void)dx; (void)dy; return false; }
    virtual void StartMouseTracking();
    virtual bool OnMouseEnter() { return false; }
    virtual void OnMouseHover(int x, int y) { (void)x; (void)y; }
    virtual void OnMouseLeave() {}
    virtual bool OnKey(XKeyEvent& key) { (void)key; return false; }
    virtual bool OnDragOver(XControl* source, uint32_t kind) { (void)source; (void)kind; return false; }
    virtual bool OnDragEnter(XControl* source, uint32_t kind) { (void)source; (void)kind; return false; }
    virtual void OnDragLeave(XControl* source, uint32_t kind) { (void)source; (void)kind; }
    virtual void OnDrop(XControl* source, uint32_t kind) { (void)source; (void)kind; }
    virtual void OnTick() {}
    virtual void OnHoverHold(int x, int y) { (void)x; (void)y; }
    virtual void OnPlaced() {}
    virtual void OnShow() {}
    virtual void OnHide() {}
    virtual void OnGeometryChanged() {}
    virtual void OnChildResized() {}
    // A control below this one is being deleted: drop any reference to it.
    // Views forget their captured, hover, default and cancel controls here.
    virtual void ForgetControl(XControl* control) { (void)control; }

    // Tree.
    XControl* AddChild(XControl* control, int x, int y, int w, int h);
    XControl* GetChild(int n) const;
    int CountChildren() const;
    XControl* GetParent() const { return m_parent; }
    XControl* GetNextSibling() const { return m_next; }
    XControl* GetFirstChild() const { return m_firstChild; }
    XControl* GetRoot();
    void SetListener(XListener* listener) { m_listener = listener; }
    XListener* GetListener() const { return m_listener; }
    int Notify(int code, int value);
    void NotifyFrom(XControl* sender, int code, int value);

    // Geometry.
    void SetPosition(int x, int y)
    {
        m_x = x;
        m_y = y;
    }
    void SetSize(int w, int h);
    void SetBounds(int x, int y, int w, int h);
    void MoveResizeBy(int dx, int dy, int dw, int dh);
    void SetResizeMode(bool stretchW, bool stretchH, bool followH, bool followV);
    void SetScrollOffset(int sx, int sy)
    {
        m_scrollX = sx;
        m_scrollY = sy;
    }
    int GetX() const { return m_x; }
    int GetY() const { return m_y; }
    int GetWidth() const { return m_w; }
    int GetHeight() const { return m_h; }
    int GetScrollX() const { return m_scrollX; }
    int GetScrollY() const { return m_scrollY; }
    bool Contains(int x, int y) const { return x >= 0 && x < m_w && y >= 0 && y < m_h; }
    XRect GetLocalRect() const { return XRect(0, 0, m_w - 1, m_h - 1); }
    XRectangle GetLocalRectangle() const;
    int GetScreenX() const;
    int GetScreenY() const;
    XRect GetWindowRect() const;
    XRect GetScreenRect() const;

    // State.
    void Show(bool show);
    void Hide() { Show(false); }
    void SetVisible(bool visible) { SetFlag(xconst::kVisible, visible); }
    bool IsVisible() const { return HasFlag(xconst::kVisible); }
    void SetEnabled(bool enabled);
    void Disable() { SetEnabled(false); }
    bool IsEnabled() const { return HasFlag(xconst::kEnabled); }
    void PropagateVisible(bool shown);
    void Invalidate();
    void RequestFullRedraw() { SetFlag(xconst::kFullRedraw, true); }
    void SetDrawn(bool drawn) { SetFlag(xconst::kDrawn, drawn); }
    bool WasDrawn() const { return HasFlag(xconst::kDrawn); }
    bool NeedsFullRedraw() const;
    bool IsDirty() const { return m_dirty.load(std::memory_order_acquire) != 0; }
    bool IsChildDirty() const { return m_childDirty.load(std::memory_order_acquire) != 0; }
    // Marks the control for deletion by the next paint walk over its parent.
    void DeleteLater() { SetFlag(xconst::kDeletePending, true); }
    bool IsDeletePending() const { return HasFlag(xconst::kDeletePending); }
    uint32_t GetFlags() const { return m_flags.load(std::memory_order_relaxed); }
    void SetFlag(uint32_t bits, bool on);
    bool HasFlag(uint32_t bits) const { return (m_flags.load(std::memory_order_relaxed) & bits) == bits; }
    void SetClips(bool clips) { m_clips = clips ? 1 : 0; }

    void SetColour(int slot, XColourValue colour);
    XColourValue GetColour(int slot) const { return slot >= 0 && slot < 4 ? m_colours[slot] : 0; }
    bool HasColour(int slot) const { return GetColour(slot) != 0; }
    void SetFont(int size, uint32_t style)
    {
        m_fontSize = size;
        m_fontStyle = style;
    }
    int GetFontSize() const { return m_fontSize; }
    uint32_t GetFontStyle() const { return m_fontStyle; }
    void ApplyFont(XGraphic& graphic);
    void ApplyTheme(const XTheme& theme);
    // A press and release at a local point, as the pointer's; nothing when
    // the control or a parent of it is disabled.
    void SimulateClick(int x, int y);
    // Shows the menu at a local point for this control and returns at once;
    // a chosen item reaches the answer later (see XMenu). False when nothing
    // could be shown.
    bool PopupMenu(std::unique_ptr<XMenu> menu, int x, int y, std::function<void(int menuId, int value)> answer);

    // Hit tests (see the .cpp for which coordinates each takes).
    XControl* FindChildAt(int x, int y);
    XControl* FindDeepestAt(int x, int y);
    XControl* FindControlAt(int x, int y);

    // The paint walk of this control and its subtree; clip is in the
    // parent's coordinates.
    void Paint(XGraphic& graphic, bool forced, const XRectangle& clip);

protected:
    // Paints the children in list order, deleting those marked for deletion.
    void PaintChildren(XGraphic& graphic, bool forced, const XRectangle& clip);
    void ClearChildDirty() { m_childDirty.store(0, std::memory_order_relaxed); }
    bool TakeChildDirty() { return m_childDirty.exchange(0, std::memory_order_acq_rel) != 0; }
    bool TakeDirty() { return m_dirty.exchange(0, std::memory_order_acq_rel) != 0; }
    void SetParentOnly(XControl* parent) { m_parent = parent; }
    void UnlinkChild(XControl* child);

private:
    void LinkChild(XControl* parent);
    bool IsHittable() const { return HasFlag(xconst::kVisible | xconst::kEnabled); }

    std::atomic<uint32_t> m_flags{xconst::kDefaultFlags};
    std::atomic<uint8_t> m_childDirty{0};
    uint8_t m_clips = 0;
    std::atomic<uint8_t> m_dirty{0};
    int32_t m_fontSize = 0;
    uint32_t m_fontStyle = 0;
    int32_t m_x = 0, m_y = 0;
    int32_t m_w = 0, m_h = 0;
    int32_t m_scrollX = 0, m_scrollY = 0;
    XControl* m_parent = nullptr;
    XControl* m_next = nullptr;
    XControl* m_firstChild = nullptr;  // owning: children die with the control
    XListener* m_listener = nullptr;
    XColourValue m_colours[4] = {};
};
