// The note handling (HandleEvents and what it calls) runs on the audio
// thread: noexcept, no allocation, no lock. Parts, load state and LoadParts
// belong to the GUI and loader threads.
#include "engine/GigaTone.h"

#include <algorithm>

#include "engine/GigaBank.h"
#include "engine/GigaBankManager.h"
#include "engine/GigaDiskThread.h"
#include "engine/GigaProgram.h"
#include "engine/GigaSample.h"
#include "engine/GigaVoice.h"
#include "engine/GigaVoiceConstants.h"
#include "engine/OvEngine.h"
#include "kiv/data/FourCC.h"

using namespace gigavoice;

namespace {

constexpr int kModeKeySwitch = kStackKeySwitch;
constexpr int kDiskPassesOnRelease = 2;

}  // namespace

GigaTone::GigaTone() : m_type(fourcc("giga"))
{
    ResetControllers();
    SetWatched(kOvCtrlVolume, true);
    SetWatched(kOvCtrlExpression, true);
    SetWatched(kOvCtrlPan, true);
}

GigaTone::~GigaTone()
{
    DeleteParts();
}

void GigaTone::OnRelease()
{
    if (GetPartCount() == 0)
        return;
    if (GigaDiskThread* disk = GigaDiskThread::Get())
        disk->WaitPasses(kDiskPassesOnRelease);
    DeleteParts();
}

void GigaTone::DeleteParts()
{
    PartsLock lock = LockParts();
    int count = GetPartCount();
    m_selected.store(nullptr, std::memory_order_release);
    m_partCount.store(0, std::memory_order_release);
    for (int i = 0; i < count; ++i)
        m_parts[i].reset();
}

GigaPart* GigaTone::AddPart(const char* path, int program)
{
    GigaPart* part = nullptr;
    {
        PartsLock lock = LockParts();
        int count = GetPartCount();
        for (int i = 0; i < count && !part; ++i)
            if (m_parts[i]->GetProgramIndex() < 0)
                part = m_parts[i].get();
        if (!part) {
            if (count >= giga::kMaxParts)
                return nullptr;
            m_parts[count] = std::make_unique<GigaPart>(this);
            part = m_parts[count].get();
            m_partCount.store(count + 1, std::memory_order_release);
        }
        part->SetProgram(path, program, false);
    }
    SetState(giga::kToneToLoad);
    return part;
}

GigaPart* GigaTone::GetPart(int index) const
{
    PartsLock lock = LockParts();
    if (index < 0 || index >= GetPartCount())
        return nullptr;
    return m_parts[index].get();
}

bool GigaTone::MovePart(int from, int to)
{
    PartsLock lock = LockParts();
    int count = GetPartCount();
    if (from < 0 || from >= count || to < 0 || to >= count || from == to)
        return false;
    // A tone that plays takes the move in its ring's order. One that does not
    // cannot become armed meanwhile (arming takes the parts lock) and copies
    // the order when it is.
    if (!QueueEvent(kOvEventMovePart, from, to, 0) && AcceptsEvents())
        return false;  // the ring is full
    std::unique_ptr<GigaPart> moving = std::move(m_parts[from]);
    if (from < to)
        for (int i = from; i < to; ++i)
            m_parts[i] = std::move(m_parts[i + 1]);
    else
        for (int i = from; i > to; --i)
            m_parts[i] = std::move(m_parts[i - 1]);
    m_parts[to] = std::move(moving);
    return true;
}

void GigaTone::ArmStart()
{
    PartsLock lock = LockParts();
    m_playCount = GetPartCount();
    for (int i = 0; i < m_playCount; ++i)
        m_play[i] = m_parts[i].get();
    OvTone::ArmStart();  // publishes the order with the command word
}

void GigaTone::Clear()
{
    int count;
    {
        PartsLock lock = LockParts();
        count = GetPartCount();
        for (int i = 0; i < count; ++i)
            m_parts[i]->Clear();
        m_name.Clear();
    }
    m_restored.store(false, std::memory_order_release);
    if (count > 0)
        SetState(giga::kToneToLoad);
}

