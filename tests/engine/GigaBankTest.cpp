// Bank opening (table of contents) and the sample list, on banks written by
// the test writer, including deliberately broken ones.
#include <gtest/gtest.h>

#include <filesystem>

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "engine/GigaBank.h"
#include "gig/GigWriter.h"
#include "support/TestSupport.h"

using namespace gigtools;

namespace {

GigBuilder SimpleBank(int instruments = 2, int samples = 2)
{
    GigBuilder b;
    for (int s = 0; s < samples; ++s)
        b.AddSample(GigSample::Tone(kivtest::Numbered("s", s), 1, 16, 44100, 60, 1000));
    for (int i = 0; i < instruments; ++i) {
        GigInstrument ins("Inst " + std::to_string(i));
        ins.regions.push_back(GigRegion::Single(0, 127, i % samples));
        b.AddInstrument(ins);
    }
    return b;
}

std::string Save(const kivtest::TempDir& dir, const Bytes& bytes, const std::string& name = "bank.gig")
{
    const std::string path = dir.File(name);
    EXPECT_TRUE(WriteBytes(path, bytes));
    return path;
}

std::string Save(const kivtest::TempDir& dir, const RiffNode& tree, const std::string& name = "bank.gig")
{
    Bytes bytes = tree.Serialize();
    if (bytes.size() < 3000)
        bytes.resize(3000, 0);
    return Save(dir, bytes, name);
}

}  // namespace

TEST(GigaBankOpen, ReadsTheTableOfContents)
{
    kivtest::TempDir dir;
    GigBuilder b = SimpleBank(3, 2);
    b.Instrument(1).name = std::string("Bob") + char(0xB4) + "s " + char(0xE9) + "tude";
    b.Instrument(2).bendRange = 12;
    b.Instrument(2).fineTune = -7;
    b.Instrument(2).keySwitchLow = 24;
    b.Instrument(2).keySwitchHigh = 27;
    GigaBank bank;
    ASSERT_TRUE(bank.Open(Save(dir, b.Build("bank")).c_str()));
    EXPECT_EQ(bank.GetVersion(), 3);
    EXPECT_EQ(bank.GetProgramCount(), 3);
    EXPECT_EQ(bank.GetSampleCount(), 2);
    EXPECT_STREQ(bank.GetFileName(), "bank.gig");
    EXPECT_STREQ(bank.GetProgram(0)->GetName(), "Inst 0");
    EXPECT_STREQ(bank.GetProgram(1)->GetName(), "Bob's  tude");
    EXPECT_EQ(bank.GetProgram(2)->bendRange, 12);
    EXPECT_EQ(bank.GetProgram(2)->fineTune, -7);
    EXPECT_EQ(bank.GetProgram(2)->keySwitchLow, 24);
    EXPECT_EQ(bank.GetProgram(2)->keySwitchHigh, 27);
    EXPECT_EQ(bank.GetProgram(2)->index, 2);
    EXPECT_FALSE(bank.HasSampleList());
    EXPECT_GT(bank.GetWavePoolOffset(), 0);
}

TEST(GigaBankOpen, WithoutVersionChunkIsVersionOne)
{
    kivtest::TempDir dir;
    GigBuilder b = SimpleBank();
    b.writeVers = false;
    b.version = 2;
    GigaBank bank;
    ASSERT_TRUE(bank.Open(Save(dir, b.Build()).c_str()));
    EXPECT_EQ(bank.GetVersion(), 1);
}

TEST(GigaBankOpen, NameOnlyFromFirstInfoChunk)
{
    kivtest::TempDir dir;
    RiffNode tree = SimpleBank(1, 1).BuildTree();
    RiffNode* info = tree.Find("LIST", "INFO");  // the bank's own INFO comes later
    for (RiffNode* ins : tree.FindAll("LIST", "ins ")) {
        RiffNode* i = ins->Find("LIST", "INFO");
        ASSERT_NE(i, nullptr);
        i->Children().insert(i->Children().begin(), RiffNode::Chunk("ICMT", Bytes(4, 'x')));
    }
    (void)info;
    GigaBank bank;
    ASSERT_TRUE(bank.Open(Save(dir, tree).c_str()));
    EXPECT_STREQ(bank.GetProgram(0)->GetName(), "");
}

TEST(GigaBankOpen, SingleRegionOnKey12FlaggedOnlyWithSeveralInstruments)
{
    kivtest::TempDir dir;
    for (int count : {1, 2}) {
        GigBuilder b = SimpleBank(count, 1);
        b.Instrument(0).regions[0].low = 12;
        b.Instrument(0).regions[0].high = 12;
        GigaBank bank;
        ASSERT_TRUE(bank.Open(Save(dir, b.Build()).c_str()));
        EXPECT_EQ(bank.GetProgram(0)->singleRegion, count > 1);
    }
}

