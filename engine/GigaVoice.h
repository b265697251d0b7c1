// GigaVoice: the .gig player's voice: plays one zone of a region for one
// note. At note on (Start) it works out amplitude, pan, crossfade, pitch ratio
// and filter; per block (Render) it fetches sample frames from memory and then
// from its disk stream, resamples them linearly, filters them, shapes them
// with its envelope and adds them into its output bus. Owned by its player's
// pool; set up and rendered by a GigaTone on the audio thread (noexcept, no
// allocation, no lock; the only wait is the bounded one of offline rendering).
//
// Stream hand-over: one atomic slot holds either nothing, "waiting with
// generation g" (odd values) or the attached stream (an aligned pointer).
// The audio thread offers the voice with a new generation, the disk thread
// attaches a stream only with a compare-and-swap from that exact waiting
// value, and the audio thread leaves the stream with an exchange. A voice
// that ended or moved to another note before the disk thread got to it is
// therefore never given a stream, and a stream is never lost to a voice that
// has already left.
#pragma once
#include <atomic>
#include <cstdint>

#include "engine/GigaEnvCurve.h"
#include "engine/GigaVoiceConstants.h"
#include "engine/OvVoice.h"
#include "kiv/file/Log.h"

class GigaRegion;
class GigaSample;
class GigaStream;
class GigaTone;
class GigaZone;

class GigaVoice : public OvVoice, public file::Log {
public:
    GigaVoice() = default;
    ~GigaVoice() override;

    // --- Set by the tone after Setup (audio thread) ---
    // The region the note came from; null for a release-trigger voice, which
    // no note off releases.
    void SetRegion(GigaRegion* region) noexcept { m_region = region; }
    GigaRegion* GetRegion() const noexcept { return m_region; }
    // Release triggers: the amplitude is multiplied by the trigger's gain.
    void ScaleAmplitude(float gain) noexcept;
    // A newer, louder note on a self-masking region: a shorter release, once.
    void ShortenReleaseOnce() noexcept;

    // The velocity curve value for velocity 1..127 (others are clamped):
    // curve 0..2, scale, depth 0..1; at most 1.
    static float VelocityCurve(int curve, float scale, float depth, int velocity) noexcept;
    // The crossfade gain of a controller value with the zone's settings.
    static float CrossfadeGain(int value, bool invert) noexcept;
    // Filter coefficients b0, b1, b2, a1, a2 for a cutoff (false below 0.0005:
    // nothing changes).
    static bool FilterCoefficients(float cutoff, float out[5]) noexcept;

    // State, for the tone and for tests.
    float GetAmplitude() const noexcept { return m_amplitude; }
    double GetRatio() const noexcept { return m_ratio; }
    int GetPanPosition() const noexcept { return m_panPosition; }
    float GetLeftGain() const noexcept { return m_leftGain; }
    float GetRightGain() const noexcept { return m_rightGain; }
    float GetCrossfadeGain() const noexcept { return m_xfadeGain; }
    bool IsFilterEnabled() const noexcept { return m_filterOn; }
    float GetCutoff() const noexcept { return m_cutoff; }
    bool IsStreaming() const noexcept { return m_streams; }
    int64_t GetStreamThreshold() const noexcept { return m_threshold; }
    // Current play position in sample frames (integer part).
    int64_t GetPlayFrame() const noexcept { return m_index; }
    const GigaEnvCurve& GetEnvelope() const noexcept { return m_env; }

    // Audio thread: the voice goes back to the pool; leaves its stream.
    void Stop() noexcept override;

    // Audio thread: asks the disk thread for a stream of sample. The first
    // offer of a note opens a new generation; a refused offer keeps it and is
    // repeated on the next block. True once the request is queued.
    bool OfferToDisk(GigaSample* sample) noexcept;
    // Audio thread: the attached stream, or null while none is.
    GigaStream* GetStream() const noexcept;
    // Audio thread: gives the stream up (it is marked finished) and stops waiting.
    void LeaveStream() noexcept;
    // True while the voice waits for a stream (offered, none attached yet).
    bool IsWaiting() const noexcept;

