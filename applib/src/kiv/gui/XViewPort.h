// Scrolling: an XViewPort placed in a parent shows part of a larger content
// control through an XClipView, with optional horizontal and vertical
// XScrollBar children that notify it. XScrollView is a control that moves
// itself into such a viewport as its content when it is made; the list and
// tree views derive from it. The viewport, clip view, bars and content are
// all controls of the parent's tree and die with it. GUI thread only.
#pragma once
#include "kiv/gui/XControl.h"
#include "kiv/gui/XListener.h"

class XScrollBar;
class XViewPort;

// A control that clips its children's drawing to its bounds.
class XClipView : public XControl {
public:
    XClipView();
    // The content resized: the viewport lays out again.
    void OnChildResized() override;

private:
    friend class XViewPort;
    XViewPort* m_port = nullptr;
};

class XViewPort : public XControl, public XListener {
public:
    XViewPort(XControl* parent, int x, int y, int w, int h);

    // Shows the content (once): it gets the viewport's size and goes into a
    // new clip view of that size.
    void SetContent(XControl* content);
    // Bars along the bottom and right edges, hidden until the content needs them.
    void CreateScrollBars(bool horizontal, bool vertical);
    void SetStep(int x, int y)
    {
        m_stepX = x;
        m_stepY = y;
    }
    // Positions are clamped to the content.
    void ScrollToX(int position);
    void ScrollToY(int position);
    void UpdateLayout();
    void SetSize(int w, int h);

    XControl* GetContent() const { return m_content; }
    XClipView* GetClipView() const { return m_clip; }
    XScrollBar* GetHorizontalBar() const { return m_hbar; }
    XScrollBar* GetVerticalBar() const { return m_vbar; }
    int GetScrollXPos() const { return m_scrollPosX; }
    int GetScrollYPos() const { return m_scrollPosY; }

    int Notify(XControl* sender, int code, int value) override;
    bool OnWheel(int x, int y, int dx, int dy) override;
    void OnGeometryChanged() override;
    void ForgetControl(XControl* control) override;

private:
    XClipView* m_clip = nullptr;
    XControl* m_content = nullptr;
    XScrollBar* m_hbar = nullptr;
    XScrollBar* m_vbar = nullptr;
    int m_scrollPosX = 0;
    int m_scrollPosY = 0;
    int m_stepX = xconst::kScrollStep;
    int m_stepY = xconst::kScrollStep;
};

class XScrollView : public XControl {
public:
    // Made as the content of a new viewport that takes its place in the
    // parent (with the same geometry).
    XScrollView(XControl* parent, int x, int y, int w, int h);
    void SetScrollBars(bool horizontal, bool vertical);
    XViewPort* GetViewPort() const { return m_port; }

protected:
    XViewPort* m_port = nullptr;
};
