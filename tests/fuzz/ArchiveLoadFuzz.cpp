// Loads arbitrary bytes as an archive into an object that asks for every
// kind of value, nested objects and a skipped object. A load that succeeds
// must save again and load back to the same values.
#include "fuzz/FuzzSeeds.h"
#include "kiv/file/Archive.h"

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

struct Leaf : Archivable {
    int number = 0;
    kiv::string name;
    void Archive(ArchiFile* a) override
    {
        if (!a->ExchangeVersion(2, 1, 0))
            return;
        a->ExchangeInt(number, fourcc("numb"));
        a->ExchangeString(name, fourcc("name"));
    }
};

struct Root : Archivable {
    int ints[3] = {};
    bool flag = false;
    char letter = 0;
    double real = 0;
    float single = 0;
    kiv::string text;
    kiv::data blob;
    char chars[16] = {};
    Leaf leaves[2];
    int tail = 0;
    bool skipped = false;

    void Archive(ArchiFile* a) override
    {
        if (!a->ExchangeVersion(3, 2, 1))
            return;
        for (int& v : ints)
            a->ExchangeInt(v, fourcc("intv"));
        a->ExchangeBool(flag, fourcc("flag"));
        a->ExchangeChar(letter, fourcc("letr"));
        a->ExchangeDouble(real, fourcc("real"));
        a->ExchangeFloat(single, fourcc("sngl"));
        a->ExchangeString(text, fourcc("text"));
        a->ExchangeData(blob, fourcc("blob"));
        a->ExchangeChars(chars, sizeof chars, fourcc("chrs"));
        for (Leaf& leaf : leaves)
            a->ExchangeObject(&leaf, fourcc("leaf"));
        if (a->IsLoading()) {
            skipped = a->SkipObject(fourcc("skip"));
        } else {
            Leaf unused;
            unused.number = 1000;
            a->ExchangeObject(&unused, fourcc("skip"));
        }
        a->ExchangeInt(tail, fourcc("tail"));
    }
};

bool Same(const Root& x, const Root& y)
{
    auto sameBits = [](const void* p, const void* q, size_t n) { return memcmp(p, q, n) == 0; };
    if (memcmp(x.ints, y.ints, sizeof x.ints) != 0 || x.flag != y.flag || x.letter != y.letter ||
        !sameBits(&x.real, &y.real, 8) || !sameBits(&x.single, &y.single, 4) || x.tail != y.tail)
        return false;
    if (strcmp(x.text.CStr(), y.text.CStr()) != 0 || strcmp(x.chars, y.chars) != 0)
        return false;
    if (x.blob.GetSize() != y.blob.GetSize() ||
        (x.blob.GetSize() > 0 && memcmp(x.blob.GetBytes(), y.blob.GetBytes(), x.blob.GetSize()) != 0))
        return false;
    for (int i = 0; i < 2; ++i) {
        if (x.leaves[i].number != y.leaves[i].number ||
            strcmp(x.leaves[i].name.CStr(), y.leaves[i].name.CStr()) != 0)
            return false;
    }
    return true;
}

std::vector<uint8_t> Image(Root& root)
{
    kiv::data block;
    ArchiSave().SaveMemory(&root, fourcc("fuzz"), block);
    return std::vector<uint8_t>(block.GetBytes(), block.GetBytes() + block.GetSize());
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    kivfuzz::SeedCorpus seeds(argc, argv);
    Root empty;
    seeds.Add("empty", Image(empty));

    Root full;
    full.ints[0] = 100;
    full.ints[1] = -40000;
    full.ints[2] = 300;
    full.flag = true;
    full.letter = 'x';
    full.real = 3.25;
    full.single = -0.5f;
    full.text = std::string(300, 't').c_str();
    full.blob.Alloc(40);
    memset(full.blob.GetBytes(), 0xAB, 40);
    strcpy(full.chars, "chars");
    full.leaves[0].number = 7;
    full.leaves[0].name = "first";
    full.leaves[1].name = "second";
    full.tail = 12;
    seeds.Add("full", Image(full));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size)
{
    if (size > static_cast<size_t>(INT32_MAX))
        return 0;
    kiv::data block;
    block.Borrow(const_cast<uint8_t*>(bytes), static_cast<int>(size));
    Root loaded;
    if (!ArchiLoad().LoadMemory(&loaded, fourcc("fuzz"), block))
        return 0;

    // Whatever loaded saves as a well-formed archive that loads back the same.
    kiv::data again;
    if (!ArchiSave().SaveMemory(&loaded, fourcc("fuzz"), again))
        abort();
    Root reloaded;
    if (!ArchiLoad().LoadMemory(&reloaded, fourcc("fuzz"), again) || !Same(loaded, reloaded))
        abort();
    return 0;
}
