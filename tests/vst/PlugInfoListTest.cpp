// ctest-label: thread
#include "vst/PlugInfoList.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "kiv/file/Dir.h"
#include "support/TestSupport.h"
#include "tests/vst/PlugCacheWriter.h"
#include "tests/vst/VstTestPlugins.h"

namespace {

void CopyPlugin(const char* plugin, const std::string& to)
{
    std::string bytes = kivtest::ReadFile(vsttest::PluginPath(plugin));
    ASSERT_FALSE(bytes.empty());
    ASSERT_TRUE(kivtest::WriteFile(to, bytes.data(), bytes.size()));
}

void WaitForScan(PlugInfoList& list)
{
    while (list.IsScanning())
        usleep(5000);
}

struct Progress {
    std::vector<std::string> names;
    int ends = 0;
    static void Callback(const char* name, void* context)
    {
        auto* self = static_cast<Progress*>(context);
        if (name)
            self->names.push_back(name);
        else
            ++self->ends;
    }
};

std::string UserMakerFile(const std::string& name)
{
    return std::string(getenv("XDG_CONFIG_HOME")) + "/Quillane/" + name;
}

// The list file as the earlier build wrote and read it: one folder list,
// then the entries.
struct EarlierList : Archivable {
    kiv::string folder;
    std::vector<std::unique_ptr<PlugInfo>> entries;
    void Archive(ArchiFile* archive) override
    {
        if (!archive->ExchangeVersion(1, 1, 1))
            return;
        archive->ExchangeString(folder, fourcc("vstd"));
        int count = static_cast<int>(entries.size());
        if (!archive->ExchangeInt(count, fourcc("pcnt")))
            return;
        for (int i = 0; i < count; ++i) {
            if (archive->IsLoading())
                entries.push_back(std::make_unique<PlugInfo>());
            if (!archive->ExchangeObject(entries[i].get(), fourcc("info")))
                return;
        }
    }
};

std::vector<std::string> NamesOf(PlugInfoList& list)
{
    std::vector<std::string> names;
    for (int g = 0; g < list.GetManufCount(); ++g) {
        PlugManuf* manuf = list.GetManuf(g);
        for (int i = 0; i < manuf->GetCount(); ++i)
            names.push_back(std::string(manuf->GetVendor()) + ":" + manuf->GetItem(i)->GetName());
    }
    return names;
}

}  // namespace

TEST(PlugInfoList, ScanProbesLibrariesByTheirSuffixAndFilesThemByVendorAndKind)
{
    kivtest::TempDir dir;
    CopyPlugin("testeffect", dir.File("b.so"));
    CopyPlugin("testeffect", dir.File("A.so"));
    CopyPlugin("testsynth", dir.File("Ab.so"));
    CopyPlugin("testeffect", dir.File("x.SO"));  // capitals: not scanned
    CopyPlugin("testeffect", dir.File(".so"));   // no name: not scanned
    kivtest::WriteFile(dir.File("bad.so"), "no library", 10);
    kivtest::WriteFile(dir.File("notes.txt"), "text", 4);
    mkdir(dir.File("sub").c_str(), 0755);
    CopyPlugin("testnoentry", dir.File("sub/n.so"));
    symlink(dir.Path().c_str(), dir.File("sub/loop").c_str());  // never followed

    PlugInfoList list;
    list.Load("Quillane", "scantest");
    ASSERT_TRUE(list.SetFolder(dir.Path().c_str()));
    EXPECT_EQ(std::string(list.GetFolder()), dir.Path() + "/");
    int probes = PlugInfoList::GetProbeCount();
    Progress progress;
    ASSERT_TRUE(list.StartScan(&Progress::Callback, &progress));
    EXPECT_FALSE(list.StartScan(&Progress::Callback, &progress));
    WaitForScan(list);

    EXPECT_EQ(progress.ends, 1);
    EXPECT_EQ(progress.names.size(), 5u);
    EXPECT_EQ(PlugInfoList::GetProbeCount(), probes + 3);
    // Groups and entries in case-blind order; failures under "Other".
    std::vector<std::string> expected = {"Other:bad.so", "Other:n.so", "Tessivo Test Vendor:A.so",
                                         "Tessivo Test Vendor:Ab.so", "Tessivo Test Vendor:b.so"};
    EXPECT_EQ(NamesOf(list), expected);
    EXPECT_EQ(list.FindByName("Ab.so")->GetType(), 2);
    EXPECT_EQ(list.FindByName("b.so")->GetType(), 1);
    EXPECT_EQ(list.FindByName("bad.so")->GetType(), 0);
    EXPECT_EQ(list.FindByName("ab.so"), nullptr);  // names match exactly
    // Offered by kind: the vendor index counts only groups with that kind.
    EXPECT_EQ(list.GetPlugOfType(0, 1, 0), list.FindByName("A.so"));
    EXPECT_EQ(list.GetPlugOfType(0, 1, 1), list.FindByName("b.so"));
    EXPECT_EQ(list.GetPlugOfType(0, 1, 2), nullptr);
    EXPECT_EQ(list.GetPlugOfType(0, 2, 0), list.FindByName("Ab.so"));
    EXPECT_EQ(list.GetPlugOfType(1, 1, 0), nullptr);
    EXPECT_EQ(list.GetPlugOfType(0, 0, 1), list.FindByName("n.so"));
    // The scan finished: the guard is gone, the list is written.
    EXPECT_FALSE(file::FileExists(UserMakerFile("scantest64.ukn").c_str()));
    EXPECT_TRUE(file::FileExists(UserMakerFile("scantest64.pil").c_str()));
    EXPECT_FALSE(list.SetFolder("x"));
    EXPECT_FALSE(list.SetFolder(dir.File("missing").c_str()));
}

