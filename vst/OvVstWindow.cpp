#include "vst/OvVstWindow.h"

#include <cxxabi.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <typeinfo>

#include "engine/OvStudio.h"
#include "kiv/gui/HLabel.h"
#include "kiv/gui/XBackend.h"
#include "kiv/gui/XConst.h"
#include "kiv/gui/XFileNav.h"
#include "kiv/gui/XListView.h"
#include "kiv/gui/XTreeView.h"
#include "kiv/gui/XView.h"

namespace {

// The size the host is told, filled by the first request in the process and
// then kept, also for later plug-in objects.
vst::ERect g_rect{};
bool g_rectFilled = false;

// VST virtual keys (and modifier bits) the toolkit knows.
constexpr int kVkBack = 1, kVkTab = 2, kVkReturn = 4, kVkEscape = 6, kVkLeft = 11, kVkUp = 12, kVkRight = 13,
              kVkDown = 14, kVkEnter = 19, kVkDelete = 22;
constexpr int kVstShift = 1, kVstCommand = 4, kVstControl = 8;

XView* EditorView(OvStudio* engine)
{
    return engine ? dynamic_cast<XView*>(engine->GetEditor()) : nullptr;
}

// The class name of a control, for the view-tree listing.
std::string ClassName(const XControl* control)
{
    const char* mangled = typeid(*control).name();
    int status = 0;
    char* plain = abi::__cxa_demangle(mangled, nullptr, nullptr, &status);
    std::string name = status == 0 && plain ? plain : mangled;
    free(plain);
    return name;
}

// One line a control: depth, class, shown (itself and every parent below
// the root, which its window shows), the rectangle in its window's
// coordinates (not clipped by its parents), its text if it has one; the
// rows of lists and trees follow their control. Root views (the editor and its
// modal dialogs, each in a window of its own) start with their window id.
// One text of a row, on one line.
std::string OneLine(const char* text)
{
    std::string line;
    for (const char* t = text ? text : ""; *t; ++t)
        line += *t == '\n' || *t == '\r' ? ' ' : *t;
    return line;
}

// The rows of a list or tree as "@row" lines under it: where each row is
// (at its indent in a tree) and its text when the row has plain text.
void ListRows(FILE* out, const XControl* control, int depth, bool shown, int x, int y)
{
    auto row = [&](int index, int indent, const std::string& text) {
        fprintf(out, "%d @row %d %d %d %d %d %s\n", depth, shown ? 1 : 0, x + indent,
                y + xconst::kRowTop + index * xconst::kRowHeight, control->GetWidth() - indent, xconst::kRowHeight,
                text.c_str());
    };
    if (auto* list = dynamic_cast<const XListView*>(control)) {
        for (int i = 0; i < list->GetCount(); ++i) {
            const XListItem* item = list->GetItem(i);
            std::string text;
            if (auto* s = dynamic_cast<const XListStringItem*>(item))
                text = OneLine(s->text.GetText());
            else if (auto* t = dynamic_cast<const XListTextItem*>(item))
                text = OneLine(t->text.GetText());
            row(i, 0, text);
        }
    } else if (auto* tree = dynamic_cast<const XTreeView*>(control)) {
        for (int i = 0; i < tree->GetRowCount(); ++i) {
            int indent = 0;
            const XTreeView::Node* node = tree->NodeAtRow(i, &indent);
            if (node)
                row(i, indent, OneLine(node->name));
        }
    }
}

void ListControls(FILE* out, const XControl* control, int depth, bool shown)
{
    shown = shown && (depth == 0 || control->IsVisible());
    int x = 0, y = 0;
    for (const XControl* c = control; c->GetParent(); c = c->GetParent()) {
        x += c->GetX() - c->GetScrollX();
        y += c->GetY() - c->GetScrollY();
    }
    auto* label = dynamic_cast<const HLabel*>(control);
    std::string text = label ? OneLine(label->GetText()) : std::string();
    fprintf(out, "%d %s %d %d %d %d %d %s\n", depth, ClassName(control).c_str(), shown ? 1 : 0, x, y,
            control->GetWidth(), control->GetHeight(), text.c_str());
    ListRows(out, control, depth + 1, shown, x, y);
    for (const XControl* child = control->GetFirstChild(); child; child = child->GetNextSibling())
        ListControls(out, child, depth + 1, shown);
}

void ListView(FILE* out, XView* view)
{
    if (!view)
        return;
    fprintf(out, "window %lu\n", static_cast<unsigned long>(view->GetWindowHandle()));
    ListControls(out, view, 0, true);
    ListView(out, view->GetModalChild());
}

// Tests drive the editor with real input and need to know where its
// controls are: when KIV_VIEW_TREE names a file that does not exist, the
// next idle call writes the view tree into it (whole, through a rename).
void WriteViewTreeIfAsked(XView* view)
{
    const char* path = getenv("KIV_VIEW_TREE");
    if (!path || !*path || !view || access(path, F_OK) == 0)
        return;
    std::string temp = std::string(path) + ".part";
    FILE* out = fopen(temp.c_str(), "w");
    if (!out)
        return;
    ListView(out, view);
    if (fclose(out) == 0)
        rename(temp.c_str(), path);
}

}  // namespace

