#include "kiv/gui/XGraphic.h"

#include <cairo-ft.h>
#include <cairo.h>
#include <dlfcn.h>
#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "kiv/gui/XPic.h"

namespace {

// Windows-1252 bytes 0x80-0x9F; the five unassigned bytes keep their C1
// code points, as Windows maps them.
const uint16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

constexpr int kMaxSurfaceSide = 16384;   // larger windows are refused
constexpr int kDefaultFontCell = 13;     // cell height of the default GUI font

// Cell ascent and height, per em, of the context's font (set to size 100 so
// hinted extents are not rounded off). The cell is the font's own Windows
// ascent plus descent, which toolkit font heights always meant; cairo's
// extents give the typographic line instead (for Carlito 1.0 em of its
// 1.22 em cell), so they are only the fallback for fonts without that table.
struct CellMetrics {
    double ascent;
    double height;
};

CellMetrics GetCellMetrics(cairo_t* cr)
{
    cairo_font_extents_t extents;
    cairo_font_extents(cr, &extents);
    CellMetrics cell{extents.ascent / 100.0,
                     std::max(extents.ascent + extents.descent, extents.height) / 100.0};
    cairo_scaled_font_t* scaled = cairo_get_scaled_font(cr);
    if (cairo_scaled_font_get_type(scaled) == CAIRO_FONT_TYPE_FT) {
        if (FT_Face face = cairo_ft_scaled_font_lock_face(scaled)) {
            auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
            double em = face->units_per_EM;
            if (os2 && em > 0.0 && os2->usWinAscent + os2->usWinDescent > 0) {
                cell.ascent = os2->usWinAscent / em;
                cell.height = (os2->usWinAscent + os2->usWinDescent) / em;
            }
            cairo_ft_scaled_font_unlock_face(scaled);
        }
    }
    if (!(cell.height > 0.0))
        cell = {0.8, 1.0};
    return cell;
}

bool IsValidUtf8(const unsigned char* s)
{
    while (*s) {
        unsigned c = *s;
        if (c < 0x80) {
            ++s;
            continue;
        }
        int extra;
        unsigned cp;
        if (c >= 0xC2 && c <= 0xDF) {
            extra = 1;
            cp = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            extra = 2;
            cp = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            extra = 3;
            cp = c & 0x07;
        } else {
            return false;
        }
        for (int i = 1; i <= extra; ++i) {
            if ((s[i] & 0xC0) != 0x80)  // also stops at the terminating NUL
                return false;
            cp = (cp << 6) | (s[i] & 0x3F);
        }
        if ((extra == 2 && cp < 0x800) || (extra == 3 && (cp < 0x10000 || cp > 0x10FFFF)) ||
            (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        s += extra + 1;
    }
    return true;
}

void AppendUtf8(std::string& out, unsigned cp)
{
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

bool FamilyInstalled(const char* family)
{
    FcPattern* pattern = FcPatternCreate();
    if (!pattern)
        return false;
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family));
    FcObjectSet* objects = FcObjectSetBuild(FC_FAMILY, static_cast<char*>(nullptr));
    FcFontSet* fonts = objects ? FcFontList(nullptr, pattern, objects) : nullptr;
    bool found = fonts && fonts->nfont > 0;
    if (fonts)
        FcFontSetDestroy(fonts);
    if (objects)
        FcObjectSetDestroy(objects);
    FcPatternDestroy(pattern);
    return found;
}

}  // namespace

std::string XGraphic::ToUtf8(const char* text)
{
    if (!text)
        return std::string();
    const auto* bytes = reinterpret_cast<const unsigned char*>(text);
    if (IsValidUtf8(bytes))
        return std::string(text);
    std::string out;
    for (; *bytes; ++bytes) {
        unsigned c = *bytes;
        if (c >= 0x80 && c < 0xA0)
            c = kCp1252High[c - 0x80];
        AppendUtf8(out, c);
    }
    return out;
}

const char* XGraphic::GetFontFamily()
{
    static const char* const family = [] {
        static const char* const candidates[] = {"Calibri", "Carlito", "DejaVu Sans"};
        if (FcInit()) {
            for (const char* name : candidates) {
                if (FamilyInstalled(name))
                    return name;
            }
        }
        return "sans-serif";
    }();
    return family;
}

XGraphic::XGraphic()
{
    // A one-pixel surface until the first pass, so text can be measured
    // before anything is painted.
    CreateSurface(1, 1);
    m_surfaceW = 0;
    m_surfaceH = 0;
}

XGraphic::~XGraphic()
{
    if (m_offscreen) {
        cairo_destroy(m_cr);
        cairo_surface_destroy(m_offscreen);
        m_cr = m_mainCr;
        m_offscreen = nullptr;
    }
    DestroySurface();
}

void XGraphic::CreateSurface(int w, int h)
{
    DestroySurface();
    w = std::clamp(w, 0, kMaxSurfaceSide);
    h = std::clamp(h, 0, kMaxSurfaceSide);
    m_surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, w, h);
    m_cr = cairo_create(m_surface);
    m_mainCr = m_cr;
    cairo_set_antialias(m_cr, CAIRO_ANTIALIAS_NONE);
    m_surfaceW = w;
    m_surfaceH = h;
    m_surfaceRect = XRect(0, 0, w - 1, h - 1);
    m_clipBox = XRectangle(0, 0, w, h);
    m_damage.clear();
    // The new context starts with the default font: the next SetFont call
    // must create its font whatever pair was selected before.
    m_fontSize = 0;
    m_fontStyle = 0;
    m_textAdjust = 0;
    m_textHeight = 0;
    ApplyFontToContext();
}

