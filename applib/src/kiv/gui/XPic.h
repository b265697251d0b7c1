// XPic: one picture loaded by name from the PNGs embedded in the binary, with
// its colour variants made in place (grey, scaled, tinted). XPicTable keys up
// to 64 pictures by integer. GUI thread only; owners compute colour variants
// once at load time.
#pragma once
#include <cstddef>
#include <cstdint>

#include "kiv/gui/XColour.h"
#include "kiv/gui/XConst.h"

struct _cairo_surface;
class XGraphic;

// One embedded picture: its name and PNG bytes.
struct XPicResource {
    const char* name;
    const uint8_t* png;
    size_t size;
};

class XPic {
public:
    XPic() = default;
    XPic(const XPic&) = delete;
    XPic& operator=(const XPic&) = delete;
    virtual ~XPic();

    // Makes a table of embedded pictures known to Load (the table must live
    // for the rest of the process). Later tables win for equal names, and
    // every table wins over the pictures the build embeds.
    // False when the registry of tables is full.
    static bool AddResources(const XPicResource* table, int count);
    static const XPicResource* FindResource(const char* name);

    // Loads the embedded picture of that name; false (and no picture) when
    // no such picture exists or its bytes are not a readable PNG.
    bool Load(const char* name);
    bool LoadPng(const uint8_t* bytes, size_t size);
    bool IsLoaded() const { return m_image != nullptr; }
    void Unload();
    int GetWidth() const { return m_width; }
    int GetHeight() const { return m_height; }
    // True when the picture has transparent pixels, which drawing leaves out.
    bool HasMask() const { return m_hasMask; }
    // (r, g, b) of a pixel with alpha 255, 0 outside the picture.
    XColourValue GetPixel(int x, int y) const;

    // f = 0 gives grey, 1 leaves the picture unchanged, above 1 pushes
    // colours away from grey.
    void Desaturate(float f);
    void Scale(float f);
    void Tint(XColourValue colour, float f);

    _cairo_surface* GetSurface() const { return m_image; }

private:
    template <class Change>
    void ChangeChannels(Change change);

    int m_width = 0;
    int m_height = 0;
    _cairo_surface* m_image = nullptr;
    bool m_hasMask = false;
};

class XPicTable {
public:
    XPicTable() = default;
    XPicTable(const XPicTable&) = delete;
    XPicTable& operator=(const XPicTable&) = delete;
    virtual ~XPicTable() = default;

    // Reloads the picture of a known key (result ignored: true); else loads
    // into the next free entry. False when loading fails or the table is full.
    bool Load(int key, const char* name);
    void Draw(XGraphic& graphic, int key, int x, int y) const;
    XPic* Find(int key);
    int GetCount() const { return m_count; }

private:
    XPic m_pics[xconst::kPicTableSize];
    int m_keys[xconst::kPicTableSize] = {};
    int m_count = 0;
};
