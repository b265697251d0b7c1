#include "kiv/file/Riff.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string Le32(uint32_t v)
{
    std::string s(4, '\0');
    for (int i = 0; i < 4; ++i)
        s[i] = static_cast<char>(v >> (8 * i));
    return s;
}

std::string Chunk(const std::string& id, const std::string& data) { return id + Le32(static_cast<uint32_t>(data.size())) + data; }

// RIFF 'OvGm' { LIST 'tone' { 'name' "abc", 'byte' 1 2 3 }, 'int ' 7, 'flt ' 1.0f }
void WriteSample(CRiffWriter& w)
{
    w.OpenChunk("RIFF", "OvGm");
    w.OpenChunk("LIST", "tone");
    w.OpenChunk("name");
    w.WriteString("abc");
    w.CloseChunk();
    w.OpenChunk("byte");
    w.WriteByte(1);
    w.WriteByte(2);
    w.WriteByte(3);
    w.CloseChunk();
    w.CloseChunk();
    w.OpenChunk("int ");
    w.WriteInt(7);
    w.CloseChunk();
    w.OpenChunk("flt ");
    w.WriteFloat(1.0f);
    w.CloseChunk();
    w.CloseChunk();
}

std::string Expected(bool padding)
{
    std::string name = Chunk("name", std::string("abc\0", 4));
    std::string bytes = Chunk("byte", "\1\2\3") + (padding ? std::string(1, '\0') : "");
    std::string list = Chunk("LIST", "tone" + name + bytes);
    std::string ints = Chunk("int ", Le32(7));
    std::string flt = Chunk("flt ", Le32(0x3F800000));
    return Chunk("RIFF", "OvGm" + list + ints + flt);
}

struct Seen {
    int level;
    std::string id, form;
    int64_t size;
    bool operator==(const Seen&) const = default;
};

void PrintTo(const Seen& s, std::ostream* os)
{
    *os << "{" << s.level << " '" << s.id << "' '" << s.form << "' " << s.size << "}";
}

// Walks every chunk depth first, going into those with a form type.
std::vector<Seen> Walk(CImpRiff& r, int level = 0)
{
    std::vector<Seen> seen;
    while (r.Descend(level)) {
        seen.push_back({level, r.GetChunkId(), r.GetFormType(), r.GetChunkSize()});
        if (r.GetFormType()[0] && level + 1 < file::kRiffLevels) {
            auto inner = Walk(r, level + 1);
            seen.insert(seen.end(), inner.begin(), inner.end());
        }
    }
    return seen;
}

TEST(RiffWriter, NestedListsWithOddChunksAreByteExact)
{
    kivtest::TempDir dir;
    for (bool padding : {false, true}) {
        SCOPED_TRACE(padding ? "even padding" : "no padding");
        std::string path = dir.File("sample.riff");
        CRiffWriter w;
        w.SetEvenPadding(padding);
        ASSERT_TRUE(w.OpenWrite(path.c_str()));
        WriteSample(w);
        EXPECT_EQ(w.GetOpenChunks(), 0);
        ASSERT_TRUE(w.Close());
        EXPECT_EQ(kivtest::ReadFile(path), Expected(padding));
    }
}

TEST(RiffWriter, FormWithThreeLetterTextHasSizeEightAndSixteenBytes)
{
    kivtest::TempDir dir;
    std::string path = dir.File("small.riff");
    CRiffWriter w;
    ASSERT_TRUE(w.OpenWrite(path.c_str()));
    EXPECT_EQ(w.OpenChunk("RIFF", "WAVE"), 4);
    w.WriteString("abc", 0);
    ASSERT_TRUE(w.CloseChunk());
    ASSERT_TRUE(w.Close());
    EXPECT_EQ(kivtest::ReadFile(path), std::string("RIFF\10\0\0\0WAVEabc\0", 16));
}

