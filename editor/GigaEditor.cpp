#include "editor/GigaEditor.h"

#include <cerrno>
#include <cstring>
#include <string>
#include <strings.h>

#include "editor/EditorConst.h"
#include "editor/GMixer.h"
#include "editor/OvView.h"
#include "editor/WAbout.h"
#include "editor/WBigMixer.h"
#include "editor/WConfirm.h"
#include "editor/WError.h"
#include "editor/WMissing.h"
#include "editor/WSettings.h"
#include "editor/WindowsConst.h"
#include "editor/XGigaRack.h"
#include "editor/XGigaView.h"
#include "editor/XLogo.h"
#include "editor/XSetValue.h"
#include "editor/XTabPorts.h"
#include "editor/XViewBase.h"
#include "editor/XViewNav.h"
#include "engine/GigaBankHooks.h"
#include "engine/GigaBankManager.h"
#include "engine/GigaDeck.h"
#include "engine/GigaPart.h"
#include "engine/GigaStudio.h"
#include "engine/GigaTone.h"
#include "engine/OvPlayer.h"
#include "kiv/gui/XButton.h"
#include "kiv/gui/XColour.h"
#include "kiv/gui/XFileNav.h"
#include "kiv/gui/XKeyboard88.h"
#include "kiv/gui/XLabel.h"
#include "kiv/gui/XPane.h"
#include "kiv/gui/XViewPort.h"
#include "kiv/gui/XWidgetConst.h"

using namespace editor;

namespace {

// Case-insensitive test of a path's ending.
bool EndsWithNoCase(const char* path, const char* ending)
{
    size_t n = std::strlen(path);
    size_t e = std::strlen(ending);
    return n >= e && strcasecmp(path + n - e, ending) == 0;
}

// The path the next save of an opened older performance writes: ".tv2" in
// place of the file's ".tvp" (or added), so the older file is never
// overwritten with the newer format.
kiv::string SavePathFor(const char* opened)
{
    kiv::string path(opened);
    if (EndsWithNoCase(opened, ".tv2"))
        return path;
    size_t n = std::strlen(opened);
    if (EndsWithNoCase(opened, ".tvp")) {
        path.GetBuffer()[n - 1] = '2';
        return path;
    }
    path.Append(".tv2");
    return path;
}

// True when a part of the player names a file that is not there (an
// extension file of a loaded bank, too).
bool NamesMissingFile(GigaDeck& deck)
{
    for (int i = 0; i < deck.GetToneCount(); ++i) {
        GigaTone* tone = deck.GetGigaTone(i);
        GigaTone::PartsLock lock = tone->LockParts();
        for (int k = 0; k < tone->GetPartCount(); ++k)
            if (tone->GetPart(k)->GetMissingPath())
                return true;
    }
    return false;
}

}  // namespace

GigaEditor::GigaEditor()
{
    SetIdentifier(kAppIdentifier);
    SetText(kWindowTitle);
    SetIcon(kWindowIcon);
}

GigaEditor::~GigaEditor()
{
    // The views go while the keyboard and panes can still be told apart
    // from the editor's own members; the large mixer is a window of its own.
    m_bigMixer.reset();
}

std::unique_ptr<OvStudioView> GigaEditor::Create(OvStudio* studio)
{
    auto editor = std::make_unique<GigaEditor>();
    editor->SetStudio(studio);
    return editor;
}

// ---------------------------------------------------------------- players and views

void GigaEditor::OnPlayerSelected(OvPlayer* player)
{
    (void)player;
    BuildViews();
    for (int i = 0; i < GetPlayerCount(); ++i)
        if (OvPlayer* p = GetPlayer(i))
            p->SetEditor(this);
    RefreshLoadedUnits();
    XEvent built;
    built.kind = kEventViewsBuilt;
    Post(built);
}

