// The stages a GigaVoice renders a chunk in, each over whole arrays: linear
// interpolation at the play positions into a scratch block, the low-pass
// filter, the envelope's per-step gains and the pan-and-add into a bus.
// Loops over whole arrays, in vectors where the work allows; noexcept, no
// allocation, each callable alone.
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

namespace detail {

using V4 = float __attribute__((vector_size(16)));
using V2D = double __attribute__((vector_size(16)));
using V2I = int __attribute__((vector_size(8)));
using V2F = float __attribute__((vector_size(8)));

inline V4 Load(const float* p) noexcept
{
    V4 v;
    __builtin_memcpy(&v, p, sizeof(v));
    return v;
}

inline void Store(float* p, V4 v) noexcept
{
    __builtin_memcpy(p, &v, sizeof(v));
}

inline V4 Splat(float f) noexcept
{
    return V4{f, f, f, f};
}

// Whole and fractional parts of two play positions frac + j x ratio, with
// the scalar sums' values.
inline V2F Split(double frac, double ratio, V2D j, V2I& k) noexcept
{
    const V2D p = frac + j * ratio;
    k = __builtin_convertvector(p, V2I);
    return __builtin_convertvector(p - __builtin_convertvector(k, V2D), V2F);
}

// The frames at k and k + 1, side by side.
inline V2F Pair(const float* in, int k) noexcept
{
    V2F v;
    __builtin_memcpy(&v, in + k, sizeof(v));
    return v;
}

// Four interpolated frames of in at k0..k3 with weights w: each frame and
// its right neighbour in one load, then sorted into the two sides.
inline V4 Lerp4(const float* in, const V2I& k01, const V2I& k23, V4 w) noexcept
{
    const V4 x01 = __builtin_shufflevector(Pair(in, k01[0]), Pair(in, k01[1]), 0, 2, 1, 3);
    const V4 x23 = __builtin_shufflevector(Pair(in, k23[0]), Pair(in, k23[1]), 0, 2, 1, 3);
    const V4 a = __builtin_shufflevector(x01, x23, 0, 1, 4, 5);
    const V4 b = __builtin_shufflevector(x01, x23, 2, 3, 6, 7);
    return a + (b - a) * w;
}

}  // namespace detail

