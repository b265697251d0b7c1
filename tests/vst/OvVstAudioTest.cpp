// The built tessivo.so, loaded the way a host loads it: dlopen, the entry
// with a host callback, then only the effect record and its dispatcher.
// ctest-label: thread
#include <dirent.h>
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

// The plug-in's editor keeps fontconfig's and cairo's process-long caches.
#include "gui/GuiTestLeaks.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <atomic>
#include <chrono>
#include <set>
#include <thread>
#include <string>
#include <vector>

#include "engine/GigaDeck.h"
#include "engine/GigaStudio.h"
#include "engine/GigaTone.h"
#include "gig/GigFixtures.h"
#include "kiv/data/Data.h"
#include "kiv/data/FourCC.h"
#include "kiv/data/Thread.h"
#include "kiv/file/Archive.h"
#include "file/FileTestHelpers.h"
#include "support/TestSupport.h"
#include "tests/vst/VstTestHost.h"
#include "vst/OvVstConstants.h"
#include "vst/PlugInfoList.h"
#include "vst/VstAbi.h"

namespace {

std::string TessivoPath()
{
    const char* dir = getenv("KIV_TEST_BINARY_DIR");
    return std::string(dir ? dir : ".") + "/vst/tessivo.so";
}

// What the test host answers and what it was asked; the audio thread asks
// too (the process level with every block).
struct HostLog {
    std::atomic<vst::intptr> versionAnswer{2400};
    std::atomic<vst::intptr> processLevel{2};
    std::atomic<int> calls[64];

    void Reset()
    {
        versionAnswer = 2400;
        processLevel = 2;
        for (auto& count : calls)
            count = 0;
    }
};
HostLog g_host;

vst::intptr HostCallback(vst::AEffect*, vst::int32 opcode, vst::int32, vst::intptr, void*, float)
{
    if (opcode >= 0 && opcode < 64)
        g_host.calls[opcode].fetch_add(1, std::memory_order_relaxed);
    switch (opcode) {
    case vst::audioMasterVersion:
        return g_host.versionAnswer;
    case vst::audioMasterGetSampleRate:
        return 44100;
    case vst::audioMasterGetBlockSize:
        return 512;
    case vst::audioMasterGetCurrentProcessLevel:
        return g_host.processLevel;
    default:
        return 0;
    }
}

int ThreadCount()
{
    int count = 0;
    if (DIR* dir = opendir("/proc/self/task")) {
        while (dirent* entry = readdir(dir))
            if (entry->d_name[0] != '.')
                ++count;
        closedir(dir);
    }
    return count;
}

// Threads of the process with this system name.
int ThreadsNamed(const std::string& name)
{
    int count = 0;
    if (DIR* dir = opendir("/proc/self/task")) {
        while (dirent* entry = readdir(dir)) {
            if (entry->d_name[0] == '.')
                continue;
            std::string comm = kivtest::ReadFile(std::string("/proc/self/task/") + entry->d_name + "/comm");
            count += comm == name + "\n";
        }
        closedir(dir);
    }
    return count;
}

constexpr int kOutputs = 32;

// 32 output channels of a block, filled with a marker the plug-in must
// overwrite (or leave, where that is the rule).
struct OutputBlock {
    explicit OutputBlock(int frames, float marker = 7.0f) : frames(frames), data(kOutputs)
    {
        for (int i = 0; i < kOutputs; ++i) {
            data[i].assign(frames, marker);
            pointers[i] = data[i].data();
        }
    }
    bool All(float value) const
    {
        for (const auto& channel : data)
            for (float sample : channel)
                if (sample != value)
                    return false;
        return true;
    }
    float Peak(int first, int last) const
    {
        float peak = 0.0f;
        for (int c = first; c <= last; ++c)
            for (float sample : data[c])
                peak = std::isfinite(sample) ? std::max(peak, std::fabs(sample)) : INFINITY;  // unwritten or broken
        return peak;
    }
    int frames;
    std::vector<std::vector<float>> data;
    float* pointers[kOutputs] = {};
};

class TessivoPlugin : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_host.Reset();
        m_threadsBefore = ThreadCount();
        m_library = dlopen(TessivoPath().c_str(), RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(m_library, nullptr) << dlerror();
        m_entry = reinterpret_cast<vst::EntryProc>(dlsym(m_library, "VSTPluginMain"));
        ASSERT_NE(m_entry, nullptr);
    }
    void TearDown() override
    {
        for (vst::AEffect* effect : m_effects)
            effect->dispatcher(effect, vst::effClose, 0, 0, nullptr, 0.0f);
        if (m_library)
            dlclose(m_library);
    }

    vst::AEffect* Create()
    {
        vst::AEffect* effect = m_entry(HostCallback);
        if (effect)
            m_effects.push_back(effect);
        return effect;
    }
    // A plug-in switched on at 44.1 kHz with 512-frame blocks.
    vst::AEffect* CreateRunning()
    {
        vst::AEffect* effect = Create();
        if (!effect)
            return nullptr;
        Call(effect, vst::effOpen);
        Call(effect, vst::effSetSampleRate, 0, 0, nullptr, 44100.0f);
        Call(effect, vst::effSetBlockSize, 0, 512);
        Call(effect, vst::effMainsChanged, 0, 1);
        return effect;
    }
    void Close(vst::AEffect* effect)
    {
        for (size_t i = 0; i < m_effects.size(); ++i)
            if (m_effects[i] == effect)
                m_effects.erase(m_effects.begin() + static_cast<long>(i));
        EXPECT_EQ(Call(effect, vst::effClose), 1);
    }
    static vst::intptr Call(vst::AEffect* effect, vst::int32 opcode, vst::int32 index = 0, vst::intptr value = 0,
                            void* ptr = nullptr, float opt = 0.0f)
    {
        return effect->dispatcher(effect, opcode, index, value, ptr, opt);
    }
    static std::string Text(vst::AEffect* effect, vst::int32 opcode)
    {
        char text[256] = {};
        EXPECT_EQ(Call(effect, opcode, 0, 0, text), 1);
        return text;
    }
    static vst::intptr CanDo(vst::AEffect* effect, const char* what)
    {
        return Call(effect, vst::effCanDo, 0, 0, const_cast<char*>(what));
    }

    void* m_library = nullptr;
    vst::EntryProc m_entry = nullptr;
    std::vector<vst::AEffect*> m_effects;
    int m_threadsBefore = 0;
};

struct MidiBlock {
    vst::int32 numEvents = 0;
    vst::intptr reserved = 0;
    vst::VstEvent* events[16] = {};
    vst::VstMidiEvent records[16] = {};

    void Add(int status, int data1, int data2, int type = vst::kVstMidiType)
    {
        vst::VstMidiEvent& record = records[numEvents];
        record = vst::VstMidiEvent{};
        record.type = type;
        record.byteSize = sizeof(vst::VstMidiEvent) - 8;
        record.midiData[0] = static_cast<char>(status);
        record.midiData[1] = static_cast<char>(data1);
        record.midiData[2] = static_cast<char>(data2);
        events[numEvents] = reinterpret_cast<vst::VstEvent*>(&record);
        ++numEvents;
    }
    vst::VstEvents* Get() { return reinterpret_cast<vst::VstEvents*>(this); }
};

