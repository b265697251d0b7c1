// The editor as a musician uses it: tessivo.so opened through its VST face,
// its editor in a real window on a private X server, pressed with real
// pointer and key input, and the outcome checked in the host's chunk, in
// the audio and on disk. Screens of each main view go to
// <build>/e2e-screens. Skipped (with the reason) when no X server starts.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "e2e/EditorSession.h"
#include "engine/GigaDeck.h"
#include "engine/GigaPart.h"
#include "engine/GigaStudio.h"
#include "engine/GigaTone.h"
#include "editor/BrowserConst.h"
#include "editor/GigaEditorConst.h"
#include "gig/GigFixtures.h"
#include "kiv/db/Db.h"
#include "support/TestSupport.h"
#include "support/PipeGuard.h"
#include "tests/vst/VstTestPlugins.h"
#include "utility/CorvaneWindowConst.h"
#include "utility/GigaBase.h"
#include "utility/GigaScan.h"
#include "utility/UtilityTestSupport.h"
#include "vst/PlugInfoList.h"

using e2e::EditorSession;
using e2e::Point;
using e2e::ViewTree;

namespace {

using kivtest::Exists;

// The corvane program on the session's screen, below the editor's window:
// started with the folder its "+" dialog answers, pressed with real clicks.
class CorvaneProgram {
public:
    static constexpr int kX = 40, kY = 640;

    CorvaneProgram(EditorSession& s, const std::string& answer) : m_s(s)
    {
        // A sanitized program reports the font caches that fontconfig and
        // cairo keep for the life of the process (see gui/GuiTestLeaks.h).
        std::string suppressions = s.Scratch() + "/lsan.supp";
        const char kLeaks[] = "leak:libfontconfig.so\nleak:libcairo.so\nleak:libexpat.so\n";
        kivtest::WriteFile(suppressions, kLeaks, sizeof kLeaks - 1);
        setenv("LSAN_OPTIONS", ("suppressions=" + suppressions).c_str(), 1);
        setenv("KIV_DIALOG_ANSWER", (answer + "\n").c_str(), 1);
        m_pid = kivtest::Spawn({EditorSession::BuildDir() + "/utility/corvane"});
        unsetenv("KIV_DIALOG_ANSWER");
        unsetenv("LSAN_OPTIONS");
        if (!m_pid)
            return;
        s.IdleUntil(10000, [&] {
            for (const auto& w : s.PopupWindows())
                if (w.cls == "KivWindow")
                    m_window = w.id;
            return m_window != 0;
        });
        if (!m_window)
            return;
        s.MoveWindow(m_window, kX, kY);
        // Its first tick reads the list: then the list shows its folders or
        // the line below it says how to add one. A press before that finds
        // the scan button disabled.
        s.IdleUntil(kivtest::kPatientMs, [&] { return RowsShown() > 0 || ShowsText(StatusLine(), 0x1E1E1E); });
    }
    ~CorvaneProgram()
    {
        if (m_pid) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
        }
    }
    bool Up() const { return m_window != 0; }
    unsigned long Window() const { return m_window; }
    // "+": its dialog answers at once, and the folder shows as a new row of
    // the list (the scan button is enabled with it).
    void Add()
    {
        const int rows = RowsShown();
        m_s.Click(Button(corvane::kMargin, corvane::kSmallButtonW));
        m_s.IdleUntil(kivtest::kPatientMs, [&] { return RowsShown() > rows; });
    }
    // "Scan folders", "Stop" or "Quit", as the sequence stands.
    void PressScan() { m_s.Click(Button(corvane::kWindowW + corvane::kScanX, corvane::kScanW)); }
    // Quit once the sequence has ended; the program's exit code.
    int Quit()
    {
        int status = 0;
        bool ended = false;
        // A press that came while the sequence was still ending stops it:
        // the next one quits.
        for (int press = 0; press < 2 && !ended; ++press) {
            PressScan();
            auto exited = [&] { return waitpid(m_pid, &status, WNOHANG) == m_pid; };
            ended = press == 0 ? m_s.IdleAtMost(8000, exited) : m_s.IdleUntil(kivtest::kPatientMs, exited);
        }
        if (!ended)
            return -1;  // the destructor ends it
        m_pid = 0;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    bool Running()
    {
        int status = 0;
        return m_pid && waitpid(m_pid, &status, WNOHANG) == 0;
    }
    pid_t Pid() const { return m_pid; }
    void Forget() { m_pid = 0; }

private:
    Point Button(int x, int w) const
    {
        return Point{kX + x + w / 2, kY + corvane::kWindowH + corvane::kButtonY + corvane::kButtonH / 2};
    }
    // Whether a strip of the screen shows text on the given ground (or a
    // selected row's): what lay there before the window was painted (its
    // background is none) shows neither.
    static bool ShowsText(const std::vector<unsigned long>& pixels, unsigned long ground)
    {
        bool onGround = false, text = false;
        for (unsigned long p : pixels)
            (p == ground || p == 0x003CA0 ? onGround : text) = true;
        return onGround && text;
    }
    std::vector<unsigned long> StatusLine()
    {
        const int y = kY + corvane::kWindowH + corvane::kStatusY;
        return m_s.Pixels(Point{kX + corvane::kMargin + 2, y + 2}, corvane::kWindowW - 2 * corvane::kMargin - 4,
                          corvane::kStatusH - 4);
    }
    // The folder rows from the top of the list that show a path.
    int RowsShown()
    {
        const int top = kY + corvane::kMargin + corvane::kHeaderH;
        const int w = corvane::kWindowW - 2 * corvane::kMargin - corvane::kCountColumn;
        int rows = 0;
        while (rows < 8 && ShowsText(m_s.Pixels(Point{kX + corvane::kMargin + 2, top + rows * corvane::kPathRowH + 2},
                                                w - 4, corvane::kPathRowH - 4),
                                     0x191E28))
            ++rows;
        return rows;
    }
    EditorSession& m_s;
    pid_t m_pid = 0;
    unsigned long m_window = 0;
};

// Another program holding the database: the sqlite3 shell, fed statements.
class DatabaseHolder {
public:
    explicit DatabaseHolder(const std::string& path)
        : m_shell(popen(("sqlite3 '" + path + "' > /dev/null").c_str(), "w")), m_path(path)
    {
        // Its statements wait for the others to let go of the file: the
        // test's own brief looks, a connection closing on a busy machine
        // (leaving WAL mode needs the file to itself).
        if (m_shell)
            Send((".timeout " + std::to_string(kivtest::kPatientMs)).c_str());
    }
    ~DatabaseHolder()
    {
        if (m_shell)
            pclose(m_shell);
    }
    bool Usable() const { return m_shell != nullptr; }
    void Send(const char* statements)
    {
        fputs(statements, m_shell);
        fputs("\n", m_shell);
        fflush(m_shell);
    }
    // Sends the statements and then has the shell leave a file behind; the
    // file's path. Waiting for it, rather than probing the database
    // meanwhile, leaves the shell the file to itself while it takes it.
    std::string SendMarked(const char* statements)
    {
        const std::string marker = m_path + ".sent" + std::to_string(++m_marks);
        unlink(marker.c_str());  // an earlier holder's
        Send(statements);
        Send((".shell touch '" + marker + "'").c_str());
        return marker;
    }

private:
    FILE* m_shell;
    std::string m_path;
    int m_marks = 0;
};

// True when another program holds the database's lock: for writing, or
// (reading) so that nobody can even read it.
bool Locked(const std::string& path, bool reading)
{
    utiltest::IntReader probe;
    if (!probe.OpenFile(path.c_str(), false))
        return false;
    probe.SetBusyTimeout(0);
    if (!probe.Exec(reading ? "SELECT COUNT() FROM root;" : "BEGIN IMMEDIATE;"))
        return probe.IsBusyError();
    if (!reading)
        probe.Exec("ROLLBACK;");
    return false;
}

// The scanner's end of a walk, for a scanner of the test's own.
class WalkEnd : public ScanEventTarget {
public:
    bool PostEvent(const XEvent& event) override
    {
        if (static_cast<uint32_t>(event.kind) == corvane::kEventDone)
            done.store(true, std::memory_order_release);
        return true;
    }
    std::atomic<bool> done{false};
};

class EditorEndToEnd : public ::testing::Test {
protected:
    void TearDown() override { unsetenv("KIV_DIALOG_ANSWER"); }
    void SetUp() override
    {
        if (!s.Start()) {
            if (!s.Error().empty())
                FAIL() << s.Error();
            GTEST_SKIP() << s.SkipReason();
        }
    }
    // Writes the demo banks into the session's scratch folder.
    std::string WriteBanks()
    {
        auto paths = gigtools::WriteAllFixtures(s.Scratch());
        return paths.empty() ? std::string() : paths.front();
    }
    // Presses toolbar button n as a person does.
    void Toolbar(int n)
    {
        ViewTree tree = s.Tree();
        int button = tree.Find("XButtonPic", n, tree.Roots().at(0));
        ASSERT_GE(button, 0) << "no toolbar button " << n;
        s.Click(s.ScreenCentre(tree, button));
    }
    // Clicks the shown control of class cls with this text inside the
    // dialog whose root view is of class `dialog`.
    bool ClickText(const char* dialog, const char* cls, const char* text)
    {
        ViewTree tree = s.Tree();
        int root = tree.Find(dialog);
        int node = root >= 0 ? tree.FindText(cls, text, root) : -1;
        if (node < 0)
            return false;
        s.Click(s.ScreenCentre(tree, node));
        return true;
    }
    // Clicks the n-th button of the dialog whose root view is of class
    // `dialog` (WConfirm: 0 Yes, 1 No, 2 Cancel).
    bool ClickButtonText(const char* dialog, int n)
    {
        ViewTree tree = s.Tree();
        int root = tree.Find(dialog);
        int button = root >= 0 ? tree.Find("XButton", n, root) : -1;
        if (button < 0)
            return false;
        s.Click(s.ScreenCentre(tree, button));
        return true;
    }
    // Opens the browser and walks its folder tree down to `file` (a path
    // under the home folder), expanding each folder on the way, then
    // selects the file. False when a step is not found.
    bool BrowseTo(const std::string& file)
    {
        if (!Shown("XViewNav"))
            Toolbar(editor::kBrowse);
        std::string home = getenv("HOME");
        if (file.compare(0, home.size() + 1, home + "/") != 0)
            return false;
        std::vector<std::string> steps = {home};
        for (size_t at = home.size() + 1; at < file.size();) {
            size_t end = file.find('/', at);
            if (end == std::string::npos)
                end = file.size();
            steps.push_back(file.substr(at, end - at));
            at = end + 1;
        }
        for (size_t i = 0; i < steps.size(); ++i) {
            ViewTree tree = s.Tree();
            int row = tree.FindText("@row", steps[i], tree.Find("XTreeGiga"));
            if (row < 0)
                return false;
            const e2e::ViewNode& r = tree[row];
            // Folders open at their expander; the file is pressed on its name.
            bool last = i + 1 == steps.size();
            s.Click(s.Screen(tree, row, last ? r.At(40, r.h / 2) : r.At(5, r.h / 2)));
        }
        return true;
    }
    // The screen centre of the shown row with this text in a list or tree
    // of class cls (waiting for it to be filled).
    bool Row(const char* cls, const std::string& text, Point& at)
    {
        return s.IdleUntil(3000, [&] {
            ViewTree tree = s.Tree();
            int row = tree.FindText("@row", text, tree.Find(cls));
            if (row >= 0)
                at = s.ScreenCentre(tree, row);
            return row >= 0;
        });
    }
    // The n-th unit's control of class cls (the m-th of that class in it).
    bool UnitControl(int unit, const char* cls, int m, Point& at)
    {
        ViewTree tree = s.Tree();
        int view = tree.Find("XGigaView", unit);
        int node = view >= 0 ? tree.Find(cls, m, view) : -1;
        if (node >= 0)
            at = s.ScreenCentre(tree, node);
        return node >= 0;
    }
    // The level of a held note on a MIDI channel, played into the plug-in.
    e2e::Level Note(int channel, int key = 60)
    {
        s.NoteOn(key, 110, channel);
        e2e::Level level = s.Render(300);
        s.NoteOff(key, channel);
        s.Render(2000);  // the release dies away before the next note
        return level;
    }
    bool Shown(const char* cls)
    {
        ViewTree tree = s.Tree();
        return tree.Find(cls) >= 0;
    }
    // Types a search into the search pane (opened when hidden) and waits
    // for the message line to report it (or to say `expected`); the hits
    // sorted by instrument.
    std::string Search(const std::string& text, const std::string& expected = "")
    {
        if (!Shown("XViewBase"))
            Toolbar(editor::kSearch);
        ViewTree tree = s.Tree();
        int field = tree.Find("XEdit", 0, tree.Find("XViewBase"));
        // The caret at the end of what the field holds, which goes.
        s.Click(s.Screen(tree, field, tree[field].At(tree[field].w - 3, tree[field].h / 2)));
        for (int i = 0; i < 24; ++i)
            s.Key("BackSpace");
        s.Type(text);
        s.Key("Return");
        std::string line;
        s.IdleUntil(3000, [&] {
            line = MessageLine();
            return expected.empty() ? line.rfind("Your search for '" + text + "'", 0) == 0 : line == expected;
        });
        // Sorted by the instrument column, rising: rows in name order (a
        // sorted column sorts every later search too).
        tree = s.Tree();
        int header = tree.Find("XColumn", 2, tree.Find("XViewBase"));
        if (!m_sortedByName && header >= 0) {
            s.Click(s.ScreenCentre(tree, header));
            m_sortedByName = true;
        }
        return line;
    }
    std::string MessageLine()
    {
        ViewTree tree = s.Tree();
        int label = tree.Find("XLabel", 0, tree.Find("XViewBase"));
        return label >= 0 ? tree[label].text : std::string();
    }
    int HitCount()
    {
        ViewTree tree = s.Tree();
        return static_cast<int>(tree.All("@row", tree.Find("XListResult")).size());
    }
    // A point on hit row n: on its file name, or on star k (1..5).
    Point HitAt(int n, int star = 0)
    {
        ViewTree tree = s.Tree();
        int list = tree.Find("XListResult");
        int row = tree.Find("@row", n, list);
        if (row < 0)
            return {};
        int x = star > 0 ? tree[list].w / 2 + browser::kStarFirstLeft + (star - 1) * browser::kStarPitch + 8 : 60;
        return s.Screen(tree, row, Point{tree[list].x + x, tree[row].y + tree[row].h / 2});
    }
    static std::string DatabasePath()
    {
        return std::string(getenv("XDG_DATA_HOME")) + "/" + browser::kDbFolder + "/corvane.db";
    }
    // One value the database gives ("" when none).
    static std::string DbValue(const std::string& sql)
    {
        utiltest::RowReader reader;
        if (!reader.OpenFile(DatabasePath().c_str(), false))
            return {};
        return reader.Value(sql.c_str());
    }
    // The pixels of a unit's value captions (volume, tuning, pan).
    std::vector<unsigned long> Captions(int n = 0)
    {
        ViewTree tree = s.Tree();
        const int unit = tree.Find("XGigaView", n);
        std::vector<unsigned long> all;
        for (int n = 0; n < 3; ++n) {
            const int caption = tree.Find("XValTop", n, unit);
            if (caption < 0)
                return {};
            std::vector<unsigned long> px =
                s.Pixels(s.Screen(tree, caption, tree[caption].At(0, 0)), tree[caption].w, tree[caption].h);
            all.insert(all.end(), px.begin(), px.end());
        }
        return all;
    }
    // Where a unit's value captions show their green text: the same values
    // give the same mask whatever the bar's face under them.
    std::vector<bool> CaptionText(int n)
    {
        std::vector<bool> mask;
        for (unsigned long rgb : Captions(n)) {
            const int r = static_cast<int>(rgb >> 16), g = static_cast<int>((rgb >> 8) & 0xFF);
            mask.push_back(g > 120 && g > r + 60);
        }
        return mask;
    }
    // After fader drags the captions look as a fresh paint of the editor
    // (closed and opened again) draws them: no old digit shows under a new one.
    void ExpectCaptionsAsRepainted(const std::string& screen)
    {
        const std::vector<unsigned long> dragged = Captions();
        ASSERT_FALSE(dragged.empty());
        s.Screenshot(screen);
        s.CloseEditor();
        s.Idle(60);
        s.OpenEditor();
        s.Idle(300);
        EXPECT_TRUE(dragged == Captions()) << "the value captions show old digits under the new ones";
    }

