// WError: the notice the editor opens modally when a file it was asked to
// write could not be written, or one it was asked to open could not be
// read: it names the file, its folder and the reason, so the user knows the
// work is not on disk, or why nothing changed. "Ok" (also Return and
// Escape) closes it with 0. GUI thread.
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

    // `headline` comes before the file's name ("Could not save "), `path`
    // is the file, `reason` says why.
    WError(const char* headline, const char* path, const char* reason);

    // Open the notice over the editor that holds `anywhere`; nothing when
    // the control is in no view. A save's `error` is an errno value (0 when
    // the reason is unknown). A file that could not be read is named by why
    // it does not open ("Not a regular file", "Permission denied"), or, when
    // it opens, by `unreadable` (it is damaged, or something else).
    static void ShowSaveError(XControl* anywhere, const char* path, int error);
    static void ShowOpenError(XControl* anywhere, const char* path, const char* unreadable);

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