TEST(PlugInfoList, ListFileRoundTripAndRescanKeepsFirstProbeResults)
{
    kivtest::TempDir dir;
    CopyPlugin("testeffect", dir.File("gain.so"));
    CopyPlugin("testeffect", dir.File("gone.so"));
    {
        PlugInfoList list;
        list.Load("Quillane", "roundtrip");
        ASSERT_TRUE(list.SetFolder(dir.Path().c_str()));
        ASSERT_TRUE(list.StartScan(nullptr, nullptr));
        WaitForScan(list);
        ASSERT_EQ(list.GetEntryCount(), 2);
    }
    PlugInfoList list;
    ASSERT_TRUE(list.Load("Quillane", "roundtrip"));
    EXPECT_FALSE(list.Load("Quillane", "roundtrip"));  // once per list
    EXPECT_EQ(std::string(list.GetFolder()), dir.Path() + "/");
    PlugInfo* gain = list.FindByName("gain.so");
    ASSERT_NE(gain, nullptr);
    EXPECT_EQ(std::string(gain->GetPath()), dir.File("gain.so"));
    EXPECT_STREQ(gain->GetVendor(), kTestEffectVendor);
    EXPECT_EQ(gain->GetType(), 1);
    EXPECT_FALSE(gain->IsFound());

    // The library moves and turns into something else; another goes away.
    mkdir(dir.File("moved").c_str(), 0755);
    unlink(dir.File("gain.so").c_str());
    unlink(dir.File("gone.so").c_str());
    kivtest::WriteFile(dir.File("moved/gain.so"), "now broken", 10);
    int probes = PlugInfoList::GetProbeCount();
    ASSERT_TRUE(list.StartScan(nullptr, nullptr));
    WaitForScan(list);
    EXPECT_EQ(PlugInfoList::GetProbeCount(), probes);
    EXPECT_EQ(gain, list.FindByName("gain.so"));
    EXPECT_EQ(std::string(gain->GetPath()), dir.File("moved/gain.so"));
    EXPECT_EQ(gain->GetType(), 1);
    EXPECT_NE(list.FindByName("gone.so"), nullptr);  // kept in memory...

    PlugInfoList reread;
    ASSERT_TRUE(reread.Load("Quillane", "roundtrip"));
    EXPECT_NE(reread.FindByName("gain.so"), nullptr);
    EXPECT_EQ(reread.FindByName("gone.so"), nullptr);  // ...but not saved
}

