// XToolTip: the tool tip a window keeps (XWinGui owns one): a native window,
// the font its text is drawn in and its own copy of the text. Destroying it
// destroys the window and frees the font and the text. GUI thread only.
#pragma once
#include <cstdint>
#include <memory>

#include "kiv/data/String.h"
#include "kiv/gui/XBackend.h"

class XToolTip {
public:
    XToolTip() = default;
    XToolTip(const XToolTip&) = delete;
    XToolTip& operator=(const XToolTip&) = delete;
    ~XToolTip();

    // Takes the window over (a previous one is destroyed).
    void SetWindow(std::unique_ptr<XNativeWindow> window);
    XNativeWindow* GetWindow() const { return m_window.get(); }
    // The font as the toolkit selects fonts (XGraphic::SetFont).
    void SetFont(int size, uint32_t style)
    {
        m_fontSize = size;
        m_fontStyle = style;
    }
    int GetFontSize() const { return m_fontSize; }
    uint32_t GetFontStyle() const { return m_fontStyle; }
    // Keeps a copy; null clears it. GetText is null while empty.
    void SetText(const char* text) { m_text = text ? text : ""; }
    const char* GetText() const { return m_text.IsEmpty() ? nullptr : m_text.GetText(); }

private:
    std::unique_ptr<XNativeWindow> m_window;
    int m_fontSize = 0;
    uint32_t m_fontStyle = 0;
    kiv::string m_text;
};
