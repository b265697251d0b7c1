// Pictures of the mixer strips: the compressor and equaliser panel faces
// ("pandyn.png", "paneq3.png", with the captions of their value rows and the
// box the panels draw their curves in) and the level fader's handle
// ("cur_mix15.png").
#include <cairo.h>

#include "PicGen.h"

namespace {

// The panels' box colour, so the picture blends into the panel.
constexpr int kBoxR = 38, kBoxG = 43, kBoxB = 47;

void Caption(cairo_t* cr, const char* text, double x, double y)
{
    cairo_set_source_rgb(cr, 150 / 255.0, 160 / 255.0, 170 / 255.0);
    cairo_select_font_face(cr, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, 8.0);
    cairo_move_to(cr, x, y);
    cairo_show_text(cr, text);
}

// The curve box (from y 10, 65 high, inset 4 in the panel; the picture sits
// at (1, 1)) with a faint grid.
void CurveBox(cairo_t* cr, int w)
{
    const double left = 3, top = 9, width = w - 6, height = 65;
    picgen::FillRect(cr, left, top, width, height, 28, 32, 36);
    cairo_set_source_rgb(cr, 48 / 255.0, 54 / 255.0, 60 / 255.0);
    cairo_set_line_width(cr, 1.0);
    for (int i = 1; i < 4; ++i) {
        double y = top + height * i / 4.0 + 0.5;
        cairo_move_to(cr, left, y);
        cairo_line_to(cr, left + width, y);
        double x = left + width * i / 4.0 + 0.5;
        cairo_move_to(cr, x, top);
        cairo_line_to(cr, x, top + height);
    }
    cairo_stroke(cr);
}

void DrawRows(cairo_t* cr, const char* const* captions, int count)
{
    // Rows at panel y 82, 104, ...: the picture's y is one less; the text's
    // baseline sits near the bar's bottom.
    for (int i = 0; i < count; ++i)
        Caption(cr, captions[i], 4, 81 + 22 * i + 9);
}

void DrawPanDyn(cairo_t* cr, int w, int h)
{
    picgen::FillRect(cr, 0, 0, w, h, kBoxR, kBoxG, kBoxB);
    cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
    CurveBox(cr, w);
    cairo_set_antialias(cr, CAIRO_ANTIALIAS_DEFAULT);
    static const char* const rows[] = {"Thresh", "Ratio", "Attack", "Release", "Gain"};
    DrawRows(cr, rows, 5);
}

void DrawPanEQ3(cairo_t* cr, int w, int h)
{
    picgen::FillRect(cr, 0, 0, w, h, kBoxR, kBoxG, kBoxB);
    cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
    CurveBox(cr, w);
    cairo_set_antialias(cr, CAIRO_ANTIALIAS_DEFAULT);
    static const char* const rows[] = {"High", "Mid", "Low"};
    DrawRows(cr, rows, 3);
}

// A fader cap: light face with a dark centre line.
void DrawMixHandle(cairo_t* cr, int w, int h)
{
    cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
    picgen::FillRect(cr, 0, 0, w, h, 30, 32, 36);
    cairo_pattern_t* face = cairo_pattern_create_linear(0, 0, 0, h);
    cairo_pattern_add_color_stop_rgb(face, 0.0, 0.86, 0.87, 0.90);
    cairo_pattern_add_color_stop_rgb(face, 0.5, 0.62, 0.64, 0.68);
    cairo_pattern_add_color_stop_rgb(face, 1.0, 0.80, 0.81, 0.84);
    cairo_set_source(cr, face);
    cairo_rectangle(cr, 1, 1, w - 2, h - 2);
    cairo_fill(cr);
    cairo_pattern_destroy(face);
    picgen::FillRect(cr, 1, h / 2, w - 2, 1, 20, 20, 24);
}

picgen::PicGenRegister panDyn("pandyn.png", 111, 181, DrawPanDyn);
picgen::PicGenRegister panEQ3("paneq3.png", 111, 137, DrawPanEQ3);
picgen::PicGenRegister mixHandle("cur_mix15.png", 17, 15, DrawMixHandle);

}  // namespace