// Plays a note on MIDI channel 1 and renders blocks of 512 frames; the
// peak of the first pair and of all other outputs.
struct NoteResult {
    float firstPair = 0.0f;
    float others = 0.0f;
    long allocations = -1;
};

NoteResult PlayNote(vst::AEffect* effect, int blocks)
{
    MidiBlock midi;
    midi.Add(0x90, 60, 110);
    NoteResult result;
    // The tones take notes from the render after the load started them.
    OutputBlock block(512, NAN);
    effect->processReplacing(effect, nullptr, block.pointers, 512);
    kivtest::AllocCounter counter;
    effect->dispatcher(effect, vst::effProcessEvents, 0, 0, midi.Get(), 0.0f);
    for (int i = 0; i < blocks; ++i) {
        for (auto& channel : block.data)
            std::fill(channel.begin(), channel.end(), NAN);
        effect->processReplacing(effect, nullptr, block.pointers, 512);
        result.firstPair = std::max(result.firstPair, block.Peak(0, 1));
        result.others = std::max(result.others, block.Peak(2, kOutputs - 1));
    }
    result.allocations = counter.Count();
    return result;
}

// An insert of the test's own studio: just the state a bank chunk carries.
class StoredInsert : public OvInsert {
public:
    StoredInsert(std::string name, std::vector<float> values, std::string chunk = {})
        : name(std::move(name)), values(std::move(values)), chunk(std::move(chunk))
    {
    }
    void Process(float*, float*, int) noexcept override {}
    const char* GetName() const override { return name.c_str(); }
    int GetChunk(kiv::data& block) override
    {
        block.Borrow(chunk.data(), static_cast<int>(chunk.size()));
        return static_cast<int>(chunk.size());
    }
    void SetChunk(const void* bytes, int size) override { chunk.assign(static_cast<const char*>(bytes), size); }
    void SetSampleRate(int) override {}
    void SetBlockSize(int) override {}
    void CloseView() override {}
    std::vector<float> GetParamValues() override { return values; }
    void SetParamValues(const std::vector<float>& v) override { values = v; }

    std::string name;
    std::vector<float> values;
    std::string chunk;
};

// Opens every stored insert as a StoredInsert, so a chunk the plug-in gave
// back can be read in the test's own studio.
class StoredFactory : public OvInsertFactory {
public:
    StoredFactory() { OvStudio::SetInsertFactory(this); }
    ~StoredFactory() override { OvStudio::SetInsertFactory(nullptr); }
    std::unique_ptr<OvInsert> Open(PlugInfo*) override { return nullptr; }
    std::unique_ptr<OvInsert> OpenByName(const char* name) override
    {
        return std::make_unique<StoredInsert>(name, std::vector<float>{});
    }
};

// A bank chunk written by a studio of the test's own engine: "Demo Piano"
// on the first tone, and whatever `arrange` puts in its mixer.
template <typename Arrange>
std::string StudioChunk(const kivtest::TempDir& dir, Arrange arrange)
{
    std::string gig = dir.File("Demo Piano.gig");
    if (!gigtools::DemoPianoFixture().bank.Write(gig))
        return {};
    std::unique_ptr<GigaStudio> studio = GigaStudio::Create();
    GigaTone* tone = studio->GetDeck(0)->GetGigaTone(0);
    if (!tone || !tone->AddPart(gig.c_str(), 0))
        return {};
    arrange(*studio);
    kiv::data chunk;
    if (!studio->GetState(chunk) || chunk.GetSize() <= 0)
        return {};
    std::string bytes(reinterpret_cast<const char*>(chunk.GetBytes()), static_cast<size_t>(chunk.GetSize()));
    // The test's inserts go with the studio; nothing else of it is needed.
    for (int c = 0; c < kOvMixerChannels; ++c)
        for (int j = 0; j < kOvInsertSlots; ++j)
            studio->SetInsert(c, j, nullptr);
    return bytes;
}

// The bank chunk of a studio with instrument 0 of `gig` on the first tone.
std::string ChunkFor(const std::string& gig)
{
    std::unique_ptr<GigaStudio> studio = GigaStudio::Create();
    GigaTone* tone = studio->GetDeck(0)->GetGigaTone(0);
    kiv::data chunk;
    if (!tone || !tone->AddPart(gig.c_str(), 0) || !studio->GetState(chunk) || chunk.GetSize() <= 0)
        return {};
    return std::string(reinterpret_cast<const char*>(chunk.GetBytes()), static_cast<size_t>(chunk.GetSize()));
}

// A host rendering in blocks of its own size (at most 512 frames) and
// keeping the left channel of the first pair; it allocates nothing while it
// renders up to `capacity` frames.
struct LeftRecorder {
    explicit LeftRecorder(int block, size_t capacity = 1 << 18) : block(block), out(512) { left.reserve(capacity); }
    // Renders `frames` frames, sending `midi` with the first block.
    void Render(vst::AEffect* effect, int frames, MidiBlock* midi = nullptr)
    {
        if (midi)
            effect->dispatcher(effect, vst::effProcessEvents, 0, 0, midi->Get(), 0.0f);
        for (int done = 0; done < frames; done += block) {
            const int n = std::min(block, frames - done);
            effect->processReplacing(effect, nullptr, out.pointers, n);
            left.insert(left.end(), out.data[0].begin(), out.data[0].begin() + n);
        }
    }
    int block;
    OutputBlock out;
    std::vector<float> left;
};

// The bank chunk a host would keep after "Demo Piano" instrument 0 was put
// on the first tone.
std::string DemoPianoChunk(const kivtest::TempDir& dir)
{
    return StudioChunk(dir, [](GigaStudio&) {});
}

// The test's own studio loaded from a chunk the plug-in gave back.
std::unique_ptr<GigaStudio> ReadBack(vst::AEffect* effect)
{
    void* data = nullptr;
    vst::intptr size = effect->dispatcher(effect, vst::effGetChunk, 0, 0, &data, 0.0f);
    if (size <= 0 || !data)
        return nullptr;
    std::unique_ptr<GigaStudio> studio = GigaStudio::Create();
    kiv::data chunk(data, static_cast<int>(size));
    if (!studio->SetState(chunk))
        return nullptr;
    return studio;
}

// The plug-in list the plug-in reads at its first studio, written by a scan
// of the folder into the test's home, where the plug-in looks for it.
void ListPlugins(const std::string& folder)
{
    [[maybe_unused]] vsttest::ForeignLeaksIgnored ignored;
    PlugInfoList list;
    list.Load(ovvst::kMakerFolder, ovvst::kProductBaseName);
    ASSERT_TRUE(list.SetFolder(folder.c_str()));
    ASSERT_TRUE(list.StartScan(nullptr, nullptr));
    while (list.IsScanning())
        usleep(5000);
}

void CopyFile(const std::string& from, const std::string& to)
{
    std::string bytes = kivtest::ReadFile(from);
    ASSERT_FALSE(bytes.empty());
    ASSERT_TRUE(kivtest::WriteFile(to, bytes.data(), bytes.size()));
}

}  // namespace