TEST(PlugInfoList, LibraryThatKillsTheProbeIsListedAsFailedAndNeverProbedAgain)
{
    kivtest::TempDir dir;
    CopyPlugin("testeffect", dir.File("good.so"));
    {
        PlugInfoList list;
        list.Load("Quillane", "crashtest");
        ASSERT_TRUE(list.SetFolder(dir.Path().c_str()));
        ASSERT_TRUE(list.StartScan(nullptr, nullptr));
        WaitForScan(list);
    }
    CopyPlugin("testcrash", dir.File("crash.so"));
    CopyPlugin("testeffect", dir.File("other.so"));
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        PlugInfoList list;
        list.Load("Quillane", "crashtest");
        list.StartScan(nullptr, nullptr);
        while (list.IsScanning())
            usleep(5000);
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));

    PlugInfoList list;
    ASSERT_TRUE(list.Load("Quillane", "crashtest"));
    PlugInfo* crash = list.FindByName("crash.so");
    ASSERT_NE(crash, nullptr);
    EXPECT_EQ(crash->GetType(), 0);
    EXPECT_STREQ(crash->GetVendor(), "unknown");
    // Entries the crashed scan had not reached yet survive it.
    EXPECT_NE(list.FindByName("good.so"), nullptr);
    // Known now: a new scan lists it without loading it.
    ASSERT_TRUE(list.StartScan(nullptr, nullptr));
    WaitForScan(list);
    EXPECT_EQ(list.FindByName("crash.so")->GetType(), 0);
    EXPECT_EQ(list.FindByName("other.so")->GetType(), 1);
    EXPECT_FALSE(file::FileExists(UserMakerFile("crashtest64.ukn").c_str()));
}

TEST(PlugInfoList, FirstScanOfAFolderWhoseOnlyLibraryKillsTheProbeSurvivesFromTheNextStartOn)
{
    kivtest::TempDir dir;
    CopyPlugin("testcrash", dir.File("crash.so"));
    // Each start is a process of its own that loads the list and scans;
    // the exit code tells how the crashing library was listed.
    auto scanInChild = [&dir]() {
        pid_t child = fork();
        if (child == 0) {
            int code = 1;
            {
                PlugInfoList list;
                list.Load("Quillane", "firstcrash");
                list.SetFolder(dir.Path().c_str());
                list.StartScan(nullptr, nullptr);
                while (list.IsScanning())
                    usleep(5000);
                if (PlugInfo* crash = list.FindByName("crash.so"))
                    code = 10 + crash->GetType();
            }  // the scan thread is joined before the child ends
            _exit(code);
        }
        int status = 0;
        waitpid(child, &status, 0);
        return status;
    };
    int first = scanInChild();
    EXPECT_TRUE(WIFSIGNALED(first));
    for (int start = 2; start <= 3; ++start) {
        SCOPED_TRACE(start);
        int status = scanInChild();
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 10);  // type 0: failed
    }
    PlugInfoList list;
    ASSERT_TRUE(list.Load("Quillane", "firstcrash"));
    ASSERT_NE(list.FindByName("crash.so"), nullptr);
    EXPECT_EQ(list.FindByName("crash.so")->GetType(), 0);
    EXPECT_FALSE(file::FileExists(UserMakerFile("firstcrash64.ukn").c_str()));
}