void GigaEditor::BuildViews()
{
    // Views are built once: selecting another player later switches racks.
    if (m_built)
        return;
    m_built = true;
    int players = GetPlayerCount();
    RequestSize(kEditorWidth, players > 1 ? kEditorHeightPorts : kEditorHeight);
    int w = GetWidth();
    int h = GetHeight();

    BuildToolbar();

    // On the toolbar pane, as its buttons are: a press goes to the first
    // child under the pointer, and the full-width pane would take it.
    auto* bits = new XLabel(m_toolbar, -190, 34, 32, 10);
    bits->SetText("64-bit");
    bits->SetColour(2, XColour::Make(160, 160, 255));
    bits->SetFont(9, 0);

    m_logo = new XLogo(m_toolbar, -150, 5, 0, 0);
    m_logo->SetListener(this);

    m_browser = new XViewNav(this, 0, h - kPaneHeight, w, kPaneHeight);
    m_browser->SetResizeMode(true, false, false, false);
    m_browser->SetVisible(false);
    m_browser->SetListener(this);
    m_search = new XViewBase(this, 0, h - kPaneHeight, w, kPaneHeight);
    m_search->SetResizeMode(true, false, false, false);
    m_search->SetVisible(false);
    m_search->SetListener(this);

    if (players > 1) {
        m_ports = new XTabPorts(this, 0, kPortTabsY, w, kPortTabsHeight);
        m_ports->SetColour(0, XColour::Make(0, 0, 10));
        kiv::string label;
        for (int i = 0; i < players && i < kMaxRacks; ++i) {
            label.Format("MIDI port %d", i + 1);
            m_ports->AddTab(label.CStr());
        }
        m_ports->SetListener(this);
    }

    auto* separator = new XPane(this, 0, kSeparatorY, w, 4);
    separator->SetColour(0, XColour::Make(40, 40, 40));
    separator->SetColour(3, 0);

    m_rackCount = 0;
    for (int i = 0; i < players && i < kMaxRacks; ++i) {
        auto* rack = new XGigaRack(this, 0, kRackY, w, kRackHeight);
        rack->Populate(GetDeck(i), this);
        rack->SetListener(this);
        m_racks[i] = rack;
        ++m_rackCount;
    }
    m_rackIndex = 0;
    m_rack = m_racks[0];
    if (m_rack)
        m_rack->GetViewPort()->SetVisible(true);

    // The mixer scrolls in a viewport of its own: hidden with it, or it
    // covers the rack.
    m_mixer = new GMixer(this, 0, kRackY, w, kRackHeight);
    m_mixer->SetVisible(false);
    if (XViewPort* mixerPort = m_mixer->GetViewPort())
        mixerPort->SetVisible(false);
    m_mixer->SetStudio(GetStudio());
    m_mixer->Refresh();

    BuildKeyboardPane();
    if (OvPlayer* player = GetPlayer(0)) {
        GigaTone* tone = GetSelectedTone();
        player->SetNoteListener(m_keyboard, tone ? tone->GetChannel() : 0);
    }
    RefreshKeyboardRanges();
}

void GigaEditor::BuildToolbar()
{
    m_toolbar = new XPane(this, 0, 0, GetWidth(), kToolbarHeight);
    m_toolbar->SetResizeMode(true, false, false, false);
    m_toolbar->LoadPicture("tb_back.png");
    for (int n = 0; n < kToolButtonCount; ++n) {
        auto* button =
            new XButtonPic(m_toolbar, kToolButtonStep * n + kToolButtonX, kToolButtonY, kToolButtonW, kToolButtonH);
        button->LoadPicture(kToolPictures[n]);
        button->SetColour(3, 0);
        button->SetListener(this);
        button->SetToggleMode(n == kBrowse || n == kSearch || n == kMixer || n == kExpand);
        m_buttons[n] = button;
    }
}

