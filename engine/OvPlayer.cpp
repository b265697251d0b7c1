// Render and the MIDI routing run on the audio thread (MIDI also on the GUI
// thread): noexcept where they render, no allocation, no lock. OvStart,
// OvStop, Suspend and Resume run on the loader or host thread and may wait.
#include "engine/OvPlayer.h"

#include <chrono>
#include <cstdio>
#include <thread>

#include "engine/OvEngine.h"
#include "engine/OvTone.h"
#include "engine/OvView.h"

namespace {

std::atomic<int> g_livePlayers{0};

// A format for the output names: text with at most two %d and any %%.
bool IsSafeNameFormat(const char* format)
{
    int numbers = 0;
    int length = 0;
    for (const char* p = format; *p; ++p, ++length) {
        if (length >= 64)
            return false;
        if (*p != '%')
            continue;
        ++p;
        ++length;
        if (*p == '%')
            continue;
        if (*p != 'd' || ++numbers > 2)
            return false;
    }
    return true;
}

}  // namespace

OvPlayer::OvPlayer() { m_index = g_livePlayers.fetch_add(1, std::memory_order_acq_rel); }

OvPlayer::~OvPlayer()
{
    const int count = GetToneCount();
    for (int i = 0; i < count; ++i)
        if (m_tones[i])
            m_tones[i]->Release();
    for (int i = 0; i < count; ++i)
        m_tones[i].reset();
    g_livePlayers.fetch_sub(1, std::memory_order_acq_rel);
}

int OvPlayer::GetLivePlayerCount() { return g_livePlayers.load(std::memory_order_acquire); }

OvTone* OvPlayer::AddTone(std::unique_ptr<OvTone> tone)
{
    const int n = GetToneCount();
    if (!tone || n >= kOvMaxTones)
        return nullptr;
    OvTone* t = tone.get();
    t->Attach(this, &m_voicePool);
    t->OnAttach(this, &m_voicePool);
    m_tones[n] = std::move(tone);
    m_toneCount.store(n + 1, std::memory_order_release);
    return t;
}

void OvPlayer::AddVoice(std::unique_ptr<OvVoice> voice)
{
    if (voice)
        m_voicePool.Append(voice.release());
}

OvTone* OvPlayer::GetTone(int index) const
{
    if (index < 0 || index >= GetToneCount())
        return nullptr;
    return m_tones[index].get();
}

// ---------------------------------------------------------------- start and stop

bool OvPlayer::WaitRenderIdle(int timeoutMs) const { return m_renderSeq.WaitIdle(timeoutMs); }

void OvPlayer::OvStart()
{
    std::lock_guard<std::mutex> lock(m_control);
    m_midiEnabled.store(true, std::memory_order_release);
    if (m_running.load(std::memory_order_seq_cst)) {
        Print("*** OvPlayer::OvStart() but player is running ***");
        return;
    }
    Print("OvPlayer::OvStart()");
    // Not running: no render touches the tones once any in progress ended.
    // A render that is still in progress owns the rings and the pool, so
    // then the tones are only armed (the audio thread keeps what it has).
    const bool idle = WaitRenderIdle(kOvRenderWaitMs);
    if (!idle)
        Print("*** OvPlayer::OvStart() render did not end ***");
    const int count = GetToneCount();
    for (int i = 0; i < count; ++i) {
        OvTone* t = m_tones[i].get();
        if (idle) {
            t->ResetRing();
            t->KillVoices();
            t->ReclaimRetired();
        }
        t->OvStart();
    }
    m_running.store(true, std::memory_order_seq_cst);
}

void OvPlayer::OvStop()
{
    std::lock_guard<std::mutex> lock(m_control);
    if (!m_running.load(std::memory_order_seq_cst)) {
        Print("*** OvPlayer::OvStop() but player is not running ***");
        return;
    }
    Print("OvPlayer::OvStop()");
    m_midiEnabled.store(false, std::memory_order_release);
    const int count = GetToneCount();
    // The handshakes need the audio thread: the player still renders here.
    for (int i = 0; i < count; ++i)
        m_tones[i]->OvStop();
    m_running.store(false, std::memory_order_seq_cst);
    if (WaitRenderIdle(kOvRenderWaitMs))
        for (int i = 0; i < count; ++i)
            m_tones[i]->ReclaimRetired();
}

void OvPlayer::Suspend()
{
    std::lock_guard<std::mutex> lock(m_control);
    Print("OvPlayer::Suspend()");
    m_midiEnabled.store(false, std::memory_order_release);
    m_hostOn.store(false, std::memory_order_seq_cst);
    if (!WaitRenderIdle(kOvRenderWaitMs)) {
        Print("*** OvPlayer::Suspend() render did not end ***");
        return;
    }
    const int count = GetToneCount();
    for (int i = 0; i < count; ++i) {
        OvTone* t = m_tones[i].get();
        t->ResetRing();
        t->KillVoices();
        t->ReclaimRetired();
    }
}

void OvPlayer::Resume()
{
    std::lock_guard<std::mutex> lock(m_control);
    Print("OvPlayer::Resume()");
    m_midiEnabled.store(true, std::memory_order_release);
    m_hostOn.store(true, std::memory_order_seq_cst);
}

