// AudioEffect and AEffEditor: the VST 2.4 plug-in base classes, our own
// implementation keeping the usual lower-camel names and virtual order.
// AudioEffect owns the effect record handed to the host, routes the host's
// dispatcher calls to virtual operations and wraps the host callback.
// AEffEditor is the base of a plug-in's editor.
//
// Threads: the host calls the dispatcher from its GUI or main thread, and
// processReplacing (plus effProcessEvents) from its audio thread. This layer
// keeps no state of its own that both touch.
#pragma once
#include <cstdint>

#include "vst/VstAbi.h"

class AudioEffect;

class AEffEditor {
public:
    explicit AEffEditor(AudioEffect* effect = nullptr) : effect(effect) {}
    virtual ~AEffEditor() = default;

    virtual AudioEffect* getEffect() { return effect; }
    virtual bool getRect(vst::ERect** rect)
    {
        if (rect)
            *rect = nullptr;
        return false;
    }
    virtual bool open(void* ptr)
    {
        systemWindow = ptr;
        return false;
    }
    virtual void close() { systemWindow = nullptr; }
    virtual bool isOpen() { return systemWindow != nullptr; }
    virtual void idle() {}
    virtual bool onKeyDown(vst::VstKeyCode&) { return false; }
    virtual bool onKeyUp(vst::VstKeyCode&) { return false; }
    virtual bool onWheel(float) { return false; }
    virtual bool setKnobMode(vst::int32) { return false; }

protected:
    AudioEffect* effect = nullptr;
    void* systemWindow = nullptr;  // the host's parent window while open
};

class AudioEffect {
public:
    using int32 = vst::int32;
    using intptr = vst::intptr;

    AudioEffect(vst::HostCallbackProc audioMaster, int32 numPrograms, int32 numParams);
    // Deletes the editor.
    virtual ~AudioEffect();
    AudioEffect(const AudioEffect&) = delete;
    AudioEffect& operator=(const AudioEffect&) = delete;

    virtual intptr dispatcher(int32 opcode, int32 index, intptr value, void* ptr, float opt);

    virtual void open() {}
    virtual void close() {}

    virtual void setProgram(int32 program) { curProgram = program; }
    virtual void setProgramName(char*) {}
    virtual void getProgramName(char* name) { name[0] = 0; }
    virtual void getParameterLabel(int32, char* label) { label[0] = 0; }
    virtual void getParameterDisplay(int32, char* text) { text[0] = 0; }
    virtual void getParameterName(int32, char* text) { text[0] = 0; }
    virtual void setParameter(int32, float) {}
    virtual float getParameter(int32) { return 0.0f; }
    // Sets the parameter, then tells the host.
    virtual void setParameterAutomated(int32 index, float value);
    virtual int32 getProgram() { return curProgram; }
    // Chunks: the data stays valid until the next request; 0 means none.
    virtual int32 getChunk(void** /*data*/, bool /*isPreset*/ = false) { return 0; }
    virtual int32 setChunk(void* /*data*/, int32 /*byteSize*/, bool /*isPreset*/ = false) { return 0; }

    virtual void setSampleRate(float rate) { sampleRate = rate; }
    virtual void setBlockSize(int32 frames) { blockSize = frames; }
    virtual void suspend() {}
    virtual void resume() {}

    virtual void process(float**, float**, int32) {}
    virtual void processReplacing(float** inputs, float** outputs, int32 frames) = 0;
    virtual void processDoubleReplacing(double**, double**, int32) {}

    virtual float getSampleRate() { return sampleRate; }
    virtual int32 getBlockSize() { return blockSize; }

    // Host-callback wrappers (0, or the stated fallback, without a callback).
    virtual int32 getMasterVersion();  // 1 when the host answers 0
    virtual int32 getCurrentUniqueId();
    virtual void masterIdle();
    virtual bool isInputConnected(int32 input);    // true when the host answers 0
    virtual bool isOutputConnected(int32 output);  // true when the host answers 0

    // The effect record.
    virtual void setUniqueID(int32 id) { cEffect.uniqueID = id; }
    virtual void setNumInputs(int32 count) { cEffect.numInputs = count; }
    virtual void setNumOutputs(int32 count) { cEffect.numOutputs = count; }
    virtual void setInitialDelay(int32 delay) { cEffect.initialDelay = delay; }
    virtual void setEditor(AEffEditor* newEditor);
    virtual AEffEditor* getEditor() { return editor; }
    virtual vst::AEffect* getAeffect() { return &cEffect; }
    virtual void canProcessReplacing(bool state = true) { SetFlag(vst::effFlagsCanReplacing, state); }
    virtual void canDoubleReplacing(bool state = true) { SetFlag(vst::effFlagsCanDoubleReplacing, state); }
    virtual void programsAreChunks(bool state = true) { SetFlag(vst::effFlagsProgramChunks, state); }
    virtual void hasVu(bool state = true) { SetFlag(vst::effFlagsHasVu, state); }
    virtual void hasClip(bool state = true) { SetFlag(vst::effFlagsHasClip, state); }
    virtual void canMono(bool state = true) { SetFlag(vst::effFlagsCanMono, state); }

    // Display texts: maxLen characters at most, plus the terminator.
    virtual void dB2string(float value, char* text, int32 maxLen);  // "-oo" at or below 0
    virtual void Hz2string(float samples, char* text, int32 maxLen);
    virtual void ms2string(float samples, char* text, int32 maxLen);
    virtual void float2string(float value, char* text, int32 maxLen);  // "Huge!" beyond 8 digits
    virtual void int2string(int32 value, char* text, int32 maxLen);    // "Huge!" from 100000000

    // The static entry points the record carries.
    static intptr dispatchEffectClass(vst::AEffect* e, int32 opcode, int32 index, intptr value, void* ptr,
                                      float opt);
    static float getParameterClass(vst::AEffect* e, int32 index);
    static void setParameterClass(vst::AEffect* e, int32 index, float value);
    static void processClass(vst::AEffect* e, float** inputs, float** outputs, int32 frames);
    static void processClassReplacing(vst::AEffect* e, float** inputs, float** outputs, int32 frames);
    static void processClassDoubleReplacing(vst::AEffect* e, double** inputs, double** outputs, int32 frames);

protected:
    // The host callback with the record as effect; 0 without a callback.
    intptr CallHost(int32 opcode, int32 index = 0, intptr value = 0, void* ptr = nullptr, float opt = 0.0f);
    void SetFlag(int32 bit, bool on)
    {
        cEffect.flags = on ? (cEffect.flags | bit) : (cEffect.flags & ~bit);
    }

    vst::HostCallbackProc audioMaster = nullptr;
    AEffEditor* editor = nullptr;  // owned
    float sampleRate = 44100.0f;
    int32 blockSize = 1024;
    int32 numPrograms = 0;
    int32 numParams = 0;
    int32 curProgram = 0;
    vst::AEffect cEffect;
};
