// tessivohost: a small VST 2.4 host for trying the instrument without a
// music program. It loads a plug-in library, switches it on, optionally
// gives it a state chunk (from a file, or one made for a .gig file), plays
// a phrase or a note script into it block by block and writes the 32
// outputs mixed down (or the first pair) to a 16-bit stereo WAV file.
//
//   tessivohost PLUGIN.so [--gig FILE.gig [--program N]] [--chunk FILE]
//               [--phrase | --script FILE] [--out FILE.wav] [--rate HZ]
//               [--block FRAMES] [--tail SECONDS] [--pair1] [--realtime]
//               [--paced] [--offline-from SECONDS] [--save-chunk FILE]
//
// The host renders as fast as it can and tells the plug-in so (offline);
// with --realtime it says real time instead, and with --offline-from it says
// real time when it switches the plug-in on and offline from that point of
// the rendering on, without switching the plug-in off and on, as hosts do
// when they start a mixdown. With --paced it renders no faster than the
// audio plays, as a host's audio thread does.
//
// A script holds one event a line: "TIME on KEY VELOCITY [CHANNEL]",
// "TIME off KEY [CHANNEL]", "TIME cc NUMBER VALUE [CHANNEL]", with TIME in
// seconds; '#' starts a comment.
#include <dlfcn.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "engine/GigaDeck.h"
#include "engine/GigaStudio.h"
#include "engine/GigaTone.h"
#include "kiv/data/Data.h"
#include "vst/VstAbi.h"

