// HeadlessBackend: windows in memory, for running the toolkit without a
// display. Tests inject input into its windows, move its virtual clock
// (which fires the timers that fall due, in order) and read the pixels each
// window was last given. GUI thread (the test's thread) only.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "kiv/gui/XBackend.h"

class HeadlessBackend;

class HeadlessWindow : public XNativeWindow {
public:
    HeadlessWindow(HeadlessBackend* backend, uintptr_t handle, uintptr_t parent, const char* className);
    ~HeadlessWindow() override;

    uintptr_t GetHandle() const override { return m_handle; }
    void SetSink(XNativeSink* sink) override { m_sink = sink; }
    void Show() override;
    void Hide() override { m_mapped = false; }
    void MoveResize(int x, int y, int w, int h) override;
    void Resize(int w, int h) override { MoveResize(m_x, m_y, w, h); }
    void GetScreenRect(int& x, int& y, int& w, int& h) override;
    void GetBorderSize(int& w, int& h) override { w = h = 0; }
    void SetSizeLimits(bool resizable, int minW, int minH, int maxW, int maxH) override;
    void SetIcon(const XPic& pic) override;
    void Raise() override { ++m_raises; }
    void SetFocus() override;
    void CaptureMouse() override;
    void ReleaseMouse() override;
    bool HasCapture() const override;
    void Present(const uint8_t* pixels, int stride, int x, int y, int w, int h) override;

    // What tests read.
    const std::string& GetClassName() const { return m_className; }
    uintptr_t GetParentHandle() const { return m_parent; }
    bool IsMapped() const { return m_mapped; }
    int GetX() const { return m_x; }
    int GetY() const { return m_y; }
    int GetWidth() const { return m_w; }
    int GetHeight() const { return m_h; }
    bool IsResizable() const { return m_resizable; }
    int GetMinW() const { return m_minW; }
    int GetMaxW() const { return m_maxW; }
    int GetMinH() const { return m_minH; }
    int GetMaxH() const { return m_maxH; }
    int GetRaises() const { return m_raises; }
    int GetPresents() const { return m_presents; }
    // Pixels handed to Present since the window was made.
    int64_t GetPresentedPixels() const { return m_presentedPixels; }
    int GetIconWidth() const { return m_iconWidth; }
    // The colour last presented at a pixel (0 where nothing was).
    XColourValue Pixel(int x, int y) const;

    void Deliver(const XNativeMessage& message);
    bool m_needsPaint = false;
    std::string m_title;

private:
    HeadlessBackend* m_backend;
    uintptr_t m_handle;
    uintptr_t m_parent;
    std::string m_className;
    XNativeSink* m_sink = nullptr;
    bool m_mapped = false;
    int m_x = 0, m_y = 0, m_w = 0, m_h = 0;
    bool m_resizable = false;
    int m_minW = 0, m_minH = 0, m_maxW = 0, m_maxH = 0;
    int m_raises = 0;
    int m_presents = 0;
    int64_t m_presentedPixels = 0;
    int m_iconWidth = 0;
    std::vector<uint32_t> m_pixels;
};

class HeadlessBackend : public XBackend {
public:
    HeadlessBackend();
    ~HeadlessBackend() override;

    std::unique_ptr<XNativeWindow> CreateTopLevel(const XWindowDesc& desc) override;
    std::unique_ptr<XNativeWindow> CreateChild(uintptr_t parent, const char* className, int x, int y, int w,
                                               int h) override;
    void GetScreenSize(int& w, int& h) override
    {
        w = m_screenW;
        h = m_screenH;
    }
    void GetWorkArea(int& x, int& y, int& w, int& h) override
    {
        if (m_areaW <= 0 || m_areaH <= 0)
            return XBackend::GetWorkArea(x, y, w, h);
        x = m_areaX;
        y = m_areaY;
        w = m_areaW;
        h = m_areaH;
    }
    // The screen, and the part of it that windows may cover (the whole
    // screen until set).
    void SetScreenSize(int w, int h)
    {
        m_screenW = w;
        m_screenH = h;
    }
    void SetWorkArea(int x, int y, int w, int h)
    {
        m_areaX = x;
        m_areaY = y;
        m_areaW = w;
        m_areaH = h;
    }
    uint32_t NowMs() override { return m_now; }
    void SetTimer(XNativeSink* sink, int periodMs) override;
    void KillTimer(XNativeSink* sink) override;
    int Pump(int timeoutMs) override;
    bool GetClipboardText(std::string& out, size_t maxBytes) override;
    // The in-memory clipboard that GetClipboardText reads.
    void SetClipboardText(const std::string& text)
    {
        m_clipboard = text;
        m_hasClipboard = true;
    }
    void ClearClipboard()
    {
        m_clipboard.clear();
        m_hasClipboard = false;
    }

    // Moves the clock by ms, delivering paints and every timer that falls
    // due on the way, in time order.
    void Advance(int ms);
    bool HasTimer(XNativeSink* sink) const;
    HeadlessWindow* Find(uintptr_t handle) const;
    HeadlessWindow* FindByClass(const char* className) const;
    int CountWindows() const { return static_cast<int>(m_windows.size()); }

    // Input, points in the window's coordinates. While a window holds the
    // capture, mouse input goes to it (moved into its coordinates).
    void MouseDown(HeadlessWindow* window, int x, int y, int button, bool shift = false, bool control = false);
    void MouseUp(HeadlessWindow* window, int x, int y, int button);
    void MouseMove(HeadlessWindow* window, int x, int y, bool left = false, bool right = false);
    // The pointer leaves the window.
    void MouseLeave(HeadlessWindow* window);
    void Wheel(HeadlessWindow* window, int x, int y, int delta);
    void KeyDown(HeadlessWindow* window, int code);
    void Char(HeadlessWindow* window, int character, bool control = false);
    void Minimise(HeadlessWindow* frame);
    void Restore(HeadlessWindow* frame);
    void RequestClose(HeadlessWindow* frame);
    // Resizes a window as a user would (the window hears of its new size).
    void UserResize(HeadlessWindow* frame, int w, int h);

    // Called by windows.
    void Register(HeadlessWindow* window);
    void Unregister(HeadlessWindow* window);
    HeadlessWindow* m_capture = nullptr;
    HeadlessWindow* m_focus = nullptr;

private:
    struct Timer {
        XNativeSink* sink;
        int period;
        uint32_t due;
    };
    HeadlessWindow* MouseTarget(HeadlessWindow* window, int& x, int& y);
    int DeliverPaints();

    std::vector<HeadlessWindow*> m_windows;
    std::vector<Timer> m_timers;
    uint32_t m_now = 1000;
    uintptr_t m_nextHandle = 0x100;
    int m_screenW = 1920;
    int m_screenH = 1080;
    int m_areaX = 0, m_areaY = 0, m_areaW = 0, m_areaH = 0;
    std::string m_clipboard;
    bool m_hasClipboard = false;
};
