// Feeds arbitrary bytes as the utility's folder list "corvane.prefs" to its
// window: the load must end cleanly (no crash, no endless loop on a damaged
// folder count), and the list it keeps must save and load back unchanged.
// fuzz-runs: 10000
#include "fuzz/FuzzFiles.h"
#include "fuzz/FuzzSeeds.h"
#include "kiv/file/Archive.h"
#include "utility/CorvaneWindowConst.h"
#include "utility/GigaBase.h"
#include "utility/MainView.h"
#include "utility/XListPath.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// The database in a temporary folder, with one scanned root so that a loaded
// folder may have a count to look up; empty when the folder could not be made.
const std::string& Database()
{
    static kivfuzz::TempFolder folder("corvane-prefs-fuzz-");
    static const std::string path = [] {
        if (!folder.Ok())
            return std::string();
        std::string database = folder.File("corvane.db");
        GigaBase base;
        if (base.OpenAt(database.c_str()) && base.UseRoot("/lib/one/"))
            base.InsertFile(base.InsertPath("/lib/one/sub/"), "a.gig");
        return database;
    }();
    return path;
}

class Prefs : public Archivable {
public:
    Prefs(int count, std::vector<std::string> paths) : m_count(count), m_paths(std::move(paths)) {}
    void Archive(ArchiFile* archive) override
    {
        archive->ExchangeVersion(corvane::kPrefsVersion, 0, 0);
        archive->ExchangeInt(m_count, corvane::kTagFolderCount);
        for (std::string& path : m_paths) {
            kiv::string text(path.c_str());
            archive->ExchangeString(text, corvane::kTagFolderPath);
        }
    }

private:
    int m_count;
    std::vector<std::string> m_paths;
};

std::vector<uint8_t> Bytes(Prefs prefs)
{
    kiv::data block;
    ArchiSave save;
    if (!save.SaveMemory(&prefs, corvane::kPrefsType, block))
        return {};
    return std::vector<uint8_t>(block.GetBytes(), block.GetBytes() + block.GetSize());
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    kivfuzz::SeedCorpus seeds(argc, argv);
    seeds.Add("two", Bytes(Prefs(2, {"/lib/one/", "/lib/two/"})));
    seeds.Add("empty", Bytes(Prefs(0, {})));
    seeds.Add("count-too-large", Bytes(Prefs(INT_MAX, {"/lib/one/"})));
    seeds.Add("quotes", Bytes(Prefs(1, {"/lib/it's \"here\" 100%_/"})));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (Database().empty() || size > 65536)
        return 0;
    kiv::data block(const_cast<uint8_t*>(data), static_cast<int>(size));

    MainView view;
    view.GetScanner().GetBase().OpenAt(Database().c_str());
    ArchiLoad load;
    load.LoadMemory(&view, corvane::kPrefsType, block);

    kiv::data saved;
    ArchiSave save;
    if (!save.SaveMemory(&view, corvane::kPrefsType, saved))
        abort();
    MainView again;
    if (!ArchiLoad().LoadMemory(&again, corvane::kPrefsType, saved))
        abort();
    XListPath* a = view.GetList();
    XListPath* b = again.GetList();
    if (a->GetCount() != b->GetCount())
        abort();
    for (int i = 0; i < a->GetCount(); ++i) {
        if (strcmp(a->GetPath(i), b->GetPath(i)) != 0 || a->GetFileCount(i) < 0)
            abort();
    }
    return 0;
}
