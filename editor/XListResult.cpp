#include "editor/XListResult.h"

#include <cstdlib>
#include <cstring>
#include <string>

#include "editor/BrowserConst.h"
#include "kiv/file/Dir.h"
#include "kiv/gui/XColour.h"
#include "kiv/gui/XGraphic.h"

using namespace browser;

namespace {

// Texts from the database are the utility's, or anyone's who wrote the
// file: a name is cut to what a row can show, a file name longer than a
// path can be is no file.
constexpr int kMaxShownName = 1023;
constexpr size_t kMaxFileName = 4095;

int ToInt(const char* text) { return text ? std::atoi(text) : 0; }

int Compare(int a, int b) { return a < b ? -1 : (a > b ? 1 : 0); }

int CompareText(const kiv::string& a, const kiv::string& b)
{
    int c = std::strcmp(a.CStr(), b.CStr());
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

}  // namespace

XListResult::XListResult(XControl* parent, int x, int y, int w, int h) : XListView(parent, x, y, w, h)
{
    SetDragKind(kDragBase);
    m_goldStar.Load("stargold16.png");
    m_blueStar.Load("starblue16.png");
}

XListResult::~XListResult() = default;

bool XListResult::OpenDatabase()
{
    if (m_dbPath.IsEmpty()) {
        app::folder folder;
        if (!folder.Open(1, kDbFolder))
            return false;
        const char* path = folder.GetFilePath(kDbFileName, kDbFileExt);
        if (!path || !path[0])
            return false;
        m_dbPath = path;
    }
    // Never created here: a missing database is the utility's to make.
    return OpenFile(m_dbPath.CStr(), false);
}

void XListResult::AppendTerm(const char* word, size_t length, bool first)
{
    std::string text(word, length);
    if (!first)
        m_search.Append(" AND iname LIKE ");
    // A single-quoted literal with its quotes doubled: every character of
    // the word, a double quote included, is matched and none ends the text.
    m_search.Append("'%");
    m_search.Append(kiv::db::Quote(text.c_str()).CStr());
    m_search.Append("%'");
}

bool XListResult::Search(const char* text)
{
    Clear();
    if (!OpenDatabase())
        return false;
    if (!HasTable("path")) {
        Close();
        return false;
    }
    m_rowMode = kRowModeHits;
    m_rowCount = 0;
    m_search = kiv::string(kSearchStatementBytes);
    m_search.Append(
        "SELECT inst.id, path_id, fname, iname, rating, position FROM inst JOIN file ON inst.file_id = file.id "
        "WHERE iname LIKE ");
    const char* word = text ? text : "";
    bool first = true;
    for (const char* c = word;; ++c) {
        if (*c == ' ' || *c == '\0') {
            AppendTerm(word, static_cast<size_t>(c - word), first);
            first = false;
            if (*c == '\0')
                break;
            word = c + 1;
        }
    }
    kiv::string limit;
    limit.Format(" LIMIT %d;", kMaxHits);
    m_search.Append(limit.CStr());
    // A failed statement (too long, or a broken file) lists nothing; its
    // error text stays in the connection object.
    Query("%s", m_search.CStr());
    Close();
    Repaint();
    return true;
}

void XListResult::OnRow(int columns, char** values, char** names)
{
    (void)names;
    if (m_rowMode == kRowModeText) {
        if (columns == 1 && values && values[0])
            m_text = values[0];
        else
            m_text.Clear();
        return;
    }
    if (columns < 6 || !values || m_rowCount >= kMaxHits)
        return;
    const char* fileName = values[2] ? values[2] : "";
    if (std::strlen(fileName) > kMaxFileName)
        return;
    auto* item = new XListResultItem();
    item->id = ToInt(values[0]);
    item->pathId = ToInt(values[1]);
    item->fileName = fileName;
    const char* instName = values[3] ? values[3] : "";
    if (std::strlen(instName) > static_cast<size_t>(kMaxShownName)) {
        std::string cut(instName, kMaxShownName);
        item->instName = cut.c_str();
    } else {
        item->instName = instName;
    }
    int rating = ToInt(values[4]);
    item->rating = rating < 0 ? 0 : (rating > kMaxRating ? kMaxRating : rating);
    item->position = ToInt(values[5]);
    AddItem(item);
    ++m_rowCount;
}

bool XListResult::GetHitPath(kiv::string& path, int& position)
{
    auto* item = static_cast<XListResultItem*>(GetSelected(0));
    if (!item)
        return false;
    // A file name must name a file inside its folder.
    if (item->fileName.IsEmpty() || std::strchr(item->fileName.CStr(), '/'))
        return false;
    if (!OpenDatabase())
        return false;
    m_rowMode = kRowModeText;
    m_text.Clear();
    bool found = Query("SELECT pname FROM path WHERE id = %d;", item->pathId);
    m_rowMode = kRowModeHits;
    Close();
    if (!found || m_text.IsEmpty())
        return false;
    kiv::string full = m_text;
    char last = full.CStr()[full.GetLength() - 1];
    if (last != '/' && last != '\\')
        full.Append("/");
    full.Append(item->fileName.CStr());
    path = full;
    position = item->position;
    return true;
}

int XListResult::StarAt(int x) const
{
    int half = GetWidth() / 2;
    if (x < half + kStarZoneLeft)
        return -1;
    int star = (x - half - kStarFirstLeft + kStarPitch) / kStarPitch;
    return star > kMaxRating ? -1 : star;
}

bool XListResult::OnItemClick(XListItem* item, int x, int y)
{
    (void)y;
    auto* hit = static_cast<XListResultItem*>(item);
    int star = StarAt(x);
    if (!hit || star < 0)
        return false;
    if (star == hit->rating)
        return true;
    int old = hit->rating;
    hit->rating = star;
    bool stored = false;
    if (OpenDatabase()) {
        stored = Exec("UPDATE inst SET rating = %d WHERE id = %d;", star, hit->id);
        Close();
    }
    // Stars that could not be stored are not shown as stored.
    if (!stored)
        hit->rating = old;
    Repaint();
    return true;
}

bool XListResult::OnItemActivated(XListItem* item, int x, int y)
{
    (void)item;
    (void)x;
    (void)y;
    Notify(0, kCodeLoad);
    return true;
}

int XListResult::CompareItems(XListItem* a, XListItem* b, int column)
{
    auto* ha = static_cast<XListResultItem*>(a);
    auto* hb = static_cast<XListResultItem*>(b);
    switch (column) {
    case kColumnFile:
        return CompareText(ha->fileName, hb->fileName);
    case kColumnRating:
        return Compare(ha->rating, hb->rating);
    case kColumnInstrument:
        return CompareText(ha->instName, hb->instName);
    default:
        return 0;
    }
}

void XListResult::DrawItem(XListItem* item, XGraphic& graphic, int y)
{
    auto* hit = static_cast<XListResultItem*>(item);
    int half = GetWidth() / 2;
    graphic.SetTextColour(hit->selected ? XColour::Make(255, 255, 0) : GetColour(2));
    graphic.DrawString(hit->fileName.CStr(), 4, y + 1);
    graphic.DrawString(hit->instName.CStr(), half + 34, y + 1);
    for (int i = 0; i < kMaxRating; ++i) {
        const XPic& star = i < hit->rating ? m_goldStar : m_blueStar;
        if (star.IsLoaded())
            graphic.DrawPic(star, half + kStarPitch * i + kStarFirstLeft, y - 3);
    }
}

void XListResult::DrawItemForDrag(XListItem* item, XGraphic& graphic, int y)
{
    auto* hit = static_cast<XListResultItem*>(item);
    graphic.SetTextColour(GetColour(2));
    graphic.DrawString(hit->instName.CStr(), GetWidth() / 2 + 64, y + 1);
}
