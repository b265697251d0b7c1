// Program loading: regions, dimension trees and their walk, the preload
// rules, reference counts and failed loads.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/GigaBank.h"
#include "engine/GigaStreamConstants.h"
#include "gig/GigWriter.h"
#include "support/TestSupport.h"

using namespace gigtools;

namespace {

class RecordingSink : public GigaLoadSink {
public:
    void SetState(int state) override { states.push_back(state); }
    void ReportProgress(int done, int total) override { lastDone = done, lastTotal = total; }
    std::vector<int> states;
    int lastDone = 0;
    int lastTotal = 0;
};

class CountingBudget : public GigaMemoryBudget {
public:
    bool Reserve(int64_t mb) override
    {
        if (used + mb > budget)
            return false;
        used += mb;
        return true;
    }
    void Release(int64_t mb) override { used -= mb; }
    int64_t budget = 1 << 20;
    int64_t used = 0;
};

class DiskUsers : public GigaDiskUsers {
public:
    void AddUser() override { ++users; }
    void RemoveUser() override { --users; }
    int users = 0;
};

// A region over all keys whose zones play samples 0..n-1 by dimension.
GigRegion DimRegion(uint8_t code, int bits, int firstSample, std::vector<uint8_t> limits = {})
{
    GigRegion r;
    r.dims.push_back({code, static_cast<uint8_t>(bits), limits});
    for (int z = 0; z < (1 << bits); ++z) {
        GigZone zone;
        zone.sample = firstSample + z;
        r.zones.push_back(zone);
    }
    return r;
}

GigBuilder ToneBank(int samples, uint32_t frames = 1000)
{
    GigBuilder b;
    for (int s = 0; s < samples; ++s)
        b.AddSample(GigSample::Tone(kivtest::Numbered("s", s), 1, 16, 44100, 60, frames));
    return b;
}

class GigaProgramLoad : public ::testing::Test {
protected:
    void SetUp() override
    {
        GigaHooks::SetBudget(&budget);
        GigaHooks::SetDiskUsers(&disk);
        GigaHooks::SetPreloadSeconds(1.0f, 3.0f);
    }
    void TearDown() override
    {
        GigaHooks::SetBudget(nullptr);
        GigaHooks::SetDiskUsers(nullptr);
    }
    std::string Save(const GigBuilder& b, const std::string& name = "bank.gig")
    {
        const std::string path = dir.File(name);
        EXPECT_TRUE(b.Write(path));
        return path;
    }
    std::string Save(const RiffNode& tree, const std::string& name = "bank.gig")
    {
        Bytes bytes = tree.Serialize();
        const std::string path = dir.File(name);
        EXPECT_TRUE(WriteBytes(path, bytes));
        return path;
    }
    int ZoneOf(GigaRegion& region, GigaWalkInput in)
    {
        GigaWalkResult res;
        region.Walk(in, res);
        if (res.count != 1)
            return -1;
        for (int z = 0; z < region.GetZoneCount(); ++z) {
            if (region.GetZone(z) == res.zones[0])
                return z;
        }
        return -1;
    }

    kivtest::TempDir dir;
    CountingBudget budget;
    DiskUsers disk;
};

}  // namespace

TEST_F(GigaProgramLoad, VelocitySplitsChooseZonesByEvenLimits)
{
    GigBuilder b = ToneBank(4);
    GigInstrument ins("vel");
    ins.regions.push_back(DimRegion(0x82, 2, 0));
    b.AddInstrument(ins);
    GigaBank bank;
    ASSERT_TRUE(bank.Open(Save(b).c_str()));
    GigaProgram* p = bank.LoadProgram(0, nullptr);
    ASSERT_NE(p, nullptr);
    GigaRegion& r = *p->GetRegionForKey(60);
    ASSERT_EQ(r.GetZoneCount(), 4);
    const int velocities[] = {31, 32, 63, 64, 95, 96, 127};
    const int zones[] = {0, 1, 1, 2, 2, 3, 3};
    for (int i = 0; i < 7; ++i) {
        GigaWalkInput in;
        in.velocity = velocities[i];
        EXPECT_EQ(ZoneOf(r, in), zones[i]) << "velocity " << velocities[i];
    }
    EXPECT_TRUE(p->HasDimension(0x82));
    p->Release();
}

