// Audio thread: OnNoteEvent, NoteOn, NoteOff and SetNoteState allocate
// nothing, take no lock and only touch atomics.
#include "kiv/gui/XKeyboard88.h"

#include <algorithm>

#include "kiv/gui/XGraphic.h"
#include "kiv/gui/XInput.h"

namespace {

constexpr const char* kKeysPicture = "keys88.png";
const XColourValue kPressedTint = XColour::Make(0, 0, 60);
const XColourValue kSwitchTint = XColour::Make(40, 0, 0);
constexpr float kTintFactor = 0.5f;
constexpr float kGreyFactor = 0.4f;
constexpr int kPointerOffset = 75;  // A0 and B0 lie left of the first C
constexpr int kWhiteSemitones[7] = {0, 2, 4, 5, 7, 9, 11};
constexpr int kBlackSemitones[5] = {1, 3, 6, 8, 10};

bool ValidNote(int note) { return note >= 0 && note <= 127; }

}  // namespace

XKeyboard88::XKeyboard88(XControl* parent, int x, int y, int w, int h) : XControl(parent, x, y, w, h)
{
    LoadPictures();
}

void XKeyboard88::LoadPictures()
{
    m_plain.Load(kKeysPicture);
    m_pressed.Load(kKeysPicture);
    m_pressed.Tint(kPressedTint, kTintFactor);
    m_greyed.Load(kKeysPicture);
    m_greyed.Scale(kGreyFactor);
    m_switch.Load(kKeysPicture);
    m_switch.Tint(kSwitchTint, kTintFactor);
}

bool XKeyboard88::InPlayRange(int note) const noexcept
{
    int high = m_playHigh.load(std::memory_order_relaxed);
    return high > 0 && note >= m_playLow.load(std::memory_order_relaxed) && note <= high;
}

bool XKeyboard88::InSwitchRange(int note) const noexcept
{
    int high = m_switchHigh.load(std::memory_order_relaxed);
    return high > 0 && note >= m_switchLow.load(std::memory_order_relaxed) && note <= high;
}

void XKeyboard88::GetPlayRange(int& low, int& high) const
{
    low = m_playLow.load(std::memory_order_relaxed);
    high = m_playHigh.load(std::memory_order_relaxed);
}

void XKeyboard88::GetKeySwitchRange(int& low, int& high) const
{
    low = m_switchLow.load(std::memory_order_relaxed);
    high = m_switchHigh.load(std::memory_order_relaxed);
}

void XKeyboard88::Changed()
{
    RequestFullRedraw();
    Invalidate();
}

void XKeyboard88::SetPlayRange(int low, int high)
{
    int oldLow, oldHigh;
    GetPlayRange(oldLow, oldHigh);
    if (low == oldLow && high == oldHigh)
        return;
    if (high > 0) {
        low = std::max(low, GetLowestNote());
        high = std::min(high, GetHighestNote());
        // A range wholly outside the shown notes shows nothing.
        if (low > high)
            low = high = 0;
    } else {
        low = high = 0;
    }
    if (low == oldLow && high == oldHigh)
        return;
    m_playLow.store(low, std::memory_order_relaxed);
    m_playHigh.store(high, std::memory_order_relaxed);
    Changed();
}

void XKeyboard88::SetKeySwitchRange(int low, int high)
{
    int oldLow, oldHigh;
    GetKeySwitchRange(oldLow, oldHigh);
    if (low == oldLow && high == oldHigh)
        return;
    int lowest = GetLowestNote(), highest = GetHighestNote();
    if (high < lowest || low > highest || high <= 0 || low > high) {
        low = high = 0;
    } else {
        low = std::max(low, lowest);
        high = std::min(high, highest);
    }
    if (low == oldLow && high == oldHigh)
        return;
    m_switchLow.store(low, std::memory_order_relaxed);
    m_switchHigh.store(high, std::memory_order_relaxed);
    Changed();
}

void XKeyboard88::ClearRanges()
{
    m_playLow.store(0, std::memory_order_relaxed);
    m_playHigh.store(0, std::memory_order_relaxed);
    m_switchLow.store(0, std::memory_order_relaxed);
    m_switchHigh.store(0, std::memory_order_relaxed);
    Changed();
}

void XKeyboard88::ClearNotes()
{
    for (int k = 0; k < kMaskWords; ++k) {
        m_masks[k].store(0, std::memory_order_relaxed);
        m_drawn[k] = 0;
    }
    m_heldNote = -1;
    Changed();
}