void GigaEditor::BuildKeyboardPane()
{
    m_keyPane = new XPane(this, 0, kKeyboardPaneY, GetWidth(), kKeyboardPaneHeight);
    m_keyPane->SetColour(0, XColour::Make(40, 50, 60));
    m_keyPane->SetColour(3, 0);
    m_keyboard = new XKeyboard88(m_keyPane, 67, kKeyboardPaneHeight - 84, 781, 80);
    m_keyboard->SetNoteSink(this);
    m_channel = new XSetValue(m_keyPane, 7, 7, 54, 34);
    m_channel->SetText("channel");
    m_channel->SetRange(1, 16);
    m_channel->SetValue(1);
    m_channel->SetListener(this);
    m_transpose = new XSetValue(m_keyPane, 7, 48, 54, 34);
    m_transpose->SetText("transpo");
    m_transpose->SetRange(-1, 1);
    m_transpose->SetValue(0);
    m_transpose->SetListener(this);
}

void GigaEditor::OnShow()
{
    // A window opened again after a close must hear the engine again.
    for (int i = 0; i < GetPlayerCount(); ++i)
        if (OvPlayer* p = GetPlayer(i))
            p->SetEditor(this);
    RefreshLoadedUnits();
}

void GigaEditor::OnClosing() { DetachFromPlayers(); }

void GigaEditor::OnIdle()
{
    if (m_mixer && m_mixer->IsVisible())
        m_mixer->UpdateMeters();
    if (m_keyPane && m_keyPane->IsVisible() && m_keyboard)
        m_keyboard->RefreshIfChanged();
    // What the tones' notifications left for this thread (refresh after a
    // load, key ranges, controller moves).
    for (int i = 0; i < m_rackCount; ++i)
        if (m_racks[i])
            m_racks[i]->Poll();
    // Star ratings the database's lock held back.
    if (m_search)
        m_search->Poll();
    // A change made in a hosted effect's own window is unsaved work too.
    if (OvStudio* studio = GetStudio(); studio && studio->TakeInsertEdits())
        studio->SetMixerEdited(true);
}

void GigaEditor::RefreshLoadedUnits()
{
    if (m_rack)
        m_rack->RefreshLoadedUnits();
}

// ---------------------------------------------------------------- units and keyboard

GigaDeck* GigaEditor::GetDeck(int index) const { return dynamic_cast<GigaDeck*>(GetPlayer(index)); }

GigaStudio* GigaEditor::GetGigaStudio() const { return dynamic_cast<GigaStudio*>(GetStudio()); }

int GigaEditor::GetSelectedUnit() const { return m_rack ? m_rack->GetSelectedIndex() : -1; }

GigaTone* GigaEditor::GetSelectedTone() const { return m_rack ? m_rack->GetSelectedTone() : nullptr; }

void GigaEditor::SelectUnit(int n)
{
    if (!m_rack)
        return;
    m_rack->SelectUnit(n);
    OvPlayer* player = GetPlayer(m_rackIndex);
    GigaTone* tone = GetSelectedTone();
    if (player && tone) {
        player->SetNoteListener(m_keyboard, tone->GetChannel());
        if (m_channel)
            m_channel->SetValue(tone->GetChannel() + 1);
    }
}

void GigaEditor::RefreshKeyboardRanges()
{
    if (!m_keyboard)
        return;
    m_keyboard->ClearNotes();
    GigaTone* tone = GetSelectedTone();
    if (tone && tone->GetPartCount() > 0) {
        m_keyboard->SetPlayRange(tone->GetLowestKey(), tone->GetHighestKey());
        m_keyboard->SetKeySwitchRange(tone->GetKeySwitchLow(), tone->GetKeySwitchHigh());
    } else {
        m_keyboard->ClearRanges();
    }
}

void GigaEditor::NoteOn(int channel, int key, int velocity, int deltaFrames)
{
    (void)channel;
    (void)deltaFrames;
    GigaTone* tone = GetSelectedTone();
    if (!tone)
        return;
    if (velocity > 0)
        tone->NoteOn(key, velocity, 0);
    else
        tone->NoteOff(key, 0, 0);
}