// ---------------------------------------------------------------- MIDI

template <typename F>
void OvPlayer::ForChannel(int channel, F&& call)
{
    const int count = GetToneCount();
    if (count == 1) {
        call(m_tones[0].get());
        return;
    }
    for (int i = 0; i < count; ++i) {
        OvTone* t = m_tones[i].get();
        if (t->GetChannel() == channel)
            call(t);
    }
}

void OvPlayer::NoteOn(int channel, int key, int velocity, int deltaFrames)
{
    if (!IsMidiEnabled())
        return;
    ForChannel(channel, [&](OvTone* t) { t->NoteOn(key, velocity, deltaFrames); });
    midi::Input* listener = m_noteListener.load(std::memory_order_acquire);
    if (listener && channel == m_listenerChannel.load(std::memory_order_relaxed))
        listener->NoteOn(channel, key, velocity, deltaFrames);
}

void OvPlayer::NoteOff(int channel, int key, int velocity, int deltaFrames)
{
    if (!IsMidiEnabled())
        return;
    ForChannel(channel, [&](OvTone* t) { t->NoteOff(key, velocity, deltaFrames); });
    midi::Input* listener = m_noteListener.load(std::memory_order_acquire);
    if (listener && channel == m_listenerChannel.load(std::memory_order_relaxed))
        listener->NoteOff(channel, key, velocity, deltaFrames);
}

void OvPlayer::Controller(int channel, int controller, int value, int deltaFrames)
{
    if (!IsMidiEnabled())
        return;
    if (int* map = m_controllerMap.load(std::memory_order_acquire)) {
        if (controller < 0 || controller >= kOvKeyCount)
            return;  // outside the map: nothing to map it to
        controller = std::atomic_ref<int>(map[controller]).load(std::memory_order_relaxed);
        if (controller < 0)
            return;
    }
    ForChannel(channel, [&](OvTone* t) { t->Controller(controller, value, deltaFrames); });
}

void OvPlayer::PitchBend(int channel, int lsb, int msb, int deltaFrames)
{
    if (!IsMidiEnabled())
        return;
    ForChannel(channel, [&](OvTone* t) { t->PitchBend(lsb, msb, deltaFrames); });
}

void OvPlayer::ProgramChange(int channel, int program)
{
    if (!IsMidiEnabled())
        return;
    ForChannel(channel, [&](OvTone* t) { t->ProgramChange(program); });
    SelectParameterSet(program);
}

void OvPlayer::AllNotesOff(int channel)
{
    if (!IsMidiEnabled())
        return;
    const int count = GetToneCount();
    for (int i = 0; i < count; ++i) {
        OvTone* t = m_tones[i].get();
        if (channel < 0 || t->GetChannel() == channel)
            t->AllNotesOff();
    }
}

// ---------------------------------------------------------------- render

int OvPlayer::Render(audio::Buffers* buses, int frames) noexcept
{
    if (frames <= 0)
        return frames;
    // Announce the render before looking at the switches: a stopping thread
    // that switched them off then either sees this render or is seen by it.
    m_renderSeq.Enter();
    if (m_running.load(std::memory_order_seq_cst) && m_hostOn.load(std::memory_order_seq_cst)) {
        OvDenormalGuard denormals;
        m_frames.store(m_frames.load(std::memory_order_relaxed) + static_cast<uint64_t>(frames),
                       std::memory_order_relaxed);
        const uint64_t position =
            m_position.load(std::memory_order_relaxed) +
            static_cast<uint64_t>(static_cast<double>(frames) * 256.0 * m_tempo / kOvPositionRate);
        m_position.store(position, std::memory_order_relaxed);
        const int count = GetToneCount();
        for (int i = 0; i < count; ++i) {
            OvTone* t = m_tones[i].get();
            t->ReclaimRetired();
            if (!t->TakeStart())
                continue;
            t->SetPosition(position);
            t->Render(buses, frames);
        }
    }
    m_renderSeq.Leave();
    return frames;
}

// ---------------------------------------------------------------- settings

void OvPlayer::SetNoteListener(midi::Input* listener, int channel)
{
    m_listenerChannel.store(channel, std::memory_order_relaxed);
    m_noteListener.store(listener, std::memory_order_release);
}

bool OvPlayer::PostToEditor(const XEvent& event)
{
    OvEventTarget* editor = GetEditor();
    return editor && editor->PostEvent(event);
}

void OvPlayer::SetPath(const char* path)
{
    if (path)
        m_path = path;
    else
        m_path.Clear();
}

bool OvPlayer::SetOutputNameFormat(const char* format)
{
    if (!format || !IsSafeNameFormat(format))
        return false;
    std::snprintf(m_outputFormat, sizeof(m_outputFormat), "%s", format);
    return true;
}

bool OvPlayer::GetOutputName(int n, kiv::string& out) const
{
    if (n < 0 || n >= kOvMaxBuses)
        return false;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
#pragma GCC diagnostic ignored "-Wformat-security"
    out.Format(m_outputFormat, 2 * n + 1, 2 * n + 2);
#pragma GCC diagnostic pop
    return true;
}

void OvPlayer::SetSampleRate(float rate) { OvEngine::SetOutputRate(rate); }
