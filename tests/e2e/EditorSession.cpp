#include "e2e/EditorSession.h"
// Every end-to-end program links this file: the font caches the plug-in
// keeps for the process are expected there.
#include "gui/GuiTestLeaks.h"

#include <X11/keysym.h>
#include <X11/Xutil.h>
#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

namespace e2e {

namespace {

constexpr int kScreenW = 1280;
constexpr int kScreenH = 1024;
constexpr int kHostX = 40;
constexpr int kHostY = 30;

vst::intptr HostCallback(vst::AEffect*, vst::int32 opcode, vst::int32, vst::intptr, void* ptr, float)
{
    switch (opcode) {
    case vst::audioMasterVersion:
        return 2400;
    case vst::audioMasterGetSampleRate:
        return 44100;
    case vst::audioMasterGetBlockSize:
        return 256;
    case vst::audioMasterGetCurrentProcessLevel:
        return 2;  // real time
    case vst::audioMasterGetProductString:
        if (ptr)
            strcpy(static_cast<char*>(ptr), "e2e host");
        return ptr ? 1 : 0;
    default:
        return 0;
    }
}

// As a host: an X error (a window that went away between two requests)
// is noted, never fatal to the process.
int NoteXError(Display*, XErrorEvent* error)
{
    fprintf(stderr, "e2e host: X error %d (request %d)\n", error->error_code, error->request_code);
    return 0;
}

void Sleep(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// Writes a part of the screen to <build>/e2e-screens/<name>.png; the path,
// or empty on failure.
std::string WritePng(Display* display, int x, int y, int w, int h, const std::string& name)
{
    std::string folder = EditorSession::BuildDir() + "/e2e-screens";
    mkdir(folder.c_str(), 0755);
    std::string path = folder + "/" + name + ".png";
    return kivtest::WriteScreenPng(display, x, y, w, h, path) ? path : std::string();
}

}  // namespace

// ---------------------------------------------------------------- tree

int ViewTree::Find(const std::string& cls, int n, int under, bool hidden) const
{
    for (size_t i = 0; i < nodes.size(); ++i) {
        const ViewNode& node = nodes[i];
        if (node.cls != cls || (!hidden && !node.shown) || (under >= 0 && !Within(static_cast<int>(i), under)))
            continue;
        if (n-- == 0)
            return static_cast<int>(i);
    }
    return -1;
}

int ViewTree::FindText(const std::string& cls, const std::string& text, int under) const
{
    for (int i : All(cls, under))
        if (nodes[static_cast<size_t>(i)].text == text)
            return i;
    return -1;
}

std::vector<int> ViewTree::All(const std::string& cls, int under, bool hidden) const
{
    std::vector<int> out;
    for (int n = 0;; ++n) {
        int i = Find(cls, n, under, hidden);
        if (i < 0)
            return out;
        out.push_back(i);
    }
}

bool ViewTree::Within(int node, int ancestor) const
{
    for (int i = node; i >= 0; i = nodes[static_cast<size_t>(i)].parent)
        if (i == ancestor)
            return true;
    return false;
}

std::vector<int> ViewTree::Roots() const
{
    std::vector<int> out;
    for (size_t i = 0; i < nodes.size(); ++i)
        if (nodes[i].depth == 0)
            out.push_back(static_cast<int>(i));
    return out;
}

std::string ViewTree::Text() const
{
    std::ostringstream out;
    for (const ViewNode& n : nodes) {
        out << std::string(static_cast<size_t>(n.depth) * 2, ' ') << n.cls << (n.shown ? "" : " (hidden)") << ' '
            << n.x << ',' << n.y << ' ' << n.w << 'x' << n.h;
        if (!n.text.empty())
            out << " \"" << n.text << '"';
        out << '\n';
    }
    return out.str();
}

// ---------------------------------------------------------------- session

EditorSession::EditorSession() : m_server("1280x1024x24")
{
    m_treePath = m_scratch.File("viewtree.txt");
}

EditorSession::~EditorSession()
{
    if (m_effect) {
        CloseEditor();
        Call(vst::effMainsChanged, 0, 0);
        Call(vst::effClose);
    }
    m_effect = nullptr;
    if (m_library)
        dlclose(m_library);
    if (m_display && m_host)
        XDestroyWindow(m_display, m_host);
    m_wm.reset();
    m_input.reset();
    unsetenv("KIV_VIEW_TREE");
}

std::string EditorSession::BuildDir()
{
    const char* dir = getenv("KIV_TEST_BINARY_DIR");
    return dir ? dir : ".";
}

bool EditorSession::Start(bool editor)
{
    if (!m_server.Start()) {
        m_skip = m_server.SkipReason();
        return false;
    }
    m_input = std::make_unique<kivtest::XTestInput>(m_server.Display().c_str());
    m_display = m_input->Dpy();
    if (!m_input->Usable()) {
        m_skip = m_display ? "the X server has no XTEST extension" : "the X server does not answer";
        return false;
    }
    XSetErrorHandler(NoteXError);
    if (m_useWm) {
        m_wm = std::make_unique<kivtest::WindowManager>();
        if (!m_wm->Start(m_display)) {
            m_skip = m_wm->SkipReason();
            m_error = m_wm->Error();
            return false;
        }
    }
    setenv("KIV_VIEW_TREE", m_treePath.c_str(), 1);
    std::string path = BuildDir() + "/vst/tessivo.so";
    m_library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!m_library) {
        m_error = std::string("dlopen: ") + dlerror();
        return false;
    }
    auto entry = reinterpret_cast<vst::EntryProc>(dlsym(m_library, "VSTPluginMain"));
    m_effect = entry ? entry(HostCallback) : nullptr;
    if (!m_effect || m_effect->magic != vst::kEffectMagic) {
        m_error = "VSTPluginMain gave no effect";
        m_effect = nullptr;
        return false;
    }
    Call(vst::effOpen);
    Call(vst::effSetSampleRate, 0, 0, nullptr, static_cast<float>(m_rate));
    Call(vst::effSetBlockSize, 0, m_block);
    m_outs.assign(static_cast<size_t>(std::max(m_effect->numOutputs, 1)), std::vector<float>(m_block));
    m_ins.assign(static_cast<size_t>(std::max(m_effect->numInputs, 1)), std::vector<float>(m_block));
    for (auto& o : m_outs)
        m_outPtrs.push_back(o.data());
    for (auto& i : m_ins)
        m_inPtrs.push_back(i.data());
    Call(vst::effMainsChanged, 0, 1);
    if (!editor)
        return true;
    OpenEditor();
    if (!m_editorOpen) {
        m_error = "effEditOpen refused the host window";
        return false;
    }
    Idle(300);
    return true;
}

vst::intptr EditorSession::Call(vst::int32 opcode, vst::int32 index, vst::intptr value, void* ptr, float opt)
{
    return m_effect ? m_effect->dispatcher(m_effect, opcode, index, value, ptr, opt) : 0;
}

void EditorSession::OpenEditor()
{
    if (m_editorOpen)
        return;
    if (!m_host) {
        // A host asks for the editor's size before it makes the window.
        vst::ERect* rect = nullptr;
        Call(vst::effEditGetRect, 0, 0, &rect);
        int w = rect ? rect->right - rect->left : 864;
        int h = rect ? rect->bottom - rect->top : 560;
        XSetWindowAttributes attributes{};
        attributes.override_redirect = m_wm ? False : True;  // no window manager: place it ourselves
        m_host = XCreateWindow(m_display, DefaultRootWindow(m_display), kHostX, kHostY, w, h, 0, CopyFromParent,
                               InputOutput, CopyFromParent, CWOverrideRedirect, &attributes);
        if (m_wm) {
            // As a host's editor window: named, placed where it asks.
            XClassHint hint{const_cast<char*>("e2e-host"), const_cast<char*>("E2eHost")};
            XSetClassHint(m_display, m_host, &hint);
            XStoreName(m_display, m_host, "Host");
            XSizeHints size{};
            size.flags = USPosition | PPosition;
            size.x = kHostX;
            size.y = kHostY;
            XSetWMNormalHints(m_display, m_host, &size);
        }
        XMapWindow(m_display, m_host);
        XSync(m_display, False);
        if (m_wm) {
            // Framed and shown by the window manager before the editor goes in.
            kivtest::WaitFor(10000, [&] {
                XWindowAttributes a{};
                return kivtest::WindowManager::FrameOf(m_display, m_host) != m_host &&
                       XGetWindowAttributes(m_display, m_host, &a) && a.map_state == IsViewable;
            });
        }
    }
    m_editorOpen =
        Call(vst::effEditOpen, 0, 0, reinterpret_cast<void*>(static_cast<uintptr_t>(m_host))) != 0;
    XSync(m_display, False);
}

void EditorSession::CloseEditor()
{
    if (!m_editorOpen)
        return;
    Call(vst::effEditClose);
    m_editorOpen = false;
    if (m_display)
        XSync(m_display, False);
}

void EditorSession::ResetIdleTimes()
{
    m_longestIdleMs = 0.0;
    m_idleCalls = 0;
}

void EditorSession::EditIdle()
{
    auto start = std::chrono::steady_clock::now();
    Call(vst::effEditIdle);
    std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
    m_longestIdleMs = std::max(m_longestIdleMs, took.count());
    ++m_idleCalls;
}

void EditorSession::Idle(int ms)
{
    // 20 ms steps: one idle call and the blocks of audio that time holds.
    int blocks = std::max(1, m_rate / 50 / m_block);
    for (int waited = 0; waited < ms || waited == 0; waited += 20) {
        if (m_editorOpen)
            EditIdle();
        for (int b = 0; b < blocks; ++b)
            RenderBlock(false);
        Sleep(20);
    }
}

std::string EditorSession::Chunk()
{
    void* bytes = nullptr;
    vst::intptr size = Call(vst::effGetChunk, 0, 0, &bytes);
    if (size <= 0 || !bytes)
        return {};
    return std::string(static_cast<const char*>(bytes), static_cast<size_t>(size));
}

bool EditorSession::SetChunk(const std::string& chunk)
{
    std::string copy = chunk;
    return Call(vst::effSetChunk, 0, static_cast<vst::intptr>(copy.size()), copy.data()) != 0;
}

// ---------------------------------------------------------------- audio

void EditorSession::Midi(unsigned char status, unsigned char data1, unsigned char data2)
{
    vst::VstMidiEvent e{};
    e.type = vst::kVstMidiType;
    e.byteSize = sizeof(vst::VstMidiEvent);
    e.midiData[0] = static_cast<char>(status);
    e.midiData[1] = static_cast<char>(data1);
    e.midiData[2] = static_cast<char>(data2);
    m_pending.push_back(e);
}

void EditorSession::RenderBlock(bool measure)
{
    if (!m_effect || !m_effect->processReplacing)
        return;
    if (!m_pending.empty()) {
        size_t n = m_pending.size();
        std::vector<char> block(sizeof(vst::VstEvents) + n * sizeof(vst::VstEvent*));
        auto* events = reinterpret_cast<vst::VstEvents*>(block.data());
        events->numEvents = static_cast<vst::int32>(n);
        for (size_t i = 0; i < n; ++i)
            events->events[i] = reinterpret_cast<vst::VstEvent*>(&m_pending[i]);
        Call(vst::effProcessEvents, 0, 0, events);
        m_pending.clear();
    }
    for (auto& o : m_outs)
        std::fill(o.begin(), o.end(), 0.0f);
    m_effect->processReplacing(m_effect, m_inPtrs.data(), m_outPtrs.data(), m_block);
    if (!measure)
        return;
    for (size_t c = 0; c < m_outs.size(); ++c)
        for (float v : m_outs[c]) {
            m_sumSq[c] += static_cast<double>(v) * v;
            m_peak[c] = std::max(m_peak[c], std::fabs(v));
        }
    m_frames += m_block;
}

Level EditorSession::Render(int ms)
{
    m_sumSq.assign(m_outs.size(), 0.0);
    m_peak.assign(m_outs.size(), 0.0f);
    m_frames = 0;
    int blocks = std::max(1, static_cast<int>(static_cast<long>(m_rate) * ms / 1000 / m_block));
    for (int b = 0; b < blocks; ++b) {
        RenderBlock(true);
        if (b % 4 == 3 && m_editorOpen)
            EditIdle();
    }
    Level level;
    double sum = 0.0;
    for (size_t c = 0; c < m_outs.size(); ++c) {
        sum += m_sumSq[c];
        level.peak = std::max(level.peak, m_peak[c]);
    }
    level.rms = m_frames ? static_cast<float>(std::sqrt(sum / m_frames)) : 0.0f;
    return level;
}

Level EditorSession::PairLevel(int pair) const
{
    Level level;
    double sum = 0.0;
    for (size_t c = static_cast<size_t>(2 * pair); c < static_cast<size_t>(2 * pair + 2) && c < m_sumSq.size(); ++c) {
        sum += m_sumSq[c];
        level.peak = std::max(level.peak, m_peak[c]);
    }
    level.rms = m_frames ? static_cast<float>(std::sqrt(sum / m_frames)) : 0.0f;
    return level;
}

// ---------------------------------------------------------------- where things are

ViewTree EditorSession::Tree()
{
    ViewTree tree;
    unlink(m_treePath.c_str());
    if (!IdleUntil(2000, [&] { return access(m_treePath.c_str(), F_OK) == 0; }))
        return tree;
    std::ifstream in(m_treePath);
    std::string line;
    unsigned long window = 0;
    std::vector<int> stack;  // the last node at each depth
    while (std::getline(in, line)) {
        std::istringstream words(line);
        if (line.rfind("window ", 0) == 0) {
            // A modal dialog has no window of its own: it is drawn in its
            // owner's.
            std::string word;
            unsigned long id = 0;
            words >> word >> id;
            if (id)
                window = id;
            continue;
        }
        ViewNode node;
        int shown = 0;
        if (!(words >> node.depth >> node.cls >> shown >> node.x >> node.y >> node.w >> node.h))
            continue;
        node.shown = shown != 0;
        std::getline(words, node.text);
        if (!node.text.empty() && node.text[0] == ' ')
            node.text.erase(0, 1);
        node.window = window;
        stack.resize(static_cast<size_t>(node.depth));
        node.parent = node.depth > 0 && !stack.empty() ? stack.back() : -1;
        node.root = node.depth == 0 ? static_cast<int>(tree.nodes.size()) : tree.nodes[stack.front()].root;
        stack.push_back(static_cast<int>(tree.nodes.size()));
        tree.nodes.push_back(node);
    }
    return tree;
}

Point EditorSession::Screen(const ViewTree& tree, int node, Point local)
{
    Window child = 0;
    int x = 0, y = 0;
    XTranslateCoordinates(m_display, static_cast<Window>(tree[node].window), DefaultRootWindow(m_display), local.x,
                          local.y, &x, &y, &child);
    return {x, y};
}

std::vector<EditorSession::TopWindow> EditorSession::PopupWindows()
{
    std::vector<TopWindow> out;
    for (const TopWindow& w : m_input->ShownWindows())
        if (w.id != m_host)
            out.push_back(w);
    return out;
}

void EditorSession::MoveWindow(unsigned long window, int x, int y)
{
    XMoveWindow(m_display, static_cast<Window>(window), x, y);
    XSync(m_display, False);
}

void EditorSession::CloseWindow(unsigned long window)
{
    // The top-level window holding the toolkit's window; under a window
    // manager the client inside its frame.
    Window w = static_cast<Window>(kivtest::WindowManager::FrameOf(m_display, window));
    if (m_wm) {
        if (Window client = static_cast<Window>(kivtest::WindowManager::ClientIn(m_display, w)))
            w = client;
    }
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = w;
    e.xclient.message_type = XInternAtom(m_display, "WM_PROTOCOLS", False);
    e.xclient.format = 32;
    e.xclient.data.l[0] = static_cast<long>(XInternAtom(m_display, "WM_DELETE_WINDOW", False));
    e.xclient.data.l[1] = CurrentTime;
    XSendEvent(m_display, w, False, NoEventMask, &e);
    XSync(m_display, False);
    Idle(100);
}

// ---------------------------------------------------------------- input

void EditorSession::Fake(int x, int y)
{
    m_input->Move(x, y);
}

void EditorSession::Move(Point p)
{
    Fake(p.x, p.y);
    Idle(40);
}

void EditorSession::SpaceFromLastClick()
{
    // The toolkit's double-click time is 400 ms.
    auto since = std::chrono::steady_clock::now() - m_lastPress;
    int wait = 450 - static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(since).count());
    if (wait > 0)
        Idle(wait);
}

