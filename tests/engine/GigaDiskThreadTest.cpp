// ctest-label: thread
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "engine/GigaDiskThread.h"
#include "engine/GigaStream.h"
#include "engine/GigaVoice.h"
#include "GigaStreamTestBank.h"
#include "support/TestSupport.h"

namespace {

// Plays the streamed part of a sample as a voice would: offers itself until
// the disk thread takes it, then reads blocks, waiting for data rather than
// ending (the test checks the data, not the timing).
bool StreamWholeSample(GigaVoice& voice, GigaSample* sample, int block, std::vector<float>& left,
                       std::vector<float>& right)
{
    using namespace std::chrono;
    auto deadline = steady_clock::now() + seconds(60);
    while (!voice.OfferToDisk(sample))
        if (steady_clock::now() > deadline)
            return false;
    GigaStream* stream = nullptr;
    while (!(stream = voice.GetStream())) {
        if (steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(microseconds(200));
    }
    int64_t total = sample->frames - sample->framesInMemory;
    bool stereo = sample->channels == 2;
    left.resize(static_cast<size_t>(total));
    right.resize(stereo ? static_cast<size_t>(total) : 0);
    for (int64_t done = 0; done < total;) {
        int n = static_cast<int>(std::min<int64_t>(block, total - done));
        if (stream->BytesQueued() < n * static_cast<int>(sizeof(float))) {
            if (steady_clock::now() > deadline)
                return false;
            std::this_thread::sleep_for(microseconds(200));
            continue;
        }
        if (!stream->Read(left.data() + done, stereo ? right.data() + done : nullptr, n))
            return false;
        done += n;
    }
    voice.LeaveStream();
    return true;
}

}  // namespace

TEST(GigaDiskThread, OneThreadForAllUsersStopsWithTheLast)
{
    GigaDiskThread disk;
    EXPECT_FALSE(disk.IsRunning());
    disk.AddUser();
    disk.AddUser();  // a second streaming program starts no second thread
    EXPECT_TRUE(disk.IsRunning());
    disk.RemoveUser();
    EXPECT_TRUE(disk.IsRunning());
    disk.RemoveUser();  // waits for the end
    EXPECT_FALSE(disk.IsRunning());
    disk.RemoveUser();  // unbalanced: nothing happens
    EXPECT_EQ(disk.GetUserCount(), 0);
    disk.WaitPasses(5);  // not running: returns at once
}

TEST(GigaDiskThread, PushIsRefusedWhileStoppedOrFull)
{
    GigaDiskThread disk;
    GigaVoice voice;
    GigaSample sample;
    EXPECT_FALSE(disk.PushVoice(&voice, &sample, 1));  // not running
    disk.AddUser();
    disk.WaitPasses(1);
    {
        // Holding the streams keeps the thread from taking the waiting voices.
        auto hold = disk.LockStreams();
        for (int i = 0; i < giga::kDiskRingEntries - 1; ++i)
            ASSERT_TRUE(disk.PushVoice(&voice, &sample, 1)) << i;
        EXPECT_FALSE(disk.PushVoice(&voice, &sample, 1));  // full: nothing overwritten
    }
    disk.WaitPasses(2);
    EXPECT_EQ(disk.ActiveStreams(), 0);  // the voice never waited: no stream for it
    EXPECT_TRUE(disk.PushVoice(&voice, &sample, 1));
    disk.RemoveUser();
}

TEST(GigaDiskThread, VoiceThatLeftBeforeThePickUpGetsNoStream)
{
    kivtest::TempDir dir;
    GigaDiskThread disk;
    streamtest::StreamBank bank;
    ASSERT_TRUE(bank.Make(dir.File("Ramp.gig"), 1, 30000));
    ASSERT_TRUE(disk.IsRunning());  // the streaming program is a user
    GigaSample* sample = bank.Sample();
    GigaStreamPool* pool = sample->file->GetStreamPool();
    int idle = pool->Idle();
    GigaVoice voice;
    {
        auto hold = disk.LockStreams();
        ASSERT_TRUE(voice.OfferToDisk(sample));
        voice.LeaveStream();     // the note ended
        ASSERT_TRUE(voice.OfferToDisk(sample));  // a new note, a new generation
        voice.LeaveStream();
    }
    disk.WaitPasses(3);
    EXPECT_EQ(voice.GetStream(), nullptr);
    EXPECT_EQ(disk.ActiveStreams(), 0);
    EXPECT_EQ(pool->Idle(), idle);  // the streams went back

    // A voice that still waits gets its stream; leaving it recycles it.
    ASSERT_TRUE(voice.OfferToDisk(sample));
    for (int i = 0; i < 12000 && !voice.GetStream(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_NE(voice.GetStream(), nullptr);
    EXPECT_EQ(disk.ActiveStreams(), 1);
    voice.LeaveStream();
    disk.WaitPasses(3);
    EXPECT_EQ(disk.ActiveStreams(), 0);
    EXPECT_EQ(pool->Idle(), idle);
}

TEST(GigaDiskThread, VoicesReceiveBitExactDataAcrossManyRefills)
{
    kivtest::TempDir dir;
    GigaDiskThread disk;
    streamtest::StreamBank mono, stereo;
    ASSERT_TRUE(mono.Make(dir.File("Mono.gig"), 1, 8820 + 50000));
    ASSERT_TRUE(stereo.Make(dir.File("Stereo.gig"), 2, 8820 + 40000));
    std::vector<float> monoLeft, monoRight, stereoLeft, stereoRight;
    std::atomic<bool> monoOk{false}, stereoOk{false};
    // Two audio threads of two plug-in instances push into the one ring.
    std::thread a([&] {
        GigaVoice voice;
        monoOk = StreamWholeSample(voice, mono.Sample(), 512, monoLeft, monoRight);
    });
    std::thread b([&] {
        GigaVoice voice;
        stereoOk = StreamWholeSample(voice, stereo.Sample(), 333, stereoLeft, stereoRight);
    });
    a.join();
    b.join();
    ASSERT_TRUE(monoOk);
    ASSERT_TRUE(stereoOk);
    for (size_t i = 0; i < monoLeft.size(); ++i)
        ASSERT_EQ(monoLeft[i], streamtest::Expected(8820 + static_cast<int64_t>(i), 0)) << i;
    for (size_t i = 0; i < stereoLeft.size(); ++i) {
        ASSERT_EQ(stereoLeft[i], streamtest::Expected(8820 + static_cast<int64_t>(i), 0)) << i;
        ASSERT_EQ(stereoRight[i], streamtest::Expected(8820 + static_cast<int64_t>(i), 1)) << i;
    }
    disk.WaitPasses(3);
    EXPECT_EQ(disk.ActiveStreams(), 0);
}

TEST(GigaDiskThread, EndOfTheLastUserEmptiesTheActiveList)
{
    kivtest::TempDir dir;
    GigaDiskThread disk;
    auto bank = std::make_unique<streamtest::StreamBank>();
    ASSERT_TRUE(bank->Make(dir.File("Ramp.gig"), 1, 30000));
    GigaStreamPool* pool = bank->Sample()->file->GetStreamPool();
    GigaVoice voice;
    ASSERT_TRUE(voice.OfferToDisk(bank->Sample()));
    for (int i = 0; i < 12000 && !voice.GetStream(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_EQ(disk.ActiveStreams(), 1);
    EXPECT_EQ(pool->Idle(), pool->Made() - 1);
    // The stream is not finished: only the end of the loop takes it back.
    bank->program->Release();  // last streaming program: the thread ends
    bank->program = nullptr;
    EXPECT_FALSE(disk.IsRunning());
    EXPECT_EQ(disk.ActiveStreams(), 0);
    EXPECT_EQ(pool->Idle(), pool->Made());
    voice.LeaveStream();
    EXPECT_FALSE(voice.OfferToDisk(bank->Sample()));  // refused while stopped
    voice.LeaveStream();
}
