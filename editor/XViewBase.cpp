#include "editor/XViewBase.h"

#include <cctype>
#include <string>

#include "editor/BrowserConst.h"
#include "editor/XListResult.h"
#include "kiv/gui/XButton.h"
#include "kiv/gui/XColour.h"
#include "kiv/gui/XEdit.h"
#include "kiv/gui/XGraphic.h"
#include "kiv/gui/XLabel.h"

using namespace browser;

// --- XColumn ---

XColumn::XColumn(XControl* parent, int x, int y, int w, int h, const char* caption, int direction)
    : XControl(parent, x, y, w, h), m_default(direction < 0 ? -1 : 1)
{
    SetText(caption);
    SetColour(0, XColour::Make(100, 140, 200));
}

void XColumn::SetState(int state)
{
    m_state = state > 0 ? 1 : (state < 0 ? -1 : 0);
    Invalidate();
}

void XColumn::Draw(XGraphic& graphic)
{
    XRectangle face(0, 0, GetWidth(), GetHeight());
    graphic.FillGloss(face, m_state != 0 ? GetColour(0) : XColour::Make(120, 120, 140));
    XColourValue white = XColour::Make(255, 255, 255);
    graphic.SetTextColour(white);
    if (GetText())
        graphic.DrawString(GetText(), 4, 4);
    graphic.SetPen(white);
    if (m_state > 0)
        graphic.DrawArrow(GetWidth() - 12, 10, 0);
    else if (m_state < 0)
        graphic.DrawArrow(GetWidth() - 12, 7, 6);
    graphic.SetPen(GetColour(3));
    graphic.DrawFrame(0, 0, GetWidth(), GetHeight());
}

bool XColumn::OnMouseDown(XMouse& mouse)
{
    (void)mouse;
    SetState(m_state != 0 ? -m_state : m_default);
    Notify(0, m_state);
    return false;
}

// --- XViewBase ---

XViewBase::XViewBase(XControl* parent, int x, int y, int w, int h) : XControl(parent, x, y, w, h)
{
    SetColour(0, XColour::Make(0, 20, 30));

    // The message line ends 186 px short of the view's right edge.
    m_message = new XLabel(this, 6, 4, -180, 16);
    m_message->SetText(kTitle);
    m_message->SetColour(0, GetColour(0));
    m_message->SetColour(2, XColour::Make(240, 230, 200));
    m_message->SetResizeMode(true, false, false, false);
    m_message->SetCutInMiddle(true);  // a database's path is long, the reason at its end

    m_field = new XEdit(this, -178, 4, 120, 16);
    m_field->SetHint(kSearchHint);
    m_field->SetListener(this);
    m_field->SetResizeMode(false, false, true, false);

    m_button = new XButton(this, -55, 4, 50, 16);
    m_button->SetText("Search");
    m_button->SetStyle(1);
    m_button->SetListener(this);
    m_button->SetResizeMode(false, false, true, false);

    m_headers[kColumnFile] = new XColumn(this, 5, 24, 364, 18, "File", 1);
    m_headers[kColumnRating] = new XColumn(this, 370, 24, 89, 18, "Rating", -1);
    m_headers[kColumnInstrument] = new XColumn(this, 460, 24, 399, 18, "Instrument", 1);
    for (XColumn* header : m_headers)
        header->SetListener(this);

    m_list = new XListResult(this, 4, 42, -4, -4);
    m_list->SetColour(0, XColour::Make(50, 60, 80));
    m_list->SetColour(3, XColour::Make(50, 60, 80));
    m_list->SetColour(2, XColour::Make(220, 220, 190));
    m_list->SetListener(this);
}

void XViewBase::Draw(XGraphic& graphic)
{
    graphic.SetBrush(GetColour(0));
    graphic.FillRect(0, 0, GetWidth(), GetHeight());
}

int XViewBase::OnNotify(XControl* sender, int code, int value)
{
    if (sender == m_button) {
        if (code != kCodeButtonUp)
            return 0;
        // Ending an edit reports the commit, which runs the search; an idle
        // field is searched here.
        if (!m_field->EndEdit(true))
            RunSearch(m_field->GetText());
        return 0;
    }
    if (sender == m_field) {
        if (code == 0 && value != 0)
            RunSearch(m_field->GetText());
        return 0;
    }
    for (XColumn* header : m_headers) {
        if (sender == header) {
            SortBy(header);
            return 0;
        }
    }
    if (sender == m_list && value == kCodeNotice) {
        m_message->SetText(m_list->GetNotice().CStr());
        return 0;
    }
    // The list tells only a double click: selection alone loads nothing.
    if (sender == m_list && value == kCodeLoad) {
        kiv::string path;
        int position = 0;
        if (m_list->GetHitPath(path, position)) {
            m_hitPath = path;
            m_hitPosition = position;
            XControl::Notify(0, kCodeLoad);
        }
    }
    return 0;
}

void XViewBase::RunSearch(const char* text)
{
    if (!text || !text[0]) {
        m_message->SetText(kEnterText);
        return;
    }
    if (!m_list->Search(text)) {
        // A file that is there but locked, unreadable or no database is not
        // "no database", and not "0 results" either: the line says what is
        // wrong with it, as the utility's status line does.
        switch (m_list->GetOutcome()) {
        case XListResult::SearchOutcome::kTooManyWords: {
            kiv::string line;
            line.Format(kTooManyWords, kMaxSearchWords);
            m_message->SetText(line.CStr());
            break;
        }
        case XListResult::SearchOutcome::kProblem: {
            std::string line = m_list->GetProblemText();
            if (!line.empty())
                line[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(line[0])));
            m_message->SetText(line.c_str());
            break;
        }
        default:
            m_message->SetText(kNoDatabase);
            break;
        }
        return;
    }
    for (int column = 0; column < 3; ++column) {
        if (m_headers[column]->GetState() != 0)
            m_list->Sort(m_headers[column]->GetState(), column);
    }
    ShowCount(text);
}

void XViewBase::ShowCount(const char* text)
{
    int count = m_list->GetCount();
    int total = m_list->GetTotalHits();
    // A long text is repeated by its start only, cut between characters.
    std::string echo(text);
    if (echo.size() > kEchoBytes) {
        size_t cut = kEchoBytes;
        while (cut > 0 && (static_cast<unsigned char>(echo[cut]) & 0xC0) == 0x80)
            --cut;
        echo = echo.substr(0, cut) + "...";
    }
    kiv::string line;
    if (total > count)
        line.Format("Your search for '%s': showing the first %d of %d results", echo.c_str(), count, total);
    else
        line.Format("Your search for '%s' returned %d result%s", echo.c_str(), count, count == 1 ? "" : "s");
    m_message->SetText(line.CStr());
}

void XViewBase::Poll() { m_list->RetryRatings(); }

void XViewBase::SortBy(XColumn* header)
{
    for (int column = 0; column < 3; ++column) {
        if (m_headers[column] != header) {
            m_headers[column]->SetState(0);
            continue;
        }
        if (header->GetState() != 0)
            m_list->Sort(header->GetState(), column);
    }
}
