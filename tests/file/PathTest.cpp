#include "kiv/file/Path.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Title(const char* path) { return file::Path(path).GetTitle().CStr(); }

TEST(Path, SetFindsAnExtensionOnlyInTheLastElement)
{
    file::Path p;
    EXPECT_TRUE(p.Set("/lib/piano.gig"));
    EXPECT_FALSE(p.Set("/a/b.c/name"));
    EXPECT_FALSE(p.Set("name.gig"));  // no folder
    EXPECT_TRUE(p.Set("C:\\Samples\\piano.gig"));
    EXPECT_TRUE(p.Set("/mixed\\dir/x.y"));
    EXPECT_FALSE(p.Set(""));
    EXPECT_FALSE(p.Set(nullptr));
}

TEST(Path, TitleIsTheLastElementWithoutItsExtension)
{
    EXPECT_EQ(Title("/lib/piano.gig"), "piano");
    EXPECT_EQ(Title("/a/b.c/name"), "name");
    EXPECT_EQ(Title("name.gig"), "");
    EXPECT_EQ(Title("C:\\Samples\\Grand Piano.gig"), "Grand Piano");
    EXPECT_EQ(Title("D:\\a/b\\strings.v2.gig"), "strings.v2");
    EXPECT_EQ(Title("/x/.hidden"), "");
    EXPECT_EQ(Title("/x/folder/"), "");
    EXPECT_EQ(Title("/x/a"), "a");
}

TEST(Path, TitleOutlivesThePath)
{
    StringRef title;
    {
        file::Path p("/lib/organ.gig");
        title = p.GetTitle();
        p.Set("/other/thing.txt");
    }
    EXPECT_STREQ(title.CStr(), "organ");
}

}  // namespace
