#include "editor/XTrack.h"

#include <atomic>
#include <cmath>

#include "editor/MixerConst.h"
#include "editor/XTrackControls.h"
#include "editor/XTrackPan.h"
#include "editor/XViewEffect.h"
#include "editor/gvalue.h"
#include "engine/GigaPart.h"
#include "engine/GigaTone.h"
#include "engine/OvMixerConstants.h"
#include "engine/OvPlayer.h"
#include "engine/OvStudio.h"
#include "kiv/data/String.h"
#include "kiv/gui/XMenu.h"
#include "kiv/gui/XConst.h"
#include "vst/PlugInfoList.h"

namespace {

// Plug-in entries of type 1 are effects.
constexpr int kEffectType = 1;

struct EffectSwitch {
    const char* caption;
    XColourValue colour;
};
const EffectSwitch kEffectSwitches[4] = {
    {"Dyn", mixer::kDynColour},
    {"EQ", mixer::kEQColour},
    {"FX1", mixer::kFxColour},
    {"FX2", mixer::kFxColour},
};

// A tone that holds parts and is not empty plays into its channel.
bool IsActiveTone(const GigaTone* tone) { return tone && tone->GetPartCount() > 0 && !tone->IsEmpty(); }

// Calls f(tone index, tone) for every active .gig tone of every player
// routed to bus `channel`; f returns false to stop.
template <typename F>
void ForTonesOn(const OvStudio* studio, int channel, F&& f)
{
    if (!studio)
        return;
    for (int p = 0; p < studio->GetPlayerCount(); ++p) {
        OvPlayer* player = studio->GetPlayer(p);
        if (!player)
            continue;
        for (int j = 0; j < player->GetToneCount(); ++j) {
            auto* tone = dynamic_cast<GigaTone*>(player->GetTone(j));
            if (tone && tone->GetBus() == channel && IsActiveTone(tone) && !f(j, tone))
                return;
        }
    }
}

std::atomic<XTrack::OutputNamer> g_outputNamer{nullptr};
std::atomic<XTrack::InsertEditorOpener> g_editorOpener{nullptr};

// The output pair a stored value names; -1 when it names none.
int PairOf(float value)
{
    if (!std::isfinite(value) || value < 0.0f || value >= static_cast<float>(kOvMixerOutputs))
        return -1;
    return static_cast<int>(value);
}

}  // namespace

void XTrack::SetOutputNamer(OutputNamer namer) { g_outputNamer.store(namer, std::memory_order_release); }

void XTrack::SetInsertEditorOpener(InsertEditorOpener opener)
{
    g_editorOpener.store(opener, std::memory_order_release);
}

XTrack::XTrack(XControl* parent, int x, int y, int w, int h, int channel) : XControl(parent, x, y, w, h)
{
    Build();
    SetChannel(channel);
}

void XTrack::Build()
{
    m_label = new XLabel(this, 1, 1, -11, 14);
    m_label->SetColour(2, mixer::kChannelText);
    m_label->SetFont(mixer::kFontLabel, 0);
    m_expand = new XTrackExpand(this, -10, 3, 8, 9);
    m_input = new XTrackInput(this, 3, 15, -3, 14);

    m_switches = new XRoundedPane(this, 4, 32, -4, 68);
    for (int k = 0; k < 4; ++k) {
        m_effects[k] = new XToggle(m_switches, 4, 4 + 16 * k, -4, 12);
        m_effects[k]->SetText(kEffectSwitches[k].caption);
        m_effects[k]->SetColour(1, kEffectSwitches[k].colour);
        m_effects[k]->SetColour(2, XColour::Make(235, 235, 235));
        m_effects[k]->SetColour(3, XColour::Make(0, 0, 0));
    }

    m_mute = new XTogSolo(this, 4, 104, 21, 26);
    m_mute->SetText("M");
    m_mute->SetOnColour(mixer::kMuteColour);
    m_solo = new XTogSolo(this, 28, 104, 21, 26);
    m_solo->SetText("S");
    m_solo->SetOnColour(mixer::kSoloColour);

    m_pan = new XTrackPan(this, 0, 140, GetWidth(), 52);
    m_balance = new XTrackBalance(this, 2, 194, -2, 14);
    m_balance->SetRange(-1.0, 1.0, 0.01, 0.0);
    m_balance->SetDefault(0.0);

    m_fader = new XTrackFader(this, 5, -186, 17, 150);
    m_faderValue = new gvalue(this, 2, -33, 32, 14);
    m_faderValue->SetMode(mixer::kValueDecibel);
    m_fader->SetValueListener(m_faderValue);
    m_faderValue->SetValue(m_fader->GetValue());
    m_meter = new XMeterStereo(this, 29, -186, 19, 150);
    m_meter->SetColour(3, mixer::kBoxFrame);

    m_output = new XSelectOut(this, 1, -17, -1, 14);
    m_output->SetColour(0, mixer::kBoxFace);
    m_output->SetColour(3, mixer::kBoxFrame);
    ShowOutputText(0);

    m_more = new XTrackMore(this, mixer::kMoreX, 0, mixer::kMoreWidth, GetHeight());
    m_more->Show(false);
    for (int k = 0; k < 4; ++k) {
        if (auto* panel = dynamic_cast<XViewEffect*>(m_more->GetPanel(k)))
            panel->SetColour(2, kEffectSwitches[k].colour);
    }

    // Every control reports to the strip.
    for (XControl* c : {static_cast<XControl*>(m_expand), static_cast<XControl*>(m_input),
                        static_cast<XControl*>(m_mute), static_cast<XControl*>(m_solo),
                        static_cast<XControl*>(m_pan), static_cast<XControl*>(m_balance),
                        static_cast<XControl*>(m_fader), static_cast<XControl*>(m_output)})
        c->SetListener(this);
    for (XToggle* t : m_effects)
        t->SetListener(this);
    m_more->GetDyn()->SetBarListener(this);
    m_more->GetEQ()->SetBarListener(this);
    for (int s = 0; s < 2; ++s) {
        m_more->GetPlug(s)->SetListener(this);
        m_more->GetPlug(s)->GetSelector()->SetListener(this);
    }
    ApplyColours(mixer::kStripBase);
}

