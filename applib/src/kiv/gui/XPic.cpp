#include "kiv/gui/XPic.h"

#include <cairo.h>

#include <algorithm>
#include <cstring>

#include "kiv/gui/XGraphic.h"

namespace {

constexpr int kMaxResourceTables = 16;
constexpr int kMaxPicSide = 8192;  // larger pictures are refused

struct ResourceTable {
    const XPicResource* table;
    int count;
};
ResourceTable g_tables[kMaxResourceTables];
int g_tableCount = 0;

struct PngReader {
    const uint8_t* bytes;
    size_t size;
    size_t pos;
};

cairo_status_t ReadPng(void* closure, unsigned char* data, unsigned int length)
{
    auto* reader = static_cast<PngReader*>(closure);
    if (length > reader->size - reader->pos)
        return CAIRO_STATUS_READ_ERROR;
    std::memcpy(data, reader->bytes + reader->pos, length);
    reader->pos += length;
    return CAIRO_STATUS_SUCCESS;
}

int Clamp255(float v)
{
    if (!(v > 0.0f))
        return 0;
    if (v >= 255.0f)
        return 255;
    return static_cast<int>(v);
}

}  // namespace

// The pictures the build draws and embeds (library kivpics, linked whole into
// every program that links the toolkit); null in a program without them.
extern "C" const XPicResource* KivEmbeddedPictures(int* count) __attribute__((weak));

bool XPic::AddResources(const XPicResource* table, int count)
{
    if (!table || count <= 0 || g_tableCount >= kMaxResourceTables)
        return false;
    g_tables[g_tableCount++] = ResourceTable{table, count};
    return true;
}

const XPicResource* XPic::FindResource(const char* name)
{
    if (!name)
        return nullptr;
    for (int t = g_tableCount - 1; t >= 0; --t) {
        for (int i = 0; i < g_tables[t].count; ++i) {
            const XPicResource& entry = g_tables[t].table[i];
            if (entry.name && std::strcmp(entry.name, name) == 0)
                return &entry;
        }
    }
    int count = 0;
    const XPicResource* embedded = KivEmbeddedPictures ? KivEmbeddedPictures(&count) : nullptr;
    for (int i = 0; embedded && i < count; ++i) {
        if (embedded[i].name && std::strcmp(embedded[i].name, name) == 0)
            return &embedded[i];
    }
    return nullptr;
}

XPic::~XPic() { Unload(); }

void XPic::Unload()
{
    if (m_image)
        cairo_surface_destroy(m_image);
    m_image = nullptr;
    m_width = m_height = 0;
    m_hasMask = false;
}

bool XPic::Load(const char* name)
{
    Unload();
    const XPicResource* resource = FindResource(name);
    if (!resource)
        return false;
    return LoadPng(resource->png, resource->size);
}

bool XPic::LoadPng(const uint8_t* bytes, size_t size)
{
    Unload();
    if (!bytes || size == 0)
        return false;
    PngReader reader{bytes, size, 0};
    cairo_surface_t* png = cairo_image_surface_create_from_png_stream(ReadPng, &reader);
    if (cairo_surface_status(png) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(png);
        return false;
    }
    int w = cairo_image_surface_get_width(png);
    int h = cairo_image_surface_get_height(png);
    if (w <= 0 || h <= 0 || w > kMaxPicSide || h > kMaxPicSide) {
        cairo_surface_destroy(png);
        return false;
    }
    // Always keep ARGB32 so the colour variants read one layout.
    cairo_surface_t* image = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
    cairo_t* cr = cairo_create(image);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_set_source_surface(cr, png, 0, 0);
    cairo_paint(cr);
    cairo_destroy(cr);
    cairo_surface_destroy(png);
    if (cairo_surface_status(image) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(image);
        return false;
    }
    cairo_surface_flush(image);
    const uint8_t* data = cairo_image_surface_get_data(image);
    int stride = cairo_image_surface_get_stride(image);
    bool mask = false;
    for (int y = 0; y < h && !mask; ++y) {
        const auto* row = reinterpret_cast<const uint32_t*>(data + static_cast<size_t>(y) * stride);
        for (int x = 0; x < w; ++x) {
            if ((row[x] >> 24) != 0xFF) {
                mask = true;
                break;
            }
        }
    }
    m_image = image;
    m_width = w;
    m_height = h;
    m_hasMask = mask;
    return true;
}

