// "led_off.png" and "led_on.png": the part unit's note-activity LED, a round
// lamp dark or lit, the size of its place in the unit's top bar.
#include <cairo.h>

#include "PicGen.h"

namespace {

constexpr int kLedW = 15;
constexpr int kLedH = 16;

void DrawLamp(cairo_t* cr, int w, int h, bool lit)
{
    double cx = w / 2.0, cy = h / 2.0, r = (w < h ? w : h) / 2.0 - 2.0;
    // Bezel.
    cairo_arc(cr, cx, cy, r + 1.5, 0, 6.283185307);
    cairo_set_source_rgb(cr, 0.08, 0.09, 0.10);
    cairo_fill(cr);
    // Glass: lit from the upper left.
    cairo_pattern_t* glass = cairo_pattern_create_radial(cx - r / 3, cy - r / 3, 0.5, cx, cy, r);
    if (lit) {
        cairo_pattern_add_color_stop_rgb(glass, 0.0, 0.85, 1.0, 0.85);
        cairo_pattern_add_color_stop_rgb(glass, 0.5, 0.30, 0.95, 0.40);
        cairo_pattern_add_color_stop_rgb(glass, 1.0, 0.05, 0.55, 0.12);
    } else {
        cairo_pattern_add_color_stop_rgb(glass, 0.0, 0.30, 0.38, 0.31);
        cairo_pattern_add_color_stop_rgb(glass, 1.0, 0.08, 0.16, 0.09);
    }
    cairo_arc(cr, cx, cy, r, 0, 6.283185307);
    cairo_set_source(cr, glass);
    cairo_fill(cr);
    cairo_pattern_destroy(glass);
}

void DrawLedOff(cairo_t* cr, int w, int h) { DrawLamp(cr, w, h, false); }
void DrawLedOn(cairo_t* cr, int w, int h) { DrawLamp(cr, w, h, true); }

picgen::PicGenRegister ledOffPicture("led_off.png", kLedW, kLedH, DrawLedOff);
picgen::PicGenRegister ledOnPicture("led_on.png", kLedW, kLedH, DrawLedOn);

}  // namespace
