// The utility's scan at library scale: a first scan of 20,000 small .gig
// files into a new database and a rescan of the unchanged tree, each shown
// beside the time it takes just to read the first 64 KB of the same files
// (the floor any scan stands on), and the instrument-name reader alone.
//
// The tree and the database lie on the ordinary disk under the build folder
// (KIV_BENCH_DIR overrides it), never on a memory file system: the commits'
// waits for the disk are what the first scan is about. The tree is kept for
// the next run; the database is made anew.
#include "gig/GigWriter.h"
#include "utility/GigaNameReader.h"
#include "utility/GigaScan.h"

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr int kFolders = 200;
constexpr int kFilesPerFolder = 100;
constexpr int kFiles = kFolders * kFilesPerFolder;
constexpr int kInstrumentsPerFile = 4;
constexpr size_t kHeadBytes = 64 * 1024;

class Library {
public:
    Library()
    {
        const char* base = getenv("KIV_BENCH_DIR");
        m_folder = std::string(base && base[0] ? base : KIV_BENCH_BINARY_DIR) + "/corvane-bench";
        std::string marker = m_folder + "/complete";
        if (fs::exists(marker))
            return;
        gigtools::GigBuilder bank;
        for (int i = 0; i < kInstrumentsPerFile; ++i)
            bank.AddInstrument(gigtools::GigInstrument("Instrument " + std::to_string(i)));
        for (int f = 0; f < kFolders; ++f) {
            fs::create_directories(Folder(f));
            for (int n = 0; n < kFilesPerFolder; ++n)
                bank.Write(Folder(f) + "bank" + std::to_string(n) + ".gig");
        }
        FILE* done = fopen(marker.c_str(), "w");
        if (done)
            fclose(done);
    }
    std::string Root() const { return m_folder + "/lib/"; }
    std::string Folder(int f) const { return Root() + "folder" + std::to_string(f) + "/"; }
    std::string Database() const { return m_folder + "/bench.db"; }
    std::string AnyBank() const { return Folder(0) + "bank0.gig"; }
    void RemoveDatabase() const
    {
        for (const char* suffix : {"", "-wal", "-shm", "-journal"})
            fs::remove(Database() + suffix);
    }

    // Seconds to read the first 64 KB of every bank once.
    double ReadOnce() const
    {
        std::vector<char> buffer(kHeadBytes);
        auto start = std::chrono::steady_clock::now();
        for (int f = 0; f < kFolders; ++f) {
            for (int n = 0; n < kFilesPerFolder; ++n) {
                std::string path = Folder(f) + "bank" + std::to_string(n) + ".gig";
                int fd = open(path.c_str(), O_RDONLY);
                if (fd < 0)
                    continue;
                benchmark::DoNotOptimize(read(fd, buffer.data(), buffer.size()));
                close(fd);
            }
        }
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }

private:
    std::string m_folder;
};

Library& TheLibrary()
{
    static Library library;
    return library;
}

class DoneFlag : public ScanEventTarget {
public:
    bool PostEvent(const XEvent& event) override
    {
        if (static_cast<uint32_t>(event.kind) == corvane::kEventDone)
            done.store(true, std::memory_order_release);
        return true;
    }
    std::atomic<bool> done{false};
};

void ScanOnce(GigaScan& scan, const std::string& root)
{
    DoneFlag flag;
    if (!scan.Start(root.c_str(), &flag))
        return;
    while (!flag.done.load(std::memory_order_acquire))
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    scan.WaitFinished(10000);
}

// The 64 KB read beside the scan, measured just before each scan so both
// see the same machine: both times and how many times longer the scan took.
struct Beside {
    double read = 0;
    double scan = 0;
    void Show(benchmark::State& state) const
    {
        double n = static_cast<double>(state.iterations());
        state.counters["read64k_ms"] = read / n * 1000;
        state.counters["scan_ms"] = scan / n * 1000;
        state.counters["x_read"] = scan / read;
        state.counters["files/s"] = kFiles * n / scan;
    }
};

double Seconds(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void BM_FirstScan(benchmark::State& state)
{
    Library& library = TheLibrary();
    Beside beside;
    for (auto _ : state) {
        state.PauseTiming();
        library.RemoveDatabase();
        beside.read += library.ReadOnce();
        GigaScan scan;
        scan.GetBase().OpenAt(library.Database().c_str());
        state.ResumeTiming();
        auto start = std::chrono::steady_clock::now();
        ScanOnce(scan, library.Root());
        beside.scan += Seconds(start);
    }
    beside.Show(state);
}
BENCHMARK(BM_FirstScan)->Iterations(5)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Rescan(benchmark::State& state)
{
    Library& library = TheLibrary();
    library.RemoveDatabase();
    GigaScan scan;
    scan.GetBase().OpenAt(library.Database().c_str());
    ScanOnce(scan, library.Root());
    Beside beside;
    for (auto _ : state) {
        state.PauseTiming();
        beside.read += library.ReadOnce();
        state.ResumeTiming();
        auto start = std::chrono::steady_clock::now();
        ScanOnce(scan, library.Root());
        beside.scan += Seconds(start);
    }
    beside.Show(state);
}
BENCHMARK(BM_Rescan)->Iterations(5)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ReadNames(benchmark::State& state)
{
    std::string path = TheLibrary().AnyBank();
    GigaNameReader reader;
    for (auto _ : state)
        benchmark::DoNotOptimize(reader.ReadGigaFile(path.c_str()));
    state.counters["files/s"] = benchmark::Counter(1, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_ReadNames)->Unit(benchmark::kMicrosecond);

}  // namespace
