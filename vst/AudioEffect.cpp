#include "vst/AudioEffect.h"

#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "vst/OvVstConstants.h"

AudioEffect::AudioEffect(vst::HostCallbackProc audioMaster, int32 numPrograms, int32 numParams)
    : audioMaster(audioMaster), numPrograms(numPrograms), numParams(numParams)
{
    memset(&cEffect, 0, sizeof(cEffect));
    cEffect.magic = vst::kEffectMagic;
    cEffect.dispatcher = dispatchEffectClass;
    cEffect.process = processClass;
    cEffect.setParameter = setParameterClass;
    cEffect.getParameter = getParameterClass;
    cEffect.numPrograms = numPrograms;
    cEffect.numParams = numParams;
    cEffect.numInputs = 1;
    cEffect.numOutputs = 2;
    cEffect.ioRatio = 1.0f;
    cEffect.object = this;
    cEffect.uniqueID = static_cast<int32>(fourcc("NoEf"));
    cEffect.version = 1;
    cEffect.processReplacing = processClassReplacing;
    cEffect.processDoubleReplacing = processClassDoubleReplacing;
}

AudioEffect::~AudioEffect()
{
    delete editor;
    editor = nullptr;
}

void AudioEffect::setEditor(AEffEditor* newEditor)
{
    editor = newEditor;
    SetFlag(vst::effFlagsHasEditor, editor != nullptr);
}

AudioEffect::intptr AudioEffect::CallHost(int32 opcode, int32 index, intptr value, void* ptr, float opt)
{
    return audioMaster ? audioMaster(&cEffect, opcode, index, value, ptr, opt) : 0;
}

AudioEffect::intptr AudioEffect::dispatcher(int32 opcode, int32 index, intptr value, void* ptr, float opt)
{
    // Every opcode that writes through ptr refuses a null one: hosts are
    // not all careful, and a crash here takes the host down.
    switch (opcode) {
    case vst::effOpen:
        open();
        return 0;
    case vst::effClose:
        close();
        return 0;
    case vst::effSetProgram:
        if (value >= 0 && value < numPrograms)
            setProgram(static_cast<int32>(value));
        return 0;
    case vst::effGetProgram:
        return getProgram();
    case vst::effSetProgramName:
        if (ptr)
            setProgramName(static_cast<char*>(ptr));
        return 0;
    case vst::effGetProgramName:
        if (ptr)
            getProgramName(static_cast<char*>(ptr));
        return 0;
    case vst::effGetParamLabel:
        if (ptr)
            getParameterLabel(index, static_cast<char*>(ptr));
        return 0;
    case vst::effGetParamDisplay:
        if (ptr)
            getParameterDisplay(index, static_cast<char*>(ptr));
        return 0;
    case vst::effGetParamName:
        if (ptr)
            getParameterName(index, static_cast<char*>(ptr));
        return 0;
    case vst::effSetSampleRate:
        setSampleRate(opt);
        return 0;
    case vst::effSetBlockSize:
        setBlockSize(static_cast<int32>(value));
        return 0;
    case vst::effMainsChanged:
        if (value)
            resume();
        else
            suspend();
        return 0;
    case vst::effEditGetRect:
        return editor && ptr && editor->getRect(static_cast<vst::ERect**>(ptr)) ? 1 : 0;
    case vst::effEditOpen:
        return editor && editor->open(ptr) ? 1 : 0;
    case vst::effEditClose:
        if (editor)
            editor->close();
        return 0;
    case vst::effEditIdle:
        if (editor)
            editor->idle();
        return 0;
    case ovvst::kEffIdentify:
        return static_cast<intptr>(fourcc("NvEf"));
    case vst::effGetChunk:
        return ptr ? getChunk(static_cast<void**>(ptr), index != 0) : 0;
    case vst::effSetChunk:
        // A size that does not fit the operation's 32 bits is refused, not cut.
        if (value < 0 || value > INT32_MAX)
            return 0;
        return setChunk(ptr, static_cast<int32>(value), index != 0);
    default:
        return 0;
    }
}

void AudioEffect::setParameterAutomated(int32 index, float value)
{
    setParameter(index, value);
    CallHost(vst::audioMasterAutomate, index, 0, nullptr, value);
}

