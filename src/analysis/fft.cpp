#include "analysis/fft.h"

#include <cassert>
#include <cmath>
#include <cstddef>
#include <numbers>

// The passes are built twice on x86-64 Linux, for AVX2/FMA and for the base
// instruction set; the loader picks one for the processor at hand.
#if defined(__x86_64__) && defined(__linux__) && (defined(__GNUC__) || defined(__clang__))
#define KR40_FFT_CLONES __attribute__((target_clones("arch=x86-64-v3", "default")))
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
    if (s == 4)
        Pass4Body<4>(m, s, xr, xi, yr, yi, tw);
    else if (s == 16)
        Pass4Body<16>(m, s, xr, xi, yr, yi, tw);
    else
        Pass4Body<0>(m, s, xr, xi, yr, yi, tw);
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
    scratch_.resize(static_cast<std::size_t>(nmax));
}

void RealFft::Forward(int log2n, const double* x, std::complex<double>* out)
{
    assert(log2n >= 1 && log2n <= maxLog2_);
    const int n = 1 << (log2n - 1);  // complex points
    double* o = reinterpret_cast<double*>(out);
    if (n == 1) {
        out[0] = {x[0] + x[1], 0.0};
        return;
    }
    const int l = log2n - 1;  // log2 n
    // The plan: radix-4 passes, the last one a 2-point pass when log2 n is
    // odd.
    const int passes = l / 2 + (l & 1);
    // Ping-pong between scratch_ and out (both as split arrays) so that the
    // last pass leaves Z in scratch_ for the separation into out.
    double* const bufR[2] = {scratch_.data(), o};
    double* const bufI[2] = {scratch_.data() + n, o + n};
    int dst = (passes - 1) & 1;  // buffer of the first pass: 0 scratch_, 1 out

    const auto twiddles = [&](int t) { return passTwiddle_.data() + passOffset_[static_cast<std::size_t>(t)]; };
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
}

}  // namespace kr40
