// The database search view: words matched together, hostile search texts
// that stay literal and change nothing, the count message, no database, a
// busy or damaged one, searches while the utility scans, header sorting,
// star ratings stored at once, and the path of a hit.
// ctest-label: thread
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "editor/BrowserConst.h"
#include "editor/XListResult.h"
#include "editor/XViewBase.h"
#include "gui/GuiTestLeaks.h"
#include "kiv/gui/XButton.h"
#include "kiv/gui/XEdit.h"
#include "kiv/gui/XInput.h"
#include "kiv/gui/XLabel.h"
#include "support/TestSupport.h"
#include "utility/GigaBase.h"
#include "utility/GigaScan.h"
#include "utility/UtilityTestSupport.h"

namespace {

using namespace browser;

struct Recorder : XListener {
    int Notify(XControl* sender, int code, int value) override
    {
        (void)sender;
        calls.push_back({code, value});
        return 0;
    }
    std::vector<std::pair<int, int>> calls;
};

using utiltest::IntReader;

class DbSearchTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        root.SetSize(900, 400);
        dbPath = dir.File("corvane.db");
        GigaBase base;
        ASSERT_TRUE(base.OpenAt(dbPath.c_str()));
        ASSERT_TRUE(base.UseRoot("/libs/"));
        int path = base.InsertPath("/libs/keys/");
        int other = base.InsertPath("/libs/other");
        int piano = base.InsertFile(path, "Piano.gig");
        int strings = base.InsertFile(other, "Strings.gig");
        base.InsertInstrument(piano, "Grand Piano Soft", 0);
        base.InsertInstrument(piano, "Grand Piano Hard", 1);
        base.InsertInstrument(piano, "Upright Piano", 2);
        base.InsertInstrument(strings, "Violin 12\" mic", 0);
        base.InsertInstrument(strings, "Cello's Bow", 1);
        base.InsertInstrument(strings, "50% Mix", 2);
        view = new XViewBase(&root, 0, 0, 870, 380);
        view->SetListener(&editor);
        view->GetList()->SetDatabasePath(dbPath.c_str());
    }
    std::string Message() { return view->GetMessageLine()->GetText() ? view->GetMessageLine()->GetText() : ""; }
    std::set<std::string> Names()
    {
        std::set<std::string> out;
        for (int i = 0; i < view->GetList()->GetCount(); ++i)
            out.insert(view->GetList()->GetHit(i)->instName.CStr());
        return out;
    }
    std::vector<std::string> Column(int column)
    {
        std::vector<std::string> out;
        for (int i = 0; i < view->GetList()->GetCount(); ++i) {
            XListResultItem* hit = view->GetList()->GetHit(i);
            out.push_back(column == kColumnFile     ? hit->fileName.CStr()
                          : column == kColumnRating ? std::to_string(hit->rating)
                                                    : hit->instName.CStr());
        }
        return out;
    }
    int CountRows(const char* table)
    {
        IntReader reader;
        EXPECT_TRUE(reader.OpenFile(dbPath.c_str(), false));
        reader.Query("SELECT COUNT() FROM %s;", table);
        return reader.values.empty() ? -1 : reader.values[0];
    }
    int StoredRating(int id)
    {
        IntReader reader;
        EXPECT_TRUE(reader.OpenFile(dbPath.c_str(), false));
        reader.Query("SELECT rating FROM inst WHERE id = %d;", id);
        return reader.values.empty() ? -1 : reader.values[0];
    }
    void ClickHeader(int column)
    {
        XMouse m;
        m.SetPress(5, 5, 0);
        view->GetHeader(column)->OnMouseDown(m);
    }

    kivtest::TempDir dir;
    std::string dbPath;
    XControl root;
    XViewBase* view = nullptr;
    Recorder editor;
};