// out[j] = in at play position frac + j x ratio, linearly interpolated
// between the fetched frame below it and the one after; outR from inR when
// the voice is stereo (null otherwise). Four frames at a time: the positions
// as pairs of doubles, the same sums as frame by frame.
inline void Resample(const float* inL, const float* inR, double frac, double ratio, float* outL, float* outR,
                     int n) noexcept
{
    int j = 0;
    // Whole numbers count exactly in doubles: j and j + 1 as a pair.
    detail::V2D at = {0.0, 1.0};
    for (; j + 4 <= n; j += 4, at += 4.0) {
        detail::V2I k01, k23;
        const detail::V2F w01 = detail::Split(frac, ratio, at, k01);
        const detail::V2F w23 = detail::Split(frac, ratio, at + 2.0, k23);
        const detail::V4 w = __builtin_shufflevector(w01, w23, 0, 1, 2, 3);
        detail::Store(outL + j, detail::Lerp4(inL, k01, k23, w));
        if (inR)
            detail::Store(outR + j, detail::Lerp4(inR, k01, k23, w));
    }
    for (; j < n; ++j) {
        const double p = frac + j * ratio;
        const int k = static_cast<int>(p);
        const float w = static_cast<float>(p - k);
        outL[j] = inL[k] + (inL[k + 1] - inL[k]) * w;
        if (inR)
            outR[j] = inR[k] + (inR[k + 1] - inR[k]) * w;
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

// The filter's recurrence y = f - a1 y1 - a2 y2 (f the feed-forward sum)
// unrolled over four frames: the four outputs are the four f's through the
// impulse response h (columns c0..c3) plus the last two outputs through p and
// q. Four frames then wait on one multiply and add of the previous outputs
// instead of four chained recurrences. The terms round differently from the
// frame-by-frame sum: close to a closed cutoff, where the poles sit at 1 and
// rounding grows, the caller keeps to Filter.
struct FilterBlock {
    float c[4][4];  // c[k][i]: the weight of f[k] in y[i]
    float p[4];     // the weight of the output before the block
    float q[4];     // the weight of the output two before it
};

inline void MakeFilterBlock(const float* coef, FilterBlock& block) noexcept
{
    const double a1 = coef[3], a2 = coef[4];
    double h[4], p[4], q[4];
    h[0] = 1.0;
    h[1] = -a1;
    p[0] = -a1;
    p[1] = -a1 * p[0] - a2;
    q[0] = -a2;
    q[1] = -a1 * q[0];
    for (int i = 2; i < 4; ++i) {
        h[i] = -a1 * h[i - 1] - a2 * h[i - 2];
        p[i] = -a1 * p[i - 1] - a2 * p[i - 2];
        q[i] = -a1 * q[i - 1] - a2 * q[i - 2];
    }
    for (int k = 0; k < 4; ++k)
        for (int i = 0; i < 4; ++i)
            block.c[k][i] = i < k ? 0.0f : static_cast<float>(h[i - k]);
    for (int i = 0; i < 4; ++i) {
        block.p[i] = static_cast<float>(p[i]);
        block.q[i] = static_cast<float>(q[i]);
    }
}

namespace detail {

// f[j] = b0 x[j] + b1 x[j-1] + b2 x[j-2] for the n frames of x, the frames
// before it from the state; the state's inputs move on.
inline void FeedForward(const float* coef, float* state, const float* x, float* f, int n) noexcept
{
    const float b0 = coef[0], b1 = coef[1], b2 = coef[2];
    const float x1 = state[0], x2 = state[1];
    f[0] = b0 * x[0] + b1 * x1 + b2 * x2;
    if (n > 1)
        f[1] = b0 * x[1] + b1 * x[0] + b2 * x1;
    for (int j = 2; j < n; ++j)
        f[j] = b0 * x[j] + b1 * x[j - 1] + b2 * x[j - 2];
    state[1] = n > 1 ? x[n - 2] : x1;
    state[0] = x[n - 1];
}

// Four frames of one channel from f at j into y; y1, y2 the last outputs.
inline V4 Step4(const FilterBlock& k, const float* f, float y1, float y2) noexcept
{
    const V4 s = (Splat(f[0]) * Load(k.c[0]) + Splat(f[1]) * Load(k.c[1])) +
                 (Splat(f[2]) * Load(k.c[2]) + Splat(f[3]) * Load(k.c[3]));
    return s + (Splat(y1) * Load(k.p) + Splat(y2) * Load(k.q));
}

// The frames from j to m that do not fill a group of four, frame by frame:
// y = f - a1 y1 - a2 y2 for both channels; y holds y1, y2 of the left
// channel, then of the right, and moves on.
inline void Tail2(const float* coef, const float* fl, const float* fr, float* l, float* r, int j, int m,
                  float* y) noexcept
{
    const float a1 = coef[3], a2 = coef[4];
    for (; j < m; ++j) {
        const float yl = fl[j] - a1 * y[0] - a2 * y[1];
        const float yr = fr[j] - a1 * y[2] - a2 * y[3];
        y[1] = y[0];
        y[0] = yl;
        y[3] = y[2];
        y[2] = yr;
        l[j] = yl;
        r[j] = yr;
    }
}

}  // namespace detail

// Filter over blocks of four frames (see FilterBlock); the same state as
// Filter, which may take over at any call.
inline void FilterFast(const float* coef, const FilterBlock& block, float* state, float* x, int n) noexcept
{
    constexpr int kPiece = 256;
    float f[kPiece];
    const float a1 = coef[3], a2 = coef[4];
    float y1 = state[2], y2 = state[3];
    for (int at = 0; at < n; at += kPiece) {
        const int m = n - at < kPiece ? n - at : kPiece;
        float* xs = x + at;
        detail::FeedForward(coef, state, xs, f, m);
        int j = 0;
        for (; j + 4 <= m; j += 4) {
            const detail::V4 y = detail::Step4(block, f + j, y1, y2);
            detail::Store(xs + j, y);
            y1 = y[3];
            y2 = y[2];
        }
        for (; j < m; ++j) {
            const float y = f[j] - a1 * y1 - a2 * y2;
            y2 = y1;
            y1 = y;
            xs[j] = y;
        }
    }
    state[2] = y1;
    state[3] = y2;
}

// Both channels, their four-frame steps interleaved.
inline void FilterFast2(const float* coef, const FilterBlock& block, float* stateL, float* stateR, float* l, float* r,
                        int n) noexcept
{
    constexpr int kPiece = 256;
    float fl[kPiece];
    float fr[kPiece];
    // The last two outputs of the left channel, then of the right.
    float y[4] = {stateL[2], stateL[3], stateR[2], stateR[3]};
    for (int at = 0; at < n; at += kPiece) {
        const int m = n - at < kPiece ? n - at : kPiece;
        float* ls = l + at;
        float* rs = r + at;
        detail::FeedForward(coef, stateL, ls, fl, m);
        detail::FeedForward(coef, stateR, rs, fr, m);
        int j = 0;
        for (; j + 4 <= m; j += 4) {
            const detail::V4 yl = detail::Step4(block, fl + j, y[0], y[1]);
            const detail::V4 yr = detail::Step4(block, fr + j, y[2], y[3]);
            detail::Store(ls + j, yl);
            detail::Store(rs + j, yr);
            y[0] = yl[3];
            y[1] = yl[2];
            y[2] = yr[3];
            y[3] = yr[2];
        }
        detail::Tail2(coef, fl, fr, ls, rs, j, m, y);
    }
    stateL[2] = y[0];
    stateL[3] = y[1];
    stateR[2] = y[2];
    stateR[3] = y[3];
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

// Both channels of the voice into the bus in one pass over the gains.
inline void Mix2(float* __restrict outL, float* __restrict outR, const float* __restrict xL,
                 const float* __restrict xR, const float* __restrict gain, float panL, float panR, int n) noexcept
{
    for (int j = 0; j < n; ++j) {
        outL[j] += xL[j] * gain[j] * panL;
        outR[j] += xR[j] * gain[j] * panR;
    }
}

}  // namespace gigavoicestage
