// ctest-label: thread
// The editor's main window on the headless back end: its layout for one and
// for two players, the engine's events and the modal dialogs they open,
// performances saved and opened through scripted dialog answers and a
// dialog left open while the editor runs, the confirm flow, the pane and
// mixer switches and the port LEDs.
#include "editor/GigaEditor.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>
#include <string>

#include "editor/GMixer.h"
#include "editor/WConfirm.h"
#include "editor/WMissing.h"
#include "editor/WindowsConst.h"
#include "editor/XGigaRack.h"
#include "editor/XSetValue.h"
#include "editor/XTabPorts.h"
#include "editor/XViewBase.h"
#include "editor/XViewNav.h"
#include "engine/GigaBankHooks.h"
#include "engine/GigaBankManager.h"
#include "engine/GigaDeck.h"
#include "engine/GigaDiskThread.h"
#include "engine/GigaLoaderTestBanks.h"
#include "engine/GigaPart.h"
#include "engine/GigaPrefs.h"
#include "engine/GigaStudio.h"
#include "engine/GigaTone.h"
#include "gig/GigFixtures.h"
#include "kiv/gui/HeadlessBackend.h"
#include "kiv/gui/XButton.h"
#include "kiv/gui/XKeyboard88.h"
#include "kiv/gui/XPane.h"
#include "kiv/gui/XViewPort.h"
#include "support/TestSupport.h"
#include "support/XvfbServer.h"

using namespace editor;

namespace {

// The process-wide engine objects, a bank, a studio and its editor.
struct Env {
    HeadlessBackend backend;
    GigaPrefs prefs;
    GigaBankManager manager;
    GigaDiskThread disk;
    kivtest::TempDir dir;
    std::string bank;
    std::unique_ptr<GigaStudio> studio;
    GigaEditor* editor = nullptr;

    explicit Env(int players = 1)
    {
        XBackend::Install(&backend);
        OvStudio::SetViewFactory(&GigaEditor::Create);
        bank = dir.File("Strings.gig");
        EXPECT_TRUE(loadertest::WriteBank(bank, 3, 2, 2000));
        studio = GigaStudio::Create();
        for (int i = 1; i < players; ++i) {
            auto deck = std::make_unique<GigaDeck>();
            deck->OnInit();
            studio->AddPlayer(std::move(deck));
        }
        editor = dynamic_cast<GigaEditor*>(studio->GetEditor());
    }
    ~Env()
    {
        unsetenv("KIV_DIALOG_ANSWER");
        unsetenv("KIV_DIALOG_PROGRAM");
        GigaDeck* deck = studio->GetDeck(0);
        for (int i = 0; i < deck->GetToneCount(); ++i)
            deck->GetGigaTone(i)->Clear();
        manager.WaitIdle(10000);
        manager.QueuePlayer(deck);
        manager.RunNow(false);
        studio.reset();
        OvStudio::SetViewFactory(nullptr);
        XBackend::Install(nullptr);
    }
    GigaDeck* deck() { return studio->GetDeck(0); }
    GigaTone* tone(int i) { return deck()->GetGigaTone(i); }
    // Loads an instrument into tone i on this thread.
    void Load(int i, const std::string& path, int program = 0)
    {
        manager.WaitIdle(10000);
        tone(i)->AddPart(path.c_str(), program);
        manager.QueueTone(tone(i));
        manager.RunNow(false);
    }
    void Tick(int n = 1)
    {
        for (int i = 0; i < n; ++i) {
            editor->Tick(i + 1);
            // The units' tick work reads the tones' parts, which a loader
            // pass started by the tick may still be replacing.
            manager.WaitIdle(10000);
            editor->OnIdle();
        }
    }
    void Answer(const std::string& path) { setenv("KIV_DIALOG_ANSWER", (path + "\n").c_str(), 1); }
    void CloseModal(int result)
    {
        ASSERT_NE(editor->GetModalChild(), nullptr);
        editor->GetModalChild()->Close(result);
        Tick();
    }
};

XButton* Button(GigaEditor* e, int n) { return e->GetToolButton(n); }

// A press as the user makes it: the toggle flips, the editor hears it.
void Press(GigaEditor* e, int n)
{
    XButton* b = Button(e, n);
    if (b->IsToggleMode())
        b->SetPressed(!b->GetPressed());
    e->Notify(b, b->IsToggleMode() ? xwidget::kCodeMouseDown : xwidget::kCodeMouseUp, b->GetPressed());
}

}  // namespace

