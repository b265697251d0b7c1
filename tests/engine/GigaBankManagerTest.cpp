// ctest-label: thread
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

#include "engine/GigaBank.h"
#include "engine/GigaBankManager.h"
#include "engine/GigaDeck.h"
#include "engine/GigaDiskThread.h"
#include "engine/GigaPrefs.h"
#include "engine/GigaStream.h"
#include "engine/GigaTone.h"
#include "engine/GigaVoice.h"
#include "GigaLoaderTestBanks.h"
#include "support/TestSupport.h"

namespace {

// The process-wide objects in library-load order, and one initialised player.
struct Loader {
    GigaPrefs prefs;
    GigaBankManager manager;
    GigaDiskThread disk;
    loadertest::EventLog editor;
    GigaDeck deck;
    kivtest::TempDir dir;

    Loader()
    {
        deck.OnInit();
        deck.SetEditor(&editor);
    }
    ~Loader()
    {
        for (int i = 0; i < giga::kDeckTones; ++i)
            tone(i)->Clear();
        manager.QueuePlayer(&deck);
        manager.RunNow(false);
        deck.SetEditor(nullptr);
    }
    GigaTone* tone(int i) { return deck.GetGigaTone(i); }
    std::string Bank(const char* name, int instruments = 2, uint32_t frames = 2000)
    {
        std::string path = dir.File(name);
        EXPECT_TRUE(loadertest::WriteBank(path, instruments, 2, frames));
        return path;
    }
    void Load(bool search = false)
    {
        manager.QueuePlayer(&deck);
        manager.RunNow(search);
    }
};

}  // namespace

TEST(GigaBankManager, PartsOfOnePathShareOneCachedBank)
{
    Loader l;
    std::string path = l.Bank("Shared.gig");
    l.tone(0)->AddPart(path.c_str(), 0);
    l.tone(0)->AddPart(path.c_str(), 1);
    l.Load();
    ASSERT_EQ(l.manager.GetBankCount(), 1);
    GigaBank* bank = l.tone(0)->GetPart(0)->GetBank();
    ASSERT_NE(bank, nullptr);
    EXPECT_EQ(bank, l.tone(0)->GetPart(1)->GetBank());
    EXPECT_EQ(bank->GetRefCount(), 2);
    EXPECT_EQ(l.tone(0)->GetState(), giga::kToneLoaded);
    EXPECT_EQ(l.tone(0)->GetPart(0)->GetState(), giga::kPartLoaded);
    GigaBankManager::Stats stats;
    l.manager.GetStats(stats);
    EXPECT_EQ(stats.banks, 1);
    EXPECT_EQ(stats.programs, 2);
    EXPECT_EQ(stats.samples, 2);  // both instruments play the same two samples
    EXPECT_EQ(l.editor.CountLoaded(1), 1);
}

TEST(GigaBankManager, PassDeletesOnlyBanksWithoutUsers)
{
    Loader l;
    std::string a = l.Bank("A.gig");
    std::string b = l.Bank("B.gig");
    l.tone(0)->AddPart(a.c_str(), 0);
    l.tone(1)->AddPart(b.c_str(), 0);
    l.Load();
    ASSERT_EQ(l.manager.GetBankCount(), 2);

    l.tone(1)->Clear();
    l.Load();
    EXPECT_EQ(l.manager.GetBankCount(), 1);
    EXPECT_EQ(l.tone(1)->GetPartCount(), 0);
    EXPECT_STREQ(l.tone(0)->GetPart(0)->GetBank()->GetPath(), a.c_str());

    l.manager.RunNow(false);  // empty queue: nothing unused, nothing deleted
    EXPECT_EQ(l.manager.GetBankCount(), 1);
}

TEST(GigaBankManager, QueueOfLoadedTonesPostsAllLoadedWithoutStopping)
{
    Loader l;
    EXPECT_FALSE(l.deck.IsRunning());
    l.Load();
    EXPECT_FALSE(l.deck.IsRunning());  // nothing to load: never stopped and started
    EXPECT_EQ(l.editor.CountLoaded(1), 1);
}

