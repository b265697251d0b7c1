// ctest-label: thread
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <thread>

#include "engine/OvEffect.h"
#include "engine/OvPlayer.h"
#include "engine/OvStudio.h"
#include "support/TestSupport.h"

namespace {

constexpr int kFrames = 64;

// A player that writes a constant into chosen channel buses by the writing
// rule of the bus set.
class SignalPlayer : public OvPlayer {
public:
    bool OnInit() override { return true; }
    int Render(audio::Buffers* buses, int frames) noexcept override
    {
        for (int bus = 0; bus < kOvMixerChannels; ++bus) {
            const float left = m_left[bus].load(std::memory_order_relaxed);
            const float right = m_right[bus].load(std::memory_order_relaxed);
            if (left == 0.0f && right == 0.0f)
                continue;
            float* l = buses->GetChannel(bus, 0);
            float* r = buses->GetChannel(bus, 1);
            for (int i = 0; i < frames; ++i) {
                l[i] = left;
                r[i] = right;
            }
            buses->SetHasSignal(bus, true);
        }
        return frames;
    }
    void Set(int bus, float left, float right)
    {
        m_left[bus] = left;
        m_right[bus] = right;
    }

private:
    std::atomic<float> m_left[kOvMixerChannels] = {};
    std::atomic<float> m_right[kOvMixerChannels] = {};
};

// An insert that adds a constant (a tail that goes on without input).
class AddInsert : public OvInsert {
public:
    explicit AddInsert(float add, std::atomic<int>* alive = nullptr) : m_add(add), m_alive(alive)
    {
        if (m_alive)
            ++*m_alive;
    }
    ~AddInsert() override
    {
        if (m_alive)
            --*m_alive;
        m_add = NAN;  // a render that still used it would show
    }
    void Process(float* left, float* right, int frames) noexcept override
    {
        maxFrames = std::max(maxFrames, frames);
        for (int i = 0; i < frames; ++i) {
            left[i] += m_add;
            right[i] += m_add;
        }
    }
    const char* GetName() const override { return "Adder"; }
    int GetChunk(kiv::data& chunk) override
    {
        chunk.Borrow(m_state, sizeof m_state);
        return sizeof m_state;
    }
    void SetChunk(const void*, int) override {}
    void SetSampleRate(int) override {}
    void SetBlockSize(int) override {}
    void CloseView() override { viewClosed = true; }

    int maxFrames = 0;
    bool viewClosed = false;

private:
    float m_add;
    std::atomic<int>* m_alive;
    char m_state[4] = {'a', 'b', 'c', 'd'};
};

// Opens an AddInsert for any info except the one named "broken".
class FakeFactory : public OvInsertFactory {
public:
    std::unique_ptr<OvInsert> Open(PlugInfo* info) override
    {
        ++opened;
        if (info == Broken())
            return nullptr;
        return std::make_unique<AddInsert>(0.25f, &alive);
    }
    std::unique_ptr<OvInsert> OpenByName(const char*) override { return std::make_unique<AddInsert>(0.25f, &alive); }
    static PlugInfo* Good() { return reinterpret_cast<PlugInfo*>(0x10); }
    static PlugInfo* Broken() { return reinterpret_cast<PlugInfo*>(0x20); }

    int opened = 0;
    std::atomic<int> alive{0};
};

struct Rig {
    Rig()
    {
        auto p = std::make_unique<SignalPlayer>();
        player = p.get();
        studio.AddPlayer(std::move(p));
        outputs.Resize(kOvMixerOutputs, 2, 256);
        studio.SetBlockSize(256);
    }
    void Render(int frames = kFrames)
    {
        outputs.ClearActive();
        studio.Render(&outputs, frames);
    }
    float Out(int bus, int channel, int frame) { return outputs.GetChannel(bus, channel)[frame]; }

    OvStudio studio;
    SignalPlayer* player = nullptr;
    audio::Buffers outputs;
};

struct FactoryScope {
    explicit FactoryScope(OvInsertFactory* f) { OvStudio::SetInsertFactory(f); }
    ~FactoryScope() { OvStudio::SetInsertFactory(nullptr); }
};

}  // namespace