TEST(GigaEditor, OnePlayerIsSmallerAndHasNoPortTabs)
{
    Env env;
    ASSERT_NE(env.editor, nullptr);
    EXPECT_EQ(env.editor->GetWidth(), kEditorWidth);
    EXPECT_EQ(env.editor->GetHeight(), kEditorHeight);
    EXPECT_EQ(env.editor->GetPortTabs(), nullptr);
    EXPECT_STREQ(env.editor->GetText(), "Tessivo 2.1.2");
    EXPECT_STREQ(OvEditor::GetIdentifier(), "com.quillane.tessivo");
    // Ten buttons 56 apart from x 5; browse, search, mixer and expand toggle.
    for (int n = 0; n < kToolButtonCount; ++n) {
        XButton* b = Button(env.editor, n);
        ASSERT_NE(b, nullptr);
        EXPECT_EQ(b->GetX(), 56 * n + 5);
        EXPECT_EQ(b->GetWidth(), 59);
        EXPECT_EQ(b->IsToggleMode(), n == kBrowse || n == kSearch || n == kMixer || n == kExpand) << n;
    }
    // The editor is the player's editor and rack 0 holds its 16 units.
    EXPECT_EQ(env.deck()->GetEditor(), static_cast<OvEventTarget*>(env.editor));
    ASSERT_NE(env.editor->GetCurrentRack(), nullptr);
    EXPECT_EQ(env.editor->GetCurrentRack()->GetUnitCount(), env.deck()->GetToneCount());
    EXPECT_TRUE(env.editor->GetCurrentRack()->GetViewPort()->IsVisible());
    EXPECT_FALSE(env.editor->GetMixer()->IsVisible());
    EXPECT_TRUE(env.editor->GetKeyboardPane()->IsVisible());
}

TEST(GigaEditor, TwoPlayersGetPortTabsNumberedFromOne)
{
    Env env(2);
    EXPECT_EQ(env.editor->GetHeight(), kEditorHeightPorts);
    XTabPorts* tabs = env.editor->GetPortTabs();
    ASSERT_NE(tabs, nullptr);
    ASSERT_EQ(tabs->GetCount(), 2);
    EXPECT_STREQ(tabs->GetLabel(0), "MIDI port 1");
    EXPECT_STREQ(tabs->GetLabel(1), "MIDI port 2");
    // Choosing tab 2 shows the second rack in place of the first.
    tabs->Select(1);
    EXPECT_EQ(env.editor->GetCurrentRackIndex(), 1);
    EXPECT_TRUE(env.editor->GetRack(1)->GetViewPort()->IsVisible());
    EXPECT_FALSE(env.editor->GetRack(0)->GetViewPort()->IsVisible());
}

TEST(GigaEditor, PortLedSilencesAndDisablesThePlayerThenEnablesIt)
{
    Env env(2);
    OvPlayer* second = env.studio->GetPlayer(1);
    second->OvStart();
    ASSERT_TRUE(second->IsMidiEnabled());
    env.editor->Notify(env.editor->GetPortTabs(), kCodeMidiPort, 1);
    EXPECT_FALSE(second->IsMidiEnabled());
    env.editor->Notify(env.editor->GetPortTabs(), kCodeMidiPort, 1);
    EXPECT_TRUE(second->IsMidiEnabled());
    // A port without a player changes nothing.
    env.editor->Notify(env.editor->GetPortTabs(), kCodeMidiPort, 5);
}

TEST(GigaEditor, LoadedToneBecomesTheSelectedUnitAndSetsTheKeyboardRanges)
{
    Env env;
    env.Load(2, env.bank, 1);
    ASSERT_EQ(env.tone(2)->GetState(), 8);
    env.Tick(2);  // the unit's refresh tells the editor 'OvVs'
    EXPECT_EQ(env.editor->GetSelectedUnit(), 2);
    EXPECT_EQ(env.editor->GetSelectedTone(), env.tone(2));
    int low = -1, high = -1;
    env.editor->GetKeyboard()->GetPlayRange(low, high);
    EXPECT_EQ(low, env.tone(2)->GetLowestKey());
    EXPECT_EQ(high, env.tone(2)->GetHighestKey());
    // The channel box picks another unit; an empty one clears the ranges.
    env.editor->Notify(env.editor->GetChannelBox(), kCodeSetValue, 5);
    EXPECT_EQ(env.editor->GetSelectedUnit(), 4);
    env.editor->GetKeyboard()->GetPlayRange(low, high);
    EXPECT_EQ(low, high);
}

