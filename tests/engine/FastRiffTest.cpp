// The engine's buffered file and RIFF walker on files made by the test writer.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "engine/FastFile.h"
#include "engine/FastRiff.h"
#include "gig/GigWriter.h"
#include "support/TestSupport.h"

using gigtools::Bytes;
using gigtools::RiffNode;

namespace {

std::string WriteTree(const kivtest::TempDir& dir, const RiffNode& root, size_t padTo = 3000)
{
    Bytes bytes = root.Serialize();
    if (bytes.size() < padTo)
        bytes.resize(padTo, 0);
    const std::string path = dir.File("t.riff");
    EXPECT_TRUE(kivtest::WriteFile(path, bytes.data(), bytes.size()));
    return path;
}

std::string WriteBytes(const kivtest::TempDir& dir, const Bytes& bytes)
{
    const std::string path = dir.File("b.riff");
    EXPECT_TRUE(kivtest::WriteFile(path, bytes.data(), bytes.size()));
    return path;
}

}  // namespace

TEST(FastRiff, OpensFilesOfAtLeast3000Bytes)
{
    kivtest::TempDir dir;
    FastRiff riff;
    EXPECT_TRUE(riff.OpenRiff(WriteBytes(dir, Bytes(3000, 0)).c_str()));
    EXPECT_FALSE(riff.OpenRiff(WriteBytes(dir, Bytes(2999, 0)).c_str()));
    EXPECT_FALSE(riff.OpenRiff(dir.File("missing").c_str()));
    EXPECT_FALSE(riff.OpenRiff(dir.Path().c_str()));  // a folder
}

TEST(FastRiff, OddChunkIsFollowedByItsPadByte)
{
    kivtest::TempDir dir;
    RiffNode root = RiffNode::Riff("DLS ", {RiffNode::Chunk("abcd", Bytes(5, 7)), RiffNode::Chunk("efgh", Bytes(4, 9))});
    FastRiff riff;
    ASSERT_TRUE(riff.OpenRiff(WriteTree(dir, root).c_str()));
    ASSERT_TRUE(riff.NextChunk(0));
    EXPECT_TRUE(riff.IsChunk("RIFF", "DLS "));
    ASSERT_TRUE(riff.NextChunk(1));
    EXPECT_TRUE(riff.IsChunk("abcd", nullptr));
    EXPECT_EQ(riff.GetChunkSize(), 6);
    ASSERT_TRUE(riff.NextChunk(1));
    EXPECT_TRUE(riff.IsChunk("efgh", nullptr));
    EXPECT_EQ(riff.GetPosition(), 12 + 8 + 6 + 8);
    EXPECT_EQ(riff.ReadU32(), 0x09090909u);
    EXPECT_FALSE(riff.NextChunk(1));
}

TEST(FastRiff, ChunkIdsOutsideTheAlphabetThrowTheErrorText)
{
    kivtest::TempDir dir;
    RiffNode bad = RiffNode::Chunk("ab-d", Bytes(4, 0));
    RiffNode root = RiffNode::Riff("DLS ", {RiffNode::Chunk("3ewa", Bytes(4, 0)), bad});
    FastRiff riff;
    ASSERT_TRUE(riff.OpenRiff(WriteTree(dir, root).c_str()));
    ASSERT_TRUE(riff.NextChunk(0));
    ASSERT_TRUE(riff.NextChunk(1));
    EXPECT_TRUE(riff.IsChunk("3ewa", nullptr));
    try {
        riff.NextChunk(1);
        FAIL() << "no exception";
    } catch (const char* text) {
        EXPECT_STREQ(text, "Error in file");
    }
}

TEST(FastRiff, IsChunkMatchesListTypeOnlyForLists)
{
    kivtest::TempDir dir;
    RiffNode root = RiffNode::Riff("DLS ", {RiffNode::List("lins"), RiffNode::Chunk("wvpl", Bytes(4, 0)),
                                            RiffNode::List("wvpl")});
    FastRiff riff;
    ASSERT_TRUE(riff.OpenRiff(WriteTree(dir, root).c_str()));
    ASSERT_TRUE(riff.NextChunk(0));
    ASSERT_TRUE(riff.NextChunk(1));
    EXPECT_FALSE(riff.IsChunk("LIST", "wvpl"));
    EXPECT_TRUE(riff.IsChunk("LIST", nullptr));
    ASSERT_TRUE(riff.NextChunk(1));
    EXPECT_FALSE(riff.IsChunk("LIST", "wvpl"));
    EXPECT_FALSE(riff.IsChunk(nullptr, "wvpl"));
    ASSERT_TRUE(riff.NextChunk(1));
    EXPECT_TRUE(riff.IsChunk("LIST", "wvpl"));
}

