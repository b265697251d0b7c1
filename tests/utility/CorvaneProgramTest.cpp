// The corvane program on a private Xvfb server started by the test (skipped
// when Xvfb or the program is missing): it opens its window, closes cleanly
// when asked, and scans a folder chosen through its + button when driven by
// xdotool, ending with exit code 0 on Quit. Rescans of a library that changed
// on disk (files renamed, a listed link pointed elsewhere) are checked in the
// database; the window is read off the screen and written as PNGs.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "kiv/db/DbLimits.h"
#include "support/TestSupport.h"
#include "support/XvfbServer.h"
#include "support/xtest/XTestInput.h"
#include "utility/CorvaneLimits.h"
#include "utility/CorvaneWindowConst.h"
#include "utility/UtilityTestSupport.h"

namespace {

namespace fs = std::filesystem;
using namespace corvane;
using kivtest::HaveProgram;
using kivtest::RunCommand;
using kivtest::Spawn;
using kivtest::WaitExit;
using kivtest::WaitFor;

class CorvaneProgram : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_server = new kivtest::XvfbServer("800x600x24");
        s_server->Start();
    }
    static void TearDownTestSuite()
    {
        delete s_server;
        s_server = nullptr;
    }
    void SetUp() override
    {
        const char* build = getenv("KIV_TEST_BINARY_DIR");
        m_program = std::string(build ? build : ".") + "/utility/corvane";
        if (!fs::exists(m_program))
            GTEST_SKIP() << "the corvane program is not built";
        if (!s_server->Running())
            GTEST_SKIP() << s_server->SkipReason();
        m_maker = std::string(getenv("XDG_DATA_HOME")) + "/Quillane/";
        std::error_code ec;
        fs::remove(m_maker + kDatabaseFile, ec);
        fs::remove(m_maker + kPrefsFile, ec);
        // A sanitized program reports the font caches that fontconfig and
        // cairo keep for the life of the process (see gui/GuiTestLeaks.h).
        std::string suppressions = m_dir.File("lsan.supp");
        const char kLeaks[] = "leak:libfontconfig.so\nleak:libcairo.so\nleak:libexpat.so\n";
        kivtest::WriteFile(suppressions, kLeaks, sizeof kLeaks - 1);
        setenv("LSAN_OPTIONS", ("suppressions=" + suppressions).c_str(), 1);
    }
    void TearDown() override
    {
        EndProgram();
        unsetenv("CORVANE_CLOSE_AFTER_MS");
        unsetenv("KIV_DIALOG_ANSWER");
        unsetenv("LSAN_OPTIONS");
    }
    // The program's client window, once it is on the server.
    std::string FindWindow()
    {
        std::string id;
        WaitFor(10000, [&] {
            std::string out = RunCommand("xdotool search --class KivControl 2>/dev/null");
            id = out.substr(0, out.find('\n'));
            return !id.empty();
        });
        return id;
    }
    void ClickAt(const std::string& window, int x, int y)
    {
        RunCommand("xdotool mousemove --window " + window + " " + std::to_string(x) + " " + std::to_string(y) +
                   " click 1");
    }

    // Button centres, relative to the client window.
    static constexpr int kButtonCY = kWindowH + kButtonY + kButtonH / 2;
    static constexpr int kScanCX = kWindowW + kScanX + kScanW / 2;
    static constexpr int kAddCX = kMargin + kSmallButtonW / 2;

    // Starts the program with the folder its + dialog answers (none: "");
    // its client window, or "" (the program is then ended).
    std::string Launch(const std::string& answer)
    {
        if (!answer.empty())
            setenv("KIV_DIALOG_ANSWER", (answer + "\n").c_str(), 1);
        m_pid = Spawn({m_program});
        unsetenv("KIV_DIALOG_ANSWER");
        std::string window = m_pid ? FindWindow() : "";
        if (window.empty())
            EndProgram();
        else
            WaitReady(window);
        return window;
    }
    // Its first tick reads the list: then the list shows its folders or the
    // line below it says how to add one. A press before that finds the scan
    // button disabled.
    void WaitReady(const std::string& window)
    {
        WaitFor(kivtest::kPatientMs, [&] { return RowsShown(window) > 0 || ShowsText(StatusLine(window), kStatusGround); });
    }
    // "+": its dialog answers at once, and the folder shows as a new row.
    void Add(const std::string& window)
    {
        const int rows = RowsShown(window);
        ClickAt(window, kAddCX, kButtonCY);
        WaitFor(kivtest::kPatientMs, [&] { return RowsShown(window) > rows; });
    }
    // Whether a strip of the screen shows text on the given ground (or a
    // selected row's): what lay there before the window was painted (its
    // background is none) shows neither.
    static bool ShowsText(const std::vector<uint32_t>& pixels, uint32_t ground)
    {
        bool onGround = false, text = false;
        for (uint32_t p : pixels)
            (p == ground || p == 0x003CA0 ? onGround : text) = true;
        return onGround && text;
    }
    std::vector<uint32_t> StatusLine(const std::string& window)
    {
        std::vector<uint32_t> pixels;
        int x, y;
        if (m_screen.Usable() && Origin(window, x, y))
            kivtest::ReadScreen(m_screen.Dpy(), x + kMargin + 2, y + kWindowH + kStatusY + 2, kWindowW - 2 * kMargin - 4,
                                kStatusH - 4, pixels);
        return pixels;
    }
    // The folder rows from the top of the list that show a path.
    int RowsShown(const std::string& window)
    {
        int x, y;
        if (!m_screen.Usable() || !Origin(window, x, y))
            return 0;
        const int w = kWindowW - 2 * kMargin - kCountColumn;
        int rows = 0;
        std::vector<uint32_t> pixels;
        while (rows < 8 &&
               kivtest::ReadScreen(m_screen.Dpy(), x + kMargin + 2, y + kMargin + kHeaderH + rows * kPathRowH + 2, w - 4,
                                   kPathRowH - 4, pixels) &&
               ShowsText(pixels, kListGround))
            ++rows;
        return rows;
    }
    // Presses the scan button (Quit once the sequence has ended) until the
    // program ends; its exit code, or -1 (it is then killed). A press that
    // came while the sequence was still ending stops it: the next quits.
    int Quit(const std::string& window)
    {
        for (int press = 0; press < 3 && m_pid; ++press) {
            ClickAt(window, kScanCX, kButtonCY);
            int status = 0;
            if (WaitFor(8000, [&] { return waitpid(m_pid, &status, WNOHANG) == m_pid; })) {
                m_pid = 0;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
        }
        EndProgram();
        return -1;
    }
    void EndProgram()
    {
        if (!m_pid)
            return;
        kill(m_pid, SIGKILL);
        waitpid(m_pid, nullptr, 0);
        m_pid = 0;
    }
    // One scan of the listed folders (the + dialog adding `add` first when
    // given): waits until the database shows `done`, then quits.
    bool ScanUntil(const std::string& add, const std::function<bool()>& done)
    {
        std::string window = Launch(add);
        if (window.empty())
            return false;
        if (!add.empty())
            Add(window);
        ClickAt(window, kScanCX, kButtonCY);
        bool ok = WaitFor(30000, done);
        EXPECT_EQ(Quit(window), 0);
        return ok;
    }
    std::string Db(const char* statement)
    {
        utiltest::RowReader db;
        if (!db.OpenFile((m_maker + kDatabaseFile).c_str(), false))
            return "(no database)";
        return db.Value(statement);
    }
    // The client window's place on the screen.
    bool Origin(const std::string& window, int& x, int& y)
    {
        std::istringstream out(RunCommand("xdotool getwindowgeometry --shell " + window));
        std::string line;
        x = y = -1;
        while (std::getline(out, line)) {
            if (line.rfind("X=", 0) == 0)
                x = std::stoi(line.substr(2));
            else if (line.rfind("Y=", 0) == 0)
                y = std::stoi(line.substr(2));
        }
        return x >= 0 && y >= 0;
    }
    // The client window written to <build>/corvane-screens/<name>.png.
    void Screenshot(const std::string& window, kivtest::XTestInput& screen, const std::string& name)
    {
        int x, y;
        ASSERT_TRUE(Origin(window, x, y));
        const char* build = getenv("KIV_TEST_BINARY_DIR");
        std::string folder = std::string(build ? build : ".") + "/corvane-screens";
        fs::create_directories(folder);
        EXPECT_TRUE(kivtest::WriteScreenPng(screen.Dpy(), x, y, kWindowW, kWindowH, folder + "/" + name + ".png"));
    }

    static constexpr uint32_t kStatusGround = 0x1E1E1E, kListGround = 0x191E28;
    static kivtest::XvfbServer* s_server;
    kivtest::XTestInput m_screen;
    pid_t m_pid = 0;
    std::string m_program;
    std::string m_maker;
    kivtest::TempDir m_dir;
};
kivtest::XvfbServer* CorvaneProgram::s_server = nullptr;

}  // namespace

