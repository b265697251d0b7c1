#include "kiv/gui/XColour.h"

namespace XColour {

XColourValue Scale(XColourValue c, float f)
{
    auto channel = [f](int v) {
        float scaled = v * f;
        if (!(scaled > 0.0f))
            return 0;
        if (scaled >= 255.0f)
            return 255;
        return static_cast<int>(scaled);
    };
    return Make(channel(Red(c)), channel(Green(c)), channel(Blue(c)), 255);
}

}  // namespace XColour

XTheme::~XTheme()
{
    while (m_first) {
        Entry* next = m_first->next;
        delete m_first;
        m_first = next;
    }
}

void XTheme::Add(int slot, XColourValue colour)
{
    Entry* entry = new Entry{slot, colour, nullptr};
    if (m_last)
        m_last->next = entry;
    else
        m_first = entry;
    m_last = entry;
    ++m_count;
}

const XTheme::Entry* XTheme::GetEntry(int n) const
{
    if (n < 0)
        return nullptr;
    const Entry* entry = m_first;
    while (entry && n-- > 0)
        entry = entry->next;
    return entry;
}
