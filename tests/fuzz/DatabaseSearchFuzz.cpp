// The browser's database search on arbitrary database contents and search
// text: the input is NUL-separated pieces, the last the search text, the
// others folder, file and instrument names written by the utility's own
// writer. The search must end cleanly, and every hit must come from the rows
// written and hold every word searched for in the name its row stores.
// fuzz-runs: 1000
#include "fuzz/FuzzFiles.h"
#include "fuzz/FuzzSeeds.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <strings.h>
#include <vector>

#include "editor/XListResult.h"
#include "kiv/gui/HeadlessBackend.h"
#include "utility/GigaBase.h"

namespace {

kivfuzz::TempFolder& Folder()
{
    static kivfuzz::TempFolder folder("kivfuzz-db-", true);
    return folder;
}

std::vector<uint8_t> Pieces(const std::vector<std::string>& pieces)
{
    std::vector<uint8_t> out;
    for (size_t i = 0; i < pieces.size(); ++i) {
        if (i > 0)
            out.push_back(0);
        out.insert(out.end(), pieces[i].begin(), pieces[i].end());
    }
    return out;
}

// Case-insensitive for the letters A-Z, as the search is. Only plain ASCII
// words are checked: SQLite reads other bytes as UTF-8.
bool Holds(const std::string& name, const std::string& word)
{
    for (char c : word)
        if (static_cast<unsigned char>(c) >= 0x80)
            return true;
    for (size_t i = 0; i + word.size() <= name.size(); ++i)
        if (strncasecmp(name.c_str() + i, word.c_str(), word.size()) == 0)
            return true;
    return false;
}

// The name an instrument row holds: the list shows only the start of a
// long one, and a word may be found further on.
class StoredName : public kiv::db {
public:
    bool Read(const std::string& path, int id)
    {
        m_found = false;
        m_name.clear();
        if (!OpenFile(path.c_str(), false))
            return false;
        Query("SELECT iname FROM inst WHERE id = %d;", id);
        Close();
        return m_found;
    }
    const std::string& Name() const { return m_name; }

protected:
    void OnRow(int columns, char** values, char**) override
    {
        m_found = columns == 1 && values[0];
        if (m_found)
            m_name = values[0];
    }

private:
    bool m_found = false;
    std::string m_name;
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    if (!Folder().Ok())
        abort();
    kivfuzz::SeedCorpus seeds(argc, argv);
    seeds.Add("words", Pieces({"/libs/keys/", "Piano.gig", "Grand Piano Soft", "Upright Piano", "piano soft"}));
    seeds.Add("quotes", Pieces({"/libs/o'ther/", "Str%ings.gig", "Violin 12\" mic", "Cello's Bow", "50% Mix",
                                "' OR 1=1 --"}));
    seeds.Add("wildcards", Pieces({"/a/", "b_c.gig", "a_b", "100%", "_ %"}));
    // Many words, and one word as long as the input allows.
    std::string many;
    for (int i = 0; i < 600; ++i)
        many += std::to_string(i % 50) + " ";
    seeds.Add("many-words", Pieces({"/a/", "x.gig", "0 1 2 3", many}));
    seeds.Add("long-word", Pieces({"/a/", "x.gig", std::string(600, 'q'), std::string(3000, 'q')}));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > 4096)
        return 0;
    std::vector<std::string> pieces(1);
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == 0)
            pieces.emplace_back();
        else
            pieces.back() += static_cast<char>(data[i]);
    }
    const std::string text = pieces.back();
    pieces.pop_back();

    // A fresh database: folder, file, then its instruments.
    const std::string db = Folder().File("corvane.db");
    unlink(db.c_str());
    std::vector<std::string> names;
    {
        GigaBase base;
        if (!base.OpenAt(db.c_str()) || !base.UseRoot("/"))
            abort();
        const int path = base.InsertPath(pieces.size() > 0 ? pieces[0].c_str() : "/");
        const int file = base.InsertFile(path, pieces.size() > 1 ? pieces[1].c_str() : "x.gig");
        for (size_t i = 2; i < pieces.size() && i < 40; ++i)
            if (base.InsertInstrument(file, pieces[i].c_str(), static_cast<int>(i - 2)) >= 0)
                names.push_back(pieces[i]);
    }

    HeadlessBackend backend;
    XBackend::Install(&backend);
    {
        XControl root;
        root.SetSize(400, 300);
        auto* list = new XListResult(&root, 0, 0, 400, 300);
        list->SetDatabasePath(db.c_str());
        list->Search(text.c_str());
        std::vector<std::string> words;
        for (size_t at = 0; at < text.size();) {
            const size_t end = std::min(text.find(' ', at), text.size());
            if (end > at)
                words.push_back(text.substr(at, end - at));
            at = end + 1;
        }
        StoredName stored;
        for (int i = 0; i < list->GetCount(); ++i) {
            const XListResultItem* item = list->GetHit(i);
            const std::string shown = item->instName.CStr();
            if (!stored.Read(db, item->id))
                abort();  // a hit the database does not hold
            const std::string& name = stored.Name();
            // A long name shows its start; any other is shown whole.
            if (item->nameCut ? name.compare(0, shown.size(), shown) != 0 : name != shown)
                abort();  // a hit that shows another name than its row's
            bool written = false;
            for (const std::string& piece : names)
                written = written || piece == name;
            if (!written)
                abort();  // a name nobody wrote
            for (const std::string& word : words)
                if (!Holds(name, word))
                    abort();  // a hit without a word searched for
        }
    }
    XBackend::Install(nullptr);
    return 0;
}