void XGraphic::DestroySurface()
{
    if (m_mainCr)
        cairo_destroy(m_mainCr);
    if (m_surface)
        cairo_surface_destroy(m_surface);
    m_mainCr = nullptr;
    m_cr = nullptr;
    m_surface = nullptr;
}

void XGraphic::BeginPaint(XPaintTarget* target, int w, int h)
{
    m_clipTop = -1;
    m_target = target;
    m_mainTarget = target;
    m_centring = 0;
    m_viewX = m_viewY = m_originX = m_originY = m_offsetX = m_offsetY = 0;
    m_newSurface = false;
    if (w != m_surfaceW || h != m_surfaceH) {
        CreateSurface(w, h);
        m_newSurface = true;
    }
    m_surfaceRect = XRect(0, 0, m_surfaceW - 1, m_surfaceH - 1);
    m_clipBox = XRectangle(0, 0, m_surfaceW, m_surfaceH);
    ApplyClip();
}

void XGraphic::Blit()
{
    bool damageOnly = m_damageOnly && !m_newSurface;
    m_damageOnly = false;
    if (damageOnly) {
        BlitDamage();
        return;
    }
    if (!m_target || !m_surface || m_surfaceW <= 0 || m_surfaceH <= 0)
        return;
    cairo_surface_flush(m_surface);
    const uint8_t* data = cairo_image_surface_get_data(m_surface);
    if (!data)
        return;
    m_damage.clear();
    m_target->Present(data, cairo_image_surface_get_stride(m_surface), 0, 0, m_surfaceW, m_surfaceH);
}

