#include "kiv/file/UFile.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string Pattern(size_t n, int seed = 0)
{
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i)
        s[i] = static_cast<char>((i * 31 + seed) & 0xFF);
    return s;
}

long long DiskSize(const std::string& path)
{
    struct stat info;
    return stat(path.c_str(), &info) == 0 ? info.st_size : -1;
}

TEST(UFileDisk, AppendsGiveFilesOfExactlyTheirSize)
{
    kivtest::TempDir dir;
    for (size_t size : {4096u, 5000u, 8192u, 4095u}) {
        for (int item : {7, 4096, 10000}) {
            SCOPED_TRACE("size " + std::to_string(size) + " item " + std::to_string(item));
            std::string path = dir.File("append.bin");
            std::string data = Pattern(size, item);
            UFileDisk file;
            ASSERT_TRUE(file.OpenWrite(path.c_str()));
            for (size_t at = 0; at < size; at += item) {
                size_t take = std::min<size_t>(item, size - at);
                ASSERT_EQ(file.Write(data.data() + at, 1, take), static_cast<int64_t>(take));
            }
            EXPECT_EQ(file.GetSize(), static_cast<int64_t>(size));
            ASSERT_TRUE(file.Close());
            EXPECT_EQ(kivtest::ReadFile(path), data);
        }
    }
}

TEST(UFileDisk, AppendWritesFullBlocksAtOnceAndTheRestAtClose)
{
    kivtest::TempDir dir;
    std::string path = dir.File("blocks.bin");
    std::string data = Pattern(5000);
    UFileDisk file;
    ASSERT_TRUE(file.OpenWrite(path.c_str()));
    ASSERT_EQ(file.Write(data.data(), 1, 5000), 5000);
    EXPECT_EQ(DiskSize(path), 4096);
    ASSERT_TRUE(file.Close());
    EXPECT_EQ(DiskSize(path), 5000);
}

TEST(UFileDisk, ReadsAreClippedToWhatIsLeft)
{
    kivtest::TempDir dir;
    std::string path = dir.File("ten.bin");
    ASSERT_TRUE(kivtest::WriteFile(path, "0123456789", 10));
    UFileDisk file;
    ASSERT_TRUE(file.Open(path.c_str(), false));
    char buf[16] = {};
    file.SetPosition(6);
    EXPECT_EQ(file.Read(buf, 1, 10), 4);
    EXPECT_EQ(std::string(buf, 4), "6789");
    EXPECT_EQ(file.GetPosition(), 10);
    EXPECT_EQ(file.Read(buf, 1, 10), 0);
    file.SetPosition(50);  // beyond the end: nothing, never a negative count
    EXPECT_EQ(file.Read(buf, 4, 2), 0);
    EXPECT_EQ(file.GetPosition(), 50);
}

TEST(UFileDisk, SequentialAndScatteredReadsMatchTheFile)
{
    kivtest::TempDir dir;
    std::string path = dir.File("big.bin");
    std::string data = Pattern(3 * 4096 + 123);
    ASSERT_TRUE(kivtest::WriteFile(path, data.data(), data.size()));
    UFileDisk file;
    ASSERT_TRUE(file.Open(path.c_str(), false));
    ASSERT_EQ(file.GetSize(), static_cast<int64_t>(data.size()));
    std::string got;
    char item[13];
    while (int64_t n = file.Read(item, 1, sizeof item))
        got.append(item, static_cast<size_t>(n));
    EXPECT_EQ(got, data);

    for (int64_t pos : {8000, 10, 4090, 12000, 0, 4096 * 3 + 100}) {
        char buf[200];
        file.SetPosition(pos);
        int64_t n = file.Read(buf, 1, sizeof buf);
        int64_t expect = std::min<int64_t>(200, static_cast<int64_t>(data.size()) - pos);
        ASSERT_EQ(n, expect) << pos;
        EXPECT_EQ(std::string(buf, static_cast<size_t>(n)), data.substr(static_cast<size_t>(pos), n)) << pos;
    }
}

TEST(UFileDisk, FileShrinkingUnderAReaderEndsTheReadWithoutLooping)
{
    kivtest::TempDir dir;
    std::string path = dir.File("shrink.bin");
    std::string data = Pattern(10000);
    ASSERT_TRUE(kivtest::WriteFile(path, data.data(), data.size()));
    UFileDisk file;
    ASSERT_TRUE(file.Open(path.c_str(), false));
    ASSERT_EQ(truncate(path.c_str(), 5000), 0);
    std::string buf(10000, '\0');
    EXPECT_EQ(file.Read(buf.data(), 1, 10000), 5000);
    EXPECT_EQ(buf.substr(0, 5000), data.substr(0, 5000));
}

TEST(UFileDisk, PatchesLandWhereverTheBytesAre)
{
    kivtest::TempDir dir;
    std::string path = dir.File("patch.bin");
    struct Case {
        size_t size;
        int64_t at;
        const char* what;
    };
    // In the pending block; in a written block; across a written block and
    // the pending one; in the last block of an exact multiple of 4096.
    for (Case c : {Case{10, 4, "WXYZ"}, Case{6000, 100, "abcdefgh"}, Case{6000, 4090, "0123456789AB"},
                   Case{8192, 8190, "QR"}, Case{8192, 4094, "mnopq"}}) {
        SCOPED_TRACE(std::to_string(c.size) + "@" + std::to_string(c.at));
        std::string data = Pattern(c.size);
        UFileDisk file;
        ASSERT_TRUE(file.OpenWrite(path.c_str()));
        ASSERT_EQ(file.Write(data.data(), 1, data.size()), static_cast<int64_t>(data.size()));
        size_t n = strlen(c.what);
        file.SetPosition(c.at);
        ASSERT_EQ(file.Write(c.what, 1, n), static_cast<int64_t>(n));
        file.SeekEnd();
        ASSERT_TRUE(file.Close());
        data.replace(static_cast<size_t>(c.at), n, c.what);
        EXPECT_EQ(kivtest::ReadFile(path), data);
    }
}

