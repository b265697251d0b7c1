#include "vst/AudioPlugVst.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>
#include <thread>
#include <vector>

#include "kiv/file/Archive.h"
#include "support/PipeGuard.h"
#include "support/TestSupport.h"
#include "tests/vst/VstTestHost.h"
#include "vst/PlugInfoList.h"

namespace {

using vsttest::LoadedPlug;

}  // namespace

TEST(AudioPlugVst, LoadOpensThePlugInAndSetsItUp)
{
    LoadedPlug p("testeffect");
    ASSERT_TRUE(p.opened);
    ASSERT_NE(p.state, nullptr);
    EXPECT_EQ(p.plug.GetInfo(), &p.info);
    EXPECT_EQ(p.state->opcodeCalls[vst::effOpen], 1);
    EXPECT_EQ(p.state->sampleRate, 44100.0f);
    EXPECT_EQ(p.state->blockSize, 1024);
    EXPECT_EQ(p.state->mains, 1);
    EXPECT_STREQ(p.info.GetEffectName(), kTestEffectProduct);
    EXPECT_STREQ(p.info.GetDisplayName(), kTestEffectProduct);
    EXPECT_EQ(p.plug.GetVendorVersion(), kTestEffectVendorVersion);
    EXPECT_EQ(p.plug.GetInputCount(), 2);
    EXPECT_EQ(p.plug.GetOutputCount(), 2);
    EXPECT_FALSE(p.plug.IsInstrument());
    // Asked during the entry, before the record is ours.
    EXPECT_EQ(p.state->entryVersion, 2);
    EXPECT_EQ(p.state->entrySampleRate, 44100);
    // Never asked at load: some plug-ins crash without a display.
    EXPECT_EQ(p.state->opcodeCalls[vst::effEditGetRect], 0);
    const vst::VstTimeInfo& time = p.plug.GetTimeInfo();
    EXPECT_EQ(time.tempo, 120.0);
    EXPECT_EQ(time.timeSigNumerator, 4);
    EXPECT_EQ(time.timeSigDenominator, 4);
    EXPECT_EQ(time.sampleRate, 44100.0);
    EXPECT_EQ(time.smpteFrameRate, 1);
}

TEST(AudioPlugVst, CloseSwitchesOffClosesAndFreesTheLibrary)
{
    LoadedPlug p("testeffect");
    ASSERT_TRUE(p.opened);
    p.plug.Close();
    EXPECT_FALSE(p.plug.IsOpen());
    EXPECT_EQ(p.plug.GetInputCount(), 0);
    EXPECT_EQ(p.plug.GetEffect(), nullptr);
    EXPECT_FALSE(vsttest::IsLoaded(p.path));
    // Calls without a plug-in do nothing.
    float l[8] = {}, r[8] = {};
    p.plug.NoteOn(0, 60, 100, 0);
    p.plug.Process(l, r, 8);
    EXPECT_EQ(p.plug.Dispatch(vst::effGetVendorVersion, 0, 0, nullptr, 0.0f), 0);
}

TEST(AudioPlugVst, BrokenLibrariesFailCleanly)
{
    kivtest::TempDir dir;
    std::string notLibrary = dir.File("text.so");
    kivtest::WriteFile(notLibrary, "not a library", 13);
    // A named pipe called like a library: refused at once, never waited on.
    const std::string pipe = dir.File("pipe.so");
    ASSERT_TRUE(kivtest::MakePipe(pipe));
    kivtest::PipeGuard guard({pipe}, 5);
    const std::string paths[] = {vsttest::PluginPath("testnoentry"), vsttest::PluginPath("testnulleffect"),
                                 vsttest::PluginPath("testbadmagic"), dir.File("missing.so"), notLibrary, pipe};
    for (const std::string& path : paths) {
        PlugInfo info;
        info.SetPath(path.c_str());
        info.SetName("x.so");
        AudioPlugVst plug;
        EXPECT_FALSE(plug.Open(&info)) << path;
        EXPECT_FALSE(plug.IsOpen());
        EXPECT_EQ(plug.GetInfo(), nullptr);
        if (path != pipe) {  // asking the loader about a pipe would wait on it too
            EXPECT_FALSE(vsttest::IsLoaded(path)) << path;
        }
    }
    EXPECT_FALSE(guard.Released()) << "a library was waited for on a named pipe";
    AudioPlugVst plug;
    PlugInfo noPath;
    EXPECT_FALSE(plug.Open(&noPath));
    EXPECT_FALSE(plug.Open(nullptr));
}