TEST(OvStudio, BuiltWithAllChannelsOnOutputZeroAndPlayersCapped)
{
    OvStudio studio;
    EXPECT_EQ(studio.GetBuses().GetBusCount(), kOvMixerChannels);
    EXPECT_EQ(studio.GetBuses().GetBus(0).capacity >= kOvStudioBusFrames, true);
    for (int c = 0; c < kOvMixerChannels; ++c) {
        EXPECT_EQ(studio.GetMixerParam(c, kOvMixOutput), 0.0f);
        EXPECT_EQ(studio.GetMixerParam(c, kOvMixLeftPan), -1.0f);
        EXPECT_EQ(studio.GetMixerParam(c, kOvMixRightPan), 1.0f);
        for (int s = 0; s < kOvEffectSlots; ++s)
            EXPECT_FALSE(studio.IsEffectEnabled(c, s));
    }
    for (int i = 0; i < kOvMaxPlayers; ++i)
        EXPECT_TRUE(studio.AddPlayer(std::make_unique<SignalPlayer>()));
    EXPECT_FALSE(studio.AddPlayer(std::make_unique<SignalPlayer>()));
    EXPECT_EQ(studio.GetPlayerCount(), kOvMaxPlayers);
    EXPECT_EQ(studio.GetPlayer(kOvMaxPlayers), nullptr);
    EXPECT_EQ(studio.GetEditor(), nullptr);  // no view factory registered
}

TEST(OvStudio, EveryChannelIsHeardOnTheFirstPairUntilRouted)
{
    Rig rig;
    rig.player->Set(0, 0.5f, 0.25f);
    rig.player->Set(3, 0.125f, 0.125f);
    rig.Render();
    ASSERT_TRUE(rig.outputs.HasSignal(0));
    EXPECT_FLOAT_EQ(rig.Out(0, 0, 10), 0.625f);
    EXPECT_FLOAT_EQ(rig.Out(0, 1, 10), 0.375f);
    EXPECT_FALSE(rig.outputs.HasSignal(3));

    rig.studio.SetMixerParam(3, kOvMixOutput, 5.7f);  // the integer part
    EXPECT_EQ(rig.studio.GetMixerParam(3, kOvMixOutput), 5.0f);
    rig.Render();
    EXPECT_FLOAT_EQ(rig.Out(0, 0, 10), 0.5f);
    ASSERT_TRUE(rig.outputs.HasSignal(5));
    EXPECT_FLOAT_EQ(rig.Out(5, 0, 10), 0.125f);
}

TEST(OvStudio, RoutingOutsideTheOutputsIsRefused)
{
    OvStudio studio;
    studio.SetMixerParam(2, kOvMixOutput, 7.0f);
    for (float bad : {16.0f, 99.0f, -1.0f, -0.5f, NAN, INFINITY})
        studio.SetMixerParam(2, kOvMixOutput, bad);
    EXPECT_EQ(studio.GetMixerParam(2, kOvMixOutput), 7.0f);
    // Channels outside the mixer are ignored and read 0.
    studio.SetMixerParam(16, kOvMixLevel, 3.0f);
    studio.SetMixerParam(-1, kOvMixLevel, 3.0f);
    EXPECT_EQ(studio.GetMixerParam(16, kOvMixLevel), 0.0f);
}

TEST(OvStudio, MutedChannelIsSilentAndKeepsItsPeaks)
{
    Rig rig;
    rig.player->Set(1, 0.5f, 0.5f);
    rig.Render();
    rig.studio.SetMixerParam(1, kOvMixMute, 1.0f);
    EXPECT_EQ(rig.studio.GetMixerParam(1, kOvMixMute), 1.0f);
    rig.player->Set(1, 0.9f, 0.9f);
    rig.Render();
    EXPECT_FALSE(rig.outputs.HasSignal(0));
    const float* meters = rig.studio.TakePeakLevels();
    EXPECT_FLOAT_EQ(meters[2], 0.5f);  // the block before the mute
    rig.studio.SetMixerParam(1, kOvMixMute, 0.0f);
    EXPECT_EQ(rig.studio.GetMixerParam(1, kOvMixMute), 0.0f);
}