void EditorSession::Press(unsigned button, bool down)
{
    m_input->Button(button, down);
    if (down)
        m_lastPress = std::chrono::steady_clock::now();
}

void EditorSession::Click(Point p, int button)
{
    SpaceFromLastClick();
    Fake(p.x, p.y);
    Idle(20);
    Press(static_cast<unsigned>(button), true);
    Idle(20);
    Press(static_cast<unsigned>(button), false);
    Idle(100);
}

void EditorSession::Clicks(const std::vector<Point>& points, int gapMs)
{
    SpaceFromLastClick();
    Fake(points.at(0).x, points.at(0).y);
    Idle(20);
    for (size_t i = 0; i < points.size(); ++i) {
        if (i > 0 && gapMs > 0)
            Idle(gapMs);
        Fake(points[i].x, points[i].y);
        Press(1, true);
        Press(1, false);
    }
    Idle(150);
}

void EditorSession::MoveHost(int x, int y)
{
    XMoveWindow(m_display, m_host, x, y);
    XSync(m_display, False);
    Idle(100);
}

void EditorSession::Drag(Point from, Point to, int steps)
{
    SpaceFromLastClick();
    Fake(from.x, from.y);
    Idle(20);
    Press(1, true);
    Idle(40);
    for (int s = 1; s <= steps; ++s) {
        Fake(from.x + (to.x - from.x) * s / steps, from.y + (to.y - from.y) * s / steps);
        Idle(30);
    }
    Press(1, false);
    Idle(150);
}

