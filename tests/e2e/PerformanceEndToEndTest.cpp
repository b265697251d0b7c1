// Performances, presets and missing files as a musician meets them: tessivo.so
// through its VST face, its editor in a real window on a private X server,
// toolbar, part menu, dialogs and stack toggle pressed with real pointer
// input, file dialogs answered through the scripted answer, and the outcome
// checked on disk, in the host's chunk and in the audio. Screens of the
// missing-files window, the stacked view, a failed save and open, the
// settings and the about box go to <build>/e2e-screens.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "e2e/EditorSession.h"
#include "editor/EditorConst.h"
#include "editor/GigaEditorConst.h"
#include "gig/GigFixtures.h"
#include "kiv/file/Riff.h"
#include "support/TestSupport.h"
#include "support/PipeGuard.h"

using e2e::EditorSession;
using e2e::Point;
using e2e::ViewTree;

namespace {

using kivtest::Exists;

std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The demo drum's key (the piano plays everywhere).
constexpr int kDrumKey = 36;

// Part menu entries, from the top.
enum { kMenuLoad = 0, kMenuUnload, kMenuLoadPreset, kMenuSavePreset };

class PerformanceEndToEnd : public ::testing::Test {
protected:
    // Whether the host opens the editor before anything else happens.
    virtual bool EditorAtStart() const { return true; }
    void SetUp() override
    {
        m_path = getenv("PATH") ? getenv("PATH") : "";
        if (!s.Start(EditorAtStart())) {
            if (!s.Error().empty())
                FAIL() << s.Error();
            GTEST_SKIP() << s.SkipReason();
        }
    }
    void TearDown() override
    {
        unsetenv("KIV_DIALOG_ANSWER");
        unsetenv("KIV_DIALOG_PROGRAM");
        setenv("PATH", m_path.c_str(), 1);
    }

    // A demo bank written into `folder` (made when missing); its path.
    std::string Bank(const gigtools::GigFixture& fixture, const std::string& folder)
    {
        mkdir(folder.c_str(), 0755);
        const std::string path = folder + "/" + fixture.stem + ".gig";
        EXPECT_TRUE(fixture.bank.Write(path)) << path;
        return path;
    }
    std::string Piano(const std::string& folder) { return Bank(gigtools::DemoPianoFixture(), folder); }
    std::string Drum(const std::string& folder) { return Bank(gigtools::RoundRobinDrumFixture(), folder); }
    std::string Pad(const std::string& folder) { return Bank(gigtools::StereoPadFixture(), folder); }

    // The host restores a project: a state chunk (the older RIFF form) whose
    // tone i plays instrument 0 of parts[k].second for parts[k].first == i,
    // as layers in the order given.
    void SetChunk(const std::vector<std::pair<int, std::string>>& parts)
    {
        const std::string file = s.Scratch() + "/chunk.riff";
        CRiffWriter w;
        ASSERT_TRUE(w.OpenWrite(file.c_str()));
        w.OpenChunk("RIFF", "OvGm");
        w.OpenChunk("LIST", "tone");
        std::vector<int> written;
        for (const auto& entry : parts) {
            const int tone = entry.first;
            if (std::find(written.begin(), written.end(), tone) != written.end())
                continue;
            written.push_back(tone);
            w.OpenChunk("RIFF", "tone");
            w.OpenChunk("indx");
            w.WriteInt(tone);
            w.CloseChunk();
            w.OpenChunk("RIFF", "ovtn");
            w.OpenChunk("midi");
            w.WriteInt(tone);
            w.CloseChunk();
            for (const auto& [layerTone, path] : parts) {
                if (layerTone != tone)
                    continue;
                w.OpenChunk("part");
                w.OpenChunk("bank");
                w.WriteString(path.c_str());
                w.CloseChunk();
                w.OpenChunk("prog");
                w.WriteInt(0);
                w.CloseChunk();
                w.CloseChunk();
            }
            w.CloseChunk();
            w.CloseChunk();
        }
        w.CloseChunk();
        w.CloseChunk();
        ASSERT_TRUE(w.Close());
        std::string bytes = ReadAll(file);
        EXPECT_EQ(s.Call(vst::effSetChunk, 0, static_cast<vst::intptr>(bytes.size()), bytes.data()), 1);
        s.Idle(200);
    }

    // The view tree; modal dialogs are drawn in the editor's window.
    ViewTree Tree()
    {
        ViewTree tree = s.Tree();
        for (auto& node : tree.nodes)
            if (node.window == 0 && !tree.nodes.empty())
                node.window = tree.nodes.front().window;
        return tree;
    }

    void Answer(const std::string& text) { setenv("KIV_DIALOG_ANSWER", (text + "\n").c_str(), 1); }