TEST(TessivoLibrary, ExportsExactlyTheTwoEntryNames)
{
    std::string command = "nm -D --defined-only '" + TessivoPath() + "'";
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::set<std::string> names;
    std::set<std::string> addresses;
    char line[1024];
    while (fgets(line, sizeof(line), pipe)) {
        char address[64] = {}, kind[8] = {}, name[900] = {};
        if (sscanf(line, "%63s %7s %899s", address, kind, name) == 3) {
            names.insert(name);
            addresses.insert(address);
        }
    }
    ASSERT_EQ(pclose(pipe), 0);
    EXPECT_EQ(names, (std::set<std::string>{"VSTPluginMain", "main"}));
    EXPECT_EQ(addresses.size(), 1u) << "one function under two names";
}

TEST_F(TessivoPlugin, EntryRefusesAHostWithoutVersionAndMakesIndependentInstances)
{
    EXPECT_EQ(m_entry(nullptr), nullptr);
    g_host.versionAnswer = 0;
    EXPECT_EQ(m_entry(HostCallback), nullptr);
    EXPECT_EQ(g_host.calls[vst::audioMasterVersion].load(), 1);

    g_host.versionAnswer = 2400;
    auto mainEntry = reinterpret_cast<vst::EntryProc>(dlsym(m_library, "main"));
    ASSERT_NE(mainEntry, nullptr);
    vst::AEffect* first = Create();
    vst::AEffect* second = mainEntry(HostCallback);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    m_effects.push_back(second);
    EXPECT_NE(first, second);
    EXPECT_NE(first->object, second->object);

    // Each keeps its own block size: one with buses renders, the other has
    // none and leaves the outputs alone.
    Call(first, vst::effSetBlockSize, 0, 64);
    Call(first, vst::effMainsChanged, 0, 1);
    OutputBlock a(64), b(64);
    first->processReplacing(first, nullptr, a.pointers, 64);
    second->processReplacing(second, nullptr, b.pointers, 64);
    EXPECT_TRUE(a.All(0.0f));
    EXPECT_TRUE(b.All(7.0f));
}

TEST_F(TessivoPlugin, RecordAnnouncesA32OutputInstrumentWithChunks)
{
    vst::AEffect* effect = Create();
    ASSERT_NE(effect, nullptr);
    EXPECT_EQ(effect->magic, vst::kEffectMagic);
    EXPECT_EQ(effect->numPrograms, 0);
    EXPECT_EQ(effect->numParams, 0);
    EXPECT_EQ(effect->numInputs, 0);
    EXPECT_EQ(effect->numOutputs, 32);
    // The editor window registers itself: the has-editor bit is on.
    EXPECT_EQ(effect->flags, vst::effFlagsHasEditor | vst::effFlagsCanReplacing | vst::effFlagsProgramChunks |
                                 vst::effFlagsIsSynth);
    EXPECT_EQ(effect->initialDelay, 0);
    EXPECT_EQ(effect->uniqueID, static_cast<vst::int32>(fourcc("OvGm")));
    EXPECT_EQ(effect->version, 1);
    EXPECT_EQ(effect->ioRatio, 1.0f);
    EXPECT_EQ(effect->user, nullptr);
    EXPECT_NE(effect->processReplacing, nullptr);
    EXPECT_NE(effect->dispatcher, nullptr);
}

TEST_F(TessivoPlugin, DispatcherAnswersNamesVersionsAndDefaults)
{
    vst::AEffect* effect = Create();
    ASSERT_NE(effect, nullptr);
    EXPECT_EQ(Call(effect, vst::effOpen), 0);
    EXPECT_EQ(Text(effect, vst::effGetEffectName), "Tessivo");
    EXPECT_EQ(Text(effect, vst::effGetVendorString), "Quillane");
    EXPECT_EQ(Text(effect, vst::effGetProductString), "Tessivo 2.1.2");
    EXPECT_EQ(Call(effect, vst::effGetVendorVersion), 0x20102);
    EXPECT_EQ(Call(effect, vst::effGetVstVersion), 2400);
    EXPECT_EQ(Call(effect, vst::effGetPlugCategory), 2);
    EXPECT_EQ(Call(effect, 22), static_cast<vst::intptr>(fourcc("NvEf")));
    EXPECT_EQ(Call(effect, vst::effGetProgram), 0);
    EXPECT_EQ(Call(effect, 63), -1);             // current MIDI program
    EXPECT_EQ(Call(effect, 73, 0, 123456), 123456);  // total samples to process
    EXPECT_EQ(Call(effect, vst::effStartProcess), 0);
    EXPECT_EQ(Call(effect, vst::effStopProcess), 0);

    // Names of programs and parameters are empty; a null text is refused.
    char text[256];
    memset(text, 'x', sizeof(text));
    Call(effect, vst::effGetProgramName, 0, 0, text);
    EXPECT_EQ(text[0], 0);
    EXPECT_EQ(Call(effect, vst::effGetEffectName, 0, 0, nullptr), 0);

    // Deprecated, unknown and unsupported opcodes answer 0.
    for (vst::int32 opcode : {9, 26, 28, 30, 33, 36, 44, 46, 52, 57, 65, 78, 79, 80, 200, -5})
        EXPECT_EQ(Call(effect, opcode, 0, 0, text), 0) << "opcode " << opcode;

    // The speaker-arrangement request clears both pointers.
    void* input = text;
    void* output = text;
    EXPECT_EQ(Call(effect, 69, 0, reinterpret_cast<vst::intptr>(&input), &output), 0);
    EXPECT_EQ(input, nullptr);
    EXPECT_EQ(output, nullptr);

    // The editor gives its rectangle; without a parent window it does not
    // open, and idle, close and keys on a closed editor are harmless.
    vst::ERect* rect = nullptr;
    EXPECT_EQ(Call(effect, vst::effEditGetRect, 0, 0, &rect), 1);
    ASSERT_NE(rect, nullptr);
    EXPECT_GT(rect->right - rect->left, 0);
    EXPECT_GT(rect->bottom - rect->top, 0);
    EXPECT_EQ(Call(effect, vst::effEditOpen, 0, 0, nullptr), 0);
    Call(effect, vst::effEditIdle);
    Call(effect, vst::effEditClose);
    Call(effect, 59, 'a', 0);  // key down on a closed editor
}

TEST_F(TessivoPlugin, OutputPinsNumberFromIndexPlusOne)
{
    vst::AEffect* effect = Create();
    ASSERT_NE(effect, nullptr);
    vst::VstPinProperties pin;
    memset(&pin, 0x55, sizeof(pin));
    ASSERT_EQ(Call(effect, vst::effGetOutputProperties, 0, 0, &pin), 1);
    EXPECT_STREQ(pin.label, "Out 1|2");
    EXPECT_EQ(pin.flags, vst::kVstPinIsActive | vst::kVstPinIsStereo);
    EXPECT_EQ(pin.arrangementType, 1);
    EXPECT_EQ(static_cast<unsigned char>(pin.shortLabel[0]), 0x55u) << "the short label is left untouched";

    ASSERT_EQ(Call(effect, vst::effGetOutputProperties, 31, 0, &pin), 1);
    EXPECT_STREQ(pin.label, "Out 32|33");
    EXPECT_EQ(Call(effect, vst::effGetOutputProperties, 32, 0, &pin), 0);
    EXPECT_EQ(Call(effect, vst::effGetOutputProperties, -1, 0, &pin), 0);
    EXPECT_EQ(Call(effect, vst::effGetOutputProperties, 0, 0, nullptr), 0);
    EXPECT_EQ(Call(effect, 33, 0, 0, &pin), 0);  // no inputs
}