namespace {

constexpr int kOutputs = 32;
constexpr int kProcessLevelRealtime = 2;
constexpr int kProcessLevelOffline = 4;
constexpr int kMaxEventsPerBlock = 512;

struct Options {
    std::string plugin;
    std::string gig;
    int program = 0;
    std::string chunkFile;
    std::string saveChunk;
    std::string script;
    bool phrase = false;
    std::string out = "tessivo.wav";
    int rate = 44100;
    int block = 512;
    double tail = 1.5;
    bool pair1 = false;
    bool realtime = false;
    bool paced = false;
    double offlineFrom = -1.0;  // seconds; below 0: the level never changes
};

struct NoteEvent {
    int64_t frame;
    unsigned char status, data1, data2;
};

struct HostState {
    int rate = 44100;
    int block = 512;
    int processLevel = kProcessLevelOffline;
} g_host;

vst::intptr HostCallback(vst::AEffect*, vst::int32 opcode, vst::int32, vst::intptr, void* ptr, float)
{
    switch (opcode) {
    case vst::audioMasterVersion:
        return 2400;
    case vst::audioMasterGetSampleRate:
        return g_host.rate;
    case vst::audioMasterGetBlockSize:
        return g_host.block;
    case vst::audioMasterGetTime:
        return 0;  // no transport
    case vst::audioMasterGetCurrentProcessLevel:
        return g_host.processLevel;
    case vst::audioMasterCanDo:
        return ptr && strcmp(static_cast<const char*>(ptr), "offline") == 0 ? 1 : 0;
    case vst::audioMasterGetVendorString:
        if (ptr)
            strcpy(static_cast<char*>(ptr), "Quillane");
        return ptr ? 1 : 0;
    case vst::audioMasterGetProductString:
        if (ptr)
            strcpy(static_cast<char*>(ptr), "tessivohost");
        return ptr ? 1 : 0;
    default:
        return 0;
    }
}

void Usage()
{
    fprintf(stderr,
            "usage: tessivohost PLUGIN.so [--gig FILE.gig [--program N]] [--chunk FILE] [--save-chunk FILE]\n"
            "                   [--phrase | --script FILE] [--out FILE.wav] [--rate HZ] [--block FRAMES]\n"
            "                   [--tail SECONDS] [--pair1] [--realtime] [--paced] [--offline-from SECONDS]\n");
}

bool ParseInt(const char* text, int low, int high, int& out)
{
    char* end = nullptr;
    long value = strtol(text, &end, 10);
    if (!end || *end || value < low || value > high)
        return false;
    out = static_cast<int>(value);
    return true;
}

bool ParseArgs(int argc, char** argv, Options& options)
{
    if (argc < 2)
        return false;
    options.plugin = argv[1];
    for (int i = 2; i < argc; ++i) {
        std::string arg = argv[i];
        auto next = [&](std::string& value) {
            if (i + 1 >= argc)
                return false;
            value = argv[++i];
            return true;
        };
        std::string value;
        if (arg == "--phrase")
            options.phrase = true;
        else if (arg == "--pair1")
            options.pair1 = true;
        else if (arg == "--realtime")
            options.realtime = true;
        else if (arg == "--paced")
            options.paced = true;
        else if (arg == "--gig" && next(value))
            options.gig = value;
        else if (arg == "--program" && next(value) && ParseInt(value.c_str(), 0, 100000, options.program))
            continue;
        else if (arg == "--chunk" && next(value))
            options.chunkFile = value;
        else if (arg == "--save-chunk" && next(value))
            options.saveChunk = value;
        else if (arg == "--script" && next(value))
            options.script = value;
        else if (arg == "--out" && next(value))
            options.out = value;
        else if (arg == "--rate" && next(value) && ParseInt(value.c_str(), 8000, 384000, options.rate))
            continue;
        else if (arg == "--block" && next(value) && ParseInt(value.c_str(), 1, 65536, options.block))
            continue;
        else if (arg == "--offline-from" && next(value)) {
            options.offlineFrom = atof(value.c_str());
            if (!(options.offlineFrom >= 0.0 && options.offlineFrom <= 3600.0))
                return false;
        } else if (arg == "--tail" && next(value)) {
            options.tail = atof(value.c_str());
            if (!(options.tail >= 0.0 && options.tail <= 60.0))
                return false;
        } else {
            fprintf(stderr, "tessivohost: bad argument \"%s\"\n", arg.c_str());
            return false;
        }
    }
    return true;
}

// A C major phrase: a rising arpeggio, then a held chord.
std::vector<NoteEvent> BuiltInPhrase(int rate)
{
    std::vector<NoteEvent> events;
    auto at = [rate](double seconds) { return static_cast<int64_t>(seconds * rate); };
    const int keys[] = {48, 52, 55, 60, 64, 67, 72};
    double t = 0.0;
    for (int key : keys) {
        events.push_back({at(t), 0x90, static_cast<unsigned char>(key), 100});
        events.push_back({at(t + 0.35), 0x80, static_cast<unsigned char>(key), 0});
        t += 0.25;
    }
    t += 0.25;
    for (int key : {48, 60, 64, 67}) {
        events.push_back({at(t), 0x90, static_cast<unsigned char>(key), 90});
        events.push_back({at(t + 1.5), 0x80, static_cast<unsigned char>(key), 0});
    }
    return events;
}

bool ReadScript(const std::string& path, int rate, std::vector<NoteEvent>& events)
{
    std::ifstream in(path);
    if (!in)
        return false;
    std::string line;
    int lineNumber = 0;
    while (std::getline(in, line)) {
        ++lineNumber;
        line = line.substr(0, line.find('#'));
        std::istringstream words(line);
        double time = 0.0;
        std::string kind;
        if (!(words >> time >> kind))
            continue;
        int a = 0, b = 0, channel = 1;
        bool ok = time >= 0.0 && time < 3600.0;
        if (kind == "on" || kind == "cc")
            ok = ok && static_cast<bool>(words >> a >> b);
        else if (kind == "off")
            ok = ok && static_cast<bool>(words >> a);
        else
            ok = false;
        if (ok && !(words >> channel))
            channel = 1;
        ok = ok && a >= 0 && a < 128 && b >= 0 && b < 128 && channel >= 1 && channel <= 16;
        if (!ok) {
            fprintf(stderr, "tessivohost: %s:%d: not an event\n", path.c_str(), lineNumber);
            return false;
        }
        unsigned char status = kind == "on" ? 0x90 : kind == "off" ? 0x80 : 0xB0;
        events.push_back({static_cast<int64_t>(time * rate), static_cast<unsigned char>(status | (channel - 1)),
                          static_cast<unsigned char>(a), static_cast<unsigned char>(b)});
    }
    return true;
}

bool ReadBytes(const std::string& path, std::vector<char>& bytes)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

bool WriteBytes(const std::string& path, const void* bytes, size_t size)
{
    std::ofstream out(path, std::ios::binary);
    out.write(static_cast<const char*>(bytes), static_cast<std::streamsize>(size));
    return static_cast<bool>(out);
}

void Put16(std::string& out, uint16_t v)
{
    out.push_back(static_cast<char>(v & 0xFF));
    out.push_back(static_cast<char>(v >> 8));
}

void Put32(std::string& out, uint32_t v)
{
    Put16(out, static_cast<uint16_t>(v & 0xFFFF));
    Put16(out, static_cast<uint16_t>(v >> 16));
}

bool WriteWav(const std::string& path, const std::vector<float>& interleaved, int rate)
{
    uint32_t dataBytes = static_cast<uint32_t>(interleaved.size() * 2);
    std::string out;
    out.reserve(44 + dataBytes);
    out += "RIFF";
    Put32(out, 36 + dataBytes);
    out += "WAVEfmt ";
    Put32(out, 16);
    Put16(out, 1);  // PCM
    Put16(out, 2);
    Put32(out, static_cast<uint32_t>(rate));
    Put32(out, static_cast<uint32_t>(rate) * 4);
    Put16(out, 4);
    Put16(out, 16);
    out += "data";
    Put32(out, dataBytes);
    for (float sample : interleaved) {
        float clamped = std::max(-1.0f, std::min(1.0f, std::isfinite(sample) ? sample : 0.0f));
        Put16(out, static_cast<uint16_t>(static_cast<int16_t>(std::lrint(clamped * 32767.0f))));
    }
    return WriteBytes(path, out.data(), out.size());
}

// The state chunk a host would have stored after the user loaded instrument
// `program` of `gig` into the first tone: this process's own studio writes it
// (nothing is loaded here; the chunk names the file and the instrument).
bool MakeChunkForGig(const char* gig, int program, std::vector<char>& chunk, std::string& error)
{
    chunk.clear();
    char* full = realpath(gig, nullptr);
    if (!full) {
        error = "the file does not exist";
        return false;
    }
    std::string path = full;
    free(full);
    std::unique_ptr<GigaStudio> studio = GigaStudio::Create();
    GigaDeck* deck = studio ? studio->GetDeck(0) : nullptr;
    GigaTone* tone = deck ? deck->GetGigaTone(0) : nullptr;
    if (!tone || !tone->AddPart(path.c_str(), program)) {
        error = "the studio has no tone to take the instrument";
        return false;
    }
    kiv::data state;
    if (!studio->GetState(state) || !state.GetBytes() || state.GetSize() <= 0) {
        error = "the studio wrote no state";
        return false;
    }
    const char* bytes = reinterpret_cast<const char*>(state.GetBytes());
    chunk.assign(bytes, bytes + state.GetSize());
    return true;
}

vst::intptr Call(vst::AEffect* effect, vst::int32 opcode, vst::int32 index = 0, vst::intptr value = 0,
                 void* ptr = nullptr, float opt = 0.0f)
{
    return effect->dispatcher(effect, opcode, index, value, ptr, opt);
}

}  // namespace

