#include "engine/OvStudio.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <thread>

#include "engine/OvEffect.h"
#include "engine/OvEngine.h"
#include "engine/OvPlayer.h"

namespace {

std::atomic<OvInsertFactory*> g_insertFactory{nullptr};
std::atomic<OvStudioViewFactory> g_viewFactory{nullptr};

// A stored pan position outside -1..1 (or not a number) would turn the
// balance into a phase inversion or NaN: the render uses it clamped.
float ClampPan(float value, float fallback) noexcept
{
    if (!std::isfinite(value))
        return fallback;
    return std::clamp(value, -1.0f, 1.0f);
}

void Copy(float* __restrict dst, const float* __restrict src, int frames) noexcept
{
    std::memcpy(dst, src, static_cast<size_t>(frames) * sizeof(float));
}

void Add(float* __restrict dst, const float* __restrict src, int frames) noexcept
{
    for (int i = 0; i < frames; ++i)
        dst[i] += src[i];
}

// The largest of the samples at frame 4 of every whole group of eight, not
// below 0; the frames after the last whole group are not measured.
float Peak(const float* samples, int frames) noexcept
{
    float peak = 0.0f;
    for (int i = kOvPeakOffset; i + (kOvPeakGroup - kOvPeakOffset) <= frames; i += kOvPeakGroup)
        peak = std::max(peak, samples[i]);
    return peak;
}

}  // namespace

OvStudio::OvStudio() : m_sampleRate(kOvDefaultSampleRate)
{
    m_buses.Resize(kOvMixerChannels, kOvStudioBusChannels, kOvStudioBusFrames);
    for (int c = 0; c < kOvMixerChannels; ++c) {
        m_routing[c].store(0, std::memory_order_relaxed);
        m_peaks[2 * c].store(0.0f, std::memory_order_relaxed);
        m_peaks[2 * c + 1].store(0.0f, std::memory_order_relaxed);
        for (auto& flag : m_enabled[c])
            flag.store(0, std::memory_order_relaxed);
        m_comp[c].store(nullptr, std::memory_order_relaxed);
        m_eq[c].store(nullptr, std::memory_order_relaxed);
        for (auto& insert : m_inserts[c])
            insert.store(nullptr, std::memory_order_relaxed);
    }
    m_blockSize.store(kOvStudioBusFrames, std::memory_order_relaxed);
}

OvStudio::~OvStudio()
{
    for (int c = 0; c < kOvMixerChannels; ++c) {
        m_comp[c].store(nullptr, std::memory_order_release);
        m_eq[c].store(nullptr, std::memory_order_release);
        for (auto& slot : m_inserts[c]) {
            OvInsert* insert = slot.exchange(nullptr, std::memory_order_acq_rel);
            if (insert)
                insert->CloseView();
            delete insert;
        }
    }
    m_retired.clear();
    DeletePlayers();
    if (m_editor)
        m_editor->CloseView();
    m_editor.reset();
    m_buses.Clear();
}

void OvStudio::SetInsertFactory(OvInsertFactory* factory) { g_insertFactory.store(factory, std::memory_order_release); }

OvInsertFactory* OvStudio::GetInsertFactory() { return g_insertFactory.load(std::memory_order_acquire); }

void OvStudio::SetViewFactory(OvStudioViewFactory factory) { g_viewFactory.store(factory, std::memory_order_release); }

// ---------------------------------------------------------------- players

bool OvStudio::AddPlayer(std::unique_ptr<OvPlayer> player)
{
    const int n = GetPlayerCount();
    if (!player || n >= kOvMaxPlayers)
        return false;
    m_players[n] = std::move(player);
    m_playerCount.store(n + 1, std::memory_order_release);
    return true;
}

OvPlayer* OvStudio::GetPlayer(int index) const
{
    if (index < 0 || index >= GetPlayerCount())
        return nullptr;
    return m_players[index].get();
}

void OvStudio::DeletePlayers()
{
    const int n = GetPlayerCount();
    m_playerCount.store(0, std::memory_order_release);
    for (int i = 0; i < n; ++i)
        m_players[i].reset();
}

void OvStudio::InitPlayers()
{
    for (int i = 0; i < GetPlayerCount(); ++i)
        m_players[i]->OnInit();
}

