// giglibgig: writes a .gig test file with Debian's libgig, a writer that
// shares nothing with this project's own fixture writer. The file holds one
// instrument with one stereo region: a sample-channel dimension (libgig
// always puts it in the first slot) and a velocity dimension of four zones
// with uneven upper limits, set through libgig's per-dimension limit bytes.
// Each velocity zone plays its own stereo sample (a constant value per zone
// and channel).
//
//   giglibgig OUT.gig
#include <gig.h>

#include <cstdint>
#include <cstdio>
#include <exception>
#include <vector>

namespace {

constexpr int kZones = 4;
constexpr int kFrames = 4000;
const uint8_t kLimits[kZones] = {20, 50, 90, 127};

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: giglibgig OUT.gig\n");
        return 2;
    }
    try {
        gig::File file;
        file.pInfo->Name = "libgig dimensions";
        std::vector<gig::Sample*> samples;
        for (int z = 0; z < kZones; ++z) {
            gig::Sample* s = file.AddSample();
            s->pInfo->Name = "Zone " + std::to_string(z);
            s->Channels = 2;
            s->BitDepth = 16;
            s->FrameSize = 4;
            s->SamplesPerSecond = 44100;
            s->AverageBytesPerSecond = 44100 * 4;
            s->BlockAlign = 4;
            s->MIDIUnityNote = 60;
            s->Resize(kFrames);
            samples.push_back(s);
        }
        gig::Instrument* instrument = file.AddInstrument();
        instrument->pInfo->Name = "Velocity before channel";
        gig::Region* region = instrument->AddRegion();
        region->SetKeyRange(0, 127);
        gig::dimension_def_t velocity{};
        velocity.dimension = gig::dimension_velocity;
        velocity.bits = 2;
        velocity.zones = kZones;
        region->AddDimension(&velocity);
        gig::dimension_def_t channel{};
        channel.dimension = gig::dimension_samplechannel;
        channel.bits = 1;
        channel.zones = 2;
        region->AddDimension(&channel);
        // The velocity dimension's place among the region's dimensions and
        // its bits in the zone index, wherever libgig put it.
        int place = -1;
        int shift = 0;
        for (int d = 0, bit = 0; d < static_cast<int>(region->Dimensions); ++d) {
            if (region->pDimensionDefinitions[d].dimension == gig::dimension_velocity) {
                place = d;
                shift = bit;
            }
            bit += region->pDimensionDefinitions[d].bits;
        }
        if (place < 0) {
            std::fprintf(stderr, "giglibgig: no velocity dimension\n");
            return 1;
        }
        for (int i = 0; i < static_cast<int>(region->DimensionRegions); ++i) {
            gig::DimensionRegion* zone = region->pDimensionRegions[i];
            const int v = (i >> shift) & (kZones - 1);
            zone->pSample = samples[v];
            zone->DimensionUpperLimits[place] = kLimits[v];
        }
        file.Save(argv[1]);
        // Sample data goes in once the file has its layout.
        for (int z = 0; z < kZones; ++z) {
            std::vector<int16_t> frames(kFrames * 2);
            for (int f = 0; f < kFrames; ++f) {
                frames[f * 2] = static_cast<int16_t>(1000 * (z + 1));
                frames[f * 2 + 1] = static_cast<int16_t>(-1000 * (z + 1));
            }
            samples[z]->Write(frames.data(), kFrames);
        }
        file.Save();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "giglibgig: %s\n", e.what());
        return 1;
    } catch (...) {
        std::fprintf(stderr, "giglibgig: the library failed\n");
        return 1;
    }
    return 0;
}
