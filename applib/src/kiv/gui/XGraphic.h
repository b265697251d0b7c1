// XGraphic: the toolkit's drawing surface. One per window (owned by its
// XWinGui), a persistent cairo image surface that keeps the last drawn
// picture of every control between passes and is re-created only when the
// window's size changes; Blit copies it to the window. It carries the clip
// stack, the origin the paint walk moves into each control and the drawing
// primitives. GUI thread only.
//
// Rectangles and one-pixel lines are drawn without antialiasing so they land
// on exact pixels; a line drawn with LineTo leaves out its end pixel.
// Text is bytes: valid UTF-8 is drawn as it is, anything else is read as
// Windows-1252.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "kiv/gui/XColour.h"
#include "kiv/gui/XConst.h"
#include "kiv/gui/XGeometry.h"

struct _cairo;
struct _cairo_surface;
class XPic;

// Where a finished picture goes: a native window (or a test's buffer).
class XPaintTarget {
public:
    virtual ~XPaintTarget() = default;
    // Copies w x h pixels to (x, y) of the target. Pixels are 32-bit words
    // 0x00RRGGBB in native byte order, rows `stride` bytes apart.
    virtual void Present(const uint8_t* pixels, int stride, int x, int y, int w, int h) = 0;
};

class XGraphic {
public:
    XGraphic();
    XGraphic(const XGraphic&) = delete;
    XGraphic& operator=(const XGraphic&) = delete;
    virtual ~XGraphic();

    // Text as cairo needs it: valid UTF-8 as it is, else each byte read as
    // Windows-1252.
    static std::string ToUtf8(const char* text);
    // The font family the toolkit's "Calibri" resolves to on this system
    // (Calibri, else Carlito, else DejaVu Sans).
    static const char* GetFontFamily();
    // Keeps the drawing and font libraries (cairo with what it uses, and
    // fontconfig) in the process once loaded. A plug-in library that is
    // loaded and unloaded again and again would otherwise load them afresh
    // each time, and what they set up at load and at first use (their
    // caches, the mapped font and cache files) is never given back, since
    // they cannot be told to let go safely while a host may use them too.
    static void KeepLibrariesLoaded();

    // Pass and surface.
    void BeginPaint(XPaintTarget* target, int w, int h);
    void Blit();
    // Damage: the parts of the surface drawn since the last blit. The paint
    // walk adds each drawn control's visible rectangle (in the current
    // origin's coordinates, cut to the clip); BlitDamage presents only
    // those rectangles, so a tick that changed a few meters sends a few
    // meters' pixels. Both blits forget the damage.
    void AddDamage(const XRectangle& rect);
    void BlitDamage();
    // The next Blit presents only the damage (the target kept the rest from
    // earlier passes); a new surface is presented whole all the same.
    void SetDamageOnly() { m_damageOnly = true; }
    // Counts AddDamage calls: the paint walk adds a control's whole
    // rectangle only when its Draw told no damage of its own.
    int GetDamageMarks() const { return m_damageMarks; }
    int CountDamage() const { return static_cast<int>(m_damage.size()); }
    const XRectangle& GetDamage(int n) const { return m_damage[n]; }
    void BeginOffscreen(const XRect& rect, XPaintTarget* target);
    void EndOffscreen();
    void Detach();
    bool IsNewSurface() const { return m_newSurface; }
    int GetSurfaceWidth() const { return m_surfaceW; }
    int GetSurfaceHeight() const { return m_surfaceH; }
    // The colour of a surface pixel (alpha 255); 0 outside the surface.
    XColourValue GetPixel(int x, int y) const;
    // The surface as PNG bytes (the picture generator draws with XGraphic
    // and embeds what this writes). False when encoding fails.
    bool WritePng(std::string& out) const;

    void OffsetOrigin(int dx, int dy);
    void TranslateOrigin(int dx, int dy);
    int GetOriginX() const { return m_originX; }
    int GetOriginY() const { return m_originY; }
    // False when the stack already holds kClipStackDepth entries.
    bool PushClip(const XRectangle& rect);
    void PopClip();
    int GetClipDepth() const { return m_clipTop + 1; }
    const XRect& GetClipRect() const { return m_clipRect; }

    // Pens, brushes and colours.
    void SetPen(XColourValue colour, int width = 1);
    void SetBrush(XColourValue colour);
    void SetTextColour(XColourValue colour);
    XColourValue GetBrush() const { return m_brushColour; }

