#include "editor/XGigaView.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "editor/WError.h"
#include "editor/XDimList.h"
#include "editor/XGigaName.h"
#include "editor/XStackView.h"
#include "editor/XTogLed.h"
#include "editor/XValTop.h"
#include "editor/XViewNav.h"
#include "editor/XListResult.h"
#include "engine/GigaBank.h"
#include "engine/GigaBankManager.h"
#include "engine/GigaDeck.h"
#include "engine/GigaPart.h"
#include "engine/GigaProgram.h"
#include "engine/GigaRegion.h"
#include "engine/GigaTone.h"
#include "engine/GigaZone.h"
#include "engine/OvConstants.h"
#include "kiv/gui/XFileNav.h"
#include "kiv/gui/XGraphic.h"
#include "kiv/gui/XInput.h"
#include "kiv/gui/XLabel.h"
#include "kiv/gui/XMenu.h"
#include "kiv/gui/XSlider.h"
#include "kiv/gui/XToggle.h"

using namespace partunit;

namespace {

constexpr XColourValue kWhiteText = XColour::Make(240, 240, 240);

// The last element of a path.
const char* LastElement(const char* path)
{
    const char* name = path;
    for (const char* p = path; *p; ++p)
        if (*p == '/' || *p == '\\')
            name = p + 1;
    return name;
}

struct KnobGeometry {
    int x;
    double min, max, step, fine;
    int captionMode;  // 0 integer, 1 two decimals
};

const KnobGeometry kKnobGeometry[kKnobCount] = {
    {290, -24, 24, 1, 1, 0},   {334, 0, 12, 1, 1, 0},      {402, 0, 1, 0.01, 0.01, 1},
    {446, 0, 10, 0.1, 0.1, 1}, {490, 0, 10, 0.1, 0.1, 1},  {534, 0, 10, 0.1, 0.1, 1},
    {578, 0, 10, 0.1, 0.02, 1}, {643, 0, 1, 0.01, 0.01, 1}, {687, 0, 1, 0.01, 0.01, 1},
    {731, 0, 10, 0.1, 0.1, 1}, {777, 0, 10, 0.1, 0.1, 1},
};

// The part's stored offset and the region's base of a knob from 2 on.
OvRelaxed<float>* OffsetOf(GigaPart& part, int knob)
{
    switch (knob) {
    case kKnobVelocity: return &part.ampSettings[GigaPart::kVelocity];
    case kKnobAttack: return &part.ampSettings[GigaPart::kAttack];
    case kKnobDecay: return &part.ampSettings[GigaPart::kDecay];
    case kKnobSustain: return &part.ampSettings[GigaPart::kSustain];
    case kKnobRelease: return &part.ampSettings[GigaPart::kRelease];
    case kKnobCutoff: return &part.filterSettings[GigaPart::kLevel];
    case kKnobFilterVelocity: return &part.filterSettings[GigaPart::kVelocity];
    case kKnobFilterAttack: return &part.filterSettings[GigaPart::kAttack];
    case kKnobFilterRelease: return &part.filterSettings[GigaPart::kRelease];
    default: return nullptr;
    }
}

float BaseOf(const GigaPart& part, int knob)
{
    switch (knob) {
    case kKnobVelocity: return part.ampAverage[GigaPart::kVelocity];
    case kKnobAttack: return part.ampAverage[GigaPart::kAttack];
    case kKnobDecay: return part.ampAverage[GigaPart::kDecay];
    case kKnobSustain: return part.ampAverage[GigaPart::kSustain];
    case kKnobRelease: return part.ampAverage[GigaPart::kRelease];
    case kKnobCutoff: return part.filterAverage[GigaPart::kLevel];
    case kKnobFilterVelocity: return part.filterAverage[GigaPart::kVelocity];
    case kKnobFilterAttack: return part.filterAverage[GigaPart::kAttack];
    case kKnobFilterRelease: return part.filterAverage[GigaPart::kRelease];
    default: return 0.0f;
    }
}

// A load that ended without everything (no memory, or a part failed).
bool IsFailedState(int state)
{
    return state == giga::kToneNoMemory || state == giga::kToneFailed;
}

}  // namespace

// True when a zone of the part's loaded program has its filter on: the
// region forces the filter and the user cannot switch it off.
bool PartFilterForced(const GigaPart& part)
{
    GigaProgram* program = part.GetProgram();
    if (!program)
        return false;
    for (int r = 0; r < program->GetRegionCount(); ++r) {
        GigaRegion* region = program->GetRegion(r);
        if (!region)
            continue;
        for (int z = 0; z < region->GetZoneCount(); ++z) {
            GigaZone* zone = region->GetZone(z);
            if (zone && zone->filterOn)
                return true;
        }
    }
    return false;
}