TEST_F(GigaProgramLoad, FileLimitsLeavingTopValuesUncoveredStayInTheGroup)
{
    GigBuilder b = ToneBank(4);
    GigInstrument ins("lim");
    ins.regions.push_back(DimRegion(0x01, 2, 0, {10, 20, 30, 40}));  // mod wheel, top 41..127 uncovered
    b.AddInstrument(ins);
    GigaBank bank;
    ASSERT_TRUE(bank.Open(Save(b).c_str()));
    GigaProgram* p = bank.LoadProgram(0, nullptr);
    ASSERT_NE(p, nullptr);
    GigaRegion& r = *p->GetRegion(0);
    int32_t controllers[128] = {};
    GigaWalkInput in;
    in.controllers = controllers;
    in.controllerCount = 128;
    for (int v : {0, 10, 11, 25, 40, 41, 127}) {
        controllers[1] = v;
        const int expect = v <= 10 ? 0 : v <= 20 ? 1 : v <= 30 ? 2 : 3;
        EXPECT_EQ(ZoneOf(r, in), expect) << v;
    }
    p->Release();
}

TEST_F(GigaProgramLoad, AllZeroFileLimitsKeepEvenSplits)
{
    GigBuilder b = ToneBank(4);
    GigInstrument ins("rr");
    ins.regions.push_back(DimRegion(0x86, 2, 0));
    b.AddInstrument(ins);
    GigaBank bank;
    ASSERT_TRUE(bank.Open(Save(b).c_str()));
    GigaProgram* p = bank.LoadProgram(0, nullptr);
    ASSERT_NE(p, nullptr);
    GigaRegion& r = *p->GetRegion(0);
    GigaWalkInput in;
    std::vector<int> played;
    for (int i = 0; i < 5; ++i)
        played.push_back(ZoneOf(r, in));
    EXPECT_EQ(played, (std::vector<int>{0, 1, 2, 3, 0}));
    p->Release();
}

TEST_F(GigaProgramLoad, LayersPlayEveryNodeAndStereoSkipsRightRecords)
{
    GigBuilder b;
    b.AddSample(GigSample::Tone("l0", 2, 16, 44100, 60, 1000));
    b.AddSample(GigSample::Tone("l1", 2, 16, 44100, 60, 1000));
    GigInstrument ins("layer");
    GigRegion r = DimRegion(0x81, 1, 0);
    r.stereo = true;
    ins.regions.push_back(r);
    b.AddInstrument(ins);
    GigaBank bank;
    ASSERT_TRUE(bank.Open(Save(b).c_str()));
    GigaProgram* p = bank.LoadProgram(0, nullptr);
    ASSERT_NE(p, nullptr);
    GigaRegion& region = *p->GetRegion(0);
    EXPECT_EQ(region.sampleChannelSlot, 0);
    ASSERT_EQ(region.GetZoneCount(), 2);
    EXPECT_EQ(region.GetZone(0)->waveIndex, 0);  // records 0 and 2
    EXPECT_EQ(region.GetZone(1)->waveIndex, 1);
    GigaWalkResult res;
    region.Walk(GigaWalkInput{}, res);
    EXPECT_TRUE(res.layered);
    ASSERT_EQ(res.count, 2);
    EXPECT_EQ(res.zones[0], region.GetZone(0));
    EXPECT_EQ(res.zones[1], region.GetZone(1));
    p->Release();
}

TEST_F(GigaProgramLoad, ReleaseTriggerWalksByItsControllerValue)
{
    GigBuilder b = ToneBank(2);
    GigInstrument ins("rt");
    ins.regions.push_back(DimRegion(0x84, 1, 0));
    b.AddInstrument(ins);
    GigaBank bank;
    ASSERT_TRUE(bank.Open(Save(b).c_str()));
    GigaProgram* p = bank.LoadProgram(0, nullptr);
    ASSERT_NE(p, nullptr);
    GigaRegion& r = *p->GetRegion(0);
    EXPECT_TRUE(r.releaseTrigger);
    int32_t controllers[256] = {};
    GigaWalkInput in;
    in.controllers = controllers;
    in.controllerCount = 256;
    EXPECT_EQ(ZoneOf(r, in), 0);
    controllers[0x84] = 127;
    EXPECT_EQ(ZoneOf(r, in), 1);
    p->Release();
}

