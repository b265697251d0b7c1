// Writes every registered picture as a PNG into the folder given on the
// command line, and the list of written names into "pictures.txt" there.
#include "PicGen.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace picgen {

namespace {

std::vector<Picture>& Pictures()
{
    static std::vector<Picture> pictures;
    return pictures;
}

bool WritePicture(const Picture& picture, const std::string& folder)
{
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, picture.width, picture.height);
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(surface);
        return false;
    }
    cairo_t* cr = cairo_create(surface);
    picture.draw(cr, picture.width, picture.height);
    bool drawn = cairo_status(cr) == CAIRO_STATUS_SUCCESS;
    cairo_destroy(cr);
    cairo_surface_flush(surface);
    std::string path = folder + "/" + picture.name;
    bool written = drawn && cairo_surface_write_to_png(surface, path.c_str()) == CAIRO_STATUS_SUCCESS;
    cairo_surface_destroy(surface);
    return written;
}

}  // namespace

void Register(const Picture& picture) { Pictures().push_back(picture); }
int Count() { return static_cast<int>(Pictures().size()); }
const Picture* Get(int n) { return n >= 0 && n < Count() ? &Pictures()[n] : nullptr; }

void FillRect(cairo_t* cr, double x, double y, double w, double h, int r, int g, int b)
{
    cairo_set_source_rgb(cr, r / 255.0, g / 255.0, b / 255.0);
    cairo_rectangle(cr, x, y, w, h);
    cairo_fill(cr);
}

void SetRgb(cairo_t* cr, int r, int g, int b) { cairo_set_source_rgb(cr, r / 255.0, g / 255.0, b / 255.0); }

void FillGradient(cairo_t* cr, double x0, double y0, double x1, double y1, Shade from, Shade to, bool keepPath)
{
    cairo_pattern_t* pattern = cairo_pattern_create_linear(x0, y0, x1, y1);
    cairo_pattern_add_color_stop_rgb(pattern, 0.0, from.r, from.g, from.b);
    cairo_pattern_add_color_stop_rgb(pattern, 1.0, to.r, to.g, to.b);
    cairo_set_source(cr, pattern);
    if (keepPath)
        cairo_fill_preserve(cr);
    else
        cairo_fill(cr);
    cairo_pattern_destroy(pattern);
}

}  // namespace picgen

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: picgen <output folder>\n");
        return 2;
    }
    std::string folder = argv[1];
    std::string list;
    for (int i = 0; i < picgen::Count(); ++i) {
        const picgen::Picture* picture = picgen::Get(i);
        for (int j = 0; j < i; ++j) {
            if (std::strcmp(picgen::Get(j)->name, picture->name) == 0) {
                std::fprintf(stderr, "picgen: picture %s registered twice\n", picture->name);
                return 1;
            }
        }
        if (picture->width <= 0 || picture->height <= 0 || !picgen::Get(i)->draw) {
            std::fprintf(stderr, "picgen: picture %s has no size or no draw function\n", picture->name);
            return 1;
        }
        if (!picgen::WritePicture(*picture, folder)) {
            std::fprintf(stderr, "picgen: cannot write %s/%s\n", folder.c_str(), picture->name);
            return 1;
        }
        list += picture->name;
        list += '\n';
    }
    std::string listPath = folder + "/pictures.txt";
    FILE* file = std::fopen(listPath.c_str(), "wb");
    if (!file || std::fwrite(list.data(), 1, list.size(), file) != list.size() || std::fclose(file) != 0) {
        std::fprintf(stderr, "picgen: cannot write %s\n", listPath.c_str());
        return 1;
    }
    return 0;
}