// The distinct banks the player's parts hold, for the part and layer menus.
// Only while no load of the player waits: the loader changes the banks then.
static int CollectOpenBanks(GigaTone* tone, GigaBank** banks, int max)
{
    OvPlayer* player = tone ? tone->GetPlayer() : nullptr;
    auto* deck = dynamic_cast<GigaDeck*>(player);
    if (!deck || deck->IsLoading())
        return 0;
    int count = 0;
    for (int t = 0; t < deck->GetToneCount(); ++t) {
        GigaTone* other = deck->GetGigaTone(t);
        if (!other)
            continue;
        GigaTone::PartsLock lock = other->LockParts();
        for (int p = 0; p < other->GetPartCount(); ++p) {
            GigaPart* part = other->GetPart(p);
            GigaBank* bank = part ? part->GetBank() : nullptr;
            if (!bank || part->GetState() != giga::kPartLoaded)
                continue;
            bool known = false;
            for (int i = 0; i < count && !known; ++i)
                known = banks[i] == bank;
            if (!known && count < max)
                banks[count++] = bank;
        }
    }
    return count;
}

// After a separator, one sub-menu per bank the player's parts hold, listing
// its instruments by index; paths gets the banks' paths in menu order (the
// chosen sub-menu n is paths[n - 1]). The paths are copied: the choice comes
// later, when a bank may have gone.
void AddBankMenus(GigaTone* tone, XMenu& menu, std::vector<std::string>& paths)
{
    GigaBank* banks[giga::kMaxParts * giga::kDeckTones];
    const int count = CollectOpenBanks(tone, banks, static_cast<int>(sizeof banks / sizeof banks[0]));
    if (count > 0)
        menu.AddSeparator();
    for (int b = 0; b < count; ++b) {
        XMenu* sub = menu.AddSubMenu(banks[b]->GetFileName());
        for (int i = 0; i < banks[b]->GetProgramCount(); ++i)
            if (GigaProgram* program = banks[b]->GetProgram(i))
                sub->AddItem(program->GetName(), i);
        paths.emplace_back(banks[b]->GetPath());
    }
}

// --- XToneView ---

void XToneView::SetExpanded(bool expanded)
{
    const uint8_t flag = expanded ? 1 : 0;
    if (flag == m_expanded)
        return;
    m_expanded = flag;
    OnExpand(expanded);
}

// --- XGigaViewTop ---

XGigaViewTop::XGigaViewTop(XControl* parent, int x, int y, int w, int h) : XControl(parent, x, y, w, h) {}

void XGigaViewTop::SetExpanded(bool expanded)
{
    if (m_expanded == expanded)
        return;
    m_expanded = expanded;
    Invalidate();
}

void XGigaViewTop::Draw(XGraphic& graphic)
{
    const int w = GetWidth();
    const int h = GetHeight();
    XRect r(2, 2, w - 3, h - 3 + (m_expanded ? 3 : 1));
    graphic.GradientRect(r, XColour::Make(38, 47, 61), XColour::Make(54, 63, 77));
    graphic.SetFont(10, 0);
    graphic.SetTextColour(kWhiteText);
    graphic.DrawString("Out", 260, 9);
    graphic.DrawString("Vol", 365, 9);
    graphic.DrawString("Pan", 677, 9);
}

// --- XGigaViewBot ---

XGigaViewBot::XGigaViewBot(XControl* parent, int x, int y, int w, int h) : XControl(parent, x, y, w, h)
{
    m_pic.Load("view_bot.png");
}

void XGigaViewBot::SetHighlight(int state)
{
    if (state < 0 || state > 2 || state == m_highlight)
        return;
    m_highlight = state;
    Invalidate();
}

void XGigaViewBot::Draw(XGraphic& graphic)
{
    const int w = GetWidth();
    const int h = GetHeight();
    if (m_pic.IsLoaded()) {
        graphic.DrawPic(m_pic, 2, 0);
    } else {
        graphic.FillRectangleColour(XRectangle(2, 0, w - 4, h - 2), XColour::Make(54, 63, 77));
        graphic.SetPen(XColour::Make(110, 110, 120));
        graphic.DrawLine(2, 0, w - 3, 0);
        graphic.SetPen(XColour::Make(100, 100, 100));
        graphic.DrawLine(13, 0, 13, h - 2);
        for (int y = 12; y < h - 2; y += 22)
            graphic.DrawLine(13, y, 24, y);
    }
    if (m_highlight == 0 && m_pic.IsLoaded())
        return;
    static const XColourValue kBars[3] = {XColour::Make(140, 140, 150), XColour::Make(80, 160, 255),
                                          XColour::Make(240, 240, 31)};
    const XColourValue c = kBars[m_highlight];
    graphic.FillRectangleColour(XRectangle(0, 0, 2, h - 6), c);
    graphic.FillRectangleColour(XRectangle(w - 2, 0, 2, h - 6), c);
    graphic.SetPen(c);
    graphic.DrawLine(0, h - 6, 4, h - 2);
    graphic.DrawLine(4, h - 2, w - 5, h - 2);
    graphic.DrawLine(w - 5, h - 2, w - 1, h - 6);
}

// --- XGigaView ---

XGigaView::XGigaView(OvEditor* editor, GigaTone* tone, int index)
    : XToneView(editor, tone), m_gigaTone(tone), m_index(index)
{
    SetBounds(0, 0, kTopWidth, kTopHeight);
    BuildTopBar();
    BuildBottomPanel();
    m_panel = m_plain;
    if (m_gigaTone) {
        m_name->SetText(m_gigaTone->GetDisplayName().CStr());
        m_filling = true;
        m_volume->SetValue(m_gigaTone->GetVolume());
        m_pan->SetValue(m_gigaTone->GetPan());
        m_tuning->SetValue(m_gigaTone->GetFineTune());
        ShowOutput(m_gigaTone->GetBus());
        m_filling = false;
    }
    AttachToTone(true);
    // A load that ended before this unit existed (a host restored its
    // project before the editor was opened) told nobody: the unit shows the
    // state the tone is in as it would have shown its last notification.
    if (m_gigaTone)
        ShowLoadState(m_gigaTone->GetState());
}

