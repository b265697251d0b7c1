#include "kiv/file/Archive.h"
#include "file/FileTestHelpers.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <climits>
#include <fcntl.h>
#include <thread>
#include <unistd.h>
#include <cstring>
#include <functional>
#include <stdexcept>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

// An object whose Archive operation is given by the test.
struct Obj : Archivable {
    std::function<void(ArchiFile*)> fn;
    explicit Obj(std::function<void(ArchiFile*)> f) : fn(std::move(f)) {}
    void Archive(ArchiFile* a) override { fn(a); }
};

Bytes ToBytes(const kiv::data& d) { return Bytes(d.GetBytes(), d.GetBytes() + d.GetSize()); }

Bytes SaveImage(Archivable* root, uint32_t type)
{
    kiv::data block;
    EXPECT_TRUE(ArchiSave().SaveMemory(root, type, block));
    return ToBytes(block);
}

bool LoadImage(Archivable* root, uint32_t type, Bytes bytes)
{
    kiv::data block(bytes.data(), static_cast<int>(bytes.size()));
    return ArchiLoad().LoadMemory(root, type, block);
}

// The bytes of the values inside a 'test' root, without head, markers and closing header.
Bytes ValueBytes(std::function<void(ArchiFile*)> fn)
{
    Obj obj(std::move(fn));
    Bytes all = SaveImage(&obj, fourcc("test"));
    return Bytes(all.begin() + 16, all.end() - 8);
}

// Hand-made archives for malformed input.
struct Image {
    Bytes b;
    Image& Word(uint32_t w)
    {
        for (int i = 0; i < 4; ++i)
            b.push_back(static_cast<uint8_t>(w >> (8 * i)));
        return *this;
    }
    Image& Header(uint32_t tag, uint32_t type, uint32_t length)
    {
        return Word((ArchiFile::TagNumber(tag) << 12) | type | length);
    }
    Image& Raw(std::initializer_list<uint8_t> bytes)
    {
        b.insert(b.end(), bytes);
        return *this;
    }
    static Image Root() { return Image().Word(archi::kMagic).Word(fourcc("test")).Word(0).Header(fourcc("test"), 0x100, 0); }
    Image& Close() { return Header(fourcc("test"), 0x200, 0).Header(fourcc("kiva"), 0xF00, 0); }
};

// One object with every kind of value; Check compares two of them.
struct Rich : Archivable {
    int ints[8] = {0, 1, 127, 128, -128, -32769, INT_MIN, INT_MAX};
    bool flag = true;
    char letter = 'q';
    double real = -1.0 / 3.0;
    float single = 2.5e-7f;
    kiv::string s254, s255;
    kiv::data blob;
    char chars[32] = "char buffer";
    int nested = 77;
    int skipped = 5;
    int after = 99;
    bool skipOk = false;

    void Fill()
    {
        std::string a(254, 'a'), b(255, 'b');
        s254 = a.c_str();
        s255 = b.c_str();
        blob.Alloc(300);
        for (int i = 0; i < 300; ++i)
            blob.GetBytes()[i] = static_cast<uint8_t>(i * 7);
    }
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
        a->ExchangeString(s254, fourcc("sone"));
        a->ExchangeString(s255, fourcc("stwo"));
        a->ExchangeData(blob, fourcc("blob"));
        a->ExchangeChars(chars, sizeof chars, fourcc("chrs"));
        Obj inner([this](ArchiFile* f) { f->ExchangeInt(nested, fourcc("nest")); });
        a->ExchangeObject(&inner, fourcc("innr"));
        Obj skip([this](ArchiFile* f) { f->ExchangeInt(skipped, fourcc("skpd")); });
        if (a->IsLoading())
            skipOk = a->SkipObject(fourcc("skip"));
        else
            a->ExchangeObject(&skip, fourcc("skip"));
        a->ExchangeInt(after, fourcc("aftr"));
    }
};

