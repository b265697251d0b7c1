// WError: the notice the editor opens modally when a file it was asked to
// write could not be written: it names the file, its folder and the reason
// the system gave, so the user knows the work is not on disk. "Ok" (also
// Return and Escape) closes it with 0. GUI thread.
#pragma once
#include <cstdint>

#include "kiv/gui/XListener.h"
#include "kiv/gui/XView.h"

class XButton;
class XLabel;

class WError : public XView, public XListener {
public:
    static constexpr int kWidth = 460;
    static constexpr int kHeight = 96;
    static constexpr int kTextSize = 64;  // each line, terminator included (what fits the width)

    // `path` is the file that could not be written, `error` an errno value
    // (0 when the reason is unknown).
    WError(const char* path, int error);

    // Opens the notice over the editor that holds `anywhere`; nothing when
    // the control is in no view.
    static void ShowSaveError(XControl* anywhere, const char* path, int error);

    void Draw(XGraphic& graphic) override;
    int Notify(XControl* sender, int code, int value) override;
    using XControl::Notify;

    const char* GetMessage() const { return m_message; }
    const char* GetFolder() const { return m_folder; }
    const char* GetReason() const { return m_reason; }
    XButton* GetOkButton() const { return m_ok; }

private:
    char m_message[kTextSize] = {};
    char m_folder[kTextSize] = {};
    char m_reason[kTextSize] = {};
    XButton* m_ok = nullptr;  // child, owned by the tree
};
