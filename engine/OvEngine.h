// Process-wide engine values shared by the shell, the players, the voices
// and the streams: the output sample rate (set by the host's thread, read by
// the audio and disk threads) and the offline flag (set by the plug-in's
// resume when the host renders offline).
#pragma once
#include <cstdint>

class OvEngine {
public:
    static float GetOutputRate() noexcept;
    static void SetOutputRate(float rate) noexcept;  // ignores rates <= 0
    static bool IsOffline() noexcept;
    static void SetOffline(bool offline) noexcept;
    // Offline waits for stream data that ran their whole bound without it
    // (the statistics count them; any thread).
    static void CountOfflineGiveUp() noexcept;
    static int64_t GetOfflineGiveUps() noexcept;
};

// Flushes denormals (FTZ/DAZ) for the life of the object, then restores the
// caller's mode. Audio thread, around rendering.
class OvDenormalGuard {
public:
    OvDenormalGuard() noexcept;
    ~OvDenormalGuard();
    OvDenormalGuard(const OvDenormalGuard&) = delete;
    OvDenormalGuard& operator=(const OvDenormalGuard&) = delete;

private:
    unsigned m_saved = 0;
};
