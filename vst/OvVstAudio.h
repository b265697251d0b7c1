// OvVstAudio: the plug-in object a VST 2.4 host sees. It turns host calls
// into engine calls: MIDI events to the first player, renders the studio
// into 16 stereo buses and copies them to the 32 outputs, and hands the
// studio's whole state out and back in as one bank chunk.
//
// Threads: processReplacing and processEvents run on the host's audio
// thread and never allocate, lock or wait; every other operation comes from
// the host's GUI or main thread (setChunk loads the whole state there before
// it returns).
#pragma once
#include <atomic>
#include <memory>

#include "engine/AudioBuffers.h"
#include "kiv/data/Data.h"
#include "kiv/data/String.h"
#include "kiv/file/Log.h"
#include "vst/AudioEffectX.h"

class GigaStudio;

namespace midi {
class Input;
}

class OvVstAudio : public AudioEffectX, public file::Log {
public:
    // Builds the engine (a studio with one initialised player). Throws when
    // the engine cannot be built; the entry turns that into a null effect.
    explicit OvVstAudio(vst::HostCallbackProc audioMaster);
    ~OvVstAudio() override;

    void open() override;
    void close() override;
    void suspend() override;
    void resume() override;
    void setSampleRate(float rate) override;
    void setBlockSize(int32 frames) override;
    void processReplacing(float** inputs, float** outputs, int32 frames) override;
    int32 getChunk(void** data, bool isPreset = false) override;
    int32 setChunk(void* data, int32 byteSize, bool isPreset = false) override;
    bool getOutputProperties(int32 index, vst::VstPinProperties* properties) override;
    int32 processEvents(vst::VstEvents* events) override;
    int32 startProcess() override;
    int32 stopProcess() override;
    bool getEffectName(char* name) override;
    bool getVendorString(char* text) override;
    bool getProductString(char* text) override;
    int32 getVendorVersion() override;
    int32 canDo(char* text) override;

    // "Tessivo 2n+1:2n+2" for stereo pair n of 0..15 (the mixer's output menu).
    static bool GetOutputName(int n, kiv::string& text);

    GigaStudio* GetStudio() { return m_engine.get(); }

private:
    void RenderPiece(float** outputs, int offset, int frames) noexcept;
    // Takes the host's process level into the engine's offline flag.
    void FollowProcessLevel(int32 level) noexcept;

    std::unique_ptr<GigaStudio> m_engine;
    midi::Input* m_midiTarget = nullptr;  // the first player, or null
    kiv::data m_chunk;                    // the last bank chunk handed out
    audio::Buffers m_buses;               // 16 stereo buses once a block size is set
    // The host's level as last asked: by resume (host thread) and by each
    // block (audio thread); hosts may resume while a block renders.
    std::atomic<int32> m_processLevel{-1};
};
