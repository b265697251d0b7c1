#include "editor/XListResult.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

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
    if (!OpenFile(m_dbPath.CStr(), false))
        return false;
    // The GUI thread must not hang on the utility's lock.
    SetBusyTimeout(kGuiBusyTimeoutMs);
    return true;
}

XListResult::SearchOutcome XListResult::Failure()
{
    if (IsBusyError())
        return SearchOutcome::kBusy;
    // No error: the table is missing. A file that is no database is none.
    if (GetErrorCode() == 0 || IsNotDatabaseError())
        return SearchOutcome::kNoDatabase;
    return SearchOutcome::kFailed;
}

bool XListResult::Search(const char* text)
{
    Clear();
    m_totalHits = 0;
    m_outcome = SearchOutcome::kNoDatabase;
    if (!OpenDatabase())
        return false;
    if (!HasTable("path")) {
        m_outcome = Failure();
        Close();
        return false;
    }
    std::vector<std::string> patterns = LikePatterns(text);
    std::string where = " FROM inst JOIN file ON inst.file_id = file.id WHERE";
    for (size_t i = 0; i < patterns.size(); ++i)
        where += std::string(i ? " AND" : "") + " iname LIKE ?" + std::to_string(i + 1) + " ESCAPE '\\'";
    std::string select = "SELECT inst.id, path_id, fname, iname, rating, position" + where + " LIMIT " +
                         std::to_string(kMaxHits) + ";";
    m_search = select.c_str();
    m_rowMode = kRowModeHits;
    m_rowCount = 0;
    bool ok = ListHits(select, patterns);
    m_totalHits = m_rowCount;
    // A full list may not be all: the count says how many there are.
    if (ok && m_rowCount >= kMaxHits)
        ok = CountHits("SELECT COUNT()" + where + ";", patterns);
    if (!ok) {
        // Half a list would read as the whole answer.
        m_outcome = Failure();
        Clear();
        m_rowCount = m_totalHits = 0;
    } else {
        m_outcome = SearchOutcome::kHits;
    }
    Close();
    Repaint();
    return ok;
}

std::vector<std::string> XListResult::LikePatterns(const char* text)
{
    // Each distinct word is one pattern, its '%', '_' and the escape
    // character itself escaped so the word is matched as it stands. Empty
    // words (two blanks in a row) match every name and add nothing.
    std::vector<std::string> patterns;
    const char* word = text ? text : "";
    for (const char* c = word;; ++c) {
        if (*c != ' ' && *c != '\0')
            continue;
        std::string pattern = "%";
        for (const char* w = word; w < c; ++w) {
            if (*w == '%' || *w == '_' || *w == '\\')
                pattern += '\\';
            pattern += *w;
        }
        pattern += '%';
        if (c > word && std::find(patterns.begin(), patterns.end(), pattern) == patterns.end())
            patterns.push_back(pattern);
        if (*c == '\0')
            break;
        word = c + 1;
    }
    if (patterns.empty())
        patterns.push_back("%");
    return patterns;
}

bool XListResult::ListHits(const std::string& sql, const std::vector<std::string>& patterns)
{
    kiv::dbquery query;
    if (!query.Prepare(*this, sql.c_str()))
        return false;
    for (size_t i = 0; i < patterns.size(); ++i)
        query.Bind(static_cast<int>(i + 1), patterns[i].c_str());
    int step;
    while ((step = query.Step()) == 1) {
        const char* values[6];
        for (int column = 0; column < 6; ++column)
            values[column] = query.ColumnText(column);
        AddHit(values);
    }
    return step == 0;
}

bool XListResult::CountHits(const std::string& sql, const std::vector<std::string>& patterns)
{
    kiv::dbquery count;
    if (!count.Prepare(*this, sql.c_str()))
        return false;
    for (size_t i = 0; i < patterns.size(); ++i)
        count.Bind(static_cast<int>(i + 1), patterns[i].c_str());
    if (count.Step() != 1)
        return false;
    m_totalHits = count.ColumnInt(0);
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
    if (columns >= 6 && values)
        AddHit(values);
}

void XListResult::AddHit(const char* const* values)
{
    if (m_rowCount >= kMaxHits)
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
