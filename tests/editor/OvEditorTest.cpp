// ctest-label: thread
// The engine-side views: an editor bound to a studio or a single player, the
// engine's events reaching the editor's tick, editors and tone views that
// detach from the engine when they go (and leave it alone when the engine
// went first), and tone notifications from a rendering thread that only
// store values while the GUI thread paints and deletes the view.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "editor/EditorConst.h"
#include "editor/OvEditor.h"
#include "editor/OvView.h"
#include "editor/XTogLed.h"
#include "engine/OvStudio.h"
#include "engine/OvTestDoubles.h"
#include "gui/GuiTestLeaks.h"
#include "kiv/gui/XGraphic.h"
#include "support/TestSupport.h"

namespace {

using ovtest::TestPlayer;

class TestEditor : public OvEditor {
public:
    void OnPlayerSelected(OvPlayer* player) override { selected.push_back(player); }
    void OnEvent(XEvent& event) override { events.push_back(event); }
    std::vector<OvPlayer*> selected;
    std::vector<XEvent> events;
};

// A player of `tones` tones, built and started.
std::unique_ptr<TestPlayer> MakePlayer(int tones = 2, int voices = 8)
{
    auto player = std::make_unique<TestPlayer>(tones, voices);
    player->OnInit();
    player->OvStart();
    return player;
}

// A studio of `count` such players.
void AddPlayers(OvStudio& studio, int count)
{
    for (int i = 0; i < count; ++i)
        ASSERT_TRUE(studio.AddPlayer(MakePlayer()));
}

class ForeignTarget : public OvEventTarget {
public:
    bool PostEvent(const XEvent&) override { return true; }
};

}  // namespace

TEST(OvEditor, WithoutStudioReportsOnePlayerOnlyWhenOneIsSet)
{
    auto player = MakePlayer();  // outlives the editor, as a studio's players do
    TestEditor editor;
    EXPECT_EQ(editor.GetPlayerCount(), 0);
    EXPECT_EQ(editor.GetPlayer(0), nullptr);
    editor.SelectPlayer(player.get());
    EXPECT_EQ(editor.GetPlayerCount(), 1);
    // Without a studio every index names the current player.
    EXPECT_EQ(editor.GetPlayer(0), player.get());
    EXPECT_EQ(editor.GetPlayer(5), player.get());
    EXPECT_EQ(editor.GetPlayer(-1), player.get());
    ASSERT_EQ(editor.selected.size(), 1u);
    EXPECT_EQ(editor.selected[0], player.get());
}

TEST(OvEditor, StudioSelectsItsFirstPlayerAndIndexesPastTheEndGiveNull)
{
    OvStudio studio;
    AddPlayers(studio, 2);
    TestEditor editor;
    editor.SetStudio(&studio);
    ASSERT_EQ(editor.selected.size(), 1u);
    EXPECT_EQ(editor.selected[0], studio.GetPlayer(0));
    EXPECT_EQ(editor.GetPlayerCount(), 2);
    EXPECT_EQ(editor.GetPlayer(1), studio.GetPlayer(1));
    EXPECT_EQ(editor.GetPlayer(2), nullptr);
    EXPECT_EQ(editor.GetPlayer(-1), studio.GetPlayer(0));
    editor.SelectPlayer(studio.GetPlayer(1));
    EXPECT_EQ(editor.GetPlayer(-1), studio.GetPlayer(1));

    editor.SetStudio(nullptr);
    EXPECT_EQ(editor.GetPlayerCount(), 0);
    EXPECT_EQ(editor.GetPlayer(-1), nullptr);
    EXPECT_EQ(editor.selected.size(), 2u);
}

TEST(OvEditor, StudioWithoutPlayersSelectsNothing)
{
    OvStudio studio;
    TestEditor editor;
    editor.SetStudio(&studio);
    EXPECT_TRUE(editor.selected.empty());
    EXPECT_EQ(editor.GetCurrentPlayer(), nullptr);
    EXPECT_EQ(editor.GetPlayerCount(), 0);
}

TEST(OvEditor, EnginePostsReachOnEventAtTheNextTickAndAFullQueueRefuses)
{
    OvStudio studio;
    AddPlayers(studio, 1);
    TestEditor editor;
    editor.SetStudio(&studio);
    OvPlayer* player = studio.GetPlayer(0);
    player->SetEditor(&editor);
    EXPECT_TRUE(player->PostToEditor(XEvent{static_cast<int32_t>(fourcc("OvTL")), 1, 0}));
    EXPECT_TRUE(editor.events.empty());
    editor.Tick(1);
    ASSERT_EQ(editor.events.size(), 1u);
    EXPECT_EQ(editor.events[0].kind, static_cast<int32_t>(fourcc("OvTL")));
    EXPECT_EQ(editor.events[0].a, 1);

    for (int i = 0; i < editor.GetCapacity(); ++i)
        EXPECT_TRUE(editor.PostEvent(XEvent{5, i, 0}));
    EXPECT_FALSE(editor.PostEvent(XEvent{5, -1, 0}));
    editor.Tick(2);
    EXPECT_EQ(editor.events.size(), 1u + editor.GetCapacity());
}