TEST_F(TessivoPlugin, CanDoAnswersOnlyExactTextsAndNeverZero)
{
    vst::AEffect* effect = Create();
    ASSERT_NE(effect, nullptr);
    for (const char* yes : {"receiveVstEvents", "receiveVstMidiEvent", "LiveWithoutToolbar", "startStopProcess"})
        EXPECT_EQ(CanDo(effect, yes), 1) << yes;
    for (const char* no : {"sendVstEvents", "receiveVst", "receivevstevents", "receiveVstEvents ", "", "offline"})
        EXPECT_EQ(CanDo(effect, no), -1) << no;
    EXPECT_EQ(CanDo(effect, nullptr), -1);
}

TEST_F(TessivoPlugin, SilentRenderWritesZerosAndAllocatesNothing)
{
    vst::AEffect* effect = CreateRunning();
    ASSERT_NE(effect, nullptr);
    OutputBlock block(512, NAN);
    MidiBlock midi;
    midi.Add(0xB0, 7, 100);  // a controller: no sound
    midi.Add(0xF8, 0, 0);    // a clock: ignored
    {
        kivtest::AllocCounter counter;
        for (int i = 0; i < 20; ++i) {
            EXPECT_EQ(Call(effect, vst::effProcessEvents, 0, 0, midi.Get()), 1);
            effect->processReplacing(effect, nullptr, block.pointers, 512);
        }
        EXPECT_EQ(counter.Count(), 0);
    }
    EXPECT_TRUE(block.All(0.0f));
}

TEST_F(TessivoPlugin, RenderWithoutBlockSizeLeavesOutputsAndLongBlocksComeInPieces)
{
    vst::AEffect* effect = Create();
    ASSERT_NE(effect, nullptr);
    Call(effect, vst::effMainsChanged, 0, 1);
    OutputBlock untouched(128);
    effect->processReplacing(effect, nullptr, untouched.pointers, 128);
    EXPECT_TRUE(untouched.All(7.0f));

    // A host that announces 64 frames and then sends 10000 gets all 10000
    // written (rendered in pieces), nothing beyond the buses touched.
    Call(effect, vst::effSetBlockSize, 0, 64);
    OutputBlock longer(10000);
    effect->processReplacing(effect, nullptr, longer.pointers, 10000);
    EXPECT_TRUE(longer.All(0.0f));

    // Nonsense from the host is ignored.
    Call(effect, vst::effSetBlockSize, 0, -1);
    Call(effect, vst::effSetSampleRate, 0, 0, nullptr, NAN);
    Call(effect, vst::effSetSampleRate, 0, 0, nullptr, -44100.0f);
    OutputBlock after(64);
    effect->processReplacing(effect, nullptr, after.pointers, 64);
    effect->processReplacing(effect, nullptr, after.pointers, 0);
    effect->processReplacing(effect, nullptr, nullptr, 64);
    EXPECT_TRUE(after.All(0.0f));
}

TEST_F(TessivoPlugin, EventsOfEveryKindAreTakenAndHostileBlocksAreSurvived)
{
    vst::AEffect* effect = CreateRunning();
    ASSERT_NE(effect, nullptr);
    MidiBlock midi;
    midi.Add(0x90, 60, 100);
    midi.Add(0x90, 60, 0);     // note-on with velocity 0: a note-off
    midi.Add(0x80, 61, 64);
    midi.Add(0xA0, 60, 10);    // polyphonic pressure: ignored
    midi.Add(0xD0, 10, 0);     // channel pressure: ignored
    midi.Add(0x40, 60, 100);   // running status byte: ignored
    midi.Add(0xC3, 200, 0);    // data bytes masked to 7 bits
    midi.Add(0xEF, 0x7F, 0x7F);
    midi.Add(0xBF, 123, 0);
    midi.Add(0xF0, 0, 0, vst::kVstSysExType);
    midi.events[10] = nullptr;
    midi.numEvents = 11;
    EXPECT_EQ(Call(effect, vst::effProcessEvents, 0, 0, midi.Get()), 1);
    EXPECT_EQ(Call(effect, vst::effProcessEvents, 0, 0, nullptr), 1);
    midi.numEvents = -3;
    EXPECT_EQ(Call(effect, vst::effProcessEvents, 0, 0, midi.Get()), 1);
    OutputBlock block(512);
    effect->processReplacing(effect, nullptr, block.pointers, 512);
    // No instrument is loaded, so even the note is silent.
    EXPECT_TRUE(block.All(0.0f));
}

TEST_F(TessivoPlugin, ResumeAsksForTheProcessLevelAndSuspendSilences)
{
    vst::AEffect* effect = CreateRunning();
    ASSERT_NE(effect, nullptr);
    EXPECT_EQ(g_host.calls[vst::audioMasterGetCurrentProcessLevel].load(), 1);
    EXPECT_EQ(g_host.calls[6].load(), 0) << "resume does not ask the host for MIDI";

    Call(effect, vst::effMainsChanged, 0, 0);
    MidiBlock midi;
    midi.Add(0x90, 60, 100);
    Call(effect, vst::effProcessEvents, 0, 0, midi.Get());
    OutputBlock block(256);
    effect->processReplacing(effect, nullptr, block.pointers, 256);
    EXPECT_TRUE(block.All(0.0f));

    g_host.processLevel = 4;  // offline
    const int asked = g_host.calls[vst::audioMasterGetCurrentProcessLevel];
    Call(effect, vst::effMainsChanged, 0, 1);
    EXPECT_EQ(g_host.calls[vst::audioMasterGetCurrentProcessLevel].load(), asked + 1);
    g_host.processLevel = 2;
    Call(effect, vst::effMainsChanged, 0, 1);
    effect->processReplacing(effect, nullptr, block.pointers, 256);
    EXPECT_TRUE(block.All(0.0f));
}

