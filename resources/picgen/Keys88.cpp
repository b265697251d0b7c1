// "keys88.png": the whole 88-key keyboard, drawn once; XKeyboard88 makes its
// pressed, greyed and key-switch copies from it and copies keys out of them.
#include <cairo.h>

#include "PicGen.h"
#include "kiv/gui/XKeyboard88Geometry.h"

namespace {

void DrawWhiteKey(cairo_t* cr, int p)
{
    using namespace keys88;
    double x = KeyX(p);
    // Face, a little darker towards the front edge.
    cairo_pattern_t* face = cairo_pattern_create_linear(0, 0, 0, kHeight);
    cairo_pattern_add_color_stop_rgb(face, 0.0, 0.93, 0.93, 0.91);
    cairo_pattern_add_color_stop_rgb(face, 0.85, 0.99, 0.99, 0.97);
    cairo_pattern_add_color_stop_rgb(face, 1.0, 0.80, 0.80, 0.78);
    cairo_set_source(cr, face);
    cairo_rectangle(cr, x, 0, kWhiteWidth, kHeight);
    cairo_fill(cr);
    cairo_pattern_destroy(face);
    // The gap to the left neighbour, and the front edge.
    picgen::FillRect(cr, x, 0, 1, kHeight, 70, 70, 72);
    picgen::FillRect(cr, x + 1, kHeight - 3, kWhiteWidth - 1, 1, 150, 150, 148);
}

void DrawBlackKey(cairo_t* cr, int p)
{
    using namespace keys88;
    double x = KeyX(p);
    picgen::FillRect(cr, x, 0, kBlackWidth, kBlackHeight, 12, 12, 14);
    // Top face, lighter towards the player, and the front bevel.
    cairo_pattern_t* top = cairo_pattern_create_linear(0, 0, 0, kBlackHeight);
    cairo_pattern_add_color_stop_rgb(top, 0.0, 0.10, 0.10, 0.11);
    cairo_pattern_add_color_stop_rgb(top, 1.0, 0.28, 0.28, 0.30);
    cairo_set_source(cr, top);
    cairo_rectangle(cr, x + 1, 0, kBlackWidth - 2, kBlackHeight - 6);
    cairo_fill(cr);
    cairo_pattern_destroy(top);
    picgen::FillRect(cr, x + 1, kBlackHeight - 6, kBlackWidth - 2, 5, 55, 55, 58);
}

void DrawKeys88(cairo_t* cr, int w, int h)
{
    picgen::FillRect(cr, 0, 0, w, h, 40, 40, 42);
    cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
    for (int p = 0; p < keys88::kKeyCount; ++p) {
        if (!keys88::IsBlack(p))
            DrawWhiteKey(cr, p);
    }
    for (int p = 0; p < keys88::kKeyCount; ++p) {
        if (keys88::IsBlack(p))
            DrawBlackKey(cr, p);
    }
}

picgen::PicGenRegister keys88Picture("keys88.png", keys88::kWidth, keys88::kHeight, DrawKeys88);

}  // namespace
