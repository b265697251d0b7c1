// OvPlugin: the base of the player with a parameter list chosen by program
// change. Nothing in the product creates parameters or sets, so a program
// change only makes an empty set current; the machinery stays for players
// that do. SelectParameterSet runs on the audio thread (MIDI program change).
#pragma once
#include <memory>

#include "engine/OvConstants.h"
#include "kiv/file/Log.h"

class OvPlugin : public file::Log {
public:
    struct Parameter {
        float value = 0.0f;
    };

    OvPlugin();
    ~OvPlugin() override;
    OvPlugin(const OvPlugin&) = delete;
    OvPlugin& operator=(const OvPlugin&) = delete;

    // Host or GUI thread, before rendering. False when the list is full.
    bool AddParameter(float value);
    // The set of a program (0..255): one value per parameter, owned.
    bool SetParameterSet(int program, const float* values, int count);

    // Audio thread: the set of that program becomes current and every
    // parameter takes its value (programs without a set: an empty set).
    void SelectParameterSet(int program) noexcept;

    int GetParameterCount() const { return m_count; }
    float GetParameter(int index) const;
    int GetCurrentSet() const { return m_currentSet; }

private:
    std::unique_ptr<Parameter> m_params[kOvMaxParameters];
    int m_count = 0;
    std::unique_ptr<float[]> m_sets[kOvMaxParameters];
    int m_setSizes[kOvMaxParameters] = {};
    int m_currentSet = -1;
};