    // Disk thread: true while the voice still waits with generation.
    bool IsWaitingForStream(uint32_t generation) const noexcept;
    // Disk thread: attaches stream when the voice still waits with generation.
    bool AttachStream(GigaStream* stream, uint32_t generation) noexcept;
    // Disk thread: no stream can be made for the voice waiting with
    // generation (its data cannot be read): the voice stops waiting and ends.
    void DeclineStream(uint32_t generation) noexcept;

protected:
    void Start() noexcept override;
    int Render(audio::Buffers* buses, int frames) noexcept override;

private:
    void ComputePan(int busShift) noexcept;
    void ComputeRatio(int bend) noexcept;
    void SetupFilter() noexcept;
    float LevelProduct() const noexcept;
    int CrossfadeValue() const noexcept;
    // Audio thread: frames count of virtual frame indices from on into left
    // and right (right null for mono); returns the frames delivered (fewer
    // when the sample ends or its stream failed).
    int Fetch(int64_t from, int count, float* left, float* right) noexcept;
    int FetchMemory(int64_t from, int count, float* left, float* right) noexcept;
    int FetchStream(int64_t from, int count, float* left, float* right) noexcept;
    int ReadStream(float* left, float* right, int count) noexcept;
    GigaStream* WaitForStream() noexcept;
    void OfferIfDue() noexcept;
    // Sample frames one block takes at the highest pitch the part's bend can
    // reach: what the stream's rings must be able to hold.
    int64_t ReadPerBlock() const noexcept;
    // A start past the frames in memory: true while the voice still waits,
    // silent and in place, for its stream's first frames (real time only).
    bool AwaitsStreamStart(int frames) noexcept;
    // Filters n frames in place (right null for mono) with the current
    // coefficients; a closed cutoff gives silence.
    void FilterSpan(float* left, float* right, int n) noexcept;
    // The per-frame envelope gains of a chunk's m frames; fewer frames (and
    // ended set) when the envelope finishes inside the chunk.
    int EnvelopeGains(float* gain, int m, int& step, int blockSteps, float gainFrom, float gainTo,
                      bool& ended) noexcept;

    GigaTone* m_gigaTone = nullptr;
    GigaZone* m_gigaZone = nullptr;
    GigaRegion* m_region = nullptr;
    GigaSample* m_sample = nullptr;
    bool m_playable = false;

    // Amplitude and level.
    GigaEnvCurve m_env;
    float m_amplitude = 0.0f;
    float m_levelProduct = -1.0f;
    float m_levelGain = 0.0f;
    float m_appliedGain = 0.0f;   // the whole gain product of the last block
    bool m_firstBlock = true;
    bool m_shortened = false;
    int m_envController = -1;     // last value given to the envelope
    float m_envValue = 0.0f;      // value of the current control step
    int m_envLeft = 0;            // frames left in the current control step

    // Pan and bus.
    int m_basePan = 0;            // tone + zone + part pan - 192
    int m_panPosition = 0;
    float m_leftGain = 1.0f;
    float m_rightGain = 1.0f;
    float m_busLevel = -1.0f;     // as last applied (none before the first block)
    float m_busPan = -2.0f;

    // Crossfade.
    int m_xfadeController = 0;    // 0 none, 130 velocity
    int m_xfadeValue = -1;
    float m_xfadeGain = 1.0f;

    // Sample position.
    const int16_t* m_memLeft = nullptr;
    const int16_t* m_memRight = nullptr;
    int64_t m_memFrames = 0;      // frames in memory
    int64_t m_lastIndex = 0;      // last frame that may be read (frame count - 1)
    bool m_looped = false;
    int64_t m_loopStart = 0;
    int64_t m_loopEnd = 0;
    int64_t m_index = 0;          // integer play position (virtual frame index)
    double m_frac = 0.0;          // fractional play position
    double m_baseRatio = 1.0;
    double m_ratio = 1.0;
    int m_bendApplied = 0;
    bool m_stereo = false;

    // Streaming.
    bool m_streams = false;
    bool m_offered = false;       // the disk thread took the request
    int64_t m_threshold = 0;      // output frames after which the voice offers itself
    int64_t m_streamNext = 0;     // next frame the stream delivers
    float m_carryLeft[gigavoice::kStreamCarry] = {};
    float m_carryRight[gigavoice::kStreamCarry] = {};
    int m_carryCount = 0;         // frames m_streamNext - count .. m_streamNext - 1
    bool m_startWait = false;     // starts in the streamed part: waits for its stream
    int m_blockFrames = 0;        // output frames of the block being rendered (0 before the first)
    int64_t m_startWaited = 0;    // output frames waited so far

    // Filter.
    bool m_filterOn = false;
    float m_cutoff = 0.0f;
    float m_cutoffVelocity = 1.0f;  // velocity term
    int m_cutoffController = 0;
    int m_cutoffValue = -1;
    float m_coef[5] = {};
    float m_filterState[2][4] = {};  // per channel: x1, x2, y1, y2

    // The slot holds 0 (no stream), a waiting value (odd), a stream's
    // address, or this (never an address): the disk thread declined.
    static constexpr uintptr_t kStreamDeclined = 2;
    static bool IsStreamAddress(uintptr_t slot) noexcept { return slot != 0 && (slot & 1u) == 0 && slot != kStreamDeclined; }
    static uintptr_t WaitingValue(uint32_t generation) noexcept
    {
        return (static_cast<uintptr_t>(generation) << 1) | 1u;
    }

    std::atomic<uintptr_t> m_streamSlot{0};
    uint32_t m_generation = 0;  // audio thread only
};
