// XView: the root of a control tree, shown by one native window (XWindow),
// by the plug-in editor's window, or inside another view as a modal child.
// It turns the window's mouse and key input into calls on its controls
// (capture, hover, double click, wheel, default and cancel buttons), runs the
// per-tick work (its event queue, finished modal children, ticks for the
// captured and hover controls) and paints its tree. Application windows and
// dialogs derive from it. GUI thread, except Post of its event queue.
//
// XViewPop: a framed view with a title band for pop-up dialogs.
#pragma once
#include <cstdint>
#include <memory>

#include "kiv/gui/HLabel.h"
#include "kiv/gui/XControl.h"
#include "kiv/gui/XEventQueue.h"
#include "kiv/gui/XInput.h"

class XGraphic;
class XWindow;

class XView : public XControl, public HLabel, public XEventQueue {
public:
    XView();
    ~XView() override;

    uintptr_t GetWindowHandle() override { return m_nativeWindow; }
    void StartMouseTracking() override { m_hoverTracking = 1; }
    void ForgetControl(XControl* control) override;
    virtual void OnWindowResized(int w, int h);
    virtual void OnClosing() {}
    virtual void OnIdle() {}
    virtual void OnEvent(XEvent& event) { (void)event; }
    // Called before the child is deleted.
    virtual void OnModalClosed(XView* child, int result) { (void)child; (void)result; }

    void SetNativeWindow(uintptr_t handle) { m_nativeWindow = handle; }
    // Shows the view in its own window (made on first use); false when no
    // window could be made.
    bool OpenWindow();
    XWindow* GetWindow() const { return m_window.get(); }

    // Close requests are carried out by the next tick.
    void Close(int result);
    bool IsCloseRequested() const { return m_closeRequested != 0; }
    bool TakeCloseRequest();
    int GetCloseResult() const { return m_closeResult; }
    void RequestSize(int w, int h);
    bool HasRequestedSize() const { return m_sizeRequested != 0; }
    void TakeRequestedSize(int& dw, int& dh);
    void RequestRaise() { m_raiseRequested = 1; }
    bool TakeRaiseRequest();

    // A pair counts only when both members are non-zero.
    void SetSizeLimits(int minW, int maxW, int minH, int maxH);
    void GetSizeLimits(int& minW, int& maxW, int& minH, int& maxH) const;
    bool HasSizeLimits() const { return m_maxW + m_maxH >= 1; }

    void SetIcon(const char* name) { m_iconName = name; }
    const char* GetIcon() const { return m_iconName.IsEmpty() ? nullptr : m_iconName.GetText(); }
    // Opens a document or address with the desktop's opener; false when the
    // opener could not be started.
    static bool ShellOpen(const char* path);

    void SetDialog(bool dialog) { m_dialog = dialog ? 1 : 0; }
    void SetCentred(bool centred) { m_centred = centred ? 1 : 0; }
    bool IsCentred() const { return m_centred != 0; }
    void SetDefaultButton(XControl* button) { m_defaultButton = button; }
    void SetCancelButton(XControl* button) { m_cancelButton = button; }

    // Modal children: the view owns them; one open and at most one waiting.
    void OpenModal(XView* child, uint32_t tag);
    XView* GetModalChild() const { return m_modalChild; }
    XView* GetWaitingModalChild() const { return m_waitingChild; }
    uint32_t GetModalTag() const { return m_modalTag; }

    // Input entries, points in the view's coordinates.
    bool HandleMouseDown(int x, int y, int button, bool shift, bool control);
    void HandleHover(int x, int y);
    // The pointer left the window: the hover control (of this view and of
    // its modal children) hears that it left, and the next move finds the
    // control under the pointer afresh.
    void HandlePointerLeave();
    void HandleMouseMove(int x, int y, bool shift, bool control);
    void HandleMouseUp(int x, int y, int button);
    bool HandleDoubleClick(int x, int y);
    // Records a left press at a time (ms of the back end's clock); true when
    // it completes a double click: the previous left press was on the same
    // control, less than the double-click time before.
    bool TakeLeftPress(int x, int y, uint32_t timeMs);
    void HandleWheel(int x, int y, int dx, int dy);
    bool HandleKey(XKeyEvent& key);
    XControl* GetCapturedControl() const { return m_captured; }
    XControl* GetHoverControl() const { return m_hover; }
    bool HasCapture() const { return m_capturedFlag != 0; }

    // Once per window tick; true when something needs painting.
    bool Tick(int tickCount);
    void PaintTree(XGraphic& graphic, bool forced);

private:
    XView* Redirect(int& x, int& y, bool* aboveTop);
    void UpdateHover(int x, int y, bool moves);
    void PlaceModal();

    std::unique_ptr<XWindow> m_window;
    uintptr_t m_nativeWindow = 0;
    uint32_t m_modalTag = 0;
    kiv::string m_iconName;
    uint8_t m_dialog = 0;
    uint8_t m_centred = 0;
    int32_t m_minW = 0, m_maxW = 0, m_minH = 0, m_maxH = 0;
    uint8_t m_sizeRequested = 0;
    int32_t m_requestedW = 0, m_requestedH = 0;
    uint8_t m_closeRequested = 0;
    int32_t m_closeResult = 0;
    uint8_t m_raiseRequested = 0;
    XMouse m_mouse;
    uint8_t m_capturedFlag = 0;
    uint8_t m_hoverTracking = 0;
    uint8_t m_hoverWantsMoves = 0;
    int32_t m_lastX = xconst::kUnset, m_lastY = xconst::kUnset;
    int32_t m_hoverX = 0, m_hoverY = 0;
    XControl* m_captured = nullptr;
    XControl* m_hover = nullptr;
    XControl* m_lastPressed = nullptr;  // under the last left press; compared, never used
    uint32_t m_lastPressTime = 0;
    uint8_t m_hadPress = 0;
    XControl* m_defaultButton = nullptr;
    XControl* m_cancelButton = nullptr;
    XView* m_modalChild = nullptr;    // owned
    XView* m_waitingChild = nullptr;  // owned
};

class XViewPop : public XView {
public:
    XViewPop();
    void Draw(XGraphic& graphic) override;
};
