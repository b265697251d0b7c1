#include "vst/AudioPlug.h"

#include "vst/PlugInfo.h"
#include "vst/PlugInfoList.h"
#include "vst/VstConstants.h"

const char* AudioPlugView::GetTitle() const
{
    return m_info ? m_info->GetDisplayName() : nullptr;
}

AudioPlug::AudioPlug() = default;

// A derived class closes its plug-in in its own destructor, while its
// Unload can still run.
AudioPlug::~AudioPlug() = default;

void AudioPlug::SetBlockSize(int) {}
void AudioPlug::SetSampleRate(int) {}

int AudioPlug::GetChunk(kiv::data& buffer)
{
    buffer.Free();
    return 0;
}

void AudioPlug::SetChunk(const void*, int) {}
void AudioPlug::Process(float*, float*, int) noexcept {}
bool AudioPlug::Load(PlugInfo*) { return false; }
void AudioPlug::Unload() {}
AudioPlugView* AudioPlug::CreateView() { return nullptr; }

void AudioPlug::Controller(int, int, int, int) {}
void AudioPlug::PitchBend(int, int, int, int) {}
void AudioPlug::ProgramChange(int, int) {}
void AudioPlug::AllNotesOff(int) {}

bool AudioPlug::Open(PlugInfo* info)
{
    Print("AudioPlug::Open(%s)", info && info->GetName() ? info->GetName() : "");
    Close();
    // A library the list knows as failed (it crashed or broke while probed)
    // is never loaded again.
    if (!info || info->GetType() == plug::kTypeFailed || !Load(info))
        return false;
    m_info = info;
    return true;
}

void AudioPlug::Close()
{
    Print("AudioPlug::Close()");
    if (!m_info)
        return;
    Unload();
    // The view was made for the effect that just went away.
    m_view.reset();
    m_info = nullptr;
    m_inputs = 0;
}

void AudioPlug::CloseView()
{
    if (m_view)
        m_view->Close();
}

AudioPlugView* AudioPlug::GetView()
{
    if (!m_view && m_info) {
        m_view.reset(CreateView());
        if (m_view)
            m_view->SetInfo(m_info);
    }
    return m_view.get();
}

void AudioPlug::Archive(ArchiFile* archive)
{
    if (!archive->ExchangeVersion(1, 1, 1))
        return;
    bool hasPlugin = m_info != nullptr;
    if (!archive->ExchangeBool(hasPlugin, fourcc("hasi")) || !hasPlugin)
        return;

    if (!archive->IsLoading()) {
        kiv::string vendor = m_info->GetVendor();
        kiv::string name = m_info->GetName();
        int format = static_cast<int>(m_info->GetFormat() ? m_info->GetFormat() : plug::kFormatVst2);
        archive->ExchangeString(vendor, fourcc("manu"));
        archive->ExchangeString(name, fourcc("name"));
        archive->ExchangeInt(format, fourcc("pfmt"));
        kiv::data chunk;
        int size = GetChunk(chunk);
        if (size < 0 || size > chunk.GetSize() || !chunk.GetBytes())
            size = 0;
        archive->ExchangeInt(size, fourcc("psiz"));
        if (size > 0) {
            kiv::data block(chunk.GetBytes(), size);
            archive->ExchangeData(block, fourcc("data"));
        }
        return;
    }

    kiv::string vendor;
    kiv::string name;
    archive->ExchangeString(vendor, fourcc("manu"));
    if (!archive->ExchangeString(name, fourcc("name")))
        return;
    PlugInfoList* list = PlugInfoList::GetProcessList();
    PlugInfo* info = list ? list->FindByName(name.CStr()) : nullptr;
    if (!info || !Open(info))
        return;
    int format = 0;
    int size = 0;
    archive->ExchangeInt(format, fourcc("pfmt"));
    archive->ExchangeInt(size, fourcc("psiz"));
    if (size <= 0)
        return;
    kiv::data block;
    if (!archive->ExchangeData(block, fourcc("data")) || !block.GetBytes())
        return;
    // The plug-in reads only the bytes that are really there.
    SetChunk(block.GetBytes(), size < block.GetSize() ? size : block.GetSize());
}
