// The utility's window on the headless back end: the folder list and its
// buttons (and the notice when no folder browser can be shown), scans of
// temporary .gig trees into the database with the counts
// shown, stopping, refused folders, the prefs file and damaged prefs files,
// closing during a scan.
// ctest-label: thread
#include "utility/MainApp.h"
#include "utility/MainView.h"

#include "gig/GigFixtures.h"
#include "gui/GuiTestLeaks.h"
#include "kiv/file/Archive.h"
#include "kiv/gui/HeadlessBackend.h"
#include "kiv/gui/XButton.h"
#include "kiv/gui/XGraphic.h"
#include "kiv/gui/XLabel.h"
#include "kiv/gui/XMessage.h"
#include "kiv/gui/XWindow.h"
#include "support/TestSupport.h"
#include "utility/CorvaneWindowConst.h"
#include "utility/UtilityTestSupport.h"
#include "utility/XListPath.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace corvane;
using utiltest::NamedBank;
using utiltest::RowReader;

std::string Text(const char* text) { return text ? text : ""; }

// The folder browser's scripted answer.
class BrowserAnswer {
public:
    explicit BrowserAnswer(const std::string& answer) { setenv("KIV_DIALOG_ANSWER", answer.c_str(), 1); }
    ~BrowserAnswer() { unsetenv("KIV_DIALOG_ANSWER"); }
};

// An archive written by hand: a version, a folder count and some paths.
class PrefsImage : public Archivable {
public:
    PrefsImage(int count, std::vector<std::string> paths) : m_count(count), m_paths(std::move(paths)) {}
    void Archive(ArchiFile* archive) override
    {
        archive->ExchangeVersion(kPrefsVersion, 0, 0);
        archive->ExchangeInt(m_count, kTagFolderCount);
        for (std::string& path : m_paths) {
            kiv::string text(path.c_str());
            archive->ExchangeString(text, kTagFolderPath);
        }
    }

private:
    int m_count;
    std::vector<std::string> m_paths;
};

class CorvaneWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        XBackend::Install(&backend);
        // Every test starts as a first run: no database, no folder list.
        const char* data = getenv("XDG_DATA_HOME");
        ASSERT_NE(data, nullptr);
        m_maker = std::string(data) + "/Quillane/";
        std::error_code ec;
        fs::remove(m_maker + kDatabaseFile, ec);
        fs::remove_all(m_maker + kPrefsFile, ec);
        fs::create_directories(m_maker, ec);
    }
    void TearDown() override
    {
        m_view.reset();
        XBackend::Install(nullptr);
    }

    MainView& OpenView()
    {
        m_view = std::make_unique<MainView>();
        EXPECT_TRUE(m_view->OpenWindow());
        backend.Pump(0);
        backend.Advance(xconst::kTickMs);  // the 'load' event
        Settle(*m_view);                   // the counts, on the scanner's thread
        return *m_view;
    }
    // Ticks the window until the scanner's thread has nothing left to
    // report (60 s at most).
    bool Settle(MainView& view)
    {
        auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (view.IsBusy()) {
            if (std::chrono::steady_clock::now() > until)
                return false;
            backend.Advance(xconst::kTickMs);
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return true;
    }
    HeadlessWindow* Client() { return backend.FindByClass("KivControl"); }
    HeadlessWindow* Frame() { return backend.FindByClass("KivWindow"); }

    void ClickAt(int x, int y)
    {
        backend.MouseDown(Client(), x, y, 0);
        backend.MouseUp(Client(), x, y, 0);
    }
    void Click(XControl* control)
    {
        XRect r = control->GetWindowRect();
        ClickAt((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    }
    void ClickRow(MainView& view, int row)
    {
        XRect r = view.GetList()->GetWindowRect();
        ClickAt(r.left + 20, r.top + xconst::kRowTop + row * xconst::kRowHeight + 8);
    }
    void AddFolder(MainView& view, const std::string& folder)
    {
        BrowserAnswer answer(folder + "\n");
        Click(view.GetAddButton());
        backend.Advance(xconst::kTickMs);  // the browser's answer arrives
        Settle(view);
    }
    // Ticks the window until the scan button reaches the state (60 s at most).
    bool WaitState(MainView& view, int state)
    {
        auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (view.GetScanState() != state) {
            if (std::chrono::steady_clock::now() > until)
                return false;
            backend.Advance(xconst::kTickMs);
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return true;
    }
    // A folder of `files` named banks (in a sub-folder) beside other files.
    std::string Library(const std::string& name, int files)
    {
        std::string root = m_dir.File(name) + "/";
        fs::create_directories(root + "sub");
        for (int i = 0; i < files; ++i)
            EXPECT_TRUE(NamedBank({"Inst " + std::to_string(i)}).Write(root + "sub/b" + std::to_string(i) + ".gig"));
        kivtest::WriteFile(root + "notes.txt", "x", 1);
        return root;
    }
    std::string DatabasePath() const { return m_maker + kDatabaseFile; }
    std::string PrefsPath() const { return m_maker + kPrefsFile; }
    std::string Status(MainView& view) { return Text(view.GetStatus()->GetText()); }
    std::string Caption(MainView& view) { return Text(view.GetScanButton()->GetText()); }

    HeadlessBackend backend;
    kivtest::TempDir m_dir;
    std::string m_maker;
    std::unique_ptr<MainView> m_view;
};

}  // namespace

TEST_F(CorvaneWindow, FirstRunAsksForAFolderAndEnablesTheScanOnlyWhileFoldersAreListed)
{
    MainView& view = OpenView();
    EXPECT_EQ(Frame()->m_title, kWindowTitle);
    EXPECT_EQ(Client()->GetWidth(), kWindowW);
    EXPECT_EQ(Client()->GetHeight(), kWindowH);
    EXPECT_TRUE(fs::exists(DatabasePath()));
    EXPECT_FALSE(fs::exists(PrefsPath()));
    EXPECT_EQ(view.GetList()->GetCount(), 0);
    EXPECT_EQ(Status(view), kTextAddHint);
    EXPECT_FALSE(view.GetScanButton()->IsEnabled());
    EXPECT_EQ(Caption(view), kTextScan);

    // A cancelled browser adds nothing.
    {
        BrowserAnswer cancelled("");
        Click(view.GetAddButton());
        backend.Advance(xconst::kTickMs);
    }
    EXPECT_EQ(view.GetList()->GetCount(), 0);

    // Without a program to show the browser, "+" says what is missing in a
    // notice over the window; Return closes it.
    {
        const std::string path = getenv("PATH") ? getenv("PATH") : "";
        const std::string empty = m_dir.File("no-programs");
        fs::create_directories(empty);
        setenv("PATH", empty.c_str(), 1);
        unsetenv("KIV_DIALOG_ANSWER");
        Click(view.GetAddButton());
        setenv("PATH", path.c_str(), 1);
        backend.Advance(xconst::kTickMs);
        auto* notice = dynamic_cast<XMessage*>(view.GetModalChild());
        ASSERT_NE(notice, nullptr) << "nothing said that no folder browser can be shown";
        auto* line = dynamic_cast<XLabel*>(notice->GetFirstChild());
        ASSERT_NE(line, nullptr);
        EXPECT_EQ(Text(line->GetText()), "No file dialog can be shown: zenity or kdialog is needed.");
        backend.KeyDown(Client(), xconst::kKeyReturn);
        backend.Advance(xconst::kTickMs);
        EXPECT_EQ(view.GetModalChild(), nullptr);
        EXPECT_EQ(view.GetList()->GetCount(), 0);
    }

    std::string a = Library("a", 0), b = Library("b", 0);
    AddFolder(view, a);
    AddFolder(view, b);
    ASSERT_EQ(view.GetList()->GetCount(), 2);
    EXPECT_EQ(Text(view.GetList()->GetPath(0)), a);
    EXPECT_EQ(view.GetList()->GetFileCount(0), 0);
    EXPECT_EQ(view.GetList()->GetPathItem(1)->countText.CStr(), std::string("0"));
    EXPECT_TRUE(view.GetScanButton()->IsEnabled());
    EXPECT_EQ(Status(view), "");

    // "-" without a selected row removes nothing; with one it removes it.
    Click(view.GetRemoveButton());
    EXPECT_EQ(view.GetList()->GetCount(), 2);
    ClickRow(view, 1);
    EXPECT_EQ(view.GetList()->GetSelectedRow(), 1);
    Click(view.GetRemoveButton());
    ASSERT_EQ(view.GetList()->GetCount(), 1);
    EXPECT_EQ(Text(view.GetList()->GetPath(0)), a);
    EXPECT_TRUE(view.GetScanButton()->IsEnabled());

    ClickRow(view, 0);
    Click(view.GetRemoveButton());
    EXPECT_EQ(view.GetList()->GetCount(), 0);
    EXPECT_FALSE(view.GetScanButton()->IsEnabled());
    EXPECT_EQ(Status(view), kTextAddHint);
    // Nothing is saved until a scan begins.
    EXPECT_FALSE(fs::exists(PrefsPath()));
}

TEST_F(CorvaneWindow, ScanFillsTheDatabaseShowsTheCountsAndQuitEndsTheProgram)
{
    std::string fixtures = m_dir.File("fixtures") + "/";
    fs::create_directories(fixtures);
    const int fixtureFiles = static_cast<int>(gigtools::WriteAllFixtures(fixtures).size());
    ASSERT_GT(fixtureFiles, 0);
    std::string banks = Library("banks", 3);

    MainApp app;
    ASSERT_TRUE(app.Init());
    MainView& view = *app.GetView();
    backend.Pump(0);
    backend.Advance(xconst::kTickMs);
    Settle(view);
    AddFolder(view, fixtures);
    AddFolder(view, banks);

    Click(view.GetScanButton());
    EXPECT_EQ(view.GetScanState(), kStateStop);
    EXPECT_EQ(Caption(view), kTextStop);
    EXPECT_FALSE(view.GetAddButton()->IsEnabled());
    EXPECT_FALSE(view.GetRemoveButton()->IsEnabled());
    // The list is saved as the scan begins.
    EXPECT_TRUE(fs::exists(PrefsPath()));
    ASSERT_TRUE(WaitState(view, kStateQuit));

    EXPECT_EQ(Status(view), kTextFinished);
    EXPECT_EQ(Caption(view), kTextQuit);
    EXPECT_EQ(view.GetList()->GetSelectedRow(), -1);
    Settle(view);
    EXPECT_EQ(view.GetList()->GetFileCount(0), fixtureFiles);
    EXPECT_EQ(view.GetList()->GetFileCount(1), 3);
    EXPECT_EQ(view.GetList()->GetPathItem(1)->countText.CStr(), std::string("3"));

    RowReader db;
    ASSERT_TRUE(db.OpenFile(DatabasePath().c_str(), false));
    EXPECT_EQ(db.Value("SELECT COUNT() FROM root;"), "2");
    EXPECT_EQ(db.Value("SELECT COUNT() FROM file;"), std::to_string(fixtureFiles + 3));
    EXPECT_EQ(db.Value("SELECT COUNT() FROM inst WHERE iname = 'Inst 2';"), "1");
    EXPECT_NE(db.Value("SELECT COUNT() FROM inst;"), "0");

    Click(view.GetScanButton());
    EXPECT_FALSE(app.IsQuitRequested());  // the window closes on its next tick
    backend.Advance(xconst::kTickMs);
    EXPECT_TRUE(app.IsQuitRequested());
    EXPECT_EQ(app.GetExitCode(), 0);
    EXPECT_EQ(Frame(), nullptr);

    // The saved list comes back with the database's counts.
    MainView& again = OpenView();
    ASSERT_EQ(again.GetList()->GetCount(), 2);
    EXPECT_EQ(Text(again.GetList()->GetPath(0)), fixtures);
    EXPECT_EQ(Text(again.GetList()->GetPath(1)), banks);
    EXPECT_EQ(again.GetList()->GetFileCount(0), fixtureFiles);
    EXPECT_EQ(again.GetList()->GetFileCount(1), 3);
    EXPECT_TRUE(again.GetScanButton()->IsEnabled());

    // A second scan finds nothing new and keeps the counts.
    Click(again.GetScanButton());
    ASSERT_TRUE(WaitState(again, kStateQuit));
    Settle(again);
    EXPECT_EQ(again.GetList()->GetFileCount(0), fixtureFiles);
    EXPECT_EQ(again.GetList()->GetFileCount(1), 3);
    EXPECT_EQ(db.Value("SELECT COUNT() FROM file;"), std::to_string(fixtureFiles + 3));
}

TEST_F(CorvaneWindow, ListedFoldersShowTheDatabaseCountsAndZeroForOneNeverScanned)
{
    std::string scanned = Library("scanned", 2);
    {
        MainView& view = OpenView();
        AddFolder(view, scanned);
        Click(view.GetScanButton());
        ASSERT_TRUE(WaitState(view, kStateQuit));
        m_view.reset();
    }
    ArchiSave save;
    PrefsImage image(2, {scanned, "/never/scanned/"});
    ASSERT_TRUE(save.SaveFile(&image, kPrefsType, PrefsPath().c_str()));

    MainView& view = OpenView();
    ASSERT_EQ(view.GetList()->GetCount(), 2);
    EXPECT_EQ(view.GetList()->GetFileCount(0), 2);
    EXPECT_EQ(Text(view.GetList()->GetPath(1)), "/never/scanned/");
    EXPECT_EQ(view.GetList()->GetFileCount(1), 0);
    EXPECT_TRUE(view.GetScanButton()->IsEnabled());
    EXPECT_EQ(Status(view), "");
    m_view.reset();

    // Without the list, a folder added again shows what the database holds.
    fs::remove(PrefsPath());
    MainView& fresh = OpenView();
    EXPECT_EQ(fresh.GetList()->GetCount(), 0);
    AddFolder(fresh, scanned);
    EXPECT_EQ(fresh.GetList()->GetFileCount(0), 2);
}

TEST_F(CorvaneWindow, DamagedPrefsFilesLoadCleanlyKeepingTheFoldersReadBeforeTheDamage)
{
    struct Case {
        const char* what;
        std::string bytes;
        int rows;
    };
    auto bytesOf = [](Archivable& root, uint32_t type) {
        kiv::data block;
        EXPECT_TRUE(ArchiSave().SaveMemory(&root, type, block));
        return std::string(reinterpret_cast<const char*>(block.GetBytes()), static_cast<size_t>(block.GetSize()));
    };
    PrefsImage two(2, {"/lib/one/", "/lib/two/"});
    PrefsImage endless(INT_MAX, {"/lib/one/"});
    PrefsImage below(-5, {"/lib/one/"});
    std::string image = bytesOf(two, kPrefsType);

    std::vector<Case> cases = {
        {"empty file", "", 0},
        {"garbage", std::string(300, '\xA7'), 0},
        {"cut inside the second path", image.substr(0, image.find("/lib/two/") + 4), 1},
        {"huge folder count", bytesOf(endless, kPrefsType), 1},
        {"negative folder count", bytesOf(below, kPrefsType), 0},
        {"another archive type", bytesOf(two, fourcc("gigp")), 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(kivtest::WriteFile(PrefsPath(), c.bytes.data(), c.bytes.size()));
        MainView& view = OpenView();
        EXPECT_EQ(view.GetList()->GetCount(), c.rows);
        EXPECT_EQ(view.GetScanButton()->IsEnabled(), c.rows > 0);
        if (c.rows > 0)
            EXPECT_EQ(Text(view.GetList()->GetPath(0)), "/lib/one/");
        else
            EXPECT_EQ(Status(view), kTextAddHint);
        m_view.reset();
    }

    // A folder where the file should be: an empty list, and the save fails
    // without harm.
    fs::remove(PrefsPath());
    fs::create_directories(PrefsPath());
    MainView& view = OpenView();
    EXPECT_EQ(view.GetList()->GetCount(), 0);
    EXPECT_FALSE(view.SavePrefs());
    EXPECT_TRUE(fs::is_directory(PrefsPath()));
}

TEST_F(CorvaneWindow, StopDuringTheFirstOfThreeFoldersEndsTheSequenceAfterThatWalk)
{
    std::string a = Library("a", 20), b = Library("b", 2), c = Library("c", 2);
    MainView& view = OpenView();
    AddFolder(view, a);
    AddFolder(view, b);
    AddFolder(view, c);
    Click(view.GetScanButton());
    EXPECT_EQ(view.GetList()->GetSelectedRow(), 0);
    EXPECT_EQ(Status(view), "Scanning " + a + "...");
    Click(view.GetScanButton());  // Stop, before the walk's 'done' is taken
    EXPECT_EQ(view.GetScanState(), kStateStop);
    ASSERT_TRUE(WaitState(view, kStateQuit));
    // Not "finished": two folders were never scanned.
    EXPECT_EQ(Status(view), kTextStopped);

    ASSERT_TRUE(Settle(view));
    GigaBase& base = view.GetScanner().GetBase();
    EXPECT_GE(base.FindRoot(a.c_str()), 0);
    EXPECT_EQ(base.FindRoot(b.c_str()), -1);
    EXPECT_EQ(base.FindRoot(c.c_str()), -1);
    // The count shown is what the walk wrote before it stopped.
    EXPECT_EQ(view.GetList()->GetFileCount(0), base.CountRootFiles(base.FindRoot(a.c_str())));
}

TEST_F(CorvaneWindow, AFolderThatNoLongerExistsIsPassedOverAndReported)
{
    std::string gone = m_dir.File("gone") + "/";
    std::string banks = Library("banks", 2);
    MainView& view = OpenView();
    AddFolder(view, banks);
    view.GetList()->AddPath(gone.c_str(), 0);
    view.GetList()->AddPath(banks.c_str(), 2);  // listed twice: nothing new the second time
    Click(view.GetScanButton());
    ASSERT_TRUE(WaitState(view, kStateQuit));
    ASSERT_TRUE(Settle(view));
    EXPECT_EQ(Status(view), std::string(kTextFinished) + "; 1 folder could not be scanned");
    EXPECT_EQ(view.GetList()->GetFileCount(0), 2);
    EXPECT_EQ(view.GetList()->GetFileCount(1), 0);
    EXPECT_EQ(view.GetList()->GetFileCount(2), 2);
}

TEST_F(CorvaneWindow, FilesLeftOutBecauseTheDiskIsFullOrTheyCannotBeReadAreReported)
{
    std::string banks = Library("banks", 40);
    std::vector<std::string> names;
    for (int i = 0; i < 20; ++i)
        names.push_back("A long instrument name that fills the database " + std::to_string(i));
    for (int i = 1; i < 40; ++i)
        ASSERT_TRUE(NamedBank(names).Write(banks + "sub/b" + std::to_string(i) + ".gig"));
    // In the folder scanned first, a bank still being copied: shorter than
    // its header says.
    std::string early = Library("early", 2);
    std::string copying = early + "sub/b0.gig";
    std::string bytes = kivtest::ReadFile(copying);
    ASSERT_TRUE(kivtest::WriteFile(copying, bytes.data(), bytes.size() / 2));
    MainView& view = OpenView();
    AddFolder(view, early);
    AddFolder(view, banks);
    // Room for a few files only.
    ASSERT_TRUE(view.GetScanner().GetBase().Exec("PRAGMA max_page_count = 16;"));
    Click(view.GetScanButton());
    ASSERT_TRUE(WaitState(view, kStateQuit));
    ASSERT_TRUE(Settle(view));
    int notStored = view.GetScanner().GetTally().notStored;
    ASSERT_GT(notStored, 0);
    EXPECT_EQ(Status(view), std::string(kTextFinished) + "; " + std::to_string(notStored) +
                                " files not stored (database or disk is full); 1 file unreadable");
    EXPECT_EQ(view.GetList()->GetFileCount(0), 2);
    EXPECT_EQ(view.GetList()->GetFileCount(1), 40 - notStored);
}

TEST_F(CorvaneWindow, NewFilesCountForTheScannedFolderWhateverRowTheUserSelects)
{
    std::string full = Library("full", 4), empty = Library("empty", 0);
    MainView& view = OpenView();
    AddFolder(view, full);
    AddFolder(view, empty);
    Click(view.GetScanButton());
    // The walk's reports are taken on ticks, all after this click.
    ClickRow(view, 1);
    EXPECT_EQ(view.GetList()->GetSelectedRow(), 1);
    ASSERT_TRUE(WaitState(view, kStateQuit));
    ASSERT_TRUE(Settle(view));
    EXPECT_EQ(view.GetList()->GetFileCount(0), 4);
    EXPECT_EQ(view.GetList()->GetFileCount(1), 0);
}

TEST_F(CorvaneWindow, ALockedOrUncreatableDatabaseIsSaidAndNeverHoldsTheWindow)
{
    std::string banks = Library("banks", 2);
    // The longest a window call took: a wait for the database's lock (2 s)
    // would show here.
    int longestMs = 0;
    auto timed = [&](auto step) {
        auto start = std::chrono::steady_clock::now();
        step();
        auto took = std::chrono::steady_clock::now() - start;
        longestMs = std::max(longestMs, static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(took).count()));
    };
    auto tickUntil = [&](MainView& view, int state) {
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (std::chrono::steady_clock::now() < until) {
            timed([&] { backend.Advance(xconst::kTickMs); });
            if (!view.IsBusy() && view.GetScanState() == state)
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return false;
    };
    {
        // Another program writes the database with a rollback journal and
        // holds its lock: nobody else can even read it.
        {
            GigaBase made;
            ASSERT_TRUE(made.OpenAt(DatabasePath().c_str()));
        }
        RowReader holder;
        ASSERT_TRUE(holder.OpenFile(DatabasePath().c_str(), false));
        ASSERT_EQ(holder.Value("PRAGMA journal_mode = DELETE;"), "delete");
        ASSERT_TRUE(holder.Exec("BEGIN EXCLUSIVE;"));
        ASSERT_TRUE(holder.Exec("UPDATE inst SET rating = 0;"));

        m_view = std::make_unique<MainView>();
        MainView& view = *m_view;
        ASSERT_TRUE(view.OpenWindow());
        backend.Pump(0);
        ASSERT_TRUE(tickUntil(view, kStateScan));
        EXPECT_EQ(Status(view), "The database is locked by another program");
        {
            BrowserAnswer answer(banks + "\n");
            timed([&] { Click(view.GetAddButton()); });
        }
        ASSERT_TRUE(tickUntil(view, kStateScan));
        timed([&] { Click(view.GetScanButton()); });
        ASSERT_TRUE(tickUntil(view, kStateScan));
        EXPECT_EQ(Status(view), std::string(kTextScanStopped) + kTextDatabaseLocked);
        // The scan can be started again once the other program lets go.
        EXPECT_EQ(Caption(view), kTextScan);
        EXPECT_TRUE(view.GetAddButton()->IsEnabled());
        EXPECT_TRUE(view.GetRemoveButton()->IsEnabled());
        // A call that waited for the lock lasts the whole busy wait.
        EXPECT_LT(longestMs, kiv::kDbBusyTimeoutMs) << "the window waited for the database";

        ASSERT_TRUE(holder.Exec("COMMIT;"));
        // Answering again, the database takes the problem off the line.
        AddFolder(view, Library("more", 1));
        EXPECT_EQ(Status(view), "");
        Click(view.GetScanButton());
        ASSERT_TRUE(WaitState(view, kStateQuit));
        ASSERT_TRUE(Settle(view));
        EXPECT_EQ(Status(view), kTextFinished);
        EXPECT_EQ(view.GetList()->GetFileCount(0), 2);
        EXPECT_EQ(view.GetList()->GetFileCount(1), 1);
        m_view.reset();
    }
    {
        // The maker folder cannot be made: a file holds its name.
        std::string home = m_dir.File("blocked");
        fs::create_directories(home);
        ASSERT_TRUE(kivtest::WriteFile(home + "/Quillane", "x", 1));
        std::string oldHome = getenv("XDG_DATA_HOME");
        setenv("XDG_DATA_HOME", home.c_str(), 1);
        MainView& view = OpenView();
        std::string database = home + "/Quillane/corvane.db";
        EXPECT_EQ(Status(view), "Cannot create the database " + database);
        AddFolder(view, banks);
        Click(view.GetScanButton());
        EXPECT_TRUE(tickUntil(view, kStateScan));
        EXPECT_EQ(Status(view), std::string(kTextScanStopped) + kTextDatabaseCannotCreate + database);
        m_view.reset();
        setenv("XDG_DATA_HOME", oldHome.c_str(), 1);
    }
}

TEST(XListPath, LongFoldersAreCutInTheirMiddleToFitBesideTheCount)
{
    XGraphic g;
    g.BeginPaint(nullptr, kWindowW, kWindowH);
    const int room = 200;
    const std::string start = "/home/musician/", end = "/Grand Pianos/";
    const std::string cases[] = {
        "/short/",
        start + std::string(300, 'x') + end,
        start + "\xC3\xA9t\xC3\xA9 " + std::string(120, 'a') + "\xE2\x82\xAC" + std::string(120, 'b') + end,
        start + std::string(2000, '\xE9') + end,  // not UTF-8: each byte one character
    };
    for (const std::string& path : cases) {
        std::string shown = XListPath::FitText(g, path, room);
        EXPECT_LE(g.GetTextSize(shown.c_str()).width, room) << path;
        if (g.GetTextSize(path.c_str()).width <= room) {
            EXPECT_EQ(shown, path);
            continue;
        }
        // The folder's start says where it lies, its end which one it is.
        EXPECT_EQ(shown.compare(0, start.size(), start), 0) << shown;
        EXPECT_EQ(shown.substr(shown.size() - end.size()), end) << shown;
        EXPECT_NE(shown.find("..."), std::string::npos) << shown;
        // No character of a UTF-8 path is cut in two.
        if (path.find('\xE9') == std::string::npos) {
            EXPECT_EQ(XGraphic::ToUtf8(shown.c_str()), shown) << shown;
        }
    }
}

TEST(ScanReport, KeepsEveryReportWhenTheWindowsRingIsFull)
{
    XEventQueue queue(4);
    ScanReport report(queue);
    for (int i = 0; i < 500; ++i)
        EXPECT_TRUE(report.PostEvent(XEvent{static_cast<int32_t>(kEventNewFile), 0, 0}));
    EXPECT_TRUE(report.PostEvent(XEvent{static_cast<int32_t>(kEventDone), 0, 0}));
    int files = 0;
    bool done = false;
    report.Take(files, done);
    EXPECT_EQ(files, 500);
    EXPECT_TRUE(done);
    report.Take(files, done);
    EXPECT_EQ(files, 0);
    EXPECT_FALSE(done);
}

TEST_F(CorvaneWindow, ClosingTheWindowDuringAScanStopsItAndEndsTheProgram)
{
    std::string big = Library("big", 40);
    auto app = std::make_unique<MainApp>();
    ASSERT_TRUE(app->Init());
    MainView& view = *app->GetView();
    backend.Pump(0);
    backend.Advance(xconst::kTickMs);
    Settle(view);
    AddFolder(view, big);
    Click(view.GetScanButton());
    backend.RequestClose(Frame());
    EXPECT_TRUE(app->IsQuitRequested());
    // The view goes with the application while its walk may still run.
    app.reset();
    RowReader db;
    ASSERT_TRUE(db.OpenFile(DatabasePath().c_str(), false));
    EXPECT_EQ(db.Value("PRAGMA integrity_check;"), "ok");
    EXPECT_LE(std::stoi(db.Value("SELECT COUNT() FROM root;")), 1);
}