TEST_F(DbSearchTest, EveryWordMustMatchAndTheCountIsReported)
{
    view->RunSearch("piano grand");
    EXPECT_EQ(Names(), (std::set<std::string>{"Grand Piano Soft", "Grand Piano Hard"}));
    EXPECT_EQ(Message(), "Your search for 'piano grand' returned 2 results");

    view->RunSearch("upright");
    EXPECT_EQ(Names(), (std::set<std::string>{"Upright Piano"}));
    EXPECT_EQ(Message(), "Your search for 'upright' returned 1 result");

    view->RunSearch("oboe");
    EXPECT_EQ(view->GetList()->GetCount(), 0);
    EXPECT_EQ(Message(), "Your search for 'oboe' returned 0 results");

    // Two blanks make an empty word, which every name holds.
    view->RunSearch("piano  soft");
    EXPECT_EQ(Names(), (std::set<std::string>{"Grand Piano Soft"}));
}

TEST_F(DbSearchTest, HostileTextsAreMatchedLiterallyAndChangeNothing)
{
    view->RunSearch("12\"");
    EXPECT_EQ(Names(), (std::set<std::string>{"Violin 12\" mic"}));
    view->RunSearch("Cello's");
    EXPECT_EQ(Names(), (std::set<std::string>{"Cello's Bow"}));

    const char* attacks[] = {
        "\"; DROP TABLE inst; --",
        "'; DELETE FROM inst; --",
        "x' OR '1'='1",
        "%' ; UPDATE inst SET rating = 5; --",
        "\\ ' \" ` ;",
        "%n%n%s%s zzz",
    };
    for (const char* text : attacks) {
        view->RunSearch(text);
        EXPECT_EQ(view->GetList()->GetCount(), 0) << text;
        EXPECT_EQ(Message().rfind("Your search for '", 0), 0u) << text;
    }
    // A text longer than any statement lists nothing but still reports.
    view->RunSearch(std::string(3000, '\'').c_str());
    EXPECT_EQ(view->GetList()->GetCount(), 0);
    EXPECT_EQ(Message().rfind("Your search for '", 0), 0u);

    // Texts far beyond what a person types are searched all the same: many
    // words, one word as long as a page, the same word again and again.
    std::string many, same, tooMany;
    for (int i = 0; i < 1200; ++i)
        many.append("w").append(std::to_string(i)).append(" ");
    for (int i = 0; i < 1200; ++i)
        same += "PIANO ";
    for (int i = 0; i <= kMaxSearchWords; ++i)
        tooMany += std::to_string(i) + " ";
    const std::pair<std::string, std::string> large[] = {
        {many, "Your search for '" + many.substr(0, kEchoBytes) + "...' returned 0 results"},
        {std::string(60000, 'x'), "Your search for '" + std::string(kEchoBytes, 'x') + "...' returned 0 results"},
        {same, "Your search for '" + same.substr(0, kEchoBytes) + "...' returned 3 results"},
        {tooMany, "Please search for at most " + std::to_string(kMaxSearchWords) + " different words"},
    };
    for (const auto& [text, message] : large) {
        view->RunSearch(text.c_str());
        EXPECT_EQ(Message(), message) << text.size();
    }
    // A cut between the bytes of one character would show as another.
    view->RunSearch((std::string(kEchoBytes - 1, 'a') + "\xC3\xA9").c_str());
    EXPECT_EQ(Message(), "Your search for '" + std::string(kEchoBytes - 1, 'a') + "...' returned 0 results");

    // Pattern characters of LIKE stand for themselves.
    const std::pair<const char*, std::set<std::string>> literal[] = {
        {"_", {}},
        {"%", {"50% Mix"}},
        {"50%", {"50% Mix"}},
        {"0_", {}},
        {"\\", {}},
        {"% mix", {"50% Mix"}},
        {"piano%", {}},
    };
    for (const auto& [text, names] : literal) {
        view->RunSearch(text);
        EXPECT_EQ(Names(), names) << text;
    }
    EXPECT_EQ(CountRows("inst"), 6);
    EXPECT_EQ(CountRows("file"), 2);
    EXPECT_EQ(CountRows("path"), 2);
    EXPECT_EQ(CountRows("inst WHERE rating <> 0"), 0);
}

