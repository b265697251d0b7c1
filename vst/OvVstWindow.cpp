#include "vst/OvVstWindow.h"

#include "engine/OvStudio.h"
#include "kiv/gui/XBackend.h"
#include "kiv/gui/XConst.h"
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
    // The editor refreshes its loaded units; the timer starts with the
    // first paint.
    view->OnShow();
    return true;
}

void OvVstWindow::close()
{
    XView* view = GetView();
    StopTimer();
    if (view && systemWindow)
        view->OnClosing();
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