void ExpectSameValues(const Rich& x, const Rich& y)
{
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(x.ints[i], y.ints[i]) << i;
    EXPECT_EQ(x.flag, y.flag);
    EXPECT_EQ(x.letter, y.letter);
    EXPECT_EQ(x.real, y.real);
    EXPECT_EQ(x.single, y.single);
    EXPECT_STREQ(x.s254.CStr(), y.s254.CStr());
    EXPECT_STREQ(x.s255.CStr(), y.s255.CStr());
    ASSERT_EQ(x.blob.GetSize(), y.blob.GetSize());
    EXPECT_EQ(0, memcmp(x.blob.GetBytes(), y.blob.GetBytes(), x.blob.GetSize()));
    EXPECT_STREQ(x.chars, y.chars);
    EXPECT_EQ(x.nested, y.nested);
    EXPECT_EQ(x.after, y.after);
}

TEST(ArchiveSave, ImageBytesAreExact)
{
    int one = 1;
    Obj obj([&](ArchiFile* a) { a->ExchangeInt(one, fourcc("nfav")); });
    const Bytes expected = {'a', 'v', 'i', 'k', 'n', 'v', 'r', 'c', 0, 0, 0, 0,  // head
                            0x00, 0x81, 0x5B, 0x3B,                          // root begin 'crvn'
                            0x01, 0x74, 0x25, 0x5A, 0x01,                    // 'nfav' int 1
                            0x00, 0x82, 0x5B, 0x3B,                          // root end
                            0x00, 0xEF, 0x84, 0x03};                         // closing header
    EXPECT_EQ(SaveImage(&obj, fourcc("crvn")), expected);

    Bytes vers = ValueBytes([](ArchiFile* a) { a->ExchangeVersion(3, 2, 1); });
    EXPECT_EQ(vers, (Bytes{0x04, 0x19, 0x13, 0x50, 3, 0, 0, 0, 2, 0, 0, 0, 1, 0, 0, 0}));
    kiv::string ten("0123456789");
    Bytes path = ValueBytes([&](ArchiFile* a) { a->ExchangeString(ten, fourcc("path")); });
    ASSERT_EQ(path.size(), 14u);
    EXPECT_EQ(Bytes(path.begin(), path.begin() + 4), (Bytes{0x0A, 0x37, 0x2D, 0x21}));

    Obj empty([](ArchiFile*) {});
    EXPECT_EQ(ArchiSave().Measure(&empty, fourcc("crvn")), 24);
}

TEST(ArchiveSave, IntWidthsAndLongLengthsUseTheSmallestForm)
{
    const struct { int value; size_t bytes; } widths[] = {
        {0, 4}, {127, 5}, {-128, 5}, {128, 6}, {-32768, 6}, {32768, 8}, {-32769, 8}};
    for (auto w : widths) {
        int v = w.value;
        Bytes b = ValueBytes([&](ArchiFile* a) { a->ExchangeInt(v, fourcc("intv")); });
        EXPECT_EQ(b.size(), w.bytes) << w.value;
        EXPECT_EQ(b[0], w.bytes - 4) << w.value;
    }
    kiv::string s254(std::string(254, 'x').c_str()), s255(std::string(255, 'y').c_str());
    Bytes b254 = ValueBytes([&](ArchiFile* a) { a->ExchangeString(s254, fourcc("strg")); });
    EXPECT_EQ(b254.size(), 4u + 254);
    EXPECT_EQ(b254[0], 254);
    Bytes b255 = ValueBytes([&](ArchiFile* a) { a->ExchangeString(s255, fourcc("strg")); });
    EXPECT_EQ(b255.size(), 8u + 255);
    EXPECT_EQ(Bytes(b255.begin(), b255.begin() + 1), Bytes{255});
    EXPECT_EQ(Bytes(b255.begin() + 4, b255.begin() + 8), (Bytes{255, 0, 0, 0}));
}

TEST(Archive, FileAndMemoryImagesAreIdenticalAndLoadBack)
{
    kivtest::TempDir dir;
    Rich saved;
    saved.Fill();
    const std::string path = dir.File("rich.tv2");
    ASSERT_TRUE(ArchiSave().SaveFile(&saved, fourcc("gstd"), path.c_str()));
    const Bytes image = SaveImage(&saved, fourcc("gstd"));
    const std::string file = kivtest::ReadFile(path);
    EXPECT_EQ(Bytes(file.begin(), file.end()), image);

    Rich fromFile, fromMemory;
    for (Rich* r : {&fromFile, &fromMemory}) {
        for (int& v : r->ints)
            v = 12345;
        r->flag = false;
        r->letter = 0;
        r->real = 0;
        r->single = 0;
        r->chars[0] = 0;
        r->nested = 0;
        r->skipped = 0;
        r->after = 0;
    }
    EXPECT_TRUE(ArchiLoad().LoadFile(&fromFile, fourcc("gstd"), path.c_str()));
    EXPECT_TRUE(LoadImage(&fromMemory, fourcc("gstd"), image));
    ExpectSameValues(saved, fromFile);
    ExpectSameValues(saved, fromMemory);
    EXPECT_TRUE(fromMemory.skipOk);
    EXPECT_EQ(fromMemory.skipped, 0);  // passed over, not read
}