void GigaEditor::NoteOff(int channel, int key, int velocity, int deltaFrames)
{
    (void)channel;
    (void)velocity;
    (void)deltaFrames;
    // A release velocity must never turn into a note-on.
    if (GigaTone* tone = GetSelectedTone())
        tone->NoteOff(key, 0, 0);
}

// ---------------------------------------------------------------- notifications

int GigaEditor::Notify(XControl* sender, int code, int value)
{
    if (!sender)
        return 0;
    if (sender == m_browser) {
        if (m_rack && m_browser->GetBankPath())
            m_rack->LoadIntoRack(m_browser->GetBankPath(), m_browser->GetSelectedInstrument());
        return 0;
    }
    if (sender == m_search) {
        if (m_rack && !m_search->GetHitPath().IsEmpty())
            m_rack->LoadIntoRack(m_search->GetHitPath().CStr(), m_search->GetHitPosition());
        return 0;
    }
    if (code == kCodeSelectUnit) {
        if (!m_rack)
            return 0;
        // The unit's tone names its player and its place in that player.
        if (auto* view = dynamic_cast<OvView*>(sender); view && view->GetTone()) {
            OvTone* tone = view->GetTone();
            for (int p = 0; p < m_rackCount; ++p) {
                OvPlayer* player = GetPlayer(p);
                if (!player || tone->GetPlayer() != player)
                    continue;
                if (m_ports && p != m_rackIndex)
                    m_ports->Select(p);
                for (int i = 0; i < player->GetToneCount(); ++i)
                    if (player->GetTone(i) == tone)
                        SelectUnit(i);
            }
        }
        RefreshKeyboardRanges();
        return 0;
    }
    if (code == kCodeKeyboard) {
        RefreshKeyboardRanges();
        return 0;
    }
    if (sender == m_channel) {
        SelectUnit(value - 1);
        RefreshKeyboardRanges();
        m_channel->SetValue(value);
        return 0;
    }
    if (sender == m_transpose) {
        if (m_keyboard)
            m_keyboard->SetOctaveShift(value);
        return 0;
    }
    if (code == kCodeBrowse) {
        bool show = m_browser && !m_browser->IsVisible();
        SwitchPane(false, show);
        SetButtonPressed(kBrowse, show);
        return 0;
    }
    for (int n = 0; n < kToolButtonCount; ++n)
        if (sender == m_buttons[n]) {
            OnButton(n, value);
            return 0;
        }
    if (sender == m_logo) {
        OpenModal(new WAbout(), 0);
        return 0;
    }
    if (sender == m_ports)
        OnPortTabs(code, value);
    return 0;
}

void GigaEditor::OnButton(int n, int value)
{
    bool pressed = m_buttons[n]->GetPressed() != 0;
    switch (n) {
    case kNew:
        NewFlow(kFlowAsk);
        break;
    case kOpen:
        OpenFlow(kFlowAsk);
        break;
    case kSave:
        Save(false);
        break;
    case kSaveAs:
        Save(true);
        break;
    case kBrowse:
        SwitchPane(false, pressed);
        break;
    case kSearch:
        SwitchPane(true, pressed);
        break;
    case kSettings:
        OpenModal(new WSettings(GetStudio()), 0);
        SetButtonPressed(kSettings, false);
        break;
    case kExpand:
        ExpandAll(pressed);
        break;
    case kReset:
        // Empties the units as New does, so it asks first as New does.
        NewFlow(kFlowAsk);
        break;
    case kMixer:
        SwitchMixer(pressed);
        break;
    default:
        break;
    }
    (void)value;
}

void GigaEditor::SetButtonPressed(int n, bool pressed)
{
    if (XButtonPic* button = GetToolButton(n)) {
        button->SetPressed(pressed);
        button->Invalidate();
    }
}

