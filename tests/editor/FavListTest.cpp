// The favourites list and its file: lazy reading, both byte orders, bounds
// on damaged files, names of stored paths, and writing only after a change.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdint>
#include <string>
#include <vector>

#include "support/PipeGuard.h"
#include "support/TestSupport.h"
#include "editor/FavList.h"
#include "gui/GuiTestLeaks.h"

namespace {

void Put32(std::string& out, uint32_t v, bool bigEndian = false)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<char>(v >> (bigEndian ? 24 - 8 * i : 8 * i)));
}

std::string FavFile(const std::vector<std::string>& paths, bool bigEndian = false)
{
    std::string out;
    Put32(out, static_cast<uint32_t>(paths.size()), bigEndian);
    for (const std::string& p : paths) {
        Put32(out, static_cast<uint32_t>(p.size()), bigEndian);
        out += p;
    }
    return out;
}

class FavListTest : public ::testing::Test {
protected:
    void Write(const std::string& bytes) { ASSERT_TRUE(kivtest::WriteFile(path, bytes.data(), bytes.size())); }

    kivtest::TempDir dir;
    std::string path = dir.File("tessivo.fav");
};

TEST_F(FavListTest, MissingFileGivesEmptyListAndIsNotWrittenUnchanged)
{
    {
        FavList list(path.c_str());
        EXPECT_EQ(list.GetChangeCount(), 0);
        EXPECT_EQ(list.GetCount(), 0);
        EXPECT_EQ(list.GetChangeCount(), 1);
        EXPECT_STREQ(list.GetPath(0), "");
        EXPECT_STREQ(list.GetPath(1), "");
        EXPECT_STREQ(list.GetName(0), "");
    }
    struct stat info;
    EXPECT_NE(stat(path.c_str(), &info), 0);
}

// A named pipe where the file should be reads as no file, at once (the
// browser reads the list on the host's GUI thread).
TEST_F(FavListTest, PipeInPlaceOfTheFileGivesEmptyListWithoutWaiting)
{
    ASSERT_TRUE(kivtest::MakePipe(path));
    kivtest::PipeGuard guard({path}, 5);
    FavList list(path.c_str());
    EXPECT_EQ(list.GetCount(), 0);
    EXPECT_FALSE(guard.Released()) << "the list waited on a named pipe";
}

TEST_F(FavListTest, UnchangedListDoesNotRewriteTheFile)
{
    std::string bytes = FavFile({"/samples/Pianos/"});
    Write(bytes);
    {
        FavList list(path.c_str());
        EXPECT_EQ(list.GetCount(), 1);
        // Made different on the disk: a rewrite would restore the old bytes.
        Write("changed elsewhere");
    }
    EXPECT_EQ(kivtest::ReadFile(path), "changed elsewhere");
}

TEST_F(FavListTest, ReadsBothByteOrders)
{
    for (bool big : {false, true}) {
        Write(FavFile({"/a/Strings/", "/b/Drums/"}, big));
        FavList list(path.c_str());
        ASSERT_EQ(list.GetCount(), 2) << big;
        EXPECT_STREQ(list.GetPath(1), "/a/Strings/");
        EXPECT_STREQ(list.GetPath(2), "/b/Drums/");
    }
}

TEST_F(FavListTest, AddRemoveAndSaveRoundTrip)
{
    {
        FavList list(path.c_str());
        EXPECT_TRUE(list.Add("/x/One/"));
        EXPECT_TRUE(list.Add("/x/Two/"));
        EXPECT_TRUE(list.Add("/x/Three/"));
        EXPECT_EQ(list.GetChangeCount(), 4);
        EXPECT_FALSE(list.Remove(0));   // "Computer"
        EXPECT_FALSE(list.Remove(4));   // past the end
        EXPECT_FALSE(list.Remove(-3));
        EXPECT_TRUE(list.Remove(2));
        EXPECT_EQ(list.GetCount(), 2);
        EXPECT_STREQ(list.GetPath(2), "/x/Three/");
    }
    EXPECT_EQ(kivtest::ReadFile(path), FavFile({"/x/One/", "/x/Three/"}));
    FavList again(path.c_str());
    EXPECT_EQ(again.GetCount(), 2);
    EXPECT_EQ(again.GetChangeCount(), 1);
}

