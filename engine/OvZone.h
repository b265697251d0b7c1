// OvZone: the base of a zone that a voice plays (GigaZone fills it). Built
// by the loader thread, read by the audio thread while the zone's program is
// loaded.
#pragma once
#include <cstdint>

class OvZone {
public:
    virtual ~OvZone() = default;

    // Two fields whose meaning the format's zone gives.
    float m_gain = 1.0f;
    int32_t m_aux = 0;
};
