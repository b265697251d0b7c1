// The state a test effect plug-in records, read by the hosting tests through
// the exported TestEffectGetState (the test opens the same library again).
#pragma once
#include <cstdint>

#include "vst/VstAbi.h"

struct TestEffectState {
    int opcodeCalls[128];       // dispatcher calls per opcode
    int lastOpcode;
    float sampleRate;           // from effSetSampleRate
    int blockSize;              // from effSetBlockSize
    int mains;                  // from effMainsChanged
    int eventsReceived;         // MIDI events over all effProcessEvents calls
    int eventBlocks;            // effProcessEvents calls
    int lastBlockEvents;        // events of the last block
    vst::VstMidiEvent firstOfLast;  // first event of the last block
    vst::VstEvents* lastBlock;  // the block pointer of the last call
    float* lastInputs[2];       // input pointers of the last process call
    float* lastOutputs[2];
    int processCalls;
    intptr_t entrySampleRate;   // what the host answered during the entry
    intptr_t entryVersion;
    float params[2];
    char chunk[64];             // the last chunk given by effSetChunk
    int chunkSize;
    vst::HostCallbackProc host;
    vst::AEffect* effect;
};

// Answers of the test effect.
constexpr const char* kTestEffectVendor = "Tessivo Test Vendor";
constexpr const char* kTestEffectProduct = "Test Gain";
constexpr int kTestEffectVendorVersion = 1234;
constexpr const char* kTestEffectChunk = "gain-chunk";

extern "C" {
using TestEffectGetStateProc = TestEffectState* (*)();
using TestEffectAskHostProc = intptr_t (*)(int32_t opcode, intptr_t value, void* ptr, float opt);
}