TEST(GigaBankOpen, RefusesFilesThatAreNotUsableBanks)
{
    kivtest::TempDir dir;
    GigaBank bank;
    EXPECT_FALSE(bank.Open(dir.File("missing.gig").c_str()));
    EXPECT_FALSE(bank.Open(Save(dir, Bytes(2999, 0)).c_str()));
    EXPECT_FALSE(bank.Open(Save(dir, RiffNode::Riff("WAVE", {RiffNode::Chunk("ptbl", Bytes(8, 1))})).c_str()));
    EXPECT_FALSE(bank.Open(std::string(500, 'a').c_str()));

    RiffNode noSamples = SimpleBank().BuildTree();
    Bytes& ptbl = noSamples.Find("ptbl")->Data();
    std::memset(ptbl.data() + 4, 0, 4);
    EXPECT_FALSE(bank.Open(Save(dir, noSamples).c_str()));

    // Counts the file cannot hold.
    RiffNode hugeColh = SimpleBank().BuildTree();
    std::memset(hugeColh.Find("colh")->Data().data(), 0xFF, 4);
    EXPECT_FALSE(bank.Open(Save(dir, hugeColh).c_str()));
    RiffNode hugePtbl = SimpleBank().BuildTree();
    std::memset(hugePtbl.Find("ptbl")->Data().data() + 4, 0xFF, 4);
    EXPECT_FALSE(bank.Open(Save(dir, hugePtbl).c_str()));
}

TEST(GigaBankOpen, InstrumentsBeforeCountOrASecondCountAreErrors)
{
    kivtest::TempDir dir;
    GigaBank bank;
    RiffNode early = SimpleBank().BuildTree();
    auto& kids = early.Children();
    auto colh = std::find_if(kids.begin(), kids.end(), [](const RiffNode& n) { return n.Id() == "colh"; });
    RiffNode moved = *colh;
    kids.erase(colh);
    kids.push_back(moved);
    EXPECT_FALSE(bank.Open(Save(dir, early).c_str()));

    RiffNode twice = SimpleBank().BuildTree();
    RiffNode second = *twice.Find("colh");
    twice.Children().push_back(second);
    EXPECT_FALSE(bank.Open(Save(dir, twice).c_str()));

    // More instruments than announced: the extra ones are not read.
    RiffNode more = SimpleBank(3, 1).BuildTree();
    more.Find("colh")->Data()[0] = 2;
    ASSERT_TRUE(bank.Open(Save(dir, more).c_str()));
    EXPECT_EQ(bank.GetProgramCount(), 2);
}

TEST(GigaBankOpen, ReopeningResetsEveryField)
{
    kivtest::TempDir dir;
    GigBuilder big = SimpleBank(3, 2);
    GigBuilder small = SimpleBank(1, 1);
    small.writeVers = false;
    GigaBank bank;
    ASSERT_TRUE(bank.Open(Save(dir, big.Build(), "a.gig").c_str()));
    ASSERT_TRUE(bank.LoadSampleList());
    GigaProgram* p = bank.LoadProgram(0, nullptr);
    ASSERT_NE(p, nullptr);
    p->Release();
    ASSERT_TRUE(bank.Open(Save(dir, small.Build(), "b.gig").c_str()));
    EXPECT_EQ(bank.GetProgramCount(), 1);
    EXPECT_EQ(bank.GetSampleCount(), 1);
    EXPECT_EQ(bank.GetVersion(), 1);
    EXPECT_FALSE(bank.HasSampleList());
    EXPECT_STREQ(bank.GetFileName(), "b.gig");
    EXPECT_FALSE(bank.Open(dir.File("none.gig").c_str()));
    EXPECT_EQ(bank.GetProgramCount(), 0);
}

TEST(GigaBankOpen, MalformedChunkAfterThePoolKeepsTheBank)
{
    kivtest::TempDir dir;
    RiffNode tree = SimpleBank().BuildTree();
    RiffNode bad = RiffNode::Chunk("b@d!", Bytes(4, 0));
    tree.Children().push_back(bad);
    GigaBank bank;
    EXPECT_TRUE(bank.Open(Save(dir, tree).c_str()));
    EXPECT_EQ(bank.GetSampleCount(), 2);
}

