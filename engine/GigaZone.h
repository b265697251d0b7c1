// GigaZone: one dimension zone of a region: the playing values read from its
// 'wsmp' and '3ewa' chunks and the sample it plays. Owned by its region; built
// and changed by the loader thread, read by voices on the audio thread while
// the program is loaded. OvZone's gain is the zone gain (0.9 unless the
// file sets it) and its aux field is 1 when the zone ignores the sustain pedal.
#pragma once
#include <cstdint>

#include "engine/GigaConstants.h"
#include "engine/OvZone.h"

class GigaSample;

class GigaZone : public OvZone {
public:
    GigaZone() { m_gain = giga::kZoneGain; }
    ~GigaZone() override;  // releases the sample
    GigaZone(const GigaZone&) = delete;
    GigaZone& operator=(const GigaZone&) = delete;

    // Attaches a sample (counted as one more user), replacing any other.
    void SetSample(GigaSample* sample);
    GigaSample* GetSample() const { return m_sample; }

    // Reads the articulation block: size is the stored size, bytes the first
    // min(size, 256) bytes of it (the rest counts as 0).
    void ReadArticulation(const uint8_t* bytes, int64_t size);

    int waveIndex = -1;

    // 'wsmp'
    int unityNote = -1;
    int fineTune = 0;
    uint32_t options = 0;
    bool looped = false;
    int64_t loopStart = 0;
    int64_t loopEnd = 0;

    // '3ewa': amplitude envelope (seconds, levels 0..1)
    float ampAttack = 0.0f;
    float ampDecay = 0.0f;
    float ampSustain = 1.0f;
    float ampRelease = giga::kZoneReleaseSeconds;
    float ampPreAttack = 0.0f;
    int ampController = 0;          // MIDI controller, 0 none
    bool ampControllerInvert = false;
    int ampAttackInfluence = 0;
    int ampDecayInfluence = 0;
    int ampReleaseInfluence = 0;
    // filter envelope
    float filterAttack = 0.0f;
    float filterDecay = 0.0f;
    float filterSustain = 0.0f;
    float filterRelease = 0.0f;
    float filterPreAttack = 0.0f;
    // velocity response
    int velocityCurve = 0;
    float velocityDepth = giga::kZoneVelocityDepth;
    float velocityScale = 0.0f;
    int attenuationThreshold = 0;
    int64_t sampleStart = 0;        // frames
    bool keyTracking = false;       // pitch follows the key
    bool bypassCC94 = false;
    bool bypassCC95 = false;
    int pan = giga::kZonePan;       // 0..127, 64 centre
    int channelOffset = 0;
    bool sustainDefeat = false;
    bool attenuationControllerInvert = false;
    int attenuationController = 0;
    int velocityUpperLimit = 0;     // 0: none
    int releaseTriggerDecay = 0;
    // filter
    float filterCutoff = 0.0f;
    bool filterEnabled = false;     // bit 7 of the cutoff byte
    int cutoffController = 0;
    bool cutoffControllerInvert = false;
    int filterVelocityScale = 0;
    int filterVelocityCurve = 0;
    float filterVelocityDepth = 0.0f;
    bool filterOn = false;
    uint8_t dimensionLimits[8] = {};  // all 0: the file sets none
    bool selfMask = false;            // copied to the region

private:
    GigaSample* m_sample = nullptr;
};