XGigaView::~XGigaView() { DetachFromTone(); }

void XGigaView::BuildTopBar()
{
    m_top = new XGigaViewTop(this, 0, 0, 0, kTopHeight);
    m_top->SetResizeMode(true, false, false, false);
    // The bar is the face the controls below sit on: it takes no press, so
    // hit testing (first child under the pointer) reaches them.
    m_top->SetEnabled(false);

    char text[16];
    std::snprintf(text, sizeof text, "%d", m_index + 1);
    m_number = new XLabel(this, 7, 5, 22, 16);
    m_number->SetText(text);
    m_number->SetFont(10, 0);
    m_led = new XMyLed(this, 31, 5, 15, 16);
    m_stack = new XTogStack(this, 50, 6, 20, 15);
    m_stack->SetListener(this);
    m_name = new XGigaName(this, 78, 5, 176, 16);
    m_name->SetListener(this);
    m_output = new XSelectLcd(this, 280, 5, 44, 16);
    m_output->SetListener(this);
    m_mute = new XTogLed(this, 329, 6, 14, 14);
    m_mute->SetText("M");
    m_mute->SetColour(1, XColour::Make(250, 220, 80));
    m_mute->SetListener(this);
    m_solo = new XTogLed(this, 347, 6, 14, 14);
    m_solo->SetText("S");
    m_solo->SetColour(1, XColour::Make(250, 100, 100));
    m_solo->SetListener(this);

    const XColourValue track = XColour::Make(50, 60, 70);
    m_volume = new XFader(this, 384, 4, 92, 18);
    m_volume->SetTrackColour(track);
    m_volume->SetValueBar(XColour::Make(120, 120, 150), XRect(1, 7, 86, 9), false);
    m_volume->LoadHandlePicture("fad_cur.png");
    m_volume->SetRange(0, 127, 1, 1);
    m_volumeCaption = new XValTop(this, 476, 5, 30, 16);
    m_volume->SetValueListener(m_volumeCaption);
    m_volume->SetDefault(kDefaultVolume);
    m_volume->SetListener(this);

    m_tuneMode = new XSelFader(this, 508, 5, 32, 16);
    m_tuneMode->SetColour(0, track);
    m_tuneMode->SetListener(this);
    m_tuning = new XFader(this, 540, 4, 92, 18);
    m_tuning->SetTrackColour(track);
    m_tuning->SetValueBar(XColour::Make(255, 80, 30), XRect(1, 7, 86, 9), true);
    m_tuning->LoadHandlePicture("fad_cur.png");
    m_tuning->SetRange(-kFineRange, kFineRange, 1, 1);
    m_tuningCaption = new XValTop(this, 635, 5, 30, 16);
    m_tuning->SetValueListener(m_tuningCaption);
    m_tuning->SetDefault(0);
    m_tuning->SetListener(this);

    m_pan = new XFader(this, 697, 4, 92, 18);
    m_pan->SetTrackColour(track);
    m_pan->SetValueBar(XColour::Make(150, 230, 170), XRect(1, 7, 86, 9), true);
    m_pan->LoadHandlePicture("fad_cur.png");
    m_pan->SetRange(0, 127, 1, 1);
    m_panCaption = new XValTop(this, 790, 5, 30, 16);
    m_panCaption->SetPanForm(true);
    m_pan->SetValueListener(m_panCaption);
    m_pan->SetDefault(kDefaultPan);
    m_pan->SetListener(this);
}

void XGigaView::BuildBottomPanel()
{
    m_plain = new XGigaViewBot(this, 0, kTopHeight, 0, kBottomHeight);
    m_plain->SetResizeMode(true, false, false, false);
    m_plain->SetSize(GetWidth(), kBottomHeight);
    m_plain->SetVisible(false);
    m_progInfo = new XProgInfo(m_plain, 12, 14, 64, 46);
    m_dimList = new XDimList(m_plain, 91, 5, 160, 56);
    for (int n = 0; n < kKnobCount; ++n) {
        const KnobGeometry& s = kKnobGeometry[n];
        auto* knob = new XKnob(m_plain, s.x, 18, 33, 33);
        knob->LoadPicture("pot_grey.png");
        knob->SetPointer(16.5f, 16.5f, 9.2f);
        knob->SetRange(s.min, s.max, s.step, s.fine);
        auto* caption = new XValBot(m_plain, s.x + 2, 51, 29, 11);
        caption->SetMode(s.captionMode);
        caption->SetKnob(knob);
        knob->SetListener(this);
        m_knobs[n] = knob;
        m_knobCaptions[n] = caption;
    }
    m_filter = new XToggle(m_plain, 630, 18, 12, 31);
    m_filter->SetPictures("vcf_on.png", "vcf_off.png");
    m_filter->SetListener(this);
    ClearKnobs();
}