void GigaTone::RemovePart(int index)
{
    PartsLock lock = LockParts();
    int count = GetPartCount();
    if (index < 0 || index >= count)
        return;
    if (m_selected.load(std::memory_order_acquire) == m_parts[index].get())
        m_selected.store(nullptr, std::memory_order_release);
    std::unique_ptr<GigaPart> gone = std::move(m_parts[index]);
    for (int i = index; i + 1 < count; ++i)
        m_parts[i] = std::move(m_parts[i + 1]);
    m_partCount.store(count - 1, std::memory_order_release);
}

bool GigaTone::LoadParts(GigaBankManager& manager)
{
    Print("GigaTone::LoadParts()");
    SetModified(!m_restored.exchange(false, std::memory_order_acq_rel));
    m_lowKey = 127;
    m_highKey = 0;
    m_sawNoMemory = false;
    bool allLoaded = true;
    for (int i = 0;; ) {
        GigaPart* part;
        {
            PartsLock lock = LockParts();
            if (i >= GetPartCount())
                break;
            part = m_parts[i].get();
        }
        // Only this pass deletes parts: the pointer stays good while the GUI
        // edits or moves the list meanwhile.
        if (!part->Load(manager))
            allLoaded = false;
        if (part->GetState() == giga::kPartLoading) {
            RemovePart(i);
            continue;
        }
        if (GigaProgram* program = part->GetProgram()) {
            if (program->lowestKey < m_lowKey)
                m_lowKey = program->lowestKey;
            if (program->highestKey > m_highKey)
                m_highKey = program->highestKey;
        }
        ++i;
    }
    int count = GetPartCount();
    if (count == 0) {
        Reset();
    } else if (count == 1) {
        GigaProgram* program = GetPart(0) ? GetPart(0)->GetProgram() : nullptr;
        if (program)
            SetKeySwitchRange(program->keySwitchLow, program->keySwitchHigh);
    } else if (GetStackMode() == kModeKeySwitch) {
        SetKeySwitchRange(GetKeySwitchLow(), GetKeySwitchLow() + count - 1);
    }
    if (allLoaded)
        SetState(giga::kToneLoaded);
    else
        SetState(m_sawNoMemory ? giga::kToneNoMemory : giga::kToneFailed);
    SelectDefaultPart();
    return allLoaded;
}

void GigaTone::SetState(int state)
{
    if (state == giga::kToneNoMemory)
        m_sawNoMemory = true;
    if (m_state.exchange(state, std::memory_order_acq_rel) != state)
        Notify(kOvNotifyState, state);
}

void GigaTone::ReportProgress(int done, int total)
{
    if (total <= 0)
        return;
    int percent = static_cast<int>(static_cast<int64_t>(done) * 100 / total);
    if (m_percent.exchange(percent, std::memory_order_acq_rel) != percent)
        Notify(kOvNotifyProgress, percent);
}

void GigaTone::MarkShown()
{
    if (GetState() == giga::kToneLoaded)
        SetState(GetPartCount() > 0 ? giga::kToneShown : giga::kToneNone);
}

bool GigaTone::IsEmpty() const
{
    int state = GetState();
    return state == giga::kToneNone || (state == giga::kToneLoaded && !GetSelectedPart());
}

void GigaTone::SetStackMode(int mode)
{
    m_stackMode.store(mode, std::memory_order_release);
    SelectDefaultPart();
    if (mode != kModeKeySwitch)
        SetKeySwitchRange(0, 0);
}

void GigaTone::SelectDefaultPart()
{
    PartsLock lock = LockParts();
    int count = GetPartCount();
    GigaPart* selected = (count == 1 || (count > 0 && GetStackMode() > 0)) ? m_parts[0].get() : nullptr;
    m_selected.store(selected, std::memory_order_release);
}

void GigaTone::SetKeySwitchRange(int low, int high)
{
    m_keySwitchLow.store(low, std::memory_order_release);
    m_keySwitchHigh.store(high, std::memory_order_release);
}

int GigaTone::GetLowestKey() const
{
    PartsLock lock = LockParts();
    int lowest = 127;
    for (int i = 0; i < GetPartCount(); ++i) {
        int key = m_parts[i]->keyLow + m_parts[i]->keyOffset;
        if (key < lowest)
            lowest = key;
    }
    return lowest;
}

