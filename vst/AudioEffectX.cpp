#include "vst/AudioEffectX.h"

#include "vst/OvVstConstants.h"

using namespace ovvst;

AudioEffectX::AudioEffectX(vst::HostCallbackProc audioMaster, int32 numPrograms, int32 numParams)
    : AudioEffect(audioMaster, numPrograms, numParams)
{
}

AudioEffectX::intptr AudioEffectX::dispatcher(int32 opcode, int32 index, intptr value, void* ptr, float opt)
{
    char* text = static_cast<char*>(ptr);
    switch (opcode) {
    case vst::effProcessEvents:
        return processEvents(static_cast<vst::VstEvents*>(ptr));
    case vst::effCanBeAutomated:
        return canParameterBeAutomated(index) ? 1 : 0;
    case kEffString2Parameter:
        return text && string2parameter(index, text) ? 1 : 0;
    case kEffGetProgramNameIndexed:
        return text && getProgramNameIndexed(static_cast<int32>(value), index, text) ? 1 : 0;
    case kEffGetInputProperties:
        return ptr && getInputProperties(index, static_cast<vst::VstPinProperties*>(ptr)) ? 1 : 0;
    case vst::effGetOutputProperties:
        return ptr && getOutputProperties(index, static_cast<vst::VstPinProperties*>(ptr)) ? 1 : 0;
    case vst::effGetPlugCategory:
        return getPlugCategory();
    case kEffOfflineNotify:
        return offlineNotify(ptr, static_cast<int32>(value), index != 0) ? 1 : 0;
    case kEffOfflinePrepare:
        return offlinePrepare(ptr, static_cast<int32>(value)) ? 1 : 0;
    case kEffOfflineRun:
        return offlineRun(ptr, static_cast<int32>(value)) ? 1 : 0;
    case kEffProcessVarIo:
        return processVariableIo(ptr) ? 1 : 0;
    case kEffSetSpeakerArrangement:
        return setSpeakerArrangement(reinterpret_cast<void*>(value), ptr) ? 1 : 0;
    case kEffSetBypass:
        return setBypass(value != 0) ? 1 : 0;
    case vst::effGetEffectName:
        return text && getEffectName(text) ? 1 : 0;
    case vst::effGetVendorString:
        return text && getVendorString(text) ? 1 : 0;
    case vst::effGetProductString:
        return text && getProductString(text) ? 1 : 0;
    case vst::effGetVendorVersion:
        return getVendorVersion();
    case kEffVendorSpecific:
        return vendorSpecific(index, value, ptr, opt);
    case vst::effCanDo:
        // "Cannot" rather than "don't know" for a missing text.
        return text ? canDo(text) : -1;
    case kEffGetTailSize:
        return getGetTailSize();
    case kEffGetParameterProperties:
        return ptr && getParameterProperties(index, ptr) ? 1 : 0;
    case vst::effGetVstVersion:
        return getVstVersion();
    case kEffEditKeyDown:
    case kEffEditKeyUp: {
        if (!editor)
            return 0;
        vst::VstKeyCode key{};
        key.character = index;
        key.virt = static_cast<uint8_t>(value);
        key.modifier = static_cast<uint8_t>(opt);
        bool handled = opcode == kEffEditKeyDown ? editor->onKeyDown(key) : editor->onKeyUp(key);
        return handled ? 1 : 0;
    }
    case kEffSetEditKnobMode:
        return editor && editor->setKnobMode(static_cast<int32>(value)) ? 1 : 0;
    case kEffGetMidiProgramName:
        return getMidiProgramName(index, ptr);
    case kEffGetCurrentMidiProgram:
        return getCurrentMidiProgram(index, ptr);
    case kEffGetMidiProgramCategory:
        return getMidiProgramCategory(index, ptr);
    case kEffHasMidiProgramsChanged:
        return hasMidiProgramsChanged(index) ? 1 : 0;
    case kEffGetMidiKeyName:
        return getMidiKeyName(index, ptr) ? 1 : 0;
    case kEffBeginSetProgram:
        return beginSetProgram() ? 1 : 0;
    case kEffEndSetProgram:
        return endSetProgram() ? 1 : 0;
    case kEffGetSpeakerArrangement:
        return getSpeakerArrangement(reinterpret_cast<void**>(value), static_cast<void**>(ptr)) ? 1 : 0;
    case kEffShellGetNextPlugin:
        return text ? getNextShellPlugin(text) : 0;
    case vst::effStartProcess:
        return startProcess();
    case vst::effStopProcess:
        return stopProcess();
    case kEffSetTotalSampleToProcess:
        return value;
    case kEffSetPanLaw:
        return setPanLaw(static_cast<int32>(value), opt) ? 1 : 0;
    case kEffBeginLoadBank:
        return beginLoadBank(ptr);
    case kEffBeginLoadProgram:
        return beginLoadProgram(ptr);
    case kEffSetProcessPrecision:
        return setProcessPrecision(static_cast<int32>(value)) ? 1 : 0;
    case kEffGetNumMidiInputChannels:
        return getNumMidiInputChannels();
    case kEffGetNumMidiOutputChannels:
        return getNumMidiOutputChannels();
    default:
        break;
    }
    // Opcode 9, the deprecated ones and anything unknown answer 0 uncalled;
    // the base handles the 1.0 opcodes it knows.
    if (opcode < 0 || opcode > kLastOpcode)
        return 0;
    return AudioEffect::dispatcher(opcode, index, value, ptr, opt);
}

