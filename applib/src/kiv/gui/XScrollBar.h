// XScrollBar: a horizontal or vertical bar with two step buttons, a page
// track and a thumb. It only reports what the user did to its listener
// (normally an XViewPort): 'sdec'/'sinc' for the step buttons, 'prev'/'next'
// for the track before and after the thumb, and 'curs' with the new
// position while the thumb is dragged. A held button or track part repeats
// after 10 ticks, then every tick. GUI thread only.
#pragma once
#include <cstdint>

#include "kiv/gui/XControl.h"

class XScrollBar : public XControl {
public:
    XScrollBar(XControl* parent, int x, int y, int w, int h);

    void Draw(XGraphic& graphic) override;
    bool OnMouseDown(XMouse& mouse) override;
    void OnMouseDrag(XMouse& mouse) override;
    void OnMouseUp(XMouse& mouse) override;
    void OnTick() override;
    void OnGeometryChanged() override;

    // Length of the content in pixels, and the scroll position in it.
    void SetRange(int length);
    void SetPosition(int position);
    int GetRange() const { return m_range; }
    int GetPosition() const { return m_position; }
    bool IsVertical() const { return m_vertical != 0; }
    uint32_t GetPressedPart() const { return m_pressed; }

    // The part under a local point: 'sdec', 'sinc', 'prev', 'next' or 'curs'.
    uint32_t HitPart(int x, int y);
    const XRect& GetThumb() const { return m_thumb; }

private:
    // Computes the buttons and the thumb from the size, range and position.
    void Layout();
    void DrawButton(XGraphic& graphic, const XRect& r);

    uint8_t m_vertical = 1;
    int32_t m_track = 0;
    int32_t m_range = 0;
    int32_t m_position = 0;
    XRect m_thumb;
    XRect m_back;
    XRect m_forward;
    uint32_t m_pressed;
    int32_t m_dragStart = 0;
    int32_t m_repeat = 0;
};