// A host that starts a mixdown switches to offline rendering without
// switching the plug-in off and on, then renders as fast as it can: a note
// whose sample streams after its first second in memory plays to its end,
// because the plug-in asks for the level with every block.
TEST_F(TessivoPlugin, OfflineRenderingStartedWithoutResumeKeepsStreamedNotes)
{
    kivtest::TempDir dir;
    gigtools::GigFixture f{"Long", "", {}};
    const int h = f.bank.AddSample(gigtools::GigSample::Tone("Long", 1, 16, 44100, 60, 4 * 44100, 100.0, 0.5));
    gigtools::GigInstrument ins("Long");
    ins.regions.push_back(gigtools::GigRegion::Single(0, 127, h));
    ins.regions.back().zones[0].unityNote = 60;
    f.bank.AddInstrument(ins);
    const std::string gig = dir.File("Long.gig");
    ASSERT_TRUE(f.bank.Write(gig));
    const std::string chunk = ChunkFor(gig);
    ASSERT_FALSE(chunk.empty());

    vst::AEffect* effect = CreateRunning();  // in real time
    ASSERT_NE(effect, nullptr);
    ASSERT_EQ(Call(effect, vst::effSetChunk, 0, static_cast<vst::intptr>(chunk.size()),
                   const_cast<char*>(chunk.data())),
              1);
    LeftRecorder rec(512);
    rec.Render(effect, 512);
    g_host.processLevel = 4;
    const int asked = g_host.calls[vst::audioMasterGetCurrentProcessLevel];
    MidiBlock note;
    note.Add(0x90, 60, 100);
    long allocations = 0;
    {
        kivtest::AllocCounter counter;
        rec.Render(effect, 4 * 44100, &note);
        allocations = counter.Count();
    }
    EXPECT_EQ(allocations, 0);
    EXPECT_GE(g_host.calls[vst::audioMasterGetCurrentProcessLevel].load() - asked, 4 * 44100 / 512);
    // Every 0.1 s of the note sounds, the streamed 3 s too, to its end.
    const size_t from = 512;
    for (int w = 0; w < 39; ++w) {
        float peak = 0.0f;
        for (size_t i = from + w * 4410; i < from + (w + 1) * 4410; ++i)
            peak = std::max(peak, std::fabs(rec.left[i]));
        EXPECT_GT(peak, 0.01f) << "silent from " << w * 0.1 << " s into the note";
    }
}

TEST_F(TessivoPlugin, PresetChunksAreRefusedAndBadBankChunksFailWithoutLoss)
{
    vst::AEffect* effect = Create();
    ASSERT_NE(effect, nullptr);
    void* marker = &marker;
    void* data = marker;
    EXPECT_EQ(Call(effect, vst::effGetChunk, 1, 0, &data), 0);
    EXPECT_EQ(data, marker);
    char bytes[64] = "not a state";
    EXPECT_EQ(Call(effect, vst::effSetChunk, 1, sizeof(bytes), bytes), 0);
    EXPECT_EQ(Call(effect, vst::effSetChunk, 0, sizeof(bytes), nullptr), 0);
    EXPECT_EQ(Call(effect, vst::effSetChunk, 0, -1, bytes), 0);
    EXPECT_EQ(Call(effect, vst::effSetChunk, 0, static_cast<vst::intptr>(1) << 40, bytes), 0);
    EXPECT_EQ(Call(effect, vst::effGetChunk, 0, 0, nullptr), 0);

    // Bytes that are neither form are refused and change nothing.
    data = nullptr;
    vst::intptr before = Call(effect, vst::effGetChunk, 0, 0, &data);
    std::string saved(static_cast<const char*>(data ? data : ""), data ? static_cast<size_t>(before) : 0);
    EXPECT_EQ(Call(effect, vst::effSetChunk, 0, sizeof(bytes), bytes), 0);
    data = nullptr;
    vst::intptr after = Call(effect, vst::effGetChunk, 0, 0, &data);
    ASSERT_EQ(after, before);
    if (after > 0) {
        EXPECT_EQ(std::string(static_cast<const char*>(data), static_cast<size_t>(after)), saved);
    }
}

TEST_F(TessivoPlugin, UnloadDestroysTheProcessObjectsAndLeavesNoThread)
{
    vst::AEffect* effect = CreateRunning();
    ASSERT_NE(effect, nullptr);
    OutputBlock block(512);
    effect->processReplacing(effect, nullptr, block.pointers, 512);
    Close(effect);
    ASSERT_EQ(dlclose(m_library), 0);
    m_library = nullptr;
    EXPECT_EQ(dlopen(TessivoPath().c_str(), RTLD_NOW | RTLD_NOLOAD), nullptr) << "the library stays loaded";
    EXPECT_EQ(ThreadCount(), m_threadsBefore);
    // The preferences were written at unload.
    const char* data = getenv("XDG_DATA_HOME");
    ASSERT_NE(data, nullptr);
    EXPECT_FALSE(kivtest::ReadFile(std::string(data) + "/Quillane/tessivo.prefs").empty());
}

TEST_F(TessivoPlugin, BankChunkLoadsAnInstrumentBeforeReturningAndRoundTrips)
{
    kivtest::TempDir dir;
    std::string chunk = DemoPianoChunk(dir);
    ASSERT_FALSE(chunk.empty());

    vst::AEffect* first = CreateRunning();
    ASSERT_NE(first, nullptr);
    ASSERT_EQ(Call(first, vst::effSetChunk, 0, static_cast<vst::intptr>(chunk.size()), chunk.data()), 1);
    // Loaded when setChunk returned: the very first blocks sound, on the
    // first pair only (every mixer channel goes to output bus 0).
    NoteResult played = PlayNote(first, 8);
    EXPECT_GT(played.firstPair, 0.001f);
    EXPECT_EQ(played.others, 0.0f);
    EXPECT_TRUE(std::isfinite(played.firstPair));
    EXPECT_LT(played.firstPair, 4.0f);

    void* data = nullptr;
    vst::intptr size = Call(first, vst::effGetChunk, 0, 0, &data);
    ASSERT_GT(size, 0);
    ASSERT_NE(data, nullptr);
    std::string saved(static_cast<const char*>(data), static_cast<size_t>(size));

    // A second instance takes the first one's chunk and gives the same back.
    vst::AEffect* second = CreateRunning();
    ASSERT_NE(second, nullptr);
    ASSERT_EQ(Call(second, vst::effSetChunk, 0, size, saved.data()), 1);
    EXPECT_GT(PlayNote(second, 8).firstPair, 0.001f);
    void* again = nullptr;
    vst::intptr againSize = Call(second, vst::effGetChunk, 0, 0, &again);
    ASSERT_EQ(againSize, size);
    EXPECT_EQ(std::string(static_cast<const char*>(again), static_cast<size_t>(againSize)), saved);

    // A broken chunk is refused and the instrument stays.
    std::string broken = saved.substr(0, saved.size() / 2);
    EXPECT_EQ(Call(second, vst::effSetChunk, 0, static_cast<vst::intptr>(broken.size()), broken.data()), 0);
    EXPECT_GT(PlayNote(second, 4).firstPair, 0.001f);
}