TEST_F(GigaProgramLoad, KeySwitchRangeKeptOnlyWithKeySwitchDimension)
{
    GigBuilder b = ToneBank(2);
    GigInstrument ks("ks");
    ks.keySwitchLow = 24;
    ks.keySwitchHigh = 25;
    ks.regions.push_back(DimRegion(0x85, 1, 0));
    b.AddInstrument(ks);
    GigInstrument plain("plain");
    plain.keySwitchLow = 24;
    plain.keySwitchHigh = 25;
    plain.regions.push_back(GigRegion::Single(0, 127, 0));
    b.AddInstrument(plain);
    GigaBank bank;
    ASSERT_TRUE(bank.Open(Save(b).c_str()));
    GigaProgram* a = bank.LoadProgram(0, nullptr);
    GigaProgram* c = bank.LoadProgram(1, nullptr);
    ASSERT_TRUE(a && c);
    EXPECT_EQ(a->keySwitchLow, 24);
    EXPECT_EQ(a->keySwitchHigh, 25);
    EXPECT_EQ(c->keySwitchLow, 0);
    EXPECT_EQ(c->keySwitchHigh, 0);
    a->Release();
    c->Release();
}

TEST_F(GigaProgramLoad, PreloadKeepsShortAndLoopedSamplesWholeAndHeadsOfLongOnes)
{
    GigBuilder b;
    const uint32_t thirty = 44100 * 30;
    GigSample looped = GigSample::Tone("loop", 1, 16, 44100, 60, thirty);
    looped.loop = {true, 1000, 2000};
    b.AddSample(looped);
    b.AddSample(GigSample::Tone("long", 1, 16, 44100, 60, thirty));
    b.AddSample(GigSample::Tone("edge", 1, 16, 44100, 60, 44100 * 3));
    GigSample packed = GigSample::Tone("packed", 2, 16, 44100, 60, 44100 * 5);
    packed.compressed = true;
    b.AddSample(packed);
    b.AddSample(GigSample::Tone("tiny", 1, 16, 44100, 60, 127));
    // At 1500 Hz a second is less than one compressed frame: the head keeps
    // one whole frame rather than none.
    GigSample slow = GigSample::Tone("slow", 1, 16, 1500, 60, 2048 * 4);
    slow.compressed = true;
    b.AddSample(slow);
    GigInstrument ins("pre");
    for (int i = 0; i < 6; ++i)
        ins.regions.push_back(GigRegion::Single(i * 10, i * 10 + 9, i));
    b.AddInstrument(ins);
    GigaBank bank;
    ASSERT_TRUE(bank.Open(Save(b).c_str()));
    RecordingSink sink;
    GigaProgram* p = bank.LoadProgram(0, &sink);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(sink.states, (std::vector<int>{giga::kToneReadingSamples, giga::kToneLoadingSamples}));
    EXPECT_EQ(sink.lastDone, 5);
    EXPECT_EQ(sink.lastTotal, 5);
    EXPECT_EQ(bank.GetSample(0)->framesInMemory, thirty);
    EXPECT_FALSE(bank.GetSample(0)->IsStreamed());
    EXPECT_EQ(bank.GetSample(1)->framesInMemory, 44100);
    EXPECT_TRUE(bank.GetSample(1)->IsStreamed());
    EXPECT_EQ(bank.GetSample(2)->framesInMemory, 44100 * 3);
    EXPECT_EQ(bank.GetSample(3)->framesInMemory, 43008);
    EXPECT_EQ(bank.GetSample(4)->memory, nullptr);
    EXPECT_EQ(p->GetRegion(4)->GetZone(0)->GetSample(), nullptr);
    EXPECT_EQ(bank.GetSample(5)->framesInMemory, 2048);
    EXPECT_TRUE(bank.GetSample(5)->IsStreamed());
    EXPECT_TRUE(p->streaming);
    EXPECT_EQ(p->sampleCount, 5);
    EXPECT_EQ(disk.users, 1);
    // The preloaded data is the file's data.
    ASSERT_NE(bank.GetSample(2)->GetLeft(), nullptr);
    EXPECT_EQ(bank.GetSample(2)->GetLeft()[100], static_cast<int16_t>(b.Sample(2).values[100]));
    EXPECT_EQ(bank.GetSample(1)->streamOffset, bank.GetSample(1)->dataOffset + 44100 * 2);
    p->Release();
    EXPECT_EQ(disk.users, 0);
    EXPECT_EQ(budget.used, 0);
}

