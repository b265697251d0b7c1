#include "kiv/file/Prefs.h"

#include "file/FileTestHelpers.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

namespace {

// Settings shaped like the engine's: two raw numbers and a text.
class TestPrefs : public file::Prefs {
public:
    float lmin = 1.0f;
    int32_t cvol = 7;
    char misp[400] = {};
    int declared = 0;
    int loaded = 0;

protected:
    void DeclareEntries(const char*) override
    {
        ++declared;
        Add("lmin", &lmin, sizeof(lmin));
        Add("cvol", &cvol, sizeof(cvol));
        AddString("misp", misp, sizeof(misp));
    }
    void OnLoaded() override { ++loaded; }
};

std::string SettingsPath(const char* program)
{
    return std::string(getenv("XDG_CONFIG_HOME")) + "/Quillane/" + program + ".settings";
}

void WriteSettings(const char* program, const std::string& text)
{
    std::string folder = std::string(getenv("XDG_CONFIG_HOME"));
    std::string cmd = "mkdir -p '" + folder + "/Quillane'";
    ASSERT_EQ(system(cmd.c_str()), 0);
    ASSERT_TRUE(kivtest::WriteFile(SettingsPath(program), text.data(), text.size()));
}

// Runs this test program again on one test, keeping this process's home.
int RunChild(const char* test, const char* step, bool quiet = false)
{
    pid_t pid = fork();
    if (pid == 0) {
        if (quiet) {
            freopen("/dev/null", "w", stdout);
            freopen("/dev/null", "w", stderr);
        }
        setenv("KIV_TEST_CHILD", "1", 1);
        setenv("KIV_PREFS_STEP", step, 1);
        std::string filter = std::string("--gtest_filter=") + test;
        execl("/proc/self/exe", "child", filter.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid)
        return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

TEST(Prefs, LoadWithoutSettingsFileFailsAndKeepsDefaults)
{
    TestPrefs p;
    strcpy(p.misp, "default folder");
    EXPECT_FALSE(p.Load("fresh"));
    EXPECT_FALSE(p.IsLoaded());
    EXPECT_EQ(p.loaded, 0);
    EXPECT_EQ(p.cvol, 7);
    EXPECT_FLOAT_EQ(p.lmin, 1.0f);
    EXPECT_STREQ(p.misp, "default folder");
    EXPECT_STREQ(p.GetKeyPath(), "SOFTWARE\\fresh");

    // A second Load tries again and finds what appeared since.
    WriteSettings("fresh", "cvol=0b000000\n");
    EXPECT_TRUE(p.Load("fresh"));
    EXPECT_EQ(p.cvol, 11);
    EXPECT_STREQ(p.misp, "");  // a missing text empties its variable

    // Loaded once: later Loads neither read again nor call OnLoaded.
    WriteSettings("fresh", "cvol=07000000\n");
    EXPECT_TRUE(p.Load("fresh"));
    EXPECT_EQ(p.cvol, 11);
    EXPECT_EQ(p.loaded, 1);
    EXPECT_EQ(p.declared, 1);
}

TEST(Prefs, DestructorWritesDefaultsAndChangesBack)
{
    {
        TestPrefs p;
        EXPECT_FALSE(p.Load("roundtrip"));
        p.cvol = 11;
        strcpy(p.misp, "/home/user/missing samples");
    }
    EXPECT_EQ(kivtest::ReadFile(SettingsPath("roundtrip")),
              "lmin=0000803f\ncvol=0b000000\nmisp=/home/user/missing samples\n");
    TestPrefs again;
    ASSERT_TRUE(again.Load("roundtrip"));
    EXPECT_EQ(again.cvol, 11);
    EXPECT_FLOAT_EQ(again.lmin, 1.0f);
    EXPECT_STREQ(again.misp, "/home/user/missing samples");
}

TEST(Prefs, StoredTextLongerThanItsVariableIsCut)
{
    struct Small : file::Prefs {
        char text[8];
        char guard[8];
        void DeclareEntries(const char*) override { AddString("name", text, sizeof(text)); }
    } small;
    memset(small.guard, 'G', sizeof(small.guard));
    WriteSettings("cut", "name=" + std::string(600, 'x') + "\n");
    ASSERT_TRUE(small.Load("cut"));
    EXPECT_STREQ(small.text, "xxxxxxx");
    for (char c : small.guard)
        EXPECT_EQ(c, 'G');
}

TEST(Prefs, RawValuesTakeAtMostTheirSizeAndIgnoreBadHex)
{
    struct Raw : file::Prefs {
        uint8_t bytes[4] = {1, 2, 3, 4};
        uint8_t guard[4] = {9, 9, 9, 9};
        int32_t other = 5;
        void DeclareEntries(const char*) override
        {
            Add("bytes", bytes, sizeof(bytes));
            Add("other", &other, sizeof(other));
        }
    } raw;
    WriteSettings("raw", "bytes=a0a1a2a3a4a5a6\nother=zz000000\n");
    ASSERT_TRUE(raw.Load("raw"));
    EXPECT_EQ(raw.bytes[3], 0xa3);
    EXPECT_EQ(raw.guard[0], 9);
    EXPECT_EQ(raw.other, 5);

    WriteSettings("short", "bytes=ff\n");
    Raw partial;
    ASSERT_TRUE(partial.Load("short"));
    EXPECT_EQ(partial.bytes[0], 0xff);
    EXPECT_EQ(partial.bytes[1], 2);

    // An empty value (a line "name=") holds no bytes: the variable keeps its value.
    WriteSettings("empty", "bytes=\nother=\n");
    Raw empty;
    ASSERT_TRUE(empty.Load("empty"));
    EXPECT_EQ(empty.bytes[0], 1);
    EXPECT_EQ(empty.other, 5);
}

TEST(Prefs, TextsWithLineBreaksAndEmptyTextsRoundTrip)
{
    {
        TestPrefs p;
        p.Load("texts");
        strcpy(p.misp, "line1\nline2\\end\r");
    }
    {
        TestPrefs p;
        ASSERT_TRUE(p.Load("texts"));
        EXPECT_STREQ(p.misp, "line1\nline2\\end\r");
        p.misp[0] = 0;
    }
    EXPECT_NE(kivtest::ReadFile(SettingsPath("texts")).find("\nmisp=\n"), std::string::npos);
    TestPrefs p;
    strcpy(p.misp, "was here");
    ASSERT_TRUE(p.Load("texts"));
    EXPECT_STREQ(p.misp, "");
}

TEST(Prefs, SaveKeepsValuesOfOtherNames)
{
    WriteSettings("shared", "foreign=1234\ncvol=07000000\n");
    {
        TestPrefs p;
        ASSERT_TRUE(p.Load("shared"));
        p.cvol = 11;
    }
    std::string text = kivtest::ReadFile(SettingsPath("shared"));
    EXPECT_NE(text.find("foreign=1234\n"), std::string::npos);
    EXPECT_NE(text.find("cvol=0b000000\n"), std::string::npos);
}

TEST(Prefs, UnusableKeysAndEmptyObjectsFailCleanly)
{
    file::Prefs none;
    EXPECT_FALSE(none.Load("anything"));
    EXPECT_FALSE(none.Save());

    TestPrefs beforeLoad;
    EXPECT_FALSE(beforeLoad.Save());

    // "SOFTWARE\" and the name must fit the 127-byte key path.
    TestPrefs fits;
    std::string longest(117, 'k');
    EXPECT_FALSE(fits.Load(longest.c_str()));
    EXPECT_TRUE(fits.Save());
    TestPrefs tooLong;
    std::string over(118, 'k');
    EXPECT_FALSE(tooLong.Load(over.c_str()));
    EXPECT_STREQ(tooLong.GetKeyPath(), "");
    EXPECT_FALSE(tooLong.Save());

    for (const char* bad : {"../escape", "a/b", "..", "", static_cast<const char*>(nullptr)}) {
        TestPrefs p;
        EXPECT_FALSE(p.Load(bad));
        EXPECT_FALSE(p.Save());
    }

    TestPrefs names;
    int dummy = 0;
    EXPECT_EQ(names.Add("a=b", &dummy, 4), -1);
    EXPECT_EQ(names.Add("line\nbreak", &dummy, 4), -1);
}

TEST(Prefs, AFailedWriteLeavesTheOldFile)
{
    {
        TestPrefs p;
        p.Load("keep");
        p.cvol = 11;
    }
    std::string before = kivtest::ReadFile(SettingsPath("keep"));
    ASSERT_FALSE(before.empty());
    {
        TestPrefs p;
        ASSERT_TRUE(p.Load("keep"));
        p.cvol = 3;
        bool saved = true;
        {
            filetest::FileSizeLimit diskFull(8);
            ASSERT_TRUE(diskFull.IsSet());
            saved = p.Save();
        }
        EXPECT_FALSE(saved);
        p.cvol = 11;  // the destructor's write then stores what was there
    }
    EXPECT_EQ(kivtest::ReadFile(SettingsPath("keep")), before);
    // No temporary file is left behind.
    for (const std::string& name : filetest::FolderEntries(std::string(getenv("XDG_CONFIG_HOME")) + "/Quillane"))
        EXPECT_NE(name[0], '.') << name;
}

// A settings file that is there but cannot be read holds the user's values
// and names of other programs: neither a Save nor the destructor writes over
// it, even once it can be read again, until a read took its values in.
TEST(Prefs, SettingsFileThatIsThereButCannotBeReadIsNeverWrittenOver)
{
    const std::string stored = "lmin=00002040\ncvol=0b000000\nmisp=/samples\nforeign=kept\n";
    struct Case {
        const char* program;
        std::string bytes;
        mode_t mode;
        int reason;
    };
    const Case cases[] = {
        {"unreadable", stored, 0000, EACCES},
        {"oversized", stored + std::string(2 << 20, '#'), 0644, EFBIG},
    };
    const std::string folder = std::string(getenv("XDG_CONFIG_HOME")) + "/Quillane";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.program);
        WriteSettings(c.program, c.bytes);
        ASSERT_TRUE(kivtest::OpenToOrdinaryUser(folder));
        ASSERT_EQ(chmod(SettingsPath(c.program).c_str(), c.mode), 0);
        auto user = std::make_unique<kivtest::AsOrdinaryUser>();
        ASSERT_TRUE(user->Ok());
        auto p = std::make_unique<TestPrefs>();
        EXPECT_FALSE(p->Load(c.program));
        EXPECT_EQ(p->GetReadError(), c.reason);
        p->cvol = 7;
        EXPECT_FALSE(p->Save());
        user.reset();
        ASSERT_EQ(chmod(SettingsPath(c.program).c_str(), 0644), 0);
        EXPECT_TRUE(kivtest::ReadFile(SettingsPath(c.program)) == c.bytes);
        if (c.mode == 0644) {
            p.reset();  // the destructor's write is refused too
            EXPECT_TRUE(kivtest::ReadFile(SettingsPath(c.program)) == c.bytes);
            continue;
        }
        // Readable now, but this object never saw the values: no write yet.
        EXPECT_FALSE(p->Save());
        EXPECT_TRUE(kivtest::ReadFile(SettingsPath(c.program)) == c.bytes);
        // A new read takes the user's values over the unsaved change.
        ASSERT_TRUE(p->Load(c.program));
        EXPECT_EQ(p->GetReadError(), 0);
        EXPECT_EQ(p->cvol, 11);
        EXPECT_FLOAT_EQ(p->lmin, 2.5f);
        p.reset();
        const std::string text = kivtest::ReadFile(SettingsPath(c.program));
        EXPECT_NE(text.find("cvol=0b000000\n"), std::string::npos);
        EXPECT_NE(text.find("misp=/samples\n"), std::string::npos);
        EXPECT_NE(text.find("foreign=kept\n"), std::string::npos);
    }
    for (const std::string& name : filetest::FolderEntries(folder))
        EXPECT_NE(name[0], '.') << name;

    // A missing file is no failure: the defaults are written as ever.
    TestPrefs fresh;
    EXPECT_FALSE(fresh.Load("unreadable-gone"));
    EXPECT_EQ(fresh.GetReadError(), 0);
    EXPECT_TRUE(fresh.Save());
}

// Run only as a child of SettingsSurviveANewProcess.
TEST(Prefs, ChildStep)
{
    const char* step = getenv("KIV_PREFS_STEP");
    if (!step)
        GTEST_SKIP() << "runs as a child process only";
    TestPrefs p;
    if (strcmp(step, "write") == 0) {
        EXPECT_FALSE(p.Load("process"));
        p.cvol = 11;
        p.lmin = 2.5f;
        strcpy(p.misp, "/mnt/samples/missing");
        return;  // the destructor writes them back as the process ends
    }
    ASSERT_TRUE(p.Load("process"));
    EXPECT_EQ(p.cvol, 11);
    EXPECT_FLOAT_EQ(p.lmin, 2.5f);
    EXPECT_STREQ(p.misp, "/mnt/samples/missing");
}

TEST(Prefs, SettingsSurviveANewProcess)
{
    ASSERT_EQ(RunChild("Prefs.ChildStep", "write"), 0);
    ASSERT_EQ(RunChild("Prefs.ChildStep", "read"), 0);
    // And a read in a child fails when the settings were not what was written.
    WriteSettings("process", "cvol=07000000\n");
    EXPECT_NE(RunChild("Prefs.ChildStep", "read", true), 0);
}