void OvStudio::StartPlayers()
{
    for (int i = 0; i < GetPlayerCount(); ++i)
        m_players[i]->OvStart();
}

void OvStudio::Suspend()
{
    Print("OvStudio::Suspend()");
    for (int i = 0; i < GetPlayerCount(); ++i)
        m_players[i]->Suspend();
}

void OvStudio::Resume()
{
    Print("OvStudio::Resume()");
    for (int i = 0; i < GetPlayerCount(); ++i)
        m_players[i]->Resume();
}

void OvStudio::Close()
{
    // The host closes the plug-in: the players have nothing to do yet.
    Print("OvStudio::Close()");
}

OvStudioView* OvStudio::GetEditor()
{
    if (!m_editor) {
        if (OvStudioViewFactory factory = g_viewFactory.load(std::memory_order_acquire))
            m_editor = factory(this);
    }
    return m_editor.get();
}

bool OvStudio::PostToEditor(const XEvent& event)
{
    return m_editor ? m_editor->PostEvent(event) : false;
}

void OvStudio::SetSampleRate(float rate)
{
    if (!(rate > 0.0f) || !std::isfinite(rate))
        return;
    Print("OvStudio::SetSampleRate(%f)", static_cast<double>(rate));
    m_sampleRate.store(rate, std::memory_order_relaxed);
    for (int i = 0; i < GetPlayerCount(); ++i)
        m_players[i]->SetSampleRate(rate);
    for (int c = 0; c < kOvMixerChannels; ++c) {
        if (m_compOwned[c])
            m_compOwned[c]->SetSampleRate(rate);
        for (auto& slot : m_inserts[c])
            if (OvInsert* insert = slot.load(std::memory_order_acquire))
                insert->SetSampleRate(static_cast<int>(rate));
    }
}

void OvStudio::SetBlockSize(int frames)
{
    if (frames <= 0)
        return;
    Print("OvStudio::SetBlockSize(%d)", frames);
    m_buses.SetBlockSize(frames);
    m_blockSize.store(frames, std::memory_order_relaxed);
    for (int c = 0; c < kOvMixerChannels; ++c)
        for (auto& slot : m_inserts[c])
            if (OvInsert* insert = slot.load(std::memory_order_acquire))
                insert->SetBlockSize(std::min(frames, kOvInsertMaxFrames));
}

// ---------------------------------------------------------------- mixer

void OvStudio::SetMixerParam(int channel, int number, float value)
{
    if (!ValidChannel(channel))
        return;
    audio::Bus& bus = m_buses.GetBus(channel);
    switch (number) {
    case kOvMixLevel:
        bus.level.store(value, std::memory_order_relaxed);
        break;
    case kOvMixPan:
        bus.pan.store(value, std::memory_order_relaxed);
        break;
    case kOvMixLeftPan:
        bus.leftPan.store(value, std::memory_order_relaxed);
        break;
    case kOvMixRightPan:
        bus.rightPan.store(value, std::memory_order_relaxed);
        break;
    case kOvMixOutput:
        // Only an index of an output bus; anything else keeps the routing.
        if (std::isfinite(value) && value >= 0.0f && value < static_cast<float>(kOvMixerOutputs))
            m_routing[channel].store(static_cast<int>(value), std::memory_order_relaxed);
        break;
    case kOvMixMute:
        m_buses.SetBusOff(channel, value > 0.0f);
        break;
    case kOvMixEQLow:
    case kOvMixEQMid:
    case kOvMixEQHigh: {
        static const uint32_t codes[] = {ovfx::kLowGain, ovfx::kMidGain, ovfx::kHighGain};
        if (OvEffectEQ3* eq = m_eq[channel].load(std::memory_order_acquire))
            eq->SetParam(codes[number - kOvMixEQLow], value);
        break;
    }
    case kOvMixCompThreshold:
    case kOvMixCompRatio:
    case kOvMixCompMakeUp:
    case kOvMixCompAttack:
    case kOvMixCompRelease: {
        static const uint32_t codes[] = {ovfx::kThreshold, ovfx::kRatio, ovfx::kMakeUp, ovfx::kAttack,
                                         ovfx::kRelease};
        if (OvEffectComp* comp = m_comp[channel].load(std::memory_order_acquire))
            comp->SetParam(codes[number - kOvMixCompThreshold], value);
        break;
    }
    default:
        break;
    }
}