void XTrack::ApplyColours(XColourValue base)
{
    SetColour(0, base);
    m_fader->SetColour(0, base);
    m_pan->SetColour(0, mixer::kStripBase);
    m_switches->SetColour(0, XColour::Scale(base, 0.6f));
    m_switches->SetColour(3, XColour::Scale(base, 1.4f));
    m_mute->SetColour(0, XColour::Scale(base, 0.6f));
    m_solo->SetColour(0, XColour::Scale(base, 0.6f));
    for (XToggle* t : m_effects)
        t->SetColour(0, XColour::Scale(base, 0.8f));
}

void XTrack::SetStudio(OvStudio* studio)
{
    m_studio = studio;
    SetEnabled(HasMixerChannel());
}

void XTrack::SetChannel(int channel)
{
    m_channel = channel;
    kiv::string text;
    text.Format("%d-%d", 2 * channel + 1, 2 * channel + 2);
    m_label->AssignText(text);
    SetEnabled(HasMixerChannel());
}

bool XTrack::HasMixerChannel() const { return m_channel >= 0 && m_channel < kOvMixerChannels; }

void XTrack::SetMixer(int number, float value)
{
    if (m_refreshing || !m_studio || !HasMixerChannel())
        return;
    m_studio->SetMixerParam(m_channel, number, value);
    m_studio->SetMixerEdited(true);
}

void XTrack::ShowOutputText(int pair)
{
    kiv::string text;
    text.Format("%d:%d", 2 * pair + 1, 2 * pair + 2);
    m_output->AssignText(text);
}

void XTrack::ShowInsertName(int slot)
{
    OvInsert* insert = m_studio && HasMixerChannel() ? m_studio->GetInsert(m_channel, slot) : nullptr;
    if (!insert && m_studio && HasMixerChannel())
        m_more->GetPlug(slot)->SetFailedName(m_studio->GetFailedInsert(m_channel, slot).name.CStr());
    else
        m_more->GetPlug(slot)->SetPluginName(insert ? insert->GetName() : nullptr);
}

void XTrack::Refresh()
{
    if (!m_studio || !HasMixerChannel())
        return;
    m_refreshing = true;
    for (int k = 0; k < 4; ++k) {
        bool on = m_studio->IsEffectEnabled(m_channel, k);
        m_effects[k]->SetState(on ? 1 : 0);
        m_more->GetPanel(k)->Show(on);
    }
    m_fader->SetValue(m_studio->GetMixerParam(m_channel, kOvMixLevel));
    m_balance->SetValue(m_studio->GetMixerParam(m_channel, kOvMixPan));
    m_pan->SetPositions(m_studio->GetMixerParam(m_channel, kOvMixLeftPan),
                        m_studio->GetMixerParam(m_channel, kOvMixRightPan));
    int pair = PairOf(m_studio->GetMixerParam(m_channel, kOvMixOutput));
    ShowOutputText(pair < 0 ? 0 : pair);
    bool muted = m_studio->GetMixerParam(m_channel, kOvMixMute) != 0.0f;
    m_mute->SetState(muted ? 1 : 0);
    // The group's own record follows the studio, so its next pass does not
    // undo a mute the studio was given elsewhere (a loaded performance).
    if (!IsSoloed())
        Init(muted, false);
    for (XViewEffectBars* panel : {static_cast<XViewEffectBars*>(m_more->GetDyn()),
                                   static_cast<XViewEffectBars*>(m_more->GetEQ())}) {
        for (int r = 0; r < panel->CountRows(); ++r)
            panel->GetBar(r)->SetValue(m_studio->GetMixerParam(m_channel, panel->GetParameter(r)));
        panel->Invalidate();
    }
    ShowInsertName(0);
    ShowInsertName(1);
    m_refreshing = false;
    RefreshInput();
    Invalidate();
}

