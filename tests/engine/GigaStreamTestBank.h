// A bank whose samples stream: known 16-bit values, a short preload.
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "engine/GigaBank.h"
#include "engine/GigaBankHooks.h"
#include "engine/GigaConstants.h"
#include "gig/GigWriter.h"

namespace streamtest {

// Value of frame i of channel ch: distinct, covering the 16-bit range.
inline int32_t Value(int64_t i, int ch)
{
    return static_cast<int32_t>((i * 37 + ch * 11111) % 65536) - 32768;
}

inline float Expected(int64_t i, int ch)
{
    return static_cast<float>(Value(i, ch)) * giga::kInt16StreamScale;
}

// Writes a bank of one instrument playing one sample of `frames` frames and
// opens it with a 0.2 s preload, so everything past 8820 frames streams.
struct StreamBank {
    GigaBank bank;
    GigaProgram* program = nullptr;

    bool Make(const std::string& path, int channels, uint32_t frames)
    {
        gigtools::GigBuilder b;
        gigtools::GigSample s;
        s.name = "Ramp";
        s.channels = channels;
        s.values.resize(static_cast<size_t>(frames) * channels);
        for (uint32_t i = 0; i < frames; ++i)
            for (int ch = 0; ch < channels; ++ch)
                s.values[static_cast<size_t>(i) * channels + ch] = Value(i, ch);
        int handle = b.AddSample(s);
        gigtools::GigInstrument ins("Ramp");
        ins.regions.push_back(gigtools::GigRegion::Single(0, 127, handle, channels == 2));
        b.AddInstrument(ins);
        if (!b.Write(path) || !bank.Open(path.c_str()))
            return false;
        GigaHooks::SetPreloadSeconds(0.2f, 0.2f);
        program = bank.LoadProgram(0, nullptr);
        GigaHooks::SetPreloadSeconds(1.0f, 3.0f);
        return program != nullptr;
    }
    GigaSample* Sample() { return bank.GetSample(0); }
    ~StreamBank()
    {
        if (program)
            program->Release();
    }
};

}  // namespace streamtest