float OvStudio::GetMixerParam(int channel, int number) const
{
    if (!ValidChannel(channel))
        return 0.0f;
    const audio::Bus& bus = m_buses.GetBus(channel);
    switch (number) {
    case kOvMixLevel:
        return bus.level.load(std::memory_order_relaxed);
    case kOvMixPan:
        return bus.pan.load(std::memory_order_relaxed);
    case kOvMixLeftPan:
        return bus.leftPan.load(std::memory_order_relaxed);
    case kOvMixRightPan:
        return bus.rightPan.load(std::memory_order_relaxed);
    case kOvMixOutput:
        return static_cast<float>(m_routing[channel].load(std::memory_order_relaxed));
    case kOvMixMute:
        return m_buses.IsBusOff(channel) ? 1.0f : 0.0f;
    case kOvMixEQLow:
    case kOvMixEQMid:
    case kOvMixEQHigh: {
        static const uint32_t codes[] = {ovfx::kLowGain, ovfx::kMidGain, ovfx::kHighGain};
        const OvEffectEQ3* eq = m_eq[channel].load(std::memory_order_acquire);
        return eq ? eq->GetParam(codes[number - kOvMixEQLow], 0.0f) : 0.0f;
    }
    case kOvMixCompThreshold:
    case kOvMixCompRatio:
    case kOvMixCompMakeUp:
    case kOvMixCompAttack:
    case kOvMixCompRelease: {
        static const uint32_t codes[] = {ovfx::kThreshold, ovfx::kRatio, ovfx::kMakeUp, ovfx::kAttack,
                                         ovfx::kRelease};
        static const float absent[] = {kOvNoCompThreshold, kOvNoCompRatio, kOvNoCompMakeUp, kOvNoCompAttack,
                                       kOvNoCompRelease};
        const int i = number - kOvMixCompThreshold;
        const OvEffectComp* comp = m_comp[channel].load(std::memory_order_acquire);
        return comp ? comp->GetParam(codes[i], absent[i]) : absent[i];
    }
    default:
        return 0.0f;
    }
}

void OvStudio::EnableEffect(int channel, int slot, bool on)
{
    if (!ValidChannel(channel) || slot < 0 || slot >= kOvEffectSlots)
        return;
    if (on && (slot == kOvSlotComp || slot == kOvSlotEQ))
        CreateEffect(channel, slot);
    m_enabled[channel][slot].store(on ? 1 : 0, std::memory_order_seq_cst);
}

void OvStudio::SetEffectFlag(int channel, int slot, bool on)
{
    if (ValidChannel(channel) && slot >= 0 && slot < kOvEffectSlots)
        m_enabled[channel][slot].store(on ? 1 : 0, std::memory_order_seq_cst);
}

bool OvStudio::IsEffectEnabled(int channel, int slot) const
{
    if (!ValidChannel(channel) || slot < 0 || slot >= kOvEffectSlots)
        return false;
    return m_enabled[channel][slot].load(std::memory_order_seq_cst) != 0;
}

OvEffect* OvStudio::CreateEffect(int channel, int slot)
{
    if (!ValidChannel(channel))
        return nullptr;
    if (slot == kOvSlotComp) {
        if (!m_compOwned[channel]) {
            m_compOwned[channel] = std::make_unique<OvEffectComp>();
            m_compOwned[channel]->SetSampleRate(m_sampleRate.load(std::memory_order_relaxed));
            m_comp[channel].store(m_compOwned[channel].get(), std::memory_order_release);
        }
        return m_compOwned[channel].get();
    }
    if (slot == kOvSlotEQ) {
        if (!m_eqOwned[channel]) {
            m_eqOwned[channel] = std::make_unique<OvEffectEQ3>();
            m_eq[channel].store(m_eqOwned[channel].get(), std::memory_order_release);
        }
        return m_eqOwned[channel].get();
    }
    return nullptr;
}

OvEffect* OvStudio::GetEffect(int channel, int slot) const
{
    if (!ValidChannel(channel))
        return nullptr;
    if (slot == kOvSlotComp)
        return m_compOwned[channel].get();
    if (slot == kOvSlotEQ)
        return m_eqOwned[channel].get();
    return nullptr;
}