GigaPart* XGigaView::GetFirstPart() const
{
    return m_gigaTone && m_gigaTone->GetPartCount() > 0 ? m_gigaTone->GetPart(0) : nullptr;
}

void XGigaView::SetTextColours(XColourValue colour)
{
    m_number->SetColour(2, colour);
    m_name->SetNameColour(colour);
    m_output->SetColour(2, colour);
}

void XGigaView::ShowOutput(int bus)
{
    char text[16];
    std::snprintf(text, sizeof text, "%d|%d", 2 * bus + 1, 2 * bus + 2);
    m_output->SetText(text);
}

void XGigaView::ResizeTo(int height)
{
    SetSize(GetWidth(), height);
    if (XControl* slot = GetParent())
        if (slot->GetHeight() != height)
            slot->SetSize(slot->GetWidth(), height);
}

// --- Notifications from the engine ---

void XGigaView::OnToneEvent(OvTone* tone, uint32_t code, int value)
{
    (void)tone;
    switch (code) {
    case kOvNotifyState:
        ShowLoadState(value);
        break;
    case kOvNotifyProgress:
        m_name->SetProgress(value);
        break;
    case kOvNotifyController:
        m_controllersPending.store(true, std::memory_order_release);
        break;
    case kOvNotifyNotesHeld:
        m_led->SetState(value);
        break;
    case kOvNotifyKeys:
        m_keysPending.store(true, std::memory_order_release);
        break;
    default:
        break;
    }
}

void XGigaView::ShowLoadState(int state)
{
    switch (state) {
    case giga::kToneToLoad:
        m_name->SetNameColour(kStatToLoad);
        m_name->ShowStatus(nullptr);
        m_namePending.store(true, std::memory_order_release);
        break;
    case giga::kToneReadingSamples:
        m_name->SetNameColour(kStatReading);
        m_name->ShowStatus("Loading File...");
        break;
    case giga::kToneLoadingSamples:
        m_name->SetNameColour(kStatSamples);
        m_name->ShowStatus("Loading Samples");
        break;
    case 4:
        m_name->SetNameColour(kStatOther);
        m_name->ShowStatus(nullptr);
        m_name->SetProgress(editor::kNoProgress);
        m_namePending.store(true, std::memory_order_release);
        break;
    case giga::kToneNoMemory:
    case giga::kToneFailed:
        m_name->SetNameColour(kStatFailed);
        m_name->ShowStatus(nullptr);
        m_name->SetProgress(editor::kNoProgress);
        m_namePending.store(true, std::memory_order_release);
        // The parts that did load are shown as after any load: a stack with
        // a failed layer opens on its layers.
        m_refreshPending.store(true, std::memory_order_release);
        break;
    case giga::kToneLoaded:
        m_name->SetNameColour(kTextLoaded);
        m_name->ShowStatus(nullptr);
        m_name->SetProgress(editor::kNoProgress);
        // Rebuilding the panel and selecting the unit are GUI work.
        m_refreshPending.store(true, std::memory_order_release);
        break;
    default:
        break;
    }
}

void XGigaView::Poll()
{
    if (!m_gigaTone)
        return;
    if (m_namePending.exchange(false, std::memory_order_acq_rel))
        ShowName();
    if (m_refreshPending.exchange(false, std::memory_order_acq_rel)) {
        // Only a load still ended: a later one may have begun since.
        if (m_gigaTone->GetState() == giga::kToneLoaded || IsFailedState(m_gigaTone->GetState()))
            Refresh();
    }
    if (m_controllersPending.exchange(false, std::memory_order_acq_rel)) {
        m_filling = true;
        if (m_gigaTone->TakeControllerChange(kOvCtrlVolume))
            m_volume->SetValue(m_gigaTone->GetVolume());
        if (m_gigaTone->TakeControllerChange(kOvCtrlPan))
            m_pan->SetValue(m_gigaTone->GetPan());
        m_filling = false;
    }
    if (m_keysPending.exchange(false, std::memory_order_acq_rel))
        XControl::Notify(kCodeKeys, 0);
}

namespace {

// The file a part could not load or that is missing, named; empty when none.
std::string FileTrouble(const GigaPart& part)
{
    const char* file = part.GetFileName();
    if (part.GetState() == giga::kPartFailed)
        return std::string("Unreadable: ") + (file ? file : "");
    if (part.GetState() == giga::kPartMissing)
        return std::string("Missing: ") + (file ? file : "");
    if (const char* extension = part.GetMissingExtension())
        return std::string("Missing: ") + LastElement(extension);
    return {};
}

int SilentSamples(const GigaPart& part)
{
    return part.GetState() == giga::kPartLoaded ? part.GetUnusableCount() : 0;
}

std::string SilentNote(int unusable)
{
    char count[64];
    std::snprintf(count, sizeof count, "%d sample%s silent", unusable, unusable == 1 ? "" : "s");
    return count;
}

}  // namespace

// What a part's load left out, as a layer row names it: a file that failed
// or is missing, else the samples that stay silent; empty when nothing.
std::string PartNote(const GigaPart& part)
{
    std::string note = FileTrouble(part);
    if (note.empty() && SilentSamples(part) > 0)
        note = SilentNote(SilentSamples(part));
    return note;
}