int GigaTone::GetHighestKey() const
{
    PartsLock lock = LockParts();
    int highest = 0;
    for (int i = 0; i < GetPartCount(); ++i) {
        int key = m_parts[i]->keyHigh + m_parts[i]->keyOffset;
        if (key > highest)
            highest = key;
    }
    return highest;
}

bool GigaTone::PlaceKeySwitches(int start)
{
    const int count = GetPartCount();
    if (count < 2)
        return false;
    const int lowest = GetLowestKey();
    const int highest = GetHighestKey();
    int low;
    int high;
    if (start < 0) {
        high = lowest - 1;
        low = high - count + 1;
        if (low < 0) {
            low = highest + 1;
            high = highest + count;
        }
    } else {
        low = start;
        high = start + count - 1;
        const bool below = high < lowest;
        const bool above = start >= lowest && start > highest;
        if (!below && !above)
            return false;
    }
    if (low < 0 || high > 127)
        return false;
    SetKeySwitchRange(low, high);
    Notify(kOvNotifyKeys, 0);
    return true;
}

kiv::string GigaTone::GetDisplayName() const
{
    PartsLock lock = LockParts();
    const int count = GetPartCount();
    if (count == 1) {
        const GigaPart* part = m_parts[0].get();
        if (const char* name = part->GetProgramName())
            return name;
        const char* file = part->GetFileName();
        return file ? file : "";
    }
    if (count == 0)
        return IsStacked() ? "No stacked instrument" : "No instrument";
    return m_name.IsEmpty() ? "Stacked Instrument" : m_name.CStr();
}

void GigaTone::Reset()
{
    OvTone::Reset();
    SetKeySwitchRange(0, 0);
    SetStacked(false);
}

void GigaTone::ResetControllers()
{
    for (int i = 0; i < 120; ++i)
        SetController(i, 0);
    static const int kOnByDefault[] = {12, 13, 80, 81, 82, 83, 94, 95};
    for (int number : kOnByDefault)
        SetController(number, 127);
}

// ---------------------------------------------------------------- note handling

int GigaTone::NextRandom() noexcept
{
    // xorshift32: rand() may lock, and the audio thread must not.
    uint32_t x = m_random;
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    m_random = x;
    return static_cast<int>(x >> 8);
}

void GigaTone::RefreshWalkValues() noexcept
{
    for (int i = 0; i < kOvControllerCount; ++i)
        m_walkValues[i] = GetController(i);
    m_walkValues[kCtrlReleaseTrigger] = 0;  // a note on is never the release walk
}

void GigaTone::SetWalkController(int number, int value) noexcept
{
    SetController(number, value);
    if (number >= 0 && number < kOvControllerCount)
        m_walkValues[number] = value;
}

void GigaTone::SelectPart(int index) noexcept
{
    const int count = m_playCount;
    if (count <= 0)
        return;
    index = std::clamp(index, 0, count - 1);
    m_selected.store(m_play[index], std::memory_order_release);
}

void GigaTone::MovePlayed(int from, int to) noexcept
{
    const int count = m_playCount;
    if (from < 0 || from >= count || to < 0 || to >= count || from == to)
        return;
    GigaPart* moving = m_play[from];
    if (from < to)
        std::copy(m_play + from + 1, m_play + to + 1, m_play + from);
    else
        std::copy_backward(m_play + to, m_play + from, m_play + from + 1);
    m_play[to] = moving;
}

void GigaTone::HandleEvents(const OvMidiEvent* events, int count) noexcept
{
    RefreshWalkValues();
    for (int i = 0; i < count; ++i) {
        const OvMidiEvent& e = events[i];
        switch (e.type) {
        case kOvEventNoteOn:
            if (e.data2 <= 0)
                NoteOffEvent(e.data1);  // MIDI's note off by velocity 0
            else
                NoteOnEvent(e.data1, std::min(e.data2, kControllerMax), e.deltaFrames);
            break;
        case kOvEventNoteOff:
            NoteOffEvent(e.data1);
            break;
        case kOvEventPitchBend:
            SetBend(std::clamp(e.data2, 0, 127) * 128 + std::clamp(e.data1, 0, 127) - kBendCentre);
            break;
        case kOvEventController:
            ControllerEvent(e.data1, e.data2);
            break;
        case kOvEventProgramChange:
            if (m_playCount > 1 && GetStackMode() == kStackProgram && e.data1 >= 0 && e.data1 < m_playCount)
                SelectPart(e.data1);
            break;
        case kOvEventMovePart:
            MovePlayed(e.data1, e.data2);
            break;
        default:
            break;
        }
    }
}

