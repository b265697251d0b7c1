#include "kiv/gui/XMessage.h"

#include "kiv/gui/XButton.h"
#include "kiv/gui/XGraphic.h"
#include "kiv/gui/XLabel.h"
#include "kiv/gui/XWidgetConst.h"

namespace {
constexpr int kMargin = 10;
constexpr int kButtonW = 80;
constexpr int kButtonH = 22;
constexpr int kButtonBand = 40;  // below the text: the button and its margin
const XColourValue kFrame = XColour::Make(90, 110, 160);
const XColourValue kFace = XColour::Make(250, 250, 250);
const XColourValue kFirstLine = XColour::Make(20, 30, 90);
const XColourValue kText = XColour::Make(30, 30, 30);
}  // namespace

XMessage::XMessage(const std::vector<std::string>& lines)
{
    const int count = static_cast<int>(lines.size());
    SetSize(kWidth, kMargin + count * (kLineHeight + 2) + kButtonBand);
    SetColour(3, kFrame);
    SetColour(0, kFace);
    SetDialog(true);
    for (int i = 0; i < count; ++i) {
        auto* label = new XLabel(this, kMargin, kMargin + i * (kLineHeight + 2), kWidth - 2 * kMargin, kLineHeight);
        label->SetColour(2, i == 0 ? kFirstLine : kText);
        label->SetText(lines[static_cast<size_t>(i)].c_str());
    }
    m_ok = new XButton(this, -90, -30, kButtonW, kButtonH);
    m_ok->SetText("Ok");
    m_ok->SetListener(this);
    SetDefaultButton(m_ok);
    SetCancelButton(m_ok);
}

bool XMessage::Show(XControl* anywhere, const std::vector<std::string>& lines)
{
    XView* view = nullptr;
    for (XControl* c = anywhere; c && !view; c = c->GetParent())
        view = dynamic_cast<XView*>(c);
    if (!view)
        return false;
    // Over the dialog the user sees: a modal opened below it would close it.
    while (view->GetModalChild())
        view = view->GetModalChild();
    view->OpenModal(new XMessage(lines), 0);
    return true;
}

int XMessage::Notify(XControl* sender, int code, int value)
{
    (void)value;
    if (sender == m_ok && code == xwidget::kCodeMouseUp)
        Close(0);
    return 0;
}

void XMessage::Draw(XGraphic& graphic)
{
    const int w = GetWidth(), h = GetHeight();
    graphic.FillRectangleColour(XRectangle(0, 0, w, h), GetColour(3));
    graphic.FillRectangleColour(XRectangle(2, 2, w - 4, h - 4), GetColour(0));
}
