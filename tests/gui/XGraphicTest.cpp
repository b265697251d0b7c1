// Drawing primitives, fonts, clips and pictures on the offscreen surface.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gui/GuiTestLeaks.h"
#include "kiv/gui/XGraphic.h"
#include "kiv/gui/XPic.h"

namespace {

const XColourValue kWhite = XColour::Make(255, 255, 255);
const XColourValue kBlack = XColour::Make(0, 0, 0);
const XColourValue kRed = XColour::Make(255, 0, 0);

// A surface of w x h cleared to white.
void Start(XGraphic& g, int w, int h)
{
    g.BeginPaint(nullptr, w, h);
    g.FillRectangleColour(XRectangle(0, 0, w, h), kWhite);
}

int CountColour(const XGraphic& g, XColourValue colour)
{
    int n = 0;
    for (int y = 0; y < g.GetSurfaceHeight(); ++y)
        for (int x = 0; x < g.GetSurfaceWidth(); ++x)
            n += g.GetPixel(x, y) == colour;
    return n;
}

// Bounds of the pixels that are not white: left, top, right, bottom.
XRect InkBounds(const XGraphic& g)
{
    XRect r(1 << 20, 1 << 20, -1, -1);
    for (int y = 0; y < g.GetSurfaceHeight(); ++y)
        for (int x = 0; x < g.GetSurfaceWidth(); ++x)
            if (g.GetPixel(x, y) != kWhite) {
                r.left = std::min(r.left, x);
                r.top = std::min(r.top, y);
                r.right = std::max(r.right, x);
                r.bottom = std::max(r.bottom, y);
            }
    return r;
}

// A picture of one colour, made by drawing and encoding it as a PNG.
bool MakePic(XPic& pic, int w, int h, XColourValue colour)
{
    XGraphic g;
    g.BeginPaint(nullptr, w, h);
    g.FillRectangleColour(XRectangle(0, 0, w, h), colour);
    std::string png;
    if (!g.WritePng(png))
        return false;
    return pic.LoadPng(reinterpret_cast<const uint8_t*>(png.data()), png.size());
}

struct FakeTarget : XPaintTarget {
    void Present(const uint8_t*, int, int x, int y, int w, int h) override
    {
        calls.push_back(XRectangle(x, y, w, h));
    }
    std::vector<XRectangle> calls;
};

}  // namespace

TEST(XGraphic, StraightLinesIncludeTheirEndPixel)
{
    XGraphic g;
    Start(g, 20, 20);
    g.SetPen(kBlack);
    g.DrawLine(0, 0, 0, 5);
    EXPECT_EQ(CountColour(g, kBlack), 6);
    EXPECT_EQ(g.GetPixel(0, 5), kBlack);
    EXPECT_EQ(g.GetPixel(0, 6), kWhite);

    Start(g, 20, 20);
    g.DrawLine(0, 0, 5, 0);
    EXPECT_EQ(CountColour(g, kBlack), 6);
    EXPECT_EQ(g.GetPixel(5, 0), kBlack);

    // Drawn backwards the same six pixels are covered.
    Start(g, 20, 20);
    g.DrawLine(5, 3, 0, 3);
    EXPECT_EQ(CountColour(g, kBlack), 6);
    EXPECT_EQ(g.GetPixel(0, 3), kBlack);
}

TEST(XGraphic, LineToLeavesOutItsEndPixelAndDiagonalsAreExact)
{
    XGraphic g;
    Start(g, 20, 20);
    g.SetPen(kBlack);
    g.MoveTo(2, 2);
    g.LineTo(8, 2);
    EXPECT_EQ(CountColour(g, kBlack), 6);
    EXPECT_EQ(g.GetPixel(8, 2), kWhite);

    Start(g, 20, 20);
    g.MoveTo(0, 0);
    g.LineTo(5, 5);
    EXPECT_EQ(CountColour(g, kBlack), 5);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(g.GetPixel(i, i), kBlack);
}

