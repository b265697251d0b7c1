// .gig reading figures: opening the table of contents of a 2000-instrument
// bank, and the preload decode speed in MB/s (of 16-bit output) of plain
// 16-bit, 24-bit (mono and stereo) and each compressed mode, next to the plain
// read speed of the same file's data (PlainRead, and the counter "ratio":
// decode time / read time of the same data bytes).
#include <benchmark/benchmark.h>

#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "bench/BenchSupport.h"
#include "engine/GigaBank.h"
#include "engine/GigaMemory.h"
#include "gig/GigWriter.h"

namespace {

// The banks' folder, removed with them when the program ends.
std::string TempFolder()
{
    static kivbench::BenchDir dir("gigbench");
    std::string path = dir.File("");
    path.pop_back();  // the separator File added
    return path;
}

const std::string& BigBank()
{
    static std::string path;
    if (path.empty()) {
        using namespace gigtools;
        GigBuilder b;
        b.AddSample(GigSample::Tone("s", 1, 16, 44100, 60, 256));
        for (int i = 0; i < 2000; ++i) {
            GigInstrument ins("Instrument " + std::to_string(i));
            ins.regions.push_back(GigRegion::Single(0, 127, 0));
            b.AddInstrument(ins);
        }
        path = TempFolder() + "/big.gig";
        b.Write(path);
    }
    return path;
}

// One 20-second sample per format: mode -2 plain, -1 the encoder's choice.
const std::string& SampleBank(int bits, int mode, int channels = 1)
{
    static std::map<std::tuple<int, int, int>, std::string> paths;
    std::string& path = paths[{bits, mode, channels}];
    if (path.empty()) {
        using namespace gigtools;
        GigBuilder b;
        const double levels[] = {0.5, 0.02, 0.5, 0.05, 0.003, 0.0002};
        GigSample s = GigSample::Tone("s", channels, bits, 44100, 60, 44100 * 20, 5.0, mode >= 0 ? levels[mode] : 0.5);
        s.compressed = mode != -2;
        s.forcedMode = mode >= 0 ? mode : -1;
        b.AddSample(s);
        GigInstrument ins("x");
        ins.regions.push_back(GigRegion::Single(0, 127, 0));
        b.AddInstrument(ins);
        path = TempFolder() + "/s" + std::to_string(bits) + "_" + std::to_string(mode + 2) + "_" +
               std::to_string(channels) + ".gig";
        b.Write(path);
    }
    return path;
}

void BankOpen(benchmark::State& state)
{
    const std::string& path = BigBank();
    GigaBank bank;
    for (auto _ : state) {
        if (!bank.Open(path.c_str()))
            state.SkipWithError("open failed");
        benchmark::DoNotOptimize(bank.GetProgramCount());
    }
    state.counters["instruments"] = bank.GetProgramCount();
}
BENCHMARK(BankOpen)->Unit(benchmark::kMillisecond);

// Reads the sample's data as it is, n times; seconds per read.
double ReadSeconds(const GigaSample& s, std::vector<uint8_t>& buf, int n)
{
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < n; ++i)
        benchmark::DoNotOptimize(s.file->GetFile().ReadAt(s.dataOffset, buf.data(), s.dataSize));
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() / n;
}

void Decode(benchmark::State& state, int bits, int mode, int channels)
{
    GigaBank bank;
    if (!bank.Open(SampleBank(bits, mode, channels).c_str()) || !bank.LoadSampleList()) {
        state.SkipWithError("bank failed");
        return;
    }
    const GigaSample& s = *bank.GetSample(0);
    std::vector<int16_t> left(s.frames), right(s.frames);
    std::vector<uint8_t> buf(s.dataSize);
    GigaSampleReader reader;
    ReadSeconds(s, buf, 1);  // warm the page cache
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        reader.SetUp(&s, &s.file->GetFile(), s.dataOffset);
        benchmark::DoNotOptimize(reader.Decode16(left.data(), channels == 2 ? right.data() : nullptr, s.frames));
    }
    const int64_t iterations = std::max<int64_t>(state.iterations(), 1);
    const double decodeSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() / iterations;
    state.SetBytesProcessed(state.iterations() * s.frames * channels * 2);
    // The plain read of the same data bytes, as many times.
    const double readSeconds = ReadSeconds(s, buf, static_cast<int>(std::min<int64_t>(iterations, 2000)));
    const double dataMB = static_cast<double>(s.dataSize) / 1048576.0;
    state.counters["data_mb_s"] = decodeSeconds > 0 ? dataMB / decodeSeconds : 0;
    state.counters["read_mb_s"] = readSeconds > 0 ? dataMB / readSeconds : 0;
    state.counters["ratio"] = readSeconds > 0 ? decodeSeconds / readSeconds : 0;
}

// The same file's data read as it is, for comparison.
void PlainRead(benchmark::State& state, int bits, int mode, int channels)
{
    GigaBank bank;
    if (!bank.Open(SampleBank(bits, mode, channels).c_str()) || !bank.LoadSampleList()) {
        state.SkipWithError("bank failed");
        return;
    }
    const GigaSample& s = *bank.GetSample(0);
    std::vector<uint8_t> buf(s.dataSize);
    ReadSeconds(s, buf, 1);  // warm the page cache
    for (auto _ : state)
        benchmark::DoNotOptimize(s.file->GetFile().ReadAt(s.dataOffset, buf.data(), s.dataSize));
    state.SetBytesProcessed(state.iterations() * s.dataSize);
}

