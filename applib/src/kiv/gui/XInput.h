// Input records handed to controls: XMouse (one per view, reused for every
// mouse event; view coordinates) and XKeyEvent. GUI thread.
#pragma once
#include <cstdint>

class XMouse {
public:
    virtual ~XMouse() = default;

    // All 0 except the button.
    void Clear()
    {
        originX = originY = pressX = pressY = currentX = currentY = 0;
        shift = control = 0;
        drag = 0;
    }
    void Offset(int dx, int dy)
    {
        originX += dx;
        originY += dy;
    }
    void SetPress(int x, int y, int b)
    {
        pressX = currentX = x;
        pressY = currentY = y;
        button = b;
    }
    void SetCurrent(int x, int y)
    {
        currentX = x;
        currentY = y;
    }
    // Used when the modifier state changes during a drag.
    void RestartDrag()
    {
        pressX = currentX;
        pressY = currentY;
    }
    // The pointer in the receiving control's coordinates.
    int LocalX() const { return currentX - originX; }
    int LocalY() const { return currentY - originY; }
    int DragX() const { return currentX - pressX; }
    int DragY() const { return currentY - pressY; }

    int32_t originX = 0, originY = 0;
    int32_t pressX = 0, pressY = 0;
    int32_t currentX = 0, currentY = 0;
    int32_t button = 0;  // 0 left, 1 right
    uint8_t shift = 0;
    uint8_t control = 0;
    int32_t drag = 0;  // for the controls' own use
};

class XKeyEvent {
public:
    virtual ~XKeyEvent() = default;

    int32_t character = 0;  // 0 for a special key
    int32_t modifiers = 0;  // xconst::kModShift, kModControl, kModCommand
    int32_t code = 0;       // xconst::kKey*, 0 for a plain character
};
