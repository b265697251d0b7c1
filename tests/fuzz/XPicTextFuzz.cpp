// Feeds arbitrary bytes to the picture loader (an embedded PNG that is not
// what it should be) and, as text, to the text conversion and measuring
// that every label's bytes go through.
#include <string>

#include "fuzz/FuzzSeeds.h"
#include "gui/GuiTestLeaks.h"
#include "kiv/gui/XGraphic.h"
#include "kiv/gui/XPic.h"

// fuzz-runs: 20000

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    XPic pic;
    if (pic.LoadPng(data, size)) {
        pic.Desaturate(0.5f);
        XGraphic g;
        g.BeginPaint(nullptr, 16, 16);
        g.DrawPic(pic, 0, 0);
    }
    std::string text(reinterpret_cast<const char*>(data), size);
    std::string utf8 = XGraphic::ToUtf8(text.c_str());
    // Whatever went in, cairo gets valid UTF-8: converting again keeps it.
    if (XGraphic::ToUtf8(utf8.c_str()) != utf8)
        __builtin_trap();
    return 0;
}

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    kivfuzz::SeedCorpus seeds(argc, argv);
    XGraphic g;
    g.BeginPaint(nullptr, 3, 2);
    g.FillRectangleColour(XRectangle(0, 0, 3, 2), XColour::Make(200, 10, 10));
    std::string png;
    if (g.WritePng(png))
        seeds.Add("red.png", png.data(), png.size());
    static const char kText[] = "caf\xE9 \x80 \xC3\xA9 \xF0\x9F\x8E\xB9 \xC0\xAF";
    seeds.Add("text", kText, sizeof kText - 1);
    return 0;
}
