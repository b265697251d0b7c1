#include "editor/WConfirm.h"

#include <cstdio>
#include <cstring>

#include "kiv/gui/XButton.h"
#include "kiv/gui/XGraphic.h"
#include "kiv/gui/XLabel.h"
#include "kiv/gui/XWidgetConst.h"

namespace {
constexpr int kButtonW = 80;
constexpr int kButtonH = 22;
constexpr const char* kPrefix = "Save changes to ";
constexpr const char* kEllipsis = "...";

// What follows the last separator; paths saved on Windows use '\\'.
const char* FileNameOf(const char* path)
{
    const char* name = path;
    for (const char* p = path; *p; ++p) {
        if (*p == '\\' || *p == '/')
            name = p + 1;
    }
    return name;
}
}  // namespace

void WConfirm::FormatQuestion(const char* path, char* out, int size)
{
    if (!out || size <= 0)
        return;
    const char* name = path && *path ? FileNameOf(path) : "Untitled";
    // Room for the name: the prefix, "?" and the terminator take the rest.
    int room = size - static_cast<int>(std::strlen(kPrefix)) - 2;
    int length = static_cast<int>(std::strlen(name));
    if (length <= room) {
        std::snprintf(out, size, "%s%s?", kPrefix, name);
        return;
    }
    int keep = room - static_cast<int>(std::strlen(kEllipsis));
    if (keep < 0)
        keep = 0;
    // Never cut inside a UTF-8 sequence.
    while (keep > 0 && (static_cast<unsigned char>(name[keep]) & 0xC0) == 0x80)
        --keep;
    std::snprintf(out, size, "%s%.*s%s?", kPrefix, keep, name, kEllipsis);
}

WConfirm::WConfirm(const char* path)
{
    SetSize(kWidth, kHeight);
    SetColour(3, XColour::Make(255, 255, 255));
    SetColour(0, XColour::Make(250, 250, 250));
    SetDialog(true);
    FormatQuestion(path, m_question, sizeof m_question);

    m_label = new XLabel(this, 10, 10, kWidth - 20, 15);
    m_label->SetColour(2, XColour::Make(20, 20, 20));
    m_label->SetText(m_question);

    m_yes = new XButton(this, -90, -30, kButtonW, kButtonH);
    m_yes->SetText("Yes");
    m_no = new XButton(this, -180, -30, kButtonW, kButtonH);
    m_no->SetText("No");
    m_cancel = new XButton(this, -270, -30, kButtonW, kButtonH);
    m_cancel->SetText("Cancel");
    for (XButton* button : {m_yes, m_no, m_cancel})
        button->SetListener(this);
    SetDefaultButton(m_yes);
    SetCancelButton(m_cancel);
}

int WConfirm::Notify(XControl* sender, int code, int value)
{
    (void)value;
    if (code != xwidget::kCodeMouseUp)
        return 0;
    if (sender == m_yes)
        Close(editor::kResultYes);
    else if (sender == m_no)
        Close(editor::kResultNo);
    else if (sender == m_cancel)
        Close(editor::kResultCancel);
    return 0;
}

void WConfirm::Draw(XGraphic& graphic)
{
    int w = GetWidth(), h = GetHeight();
    graphic.FillRectangleColour(XRectangle(0, 0, w, h), GetColour(3));
    graphic.FillRectangleColour(XRectangle(1, 1, w - 2, h - 2), GetColour(0));
}