BENCHMARK_CAPTURE(Decode, Plain16, 16, -2, 1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(PlainRead, Plain16, 16, -2, 1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Decode, Plain16Stereo, 16, -2, 2)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(PlainRead, Plain16Stereo, 16, -2, 2)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Decode, Plain24, 24, -2, 1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(PlainRead, Plain24, 24, -2, 1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Decode, Plain24Stereo, 24, -2, 2)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(PlainRead, Plain24Stereo, 24, -2, 2)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Decode, Mode0, 16, 0, 1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(PlainRead, Mode0, 16, 0, 1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Decode, Mode1, 16, 1, 1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(PlainRead, Mode1, 16, 1, 1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Decode, Mode2, 24, 2, 1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(PlainRead, Mode2, 24, 2, 1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Decode, Mode3, 24, 3, 1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(PlainRead, Mode3, 24, 3, 1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Decode, Mode4, 24, 4, 1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(PlainRead, Mode4, 24, 4, 1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Decode, Mode5, 24, 5, 1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(PlainRead, Mode5, 24, 5, 1)->Unit(benchmark::kMillisecond);

}  // namespace

// User and system time of every thread of the process so far, in ms.
double ProcessCpuMs()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000.0 +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000.0;
}

// Program preload: one instrument of 16 five-second stereo samples loaded
// whole into memory, with the compressed samples decoded on one thread or on
// the pool; data_mb_s counts the file's sample data bytes. PlainRead-like
// reading of the same bytes is "read_mb_s"; cpu_ms the time every thread
// spent per load (a pool larger than the processors the process may use
// costs time without saving any: try it under taskset).
const std::string& ProgramBank(bool compressed)
{
    static std::string paths[2];
    std::string& path = paths[compressed];
    if (path.empty()) {
        using namespace gigtools;
        GigBuilder b;
        GigInstrument ins("program");
        for (int k = 0; k < 16; ++k) {
            GigSample s = GigSample::Tone(std::string("s").append(std::to_string(k)), 2, 16, 44100, 40 + 3 * k, 44100 * 5, 5.0, 0.5);
            s.compressed = compressed;
            ins.regions.push_back(GigRegion::Single(40 + 3 * k, 42 + 3 * k, b.AddSample(s), true));
        }
        b.AddInstrument(ins);
        path = TempFolder() + (compressed ? "/program_c.gig" : "/program_p.gig");
        b.Write(path);
    }
    return path;
}

void ProgramPreload(benchmark::State& state, bool compressed, int threads)
{
    GigaHooks::SetPreloadSeconds(10.0f, 10.0f);
    GigaBank::SetDecodeThreads(threads);
    int64_t bytes = 0;
    double readSeconds = 0;
    double cpuMs = 0;  // every thread's, while loading
    std::unique_ptr<GigaBank> loaded;
    for (auto _ : state) {
        state.PauseTiming();
        loaded.reset();  // the last pass's unload is not part of this load
        loaded = std::make_unique<GigaBank>();
        GigaBank& bank = *loaded;
        if (!bank.Open(ProgramBank(compressed).c_str()) || !bank.LoadSampleList()) {
            state.SkipWithError("bank failed");
            break;
        }
        bytes = 0;
        std::vector<uint8_t> buf;
        readSeconds = 0;
        for (int i = 0; i < bank.GetSampleCount(); ++i) {
            const GigaSample& s = *bank.GetSample(i);
            bytes += s.dataSize;
            buf.resize(static_cast<size_t>(s.dataSize));
            readSeconds += ReadSeconds(s, buf, 1);
        }
        state.ResumeTiming();
        const double cpu0 = ProcessCpuMs();
        if (!bank.LoadProgram(0, nullptr))
            state.SkipWithError("load failed");
        cpuMs += ProcessCpuMs() - cpu0;
    }
    GigaBank::SetDecodeThreads(0);
    state.counters["data_mb_s"] =
        benchmark::Counter(static_cast<double>(bytes) / 1048576.0, benchmark::Counter::kIsIterationInvariantRate);
    state.counters["read_mb_s"] = readSeconds > 0 ? static_cast<double>(bytes) / 1048576.0 / readSeconds : 0;
    state.counters["threads"] = threads > 0 ? threads : GigaBank::GetDecodeThreads();
    state.counters["cpu_ms"] = state.iterations() > 0 ? cpuMs / static_cast<double>(state.iterations()) : 0;
}

BENCHMARK_CAPTURE(ProgramPreload, Plain, false, 1)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ProgramPreload, CompressedPool, true, 0)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ProgramPreload, CompressedOneThread, true, 1)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ProgramPreload, CompressedTwoThreads, true, 2)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ProgramPreload, CompressedFourThreads, true, 4)->UseRealTime()->Unit(benchmark::kMillisecond);