TEST(OvStudio, BalanceMovesInputsBetweenSidesAndNewBusPassesUnchanged)
{
    Rig rig;
    rig.player->Set(0, 0.5f, 0.25f);
    rig.Render();
    EXPECT_FLOAT_EQ(rig.Out(0, 0, 0), 0.5f);
    EXPECT_FLOAT_EQ(rig.Out(0, 1, 0), 0.25f);

    // Both inputs in the middle: each side hears both.
    rig.studio.SetMixerParam(0, kOvMixLeftPan, 0.0f);
    rig.studio.SetMixerParam(0, kOvMixRightPan, 0.0f);
    rig.Render();
    EXPECT_FLOAT_EQ(rig.Out(0, 0, 0), 0.75f);
    EXPECT_FLOAT_EQ(rig.Out(0, 1, 0), 0.75f);

    // Left input fully right, right input fully left: swapped.
    rig.studio.SetMixerParam(0, kOvMixLeftPan, 1.0f);
    rig.studio.SetMixerParam(0, kOvMixRightPan, -1.0f);
    rig.Render();
    EXPECT_FLOAT_EQ(rig.Out(0, 0, 0), 0.25f);
    EXPECT_FLOAT_EQ(rig.Out(0, 1, 0), 0.5f);

    // Stored positions beyond -1..1 act as the ends: never an inverted phase.
    rig.studio.SetMixerParam(0, kOvMixLeftPan, 3.0f);
    rig.studio.SetMixerParam(0, kOvMixRightPan, NAN);
    rig.Render();
    EXPECT_FLOAT_EQ(rig.Out(0, 0, 0), 0.0f);
    EXPECT_FLOAT_EQ(rig.Out(0, 1, 0), 0.75f);
    EXPECT_EQ(rig.studio.GetMixerParam(0, kOvMixLeftPan), 3.0f);  // read back as stored
}

TEST(OvStudio, PeaksTakeTheFifthSampleOfWholeGroupsOfEight)
{
    // A player that writes a ramp whose sample 4 and sample 19 stand out.
    class Spikes : public OvPlayer {
    public:
        bool OnInit() override { return true; }
        int Render(audio::Buffers* buses, int frames) noexcept override
        {
            float* l = buses->GetChannel(0, 0);
            float* r = buses->GetChannel(0, 1);
            for (int i = 0; i < frames; ++i)
                l[i] = r[i] = 0.01f;
            l[4] = 0.3f;    // measured
            l[3] = 0.9f;    // not a measured position
            r[12] = -0.8f;  // negative samples do not count
            l[20] = 0.95f;  // frame 20 lies in the last, partial group of 21 frames
            buses->SetHasSignal(0, true);
            return frames;
        }
    };
    OvStudio studio;
    studio.AddPlayer(std::make_unique<Spikes>());
    audio::Buffers outputs;
    outputs.Resize(16, 2, 256);
    outputs.ClearActive();
    studio.Render(&outputs, 21);
    const float* meters = studio.TakePeakLevels();
    EXPECT_FLOAT_EQ(meters[0], 0.3f);
    EXPECT_FLOAT_EQ(meters[1], 0.01f);
    for (int c = 1; c < kOvMixerChannels; ++c)
        EXPECT_EQ(meters[2 * c], 0.0f);
    EXPECT_EQ(studio.TakePeakLevels()[0], 0.0f);  // zeroed by the last take
}

