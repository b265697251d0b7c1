#include "editor/WError.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "editor/EditorConst.h"
#include "kiv/file/FileOpen.h"
#include "kiv/gui/XButton.h"
#include "kiv/gui/XGraphic.h"
#include "kiv/gui/XLabel.h"
#include "kiv/gui/XWidgetConst.h"

namespace {
constexpr int kButtonW = 80;
constexpr int kButtonH = 22;
constexpr int kLineH = 15;

// Where the file name starts; paths saved on Windows use '\\'.
const char* FileNameOf(const char* path)
{
    const char* name = path;
    for (const char* p = path; *p; ++p)
        if (*p == '\\' || *p == '/')
            name = p + 1;
    return name;
}

// Copies at most size - 1 bytes, cutting a long text at its start (the end
// of a path says most) and never inside a UTF-8 sequence.
void CopyTail(char* out, int size, const char* prefix, const char* text, int length)
{
    const int room = size - 1 - static_cast<int>(std::strlen(prefix));
    const char* from = text;
    if (length > room) {
        from = text + length - (room - 3);
        while (*from && (static_cast<unsigned char>(*from) & 0xC0) == 0x80)
            ++from;
        std::snprintf(out, size, "%s...%.*s", prefix, static_cast<int>(text + length - from), from);
        return;
    }
    std::snprintf(out, size, "%s%.*s", prefix, length, from);
}

XLabel* Line(XView* view, int y, const char* text, XColourValue colour)
{
    auto* label = new XLabel(view, 10, y, WError::kWidth - 20, kLineH);
    label->SetColour(2, colour);
    label->SetText(text);
    return label;
}
}  // namespace

WError::WError(const char* headline, const char* path, const char* reason)
{
    SetSize(kWidth, kHeight);
    SetColour(3, XColour::Make(200, 60, 60));
    SetColour(0, XColour::Make(250, 250, 250));
    SetDialog(true);

    const char* full = path ? path : "";
    const char* name = FileNameOf(full);
    CopyTail(m_message, sizeof m_message, headline ? headline : "", name, static_cast<int>(std::strlen(name)));
    CopyTail(m_folder, sizeof m_folder, "in ", full, static_cast<int>(name - full));
    std::snprintf(m_reason, sizeof m_reason, "%s", reason ? reason : "");

    Line(this, 8, m_message, XColour::Make(150, 20, 20));
    Line(this, 8 + kLineH + 2, m_folder, XColour::Make(60, 60, 60));
    Line(this, 8 + 2 * (kLineH + 2), m_reason, XColour::Make(20, 20, 20));

    m_ok = new XButton(this, -90, -30, kButtonW, kButtonH);
    m_ok->SetText("Ok");
    m_ok->SetListener(this);
    SetDefaultButton(m_ok);
    SetCancelButton(m_ok);
}

namespace {
void OpenOver(XControl* anywhere, WError* notice, uint32_t tag)
{
    auto* view = anywhere ? dynamic_cast<XView*>(anywhere->GetRoot()) : nullptr;
    if (view)
        view->OpenModal(notice, tag);
    else
        delete notice;
}
}  // namespace

void WError::ShowSaveError(XControl* anywhere, const char* path, int error)
{
    const std::string reason = error ? file::ReasonText(error) : std::string(editor::kUnknownWriteFailure);
    OpenOver(anywhere, new WError(editor::kSaveFailed, path, reason.c_str()), editor::kTagSaveError);
}

void WError::ShowOpenError(XControl* anywhere, const char* path, const char* unreadable)
{
    const int reason = file::WhyNotReadable(path);
    const std::string why = reason ? file::ReasonText(reason) : std::string(unreadable ? unreadable : "");
    OpenOver(anywhere, new WError(editor::kOpenFailed, path, why.c_str()), editor::kTagOpenError);
}

int WError::Notify(XControl* sender, int code, int value)
{
    (void)value;
    if (sender == m_ok && code == xwidget::kCodeMouseUp)
        Close(0);
    return 0;
}

void WError::Draw(XGraphic& graphic)
{
    const int w = GetWidth(), h = GetHeight();
    graphic.FillRectangleColour(XRectangle(0, 0, w, h), GetColour(3));
    graphic.FillRectangleColour(XRectangle(2, 2, w - 4, h - 4), GetColour(0));
}