TEST(RiffReader, WalksWriterOutputWithAndWithoutEvenPadding)
{
    kivtest::TempDir dir;
    for (bool padding : {false, true}) {
        SCOPED_TRACE(padding ? "even padding" : "no padding");
        std::string path = dir.File("walk.riff");
        ASSERT_TRUE(kivtest::WriteFile(path, Expected(padding).data(), Expected(padding).size()));
        CImpRiff r;
        r.SetEvenPadding(padding);
        ASSERT_TRUE(r.Open(path.c_str(), false));
        std::vector<Seen> expect = {{0, "RIFF", "OvGm", static_cast<int64_t>(Expected(padding).size() - 8)},
                                    {1, "LIST", "tone", padding ? 28 : 27},
                                    {2, "name", "", 4},
                                    {2, "byte", "", padding ? 4 : 3},
                                    {1, "int ", "", 4},
                                    {1, "flt ", "", 4}};
        EXPECT_EQ(Walk(r), expect);
    }
}

TEST(RiffReader, ReadsValuesAndFindsSiblingsAfterPartialReads)
{
    kivtest::TempDir dir;
    std::string path = dir.File("values.riff");
    ASSERT_TRUE(kivtest::WriteFile(path, Expected(false).data(), Expected(false).size()));
    CImpRiff r;
    ASSERT_TRUE(r.Open(path.c_str(), false));
    ASSERT_TRUE(r.Descend(0));
    EXPECT_TRUE(r.IsChunk("RIFF", "OvGm"));
    EXPECT_FALSE(r.IsChunk("RIFF", "WAVE"));
    ASSERT_TRUE(r.Descend(1));
    ASSERT_TRUE(r.Descend(2));
    char text[8];
    ASSERT_TRUE(r.ReadString(text, 3, sizeof text));
    EXPECT_STREQ(text, "abc");
    ASSERT_TRUE(r.Descend(2));
    EXPECT_TRUE(r.IsChunk("byte"));
    uint8_t b = 0;
    ASSERT_TRUE(r.Read(&b, 1, 1));  // reads one of three bytes, then moves on
    EXPECT_EQ(b, 1);
    EXPECT_FALSE(r.Descend(2));
    ASSERT_TRUE(r.Descend(1));
    int32_t v = 0;
    ASSERT_TRUE(r.Read(&v, 4, 1));
    EXPECT_EQ(v, 7);
    ASSERT_TRUE(r.Descend(1));
    float f = 0;
    ASSERT_TRUE(r.Read(&f, 4, 1));
    EXPECT_EQ(f, 1.0f);
    EXPECT_FALSE(r.Descend(1));
    EXPECT_FALSE(r.Descend(1));
    EXPECT_FALSE(r.Descend(0));
}

TEST(RiffReader, TwoListsInAFormThenNoMore)
{
    kivtest::TempDir dir;
    std::string path = dir.File("two.riff");
    std::string bytes = Chunk("RIFF", "form" + Chunk("LIST", "aaaa") + Chunk("LIST", "bbbb"));
    ASSERT_TRUE(kivtest::WriteFile(path, bytes.data(), bytes.size()));
    CImpRiff r;
    EXPECT_FALSE(r.Descend(0));  // not open
    ASSERT_TRUE(r.Open(path.c_str(), false));
    EXPECT_FALSE(r.Descend(1));  // levels follow the current one
    ASSERT_TRUE(r.Descend(0));
    EXPECT_FALSE(r.Descend(2));
    EXPECT_FALSE(r.Descend(file::kRiffLevels));
    ASSERT_TRUE(r.Descend(1));
    EXPECT_TRUE(r.IsChunk("LIST", "aaaa"));
    EXPECT_FALSE(r.Descend(2));  // an empty list has no first child
    ASSERT_TRUE(r.Descend(1));
    EXPECT_TRUE(r.IsChunk("LIST", "bbbb"));
    EXPECT_FALSE(r.Descend(1));
    EXPECT_EQ(r.GetLevel(), 1);
}