TEST(OvStudio, EffectParametersWithoutTheEffectReadTheirStandIns)
{
    OvStudio studio;
    EXPECT_FLOAT_EQ(studio.GetMixerParam(4, kOvMixCompThreshold), -18.0f);
    EXPECT_FLOAT_EQ(studio.GetMixerParam(4, kOvMixCompRatio), 1.0f);
    EXPECT_FLOAT_EQ(studio.GetMixerParam(4, kOvMixCompMakeUp), 0.0f);
    EXPECT_FLOAT_EQ(studio.GetMixerParam(4, kOvMixCompAttack), 0.2f);
    EXPECT_FLOAT_EQ(studio.GetMixerParam(4, kOvMixCompRelease), 0.8f);
    EXPECT_EQ(studio.GetMixerParam(4, kOvMixEQMid), 0.0f);
    EXPECT_EQ(studio.GetMixerParam(4, 6), 0.0f);

    studio.SetMixerParam(4, kOvMixCompRatio, 8.0f);  // no compressor: nothing
    studio.SetMixerParam(4, kOvMixEQLow, 6.0f);
    EXPECT_EQ(studio.GetEffect(4, kOvSlotComp), nullptr);
    EXPECT_FLOAT_EQ(studio.GetMixerParam(4, kOvMixCompRatio), 1.0f);

    studio.EnableEffect(4, kOvSlotComp, true);
    ASSERT_NE(studio.GetEffect(4, kOvSlotComp), nullptr);
    EXPECT_FLOAT_EQ(studio.GetMixerParam(4, kOvMixCompThreshold), ovfx::kThresholdStart);
    studio.SetMixerParam(4, kOvMixCompRatio, 8.0f);
    EXPECT_FLOAT_EQ(studio.GetMixerParam(4, kOvMixCompRatio), 8.0f);
    studio.EnableEffect(4, kOvSlotComp, false);
    EXPECT_NE(studio.GetEffect(4, kOvSlotComp), nullptr);  // kept with the studio

    OvEffect* eq = studio.CreateEffect(4, kOvSlotEQ);
    ASSERT_NE(eq, nullptr);
    EXPECT_FALSE(studio.IsEffectEnabled(4, kOvSlotEQ));
    studio.SetMixerParam(4, kOvMixEQHigh, -3.0f);
    EXPECT_FLOAT_EQ(studio.GetMixerParam(4, kOvMixEQHigh), -3.0f);
    EXPECT_EQ(studio.CreateEffect(4, kOvSlotInsert0), nullptr);
}

TEST(OvStudio, EnabledEffectsShapeTheChannelAndOthersDoNot)
{
    Rig rig;
    rig.player->Set(2, 0.5f, 0.5f);
    rig.studio.CreateEffect(2, kOvSlotEQ);
    rig.studio.SetMixerParam(2, kOvMixEQLow, -40.0f);
    rig.studio.SetMixerParam(2, kOvMixEQMid, -40.0f);
    rig.studio.SetMixerParam(2, kOvMixEQHigh, -40.0f);
    rig.Render();
    EXPECT_FLOAT_EQ(rig.Out(0, 0, 40), 0.5f);  // made but off: not run
    rig.studio.EnableEffect(2, kOvSlotEQ, true);
    for (int i = 0; i < 20; ++i)
        rig.Render();
    EXPECT_LT(std::fabs(rig.Out(0, 0, 40)), 0.01f);
}

TEST(OvStudio, InsertTailSoundsOnAChannelWithoutSignal)
{
    FakeFactory factory;  // outlives the studio that holds its inserts
    FactoryScope scope(&factory);
    Rig rig;
    rig.studio.SetMixerParam(6, kOvMixOutput, 2.0f);
    ASSERT_TRUE(rig.studio.SetInsertPlugin(6, 1, FakeFactory::Good()));
    rig.Render();
    EXPECT_FALSE(rig.outputs.HasSignal(2));  // inserted but not switched on
    rig.studio.EnableEffect(6, kOvSlotInsert1, true);
    rig.Render();
    ASSERT_TRUE(rig.outputs.HasSignal(2));
    EXPECT_FLOAT_EQ(rig.Out(2, 0, 5), 0.25f);
    EXPECT_FLOAT_EQ(rig.Out(2, 1, 5), 0.25f);
    // The compressor and equaliser do not run on silence.
    rig.studio.EnableEffect(6, kOvSlotEQ, true);
    rig.studio.SetMixerParam(6, kOvMixEQMid, -40.0f);
    rig.Render();
    EXPECT_FLOAT_EQ(rig.Out(2, 0, 5), 0.25f);
}

