// The utility's scan: a first scan of a tree of .gig files into a new
// database (one transaction per file), a rescan that finds every file known,
// and the instrument-name reader alone.
#include "gig/GigWriter.h"
#include "utility/GigaNameReader.h"
#include "utility/GigaScan.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

namespace {

namespace fs = std::filesystem;

constexpr int kFolders = 10;
constexpr int kFilesPerFolder = 20;
constexpr int kInstrumentsPerFile = 16;

// A temporary tree of kFolders x kFilesPerFolder banks, removed at exit.
class Library {
public:
    Library()
    {
        const char* base = getenv("TMPDIR");
        std::string pattern = std::string(base && base[0] ? base : "/tmp") + "/corvane-bench-XXXXXX";
        if (!mkdtemp(pattern.data()))
            return;
        m_folder = pattern;
        gigtools::GigBuilder bank;
        for (int i = 0; i < kInstrumentsPerFile; ++i)
            bank.AddInstrument(gigtools::GigInstrument("Instrument " + std::to_string(i)));
        for (int f = 0; f < kFolders; ++f) {
            fs::create_directories(Root() + "folder" + std::to_string(f));
            for (int n = 0; n < kFilesPerFolder; ++n)
                bank.Write(Root() + "folder" + std::to_string(f) + "/bank" + std::to_string(n) + ".gig");
        }
    }
    ~Library()
    {
        std::error_code ec;
        if (!m_folder.empty())
            fs::remove_all(m_folder, ec);
    }
    std::string Root() const { return m_folder + "/lib/"; }
    std::string Database() const { return m_folder + "/bench.db"; }
    std::string AnyBank() const { return Root() + "folder0/bank0.gig"; }

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
        std::this_thread::yield();
    scan.WaitFinished(10000);
}

void BM_FirstScan(benchmark::State& state)
{
    Library& library = TheLibrary();
    for (auto _ : state) {
        state.PauseTiming();
        fs::remove(library.Database());
        GigaScan scan;
        scan.GetBase().OpenAt(library.Database().c_str());
        state.ResumeTiming();
        ScanOnce(scan, library.Root());
    }
    state.counters["files/s"] =
        benchmark::Counter(kFolders * kFilesPerFolder, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_FirstScan)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Rescan(benchmark::State& state)
{
    Library& library = TheLibrary();
    fs::remove(library.Database());
    GigaScan scan;
    scan.GetBase().OpenAt(library.Database().c_str());
    ScanOnce(scan, library.Root());
    for (auto _ : state)
        ScanOnce(scan, library.Root());
    state.counters["files/s"] =
        benchmark::Counter(kFolders * kFilesPerFolder, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_Rescan)->Unit(benchmark::kMillisecond)->UseRealTime();

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