void XTrack::RefreshInput()
{
    // Copied under the tone's parts lock: a loader pass may remove the part
    // or release its program right after.
    kiv::string name;
    bool named = false;
    ForTonesOn(m_studio, m_channel, [&](int, GigaTone* tone) {
        GigaTone::PartsLock lock = tone->LockParts();
        GigaPart* part = tone->GetPart(0);
        const char* program = part ? part->GetProgramName() : nullptr;
        named = program != nullptr;
        if (named)
            name = program;
        return false;
    });
    m_input->SetName(named ? name.CStr() : nullptr);
}

void XTrack::SetMeterLevels(float left, float right) { m_meter->SetLevels(left, right); }

void XTrack::ResetMeter() { m_meter->Reset(); }

void XTrack::Expand(bool on)
{
    if (on == m_expanded)
        return;
    m_expanded = on;
    if (on) {
        MoveResizeBy(0, 0, mixer::kExpandWidth, 0);
        m_more->Show(true);
    } else {
        m_more->Show(false);
        MoveResizeBy(0, 0, -mixer::kExpandWidth, 0);
    }
    if (m_expand->GetState() != (on ? 1 : 0))
        m_expand->SetState(on ? 1 : 0);
    Invalidate();
}

void XTrack::OnEffectToggle(int slot, int value)
{
    bool on = slot < kOvSlotInsert0 ? value != 0 : value == 1;
    if (value != 0 && !m_expanded)
        m_expand->SimulateClick(2, 2);
    m_more->GetPanel(slot)->Show(on);
    m_more->Invalidate();
    Invalidate();
    if (m_studio && HasMixerChannel())
        m_studio->EnableEffect(m_channel, slot, on);
}

// --- menus ---

void XTrack::BuildInputMenu(XMenu& menu) const
{
    ForTonesOn(m_studio, m_channel, [&](int j, GigaTone* tone) {
        kiv::string item;
        const kiv::string name = tone->GetDisplayName();
        item.Format("%d: %s", j + 1, name.CStr());
        menu.AddItem(item.GetText());
        return true;
    });
}

void XTrack::BuildOutputMenu(XMenu& menu) const
{
    OutputNamer namer = g_outputNamer.load(std::memory_order_acquire);
    OvPlayer* player = m_studio && m_studio->GetPlayerCount() > 0 ? m_studio->GetPlayer(0) : nullptr;
    if (!namer && !player)
        return;
    // Only pairs the mixer can route to are offered.
    for (int c = 0; c < kOvMixerOutputs; ++c) {
        kiv::string name;
        if (!(namer ? namer(c, name) : player->GetOutputName(c, name)))
            break;
        menu.AddItem(name.GetText(), c);
    }
}

void XTrack::BuildPluginMenu(XMenu& menu) const
{
    menu.AddItem("No Plugin", mixer::kNoPlugin);
    PlugInfoList* list = PlugInfoList::GetProcessList();
    if (!list)
        return;
    // Vendor groups are counted among those that hold effects, as the list
    // answers GetPlugOfType.
    int group = 0;
    for (int m = 0; m < list->GetManufCount(); ++m) {
        PlugManuf* manuf = list->GetManuf(m);
        if (!manuf || !manuf->HasType(kEffectType))
            continue;
        XMenu* sub = menu.AddSubMenu(manuf->GetVendor());
        for (int n = 0; n < mixer::kVendorStride; ++n) {
            PlugInfo* info = manuf->GetItemOfType(kEffectType, n);
            if (!info)
                break;
            sub->AddItem(info->GetName(), group * mixer::kVendorStride + n);
        }
        ++group;
    }
}

void XTrack::ChooseOutput(int pair)
{
    if (pair < 0 || pair >= kOvMixerOutputs)
        return;
    SetMixer(kOvMixOutput, static_cast<float>(pair));
    ShowOutputText(pair);
}