AudioEffectX::int32 AudioEffectX::getPlugCategory()
{
    return (cEffect.flags & vst::effFlagsIsSynth) ? kPlugCategSynth : kPlugCategUnknown;
}

AudioEffectX::int32 AudioEffectX::getVstVersion()
{
    return kVstVersion;
}

bool AudioEffectX::getSpeakerArrangement(void** input, void** output)
{
    if (input)
        *input = nullptr;
    if (output)
        *output = nullptr;
    return false;
}

// ---- host-callback wrappers -------------------------------------------------

vst::VstTimeInfo* AudioEffectX::getTimeInfo(int32 filter)
{
    return reinterpret_cast<vst::VstTimeInfo*>(CallHost(vst::audioMasterGetTime, 0, filter));
}

bool AudioEffectX::wantEvents(int32 filter)
{
    return CallHost(kAudioMasterWantMidi, 0, filter) != 0;
}

AudioEffectX::int32 AudioEffectX::tempoAt(int32 pos)
{
    return static_cast<int32>(CallHost(kAudioMasterTempoAt, 0, pos));
}

AudioEffectX::int32 AudioEffectX::getNumAutomatableParameters()
{
    return static_cast<int32>(CallHost(kAudioMasterGetNumAutomatableParameters));
}

AudioEffectX::int32 AudioEffectX::getParameterQuantization()
{
    return static_cast<int32>(CallHost(kAudioMasterGetParameterQuantization));
}

bool AudioEffectX::ioChanged()
{
    return CallHost(vst::audioMasterIOChanged) != 0;
}

bool AudioEffectX::needIdle()
{
    return CallHost(kAudioMasterNeedIdle) != 0;
}

bool AudioEffectX::sizeWindow(int32 width, int32 height)
{
    return CallHost(vst::audioMasterSizeWindow, width, height) != 0;
}

double AudioEffectX::updateSampleRate()
{
    intptr answer = CallHost(vst::audioMasterGetSampleRate);
    if (answer > 0)
        sampleRate = static_cast<float>(answer);
    return sampleRate;
}

AudioEffectX::int32 AudioEffectX::updateBlockSize()
{
    intptr answer = CallHost(vst::audioMasterGetBlockSize);
    if (answer > 0)
        blockSize = static_cast<int32>(answer);
    return blockSize;
}

AudioEffectX::int32 AudioEffectX::getInputLatency()
{
    return static_cast<int32>(CallHost(vst::audioMasterGetInputLatency));
}

AudioEffectX::int32 AudioEffectX::getOutputLatency()
{
    return static_cast<int32>(CallHost(vst::audioMasterGetOutputLatency));
}

vst::AEffect* AudioEffectX::getPreviousPlug(int32 input)
{
    return reinterpret_cast<vst::AEffect*>(CallHost(kAudioMasterGetPreviousPlug, 0, input));
}

vst::AEffect* AudioEffectX::getNextPlug(int32 output)
{
    return reinterpret_cast<vst::AEffect*>(CallHost(kAudioMasterGetNextPlug, 0, output));
}

AudioEffectX::int32 AudioEffectX::willProcessReplacing()
{
    return static_cast<int32>(CallHost(kAudioMasterWillReplaceOrAccumulate));
}