OvInsert* OvStudio::GetInsert(int channel, int slot) const
{
    if (!ValidChannel(channel) || slot < 0 || slot >= kOvInsertSlots)
        return nullptr;
    return m_inserts[channel][slot].load(std::memory_order_acquire);
}

void OvStudio::CloseInsertViews()
{
    for (int c = 0; c < kOvMixerChannels; ++c)
        for (auto& slot : m_inserts[c])
            if (OvInsert* insert = slot.load(std::memory_order_acquire))
                insert->CloseView();
}

bool OvStudio::TakeInsertEdits()
{
    bool edited = false;
    for (int c = 0; c < kOvMixerChannels; ++c)
        for (auto& slot : m_inserts[c])
            if (OvInsert* insert = slot.load(std::memory_order_acquire))
                edited = insert->TakeEdited() || edited;
    return edited;
}

bool OvStudio::WaitRenderIdle(int timeoutMs) const { return m_renderSeq.WaitIdle(timeoutMs); }

void OvStudio::SetInsert(int channel, int slot, std::unique_ptr<OvInsert> insert)
{
    if (!ValidChannel(channel) || slot < 0 || slot >= kOvInsertSlots)
        return;
    SetFailedInsert(channel, slot, OvFailedInsert());
    std::atomic<uint8_t>& flag = m_enabled[channel][kOvSlotInsert0 + slot];
    const uint8_t wasOn = flag.exchange(0, std::memory_order_seq_cst);
    // A render that saw the flag before it was cleared may still run the old
    // plug-in: it is deleted only after that render ended.
    const bool idle = WaitRenderIdle(kOvInsertSwapWaitMs);
    OvInsert* old = m_inserts[channel][slot].exchange(nullptr, std::memory_order_acq_rel);
    if (old) {
        old->CloseView();
        if (idle)
            delete old;
        else
            m_retired.emplace_back(old);
    }
    if (insert) {
        insert->SetSampleRate(static_cast<int>(m_sampleRate.load(std::memory_order_relaxed)));
        insert->SetBlockSize(std::min(m_blockSize.load(std::memory_order_relaxed), kOvInsertMaxFrames));
        m_inserts[channel][slot].store(insert.release(), std::memory_order_release);
        flag.store(wasOn, std::memory_order_seq_cst);
    }
}

void OvStudio::SetFailedInsert(int channel, int slot, const OvFailedInsert& failed)
{
    if (!ValidChannel(channel) || slot < 0 || slot >= kOvInsertSlots)
        return;
    std::lock_guard<std::mutex> hold(m_failedLock);
    m_failed[channel][slot] = failed;
}

OvFailedInsert OvStudio::GetFailedInsert(int channel, int slot) const
{
    if (!ValidChannel(channel) || slot < 0 || slot >= kOvInsertSlots)
        return {};
    std::lock_guard<std::mutex> hold(m_failedLock);
    return m_failed[channel][slot];
}

bool OvStudio::SetInsertPlugin(int channel, int slot, PlugInfo* info)
{
    if (!ValidChannel(channel) || slot < 0 || slot >= kOvInsertSlots)
        return false;
    std::atomic<uint8_t>& flag = m_enabled[channel][kOvSlotInsert0 + slot];
    const uint8_t wasOn = flag.load(std::memory_order_seq_cst);
    SetInsert(channel, slot, nullptr);
    if (!info)
        return true;
    OvInsertFactory* factory = GetInsertFactory();
    std::unique_ptr<OvInsert> insert = factory ? factory->Open(info) : nullptr;
    if (!insert)
        return false;
    SetInsert(channel, slot, std::move(insert));
    flag.store(wasOn, std::memory_order_seq_cst);
    return true;
}

const float* OvStudio::TakePeakLevels()
{
    for (int i = 0; i < 2 * kOvMixerChannels; ++i)
        m_meters[i] = m_peaks[i].exchange(0.0f, std::memory_order_relaxed);
    return m_meters;
}

// ---------------------------------------------------------------- render