void XGraphic::AddDamage(const XRectangle& rect)
{
    ++m_damageMarks;
    int x0 = std::max(rect.x + m_viewX, m_clipBox.x);
    int y0 = std::max(rect.y + m_viewY, m_clipBox.y);
    int x1 = std::min(rect.x + m_viewX + rect.width, m_clipBox.x + m_clipBox.width);
    int y1 = std::min(rect.y + m_viewY + rect.height, m_clipBox.y + m_clipBox.height);
    if (x1 <= x0 || y1 <= y0)
        return;
    auto inside = [](const XRectangle& a, int ax0, int ay0, int ax1, int ay1) {
        return a.x >= ax0 && a.y >= ay0 && a.x + a.width <= ax1 && a.y + a.height <= ay1;
    };
    for (const XRectangle& d : m_damage) {
        if (inside(XRectangle(x0, y0, x1 - x0, y1 - y0), d.x, d.y, d.x + d.width, d.y + d.height))
            return;
    }
    // A parent drawn after its children (or a list grown past its bound)
    // swallows what it covers.
    m_damage.erase(std::remove_if(m_damage.begin(), m_damage.end(),
                                  [&](const XRectangle& d) { return inside(d, x0, y0, x1, y1); }),
                   m_damage.end());
    constexpr size_t kMaxDamage = 32;
    if (m_damage.size() >= kMaxDamage) {
        // Merged with the rectangle whose union grows least.
        size_t best = 0;
        long bestGrowth = -1;
        for (size_t i = 0; i < m_damage.size(); ++i) {
            const XRectangle& d = m_damage[i];
            long ux0 = std::min(x0, d.x), uy0 = std::min(y0, d.y);
            long ux1 = std::max(x1, d.x + d.width), uy1 = std::max(y1, d.y + d.height);
            long growth = (ux1 - ux0) * (uy1 - uy0) - static_cast<long>(d.width) * d.height;
            if (bestGrowth < 0 || growth < bestGrowth) {
                bestGrowth = growth;
                best = i;
            }
        }
        XRectangle d = m_damage[best];
        m_damage.erase(m_damage.begin() + static_cast<long>(best));
        int nx0 = std::min(x0, d.x), ny0 = std::min(y0, d.y);
        int nx1 = std::max(x1, d.x + d.width), ny1 = std::max(y1, d.y + d.height);
        int saveX = m_viewX, saveY = m_viewY;
        XRectangle saveClip = m_clipBox;
        m_viewX = m_viewY = 0;
        m_clipBox = XRectangle(0, 0, m_surfaceW, m_surfaceH);
        AddDamage(XRectangle(nx0, ny0, nx1 - nx0, ny1 - ny0));
        m_viewX = saveX;
        m_viewY = saveY;
        m_clipBox = saveClip;
        return;
    }
    m_damage.push_back(XRectangle(x0, y0, x1 - x0, y1 - y0));
}

void XGraphic::BlitDamage()
{
    if (m_damage.empty())
        return;
    if (!m_target || !m_surface || m_surfaceW <= 0 || m_surfaceH <= 0) {
        m_damage.clear();
        return;
    }
    cairo_surface_flush(m_surface);
    const uint8_t* data = cairo_image_surface_get_data(m_surface);
    int stride = cairo_image_surface_get_stride(m_surface);
    if (!data)
        return;
    std::vector<XRectangle> damage;
    damage.swap(m_damage);
    for (const XRectangle& d : damage)
        m_target->Present(data + static_cast<size_t>(d.y) * stride + static_cast<size_t>(d.x) * 4, stride, d.x, d.y,
                          d.width, d.height);
}

void XGraphic::BeginOffscreen(const XRect& rect, XPaintTarget* target)
{
    if (m_offscreen)
        return;
    int w = std::clamp(rect.Width(), 0, kMaxSurfaceSide);
    int h = std::clamp(rect.Height(), 0, kMaxSurfaceSide);
    m_offscreenRect = rect;
    m_target = target;
    m_offscreen = cairo_image_surface_create(CAIRO_FORMAT_RGB24, w, h);
    m_cr = cairo_create(m_offscreen);
    cairo_set_antialias(m_cr, CAIRO_ANTIALIAS_NONE);
    ApplyFontToContext();
}

void XGraphic::EndOffscreen()
{
    if (!m_offscreen)
        return;
    cairo_surface_flush(m_offscreen);
    const uint8_t* data = cairo_image_surface_get_data(m_offscreen);
    if (m_target && data) {
        m_target->Present(data, cairo_image_surface_get_stride(m_offscreen), m_offscreenRect.left + m_originX,
                          m_offscreenRect.top + m_originY, cairo_image_surface_get_width(m_offscreen),
                          cairo_image_surface_get_height(m_offscreen));
    }
    cairo_destroy(m_cr);
    cairo_surface_destroy(m_offscreen);
    m_offscreen = nullptr;
    m_cr = m_mainCr;
    m_target = m_mainTarget;
}

void XGraphic::Detach()
{
    m_target = nullptr;
    m_mainTarget = nullptr;
    m_viewX = m_viewY = m_originX = m_originY = m_offsetX = m_offsetY = 0;
}

XColourValue XGraphic::GetPixel(int x, int y) const
{
    if (!m_surface || x < 0 || y < 0 || x >= m_surfaceW || y >= m_surfaceH)
        return 0;
    cairo_surface_flush(m_surface);
    const uint8_t* data = cairo_image_surface_get_data(m_surface);
    if (!data)
        return 0;
    uint32_t word = *reinterpret_cast<const uint32_t*>(data + static_cast<size_t>(y) * cairo_image_surface_get_stride(m_surface) +
                                                       static_cast<size_t>(x) * 4);
    return XColour::Make((word >> 16) & 0xFF, (word >> 8) & 0xFF, word & 0xFF);
}

