#include "vst/OvVstInsert.h"

#include "vst/OvVstConstants.h"
#include "vst/PlugInfo.h"
#include "vst/PlugInfoList.h"

OvVstInsert::OvVstInsert(std::unique_ptr<AudioPlugVst> plug) : m_plug(std::move(plug)) {}

OvVstInsert::~OvVstInsert()
{
    if (m_plug)
        m_plug->Close();
}

void OvVstInsert::Process(float* left, float* right, int frames) noexcept
{
    m_plug->Process(left, right, frames);
}

const char* OvVstInsert::GetName() const
{
    PlugInfo* info = m_plug->GetInfo();
    return info ? info->GetName() : "";
}

int OvVstInsert::GetChunk(kiv::data& chunk)
{
    return m_plug->GetChunk(chunk);
}

void OvVstInsert::SetChunk(const void* bytes, int size)
{
    if (bytes && size > 0)
        m_plug->SetChunk(bytes, size);
}

void OvVstInsert::SetSampleRate(int rate)
{
    m_plug->SetSampleRate(rate);
}

void OvVstInsert::SetBlockSize(int frames)
{
    m_plug->SetBlockSize(frames);
}

std::vector<float> OvVstInsert::GetParamValues()
{
    return m_plug->GetParamValues();
}

void OvVstInsert::SetParamValues(const std::vector<float>& values)
{
    m_plug->SetParamValues(values);
}

void OvVstInsert::CloseView()
{
    m_plug->CloseView();
}

bool OvVstInsert::TakeEdited()
{
    return m_plug->TakeEdited();
}

std::unique_ptr<OvInsert> OvVstInsertFactory::Open(PlugInfo* info)
{
    if (!info)
        return nullptr;
    auto plug = std::make_unique<AudioPlugVst>();
    if (!plug->Open(info))
        return nullptr;
    return std::make_unique<OvVstInsert>(std::move(plug));
}

std::unique_ptr<OvInsert> OvVstInsertFactory::OpenByName(const char* name)
{
    if (!name || !name[0] || !m_list)
        return nullptr;
    return Open(m_list->FindByName(name));
}

void OvVstInsertFactory::OnFirstStudio()
{
    if (m_list)
        m_list->Load(ovvst::kMakerFolder, ovvst::kProductBaseName);
}