    // The root view of a class (the editor or one of its dialogs), -1 when none.
    int Root(const ViewTree& tree, const std::string& cls)
    {
        for (int root : tree.Roots())
            if (tree[root].cls == cls)
                return root;
        return -1;
    }
    bool Showing(const std::string& cls)
    {
        ViewTree tree = Tree();
        return Root(tree, cls) >= 0;
    }
    bool WaitFor(const std::string& cls, bool shown = true, int ms = 3000)
    {
        return s.IdleUntil(ms, [&] { return Showing(cls) == shown; });
    }
    void Press(const ViewTree& tree, int node) { s.Click(s.ScreenCentre(tree, node)); }
    // Presses the n-th button of a dialog.
    void DialogButton(const std::string& dialog, int n)
    {
        ViewTree tree = Tree();
        int root = Root(tree, dialog);
        ASSERT_GE(root, 0) << dialog << " is not open\n" << tree.Text();
        int button = tree.Find("XButton", n, root);
        ASSERT_GE(button, 0) << tree.Text();
        Press(tree, button);
    }
    void Toolbar(int n)
    {
        ViewTree tree = Tree();
        int button = tree.Find("XButtonPic", n, tree.Roots().at(0));
        ASSERT_GE(button, 0) << "no toolbar button " << n;
        Press(tree, button);
    }
    // Opens unit n's part menu (a press on its name box) and chooses an entry.
    void PartMenu(int unit, int entry)
    {
        ViewTree tree = Tree();
        int name = tree.Find("XGigaName", unit);
        ASSERT_GE(name, 0) << tree.Text();
        s.Click(s.ScreenCentre(tree, name));
        ASSERT_TRUE(s.PickMenuItem(EditorSession::MenuItemTop(entry))) << "no part menu opened";
    }
    // The peak of a short note on a MIDI channel (tone n listens on channel n).
    float Play(int channel, int key = 60)
    {
        s.NoteOn(key, 110, channel);
        float peak = s.Render(250).peak;
        s.NoteOff(key, channel);
        s.Render(600);
        return peak;
    }
    bool Sounds(int channel, int key = 60)
    {
        return s.IdleUntil(5000, [&] { return Play(channel, key) > 0.01f; });
    }

    // The pixels of a control of unit n (the m-th of its class there).
    std::vector<unsigned long> UnitPixels(int unit, const std::string& cls, int m = 0)
    {
        ViewTree tree = Tree();
        int node = tree.Find(cls, m, tree.Find("XGigaView", unit));
        if (node < 0)
            return {};
        return s.Pixels(s.Screen(tree, node, tree[node].At(0, 0)), tree[node].w, tree[node].h);
    }
    // Unit n's name is drawn in this colour (0xRRGGBB) somewhere in its box.
    bool NameShows(int unit, unsigned long rgb)
    {
        ViewTree tree = Tree();
        const int name = tree.Find("XGigaName", unit);
        return name >= 0 &&
               s.CountColour(s.Screen(tree, name, tree[name].At(0, 0)), tree[name].w, tree[name].h, rgb) > 0;
    }
    static constexpr unsigned long kFailedName = 0xFF6464;
    static constexpr unsigned long kLoadedName = 0x00CB1F;
    static constexpr unsigned long kPartialName = 0xFFAA3C;  // loaded, some samples silent

    // Presses Open (its dialog cancelled) and checks whether it first asks
    // to save, which it does only for a modified performance; the question
    // is answered "Cancel".
    void OpenAsks(bool asks, const char* failure)
    {
        Answer("");
        Toolbar(editor::kOpen);
        bool asked = false;
        if (asks) {
            asked = WaitFor("WConfirm");
        } else {
            s.Idle(200);
            asked = Showing("WConfirm");
        }
        EXPECT_EQ(asked, asks) << failure;
        if (asked)
            DialogButton("WConfirm", 2);
    }

    // The file dialogs find no program to run: PATH names an empty folder.
    void NoDialogProgram()
    {
        const std::string empty = s.Scratch() + "/no-programs";
        mkdir(empty.c_str(), 0755);
        setenv("PATH", empty.c_str(), 1);
        unsetenv("KIV_DIALOG_ANSWER");
        unsetenv("KIV_DIALOG_PROGRAM");
    }
    // The notice says what is missing; Return closes it.
    void ExpectNoDialogNotice(const std::string& screen)
    {
        ASSERT_TRUE(WaitFor("XMessage")) << "nothing said that no file dialog can be shown\n" << Tree().Text();
        s.Screenshot(screen);
        ViewTree tree = Tree();
        EXPECT_GE(tree.FindText("XLabel", "No file dialog can be shown: zenity or kdialog is needed.",
                                Root(tree, "XMessage")),
                  0)
            << tree.Text();
        s.Key("Return");
        EXPECT_TRUE(WaitFor("XMessage", false)) << "the notice does not close";
    }

    EditorSession s;
    std::string m_path;  // PATH as the test found it
};

// The host restores its project before the user ever opens the editor.
class PerformanceRestoredFirst : public PerformanceEndToEnd {
protected:
    bool EditorAtStart() const override { return false; }
};

}  // namespace