TEST(GigaEditor, SaveAndOpenPerformanceRoundTripThroughTheDialogs)
{
    Env env;
    env.Load(0, env.bank, 2);
    std::string file = env.dir.File("song.tv2");
    env.Answer(file);
    EXPECT_FALSE(env.editor->Save(true)) << "the save waits for the dialog's answer";
    env.Tick();
    EXPECT_STREQ(env.editor->GetPerformancePath(), file.c_str());

    env.editor->ClearPerformance();
    env.manager.WaitIdle(10000);
    EXPECT_EQ(env.tone(0)->GetPartCount(), 0);

    env.editor->OpenFlow(kResultNo);  // straight to the dialog, no save
    env.Tick();
    env.manager.WaitIdle(10000);
    ASSERT_EQ(env.tone(0)->GetPartCount(), 1);
    EXPECT_STREQ(env.tone(0)->GetPart(0)->GetPath(), env.bank.c_str());
    EXPECT_STREQ(env.editor->GetPerformancePath(), file.c_str());

    // Cancelled dialogs change nothing.
    setenv("KIV_DIALOG_ANSWER", "", 1);
    EXPECT_FALSE(env.editor->Save(true));
    env.Tick();
    env.editor->OpenFlow(kResultNo);
    env.Tick();
    EXPECT_STREQ(env.editor->GetPerformancePath(), file.c_str());
}

TEST(GigaEditor, OpenDialogLeavesTheEditorRunningAndASecondOpenLeavesItAlone)
{
    Env env;
    env.Load(0, env.bank, 2);
    std::string file = env.dir.File("song.tv2");
    env.Answer(file);
    env.editor->Save(true);
    env.Tick();
    unsetenv("KIV_DIALOG_ANSWER");
    env.editor->ClearPerformance();
    env.manager.WaitIdle(10000);

    // A dialog that stays open until the test lets it answer; each start
    // leaves a line.
    std::string program = env.dir.File("dialog.sh");
    std::string script = "#!/bin/sh\necho started >> '" + env.dir.File("starts") + "'\nwhile [ ! -e '" +
                         env.dir.File("go") + "' ]; do sleep 0.02; done\nprintf '%s\\n' '" + file + "'\n";
    ASSERT_TRUE(kivtest::WriteFile(program, script.data(), script.size()));
    chmod(program.c_str(), 0755);
    setenv("KIV_DIALOG_PROGRAM", program.c_str(), 1);
    env.editor->OpenFlow(kResultNo);
    env.Tick(3);  // the editor goes on while the dialog is open
    env.editor->OpenFlow(kResultNo);
    ASSERT_TRUE(kivtest::WriteFile(env.dir.File("go"), "", 0));
    EXPECT_TRUE(kivtest::WaitFor(5000, [&] {
        XFileNav::Poll();
        env.Tick();
        return env.tone(0)->GetPartCount() == 1;
    }));
    unsetenv("KIV_DIALOG_PROGRAM");
    EXPECT_STREQ(env.editor->GetPerformancePath(), file.c_str());
    EXPECT_EQ(kivtest::ReadFile(env.dir.File("starts")), "started\n") << "the open dialog was not replaced";
}

TEST(GigaEditor, OlderPerformanceIsSavedAsTv2WithoutDialogOrOverwriting)
{
    Env env;
    env.Load(0, env.bank, 1);
    std::string older = env.dir.File("old.tvp");
    ASSERT_TRUE(env.deck()->SaveRiff(older.c_str()));
    std::string before = kivtest::ReadFile(older);
    env.deck()->ClearPerformance();
    env.manager.WaitIdle(10000);

    ASSERT_TRUE(env.editor->OpenPerformance(older.c_str()));
    env.manager.WaitIdle(10000);
    EXPECT_EQ(env.tone(0)->GetPartCount(), 1) << "the older file's instruments are loaded";
    std::string expected = env.dir.File("old.tv2");
    EXPECT_STREQ(env.editor->GetPerformancePath(), expected.c_str());

    setenv("KIV_DIALOG_ANSWER", "", 1);  // any dialog would cancel the save
    EXPECT_TRUE(env.editor->Save(false));
    EXPECT_FALSE(kivtest::ReadFile(expected).empty());
    EXPECT_EQ(kivtest::ReadFile(older), before);
}

