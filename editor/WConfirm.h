// WConfirm: the save-changes question the editor opens modally before a new
// or another performance replaces the current one. "Yes" (also Return)
// closes with 1, "No" with 0, "Cancel" (also Escape) with -1; the result
// reaches the opener's OnModalClosed with the tag it gave. GUI thread.
#pragma once
#include "editor/EditorConst.h"
#include "kiv/gui/XListener.h"
#include "kiv/gui/XView.h"

class XButton;
class XLabel;

class WConfirm : public XView, public XListener {
public:
    static constexpr int kWidth = 401;
    static constexpr int kHeight = 66;

    // The question names the file of `path` (null or empty: "Untitled").
    explicit WConfirm(const char* path);

    void Draw(XGraphic& graphic) override;
    int Notify(XControl* sender, int code, int value) override;
    using XControl::Notify;

    const char* GetQuestion() const { return m_question; }
    XButton* GetYesButton() const { return m_yes; }
    XButton* GetNoButton() const { return m_no; }
    XButton* GetCancelButton() const { return m_cancel; }

    // "Save changes to <name>?" into `out`; a name that does not fit is cut
    // and ends in "...".
    static void FormatQuestion(const char* path, char* out, int size);

private:
    char m_question[editor::kConfirmTextSize] = {};
    XLabel* m_label = nullptr;   // children, owned by the tree
    XButton* m_yes = nullptr;
    XButton* m_no = nullptr;
    XButton* m_cancel = nullptr;
};
