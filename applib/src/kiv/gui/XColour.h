// Packed colours (r | g<<8 | b<<16 | a<<24; 0 = no colour) and XTheme, an
// ordered list of (colour slot, colour) pairs applied to controls.
#pragma once
#include <cstdint>

using XColourValue = uint32_t;

namespace XColour {

constexpr XColourValue Make(int r, int g, int b, int a = 255)
{
    return static_cast<uint32_t>(r & 0xFF) | (static_cast<uint32_t>(g & 0xFF) << 8) |
           (static_cast<uint32_t>(b & 0xFF) << 16) | (static_cast<uint32_t>(a & 0xFF) << 24);
}
constexpr XColourValue Invert(XColourValue c) { return c ^ 0xFFFFFFu; }
constexpr uint32_t ToColorRef(XColourValue c) { return c & 0xFFFFFFu; }
constexpr int Red(XColourValue c) { return static_cast<int>(c & 0xFF); }
constexpr int Green(XColourValue c) { return static_cast<int>((c >> 8) & 0xFF); }
constexpr int Blue(XColourValue c) { return static_cast<int>((c >> 16) & 0xFF); }
constexpr int Alpha(XColourValue c) { return static_cast<int>((c >> 24) & 0xFF); }
constexpr float RedF(XColourValue c) { return Red(c) / 255.0f; }
constexpr float GreenF(XColourValue c) { return Green(c) / 255.0f; }
constexpr float BlueF(XColourValue c) { return Blue(c) / 255.0f; }
// Each of red, green and blue times f, truncated, capped at 255; alpha 255.
XColourValue Scale(XColourValue c, float f);

}  // namespace XColour

// Colour pairs for XControl::ApplyTheme, kept in the order they were added.
class XTheme {
public:
    struct Entry {
        int slot;
        XColourValue colour;
        Entry* next;
    };
    XTheme() = default;
    XTheme(const XTheme&) = delete;
    XTheme& operator=(const XTheme&) = delete;
    virtual ~XTheme();

    void Add(int slot, XColourValue colour);
    const Entry* GetEntry(int n) const;  // null past the end
    int GetCount() const { return m_count; }

private:
    Entry* m_first = nullptr;
    Entry* m_last = nullptr;
    int m_count = 0;
};
