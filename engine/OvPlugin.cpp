#include "engine/OvPlugin.h"

#include <algorithm>
#include <cstring>

OvPlugin::OvPlugin() = default;
OvPlugin::~OvPlugin() = default;

bool OvPlugin::AddParameter(float value)
{
    if (m_count >= kOvMaxParameters)
        return false;
    m_params[m_count] = std::make_unique<Parameter>();
    m_params[m_count]->value = value;
    ++m_count;
    return true;
}

bool OvPlugin::SetParameterSet(int program, const float* values, int count)
{
    if (program < 0 || program >= kOvMaxParameters || count < 0 || count > kOvMaxParameters)
        return false;
    if (count > 0 && !values)
        return false;
    auto set = std::make_unique<float[]>(std::max(count, 1));
    if (count > 0)
        std::memcpy(set.get(), values, sizeof(float) * static_cast<size_t>(count));
    m_sets[program] = std::move(set);
    m_setSizes[program] = count;
    return true;
}

void OvPlugin::SelectParameterSet(int program) noexcept
{
    if (program < 0 || program >= kOvMaxParameters)
        return;
    m_currentSet = program;
    const float* set = m_sets[program].get();
    const int n = std::min(m_count, m_setSizes[program]);
    for (int i = 0; i < n; ++i)
        m_params[i]->value = set[i];
}

float OvPlugin::GetParameter(int index) const
{
    if (index < 0 || index >= m_count)
        return 0.0f;
    return m_params[index]->value;
}