TEST(AudioPlugVst, EntryNamedMainIsFound)
{
    LoadedPlug p("testmainonly");
    EXPECT_TRUE(p.opened);
}

TEST(AudioPlugVst, OverlongTextsFromThePlugInAreCut)
{
    LoadedPlug p("testlongtexts");
    ASSERT_TRUE(p.opened);
    ASSERT_NE(p.info.GetEffectName(), nullptr);
    EXPECT_EQ(strlen(p.info.GetEffectName()), 200u);
}

TEST(AudioPlugVst, EffectProcessesTheChannelInPlace)
{
    LoadedPlug p("testeffect");
    ASSERT_TRUE(p.opened);
    p.plug.GetEffect()->setParameter(p.plug.GetEffect(), 0, 1.0f);  // gain 2
    std::vector<float> left(512), right(512);
    for (int i = 0; i < 512; ++i) {
        left[i] = 0.25f;
        right[i] = -0.5f;
    }
    p.plug.Process(left.data(), right.data(), 512);
    EXPECT_EQ(p.state->lastInputs[0], left.data());
    EXPECT_EQ(p.state->lastInputs[1], right.data());
    EXPECT_EQ(p.state->lastOutputs[0], left.data());
    EXPECT_EQ(p.state->lastOutputs[1], right.data());
    EXPECT_FLOAT_EQ(left[511], 0.5f);
    EXPECT_FLOAT_EQ(right[0], -1.0f);
}

TEST(AudioPlugVst, BlocksLongerThanTheScratchBuffersGoInPieces)
{
    LoadedPlug p("testwide");
    ASSERT_TRUE(p.opened);
    EXPECT_EQ(p.plug.GetOutputCount(), 6);
    std::vector<float> left(10000, 0.5f), right(10000, 0.5f);
    p.plug.Process(left.data(), right.data(), 10000);
    EXPECT_EQ(p.state->processCalls, 3);
    EXPECT_FLOAT_EQ(left[9999], 0.5f);  // gain 1 at the default parameter
    EXPECT_EQ(p.state->lastOutputs[0], left.data() + 8192);
}

TEST(AudioPlugVst, InstrumentGetsScratchInputsAndOneOutputStillProcessesInPlace)
{
    LoadedPlug p("testsynth");
    ASSERT_TRUE(p.opened);
    EXPECT_TRUE(p.plug.IsInstrument());
    std::vector<float> left(64, 1.0f), right(64, 1.0f);
    p.plug.Process(left.data(), right.data(), 64);
    EXPECT_NE(p.state->lastInputs[0], left.data());
    EXPECT_NE(p.state->lastInputs[1], right.data());
    EXPECT_EQ(p.state->lastOutputs[0], left.data());
    // Scratch inputs are silent, so the one output is too.
    EXPECT_EQ(left[10], 0.0f);
    EXPECT_EQ(right[10], 1.0f);
}

TEST(AudioPlugVst, MidiIsQueuedOnChannelOneAndSentBeforeProcessing)
{
    LoadedPlug p("testeffect");
    ASSERT_TRUE(p.opened);
    p.plug.NoteOn(5, 60, 100, 7);
    p.plug.NoteOff(3, 60, 64, 9);
    p.plug.Controller(2, 7, 90, 1);
    p.plug.PitchBend(9, 0x11, 0x40, 2);
    p.plug.ProgramChange(0, 5);
    p.plug.AllNotesOff(-1);
    EXPECT_EQ(p.state->eventBlocks, 0);
    float l[16] = {}, r[16] = {};
    p.plug.Process(l, r, 16);
    ASSERT_EQ(p.state->eventBlocks, 1);
    ASSERT_EQ(p.state->lastBlockEvents, 4);
    // The record declares two pointers; the block holds as many as it says.
    vst::VstEvent* const* events = p.state->lastBlock->events;
    const unsigned char expected[4][3] = {{0x90, 60, 100}, {0x80, 60, 64}, {0xB0, 7, 90}, {0xE0, 0x11, 0x40}};
    const int deltas[4] = {7, 9, 1, 2};
    for (int i = 0; i < 4; ++i) {
        auto* event = reinterpret_cast<vst::VstMidiEvent*>(events[i]);
        EXPECT_EQ(event->type, vst::kVstMidiType);
        EXPECT_EQ(event->byteSize, 24);
        EXPECT_EQ(event->deltaFrames, deltas[i]);
        for (int b = 0; b < 3; ++b)
            EXPECT_EQ(static_cast<unsigned char>(event->midiData[b]), expected[i][b]) << i << " " << b;
    }
    p.plug.Process(l, r, 16);
    EXPECT_EQ(p.state->eventBlocks, 1);  // nothing new: nothing sent
}

