// The .gig instrument-name reader on banks made by the project's writer,
// and on broken ones.
#include "utility/GigaNameReader.h"

#include "support/TestSupport.h"
#include "utility/UtilityTestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using gigtools::Bytes;
using gigtools::RiffNode;
using utiltest::NamedBank;
using utiltest::TextBytes;
using utiltest::TopInfo;

class Collector : public GigaNameReader {
public:
    std::vector<std::string> names;
    std::vector<int> positions;
    std::vector<std::string> keywords;

protected:
    void OnKeyword(const char* keyword) override { keywords.push_back(keyword); }
    void OnInstrument(const char* name, int position) override
    {
        names.push_back(name);
        positions.push_back(position);
    }
};

class GigaNameReaderTest : public ::testing::Test {
protected:
    int Read(const Bytes& bytes)
    {
        std::string path = m_dir.File("bank.gig");
        EXPECT_TRUE(gigtools::WriteBytes(path, bytes));
        return m_reader.ReadGigaFile(path.c_str());
    }
    int Read(const RiffNode& tree) { return Read(tree.Serialize()); }

    kivtest::TempDir m_dir;
    Collector m_reader;
};

TEST_F(GigaNameReaderTest, ReadsEveryNameInFileOrderWithItsPosition)
{
    EXPECT_EQ(Read(NamedBank({"Grand Piano", "Soft Piano", "Pad"}).Build()), GigaNameReader::kRead);
    EXPECT_EQ(m_reader.names, (std::vector<std::string>{"Grand Piano", "Soft Piano", "Pad"}));
    EXPECT_EQ(m_reader.positions, (std::vector<int>{0, 1, 2}));
    EXPECT_TRUE(m_reader.keywords.empty());
}

TEST_F(GigaNameReaderTest, AnInstrumentWithoutNameKeepsItsPlaceAndCountsTowardsColh)
{
    // The engine loads by the place of the "ins " list: a search hit must
    // give the same place, named instruments before it or not.
    RiffNode tree = NamedBank({"First", "Second", "Third", "Fourth"}).BuildTree();
    std::vector<RiffNode*> instruments = tree.FindAll("LIST", "ins ");
    ASSERT_EQ(instruments.size(), 4u);
    for (int unnamed : {0, 2}) {
        auto& parts = instruments[unnamed]->Children();
        std::erase_if(parts, [](const RiffNode& part) { return part.Type() == "INFO"; });
    }
    tree.Find("colh")->Data() = {3, 0, 0, 0};
    EXPECT_EQ(Read(tree), GigaNameReader::kRead);
    EXPECT_EQ(m_reader.names, (std::vector<std::string>{"Second"}));
    EXPECT_EQ(m_reader.positions, (std::vector<int>{1}));

    // A name chunk that holds nothing to show names nothing either.
    m_reader.names.clear();
    m_reader.positions.clear();
    EXPECT_EQ(Read(NamedBank({"", "Two", "   ", "\x80\xFF", "Five"}).Build()), GigaNameReader::kRead);
    EXPECT_EQ(m_reader.names, (std::vector<std::string>{"Two", "Five"}));
    EXPECT_EQ(m_reader.positions, (std::vector<int>{1, 4}));
}

TEST_F(GigaNameReaderTest, NamesGetApostropheForB4AndBlankForOtherHighBytes)
{
    EXPECT_EQ(Read(NamedBank({"Don\xB4t", "Caf\xE9 Bass", "\xC0\xB4"}).Build()), GigaNameReader::kRead);
    EXPECT_EQ(m_reader.names, (std::vector<std::string>{"Don't", "Caf  Bass", " '"}));
}

TEST_F(GigaNameReaderTest, ColhCountLimitsTheNamesRead)
{
    RiffNode tree = NamedBank({"One", "Two", "Three"}).BuildTree();
    tree.Find("colh")->Data() = {2, 0, 0, 0};
    EXPECT_EQ(Read(tree), GigaNameReader::kRead);
    EXPECT_EQ(m_reader.names, (std::vector<std::string>{"One", "Two"}));
}