bool XGraphic::WritePng(std::string& out) const
{
    out.clear();
    if (!m_surface || m_surfaceW <= 0 || m_surfaceH <= 0)
        return false;
    cairo_surface_flush(m_surface);
    auto append = [](void* closure, const unsigned char* data, unsigned int length) {
        static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
        return CAIRO_STATUS_SUCCESS;
    };
    return cairo_surface_write_to_png_stream(m_surface, append, &out) == CAIRO_STATUS_SUCCESS;
}

void XGraphic::OffsetOrigin(int dx, int dy)
{
    m_viewX += dx;
    m_viewY += dy;
    m_originX += dx;
    m_originY += dy;
}

void XGraphic::TranslateOrigin(int dx, int dy)
{
    m_originX += dx;
    m_originY += dy;
    m_offsetX -= dx;
    m_offsetY -= dy;
}

void XGraphic::ApplyClip()
{
    if (!m_cr)
        return;
    cairo_reset_clip(m_cr);
    if (m_clipTop >= 0) {
        cairo_new_path(m_cr);
        cairo_rectangle(m_cr, m_clipBox.x, m_clipBox.y, m_clipBox.width, m_clipBox.height);
        cairo_clip(m_cr);
    }
}

bool XGraphic::PushClip(const XRectangle& rect)
{
    if (m_clipTop + 1 >= xconst::kClipStackDepth)
        return false;
    m_clipStack[++m_clipTop] = m_clipBox;
    int x0 = std::max(rect.x + m_viewX, m_clipBox.x);
    int y0 = std::max(rect.y + m_viewY, m_clipBox.y);
    int x1 = std::min(rect.x + m_viewX + rect.width, m_clipBox.x + m_clipBox.width);
    int y1 = std::min(rect.y + m_viewY + rect.height, m_clipBox.y + m_clipBox.height);
    m_clipBox = XRectangle(x0, y0, std::max(0, x1 - x0), std::max(0, y1 - y0));
    m_clipRect = XRect(rect.x, rect.y, rect.x + rect.width - 1, rect.y + rect.height - 1);
    ApplyClip();
    return true;
}

void XGraphic::PopClip()
{
    if (m_clipTop < 0)
        return;
    m_clipBox = m_clipStack[m_clipTop--];
    ApplyClip();
}

void XGraphic::SetPen(XColourValue colour, int width)
{
    m_penColour = colour;
    m_penWidth = width < 1 ? 1 : width;
}

void XGraphic::SetBrush(XColourValue colour) { m_brushColour = colour; }

void XGraphic::SetTextColour(XColourValue colour) { m_textColour = colour; }

void XGraphic::SetSourceColour(XColourValue colour)
{
    cairo_set_source_rgb(m_cr, XColour::RedF(colour), XColour::GreenF(colour), XColour::BlueF(colour));
}

void XGraphic::FillDevice(int x, int y, int w, int h, XColourValue colour)
{
    if (!m_cr || w <= 0 || h <= 0)
        return;
    SetSourceColour(colour);
    cairo_new_path(m_cr);
    cairo_rectangle(m_cr, x, y, w, h);
    cairo_fill(m_cr);
}

void XGraphic::FillRect(int x, int y, int w, int h)
{
    if (!m_brushColour)
        return;
    FillDevice(DevX(x), DevY(y), w, h, m_brushColour);
}

void XGraphic::FillRoundRect(int x, int y, int w, int h)
{
    if (!m_brushColour)
        return;
    FillDevice(DevX(x) + 1, DevY(y), w - 2, h, m_brushColour);
    FillDevice(DevX(x), DevY(y) + 1, w, h - 2, m_brushColour);
}

void XGraphic::FillRectangleColour(const XRectangle& r, XColourValue colour)
{
    SetBrush(colour);
    FillRect(r.x, r.y, r.width, r.height);
}

void XGraphic::DrawFrame(int x, int y, int w, int h)
{
    if (w <= 0 || h <= 0)
        return;
    int dx = DevX(x), dy = DevY(y);
    FillDevice(dx, dy, w, 1, m_penColour);
    FillDevice(dx, dy + h - 1, w, 1, m_penColour);
    FillDevice(dx, dy, 1, h, m_penColour);
    FillDevice(dx + w - 1, dy, 1, h, m_penColour);
}