TEST_F(DbSearchTest, EmptyTextAndMissingDatabaseAreExplained)
{
    view->RunSearch("");
    EXPECT_EQ(Message(), kEnterText);

    XViewBase other(&root, 0, 0, 870, 380);
    other.RunSearch("piano");
    EXPECT_STREQ(other.GetMessageLine()->GetText(), kNoDatabase);
    // The default place is the maker folder of all users' data, and the
    // search does not create the database there.
    std::string expected = std::string(getenv("XDG_DATA_HOME")) + "/Quillane/corvane.db";
    EXPECT_EQ(std::string(other.GetList()->GetDatabasePath().CStr()), expected);
    struct stat info;
    EXPECT_NE(stat(expected.c_str(), &info), 0);

    // A file with no table "path" is no database either.
    std::string empty = dir.File("empty.db");
    {
        IntReader maker;
        ASSERT_TRUE(maker.OpenFile(empty.c_str(), true));
        ASSERT_TRUE(maker.Exec("CREATE TABLE unrelated (x INTEGER);"));
    }
    other.GetList()->SetDatabasePath(empty.c_str());
    other.RunSearch("piano");
    EXPECT_STREQ(other.GetMessageLine()->GetText(), kNoDatabase);
    // A file that is there but is no database is said to be so.
    std::string junk = dir.File("junk.db");
    ASSERT_TRUE(kivtest::WriteFile(junk, "not a database file at all, just text", 37));
    other.GetList()->SetDatabasePath(junk.c_str());
    other.RunSearch("piano");
    EXPECT_EQ(std::string(other.GetMessageLine()->GetText()), junk + " is not a database");
}

TEST_F(DbSearchTest, AListCutAtTheHitLimitSaysHowManyMatched)
{
    auto addPads = [&](int from, int to) {
        GigaBase base;
        ASSERT_TRUE(base.OpenAt(dbPath.c_str()));
        ASSERT_TRUE(base.Begin());
        for (int i = from; i < to; ++i)
            ASSERT_GE(base.InsertInstrument(1, ("Pad " + std::to_string(i)).c_str(), i), 0);
        ASSERT_TRUE(base.Commit());
    };
    addPads(0, kMaxHits);
    view->RunSearch("pad");
    EXPECT_EQ(view->GetList()->GetCount(), kMaxHits);
    EXPECT_EQ(Message(), "Your search for 'pad' returned " + std::to_string(kMaxHits) + " results");
    addPads(kMaxHits, kMaxHits + 3);
    view->RunSearch("pad");
    EXPECT_EQ(view->GetList()->GetCount(), kMaxHits);
    EXPECT_EQ(Message(), "Your search for 'pad': showing the first " + std::to_string(kMaxHits) + " of " +
                             std::to_string(kMaxHits + 3) + " results");
}

TEST_F(DbSearchTest, ABusyOrDamagedDatabaseIsSaidSoNotShownAsEmpty)
{
    view->RunSearch("piano");
    ASSERT_EQ(view->GetList()->GetCount(), 3);
    {
        // Another program holds the whole file (an older utility writing
        // with a rollback journal).
        IntReader holder;
        ASSERT_TRUE(holder.OpenFile(dbPath.c_str(), false));
        ASSERT_TRUE(holder.Exec("PRAGMA journal_mode = DELETE;"));
        ASSERT_TRUE(holder.Exec("BEGIN EXCLUSIVE;"));
        ASSERT_TRUE(holder.Exec("UPDATE inst SET rating = 0;"));
        view->RunSearch("piano");
        EXPECT_EQ(Message(), "The database is locked by another program");
        EXPECT_EQ(view->GetList()->GetCount(), 0);
        ASSERT_TRUE(holder.Exec("COMMIT;"));
    }
    view->RunSearch("piano");
    EXPECT_EQ(view->GetList()->GetCount(), 3);

    // The instruments' table overwritten by other bytes.
    int page = 0;
    {
        IntReader reader;
        ASSERT_TRUE(reader.OpenFile(dbPath.c_str(), false));
        reader.Query("SELECT rootpage FROM sqlite_master WHERE name = 'inst';");
        ASSERT_EQ(reader.values.size(), 1u);
        page = reader.values[0];
    }
    std::string bytes = kivtest::ReadFile(dbPath);
    ASSERT_GE(bytes.size(), static_cast<size_t>(page) * 4096);
    std::fill(bytes.begin() + (page - 1) * 4096, bytes.begin() + page * 4096, '\x5A');
    ASSERT_TRUE(kivtest::WriteFile(dbPath, bytes.data(), bytes.size()));
    view->RunSearch("piano");
    EXPECT_EQ(Message(), "The database failed: database disk image is malformed");
    EXPECT_EQ(view->GetList()->GetCount(), 0);
}

