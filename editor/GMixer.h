// GMixer: the editor's mixer view, one channel strip (XTrack) per mixer
// channel of the studio, scrolled horizontally. It is the strips' mute and
// solo group and lays them out again when one widens or narrows. The
// editor's main window builds one per MIDI port, attaches the studio, and
// calls UpdateMeters on its idle tick. GUI thread only.
#pragma once
#include "editor/MixerConst.h"
#include "engine/OvGroup.h"
#include "kiv/gui/XListener.h"
#include "kiv/gui/XViewPort.h"

class OvStudio;
class XTrack;

class GMixer : public XScrollView, public OvGroup, public XListener {
public:
    // The place given is the viewport's; the content is 863 x 404.
    GMixer(XControl* parent, int x, int y, int w, int h);

    void SetStudio(OvStudio* studio);
    OvStudio* GetStudio() const { return m_studio; }
    // Every strip reloads its controls from the studio.
    void Refresh();
    // The studio's peaks since the last call go to the strips' meters.
    void UpdateMeters();
    // Shown: the pending peaks are dropped and the input displays renewed;
    // hidden: the meters fall to nothing.
    void OnVisibilityChanged(bool visible) override;
    // Each strip one pixel after the previous one; the width follows.
    void LayoutStrips();

    XTrack* GetTrack(int i) const { return i >= 0 && i < mixer::kStrips ? m_tracks[i] : nullptr; }

    // OvGroup
    int GetMemberCount() override { return mixer::kStrips; }
    OvGroupMember* GetMember(int index) override;

    int Notify(XControl* sender, int code, int value) override;
    using XControl::Notify;

private:
    OvStudio* m_studio = nullptr;
    XTrack* m_tracks[mixer::kStrips] = {};
};