// A pen line in device coordinates from (x0, y0) up to, not including,
// (x1, y1), as GDI draws it.
void XGraphic::LinePixels(int x0, int y0, int x1, int y1)
{
    if (!m_cr || (x0 == x1 && y0 == y1))
        return;
    if (m_penWidth > 1) {
        SetSourceColour(m_penColour);
        cairo_set_line_width(m_cr, m_penWidth);
        cairo_set_line_cap(m_cr, CAIRO_LINE_CAP_BUTT);
        cairo_new_path(m_cr);
        cairo_move_to(m_cr, x0 + 0.5, y0 + 0.5);
        cairo_line_to(m_cr, x1 + 0.5, y1 + 0.5);
        cairo_stroke(m_cr);
        return;
    }
    if (y0 == y1) {
        FillDevice(std::min(x0, x1 + 1), y0, std::abs(x1 - x0), 1, m_penColour);
        return;
    }
    if (x0 == x1) {
        FillDevice(x0, std::min(y0, y1 + 1), 1, std::abs(y1 - y0), m_penColour);
        return;
    }
    SetSourceColour(m_penColour);
    cairo_new_path(m_cr);
    int dx = std::abs(x1 - x0), sx = x0 < x1 ? 1 : -1;
    int dy = -std::abs(y1 - y0), sy = y0 < y1 ? 1 : -1;
    int err = dx + dy;
    int x = x0, y = y0;
    while (x != x1 || y != y1) {
        cairo_rectangle(m_cr, x, y, 1, 1);
        int e2 = 2 * err;
        if (e2 >= dy) {
            err += dy;
            x += sx;
        }
        if (e2 <= dx) {
            err += dx;
            y += sy;
        }
    }
    cairo_fill(m_cr);
}

void XGraphic::MoveTo(int x, int y)
{
    m_curX = x + m_offsetX;
    m_curY = y + m_offsetY;
}

void XGraphic::LineTo(int x, int y)
{
    int ex = x + m_offsetX, ey = y + m_offsetY;
    LinePixels(m_viewX + m_curX, m_viewY + m_curY, m_viewX + ex, m_viewY + ey);
    m_curX = ex;
    m_curY = ey;
}

void XGraphic::DrawLine(int x1, int y1, int x2, int y2)
{
    // LineTo leaves out the end pixel; straight lines here include it.
    if (x1 == x2)
        y2 += y2 >= y1 ? 1 : -1;
    else if (y1 == y2)
        x2 += x2 > x1 ? 1 : -1;
    MoveTo(x1, y1);
    LineTo(x2, y2);
}

void XGraphic::CurveTo(int x, int y, int c1x, int c1y, int c2x, int c2y)
{
    if (!m_cr)
        return;
    int ox = m_viewX + m_offsetX, oy = m_viewY + m_offsetY;
    SetSourceColour(m_penColour);
    cairo_set_line_width(m_cr, m_penWidth);
    cairo_set_antialias(m_cr, CAIRO_ANTIALIAS_DEFAULT);
    cairo_new_path(m_cr);
    cairo_move_to(m_cr, m_viewX + m_curX + 0.5, m_viewY + m_curY + 0.5);
    cairo_curve_to(m_cr, ox + c1x + 0.5, oy + c1y + 0.5, ox + c2x + 0.5, oy + c2y + 0.5, ox + x + 0.5, oy + y + 0.5);
    cairo_stroke(m_cr);
    cairo_set_antialias(m_cr, CAIRO_ANTIALIAS_NONE);
    m_curX = x + m_offsetX;
    m_curY = y + m_offsetY;
}

void XGraphic::DrawCircle(int x, int y, int w, int h)
{
    if (!m_cr)
        return;
    SetSourceColour(m_penColour);
    cairo_set_line_width(m_cr, m_penWidth);
    cairo_set_antialias(m_cr, CAIRO_ANTIALIAS_DEFAULT);
    cairo_new_path(m_cr);
    cairo_arc(m_cr, DevX(x + w / 2) + 0.5, DevY(y + h / 2) + 0.5, w / 2, 0.0, 2.0 * M_PI);
    cairo_stroke(m_cr);
    cairo_set_antialias(m_cr, CAIRO_ANTIALIAS_NONE);
}

