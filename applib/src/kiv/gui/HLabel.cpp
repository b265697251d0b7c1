#include "kiv/gui/HLabel.h"

void HLabel::SetText(const char* text)
{
    if (!text) {
        if (m_text.IsEmpty())
            return;
        m_text.Clear();
    } else {
        m_text.Assign(text);
    }
    m_changed = true;
    OnTextChanged();
}

void HLabel::AssignText(const kiv::string& text)
{
    m_text = text;
    m_changed = true;
    OnTextChanged();
}