TEST(GigaBankSampleList, ReadsFormatsLoopsAndCompression)
{
    kivtest::TempDir dir;
    GigBuilder b;
    GigSample looped = GigSample::Tone("loop", 2, 24, 48000, 62, 3000);
    looped.loop = {true, 100, 99999};  // end past the sample: cut to the last frame
    b.AddSample(looped);
    GigSample backwards = GigSample::Tone("back", 1, 16, 44100, 60, 3000);
    backwards.loop = {true, 5000, 99999};  // the cut end lies before its start: no loop
    b.AddSample(backwards);
    GigSample packed = GigSample::Tone("packed", 2, 16, 44100, 60, 2048 * 5 / 2);
    packed.compressed = true;
    b.AddSample(packed);
    GigSample tuned = GigSample::Tone("tuned", 1, 16, 44100, 70, 500);
    tuned.pitchFraction = 0x40000000u;  // a quarter of a semitone: 25 cents
    b.AddSample(tuned);
    GigInstrument ins("x");
    ins.regions.push_back(GigRegion::Single(0, 127, 0));
    b.AddInstrument(ins);

    GigaBank bank;
    ASSERT_TRUE(bank.Open(Save(dir, b.Build()).c_str()));
    ASSERT_TRUE(bank.LoadSampleList());
    ASSERT_EQ(bank.GetFileCount(), 1);
    const GigaSample& s0 = *bank.GetSample(0);
    EXPECT_EQ(s0.channels, 2);
    EXPECT_EQ(s0.bits, 24);
    EXPECT_EQ(s0.sampleRate, 48000);
    EXPECT_EQ(s0.frames, 3000);
    EXPECT_EQ(s0.unityNote, 62);
    EXPECT_TRUE(s0.looped);
    EXPECT_EQ(s0.loopStart, 100);
    EXPECT_EQ(s0.loopEnd, 2999);
    EXPECT_FALSE(bank.GetSample(1)->looped);
    const GigaSample& s2 = *bank.GetSample(2);
    EXPECT_EQ(s2.frameSize, 2048);
    EXPECT_EQ(s2.frames % 1024, 0);
    EXPECT_GE(s2.frames, 2048 * 5 / 2);
    EXPECT_EQ(bank.GetSample(3)->fineTune, 25);
    EXPECT_EQ(bank.GetGigaFile(0)->GetStreamPool() != nullptr, true);
}

TEST(GigaBankSampleList, UnreadableFormatsMakeSamplesUnusable)
{
    kivtest::TempDir dir;
    // Channels 0 or 3, a rate of 0 or 1 Hz, bits 8 or 0, 16-bit data declared
    // 24-bit, channels and bits both 65535 (their product passes a 32-bit
    // int), a format cut short, no format at all (-1). Each patch: the 16-bit
    // fields it sets.
    using Patch = std::vector<std::pair<int, int>>;
    for (const Patch& patch : {Patch{{2, 0}}, Patch{{2, 3}}, Patch{{4, 0}}, Patch{{4, 1}}, Patch{{14, 8}},
                               Patch{{14, 0}}, Patch{{14, 24}}, Patch{{2, 65535}, {14, 65535}}, Patch{{0, 0}},
                               Patch{{-1, 0}}}) {
        RiffNode tree = SimpleBank(1, 1).BuildTree();
        Bytes& fmt = tree.Find("fmt ")->Data();
        if (patch[0].first > 0) {
            for (const auto& [at, value] : patch) {
                fmt[at] = static_cast<uint8_t>(value & 0xFF);
                fmt[at + 1] = static_cast<uint8_t>(value >> 8);
            }
        } else if (patch[0].first == 0) {
            fmt.resize(14);
        } else {
            tree.Find("fmt ")->rawId = "junk";
        }
        GigaBank bank;
        ASSERT_TRUE(bank.Open(Save(dir, tree).c_str()));
        ASSERT_TRUE(bank.LoadSampleList());
        EXPECT_FALSE(bank.GetSample(0)->IsUsable());
        EXPECT_EQ(bank.GetSample(0)->frames, 0);
        GigaProgram* p = bank.LoadProgram(0, nullptr);
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(p->GetRegion(0)->GetZone(0)->GetSample(), nullptr);
        EXPECT_EQ(p->unusableSamples, 1) << patch[0].first << " " << patch[0].second;
        p->Release();
    }
}

TEST(GigaBankSampleList, ExtensionFilesJoinThePool)
{
    kivtest::TempDir dir;
    GigBuilder b = SimpleBank(1, 2);
    GigSample ext = GigSample::Tone("ext", 1, 16, 44100, 64, 700);
    ext.file = 1;
    b.AddSample(ext);
    // Any path the system opens: also one far longer than 400 bytes.
    std::string deep = dir.Path();
    for (char c : {'a', 'b', 'c'})
        deep += "/" + std::string(150, c);
    std::filesystem::create_directories(deep);
    for (const std::string& folder : {dir.Path(), deep}) {
        ASSERT_TRUE(b.Write(folder + "/ext.gig"));
        GigaBank bank;
        ASSERT_TRUE(bank.Open((folder + "/ext.gig").c_str())) << folder.size();
        EXPECT_STREQ(bank.GetFileName(), "ext.gig");
        EXPECT_EQ(bank.GetSampleCount(), 3);
        ASSERT_TRUE(bank.LoadSampleList());
        ASSERT_EQ(bank.GetFileCount(), 2);
        EXPECT_TRUE(bank.GetGigaFile(1)->IsOpen());
        EXPECT_EQ(bank.GetSample(b.PoolIndex(2))->frames, 700);
        EXPECT_EQ(bank.GetSample(b.PoolIndex(2))->file, bank.GetGigaFile(1));
    }
}