bool XGigaView::ShowName()
{
    GigaTone* tone = m_gigaTone;
    GigaTone::PartsLock lock = tone->LockParts();
    m_name->SetText(tone->GetDisplayName().CStr());
    // The first part's trouble is named; the count covers them all.
    std::string note;
    int unusable = 0;
    for (int i = 0; i < tone->GetPartCount(); ++i) {
        const GigaPart* part = tone->GetPart(i);
        unusable += SilentSamples(*part);
        if (note.empty())
            note = FileTrouble(*part);
    }
    // A missing file is named; the count alone when nothing is missing.
    if (unusable > 0 && note.empty())
        note = SilentNote(unusable);
    m_name->SetNote(note);
    // The layer rows show each layer's own trouble.
    if (m_stackView)
        m_stackView->Invalidate();
    return !note.empty();
}

// --- Refresh ---

void XGigaView::Refresh()
{
    GigaTone* tone = m_gigaTone;
    if (!tone)
        return;
    if (tone->GetState() == giga::kToneLoaded) {
        tone->MarkShown();
        XControl::Notify(kCodeSelect, 0);
    }
    // The parts are read below: a loader pass must not remove one meanwhile.
    GigaTone::PartsLock lock = tone->LockParts();
    const int parts = tone->GetPartCount();
    GigaPart* first = GetFirstPart();
    XColourValue colour = parts == 0 ? kTextNone : kTextLoaded;
    if (parts == 1 && first && first->GetProgramIndex() < 0)
        colour = kTextNoProgram;
    m_name->ShowStatus(nullptr);
    // A failed load is told by the name alone, in the failed colour.
    const bool failed = IsFailedState(tone->GetState());
    if (ShowName() && parts > 0 && !failed)
        colour = kTextPartial;
    SetTextColours(colour);
    if (failed)
        m_name->SetNameColour(kStatFailed);
    if (parts > 1)
        tone->SetStacked(true);

    m_filling = true;
    if (tone->IsStacked()) {
        m_stack->SetState(1);
        m_stack->SetEnabled(parts < 2);
        if (!m_stackView) {
            m_stackView = new XGigaViewStack(this, 0, kTopHeight, GetWidth(), kBottomHeight);
            m_stackView->SetVisible(false);
            m_stackView->SetListener(this);
        }
        m_stackView->Fill(tone);
        m_stackView->SetSize(GetWidth(), kStackRowPitch * parts + kStackHeader);
        m_panel = m_stackView;
        m_plain->Show(false);
        if (m_stackView->IsVisible()) {
            ResizeTo(m_stackView->GetHeight() + kTopHeight);
            XControl::Notify(kCodeSize, 0);
        }
    } else {
        m_stack->SetState(0);
        m_stack->SetEnabled(true);
        if (m_stackView && m_stackView->IsVisible()) {
            m_stackView->Show(false);
            SetExpanded(false);
            XControl::Notify(kCodeSize, 0);
        }
        m_panel = m_plain;
        m_plain->SetEnabled(parts == 1);
    }

    ShowOutput(tone->GetBus());
    const bool muted = tone->IsToneMuted();
    const bool soloed = tone->IsSoloed();
    m_mute->SetState(muted ? 1 : 0);
    m_solo->SetState(soloed ? 1 : 0);
    Init(muted, soloed);
    m_volume->SetValue(tone->GetVolume());
    SetTuningMode(m_tuneMode->GetMode());
    m_pan->SetValue(tone->GetPan());

    // The top bar's volume, tuning and pan are the tone's own, whatever it
    // holds (none, one instrument or a stack): their values always show.
    const int state = tone->GetState();
    GigaProgram* program = first ? first->GetProgram() : nullptr;
    if (state == giga::kToneShown && parts == 1 && !tone->IsStacked() && program) {
        m_progInfo->SetProgram(program);
        m_dimList->SetProgram(program);
        FillKnobs(first);
    } else {
        m_progInfo->Clear();
        m_dimList->Clear();
        if (state != giga::kToneNone)
            ClearKnobs();
    }
    m_filling = false;
    Invalidate();
}

void XGigaView::SetTuningMode(int mode)
{
    const bool filling = m_filling;
    m_filling = true;
    if (mode == XSelFader::kCoarse) {
        m_tuning->SetRange(-kCoarseRange, kCoarseRange, 1, 1);
        m_tuning->SetDefault(0);
        if (m_gigaTone)
            m_tuning->SetValue(m_gigaTone->GetCoarseTune());
    } else {
        m_tuning->SetRange(-kFineRange, kFineRange, 1, 1);
        m_tuning->SetDefault(0);
        if (m_gigaTone)
            m_tuning->SetValue(m_gigaTone->GetFineTune());
    }
    m_filling = filling;
}

