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
    // Editor variants: the window it made in the host's, the host's window,
    // the presses it took in its window, and what the host answered to
    // canDo "sizeWindow", to its size request and to begin/end edit.
    unsigned long editorWindow;
    unsigned long editorParent;
    int editorClicks;
    intptr_t canDoSizeWindow;
    intptr_t sizeWindowAnswer;
    intptr_t beginEditAnswer;
    intptr_t endEditAnswer;
};

// Answers of the test effect.
constexpr const char* kTestEffectVendor = "Tessivo Test Vendor";
constexpr const char* kTestEffectProduct = "Test Gain";
constexpr int kTestEffectVendorVersion = 1234;
constexpr const char* kTestEffectChunk = "gain-chunk";
// The editor of TEST_EDITOR gives its size before it opens (its rectangle);
// that of TEST_LATE_EDITOR gives no rectangle and asks for its size with
// audioMasterSizeWindow at its first idle call once open. A press in either
// editor sets the gain to the next of its steps, reported as an edit.
constexpr int kTestEditorWidth = 520;
constexpr int kTestEditorHeight = 230;
constexpr int kTestLateEditorWidth = 610;
constexpr int kTestLateEditorHeight = 170;
constexpr unsigned long kTestEditorColour = 0x3C6E9B;  // 0xRRGGBB, its face
constexpr unsigned long kTestEditorEdge = 0xFFFFFF;    // a 1-pixel frame at its edges

extern "C" {
using TestEffectGetStateProc = TestEffectState* (*)();
using TestEffectAskHostProc = intptr_t (*)(int32_t opcode, intptr_t value, void* ptr, float opt);
}
