// HLabel: the text mix-in of labelled controls and views (a view's title).
// GUI thread.
#pragma once
#include "kiv/data/String.h"

class HLabel {
public:
    HLabel() = default;
    virtual ~HLabel() = default;
    virtual void OnTextChanged() {}

    // A null text clears the label; clearing an empty label does nothing.
    void SetText(const char* text);
    void AssignText(const kiv::string& text);
    // Null when the text is empty.
    const char* GetText() const { return m_text.IsEmpty() ? nullptr : m_text.GetText(); }
    bool IsTextChanged() const { return m_changed; }
    void ClearTextChanged() { m_changed = false; }

protected:
    kiv::string m_text;
    bool m_changed = false;
};