TEST_F(DbSearchTest, SearchesWhileTheUtilityScansFindWhatIsThere)
{
    kivtest::TempDir tree;
    for (int f = 0; f < 10; ++f) {
        std::filesystem::create_directories(tree.File(kivtest::Numbered("f", f)));
        for (int n = 0; n < 80; ++n)
            ASSERT_TRUE(utiltest::NamedBank({"Scan Lead", "Scan Pad"})
                            .Write(tree.File(kivtest::Numbered("f", f) + kivtest::Numbered("/b", n) + ".gig")));
    }
    struct Done : ScanEventTarget {
        bool PostEvent(const XEvent& event) override
        {
            if (static_cast<uint32_t>(event.kind) == corvane::kEventDone)
                done.store(true, std::memory_order_release);
            return true;
        }
        std::atomic<bool> done{false};
    } events;
    GigaScan scan;
    ASSERT_TRUE(scan.GetBase().OpenAt(dbPath.c_str()));
    ASSERT_TRUE(scan.Start(tree.Path().c_str(), &events));
    int searches = 0, lastSeen = 0;
    while (!events.done.load(std::memory_order_acquire) || searches < 10) {
        view->RunSearch("upright");
        EXPECT_EQ(Message(), "Your search for 'upright' returned 1 result") << searches;
        view->RunSearch("scan lead");
        int seen = view->GetList()->GetCount();
        EXPECT_GE(seen, lastSeen) << searches;
        EXPECT_EQ(Message().rfind("Your search for 'scan lead' returned ", 0), 0u) << Message();
        lastSeen = seen;
        ++searches;
    }
    EXPECT_TRUE(scan.WaitFinished(10000));
    EXPECT_EQ(scan.GetTally().notStored, 0);
    view->RunSearch("scan lead");
    EXPECT_EQ(view->GetList()->GetCount(), 800);
}

TEST_F(DbSearchTest, FieldCommitAndButtonSearchOnce)
{
    XEdit* field = view->GetField();
    field->BeginEdit();
    for (const char* c = "violin"; *c; ++c)
        field->InsertChar(*c);
    // The button ends the edit; the commit runs the one search.
    view->OnNotify(view->GetSearchButton(), kCodeButtonUp, 1);
    EXPECT_FALSE(field->IsEditing());
    EXPECT_EQ(Message(), "Your search for 'violin' returned 1 result");
    view->GetList()->Clear();
    view->OnNotify(view->GetSearchButton(), kCodeButtonUp, 1);
    EXPECT_EQ(view->GetList()->GetCount(), 1);
    // A cancelled edit searches nothing.
    view->GetList()->Clear();
    view->OnNotify(field, 0, 0);
    EXPECT_EQ(view->GetList()->GetCount(), 0);
}