bool EditorSession::ClickNode(const std::string& cls, int n, int under)
{
    ViewTree tree = Tree();
    int node = tree.Find(cls, n, under);
    if (node < 0)
        return false;
    Click(ScreenCentre(tree, node));
    return true;
}

void EditorSession::Key(const char* keysymName)
{
    if (m_input->Key(keysymName))
        Idle(40);
}

void EditorSession::Type(const std::string& text)
{
    for (char c : text) {
        std::string name;
        switch (c) {
        case ' ': name = "space"; break;
        case '.': name = "period"; break;
        case '/': name = "slash"; break;
        case '-': name = "minus"; break;
        case '_': name = "underscore"; break;
        default: name = std::string(1, c); break;
        }
        Key(name.c_str());
    }
}

// ---------------------------------------------------------------- menus

std::vector<EditorSession::TopWindow> EditorSession::MenuWindows()
{
    std::vector<TopWindow> out;
    for (const TopWindow& w : m_input->ShownWindows())
        if (w.cls == "KivMenu" || w.name == "KivMenu")
            out.push_back(w);
    return out;
}

bool EditorSession::WaitForMenus(size_t count, int timeoutMs)
{
    return IdleUntil(timeoutMs, [&] { return MenuWindows().size() >= count; });
}

bool EditorSession::PickMenuItems(std::vector<int> tops, const std::string& screenshot)
{
    for (size_t level = 0; level < tops.size(); ++level) {
        if (!WaitForMenus(level + 1))
            return false;
        Idle(100);  // drawn
        const TopWindow m = MenuWindows()[level];
        if (!screenshot.empty() && level + 1 == tops.size())
            WritePng(m_display, 0, 0, kScreenW, kScreenH, screenshot);
        // An item is chosen by its own press and release; a sub-menu opens
        // when the pointer rests on its entry.
        Fake(m.x + 30, m.y + 1 + tops[level] + 10);
        Idle(60);
        Press(1, true);
        Idle(20);
        Press(1, false);
        Idle(60);
    }
    Idle(100);  // answered at the editor's next tick
    return true;
}