    // Pixels of colour rgb (0xRRGGBB) in a rectangle of a node, given in
    // the node's own coordinates.
    int ColourIn(const ViewTree& tree, int node, unsigned long rgb, int x, int y, int w, int h)
    {
        return s.CountColour(s.Screen(tree, node, tree[node].At(x, y)), w, h, rgb);
    }
    int ColourIn(const ViewTree& tree, int node, unsigned long rgb)
    {
        return ColourIn(tree, node, rgb, 0, 0, tree[node].w, tree[node].h);
    }
    // Unit n's name box, shown.
    int NameBox(const ViewTree& tree, int unit) { return tree.Find("XGigaName", unit); }
    static constexpr unsigned long kFailedName = 0xFF6464;
    static constexpr unsigned long kPartialName = 0xFFAA3C;  // loaded, some samples silent

    EditorSession s;
    bool m_sortedByName = false;
};

// The instruments rated, "name=stars" in name order.
const char* const kRatings = "SELECT group_concat(iname || '=' || rating, ',') FROM "
                             "(SELECT iname, rating FROM inst WHERE rating > 0 ORDER BY iname);";

// A bank of the demo piano's sounds under other names.
gigtools::GigBuilder PianoBank(const std::vector<std::string>& names, const char* bankName = "Demo Piano")
{
    gigtools::GigFixture fixture = gigtools::DemoPianoFixture();
    for (size_t i = 0; i < names.size(); ++i)
        fixture.bank.Instrument(static_cast<int>(i)).name = names[i];
    fixture.bank.bankName = bankName;
    return fixture.bank;
}

}  // namespace

// The rack's units are painted when the editor opens and again when the
// host closes and reopens it (nothing of the hidden mixer covers them).
TEST_F(EditorEndToEnd, RackIsPaintedOnOpenAndReopen)
{
    for (int round = 0; round < 2; ++round) {
        ViewTree tree = s.Tree();
        int unit = tree.Find("XGigaViewTop");
        ASSERT_GE(unit, 0) << tree.Text();
        EXPECT_LT(tree.Find("GMixer"), 0) << "the hidden mixer is listed as shown";
        // The top bar's face, between the number and the name box.
        Point p = s.Screen(tree, unit, tree[unit].At(40, 3));
        EXPECT_NE(s.Pixel(p), 0u) << "round " << round << ": the rack is black";
        if (round == 0) {
            s.Screenshot("rack-open");
            s.CloseEditor();
            s.Idle(60);
            s.OpenEditor();
            s.Idle(200);
        }
    }
}

// Every toolbar button and the logo, pressed as a person presses them.
TEST_F(EditorEndToEnd, ToolbarButtonsAndLogoDoTheirJobs)
{
    using namespace editor;
    std::string gig = WriteBanks();
    ASSERT_FALSE(gig.empty());
    ASSERT_TRUE(s.SetChunk(EditorSession::ChunkFor(gig, 0)));
    s.Idle(200);
    s.Screenshot("rack-loaded");

    // Panes: each opens its view and closes it again.
    struct Pane {
        int button;
        const char* view;
        const char* screen;
    };
    for (const Pane& pane : {Pane{kBrowse, "XViewNav", "browser"}, Pane{kSearch, "XViewBase", "search"},
                             Pane{kMixer, "GMixer", "mixer"}, Pane{kExpand, "XGigaViewBot", "rack-expanded"}}) {
        Toolbar(pane.button);
        EXPECT_TRUE(Shown(pane.view)) << pane.view << " did not open";
        s.Screenshot(pane.screen);
        Toolbar(pane.button);
        EXPECT_FALSE(Shown(pane.view)) << pane.view << " did not close";
    }
    EXPECT_TRUE(Shown("XGigaView"));

    // Dialogs: settings and the logo's about box open as windows of their own.
    for (const char* dialog : {"WSettings", "WAbout"}) {
        if (std::string(dialog) == "WSettings") {
            e2e::KeptForProcess kept;
            Toolbar(kSettings);
        } else {
            ViewTree tree = s.Tree();
            s.Click(s.ScreenCentre(tree, tree.Find("XLogo")));
        }
        ASSERT_TRUE(s.IdleUntil(2000, [&] { return Shown(dialog); })) << dialog << " did not open";
        s.Screenshot(std::string("dialog-") + dialog, true);
        if (std::string(dialog) == "WSettings") {
            ASSERT_TRUE(ClickText(dialog, "XButton", "Ok")) << s.Tree().Text();
        } else {
            s.Key("Escape");  // the about box has no button of its own
        }
        EXPECT_TRUE(s.IdleUntil(2000, [&] { return !Shown(dialog); })) << dialog << " did not close\n"
                                                                        << s.Tree().Text();
    }

    // Save as asks for a name; Save writes to it again without asking.
    std::string file = s.Scratch() + "/performance.tv2";
    setenv("KIV_DIALOG_ANSWER", file.c_str(), 1);
    Toolbar(kSaveAs);
    EXPECT_TRUE(s.IdleUntil(3000, [&] { return Exists(file); })) << "Save as wrote nothing";
    unsetenv("KIV_DIALOG_ANSWER");
    unlink(file.c_str());
    Toolbar(kSave);
    EXPECT_TRUE(s.IdleUntil(3000, [&] { return Exists(file); })) << "Save wrote nothing";
    EXPECT_NE(kivtest::ReadFile(file).find("Demo Piano"), std::string::npos);

    // Reset, with nothing unsaved, empties the units at once; Open, with
    // nothing changed since, has nothing to ask and brings the saved
    // performance back.
    Toolbar(kReset);
    EXPECT_FALSE(Shown("WConfirm")) << "Reset asked though nothing was unsaved";
    EXPECT_TRUE(s.IdleUntil(2000, [&] { return s.UnitPaths().at(0).empty(); })) << "Reset kept the instrument";
    setenv("KIV_DIALOG_ANSWER", file.c_str(), 1);
    Toolbar(kOpen);
    if (s.IdleAtMost(500, [&] { return Shown("WConfirm"); })) {
        ADD_FAILURE() << "Open asked to save the performance Reset emptied";
        ASSERT_TRUE(ClickButtonText("WConfirm", 1));
    }
    EXPECT_TRUE(s.IdleUntil(3000, [&] { return s.UnitPaths().at(0) == gig; })) << "Open did not restore the unit";
    unsetenv("KIV_DIALOG_ANSWER");

    // New, after a change, asks first; "No" empties the units.
    ViewTree tree = s.Tree();
    int volume = tree.Find("XFader", 0);
    ASSERT_GE(volume, 0);
    s.Drag(s.ScreenCentre(tree, volume), s.Screen(tree, volume, tree[volume].At(10, 9)));
    Toolbar(kNew);
    ASSERT_TRUE(s.IdleUntil(2000, [&] { return Shown("WConfirm"); })) << "New did not ask";
    ASSERT_TRUE(ClickButtonText("WConfirm", 1));
    EXPECT_TRUE(s.IdleUntil(2000, [&] { return s.UnitPaths().at(0).empty(); })) << "New kept the instrument";
}

