#include "editor/WBigMixer.h"

#include "editor/XTrack.h"
#include "engine/OvMixerConstants.h"
#include "engine/OvStudio.h"
#include "kiv/gui/XGraphic.h"

// --- XMultiTrack ---

XMultiTrack::XMultiTrack(XControl* parent, int x, int y, int w, int h, int firstChannel)
    : XScrollView(parent, x, y, w, h), m_firstChannel(firstChannel)
{
    SetColour(0, mixer::kBigMixerBack);
    SetSize(mixer::kRowWidth, mixer::kStripHeight);
    for (int k = 0; k < mixer::kRowStrips; ++k) {
        m_tracks[k] = new XTrack(this, mixer::kStripPitch * k, 0, mixer::kStripWidth, mixer::kStripHeight,
                                 firstChannel + k);
        m_tracks[k]->SetListener(this);
    }
    SetScrollBars(true, false);
}

void XMultiTrack::SetStudio(OvStudio* studio)
{
    m_studio = studio;
    for (XTrack* track : m_tracks)
        track->SetStudio(studio);
}

void XMultiTrack::Refresh()
{
    for (XTrack* track : m_tracks)
        track->Refresh();
}

void XMultiTrack::LayoutStrips()
{
    int x = 0;
    for (XTrack* track : m_tracks) {
        track->SetPosition(x, track->GetY());
        x += track->GetWidth() + 1;
    }
    SetSize(x - 1, GetHeight());
    Invalidate();
}

int XMultiTrack::Notify(XControl* sender, int code, int value)
{
    if (code == mixer::kCodeExpand)
        LayoutStrips();
    else if (code == mixer::kCodeMute || code == mixer::kCodeSolo)
        NotifyFrom(sender, code, value);
    return 0;
}

// --- WBigMixer ---

WBigMixer::WBigMixer()
{
    SetSize(mixer::kBigMixerWidth, mixer::kBigMixerHeight);
    SetColour(0, mixer::kBigMixerBack);
    SetText("Mixer");
    m_rows[0] = new XMultiTrack(this, 1, 0, -1, mixer::kRowHeight, 0);
    m_rows[1] = new XMultiTrack(this, 1, mixer::kRowHeight + 1, -1, 0, mixer::kRowStrips);
    for (XMultiTrack* row : m_rows)
        row->SetListener(this);
}

void WBigMixer::SetStudio(OvStudio* studio)
{
    m_studio = studio;
    for (XMultiTrack* row : m_rows)
        row->SetStudio(studio);
}

void WBigMixer::Refresh()
{
    for (XMultiTrack* row : m_rows)
        row->Refresh();
}

void WBigMixer::OnIdle()
{
    if (!m_studio)
        return;
    // The studio keeps peaks of its own channels only: strips past them
    // read nothing.
    const float* peaks = m_studio->TakePeakLevels();
    for (int r = 0; r < mixer::kRows; ++r) {
        for (int k = 0; k < mixer::kRowStrips; ++k) {
            int channel = m_rows[r]->GetFirstChannel() + k;
            if (channel >= 0 && channel < kOvMixerChannels)
                m_rows[r]->GetTrack(k)->SetMeterLevels(peaks[2 * channel], peaks[2 * channel + 1]);
        }
    }
}

void WBigMixer::Draw(XGraphic& graphic)
{
    graphic.FillRectangleColour(GetLocalRectangle(), mixer::kBigMixerBack);
}

OvGroupMember* WBigMixer::GetMember(int index)
{
    if (index < 0 || index >= GetMemberCount())
        return nullptr;
    return m_rows[index / mixer::kRowStrips]->GetTrack(index % mixer::kRowStrips);
}

int WBigMixer::Notify(XControl* sender, int code, int value)
{
    (void)sender;
    (void)value;
    if (code == mixer::kCodeMute || code == mixer::kCodeSolo)
        ApplyRequests();
    return 0;
}