TEST_F(GigaProgramLoad, SharedSamplesLoadUnloadAndReloadCleanly)
{
    GigBuilder b = ToneBank(3, 40000);
    for (int i = 0; i < 3; ++i) {
        GigInstrument ins("p" + std::to_string(i));
        ins.regions.push_back(GigRegion::Single(0, 59, i));
        ins.regions.push_back(GigRegion::Single(60, 127, (i + 1) % 3));
        b.AddInstrument(ins);
    }
    GigaBank bank;
    ASSERT_TRUE(bank.Open(Save(b).c_str()));
    for (int round = 0; round < 2; ++round) {
        GigaProgram* p[3];
        for (int i = 0; i < 3; ++i) {
            p[i] = bank.LoadProgram(i, nullptr);
            ASSERT_NE(p[i], nullptr);
        }
        GigaProgram* again = bank.LoadProgram(1, nullptr);
        EXPECT_EQ(again, p[1]);
        EXPECT_EQ(p[1]->GetUseCount(), 2);
        again->Release();
        EXPECT_EQ(bank.GetSample(1)->GetUseCount(), 2);
        for (int i = 0; i < 3; ++i)
            p[i]->Release();
        for (int i = 0; i < 3; ++i) {
            EXPECT_FALSE(bank.GetProgram(i)->IsLoaded());
            EXPECT_EQ(bank.GetSample(i)->GetUseCount(), 0);
            EXPECT_EQ(bank.GetMemory(i)->GetUserCount(), 0);
            EXPECT_FALSE(bank.GetMemory(i)->HasBlocks());
        }
        EXPECT_EQ(budget.used, 0);
    }
}

TEST_F(GigaProgramLoad, NotEnoughMemoryReportsStateFiveAndNextLoadReadsAfresh)
{
    GigBuilder b;
    GigSample looped = GigSample::Tone("big", 2, 16, 44100, 60, 44100 * 15);  // 2.5 MB, kept whole
    looped.loop = {true, 0, 44100 * 15 - 1};
    b.AddSample(looped);
    GigInstrument ins("big");
    ins.regions.push_back(GigRegion::Single(0, 127, 0));
    b.AddInstrument(ins);
    GigaBank bank;
    ASSERT_TRUE(bank.Open(Save(b).c_str()));
    budget.budget = 10;
    budget.used = 10;
    RecordingSink sink;
    testing::internal::CaptureStdout();
    EXPECT_EQ(bank.LoadProgram(0, &sink), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Error:  Not enough memory\r\n");
    EXPECT_EQ(sink.states.back(), giga::kToneNoMemory);
    EXPECT_FALSE(bank.GetProgram(0)->IsLoaded());
    EXPECT_EQ(bank.GetProgram(0)->GetUseCount(), 0);
    EXPECT_EQ(bank.GetSample(0)->GetUseCount(), 0);
    budget.used = 0;
    GigaProgram* p = bank.LoadProgram(0, nullptr);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->GetRegionCount(), 1);
    EXPECT_NE(p->GetRegion(0)->GetZone(0)->GetSample(), nullptr);
    EXPECT_EQ(bank.GetSample(0)->GetLeft()[5], static_cast<int16_t>(b.Sample(0).values[10]));
    EXPECT_EQ(bank.GetSample(0)->GetRight()[5], static_cast<int16_t>(b.Sample(0).values[11]));
    p->Release();
    EXPECT_EQ(budget.used, 0);
}

