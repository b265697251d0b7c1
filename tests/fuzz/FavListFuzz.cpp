// Reads arbitrary bytes as the favourites file "tessivo.fav". Every read
// must end cleanly within 64 entries; the list it gives must survive a
// change, a save and a second read unchanged. Files live in a temporary
// folder removed at exit.
#include "fuzz/FuzzFiles.h"
#include "fuzz/FuzzSeeds.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "editor/FavList.h"

namespace {

std::string g_path;

void Put32(std::vector<uint8_t>& out, uint32_t v, bool big)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<uint8_t>(v >> (big ? 24 - 8 * i : 8 * i)));
}

std::vector<uint8_t> FavFile(const std::vector<std::string>& paths, bool big)
{
    std::vector<uint8_t> out;
    Put32(out, static_cast<uint32_t>(paths.size()), big);
    for (const std::string& p : paths) {
        Put32(out, static_cast<uint32_t>(p.size()), big);
        out.insert(out.end(), p.begin(), p.end());
    }
    return out;
}

std::vector<std::string> Entries(FavList& list)
{
    std::vector<std::string> out;
    int count = list.GetCount();
    for (int i = 1; i <= count; ++i)
        out.push_back(list.GetPath(i));
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    static kivfuzz::TempFolder folder("kivfavfuzz");
    if (!folder.Ok())
        abort();
    g_path = folder.File("tessivo.fav");

    kivfuzz::SeedCorpus seeds(argc, argv);
    seeds.Add("two", FavFile({"/home/me/Pianos/", "/media/disk/Strings/"}, false));
    seeds.Add("two-swapped", FavFile({"/home/me/Pianos/", "C:\\Libs\\Drums\\"}, true));
    seeds.Add("empty", FavFile({}, false));
    std::vector<std::string> many;
    for (int i = 0; i < 70; ++i)
        many.push_back("/f/" + std::to_string(i) + "/");
    seeds.Add("many", FavFile(many, false));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (!kivfuzz::WriteBytes(g_path, data, size))
        return 0;
    std::vector<std::string> read;
    {
        FavList list(g_path.c_str());
        read = Entries(list);
        if (read.size() > 64)
            abort();
        for (int i = -1; i <= static_cast<int>(read.size()); ++i) {
            const char* name = list.GetName(i);
            if (!name)
                abort();
        }
        // A change makes the destructor save the list.
        if (read.size() < 64) {
            if (!list.Add("/fuzz/Added/"))
                abort();
            read.push_back("/fuzz/Added/");
        } else {
            if (!list.Remove(1))
                abort();
            read.erase(read.begin());
        }
    }
    FavList again(g_path.c_str());
    if (Entries(again) != read)
        abort();
    return 0;
}