// Browse to a bank, double-click an instrument: the selected unit plays it.
// Dragging an instrument onto the third unit loads it there. Entries named
// like banks in the same folder are clicked on the way: a named pipe, a
// link to a device, a bank the user may not read and a damaged one. Each
// click returns at once and says, where the instruments would be, why there
// are none; a double click on the pipe waits on nothing, and dragged onto
// an empty unit it is taken there, fails to load at once and leaves the
// other units alone.
TEST_F(EditorEndToEnd, BrowsedInstrumentsLoadByDoubleClickAndByDrag)
{
    std::string gig = WriteBanks();
    ASSERT_FALSE(gig.empty());
    // The odd entries in the home folder, whose rows the tree shows above
    // those of its sub-folders.
    const std::string home = getenv("HOME");
    const std::string pipe = home + "/Bank Pipe.gig";
    ASSERT_TRUE(kivtest::MakePipe(pipe));
    ASSERT_EQ(symlink("/dev/null", (home + "/Bank Device.gig").c_str()), 0);
    const std::string locked = home + "/Bank Locked.gig";
    ASSERT_TRUE(std::filesystem::copy_file(gig, locked));
    chmod(locked.c_str(), 0);
    std::ofstream(home + "/Bank Damaged.gig") << std::string(4096, 'x');
    // The plug-in writes its view tree for the test into the scratch
    // folder, also as "nobody" (the test's home above it is its own).
    chmod(home.c_str(), 0755);
    chmod(s.Scratch().c_str(), 0777);
    EXPECT_LT(Note(0).peak, 1e-4f) << "an empty unit sounds";

    ASSERT_TRUE(BrowseTo(gig)) << s.Tree().Text();
    Point first;
    ASSERT_TRUE(Row("XListInst", "Demo Piano", first)) << s.Tree().Text();
    {
        // The GUI thread is the test's: a click that waited on the pipe
        // would be released after 10 s and fail here instead of hanging.
        kivtest::PipeGuard guard({pipe}, 10);
        const struct {
            const char* name;
            std::string reason;
            bool asUser;  // clicked by an ordinary user
        } entries[] = {
            {"Bank Pipe.gig", "Not a regular file", false},
            {"Bank Device.gig", "Not a regular file", false},
            {"Bank Locked.gig", std::strerror(EACCES), true},
            {"Bank Damaged.gig", browser::kBankUnreadable, false},
        };
        for (const auto& entry : entries) {
            Point at;
            ASSERT_TRUE(Row("XTreeGiga", entry.name, at)) << s.Tree().Text();
            std::string said;
            {
                std::unique_ptr<kivtest::AsOrdinaryUser> user;
                if (entry.asUser) {
                    user = std::make_unique<kivtest::AsOrdinaryUser>();
                    ASSERT_TRUE(user->Ok());
                }
                s.Click(at);
                EXPECT_TRUE(s.IdleUntil(3000, [&] {
                    ViewTree tree = s.Tree();
                    const int pane = tree.Find("XListInst");
                    said = pane >= 0 ? tree[pane].text : "";
                    return said == entry.reason;
                })) << entry.name << " says \"" << said << "\"";
            }
            ViewTree tree = s.Tree();
            EXPECT_LT(tree.Find("@row", 0, tree.Find("XListInst")), 0) << entry.name << " listed instruments";
            s.Screenshot(std::string("browser-unreadable-") + entry.name);
        }
        Point trap;
        ASSERT_TRUE(Row("XTreeGiga", "Bank Pipe.gig", trap));
        s.DoubleClick(trap);
        Point unit4;
        ASSERT_TRUE(UnitControl(3, "XGigaName", 0, unit4));
        const std::vector<std::string> before = s.UnitPaths();
        // Unit 4 takes the pipe's path, whose load is refused at once.
        s.Drag(trap, unit4, 12);
        EXPECT_TRUE(s.IdleUntil(3000, [&] { return s.UnitPaths().at(3) == pipe; })) << "the drop was not taken";
        const std::vector<std::string> after = s.UnitPaths();
        for (size_t unit = 0; unit < before.size(); ++unit) {
            if (unit != 3) {
                EXPECT_EQ(after[unit], before[unit]) << "unit " << unit + 1 << " changed";
            }
        }
        EXPECT_LT(Note(3).peak, 1e-4f) << "the pipe dropped on unit 4 sounds";
        s.Screenshot("browser-pipe-dropped");
        EXPECT_FALSE(guard.Released()) << "the browser waited on a named pipe";
    }
    Point bank;
    ASSERT_TRUE(Row("XTreeGiga", gig.substr(gig.rfind('/') + 1), bank));
    s.Click(bank);
    ASSERT_TRUE(Row("XListInst", "Demo Piano", first)) << "the bank is not listed after the pipe\n"
                                                       << s.Tree().Text();
    s.Screenshot("browser");
    s.DoubleClick(first);
    ASSERT_TRUE(s.IdleUntil(5000, [&] { return s.UnitPaths().at(0) == gig; })) << "double-click loaded nothing";
    s.Idle(300);
    EXPECT_GT(Note(0).peak, 0.01f) << "the loaded unit is silent";
    EXPECT_LT(Note(2).peak, 1e-4f) << "unit 3's channel sounds before it holds an instrument";

    Point unit3;
    ASSERT_TRUE(UnitControl(2, "XGigaName", 0, unit3));
    s.Drag(first, unit3, 12);
    ASSERT_TRUE(s.IdleUntil(5000, [&] { return s.UnitPaths().at(2) == gig; })) << "the drop loaded nothing";
    s.Idle(300);
    EXPECT_GT(Note(2).peak, 0.01f) << "unit 3 is silent";
    s.Screenshot("rack-loaded-units");
}

// A unit's volume fader sets its part's volume and the level follows, its
// number drawn clean; mute silences its own unit, solo every other one.
TEST_F(EditorEndToEnd, VolumeFaderMuteAndSoloActOnTheSound)
{
    std::string gig = WriteBanks();
    ASSERT_TRUE(s.SetChunk(EditorSession::ChunkFor(gig, 0, 2)));
    s.Idle(200);
    const float full = Note(0).rms;
    ASSERT_GT(full, 0.001f);
    ASSERT_GT(Note(1).rms, 0.001f);

    Point fader;
    ASSERT_TRUE(UnitControl(0, "XFader", 0, fader));
    s.Drag(fader, Point{fader.x - 40, fader.y});
    ExpectCaptionsAsRepainted("fader-volume-dragged");
    int volume = s.UnitVolumes().at(0);
    EXPECT_LT(volume, 60) << "the fader did not lower the part's volume";
    EXPECT_EQ(s.UnitVolumes().at(1), 90);
    EXPECT_LT(Note(0).rms, full * 0.75f) << "the level did not follow the volume " << volume;

    struct Case {
        int unit;       // whose button
        int button;     // 0 mute, 1 solo
        bool sounds[2]; // units 1 and 2 while it is on
    };
    for (const Case& c : {Case{0, 0, {false, true}}, Case{1, 0, {true, false}}, Case{1, 1, {false, true}},
                          Case{0, 1, {true, false}}}) {
        Point led;
        ASSERT_TRUE(UnitControl(c.unit, "XTogLed", c.button, led));
        s.Click(led);
        for (int u = 0; u < 2; ++u)
            EXPECT_EQ(Note(u).peak > 1e-4f, c.sounds[u])
                << (c.button ? "solo" : "mute") << " of unit " << c.unit + 1 << ", unit " << u + 1;
        if (c.unit == 1 && c.button == 1)
            s.Screenshot("rack-solo");
        s.Click(led);
        EXPECT_GT(Note(1 - c.unit).peak, 1e-4f) << "still silent after switching off";
    }
}

// The part menu's "Load Instrument" asks for a .gig file and loads it.
TEST_F(EditorEndToEnd, PartMenuLoadsAnInstrumentFromAFile)
{
    std::string gig = WriteBanks();
    setenv("KIV_DIALOG_ANSWER", gig.c_str(), 1);
    Point name;
    ASSERT_TRUE(UnitControl(1, "XGigaName", 0, name));
    s.Click(name);
    ASSERT_TRUE(s.PickMenuItem(EditorSession::MenuItemTop(0), "part-menu"))
        << "no part menu opened";  // "Load Instrument"
    EXPECT_TRUE(s.IdleUntil(5000, [&] { return s.UnitPaths().at(1) == gig; })) << "the unit loaded nothing";
    unsetenv("KIV_DIALOG_ANSWER");
    s.Idle(200);
    EXPECT_GT(Note(1).peak, 0.01f) << "the loaded unit is silent";
}

