#include "engine/GigaTone.h"

#include "engine/GigaBank.h"
#include "engine/GigaBankManager.h"
#include "engine/GigaDiskThread.h"
#include "kiv/data/FourCC.h"

namespace {

constexpr int kModeKeySwitch = 133;
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
    int count = GetPartCount();
    m_selected.store(nullptr, std::memory_order_release);
    m_partCount.store(0, std::memory_order_release);
    for (int i = 0; i < count; ++i)
        m_parts[i].reset();
}

GigaPart* GigaTone::AddPart(const char* path, int program)
{
    int count = GetPartCount();
    GigaPart* part = nullptr;
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
    SetState(giga::kToneToLoad);
    return part;
}

GigaPart* GigaTone::GetPart(int index) const
{
    if (index < 0 || index >= GetPartCount())
        return nullptr;
    return m_parts[index].get();
}

bool GigaTone::MovePart(int from, int to)
{
    int count = GetPartCount();
    if (from < 0 || from >= count || to < 0 || to >= count || from == to)
        return false;
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

void GigaTone::Clear()
{
    int count = GetPartCount();
    for (int i = 0; i < count; ++i)
        m_parts[i]->Clear();
    if (count > 0)
        SetState(giga::kToneToLoad);
    m_name.Clear();
}

void GigaTone::RemovePart(int index)
{
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
    SetModified(true);
    m_lowKey = 127;
    m_highKey = 0;
    m_sawNoMemory = false;
    bool allLoaded = true;
    for (int i = 0; i < GetPartCount();) {
        GigaPart* part = m_parts[i].get();
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
        GigaProgram* program = m_parts[0]->GetProgram();
        if (program)
            SetKeySwitchRange(program->keySwitchLow, program->keySwitchHigh);
    } else if (GetStackMode() == kModeKeySwitch) {
        SetKeySwitchRange(m_keySwitchLow, m_keySwitchLow + count - 1);
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
    int count = GetPartCount();
    GigaPart* selected = (count == 1 || (count > 0 && GetStackMode() > 0)) ? m_parts[0].get() : nullptr;
    m_selected.store(selected, std::memory_order_release);
}

void GigaTone::SetKeySwitchRange(int low, int high)
{
    m_keySwitchLow = low;
    m_keySwitchHigh = high;
}

int GigaTone::GetLowestKey() const
{
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
    int highest = 0;
    for (int i = 0; i < GetPartCount(); ++i) {
        int key = m_parts[i]->keyHigh + m_parts[i]->keyOffset;
        if (key > highest)
            highest = key;
    }
    return highest;
}

void GigaTone::Reset()
{
    OvTone::Reset();
    SetKeySwitchRange(0, 0);
    m_stacked = false;
}

void GigaTone::ResetControllers()
{
    for (int i = 0; i < 120; ++i)
        SetController(i, 0);
    static const int kOnByDefault[] = {12, 13, 80, 81, 82, 83, 94, 95};
    for (int number : kOnByDefault)
        SetController(number, 127);
}