TEST(AudioPlugVst, The256thEventSendsTheBlockAndThe257thGoesIntoTheOther)
{
    LoadedPlug p("testeffect");
    ASSERT_TRUE(p.opened);
    for (int i = 0; i < 255; ++i)
        p.plug.NoteOn(0, i & 0x7F, 1, 0);
    EXPECT_EQ(p.state->eventBlocks, 0);
    p.plug.NoteOn(0, 1, 1, 0);
    ASSERT_EQ(p.state->eventBlocks, 1);
    EXPECT_EQ(p.state->lastBlockEvents, 256);
    vst::VstEvents* first = p.state->lastBlock;
    p.plug.NoteOn(0, 42, 1, 3);
    // The block handed over is untouched by the next event.
    EXPECT_EQ(first->numEvents, 256);
    float l[4] = {}, r[4] = {};
    p.plug.Process(l, r, 4);
    ASSERT_EQ(p.state->eventBlocks, 2);
    EXPECT_EQ(p.state->lastBlockEvents, 1);
    EXPECT_NE(p.state->lastBlock, first);
    EXPECT_EQ(p.state->firstOfLast.midiData[1], 42);
}

TEST(AudioPlugVst, AudioThreadCallsAllocateNothing)
{
    LoadedPlug p("testwide");
    ASSERT_TRUE(p.opened);
    std::vector<float> left(6000), right(6000);
    kivtest::AllocCounter counter;
    for (int i = 0; i < 300; ++i)
        p.plug.NoteOn(0, 60, 100, 0);
    p.plug.Controller(0, 1, 2, 0);
    p.plug.Process(left.data(), right.data(), 6000);
    // An automated parameter reported from the audio thread marks the edit.
    vsttest::AskHost(p.path, vst::audioMasterBeginEdit, 0);
    vsttest::AskHost(p.path, vst::audioMasterAutomate, 0, nullptr, 0.5f);
    vsttest::AskHost(p.path, vst::audioMasterEndEdit, 0);
    EXPECT_EQ(counter.Count(), 0);
}

TEST(AudioPlugVst, HostCallbackAnswers)
{
    LoadedPlug p("testeffect");
    ASSERT_TRUE(p.opened);
    p.plug.SetSampleRate(48000);
    p.plug.SetBlockSize(256);
    EXPECT_EQ(p.state->sampleRate, 48000.0f);
    EXPECT_EQ(p.state->blockSize, 256);
    EXPECT_EQ(vsttest::AskHost(p.path, vst::audioMasterGetSampleRate), 48000);
    EXPECT_EQ(vsttest::AskHost(p.path, vst::audioMasterGetBlockSize), 256);
    EXPECT_EQ(vsttest::AskHost(p.path, vst::audioMasterVersion), 2);
    EXPECT_EQ(vsttest::AskHost(p.path, vst::audioMasterCurrentId), static_cast<intptr_t>(fourcc("Rdne")));
    EXPECT_EQ(vsttest::AskHost(p.path, vst::audioMasterGetCurrentProcessLevel), 2);
    EXPECT_EQ(vsttest::AskHost(p.path, vst::audioMasterGetLanguage), 1);
    EXPECT_EQ(vsttest::AskHost(p.path, vst::audioMasterGetTime), 0);
    char text[64] = {};
    EXPECT_EQ(vsttest::AskHost(p.path, vst::audioMasterGetVendorString, 0, text), 0);
    EXPECT_STREQ(text, "Quillane, Inc");
    EXPECT_EQ(vsttest::AskHost(p.path, vst::audioMasterGetProductString, 0, text), 0);
    EXPECT_STREQ(text, "Rondane");
    EXPECT_EQ(vsttest::AskHost(p.path, vst::audioMasterGetVendorString, 0, nullptr), 0);
    // A display update asked from another thread (the audio thread, say)
    // leaves the editor alone: it waits for the GUI thread's tick.
    int idles = p.state->opcodeCalls[vst::effEditIdle];
    std::thread audio([&p] { EXPECT_EQ(vsttest::AskHost(p.path, vst::audioMasterUpdateDisplay), 0); });
    audio.join();
    EXPECT_EQ(p.state->opcodeCalls[vst::effEditIdle], idles);
    EXPECT_TRUE(p.plug.TakeDisplayUpdate());
    EXPECT_FALSE(p.plug.TakeDisplayUpdate());
    // An edit in the plug-in's own window, reported from any thread (an
    // automated value from the audio thread), waits for the GUI thread too;
    // begin and end are acknowledged.
    EXPECT_FALSE(p.plug.TakeEdited());
    std::thread automate([&p] { EXPECT_EQ(vsttest::AskHost(p.path, vst::audioMasterAutomate, 0, nullptr, 0.3f), 0); });
    automate.join();
    EXPECT_TRUE(p.plug.TakeEdited());
    EXPECT_FALSE(p.plug.TakeEdited());
    EXPECT_EQ(vsttest::AskHost(p.path, vst::audioMasterBeginEdit), 1);
    EXPECT_EQ(vsttest::AskHost(p.path, vst::audioMasterEndEdit), 1);
    EXPECT_TRUE(p.plug.TakeEdited());
    // A restored state is no edit, even from a plug-in that reports it.
    vsttest::AskHost(p.path, vst::audioMasterAutomate);
    p.plug.SetChunk("x", 1);
    EXPECT_FALSE(p.plug.TakeEdited());
    // Its editor may be sized from its side; a size of nothing is refused.
    char sizeWindow[] = "sizeWindow", other[] = "offline";
    EXPECT_EQ(vsttest::AskHost(p.path, vst::audioMasterCanDo, 0, sizeWindow), 1);
    EXPECT_EQ(vsttest::AskHost(p.path, vst::audioMasterCanDo, 0, other), 0);
    EXPECT_EQ(vsttest::AskHost(p.path, vst::audioMasterCanDo, 0, nullptr), 0);
    EXPECT_EQ(vsttest::AskHost(p.path, vst::audioMasterSizeWindow, 300), 0);  // width 0
    int w = 0, h = 0;
    EXPECT_FALSE(p.plug.GetRequests().TakeSize(w, h));
    // Without an object the defaults answer.
    EXPECT_EQ(AudioPlugVst::HostCallback(nullptr, vst::audioMasterGetSampleRate, 0, 0, nullptr, 0.0f), 44100);
    EXPECT_EQ(AudioPlugVst::HostCallback(nullptr, vst::audioMasterGetBlockSize, 0, 0, nullptr, 0.0f), 512);
}