TEST(ArchiveLoad, VersionMatchesByAnyOnePosition)
{
    auto load = [](int a, int b, int c, int sa, int sb, int sc) {
        Obj saved([&](ArchiFile* f) { f->ExchangeVersion(sa, sb, sc); });
        bool result = false;
        Obj loaded([&](ArchiFile* f) { result = f->ExchangeVersion(a, b, c); });
        EXPECT_TRUE(LoadImage(&loaded, fourcc("test"), SaveImage(&saved, fourcc("test"))));
        return result;
    };
    EXPECT_TRUE(load(2, 1, 0, 3, 1, 7));
    EXPECT_FALSE(load(3, 0, 7, 2, 1, 0));
    EXPECT_TRUE(load(9, 9, 0, 2, 1, 0));

    // The single form carries one int compared with the current version.
    Image single = Image::Root().Header(fourcc("vers"), 0x300, 4).Word(5);
    bool result = false;
    Obj loaded([&](ArchiFile* f) { result = f->ExchangeVersion(5, 0, 0); });
    EXPECT_TRUE(LoadImage(&loaded, fourcc("test"), single.Close().b));
    EXPECT_TRUE(result);
}

TEST(ArchiveLoad, HeadersMatchLazilyByTag)
{
    int stored = 42, other = 7;
    Obj saved([&](ArchiFile* f) {
        f->ExchangeInt(stored, fourcc("efgh"));
        Obj inner([&](ArchiFile* g) { g->ExchangeInt(stored, fourcc("unrd")); });
        f->ExchangeObject(&inner, fourcc("innr"));
        f->ExchangeInt(other, fourcc("last"));
    });
    int missing = -1, got = -1, last = -1;
    bool innerOk = false;
    Obj loaded([&](ArchiFile* f) {
        EXPECT_FALSE(f->ExchangeInt(missing, fourcc("abcd")));
        EXPECT_TRUE(f->ExchangeInt(got, fourcc("efgh")));
        Obj inner([](ArchiFile*) {});  // never asks for 'unrd'
        innerOk = f->ExchangeObject(&inner, fourcc("innr"));
        // The unread value still stands before the inner end marker.
        EXPECT_FALSE(f->ExchangeInt(last, fourcc("last")));
    });
    EXPECT_TRUE(LoadImage(&loaded, fourcc("test"), SaveImage(&saved, fourcc("test"))));
    EXPECT_EQ(missing, -1);
    EXPECT_EQ(got, 42);
    EXPECT_TRUE(innerOk);
    EXPECT_EQ(last, -1);
}

TEST(ArchiveLoad, EveryValueConsumesExactlyItsStoredLength)
{
    // Widths no writer makes: an 8-byte int, a 4-byte double, a 2-byte bool,
    // a 3-byte int, a 30-byte text for a 4-byte buffer. Each is passed over whole.
    Image img = Image::Root();
    img.Header(fourcc("intv"), 0x400, 8).Raw({0x10, 0x27, 0, 0, 0xEE, 0xEE, 0xEE, 0xEE});
    img.Header(fourcc("real"), 0x600, 4).Raw({0, 0, 0x80, 0x3F});
    img.Header(fourcc("flag"), 0x400, 2).Raw({1, 0xEE});
    img.Header(fourcc("odds"), 0x400, 3).Raw({1, 2, 3});
    img.Header(fourcc("chrs"), 0xA00, 30);
    for (int i = 0; i < 30; ++i)
        img.Raw({static_cast<uint8_t>('A' + i % 26)});
    img.Header(fourcc("aftr"), 0x400, 1).Raw({9});
    int v = 0, odd = -1, after = 0;
    double d = 0.5;
    bool flag = false;
    char small[4] = "zz";
    Obj loaded([&](ArchiFile* f) {
        EXPECT_TRUE(f->ExchangeInt(v, fourcc("intv")));
        EXPECT_FALSE(f->ExchangeDouble(d, fourcc("real")));
        EXPECT_TRUE(f->ExchangeBool(flag, fourcc("flag")));
        EXPECT_FALSE(f->ExchangeInt(odd, fourcc("odds")));
        EXPECT_TRUE(f->ExchangeChars(small, sizeof small, fourcc("chrs")));
        EXPECT_TRUE(f->ExchangeInt(after, fourcc("aftr")));
    });
    EXPECT_TRUE(LoadImage(&loaded, fourcc("test"), img.Close().b));
    EXPECT_EQ(v, 10000);
    EXPECT_EQ(d, 0.5);
    EXPECT_TRUE(flag);
    EXPECT_EQ(odd, -1);
    EXPECT_STREQ(small, "ABC");
    EXPECT_EQ(after, 9);
}