// A host restoring a project saved in the older form while the user's data
// folder is unusable (a plain file stands where it should be) or the disk
// is full: the chunk is read where the host keeps it, and the instrument
// plays when setChunk returns.
TEST_F(TessivoPlugin, OlderFormChunkLoadsWithAnUnusableOrFullDataFolder)
{
    kivtest::TempDir dir;
    const std::string gig = dir.File("Demo Piano.gig");
    ASSERT_TRUE(gigtools::DemoPianoFixture().bank.Write(gig));
    std::string chunk;
    {
        std::unique_ptr<GigaStudio> studio = GigaStudio::Create();
        ASSERT_NE(studio->GetDeck(0)->GetGigaTone(0)->AddPart(gig.c_str(), 0), nullptr);
        ASSERT_TRUE(studio->GetDeck(0)->SaveRiff(dir.File("older.tvp").c_str()));
        chunk = kivtest::ReadFile(dir.File("older.tvp"));
        ASSERT_EQ(chunk.substr(8, 4), "OvGm");
    }
    const std::string data = getenv("XDG_DATA_HOME");
    const std::string plain = dir.File("plain");
    ASSERT_TRUE(kivtest::WriteFile(plain, "not a folder", 12));
    for (bool full : {false, true}) {
        vst::AEffect* effect = CreateRunning();
        ASSERT_NE(effect, nullptr);
        vst::intptr result;
        if (full) {
            filetest::FileSizeLimit diskFull(0);
            ASSERT_TRUE(diskFull.IsSet());
            result = Call(effect, vst::effSetChunk, 0, static_cast<vst::intptr>(chunk.size()), chunk.data());
        } else {
            setenv("XDG_DATA_HOME", plain.c_str(), 1);
            result = Call(effect, vst::effSetChunk, 0, static_cast<vst::intptr>(chunk.size()), chunk.data());
            setenv("XDG_DATA_HOME", data.c_str(), 1);
        }
        EXPECT_EQ(result, 1) << (full ? "full disk" : "unusable folder");
        EXPECT_GT(PlayNote(effect, 8).firstPair, 0.001f) << (full ? "full disk" : "unusable folder");
        Close(effect);
    }
}

TEST_F(TessivoPlugin, PlayingInstrumentRendersWithoutAllocating)
{
    kivtest::TempDir dir;
    std::string chunk = DemoPianoChunk(dir);
    ASSERT_FALSE(chunk.empty());
    vst::AEffect* effect = CreateRunning();
    ASSERT_NE(effect, nullptr);
    ASSERT_EQ(Call(effect, vst::effSetChunk, 0, static_cast<vst::intptr>(chunk.size()), chunk.data()), 1);
    PlayNote(effect, 2);  // the first note may set up what the engine keeps
    NoteResult played = PlayNote(effect, 16);
    EXPECT_GT(played.firstPair, 0.001f);
    EXPECT_EQ(played.allocations, 0);
}

// A cutoff controller moved while a note sounds takes the filter all the way
// to its target, whatever size the host's blocks have (most are no whole
// number of the voice's 8-frame control steps): the note then sounds as one
// that had that cutoff from its start.
TEST_F(TessivoPlugin, MovedCutoffReachesItsTargetAtEveryHostBlockSize)
{
    kivtest::TempDir dir;
    gigtools::GigFixture f{"Cutoff", "", {}};
    const int h = f.bank.AddSample(gigtools::GigSample::Tone("Held", 1, 16, 44100, 48, 3 * 44100, 100.0, 0.5));
    gigtools::GigInstrument ins("Filtered");
    ins.regions.push_back(gigtools::GigRegion::Single(0, 127, h));
    gigtools::GigZone& zone = ins.regions.back().zones[0];
    zone.unityNote = 48;
    zone.art.filterOn = true;
    zone.art.cutoffController = 74;
    f.bank.AddInstrument(ins);
    const std::string gig = dir.File("Cutoff.gig");
    ASSERT_TRUE(f.bank.Write(gig));
    const std::string chunk = ChunkFor(gig);
    ASSERT_FALSE(chunk.empty());

    for (int block : {100, 77, 3, 512}) {
        vst::AEffect* moved = CreateRunning();
        vst::AEffect* still = CreateRunning();
        ASSERT_NE(moved, nullptr);
        ASSERT_NE(still, nullptr);
        LeftRecorder a(block), b(block);
        for (vst::AEffect* effect : {moved, still})
            ASSERT_EQ(Call(effect, vst::effSetChunk, 0, static_cast<vst::intptr>(chunk.size()),
                           const_cast<char*>(chunk.data())),
                      1);
        a.Render(moved, block);  // the tones take notes from here on
        b.Render(still, block);
        // One starts with the filter open and is closed down 0.2 s into the
        // note; the other plays closed down from its start.
        MidiBlock open, closed, close;
        open.Add(0xB0, 74, 127);
        open.Add(0x90, 48, 127);
        closed.Add(0xB0, 74, 20);
        closed.Add(0x90, 48, 127);
        close.Add(0xB0, 74, 20);
        a.Render(moved, 8820, &open);
        b.Render(still, 8820, &closed);
        long allocations = 0;
        {
            kivtest::AllocCounter counter;
            a.Render(moved, 22050, &close);
            allocations = counter.Count();
        }
        b.Render(still, 22050);
        EXPECT_EQ(allocations, 0) << block;
        // The last 0.1 s: the same sound once the filters' states have met.
        double signal = 0.0, error = 0.0;
        ASSERT_EQ(a.left.size(), b.left.size());
        for (size_t i = a.left.size() - 4410; i < a.left.size(); ++i) {
            signal += static_cast<double>(b.left[i]) * b.left[i];
            error += static_cast<double>(a.left[i] - b.left[i]) * (a.left[i] - b.left[i]);
        }
        ASSERT_GT(signal, 1e-6) << block;
        EXPECT_LT(10.0 * std::log10(error / signal + 1e-30), -80.0) << "block " << block;
        Close(moved);
        Close(still);
    }
}

// Compressed samples whose last frame holds fewer frames than a whole one,
// as recorded files have them (the header counts whole frames): a held note
// plays each to its own last frame, one kept in memory and one streamed
// after its first second, and stops there.
TEST_F(TessivoPlugin, CompressedSamplesWithAShortLastFramePlayToTheirOwnEnd)
{
    g_host.processLevel = 4;  // offline: the streamed one is waited for
    for (uint32_t frames : {7168u, 4 * 44100u}) {
        kivtest::TempDir dir;
        gigtools::GigFixture f{"Short", "", {}};
        gigtools::GigSample tone = gigtools::GigSample::Tone("Short", 1, 16, 44100, 60, frames, 100.0, 0.5);
        tone.compressed = true;
        tone.shortLastFrame = true;
        gigtools::GigInstrument ins("Short");
        ins.regions.push_back(gigtools::GigRegion::Single(0, 127, f.bank.AddSample(tone)));
        ins.regions.back().zones[0].unityNote = 60;
        f.bank.AddInstrument(ins);
        const std::string gig = dir.File("Short.gig");
        ASSERT_TRUE(f.bank.Write(gig));
        const std::string chunk = ChunkFor(gig);
        ASSERT_FALSE(chunk.empty());

        vst::AEffect* effect = CreateRunning();
        ASSERT_NE(effect, nullptr);
        ASSERT_EQ(Call(effect, vst::effSetChunk, 0, static_cast<vst::intptr>(chunk.size()),
                       const_cast<char*>(chunk.data())),
                  1);
        LeftRecorder rec(512);
        rec.Render(effect, 512);
        MidiBlock note;
        note.Add(0x90, 60, 100);
        rec.Render(effect, static_cast<int>(frames) + 8192, &note);
        // The note starts with the second block and sounds to the sample's
        // last frame (the interpolation's last step ends one frame early).
        int64_t last = -1;
        for (size_t i = 512; i < rec.left.size(); ++i)
            if (std::fabs(rec.left[i]) > 1e-4f)
                last = static_cast<int64_t>(i);
        EXPECT_NEAR(static_cast<double>(last - 512 + 1), frames, 1.0) << frames;
        Close(effect);
    }
}