TEST(GigaEditor, FailedOpenKeepsThePathTheNextSaveWrites)
{
    Env env;
    std::string good = env.dir.File("good.tv2");
    env.Answer(good);
    env.editor->Save(true);
    env.Tick();
    ASSERT_FALSE(kivtest::ReadFile(good).empty());
    std::string broken = env.dir.File("broken.tv2");
    kivtest::WriteFile(broken, "not a performance", 17);
    EXPECT_FALSE(env.editor->OpenPerformance(broken.c_str()));
    env.Answer(broken);
    env.editor->OpenFlow(kResultNo);
    env.Tick();
    EXPECT_STREQ(env.editor->GetPerformancePath(), good.c_str());
    EXPECT_EQ(kivtest::ReadFile(broken), "not a performance");
}

TEST(GigaEditor, ConfirmCancelDoesNothingAndNoClearsWithoutSaving)
{
    Env env;
    env.Load(0, env.bank, 0);
    ASSERT_TRUE(env.deck()->IsModified());
    setenv("KIV_DIALOG_ANSWER", "", 1);

    Press(env.editor, kNew);
    ASSERT_NE(env.editor->GetModalChild(), nullptr);
    EXPECT_EQ(env.editor->GetModalChild()->GetModalTag(), kTagNewConfirm);
    EXPECT_NE(dynamic_cast<WConfirm*>(env.editor->GetModalChild()), nullptr);
    env.CloseModal(kResultCancel);
    EXPECT_EQ(env.editor->GetModalChild(), nullptr);
    EXPECT_EQ(env.tone(0)->GetPartCount(), 1);

    // "Yes" with a save the user cancels keeps the performance too.
    Press(env.editor, kNew);
    env.CloseModal(kResultYes);
    env.Tick();
    EXPECT_EQ(env.tone(0)->GetPartCount(), 1);

    Press(env.editor, kNew);
    env.CloseModal(kResultNo);
    env.manager.WaitIdle(10000);
    EXPECT_EQ(env.tone(0)->GetPartCount(), 0);
}

TEST(GigaEditor, NewConfirmYesSavesUnderTheChosenNameThenClears)
{
    Env env;
    env.Load(0, env.bank, 0);
    std::string saved = env.dir.File("kept.tv2");
    env.Answer(saved);
    Press(env.editor, kNew);
    env.CloseModal(kResultYes);
    EXPECT_EQ(env.tone(0)->GetPartCount(), 1) << "nothing is cleared before the dialog answers";
    env.Tick();
    env.manager.WaitIdle(10000);
    EXPECT_FALSE(kivtest::ReadFile(saved).empty());
    EXPECT_EQ(env.tone(0)->GetPartCount(), 0);
}

TEST(GigaEditor, OpenConfirmYesSavesThenOpens)
{
    Env env;
    env.Load(0, env.bank, 0);
    std::string saved = env.dir.File("first.tv2");
    env.Answer(saved);
    Press(env.editor, kOpen);
    ASSERT_NE(env.editor->GetModalChild(), nullptr);
    EXPECT_EQ(env.editor->GetModalChild()->GetModalTag(), kTagOpenConfirm);
    env.CloseModal(kResultYes);  // saves to the answer, then opens it again
    env.Tick();
    env.manager.WaitIdle(10000);
    EXPECT_FALSE(kivtest::ReadFile(saved).empty());
    EXPECT_STREQ(env.editor->GetPerformancePath(), saved.c_str());
    EXPECT_EQ(env.tone(0)->GetPartCount(), 1);
}