// A click as the user makes it: the toggle flips and its notification runs.
void GigaEditor::ClickButton(int n)
{
    XButtonPic* button = GetToolButton(n);
    if (!button)
        return;
    button->SetPressed(!button->GetPressed());
    button->Invalidate();
    OnButton(n, button->GetPressed());
}

void GigaEditor::OnPortTabs(int code, int value)
{
    if (code == kCodeMidiPort) {
        OvPlayer* player = GetPlayer(value);
        if (!player)
            return;
        if (player->IsMidiEnabled()) {
            player->AllNotesOff(-1);
            player->SetMidiEnabled(false);
            if (m_ports && value == m_ports->GetSelected() && m_keyboard)
                m_keyboard->ClearNotes();
        } else {
            player->SetMidiEnabled(true);
        }
    } else {
        if (value < 0 || value >= m_rackCount || !m_racks[value])
            return;
        if (OvPlayer* old = GetPlayer(m_rackIndex))
            old->SetNoteListener(nullptr, -1);
        if (m_rack)
            m_rack->GetViewPort()->SetVisible(false);
        m_rackIndex = value;
        m_rack = m_racks[value];
        if (!m_mixer || !m_mixer->IsVisible())
            m_rack->GetViewPort()->SetVisible(true);
        if (OvPlayer* player = GetPlayer(value)) {
            GigaTone* tone = GetSelectedTone();
            player->SetNoteListener(m_keyboard, tone ? tone->GetChannel() : 0);
        }
    }
    RefreshKeyboardRanges();
}

// ---------------------------------------------------------------- panes

void GigaEditor::SwitchPane(bool search, bool pressed)
{
    if (!m_browser || !m_search)
        return;
    if (pressed && m_buttons[kMixer]->GetPressed())
        ClickButton(kMixer);
    XControl* chosen = search ? static_cast<XControl*>(m_search) : m_browser;
    XControl* other = search ? static_cast<XControl*>(m_browser) : m_search;
    int otherButton = search ? kBrowse : kSearch;
    if (m_buttons[otherButton]->GetPressed())
        SetButtonPressed(otherButton, false);
    XViewPort* port = m_rack ? m_rack->GetViewPort() : nullptr;
    if (pressed) {
        if (port && !other->IsVisible())
            port->SetSize(port->GetWidth(), kRackShrunkHeight);
        m_keyPane->Show(false);
        other->Show(false);
        chosen->Show(true);
    } else {
        if (port)
            port->SetSize(port->GetWidth(), kRackHeight);
        chosen->Show(false);
        m_keyPane->Show(true);
    }
    Invalidate();
}

void GigaEditor::SwitchMixer(bool pressed)
{
    if (GetPlayerCount() == 0) {
        if (!m_bigMixer) {
            m_bigMixer = std::make_unique<WBigMixer>();
            m_bigMixer->SetStudio(GetStudio());
        }
        if (!m_bigMixer->GetWindow() || !m_bigMixer->IsVisible())
            m_bigMixer->OpenWindow();
        return;
    }
    if (!m_mixer)
        return;
    XViewPort* port = m_rack ? m_rack->GetViewPort() : nullptr;
    if (pressed) {
        if (m_buttons[kBrowse]->GetPressed())
            ClickButton(kBrowse);
        if (m_buttons[kSearch]->GetPressed())
            ClickButton(kSearch);
        if (port)
            port->Show(false);
        if (XViewPort* mixerPort = m_mixer->GetViewPort())
            mixerPort->Show(true);
        m_mixer->Show(true);
    } else {
        m_mixer->Show(false);
        if (XViewPort* mixerPort = m_mixer->GetViewPort())
            mixerPort->Show(false);
        if (port)
            port->Show(true);
    }
    Invalidate();
}

void GigaEditor::ExpandAll(bool expand)
{
    m_expand = expand ? 1 : 0;
    for (int i = 0; i < m_rackCount; ++i)
        if (m_racks[i])
            m_racks[i]->ExpandAll(expand);
}