bool XKeyboard88::SetOctaveShift(int n)
{
    int lowest = keys88::kLowestNote + 12 * n;
    int highest = keys88::kHighestNote + 12 * n;
    if (lowest < 0 || highest > 127)
        return false;
    m_octaveShift = n;
    m_lowest.store(lowest, std::memory_order_relaxed);
    m_highest.store(highest, std::memory_order_relaxed);
    ClearNotes();
    return true;
}

bool XKeyboard88::IsNotePressed(int note) const
{
    if (!ValidNote(note))
        return false;
    return (m_masks[note / 12].load(std::memory_order_acquire) >> (note % 12)) & 1u;
}

bool XKeyboard88::SetNoteState(int note, bool on) noexcept
{
    if (!ValidNote(note))
        return false;
    uint32_t bit = 1u << (note % 12);
    std::atomic<uint32_t>& word = m_masks[note / 12];
    uint32_t old;
    if (on) {
        if (!InPlayRange(note) && !InSwitchRange(note))
            return false;
        old = word.fetch_or(bit, std::memory_order_acq_rel);
        if (old & bit)
            return false;
    } else {
        // Releasing is never refused: a key lit before its range changed
        // must still go dark.
        old = word.fetch_and(~bit, std::memory_order_acq_rel);
        if (!(old & bit))
            return false;
    }
    m_changed.store(true, std::memory_order_release);
    return true;
}

void XKeyboard88::OnNoteEvent(int key, bool on) noexcept { SetNoteState(key, on); }

void XKeyboard88::NoteOn(int channel, int key, int velocity, int deltaFrames) noexcept
{
    (void)channel;
    (void)deltaFrames;
    OnNoteEvent(key, velocity != 0);
}

void XKeyboard88::NoteOff(int channel, int key, int velocity, int deltaFrames) noexcept
{
    (void)channel;
    (void)velocity;
    (void)deltaFrames;
    OnNoteEvent(key, false);
}

void XKeyboard88::RefreshIfChanged()
{
    if (m_changed.load(std::memory_order_acquire))
        Invalidate();
}

int XKeyboard88::NoteAtPoint(int x, int y, int* velocity) const
{
    if (velocity)
        *velocity = 0;
    if (x < 0 || y < 0 || x >= keys88::kWidth)
        return -1;
    int shifted = x + kPointerOffset;
    int octave = shifted / keys88::kOctaveWidth;
    int p = shifted % keys88::kOctaveWidth;
    int semitone = kWhiteSemitones[std::min(p / keys88::kWhiteWidth, 6)];
    bool black = false;
    if (y < keys88::kBlackHeight) {
        // The black keys take the columns they are drawn in.
        for (int s : kBlackSemitones) {
            int left = keys88::kShapeX[s] - keys88::kLeftOffset;
            if (p >= left && p < left + keys88::kBlackWidth) {
                semitone = s;
                black = true;
                break;
            }
        }
    }
    int note = semitone + 12 * (octave + m_octaveShift) + 12;
    if (note < GetLowestNote() || note > GetHighestNote())
        return -1;
    if (velocity) {
        int height = black ? keys88::kBlackHeight : GetHeight();
        if (height <= 0)
            height = 1;
        int v = 64 + static_cast<int>(63.0 * (1.0 - static_cast<double>(y) / height));
        *velocity = std::clamp(254 - 2 * v, 0, 127);
    }
    return note;
}

void XKeyboard88::PressNote(int note, int velocity)
{
    if (velocity <= 0 || !SetNoteState(note, true))
        return;
    Invalidate();
    if (m_sink)
        m_sink->NoteOn(0, note, velocity, 0);
}

void XKeyboard88::ReleaseNote(int note)
{
    if (!SetNoteState(note, false))
        return;
    Invalidate();
    if (m_sink)
        m_sink->NoteOff(0, note, 0, 0);
}

bool XKeyboard88::OnMouseDown(XMouse& mouse)
{
    int velocity = 0;
    int note = NoteAtPoint(mouse.LocalX(), mouse.LocalY(), &velocity);
    PressNote(note, velocity);
    m_heldNote = note;
    return true;
}

void XKeyboard88::OnMouseDrag(XMouse& mouse)
{
    int x = mouse.LocalX(), y = mouse.LocalY();
    if (!Contains(x, y)) {
        if (m_heldNote >= 0)
            ReleaseNote(m_heldNote);
        m_heldNote = -1;
        return;
    }
    int velocity = 0;
    int note = NoteAtPoint(x, y, &velocity);
    if (note == m_heldNote)
        return;
    // Glissando: the old key goes up before the new one goes down.
    if (m_heldNote >= 0)
        ReleaseNote(m_heldNote);
    PressNote(note, velocity);
    m_heldNote = note;
}

