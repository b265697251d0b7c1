// The stages a GigaVoice renders a chunk in, each over whole arrays: the
// play positions, linear interpolation into a scratch block, the low-pass
// filter, the envelope's per-step gains and the pan-and-add into a bus.
// Plain loops without branches in their bodies, so that the compiler can
// vectorise what has no recurrence; noexcept, no allocation, callable alone.
#pragma once

namespace gigavoicestage {

// The output frames j in [0, n) a chunk can produce when frame j plays at
// position frac + j x ratio and needs the fetched frame after it: the first
// j whose right neighbour is not among the got fetched frames (or n).
inline int PlayableFrames(double frac, double ratio, int got, int n) noexcept
{
    auto fits = [&](int j) { return static_cast<int>(frac + j * ratio) + 1 < got; };
    // An estimate from the straight line, then exact steps on the same sums
    // the interpolation makes.
    double guess = (got - 1 - frac) / ratio;
    int j = guess <= 0.0 ? 0 : guess >= n ? n : static_cast<int>(guess);
    while (j > 0 && !fits(j - 1))
        --j;
    while (j < n && fits(j))
        ++j;
    return j;
}

// Integer and fractional parts of the n play positions frac + j x ratio.
inline void Positions(double frac, double ratio, int* index, float* weight, int n) noexcept
{
    for (int j = 0; j < n; ++j) {
        const double p = frac + j * ratio;
        const int k = static_cast<int>(p);
        index[j] = k;
        weight[j] = static_cast<float>(p - k);
    }
}

// out[j] = linear interpolation of in at index[j] + weight[j].
inline void Interpolate(const float* in, const int* index, const float* weight, float* out, int n) noexcept
{
    for (int j = 0; j < n; ++j) {
        const int k = index[j];
        out[j] = in[k] + (in[k + 1] - in[k]) * weight[j];
    }
}

// The two-pole low-pass in place over x; coef b0, b1, b2, a1, a2; state x1,
// x2, y1, y2 carries over to the next call. The sum keeps its order term by
// term: near a closed cutoff the recurrence magnifies any change of rounding.
inline void Filter(const float* coef, float* state, float* x, int n) noexcept
{
    const float b0 = coef[0], b1 = coef[1], b2 = coef[2], a1 = coef[3], a2 = coef[4];
    float x1 = state[0], x2 = state[1], y1 = state[2], y2 = state[3];
    for (int j = 0; j < n; ++j) {
        const float in = x[j];
        const float y = b0 * in + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2;
        x2 = x1;
        x1 = in;
        y2 = y1;
        y1 = y;
        x[j] = y;
    }
    state[0] = x1;
    state[1] = x2;
    state[2] = y1;
    state[3] = y2;
}

// Both channels of a stereo voice in one pass: the two recurrences
// interleave, each with the same sums as Filter.
inline void Filter2(const float* coef, float* stateL, float* stateR, float* l, float* r, int n) noexcept
{
    const float b0 = coef[0], b1 = coef[1], b2 = coef[2], a1 = coef[3], a2 = coef[4];
    float lx1 = stateL[0], lx2 = stateL[1], ly1 = stateL[2], ly2 = stateL[3];
    float rx1 = stateR[0], rx2 = stateR[1], ry1 = stateR[2], ry2 = stateR[3];
    for (int j = 0; j < n; ++j) {
        const float li = l[j];
        const float ri = r[j];
        const float ly = b0 * li + b1 * lx1 + b2 * lx2 - a1 * ly1 - a2 * ly2;
        const float ry = b0 * ri + b1 * rx1 + b2 * rx2 - a1 * ry1 - a2 * ry2;
        lx2 = lx1;
        lx1 = li;
        ly2 = ly1;
        ly1 = ly;
        rx2 = rx1;
        rx1 = ri;
        ry2 = ry1;
        ry1 = ry;
        l[j] = ly;
        r[j] = ry;
    }
    stateL[0] = lx1;
    stateL[1] = lx2;
    stateL[2] = ly1;
    stateL[3] = ly2;
    stateR[0] = rx1;
    stateR[1] = rx2;
    stateR[2] = ry1;
    stateR[3] = ry2;
}

inline void Fill(float* out, float value, int n) noexcept
{
    for (int j = 0; j < n; ++j)
        out[j] = value;
}

// out[j] += x[j] x gain[j] x pan: one channel of the voice into its bus.
inline void Mix(float* __restrict out, const float* __restrict x, const float* __restrict gain, float pan,
                int n) noexcept
{
    for (int j = 0; j < n; ++j)
        out[j] += x[j] * gain[j] * pan;
}

}  // namespace gigavoicestage