TEST(GigaBankManager, FailuresEndInTheirStates)
{
    Loader l;
    std::string path = l.Bank("Two.gig", 2);
    // A bank that opens but whose instrument is damaged inside its region.
    gigtools::GigBuilder damaged;
    const int sample = damaged.AddSample(gigtools::GigSample::Tone("S", 1, 16, 44100, 60, 2000));
    gigtools::GigInstrument broken("Broken");
    broken.regions.push_back(gigtools::GigRegion::Single(0, 127, sample));
    damaged.AddInstrument(broken);
    gigtools::RiffNode tree = damaged.BuildTree();
    tree.Find("LIST", "3prg")->Children()[0].Children()[0].rawId = "w$mp";
    const std::string damagedPath = l.dir.File("Damaged.gig");
    ASSERT_TRUE(gigtools::WriteBytes(damagedPath, tree.Serialize()));

    // A missing file: part 3, tone 6, and the editor is told something is missing.
    l.tone(0)->AddPart(l.dir.File("Nowhere.gig").c_str(), 0);
    // An instrument index past the bank (another version of the file): the
    // part stays, failed, with its file and index; nothing is missing.
    const std::string versions = l.Bank("Versions.gig", 2);
    l.tone(1)->AddPart(versions.c_str(), 7);
    // An index with no path names no file: missing, never a null bank.
    GigaPart* noPath = l.tone(2)->AddPart(nullptr, 1);
    ASSERT_NE(noPath, nullptr);
    // A damaged instrument stays too, beside a layer that loads.
    l.tone(4)->AddPart(path.c_str(), 0);
    l.tone(4)->AddPart(damagedPath.c_str(), 0);
    l.Load();

    EXPECT_EQ(l.tone(0)->GetPart(0)->GetState(), giga::kPartMissing);
    EXPECT_EQ(l.tone(0)->GetState(), giga::kToneFailed);
    ASSERT_EQ(l.tone(1)->GetPartCount(), 1);
    GigaPart* past = l.tone(1)->GetPart(0);
    EXPECT_EQ(past->GetState(), giga::kPartFailed);
    EXPECT_STREQ(past->GetPath(), versions.c_str());
    EXPECT_EQ(past->GetProgramIndex(), 7);
    EXPECT_EQ(past->GetProgram(), nullptr);
    EXPECT_EQ(past->GetMissingPath(), nullptr);  // nothing to search for
    EXPECT_EQ(l.tone(1)->GetState(), giga::kToneFailed);
    EXPECT_EQ(l.tone(2)->GetPart(0)->GetState(), giga::kPartMissing);
    ASSERT_EQ(l.tone(4)->GetPartCount(), 2);
    EXPECT_EQ(l.tone(4)->GetPart(0)->GetState(), giga::kPartLoaded);
    EXPECT_EQ(l.tone(4)->GetPart(1)->GetState(), giga::kPartFailed);
    EXPECT_STREQ(l.tone(4)->GetPart(1)->GetPath(), damagedPath.c_str());
    EXPECT_EQ(l.tone(4)->GetState(), giga::kToneFailed);
    EXPECT_EQ(l.editor.CountLoaded(0), 1);
    EXPECT_TRUE(l.deck.HasFailedTone());

    // A failed part is not tried again by every pass, only when set again:
    // the right version of the file back, the instrument loads.
    l.tone(1)->SetState(giga::kToneToLoad);
    l.Load();
    EXPECT_EQ(past->GetState(), giga::kPartFailed);
    l.Bank("Versions.gig", 8);
    past->SetProgram(versions.c_str(), 7, false);
    l.tone(1)->SetState(giga::kToneToLoad);
    l.Load();
    EXPECT_EQ(past->GetState(), giga::kPartLoaded);
    EXPECT_STREQ(past->GetProgramName(), "Instrument 7");

    // Without any missing part a failure is still reported as one.
    l.tone(0)->Clear();
    l.tone(2)->Clear();
    l.tone(4)->Clear();
    l.tone(3)->AddPart(path.c_str(), 9);
    l.Load();
    EXPECT_EQ(l.tone(3)->GetState(), giga::kToneFailed);
    EXPECT_EQ(l.editor.CountLoaded(0), 4);  // other tones were still failed at every pass
    EXPECT_EQ(l.editor.CountLoaded(1), 0);
}