TEST_F(DbSearchTest, HeadersCycleTheirDirectionAndClearTheOthers)
{
    ClickHeader(kColumnFile);
    EXPECT_EQ(view->GetHeader(kColumnFile)->GetState(), 1);
    ClickHeader(kColumnFile);
    EXPECT_EQ(view->GetHeader(kColumnFile)->GetState(), -1);
    ClickHeader(kColumnFile);
    EXPECT_EQ(view->GetHeader(kColumnFile)->GetState(), 1);

    ClickHeader(kColumnRating);
    EXPECT_EQ(view->GetHeader(kColumnRating)->GetState(), -1);
    EXPECT_EQ(view->GetHeader(kColumnFile)->GetState(), 0);
    ClickHeader(kColumnRating);
    EXPECT_EQ(view->GetHeader(kColumnRating)->GetState(), 1);
    ClickHeader(kColumnRating);
    EXPECT_EQ(view->GetHeader(kColumnRating)->GetState(), -1);

    ClickHeader(kColumnInstrument);
    EXPECT_EQ(view->GetHeader(kColumnRating)->GetState(), 0);
    view->RunSearch("i");
    EXPECT_EQ(Column(kColumnInstrument),
              (std::vector<std::string>{"50% Mix", "Grand Piano Hard", "Grand Piano Soft", "Upright Piano",
                                        "Violin 12\" mic"}));
    ClickHeader(kColumnInstrument);
    EXPECT_EQ(Column(kColumnInstrument).front(), "Violin 12\" mic");
    ClickHeader(kColumnFile);
    EXPECT_EQ(Column(kColumnFile),
              (std::vector<std::string>{"Piano.gig", "Piano.gig", "Piano.gig", "Strings.gig", "Strings.gig"}));
}

TEST_F(DbSearchTest, StarClicksRateAtOnceAndLeftOfTheStarsSelects)
{
    view->RunSearch("upright");
    XListResult* list = view->GetList();
    ASSERT_EQ(list->GetCount(), 1);
    XListResultItem* hit = list->GetHit(0);
    int half = list->GetWidth() / 2;
    int y = 4 + 9;

    EXPECT_EQ(list->StarAt(half - 67), -1);
    EXPECT_EQ(list->StarAt(half - 66), 0);
    EXPECT_EQ(list->StarAt(half - 61), 0);
    EXPECT_EQ(list->StarAt(half - 60), 1);
    EXPECT_EQ(list->StarAt(half + 18 * 4 - 60), 5);
    EXPECT_EQ(list->StarAt(half + 18 * 5 - 60), -1);

    EXPECT_TRUE(list->OnItemClick(hit, half + 18 * 2 - 60 + 3, y));  // third star
    EXPECT_EQ(hit->rating, 3);
    EXPECT_EQ(StoredRating(hit->id), 3);
    EXPECT_TRUE(list->OnItemClick(hit, half + 18 * 2 - 60 + 3, y));  // the same: taken, nothing changes
    EXPECT_EQ(StoredRating(hit->id), 3);
    EXPECT_TRUE(list->OnItemClick(hit, half - 64, y));  // just left of the first star
    EXPECT_EQ(hit->rating, 0);
    EXPECT_EQ(StoredRating(hit->id), 0);
    EXPECT_FALSE(list->OnItemClick(hit, 10, y));  // on the file name: a selection

    // A rating that cannot be stored is not shown.
    std::string moved = dir.File("moved.db");
    ASSERT_EQ(rename(dbPath.c_str(), moved.c_str()), 0);
    EXPECT_TRUE(list->OnItemClick(hit, half + 18 * 4 - 60 + 1, y));
    EXPECT_EQ(hit->rating, 0);

    EXPECT_EQ(Message(), "The rating of 'Upright Piano' was not stored: cannot open the database " + dbPath +
                             ": No such file or directory");

    // A new search shows the stored ratings.
    ASSERT_EQ(rename(moved.c_str(), dbPath.c_str()), 0);
    list->OnItemClick(hit, half + 18 * 4 - 60 + 1, y);
    EXPECT_EQ(Message(), "The rating of 'Upright Piano' was stored");
    view->RunSearch("piano");
    for (int i = 0; i < list->GetCount(); ++i)
        EXPECT_EQ(list->GetHit(i)->rating, std::string(list->GetHit(i)->instName.CStr()) == "Upright Piano" ? 5 : 0);
}