// ---------------------------------------------------------------- pictures

unsigned long EditorSession::Pixel(Point p)
{
    XImage* image = XGetImage(m_display, DefaultRootWindow(m_display), p.x, p.y, 1, 1, AllPlanes, ZPixmap);
    if (!image)
        return 0;
    unsigned long pixel = XGetPixel(image, 0, 0) & 0xFFFFFF;
    XDestroyImage(image);
    return pixel;
}

std::vector<unsigned long> EditorSession::Pixels(Point p, int w, int h)
{
    std::vector<unsigned long> out;
    if (w <= 0 || h <= 0)
        return out;
    XImage* image = XGetImage(m_display, DefaultRootWindow(m_display), p.x, p.y, static_cast<unsigned>(w),
                              static_cast<unsigned>(h), AllPlanes, ZPixmap);
    if (!image)
        return out;
    for (int row = 0; row < h; ++row)
        for (int col = 0; col < w; ++col)
            out.push_back(XGetPixel(image, col, row) & 0xFFFFFF);
    XDestroyImage(image);
    return out;
}

int EditorSession::CountColour(Point p, int w, int h, unsigned long rgb)
{
    const std::vector<unsigned long> pixels = Pixels(p, w, h);
    return static_cast<int>(std::count(pixels.begin(), pixels.end(), rgb));
}

std::string EditorSession::Screenshot(const std::string& name, bool wholeScreen)
{
    Idle(100);
    XWindowAttributes a{};
    XGetWindowAttributes(m_display, m_host, &a);
    if (wholeScreen)
        return WritePng(m_display, 0, 0, kScreenW, kScreenH, name);
    // A window manager puts the window inside its frame.
    Window child = 0;
    int x = kHostX, y = kHostY;
    XTranslateCoordinates(m_display, m_host, DefaultRootWindow(m_display), 0, 0, &x, &y, &child);
    return WritePng(m_display, x, y, a.width, a.height, name);
}

}  // namespace e2e
