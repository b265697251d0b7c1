#include "kiv/gui/XToolTip.h"

XToolTip::~XToolTip()
{
    // The window goes first: nothing may paint the text once it is freed.
    m_window.reset();
}

void XToolTip::SetWindow(std::unique_ptr<XNativeWindow> window)
{
    m_window = std::move(window);
}