TEST(GigaEditor, MissingFilesWindowListsMissingPartsAndIgnoreEmptiesThem)
{
    Env env;
    // A load that failed with no file missing (too little memory, a damaged
    // bank) has nothing to search for: no window, however it is reported.
    env.Load(0, env.bank, 0);
    env.tone(0)->SetState(giga::kToneFailed);
    for (int32_t kind : {kEventViewsBuilt, kEventToneLoaded}) {
        XEvent report;
        report.kind = kind;
        report.a = 0;
        env.editor->PostEvent(report);
        env.Tick();
        EXPECT_EQ(env.editor->GetModalChild(), nullptr) << "event " << kind;
    }

    std::string gone = env.dir.File("gone.gig");
    env.manager.WaitIdle(10000);
    env.tone(1)->AddPart(gone.c_str(), 0);
    env.manager.QueueTone(env.tone(1));
    env.manager.RunNow(true);  // the search marks the part missing
    ASSERT_EQ(env.tone(1)->GetPart(0)->GetState(), 3);

    XEvent loaded;
    loaded.kind = kEventToneLoaded;
    loaded.a = 0;
    env.editor->PostEvent(loaded);
    env.Tick();
    auto* window = dynamic_cast<WMissing*>(env.editor->GetModalChild());
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->GetModalTag(), kMissingViewId);
    EXPECT_EQ(window->GetMissingCount(), 1);

    // A second report while it is open opens no second window.
    env.editor->PostEvent(loaded);
    env.Tick();
    EXPECT_EQ(env.editor->GetModalChild(), window);
    EXPECT_EQ(env.editor->GetWaitingModalChild(), nullptr);

    env.CloseModal(kResultNo);
    env.manager.WaitIdle(10000);
    EXPECT_EQ(env.tone(1)->GetPart(0) ? env.tone(1)->GetPart(0)->GetPath() : nullptr, nullptr);
}

TEST(GigaEditor, LoaderReportDoesNotCloseAnOpenConfirm)
{
    Env env;
    env.Load(0, env.bank, 0);
    // A failed load with nothing missing (memory, a malformed file) opens
    // no empty missing-files window.
    XEvent loaded;
    loaded.kind = kEventToneLoaded;
    loaded.a = 0;
    env.editor->PostEvent(loaded);
    env.Tick(2);
    EXPECT_EQ(env.editor->GetModalChild(), nullptr);

    setenv("KIV_DIALOG_ANSWER", "", 1);
    Press(env.editor, kNew);
    ASSERT_EQ(env.editor->GetModalChild()->GetModalTag(), kTagNewConfirm);
    env.tone(0)->GetPart(0)->SetState(giga::kPartMissing);  // the report names a missing file
    env.editor->PostEvent(loaded);
    env.Tick(2);
    // The question stays; the performance is not cleared as if "No" was said.
    ASSERT_NE(env.editor->GetModalChild(), nullptr);
    EXPECT_EQ(env.editor->GetModalChild()->GetModalTag(), kTagNewConfirm);
    EXPECT_EQ(env.tone(0)->GetPartCount(), 1);
    // Once it is answered, the missing-files window follows.
    env.CloseModal(kResultCancel);
    env.Tick();
    ASSERT_NE(env.editor->GetModalChild(), nullptr);
    EXPECT_EQ(env.editor->GetModalChild()->GetModalTag(), kMissingViewId);
}

TEST(GigaEditor, BrowseWhileSearchShownReleasesSearchAndKeepsTheShrunkRack)
{
    Env env;
    XViewPort* port = env.editor->GetCurrentRack()->GetViewPort();
    Press(env.editor, kSearch);
    EXPECT_TRUE(env.editor->GetSearch()->IsVisible());
    EXPECT_FALSE(env.editor->GetKeyboardPane()->IsVisible());
    EXPECT_EQ(port->GetHeight(), kRackShrunkHeight);

    Press(env.editor, kBrowse);
    EXPECT_TRUE(env.editor->GetBrowser()->IsVisible());
    EXPECT_FALSE(env.editor->GetSearch()->IsVisible());
    EXPECT_EQ(Button(env.editor, kSearch)->GetPressed(), 0);
    EXPECT_EQ(port->GetHeight(), kRackShrunkHeight);

    Press(env.editor, kBrowse);
    EXPECT_FALSE(env.editor->GetBrowser()->IsVisible());
    EXPECT_TRUE(env.editor->GetKeyboardPane()->IsVisible());
    EXPECT_EQ(port->GetHeight(), kRackHeight);
}

