// Sequential reads through UFileDisk's one-block cache, in small and
// block-sized items, over a 64 MB file made in a temporary folder.
#include "kiv/file/UFile.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr int64_t kFileBytes = 64 << 20;

struct BenchFile {
    std::string folder;
    std::string path;

    BenchFile()
    {
        const char* base = getenv("TMPDIR");
        std::string pattern = std::string(base && base[0] ? base : "/tmp") + "/ufile-bench-XXXXXX";
        if (!mkdtemp(pattern.data()))
            return;
        folder = pattern;
        path = folder + "/read.bin";
        UFileDisk writer;
        if (!writer.OpenWrite(path.c_str()))
            return;
        std::vector<uint8_t> chunk(1 << 20);
        for (size_t i = 0; i < chunk.size(); ++i)
            chunk[i] = static_cast<uint8_t>(i * 7);
        for (int64_t done = 0; done < kFileBytes; done += static_cast<int64_t>(chunk.size()))
            writer.Write(chunk.data(), 1, static_cast<int64_t>(chunk.size()));
        writer.Close();
    }
    ~BenchFile()
    {
        unlink(path.c_str());
        rmdir(folder.c_str());
    }
};

const std::string& BenchPath()
{
    static BenchFile file;
    return file.path;
}

void SequentialRead(benchmark::State& state)
{
    const int64_t item = state.range(0);
    std::vector<uint8_t> buffer(static_cast<size_t>(item));
    int64_t total = 0;
    for (auto _ : state) {
        UFileDisk file;
        if (!file.Open(BenchPath().c_str(), false)) {
            state.SkipWithError("no bench file");
            return;
        }
        uint64_t sum = 0;
        while (file.Read(buffer.data(), item, 1) == item)
            sum += buffer[0];
        benchmark::DoNotOptimize(sum);
        total += file.GetPosition();
    }
    state.SetBytesProcessed(total);
}

}  // namespace

BENCHMARK(SequentialRead)->Arg(4)->Arg(4096)->Unit(benchmark::kMillisecond);