// A damaged bank gets one verdict however it is loaded: first (reading its
// sample list), from the cache on a second tone in the same pass, and again
// on a reload. Damage inside one wave silences that wave and the rest plays;
// a pool whose waves cannot be walked fails the load, and the bank keeps no
// half-read sample list for the next load to take as whole.
TEST(GigaBankManager, DamagedBanksGetOneVerdictOnEveryLoad)
{
    Loader l;
    using Damage = void (*)(gigtools::RiffNode&);
    struct Case {
        const char* name;
        Damage damage;
        int partState;
        int unusable;
    } cases[] = {
        {"FormatSizePlusOne", [](gigtools::RiffNode& t) {
             gigtools::RiffNode* fmt = t.Find("fmt ");
             fmt->hasSizeOverride = true;
             fmt->sizeOverride = fmt->PayloadSize() + 1;
         }, giga::kPartLoaded, 1},
        {"DataPastItsWave", [](gigtools::RiffNode& t) {
             gigtools::RiffNode* data = t.Find("data");
             data->hasSizeOverride = true;
             data->sizeOverride = data->PayloadSize() + 64;
         }, giga::kPartLoaded, 1},
        {"RateZero", [](gigtools::RiffNode& t) {
             for (int b = 4; b < 8; ++b)
                 t.Find("fmt ")->Data()[b] = 0;
         }, giga::kPartLoaded, 1},
        {"WaveMissing", [](gigtools::RiffNode& t) {
             std::vector<gigtools::RiffNode>& waves = t.Find("LIST", "wvpl")->Children();
             waves.erase(waves.begin());
         }, giga::kPartLoaded, 1},
        {"WaveListSizePlusOne", [](gigtools::RiffNode& t) {
             gigtools::RiffNode* wave = t.Find("LIST", "wave");
             wave->hasSizeOverride = true;
             wave->sizeOverride = wave->PayloadSize() + 1;
         }, giga::kPartFailed, 0},
    };
    const int count = static_cast<int>(std::size(cases));
    for (int i = 0; i < count; ++i) {
        gigtools::GigBuilder b;
        for (int s = 0; s < 3; ++s)
            b.AddSample(gigtools::GigSample::Tone(kivtest::Numbered("S", s), 1, 16, 44100, 48 + 12 * s, 2000));
        gigtools::GigInstrument ins("Three");
        for (int s = 0; s < 3; ++s)
            ins.regions.push_back(gigtools::GigRegion::Single(36 + 12 * s, 47 + 12 * s, s));
        b.AddInstrument(ins);
        gigtools::RiffNode tree = b.BuildTree();
        cases[i].damage(tree);
        const std::string path = l.dir.File(std::string(cases[i].name) + ".gig");
        ASSERT_TRUE(gigtools::WriteBytes(path, tree.Serialize()));
        l.tone(2 * i)->AddPart(path.c_str(), 0);
        l.tone(2 * i + 1)->AddPart(path.c_str(), 0);
    }
    for (int pass = 0; pass < 2; ++pass) {
        l.Load();
        for (int t = 0; t < 2 * count; ++t) {
            const Case& c = cases[t / 2];
            GigaPart* part = l.tone(t)->GetPart(0);
            ASSERT_NE(part, nullptr) << c.name;
            EXPECT_EQ(part->GetState(), c.partState) << c.name << " on tone " << t << ", pass " << pass;
            EXPECT_EQ(part->GetUnusableCount(), c.unusable) << c.name << " on tone " << t << ", pass " << pass;
            // A reload of every part on the next pass.
            const std::string path = part->GetPath();
            part->SetProgram(path.c_str(), 0, false);
            l.tone(t)->SetState(giga::kToneToLoad);
        }
    }
    // The failed bank read alone: no sample list is kept after the failure.
    GigaBank bank;
    ASSERT_TRUE(bank.Open(l.dir.File("WaveListSizePlusOne.gig").c_str()));
    EXPECT_EQ(bank.LoadProgram(0, nullptr), nullptr);
    EXPECT_FALSE(bank.HasSampleList());
    EXPECT_EQ(bank.LoadProgram(0, nullptr), nullptr);
}

TEST(GigaBankManager, NotEnoughMemoryEndsInState5AndKeepsThePart)
{
    Loader l;
    std::string path = l.Bank("Big.gig", 1, 40000);
    l.prefs.SetBudgetMB(-1);  // refuses even a charge below one megabyte
    l.tone(0)->AddPart(path.c_str(), 0);
    l.Load();
    EXPECT_EQ(l.tone(0)->GetState(), giga::kToneNoMemory);
    ASSERT_EQ(l.tone(0)->GetPartCount(), 1);
    EXPECT_EQ(l.tone(0)->GetPart(0)->GetState(), giga::kPartFailed);
    EXPECT_STREQ(l.tone(0)->GetPart(0)->GetPath(), path.c_str());
    EXPECT_EQ(l.prefs.GetUsedMB(), 0);
    EXPECT_EQ(l.editor.CountLoaded(0), 1);
    l.prefs.SetBudgetMB(16384);
}