XColourValue XPic::GetPixel(int x, int y) const
{
    if (!m_image || x < 0 || y < 0 || x >= m_width || y >= m_height)
        return 0;
    const uint8_t* data = cairo_image_surface_get_data(m_image);
    uint32_t word = reinterpret_cast<const uint32_t*>(data + static_cast<size_t>(y) *
                                                                 cairo_image_surface_get_stride(m_image))[x];
    int a = word >> 24;
    if (a == 0)
        return XColour::Make(0, 0, 0);
    auto un = [a](uint32_t c) { return static_cast<int>((c * 255 + a / 2) / a); };
    return XColour::Make(un((word >> 16) & 0xFF), un((word >> 8) & 0xFF), un(word & 0xFF));
}

// Applies change(r, g, b) to every pixel's colour (not premultiplied),
// each result truncated and clamped to 0..255.
template <class Change>
void XPic::ChangeChannels(Change change)
{
    if (!m_image)
        return;
    cairo_surface_flush(m_image);
    uint8_t* data = cairo_image_surface_get_data(m_image);
    int stride = cairo_image_surface_get_stride(m_image);
    for (int y = 0; y < m_height; ++y) {
        auto* row = reinterpret_cast<uint32_t*>(data + static_cast<size_t>(y) * stride);
        for (int x = 0; x < m_width; ++x) {
            uint32_t word = row[x];
            uint32_t a = word >> 24;
            if (a == 0)
                continue;
            int c[3] = {static_cast<int>((((word >> 16) & 0xFF) * 255 + a / 2) / a),
                        static_cast<int>((((word >> 8) & 0xFF) * 255 + a / 2) / a),
                        static_cast<int>(((word & 0xFF) * 255 + a / 2) / a)};
            float out[3];
            change(c[0], c[1], c[2], out);
            uint32_t packed = a << 24;
            for (int i = 0; i < 3; ++i) {
                uint32_t v = static_cast<uint32_t>(Clamp255(out[i]));
                v = (v * a + 127) / 255;
                packed |= v << (16 - 8 * i);
            }
            row[x] = packed;
        }
    }
    cairo_surface_mark_dirty(m_image);
}

void XPic::Desaturate(float f)
{
    ChangeChannels([f](int r, int g, int b, float out[3]) {
        int grey = (r + g + b) / 3;
        float rest = grey * (1.0f - f);
        out[0] = r * f + rest;
        out[1] = g * f + rest;
        out[2] = b * f + rest;
    });
}

void XPic::Scale(float f)
{
    ChangeChannels([f](int r, int g, int b, float out[3]) {
        out[0] = r * f;
        out[1] = g * f;
        out[2] = b * f;
    });
}

void XPic::Tint(XColourValue colour, float f)
{
    ChangeChannels([colour, f](int r, int g, int b, float out[3]) {
        out[0] = r * f + XColour::Red(colour);
        out[1] = g * f + XColour::Green(colour);
        out[2] = b * f + XColour::Blue(colour);
    });
}

bool XPicTable::Load(int key, const char* name)
{
    for (int i = 0; i < m_count; ++i) {
        if (m_keys[i] == key) {
            m_pics[i].Load(name);
            return true;
        }
    }
    if (m_count >= xconst::kPicTableSize)
        return false;
    if (!m_pics[m_count].Load(name))
        return false;
    m_keys[m_count++] = key;
    return true;
}

XPic* XPicTable::Find(int key)
{
    for (int i = 0; i < m_count; ++i) {
        if (m_keys[i] == key)
            return &m_pics[i];
    }
    return nullptr;
}

void XPicTable::Draw(XGraphic& graphic, int key, int x, int y) const
{
    for (int i = 0; i < m_count; ++i) {
        if (m_keys[i] == key) {
            graphic.DrawPic(m_pics[i], x, y);
            return;
        }
    }
}