void XGraphic::FillEllipse(int x, int y, int w, int h)
{
    if (!m_cr || !m_brushColour || w <= 0 || h <= 0)
        return;
    SetSourceColour(m_brushColour);
    cairo_set_antialias(m_cr, CAIRO_ANTIALIAS_DEFAULT);
    cairo_new_path(m_cr);
    cairo_save(m_cr);
    cairo_translate(m_cr, DevX(x) + w / 2.0, DevY(y) + h / 2.0);
    cairo_scale(m_cr, w / 2.0, h / 2.0);
    cairo_arc(m_cr, 0.0, 0.0, 1.0, 0.0, 2.0 * M_PI);
    cairo_restore(m_cr);
    cairo_fill(m_cr);
    cairo_set_antialias(m_cr, CAIRO_ANTIALIAS_NONE);
}

void XGraphic::DrawPic(const XPic& pic, int x, int y)
{
    if (!m_cr || !pic.IsLoaded())
        return;
    cairo_set_source_surface(m_cr, pic.GetSurface(), DevX(x), DevY(y));
    cairo_new_path(m_cr);
    cairo_rectangle(m_cr, DevX(x), DevY(y), pic.GetWidth(), pic.GetHeight());
    cairo_fill(m_cr);
}

void XGraphic::DrawPicPart(const XPic& pic, int x, int y, int w, int h, int sx, int sy)
{
    if (!m_cr || !pic.IsLoaded() || w <= 0 || h <= 0)
        return;
    cairo_set_source_surface(m_cr, pic.GetSurface(), DevX(x) - sx, DevY(y) - sy);
    cairo_new_path(m_cr);
    cairo_rectangle(m_cr, DevX(x), DevY(y), w, h);
    cairo_fill(m_cr);
}

void XGraphic::GradientRectangle(const XRectangle& r, XColourValue top, XColourValue bottom)
{
    if (!m_cr || r.width <= 0 || r.height <= 0)
        return;
    int x = DevX(r.x), y = DevY(r.y);
    cairo_pattern_t* pattern = cairo_pattern_create_linear(0.0, y, 0.0, y + r.height);
    cairo_pattern_add_color_stop_rgb(pattern, 0.0, XColour::RedF(top), XColour::GreenF(top), XColour::BlueF(top));
    cairo_pattern_add_color_stop_rgb(pattern, 1.0, XColour::RedF(bottom), XColour::GreenF(bottom),
                                     XColour::BlueF(bottom));
    cairo_set_source(m_cr, pattern);
    cairo_new_path(m_cr);
    cairo_rectangle(m_cr, x, y, r.width, r.height);
    cairo_fill(m_cr);
    cairo_pattern_destroy(pattern);
}

void XGraphic::GradientRect(const XRect& r, XColourValue top, XColourValue bottom)
{
    GradientRectangle(XRectangle(r.left, r.top, r.Width(), r.Height()), top, bottom);
}

void XGraphic::FillBevel(const XRect& r, XColourValue colour, int depth)
{
    if (!colour)
        return;
    FillDevice(DevX(r.left), DevY(r.top), r.Width(), r.Height(), colour);
    XColourValue light = XColour::Scale(colour, 1.3f);
    XColourValue dark = XColour::Scale(colour, 0.7f);
    int rings = std::abs(depth);
    for (int i = 0; i < rings; ++i) {
        int l = r.left + i, t = r.top + i, rr = r.right - i, b = r.bottom - i;
        if (l > rr || t > b)
            break;
        FillDevice(DevX(l), DevY(t), rr - l + 1, 1, light);
        FillDevice(DevX(l), DevY(t), 1, b - t + 1, light);
        FillDevice(DevX(l), DevY(b), rr - l + 1, 1, dark);
        FillDevice(DevX(rr), DevY(t), 1, b - t + 1, dark);
    }
}

void XGraphic::FillGloss(const XRectangle& r, XColourValue colour)
{
    GradientRectangle(r, colour, XColour::Scale(colour, 0.8f));
    GradientRectangle(XRectangle(r.x + 2, r.y + 1, r.width - 4, r.height / 2 - 1), XColour::Scale(colour, 1.25f),
                      colour);
}