TEST_F(GigaNameReaderTest, KeywordIsTheFirstNonEmptyIkeyStoredAsRead)
{
    RiffNode tree = NamedBank({"Keys"}).BuildTree();
    RiffNode* info = TopInfo(tree);
    ASSERT_NE(info, nullptr);
    // An odd-sized chunk first: its pad byte must not derail the search.
    info->Add(RiffNode::Chunk("ISFT", TextBytes("odd")));
    info->Add(RiffNode::Chunk("IKEY", {}));
    info->Add(RiffNode::Chunk("IKEY", TextBytes("piano; caf\xE9")));
    info->Add(RiffNode::Chunk("IKEY", TextBytes("second")));
    EXPECT_EQ(Read(tree), GigaNameReader::kRead);
    EXPECT_EQ(m_reader.keywords, (std::vector<std::string>{"piano; caf\xE9"}));
    EXPECT_EQ(m_reader.names, (std::vector<std::string>{"Keys"}));
}

TEST_F(GigaNameReaderTest, OddSizedNamesAndOverlongTextsKeepTheWalkInStep)
{
    std::string longName(700, 'n');
    RiffNode tree = NamedBank({"Ab", longName, "Last"}).BuildTree();
    RiffNode* info = TopInfo(tree);
    ASSERT_NE(info, nullptr);
    info->Add(RiffNode::Chunk("IKEY", TextBytes(std::string(900, 'k'))));
    EXPECT_EQ(Read(tree), GigaNameReader::kRead);
    ASSERT_EQ(m_reader.names.size(), 3u);
    EXPECT_EQ(m_reader.names[0], "Ab");
    EXPECT_EQ(m_reader.names[1], std::string(511, 'n'));
    EXPECT_EQ(m_reader.names[2], "Last");
    ASSERT_EQ(m_reader.keywords.size(), 1u);
    EXPECT_EQ(m_reader.keywords[0], std::string(511, 'k'));
}

TEST_F(GigaNameReaderTest, ResultCodesOfFilesThatListNothing)
{
    EXPECT_EQ(m_reader.ReadGigaFile(m_dir.File("missing.gig").c_str()), GigaNameReader::kCannotOpen);
    EXPECT_EQ(m_reader.ReadGigaFile(m_dir.Path().c_str()), GigaNameReader::kCannotOpen) << "a folder";

    EXPECT_EQ(Read(RiffNode::Riff("WAVE", {RiffNode::Chunk("data", {1, 2})})), GigaNameReader::kNotDls);
    EXPECT_EQ(Read(Bytes{'R', 'I', 'F'}), GigaNameReader::kNotDls);

    Bytes cut = NamedBank({"A"}).Build();
    cut.resize(cut.size() - 10);
    EXPECT_EQ(Read(cut), GigaNameReader::kTruncated);

    EXPECT_EQ(Read(NamedBank({}).Build()), GigaNameReader::kNoInstruments);

    RiffNode empty = NamedBank({}).BuildTree();
    empty.Find("colh")->Data() = {1, 0, 0, 0};
    EXPECT_EQ(Read(empty), GigaNameReader::kEmptyList);

    RiffNode shortColh = NamedBank({"A"}).BuildTree();
    shortColh.Find("colh")->Data() = {0, 0};  // too short to hold a count: no limit
    EXPECT_EQ(Read(shortColh), GigaNameReader::kRead);
    EXPECT_EQ(m_reader.names, (std::vector<std::string>{"A"}));
}

TEST_F(GigaNameReaderTest, MalformedChunkEndsTheReadingKeepingNamesBefore)
{
    RiffNode tree = NamedBank({"First", "Second"}).BuildTree();
    auto instruments = tree.FindAll("LIST", "ins ");
    ASSERT_EQ(instruments.size(), 2u);
    instruments[1]->rawId = std::string("LI\x01T", 4);
    EXPECT_EQ(Read(tree), GigaNameReader::kMalformed);
    EXPECT_EQ(m_reader.names, (std::vector<std::string>{"First"}));
}

}  // namespace
