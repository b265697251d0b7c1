// The stereo filter for processors with 256-bit vector units (AVX2), chosen
// at run time: both channels in one register, the same sums as FilterFast2
// lane for lane, so a voice renders the same on either processor.
#pragma once

namespace gigavoicestage {

struct FilterBlock;

// True when this processor runs the wide forms.
bool HasWide() noexcept;

void FilterFast2Wide(const float* coef, const FilterBlock& block, float* stateL, float* stateR, float* l, float* r,
                     int n) noexcept;

}  // namespace gigavoicestage
