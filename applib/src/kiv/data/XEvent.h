// XEvent: the 12-byte record of a view's event queue. Other threads (the
// engine's loader, searches) and the GUI itself post these; the GUI thread
// drains them on its tick. The kind is a four-character code or a small
// number chosen by the poster; a and b are its values. It sits with the data
// types so the engine can post one without seeing the GUI toolkit.
#pragma once
#include <cstdint>

struct XEvent {
    int32_t kind = 0;
    int32_t a = 0;
    int32_t b = 0;
};

static_assert(sizeof(XEvent) == 12, "XEvent is three 32-bit values");