int main(int argc, char** argv)
{
    Options options;
    if (!ParseArgs(argc, argv, options)) {
        Usage();
        return 2;
    }
    g_host.rate = options.rate;
    g_host.block = options.block;
    const bool startsRealtime = options.realtime || options.offlineFrom >= 0.0;
    g_host.processLevel = startsRealtime ? kProcessLevelRealtime : kProcessLevelOffline;

    // The chunk is made before the plug-in is loaded, in this process's own
    // engine, so the plug-in sees only what a host would give it.
    std::vector<char> chunk;
    if (!options.chunkFile.empty()) {
        if (!ReadBytes(options.chunkFile, chunk)) {
            fprintf(stderr, "tessivohost: cannot read %s\n", options.chunkFile.c_str());
            return 1;
        }
        printf("state chunk: %zu bytes from %s\n", chunk.size(), options.chunkFile.c_str());
    } else if (!options.gig.empty()) {
        std::string error;
        if (!MakeChunkForGig(options.gig.c_str(), options.program, chunk, error))
            printf("no state chunk for \"%s\": %s\n", options.gig.c_str(), error.c_str());
        else
            printf("state chunk: %zu bytes for \"%s\", instrument %d on MIDI channel 1\n", chunk.size(),
               options.gig.c_str(), options.program);
    }
    if (!options.saveChunk.empty() && !chunk.empty())
        WriteBytes(options.saveChunk, chunk.data(), chunk.size());

    std::vector<NoteEvent> events;
    if (!options.script.empty()) {
        if (!ReadScript(options.script, options.rate, events))
            return 1;
    } else if (options.phrase) {
        events = BuiltInPhrase(options.rate);
    }
    std::stable_sort(events.begin(), events.end(),
                     [](const NoteEvent& a, const NoteEvent& b) { return a.frame < b.frame; });

    void* library = dlopen(options.plugin.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        fprintf(stderr, "tessivohost: cannot load %s: %s\n", options.plugin.c_str(), dlerror());
        return 1;
    }
    auto entry = reinterpret_cast<vst::EntryProc>(dlsym(library, "VSTPluginMain"));
    if (!entry)
        entry = reinterpret_cast<vst::EntryProc>(dlsym(library, "main"));
    vst::AEffect* effect = entry ? entry(HostCallback) : nullptr;
    if (!effect || effect->magic != vst::kEffectMagic || !effect->dispatcher || !effect->processReplacing) {
        fprintf(stderr, "tessivohost: %s gives no usable VST 2.4 effect\n", options.plugin.c_str());
        dlclose(library);
        return 1;
    }
    int outputs = std::min(effect->numOutputs, kOutputs);
    char name[256] = {}, vendor[256] = {};
    Call(effect, vst::effOpen);
    Call(effect, vst::effGetEffectName, 0, 0, name);
    Call(effect, vst::effGetVendorString, 0, 0, vendor);
    name[255] = vendor[255] = 0;
    printf("plug-in: \"%s\" by \"%s\", %d outputs, flags 0x%x\n", name, vendor, effect->numOutputs,
           static_cast<unsigned>(effect->flags));
    Call(effect, vst::effSetSampleRate, 0, 0, nullptr, static_cast<float>(options.rate));
    Call(effect, vst::effSetBlockSize, 0, options.block);
    Call(effect, vst::effMainsChanged, 0, 1);
    printf("switched on at %d Hz, %d-frame blocks, %s\n", options.rate, options.block,
           startsRealtime ? "real time" : "offline");

    int result = 0;
    if (!chunk.empty()) {
        vst::intptr taken = Call(effect, vst::effSetChunk, 0, static_cast<vst::intptr>(chunk.size()), chunk.data());
        printf("state chunk %s\n", taken ? "loaded" : "refused");
        if (!taken)
            result = 1;
    } else {
        printf("no state chunk: the instrument has nothing loaded and renders silence\n");
    }

    int64_t lastEvent = events.empty() ? 0 : events.back().frame;
    int64_t total = lastEvent + static_cast<int64_t>(options.tail * options.rate);
    std::vector<std::vector<float>> buffers(kOutputs, std::vector<float>(static_cast<size_t>(options.block)));
    float* pointers[kOutputs];
    for (int i = 0; i < kOutputs; ++i)
        pointers[i] = buffers[i].data();
    std::vector<float> wav;
    wav.reserve(static_cast<size_t>(total) * 2);

    struct {
        vst::int32 numEvents;
        vst::intptr reserved;
        vst::VstEvent* events[kMaxEventsPerBlock];
    } block{};
    std::vector<vst::VstMidiEvent> records(kMaxEventsPerBlock);
    size_t next = 0;
    int notes = 0;
    float peak = 0.0f;
    const auto began = std::chrono::steady_clock::now();
    for (int64_t start = 0; start < total; start += options.block) {
        if (options.paced)
            std::this_thread::sleep_until(began + std::chrono::microseconds(start * 1000000 / options.rate));
        int frames = static_cast<int>(std::min<int64_t>(options.block, total - start));
        block.numEvents = 0;
        while (next < events.size() && events[next].frame < start + frames && block.numEvents < kMaxEventsPerBlock) {
            vst::VstMidiEvent& record = records[static_cast<size_t>(block.numEvents)];
            record = vst::VstMidiEvent{};
            record.type = vst::kVstMidiType;
            record.byteSize = sizeof(vst::VstMidiEvent) - 8;
            record.deltaFrames = static_cast<vst::int32>(std::max<int64_t>(0, events[next].frame - start));
            record.midiData[0] = static_cast<char>(events[next].status);
            record.midiData[1] = static_cast<char>(events[next].data1);
            record.midiData[2] = static_cast<char>(events[next].data2);
            if ((events[next].status & 0xF0) == 0x90 && events[next].data2 > 0)
                ++notes;
            block.events[block.numEvents++] = reinterpret_cast<vst::VstEvent*>(&record);
            ++next;
        }
        if (block.numEvents > 0)
            Call(effect, vst::effProcessEvents, 0, 0, &block);
        if (options.offlineFrom >= 0.0 && g_host.processLevel != kProcessLevelOffline &&
            start >= static_cast<int64_t>(options.offlineFrom * options.rate)) {
            g_host.processLevel = kProcessLevelOffline;
            printf("offline from %.2f s on, without switching the plug-in off and on\n",
                   static_cast<double>(start) / options.rate);
        }
        for (auto& buffer : buffers)
            std::fill(buffer.begin(), buffer.end(), 0.0f);
        effect->processReplacing(effect, nullptr, pointers, frames);
        int pairs = options.pair1 ? std::min(1, outputs / 2) : outputs / 2;
        for (int f = 0; f < frames; ++f) {
            float left = 0.0f, right = 0.0f;
            for (int p = 0; p < pairs; ++p) {
                left += buffers[2 * p][f];
                right += buffers[2 * p + 1][f];
            }
            peak = std::max(peak, std::max(std::fabs(left), std::fabs(right)));
            wav.push_back(left);
            wav.push_back(right);
        }
    }
    printf("rendered %lld frames (%.2f s), %d notes, %s, peak %.4f (%.1f dBFS)\n", static_cast<long long>(total),
           static_cast<double>(total) / options.rate, notes, options.pair1 ? "first pair" : "all pairs mixed",
           static_cast<double>(peak), peak > 0.0f ? 20.0 * std::log10(static_cast<double>(peak)) : -INFINITY);

    Call(effect, vst::effMainsChanged, 0, 0);
    Call(effect, vst::effClose);
    dlclose(library);

    if (!WriteWav(options.out, wav, options.rate)) {
        fprintf(stderr, "tessivohost: cannot write %s\n", options.out.c_str());
        return 1;
    }
    printf("wrote %s (16-bit stereo WAV)\n", options.out.c_str());
    return result;
}