// Save as writes the performance; right after it Open has nothing to ask.
// After a change, Reset asks as New does ("Cancel" keeps the unit); New,
// answered "No", leaves an untitled performance that Open does not offer to
// save, and the next Save asks for a name and leaves the earlier file as it
// was. Opening that file restores its unit, which sounds, and leaves nothing
// unsaved until the mixer is changed. The activity light of a unit goes out
// when its key comes up after the sound ended, and when New empties the unit
// under a held key. An open dialog left open when the host closes the editor
// goes with it: its answer is never taken.
TEST_F(PerformanceEndToEnd, SaveOpenNewAndResetAskOnlyForUnsavedWork)
{
    const std::string piano = Piano(s.Scratch() + "/banks");
    const std::string drum = Drum(s.Scratch() + "/banks");
    SetChunk({{0, piano}});
    ASSERT_TRUE(Sounds(0));

    // The user's own copies beside the files saved below, written an hour
    // ago, stay whatever they are called; only a temporary file that a save
    // which died left behind goes.
    const std::pair<std::string, bool> beside[] = {
        {".A.tv2.backup", true},         {"A.tv2.old001", true}, {".A.tv2.Ab3xYz", true},
        {".Piano.tvpreset.backup", true}, {".A.tv2.kivtmp-Ab3xYz", false}};
    for (const auto& [name, kept] : beside) {
        const std::string file = s.Scratch() + "/" + name;
        std::ofstream(file) << "mine";
        const struct timespec hourAgo[2] = {{time(nullptr) - 3600, 0}, {time(nullptr) - 3600, 0}};
        ASSERT_EQ(utimensat(AT_FDCWD, file.c_str(), hourAgo, 0), 0);
    }

    const std::string a = s.Scratch() + "/A.tv2";
    Answer(a);
    Toolbar(editor::kSaveAs);
    ASSERT_TRUE(s.IdleUntil(2000, [&] { return Exists(a); }));
    const std::string saved = ReadAll(a);
    EXPECT_NE(saved.find("Demo Piano.gig"), std::string::npos);
    const std::string preset = s.Scratch() + "/Piano.tvpreset";
    Answer(preset);
    PartMenu(0, kMenuSavePreset);
    ASSERT_TRUE(s.IdleUntil(2000, [&] { return Exists(preset); }));
    for (const auto& [name, kept] : beside)
        EXPECT_EQ(Exists(s.Scratch() + "/" + name), kept) << name;

    // Saved: Open goes straight to its dialog (cancelled here).
    OpenAsks(false, "asked to save a performance just saved");

    // A change through the part menu.
    Answer(drum);
    PartMenu(1, kMenuLoad);
    ASSERT_TRUE(Sounds(1, kDrumKey));

    // The kick (0.4 s) ends while its key is still held; the light goes out
    // when the key comes up.
    s.Idle(300);
    const std::vector<unsigned long> dark = UnitPixels(1, "XMyLed");
    ASSERT_FALSE(dark.empty());
    s.NoteOn(kDrumKey, 110, 1);
    s.Render(1200);
    s.Screenshot("activity-light-held");
    EXPECT_NE(UnitPixels(1, "XMyLed"), dark) << "the light is off while the key is held";
    s.NoteOff(kDrumKey, 1);
    s.Render(300);
    s.Screenshot("activity-light-released");
    EXPECT_EQ(UnitPixels(1, "XMyLed"), dark) << "the light stays lit after the key came up";

    // Reset asks first; "Cancel" keeps the unit.
    Toolbar(editor::kReset);
    ASSERT_TRUE(WaitFor("WConfirm")) << "Reset threw the unsaved change away without asking";
    DialogButton("WConfirm", 2);  // Cancel
    ASSERT_TRUE(WaitFor("WConfirm", false));
    EXPECT_TRUE(Sounds(1, kDrumKey)) << "Cancel emptied the unit";
    EXPECT_NE(s.Chunk().find("Round Robin Drum.gig"), std::string::npos);

    // New without saving, while a key of the drum is held.
    s.NoteOn(kDrumKey, 110, 1);
    s.Render(200);
    s.Idle(150);  // rendering runs ahead of the window's ticks
    EXPECT_NE(UnitPixels(1, "XMyLed"), dark);
    Toolbar(editor::kNew);
    ASSERT_TRUE(WaitFor("WConfirm"));
    DialogButton("WConfirm", 1);  // No
    ASSERT_TRUE(WaitFor("WConfirm", false));
    EXPECT_TRUE(s.IdleUntil(3000, [&] { return Play(0) < 0.001f; })) << "New left the piano playing";
    s.Screenshot("activity-light-after-new");
    EXPECT_EQ(UnitPixels(1, "XMyLed"), dark) << "the emptied unit's light stays lit";
    s.NoteOff(kDrumKey, 1);
    EXPECT_EQ(s.Chunk().find("Round Robin Drum.gig"), std::string::npos);

    // Nothing changed since New: Open has nothing to ask.
    OpenAsks(false, "asked to save the empty performance New left");

    // Save asks for a name: the answer is written, A.tv2 is untouched.
    const std::string b = s.Scratch() + "/B.tv2";
    Answer(b);
    Toolbar(editor::kSave);
    EXPECT_TRUE(s.IdleUntil(2000, [&] { return Exists(b); })) << "Save wrote without asking for a name";
    EXPECT_TRUE(ReadAll(a) == saved) << "A.tv2 was overwritten";

    // Opening A.tv2 brings the piano back on unit 1 and nothing on unit 2.
    Answer(a);
    Toolbar(editor::kOpen);
    EXPECT_FALSE(Showing("WConfirm"));
    EXPECT_TRUE(Sounds(0));
    EXPECT_LT(Play(1, kDrumKey), 0.001f);
    std::string chunk = s.Chunk();
    EXPECT_NE(chunk.find("Demo Piano.gig"), std::string::npos);
    EXPECT_EQ(chunk.find("Round Robin Drum.gig"), std::string::npos);

    // Just opened and loaded, nothing changed: Open has nothing to ask.
    OpenAsks(false, "a performance just opened counts as modified");

    // A change in the mixer alone is a change: now Open asks (cancelled).
    Toolbar(editor::kMixer);
    ViewTree tree = Tree();
    const int fader = tree.Find("XTrackFader", 0);
    ASSERT_GE(fader, 0) << tree.Text();
    s.Drag(s.ScreenCentre(tree, fader), s.Screen(tree, fader, tree[fader].At(tree[fader].w / 2, tree[fader].h - 4)));
    Toolbar(editor::kMixer);
    Toolbar(editor::kOpen);
    EXPECT_TRUE(WaitFor("WConfirm")) << "a mixer change counts as saved";
    if (Showing("WConfirm"))
        DialogButton("WConfirm", 2);

    // An open dialog whose user would choose B.tv2 a second later; the host
    // closes the editor first.
    const std::string pidFile = s.Scratch() + "/dialog.pid";
    const std::string program = s.Scratch() + "/slow-dialog";
    std::ofstream(program) << "#!/bin/sh\necho $$ > '" << pidFile << "'\nsleep 1\necho '" << b << "'\n";
    chmod(program.c_str(), 0755);
    unsetenv("KIV_DIALOG_ANSWER");
    setenv("KIV_DIALOG_PROGRAM", program.c_str(), 1);
    Toolbar(editor::kOpen);
    ASSERT_TRUE(WaitFor("WConfirm"));
    DialogButton("WConfirm", 1);  // No: the dialog opens
    ASSERT_TRUE(s.IdleUntil(2000, [&] { return !ReadAll(pidFile).empty(); })) << "the dialog did not start";
    const pid_t dialog = static_cast<pid_t>(std::atoi(ReadAll(pidFile).c_str()));
    ASSERT_GT(dialog, 0);
    s.CloseEditor();
    EXPECT_TRUE(kill(dialog, 0) != 0 && errno == ESRCH) << "the dialog stays after the editor closed";
    s.Idle(1500);
    s.OpenEditor();
    s.Idle(500);
    EXPECT_EQ(s.UnitPaths().at(0), piano) << "the answer of a dialog closed with the editor was taken";
}

