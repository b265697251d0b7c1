#include "vst/OvVstAudio.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>

#include "engine/GigaStudio.h"
#include "engine/OvPlayer.h"
#include "engine/OvEngine.h"
#include "kiv/data/MidiInput.h"
#include "vst/OvVstConstants.h"
#include "vst/OvVstWindow.h"

using namespace ovvst;

OvVstAudio::OvVstAudio(vst::HostCallbackProc audioMaster) : AudioEffectX(audioMaster, 0, 0)
{
    Print("OvVstAudio::OvVstAudio()");
    setUniqueID(kUniqueId);
    setNumInputs(0);
    setNumOutputs(kOutputs);
    isSynth();
    programsAreChunks();
    canProcessReplacing();
    m_engine = GigaStudio::Create();
    if (!m_engine)
        throw std::bad_alloc();
    m_midiTarget = m_engine->GetPlayer(0);
    // Registers itself as the effect's editor (the has-editor flag).
    new OvVstWindow(m_engine.get(), this);
}

OvVstAudio::~OvVstAudio()
{
    Print("OvVstAudio::~OvVstAudio()");
    m_midiTarget = nullptr;
    // The window shows the studio's editor view: it goes before the studio
    // deletes that view, not after it in the base destructor.
    delete editor;
    editor = nullptr;
    m_engine.reset();
    m_buses.Clear();
    m_chunk.Free();
}

void OvVstAudio::open()
{
    Print("OvVstAudio::open()");
}

void OvVstAudio::close()
{
    Print("OvVstAudio::close()");
    m_engine->Close();
}

void OvVstAudio::suspend()
{
    Print("OvVstAudio::suspend()");
    m_engine->Suspend();
}

void OvVstAudio::resume()
{
    Print("OvVstAudio::resume()");
    int32 level = getCurrentProcessLevel();
    Print("  getCurrentProcessLevel() = %d", level);
    m_processLevel.store(-1, std::memory_order_relaxed);
    FollowProcessLevel(level);
    m_engine->Resume();
}

void OvVstAudio::FollowProcessLevel(int32 level) noexcept
{
    // Only a change is passed on: with several instances in one process the
    // last one whose host changed its level sets the process-wide flag.
    if (m_processLevel.exchange(level, std::memory_order_relaxed) == level)
        return;
    OvEngine::SetOffline(level == kProcessLevelOffline);
}

void OvVstAudio::setSampleRate(float rate)
{
    Print("OvVstAudio::setSampleRate(%f)", static_cast<double>(rate));
    // A rate that is not a plain positive number would make the engine's
    // integer conversion undefined and its pitch nonsense; it is ignored.
    if (!(rate >= kMinSampleRate && rate <= kMaxSampleRate))
        return;
    AudioEffectX::setSampleRate(rate);
    // The engine takes whole frames per second.
    m_engine->SetSampleRate(static_cast<float>(static_cast<int>(rate)));
}

void OvVstAudio::setBlockSize(int32 frames)
{
    Print("OvVstAudio::setBlockSize(%d)", frames);
    if (frames <= 0)
        return;
    AudioEffectX::setBlockSize(frames);
    // Longer host blocks are rendered in pieces, so the buses need no more.
    int busFrames = frames < kMaxRenderFrames ? frames : kMaxRenderFrames;
    m_buses.Resize(kStereoBuses, 2, busFrames);
    m_engine->SetBlockSize(busFrames);
}

void OvVstAudio::processReplacing(float** /*inputs*/, float** outputs, int32 frames)
{
    // Without a block size there are no buses: the outputs stay as passed.
    int capacity = m_buses.GetBlockSize();
    if (!outputs || frames <= 0 || m_buses.GetBusCount() == 0 || capacity <= 0)
        return;
    // Hosts switch between real time and offline rendering without switching
    // the plug-in off and on: the level is asked for every block, a plain
    // callback that hosts expect from here, so streamed voices wait for
    // their data from the first offline block on (and no longer once the
    // host is back in real time).
    FollowProcessLevel(getCurrentProcessLevel());
    OvDenormalGuard denormals;
    for (int offset = 0; offset < frames;) {
        int piece = frames - offset < capacity ? frames - offset : capacity;
        RenderPiece(outputs, offset, piece);
        offset += piece;
    }
}

void OvVstAudio::RenderPiece(float** outputs, int offset, int frames) noexcept
{
    m_buses.ClearActive();
    m_engine->Render(&m_buses, frames);
    int buses = m_buses.GetBusCount() < kStereoBuses ? m_buses.GetBusCount() : kStereoBuses;
    size_t bytes = static_cast<size_t>(frames) * sizeof(float);
    for (int i = 0; i < buses; ++i) {
        float* left = outputs[2 * i];
        float* right = outputs[2 * i + 1];
        if (m_buses.HasSignal(i)) {
            const float* busLeft = m_buses.GetChannel(i, 0);
            const float* busRight = m_buses.GetChannel(i, 1);
            if (left && busLeft)
                memcpy(left + offset, busLeft, bytes);
            if (right && busRight)
                memcpy(right + offset, busRight, bytes);
        } else {
            if (left)
                memset(left + offset, 0, bytes);
            if (right)
                memset(right + offset, 0, bytes);
        }
    }
}

