// .gig reading figures: opening the table of contents of a 2000-instrument
// bank, and the preload decode speed in MB/s (of 16-bit output) of plain
// 16-bit, 24-bit (mono and stereo) and each compressed mode, next to the plain
// read speed of the same file's data (PlainRead, and the counter "ratio":
// decode time / read time of the same data bytes).
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <chrono>
#include <algorithm>
#include <cstdlib>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "engine/GigaBank.h"
#include "gig/GigWriter.h"

namespace {

std::string TempFolder()
{
    static std::string dir;
    if (dir.empty()) {
        char pattern[] = "/tmp/gigbenchXXXXXX";
        dir = ::mkdtemp(pattern) ? pattern : "/tmp";
    }
    return dir;
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

// Program preload: one instrument of 16 five-second stereo samples loaded
// whole into memory, with the compressed samples decoded on one thread or on
// the pool; data_mb_s counts the file's sample data bytes. PlainRead-like
// reading of the same bytes is "read_mb_s".
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
        if (!bank.LoadProgram(0, nullptr))
            state.SkipWithError("load failed");
    }
    GigaBank::SetDecodeThreads(0);
    state.counters["data_mb_s"] =
        benchmark::Counter(static_cast<double>(bytes) / 1048576.0, benchmark::Counter::kIsIterationInvariantRate);
    state.counters["read_mb_s"] = readSeconds > 0 ? static_cast<double>(bytes) / 1048576.0 / readSeconds : 0;
    state.counters["threads"] = threads > 0 ? threads : GigaBank::GetDecodeThreads();
}

BENCHMARK_CAPTURE(ProgramPreload, Plain, false, 1)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ProgramPreload, CompressedOneThread, true, 1)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ProgramPreload, CompressedTwoThreads, true, 2)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ProgramPreload, CompressedFourThreads, true, 4)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ProgramPreload, CompressedPool, true, 0)->UseRealTime()->Unit(benchmark::kMillisecond);