// A project restored while some of its banks cannot give their instrument:
// one was replaced by a version with fewer instruments, one is damaged
// inside, one is a named pipe, and one's extension file is a named pipe.
// setChunk returns at once; every unit keeps its bank and instrument in the
// host's chunk and in a saved performance, the failed ones are shown failed,
// the piano beside them plays, and once the right version of the replaced
// bank is back the same chunk plays it. A piano two of whose waves give a
// rate of 1 Hz and 0 Hz loads, shown partly loaded.
TEST_F(PerformanceEndToEnd, UnitsWhoseInstrumentCannotLoadAreShownFailedAndKept)
{
    const std::string banks = s.Scratch() + "/banks";
    const std::string piano = Piano(banks);
    const std::string older = banks + "/Older Version.gig";
    ASSERT_TRUE(gigtools::DemoPianoFixture().bank.Write(older));  // two instruments
    gigtools::GigBuilder damaged;
    const int sample = damaged.AddSample(gigtools::GigSample::Tone("S", 1, 16, 44100, 60, 4000));
    gigtools::GigInstrument broken("Broken");
    broken.regions.push_back(gigtools::GigRegion::Single(0, 127, sample));
    damaged.AddInstrument(broken);
    gigtools::RiffNode tree = damaged.BuildTree();
    tree.Find("LIST", "3prg")->Children()[0].Children()[0].rawId = "w$mp";
    const std::string damagedPath = banks + "/Damaged.gig";
    ASSERT_TRUE(gigtools::WriteBytes(damagedPath, tree.Serialize()));
    const std::string pipe = banks + "/Pipe.gig";
    ASSERT_TRUE(kivtest::MakePipe(pipe));
    const std::string extended = Bank(gigtools::ExtensionFixture(), banks);
    const std::string extensionPipe = banks + "/Extension Bank.gx01";
    ASSERT_EQ(unlink(extensionPipe.c_str()), 0);
    ASSERT_TRUE(kivtest::MakePipe(extensionPipe));
    // Whatever waits on a pipe is released after 10 s, and the test fails.
    kivtest::PipeGuard guard({pipe, extensionPipe}, 10);

    gigtools::RiffNode slowTree = gigtools::DemoPianoFixture().bank.BuildTree("Slow");
    std::vector<gigtools::RiffNode*> formats = slowTree.FindAll("fmt ");
    ASSERT_GE(formats.size(), 2u);
    for (int i = 0; i < 2; ++i)
        for (int b = 0; b < 4; ++b)
            formats[i]->Data()[4 + b] = static_cast<uint8_t>(b == 0 ? 1 - i : 0);
    const std::string slow = banks + "/Slow.gig";
    ASSERT_TRUE(gigtools::WriteBytes(slow, slowTree.Serialize()));

    const std::vector<std::pair<std::string, int>> units = {
        {piano, 0}, {older, 5}, {damagedPath, 0}, {pipe, 0}, {extended, 0}, {slow, 0}};
    const std::string chunk = EditorSession::ChunkOf(units);
    ASSERT_FALSE(chunk.empty());
    ASSERT_TRUE(s.SetChunk(chunk));
    EXPECT_FALSE(guard.Released()) << "setChunk waited on a named pipe";
    // The extension file cannot be read: the missing-files window names it;
    // the user goes on without it.
    if (WaitFor("WMissing", true, 2000)) {
        s.Screenshot("failed-units-missing-extension");
        DialogButton("WMissing", 1);  // "Ignore Missing files"
        ASSERT_TRUE(WaitFor("WMissing", false));
    }
    s.Idle(300);

    // Every unit keeps its bank and instrument in the host's chunk.
    const std::vector<std::vector<std::string>> layers = s.UnitLayers();
    ASSERT_GE(layers.size(), units.size());
    for (size_t i = 0; i < units.size(); ++i)
        EXPECT_EQ(layers[i], std::vector<std::string>{units[i].first + ":" + std::to_string(units[i].second)})
            << "unit " << i + 1;
    EXPECT_TRUE(Sounds(0)) << "the piano beside the failed units is silent";
    for (int unit : {1, 2, 3})
        EXPECT_LT(Play(unit), 0.001f) << "unit " << unit + 1;

    // Shown failed: the name of each failed unit in the failed colour, the
    // piano's in the loaded colour.
    s.Screenshot("failed-units");
    EXPECT_TRUE(NameShows(0, kLoadedName)) << "the piano is not shown loaded";
    for (int unit : {1, 2, 3})
        EXPECT_TRUE(NameShows(unit, kFailedName)) << "unit " << unit + 1 << " is not shown failed";
    // The piano with silent samples loads, shown partly loaded; under the
    // pointer its name gives way to the count ("2 samples silent").
    EXPECT_TRUE(NameShows(5, kPartialName)) << "unit 6 is not shown partly loaded";
    {
        ViewTree tree = Tree();
        const int name = tree.Find("XGigaName", 5);
        ASSERT_GE(name, 0);
        const auto partial = [&] {
            return s.CountColour(s.Screen(tree, name, tree[name].At(0, 0)), tree[name].w, tree[name].h, kPartialName);
        };
        const int plain = partial();
        s.Move(s.ScreenCentre(tree, name));
        s.Idle(200);
        s.Screenshot("unit-samples-silent");
        EXPECT_NE(partial(), plain) << "no note under the pointer";
        s.Move(s.ScreenCentre(tree, tree.Find("XGigaName", 0)));
        s.Idle(100);
    }

    // A saved performance keeps them too.
    const std::string saved = s.Scratch() + "/Kept.tv2";
    Answer(saved);
    Toolbar(editor::kSaveAs);
    ASSERT_TRUE(s.IdleUntil(2000, [&] { return Exists(saved); }));
    const std::vector<std::vector<std::string>> savedLayers = EditorSession::PerformanceLayers(saved);
    ASSERT_GE(savedLayers.size(), units.size());
    for (size_t i = 0; i < units.size(); ++i)
        EXPECT_EQ(savedLayers[i], std::vector<std::string>{units[i].first + ":" + std::to_string(units[i].second)})
            << "unit " << i + 1 << " in the saved performance";

    // The version with that instrument is back: the host's chunk plays it.
    gigtools::GigBuilder six;
    const int note = six.AddSample(gigtools::GigSample::Tone("T", 1, 16, 44100, 60, 44100));
    for (int i = 0; i < 6; ++i) {
        gigtools::GigInstrument version("Version " + std::to_string(i));
        version.regions.push_back(gigtools::GigRegion::Single(0, 127, note));
        six.AddInstrument(version);
    }
    ASSERT_TRUE(six.Write(older));
    ASSERT_TRUE(s.SetChunk(s.Chunk()));
    if (s.IdleAtMost(2000, [&] { return Showing("WMissing"); }))
        DialogButton("WMissing", 1);
    EXPECT_TRUE(Sounds(1)) << "the instrument of the right version is silent";
    EXPECT_FALSE(guard.Released()) << "something waited on a named pipe";
}