TEST(RiffReader, IdentifierBytesOutsideBlankToZThrowOne)
{
    kivtest::TempDir dir;
    std::string path = dir.File("ids.riff");
    struct Case {
        std::string id;
        bool throws;
    };
    for (const Case& c : {Case{std::string("ab\1d", 4), true}, Case{"abc{", true}, Case{"    ", false},
                          Case{"z  z", false}, Case{std::string("\x80xyz"), true}}) {
        std::string bytes = Chunk(c.id, "data");
        ASSERT_TRUE(kivtest::WriteFile(path, bytes.data(), bytes.size()));
        CImpRiff r;
        ASSERT_TRUE(r.Open(path.c_str(), false));
        if (c.throws) {
            try {
                r.Descend(0);
                ADD_FAILURE() << "no exception for " << c.id;
            } catch (int e) {
                EXPECT_EQ(e, 1);
            }
        } else {
            EXPECT_TRUE(r.Descend(0));
            EXPECT_TRUE(r.IsChunk(c.id.c_str()));
        }
    }
}

TEST(RiffReader, MalformedSizesEndTheirLevelCleanly)
{
    kivtest::TempDir dir;
    std::string path = dir.File("bad.riff");
    struct Case {
        const char* what;
        std::string bytes;
        std::vector<Seen> expect;
    };
    std::string huge = "big " + Le32(0xFFFFFFF0u) + "xx";
    std::vector<Case> cases = {
        // A child claiming more than its list holds is its list's last.
        {"child past parent",
         Chunk("RIFF", "form" + Chunk("LIST", "list" + std::string("kid ") + Le32(100) + "abcd") + Chunk("next", "")),
         {{0, "RIFF", "form", 36}, {1, "LIST", "list", 16}, {2, "kid ", "", 100}, {1, "next", "", 0}}},
        {"top chunk past the file end", huge, {{0, "big ", "", 0xFFFFFFF0}}},
        {"list too small for its form type",
         "LIST" + Le32(2) + "ab" + Chunk("tail", "1234"),
         {{0, "LIST", "abta", 2}, {0, "tail", "", 4}}},
        {"header cut short", "RIFF" + Le32(4) + "formLI", {{0, "RIFF", "form", 4}}},
        {"size field cut short", std::string("abcd\1\0", 6), {}},
        {"zero-sized chunks", Chunk("one ", "") + Chunk("two ", ""), {{0, "one ", "", 0}, {0, "two ", "", 0}}},
        // Its header straddles the parent's end: it still ends the level.
        {"header straddles parent end", "RIFF" + Le32(6) + "formab" + "cdefgh",
         {{0, "RIFF", "form", 6}, {1, "abcd", "", 0x68676665}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(kivtest::WriteFile(path, c.bytes.data(), c.bytes.size()));
        CImpRiff r;
        ASSERT_TRUE(r.Open(path.c_str(), false));
        EXPECT_EQ(Walk(r), c.expect);
    }
}

TEST(RiffReader, ReadStringStaysInsideTheCallersBuffer)
{
    kivtest::TempDir dir;
    std::string path = dir.File("text.riff");
    std::string bytes = std::string("hello world\0", 12) + "next" + std::string(40, 'z');
    ASSERT_TRUE(kivtest::WriteFile(path, bytes.data(), bytes.size()));
    CImpRiff r;
    ASSERT_TRUE(r.Open(path.c_str(), false));
    char buf[8];
    memset(buf, '#', sizeof buf);
    char guard[4] = {'G', 'G', 'G', 'G'};
    ASSERT_TRUE(r.ReadString(buf, 0, 6));  // up to the NUL, keeping 5 characters
    EXPECT_STREQ(buf, "hello");
    EXPECT_EQ(buf[6], '#');
    EXPECT_EQ(r.GetPosition(), 12);
    ASSERT_TRUE(r.ReadString(buf, 4, sizeof buf));
    EXPECT_STREQ(buf, "next");
    ASSERT_TRUE(r.ReadString(buf, 30, 6));  // 5 kept, the rest passed over
    EXPECT_STREQ(buf, "zzzzz");
    EXPECT_EQ(r.GetPosition(), 46);
    ASSERT_TRUE(r.ReadString(buf, -1, 3));  // no NUL before the end of the file
    EXPECT_STREQ(buf, "zz");
    EXPECT_FALSE(r.ReadString(buf, -1, 3));
    EXPECT_STREQ(buf, "");
    EXPECT_FALSE(r.ReadString(buf, 5, 0));
    EXPECT_EQ(guard[0], 'G');
}

}  // namespace