// The part menu never holds the host: while it is open the host's idle
// calls return at once. Escape and a click outside close it with nothing
// chosen; closing the editor takes it along, and the reopened editor works.
// The menu lists the banks the player already holds, one sub-menu each:
// near the right edge of the screen it opens to the left, its arrow
// pointing there, and choosing an instrument loads it into the unit without
// a dialog. A double click on the name box toggles the browser, whether the
// menu the first press opened took the second or not; quick presses on two
// controls are two single presses.
TEST_F(EditorEndToEnd, PartMenuNeverHoldsTheHostAndItsBankSubMenuLoadsAnInstrument)
{
    std::string gig = WriteBanks();
    ASSERT_TRUE(s.SetChunk(EditorSession::ChunkFor(gig, 0)));
    ASSERT_TRUE(s.IdleUntil(5000, [&] { return s.UnitLayers().at(0) == std::vector<std::string>{gig + ":0"}; }));
    s.Idle(200);
    Point name;
    ASSERT_TRUE(UnitControl(1, "XGigaName", 0, name));
    auto menuShown = [&] { return !s.MenuWindows().empty(); };
    auto menuGone = [&] { return s.IdleUntil(1000, [&] { return !menuShown(); }); };

    s.Click(name);
    ASSERT_TRUE(s.WaitForMenus(1)) << "no part menu opened";
    s.ResetIdleTimes();
    s.Idle(1500);
    EXPECT_TRUE(menuShown()) << "the menu closed by itself";
    // Every idle call came back while the menu stayed open: none was held
    // for it.
    EXPECT_GT(s.IdleCalls(), 40);
    std::printf("longest effEditIdle with the part menu open: %.2f ms over %d calls\n", s.LongestIdleMs(),
                s.IdleCalls());
    s.Screenshot("part-menu-open", true);
    s.Key("Escape");
    EXPECT_TRUE(menuGone()) << "Escape left the menu open";

    ViewTree tree = s.Tree();
    const Point outside = s.Screen(tree, tree.Roots().at(0), Point{620, 24});  // the toolbar's background
    s.Click(name);
    ASSERT_TRUE(s.WaitForMenus(1));
    s.Click(outside);
    EXPECT_TRUE(menuGone()) << "a click outside left the menu open";
    EXPECT_EQ(s.UnitPaths().at(1), "") << "a closed menu chose something";

    s.Click(name);
    ASSERT_TRUE(s.WaitForMenus(1));
    s.CloseEditor();
    s.Idle(100);
    EXPECT_TRUE(s.MenuWindows().empty()) << "the menu outlived the editor";
    s.OpenEditor();
    s.Idle(300);

    // Near the screen's right edge the bank's sub-menu opens leftwards.
    s.MoveHost(1000, 30);
    ASSERT_TRUE(UnitControl(1, "XGigaName", 0, name));
    s.ResetIdleTimes();
    s.Click(name);
    ASSERT_TRUE(s.WaitForMenus(1)) << "no part menu after reopening the editor";
    // "Load Instrument", "Unload Instrument", "Load Preset", a separator,
    // then the bank.
    const int bankTop = EditorSession::MenuItemTop(4, 1);
    const EditorSession::TopWindow top = s.MenuWindows().at(0);
    s.Move(Point{top.x + 30, top.y + 1 + bankTop + 10});
    ASSERT_TRUE(s.WaitForMenus(2)) << "the bank's sub-menu did not open";
    const EditorSession::TopWindow sub = s.MenuWindows().at(1);
    EXPECT_LE(sub.x + sub.w, top.x + 2) << "the sub-menu did not open to the left";
    // The lit entry's arrow: its flat side is a 7-pixel column, its tip one
    // pixel; pointing left, the flat side is the right one.
    auto arrowColumn = [&](int fromRight) {
        int n = 0;
        for (int y = top.y + 1 + bankTop; y < top.y + 1 + bankTop + 20; ++y)
            n += s.Pixel(Point{top.x + top.w - fromRight, y}) == 0xFFFFFFu;
        return n;
    };
    EXPECT_EQ(arrowColumn(9), 7) << "the arrow does not point left";
    EXPECT_EQ(arrowColumn(12), 1) << "the arrow does not point left";
    ASSERT_TRUE(s.PickMenuItems({bankTop, EditorSession::MenuItemTop(1)}, "part-menu-submenu-left"));
    EXPECT_TRUE(s.IdleUntil(5000, [&] { return s.UnitLayers().at(1) == std::vector<std::string>{gig + ":1"}; }))
        << "the unit did not take the bank's second instrument";
    std::printf("longest effEditIdle from opening the menu to loading its choice: %.2f ms over %d calls\n",
                s.LongestIdleMs(), s.IdleCalls());
    s.MoveHost(40, 30);

    ASSERT_TRUE(UnitControl(1, "XGigaName", 0, name));
    for (int gapMs : {100, 0}) {
        const bool before = Shown("XViewNav");
        s.DoubleClick(name, gapMs);
        EXPECT_TRUE(s.IdleUntil(1000, [&] { return Shown("XViewNav") != before; }))
            << "a double click " << gapMs << " ms apart did not toggle the browser";
        EXPECT_TRUE(menuGone()) << "the first press's menu stayed open";
    }
    Point toggle;
    ASSERT_TRUE(UnitControl(1, "XTogStack", 0, toggle));
    s.Clicks({toggle, name}, 100);
    EXPECT_TRUE(s.WaitForMenus(1)) << "the name box's press opened no menu";
    EXPECT_FALSE(Shown("XViewNav")) << "presses on two controls made a double click";
    s.Key("Escape");
    EXPECT_TRUE(menuGone());
}

// The stack toggle opens the stacked view; an instrument chosen in the
// browser then joins the unit as a second layer, and both play.
TEST_F(EditorEndToEnd, StackToggleOpensTheStackedViewThatTakesLayers)
{
    std::string gig = WriteBanks();
    ASSERT_TRUE(s.SetChunk(EditorSession::ChunkFor(gig, 0)));
    s.Idle(200);
    const float one = Note(0).rms;
    Point toggle;
    ASSERT_TRUE(UnitControl(0, "XTogStack", 0, toggle));
    s.Click(toggle);
    ASSERT_TRUE(s.IdleUntil(2000, [&] { return Shown("XGigaViewStack"); })) << "no stacked view";

    ASSERT_TRUE(BrowseTo(gig));
    Point bright;
    ASSERT_TRUE(Row("XListInst", "Demo Piano Bright", bright));
    s.DoubleClick(bright);
    std::vector<std::string> want = {gig + ":0", gig + ":1"};
    EXPECT_TRUE(s.IdleUntil(5000, [&] { return s.UnitLayers().at(0) == want; })) << "the layer was not added";
    s.Idle(300);
    EXPECT_GT(Note(0).rms, one * 1.2f) << "two layers sound no louder than one";
    Toolbar(editor::kBrowse);
    s.Screenshot("stacked");
}

// A bank whose first wave's format chunk is a byte too long gets one verdict
// wherever it loads: on two units of a restored project (the second from the
// bank already read), when the project is restored again, and dragged from
// the browser onto another unit, it is shown partly loaded and plays. Its
// note shows under the pointer and goes when the pointer leaves the window
// straight from the name box. A unit stacking a sound piano, that bank and
// a file that is no bank shows each layer's verdict in its row, as a unit
// shows it, and its volume, tuning and pan as a fresh unit does.
TEST_F(EditorEndToEnd, ADamagedBankGetsOneVerdictWhereverItLoads)
{
    const std::string gig = WriteBanks();
    gigtools::RiffNode tree = gigtools::DemoPianoFixture().bank.BuildTree("Frayed Piano");
    gigtools::RiffNode* format = tree.Find("fmt ");
    format->hasSizeOverride = true;
    format->sizeOverride = format->PayloadSize() + 1;
    const std::string frayed = s.Scratch() + "/Frayed Piano.gig";
    ASSERT_TRUE(gigtools::WriteBytes(frayed, tree.Serialize()));
    const std::string broken = s.Scratch() + "/Broken.gig";
    const std::string junk(4096, 'x');
    ASSERT_TRUE(kivtest::WriteFile(broken, junk.data(), junk.size()));
    const std::string chunk =
        EditorSession::ChunkOfLayers({{{frayed, 0}}, {{frayed, 0}}, {}, {{gig, 0}, {frayed, 0}, {broken, 0}}});
    ASSERT_FALSE(chunk.empty());
    // Shown partly loaded, never failed.
    const auto partial = [&](int unit) {
        return s.IdleUntil(5000, [&] {
            ViewTree t = s.Tree();
            const int name = NameBox(t, unit);
            return name >= 0 && ColourIn(t, name, kPartialName) > 0 && ColourIn(t, name, kFailedName) == 0;
        });
    };
    for (int restore = 0; restore < 2; ++restore) {
        ASSERT_TRUE(s.SetChunk(restore == 0 ? chunk : s.Chunk()));
        for (int unit : {0, 1})
            EXPECT_TRUE(partial(unit)) << "unit " << unit + 1 << ", restore " << restore + 1;
    }
    s.Screenshot("damaged-bank-units");
    EXPECT_GT(Note(0).peak, 0.01f) << "the rest of the damaged bank is silent";
    EXPECT_GT(Note(1).peak, 0.01f) << "the damaged bank is silent on its second unit";

    {
        ViewTree t = s.Tree();
        const int name = NameBox(t, 0);
        const Point origin = s.Screen(t, name, t[name].At(0, 0));
        const auto pixels = [&] { return s.Pixels(origin, t[name].w, t[name].h); };
        const std::vector<unsigned long> plain = pixels();
        s.Move(s.ScreenCentre(t, name));
        EXPECT_TRUE(s.IdleUntil(2000, [&] { return pixels() != plain; })) << "no note under the pointer";
        s.Screenshot("damaged-bank-note");
        // Straight out of the window, to the left of it.
        s.Move(Point{5, s.ScreenCentre(t, name).y});
        EXPECT_TRUE(s.IdleUntil(2000, [&] { return pixels() == plain; })) << "the note stays after the pointer left";
        s.Screenshot("damaged-bank-note-left");
    }

    ASSERT_TRUE(BrowseTo(frayed)) << s.Tree().Text();
    Point instrument, unit5;
    ASSERT_TRUE(Row("XListInst", "Demo Piano", instrument)) << s.Tree().Text();
    ASSERT_TRUE(UnitControl(4, "XGigaName", 0, unit5));
    s.Drag(instrument, unit5, 12);
    ASSERT_TRUE(s.IdleUntil(5000, [&] { return s.UnitPaths().at(4) == frayed; })) << "the drop loaded nothing";
    EXPECT_TRUE(partial(4)) << "the bank dropped from the browser";
    Toolbar(editor::kBrowse);

    // The stacked unit, opened at its rack slot's arrow.
    {
        ViewTree t = s.Tree();
        const int slot = t.Find("XRackUnit", 3);
        ASSERT_GE(slot, 0) << t.Text();
        s.Click(s.Screen(t, slot, t[slot].At(6, 10)));
    }
    ASSERT_TRUE(s.IdleUntil(2000, [&] { return Shown("XGigaViewStack"); })) << "the stacked unit did not open";
    ViewTree t = s.Tree();
    const int stack = t.Find("XGigaViewStack");
    const auto row = [&](int i, unsigned long rgb) { return ColourIn(t, stack, rgb, 10, 25 + 22 * i, 200, 18); };
    EXPECT_EQ(row(0, kPartialName) + row(0, kFailedName), 0) << "the sound layer looks damaged";
    EXPECT_GT(row(1, kPartialName), 0) << "the partly silent layer is not shown so";
    EXPECT_GT(row(2, kFailedName), 0) << "the failed layer is not shown so";
    EXPECT_GT(ColourIn(t, NameBox(t, 3), kFailedName), 0) << "the unit with a failed layer is not shown failed";
    EXPECT_TRUE(CaptionText(3) == CaptionText(2)) << "the stacked unit's volume, tuning and pan differ from a fresh unit's";
    s.Screenshot("stacked-layer-verdicts");
    // Under the pointer, each troubled layer names its trouble.
    for (int i : {1, 2}) {
        const Point cell = s.Screen(t, stack, t[stack].At(10, 25 + 22 * i));
        const std::vector<unsigned long> name = s.Pixels(cell, 200, 18);
        s.Move(Point{cell.x + 100, cell.y + 9});
        EXPECT_TRUE(s.IdleUntil(2000, [&] { return s.Pixels(cell, 200, 18) != name; })) << "no note on layer " << i;
        s.Screenshot("stacked-layer-note-" + std::to_string(i));
    }
}