// The host restores a project before the editor was ever opened: a bank
// that was moved, a damaged bank, and a unit whose second layer is that
// damaged bank. Opening the editor then lists the moved bank in the
// missing-files window, and shows the three units red, as an editor open
// during the load would; the damaged unit names its bank under the pointer,
// and nothing of them leaves the host's state. Without a dialog program the
// folder choice says so over the window, which stays open. A search of the
// folder the piano now lives in finds it, the window closes itself, and the
// piano sounds, now green. A second project misses a bank that exists
// nowhere as well: the search finds the drum, the rest is ignored, and the
// drum found by the search still sounds.
TEST_F(PerformanceRestoredFirst, MissingAndDamagedBanksAreShownWhenTheEditorOpens)
{
    const std::string moved = s.Scratch() + "/moved";
    mkdir(moved.c_str(), 0755);
    Piano(moved + "/keys");
    const std::string piano = Piano(s.Scratch() + "/banks");
    const std::string broken = s.Scratch() + "/banks/Broken.gig";
    std::ofstream(broken) << std::string(4096, 'x');
    SetChunk({{0, s.Scratch() + "/old/Demo Piano.gig"}, {1, broken}, {2, piano}, {2, broken}});
    EXPECT_LT(Play(0), 0.001f);
    EXPECT_LT(Play(1), 0.001f);
    EXPECT_GT(Play(2), 0.01f) << "the layer that loaded does not sound";

    s.OpenEditor();
    ASSERT_TRUE(WaitFor("WMissing")) << Tree().Text();
    s.Screenshot("restored-before-editor");
    for (int unit = 0; unit < 3; ++unit)
        EXPECT_TRUE(NameShows(unit, kFailedName)) << "unit " << unit + 1 << " looks loaded";

    // No dialog program: the notice opens over the window and leaves it open.
    NoDialogProgram();
    DialogButton("WMissing", 0);  // "Select folder to scan"
    ExpectNoDialogNotice("no-dialog-program-missing-files");
    EXPECT_TRUE(Showing("WMissing")) << "the notice closed the missing-files window";
    setenv("PATH", m_path.c_str(), 1);

    Answer(moved);
    DialogButton("WMissing", 0);
    ASSERT_TRUE(WaitFor("WMissing", false, 5000)) << "the search did not find the piano";
    EXPECT_TRUE(Sounds(0)) << "the piano found by the search does not sound";
    s.Idle(200);
    EXPECT_TRUE(NameShows(0, kLoadedName));
    EXPECT_TRUE(NameShows(1, kFailedName) && NameShows(2, kFailedName));
    {
        const std::vector<unsigned long> name = UnitPixels(1, "XGigaName");
        ViewTree tree = Tree();
        s.Move(s.ScreenCentre(tree, tree.Find("XGigaName", 1)));
        s.Idle(200);
        s.Screenshot("restored-damaged-note");
        EXPECT_NE(UnitPixels(1, "XGigaName"), name) << "the damaged unit shows no note under the pointer";
    }
    std::string chunk = s.Chunk();
    const size_t first = chunk.find("Broken.gig");
    EXPECT_NE(first, std::string::npos);
    EXPECT_NE(chunk.find("Broken.gig", first + 1), std::string::npos) << "a damaged layer left the state";

    Drum(moved + "/drums");
    SetChunk({{1, s.Scratch() + "/old/Round Robin Drum.gig"}, {2, s.Scratch() + "/old/Nowhere.gig"}});
    ASSERT_TRUE(WaitFor("WMissing"));
    Answer(moved);
    DialogButton("WMissing", 0);
    s.Idle(1000);
    ASSERT_TRUE(Showing("WMissing")) << "closed though a file is still missing";
    DialogButton("WMissing", 1);  // "Ignore Missing files"
    ASSERT_TRUE(WaitFor("WMissing", false));
    EXPECT_TRUE(Sounds(1, kDrumKey)) << "ignoring the rest dropped the drum the search found";
    chunk = s.Chunk();
    EXPECT_NE(chunk.find(moved + "/drums/Round Robin Drum.gig"), std::string::npos);
    EXPECT_EQ(chunk.find("Nowhere.gig"), std::string::npos);
}

