// XTrackPan: the pan control of a mixer strip: an arc with three handles,
// the left and right pan positions L and R (-1 to 1) and their middle.
// Dragging the left or right handle moves that end, the middle handle moves
// both; with shift the ends move mirrored. A double click restores -1, 1.
// Every change notifies the listener (0, 0). GUI thread only.
#pragma once
#include "kiv/gui/XControl.h"

class XTrackPan : public XControl {
public:
    enum Handle { kNone = -1, kLeft = 0, kCentre = 1, kRight = 2 };

    XTrackPan(XControl* parent, int x, int y, int w, int h);

    void Draw(XGraphic& graphic) override;
    bool OnMouseDown(XMouse& mouse) override;
    void OnMouseDrag(XMouse& mouse) override;
    void OnMouseUp(XMouse& mouse) override;
    bool OnDoubleClick(int x, int y) override;
    void OnCaptureLost() override;

    // Stores both (clamped to -1..1) and redraws; no notification.
    void SetPositions(float left, float right);
    float GetLeft() const { return m_left; }
    float GetRight() const { return m_right; }
    int GetDragged() const { return m_dragged; }

    // The angle in degrees of a value: -1 at 147.6 (left), 0 at 90 (top),
    // 1 at 32.4 (right).
    static float AngleOf(float value);
    // Where a handle sits for the current positions.
    void GetHandlePosition(int handle, float& x, float& y) const;

private:
    float HandleValue(int handle) const;

    float m_left = -1.0f;
    float m_right = 1.0f;
    int m_dragged = kNone;
    float m_pressLeft = -1.0f;
    float m_pressRight = 1.0f;
};