bool XTrack::ChoosePlugin(int slot, int value)
{
    if (value == mixer::kNoPlugin)
        return ChoosePluginEntry(slot, nullptr);
    PlugInfoList* list = PlugInfoList::GetProcessList();
    if (!list || value < 0)
        return false;
    // Looked up by position once the menu has closed, so no entry pointer
    // is held while the menu waits; a place the list no longer has chooses
    // nothing.
    PlugInfo* info = list->GetPlugOfType(value / mixer::kVendorStride, kEffectType, value % mixer::kVendorStride);
    if (!info)
        return false;
    return ChoosePluginEntry(slot, info);
}

bool XTrack::ChoosePluginEntry(int slot, PlugInfo* info)
{
    if (!m_studio || !HasMixerChannel() || slot < 0 || slot > 1)
        return false;
    const int flagSlot = kOvSlotInsert0 + slot;
    const bool wasOn = m_studio->IsEffectEnabled(m_channel, flagSlot);
    bool placed = false;
    if (info) {
        m_studio->SetEffectFlag(m_channel, flagSlot, false);
        placed = m_studio->SetInsertPlugin(m_channel, slot, info);
        ShowInsertName(slot);
        if (placed)
            OpenPluginEditor(slot);
    } else if (m_studio->GetInsert(m_channel, slot)) {
        m_studio->SetEffectFlag(m_channel, flagSlot, false);
        m_studio->SetInsertPlugin(m_channel, slot, nullptr);
        ShowInsertName(slot);
    }
    m_studio->SetEffectFlag(m_channel, flagSlot, wasOn);
    m_studio->SetMixerEdited(true);
    Invalidate();
    return placed;
}

void XTrack::OpenPluginEditor(int slot)
{
    if (!m_studio || !HasMixerChannel())
        return;
    OvInsert* insert = m_studio->GetInsert(m_channel, slot);
    InsertEditorOpener opener = g_editorOpener.load(std::memory_order_acquire);
    if (insert && opener)
        opener(insert, reinterpret_cast<void*>(GetWindowHandle()));
}

// --- group ---

void XTrack::OnMute(bool muted)
{
    m_mute->SetState(muted ? 1 : 0);
    SetMixer(kOvMixMute, muted ? 1.0f : 0.0f);
}

void XTrack::OnSolo(bool soloed) { m_solo->SetState(soloed ? 1 : 0); }

// --- notifications ---

int XTrack::Notify(XControl* sender, int code, int value)
{
    (void)code;
    if (sender == m_balance) {
        SetMixer(kOvMixPan, static_cast<float>(m_balance->GetValue()));
    } else if (sender == m_fader) {
        SetMixer(kOvMixLevel, static_cast<float>(m_fader->GetValue()));
    } else if (sender == m_pan) {
        SetMixer(kOvMixLeftPan, m_pan->GetLeft());
        SetMixer(kOvMixRightPan, m_pan->GetRight());
    } else if (sender == m_input) {
        // The items only tell what plays into the channel.
        auto menu = std::make_unique<XMenu>();
        BuildInputMenu(*menu);
        m_input->PopupMenu(std::move(menu), 0, m_input->GetHeight(), nullptr);
    } else if (sender == m_output) {
        auto menu = std::make_unique<XMenu>();
        BuildOutputMenu(*menu);
        m_output->PopupMenu(std::move(menu), 0, m_output->GetHeight(), [this](int, int value) { ChooseOutput(value); });
    } else if (sender == m_mute) {
        RequestMute(value != 0);
        XControl::Notify(mixer::kCodeMute, value);
    } else if (sender == m_solo) {
        RequestSolo(value != 0);
        XControl::Notify(mixer::kCodeSolo, value);
    } else if (sender == m_expand) {
        Expand(value != 0);
        XControl::Notify(mixer::kCodeExpand, value);
    } else {
        for (int k = 0; k < 4; ++k) {
            if (sender == m_effects[k]) {
                OnEffectToggle(k, value);
                return 0;
            }
        }
        for (XViewEffectBars* panel : {static_cast<XViewEffectBars*>(m_more->GetDyn()),
                                       static_cast<XViewEffectBars*>(m_more->GetEQ())}) {
            int row = panel->FindRow(sender);
            if (row >= 0) {
                SetMixer(panel->GetParameter(row), static_cast<float>(panel->GetBar(row)->GetValue()));
                panel->Invalidate();
                return 0;
            }
        }
        for (int s = 0; s < 2; ++s) {
            XViewEffectPlug* plug = m_more->GetPlug(s);
            if (sender == plug->GetSelector()) {
                auto menu = std::make_unique<XMenu>();
                BuildPluginMenu(*menu);
                plug->GetSelector()->PopupMenu(std::move(menu), 0, plug->GetSelector()->GetHeight(),
                                               [this, s](int, int value) { ChoosePlugin(s, value); });
                return 0;
            }
            if (sender == plug) {
                OpenPluginEditor(s);
                return 0;
            }
        }
    }
    return 0;
}