void XKeyboard88::OnMouseUp(XMouse& mouse)
{
    (void)mouse;
    // Only the key the mouse holds goes up: a key lit by the engine under
    // the pointer is not the mouse's to release.
    if (m_heldNote >= 0)
        ReleaseNote(m_heldNote);
    m_heldNote = -1;
}

void XKeyboard88::Draw(XGraphic& graphic)
{
    if (!m_plain.IsLoaded()) {
        XControl::Draw(graphic);
        m_changed.store(false, std::memory_order_release);
        return;
    }
    if (NeedsFullRedraw())
        DrawFull(graphic);
    else
        DrawChanges(graphic);
}

void XKeyboard88::DrawFull(XGraphic& graphic)
{
    m_changed.store(false, std::memory_order_release);
    graphic.DrawPic(m_greyed, 0, 0);
    int low, high;
    GetPlayRange(low, high);
    if (high > 0)
        DrawRange(graphic, low, high, m_plain);
    GetKeySwitchRange(low, high);
    if (high > 0 && low >= GetLowestNote())
        DrawRange(graphic, low, high, m_switch);
    for (int k = 0; k < kMaskWords; ++k)
        m_drawn[k] = m_masks[k].load(std::memory_order_acquire);
    for (int note = GetLowestNote(); note <= GetHighestNote(); ++note) {
        if ((m_drawn[note / 12] >> (note % 12)) & 1u)
            DrawKey(graphic, note, m_pressed);
    }
}

void XKeyboard88::DrawChanges(XGraphic& graphic)
{
    // Cleared first: a note the audio thread changes from here on sets it
    // again and is drawn at the next tick.
    m_changed.store(false, std::memory_order_release);
    int lowest = GetLowestNote(), highest = GetHighestNote();
    for (int k = lowest / 12; k <= highest / 12 && k < kMaskWords; ++k) {
        uint32_t now = m_masks[k].load(std::memory_order_acquire);
        uint32_t diff = now ^ m_drawn[k];
        m_drawn[k] = now;
        for (int bit = 0; diff && bit < 12; ++bit) {
            if (!((diff >> bit) & 1u))
                continue;
            int note = 12 * k + bit;
            if (note < lowest || note > highest)
                continue;
            if ((now >> bit) & 1u)
                DrawKey(graphic, note, m_pressed);
            else if (InPlayRange(note))
                DrawKey(graphic, note, m_plain);
            else if (InSwitchRange(note))
                DrawKey(graphic, note, m_switch);
            else
                DrawKey(graphic, note, m_greyed);
        }
    }
}

void XKeyboard88::DrawRange(XGraphic& graphic, int low, int high, const XPic& pic)
{
    int first = std::max(low, GetLowestNote()) - GetLowestNote();
    int last = std::min(high, GetHighestNote()) - GetLowestNote();
    if (first > last)
        return;
    // Upper rows follow the black keys' edges.
    int left = keys88::UpperLeft(first), right = keys88::UpperRight(last);
    graphic.DrawPicPart(pic, left, 0, right - left, keys88::kBlackHeight, left, 0);
    // Lower rows: the white keys inside the range.
    while (first <= last && keys88::IsBlack(first))
        ++first;
    while (last >= first && keys88::IsBlack(last))
        --last;
    if (first > last)
        return;
    left = keys88::KeyX(first);
    right = keys88::KeyX(last) + keys88::kWhiteWidth;
    graphic.DrawPicPart(pic, left, keys88::kBlackHeight, right - left, keys88::kFrontHeight, left,
                        keys88::kBlackHeight);
}

void XKeyboard88::DrawKey(XGraphic& graphic, int note, const XPic& pic)
{
    int p = note - GetLowestNote();
    if (p < 0 || p >= keys88::kKeyCount)
        return;
    int left = keys88::UpperLeft(p), right = keys88::UpperRight(p);
    graphic.DrawPicPart(pic, left, 0, right - left, keys88::kBlackHeight, left, 0);
    if (keys88::IsBlack(p))
        return;
    int x = keys88::KeyX(p);
    graphic.DrawPicPart(pic, x, keys88::kBlackHeight, keys88::kWhiteWidth, keys88::kFrontHeight, x,
                        keys88::kBlackHeight);
}
