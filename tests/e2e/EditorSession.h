// Driving the built tessivo.so the way a musician does: a private Xvfb, the
// plug-in opened through its VST face by a host of our own, its editor in a
// real X window, real pointer and key input through the XTEST extension,
// audio pulled with processReplacing, and screenshots written as PNG files.
//
// Where controls are: the plug-in lists its view tree into a file when
// KIV_VIEW_TREE names one (see Tree()); controls are found by class name and
// order or text, in window coordinates that Screen() turns into screen
// positions. Modal dialogs are drawn in the editor's window, as children of
// the editor's root view; menus are windows of their own (PopupWindows()).
//
// The header stays free of Xlib (whose XEvent would clash with the toolkit's),
// so tests can include engine and editor headers beside it.
#pragma once
#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "support/TestSupport.h"
#include "support/XvfbServer.h"
#include "support/xtest/WindowManager.h"
#include "support/xtest/XTestInput.h"
#include "vst/VstAbi.h"

#if defined(__SANITIZE_ADDRESS__)
#define KIV_E2E_LSAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KIV_E2E_LSAN 1
#endif
#endif
#ifdef KIV_E2E_LSAN
#include <sanitizer/lsan_interface.h>
#endif

struct _XDisplay;
class GigaStudio;

namespace e2e {

// Allocations the plug-in keeps for the life of the process on purpose
// (the settings window's scan progress text, which a scan thread may still
// write after the window closed) are held only by the plug-in's statics;
// once the session unloads the plug-in the leak checker cannot see them.
// Presses that make such allocations are made while this lives.
struct KeptForProcess {
#ifdef KIV_E2E_LSAN
    KeptForProcess() { __lsan_disable(); }
    ~KeptForProcess() { __lsan_enable(); }
#else
    KeptForProcess() {}  // a scope marker: not an unused variable
#endif
};

struct Point {
    int x = 0;
    int y = 0;
};

// One control of the listed view tree.
struct ViewNode {
    int depth = 0;
    std::string cls;      // its class name ("XButtonPic", "XGigaView", ...)
    std::string text;     // its label's text, if it has one
    bool shown = false;   // itself and every parent visible
    int x = 0, y = 0;     // in its window's coordinates
    int w = 0, h = 0;
    unsigned long window = 0;  // the X window of its root view
    int parent = -1;           // index in ViewTree::nodes
    int root = 0;              // index of its root view

    Point Centre() const { return {x + w / 2, y + h / 2}; }
    Point At(int dx, int dy) const { return {x + dx, y + dy}; }
};

struct ViewTree {
    std::vector<ViewNode> nodes;

    // The n-th node (in tree order) of a class, shown ones only unless
    // `hidden`; within the subtree of `under` when it is >= 0. -1 when none.
    int Find(const std::string& cls, int n = 0, int under = -1, bool hidden = false) const;
    // The first shown node of a class with this text; -1 when none.
    int FindText(const std::string& cls, const std::string& text, int under = -1) const;
    // All such nodes.
    std::vector<int> All(const std::string& cls, int under = -1, bool hidden = false) const;
    bool Within(int node, int ancestor) const;
    // Root views (the editor first, then its modal dialogs).
    std::vector<int> Roots() const;
    const ViewNode& operator[](int i) const { return nodes.at(static_cast<size_t>(i)); }
    // The tree indented, one control a line (for failure messages).
    std::string Text() const;
};

// Peak and RMS of rendered audio, all outputs together.
struct Level {
    float peak = 0.0f;
    float rms = 0.0f;
};

class EditorSession {
public:
    EditorSession();
    ~EditorSession();
    EditorSession(const EditorSession&) = delete;
    EditorSession& operator=(const EditorSession&) = delete;

    // Starts the server, opens the plug-in (rate, block, switched on) and,
    // with `editor`, its editor in a host window; without it the plug-in
    // has not even been asked for its editor's size, as with a host that
    // restores a project before the user opens the editor (OpenEditor then
    // asks). False with the reason in SkipReason() when no X server can
    // start (the caller skips); any other failure is a test failure and
    // also returns false with Error() set.
    bool Start(bool editor = true);
    // Before Start: the session's screen runs a real window manager
    // (openbox), which frames the host's window and every other top-level
    // window; Start skips when it is not installed.
    void UseWindowManager() { m_useWm = true; }
    const std::string& SkipReason() const { return m_skip; }
    const std::string& Error() const { return m_error; }

