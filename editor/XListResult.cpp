#include "editor/XListResult.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "editor/BrowserConst.h"
#include "kiv/file/Dir.h"
#include "kiv/file/FileOpen.h"
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

XListResult::~XListResult()
{
    // The plug-in closes: a rating still waiting gets one last try, with
    // nobody left to tell.
    if (!m_pending.empty())
        StoreRatings(kRatingWaitMs, true);
}

bool XListResult::OpenDatabase()
{
    m_problem.clear();
    m_missing = false;
    if (m_dbPath.IsEmpty()) {
        app::folder folder;
        const char* path = folder.Open(1, kDbFolder) ? folder.GetFilePath(kDbFileName, kDbFileExt) : nullptr;
        if (!path || !path[0]) {
            // No maker folder: nothing can have made the database.
            m_missing = true;
            m_problem = kiv::db::ProblemText(Problem::kCannotOpen,
                                             std::string(kDbFolder) + "/" + kDbFileName + "." + kDbFileExt, "", false);
            return false;
        }
        m_dbPath = path;
    }
    // Never created here: a missing database is the utility's to make. A
    // pipe, device or folder in its place is never handed to SQLite.
    const int reason = file::WhyNotReadable(m_dbPath.CStr());
    if (reason != 0) {
        m_missing = reason == ENOENT;
        m_problem = kiv::db::ProblemText(Problem::kCannotOpen, m_dbPath.CStr(), file::ReasonText(reason), false);
        return false;
    }
    if (!OpenFile(m_dbPath.CStr(), false)) {
        Failure();
        return false;
    }
    // The GUI thread must not hang on the utility's lock.
    SetBusyTimeout(kGuiBusyTimeoutMs);
    return true;
}

XListResult::SearchOutcome XListResult::Failure()
{
    // No error: the table is missing, so nothing made this a database of
    // instruments.
    if (GetErrorCode() == 0)
        return SearchOutcome::kNoDatabase;
    m_problem = kiv::db::ProblemText(GetProblem(), m_dbPath.CStr(), GetError(), false);
    return SearchOutcome::kProblem;
}