OvVstWindow::OvVstWindow(OvStudio* engine, AudioEffect* effect) : AEffEditor(effect), m_engine(engine)
{
    if (effect)
        effect->setEditor(this);
}

OvVstWindow::~OvVstWindow() { close(); }

bool OvVstWindow::getRect(vst::ERect** rect)
{
    if (!rect)
        return false;
    XView* view = EditorView(m_engine);
    if (!g_rectFilled && view) {
        g_rect.top = 0;
        g_rect.left = 0;
        g_rect.bottom = static_cast<int16_t>(view->GetHeight());
        g_rect.right = static_cast<int16_t>(view->GetWidth());
        g_rectFilled = true;
    }
    *rect = &g_rect;
    return true;
}

bool OvVstWindow::open(void* ptr)
{
    XView* view = EditorView(m_engine);
    // No parent, no editor or no display: the host is told the editor did
    // not open, and nothing is kept.
    if (!ptr || !view)
        return false;
    if (isOpen())
        close();
    auto parent = reinterpret_cast<uintptr_t>(ptr);
    SetFrameWindow(parent);
    SetView(view);
    if (!CreateClientWindow(parent, kClassName, view->GetWidth(), view->GetHeight())) {
        SetView(nullptr);
        SetFrameWindow(0);
        return false;
    }
    systemWindow = ptr;
    m_parent = parent;
    // Shown by this window, as a window of its own shows its view (hit tests
    // for the pointer's moves need it); the editor refreshes its loaded
    // units; the timer starts with the first paint.
    view->SetVisible(true);
    view->OnShow();
    return true;
}

void OvVstWindow::close()
{
    XView* view = GetView();
    StopTimer();
    // A file dialog of the editor would stay on screen with nothing to take
    // its answer until the editor opens again: it closes with the editor.
    if (view)
        XFileNav::EndDialogWithin(view);
    // So would the hosted effects' own windows, dead without our idle
    // calls: each closes as its close box would (they are not reopened
    // with the editor; the strip's "e" mark does that).
    if (m_engine)
        m_engine->CloseInsertViews();
    if (view && systemWindow) {
        view->OnClosing();
        view->SetVisible(false);
    }
    SetView(nullptr);
    SetFrameWindow(0);
    DestroyClientWindow();
    systemWindow = nullptr;
    m_parent = 0;
}

void OvVstWindow::idle()
{
    if (!isOpen())
        return;
    if (XBackend* backend = XBackend::Get())
        backend->Pump(0);
    WriteViewTreeIfAsked(GetView());
}

int OvVstWindow::ToolkitKeyCode(int key)
{
    switch (key) {
    case kVkUp:
        return xconst::kKeyUp;
    case kVkDown:
        return xconst::kKeyDown;
    case kVkLeft:
        return xconst::kKeyLeft;
    case kVkRight:
        return xconst::kKeyRight;
    case kVkDelete:
        return xconst::kKeyDelete;
    case kVkBack:
        return xconst::kKeyBackspace;
    case kVkTab:
        return xconst::kKeyTab;
    case kVkReturn:
    case kVkEnter:
        return xconst::kKeyReturn;
    case kVkEscape:
        return xconst::kKeyEscape;
    default:
        return 0;
    }
}

int OvVstWindow::ToolkitModifiers(int modifiers)
{
    int set = 0;
    if (modifiers & kVstShift)
        set |= xconst::kModShift;
    if (modifiers & kVstControl)
        set |= xconst::kModControl;
    if (modifiers & kVstCommand)
        set |= xconst::kModCommand;
    return set;
}

bool OvVstWindow::onKeyDown(vst::VstKeyCode& key)
{
    KeyDown(key.character, ToolkitModifiers(key.modifier), ToolkitKeyCode(key.virt));
    return true;
}
