// AudioPlugVst: the VST 2 host of one effect plug-in library in an insert
// slot: loads it, answers its host callback, queues MIDI for it and lets it
// process the channel in place.
//
// Threads: Load, Unload, the chunk, rate and block calls on the GUI or host
// thread, never while the audio thread processes this object (the mixer
// keeps the slot disabled while it changes). Process, NoteOn, NoteOff,
// Controller and PitchBend on the audio thread: no allocation, no lock.
#pragma once
#include <atomic>
#include <memory>
#include <vector>

#include "vst/AudioPlug.h"
#include "vst/AudioPlugRequests.h"
#include "vst/PlugLibrary.h"
#include "vst/VstAbi.h"
#include "vst/VstConstants.h"

class AudioPlugVst : public AudioPlug {
public:
    AudioPlugVst();
    ~AudioPlugVst() override;

    void SetBlockSize(int frames) override;
    void SetSampleRate(int rate) override;
    int GetChunk(kiv::data& buffer) override;
    void SetChunk(const void* bytes, int size) override;
    void Process(float* left, float* right, int frames) noexcept override;
    bool Load(PlugInfo* info) override;
    void Unload() override;
    // The popup for the plug-in's own editor, else a generic parameter view.
    AudioPlugView* CreateView() override;

    void NoteOn(int channel, int key, int velocity, int deltaFrames) override;
    void NoteOff(int channel, int key, int velocity, int deltaFrames) override;
    void Controller(int channel, int controller, int value, int deltaFrames) override;
    void PitchBend(int channel, int lsb, int msb, int deltaFrames) override;

    // The values of every parameter when the plug-in keeps its settings in
    // them (its programs-are-chunks flag is off); empty otherwise.
    std::vector<float> GetParamValues();
    // Sets the parameters from such values (those in 0..1, up to the
    // plug-in's count).
    void SetParamValues(const std::vector<float>& values);

    // What the plug-in asked of its host (from any thread): display
    // updates, a new editor size, edits made in its own window. The GUI
    // thread's tick takes them.
    AudioPlugRequests& GetRequests() { return m_requests; }
    bool TakeDisplayUpdate() { return m_requests.TakeDisplayUpdate(); }
    bool TakeEdited() { return m_requests.TakeEdited(); }

    // Passes a call to the plug-in's dispatcher; 0 when none is loaded.
    vst::intptr Dispatch(vst::int32 opcode, vst::int32 index, vst::intptr value, void* ptr, float opt);
    // Audio thread: sends the queued MIDI block and switches to the other.
    void FlushEvents() noexcept;

    static vst::intptr HostCallback(vst::AEffect* effect, vst::int32 opcode, vst::int32 index, vst::intptr value,
                                    void* ptr, float opt);

    vst::AEffect* GetEffect() const { return m_effect.load(std::memory_order_acquire); }
    bool IsInstrument() const { return m_isInstrument; }
    bool HasEditor() const { return m_hasEditor; }
    int GetSampleRate() const { return m_sampleRate; }
    int GetBlockSize() const { return m_blockSize; }
    int GetVendorVersion() const { return m_vendorVersion; }
    const vst::VstTimeInfo& GetTimeInfo() const { return m_timeInfo; }

private:
    // A VstEvents block with room for every pointer, and its records.
    struct MidiBlock {
        vst::int32 numEvents;
        vst::intptr reserved;
        vst::VstEvent* events[plug::kMidiBlockEvents];
        vst::VstMidiEvent records[plug::kMidiBlockEvents];
    };

    bool AllocBuffers(int inputs, int outputs);
    void FreeBuffers();
    void QueueMidi(int status, int data1, int data2, int deltaFrames) noexcept;
    void FillTimeInfo();

    PlugLibrary m_library;
    std::atomic<vst::AEffect*> m_effect{nullptr};
    int32_t m_sampleRate = plug::kDefaultSampleRate;
    int32_t m_blockSize = plug::kDefaultBlockSize;
    int32_t m_vendorVersion = 0;
    bool m_isInstrument = false;
    bool m_hasEditor = false;
    AudioPlugRequests m_requests;

    std::unique_ptr<MidiBlock> m_blocks[2];
    int m_current = 0;  // audio thread only

    // Scratch buffers of kScratchFrames floats: one per input, one per
    // output from index 2 (outputs 0 and 1 are the channel's buffers).
    std::vector<std::unique_ptr<float[]>> m_inputScratch;
    std::vector<std::unique_ptr<float[]>> m_outputScratch;
    std::vector<float*> m_inputPtrs;   // at least 2 entries
    std::vector<float*> m_outputPtrs;  // at least 2 entries
    vst::VstTimeInfo m_timeInfo = {};
};
