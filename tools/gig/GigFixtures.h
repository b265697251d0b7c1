// The named test banks that gigfixtures writes and that tests and the demo
// use: plausible sounding instruments (decaying partials, drum hits) built
// with GigBuilder. Test tooling only.
#pragma once
#include <string>
#include <vector>

#include "gig/GigWriter.h"

namespace gigtools {

struct GigFixture {
    std::string stem;          // file name without ".gig" ("Demo Piano")
    std::string description;
    GigBuilder bank;
};

// "Demo Piano": two instruments sharing four regions of 16-bit mono tones with
// four velocity layers each; each tone decays and ends in silence (1.5 s,
// the last 0.6 s faded out).
GigFixture DemoPianoFixture();
// "Round Robin Drum": one region with a 4-zone round-robin dimension.
GigFixture RoundRobinDrumFixture();
// "Stereo Pad": 24-bit stereo looped tones.
GigFixture StereoPadFixture();
// "Compressed Bank": compressed samples, mono/stereo x 16/24 bits.
GigFixture CompressedFixture();
// "Extension Bank": samples in the .gig and in "Extension Bank.gx01".
GigFixture ExtensionFixture();
// "Dimensions": layer, release-trigger, key-switch and controller dimensions.
GigFixture DimensionsFixture();

std::vector<GigFixture> AllFixtures();

// Writes every fixture into `folder`; returns the .gig paths written (empty on
// failure).
std::vector<std::string> WriteAllFixtures(const std::string& folder);

}  // namespace gigtools
