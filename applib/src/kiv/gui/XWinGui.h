// XWinGui binds one root view to native windows: it owns the offscreen
// XGraphic the tree is painted into, turns the client window's messages into
// the view's input entries, and runs the 50 ms timer that drives the view's
// tick and repaint. XWindow derives from it with its own top-level frame;
// the plug-in editor uses it directly with a child of the host's window.
// GUI thread only; other threads reach the view through its event queue.
#pragma once
#include <cstdint>
#include <memory>

#include "kiv/gui/XBackend.h"
#include "kiv/gui/XGraphic.h"
#include "kiv/gui/XToolTip.h"

class XView;

class XWinGui : public XNativeSink {
public:
    XWinGui();
    XWinGui(const XWinGui&) = delete;
    XWinGui& operator=(const XWinGui&) = delete;
    ~XWinGui() override;

    virtual void OnCloseRequest() {}

    void SetView(XView* view);
    XView* GetView() const { return m_root; }
    // The outer window (a host's window for the plug-in editor).
    void SetFrameWindow(uintptr_t handle);
    uintptr_t GetFrameWindow() const { return m_frame; }
    // The window that receives input and paint (not owned).
    void SetClientWindow(XNativeWindow* window);
    XNativeWindow* GetClientWindow() const { return m_client; }
    // Makes and owns a client window as a child of any native window (the
    // plug-in editor's window inside the host's); null when that fails.
    XNativeWindow* CreateClientWindow(uintptr_t parent, const char* className, int w, int h);
    void DestroyClientWindow();
    void SetClientOffset(int x, int y)
    {
        m_clientOffsetX = x;
        m_clientOffsetY = y;
    }
    void UpdateScreenPosition();
    void ForwardResize(int w, int h);

    void StartTimer();
    void StopTimer();
    bool IsTimerRunning() const { return m_timer != 0; }
    bool IsRunning() const { return m_running != 0; }
    int GetTickCount() const { return m_tickCount; }
    void OnTick();
    void Paint(XPaintTarget* target);
    void Repaint();
    bool KeyDown(int character, int modifiers, int code);
    void WindowProc(const XNativeMessage& message);
    void OnNativeMessage(XNativeWindow* from, const XNativeMessage& message) override;
    // The offscreen graphic, made on first use.
    XGraphic& GetGraphic();
    XToolTip& GetToolTip() { return *m_toolTip; }

protected:
    // The frame's part of a tick: raise, and grow by a requested size change.
    virtual void RaiseFrame() {}
    virtual void ResizeFrameBy(int dw, int dh);

    uintptr_t m_frame = 0;
    int m_screenLeft = 0, m_screenTop = 0;
    uint8_t m_running = 0;
    int32_t m_tickCount = 0;
    XNativeWindow* m_client = nullptr;
    std::unique_ptr<XNativeWindow> m_ownedClient;
    int m_clientOffsetX = 0, m_clientOffsetY = 0;
    XView* m_root = nullptr;
    std::unique_ptr<XGraphic> m_graphic;
    std::unique_ptr<XToolTip> m_toolTip;
    int m_timer = 0;
    XBackend* m_timerBackend = nullptr;
};
