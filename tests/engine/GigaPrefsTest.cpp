// ctest-label: thread
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <atomic>
#include <thread>

#include "support/TestSupport.h"
#include "engine/GigaBankHooks.h"
#include "engine/GigaPrefs.h"

namespace {

std::string PrefsFile()
{
    return std::string(getenv("XDG_DATA_HOME")) + "/Quillane/tessivo.prefs";
}

// Builds preferences, lets the test change them, and writes them back.
template <typename F>
std::string SaveWith(F&& change)
{
    GigaPrefs prefs;
    prefs.LoadSettings();
    change(prefs);
    return prefs.GetFilePath().CStr();
}

void ForgetStoredPrefs()
{
    remove(PrefsFile().c_str());
    GigaPrefs prefs;
    remove(prefs.GetFilePath().CStr());
}

}  // namespace

TEST(GigaPrefs, AfterLoadPutsStoredValuesBackInRange)
{
    struct Case {
        float lmin, lmax;
        int cvol;
        float wantMin, wantMax;
        int wantCvol;
    };
    const Case cases[] = {
        {2.0f, 3.5f, 9, 1.0f, 3.0f, 7},    // unknown cvol resets all three
        {0.1f, 3.0f, 7, 0.2f, 3.0f, 7},    // lmin below 0.2
        {2.5f, 1.0f, 11, 2.5f, 2.5f, 11},  // lmax raised to lmin
        {5.0f, 6.0f, 7, 4.0f, 4.0f, 7},    // both capped at 4
        {1.0f, 3.0f, 11, 1.0f, 3.0f, 11},  // in range: unchanged
    };
    GigaPrefs prefs;
    for (const Case& c : cases) {
        prefs.SetLmin(c.lmin);
        prefs.SetLmax(c.lmax);
        prefs.SetCvol(c.cvol);
        prefs.AfterLoad();
        EXPECT_FLOAT_EQ(prefs.GetLmin(), c.wantMin) << c.lmin << " " << c.lmax << " " << c.cvol;
        EXPECT_FLOAT_EQ(prefs.GetLmax(), c.wantMax) << c.lmin << " " << c.lmax << " " << c.cvol;
        EXPECT_EQ(prefs.GetCvol(), c.wantCvol);
    }
}

TEST(GigaPrefs, BudgetIsAvailableMemoryCappedAt16GB)
{
    EXPECT_EQ(GigaPrefs::BudgetFor(20000), 16384);
    EXPECT_EQ(GigaPrefs::BudgetFor(1000), 1000);
    EXPECT_EQ(GigaPrefs::BudgetFor(-5), 0);

    GigaPrefs prefs;
    EXPECT_LE(prefs.GetBudgetMB(), 16384);
    prefs.SetBudgetMB(1000);
    ASSERT_TRUE(prefs.Reserve(990));
    EXPECT_FALSE(prefs.Reserve(20));  // refused, nothing charged
    EXPECT_EQ(prefs.GetUsedMB(), 990);
    prefs.Release(990);
    EXPECT_EQ(prefs.GetUsedMB(), 0);
    prefs.Release(5);  // an unbalanced release never goes below 0
    EXPECT_EQ(prefs.GetUsedMB(), 0);
}

TEST(GigaPrefs, FirstObjectBecomesTheEngineBudgetAndPreloadSource)
{
    {
        GigaPrefs prefs;
        EXPECT_EQ(GigaPrefs::Get(), &prefs);
        EXPECT_EQ(&GigaHooks::GetBudget(), static_cast<GigaMemoryBudget*>(&prefs));
        prefs.SetLmin(2.0f);
        prefs.SetLmax(3.5f);
        prefs.AfterLoad();
        EXPECT_FLOAT_EQ(GigaHooks::GetPreloadMin(), 2.0f);
        EXPECT_FLOAT_EQ(GigaHooks::GetPreloadMax(), 3.5f);
        prefs.SetLmin(1.0f);
        prefs.SetLmax(3.0f);
        prefs.AfterLoad();
    }
    EXPECT_EQ(GigaPrefs::Get(), nullptr);
    EXPECT_NE(&GigaHooks::GetBudget(), nullptr);
}

TEST(GigaPrefs, DestructionWritesPrefsFileAndSettings)
{
    ForgetStoredPrefs();
    std::string settings = SaveWith([](GigaPrefs& p) {
        p.SetLmin(1.5f);
        p.SetMissingFolder("/music/missing");
        p.controllerMap[7] = 11;
        p.controllerMap[3] = -1;
    });
    std::string bytes = kivtest::ReadFile(PrefsFile());
    ASSERT_GE(bytes.size(), 8u);
    EXPECT_EQ(bytes.substr(0, 4), "avik");
    EXPECT_EQ(bytes.substr(4, 4), "ferp");  // 'pref' as a little-endian word
    std::string text = kivtest::ReadFile(settings);
    for (const char* name : {"lmin=", "lmax=", "cvol=", "misp=/music/missing"})
        EXPECT_NE(text.find(name), std::string::npos) << name << " in\n" << text;

    GigaPrefs again;
    again.LoadSettings();
    EXPECT_FLOAT_EQ(again.GetLmin(), 1.5f);
    EXPECT_EQ(again.GetMissingFolder(), "/music/missing");
    EXPECT_EQ(again.controllerMap[7], 11);
    EXPECT_EQ(again.controllerMap[3], -1);
    EXPECT_EQ(again.controllerMap[8], 8);
}

