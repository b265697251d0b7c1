// Feeds arbitrary bytes as the utility's folder list "corvane.prefs" to its
// window: the load must end cleanly (no crash, no endless loop on a damaged
// folder count), and the list it keeps must save and load back unchanged.
// fuzz-runs: 10000
#include "fuzz/FuzzSeeds.h"
#include "kiv/file/Archive.h"
#include "utility/CorvaneWindowConst.h"
#include "utility/MainView.h"
#include "utility/XListPath.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

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
    if (size > 65536)
        return 0;
    kiv::data block(const_cast<uint8_t*>(data), static_cast<int>(size));

    MainView view;
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
        // Counts come from the database later, on the scanner's thread.
        if (strcmp(a->GetPath(i), b->GetPath(i)) != 0 || a->GetFileCount(i) != -1 ||
            a->GetPathItem(i)->countText.GetLength() != 0)
            abort();
    }
    return 0;
}
