// "tb_tessivo.png": the product logo at the right of the editor's toolbar,
// the name in light letters on a dark blue plate.
#include <cairo.h>

#include "PicGen.h"

namespace {

constexpr int kLogoW = 130;
constexpr int kLogoH = 34;

void DrawLogo(cairo_t* cr, int w, int h)
{
    cairo_rectangle(cr, 0, 0, w, h);
    picgen::FillGradient(cr, 0, 0, 0, h, {0.20, 0.25, 0.34}, {0.08, 0.09, 0.12}, false);
    // A thin light edge along the top.
    picgen::FillRect(cr, 0, 0, w, 1, 110, 130, 160);

    cairo_select_font_face(cr, "DejaVu Sans", CAIRO_FONT_SLANT_ITALIC, CAIRO_FONT_WEIGHT_BOLD);
    cairo_set_font_size(cr, 20.0);
    cairo_text_extents_t extents;
    cairo_text_extents(cr, "Tessivo", &extents);
    double x = (w - extents.width) / 2.0 - extents.x_bearing;
    double y = (h - extents.height) / 2.0 - extents.y_bearing;
    cairo_move_to(cr, x + 1, y + 1);
    cairo_set_source_rgb(cr, 0.0, 0.0, 0.0);
    cairo_show_text(cr, "Tessivo");
    cairo_move_to(cr, x, y);
    cairo_set_source_rgb(cr, 0.85, 0.92, 1.0);
    cairo_show_text(cr, "Tessivo");
}

picgen::PicGenRegister logoPicture("tb_tessivo.png", kLogoW, kLogoH, DrawLogo);

}  // namespace