bool XListResult::Search(const char* text)
{
    Clear();
    m_totalHits = 0;
    m_outcome = SearchOutcome::kNoDatabase;
    std::vector<std::string> words = Words(text);
    if (words.size() > static_cast<size_t>(kMaxSearchWords)) {
        m_outcome = SearchOutcome::kTooManyWords;
        Repaint();
        return false;
    }
    if (!OpenDatabase()) {
        m_outcome = m_missing ? SearchOutcome::kNoDatabase : SearchOutcome::kProblem;
        Repaint();
        return false;
    }
    if (!HasTable("path")) {
        m_outcome = Failure();
        Close();
        return false;
    }
    // Each word is found where it stands in a name, letters A-Z in either
    // case (as LIKE matched them), however long it is.
    std::string where = " FROM inst JOIN file ON inst.file_id = file.id WHERE " +
                        (words.empty() ? std::string("1") : AllWords(0, words.size()));
    std::string select = "SELECT inst.id, path_id, fname, iname, rating, position" + where + " LIMIT " +
                         std::to_string(kMaxHits) + ";";
    m_search = select.c_str();
    m_rowMode = kRowModeHits;
    m_rowCount = 0;
    bool ok = ListHits(select, words);
    m_totalHits = m_rowCount;
    // A full list may not be all: the count says how many there are.
    if (ok && m_rowCount >= kMaxHits)
        ok = CountHits("SELECT COUNT()" + where + ";", words);
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

std::vector<std::string> XListResult::Words(const char* text)
{
    // Empty words (two blanks in a row) match every name and add nothing.
    std::vector<std::string> words;
    const char* word = text ? text : "";
    for (const char* c = word;; ++c) {
        if (*c != ' ' && *c != '\0')
            continue;
        std::string lowered(word, c);
        for (char& ch : lowered) {
            if (ch >= 'A' && ch <= 'Z')
                ch = static_cast<char>(ch - 'A' + 'a');
        }
        if (!lowered.empty() && std::find(words.begin(), words.end(), lowered) == words.end())
            words.push_back(std::move(lowered));
        if (*c == '\0')
            break;
        word = c + 1;
    }
    return words;
}

std::string XListResult::AllWords(size_t first, size_t last)
{
    // SQLite's lower() lowers A-Z only, as LIKE folded only those.
    if (last - first == 1)
        return "instr(lower(iname), ?" + std::to_string(first + 1) + ") > 0";
    size_t middle = first + (last - first) / 2;
    std::string both = "(";
    both += AllWords(first, middle);
    both += " AND ";
    both += AllWords(middle, last);
    both += ')';
    return both;
}

bool XListResult::ListHits(const std::string& sql, const std::vector<std::string>& words)
{
    kiv::dbquery query;
    if (!query.Prepare(*this, sql.c_str()))
        return false;
    for (size_t i = 0; i < words.size(); ++i)
        query.Bind(static_cast<int>(i + 1), words[i].c_str());
    int step;
    while ((step = query.Step()) == 1) {
        const char* values[6];
        for (int column = 0; column < 6; ++column)
            values[column] = query.ColumnText(column);
        AddHit(values);
    }
    return step == 0;
}

bool XListResult::CountHits(const std::string& sql, const std::vector<std::string>& words)
{
    kiv::dbquery count;
    if (!count.Prepare(*this, sql.c_str()))
        return false;
    for (size_t i = 0; i < words.size(); ++i)
        count.Bind(static_cast<int>(i + 1), words[i].c_str());
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
        item->nameCut = true;
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
    if (!OpenDatabase()) {
        CannotLoad(*item);
        return false;
    }
    // Where the instrument is now: the utility may have read its file again
    // (its place in the file changed) or taken it out since the search.
    kiv::dbquery where;
    std::string sql = "SELECT pname, fname, position FROM inst JOIN file ON inst.file_id = file.id "
                      "JOIN path ON file.path_id = path.id WHERE inst.id = ?1";
    if (!item->nameCut)
        sql += " AND iname = ?2";
    bool found = false;
    std::string folder, fileName;
    if (where.Prepare(*this, (sql + ";").c_str())) {
        where.Bind(1, item->id);
        if (!item->nameCut)
            where.Bind(2, item->instName.CStr());
        found = where.Step() == 1;
        if (found) {
            folder = where.ColumnText(0);
            fileName = where.ColumnText(1);
            position = where.ColumnInt(2);
        }
    }
    where.Finalize();
    if (!found) {
        if (GetErrorCode() != 0) {
            CannotLoad(*item);
            return false;
        }
        Close();
        m_notice.Format("'%s' is no longer in the database: search again", item->instName.CStr());
        Notify(0, kCodeNotice);
        return false;
    }
    Close();
    // A file name must name a file inside its folder.
    if (folder.empty() || fileName.empty() || fileName.find('/') != std::string::npos ||
        fileName.size() > kMaxFileName)
        return false;
    if (folder.back() != '/' && folder.back() != '\\')
        folder += '/';
    path = (folder + fileName).c_str();
    return true;
}

void XListResult::CannotLoad(const XListResultItem& item)
{
    if (IsOpen()) {
        Failure();
        Close();
    }
    m_notice.Format("'%s' cannot be loaded: %s", item.instName.CStr(), m_problem.c_str());
    Notify(0, kCodeNotice);
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
    // A second click before the first was stored replaces it.
    int stored = hit->rating;
    for (auto it = m_pending.begin(); it != m_pending.end(); ++it) {
        if (it->id == hit->id) {
            stored = it->stored;
            m_pending.erase(it);
            break;
        }
    }
    hit->rating = star;
    m_pending.push_back({hit->id, hit->pathId, hit->fileName.CStr(), hit->instName.CStr(), hit->nameCut, star,
                         stored, std::chrono::steady_clock::now()});
    Repaint();
    StoreRatings(kRatingWaitMs);
    return true;
}

void XListResult::RetryRatings()
{
    if (!m_pending.empty())
        StoreRatings(kRatingRetryWaitMs);
}

void XListResult::StoreRatings(int waitMs, bool quiet)
{
    if (!OpenDatabase()) {
        if (quiet)
            return;
        std::vector<PendingRating> lost;
        lost.swap(m_pending);
        for (const PendingRating& rating : lost)
            GiveUp(rating, m_problem.c_str());
        return;
    }
    SetBusyTimeout(waitMs);
    kiv::dbquery update;
    // The row must still be this instrument of this file: the utility may
    // have taken it out since the search, and SQLite may give its id to
    // another instrument.
    bool prepared = update.Prepare(*this, "UPDATE inst SET rating = ?1 WHERE id = ?2 AND file_id IN "
                                          "(SELECT id FROM file WHERE path_id = ?3 AND fname = ?4) "
                                          "AND (?5 OR iname = ?6);");
    auto now = std::chrono::steady_clock::now();
    std::vector<PendingRating> waiting;
    std::vector<std::pair<PendingRating, std::string>> failed;
    for (PendingRating& rating : m_pending) {
        bool ran = false;
        if (prepared) {
            update.Bind(1, rating.rating);
            update.Bind(2, rating.id);
            update.Bind(3, rating.pathId);
            update.Bind(4, rating.fileName.c_str());
            update.Bind(5, rating.nameCut ? 1 : 0);
            update.Bind(6, rating.instName.c_str());
            ran = update.Run();
        }
        if (ran && Changes() == 1) {
            // A line that says an earlier rating was not stored is not left
            // standing as if it were about this one.
            if (m_noticeShown && !quiet) {
                m_noticeShown = false;
                m_notice.Format("The rating of '%s' was stored", rating.instName.c_str());
                Notify(0, kCodeNotice);
            }
            continue;
        }
        if (ran) {
            failed.push_back({rating, "it is no longer in the database: search again"});
        } else if (IsBusyError() && now - rating.since < std::chrono::milliseconds(kRatingRetryMs)) {
            waiting.push_back(rating);  // the lock is held: next tick
        } else {
            Failure();
            failed.push_back({rating, m_problem});
        }
    }
    update.Finalize();
    Close();
    m_pending.swap(waiting);
    if (quiet)
        return;
    for (const auto& [rating, why] : failed)
        GiveUp(rating, why.c_str());
}

void XListResult::GiveUp(const PendingRating& rating, const char* why)
{
    // The stars show what the database holds, in the hit still listed.
    for (int i = 0; i < GetCount(); ++i) {
        XListResultItem* hit = GetHit(i);
        if (hit->id == rating.id && hit->pathId == rating.pathId && hit->rating == rating.rating) {
            hit->rating = rating.stored;
            Repaint();
        }
    }
    m_notice.Format("The rating of '%s' was not stored: %s", rating.instName.c_str(), why);
    m_noticeShown = true;
    Notify(0, kCodeNotice);
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
