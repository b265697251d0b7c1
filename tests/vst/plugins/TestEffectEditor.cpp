#include "tests/vst/plugins/TestEffectEditor.h"

#include <X11/Xlib.h>

extern TestEffectState g_testState;
extern vst::AEffect g_testEffect;

namespace testeditor {

namespace {

#ifdef TEST_LATE_EDITOR
constexpr int kWidth = kTestLateEditorWidth, kHeight = kTestLateEditorHeight;
#else
constexpr int kWidth = kTestEditorWidth, kHeight = kTestEditorHeight;
#endif

Display* g_display = nullptr;
Window g_window = 0;
bool g_askedSize = false;
vst::ERect g_rect{0, 0, kHeight, kWidth};

vst::intptr AskHost(vst::int32 opcode, vst::int32 index, vst::intptr value, const void* ptr, float opt)
{
    return g_testState.host(&g_testEffect, opcode, index, value, const_cast<void*>(ptr), opt);
}

void Paint()
{
    GC gc = DefaultGC(g_display, DefaultScreen(g_display));
    XSetForeground(g_display, gc, kTestEditorEdge);
    XDrawRectangle(g_display, g_window, gc, 0, 0, kWidth - 1, kHeight - 1);
    XFillRectangle(g_display, g_window, gc, 20, 20, static_cast<unsigned>(kWidth - 40), 24);
    XFlush(g_display);
}

}  // namespace

vst::intptr GetRect(void* ptr)
{
    if (!ptr)
        return 0;
#ifdef TEST_LATE_EDITOR
    *static_cast<vst::ERect**>(ptr) = nullptr;
    return 0;
#else
    *static_cast<vst::ERect**>(ptr) = &g_rect;
    return 1;
#endif
}

vst::intptr Open(void* parent)
{
    Close();
    g_testState.canDoSizeWindow = AskHost(vst::audioMasterCanDo, 0, 0, "sizeWindow", 0.0f);
    g_display = XOpenDisplay(nullptr);
    if (!g_display || !parent)
        return 0;
    auto parentWindow = static_cast<Window>(reinterpret_cast<uintptr_t>(parent));
    g_window = XCreateSimpleWindow(g_display, parentWindow, 0, 0, kWidth, kHeight, 0, 0, kTestEditorColour);
    XSelectInput(g_display, g_window, ExposureMask | ButtonPressMask);
    XMapWindow(g_display, g_window);
    XSync(g_display, False);
    g_testState.editorWindow = g_window;
    g_testState.editorParent = parentWindow;
    g_askedSize = false;
    return 1;
}

void Close()
{
    if (g_display) {
        if (g_window)
            XDestroyWindow(g_display, g_window);
        XCloseDisplay(g_display);
    }
    g_display = nullptr;
    g_window = 0;
    g_testState.editorWindow = 0;
}

void Idle()
{
    if (!g_display)
        return;
#ifdef TEST_LATE_EDITOR
    if (!g_askedSize) {
        g_askedSize = true;
        g_testState.sizeWindowAnswer = AskHost(vst::audioMasterSizeWindow, kWidth, kHeight, nullptr, 0.0f);
    }
#endif
    while (XPending(g_display) > 0) {
        XEvent event;
        XNextEvent(g_display, &event);
        if (event.type == Expose && event.xexpose.count == 0) {
            Paint();
        } else if (event.type == ButtonPress) {
            // As a knob turned by the user: begin, the new value, end.
            ++g_testState.editorClicks;
            float gain = g_testState.params[0] >= 0.75f ? 0.25f : g_testState.params[0] + 0.25f;
            g_testState.beginEditAnswer = AskHost(vst::audioMasterBeginEdit, 0, 0, nullptr, 0.0f);
            g_testState.params[0] = gain;
            AskHost(vst::audioMasterAutomate, 0, 0, nullptr, gain);
            g_testState.endEditAnswer = AskHost(vst::audioMasterEndEdit, 0, 0, nullptr, 0.0f);
        }
    }
}

}  // namespace testeditor