TEST(GigaBankSampleList, ExtensionNamesWithoutEndOrMissingFilesAreSkipped)
{
    kivtest::TempDir dir;
    GigBuilder b = SimpleBank(1, 1);
    GigSample ext = GigSample::Tone("ext", 1, 16, 44100, 64, 700);
    ext.file = 1;
    b.AddSample(ext);
    RiffNode tree = b.BuildTree("ext");
    Bytes& xfil = tree.Find("xfil")->Data();
    ASSERT_GE(xfil.size(), 4u + 128u);
    std::memset(xfil.data() + 4, 'a', 128);  // no NUL in the name
    GigaBank bank;
    ASSERT_TRUE(bank.Open(Save(dir, tree, "ext.gig").c_str()));
    ASSERT_TRUE(bank.LoadSampleList());
    EXPECT_FALSE(bank.GetGigaFile(1)->IsOpen());
    EXPECT_EQ(bank.GetGigaFile(1)->GetStreamPool(), nullptr);  // nothing to stream from
    EXPECT_EQ(bank.GetSample(1)->frames, 0);

    // A count far beyond what the chunk holds reads only what the file holds,
    // and the files that hold no samples get no streams.
    std::memset(xfil.data(), 0xFF, 4);
    ASSERT_TRUE(bank.Open(Save(dir, tree, "ext2.gig").c_str()));
    ASSERT_TRUE(bank.LoadSampleList());
    EXPECT_LT(bank.GetFileCount(), 100);
    EXPECT_NE(bank.GetGigaFile(0)->GetStreamPool(), nullptr);
    for (int k = 1; k < bank.GetFileCount(); ++k)
        EXPECT_EQ(bank.GetGigaFile(k)->GetStreamPool(), nullptr) << k;
}

TEST(GigaConversions, TimeGainAndControllers)
{
    EXPECT_EQ(giga::TimeToSeconds(INT32_MIN), 0.0f);
    EXPECT_EQ(giga::TimeToSeconds(0), 1.0f);
    EXPECT_NEAR(giga::TimeToSeconds(78643200), 2.0f, 1e-6);
    EXPECT_EQ(giga::GainFromDb(0.0f), 1.0f);
    EXPECT_EQ(giga::GainFromDb(3.0f), 1.0f);
    EXPECT_NEAR(giga::GainFromDb(-1.0f), 0.99f, 1e-6);
    EXPECT_NEAR(giga::GainFromDb(-20.0f), 0.1234f, 1e-6);
    EXPECT_EQ(giga::MapController(0), 64);
    EXPECT_EQ(giga::MapController(22), 95);
    EXPECT_EQ(giga::MapController(127), 130);
    EXPECT_EQ(giga::MapController(23), 0);
    EXPECT_EQ(giga::ControllerFromByte(2 * 1 + 1), 1);
    EXPECT_EQ(giga::ControllerFromByte(2), 0);
}

TEST(GigaBankSampleList, CompressedFrameCountFieldGivesTheFrames)
{
    kivtest::TempDir dir;
    GigBuilder b;
    GigSample packed = GigSample::Tone("packed", 2, 16, 44100, 60, 2048 * 3);
    packed.compressed = true;
    b.AddSample(packed);
    GigInstrument ins("x");
    ins.regions.push_back(GigRegion::Single(0, 127, 0));
    b.AddInstrument(ins);
    RiffNode tree = b.BuildTree();
    Bytes& ewav = tree.Find("ewav")->Data();
    ASSERT_EQ(ewav[8] | (ewav[9] << 8), 2048);
    // Field 7 (above 5: two less) with two channels: 2048 x 5 / 2 frames.
    for (int field : {7, 5}) {
        ewav[12] = static_cast<uint8_t>(field);
        ewav[13] = ewav[14] = ewav[15] = 0;
        GigaBank bank;
        ASSERT_TRUE(bank.Open(Save(dir, tree).c_str()));
        ASSERT_TRUE(bank.LoadSampleList());
        EXPECT_EQ(bank.GetSample(0)->frames, 5120) << field;
    }
    // A field that claims more frames than the data can hold is cut to the data.
    ewav[12] = ewav[13] = 0xFF;
    GigaBank bank;
    ASSERT_TRUE(bank.Open(Save(dir, tree).c_str()));
    ASSERT_TRUE(bank.LoadSampleList());
    EXPECT_LE(bank.GetSample(0)->frames, bank.GetSample(0)->dataSize / 2);
}