    // --- the plug-in ---
    vst::intptr Call(vst::int32 opcode, vst::int32 index = 0, vst::intptr value = 0, void* ptr = nullptr,
                     float opt = 0.0f);
    vst::AEffect* Effect() const { return m_effect; }
    void OpenEditor();
    void CloseEditor();
    // Host idle: effEditIdle about every 20 ms for ms milliseconds, with
    // audio rendered in step so the engine runs as in a host.
    void Idle(int ms);
    // Every effEditIdle call is timed: the longest since the last reset, in
    // milliseconds, and how many calls were made.
    void ResetIdleTimes();
    double LongestIdleMs() const { return m_longestIdleMs; }
    int IdleCalls() const { return m_idleCalls; }
    // Idles until done() holds (true) or the deadline passes (false):
    // timeoutMs, but never less than kivtest::kPatientMs, for a wait for what
    // must come ends when it comes.
    template <class Done>
    bool IdleUntil(int timeoutMs, Done done)
    {
        const auto until = std::chrono::steady_clock::now() +
                           std::chrono::milliseconds(std::max(timeoutMs, kivtest::kPatientMs));
        while (!done()) {
            if (std::chrono::steady_clock::now() > until)
                return done();
            Idle(20);
        }
        return true;
    }
    // Idles until done() holds or about ms of idling pass: a look for
    // something that may rightly not come (a dialog that asks only at
    // times). Never for what must come.
    template <class Done>
    bool IdleAtMost(int ms, Done done)
    {
        for (int waited = 0; waited <= ms; waited += 20) {
            if (done())
                return true;
            Idle(20);
        }
        return done();
    }
    // The state chunk the host would store.
    std::string Chunk();
    // Gives the plug-in a chunk as a host restoring a session does.
    bool SetChunk(const std::string& chunk);
    // A chunk whose first `units` units play instrument `program` of `gig`.
    static std::string ChunkFor(const std::string& gig, int program, int units = 1);
    // A chunk whose unit i plays instrument units[i].second of units[i].first.
    static std::string ChunkOf(const std::vector<std::pair<std::string, int>>& units);
    // A chunk whose unit i layers the instruments units[i] (none: empty).
    static std::string ChunkOfLayers(const std::vector<std::vector<std::pair<std::string, int>>>& units);
    // The instruments (".gig path:index") of every layer of each unit of a
    // saved performance, read by this process (nothing loaded).
    static std::vector<std::vector<std::string>> PerformanceLayers(const std::string& path);
    // A studio of this process that took the chunk (instruments loaded):
    // what the plug-in's engine holds, read through the engine's own code.
    static std::unique_ptr<GigaStudio> Decode(const std::string& chunk);
    // The .gig path and instrument of each unit of player 0 ("" when
    // empty), as the plug-in holds them now.
    std::vector<std::string> UnitPaths();
    // The instruments (".gig path:index") of every layer of each unit.
    std::vector<std::vector<std::string>> UnitLayers();
    // The volume (0..127) of each unit of player 0, as the plug-in holds it.
    std::vector<int> UnitVolumes();

    // --- audio ---
    // A MIDI event sent with the next rendered block.
    void Midi(unsigned char status, unsigned char data1, unsigned char data2);
    void NoteOn(int key, int velocity = 100, int channel = 0) { Midi(0x90 | channel, key, velocity); }
    void NoteOff(int key, int channel = 0) { Midi(0x80 | channel, key, 0); }
    // Renders ms of audio (idling the editor between blocks) and measures it.
    Level Render(int ms);
    // The level of output pair `pair` (0-based) over the last Render.
    Level PairLevel(int pair) const;

    // --- where things are ---
    // The view tree as the plug-in lists it now.
    ViewTree Tree();
    // A point in a root view's window, on the screen.
    Point Screen(const ViewTree& tree, int node, Point local);
    Point ScreenCentre(const ViewTree& tree, int node) { return Screen(tree, node, tree[node].Centre()); }
    // The top-level windows of the toolkit other than the host's (menus,
    // dialogs): their screen rectangles, newest last.
    std::vector<kivtest::XTestInput::ShownWindow> PopupWindows();

    // Closes a dialog's window as its frame's close box would (the window
    // manager's delete request).
    void CloseWindow(unsigned long window);
    // Moves a top-level window (another program's) to a screen position.
    void MoveWindow(unsigned long window, int x, int y);