TEST(GigaEditor, MixerWhileBrowserShownReleasesBrowseAndTakesTheRacksPlace)
{
    Env env;
    XViewPort* port = env.editor->GetCurrentRack()->GetViewPort();
    Press(env.editor, kBrowse);
    Press(env.editor, kMixer);
    EXPECT_EQ(Button(env.editor, kBrowse)->GetPressed(), 0);
    EXPECT_FALSE(env.editor->GetBrowser()->IsVisible());
    EXPECT_TRUE(env.editor->GetKeyboardPane()->IsVisible());
    EXPECT_TRUE(env.editor->GetMixer()->IsVisible());
    EXPECT_FALSE(port->IsVisible());
    Press(env.editor, kMixer);
    EXPECT_FALSE(env.editor->GetMixer()->IsVisible());
    EXPECT_TRUE(port->IsVisible());
    // The browser's double-click code toggles the pane and the button.
    env.editor->Notify(env.editor->GetCurrentRack(), kCodeBrowse, 0);
    EXPECT_TRUE(env.editor->GetBrowser()->IsVisible());
    EXPECT_EQ(Button(env.editor, kBrowse)->GetPressed(), 1);
}

TEST(GigaEditor, ClosingDetachesThePlayersAndShowingAttachesThemAgain)
{
    Env env;
    env.editor->OnClosing();
    EXPECT_EQ(env.deck()->GetEditor(), nullptr);
    env.editor->OnShow();
    EXPECT_EQ(env.deck()->GetEditor(), static_cast<OvEventTarget*>(env.editor));
}

TEST(GigaEditor, MissingExtensionFileReachesTheMissingFilesWindowAndIsUsedWhereFound)
{
    Env env;
    const std::string bank = env.dir.File("Extension Bank.gig");
    ASSERT_TRUE(gigtools::ExtensionFixture().bank.Write(bank));
    const std::string extension = env.dir.File("Extension Bank.gx01");
    const std::string moved = env.dir.File("moved");
    ASSERT_EQ(mkdir(moved.c_str(), 0755), 0);
    ASSERT_EQ(rename(extension.c_str(), (moved + "/Extension Bank.gx01").c_str()), 0);

    env.Load(2, bank);  // the loader tells the editor that files are missing
    env.Tick();
    auto* window = dynamic_cast<WMissing*>(env.editor->GetModalChild());
    ASSERT_NE(window, nullptr);
    ASSERT_EQ(window->GetMissingCount(), 1);
    EXPECT_STREQ(window->GetList()->GetText(0), extension.c_str());
    GigaPart* part = env.tone(2)->GetPart(0);
    EXPECT_EQ(part->GetUnusableCount(), 2);

    // Ignored, the part plays what it has, and later loads do not ask again.
    env.CloseModal(kResultNo);
    env.manager.WaitIdle(10000);
    EXPECT_EQ(env.tone(2)->GetPart(0), part);
    EXPECT_EQ(part->GetMissingPath(), nullptr);
    env.Load(3, env.bank);
    env.Tick();
    EXPECT_EQ(env.editor->GetModalChild(), nullptr);

    // Loaded again, it is asked for again, and searched for.
    part->SetPath(bank.c_str());
    env.tone(2)->SetState(giga::kToneToLoad);
    env.manager.QueueTone(env.tone(2));
    env.manager.RunNow(false);
    env.Tick();
    window = dynamic_cast<WMissing*>(env.editor->GetModalChild());
    ASSERT_NE(window, nullptr);

    ASSERT_TRUE(window->StartSearch(moved.c_str()));
    for (int i = 0; i < 60000 && window->IsSearching(); ++i) {
        window->Tick(i);
        usleep(1000);
    }
    ASSERT_TRUE(window->IsCloseRequested());
    EXPECT_EQ(window->GetCloseResult(), kResultYes);
    env.Tick(2);
    env.manager.WaitIdle(10000);
    EXPECT_EQ(env.editor->GetModalChild(), nullptr);
    EXPECT_EQ(env.tone(2)->GetPart(0), part);
    EXPECT_EQ(part->GetState(), giga::kPartLoaded);
    EXPECT_EQ(part->GetUnusableCount(), 0);
    EXPECT_EQ(part->GetMissingPath(), nullptr);
}