// Units show the volume, tuning and pan they hold whatever they hold: an
// empty unit switched to stack mode, which says it is an empty stack, and a
// unit emptied by New show them as a unit never loaded does.
TEST_F(EditorEndToEnd, EmptiedAndStackedUnitsShowTheirValues)
{
    const std::string gig = WriteBanks();
    ASSERT_TRUE(s.SetChunk(EditorSession::ChunkFor(gig, 0)));
    s.Idle(200);
    const std::vector<bool> fresh = CaptionText(2);
    ASSERT_FALSE(fresh.empty());
    EXPECT_NE(std::count(fresh.begin(), fresh.end(), true), 0) << "a fresh unit shows no values";
    Point toggle;
    ASSERT_TRUE(UnitControl(1, "XTogStack", 0, toggle));
    s.Click(toggle);
    EXPECT_TRUE(s.IdleUntil(2000, [&] {
        ViewTree t = s.Tree();
        return t[NameBox(t, 1)].text == "No stacked instrument";
    })) << s.Tree().Text();
    EXPECT_TRUE(CaptionText(1) == fresh) << "the empty stacked unit";

    Toolbar(editor::kNew);
    ASSERT_TRUE(s.IdleUntil(3000, [&] { return Shown("WConfirm") || s.UnitPaths().at(0).empty(); }));
    if (Shown("WConfirm")) {
        ASSERT_TRUE(ClickButtonText("WConfirm", 1));  // No
    }
    ASSERT_TRUE(s.IdleUntil(3000, [&] { return s.UnitPaths().at(0).empty(); })) << "New left the unit loaded";
    EXPECT_TRUE(s.IdleUntil(2000, [&] { return CaptionText(0) == fresh; })) << "the unit New emptied";
    s.Screenshot("units-emptied-and-stacked");
}

// Search the utility's database for "piano", double-click the hit: that
// instrument loads. A click on its fourth star stores the rating. A
// database that is there but cannot be used is said to be so.
TEST_F(EditorEndToEnd, SearchHitLoadsByDoubleClickAndStarsStoreTheRating)
{
    std::string gig = WriteBanks();
    std::string folder = s.Scratch() + "/";
    int hitId = 0;
    {
        // The database the utility would have written for these banks.
        GigaBase base;
        ASSERT_TRUE(base.Open());
        ASSERT_TRUE(base.UseRoot(folder.c_str()));
        int path = base.InsertPath(folder.c_str());
        int piano = base.InsertFile(path, "Demo Piano.gig");
        int pad = base.InsertFile(path, "Stereo Pad.gig");
        hitId = base.InsertInstrument(piano, "Demo Piano Bright", 1);
        base.InsertInstrument(pad, "Warm Pad", 0);
        ASSERT_GT(hitId, 0);
    }
    Toolbar(editor::kSearch);
    ViewTree tree = s.Tree();
    int field = tree.Find("XEdit", 0, tree.Find("XViewBase"));
    ASSERT_GE(field, 0) << tree.Text();
    s.Click(s.ScreenCentre(tree, field));
    s.Type("piano");
    s.Key("Return");
    int hit = -1;
    ASSERT_TRUE(s.IdleUntil(3000, [&] {
        tree = s.Tree();
        hit = tree.Find("@row", 0, tree.Find("XListResult"));
        return hit >= 0;
    })) << "no hit listed";
    EXPECT_LT(tree.Find("@row", 1, tree.Find("XListResult")), 0) << "the pad matched \"piano\"";

    // The fourth star of the hit's row: stars sit from the list's middle.
    const e2e::ViewNode& row = tree[hit];
    int list = tree.Find("XListResult");
    int fourth = tree[list].w / 2 + browser::kStarFirstLeft + 3 * browser::kStarPitch + 8;
    s.Click(s.Screen(tree, hit, Point{tree[list].x + fourth, row.y + row.h / 2}));
    int stored = -1;
    EXPECT_TRUE(s.IdleUntil(2000, [&] {
        utiltest::IntReader reader;
        std::string db = std::string(getenv("XDG_DATA_HOME")) + "/" + browser::kDbFolder + "/corvane.db";
        if (reader.OpenFile(db.c_str(), false))
            reader.Query("SELECT rating FROM inst WHERE id = %d;", hitId);
        stored = reader.values.empty() ? -1 : reader.values[0];
        return stored == 4;
    })) << "stored rating " << stored;
    s.Screenshot("search");

    // Double-clicked on its file name, away from the stars.
    s.DoubleClick(s.Screen(tree, hit, Point{tree[list].x + 60, row.y + row.h / 2}));
    EXPECT_TRUE(s.IdleUntil(5000, [&] {
        return s.UnitLayers().at(0) == std::vector<std::string>{gig + ":1"};
    })) << "the hit did not load";

    // The database is there but cannot be used: a star, a double click and
    // the search each say what is wrong with it, in the utility's words, and
    // change nothing; put right, it answers again. Gone, the search asks
    // for the utility.
    const std::string db = DatabasePath();
    const std::string kept = db + ".kept";
    // The plug-in writes its view tree for the test into the scratch
    // folder, also as "nobody", who must reach the database's folder too.
    for (const std::string& folder : {std::string(getenv("HOME")), std::string(getenv("XDG_DATA_HOME")),
                                      db.substr(0, db.rfind('/'))})
        chmod(folder.c_str(), 0755);
    chmod(s.Scratch().c_str(), 0777);
    enum Kind { kUnreadable, kFolder, kPipe, kNotDatabase, kLocked, kMissing };
    const std::string cannotOpen = "Cannot open the database " + db + ": ";
    const struct {
        Kind kind;
        const char* name;
        std::string line;
    } cases[] = {
        {kUnreadable, "unreadable", cannotOpen + std::strerror(EACCES)},
        {kFolder, "folder", cannotOpen + std::strerror(EISDIR)},
        {kPipe, "pipe", cannotOpen + "Not a regular file"},
        {kNotDatabase, "not-database", db + " is not a database"},
        {kLocked, "locked", "The database is locked by another program"},
        {kMissing, "missing", browser::kNoDatabase},
    };
    const std::vector<std::vector<std::string>> layers = s.UnitLayers();
    for (const auto& c : cases) {
        ASSERT_EQ(Search("piano"), "Your search for 'piano' returned 1 result") << c.name;
        std::unique_ptr<DatabaseHolder> holder;
        switch (c.kind) {
        case kUnreadable:
            chmod(db.c_str(), 0);
            break;
        case kLocked: {
            holder = std::make_unique<DatabaseHolder>(db);
            ASSERT_TRUE(holder->Usable());
            const std::string sent =
                holder->SendMarked("PRAGMA journal_mode = DELETE; BEGIN EXCLUSIVE; UPDATE inst SET rating = rating;");
            ASSERT_TRUE(s.IdleUntil(kivtest::kPatientMs, [&] { return Exists(sent); }));
            ASSERT_TRUE(Locked(db, true));
            break;
        }
        default:
            ASSERT_EQ(rename(db.c_str(), kept.c_str()), 0);
            if (c.kind == kFolder)
                mkdir(db.c_str(), 0755);
            else if (c.kind == kPipe)
                ASSERT_TRUE(kivtest::MakePipe(db));
            else if (c.kind == kNotDatabase)
                std::ofstream(db) << std::string(5000, 'j');
            break;
        }
        {
            std::unique_ptr<kivtest::AsOrdinaryUser> user;
            if (c.kind == kUnreadable) {
                user = std::make_unique<kivtest::AsOrdinaryUser>();
                ASSERT_TRUE(user->Ok());
            }
            std::string problem = c.kind == kMissing ? cannotOpen + std::strerror(ENOENT) : c.line;
            problem[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(problem[0])));
            // The lock's rating waits for it, tried on later ticks (above).
            if (c.kind != kLocked) {
                s.Click(HitAt(0, 2));
                EXPECT_TRUE(s.IdleUntil(3000, [&] {
                    return MessageLine() == "The rating of 'Demo Piano Bright' was not stored: " + problem;
                })) << c.name << ": " << MessageLine();
                if (c.kind == kPipe)
                    s.Screenshot("search-rating-database-pipe");
            }
            s.DoubleClick(HitAt(0));
            EXPECT_TRUE(s.IdleUntil(3000, [&] {
                return MessageLine() == "'Demo Piano Bright' cannot be loaded: " + problem;
            })) << c.name << ": " << MessageLine();
            if (c.kind == kPipe)
                s.Screenshot("search-load-database-pipe");
            EXPECT_EQ(Search("piano", c.line), c.line) << c.name;
            EXPECT_EQ(HitCount(), 0) << c.name;
        }
        s.Screenshot(std::string("search-database-") + c.name);
        EXPECT_EQ(s.UnitLayers(), layers) << c.name << ": a hit that could not be found loaded";
        if (holder)
            holder->Send("ROLLBACK;");
        holder.reset();
        chmod(db.c_str(), 0644);
        if (c.kind != kUnreadable && c.kind != kLocked) {
            unlink(db.c_str());
            rmdir(db.c_str());
            ASSERT_EQ(rename(kept.c_str(), db.c_str()), 0);
        }
    }
    EXPECT_EQ(DbValue("SELECT rating FROM inst WHERE id = " + std::to_string(hitId) + ";"), "4")
        << "a rating that was not stored changed the database";
    ASSERT_EQ(Search("piano"), "Your search for 'piano' returned 1 result");
}

