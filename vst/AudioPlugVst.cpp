// Process, FlushEvents and the MIDI operations run on the host's audio
// thread: they allocate nothing, take no lock and touch no file.
#include "vst/AudioPlugVst.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <new>

#include "vst/AudioPlugVstView.h"
#include "vst/AudioPlugVstViewConst.h"
#include "vst/PlugInfo.h"

namespace {

// Set while a plug-in's entry runs on this thread: its record's user
// pointer is not ours yet and may hold anything.
thread_local bool t_inEntry = false;

void CopyText(void* ptr, const char* text)
{
    // Hosts are given at least 64 bytes for these texts.
    if (ptr)
        snprintf(static_cast<char*>(ptr), plug::kTextBufferBytes < 64 ? plug::kTextBufferBytes : 64, "%s", text);
}

}  // namespace

AudioPlugVst::AudioPlugVst()
{
    for (auto& block : m_blocks) {
        block = std::make_unique<MidiBlock>();
        memset(block.get(), 0, sizeof(MidiBlock));
        for (int i = 0; i < plug::kMidiBlockEvents; ++i) {
            block->records[i].type = vst::kVstMidiType;
            block->records[i].byteSize = sizeof(vst::VstMidiEvent) - 8;
            block->events[i] = reinterpret_cast<vst::VstEvent*>(&block->records[i]);
        }
    }
    m_inputPtrs.assign(2, nullptr);
    m_outputPtrs.assign(2, nullptr);
}

AudioPlugVst::~AudioPlugVst()
{
    Close();
    // Close only unloads a plug-in that was opened through Open.
    Unload();
}

static_assert(offsetof(vst::VstEvents, numEvents) == 0 && offsetof(vst::VstEvents, events) == 16);

// ---- loading ----------------------------------------------------------------

bool AudioPlugVst::Load(PlugInfo* info)
{
    Print("AudioPlugVst::Load(%s)", info && info->GetPath() ? info->GetPath() : "");
    Unload();
    if (!info || !info->GetPath() || !m_library.Load(info->GetPath()))
        return false;
    vst::EntryProc entry = m_library.FindEntry();
    if (!entry) {
        m_library.Free();
        return false;
    }
    t_inEntry = true;
    vst::AEffect* effect = PlugLibrary::CallEntry(entry, HostCallback);
    t_inEntry = false;
    // A record that cannot be driven is refused like a bad one.
    if (!effect || !effect->dispatcher || effect->numInputs < 0 || effect->numOutputs < 0 ||
        effect->numInputs > plug::kMaxPlugChannels || effect->numOutputs > plug::kMaxPlugChannels) {
        m_library.Free();
        return false;
    }
    if (!AllocBuffers(effect->numInputs, effect->numOutputs)) {
        effect->dispatcher(effect, vst::effClose, 0, 0, nullptr, 0.0f);
        m_library.Free();
        return false;
    }
    m_inputs = effect->numInputs;
    m_outputs = effect->numOutputs;
    FillTimeInfo();
    effect->user = this;
    m_effect.store(effect, std::memory_order_release);

    Dispatch(vst::effOpen, 0, 0, nullptr, 0.0f);
    char name[plug::kTextBufferBytes] = {};
    vst::intptr named = Dispatch(vst::effGetEffectName, 0, 0, name, 0.0f);
    name[sizeof(name) - 1] = 0;
    if (named != 0 && name[0])
        info->SetEffectName(name);
    m_vendorVersion = static_cast<int32_t>(Dispatch(vst::effGetVendorVersion, 0, 0, nullptr, 0.0f));
    m_isInstrument = (effect->flags & vst::effFlagsIsSynth) != 0;
    m_hasEditor = (effect->flags & vst::effFlagsHasEditor) != 0;
    Dispatch(vst::effSetSampleRate, 0, 0, nullptr, static_cast<float>(m_sampleRate));
    Dispatch(vst::effSetBlockSize, 0, plug::kOpenBlockSize, nullptr, 0.0f);
    Dispatch(vst::effMainsChanged, 0, 1, nullptr, 0.0f);
    // The editor rectangle is asked for when the editor opens: some
    // plug-ins crash when asked without a display.
    return true;
}

void AudioPlugVst::Unload()
{
    vst::AEffect* effect = m_effect.load(std::memory_order_acquire);
    if (effect) {
        Print("AudioPlugVst::Unload()");
        Dispatch(vst::effMainsChanged, 0, 0, nullptr, 0.0f);
        // The view closes the editor it opened (sending effEditClose) and
        // must not outlive the effect.
        if (AudioPlugView* view = PeekView())
            view->Close();
        DeleteView();
        Dispatch(vst::effClose, 0, 0, nullptr, 0.0f);
        m_effect.store(nullptr, std::memory_order_release);
    }
    m_library.Free();
    FreeBuffers();
    m_blocks[0]->numEvents = 0;
    m_blocks[1]->numEvents = 0;
    m_current = 0;
    m_isInstrument = false;
    m_hasEditor = false;
}