TEST(GigaBankManager, RepeatedLoadAndClearOfSharedBanksLeavesNothingBehind)
{
    Loader l;
    // Short preload so that the samples stream and the disk thread runs.
    l.prefs.SetLmin(0.2f);
    l.prefs.SetLmax(0.2f);
    l.prefs.AfterLoad();
    std::string banks[3] = {l.Bank("One.gig", 3, 20000), l.Bank("Two.gig", 3, 20000),
                            l.Bank("Three.gig", 3, 20000)};
    for (int cycle = 0; cycle < 200; ++cycle) {
        for (int b = 0; b < 3; ++b)
            for (int p = 0; p < 3; ++p)
                l.tone(b)->AddPart(banks[b].c_str(), p);
        l.Load();
        ASSERT_EQ(l.manager.GetBankCount(), 3) << cycle;
        ASSERT_EQ(l.tone(0)->GetState(), giga::kToneLoaded) << cycle;
        ASSERT_GT(l.disk.GetUserCount(), 0);
        for (int b = 0; b < 3; ++b)
            l.tone(b)->Clear();
        l.Load();
        ASSERT_EQ(l.manager.GetBankCount(), 0) << cycle;
        ASSERT_EQ(l.prefs.GetUsedMB(), 0) << cycle;
        ASSERT_EQ(l.disk.GetUserCount(), 0) << cycle;
        ASSERT_EQ(l.disk.ActiveStreams(), 0) << cycle;
    }
    EXPECT_FALSE(l.disk.IsRunning());
    l.prefs.SetLmin(1.0f);
    l.prefs.SetLmax(3.0f);
    l.prefs.AfterLoad();
}

TEST(GigaBankManager, ConcurrentRequestsNeverOverlapAndNoneIsLost)
{
    GigaPrefs prefs;
    GigaBankManager manager;
    GigaDiskThread disk;
    kivtest::TempDir dir;
    std::string path = dir.File("Shared.gig");
    ASSERT_TRUE(loadertest::WriteBank(path, 2, 2, 4000));
    loadertest::OverlapView view;
    loadertest::EventLog editorA, editorB;
    GigaDeck a, b;
    a.OnInit();
    b.OnInit();
    a.SetEditor(&editorA);
    b.SetEditor(&editorB);
    for (int i = 0; i < giga::kDeckTones; ++i) {
        a.GetGigaTone(i)->SetView(&view);
        b.GetGigaTone(i)->SetView(&view);
    }
    constexpr int kRounds = 20;
    for (int round = 0; round < kRounds; ++round) {
        for (int t = 0; t < 3; ++t) {
            a.GetGigaTone(t)->Clear();
            a.GetGigaTone(t)->AddPart(path.c_str(), t % 2);
            b.GetGigaTone(t)->Clear();
            b.GetGigaTone(t)->AddPart(path.c_str(), (t + 1) % 2);
        }
        std::thread gui([&] {
            manager.QueuePlayer(&a);
            manager.StartLoading(false);
        });
        manager.QueuePlayer(&b);
        manager.RunNow(false);  // the host's thread, as for a state chunk
        gui.join();
        ASSERT_TRUE(manager.WaitIdle(10000));
        for (int t = 0; t < 3; ++t) {
            ASSERT_EQ(a.GetGigaTone(t)->GetState(), giga::kToneLoaded) << round;
            ASSERT_EQ(b.GetGigaTone(t)->GetState(), giga::kToneLoaded) << round;
        }
    }
    EXPECT_EQ(view.MaxConcurrent(), 1);
    EXPECT_GE(editorA.CountLoaded(1), kRounds);
    EXPECT_GE(editorB.CountLoaded(1), kRounds);
    for (int t = 0; t < 3; ++t) {
        a.GetGigaTone(t)->Clear();
        b.GetGigaTone(t)->Clear();
    }
    manager.QueuePlayer(&a);
    manager.QueuePlayer(&b);
    manager.RunNow(false);
    EXPECT_EQ(manager.GetBankCount(), 0);
    for (int i = 0; i < giga::kDeckTones; ++i) {
        a.GetGigaTone(i)->SetView(nullptr);
        b.GetGigaTone(i)->SetView(nullptr);
    }
}