void XGraphic::FillButtonFace(const XRectangle& rect, XColourValue face, XColourValue frame)
{
    XRectangle r = rect;
    auto cutCorners = [this](const XRectangle& c, XColourValue colour) {
        FillDevice(DevX(c.x) + 1, DevY(c.y), c.width - 2, c.height, colour);
        FillDevice(DevX(c.x), DevY(c.y) + 1, c.width, c.height - 2, colour);
    };
    if (frame) {
        cutCorners(r, frame);
        r.Inflate(-1);
    }
    cutCorners(r, face);
    r.Inflate(-1);
    int half = r.height / 2;
    GradientRectangle(XRectangle(r.x, r.y + half, r.width, r.height - half), XColour::Scale(face, 0.85f),
                      XColour::Scale(face, 0.95f));
}

void XGraphic::DrawLcdPanel(int x, int y, int w, int h)
{
    int half = h / 2;
    auto box = [this](int bx, int by, int bw, int bh, XColourValue c) { FillDevice(DevX(bx), DevY(by), bw, bh, c); };
    box(x, y, w, h, XColour::Make(0, 0, 0));
    box(x + 1, y + 1, w - 2, half - 1, XColour::Make(37, 37, 37));
    box(x + 3, y + 2, w - 6, half - 2, XColour::Make(36, 51, 34));
    box(x + 5, y + 4, w - 10, half - 4, XColour::Make(33, 61, 30));
    box(x + 6, y + 6, w - 12, half - 6, XColour::Make(37, 69, 34));
    box(x + 3, y + half, w - 6, h - half - 2, XColour::Make(6, 20, 0));
    box(x + 5, y + half, w - 10, h - half - 4, XColour::Make(10, 39, 3));
}

void XGraphic::DrawArrow(int x, int y, int direction)
{
    // Three rows of 7, 5 and 3 pixels narrowing toward the point, then a
    // one-pixel tip.
    switch (direction) {
    case 0:  // up
        for (int i = 0; i < 3; ++i)
            DrawLine(x - 3 + i, y - i, x + 3 - i, y - i);
        DrawLine(x, y - 3, x, y - 3);
        break;
    case 6:  // down
        for (int i = 0; i < 3; ++i)
            DrawLine(x - 3 + i, y + i, x + 3 - i, y + i);
        DrawLine(x, y + 3, x, y + 3);
        break;
    case 3:  // right
        for (int i = 0; i < 3; ++i)
            DrawLine(x + i, y - 3 + i, x + i, y + 3 - i);
        DrawLine(x + 3, y, x + 3, y);
        break;
    case 9:  // left
        for (int i = 0; i < 3; ++i)
            DrawLine(x - i, y - 3 + i, x - i, y + 3 - i);
        DrawLine(x - 3, y, x - 3, y);
        break;
    default:
        break;
    }
}

void XGraphic::DrawDot(int x, int y, XColourValue colour)
{
    FillDevice(DevX(x - 3), DevY(y - 2), 6, 4, colour);
    FillDevice(DevX(x - 2), DevY(y - 3), 4, 6, colour);
}

void XGraphic::BeginPath()
{
    if (m_cr)
        cairo_new_path(m_cr);
}

void XGraphic::EndPath()
{
    if (m_cr)
        cairo_close_path(m_cr);
}

void XGraphic::StrokePath()
{
    if (!m_cr)
        return;
    SetSourceColour(m_penColour);
    cairo_set_line_width(m_cr, m_penWidth);
    cairo_set_antialias(m_cr, CAIRO_ANTIALIAS_DEFAULT);
    cairo_stroke(m_cr);
    cairo_set_antialias(m_cr, CAIRO_ANTIALIAS_NONE);
}

void XGraphic::PathArc(float cx, float cy, float radius, float start, float end)
{
    if (!m_cr)
        return;
    // Angles run counter-clockwise on the screen (y grows downward), so the
    // arc is cairo's negative arc through the negated angles.
    double x = m_viewX + cx, y = m_viewY + cy;
    cairo_move_to(m_cr, x + radius * std::cos(start), y - radius * std::sin(start));
    if (end >= start)
        cairo_arc_negative(m_cr, x, y, radius, -start, -end);
    else
        cairo_arc(m_cr, x, y, radius, -start, -end);
}

void XGraphic::PathLineTo(float x, float y)
{
    if (m_cr)
        cairo_line_to(m_cr, m_viewX + x, m_viewY + y);
}