void XGigaView::FillKnobs(GigaPart* part)
{
    const bool filling = m_filling;
    m_filling = true;
    for (int n = 0; n < kKnobCount; ++n)
        m_knobs[n]->SetEnabled(true);
    m_knobs[kKnobKeyOffset]->SetDefault(0);
    m_knobs[kKnobKeyOffset]->SetValue(-part->keyOffset);
    m_knobs[kKnobBend]->SetDefault(part->programBend);
    m_knobs[kKnobBend]->SetValue(part->bend);
    // Sustain is a level: its range is 0..1 once a part fills it.
    m_knobs[kKnobSustain]->SetRange(0, 1, 0.01, 0.01);
    for (int n = kKnobVelocity; n < kKnobCount; ++n) {
        const float base = BaseOf(*part, n);
        m_knobs[n]->SetDefault(base);
        m_knobs[n]->SetValue(base + *OffsetOf(*part, n));
        m_knobCaptions[n]->SetKnob(m_knobs[n]);
    }
    m_knobCaptions[kKnobKeyOffset]->SetKnob(m_knobs[kKnobKeyOffset]);
    m_knobCaptions[kKnobBend]->SetKnob(m_knobs[kKnobBend]);
    const bool forced = PartFilterForced(*part);
    m_filter->SetState(forced || part->filterUse != 0 ? 1 : 0);
    m_filter->SetEnabled(!forced);
    m_filling = filling;
}

void XGigaView::ClearKnobs()
{
    for (int n = 0; n < kKnobCount; ++n) {
        m_knobs[n]->SetEnabled(false);
        m_knobCaptions[n]->Clear();
    }
    m_filter->SetState(0);
    m_filter->SetEnabled(false);
}

void XGigaView::KnobChanged(int knob)
{
    GigaTone::PartsLock lock = m_gigaTone ? m_gigaTone->LockParts() : GigaTone::PartsLock();
    GigaPart* part = GetFirstPart();
    if (!part || m_filling)
        return;
    const double value = m_knobs[knob]->GetValue();
    switch (knob) {
    case kKnobKeyOffset:
        part->keyOffset = -static_cast<int>(value);
        XControl::Notify(kCodeKeys, 0);
        return;
    case kKnobBend:
        part->bend = static_cast<int>(value);
        return;
    default:
        *OffsetOf(*part, knob) = static_cast<float>(value - BaseOf(*part, knob));
        return;
    }
}

void XGigaView::FilterToggled()
{
    GigaTone::PartsLock lock = m_gigaTone ? m_gigaTone->LockParts() : GigaTone::PartsLock();
    GigaPart* part = GetFirstPart();
    if (!part || m_filling)
        return;
    const bool on = m_filter->GetState() != 0;
    part->filterUse = on ? 1 : 0;
    lock.unlock();  // the cutoff is written through KnobChanged, which locks again
    if (on && m_knobs[kKnobCutoff]->GetValue() < kFilterLowCutoff)
        m_knobs[kKnobCutoff]->SetValue(kFilterOnCutoff);  // writes the cutoff through KnobChanged
}

// --- Selection, expansion, drawing ---

void XGigaView::Select(bool selected)
{
    m_selection = (m_selection & kDragHover) | (selected ? kSelected : 0);
    Invalidate();
}

void XGigaView::OnExpand(bool expanded)
{
    m_top->SetExpanded(expanded);
    if (expanded) {
        m_panel->Show(true);
        ResizeTo(m_panel->GetHeight() + kTopHeight);
    } else {
        m_panel->Show(false);
        ResizeTo(kTopHeight);
    }
}

void XGigaView::Draw(XGraphic& graphic)
{
    XColourValue fill = kUnitNormal;
    if (m_selection & kDragHover)
        fill = kUnitDragHover;
    else if (m_selection & kSelected)
        fill = kUnitSelected;
    const int w = GetWidth();
    const int h = GetHeight();
    graphic.FillRectangleColour(XRectangle(0, 1, w, h - 2), fill);
    graphic.FillRectangleColour(XRectangle(1, 0, w - 2, h), fill);
}

bool XGigaView::OnMouseDown(XMouse& mouse)
{
    (void)mouse;
    if (!IsSelected())
        XControl::Notify(kCodeSelect, 0);
    // Selecting does not take the press: the control under the pointer
    // gets it next.
    return false;
}

// --- Loading ---

void XGigaView::QueueAndLoad()
{
    GigaBankManager* manager = GigaBankManager::Get();
    if (!manager || !m_gigaTone)
        return;
    manager->QueueTone(m_gigaTone);
    manager->StartLoading(false);
}

bool XGigaView::LoadIntoUnit(const char* path, int index)
{
    if (!m_gigaTone || !path)
        return false;
    if (!m_gigaTone->IsStacked())
        m_gigaTone->Clear();
    if (!m_gigaTone->AddPart(path, index))
        return false;  // a stack of 24 parts takes no more
    QueueAndLoad();
    return true;
}

bool XGigaView::LoadPresetIntoUnit(const char* path)
{
    if (!m_gigaTone || !path)
        return false;
    if (!m_gigaTone->LoadPreset(path)) {
        // The unit keeps what it had; the user is told which file and why.
        Print("*** XGigaView::LoadPreset(%s) failed ***", path);
        WError::ShowOpenError(this, path, editor::kDamagedPreset);
        return false;
    }
    QueueAndLoad();
    return true;
}

