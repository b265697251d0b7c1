// Audio-thread safe: plain atomic loads and stores.
#include "engine/OvEngine.h"

#include <atomic>

#include "engine/OvConstants.h"

namespace {
std::atomic<float> g_outputRate{kOvDefaultSampleRate};
std::atomic<bool> g_offline{false};
std::atomic<int64_t> g_offlineGiveUps{0};
}  // namespace

float OvEngine::GetOutputRate() noexcept { return g_outputRate.load(std::memory_order_acquire); }

void OvEngine::SetOutputRate(float rate) noexcept
{
    if (!(rate > 0.0f))
        return;
    g_outputRate.store(rate, std::memory_order_release);
}

bool OvEngine::IsOffline() noexcept { return g_offline.load(std::memory_order_acquire); }

void OvEngine::SetOffline(bool offline) noexcept { g_offline.store(offline, std::memory_order_release); }

void OvEngine::CountOfflineGiveUp() noexcept { g_offlineGiveUps.fetch_add(1, std::memory_order_relaxed); }

int64_t OvEngine::GetOfflineGiveUps() noexcept { return g_offlineGiveUps.load(std::memory_order_relaxed); }

#if defined(__SSE__) || defined(__x86_64__)
#include <xmmintrin.h>

OvDenormalGuard::OvDenormalGuard() noexcept : m_saved(_mm_getcsr())
{
    _mm_setcsr(m_saved | 0x8040u);  // FTZ (bit 15) and DAZ (bit 6)
}

OvDenormalGuard::~OvDenormalGuard() { _mm_setcsr(m_saved); }
#else
OvDenormalGuard::OvDenormalGuard() noexcept = default;
OvDenormalGuard::~OvDenormalGuard() = default;
#endif
