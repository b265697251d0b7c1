// XDragger: drag and drop inside one window tree, mixed into the views that
// are drag sources (XListView, XTreeView). While a drag runs, a translucent
// image of the dragged things (drawn by DrawDragImage) follows the pointer
// beside it in its own pop-up window ("KivDragger", input passes through it;
// it shows only the dragged rows or icons, not the whole source), and the
// controls under the pointer are asked whether they take the drag kind
// (XControl::OnDragOver, OnDragEnter, OnDragLeave, OnDrop).
//
// Idle -> dragging (StartDrag; the drag window exists) -> idle (EndDrag,
// or CancelDrag when the owner loses the mouse capture).
// The owner starts the drag from its mouse-drag handler once the pointer has
// moved far enough and ends it on mouse up. GUI thread only.
#pragma once
#include <cstdint>
#include <memory>

#include "kiv/gui/XBackend.h"
#include "kiv/gui/XGeometry.h"

class XControl;
class XGraphic;

class XDragger : public XNativeSink {
public:
    XDragger() = default;
    XDragger(const XDragger&) = delete;
    XDragger& operator=(const XDragger&) = delete;

    // After the drop (or after a drag that found no target); x, y in the source.
    virtual void OnDragEnd(int x, int y) { (void)x; (void)y; }
    ~XDragger() override;
    // Draws the dragged things in the source's coordinates.
    virtual void DrawDragImage(XGraphic& graphic) { (void)graphic; }

    // Drag kind handed to the targets ('tree', 'link', 'inst', 'base');
    // 0 = the owner is no drag source.
    void SetDragKind(uint32_t kind) { m_kind = kind; }
    uint32_t GetDragKind() const { return m_kind; }

    // Grab point and later points in the source's coordinates.
    void StartDrag(XControl* source, int x, int y);
    void MoveDrag(int x, int y);
    void EndDrag(int x, int y);
    // Ends a drag without a drop (the source lost the mouse capture or
    // another button was pressed): the target only hears OnDragLeave and
    // OnDragEnd is not called.
    void CancelDrag();
    bool IsDragging() const { return m_window != nullptr; }
    XControl* GetDragTarget() const { return m_target; }
    XNativeWindow* GetDragWindow() const { return m_window.get(); }

    // The drag window's paints.
    void OnNativeMessage(XNativeWindow* from, const XNativeMessage& message) override;

private:
    // The part of the source's content (its coordinates) that the dragged
    // things cover, found by drawing them once.
    XRect FindImageRect(const XRect& visible);
    // The drag window beside the pointer at (x, y) in the source.
    void PlaceWindow(int x, int y);
    // Closes the drag window and tells the target the drag left it; that
    // target, or null.
    XControl* LeaveTarget();
    void PaintImage();

    uint32_t m_kind = 0;
    XControl* m_source = nullptr;
    XControl* m_target = nullptr;
    XRect m_targetRect;  // in the window's (root's) coordinates
    XControl* m_root = nullptr;
    XRect m_windowRect;  // the drag window on the screen
    XRect m_imageRect;   // what it shows, in the source's content coordinates
    int m_grabX = 0, m_grabY = 0;
    int m_currentX = 0, m_currentY = 0;
    int m_sourceX = 0, m_sourceY = 0;  // the source's content origin in the window
    std::unique_ptr<XGraphic> m_image;  // made on the first drag
    std::unique_ptr<XNativeWindow> m_window;
};
