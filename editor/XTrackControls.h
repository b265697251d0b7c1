// The small controls of a mixer strip (XTrack): the rounded switch pane, the
// balance slider, the input display, the level fader, the expand switch, the
// mute and solo switches and the output and plug-in selectors. They only
// draw and report; the strip acts on their notifications. GUI thread only.
#pragma once
#include "editor/MixerConst.h"
#include "kiv/gui/XSelect.h"
#include "kiv/gui/XSlider.h"
#include "kiv/gui/XToggle.h"

// A rounded box in colour slot 0 (framed in slot 3 when it has one).
class XRoundedPane : public XControl {
public:
    XRoundedPane(XControl* parent, int x, int y, int w, int h);
    void Draw(XGraphic& graphic) override;
};

// The channel balance, -1 to 1: a bar from the centre towards the value.
class XTrackBalance : public XSlider {
public:
    XTrackBalance(XControl* parent, int x, int y, int w, int h);
    void Draw(XGraphic& graphic) override;
    void OnGeometryChanged() override;
};

// The first characters of the name of what plays into the channel; nothing
// is drawn without a name. A press tells the listener (0, 0).
class XTrackInput : public XSelect {
public:
    XTrackInput(XControl* parent, int x, int y, int w, int h);
    void Draw(XGraphic& graphic) override;
    // Keeps at most the first 8 characters; null or "" clears it.
    void SetName(const char* name);
    const char* GetName() const { return m_name; }

private:
    char m_name[mixer::kInputNameChars + 1] = {};
};

// The channel level, 0 to 1, with its scale lines.
class XTrackFader : public XFader {
public:
    XTrackFader(XControl* parent, int x, int y, int w, int h);
    void Draw(XGraphic& graphic) override;
    // The y of every scale line for a fader of that height.
    static int ScaleLines(int height, int* ys, int capacity);
};

// Shows (state 1) or hides (0) the strip's effect panels; notifies
// (0, new state) on each press.
class XTrackExpand : public XToggle {
public:
    XTrackExpand(XControl* parent, int x, int y, int w, int h);
    void Draw(XGraphic& graphic) override;
};

// A mute or solo switch: a lamp in its on colour over the caption.
class XTogSolo : public XToggle {
public:
    XTogSolo(XControl* parent, int x, int y, int w, int h);
    void Draw(XGraphic& graphic) override;
    void SetOnColour(XColourValue colour) { m_onColour = colour; Invalidate(); }
    XColourValue GetOnColour() const { return m_onColour; }

private:
    XColourValue m_onColour = 0;
    int m_captionX = -1;  // measured once
};

// The output pair box: caption, down arrow and frame.
class XSelectOut : public XSelect {
public:
    XSelectOut(XControl* parent, int x, int y, int w, int h);
    void Draw(XGraphic& graphic) override;
};

// The insert panel's plug-in box: rounded, without a frame.
class XSelectPlugin : public XSelect {
public:
    XSelectPlugin(XControl* parent, int x, int y, int w, int h);
    void Draw(XGraphic& graphic) override;
};