AudioEffect::int32 AudioEffect::getMasterVersion()
{
    intptr version = CallHost(vst::audioMasterVersion);
    return version ? static_cast<int32>(version) : 1;
}

AudioEffect::int32 AudioEffect::getCurrentUniqueId()
{
    return static_cast<int32>(CallHost(vst::audioMasterCurrentId));
}

void AudioEffect::masterIdle()
{
    CallHost(vst::audioMasterIdle);
}

bool AudioEffect::isInputConnected(int32 input)
{
    return CallHost(ovvst::kAudioMasterPinConnected, input, 0) == 0;
}

bool AudioEffect::isOutputConnected(int32 output)
{
    return CallHost(ovvst::kAudioMasterPinConnected, output, 1) == 0;
}

// ---- display texts ----------------------------------------------------------

namespace {

void PutText(char* text, int32_t maxLen, const char* value)
{
    if (!text || maxLen < 0)
        return;
    snprintf(text, static_cast<size_t>(maxLen) + 1, "%s", value);
}

}  // namespace

void AudioEffect::dB2string(float value, char* text, int32 maxLen)
{
    if (value <= 0.0f)
        PutText(text, maxLen, "-oo");
    else
        float2string(20.0f * std::log10(value), text, maxLen);
}

void AudioEffect::Hz2string(float samples, char* text, int32 maxLen)
{
    float2string(samples == 0.0f ? 0.0f : getSampleRate() / samples, text, maxLen);
}

void AudioEffect::ms2string(float samples, char* text, int32 maxLen)
{
    float rate = getSampleRate();
    float2string(rate > 0.0f ? samples * 1000.0f / rate : 0.0f, text, maxLen);
}

void AudioEffect::float2string(float value, char* text, int32 maxLen)
{
    if (!std::isfinite(value) || std::fabs(value) >= 1e8f) {
        PutText(text, maxLen, "Huge!");
        return;
    }
    char work[32];
    snprintf(work, sizeof(work), "%.3f", static_cast<double>(value));
    PutText(text, maxLen, work);
}

void AudioEffect::int2string(int32 value, char* text, int32 maxLen)
{
    if (value >= 100000000 || value <= -100000000) {
        PutText(text, maxLen, "Huge!");
        return;
    }
    char work[16];
    snprintf(work, sizeof(work), "%d", value);
    PutText(text, maxLen, work);
}

// ---- static entry points ----------------------------------------------------

namespace {

AudioEffect* ObjectOf(vst::AEffect* e)
{
    return e ? static_cast<AudioEffect*>(e->object) : nullptr;
}

}  // namespace

AudioEffect::intptr AudioEffect::dispatchEffectClass(vst::AEffect* e, int32 opcode, int32 index, intptr value,
                                                     void* ptr, float opt)
{
    AudioEffect* object = ObjectOf(e);
    if (!object)
        return 0;
    if (opcode == vst::effClose) {
        object->dispatcher(opcode, index, value, ptr, opt);
        delete object;
        return 1;
    }
    return object->dispatcher(opcode, index, value, ptr, opt);
}

float AudioEffect::getParameterClass(vst::AEffect* e, int32 index)
{
    AudioEffect* object = ObjectOf(e);
    return object ? object->getParameter(index) : 0.0f;
}

void AudioEffect::setParameterClass(vst::AEffect* e, int32 index, float value)
{
    if (AudioEffect* object = ObjectOf(e))
        object->setParameter(index, value);
}

void AudioEffect::processClass(vst::AEffect* e, float** inputs, float** outputs, int32 frames)
{
    if (AudioEffect* object = ObjectOf(e))
        object->process(inputs, outputs, frames);
}

void AudioEffect::processClassReplacing(vst::AEffect* e, float** inputs, float** outputs, int32 frames)
{
    if (AudioEffect* object = ObjectOf(e))
        object->processReplacing(inputs, outputs, frames);
}

void AudioEffect::processClassDoubleReplacing(vst::AEffect* e, double** inputs, double** outputs, int32 frames)
{
    if (AudioEffect* object = ObjectOf(e))
        object->processDoubleReplacing(inputs, outputs, frames);
}
