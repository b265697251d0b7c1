// The large mixer window: WBigMixer shows two rows (XMultiTrack) of 32
// channel strips for the editor's studio. The editor builds it once,
// attaches the studio, refreshes it and opens it as a top-level window; its
// idle tick feeds the meters. Strips are numbered per window, 0..31 in the
// top row and 32..63 in the bottom row; strips beyond the studio's mixer
// channels show disabled. The window is the strips' mute and solo group.
// GUI thread only.
#pragma once
#include "editor/MixerConst.h"
#include "engine/OvGroup.h"
#include "kiv/gui/XListener.h"
#include "kiv/gui/XView.h"
#include "kiv/gui/XViewPort.h"

class OvStudio;
class XTrack;

// One row of 32 strips, scrolled horizontally; tells its listener 'mute'
// and 'solo' from its strips.
class XMultiTrack : public XScrollView, public XListener {
public:
    // The place given is the viewport's; the content is 1727 x 404.
    XMultiTrack(XControl* parent, int x, int y, int w, int h, int firstChannel);

    void SetStudio(OvStudio* studio);
    void Refresh();
    // Each strip one pixel after the previous one; the width follows.
    void LayoutStrips();
    int GetFirstChannel() const { return m_firstChannel; }
    XTrack* GetTrack(int k) const { return k >= 0 && k < mixer::kRowStrips ? m_tracks[k] : nullptr; }

    int Notify(XControl* sender, int code, int value) override;
    using XControl::Notify;

private:
    OvStudio* m_studio = nullptr;
    int m_firstChannel;
    XTrack* m_tracks[mixer::kRowStrips] = {};
};

class WBigMixer : public XView, public XListener, public OvGroup {
public:
    WBigMixer();

    void SetStudio(OvStudio* studio);
    OvStudio* GetStudio() const { return m_studio; }
    void Refresh();
    // The studio's peaks since the last tick go to the strips' meters.
    void OnIdle() override;
    void Draw(XGraphic& graphic) override;

    XMultiTrack* GetRow(int r) const { return r >= 0 && r < mixer::kRows ? m_rows[r] : nullptr; }

    // OvGroup over all 64 strips.
    int GetMemberCount() override { return mixer::kRows * mixer::kRowStrips; }
    OvGroupMember* GetMember(int index) override;

    int Notify(XControl* sender, int code, int value) override;
    using XControl::Notify;

private:
    OvStudio* m_studio = nullptr;
    XMultiTrack* m_rows[mixer::kRows] = {};
};