TEST_F(GigaProgramLoad, BadRegionFailsTheLoadAndLeavesTheProgramUnloaded)
{
    GigBuilder b = ToneBank(1);
    GigInstrument ins("two");
    ins.regions.push_back(GigRegion::Single(0, 59, 0));
    ins.regions.push_back(GigRegion::Single(60, 127, 0));
    b.AddInstrument(ins);
    RiffNode tree = b.BuildTree();
    std::vector<RiffNode*> regions = tree.FindAll("LIST", "rgn ");
    ASSERT_EQ(regions.size(), 2u);
    RiffNode& second = *regions[1];
    second = RiffNode::List("rgnX", second.Children());
    GigaBank bank;
    ASSERT_TRUE(bank.Open(Save(tree).c_str()));
    EXPECT_EQ(bank.LoadProgram(0, nullptr), nullptr);
    EXPECT_FALSE(bank.GetProgram(0)->IsLoaded());
    EXPECT_EQ(bank.GetSample(0)->GetUseCount(), 0);
    EXPECT_EQ(bank.LoadProgram(0, nullptr), nullptr);  // read again, fails again
    EXPECT_EQ(bank.LoadProgram(5, nullptr), nullptr);
    EXPECT_EQ(budget.used, 0);
}

TEST_F(GigaProgramLoad, MalformedChunkInARegionFailsCleanly)
{
    GigBuilder b = ToneBank(1);
    GigInstrument ins("bad");
    ins.regions.push_back(GigRegion::Single(0, 127, 0));
    b.AddInstrument(ins);
    RiffNode tree = b.BuildTree();
    tree.Find("LIST", "3prg")->Children()[0].Children()[0].rawId = "w$mp";
    GigaBank bank;
    ASSERT_TRUE(bank.Open(Save(tree).c_str()));
    EXPECT_EQ(bank.LoadProgram(0, nullptr), nullptr);
    EXPECT_FALSE(bank.HasSampleList());  // read during the failed load: dropped
    EXPECT_FALSE(bank.GetProgram(0)->IsLoaded());
    EXPECT_EQ(budget.used, 0);
}

TEST_F(GigaProgramLoad, WaveIndexPastTheSampleCountLeavesZoneSilent)
{
    GigBuilder b = ToneBank(1);
    GigInstrument ins("far");
    ins.regions.push_back(GigRegion::Single(0, 127, 0));
    b.AddInstrument(ins);
    RiffNode tree = b.BuildTree();
    Bytes& lnk = tree.Find("3lnk")->Data();
    const size_t at = 4 + 8 * 8;
    lnk[at] = 0x40;  // index 64 of a 1-sample pool
    GigaBank bank;
    ASSERT_TRUE(bank.Open(Save(tree).c_str()));
    GigaProgram* p = bank.LoadProgram(0, nullptr);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->GetRegion(0)->GetZone(0)->waveIndex, 64);
    EXPECT_EQ(p->GetRegion(0)->GetZone(0)->GetSample(), nullptr);
    p->Release();
}

TEST_F(GigaProgramLoad, SingleRegionInstrumentLoadsTheNextOneOnlyWhenItExists)
{
    GigBuilder b = ToneBank(2);
    GigInstrument first("first");
    first.regions.push_back(GigRegion::Single(12, 12, 0));
    b.AddInstrument(first);
    GigInstrument last("last");
    last.regions.push_back(GigRegion::Single(12, 12, 1));
    b.AddInstrument(last);
    GigaBank bank;
    ASSERT_TRUE(bank.Open(Save(b).c_str()));
    GigaProgram* p = bank.LoadProgram(0, nullptr);
    EXPECT_EQ(p, bank.GetProgram(1));
    GigaProgram* q = bank.LoadProgram(1, nullptr);  // flagged too, but nothing follows it
    EXPECT_EQ(q, bank.GetProgram(1));
    p->Release();
    q->Release();
}

TEST(GigaRegion, TooManyDimensionBitsAreRefused)
{
    GigaRegion r(nullptr);
    const uint8_t codes[3] = {0x80, 0x82, 0x86};
    const uint8_t bits[3] = {1, 4, 4};
    EXPECT_FALSE(r.BuildTree(codes, bits, 3));
    const uint8_t fewer[3] = {1, 4, 3};
    EXPECT_TRUE(r.BuildTree(codes, fewer, 3));
    EXPECT_EQ(r.GetZoneCount(), 128);
}