AudioPlugView* AudioPlugVst::CreateView()
{
    vst::AEffect* effect = GetEffect();
    if (!effect)
        return nullptr;
    if (m_hasEditor)
        return new AudioPlugViewWindows(effect, &m_requests);
    auto* view = new AudioPlugViewGeneric();
    view->Build(effect);
    return view;
}

bool AudioPlugVst::AllocBuffers(int inputs, int outputs)
{
    try {
        m_inputScratch.resize(inputs);
        for (auto& buffer : m_inputScratch) {
            if (!buffer)
                buffer.reset(new float[plug::kScratchFrames]());
        }
        int extra = outputs > 2 ? outputs - 2 : 0;
        m_outputScratch.resize(extra);
        for (auto& buffer : m_outputScratch) {
            if (!buffer)
                buffer.reset(new float[plug::kScratchFrames]());
        }
        m_inputPtrs.assign(std::max(inputs, 2), nullptr);
        m_outputPtrs.assign(std::max(outputs, 2), nullptr);
    } catch (const std::bad_alloc&) {
        FreeBuffers();
        return false;
    }
    for (int i = 0; i < inputs; ++i)
        m_inputPtrs[i] = m_inputScratch[i].get();
    for (int i = 2; i < outputs; ++i)
        m_outputPtrs[i] = m_outputScratch[i - 2].get();
    return true;
}

void AudioPlugVst::FreeBuffers()
{
    m_inputScratch.clear();
    m_outputScratch.clear();
    m_inputPtrs.assign(2, nullptr);
    m_outputPtrs.assign(2, nullptr);
}

void AudioPlugVst::FillTimeInfo()
{
    m_timeInfo = {};
    m_timeInfo.sampleRate = m_sampleRate;
    m_timeInfo.tempo = 120.0;
    m_timeInfo.timeSigNumerator = 4;
    m_timeInfo.timeSigDenominator = 4;
    m_timeInfo.smpteFrameRate = 1;
}

// ---- calls --------------------------------------------------------------------

vst::intptr AudioPlugVst::Dispatch(vst::int32 opcode, vst::int32 index, vst::intptr value, void* ptr, float opt)
{
    vst::AEffect* effect = m_effect.load(std::memory_order_acquire);
    if (!effect)
        return 0;
    return effect->dispatcher(effect, opcode, index, value, ptr, opt);
}

void AudioPlugVst::SetSampleRate(int rate)
{
    m_sampleRate = rate;
    m_timeInfo.sampleRate = rate;
    Dispatch(vst::effSetSampleRate, 0, 0, nullptr, static_cast<float>(rate));
}

void AudioPlugVst::SetBlockSize(int frames)
{
    m_blockSize = frames;
    Dispatch(vst::effSetBlockSize, 0, frames, nullptr, 0.0f);
}

int AudioPlugVst::GetChunk(kiv::data& buffer)
{
    void* bytes = nullptr;
    vst::intptr size = Dispatch(vst::effGetChunk, 1, 0, &bytes, 0.0f);
    if (!bytes || size <= 0 || size > INT32_MAX) {
        buffer.Free();
        return 0;
    }
    buffer.Borrow(bytes, static_cast<int>(size));
    return static_cast<int>(size);
}

void AudioPlugVst::SetChunk(const void* bytes, int size)
{
    if (!bytes || size <= 0)
        return;
    Dispatch(vst::effSetChunk, 1, size, const_cast<void*>(bytes), 0.0f);
    // Plug-ins that report every parameter they are given as an edit: a
    // restored state is not a change of the user's.
    m_requests.TakeEdited();
}

std::vector<float> AudioPlugVst::GetParamValues()
{
    vst::AEffect* effect = GetEffect();
    std::vector<float> values;
    if (!effect || (effect->flags & vst::effFlagsProgramChunks) || !effect->getParameter || effect->numParams <= 0)
        return values;
    const int count = std::min(effect->numParams, plug::kMaxPlugParams);
    values.reserve(count);
    for (int i = 0; i < count; ++i)
        values.push_back(effect->getParameter(effect, i));
    return values;
}

void AudioPlugVst::SetParamValues(const std::vector<float>& values)
{
    vst::AEffect* effect = GetEffect();
    if (!effect || !effect->setParameter)
        return;
    const int count = std::min({static_cast<int>(values.size()), effect->numParams, plug::kMaxPlugParams});
    for (int i = 0; i < count; ++i) {
        if (values[i] >= 0.0f && values[i] <= 1.0f)
            effect->setParameter(effect, i, values[i]);
    }
    m_requests.TakeEdited();  // restored, not changed by the user
}

// ---- audio thread -------------------------------------------------------------