TEST(XGraphic, FillsNeedABrushAndLandOnExactPixels)
{
    XGraphic g;
    Start(g, 20, 20);
    g.SetBrush(0);
    g.FillRect(0, 0, 10, 10);
    EXPECT_EQ(CountColour(g, kWhite), 400);

    g.SetBrush(kRed);
    g.FillRect(2, 3, 4, 5);
    EXPECT_EQ(CountColour(g, kRed), 20);
    EXPECT_EQ(InkBounds(g).left, 2);
    EXPECT_EQ(InkBounds(g).bottom, 7);

    Start(g, 20, 20);
    g.SetBrush(kRed);
    g.FillRoundRect(0, 0, 5, 5);
    EXPECT_EQ(CountColour(g, kRed), 21);
    EXPECT_EQ(g.GetPixel(0, 0), kWhite);
    EXPECT_EQ(g.GetPixel(4, 4), kWhite);
    EXPECT_EQ(g.GetPixel(0, 1), kRed);

    Start(g, 20, 20);
    g.SetPen(kBlack);
    g.DrawFrame(1, 1, 5, 4);
    EXPECT_EQ(CountColour(g, kBlack), 14);
    EXPECT_EQ(g.GetPixel(5, 4), kBlack);
    EXPECT_EQ(g.GetPixel(3, 2), kWhite);
}

TEST(XGraphic, GradientOverInclusiveRectCoversItsEdges)
{
    XGraphic g;
    Start(g, 20, 20);
    g.GradientRect(XRect(0, 0, 9, 9), kBlack, kRed);
    XRect ink = InkBounds(g);
    EXPECT_EQ(ink.left, 0);
    EXPECT_EQ(ink.top, 0);
    EXPECT_EQ(ink.right, 9);
    EXPECT_EQ(ink.bottom, 9);
    EXPECT_LT(XColour::Red(g.GetPixel(5, 0)), XColour::Red(g.GetPixel(5, 9)));
}

TEST(XGraphic, BevelLightensTopLeftAndDarkensBottomRight)
{
    XGraphic g;
    Start(g, 20, 20);
    XColourValue grey = XColour::Make(100, 100, 100);
    g.FillBevel(XRect(0, 0, 9, 9), grey, -2);
    EXPECT_EQ(g.GetPixel(0, 5), XColour::Make(130, 130, 130));
    EXPECT_EQ(g.GetPixel(1, 1), XColour::Make(130, 130, 130));
    EXPECT_EQ(g.GetPixel(9, 9), XColour::Make(70, 70, 70));
    EXPECT_EQ(g.GetPixel(8, 5), XColour::Make(70, 70, 70));
    EXPECT_EQ(g.GetPixel(5, 5), grey);
    EXPECT_EQ(g.GetPixel(10, 10), kWhite);

    Start(g, 20, 20);
    g.FillBevel(XRect(0, 0, 9, 9), 0, 2);
    EXPECT_EQ(CountColour(g, kWhite), 400);
}

TEST(XGraphic, DotArrowAndLcdPanelShapes)
{
    XGraphic g;
    Start(g, 20, 20);
    g.DrawDot(10, 10, kRed);
    EXPECT_EQ(g.GetPixel(7, 9), kRed);
    EXPECT_EQ(g.GetPixel(7, 7), kWhite);  // cut corner
    EXPECT_EQ(g.GetPixel(8, 7), kRed);
    EXPECT_EQ(CountColour(g, kRed), 24 + 24 - 16);

    Start(g, 20, 20);
    g.SetPen(kBlack);
    g.DrawArrow(10, 10, 0);
    EXPECT_EQ(CountColour(g, kBlack), 7 + 5 + 3 + 1);
    EXPECT_EQ(g.GetPixel(10, 7), kBlack);  // tip above the base row
    Start(g, 20, 20);
    g.DrawArrow(10, 10, 5);
    EXPECT_EQ(CountColour(g, kWhite), 400);

    Start(g, 40, 20);
    g.DrawLcdPanel(0, 0, 40, 20);
    EXPECT_EQ(g.GetPixel(0, 0), kBlack);
    EXPECT_EQ(g.GetPixel(1, 1), XColour::Make(37, 37, 37));
    EXPECT_EQ(g.GetPixel(10, 8), XColour::Make(37, 69, 34));
    EXPECT_EQ(g.GetPixel(10, 12), XColour::Make(10, 39, 3));
}