TEST_F(CorvaneProgram, OpensItsDatabaseAndExitsCleanlyWhenItsWindowCloses)
{
    setenv("CORVANE_CLOSE_AFTER_MS", "500", 1);
    pid_t pid = Spawn({m_program});
    ASSERT_NE(pid, 0);
    EXPECT_EQ(WaitExit(pid, kivtest::kPatientMs), 0);
    EXPECT_TRUE(fs::exists(m_maker + kDatabaseFile));
    // No scan began, so no folder list was written.
    EXPECT_FALSE(fs::exists(m_maker + kPrefsFile));
}

TEST_F(CorvaneProgram, ScansAFolderAddedWithThePlusButtonAndQuits)
{
    if (!HaveProgram("xdotool"))
        GTEST_SKIP() << "xdotool is not installed";
    std::string library = m_dir.File("library") + "/";
    fs::create_directories(library + "sub");
    ASSERT_TRUE(utiltest::NamedBank({"Grand", "Upright"}).Write(library + "Pianos.gig"));
    ASSERT_TRUE(utiltest::NamedBank({"Kit"}).Write(library + "sub/Drums.GIG"));
    setenv("KIV_DIALOG_ANSWER", (library + "\n").c_str(), 1);

    pid_t pid = Spawn({m_program});
    ASSERT_NE(pid, 0);
    std::string window = FindWindow();
    if (window.empty()) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        FAIL() << "the window did not appear";
    }
    // Button centres: "+" at (10, h - 30), the scan button at (w - 140, h - 30).
    const int buttonY = kWindowH + kButtonY + kButtonH / 2;
    const int scanX = kWindowW + kScanX + kScanW / 2;
    WaitReady(window);
    Add(window);
    ClickAt(window, scanX, buttonY);

    utiltest::RowReader db;
    ASSERT_TRUE(WaitFor(20000, [&] { return fs::exists(m_maker + kPrefsFile); }));
    ASSERT_TRUE(db.OpenFile((m_maker + kDatabaseFile).c_str(), false));
    EXPECT_TRUE(WaitFor(20000, [&] { return db.Value("SELECT COUNT() FROM inst;") == "3"; }));
    EXPECT_EQ(db.Value("SELECT COUNT() FROM file;"), "2");
    EXPECT_EQ(db.Value("SELECT rname FROM root;"), library);

    // The finished scan turns the button into Quit.
    m_pid = pid;
    EXPECT_EQ(Quit(window), 0);
}

