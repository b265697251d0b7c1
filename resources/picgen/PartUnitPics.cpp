// Pictures of the part unit: its knob ("pot_grey.png", a dark cap the light
// pointer line is drawn on), the handle of its faders ("fad_cur.png"), the
// filter switch ("vcf_on.png", "vcf_off.png"), the rack's open and close
// arrows ("tog_open.png", "tog_close.png") and the face of the expanded
// panel ("view_bot.png") with the knobs' names above them.
#include <cairo.h>

#include <initializer_list>

#include "PicGen.h"

namespace {

constexpr double kPi = 3.14159265358979;

void DrawKnob(cairo_t* cr, int w, int h)
{
    const double cx = w / 2.0, cy = h / 2.0;
    // A faint scale ring, then the cap.
    cairo_arc(cr, cx, cy, 15.5, 0, 2 * kPi);
    picgen::SetRgb(cr, 24, 27, 33);
    cairo_fill(cr);
    cairo_pattern_t* cap = cairo_pattern_create_radial(cx - 4, cy - 5, 1, cx, cy, 14);
    cairo_pattern_add_color_stop_rgb(cap, 0.0, 0.46, 0.49, 0.55);
    cairo_pattern_add_color_stop_rgb(cap, 1.0, 0.16, 0.17, 0.20);
    cairo_arc(cr, cx, cy, 13, 0, 2 * kPi);
    cairo_set_source(cr, cap);
    cairo_fill_preserve(cr);
    cairo_pattern_destroy(cap);
    picgen::SetRgb(cr, 120, 128, 140);
    cairo_set_line_width(cr, 1.0);
    cairo_stroke(cr);
}

void DrawFaderHandle(cairo_t* cr, int w, int h)
{
    cairo_rectangle(cr, 0.5, 0.5, w - 1, h - 1);
    picgen::FillGradient(cr, 0, 0, w, 0, {0.90, 0.91, 0.95}, {0.60, 0.62, 0.70}, true);
    picgen::SetRgb(cr, 20, 22, 30);
    cairo_set_line_width(cr, 1.0);
    cairo_stroke(cr);
    // The centre line marks the value.
    picgen::FillRect(cr, w / 2 - 0.5, 2, 1.5, h - 4, 30, 30, 40);
}

void DrawSwitch(cairo_t* cr, int w, int h, bool on)
{
    cairo_rectangle(cr, 0.5, 0.5, w - 1, h - 1);
    picgen::SetRgb(cr, 20, 22, 28);
    cairo_fill_preserve(cr);
    picgen::SetRgb(cr, 110, 118, 130);
    cairo_set_line_width(cr, 1.0);
    cairo_stroke(cr);
    // The lit stripe when on; the lever up (on) or down (off).
    if (on)
        picgen::FillRect(cr, 2, 2, w - 4, h - 4, 255, 150, 30);
    double top = on ? 2 : h / 2.0 + 1;
    cairo_rectangle(cr, 2, top, w - 4, h / 2.0 - 3);
    picgen::FillGradient(cr, 0, top, 0, top + h / 2.0, {0.92, 0.93, 0.96}, {0.55, 0.57, 0.63}, false);
}

void DrawFilterOn(cairo_t* cr, int w, int h) { DrawSwitch(cr, w, h, true); }
void DrawFilterOff(cairo_t* cr, int w, int h) { DrawSwitch(cr, w, h, false); }

// The rack's arrows: right while the unit is closed, down while open.
void Arrow(cairo_t* cr, int w, int h, bool down)
{
    if (down) {
        cairo_move_to(cr, 1, 3);
        cairo_line_to(cr, w - 1, 3);
        cairo_line_to(cr, w / 2.0, h - 2);
    } else {
        cairo_move_to(cr, 2, 1);
        cairo_line_to(cr, w - 2, h / 2.0);
        cairo_line_to(cr, 2, h - 1);
    }
    cairo_close_path(cr);
    picgen::SetRgb(cr, 200, 210, 228);
    cairo_fill(cr);
}

void DrawOpenArrow(cairo_t* cr, int w, int h) { Arrow(cr, w, h, false); }
void DrawCloseArrow(cairo_t* cr, int w, int h) { Arrow(cr, w, h, true); }

// The expanded panel's face. It sits 2 pixels into the panel, so a control
// at panel x is at x - 2 here.
void DrawPanel(cairo_t* cr, int w, int h)
{
    picgen::FillRect(cr, 0, 0, w, h - 2, 54, 63, 77);
    picgen::FillRect(cr, 0, 0, w, 1, 110, 110, 120);
    picgen::FillRect(cr, 0, h - 2, w, 1, 140, 140, 150);

    // Dividers between the tuning, amplifier and filter groups.
    for (double x : {276.5, 380.5, 614.5})
        picgen::FillRect(cr, x, 6, 1, h - 14, 95, 106, 124);

    struct Name {
        int x;  // the knob's left edge in the panel
        const char* text;
    };
    const Name names[] = {{290, "Key"},    {334, "Bend"},   {402, "Vel"},    {446, "Attack"},
                          {490, "Decay"},  {534, "Sustain"}, {578, "Release"}, {643, "Cutoff"},
                          {687, "F.Vel"},  {731, "F.Att"},  {777, "F.Rel"}};
    cairo_select_font_face(cr, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_BOLD);
    cairo_set_font_size(cr, 8.0);
    picgen::SetRgb(cr, 222, 228, 238);
    for (const Name& n : names) {
        cairo_text_extents_t e;
        cairo_text_extents(cr, n.text, &e);
        double centre = n.x + 16.5 - 2;
        cairo_move_to(cr, centre - e.width / 2.0 - e.x_bearing, 13);
        cairo_show_text(cr, n.text);
    }
    // The filter switch's name under it (the switch is at panel x 630), small
    // enough to keep clear of the cutoff's value box at x 645.
    cairo_set_font_size(cr, 7.0);
    cairo_text_extents_t e;
    cairo_text_extents(cr, "VCF", &e);
    cairo_move_to(cr, 630 + 6 - 2 - e.width / 2.0 - e.x_bearing, 60);
    cairo_show_text(cr, "VCF");
}

picgen::PicGenRegister knobPicture("pot_grey.png", 33, 33, DrawKnob);
picgen::PicGenRegister faderHandlePicture("fad_cur.png", 10, 16, DrawFaderHandle);
picgen::PicGenRegister filterOnPicture("vcf_on.png", 12, 31, DrawFilterOn);
picgen::PicGenRegister filterOffPicture("vcf_off.png", 12, 31, DrawFilterOff);
picgen::PicGenRegister openArrowPicture("tog_open.png", 11, 13, DrawOpenArrow);
picgen::PicGenRegister closeArrowPicture("tog_close.png", 11, 13, DrawCloseArrow);
picgen::PicGenRegister panelPicture("view_bot.png", 829, 70, DrawPanel);

}  // namespace