TEST(PlugInfoList, FolderListsFollowTheLinuxConventionAtEveryScanThenTheAddedFolders)
{
    kivtest::TempDir dir;
    for (const char* sub : {"a", "b", "b/deep", "c", "home", "home/.vst"})
        mkdir(dir.File(sub).c_str(), 0755);
    CopyPlugin("testeffect", dir.File("a/one.so"));
    CopyPlugin("testeffect", dir.File("b/deep/two.so"));
    CopyPlugin("testeffect", dir.File("c/four.so"));
    std::string a = dir.File("a"), b = dir.File("b"), c = dir.File("c");
    const std::string testPath = getenv("LXVST_PATH");

    // Added lists: every folder must exist; repeats and empty items go.
    struct Case {
        std::string set;
        bool accepted;
        std::string folder;
    };
    const Case cases[] = {
        {a + ":" + b + "/", true, a + "/:" + b + "/"},
        {"::" + a + ":" + a + "//:", true, a + "/"},
        {a + ":" + dir.File("missing"), false, ""},
        {":::", false, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.set);
        PlugInfoList list;
        EXPECT_EQ(list.SetFolder(c.set.c_str()), c.accepted);
        EXPECT_EQ(list.GetFolder(), c.folder);
    }

    // LXVST_PATH, else VST_PATH, else the usual folders that exist (the
    // home ones first); then the added folder. Asked anew each time: a
    // folder made later joins the list of a list made earlier.
    std::string oldHome = getenv("HOME");
    PlugInfoList list;
    ASSERT_TRUE(list.AddFolder(c.c_str()));
    struct Default {
        const char* lxvst;
        const char* vst;
        const char* make;  // a folder made before asking
        std::string folder;
    };
    const std::string lxvstList = a + ":" + dir.File("missing") + ":" + b;
    const Default defaults[] = {
        {lxvstList.c_str(), "/usr", nullptr, a + "/:" + b + "/:"},
        {nullptr, b.c_str(), nullptr, b + "/:"},
        {nullptr, nullptr, nullptr, dir.File("home/.vst/:")},
        {nullptr, nullptr, "home/.lxvst", dir.File("home/.lxvst/:") + dir.File("home/.vst/:")},
    };
    setenv("HOME", dir.File("home").c_str(), 1);
    for (const Default& d : defaults) {
        SCOPED_TRACE(d.folder);
        d.lxvst ? setenv("LXVST_PATH", d.lxvst, 1) : unsetenv("LXVST_PATH");
        d.vst ? setenv("VST_PATH", d.vst, 1) : unsetenv("VST_PATH");
        if (d.make)
            mkdir(dir.File(d.make).c_str(), 0755);
        std::string folder = list.GetFolder();
        // The system's own folders may follow the test's; the added one
        // comes last.
        EXPECT_EQ(folder.substr(0, d.folder.size()), d.folder);
        EXPECT_EQ(folder.substr(folder.size() - c.size() - 1), c + "/");
    }
    unsetenv("VST_PATH");
    setenv("HOME", oldHome.c_str(), 1);
    EXPECT_EQ(list.GetAddedFolders(), c + "/");
    // The picker adds each folder once, and the walk takes each once.
    setenv("LXVST_PATH", a.c_str(), 1);
    EXPECT_TRUE(list.AddFolder((c + "/").c_str()));
    EXPECT_TRUE(list.AddFolder(a.c_str()));
    EXPECT_FALSE(list.AddFolder(dir.File("missing").c_str()));
    EXPECT_FALSE(list.AddFolder((a + ":" + b).c_str()));
    EXPECT_EQ(list.GetAddedFolders(), c + "/:" + a + "/");
    EXPECT_EQ(list.GetFolder(), a + "/:" + c + "/");
    setenv("LXVST_PATH", testPath.c_str(), 1);

    // A list holds 64 added folders at most.
    PlugInfoList full;
    for (int i = 0; i <= 64; ++i) {
        std::string folder = dir.File(kivtest::Numbered("many", i));
        mkdir(folder.c_str(), 0755);
        EXPECT_EQ(full.AddFolder(folder.c_str()), i < 64) << i;
    }
}

