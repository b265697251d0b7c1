#include "editor/WAbout.h"

#include "editor/EditorConst.h"
#include "kiv/gui/XButton.h"
#include "kiv/gui/XWidgetConst.h"

WAbout::WAbout()
{
    SetSize(kWidth, kHeight);
    SetText("About Tessivo");
    SetColour(3, XColour::Make(220, 220, 255));
    SetDialog(true);
    m_link = new XLink(this, 20, -30, 120, 16);
    m_link->SetText(editor::kWebHost);
    m_link->SetListener(this);
}

int WAbout::Notify(XControl* sender, int code, int value)
{
    (void)value;
    if (sender == m_link && code == xwidget::kCodeClick)
        ShellOpen(editor::kProductPage);
    return 0;
}