// A host pinned to two processors (as taskset pins it) restores a state
// whose instrument has many compressed samples: the load decodes on the
// host's own thread and starts no decoder threads that would only take
// turns with it. Unpinned, a load keeps decoders: at most one fewer than
// the processors, the one left for the audio thread.
TEST_F(TessivoPlugin, CompressedStateDecodesOnNoMoreThreadsThanTheHostMayRun)
{
    kivtest::TempDir dir;
    gigtools::GigFixture f{"Packed", "", {}};
    gigtools::GigInstrument ins("Packed");
    for (int k = 0; k < 12; ++k) {
        const char name[] = {'P', static_cast<char>('a' + k), 0};
        gigtools::GigSample s = gigtools::GigSample::Tone(name, 1, 16, 44100, 40 + 4 * k, 2048 * 8);
        s.compressed = true;
        ins.regions.push_back(gigtools::GigRegion::Single(40 + 4 * k, 43 + 4 * k, f.bank.AddSample(s)));
        ins.regions.back().zones[0].unityNote = 40 + 4 * k;
    }
    f.bank.AddInstrument(ins);
    const std::string pinnedGig = dir.File("Pinned.gig");
    const std::string freeGig = dir.File("Free.gig");
    ASSERT_TRUE(f.bank.Write(pinnedGig));
    ASSERT_TRUE(f.bank.Write(freeGig));
    const std::string pinnedChunk = ChunkFor(pinnedGig);
    const std::string freeChunk = ChunkFor(freeGig);

    vst::AEffect* effect = CreateRunning();
    ASSERT_NE(effect, nullptr);
    ASSERT_EQ(ThreadsNamed("GigaDecoder"), 0);
    {
        kivtest::PinnedThread pin(2);
        if (!pin.Pinned())
            GTEST_SKIP() << "fewer than two processors";
        ASSERT_EQ(Call(effect, vst::effSetChunk, 0, static_cast<vst::intptr>(pinnedChunk.size()),
                       const_cast<char*>(pinnedChunk.data())),
                  1);
        EXPECT_EQ(ThreadsNamed("GigaDecoder"), 0) << "decoder threads for a host pinned to two processors";
    }
    EXPECT_GT(PlayNote(effect, 4).firstPair, 0.001f);

    ASSERT_EQ(Call(effect, vst::effSetChunk, 0, static_cast<vst::intptr>(freeChunk.size()),
                   const_cast<char*>(freeChunk.data())),
              1);
    const int decoders = ThreadsNamed("GigaDecoder");
    EXPECT_LE(decoders, std::max(kiv::thread::UsableProcessors() - 1, 1));
    if (kiv::thread::UsableProcessors() >= 3) {
        EXPECT_GT(decoders, 0);
    }
    EXPECT_GT(PlayNote(effect, 4).firstPair, 0.001f);
}