TEST_F(DbSearchTest, ARatingTheLockHoldsBackIsStoredOnALaterTickAndAGoneHitIsSaidSo)
{
    view->RunSearch("grand");
    XListResult* list = view->GetList();
    ASSERT_EQ(list->GetCount(), 2);
    const int y = 4 + 9, third = list->GetWidth() / 2 + 18 * 2 - 60 + 3;
    XListResultItem* hit = list->GetHit(0);
    const int id = hit->id;
    {
        // The utility writes a batch: the click shows the stars and waits
        // briefly, the rating then waits for the ticks.
        IntReader writer;
        ASSERT_TRUE(writer.OpenFile(dbPath.c_str(), false));
        ASSERT_TRUE(writer.Exec("BEGIN IMMEDIATE;"));
        EXPECT_TRUE(list->OnItemClick(hit, third, y));
        EXPECT_EQ(hit->rating, 3);
        EXPECT_TRUE(list->HasPendingRatings());
        view->Poll();
        EXPECT_TRUE(list->HasPendingRatings());
        ASSERT_TRUE(writer.Exec("COMMIT;"));
    }
    EXPECT_EQ(StoredRating(id), 0);
    view->Poll();
    EXPECT_FALSE(list->HasPendingRatings());
    EXPECT_EQ(StoredRating(id), 3);
    EXPECT_EQ(hit->rating, 3);

    // The utility took the instrument out, and SQLite gave its id to
    // another: the rating goes to neither, and the user is told.
    XListResultItem* other = list->GetHit(1);
    {
        IntReader writer;
        ASSERT_TRUE(writer.OpenFile(dbPath.c_str(), false));
        ASSERT_TRUE(writer.Exec("UPDATE inst SET iname = 'Harpsichord' WHERE id = %d;", other->id));
    }
    EXPECT_TRUE(list->OnItemClick(other, third, y));
    EXPECT_EQ(other->rating, 0);
    EXPECT_FALSE(list->HasPendingRatings());
    EXPECT_EQ(StoredRating(other->id), 0);
    EXPECT_EQ(Message(), std::string("The rating of '") + other->instName.CStr() +
                             "' was not stored: it is no longer in the database: search again");
    list->Select(1);
    list->OnDoubleClick(10, 4 + 16 + 9);
    EXPECT_TRUE(editor.calls.empty()) << "a hit no longer listed loads nothing";
    EXPECT_EQ(Message(), std::string("'") + other->instName.CStr() + "' is no longer in the database: search again");
}

TEST_F(DbSearchTest, DoubleClickGivesTheHitPathAndAsksToLoad)
{
    view->RunSearch("hard");
    XListResult* list = view->GetList();
    ASSERT_EQ(list->GetCount(), 1);
    kiv::string path;
    int position = -1;
    EXPECT_FALSE(list->GetHitPath(path, position));  // nothing selected

    list->Select(0);
    list->OnDoubleClick(10, 4 + 9);
    ASSERT_EQ(editor.calls.size(), 1u);
    EXPECT_EQ(editor.calls[0], std::make_pair(0, kCodeLoad));
    EXPECT_STREQ(view->GetHitPath().CStr(), "/libs/keys/Piano.gig");
    EXPECT_EQ(view->GetHitPosition(), 1);

    // A folder stored without its separator still gives a usable path.
    view->RunSearch("mix");
    list->Select(0);
    ASSERT_TRUE(list->GetHitPath(path, position));
    EXPECT_STREQ(path.CStr(), "/libs/other/Strings.gig");
    EXPECT_EQ(position, 2);

    // The utility read the file again and the instrument moved: the load
    // takes its place now.
    {
        IntReader writer;
        ASSERT_TRUE(writer.OpenFile(dbPath.c_str(), false));
        ASSERT_TRUE(writer.Exec("UPDATE inst SET position = 7 WHERE iname = '50%% Mix';"));
    }
    ASSERT_TRUE(list->GetHitPath(path, position));
    EXPECT_EQ(position, 7);

    // A hit whose folder row is gone loads nothing.
    {
        IntReader writer;
        ASSERT_TRUE(writer.OpenFile(dbPath.c_str(), false));
        ASSERT_TRUE(writer.Exec("DELETE FROM path;"));
    }
    editor.calls.clear();
    list->OnDoubleClick(10, 4 + 9);
    EXPECT_TRUE(editor.calls.empty());
}

}  // namespace