// Saving into a folder that cannot take the file shows the file and the
// reason, writes nothing and keeps the performance marked modified (Open
// still asks); a preset that cannot be saved is shown alike, and so is a
// save dialog that no program can show.
TEST_F(PerformanceEndToEnd, FailedSavesAreShownAndKeepThePerformanceModified)
{
    SetChunk({{0, Piano(s.Scratch() + "/banks")}});
    ASSERT_TRUE(Sounds(0));
    // A folder without write permission; the superuser writes anywhere, so
    // then a plain file stands where the folder should be.
    std::string folder = s.Scratch() + "/locked";
    if (geteuid() == 0) {
        folder = s.Scratch() + "/plain.txt";
        std::ofstream(folder) << "not a folder";
    } else {
        mkdir(folder.c_str(), 0555);
    }
    const std::string target = folder + "/A.tv2";
    Answer(target);
    Toolbar(editor::kSaveAs);
    ASSERT_TRUE(WaitFor("WError")) << "a failed save was not shown";
    s.Screenshot("save-failed");
    {
        // It names the file, its folder and the system's reason.
        ViewTree tree = Tree();
        const int notice = Root(tree, "WError");
        const char* reason = std::strerror(geteuid() == 0 ? ENOTDIR : EACCES);
        EXPECT_GE(tree.FindText("XLabel", "Could not save A.tv2", notice), 0) << tree.Text();
        // The folder line keeps the end of a long path.
        const std::string ending = folder.substr(folder.rfind('/')) + "/";
        bool named = false;
        for (int label : tree.All("XLabel", notice)) {
            const std::string& text = tree[label].text;
            named = named || (text.rfind("in ", 0) == 0 && text.size() >= ending.size() &&
                              text.compare(text.size() - ending.size(), ending.size(), ending) == 0);
        }
        EXPECT_TRUE(named) << tree.Text();
        EXPECT_GE(tree.FindText("XLabel", reason, notice), 0) << tree.Text();
    }
    EXPECT_FALSE(Exists(target));
    DialogButton("WError", 0);
    ASSERT_TRUE(WaitFor("WError", false));

    OpenAsks(true, "the unsaved performance counts as saved");

    Answer(folder + "/Piano.tvpreset");
    PartMenu(0, kMenuSavePreset);
    ASSERT_TRUE(WaitFor("WError")) << "a failed preset save was not shown";
    DialogButton("WError", 0);
    ASSERT_TRUE(WaitFor("WError", false));
    chmod(folder.c_str(), 0755);

    // Without a program to show the save dialog, Save as says what is missing.
    NoDialogProgram();
    Toolbar(editor::kSaveAs);
    ExpectNoDialogNotice("no-dialog-program");
}