// ---------------------------------------------------------------- performances

void GigaEditor::StartLoading(bool search)
{
    if (GigaBankManager* manager = GigaBankManager::Get())
        manager->StartLoading(search);
}

void GigaEditor::ClearPerformance()
{
    GigaDeck* deck = GetDeck(m_rackIndex);
    if (!deck)
        return;
    // The emptied performance is untitled: the next save asks for a name
    // instead of overwriting the file the old one came from.
    m_path.Clear();
    deck->ClearPerformance();
    if (OvStudio* studio = GetStudio())
        studio->SetMixerEdited(false);
    if (GigaBankManager* manager = GigaBankManager::Get()) {
        manager->QueuePlayer(deck);
        manager->StartLoading(false);
    }
}

void GigaEditor::NewFlow(int result)
{
    if (result == kResultCancel)
        return;
    if (result == kResultYes) {
        // A save the user cancelled or that failed keeps the performance.
        if (!Save(false, kTagNewConfirm))
            return;
        ClearPerformance();
        return;
    }
    if (result == kResultNo) {
        ClearPerformance();
        return;
    }
    if (IsPerformanceModified())
        OpenModal(new WConfirm(m_path.CStr()), kTagNewConfirm);
    else
        ClearPerformance();  // nothing unsaved to lose
}

void GigaEditor::OpenFlow(int result)
{
    if (result == kResultCancel)
        return;
    if (result == kResultYes) {
        if (!Save(false, kTagOpenConfirm))
            return;
        OpenDialog();
        return;
    }
    if (result == kResultNo) {
        OpenDialog();
        return;
    }
    if (IsPerformanceModified())
        OpenModal(new WConfirm(m_path.CStr()), kTagOpenConfirm);
    else
        OpenDialog();
}

void GigaEditor::OpenDialog()
{
    // One dialog at a time: an open one is never replaced.
    if (XFileNav::IsAnyOpen())
        return;
    m_openNav = std::make_unique<XFileNav>(GetWindowHandle());
    m_openNav->AddFilter("tv2", "Tessivo v2 Performance");
    m_openNav->AddFilter("tvp", "Tessivo v1 Performance");
    m_openNav->OpenFile(this, "Open a Performance", false, [this](XFileNav& nav, bool chosen) {
        const char* path = chosen ? nav.GetPath(0) : nullptr;
        if (path)
            LoadChosen(kiv::string(path).CStr());
    });
}

bool GigaEditor::LoadChosen(const char* path)
{
    GigaStudio* studio = GetGigaStudio();
    if (!studio || !path || !*path)
        return false;
    // A failed load keeps the old path (a later save must not overwrite the
    // file that could not be read) and the performance as it was; the user
    // is told which file and why.
    const bool v2 = EndsWithNoCase(path, ".tv2");
    if (!(v2 ? studio->LoadFile(path) : studio->LoadV1Performance(path))) {
        Print("*** GigaEditor::Open(%s) failed ***", path);
        WError::ShowOpenError(this, path, kDamagedPerformance);
        return false;
    }
    if (!v2 && m_mixer)
        m_mixer->Refresh();
    m_path = SavePathFor(path);
    // Just read: as saved, also once its parts have loaded.
    for (int p = 0; p < GetPlayerCount(); ++p)
        if (GigaDeck* deck = GetDeck(p))
            deck->MarkRestored();
    if (OvStudio* studio = GetStudio())
        studio->SetMixerEdited(false);
    StartLoading(true);
    return true;
}