// Settings: the plug-in page shows the folder of LXVST_PATH as it is when
// the page opens; a folder chosen (twice) joins it once, one chosen by
// mistake is taken back, and the rescan walks both (Return meanwhile leaves
// the disabled window open). The mixer's first
// effect slot then lists the plug-in, and once chosen and switched on it
// processes the channel.
TEST_F(EditorEndToEnd, ScannedPluginIsChosenInTheMixerAndProcesses)
{
    std::string gig = WriteBanks();
    ASSERT_TRUE(s.SetChunk(EditorSession::ChunkFor(gig, 0)));
    std::string folder = s.Scratch() + "/plugins";
    std::filesystem::create_directories(folder);
    std::string plugin = folder + "/testeffect.so";
    std::filesystem::copy_file(vsttest::PluginPath("testeffect"), plugin);
    std::string agreed = s.Scratch() + "/lxvst";
    std::filesystem::create_directories(agreed);
    std::filesystem::copy_file(vsttest::PluginPath("testeffect"), agreed + "/verb.so");
    const std::string testPath = getenv("LXVST_PATH");
    setenv("LXVST_PATH", agreed.c_str(), 1);
    // Libraries that are no plug-ins: the scan pauses before each, so it
    // lasts long enough to press keys while it runs.
    for (int i = 0; i < 20; ++i)
        kivtest::WriteFile(folder + "/notaplugin" + std::to_string(i) + ".so", "x", 1);

    {
        e2e::KeptForProcess kept;
        Toolbar(editor::kSettings);
    }
    ASSERT_TRUE(s.IdleUntil(2000, [&] { return Shown("WSettings"); }));
    ViewTree tree = s.Tree();
    int tabs = tree.Find("XTabSettings");
    ASSERT_GE(tabs, 0);
    s.Click(s.Screen(tree, tabs, tree[tabs].At(tree[tabs].w * 5 / 6, tree[tabs].h / 2)));  // "Plug-ins"
    tree = s.Tree();
    int chooser = tree.Find("XSelect", 0, tree.Find("XViewPlug"));
    ASSERT_GE(chooser, 0) << "no plug-in page\n" << tree.Text();
    // Shown with the home folder as "~".
    const std::string home = std::string(getenv("HOME")) + "/";
    ASSERT_EQ(agreed.compare(0, home.size(), home), 0);
    const std::string shownAgreed = "~/" + agreed.substr(home.size()) + "/";
    EXPECT_EQ(tree[chooser].text, shownAgreed);
    const std::string both = shownAgreed + ":~/" + folder.substr(home.size()) + "/";
    for (int pick = 0; pick < 2; ++pick) {
        setenv("KIV_DIALOG_ANSWER", folder.c_str(), 1);
        s.Click(s.ScreenCentre(tree, chooser));
        unsetenv("KIV_DIALOG_ANSWER");
        EXPECT_TRUE(s.IdleUntil(2000, [&] {
            ViewTree t = s.Tree();
            return t[t.Find("XSelect", 0, t.Find("XViewPlug"))].text == both;
        })) << "pick " << pick << " shows " << s.Tree()[chooser].text;
    }
    // A folder picked by mistake is taken back through "Remove folder",
    // whose menu offers the added folders only (LXVST_PATH's stays); the
    // list file forgets it at once.
    const std::string mistake = s.Scratch() + "/not-plugins";
    std::filesystem::create_directories(mistake);
    setenv("KIV_DIALOG_ANSWER", mistake.c_str(), 1);
    s.Click(s.ScreenCentre(tree, chooser));
    unsetenv("KIV_DIALOG_ANSWER");
    const std::string three = both + ":~/" + mistake.substr(home.size()) + "/";
    EXPECT_TRUE(s.IdleUntil(2000, [&] {
        ViewTree t = s.Tree();
        return t[t.Find("XSelect", 0, t.Find("XViewPlug"))].text == three;
    }));
    ASSERT_TRUE(ClickText("WSettings", "XButton", "Remove folder"));
    ASSERT_TRUE(s.WaitForMenus(1));
    const EditorSession::TopWindow offered = s.MenuWindows().at(0);
    EXPECT_GE(offered.h, EditorSession::MenuItemTop(2));
    EXPECT_LT(offered.h, EditorSession::MenuItemTop(3)) << "a folder the rule gives is offered too";
    ASSERT_TRUE(s.PickMenuItem(EditorSession::MenuItemTop(1), "settings-remove-folder"));
    EXPECT_TRUE(s.IdleUntil(2000, [&] {
        ViewTree t = s.Tree();
        return t[t.Find("XSelect", 0, t.Find("XViewPlug"))].text == both;
    })) << "shows " << s.Tree()[chooser].text;
    {
        PlugInfoList written;
        ASSERT_TRUE(written.Load("Quillane", "tessivo"));
        EXPECT_EQ(written.GetAddedFolders(), folder + "/");
    }
    ASSERT_TRUE(ClickText("WSettings", "XButton", "Rescan and update the list of plug-ins"));
    // The window is disabled while the scan runs: Return does not close it.
    s.Key("Return");
    s.Idle(100);
    s.Screenshot("settings-scanning");
    EXPECT_TRUE(Shown("WSettings")) << "Return closed the settings window during the scan";
    EXPECT_LT(s.Tree().FindText("XButton", "Rescan and update the list of plug-ins"), 0) << "the scan ended too soon";
    EXPECT_TRUE(s.IdleUntil(10000, [&] {
        ViewTree t = s.Tree();
        return t.Find("@row", 1, t.Find("XListPlug")) >= 0 && t.FindText("XButton", "Ok") >= 0;
    })) << "the scan did not list the plug-ins of both folders\n" << s.Tree().Text();
    setenv("LXVST_PATH", testPath.c_str(), 1);
    s.Screenshot("settings-plugins");
    {
        // The list the scan wrote holds both, and the chosen folder.
        PlugInfoList written;
        ASSERT_TRUE(written.Load("Quillane", "tessivo"));
        EXPECT_NE(written.FindByName("testeffect.so"), nullptr);
        EXPECT_NE(written.FindByName("verb.so"), nullptr);
        EXPECT_EQ(written.GetAddedFolders(), folder + "/");
    }
    ASSERT_TRUE(ClickText("WSettings", "XButton", "Ok"));

    // The first strip: switching an effect on opens its panel. The
    // compressor's is looked at; the first effect slot's menu lists the
    // plug-in in its vendor's sub-menu.
    Toolbar(editor::kMixer);
    ASSERT_TRUE(ClickText("GigaEditor", "XToggle", "Dyn"));
    ASSERT_TRUE(s.IdleUntil(2000, [&] { return Shown("XViewEffectDyn"); }));
    s.Screenshot("mixer-compressor");
    ASSERT_TRUE(ClickText("GigaEditor", "XToggle", "FX1"));
    tree = s.Tree();
    int selector = tree.Find("XSelectPlugin");
    ASSERT_GE(selector, 0) << tree.Text();
    s.Click(s.ScreenCentre(tree, selector));
    ASSERT_TRUE(s.PickMenuItems({EditorSession::MenuItemTop(1), EditorSession::MenuItemTop(0)}, "mixer-fx-menu"))
        << "the effect menu or its vendor sub-menu did not open";
    tree = s.Tree();
    EXPECT_NE(tree[tree.Find("XSelectPlugin")].text.find("testeffect"), std::string::npos)
        << "the slot shows " << tree[tree.Find("XSelectPlugin")].text;

    TestEffectState* state = vsttest::StateOf(plugin);
    ASSERT_NE(state, nullptr) << "the chosen plug-in was not loaded";
    int before = state->processCalls;
    EXPECT_GT(Note(0).peak, 0.001f);
    EXPECT_GT(state->processCalls, before) << "the plug-in does not process the channel";
}

// The unit's other controls each take their press and change the part: the
// output box's menu, the tuning mode's menu, the tuning and pan faders, the
// rack's open arrow, a knob and the filter switch of the opened panel. The
// dragged faders' numbers are drawn clean.
// A hosted effect with a long name (Debian's Dragonfly Hall Reverb) shows
// in its strip's insert panel cut with "..." before the selector's arrow:
// no letter runs under it.
TEST_F(EditorEndToEnd, LongEffectNameEndsBeforeTheSelectorArrow)
{
    const char* hall = "/usr/lib/lxvst/DragonflyHallReverb-vst.so";
    if (!Exists(hall))
        GTEST_SKIP() << "dragonfly-reverb-vst not installed";
    const std::string folder = std::string(getenv("LXVST_PATH"));
    std::filesystem::create_directories(folder);
    std::filesystem::copy_file(hall, folder + "/DragonflyHallReverb-vst.so");
    {
        e2e::KeptForProcess kept;
        Toolbar(editor::kSettings);
    }
    ASSERT_TRUE(s.IdleUntil(2000, [&] { return Shown("WSettings"); }));
    ViewTree tree = s.Tree();
    int tabs = tree.Find("XTabSettings");
    s.Click(s.Screen(tree, tabs, tree[tabs].At(tree[tabs].w * 5 / 6, tree[tabs].h / 2)));  // "Plug-ins"
    ASSERT_TRUE(ClickText("WSettings", "XButton", "Rescan and update the list of plug-ins"));
    ASSERT_TRUE(s.IdleUntil(kivtest::kPatientMs, [&] {
        ViewTree t = s.Tree();
        return t.Find("@row", 0, t.Find("XListPlug")) >= 0 && t.FindText("XButton", "Ok") >= 0;
    })) << s.Tree().Text();
    ASSERT_TRUE(ClickText("WSettings", "XButton", "Ok"));

    Toolbar(editor::kMixer);
    ASSERT_TRUE(ClickText("GigaEditor", "XToggle", "FX1"));
    tree = s.Tree();
    int selector = tree.Find("XSelectPlugin");
    ASSERT_GE(selector, 0) << tree.Text();
    s.Click(s.ScreenCentre(tree, selector));
    {
        // What the reverb keeps for the life of the process (texts it makes
        // when it is opened and shown) is its own.
        e2e::KeptForProcess reverbsOwn;
        ASSERT_TRUE(s.PickMenuItems({EditorSession::MenuItemTop(1), EditorSession::MenuItemTop(0)}));
        ASSERT_TRUE(s.IdleUntil(3000, [&] {
            ViewTree t = s.Tree();
            return t[t.Find("XSelectPlugin")].text.find("Hall") != std::string::npos;
        })) << "the slot shows " << s.Tree()[selector].text;
        // The plug-in's own window opened over the editor: closed, so the
        // strip is seen.
        for (const auto& w : s.PopupWindows())
            if (w.cls == "KivPluginWindow")
                s.CloseWindow(w.id);
        s.Idle(300);
    }
    s.Screenshot("mixer-long-effect-name");
    tree = s.Tree();
    const e2e::ViewNode& box = tree[tree.Find("XSelectPlugin")];
    // The caption is light (250,250,240) on a dark box; the arrow is dark
    // blue. Nothing light may stand in the arrow's columns.
    const int arrowRoom = 14;
    int light = 0;
    for (unsigned long px : s.Pixels(s.Screen(tree, tree.Find("XSelectPlugin"), box.At(box.w - arrowRoom, 1)),
                                     arrowRoom, box.h - 2)) {
        if (((px >> 16) & 0xFF) > 150 && ((px >> 8) & 0xFF) > 150 && (px & 0xFF) > 150)
            ++light;
    }
    EXPECT_EQ(light, 0) << "the name runs under the selector's arrow";
}