bool OvStudio::HasLiveInsert(int channel) const noexcept
{
    for (int s = 0; s < kOvInsertSlots; ++s)
        if (m_enabled[channel][kOvSlotInsert0 + s].load(std::memory_order_seq_cst) &&
            m_inserts[channel][s].load(std::memory_order_acquire))
            return true;
    return false;
}

void OvStudio::RunInserts(int channel, float* left, float* right, int frames) noexcept
{
    for (int s = 0; s < kOvInsertSlots; ++s) {
        if (!m_enabled[channel][kOvSlotInsert0 + s].load(std::memory_order_seq_cst))
            continue;
        OvInsert* insert = m_inserts[channel][s].load(std::memory_order_acquire);
        if (!insert)
            continue;
        for (int done = 0; done < frames; done += kOvInsertMaxFrames)
            insert->Process(left + done, right + done, std::min(kOvInsertMaxFrames, frames - done));
    }
}

void OvStudio::MixChannel(int c, audio::Buffers* outputs, int frames) noexcept
{
    float* left = m_buses.GetChannel(c, 0);
    float* right = m_buses.GetChannel(c, 1);
    if (!left || !right)
        return;
    if (m_buses.HasSignal(c)) {
        if (m_enabled[c][kOvSlotComp].load(std::memory_order_relaxed))
            if (OvEffectComp* comp = m_comp[c].load(std::memory_order_acquire))
                comp->Process(left, right, frames);
        if (m_enabled[c][kOvSlotEQ].load(std::memory_order_relaxed))
            if (OvEffectEQ3* eq = m_eq[c].load(std::memory_order_acquire))
                eq->Process(left, right, frames);
        RunInserts(c, left, right, frames);
    } else if (HasLiveInsert(c)) {
        // Silence in, so that an effect's tail (a reverb) goes on sounding.
        std::fill(left, left + frames, 0.0f);
        std::fill(right, right + frames, 0.0f);
        RunInserts(c, left, right, frames);
    } else {
        return;
    }

    const audio::Bus& bus = m_buses.GetBus(c);
    const float a = ClampPan(bus.leftPan.load(std::memory_order_relaxed), -1.0f);
    const float b = ClampPan(bus.rightPan.load(std::memory_order_relaxed), 1.0f);
    if (a > -1.0f || b < 1.0f) {
        const float ll = std::min(1.0f - a, 1.0f);  // left input on the left output
        const float lr = std::min(1.0f + a, 1.0f);  // left input on the right output
        const float rl = std::min(1.0f - b, 1.0f);
        const float rr = std::min(1.0f + b, 1.0f);
        for (int i = 0; i < frames; ++i) {
            const float l = left[i];
            const float r = right[i];
            left[i] = ll * l + rl * r;
            right[i] = lr * l + rr * r;
        }
    }

    const int d = m_routing[c].load(std::memory_order_relaxed);
    float* outLeft = outputs ? outputs->GetChannel(d, 0) : nullptr;
    float* outRight = outputs ? outputs->GetChannel(d, 1) : nullptr;
    if (outLeft && outRight && frames <= outputs->GetBus(d).capacity) {
        if (outputs->HasSignal(d)) {
            Add(outLeft, left, frames);
            Add(outRight, right, frames);
        } else {
            Copy(outLeft, left, frames);
            Copy(outRight, right, frames);
            outputs->SetHasSignal(d, true);
        }
    }

    m_peaks[2 * c].store(Peak(left, frames), std::memory_order_relaxed);
    m_peaks[2 * c + 1].store(Peak(right, frames), std::memory_order_relaxed);
}

int OvStudio::Render(audio::Buffers* outputs, int frames) noexcept
{
    if (frames <= 0)
        return 0;
    // A host that passes more frames than it announced gets what the
    // studio's buses hold, never a write past them.
    frames = std::min(frames, m_buses.GetBus(0).capacity);
    m_renderSeq.Enter();
    OvDenormalGuard denormals;
    m_buses.ClearActive();
    const int players = GetPlayerCount();
    for (int i = 0; i < players; ++i)
        m_players[i]->Render(&m_buses, frames);
    for (int c = 0; c < kOvMixerChannels; ++c)
        if (!m_buses.IsBusOff(c))
            MixChannel(c, outputs, frames);
    m_renderSeq.Leave();
    return frames;
}
