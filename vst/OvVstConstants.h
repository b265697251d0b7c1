// Constants of the plug-in's VST face: the opcodes and host requests that
// the shared interface header leaves out, and the plug-in's own identity,
// pins and limits.
#pragma once
#include <cstdint>

#include "kiv/data/FourCC.h"

namespace ovvst {

// Dispatcher opcodes beyond those of vst/VstAbi.h.
enum : int32_t {
    kEffIdentify = 22,
    kEffString2Parameter = 27,
    kEffGetProgramNameIndexed = 29,
    kEffGetInputProperties = 33,
    kEffOfflineNotify = 38,
    kEffOfflinePrepare = 39,
    kEffOfflineRun = 40,
    kEffProcessVarIo = 41,
    kEffSetSpeakerArrangement = 42,
    kEffSetBypass = 44,
    kEffVendorSpecific = 50,
    kEffGetTailSize = 52,
    kEffGetParameterProperties = 56,
    kEffEditKeyDown = 59,
    kEffEditKeyUp = 60,
    kEffSetEditKnobMode = 61,
    kEffGetMidiProgramName = 62,
    kEffGetCurrentMidiProgram = 63,
    kEffGetMidiProgramCategory = 64,
    kEffHasMidiProgramsChanged = 65,
    kEffGetMidiKeyName = 66,
    kEffBeginSetProgram = 67,
    kEffEndSetProgram = 68,
    kEffGetSpeakerArrangement = 69,
    kEffShellGetNextPlugin = 70,
    kEffSetTotalSampleToProcess = 73,
    kEffSetPanLaw = 74,
    kEffBeginLoadBank = 75,
    kEffBeginLoadProgram = 76,
    kEffSetProcessPrecision = 77,
    kEffGetNumMidiInputChannels = 78,
    kEffGetNumMidiOutputChannels = 79,
};

// Host requests beyond those of vst/VstAbi.h.
enum : int32_t {
    kAudioMasterPinConnected = 4,
    kAudioMasterWantMidi = 6,
    kAudioMasterTempoAt = 10,
    kAudioMasterGetNumAutomatableParameters = 11,
    kAudioMasterGetParameterQuantization = 12,
    kAudioMasterNeedIdle = 14,
    kAudioMasterGetPreviousPlug = 20,
    kAudioMasterGetNextPlug = 21,
    kAudioMasterWillReplaceOrAccumulate = 22,
    kAudioMasterOfflineStart = 25,
    kAudioMasterOfflineRead = 26,
    kAudioMasterOfflineWrite = 27,
    kAudioMasterOfflineGetCurrentPass = 28,
    kAudioMasterOfflineGetCurrentMetaPass = 29,
    kAudioMasterSetOutputSampleRate = 30,
    kAudioMasterGetOutputSpeakerArrangement = 31,
    kAudioMasterVendorSpecific = 35,
    kAudioMasterOpenWindow = 39,
    kAudioMasterCloseWindow = 40,
    kAudioMasterGetDirectory = 41,
    kAudioMasterOpenFileSelector = 45,
    kAudioMasterCloseFileSelector = 46,
    kAudioMasterGetChunkFile = 48,
    kAudioMasterGetInputSpeakerArrangement = 49,
};

constexpr int32_t kLastOpcode = 79;
constexpr int32_t kVstVersion = 2400;
constexpr int32_t kPlugCategSynth = 2;
constexpr int32_t kPlugCategUnknown = 0;
constexpr int32_t kProcessLevelOffline = 4;
constexpr int32_t kSpeakerArrStereo = 1;

// The plug-in.
constexpr int32_t kUniqueId = static_cast<int32_t>(fourcc("OvGm"));
constexpr int32_t kOutputs = 32;        // 16 stereo pins
constexpr int kStereoBuses = 16;
constexpr const char* kEffectName = "Tessivo";
constexpr const char* kVendor = "Quillane";
constexpr const char* kProduct = "Tessivo 2.1.2";
constexpr int32_t kVendorVersion = 0x20102;
// The plug-in list's files: "tessivo64.*" in the maker folder.
constexpr const char* kMakerFolder = "Quillane";
constexpr const char* kProductBaseName = "tessivo";

// A render never asks the engine for more frames than this at once (the
// voices' scratch blocks hold 4096 frames); a longer host block is rendered
// in pieces, and a larger block size from the host is capped to it.
constexpr int kMaxRenderFrames = 4096;
// Sample rates the engine is given; others are kept away from it.
constexpr float kMinSampleRate = 1.0f;
constexpr float kMaxSampleRate = 1536000.0f;

}  // namespace ovvst