// Opening what cannot be read as a performance, through Open and its
// dialog: a named pipe, a folder, a socket, a device that never ends, a
// file the user may not read, a damaged .tv2 and a damaged .tvp. Each says
// which file and why; the units and the mixer stay as they were, the
// performance counts as saved still (and, once changed, as modified
// still), and Save writes where it did. A preset that cannot be read is
// said alike and leaves its unit as it was.
TEST_F(PerformanceEndToEnd, WhatCannotBeOpenedIsShownAndChangesNothing)
{
    const std::string piano = Piano(s.Scratch() + "/banks");
    const std::string drum = Drum(s.Scratch() + "/banks");
    SetChunk({{0, piano}});
    ASSERT_TRUE(Sounds(0));
    const std::string saved = s.Scratch() + "/Saved.tv2";
    Answer(saved);
    Toolbar(editor::kSaveAs);
    ASSERT_TRUE(s.IdleUntil(2000, [&] { return Exists(saved); }));
    const std::string archive = ReadAll(saved);

    const std::string pipe = s.Scratch() + "/Pipe.tv2";
    ASSERT_TRUE(kivtest::MakePipe(pipe));
    mkdir((s.Scratch() + "/Folder.tv2").c_str(), 0755);
    const std::string socketPath = s.Scratch() + "/Socket.tv2";
    const int listener = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    ASSERT_LT(socketPath.size(), sizeof address.sun_path);
    std::strcpy(address.sun_path, socketPath.c_str());
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    const std::string locked = s.Scratch() + "/Locked.tv2";
    std::ofstream(locked, std::ios::binary) << archive;
    chmod(locked.c_str(), 0);
    std::ofstream(s.Scratch() + "/Damaged.tv2", std::ios::binary) << archive.substr(0, archive.size() / 2);
    std::ofstream(s.Scratch() + "/Damaged.tvp", std::ios::binary)
        << std::string("RIFF\x40\0\0\0OvGmLIST\x30\0\0\0tone", 24) + std::string(12, '\xff');
    // The plug-in writes its view tree for the test into the scratch
    // folder, also as "nobody" (the test's home above it is its own).
    chmod(getenv("HOME"), 0755);
    chmod(s.Scratch().c_str(), 0777);
    // Whatever waits on the pipe is released after 10 s, and the test fails.
    kivtest::PipeGuard guard({pipe}, 10);

    const std::string notRegular = "Not a regular file";
    const struct {
        std::string path;
        std::string reason;
        bool asUser;  // opened by an ordinary user
    } cases[] = {
        {pipe, notRegular, false},
        {s.Scratch() + "/Folder.tv2", std::strerror(EISDIR), false},
        {socketPath, notRegular, false},
        {"/dev/zero", notRegular, false},
        {locked, std::strerror(EACCES), true},
        {s.Scratch() + "/Damaged.tv2", editor::kDamagedPerformance, false},
        {s.Scratch() + "/Damaged.tvp", editor::kDamagedPerformance, false},
    };
    const std::string chunk = s.Chunk();
    const auto layers = s.UnitLayers();
    for (const auto& c : cases) {
        const std::string name = c.path.substr(c.path.rfind('/') + 1);
        {
            std::unique_ptr<kivtest::AsOrdinaryUser> user;
            if (c.asUser) {
                user = std::make_unique<kivtest::AsOrdinaryUser>();
                ASSERT_TRUE(user->Ok());
            }
            Answer(c.path);
            Toolbar(editor::kOpen);
            ASSERT_TRUE(WaitFor("WError")) << name << ": a failed open was not shown\n" << Tree().Text();
        }
        s.Screenshot("open-failed-" + name);
        ViewTree tree = Tree();
        const int notice = Root(tree, "WError");
        EXPECT_GE(tree.FindText("XLabel", "Could not open " + name, notice), 0) << tree.Text();
        EXPECT_GE(tree.FindText("XLabel", c.reason, notice), 0) << name << "\n" << tree.Text();
        DialogButton("WError", 0);
        ASSERT_TRUE(WaitFor("WError", false));
        EXPECT_EQ(s.UnitLayers(), layers) << name << " changed the units";
        EXPECT_TRUE(s.Chunk() == chunk) << name << " changed the performance";
    }
    EXPECT_FALSE(guard.Released()) << "the open waited on a named pipe";
    EXPECT_TRUE(Sounds(0));
    // Nothing counts as changed: Open goes straight to its dialog.
    OpenAsks(false, "a failed open made the performance count as modified");

    // Changed, then a failed open after "No" to saving: still modified, and
    // Save writes the change where the performance came from.
    Answer(drum);
    PartMenu(1, kMenuLoad);
    ASSERT_TRUE(Sounds(1, kDrumKey));
    Toolbar(editor::kOpen);
    ASSERT_TRUE(WaitFor("WConfirm"));
    Answer(pipe);
    DialogButton("WConfirm", 1);  // No
    ASSERT_TRUE(WaitFor("WError"));
    DialogButton("WError", 0);
    ASSERT_TRUE(WaitFor("WError", false));
    OpenAsks(true, "the changed performance counts as saved after a failed open");
    Toolbar(editor::kSave);
    EXPECT_TRUE(s.IdleUntil(2000, [&] { return ReadAll(saved).find("Round Robin Drum.gig") != std::string::npos; }))
        << "Save did not write where the performance came from";

    // Presets: a pipe and a damaged one, from the part menu; the unit keeps
    // its drum.
    const std::string pipePreset = s.Scratch() + "/Pipe.tvpreset";
    ASSERT_TRUE(kivtest::MakePipe(pipePreset));
    kivtest::PipeGuard presetGuard({pipePreset}, 10);
    const std::string damagedPreset = s.Scratch() + "/Damaged.tvpreset";
    std::ofstream(damagedPreset, std::ios::binary) << archive.substr(0, 40);
    const auto withDrum = s.UnitLayers();
    for (const auto& [path, reason] : {std::pair<std::string, std::string>{pipePreset, notRegular},
                                       {damagedPreset, editor::kDamagedPreset}}) {
        const std::string name = path.substr(path.rfind('/') + 1);
        Answer(path);
        PartMenu(1, kMenuLoadPreset);
        ASSERT_TRUE(WaitFor("WError")) << name << ": a failed preset open was not shown";
        s.Screenshot("open-failed-" + name);
        ViewTree tree = Tree();
        const int notice = Root(tree, "WError");
        EXPECT_GE(tree.FindText("XLabel", "Could not open " + name, notice), 0) << tree.Text();
        EXPECT_GE(tree.FindText("XLabel", reason, notice), 0) << tree.Text();
        DialogButton("WError", 0);
        ASSERT_TRUE(WaitFor("WError", false));
        EXPECT_EQ(s.UnitLayers(), withDrum) << name << " changed the unit";
    }
    EXPECT_TRUE(Sounds(1, kDrumKey));
    EXPECT_FALSE(presetGuard.Released()) << "the preset open waited on a named pipe";
    close(listener);
}