TEST(XGraphic, ClipStackNestsSixteenDeepAndRefusesMore)
{
    XGraphic g;
    Start(g, 20, 20);
    ASSERT_TRUE(g.PushClip(XRectangle(2, 2, 5, 5)));
    g.SetBrush(kRed);
    g.FillRect(0, 0, 20, 20);
    EXPECT_EQ(CountColour(g, kRed), 25);
    // A nested clip is cut to the one it lies in.
    ASSERT_TRUE(g.PushClip(XRectangle(4, 4, 10, 10)));
    g.SetBrush(kBlack);
    g.FillRect(0, 0, 20, 20);
    EXPECT_EQ(CountColour(g, kBlack), 9);
    g.PopClip();
    g.PopClip();
    g.FillRect(0, 0, 20, 20);
    EXPECT_EQ(CountColour(g, kBlack), 400);

    for (int i = 0; i < xconst::kClipStackDepth; ++i)
        EXPECT_TRUE(g.PushClip(XRectangle(0, 0, 20, 20)));
    EXPECT_FALSE(g.PushClip(XRectangle(0, 0, 20, 20)));
    EXPECT_EQ(g.GetClipDepth(), xconst::kClipStackDepth);
    for (int i = 0; i < xconst::kClipStackDepth + 3; ++i)
        g.PopClip();
    EXPECT_EQ(g.GetClipDepth(), 0);
}

TEST(XGraphic, OriginMovesDrawingAndClipsFollowIt)
{
    XGraphic g;
    Start(g, 20, 20);
    g.OffsetOrigin(5, 6);
    g.SetBrush(kRed);
    g.FillRect(0, 0, 2, 2);
    EXPECT_EQ(g.GetPixel(5, 6), kRed);
    EXPECT_EQ(g.GetPixel(4, 6), kWhite);
    g.TranslateOrigin(1, 1);
    g.FillRect(0, 0, 1, 1);
    EXPECT_EQ(g.GetPixel(4, 5), kRed);
    EXPECT_EQ(g.GetOriginX(), 6);
}

TEST(XGraphic, SurfaceIsKeptUntilTheSizeChangesAndBlitPresentsIt)
{
    XGraphic g;
    FakeTarget target;
    g.BeginPaint(&target, 30, 20);
    EXPECT_TRUE(g.IsNewSurface());
    g.FillRectangleColour(XRectangle(0, 0, 30, 20), kRed);
    g.Blit();
    ASSERT_EQ(target.calls.size(), 1u);
    EXPECT_EQ(target.calls[0].width, 30);

    g.BeginPaint(&target, 30, 20);
    EXPECT_FALSE(g.IsNewSurface());
    EXPECT_EQ(g.GetPixel(29, 19), kRed);  // the last picture persists

    g.BeginPaint(&target, 31, 20);
    EXPECT_TRUE(g.IsNewSurface());
}

TEST(XGraphic, FontHeightWeightAndTextAdjustFollowTheSize)
{
    XGraphic g;
    Start(g, 50, 50);
    g.SetFont(12, xconst::kFontBold);
    EXPECT_EQ(g.GetFontHeight(), 18);
    EXPECT_EQ(g.GetFontWeight(), 700);
    EXPECT_EQ(g.GetTextAdjust(), -1);
    g.SetFont(11, 0);
    EXPECT_EQ(g.GetFontHeight(), 16);
    EXPECT_EQ(g.GetFontWeight(), 400);
    EXPECT_EQ(g.GetTextAdjust(), 0);

    int made = g.GetFontCreations();
    g.SetFont(11, 0);
    EXPECT_EQ(g.GetFontCreations(), made);
    g.SetFontPreset(fourcc("xfix"));
    EXPECT_EQ(g.GetFontStyle(), xconst::kFontFixed);
    EXPECT_EQ(g.GetFontCreations(), made + 1);
    g.SetFontPreset(fourcc("none"));
    EXPECT_EQ(g.GetFontCreations(), made + 1);

    std::string family = XGraphic::GetFontFamily();
    EXPECT_TRUE(family == "Calibri" || family == "Carlito" || family == "DejaVu Sans") << family;
}

TEST(XGraphic, FontIsSelectedAgainAfterTheSurfaceIsRecreated)
{
    XGraphic g;
    g.BeginPaint(nullptr, 40, 40);
    g.SetFont(14, xconst::kFontBold);
    int made = g.GetFontCreations();
    g.BeginPaint(nullptr, 60, 40);  // a new surface starts with the default font
    g.SetFont(14, xconst::kFontBold);
    EXPECT_EQ(g.GetFontCreations(), made + 1);
    EXPECT_EQ(g.GetFontHeight(), 20);
}

