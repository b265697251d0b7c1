// The browser's 16 x 16 icons (computer, disk, folder, open and closed
// folder marks, .gig bank, preset file, instrument) and the two rating
// stars of the database search.
#include <cairo.h>

#include <cmath>
#include <initializer_list>

#include "PicGen.h"

namespace {

void Clear(cairo_t* cr)
{
    cairo_set_operator(cr, CAIRO_OPERATOR_CLEAR);
    cairo_paint(cr);
    cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
}

void DrawComputer(cairo_t* cr, int, int)
{
    Clear(cr);
    picgen::FillRect(cr, 1, 2, 14, 10, 60, 70, 90);
    picgen::FillRect(cr, 2, 3, 12, 8, 110, 170, 230);
    picgen::FillRect(cr, 6, 12, 4, 2, 90, 90, 100);
    picgen::FillRect(cr, 3, 14, 10, 1, 140, 140, 150);
}

void DrawDisk(cairo_t* cr, int, int)
{
    Clear(cr);
    picgen::FillRect(cr, 1, 5, 14, 7, 120, 120, 130);
    picgen::FillRect(cr, 2, 6, 12, 5, 190, 190, 200);
    picgen::FillRect(cr, 11, 9, 2, 1, 60, 210, 90);
}

void FolderShape(cairo_t* cr, int r, int g, int b)
{
    picgen::FillRect(cr, 1, 3, 6, 2, r * 4 / 5, g * 4 / 5, b * 4 / 5);
    picgen::FillRect(cr, 1, 5, 14, 9, r, g, b);
    picgen::FillRect(cr, 1, 13, 14, 1, r * 3 / 5, g * 3 / 5, b * 3 / 5);
}

void DrawFolder(cairo_t* cr, int, int)
{
    Clear(cr);
    FolderShape(cr, 230, 190, 90);
}

void DrawOpen(cairo_t* cr, int, int)
{
    Clear(cr);
    picgen::FillRect(cr, 3, 7, 9, 1, 200, 200, 200);  // a minus sign
}

void DrawClosed(cairo_t* cr, int, int)
{
    Clear(cr);
    picgen::FillRect(cr, 3, 7, 9, 1, 200, 200, 200);  // a plus sign
    picgen::FillRect(cr, 7, 3, 1, 9, 200, 200, 200);
}

void DrawGig(cairo_t* cr, int, int)
{
    Clear(cr);
    picgen::FillRect(cr, 3, 1, 10, 14, 220, 220, 210);
    picgen::FillRect(cr, 4, 2, 8, 12, 250, 250, 240);
    for (int i = 0; i < 4; ++i)
        picgen::FillRect(cr, 5 + 2 * i, 9, 1, 4, 30, 30, 30);
    picgen::FillRect(cr, 5, 4, 6, 2, 200, 60, 60);
}

void DrawPreset(cairo_t* cr, int, int)
{
    Clear(cr);
    picgen::FillRect(cr, 3, 1, 10, 14, 200, 210, 220);
    picgen::FillRect(cr, 4, 2, 8, 12, 235, 240, 250);
    for (int i = 0; i < 3; ++i)
        picgen::FillRect(cr, 5, 4 + 3 * i, 6, 1, 60, 110, 190);
}

void DrawInstrument(cairo_t* cr, int, int)
{
    Clear(cr);
    picgen::FillRect(cr, 1, 4, 14, 8, 40, 40, 40);
    for (int i = 0; i < 6; ++i)
        picgen::FillRect(cr, 2 + 2 * i, 5, 1, 6, 240, 240, 235);
    for (int i : {3, 5, 9, 11})
        picgen::FillRect(cr, i, 5, 1, 3, 20, 20, 20);
}

void Star(cairo_t* cr, int r, int g, int b)
{
    Clear(cr);
    const double cx = 8, cy = 8.5, outer = 7.2, inner = 3.0;
    cairo_new_path(cr);
    for (int i = 0; i < 10; ++i) {
        double radius = i % 2 ? inner : outer;
        double angle = -M_PI / 2 + i * M_PI / 5;
        double x = cx + radius * std::cos(angle), y = cy + radius * std::sin(angle);
        if (i == 0)
            cairo_move_to(cr, x, y);
        else
            cairo_line_to(cr, x, y);
    }
    cairo_close_path(cr);
    picgen::SetRgb(cr, r, g, b);
    cairo_fill_preserve(cr);
    picgen::SetRgb(cr, r / 2, g / 2, b / 2);
    cairo_set_line_width(cr, 1.0);
    cairo_stroke(cr);
}

void DrawGoldStar(cairo_t* cr, int, int) { Star(cr, 250, 200, 40); }
void DrawBlueStar(cairo_t* cr, int, int) { Star(cr, 70, 90, 140); }

picgen::PicGenRegister computerPicture("icn_comp.png", 16, 16, DrawComputer);
picgen::PicGenRegister diskPicture("icn_disk.png", 16, 16, DrawDisk);
picgen::PicGenRegister folderPicture("icn_folder.png", 16, 16, DrawFolder);
picgen::PicGenRegister openPicture("icn_open.png", 16, 16, DrawOpen);
picgen::PicGenRegister closedPicture("icn_closed.png", 16, 16, DrawClosed);
picgen::PicGenRegister gigPicture("icn_gig.png", 16, 16, DrawGig);
picgen::PicGenRegister presetPicture("icn_tvr.png", 16, 16, DrawPreset);
picgen::PicGenRegister instrumentPicture("icn_inst.png", 16, 16, DrawInstrument);
picgen::PicGenRegister goldStarPicture("stargold16.png", 16, 16, DrawGoldStar);
picgen::PicGenRegister blueStarPicture("starblue16.png", 16, 16, DrawBlueStar);

}  // namespace