// A folder added by mistake is taken back, and the list file forgets it,
// down to the last one; a folder a rule gives stays whoever added it.
TEST(PlugInfoList, AddedFolderIsTakenBackButNotOneARuleGives)
{
    kivtest::TempDir dir;
    const std::string ruled = dir.File("ruled"), mistake = dir.File("mistake");
    mkdir(ruled.c_str(), 0755);
    mkdir(mistake.c_str(), 0755);
    const std::string testPath = getenv("LXVST_PATH");
    setenv("LXVST_PATH", ruled.c_str(), 1);
    {
        PlugInfoList list;
        list.Load("Quillane", "takeback");
        ASSERT_TRUE(list.AddFolder(ruled.c_str()));
        ASSERT_TRUE(list.AddFolder(mistake.c_str()));
        EXPECT_EQ(list.GetRemovableFolders(), mistake + "/");
        EXPECT_FALSE(list.RemoveFolder(ruled.c_str()));
        EXPECT_FALSE(list.RemoveFolder(dir.File("never-added").c_str()));
        EXPECT_FALSE(list.RemoveFolder((mistake + ":" + ruled).c_str()));
        EXPECT_TRUE(list.RemoveFolder((mistake + "/").c_str()));
        EXPECT_FALSE(list.RemoveFolder(mistake.c_str()));
        EXPECT_EQ(list.GetAddedFolders(), ruled + "/");
        EXPECT_EQ(list.GetFolder(), ruled + "/");
        EXPECT_EQ(list.GetRemovableFolders(), "");
    }
    setenv("LXVST_PATH", testPath.c_str(), 1);
    PlugInfoList reread;
    ASSERT_TRUE(reread.Load("Quillane", "takeback"));
    EXPECT_EQ(reread.GetAddedFolders(), ruled + "/");
    // No rule gives it now: the last added folder goes, and stays gone.
    EXPECT_TRUE(reread.RemoveFolder(ruled.c_str()));
    PlugInfoList empty;
    ASSERT_TRUE(empty.Load("Quillane", "takeback"));
    EXPECT_EQ(empty.GetAddedFolders(), "");
    EXPECT_EQ(empty.GetFolder(), "");
}

// A list file the user cannot read may hold folders the user added: no
// import, added folder or scan writes over it.
TEST(PlugInfoList, ListFileThatCannotBeReadIsNeverWrittenOver)
{
    kivtest::TempDir dir;
    const std::string kept = dir.File("kept"), later = dir.File("later");
    ASSERT_TRUE(kivtest::OpenToOrdinaryUser(kept));
    ASSERT_TRUE(kivtest::OpenToOrdinaryUser(later));
    {
        PlugInfoList list;
        list.Load("Quillane", "unread");
        ASSERT_TRUE(list.AddFolder(kept.c_str()));
    }
    const std::string listPath = UserMakerFile("unread64.pil");
    const std::string bytes = kivtest::ReadFile(listPath);
    ASSERT_FALSE(bytes.empty());
    file::Dir common(file::kCommonAppData);
    ASSERT_TRUE(common.EnterOrCreate("Quillane"));
    ASSERT_TRUE(vsttest::WritePlugCache(common.GetFilePath("unread64", "cache"), "/p/", {{"/p/a.so", "V", "a.so", 1}}));
    ASSERT_TRUE(kivtest::OpenToOrdinaryUser(std::string(getenv("XDG_DATA_HOME")) + "/Quillane"));
    ASSERT_TRUE(kivtest::OpenToOrdinaryUser(std::string(getenv("XDG_CONFIG_HOME")) + "/Quillane"));
    ASSERT_EQ(chmod(listPath.c_str(), 0), 0);
    {
        kivtest::AsOrdinaryUser user;
        ASSERT_TRUE(user.Ok());
        PlugInfoList list;
        EXPECT_TRUE(list.Load("Quillane", "unread"));  // the older cache, in memory
        EXPECT_NE(list.FindByName("a.so"), nullptr);
        std::string path;
        int reason = 0;
        EXPECT_TRUE(list.ListUnread(path, reason));
        EXPECT_EQ(path, listPath);
        EXPECT_EQ(reason, EACCES);
        EXPECT_TRUE(list.AddFolder(later.c_str()));
        EXPECT_FALSE(list.Save());
        ASSERT_TRUE(list.StartScan(nullptr, nullptr));
        WaitForScan(list);
    }
    ASSERT_EQ(chmod(listPath.c_str(), 0644), 0);
    EXPECT_TRUE(kivtest::ReadFile(listPath) == bytes);
    PlugInfoList readable;
    ASSERT_TRUE(readable.Load("Quillane", "unread"));
    std::string path;
    int reason = 0;
    EXPECT_FALSE(readable.ListUnread(path, reason));
    EXPECT_EQ(readable.GetAddedFolders(), kept + "/");
}

