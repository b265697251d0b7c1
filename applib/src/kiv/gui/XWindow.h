// XWindow: a root view's own top-level window ("KivWindow", the WM_CLASS)
// with a client child window ("KivControl") that receives input and paint.
// Made and owned by XView::OpenWindow; GUI thread only.
#pragma once
#include <memory>

#include "kiv/gui/XWinGui.h"

class XControl;

class XWindow : public XWinGui {
public:
    explicit XWindow(XView* view);
    ~XWindow() override;

    // A pop-up over the owner's window, centred over it when the view asks.
    void SetOwner(XControl* owner) { m_owner = owner; }
    bool Create();
    bool Show();
    void Close(bool destroy);
    void OnSize(int w, int h);
    void OnCloseRequest() override { Close(true); }
    void FrameProc(const XNativeMessage& message);
    void OnNativeMessage(XNativeWindow* from, const XNativeMessage& message) override;
    XNativeWindow* GetFrame() const { return m_frameWindow.get(); }
    int GetBorderWidth() const { return m_borderW; }
    int GetBorderHeight() const { return m_borderH; }

protected:
    void RaiseFrame() override;
    void ResizeFrameBy(int dw, int dh) override;

private:
    std::unique_ptr<XNativeWindow> m_frameWindow;
    std::unique_ptr<XNativeWindow> m_clientWindow;
    int m_borderW = 0, m_borderH = 0;
    XControl* m_owner = nullptr;
};