TEST_F(FavListTest, AddBeforeFirstReadKeepsStoredEntries)
{
    Write(FavFile({"/kept/Old/"}));
    {
        FavList list(path.c_str());
        EXPECT_TRUE(list.Add("/new/Fresh/"));
    }
    EXPECT_EQ(kivtest::ReadFile(path), FavFile({"/kept/Old/", "/new/Fresh/"}));
}

TEST_F(FavListTest, KeepsAtMost64Entries)
{
    FavList list(path.c_str());
    for (int i = 0; i < 64; ++i)
        ASSERT_TRUE(list.Add(("/f/" + std::to_string(i) + "/").c_str()));
    int change = list.GetChangeCount();
    EXPECT_FALSE(list.Add("/f/extra/"));
    EXPECT_FALSE(list.Add(""));
    EXPECT_EQ(list.GetCount(), 64);
    EXPECT_EQ(list.GetChangeCount(), change);

    // A file that claims and holds more is read up to 64.
    std::vector<std::string> many;
    for (int i = 0; i < 100; ++i)
        many.push_back("/m/" + std::to_string(i) + "/");
    Write(FavFile(many));
    FavList big(path.c_str());
    EXPECT_EQ(big.GetCount(), 64);
    EXPECT_STREQ(big.GetPath(64), "/m/63/");
}

TEST_F(FavListTest, DamagedFilesKeepWhatWasWhole)
{
    std::string whole = FavFile({"/a/First/", "/a/Second/"});
    // Cut inside the second path, inside its length, and a length that
    // claims far more than the file holds.
    for (size_t cut : {whole.size() - 3, size_t(4 + 4 + 9 + 2)}) {
        Write(whole.substr(0, cut));
        FavList list(path.c_str());
        EXPECT_EQ(list.GetCount(), 1) << cut;
        EXPECT_STREQ(list.GetPath(1), "/a/First/");
    }
    std::string lying;
    Put32(lying, 3);
    Put32(lying, 0x7FFFFFF0u);
    lying += "xyz";
    Write(lying);
    FavList list(path.c_str());
    EXPECT_EQ(list.GetCount(), 0);
    // Too short for a count.
    Write("ab");
    FavList shortList(path.c_str());
    EXPECT_EQ(shortList.GetCount(), 0);
}

TEST_F(FavListTest, NamesAreTheFolderOwnNameWithEitherSeparator)
{
    FavList list(path.c_str());
    list.Add("/home/me/Samples/Pianos/");
    list.Add("C:\\Libraries\\Strings\\");
    list.Add("NoSeparator");
    list.Add("/");
    list.Add("/data/Brass");
    EXPECT_STREQ(list.GetName(0), "Pianos");
    EXPECT_STREQ(list.GetName(1), "Strings");
    EXPECT_STREQ(list.GetName(2), "NoSeparator");
    EXPECT_STREQ(list.GetName(3), "/");
    EXPECT_STREQ(list.GetName(4), "Brass");
    EXPECT_STREQ(list.GetName(5), "");
    EXPECT_STREQ(list.GetName(-1), "");
}

// The favourites of a file the user cannot read are still in it: a
// favourite added meanwhile is not saved over them.
TEST_F(FavListTest, FileThatCannotBeReadIsNeverWrittenOver)
{
    const std::string bytes = FavFile({"/samples/Pianos/"});
    Write(bytes);
    ASSERT_TRUE(kivtest::OpenToOrdinaryUser(dir.Path()));
    ASSERT_EQ(chmod(path.c_str(), 0), 0);
    {
        kivtest::AsOrdinaryUser user;
        ASSERT_TRUE(user.Ok());
        FavList list(path.c_str());
        EXPECT_EQ(list.GetCount(), 0);
        EXPECT_TRUE(list.Add("/x/A/"));
        EXPECT_FALSE(list.Save());
    }
    ASSERT_EQ(chmod(path.c_str(), 0644), 0);
    EXPECT_EQ(kivtest::ReadFile(path), bytes);
}

TEST_F(FavListTest, FailedWriteKeepsTheChangeForALaterSave)
{
    std::string blocked = dir.File("missing-folder/tessivo.fav");
    FavList list(blocked.c_str());
    list.Add("/x/A/");
    EXPECT_FALSE(list.Save());
    EXPECT_GT(list.GetChangeCount(), 1);
}

}  // namespace
