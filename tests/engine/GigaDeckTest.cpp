// ctest-label: thread
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "engine/GigaBankManager.h"
#include "engine/GigaDeck.h"
#include "engine/GigaDiskThread.h"
#include "engine/GigaPrefs.h"
#include "engine/GigaStream.h"
#include "engine/GigaTone.h"
#include "engine/GigaVoice.h"
#include "GigaLoaderTestBanks.h"
#include "GigaStreamTestBank.h"
#include "support/TestSupport.h"

TEST(GigaDeck, OnInitBuildsVoicesAndTonesOnTheirChannels)
{
    GigaPrefs prefs;
    GigaDeck deck;
    ASSERT_TRUE(deck.OnInit());
    EXPECT_EQ(deck.GetVoicePool().Count(), giga::kDeckVoices);
    ASSERT_EQ(deck.GetToneCount(), giga::kDeckTones);
    for (int i = 0; i < giga::kDeckTones; ++i) {
        GigaTone* tone = deck.GetGigaTone(i);
        EXPECT_EQ(tone->GetChannel(), i);
        EXPECT_EQ(tone->GetBus(), i);
        EXPECT_EQ(tone->GetIndex(), i);
        EXPECT_EQ(tone->GetScratchLeft(), deck.GetScratchLeft());
        EXPECT_EQ(reinterpret_cast<uintptr_t>(tone->GetScratchRight()) % 16, 0u);
        EXPECT_EQ(tone->GetState(), giga::kToneNone);
    }
}

TEST(GigaDeck, PrintStatsCountsVoicesInUseAndActiveStreams)
{
    kivtest::TempDir dir;
    GigaDiskThread disk;
    GigaDeck deck;
    deck.OnInit();
    testing::internal::CaptureStdout();
    deck.PrintStats();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");

    OvVoice* playing = deck.GetVoicePool().PopFront();
    ASSERT_NE(playing, nullptr);
    testing::internal::CaptureStdout();
    deck.PrintStats();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Voices: 1\r\n");

    streamtest::StreamBank bank;
    ASSERT_TRUE(bank.Make(dir.File("Ramp.gig"), 1, 30000));
    GigaVoice voice;
    ASSERT_TRUE(voice.OfferToDisk(bank.Sample()));
    for (int i = 0; i < 12000 && !voice.GetStream(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_NE(voice.GetStream(), nullptr);
    testing::internal::CaptureStdout();
    deck.PrintStats();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Voices: 1\r\nStreams: 1\r\n");
    voice.LeaveStream();
    deck.GetVoicePool().Append(playing);
}

TEST(GigaDeck, WaitIdleReturnsWhileAnotherInstanceKeepsStreaming)
{
    GigaDiskThread disk;
    disk.AddUser();  // another plug-in instance's streaming program
    GigaDeck deck;
    deck.OnInit();
    std::atomic<bool> done{false};
    std::thread waiter([&] {
        deck.WaitIdle();
        done = true;
    });
    for (int i = 0; i < 6000 && !done; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_TRUE(done);
    EXPECT_TRUE(disk.IsRunning());
    disk.RemoveUser();  // lets a waiter for the thread's end go in any case
    waiter.join();
}

TEST(GigaDeck, ClearPerformanceEmptiesEveryToneWithParts)
{
    GigaPrefs prefs;
    GigaBankManager manager;
    GigaDiskThread disk;
    kivtest::TempDir dir;
    std::string path = dir.File("Piano.gig");
    ASSERT_TRUE(loadertest::WriteBank(path));
    GigaDeck deck;
    deck.OnInit();
    deck.SetPath("/perf/old.tv2");
    deck.GetGigaTone(0)->AddPart(path.c_str(), 0);
    deck.GetGigaTone(1)->AddPart(path.c_str(), 1);
    manager.QueuePlayer(&deck);
    manager.RunNow(false);
    ASSERT_EQ(deck.GetGigaTone(0)->GetState(), giga::kToneLoaded);
    EXPECT_TRUE(deck.IsModified());
    // Tone 1 waits to load (never started) when the performance is cleared.
    deck.GetGigaTone(1)->AddPart(path.c_str(), 0);
    deck.GetGigaTone(2)->SetState(giga::kToneFailed);  // no parts, not 0

    deck.ClearPerformance();
    ASSERT_TRUE(manager.WaitIdle(10000));
    EXPECT_EQ(deck.GetPath(), nullptr);
    EXPECT_EQ(deck.GetGigaTone(0)->GetPartCount(), 0);
    EXPECT_EQ(deck.GetGigaTone(1)->GetPartCount(), 0);  // not doubled by a later load
    EXPECT_EQ(deck.GetGigaTone(2)->GetState(), giga::kToneLoaded);
    EXPECT_FALSE(deck.HasFailedTone());
    EXPECT_EQ(manager.GetBankCount(), 0);
}

TEST(GigaDeck, LoadingWaitIsBounded)
{
    GigaDeck deck;
    EXPECT_TRUE(deck.WaitWhileLoading());
    deck.SetLoading(true);
    // Not waited out here (10 s); the flag is cleared by every load.
    deck.SetLoading(false);
    EXPECT_TRUE(deck.WaitWhileLoading());
}
