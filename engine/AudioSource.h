// audio::Source: anything that renders into a bus set (the studio, the
// player, hosted effects). Render runs on the host's audio thread.
#pragma once

namespace audio {

class Buffers;

class Source {
public:
    virtual ~Source() = default;
    // Renders frames frames into the bus set; returns the frames rendered.
    virtual int Render(Buffers* buses, int frames) noexcept = 0;
};

}  // namespace audio