TEST(ArchiveLoad, TruncatedImageFailsWithoutLooping)
{
    Rich saved;
    saved.Fill();
    const Bytes image = SaveImage(&saved, fourcc("test"));
    // Every cut before the root's end marker fails; without the closing
    // header alone (never read) the archive still loads.
    for (size_t cut = 0; cut + 4 < image.size(); ++cut) {
        Rich loaded;
        EXPECT_FALSE(LoadImage(&loaded, fourcc("test"), Bytes(image.begin(), image.begin() + cut))) << cut;
    }
    Rich loaded;
    EXPECT_TRUE(LoadImage(&loaded, fourcc("test"), Bytes(image.begin(), image.end() - 4)));

    kivtest::TempDir dir;
    const std::string path = dir.File("cut.tv2");
    ASSERT_TRUE(kivtest::WriteFile(path, image.data(), image.size() / 2));
    EXPECT_FALSE(ArchiLoad().LoadFile(&loaded, fourcc("test"), path.c_str()));
}

TEST(ArchiveLoad, HostileLengthsFailTheLoad)
{
    const uint32_t lengths[] = {0xFFFFFFF0u, 0x80000000u, 0x7FFFFFFFu, 13};  // 13: one byte more than is left
    for (uint32_t length : lengths) {
        for (uint32_t type : {0x700u, 0x800u, 0xA00u, 0x400u}) {
            Image img = Image::Root().Header(fourcc("huge"), type, 255).Word(length).Raw({1, 2, 3, 4});
            kiv::string text("kept");
            kiv::data blob;
            char chars[8] = "kept";
            int v = 3;
            Obj loaded([&](ArchiFile* f) {
                EXPECT_FALSE(type == 0x700 ? f->ExchangeString(text, fourcc("huge"))
                             : type == 0x800 ? f->ExchangeData(blob, fourcc("huge"))
                             : type == 0xA00 ? f->ExchangeChars(chars, sizeof chars, fourcc("huge"))
                                             : f->ExchangeInt(v, fourcc("huge")));
                EXPECT_FALSE(f->SkipObject(fourcc("huge")));
            });
            EXPECT_FALSE(LoadImage(&loaded, fourcc("test"), img.Close().b)) << length << " " << type;
            EXPECT_STREQ(text.CStr(), "kept");
            EXPECT_EQ(blob.GetSize(), 0);
            EXPECT_STREQ(chars, "kept");
            EXPECT_EQ(v, 3);
        }
    }
}