TEST(PlugInfoList, LibrariesReachedUnderSeveralNamesAreListedOnceAndFoundByEach)
{
    kivtest::TempDir dir;
    for (const char* sub : {"a", "b", "lib", "c"})
        mkdir(dir.File(sub).c_str(), 0755);
    CopyPlugin("testeffect", dir.File("a/one.so"));
    CopyPlugin("testeffect", dir.File("lib/real-1.0.so"));  // in no scanned folder
    CopyPlugin("testeffect", dir.File("c/four.so"));
    symlink(dir.File("a/one.so").c_str(), dir.File("b/alias.so").c_str());
    symlink(dir.File("lib/real-1.0.so").c_str(), dir.File("b/real.so").c_str());
    std::string a = dir.File("a"), b = dir.File("b"), c = dir.File("c");
    const std::string testPath = getenv("LXVST_PATH");

    // The scan walks the folders of LXVST_PATH as they are when it starts.
    setenv("LXVST_PATH", (a + ":" + b).c_str(), 1);
    PlugInfoList list;
    list.Load("Quillane", "linkscan");
    int probes = PlugInfoList::GetProbeCount();
    Progress progress;
    ASSERT_TRUE(list.StartScan(&Progress::Callback, &progress));
    WaitForScan(list);
    EXPECT_EQ(PlugInfoList::GetProbeCount(), probes + 2);
    EXPECT_EQ(progress.names.size(), 2u);
    std::vector<std::string> listed = {"Tessivo Test Vendor:one.so", "Tessivo Test Vendor:real.so"};
    EXPECT_EQ(NamesOf(list), listed);
    // A link's name and the real file's name find the entry too.
    EXPECT_EQ(list.FindByName("alias.so"), list.FindByName("one.so"));
    EXPECT_EQ(list.FindByName("real-1.0.so"), list.FindByName("real.so"));
    EXPECT_EQ(list.FindByName("four.so"), nullptr);

    // A later LXVST_PATH is walked by the next scan; known libraries keep
    // the names they are listed under whichever name the walk meets first.
    setenv("LXVST_PATH", (b + ":" + c + ":" + a).c_str(), 1);
    ASSERT_TRUE(list.StartScan(nullptr, nullptr));
    WaitForScan(list);
    setenv("LXVST_PATH", testPath.c_str(), 1);
    EXPECT_EQ(PlugInfoList::GetProbeCount(), probes + 3);
    listed.insert(listed.begin(), "Tessivo Test Vendor:four.so");
    EXPECT_EQ(NamesOf(list), listed);

    // The other names are kept in the list file.
    PlugInfoList reread;
    ASSERT_TRUE(reread.Load("Quillane", "linkscan"));
    EXPECT_EQ(NamesOf(reread), listed);
    for (const char* name : {"alias.so", "real-1.0.so"})
        ASSERT_NE(reread.FindByName(name), nullptr) << name;
    EXPECT_STREQ(reread.FindByName("alias.so")->GetName(), "one.so");
    EXPECT_STREQ(reread.FindByName("real-1.0.so")->GetName(), "real.so");
}