// A zone's limit bytes follow the dimensions in level order, after one for
// the sample channel when the region has that slot, wherever the slot is.
TEST(GigaRegion, LimitBytesAreTakenByLevel)
{
    struct Layout {
        std::vector<uint8_t> codes;
        std::vector<uint8_t> bits;
        int byte;  // where the velocity limits stand
    };
    const Layout layouts[] = {
        {{0x82}, {2}, 0},
        {{0x80, 0x82}, {1, 2}, 1},
        {{0x82, 0x80}, {2, 1}, 1},
        {{0x82, 0x00, 0x80}, {2, 0, 1}, 1},
    };
    const int limits[4] = {20, 50, 90, 127};
    for (const Layout& l : layouts) {
        GigaRegion r(nullptr);
        ASSERT_TRUE(r.BuildTree(l.codes.data(), l.bits.data(), static_cast<int>(l.codes.size())));
        ASSERT_EQ(r.GetZoneCount(), 4);
        for (int z = 0; z < 4; ++z) {
            for (uint8_t& b : r.GetZone(z)->dimensionLimits)
                b = 99;  // every other byte names a wrong split
            r.GetZone(z)->dimensionLimits[l.byte] = static_cast<uint8_t>(limits[z]);
        }
        r.ApplyUpperLimits();
        ASSERT_EQ(r.GetRootCount(), 4);
        for (int z = 0; z < 4; ++z)
            EXPECT_EQ(r.GetRootNodes()[z].upper, limits[z]) << "slots " << l.codes.size() << ", zone " << z;
    }
}

TEST(GigaRegion, RefusedTreeLeavesOneZoneWithoutDimensions)
{
    GigaRegion r(nullptr);
    const uint8_t codes[2] = {0x82, 0x86};
    const uint8_t good[2] = {2, 1};
    ASSERT_TRUE(r.BuildTree(codes, good, 2));
    ASSERT_EQ(r.GetZoneCount(), 8);
    const uint8_t bad[2] = {2, 7};
    EXPECT_FALSE(r.BuildTree(codes, bad, 2));
    EXPECT_EQ(r.GetZoneCount(), 1);
    EXPECT_EQ(r.GetDimensionCount(), 0);
    EXPECT_EQ(r.GetRootNodes(), nullptr);
    GigaWalkResult res;
    r.Walk(GigaWalkInput{}, res);  // no sample: nothing to play, and no stale tree
    EXPECT_EQ(res.count, 0);
}

TEST(GigaZoneArticulation, StoredSizeDecidesWhichLateFieldsAreRead)
{
    uint8_t a[256] = {};
    a[120] = 50;        // velocity upper limit
    a[124] = 0x37;      // release-trigger decay 7
    a[128] = 0x80 | 64; // filter enabled, cutoff 64
    a[136] = 90;        // first dimension limit
    GigaZone z;
    z.ReadArticulation(a, 124);
    EXPECT_EQ(z.velocityUpperLimit, 0);
    EXPECT_EQ(z.releaseTriggerDecay, 0);
    EXPECT_FALSE(z.filterEnabled);  // past the stored bytes: read as 0
    z.ReadArticulation(a, 140);
    EXPECT_EQ(z.velocityUpperLimit, 50);
    EXPECT_EQ(z.releaseTriggerDecay, 7);
    EXPECT_TRUE(z.filterEnabled);
    EXPECT_TRUE(z.filterOn);
    EXPECT_NEAR(z.filterCutoff, 64 / 127.0f, 1e-6);
    EXPECT_EQ(z.dimensionLimits[0], 0);
    z.ReadArticulation(a, 148);
    EXPECT_EQ(z.dimensionLimits[0], 90);
    a[120] = 0x90;  // a negative velocity limit sets none
    z.ReadArticulation(a, 148);
    EXPECT_EQ(z.velocityUpperLimit, 0);
}

