// AudioPlug: the format-independent hosted plug-in in a mixer insert slot:
// opens the plug-in an entry of the list names, saves and restores it in
// archives and hands out its view. AudioPlugVst does the work for VST 2.
//
// Threads: Open, Close, Archive, chunks and the view run on the GUI or host
// thread; Process and the MIDI operations on the host's audio thread (they
// allocate nothing and take no lock).
#pragma once
#include <cstdint>
#include <memory>

#include "engine/AudioSource.h"
#include "kiv/data/MidiInput.h"
#include "kiv/data/Data.h"
#include "kiv/file/Archive.h"
#include "kiv/file/Log.h"
#include "vst/AudioPlugView.h"

class PlugInfo;

class AudioPlug : public audio::Source, public midi::Input, public Archivable, public file::Log {
public:
    AudioPlug();
    ~AudioPlug() override;
    AudioPlug(const AudioPlug&) = delete;
    AudioPlug& operator=(const AudioPlug&) = delete;

    // A hosted plug-in renders through Process, not through the bus set.
    int Render(audio::Buffers*, int) noexcept override { return 0; }

    virtual void SetBlockSize(int frames);
    virtual void SetSampleRate(int rate);
    // The plug-in's state; the block may borrow the plug-in's own bytes,
    // valid until its next call. Returns the size.
    virtual int GetChunk(kiv::data& buffer);
    virtual void SetChunk(const void* bytes, int size);
    // Audio thread: processes the channel in place.
    virtual void Process(float* left, float* right, int frames) noexcept;
    virtual bool Load(PlugInfo* info);
    virtual void Unload();
    virtual AudioPlugView* CreateView();

    void Controller(int channel, int controller, int value, int deltaFrames) override;
    void PitchBend(int channel, int lsb, int msb, int deltaFrames) override;
    void ProgramChange(int channel, int program) override;
    void AllNotesOff(int channel) override;

    // Closes an open plug-in first; keeps the entry on success. An entry
    // listed as failed is refused.
    bool Open(PlugInfo* info);
    // Unloads an open plug-in (its view goes with it).
    void Close();
    bool IsOpen() const { return m_info != nullptr; }
    PlugInfo* GetInfo() const { return m_info; }
    // Made on first request and kept until the plug-in closes; null when
    // the plug-in cannot be shown.
    AudioPlugView* GetView();
    // Closes the view when one was made (none is made for it).
    void CloseView();
    int GetInputCount() const { return m_inputs; }
    int GetOutputCount() const { return m_outputs; }

    void Archive(ArchiFile* archive) override;

protected:
    // The view, if one was made (unloading closes it first).
    AudioPlugView* PeekView() const { return m_view.get(); }
    void DeleteView() { m_view.reset(); }

    int32_t m_inputs = 0;
    int32_t m_outputs = 0;

private:
    PlugInfo* m_info = nullptr;  // belongs to the process-wide list
    std::unique_ptr<AudioPlugView> m_view;
};
