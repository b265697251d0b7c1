// Feeds arbitrary bytes as a .gig file to the utility's instrument-name
// reader: it must end with a result, never crash, hang or overrun its
// buffers, and every name it hands out is bounded text.
#include "fuzz/FuzzFiles.h"
#include "fuzz/FuzzSeeds.h"
#include "gig/GigWriter.h"
#include "utility/CorvaneLimits.h"
#include "utility/GigaNameReader.h"

#include <cstdlib>
#include <cstring>

namespace {

kivfuzz::InputFile& Input()
{
    static kivfuzz::InputFile input("gigname-fuzz-", "input.gig");
    return input;
}

class CheckingReader : public GigaNameReader {
protected:
    void OnKeyword(const char* keyword) override
    {
        if (strlen(keyword) >= static_cast<size_t>(corvane::kNameTextBytes) || !keyword[0])
            abort();
    }
    void OnInstrument(const char* name, int position) override
    {
        // Places rise; an unnamed instrument leaves its place out.
        if (strlen(name) >= static_cast<size_t>(corvane::kNameTextBytes) || position < m_next)
            abort();
        m_next = position + 1;
        for (const char* c = name; *c; ++c) {
            if (static_cast<unsigned char>(*c) >= 0x80)
                abort();
        }
    }

private:
    int m_next = 0;
};

gigtools::GigBuilder Bank(std::initializer_list<const char*> names)
{
    gigtools::GigBuilder bank;
    bank.minFileSize = 0;
    for (const char* name : names)
        bank.AddInstrument(gigtools::GigInstrument(name));
    return bank;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    kivfuzz::SeedCorpus seeds(argc, argv);
    seeds.Add("three-names", Bank({"Grand", "Don\xB4t", "Caf\xE9"}).Build());

    gigtools::RiffNode tree = Bank({"Odd", "Keys"}).BuildTree();
    for (gigtools::RiffNode& child : tree.Children()) {
        if (child.IsContainer() && child.Type() == "INFO") {
            child.Add(gigtools::RiffNode::Chunk("IKEY", {}));
            child.Add(gigtools::RiffNode::Chunk("IKEY", {'k', 'e', 'y', 0}));
        }
    }
    tree.Find("colh")->Data() = {1, 0, 0, 0};
    seeds.Add("keyword-colh-one", tree.Serialize());
    seeds.Add("no-instruments", Bank({}).Build());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (!Input().Write(data, size))
        return 0;
    CheckingReader reader;
    int result = reader.ReadGigaFile(Input().Path());
    if (result < GigaNameReader::kRead || result > GigaNameReader::kMalformed)
        abort();
    return 0;
}