TEST(OvStudio, InsertSwapRestoresTheFlagOrLeavesTheSlotEmptyAndOff)
{
    OvStudio studio;
    FakeFactory factory;
    FactoryScope scope(&factory);
    ASSERT_TRUE(studio.SetInsertPlugin(0, 0, FakeFactory::Good()));
    studio.EnableEffect(0, kOvSlotInsert0, true);
    auto* first = static_cast<AddInsert*>(studio.GetInsert(0, 0));
    ASSERT_NE(first, nullptr);

    ASSERT_TRUE(studio.SetInsertPlugin(0, 0, FakeFactory::Good()));
    EXPECT_TRUE(studio.IsEffectEnabled(0, kOvSlotInsert0));
    EXPECT_NE(studio.GetInsert(0, 0), nullptr);
    EXPECT_EQ(factory.alive.load(), 1);  // the first one was closed and deleted

    EXPECT_FALSE(studio.SetInsertPlugin(0, 0, FakeFactory::Broken()));
    EXPECT_EQ(studio.GetInsert(0, 0), nullptr);
    EXPECT_FALSE(studio.IsEffectEnabled(0, kOvSlotInsert0));
    EXPECT_EQ(factory.alive.load(), 0);

    ASSERT_TRUE(studio.SetInsertPlugin(0, 1, FakeFactory::Good()));
    EXPECT_TRUE(studio.SetInsertPlugin(0, 1, nullptr));  // only empties
    EXPECT_EQ(studio.GetInsert(0, 1), nullptr);
    EXPECT_FALSE(studio.SetInsertPlugin(0, 2, FakeFactory::Good()));
    EXPECT_FALSE(studio.SetInsertPlugin(16, 0, FakeFactory::Good()));

    OvStudio::SetInsertFactory(nullptr);
    EXPECT_FALSE(studio.SetInsertPlugin(1, 0, FakeFactory::Good()));
}

TEST(OvStudio, LongHostBlocksReachInsertsInPiecesAndNeverPassTheBuses)
{
    OvStudio studio;
    auto owned = std::make_unique<AddInsert>(0.0f);
    AddInsert* insert = owned.get();
    studio.SetInsert(0, 0, std::move(owned));
    studio.EnableEffect(0, kOvSlotInsert0, true);
    studio.SetBlockSize(10000);
    audio::Buffers outputs;
    outputs.Resize(16, 2, 10000);
    EXPECT_EQ(studio.Render(&outputs, 10000), 10000);
    EXPECT_EQ(insert->maxFrames, kOvInsertMaxFrames);
    // More frames than the buses hold: only what they hold.
    EXPECT_EQ(studio.Render(&outputs, 1 << 20), studio.GetBuses().GetBus(0).capacity);
}

TEST(OvStudio, RenderWithEffectsAndInsertsAllocatesNothing)
{
    Rig rig;
    for (int c = 0; c < kOvMixerChannels; ++c) {
        rig.player->Set(c, 0.3f, -0.2f);
        rig.studio.EnableEffect(c, kOvSlotComp, true);
        rig.studio.EnableEffect(c, kOvSlotEQ, true);
        rig.studio.SetMixerParam(c, kOvMixEQLow, 3.0f);
        rig.studio.SetMixerParam(c, kOvMixOutput, static_cast<float>(c % 4));
        rig.studio.SetMixerParam(c, kOvMixLeftPan, -0.5f);
        rig.studio.SetInsert(c, 0, std::make_unique<AddInsert>(0.01f));
        rig.studio.EnableEffect(c, kOvSlotInsert0, true);
    }
    rig.Render(256);  // first touches out of the way
    kivtest::AllocCounter counter;
    for (int i = 0; i < 20; ++i)
        rig.Render(256);
    EXPECT_EQ(counter.Count(), 0);
}

TEST(OvStudio, InsertSwapsWhileRenderingNeverUseADeletedPlugin)
{
    FakeFactory factory;
    FactoryScope scope(&factory);
    Rig rig;
    rig.player->Set(0, 0.1f, 0.1f);
    ASSERT_TRUE(rig.studio.SetInsertPlugin(0, 0, FakeFactory::Good()));
    rig.studio.EnableEffect(0, kOvSlotInsert0, true);
    std::atomic<bool> stop{false};
    std::atomic<int> bad{0};
    std::thread audio([&] {
        audio::Buffers outputs;
        outputs.Resize(16, 2, 256);
        while (!stop.load()) {
            outputs.ClearActive();
            rig.studio.Render(&outputs, 128);
            const float v = outputs.GetChannel(0, 0)[7];
            if (!(std::isfinite(v)))
                ++bad;
            rig.studio.TakePeakLevels();
        }
    });
    for (int i = 0; i < 200; ++i) {
        rig.studio.SetInsertPlugin(0, 0, FakeFactory::Good());
        rig.studio.SetMixerParam(0, kOvMixLevel, 0.5f + i * 0.001f);
        rig.studio.EnableEffect(0, kOvSlotComp, (i & 1) != 0);
    }
    stop = true;
    audio.join();
    EXPECT_EQ(bad.load(), 0);
    EXPECT_EQ(factory.alive.load(), 1);
}