TEST(FastRiff, EmptyListHasNoChildrenAndTheWalkStaysInItsParent)
{
    kivtest::TempDir dir;
    RiffNode root = RiffNode::Riff("DLS ", {RiffNode::List("empt"), RiffNode::Chunk("next", Bytes(4, 1)),
                                            RiffNode::List("full", {RiffNode::Chunk("kid1", Bytes(2, 0))})});
    FastRiff riff;
    ASSERT_TRUE(riff.OpenRiff(WriteTree(dir, root).c_str()));
    ASSERT_TRUE(riff.NextChunk(0));
    ASSERT_TRUE(riff.NextChunk(1));
    EXPECT_FALSE(riff.NextChunk(2)) << "descending into an empty list read its sibling";
    ASSERT_TRUE(riff.NextChunk(1));
    EXPECT_TRUE(riff.IsChunk("next", nullptr));
    ASSERT_TRUE(riff.NextChunk(1));
    ASSERT_TRUE(riff.NextChunk(2));
    EXPECT_TRUE(riff.IsChunk("kid1", nullptr));
    EXPECT_FALSE(riff.NextChunk(2));  // the padding after the RIFF form is not a child
}

TEST(FastRiff, ChunksEndingPastTheirParentOrTheFileAreErrors)
{
    kivtest::TempDir dir;
    // A child whose size runs past its list.
    RiffNode child = RiffNode::Chunk("kid1", Bytes(8, 0));
    child.hasSizeOverride = true;
    child.sizeOverride = 400;
    RiffNode root = RiffNode::Riff("DLS ", {RiffNode::List("list", {child}), RiffNode::Chunk("next", Bytes(4, 0))});
    FastRiff riff;
    ASSERT_TRUE(riff.OpenRiff(WriteTree(dir, root).c_str()));
    ASSERT_TRUE(riff.NextChunk(0));
    ASSERT_TRUE(riff.NextChunk(1));
    EXPECT_THROW(riff.NextChunk(2), const char*);

    // A form whose size is past the end of the file, and a size of 0xFFFFFFFF.
    for (uint32_t size : {5000u, 0xFFFFFFFFu, 0xFFFFFFF8u}) {
        RiffNode form = RiffNode::Riff("DLS ", {RiffNode::Chunk("abcd", Bytes(4, 0))});
        form.hasSizeOverride = true;
        form.sizeOverride = size;
        ASSERT_TRUE(riff.OpenRiff(WriteTree(dir, form).c_str()));
        EXPECT_THROW(riff.NextChunk(0), const char*) << size;
    }
}

TEST(FastRiff, TruncatedFileEndsTheWalkWithoutLooping)
{
    kivtest::TempDir dir;
    RiffNode root = RiffNode::Riff("DLS ");
    for (int i = 0; i < 200; ++i)
        root.Add(RiffNode::Chunk("data", Bytes(20, static_cast<uint8_t>(i))));
    Bytes bytes = root.Serialize();
    bytes.resize(3001);  // cuts a chunk header in the middle of the form
    FastRiff riff;
    ASSERT_TRUE(riff.OpenRiff(WriteBytes(dir, bytes).c_str()));
    int steps = 0;
    try {
        ASSERT_TRUE(riff.NextChunk(0));
        while (riff.NextChunk(1))
            ASSERT_LT(++steps, 1000);
        FAIL() << "the cut form was read without an error";
    } catch (const char*) {
    }
    EXPECT_LE(steps, 200);
}

TEST(FastFileBuffered, ReadAcrossTheCachedWindowReturnsBothBlocksInOrder)
{
    kivtest::TempDir dir;
    Bytes bytes(10000);
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<uint8_t>(i * 7 + 3);
    FastFileBuffered f;
    ASSERT_TRUE(f.Open(WriteBytes(dir, bytes).c_str()));
    uint8_t b[100];
    f.Seek(4000);
    ASSERT_EQ(f.Read(b, 10), 10);  // fills the window at 4000
    f.Seek(4050);                   // inside the window: kept
    ASSERT_EQ(f.Read(b, 100), 100);
    EXPECT_EQ(0, std::memcmp(b, bytes.data() + 4050, 100));
    f.Seek(8070);
    ASSERT_EQ(f.Read(b, 100), 100);  // runs across the block boundary at 8096
    EXPECT_EQ(0, std::memcmp(b, bytes.data() + 8070, 100));
    f.Seek(9950);
    EXPECT_EQ(f.Read(b, 100), 50);  // short at the end of the file
    EXPECT_EQ(f.Read(b, 100), 0);
    EXPECT_EQ(f.GetPosition(), 10000);
}

TEST(FastFile, ReadAdvancesByTheBytesActuallyRead)
{
    kivtest::TempDir dir;
    FastFile f;
    ASSERT_TRUE(f.Open(WriteBytes(dir, Bytes(3100, 1)).c_str()));
    uint8_t b[200];
    f.Seek(3000);
    EXPECT_EQ(f.Read(b, 200), 100);
    EXPECT_EQ(f.GetPosition(), 3100);
    EXPECT_EQ(f.ReadAt(3050, b, 200), 50);
    EXPECT_EQ(f.GetPosition(), 3100);
}
