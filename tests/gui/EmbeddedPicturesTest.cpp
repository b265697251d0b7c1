// Every picture the product's sources name is embedded and readable, and
// the pictures a person tells apart by look (the toolbar's buttons) differ.
// The names come from the sources themselves, so a picture added to the code
// without being drawn by the generator fails here.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include "kiv/gui/XColour.h"
#include "kiv/gui/XPic.h"

namespace {

std::set<std::string> PictureNamesInSources()
{
    const char* root = getenv("KIV_TEST_SOURCE_DIR");
    std::set<std::string> names;
    const std::regex quoted("\"([A-Za-z0-9_]+\\.(png|ico))\"");
    for (const char* folder : {"applib/src", "editor", "vst", "utility", "engine"}) {
        std::filesystem::path dir = std::filesystem::path(root ? root : ".") / folder;
        if (!std::filesystem::exists(dir))
            continue;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(dir)) {
            std::string ext = entry.path().extension().string();
            if (ext != ".cpp" && ext != ".h")
                continue;
            std::ifstream in(entry.path());
            std::stringstream text;
            text << in.rdbuf();
            std::string source = text.str();
            for (std::sregex_iterator m(source.begin(), source.end(), quoted), end; m != end; ++m)
                names.insert((*m)[1].str());
        }
    }
    return names;
}

// The share of pixels (in 1/1000) where two pictures of one size differ.
int DifferingPerMille(const XPic& a, const XPic& b)
{
    int differ = 0;
    for (int y = 0; y < a.GetHeight(); ++y)
        for (int x = 0; x < a.GetWidth(); ++x)
            if (a.GetPixel(x, y) != b.GetPixel(x, y))
                ++differ;
    return 1000 * differ / (a.GetWidth() * a.GetHeight());
}

}  // namespace

TEST(EmbeddedPictures, EveryPictureTheSourcesNameIsEmbedded)
{
    std::set<std::string> names = PictureNamesInSources();
    // The editor alone names more than thirty: an empty scan is no pass.
    ASSERT_GT(names.size(), 30u) << "the sources were not found";
    for (const std::string& name : names) {
        XPic pic;
        EXPECT_TRUE(pic.Load(name.c_str())) << name << " is named in the sources but not embedded";
        EXPECT_GT(pic.GetWidth() * pic.GetHeight(), 0) << name;
    }
}

TEST(EmbeddedPictures, ToolbarButtonsLookDifferentFromEachOther)
{
    const char* names[] = {"tb_new.png",    "tb_open.png",  "tb_save.png",     "tb_saveas.png", "tb_browse.png",
                           "tb_search.png", "tb_mixer.png", "tb_settings.png", "tb_expand.png", "tb_reset.png"};
    XPic pics[10];
    for (int i = 0; i < 10; ++i)
        ASSERT_TRUE(pics[i].Load(names[i])) << names[i];
    for (int i = 0; i < 10; ++i) {
        // Colour of its own: the faded and pressed looks change saturation.
        bool coloured = false;
        for (int y = 0; y < pics[i].GetHeight() && !coloured; ++y)
            for (int x = 0; x < pics[i].GetWidth() && !coloured; ++x) {
                XColourValue c = pics[i].GetPixel(x, y);
                int r = XColour::Red(c), g = XColour::Green(c), b = XColour::Blue(c);
                coloured = std::max({r, g, b}) - std::min({r, g, b}) > 80;
            }
        EXPECT_TRUE(coloured) << names[i] << " has no colour";
        for (int j = 0; j < i; ++j) {
            ASSERT_EQ(pics[i].GetWidth(), pics[j].GetWidth());
            EXPECT_GT(DifferingPerMille(pics[i], pics[j]), 50) << names[i] << " looks like " << names[j];
        }
    }
}