namespace {

// Every file gets the same modification time, as files unpacked from one
// archive or copied with "cp -p" do.
void SameTime(const std::vector<std::string>& paths)
{
    const timespec when[2] = {{1600000000, 0}, {1600000000, 0}};
    for (const std::string& path : paths)
        EXPECT_EQ(utimensat(AT_FDCWD, path.c_str(), when, 0), 0) << path;
}

// Each instrument as "file:instrument=stars", by instrument.
constexpr const char* kStars =
    "SELECT group_concat(x, ',') FROM (SELECT fname || ':' || iname || '=' || rating AS x FROM inst "
    "JOIN file ON file_id = file.id ORDER BY iname);";

}  // namespace

// Three banks of one size and time, all rated; two of them are renamed (or
// moved into a new folder) between two scans. The stars follow each bank to
// its new name, and the bank left alone keeps its own.
TEST_F(CorvaneProgram, RenamedFilesSharingSizeAndTimeKeepTheirStars)
{
    if (!HaveProgram("xdotool"))
        GTEST_SKIP() << "xdotool is not installed";
    struct Case {
        const char* what;
        std::vector<std::pair<std::string, std::string>> moves;
        const char* stars;
    };
    const Case cases[] = {
        {"renamed in place",
         {{"Strings.gig", "Strings v2.gig"}, {"Brass.gig", "Brass v2.gig"}},
         "Brass v2.gig:Cornet=4,Keys.gig:Organ=3,Keys.gig:Piano=0,Brass v2.gig:Trumpet=1,"
         "Strings v2.gig:Viola=2,Strings v2.gig:Violin=5"},
        {"moved into a new folder",
         {{"Strings.gig", "old/Strings.gig"}, {"Brass.gig", "old/Brass.gig"}},
         "Brass.gig:Cornet=4,Keys.gig:Organ=3,Keys.gig:Piano=0,Brass.gig:Trumpet=1,"
         "Strings.gig:Viola=2,Strings.gig:Violin=5"},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::error_code ec;
        fs::remove(m_maker + kDatabaseFile, ec);
        fs::remove(m_maker + kPrefsFile, ec);
        std::string library = m_dir.File("library" + std::to_string(n++)) + "/";
        fs::create_directories(library + "old");
        ASSERT_TRUE(utiltest::NamedBank({"Violin", "Viola"}).Write(library + "Strings.gig"));
        ASSERT_TRUE(utiltest::NamedBank({"Trumpet", "Cornet"}).Write(library + "Brass.gig"));
        ASSERT_TRUE(utiltest::NamedBank({"Organ", "Piano"}).Write(library + "Keys.gig"));
        SameTime({library + "Strings.gig", library + "Brass.gig", library + "Keys.gig"});
        ASSERT_EQ(fs::file_size(library + "Strings.gig"), fs::file_size(library + "Brass.gig"));
        ASSERT_EQ(fs::file_size(library + "Strings.gig"), fs::file_size(library + "Keys.gig"));

        // A whole walk records where the root was walked.
        ASSERT_TRUE(ScanUntil(library, [&] { return Db("SELECT COUNT() FROM rootplace;") == "1"; }));
        ASSERT_EQ(Db("SELECT COUNT() FROM inst;"), "6");
        // The stars the plug-in's search gives.
        {
            utiltest::RowReader db;
            ASSERT_TRUE(db.OpenFile((m_maker + kDatabaseFile).c_str(), false));
            ASSERT_TRUE(db.Exec("UPDATE inst SET rating = CASE iname WHEN 'Violin' THEN 5 WHEN 'Viola' THEN 2 "
                                "WHEN 'Trumpet' THEN 1 WHEN 'Cornet' THEN 4 WHEN 'Organ' THEN 3 ELSE 0 END;"));
        }
        for (const auto& [from, to] : c.moves)
            fs::rename(library + from, library + to);

        EXPECT_TRUE(ScanUntil("", [&] { return Db(kStars) == c.stars; })) << Db(kStars);
        EXPECT_EQ(Db("SELECT COUNT() FROM file;"), "3");
    }
}