    // Primitives.
    void FillRect(int x, int y, int w, int h);
    void FillRoundRect(int x, int y, int w, int h);
    void FillRectangle(const XRectangle& r) { FillRect(r.x, r.y, r.width, r.height); }
    void FillRoundRectangle(const XRectangle& r) { FillRoundRect(r.x, r.y, r.width, r.height); }
    void FillRectangleColour(const XRectangle& r, XColourValue colour);
    void DrawFrame(int x, int y, int w, int h);
    void DrawFrameRectangle(const XRectangle& r) { DrawFrame(r.x, r.y, r.width, r.height); }
    void MoveTo(int x, int y);
    void LineTo(int x, int y);
    void DrawLine(int x1, int y1, int x2, int y2);
    void CurveTo(int x, int y, int c1x, int c1y, int c2x, int c2y);
    void DrawCircle(int x, int y, int w, int h);
    void FillEllipse(int x, int y, int w, int h);
    void DrawPic(const XPic& pic, int x, int y);
    void DrawPicPart(const XPic& pic, int x, int y, int w, int h, int sx, int sy);
    void GradientRectangle(const XRectangle& r, XColourValue top, XColourValue bottom);
    void GradientRect(const XRect& r, XColourValue top, XColourValue bottom);
    void FillBevel(const XRect& r, XColourValue colour, int depth);
    void FillGloss(const XRectangle& r, XColourValue colour);
    void FillButtonFace(const XRectangle& r, XColourValue face, XColourValue frame);
    void DrawLcdPanel(int x, int y, int w, int h);
    void DrawArrow(int x, int y, int direction);
    void DrawDot(int x, int y, XColourValue colour);
    void BeginPath();
    void EndPath();
    void StrokePath();
    void PathArc(float cx, float cy, float radius, float start, float end);
    void PathLineTo(float x, float y);

    // Text.
    void SetFont(int size, uint32_t style);
    void SetFontPreset(uint32_t code);
    int GetFontSize() const { return m_fontSize; }
    uint32_t GetFontStyle() const { return m_fontStyle; }
    int GetFontHeight() const { return m_fontCellHeight; }  // cell height in pixels
    int GetFontWeight() const { return m_fontWeight; }
    int GetFontCreations() const { return m_fontCreations; }
    int GetTextAdjust() const { return m_textAdjust; }
    XSize GetTextSize(const char* text);
    XRectangle AlignText(const char* text, const XRectangle& rect, int alignment);
    void DrawString(const char* text, int x, int y);
    void DrawText(const char* text, const XPoint& at) { DrawString(text, at.x, at.y); }
    void DrawTextCentred(const char* text, const XRectangle& rect);
    void DisableTextCentring() { m_centring = -1; }

private:
    void CreateSurface(int w, int h);
    void DestroySurface();
    void ApplyFontToContext();
    void ApplyClip();
    void FillDevice(int x, int y, int w, int h, XColourValue colour);
    void LinePixels(int x0, int y0, int x1, int y1);
    void SetSourceColour(XColourValue colour);
    void DrawTextAt(const char* text, double deviceX, int deviceTop);
    int DevX(int x) const { return m_viewX + x + m_offsetX; }
    int DevY(int y) const { return m_viewY + y + m_offsetY; }

    _cairo* m_cr = nullptr;                 // drawing context of the surface in use
    _cairo_surface* m_surface = nullptr;    // the persistent window surface
    _cairo* m_mainCr = nullptr;             // its context, kept during offscreen drawing
    _cairo_surface* m_offscreen = nullptr;  // drag-image surface between Begin/EndOffscreen
    XPaintTarget* m_target = nullptr;
    XPaintTarget* m_mainTarget = nullptr;
    int m_surfaceW = 0;
    int m_surfaceH = 0;
    bool m_newSurface = false;
    int m_viewX = 0, m_viewY = 0;      // device origin (OffsetOrigin)
    int m_originX = 0, m_originY = 0;  // OffsetOrigin plus TranslateOrigin
    int m_offsetX = 0, m_offsetY = 0;  // drawing offset (TranslateOrigin)
    XRect m_surfaceRect;
    XRect m_offscreenRect;
    XRect m_clipRect;
    int m_curX = 0, m_curY = 0;
    int m_fontSize = 0;
    uint32_t m_fontStyle = 0;
    int m_textAdjust = 0;
    int m_textHeight = 0;
    int m_fontCellHeight = 0;
    int m_fontWeight = 400;
    double m_fontEm = 0.0;       // cairo font size giving the cell height
    double m_fontAscent = 0.0;   // in pixels at that size
    int m_fontCreations = 0;
    XColourValue m_penColour = XColour::Make(0, 0, 0);
    int m_penWidth = 1;
    XColourValue m_brushColour = 0;
    XColourValue m_textColour = XColour::Make(0, 0, 0);
    int m_centring = 0;
    int m_clipTop = -1;
    XRectangle m_clipBox;  // current clip box, device coordinates
    XRectangle m_clipStack[xconst::kClipStackDepth];
    std::vector<XRectangle> m_damage;  // device rectangles, none inside another
    int m_damageMarks = 0;
    bool m_damageOnly = false;
};
