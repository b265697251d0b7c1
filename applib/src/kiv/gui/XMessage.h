// XMessage: the toolkit's notice: a few lines of text over a view and an
// "Ok" button (also Return and Escape) that closes it with 0. It opens as a
// modal child of the innermost dialog of the view that holds a control, so
// no dialog already open is closed by it. GUI thread.
#pragma once
#include <string>
#include <vector>

#include "kiv/gui/XListener.h"
#include "kiv/gui/XView.h"

class XButton;

class XMessage : public XView, public XListener {
public:
    static constexpr int kWidth = 420;
    static constexpr int kLineHeight = 15;

    explicit XMessage(const std::vector<std::string>& lines);

    // Opens the notice over the view that holds `anywhere` (its innermost
    // open dialog); false when the control is in no view.
    static bool Show(XControl* anywhere, const std::vector<std::string>& lines);

    void Draw(XGraphic& graphic) override;
    int Notify(XControl* sender, int code, int value) override;
    using XControl::Notify;

    XButton* GetOkButton() const { return m_ok; }

private:
    XButton* m_ok = nullptr;  // child, owned by the tree
};