TEST(ArchiveLoad, BadHeadOrTagFailsAndLeavesTheRootAlone)
{
    int value = 5;
    Obj saved([&](ArchiFile* f) { f->ExchangeInt(value, fourcc("valu")); });
    const Bytes image = SaveImage(&saved, fourcc("test"));
    int got = -1;
    Obj loaded([&](ArchiFile* f) { f->ExchangeInt(got, fourcc("valu")); });
    EXPECT_FALSE(LoadImage(&loaded, fourcc("pref"), image));  // another archive type
    Bytes badMagic = image;
    badMagic[0] = 'x';
    EXPECT_FALSE(LoadImage(&loaded, fourcc("test"), badMagic));
    Bytes noRoot = image;
    noRoot[13] ^= 0x01;  // another tag on the root's begin marker
    EXPECT_FALSE(LoadImage(&loaded, fourcc("test"), noRoot));
    EXPECT_EQ(got, -1);
    EXPECT_FALSE(ArchiLoad().LoadFile(&loaded, fourcc("test"), "/nonexistent/file"));
    kivtest::TempDir dir;
    EXPECT_FALSE(ArchiLoad().LoadFile(&loaded, fourcc("test"), dir.Path().c_str()));
    // A FIFO is refused at once, never waited on for a writer.
    const std::string fifo = dir.File("pipe");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::atomic<int> fifoResult{-1};
    std::thread reader([&] { fifoResult = ArchiLoad().LoadFile(&loaded, fourcc("test"), fifo.c_str()) ? 1 : 0; });
    for (int i = 0; i < 6000 && fifoResult < 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (fifoResult < 0) {
        ADD_FAILURE() << "LoadFile waits on a FIFO";
        const int writer = open(fifo.c_str(), O_WRONLY);  // lets the blocked open return
        reader.join();
        close(writer);
    } else {
        reader.join();
    }
    EXPECT_EQ(fifoResult, 0);

    // A tag outside a-z is a programming error: saving throws, loading fails.
    Obj badTag([&](ArchiFile* f) { f->ExchangeInt(got, fourcc("Valu")); });
    EXPECT_THROW(ArchiSave().Measure(&badTag, fourcc("test")), std::invalid_argument);
    EXPECT_FALSE(LoadImage(&badTag, fourcc("test"), image));
}

TEST(ArchiveSave, MemoryImageIsRemeasuredWhenTheSecondPassGrows)
{
    // Writes one more value on each pass: never fits the measured block.
    int calls = 0;
    Obj growing([&](ArchiFile* f) {
        ++calls;
        for (int i = 0; i < calls; ++i)
            f->ExchangeInt(i, fourcc("grow"));
    });
    kiv::data block;
    uint8_t old[3] = {1, 2, 3};
    block.Borrow(old, 3);
    EXPECT_FALSE(ArchiSave().SaveMemory(&growing, fourcc("test"), block));
    EXPECT_EQ(block.GetBytes(), old);  // left as it was

    // Grows once, then stays: the second measure fits.
    calls = 0;
    Obj once([&](ArchiFile* f) {
        int n = ++calls == 1 ? 1 : 2;
        for (int i = 0; i < n; ++i)
            f->ExchangeInt(i, fourcc("grow"));
    });
    ASSERT_TRUE(ArchiSave().SaveMemory(&once, fourcc("test"), block));
    EXPECT_EQ(block.GetSize(), 24 + 4 + 5);  // the ints 0 and 1
}

TEST(ArchiveSave, FailedFileWriteKeepsTheOldFile)
{
    kivtest::TempDir dir;
    const std::string path = dir.File("prefs");
    ASSERT_TRUE(kivtest::WriteFile(path, "old", 3));
    chmod(path.c_str(), 0640);
    kiv::data blob;
    blob.Alloc(1 << 16);
    Obj big([&](ArchiFile* f) { f->ExchangeData(blob, fourcc("blob")); });

    bool ok = true;
    {
        filetest::FileSizeLimit diskFull(4096);
        ASSERT_TRUE(diskFull.IsSet());
        ok = ArchiSave().SaveFile(&big, fourcc("test"), path.c_str());
    }
    EXPECT_FALSE(ok);
    EXPECT_EQ(kivtest::ReadFile(path), "old");

    EXPECT_FALSE(ArchiSave().SaveFile(&big, fourcc("test"), dir.File("none/prefs").c_str()));
    EXPECT_FALSE(ArchiSave().SaveFile(&big, fourcc("test"), "/dev/full"));
    EXPECT_FALSE(ArchiSave().SaveFile(&big, fourcc("test"), dir.Path().c_str()));

    // No temporary file is left behind; a good save replaces the file and keeps its mode.
    ASSERT_TRUE(ArchiSave().SaveFile(&big, fourcc("test"), path.c_str()));
    EXPECT_EQ(kivtest::ReadFile(path).size(), 12u + 4 + 8 + (1 << 16) + 4 + 4);
    struct stat st;
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_EQ(filetest::FolderEntries(dir.Path()), std::vector<std::string>{"prefs"});
}

}  // namespace