TEST(GigaBankManager, RequestDuringRunningPassIsServedBeforeTheThreadEnds)
{
    Loader l;
    std::string path = l.Bank("Late.gig");
    // The late request comes from a second player: the first one's parts
    // belong to the pass that may be loading them.
    GigaDeck late;
    late.OnInit();
    loadertest::EventLog lateEditor;
    late.SetEditor(&lateEditor);
    for (int round = 0; round < 30; ++round) {
        l.tone(0)->Clear();
        l.tone(0)->AddPart(path.c_str(), round % 2);
        l.manager.QueuePlayer(&l.deck);
        l.manager.StartLoading(false);
        // A second request while the first pass may be finishing.
        late.GetGigaTone(0)->Clear();
        late.GetGigaTone(0)->AddPart(path.c_str(), (round + 1) % 2);
        l.manager.QueuePlayer(&late);
        l.manager.StartLoading(false);
        ASSERT_TRUE(l.manager.WaitIdle(10000));
        ASSERT_EQ(l.tone(0)->GetState(), giga::kToneLoaded) << round;
        ASSERT_EQ(late.GetGigaTone(0)->GetState(), giga::kToneLoaded) << round;
        ASSERT_EQ(late.GetGigaTone(0)->GetPartCount(), 1) << round;
    }
    EXPECT_EQ(lateEditor.CountLoaded(1), 30);
    late.SetEditor(nullptr);
}

TEST(GigaBankManager, BankStaysCachedWhileOneOfItsStreamsIsActive)
{
    Loader l;
    l.prefs.SetLmin(0.2f);  // everything past 0.2 s streams
    l.prefs.SetLmax(0.2f);
    l.prefs.AfterLoad();
    std::string a = l.Bank("A.gig", 1, 40000);
    std::string b = l.Bank("B.gig", 1, 40000);
    l.tone(0)->AddPart(a.c_str(), 0);
    l.tone(1)->AddPart(b.c_str(), 0);  // keeps the disk thread running
    l.Load();
    ASSERT_EQ(l.manager.GetBankCount(), 2);
    ASSERT_TRUE(l.disk.IsRunning());
    GigaSample* sample = l.tone(0)->GetPart(0)->GetBank()->GetSample(0);
    ASSERT_TRUE(sample->IsStreamed());

    // A voice still reads a stream of A when the last part using A goes.
    GigaVoice voice;
    ASSERT_TRUE(voice.OfferToDisk(sample));
    for (int i = 0; i < 12000 && !voice.GetStream(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_NE(voice.GetStream(), nullptr);
    l.tone(0)->Clear();
    l.Load();
    EXPECT_EQ(l.manager.GetBankCount(), 2);  // A has no user but its stream is active
    std::vector<float> out(256);
    EXPECT_TRUE(voice.GetStream()->Read(out.data(), nullptr, 256));

    voice.LeaveStream();
    l.disk.WaitPasses(3);
    l.manager.RunNow(false);
    ASSERT_EQ(l.manager.GetBankCount(), 1);
    EXPECT_STREQ(l.tone(1)->GetPart(0)->GetBank()->GetPath(), b.c_str());
    l.prefs.SetLmin(1.0f);
    l.prefs.SetLmax(3.0f);
    l.prefs.AfterLoad();
}

TEST(GigaBankManager, LibraryUnloadOrderWithALoadInFlightIsSafe)
{
    kivtest::TempDir dir;
    std::string path = dir.File("Stream.gig");
    ASSERT_TRUE(loadertest::WriteBank(path, 2, 2, 40000));
    for (int round = 0; round < 10; ++round) {
        // Built in library-load order, destroyed in reverse.
        auto prefs = std::make_unique<GigaPrefs>();
        prefs->SetLmin(0.2f);
        prefs->SetLmax(0.2f);
        prefs->AfterLoad();
        auto manager = std::make_unique<GigaBankManager>();
        auto disk = std::make_unique<GigaDiskThread>();
        {
            GigaDeck deck;
            deck.OnInit();
            deck.GetGigaTone(0)->AddPart(path.c_str(), 0);
            deck.GetGigaTone(1)->AddPart(path.c_str(), 1);
            manager->QueuePlayer(&deck);
            manager->StartLoading(false);
            if (round % 2)
                std::this_thread::sleep_for(std::chrono::milliseconds(round));
        }  // the plug-in closes while its load may run
        EXPECT_EQ(disk->GetUserCount(), 0);
        disk.reset();  // the loader's pass may still be deleting banks
        manager.reset();
        prefs->SetLmin(1.0f);
        prefs->SetLmax(3.0f);
        prefs->AfterLoad();
        prefs.reset();
    }
}