void GigaTone::NoteOnEvent(int key, int velocity, int deltaFrames) noexcept
{
    if (IsToneMuted())
        return;
    AddHeldNotes(1);
    const int count = m_playCount;
    switch (GetStackMode()) {
    case kStackKeySwitch: {
        const int low = GetKeySwitchLow();
        if (key >= low && key <= GetKeySwitchHigh() && key - low < count)
            SelectPart(key - low);
        break;
    }
    case kStackRandom:
        if (count > 0)
            SelectPart(NextRandom() % count);
        break;
    case kStackVelocity:
        if (count > 0)
            SelectPart(velocity / (128 / count));  // SelectPart keeps it to the last part
        break;
    default:
        break;
    }
    if (GigaPart* selected = GetSelectedPart()) {
        StartNote(selected, key, velocity, deltaFrames);
        return;
    }
    for (int i = 0; i < count; ++i)
        StartNote(m_play[i], key, velocity, deltaFrames);
}

void GigaTone::StartNote(GigaPart* part, int key, int velocity, int deltaFrames) noexcept
{
    if (!part || part->mute)
        return;
    GigaProgram* program = part->GetProgram();
    if (!program || !program->IsLoaded())
        return;
    // Read once: the GUI may move the offset while the note starts, and the
    // note off finds the voice by the same offset.
    const int keyOffset = part->keyOffset;
    const int k = key - keyOffset;
    const int ksLow = program->keySwitchLow;
    const int ksHigh = program->keySwitchHigh;
    if (ksHigh >= ksLow && k >= ksLow && k <= ksHigh) {
        const double width = 128.0 / (ksHigh - ksLow + 1);
        SetWalkController(kCtrlKeySwitch, static_cast<int>(width * (k - ksLow)));
    }
    if (k < part->keyLow || k > part->keyHigh)
        return;
    GigaRegion* region = program->GetRegionForKey(k);
    if (!region)
        return;

    // A self-masking region: older, softer notes of this key fade sooner.
    if (region->selfMask && !IsSustain()) {
        for (OvVoice* v = GetVoices().Head(); v; v = v->GetNext()) {
            auto* voice = static_cast<GigaVoice*>(v);
            if (voice->GetKey() == k && voice->GetPart() == part && voice->GetRegion() &&
                voice->GetVelocity() < velocity)
                voice->ShortenReleaseOnce();
        }
    }

    GigaWalkInput input;
    input.velocity = velocity;
    input.randomValue = NextRandom() % 128;
    input.controllers = m_walkValues;
    input.controllerCount = kOvControllerCount;
    region->Walk(input, m_walk);
    for (int i = 0; i < m_walk.count; ++i) {
        if (GigaVoice* voice = PlayZone(m_walk.zones[i], part, k, keyOffset, velocity, deltaFrames))
            voice->SetRegion(region);
    }
}

GigaVoice* GigaTone::PlayZone(GigaZone* zone, GigaPart* part, int key, int keyOffset, int velocity,
                              int deltaFrames) noexcept
{
    if (!zone || !zone->GetSample())
        return nullptr;
    if ((zone->bypassCC94 && GetController(kCtrlGate94) < kGateThreshold) ||
        (zone->bypassCC95 && GetController(kCtrlGate95) < kGateThreshold))
        return nullptr;
    OvVoiceList* pool = GetPool();
    auto* voice = static_cast<GigaVoice*>(pool ? pool->PopFront() : nullptr);
    if (!voice)
        return nullptr;  // no free voice: nothing is stolen
    voice->Setup(key, velocity, deltaFrames, zone, this, part);
    voice->SetKeyOffset(keyOffset);
    GetVoices().Append(voice);
    return voice;
}