// Sample memory made present at allocation against pages faulted in by the
// decode: one load of a large program each way per round, the order turned
// round every round, so that a machine that grows busier or quieter weighs
// on both alike. Per way: the median load in ms and its spread (fastest and
// slowest), the median system time of the loading thread (page faults and
// zeroing are system time), and the ratio of the medians (present / faulted;
// below 1: making pages present is faster). The rounds are the iterations:
// seven; run the program several times for the spread between runs.
namespace {

// Writes a program of `samples` stereo 16-bit samples of `frames` frames
// each, kept whole in memory (4 x frames x samples bytes); the path, or empty.
std::string WriteLargeBank(bool compressed, int samples, uint32_t frames)
{
    using namespace gigtools;
    GigBuilder b;
    GigInstrument ins("large");
    for (int k = 0; k < samples; ++k) {
        // A cheap waveform: writing the bank must not take longer than
        // loading it many times.
        GigSample s;
        s.name = "s";
        s.name += std::to_string(k);
        s.channels = 2;
        s.bits = 16;
        s.unityNote = 60;
        s.compressed = compressed;
        s.values.resize(static_cast<size_t>(frames) * 2);
        for (size_t i = 0; i < s.values.size(); ++i)
            s.values[i] = static_cast<int32_t>((i * 37 + static_cast<size_t>(k) * 101) % 4001) - 2000;
        const int key = k % 128;
        ins.regions.push_back(GigRegion::Single(key, key, b.AddSample(std::move(s)), true));
    }
    b.AddInstrument(ins);
    const std::string path = TempFolder() + "/large_" + std::to_string(compressed) + ".gig";
    return b.Write(path) ? path : std::string();
}

struct LoadFigures {
    double wallMs = 0;
    double systemMs = 0;
};

double ThreadSystemMs()
{
    rusage usage{};
    getrusage(RUSAGE_THREAD, &usage);
    return usage.ru_stime.tv_sec * 1000.0 + usage.ru_stime.tv_usec / 1000.0;
}

// One load of the bank's program with pages made present or not; the
// unload is not timed.
bool TimeLoad(const std::string& path, bool present, LoadFigures& out)
{
    GigaMemory::SetPagesPresentAtAllocation(present);
    auto bank = std::make_unique<GigaBank>();
    if (!bank->Open(path.c_str()) || !bank->LoadSampleList())
        return false;
    const double system0 = ThreadSystemMs();
    const auto start = std::chrono::steady_clock::now();
    GigaProgram* program = bank->LoadProgram(0, nullptr);
    out.wallMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    out.systemMs = ThreadSystemMs() - system0;
    if (!program)
        return false;
    program->Release();
    return true;
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n == 0 ? 0.0 : n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2.0;
}

void PagesPresentOrFaulted(benchmark::State& state, bool compressed, int samples, uint32_t frames)
{
    GigaHooks::SetPreloadSeconds(1000.0f, 1000.0f);  // kept whole
    const bool before = GigaMemory::GetPagesPresentAtAllocation();
    const std::string path = WriteLargeBank(compressed, samples, frames);
    if (path.empty()) {
        state.SkipWithError("bank not written");
        return;
    }
    std::vector<double> wall[2], system[2];
    LoadFigures warm;
    TimeLoad(path, false, warm);  // the file in the page cache
    int round = 0;
    for (auto _ : state) {
        for (int k = 0; k < 2; ++k) {
            const bool present = (round + k) % 2 == 0;
            LoadFigures f;
            if (!TimeLoad(path, present, f)) {
                state.SkipWithError("load failed");
                break;
            }
            wall[present].push_back(f.wallMs);
            system[present].push_back(f.systemMs);
        }
        ++round;
    }
    GigaMemory::SetPagesPresentAtAllocation(before);
    GigaHooks::SetPreloadSeconds(1.0f, 3.0f);
    std::remove(path.c_str());
    const char* names[2] = {"faulted", "present"};
    for (int p = 0; p < 2; ++p) {
        if (wall[p].empty())
            continue;
        state.counters[std::string(names[p]) + "_ms"] = Median(wall[p]);
        state.counters[std::string(names[p]) + "_min_ms"] = *std::min_element(wall[p].begin(), wall[p].end());
        state.counters[std::string(names[p]) + "_max_ms"] = *std::max_element(wall[p].begin(), wall[p].end());
        state.counters[std::string(names[p]) + "_sys_ms"] = Median(system[p]);
    }
    if (!wall[0].empty() && !wall[1].empty())
        state.counters["present_per_faulted"] = Median(wall[1]) / Median(wall[0]);
    state.counters["MB"] = 4.0 * frames * samples / 1048576.0;
}

}  // namespace

// 600 MB of plain 16-bit stereo samples (60 of 10 MB); 160 MB of compressed
// ones, decoded on the pool.
BENCHMARK_CAPTURE(PagesPresentOrFaulted, Plain600MB, false, 60, 2621440)->Iterations(7)->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(PagesPresentOrFaulted, CompressedPool160MB, true, 16, 2621440)->Iterations(7)->UseRealTime()
    ->Unit(benchmark::kMillisecond);
