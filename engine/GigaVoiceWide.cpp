#include "engine/GigaVoiceWide.h"

#include "engine/GigaVoiceStages.h"

namespace gigavoicestage {

namespace {

using V8 = float __attribute__((vector_size(32)));

bool Detect() noexcept
{
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
}

// Read once, before any audio thread runs.
const bool s_wide = Detect();

}  // namespace

bool HasWide() noexcept
{
    return s_wide;
}

namespace {

// Four values in both halves of a register.
__attribute__((target("avx2"))) inline V8 Both(const float* v) noexcept
{
    return V8{v[0], v[1], v[2], v[3], v[0], v[1], v[2], v[3]};
}

}  // namespace

// FilterFast2 with both channels in one register, left in the low half and
// right in the high half: the same products and sums per lane.
__attribute__((target("avx2"))) void FilterFast2Wide(const float* coef, const FilterBlock& block, float* stateL,
                                                     float* stateR, float* l, float* r, int n) noexcept
{
    constexpr int kPiece = 256;
    float fl[kPiece];
    float fr[kPiece];
    const V8 c0 = Both(block.c[0]), c1 = Both(block.c[1]), c2 = Both(block.c[2]), c3 = Both(block.c[3]);
    const V8 p = Both(block.p), q = Both(block.q);
    V8 y1 = {stateL[2], stateL[2], stateL[2], stateL[2], stateR[2], stateR[2], stateR[2], stateR[2]};
    V8 y2 = {stateL[3], stateL[3], stateL[3], stateL[3], stateR[3], stateR[3], stateR[3], stateR[3]};
    for (int at = 0; at < n; at += kPiece) {
        const int m = n - at < kPiece ? n - at : kPiece;
        float* ls = l + at;
        float* rs = r + at;
        detail::FeedForward(coef, stateL, ls, fl, m);
        detail::FeedForward(coef, stateR, rs, fr, m);
        int j = 0;
        for (; j + 4 <= m; j += 4) {
            const V8 f = __builtin_shufflevector(detail::Load(fl + j), detail::Load(fr + j), 0, 1, 2, 3, 4, 5, 6, 7);
            const V8 f0 = __builtin_shufflevector(f, f, 0, 0, 0, 0, 4, 4, 4, 4);
            const V8 f1 = __builtin_shufflevector(f, f, 1, 1, 1, 1, 5, 5, 5, 5);
            const V8 f2 = __builtin_shufflevector(f, f, 2, 2, 2, 2, 6, 6, 6, 6);
            const V8 f3 = __builtin_shufflevector(f, f, 3, 3, 3, 3, 7, 7, 7, 7);
            const V8 s = (f0 * c0 + f1 * c1) + (f2 * c2 + f3 * c3);
            const V8 y = s + (y1 * p + y2 * q);
            detail::Store(ls + j, __builtin_shufflevector(y, y, 0, 1, 2, 3));
            detail::Store(rs + j, __builtin_shufflevector(y, y, 4, 5, 6, 7));
            y1 = __builtin_shufflevector(y, y, 3, 3, 3, 3, 7, 7, 7, 7);
            y2 = __builtin_shufflevector(y, y, 2, 2, 2, 2, 6, 6, 6, 6);
        }
        float y[4] = {y1[0], y2[0], y1[4], y2[4]};
        detail::Tail2(coef, fl, fr, ls, rs, j, m, y);
        y1 = V8{y[0], y[0], y[0], y[0], y[2], y[2], y[2], y[2]};
        y2 = V8{y[1], y[1], y[1], y[1], y[3], y[3], y[3], y[3]};
    }
    stateL[2] = y1[0];
    stateL[3] = y2[0];
    stateR[2] = y1[4];
    stateR[3] = y2[4];
}

}  // namespace gigavoicestage