TEST(GigaPrefs, OutOfRangeStoredValuesAreResetOnLoad)
{
    ForgetStoredPrefs();
    SaveWith([](GigaPrefs& p) {
        p.SetCvol(9);  // the settings layer stores what it is given
        p.SetLmin(2.0f);
        p.SetLmax(3.5f);
        p.controllerMap[5] = 999;  // no such engine controller
    });
    GigaPrefs prefs;
    prefs.LoadSettings();
    EXPECT_EQ(prefs.GetCvol(), 7);
    EXPECT_FLOAT_EQ(prefs.GetLmin(), 1.0f);
    EXPECT_FLOAT_EQ(prefs.GetLmax(), 3.0f);
    EXPECT_EQ(prefs.controllerMap[5], 5);
}

TEST(GigaPrefs, LongStoredMissingFolderIsCutNotOverrun)
{
    ForgetStoredPrefs();
    std::string settings;
    {
        GigaPrefs prefs;
        prefs.LoadSettings();
        settings = prefs.GetFilePath().CStr();
    }
    std::string text = kivtest::ReadFile(settings);
    size_t at = text.find("misp=");
    ASSERT_NE(at, std::string::npos);
    size_t end = text.find('\n', at);
    text.replace(at, end - at, "misp=" + std::string(700, 'a'));
    ASSERT_TRUE(kivtest::WriteFile(settings, text.data(), text.size()));

    GigaPrefs prefs;
    prefs.LoadSettings();
    EXPECT_EQ(prefs.GetMissingFolder().size(), static_cast<size_t>(GigaPrefs::kMispCapacity - 1));
}

TEST(GigaPrefs, MissingFolderKeepsOnlyWholePathsAndReadsWholeWhileEdited)
{
    GigaPrefs prefs;
    EXPECT_TRUE(prefs.SetMissingFolder("/music/missing/"));
    EXPECT_FALSE(prefs.SetMissingFolder(std::string(GigaPrefs::kMispCapacity, 'x').c_str()));
    EXPECT_EQ(prefs.GetMissingFolder(), "/music/missing/");
    const std::string longest(GigaPrefs::kMispCapacity - 1, 'y');
    EXPECT_TRUE(prefs.SetMissingFolder(longest.c_str()));
    EXPECT_EQ(prefs.GetMissingFolder(), longest);
    EXPECT_TRUE(prefs.SetMissingFolder(nullptr));
    EXPECT_EQ(prefs.GetMissingFolder(), "");

    // The missing-files window sets it on the GUI thread while the loader's
    // search reads it: every read is one of the folders set, never a blend.
    const std::string a = "/a/" + std::string(300, 'a');
    const std::string b = "/bb/";
    std::thread gui([&] {
        for (int i = 0; i < 2000; ++i)
            prefs.SetMissingFolder(i % 2 ? a.c_str() : b.c_str());
    });
    int odd = 0;
    for (int i = 0; i < 2000; ++i) {
        const std::string seen = prefs.GetMissingFolder();
        if (seen != a && seen != b && seen != "")
            ++odd;
    }
    gui.join();
    EXPECT_EQ(odd, 0);
}

// The settings window moves the preload faders on the GUI thread while the
// loader side reads the values: every read is a whole value that was set.
TEST(GigaPrefs, PreloadSettingsEditedWhileReadElsewhere)
{
    GigaPrefs prefs;
    std::atomic<bool> done{false};
    std::thread gui([&] {
        for (int i = 0; i < 2000; ++i) {
            prefs.SetLmin(i % 2 ? 0.5f : 2.0f);
            prefs.SetLmax(i % 2 ? 1.5f : 4.0f);
            prefs.SetCvol(i % 2 ? 7 : 11);
        }
        done.store(true, std::memory_order_release);
    });
    int bad = 0;
    while (!done.load(std::memory_order_acquire)) {
        const float lmin = prefs.GetLmin();
        const float lmax = prefs.GetLmax();
        const int cvol = prefs.GetCvol();
        bad += (lmin != 0.5f && lmin != 2.0f && lmin != GigaPrefs::kDefaultLmin) ? 1 : 0;
        bad += (lmax != 1.5f && lmax != 4.0f && lmax != GigaPrefs::kDefaultLmax) ? 1 : 0;
        bad += (cvol != 7 && cvol != 11) ? 1 : 0;
    }
    gui.join();
    EXPECT_EQ(bad, 0);
}