TEST(XGraphic, TextIsDrawnBelowItsPointAndCentredWhenItFits)
{
    XGraphic g;
    Start(g, 120, 40);
    g.SetFont(11, 0);
    g.SetTextColour(kBlack);
    g.DrawString("Hello", 10, 10);
    XRect ink = InkBounds(g);
    ASSERT_GE(ink.right, ink.left);
    EXPECT_GE(ink.left, 10);
    EXPECT_LE(ink.left, 12);
    // The cell starts 3 pixels above y; capitals start below its top.
    EXPECT_GE(ink.top, 7);
    EXPECT_LE(ink.bottom, 7 + 16);
    XSize size = g.GetTextSize("Hello");
    EXPECT_GT(size.width, 10);
    EXPECT_EQ(size.height, 11);
    EXPECT_NEAR(ink.right - 10, size.width, 3);

    g.DrawString(nullptr, 0, 0);  // nothing, no crash
    EXPECT_EQ(g.GetTextSize(nullptr).width, 0);
}

// A font's height is its cell height: ascent plus descent from the font's own
// metrics, accents and descenders included. Carlito (Calibri's metric twin)
// has capitals of 0.632 em in a cell of 1.221 em.
TEST(XGraphic, TextInkFitsTheCellOfItsFontHeight)
{
    std::string family = XGraphic::GetFontFamily();
    const bool calibriMetrics = family == "Calibri" || family == "Carlito";
    struct Case {
        int size;
        uint32_t style;
    };
    for (Case c : {Case{9, 0}, Case{11, 0}, Case{11, xconst::kFontBold}, Case{14, xconst::kFontBold},
                   Case{24, 0}}) {
        SCOPED_TRACE(c.size);
        XGraphic g;
        Start(g, 200, 60);
        g.SetFont(c.size, c.style);
        g.SetTextColour(kBlack);
        const int cell = g.GetFontHeight();
        const int cellTop = 20 + g.GetTextAdjust() - 3;
        g.DrawString("H", 10, 20);
        XRect caps = InkBounds(g);
        if (calibriMetrics) {
            EXPECT_NEAR(caps.bottom - caps.top + 1, cell * 0.632 / 1.221, 1.0);
        }

        Start(g, 200, 60);
        g.DrawString("\xC9jg|", 10, 20);  // accent above, descenders below
        XRect ink = InkBounds(g);
        EXPECT_GE(ink.top, cellTop);
        EXPECT_LT(ink.bottom, cellTop + cell);
        EXPECT_GT(ink.bottom - ink.top + 1, cell * 3 / 4);
    }
}

TEST(XGraphic, CentredTextWiderThanItsRectStartsFourPixelsIn)
{
    XGraphic g;
    Start(g, 200, 40);
    g.SetFont(11, 0);
    g.SetTextColour(kBlack);
    g.DrawTextCentred("A rather long text", XRectangle(20, 0, 30, 20));
    EXPECT_NEAR(InkBounds(g).left, 24, 1);

    Start(g, 200, 40);
    XSize size = g.GetTextSize("ab");
    g.DrawTextCentred("ab", XRectangle(0, 0, 200, 20));
    EXPECT_NEAR(InkBounds(g).left, 100 - size.width / 2, 2);

    Start(g, 200, 40);
    g.DisableTextCentring();
    g.DrawTextCentred("ab", XRectangle(0, 0, 200, 20));
    EXPECT_NEAR(InkBounds(g).left, 4, 1);
}

TEST(XGraphic, AlignTextPlacesLeftCentreAndRight)
{
    XGraphic g;
    g.SetFont(11, 0);
    XSize size = g.GetTextSize("abc");
    XRectangle rect(10, 0, 100, 21);
    EXPECT_EQ(g.AlignText("abc", rect, -1).x, 12);
    EXPECT_EQ(g.AlignText("abc", rect, 0).x, (100 - size.width) / 2);
    EXPECT_EQ(g.AlignText("abc", rect, 1).x, 110 - size.width);
    EXPECT_EQ(g.AlignText("abc", rect, 1).y, (21 - 11) / 2 + 1);
}

TEST(XGraphic, TextBytesBecomeUtf8)
{
    EXPECT_EQ(XGraphic::ToUtf8("plain"), "plain");
    EXPECT_EQ(XGraphic::ToUtf8("caf\xC3\xA9"), "caf\xC3\xA9");      // valid UTF-8 kept
    EXPECT_EQ(XGraphic::ToUtf8("caf\xE9"), "caf\xC3\xA9");          // Latin-1 byte
    EXPECT_EQ(XGraphic::ToUtf8("\x80"), "\xE2\x82\xAC");            // euro sign
    EXPECT_EQ(XGraphic::ToUtf8("\xC0\xAF"), "\xC3\x80\xC2\xAF");    // overlong form is not UTF-8
    EXPECT_EQ(XGraphic::ToUtf8("\xED\xA0\x80"), "\xC3\xAD\xC2\xA0\xE2\x82\xAC");  // surrogate
    EXPECT_EQ(XGraphic::ToUtf8("\xE2\x82"), "\xC3\xA2\xE2\x80\x9A");  // cut short
    EXPECT_EQ(XGraphic::ToUtf8(nullptr), "");
}

