// XListResult: the hits of a search of the instrument database
// "corvane.db" that the Corvane utility writes. It is at once the list view
// that shows them (file, stars, instrument) and the database connection
// that finds them; the database is opened around each search, path lookup
// and rating and closed again, so the utility can write it in between.
// A click on the stars rates the instrument at once; a double click asks
// the owner (code 0, value 'load') to load it; dragged hits carry 'base'.
//
// Threads: GUI thread only.
#pragma once
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
    int32_t rating = 0;  // 0..5
};

class XListResult : public XListView, public kiv::db {
public:
    XListResult(XControl* parent, int x, int y, int w, int h);
    ~XListResult() override;

    // How the last search ended.
    enum class SearchOutcome { kHits, kNoDatabase, kBusy, kFailed };

    // Clears the list and lists the instruments whose names hold every
    // blank-separated word of the text, each word as it stands ('%' and '_'
    // are characters), at most kMaxHits of them. False when the database
    // could not be searched: GetOutcome says why.
    bool Search(const char* text);
    SearchOutcome GetOutcome() const { return m_outcome; }
    // The number of names the last search matched, the ones listed or not.
    int GetTotalHits() const { return m_totalHits; }
    // The selected hit's full path and position; false without a selection
    // or when its folder is not found.
    bool GetHitPath(kiv::string& path, int& position);

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
    bool OpenDatabase();
    // Why the database could not be searched, from its last failure.
    SearchOutcome Failure();
    void AddHit(const char* const* values);
    // The search text's words as LIKE patterns matching them literally.
    static std::vector<std::string> LikePatterns(const char* text);
    // Run the search's statements with the patterns bound; false on failure.
    bool ListHits(const std::string& sql, const std::vector<std::string>& patterns);
    bool CountHits(const std::string& sql, const std::vector<std::string>& patterns);

    XPic m_goldStar;
    XPic m_blueStar;
    kiv::string m_dbPath;
    int32_t m_rowMode = 0;
    int32_t m_rowCount = 0;
    kiv::string m_text;    // the folder of a path lookup
    kiv::string m_search;  // the statement of the last search
    SearchOutcome m_outcome = SearchOutcome::kHits;
    int m_totalHits = 0;
};
