// Geometry value types of the toolkit: XRect (inclusive edges), XRectangle
// (x, y, w, h), XPoint and XSize (unset until assigned).
#pragma once
#include <cstdint>

#include "kiv/gui/XConst.h"

class XRect {
public:
    XRect() = default;
    // Note the argument order: left, top, right, bottom.
    XRect(int32_t l, int32_t t, int32_t r, int32_t b) : left(l), right(r), top(t), bottom(b) {}
    virtual ~XRect() = default;
    XRect(const XRect&) = default;
    XRect& operator=(const XRect&) = default;

    int32_t Width() const { return right - left + 1; }
    int32_t Height() const { return bottom - top + 1; }
    void Inflate(int32_t n)
    {
        left -= n;
        top -= n;
        right += n;
        bottom += n;
    }
    bool Contains(int32_t x, int32_t y) const { return x >= left && x <= right && y >= top && y <= bottom; }
    void Offset(int32_t dx, int32_t dy)
    {
        left += dx;
        right += dx;
        top += dy;
        bottom += dy;
    }

    int32_t left = 0;
    int32_t right = 0;
    int32_t top = 0;
    int32_t bottom = 0;
};

class XRectangle {
public:
    XRectangle() = default;
    XRectangle(int32_t x_, int32_t y_, int32_t w, int32_t h) : x(x_), y(y_), width(w), height(h) {}
    virtual ~XRectangle() = default;
    XRectangle(const XRectangle&) = default;
    XRectangle& operator=(const XRectangle&) = default;

    void Inflate(int32_t n)
    {
        x -= n;
        y -= n;
        width += 2 * n;
        height += 2 * n;
    }
    void Offset(int32_t dx, int32_t dy)
    {
        x += dx;
        y += dy;
    }

    int32_t x = 0;
    int32_t y = 0;
    int32_t width = 0;
    int32_t height = 0;
};

class XPoint {
public:
    XPoint() = default;
    XPoint(int32_t x_, int32_t y_) : x(x_), y(y_) {}
    virtual ~XPoint() = default;
    XPoint(const XPoint&) = default;
    XPoint& operator=(const XPoint&) = default;

    bool IsSet() const { return x != xconst::kUnset && y != xconst::kUnset; }

    int32_t x = xconst::kUnset;
    int32_t y = xconst::kUnset;
};

class XSize {
public:
    XSize() = default;
    XSize(int32_t w, int32_t h) : width(w), height(h) {}
    virtual ~XSize() = default;
    XSize(const XSize&) = default;
    XSize& operator=(const XSize&) = default;

    void Clear()
    {
        width = xconst::kUnset;
        height = xconst::kUnset;
    }
    bool IsSet() const { return width != xconst::kUnset && height != xconst::kUnset; }

    int32_t width = xconst::kUnset;
    int32_t height = xconst::kUnset;
};
