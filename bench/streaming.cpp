// Disk streaming figures:
// - how many streamed voices the disk thread keeps fed, without an underrun,
//   when an audio thread takes 512 frames per block at 44.1 kHz pacing, for
//   pitch ratio 1 and 2 (counter "voices");
// - the time to load a large instrument (about 1 GB of 24-bit stereo data,
//   KIV_BENCH_LOAD_MB to change) from a warm page cache next to the time to
//   read the same file (counters "load_ms", "read_ms", their MB/s and
//   "ratio").
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bench/BenchSupport.h"
#include "engine/GigaBank.h"
#include "engine/GigaBankHooks.h"
#include "engine/GigaDiskThread.h"
#include "engine/GigaStream.h"
#include "engine/GigaVoice.h"
#include "gig/GigWriter.h"

namespace {

using kivbench::BenchDir;
using kivbench::kBlock;
using kivbench::kRate;
using Clock = std::chrono::steady_clock;

// 64 mono 16-bit samples of 12 s: everything past the first second streams.
const std::string& StreamingBank()
{
    static BenchDir dir;
    static std::string path;
    if (!path.empty())
        return path;
    gigtools::GigBuilder b;
    gigtools::GigInstrument ins("Streams");
    for (int s = 0; s < 64; ++s) {
        gigtools::GigSample sample;
        sample.name = std::string("S").append(std::to_string(s));
        sample.values.resize(12 * 44100);
        for (size_t i = 0; i < sample.values.size(); ++i)
            sample.values[i] = static_cast<int32_t>((i * 31 + s * 977) % 65536) - 32768;
        int handle = b.AddSample(sample);
        ins.regions.push_back(gigtools::GigRegion::Single(s, s, handle));
    }
    b.AddInstrument(ins);
    path = dir.File("Streams.gig");
    if (!b.Write(path))
        path.clear();
    return path;
}

struct Player {
    GigaVoice voice;
    GigaSample* sample = nullptr;
    int64_t played = 0;  // output frames
    bool offered = false;
};

// One real-time run of n voices for the given seconds; true without underrun.
bool FeedVoices(GigaDiskThread& disk, GigaBank& bank, int n, int ratio, double seconds)
{
    std::vector<std::unique_ptr<Player>> players;
    for (int i = 0; i < n; ++i) {
        players.push_back(std::make_unique<Player>());
        players.back()->sample = bank.GetSample(i % bank.GetSampleCount());
    }
    std::vector<float> scratch(kBlock * ratio);
    const int64_t head = players[0]->sample->framesInMemory / ratio;
    int64_t threshold = head - static_cast<int64_t>(kRate * 0.5);
    if (threshold <= 0)
        threshold = 512;
    const auto period = std::chrono::duration<double>(kBlock / kRate);
    auto next = Clock::now();
    const int blocks = static_cast<int>(seconds * kRate / kBlock);
    bool ok = true;
    for (int b = 0; b < blocks && ok; ++b) {
        for (auto& p : players) {
            if (p->played < head) {
                p->played += kBlock;  // from memory
                if (!p->offered && p->played > threshold)
                    p->offered = p->voice.OfferToDisk(p->sample);
                continue;
            }
            if (!p->offered)
                p->offered = p->voice.OfferToDisk(p->sample);
            GigaStream* stream = p->voice.GetStream();
            int need = kBlock * ratio;
            if (!stream || stream->BytesQueued() < need * static_cast<int>(sizeof(float))) {
                ok = false;
                break;
            }
            stream->Read(scratch.data(), nullptr, need);
            p->played += kBlock;
        }
        next += std::chrono::duration_cast<Clock::duration>(period);
        std::this_thread::sleep_until(next);
    }
    for (auto& p : players)
        p->voice.LeaveStream();
    // Voices still in the disk thread's ring, or being attached, are read by
    // it until its next passes: they may be freed only after those, whether
    // the run ended on an underrun or not.
    disk.WaitPasses(3);
    return ok;
}

void StreamedVoicesFed(benchmark::State& state)
{
    const int ratio = static_cast<int>(state.range(0));
    GigaDiskThread disk;
    GigaBank bank;
    const std::string& path = StreamingBank();
    if (path.empty() || !bank.Open(path.c_str())) {
        state.SkipWithError("no bank");
        return;
    }
    GigaProgram* program = bank.LoadProgram(0, nullptr);
    if (!program) {
        state.SkipWithError("program did not load");
        return;
    }
    int best = 0;
    for (auto _ : state) {
        for (int n : {8, 16, 32, 64, 96, 128, 160, 192, 224, 255}) {
            if (!FeedVoices(disk, bank, n, ratio, 2.0))
                break;
            best = n;
        }
    }
    state.counters["voices"] = best;
    program->Release();
}

// A 128-key instrument of 3-bit velocity splits, each zone its own 24-bit
// stereo sample of 4 s (kept whole with a 4 s preload).
std::string BigBank(BenchDir& dir, int64_t megabytes)
{
    const uint32_t frames = 4 * 44100;
    const int64_t perSample = int64_t(frames) * 2 * 3;
    int samples = static_cast<int>(megabytes * 1048576 / perSample);
    if (samples < 1)
        samples = 1;
    gigtools::GigBuilder b;
    std::vector<int> handles;
    for (int s = 0; s < samples; ++s) {
        gigtools::GigSample sample;
        sample.name = std::string("V").append(std::to_string(s));
        sample.channels = 2;
        sample.bits = 24;
        sample.values.resize(size_t(frames) * 2);
        for (size_t i = 0; i < sample.values.size(); ++i)
            sample.values[i] = static_cast<int32_t>((i * 131 + s * 7919) % 16777216) - 8388608;
        handles.push_back(b.AddSample(std::move(sample)));
    }
    gigtools::GigInstrument ins("Big");
    const int perRegion = 8;
    int regions = (samples + perRegion - 1) / perRegion;
    for (int r = 0; r < regions && r < 128; ++r) {
        gigtools::GigRegion region;
        region.low = region.high = r;
        region.stereo = true;
        region.dims.push_back(gigtools::GigDimension{0x82, 3, {}});
        for (int z = 0; z < perRegion; ++z) {
            gigtools::GigZone zone;
            zone.sample = handles[(r * perRegion + z) % samples];
            region.zones.push_back(zone);
        }
        ins.regions.push_back(region);
    }
    b.AddInstrument(ins);
    std::string path = dir.File("Big.gig");
    return b.Write(path) ? path : std::string();
}

// Reads the whole file with 1 MB reads; the time in ms, or -1.
double ReadFileMs(const std::string& path, int64_t& bytes)
{
    bytes = 0;
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    std::vector<char> buffer(1 << 20);
    auto start = Clock::now();
    ssize_t n;
    while ((n = read(fd, buffer.data(), buffer.size())) > 0)
        bytes += n;
    double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    close(fd);
    return ms;
}

// Each iteration reads the file, then opens the bank and loads its program
// (every sample kept whole, so all sample data is read and decoded), both
// from a warm page cache. The figures are of the best iteration of each (the
// machine is shared; the first load also pays for memory the process never
// touched before): MB/s of file bytes for both, and load time / read time.
void LargeInstrumentLoad(benchmark::State& state)
{
    int64_t megabytes = 1024;
    if (const char* env = getenv("KIV_BENCH_LOAD_MB"))
        megabytes = atoll(env);
    BenchDir dir;
    std::string path = BigBank(dir, megabytes);
    if (path.empty()) {
        state.SkipWithError("bank not written");
        return;
    }
    int64_t fileBytes = 0;
    ReadFileMs(path, fileBytes);  // warm the page cache before timing either
    GigaHooks::SetPreloadSeconds(4.0f, 4.0f);
    double loadMs = 0, readMs = 0, firstLoadMs = 0, sampleMB = 0;
    for (auto _ : state) {
        int64_t bytes = 0;
        const double r = ReadFileMs(path, bytes);
        GigaBank bank;
        auto start = Clock::now();
        GigaProgram* program = bank.Open(path.c_str()) ? bank.LoadProgram(0, nullptr) : nullptr;
        const double l = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        state.SetIterationTime(l / 1000.0);
        if (!program || r < 0 || bytes != fileBytes) {
            state.SkipWithError("program did not load");
            break;
        }
        sampleMB = static_cast<double>(bank.GetMemory(0)->GetChargedMB());
        program->Release();
        if (firstLoadMs == 0)
            firstLoadMs = l;
        loadMs = loadMs == 0 ? l : std::min(loadMs, l);
        readMs = readMs == 0 ? r : std::min(readMs, r);
    }
    GigaHooks::SetPreloadSeconds(1.0f, 3.0f);
    const double fileMB = static_cast<double>(fileBytes) / 1048576.0;
    state.counters["file_mb"] = fileMB;
    state.counters["memory_mb"] = sampleMB;
    state.counters["read_ms"] = readMs;
    state.counters["load_ms"] = loadMs;
    state.counters["first_load_ms"] = firstLoadMs;
    state.counters["read_mb_s"] = readMs > 0 ? fileMB * 1000.0 / readMs : 0;
    state.counters["load_mb_s"] = loadMs > 0 ? fileMB * 1000.0 / loadMs : 0;
    state.counters["ratio"] = readMs > 0 ? loadMs / readMs : 0;
}

}  // namespace

BENCHMARK(StreamedVoicesFed)->Arg(1)->Arg(2)->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK(LargeInstrumentLoad)->Iterations(4)->UseManualTime()->Unit(benchmark::kMillisecond);
