#include "analysis/fft.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <numbers>

// The passes are built three times on x86-64 Linux, for AVX-512 (whose 32
// vector registers keep the 16-point butterflies out of the stack), for
// AVX2/FMA and for the base instruction set; the loader picks one for the
// processor at hand.
#if defined(__x86_64__) && defined(__linux__) && (defined(__GNUC__) || defined(__clang__))
#define KR40_FFT_CLONES __attribute__((target_clones("arch=x86-64-v4", "arch=x86-64-v3", "default")))
#else
#define KR40_FFT_CLONES
#endif
#if defined(__GNUC__) || defined(__clang__)
#define KR40_FFT_INLINE inline __attribute__((always_inline))
#elif defined(_MSC_VER)
#define KR40_FFT_INLINE __forceinline
#else
#define KR40_FFT_INLINE inline
#endif

namespace kr40 {

namespace {

// Four-lane vectors with GCC 12 or later (__builtin_shufflevector); Clang
// refuses to pass them between the always inlined helpers in the base-ISA
// clone, so it (like MSVC and older GCC) takes the plain passes only.
#if defined(__GNUC__) && !defined(__clang__) && __GNUC__ >= 12
// The vector helpers are always inlined, so the ABI note for passing vectors
// between differently compiled clones does not apply; GCC reports it at the
// end of the file, hence no pop.
#pragma GCC diagnostic ignored "-Wpsabi"
typedef double V4 __attribute__((vector_size(32)));

KR40_FFT_INLINE V4 Load4(const double* p)
{
    V4 v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
KR40_FFT_INLINE void Store4(double* p, const V4& v)
{
    std::memcpy(p, &v, sizeof v);
}
KR40_FFT_INLINE V4 Reverse4(const V4& v)
{
    return __builtin_shufflevector(v, v, 3, 2, 1, 0);
}
#define KR40_FFT_VECTORS 1
#else
#define KR40_FFT_VECTORS 0
#endif

// Complex values of T = double or, where available, of four lanes.
template <typename T>
struct Cx {
    T r, i;
};
template <typename T>
KR40_FFT_INLINE Cx<T> operator+(const Cx<T>& a, const Cx<T>& b)
{
    return {a.r + b.r, a.i + b.i};
}
template <typename T>
KR40_FFT_INLINE Cx<T> operator-(const Cx<T>& a, const Cx<T>& b)
{
    return {a.r - b.r, a.i - b.i};
}
template <typename T>
KR40_FFT_INLINE Cx<T> operator*(const Cx<T>& a, const Cx<T>& b)
{
    return {a.r * b.r - a.i * b.i, a.r * b.i + a.i * b.r};
}
template <typename T>
KR40_FFT_INLINE Cx<T> Scale(const Cx<T>& a, double re, double im)
{
    return {a.r * re - a.i * im, a.r * im + a.i * re};
}
template <typename T>
KR40_FFT_INLINE Cx<T> MulMinusI(const Cx<T>& a)
{
    return {a.i, -a.r};
}

// Forward 4-point transform in place.
template <typename T>
KR40_FFT_INLINE void Dft4(Cx<T>& a, Cx<T>& b, Cx<T>& c, Cx<T>& d)
{
    const Cx<T> t0 = a + c, t1 = a - c, t2 = b + d, t3 = MulMinusI(b - d);
    a = t0 + t2;
    b = t1 + t3;
    c = t0 - t2;
    d = t1 - t3;
}

#if KR40_FFT_VECTORS
KR40_FFT_INLINE V4 Splat(double v)
{
    return V4{v, v, v, v};
}

// Rows of the 4 x 4 matrix (a, b, c, d) become its columns.
KR40_FFT_INLINE void Transpose4(V4& a, V4& b, V4& c, V4& d)
{
    const V4 t0 = __builtin_shufflevector(a, b, 0, 4, 2, 6), t1 = __builtin_shufflevector(a, b, 1, 5, 3, 7);
    const V4 t2 = __builtin_shufflevector(c, d, 0, 4, 2, 6), t3 = __builtin_shufflevector(c, d, 1, 5, 3, 7);
    a = __builtin_shufflevector(t0, t2, 0, 1, 4, 5);
    b = __builtin_shufflevector(t1, t3, 0, 1, 4, 5);
    c = __builtin_shufflevector(t0, t2, 2, 3, 6, 7);
    d = __builtin_shufflevector(t1, t3, 2, 3, 6, 7);
}
#endif

// Radix-4 decimation-in-frequency butterfly: the 4-point transform of
// (a, b, c, d), outputs 1 .. 3 times w1 .. w3.
template <typename T>
KR40_FFT_INLINE void Radix4(Cx<T>& a, Cx<T>& b, Cx<T>& c, Cx<T>& d, const Cx<T>& w1, const Cx<T>& w2, const Cx<T>& w3)
{
    Dft4(a, b, c, d);
    b = b * w1;
    c = c * w2;
    d = d * w3;
}

// One radix-4 pass over n = 4 m complex values whose input is the packed real
// sequence (z[j] = x[2j] + i x[2j+1]); stride 1, so each p is one butterfly.
KR40_FFT_CLONES
void FirstPass4(int m, const double* __restrict x, double* __restrict yr, double* __restrict yi,
                const double* __restrict tw)
{
    const double* w1r = tw;
    const double* w1i = tw + m;
    const double* w2r = tw + 2 * m;
    const double* w2i = tw + 3 * m;
    const double* w3r = tw + 4 * m;
    const double* w3i = tw + 5 * m;
    const double* xa = x;
    const double* xb = x + 2 * m;
    const double* xc = x + 4 * m;
    const double* xd = x + 6 * m;
    for (int p = 0; p < m; ++p) {
        const double ar = xa[2 * p], ai = xa[2 * p + 1];
        const double br = xb[2 * p], bi = xb[2 * p + 1];
        const double cr = xc[2 * p], ci = xc[2 * p + 1];
        const double dr = xd[2 * p], di = xd[2 * p + 1];
        const double t0r = ar + cr, t0i = ai + ci;
        const double t1r = ar - cr, t1i = ai - ci;
        const double t2r = br + dr, t2i = bi + di;
        const double t3r = bi - di, t3i = dr - br;  // -i (b - d)
        const double u1r = t1r + t3r, u1i = t1i + t3i;
        const double u2r = t0r - t2r, u2i = t0i - t2i;
        const double u3r = t1r - t3r, u3i = t1i - t3i;
        yr[4 * p] = t0r + t2r;
        yi[4 * p] = t0i + t2i;
        yr[4 * p + 1] = u1r * w1r[p] - u1i * w1i[p];
        yi[4 * p + 1] = u1r * w1i[p] + u1i * w1r[p];
        yr[4 * p + 2] = u2r * w2r[p] - u2i * w2i[p];
        yi[4 * p + 2] = u2r * w2i[p] + u2i * w2r[p];
        yr[4 * p + 3] = u3r * w3r[p] - u3i * w3i[p];
        yi[4 * p + 3] = u3r * w3i[p] + u3i * w3r[p];
    }
}

// The butterflies of s contiguous values that share one set of twiddles.
KR40_FFT_INLINE void Butterflies4(int s, const double* __restrict ar, const double* __restrict ai,
                                  const double* __restrict br, const double* __restrict bi, const double* __restrict cr,
                                  const double* __restrict ci, const double* __restrict dr, const double* __restrict di,
                                  double* __restrict y0r, double* __restrict y0i, double* __restrict y1r,
                                  double* __restrict y1i, double* __restrict y2r, double* __restrict y2i,
                                  double* __restrict y3r, double* __restrict y3i, double w1r, double w1i, double w2r,
                                  double w2i, double w3r, double w3i)
{
    for (int q = 0; q < s; ++q) {
        const double t0r = ar[q] + cr[q], t0i = ai[q] + ci[q];
        const double t1r = ar[q] - cr[q], t1i = ai[q] - ci[q];
        const double t2r = br[q] + dr[q], t2i = bi[q] + di[q];
        const double t3r = bi[q] - di[q], t3i = dr[q] - br[q];
        const double u1r = t1r + t3r, u1i = t1i + t3i;
        const double u2r = t0r - t2r, u2i = t0i - t2i;
        const double u3r = t1r - t3r, u3i = t1i - t3i;
        y0r[q] = t0r + t2r;
        y0i[q] = t0i + t2i;
        y1r[q] = u1r * w1r - u1i * w1i;
        y1i[q] = u1r * w1i + u1i * w1r;
        y2r[q] = u2r * w2r - u2i * w2i;
        y2i[q] = u2r * w2i + u2i * w2r;
        y3r[q] = u3r * w3r - u3i * w3i;
        y3i[q] = u3r * w3i + u3i * w3r;
    }
}

// A radix-4 Stockham pass of length 4 m at stride s (s >= 4). With a
// constant stride (the passes right after the first) the butterflies of one p
// become straight-line code over a vector or two instead of a loop.
template <int FixedStride>
KR40_FFT_INLINE void Pass4Body(int m, int stride, const double* __restrict xr, const double* __restrict xi,
                               double* __restrict yr, double* __restrict yi, const double* __restrict tw)
{
    const int s = FixedStride != 0 ? FixedStride : stride;
    const std::ptrdiff_t quarter = static_cast<std::ptrdiff_t>(s) * m;
    for (int p = 0; p < m; ++p) {
        const std::ptrdiff_t in = static_cast<std::ptrdiff_t>(s) * p;
        const std::ptrdiff_t out = 4 * in;
        Butterflies4(s, xr + in, xi + in, xr + in + quarter, xi + in + quarter, xr + in + 2 * quarter,
                     xi + in + 2 * quarter, xr + in + 3 * quarter, xi + in + 3 * quarter, yr + out, yi + out,
                     yr + out + s, yi + out + s, yr + out + 2 * s, yi + out + 2 * s, yr + out + 3 * s, yi + out + 3 * s,
                     tw[p], tw[m + p], tw[2 * m + p], tw[3 * m + p], tw[4 * m + p], tw[5 * m + p]);
    }
}

KR40_FFT_CLONES
void Pass4(int m, int s, const double* __restrict xr, const double* __restrict xi, double* __restrict yr,
           double* __restrict yi, const double* __restrict tw)
{
#if KR40_FFT_VECTORS
    // Four values of q at a time (s is a multiple of 4).
    const std::ptrdiff_t quarter = static_cast<std::ptrdiff_t>(s) * m;
    for (int p = 0; p < m; ++p) {
        const Cx<V4> w1{Splat(tw[p]), Splat(tw[m + p])}, w2{Splat(tw[2 * m + p]), Splat(tw[3 * m + p])},
            w3{Splat(tw[4 * m + p]), Splat(tw[5 * m + p])};
        const std::ptrdiff_t in = static_cast<std::ptrdiff_t>(s) * p;
        const std::ptrdiff_t out = 4 * in;
        for (int q = 0; q < s; q += 4) {
            Cx<V4> v[4];
            for (int j = 0; j < 4; ++j) v[j] = {Load4(xr + in + j * quarter + q), Load4(xi + in + j * quarter + q)};
            Radix4(v[0], v[1], v[2], v[3], w1, w2, w3);
            for (int j = 0; j < 4; ++j) {
                Store4(yr + out + j * s + q, v[j].r);
                Store4(yi + out + j * s + q, v[j].i);
            }
        }
    }
#else
    if (s == 4)
        Pass4Body<4>(m, s, xr, xi, yr, yi, tw);
    else if (s == 16)
        Pass4Body<16>(m, s, xr, xi, yr, yi, tw);
    else
        Pass4Body<0>(m, s, xr, xi, yr, yi, tw);
#endif
}

// The closing radix-2 pass at stride s = n / 2: twiddles are all 1.
KR40_FFT_CLONES
void LastPass2(int s, const double* __restrict xr, const double* __restrict xi, double* __restrict yr,
               double* __restrict yi)
{
    for (int q = 0; q < s; ++q) {
        const double ar = xr[q], ai = xi[q], br = xr[q + s], bi = xi[q + s];
        yr[q] = ar + br;
        yi[q] = ai + bi;
        yr[q + s] = ar - br;
        yi[q + s] = ai - bi;
    }
}

// The spectrum X of the real sequence from the transform Z of its n packed
// pairs: with A = Z[k], B = conj(Z[n - k]) (Z[n] = Z[0]) and w = e^(-i pi k / n),
// X[k] = (A + B) / 2 - i w (A - B) / 2.
KR40_FFT_CLONES
void Separate(int n, int twStride, const double* __restrict zr, const double* __restrict zi,
              const double* __restrict wr, const double* __restrict wi, double* __restrict out)
{
    out[0] = zr[0] + zi[0];
    out[1] = 0.0;
    for (int k = 1; k < n; ++k) {
        const double ar = zr[k], ai = zi[k];
        const double br = zr[n - k], bi = -zi[n - k];
        const double er = 0.5 * (ar + br), ei = 0.5 * (ai + bi);
        const double orr = 0.5 * (ar - br), oi = 0.5 * (ai - bi);
        const double cr = wr[k * twStride], ci = wi[k * twStride];
        out[2 * k] = er + (cr * oi + ci * orr);
        out[2 * k + 1] = ei - (cr * orr - ci * oi);
    }
}

// x[k] = (samples[k] - offset) * window[k] * scale, k = 0 .. count - 1, or
// without the window when it is null.
KR40_FFT_CLONES
void WindowInto(int count, const std::int32_t* __restrict samples, double offset, const double* __restrict window,
                double scale, double* __restrict x)
{
    if (window)
        for (int k = 0; k < count; ++k) x[k] = (static_cast<double>(samples[k]) - offset) * window[k] * scale;
    else
        for (int k = 0; k < count; ++k) x[k] = (static_cast<double>(samples[k]) - offset) * scale;
}

#if KR40_FFT_VECTORS
// The radix-4 pass of length 4 m at stride 1 on split input.
KR40_FFT_CLONES
void FirstPass4Split(int m, const double* __restrict xr, const double* __restrict xi, double* __restrict yr,
                     double* __restrict yi, const double* __restrict tw)
{
    const double* w1r = tw;
    const double* w1i = tw + m;
    const double* w2r = tw + 2 * m;
    const double* w2i = tw + 3 * m;
    const double* w3r = tw + 4 * m;
    const double* w3i = tw + 5 * m;
    // Four values of p at a time; the outputs 4 p + j are transposed into
    // place.
    for (int p = 0; p < m; p += 4) {
        Cx<V4> v[4];
        for (int j = 0; j < 4; ++j) v[j] = {Load4(xr + j * m + p), Load4(xi + j * m + p)};
        Radix4(v[0], v[1], v[2], v[3], Cx<V4>{Load4(w1r + p), Load4(w1i + p)}, Cx<V4>{Load4(w2r + p), Load4(w2i + p)},
               Cx<V4>{Load4(w3r + p), Load4(w3i + p)});
        Transpose4(v[0].r, v[1].r, v[2].r, v[3].r);
        Transpose4(v[0].i, v[1].i, v[2].i, v[3].i);
        for (int j = 0; j < 4; ++j) {
            Store4(yr + 4 * p + 4 * j, v[j].r);
            Store4(yi + 4 * p + 4 * j, v[j].i);
        }
    }
}

// 16-point transform of z in place. 16 = 4 x 4: transforms over r = a + 4 e
// for each a, twiddles W16^(a b), transforms over a; output k = b + 4 d lands
// in z[4 b + d].
template <typename T>
KR40_FFT_INLINE void Dft16(Cx<T>* z)
{
    constexpr double c8 = 0.92387953251128675613, s8 = 0.38268343236508977173, h = 0.70710678118654752440;
    for (int a = 0; a < 4; ++a) Dft4(z[a], z[a + 4], z[a + 8], z[a + 12]);
    z[5] = Scale(z[5], c8, -s8);
    z[6] = Scale(z[6], h, -h);
    z[7] = Scale(z[7], s8, -c8);
    z[9] = Scale(z[9], h, -h);
    z[10] = MulMinusI(z[10]);
    z[11] = Scale(z[11], -h, -h);
    z[13] = Scale(z[13], s8, -c8);
    z[14] = Scale(z[14], -h, -h);
    z[15] = Scale(z[15], -c8, s8);
    for (int b = 0; b < 4; ++b) Dft4(z[4 * b], z[4 * b + 1], z[4 * b + 2], z[4 * b + 3]);
}

// Dft16, output k then times w^k, where w1 = w and w4 = w^4 (exact, from a
// table).
template <typename T>
KR40_FFT_INLINE void Column16(Cx<T>* z, const Cx<T>& w1, const Cx<T>& w4)
{
    Dft16(z);
    const Cx<T> w2 = w1 * w1, w3 = w2 * w1, w8 = w4 * w4, w12 = w8 * w4;
    const Cx<T> wb[3] = {w1, w2, w3};
    const Cx<T> wd[3] = {w4, w8, w12};
    for (int b = 1; b < 4; ++b) z[4 * b] = z[4 * b] * wb[b - 1];
    for (int d = 1; d < 4; ++d) {
        z[d] = z[d] * wd[d - 1];
        for (int b = 1; b < 4; ++b) z[4 * b + d] = z[4 * b + d] * (wd[d - 1] * wb[b - 1]);
    }
}

// The closing radix-16 pass at stride s = n / 16 (s a multiple of 4):
// twiddles are all 1.
KR40_FFT_CLONES
void LastPass16(int s, const double* __restrict xr, const double* __restrict xi, double* __restrict yr,
                double* __restrict yi)
{
    for (int q = 0; q < s; q += 4) {
        Cx<V4> z[16];
        for (int j = 0; j < 16; ++j) z[j] = {Load4(xr + j * s + q), Load4(xi + j * s + q)};
        Dft16(z);
        for (int b = 0; b < 4; ++b)
            for (int d = 0; d < 4; ++d) {
                Store4(yr + (b + 4 * d) * s + q, z[4 * b + d].r);
                Store4(yi + (b + 4 * d) * s + q, z[4 * b + d].i);
            }
    }
}

// The packed input of the blocked transform, eight reals (four complex
// values) from position i as two vectors: stored reals, or integer samples
// windowed (or only offset and scaled) on the way in. Prefetch(i) asks for
// the input at i ahead of its use.
struct StoredReals {
    const double* x;
    KR40_FFT_INLINE void Load8(std::ptrdiff_t i, V4& lo, V4& hi) const
    {
        lo = Load4(x + i);
        hi = Load4(x + i + 4);
    }
    KR40_FFT_INLINE void Prefetch(std::ptrdiff_t i) const { __builtin_prefetch(x + i); }
};

typedef std::int32_t I4 __attribute__((vector_size(16)));

struct WindowedReals {
    const std::int32_t* samples;
    V4 offset, scale;
    const double* window;
    KR40_FFT_INLINE void Load8(std::ptrdiff_t i, V4& lo, V4& hi) const
    {
        I4 a, b;
        std::memcpy(&a, samples + i, sizeof a);
        std::memcpy(&b, samples + i + 4, sizeof b);
        lo = (__builtin_convertvector(a, V4) - offset) * Load4(window + i) * scale;
        hi = (__builtin_convertvector(b, V4) - offset) * Load4(window + i + 4) * scale;
    }
    KR40_FFT_INLINE void Prefetch(std::ptrdiff_t i) const
    {
        __builtin_prefetch(samples + i);
        __builtin_prefetch(window + i);
    }
};

struct UnwindowedReals {
    const std::int32_t* samples;
    V4 offset, scale;
    KR40_FFT_INLINE void Load8(std::ptrdiff_t i, V4& lo, V4& hi) const
    {
        I4 a, b;
        std::memcpy(&a, samples + i, sizeof a);
        std::memcpy(&b, samples + i + 4, sizeof b);
        lo = (__builtin_convertvector(a, V4) - offset) * scale;
        hi = (__builtin_convertvector(b, V4) - offset) * scale;
    }
    KR40_FFT_INLINE void Prefetch(std::ptrdiff_t i) const { __builtin_prefetch(samples + i); }
};

// First step of the blocked transform of n = 16 n2 packed points z[j] =
// x[2j] + i x[2j+1]: for every column j (z[j + n2 r], r = 0 .. 15) a 16-point
// transform, times W^(j k) (W = e^(-2 pi i / n)), into row k at position j.
// Row k starts at rows + k * rowStride: n2 real parts, then from + half the
// imaginary ones.
template <class Input>
KR40_FFT_INLINE void Columns16Body(int n2, const Input& x, double* __restrict rows, std::ptrdiff_t rowStride,
                                   std::ptrdiff_t half, const double* __restrict tw)
{
    const double* w1r = tw;
    const double* w1i = tw + n2;
    const double* w4r = tw + 2 * n2;
    const double* w4i = tw + 3 * n2;
    const std::ptrdiff_t col = 2 * static_cast<std::ptrdiff_t>(n2);
    constexpr int kAhead = 32;  // columns fetched ahead of use, within each row's run of the input
    for (int j = 0; j < n2; j += 4) {
        Cx<V4> z[16];
        const bool ahead = j + kAhead < n2;
        for (int r = 0; r < 16; ++r) {
            V4 lo, hi;
            x.Load8(r * col + 2 * j, lo, hi);
            if (ahead) x.Prefetch(r * col + 2 * (j + kAhead));
            z[r] = {__builtin_shufflevector(lo, hi, 0, 2, 4, 6), __builtin_shufflevector(lo, hi, 1, 3, 5, 7)};
        }
        Column16(z, Cx<V4>{Load4(w1r + j), Load4(w1i + j)}, Cx<V4>{Load4(w4r + j), Load4(w4i + j)});
        for (int b = 0; b < 4; ++b)
            for (int d = 0; d < 4; ++d) {
                double* row = rows + (b + 4 * d) * rowStride;
                Store4(row + j, z[4 * b + d].r);
                Store4(row + half + j, z[4 * b + d].i);
            }
    }
}

KR40_FFT_CLONES
void Columns16(int n2, const double* __restrict x, double* __restrict rows, std::ptrdiff_t rowStride,
               std::ptrdiff_t half, const double* __restrict tw)
{
    Columns16Body(n2, StoredReals{x}, rows, rowStride, half, tw);
}

KR40_FFT_CLONES
void Columns16(int n2, const WindowedSamples& in, double* __restrict rows, std::ptrdiff_t rowStride,
               std::ptrdiff_t half, const double* __restrict tw)
{
    if (in.window)
        Columns16Body(n2, WindowedReals{in.samples, Splat(in.offset), Splat(in.scale), in.window}, rows, rowStride,
                      half, tw);
    else
        Columns16Body(n2, UnwindowedReals{in.samples, Splat(in.offset), Splat(in.scale)}, rows, rowStride, half, tw);
}

// The spectrum X of the real sequence from the blocked result Z[r + 16 j] =
// row r at j (r = 0 .. 15, j = 0 .. n2 - 1), written in natural order; row 0
// has a copy of its first value at n2. Separation as in Separate, w_k =
// e^(-i pi r / n) e^(-i pi 16 j / n) with the second factor from sepTw.
KR40_FFT_CLONES
void SeparateRows(int n2, const double* __restrict rows, std::ptrdiff_t rowStride, std::ptrdiff_t half,
                  const double* __restrict wr, const double* __restrict wi, int twStride,
                  const double* __restrict sepTw, double* __restrict out, BinSink* sink)
{
    const double* sr = sepTw;
    const double* si = sepTw + n2;
    for (int j = 0; j < n2; j += 4) {
        const V4 vr = Load4(sr + j), vi = Load4(si + j);
        for (int c = 0; c < 4; ++c) {
            V4 p[4], q[4];
            for (int s = 0; s < 4; ++s) {
                const int r = 4 * c + s;
                const double* row = rows + r * rowStride;
                const double* partner = rows + ((16 - r) & 15) * rowStride;
                const int at = (r == 0 ? n2 : n2 - 1) - j - 3;
                const V4 ar = Load4(row + j), ai = Load4(row + half + j);
                const V4 br = Reverse4(Load4(partner + at)), bi = -Reverse4(Load4(partner + half + at));
                const double cr = wr[r * twStride], ci = wi[r * twStride];
                const V4 tr = cr * vr - ci * vi, ti = cr * vi + ci * vr;
                const V4 er = 0.5 * (ar + br), ei = 0.5 * (ai + bi);
                const V4 orr = 0.5 * (ar - br), oi = 0.5 * (ai - bi);
                const V4 xr = er + (tr * oi + ti * orr);
                const V4 xi = ei - (tr * orr - ti * oi);
                p[s] = __builtin_shufflevector(xr, xi, 0, 4, 2, 6);  // k = j, j + 2
                q[s] = __builtin_shufflevector(xr, xi, 1, 5, 3, 7);  // k = j + 1, j + 3
            }
            double* o = out + 2 * (16 * static_cast<std::ptrdiff_t>(j) + 4 * c);
            Store4(o, __builtin_shufflevector(p[0], p[1], 0, 1, 4, 5));
            Store4(o + 4, __builtin_shufflevector(p[2], p[3], 0, 1, 4, 5));
            Store4(o + 32, __builtin_shufflevector(q[0], q[1], 0, 1, 4, 5));
            Store4(o + 36, __builtin_shufflevector(q[2], q[3], 0, 1, 4, 5));
            Store4(o + 64, __builtin_shufflevector(p[0], p[1], 2, 3, 6, 7));
            Store4(o + 68, __builtin_shufflevector(p[2], p[3], 2, 3, 6, 7));
            Store4(o + 96, __builtin_shufflevector(q[0], q[1], 2, 3, 6, 7));
            Store4(o + 100, __builtin_shufflevector(q[2], q[3], 2, 3, 6, 7));
        }
        // X[16 j .. 16 j + 63] are complete.
        if (sink)
            sink->Bins(reinterpret_cast<const std::complex<double>*>(out + 32 * static_cast<std::ptrdiff_t>(j)), 16 * j,
                       64);
    }
}
#endif

}  // namespace

RealFft::RealFft(int maxLog2) : maxLog2_(maxLog2)
{
    assert(maxLog2 >= 1 && maxLog2 <= 24);
    const int nmax = 1 << maxLog2;
    const int half = nmax / 2;
    cos_.resize(static_cast<std::size_t>(half));
    sin_.resize(static_cast<std::size_t>(half));
    for (int k = 0; k < half; ++k) {
        const double a = 2.0 * std::numbers::pi * k / nmax;
        cos_[static_cast<std::size_t>(k)] = std::cos(a);
        sin_[static_cast<std::size_t>(k)] = -std::sin(a);
    }
    // e^(-2 pi i j / Nmax) for any j in 0 .. Nmax - 1 from the half table.
    const auto root = [&](int j, double& re, double& im) {
        const double sign = j < half ? 1.0 : -1.0;
        const std::size_t i = static_cast<std::size_t>(j < half ? j : j - half);
        re = sign * cos_[i];
        im = sign * sin_[i];
    };

    passOffset_.assign(static_cast<std::size_t>(maxLog2 + 1), 0);
    std::size_t total = 0;
    for (int t = 2; t < maxLog2; ++t) {
        passOffset_[static_cast<std::size_t>(t)] = static_cast<int>(total);
        total += 6 * static_cast<std::size_t>(1 << (t - 2));
    }
    passTwiddle_.resize(total);
    for (int t = 2; t < maxLog2; ++t) {
        const int len = 1 << t;
        const int m = len / 4;
        const int step = nmax / len;
        double* tw = passTwiddle_.data() + passOffset_[static_cast<std::size_t>(t)];
        for (int p = 0; p < m; ++p)
            for (int j = 1; j <= 3; ++j) root(j * p * step, tw[(2 * j - 2) * m + p], tw[(2 * j - 1) * m + p]);
    }
    // Blocked path: rows padded by a cache line so that the 16 rows do not
    // share cache sets, plus two row buffers.
    std::size_t work = static_cast<std::size_t>(nmax);
    blockOffset_.assign(static_cast<std::size_t>(maxLog2 + 1), 0);
    std::size_t blockTotal = 0;
    for (int l = kBlockedMinLog2; l < maxLog2; ++l) {
        const int n2 = 1 << (l - 4);
        blockOffset_[static_cast<std::size_t>(l)] = static_cast<int>(blockTotal);
        blockTotal += 6 * static_cast<std::size_t>(n2);
        work = std::max(work, static_cast<std::size_t>(16 * RowStride(n2) + 4 * n2));
    }
    blockTwiddle_.resize(blockTotal);
    for (int l = kBlockedMinLog2; l < maxLog2; ++l) {
        const int n2 = 1 << (l - 4);
        const double n = static_cast<double>(1 << l);
        double* tw = blockTwiddle_.data() + blockOffset_[static_cast<std::size_t>(l)];
        for (int j = 0; j < n2; ++j) {
            const double a1 = 2.0 * std::numbers::pi * j / n;
            const double a4 = 4.0 * a1, as = 8.0 * a1;
            tw[j] = std::cos(a1);
            tw[n2 + j] = -std::sin(a1);
            tw[2 * n2 + j] = std::cos(a4);
            tw[3 * n2 + j] = -std::sin(a4);
            tw[4 * n2 + j] = std::cos(as);
            tw[5 * n2 + j] = -std::sin(as);
        }
    }
    scratch_.resize(work);
    // Windowed samples become reals in input_ only on the plain path.
    input_.resize(static_cast<std::size_t>(KR40_FFT_VECTORS ? std::min(nmax, 1 << kBlockedMinLog2) : nmax));
}

void RealFft::Forward(int log2n, const double* x, std::complex<double>* out)
{
    Transform(log2n, x, nullptr, out, nullptr);
}

void RealFft::Forward(int log2n, const WindowedSamples& in, std::complex<double>* out, BinSink* sink)
{
    Transform(log2n, nullptr, &in, out, sink);
}

void RealFft::Transform(int log2n, const double* x, const WindowedSamples* in, std::complex<double>* out, BinSink* sink)
{
    assert(log2n >= 1 && log2n <= maxLog2_);
    const int n = 1 << (log2n - 1);  // complex points
    double* o = reinterpret_cast<double*>(out);
    const int l = log2n - 1;  // log2 n
#if KR40_FFT_VECTORS
    const bool blocked = l >= kBlockedMinLog2;
#else
    const bool blocked = false;
#endif
    if (in && !blocked) {
        WindowInto(2 * n, in->samples, in->offset, in->window, in->scale, input_.data());
        x = input_.data();
    }
    if (n == 1) {
        out[0] = {x[0] + x[1], 0.0};
        if (sink) sink->Bins(out, 0, 1);
        return;
    }
    const auto twiddles = [&](int t) { return passTwiddle_.data() + passOffset_[static_cast<std::size_t>(t)]; };
#if KR40_FFT_VECTORS
    if (blocked) {
        // n = 16 n2: 16-point transforms over the columns (stride n2) into 16
        // rows, a transform of each row while it sits in L1, then the
        // separation, which also undoes the row/column order.
        const int t = l - 4;
        const int n2 = 1 << t;
        const std::ptrdiff_t stride = RowStride(n2);
        const std::ptrdiff_t half = stride / 2;
        double* rows = scratch_.data();
        double* const bufA = rows + 16 * stride;
        double* const bufB = bufA + 2 * n2;
        const double* btw = blockTwiddle_.data() + blockOffset_[static_cast<std::size_t>(l)];
        if (in)
            Columns16(n2, *in, rows, stride, half, btw);
        else
            Columns16(n2, x, rows, stride, half, btw);
        // Row plan: radix-4 passes, closing with a radix-16 pass (t even) or
        // a radix-2 pass (t odd).
        const int passes = (t & 1) ? t / 2 + 1 : t / 2 - 1;
        for (int r = 0; r < 16; ++r) {
            double* row = rows + r * stride;
            // Pass i reads buffer i and writes buffer i + 1: the row first and
            // last, bufA / bufB in between.
            const auto bufRe = [&](int i) { return i == 0 || i == passes ? row : (i & 1) ? bufA : bufB; };
            const auto bufIm = [&](int i) { return i == 0 || i == passes ? row + half : bufRe(i) + n2; };
            FirstPass4Split(n2 / 4, bufRe(0), bufIm(0), bufRe(1), bufIm(1), twiddles(t));
            int i = 1, u = t - 2, s = 4;
            for (; u >= 2 && u != 4; u -= 2, s *= 4, ++i)
                Pass4(1 << (u - 2), s, bufRe(i), bufIm(i), bufRe(i + 1), bufIm(i + 1), twiddles(u));
            if (u == 4)
                LastPass16(s, bufRe(i), bufIm(i), bufRe(i + 1), bufIm(i + 1));
            else if (u == 1)
                LastPass2(s, bufRe(i), bufIm(i), bufRe(i + 1), bufIm(i + 1));
            if (sink) sink->Ahead(r, 16);
        }
        rows[n2] = rows[0];
        rows[half + n2] = rows[half];
        SeparateRows(n2, rows, stride, half, cos_.data(), sin_.data(), (1 << maxLog2_) >> log2n, btw + 4 * n2, o, sink);
        return;
    }
#endif
    // The plan: radix-4 passes, the last one a 2-point pass when log2 n is
    // odd.
    const int passes = l / 2 + (l & 1);
    // Ping-pong between scratch_ and out (both as split arrays) so that the
    // last pass leaves Z in scratch_ for the separation into out.
    double* const bufR[2] = {scratch_.data(), o};
    double* const bufI[2] = {scratch_.data() + n, o + n};
    int dst = (passes - 1) & 1;  // buffer of the first pass: 0 scratch_, 1 out
    if (l >= 2) {
        FirstPass4(n / 4, x, bufR[dst], bufI[dst], twiddles(l));
        int t = l - 2;  // log2 of the current sub-transform length
        int s = 4;      // stride
        for (; t >= 2; t -= 2, s *= 4) {
            Pass4(1 << (t - 2), s, bufR[dst], bufI[dst], bufR[dst ^ 1], bufI[dst ^ 1], twiddles(t));
            dst ^= 1;
        }
        if (t == 1) {
            LastPass2(s, bufR[dst], bufI[dst], bufR[dst ^ 1], bufI[dst ^ 1]);
            dst ^= 1;
        }
    } else {  // n == 2
        double* zr = bufR[dst];
        double* zi = bufI[dst];
        zr[0] = x[0] + x[2];
        zi[0] = x[1] + x[3];
        zr[1] = x[0] - x[2];
        zi[1] = x[1] - x[3];
    }
    assert(dst == 0);
    Separate(n, (1 << maxLog2_) >> log2n, scratch_.data(), scratch_.data() + n, cos_.data(), sin_.data(), o);
    if (sink) sink->Bins(out, 0, n);
}

}  // namespace kr40