// A listed link scanned, then pointed at another folder after its old
// target was deleted: the next scan lists the new target's files and takes
// out the rows of the old one, which no search may find any more. A database
// made before the root's place was kept opens and learns it on its next scan.
TEST_F(CorvaneProgram, ALinkPointedElsewhereLeavesNoRowsOfItsOldTarget)
{
    if (!HaveProgram("xdotool"))
        GTEST_SKIP() << "xdotool is not installed";
    const std::string first = m_dir.File("first target") + "/", second = m_dir.File("second target") + "/";
    const std::string link = m_dir.File("library");
    fs::create_directories(first + "sub");
    fs::create_directories(second);
    ASSERT_TRUE(utiltest::NamedBank({"Old Piano"}).Write(first + "Old.gig"));
    ASSERT_TRUE(utiltest::NamedBank({"Deep Pad"}).Write(first + "sub/Deep.gig"));
    ASSERT_TRUE(utiltest::NamedBank({"New Piano"}).Write(second + "New.gig"));
    fs::create_directory_symlink(first, link);
    const std::string files = "SELECT group_concat(pname || fname, ',') FROM (SELECT pname, fname FROM file "
                              "JOIN path ON path_id = path.id ORDER BY pname, fname);";
    const std::string realFirst = fs::canonical(first).string() + "/", realSecond = fs::canonical(second).string() + "/";

    ASSERT_TRUE(ScanUntil(link, [&] { return Db("SELECT COUNT() FROM rootplace;") == "1"; }));
    EXPECT_EQ(Db(files.c_str()), realFirst + "Old.gig," + realFirst + "sub/Deep.gig");
    {
        // As an earlier build left the file.
        utiltest::RowReader db;
        ASSERT_TRUE(db.OpenFile((m_maker + kDatabaseFile).c_str(), false));
        ASSERT_TRUE(db.Exec("DROP TABLE rootplace;"));
    }
    ASSERT_TRUE(ScanUntil("", [&] { return Db("SELECT walked FROM rootplace;") == realFirst; }));

    fs::remove_all(first);
    fs::remove(link);
    fs::create_directory_symlink(second, link);
    EXPECT_TRUE(ScanUntil("", [&] { return Db("SELECT walked FROM rootplace;") == realSecond; }));
    EXPECT_EQ(Db(files.c_str()), realSecond + "New.gig");
    EXPECT_EQ(Db("SELECT group_concat(iname) FROM inst;"), "New Piano");
    EXPECT_EQ(Db(("SELECT COUNT() FROM path WHERE pname LIKE '" + realFirst + "%';").c_str()), "0");
    EXPECT_EQ(Db("SELECT COUNT() FROM root;"), "1");
}