TEST(UFileDisk, PatchRunningPastTheEndAppendsTheRestAndNeverOverruns)
{
    kivtest::TempDir dir;
    std::string path = dir.File("over.bin");
    std::string data = Pattern(4090);
    std::string tail = Pattern(20, 5);
    UFileDisk file;
    ASSERT_TRUE(file.OpenWrite(path.c_str()));
    ASSERT_EQ(file.Write(data.data(), 1, data.size()), 4090);
    file.SetPosition(4085);
    ASSERT_EQ(file.Write(tail.data(), 1, tail.size()), 20);
    EXPECT_EQ(file.GetSize(), 4105);
    ASSERT_TRUE(file.Close());
    EXPECT_EQ(kivtest::ReadFile(path), data.substr(0, 4085) + tail);
}

TEST(UFileDisk, WritesThatCannotLandReportNothingWritten)
{
    kivtest::TempDir dir;
    std::string path = dir.File("w.bin");
    UFileDisk file;
    EXPECT_EQ(file.Write("abc", 1, 3), 0);  // not open
    ASSERT_TRUE(file.OpenWrite(path.c_str()));
    ASSERT_EQ(file.Write("abc", 1, 3), 3);
    file.SetPosition(10);  // beyond the end
    EXPECT_EQ(file.Write("x", 1, 1), 0);
    EXPECT_EQ(file.GetSize(), 3);
    ASSERT_TRUE(file.Close());

    UFileDisk reader;
    ASSERT_TRUE(reader.Open(path.c_str(), false));
    EXPECT_EQ(reader.Write("zz", 1, 2), 0);
    reader.Close();
    EXPECT_EQ(kivtest::ReadFile(path), "abc");
}

TEST(UFileDisk, SwappingReversesItemsOnReadAndWriteButNotTheCallersBytes)
{
    kivtest::TempDir dir;
    std::string path = dir.File("swap.bin");
    const uint8_t bytes[] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    ASSERT_TRUE(kivtest::WriteFile(path, bytes, sizeof bytes));
    UFileDisk file;
    ASSERT_TRUE(file.Open(path.c_str(), true));
    uint8_t got[9] = {};
    EXPECT_EQ(file.Read(got, 4, 1), 4);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(got), 4), std::string("\4\3\2\1", 4));
    EXPECT_EQ(file.Read(got, 2, 3), 5);  // clipped to the 5 bytes left; whole items swapped
    EXPECT_EQ(std::string(reinterpret_cast<char*>(got), 5), std::string("\6\5\10\7\11", 5));
    file.Close();

    static const uint8_t words[] = {1, 2, 3, 4, 5, 6, 7, 8};  // read-only memory
    UFileDisk writer;
    ASSERT_TRUE(writer.OpenWrite(path.c_str()));
    writer.SetSwapBytes(true);
    EXPECT_EQ(writer.Write(words, 4, 2), 8);
    ASSERT_TRUE(writer.Close());
    EXPECT_EQ(kivtest::ReadFile(path), std::string("\4\3\2\1\10\7\6\5", 8));
    EXPECT_EQ(words[0], 1);
}

TEST(UFileDisk, UpdateKeepsTheExistingBytesAndAppendsAfterThem)
{
    kivtest::TempDir dir;
    std::string path = dir.File("update.bin");
    std::string data = Pattern(4100);
    ASSERT_TRUE(kivtest::WriteFile(path, data.data(), data.size()));
    UFileDisk file;
    ASSERT_TRUE(file.OpenUpdate(path.c_str()));
    EXPECT_TRUE(file.IsWriting());
    EXPECT_EQ(file.GetSize(), 4100);
    file.SeekEnd();
    ASSERT_EQ(file.Write("tail", 1, 4), 4);
    file.SetPosition(2);
    ASSERT_EQ(file.Write("P", 1, 1), 1);
    char back[8] = {};
    file.SetPosition(4096);
    EXPECT_EQ(file.Read(back, 1, 8), 8);
    EXPECT_EQ(std::string(back, 8), data.substr(4096) + "tail");
    ASSERT_TRUE(file.Close());
    data[2] = 'P';
    EXPECT_EQ(kivtest::ReadFile(path), data + "tail");
}

TEST(UFileDisk, OpeningFoldersMissingFilesAndOverlongPathsFails)
{
    kivtest::TempDir dir;
    UFileDisk file;
    EXPECT_FALSE(file.Open(dir.Path().c_str(), false));
    EXPECT_FALSE(file.IsOpen());
    EXPECT_FALSE(file.OpenWrite(dir.Path().c_str()));
    EXPECT_FALSE(file.OpenUpdate(dir.Path().c_str()));
    EXPECT_FALSE(file.Open(dir.File("missing").c_str(), false));
    EXPECT_FALSE(file.Open(nullptr, false));

    std::string longPath = dir.Path() + "/" + std::string(450, 'x');
    EXPECT_FALSE(file.OpenWrite(longPath.c_str()));
    EXPECT_FALSE(file.Open(longPath.c_str(), false));
    char buf[4];
    EXPECT_EQ(file.Read(buf, 1, 4), 0);

    ASSERT_EQ(mkfifo(dir.File("pipe").c_str(), 0600), 0);
    EXPECT_FALSE(file.Open(dir.File("pipe").c_str(), false));  // no hang waiting for a writer
}

}  // namespace