TEST(PlugInfoList, ListFilesOfTheEarlierFormatAreReadAndCanReadTheNewOne)
{
    kivtest::TempDir dir;
    mkdir(dir.File("mine").c_str(), 0755);
    mkdir(dir.File("agreed").c_str(), 0755);
    CopyPlugin("testeffect", dir.File("mine/gain.so"));
    const std::string mine = dir.File("mine/"), agreed = dir.File("agreed/");
    file::Dir user(file::kUserAppData);
    ASSERT_TRUE(user.EnterOrCreate("Quillane"));
    const std::string testPath = getenv("LXVST_PATH");
    setenv("LXVST_PATH", agreed.c_str(), 1);
    // Of the one folder list an earlier build kept, the folders no rule
    // gives were the user's own.
    struct Case {
        std::string folder;
        std::string added;
    };
    const Case cases[] = {{"/usr/lib/vst/", ""}, {"/usr/lib/vst/:" + mine, mine}, {agreed + ":" + mine, mine}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.folder);
        EarlierList earlier;
        earlier.folder = c.folder.c_str();
        earlier.entries.push_back(std::make_unique<PlugInfo>());
        earlier.entries[0]->SetPath(dir.File("mine/gain.so").c_str());
        earlier.entries[0]->SetVendor(kTestEffectVendor);
        earlier.entries[0]->SetName("gain.so");
        earlier.entries[0]->SetType(1);
        ArchiSave save;
        ASSERT_TRUE(save.SaveFile(&earlier, fourcc("plst"), UserMakerFile("earlier64.pil").c_str()));

        PlugInfoList list;
        ASSERT_TRUE(list.Load("Quillane", "earlier"));
        ASSERT_NE(list.FindByName("gain.so"), nullptr);
        EXPECT_EQ(list.GetAddedFolders(), c.added);
        EXPECT_EQ(list.GetFolder(), agreed + (c.added.empty() ? "" : ":" + c.added));
        ASSERT_TRUE(list.StartScan(nullptr, nullptr));
        WaitForScan(list);
        ASSERT_EQ(list.GetEntryCount(), 1);

        // The earlier build reads what this one wrote: the folders walked
        // and every entry.
        EarlierList back;
        ArchiLoad load;
        ASSERT_TRUE(load.LoadFile(&back, fourcc("plst"), UserMakerFile("earlier64.pil").c_str()));
        EXPECT_EQ(std::string(back.folder.CStr()), list.GetFolder());
        ASSERT_EQ(back.entries.size(), c.added.empty() ? 0u : 1u);
        unlink(UserMakerFile("earlier64.pil").c_str());
    }
    setenv("LXVST_PATH", testPath.c_str(), 1);
}

TEST(PlugInfoList, OlderCacheIsImportedWhenThereIsNoListFile)
{
    kivtest::TempDir dir;
    file::Dir common(file::kCommonAppData);
    ASSERT_TRUE(common.EnterOrCreate("Quillane"));
    std::string cache = common.GetFilePath("cachetest64", "cache");
    ASSERT_TRUE(vsttest::WritePlugCache(cache, dir.Path() + "/",
                                        {{"/plugins/z.so", "Zed", "z.so", 1},
                                         {"/plugins/y.so", "Acme", "y.so", 2},
                                         {"/plugins/novendor.so", "", "novendor.so", 1, false}}));
    PlugInfoList list;
    ASSERT_TRUE(list.Load("Quillane", "cachetest"));
    EXPECT_EQ(list.GetAddedFolders(), dir.Path() + "/");
    std::vector<std::string> expected = {"Acme:y.so", "Zed:z.so"};
    EXPECT_EQ(NamesOf(list), expected);
    EXPECT_TRUE(list.FindByName("z.so")->IsFound());
    EXPECT_EQ(list.FindByName("y.so")->GetType(), 2);
    // The import is written as the list at once.
    PlugInfoList reread;
    ASSERT_TRUE(reread.Load("Quillane", "cachetest"));
    EXPECT_EQ(NamesOf(reread), expected);
}

TEST(PlugInfoList, MalformedOrMissingFilesLeaveTheListEmpty)
{
    PlugInfoList none;
    EXPECT_FALSE(none.Load("Quillane", "nofiles"));
    EXPECT_EQ(none.GetManufCount(), 0);
    EXPECT_TRUE(none.Save());  // nothing to write

    file::Dir common(file::kCommonAppData);
    ASSERT_TRUE(common.EnterOrCreate("Quillane"));
    std::string cache = common.GetFilePath("badcache64", "cache");
    ASSERT_TRUE(vsttest::WritePlugCache(cache, "/p/", {{"/p/a.so", "V", "a.so", 1}}));
    std::string bytes = kivtest::ReadFile(cache);
    bytes[bytes.size() - 10] = 1;  // an identifier byte no chunk has
    bytes.replace(bytes.find("name"), 4, "na\x01e");
    kivtest::WriteFile(cache, bytes.data(), bytes.size());
    kivtest::WriteFile(UserMakerFile("badcache64.pil"), "avik-cut", 8);
    PlugInfoList list;
    EXPECT_FALSE(list.Load("Quillane", "badcache"));
    EXPECT_EQ(list.GetManufCount(), 0);

    PlugInfoList longName;
    EXPECT_FALSE(longName.Load("Quillane", std::string(70, 'n').c_str()));
    EXPECT_FALSE(longName.StartScan(nullptr, nullptr));
}