bool GigaEditor::OpenPerformance(const char* path)
{
    if (!path || !*path)
        return false;
    if (EndsWithNoCase(path, ".tv2")) {
        GigaStudio* studio = GetGigaStudio();
        if (!studio || !studio->LoadFile(path))
            return false;
    } else if (EndsWithNoCase(path, ".tvp")) {
        GigaDeck* deck = GetDeck(-1);
        if (!deck || !deck->Load(path))
            return false;
        // The loader loads only players that wait for it.
        if (GigaBankManager* manager = GigaBankManager::Get())
            manager->QueuePlayer(deck);
    } else {
        return false;
    }
    m_path = SavePathFor(path);
    // Just read: as saved, also once its parts have loaded.
    for (int p = 0; p < GetPlayerCount(); ++p)
        if (GigaDeck* deck = GetDeck(p))
            deck->MarkRestored();
    if (OvStudio* studio = GetStudio())
        studio->SetMixerEdited(false);
    StartLoading(true);
    return true;
}

bool GigaEditor::Save(bool as, uint32_t then)
{
    GigaStudio* studio = GetGigaStudio();
    if (!studio)
        return false;
    if (m_path.IsEmpty() || as) {
        if (XFileNav::IsAnyOpen())
            return false;
        m_saveNav = std::make_unique<XFileNav>(GetWindowHandle());
        m_saveNav->AddFilter("tv2", "Tessivo Performance");
        m_saveNav->SaveFile(this, "Save a Performance", [this, then](XFileNav& nav, bool chosen) {
            if (const char* path = chosen ? nav.GetPath(0) : nullptr)
                SaveChosen(kiv::string(path), then);
        });
        return false;
    }
    return SaveTo(m_path.CStr());
}

bool GigaEditor::SaveTo(const char* target)
{
    GigaStudio* studio = GetGigaStudio();
    if (!studio || !target)
        return false;
    const kiv::string path(target);  // the argument may be m_path itself
    errno = 0;
    if (!studio->SaveFile(path.CStr())) {
        // The performance stays modified and keeps the name it had: the
        // user must know it is not on disk.
        const int reason = errno;
        Print("*** GigaEditor::Save(%s) failed: %d ***", path.CStr(), reason);
        WError::ShowSaveError(this, path.CStr(), reason);
        return false;
    }
    m_path = path;
    MarkSaved();
    return true;
}

bool GigaEditor::IsPerformanceModified() const
{
    const GigaDeck* deck = GetDeck(m_rackIndex);
    const OvStudio* studio = GetStudio();
    return (deck && deck->IsModified()) || (studio && studio->IsMixerEdited());
}

void GigaEditor::MarkSaved()
{
    if (OvStudio* studio = GetStudio())
        studio->SetMixerEdited(false);
    for (int p = 0; p < GetPlayerCount(); ++p)
        if (OvPlayer* player = GetPlayer(p))
            for (int i = 0; i < player->GetToneCount(); ++i)
                if (auto* tone = dynamic_cast<GigaTone*>(player->GetTone(i)))
                    tone->SetModified(false);
}

void GigaEditor::SaveChosen(const kiv::string& path, uint32_t then)
{
    // A save that fails keeps the name the performance had.
    kiv::string previous = m_path;
    m_path = path;
    if (!Save(false)) {
        m_path = previous;
        return;
    }
    if (then == kTagNewConfirm)
        NewFlow(kResultNo);
    else if (then == kTagOpenConfirm)
        OpenFlow(kResultNo);
}

// ---------------------------------------------------------------- events and dialogs

void GigaEditor::OnEvent(XEvent& event)
{
    switch (event.kind) {
    case kEventViewsBuilt:
        // A load that ended before the editor existed (a host's chunk) told
        // nobody: the editor looks for itself.
        if (GigaDeck* deck = GetDeck(m_rackIndex); deck && (deck->HasFailedTone() || NamesMissingFile(*deck)))
            OpenMissingFiles();
        break;
    case kEventToneLoaded:
        if (event.a == 0)
            OpenMissingFiles();
        break;
    case kEventMixerLoaded:
        if (m_mixer)
            m_mixer->Refresh();
        break;
    default:
        break;
    }
}