void GigaTone::NoteOffEvent(int key) noexcept
{
    AddHeldNotes(-1);
    GigaRegion* previous = nullptr;
    // Release voices are appended while the list is walked: stop at the
    // voice that was last before them.
    OvVoice* last = nullptr;
    for (OvVoice* v = GetVoices().Head(); v; v = v->GetNext())
        last = v;
    for (OvVoice* v = GetVoices().Head(); v; v = v->GetNext()) {
        auto* voice = static_cast<GigaVoice*>(v);
        GigaRegion* region = voice->GetRegion();
        if (region && voice->GetKey() + voice->GetKeyOffset() == key) {
            if (region->releaseTrigger && (!IsSustain() || voice->IgnoresSustain()) &&
                region != previous)
                PlayReleaseTrigger(voice, key);
            previous = region;
            voice->RequestRelease();
        }
        if (v == last)
            break;
    }
}

void GigaTone::PlayReleaseTrigger(GigaVoice* voice, int key) noexcept
{
    GigaRegion* region = voice->GetRegion();
    m_walkValues[kCtrlReleaseTrigger] = kReleaseTriggerValue;
    GigaWalkInput input;
    input.velocity = voice->GetVelocity();
    input.randomValue = NextRandom() % 128;
    input.controllers = m_walkValues;
    input.controllerCount = kOvControllerCount;
    region->Walk(input, m_walk);
    m_walkValues[kCtrlReleaseTrigger] = 0;

    const float rate = OvEngine::GetOutputRate();
    const float held = rate > 0.0f ? static_cast<float>(voice->GetFramesRendered()) / rate : 0.0f;
    for (int i = 0; i < m_walk.count; ++i) {
        GigaZone* zone = m_walk.zones[i];
        const float decay = kReleaseDecayBase - static_cast<float>(zone->releaseTriggerDecay);
        // Kept within 0..1: a decay above 9 must not make the trigger louder
        // the longer the key was held, nor a long hold turn it negative.
        const float gain = std::clamp(1.0f - decay * held * kReleaseDecayScale, 0.0f, 1.0f);
        if (gain <= 0.0f || (!m_walk.layered && gain <= kReleaseMinGain))
            continue;
        GigaVoice* trigger = PlayZone(zone, voice->GetPart(), voice->GetKey(), voice->GetKeyOffset(),
                                       voice->GetVelocity(), 0);
        if (!trigger)
            continue;
        trigger->ScaleAmplitude(gain);
        // No note off reaches a release voice: a looped one would never end.
        if (zone->GetSample()->LoopsFromMemory())
            trigger->RequestRelease();
        Print("PlayNoteOff(%d)", key);
    }
}

void GigaTone::ControllerEvent(int number, int value) noexcept
{
    SetWalkController(number, value);
    switch (number) {
    case kOvCtrlSustain:
        SetSustain(value > 0);
        return;
    case kOvCtrlVolume:
        SetVolume(std::clamp(value, 0, kControllerMax));
        return;
    case kOvCtrlExpression:
        SetExpression(std::clamp(value, 0, kControllerMax));
        return;
    case kOvCtrlPan:
        SetPan(std::clamp(value, 0, kControllerMax));
        return;
    default:
        break;
    }
    // Modes 1..127 name the choosing controller; mode 0 (all parts) has
    // none, so a Bank Select (controller 0) never collapses the stack.
    const int count = m_playCount;
    const int mode = GetStackMode();
    if (count > 1 && mode > 0 && number == mode)
        SelectPart(static_cast<int>(std::clamp(value, 0, kControllerMax) / 128.0 * count));
    if (number == kCtrlAllSoundOff || number == kCtrlAllNotesOff)
        AllNotesOff();  // queued: taken in the next block
    else if (number == kCtrlResetAll) {
        ResetControllers();
        // The pedal's value went to 0 with the others: so does its hold, or
        // sustained voices would wait for a pedal-up that never comes.
        SetSustain(false);
        RefreshWalkValues();
    }
}