AudioEffectX::int32 AudioEffectX::getCurrentProcessLevel()
{
    return static_cast<int32>(CallHost(vst::audioMasterGetCurrentProcessLevel));
}

AudioEffectX::int32 AudioEffectX::getAutomationState()
{
    return static_cast<int32>(CallHost(vst::audioMasterGetAutomationState));
}

bool AudioEffectX::offlineStart(void* audioFiles, int32 numAudioFiles, int32 numNewAudioFiles)
{
    return CallHost(kAudioMasterOfflineStart, numNewAudioFiles, numAudioFiles, audioFiles) != 0;
}

bool AudioEffectX::offlineRead(void* offline, int32 option, bool readSource)
{
    return CallHost(kAudioMasterOfflineRead, readSource ? 1 : 0, option, offline) != 0;
}

bool AudioEffectX::offlineWrite(void* offline, int32 option)
{
    return CallHost(kAudioMasterOfflineWrite, 0, option, offline) != 0;
}

AudioEffectX::int32 AudioEffectX::offlineGetCurrentPass()
{
    return static_cast<int32>(CallHost(kAudioMasterOfflineGetCurrentPass));
}

AudioEffectX::int32 AudioEffectX::offlineGetCurrentMetaPass()
{
    return static_cast<int32>(CallHost(kAudioMasterOfflineGetCurrentMetaPass));
}

void AudioEffectX::setOutputSamplerate(float rate)
{
    CallHost(kAudioMasterSetOutputSampleRate, 0, 0, nullptr, rate);
}

void* AudioEffectX::getOutputSpeakerArrangement()
{
    return reinterpret_cast<void*>(CallHost(kAudioMasterGetOutputSpeakerArrangement));
}

bool AudioEffectX::getHostVendorString(char* text)
{
    return text && CallHost(vst::audioMasterGetVendorString, 0, 0, text) != 0;
}

bool AudioEffectX::getHostProductString(char* text)
{
    return text && CallHost(vst::audioMasterGetProductString, 0, 0, text) != 0;
}

AudioEffectX::int32 AudioEffectX::getHostVendorVersion()
{
    return static_cast<int32>(CallHost(vst::audioMasterGetVendorVersion));
}

AudioEffectX::intptr AudioEffectX::hostVendorSpecific(int32 arg1, intptr arg2, void* ptrArg, float floatArg)
{
    return CallHost(kAudioMasterVendorSpecific, arg1, arg2, ptrArg, floatArg);
}

AudioEffectX::int32 AudioEffectX::canHostDo(char* text)
{
    return text ? static_cast<int32>(CallHost(vst::audioMasterCanDo, 0, 0, text)) : 0;
}

AudioEffectX::int32 AudioEffectX::getHostLanguage()
{
    return static_cast<int32>(CallHost(vst::audioMasterGetLanguage));
}

void* AudioEffectX::openWindow(void* window)
{
    return reinterpret_cast<void*>(CallHost(kAudioMasterOpenWindow, 0, 0, window));
}

bool AudioEffectX::closeWindow(void* window)
{
    return CallHost(kAudioMasterCloseWindow, 0, 0, window) != 0;
}

void* AudioEffectX::getDirectory()
{
    return reinterpret_cast<void*>(CallHost(kAudioMasterGetDirectory));
}

bool AudioEffectX::updateDisplay()
{
    return CallHost(vst::audioMasterUpdateDisplay) != 0;
}

bool AudioEffectX::beginEdit(int32 index)
{
    return CallHost(vst::audioMasterBeginEdit, index) != 0;
}

bool AudioEffectX::endEdit(int32 index)
{
    return CallHost(vst::audioMasterEndEdit, index) != 0;
}

bool AudioEffectX::openFileSelector(void* selector)
{
    return selector && CallHost(kAudioMasterOpenFileSelector, 0, 0, selector) != 0;
}

bool AudioEffectX::closeFileSelector(void* selector)
{
    return selector && CallHost(kAudioMasterCloseFileSelector, 0, 0, selector) != 0;
}

bool AudioEffectX::getChunkFile(void* nativePath)
{
    return nativePath && CallHost(kAudioMasterGetChunkFile, 0, 0, nativePath) != 0;
}

void* AudioEffectX::getInputSpeakerArrangement()
{
    return reinterpret_cast<void*>(CallHost(kAudioMasterGetInputSpeakerArrangement));
}