void XGigaView::ChooseMenuItem(int item)
{
    if (!m_gigaTone)
        return;
    switch (item) {
    case kItemLoad:
        // One dialog at a time: an open one is never replaced.
        if (XFileNav::IsAnyOpen())
            break;
        m_nav = std::make_unique<XFileNav>(GetWindowHandle());
        m_nav->AddFilter("gig", "Giga File");
        m_nav->OpenFile(this, "Open a .gig file", false, [this](XFileNav& nav, bool chosen) {
            if (const char* path = chosen ? nav.GetPath(0) : nullptr)
                LoadIntoUnit(path, 0);
        });
        break;
    case kItemUnload:
        m_gigaTone->Clear();
        QueueAndLoad();
        break;
    case kItemLoadPreset:
        if (XFileNav::IsAnyOpen())
            break;
        m_nav = std::make_unique<XFileNav>(GetWindowHandle());
        m_nav->AddFilter("tvpreset", "Preset File");
        m_nav->OpenFile(this, "Open a preset", false, [this](XFileNav& nav, bool chosen) {
            if (const char* path = chosen ? nav.GetPath(0) : nullptr)
                LoadPresetIntoUnit(path);
        });
        break;
    case kItemSavePreset:
        if (m_gigaTone->GetPartCount() == 0)
            break;
        if (XFileNav::IsAnyOpen())
            break;
        m_nav = std::make_unique<XFileNav>(GetWindowHandle());
        m_nav->AddFilter("tvpreset", "Preset File");
        m_nav->SaveFile(this, "Save a preset", [this](XFileNav& nav, bool chosen) {
            // The unit may have been emptied while the dialog was open.
            const char* path = chosen ? nav.GetPath(0) : nullptr;
            if (path && m_gigaTone && m_gigaTone->GetPartCount() > 0)
                SavePresetOfUnit(path);
        });
        break;
    default:
        break;
    }
}

bool XGigaView::SavePresetOfUnit(const char* path)
{
    if (!m_gigaTone || !path)
        return false;
    errno = 0;
    if (m_gigaTone->SavePreset(path))
        return true;
    const int reason = errno;
    Print("*** XGigaView::SavePreset(%s) failed: %d ***", path, reason);
    WError::ShowSaveError(this, path, reason);
    return false;
}

void XGigaView::ChooseBankInstrument(const char* bankPath, int index)
{
    if (!m_gigaTone || !bankPath)
        return;
    m_gigaTone->Clear();
    if (m_gigaTone->AddPart(bankPath, index))
        QueueAndLoad();
}

void XGigaView::OpenPartMenu()
{
    auto menu = std::make_unique<XMenu>();
    menu->AddItem("Load Instrument", kItemLoad);
    menu->AddItem("Unload Instrument", kItemUnload);
    menu->AddItem("Load Preset", kItemLoadPreset);
    if (m_gigaTone->GetPartCount() > 0)
        menu->AddItem("Save Preset", kItemSavePreset);
    std::vector<std::string> paths;
    AddBankMenus(m_gigaTone, *menu, paths);
    PopupMenu(std::move(menu), m_name->GetX(), m_name->GetY() + m_name->GetHeight(),
              [this, paths = std::move(paths)](int id, int value) {
                  if (!IsEnabled() || !m_gigaTone)
                      return;
                  if (id == 0)
                      ChooseMenuItem(value);
                  else if (id >= 1 && id <= static_cast<int>(paths.size()))
                      ChooseBankInstrument(paths[id - 1].c_str(), value);
              });
}

void XGigaView::ChooseOutput(int bus)
{
    if (!m_gigaTone || bus < 0 || bus >= kOvMaxTones)
        return;
    m_gigaTone->SetBus(bus);
    m_gigaTone->SetModified(true);
    ShowOutput(bus);
}

void XGigaView::OpenOutputMenu()
{
    OvPlayer* player = m_gigaTone->GetPlayer();
    auto menu = std::make_unique<XMenu>();
    for (int n = 0; n < kOvMaxTones; ++n) {
        kiv::string name;
        if (player && player->GetOutputName(n, name))
            menu->AddItem(name.CStr(), n);
        else {
            char text[16];
            std::snprintf(text, sizeof text, "%d|%d", 2 * n + 1, 2 * n + 2);
            menu->AddItem(text, n);
        }
    }
    m_output->PopupMenu(std::move(menu), 0, m_output->GetHeight(), [this](int, int value) { ChooseOutput(value); });
}

void XGigaView::ChooseStacked(bool on)
{
    if (!m_gigaTone || m_gigaTone->GetPartCount() > 1)
        return;
    m_gigaTone->SetStacked(on);
    m_stack->SetState(on ? 1 : 0);
    Refresh();
    if (!on || !m_stackView)
        return;
    m_stackView->Show(true);
    if (!IsExpanded())
        SetExpanded(true);
    if (GetHeight() != m_stackView->GetHeight() + kTopHeight)
        ResizeTo(m_stackView->GetHeight() + kTopHeight);
    // The unit grew (by opening or by the panel): the rack places the units
    // below it again, so the panel never covers them.
    XControl::Notify(kCodeSize, 0);
}

// --- Control notifications ---