    // --- real input (XTEST), each followed by idle time for the editor ---
    void Move(Point p);
    void Click(Point p, int button = 1);
    // Left clicks at each point with gapMs of host idling between them, not
    // spaced apart (a person's double click leaves the first press time to
    // act); DoubleClick clicks one point twice.
    void Clicks(const std::vector<Point>& points, int gapMs);
    void DoubleClick(Point p, int gapMs = 0) { Clicks({p, p}, gapMs); }
    // Press at from, move in steps to to, release.
    void Drag(Point from, Point to, int steps = 8);
    // Clicks the centre of the n-th shown node of a class; false when none.
    bool ClickNode(const std::string& cls, int n = 0, int under = -1);
    // Types plain text (letters, digits, space, '.', '/', '-', '_').
    void Type(const std::string& text);
    // Presses and releases one key by its keysym name ("Return", "Escape").
    void Key(const char* keysymName);

    // Menus are windows of their own (class "KivMenu"), shown while the
    // host idles. MenuWindows() lists the shown ones, top menu first.
    // PickMenuItems waits (idling) for the menu the last input opened,
    // optionally writes a screenshot of the screen as <name>.png once the
    // last level is shown, and clicks the item whose top is tops[0] pixels
    // below the first item's (items are 20 high, separators 7); with more
    // tops, each next one is clicked in the sub-menu that opened. False when
    // a level did not come.
    using TopWindow = kivtest::XTestInput::ShownWindow;
    std::vector<TopWindow> MenuWindows();
    bool WaitForMenus(size_t count, int timeoutMs = 3000);
    bool PickMenuItems(std::vector<int> tops, const std::string& screenshot = "");
    bool PickMenuItem(int top, const std::string& screenshot = "") { return PickMenuItems({top}, screenshot); }
    // Moves the host's window (as a person drags it) to a screen position.
    void MoveHost(int x, int y);
    // The pixel offset of item n below which `separators` separators lie.
    static int MenuItemTop(int n, int separators = 0) { return 20 * (n - separators) + 7 * separators; }

    // --- pictures ---
    // Writes the host window (or, with the popups, the whole screen) to
    // <build>/e2e-screens/<name>.png; the path, or empty on failure.
    std::string Screenshot(const std::string& name, bool wholeScreen = false);

    // The colour on the screen at p, 0xRRGGBB.
    unsigned long Pixel(Point p);
    // The colours of a w x h rectangle from p, row by row.
    std::vector<unsigned long> Pixels(Point p, int w, int h);
    // How many pixels of the screen rectangle at p have exactly the colour
    // 0xRRGGBB.
    int CountColour(Point p, int w, int h, unsigned long rgb);

    // Folders of this session: a scratch folder and the build folder.
    const std::string& Scratch() const { return m_scratch.Path(); }
    static std::string BuildDir();
    _XDisplay* Dpy() const { return m_display; }
    unsigned long HostWindow() const { return m_host; }

private:
    void RenderBlock(bool measure);
    void EditIdle();
    void Fake(int x, int y);
    // Separate clicks are spaced beyond the toolkit's double-click time, as
    // a person's are; otherwise the second would count as a double-click.
    void SpaceFromLastClick();
    void Press(unsigned button, bool down);

    kivtest::XvfbServer m_server;
    bool m_useWm = false;
    std::unique_ptr<kivtest::WindowManager> m_wm;
    kivtest::TempDir m_scratch;
    std::string m_skip;
    std::string m_error;
    std::string m_treePath;
    std::unique_ptr<kivtest::XTestInput> m_input;
    _XDisplay* m_display = nullptr;  // m_input's connection
    unsigned long m_host = 0;
    void* m_library = nullptr;
    vst::AEffect* m_effect = nullptr;
    bool m_editorOpen = false;
    int m_rate = 44100;
    int m_block = 256;
    std::vector<std::vector<float>> m_outs;
    std::vector<float*> m_outPtrs;
    std::vector<std::vector<float>> m_ins;
    std::vector<float*> m_inPtrs;
    std::vector<vst::VstMidiEvent> m_pending;
    // Sums of the last Render, per output channel.
    std::vector<double> m_sumSq;
    std::vector<float> m_peak;
    long m_frames = 0;
    std::chrono::steady_clock::time_point m_lastPress{};
    double m_longestIdleMs = 0.0;
    int m_idleCalls = 0;
};

}  // namespace e2e