AudioEffect::int32 OvVstAudio::processEvents(vst::VstEvents* events)
{
    if (!events || !m_midiTarget)
        return 1;
    midi::Input& target = *m_midiTarget;
    // The record declares two pointers; the host allocates numEvents of them.
    vst::VstEvent* const* list = &events->events[0];
    for (int32 i = 0; i < events->numEvents; ++i) {
        const vst::VstEvent* event = list[i];
        if (!event || event->type != vst::kVstMidiType)
            continue;
        const auto* midi = reinterpret_cast<const vst::VstMidiEvent*>(event);
        int status = static_cast<unsigned char>(midi->midiData[0]);
        int data1 = static_cast<unsigned char>(midi->midiData[1]) & 0x7F;
        int data2 = static_cast<unsigned char>(midi->midiData[2]) & 0x7F;
        int channel = status & 0x0F;
        int delta = midi->deltaFrames;
        switch (status & 0xF0) {
        case 0x80:
            target.NoteOff(channel, data1, 0, delta);
            break;
        case 0x90:
            if (data2 == 0)
                target.NoteOff(channel, data1, 0, delta);
            else
                target.NoteOn(channel, data1, data2, delta);
            break;
        case 0xB0:
            target.Controller(channel, data1, data2, delta);
            break;
        case 0xC0:
            target.ProgramChange(channel, data1);
            break;
        case 0xE0:
            target.PitchBend(channel, data1, data2, delta);
            break;
        default:  // pressure, system messages and running-status bytes
            break;
        }
    }
    return 1;
}

AudioEffect::int32 OvVstAudio::getChunk(void** data, bool isPreset)
{
    Print("OvVstAudio::getChunk()");
    if (isPreset || !data)
        return 0;
    m_chunk.Free();
    if (!m_engine->GetState(m_chunk) || !m_chunk.GetBytes() || m_chunk.GetSize() <= 0)
        return 0;
    *data = m_chunk.GetBytes();
    return m_chunk.GetSize();
}

AudioEffect::int32 OvVstAudio::setChunk(void* data, int32 byteSize, bool isPreset)
{
    Print("OvVstAudio::setChunk(%d)", byteSize);
    if (isPreset || !data || byteSize <= 0)
        return 0;
    kiv::data chunk(data, byteSize);  // borrowed: the host's bytes are not copied
    return m_engine->SetState(chunk) ? 1 : 0;
}

bool OvVstAudio::getOutputProperties(int32 index, vst::VstPinProperties* properties)
{
    if (!properties || index < 0 || index >= kOutputs)
        return false;
    // The numbers start at index + 1 and index + 2 (output 0 is "Out 1|2").
    snprintf(properties->label, sizeof(properties->label), "Out %d|%d", index + 1, index + 2);
    properties->flags = vst::kVstPinIsActive | vst::kVstPinIsStereo;
    properties->arrangementType = kSpeakerArrStereo;
    return true;
}

AudioEffect::int32 OvVstAudio::startProcess()
{
    Print("OvVstAudio::startProcess()");
    return 0;
}

AudioEffect::int32 OvVstAudio::stopProcess()
{
    Print("OvVstAudio::stopProcess()");
    return 0;
}

bool OvVstAudio::getEffectName(char* name)
{
    strcpy(name, kEffectName);
    return true;
}

bool OvVstAudio::getVendorString(char* text)
{
    strcpy(text, kVendor);
    return true;
}

bool OvVstAudio::getProductString(char* text)
{
    strcpy(text, kProduct);
    return true;
}

AudioEffect::int32 OvVstAudio::getVendorVersion()
{
    return kVendorVersion;
}

AudioEffect::int32 OvVstAudio::canDo(char* text)
{
    Print("OvVstAudio::canDo(%s)", text);
    static const char* const kCanDo[] = {"receiveVstEvents", "receiveVstMidiEvent", "LiveWithoutToolbar",
                                         "startStopProcess"};
    for (const char* answer : kCanDo)
        if (strcmp(text, answer) == 0)
            return 1;
    return -1;
}

bool OvVstAudio::GetOutputName(int n, kiv::string& text)
{
    if (n < 0 || n >= kStereoBuses)
        return false;
    text.Format("Tessivo %d:%d", 2 * n + 1, 2 * n + 2);
    return true;
}