int XGigaView::Notify(XControl* sender, int code, int value)
{
    if (!IsEnabled() || !m_gigaTone)
        return 0;
    if (m_filling && sender != m_stackView)
        return 0;
    // What the user sets on the unit is a change the performance has not
    // saved (loads are marked by the loader).
    bool edit = sender == m_volume || sender == m_tuning || sender == m_pan || sender == m_filter ||
                sender == m_mute || sender == m_solo || sender == m_stack;
    for (int n = 0; n < kKnobCount; ++n)
        edit = edit || sender == m_knobs[n];
    if (edit)
        m_gigaTone->SetModified(true);
    if (sender == m_stackView && code == kCodeLoad) {
        m_gigaTone->SetState(giga::kToneToLoad);
        QueueAndLoad();
        return 0;
    }
    if (sender == m_name) {
        if (code != 0)
            XControl::Notify(code, value);
        else
            OpenPartMenu();
        return 0;
    }
    if (sender == m_output) {
        OpenOutputMenu();
        return 0;
    }
    if (sender == m_tuneMode) {
        SetTuningMode(value);
        return 0;
    }
    if (sender == m_volume) {
        m_gigaTone->SetVolume(static_cast<int>(m_volume->GetValue()));
        return 0;
    }
    if (sender == m_tuning) {
        const int v = static_cast<int>(m_tuning->GetValue());
        if (m_tuneMode->GetMode() == XSelFader::kCoarse)
            m_gigaTone->SetCoarseTune(v);
        else
            m_gigaTone->SetFineTune(v);
        return 0;
    }
    if (sender == m_pan) {
        m_gigaTone->SetPan(static_cast<int>(m_pan->GetValue()));
        return 0;
    }
    for (int n = 0; n < kKnobCount; ++n)
        if (sender == m_knobs[n]) {
            KnobChanged(n);
            return 0;
        }
    if (sender == m_filter) {
        FilterToggled();
        return 0;
    }
    if (sender == m_mute) {
        RequestMute(m_mute->GetState() != 0);
        XControl::Notify(kCodeMute, 0);
        return 0;
    }
    if (sender == m_solo) {
        RequestSolo(m_solo->GetState() != 0);
        XControl::Notify(kCodeSolo, 0);
        return 0;
    }
    if (sender == m_stack) {
        if (m_gigaTone->GetPartCount() <= 1)
            ChooseStacked(m_stack->GetState() != 0);
        return 0;
    }
    XControl::Notify(code, value);
    return 0;
}

void XGigaView::OnMute(bool muted)
{
    m_mute->SetState(muted ? 1 : 0);
    if (m_gigaTone) {
        m_gigaTone->SetMuted(muted);
        m_gigaTone->Init(muted, m_gigaTone->IsSoloed());
    }
}

void XGigaView::OnSolo(bool soloed)
{
    m_solo->SetState(soloed ? 1 : 0);
    if (m_gigaTone)
        m_gigaTone->Init(m_gigaTone->IsToneMuted() && !soloed, soloed);
}

// --- Drag and drop ---

namespace {

// The tree item being dragged: its type and path (null when none).
XTreeView::Node* DraggedNode(XControl* source, XTreeGiga** tree)
{
    *tree = dynamic_cast<XTreeGiga*>(source);
    return *tree ? (*tree)->GetSelected() : nullptr;
}

}  // namespace

bool XGigaView::OnDragOver(XControl* source, uint32_t kind)
{
    if (kind == kDragInst || kind == kDragBase)
        return m_gigaTone != nullptr;
    if (kind != kDragTree || !m_gigaTone)
        return false;
    XTreeGiga* tree = nullptr;
    XTreeView::Node* node = DraggedNode(source, &tree);
    return node && (node->value == kTreeTypeBank || node->value == kTreeTypePreset);
}

bool XGigaView::OnDragEnter(XControl* source, uint32_t kind)
{
    if (!OnDragOver(source, kind))
        return false;
    m_selection |= kDragHover;
    Invalidate();
    return true;
}

void XGigaView::OnDragLeave(XControl* source, uint32_t kind)
{
    (void)source;
    (void)kind;
    m_selection &= ~kDragHover;
    Invalidate();
}

void XGigaView::OnDrop(XControl* source, uint32_t kind)
{
    m_selection &= ~kDragHover;
    Invalidate();
    if (!OnDragOver(source, kind))
        return;
    if (kind == kDragInst) {
        auto* list = dynamic_cast<XListInst*>(source);
        XListItem* item = list ? list->GetSelected(0) : nullptr;
        if (item && list->GetBankPath() && list->GetBankPath()[0])
            LoadIntoUnit(list->GetBankPath(), list->GetIndex(item));
    } else if (kind == kDragTree) {
        XTreeGiga* tree = nullptr;
        XTreeView::Node* node = DraggedNode(source, &tree);
        const char* path = node ? tree->GetPath(node) : nullptr;
        if (!path || !path[0])
            return;
        const std::string copy(path);  // the tree's buffer is reused
        if (node->value == kTreeTypeBank)
            LoadIntoUnit(copy.c_str(), 0);
        else
            LoadPresetIntoUnit(copy.c_str());
    } else if (kind == kDragBase) {
        auto* list = dynamic_cast<XListResult*>(source);
        kiv::string path;
        int position = 0;
        if (list && list->GetHitPath(path, position))
            LoadIntoUnit(path.CStr(), position);
    }
}
