// XListResult: the hits of a search of the instrument database
// "corvane.db" that the Corvane utility writes. It is at once the list view
// that shows them (file, stars, instrument) and the database connection
// that finds them; the database is opened around each search, path lookup
// and rating and closed again, so the utility can write it in between.
// A click on the stars rates the instrument: the stars change at once and
// the rating is stored with a short wait for the database's lock; while the
// utility writes, it is tried again on the editor's timer (RetryRatings)
// until it is stored or, after a while, given up, its stars put back and the
// owner told (code 0, value 'rate'; GetNotice says what). A double click
// asks the owner (code 0, value 'load') to load the hit; dragged hits carry
// 'base'. Hits are checked against the database when rated or loaded: one
// the utility has since taken out or changed is neither.
//
// Threads: GUI thread only.
#pragma once
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "kiv/data/String.h"
#include "kiv/db/Db.h"
#include "kiv/gui/XListView.h"
#include "kiv/gui/XPic.h"

class XListResultItem : public XListItem {
public:
    int32_t id = 0;        // inst.id
    int32_t pathId = 0;    // file.path_id
    int32_t position = 0;  // the instrument's place in its file
    kiv::string fileName;
    kiv::string instName;
    bool nameCut = false;  // instName is the start of a longer name
    int32_t rating = 0;    // 0..5
};

class XListResult : public XListView, public kiv::db {
public:
    XListResult(XControl* parent, int x, int y, int w, int h);
    ~XListResult() override;

    // How the last search ended: hits, no database (the file is missing or
    // holds no instruments table), a problem with the file (GetProblemText
    // says what), or too many words.
    enum class SearchOutcome { kHits, kNoDatabase, kProblem, kTooManyWords };

    // Clears the list and lists the instruments whose names hold every
    // blank-separated word of the text, each word as it stands ('%' and '_'
    // are characters; letters A-Z in either case), at most kMaxHits of
    // them. False when the database could not be searched (or the text has
    // more than kMaxSearchWords words): GetOutcome says why.
    bool Search(const char* text);
    SearchOutcome GetOutcome() const { return m_outcome; }
    // What was wrong with the database file the last time it could not be
    // used, in the words the Corvane utility shows (lower case first).
    const std::string& GetProblemText() const { return m_problem; }
    // The number of names the last search matched, the ones listed or not.
    int GetTotalHits() const { return m_totalHits; }
    // The selected hit's full path and position as the database has them
    // now; false without a selection, or when the instrument is no longer
    // listed (GetNotice then says so).
    bool GetHitPath(kiv::string& path, int& position);

    // GUI thread, on the editor's timer: another try for the ratings the
    // database's lock held back. Returns at once when none waits.
    void RetryRatings();
    bool HasPendingRatings() const { return !m_pending.empty(); }
    // What the owner was last told about (a rating not stored, a hit no
    // longer listed or that cannot be loaded).
    const kiv::string& GetNotice() const { return m_notice; }

    bool OnItemClick(XListItem* item, int x, int y) override;
    bool OnItemActivated(XListItem* item, int x, int y) override;
    int CompareItems(XListItem* a, XListItem* b, int column) override;
    void DrawItem(XListItem* item, XGraphic& graphic, int y) override;
    void DrawItemForDrag(XListItem* item, XGraphic& graphic, int y) override;
    void OnSelectionChanged(XListItem* item) override { (void)item; }

    // The database file; resolved at the first search unless set (tests).
    void SetDatabasePath(const char* path) { m_dbPath = path; }
    const kiv::string& GetDatabasePath() const { return m_dbPath; }
    // The last statement built by Search (its words are bound values).
    const kiv::string& GetSearchStatement() const { return m_search; }
    XListResultItem* GetHit(int index) const { return static_cast<XListResultItem*>(GetItem(index)); }

    // The rating a click at x (list coordinates) gives: -1 for an ordinary
    // selection, else 0..5.
    int StarAt(int x) const;

protected:
    void OnRow(int columns, char** values, char** names) override;

private:
    // A rating given and not yet stored.
    struct PendingRating {
        int32_t id;
        int32_t pathId;
        std::string fileName;
        std::string instName;
        bool nameCut;
        int32_t rating;
        int32_t stored;  // the rating the database holds
        std::chrono::steady_clock::time_point since;
    };
    // Tries to store every pending rating, waiting at most waitMs for the
    // lock; what is stored or given up leaves the list. Quiet: nobody is
    // told (the list is going).
    void StoreRatings(int waitMs, bool quiet = false);
    // A rating given up: its stars go back and the owner is told.
    void GiveUp(const PendingRating& rating, const char* why);
    // Opens the database file; false when it is missing (m_missing) or
    // cannot be opened, with the problem kept.
    bool OpenDatabase();
    // Keeps the last failure's problem; kNoDatabase when there was none
    // (the instruments table is missing).
    SearchOutcome Failure();
    // Keeps the last failure's problem, closes the connection, and tells
    // the owner that the instrument cannot be loaded.
    void CannotLoad(const XListResultItem& item);
    void AddHit(const char* const* values);
    // The search text's distinct words, letters A-Z lowered.
    static std::vector<std::string> Words(const char* text);
    // The condition that every word from first to last holds, as a tree of
    // ANDs as shallow as it can be (SQLite limits an expression's depth).
    static std::string AllWords(size_t first, size_t last);
    // Run the search's statements with the words bound; false on failure.
    bool ListHits(const std::string& sql, const std::vector<std::string>& words);
    bool CountHits(const std::string& sql, const std::vector<std::string>& words);

    XPic m_goldStar;
    XPic m_blueStar;
    kiv::string m_dbPath;
    int32_t m_rowMode = 0;
    int32_t m_rowCount = 0;
    kiv::string m_text;    // the folder of a path lookup
    kiv::string m_search;  // the statement of the last search
    SearchOutcome m_outcome = SearchOutcome::kHits;
    std::string m_problem;  // why the database could not be used
    bool m_missing = false;  // the last open found no file
    int m_totalHits = 0;
    std::vector<PendingRating> m_pending;
    kiv::string m_notice;
    bool m_noticeShown = false;  // the line says a rating was not stored
};
