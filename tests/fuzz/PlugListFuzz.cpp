// Reads arbitrary bytes as the plug-in list file, as the older RIFF cache and
// as the probe guard file. The first byte chooses which; every load must end
// cleanly and leave a list that can be read and saved. All files live in a
// temporary folder that the target makes its application-data home.
#include "fuzz/FuzzFiles.h"
#include "fuzz/FuzzSeeds.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "kiv/file/Dir.h"
#include "tests/vst/PlugCacheWriter.h"
#include "vst/PlugInfoList.h"

namespace {

std::string g_listPath;
std::string g_guardPath;
std::string g_cachePath;
std::vector<uint8_t> g_validList;

void RemoveFiles()
{
    unlink(g_listPath.c_str());
    unlink(g_guardPath.c_str());
    unlink(g_cachePath.c_str());
}

void Exercise(PlugInfoList& list)
{
    for (int g = 0; g < list.GetManufCount(); ++g) {
        PlugManuf* manuf = list.GetManuf(g);
        for (int i = 0; i < manuf->GetCount(); ++i) {
            PlugInfo* info = manuf->GetItem(i);
            list.FindByName(info->GetName());
            info->GetDisplayName();
        }
        manuf->GetItemOfType(1, 0);
    }
    list.GetPlugOfType(0, 1, 0);
    list.GetPlugOfType(1, 0, 2);
    list.GetFolder();
}

std::vector<uint8_t> WithMode(uint8_t mode, const std::vector<uint8_t>& bytes)
{
    std::vector<uint8_t> seed(bytes.size() + 1);
    seed[0] = mode;
    std::copy(bytes.begin(), bytes.end(), seed.begin() + 1);
    return seed;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    static kivfuzz::TempFolder home("kivplugfuzz");
    if (!home.Ok())
        abort();
    kivfuzz::UseAsHome(home.Path());
    file::Dir user(file::kUserAppData);
    file::Dir common(file::kCommonAppData);
    if (!user.EnterOrCreate("Quillane") || !common.EnterOrCreate("Quillane"))
        abort();
    g_listPath = user.GetFilePath("fuzz64", "pil");
    g_guardPath = user.GetFilePath("fuzz64", "ukn");
    g_cachePath = common.GetFilePath("fuzz64", "cache");

    // The seeds: a cache, the list its import writes, and a guard file.
    vsttest::WritePlugCache(g_cachePath, "/plugins/",
                            {{"/plugins/a.so", "Acme", "a.so", 1},
                             {"/plugins/b.so", "Zed", "b.so", 2},
                             {"/plugins/c.so", "", "c.so", 1, false}});
    std::vector<uint8_t> cache = kivfuzz::ReadBytes(g_cachePath);
    {
        PlugInfoList list;
        list.Load("Quillane", "fuzz");
    }
    g_validList = kivfuzz::ReadBytes(g_listPath);
    PlugInfo guard;
    guard.SetPath("/plugins/crash.so");
    guard.SetName("crash.so");
    guard.SetType(-1);
    ArchiSave save;
    save.SaveFile(&guard, fourcc("info"), g_guardPath.c_str());
    std::vector<uint8_t> guardBytes = kivfuzz::ReadBytes(g_guardPath);
    RemoveFiles();
    if (cache.empty() || g_validList.empty() || guardBytes.empty())
        abort();

    kivfuzz::SeedCorpus seeds(argc, argv);
    seeds.Add("list", WithMode(0, g_validList));
    seeds.Add("cache", WithMode(1, cache));
    seeds.Add("guard", WithMode(2, guardBytes));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    RemoveFiles();
    int mode = data[0] % 3;
    const uint8_t* bytes = data + 1;
    size_t count = size - 1;
    if (mode == 0) {
        kivfuzz::WriteBytes(g_listPath, bytes, count);
    } else if (mode == 1) {
        kivfuzz::WriteBytes(g_cachePath, bytes, count);
    } else {
        kivfuzz::WriteBytes(g_listPath, g_validList.data(), g_validList.size());
        kivfuzz::WriteBytes(g_guardPath, bytes, count);
    }
    PlugInfoList list;
    list.Load("Quillane", "fuzz");
    Exercise(list);
    list.Save();
    return 0;
}
