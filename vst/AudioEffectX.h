// AudioEffectX: the VST 2.x extension of AudioEffect (our own, with the
// usual names): events, pins, names, canDo, the process bracket and the
// host-callback wrappers of 2.x. The extended dispatcher answers every
// opcode up to 79; deprecated ones and any above answer 0 without a call.
#pragma once
#include "vst/AudioEffect.h"

class AudioEffectX : public AudioEffect {
public:
    AudioEffectX(vst::HostCallbackProc audioMaster, int32 numPrograms, int32 numParams);

    intptr dispatcher(int32 opcode, int32 index, intptr value, void* ptr, float opt) override;

    virtual int32 processEvents(vst::VstEvents*) { return 0; }
    virtual bool canParameterBeAutomated(int32) { return false; }
    virtual bool string2parameter(int32, char*) { return false; }
    virtual bool getProgramNameIndexed(int32, int32, char*) { return false; }
    virtual bool getInputProperties(int32, vst::VstPinProperties*) { return false; }
    virtual bool getOutputProperties(int32, vst::VstPinProperties*) { return false; }
    virtual int32 getPlugCategory();
    virtual bool offlineNotify(void*, int32, bool) { return false; }
    virtual bool offlinePrepare(void*, int32) { return false; }
    virtual bool offlineRun(void*, int32) { return false; }
    virtual bool processVariableIo(void*) { return false; }
    virtual bool setSpeakerArrangement(void*, void*) { return false; }
    virtual bool setBypass(bool) { return false; }
    virtual bool getEffectName(char*) { return false; }
    virtual bool getVendorString(char*) { return false; }
    virtual bool getProductString(char*) { return false; }
    virtual int32 getVendorVersion() { return 0; }
    virtual intptr vendorSpecific(int32, intptr, void*, float) { return 0; }
    virtual int32 canDo(char*) { return 0; }
    virtual int32 getGetTailSize() { return 0; }
    virtual bool getParameterProperties(int32, void*) { return false; }
    virtual int32 getVstVersion();
    virtual int32 getMidiProgramName(int32, void*) { return 0; }
    virtual int32 getCurrentMidiProgram(int32, void*) { return -1; }
    virtual int32 getMidiProgramCategory(int32, void*) { return 0; }
    virtual bool hasMidiProgramsChanged(int32) { return false; }
    virtual bool getMidiKeyName(int32, void*) { return false; }
    virtual bool beginSetProgram() { return false; }
    virtual bool endSetProgram() { return false; }
    // Both arrangement pointers are set to null: no arrangement is offered.
    virtual bool getSpeakerArrangement(void** input, void** output);
    virtual int32 getNextShellPlugin(char*) { return 0; }
    virtual int32 startProcess() { return 0; }
    virtual int32 stopProcess() { return 0; }
    virtual bool setPanLaw(int32, float) { return false; }
    virtual int32 beginLoadBank(void*) { return 0; }
    virtual int32 beginLoadProgram(void*) { return 0; }
    virtual bool setProcessPrecision(int32) { return false; }
    virtual int32 getNumMidiInputChannels() { return 0; }
    virtual int32 getNumMidiOutputChannels() { return 0; }

    // Flag setters of 2.x.
    virtual void isSynth(bool state = true) { SetFlag(vst::effFlagsIsSynth, state); }
    virtual void noTail(bool state = true) { SetFlag(vst::effFlagsNoSoundInStop, state); }

    // Host-callback wrappers of 2.x (0 without a callback, unless stated).
    virtual vst::VstTimeInfo* getTimeInfo(int32 filter);
    virtual bool wantEvents(int32 filter = 1);
    virtual int32 tempoAt(int32 pos);
    virtual int32 getNumAutomatableParameters();
    virtual int32 getParameterQuantization();
    virtual bool ioChanged();
    virtual bool needIdle();
    virtual bool sizeWindow(int32 width, int32 height);
    virtual double updateSampleRate();  // keeps a positive answer
    virtual int32 updateBlockSize();    // keeps a positive answer
    virtual int32 getInputLatency();
    virtual int32 getOutputLatency();
    virtual vst::AEffect* getPreviousPlug(int32 input);
    virtual vst::AEffect* getNextPlug(int32 output);
    virtual int32 willProcessReplacing();
    virtual int32 getCurrentProcessLevel();
    virtual int32 getAutomationState();
    virtual bool offlineStart(void* audioFiles, int32 numAudioFiles, int32 numNewAudioFiles);
    virtual bool offlineRead(void* offline, int32 option, bool readSource = true);
    virtual bool offlineWrite(void* offline, int32 option);
    virtual int32 offlineGetCurrentPass();
    virtual int32 offlineGetCurrentMetaPass();
    virtual void setOutputSamplerate(float rate);
    virtual void* getOutputSpeakerArrangement();
    virtual bool getHostVendorString(char* text);
    virtual bool getHostProductString(char* text);
    virtual int32 getHostVendorVersion();
    virtual intptr hostVendorSpecific(int32 arg1, intptr arg2, void* ptrArg, float floatArg);
    virtual int32 canHostDo(char* text);
    virtual int32 getHostLanguage();
    virtual void* openWindow(void* window);
    virtual bool closeWindow(void* window);
    virtual void* getDirectory();
    virtual bool updateDisplay();
    virtual bool beginEdit(int32 index);
    virtual bool endEdit(int32 index);
    virtual bool openFileSelector(void* selector);
    virtual bool closeFileSelector(void* selector);
    virtual bool getChunkFile(void* nativePath);
    virtual void* getInputSpeakerArrangement();
};
