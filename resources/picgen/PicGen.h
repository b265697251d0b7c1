// The picture generator: every picture the toolkit and the editor show is
// drawn here with cairo, one draw function per picture, registered by name
// and size. The build runs the generator and embeds the PNGs it writes into
// the binaries (library kivpics), where XPic loads them by name.
#pragma once
#include <cairo.h>

namespace picgen {

using DrawFunction = void (*)(cairo_t* cr, int w, int h);

struct Picture {
    const char* name;  // the name XPic::Load finds it by ("keys88.png")
    int width;
    int height;
    DrawFunction draw;
};

// Registers one picture (a file-scope PicGenRegister object in the file of
// its draw function does this before main runs).
void Register(const Picture& picture);
int Count();
const Picture* Get(int n);

struct PicGenRegister {
    PicGenRegister(const char* name, int width, int height, DrawFunction draw)
    {
        Register(Picture{name, width, height, draw});
    }
};

// Fills a rectangle with a solid colour (components 0..255).
void FillRect(cairo_t* cr, double x, double y, double w, double h, int r, int g, int b);
// Sets a solid colour as the source (components 0..255).
void SetRgb(cairo_t* cr, int r, int g, int b);

// A colour of a gradient (components 0..1).
struct Shade {
    double r, g, b;
};
// Fills the current path with a linear gradient from one shade at (x0, y0)
// to another at (x1, y1); keepPath keeps the path for an outline after.
void FillGradient(cairo_t* cr, double x0, double y0, double x1, double y1, Shade from, Shade to, bool keepPath);

}  // namespace picgen