TEST_F(TessivoPlugin, HostThreadChangesStateWhileTheAudioThreadPlays)
{
    kivtest::TempDir dir;
    std::string chunk = DemoPianoChunk(dir);
    ASSERT_FALSE(chunk.empty());
    vst::AEffect* effect = CreateRunning();
    ASSERT_NE(effect, nullptr);

    // The audio thread renders block after block, as a host does, and plays
    // a note every few blocks, while the host's own thread loads the chunk,
    // reads it back and switches the plug-in off and on. After each load the
    // instrument plays again.
    std::atomic<bool> stop{false};
    std::atomic<int> blocks{0};
    std::atomic<int> sounding{0};
    std::thread audio([&] {
        OutputBlock block(512);
        MidiBlock notes;
        notes.Add(0x80, 60, 0);
        notes.Add(0x90, 60, 110);
        notes.Add(0xB0, 7, 100);
        for (int n = 0; !stop.load(std::memory_order_acquire); ++n) {
            if (n % 6 == 0)
                effect->dispatcher(effect, vst::effProcessEvents, 0, 0, notes.Get(), 0.0f);
            effect->processReplacing(effect, nullptr, block.pointers, 512);
            const float peak = block.Peak(0, 1);
            if (peak > 0.001f && std::isfinite(peak))
                sounding.fetch_add(1, std::memory_order_acq_rel);
            blocks.fetch_add(1, std::memory_order_acq_rel);
        }
    });
    // Two more sounding blocks: the second comes from a note after the call.
    const auto soundsAgain = [&] {
        const int since = sounding.load(std::memory_order_acquire);
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (sounding.load(std::memory_order_acquire) < since + 2) {
            if (std::chrono::steady_clock::now() > end)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return true;
    };
    for (int round = 0; round < 3; ++round) {
        EXPECT_EQ(Call(effect, vst::effSetChunk, 0, static_cast<vst::intptr>(chunk.size()), chunk.data()), 1);
        EXPECT_TRUE(soundsAgain()) << "round " << round;
        void* data = nullptr;
        EXPECT_GT(Call(effect, vst::effGetChunk, 0, 0, &data), 0);
        Call(effect, vst::effMainsChanged, 0, 0);
        Call(effect, vst::effMainsChanged, 0, 1);
    }
    while (blocks.load(std::memory_order_acquire) < 20)
        std::this_thread::yield();
    stop.store(true, std::memory_order_release);
    audio.join();
}

// Effects are found by the name they are listed under and by the name of
// the real file behind a link that the scan met: the test effect behind
// "echo.so" is named "echo-2.so", and Debian's MVerb, reached as
// "mverb.so", by its own file name. Stored values that are no parameter
// values are refused.
TEST_F(TessivoPlugin, HostedEffectsFoundByAnyFileNameGetTheirParameterValuesBackFromTheBankChunkAndRefuseNonValues)
{
    kivtest::TempDir dir;
    mkdir(dir.File("fx").c_str(), 0755);
    mkdir(dir.File("lib").c_str(), 0755);
    const std::string gainPath = dir.File("fx/gain.so");
    const std::string echoPath = dir.File("lib/echo-2.so");
    CopyFile(vsttest::PluginPath("testeffect"), gainPath);
    CopyFile(vsttest::PluginPath("testeffect"), echoPath);
    ASSERT_EQ(symlink(echoPath.c_str(), dir.File("fx/echo.so").c_str()), 0);
    // A Debian effect whose programs-are-chunks flag is off, when installed.
    const char* verb = "/usr/lib/vst/MVerb-vst.so";
    const bool haveVerb = access(verb, R_OK) == 0;
    if (haveVerb) {
        ASSERT_EQ(symlink(verb, dir.File("fx/mverb.so").c_str()), 0);
    }
    // Two more copies whose stored values are no parameter values (not a
    // number, infinite, outside 0..1): refused, the effects keep their own.
    const std::string oddPath = dir.File("fx/odd.so");
    const std::string farPath = dir.File("fx/far.so");
    CopyFile(vsttest::PluginPath("testeffect"), oddPath);
    CopyFile(vsttest::PluginPath("testeffect"), farPath);
    ListPlugins(dir.File("fx"));
    const std::vector<float> gainValues = {0.25f, 0.75f};
    const std::vector<float> echoValues = {0.125f, 0.875f};
    const std::vector<float> verbValues = {0.1f, 0.2f, 0.3f, 0.4f, 0.6f, 0.7f, 0.8f, 0.9f, 0.35f};
    std::string chunk = StudioChunk(dir, [&](GigaStudio& studio) {
        studio.SetInsert(0, 0, std::make_unique<StoredInsert>("gain.so", gainValues));
        studio.SetInsert(1, 0, std::make_unique<StoredInsert>("odd.so", std::vector<float>{NAN, INFINITY}));
        studio.SetInsert(2, 0, std::make_unique<StoredInsert>("far.so", std::vector<float>{-INFINITY, 2.0f}));
        studio.SetInsert(4, 0, std::make_unique<StoredInsert>("echo-2.so", echoValues));
        if (haveVerb)
            studio.SetInsert(3, 1, std::make_unique<StoredInsert>("MVerb-vst.so", verbValues));
    });
    ASSERT_FALSE(chunk.empty());

    vst::AEffect* effect = CreateRunning();
    ASSERT_NE(effect, nullptr);
    {
        [[maybe_unused]] vsttest::ForeignLeaksIgnored ignored;
        ASSERT_EQ(Call(effect, vst::effSetChunk, 0, static_cast<vst::intptr>(chunk.size()), chunk.data()), 1);
    }
    // The hosted effect itself has the values (it starts with a gain of 0.5).
    TestEffectState* gain = vsttest::StateOf(gainPath);
    ASSERT_NE(gain, nullptr);
    EXPECT_FLOAT_EQ(gain->params[0], 0.25f);
    EXPECT_FLOAT_EQ(gain->params[1], 0.75f);
    gain->params[1] = 0.5f;  // as if the user turned a knob
    TestEffectState* echo = vsttest::StateOf(echoPath);
    ASSERT_NE(echo, nullptr) << "the slot naming the real file stayed empty";
    EXPECT_FLOAT_EQ(echo->params[0], 0.125f);
    for (const std::string& refused : {oddPath, farPath}) {
        TestEffectState* state = vsttest::StateOf(refused);
        ASSERT_NE(state, nullptr) << refused;
        EXPECT_FLOAT_EQ(state->params[0], 0.5f) << refused;  // as it starts
        EXPECT_FLOAT_EQ(state->params[1], 0.0f) << refused;
    }

    // And the plug-in's chunk carries what the hosted effects hold now.
    StoredFactory factory;
    std::unique_ptr<GigaStudio> back = ReadBack(effect);
    ASSERT_NE(back, nullptr);
    auto* gainBack = static_cast<StoredInsert*>(back->GetInsert(0, 0));
    ASSERT_NE(gainBack, nullptr);
    EXPECT_EQ(gainBack->name, "gain.so");
    EXPECT_EQ(gainBack->values, (std::vector<float>{0.25f, 0.5f}));
    // Saved under the name the list gives it, which finds it as well.
    auto* echoBack = static_cast<StoredInsert*>(back->GetInsert(4, 0));
    ASSERT_NE(echoBack, nullptr);
    EXPECT_EQ(echoBack->name, "echo.so");
    EXPECT_EQ(echoBack->values, echoValues);
    for (int c : {1, 2}) {
        auto* back1 = static_cast<StoredInsert*>(back->GetInsert(c, 0));
        ASSERT_NE(back1, nullptr);
        EXPECT_EQ(back1->values, (std::vector<float>{0.5f, 0.0f})) << "channel " << c;
    }
    if (haveVerb) {
        auto* verbBack = static_cast<StoredInsert*>(back->GetInsert(3, 1));
        ASSERT_NE(verbBack, nullptr);
        EXPECT_EQ(verbBack->name, "mverb.so");
        ASSERT_EQ(verbBack->values.size(), verbValues.size());
        for (size_t i = 0; i < verbValues.size(); ++i)
            EXPECT_NEAR(verbBack->values[i], verbValues[i], 0.01f) << "parameter " << i;
    }
    [[maybe_unused]] vsttest::ForeignLeaksIgnored ignored;
    Close(effect);
}

TEST_F(TessivoPlugin, StateNamingALibraryListedAsFailedLoadsTheRestAndKeepsTheSlotAsSaved)
{
    kivtest::TempDir dir;
    mkdir(dir.File("fx").c_str(), 0755);
    const std::string gainPath = dir.File("fx/gain.so");
    const std::string crashPath = dir.File("fx/crash.so");
    CopyFile(vsttest::PluginPath("testeffect"), gainPath);
    ListPlugins(dir.File("fx"));
    // A library that killed an earlier scan's probe: its guard is left.
    CopyFile(vsttest::PluginPath("testcrash"), crashPath);
    PlugInfo guard;
    guard.SetPath(crashPath.c_str());
    guard.SetName("crash.so");
    guard.SetVendor("unknown");
    ArchiSave save;
    ASSERT_TRUE(save.SaveFile(&guard, fourcc("info"),
                              (std::string(getenv("XDG_CONFIG_HOME")) + "/Quillane/tessivo64.ukn").c_str()));

    std::string chunk = StudioChunk(dir, [&](GigaStudio& studio) {
        studio.SetInsert(0, 0,
                         std::make_unique<StoredInsert>("crash.so", std::vector<float>{0.3f, NAN}, "crash-chunk"));
        studio.SetEffectFlag(0, kOvSlotInsert0, true);
        studio.SetInsert(0, 1, std::make_unique<StoredInsert>("gain.so", std::vector<float>{0.25f, 0.75f}));
        studio.SetMixerParam(0, kOvMixLevel, 0.5f);
    });
    ASSERT_FALSE(chunk.empty());
    vst::AEffect* effect = CreateRunning();
    ASSERT_NE(effect, nullptr);
    ASSERT_EQ(Call(effect, vst::effSetChunk, 0, static_cast<vst::intptr>(chunk.size()), chunk.data()), 1);
    EXPECT_FALSE(vsttest::IsLoaded(crashPath));
    EXPECT_TRUE(vsttest::IsLoaded(gainPath));
    EXPECT_GT(PlayNote(effect, 8).firstPair, 0.001f);

    // The failed slot is written back as it was loaded; the rest as it is.
    StoredFactory factory;
    std::unique_ptr<GigaStudio> back = ReadBack(effect);
    ASSERT_NE(back, nullptr);
    auto* failed = static_cast<StoredInsert*>(back->GetInsert(0, 0));
    ASSERT_NE(failed, nullptr);
    EXPECT_EQ(failed->name, "crash.so");
    EXPECT_EQ(failed->chunk, "crash-chunk");
    ASSERT_EQ(failed->values.size(), 2u);  // even a value that is no parameter value
    EXPECT_EQ(failed->values[0], 0.3f);
    EXPECT_TRUE(std::isnan(failed->values[1]));
    EXPECT_TRUE(back->IsEffectEnabled(0, kOvSlotInsert0));
    auto* gain = static_cast<StoredInsert*>(back->GetInsert(0, 1));
    ASSERT_NE(gain, nullptr);
    EXPECT_EQ(gain->values, (std::vector<float>{0.25f, 0.75f}));
    EXPECT_FLOAT_EQ(back->GetMixerParam(0, kOvMixLevel), 0.5f);
}