TEST(OvEditor, DetachingClearsOnlyThePlayersThatPostToThisEditor)
{
    OvStudio studio;
    AddPlayers(studio, 2);
    ForeignTarget other;
    auto editor = std::make_unique<TestEditor>();
    editor->SetStudio(&studio);
    studio.GetPlayer(0)->SetEditor(editor.get());
    studio.GetPlayer(1)->SetEditor(&other);
    editor.reset();
    EXPECT_EQ(studio.GetPlayer(0)->GetEditor(), nullptr);
    EXPECT_EQ(studio.GetPlayer(1)->GetEditor(), &other);

    // A window that closes detaches the players; the editor lives on.
    TestEditor second;
    second.SetStudio(&studio);
    studio.GetPlayer(0)->SetEditor(&second);
    second.DetachFromPlayers();
    EXPECT_EQ(studio.GetPlayer(0)->GetEditor(), nullptr);
    EXPECT_TRUE(second.IsEngineAlive());
    EXPECT_EQ(second.GetStudio(), &studio);
}

namespace {

// Builds one tone view per tone of the current player, as the editor's
// rack does, each attached to its tone.
class RackEditor : public TestEditor {
public:
    void OnPlayerSelected(OvPlayer* player) override
    {
        TestEditor::OnPlayerSelected(player);
        for (int i = 0; player && i < player->GetToneCount(); ++i) {
            auto* view = new OvView(this, player->GetTone(i));
            AddChild(view, 0, 26 * i, 100, 25);
            view->AttachToTone(true);
        }
        player->SetEditor(this);
    }
};

std::unique_ptr<OvStudioView> MakeRackEditor(OvStudio* studio)
{
    auto editor = std::make_unique<RackEditor>();
    editor->SetStudio(studio);
    return editor;
}

}  // namespace

TEST(OvEditor, StudioOwnedEditorDiesAfterTheTonesWithoutTouchingThem)
{
    OvStudio::SetViewFactory(MakeRackEditor);
    {
        OvStudio studio;
        AddPlayers(studio, 1);
        auto* editor = static_cast<RackEditor*>(studio.GetEditor());
        ASSERT_NE(editor, nullptr);
        ASSERT_EQ(editor->CountChildren(), 2);
        OvTone* tone = studio.GetPlayer(0)->GetTone(1);
        EXPECT_EQ(tone->GetView(), static_cast<OvToneView*>(static_cast<OvView*>(editor->GetChild(1))));
        // The studio deletes its players (and tones) first, then closes and
        // deletes the editor: the views must not reach for their tones.
    }
    OvStudio::SetViewFactory(nullptr);
}

TEST(OvEditor, CloseViewForgetsTheEngine)
{
    OvStudio studio;
    AddPlayers(studio, 1);
    TestEditor editor;
    editor.SetStudio(&studio);
    studio.GetPlayer(0)->SetEditor(&editor);
    editor.CloseView();
    EXPECT_FALSE(editor.IsEngineAlive());
    EXPECT_EQ(editor.GetStudio(), nullptr);
    EXPECT_EQ(editor.GetPlayerCount(), 0);
    EXPECT_EQ(studio.GetPlayer(0)->GetEditor(), nullptr);
}

TEST(OvEditor, IdentifierIsCopiedWithinItsBuffer)
{
    OvEditor::SetIdentifier("com.quillane.tessivo");
    EXPECT_STREQ(OvEditor::GetIdentifier(), "com.quillane.tessivo");
    std::string huge(5000, 'x');
    OvEditor::SetIdentifier(huge.c_str());
    EXPECT_EQ(std::strlen(OvEditor::GetIdentifier()), static_cast<size_t>(editor::kIdentifierSize - 1));
    OvEditor::SetIdentifier(nullptr);
    EXPECT_STREQ(OvEditor::GetIdentifier(), "");
}