TEST(XPic, ColourVariantsChangeThePictureInPlace)
{
    XPic pic;
    ASSERT_TRUE(MakePic(pic, 3, 2, kRed));
    EXPECT_EQ(pic.GetWidth(), 3);
    EXPECT_FALSE(pic.HasMask());
    pic.Desaturate(0.5f);
    EXPECT_EQ(pic.GetPixel(2, 1), XColour::Make(170, 42, 42));

    ASSERT_TRUE(MakePic(pic, 2, 2, kWhite));
    pic.Tint(XColour::Make(10, 200, 30), 1.0f);
    EXPECT_EQ(pic.GetPixel(0, 0), kWhite);

    ASSERT_TRUE(MakePic(pic, 2, 2, XColour::Make(100, 150, 200)));
    pic.Scale(2.0f);
    EXPECT_EQ(pic.GetPixel(1, 1), XColour::Make(200, 255, 255));

    ASSERT_TRUE(MakePic(pic, 2, 2, XColour::Make(90, 60, 30)));
    pic.Desaturate(0.0f);
    EXPECT_EQ(pic.GetPixel(0, 0), XColour::Make(60, 60, 60));
}

TEST(XPic, PicturesAreDrawnWholeOrInPart)
{
    XPic pic;
    ASSERT_TRUE(MakePic(pic, 4, 3, kRed));
    XGraphic g;
    Start(g, 20, 20);
    g.DrawPic(pic, 5, 5);
    EXPECT_EQ(CountColour(g, kRed), 12);
    EXPECT_EQ(g.GetPixel(8, 7), kRed);
    Start(g, 20, 20);
    g.DrawPicPart(pic, 0, 0, 2, 2, 1, 1);
    EXPECT_EQ(CountColour(g, kRed), 4);
}

TEST(XPic, LoadingByNameFindsEmbeddedPicturesAndRefusesTheRest)
{
    XGraphic g;
    g.BeginPaint(nullptr, 5, 5);
    g.FillRectangleColour(XRectangle(0, 0, 5, 5), kRed);
    static std::string png;
    ASSERT_TRUE(g.WritePng(png));
    static const uint8_t garbage[] = {0x89, 'P', 'N', 'G', 1, 2, 3};
    static XPicResource table[2];
    table[0] = {"testRed", reinterpret_cast<const uint8_t*>(png.data()), png.size()};
    table[1] = {"testBroken", garbage, sizeof garbage};
    ASSERT_TRUE(XPic::AddResources(table, 2));

    XPic pic;
    EXPECT_TRUE(pic.Load("testRed"));
    EXPECT_EQ(pic.GetWidth(), 5);
    EXPECT_FALSE(pic.Load("testBroken"));
    EXPECT_FALSE(pic.IsLoaded());
    EXPECT_FALSE(pic.Load("noSuchPicture"));
    EXPECT_FALSE(pic.Load(nullptr));
    // A PNG cut short is refused.
    EXPECT_FALSE(pic.LoadPng(reinterpret_cast<const uint8_t*>(png.data()), png.size() / 2));

    XPicTable pics;
    EXPECT_TRUE(pics.Load(7, "testRed"));
    EXPECT_TRUE(pics.Load(7, "testRed"));
    EXPECT_EQ(pics.GetCount(), 1);
    EXPECT_FALSE(pics.Load(8, "noSuchPicture"));
    EXPECT_EQ(pics.GetCount(), 1);
    for (int key = 100; key < 100 + xconst::kPicTableSize - 1; ++key)
        EXPECT_TRUE(pics.Load(key, "testRed"));
    EXPECT_EQ(pics.GetCount(), xconst::kPicTableSize);
    EXPECT_FALSE(pics.Load(9999, "testRed"));
    EXPECT_EQ(pics.GetCount(), xconst::kPicTableSize);

    Start(g, 10, 10);
    pics.Draw(g, 7, 1, 1);
    pics.Draw(g, 12345, 0, 0);  // unknown key: nothing
    EXPECT_EQ(CountColour(g, kRed), 25);
}
