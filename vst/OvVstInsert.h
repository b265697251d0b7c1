// OvVstInsert: a hosted VST 2 effect (AudioPlugVst) in a mixer insert slot,
// as the engine sees it; and OvVstInsertFactory, which the plug-in library
// registers with the studio at load so the mixer can open effects from the
// process-wide plug-in list.
//
// Threads: opening, closing, chunks, rate and block size on the GUI or host
// thread; Process on the audio thread (no allocation, no lock).
#pragma once
#include <memory>

#include "engine/OvStudio.h"
#include "vst/AudioPlugVst.h"

class PlugInfoList;

class OvVstInsert : public OvInsert {
public:
    explicit OvVstInsert(std::unique_ptr<AudioPlugVst> plug);
    // Closes the plug-in (its view first).
    ~OvVstInsert() override;

    void Process(float* left, float* right, int frames) noexcept override;
    const char* GetName() const override;
    int GetChunk(kiv::data& chunk) override;
    void SetChunk(const void* bytes, int size) override;
    void SetSampleRate(int rate) override;
    void SetBlockSize(int frames) override;
    void CloseView() override;
    bool TakeEdited() override;
    std::vector<float> GetParamValues() override;
    void SetParamValues(const std::vector<float>& values) override;

    AudioPlugVst* GetPlug() { return m_plug.get(); }

private:
    std::unique_ptr<AudioPlugVst> m_plug;
};

class OvVstInsertFactory : public OvInsertFactory {
public:
    // list: the process-wide plug-in list (not owned).
    explicit OvVstInsertFactory(PlugInfoList* list) : m_list(list) {}

    std::unique_ptr<OvInsert> Open(PlugInfo* info) override;
    std::unique_ptr<OvInsert> OpenByName(const char* name) override;
    // Reads the plug-in list from the maker folder.
    void OnFirstStudio() override;

private:
    PlugInfoList* m_list;
};