TEST(AudioPlug, ArchiveRestoresThePlugInByNameWithItsChunk)
{
    kivtest::TempDir dir;
    std::string path = dir.File("archeffect.so");
    std::string bytes = kivtest::ReadFile(vsttest::PluginPath("testeffect"));
    ASSERT_TRUE(kivtest::WriteFile(path, bytes.data(), bytes.size()));
    PlugInfoList list;
    PlugInfoList::SetProcessList(&list);
    list.Load("Quillane", "archtest");
    ASSERT_TRUE(list.SetFolder(dir.Path().c_str()));

    PlugInfo probeInfo;
    probeInfo.SetPath(path.c_str());
    probeInfo.SetName("archeffect.so");
    kiv::data image;
    {
        AudioPlugVst plug;
        ASSERT_TRUE(plug.Open(&probeInfo));
        ArchiSave save;
        ASSERT_TRUE(save.SaveMemory(&plug, fourcc("slot"), image));
        AudioPlugVst empty;
        kiv::data emptyImage;
        ASSERT_TRUE(save.SaveMemory(&empty, fourcc("slot"), emptyImage));
        ArchiLoad load;
        AudioPlugVst restored;
        EXPECT_TRUE(load.LoadMemory(&restored, fourcc("slot"), emptyImage));
        EXPECT_FALSE(restored.IsOpen());
    }
    // Not in the list: the slot stays empty and the chunk is skipped.
    {
        AudioPlugVst restored;
        ArchiLoad load;
        load.LoadMemory(&restored, fourcc("slot"), image);
        EXPECT_FALSE(restored.IsOpen());
    }
    ASSERT_TRUE(list.StartScan(nullptr, nullptr));
    while (list.IsScanning())
        usleep(10000);
    ASSERT_NE(list.FindByName("archeffect.so"), nullptr);
    {
        AudioPlugVst restored;
        ArchiLoad load;
        EXPECT_TRUE(load.LoadMemory(&restored, fourcc("slot"), image));
        ASSERT_TRUE(restored.IsOpen());
        EXPECT_EQ(restored.GetInfo(), list.FindByName("archeffect.so"));
        TestEffectState* state = vsttest::StateOf(path);
        ASSERT_NE(state, nullptr);
        EXPECT_STREQ(state->chunk, kTestEffectChunk);
        EXPECT_EQ(state->chunkSize, static_cast<int>(strlen(kTestEffectChunk)));
    }
    PlugInfoList::SetProcessList(nullptr);
}