void XGraphic::SetFont(int size, uint32_t style)
{
    if (size == m_fontSize && style == m_fontStyle)
        return;
    m_fontSize = size;
    m_fontStyle = style;
    m_textAdjust = size > 11 ? -1 : 0;
    m_textHeight = size - 2;
    ++m_fontCreations;
    ApplyFontToContext();
}

void XGraphic::SetFontPreset(uint32_t code)
{
    switch (code) {
    case fourcc("xfbg"):
        SetFont(11, xconst::kFontBold);
        break;
    case fourcc("xfdf"):
        SetFont(11, 0);
        break;
    case fourcc("xfhg"):
        SetFont(14, xconst::kFontBold);
        break;
    case fourcc("xfix"):
        SetFont(11, xconst::kFontFixed);
        break;
    case fourcc("xfsm"):
        SetFont(9, 0);
        break;
    default:
        break;
    }
}

void XGraphic::ApplyFontToContext()
{
    if (m_fontSize > 0) {
        m_fontCellHeight = m_fontSize + 5 + (m_fontSize > 11 ? 1 : 0);
        m_fontWeight = m_fontStyle == xconst::kFontBold ? 700 : 400;
    } else {
        m_fontCellHeight = kDefaultFontCell;
        m_fontWeight = 400;
    }
    if (!m_cr)
        return;
    cairo_select_font_face(m_cr, GetFontFamily(), CAIRO_FONT_SLANT_NORMAL,
                           m_fontWeight >= 700 ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
    // The size is given as the font's cell height (ascent plus descent), as
    // the toolkit's font sizes always were.
    cairo_set_font_size(m_cr, 100.0);
    CellMetrics cell = GetCellMetrics(m_cr);
    m_fontEm = m_fontCellHeight / cell.height;
    cairo_set_font_size(m_cr, m_fontEm);
    m_fontAscent = cell.ascent * m_fontEm;
}

XSize XGraphic::GetTextSize(const char* text)
{
    if (!text || !m_cr)
        return XSize(0, m_fontSize);
    std::string utf8 = ToUtf8(text);
    cairo_text_extents_t extents;
    cairo_text_extents(m_cr, utf8.c_str(), &extents);
    return XSize(static_cast<int32_t>(std::lround(extents.x_advance)), m_fontSize);
}

XRectangle XGraphic::AlignText(const char* text, const XRectangle& rect, int alignment)
{
    XSize size = GetTextSize(text);
    int x;
    if (alignment < 0)
        x = rect.x + 2;
    else if (alignment == 0)
        x = (rect.width - size.width) / 2;
    else
        x = rect.x + rect.width - size.width;
    int y = (rect.height - size.height) / 2 + 1;
    return XRectangle(x, y, size.width, size.height);
}

void XGraphic::DrawTextAt(const char* text, double deviceX, int deviceTop)
{
    std::string utf8 = ToUtf8(text);
    SetSourceColour(m_textColour);
    cairo_new_path(m_cr);
    cairo_move_to(m_cr, deviceX, deviceTop + m_fontAscent);
    cairo_show_text(m_cr, utf8.c_str());
    cairo_new_path(m_cr);
}

void XGraphic::DrawString(const char* text, int x, int y)
{
    if (!text || !m_cr)
        return;
    DrawTextAt(text, DevX(x), DevY(y + m_textAdjust - 3));
}

void XGraphic::DrawTextCentred(const char* text, const XRectangle& rect)
{
    if (!text || !m_cr)
        return;
    XSize size = GetTextSize(text);
    int x = rect.x + rect.width / 2 - size.width / 2;
    if (x < rect.x || m_centring != 0)
        x = rect.x + 4;
    int y = rect.y + rect.height / 2 - size.height / 2;
    DrawTextAt(text, m_viewX + x, m_viewY + y + m_textAdjust - 3);
}

void XGraphic::KeepLibrariesLoaded()
{
    // Each library is named by the file that holds one of its functions;
    // a library not loaded already is not loaded here.
    for (void* function : {reinterpret_cast<void*>(&cairo_create), reinterpret_cast<void*>(&FcInit)}) {
        Dl_info info;
        if (dladdr(function, &info) == 0 || !info.dli_fname)
            continue;
        // The extra reference is never dropped: that is the point.
        (void)dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
    }
}