// The window as the user sees it: a folder whose name begins with accented
// capitals keeps their accents in the list (the band above the row's top
// holds text pixels); a database path too long for the status line gives up
// its middle; a scan stopped says so. Each screen is written as a PNG.
TEST_F(CorvaneProgram, AccentedFoldersLongDatabasePathsAndAStoppedScanShowWhole)
{
    if (!HaveProgram("xdotool"))
        GTEST_SKIP() << "xdotool is not installed";
    kivtest::XTestInput& screen = m_screen;
    ASSERT_TRUE(screen.Usable());
    // Two folders alike but for the accents.
    const std::string accented = m_dir.File("ÄÖÜ Übung") + "/", plain = m_dir.File("AOU Ubung") + "/";
    for (const std::string& folder : {accented, plain}) {
        fs::create_directories(folder);
        ASSERT_TRUE(utiltest::NamedBank({"Etude"}).Write(folder + "Etude.gig"));
    }

    // Scanned once; then a new file waits to be written while another
    // program holds the database, and the scan is stopped.
    ASSERT_TRUE(ScanUntil(accented, [&] { return Db("SELECT COUNT() FROM rootplace;") == "1"; }));
    ASSERT_TRUE(ScanUntil(plain, [&] { return Db("SELECT COUNT() FROM rootplace;") == "2"; }));
    ASSERT_TRUE(utiltest::NamedBank({"Zweite"}).Write(accented + "Zweite.gig"));
    {
        utiltest::RowReader holder;
        ASSERT_TRUE(holder.OpenFile((m_maker + kDatabaseFile).c_str(), false));
        ASSERT_TRUE(holder.Exec("BEGIN IMMEDIATE;"));
        std::string window = Launch("");
        ASSERT_FALSE(window.empty());
        const std::vector<uint32_t> ready = StatusLine(window);
        ClickAt(window, kScanCX, kButtonCY);
        ClickAt(window, kScanCX, kButtonCY);  // Stop
        // The stopped sequence's last word stays: the status has changed and
        // then holds still across the database's busy wait.
        std::vector<uint32_t> last;
        int still = 0;
        WaitFor(kivtest::kPatientMs, [&] {
            std::vector<uint32_t> now = StatusLine(window);
            still = now != ready && now == last ? still + 1 : 0;
            last = std::move(now);
            return RowsShown(window) == 2 && still * 50 > 2 * kiv::kDbBusyTimeoutMs;
        });
        Screenshot(window, screen, "corvane-stopped");

        // A row's text begins kTextRise px above its top, where the accents
        // stand: that band of the accented row holds more text than the
        // same band of the plain one.
        int x, y;
        ASSERT_TRUE(Origin(window, x, y));
        const int listTop = kMargin + kHeaderH, room = kWindowW - 2 * kMargin - kCountColumn;
        int bright[2] = {0, 0};
        for (int row = 0; row < 2; ++row) {
            std::vector<uint32_t> band;
            ASSERT_TRUE(kivtest::ReadScreen(screen.Dpy(), x + kMargin + 1, y + listTop + 4 + 18 * row - kTextRise,
                                            room, kTextRise, band));
            for (uint32_t pixel : band)
                bright[row] += ((pixel >> 16) & 0xFF) > 120 ? 1 : 0;
        }
        EXPECT_GT(bright[0], bright[1] + 3) << "the accents above the capitals are cut off";
        holder.Exec("ROLLBACK;");
        EXPECT_EQ(Quit(window), 0);
    }

    // A database file that holds no database, deep in long folder names.
    std::string data = m_dir.File("A data folder with a rather long name for the status line");
    data += "/and another folder inside it, named at length as well/share";
    fs::create_directories(data + "/Quillane");
    kivtest::WriteFile(data + "/Quillane/" + kDatabaseFile, "not a database at all, just some text", 37);
    const std::string home = getenv("XDG_DATA_HOME");
    setenv("XDG_DATA_HOME", data.c_str(), 1);
    std::string window = Launch("");
    setenv("XDG_DATA_HOME", home.c_str(), 1);
    ASSERT_FALSE(window.empty());
    Screenshot(window, screen, "corvane-long-database-path");
    // The status line's right end, inside its frame, holds no text: the
    // text ends where the cut makes it fit.
    int x, y;
    ASSERT_TRUE(Origin(window, x, y));
    std::vector<uint32_t> edge;
    ASSERT_TRUE(kivtest::ReadScreen(screen.Dpy(), x + kWindowW - kMargin - 3, y + kWindowH + kStatusY + 2, 2,
                                    kStatusH - 4, edge));
    for (uint32_t pixel : edge)
        EXPECT_LT((pixel >> 8) & 0xFF, 120u) << "text runs into the status line's edge";
    EndProgram();
}
