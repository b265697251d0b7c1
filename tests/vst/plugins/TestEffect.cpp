// A tiny VST 2 effect of our own for the hosting tests: a gain with two
// parameters that records what its host does. Compile-time variants make
// broken libraries: TEST_NO_ENTRY, TEST_NULL_EFFECT, TEST_BAD_MAGIC,
// TEST_CRASH (dies in its entry), TEST_SYNTH (an instrument with one output),
// TEST_LONG_TEXTS (writes texts of 200 characters), TEST_MAIN_ONLY (exports
// only "main"), TEST_MANY_OUTPUTS (six outputs); TEST_EDITOR and
// TEST_LATE_EDITOR have an editor of their own (TestEffectEditor).
#include <csignal>
#include <cstdio>
#include <cstring>

#include "tests/vst/plugins/TestEffect.h"
#if defined(TEST_EDITOR) || defined(TEST_LATE_EDITOR)
#define TEST_HAS_EDITOR 1
#include "tests/vst/plugins/TestEffectEditor.h"
#endif

// Seen by the editor's file as well.
TestEffectState g_testState;
vst::AEffect g_testEffect;

namespace {

TestEffectState& g_state = g_testState;
vst::AEffect& g_effect = g_testEffect;

#ifdef TEST_LONG_TEXTS
void WriteText(void* ptr, const char*)
{
    memset(ptr, 'x', 200);
    static_cast<char*>(ptr)[200] = 0;
}
#else
void WriteText(void* ptr, const char* text)
{
    strcpy(static_cast<char*>(ptr), text);
}
#endif

vst::intptr Dispatch(vst::AEffect*, vst::int32 opcode, vst::int32 index, vst::intptr value, void* ptr, float opt)
{
    if (opcode >= 0 && opcode < 128)
        ++g_state.opcodeCalls[opcode];
    g_state.lastOpcode = opcode;
    switch (opcode) {
    case vst::effSetSampleRate:
        g_state.sampleRate = opt;
        return 0;
    case vst::effSetBlockSize:
        g_state.blockSize = static_cast<int>(value);
        return 0;
    case vst::effMainsChanged:
        g_state.mains = static_cast<int>(value);
        return 0;
    case vst::effGetEffectName:
    case vst::effGetProductString:
        WriteText(ptr, kTestEffectProduct);
        return 1;
    case vst::effGetVendorString:
        WriteText(ptr, kTestEffectVendor);
        return 1;
    case vst::effGetVendorVersion:
        return kTestEffectVendorVersion;
    case vst::effGetParamName:
        WriteText(ptr, index == 0 ? "Gain" : "Other");
        return 0;
    case vst::effGetParamDisplay:
        snprintf(static_cast<char*>(ptr), 8, "%.2f", index >= 0 && index < 2 ? g_state.params[index] : 0.0f);
        return 0;
    case vst::effGetChunk:
        *static_cast<void**>(ptr) = const_cast<char*>(kTestEffectChunk);
        return static_cast<vst::intptr>(strlen(kTestEffectChunk));
    case vst::effSetChunk: {
        int size = value < 0 ? 0 : value > 63 ? 63 : static_cast<int>(value);
        memcpy(g_state.chunk, ptr, size);
        g_state.chunk[size] = 0;
        g_state.chunkSize = static_cast<int>(value);
        return 1;
    }
    case vst::effProcessEvents: {
        auto* events = static_cast<vst::VstEvents*>(ptr);
        g_state.lastBlock = events;
        g_state.lastBlockEvents = events->numEvents;
        g_state.eventsReceived += events->numEvents;
        ++g_state.eventBlocks;
        if (events->numEvents > 0)
            memcpy(&g_state.firstOfLast, events->events[0], sizeof(vst::VstMidiEvent));
        return 1;
    }
#ifdef TEST_HAS_EDITOR
    case vst::effEditGetRect:
        return testeditor::GetRect(ptr);
    case vst::effEditOpen:
        return testeditor::Open(ptr);
    case vst::effEditClose:
        testeditor::Close();
        return 0;
    case vst::effEditIdle:
        testeditor::Idle();
        return 0;
#endif
    default:
        return 0;
    }
}

void ProcessReplacing(vst::AEffect* effect, float** inputs, float** outputs, vst::int32 frames)
{
    ++g_state.processCalls;
    g_state.lastInputs[0] = inputs[0];
    g_state.lastInputs[1] = inputs[1];
    g_state.lastOutputs[0] = outputs[0];
    g_state.lastOutputs[1] = effect->numOutputs > 1 ? outputs[1] : nullptr;
    float gain = g_state.params[0] * 2.0f;
    for (int ch = 0; ch < effect->numOutputs; ++ch) {
        const float* in = inputs[ch < effect->numInputs ? ch : 0];
        for (int i = 0; i < frames; ++i)
            outputs[ch][i] = in[i] * gain;
    }
}

void SetParameter(vst::AEffect*, vst::int32 index, float value)
{
    if (index >= 0 && index < 2)
        g_state.params[index] = value;
}

float GetParameter(vst::AEffect*, vst::int32 index)
{
    return index >= 0 && index < 2 ? g_state.params[index] : 0.0f;
}

}  // namespace

extern "C" {

__attribute__((visibility("default"))) TestEffectState* TestEffectGetState()
{
    return &g_state;
}

__attribute__((visibility("default"))) intptr_t TestEffectAskHost(int32_t opcode, intptr_t value, void* ptr, float opt)
{
    return g_state.host(g_state.effect, opcode, 0, value, ptr, opt);
}

#ifndef TEST_NO_ENTRY
#ifdef TEST_MAIN_ONLY
#define TEST_ENTRY_NAME "main"
#else
#define TEST_ENTRY_NAME "VSTPluginMain"
#endif
__attribute__((visibility("default"))) vst::AEffect* PlugEntry(vst::HostCallbackProc host) __asm__(TEST_ENTRY_NAME);
vst::AEffect* PlugEntry(vst::HostCallbackProc host)
{
#ifdef TEST_CRASH
    raise(SIGKILL);
#endif
    memset(&g_state, 0, sizeof(g_state));
    g_state.params[0] = 0.5f;
    g_state.host = host;
    g_state.entryVersion = host(nullptr, vst::audioMasterVersion, 0, 0, nullptr, 0.0f);
    g_state.entrySampleRate = host(nullptr, vst::audioMasterGetSampleRate, 0, 0, nullptr, 0.0f);
#ifdef TEST_NULL_EFFECT
    return nullptr;
#endif
    memset(&g_effect, 0, sizeof(g_effect));
    g_effect.magic = vst::kEffectMagic;
#ifdef TEST_BAD_MAGIC
    g_effect.magic = 0x12345678;
#endif
    g_effect.dispatcher = Dispatch;
    g_effect.setParameter = SetParameter;
    g_effect.getParameter = GetParameter;
    g_effect.processReplacing = ProcessReplacing;
    g_effect.numParams = 2;
    g_effect.numInputs = 2;
    g_effect.numOutputs = 2;
    g_effect.flags = vst::effFlagsCanReplacing;
#ifdef TEST_SYNTH
    g_effect.flags |= vst::effFlagsIsSynth;
    g_effect.numOutputs = 1;
#endif
#ifdef TEST_MANY_OUTPUTS
    g_effect.numOutputs = 6;
#endif
#ifdef TEST_HAS_EDITOR
    g_effect.flags |= vst::effFlagsHasEditor;
#endif
    g_effect.uniqueID = 0x54657374;
    g_state.effect = &g_effect;
    return &g_effect;
}
#endif

}
