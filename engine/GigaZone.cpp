#include "engine/GigaZone.h"

#include <algorithm>

#include "engine/GigaBank.h"
#include "engine/GigaSample.h"

namespace {

int32_t I32(const uint8_t* p)
{
    return static_cast<int32_t>(static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
                                (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24));
}

uint16_t U16(const uint8_t* p)
{
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

// Levels are the second of two 16-bit words, in thousandths.
float Level(const uint8_t* p)
{
    return U16(p + 2) / 1000.0f;
}

float Seconds(const uint8_t* p)
{
    return giga::TimeToSeconds(I32(p));
}

float CappedSeconds(const uint8_t* p)
{
    return std::min(Seconds(p), giga::kMaxEnvelopeSeconds);
}

}  // namespace

GigaZone::~GigaZone()
{
    SetSample(nullptr);
}

void GigaZone::SetSample(GigaSample* sample)
{
    if (sample == m_sample)
        return;
    if (sample)
        sample->Retain();
    if (m_sample)
        m_sample->Release();
    m_sample = sample;
}

void GigaZone::ReadArticulation(const uint8_t* bytes, int64_t size)
{
    // Offsets count from just after the size field; stored bytes beyond the
    // buffer read as 0.
    uint8_t a[giga::k3ewaBytes] = {};
    const int64_t n = std::min<int64_t>(std::max<int64_t>(size, 0), giga::k3ewaBytes);
    std::copy(bytes, bytes + n, a);

    ampAttack = Seconds(a + 24);
    ampDecay = CappedSeconds(a + 28);
    ampSustain = Level(a + 32);
    ampRelease = CappedSeconds(a + 36);
    ampController = giga::ControllerFromByte(a[40]);
    ampControllerInvert = (a[41] & 1) != 0;
    ampAttackInfluence = (a[41] >> 1) & 3;
    ampDecayInfluence = (a[41] >> 3) & 3;
    ampReleaseInfluence = (a[41] >> 5) & 3;
    filterAttack = Seconds(a + 48);
    filterDecay = CappedSeconds(a + 52);
    filterSustain = Level(a + 56);
    filterRelease = CappedSeconds(a + 60);
    ampPreAttack = Level(a + 80);
    if (static_cast<uint32_t>(I32(a + 84)) == 0x7FFFFFFFu)
        filterSustain = 1.0f;
    filterPreAttack = Level(a + 88);

    const int v = a[92];
    velocityCurve = (v / 5) % 3;
    velocityDepth = (4 - v % 5) * 0.25f;
    int u = a[94] & 0x7F;
    if (u == 0)
        u = 20;
    if (u > 20)
        velocityScale = u / 20.5f;
    else if (u < 20)
        velocityScale = 1.0f - (20 - u) / 20.0f;
    else
        velocityScale = 1.0f;
    attenuationThreshold = a[95] & 0x7F;
    sampleStart = U16(a + 100);
    keyTracking = (a[104] & 1) == 0;
    bypassCC94 = (a[104] & 0x10) != 0;
    bypassCC95 = (a[104] & 0x20) != 0;
    const int w = a[105];
    pan = w <= 63 ? w + 64 : 127 - w;
    if (pan < 0)
        pan = 0;
    selfMask = (a[106] & 1) != 0;
    attenuationControllerInvert = (a[108] & 0x80) != 0;
    attenuationController = giga::ControllerFromByte(a[109]);
    channelOffset = (a[116] >> 2) & 0xF;
    sustainDefeat = (a[117] & 2) != 0;
    m_aux = sustainDefeat ? 1 : 0;
    velocityUpperLimit = 0;
    if (size > 124 && static_cast<int8_t>(a[120]) > 0)
        velocityUpperLimit = a[120];
    releaseTriggerDecay = size > 128 ? (a[124] & 0xF) : 0;
    filterCutoff = (a[128] & 0x7F) / 127.0f;
    filterEnabled = (a[128] & 0x80) != 0;
    cutoffController = (a[129] & 0x80) ? a[129] - 128 : 0;
    cutoffControllerInvert = (a[130] & 0x80) != 0;
    filterVelocityScale = a[130] & 0x7F;
    const int h = a[134];
    filterVelocityCurve = (h / 5) % 3;
    filterVelocityDepth = (4 - h % 5) * 0.25f;
    filterOn = filterEnabled && (a[135] & 3) == 0;
    for (int k = 0; k < 8; ++k)
        dimensionLimits[k] = size > 140 ? a[136 + k] : 0;
}
