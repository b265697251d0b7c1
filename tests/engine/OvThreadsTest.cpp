// ctest-label: thread
// Three writers (host MIDI on the audio thread, the on-screen keyboard on
// the GUI thread, the loader) and a rendering thread share a player.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "OvTestDoubles.h"

using namespace ovtest;

TEST(OvThreads, ThreeWritersAndARendererKeepRingsAndPoolIntact)
{
    TestPlayer p(4, 64);
    p.OnInit();
    p.OvStart();
    std::atomic<bool> quit{false};

    std::thread audio([&] {
        auto buses = MakeBuses(128);
        int n = 0;
        while (!quit.load(std::memory_order_relaxed)) {
            buses->ClearActive();
            // Host MIDI arrives on the audio thread between blocks.
            p.NoteOn(n % 4, 30 + n % 40, 100, 0);
            p.NoteOff((n + 2) % 4, 30 + (n + 7) % 40, 0, 0);
            if (n % 50 == 0)
                p.AllNotesOff(-1);
            p.Render(buses.get(), 128);
            ++n;
            std::this_thread::sleep_for(std::chrono::microseconds(300));
        }
    });
    std::thread gui([&] {
        int n = 0;
        while (!quit.load(std::memory_order_relaxed)) {
            p.NoteOn(1, 60 + n % 12, 90, 0);
            p.NoteOff(1, 60 + (n + 5) % 12, 0, 0);
            p.Tone(2)->Controller(64, n % 2 ? 127 : 0, 0);
            ++n;
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    });
    std::thread loader([&] {
        for (int round = 0; round < 3; ++round) {
            for (int i = 0; i < 200; ++i)
                p.Tone(3)->Controller(7, i % 128, 0);
            p.OvStop();
            p.Tone(0)->SetFineTune(round);
            p.OvStart();
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    });
    // The host switches the plug-in off and on from its own thread while the
    // loader stops and starts the player.
    std::atomic<bool> loaderDone{false};
    std::thread host([&] {
        while (!loaderDone.load()) {
            p.Suspend();
            std::this_thread::sleep_for(std::chrono::milliseconds(3));
            p.Resume();
            std::this_thread::sleep_for(std::chrono::milliseconds(7));
        }
    });
    loader.join();
    loaderDone.store(true);
    host.join();
    // One tone stopped and started on its own while the others render and
    // take voices from the shared pool.
    p.Tone(0)->OvStop();
    p.Tone(0)->OvStart();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    quit.store(true);
    gui.join();
    audio.join();

    // Every voice is either in the pool or in exactly one tone.
    p.Suspend();
    int voices = p.GetVoicePool().Count();
    for (int t = 0; t < 4; ++t)
        voices += p.Tone(t)->GetVoices().Count();
    EXPECT_EQ(voices, 64);
    EXPECT_EQ(p.GetVoicePool().Count(), 64);
}
