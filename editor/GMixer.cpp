#include "editor/GMixer.h"

#include "editor/XTrack.h"
#include "engine/OvMixerConstants.h"
#include "engine/OvStudio.h"

GMixer::GMixer(XControl* parent, int x, int y, int w, int h) : XScrollView(parent, x, y, w, h)
{
    SetColour(0, mixer::kMixerBack);
    SetSize(mixer::kMixerWidth, mixer::kMixerHeight);
    for (int i = 0; i < mixer::kStrips; ++i) {
        m_tracks[i] = new XTrack(this, mixer::kStripPitch * i, 0, mixer::kStripWidth, mixer::kStripHeight, i);
        m_tracks[i]->SetListener(this);
    }
    SetScrollBars(true, false);
}

void GMixer::SetStudio(OvStudio* studio)
{
    m_studio = studio;
    for (XTrack* track : m_tracks)
        track->SetStudio(studio);
}

void GMixer::Refresh()
{
    for (XTrack* track : m_tracks)
        track->Refresh();
}

void GMixer::UpdateMeters()
{
    if (!m_studio)
        return;
    const float* peaks = m_studio->TakePeakLevels();
    for (int i = 0; i < mixer::kStrips && i < kOvMixerChannels; ++i)
        m_tracks[i]->SetMeterLevels(peaks[2 * i], peaks[2 * i + 1]);
}

void GMixer::OnVisibilityChanged(bool visible)
{
    if (visible) {
        if (m_studio)
            m_studio->TakePeakLevels();
        for (XTrack* track : m_tracks)
            track->RefreshInput();
    } else {
        for (XTrack* track : m_tracks)
            track->ResetMeter();
    }
}

void GMixer::LayoutStrips()
{
    int x = 0;
    for (XTrack* track : m_tracks) {
        track->SetPosition(x, track->GetY());
        x += track->GetWidth() + 1;
    }
    // The width is the last strip's right edge.
    SetSize(x - 1, GetHeight());
    if (GetViewPort())
        GetViewPort()->UpdateLayout();
    Invalidate();
}

OvGroupMember* GMixer::GetMember(int index)
{
    return index >= 0 && index < mixer::kStrips ? m_tracks[index] : nullptr;
}

int GMixer::Notify(XControl* sender, int code, int value)
{
    (void)sender;
    (void)value;
    if (code == mixer::kCodeExpand)
        LayoutStrips();
    else if (code == mixer::kCodeMute || code == mixer::kCodeSolo)
        ApplyRequests();
    return 0;
}