void GigaEditor::OpenMissingFiles()
{
    // Opening a modal over another closes that one with 0: a confirm would
    // read as "No" and a missing-files window as "ignore", both losing the
    // user's work. The window waits for the open dialog to close instead.
    if (HasModal()) {
        // Already open or waiting: the window lists every missing file.
        bool listed = (GetModalChild() && GetModalChild()->GetModalTag() == kMissingViewId) ||
                      (GetWaitingModalChild() && GetWaitingModalChild()->GetModalTag() == kMissingViewId);
        if (!listed)
            m_missingPending = true;
        return;
    }
    m_missingPending = false;
    OvPlayer* player = GetPlayer(m_rackIndex);
    if (!player)
        return;
    auto window = std::make_unique<WMissing>();
    int missing = 0;
    for (int i = 0; i < player->GetToneCount(); ++i) {
        auto* tone = dynamic_cast<GigaTone*>(player->GetTone(i));
        if (!tone)
            continue;
        GigaTone::PartsLock lock = tone->LockParts();
        for (int k = 0; k < tone->GetPartCount(); ++k) {
            GigaPart* part = tone->GetPart(k);
            if (const char* path = part ? part->GetMissingPath() : nullptr) {
                window->AddMissing(path);
                ++missing;
            }
        }
    }
    // A load that failed for another reason (a damaged file, too little
    // memory) has nothing to search for.
    if (missing == 0)
        return;
    OpenModal(window.release(), kMissingViewId);
}

void GigaEditor::ResolveMissing(XView* child, int result)
{
    auto* window = dynamic_cast<WMissing*>(child);
    OvPlayer* player = GetPlayer(m_rackIndex);
    if (player) {
        for (int i = 0; i < player->GetToneCount(); ++i) {
            auto* tone = dynamic_cast<GigaTone*>(player->GetTone(i));
            if (!tone)
                continue;
            bool touched = false;
            GigaTone::PartsLock lock = tone->LockParts();
            for (int k = 0; k < tone->GetPartCount(); ++k) {
                GigaPart* part = tone->GetPart(k);
                if (!part)
                    continue;
                if (const char* extension = part->GetMissingExtension()) {
                    // The bank opens an extension file found elsewhere where
                    // it was found; the part loads again to take its samples.
                    const char* found = window ? window->GetFoundPath(extension) : nullptr;
                    if (found && part->GetState() == giga::kPartLoaded) {
                        GigaHooks::AddMovedFile(extension, found);
                        const std::string own = part->GetPath();
                        part->SetPath(own.c_str());
                        touched = true;
                    } else if (result != kResultYes) {
                        part->IgnoreMissingExtension();
                    }
                    continue;
                }
                if (part->GetState() != giga::kPartMissing)
                    continue;
                // Files an earlier search found are used even when the user
                // then gave up on the others.
                const char* found = window && part->GetPath() ? window->GetFoundPath(part->GetPath()) : nullptr;
                if (found)
                    part->SetPath(found);
                else if (result != kResultYes)
                    part->SetProgram(nullptr, -1, true);
                else
                    continue;  // still missing: it stays as it is
                touched = true;
            }
            if (touched)
                tone->SetState(giga::kToneToLoad);
        }
        // The loader loads only players that wait in its queue.
        if (GigaBankManager* manager = GigaBankManager::Get())
            manager->QueuePlayer(dynamic_cast<GigaDeck*>(player));
    }
    StartLoading(false);
}

void GigaEditor::OnModalClosed(XView* child, int result)
{
    uint32_t tag = child ? child->GetModalTag() : 0;
    if (tag == kTagNewConfirm)
        NewFlow(result);
    else if (tag == kTagOpenConfirm)
        OpenFlow(result);
    else if (tag == kMissingViewId)
        ResolveMissing(child, result);
    // The missing-files window that waited opens once nothing else is open
    // (the view closes the child after this returns).
    if (m_missingPending && child && !GetWaitingModalChild()) {
        XEvent again;
        again.kind = kEventToneLoaded;
        again.a = 0;
        Post(again);
        m_missingPending = false;
    }
}
