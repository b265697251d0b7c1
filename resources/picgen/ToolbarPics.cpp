// Pictures of the editor's toolbar: the ten buttons ("tb_new.png" ...
// "tb_reset.png", each an icon over its caption on a button face), the
// pane's background tile ("tb_back.png") and the window icon
// ("tessivo.ico", a PNG like every picture; only its name is the one the
// editor asks for). The buttons' faded and pressed looks are made from these
// by changing their saturation, so every icon has colour of its own.
#include <cairo.h>

#include <cmath>
#include <initializer_list>

#include "PicGen.h"

namespace {

constexpr int kButtonW = 59;
constexpr int kButtonH = 44;
constexpr double kPi = 3.14159265358979;

void RoundedRect(cairo_t* cr, double x, double y, double w, double h, double r)
{
    cairo_new_sub_path(cr);
    cairo_arc(cr, x + w - r, y + r, r, -kPi / 2, 0);
    cairo_arc(cr, x + w - r, y + h - r, r, 0, kPi / 2);
    cairo_arc(cr, x + r, y + h - r, r, kPi / 2, kPi);
    cairo_arc(cr, x + r, y + r, r, kPi, 3 * kPi / 2);
    cairo_close_path(cr);
}

// The button face with the caption along its bottom; the icon goes in the
// 26-pixel-high area above, centred on (w / 2, 15).
void Face(cairo_t* cr, int w, int h, const char* caption)
{
    RoundedRect(cr, 1.5, 1.5, w - 3, h - 3, 5);
    picgen::FillGradient(cr, 0, 0, 0, h, {0.36, 0.41, 0.50}, {0.20, 0.23, 0.29}, true);
    picgen::SetRgb(cr, 18, 20, 26);
    cairo_set_line_width(cr, 1.0);
    cairo_stroke(cr);

    cairo_select_font_face(cr, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_BOLD);
    cairo_set_font_size(cr, 9.0);
    cairo_text_extents_t e;
    cairo_text_extents(cr, caption, &e);
    double x = (w - e.width) / 2.0 - e.x_bearing;
    double y = h - 5.5;
    picgen::SetRgb(cr, 0, 0, 0);
    cairo_move_to(cr, x + 1, y + 1);
    cairo_show_text(cr, caption);
    picgen::SetRgb(cr, 236, 240, 246);
    cairo_move_to(cr, x, y);
    cairo_show_text(cr, caption);
    // The text leaves a current point an icon's first arc would join.
    cairo_new_path(cr);
}

void Outline(cairo_t* cr)
{
    picgen::SetRgb(cr, 20, 22, 28);
    cairo_set_line_width(cr, 1.2);
    cairo_stroke(cr);
}

void Page(cairo_t* cr, double x, double y, double w, double h)
{
    cairo_move_to(cr, x, y);
    cairo_line_to(cr, x + w - 6, y);
    cairo_line_to(cr, x + w, y + 6);
    cairo_line_to(cr, x + w, y + h);
    cairo_line_to(cr, x, y + h);
    cairo_close_path(cr);
    picgen::SetRgb(cr, 250, 250, 246);
    cairo_fill_preserve(cr);
    Outline(cr);
}

void Folder(cairo_t* cr, double x, double y, bool open)
{
    cairo_move_to(cr, x, y + 3);
    cairo_line_to(cr, x + 8, y + 3);
    cairo_line_to(cr, x + 10, y + 6);
    cairo_line_to(cr, x + 24, y + 6);
    cairo_line_to(cr, x + 24, y + 20);
    cairo_line_to(cr, x, y + 20);
    cairo_close_path(cr);
    picgen::SetRgb(cr, 200, 150, 40);
    cairo_fill_preserve(cr);
    Outline(cr);
    if (open) {
        cairo_move_to(cr, x + 4, y + 10);
        cairo_line_to(cr, x + 29, y + 10);
        cairo_line_to(cr, x + 24, y + 20);
        cairo_line_to(cr, x, y + 20);
        cairo_close_path(cr);
    } else {
        cairo_rectangle(cr, x, y + 9, 24, 11);
    }
    picgen::SetRgb(cr, 250, 200, 70);
    cairo_fill_preserve(cr);
    Outline(cr);
}

void Disk(cairo_t* cr, double x, double y)
{
    cairo_rectangle(cr, x, y, 20, 20);
    picgen::SetRgb(cr, 50, 110, 210);
    cairo_fill_preserve(cr);
    Outline(cr);
    cairo_rectangle(cr, x + 4, y + 1, 12, 7);
    picgen::SetRgb(cr, 230, 235, 240);
    cairo_fill(cr);
    cairo_rectangle(cr, x + 12, y + 2, 3, 5);
    picgen::SetRgb(cr, 40, 60, 100);
    cairo_fill(cr);
    cairo_rectangle(cr, x + 4, y + 12, 12, 7);
    picgen::SetRgb(cr, 250, 250, 250);
    cairo_fill(cr);
}

void DrawNew(cairo_t* cr, int w, int h)
{
    Face(cr, w, h, "New");
    Page(cr, w / 2.0 - 9, 3.5, 17, 22);
    // A green plus: a fresh performance.
    cairo_rectangle(cr, w / 2.0 + 3, 15, 11, 4);
    cairo_rectangle(cr, w / 2.0 + 6.5, 11.5, 4, 11);
    picgen::SetRgb(cr, 40, 190, 60);
    cairo_fill(cr);
}

void DrawOpen(cairo_t* cr, int w, int h)
{
    Face(cr, w, h, "Open");
    Folder(cr, w / 2.0 - 14, 3, true);
}

void DrawSave(cairo_t* cr, int w, int h)
{
    Face(cr, w, h, "Save");
    Disk(cr, w / 2.0 - 10, 4.5);
}

void DrawSaveAs(cairo_t* cr, int w, int h)
{
    Face(cr, w, h, "Save as");
    Disk(cr, w / 2.0 - 14, 4.5);
    // An orange pencil across the disk: a new name.
    cairo_save(cr);
    cairo_translate(cr, w / 2.0 + 8, 15);
    cairo_rotate(cr, -kPi / 4);
    cairo_rectangle(cr, -10, -2.5, 16, 5);
    picgen::SetRgb(cr, 245, 150, 30);
    cairo_fill_preserve(cr);
    Outline(cr);
    cairo_move_to(cr, 6, -2.5);
    cairo_line_to(cr, 11, 0);
    cairo_line_to(cr, 6, 2.5);
    cairo_close_path(cr);
    picgen::SetRgb(cr, 240, 210, 160);
    cairo_fill(cr);
    cairo_restore(cr);
}

void DrawBrowse(cairo_t* cr, int w, int h)
{
    Face(cr, w, h, "Browse");
    // A small tree of folders.
    double x = w / 2.0 - 12;
    picgen::SetRgb(cr, 220, 225, 235);
    cairo_set_line_width(cr, 1.5);
    cairo_move_to(cr, x + 3, 9);
    cairo_line_to(cr, x + 3, 23);
    cairo_move_to(cr, x + 3, 15.5);
    cairo_line_to(cr, x + 9, 15.5);
    cairo_move_to(cr, x + 3, 22.5);
    cairo_line_to(cr, x + 9, 22.5);
    cairo_stroke(cr);
    struct Box {
        double x, y;
        int r, g, b;
    };
    for (const Box& box : {Box{x - 1, 3, 250, 200, 70}, Box{x + 9, 12, 90, 200, 110}, Box{x + 9, 19, 90, 200, 110}}) {
        cairo_rectangle(cr, box.x, box.y, box.x == x - 1 ? 10 : 16, 6);
        picgen::SetRgb(cr, box.r, box.g, box.b);
        cairo_fill_preserve(cr);
        Outline(cr);
    }
}

void DrawSearch(cairo_t* cr, int w, int h)
{
    Face(cr, w, h, "Search");
    double cx = w / 2.0 - 3, cy = 12;
    cairo_set_line_width(cr, 5.0);
    cairo_move_to(cr, cx + 6, cy + 6);
    cairo_line_to(cr, cx + 13, cy + 13);
    picgen::SetRgb(cr, 120, 70, 30);
    cairo_stroke(cr);
    cairo_arc(cr, cx, cy, 8, 0, 2 * kPi);
    picgen::SetRgb(cr, 170, 220, 255);
    cairo_fill_preserve(cr);
    cairo_set_line_width(cr, 2.5);
    picgen::SetRgb(cr, 40, 50, 70);
    cairo_stroke(cr);
}

void DrawMixer(cairo_t* cr, int w, int h)
{
    Face(cr, w, h, "Mixer");
    const double knobY[3] = {16, 9, 19};
    const int colour[3][3] = {{90, 200, 110}, {250, 200, 70}, {240, 90, 80}};
    for (int i = 0; i < 3; ++i) {
        double x = w / 2.0 - 10 + 10 * i;
        cairo_rectangle(cr, x - 1, 4, 2, 22);
        picgen::SetRgb(cr, 15, 15, 20);
        cairo_fill(cr);
        cairo_rectangle(cr, x - 4, knobY[i] - 2.5, 8, 5);
        picgen::SetRgb(cr, colour[i][0], colour[i][1], colour[i][2]);
        cairo_fill_preserve(cr);
        Outline(cr);
    }
}

void DrawSettings(cairo_t* cr, int w, int h)
{
    Face(cr, w, h, "Settings");
    double cx = w / 2.0, cy = 15;
    // A gear: eight teeth round a ring.
    cairo_save(cr);
    cairo_translate(cr, cx, cy);
    for (int i = 0; i < 8; ++i) {
        cairo_save(cr);
        cairo_rotate(cr, i * kPi / 4);
        cairo_rectangle(cr, -2.5, -11.5, 5, 5);
        cairo_restore(cr);
    }
    cairo_new_sub_path(cr);
    cairo_arc(cr, 0, 0, 8, 0, 2 * kPi);
    picgen::SetRgb(cr, 190, 195, 205);
    cairo_fill(cr);
    cairo_arc(cr, 0, 0, 3.5, 0, 2 * kPi);
    picgen::SetRgb(cr, 60, 120, 200);
    cairo_fill(cr);
    cairo_restore(cr);
}

void DrawExpand(cairo_t* cr, int w, int h)
{
    Face(cr, w, h, "Expand");
    // Two unit bars pulled apart by green arrows.
    double x = w / 2.0 - 11;
    for (double y : {4.0, 22.0}) {
        cairo_rectangle(cr, x, y, 22, 4);
        picgen::SetRgb(cr, 80, 160, 255);
        cairo_fill_preserve(cr);
        Outline(cr);
    }
    picgen::SetRgb(cr, 60, 210, 90);
    cairo_move_to(cr, w / 2.0, 9);
    cairo_line_to(cr, w / 2.0 + 5, 14);
    cairo_line_to(cr, w / 2.0 - 5, 14);
    cairo_close_path(cr);
    cairo_move_to(cr, w / 2.0, 21);
    cairo_line_to(cr, w / 2.0 + 5, 16);
    cairo_line_to(cr, w / 2.0 - 5, 16);
    cairo_close_path(cr);
    cairo_fill(cr);
}

void DrawReset(cairo_t* cr, int w, int h)
{
    Face(cr, w, h, "Reset");
    double cx = w / 2.0, cy = 15;
    cairo_set_line_width(cr, 3.5);
    cairo_arc(cr, cx, cy, 8, -kPi * 0.35, kPi * 1.45);
    picgen::SetRgb(cr, 235, 70, 60);
    cairo_stroke(cr);
    // The arrow head at the open end.
    double ax = cx + 8 * std::cos(-kPi * 0.35), ay = cy + 8 * std::sin(-kPi * 0.35);
    cairo_move_to(cr, ax + 5, ay - 1);
    cairo_line_to(cr, ax - 1, ay + 6);
    cairo_line_to(cr, ax - 3, ay - 4);
    cairo_close_path(cr);
    cairo_fill(cr);
}

// The toolbar pane's background, tiled across: a dark steel gradient.
void DrawBack(cairo_t* cr, int w, int h)
{
    cairo_rectangle(cr, 0, 0, w, h);
    picgen::FillGradient(cr, 0, 0, 0, h, {0.27, 0.31, 0.38}, {0.13, 0.15, 0.19}, false);
    picgen::FillRect(cr, 0, 0, w, 1, 100, 112, 130);
    picgen::FillRect(cr, 0, h - 1, w, 1, 10, 12, 16);
}

// The window icon: a "T" on the logo's blue plate.
void DrawIcon(cairo_t* cr, int w, int h)
{
    RoundedRect(cr, 0.5, 0.5, w - 1, h - 1, 5);
    picgen::SetRgb(cr, 40, 60, 95);
    cairo_fill(cr);
    cairo_select_font_face(cr, "DejaVu Sans", CAIRO_FONT_SLANT_ITALIC, CAIRO_FONT_WEIGHT_BOLD);
    cairo_set_font_size(cr, h * 0.8);
    cairo_text_extents_t e;
    cairo_text_extents(cr, "T", &e);
    cairo_move_to(cr, (w - e.width) / 2.0 - e.x_bearing, (h - e.height) / 2.0 - e.y_bearing);
    picgen::SetRgb(cr, 215, 235, 255);
    cairo_show_text(cr, "T");
}

picgen::PicGenRegister newPicture("tb_new.png", kButtonW, kButtonH, DrawNew);
picgen::PicGenRegister openPicture("tb_open.png", kButtonW, kButtonH, DrawOpen);
picgen::PicGenRegister savePicture("tb_save.png", kButtonW, kButtonH, DrawSave);
picgen::PicGenRegister saveAsPicture("tb_saveas.png", kButtonW, kButtonH, DrawSaveAs);
picgen::PicGenRegister browsePicture("tb_browse.png", kButtonW, kButtonH, DrawBrowse);
picgen::PicGenRegister searchPicture("tb_search.png", kButtonW, kButtonH, DrawSearch);
picgen::PicGenRegister mixerPicture("tb_mixer.png", kButtonW, kButtonH, DrawMixer);
picgen::PicGenRegister settingsPicture("tb_settings.png", kButtonW, kButtonH, DrawSettings);
picgen::PicGenRegister expandPicture("tb_expand.png", kButtonW, kButtonH, DrawExpand);
picgen::PicGenRegister resetPicture("tb_reset.png", kButtonW, kButtonH, DrawReset);
picgen::PicGenRegister backPicture("tb_back.png", 16, 48, DrawBack);
picgen::PicGenRegister iconPicture("tessivo.ico", 32, 32, DrawIcon);

}  // namespace