TEST(GigaZoneArticulation, FieldConversions)
{
    uint8_t a[256] = {};
    const int32_t twoSeconds = 78643200;
    const int32_t long20 = 78643200 * 4;  // 16 s: decay and release are capped at 10
    auto put32 = [&](int off, int32_t v) {
        for (int i = 0; i < 4; ++i)
            a[off + i] = static_cast<uint8_t>(static_cast<uint32_t>(v) >> (8 * i));
    };
    put32(24, twoSeconds);
    put32(28, long20);
    a[34] = 0xF4;  // sustain 500 / 1000 in the second word
    a[35] = 0x01;
    put32(36, INT32_MIN);
    a[40] = 2 * 1 + 1;  // controller code 1: modulation wheel
    a[41] = 1 | (2 << 1) | (1 << 3) | (3 << 5);
    put32(84, 0x7FFFFFFF);
    a[92] = 7;          // curve 1, depth (4 - 2) x 0.25
    a[94] = 41;         // scale 41 / 20.5
    a[95] = 0xFF;
    a[100] = 0x10;
    a[101] = 0x01;      // start 272
    a[104] = 1 | 0x20;  // fixed pitch, bypass by controller 95
    a[105] = 70;        // pan 127 - 70
    a[106] = 1;
    a[108] = 0x80;
    a[109] = 2 * 22 + 1;
    a[116] = 5 << 2;
    a[117] = 2;
    a[129] = 0x80 | 74;
    a[130] = 0x80 | 9;
    a[134] = 13;
    a[128] = 0x80;
    a[135] = 1;  // filter enabled, but the mode byte keeps it off
    GigaZone z;
    z.ReadArticulation(a, 148);
    EXPECT_NEAR(z.ampAttack, 2.0f, 1e-5);
    EXPECT_EQ(z.ampDecay, 10.0f);
    EXPECT_NEAR(z.ampSustain, 0.5f, 1e-6);
    EXPECT_EQ(z.ampRelease, 0.0f);
    EXPECT_EQ(z.ampController, 1);
    EXPECT_TRUE(z.ampControllerInvert);
    EXPECT_EQ(z.ampAttackInfluence, 2);
    EXPECT_EQ(z.ampDecayInfluence, 1);
    EXPECT_EQ(z.ampReleaseInfluence, 3);
    EXPECT_EQ(z.filterSustain, 1.0f);
    EXPECT_EQ(z.velocityCurve, 1);
    EXPECT_EQ(z.velocityDepth, 0.5f);
    EXPECT_NEAR(z.velocityScale, 41 / 20.5f, 1e-6);
    EXPECT_EQ(z.attenuationThreshold, 0x7F);
    EXPECT_EQ(z.sampleStart, 272);
    EXPECT_FALSE(z.keyTracking);
    EXPECT_FALSE(z.bypassCC94);
    EXPECT_TRUE(z.bypassCC95);
    EXPECT_EQ(z.pan, 57);
    EXPECT_TRUE(z.selfMask);
    EXPECT_TRUE(z.attenuationControllerInvert);
    EXPECT_EQ(z.attenuationController, 95);
    EXPECT_EQ(z.channelOffset, 5);
    EXPECT_TRUE(z.sustainDefeat);
    EXPECT_EQ(z.cutoffController, 74);
    EXPECT_TRUE(z.cutoffControllerInvert);
    EXPECT_EQ(z.filterVelocityScale, 9);
    EXPECT_EQ(z.filterVelocityCurve, 2);
    EXPECT_EQ(z.filterVelocityDepth, 0.25f);
    EXPECT_TRUE(z.filterEnabled);
    EXPECT_FALSE(z.filterOn);

    // Defaults of a zone no 3ewa reached; a scale byte of 0 counts as 20.
    GigaZone fresh;
    EXPECT_EQ(fresh.m_gain, 0.9f);
    EXPECT_EQ(fresh.velocityDepth, 0.8f);
    EXPECT_EQ(fresh.ampRelease, 80.0f);
    EXPECT_EQ(fresh.pan, 64);
    EXPECT_EQ(fresh.unityNote, -1);
    EXPECT_EQ(fresh.waveIndex, -1);
    uint8_t zero[256] = {};
    fresh.ReadArticulation(zero, 148);
    EXPECT_EQ(fresh.velocityScale, 1.0f);
    EXPECT_EQ(fresh.pan, 64);
    EXPECT_TRUE(fresh.keyTracking);
}