TEST(PlugInfoList, DestroyingTheListStopsARunningScan)
{
    kivtest::TempDir dir;
    // More libraries than the fastest machine probes (one process each)
    // in the time the scan is given.
    constexpr size_t kLibraries = 400;
    for (size_t i = 0; i < kLibraries; ++i)
        kivtest::WriteFile(dir.File("lib" + std::to_string(i) + ".so"), "x", 1);
    Progress progress;
    {
        PlugInfoList list;
        list.Load("Quillane", "stoptest");
        ASSERT_TRUE(list.SetFolder(dir.Path().c_str()));
        ASSERT_TRUE(list.StartScan(&Progress::Callback, &progress));
        usleep(150000);
    }
    EXPECT_LT(progress.names.size(), kLibraries);
    EXPECT_EQ(progress.ends, 0);  // its owner may be gone: no end report
}

TEST(PlugInfoList, ReadersRunWhileAScanFilesEntries)
{
    kivtest::TempDir dir;
    for (int i = 0; i < 6; ++i)
        CopyPlugin("testeffect", dir.File("fx" + std::to_string(i) + ".so"));
    for (int i = 0; i < 6; ++i)
        kivtest::WriteFile(dir.File("bad" + std::to_string(i) + ".so"), "x", 1);
    PlugInfoList list;
    list.Load("Quillane", "readtest");
    ASSERT_TRUE(list.SetFolder(dir.Path().c_str()));
    ASSERT_TRUE(list.StartScan(nullptr, nullptr));
    int seen = 0;
    while (list.IsScanning()) {
        for (int g = 0; g < list.GetManufCount(); ++g) {
            if (PlugManuf* manuf = list.GetManuf(g))
                seen += manuf->GetCount() + (manuf->HasType(1) ? 1 : 0);
        }
        for (int i = 0; i < 8; ++i)
            seen += list.GetPlugOfType(0, 1, i) ? 1 : 0;
        seen += list.FindByName("fx3.so") ? 1 : 0;
    }
    EXPECT_GT(seen, 0);
    EXPECT_EQ(list.GetEntryCount(), 12);
}

TEST(PlugInfo, CompareNoCaseOrderArchivedTextsAreCutAndOtherNamesAreBounded)
{
    EXPECT_LT(kiv::CompareNoCase("abc", "ABCD"), 0);
    EXPECT_LT(kiv::CompareNoCase("ABC", "abcd"), 0);
    EXPECT_EQ(kiv::CompareNoCase("Vendor", "vENDOR"), 0);

    PlugInfo info;
    info.SetVendor("Acme");
    info.SetVendor("");
    EXPECT_STREQ(info.GetVendor(), "Acme");
    EXPECT_EQ(info.GetDisplayName(), nullptr);
    info.SetName("n.so");
    EXPECT_STREQ(info.GetDisplayName(), "n.so");
    // Other names: never the listed one, each once, the first 32 of them.
    std::string names = "n.so/";
    for (int i = 0; i < 100; ++i)
        names += kivtest::Numbered("o", i % 50) + ".so/";
    info.SetOtherNames(names.c_str());
    EXPECT_FALSE(info.HasOtherName("n.so"));
    EXPECT_TRUE(info.HasOtherName("o31.so"));
    EXPECT_FALSE(info.HasOtherName("o32.so"));
    EXPECT_EQ(std::count(info.GetOtherNames().begin(), info.GetOtherNames().end(), '/'), 31);
    EXPECT_FALSE(info.IsAvailable());
    std::string longPath(700, 'p');
    info.SetPath(longPath.c_str());
    info.SetType(2);
    kiv::data image;
    ArchiSave save;
    ASSERT_TRUE(save.SaveMemory(&info, fourcc("info"), image));
    PlugInfo back;
    ArchiLoad load;
    ASSERT_TRUE(load.LoadMemory(&back, fourcc("info"), image));
    EXPECT_EQ(strlen(back.GetPath()), 511u);
    EXPECT_STREQ(back.GetVendor(), "Acme");
    EXPECT_STREQ(back.GetName(), "n.so");
    EXPECT_EQ(back.GetType(), 2);
    EXPECT_FALSE(back.IsFound());
}