TEST(OvView, AttachesOnlyWithTheFlagAndDetachesWhenDeleted)
{
    auto player = MakePlayer();
    OvTone* tone = player->GetTone(0);
    auto* view = new OvView(nullptr, tone);
    view->AttachToTone(false);
    EXPECT_EQ(tone->GetView(), nullptr);
    view->AttachToTone(true);
    EXPECT_EQ(tone->GetView(), static_cast<OvToneView*>(view));
    view->AttachToTone(false);  // never detaches this way
    EXPECT_EQ(tone->GetView(), static_cast<OvToneView*>(view));
    delete view;
    EXPECT_EQ(tone->GetView(), nullptr);
    tone->Notify(kOvNotifyState, 8);  // reaches nobody

    OvView orphan(nullptr, nullptr);
    orphan.AttachToTone(true);
    orphan.OnToneEvent(nullptr, kOvNotifyProgress, 50);
}

TEST(OvView, DeletingAViewThatIsNoLongerTheTonesKeepsTheNewOne)
{
    auto player = MakePlayer();
    OvTone* tone = player->GetTone(0);
    auto* first = new OvView(nullptr, tone);
    first->AttachToTone(true);
    OvView second(nullptr, tone);
    second.AttachToTone(true);
    delete first;
    EXPECT_EQ(tone->GetView(), static_cast<OvToneView*>(&second));
}

namespace {

// A tone view whose fields are plain: a notification that outlives the
// view's deletion reads and writes freed memory.
class TallyView : public OvView {
public:
    explicit TallyView(OvTone* tone) : OvView(nullptr, tone) {}
    ~TallyView() override { DetachFromTone(); }
    void OnToneEvent(OvTone*, uint32_t code, int value) override
    {
        last = code;
        total += value;
    }
    uint32_t last = 0;
    long total = 0;
};

}  // namespace

TEST(OvView, ViewsDeletedWhileTheLoaderNotifiesAreNeverCalledAfterwards)
{
    auto player = MakePlayer();
    OvTone* tone = player->GetTone(0);
    std::atomic<bool> quit{false};
    // The loader reports progress as fast as it can.
    std::thread loader([&] {
        for (int n = 0; !quit.load(std::memory_order_relaxed); ++n)
            tone->Notify(kOvNotifyProgress, n % 101);
    });
    for (int i = 0; i < 300; ++i) {
        auto* view = new TallyView(tone);
        view->AttachToTone(true);
        std::this_thread::yield();
        delete view;
    }
    quit.store(true);
    loader.join();
    EXPECT_EQ(tone->GetView(), nullptr);
    EXPECT_EQ(tone->GetNotificationsInFlight(), 0);
}

namespace {

// A tone view whose activity LED follows the tone's 'ovma'.
class LedView : public OvView {
public:
    explicit LedView(OvTone* tone) : OvView(nullptr, tone) { led = new XMyLed(this, 0, 0, 15, 16); }
    ~LedView() override { DetachFromTone(); }
    void OnToneEvent(OvTone*, uint32_t code, int value) override
    {
        if (code == kOvNotifyNotesHeld) {
            led->SetState(value);
            changes.fetch_add(1, std::memory_order_relaxed);
        }
    }
    XMyLed* led;
    std::atomic<int> changes{0};
};

}  // namespace

TEST(OvView, NotificationsFromTheAudioThreadOnlyStoreAndStopWhenTheViewIsDeleted)
{
    auto player = MakePlayer(1, 8);
    auto buses = ovtest::MakeBuses(64);
    XView root;
    root.SetBounds(0, 0, 100, 30);
    root.SetVisible(true);
    auto* view = new LedView(player->GetTone(0));
    root.AddChild(view, 0, 0, 100, 25);
    view->AttachToTone(true);

    std::atomic<bool> stop{false};
    std::atomic<int> blocks{0};
    std::atomic<long> allocations{0};
    std::thread audio([&] {
        kivtest::AllocCounter counter;
        while (!stop.load(std::memory_order_acquire)) {
            player->NoteOn(0, 60, 100, 0);
            player->Render(buses.get(), 64);
            player->NoteOff(0, 60, 0, 0);
            player->Render(buses.get(), 64);
            blocks.fetch_add(1, std::memory_order_release);
        }
        allocations.store(counter.Count());
    });

    XGraphic graphic;
    graphic.BeginPaint(nullptr, 100, 30);
    // Bounded by a generous deadline, not a count of paints: a loaded
    // machine may run the audio thread only now and then.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (view->changes.load(std::memory_order_relaxed) < 20 && std::chrono::steady_clock::now() < deadline) {
        root.PaintTree(graphic, false);
        std::this_thread::yield();
    }
    EXPECT_GE(view->changes.load(), 20);
    delete view;
    EXPECT_EQ(player->GetTone(0)->GetView(), nullptr);
    int after = blocks.load(std::memory_order_acquire);
    while (blocks.load(std::memory_order_acquire) < after + 20)
        root.PaintTree(graphic, false);
    stop.store(true, std::memory_order_release);
    audio.join();
    EXPECT_EQ(allocations.load(), 0);
}