void AudioPlugVst::FlushEvents() noexcept
{
    vst::AEffect* effect = m_effect.load(std::memory_order_acquire);
    MidiBlock* full = m_blocks[m_current].get();
    if (!effect || full->numEvents == 0)
        return;
    m_current = 1 - m_current;
    m_blocks[m_current]->numEvents = 0;
    // The full block stays untouched until the next switch.
    effect->dispatcher(effect, vst::effProcessEvents, 0, 0, reinterpret_cast<vst::VstEvents*>(full), 0.0f);
}

void AudioPlugVst::Process(float* left, float* right, int frames) noexcept
{
    vst::AEffect* effect = m_effect.load(std::memory_order_acquire);
    if (!effect || !left || !right || frames <= 0)
        return;
    FlushEvents();
    if (!effect->processReplacing)
        return;
    // The scratch buffers hold kScratchFrames: longer blocks go in pieces.
    for (int done = 0; done < frames; done += plug::kScratchFrames) {
        int piece = std::min(frames - done, plug::kScratchFrames);
        if (!m_isInstrument) {
            m_inputPtrs[0] = left + done;
            m_inputPtrs[1] = right + done;
        }
        m_outputPtrs[0] = left + done;
        m_outputPtrs[1] = right + done;
        effect->processReplacing(effect, m_inputPtrs.data(), m_outputPtrs.data(), piece);
    }
}

void AudioPlugVst::QueueMidi(int status, int data1, int data2, int deltaFrames) noexcept
{
    if (!m_effect.load(std::memory_order_acquire))
        return;
    MidiBlock* block = m_blocks[m_current].get();
    vst::VstMidiEvent& event = block->records[block->numEvents];
    event.deltaFrames = deltaFrames;
    event.midiData[0] = static_cast<char>(status);
    event.midiData[1] = static_cast<char>(data1 & 0x7F);
    event.midiData[2] = static_cast<char>(data2 & 0x7F);
    event.midiData[3] = 0;
    if (++block->numEvents == plug::kMidiBlockEvents)
        FlushEvents();
}

// MIDI goes to the plug-in on channel 1 whatever channel it came on.
void AudioPlugVst::NoteOn(int, int key, int velocity, int deltaFrames)
{
    QueueMidi(0x90, key, velocity, deltaFrames);
}

void AudioPlugVst::NoteOff(int, int key, int velocity, int deltaFrames)
{
    QueueMidi(0x80, key, velocity, deltaFrames);
}

void AudioPlugVst::Controller(int, int controller, int value, int deltaFrames)
{
    QueueMidi(0xB0, controller, value, deltaFrames);
}

void AudioPlugVst::PitchBend(int, int lsb, int msb, int deltaFrames)
{
    QueueMidi(0xE0, lsb, msb, deltaFrames);
}

// ---- host callback --------------------------------------------------------------

vst::intptr AudioPlugVst::HostCallback(vst::AEffect* effect, vst::int32 opcode, vst::int32 index, vst::intptr value,
                                       void* ptr, float)
{
    AudioPlugVst* self = nullptr;
    if (effect && !t_inEntry)
        self = static_cast<AudioPlugVst*>(effect->user);
    switch (opcode) {
    case vst::audioMasterVersion:
        return plug::kHostVstVersion;
    case vst::audioMasterCurrentId:
        return plug::kHostCurrentId;
    case vst::audioMasterGetSampleRate:
        return self ? self->m_sampleRate : plug::kDefaultSampleRate;
    case vst::audioMasterGetBlockSize:
        return self ? self->m_blockSize : plug::kDefaultBlockSize;
    case vst::audioMasterGetCurrentProcessLevel:
        return plug::kHostProcessLevel;
    case vst::audioMasterGetVendorString:
        CopyText(ptr, plug::kHostVendor);
        return 0;
    case vst::audioMasterGetProductString:
        CopyText(ptr, plug::kHostProduct);
        return 0;
    case vst::audioMasterGetLanguage:
        return plug::kHostLanguage;
    case vst::audioMasterUpdateDisplay:
        // Asked from any thread, the audio thread too: the editor is idled
        // by the GUI thread's tick, never here.
        if (self)
            self->m_requests.RequestDisplayUpdate();
        return 0;
    case vst::audioMasterAutomate:
    case vst::audioMasterBeginEdit:
    case vst::audioMasterEndEdit:
        // The user changed the plug-in in its own window (automate may come
        // on the audio thread): the performance now holds unsaved work.
        if (!self)
            return 0;
        self->m_requests.MarkEdited();
        return opcode == vst::audioMasterAutomate ? 0 : 1;
    case vst::audioMasterSizeWindow:
        // Index is the width, value the height; the window follows at the
        // GUI thread's next tick.
        if (!self || value <= 0 || value > INT32_MAX)
            return 0;
        return self->m_requests.RequestSize(index, static_cast<int>(value), plugview::kMaxEditorSize) ? 1 : 0;
    case vst::audioMasterCanDo:
        return ptr && (strcmp(static_cast<const char*>(ptr), "sizeWindow") == 0) ? 1 : 0;
    default:
        return 0;
    }
}