TEST_F(EditorEndToEnd, EveryOtherUnitControlChangesThePart)
{
    std::string gig = WriteBanks();
    ASSERT_TRUE(s.SetChunk(EditorSession::ChunkFor(gig, 0)));
    s.Idle(200);
    auto drag = [&](const char* cls, int n, int dx, int dy) {
        Point at;
        ASSERT_TRUE(UnitControl(0, cls, n, at)) << cls;
        s.Drag(at, Point{at.x + dx, at.y + dy});
    };
    auto menu = [&](const char* cls, int item) {
        Point at;
        ASSERT_TRUE(UnitControl(0, cls, 0, at)) << cls;
        s.Click(at);
        EXPECT_TRUE(s.PickMenuItem(EditorSession::MenuItemTop(item))) << cls << " opened no menu";
    };
    auto click = [&](const char* cls, int n) {
        ViewTree tree = s.Tree();
        int node = tree.Find(cls, n, tree.Find("XRackUnit"));
        ASSERT_GE(node, 0) << cls;
        s.Click(s.Screen(tree, node, tree[node].At(6, std::min(10, tree[node].h / 2))));
    };
    struct Case {
        const char* what;
        std::function<void()> press;
        std::function<bool(GigaTone&, GigaPart&)> changed;
    };
    const Case cases[] = {
        {"output box", [&] { menu("XSelectLcd", 2); }, [](GigaTone& t, GigaPart&) { return t.GetBus() == 2; }},
        {"open arrow", [&] { click("XRackUnit", 0); },
         [&](GigaTone&, GigaPart&) { return Shown("XGigaViewBot"); }},
        {"key knob", [&] { drag("XKnob", 0, 0, -25); },
         [](GigaTone&, GigaPart& p) { return p.keyOffset != 0; }},
        {"filter switch", [&] { click("XToggle", 0); }, [](GigaTone&, GigaPart& p) { return p.filterUse != 0; }},
        // Last: nothing after them repaints the whole unit.
        {"tuning mode and fader", [&] { menu("XSelFader", 1); drag("XFader", 1, 30, 0); },
         [](GigaTone& t, GigaPart&) { return t.GetCoarseTune() > 0 && t.GetFineTune() == 0; }},
        {"pan fader", [&] { drag("XFader", 2, -30, 0); }, [](GigaTone& t, GigaPart&) { return t.GetPan() < 54; }},
    };
    for (const Case& c : cases) {
        c.press();
        std::unique_ptr<GigaStudio> studio = EditorSession::Decode(s.Chunk());
        GigaTone* tone = studio ? studio->GetDeck(0)->GetGigaTone(0) : nullptr;
        ASSERT_TRUE(tone && tone->GetPartCount() > 0);
        EXPECT_TRUE(c.changed(*tone, *tone->GetPart(0))) << c.what << " changed nothing";
    }
    s.Screenshot("unit-controls");
    ExpectCaptionsAsRepainted("fader-tuning-pan-dragged");
}

// Corvane keeps the instrument database in step with the disk, and the
// plug-in's search with it. Folders chosen through the program's "+" dialog
// (one of them a link to the other; one file's path over 400 bytes) are
// scanned; the musician rates hits in the editor; the library changes on
// disk (a new version of a file, a file deleted, one renamed, one added);
// the next scan brings the search up to date and the stars stay with the
// instruments still there. A hit listed before the rescan loads the
// instrument it shows.
TEST_F(EditorEndToEnd, CorvaneRescansKeepTheSearchInStepWithTheDisk)
{
    namespace fs = std::filesystem;
    const std::string root =
        s.Scratch() + "/Sample libraries on the second disk/Pianos, pads and other keyboard sounds collected over the years/";
    const std::string link = s.Scratch() + "/pianos";
    std::string deep = root;
    for (char c : {'a', 'b', 'c'})
        deep += std::string(100, c) + "/";
    for (const std::string& folder : {root + "keys", root + "pads", deep})
        fs::create_directories(folder);
    fs::create_directory_symlink(root, link);
    const std::string pianoGig = root + "keys/Piano.gig", longGig = deep + "Long Piano.gig";
    ASSERT_GE(longGig.size(), 400u);
    ASSERT_TRUE(PianoBank({"Grand Piano", "Upright Piano"}).Write(pianoGig));
    ASSERT_TRUE(PianoBank({"Long Piano", "Long Piano Bright"}).Write(longGig));
    ASSERT_TRUE(utiltest::NamedBank({"Old Piano"}).Write(root + "keys/Old Piano.gig"));
    ASSERT_TRUE(utiltest::NamedBank({"Piano Pad"}).Write(root + "pads/Pad.gig"));
    ASSERT_TRUE(utiltest::NamedBank({"", "Piano Named", "   "}).Write(root + "Unnamed.gig"));

    // The folder, then its link, each chosen through the "+" button.
    {
        CorvaneProgram corvane(s, root);
        ASSERT_TRUE(corvane.Up()) << "the corvane window did not appear";
        corvane.Add();
        corvane.PressScan();
        ASSERT_TRUE(s.IdleUntil(kivtest::kPatientMs, [&] { return DbValue("SELECT COUNT() FROM file;") == "5"; }));
        s.Idle(1500);
        EXPECT_EQ(corvane.Quit(), 0);
    }
    {
        CorvaneProgram corvane(s, link);
        ASSERT_TRUE(corvane.Up());
        corvane.Add();
        corvane.PressScan();
        ASSERT_TRUE(s.IdleUntil(kivtest::kPatientMs, [&] { return DbValue("SELECT COUNT() FROM root;") == "2"; }));
        s.Idle(1500);
        s.Screenshot("corvane-long-folders", true);
        EXPECT_EQ(corvane.Quit(), 0);
    }
    // Every instrument once, whichever name of the folder found it; the
    // unnamed ones not at all.
    EXPECT_EQ(DbValue("SELECT COUNT() FROM file;"), "5");
    EXPECT_EQ(DbValue("SELECT COUNT() FROM inst WHERE trim(iname) = '';"), "0");
    EXPECT_EQ(Search("piano"), "Your search for 'piano' returned 7 results");
    ASSERT_EQ(HitCount(), 7);
    // Rows by name: Grand Piano, Long Piano, Long Piano Bright, Old Piano,
    // Piano Named, Piano Pad, Upright Piano.
    for (auto [row, stars] : {std::pair{0, 5}, {3, 3}, {5, 4}, {6, 2}})
        s.Click(HitAt(row, stars));
    EXPECT_TRUE(s.IdleUntil(3000, [&] {
        return DbValue(kRatings) == "Grand Piano=5,Old Piano=3,Piano Pad=4,Upright Piano=2";
    })) << DbValue(kRatings);

    // The library changes on disk, and Corvane scans its folders again.
    ASSERT_TRUE(PianoBank({"Bright Piano", "Grand Piano"}, "Demo Piano 2").Write(pianoGig));
    fs::remove(root + "keys/Old Piano.gig");
    fs::rename(root + "pads/Pad.gig", root + "pads/Pad v2.gig");
    ASSERT_TRUE(utiltest::NamedBank({"New Piano"}).Write(root + "keys/New Piano.gig"));
    {
        CorvaneProgram corvane(s, "");
        ASSERT_TRUE(corvane.Up());
        corvane.PressScan();
        EXPECT_TRUE(s.IdleUntil(kivtest::kPatientMs, [&] {
            return DbValue("SELECT group_concat(fname, ',') FROM (SELECT fname FROM file ORDER BY fname);") ==
                   "Long Piano.gig,New Piano.gig,Pad v2.gig,Piano.gig,Unnamed.gig";
        }));
        s.Idle(1500);
        s.Screenshot("corvane-rescanned", true);
        EXPECT_EQ(corvane.Quit(), 0);
    }

    // The hits still listed from before: the grand piano, which moved in
    // its file, loads where it is now; the deleted one loads nothing.
    s.DoubleClick(HitAt(0));
    EXPECT_TRUE(s.IdleUntil(5000, [&] { return s.UnitLayers().at(0) == std::vector<std::string>{pianoGig + ":1"}; }))
        << "the hit loaded another instrument than it shows";
    s.DoubleClick(HitAt(3));
    EXPECT_TRUE(s.IdleUntil(2000, [&] { return MessageLine() == "'Old Piano' is no longer in the database: search again"; }))
        << MessageLine();
    EXPECT_EQ(s.UnitLayers().at(0), std::vector<std::string>{pianoGig + ":1"});

    // A new search lists what the disk holds, the stars with the
    // instruments still there, the renamed file once.
    EXPECT_EQ(Search("piano"), "Your search for 'piano' returned 7 results");
    EXPECT_EQ(HitCount(), 7);
    EXPECT_EQ(DbValue(kRatings), "Grand Piano=5,Piano Pad=4");
    EXPECT_EQ(DbValue("SELECT fname FROM inst JOIN file ON file_id = file.id WHERE iname = 'Piano Pad';"), "Pad v2.gig");
    s.Screenshot("search-after-rescan");
    // Rows: Bright Piano, Grand Piano, Long Piano, ...: the instrument of
    // the long path loads (into the next empty unit) and sounds.
    s.DoubleClick(HitAt(2));
    EXPECT_TRUE(s.IdleUntil(5000, [&] { return s.UnitLayers().at(1) == std::vector<std::string>{longGig + ":0"}; }))
        << "the hit from the long path did not load";
    s.Idle(500);
    EXPECT_GT(Note(1).peak, 0.01f) << "the instrument from the long path is silent";
}