TEST_F(GigaProgramLoad, RegionWithoutLinkChunkHasOneSilentZone)
{
    GigBuilder b = ToneBank(1);
    b.minFileSize = 4000;  // still a bank once the chunks are taken out
    GigInstrument ins("nolink");
    ins.regions.push_back(GigRegion::Single(0, 59, 0));
    ins.regions.push_back(GigRegion::Single(60, 127, 0));
    b.AddInstrument(ins);
    RiffNode tree = b.BuildTree();
    RiffNode& second = *tree.FindAll("LIST", "rgn ")[1];
    auto& kids = second.Children();
    kids.erase(std::remove_if(kids.begin(), kids.end(),
                              [](const RiffNode& n) { return n.Id() == "3lnk" || n.Type() == "3prg"; }),
               kids.end());
    GigaBank bank;
    ASSERT_TRUE(bank.Open(Save(tree).c_str()));
    GigaProgram* p = bank.LoadProgram(0, nullptr);
    ASSERT_NE(p, nullptr);
    ASSERT_EQ(p->GetRegionCount(), 2);
    GigaRegion& r = *p->GetRegionForKey(100);
    EXPECT_EQ(&r, p->GetRegion(1));
    EXPECT_EQ(r.GetZoneCount(), 1);
    EXPECT_EQ(r.GetZone(0)->waveIndex, -1);
    EXPECT_EQ(r.GetZone(0)->GetSample(), nullptr);
    EXPECT_NE(p->GetRegion(0)->GetZone(0)->GetSample(), nullptr);
    p->Release();
}

TEST_F(GigaProgramLoad, ZoneLoopsAreCutToTheSampleLikeSampleLoops)
{
    GigBuilder b;
    b.AddSample(GigSample::Tone("a", 1, 16, 44100, 60, 1000));
    b.AddSample(GigSample::Tone("b", 1, 16, 44100, 60, 1000));
    b.AddSample(GigSample::Tone("c", 1, 16, 44100, 60, 1000));
    GigInstrument ins("loops");
    for (int i = 0; i < 3; ++i)
        ins.regions.push_back(GigRegion::Single(i * 10, i * 10 + 9, i));
    ins.regions[0].zones[0].loop = {true, 100, 5000};   // end past the sample
    ins.regions[1].zones[0].loop = {true, 1500, 5000};  // starts past the cut end
    ins.regions[2].zones[0].loop = {true, 0x90000000u, 0x90000010u};  // fields read unsigned
    b.AddInstrument(ins);
    GigaBank bank;
    ASSERT_TRUE(bank.Open(Save(b).c_str()));
    GigaProgram* p = bank.LoadProgram(0, nullptr);
    ASSERT_NE(p, nullptr);
    const GigaSample& a = *bank.GetSample(0);
    EXPECT_TRUE(a.looped);
    EXPECT_EQ(a.loopStart, 100);
    EXPECT_EQ(a.loopEnd, 999);
    EXPECT_TRUE(a.LoopsFromMemory());
    EXPECT_FALSE(bank.GetSample(1)->looped);
    EXPECT_FALSE(bank.GetSample(2)->looped);
    EXPECT_EQ(p->GetRegion(2)->GetZone(0)->loopStart, 0x90000000LL);
    p->Release();
}

TEST(GigaSampleState, StreamedExactlyWhenMemoryHoldsLessAndNoLoopPlaysFromIt)
{
    GigaSample s;
    s.frames = 100000;
    s.framesInMemory = 44100;
    EXPECT_TRUE(s.IsStreamed());
    s.looped = true;
    s.loopStart = 1000;
    s.loopEnd = 44099;  // the head covers the loop: played from memory
    EXPECT_TRUE(s.LoopsFromMemory());
    EXPECT_FALSE(s.IsStreamed());
    s.loopEnd = 44100;  // one frame past the head
    EXPECT_FALSE(s.LoopsFromMemory());
    EXPECT_TRUE(s.IsStreamed());
    s.framesInMemory = s.frames;
    EXPECT_FALSE(s.IsStreamed());
}