// The stack toggle turns the unit into a stacked instrument whose view opens
// below it, and the units after it move down instead of being covered. A
// second layer is added through the part menu, and on the key map the first
// layer is dragged below the second while a note plays.
TEST_F(PerformanceEndToEnd, StackToggleOpensTheStackedViewAndLayersReorderWhilePlaying)
{
    // A looped pad, so the note held across the drag keeps sounding.
    const std::string pad = Pad(s.Scratch() + "/banks");
    const std::string drum = Drum(s.Scratch() + "/banks");
    SetChunk({{0, pad}});
    ASSERT_TRUE(Sounds(0));

    ViewTree tree = Tree();
    int toggle = tree.Find("XTogStack", 0);
    ASSERT_GE(toggle, 0) << tree.Text();
    Press(tree, toggle);
    tree = Tree();
    int stack = tree.Find("XGigaViewStack");
    ASSERT_GE(stack, 0) << "the stacked view did not open\n" << tree.Text();
    int next = tree.Find("XRackUnit", 1);
    ASSERT_GE(next, 0);
    EXPECT_GE(tree[next].y, tree[stack].y + tree[stack].h) << "the stacked view covers the next unit";

    Answer(drum);
    PartMenu(0, kMenuLoad);  // a stacked tone takes a further layer
    ASSERT_TRUE(s.IdleUntil(5000, [&] {
        std::string chunk = s.Chunk();
        return chunk.find("Round Robin Drum.gig") != std::string::npos;
    }));
    s.Idle(300);
    tree = Tree();
    stack = tree.Find("XGigaViewStack");
    ASSERT_GE(stack, 0);
    next = tree.Find("XRackUnit", 1);
    EXPECT_GE(tree[next].y, tree[stack].y + tree[stack].h) << "the grown stacked view covers the next unit";
    int page = tree.Find("XToggle", 3, stack);  // "map"
    ASSERT_GE(page, 0) << tree.Text();
    Press(tree, page);
    s.Screenshot("stacked-view");

    tree = Tree();
    int map = tree.Find("XStackMap", 0, stack);
    ASSERT_GE(map, 0) << "the key map is not shown\n" << tree.Text();
    std::string before = s.Chunk();
    ASSERT_LT(before.find("Stereo Pad.gig"), before.find("Round Robin Drum.gig"));
    s.NoteOn(60, 110, 0);
    s.Render(100);
    s.Drag(s.Screen(tree, map, tree[map].At(420, 11)), s.Screen(tree, map, tree[map].At(420, 34)));
    const float during = s.Render(200).peak;
    s.NoteOff(60, 0);
    s.Render(300);
    std::string after = s.Chunk();
    EXPECT_GT(after.find("Stereo Pad.gig"), after.find("Round Robin Drum.gig")) << "the layers kept their order";
    EXPECT_GT(during, 0.001f) << "the note stopped sounding while the layers moved";
}

// With the plug-in's one player the editor has no port tabs, and the mixer
// button shows the mixer of all sixteen channels in the rack's place. The
// settings window and the about box open from the toolbar and the logo and
// close again with their own keys.
TEST_F(PerformanceEndToEnd, MixerSettingsAndAboutAreReachable)
{
    ViewTree tree = Tree();
    EXPECT_LT(tree.Find("XTabPorts", 0, -1, true), 0);
    EXPECT_EQ(tree[tree.Roots().at(0)].h, 560);
    Toolbar(editor::kMixer);
    tree = Tree();
    const int mixer = tree.Find("GMixer");
    ASSERT_GE(mixer, 0) << tree.Text();
    EXPECT_EQ(tree.All("XTrack", mixer).size(), 16u);
    EXPECT_LT(tree.Find("XGigaRack"), 0) << "the rack stays beside the mixer";
    Toolbar(editor::kMixer);

    {
        // The settings window keeps its scan progress for the process.
        e2e::KeptForProcess kept;
        Toolbar(editor::kSettings);
    }
    ASSERT_TRUE(WaitFor("WSettings"));
    s.Screenshot("settings");
    DialogButton("WSettings", 0);  // Ok
    ASSERT_TRUE(WaitFor("WSettings", false));

    tree = Tree();
    int logo = tree.Find("XLogo");
    ASSERT_GE(logo, 0);
    Press(tree, logo);
    ASSERT_TRUE(WaitFor("WAbout"));
    s.Screenshot("about");
    s.Key("Escape");
    EXPECT_TRUE(WaitFor("WAbout", false)) << "the about box cannot be closed";
}