// Star ratings given while Corvane's scanner writes are all stored, and no
// rating holds the host's GUI thread; one that another program's lock holds
// back for good is put back, and the message line says so. A database
// another program has locked is said in Corvane's window, whose window
// thread never waits for it: closed while its scanner waits for the lock,
// the program ends at once.
TEST_F(EditorEndToEnd, RatingsGivenDuringAScanAreStoredAndALockedDatabaseIsSaid)
{
    namespace fs = std::filesystem;
    const std::string rate = s.Scratch() + "/rate/", bulk = s.Scratch() + "/bulk/", fresh = s.Scratch() + "/fresh/";
    std::vector<std::string> names;
    for (int i = 0; i < 27; ++i)
        names.push_back(std::string(i < 10 ? "Star 0" : "Star ") + std::to_string(i));
    for (const std::string& folder : {rate, fresh})
        fs::create_directories(folder);
    ASSERT_TRUE(utiltest::NamedBank(names).Write(rate + "Stars.gig"));
    // A library that every walk writes: its folder has another name each
    // time, so a walk lists 400 files of 100 instruments and takes out the
    // rows of the old name.
    gigtools::GigBuilder big;
    big.minFileSize = 0;
    for (int i = 0; i < 100; ++i)
        big.AddInstrument(gigtools::GigInstrument("Bulk sound " + std::to_string(i)));
    for (int f = 0; f < 400; ++f) {
        std::string folder = bulk + "tA/f" + std::to_string(f / 100) + "/";
        fs::create_directories(folder);
        ASSERT_TRUE(big.Write(folder + "b" + std::to_string(f) + ".gig"));
    }
    {
        CorvaneProgram corvane(s, rate);
        ASSERT_TRUE(corvane.Up()) << "the corvane window did not appear";
        corvane.Add();
        corvane.PressScan();
        ASSERT_TRUE(s.IdleUntil(kivtest::kPatientMs, [&] { return DbValue("SELECT COUNT() FROM inst;") == "27"; }));
        s.Idle(1500);
        EXPECT_EQ(corvane.Quit(), 0);
    }
    ASSERT_EQ(Search("star"), "Your search for 'star' returned 27 results");

    // The scanner walks the whole time the stars are clicked.
    std::atomic<bool> stop{false};
    std::atomic<int> walks{0};
    std::thread scanning([&] {
        GigaScan scan;
        if (!scan.GetBase().OpenAt(DatabasePath().c_str()))
            return;
        for (bool a = true; !stop.load(std::memory_order_acquire); a = !a) {
            fs::rename(bulk + (a ? "tA" : "tB"), bulk + (a ? "tB" : "tA"));
            WalkEnd end;
            if (!scan.Start(bulk.c_str(), &end))
                return;
            while (!end.done.load(std::memory_order_acquire))
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            walks.fetch_add(1, std::memory_order_relaxed);
        }
    });
    ASSERT_TRUE(s.IdleUntil(kivtest::kPatientMs, [&] { return walks.load() >= 1; }));
    s.ResetIdleTimes();
    const int walksBefore = walks.load();
    // 27 stars on the 14 rows the list shows, twice over most of them, and
    // more rounds while the scanner has not walked twice meanwhile (a busy
    // machine walks slowly).
    const int kShown = 14;
    std::vector<int> given(kShown);
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(kivtest::kPatientMs);
    int clicks = 0;
    for (int& click = clicks; click < 27 || (walks.load() - walksBefore < 2 && std::chrono::steady_clock::now() < until);
         ++click) {
        // One to four stars: the five of the locked try below is always a change.
        int row = click % kShown, stars = (row + click / kShown) % 4 + 1;
        s.Click(HitAt(row, stars));
        given[static_cast<size_t>(row)] = stars;
    }
    std::string expected;
    for (int row = 0; row < kShown; ++row)
        expected += (row ? "," : "") + names[static_cast<size_t>(row)] + "=" + std::to_string(given[row]);
    const int walksDuring = walks.load() - walksBefore;
    stop.store(true, std::memory_order_release);
    scanning.join();
    EXPECT_GE(walksDuring, 2) << "the stars were not clicked during scans";
    EXPECT_TRUE(s.IdleUntil(3000, [&] { return DbValue(kRatings) == expected; })) << DbValue(kRatings);
    std::printf("%d stars clicked during %d scanner walks; longest effEditIdle %.2f ms over %d calls\n", clicks,
                walksDuring, s.LongestIdleMs(), s.IdleCalls());
    EXPECT_EQ(MessageLine(), "Your search for 'star' returned 27 results");

    // Another program holds the write lock for good: the star shows at once,
    // is tried again on the editor's ticks, and after a while goes back.
    {
        DatabaseHolder holder(DatabasePath());
        ASSERT_TRUE(holder.Usable());
        const std::string sent = holder.SendMarked("BEGIN EXCLUSIVE;");
        ASSERT_TRUE(s.IdleUntil(kivtest::kPatientMs, [&] { return Exists(sent); }));
        ASSERT_TRUE(Locked(DatabasePath(), false));
        s.ResetIdleTimes();
        const Point star = HitAt(0, 5);
        const std::vector<unsigned long> unlit = s.Pixels(Point{star.x - 3, star.y - 3}, 6, 6);
        s.Click(star);
        // The star lights while the lock is still held: the rating waits on
        // the editor's ticks, not inside the click.
        EXPECT_TRUE(s.IdleUntil(kivtest::kPatientMs, [&] {
            return s.Pixels(Point{star.x - 3, star.y - 3}, 6, 6) != unlit;
        })) << "the star did not show while the rating waited";
        // Given up once the retries have had their time.
        const std::string notStored = "The rating of 'Star 00' was not stored: the database is locked by another program";
        EXPECT_TRUE(s.IdleUntil(browser::kRatingRetryMs + kivtest::kPatientMs, [&] { return MessageLine() == notStored; }))
            << MessageLine();
        EXPECT_EQ(DbValue("SELECT rating FROM inst WHERE iname = 'Star 00';"), std::to_string(given[0]));
        std::printf("longest effEditIdle while the rating waited: %.2f ms\n", s.LongestIdleMs());
        s.Screenshot("search-rating-not-stored");
        holder.Send("ROLLBACK;");
    }
    s.Click(HitAt(0, 5));
    EXPECT_TRUE(s.IdleUntil(2000, [&] { return DbValue("SELECT rating FROM inst WHERE iname = 'Star 00';") == "5"; }));
    EXPECT_EQ(MessageLine(), "The rating of 'Star 00' was stored");

    // Another program writes with a rollback journal and holds the whole
    // file: Corvane says so, and its window answers at once.
    DatabaseHolder holder(DatabasePath());
    ASSERT_TRUE(holder.Usable());
    const std::string sent =
        holder.SendMarked("PRAGMA journal_mode = DELETE; BEGIN EXCLUSIVE; UPDATE inst SET rating = rating WHERE id = 1;");
    ASSERT_TRUE(s.IdleUntil(kivtest::kPatientMs, [&] { return Exists(sent); }));
    ASSERT_TRUE(Locked(DatabasePath(), true));
    CorvaneProgram corvane(s, fresh);
    ASSERT_TRUE(corvane.Up());
    corvane.Add();
    corvane.PressScan();
    s.Idle(3 * kiv::kDbBusyTimeoutMs + 1000);  // the counts, then the walk, wait out the lock
    s.Screenshot("corvane-database-locked", true);
    corvane.PressScan();  // once more: its scanner waits for the lock again
    s.Idle(300);
    ASSERT_TRUE(corvane.Running());
    const auto closed = std::chrono::steady_clock::now();
    s.CloseWindow(corvane.Window());
    // It ends while the lock is still held, cleanly. How soon is printed:
    // on a busy machine the process's own exit takes its time, and the
    // window's calls are held to the database's wait in Corvane's window
    // test.
    EXPECT_EQ(kivtest::WaitExit(corvane.Pid(), kivtest::kPatientMs), 0);
    std::printf("corvane ended %lld ms after its window was closed while its scanner waited for the lock\n",
                static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                           std::chrono::steady_clock::now() - closed)
                                           .count()));
    corvane.Forget();
    holder.Send("ROLLBACK;");
}

// A user whose settings files cannot be read (mode 000, their folders
// writable) opens the plug-in: the settings window says which file could not
// be read, why, and that changes will not be kept; an edit made anyway and
// closing the plug-in leave every file's bytes as they were.
TEST(EditorAsOrdinaryUser, SettingsThatCannotBeReadAreSaidAndLeftAsTheyWere)
{
    const std::string config = std::string(getenv("XDG_CONFIG_HOME")) + "/Quillane";
    const std::string share = std::string(getenv("XDG_DATA_HOME")) + "/Quillane";
    struct Kept {
        std::string path;
        std::string bytes;
    };
    const std::vector<Kept> files = {
        {config + "/tessivo.settings", "lmin=00002040\ncvol=0b000000\nmisp=/samples/missing\nforeign=kept\n"},
        {share + "/tessivo.prefs", "the user's controller map"},
        {config + "/tessivo64.pil", "the user's plug-in folders"},
    };
    ASSERT_TRUE(kivtest::OpenToOrdinaryUser(config));
    ASSERT_TRUE(kivtest::OpenToOrdinaryUser(share));
    for (const Kept& f : files) {
        ASSERT_TRUE(kivtest::WriteFile(f.path, f.bytes.data(), f.bytes.size()));
        ASSERT_EQ(chmod(f.path.c_str(), 0), 0);
    }
    auto s = std::make_unique<EditorSession>();
    ASSERT_TRUE(kivtest::OpenToOrdinaryUser(s->Scratch()));  // the view tree goes there
    auto user = std::make_unique<kivtest::AsOrdinaryUser>();
    ASSERT_TRUE(user->Ok());
    if (!s->Start()) {
        if (!s->Error().empty())
            FAIL() << s->Error();
        GTEST_SKIP() << s->SkipReason();
    }
    ViewTree tree = s->Tree();
    int button = tree.Find("XButtonPic", editor::kSettings, tree.Roots().at(0));
    ASSERT_GE(button, 0);
    {
        e2e::KeptForProcess kept;
        s->Click(s->ScreenCentre(tree, button));
    }
    ASSERT_TRUE(s->IdleUntil(2000, [&] { return s->Tree().Find("WSettings") >= 0; }));
    tree = s->Tree();
    std::vector<std::string> said;
    for (int label : tree.All("XLabel", tree.Find("WSettings")))
        if (tree[label].text.rfind("The ", 0) == 0 || tree[label].text.rfind("Changes ", 0) == 0)
            said.push_back(tree[label].text);
    const std::vector<std::string> expected = {
        "The settings could not be read from ~/config/Quillane/tessivo.settings: Permission denied.",
        "The controller settings could not be read from ~/share/Quillane/tessivo.prefs: Permission denied.",
        "The plug-in list could not be read from ~/config/Quillane/tessivo64.pil: Permission denied.",
        "Changes will not be kept until the files can be read.",
    };
    EXPECT_EQ(said, expected) << tree.Text();

    // An edit made anyway: the preload minimum dragged up.
    int fader = tree.Find("XFader", 0, tree.Find("XViewDisk"));
    ASSERT_GE(fader, 0);
    const e2e::ViewNode& f = tree[fader];
    s->Drag(s->Screen(tree, fader, f.At(8, f.h / 2)), s->Screen(tree, fader, f.At(f.w - 8, f.h / 2)));
    user.reset();  // the picture goes to the build folder
    s->Screenshot("settings-unreadable-files");
    user = std::make_unique<kivtest::AsOrdinaryUser>();
    ASSERT_TRUE(user->Ok());
    tree = s->Tree();
    int ok = tree.FindText("XButton", "Ok", tree.Find("WSettings"));
    ASSERT_GE(ok, 0);
    s->Click(s->ScreenCentre(tree, ok));
    ASSERT_TRUE(s->IdleUntil(2000, [&] { return s->Tree().Find("WSettings") < 0; }));

    s.reset();  // the plug-in closed and its library unloaded, as that user
    user.reset();
    for (const Kept& f : files) {
        ASSERT_EQ(chmod(f.path.c_str(), 0644), 0);
        EXPECT_TRUE(kivtest::ReadFile(f.path) == f.bytes) << f.path << " was written over";
    }
    for (const std::string& folder : {config, share}) {
        for (const auto& entry : std::filesystem::directory_iterator(folder))
            EXPECT_NE(entry.path().filename().string()[0], '.') << entry.path() << " left behind";
    }
}
